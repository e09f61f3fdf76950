#!/usr/bin/env bash
# The README's main command: Corvane.dll guiding the simulated observatory under Wine for about a
# hundred guide cycles, then the report, the guide log and a plot.
#   scripts/demo.sh            the real DLL in corvane-observatory.exe under Wine
#   scripts/demo.sh --native   the portable core in corvane-sim (no Wine, a second or so)
# Extra options go to the simulator (see corvane-sim --help), e.g. --cycles 200 --dec 60.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

mode=wine
if [ "${1:-}" = "--native" ]; then mode=native; shift; fi
native_build=${CORVANE_NATIVE_BUILD:-build/native}
mingw_build=${CORVANE_MINGW_BUILD:-build/mingw-x64}
out=${CORVANE_DEMO_OUT:-out/demo}
case "$out" in /*) shown=$out ;; *) shown=$root/$out ;; esac

scripts/install-deps.sh
echo "== Building (native tools)"
cmake --preset native -B "$native_build" >/dev/null
cmake --build "$native_build" -j2 --target corvane-sim corvane-plot >/dev/null
rm -rf "$out"
mkdir -p "$out"

if [ "$mode" = wine ]; then
  echo "== Building (Corvane.dll and corvane-observatory.exe, mingw-w64 x86_64)"
  cmake --preset mingw-x64 -B "$mingw_build" >/dev/null
  cmake --build "$mingw_build" -j2 --target corvane-observatory >/dev/null
  echo "== Wine prefix"
  scripts/wine-prefix.sh
  source scripts/wine-env.sh
  trap 'wineserver -k 2>/dev/null || true' EXIT
  echo "== Corvane.dll guiding the simulated observatory under Wine"
  status=0
  scripts/wine-run.sh "$mingw_build/sim/win/corvane-observatory.exe" --cycles 100 --out "$out" "$@" \
    | tr -d '\r' || status=$?
else
  echo "== Corvane's guiding core in the simulated observatory (native, virtual time)"
  status=0
  "$native_build/sim/corvane-sim" --cycles 100 --out "$out" "$@" || status=$?
fi

if [ -f "$out/Corvane.csv" ]; then
  "$native_build/sim/corvane-plot" "$out/Corvane.csv" -o "$out/plot.svg" --truth "$out/truth.csv" \
    --title "Corvane in the simulated observatory" >/dev/null
  command -v convert >/dev/null && convert "$out/plot.svg" "$out/plot.png" 2>/dev/null || true
fi
echo
echo "Report:    $shown/report.txt  (and report.json)"
echo "Guide log: $shown/Corvane.csv"
echo "Truth:     $shown/truth.csv"
[ -f "$out/plot.svg" ] && echo "Plot:      $shown/plot.svg$( [ -f "$out/plot.png" ] && echo " and plot.png")"
exit $status
