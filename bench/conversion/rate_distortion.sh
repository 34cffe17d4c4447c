#!/usr/bin/env bash
# Size against fidelity, on the same rendered frames, for quillframe-cli's
# --quality levels, gifski's --quality levels and FFmpeg's palettegen /
# paletteuse with fewer and fewer colours.  gifski and FFmpeg are needed only
# here; neither is a dependency of the program.
#
#   bench/conversion/rate_distortion.sh CLI GIFSKI ANIMATION_DIR [VARIANTS] [LEVELS]
#
# GIFSKI is gifski 1.7's binary (npm install gifski@1.7.1 in a scratch folder:
# node_modules/gifski/bin/debian/gifski).  VARIANTS defaults to "2 6",
# LEVELS (ours and gifski's) to "100 99 95 90 80 70 50 30 10"; GIFSKI_LEVELS
# (in the environment) gives gifski other levels than ours, e.g. "90".  Every output is
# decoded with `quillframe-cli frames` and compared with the frames the
# converter rendered (psnr.py: over all pixels of all frames).  TOOLS (in the
# environment) picks among "ours gifski ffmpeg", all three by default.  With
# ours and gifski, a last line per case gives gifski's size at --quality 90
# and our PSNR at that size, read off our curve (straight lines between our
# levels; "inf" when our lossless output is no larger, "at least" the lower
# level's when gifski's size falls between it and our lossless output).
set -euo pipefail
cli="$(realpath "$1")"
gifski="$(realpath "$2")"
animations="$3"
variants="${4:-2 6}"
levels="${5:-100 99 95 90 80 70 50 30 10}"
gifski_levels="${GIFSKI_LEVELS:-$levels}"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
python=/usr/bin/python3
tools=" ${TOOLS:-ours gifski ffmpeg} "

# Prints "size-KB psnr" of the GIF $1 against $work/rendered.
measure() {
    rm -rf "$work/decoded"
    "$cli" frames "$1" "$work/decoded" --quiet >/dev/null
    local kb
    kb=$(awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.1f", b / 1024 }')
    local delays
    delays=$("$cli" info "$1" | sed -n 's/^delays: *\([0-9 ]*\).*/\1/p')
    echo "$kb $("$python" "$here/psnr.py" "$work/rendered" "$work/decoded" "$delays" | sed 's/psnr=\([^ ]*\).*/\1/')"
}

row() { printf "%-10s %7s %-8s %7s %9s %8s\n" "$@" | tee -a "$work/rows"; }

printf "%-10s %7s %-8s %7s %9s %8s\n" animation variant tool level "size KB" "PSNR dB"
for input in "$animations"/*.gif; do
    name="$(basename "$input" .gif)"
    for v in $variants; do
        rm -rf "$work/rendered"
        mkdir -p "$work/rendered"
        "$cli" convert "$input" "$work/ours.gif" --variant "$v" --quiet --png-frames "$work/rendered"
        width=$("$python" -c "from PIL import Image; print(Image.open('$work/rendered/frame-0001.png').width)")
        for q in $levels; do
            [[ $tools == *" ours "* ]] || break
            "$cli" convert "$input" "$work/ours.gif" --variant "$v" --quality "$q" --quiet
            read -r kb psnr < <(measure "$work/ours.gif")
            row "$name" "$v" ours "$q" "$kb" "$psnr"
        done
        for q in $gifski_levels; do
            [[ $tools == *" gifski "* ]] || break
            "$gifski" --quiet --quality "$q" -W "$width" -o "$work/gifski.gif" "$work"/rendered/frame-*.png
            read -r kb psnr < <(measure "$work/gifski.gif")
            row "$name" "$v" gifski "$q" "$kb" "$psnr"
        done
        for colours in 256 128 64 32 16; do
            [[ $tools == *" ffmpeg "* ]] || break
            ffmpeg -y -loglevel error -i "$work/rendered/frame-%04d.png" -filter_complex \
                "split[a][b];[a]palettegen=stats_mode=diff:max_colors=$colours[p];[b][p]paletteuse=dither=sierra2_4a:diff_mode=rectangle" \
                "$work/ffmpeg.gif"
            read -r kb psnr < <(measure "$work/ffmpeg.gif")
            row "$name" "$v" ffmpeg "$colours" "$kb" "$psnr"
        done
    done
done

[[ -s $work/rows ]] && "$python" - "$work/rows" <<'PY'
import collections, sys
curves = collections.defaultdict(list)
for line in open(sys.argv[1]):
    name, variant, tool, level, kb, psnr = line.split()
    curves[(name, variant, tool)].append((int(level), float(kb), float(psnr)))
for (name, variant, tool), points in sorted(curves.items()):
    target = [p for p in points if tool == "gifski" and p[0] == 90]
    ours = sorted((kb, psnr) for _, kb, psnr in curves.get((name, variant, "ours"), []))
    if not target or not ours:
        continue
    size, theirs = target[0][1], target[0][2]
    at, above = None, ""
    if size >= ours[-1][0]:
        at = ours[-1][1]
    elif size >= ours[0][0]:
        for (k0, p0), (k1, p1) in zip(ours, ours[1:]):
            if k0 <= size <= k1:
                at = p0 if k1 == k0 else p0 + (p1 - p0) * (size - k0) / (k1 - k0)
                if at == float("inf") and size < k1:
                    at, above = p0, "at least "  # no line to an exact output
                break
    if at is None:
        print("%-10s %7s at gifski q90's %.0f KB (%.2f dB): below our smallest output" % (name, variant, size, theirs))
    else:
        print("%-10s %7s at gifski q90's %.0f KB (%.2f dB): ours %s%.2f dB, %s%+.2f dB"
              % (name, variant, size, theirs, above, at, above, at - theirs))
PY
