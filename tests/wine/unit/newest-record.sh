#!/usr/bin/env bash
# corvane-log.exe given a command and no file reads the newest record in the user's
# Documents\Corvane, as Windows names that folder: two records planted there with start times
# later than any run's, the newer one by its number " (2)", and only that one read.
# And a folder whose name is not ASCII (a user named Jörg): its records listed, the newest one's
# report written beside it, a record in it read.
# Usage: newest-record.sh <corvane-log.exe> <a record with five cycles>
set -uo pipefail
exe=$1 record=$2
root=$(cd "$(dirname "$0")/../../.." && pwd)
source "$root/scripts/wine-env.sh"
folder="$WINEPREFIX/drive_c/users/$(whoami)/Documents/Corvane"
older="$folder/2999-12-31 23-59-59.csv"
newer="$folder/2999-12-31 23-59-59 (2).csv"
mkdir -p "$folder"
accented=$(mktemp -d)/Jörg/Corvane
mkdir -p "$accented"
trap 'rm -f "$older" "$newer"; rm -rf "${accented%/Jörg/Corvane}"' EXIT
printf 'corvane-record,0,1,"9","2999-12-31 23:59:59","2999-12-31 22:59:59",60\r\n' >"$older"
cp "$record" "$newer"

out=$("$root/scripts/wine-run.sh" "$exe" stats 2>&1)
status=$?
printf '%s\n' "$out"
fail() { echo "FAILED: $1"; exit 1; }
[ $status -eq 0 ] || fail "exit code $status"
grep -q 'the newest record, C:\\.*\\Documents\\Corvane\\2999-12-31 23-59-59 (2)\.csv' <<<"$out" ||
  fail "the newest record not named"
grep -q '5 cycles, 2 stars' <<<"$out" || fail "not the planted record's cycles"
grep -q "Note: the run's record: started 2024-05-01 22:13:05" <<<"$out" || fail "no record note"
echo "the newest record read"

cp "$record" "$accented/2024-05-01 22-13-05.csv"
windows="Z:${accented//\//\\}"
out=$("$root/scripts/wine-run.sh" "$exe" records --folder "$windows" 2>&1)
printf '%s\n' "$out"
grep -qF "$windows\\2024-05-01 22-13-05.csv" <<<"$out" || fail "the record in $windows not listed"
out=$("$root/scripts/wine-run.sh" "$exe" report --last --folder "$windows" 2>&1)
status=$?
printf '%s\n' "$out"
[ $status -eq 0 ] || fail "report --last in $windows: exit code $status"
grep -q 'data-figure="ra-rms' "$accented/2024-05-01 22-13-05.html" || fail "no report beside the record"
out=$("$root/scripts/wine-run.sh" "$exe" stats "$windows\\2024-05-01 22-13-05.csv" 2>&1)
grep -q '5 cycles, 2 stars' <<<"$out" || fail "the record in $windows not read: $out"
echo "a folder named in letters beyond ASCII read and written"
