; The Windows installer: the window program and the command-line tool with the Qt libraries
; they need, a Start-menu entry and an uninstaller that leaves nothing behind.
; makensis -DVERSION=0.1.0 -DSTAGE=<folder with the files> -DOUTFILE=<setup.exe> kline-diag.nsi
; 64-bit, like the programs (and wine64 runs it without a 32-bit wine).
Target amd64-unicode
!include "MUI2.nsh"

Name "kline-diag ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\kline-diag"
InstallDirRegKey HKLM "Software\kline-diag" "InstallDir"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
!define MUI_ICON "${STAGE}\kline-diag.ico"
!define MUI_UNICON "${STAGE}\kline-diag.ico"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\kline-diag"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "kline-diag"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateDirectory "$SMPROGRAMS\kline-diag"
  CreateShortcut "$SMPROGRAMS\kline-diag\kline-diag.lnk" "$INSTDIR\kline-diag.exe" "" \
    "$INSTDIR\kline-diag.ico"
  CreateShortcut "$SMPROGRAMS\kline-diag\Uninstall kline-diag.lnk" "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "Software\kline-diag" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "kline-diag"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kline-diag.ico"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\kline-diag\kline-diag.lnk"
  Delete "$SMPROGRAMS\kline-diag\Uninstall kline-diag.lnk"
  RMDir "$SMPROGRAMS\kline-diag"
  ; Settings the program wrote beside itself go with it; a user's own files there stay.
  Delete "$INSTDIR\kline-diag.ini"
  RMDir /r "$INSTDIR\platforms"
  RMDir /r "$INSTDIR\styles"
  Delete "$INSTDIR\*.exe"
  Delete "$INSTDIR\*.dll"
  Delete "$INSTDIR\kline-diag.ico"
  Delete "$INSTDIR\LICENSE.txt"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\kline-diag"
SectionEnd
