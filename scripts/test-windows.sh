#!/usr/bin/env bash
# The Windows part of the tests: builds talvex.exe and the test programs with
# MinGW-w64 (warnings as errors), runs every test under Wine on a private X display,
# and builds the installer and the zip. Usage: scripts/test-windows.sh [build-dir]
# (default build-win).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps-windows.sh
build=${1:-build-win}
start=$SECONDS
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DTALVEX_WERROR=ON
cmake --build "$build" -j "$(nproc)"

source scripts/wine-session.sh
wine_session_start "$build"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 300
wine_session_stop

echo "Windows part: $((SECONDS - start)) s"
