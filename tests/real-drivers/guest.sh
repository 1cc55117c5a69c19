#!/bin/bash
# The guest's first process: installs the package as a user would, gives the
# USB adapter its COM number with the shipped udev example, and drives the
# real window on real drivers. The host plays the far end of both lines and
# unplugs the adapter on request (tests/real-drivers/host.py).
exec 3>/dev/ttyS0 </dev/ttyS0 >&3 2>&1
stty -echo
export PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 HOME=/root
failed=0 pid="" window=""

ask() { # one request to the host, its answer on stdout
  local reply=""
  echo "@@$*" >&3
  read -r -t 30 reply
  echo "${reply%$'\r'}"
}
check() { # check NAME COMMAND...
  local what=$1
  shift
  if "$@"; then echo "  ok    $what"; else echo "  FAIL  $what${why:+ ($why)}"; failed=1; fi
  why=""
}
finish() {
  echo "@@end $failed" >&3
  sleep 30
}
trap finish EXIT
until_true() { # SECONDS COMMAND...: tries every 0.1 s
  local i
  for ((i = 0; i < $1 * 10; i++)); do "${@:2}" && return 0; sleep 0.1; done
  return 1
}

echo "== $(. /etc/os-release && echo "$PRETTY_NAME"), kernel $(uname -r)"
/lib/systemd/systemd-udevd --daemon </dev/null >/dev/null 2>&1 3>&-
udevadm trigger --action=add --subsystem-match=tty --subsystem-match=usb
modprobe -a xhci_pci ftdi_sio
udevadm settle --timeout=20
check "dpkg -i $(cat /tmp/t/name) (dependencies from the image)" dpkg -i /tmp/t/quarlin.deb >/tmp/dpkg.log 2>&1 \
  || cat /tmp/dpkg.log

# The example's own steps, as its comment gives them (as root: no sudo).
until_true 15 test -c /dev/ttyUSB0
example=/usr/share/doc/quarlin/examples/60-quarlin-com.rules.example
sed -n 's/^#   sudo //p' "$example" | sed 's/sudo //g' >/tmp/steps
while read -r step; do echo "  # $step"; eval "$step"; done </tmp/steps
usb_gone() { [ ! -e /dev/ttyUSB0 ] && [ ! -e /dev/com1 ]; }
usb_back() { [ -e /dev/ttyUSB0 ] && [ -L /dev/com1 ] || [ -e /dev/ttyUSB1 ]; }
replug() { # REASON: plugs the adapter in again and checks it is ttyUSB0
  until_true 10 usb_gone
  ask plug >/dev/null
  until_true 15 usb_back
  why=$(ls /dev/ttyUSB* /dev/com1 2>&1 | tr '\n' ' ')
  check "$1: back as /dev/ttyUSB0, /dev/com1 -> ttyUSB0" [ "$(readlink -f /dev/com1)" = /dev/ttyUSB0 ]
  # Without /dev/com1, COM 1 would be ttyS0: this report's own line.
  [ -L /dev/com1 ] || { echo "  no /dev/com1: stopped here"; exit; }
}
ask unplug >/dev/null
replug "udev rule in place, adapter replugged"
check "COM 2: no /dev/com2, /dev/ttyS1 is a 16550A" \
  sh -c '[ ! -e /dev/com2 ] && [ -c /dev/ttyS1 ] && dmesg | grep -q "ttyS1 .*16550A"'

Xvfb :1 -nolisten tcp -screen 0 1024x768x24 </dev/null >/dev/null 2>&1 3>&- &
export DISPLAY=:1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
until_true 20 test -S /tmp/.X11-unix/X1
eval "$(dbus-launch --sh-syntax </dev/null 3>&-)"
start() {
  quarlin </dev/null >/tmp/quarlin.log 2>&1 3>&- &
  pid=$!
  window=$(timeout 60 xdotool search --sync --name '^ZEL Time Table$' | head -1)
}
start
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
boxes() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | wc -l; }
has_box() { [ "$(boxes "$1")" -ge 1 ]; }
confirm='확  인' error=Quarlin_01
# The text of the open boxes of that title, as a screen reader reads it.
box_text() {
  local text="" i
  for i in 1 2 3; do
    text=$(timeout 10 python3 /tmp/t/boxtext.py "$1" 2>/dev/null) && [ -n "$text" ] && break
    sleep 0.5
  done
  echo "$text"
}
# OK on the box in front, then waits until fewer boxes of that title are open.
ok() {
  local before
  before=$(boxes "$1")
  xdotool key Return
  until_true 10 test "$(boxes "$1")" -lt "$before"
}
com() { # COM n chosen in the list
  click 140 85
  xdotool key Up Up Up Up Up Up Up Up
  for ((i = 1; i < $1; i++)); do xdotool key Down; done
}
# connect N [TITLE]: Connect on COM n, waits for a box (of that title), leaves it open.
any_box() { has_box "$confirm" || has_box "$error"; }
connect() { com "$1" && click 100 623 && until_true 30 any_box && { [ -z "${2:-}" ] || has_box "$2"; }; }
locks() { ls /run/lock/LCK..com1 /run/lock/LCK..ttyUSB0 2>/dev/null | wc -l; }
holds_port() { ls -l /proc/"$pid"/fd 2>/dev/null | grep -qE 'ttyUSB|ttyS1|com1'; }
cpu() { awk '{ print $14 + $15 }' /proc/"$pid"/stat; }
idle() { # under 5 % of a core over 5 s
  local before
  before=$(cpu)
  sleep 5
  why="$(($(cpu) - before)) ticks of 500"
  [ $(($(cpu) - before)) -le 25 ]
}
zero=53$(printf '00%.0s' {1..25})0d
test_set=53000100000100000100000100000100081020408100000000000d
# download BUTTON_X BUTTON_Y DEVICE EXPECTED: the frame on the host side, the box closed.
download() {
  click "$1" "$2"
  until_true 30 has_box "$confirm" || { why="no box"; return 1; }
  local got
  got=$(ask take "$3" 27)
  why="host got ${got#hex }"
  ok "$confirm" && [ "$got" = "hex $4" ]
}

check "window shown" test -n "$window"
# A terminal for programs that want one; they end on their own or at the timeout.
term() { TERM=vt100 timeout "$1" script -qec "${*:2}" /dev/null </dev/null; }
echo "== minicom, then picocom, on /dev/ttyUSB0 first (as root), then Connect on COM 1"
for holder in "minicom -D" picocom; do
  term 60 "$holder" /dev/ttyUSB0 >/dev/null 2>&1 &
  holder=${holder% -D}
  other=$!
  until_true 10 pgrep -x "$holder" >/dev/null
  connect 1
  text=$(box_text "$error")
  why=${text:-$(boxes "$confirm") confirmation}
  check "$holder first, then Connect on COM 1: refused naming $holder" grep -q "$holder, PID $(pgrep -x "$holder")" <<<"$text"
  ok "$error"
  kill $(pgrep -x "$holder") "$other" 2>/dev/null
  until_true 10 eval '! pgrep -x "$holder" >/dev/null'
  wait "$other" 2>/dev/null
done
# What the terminal programs sent is theirs, not Quarlin's.
echo "  (left on the line by them: $(ask take usb 0))"

# Connect on COM $1, whose box must name the device as $2.
connected_as() {
  connect "$1" "$confirm"
  why=$(box_text "$confirm")
  check "Connect: \"$2\"" grep -qF "$2" <<<"$why"
  ok "$confirm"
}

echo "== COM 1 through /dev/com1 -> /dev/ttyUSB0 (ftdi_sio)"
connected_as 1 "COM1: /dev/ttyUSB0 (/dev/com1)"
why=$(ls /run/lock)
check "held as LCK..com1 and LCK..ttyUSB0" [ "$(locks)" = 2 ]
why=$(ask take usb 0)
check "nothing sent at Connect" [ "$why" = "hex -" ]
check "DownLoad: the 27 bytes on the host side" download 188 695 usb "$zero"
check "Test Set: the 27 bytes on the host side" download 452 623 usb "$test_set"
check "Test Reset: the 27 bytes on the host side" download 552 623 usb "$zero"
# The reply record is not shown anywhere: what the operator sees is no box
# and a program that stays idle.
ask send usb 52303132333435363738390d04 >/dev/null
check "a reply from the host: no box, idle while connected" eval '! has_box "$error" && idle'

echo "== sharing /dev/ttyUSB0 with programs run as root"
out=$(term 10 minicom -D /dev/ttyUSB0 2>&1)
why=$(tr -s '\r\n' ' ' <<<"$out" | cut -c1-120)
check "minicom on /dev/ttyUSB0 while Quarlin has COM 1: refused" grep -qi 'locked' <<<"$out"
out=$(term 10 picocom -q /dev/ttyUSB0 2>&1)
why=$(tr -s '\r\n' ' ' <<<"$out" | cut -c1-120)
check "picocom on /dev/ttyUSB0 while Quarlin has COM 1: refused" grep -qiE 'lock|busy|unavailable' <<<"$out"
check "DownLoad still reaches the host" download 188 695 usb "$zero"

# lost CASE: the adapter has gone; exactly one box says so, the port is closed,
# the locks are gone, and the program stays idle with the box open.
lost() {
  until_true 10 usb_gone
  until_true 15 has_box "$error"
  sleep 1
  why="$(boxes "$error") boxes"
  check "$1: one box" [ "$(boxes "$error")" = 1 ]
  text=$(box_text "$error")
  why=$text
  check "$1: \"connection lost\", naming COM1: /dev/ttyUSB0 (/dev/com1)" \
    grep -q '연결이 끊어졌습니다 (COM1: /dev/ttyUSB0 (/dev/com1))' <<<"$text"
  why=$(ls /run/lock; ls -l /proc/"$pid"/fd | grep tty)
  check "$1: port closed, no lock" eval '! holds_port && [ "$(locks)" = 0 ]'
  check "$1: idle over 5 s" idle
}
again() { # Connect and DownLoad on COM 1 after a replug
  connect 1 "$confirm" && ok "$confirm" && download 188 695 usb "$zero"
}

echo "== the adapter unplugged"
connect 1 "$confirm" && ok "$confirm"
ask unplug >/dev/null
lost "idle"
ok "$error"
replug "idle"
check "idle: Connect and DownLoad again" again

# The main thread held (tests/real-drivers/hold.py) while the click comes in
# and the adapter goes: it finds both waiting, as when the adapter goes in the
# instant of a click. Twice, the second time after a replug.
for attempt in 1 2; do
  coproc HOLD { python3 /tmp/t/hold.py "$pid" 2>&1; }
  read -r -t 20 held <&"${HOLD[0]}"
  click 188 695
  sleep 1
  ask unplug >/dev/null
  until_true 10 usb_gone
  echo go >&"${HOLD[1]}"
  wait "$HOLD_PID"
  [ "$held" = held ] || echo "  (main thread not held: $held)"
  lost "during a DownLoad ($attempt)"
  ok "$error"
  why="$(boxes "$error") boxes"
  check "during a DownLoad ($attempt): no second box" eval 'sleep 2; ! has_box "$error"'
  until_true 10 eval '! any_box' || xdotool key Return
  ask take usb 0 >/dev/null
  replug "during a DownLoad ($attempt)"
  check "during a DownLoad ($attempt): Connect and DownLoad again" again
done

connect 1 "$confirm"
ask unplug >/dev/null
lost "Connect's box open"
replug "Connect's box open, plugged back before OK"
ok "$error" && ok "$confirm"
check "Connect's box open: Connect and DownLoad again" again

echo "== COM 2: /dev/ttyS1 (8250, 16550A) by the default mapping"
connected_as 2 "COM2: /dev/ttyS1"
check "DownLoad: the 27 bytes on the host side" download 188 695 uart "$zero"

echo "== ended by SIGTERM on COM 1"
connect 1 "$confirm" && ok "$confirm"
why=$(ls /run/lock)
check "held before" [ "$(locks)" = 2 ]
kill -TERM "$pid"
check "ended within 10 s" until_true 10 eval '! kill -0 "$pid" 2>/dev/null'
why=$(ls /run/lock)
check "no lock left" [ "$(locks)" = 0 ]
