#!/usr/bin/env bash
# The program, started for real (Qt's offscreen platform, no display needed), ends
# cleanly with exit code 0 on SIGTERM, SIGINT and SIGHUP and leaves no process behind.
# Usage: talvex_end_test.sh path/to/talvex
set -uo pipefail
bin=$1
export QT_QPA_PLATFORM=offscreen
if [[ -z ${XDG_RUNTIME_DIR:-} ]]; then
  XDG_RUNTIME_DIR=$(mktemp -d)
  export XDG_RUNTIME_DIR
  trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi

# True once the process catches the signal, i.e. its handler is installed.
catches() {
  local pid=$1 signo=$2 mask
  mask=$(awk '/^SigCgt:/ {print $2}' "/proc/$pid/status" 2>/dev/null) || return 1
  [[ -n $mask ]] && (( (16#$mask >> (signo - 1)) & 1 ))
}

for sig in TERM INT HUP; do
  signo=$(kill -l "$sig")
  "$bin" >/dev/null 2>&1 &
  pid=$!
  for _ in $(seq 200); do catches "$pid" "$signo" && break; sleep 0.05; done
  sleep 0.3  # let start-up finish
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
  echo "SIG$sig: ended with exit code 0"
done
