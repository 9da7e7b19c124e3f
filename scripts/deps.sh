#!/usr/bin/env bash
# Installs, with apt-get, whatever Talvex needs to build, run and test that is missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  libx11-dev libxres-dev nlohmann-json3-dev libsystemd-dev
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl1-mesa-dev
  xvfb openbox xdotool x11-utils
  sway qt6-wayland dbus-daemon
  libcap2-bin procps passwd
)

missing=()
for pkg in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

SUDO=""
if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
