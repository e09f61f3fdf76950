#!/usr/bin/env bash
# Creates the project's Wine prefix (64-bit, running 32-bit programs too) when it is missing.
# Headless: Wine's null display driver, so windows exist and can be driven by messages.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
if [ ! -f "$WINEPREFIX/.corvane-ready" ]; then
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  # The user's Documents folder: a folder inside the prefix, never $HOME.
  docs="$WINEPREFIX/drive_c/users/$(whoami)/Documents"
  rm -f "$docs"; mkdir -p "$docs"
  wineserver -w
  touch "$WINEPREFIX/.corvane-ready"
fi
