#!/usr/bin/env bash
# Installs what is missing, builds Talvex twice (warnings as errors; and with
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs every test in both builds;
# as root, also builds the Debian package, installs it, runs it and purges it.
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
# The Debian package as a user meets it: it installs and purges a package, so only as root
# (CI), where it uses the test program of the first build.
if [[ $(id -u) -eq 0 ]]; then
  echo "== Debian package: build, lint, install, boost, purge"
  bash scripts/deps.sh lintian appstream
  bash scripts/package.sh build-package
  bash tests/talvex_package_test.sh build-package/talvex_*.deb build/tests/linux/talvex_test_child
else
  echo "== Debian package: skipped (it installs and purges the package; run as root)"
fi
echo "All tests passed."
