#!/usr/bin/env bash
# What reading a clip costs its estimate: the CPU seconds of decoding every
# picture the others refer to, through the whole clip (FFmpeg with
# -skip_frame noref). That is what the reader decodes to reach blocks
# spread to the end of a clip whose pictures all hang on one key picture;
# with key pictures more often it seeks past the stretches between blocks.
# Beside it: a plain conversion, the estimate's first line alone (with a
# budget the best settings fit, so that no search runs) and the whole
# --estimate with its four budget lines. Each figure is the mean of RUNS
# runs.
#
#   bench/conversion/reading_share.sh CLI DIR [RUNS] [CLIP...]
set -euo pipefail
cli="$(realpath "$1")"
dir="$2"
runs="${3:-2}"
shift $(($# < 3 ? $# : 3))
clips=("$@")
[ ${#clips[@]} -gt 0 ] || clips=("film-4s.mp4 6" "film-horse.mp4 5" "film-castle.mp4 6" "phone-turned.mp4 5"
    "dark.mp4 6" "still-screen.mp4 6" "film-1080.mp4 6")
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cpu() { # mean CPU seconds of RUNS runs of the command
    local total=0 i
    for ((i = 0; i < runs; ++i)); do
        /usr/bin/time -f "%U %S" -o "$work/time" "$@" >/dev/null 2>&1
        total=$(awk -v t="$total" '{ print t + $1 + $2 }' "$work/time")
    done
    awk -v t="$total" -v n="$runs" 'BEGIN { printf "%.2f", t / n }'
}

echo "| clip | variant | conversion | decoding | first line | --estimate |"
echo "|---|---|---|---|---|---|"
for c in "${clips[@]}"; do
    read -r name variant <<<"$c"
    in="$dir/$name"
    plain=$(cpu "$cli" convert "$in" "$work/o.gif" --variant "$variant" --threads 2 --quiet)
    decode=$(cpu ffmpeg -v error -threads 2 -skip_frame noref -i "$in" -an -f null -)
    first=$(cpu "$cli" convert "$in" "$work/e.gif" --variant "$variant" --threads 2 --estimate --max-bytes 4G)
    whole=$(cpu "$cli" convert "$in" "$work/e.gif" --variant "$variant" --threads 2 --estimate)
    awk -v n="$name" -v v="$variant" -v p="$plain" -v d="$decode" -v f="$first" -v w="$whole" 'BEGIN {
        printf "| %s | %s | %.2f s | %.2f s (%.0f%%) | %.2f s (%.0f%%) | %.2f s (%.0f%%) |\n",
            n, v, p, d, 100 * d / p, f, 100 * f / p, w, 100 * w / p }'
done
