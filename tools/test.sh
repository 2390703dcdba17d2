#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. With --sanitize the build is
# instrumented with AddressSanitizer and UndefinedBehaviorSanitizer (separate build tree).
# With --thread the engine's tests and the tests that run its real thread are built and run
# under ThreadSanitizer (separate build tree). It is meant for a Qt built with
# -sanitize thread (point CMAKE_PREFIX_PATH at it): with an uninstrumented Qt, every queued
# call, blocking queued call and QThread::wait is a hand-off TSan cannot see, so it reports
# each one as a race.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
dir="$ROOT/build"
args=()
tests=()
if [ "${1:-}" = "--sanitize" ]; then
  dir="$ROOT/build-asan"
  args=(-DKLINE_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
elif [ "${1:-}" = "--thread" ]; then
  dir="$ROOT/build-tsan"
  args=(-DKLINE_TSAN=ON)
  export BUILD_TARGETS="engine_tests ui_tests cli_tests survival_tests"
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
  tests=(-R '^(EngineTest|Types/EndToEndTest|DemoSession|CliEndToEnd)\.')
fi
install_missing
build "$dir" "${args[@]}"
export QT_QPA_PLATFORM=offscreen
# A parameterised test without a name generator is listed with its parameter's bytes, which
# change from build to build: nobody can pick such a test with -R.
if ctest --test-dir "$dir" -N | grep -q "byte object"; then
  echo "Test names that dump bytes (add a name generator):" >&2
  ctest --test-dir "$dir" -N | grep "byte object" >&2
  exit 1
fi
ctest --test-dir "$dir" --output-on-failure -j2 --timeout 300 "${tests[@]}"
