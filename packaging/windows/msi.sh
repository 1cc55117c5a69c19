#!/usr/bin/env bash
# Makes an MSI of a folder laid out like the zip's: quarlin.wxs holds the exe
# and its shortcut, wixl-heat lists every other file of the folder. wixl takes
# file names relative to the .wxs files only.
# Usage: msi.sh <folder> <version> <msi>
set -euo pipefail
folder=$1 msi_version=$2 msi=$3
cd "$(dirname "$0")/../.."
. packaging/windows/env.sh
work=$msi.wxs
rm -rf "$work"
mkdir -p "$work"
cp packaging/windows/quarlin.wxs "$work/"
(cd "$folder" && find . -type f ! -name quarlin.exe | sed 's|^\./||' | LC_ALL=C sort) |
  wixl-heat --directory-ref INSTALLDIR --component-group Files --var var.Stage --win64 -p "" > "$work/files.wxs"
# wixl leaves a non-ASCII file name empty (and crashes on one given): the
# guide goes in as guide-ko.txt and then gets its Korean name, in the
# Korean code page (949), which Windows Installer reads on any Windows.
sed -i 's|\( Source="$(var.Stage)/읽어보기.txt"\)| Name="guide-ko.txt"\1|' "$work/files.wxs"
wixl -a x64 -D Version="$msi_version" -D Stage="$(realpath --relative-to="$work" "$folder")" \
  -D Icon="$(realpath --relative-to="$work" "$out/resources/quarlin.ico")" \
  -D Manufacturer="$company" -D Contact="$(company_conf QUARLIN_CONTACT)" \
  -D HelpUrl="$(company_conf QUARLIN_HELP_URL)" -D AboutUrl="$(company_conf QUARLIN_ABOUT_URL)" \
  -D Win64=yes -o "$msi" "$work/quarlin.wxs" "$work/files.wxs" 2>&1 |
  { grep -v 'builder.vala:[0-9]*: unimplemented' || true; } # an attribute wixl ignores; the result is tested
[ -s "$msi" ] || fail "wixl made no $msi"
printf '\r\n\r\n949\t_ForceCodepage\r\n' > "$work/_ForceCodepage.idt"
msibuild "$msi" -i "$work/_ForceCodepage.idt" \
  -q "UPDATE \`File\` SET \`FileName\` = 'GUIDE-KO.TXT|읽어보기.txt' WHERE \`File\` = '$(
    sed -n 's|.*<File Id="\([^"]*\)".* Name="guide-ko.txt".*|\1|p' "$work/files.wxs")'"
grep -q '|읽어보기.txt' <<<"$(msiinfo export "$msi" File)" || fail "no 읽어보기.txt in $msi"
# wixl makes every shortcut advertised (its Target is the feature): a file
# gone missing would then start a repair that asks for this MSI. A plain
# shortcut names the exe, and takes its icon from it.
for set in "\`Target\` = '[INSTALLDIR]quarlin.exe'" "\`Icon_\` = ''"; do
  msibuild "$msi" -q "UPDATE \`Shortcut\` SET $set WHERE \`Shortcut\` = 'StartMenu'"
done
# A rebuild of the same version gets a new ProductCode; it replaces the
# installed one, as a newer version does, when the upgrade's upper bound
# includes this version (wixl has no AllowSameVersionUpgrades). The
# downgrade row's lower bound already excludes it.
# (Attributes is part of the table's key: the table is imported anew.)
msiinfo export "$msi" Upgrade | tr -d '\r' |
  awk -F'\t' -v OFS='\t' '$7 == "WIX_UPGRADE_DETECTED" && $5 == 1 { $5 = 1 + 512 } { printf "%s\r\n", $0 }' > "$work/Upgrade.idt"
msibuild "$msi" -i "$work/Upgrade.idt"
rm -rf "$work"
