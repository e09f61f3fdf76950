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
  wineserver -w
  touch "$WINEPREFIX/.corvane-ready"
fi
# The user's folders are folders inside the prefix, never links to $HOME as Wine makes them: the
# plug-in writes its run records into Documents\Corvane (and its guide log into Documents where
# C:\ is not writable), so no test writes into $HOME. Checked on every call, also for a prefix made
# before this rule and after Wine has updated a prefix.
user_dir="$WINEPREFIX/drive_c/users/$(whoami)"
for folder in Documents Desktop Downloads Music Pictures Videos Templates; do
  if [ -L "$user_dir/$folder" ]; then
    rm -f "$user_dir/$folder"
    mkdir -p "$user_dir/$folder"
  fi
done
