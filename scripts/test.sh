#!/usr/bin/env bash
# One command from a fresh Debian 12 machine to a tested build:
# installs the dependencies, builds everything and runs the whole test suite.
# QF_WERROR=ON (as CI sets it) makes every compiler warning an error.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QF_BUILD_DIR:-$root/build}"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" -DQF_BUILD_BENCH=OFF -DQF_WERROR="${QF_WERROR:-OFF}"
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)"
