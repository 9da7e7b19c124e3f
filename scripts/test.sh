#!/usr/bin/env bash
# Installs what is missing, builds Talvex twice (warnings as errors; and with
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs every test in both builds;
# as root, also builds the Debian package, installs it, runs it and purges it; builds the
# fuzz targets with clang and runs each for a short, fixed time; then cross-builds the
# Windows program and runs its tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

JOBS=$(nproc)
run_build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVEX_WERROR=ON "$@"
  cmake --build "$dir" -j "$JOBS"
  # A test that fails is run once more: the desktop tests depend on timing, and a
  # failure that repeats is a failure.
  ctest --test-dir "$dir" --output-on-failure -j "$JOBS" --timeout 600 --repeat until-pass:2
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
  bash tests/talvex_package_test.sh build-package/talvex_*.deb build/tests/linux/talvex_test_child \
    build/tests/linux/plugins
else
  echo "== Debian package: skipped (it installs and purges the package; run as root)"
fi
# Each fuzz target starts from its seeds in fuzz/corpus/NAME; what it finds on the way
# goes to a scratch folder, never into the repository. A crash, a sanitizer report or a
# broken check stops the script and leaves the input in build-fuzz/fuzz/.
FUZZ_SECONDS=${TALVEX_FUZZ_SECONDS:-25}
run_fuzzers() {
  local dir=build-fuzz seeds name found log
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DTALVEX_WERROR=ON -DTALVEX_FUZZ=ON -DTALVEX_TESTS=OFF -DTALVEX_GUI=OFF
  cmake --build "$dir" -j "$JOBS" --target talvex_fuzzers
  for seeds in fuzz/corpus/*/; do
    name=$(basename "$seeds")
    found=$(mktemp -d)
    log="$dir/fuzz/$name.log"
    if ! "$dir/fuzz/talvex_fuzz_$name" -max_total_time="$FUZZ_SECONDS" -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$dir/fuzz/$name-" \
      "$found" "$seeds" >"$log" 2>&1; then
      tail -n 40 "$log"
      rm -rf "$found"
      echo "FAIL: fuzz target $name (input kept as $dir/fuzz/$name-*)" >&2
      return 1
    fi
    rm -rf "$found"
    echo "$name: $(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "$log")"
  done
}
echo "== fuzz targets"
run_fuzzers
echo "== Windows build (MinGW-w64) and tests under Wine"
bash scripts/test-windows.sh
echo "All tests passed."
