#!/usr/bin/env bash
# The window against the command line on one GIF and variant, side by side:
# from Next to the result playing in the window, and quillframe-cli convert
# of the same GIF with the same variant, alternately, RUNS times each; then
# the window's memory while it plays the result and how long closing it takes
# with a conversion running. Targets: the window takes at most 1.15 x the
# command line, plays in at most 150 MB and closes within 0.3 s.
#
#   bench/shell/next_to_playing.sh GIF [VARIANT] [RUNS] [BUILD_DIR]   (defaults 0 3 build)
# Build first: cmake -DQF_BUILD_BENCH=ON, targets qf_window_bench quillframe-cli.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
gif="$1"
variant="${2:-0}"
runs="${3:-3}"
build="${4:-$root/build}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

window=() cli=()
for run in $(seq "$runs"); do
  "$build/bench/shell/qf_window_bench" "$gif" "$variant" > "$work/window.txt"
  window+=("$(awk '$1=="next_to_playing_s"{print $2}' "$work/window.txt")")
  start=$(date +%s.%N)
  /usr/bin/time -f "%U %S" -o "$work/cpu.txt" \
    "$build/src/cli/quillframe-cli" convert --variant "$variant" "$gif" "$work/out.gif" > /dev/null
  cli+=("$(echo "$(date +%s.%N) - $start" | bc)")
  # On a busy machine the processor time of each is the steadier figure.
  echo "run $run: window ${window[-1]} s, command line ${cli[-1]} s;" \
       "processor time: window $(awk '$1=="next_to_playing_cpu_s"{print $2}' "$work/window.txt") s," \
       "command line $(awk '{print $1 + $2}' "$work/cpu.txt") s"
  grep -v '^next_to_playing' "$work/window.txt"
done
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END{print a[int((NR+1)/2)]}'; }
w=$(median "${window[@]}") c=$(median "${cli[@]}")
echo "median: window $w s, command line $c s, ratio $(echo "scale=3; $w / $c" | bc) (target <= 1.15)"
