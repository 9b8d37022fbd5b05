#!/usr/bin/env bash
# Times the conversion of a reproducible ~200 MB text file and a 64 MB binary file into data files,
# and `iconv -f ISO-8859-1 -t IBM037` of the same text file in the same run; prints MB/s, the ratio
# to iconv and the peak memory of each. All files live in a fresh directory under the work
# directory and are removed at the end.
# Usage: bench/convert_bench.sh [work-dir]        (default: $TMPDIR, else /tmp)
# Environment: BUILD_DIR (build tree, default build), CONVERT_FILE (the tools/convert_file driver;
# default: the one in the build tree, built there when missing), TEXT_MB=200, BINARY_MB=64, RUNS=3,
# CHARACTER_PATH=1 also times the character-by-character text path once.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
base=${1:-${TMPDIR:-/tmp}}
build=${BUILD_DIR:-$root/build}
text_mb=${TEXT_MB:-200}
binary_mb=${BINARY_MB:-64}
runs=${RUNS:-3}
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 1; }

work=$(mktemp -d "$base/convert_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

driver=${CONVERT_FILE:-$build/tools/convert_file/convert_file}
if [ ! -x "$driver" ]; then
  cmake -S "$root" -B "$build" >/dev/null
  cmake --build "$build" -j2 --target convert_file >/dev/null
fi

echo "generating ${text_mb} MB of text and ${binary_mb} MiB of binary data in $work"
python3 "$root/bench/gen_corpus.py" "$work/text.txt" "$text_mb" "$work/binary.bin" "$binary_mb"
cat "$work/text.txt" "$work/binary.bin" >/dev/null # into the page cache
text_bytes=$(stat -c %s "$work/text.txt")
binary_bytes=$(stat -c %s "$work/binary.bin")

# best NAME BYTES COMMAND...: runs the command $runs times and keeps the smallest processor time
# (user + system: other load on the machine does not count), the smallest elapsed time and the
# largest peak resident size; sets best_mbs (MB/s on processor time) and best_kib.
best() {
  local name=$1 bytes=$2
  shift 2
  local cpu="" wall="" kib=0
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%e %U %S %M" -o "$work/time.out" "$@" >/dev/null
    read -r e u s m <"$work/time.out"
    local c
    c=$(echo "$u + $s" | bc -l)
    if [ -z "$cpu" ] || [ "$(echo "$c < $cpu" | bc -l)" = 1 ]; then cpu=$c; fi
    if [ -z "$wall" ] || [ "$(echo "$e < $wall" | bc -l)" = 1 ]; then wall=$e; fi
    [ "$m" -gt "$kib" ] && kib=$m
  done
  # The clock counts hundredths: a shorter time gives a lower bound of the speed, not a division by 0.
  local cpu_div=$cpu wall_div=$wall
  [ "$(echo "$cpu < 0.01" | bc -l)" = 1 ] && cpu_div=0.01
  [ "$(echo "$wall < 0.01" | bc -l)" = 1 ] && wall_div=0.01
  best_mbs=$(echo "$bytes / 1000000 / $cpu_div" | bc -l)
  best_kib=$kib
  printf "%-34s cpu %6.2f s %8.1f MB/s | elapsed %6.2f s %8.1f MB/s | peak %7d KiB\n" "$name" "$cpu" \
    "$best_mbs" "$wall" "$(echo "$bytes / 1000000 / $wall_div" | bc -l)" "$kib"
}

export LC_ALL=C
best "iconv ISO-8859-1 -> IBM037 (text)" "$text_bytes" iconv -f ISO-8859-1 -t IBM037 -o "$work/iconv.out" "$work/text.txt"
iconv_mbs=$best_mbs
best "convert text (C locale)" "$text_bytes" "$driver" "$work/text.txt" "$work/text.njd"
text_mbs=$best_mbs
text_kib=$best_kib
LC_ALL=C.UTF-8 best "convert text (C.UTF-8 locale)" "$text_bytes" "$driver" "$work/text.txt" "$work/text.njd"
best "convert binary (lrecl 80)" "$binary_bytes" "$driver" -f 1 "$work/binary.bin" "$work/binary.njd"
binary_mbs=$best_mbs
binary_kib=$best_kib
if [ "${CHARACTER_PATH:-0}" = 1 ]; then
  runs=1 best "convert text, character path" "$text_bytes" "$driver" -w "$work/text.txt" "$work/text_wide.njd"
  cmp -s "$work/text.njd" "$work/text_wide.njd" && echo "character path wrote the same data file"
fi

printf "text:   %.1f MB/s (processor time), %.2f x iconv, peak %d KiB\n" "$text_mbs" "$(echo "$text_mbs / $iconv_mbs" | bc -l)" "$text_kib"
printf "binary: %.1f MB/s (processor time), %.2f x iconv, peak %d KiB\n" "$binary_mbs" "$(echo "$binary_mbs / $iconv_mbs" | bc -l)" "$binary_kib"
printf "sizes:  text %d bytes -> data file %d bytes; binary %d bytes -> data file %d bytes\n" \
  "$text_bytes" "$(stat -c %s "$work/text.njd")" "$binary_bytes" "$(stat -c %s "$work/binary.njd")"
