#!/usr/bin/env bash
# wine_can_run.sh 32|64 [--why]: whether this machine can run a Windows
# program of that width under Wine (status 0), and with --why, why not.
# The 32-bit Wine needs the machine to run 32-bit programs at all, which
# some virtual machines cannot.
set -uo pipefail
bits="$1"
why() { [ "${2:-}" = --why ] && echo "$1"; exit 1; }
if [ "$bits" = 32 ]; then wine=/usr/lib/wine/wine; else wine=/usr/lib/wine/wine64; fi
[ -x "$wine" ] || why "$bits-bit Wine is not installed ($wine; Debian: wine64, wine32:i386)" "${2:-}"
if ! "$wine" --version >/dev/null 2>&1; then
  why "$wine does not start: this machine cannot run $bits-bit programs" "${2:-}"
fi
probe="$(mktemp -d)"
trap 'rm -rf "$probe"' EXIT
WINEDEBUG=-all timeout 120 "$wine" cmd /c exit 7 >/dev/null 2>"$probe/err"
status=$?
[ "$status" -eq 7 ] || why "$wine cannot run a Windows program here (status $status: $(head -c 200 "$probe/err"))" "${2:-}"
exit 0
