#!/usr/bin/env bash
# Speed of the DBCS conversion library. First the Google Benchmark kernels of bench/bench_dbcs.cpp:
# the load time per locale (the tables are built while the library loads) and the cost of one call
# of each entry point through the record library's wrappers. Then whole runs of jobpush -debug 2 on
# the sample text of each language, 20 runs in a row, with the library (LANG set to the locale) next
# to the same runs without it (LANG=C, the reference): the ratio and the extra processor time per
# run are what loading the library costs a run. Times are processor times (user + system), the best
# of three, so other load on the machine does not count.
# Usage: bench/dbcs_bench.sh [build-dir]   (a Release build with JOBPUSH_BENCH=ON, made when missing)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 1; }
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DJOBPUSH_BENCH=ON -DJOBPUSH_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target bench_dbcs jobpush_dbcs jobpush >/dev/null

echo "== load time per locale and cost per call"
"$build/bench/bench_dbcs" --benchmark_counters_tabular=true 2>/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/dbcs_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/spool/BENCH/rje/input"
runs=20

# best LANG FILE: the smallest processor time, in seconds, of three series of $runs jobpush runs.
best() {
  local b=""
  for _ in 1 2 3; do
    /usr/bin/time -f '%U %S' -o "$work/time" env LANG="$1" SNARJEHOME="$build/frontend" bash -c '
      for _ in $(seq "$1"); do "$2" sys node -g none -sp "$3" -n bench -d 2 -l 255 "$4" 2>/dev/null || exit 1; done
    ' _ "$runs" "$build/frontend/jobpush" "$work/spool" "$2" || { echo "jobpush failed ($1 $2)" >&2; exit 1; }
    local t
    t=$(awk '{ t = $1 + $2; print (t > 0 ? t : 0.005) }' "$work/time")
    if [ -z "$b" ] || awk -v t="$t" -v b="$b" 'BEGIN { exit !(t < b) }'; then b=$t; fi
  done
  echo "$b"
}

echo
echo "== $runs runs of jobpush -debug 2 on a sample file: with the library / without it (LANG=C)"
printf '%-14s %-18s %10s %10s %8s %14s\n' locale file "with (s)" "without" ratio "extra ms/run"
data=$root/tests/data/dbcs
for entry in ja_JP.eucJP:ja.euc-jp.txt ja_JP.UTF-8:ja.utf-8.txt ko_KR.eucKR:ko.euc-kr.txt \
             ko_KR.UTF-8:ko.utf-8.txt zh_CN:zh_CN.gb2312.txt zh_CN.UTF-8:zh_CN.utf-8.txt \
             zh_TW.eucTW:zh_TW.euc-tw.txt zh_TW.UTF-8:zh_TW.utf-8.txt; do
  locale=${entry%%:*}
  file=${entry#*:}
  with=$(best "$locale" "$data/$file")
  without=$(best C "$data/$file")
  awk -v l="$locale" -v f="$file" -v w="$with" -v o="$without" -v n="$runs" \
    'BEGIN { printf "%-14s %-18s %10.2f %10.2f %8.2f %14.1f\n", l, f, w, o, w / o, (w - o) * 1000 / n }'
done

# Throughput: the Japanese sample repeated to about $mb MB, through jobpush -debug 2 with the library,
# next to iconv -f EUC-JP -t IBM939 of the same file, and next to jobpush on an ASCII file of the same
# size (the single-byte fast path). Best processor time of three runs each.
mb=${DBCS_MB:-40}
echo
echo "== throughput on ${mb} MB of Japanese text (EUC-JP)"
python3 - "$data/ja.euc-jp.txt" "$work/ja.txt" "$work/ascii.txt" "$mb" <<'PY'
import sys
src = open(sys.argv[1], 'rb').read()
want = int(sys.argv[4]) * 1000 * 1000
with open(sys.argv[2], 'wb') as f:
    f.write(src * (want // len(src) + 1))
line = b'0002  monthly closing of the accounts, plant 4, line 12   628.13 Q4\n'
with open(sys.argv[3], 'wb') as f:
    f.write(line * (want // len(line) + 1))
PY
cpu() { # best processor time of three runs of "$@"
  local b=""
  for _ in 1 2 3; do
    /usr/bin/time -f '%U %S' -o "$work/time" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    local t
    t=$(awk '{ print $1 + $2 }' "$work/time")
    if [ -z "$b" ] || awk -v t="$t" -v b="$b" 'BEGIN { exit !(t < b) }'; then b=$t; fi
  done
  echo "$b"
}
size=$(stat -c %s "$work/ja.txt")
push() { env LANG="$1" SNARJEHOME="$build/frontend" "$build/frontend/jobpush" sys node -g none -sp "$work/spool" \
  -n bench -d 2 -l 255 "$2"; }
export -f push
export build work
t_push=$(cpu bash -c 'push ja_JP.eucJP "$work/ja.txt"')
t_iconv=$(cpu bash -c 'iconv -f EUC-JP -t IBM939 "$work/ja.txt" >/dev/null')
t_ascii=$(cpu bash -c 'push C "$work/ascii.txt"')
awk -v s="$size" -v p="$t_push" -v i="$t_iconv" -v a="$t_ascii" 'BEGIN {
  printf "jobpush, Japanese:  %6.2f s  %7.1f MB/s\n", p, s / p / 1e6
  printf "iconv EUC-JP>IBM939: %6.2f s  %7.1f MB/s   jobpush / iconv speed: %.2fx\n", i, s / i / 1e6, i / p
  printf "jobpush, ASCII:     %6.2f s  %7.1f MB/s   Japanese is %.1fx slower per byte\n", a, s / a / 1e6, p / a
}'
