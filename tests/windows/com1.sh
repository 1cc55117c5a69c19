#!/usr/bin/env bash
# The Linux side of tst_windows: a pty becomes Wine's COM1, the Windows test
# program runs, and the line must have carried exactly the one expected frame.
# Meanwhile it serves the program's requests (files in $QUARLIN_LINE): bytes to
# send, the program's CPU time, an unplug.
# Usage: com1.sh <wine runner> <test .exe>
set -euo pipefail
run=$1 exe=$2
dir=$(mktemp -d)
trap '"$run" --unix wineserver -k 2>/dev/null || true; kill "$socat" "$relay" 2>/dev/null || true; rm -rf "$dir"' EXIT
relay=""

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

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
ended() { local state; state=$(cut -d' ' -f3 "/proc/$1/stat" 2>/dev/null) || true; [ "${state:-Z}" = Z ]; }
serve() { # <pid of the program>
  local f before
  until ended "$1"; do
    for f in "$dir"/line/request.*; do
      case $f in
        *.send) cat "$f" >&8 ;;
        *.cpu) before=$(cpu_ticks "$1"); sleep 2
               echo $(( ($(cpu_ticks "$1") - before) * 1000 / $(getconf CLK_TCK) )) > "$dir/line/answer" ;;
        *.unplug) kill "$socat"; until ended "$socat"; do sleep 0.01; done ;;
        *) continue ;;
      esac
      rm "$f"
    done
    sleep 0.02
  done
}
mkdir "$dir/line"
export QUARLIN_LINE="Z:${dir//\//\\}\\line"
LD_PRELOAD=$dir/pty-modem.so "$run" "$exe" & app=$!
serve "$app" & relay=$!
wait "$app"

printf 'S\x01\x1e\x05\x02\x05\x0c\0\0\0\0\0\0\x63\x3b\x09\x29\0\0\0\xf9\0\x07\x03\x01\x2c\r' > "$dir/want"
for _ in $(seq 50); do [ "$(stat -c %s "$dir/got")" -ge 27 ] && break; sleep 0.1; done
cmp "$dir/want" "$dir/got" && echo "COM1: the 27 bytes arrived exactly"
