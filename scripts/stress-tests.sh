#!/usr/bin/env bash
# Proves the tests that depend on timing: runs each such suite 20 times in a row
# (stopping at its first failure) while two busy loops of the test user's own compete
# for the processors, and reports each suite's result. Run after a build of the tests.
# Usage: scripts/stress-tests.sh [build-dir [runs [suite...]]]
#   suites: x11 sway kernel compositors instance program (default: all)
# As root the busy loops run as the test user the Linux tests use (talvex-test), else
# as the caller. Ends only the loops it started.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

build=${1:-build}
runs=${2:-20}
shift $(($# < 2 ? $# : 2))
suites=("$@")
((${#suites[@]})) || suites=(x11 sway kernel compositors instance program)

declare -A pattern=(
  # The X11 desktop: Xvfb and openbox of the tests' own, the engine on them.
  [x11]='^(X11ForegroundSourceTest|X11ForegroundSourceServer|X11WindowTest|X11Connection|EngineLinuxTest)\.'
  # A headless sway with Wayland windows of the test's own.
  [sway]='^SwayDesktop\.'
  # Real processes, threads, session groups and CPU cgroups of the kernel.
  [kernel]='^(LinuxProcessTest|LinuxClockTest)\.'
  # The other desktops through fake sockets and a private session bus.
  [compositors]='^(SwaySource[A-Za-z]*|HyprlandSourceTest|HyprlandInstance|KWinSourceTest|GnomeSource|ForegroundChoice)\.'
  # Locks held by real copies of the program, started and ended.
  [instance]='^(LinuxSingleInstanceTest|LinuxInstanceStartTest)\.'
  # The real program on a display of its own, ended every way it can end.
  [program]='^talvex_(real_session|undoes_its_changes|settings_survive_kills|ends_on_termination_signals|command_line)$'
)

# The tests start their programs at the priority they inherit and expect the default:
# started under nice, the script puts itself back first (as root), or says so.
if (($(nice) != 0)); then
  if [[ $(id -u) -eq 0 ]]; then
    renice -n 0 -p $$ >/dev/null
  else
    echo "run this without nice: the tests expect to start at the default priority" >&2
    exit 2
  fi
fi

user=""
if [[ $(id -u) -eq 0 ]]; then
  user=talvex-test
  id -u "$user" >/dev/null 2>&1 ||
    /usr/sbin/useradd --system --no-create-home --shell /usr/sbin/nologin "$user" || exit 1
fi
loops=()
start_loop() {
  if [[ -n $user ]]; then
    setpriv --reuid="$user" --regid="$user" --clear-groups \
      bash -c 'while :; do :; done' &
  else
    bash -c 'while :; do :; done' &
  fi
  loops+=("$!")
}
stop_loops() {
  ((${#loops[@]})) || return 0
  kill "${loops[@]}" 2>/dev/null
  wait "${loops[@]}" 2>/dev/null
  loops=()
}
trap stop_loops EXIT
start_loop
start_loop

results=()
failed=0
for suite in "${suites[@]}"; do
  regex=${pattern[$suite]:-}
  if [[ -z $regex ]]; then
    echo "unknown suite: $suite" >&2
    exit 2
  fi
  count=$(ctest --test-dir "$build" -N -R "$regex" | sed -n 's/^Total Tests: //p')
  echo "== $suite: $count tests, up to $runs runs each"
  start=$SECONDS
  log="$build/stress-$suite.log"
  if ctest --test-dir "$build" -R "$regex" --repeat until-fail:"$runs" --output-on-failure \
    --timeout 600 >"$log" 2>&1; then
    result="passed $runs of $runs runs"
  else
    failed=1
    result="FAILED: $(grep -E '^\s*[0-9]+ - .*\((Failed|Timeout|SEGFAULT|Subprocess|Exception)' "$log" |
      sed 's/^ *//' | tr '\n' ';')"
  fi
  grep -E 'tests passed|tests failed' "$log" | tail -n 1
  results+=("$(printf '%-9s %3s tests  %5d s  %s' "$suite" "${count:-0}" $((SECONDS - start)) "$result")")
done
stop_loops

echo "== stress results (two busy loops beside the tests; logs in $build/stress-*.log)"
printf '%s\n' "${results[@]}"
exit "$failed"
