#!/usr/bin/env bash
# The Windows build: cross-compiles the window program, the command-line tool and the tests
# with mingw-w64 against Qt 5.15 for Windows, runs the tests under wine, runs the tool under
# wine against kline-sim through a COM port that wine links to a pseudo-terminal, and makes the
# installer and the portable zip, whose silent install and uninstall are checked under wine.
# Qt comes from ../shared/windows/qt5-mingw.tar.xz beside the checkout, or from QT5_MINGW.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
PACKAGES+=(g++-mingw-w64-x86-64-posix wine64 nsis zip unzip python3)
install_missing
start=$SECONDS
out="$ROOT/build-windows"
archive="${QT5_MINGW:-$ROOT/../shared/windows/qt5-mingw.tar.xz}"
qt="$out/qt5-mingw"
mkdir -p "$out"
fail() { echo "windows: $*" >&2; exit 1; }

if [ ! -d "$qt" ] || [ "$archive" -nt "$qt" ]; then
  [ -f "$archive" ] || fail "no Qt for Windows at $archive (set QT5_MINGW)"
  rm -rf "$qt"
  tar -xJf "$archive" -C "$out"
fi

# GoogleTest from Debian's sources, cross-built once.
toolchain="$ROOT/cmake/mingw-w64.cmake"
if [ ! -f "$out/gtest/lib/libgtest.a" ]; then
  cmake -S /usr/src/googletest -B "$out/gtest-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$out/gtest" >/dev/null
  cmake --build "$out/gtest-build" -j2 >/dev/null
  cmake --install "$out/gtest-build" >/dev/null
fi

# -O2: GCC 12 reports false -Wrestrict warnings in the standard library at -O3.
cmake -S "$ROOT" -B "$out/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_PREFIX_PATH="$qt;$out/gtest" \
  -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" >/dev/null
cmake --build "$out/build" -j2
echo "Cross-built in $((SECONDS - start)) s"

# kline-sim is a Linux program: the Linux tree's.
BUILD_TARGETS=kline-sim build "$ROOT/build"
sim="$ROOT/build/sim/kline-sim"

# A wine prefix of our own, its server kept up for the whole script.
export WINEPREFIX="$out/wine" WINEDEBUG=-all WINEARCH=win64
wine=/usr/lib/wine/wine64
[ -d "$WINEPREFIX/drive_c" ] || "$wine" wineboot -i >/dev/null 2>&1
wineserver -p >/dev/null 2>&1
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
WINEPATH="$("$wine" winepath -w "$qt/bin" 2>/dev/null)"
QT_PLUGIN_PATH="$("$wine" winepath -w "$qt/plugins" 2>/dev/null)"
export WINEPATH QT_PLUGIN_PATH

# The tests: each executable once (a wine start per case would cost minutes).
export QT_QPA_PLATFORM=minimal
passed=0
skipped=0
for test in $(find "$out/build" -name '*_tests.exe' | sort); do
  log="$out/$(basename "$test" .exe).log"
  timeout 600 "$wine" "$test" --gtest_brief=1 >"$log" 2>&1 ||
    { tail -40 "$log"; fail "$(basename "$test") failed under wine"; }
  count=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' "$log")
  skips=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) test.*/\1/p' "$log")
  echo "$(basename "$test"): ${count:-0} passed, ${skips:-0} skipped"
  passed=$((passed + ${count:-0}))
  skipped=$((skipped + ${skips:-0}))
done
echo "Under wine: $passed tests passed, $skipped skipped (they need a display or Linux devices)"

# The tool through wine's COM5, which links to the pseudo-terminal of a relay in front of a
# fresh kline-sim per run. Wine sets a rate it does not know (7812) as 38400 on the
# pseudo-terminal; the relay maps it back (tools/windows/com_relay.py).
cli="$out/build/src/cli/kline-diag-cli.exe"
runs="$out/runs"
rm -rf "$runs"
mkdir -p "$runs"
relay_pid=
serve() {  # serve NAME TYPE: a simulator for one run on COM5
  exec {feed}< <(exec /usr/bin/python3 "$ROOT/tools/windows/com_relay.py" "$sim" --type "$2" \
    --trace "$runs/$1.csv" 2>"$runs/$1-relay.log")
  relay_pid=$!
  local path
  read -r -t 10 path <&"$feed" || fail "relay for $1 did not start: $(cat "$runs/$1-relay.log")"
  ln -sfn "$path" "$WINEPREFIX/dosdevices/com5"
}
unserve() { kill "$relay_pid" 2>/dev/null || true; wait "$relay_pid" 2>/dev/null || true; }
run() {  # run NAME TYPE ARGS...: the tool once; its output in $runs/NAME.out
  local name="$1" type="$2"
  shift 2
  serve "$name" "$type"
  local status=0
  timeout 120 "$wine" "$cli" --port COM5 --type "$type" "$@" >"$runs/$name.out" \
    2>"$runs/$name.err" || status=$?
  unserve
  [ "$status" -eq 0 ] || fail "$name: exit status $status: $(cat "$runs/$name.err")"
}
run info 15m info
run live 15m live --count 5 --csv -
run faults 15m faults --json
run test 15m test fuel-pump
/usr/bin/python3 "$ROOT/tools/windows/judge_wine.py" "$runs" "$ROOT/sim/profiles" ||
  fail "wrong results; outputs and traces are in $runs"

# Ctrl-C during a test: the console's Ctrl-C reaches the tool as wine's SIGINT does.
serve interrupt 15m
"$wine" "$cli" --port 5 --type 15m test fuel-pump >"$runs/interrupt.out" 2>"$runs/interrupt.err" &
tool=$!
for _ in $(seq 150); do
  grep -q 'actuator test' "$runs/interrupt.csv" 2>/dev/null && break
  sleep 0.2
done
sleep 1
kill -INT "$tool"
status=0
wait "$tool" || status=$?
unserve
[ "$status" -eq 5 ] || fail "Ctrl-C: exit status $status, not 5: $(cat "$runs/interrupt.err")"
/usr/bin/python3 "$ROOT/tools/windows/judge_wine.py" --interrupted "$runs/interrupt.csv" ||
  fail "Ctrl-C: the ending is wrong; the trace is $runs/interrupt.csv"
echo "The tool under wine: info, live, faults, a test and Ctrl-C judged on the simulator's traces"

echo "Windows build, tests under wine: $((SECONDS - start)) s"
