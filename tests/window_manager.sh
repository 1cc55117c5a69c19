#!/usr/bin/env bash
# The window under a real window manager (openbox) and a panel that reserves a
# strip of the screen (tint2, which makes openbox set _NET_WORKAREA): on a
# screen too small for the window its whole frame, title bar included, lies in
# the work area; where it fits, openbox's own placement stands.
set -u
quarlin=$1
pids=()
# While a screen is up, what its programs said is part of the story.
fail() { echo "FAIL: $*"; [ ${#pids[@]} -eq 0 ] || tail -n 5 "$work"/*.log; exit 1; }
for tool in Xvfb openbox tint2 xdotool xprop xwininfo; do
  command -v $tool >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'kill "${pids[@]}" 2>/dev/null; wait; rm -rf "$work"' EXIT
# openbox and tint2 read and write only here, not in the user's home.
mkdir -p "$work/openbox"
echo '<openbox_config xmlns="http://openbox.org/3.4/rc"><placement><policy>Smart</policy>
  <center>yes</center></placement></openbox_config>' >"$work/openbox/rc.xml"
helper() { env HOME="$work" XDG_CONFIG_HOME="$work" XDG_CACHE_HOME="$work" "$@" >"$work/$1.log" 2>&1 & pids+=($!); }
within() { for _ in $(seq 100); do "$@" && return 0; sleep 0.1; done; return 1; } # 10 s at most
numbers() { xprop "$@" | sed -n 's/.*= //p' | tr -d ,; }

# The frame of window $1 as "x y width height", and its client area's width.
frame() {
  local l r t b x y w h
  read -r l r t b < <(numbers -id "$1" _NET_FRAME_EXTENTS) && [ -n "$b" ] || return 1
  read -r x y w h < <(xwininfo -id "$1" | awk '/Absolute upper-left [XY]|  Width|  Height/ { printf "%s ", $NF }')
  echo "$((x - l)) $((y - t)) $((w + l + r)) $((h + t + b)) $w"
}

# $1 screen, $2 panel at the top or bottom, $3 scale factor; sets fx fy fw fh cw and wx wy ww wh.
show() {
  local display=$work/display height=${1#*x} window before="" now
  : >"$display"
  # -noreset: a server that resets when its last client leaves turns away whoever connects meanwhile.
  Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 "$1x24" 3>"$display" >"$work/Xvfb.log" 2>&1 & pids+=($!)
  within test -s "$display" || fail "Xvfb did not start"
  export DISPLAY=:$(cat "$display")
  helper openbox --sm-disable
  within eval 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || fail "openbox did not start"
  printf 'panel_items = T\npanel_size = 100%% 30\npanel_position = %s center horizontal\nstrut_policy = follow_size\n' \
    "$2" >"$work/tint2rc"
  helper tint2 -c "$work/tint2rc"
  within eval 'read -r wx wy ww wh _ < <(numbers -root _NET_WORKAREA) && [ "${wh:-0}" -lt "$height" ]' ||
    fail "$1: the panel reserved no room"
  env -u QT_QPA_PLATFORM QT_SCALE_FACTOR="$3" "$quarlin" >"$work/quarlin.log" 2>&1 & pids+=($!)
  window=$(timeout 20 xdotool search --sync --name '^ZEL Time Table$' | head -1)
  [ -n "$window" ] || fail "$1: no window"
  # Settled: the same frame for half a second.
  for _ in $(seq 20); do
    sleep 0.5
    now=$(frame "$window") && [ "$now" = "$before" ] && break
    before=$now
  done
  [ -n "$now" ] || fail "$1: no frame"
  read -r fx fy fw fh cw <<<"$now"
  echo "$1, panel at the $2, scale $3: frame ${fw}x$fh at $fx,$fy, work area ${ww}x$wh at $wx,$wy"
  kill "${pids[@]}" 2>/dev/null; wait; pids=()
}
inside() { [ "$fx" -ge "$wx" ] && [ "$fy" -ge "$wy" ] && [ $((fx + fw)) -le $((wx + ww)) ] && [ $((fy + fh)) -le $((wy + wh)) ]; }

for screen in 1366x768:bottom:1 1024x768:bottom:1 800x600:bottom:1 1920x1080:bottom:1.5 1280x720:top:1 1920x1080:top:1.5; do
  IFS=: read -r size panel scale <<<"$screen"
  show "$size" "$panel" "$scale"
  inside || fail "the frame is not inside the work area"
done

# Room enough: openbox centres the window in the work area, and the program leaves it there, uncut.
show 1920x1200 top 1
off_centre() { echo $(($1 < 0 ? -$1 : $1)); } # twice the distance, in pixels
[ "$(off_centre $((2 * fx + fw - 2 * wx - ww)))" -le 2 ] && [ "$(off_centre $((2 * fy + fh - 2 * wy - wh)))" -le 2 ] ||
  fail "the window is not where openbox placed it"
inside && [ "$cw" -eq 607 ] || fail "the window was cut"
echo "all well"
