#!/usr/bin/env bash
# The real program, run as an unprivileged user with the right to raise (cap_sys_nice on
# a copy of its helper talvex-levers beside a copy of it, as the package grants it),
# puts back what it changed at every end, and only that:
#   1. it raises the program in front (and the program's session group) and lowers a
#      busy background program; killed with SIGKILL, the next start puts both back
#      before its first tick;
#   2. ended by SIGTERM right after a raise (within the kernel's 100 ms for group
#      changes), the session group is back as well;
#   3. when its X server dies, it puts back what it lowered before it ends;
#   4. idle processes at nice 5 and 19 that it never changed keep their values;
#   5. programs in CPU cgroups of their own (delegated to the user): the front's group
#      weight is raised, a busy one's lowered, and --restore puts both back;
#   6. a forged record (the user may write it) lifts nothing past the floor (-15),
#      never clears the reset-on-fork flag Talvex set, never touches another user's
#      process, and --restore then ends with 1.
# Must run as root: it creates the test user talvex-test. Ends only what it started.
# Usage: talvex_undo_test.sh path/to/talvex path/to/talvex_test_child path/to/talvex-levers
set -uo pipefail
bin=$1
child=$2
helper=$3
if [[ $(id -u) -ne 0 ]]; then
  echo "SKIP: must run as root to prepare the test user"
  exit 77
fi
for tool in Xvfb openbox xdotool setcap setpriv; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

user=talvex-test
id -u "$user" >/dev/null 2>&1 ||
  /usr/sbin/useradd --system --no-create-home --shell /usr/sbin/nologin "$user" || exit 1
# No "talvex" in the folder's name: a first-start rule would match the test programs.
scratch=$(mktemp -d /tmp/undo-test.XXXXXX)
chmod 755 "$scratch"
cp "$bin" "$scratch/prog"
cp "$helper" "$scratch/talvex-levers"
cp "$(dirname "$bin")"/*.lng "$scratch/" 2>/dev/null
cp "$child" "$scratch/testapp"
mkdir -p "$scratch/run" "$scratch/config/Kessaly"
conf=$scratch/config/Kessaly/Talvex.conf
settings() {
  cat >"$conf" <<EOF
[Talvex]
BackgroundProcessObservation.Enabled=$1
General.AutoUpdate=False
General.Language=EN
General.RefreshRate=100
EOF
}
settings True
chown -R "$user:" "$scratch"
chmod 700 "$scratch/run"
# After the chown, which takes file capabilities away.
setcap cap_sys_nice+ep "$scratch/talvex-levers" || { echo "setcap failed" >&2; exit 1; }
mkdir -p /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix

source "$(dirname "$0")/x_session_lib.sh"
pick_display 140
# Runs a command in the background as the test user, in its own folders. Called with
# "&": the exec makes the background job the command itself, so $! is its pid.
as_user() {
  exec setpriv --reuid="$user" --regid="$user" --init-groups \
    env HOME="$scratch" XDG_RUNTIME_DIR="$scratch/run" XDG_CONFIG_HOME="$scratch/config" \
    DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb "$@"
}

group_of() { awk '{ print $3 }' "/proc/$1/autogroup" 2>/dev/null; }
group_is() { [[ -z $grouping || $(group_of "$1") == "$2" ]]; }
# Starts a test program as the user at nice $1; its window id (if any) in $window.
start_app() {
  local nice=$1 fifo=$scratch/ready.$RANDOM
  shift
  mkfifo "$fifo"
  as_user nice -n "$nice" "$scratch/testapp" "$@" >"$fifo" 2>/dev/null &
  app=$!
  pids+=("$app")
  read -r -t 20 _ window <"$fifo" || fail "test program $* did not start"
  rm -f "$fifo"
}
start_talvex() {
  as_user "$scratch/prog" >/dev/null 2>&1 &
  talvex=$!
  pids+=("$talvex")
  wait_for 100 xdotool search --onlyvisible --name '^Talvex 1\.' >/dev/null ||
    fail "Talvex did not start"
}
activate() { xdotool windowactivate --sync "$1" >/dev/null 2>&1; }
ended() { ! kill -0 "$1" 2>/dev/null; }

grouping=""
[[ $(cat /proc/sys/kernel/sched_autogroup_enabled 2>/dev/null) == 1 ]] && grouping=1

start_x as_user
start_app 0 session-window Front
front=$app front_window=$window
start_app 0 window Neutral
neutral=$app neutral_window=$window
start_app 0 busy 2
busy=$app
start_app 5 sleep
five=$app
start_app 19 sleep
nineteen=$app
[[ -n $grouping ]] && ! group_is "$front" 0 && grouping=""  # no group of its own here

# 1. Raise and lower, then SIGKILL: "--restore" puts both back; once more, and the next
# start does.
raise_lower_kill() {
  start_talvex
  activate "$front_window" || fail "could not activate the front window"
  wait_for 100 nice_is "$front" -10 || fail "the program in front was not raised"
  wait_for 50 group_is "$front" -10 || fail "the session group of the program in front was not raised"
  wait_for 150 nice_is "$busy" 19 || fail "the busy program was not lowered"
  kill -KILL "$talvex"
  wait_for 50 ended "$talvex" || fail "Talvex outlived SIGKILL"
  nice_is "$front" -10 || fail "the raise did not outlive the kill (nothing to test)"
  ls "$scratch/run"/TalvexChanges-* >/dev/null 2>&1 || fail "no record of the changes was left"
}
raise_lower_kill
restored=$(as_user "$scratch/prog" --restore) || fail "--restore ended with $?"
[[ $restored == *"put back: pid $front thread $front nice 0"* ]] ||
  fail "--restore did not say it put the front program back: '$restored'"
nice_is "$front" 0 || fail "after --restore the front program is at $(nice_of "$front")"
group_is "$front" 0 || fail "after --restore the group is at $(group_of "$front")"
nice_is "$busy" 0 || fail "after --restore the busy program is at $(nice_of "$busy")"
ls "$scratch/run"/TalvexChanges-* >/dev/null 2>&1 && fail "--restore left the record behind"
echo "SIGKILL: --restore put everything back"

# 6. A forged record of an ended copy.
resets() { chrt -p "$1" 2>/dev/null | grep -q RESET_ON_FORK; }
start_of() { sed 's/.*) //' "/proc/$1/stat" | awk '{ print $20 }'; }
sleep 600 &
roots=$!
pids+=("$roots")
had_flag=""
resets "$front" && had_flag=1
forged=$scratch/run/TalvexChanges-99999999-1
{
  echo "talvex-changes 1 $(</proc/sys/kernel/random/boot_id)"
  echo "$front $(start_of "$front") $front 3 0 1"
  echo "$front $(start_of "$front") $front 2 -20 0"
  [[ -n $grouping ]] &&
    echo "$front $(start_of "$front") $(sed 's/^[^-]*-\([0-9]*\).*/\1/' "/proc/$front/autogroup") 4 -20 0"
  echo "$roots $(start_of "$roots") $roots 2 -20 0"
} >"$forged"
chown "$user:" "$forged"
restored=$(as_user "$scratch/prog" --restore)
rc=$?
[[ $rc -eq 1 ]] || fail "--restore of a forged record ended with $rc, not 1"
nice_is "$front" -15 || fail "a forged record set the front program to $(nice_of "$front")"
group_is "$front" -15 || fail "a forged record set the session group to $(group_of "$front")"
nice_is "$roots" 0 || fail "a forged record set root's process to $(nice_of "$roots")"
[[ -z $had_flag ]] || resets "$front" || fail "a forged record cleared the reset-on-fork flag"
[[ $restored == *"pid $front thread $front nice -15"* ]] ||
  fail "--restore of a forged record said '$restored'"
rm -f "$forged"
renice -n 0 -p "$front" >/dev/null
[[ -n $grouping ]] && echo 0 >"/proc/$front/autogroup"
echo "Forged record: lifted only to the floor, flag kept, root's process untouched, exit 1"
activate "$neutral_window"
settings True
raise_lower_kill
settings False  # the killed copy saved nothing; the next one must not lower again
activate "$neutral_window"
start_talvex
# The record is put back one change after the other: each is waited for.
wait_for 50 nice_is "$front" 0 || fail "after the restart the front program is at $(nice_of "$front")"
wait_for 50 group_is "$front" 0 || fail "after the restart the group is at $(group_of "$front")"
wait_for 50 nice_is "$busy" 0 || fail "after the restart the busy program is at $(nice_of "$busy")"
echo "SIGKILL: the next start put everything back"

# 2. SIGTERM right after a raise: the group's undo waits out the kernel's limit.
activate "$front_window"
wait_for 100 nice_is "$front" -10 || fail "the program in front was not raised again"
kill -TERM "$talvex"
wait_for 100 ended "$talvex" || fail "Talvex did not end on SIGTERM"
nice_is "$front" 0 || fail "after SIGTERM the front program is at $(nice_of "$front")"
wait_for 5 group_is "$front" 0 || fail "after SIGTERM the group is at $(group_of "$front")"
nice_is "$neutral" 0 || fail "after SIGTERM the neutral program is at $(nice_of "$neutral")"
ls "$scratch/run"/TalvexChanges-* >/dev/null 2>&1 && fail "a clean end left a record behind"
echo "SIGTERM: everything back, no record left"

# 3. The X server dies (and every window's program with it): Talvex puts back what it
# lowered before it ends.
settings True
start_talvex
activate "$neutral_window"
wait_for 150 nice_is "$busy" 19 || fail "the busy program was not lowered (3)"
kill -TERM "$xvfb"
wait_for 100 ended "$talvex" || fail "Talvex did not end when its X server died"
wait_for 100 gone "$xvfb" || fail "the X server did not end"
nice_is "$busy" 0 || fail "after the X server's death the busy program is at $(nice_of "$busy")"
echo "X server died: everything back"

# 4. Never Talvex's: left alone throughout.
nice_is "$five" 5 || fail "an idle process at nice 5 is now at $(nice_of "$five")"
nice_is "$nineteen" 19 || fail "an idle process at nice 19 is now at $(nice_of "$nineteen")"
echo "Idle processes at nice 5 and 19 kept their values"
[[ -z $grouping ]] && echo "(the kernel does not group by session here: groups not checked)"

# 5. Programs in CPU cgroups of their own, in a subtree delegated to the user (as a user
# manager delegates one): the front's group is raised and a busy program's lowered;
# after SIGKILL, --restore puts both weights back.
tree="" weight=""
if [[ -e /sys/fs/cgroup/cpu/cpu.shares ]]; then
  tree=/sys/fs/cgroup/cpu/talvex-undo-$$ weight=cpu.shares
elif grep -qw cpu /sys/fs/cgroup/cgroup.controllers 2>/dev/null; then
  echo +cpu >/sys/fs/cgroup/cgroup.subtree_control
  tree=/sys/fs/cgroup/talvex-undo-$$ weight=cpu.weight
fi
if [[ -z $tree ]]; then
  echo "(no CPU cgroups to delegate here: group weights not checked)"
  exit 0
fi
remove_tree() { rmdir "$tree"/* "$tree" 2>/dev/null || true; }
trap 'cleanup; remove_tree' EXIT
mkdir "$tree" || fail "could not make $tree"
[[ $weight == cpu.weight ]] && echo +cpu >"$tree/cgroup.subtree_control"
mkdir "$tree/front" "$tree/busy"
chown -R "$user:" "$tree"
weight_of() { cat "$tree/$1/$weight"; }
raised() { [[ $(weight_of "$1") -gt $plain ]]; }
lowered() { [[ $(weight_of "$1") -lt $plain ]]; }
plain=$(weight_of front)
pick_display 150
start_x as_user
start_app 0 session-window GroupFront
group_front=$app group_window=$window
echo "$group_front" >"$tree/front/cgroup.procs"
start_app 0 busy 2
echo "$app" >"$tree/busy/cgroup.procs"
start_talvex
activate "$group_window" || fail "could not activate the window in its own group"
wait_for 100 raised front || fail "the front's group stayed at $(weight_of front)"
wait_for 150 lowered busy || fail "the busy group stayed at $(weight_of busy)"
kill -KILL "$talvex"
wait_for 50 ended "$talvex" || fail "Talvex outlived SIGKILL"
(as_user "$scratch/prog" --restore) || fail "--restore ended with $?"
[[ $(weight_of front) == "$plain" && $(weight_of busy) == "$plain" ]] ||
  fail "after --restore the groups are at $(weight_of front) and $(weight_of busy), not $plain"
echo "CPU groups: raised and lowered by weight; --restore put both back"
exit 0
