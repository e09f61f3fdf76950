#!/usr/bin/env bash
# corvane-log.exe given a command and no file reads the newest record in the user's
# Documents\Corvane, as Windows names that folder: two records planted there with start times
# later than any run's, the newer one by its number " (2)", and only that one read.
# Usage: newest-record.sh <corvane-log.exe> <a record with five cycles>
set -uo pipefail
exe=$1 record=$2
root=$(cd "$(dirname "$0")/../../.." && pwd)
source "$root/scripts/wine-env.sh"
folder="$WINEPREFIX/drive_c/users/$(whoami)/Documents/Corvane"
older="$folder/2999-12-31 23-59-59.csv"
newer="$folder/2999-12-31 23-59-59 (2).csv"
mkdir -p "$folder"
trap 'rm -f "$older" "$newer"' EXIT
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
