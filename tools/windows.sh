#!/usr/bin/env bash
# The Windows build: cross-compiles the window program, the command-line tool and the tests
# with mingw-w64 against Qt 5.15 for Windows, runs the tests under wine, runs the tool under
# wine against kline-sim through a COM port that wine links to a pseudo-terminal, and makes the
# installer and the portable zip, whose silent install and uninstall are checked under wine.
# Qt comes from ../shared/windows/qt5-mingw.tar.xz beside the checkout (or the workplace's
# /work/shared), or from QT5_MINGW.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
PACKAGES+=(g++-mingw-w64-x86-64-posix wine64 nsis zip unzip python3)
install_missing
start=$SECONDS
out="$ROOT/build-windows"
qt="$out/qt5-mingw"
mkdir -p "$out"
fail() { echo "windows: $*" >&2; exit 1; }
# Beside the checkout, or in the workplace's shared folder when the checkout is elsewhere (a
# clone in a temporary folder). A Qt named by QT5_MINGW must be there; without one, the
# Windows build is skipped, loudly, rather than failing the Linux checks before it.
if [ -n "${QT5_MINGW:-}" ]; then
  archive="$QT5_MINGW"
else
  archive=""
  for candidate in "$ROOT/../shared/windows/qt5-mingw.tar.xz" /work/shared/windows/qt5-mingw.tar.xz; do
    if [ -f "$candidate" ]; then archive="$candidate"; break; fi
  done
  if [ -z "$archive" ] && [ ! -d "$qt" ]; then
    echo "windows: SKIPPED: no Qt for Windows beside the checkout or in /work/shared (set QT5_MINGW)" >&2
    exit 0
  fi
fi

if [ ! -d "$qt" ] || { [ -n "$archive" ] && [ "$archive" -nt "$qt" ]; }; then
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

# A virtual display for the whole script: wine's desktop process starts with the first
# program, and only one started with a display lets later programs open windows.
rm -f "$out/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$out/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do
  [ -s "$out/display" ] && break
  sleep 0.2
done
[ -s "$out/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(cat "$out/display")"

# A wine prefix of our own, its server kept up for the whole script.
export WINEPREFIX="$out/wine" WINEDEBUG=-all WINEARCH=win64
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
trap '"$wineserver" -k >/dev/null 2>&1 || true; kill "$xvfb" 2>/dev/null || true' EXIT
mkdir -p "$WINEPREFIX"
# Its own messages (a dump of its objects on a Ctrl-C) are not ours to show.
"$wineserver" -p >/dev/null 2>&1
# Without mscoree and mshtml wine does not offer to download Mono and Gecko, which would
# wait for a click on the virtual display.
[ -d "$WINEPREFIX/drive_c" ] ||
  WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot -i >/dev/null 2>&1
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

# For information (wine's serial layer is not Windows'): the live rate through wine's COM port.
run rate 15m live --count 21 --csv -
awk -F, '/^[0-9.]+,/ { t[n++] = $1 } END {
  mean = (t[n - 1] - t[0]) / (n - 1) * 1000
  printf "Live under wine, 15m: %.2f cycles/s, mean cycle %.1f ms against a floor of 184 ms\n",
         1000 / mean, mean }' "$runs/rate.out"

# The window program in demo mode on a virtual display, as a user sees it.
unset QT_QPA_PLATFORM
shot="$out/windows.png"
"$wine" "$out/build/src/app/kline-diag.exe" --simulate --connect >/dev/null 2>&1 &
app=$!
sleep 12
import -window root "$shot.full.png"
kill "$app"
wait "$app" || true
convert "$shot.full.png" -trim +repage "$shot"
size=$(identify -format '%wx%h' "$shot")
[ "${size%x*}" -ge 600 ] && [ "${size#*x}" -ge 400 ] || fail "no main window on the screen ($size)"
echo "Screenshot of the window program under wine: $shot ($size)"

# The installer and the zip: the programs, Qt's libraries and plugins, the compiler's runtime.
version=$(sed -n 's/^project(kline_diag VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
stage="$out/stage/kline-diag-$version"
rm -rf "$out/stage"
mkdir -p "$stage/platforms" "$stage/styles"
cp "$out/build/src/app/kline-diag.exe" "$out/build/src/cli/kline-diag-cli.exe" "$stage/"
for dll in Qt5Core Qt5Gui Qt5Widgets Qt5SerialPort libstdc++-6 libgcc_s_seh-1 libwinpthread-1; do
  cp "$qt/bin/$dll.dll" "$stage/"
done
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
cp "$ROOT/packaging/windows/kline-diag.ico" "$stage/"
sed 's/$/\r/' "$ROOT/LICENSE" >"$stage/LICENSE.txt"
x86_64-w64-mingw32-strip "$stage"/*.exe
zip_file="$out/kline-diag-$version-windows-x64.zip"
setup="$out/kline-diag-$version-setup.exe"
rm -f "$zip_file" "$setup"
(cd "$out/stage" && zip -qr9 "$zip_file" "kline-diag-$version")
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$setup" \
  "$ROOT/packaging/windows/kline-diag.nsi"

# Round trip under wine: a silent install, the installed program starts and answers from the
# installed folder alone (no Qt from elsewhere), the uninstaller leaves nothing behind.
unset WINEPATH QT_PLUGIN_PATH
target="$WINEPREFIX/drive_c/Program Files/kline-diag"
rm -rf "$target"
"$wine" "$setup" /S
[ -f "$target/kline-diag.exe" ] || fail "the silent install put nothing in $target"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/kline-diag"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\kline-diag'
[ -f "$menu/kline-diag.lnk" ] || fail "no Start-menu entry"
"$wine" reg query "$uninstall_key" >/dev/null 2>&1 || fail "not in the list of installed programs"
"$wine" "$target/kline-diag-cli.exe" --version | grep -q "$version" ||
  fail "the installed tool does not start"
"$wine" "$target/kline-diag.exe" --simulate >/dev/null 2>&1 &
app=$!
sleep 8
kill -0 "$app" 2>/dev/null || fail "the installed window program did not keep running"
kill "$app"
wait "$app" || true
# The uninstaller runs on from a copy of itself in the temporary folder.
"$wine" "$target/uninstall.exe" /S
for _ in $(seq 60); do
  [ -e "$target" ] || break
  sleep 0.5
done
[ ! -e "$target" ] || fail "left behind after uninstalling: $(find "$target")"
[ ! -e "$menu" ] || fail "the Start-menu entry is left behind"
! "$wine" reg query "$uninstall_key" >/dev/null 2>&1 || fail "still listed as installed"
echo "Installer $(du -k "$setup" | cut -f1) KiB, zip $(du -k "$zip_file" | cut -f1) KiB:" \
  "silent install, start and uninstall checked under wine"

echo "Windows build, tests under wine: $((SECONDS - start)) s"
