#!/usr/bin/env bash
# All the tests: the portable core natively, the same under AddressSanitizer and
# UndefinedBehaviorSanitizer with a sweep of simulated runs, a short run of each fuzz target, then
# Corvane.dll for 64- and 32-bit hosts under Wine. Each step's wall time is printed as it ends
# (ctest prints the time of the Wine tests).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh

step_start=0
begin() { step_start=$(date +%s); }
took() { printf 'Time: %-46s %4d s\n' "$1" $(($(date +%s) - step_start)); }

begin
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native
took "native: build and tests"

begin
cmake --preset native-asan >/dev/null
cmake --build --preset native-asan
ctest --preset native-asan
scripts/sanitizer-sweep.sh build/native-asan/programs/corvane-sim/corvane-sim
took "native-asan: build, tests and simulator sweep"

begin
scripts/fuzz.sh 30
took "fuzz: build and 30 s per target"

begin
scripts/wine-prefix.sh
source scripts/wine-env.sh
for preset in mingw-x64 mingw-x86; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
took "mingw-x64 and mingw-x86: prefix and builds"

# One wineserver and one explorer for the whole run: each test process then starts in ~0.1 s.
wineserver -p
wine explorer.exe /desktop=Default >/dev/null 2>&1 &
trap 'wineserver -k 2>/dev/null || true' EXIT
wine cmd.exe /c exit >/dev/null 2>&1 || true  # the first process of a session starts slowly
status=0
for preset in mingw-x64 mingw-x86; do
  ctest --preset "$preset" || status=1
done
exit $status
