#!/usr/bin/env bash
# Renders the application icon's PNG sizes from its one drawing,
# data/icons/hicolor/scalable/apps/quillframe.svg, into the hicolor folders
# beside it. The PNGs are committed; run this after changing the drawing
# (needs rsvg-convert, Debian package librsvg2-bin).
set -euo pipefail
icons="$(cd "$(dirname "$0")/.." && pwd)/data/icons/hicolor"
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "$icons/${size}x${size}/apps"
  rsvg-convert --width "$size" --height "$size" "$icons/scalable/apps/quillframe.svg" \
    --output "$icons/${size}x${size}/apps/quillframe.png"
done
