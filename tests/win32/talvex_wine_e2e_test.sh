#!/usr/bin/env bash
# talvex.exe under Wine on the test run's X display (scripts/wine-session.sh sets up
# DISPLAY, the Wine prefix and openbox): two test windows take turns in front, and the
# one in front reads High while the other reads Normal again. Talvex is ended three
# ways -- the tray menu's Exit, WM_CLOSE from another program, the end of the session --
# and each time the program in front gets Normal back and the registry holds the
# settings. Ends only the processes it started.
# Usage: talvex_wine_e2e_test.sh TALVEX_EXE CHILD_EXE PROBE_EXE
set -euo pipefail
talvex=$1 child=$2 probe=$3
[[ -n ${DISPLAY:-} && -n ${WINEPREFIX:-} ]] || { echo "run inside scripts/wine-session.sh" >&2; exit 1; }

readonly HIGH=128 NORMAL=32
readonly KEY='HKCU\Software\VB and VBA Program Settings\Kessaly\Talvex'
source "$(dirname "$0")/wine_test_lib.sh"

wait_gone() {
  for _ in $(seq 100); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.1
  done
  fail "talvex.exe is still running"
}

# A first start: no settings, no autostart entry.
wine reg delete 'HKCU\Software\VB and VBA Program Settings\Kessaly' /f >/dev/null 2>&1 || true
start_child "Talvex Test One"
start_child "Talvex Test Two"

# Absolute position and size of X window $1 as X Y W H (xdotool's own report is
# shifted by the window manager's frame).
geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
                           /Width:/ {w=$NF} /Height:/ {h=$NF} END {print x, y, w, h}'
}
# Exit from the tray menu, as a person does it: a right click on the icon, then a
# click on the menu's last item.
end_by_tray() {
  local tray menu x y w h
  tray=$(xdotool search --name "Wine System Tray" | head -1 || true)
  [[ -n $tray ]] || fail "no notification area"
  read -r x y w h < <(geometry "$tray")
  local cx=$((x + 10)) cy=$((y + h / 2))
  xdotool mousemove $cx $cy click 3
  # The menu opens at the mouse: Talvex's window whose corner is there.
  for _ in $(seq 50); do
    for menu in $(xdotool search --onlyvisible --classname "talvex.exe" 2>/dev/null || true); do
      read -r x y w h < <(geometry "$menu")
      if ((x - cx < 30 && cx - x < 30 && y - cy < 30 && cy - y < 30)); then
        xdotool mousemove $((x + w / 3)) $((y + h - 10)) click 1
        return 0
      fi
    done
    sleep 0.1
  done
  fail "the tray menu did not open"
}
end_by_close() { wine "$probe" close "Talvex 1.1.0" >/dev/null 2>&1; }
end_by_session() { wine "$probe" endsession "Talvex 1.1.0" >/dev/null 2>&1; }

for ending in tray close session; do
  echo "== boost, then end Talvex by $ending"
  wine "$talvex" </dev/null >/dev/null 2>&1 &
  talvex_pid=$!
  pids+=("$talvex_pid")
  # Talvex raises itself to High when it has started.
  wait_priority "Talvex 1.1.0" $HIGH
  activate "Talvex Test One"
  wait_priority "Talvex Test One" $HIGH
  [[ $(priority "Talvex Test Two") == "$NORMAL" ]] || fail "the window behind was raised"
  activate "Talvex Test Two"
  wait_priority "Talvex Test Two" $HIGH
  wait_priority "Talvex Test One" $NORMAL
  "end_by_$ending"
  wait_gone "$talvex_pid"
  [[ $(priority "Talvex Test Two") == "$NORMAL" ]] || fail "the program in front kept High after the end"
  wine reg query "$KEY" /v General.RefreshRate 2>/dev/null | tr -d '\r' | grep -q "REG_SZ.*500" ||
    fail "the settings are not in the registry"
done
wine reg query "$KEY" /v CustomItems.Item2 2>/dev/null | tr -d '\r' |
  grep -q "talvex.exe|0|True|True|False|False|" || fail "the default rules were not saved"
echo "end to end: every check passed"
