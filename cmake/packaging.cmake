# Manual pages, the package's documents, and the Debian package that `cpack -G DEB` builds
# from the install rules (tools/package.sh drives it).

set(KLINE_MAINTAINER "kline-diag maintainers <maintainers@users.noreply.c-seed-42f8b1b4.example>"
    CACHE STRING "Maintainer of the Debian package: name <address>")
set(KLINE_HOMEPAGE "" CACHE STRING "Web address of the project for the package (none if empty)")
option(KLINE_INSTALLED
       "Build for installation under a system prefix: settings go to the user's config folder"
       OFF)
if(KLINE_INSTALLED)
  target_compile_definitions(link PRIVATE KLINE_INSTALLED)
endif()

if(TARGET kline-diag-cli)
  install(TARGETS kline-diag-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# Each program's manual page, compressed the way Debian wants it: -9, no name or time inside.
set(kline_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/kline-diag)
set(kline_packed_dir ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${kline_packed_dir})
function(kline_install_gzipped source destination)
  get_filename_component(name ${source} NAME)
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  execute_process(COMMAND gzip -9nc ${source} OUTPUT_FILE ${kline_packed_dir}/${name}.gz
                  COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${kline_packed_dir}/${name}.gz DESTINATION ${destination})
endfunction()

foreach(program kline-diag kline-diag-cli kline-sim)
  if(TARGET ${program})
    kline_install_gzipped(${PROJECT_SOURCE_DIR}/packaging/man/${program}.1
                          ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()

# SOURCE_DATE_EPOCH, when set, fixes the date so that two builds give the same package.
string(TIMESTAMP kline_changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
# The version has no Debian revision: a native package, whose changelog is "changelog.gz".
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${kline_packed_dir}/changelog @ONLY)
kline_install_gzipped(${kline_packed_dir}/changelog ${kline_doc_dir})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${kline_doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kline-diag)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${KLINE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "diagnostics for motorcycle ECUs over a K-line cable")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Talks to the engine control units of 15m, 15Rc, 16m and P8 motorcycles\n"
       "through a PC serial port and a K-line interface: reads the identification\n"
       "and calibration texts, shows the live engine values, runs actuator tests,\n"
       "and reads and explains the fault memory.\n\n"
       "kline-diag is the window program, kline-diag-cli the command-line tool, and\n"
       "kline-sim a simulated ECU on a pseudo-terminal for trying either without a\n"
       "motorcycle.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
if(KLINE_HOMEPAGE)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${KLINE_HOMEPAGE})
endif()
include(CPack)
