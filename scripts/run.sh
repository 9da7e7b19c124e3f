#!/usr/bin/env bash
# Installs what is missing, builds Talvex and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
if [[ -x build/app/talvex ]]; then
  exec build/app/talvex
fi
echo "build/app/talvex was not built (is TALVEX_GUI off?)" >&2
exit 1
