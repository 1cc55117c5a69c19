#!/usr/bin/env bash
# Packs build-windows/quarlin-<version>-windows-x64.zip and .msi from the
# Windows build: quarlin.exe with the Qt and MinGW DLLs, LICENSE, the
# notices, the Korean guide and README.txt. quarlin.exe and the MSI are
# signed when a certificate is given (sign.sh).
set -euo pipefail
cd "$(dirname "$0")/../.."
. packaging/windows/env.sh
rm -rf "$out/zip" "$out/$zipname.zip" "$out/$zipname.msi"
mkdir -p "$stage/platforms"
cp "$out/quarlin.exe" "$qt"/bin/Qt6{Core,Gui,Widgets,SerialPort}.dll "$gcc_dlls"/{libstdc++-6,libgcc_s_seh-1}.dll \
  "$mingw_dlls/libwinpthread-1.dll" "$stage/"
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
# Debug symbols would make up half the download.
find "$stage" -name '*.exe' -o -name '*.dll' | xargs x86_64-w64-mingw32-strip --strip-unneeded
packaging/windows/sign.sh "$stage/quarlin.exe"
cp LICENSE "$stage/LICENSE"
qt_version=$(sed -n 's/^set(PACKAGE_VERSION "\(.*\)")/\1/p' "$qt/lib/cmake/Qt6Core/Qt6CoreConfigVersionImpl.cmake")
packaging/windows/notices.sh "$stage" "$qt_version" "$stage/THIRD-PARTY-NOTICES.txt" "$qt"
packaging/windows/guide.sh win "$version" "$stage/읽어보기.txt"
sed 's/$/\r/' > "$stage/README.txt" <<EOT
Quarlin $version for Windows 10 and 11 (64-bit)

quarlin-$version-windows-x64.msi installs Quarlin into Program Files with a
Start-menu entry, which takes administrator rights; "msiexec /i
quarlin-$version-windows-x64.msi /qn" does so silently. Without installing:
unpack the whole zip folder anywhere and double-click quarlin.exe; keep the
DLLs and the folder "platforms" beside it. Unless the files
are signed, Windows may first show "Windows protected your PC": "More info",
then "Run anyway".

Contact and help: $(company_conf QUARLIN_CONTACT), $(company_conf QUARLIN_HELP_URL)

COM 1 to 8 in the window open the ports COM1 to COM8. The Device Manager
(Ports (COM & LPT)) shows which number a USB-serial adapter received; to
move it to COM 1-8: the port > Port Settings > Advanced > COM Port Number.

The guide for operators, in Korean, is 읽어보기.txt. Quarlin is under the
MIT licence (LICENSE); the libraries beside it, their licences and where
their sources are: THIRD-PARTY-NOTICES.txt.
EOT
# Every DLL named in an import table must be in the zip or come with Windows
# (api-ms-win-* are names the Windows loader resolves itself).
system_dlls=$(ls "$prefix/drive_c/windows/system32" | tr '[:upper:]' '[:lower:]')
for f in "$stage"/*.exe "$stage"/*.dll "$stage"/*/*.dll; do
  x86_64-w64-mingw32-objdump -p "$f" | sed -n 's/^\tDLL Name: //p'
done | sort -u | while read -r dll; do
  [ -e "$stage/$dll" ] || [[ $dll == api-ms-win-* ]] || grep -qxF "${dll,,}" <<<"$system_dlls" || { echo "not in the zip: $dll" >&2; exit 1; }
done
# Python's zipfile marks a non-ASCII name as UTF-8 (flag bit 11), as
# Explorer expects; Info-ZIP's zip 3.0 does not, and Korean Windows
# would read 읽어보기.txt in code page 949.
python3 - "$out/zip" "$zipname" "$out/$zipname.zip" <<'ZIP'
import os, sys, zipfile
root, name, dest = sys.argv[1:]
with zipfile.ZipFile(dest, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for folder, subfolders, files in os.walk(os.path.join(root, name)):
        subfolders.sort()
        z.write(folder, os.path.relpath(folder, root))
        for f in sorted(files):
            z.write(os.path.join(folder, f), os.path.relpath(os.path.join(folder, f), root))
ZIP
packaging/windows/msi.sh "$stage" "$version" "$out/$zipname.msi"
packaging/windows/sign.sh "$out/$zipname.msi"
[ -n "${QUARLIN_SIGN_PKCS12:-}" ] && [ -n "${QUARLIN_SIGN_PASSWORD_FILE:-}" ] ||
  echo "Not signed: quarlin.exe and the MSI (QUARLIN_SIGN_PKCS12 and QUARLIN_SIGN_PASSWORD_FILE are not set)"
! grep -q '^QUARLIN_[A-Z_]*=.*example\.com' packaging/company.conf ||
  echo "Placeholders: packaging/company.conf still names example.com (contact, help and about link)"
for f in "$out/$zipname".{zip,msi}; do echo "$f: $(du -k "$f" | cut -f1) kB"; done
