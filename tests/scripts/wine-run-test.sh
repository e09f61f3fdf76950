#!/usr/bin/env bash
# scripts/wine-run.sh against a stub `wine` on PATH that plays Wine's launcher failing to start a
# process a given number of times before the program runs. The program is started again only
# when the launcher failed; a run's own output and exit status come through unchanged.
set -uo pipefail
run=$(cd "$(dirname "$0")/../.." && pwd)/scripts/wine-run.sh
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/bin"
# The stub: the first $LAUNCH_FAILURES calls print the launcher's message as Wine does and exit
# 1; after that it "runs the program": prints $OUT on stdout, $ERR on stderr, exits with $RC.
cat >"$dir/bin/wine" <<'STUB'
#!/usr/bin/env bash
calls=$(($(cat "$CALLS" 2>/dev/null || echo 0) + 1))
echo "$calls" >"$CALLS"
echo "$*" >"$CALLS.args"
if [ "$calls" -le "$LAUNCH_FAILURES" ]; then
  printf 'Application could not be started, or no application associated with the specified file.\nShellExecuteEx failed: Internal error.\r\n\r\n'
  exit 1
fi
printf '%b' "$OUT"
printf '%b' "$ERR" >&2
exit "$RC"
STUB
chmod +x "$dir/bin/wine"

failures=0
# check NAME LAUNCH_FAILURES OUT ERR RC, then the expected: calls, status, stdout, stderr pattern
check() {
  local name=$1 expectCalls=$6 expectStatus=$7 expectOut=$8 errPattern=$9
  rm -f "$dir/calls"
  PATH="$dir/bin:$PATH" CORVANE_WINE_RETRY_PAUSE=0 CALLS="$dir/calls" \
    LAUNCH_FAILURES=$2 OUT=$3 ERR=$4 RC=$5 \
    "$run" test.exe --flag >"$dir/out" 2>"$dir/err"
  local status=$? calls
  calls=$(cat "$dir/calls")
  local ok=1
  [ "$calls" = "$expectCalls" ] || { echo "$name: $calls calls, expected $expectCalls"; ok=0; }
  [ "$(cat "$dir/calls.args")" = "test.exe --flag" ] || { echo "$name: arguments lost"; ok=0; }
  [ "$status" = "$expectStatus" ] || { echo "$name: status $status, expected $expectStatus"; ok=0; }
  [ "$(cat -A "$dir/out")" = "$(printf '%b' "$expectOut" | cat -A)" ] ||
    { echo "$name: stdout differs:"; cat -A "$dir/out"; ok=0; }
  grep -Eq "$errPattern" "$dir/err" || { echo "$name: stderr lacks /$errPattern/:"; cat "$dir/err"; ok=0; }
  if [ $ok -eq 1 ]; then echo "ok: $name"; else failures=$((failures + 1)); fi
}

check "a run without launcher trouble is untouched" 0 'line 1\nline 2' 'warn\n' 0 \
  1 0 'line 1\nline 2' '^warn$'
check "a test that ran and failed is not started again" 0 'FAILED\n' 'oops\n' 3 \
  1 3 'FAILED\n' '^oops$'
check "launcher words later in a failed run do not count" 0 \
  'x\nApplication could not be started, or no application associated with the specified file.\n' \
  'e\n' 1 1 1 'x\nApplication could not be started, or no application associated with the specified file.\n' '^e$'
check "a launcher failure is started again, and said so" 1 'passed\n' 'e\n' 0 \
  2 0 'passed\n' 'could not start test.exe \(ShellExecuteEx failed: Internal error.\); starting it again \(attempt 2 of 3\)'
check "two launcher failures, then a real failure" 2 'FAILED\n' '' 4 \
  3 4 'FAILED\n' 'attempt 3 of 3'
check "three launcher failures give up with Wine's message" 5 'never\n' '' 0 \
  3 1 'Application could not be started, or no application associated with the specified file.\nShellExecuteEx failed: Internal error.\r\n\r\n' \
  'could not start test.exe in 3 attempts'

echo "$((6 - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
