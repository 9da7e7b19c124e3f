# Shared by the tests that drive talvex.exe under Wine (run inside
# scripts/wine-session.sh, after setting $child and $probe): the list of what they started
# (ended by pid at exit), failure, priority classes read by the probe, the test windows.

pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

priority() { wine "$probe" priority "$1" 2>/dev/null | tr -d '\r' || echo none; }
# Waits up to ten seconds until window $1 reads class $2.
wait_priority() {
  local now=none
  for _ in $(seq 100); do
    now=$(priority "$1")
    [[ $now == "$2" ]] && return 0
    sleep 0.1
  done
  fail "$1 reads $now, not $2"
}
activate() {
  local win
  win=$(xdotool search --name "^$1\$" | head -1 || true)
  [[ -n $win ]] || fail "no window $1"
  xdotool windowactivate --sync "$win" >/dev/null 2>&1 || xdotool windowactivate "$win"
}
# Starts the test program with a window titled $1 and waits for the window.
start_child() {
  wine "$child" "$1" </dev/null >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do xdotool search --name "^$1\$" >/dev/null 2>&1 && return 0; sleep 0.1; done
  fail "the test window $1 did not appear"
}
