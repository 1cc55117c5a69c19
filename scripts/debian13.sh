#!/usr/bin/env bash
# Builds and tests the current commit on Debian 13 (Qt 6.8) in a chroot made
# once with debootstrap and reused: setup.sh, the -Werror build, CTest and the
# package checks. QUARLIN_SKIP_DEBIAN13=1 skips it; QUARLIN_DEBIAN13_ROOT
# moves the root (default /var/tmp/quarlin-debian13, outside the checkout so
# that fresh clones share it).
#
#   scripts/debian13.sh --run <command>  runs a command as root in the root
#     (made first if missing), in this checkout, which is bound there at the
#     same path, as are the folders listed in QUARLIN_DEBIAN13_BIND
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${QUARLIN_SKIP_DEBIAN13:-0}" != 0 ] && [ "${1:-}" != --run ]; then
  echo "Debian 13 stage skipped (QUARLIN_SKIP_DEBIAN13=$QUARLIN_SKIP_DEBIAN13)."
  exit 0
fi
started=$SECONDS
root=${QUARLIN_DEBIAN13_ROOT:-/var/tmp/quarlin-debian13}
root=$(realpath -m "$root")
stamp=$root/.quarlin-root-complete
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

# Two runs at once would share one root and its mounts.
mkdir -p "$(dirname "$root")"
exec 9>"$root.lock"
flock 9

mounts_below() { findmnt -rn -o TARGET | awk -v r="$root" '$0 == r || index($0, r "/") == 1'; }
# Also what an interrupted earlier run, or debootstrap itself, left mounted.
leave_root() {
  # Whatever still runs inside (an Xvfb, a hung test) would keep /dev busy.
  $sudo sh -c 'for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root")" = "$1" ] && kill -KILL "${p#/proc/}"; done; true' _ "$root" 2>/dev/null
  local m left
  for m in $(mounts_below | tac); do
    $sudo umount "$m" 2>/dev/null || $sudo umount -l "$m"
  done
  left=$(mounts_below)
  if [ -n "$left" ]; then
    echo "debian13: still mounted: $left" >&2
    return 1
  fi
}
# Bash acts on Ctrl+C only once a foreground child dies of it, and debootstrap,
# dpkg and apt do not: the long steps run in the background, and a signal
# ends the script at once (leave_root stops what still runs inside).
child=""
background() {
  local status=0
  "$@" &
  child=$!
  wait "$child" || status=$?
  child=""
  return "$status"
}
stop() {
  [ -z "$child" ] || $sudo kill -TERM "$child" 2>/dev/null || true
  exit "$1"
}
trap 'leave_root' EXIT
trap 'stop 130' INT
trap 'stop 143' TERM
# The root is a mount of its own: a test inside may then take a mount
# namespace with every mount private (unshare needs / to be a mount point).
enter_root() {
  local d
  $sudo mount --bind "$root" "$root"
  for d in proc sys dev dev/pts; do
    $sudo mkdir -p "$root/$d"
    $sudo mount --bind "/$d" "$root/$d"
  done
}
in_root() {
  $sudo env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" \
    DEBIAN_FRONTEND=noninteractive chroot "$root" "$@"
}

# The package source apt uses here, so that the stage works wherever apt does.
mirror=${QUARLIN_DEBIAN13_MIRROR:-}
if [ -z "$mirror" ] && [ -f /etc/apt/sources.list.d/debian.sources ]; then
  mirror=$(awk '/^URIs:/ && $2 !~ /security/ { print $2; exit }' /etc/apt/sources.list.d/debian.sources)
fi
if [ -z "$mirror" ] && [ -f /etc/apt/sources.list ]; then
  mirror=$(awk '$1 == "deb" && $0 !~ /security/ { for (i = 2; i <= NF; i++) if ($i ~ /:\/\//) { print $i; exit } }' /etc/apt/sources.list)
fi
mirror=${mirror:-http://deb.debian.org/debian}

if [ ! -f "$stamp" ]; then
  # A root without the stamp is what an interrupted run left: start again.
  leave_root
  scripts/setup.sh debootstrap
  echo "== Debian 13 root: debootstrap trixie from $mirror into $root (once)"
  $sudo rm -rf --one-file-system "$root"
  background $sudo debootstrap --variant=minbase trixie "$root" "$mirror" >"$root.debootstrap.log" 2>&1 \
    || { tail -20 "$root.debootstrap.log" >&2; exit 1; }
  enter_root
  background in_root sh -c 'apt-get update -qq && apt-get install -y -qq --no-install-recommends git ca-certificates >/dev/null'
  leave_root
  $sudo touch "$stamp"
fi

if [ "${1:-}" = --run ]; then
  shift
  enter_root
  for d in "$PWD" ${QUARLIN_DEBIAN13_BIND:-}; do
    $sudo mkdir -p "$root$d"
    $sudo mount --bind "$d" "$root$d"
  done
  status=0
  background in_root sh -c 'cd "$1" && shift && exec "$@"' run "$PWD" "$@" || status=$?
  leave_root
  exit "$status"
fi

echo "== Debian 13: $(sed -n 's/^PRETTY_NAME=//p' "$root/etc/os-release" | tr -d '"'), commit $(git rev-parse --short HEAD)"
bundle=$(mktemp)
git bundle create -q "$bundle" HEAD
$sudo rm -rf --one-file-system "$root/root/quarlin" "$root/root/quarlin.bundle" "$root"/root/quarlin_*.deb
$sudo cp "$bundle" "$root/root/quarlin.bundle"
rm -f "$bundle"

enter_root
status=0
background in_root sh -ec '
  git -c init.defaultBranch=main -c advice.detachedHead=false clone -q /root/quarlin.bundle /root/quarlin
  cd /root/quarlin
  scripts/setup.sh xvfb xauth socat xdotool openbox tint2 x11-utils ccache
  export QT_QPA_PLATFORM=offscreen CMAKE_CXX_COMPILER_LAUNCHER=ccache
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARLIN_WERROR=ON >/dev/null
  cmake --build build -j"$(nproc)"
  ctest --test-dir build --output-on-failure -j"$(nproc)"
  scripts/check-package.sh build
  cp build/quarlin_*.deb /root/' || status=$?
leave_root

elapsed=$((SECONDS - started))
if [ "$status" -ne 0 ]; then
  echo "Debian 13 stage FAILED after $((elapsed / 60)) min $((elapsed % 60)) s (root: $root)" >&2
  exit "$status"
fi
echo "Debian 13 stage passed in $((elapsed / 60)) min $((elapsed % 60)) s: $(ls "$root"/root/quarlin_*.deb)"
