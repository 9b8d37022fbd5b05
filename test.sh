#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine (as root), builds jobpush and runs the whole test suite.
# Usage: ./test.sh [build-dir] [extra cmake arguments...]
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
build=${1:-$root/build}
shift || true

"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -DJOBPUSH_WERROR=ON "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build"
ctest --output-on-failure -j"$(nproc)"
