#!/usr/bin/env bash
# Runs the benchmarks and prints one Markdown table on stdout; progress goes
# to stderr. Usage: bench/run.sh [build-dir]   (default: build, as left by
# scripts/test.sh). Takes about four minutes.
set -euo pipefail
export LC_ALL=C

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$repo/build}
[[ $build = /* ]] || build=$PWD/$build

say() { echo "$*" >&2; }

# Windows run under a private X server, as on a desktop.
"$repo/scripts/setup.sh" xvfb xdotool x11-utils cutecom >&2 ||
  say "warning: could not install every package; rows that need one will show n/a"

# Configured again in any case: a tree configured before bench/ existed has no bench target.
if [[ -f $build/CMakeCache.txt ]]; then
  cmake -S "$repo" -B "$build" >&2
else
  cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
fi
cmake --build "$build" -j"$(nproc)" --target quarlin quarlin-bench >&2
bench=$build/bench/quarlin-bench
quarlin=$build/quarlin
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")

work=$(mktemp -d)
xvfb_pid=""
xev_pid=""
cleanup() {
  [[ -n $xev_pid ]] && kill "$xev_pid" 2>/dev/null
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Both programs get the same fresh home and runtime directory.
mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
export HOME=$work/home XDG_RUNTIME_DIR=$work/runtime
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

# A display number well away from the ones other tools pick.
for n in $(seq 150 199); do
  [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
  : >"$work/display"
  Xvfb ":$n" -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [[ -s $work/display ]] || ! kill -0 "$xvfb_pid" 2>/dev/null && break
    sleep 0.05
  done
  [[ -s $work/display ]] && break
  xvfb_pid=""
done
if [[ -z $xvfb_pid ]]; then
  say "Xvfb did not start:"; cat "$work/xvfb.log" >&2; exit 1
fi
export DISPLAY=:$(tr -d '\n' <"$work/display")

load_at_start=$(cut -d' ' -f1-3 /proc/loadavg)

# The bench prints "key value" lines; a step that fails leaves its keys out.
figures=$work/figures
: >"$figures"
step() {
  say "== $*"
  "$bench" "$@" >>"$figures" || say "warning: quarlin-bench $1 failed"
}
step idle --seconds 5 --runs 5
step download --runs 50
step receive --runs 5
step frame --batches 9 --batch 100000

# Start-up: from just before the launch to the MapNotify of its first top-level
# window (the moment the X server shows it), and VmHWM after a second of idling.
say "== start-up, quarlin and cutecom alternately"
coproc XEV { exec xev -root -event substructure 2>/dev/null; }
xev_pid=$XEV_PID
xev_in=${XEV[0]}
sleep 0.5

drain_events() {
  while IFS= read -r -t 0.3 -u "$xev_in" _; do :; done
}

# Prints "ms kB title" for one start, or nothing if the window never came.
start_once() {
  local t0 t1="" line win="" pid hwm title
  drain_events
  t0=$EPOCHREALTIME
  "$@" >/dev/null 2>&1 &
  pid=$!
  while IFS= read -r -t 20 -u "$xev_in" line; do
    if [[ $line == MapNotify* ]]; then
      t1=$EPOCHREALTIME
      IFS= read -r -t 1 -u "$xev_in" line || true
      win=$(sed -nE 's/.*window (0x[0-9a-f]+).*/\1/p' <<<"$line")
      break
    fi
  done
  sleep 1
  hwm=$(awk '/^VmHWM:/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)
  title=""
  [[ -n $win ]] && title=$(xdotool getwindowname "$((win))" 2>/dev/null || true)
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  [[ -n $t1 && -n $hwm ]] && awk -v a="$t0" -v b="$t1" -v kb="$hwm" -v t="$title" \
    'BEGIN { printf "%.1f %d %s\n", (b - a) * 1000, kb, t }'
  return 0
}

have_cutecom=1
command -v cutecom >/dev/null || have_cutecom=0
have_xev=1
kill -0 "$xev_pid" 2>/dev/null || { have_xev=0; say "warning: xev did not start; no start-up figures"; }
: >"$work/start-quarlin"
: >"$work/start-cutecom"
# One unmeasured start each fills the caches.
if ((have_xev)); then
  start_once "$quarlin" >/dev/null
  ((have_cutecom)) && start_once cutecom >/dev/null
  for _ in $(seq 10); do
    start_once "$quarlin" >>"$work/start-quarlin"
    ((have_cutecom)) && start_once cutecom >>"$work/start-cutecom"
  done
fi
say "quarlin starts (ms kB title):"; cat "$work/start-quarlin" >&2
say "cutecom starts (ms kB title):"; cat "$work/start-cutecom" >&2

# The table.

value() { awk -v k="$1" '$1 == k { print $2; exit }' "$figures"; }
median_of() {
  sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) exit; print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
fmt() { # format number: printf-format value -> text, n/a when empty
  [[ -n ${2:-} ]] && awk -v f="$1" -v v="$2" 'BEGIN { printf f, v }' || printf 'n/a'
}
ratio() {
  [[ -n ${1:-} && -n ${2:-} ]] && awk -v a="$1" -v b="$2" 'BEGIN { if (b == 0) print "n/a"; else printf "%.2f", a / b }' ||
    printf 'n/a'
}
at_most() { # value limit -> yes / no / n/a
  [[ -n ${1:-} ]] && awk -v v="$1" -v l="$2" 'BEGIN { print (v <= l) ? "yes" : "no" }' || printf 'n/a'
}
flat() { # ratio of 16 MB to 1 MB cost per byte: flat within a factor of 1.5
  [[ -n ${1:-} && $1 != n/a ]] && awk -v r="$1" 'BEGIN { print (r <= 1.5 && r >= 1 / 1.5) ? "yes" : "no" }' ||
    printf 'n/a'
}

per_wakeup() { # cpu% wake-ups/s -> CPU microseconds per wake-up
  [[ -n ${1:-} && -n ${2:-} ]] && awk -v c="$1" -v w="$2" 'BEGIN { if (w > 0) printf "%.0f", c * 1e4 / w; else printf "n/a" }' ||
    printf 'n/a'
}
idle_row() { # key label
  local cpu wake floor floor_wake peer="—" r="—"
  cpu=$(value "${1}_cpu"); wake=$(value "${1}_wakeups")
  floor=$(value "${1}_floor_cpu"); floor_wake=$(value "${1}_floor_wakeups")
  local cost=""
  if [[ -n $floor ]]; then
    peer="bare poll()+read() of the same stream, alternating with it: $(fmt '%.2f %%' "$floor")"
    peer+=" ($(fmt '%.0f' "$floor_wake") wake-ups/s, $(per_wakeup "$floor" "$floor_wake") µs each)"
    r=$(ratio "$cpu" "$floor")
    cost=", $(per_wakeup "$cpu" "$wake") µs each"
  fi
  echo "| $2 | $(fmt '%.2f %%' "$cpu") ($(fmt '%.0f' "$wake") wake-ups/s$cost) | $peer | $r | ≤ 0.5 % | $(at_most "$cpu" 0.5) |"
}

q_ms=$(awk '{ print $1 }' "$work/start-quarlin" | median_of)
q_kb=$(awk '{ print $2 }' "$work/start-quarlin" | median_of)
c_ms=$(awk '{ print $1 }' "$work/start-cutecom" | median_of)
c_kb=$(awk '{ print $2 }' "$work/start-cutecom" | median_of)
q_title=$(awk 'NR == 1 { $1 = $2 = ""; sub(/^ +/, ""); print }' "$work/start-quarlin")
c_title=$(awk 'NR == 1 { $1 = $2 = ""; sub(/^ +/, ""); print }' "$work/start-cutecom")
q_n=$(wc -l <"$work/start-quarlin")
c_n=$(wc -l <"$work/start-cutecom")

dl=$(value download_ms); line=$(value line_ms)
rp1=$(value recv_plain_1mb_ns); rp16=$(value recv_plain_16mb_ns)
rr1=$(value recv_reply_1mb_ns); rr16=$(value recv_reply_16mb_ns)
rp_ratio=$(ratio "$rp16" "$rp1"); rr_ratio=$(ratio "$rr16" "$rr1")
cpu_model=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)

echo "measured on: ${cpu_model:-unknown CPU}, $(nproc) cores, $(date +%Y-%m-%d); Linux $(uname -r);" \
  "Qt $(dpkg-query -W -f='${Version}' libqt6core6 2>/dev/null | cut -d+ -f1) xcb under Xvfb; $build_type build; load average at start $load_at_start"
echo
echo "| Row | Quarlin | Peer or reference | Ratio | Goal | Met |"
echo "| --- | --- | --- | --- | --- | --- |"
idle_row idle_a "1a Idle CPU, connected, nothing arriving (median of 5 × 5 s)"
idle_row idle_b "1b Idle CPU, reception started, nothing arriving"
idle_row idle_c "1c CPU with replies at 960 B/s, 8-byte reads"
idle_row idle_c1 "1c′ CPU with replies at 960 B/s, 1-byte reads (worst case)"
echo "| 2 Download: click on DownLoad to 27th byte on the pty (median of $(fmt '%.0f' "$(value download_runs)"), p90 $(fmt '%.2f ms' "$(value download_p90_ms)")) |" \
  "$(fmt '%.2f ms' "$dl") | 27 bytes at 9600 8N1 on a real line: $(fmt '%.1f ms' "$line") | $(ratio "$dl" "$line") | — | — |"
echo "| 3 Start-up to window shown (median of $q_n / $c_n) | $(fmt '%.0f ms' "$q_ms") | cutecom: $(fmt '%.0f ms' "$c_ms") | $(ratio "$q_ms" "$c_ms") | — | — |"
echo "| 3 Peak memory (VmHWM, shown and 1 s idle) | $(fmt '%.1f MB' "$(awk -v k="${q_kb:-}" 'BEGIN { if (k != "") print k / 1024 }')") |" \
  "cutecom: $(fmt '%.1f MB' "$(awk -v k="${c_kb:-}" 'BEGIN { if (k != "") print k / 1024 }')") | $(ratio "$q_kb" "$c_kb") | — | — |"
echo "| 4 Reception, no terminator: 1 MB → 16 MB (peak RSS growth $(fmt '%d' "$(value recv_plain_1mb_kb)") / $(fmt '%d' "$(value recv_plain_16mb_kb)") kB) |" \
  "$(fmt '%.2f' "$rp1") → $(fmt '%.2f ns/byte' "$rp16") | — | 16 MB / 1 MB: $rp_ratio | flat | $(flat "$rp_ratio") |"
echo "| 4 Reception, a reply every 26 bytes: 1 MB → 16 MB (peak RSS growth $(fmt '%d' "$(value recv_reply_1mb_kb)") / $(fmt '%d' "$(value recv_reply_16mb_kb)") kB) |" \
  "$(fmt '%.2f' "$rr1") → $(fmt '%.2f ns/byte' "$rr16") | — | 16 MB / 1 MB: $rr_ratio | flat | $(flat "$rr_ratio") |"
echo "| 5 Frame: ReadTimeTable + BuildDownloadFrame (median of 9 batches) | $(fmt '%.0f ns' "$(value frame_ns)") | — | — | — | — |"

# Checks that the figures mean what they say.
[[ $(value idle_c_receiving) == 1 && $(value idle_c1_receiving) == 1 ]] ||
  echo "Note: during 1c the program did not keep up with the stream (bytes piled up in the pty); see the bench's stderr."
[[ $(value download_wrong) == 0 ]] || echo "Note: $(value download_wrong) downloads did not deliver the expected 27 bytes."
[[ $(value recv_sane) == 1 ]] || echo "Note: the receiver's records were not what the streams should leave."
kill -0 "$xvfb_pid" 2>/dev/null || echo "Note: the X server went away during the run; rows after that are not valid."
[[ -n $q_title ]] && echo "Windows timed: \"$q_title\" and \"${c_title:-n/a}\"."
exit 0
