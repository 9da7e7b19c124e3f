#!/usr/bin/env bash
# Installs, with apt-get, what the Windows build needs on Debian 12 that is missing:
# the MinGW-w64 cross compiler (posix threads), Wine to run its programs, NSIS for the
# installer, librsvg2-bin and icoutils to turn the SVG artwork into icons and pictures,
# zip, and the X tools of the run on a private display.
set -euo pipefail

PACKAGES=(
  cmake ninja-build googletest
  g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine wine64
  nsis zip librsvg2-bin icoutils
  xvfb openbox xdotool x11-utils imagemagick
)

exec bash "$(dirname "$0")/install-missing.sh" "${PACKAGES[@]}"
