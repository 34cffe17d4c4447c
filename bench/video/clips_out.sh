#!/usr/bin/env bash
# Video clips out: size and fidelity of an MP4 against the GIF, speed
# against the ffmpeg program's edge detection into H.264 with AAC sound,
# and byte budgets. The ffmpeg program (and python3-pil, python3-numpy for
# the PSNR) are needed only here, not by the program.
#
#   bench/video/clips_out.sh CLI FILM_DIR [REPEATS] [PART...]
#
# FILM_DIR holds what make_film.py makes. PART is any of size, speed,
# budgets (default all three). Times are the best of REPEATS runs (default 3).
# SIZE_CLIPS="a.mp4 b.mp4" measures the size of those clips in FILM_DIR
# (default film-horse.mp4); FORMATS="mp4 webm av1" picks the budgets' formats.
set -euo pipefail
cli="$(realpath "$1")"
films="$2"
repeats="${3:-3}"
shift $(( $# < 3 ? $# : 3 ))
parts="${*:-size speed budgets}"
here="$(dirname "$(realpath "$0")")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
film="$films/film-horse.mp4"

# The wall and processor seconds (user + system) of the run with the shortest wall time.
best_of() {
    local best="" cpu=""
    for _ in $(seq "$repeats"); do
        /usr/bin/time -f "%e %U %S" -o "$work/time" "$@" >/dev/null 2>&1
        read -r seconds user system <"$work/time"
        if [ -z "$best" ] || awk -v a="$seconds" -v b="$best" 'BEGIN { exit !(a < b) }'; then
            best=$seconds
            cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')
        fi
    done
    echo "$best $cpu"
}

# The clip's frames to RGB as a player shows them: the BT.709 video-range
# YUV the stream is tagged with, chroma interpolated.
to_rgb="scale=in_color_matrix=bt709:in_range=tv:flags=bicubic+accurate_rnd+full_chroma_int,format=rgb24"
# The rendered frames to YUV 4:2:0 as the writer converts them.
to_yuv="scale=out_color_matrix=bt709:out_range=tv:flags=bicubic+accurate_rnd+full_chroma_inp,format=yuv420p"

# PSNR of a clip's YUV against the reference's, as FFmpeg's psnr filter
# weighs the planes (4:1:1), from the mean squared error over all frames.
# Frames are paired by their number: a 24 fps clip's frames last 4 or 5
# hundredths in the clip, and pairing by time would compare neighbours.
yuv_psnr() {
    local by_number="setpts=N/(25*TB)"
    ffmpeg -v error -i "$1" -f rawvideo -pix_fmt yuv420p -s "$2" -framerate "$3" -i "$4" \
        -lavfi "[0:v]$by_number[a];[1:v]$by_number[b];[a][b]psnr=shortest=1:stats_file=-" -f null - 2>/dev/null | sed 's/[a-z_]*://g' |
        awk '{ s += $2; y += $3; u += $4; v += $5; n++ }
             END { f = 10 / log(10); printf "%.2f dB (Y %.2f, U %.2f, V %.2f; %d frames)", f * log(65025 * n / s),
                   f * log(65025 * n / y), f * log(65025 * n / u), f * log(65025 * n / v), n }'
}

if [[ " $parts " == *" size "* ]]; then
    # SIZE_CLIPS: the clips (names in FILM_DIR) measured, film-horse.mp4 by default.
    for name in ${SIZE_CLIPS:-film-horse.mp4}; do
        clip="$films/$name"
        echo "== size: $clip, variant 5, default quality"
        rm -rf "$work/rendered" "$work/mp4" "$work/plain"
        mkdir -p "$work/rendered" "$work/mp4" "$work/plain"
        "$cli" convert -q "$clip" "$work/out.gif" --variant 5
        "$cli" convert -q "$clip" "$work/out.mp4" --variant 5 --png-frames "$work/rendered"
        "$cli" convert -q "$clip" "$work/out.webm" --variant 5
        "$cli" convert -q "$clip" "$work/out-av1.webm" --variant 5 --codec av1
        ffmpeg -v error -i "$work/out.mp4" -vf "$to_rgb" -vsync passthrough -start_number 1 "$work/mp4/frame-%04d.png"
        fps=$(ffprobe -v error -select_streams v -show_entries stream=r_frame_rate -of csv=p=0 "$clip")
        size=$(ffprobe -v error -select_streams v -show_entries stream=width,height -of csv=s=x:p=0 "$work/out.mp4")
        ffmpeg -v error -y -framerate "$fps" -i "$work/rendered/frame-%04d.png" -vf "$to_yuv" -f rawvideo "$work/ref.yuv"
        # No encoder at all: the rendered frames through YUV 4:2:0 and back.
        ffmpeg -v error -f rawvideo -pix_fmt yuv420p -s "$size" -i "$work/ref.yuv" -vf "$to_rgb" -start_number 1 \
            "$work/plain/frame-%04d.png"
        gif=$(stat -c %s "$work/out.gif"); mp4=$(stat -c %s "$work/out.mp4"); webm=$(stat -c %s "$work/out.webm")
        av1=$(stat -c %s "$work/out-av1.webm")
        printf "%-6s %12s %8s %s\n" format bytes "of GIF" "against the rendered frames: RGB; YUV 4:2:0"
        printf "%-6s %12d %8s\n" GIF "$gif" "1"
        printf "%-6s %12d %8.3f %s; %s\n" MP4 "$mp4" "$(awk -v a="$mp4" -v b="$gif" 'BEGIN { print a / b }')" \
            "$(/usr/bin/python3 "$here/../conversion/psnr.py" "$work/rendered" "$work/mp4")" \
            "$(yuv_psnr "$work/out.mp4" "$size" "$fps" "$work/ref.yuv")"
        printf "%-6s %12d %8.3f %s\n" WebM "$webm" "$(awk -v a="$webm" -v b="$gif" 'BEGIN { print a / b }')" \
            "$(yuv_psnr "$work/out.webm" "$size" "$fps" "$work/ref.yuv")"
        printf "%-6s %12d %8.3f %s\n" "AV1" "$av1" "$(awk -v a="$av1" -v b="$gif" 'BEGIN { print a / b }')" \
            "$(yuv_psnr "$work/out-av1.webm" "$size" "$fps" "$work/ref.yuv")"
        printf "%-6s %12s %8s %s\n" "4:2:0" "" "" \
            "$(/usr/bin/python3 "$here/../conversion/psnr.py" "$work/rendered" "$work/plain")"
    done
fi

if [[ " $parts " == *" speed "* ]]; then
    echo "== speed: convert FILM out.mp4 --variant 5 against ffmpeg edgedetect -> libx264 (slow, crf 22.8, as the writer) + AAC"
    read -r ours ours_cpu < <(best_of "$cli" convert -q "$film" "$work/speed.mp4" --variant 5)
    read -r theirs theirs_cpu < <(best_of ffmpeg -y -v error -i "$film" -vf edgedetect=mode=colormix -c:v libx264 -preset slow -crf 22.8 \
        -pix_fmt yuv420p -c:a aac -b:a 128k "$work/ffmpeg.mp4")
    printf "wall: ours %.2f s, ffmpeg %.2f s, ours/ffmpeg %.2f; processor: ours %.2f s, ffmpeg %.2f s, ours/ffmpeg %.2f (best of %d; load %s)\n" \
        "$ours" "$theirs" "$(awk -v a="$ours" -v b="$theirs" 'BEGIN { print a / b }')" \
        "$ours_cpu" "$theirs_cpu" "$(awk -v a="$ours_cpu" -v b="$theirs_cpu" 'BEGIN { print a / b }')" \
        "$repeats" "$(cut -d' ' -f1-3 /proc/loadavg)"
fi

if [[ " $parts " == *" budgets "* ]]; then
    echo "== budgets: 8 from 5% to 80% of the plain size, variant 5"
    printf "%-16s %6s %10s %10s %7s %s\n" clip share budget bytes "of it" "settings"
    for clip in "$films/film-horse.mp4" "$films/film-castle.mp4"; do
        # av1: a WebM with --codec av1.
        for kind in ${FORMATS:-mp4 webm av1}; do
            format=$kind; codec=()
            [ "$kind" = av1 ] && format=webm && codec=(--codec av1)
            "$cli" convert -q "$clip" "$work/plain.$format" --variant 5 "${codec[@]}"
            plain=$(stat -c %s "$work/plain.$format")
            for share in 5 10 20 30 40 50 65 80; do
                budget=$(( plain * share / 100 ))
                line=$("$cli" convert "$clip" "$work/fit.$format" --variant 5 "${codec[@]}" --max-bytes "$budget" 2>&1 | tail -1)
                bytes=$(stat -c %s "$work/fit.$format" 2>/dev/null || echo 0)
                printf "%-16s %5s%% %10d %10d %6.1f%% %s\n" "$(basename "$clip" .mp4).$kind" "$share" "$budget" \
                    "$bytes" "$(awk -v a="$bytes" -v b="$budget" 'BEGIN { print 100 * a / b }')" "${line#*: }"
                rm -f "$work/fit.$format"
            done
        done
    done
fi
