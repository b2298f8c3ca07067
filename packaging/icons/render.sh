#!/usr/bin/env bash
# Draws the hicolor PNGs from brindlewatch.svg; run it after changing the SVG
# and commit the result, so that a build needs no SVG renderer. The 16 and 32
# pixel icons are the program's own pixel art in data/icons, which the window
# shows too, so those two are not drawn here.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
for size in 22 24 48 64 128 256; do
  mkdir -p "$here/hicolor/${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" "$here/brindlewatch.svg" -o "$here/hicolor/${size}x${size}/apps/brindlewatch.png"
done
