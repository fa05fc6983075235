#!/usr/bin/env bash
# Draws the application icon (a folder with a download arrow) and writes res/app.ico
# with seven sizes; ImageMagick stores the 256-pixel image PNG-compressed.
set -euo pipefail
out="$(cd "$(dirname "$0")/.." && pwd)/res/app.ico"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
convert -size 256x256 xc:none \
  -fill '#E8A33D' -stroke '#9A6416' -strokewidth 6 \
  -draw 'roundrectangle 20,56 236,220 18,18' \
  -draw 'roundrectangle 20,40 110,80 12,12' \
  -fill '#F6C468' -draw 'roundrectangle 20,78 236,220 18,18' \
  -fill '#2F6FCF' -stroke '#1B4A94' -strokewidth 6 \
  -draw 'polygon 108,92 148,92 148,146 180,146 128,198 76,146 108,146' \
  PNG32:"$work/256.png"
sizes=(256 128 96 64 48 32 16)
files=()
for s in "${sizes[@]}"; do
  convert "$work/256.png" -resize "${s}x${s}" PNG32:"$work/$s.png"
  files+=("$work/$s.png")
done
convert "${files[@]}" "$out"
identify "$out"
