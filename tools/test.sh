#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. With --sanitize the build is
# instrumented with AddressSanitizer and UndefinedBehaviorSanitizer (separate build tree).
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
dir="$ROOT/build"
args=()
if [ "${1:-}" = "--sanitize" ]; then
  dir="$ROOT/build-asan"
  args=(-DKLINE_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
install_missing
build "$dir" "${args[@]}"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$dir" --output-on-failure -j2 --timeout 300
