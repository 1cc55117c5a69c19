#!/usr/bin/env bash
# Builds Quarlin for 64-bit Windows in a Debian 13 root and tests it under Wine:
# cross-compiles with MinGW-w64 into build-windows/, packs
# build-windows/quarlin-<version>-windows-x64.zip and .msi and runs the tests
# as Windows programs, the download through Wine's COM1 into a Linux pty
# included, then installs, upgrades and removes the MSI in a copy of the prefix.
#
#   scripts/windows.sh               build, zip, test
#   scripts/windows.sh --screenshot  also docs/window-windows.png (under Xvfb)
#
# The Qt for MinGW is built once from Debian's sources and cached, or taken
# from $QUARLIN_QT_MINGW (packaging/windows/qt.sh); where none can be had the
# script says so and exits with 77: skipped, not failed. quarlin.exe and the MSI are signed when
# QUARLIN_SIGN_PKCS12 and QUARLIN_SIGN_PASSWORD_FILE name a .p12 and its
# password (time-stamped by QUARLIN_SIGN_TIMESTAMP_URL if it answers).
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
out=build-windows
version=$(sed -n 's/^project(Quarlin VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
company=$(sed -n '0,/^Copyright ([cC]) [0-9, -]* /s///p' LICENSE)
zipname=quarlin-$version-windows-x64

# The stage runs in the Debian 13 root for Windows builds: Qt 6.8's host
# tools, GCC 14's MinGW-w64, and a Wine (10) whose serial waits complete
# through an I/O completion port, as Qt's reads need.
if [ -z "${QUARLIN_QT_PREFIX:-}" ]; then
  status=0
  qt=$(packaging/windows/qt.sh) || status=$?
  [ "$status" -eq 0 ] || exit "$status"
  pass=(QUARLIN_QT_PREFIX="$qt")
  for v in $(compgen -e | grep -E '^(QUARLIN_|JOBS$)'); do pass+=("$v=${!v}"); done
  QUARLIN_DEBIAN13_ROOT=${QUARLIN_WINDOWS_ROOT:-/var/tmp/quarlin-debian13-mingw} \
    QUARLIN_DEBIAN13_BIND="${QUARLIN_QT_MINGW_CACHE:-/var/tmp/quarlin-qt-mingw} $qt" \
    exec scripts/debian13.sh --run env "${pass[@]}" scripts/windows.sh "$@"
fi
qt=$QUARLIN_QT_PREFIX

# qt6-base-dev (in setup.sh's list) also holds the CMake files of the host tools.
extra=(g++-mingw-w64-x86-64-posix wine64 qt6-base-dev-tools socat zip librsvg2-bin icoutils
  wixl msitools osslsigncode openssl xvfb x11-utils)
[ "${1:-}" = --screenshot ] && extra+=(imagemagick)
"$top/scripts/setup.sh" "${extra[@]}"

mkdir -p "$out"
gcc_dlls=$(dirname "$(x86_64-w64-mingw32-gcc-posix -print-libgcc-file-name)")
mingw_dlls=/usr/x86_64-w64-mingw32/lib
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# Runs a Windows program in the prefix inside $out (`--unix cmd` runs a Unix
# command, e.g. wineserver, with the same settings).
# Wine hides QT_* from Windows programs; WINEQT_* reaches them as QT_*.
prefix=$top/$out/wine
cat > "$out/wine-run" <<EOF
#!/bin/sh
export PATH=/usr/lib/wine:\$PATH WINEPREFIX=\${QUARLIN_WINEPREFIX:-'$prefix'} WINEDEBUG=\${WINEDEBUG:--all}
# No Mono or Gecko prompts, and no menu entries on the Linux desktop.
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
export WINEPATH='$(winpath "$qt/bin");$(winpath $gcc_dlls);$(winpath $mingw_dlls)'
export WINEQT_PLUGIN_PATH='$(winpath "$qt/plugins")' WINEQT_QPA_FONTDIR='$(winpath /usr/share/fonts/truetype/nanum)'
# Under Wine NanumGothic plays Malgun Gothic (below) through a face replacement,
# which only GDI honours: Qt 6.8 draws text with DirectWrite unless told.
platform=\${QT_QPA_PLATFORM:-windows}
[ "\$platform" = windows ] && platform=windows:fontengine=gdi
export WINEQT_QPA_PLATFORM=\$platform WINEQT_FORCE_STDERR_LOGGING=1
[ "\$1" = --unix ] && { shift; exec "\$@"; }
# Started here so that its object dump at exit does not reach the test logs.
wineserver >/dev/null 2>&1 || true
exec wine64 "\$@"
EOF
chmod +x "$out/wine-run"
if [ ! -f "$prefix/system.reg" ]; then
  echo "Making the Wine prefix $out/wine"
  "$out/wine-run" wineboot -i >/dev/null 2>&1
  # Wine lacks Malgun Gothic, which every Windows since Vista has; NanumGothic
  # plays it, so the program picks its face as it does on Windows.
  printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\n"Malgun Gothic"="NanumGothic"\n' \
    > "$prefix/fonts.reg"
  "$out/wine-run" regedit /S "$(winpath "$prefix/fonts.reg")"
  "$out/wine-run" --unix wineserver -w
fi
for f in /usr/share/fonts/truetype/nanum/NanumGothic*.ttf; do
  ln -sf "$f" "$prefix/drive_c/windows/Fonts/"
done

echo "== Windows build ($SECONDS s)"
cmake -S . -B "$out" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64.cmake" -DCMAKE_PREFIX_PATH="$qt" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$top/$out/wine-run" \
  -DQUARLIN_TOOLS=OFF -DQUARLIN_BENCH=OFF >/dev/null
cmake --build "$out" -j"${JOBS:-$(nproc)}"

fail() { echo "FAILED: $*" >&2; exit 1; }

# Signs a file in place when a certificate is given (see the top).
sign() {
  [ -n "${QUARLIN_SIGN_PKCS12:-}" ] && [ -n "${QUARLIN_SIGN_PASSWORD_FILE:-}" ] || return 0
  local args=(sign -pkcs12 "$QUARLIN_SIGN_PKCS12" -readpass "$QUARLIN_SIGN_PASSWORD_FILE" -h sha256
    -n Quarlin -in "$1" -out "$1.signed")
  rm -f "$1.signed"
  if [ -n "${QUARLIN_SIGN_TIMESTAMP_URL:-}" ] &&
     ! osslsigncode "${args[@]}" -ts "$QUARLIN_SIGN_TIMESTAMP_URL" >/dev/null 2>&1; then
    echo "$(basename "$1"): no answer from $QUARLIN_SIGN_TIMESTAMP_URL, signed without a time stamp" >&2
    rm -f "$1.signed"
  fi
  [ -e "$1.signed" ] || osslsigncode "${args[@]}" >/dev/null
  mv "$1.signed" "$1"
}

# Makes an MSI of a folder laid out like the zip's: quarlin.wxs holds the exe
# and its shortcut, wixl-heat lists every other file of the folder. wixl takes
# file names relative to the .wxs files only.
make_msi() { # <folder> <version> <msi>
  local work=$3.wxs
  rm -rf "$work"
  mkdir -p "$work"
  cp packaging/windows/quarlin.wxs "$work/"
  (cd "$1" && find . -type f ! -name quarlin.exe | sed 's|^\./||' | LC_ALL=C sort) |
    wixl-heat --directory-ref INSTALLDIR --component-group Files --var var.Stage --win64 -p "" > "$work/files.wxs"
  # wixl leaves a non-ASCII file name empty (and crashes on one given): the
  # guide goes in as guide-ko.txt and then gets its Korean name, in the
  # Korean code page (949), which Windows Installer reads on any Windows.
  sed -i 's|\( Source="$(var.Stage)/읽어보기.txt"\)| Name="guide-ko.txt"\1|' "$work/files.wxs"
  wixl -a x64 -D Version="$2" -D Stage="$(realpath --relative-to="$work" "$1")" \
    -D Icon="$(realpath --relative-to="$work" "$out/resources/quarlin.ico")" \
    -D Manufacturer="$company" -D Win64=yes -o "$3" "$work/quarlin.wxs" "$work/files.wxs" 2>&1 |
    { grep -v 'builder.vala:[0-9]*: unimplemented' || true; } # an attribute wixl ignores; the result is tested
  [ -s "$3" ] || fail "wixl made no $3"
  printf '\r\n\r\n949\t_ForceCodepage\r\n' > "$work/_ForceCodepage.idt"
  msibuild "$3" -i "$work/_ForceCodepage.idt" \
    -q "UPDATE \`File\` SET \`FileName\` = 'GUIDE-KO.TXT|읽어보기.txt' WHERE \`File\` = '$(
      sed -n 's|.*<File Id="\([^"]*\)".* Name="guide-ko.txt".*|\1|p' "$work/files.wxs")'"
  grep -q '|읽어보기.txt' <<<"$(msiinfo export "$3" File)" || fail "no 읽어보기.txt in $3"
  rm -rf "$work"
}

echo "== Windows zip and MSI ($SECONDS s)"
stage=$out/zip/$zipname
rm -rf "$out/zip" "$out/$zipname.zip" "$out/$zipname.msi"
mkdir -p "$stage/platforms"
cp "$out/quarlin.exe" "$qt"/bin/Qt6{Core,Gui,Widgets,SerialPort}.dll "$gcc_dlls"/{libstdc++-6,libgcc_s_seh-1}.dll \
  "$mingw_dlls/libwinpthread-1.dll" "$stage/"
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
# Debug symbols would make up half the download.
find "$stage" -name '*.exe' -o -name '*.dll' | xargs x86_64-w64-mingw32-strip --strip-unneeded
sign "$stage/quarlin.exe"
cp LICENSE "$stage/LICENSE"
qt_version=$(sed -n 's/^set(PACKAGE_VERSION "\(.*\)")/\1/p' "$qt/lib/cmake/Qt6Core/Qt6CoreConfigVersionImpl.cmake")
packaging/windows/notices.sh "$stage" "$qt_version" "$stage/THIRD-PARTY-NOTICES.txt" "$qt"
packaging/windows/guide.sh win "$version" "$stage/읽어보기.txt"
sed 's/$/\r/' > "$stage/README.txt" <<EOT
Quarlin $version for Windows 10 and 11 (64-bit)

quarlin-$version-windows-x64.msi installs Quarlin into Program Files with a
Start-menu entry; "msiexec /i quarlin-$version-windows-x64.msi /qn" does so
silently. Without installing: unpack the whole zip folder anywhere and
double-click quarlin.exe; keep the DLLs and the folder "platforms" beside
it.

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
(cd "$out/zip" && zip -qr -9 "../$zipname.zip" "$zipname")
make_msi "$stage" "$version" "$out/$zipname.msi"
sign "$out/$zipname.msi"
[ -n "${QUARLIN_SIGN_PKCS12:-}" ] && [ -n "${QUARLIN_SIGN_PASSWORD_FILE:-}" ] ||
  echo "Not signed: quarlin.exe and the MSI (QUARLIN_SIGN_PKCS12 and QUARLIN_SIGN_PASSWORD_FILE are not set)"
for f in "$out/$zipname".{zip,msi}; do echo "$f: $(du -k "$f" | cut -f1) kB"; done

# The strings of a binary VERSIONINFO (UTF-16), one a line: key, then value.
utf16_strings() { perl -0777 -ne 'while (/((?:[\x20-\x7e]\0)+)\0\0/g) { ($s = $1) =~ tr/\0//d; print "$s\n" }'; }
file_version() { wrestool -x --raw --type=16 "$1" | utf16_strings | grep -A 1 -x "${2:-FileVersion}" | tail -n 1; }

echo "== Resources of quarlin.exe ($SECONDS s)"
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

echo "== Notices and guide ($SECONDS s)"
notices=$stage/THIRD-PARTY-NOTICES.txt
# A DLL in the zip without its entry in the notices' list of files fails here.
for dll in $(cd "$stage" && find . -name '*.dll' | sed 's|^\./||'); do
  grep -qxF "$dll"$'\r' "$notices" || fail "$dll has no entry in THIRD-PARTY-NOTICES.txt"
done
for text in "GNU LESSER GENERAL PUBLIC LICENSE" "GNU GENERAL PUBLIC LICENSE" "GCC RUNTIME LIBRARY EXCEPTION" \
    "Files: src/3rdparty/harfbuzz-ng/*" "Files: mingw-w64-libraries/winpthreads/*" \
    "qt6-base_$qt_version"; do
  grep -qF "$text" "$notices" || fail "THIRD-PARTY-NOTICES.txt lacks $text"
done
while IFS= read -r text; do
  grep -qxF "$text"$'\r' "$notices" || fail "THIRD-PARTY-NOTICES.txt lacks the Qt sources' line: $text"
done < "$qt/qt-sources.txt"
guide=$stage/읽어보기.txt
[ "$(head -c 3 "$guide" | od -An -tx1 | tr -d ' ')" = efbbbf ] || fail "읽어보기.txt has no BOM"
! LC_ALL=C grep -q $'[^\r]$' "$guide" || fail "읽어보기.txt has lines without CRLF"
# The Debian package's README.ko.txt: the same guide, Linux steps, plain UTF-8.
packaging/windows/guide.sh linux "$version" "$out/README.ko.txt"
! LC_ALL=C grep -q $'\r\|^@\|^\xef\xbb\xbf' "$out/README.ko.txt" && grep -q dialout "$out/README.ko.txt" &&
  ! grep -q dialout "$guide" || fail "README.ko.txt or 읽어보기.txt has the other platform's steps"
# Every message text a guide quotes ("  > ", [...] for what the program fills
# in) must be worded exactly so in the program.
perl -CSD -e '
  local $/; my $src = join "", map { open my $f, "<", $_ or die; <$f> } "app/Messages.cpp", "app/main.cpp";
  $src =~ s/"\s*\n\s*"//g;
  my %line; while ($src =~ /"((?:[^"\\]|\\.)*)"/g) { (my $t = $1) =~ s/\\"/"/g; $line{$_} = 1 for split /\\n/, $t }
  open my $g, "<", "packaging/windows/guide-ko.txt" or die; my $bad = 0;
  for (split /\n/, <$g>) {
    next unless s/^(?:\@\w+ )?  > //;
    my $re = join "", map { /^\[/ ? "%\\d" : quotemeta } split /(\[[^\]]*\])/;
    next if grep { /^$re$/ } keys %line;
    print STDERR "not a message of the program: $_\n"; $bad = 1;
  }
  exit $bad' || fail "the guide quotes a message the program does not show"
echo "notices name all $(cd "$stage" && find . -name '*.dll' | wc -l) DLLs; guide: BOM, CRLF, messages as in app/Messages.cpp"

echo "== Signing, with a throwaway certificate ($SECONDS s)"
signing=$(mktemp -d)
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Quarlin test" \
  -keyout "$signing/key.pem" -out "$signing/cert.pem" 2>/dev/null
echo throwaway > "$signing/password"
openssl pkcs12 -export -inkey "$signing/key.pem" -in "$signing/cert.pem" -passout file:"$signing/password" \
  -out "$signing/test.p12"
cp "$exe" "$out/$zipname.msi" "$signing/"
(QUARLIN_SIGN_PKCS12=$signing/test.p12 QUARLIN_SIGN_PASSWORD_FILE=$signing/password QUARLIN_SIGN_TIMESTAMP_URL=
 sign "$signing/quarlin.exe" && sign "$signing/$zipname.msi")
for f in "$signing/quarlin.exe" "$signing/$zipname.msi"; do
  osslsigncode verify -CAfile "$signing/cert.pem" -in "$f" > "$signing/verify.txt" 2>&1 ||
    { cat "$signing/verify.txt"; fail "no valid signature on $f"; }
  grep -q 'Message digest algorithm *: SHA256' "$signing/verify.txt" || fail "not SHA-256: $f"
done
rm -rf "$signing"
echo "quarlin.exe and the MSI signed (SHA-256) and verified"

echo "== Windows tests under Wine ($SECONDS s)"
QT_QPA_PLATFORM=offscreen ctest --test-dir "$out" --output-on-failure -j"${JOBS:-$(nproc)}"

# An Xvfb of our own, on a display number it picks itself.
xvfb=""
start_xvfb() {
  [ -n "$xvfb" ] && return
  Xvfb -displayfd 3 -screen 0 1024x800x24 -nolisten tcp 3>"$out/xvfb.display" 2>/dev/null & xvfb=$!
  for _ in $(seq 100); do [ -s "$out/xvfb.display" ] && break; sleep 0.1; done
  export DISPLAY=:$(cat "$out/xvfb.display")
  until xwininfo -root >/dev/null 2>&1; do sleep 0.1; done
}
trap 'kill $xvfb 2>/dev/null || true' EXIT
shown() { xwininfo -root -tree | grep '"ZEL Time Table"' | grep -v '1x1+'; }
# Starts a quarlin.exe on its own (neither Qt's nor MinGW's folders on the DLL
# path) and waits up to 30 s for its window.
launch() { # <exe as Wine sees it>
  QT_QPA_PLATFORM=windows "$out/wine-run" --unix env -u WINEPATH -u WINEQT_PLUGIN_PATH \
    wine64 "$1" 2>/dev/null & app=$!
  for _ in $(seq 1500); do shown >/dev/null && return; sleep 0.02; done
  fail "$1 showed no window within 30 s"
}

echo "== MSI under Wine: install, start, upgrade, refused downgrade, removal ($SECONDS s)"
# A copy of the test prefix, which never had Quarlin installed. Wine keeps
# the display it started with, so the X server comes first.
"$out/wine-run" --unix wineserver -k 2>/dev/null || true
start_xvfb
msi_prefix=$top/$out/wine-msi
rm -rf "$msi_prefix"
cp -a "$prefix" "$msi_prefix"
export QUARLIN_WINEPREFIX=$msi_prefix
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

# The newer release: quarlin-next.exe, built beside the tests with the version
# one step up (tests/windows/CMakeLists.txt), in a copy of the folder.
next=$out/next
next_version=$(file_version "$out/tests/windows/quarlin-next.exe")
[ "$next_version" != "$version" ] || fail "quarlin-next.exe has the version $version"
rm -rf "$next"
mkdir -p "$next"
cp -a "$stage" "$next/folder"
x86_64-w64-mingw32-strip --strip-unneeded -o "$next/folder/quarlin.exe" "$out/tests/windows/quarlin-next.exe"
make_msi "$next/folder" "$next_version" "$next/quarlin-$next_version.msi"
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
"$out/wine-run" --unix wineserver -k 2>/dev/null || true
unset QUARLIN_WINEPREFIX

if [ "${1:-}" = --screenshot ]; then
  echo "== Start-up and screenshot under Xvfb"
  start_xvfb
  "$out/wine-run" --unix wineserver -w
  start=$(date +%s%N)
  launch "$stage/quarlin.exe"
  echo "quarlin.exe under Wine, Wine not running: window shown after $(( ($(date +%s%N) - start) / 1000000 )) ms"
  sleep 2
  geometry=$(shown | grep -o '[0-9]*x[0-9]*+[0-9]*+[0-9]*' | awk 'NR == 1')
  import -window root -crop "$geometry" +repage docs/window-windows.png
  echo "docs/window-windows.png: $geometry"
  kill "$app"; wait "$app" 2>/dev/null || true
  start=$(date +%s%N)
  launch "$stage/quarlin.exe"
  echo "quarlin.exe under Wine, Wine running: window shown after $(( ($(date +%s%N) - start) / 1000000 )) ms"
  kill "$app"
  "$out/wine-run" --unix wineserver -k
fi
echo "Windows build and tests passed in $SECONDS s."
