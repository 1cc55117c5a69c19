# Sourced by the checks that show the window: an Xvfb of our own, on a display
# number it picks itself, and a quarlin.exe started in it.
xvfb=""
# Wine keeps the display it started with, so Wine is stopped first.
start_xvfb() {
  [ -n "$xvfb" ] && return
  "$out/wine-run" --unix wineserver -k 2>/dev/null || true
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$out/xvfb.display" 2>/dev/null & xvfb=$!
  for _ in $(seq 100); do [ -s "$out/xvfb.display" ] && break; sleep 0.1; done
  export DISPLAY=:$(cat "$out/xvfb.display")
  until xwininfo -root >/dev/null 2>&1; do sleep 0.1; done
}
trap 'kill $xvfb 2>/dev/null || true' EXIT
shown() { xwininfo -root -tree | grep '"ZEL Time Table"' | grep -v '1x1+'; }
# Starts a quarlin.exe on its own (neither Qt's nor MinGW's folders on the DLL
# path) and waits up to 30 s for its window.
launch() { # <exe as Wine sees it>
  QT_QPA_PLATFORM=windows "$out/wine-run" --unix env -u WINEPATH -u WINEQT_PLUGIN_PATH \
    wine64 "$1" 2>/dev/null & app=$!
  for _ in $(seq 1500); do shown >/dev/null && return; sleep 0.02; done
  fail "$1 showed no window within 30 s"
}
