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
# The Qt for MinGW comes from packaging/windows/qt.sh, which builds it once
# from Debian's sources; where none can be had this exits with 77: skipped,
# not failed. Packing is in packaging/windows/, each check
# in tests/windows/. quarlin.exe and the MSI are signed when
# QUARLIN_SIGN_PKCS12 and QUARLIN_SIGN_PASSWORD_FILE name a .p12 and its
# password (packaging/windows/sign.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
# The stage runs in the Debian 13 root for Windows builds: Qt 6.8's host
# tools, GCC 14's MinGW-w64, and a Wine (10) whose serial waits complete
# through an I/O completion port, as Qt's reads need.
if [ -z "${QUARLIN_QT_PREFIX:-}" ]; then
  qt=$(packaging/windows/qt.sh) || exit
  pass=(QUARLIN_QT_PREFIX="$qt")
  for v in $(compgen -e | grep -E '^(QUARLIN_|JOBS$)'); do pass+=("$v=${!v}"); done
  QUARLIN_DEBIAN13_ROOT=${QUARLIN_WINDOWS_ROOT:-${QUARLIN_DEBIAN13_ROOT:-/var/tmp/quarlin-debian13}} \
    QUARLIN_DEBIAN13_BIND="${QUARLIN_QT_MINGW_CACHE:-/var/tmp/quarlin-qt-mingw} $qt" \
    exec scripts/debian13.sh --run env "${pass[@]}" scripts/windows.sh "$@"
fi

# qt6-base-dev (in setup.sh's list) also holds the CMake files of the host tools.
extra=(g++-mingw-w64-x86-64-posix wine wine64 qt6-base-dev-tools socat python3 librsvg2-bin icoutils
  wixl msitools osslsigncode openssl xvfb x11-utils ccache)
[ "${1:-}" = --screenshot ] && extra+=(imagemagick)
scripts/setup.sh "${extra[@]}"
. packaging/windows/env.sh
wine_prefix
# The root keeps ccache's store (/root/.cache), so fresh clones rebuild little.
export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1

step() { echo "== $1 ($SECONDS s)"; shift; "$@"; }
step "Windows build" packaging/windows/build.sh
step "Windows zip and MSI" packaging/windows/pack.sh
step "Resources of quarlin.exe" tests/windows/resources.sh
step "The zip's names" tests/windows/zip.sh
step "Notices and guide" tests/windows/notices.sh
tests/windows/guide.sh
step "Signing, with a throwaway certificate" tests/windows/signing.sh
step "Windows tests under Wine" env QT_QPA_PLATFORM=offscreen \
  ctest --test-dir "$out" --output-on-failure -j"${JOBS:-$(nproc)}"
step "MSI under Wine: install, start, rebuild, upgrade, refused downgrade, removal" \
  tests/windows/msi.sh
[ "${1:-}" = --screenshot ] && step "Start-up and screenshot under Xvfb" tests/windows/screenshot.sh
echo "Windows build and tests passed in $SECONDS s."
