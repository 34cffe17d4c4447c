#!/usr/bin/env bash
# Measures the test suite's power to find faults: plants known faults in the
# product code one at a time, rebuilds, runs the non-engine tests and lists
# which tests fail. Each fault must be caught by at least one test.
#   scripts/seed-faults.sh [BUILD_DIR] [FAULT_ID...]
# The build folder must already be configured (shell on). Source files are
# restored after each fault, also when the script is interrupted.
# QF_SEED_DRY=1 only checks that every pattern still applies. A fault whose
# pattern no longer matches is named, and the script then exits non-zero.
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
  "pipeline-frame-number|src/pipeline|s/options_.variant, source.sourceNumber, options_.switches/options_.variant, source.sourceNumber - 1, options_.switches/"
  "pipeline-cancel|src/pipeline|s/(writer_->abort\(\);\n        if \(error\)\n            \*error = run_->error\(\);\n        return) false;/\$1 run_->error().kind == imaging::ErrorKind::Cancelled;/"
  "pipeline-transparent-black|src/pipeline|s/const unsigned paper = 255u \\* /const unsigned paper = 0u * /"
  "cli-exit-code|src/cli|s/(case imaging::ErrorKind::Unwritable:\n        return )kExitBadOutput/\$1kExitBadInput/"
  "pipeline-frame-names|src/pipeline|s/\"frame-%04d.png\", number\)/\"frame-%04d.png\", number - 1)/"
  "shell-step-table|src/shell|s/(case Step::Result:\n[^}]*?ActBack->setEnabled\()true/\${1}false/"
  "shell-variant|src/shell|s/options.variant = variant;/options.variant = variant == 4 ? 3 : variant;/"
  # Orientation, colours and transparency of what is written.
  "pipeline-upside-down|src/pipeline|s/picture.scanLine\(height - 1 - y\)/picture.scanLine(y)/"
  "pipeline-keep-transparency-red-blue|src/pipeline|s/(out\[0\] = colour\[)2(\];\s*out\[1\] = colour\[1\];\s*out\[2\] = colour\[)0/\${1}0\${2}2/"
  "pipeline-keep-transparency-shifted|src/pipeline|s/frame.pixels.data\(\) \+ 3;/frame.pixels.data() + 7;/"
  "pipeline-progress-lags|src/pipeline|s/static_cast<double>\(number\) \/ static_cast<double>\(keptFrames\(\)\)/static_cast<double>(number - 1) \/ static_cast<double>(keptFrames())/"
  # Resizing, WebP in and out, the link rule and file modes.
  "resize-max-size-enlarges|src/imaging|s/double fit = 1\.0;/double fit = request.maxWidth > 0 || request.maxHeight > 0 ? 1e9 : 1.0;/; s/ && w > request.maxWidth\)/)/; s/ && h > request.maxHeight\)/)/"
  "resize-aspect|src/imaging|s/fit = std::min\(fit, request.maxHeight \/ h\)/fit = std::min(fit, request.maxHeight \/ w)/"
  "webp-in-delay|src/imaging|s/std::nearbyint\(frame.duration \/ 10.0\)/std::nearbyint(frame.duration \/ 100.0)/"
  "webp-in-loop|src/imaging|s/plays == 1 \? -1 : plays - 1;/plays == 1 ? -1 : plays;/"
  "webp-in-red-blue|src/imaging|s/options.color_mode = MODE_RGBA;/options.color_mode = MODE_BGRA;/"
  "webp-out-loop|src/imaging|s/std::min\(loopCount \+ 1, kMaxLoopCount\)/std::min(loopCount, kMaxLoopCount)/"
  "webp-out-delay|src/imaging|s/d.timestamp \+= 10LL \* delay;/d.timestamp += delay;/"
  "link-rule|src/imaging|s/if \(info.st_uid != ::geteuid\(\) && info.st_uid != 0 && ::stat\(base/if (false \&\& ::stat(base/"
  "replace-loses-mode|src/imaging|s/::fchmod\(fd, old.st_mode & 0777\);/::fchmod(fd, 0644);/"
  # The command line's flags and pipes.
  "cli-scale-inverted|src/cli|s/request->scale = scale;/request->scale = 1 \/ scale;/"
  "cli-max-size-swapped|src/cli|s/request->maxWidth = std::stoi\(match\[1\]\);/request->maxWidth = std::stoi(match[2]);/"
  "cli-pipe-input|src/cli|s/if \(input != \"-\" && !imaging::IsStream\(input\)\)/if (input != \"--\" \&\& !imaging::IsStream(input))/"
  # The window's steps and its private folder.
  "shell-back-off-in-step-2|src/shell|s/(case Step::Choose:\n[^}]*?ActBack->setEnabled\()true/\${1}false/"
  "shell-save-hidden-in-step-3|src/shell|s/(case Step::Result:\n[^}]*?ActSave->setVisible\()true/\${1}false/"
  "shell-open-hidden-in-step-1|src/shell|s/PageOpen->openButton\(\)->setFocus\(\);/PageOpen->openButton()->hide();/"
  "shell-no-progress-panel|src/shell|s/    Pages->setCurrentWidget\(PicProgress->parentWidget\(\)\);\n//"
  "shell-options-in-step-3|src/shell|s/ActOptions->setVisible\(step == Step::Choose\)/ActOptions->setVisible(step != Step::Open)/"
  # A long clip's start, end and rate: the cards, the preview, the result.
  "pipeline-cards-from-the-start|src/pipeline|s/skipped < plan.front\(\).source;/skipped < 0;/"
  "pipeline-preview-own-rate|src/pipeline|s/TimelineOptions timeline = options.timeline;/TimelineOptions timeline;/"
  "shell-clip-not-converted|src/shell|s/Work->convert\(SourcePath, ClipControls->timeline\(\),/Work->convert(SourcePath, {},/"
  "shell-clip-controls-for-any-clip|src/shell|s/applies_ = length > kClipBarAfter;/applies_ = length > 0;/"
  "shell-folder-0755|src/shell|s/::mkdir\(native.constData\(\), 0700\)/::mkdir(native.constData(), 0755)/; s/\(info.st_mode & 07777\) != 0700 && ::fchmod\(fd, 0700\)/(info.st_mode \& 07777) != 0755 \&\& ::fchmod(fd, 0755)/"
)

declare -A module_caught module_total
restore=""
cleanup() { [[ -n "$restore" ]] && cp "$restore" "${restore%.seed-backup}" && rm -f "$restore"; restore=""; }
trap cleanup EXIT
trap 'exit 130' INT TERM

selected=("$@")
missing=()
caught=0
total=0
for entry in "${faults[@]}"; do
  IFS='|' read -r id folder expression <<<"$entry"
  if (( ${#selected[@]} > 0 )) && [[ ! " ${selected[*]} " == *" $id "* ]]; then
    continue
  fi
  module=${folder#src/}
  file=""
  for candidate in $(find "$folder" -name "*.cpp" | sort); do
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
    echo "$id: NOT PLANTED: its pattern matches no file in $folder any more; rewrite it"
    missing+=("$id")
    continue
  fi
  if [[ -n "${QF_SEED_DRY:-}" ]]; then echo "$id: planted in $file"; cleanup; continue; fi
  total=$((total + 1))
  module_total[$module]=$(( ${module_total[$module]:-0} + 1 ))
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
    module_caught[$module]=$(( ${module_caught[$module]:-0} + 1 ))
    echo "$id: caught by $count: $(tr '\n' ' ' <<<"$failed")"
  else
    echo "$id: MISSED"
  fi
  cleanup
done
for module in "${!module_total[@]}"; do
  echo "  $module: caught ${module_caught[$module]:-0} of ${module_total[$module]}"
done
echo "caught $caught of $total seeded faults"
if (( ${#missing[@]} > 0 )); then
  echo "${#missing[@]} faults did not apply (their patterns need rewriting): ${missing[*]}"
fi
# Leave the build matching the restored sources.
cmake --build "$build" -j "$jobs" >/dev/null 2>&1
(( ${#missing[@]} == 0 ))
