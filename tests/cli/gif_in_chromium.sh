#!/usr/bin/env bash
# The demo animation converted below the best level (where full string
# tables are kept in places, which some decoders once mishandled), decoded
# frame by frame in headless Chromium: every pixel as the program's own
# reader gives it. Exit 77 (skipped) where chromium is not installed.
#
#   gif_in_chromium.sh CLI MAKE_DEMO_GIF CHECKER
set -euo pipefail
command -v chromium >/dev/null || { echo "chromium is not installed: skipped"; exit 77; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$2" "$work/demo.gif" >/dev/null
"$1" convert -q "$work/demo.gif" "$work/out.gif" --variant 12 --quality 80
"$1" frames -q "$work/out.gif" "$work/frames"
bash "$3" "$work/out.gif" "$work/frames"
