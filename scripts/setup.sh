#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need,
# asking apt only for what is missing.
set -euo pipefail

packages=(cmake g++ make qt6-base-dev qt6-serialport-dev libgl-dev fonts-nanum "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# Another apt (an unattended upgrade, a second build) may hold the lock for a while.
wait_lock=(-o DPkg::Lock::Timeout=600)
$sudo apt-get "${wait_lock[@]}" update -qq
$sudo apt-get "${wait_lock[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
