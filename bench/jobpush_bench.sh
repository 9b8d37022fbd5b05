#!/usr/bin/env bash
# Whole-process speed of jobpush: local runs (-debug 2) on a text and a binary corpus next to
# "iconv -f ISO-8859-1 -t IBM037" on the same files, both writing into the same directory tree
# (ratio = iconv time / jobpush time: 1.0 or more means jobpush keeps up), then one job of 1,000
# and one of 10,000 small files (time per file). Times are processor times (user + system), the
# best of RUNS runs (5), so other load on the machine counts as little as it can; the spread column
# is the slowest run over the best, for jobpush / for iconv.
# Usage: bench/jobpush_bench.sh [build-dir] [text-MB] [binary-MB]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
mkdir -p "$build" && build=$(cd "$build" && pwd)
text_mb=${2:-100}
binary_mb=${3:-64}
runs=${RUNS:-5}
jobpush=$build/frontend/jobpush
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 1; } # peak memory
if [ ! -x "$jobpush" ]; then
  cmake -S "$root" -B "$build" >/dev/null
  cmake --build "$build" -j2 --target jobpush >/dev/null
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/jobpush_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
spool=$work/spool
mkdir -p "$spool/BENCH/rje/input"

# The conversion benchmark's reproducible corpus (fixed seeds).
python3 "$root/bench/gen_corpus.py" "$work/text" "$text_mb" "$work/binary" "$binary_mb"
cat "$work/text" "$work/binary" >/dev/null  # into the page cache

# best_to OUT COMMAND...: "best worst peak": processor times in seconds of $runs runs of COMMAND,
# its standard output into OUT, and the largest peak resident size in KiB (bench/cputime.py). The
# programs measured are started directly, so that no shell's start is counted with them.
best_to() {
  python3 "$root/bench/cputime.py" "$runs" "$@"
}
best() { best_to "$work/out" "$@"; }

local_run() { "$jobpush" BENCH REMOTE -g none -sp "$spool" -n BENCH -debug 2 "$@"; }
export -f local_run
export jobpush spool

printf '%-8s %8s %11s %9s %7s %12s %12s %12s\n' corpus MB jobpush_s iconv_s ratio spread jobpush_MB/s \
  jobpush_KiB
for corpus in text binary; do
  opt=-text
  [ "$corpus" = binary ] && opt=-binary
  mb=$(stat -c %s "$work/$corpus" | awk '{ printf "%.1f", $1 / 1e6 }')
  read -r tj wj mj < <(best "$jobpush" BENCH REMOTE -g none -sp "$spool" -n BENCH -debug 2 "$opt" "$work/$corpus")
  read -r ti wi _ < <(best_to "$spool/iconv.out" iconv -f ISO-8859-1 -t IBM037 "$work/$corpus")
  awk -v c="$corpus" -v mb="$mb" -v tj="$tj" -v ti="$ti" -v wj="$wj" -v wi="$wi" -v mj="$mj" \
    'BEGIN { printf "%-8s %8s %11.3f %9.3f %7.2f %5.2f / %4.2f %12.0f %12d\n", c, mb, tj, ti, ti / tj, wj / tj, wi / ti, mb / tj, mj }'
done

# Many small files into one job: the cost per file must not grow with the count.
mkdir -p "$work/small"
for i in $(seq 1 10000); do
  printf 'file %05d line one\nline two\n' "$i" >"$work/small/f$i.txt"
done
echo
printf '%-8s %6s %10s %13s\n' files runs total_s per_file_us
for count in 1000 10000; do
  reps=$((10000 / count)) # the same number of files in all, for the same clock resolution
  (cd "$work/small" && seq -f 'f%g.txt' 1 "$count" >"$work/list")
  read -r t _ _ < <(cd "$work/small" && best bash -c 'mapfile -t f <"$0"; for ((r = 0; r < $1; r++)); do local_run "${f[@]}"; done' \
    "$work/list" "$reps")
  awk -v n="$count" -v r="$reps" -v t="$t" 'BEGIN { printf "%-8s %6d %10.3f %13.1f\n", n, r, t, t * 1e6 / (n * r) }'
done
