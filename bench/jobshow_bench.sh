#!/usr/bin/env bash
# Whole-process speed of jobshow: "jobshow -dataset 1 -text" on the job that jobpush builds from the
# benchmark's text corpus, next to "iconv -f IBM037 -t ISO-8859-1" of the same EBCDIC records (each
# followed by an EBCDIC line feed) in the same script (ratio = iconv time / jobshow time: 1.0 or more
# means jobshow keeps up), and jobshow's peak memory, which must not grow with the job (goal: under
# 8 MiB). Times are processor times (user + system), the best of RUNS runs (5), with the spread (the
# slowest run over the best, jobshow / iconv). MB/s count the corpus.
# Usage: bench/jobshow_bench.sh [build-dir] [text-MB]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
mkdir -p "$build" && build=$(cd "$build" && pwd)
text_mb=${2:-100}
runs=${RUNS:-5}
jobpush=$build/frontend/jobpush
jobshow=$build/frontend/jobshow
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 1; }
if [ ! -x "$jobpush" ] || [ ! -x "$jobshow" ]; then
  cmake -S "$root" -B "$build" >/dev/null
  cmake --build "$build" -j2 --target jobpush jobshow >/dev/null
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/jobshow_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
spool=$work/spool
mkdir -p "$spool/BENCH/rje/input"
njh=$spool/BENCH/rje/input/NJH78

python3 "$root/bench/gen_corpus.py" "$work/text" "$text_mb" "$work/unused" 0
"$jobpush" BENCH REMOTE -g none -sp "$spool" -n BENCH -debug 2 "$work/text" 2>/dev/null
# The same records for iconv: each record's EBCDIC bytes and an EBCDIC line feed (0x25).
"$jobshow" -dataset 1 -records "$njh" | python3 -c '
import sys
data = sys.stdin.buffer.read()
out, pos = bytearray(), 0
while pos < len(data):
    n = int.from_bytes(data[pos:pos + 4], "big")
    out += data[pos + 4:pos + 4 + n] + b"\x25"
    pos += 4 + n
sys.stdout.buffer.write(out)' >"$work/records"
rm -f "$work/unused"

# best COMMAND...: "best worst peak": processor times in seconds of $runs runs and the largest peak
# resident size in KiB (bench/cputime.py).
best() {
  python3 "$root/bench/cputime.py" "$runs" "$work/out" "$@"
}

mb=$(stat -c %s "$work/text" | awk '{ printf "%.1f", $1 / 1e6 }')
read -r ts ws ms < <(best "$jobshow" -dataset 1 -text "$njh")
read -r ti wi mi < <(best iconv -f IBM037 -t ISO-8859-1 "$work/records")
printf '%-8s %8s %10s %9s %7s %12s %11s %12s %10s\n' corpus MB jobshow_s iconv_s ratio spread jobshow_MB/s \
  jobshow_KiB iconv_KiB
awk -v mb="$mb" -v ts="$ts" -v ti="$ti" -v ws="$ws" -v wi="$wi" -v ms="$ms" -v mi="$mi" \
  'BEGIN { printf "%-8s %8s %10.3f %9.3f %7.2f %5.2f / %4.2f %11.0f %12d %10d\n", "text", mb, ts, ti, ti / ts, ws / ts, wi / ti, mb / ts, ms, mi }'
