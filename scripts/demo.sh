#!/usr/bin/env bash
# The README's main command: Corvane.dll guiding the simulated observatory under Wine for about a
# hundred guide cycles, then the report, the guide log and the plot (PNG and SVG, drawn by
# corvane-log itself: no image converter needed).
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
cmake --build "$native_build" -j2 --target corvane-sim corvane-log >/dev/null
rm -rf "$out"
mkdir -p "$out"
# About a hundred cycles unless the options say how many (the simulator takes each option once).
cycles=(--cycles 100)
for option in "$@"; do
  if [ "$option" = --cycles ]; then cycles=(); fi
done

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
  scripts/wine-run.sh "$mingw_build/programs/corvane-observatory/corvane-observatory.exe" "${cycles[@]}" --out "$out" "$@" \
    | tr -d '\r' || status=$?
else
  echo "== Corvane's guiding core in the simulated observatory (native, virtual time)"
  status=0
  "$native_build/programs/corvane-sim/corvane-sim" "${cycles[@]}" --out "$out" "$@" || status=$?
fi

# Everything the demo promises must be there; a missing piece fails the demo loudly.
missing=()
if [ -f "$out/Corvane.csv" ]; then
  # The plot in arcsec and minutes: the simulated camera's scale and download time, and the
  # settings typed, as the simulator's defaults or as given to it.
  declare -A given=([--scale]=1.5 [--exposure]=2 [--min-sn]=3 [--min-stars]=4)
  args=("$@")
  for ((i = 0; i + 1 < ${#args[@]}; i++)); do
    if [ -n "${given[${args[i]}]:-}" ]; then given[${args[i]}]=${args[i + 1]}; fi
  done
  known=(--download 0.3)
  for option in "${!given[@]}"; do known+=("$option" "${given[$option]}"); done
  "$native_build/programs/corvane-log/corvane-log" plot "$out/Corvane.csv" -o "$out/plot" \
    --truth "$out/truth.csv" --title "Corvane in the simulated observatory" "${known[@]}" \
    >/dev/null || echo "demo: corvane-log could not draw the plot" >&2
fi
for f in Corvane.csv truth.csv report.txt report.json plot.svg plot.png; do
  [ -s "$out/$f" ] || missing+=("$f")
done
echo
echo "Report:    $shown/report.txt  (and report.json)"
echo "Guide log: $shown/Corvane.csv"
echo "Truth:     $shown/truth.csv"
echo "Plot:      $shown/plot.png  (and plot.svg)"
if [ ${#missing[@]} -gt 0 ]; then
  echo "demo: FAILED: missing in $shown: ${missing[*]}" >&2
  [ "$status" -ne 0 ] || status=1
fi
exit $status
