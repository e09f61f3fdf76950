#!/usr/bin/env bash
# All the tests: the portable core natively, then Corvane.dll for 64- and 32-bit hosts under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh

cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native

scripts/wine-prefix.sh
source scripts/wine-env.sh
for preset in mingw-x64 mingw-x86; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

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
