#!/usr/bin/env bash
# Writes THIRD-PARTY-NOTICES.txt for the Windows folder: the licences of
# everything in each DLL, the third-party code and data built into Qt and the
# GCC run-time, the licence texts, where the exact sources are and whom to
# ask for them (packaging/company.conf). The texts come from the files Debian
# installs, so the notices follow the Qt, GCC and MinGW actually shipped.
# Usage: notices.sh <folder with the DLLs> <Qt version> <output file> <Qt folder>
set -euo pipefail
stage=$1 qt_version=$2 out=$3 qt=$4
here=$(cd "$(dirname "$0")" && pwd)
contact=$(sed -n 's/^QUARLIN_CONTACT=//p' "$here/../company.conf")
qt_copyright=$(ls /usr/share/doc/libqt6core6*/copyright | head -n 1) # libqt6core6t64 on Debian 13
serial_copyright=/usr/share/doc/libqt6serialport6/copyright
gcc_copyright=/usr/share/doc/gcc-mingw-w64-base/copyright
mingw_copyright=/usr/share/doc/mingw-w64-x86-64-dev/copyright

# Where the shipped Qt was built from: build-qt-mingw.sh writes it down.
[ -f "$qt/qt-sources.txt" ] ||
  { echo "notices.sh: $qt has no qt-sources.txt saying which sources it was built from" >&2; exit 1; }

# What each shipped DLL is, and the licences of everything in it, by the
# names under which sections 1-4 give their texts ("License: <name>").
# A DLL missing here stops the build.
dll_map() {
  cat <<MAP
Qt6Core.dll|Qt $qt_version, module Qt Core, with Unicode's character and locale data (UCD, CLDR), the freedesktop.org MIME database, zlib, PCRE2, double-conversion, TinyCBOR and hash functions|LGPL-3, BSD-2-clause, BSD-3-clause, brg-endian, CC0-1.0, Expat, GPL-2+, public-domain, Unicode, Zlib
Qt6Gui.dll|Qt $qt_version, module Qt GUI, with FreeType, HarfBuzz, libpng, md4c and the sRGB colour profile|LGPL-3, Expat, FTL, Harfbuzz, ICC, ISC, libpng, Zlib
Qt6Widgets.dll|Qt $qt_version, module Qt Widgets|LGPL-3
Qt6SerialPort.dll|Qt Serial Port $(sed -n 's/^set(PACKAGE_VERSION "\(.*\)")/\1/p' "$qt/lib/cmake/Qt6SerialPort/Qt6SerialPortConfigVersionImpl.cmake")|LGPL-3
platforms/qwindows.dll|Qt $qt_version, Windows platform plugin|LGPL-3
libstdc++-6.dll|GCC $(gcc_version) C++ run-time library (libstdc++), with Ryu and fast_float|GPL-3, GCC-exception-3.1, Boost-1.0, Expat
libgcc_s_seh-1.dll|GCC $(gcc_version) run-time library (libgcc)|GPL-3, GCC-exception-3.1
libwinpthread-1.dll|MinGW-w64 winpthreads|expat, BSD-3-clause, BSD-3-clause-Lockless, public-domain
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
  'src/corelib/text/qlocale_data_p.h'
)
# A licence paragraph of a Debian copyright file, by name.
licence() { awk -v name="License: $2" 'BEGIN { RS = "" } index($0, name "\n") == 1 { print $0 "\n"; exit }' "$1"; }

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
    printf '%s\r\n    %s\r\n    Licences: %s\r\n\r\n' "$name" "$what" "$licence"
  done

  printf 'Where the sources are\r\n---------------------\r\n\r\n'
  cat <<TEXT | sed 's/$/\r/'
The Qt DLLs were built from the sources below with the script in section 5:
$(cat "$qt/qt-sources.txt")

The GCC run-time DLLs come from Debian's $(dpkg-query -W -f='${source:Package} ${source:Version}' gcc-mingw-w64-x86-64-posix-runtime)
(GCC $(gcc_version)), winpthreads from Debian's $(dpkg-query -W -f='${source:Package} ${source:Version}' mingw-w64-x86-64-dev);
both at https://snapshot.debian.org/ under those names and versions.

For at least three years from the time you received this program, its
distributor sends you all these sources on request. Write to: $contact

TEXT

  printf '1. Qt (LGPL-3.0)\r\n================\r\n\r\n'
  printf 'Qt is Copyright (C) The Qt Company Ltd. and other contributors.\r\n'
  printf 'Qt is used under the GNU Lesser General Public License version 3, which\r\n'
  printf 'adds permissions to the GNU General Public License version 3; both texts follow.\r\n\r\n'
  printf 'License: LGPL-3\r\n'
  sed 's/$/\r/' /usr/share/common-licenses/LGPL-3
  printf '\r\nLicense: GPL-3\r\n'
  sed 's/$/\r/' /usr/share/common-licenses/GPL-3
  printf '\r\n2. Third-party code and data compiled into the Qt DLLs\r\n'
  printf '======================================================\r\n\r\n'
  printf 'From the copyright file of Debian'\''s qt6-base package (paths are in the qtbase sources;\r\n'
  printf 'qlocale_data_p.h and qunicodetables.cpp hold the Unicode data):\r\n\r\n'
  stanzas "$qt_copyright" "${qt_bundled[@]}" | sed 's/$/\r/'
  # Debian's file counts it among Qt's own files; its header says otherwise.
  cat <<TEXT | sed 's/$/\r/'
The MIME database of Qt6Core.dll (QMimeDatabase), from freedesktop.org's
shared-mime-info:

Files: src/corelib/mimetypes/mime/packages/freedesktop.org.xml
Copyright: 2002, 2003 Thomas Leonard, and the contributors to shared-mime-info
License: GPL-2+

The GNU General Public License version 2, to which GPL-2+ refers:

TEXT
  sed 's/$/\r/' /usr/share/common-licenses/GPL-2
  printf '\r\n'
  printf 'Qt Serial Port, from the copyright file of Debian'\''s qt6-serialport package:\r\n\r\n'
  sed -n '/^Files: \*$/,/^$/p' "$serial_copyright" | sed 's/$/\r/'

  printf '3. GCC run-time libraries (GPL-3.0 with the GCC Runtime Library Exception)\r\n'
  printf '==========================================================================\r\n\r\n'
  printf 'License: GCC-exception-3.1\r\n'
  sed -n '/^GCC RUNTIME LIBRARY EXCEPTION$/,/requirements of the license of GCC\.$/p' "$gcc_copyright" | sed 's/$/\r/'
  printf '\r\nThe GPL-3 text is in section 1.\r\n\r\n'
  cat <<TEXT | sed 's/$/\r/'
libstdc++-6.dll also holds, for converting floating-point numbers to and
from text, Ryu (Copyright 2018 Ulf Adams; Apache-2.0 or Boost-1.0, used here
under Boost-1.0) and fast_float (Copyright The fast_float authors; Apache-2.0
or MIT, used here under MIT, the Expat text in section 2).

TEXT
  licence "$qt_copyright" Boost-1.0 | sed 's/$/\r/'

  printf '4. winpthreads (MinGW-w64)\r\n==========================\r\n\r\n'
  stanzas "$mingw_copyright" 'mingw-w64-libraries/winpthreads/*' \
    'mingw-w64-libraries/winpthreads/include/pthread.h' 'mingw-w64-libraries/winpthreads/src/clock.c' \
    'mingw-w64-libraries/winpthreads/src/libgcc/dll_math.c' | sed 's/$/\r/'

  printf '5. The script that built the Qt DLLs\r\n====================================\r\n\r\n'
  sed 's/$/\r/' "$here/build-qt-mingw.sh"
} > "$out.tmp"
mv "$out.tmp" "$out"
