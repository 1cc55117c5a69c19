#!/usr/bin/env bash
# THIRD-PARTY-NOTICES.txt in the packed folder: an entry for every DLL, the
# licence texts and where the sources are.
set -euo pipefail
cd "$(dirname "$0")/../.."
. packaging/windows/env.sh
notices=$stage/THIRD-PARTY-NOTICES.txt
qt_version=$(sed -n 's/^set(PACKAGE_VERSION "\(.*\)")/\1/p' "$qt/lib/cmake/Qt6Core/Qt6CoreConfigVersionImpl.cmake")
for dll in $(cd "$stage" && find . -name '*.dll' | sed 's|^\./||'); do
  grep -qxF "$dll"$'\r' "$notices" || fail "$dll has no entry in THIRD-PARTY-NOTICES.txt"
done
for text in "GNU LESSER GENERAL PUBLIC LICENSE" "GNU GENERAL PUBLIC LICENSE" "GCC RUNTIME LIBRARY EXCEPTION" \
    "Files: src/3rdparty/harfbuzz-ng/*" "Files: mingw-w64-libraries/winpthreads/*" \
    "qtserialport-everywhere-src-$qt_version.tar.xz" "qt6-base_$qt_version"; do
  grep -qF "$text" "$notices" || fail "THIRD-PARTY-NOTICES.txt lacks $text"
done
echo "notices name all $(cd "$stage" && find . -name '*.dll' | wc -l) DLLs"
