#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under ASan+UBSan and runs each for a bounded time
# (FUZZ_SECONDS, default 60) from a copy of its seed corpus, then prints how many inputs a
# second it ran. Any crash, hang or sanitizer report fails the run. FUZZ_BUILD_DIR picks the
# build folder (default build-fuzz). The build is optimised: unoptimised, the session target
# runs under a thousand inputs a second and finds little in its time.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_missing
seconds="${FUZZ_SECONDS:-60}"
dir="${FUZZ_BUILD_DIR:-$ROOT/build-fuzz}"
CXX=clang++ BUILD_TARGETS="fuzz_session fuzz_settings fuzz_parsing fuzz_recording fuzz_wire fuzz_trace" \
  build "$dir" -DKLINE_FUZZ=ON -DKLINE_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
# The wire target keeps many coverage features per input (a whole engine runs for each), and
# the entropic schedule's bookkeeping over them would take half its time.
declare -A extra=([wire]="-entropic=0")
for name in session settings parsing recording wire trace; do
  work="$(mktemp -d)"
  cp -r "$ROOT/fuzz/corpus/$name/." "$work/"
  echo "== fuzz_$name for ${seconds}s"
  "$dir/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
    -print_final_stats=1 ${extra[$name]:-} "$work" >"$work.log" 2>&1 || { tail -n 40 "$work.log"; exit 1; }
  tail -n 12 "$work.log"
  # A fuzzer that runs too few inputs a second finds nothing in its time: keep the rate seen.
  echo "fuzz_$name: $(sed -n 's/^stat::average_exec_per_sec: *//p' "$work.log") inputs/s"
  rm -rf "$work" "$work.log"
done
