#!/usr/bin/env bash
# The program, started for real (Qt's offscreen platform, no display needed), ends
# cleanly with exit code 0 on SIGTERM, SIGINT and SIGHUP and leaves no process behind.
# With TALVEX_DEBUG=1 (given for SIGTERM only) its trace names the signal on stderr;
# without it, the trace writes nothing.
# Usage: talvex_end_test.sh path/to/talvex
set -uo pipefail
bin=$1
export QT_QPA_PLATFORM=offscreen
# Own config and runtime folders: the program saves its settings and takes its
# single-instance lock there, never in the user's own.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export XDG_CONFIG_HOME=$scratch/config XDG_RUNTIME_DIR=$scratch/run
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

# True once the process is the program (a background start is a copy of the shell, with
# the shell's handlers, until it runs the program) and catches the signal, i.e. its
# handler is installed.
program=$(readlink -f "$bin")
catches() {
  local pid=$1 signo=$2 mask
  [[ $(readlink "/proc/$pid/exe" 2>/dev/null) == "$program" ]] || return 1
  mask=$(awk '/^SigCgt:/ {print $2}' "/proc/$pid/status" 2>/dev/null) || return 1
  [[ -n $mask ]] && (( (16#$mask >> (signo - 1)) & 1 ))
}

for sig in TERM INT HUP; do
  signo=$(kill -l "$sig")
  err=$scratch/stderr-$sig
  if [[ $sig == TERM ]]; then
    TALVEX_DEBUG=1 "$bin" >/dev/null 2>"$err" &
  else
    env -u TALVEX_DEBUG "$bin" >/dev/null 2>"$err" &
  fi
  pid=$!
  for _ in $(seq 200); do catches "$pid" "$signo" && break; sleep 0.05; done
  kill "-$sig" "$pid"
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
  if kill -0 "$pid" 2>/dev/null; then
    kill -KILL "$pid"
    echo "FAIL: still running 5 s after SIG$sig" >&2
    exit 1
  fi
  wait "$pid"
  rc=$?
  if [[ $rc -ne 0 ]]; then
    echo "FAIL: exit code $rc after SIG$sig" >&2
    exit 1
  fi
  if [[ $sig == TERM ]] && ! grep -q "info QtTermination: SIGTERM: close request" "$err"; then
    echo "FAIL: no trace line for SIGTERM with TALVEX_DEBUG=1:" >&2
    cat "$err" >&2
    exit 1
  fi
  if [[ $sig != TERM ]] && grep -q "^talvex: [0-9.]* " "$err"; then
    echo "FAIL: trace lines without TALVEX_DEBUG:" >&2
    cat "$err" >&2
    exit 1
  fi
  echo "SIG$sig: ended with exit code 0"
done
