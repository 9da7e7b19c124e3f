#!/usr/bin/env bash
# Starts Talvex on a private X display (Xvfb, openbox as window manager, trayer as
# notification area), opens the main window from the tray icon with a double click,
# switches on the advanced view and saves screenshots:
#   <out>/talvex-screen.png   the whole screen (tray icon, balloon, window)
#   <out>/talvex-window.png   the main window with its frame
# Usage: scripts/screenshot.sh [out-dir] (default build/screenshots). Ends only what it started.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/screenshots}
mkdir -p "$out"
bin=build/app/talvex
[[ -x $bin ]] || { echo "build first: $bin is missing" >&2; exit 1; }
for tool in Xvfb openbox trayer xdotool import; do
  command -v "$tool" >/dev/null || { echo "missing: $tool (apt-get install xvfb openbox trayer xdotool imagemagick)" >&2; exit 1; }
done

display=99
while [[ -e /tmp/.X11-unix/X$display || -e /tmp/.X$display-lock ]]; do display=$((display + 1)); done
export DISPLAY=:$display
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 & pids+=($!)
trayer --edge bottom --align right --widthtype request --height 28 --SetDockType true \
  --tint 0x303030 --transparent true --alpha 0 >/dev/null 2>&1 & pids+=($!)
sleep 1
QT_QPA_PLATFORM=xcb "$bin" >/dev/null 2>&1 & pids+=($!)
sleep 2.5

# The tray icon: the first window in trayer's panel.
panel=$(xdotool search --name "^panel$" | head -1)
eval "$(xdotool getwindowgeometry --shell "$panel")"
xdotool mousemove $((X + 12)) $((Y + HEIGHT / 2)) click --repeat 2 --delay 60 1
sleep 1

win=$(xdotool search --name "^Talvex 1\.1\.0$" | head -1)
[[ -n $win ]] || { echo "the main window did not open" >&2; exit 1; }
# chkAdvanced sits at twips (3480, 2280): 232, 152 px in the client area at 96 dpi.
xdotool mousemove --window "$win" 240 160 click 1
sleep 1
import -window root "$out/talvex-screen.png"
import -frame -window "$win" "$out/talvex-window.png" 2>/dev/null ||
  import -window "$win" "$out/talvex-window.png"
echo "saved $out/talvex-screen.png and $out/talvex-window.png"
