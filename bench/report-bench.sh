#!/usr/bin/env bash
# The report's figures on a 20,000-cycle night of 10 stars (with a cloud): corvane-log report's
# wall time (best of 3, reading, analysis and page), the page's size, how soon the page is ready in
# headless chromium (bench/report-page-ready.cjs), and the page test's checks on a night of that
# size (its figures against stats --json, every cycle in the graph, the span's RMS after zooms).
# Run by hand after the native build:
#   bench/report-bench.sh [build/native]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/native}" && pwd)
work=$build/bench/report
mkdir -p "$work"
"$build/programs/corvane-sim/corvane-sim" --cycles 20000 --stars 10 --no-unguided \
  --cloud 9000,120,0,1+2+3+4+5+6+7+8+9+10 --out "$work/sim" >/dev/null
settings=(--exposure 2 --download 0.3 --scale 1.5 --min-stars 4)
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores (wall times grow with it)"
TIMEFORMAT="corvane-log report, 20000 cycles, 10 stars: %R s wall, %U s user + %S s system CPU"
for _ in 1 2 3; do
  time "$build/programs/corvane-log/corvane-log" report "$work/sim/Corvane.csv" \
    -o "$work/night.html" "${settings[@]}" >/dev/null
done
echo "(target: under 1 s)"
echo "page size: $(stat -c %s "$work/night.html") bytes (target < 3 MB, 3145728 bytes)"
NODE_PATH=$build/logtools/report/node_modules node "$root/bench/report-page-ready.cjs" \
  "$work/night.html" 5
echo "(target: page ready in < 1500 ms)"
echo "the page test's checks on 20000 cycles of 10 stars:"
NODE_PATH=$build/logtools/report/node_modules node "$root/tests/logtools/report-page.cjs" \
  "$build/programs/corvane-sim/corvane-sim" "$build/programs/corvane-log/corvane-log" \
  "$work/checks" 20000 10
