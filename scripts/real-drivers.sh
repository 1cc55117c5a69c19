#!/usr/bin/env bash
# Tests the installed package on real serial drivers: a Debian 12 and a
# Debian 13 guest under QEMU (TCG), each with its release's .deb, a 16550A
# UART (ttyS1) and an FTDI USB adapter (ttyUSB0) that the host unplugs and
# plugs back. Exits 77, saying why on its last line, where QEMU cannot run.
#   QUARLIN_DEB12, QUARLIN_DEB13  the packages (default: the main build's and
#                                 the Debian 13 stage's)
#   QUARLIN_GUESTS                which guests (default: "deb12 deb13")
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS

skip() { echo "Real drivers stage skipped: $1"; exit 77; }
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo -n true 2>/dev/null || skip "needs root or sudo without a password (device nodes, debootstrap)"
  sudo="sudo"
fi
scripts/setup.sh qemu-system-x86 debootstrap e2fsprogs kmod cpio xz-utils zstd python3 >/dev/null 2>&1 \
  || skip "qemu-system-x86 and debootstrap could not be installed"
command -v qemu-system-x86_64 >/dev/null || skip "no qemu-system-x86_64"

mirror=${QUARLIN_DEBIAN13_MIRROR:-}
if [ -z "$mirror" ] && [ -f /etc/apt/sources.list.d/debian.sources ]; then
  mirror=$(awk '/^URIs:/ && $2 !~ /security/ { print $2; exit }' /etc/apt/sources.list.d/debian.sources)
fi
mirror=${mirror:-http://deb.debian.org/debian}

debian13=$(realpath -m "${QUARLIN_DEBIAN13_ROOT:-/var/tmp/quarlin-debian13}")
declare -A release=([deb12]=bookworm [deb13]=trixie)
declare -A deb=([deb12]="${QUARLIN_DEB12:-$(ls build/quarlin_*~deb12_amd64.deb 2>/dev/null | head -1)}"
  [deb13]="${QUARLIN_DEB13:-$(ls "$debian13"/root/quarlin_*~deb13_amd64.deb 2>/dev/null | head -1)}")
guests=${QUARLIN_GUESTS:-deb12 deb13}
key=$(sha256sum scripts/guest-image.sh | cut -c1-12)

work=$(mktemp -d)
children=()
cleanup() {
  local p
  for p in "${children[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The images: made once for each release and this script's version, in the
# background side by side, and kept under /var/tmp.
if [ "${QUARLIN_SKIP_DEBIAN13:-0}" != 0 ] && [ ! -f "${deb[deb13]}" ]; then
  echo "The Debian 13 guest is left out: no Debian 13 package (QUARLIN_SKIP_DEBIAN13=$QUARLIN_SKIP_DEBIAN13)."
  guests=${guests//deb13/}
fi
for g in $guests; do
  [ -f "${deb[$g]}" ] || { echo "real drivers: no $g package (${deb[$g]:-none found}); run the earlier stages first" >&2; exit 1; }
  image=/var/tmp/quarlin-guest-$g/$key
  if [ ! -f "$image/made" ]; then
    echo "== $g guest image: debootstrap ${release[$g]} into $image (once)"
    $sudo rm -rf "/var/tmp/quarlin-guest-$g"
    $sudo scripts/guest-image.sh "${release[$g]}" "$image" "$mirror" >"$work/$g-image.log" 2>&1 &
    children+=($!)
    echo "$!" >"$work/$g-image.pid"
  fi
done
for g in $guests; do
  [ -f "$work/$g-image.pid" ] || continue
  wait "$(cat "$work/$g-image.pid")" || { cat "$work/$g-image.log" >&2; echo "real drivers: the $g image could not be made" >&2; exit 1; }
  echo "== $g guest image made after $((SECONDS - started)) s"
done
children=()

# Both guests at once, one core each; the payload disk is a plain tar.
for g in $guests; do
  mkdir -p "$work/$g"
  cp tests/real-drivers/guest.sh "$work/$g/boot.sh"
  cp tests/real-drivers/boxtext.py tests/real-drivers/hold.py "$work/$g/"
  cp "${deb[$g]}" "$work/$g/quarlin.deb"
  basename "${deb[$g]}" >"$work/$g/name"
  tar -cf "$work/$g.tar" -C "$work/$g" boot.sh boxtext.py hold.py quarlin.deb name
  echo "== $g guest: $(basename "${deb[$g]}")"
  /usr/bin/python3 tests/real-drivers/host.py "/var/tmp/quarlin-guest-$g/$key" "$work/$g.tar" "$work/$g" "[$g]" &
  children+=($!)
  echo "$!" >"$work/$g.pid"
done
failed=()
for g in $guests; do
  wait "$(cat "$work/$g.pid")" || failed+=("$g")
done
children=()
took="$(((SECONDS - started) / 60)) min $(((SECONDS - started) % 60)) s"
if [ ${#failed[@]} -ne 0 ]; then
  echo "Real drivers stage FAILED in ${failed[*]} after $took" >&2
  exit 1
fi
echo "Real drivers stage passed in $took ($guests)"
