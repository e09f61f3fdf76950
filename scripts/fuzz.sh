#!/usr/bin/env bash
# Builds the fuzz preset and runs each libFuzzer target for a while (default 30 s each), starting
# from its corpus in fuzz/corpus/ (read only: new inputs go to a scratch folder), and prints the
# executions and time per target. A target that finds a failing input fails the script and
# leaves the input as build/fuzz/crash-*.
# Usage: scripts/fuzz.sh [seconds per target]     e.g. scripts/fuzz.sh 3600 for an hour each
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-30}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
status=0
for target in number-reader guide-run guide-log; do
  scratch=$(mktemp -d)
  log=$(mktemp)
  start=$(date +%s%N)
  if (cd build/fuzz && "fuzz/fuzz-$target" -max_total_time="$seconds" -print_final_stats=1 \
        -timeout=10 -rss_limit_mb=2048 "$scratch" "$root/fuzz/corpus/$target") >"$log" 2>&1; then
    result=passed
  else
    result=FAILED
    status=1
    tail -n 60 "$log"
  fi
  tenths=$((($(date +%s%N) - start) / 100000000))
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "fuzz-$target: $result, ${runs:-?} executions in $((tenths / 10)).$((tenths % 10)) s"
  rm -rf "$scratch" "$log"
done
exit $status
