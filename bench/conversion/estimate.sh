#!/usr/bin/env bash
# --estimate against a plain conversion: CPU seconds (user + system) of
# each, their ratio, and the size estimated against the size written.
#
#   bench/conversion/estimate.sh CLI VARIANT THREADS INPUT [CONVERT OPTIONS...]
set -euo pipefail
cli="$(realpath "$1")"
variant="$2"
threads="$3"
input="$4"
shift 4
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cpu() {
    /usr/bin/time -f "%U %S %M" -o "$work/time" "$@" >"$work/said" 2>&1
    awk '{ printf "%.2f %d\n", $1 + $2, $3 / 1024 }' "$work/time"
}

read -r plain plainMb < <(cpu "$cli" convert "$input" "$work/plain.gif" --variant "$variant" --threads "$threads" \
    --quiet "$@")
real=$(stat -c %s "$work/plain.gif")
read -r estimate estimateMb < <(cpu "$cli" convert "$input" "$work/estimate.gif" --variant "$variant" \
    --threads "$threads" --estimate "$@")
said="$(head -1 "$work/said" | sed -n 's/.*: about \(.*\) at .*/\1/p')"
[ ! -e "$work/estimate.gif" ] || { echo "--estimate wrote a file" >&2; exit 1; }
printf "%s: plain %s s CPU (%s MB), estimate %s s CPU (%s MB), %.0f%% of the plain time; about %s, real %.2f MB (%s bytes)\n" \
    "$(basename "$input")" "$plain" "$plainMb" "$estimate" "$estimateMb" \
    "$(awk -v e="$estimate" -v p="$plain" 'BEGIN { print 100 * e / p }')" "$said" \
    "$(awk -v r="$real" 'BEGIN { print r / 1048576 }')" "$real"
sed -n '2,$p' "$work/said"
