#!/usr/bin/env bash
# Lines of code (not blank, not comment) of the C++ in src/ and tests/, and
# their ratio: the test suite is kept between a quarter and a third of the code.
set -euo pipefail
cd "$(dirname "$0")/.."
count() { cloc --quiet --csv --include-lang='C++,C/C++ Header' "$1" | awk -F, '$2=="SUM"{print $5}'; }
src=$(count src)
tests=$(count tests)
echo "src: $src  tests: $tests  ratio: $(awk -v t="$tests" -v s="$src" 'BEGIN{printf "%.3f", t/s}')"
