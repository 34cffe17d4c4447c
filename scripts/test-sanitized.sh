#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer
# (-O1, asserts on) into build-asan/ and runs the whole test suite there.
# Extra arguments go to the configure step, e.g. -DQF_BUILD_SHELL=OFF.
# QF_JOBS sets the build and test parallelism (default: all cores).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
jobs="${QF_JOBS:-$(nproc)}"
cd "$root"
start=$SECONDS
cmake --preset asan "$@"
cmake --build --preset asan -j "$jobs"
built=$SECONDS
# The test preset sets ASAN_OPTIONS, UBSAN_OPTIONS and LSAN_OPTIONS (with
# scripts/lsan.supp, one justified entry): any report aborts the test that
# caused it, leaks included.
ctest --preset asan -j "$jobs"
echo "sanitized build: $((built - start)) s, tests: $((SECONDS - built)) s"
