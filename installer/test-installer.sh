#!/usr/bin/env bash
# The setup as a Windows user meets it, under Wine in a fresh prefix of this test's own:
#   silent install; the files, shortcuts and the entry in the list of installed programs; the
#   registry in both views (ProgID, CLSID per view, type library for win32 and win64);
#   Corvane.PlugIn created by ProgID from a 64-bit and a 32-bit script client and its Name read;
#   the installed 64-bit DLL guiding the simulated observatory; a second install while a host holds
#   the DLL loaded refused with nothing changed; installing twice leaving one entry; and a silent
#   uninstall that leaves no file and no registry key the setup wrote, but the guide log.
# Usage: test-installer.sh SETUP.exe PAYLOAD-DIR OBSERVATORY64.exe WORKDIR
set -uo pipefail
setup=$1 payload=$2 observatory=$3 work=$4

export WINEPREFIX=$work/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY

failures=0
check() {  # check "what" command...: runs the command, reports ok or FAIL
  local what=$1; shift
  if "$@"; then echo "ok:   $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}
fatal() { echo "FAIL: $*"; exit 1; }
winpath() { winepath -w "$1" 2>/dev/null; }
settle() { wineserver -w; }  # every process of the prefix has ended (the uninstaller re-starts itself)
trap 'wineserver -k 2>/dev/null || true' EXIT

for file in "$setup" "$payload/x64/Corvane.dll" "$observatory"; do
  [ -f "$file" ] || fatal "missing $file: build the mingw-x64 and mingw-x86 presets first"
done
rm -rf "$work"
mkdir -p "$work"
drive_c=$WINEPREFIX/drive_c
folder="$drive_c/Program Files/Corvane"
menu="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Corvane"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Corvane'
clsid='{6690F6FD-BCC6-47F7-81DE-09C28A5AE6E3}'
libid='{F84C8189-0B4A-4484-AE02-76A114ABE89C}'

wineboot -i >/dev/null 2>&1
settle
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
docs="$drive_c/users/$(whoami)/Documents"
rm -f "$docs"; mkdir -p "$docs"
settle

# Wine registers the script host's own type library and console settings the first time a script
# runs: a script of each bitness runs before the first snapshot, so the comparison sees only ours.
printf 'WScript.Echo "ready"\r\n' >"$drive_c/warm.vbs"
wine cscript //nologo 'C:\warm.vbs' >/dev/null 2>&1
wine 'C:\windows\syswow64\cscript.exe' //nologo 'C:\warm.vbs' >/dev/null 2>&1
rm -f "$drive_c/warm.vbs"
settle

# What the machine holds before: every file under C: and the whole registry (both views: the
# 32-bit one is HKLM\Software\Wow6432Node), as regedit exports it.
snapshot() {  # snapshot NAME
  (cd "$drive_c" && find . -path ./windows/temp -prune -o -path "./users/*/Temp" -prune -o \
     -print | LC_ALL=C sort) >"$work/$1.files"
  local hive
  for hive in HKEY_LOCAL_MACHINE HKEY_CURRENT_USER; do
    wine regedit /E "$(winpath "$work/$1.$hive.reg")" "$hive" >/dev/null 2>&1
    # Left out: what Wine itself writes as it goes, the console's settings (written when a console
    # program first runs), its table of the code page's bitmap fonts (written again when a program
    # of another code page starts: corvane-log.exe's is UTF-8) and the device drivers' time stamps.
    iconv -f UTF-16LE -t UTF-8 "$work/$1.$hive.reg" | tr -d '\r' |
      awk '/^\[/ { skip = index($0, "[HKEY_CURRENT_USER\\Console") == 1 ||
                         $0 ~ /\\Microsoft\\Windows\\CurrentVersion\\Fonts\]$/ }
           !skip && !/^"DriverDateData"=/' >"$work/$1.$hive.txt"
  done
  settle
}
snapshot before

millis() { echo $(( $(date +%s%N) / 1000000 )); }
elapsed() { local ms=$(( $(millis) - $1 )); printf "%d.%01d" $((ms / 1000)) $((ms % 1000 / 100)); }
t0=$(millis)
wine "$setup" /S; status=$?
settle
install_seconds=$(elapsed "$t0")
[ "$status" = 0 ] || fatal "silent install exits 0 (got $status)"
echo "ok:   silent install exits 0"
echo "figure: silent install $install_seconds s, setup $(stat -c %s "$setup") bytes"

check "x64\\Corvane.dll installed" cmp -s "$folder/x64/Corvane.dll" "$payload/x64/Corvane.dll"
check "x86\\Corvane.dll installed" cmp -s "$folder/x86/Corvane.dll" "$payload/x86/Corvane.dll"
check "x64\\corvane-log.exe installed" cmp -s "$folder/x64/corvane-log.exe" "$payload/x64/corvane-log.exe"
check "x86\\corvane-log.exe installed" cmp -s "$folder/x86/corvane-log.exe" "$payload/x86/corvane-log.exe"
check "corvane-monitor.exe installed" cmp -s "$folder/corvane-monitor.exe" "$payload/corvane-monitor.exe"
check "the user guide installed" cmp -s "$folder/Corvane User Guide.html" "$payload/Corvane User Guide.html"
check "the uninstaller installed" test -s "$folder/Uninstall.exe"
check "Start-menu shortcut to the guide" test -s "$menu/Corvane User Guide.lnk"
check "Start-menu shortcut \"Corvane Monitor\" to corvane-monitor.exe" \
  grep -aqiF 'Corvane\corvane-monitor.exe' "$menu/Corvane Monitor.lnk"
check "Start-menu shortcut to the uninstaller" test -s "$menu/Uninstall Corvane.lnk"
check "the guide's picture of a report installed" cmp -s "$folder/Corvane report.png" "$payload/Corvane report.png"
# A shortcut's arguments are UTF-16 text inside the .lnk.
arguments() { iconv -f UTF-16LE -t UTF-8 -c "$1" 2>/dev/null | tr -c '[:print:]' '\n'; }
check "Start-menu \"Corvane reports\" opens the records' folder" \
  grep -q 'records --open' <(arguments "$menu/Corvane reports.lnk")
check "Start-menu \"Report of the last run\" writes and opens the newest record's report" \
  grep -q 'report --last --open' <(arguments "$menu/Report of the last run.lnk")

query() { wine reg query "$@" 2>/dev/null | tr -d '\r'; }
has() { grep -qiF -- "$2" <<<"$1"; }
entry=$(query "$uninstall_key" /reg:64)
for value in "DisplayName    REG_SZ    Corvane" "DisplayVersion    REG_SZ    1.06" \
             "Publisher    REG_SZ    The Corvane developers" "EstimatedSize    REG_DWORD" \
             'UninstallString    REG_SZ    "C:\Program Files\Corvane\Uninstall.exe"'; do
  check "installed-programs entry: $value" has "$entry" "$value"
done
check "ProgID Corvane.PlugIn names the class" has "$(query 'HKCR\Corvane.PlugIn\CLSID')" "$clsid"
check "64-bit view: the class is the x64 DLL" \
  has "$(query "HKCR\\CLSID\\$clsid\\InprocServer32" /reg:64)" 'C:\Program Files\Corvane\x64\Corvane.dll'
check "32-bit view: the class is the x86 DLL" \
  has "$(query "HKCR\\CLSID\\$clsid\\InprocServer32" /reg:32)" 'C:\Program Files\Corvane\x86\Corvane.dll'
check "type library registered for win64" has "$(query "HKCR\\TypeLib\\$libid\\1.0\\0\\win64")" 'x64\Corvane.dll'
check "type library registered for win32" has "$(query "HKCR\\TypeLib\\$libid\\1.0\\0\\win32")" 'x86\Corvane.dll'

# Clients of both bitnesses create the plug-in by its ProgID, as a host does.
printf 'Set p = CreateObject("Corvane.PlugIn")\r\nWScript.Echo "Name=" & p.Name\r\n' >"$drive_c/probe.vbs"
check "a 64-bit client creates Corvane.PlugIn and reads its Name" \
  has "$(wine cscript //nologo 'C:\probe.vbs' 2>&1 | tr -d '\r')" "Name=Corvane"
check "a 32-bit client creates Corvane.PlugIn and reads its Name" \
  has "$(wine 'C:\windows\syswow64\cscript.exe' //nologo 'C:\probe.vbs' 2>&1 | tr -d '\r')" "Name=Corvane"
settle

# The installed 64-bit DLL guides in the simulated observatory (which checks the log it wrote
# against the model's truth and exits non-zero on any disagreement).
wine "$observatory" --dll 'C:\Program Files\Corvane\x64\Corvane.dll' --cycles 10 --no-unguided \
  --out "$(winpath "$work/observatory")" >"$work/observatory.txt" 2>&1; status=$?
settle
check "the installed 64-bit DLL guides 10 cycles in the simulated observatory (exit $status)" test "$status" = 0
check "its guide log C:\\Corvane.csv is written" test -s "$drive_c/Corvane.csv"
cp "$drive_c/Corvane.csv" "$work/guide-log.csv" 2>/dev/null
check "the installed corvane-log.exe reads that guide log" has \
  "$(wine 'C:\Program Files\Corvane\x64\corvane-log.exe' stats 'C:\Corvane.csv' 2>&1 | tr -d '\r')" "10 cycles"
# The records' folder is the user's Documents\Corvane, where the run above kept its record; the
# newest record goes by its name (the run's start time), and its report is written next to it.
records="$docs/Corvane"
check "the installed DLL's run kept its record in Documents\\Corvane" \
  grep -q '^corvane-record,' <(cat "$records"/*.csv 2>/dev/null)
rm -rf "$records"
mkdir -p "$records"
cp "$drive_c/Corvane.csv" "$records/2024-05-01 22-13-05.csv"
cp "$drive_c/Corvane.csv" "$records/2024-05-01 22-13-05 (2).csv"
cp "$drive_c/Corvane.csv" "$records/2024-04-30 23-59-59.csv"
touch -d 2030-01-01 "$records/2024-04-30 23-59-59.csv"
check "corvane-log.exe records lists the records' folder, newest last" has \
  "$(wine 'C:\Program Files\Corvane\x64\corvane-log.exe' records 2>&1 | tr -d '\r' | tail -1)" "22-13-05 (2).csv"
wine 'C:\Program Files\Corvane\x64\corvane-log.exe' report --last --exposure 2 --scale 1.5 >/dev/null 2>&1
check "report --last writes the newest record's page next to it" test -s "$records/2024-05-01 22-13-05 (2).html"
check "... and no other" test "$(ls "$records" | grep -c html)" = 1
check "... a page with its figures" grep -q 'data-figure="total-rms-arcsec"' "$records/2024-05-01 22-13-05 (2).html"
rm -rf "$records"
check "the observatory left the plug-in registered" has "$(query 'HKCR\Corvane.PlugIn\CLSID')" "$clsid"

# A host holding the 64-bit DLL loaded: a second setup changes nothing and says why.
# (Wine's WScript.Sleep returns at once with an error: the script polls for the release file.)
printf '%s\r\n' 'Set p = CreateObject("Corvane.PlugIn")' 'WScript.Echo "loaded"' \
  'Set fs = CreateObject("Scripting.FileSystemObject")' \
  'Do While Not fs.FileExists("C:\release.txt")' 'Loop' >"$drive_c/hold.vbs"
rm -f "$drive_c/release.txt"
wine cscript //nologo 'C:\hold.vbs' >"$work/hold.txt" 2>&1 &
for _ in $(seq 300); do grep -q loaded "$work/hold.txt" 2>/dev/null && break; sleep 0.1; done
stamp=$(stat -c %Y "$folder/x64/Corvane.dll")
touch -d '2001-01-01' "$folder/x64/Corvane.dll"
wine "$setup" /S; status=$?
check "a setup while a host holds the DLL loaded fails (exit $status)" test "$status" != 0
check "... and leaves the loaded DLL as it was" test "$(stat -c %Y "$folder/x64/Corvane.dll")" = "$(date -d 2001-01-01 +%s)"
check "... and the registration as it was" has "$(query "HKCR\\CLSID\\$clsid\\InprocServer32" /reg:64)" 'x64\Corvane.dll'
touch "$drive_c/release.txt"
wait
settle
touch -d "@$stamp" "$folder/x64/Corvane.dll"

# Installing the same version again replaces the files and leaves one entry.
wine "$setup" /S; status=$?
settle
check "installing again exits 0 (got $status)" test "$status" = 0
check "installing again replaced the DLL" test "$(stat -c %Y "$folder/x64/Corvane.dll")" != "$(date -d 2001-01-01 +%s)"
entries=$( { query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:64
             query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:32; } |
           grep -c 'DisplayName    REG_SZ    Corvane$')
check "one Corvane in the list of installed programs (found $entries)" test "$entries" = 1
check "still registered for 32-bit clients" \
  has "$(wine 'C:\windows\syswow64\cscript.exe' //nologo 'C:\probe.vbs' 2>&1 | tr -d '\r')" "Name=Corvane"

# The silent uninstall: nothing of the setup's is left, the guide log and the user's files are.
rm -f "$drive_c/probe.vbs" "$drive_c/hold.vbs" "$drive_c/release.txt"
t0=$(millis)
wine "$folder/Uninstall.exe" /S; status=$?
settle
uninstall_seconds=$(elapsed "$t0")
check "silent uninstall exits 0 (got $status)" test "$status" = 0
echo "figure: silent uninstall $uninstall_seconds s"
check "the guide log C:\\Corvane.csv is kept" cmp -s "$drive_c/Corvane.csv" "$work/guide-log.csv"
rm -f "$drive_c/Corvane.csv"
snapshot after
check "no file or folder of the setup is left under C:" diff -u "$work/before.files" "$work/after.files"
for hive in HKEY_LOCAL_MACHINE HKEY_CURRENT_USER; do
  check "no registry key or value of the setup is left in $hive" \
    diff -u "$work/before.$hive.txt" "$work/after.$hive.txt"
done

echo "UserInfo reads every Wine user as an administrator: the refusal of a non-administrator (exit 740) cannot be shown here."
[ "$failures" = 0 ] && echo "all installer checks passed" || echo "$failures installer checks failed"
[ "$failures" = 0 ]
