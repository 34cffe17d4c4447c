#!/usr/bin/env bash
# Configures and builds Quillframe into build/ (Release, all cores).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QF_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release "$@"
cmake --build "$build" -j "$(nproc)"
