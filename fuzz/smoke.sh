#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a few seconds from its seed corpus.
# Usage: fuzz/smoke.sh [seconds-per-target]   (default 10)
set -euo pipefail
secs=${1:-10}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DJOBPUSH_FUZZ=ON -DJOBPUSH_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
for src in "$root"/fuzz/fuzz_*.cpp; do
  name=$(basename "$src" .cpp)
  corpus=$(mktemp -d)
  [ -d "$root/fuzz/corpus/$name" ] && cp -r "$root/fuzz/corpus/$name/." "$corpus/"
  echo "fuzzing $name for ${secs}s"
  "$build/fuzz/$name" -max_total_time="$secs" -print_final_stats=0 "$corpus" 2>"$build/$name.log" ||
    { tail -n 40 "$build/$name.log"; exit 1; }
  rm -rf "$corpus"
done
echo "fuzz smoke run passed"
