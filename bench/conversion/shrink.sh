#!/usr/bin/env bash
# Large GIFs shrunk, as users shrink screen recordings and film to share
# them: CPU seconds, wall seconds and peak memory of two builds of the
# command line, best of three taken in turn, and whether their outputs are
# the same bytes. The GIFs are made with FFmpeg from a Debian wallpaper and
# the film footage of make_estimate_inputs.sh:
#   still-1080.gif   a 1920 x 1080 screen holding still, 20 s at 30 fps
#                    (600 frames; after the first, each holds only the
#                    rectangle that changed, as screen recorders write them)
#   pointer-1080.gif the same screen with a pointer that moves and rests
#                    (8 s at 30 fps)
#   film-1080.gif    2 s of the 1080p film footage at 24 fps (every pixel
#                    changes every frame)
#
#   bench/conversion/shrink.sh CLI BEFORE_CLI FILM_1080 [DIR] [CONVERT OPTIONS...]
# FILM_1080: film-1080.mp4 of make_estimate_inputs.sh. Options default to
# --variant 6 --max-size 640x640.
set -euo pipefail
cli=$(realpath "$1")
before=$(realpath "$2")
film=$(realpath "$3")
dir=${4:-/tmp/shrink}
shift $(($# < 4 ? $# : 4))
options=("$@")
[ ${#options[@]} -gt 0 ] || options=(--variant 6 --max-size 640x640)
mkdir -p "$dir" && cd "$dir"
wall=/usr/share/wallpapers/Autumn/contents/images/1920x1080.jpg
ff() { ffmpeg -loglevel error -y "$@"; }
# gif NAME GRAPH INPUT OPTIONS...: the frames GRAPH makes of the inputs,
# with a palette for the whole, each frame cut to the rectangle that
# changed (two passes, so that no frame is held for the second).
gif() {
    local name=$1 graph=$2
    shift 2
    [ -e "$name" ] && return
    local inputs
    inputs=$(printf '%s\n' "$@" | grep -c '^-i$')
    ff "$@" -filter_complex "$graph,palettegen=stats_mode=diff" palette.png
    ff "$@" -i palette.png -filter_complex "$graph[v];[v][$inputs:v]paletteuse=diff_mode=rectangle" "$name"
}
gif still-1080.gif "[0:v]scale=1920:1080,format=rgb24" -loop 1 -framerate 30 -t 20 -i "$wall"
# The pointer: a white arrow-sized block that glides for a second, then
# rests for one, each time a little lower.
gif pointer-1080.gif \
    "[0:v]scale=1920:1080[s];[s][1:v]overlay=x='200+300*min(mod(t,2),1)+300*floor(t/2)':y='400+40*floor(t/2)':shortest=1,format=rgb24" \
    -loop 1 -framerate 30 -t 8 -i "$wall" -f lavfi -i "color=white:s=14x20:r=30"
gif film-1080.gif "[0:v]fps=24" -t 2 -i "$film"

# "CPU WALL PEAK_MB" of one run.
measure() {
    /usr/bin/time -f "%U %S %e %M" -o time.txt "$@" >/dev/null 2>&1
    awk '{ printf "%.2f %.2f %d\n", $1 + $2, $3, $4 / 1024 }' time.txt
}
best() { sort -n | head -1; }
echo "options: ${options[*]}"
echo "| input | frames | before: CPU s, wall s, peak MB | after | same bytes |"
echo "|---|---|---|---|---|"
for input in still-1080.gif pointer-1080.gif film-1080.gif; do
    : >before.txt
    : >after.txt
    for _ in 1 2 3; do
        measure "$before" convert "$input" before.gif -q "${options[@]}" >>before.txt
        measure "$cli" convert "$input" after.gif -q "${options[@]}" >>after.txt
    done
    same=$(cmp -s before.gif after.gif && echo yes || echo NO)
    frames=$("$cli" info "$input" | awk '/^frames/ { print $2 }')
    printf '| %s | %s | %s | %s | %s |\n' "$input" "$frames" "$(best <before.txt | tr ' ' ,)" \
        "$(best <after.txt | tr ' ' ,)" "$same"
done
