#!/usr/bin/env bash
# The link comN across simulator runs: one killed by SIGKILL leaves its link
# behind, and the next on that COM number takes it over, even when the dead
# one's pty number has gone to another terminal. A running simulator's link,
# a link someone re-pointed, and a file, directory or device are left alone.
set -u
sim=$1
dir=$(mktemp -d)
pids=()
trap 'kill -KILL "${pids[@]}" 2>/dev/null; rm -rf "$dir"' EXIT

fail() {
  echo "FAIL: $*"
  for out in "$dir"/*.out; do echo "--- $out"; cat "$out"; done
  exit 1
}
# start NAME ARGS...: a simulator in the background, its output in NAME.out.
start() {
  local name=$1
  shift
  "$sim" --link-dir "$dir" "$@" </dev/null >"$dir/$name.out" 2>&1 &
  pids+=($!)
  pid=$!
  for _ in $(seq 100); do
    grep -q "Waiting for frames" "$dir/$name.out" && return 0
    sleep 0.05
  done
  fail "$name did not start"
}
pty_of() { sed -n 's/^  pseudo-terminal  //p' "$dir/$1.out"; }
stop() {
  kill -TERM "$1"
  wait "$1" || fail "the simulator ended with status $? on SIGTERM"
}

start first --com 6
first=$pid first_pty=$(pty_of first)
[ "$(readlink "$dir/com6")" = "$first_pty" ] || fail "com6 does not point to the first simulator's pty"

start second --com 6
grep -q "com6 belongs to another simulator that is running (PID $first): left alone" "$dir/second.out" \
  || fail "the second simulator did not leave the first one's link alone"
grep -q "ln -s" "$dir/second.out" && fail "the second simulator advised taking the first one's link"
stop "$pid"
[ "$(readlink "$dir/com6")" = "$first_pty" ] || fail "the second simulator changed or removed com6"

{ kill -KILL "$first"; wait "$first"; } 2>/dev/null
[ -L "$dir/com6" ] || fail "a killed simulator's link should still be there"
# Its pty number goes to another terminal before the next simulator starts.
for n in 1 2 3 4 5; do [ -e "$first_pty" ] || start holder$n --no-link; done
[ -e "$first_pty" ] || fail "$first_pty was not handed out again"
start third --com 6
grep -q "replaced a stale link to $first_pty" "$dir/third.out" || fail "the third simulator did not take over com6"
[ "$(readlink "$dir/com6")" = "$(pty_of third)" ] || fail "com6 does not point to the third simulator's pty"
echo "killed simulator's pty $first_pty, now another terminal's; next one's $(pty_of third): taken over"
stop "$pid"
[ ! -e "$dir/com6" ] && [ ! -L "$dir/com6" ] || fail "com6 left behind after SIGTERM"

start fourth --com 6
ln -sfn /dev/null "$dir/com6"
stop "$pid"
[ "$(readlink "$dir/com6")" = /dev/null ] || fail "a link re-pointed while the simulator ran was not left alone"
[ ! -e "$dir/com6.quarlin-sim" ] || fail "com6.quarlin-sim left behind"

for kind in file directory device; do
  rm -rf "$dir/com7"
  case $kind in
    file) echo "not a link" >"$dir/com7" ;;
    directory) mkdir "$dir/com7" ;;
    device) mknod "$dir/com7" c 1 3 2>/dev/null || continue ;;
  esac
  before=$(stat -c %F:%i "$dir/com7")
  start $kind --com 7
  grep -q "com7 is a real device, directory or file: left alone" "$dir/$kind.out" || fail "a $kind com7 was not left alone"
  stop "$pid"
  [ "$(stat -c %F:%i "$dir/com7")" = "$before" ] || fail "the $kind com7 was changed"
done
echo "ok"
