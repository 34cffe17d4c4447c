#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs one of
# them at low priority, growing a corpus under build-fuzz/corpus/.
#   scripts/fuzz.sh gif_reader|webp_reader|animation_writer|video_reader [SECONDS] [extra libFuzzer flags]
# A crashing input lands in build-fuzz/findings/; copy it to
# fuzz/regressions/<reader|webp|writer>/ once the fault is fixed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
target="${1:?usage: fuzz.sh gif_reader|webp_reader|animation_writer|video_reader [SECONDS] [flags]}"
seconds="${2:-600}"
shift $(( $# >= 2 ? 2 : 1 ))
build="$root/build-fuzz"
jobs="${QF_JOBS:-2}"

cd "$root"
cmake --preset fuzz >/dev/null

case "$target" in
  gif_reader) kind=reader; max_len=16384 ;;
  webp_reader) kind=webp; max_len=16384 ;;
  animation_writer) kind=writer; max_len=8192 ;;
  video_reader) kind=video; max_len=16384 ;;
  *) echo "unknown target: $target" >&2; exit 2 ;;
esac
seeds="$build/seeds"
if [ "$kind" = video ]; then
  # The video reader starts from the test clips that fit in an input
  # (longer ones would be cut, and each run of them decodes hundreds of
  # frames for nothing).
  cmake --build --preset fuzz -j "$jobs" --target video_reader_fuzzer
  rm -rf "$seeds/video"
  mkdir -p "$seeds/video"
  find "$root/tests/data/clips" -type f -size -"$((max_len + 1))"c -exec cp {} "$seeds/video/" \;
else
  cmake --build --preset fuzz -j "$jobs" --target "${target}_fuzzer" make_seeds
  "$build/fuzz/make_seeds" "$seeds/reader" "$seeds/writer" "$seeds/webp" >/dev/null
fi
corpus="$build/corpus/$kind"
mkdir -p "$corpus" "$build/findings"

# Every input once failed on still passes before new ones are sought.
regressions=()
for file in "$root/fuzz/regressions/$kind"/*; do
  [ -f "$file" ] && regressions+=("$file")
done
if [ ${#regressions[@]} -gt 0 ]; then
  "$build/fuzz/${target}_fuzzer" -rss_limit_mb=3072 -malloc_limit_mb=1024 "${regressions[@]}"
fi

# A single allocation above 1 GiB is a finding: the reader's limits must
# refuse such sizes first.
nice -n 19 "$build/fuzz/${target}_fuzzer" "$corpus" "$seeds/$kind" \
  -max_total_time="$seconds" -max_len="$max_len" -timeout=60 \
  -rss_limit_mb=3072 -malloc_limit_mb=1024 -print_final_stats=1 \
  -artifact_prefix="$build/findings/${kind}-" "$@"
