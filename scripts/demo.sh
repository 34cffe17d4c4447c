#!/usr/bin/env bash
# From a fresh Debian 12 machine to the main job on the bundled demo:
# installs the dependencies, builds Quillframe, draws the demo animation,
# converts it with a few variants and writes the 17 snapshots and their
# contact sheet. Everything lands in demo-output/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QF_BUILD_DIR:-$root/build}"
out="$root/demo-output"

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" -DQF_BUILD_BENCH=OFF

cli="$build/src/cli/quillframe-cli"
mkdir -p "$build/demo" "$out"
"$build/tools/make_demo_gif" "$build/demo/demo.gif"
cp "$build/demo/demo.gif" "$out/demo.gif"

"$cli" info "$out/demo.gif"
echo "Converting the demo animation..."
"$cli" convert "$out/demo.gif" "$out/demo-line-sketch.gif" --variant 0
"$cli" convert "$out/demo.gif" "$out/demo-pencil-on-paper.gif" --variant 2
"$cli" convert "$out/demo.gif" "$out/demo-colour-sketch-with-dots.gif" --variant 6
"$cli" convert "$out/demo.gif" "$out/demo-poster-with-dots.gif" --variant 10
echo "Rendering the 17 snapshots of frame 1..."
"$cli" snapshots "$out/demo.gif" "$out/snapshots"

echo
echo "Done. The results are in $out:"
echo "  demo.gif                            the source animation"
echo "  demo-line-sketch.gif                variant 0"
echo "  demo-pencil-on-paper.gif            variant 2 (the paper grain moves every 3 frames)"
echo "  demo-colour-sketch-with-dots.gif    variant 6"
echo "  demo-poster-with-dots.gif           variant 10"
echo "  snapshots/variant-00.png ... -16.png  frame 1 in each variant"
echo "  snapshots/sheet.png                 all 17 variants of frame 1 side by side"
