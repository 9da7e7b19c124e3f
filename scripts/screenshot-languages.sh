#!/usr/bin/env bash
# Screenshots of the main window in the advanced view in German, English and French.
# Starts Talvex on a private X display (Xvfb, openbox, trayer as notification area),
# opens the main window from the tray icon, switches on the advanced view, then clicks
# each flag picture and saves the window with its frame:
#   <out>/talvex-DE.png  <out>/talvex-EN.png  <out>/talvex-FR.png
# Usage: scripts/screenshot-languages.sh [out-dir] (default build/screenshots).
# Ends only the processes it started.
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

# The tray icon is the first window in trayer's panel; a double click shows the window.
panel=$(xdotool search --name "^panel$" | head -1)
eval "$(xdotool getwindowgeometry --shell "$panel")"
xdotool mousemove $((X + 12)) $((Y + HEIGHT / 2)) click --repeat 2 --delay 60 1
sleep 1
win=$(xdotool search --name "^Talvex 1\.1\.0$" | head -1)
[[ -n $win ]] || { echo "the main window did not open" >&2; exit 1; }

# Positions in client pixels at 96 dpi (15 twips a pixel): chkAdvanced at twips
# (3480, 2280); the flags imgGer, imgEn, imgFr 480 twips square at left 360 and tops
# 4050, 4770, 5490.
xdotool mousemove --window "$win" 240 160 click 1
sleep 1
for flag in DE:286 EN:334 FR:382; do
  code=${flag%%:*}
  xdotool mousemove --window "$win" 40 "${flag##*:}" click 1
  sleep 0.7
  import -frame -window "$win" "$out/talvex-$code.png" 2>/dev/null ||
    import -window "$win" "$out/talvex-$code.png"
done
echo "saved $out/talvex-DE.png, $out/talvex-EN.png and $out/talvex-FR.png"
