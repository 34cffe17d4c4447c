#!/usr/bin/env bash
# Checks the install of an existing build (default build/, as scripts/test.sh
# leaves it): installs it into a staging prefix, moves that tree elsewhere
# (an install must run from wherever its prefix is), then runs the installed
# programs, converts the demo animation with the installed quillframe-cli and
# validates the menu entry, the metainfo, the icons and the manual pages.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QF_BUILD_DIR:-$root/build}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/staged" > /dev/null
mv "$work/staged" "$work/moved"
prefix="$work/moved"
id=example.morvane.Quillframe
cli="$prefix/bin/quillframe-cli"
window="$prefix/bin/quillframe"

for f in bin/quillframe bin/quillframe-cli share/quillframe/Skin.qss \
         share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
         share/icons/hicolor/scalable/apps/quillframe.svg \
         share/man/man1/quillframe.1.gz share/man/man1/quillframe-cli.1.gz \
         share/doc/quillframe/copyright; do
  [ -s "$prefix/$f" ] || fail "the install lacks $f"
done
for size in 16 22 24 32 48 64 128 256; do
  png="$prefix/share/icons/hicolor/${size}x${size}/apps/quillframe.png"
  [ "$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')" = "${size}x${size}" ] \
    || fail "$png is not ${size}x${size}"
done

# SingleMainWindow (desktop entry 1.5) is newer than Debian 12's validator,
# which reports it as unknown; every other complaint fails the check.
if ! desktop-file-validate "$prefix/share/applications/$id.desktop" > "$work/desktop.log" 2>&1; then
  grep -v 'key "SingleMainWindow"' "$work/desktop.log" | grep . && fail "the desktop entry does not validate"
fi
grep -qx "SingleMainWindow=true" "$prefix/share/applications/$id.desktop" || fail "SingleMainWindow missing"
appstreamcli validate --no-net --explain "$prefix/share/metainfo/$id.metainfo.xml" > "$work/appstream.log" \
  || { cat "$work/appstream.log"; fail "the metainfo does not validate"; }
grep -qx "Exec=quillframe %f" "$prefix/share/applications/$id.desktop" || fail "Exec= changed"
for page in quillframe quillframe-cli; do
  text="$(gzip -dc "$prefix/share/man/man1/$page.1.gz")"
  for wanted in "^\.TH QUILLFRAME" "Line sketch" "Exit status" "SH \"SEE ALSO\""; do
    grep -q "$wanted" <<< "$text" || fail "$page(1) lacks '$wanted'"
  done
done

# Both programs answer --version and --help without a display.
"$cli" --version | grep -qx "quillframe-cli (Quillframe) [0-9.]*" || fail "quillframe-cli --version"
env -u DISPLAY -u WAYLAND_DISPLAY "$window" --version | grep -qx "quillframe (Quillframe) [0-9.]*" \
  || fail "quillframe --version"
env -u DISPLAY -u WAYLAND_DISPLAY "$window" --help | grep -q "^Usage: quillframe" || fail "quillframe --help"

# The installed command line converts the demo animation.
"$build/tools/make_demo_gif" "$work/demo.gif"
"$cli" convert "$work/demo.gif" "$work/sketch.gif" --variant 6 --quiet
# Same size, frame count, delays and loop count as the source.
timing() { "$cli" info "$1" | grep -E '^(size|frames|delays|loop):'; }
want="$(timing "$work/demo.gif")"
[ "$(wc -l <<< "$want")" -eq 4 ] && [ "$(timing "$work/sketch.gif")" = "$want" ] \
  || fail "the converted demo differs from its source in size, frames, delays or loop"

# The installed window starts under Xvfb and stays up until it is stopped
# (its own runtime folder keeps it clear of a window the user has open).
mkdir -p "$work/home" && mkdir -m 0700 "$work/runtime"
set +e
HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" timeout 10 xvfb-run -a "$window" > "$work/window.log" 2>&1
status=$?
set -e
[ "$status" -eq 124 ] || { cat "$work/window.log"; fail "the installed quillframe ended with $status"; }
echo "The install checks passed."
