#!/usr/bin/env bash
# Checks the rules the code keeps, and fails when one is broken:
#   format  every tracked .h/.cpp as clang-format (.clang-format) would write it
#   tidy    no clang-tidy finding (.clang-tidy) in src/ and tests/; needs a
#           finished build with compile_commands.json ($QF_BUILD_DIR, build/).
#           QF_TIDY_FILES=REGEX checks only the sources whose path matches.
#   layers  no module includes a module above it (cmake/check_layers.cmake,
#           which the build itself runs too)
#
#   scripts/check-style.sh                all three
#   scripts/check-style.sh format layers  only those
#
# Every check runs, even after one fails, so one run shows all that is wrong.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QF_BUILD_DIR:-$root/build}"
jobs="$(nproc)"
cd "$root" || exit 2

checks=("$@")
[ ${#checks[@]} -gt 0 ] || checks=(format tidy layers)

find_tool() {
    local name
    for name in "$@"; do
        command -v "$name" > /dev/null && { echo "$name"; return 0; }
    done
    echo "error: none of $* is installed (apt-get install clang-format clang-tidy)" >&2
    return 1
}

check_format() {
    local clang_format files=() changed=()
    clang_format="$(find_tool clang-format-14 clang-format)" || return 1
    mapfile -t files < <(git ls-files '*.h' '*.cpp')
    # One run over all files; each file it would change is named in its
    # "file:line:col: error: code should be clang-formatted" lines.
    mapfile -t changed < <("$clang_format" --dry-run -Werror "${files[@]}" 2>&1 \
        | sed -n -E 's/^(.*):[0-9]+:[0-9]+: error: code should be clang-formatted.*/\1/p' | sort -u)
    if [ ${#changed[@]} -gt 0 ]; then
        printf '  %s\n' "${changed[@]}"
        echo "format: clang-format would change ${#changed[@]} of ${#files[@]} files (listed above);" \
             "see one with: $clang_format --dry-run FILE; fix with: $clang_format -i FILE"
        return 1
    fi
    echo "format: all ${#files[@]} files as clang-format writes them"
}

check_tidy() {
    local clang_tidy files=() log status
    clang_tidy="$(find_tool clang-tidy-14 clang-tidy)" || return 1
    if [ ! -f "$build/compile_commands.json" ]; then
        echo "tidy: no $build/compile_commands.json: build first (scripts/build.sh)"
        return 1
    fi
    # The project's own sources in the build, not generated ones (moc, resources).
    # -Wno-error: a build with QF_WERROR=ON must not turn clang's own warnings,
    # which .clang-tidy does not ask for, into findings.
    mapfile -t files < <(python3 - "$build/compile_commands.json" "$root" <<'EOF'
import json, os, re, sys
root = sys.argv[2].rstrip("/") + "/"
only = re.compile(os.environ.get("QF_TIDY_FILES", ""))
for entry in json.load(open(sys.argv[1])):
    path = entry["file"]
    if path.startswith((root + "src/", root + "tests/")) and only.search(path):
        print(path)
EOF
    )
    log="$(mktemp)"
    printf '%s\0' "${files[@]}" \
        | nice -n 10 xargs -0 -n 1 -P "$jobs" "$clang_tidy" -p "$build" --quiet --warnings-as-errors='*' --extra-arg=-Wno-error \
          > "$log" 2>&1
    status=$?
    # Findings only; not the counts of what the filters passed over.
    grep -v -E '^[0-9]+ (warnings?|errors?) (generated|treated as errors)\.$|^Suppressed [0-9]+ warnings|^Use -header-filter' "$log" || true
    rm -f "$log"
    if [ $status -ne 0 ]; then
        echo "tidy: clang-tidy has findings in src/ or tests/ (above)"
        return 1
    fi
    echo "tidy: no findings in ${#files[@]} files of src/ and tests/"
}

check_layers() {
    if cmake -DSOURCE_DIR="$root" -P "$root/cmake/check_layers.cmake"; then
        echo "layers: every module includes only itself and the modules below it"
    else
        return 1
    fi
}

failed=()
for check in "${checks[@]}"; do
    case "$check" in
    format | tidy | layers) ;;
    *) echo "usage: $0 [format] [tidy] [layers]" >&2; exit 2 ;;
    esac
    start=$SECONDS
    echo "== $check"
    "check_$check" || failed+=("$check")
    echo "   ($((SECONDS - start)) s)"
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "Style check failed: ${failed[*]}"
    exit 1
fi
echo "Style check passed: ${checks[*]}"
