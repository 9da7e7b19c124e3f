#!/usr/bin/env bash
# Talvex's own CPU cost while it watches many idle processes, beside the floor: a minimal
# poller (bench/MinimalPoller.cpp: one pread per process and tick on kept descriptors,
# a rescan every 17th tick) measured in the same run, on the same processes.
#
# For each count of idle processes (default: 400 and 3000) it starts its own X server,
# window manager, notification area (trayer) and that many idle processes, then the real
# program (hidden in the tray, default settings, 500 ms ticks) and the poller, waits for both to settle and
# reads both programs' CPU time over the measuring window. Reports % of one core and the
# ratio to the poller, Talvex's wake-ups per second (context switches of all its threads)
# and its resident memory; then the same with one busy program of the user's running.
# Goals: idle, at most 0.3 times the poller; with the busy program, at most 1.0 times;
# at most 3 wake-ups a second while idle and hidden. The load average is printed beside
# each figure: on a shared machine, repeat a figure taken under high load.
#
# As root everything runs as the user talvex-test (created if missing), as a desktop
# user would. Ends only what it started, by pid.
# Usage: talvex_cost.sh path/to/talvex path/to/talvex_bench_poller [COUNT...]
# Environment: MEASURE_SECONDS (default 30), SETTLE_SECONDS (default 10); APP_GROUPS=1
# (as root, with a cgroup2 hierarchy) runs the idle processes, 50 to a group, and the
# busy one in per-application groups of the test user's, as a systemd user manager
# would (app.slice/app-*.scope): the rows then say "in groups"; PERF_OUT=FILE
# also records a profile of Talvex during the window (perf, from linux-perf) and writes
# its top lines to FILE.COUNT (the profiler's own cost then counts in the figure).
set -uo pipefail
bin=$1
poller=$2
shift 2
counts=("$@")
[[ ${#counts[@]} -eq 0 ]] && counts=(400 3000)
measure=${MEASURE_SECONDS:-30}
settle=${SETTLE_SECONDS:-10}
for tool in Xvfb openbox xdotool setpriv; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

scratch=$(mktemp -d /tmp/cost-bench.XXXXXX)
chmod 755 "$scratch"
source "$(dirname "$0")/../tests/x_session_lib.sh"
cp "$bin" "$scratch/prog"
cp "$(dirname "$bin")"/*.lng "$scratch/" 2>/dev/null
cp "$poller" "$scratch/poller"
mkdir -p "$scratch/run" "$scratch/config/Kessaly"
cat >"$scratch/config/Kessaly/Talvex.conf" <<EOF
[Talvex]
General.AutoUpdate=False
General.Language=EN
EOF
chmod 700 "$scratch/run"

run_as=()
if [[ $(id -u) -eq 0 ]]; then
  user=talvex-test
  id -u "$user" >/dev/null 2>&1 ||
    /usr/sbin/useradd --system --no-create-home --shell /usr/sbin/nologin "$user" || exit 1
  chown -R "$user:" "$scratch"
  run_as=(setpriv --reuid="$user" --regid="$user" --init-groups)
  mkdir -p /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix
fi
as_user() {
  exec "${run_as[@]}" env HOME="$scratch" XDG_RUNTIME_DIR="$scratch/run" \
    XDG_CONFIG_HOME="$scratch/config" DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb "$@"
}

# utime + stime of a process, in clock ticks.
cpu_ticks() { awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)

# Context switches of every thread of a process, one line per thread: each one is a
# wake-up or a preemption.
switches() {
  local task
  for task in /proc/"$1"/task/*; do
    awk -v tid="${task##*/}" '/ctxt_switches/ { n += $2 } END { print tid, n + 0 }' \
      "$task/status" 2>/dev/null
  done
}
# The switches between two such lists, of the threads in both: a thread that ended in
# between (Qt's pool threads end after a while) takes its count along.
switches_between() {
  awk 'NR == FNR { before[$1] = $2; next } ($1 in before) { n += $2 - before[$1] }
       END { print n + 0 }' <(printf '%s\n' "$1") <(printf '%s\n' "$2")
}
rss_kib() { awk '/^VmRSS/ { print $2 }' "/proc/$1/status"; }

# Measures Talvex and the poller over the window: one line of the table.
measure_line() {
  local label=$1 t0 p0 w0 s0 t1 p1 w1 s1 woken
  kill -0 "$talvex" 2>/dev/null || fail "Talvex ended during the run"
  t0=$(cpu_ticks "$talvex") p0=$(cpu_ticks "$floor") w0=$(switches "$talvex") s0=$(date +%s.%N)
  if [[ -n ${PERF_OUT:-} ]]; then
    perf record -q -g -o "$scratch/perf.data" -p "$talvex" -- sleep "$measure" >/dev/null 2>&1
    perf report -i "$scratch/perf.data" --no-children --stdio --percent-limit 1.5 -g none \
      2>/dev/null | grep -v '^#' | grep -v '^$' | head -40 >"$PERF_OUT.$label"
    cp "$scratch/perf.data" "$PERF_OUT.$label.data"
  else
    sleep "$measure"
  fi
  t1=$(cpu_ticks "$talvex") p1=$(cpu_ticks "$floor") w1=$(switches "$talvex") s1=$(date +%s.%N)
  woken=$(switches_between "$w0" "$w1")
  awk -v c="$label" -v t=$((t1 - t0)) -v p=$((p1 - p0)) -v w="$woken" -v hz="$hz" \
    -v s0="$s0" -v s1="$s1" -v rss="$(rss_kib "$talvex")" \
    -v load="$(cut -d' ' -f1-3 /proc/loadavg)" 'BEGIN {
      secs = s1 - s0; tp = 100 * t / hz / secs; pp = 100 * p / hz / secs
      printf "%-18s %-9.2f %-9.2f %-6s %-9.1f %-8d %s\n", c, tp, pp,
        (p > 0 ? sprintf("%.2f", t / p) : "-"), w / secs, rss, load }'
}

# Per-application groups of the test user's (APP_GROUPS=1): the app.slice folder, or
# empty when there is none. The folders made are taken away at the end, deepest first.
app_slice=
made_groups=()
if [[ ${APP_GROUPS:-0} == 1 && -n ${user:-} ]]; then
  for mount in /sys/fs/cgroup /sys/fs/cgroup/unified; do
    [[ -e $mount/cgroup.controllers ]] || continue
    uid=$(id -u "$user")
    dir=$mount
    for part in user.slice "user-$uid.slice" "user@$uid.service" app.slice; do
      dir=$dir/$part
      [[ -d $dir ]] || { mkdir "$dir" && made_groups+=("$dir"); } || break
    done
    [[ -d $dir ]] && app_slice=$dir
    break
  done
  [[ -n $app_slice ]] || fail "APP_GROUPS=1: no cgroup2 hierarchy to make groups in"
  groups_cleanup() {
    local i dir
    for ((i = ${#made_groups[@]} - 1; i >= 0; i--)); do
      dir=${made_groups[i]}
      # Whatever still runs there goes back to the top first.
      [[ -f $dir/cgroup.procs ]] && while read -r p; do
        echo "$p" >"$mount/cgroup.procs" 2>/dev/null
      done <"$dir/cgroup.procs"
      rmdir "$dir" 2>/dev/null
    done
  }
  trap 'groups_cleanup; cleanup' EXIT
fi
# Moves process $2 into the group named $1 (made when missing).
into_group() {
  local dir=$app_slice/$1
  [[ -d $dir ]] || { mkdir "$dir" && made_groups+=("$dir"); }
  echo "$2" >"$dir/cgroup.procs"
}

pick_display 160
start_x as_user
# A notification area, so that Talvex sits hidden in it as on a desktop; without one
# its window would open by itself and show the status on every tick.
if command -v trayer >/dev/null; then
  as_user trayer --edge bottom --align right --widthtype request --height 28 \
    --SetDockType true >/dev/null 2>&1 &
  pids+=($!)
  sleep 1
else
  echo "note: no trayer, so no notification area: Talvex's window is on screen" >&2
fi
printf '%-18s %-9s %-9s %-6s %-9s %-8s %s\n' case talvex% poller% ratio wakeups/s rss-KiB load
for count in "${counts[@]}"; do
  fifo=$scratch/ready
  mkfifo "$fifo"
  as_user "$scratch/poller" idle "$count" >"$fifo" 2>/dev/null &
  idle=$!
  pids+=("$idle")
  read -r -t 120 _ <"$fifo" || fail "the $count idle processes did not start"
  rm -f "$fifo"
  label=$count
  if [[ -n $app_slice ]]; then
    label="$count in groups"
    n=0
    for child in $(pgrep -P "$idle"); do
      into_group "app-idle$((n / 50))-$count.scope" "$child"
      n=$((n + 1))
    done
  fi
  as_user "$scratch/prog" >/dev/null 2>&1 &
  talvex=$!
  pids+=("$talvex")
  as_user "$scratch/poller" poll 500 &
  floor=$!
  pids+=("$floor")
  sleep "$settle"
  measure_line "$label"
  # One busy program of the user's: the machine is no longer quiet, so every tick
  # samples every process (and Talvex lowers the busy one, as it would for real); in
  # groups, only the busy group's.
  as_user sh -c 'while :; do :; done' &
  busy=$!
  pids+=("$busy")
  [[ -n $app_slice ]] && into_group "app-busy-$count.scope" "$busy"
  sleep "$settle"
  measure_line "$label+busy"
  for pid in "$talvex" "$floor" "$idle" "$busy"; do kill -TERM "$pid" 2>/dev/null; done
  for pid in "$talvex" "$floor" "$idle" "$busy"; do wait "$pid" 2>/dev/null; done
done
exit 0
