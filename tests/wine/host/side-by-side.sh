#!/usr/bin/env bash
# The 64- and 32-bit Corvane.dll registered in one prefix. The ProgID, the Interface key of _PlugIn
# and the TypeLib key are seen by both registry views, the class keys are not. Side by side:
# unregistering one must leave the keys that the other still needs; unregistering the last removes
# them, and unregistering again succeeds. Each alone, from a state with nothing of ours:
# unregistering (twice) removes exactly what registration wrote, from both views.
# Usage: side-by-side.sh <this Corvane.dll> (the other bitness is found in the sibling build).
set -uo pipefail
source "$(dirname "$0")/../../../scripts/wine-env.sh"

this=$1
case "$this" in
  *mingw-x64*) x64=$this; x86=${this/mingw-x64/mingw-x86} ;;
  *mingw-x86*) x86=$this; x64=${this/mingw-x86/mingw-x64} ;;
  *) echo "cannot tell the bitness of $this"; exit 1 ;;
esac
for dll in "$x64" "$x86"; do
  [ -f "$dll" ] || { echo "SKIP: $dll is not built"; exit 77; }
done
win() { echo "Z:${1//\//\\}"; }

failures=0
check() {  # check <description> <expected 0|1> <command...>
  local what=$1 expected=$2; shift 2
  "$@" >/dev/null 2>&1; local found=$(( $? == 0 ? 1 : 0 ))
  if [ "$found" != "$expected" ]; then echo "FAIL: $what"; failures=$((failures + 1)); else echo "ok: $what"; fi
}
interface_key='Interface\{32325873-3F55-4993-867C-F43E4FB4E4ED}'
typelib_key='TypeLib\{F84C8189-0B4A-4484-AE02-76A114ABE89C}'
progid() { wine reg query 'HKCR\Corvane.PlugIn\CLSID'; }
interface() { wine reg query "HKCR\\$interface_key\\TypeLib"; }
typelib() { wine reg query "HKCR\\$typelib_key"; }
clsid() { wine reg query 'HKCR\Corvane.PlugIn\CLSID' /ve 2>/dev/null | grep -o '{[^}]*}'; }
server() { wine reg query "HKCR\\CLSID\\$(cat "$work/clsid")\\InprocServer32" "/reg:$1"; }
register() { wine regsvr32 /s "$@"; }
# The keys of ours found in either view, one line each: "HKCR\<key> (/reg:64)".
keys() {
  local view path
  for view in 64 32; do
    for path in Corvane.PlugIn "CLSID\\$(cat "$work/clsid")" "$interface_key" "$typelib_key"; do
      if wine reg query "HKCR\\$path" "/reg:$view" >/dev/null 2>&1; then
        echo "HKCR\\$path (/reg:$view)"
      fi
    done
  done
}
expect_keys() {  # expect_keys <description> <the keys expected, as keys lists them>
  local found; found=$(keys)
  if [ "$found" != "$2" ]; then
    echo "FAIL: $1: found"; echo "${found:-nothing}" | sed 's/^/  /'
    echo "  expected"; echo "${2:-nothing}" | sed 's/^/  /'; failures=$((failures + 1))
  else echo "ok: $1"; fi
}

work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
register "$(win "$x64")" && register "$(win "$x86")" || { echo "FAIL: registration"; exit 1; }
clsid >"$work/clsid"
check "both registered: 64-bit class" 1 server 64
check "both registered: 32-bit class" 1 server 32

check "unregistering the 32-bit DLL beside the 64-bit one succeeds" 1 register /u "$(win "$x86")"
check "32-bit unregistered: ProgID kept for the 64-bit DLL" 1 progid
check "32-bit unregistered: Interface key kept for the 64-bit DLL" 1 interface
check "32-bit unregistered: 64-bit class kept" 1 server 64
check "32-bit unregistered: 32-bit class gone" 0 server 32

check "registering the 32-bit DLL again succeeds" 1 register "$(win "$x86")"
check "unregistering the 64-bit DLL beside the 32-bit one succeeds" 1 register /u "$(win "$x64")"
check "64-bit unregistered: ProgID kept for the 32-bit DLL" 1 progid
check "64-bit unregistered: Interface key kept for the 32-bit DLL" 1 interface
check "64-bit unregistered: 32-bit class kept" 1 server 32
check "64-bit unregistered: 64-bit class gone" 0 server 64

check "unregistering the last DLL, the 32-bit one, succeeds" 1 register /u "$(win "$x86")"
check "both unregistered: ProgID gone" 0 progid
check "both unregistered: 32-bit class gone" 0 server 32
check "both unregistered: Interface key gone" 0 interface
check "both unregistered: TypeLib key gone" 0 typelib
expect_keys "both unregistered: nothing of ours in either view" ""
check "unregistering the 32-bit DLL again succeeds" 1 register /u "$(win "$x86")"
check "unregistering the 64-bit DLL again succeeds" 1 register /u "$(win "$x64")"

# One bitness alone: the ProgID, the Interface key and the TypeLib key are written where both
# views see them, the class in its own view only; unregistering removes all of it from both
# views, also the second time.
alone() {  # alone <64|32> <Corvane.dll>
  local bits=$1 dll=$2 view time wrote=""
  for view in 64 32; do
    wrote+="HKCR\\Corvane.PlugIn (/reg:$view)"$'\n'
    [ "$view" != "$bits" ] || wrote+="HKCR\\CLSID\\$(cat "$work/clsid") (/reg:$view)"$'\n'
    wrote+="HKCR\\$interface_key (/reg:$view)"$'\n'"HKCR\\$typelib_key (/reg:$view)"$'\n'
  done
  check "$bits-bit alone: registration succeeds" 1 register "$(win "$dll")"
  expect_keys "$bits-bit alone, registered: the keys of both views" "${wrote%$'\n'}"
  for time in 1 2; do
    check "$bits-bit alone: unregistering ($time) succeeds" 1 register /u "$(win "$dll")"
    expect_keys "$bits-bit alone, unregistered ($time): nothing of ours in either view" ""
  done
}
alone 64 "$x64"
alone 32 "$x86"

# Leave both registered, as the other tests of this prefix expect.
register "$(win "$x64")"; register "$(win "$x86")"
exit $(( failures > 0 ))
