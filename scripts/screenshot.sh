#!/usr/bin/env bash
# Starts Talvex on a private X display (Xvfb, openbox as window manager, trayer as
# notification area), opens the main window from the tray icon with a double click,
# switches on the advanced view and saves screenshots:
#   <out>/talvex-screen.png   the whole screen (tray icon, balloon, window)
#   <out>/talvex-window.png   the main window with its frame
# With --languages it then clicks each flag picture and saves the window in German,
# English and French instead: <out>/talvex-DE.png, talvex-EN.png, talvex-FR.png.
# Usage: scripts/screenshot.sh [--languages] [out-dir] (default build/screenshots).
# Ends only the processes it started.
set -euo pipefail
cd "$(dirname "$0")/.."
languages=false
if [[ ${1:-} == --languages ]]; then
  languages=true
  shift
fi
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
# Settings and the instance lock of its own: the user's Talvex and its settings stay
# untouched, and every run starts from the first-start defaults.
private=$(mktemp -d)
chmod 700 "$private"
export XDG_CONFIG_HOME=$private/config XDG_RUNTIME_DIR=$private
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$private"
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
# Positions in client pixels at 96 dpi (15 twips a pixel): chkAdvanced at twips
# (3480, 2280); the flags imgGer, imgEn, imgFr 480 twips square at left 360 and tops
# 4050, 4770, 5490.
xdotool mousemove --window "$win" 240 160 click 1
sleep 1
if $languages; then
  for flag in DE:286 EN:334 FR:382; do
    code=${flag%%:*}
    xdotool mousemove --window "$win" 40 "${flag##*:}" click 1
    sleep 0.7
    import -frame -window "$win" "$out/talvex-$code.png" 2>/dev/null ||
      import -window "$win" "$out/talvex-$code.png"
  done
  echo "saved $out/talvex-DE.png, $out/talvex-EN.png and $out/talvex-FR.png"
  exit 0
fi
import -window root "$out/talvex-screen.png"
import -frame -window "$win" "$out/talvex-window.png" 2>/dev/null ||
  import -window "$win" "$out/talvex-window.png"
echo "saved $out/talvex-screen.png and $out/talvex-window.png"
