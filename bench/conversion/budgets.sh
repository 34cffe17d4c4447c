#!/usr/bin/env bash
# --max-bytes on real animations: 8 budgets from 5% to 80% of the default
# output's size.  For each: the size reached, its share of the budget, the
# settings chosen and the time against a plain conversion's.
#
#   bench/conversion/budgets.sh CLI ANIMATION_DIR [VARIANT] [THREADS]
set -euo pipefail
cli="$(realpath "$1")"
animations="$2"
variant="${3:-6}"
threads="${4:-2}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

seconds() {
    /usr/bin/time -f "%e" -o "$work/time" "$@" >"$work/said" 2>&1 || true
    cat "$work/time"
}

printf "%-10s %8s %10s %10s %7s %6s  %s\n" animation "budget%" "budget B" "size B" "share" "time×" settings
inside=0
total=0
for input in "$animations"/*.gif; do
    name="$(basename "$input" .gif)"
    plain=$(seconds "$cli" convert "$input" "$work/plain.gif" --variant "$variant" --threads "$threads" --quiet)
    full=$(stat -c %s "$work/plain.gif")
    for percent in 5 10 15 20 30 40 60 80; do
        budget=$((full * percent / 100))
        rm -f "$work/fit.gif"
        took=$(seconds "$cli" convert "$input" "$work/fit.gif" --variant "$variant" --threads "$threads" \
            --max-bytes "$budget")
        total=$((total + 1))
        if [ -f "$work/fit.gif" ]; then
            size=$(stat -c %s "$work/fit.gif")
            share=$(awk -v s="$size" -v b="$budget" 'BEGIN { printf "%.1f%%", 100 * s / b }')
            awk -v s="$size" -v b="$budget" 'BEGIN { exit !(s >= 0.85 * b && s <= b) }' && inside=$((inside + 1))
            [ "$size" -le "$budget" ] || share="$share OVER"
            settings="$(sed -n 's/.* at //p' "$work/said" | tail -1)"
        else
            size="-"
            share="-"
            settings="refused: $(tail -1 "$work/said")"
        fi
        ratio=$(awk -v a="$took" -v b="$plain" 'BEGIN { printf "%.2f", a / b }')
        printf "%-10s %8s %10s %10s %7s %6s  %s\n" "$name" "$percent" "$budget" "$size" "$share" "$ratio" "$settings"
    done
done
echo "within 85-100% of the budget: $inside of $total"
