#!/usr/bin/env bash
# The MSI under Wine, in a copy of the test prefix that never had Quarlin:
# install (a plain shortcut, the Apps & features fields), start, a rebuild of
# the same version over it, upgrade, refused downgrade, removal.
set -euo pipefail
cd "$(dirname "$0")/../.."
. packaging/windows/env.sh
. tests/windows/xvfb.sh
start_xvfb
msi_prefix=$top/$out/wine-msi
rm -rf "$msi_prefix"
cp -a "$prefix" "$msi_prefix"
export QUARLIN_WINEPREFIX=$msi_prefix
trap 'kill $xvfb 2>/dev/null || true; "$out/wine-run" --unix wineserver -k 2>/dev/null || true' EXIT
installed=$msi_prefix/drive_c/Program\ Files/Quarlin
ours() { # what of Quarlin's is in the prefix: files, shortcut, registry
  "$out/wine-run" --unix wineserver -w
  find "$msi_prefix/drive_c" -iname '*quarlin*' | sed "s|^$msi_prefix/||"
  grep -i -H quarlin "$msi_prefix"/*.reg || true
}
arp() { # DisplayName, DisplayVersion and Publisher of each "Apps & features" entry
  "$out/wine-run" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
    tr -d '\r' | sed -n 's/^ *\(DisplayName\|DisplayVersion\|Publisher\|DisplayIcon\) *REG_SZ *//p'
}
uninstall_keys() { # the registry key of each "Apps & features" entry named Quarlin
  "$out/wine-run" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
    tr -d '\r' | awk '/^HKEY_/ { key = $0 } $1 == "DisplayName" && $3 == "Quarlin" { print key }'
}
arp_value() { # <ProductCode's key> <value name>
  "$out/wine-run" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
before=$(ours)
"$out/wine-run" msiexec /i "$(winpath "$top/$out/$zipname.msi")" /qn || fail "msiexec /i: status $?"
diff -r "$stage" "$installed" || fail "Program Files\\Quarlin differs from the zip"
shortcut=$(find "$msi_prefix/drive_c" -name Quarlin.lnk)
[ -n "$shortcut" ] || fail "no Start-menu shortcut"
# (Read whole, then searched: grep -q ending a pipe early fails it under pipefail.)
entries=$(arp)
grep -qx Quarlin <<<"$entries" && grep -qx "$version" <<<"$entries" && grep -qxF "$company" <<<"$entries" ||
  fail "Apps & features: $entries"
echo "installed: $(find "$installed" -type f | wc -l) files as in the zip, ${shortcut#"$msi_prefix/"}, entry $(tr '\n' ' ' <<<"$entries")"
# Plain, not advertised: its target in the MSI is the exe, not the feature.
# (Wine writes an advertised shortcut as a plain link too, so the link on
# disk cannot tell them apart; it must still lead to the exe.)
grep -q $'^StartMenu\t[^\t]*\t[^\t]*\t[^\t]*\t\\[INSTALLDIR\\]quarlin.exe\t' \
  <<<"$(msiinfo export "$out/$zipname.msi" Shortcut)" || fail "the MSI's shortcut does not target [INSTALLDIR]quarlin.exe"
perl -0777 -ne 'tr/\0//d; exit(!/C:\\Program Files\\Quarlin\\quarlin\.exe/i)' "$shortcut" ||
  fail "the Start-menu shortcut does not lead to C:\\Program Files\\Quarlin\\quarlin.exe"
key=$(uninstall_keys)
[ "$(wc -l <<<"$key")" = 1 ] || fail "Apps & features keys: $key"
for field in Contact:QUARLIN_CONTACT HelpLink:QUARLIN_HELP_URL URLInfoAbout:QUARLIN_ABOUT_URL; do
  [ "$(arp_value "$key" "${field%%:*}")" = "$(company_conf "${field#*:}")" ] ||
    fail "Apps & features ${field%%:*}: \"$(arp_value "$key" "${field%%:*}")\", not packaging/company.conf's ${field#*:}"
done
[ "$(arp_value "$key" InstallLocation)" = 'C:\Program Files\Quarlin\' ] ||
  fail "Apps & features InstallLocation: $(arp_value "$key" InstallLocation)"
echo "shortcut: plain, to C:\Program Files\Quarlin\quarlin.exe; Apps & features: contact, help and about links" \
  "from packaging/company.conf, install folder $(arp_value "$key" InstallLocation)"

launch 'C:\Program Files\Quarlin\quarlin.exe'
window=$(shown | awk 'NR == 1 { print $1 }')
# Wine hands the window's icon to X, 32 px first: the exe's, if most of it has
# the colour of the icon's face (#24507a).
face=$(xprop -id "$window" -f _NET_WM_ICON 32c ' = $0+' _NET_WM_ICON | cut -d= -f2 | tr -d ' ' | tr ',' '\n' |
  awk 'NR == 1 && $1 != 32 { exit } NR > 2 && NR <= 1026 { r = int($1 / 65536) % 256; g = int($1 / 256) % 256; b = $1 % 256
       if (r >= 32 && r <= 40 && g >= 76 && g <= 84 && b >= 118 && b <= 126) n++ } END { print n + 0 }')
[ "$face" -ge 300 ] || fail "the window's icon is not Quarlin's ($face of 1024 pixels in its colour)"
echo "the installed quarlin.exe shows \"ZEL Time Table\" with its own icon ($face of 1024 pixels in its colour)"
kill "$app"; wait "$app" 2>/dev/null || true

# The same version rebuilt (a new ProductCode) replaces the installed one.
same=$out/same
rm -rf "$same"
mkdir -p "$same"
packaging/windows/msi.sh "$stage" "$version" "$same/$zipname.msi"
"$out/wine-run" msiexec /i "$(winpath "$top/$same/$zipname.msi")" /qn || fail "rebuild of $version: status $?"
entries=$(arp)
rebuilt=$(uninstall_keys)
[ "$(grep -cx Quarlin <<<"$entries")" = 1 ] && [ "$(wc -l <<<"$rebuilt")" = 1 ] && [ "$rebuilt" != "$key" ] ||
  fail "after a rebuild of $version: $(tr '\n' ' ' <<<"$rebuilt$entries")"
diff -r "$stage" "$installed" || fail "Program Files\\Quarlin differs from the zip after the rebuild"
[ -e "$shortcut" ] || fail "no Start-menu shortcut after the rebuild"
echo "a rebuild of $version replaced it: one entry, ${rebuilt##*\\} in place of ${key##*\\}"

# The newer release: quarlin-next.exe, built beside the tests with the version
# one step up (tests/windows/CMakeLists.txt), in a copy of the folder.
next=$out/next
next_version=$(file_version "$out/tests/windows/quarlin-next.exe")
[ "$next_version" != "$version" ] || fail "quarlin-next.exe has the version $version"
rm -rf "$next"
mkdir -p "$next"
cp -a "$stage" "$next/folder"
x86_64-w64-mingw32-strip --strip-unneeded -o "$next/folder/quarlin.exe" "$out/tests/windows/quarlin-next.exe"
packaging/windows/msi.sh "$next/folder" "$next_version" "$next/quarlin-$next_version.msi"
"$out/wine-run" msiexec /i "$(winpath "$top/$next/quarlin-$next_version.msi")" /qn || fail "upgrade: status $?"
entries=$(arp)
[ "$(grep -cx Quarlin <<<"$entries")" = 1 ] && grep -qx "$next_version" <<<"$entries" || fail "after the upgrade: $entries"
[ "$(file_version "$installed/quarlin.exe")" = "$next_version" ] || fail "installed exe after the upgrade"
echo "upgraded in place to $next_version: one entry, quarlin.exe $(file_version "$installed/quarlin.exe")"
if "$out/wine-run" msiexec /i "$(winpath "$top/$out/$zipname.msi")" /qn /l "$(winpath "$top/$next/downgrade.log")"; then
  fail "downgrade accepted"
fi
# Refused by the launch condition whose message says why (Wine's /qn log has
# the condition's property, not the message).
grep -q '^Property(S): WIX_DOWNGRADE_DETECTED = {' "$next/downgrade.log" &&
  grep -q $'^NOT WIX_DOWNGRADE_DETECTED\tA newer version of Quarlin is already installed' \
    <<<"$(msiinfo export "$out/$zipname.msi" LaunchCondition)" || fail "the downgrade failed, but not as a downgrade"
[ "$(file_version "$installed/quarlin.exe")" = "$next_version" ] || fail "the downgrade changed files"
echo "downgrade to $version refused"

"$out/wine-run" msiexec /x "$(winpath "$top/$next/quarlin-$next_version.msi")" /qn || fail "msiexec /x: status $?"
after=$(ours)
[ "$after" = "$before" ] || { diff <(echo "$before") <(echo "$after"); fail "left behind after msiexec /x"; }
[ -z "$(arp | grep -x Quarlin)" ] || fail "Apps & features entry left"
echo "removed: nothing of Quarlin's left in Program Files, the Start menu or the registry"
