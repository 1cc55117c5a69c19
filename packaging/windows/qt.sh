#!/usr/bin/env bash
# Prints the folder of the Qt for MinGW that the Windows build uses.
#
# QUARLIN_QT_MINGW may name one (a tarball, unpacked into build-windows/, or a
# folder); it must be a Qt 6.8, like the host tools it is built with. Else it
# is the Qt that build-qt-mingw.sh builds in the Debian 13 root for Windows
# builds (QUARLIN_WINDOWS_ROOT, default /var/tmp/quarlin-debian13),
# once, and keeps in QUARLIN_QT_MINGW_CACHE (default /var/tmp/quarlin-qt-mingw)
# under a key of its exact sources: Debian's qt6-base version, the Qt Serial
# Port tarball and the build script. Exits with 77 when there is none and
# none can be built (no root access).
set -euo pipefail
cd "$(dirname "$0")/../.."
top=$PWD
out=build-windows

if [ -n "${QUARLIN_QT_MINGW:-}" ]; then
  from=$QUARLIN_QT_MINGW
  [ -d "$from/qt/lib/cmake/Qt6" ] && from=$from/qt
  if [ -d "$from/lib/cmake/Qt6" ]; then
    cd "$from" && pwd
    exit 0
  fi
  [ -f "$from" ] || { echo "qt.sh: no Qt for MinGW at QUARLIN_QT_MINGW=$from" >&2; exit 1; }
  stamp="$(stat -c '%s %Y' "$from") $from"
  mkdir -p "$out"
  if [ "$(cat "$out/qt.from" 2>/dev/null)" != "$stamp" ]; then
    echo "Unpacking $from" >&2
    rm -rf "$out/qt" "$out/qt.from"
    tar xf "$from" -C "$out"
    echo "$stamp" > "$out/qt.from"
  fi
  echo "$top/$out/qt"
  exit 0
fi

if [ "$(id -u)" -ne 0 ] && ! sudo -n true 2>/dev/null; then
  echo "qt.sh: building the Qt for MinGW needs root (for the Debian 13 root); set QUARLIN_QT_MINGW" >&2
  exit 77
fi
cache=${QUARLIN_QT_MINGW_CACHE:-/var/tmp/quarlin-qt-mingw}
root=${QUARLIN_WINDOWS_ROOT:-${QUARLIN_DEBIAN13_ROOT:-/var/tmp/quarlin-debian13}}
in_root() { QUARLIN_DEBIAN13_ROOT=$root QUARLIN_DEBIAN13_BIND=$cache scripts/debian13.sh --run "$@"; }
mkdir -p "$cache"

# The qtbase source is that of the host tools installed in the root.
tools_version() { dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${source:Version}' qt6-base-dev-tools 2>/dev/null; }
if [ -z "$(tools_version)" ]; then
  in_root sh -c 'apt-get update -qq && apt-get install -y -qq --no-install-recommends qt6-base-dev-tools >/dev/null' >&2
fi
here=packaging/windows
key=$(tools_version)-$(cat "$here"/qtserialport-everywhere-src-*.tar.xz "$here/build-qt-mingw.sh" | sha256sum | cut -c1-16)
qt=$cache/$key/qt
if [ ! -f "$qt/qt-sources.txt" ]; then
  echo "Building Qt $(tools_version) for Windows once, into $cache/$key (about 12 minutes on 2 idle cores)" >&2
  started=$SECONDS
  rm -rf "$cache/$key"
  in_root env JOBS="${JOBS:-$(nproc)}" nice -n 15 "$here/build-qt-mingw.sh" "$qt" "$cache/$key.work" >&2
  rm -rf "$cache/$key.work"
  elapsed=$((SECONDS - started))
  echo "Qt for Windows built in $((elapsed / 60)) min $((elapsed % 60)) s" >&2
fi
echo "$qt"
