#!/usr/bin/env bash
# Fails when a C++ file of the project is not formatted as .clang-format says. Reads the tracked
# files in a git checkout, otherwise every C++ file outside build/ and out/.
set -euo pipefail
cd "$(dirname "$0")/.."
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files -z -- '*.cpp' '*.h'
else
  find . \( -path ./build -o -path ./out -o -path ./.git \) -prune -o \
    \( -name '*.cpp' -o -name '*.h' \) -print0
fi | xargs -0 clang-format --dry-run -Werror
echo "all C++ files formatted"
