#!/usr/bin/env bash
# THIRD-PARTY-NOTICES.txt in the packed folder: each DLL has its entry, and
# that entry names exactly the licences of what the DLL holds (the table
# below, kept apart from notices.sh so that a slip there shows), each with
# its text; the sources and whom to ask for them are named.
set -euo pipefail
cd "$(dirname "$0")/../.."
. packaging/windows/env.sh
notices=$stage/THIRD-PARTY-NOTICES.txt

# The DLL, then the licences of everything built into it, by the names of
# their texts. Qt's bundled code: which qtbase 3rdparty folder goes into
# which module; the GCC run-time: libstdc++ holds Ryu and fast_float.
expected() {
  cat <<'TABLE'
Qt6Core.dll LGPL-3 BSD-2-clause BSD-3-clause brg-endian CC0-1.0 Expat GPL-2+ public-domain Unicode Zlib
Qt6Gui.dll LGPL-3 Expat FTL Harfbuzz ICC ISC libpng Zlib
Qt6Widgets.dll LGPL-3
Qt6SerialPort.dll LGPL-3
platforms/qwindows.dll LGPL-3
libstdc++-6.dll GPL-3 GCC-exception-3.1 Boost-1.0 Expat
libgcc_s_seh-1.dll GPL-3 GCC-exception-3.1
libwinpthread-1.dll expat BSD-3-clause BSD-3-clause-Lockless public-domain
TABLE
}

text=$(tr -d '\r' < "$notices")
dlls=$(cd "$stage" && find . -name '*.dll' | sed 's|^\./||' | sort)
for dll in $dlls; do
  want=$(expected | awk -v dll="$dll" '$1 == dll { for (i = 2; i <= NF; i++) print $i }' | sort)
  [ -n "$want" ] || fail "$dll is shipped but tests/windows/notices.sh does not know its licences"
  # The entry: the DLL's name alone on a line, then indented lines.
  got=$(awk -v dll="$dll" '$0 == dll { on = 1; next } on && !/^    / { exit } on && sub(/^    Licences: /, "")' <<<"$text" |
    sed 's/, /\n/g' | sort)
  [ -n "$got" ] || fail "$dll has no entry with its licences in THIRD-PARTY-NOTICES.txt"
  [ "$got" = "$want" ] ||
    fail "THIRD-PARTY-NOTICES.txt gives $dll the licences $(echo $got), not $(echo $want)"
done
# Each licence named has its text: "License: <name>" and the text under it.
for name in $(expected | cut -d' ' -f2- | tr ' ' '\n' | sort -u); do
  awk -v h="License: $name" 'found { exit !($0 != "" && $0 !~ /^[A-Z][A-Za-z-]*: /) } $0 == h { found = 1 } END { exit !found }' \
    <<<"$text" || fail "THIRD-PARTY-NOTICES.txt has no text for the licence $name"
done
qt_version=$(sed -n 's/^set(PACKAGE_VERSION "\(.*\)")/\1/p' "$qt/lib/cmake/Qt6Core/Qt6CoreConfigVersionImpl.cmake")
for want in "qtbase: .*$qt_version" "qtserialport: " "Unicode data files" "freedesktop.org.xml" \
    "GCC RUNTIME LIBRARY EXCEPTION" "Write to: $(company_conf QUARLIN_CONTACT)"; do
  grep -q -- "$want" <<<"$(tr '\n' ' ' <<<"$text")" || fail "THIRD-PARTY-NOTICES.txt lacks \"$want\""
done
# The record of the Qt build, word for word: the exact Debian source and patches, the Serial Port commit.
while IFS= read -r line; do
  grep -qxF -- "$line" <<<"$text" || fail "THIRD-PARTY-NOTICES.txt lacks the Qt sources' line: $line"
done < "$qt/qt-sources.txt"
echo "notices: all $(wc -w <<<"$dlls") DLLs with exactly their licences, each with its text; sources and contact named"
