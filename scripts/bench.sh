#!/usr/bin/env bash
# Builds the benchmarks and runs them all (build-bench/bench/talvex_bench_*): among them
# the per-process sampling cost beside its floor, the contention benchmark and the time
# from a focus change to the new front's raised priority (on an Xvfb of its own). Run
# as root, or as a user whose priorities may be raised (see README), for the boost to
# take effect. Extra arguments go to every program (for example --benchmark_filter=...).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALVEX_BENCH=ON -DTALVEX_TESTS=OFF
cmake --build build-bench -j "$(nproc)"
for program in build-bench/bench/talvex_bench_*; do
  [[ ${program##*/} == talvex_bench_poller ]] && continue  # the cost benchmark's helper
  echo "== ${program##*/}"
  "$program" "$@"
done
echo "== talvex_cost.sh"
bash bench/talvex_cost.sh build-bench/app/talvex build-bench/bench/talvex_bench_poller
