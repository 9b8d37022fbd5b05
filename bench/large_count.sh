#!/usr/bin/env bash
# A dataset of more than 2^31 records converted whole: RECORDS bytes (default 2,200,000,000) of
# binary data with lrecl 1, one record per byte, from a pipe into a data file that is thrown away.
# The record count must come back exactly (a 32-bit counter overflows and the conversion fails).
# Takes about 2 minutes of processor time on the project's machines (2 cores).
# Usage: bench/large_count.sh [build-dir]      Environment: RECORDS.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
records=${RECORDS:-2200000000}
driver=$build/tools/convert_file/convert_file
if [ ! -x "$driver" ]; then
  cmake -S "$root" -B "$build" >/dev/null
  cmake --build "$build" -j2 --target convert_file >/dev/null
fi
start=$(date +%s)
got=$(head -c "$records" /dev/zero | "$driver" -f 1 -l 1 - /dev/null)
echo "records: $got of $records in $(($(date +%s) - start)) s"
[ "$got" = "$records" ] || { echo "record count wrong" >&2; exit 1; }
