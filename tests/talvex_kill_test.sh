#!/usr/bin/env bash
# The settings survive the real program being killed at any moment: while it runs, right
# after SIGTERM has started its save, or a few milliseconds later, many times over. After every round the settings file holds
# all the rules and settings, whole; after a last clean end no temporary file is left.
# Runs on Qt's offscreen platform (no display); background observation is off, so the
# program changes no priority of anything else. Ends only what it started.
# Usage: talvex_kill_test.sh path/to/talvex
set -uo pipefail
bin=$1
export QT_QPA_PLATFORM=offscreen
scratch=$(mktemp -d)
chmod 700 "$scratch"
trap 'rm -rf "$scratch"' EXIT
export XDG_CONFIG_HOME=$scratch/config XDG_RUNTIME_DIR=$scratch
folder=$XDG_CONFIG_HOME/Kessaly
conf=$folder/Talvex.conf
mkdir -p "$folder"
cat >"$conf" <<'EOF'
[Talvex]
BackgroundProcessObservation.Enabled=False
CustomItems.Count=4
CustomItems.Item0=taskmgr.exe|0|True|True|False|False|
CustomItems.Item1=ntvdm.exe|0|True|False|False|False|
CustomItems.Item2=talvex|0|True|True|False|False|
CustomItems.Item3=/opt/editor/bin/editor|2|False|True|False|True|
General.AutoUpdate=False
General.Language=FR
General.RefreshRate=500
Window.AdvancedView=True
EOF

fail() {
  echo "FAIL: $*" >&2
  cat "$conf" >&2
  exit 1
}
# True once the process is the program (until then it is a copy of the shell, with the
# shell's handlers) and its handler for SIGTERM is installed.
program=$(readlink -f "$bin")
catches_term() {
  local mask
  [[ $(readlink "/proc/$1/exe" 2>/dev/null) == "$program" ]] || return 1
  mask=$(awk '/^SigCgt:/ {print $2}' "/proc/$1/status" 2>/dev/null) || return 1
  [[ -n $mask ]] && (((16#$mask >> 14) & 1))
}
check_file() {
  grep -qxF '[Talvex]' "$conf" || fail "round $1: the section is gone"
  grep -qxF 'CustomItems.Count=4' "$conf" || fail "round $1: the rule count is wrong"
  grep -qxF 'CustomItems.Item3=/opt/editor/bin/editor|2|False|True|False|True|' "$conf" ||
    fail "round $1: the rule is lost or changed"
  grep -qxF 'General.Language=FR' "$conf" || fail "round $1: the language is lost"
  grep -qxF 'Window.AdvancedView=True' "$conf" || fail "round $1: the view is lost"
}

rounds=25
for round in $(seq "$rounds"); do
  "$bin" >/dev/null 2>&1 &
  pid=$!
  for _ in $(seq 200); do catches_term "$pid" && break; sleep 0.05; done
  sleep "0.$((RANDOM % 5))"
  case $((round % 3)) in
    0) kill -KILL "$pid" 2>/dev/null ;;  # while it runs
    1) kill -TERM "$pid" 2>/dev/null; kill -KILL "$pid" 2>/dev/null ;;  # as the save starts
    2)
      kill -TERM "$pid" 2>/dev/null
      sleep "0.0$((RANDOM % 10))"
      kill -KILL "$pid" 2>/dev/null
      ;;
  esac
  wait "$pid" 2>/dev/null
  check_file "$round"
done
echo "$rounds rounds of kills at any moment: the settings file stayed whole"

# A clean end removes what killed saves left behind.
"$bin" >/dev/null 2>&1 &
pid=$!
for _ in $(seq 200); do catches_term "$pid" && break; sleep 0.05; done
kill -TERM "$pid"
wait "$pid"
rc=$?
[[ $rc -eq 0 ]] || fail "exit code $rc after SIGTERM"
check_file last
leftovers=$(find "$folder" -name '*.tmp')
[[ -z $leftovers ]] || fail "temporary files left: $leftovers"
echo "PASS"
