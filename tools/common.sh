# Shared by the tools/ scripts: installs what is missing, then configures and builds.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev qt6-base-dev qt6-serialport-dev
          libgtest-dev libgmock-dev libgl-dev xvfb xauth imagemagick fonts-dejavu-core valgrind
          dpkg-dev lintian file appstream desktop-file-utils)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_missing() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
}

# build DIR [extra cmake args...]; BUILD_TARGETS (space-separated) limits what is built.
build() {
  local dir="$1"; shift
  local launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
  local targets=()
  [ -n "${BUILD_TARGETS:-}" ] && targets=(--target ${BUILD_TARGETS})
  cmake --build "$dir" -j2 "${targets[@]}"
}

# build_release TARGETS...: the Release tree build-package/ as the Debian package is built,
# with Debian's own compiler and linker flags (hardening); -O2 rather than CMake's -O3,
# which makes GCC 12 report false -Wrestrict warnings in the standard library.
# The package's dates (changelog) follow the last commit, so that a rebuild is identical.
build_release() {
  SOURCE_DATE_EPOCH="$(git -C "$ROOT" log -1 --format=%ct 2>/dev/null || date +%s)"
  export SOURCE_DATE_EPOCH
  BUILD_TARGETS="$*" build "$ROOT/build-package" \
    -DCMAKE_BUILD_TYPE=Release -DKLINE_INSTALLED=ON -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS) -Wl,-z,now"
}
