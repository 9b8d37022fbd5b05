#!/usr/bin/env bash
# Quick start: installs what is missing, builds jobpush if needed, makes sure a portmapper answers,
# starts the link daemon simulator, submits a sample file as one NJE job, shows what arrived (also
# through jobshow) and stops the simulator.
# Usage: ./demo.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
build=${1:-$root/build}

"$root/scripts/setup.sh"
if [ ! -x "$build/frontend/jobpush" ] || [ ! -x "$build/frontend/jobshow" ] || [ ! -x "$build/sim/jobpush_sim" ]; then
  echo "== building jobpush, jobshow and the simulator in $build"
  cmake -S "$root" -B "$build" >/dev/null
  cmake --build "$build" -j"$(nproc)" --target jobpush jobshow jobpush_sim >/dev/null
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
echo "== jobshow: what the job holds"
"$build/frontend/jobshow" "$spool/SIMNODE/LINKA/sent/NJH1"
echo "== jobshow -dataset 1: the records as the host will read them, back as text"
"$build/frontend/jobshow" -dataset 1 "$spool/SIMNODE/LINKA/sent/NJH1"
echo "== files kept in $work"
