#!/usr/bin/env bash
# Batch conversion keeps the cores busy between files: converts 20 copies of
# the demo animation (320 x 240, 32 frames) in one quillframe-cli process,
# one long demo animation with the same number of frames (640), and the 20
# copies in 20 separate runs, and prints the frames per second of each (best
# of RUNS). Target: the batch reaches at least 90% of the long conversion.
#
# Then the size of animated WebP output against GIF, for the demo and for a
# photographic animation: a 320 x 240 window panned over the horse photo of
# the jigzo-data package (the top-left 640 x 480 of horse-4x3.pzl's picture),
# made by tools/make_pan_gif.
#
#   bench/cli/batch.sh [BUILD_DIR] [THREADS] [VARIANT] [RUNS]   (default build 2 6 3)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build}"
threads="${2:-2}"
variant="${3:-6}"
runs="${4:-3}"
copies=20
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cli="$build/src/cli/quillframe-cli"
"$build/tools/make_demo_gif" "$work/demo.gif" 320 240 32
"$build/tools/make_demo_gif" "$work/long.gif" 320 240 $((copies * 32))
mkdir -p "$work/copies" "$work/out"
for i in $(seq -w 1 $copies); do cp "$work/demo.gif" "$work/copies/demo-$i.gif"; done
frames=$((copies * 32))

# Best wall-clock time in seconds of RUNS runs of a command.
best_time() {
    local best="" start end
    for _ in $(seq "$runs"); do
        start=$(date +%s.%N)
        "$@"
        end=$(date +%s.%N)
        best=$(awk -v b="$best" -v s="$start" -v e="$end" 'BEGIN { t = e - s; print (b == "" || t < b) ? t : b }')
    done
    echo "$best"
}
separate_runs() {
    for f in "$work"/copies/*.gif; do
        "$cli" convert "$f" "$work/out/$(basename "$f")" --variant "$variant" --threads "$threads" --quiet
    done
}

batch=$(best_time "$cli" convert "$work"/copies/*.gif --out-dir "$work/out" --variant "$variant" \
    --threads "$threads" --quiet)
long=$(best_time "$cli" convert "$work/long.gif" "$work/out/long.gif" --variant "$variant" \
    --threads "$threads" --quiet)
separate=$(best_time separate_runs)
awk -v n="$frames" -v b="$batch" -v l="$long" -v s="$separate" -v t="$threads" -v v="$variant" 'BEGIN {
    printf "variant %d, %d threads, %d frames each way (best of runs):\n", v, t, n
    printf "  one long conversion      %6.2f s  %6.1f frames/s\n", l, n / l
    printf "  20 files in one process  %6.2f s  %6.1f frames/s  (%.0f%% of the long one; target >= 90%%)\n", b, n / b, 100 * l / b
    printf "  20 separate runs         %6.2f s  %6.1f frames/s  (%.0f%% of the long one)\n", s, n / s, 100 * l / s
}'

# Sizes of WebP against GIF.
sizes() { # NAME INPUT
    local name="$1" input="$2" gif webp lossy
    "$cli" convert "$input" "$work/size.gif" --variant "$variant" --quiet
    "$cli" convert "$input" "$work/size.webp" --variant "$variant" --quiet
    "$cli" convert "$input" "$work/size-q80.webp" --variant "$variant" --quality 80 --quiet
    gif=$(stat -c %s "$work/size.gif"); webp=$(stat -c %s "$work/size.webp"); lossy=$(stat -c %s "$work/size-q80.webp")
    awk -v n="$name" -v g="$gif" -v w="$webp" -v q="$lossy" 'BEGIN {
        printf "  %-28s GIF %8d B   WebP lossless %8d B (%.2fx)   WebP --quality 80 %8d B (%.2fx)\n", n, g, w, w / g, q, q / g }'
}
echo "output size, variant $variant:"
sizes "demo (32 frames)" "$work/demo.gif"
photo=/usr/share/games/jigzo/puzzles/00_default/horse-4x3.pzl
if [ -f "$photo" ]; then
    # The puzzle file holds a thumbnail and then the picture, each a JPEG.
    offset=$(LC_ALL=C grep -obUaP '\xFF\xD8\xFF' "$photo" | awk -F: 'NR == 2 { print $1 }')
    tail -c +$((offset + 1)) "$photo" >"$work/horse.jpg"
    "$build/tools/make_pan_gif" "$work/horse.jpg" "$work/horse.gif" 320 240 32 640 480
    sizes "horse photo (32 frames)" "$work/horse.gif"
else
    echo "  (the photographic animation needs the jigzo-data package: apt-get install jigzo-data)"
fi
