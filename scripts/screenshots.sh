#!/usr/bin/env bash
# Takes the pictures of the user guide and the README as a user sees them, under Wine on a virtual
# X screen (Xvfb), in a prefix of its own with a Wine virtual desktop (so windows get their title
# bars) and Wine's Tahoma and Marlett fonts (scripts/wine-x11.sh):
#   docs/initial-exposure.png, docs/guide-star-setup.png, docs/guide-star-setup-predict.png (the
#       same with "Predict periodic error" ticked)  each of Corvane's dialogs: the real
#       Corvane.dll opened by corvane-dialog-pictures.exe (a small host of its own, beside its copy
#       of the DLL);
#   docs/monitor-day.png, docs/monitor-night.png  Corvane Monitor in each theme, following the
#       simulated observatory while the real Corvane.dll guides it (corvane-observatory.exe).
#   CORVANE_SHOTS_BUILD   the mingw build folder to use (default build/mingw-x64)
#   CORVANE_SHOTS_PREFIX  the Wine prefix to use (default build/screenshots-wineprefix)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
build=${CORVANE_SHOTS_BUILD:-$root/build/mingw-x64}
pictures=$build/programs/corvane-dialog-pictures/corvane-dialog-pictures.exe
monitor=$build/programs/corvane-monitor/corvane-monitor.exe
observatory=$build/programs/corvane-observatory/corvane-observatory.exe
for program in "$pictures" "$monitor" "$observatory"; do
  [ -f "$program" ] || { echo "missing $program: build the mingw-x64 preset first" >&2; exit 1; }
done

# Two monitors side by side (one in each theme) fit on the desktop.
desktop=1960x720
source "$root/scripts/wine-x11.sh"
wine_x11_prefix "${CORVANE_SHOTS_PREFIX:-$root/build/screenshots-wineprefix}" "$desktop"
work=$(mktemp -d)
cleanup() {
  wine_x11_stop
  rm -rf "$work"
}
trap cleanup EXIT
wine_x11_screen "$desktop"

# crop <screen.png> <left> <top> <width> <height> <output.png>: a window with a few pixels of
# desktop around it.
crop() {
  local m=6
  convert "$1" -crop "$(($4 + 2 * m))x$(($5 + 2 * m))+$(($2 - m))+$(($3 - m))" +repage "$6"
  echo "wrote $6 (${4}x${5} at $2,$3)"
}

shoot_dialog() {  # shoot_dialog <initial|setup|setup-predict> <output.png>
  local mode=$1 out=$2
  wine "$pictures" "$mode" >"$work/$mode.out" 2>/dev/null &
  local line=""
  for _ in $(seq 600); do
    line=$(tr -d '\r' <"$work/$mode.out" | grep -m1 -E '^(shown|missing)' || true)
    [ -n "$line" ] && break
    sleep 0.1
  done
  case "$line" in
    shown*) ;;
    *) echo "the dialog '$mode' did not appear" >&2; return 1 ;;
  esac
  read -r _ left top width height <<<"$line"
  sleep 1
  import -window root "$work/$mode.png"
  crop "$work/$mode.png" "$left" "$top" "$width" "$height" "$out"
  wineserver -k; wineserver -w 2>/dev/null || true
}

# Both monitors start before the run, so every cycle has the time it came; the picture is taken
# while the run goes on, once the log has this many cycles.
shoot_monitors() {  # shoot_monitors <day.png> <night.png>
  local w=960 h=680 top=16 day_left=10 night_left=990 cycles=200
  local log="$WINEPREFIX/drive_c/Corvane.csv"
  rm -f "$log"
  local theme left
  for theme in day night; do
    [ "$theme" = day ] && left=$day_left || left=$night_left
    # What the monitor remembers: its theme, place, span and the pixel scale typed.
    wine reg add 'HKCU\Software\Corvane\Monitor' /v Theme /d "$theme" /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Corvane\Monitor' /v Span /d all /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Corvane\Monitor' /v Scale /d 1.5 /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Corvane\Monitor' /v Window \
      /d "$left $top $((left + w)) $((top + h)) 0" /f >/dev/null 2>&1
    wine "$monitor" >/dev/null 2>&1 &
    # Until its title bar is on the screen (unlike the desktop below the windows): it has read
    # what it remembers.
    local shown=""
    for _ in $(seq 120); do
      import -window root "$work/screen.png"
      [ "$(convert "$work/screen.png" -format "%[pixel:p{$((left + w / 2)),$((top + 8))}]" info:)" != \
        "$(convert "$work/screen.png" -format "%[pixel:p{$((left + w / 2)),$((top + h + 12))}]" info:)" ] &&
        shown=yes && break
      sleep 0.5
    done
    [ -n "$shown" ] || { echo "the monitor's window ($theme) did not appear" >&2; return 1; }
  done
  wine "$observatory" --cycles 400 --seed 5 --no-unguided --out 'C:\screenshots-run' \
    >"$work/observatory.out" 2>&1 &
  local observatory_pid=$!
  for _ in $(seq 1800); do
    [ -f "$log" ] && [ "$(wc -l <"$log")" -gt "$cycles" ] && break
    kill -0 "$observatory_pid" 2>/dev/null || break
    sleep 0.2
  done
  [ -f "$log" ] && [ "$(wc -l <"$log")" -gt "$cycles" ] || {
    echo "the observatory's run did not reach $cycles cycles:" >&2
    cat "$work/observatory.out" >&2
    return 1
  }
  sleep 1
  import -window root "$work/monitors.png"
  crop "$work/monitors.png" "$day_left" "$top" "$w" "$h" "$1"
  crop "$work/monitors.png" "$night_left" "$top" "$w" "$h" "$2"
  wineserver -k; wineserver -w 2>/dev/null || true
}

mkdir -p "$root/docs"
shoot_dialog initial "$root/docs/initial-exposure.png"
shoot_dialog setup "$root/docs/guide-star-setup.png"
shoot_dialog setup-predict "$root/docs/guide-star-setup-predict.png"
shoot_monitors "$root/docs/monitor-day.png" "$root/docs/monitor-night.png"
