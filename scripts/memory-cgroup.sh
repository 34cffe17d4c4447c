#!/bin/bash
# Every command on a large animation inside a memory control group (cgroup
# v1 or v2) with a tight limit: each must end with exit 0 or 3 (a clear
# "needs more memory" refusal), never be killed by the system (137).
#
#   scripts/memory-cgroup.sh [CLI] [INPUT.gif] [LIMIT]
#
# Needs root (to make the group); without it the script says so and exits 0.
# Default: build/src/cli/quillframe-cli, a 9000 x 9000 two-frame GIF of noise
# made with ffmpeg, 300M.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cli="${1:-$root/build/src/cli/quillframe-cli}"
input="${2:-}"
limit="${3:-300M}"
if [ "$(id -u)" != 0 ]; then
    echo "memory-cgroup: skipped (making a control group needs root)"
    exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"; [ -n "${group:-}" ] && rmdir "$group" 2>/dev/null' EXIT
if [ -z "$input" ]; then
    input="$work/large.gif"
    ffmpeg -loglevel error -f lavfi -i "nullsrc=s=9000x9000,geq=random(1)*255:128:128" -frames:v 2 \
        -f gif "$input" || { echo "memory-cgroup: ffmpeg could not make the input"; exit 1; }
fi
if [ -d /sys/fs/cgroup/memory ]; then # v1
    group=/sys/fs/cgroup/memory/qf-memory-$$
    mkdir "$group" && echo "$limit" > "$group/memory.limit_in_bytes" || exit 1
    tasks="$group/tasks"
else # v2
    group=/sys/fs/cgroup/qf-memory-$$
    mkdir "$group" && echo "$limit" > "$group/memory.max" || exit 1
    tasks="$group/cgroup.procs"
fi
# Runs a command inside the group: a shell that joins it, then becomes the command.
inside() { sh -c 'echo $$ > "$1"; shift; exec "$@"' sh "$tasks" "$@"; }

failed=0
check() {
    local name="$1"; shift
    local start=$SECONDS
    inside "$cli" "$@" > "$work/out.txt" 2> "$work/err.txt"
    local code=$?
    local said; said=$(grep -m1 -E "^(error|warning)" "$work/err.txt")
    printf '%-12s exit %3d in %2d s  %s\n' "$name" "$code" $((SECONDS - start)) "${said:0:200}"
    case $code in
        0 | 3) ;;
        *) failed=1 ;;
    esac
    if [ "$code" = 3 ] && ! grep -q "memory" "$work/err.txt"; then
        echo "  exit 3 without saying it is memory"; failed=1
    fi
}
# First, while the group holds none of the page cache that later commands
# leave charged to it: two files at once, each with a budget (a batch
# converts two at a time, each checking the memory left).
ln -s "$(realpath "$input")" "$work/again.gif"
check "batch"      convert --max-bytes 2M "$input" "$work/again.gif" --out-dir "$work/batch"
check "gif"        convert "$input" "$work/o.gif"
check "webp"       convert "$input" "$work/o.webp"
check "mp4"        convert "$input" "$work/o.mp4"
check "estimate"   convert --estimate "$input" "$work/o.gif"
check "max-bytes"  convert --max-bytes 2M "$input" "$work/o.gif"
check "snapshots"  snapshots "$input" "$work/snaps"
check "frames"     frames "$input" "$work/frames"
check "info"       info "$input"
[ $failed = 0 ] && echo "memory-cgroup: every command ended with 0 or 3 under $limit" \
                || echo "memory-cgroup: a command was killed or failed otherwise"
exit $failed
