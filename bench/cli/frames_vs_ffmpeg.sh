#!/usr/bin/env bash
# The frames command against FFmpeg writing the same frames as PNG files:
# processor time (user + system, best of RUNS), wall time of that run and
# the bytes written, for each input given (a GIF, a clip).
#
#   bench/cli/frames_vs_ffmpeg.sh CLI RUNS INPUT...
set -euo pipefail
cli="$(realpath "$1")"
runs="$2"
shift 2
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Best of runs of a command writing into $work/out: "cpu wall bytes".
best() {
    local top=""
    for _ in $(seq "$runs"); do
        rm -rf "$work/out" && mkdir "$work/out"
        /usr/bin/time -f "%U %S %e" -o "$work/time" "$@" > /dev/null 2>&1
        read -r user system wall < "$work/time"
        local cpu; cpu=$(echo "$user + $system" | bc)
        local bytes; bytes=$(du -sb "$work/out" | cut -f1)
        if [ -z "$top" ] || (($(echo "$cpu < ${top%% *}" | bc))); then top="$cpu $wall $bytes"; fi
    done
    echo "$top"
}

echo "| input | frames: CPU s, wall s, MB | FFmpeg: CPU s, wall s, MB |"
echo "|---|---|---|"
for input in "$@"; do
    read -r qc qw qb <<<"$(best "$cli" frames -q "$input" "$work/out")"
    read -r fc fw fb <<<"$(best ffmpeg -loglevel error -i "$input" "$work/out/%04d.png")"
    awk -v n="$(basename "$input")" -v qc="$qc" -v qw="$qw" -v qb="$qb" -v fc="$fc" -v fw="$fw" -v fb="$fb" \
        'BEGIN { printf "| %s | %.1f, %.1f, %.1f | %.1f, %.1f, %.1f |\n", n, qc, qw, qb / 1e6, fc, fw, fb / 1e6 }'
done
