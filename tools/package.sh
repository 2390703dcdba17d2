#!/usr/bin/env bash
# Installs what is missing, builds the programs for installation and packs them into
# build-package/kline-diag_<version>_<arch>.deb, then unpacks it into a throwaway root and
# checks it: every file where the desktop and man look for it, lintian without errors, and
# the unpacked programs starting.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
dir="$ROOT/build-package"
install_missing
cd "$ROOT"

build_release kline-diag kline-sim
programs=(kline-diag kline-sim)
if cmake --build "$dir" --target help | grep -q '^kline-diag-cli:'; then
  cmake --build "$dir" -j2 --target kline-diag-cli
  programs+=(kline-diag-cli)
fi

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")"
deb="$dir/kline-diag_${version}_$(dpkg --print-architecture).deb"
rm -f "$deb"
(cd "$dir" && cpack -G DEB >/dev/null)
[ -f "$deb" ] || { echo "package.sh: CPack made no $deb" >&2; exit 1; }

fail() { echo "package.sh: $*" >&2; exit 1; }
unpacked="$dir/unpacked"
rm -rf "$unpacked"
dpkg -x "$deb" "$unpacked"

for program in "${programs[@]}"; do
  [ -x "$unpacked/usr/bin/$program" ] || fail "usr/bin/$program missing"
  file "$unpacked/usr/bin/$program" | grep -q ', stripped' || fail "usr/bin/$program not stripped"
  man --manpath="$unpacked/usr/share/man" -w "$program" >/dev/null || fail "no manual page for $program"
done
for path in usr/share/applications/kline-diag.desktop \
            usr/share/icons/hicolor/scalable/apps/kline-diag.svg \
            usr/share/doc/kline-diag/copyright usr/share/doc/kline-diag/changelog.gz \
            usr/share/kline-diag/profiles/15m.json; do
  [ -f "$unpacked/$path" ] || fail "$path missing"
done
desktop="$unpacked/usr/share/applications/kline-diag.desktop"
desktop-file-validate "$desktop"
grep -qx 'Exec=kline-diag' "$desktop" || fail "the desktop entry does not start kline-diag"
grep -qx 'Icon=kline-diag' "$desktop" || fail "the desktop entry names another icon"
metainfo=("$unpacked"/usr/share/metainfo/*.metainfo.xml)
[ -f "${metainfo[0]}" ] || fail "no AppStream metainfo"
appstreamcli validate --no-net "${metainfo[@]}" >/dev/null
grep -q '<launchable type="desktop-id">kline-diag.desktop</launchable>' "${metainfo[@]}" ||
  fail "the metainfo does not name the desktop entry"
depends="$(dpkg-deb -f "$deb" Depends)"
grep -q 'libqt6core6' <<<"$depends" || fail "dependencies not computed: '$depends'"

# Errors fail; the warnings and notes that remain are listed.
lintian --fail-on error --info --tag-display-limit 0 "$deb"

QT_QPA_PLATFORM=offscreen "$unpacked/usr/bin/kline-diag" --version | grep -qx "kline-diag $version" ||
  fail "kline-diag --version does not say $version"
# kline-sim answers --help with its usage on standard error and status 2.
{ "$unpacked/usr/bin/kline-sim" --help 2>&1 || true; } | grep -q '^usage: kline-sim' ||
  fail "kline-sim --help printed no usage"
# Connecting saves the port: an installed program saves it in the user's folder even when
# it could write beside itself (as here, or as root).
config="$dir/config-home"
rm -rf "$config"
XDG_CONFIG_HOME="$config" QT_QPA_PLATFORM=offscreen "$unpacked/usr/bin/kline-diag" \
  --port "$dir/no-such-port" --connect >/dev/null 2>&1 &
pid=$!
for _ in $(seq 100); do [ -f "$config/kline-diag/kline-diag.ini" ] && break; sleep 0.1; done
kill "$pid"
wait "$pid" || true
[ -f "$config/kline-diag/kline-diag.ini" ] || fail "no settings in the user's configuration folder"
[ ! -e "$unpacked/usr/bin/kline-diag.ini" ] || fail "the installed program wrote beside itself"
if [[ " ${programs[*]} " == *" kline-diag-cli "* ]]; then
  "$unpacked/usr/bin/kline-diag-cli" --help >/dev/null || fail "kline-diag-cli --help failed"
fi
echo "Depends: $depends"
echo "Built and checked $deb"
