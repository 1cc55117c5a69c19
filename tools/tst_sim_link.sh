#!/usr/bin/env bash
# The link comN across simulator runs: one killed by SIGKILL leaves its link
# behind, and the next on that COM number takes it over (usually with the
# same pty number, as the kernel hands out the lowest free one) and removes it
# when it ends. A link to a pty another simulator holds, and a plain file,
# are left alone.
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
first=$pid
[ "$(readlink "$dir/com6")" = "$(pty_of first)" ] || fail "com6 does not point to the first simulator's pty"

start second --com 6
grep -q "already points to $(pty_of first), which is there: left alone" "$dir/second.out" \
  || fail "the second simulator did not leave the first one's link alone"
stop "$pid"
[ "$(readlink "$dir/com6")" = "$(pty_of first)" ] || fail "the second simulator changed or removed com6"

{ kill -KILL "$first"; wait "$first"; } 2>/dev/null
[ -L "$dir/com6" ] || fail "a killed simulator's link should still be there"
start third --com 6
grep -q "replaced a stale link" "$dir/third.out" || fail "the third simulator did not take over com6"
[ "$(readlink "$dir/com6")" = "$(pty_of third)" ] || fail "com6 does not point to the third simulator's pty"
echo "killed simulator's pty $(pty_of first), next one's $(pty_of third): taken over"
stop "$pid"
[ ! -e "$dir/com6" ] && [ ! -L "$dir/com6" ] || fail "com6 left behind after SIGTERM"

echo "not a link" >"$dir/com7"
start fourth --com 7
grep -q "is a real device or file: left alone" "$dir/fourth.out" || fail "a plain file com7 was not left alone"
stop "$pid"
[ "$(cat "$dir/com7")" = "not a link" ] || fail "the plain file com7 was changed"
echo "ok"
