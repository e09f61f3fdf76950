#!/usr/bin/env bash
# Simulated guiding runs under AddressSanitizer and UndefinedBehaviorSanitizer (the native-asan
# preset): every star count from 1 to 10, each with three of: declinations from the equator to
# near the poles on both sides, miscalibrations, mirrored and swapped wiring, clouds over some or
# all stars, and each scripted ending (link, aggressiveness 0, image closed, event 15). The first
# sanitizer report ends the program with an error, and so fails the sweep.
# Usage: scripts/sanitizer-sweep.sh [path/to/corvane-sim]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sim=${1:-$root/build/native-asan/programs/corvane-sim/corvane-sim}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

decs=(0 30 -45 60 75 -80 89)
variants=("" "--mirror" "--wrong-reverse" "--swap-ra --swap-dec" "--wrong-dec 0" "--rotation 200"
          "--max-move -0.5 --min-move 3")
endings=("--cycles 150" "--event link@6" "--event aggr0@5" "--event close@t40" "--cycles 0 --event stop@8"
         "--cycles 100 --cloud 3,30,0.05,1+2" "--cycles 100 --cloud t10,20,0,1+2+3+4+5+6+7+8+9+10")
runs=0
for stars in 1 2 3 4 5 6 7 8 9 10; do
  for k in 0 1 2; do
    i=$((stars * 3 + k))
    # shellcheck disable=SC2206  # the options are words on purpose
    args=(--stars "$stars" --seed "$i" --dec "${decs[i % 7]}" ${variants[(i / 7) % 7]}
          ${endings[i % 7]} --min-stars "$((k + 1))" --no-unguided --out "$out")
    if ! "$sim" "${args[@]}" >"$out/log" 2>&1 || grep -Eq 'runtime error|Sanitizer' "$out/log"; then
      echo "sanitizer sweep: corvane-sim ${args[*]} failed:" >&2
      cat "$out/log" >&2
      exit 1
    fi
    runs=$((runs + 1))
  done
done
echo "sanitizer sweep: $runs simulated runs, no sanitizer report"
