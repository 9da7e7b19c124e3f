#!/usr/bin/env bash
# Installs what is missing, builds Talvex twice (warnings as errors; and with
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs every test in both builds;
# then cross-builds the Windows program and runs its tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

JOBS=$(nproc)
run_build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVEX_WERROR=ON "$@"
  cmake --build "$dir" -j "$JOBS"
  ctest --test-dir "$dir" --output-on-failure -j "$JOBS" --timeout 600
}

echo "== build and test"
run_build build -DTALVEX_BENCH=ON
echo "== sanitizer build and test"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_build build-sanitize -DTALVEX_SANITIZE=ON
echo "== Windows build (MinGW-w64) and tests under Wine"
bash scripts/test-windows.sh
echo "All tests passed."
