#!/usr/bin/env bash
# Whole-process speed of jobpush-netdata: a local run (-debug 2) on the text corpus of
# bench/gen_corpus.py next to "iconv -f ISO-8859-1 -t IBM037" on the same file (ratio = iconv time /
# jobpush-netdata time: 1.0 or more means it keeps up), with the peak resident memory of each, for
# variable and fixed records. Times are processor times (user + system), the best of three runs.
# Usage: bench/netdata_bench.sh [build-dir] [text-MB]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
mkdir -p "$build" && build=$(cd "$build" && pwd)
text_mb=${2:-100}
prog=$build/frontend/jobpush-netdata
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 1; }
if [ ! -x "$prog" ]; then
  cmake -S "$root" -B "$build" >/dev/null
  cmake --build "$build" -j2 --target jobpush-netdata >/dev/null
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/netdata_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
spool=$work/spool
mkdir -p "$spool/BENCH/rje/input"
python3 "$root/bench/gen_corpus.py" "$work/text" "$text_mb" "$work/binary" 1
cat "$work/text" >/dev/null # into the page cache

# best COMMAND...: "seconds peak-KiB", the smallest processor time of three runs and its peak memory.
best() {
  local b="" m=""
  for _ in 1 2 3; do
    /usr/bin/time -f '%U %S %M' -o "$work/time" "$@" >/dev/null 2>"$work/err" ||
      { echo "failed: $*" >&2; cat "$work/err" >&2; exit 1; }
    read -r u s k <"$work/time"
    local t
    t=$(awk -v u="$u" -v s="$s" 'BEGIN { t = u + s; print (t > 0 ? t : 0.005) }')
    if [ -z "$b" ] || awk -v t="$t" -v b="$b" 'BEGIN { exit !(t < b) }'; then b=$t; m=$k; fi
  done
  echo "$b $m"
}

mb=$(stat -c %s "$work/text" | awk '{ printf "%.1f", $1 / 1e6 }')
read -r ti mi < <(best bash -c 'iconv -f ISO-8859-1 -t IBM037 "$0" >"$1"' "$work/text" "$spool/iconv.out")
printf '%-10s %7s %9s %9s %7s %9s %12s %10s\n' records MB netdata_s iconv_s ratio MB/s peak_KiB iconv_KiB
for records in -variable -fixed; do
  read -r tn mn < <(best "$prog" BENCH REMOTE -g none -sp "$spool" -n BENCH -debug 2 "$records" "$work/text")
  awk -v r="${records#-}" -v mb="$mb" -v tn="$tn" -v ti="$ti" -v mn="$mn" -v mi="$mi" \
    'BEGIN { printf "%-10s %7s %9.3f %9.3f %7.2f %9.0f %12d %10d\n", r, mb, tn, ti, ti / tn, mb / tn, mn, mi }'
done
