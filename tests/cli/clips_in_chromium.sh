#!/usr/bin/env bash
# A clip with sound converted to MP4 and to WebM, each played in headless
# Chromium: it must load, state the source's 3 s and 48 x 32, decode sound
# and play to its end. Exit 77 (skipped) where chromium is not installed.
#
#   clips_in_chromium.sh CLI CLIPS_DIR CHECKER
set -euo pipefail
command -v chromium >/dev/null || { echo "chromium is not installed: skipped"; exit 77; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
for format in mp4 webm; do
    "$1" convert -q "$2/onset.mp4" "$work/onset.$format" --variant 5
done
bash "$3" "$work/onset.mp4" "$work/onset.webm" -- 3 48 32 sound
