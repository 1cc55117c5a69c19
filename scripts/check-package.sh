#!/usr/bin/env bash
# Builds the Debian package in a build directory (default: build, relative to
# the repository) and checks what it holds.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
if [ ! -f "$build/CMakeCache.txt" ]; then
  echo "check-package: $build is not a configured build directory (run: cmake -S . -B $build)" >&2
  exit 1
fi

echo "== package"
rm -f "$build"/quarlin_*.deb
cmake --build "$build" -j"$(nproc)" --target package >"$build/package.log" 2>&1 || {
  cat "$build/package.log" >&2
  exit 1
}
debs=("$build"/quarlin_1.00_*.deb)
deb=${debs[0]}
if [ ! -f "$deb" ]; then
  echo "check-package: no quarlin_1.00_*.deb in $build" >&2
  cat "$build/package.log" >&2
  exit 1
fi
echo "built $deb"

failed=0
ok() { echo "  ok    $1"; }
miss() { echo "  MISS  $1"; failed=1; }

# Listed once: grep -q on a live dpkg-deb pipe would break it under pipefail.
listing=$(dpkg-deb -c "$deb")
files=$(awk '{print $6}' <<<"$listing")
for path in \
  ./usr/bin/quarlin \
  ./usr/bin/quarlin-sim \
  ./usr/share/applications/quarlin.desktop \
  ./usr/share/icons/hicolor/scalable/apps/quarlin.svg \
  ./usr/share/doc/quarlin/examples/60-quarlin-com.rules.example; do
  if grep -qxF "$path" <<<"$files"; then ok "contains ${path#./}"; else miss "contains ${path#./}"; fi
done
if grep -qE '^\./(etc|lib|usr/lib)/udev/' <<<"$files"; then
  miss "installs no active udev rule"
else
  ok "installs no active udev rule"
fi
if grep -qE '^-rwxr-xr-x .* \./usr/bin/quarlin$' <<<"$listing"; then
  ok "usr/bin/quarlin is executable"
else
  miss "usr/bin/quarlin is executable"
fi

field() { dpkg-deb -f "$deb" "$1"; }
check_field() {
  local name=$1 pattern=$2 what=$3 value
  value=$(field "$name")
  if grep -qE "$pattern" <<<"$value"; then ok "$what ($name: $value)"; else miss "$what ($name: $value)"; fi
}
check_field Package '^quarlin$' "package name is quarlin"
check_field Version '^1\.00$' "version is 1.00"
check_field Section '^electronics$' "section is electronics"
check_field Maintainer '.+<.+@.+>' "has a maintainer"
depends=$(field Depends | tr ',' '\n')
for dep in fonts-nanum libqt6serialport6 libqt6widgets6 libqt6gui6 libqt6core6; do
  if grep -qE "^ *$dep( |\$)" <<<"$depends"; then ok "depends on $dep"; else miss "depends on $dep"; fi
done

if command -v desktop-file-validate >/dev/null; then
  unpacked=$(mktemp -d)
  trap 'rm -rf "$unpacked"' EXIT
  dpkg-deb -x "$deb" "$unpacked"
  if desktop-file-validate "$unpacked/usr/share/applications/quarlin.desktop"; then ok "desktop entry is valid"; else miss "desktop entry is valid"; fi
else
  echo "  skip  desktop-file-validate not installed (apt-get install desktop-file-utils)"
fi

if [ "$failed" -ne 0 ]; then
  echo "check-package: $deb is missing something (see MISS above)" >&2
  exit 1
fi
echo "Package checks passed."
