#!/usr/bin/env bash
# Runs a Windows test program under Wine on a virtual X screen, in a prefix of its own that draws
# through X11 (kept between runs: it takes half a minute to make).
#   run-under-xvfb.sh PREFIX PROGRAM [ARGS...]
set -uo pipefail
source "$(dirname "$0")/../../../scripts/wine-x11.sh"
prefix=$1; shift
wine_x11_prefix "$prefix"
trap wine_x11_stop EXIT
wine_x11_screen 1280x1024 || exit 1
wine "$@"
