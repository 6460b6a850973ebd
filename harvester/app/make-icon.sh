#!/bin/sh
# Draws gleanora.png, the icon of the desktop entry (needs ImageMagick).
# The window's own icon is drawn in code (DesignIcon).
set -e
cd "$(dirname "$0")"
convert -size 64x64 xc:none \
  -fill '#fafaf5' -stroke '#283c5a' -strokewidth 2 -draw 'roundrectangle 6,4 48,58 4,4' \
  -stroke '#5a78a0' -strokewidth 3 \
  -draw 'line 13,16 41,16' -draw 'line 13,26 41,26' -draw 'line 13,36 41,36' -draw 'line 13,46 41,46' \
  -fill '#3caa50' -stroke '#145a28' -strokewidth 2 \
  -draw 'polygon 36,36 58,36 58,28 62,44 58,60 58,52 36,52' \
  gleanora.png
