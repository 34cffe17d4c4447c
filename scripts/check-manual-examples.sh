#!/usr/bin/env bash
# Runs every example of the manual pages as written, in a scratch folder that
# holds the files they name (cat.gif, a.gif, big.gif, cat.webp, clip.mp4, dog.gif,
# gifs/*.gif, ~/Pictures/cat.gif and a hosts file naming this machine, ":"),
# made from a real animation (the demo scene, 320 x 240, 32 frames), and
# prints each one's exit status. Fails when any example fails.
#
#   check-manual-examples.sh MAN_DIR CLI_DIR MAKE_DEMO_GIF [WINDOW_DIR]
#
# CLI_DIR (and WINDOW_DIR) go first on PATH, so the examples call the
# programs by name. There is no network: `curl` is a stand-in that prints
# cat.webp. The window's examples need WINDOW_DIR and xvfb-run; each must
# keep its window open for 4 s (then it is ended), except the hand-over to a
# window already open, which must end at once with status 0. The Wayland
# example also needs weston and Qt's Wayland plugin, else it is skipped.
set -uo pipefail
man_dir="$(cd "$1" && pwd)"
cli_dir="$(cd "$2" && pwd)"
make_demo_gif="$(cd "$(dirname "$3")" && pwd)/$(basename "$3")"
window_dir="${4:+$(cd "$4" && pwd)}"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" TMPDIR="$work/tmp" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME/Pictures" "$TMPDIR" "$XDG_RUNTIME_DIR" "$work/bin" "$work/files/gifs"
chmod 700 "$XDG_RUNTIME_DIR"
export PATH="$cli_dir${window_dir:+:$window_dir}:$work/bin:$PATH"

cd "$work/files"
"$make_demo_gif" cat.gif > /dev/null || exit 1
cp cat.gif a.gif; cp cat.gif dog.gif; cp cat.gif "$HOME/Pictures/cat.gif"
"$make_demo_gif" big.gif 960 720 8 > /dev/null || exit 1
"$make_demo_gif" gifs/one.gif 160 120 8 > /dev/null || exit 1
"$make_demo_gif" gifs/two.gif 200 100 6 > /dev/null || exit 1
quillframe-cli convert cat.gif cat.webp -q || exit 1
# A clip of 16 s, long enough to take a part from.
"$make_demo_gif" long.gif 160 120 200 > /dev/null || exit 1
quillframe-cli convert long.gif clip.mp4 -q || exit 1
echo ":" > hosts
printf '#!/bin/sh\ncat "%s/cat.webp"\n' "$work/files" > "$work/bin/curl"
chmod +x "$work/bin/curl"

# The examples of a page, each ended by a NUL: the lines between .nf and .fi
# after .SH EXAMPLES, with the escapes undone and continued lines joined.
examples() {
  awk '
    /^\.SH EXAMPLES/ { section = 1; next }
    /^\.SH/ { section = 0 }
    !section { next }
    /^\.nf/ { inside = 1; text = ""; next }
    /^\.fi/ { inside = 0; printf "%s%c", text, 0; next }
    inside {
      gsub(/\\-/, "-"); gsub(/\\e/, "\\")
      if (joined) { sub(/^ +/, ""); text = text $0 } else text = text (text == "" ? "" : "\n") $0
      joined = sub(/\\$/, "", text)
    }' "$1"
}

failed=0
report() { # status, command
  printf '%-5s %s\n' "$1" "$(printf '%s' "$2" | sed -z 's/|\n */| /g; s/\n/; /g')"
  case "$1" in 0 | open | skip) ;; *) failed=1; sed 's/^/      /' "$work/out.log" ;; esac
}

# quillframe-cli: each example on its own, in order (info and frames read
# the cat.webp the folder holds).
while IFS= read -r -d '' example; do
  bash -c "$example" > "$work/out.log" 2>&1
  report "$?" "$example"
done < <(examples "$man_dir/quillframe-cli.1.in")

# What the examples should have left.
for wanted in cat-pencil.gif b.gif sketches/cat-sketch.gif small.webp a.gif previews/sheet.png \
              frames/frame-0001.png gifs/one-sketch.gif gifs/two-sketch.gif; do
  [ -s "$wanted" ] || { echo "missing after the examples: $wanted"; failed=1; }
done

# The window's: each on a display of its own (an example that starts
# xvfb-run itself, or Wayland, brings its own), in a process group of its
# own so that ending it ends the window too.
run_window() { # seconds, example
  local seconds="$1" pid i
  case "$2" in
    *xvfb-run*) setsid bash -c "$2" > "$work/out.log" 2>&1 & ;;
    *wayland*) WAYLAND_DISPLAY=qf-examples setsid bash -c "$2" > "$work/out.log" 2>&1 & ;;
    *) setsid xvfb-run -a bash -c "$2" > "$work/out.log" 2>&1 & ;;
  esac
  pid=$!
  for i in $(seq 1 $((seconds * 10))); do
    kill -0 "$pid" 2> /dev/null || { wait "$pid"; return; }
    sleep 0.1
  done
  kill -TERM -- "-$pid"
  wait "$pid"
  return 124
}
if [ -n "$window_dir" ] && command -v xvfb-run > /dev/null; then
  open=""
  while IFS= read -r -d '' example; do
    weston=""
    case "$example" in
      *dog.gif*)
        # Handed to the window the example before left open: ends at once.
        run_window 10 "$example"
        status=$?
        [ "$status" = 124 ] && status="hung"
        ;;
      *)
        [ -n "$open" ] && { kill -TERM -- "-$open"; wait "$open"; open=""; }
        if [[ "$example" == *wayland* ]]; then
          if ! command -v weston > /dev/null \
             || ! ls /usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so > /dev/null 2>&1; then
            report skip "$example (needs weston and qt6-wayland)"
            continue
          fi
          setsid weston --backend=headless-backend.so --socket=qf-examples > "$work/weston.log" 2>&1 &
          weston=$!
          sleep 2
        fi
        if [[ "$example" == "quillframe ~/"* ]]; then
          # Stays open for the hand-over that follows.
          setsid xvfb-run -a bash -c "$example" > "$work/out.log" 2>&1 &
          open=$!
          sleep 4
          if kill -0 "$open" 2> /dev/null; then status=open; else wait "$open"; status=$?; open=""; fi
        else
          run_window 4 "$example"
          status=$?
          [ "$status" = 124 ] && status=open
        fi
        [ -n "$weston" ] && { kill -TERM -- "-$weston"; wait "$weston"; }
        ;;
    esac
    report "$status" "$example"
  done < <(examples "$man_dir/quillframe.1.in")
  [ -n "$open" ] && { kill -TERM -- "-$open"; wait "$open"; }
fi
exit "$failed"
