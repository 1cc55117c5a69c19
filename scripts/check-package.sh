#!/usr/bin/env bash
# Builds the Debian package in a configured build directory (default: build)
# and checks it with Debian's own tools, then installs it with apt, starts
# quarlin from its desktop entry under Xvfb and removes the package again.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
if [ ! -f "$build/CMakeCache.txt" ]; then
  echo "check-package: $build is not a configured build directory (run: cmake -S . -B $build)" >&2
  exit 1
fi
scripts/setup.sh dpkg-dev lintian devscripts appstream desktop-file-utils xvfb xauth xdotool man-db
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

echo "== package"
rm -f "$build"/quarlin_*.deb
log=$build/package.log
cmake --build "$build" -j2 --target package >"$log" 2>&1 || { cat "$log" >&2; exit 1; }
debs=("$build"/quarlin_*.deb)
deb=$(realpath "${debs[0]}")
echo "built $deb"

failed=0
pass() { echo "  ok    $1"; }
fail() {
  echo "  FAIL  $1"
  [ -n "${2:-}" ] && sed 's/^/        /' <<<"$2"
  failed=1
}
# check DESCRIPTION COMMAND...: one line, with the command's output on failure.
check() {
  local what=$1 out
  shift
  if out=$("$@" 2>&1); then pass "$what"; else fail "$what" "$out"; fi
}

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree"

if out=$(lintian -EvIL +pedantic --fail-on error,warning "$deb" 2>&1); then
  tags=$(grep -E '^[A-Z]: ' <<<"$out" | tr '\n' ' ' || true)
  pass "lintian -EvIL +pedantic: no errors or warnings (${tags:-no other tags})"
else
  fail "lintian -EvIL +pedantic: errors or warnings (lintian -i explains)" "$(grep -v '^running with root' <<<"$out")"
fi

# The C start files of Debian 12 and 13 carry no IBT/SHSTK note, so no binary
# linked there can pass the control flow check (not even /usr/bin/ls).
# Debian 13's hardening-check also wants AArch64's branch protection
# (BTI, PAC) everywhere, which no x86 binary can have.
skip=(--nocfprotection)
if [ "$(dpkg --print-architecture)" != arm64 ] && [[ $(hardening-check --help 2>&1 || true) == *--nobranchprotection* ]]; then
  skip+=(--nobranchprotection)
fi
for program in quarlin quarlin-sim; do
  check "hardening-check $program" hardening-check "${skip[@]}" "$tree/usr/bin/$program"
done

check "desktop-file-validate" desktop-file-validate "$tree/usr/share/applications/quarlin.desktop"
check "appstreamcli validate-tree (metainfo, desktop entry, icon)" appstreamcli validate-tree --no-net "$tree"

# lintian reads the pages in C.UTF-8 too; the Korean messages need UTF-8.
for page in quarlin quarlin-sim; do
  out=$(LC_ALL=C.UTF-8 man --warnings -l "$tree/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null || echo "man failed")
  if [ -z "$out" ]; then pass "man --warnings $page(1)"; else fail "man --warnings $page(1)" "$out"; fi
done

# No tool knows these two decisions of ours.
depends=$(dpkg-deb -f "$deb" Depends)
if [[ $depends == *fonts-nanum* && $depends == *libqt6widgets6* ]]; then
  pass "Depends names fonts-nanum and the Qt libraries"
else
  fail "Depends names fonts-nanum and the Qt libraries" "Depends: $depends"
fi
# Dependencies differ per release, so the version names it (1.00-1~deb13).
version=$(dpkg-deb -f "$deb" Version)
release=$(. /etc/os-release && echo "${VERSION_ID:-}")
if [[ $version == *-*"~deb$release" ]]; then
  pass "Version $version names this Debian release ($release)"
else
  fail "Version $version names this Debian release (${release:-unknown})"
fi
if [ -f "$tree/usr/share/doc/quarlin/examples/60-quarlin-com.rules.example" ] \
  && ! find "$tree" -path '*/udev/rules.d/*' | grep -q .; then
  pass "udev rule shipped only as an example"
else
  fail "udev rule shipped only as an example"
fi

echo "== install, start from the desktop entry, remove"
apt_log=$build/package-apt.log
if $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >"$apt_log" 2>&1; then
  pass "apt-get install $(basename "$deb")"
else
  fail "apt-get install $(basename "$deb")" "$(tail -20 "$apt_log")"
fi

entry=/usr/share/applications/quarlin.desktop
exec_line=$(sed -n 's/^Exec=//p' "$entry" 2>/dev/null | head -1 | sed 's/ *%[fFuUick]//g')
wm_class=$(sed -n 's/^StartupWMClass=//p' "$entry" 2>/dev/null | head -1)
what="Exec=$exec_line shows \"ZEL Time Table\" of class ${wm_class:-?} (StartupWMClass) under Xvfb"
start_log=$build/package-start.log
# The entry's command as a desktop would run it: on a display, no Qt test
# platform. A random first display number: other Xvfb runs may start now too.
if [ -n "$exec_line" ] && [ -n "$wm_class" ] && env -u QT_QPA_PLATFORM xvfb-run -a -n $((200 + RANDOM % 400)) -s '-screen 0 1024x768x24' bash -c '
    $1 & pid=$!
    for _ in $(seq 100); do
      window=$(xdotool search --name "^ZEL Time Table$" 2>/dev/null | head -1)
      if [ -n "$window" ] && xdotool search --class "^$2$" | grep -qx "$window"; then kill "$pid"; exit 0; fi
      kill -0 "$pid" 2>/dev/null || exit 1
      sleep 0.1
    done
    kill "$pid"; exit 1' _ "$exec_line" "$wm_class" >"$start_log" 2>&1; then
  pass "$what"
else
  fail "$what" "$(tail -20 "$start_log")"
fi

if $sudo env DEBIAN_FRONTEND=noninteractive apt-get remove -y -q quarlin >>"$apt_log" 2>&1 \
  && [ ! -e /usr/bin/quarlin ] && ! dpkg-query -W -f='${Status}' quarlin 2>/dev/null | grep -q 'ok installed'; then
  pass "apt-get remove quarlin: /usr/bin/quarlin is gone"
else
  fail "apt-get remove quarlin: /usr/bin/quarlin is gone" "$(tail -20 "$apt_log")"
fi

if [ "$failed" -ne 0 ]; then
  echo "check-package: $(basename "$deb") failed a check (see FAIL above)" >&2
  exit 1
fi
echo "Package checks passed."
