#!/usr/bin/env bash
# Takes a picture of each of Corvane's dialogs as a user sees it: the real Corvane.dll opened by
# corvane-dialog-pictures.exe (a small host of its own, beside its copy of the DLL) under Wine on
# a virtual X screen (Xvfb), in a prefix of its own with a Wine virtual desktop (so windows get
# their title bars) and Wine's Tahoma and Marlett fonts.
# Writes docs/initial-exposure.png, docs/guide-star-setup.png and docs/guide-star-setup-predict.png
# (the same with "Predict periodic error" ticked).
#   CORVANE_SHOTS_BUILD   the mingw build folder to use (default build/mingw-x64)
#   CORVANE_SHOTS_PREFIX  the Wine prefix to use (default build/screenshots-wineprefix)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
build=${CORVANE_SHOTS_BUILD:-$root/build/mingw-x64}
program=$build/programs/corvane-dialog-pictures/corvane-dialog-pictures.exe
[ -f "$program" ] || { echo "missing $program: build the mingw-x64 preset first" >&2; exit 1; }

export WINEPREFIX=${CORVANE_SHOTS_PREFIX:-$root/build/screenshots-wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset WAYLAND_DISPLAY

if [ ! -f "$WINEPREFIX/.corvane-shots-ready" ]; then
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  DISPLAY= wineboot -i >/dev/null 2>&1 || true
  wineserver -w
  # A virtual desktop gives windows their title bars; unmanaged windows close at once.
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  cp /usr/share/wine/fonts/{tahoma,tahomabd,marlett}.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  docs="$WINEPREFIX/drive_c/users/$(whoami)/Documents"
  rm -f "$docs"; mkdir -p "$docs"
  wineserver -w
  touch "$WINEPREFIX/.corvane-shots-ready"
fi

work=$(mktemp -d)
xvfb_pid=""
cleanup() {
  wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A free display number, told by Xvfb itself.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

shoot() {  # shoot <initial|setup|setup-predict> <output.png>
  local mode=$1 out=$2
  wine "$program" "$mode" >"$work/$mode.out" 2>/dev/null &
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
  # The dialog with a few pixels of desktop around it.
  local m=6
  convert "$work/$mode.png" -crop "$((width + 2 * m))x$((height + 2 * m))+$((left - m))+$((top - m))" \
    +repage "$out"
  wineserver -k; wineserver -w 2>/dev/null || true
  echo "wrote $out (${width}x${height} at $left,$top)"
}

mkdir -p "$root/docs"
shoot initial "$root/docs/initial-exposure.png"
shoot setup "$root/docs/guide-star-setup.png"
shoot setup-predict "$root/docs/guide-star-setup-predict.png"
