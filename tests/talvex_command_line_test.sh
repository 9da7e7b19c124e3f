#!/usr/bin/env bash
# The command line of the real program:
#   - --help and --version answer without any display, and the version is the project's;
#   - Qt's standard options reach Qt, and what Qt does not take is refused with exit code 2;
#   - with only Qt's options the program starts and ends on SIGTERM with exit code 0;
#   - --restore puts back what a record of an ended copy holds, one line a change, and
#     ends with 1 when it has no folder for the record or could not read or put back
#     something; without a runtime folder the record folder is $XDG_STATE_HOME/talvex.
# Usage: talvex_command_line_test.sh path/to/talvex expected-version
set -uo pipefail
bin=$1
version=$2

scratch=$(mktemp -d)
pid=
cleanup() {
  [[ -n $pid ]] && kill -KILL "$pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$scratch/config XDG_RUNTIME_DIR=$scratch/run
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
# Runs the program with the given arguments; sets out, err and rc.
run() {
  out=$(timeout 20 "$bin" "$@" 2>"$scratch/err")
  rc=$?
  err=$(<"$scratch/err")
}

for args in "--version" "-v" "--version --help"; do
  run $args
  [[ $rc -eq 0 && $out == "talvex $version" && -z $err ]] ||
    fail "'$args': rc $rc, out '$out', err '$err' (wanted 'talvex $version')"
done

for args in "--help" "-h" "-platform offscreen --help"; do
  run $args
  [[ $rc -eq 0 && -z $err ]] || fail "'$args': rc $rc, err '$err'"
  for word in "Usage: talvex" "-h, --help" "-v, --version" "-platform"; do
    [[ $out == *"$word"* ]] || fail "'$args' does not mention '$word'"
  done
done

# args | the start of the message on the standard error
while IFS='|' read -r args message; do
  run $args
  [[ $rc -eq 2 && -z $out && $err == "$message"* && $err == *"talvex --help"* ]] ||
    fail "'$args': rc $rc, err '$err' (wanted exit code 2 and '$message')"
done <<'EOF'
--version=1|talvex: option '--version' takes no value
-platform offscreen --bogus|talvex: unknown option '--bogus'
-platform offscreen -reverse -style Fusion stray|talvex: unexpected argument 'stray'
-platform offscreen -- --help|talvex: unexpected argument '--help'
--bogus|talvex: unknown option '--bogus'
stray|talvex: unexpected argument 'stray'
-platform|talvex: option '-platform' needs a value
EOF

# --restore. A record of a copy that ended (no process has its pid and start time),
# naming a process of ours at nice 0 that the copy had "raised" from 10: it goes back.
sleep 600 &
sleeper=$!
start=$(sed 's/.*) //' "/proc/$sleeper/stat" | awk '{ print $20 }')
record=$XDG_RUNTIME_DIR/TalvexChanges-99999999-1
printf 'talvex-changes 1 %s\n%s %s %s 2 10 0\n' "$(</proc/sys/kernel/random/boot_id)" \
  "$sleeper" "$start" "$sleeper" >"$record"
run --restore
[[ $rc -eq 0 && $out == "put back: pid $sleeper thread $sleeper nice 10" && -z $err ]] ||
  fail "--restore with a record: rc $rc, out '$out', err '$err'"
[[ $(ps -o nice= -p "$sleeper" | tr -d ' ') == 10 ]] || fail "--restore did not put nice 10 back"
[[ -e $record ]] && fail "--restore left the record behind"
run --restore
[[ $rc -eq 0 && -z $out ]] || fail "--restore with nothing on record: rc $rc, out '$out'"
kill -KILL "$sleeper"
# A record that cannot be read stays, and --restore says it could not put it back.
mkdir "$XDG_RUNTIME_DIR/TalvexChanges-99999999-2"
run --restore
[[ $rc -eq 1 && $err == *"could not be put back"* ]] ||
  fail "--restore with an unreadable record: rc $rc, err '$err'"
rmdir "$XDG_RUNTIME_DIR/TalvexChanges-99999999-2"
# No runtime folder: the state folder, made private; a link in its place is refused.
(
  unset XDG_RUNTIME_DIR
  export XDG_STATE_HOME=$scratch/state
  run --restore
  [[ $rc -eq 0 && $(stat -c %a "$XDG_STATE_HOME/talvex") == 700 ]] ||
    fail "--restore without a runtime folder: rc $rc, err '$err'"
  rmdir "$XDG_STATE_HOME/talvex" && mkdir "$scratch/theirs" &&
    ln -s "$scratch/theirs" "$XDG_STATE_HOME/talvex"
  run --restore
  [[ $rc -eq 1 && $err == *"no folder for the record"* ]] ||
    fail "--restore with a link for a folder: rc $rc, err '$err'"
  ((failures == 0))
) || failures=$((failures + 1))

# Qt's options alone: the program runs until it is told to end.
"$bin" -platform offscreen -style Fusion -reverse >"$scratch/out" 2>&1 &
pid=$!
# Running means past the options: Qt took them and the program installed its handler for
# SIGTERM. A refusal ends it before that. Until it runs the program, a background start is
# a copy of the shell, with the shell's handlers.
program=$(readlink -f "$bin")
catches_term() {
  local mask
  [[ $(readlink "/proc/$1/exe" 2>/dev/null) == "$program" ]] || return 1
  mask=$(awk '/^SigCgt:/ {print $2}' "/proc/$1/status" 2>/dev/null) || return 1
  [[ -n $mask ]] && (((16#$mask >> 14) & 1))
}
for _ in $(seq 200); do catches_term "$pid" && break; kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
if catches_term "$pid"; then
  kill -TERM "$pid"
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
  wait "$pid"
  rc=$?
  pid=
  [[ $rc -eq 0 ]] || fail "exit code $rc after SIGTERM with Qt's options"
elif kill -0 "$pid" 2>/dev/null; then
  fail "no handler for SIGTERM within 10 s with Qt's options"
else
  wait "$pid"
  fail "ended by itself with Qt's options (exit code $?): $(<"$scratch/out")"
  pid=
fi

if ((failures > 0)); then exit 1; fi
echo "PASS"
