#!/usr/bin/env bash
# Whole-process speed of jobpush: local runs (-debug 2) on a text and a binary corpus next to
# "iconv -f ISO-8859-1 -t IBM037" on the same files (ratio = iconv time / jobpush time, so 1.0 or
# more means jobpush keeps up), and one job of 1,000 and of 10,000 small files (time per file).
# Usage: bench/jobpush_bench.sh [build-dir] [corpus-MB]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
mb=${2:-50}
jobpush=$build/frontend/jobpush
if [ ! -x "$jobpush" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" -j2 --target jobpush >/dev/null
fi

work=$(mktemp -d /tmp/jobpush-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
spool=$work/spool
mkdir -p "$spool/BENCH/rje/input"

# Corpora: the conversion benchmark's generator when it is there, else a small one of our own
# (reproducible: a fixed seed).
if [ -x "$root/bench/convert_corpus.sh" ]; then
  "$root/bench/convert_corpus.sh" text "$mb" >"$work/text"
  "$root/bench/convert_corpus.sh" binary "$mb" >"$work/binary"
else
  python3 - "$work" "$mb" <<'PY'
import random, sys
work, mb = sys.argv[1], int(sys.argv[2])
rng = random.Random(1)
words = ("the of and to in is for on that with report total page account balance region "
         "north south east west sales returns quarter year JOB EXEC DD SYSOUT DSN").split()
size = mb * 1000 * 1000
with open(work + "/text", "w") as out:
    n = 0
    while n < size:
        kind = rng.random()
        if kind < 0.1:
            line = ""
        elif kind < 0.3:
            line = "%-12s%10d.%02d%10d\t%s" % (rng.choice(words).upper(), rng.randrange(10**6),
                                               rng.randrange(100), rng.randrange(10**4), rng.choice(words))
        else:
            line = " ".join(rng.choice(words) for _ in range(rng.randrange(3, 16)))
        out.write(line + "\n")
        n += len(line) + 1
with open(work + "/binary", "wb") as out:
    out.write(rng.randbytes(size))
PY
fi

# Best of three wall-clock runs of a command, in seconds.
best() {
  local b=""
  for _ in 1 2 3; do
    local s e t
    s=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    e=$(date +%s.%N)
    t=$(echo "$e - $s" | bc -l)
    if [ -z "$b" ] || [ "$(echo "$t < $b" | bc -l)" = 1 ]; then b=$t; fi
  done
  echo "$b"
}

# Both write their output into the same directory tree, so both pay for the file system.
iconv_run() { iconv -f ISO-8859-1 -t IBM037 "$1" >"$spool/iconv.out"; }
local_run() { "$jobpush" BENCH REMOTE -g none -sp "$spool" -n BENCH -debug 2 "$@"; }

printf '%-8s %10s %12s %12s %8s\n' corpus MB jobpush_s iconv_s ratio
for corpus in text binary; do
  opt=-text
  [ "$corpus" = binary ] && opt=-binary
  size=$(stat -c %s "$work/$corpus")
  tj=$(best local_run "$opt" "$work/$corpus")
  ti=$(best iconv_run "$work/$corpus")
  printf '%-8s %10.1f %12.3f %12.3f %8.2f\n' "$corpus" "$(echo "$size / 1000000" | bc -l)" "$tj" "$ti" \
    "$(echo "$ti / $tj" | bc -l)"
done

# Many small files into one job: the cost per file must not grow with the count.
mkdir -p "$work/small"
for i in $(seq 1 10000); do
  printf 'file %05d line one\nline two\n' "$i" >"$work/small/f$i.txt"
done
echo
printf '%-8s %12s %14s\n' files total_s per_file_us
for count in 1000 10000; do
  files=()
  for i in $(seq 1 "$count"); do files+=("$work/small/f$i.txt"); done
  t=$(best local_run "${files[@]}")
  printf '%-8s %12.3f %14.1f\n' "$count" "$t" "$(echo "$t * 1000000 / $count" | bc -l)"
done
