#!/usr/bin/env bash
# Boots a Debian kernel under qemu with an initramfs of our own (busybox, the HID modules, the
# test programs) and runs the uhid checks inside it. Exit status: 0 passed, 1 failed, 77 skipped
# (qemu, busybox-static, cpio, kmod or the kernel package cannot be had; the reason is printed).
#
# Usage: run-kernel-test.sh --work DIR --service PROGRAM --check PROGRAM [--tool PROGRAM]
#   DIR      build folder for the unpacked kernel package and the initramfs (kept as a cache)
#   PROGRAM  statically linked programs for the VM: the service (virelo-service-static) and the
#            checks (uhid_vm_check); and the virelo tool, which is linked dynamically: the
#            libraries it loads and the XKB data go into the VM with it
# Environment: VIRELO_KERNEL_PACKAGE picks the kernel package (default: the one that
# linux-image-amd64 depends on); VIRELO_QEMU_ACCEL=tcg forces software emulation.
set -uo pipefail

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*"; exit 1; }

work="" service="" checker="" tool=""
while [ $# -gt 0 ]; do
  case "$1" in
    --work) work="$2"; shift 2 ;;
    --service) service="$2"; shift 2 ;;
    --check) checker="$2"; shift 2 ;;
    --tool) tool="$2"; shift 2 ;;
    *) fail "unknown argument $1" ;;
  esac
done
[ -n "$work" ] && [ -x "$service" ] && [ -x "$checker" ] || fail "usage: $0 --work DIR --service PROGRAM --check PROGRAM"

is_static() { ! readelf -l "$1" 2>/dev/null | grep -q 'program interpreter'; }

command -v qemu-system-x86_64 >/dev/null || skip "qemu-system-x86_64 not found (Debian package qemu-system-x86)"
command -v cpio >/dev/null || skip "cpio not found (Debian package cpio)"
command -v depmod >/dev/null && command -v modprobe >/dev/null || skip "depmod/modprobe not found (Debian package kmod)"
command -v readelf >/dev/null || skip "readelf not found (Debian package binutils)"
busybox=/bin/busybox
[ -x "$busybox" ] && is_static "$busybox" || skip "no static busybox at /bin/busybox (Debian package busybox-static)"
is_static "$service" && is_static "$checker" || fail "the VM programs must be linked statically"

mkdir -p "$work/kernel" || fail "cannot create $work"
work=$(cd "$work" && pwd)

# The kernel: unpacked from its Debian package into the build folder, never installed.
package="${VIRELO_KERNEL_PACKAGE:-}"
resolve() { apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}'; }
if [ -z "$package" ]; then
  package=$(resolve)
  if [ -z "$package" ] && [ "$(id -u)" = 0 ]; then
    apt-get update -qq >/dev/null 2>&1
    package=$(resolve)
  fi
fi
[ -n "$package" ] || skip "cannot resolve the Debian kernel package (linux-image-amd64 unknown to apt)"
version="${package#linux-image-}"
root="$work/kernel/$package"
if [ ! -f "$root/.unpacked" ]; then
  rm -rf "$root" && mkdir -p "$root/deb"
  (cd "$root/deb" && apt-get download "$package" >/dev/null 2>"$root/download.log") ||
    skip "cannot download $package: $(tail -1 "$root/download.log")"
  dpkg -x "$root"/deb/*.deb "$root/tree" || fail "cannot unpack $package"
  # Debian 13's kernel packages put the modules under /usr/lib, where depmod and modprobe with a
  # base directory do not look.
  if [ ! -e "$root/tree/lib" ] && [ -d "$root/tree/usr/lib/modules" ]; then
    ln -s usr/lib "$root/tree/lib"
  fi
  depmod -b "$root/tree" "$version" || fail "depmod failed for $version"
  rm -rf "$root/deb"
  touch "$root/.unpacked"
fi
vmlinuz="$root/tree/boot/vmlinuz-$version"
[ -f "$vmlinuz" ] || fail "no kernel image in $package"

# The initramfs: busybox, the modules in load order, the test programs, /init.
staging="$work/initramfs"
rm -rf "$staging" && mkdir -p "$staging"/{bin,modules,proc,sys,dev,tmp}
cp "$busybox" "$staging/bin/busybox"
cp "$service" "$staging/bin/virelo-service"
cp "$checker" "$staging/bin/uhid_vm_check"
if [ -n "$tool" ]; then
  # The tool with the libraries it loads at their own paths, and the keyboard layouts it types with.
  cp "$tool" "$staging/bin/virelo"
  for lib in $(ldd "$tool" | grep -o '/[^ ]*'); do
    mkdir -p "$staging$(dirname "$lib")" && cp -L "$lib" "$staging$lib"
  done
  mkdir -p "$staging/usr/share/X11"
  cp -r /usr/share/X11/xkb /usr/share/X11/locale "$staging/usr/share/X11/"
fi
strip "$staging/bin/virelo-service" "$staging/bin/uhid_vm_check" 2>/dev/null || true
cp "$(dirname "$0")/init.sh" "$staging/init" && chmod 755 "$staging/init"
: > "$staging/modules/order"
for module in evdev hid hid-generic uhid; do
  modprobe -d "$root/tree" -S "$version" --show-depends "$module" ||
    fail "module $module missing from $package"
done | awk '$1 == "insmod" {print $2}' | awk '!seen[$0]++' | while read -r path; do
  name=$(basename "$path")
  case "$name" in
    *.ko.xz) xz -dc "$path" > "$staging/modules/${name%.xz}"; name="${name%.xz}" ;;
    *.ko.zst) zstd -qdc "$path" > "$staging/modules/${name%.zst}"; name="${name%.zst}" ;;
    *) cp "$path" "$staging/modules/$name" ;;
  esac
  echo "$name" >> "$staging/modules/order"
done
[ -s "$staging/modules/order" ] || fail "no modules found"
(cd "$staging" && find . | cpio -o -H newc --quiet | gzip -1) > "$work/initramfs.gz" ||
  fail "cannot pack the initramfs"

# Boot. KVM when /dev/kvm is usable, software emulation otherwise. Some hosts offer /dev/kvm
# but cannot run a guest on it (nested virtualisation without the needed CPU features: qemu
# aborts, or the guest hangs before its first line); a KVM boot whose /init has not spoken
# within 30 s is therefore abandoned for software emulation.
console="$work/console.log"
run_vm() {  # $1: seconds to wait for the VM's /init to speak (0: no such limit)
  : > "$console"
  timeout "$limit" qemu-system-x86_64 "${accel[@]}" -m 512 -smp 1 -nodefaults -no-user-config \
    -display none -monitor none -serial "file:$console" -no-reboot \
    -kernel "$vmlinuz" -initrd "$work/initramfs.gz" \
    -append "console=ttyS0 panic=-1 loglevel=4 rdinit=/init" </dev/null 2>"$work/qemu.log" &
  local pid=$! waited=0
  if [ "$1" -gt 0 ]; then
    while kill -0 "$pid" 2>/dev/null && ! grep -q VIRELO_VM_BOOTED "$console"; do
      if [ "$waited" -ge "$1" ]; then
        kill "$pid" 2>/dev/null
        wait "$pid"
        return 125
      fi
      sleep 1
      waited=$((waited + 1))
    done
  fi
  wait "$pid"
}
started=$(date +%s)
status=1
if [ "${VIRELO_QEMU_ACCEL:-}" != tcg ] && [ -r /dev/kvm ] && [ -w /dev/kvm ]; then
  echo "booting $package under qemu with KVM"
  accel=(-accel kvm -cpu host) limit=180
  run_vm 30
  status=$?
  if ! grep -q VIRELO_VM_BOOTED "$console"; then
    echo "KVM gave no working guest (status $status: $(tail -1 "$work/qemu.log")); falling back to software emulation"
  fi
fi
if ! grep -q VIRELO_VM_BOOTED "$console"; then
  echo "booting $package under qemu with software emulation"
  accel=(-accel tcg -cpu max) limit=600
  run_vm 0
  status=$?
fi
echo "qemu ended with status $status after $(( $(date +%s) - started )) s"
if [ ! -s "$console" ] && [ "$status" != 0 ] && [ "$status" != 124 ]; then
  skip "qemu cannot run here: $(tail -1 "$work/qemu.log")"
fi

# Everything from our /init on, without the kernel's own messages.
sed -n '/VIRELO_VM_BOOTED/,$p' "$console" | tr -d '\r'
if grep -q 'VIRELO_KERNEL_TEST_RESULT=PASS' "$console" && ! grep -q 'VIRELO_KERNEL_TEST_RESULT=FAIL' "$console"; then
  echo "kernel uhid test: passed"
  exit 0
fi
[ "$status" = 124 ] && echo "the VM did not finish within $limit s"
grep -q VIRELO_VM_BOOTED "$console" || tail -30 "$console"
fail "kernel uhid test"
