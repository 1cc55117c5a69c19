#!/usr/bin/env bash
# Writes THIRD-PARTY-NOTICES.txt for the Windows folder: which licence covers
# each DLL, the third-party code built into Qt, the licence texts, and where
# the exact sources are. Everything is taken from the files Debian installs,
# so the notices follow the Qt, GCC and MinGW that were actually shipped.
# Usage: notices.sh <folder with the DLLs> <Qt version> <output file> <Qt folder>
set -euo pipefail
stage=$1 qt_version=$2 out=$3 qt=$4
here=$(cd "$(dirname "$0")" && pwd)
qt_copyright=$(ls /usr/share/doc/libqt6core6*/copyright | head -n 1) # libqt6core6t64 on Debian 13
serial_copyright=/usr/share/doc/libqt6serialport6/copyright
gcc_copyright=/usr/share/doc/gcc-mingw-w64-base/copyright
mingw_copyright=/usr/share/doc/mingw-w64-x86-64-dev/copyright

# What each shipped DLL is. A DLL missing here stops the build.
dll_map() {
  cat <<MAP
Qt6Core.dll|Qt $qt_version, module Qt Core|LGPL-3.0-only (section 1); with the third-party code of section 2
Qt6Gui.dll|Qt $qt_version, module Qt GUI|LGPL-3.0-only (section 1); with the third-party code of section 2
Qt6Widgets.dll|Qt $qt_version, module Qt Widgets|LGPL-3.0-only (section 1)
Qt6SerialPort.dll|Qt Serial Port $(sed -n 's/^set(PACKAGE_VERSION "\(.*\)")/\1/p' "$qt/lib/cmake/Qt6SerialPort/Qt6SerialPortConfigVersionImpl.cmake")|LGPL-3.0-only (section 1)
platforms/qwindows.dll|Qt $qt_version, Windows platform plugin|LGPL-3.0-only (section 1)
styles/qwindowsvistastyle.dll|Qt $qt_version, Windows Vista style plugin|LGPL-3.0-only (section 1)
libstdc++-6.dll|GCC $(gcc_version) C++ run-time library (libstdc++)|GPL-3.0-or-later with the GCC Runtime Library Exception 3.1 (section 3)
libgcc_s_seh-1.dll|GCC $(gcc_version) run-time library (libgcc)|GPL-3.0-or-later with the GCC Runtime Library Exception 3.1 (section 3)
libwinpthread-1.dll|MinGW-w64 winpthreads|MIT (Expat) and BSD-3-Clause (section 4)
MAP
}
gcc_version() { dpkg-query -W -f='${Version}' gcc-mingw-w64-x86-64-posix-runtime | sed 's/-.*//'; } # 14.2.0-17+27: GCC 14.2.0

# Third-party code compiled into the Qt DLLs (Qt's bundled copies, as built
# by build-qt-mingw.sh), as the first Files: line of its stanza in Debian's
# copyright file for qt6-base.
qt_bundled=(
  'src/3rdparty/double-conversion/*' 'src/3rdparty/easing/*' 'src/3rdparty/md4/*'
  'src/3rdparty/pcre2/src/*' 'src/3rdparty/pcre2/src/sljit/*' 'src/3rdparty/rfc6234/*'
  'src/3rdparty/sha1/sha1.cpp' 'src/3rdparty/sha3/*' 'src/3rdparty/sha3/brg_endian.h'
  'src/3rdparty/tinycbor/*' 'src/3rdparty/freetype/src/gzip/*'
  'src/3rdparty/freetype/*' 'src/3rdparty/freetype/src/pcf/*' 'src/3rdparty/freetype/src/pcf/pcfutil.c'
  'src/3rdparty/freetype/src/bdf/*' 'src/3rdparty/harfbuzz-ng/*' 'src/3rdparty/harfbuzz-ng/src/hb-ucd.cc'
  'src/3rdparty/libpng/*.c' 'src/3rdparty/md4c/*' 'src/3rdparty/icc/sRGB2014.icc'
)

# Prints the stanzas of a Debian copyright file whose first Files: entry is
# one of the given patterns, then the licence paragraphs they refer to.
stanzas() {
  local file=$1; shift
  awk -v patterns="$(printf '%s\n' "$@")" '
    BEGIN { n = split(patterns, p, "\n"); for (i = 1; i <= n; i++) if (p[i] != "") { want[p[i]] = 1; missing[p[i]] = 1 } RS = ""; FS = "\n" }
    $1 ~ /^Files: / {
      first = substr($1, 8)
      if (first in want) {
        print $0 "\n"; delete missing[first]
        for (i = 1; i <= NF; i++) if ($i ~ /^License: /) {
          k = split(substr($i, 10), names, / (and|or) /)
          for (j = 1; j <= k; j++) used[names[j]] = 1
        }
      }
      next
    }
    $1 ~ /^License: / { text[substr($1, 10)] = $0 }
    END {
      for (m in missing) { print "notices.sh: no stanza for " m > "/dev/stderr"; bad = 1 }
      for (u in used) if (u in text) print text[u] "\n"
      exit bad
    }' "$file"
}

{
  printf 'Third-party software in Quarlin for Windows\r\n'
  printf '===========================================\r\n\r\n'
  printf 'Quarlin itself is under the MIT licence (LICENSE). It uses the libraries\r\n'
  printf 'below, shipped as DLLs beside quarlin.exe and linked dynamically: you may\r\n'
  printf 'replace any of them with a modified build of the same version.\r\n\r\n'
  printf 'Files and their licences\r\n------------------------\r\n\r\n'
  for f in $(cd "$stage" && find . -name '*.dll' | sed 's|^\./||' | sort); do
    line=$(dll_map | awk -F'|' -v f="$f" '$1 == f')
    [ -n "$line" ] || { echo "notices.sh: no notice for $f; add it to the list in $0" >&2; exit 1; }
    IFS='|' read -r name what licence <<<"$line"
    printf '%s\r\n    %s\r\n    %s\r\n\r\n' "$name" "$what" "$licence"
  done

  printf 'Where the sources are\r\n---------------------\r\n\r\n'
  cat <<TEXT | sed 's/$/\r/'
The Qt DLLs were built from the sources below with the script in section 5:
$(cat "$qt/qt-sources.txt")
The GCC run-time DLLs come from Debian's $(dpkg-query -W -f='${source:Package} ${source:Version}' gcc-mingw-w64-x86-64-posix-runtime)
(GCC $(gcc_version)), winpthreads from Debian's $(dpkg-query -W -f='${source:Package} ${source:Version}' mingw-w64-x86-64-dev);
both at https://snapshot.debian.org/ under those names and versions.
On request the Quarlin maintainers send these sources, for at least three
years from the time you received this program.

TEXT

  printf '1. Qt (LGPL-3.0)\r\n================\r\n\r\n'
  printf 'Qt is Copyright (C) The Qt Company Ltd. and other contributors.\r\n'
  printf 'Qt is used under the GNU Lesser General Public License version 3, which\r\n'
  printf 'adds permissions to the GNU General Public License version 3; both texts follow.\r\n\r\n'
  sed 's/$/\r/' /usr/share/common-licenses/LGPL-3
  printf '\r\n'
  sed 's/$/\r/' /usr/share/common-licenses/GPL-3
  printf '\r\n2. Third-party code compiled into the Qt DLLs\r\n=============================================\r\n\r\n'
  printf 'From the copyright file of Debian'\''s qt6-base package (paths are in the qtbase sources):\r\n\r\n'
  stanzas "$qt_copyright" "${qt_bundled[@]}" | sed 's/$/\r/'
  printf 'Qt Serial Port, from the copyright file of Debian'\''s qt6-serialport package:\r\n\r\n'
  sed -n '/^Files: \*$/,/^$/p' "$serial_copyright" | sed 's/$/\r/'

  printf '3. GCC run-time libraries (GPL-3.0 with the GCC Runtime Library Exception)\r\n'
  printf '==========================================================================\r\n\r\n'
  sed -n '/^GCC RUNTIME LIBRARY EXCEPTION$/,/requirements of the license of GCC\.$/p' "$gcc_copyright" | sed 's/$/\r/'
  printf '\r\nThe GPL-3.0 text is in section 1.\r\n\r\n'

  printf '4. winpthreads (MinGW-w64)\r\n==========================\r\n\r\n'
  stanzas "$mingw_copyright" 'mingw-w64-libraries/winpthreads/*' \
    'mingw-w64-libraries/winpthreads/include/pthread.h' 'mingw-w64-libraries/winpthreads/src/clock.c' \
    'mingw-w64-libraries/winpthreads/src/libgcc/dll_math.c' | sed 's/$/\r/'

  printf '5. The script that built the Qt DLLs\r\n====================================\r\n\r\n'
  sed 's/$/\r/' "$here/build-qt-mingw.sh"
} > "$out.tmp"
mv "$out.tmp" "$out"
