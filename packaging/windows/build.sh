#!/usr/bin/env bash
# Cross-builds Quarlin and its tests for 64-bit Windows into build-windows/.
set -euo pipefail
cd "$(dirname "$0")/../.."
. packaging/windows/env.sh
cmake -S . -B "$out" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64.cmake" -DCMAKE_PREFIX_PATH="$qt" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$top/$out/wine-run" \
  -DQUARLIN_TOOLS=OFF -DQUARLIN_BENCH=OFF >/dev/null
cmake --build "$out" -j"${JOBS:-$(nproc)}"
