#!/usr/bin/env bash
# Installs, with apt-get, whatever Talvex needs to build, run and test that is missing,
# and the packages named as arguments.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config clang-format clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libx11-dev libxres-dev nlohmann-json3-dev libsystemd-dev
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-translations-l10n libgl1-mesa-dev
  xvfb openbox xdotool x11-utils
  sway kwin-wayland qt6-wayland dbus-daemon
  gnome-shell
  libcap2-bin procps passwd
  "$@"
)

exec bash "$(dirname "$0")/install-missing.sh" "${PACKAGES[@]}"
