#!/usr/bin/env bash
# The program's start and end as a shell sees them: no display, a display
# that never answers, the signals a logout or Ctrl-C sends from the first
# instants on, and a display that stalls while the port is open.
set -u
# The last part links a pty as /dev/com8 and locks it. A bench PC has a real
# COM 8, so that happens in a mount namespace of the test's own, over a
# private /dev and lock directory; where none can be made (not root, or in a
# chroot whose / is no mount point), that part is skipped.
if [ "${1:-}" = --private ]; then
  shift
  private=1
elif [ "$(id -u)" -eq 0 ] && unshare --mount true 2>/dev/null; then
  exec unshare --mount --propagation private "$0" --private "$@"
fi
quarlin=$1
slower=${2:-1} # how many times slower this build starts (sanitizers: about 2)
preload=$3     # tests/preload.cpp: a library that raises a signal, a main thread held
# The preloaded library comes before the sanitizers' runtime.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0
fail() { echo "FAIL: $*"; exit 1; }

expect_no_display() { # $1 display, $2 seconds allowed
  local start out status took
  start=$(date +%s%N)
  out=$(env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY DISPLAY="$1" timeout 20 "$quarlin" 2>&1); status=$?
  took=$(( ($(date +%s%N) - start) / 1000000 ))
  echo "DISPLAY=$1: status $status after $took ms: $out"
  [ "$status" -eq 1 ] && [ "${out##*$'\n'}" = "$told" ] || fail "DISPLAY=$1 not told"
  [ "$took" -lt $(( $2 * 1000 )) ] || fail "DISPLAY=$1 took $took ms"
}

told="quarlin: 화면을 찾을 수 없습니다 (no display). 데스크톱 세션에서 실행하십시오."
expect_no_display "" 5
expect_no_display :987 5

# A display that takes the connection and never says a word.
mkdir -p /tmp/.X11-unix
n=$(( 700 + RANDOM % 200 ))
socat UNIX-LISTEN:/tmp/.X11-unix/X$n,fork SYSTEM:'sleep 30' >/dev/null 2>&1 & silent=$!
helpers=()
ours=()
trap 'kill "${helpers[@]}" 2>/dev/null; rm -f "${ours[@]}"' EXIT
ours+=(/tmp/.X11-unix/X$n)
helpers+=($silent)
for _ in $(seq 50); do [ -S /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
expect_no_display :$n 8

# A logout or Ctrl-C at any moment, from the first instants on. Those are
# counted as the program's own: time spent waiting for a busy CPU is left
# out, or a loaded machine would send the signal before it runs at all.
# Before its first instruction the process belongs to the kernel and the
# loader (relocating Qt's libraries; on Debian 13 that alone reached 20 ms
# now and then): a death of a signal the process had not yet taken (its
# SigCgt) is the loader's, and that moment is tried again, at most 5 times.
for case in TERM:20 TERM:100 TERM:200 TERM:1000 INT:1000 HUP:1000; do
  signal=${case%:*} after=$(( ${case#*:} * slower ))
  number=$(kill -l "$signal")
  for attempt in 1 2 3 4 5; do
    start=${EPOCHREALTIME/./}
    # A shell starts a background job with SIGINT ignored; a terminal's would not be.
    QT_QPA_PLATFORM=offscreen env --default-signal=INT "$quarlin" 2>/dev/null & pid=$!
    while read -r _ waited _ </proc/$pid/schedstat \
      && (( ${EPOCHREALTIME/./} - start - waited / 1000 < after * 1000 )); do sleep 0.002; done
    caught=$(sed -n 's/^SigCgt:\t//p' /proc/$pid/status)
    kill -$signal $pid
    for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
    kill -0 $pid 2>/dev/null && { kill -KILL $pid; fail "still running 5 s after SIG$signal"; }
    wait $pid; status=$?
    echo "SIG$signal at $after ms: status $status"
    (( status == 128 + number && (0x${caught:-0} >> (number - 1) & 1) == 0 )) || break
    echo "  (still in the loader: the signal was not yet taken)"
  done
  # Ended as Exit ends it; Ctrl-C as an interrupt, so that a shell loop stops too.
  want=0
  [ "$signal" = INT ] && want=$((128 + number))
  [ "$status" -eq "$want" ] || fail "SIG$signal at $after ms ended with $status, not $want"
done

# Under nohup a hang-up stays ignored; a library that raises SIGTERM as it
# loads meets the program's handler, which runs before any library's.
QT_QPA_PLATFORM=offscreen env --ignore-signal=HUP "$quarlin" 2>/dev/null & pid=$!
sleep $(( slower ))
kill -HUP $pid; sleep 1
kill -0 $pid 2>/dev/null || fail "ended by SIGHUP under nohup"
kill -TERM $pid
for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
kill -0 $pid 2>/dev/null && { kill -KILL $pid; fail "nohup: still running 5 s after SIGTERM"; }
wait $pid; status=$?
echo "nohup: SIGHUP ignored, then SIGTERM: status $status"
[ "$status" -eq 0 ] || fail "nohup, then SIGTERM: status $status"
timeout 10 env QT_QPA_PLATFORM=offscreen LD_PRELOAD="$preload" QUARLIN_TEST_RAISE_AT_LOAD=1 "$quarlin" 2>/dev/null; status=$?
echo "SIGTERM raised by a library's initialiser: status $status"
[ "$status" -eq 0 ] || fail "SIGTERM from a library's initialiser: status $status"


# Shadows /dev with an overlay (what is mounted below it is moved back on
# top) and the lock directory with an empty tmpfs, seen only in this namespace.
shadow_dev() { # $1: an empty scratch folder
  local m subs
  mount -t tmpfs tmpfs "$1" && mkdir "$1/up" "$1/work" || return 1
  subs=$(findmnt -rn -o TARGET | awk 'index($0, "/dev/") == 1' | sort -u)
  for m in $subs; do mkdir -p "$1/keep$m" && mount --rbind "$m" "$1/keep$m" || return 1; done
  mount -t overlay overlay -o lowerdir=/dev,upperdir="$1/up",workdir="$1/work" /dev || return 1
  for m in $subs; do mount --move "$1/keep$m" "$m" || return 1; done
}
private_dev() {
  local scratch status=0
  scratch=$(mktemp -d) || return 1
  shadow_dev "$scratch" || status=1
  umount -l "$scratch" 2>/dev/null
  rmdir "$scratch" # the scratch folder is the machine's /tmp: nothing left there
  [ "$status" -eq 0 ] && mount -t tmpfs tmpfs "$(realpath /var/lock)"
}
if [ -z "${private:-}" ] || ! private_dev; then
  echo "SKIP: no private /dev here (needs root, and / a mount point), so COM 8 is left alone"
  exit 77
fi

# A display that stalls once the window is up (a frozen X server, a cut
# forwarding) holds the main thread for good: a signal still releases the
# port, its lock included, and ends the program within a bound. The
# preloaded library holds the main thread on cue. COM 8 is a pty linked as
# /dev/com8.
display=$(mktemp) && ours+=("$display")
stall=$(mktemp -u) && ours+=("$stall" "$stall.stalled")
Xvfb -displayfd 3 -nolisten tcp 3>"$display" >/dev/null 2>&1 & helpers+=($!)
socat -u PTY,link=/dev/com8,rawer OPEN:/dev/null,wronly >/dev/null 2>&1 & helpers+=($!)
for _ in $(seq 50); do [ -s "$display" ] && [ -L /dev/com8 ] && break; sleep 0.1; done
d=$(cat "$display")
env -u QT_QPA_PLATFORM DISPLAY=:$d LD_PRELOAD="$preload" QUARLIN_TEST_STALL_FLAG="$stall" "$quarlin" 2>/dev/null & helpers+=($!) pid=$!
export DISPLAY=:$d
window=$(timeout 10 xdotool search --sync --name '^ZEL Time Table$' | head -1)
[ -n "$window" ] || fail "no window on :$d"
xdotool mousemove --window "$window" 140 85 click 1 key Down Down Down Down Down Down Down \
  mousemove --window "$window" 100 623 click 1
timeout 10 xdotool search --sync --name '^확  인$' >/dev/null && xdotool key Return
lock=/var/lock/LCK..com8
[ -e $lock ] || fail "COM 8 did not open"
touch "$stall"
xdotool mousemove --window "$window" 200 200 # wakes the loop, which then stalls
for _ in $(seq 50); do [ -e "$stall.stalled" ] && break; sleep 0.1; done
[ -e "$stall.stalled" ] || fail "the main thread did not stall"
start=$(date +%s%N)
kill -TERM $pid
for _ in $(seq 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
took=$(( ($(date +%s%N) - start) / 1000000 ))
kill -0 $pid 2>/dev/null && fail "still running 10 s after SIGTERM with the main thread held"
wait $pid; status=$?
echo "SIGTERM with the main thread held: status $status after $took ms"
[ "$status" -eq 0 ] && [ "$took" -lt 7000 ] || fail "main thread held: status $status after $took ms"
[ ! -e $lock ] || fail "$lock left behind"
echo "all well"
