#!/bin/sh
# Makes the operators' guide from guide-ko.txt for one platform (its lines
# tagged for the other one left out, the tag and one blank cut off):
#   guide.sh win <version> <out>    UTF-8 with a BOM and CRLF, so that Notepad shows it
#   guide.sh linux <version> <out>  plain UTF-8
set -eu
platform=$1 version=$2 out=$3
case $platform in win) other=linux ;; linux) other=win ;; *) echo "guide.sh: win or linux" >&2; exit 2 ;; esac
sed -e '/^#/d' -e "/^@$other\( \|\$\)/d" -e "s/^@$platform\( \|\$\)//" -e "s/@VERSION@/$version/g" \
  "$(dirname "$0")/guide-ko.txt" > "$out.tmp"
if [ "$platform" = win ]; then
  { printf '\357\273\277'; sed 's/$/\r/' "$out.tmp"; } > "$out"
  rm -f "$out.tmp"
else
  mv "$out.tmp" "$out"
fi
