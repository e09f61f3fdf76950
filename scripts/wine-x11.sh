# Sourced by the scripts that show Windows programs on a virtual X screen (scripts/screenshots.sh,
# the monitor's window test): a Wine prefix of their own that draws through X11 (the project's
# test prefix has Wine's null display driver), with Wine's Tahoma and Marlett, the user's
# Documents inside the prefix, unmanaged windows (no window manager under Xvfb), and optionally a
# Wine virtual desktop (so windows get their title bars); and an Xvfb of its own.
#   wine_x11_prefix PREFIX [DESKTOP_SIZE]   creates the prefix once (a marker file says it is ready)
#   wine_x11_screen SIZE                    starts Xvfb on a free display and exports DISPLAY
#   wine_x11_stop                           ends the prefix's processes and the Xvfb
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset WAYLAND_DISPLAY
wine_x11_xvfb=""
wine_x11_display_file=""

wine_x11_prefix() {
  export WINEPREFIX=$1
  local desktop=${2:-}
  local marker="$WINEPREFIX/.corvane-x11-ready${desktop:+-$desktop}"
  [ -f "$marker" ] && return 0
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  DISPLAY= wineboot -i >/dev/null 2>&1 || true
  wineserver -w
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  if [ -n "$desktop" ]; then
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$desktop" /f >/dev/null 2>&1
  fi
  cp /usr/share/wine/fonts/{tahoma,tahomabd,marlett}.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  local docs="$WINEPREFIX/drive_c/users/$(whoami)/Documents"
  rm -f "$docs"
  mkdir -p "$docs"
  wineserver -w
  touch "$marker"
}

wine_x11_screen() {
  wine_x11_display_file=$(mktemp)
  # A free display number, told by Xvfb itself.
  Xvfb -displayfd 3 -screen 0 "${1}x24" -nolisten tcp 3>"$wine_x11_display_file" >/dev/null 2>&1 &
  wine_x11_xvfb=$!
  for _ in $(seq 100); do [ -s "$wine_x11_display_file" ] && break; sleep 0.1; done
  [ -s "$wine_x11_display_file" ] || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$(cat "$wine_x11_display_file")"
}

wine_x11_stop() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  [ -n "$wine_x11_xvfb" ] && kill "$wine_x11_xvfb" 2>/dev/null || true
  [ -n "$wine_x11_display_file" ] && rm -f "$wine_x11_display_file"
  wine_x11_xvfb=""
}
