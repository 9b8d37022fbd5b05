#!/usr/bin/env bash
# Whole-process speed of jobshow: "jobshow -dataset 1 -text" on the job that jobpush builds from the
# benchmark's text corpus, next to "iconv -f IBM037 -t ISO-8859-1" of the same EBCDIC records (each
# followed by an EBCDIC line feed) in the same script (ratio = iconv time / jobshow time: 1.0 or more
# means jobshow keeps up), and jobshow's peak memory, which must not grow with the job (goal: under
# 8 MiB). Times are processor times (user + system), the best of three runs. MB/s count the corpus.
# Usage: bench/jobshow_bench.sh [build-dir] [text-MB]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
mkdir -p "$build" && build=$(cd "$build" && pwd)
text_mb=${2:-100}
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

# best COMMAND...: the smallest processor time of three runs in seconds, then the largest peak
# resident size in KiB.
best() {
  local b="" m=0
  for _ in 1 2 3; do
    /usr/bin/time -f '%U %S %M' -o "$work/time" "$@" >"$work/out" 2>"$work/err" ||
      { echo "failed: $*" >&2; cat "$work/err" >&2; exit 1; }
    local t k
    t=$(awk '{ t = $1 + $2; print (t > 0 ? t : 0.005) }' "$work/time") # 10 ms clock ticks
    k=$(awk '{ print $3 }' "$work/time")
    if [ -z "$b" ] || awk -v t="$t" -v b="$b" 'BEGIN { exit !(t < b) }'; then b=$t; fi
    [ "$k" -gt "$m" ] && m=$k
  done
  echo "$b $m"
}

mb=$(stat -c %s "$work/text" | awk '{ printf "%.1f", $1 / 1e6 }')
read -r ts ms < <(best "$jobshow" -dataset 1 -text "$njh")
read -r ti mi < <(best iconv -f IBM037 -t ISO-8859-1 "$work/records")
printf '%-8s %8s %10s %9s %7s %11s %12s %10s\n' corpus MB jobshow_s iconv_s ratio jobshow_MB/s jobshow_KiB iconv_KiB
awk -v mb="$mb" -v ts="$ts" -v ti="$ti" -v ms="$ms" -v mi="$mi" \
  'BEGIN { printf "%-8s %8s %10.3f %9.3f %7.2f %11.0f %12d %10d\n", "text", mb, ts, ti, ti / ts, mb / ts, ms, mi }'
