#!/usr/bin/env bash
# The estimate against the real size and its cost, on the inputs of
# make_estimate_inputs.sh, as rows of a table: input, variant, the first
# line's size, the size a plain conversion writes, the error, and the CPU
# seconds of --estimate (with its four budget lines) against the plain
# conversion's.
#
#   bench/conversion/estimate_table.sh CLI DIR [THREADS]
set -euo pipefail
here="$(dirname "$(realpath "$0")")"
cli="$(realpath "$1")"
dir="$2"
threads="${3:-2}"
cases=(
    "panorama.gif 6" "panorama.gif 12" "panorama-delay0.gif 0" "photo.gif 2" "photo.gif 6"
    "screen.gif 0" "screen-40.gif 12" "small-colour.gif 6" "small-colour.gif 2" "film-4s.mp4 6"
    "film-4s.mp4 0" "still-screen.mp4 6" "still-screen.mp4 0" "phone-turned.mp4 5" "dark.mp4 6"
    "screen.gif 12" "film-castle.mp4 6" "film-horse.mp4 5"
)
echo "| input | variant | estimate | real | error | estimate CPU / conversion CPU |"
echo "|---|---|---|---|---|---|"
for c in "${cases[@]}"; do
    read -r name variant <<<"$c"
    out="$("$here/estimate.sh" "$cli" "$variant" "$threads" "$dir/$name")"
    line="${out%%$'\n'*}"
    # "NAME: plain P s CPU (M MB), estimate E s CPU (M MB), R% of the plain time; about S, real X MB (B bytes)"
    plain=$(sed 's/.*: plain \([0-9.]*\) s.*/\1/' <<<"$line")
    est=$(sed 's/.*, estimate \([0-9.]*\) s.*/\1/' <<<"$line")
    said=$(sed 's/.*; about \(.*\), real .*/\1/' <<<"$line")
    real=$(sed 's/.*(\([0-9]*\) bytes).*/\1/' <<<"$line")
    bytes=$(awk -v s="$said" 'BEGIN {
        n = s + 0; u = s; sub(/^[0-9.]+ */, "", u)
        m = u == "kB" ? 1024 : u == "MB" ? 1048576 : u == "GB" ? 1073741824 : 1
        print n * m }')
    awk -v n="$name" -v v="$variant" -v s="$said" -v b="$bytes" -v r="$real" -v e="$est" -v p="$plain" 'BEGIN {
        share = p > 0 ? sprintf("%.0f%%", 100 * e / p) : "too short to time"
        printf "| %s | %s | %s | %d B | %+.1f%% | %.2f / %.2f s (%s) |\n", n, v, s, r, 100 * (b - r) / r, e, p,
            share }'
done
