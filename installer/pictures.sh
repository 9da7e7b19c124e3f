#!/usr/bin/env bash
# The installer's pictures, made from Talvex's own artwork: the tall picture at the left
# of the welcome and finish pages (164 x 314) and the picture at the right of the other
# pages' header (150 x 57), as the uncompressed 24-bit BMP files NSIS takes.
# Usage: pictures.sh RSVG_CONVERT CONVERT ARTWORK_DIR OUT_DIR
set -euo pipefail
rsvg=$1 convert=$2 artwork=$3 out=$4
mkdir -p "$out"
"$rsvg" --width=120 --height=120 --output="$out/shuttle-120.png" "$artwork/shuttle.svg"
"$rsvg" --width=48 --height=48 --output="$out/shuttle-48.png" "$artwork/shuttle.svg"
"$rsvg" --width=30 --height=120 --output="$out/banner-120.png" "$artwork/banner.svg"
"$convert" -size 164x314 gradient:'#3b82d6-#123d78' \
  "$out/shuttle-120.png" -geometry +22+40 -composite \
  "$out/banner-120.png" -geometry +67+180 -composite \
  -alpha off -type TrueColor "BMP3:$out/welcome.bmp"
"$convert" -size 150x57 xc:white "$out/shuttle-48.png" -geometry +98+4 -composite \
  -alpha off -type TrueColor "BMP3:$out/header.bmp"
