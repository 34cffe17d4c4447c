#!/usr/bin/env bash
# Peak memory of a conversion does not grow with the frame count: converts a
# 30-frame and a 300-frame 960 x 720 demo animation with quillframe-cli under
# /usr/bin/time -v and compares their maximum resident set sizes (target:
# within 20% of each other).
#
#   bench/pipeline/peak_memory.sh [BUILD_DIR] [THREADS] [VARIANT]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build}"
threads="${2:-0}"
variant="${3:-6}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cli="$build/src/cli/quillframe-cli"
maker="$build/tools/make_demo_gif"

peak_kib() {
    /usr/bin/time -v "$@" 2>"$work/time.txt" >/dev/null
    sed -n 's/.*Maximum resident set size (kbytes): *//p' "$work/time.txt"
}

declare -A peak
for frames in 30 300; do
    "$maker" "$work/in-$frames.gif" 960 720 "$frames"
    start=$(date +%s.%N)
    peak[$frames]=$(peak_kib "$cli" convert "$work/in-$frames.gif" "$work/out-$frames.gif" \
        --variant "$variant" --threads "$threads" --quiet)
    end=$(date +%s.%N)
    awk -v f="$frames" -v k="${peak[$frames]}" -v s="$start" -v e="$end" \
        'BEGIN { printf "%4d frames: peak %7d KiB, %6.1f s\n", f, k, e - s }'
done
awk -v a="${peak[30]}" -v b="${peak[300]}" \
    'BEGIN { printf "300-frame peak / 30-frame peak = %.3f (target <= 1.20)\n", b / a }'
