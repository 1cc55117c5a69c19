#!/usr/bin/env bash
# The packed quarlin.exe's resources, read back: the six icon sizes, the
# version strings and the manifest.
set -euo pipefail
cd "$(dirname "$0")/../.."
. packaging/windows/env.sh
exe=$stage/quarlin.exe
wrestool -x --type=14 "$exe" > "$out/quarlin-from-exe.ico"
sizes=$(icotool -l "$out/quarlin-from-exe.ico" | sed -n 's/.*--width=\([0-9]*\) --height=\1 .*/\1/p' | tr '\n' ' ')
[ "$sizes" = "16 24 32 48 64 256 " ] || fail "icon sizes: $sizes"
for key in FileVersion ProductVersion; do
  [ "$(file_version "$exe" $key)" = "$version" ] || fail "$key: $(file_version "$exe" $key), not $version"
done
[ "$(file_version "$exe" ProductName)" = Quarlin ] && [ "$(file_version "$exe" CompanyName)" = "$company" ] &&
  [ "$(file_version "$exe" OriginalFilename)" = quarlin.exe ] || fail "version strings"
wrestool -x --raw --type=24 "$exe" > "$out/quarlin.manifest.out"
grep -q '<dpiAwareness[^>]*>PerMonitorV2</dpiAwareness>' "$out/quarlin.manifest.out" &&
  grep -q 'level="asInvoker"' "$out/quarlin.manifest.out" || fail "manifest"
echo "icon $sizes px; version $version; manifest PerMonitorV2, asInvoker"
