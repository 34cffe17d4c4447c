#!/usr/bin/env bash
# The window as a person sees it, on a private X server with a window
# manager, keys typed through XTEST and screenshots compared:
#   - the preview of step 2 plays: two screenshots 1 s apart differ;
#   - the focus ring moves with Tab, onto Options, Next and Back;
#   - at the smallest size the ticked card shows whole with its name, for a
#     4:3, a wide (1000 x 175) and a square animation.
# Skipped (status 77) where the X tools are missing.
#
#   screen_test.sh QUILLFRAME SCREEN_CHECK MAKE_DEMO_GIF
set -u
exe=$1 check=$2 make_gif=$3
for tool in Xvfb openbox xdotool xprop wmctrl import; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
source "$(dirname "$0")/drive.sh"
# Set first: a start that fails halfway leaves no X server behind.
trap win_stop EXIT
win_start || exit 1
failures=0
expect() { # what, then a command that succeeds when it holds
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

"$make_gif" "$WIN_DIR/demo.gif" >/dev/null
"$make_gif" "$WIN_DIR/wide.gif" 1000 175 8 >/dev/null
"$make_gif" "$WIN_DIR/square.gif" 240 240 8 >/dev/null

win_open "$exe" "$WIN_DIR/demo.gif" || exit 1
win_wait_title demo.gif || exit 1

# Step 2: P plays the ticked card.
win_keys p
sleep 1.5; win_shot play1; sleep 1; win_shot play2
expect "the preview plays" "$check" differ "$WIN_DIR/play1.png" "$WIN_DIR/play2.png" 0 0 1 1

# The keyboard is on the cards; going back with Shift+Tab the ring goes to
# Options (top right), then Next (bottom right), then Back (bottom left).
win_keys Escape
win_shot tab0; win_keys shift+Tab; win_shot tab1; win_keys shift+Tab; win_shot tab2
win_keys shift+Tab; win_shot tab3
expect "a ring on Options" "$check" differ "$WIN_DIR/tab0.png" "$WIN_DIR/tab1.png" 0.75 0 1 0.1
expect "a ring on Next" "$check" differ "$WIN_DIR/tab1.png" "$WIN_DIR/tab2.png" 0.5 0.88 1 1
expect "the ring leaves Next" "$check" differ "$WIN_DIR/tab2.png" "$WIN_DIR/tab3.png" 0.5 0.88 1 1
expect "a ring on Back" "$check" differ "$WIN_DIR/tab2.png" "$WIN_DIR/tab3.png" 0 0.88 0.5 1

# The smallest window the window manager allows.
win_size 200 150
win_shot small_demo
expect "a whole card with its name at the smallest size (4:3)" "$check" card "$WIN_DIR/small_demo.png"
for shape in wide square; do
  "$exe" "$WIN_DIR/$shape.gif" >/dev/null 2>&1
  win_wait_title "$shape.gif" || exit 1
  win_size 200 150
  win_shot "small_$shape"
  expect "a whole card with its name at the smallest size ($shape)" "$check" card "$WIN_DIR/small_$shape.png"
done
exit $((failures > 0))
