# Shared by the tests that drive the real program on an X display of their own: the
# list of what they started (ended by pid at exit), failure, waiting, nice values and
# a private Xvfb with openbox. Source it after setting $scratch.

pids=()
# True once process $1 has ended (a zombie of ours counts).
gone() { [[ ! -e /proc/$1 || $(awk '{ sub(/^.*\) /, ""); print $1 }' "/proc/$1/stat" 2>/dev/null) == Z ]]; }
cleanup() {
  local i pid
  # Asked first, so that an X server removes its lock and socket; what is still there
  # after two seconds is killed.
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill -TERM "${pids[i]}" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    wait_for 20 gone "$pid" || kill -KILL "$pid" 2>/dev/null || true
  done
  wait 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Nice value of a process (field 19 of its stat line, counted after the name).
nice_of() { awk '{ sub(/^.*\) /, ""); print $17 }' "/proc/$1/stat"; }
nice_is() { [[ $(nice_of "$1") == "$2" ]]; }
# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
  local tenths=$1
  shift
  for _ in $(seq "$tenths"); do "$@" && return 0; sleep 0.1; done
  return 1
}

# A free display number from $1 on, exported as DISPLAY.
pick_display() {
  local display=$1
  while [[ -e /tmp/.X11-unix/X$display || -e /tmp/.X$display-lock ]]; do display=$((display + 1)); done
  export DISPLAY=:$display
}
# Starts Xvfb and openbox on $DISPLAY, through the command given (if any) to run them as
# another user; the server's pid is in $xvfb.
start_x() {
  "$@" Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  pids+=("$xvfb")
  # A loaded machine may take a while to bring the server up and the window manager.
  for _ in $(seq 400); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.05; done
  "$@" openbox >/dev/null 2>&1 &
  pids+=($!)
  wait_for 300 wm_ready "$@" || fail "openbox did not start"
}
# True once a window manager has announced itself on the root window.
wm_ready() { "$@" xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
