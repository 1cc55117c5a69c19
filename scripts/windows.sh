#!/usr/bin/env bash
# Builds Quarlin for 64-bit Windows on Debian 12 and tests it under Wine:
# cross-compiles with MinGW-w64 into build-windows/, packs
# build-windows/quarlin-1.00-windows-x64.zip and runs the tests as Windows
# programs, the download through Wine's COM1 into a Linux pty included.
#
#   scripts/windows.sh               build, zip, test
#   scripts/windows.sh --screenshot  also docs/window-windows.png (under Xvfb)
#
# The Qt for MinGW comes from $QUARLIN_QT_MINGW (a tarball or an unpacked
# folder), else from ../shared/windows/. Without it the script says so and
# exits with 77: skipped, not failed.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
out=build-windows
version=1.00
zipname=quarlin-$version-windows-x64

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

# qt6-base-dev (in setup.sh's list) also holds the CMake files of the host tools.
extra=(g++-mingw-w64-x86-64-posix wine64 qt6-base-dev-tools socat zip)
[ "${1:-}" = --screenshot ] && extra+=(xvfb x11-utils imagemagick)
"$top/scripts/setup.sh" "${extra[@]}"

mkdir -p "$out"
if [ -d "$qt_from" ]; then
  qt=$(cd "$qt_from" && pwd)
else
  qt=$top/$out/qt
  stamp="$(stat -c '%s %Y' "$qt_from") $qt_from"
  if [ "$(cat "$out/qt.from" 2>/dev/null)" != "$stamp" ]; then
    echo "Unpacking $qt_from"
    rm -rf "$qt" "$out/qt.from"
    tar xf "$qt_from" -C "$out"
    echo "$stamp" > "$out/qt.from"
  fi
fi
gcc_dlls=/usr/lib/gcc/x86_64-w64-mingw32/12-posix
mingw_dlls=/usr/x86_64-w64-mingw32/lib
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# Runs a Windows program in the prefix inside $out (`--unix cmd` runs a Unix
# command, e.g. wineserver, with the same settings).
# Wine hides QT_* from Windows programs; WINEQT_* reaches them as QT_*.
prefix=$top/$out/wine
cat > "$out/wine-run" <<EOF
#!/bin/sh
export PATH=/usr/lib/wine:\$PATH WINEPREFIX='$prefix' WINEDLLOVERRIDES='mscoree,mshtml=' WINEDEBUG=\${WINEDEBUG:--all}
export WINEPATH='$(winpath "$qt/bin");$(winpath $gcc_dlls);$(winpath $mingw_dlls)'
export WINEQT_PLUGIN_PATH='$(winpath "$qt/plugins")' WINEQT_QPA_FONTDIR='$(winpath /usr/share/fonts/truetype/nanum)'
export WINEQT_QPA_PLATFORM=\${QT_QPA_PLATFORM:-windows} WINEQT_FORCE_STDERR_LOGGING=1
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

echo "== Windows build"
cmake -S . -B "$out" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64.cmake" -DCMAKE_PREFIX_PATH="$qt" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$top/$out/wine-run" \
  -DQUARLIN_TOOLS=OFF -DQUARLIN_BENCH=OFF >/dev/null
cmake --build "$out" -j"${JOBS:-$(nproc)}"

echo "== Windows zip"
stage=$out/zip/$zipname
rm -rf "$out/zip" "$out/$zipname.zip"
mkdir -p "$stage/platforms" "$stage/styles"
cp "$out/quarlin.exe" "$qt"/bin/Qt6{Core,Gui,Widgets,SerialPort}.dll "$gcc_dlls"/{libstdc++-6,libgcc_s_seh-1}.dll \
  "$mingw_dlls/libwinpthread-1.dll" "$stage/"
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
# Debug symbols would make up half the download.
find "$stage" -name '*.exe' -o -name '*.dll' | xargs x86_64-w64-mingw32-strip --strip-unneeded
cp LICENSE "$stage/LICENSE"
qt_version=$(sed -n 's/^set(PACKAGE_VERSION "\(.*\)")/\1/p' "$qt/lib/cmake/Qt6Core/Qt6CoreConfigVersionImpl.cmake")
sed 's/$/\r/' > "$stage/README.txt" <<EOF
Quarlin $version for Windows 10 and 11 (64-bit)

Unpack the whole folder anywhere and double-click quarlin.exe.
Nothing else needs to be installed; keep the DLLs and the folders
"platforms" and "styles" beside quarlin.exe.

COM 1 to 8 in the window open the ports COM1 to COM8. The Device Manager
(Ports (COM & LPT)) shows which number a USB-serial adapter received.

Quarlin uses Qt $qt_version (LGPL 3, https://www.qt.io/licensing) and the
MinGW-w64 GCC run-time libraries (GCC Runtime Library Exception).
EOF
# Every DLL named in an import table must be in the zip or come with Windows
# (api-ms-win-* are names the Windows loader resolves itself).
system_dlls=$(ls "$prefix/drive_c/windows/system32" | tr '[:upper:]' '[:lower:]')
for f in "$stage"/*.exe "$stage"/*.dll "$stage"/*/*.dll; do
  x86_64-w64-mingw32-objdump -p "$f" | sed -n 's/^\tDLL Name: //p'
done | sort -u | while read -r dll; do
  [ -e "$stage/$dll" ] || [[ $dll == api-ms-win-* ]] || grep -qxF "${dll,,}" <<<"$system_dlls" || { echo "not in the zip: $dll" >&2; exit 1; }
done
(cd "$out/zip" && zip -qr -9 "../$zipname.zip" "$zipname")
echo "$out/$zipname.zip: $(du -k "$out/$zipname.zip" | cut -f1) kB"

echo "== Windows tests under Wine"
QT_QPA_PLATFORM=offscreen ctest --test-dir "$out" --output-on-failure -j"${JOBS:-$(nproc)}"

if [ "${1:-}" = --screenshot ]; then
  echo "== Start-up and screenshot under Xvfb"
  display=:97
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp & xvfb=$!
  trap 'kill "$xvfb" 2>/dev/null || true' EXIT
  export DISPLAY=$display
  until xwininfo -root >/dev/null 2>&1; do sleep 0.1; done
  shown() { xwininfo -root -tree | grep '"ZEL Time Table"' | grep -v '1x1+'; }
  # Starts the unpacked zip on its own (neither Qt's nor MinGW's folders on
  # the DLL path) and says when its window appeared.
  launch() {
    local start=$(date +%s%N)
    QT_QPA_PLATFORM=windows "$out/wine-run" --unix env -u WINEPATH -u WINEQT_PLUGIN_PATH \
      wine64 "$stage/quarlin.exe" 2>/dev/null & app=$!
    for _ in $(seq 1500); do shown >/dev/null && break; sleep 0.02; done
    shown >/dev/null || { echo "quarlin.exe showed no window within 30 s" >&2; exit 1; }
    echo "quarlin.exe under Wine, $1: window shown after $(( ($(date +%s%N) - start) / 1000000 )) ms"
  }
  "$out/wine-run" --unix wineserver -w
  launch "Wine not running"
  sleep 2
  geometry=$(shown | grep -o '[0-9]*x[0-9]*+[0-9]*+[0-9]*' | head -n 1)
  import -window root -crop "$geometry" +repage docs/window-windows.png
  echo "docs/window-windows.png: $geometry"
  kill "$app"; wait "$app" 2>/dev/null || true
  launch "Wine running"
  kill "$app"
  "$out/wine-run" --unix wineserver -k
fi
echo "Windows build and tests passed."
