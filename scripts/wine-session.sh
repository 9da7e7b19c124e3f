# Sourced by the Windows scripts: a Wine prefix of the build's own, on a private X
# display with openbox as window manager, and a wineserver that stays up.
#
# wineserver and Wine's helper processes inherit the standard output of whoever starts
# them first; a pipe reading the output of a test (ctest does that) would then wait
# until they end. So the server is started first, persistent, writing to /dev/null,
# and one idle Wine program keeps the helpers running: every test program then starts
# in a fraction of a second.
#
#   wine_session_start BUILD_DIR   sets DISPLAY, WINEPREFIX... and starts everything
#   wine_session_stop              ends what wine_session_start started

wine_session_pids=()

wine_session_start() {
  local build
  build=$(cd "$1" && pwd)
  export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  export LANG=C.UTF-8
  unset LC_ALL
  trap wine_session_stop EXIT
  local display=90
  while [[ -e /tmp/.X11-unix/X$display || -e /tmp/.X$display-lock ]]; do display=$((display + 1)); done
  export DISPLAY=:$display
  Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  wine_session_pids+=($!)
  for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
  openbox >/dev/null 2>&1 &
  wine_session_pids+=($!)
  # (It says so and fails when the server of this prefix is up already.)
  wineserver -p </dev/null >/dev/null 2>&1 || true
  wineboot -i </dev/null >/dev/null 2>&1
  local keeper=$build/tests/win32/talvex_wine_keeper.exe
  if [[ -f $keeper ]]; then
    wine "$keeper" </dev/null >/dev/null 2>&1 &
    wine_session_pids+=($!)
  fi
}

wine_session_stop() {
  local i
  for ((i = ${#wine_session_pids[@]} - 1; i >= 0; i--)); do
    kill "${wine_session_pids[i]}" 2>/dev/null || true
  done
  wine_session_pids=()
  # The server of this private prefix, and the Wine processes it still serves.
  [[ -n ${WINEPREFIX:-} ]] && wineserver -k >/dev/null 2>&1 || true
  wait 2>/dev/null || true
}
