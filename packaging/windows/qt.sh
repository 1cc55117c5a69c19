#!/usr/bin/env bash
# Prints the folder of the Qt for MinGW that the Windows build uses. It comes
# from $QUARLIN_QT_MINGW (a tarball or an unpacked folder), else from
# ../shared/windows/; a tarball is unpacked into build-windows/qt. Without one
# it says so and exits with 77: skipped, not failed.
set -euo pipefail
cd "$(dirname "$0")/../.."
top=$PWD
out=build-windows
qt_from=${QUARLIN_QT_MINGW:-$(dirname "$top")/shared/windows}
looked_in=$qt_from
if [ -d "$qt_from" ] && [ ! -d "$qt_from/lib/cmake/Qt6" ]; then
  if [ -d "$qt_from/qt/lib/cmake/Qt6" ]; then
    qt_from=$qt_from/qt
  else
    qt_from=$(ls "$qt_from"/qt-*-mingw64*.tar.* 2>/dev/null | tail -n 1 || true)
  fi
fi
if [ -z "$qt_from" ] || [ ! -e "$qt_from" ]; then
  echo "windows.sh: skipped: no Qt for MinGW in $looked_in (set QUARLIN_QT_MINGW to" \
    "qt-6.4.2-mingw64-min.tar.xz or to the folder it unpacks to)" >&2
  exit 77
fi
if [ -d "$qt_from" ]; then
  cd "$qt_from" && pwd
  exit 0
fi
mkdir -p "$out"
stamp="$(stat -c '%s %Y' "$qt_from") $qt_from"
if [ "$(cat "$out/qt.from" 2>/dev/null)" != "$stamp" ]; then
  echo "Unpacking $qt_from" >&2
  rm -rf "$out/qt" "$out/qt.from"
  tar xf "$qt_from" -C "$out"
  echo "$stamp" > "$out/qt.from"
fi
echo "$top/$out/qt"
