#!/usr/bin/env bash
# Times the packed quarlin.exe's start-up under Wine, cold and warm, and takes
# docs/window-windows.png of its window under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/../.."
. packaging/windows/env.sh
. tests/windows/xvfb.sh
start_xvfb
"$out/wine-run" --unix wineserver -w
start=$(date +%s%N)
launch "$stage/quarlin.exe"
echo "quarlin.exe under Wine, Wine not running: window shown after $(( ($(date +%s%N) - start) / 1000000 )) ms"
sleep 2
geometry=$(shown | grep -o '[0-9]*x[0-9]*+[0-9]*+[0-9]*' | awk 'NR == 1')
import -window root -crop "$geometry" +repage docs/window-windows.png
echo "docs/window-windows.png: $geometry"
kill "$app"; wait "$app" 2>/dev/null || true
start=$(date +%s%N)
launch "$stage/quarlin.exe"
echo "quarlin.exe under Wine, Wine running: window shown after $(( ($(date +%s%N) - start) / 1000000 )) ms"
kill "$app"
"$out/wine-run" --unix wineserver -k
