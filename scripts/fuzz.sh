#!/usr/bin/env bash
# Builds the reply receiver's fuzz target with clang and runs it for the given seconds
# (default 10). Corpora are kept in build-fuzz/corpus between runs; a crash
# leaves its input in build-fuzz/ and fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-10}
CXX=clang++ cmake -S fuzz -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j"$(nproc)" >/dev/null
for target in fuzz_receiver; do
  mkdir -p "build-fuzz/corpus/$target"
  log="build-fuzz/$target.log"
  status=0
  (cd build-fuzz && "./$target" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
    "corpus/$target" >"$target.log" 2>&1) || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "$target: ${runs:-?} executions in ${seconds}s, exit $status"
  if [ "$status" -ne 0 ]; then
    tail -40 "$log"
    exit "$status"
  fi
done
