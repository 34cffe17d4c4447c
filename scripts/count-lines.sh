#!/usr/bin/env bash
# Lines of code (not blank, not comment) of the C++ in src/ and tests/, and
# their ratio: the test suite is kept between a quarter and a third of the
# code. Counted twice: tests/ alone, and with the fuzzers' support library
# (fuzz/, the GIF builder and the fuzz checks) that the tests link.
set -euo pipefail
cd "$(dirname "$0")/.."
count() { cloc --quiet --csv --include-lang='C++,C/C++ Header' "$@" | awk -F, '$2=="SUM"{print $5}'; }
src=$(count src)
tests=$(count tests)
linked=$(count fuzz/fuzz_checks.cpp fuzz/fuzz_checks.h fuzz/gif_bytes.cpp fuzz/gif_bytes.h)
ratio() { awk -v t="$1" -v s="$src" 'BEGIN{printf "%.3f", t/s}'; }
echo "src: $src  tests: $tests  ratio: $(ratio "$tests")"
echo "with the fuzz support the tests link: $((tests + linked))  ratio: $(ratio $((tests + linked)))"
