#!/usr/bin/env bash
# The Linux side of tst_windows: a pty becomes Wine's COM1, on which this
# script plays the controller while the Windows test program runs. The line
# must carry exactly the one expected frame; then the controller's replies
# must land in the program's record, and unplugging the line must bring one
# message, with the program calm after each (its CPU time, as Linux counts it).
# Usage: com1.sh <wine runner> <test .exe>
set -euo pipefail
run=$1 exe=$2
dir=$(mktemp -d)
trap '"$run" --unix wineserver -k 2>/dev/null || true; kill "$socat" "$player" 2>/dev/null || true; rm -rf "$dir"' EXIT
player=""

# Wine cannot wait on a pty without it (see pty-modem.c).
cc -shared -fPIC -o "$dir/pty-modem.so" "$(dirname "$0")/pty-modem.c" -ldl
mkfifo "$dir/to-line"
exec 8<>"$dir/to-line"
socat PTY,rawer,link="$dir/com1" OPEN:"$dir/to-line",rdonly!!CREATE:"$dir/got" & socat=$!
for _ in $(seq 100); do [ -e "$dir/com1" ] && break; sleep 0.05; done
exec 7<>"$dir/com1" # held open, so the line outlives each closing of the port
pts=$(readlink -f "$dir/com1")

# Wine's mount manager makes the COM links anew from this key when Wine
# starts (unlink, then link): the program must not start before it is done.
printf 'REGEDIT4\n\n[-HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n"COM1"="%s"\n' \
  "$pts" > "$dir/ports.reg"
"$run" regedit /S "Z:${dir//\//\\}\\ports.reg"
"$run" --unix wineserver -w
"$run" --unix sh -c 'rm -f "$WINEPREFIX"/dosdevices/com[0-9]*'
"$run" --unix wineserver -p >/dev/null 2>&1
"$run" reg query 'HKLM\Software\Wine\Ports' >/dev/null
link=$("$run" --unix sh -c 'echo "$WINEPREFIX/dosdevices/com1"')
for _ in $(seq 100); do [ "$(readlink "$link")" = "$pts" ] && break; sleep 0.1; done

# The numbers after COM1 go to /dev/ttyS*, ttyUSB* and ttyACM* in turn; the
# first one left over names no device.
found=0
for kind in ttyS ttyUSB ttyACM; do
  i=0
  while [ -e "/dev/$kind$i" ]; do i=$((i + 1)); done
  found=$((found + i))
done
QUARLIN_FREE_COM=$((found + 2))
[ "$QUARLIN_FREE_COM" -le 8 ] || QUARLIN_FREE_COM=0
export QUARLIN_FREE_COM

# The program logs "state <record in hex> <messages shown>" as it changes.
shows() {
  for _ in $(seq 500); do grep -qF "state $1" "$dir/log" 2>/dev/null && return; sleep 0.02; done
  echo "com1.sh: the program never showed \"state $1\"; last: $(grep -o 'state .*' "$dir/log" | tail -n 1)" >&2
  return 1
}
record() { printf 'R%s\xe9' "$(printf '%023d' 0 | tr 0 "$1")"; } # 25 characters
hex() { od -An -tx1 | tr -d ' \n'; }
idle() {
  local before ms
  before=$(awk '{ print $14 + $15 }' "/proc/$app/stat")
  sleep 2
  ms=$(( ($(awk '{ print $14 + $15 }' "/proc/$app/stat") - before) * 1000 / $(getconf CLK_TCK) ))
  echo "com1.sh: the program used $ms ms of CPU time in 2 s $1"
  [ "$ms" -lt 600 ] || { echo "com1.sh: the program is busy $1" >&2; return 1; }
}
play() {
  shows " 0" && # the frame is sent, the program listens
    { record a; printf '\4'; } >&8 && shows "$(record a | hex) 0" &&
    record b | head -c 10 >&8 && sleep 0.05 &&
    { record b | tail -c +11; printf '\4'; } >&8 && shows "$(record b | hex) 0" &&
    { printf 'x\0\xffr'; record c; printf '\4'; } >&8 && shows "$(record c | hex) 0" &&
    head -c 65536 /dev/zero | tr '\0' f >&8 && sleep 0.05 &&
    { record d; printf '\4'; } >&8 && shows "$(record d | hex) 0" &&
    idle "after the replies" &&
    kill "$socat" && shows "$(record d | hex) 1" && idle "after the unplug"
}

LD_PRELOAD=$dir/pty-modem.so "$run" "$exe" > >(tee "$dir/log") & app=$!
# A failed step unplugs the line at once, which ends the program's wait.
(play || { kill "$socat" 2>/dev/null; exit 1; }) & player=$!
wait "$app"
wait "$player"

printf 'S\x01\x1e\x05\x02\x05\x0c\0\0\0\0\0\0\x63\x3b\x09\x29\0\0\0\xf9\0\x07\x03\x01\x2c\r' > "$dir/want"
for _ in $(seq 50); do [ "$(stat -c %s "$dir/got")" -ge 27 ] && break; sleep 0.1; done
cmp "$dir/want" "$dir/got" && echo "COM1: the 27 bytes arrived exactly"
