#!/usr/bin/env bash
# The release build of kline-diag-cli through real kernel serial drivers: a QEMU guest running
# Debian's kernel has two 16550 UARTs (8250 driver) and two emulated FTDI adapters (ftdi_sio
# behind xhci), each wired through tools/real_drivers/relay.py to a kline-sim on the host, a
# 16m on the first port of each driver and a 15m on the second. On every port the guest runs
# info, live --count 5 and check-cable, while port_watch reads back what the driver took. This
# script then fails on a wrong exit status, identification or value, and on a rate, DTR, RTS
# or low-latency setting the driver did not take. Work files stay in build-package/real-drivers.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
PACKAGES+=(qemu-system-x86 busybox-static cpio python3)
install_missing
cd "$ROOT"
build_release kline-diag-cli kline-sim
cli="$ROOT/build-package/src/cli/kline-diag-cli"
sim="$ROOT/build-package/sim/kline-sim"
work="$ROOT/build-package/real-drivers"
here="$ROOT/tools/real_drivers"
fail() {
  echo "real_drivers.sh: $*" >&2
  exit 1
}
command -v qemu-system-x86_64 >/dev/null ||
  fail "no qemu-system-x86_64 after installing qemu-system-x86: the guest cannot run"

rm -rf "$work"
mkdir -p "$work"
relays=()
stop_relays() { for pid in "${relays[@]}"; do kill "$pid" 2>/dev/null || true; done; }
trap stop_relays EXIT

# Debian's current kernel, unpacked here rather than installed on this machine.
kernel_package="$(apt-cache depends linux-image-amd64 |
  sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*\)$/\1/p' | head -1)"
[ -n "$kernel_package" ] || fail "apt-cache names no kernel for linux-image-amd64"
(cd "$work" && apt-get download -q "$kernel_package" >/dev/null 2>&1) ||
  fail "cannot download $kernel_package"
dpkg-deb -x "$work"/linux-image-*.deb "$work/kernel"
vmlinuz="$(ls "$work"/kernel/boot/vmlinuz-*)"
version="${vmlinuz##*/vmlinuz-}"

# The initramfs: busybox, the tool with the libraries it links, port_watch, the USB modules
# (the 8250 driver is built into Debian's kernel).
root="$work/initramfs"
mkdir -p "$root"/{bin,usr/bin,proc,sys,dev,tmp}
cp /bin/busybox "$root/bin/busybox"
cp "$here/init" "$root/init"
cp "$cli" "$root/usr/bin/"
g++ -std=c++20 -O2 -static -Wall -Wextra -Wpedantic -Werror -o "$root/usr/bin/port_watch" \
  "$here/port_watch.cpp"
for lib in $(ldd "$cli" | awk '$2 == "=>" { print $3 } $1 ~ /^\/.*ld-linux/ { print $1 }'); do
  mkdir -p "$root$(dirname "$lib")"
  cp -L "$lib" "$root$lib"
done
modules="lib/modules/$version/kernel/drivers/usb"
for module in common/usb-common core/usbcore host/xhci-hcd host/xhci-pci serial/usbserial \
  serial/ftdi_sio; do
  mkdir -p "$root/$modules/$(dirname "$module")"
  cp "$work/kernel/$modules/$module.ko" "$root/$modules/$module.ko"
done
(cd "$root" && find . | cpio -o -H newc --quiet) | gzip -1 >"$work/initrd.gz"

# The built-in profiles, but an ECU that takes wake-up bytes up to 400 ms apart, not 200: the
# emulated guest on a shared host now and then stalls 100 ms between two bytes. The wake-up's
# timing is checked to the millisecond by the simulated tests; here it is the drivers.
for type in 16m 15m; do
  /usr/bin/python3 -c 'import json, sys
profile = json.load(open(sys.argv[1]))
profile["wake_up_gap_ms"][1] = 400
json.dump(profile, open(sys.argv[2], "w"))' "$ROOT/sim/profiles/$type.json" "$work/$type.json"
done

# A relay and its simulator per guest port: 16550s on ttyS1 and ttyS2, FTDIs on USB ports 1, 2.
ports=()
for name in ttyS1:16m ttyS2:15m usb1:16m usb2:15m; do
  port="${name%:*}"
  exec {out}< <(exec /usr/bin/python3 "$here/relay.py" "$sim" --profile "$work/${name#*:}.json" \
    --trace "$work/trace-$port.csv" 2>"$work/relay-$port.log")
  relays+=($!)
  read -r -t 10 path <&"$out" || fail "relay for $port did not start: $(cat "$work/relay-$port.log")"
  ports+=("$path")
done

echo "Booting the guest (kernel $version, TCG)..."
start=$SECONDS
timeout 300 qemu-system-x86_64 -nodefaults -display none -no-reboot -accel tcg -m 512 \
  -kernel "$vmlinuz" -initrd "$work/initrd.gz" -append "console=ttyS0 quiet loglevel=1 panic=1" \
  -chardev file,id=console,path="$work/console.log" -serial chardev:console \
  -chardev serial,id=s1,path="${ports[0]}" -serial chardev:s1 \
  -chardev serial,id=s2,path="${ports[1]}" -serial chardev:s2 \
  -device qemu-xhci,id=xhci \
  -chardev serial,id=u1,path="${ports[2]}" -device usb-serial,bus=xhci.0,port=1,chardev=u1 \
  -chardev serial,id=u2,path="${ports[3]}" -device usb-serial,bus=xhci.0,port=2,chardev=u2 \
  >"$work/qemu.log" 2>&1 || echo "qemu ended with status $? (124: timed out)" >>"$work/qemu.log"
echo "Guest ran $((SECONDS - start)) s"
grep -q '^@ - - - - booted' "$work/console.log" 2>/dev/null ||
  fail "the guest did not boot: $(cat "$work/qemu.log")"
grep -q '^@ - - - - done' "$work/console.log" ||
  fail "the guest did not finish: $(cat "$work/qemu.log"; tail -20 "$work/console.log")"
/usr/bin/python3 "$here/judge.py" "$work/console.log" "$ROOT/sim/profiles" ||
  fail "wrong results; the guest's report is in $work/console.log, the simulators' traces beside it"
echo "Real serial drivers: every run passed"
