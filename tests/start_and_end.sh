#!/usr/bin/env bash
# The program's start and end as a shell sees them: no display, a display
# that never answers, and the signals a logout or Ctrl-C sends.
set -u
quarlin=$1
fail() { echo "FAIL: $*"; exit 1; }

expect_no_display() { # $1 display, $2 seconds allowed
  local start out status took
  start=$(date +%s%N)
  out=$(env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY DISPLAY="$1" timeout 20 "$quarlin" 2>&1); status=$?
  took=$(( ($(date +%s%N) - start) / 1000000 ))
  echo "DISPLAY=$1: status $status after $took ms: $out"
  [ "$status" -eq 1 ] && echo "$out" | grep -q "no display" || fail "DISPLAY=$1 not told"
  [ "$took" -lt $(( $2 * 1000 )) ] || fail "DISPLAY=$1 took $took ms"
}

expect_no_display "" 5
expect_no_display :987 5

# A display that takes the connection and never says a word.
mkdir -p /tmp/.X11-unix
n=$(( 700 + RANDOM % 200 ))
socat UNIX-LISTEN:/tmp/.X11-unix/X$n,fork SYSTEM:'sleep 30' >/dev/null 2>&1 & silent=$!
trap 'kill $silent 2>/dev/null; rm -f /tmp/.X11-unix/X$n' EXIT
for _ in $(seq 50); do [ -S /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
expect_no_display :$n 8

for signal in TERM INT HUP; do
  QT_QPA_PLATFORM=offscreen "$quarlin" 2>/dev/null & pid=$!
  sleep 1
  kill -$signal $pid
  for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
  kill -0 $pid 2>/dev/null && { kill -KILL $pid; fail "still running 5 s after SIG$signal"; }
  wait $pid; status=$?
  echo "SIG$signal: status $status"
  # 128 + the signal number would mean it died of it, with the port still held.
  [ "$status" -eq 0 ] || fail "SIG$signal ended with $status"
done
echo "all well"
