#!/usr/bin/env bash
# Film footage into a GIF: quillframe-cli against the ffmpeg program's edge
# detection with a palette made for the whole clip (palettegen, paletteuse),
# wall and processor (user + system) time of each, best of REPEATS runs
# taken in turn, with the output's size. The ffmpeg program is needed only here.
# FFMPEG=plain (the default) times its plain edge + palettegen/paletteuse
# command; FFMPEG=colormix the slower one with colour edges, a palette of
# the frames' differences and ordered dithering.
#
#   bench/video/film_vs_ffmpeg.sh CLI CLIP... [-- VARIANTS]
#
# Each CLIP is converted at its own size (--max-size big enough to keep it),
# frame rate and variant; VARIANTS defaults to "0 5 6". REPEATS (default 3)
# and QUALITY (default: the program's) come from the environment; with
# BEFORE=OTHER_CLI another build is timed too, in turn with this one.
set -euo pipefail
cli="$(realpath "$1")"
shift
clips=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do clips+=("$1"); shift; done
[ "${1:-}" = "--" ] && shift
variants="${*:-0 5 6}"
case "${FFMPEG:-plain}" in
plain) filter="edgedetect,split[a][b];[a]palettegen[p];[b][p]paletteuse" ;;
colormix)
    filter="edgedetect=mode=colormix:high=0,split[a][b];[a]palettegen=stats_mode=diff[p];[b][p]paletteuse=dither=bayer"
    ;;
*) echo "FFMPEG is plain or colormix" >&2; exit 2 ;;
esac
repeats="${REPEATS:-3}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
command -v ffmpeg >/dev/null || { echo "ffmpeg is not installed (apt-get install ffmpeg)" >&2; exit 1; }

# Runs "$@" once and keeps, in best_$1, the fastest "wall cpu" so far.
declare -A best
timed() {
    local name=$1
    shift
    /usr/bin/time -f "%e %U %S" -o "$work/time" "$@" >/dev/null 2>&1
    read -r seconds user system <"$work/time"
    local cpu
    cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')
    if [ -z "${best[$name]:-}" ] || awk -v a="$seconds" -v b="${best[$name]%% *}" 'BEGIN { exit !(a < b) }'; then
        best[$name]="$seconds $cpu"
    fi
}

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg); ffmpeg: ${FFMPEG:-plain}"
printf "%-16s %3s %8s %7s %9s %8s %7s %9s %9s %s\n" clip v "ours s" "cpu s" "size KB" "ffmpeg s" "cpu s" "size KB" \
    "ffmpeg/us" "${BEFORE:+before s, cpu s}"
quality=()
[ -n "${QUALITY:-}" ] && quality=(--quality "$QUALITY")
for clip in "${clips[@]}"; do
    size=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0:s=x "$clip")
    for v in $variants; do
        # The programs take turns, so that a change in the machine's load
        # falls on each of them alike.
        best=()
        for _ in $(seq "$repeats"); do
            timed ours "$cli" convert "$clip" "$work/ours.gif" --variant "$v" --max-size "$size" --quiet "${quality[@]}"
            timed ffmpeg ffmpeg -y -loglevel error -i "$clip" -filter_complex "$filter" "$work/ffmpeg.gif"
            [ -n "${BEFORE:-}" ] && timed before "$BEFORE" convert "$clip" "$work/before.gif" --variant "$v" \
                --max-size "$size" --quiet "${quality[@]}"
        done
        read -r ours ours_cpu <<<"${best[ours]}"
        read -r theirs theirs_cpu <<<"${best[ffmpeg]}"
        ours_kb=$(( $(stat -c %s "$work/ours.gif") / 1024 ))
        theirs_kb=$(( $(stat -c %s "$work/ffmpeg.gif") / 1024 ))
        awk -v n="$(basename "$clip")" -v v="$v" -v s="$ours" -v c="$ours_cpu" -v k="$ours_kb" -v f="$theirs" \
            -v d="$theirs_cpu" -v j="$theirs_kb" -v b="${best[before]:-}" \
            'BEGIN { printf "%-16s %3d %8.2f %7.2f %9d %8.2f %7.2f %9d %9.2f %s\n", n, v, s, c, k, f, d, j, f / s, b }'
    done
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
