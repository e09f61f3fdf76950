#!/usr/bin/env bash
# Checks what Corvane.dll shows the loader: exactly the four COM server exports, under their plain
# names, and imports from system DLLs only (no mingw runtime DLL such as libstdc++-6.dll,
# libgcc_s_*.dll or libwinpthread-1.dll).
# Usage: check-dll.sh <objdump> <Corvane.dll>
set -euo pipefail
objdump=$1 dll=$2
dump=$("$objdump" -p "$dll")

exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | { grep -E '^\s+\[ *[0-9]+\]' || true; } | awk '{print $NF}' | sort)
expected=$(printf '%s\n' DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer)
if [ "$exports" != "$expected" ]; then
  echo "exports are:"; echo "$exports"; echo "expected:"; echo "$expected"; exit 1
fi

allowed='^(advapi32|comctl32|gdi32|kernel32|msvcrt|ole32|oleaut32|shell32|user32)\.dll$'
status=0
while read -r name; do
  if ! tr '[:upper:]' '[:lower:]' <<<"$name" | grep -Eq "$allowed"; then
    echo "unexpected import: $name"; status=1
  fi
done < <(grep 'DLL Name:' <<<"$dump" | awk '{print $3}')
[ $status -eq 0 ] && echo "exports and imports as expected"
exit $status
