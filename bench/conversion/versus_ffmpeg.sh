#!/usr/bin/env bash
# Converts real animations with quillframe-cli and, in the same run, with an
# FFmpeg edge-detection-and-palette command, and prints the times, the ratios,
# peak memory and output sizes.  FFmpeg is needed only here; it is not a
# dependency of the program.
#
#   bench/conversion/versus_ffmpeg.sh CLI ANIMATION_DIR [VARIANTS] [THREADS] [REPEATS]
#
# ANIMATION_DIR holds the inputs (*.gif; make_animations.py makes a set from
# pictures in Debian packages).  VARIANTS defaults to "0 2 6 9", THREADS to
# "1 2"; each time is the best of REPEATS runs (default 3).  With QUALITY=1
# each conversion is also checked against its exact rendered frames
# (quality.py: exactness of <= 256-colour frames, PSNR of the others). With
# BEFORE=OTHER_CLI another build is timed on each case too, in turn with
# this one, and the last column gives its time over this one's.
set -euo pipefail
cli="$(realpath "$1")"
animations="$2"
variants="${3:-0 2 6 9}"
threads="${4:-1 2}"
repeats="${5:-3}"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
command -v ffmpeg >/dev/null || { echo "ffmpeg is not installed (apt-get install ffmpeg)" >&2; exit 1; }

# Prints "seconds peak-KiB cpu-seconds" of the fastest of $repeats runs of
# the command (its wall time and its user + system time).
best_of() {
    local best="" peak=0 cpu=""
    for _ in $(seq "$repeats"); do
        /usr/bin/time -f "%e %M %U %S" -o "$work/time" "$@" >/dev/null 2>&1
        read -r seconds kib user system <"$work/time"
        if [ -z "$best" ] || awk -v a="$seconds" -v b="$best" 'BEGIN { exit !(a < b) }'; then
            best=$seconds
            cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')
        fi
        [ "$kib" -gt "$peak" ] && peak=$kib
    done
    echo "$best $peak $cpu"
}

printf "%-10s %7s %7s %8s %7s %8s %9s %8s %9s %-50s %s\n" animation variant threads seconds "cpu s" "peak MB" \
    "size KB" "ffmpeg s" "ffmpeg/us" quality "before/us"
for input in "$animations"/*.gif; do
    name="$(basename "$input" .gif)"
    read -r ffmpeg_s _ _ < <(best_of ffmpeg -y -loglevel error -i "$input" -filter_complex \
        "edgedetect=mode=colormix:high=0,split[a][b];[a]palettegen=stats_mode=diff[p];[b][p]paletteuse=dither=bayer" \
        "$work/ffmpeg.gif")
    for v in $variants; do
        for t in $threads; do
            read -r ours peak cpu < <(best_of "$cli" convert "$input" "$work/out.gif" --variant "$v" --threads "$t" --quiet)
            size=$(stat -c %s "$work/out.gif")
            quality=""
            if [ "${QUALITY:-0}" = 1 ]; then
                rm -rf "$work/rendered" "$work/decoded"
                mkdir -p "$work/rendered" "$work/decoded"
                "$cli" convert "$input" "$work/q.gif" --variant "$v" --threads "$t" --quiet --png-frames "$work/rendered"
                "$cli" frames "$work/q.gif" "$work/decoded" --quiet >/dev/null
                quality="$(/usr/bin/python3 "$here/quality.py" "$work/rendered" "$work/decoded")"
            fi
            before=""
            if [ -n "${BEFORE:-}" ]; then
                read -r before_s _ _ < <(best_of "$BEFORE" convert "$input" "$work/before.gif" --variant "$v" --threads "$t" --quiet)
                before=$(awk -v b="$before_s" -v s="$ours" 'BEGIN { printf "%.2f / %.2f = %.2f", b, s, b / s }')
            fi
            awk -v n="$name" -v v="$v" -v t="$t" -v s="$ours" -v c="$cpu" -v p="$peak" -v z="$size" -v f="$ffmpeg_s" \
                -v q="$quality" -v b="$before" 'BEGIN { printf "%-10s %7d %7d %8.2f %7.2f %8.1f %9.1f %8.2f %9.2f %-50s %s\n",
                                         n, v, t, s, c, p / 1024, z / 1024, f, f / s, q, b }'
        done
    done
done
