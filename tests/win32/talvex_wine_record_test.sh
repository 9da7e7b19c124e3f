#!/usr/bin/env bash
# A killed talvex.exe under Wine leaves its changes on record in %LOCALAPPDATA%\Talvex,
# and `talvex.exe --restore`, or the next start, puts them back. Forged records change
# nothing: a pid another process took over, a class Talvex did not set, garbage, the
# record of a copy that still runs, a folder or an oversized file in a record's place.
# Runs inside scripts/wine-session.sh (DISPLAY, WINEPREFIX, openbox); ends only the
# processes it started, Talvex by the process id of its window.
# Usage: talvex_wine_record_test.sh TALVEX_EXE CHILD_EXE PROBE_EXE
set -euo pipefail
talvex=$1 child=$2 probe=$3
[[ -n ${DISPLAY:-} && -n ${WINEPREFIX:-} ]] || { echo "run inside scripts/wine-session.sh" >&2; exit 1; }

readonly HIGH=128 NORMAL=32 IDLE=64 TALVEX="Talvex 1.1.0"
source "$(dirname "$0")/wine_test_lib.sh"

start_talvex() {
  wine "$talvex" </dev/null >/dev/null 2>&1 &
  talvex_pid=$!
  pids+=("$talvex_pid")
  wait_priority "$TALVEX" $HIGH  # it raises itself when it has started
}
# Ends Talvex as the Task Manager does: TerminateProcess, no chance to undo anything.
kill_talvex() {
  wine "$probe" terminate "$TALVEX" >/dev/null 2>&1 || fail "talvex.exe could not be ended"
  for _ in $(seq 100); do kill -0 "$talvex_pid" 2>/dev/null || return 0; sleep 0.1; done
  fail "talvex.exe is still running"
}
identity() { wine "$probe" identity "$1" 2>/dev/null | tr -d '\r'; }
restore() {
  set +e
  out=$(wine "$talvex" --restore 2>&1 </dev/null | tr -d '\r')
  rc=$?
  set -e
}

local_app_data=$(wine cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')
folder=$(winepath -u "$local_app_data" 2>/dev/null)/Talvex
rm -f "$folder"/TalvexChanges-*
wine reg delete 'HKCU\Software\VB and VBA Program Settings\Kessaly' /f >/dev/null 2>&1 || true
start_child "Talvex Record One"
start_child "Talvex Record Two"
read -r one_pid one_start < <(identity "Talvex Record One")
read -r two_pid two_start < <(identity "Talvex Record Two")

echo "== a killed Talvex leaves its change on record"
start_talvex
read -r talvex_win_pid talvex_start < <(identity "$TALVEX")
activate "Talvex Record One"
wait_priority "Talvex Record One" $HIGH
record=$folder/TalvexChanges-$talvex_win_pid-$talvex_start
grep -qx "$one_pid $one_start 0 1 $NORMAL $HIGH" "$record" 2>/dev/null ||
  fail "the change is not on record in $record: $(cat "$record" 2>&1)"
kill_talvex
[[ $(priority "Talvex Record One") == "$HIGH" ]] || fail "the kill did not leave the class changed"

echo "== forged records beside it"
header="talvex-changes 1 windows"
printf '%s\n' "$header" \
  "$two_pid $((two_start + 1)) 0 1 $IDLE $NORMAL" \
  "$two_pid $two_start 0 1 $IDLE $HIGH" \
  "$two_pid $two_start 0 1 $IDLE" \
  "$two_pid $two_start 0 1 $IDLE $NORMAL 0" \
  "garbage" >"$folder/TalvexChanges-1-1"
# Named after a copy that runs (the second window's process): that copy's to undo.
printf '%s\n' "$header" "$two_pid $two_start 0 1 $IDLE $NORMAL" \
  >"$folder/TalvexChanges-$two_pid-$two_start"
restore
[[ $rc -eq 0 ]] || fail "--restore exited $rc: $out"
[[ $out == "put back: pid $one_pid priority class $NORMAL" ]] || fail "--restore said: $out"
[[ $(priority "Talvex Record One") == "$NORMAL" ]] || fail "--restore did not put the class back"
[[ $(priority "Talvex Record Two") == "$NORMAL" ]] || fail "a forged record changed a class"
[[ ! -e $record && ! -e $folder/TalvexChanges-1-1 ]] || fail "undone records are left"
[[ -e $folder/TalvexChanges-$two_pid-$two_start ]] || fail "a running copy's record was taken"
rm "$folder/TalvexChanges-$two_pid-$two_start"

echo "== what is not a record is not read"
mkdir "$folder/TalvexChanges-2-2"
{
  printf '%s\n' "$header" "$two_pid $two_start 0 1 $IDLE $NORMAL"
  head -c 1100000 /dev/zero | tr '\0' '\n'
} >"$folder/TalvexChanges-3-3"
restore
[[ $rc -eq 1 && -z $(grep '^put back' <<<"$out") ]] || fail "--restore exited $rc: $out"
[[ $(priority "Talvex Record Two") == "$NORMAL" ]] || fail "an oversized record was read"
[[ -d $folder/TalvexChanges-2-2 && -s $folder/TalvexChanges-3-3 ]] || fail "a file that is no record was removed"
rmdir "$folder/TalvexChanges-2-2"
rm "$folder/TalvexChanges-3-3"

echo "== the next start puts back what a killed copy left"
start_talvex
activate "Talvex Record One"
wait_priority "Talvex Record One" $HIGH
kill_talvex
start_talvex
wait_priority "Talvex Record One" $NORMAL
activate "Talvex Record Two"
wait_priority "Talvex Record Two" $HIGH
wine "$probe" close "$TALVEX" >/dev/null 2>&1
for _ in $(seq 100); do kill -0 "$talvex_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$talvex_pid" 2>/dev/null && fail "talvex.exe did not end"
[[ $(priority "Talvex Record Two") == "$NORMAL" ]] || fail "the end did not put the class back"
left=$(ls "$folder")
[[ -z $left ]] || fail "records left after a clean end: $left"
echo "record: every check passed"
