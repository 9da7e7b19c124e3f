#!/usr/bin/env bash
# Installs what is missing, builds Talvex twice (warnings as errors; and with
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs every test in both builds;
# as root, also builds the Debian package, installs it, runs it and purges it; builds the
# fuzz targets with clang and runs each for a short, fixed time; then cross-builds the
# Windows program and runs its tests under Wine.
# Each stage's duration is printed at the end, also when a stage fails.
set -euo pipefail
cd "$(dirname "$0")/.."

STAGES=()
stage_name=""
stage_start=0
stage() {
  stage_done
  stage_name=$1
  stage_start=$SECONDS
  echo "== $stage_name"
}
stage_done() {
  if [[ -n $stage_name ]]; then
    STAGES+=("$(printf '%-11s %5d s' "$stage_name" $((SECONDS - stage_start)))")
  fi
  stage_name=""
}
report_stages() {
  local status=$?
  if [[ -n $stage_name ]]; then
    STAGES+=("$(printf '%-11s %5d s  (failed)' "$stage_name" $((SECONDS - stage_start)))")
  fi
  echo "== stage durations"
  printf '%s\n' "${STAGES[@]}"
  printf '%-11s %5d s\n' total "$SECONDS"
  return "$status"
}
trap report_stages EXIT

stage install
bash scripts/deps.sh
bash scripts/deps-windows.sh

JOBS=$(nproc)
# A compiler cache makes the next run cheap (every build of this script, the package's and
# the Windows one included: CMake takes the launcher from the environment);
# CCACHE_BASEDIR keeps the cache's keys free of the clone's own path.
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=$PWD CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
fi
configure() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVEX_WERROR=ON "$@"
}
# Every test passes on its first run: no retries. Timing-dependent suites are proven
# by scripts/stress-tests.sh.
run_tests() {
  ctest --test-dir "$1" --output-on-failure -j "$JOBS" --timeout 600
}

stage build
configure build -DTALVEX_BENCH=ON
cmake --build build -j "$JOBS"
stage tests
run_tests build
stage sanitizers
configure build-sanitize -DTALVEX_SANITIZE=ON
cmake --build build-sanitize -j "$JOBS"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_tests build-sanitize
# The Debian package as a user meets it: it installs and purges a package, so only as root
# (CI), where it uses the test program of the first build.
stage package
if [[ $(id -u) -eq 0 ]]; then
  echo "Debian package: build, lint, install, boost, purge"
  bash scripts/deps.sh lintian appstream
  bash scripts/package.sh build-package
  bash tests/talvex_package_test.sh build-package/talvex_*.deb build/tests/linux/talvex_test_child \
    build/tests/linux/plugins
else
  echo "Debian package: skipped (it installs and purges the package; run as root)"
fi
# Each fuzz target starts from its seeds in fuzz/corpus/NAME; what it finds on the way
# goes to a scratch folder, never into the repository. A crash, a sanitizer report or a
# broken check stops the script (once the targets beside it are done) and leaves the
# input in build-fuzz/fuzz/.
FUZZ_SECONDS=${TALVEX_FUZZ_SECONDS:-25}
# One fuzz target for its fixed time in a scratch folder; its log in build-fuzz/fuzz/.
fuzz_one() {
  local dir=$1 name=$2 found status=0
  found=$(mktemp -d)
  "$dir/fuzz/talvex_fuzz_$name" -max_total_time="$FUZZ_SECONDS" -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$dir/fuzz/$name-" \
    "$found" "fuzz/corpus/$name" >"$dir/fuzz/$name.log" 2>&1 || status=$?
  rm -rf "$found"
  return "$status"
}
# The targets run side by side, one per processor: each runs single-threaded for a
# fixed time, so running them one after another only made the stage longer.
run_fuzzers() {
  local dir=build-fuzz seeds name failed=0
  local -a names=() pids=()
  configure "$dir" -DCMAKE_CXX_COMPILER=clang++ -DTALVEX_FUZZ=ON -DTALVEX_TESTS=OFF \
    -DTALVEX_GUI=OFF
  cmake --build "$dir" -j "$JOBS" --target talvex_fuzzers
  for seeds in fuzz/corpus/*/; do names+=("$(basename "$seeds")"); done
  for ((i = 0; i < ${#names[@]}; i += JOBS)); do
    pids=()
    for name in "${names[@]:i:JOBS}"; do
      fuzz_one "$dir" "$name" &
      pids+=("$!")
    done
    for j in "${!pids[@]}"; do
      name=${names[i + j]}
      if wait "${pids[j]}"; then
        echo "$name: $(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "$dir/fuzz/$name.log")"
      else
        tail -n 40 "$dir/fuzz/$name.log"
        echo "FAIL: fuzz target $name (input kept as $dir/fuzz/$name-*)" >&2
        failed=1
      fi
    done
    ((failed == 0)) || return 1
  done
}
stage fuzz
run_fuzzers
stage Windows
bash scripts/test-windows.sh
stage_done
echo "All tests passed."
