#!/usr/bin/env bash
# Measures the test suite's power to find faults: plants known faults in the
# product code one at a time, rebuilds, runs the non-engine tests and lists
# which tests fail. Each fault must be caught by at least one test.
#   scripts/seed-faults.sh [BUILD_DIR] [FAULT_ID...]
# The build folder must already be configured (shell on). Source files are
# restored after each fault, also when the script is interrupted.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
shift $(( $# > 0 ? 1 : 0 ))
jobs="${QF_JOBS:-2}"
cd "$root"

# id|folder|perl substitution (run with -0: the whole file is one string),
# applied to the first source file of the folder that it changes.
faults=(
  "reader-disposal|src/imaging|s/(DisposalOf\(int stored\)\n\{\n    switch \(stored\) \{\n    case )2:/\${1}9:/"
  "reader-interlace|src/imaging|s/pass1 = \(height \+ 7\) \/ 8/pass1 = (height + 6) \/ 8/"
  "reader-transparent|src/imaging|s/lookup\[static_cast<std::size_t>\(header.transparent\)\] = 0/lookup[static_cast<std::size_t>(header.transparent) + 1] = 0/"
  "writer-transparent|src/imaging|s/std::max\(frame.transparentIndex, 0\)\)/std::max(frame.transparentIndex, 0) + 1)/"
  "writer-delay|src/imaging|s/frame.delay = GetU16\(header \+ 8\);/frame.delay = GetU16(header + 8) & 0xff;/"
  "writer-loop|src/imaging|s/if \(loopCount >= 0\) \{/if (loopCount > 0) {/"
  "atomic-truncate|src/imaging|s/if \(::stat\(d.target.c_str\(\), &old\) == 0\)/if (::truncate(d.target.c_str(), 0), ::stat(d.target.c_str(), \&old) == 0)/"
  "pipeline-order|src/pipeline|s/make_filter<Frame\*, void>\(filter_mode::serial_in_order/make_filter<Frame*, void>(filter_mode::serial_out_of_order/"
  "pipeline-frame-number|src/pipeline|s/options_.variant, source.number, options_.switches/options_.variant, source.number - 1, options_.switches/"
  "pipeline-cancel|src/pipeline|s/(writer_->abort\(\);\n        if \(error\)\n            \*error = run_->error\(\);\n        return) false;/\$1 run_->error().kind == imaging::ErrorKind::Cancelled;/"
  "pipeline-transparent-black|src/pipeline|s/const unsigned paper = 255u \\* /const unsigned paper = 0u * /"
  "cli-exit-code|src/cli|s/(case imaging::ErrorKind::Unwritable:\n        return )kExitBadOutput/\$1kExitBadInput/"
  "pipeline-frame-names|src/pipeline|s/\"frame-%04d.png\", number\)/\"frame-%04d.png\", number - 1)/"
  "shell-step-table|src/shell|s/(case 3:\n[^}]*?ActBack->setEnabled\()true/\${1}false/"
  "shell-variant|src/shell|s/options.variant = variant;/options.variant = variant == 4 ? 3 : variant;/"
)

restore=""
cleanup() { [[ -n "$restore" ]] && cp "$restore" "${restore%.seed-backup}" && rm -f "$restore"; restore=""; }
trap cleanup EXIT INT TERM

selected=("$@")
caught=0
total=0
for entry in "${faults[@]}"; do
  IFS='|' read -r id folder expression <<<"$entry"
  if (( ${#selected[@]} > 0 )) && [[ ! " ${selected[*]} " == *" $id "* ]]; then
    continue
  fi
  total=$((total + 1))
  file=""
  for candidate in "$folder"/*.cpp; do
    cp "$candidate" "$candidate.seed-backup"
    restore="$candidate.seed-backup"
    perl -0pi -e "$expression" "$candidate"
    if ! cmp -s "$candidate" "$candidate.seed-backup"; then
      file="$candidate"
      break
    fi
    cleanup
  done
  if [[ -z "$file" ]]; then
    echo "$id: NOT PLANTED (the code it targets has changed)"
    continue
  fi
  if [[ -n "${QF_SEED_DRY:-}" ]]; then echo "$id: planted in $file"; cleanup; continue; fi
  if ! cmake --build "$build" -j "$jobs" >"$build/seed-$id.log" 2>&1; then
    echo "$id: does not build (see $build/seed-$id.log)"
    cleanup
    continue
  fi
  rm -f "$build/Testing/Temporary/LastTestsFailed.log"
  QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" -j "$jobs" --timeout 120 \
>>"$build/seed-$id.log" 2>&1
  failed=$(cut -d: -f2 "$build/Testing/Temporary/LastTestsFailed.log" 2>/dev/null | sort -u)
  count=$(grep -c . <<<"$failed")
  if (( count > 0 )); then
    caught=$((caught + 1))
    echo "$id: caught by $count: $(tr '\n' ' ' <<<"$failed")"
  else
    echo "$id: MISSED"
  fi
  cleanup
done
echo "caught $caught of $total seeded faults"
# Leave the build matching the restored sources.
cmake --build "$build" -j "$jobs" >/dev/null 2>&1
