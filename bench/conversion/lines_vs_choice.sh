#!/usr/bin/env bash
# The estimate's budget lines against what --max-bytes chooses for the same
# budgets (10M, 8M, 5M, 256K), with the size written.
#
#   bench/conversion/lines_vs_choice.sh CLI INPUT VARIANT [CONVERT OPTIONS...]
cli="$1"; in="$2"; v="$3"; shift 3; w=$(mktemp -d)
"$cli" convert "$in" "$w/e.gif" -v "$v" -j 2 --estimate "$@" > "$w/est" 2>&1
head -1 "$w/est"
for b in "10 MB:10M" "8 MB:8M" "5 MB:5M" "256 kB:256K"; do
  name="${b%%:*}"; arg="${b##*:}"
  line=$(grep "to fit in $name:" "$w/est" | sed 's/.*: //; s/ (about.*//')
  said=$("$cli" convert "$in" "$w/o.gif" -v "$v" -j 2 -q --max-bytes "$arg" "$@" 2>&1 | sed 's/.* at //')
  size=$(stat -c %s "$w/o.gif" 2>/dev/null || echo -)
  same=$([ "$line" = "$said" ] && echo same || echo DIFFERENT)
  printf "  %-7s line: %-40s chose: %-40s %s bytes  %s\n" "$name" "$line" "$said" "$size" "$same"
  rm -f "$w/o.gif"
done
rm -rf "$w"
