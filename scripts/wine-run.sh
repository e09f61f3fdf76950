#!/usr/bin/env bash
# Runs a Windows program of the build under Wine in the project's prefix (ctest's emulator).
#
# Now and then Wine's launcher cannot start the process at all: it prints "Application could not
# be started, or no application associated with the specified file." and "ShellExecuteEx failed:
# <reason>" on standard output and exits with 1, before any of the program has run. Only then is
# the program started again, at most twice, saying so on standard error. A program that ran and
# failed is never started again: its output never begins with the launcher's message.
# Standard error passes through untouched; standard output does too, except that a first line
# that is the launcher's message is held back (and shown only when the last attempt fails too).
source "$(dirname "$0")/wine-env.sh"

launcher_message="Application could not be started, or no application associated with the specified file."
attempts=3

# Copies standard input to standard output, unless its first line is the launcher's message:
# then everything goes to the file $1 instead.
pass_unless_launcher_failed() {
  local first
  if ! IFS= read -r first; then
    printf '%s' "$first"  # a last line without a newline
    return
  fi
  if [[ "$first" == "$launcher_message"* ]]; then
    { printf '%s\n' "$first"; cat; } >"$1"
    return
  fi
  printf '%s\n' "$first"
  exec cat
}

held=$(mktemp)
trap 'rm -f "$held"' EXIT
for ((attempt = 1; ; attempt++)); do
  : >"$held"
  wine "$@" | pass_unless_launcher_failed "$held"
  status=${PIPESTATUS[0]}
  [ -s "$held" ] || exit "$status"
  if [ "$status" -eq 0 ]; then  # the program ran after all: its output as it was
    cat "$held"
    exit 0
  fi
  reason=$(grep -a 'ShellExecuteEx failed' "$held" | tr -d '\r' | head -n 1)
  if [ "$attempt" -ge "$attempts" ]; then
    cat "$held"
    echo "wine-run.sh: Wine could not start $1 in $attempts attempts (${reason:-no reason given})" >&2
    exit "$status"
  fi
  echo "wine-run.sh: Wine could not start $1 (${reason:-no reason given}); starting it again" \
    "(attempt $((attempt + 1)) of $attempts)" >&2
  sleep "${CORVANE_WINE_RETRY_PAUSE:-1}"
done
