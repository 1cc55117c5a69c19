# Sourced by scripts/windows.sh and the scripts it runs: where things are and
# how Windows programs are run. Expects to be in the repository's top folder.
top=$PWD
out=build-windows
version=$(sed -n 's/^project(Quarlin VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
company=$(sed -n '0,/^Copyright ([cC]) [0-9, -]* /s///p' LICENSE)
zipname=quarlin-$version-windows-x64
stage=$out/zip/$zipname
# The Qt for MinGW: found (or unpacked) by qt.sh, once per run of the driver.
qt=${QUARLIN_QT_PREFIX:-$("$top/packaging/windows/qt.sh")}
gcc_dlls=$(dirname "$(x86_64-w64-mingw32-gcc-posix -print-libgcc-file-name)")
mingw_dlls=/usr/x86_64-w64-mingw32/lib
prefix=$top/$out/wine

winpath() { printf 'Z:%s' "${1//\//\\}"; }
fail() { echo "FAILED: $*" >&2; exit 1; }

# The strings of a binary VERSIONINFO (UTF-16), one a line: key, then value.
utf16_strings() { perl -0777 -ne 'while (/((?:[\x20-\x7e]\0)+)\0\0/g) { ($s = $1) =~ tr/\0//d; print "$s\n" }'; }
file_version() { wrestool -x --raw --type=16 "$1" | utf16_strings | grep -A 1 -x "${2:-FileVersion}" | tail -n 1; }

# Writes $out/wine-run, which runs a Windows program in the prefix inside $out
# (`--unix cmd` runs a Unix command, e.g. wineserver, with the same settings),
# and makes the prefix if there is none.
# Wine hides QT_* from Windows programs; WINEQT_* reaches them as QT_*.
wine_prefix() {
  mkdir -p "$out"
  cat > "$out/wine-run" <<WINERUN
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
WINERUN
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
}

# A setting of packaging/company.conf (who ships Quarlin).
company_conf() { sed -n "s/^$1=//p" "$top/packaging/company.conf"; }
