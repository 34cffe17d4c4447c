#!/usr/bin/env bash
# Takes the AppStream screenshots of the window's three steps into
# data/screenshots/ (or the folder given): open.png (step 1), choose-effect.png
# (step 2, an effect chosen, its preview playing) and result.png (step 3,
# the converted demo animation playing). Runs the built window on a private
# Xvfb display with openbox, clean settings, and keys sent through XTEST.
#   scripts/make-screenshots.sh [BUILD_DIR [OUT_DIR]]
# Needs: xvfb openbox xdotool imagemagick
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
out="${2:-$root/data/screenshots}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"

work="$(mktemp -d)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2> /dev/null || true; done
  wait 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
Xvfb -displayfd 5 -screen 0 1280x900x24 5> "$work/display" > /dev/null 2>&1 &
pids+=($!)
for _ in $(seq 1 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n 1 "$work/display")" HOME="$work/home" TMPDIR="$work/tmp" \
  XDG_RUNTIME_DIR="$work/run" LANGUAGE=en LANG=C.UTF-8
mkdir -p "$HOME" "$TMPDIR" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
openbox > /dev/null 2>&1 &
pids+=($!)
sleep 1

"$build/tools/make_demo_gif" "$work/demo.gif" > /dev/null
"$build/src/shell/quillframe" > "$work/window.log" 2>&1 &
app=$!
pids+=("$app")
win="$(timeout 30 xdotool search --sync --onlyvisible --pid "$app" | tail -n 1)"
# 16:10, large enough for software centres' galleries.
xdotool windowsize --sync "$win" 960 600
xdotool windowactivate --sync "$win"
sleep 1
# No time stamps in the files: the same pictures give the same bytes.
shot() {
  import -window "$win" -strip -define png:exclude-chunks=date,time "$out/$1.png"
  echo "$out/$1.png"
}
keys() { xdotool windowactivate --sync "$win" key --delay 150 "$@"; }

shot open
# The GIF goes in as a second start hands it over, as a file manager does.
"$build/src/shell/quillframe" "$work/demo.gif"
sleep 3
# Step 2: the effect one to the right and two down (Sepia tint, three to a
# row at this size) chosen, its preview playing.
keys Right Down Down space p
sleep 3
shot choose-effect
keys alt+Right
sleep 8
shot result
