#!/usr/bin/env bash
# Video clips in: quillframe-cli against the ffmpeg program's edge-detection
# and palette command on the same clip, peak memory by clip length, and the
# total duration of the output against the span asked for. The ffmpeg
# program is needed only here (to make the clips and as the peer); it is not
# a dependency of the program.
#
#   bench/video/versus_ffmpeg.sh CLI CLIP_DIR [REPEATS]
#
# CLIP_DIR holds what make_clips.py makes (both of its runs). Each time is
# the best of REPEATS runs (default 1); both programs run on 2 threads.
# SPEED_ONLY=1 stops after the speed comparison.
set -euo pipefail
cli="$(realpath "$1")"
clips="$2"
repeats="${3:-1}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
command -v ffmpeg >/dev/null || { echo "ffmpeg is not installed (apt-get install ffmpeg)" >&2; exit 1; }

# "seconds peak-KiB cpu-seconds" of the fastest of $repeats runs (its wall
# time, and its user + system time).
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

# Total duration of a GIF in seconds, from the delays `info` prints.
duration() { "$cli" info "$1" | awk '/^duration:/ { print $2 }'; }

echo "== convert CLIP out.gif --fps 15 --max-size 480x480 --variant 6 --threads 2, against ffmpeg -threads 2"
printf "%-14s %9s %7s %9s %10s %7s %10s %9s\n" clip "ours s" "cpu s" "peak MB" "ffmpeg s" "cpu s" "peak MB" \
    "ffmpeg/us"
for clip in "$clips"/pan-10s.mp4 "$clips"/pan-10s.webm; do
    read -r ours ours_kib ours_cpu < <(best_of "$cli" convert "$clip" "$work/ours.gif" --fps 15 --max-size 480x480 \
        --variant 6 --threads 2 --quiet)
    read -r theirs theirs_kib theirs_cpu < <(best_of ffmpeg -y -loglevel error -threads 2 -i "$clip" -filter_threads 2 \
        -filter_complex "fps=15,scale=480:-1,edgedetect=mode=colormix:high=0,split[a][b];[a]palettegen=stats_mode=diff[p];[b][p]paletteuse=dither=bayer" \
        "$work/ffmpeg.gif")
    awk -v n="$(basename "$clip")" -v s="$ours" -v c="$ours_cpu" -v p="$ours_kib" -v f="$theirs" \
        -v d="$theirs_cpu" -v q="$theirs_kib" \
        'BEGIN { printf "%-14s %9.2f %7.2f %9.1f %10.2f %7.2f %10.1f %9.2f\n", n, s, c, p / 1024, f, d, q / 1024, f / s }'
done
[ "${SPEED_ONLY:-0}" = 1 ] && exit 0

echo "== peak memory by clip length (convert --variant 6 --threads 2)"
for clip in "$clips"/pan-10s.mp4 "$clips"/pan-60s.mp4; do
    read -r seconds kib < <(best_of "$cli" convert "$clip" "$work/len.gif" --variant 6 --threads 2 --quiet)
    awk -v n="$(basename "$clip")" -v s="$seconds" -v p="$kib" 'BEGIN { printf "%-14s %8.2f s %9.1f MB\n", n, s, p / 1024 }'
done

echo "== total duration against the span (variant 0, at most 160x160)"
for clip in "$clips"/rate-*.mp4; do
    rate=$(basename "$clip" .mp4); rate=${rate#rate-}
    "$cli" convert "$clip" "$work/span.gif" --start 0.5 --end 3.5 --variant 0 --max-size 160x160 --quiet
    "$cli" convert "$clip" "$work/all.gif" --fps "$(( rate > 50 ? 50 : rate ))" --variant 0 --max-size 160x160 --quiet
    awk -v n="$(basename "$clip")" -v a="$(duration "$work/span.gif")" -v b="$(duration "$work/all.gif")" \
        'function off(x, y) { x -= y; return (x < 0 ? -x : x) * 1000 }
         BEGIN { printf "%-12s --start 0.5 --end 3.5: %.2f s (off by %.0f ms); --fps own rate, 4 s clip: %.2f s (off by %.0f ms)\n",
                 n, a, off(a, 3), b, off(b, 4) }'
done
