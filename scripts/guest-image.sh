#!/usr/bin/env bash
# Makes a small Debian guest for QEMU in DIR: root.img (ext4: debootstrap
# minbase, the Qt runtime, Xvfb, xdotool, AT-SPI (to read message boxes),
# udev, minicom, picocom, the
# release's own kernel modules for USB serial), vmlinuz and initrd.img (busybox
# that mounts root.img and hands over to the test on the second disk).
#   scripts/guest-image.sh bookworm|trixie DIR MIRROR
# Run as root. Whatever this script makes is keyed by its own hash.
set -euo pipefail
release=$1 out=$2 mirror=$3
# Beside the image, so that what an interrupted run left goes with the next one.
work=$out.work
rm -rf --one-file-system "$work"
mkdir -p "$work"
root=$work/root
mounted=()
child=""
cleanup() {
  local m
  [ -z "$child" ] || { kill "$child" 2>/dev/null; wait "$child" 2>/dev/null; } || true
  for m in "${mounted[@]}"; do umount -l "$m" 2>/dev/null || true; done
  rm -rf --one-file-system "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM INT
# The long steps run in the background: a signal then ends the script at once.
background() {
  "$@" &
  child=$!
  wait "$child"
  child=""
}

background debootstrap --variant=minbase "$release" "$root" "$mirror" >"$work/debootstrap.log" 2>&1 \
  || { tail -20 "$work/debootstrap.log" >&2; exit 1; }
for d in proc sys dev; do mount --bind "/$d" "$root/$d" && mounted=("$root/$d" "${mounted[@]}"); done
in_root() { env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive LANG=C.UTF-8 chroot "$root" "$@"; }
in_root apt-get update -qq
background in_root apt-get install -y -qq --no-install-recommends \
  libqt6widgets6 libqt6serialport6 qt6-qpa-plugins libgl1 fonts-nanum \
  xvfb xauth xdotool udev kmod minicom picocom busybox-static procps \
  at-spi2-core python3-pyatspi dbus-x11 >/dev/null
# The release's kernel, unpacked rather than installed (no initramfs-tools).
kernel=$(in_root apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-[0-9]/ { print $2; exit }')
in_root sh -c "cd /tmp && apt-get download -qq $kernel"
dpkg-deb -x "$root"/tmp/"$kernel"_*.deb "$work/kernel"
version=${kernel#linux-image-}
cp "$work"/kernel/boot/vmlinuz-* "$work/vmlinuz"
base=$work/kernel
[ -d "$base/lib/modules/$version" ] || base=$work/kernel/usr
modules=$base/lib/modules/$version
depmod -b "$base" "$version"
needed() { modprobe -d "$base" -S "$version" --show-depends -a "$@" | awk '$1 == "insmod" && !seen[$2]++ { print $2 }'; }
# Only what the test needs: the root disk, and the USB-serial adapter.
mkdir -p "$root/lib/modules/$version"
cp "$modules"/modules.{order,builtin,builtin.modinfo} "$root/lib/modules/$version/"
for m in $(needed xhci_pci ftdi_sio); do
  rel=${m#"$modules"/}
  mkdir -p "$root/lib/modules/$version/$(dirname "$rel")"
  cp "$m" "$root/lib/modules/$version/$rel"
done
in_root depmod "$version"
rm -rf "$root"/tmp/* "$root"/var/cache/apt/archives/*.deb "$root"/var/lib/apt/lists/*
for m in "${mounted[@]}"; do umount "$m"; done
mounted=()

# The initramfs: busybox and, uncompressed, what mounting the root disk needs.
initrd=$work/initrd
mkdir -p "$initrd"/{bin,proc,sys,dev,root,mod}
cp "$root/bin/busybox" "$initrd/bin/busybox"
n=0
for m in $(needed virtio_pci virtio_blk crc32c_generic ext4); do
  n=$((n + 1))
  case $m in
    *.xz) xz -dc "$m" ;;
    *.zst) zstd -qdc "$m" ;;
    *) cat "$m" ;;
  esac >"$initrd/mod/$(printf %02d "$n").ko"
done
cat >"$initrd/init" <<'EOF'
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
# Some fail and need not load (crc32c_intel without SSE 4.2, duplicates).
for m in /mod/*.ko; do insmod "$m" 2>/dev/null; done
for _ in $(seq 100); do [ -b /dev/vdb ] && break; sleep 0.1; done
mount -t ext4 /dev/vda /root || { echo "guest: no root disk"; poweroff -f; }
mount --move /dev /root/dev
mount --move /proc /root/proc
mount --move /sys /root/sys
exec switch_root /root /bin/sh -c 'mount -t tmpfs tmpfs /tmp && mount -t tmpfs tmpfs /run \
  && mkdir -p /tmp/t /run/lock /dev/pts && chmod 1777 /run/lock && mount -t devpts devpts /dev/pts \
  && tar -xf /dev/vdb -C /tmp/t && exec /bin/bash /tmp/t/boot.sh'
EOF
chmod +x "$initrd/init"
(cd "$initrd" && find . | cpio -o -H newc --quiet) >"$work/initrd.img"

size=$(( $(du -sm "$root" | cut -f1) + 300 ))
mkfs.ext4 -q -F -L root -d "$root" "$work/root.img" "${size}M"
mkdir -p "$out"
mv "$work/root.img" "$work/vmlinuz" "$work/initrd.img" "$out/"
echo "$release $kernel $(date -u +%F)" >"$out/made"
