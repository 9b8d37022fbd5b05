#!/usr/bin/env bash
# Quick start: installs what is missing, builds jobpush if needed, makes sure a portmapper answers,
# starts the link daemon simulator, submits a sample file as one NJE job, shows what arrived and stops the simulator.
# Usage: ./demo.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
build=${1:-$root/build}

"$root/scripts/setup.sh"
if [ ! -x "$build/frontend/jobpush" ] || [ ! -x "$build/sim/jobpush_sim" ]; then
  echo "== building jobpush and the simulator in $build"
  cmake -S "$root" -B "$build" >/dev/null
  cmake --build "$build" -j"$(nproc)" --target jobpush jobpush_sim >/dev/null
fi

work=$(mktemp -d /tmp/jobpush-demo.XXXXXX)
spool=$work/spool
mkdir -p "$spool"
cat >"$work/report.txt" <<'TEXT'
QUARTERLY REPORT                                  PAGE 1
	Region	Sales	Returns
	North	1200	14
	South	 980	 9
End of report.
TEXT

echo "== starting the simulator (local node SIMNODE, link LINKA to node NODEA)"
"$build/sim/jobpush_sim" --spool "$spool" --link NODEA=LINKA --time-limit 120 \
  --ready-file "$work/ready" >"$work/sim.log" 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 200); do [ -s "$work/ready" ] && break; sleep 0.05; done
if [ ! -s "$work/ready" ]; then
  echo "the simulator did not start:" >&2
  cat "$work/sim.log" >&2
  exit 1
fi

echo "== jobpush OPERATOR nodea -g localhost -sp $spool $work/report.txt"
"$build/frontend/jobpush" OPERATOR nodea -g localhost -sp "$spool" "$work/report.txt"

echo "== the simulator's log"
cat "$work/sim.log"
echo "== the job in the simulator's spool"
ls -l "$spool/SIMNODE/LINKA/sent"
echo "== header file (valid mark, then the job header record)"
od -A d -t x1 "$spool/SIMNODE/LINKA/sent/NJH1" | head -6
echo "== data file (length, control byte, \"SNA\", compressed EBCDIC records; ends with 00 00 00 00)"
od -A d -t x1 "$spool/SIMNODE/LINKA/sent/NJD1"
if command -v python3 >/dev/null; then
  echo "== the records as the host will read them (SNA strings expanded, EBCDIC code page 037)"
  python3 - "$spool/SIMNODE/LINKA/sent/NJD1" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
pos = 0
while True:
    length = int.from_bytes(data[pos:pos + 4], "big")
    if length == 0:
        break
    block, pos = data[pos + 8:pos + 4 + length], pos + 4 + length
    out, i = bytearray(), 0
    while i < len(block):  # string control bytes: literal, blanks or one repeated byte
        scb, i = block[i], i + 1
        kind, n = scb & 0xC0, scb & 0x3F
        if kind == 0x00:
            out += block[i:i + n]
            i += n
        elif kind == 0x80:
            out += b"\x40" * n
        else:
            out += bytes([block[i]]) * n
            i += 1
    j = 0
    while j < len(out):  # records: TRN, count, data, IRS
        count = out[j + 1]
        print("  |" + out[j + 2:j + 2 + count].decode("cp037") + "|")
        j += 2 + count + 1
PY
fi
echo "== files kept in $work"
