#!/usr/bin/env bash
# Runs a Windows program under the project's Wine with a given Unix locale, compiled on first use
# into a folder of the build (so the machine need not have it installed).
# Usage: run-in-locale.sh <locale dir> <locale, e.g. de_DE> <program> [arguments...]
set -euo pipefail
dir=$1 name=$2
shift 2
if [ ! -d "$dir/$name.UTF-8" ]; then
  mkdir -p "$dir"
  localedef -i "$name" -f UTF-8 "$dir/$name.UTF-8"
fi
export LOCPATH=$dir
export LANG=$name.UTF-8 LC_ALL=$name.UTF-8
exec "$(dirname "$0")/../../../scripts/wine-run.sh" "$@"
