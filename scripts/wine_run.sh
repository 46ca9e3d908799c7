#!/usr/bin/env bash
# wine_run.sh WINE PROGRAM [ARG...]: runs a Windows test program under
# Wine, as the Windows builds' test launcher.
# Now and then Wine fails to start a program at all: it ends at once with a
# failure status and not a byte of output (its own error channel is off in
# the tests). Such a start is said on standard error and tried again, up to
# three starts in all. A test program prints before anything else it does,
# so one that started and then failed is never run again: its output and
# status pass through unchanged.
set -uo pipefail
wine="$1"
shift
out="$(mktemp)"
err="$(mktemp)"
trap 'rm -f "$out" "$err"' EXIT
for start in 1 2 3; do
  "$wine" "$@" >"$out" 2>"$err"
  status=$?
  if [ "$status" -eq 0 ] || [ -s "$out" ] || [ -s "$err" ] || [ "$start" -eq 3 ]; then break; fi
  echo "wine_run.sh: Wine did not start $1 (status $status, no output); starting it again" >&2
  sleep 1
done
cat "$out"
cat "$err" >&2
exit "$status"
