#!/usr/bin/env bash
# Sets up, builds and runs every test: the normal build, the same tests under
# AddressSanitizer and UBSan, short fuzzing runs, the build, tests and package
# checks again on Debian 13 in a chroot, the installed package against real
# serial drivers in QEMU guests, and the Windows build under Wine.
# Each stage says how long it took; a summary at the end lists them all.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh clang libclang-rt-14-dev xvfb xauth socat xdotool openbox tint2 x11-utils ccache
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
# Later runs, fresh clones included, compile only what changed.
export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1

summary=()
logs=$(mktemp -d)
report() {
  local line
  echo "== Summary (total $((SECONDS / 60)) min $((SECONDS % 60)) s)"
  for line in "${summary[@]}"; do echo "  $line"; done
  rm -rf "$logs"
}
trap report EXIT
# stage <name> <command...>: runs it, timed; 77 means skipped, and the
# command's last line of output says why.
stage() {
  local name=$1 started=$SECONDS status=0 took
  shift
  echo "== $name"
  set +e # also off inside the command: the stages' functions chain with &&
  "$@" 2>&1 | tee "$logs/stage"
  status=${PIPESTATUS[0]}
  set -e
  took=$((SECONDS - started))
  took="$((took / 60)) min $((took % 60)) s"
  if [ "$status" -eq 77 ]; then
    summary+=("$(printf '%-34s %12s  skipped: %s' "$name" "$took" "$(grep -v '^\s*$' "$logs/stage" | tail -n 1)")")
  elif [ "$status" -ne 0 ]; then
    summary+=("$(printf '%-34s %12s  FAILED (status %d)' "$name" "$took" "$status")")
    exit "$status"
  else
    summary+=("$(printf '%-34s %12s  passed' "$name" "$took")")
  fi
  echo "== $name: $took"
}

build_and_test() {
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARLIN_WERROR=ON >/dev/null &&
    cmake --build build -j"$jobs" &&
    ctest --test-dir build --output-on-failure -j"$jobs"
}
sanitized() {
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQUARLIN_WERROR=ON -DQUARLIN_SANITIZE=ON -DQUARLIN_BENCH=OFF >/dev/null &&
    cmake --build build-asan -j"$jobs" &&
    UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build-asan --output-on-failure -j"$jobs"
}

stage "Build and test" build_and_test
stage "Package checks" scripts/check-package.sh build
stage "AddressSanitizer and UBSan" sanitized
stage "Fuzzing" scripts/fuzz.sh "${FUZZ_SECONDS:-10}"
# Among the Linux stages, so that Windows (which may be skipped) stays last.
stage "Debian 13 (Qt 6.8) in a chroot" scripts/debian13.sh
stage "Real serial drivers in QEMU guests" scripts/real-drivers.sh
stage "Windows build and tests under Wine" scripts/windows.sh
echo "All tests passed."
