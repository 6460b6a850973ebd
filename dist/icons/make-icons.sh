#!/bin/sh
# Renders the hicolor PNGs of both programs from their SVG sources (run it
# after changing an SVG and commit the result; the build only copies them).
# Also redraws harvester/app/gleanora.png, the picture App.def may name.
set -e
cd "$(dirname "$0")"
command -v rsvg-convert >/dev/null || ../../scripts/install-deps librsvg2-bin
for name in gleanora tabwright; do
  for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "hicolor/${size}x${size}/apps"
    rsvg-convert -w "$size" -h "$size" "$name.svg" -o "hicolor/${size}x${size}/apps/$name.png"
  done
done
cp hicolor/64x64/apps/gleanora.png ../../harvester/app/gleanora.png
