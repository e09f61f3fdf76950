#!/usr/bin/env bash
# The report's pictures for the README and the user guide: a simulated night of 3000 cycles with six
# stars and a cloud, its page by corvane-log report, and the top of the page in the day and the
# night theme (docs/report-day.png, docs/report-night.png; docs/report-guide.png the day's at the
# user guide's width). Needs the native build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/native
work=$build/report-pictures
mkdir -p "$work"
"$build/programs/corvane-sim/corvane-sim" --cycles 3000 --stars 6 --no-unguided --seed 7 \
  --cloud 1400,90,0,1+2+3+4+5+6 --out "$work/sim" >/dev/null
cp "$work/sim/Corvane.csv" "$work/Corvane.csv"
"$build/programs/corvane-log/corvane-log" report "$work/Corvane.csv" -o "$work/night.html" \
  --exposure 2 --download 0.3 --scale 1.5 --min-stars 4 >/dev/null
NODE_PATH=$build/logtools/report/node_modules node "$root/scripts/report-pictures.cjs" \
  "$work/night.html" "$root/docs"
convert "$root/docs/report-day.png" -resize 800x "$root/docs/report-guide.png"
ls -l "$root"/docs/report-*.png
