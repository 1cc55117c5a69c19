#!/usr/bin/env bash
# Sets up, builds and runs every test: the normal build, the same tests under
# AddressSanitizer and UBSan, short fuzzing runs, the build, tests and package
# checks again on Debian 13 in a chroot, and the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh clang libclang-rt-14-dev xvfb xauth socat xdotool
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

echo "== build and test"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARLIN_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

scripts/check-package.sh build

echo "== AddressSanitizer and UBSan"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQUARLIN_WERROR=ON -DQUARLIN_SANITIZE=ON -DQUARLIN_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build-asan --output-on-failure -j"$jobs"

echo "== fuzzing"
scripts/fuzz.sh "${FUZZ_SECONDS:-10}"
# Among the Linux stages, so that Windows (which may be skipped) stays last.
echo "== Debian 13 (Qt 6.8) in a chroot: build, tests, package"
scripts/debian13.sh
echo "== Real serial drivers in QEMU guests (Debian 12 and 13)"; scripts/real-drivers.sh || [ $? -eq 77 ]
echo "== Windows build and tests under Wine"
status=0
scripts/windows.sh || status=$?
if [ "$status" -eq 77 ]; then
  echo "Windows stage skipped (reason above)."
elif [ "$status" -ne 0 ]; then
  exit "$status"
fi
echo "All tests passed."
