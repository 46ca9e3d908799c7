#!/usr/bin/env bash
# Three runs of a Windows textmatte.exe beside the Linux build, for where
# each start of the exe takes a minute (32-bit Wine under the user-mode
# emulator) and cross_check.sh's many runs do not fit: a typical drawing, a
# debug level and the missing-file case. Each must leave the same files
# (names compared without regard to case), standard output and error (CR LF
# of the Windows console folded to LF) and exit status, byte for byte.
# Expects the Linux release build (cmake --workflow --preset release).
#   scripts/spot_check_exe.sh EXE
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
exe="$(realpath "$1")"
linux="$root/build/release/textmatte"
if x86_64-w64-mingw32-objdump -f "$exe" | grep -q 'pei-i386'; then
  wine=/usr/lib/wine/wine
else
  wine=/usr/lib/wine/wine64
fi
export WINEDEBUG=-all
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$root/build/release/bench/textmatte-drawing" mix 3000 > "$work/typical.txt"

run() { # side drawing options...
  local side="$1" drawing="$2"; shift 2
  local dir="$work/$side/run" out="$work/$side/out" status=0 f
  rm -rf "$work/$side"; mkdir -p "$dir" "$out"
  [ -z "$drawing" ] || cp "$drawing" "$dir/jwc_temp.txt"
  if [ "$side" = linux ]; then
    (cd "$dir" && "$linux" "$@" > "$out/stdout" 2> "$out/stderr") || status=$?
  else
    (cd "$dir" && "$wine" "$exe" "$@" > "$out/stdout" 2> "$out/stderr") || status=$?
    sed -i 's/\r$//' "$out/stdout" "$out/stderr"
  fi
  echo "$status" > "$out/status"
  for f in "$dir"/*; do
    [ -e "$f" ] && cp "$f" "$out/file-$(basename "$f" | tr 'A-Z' 'a-z')"
  done
  return 0
}

failures=0
check() { # what drawing options...
  local what="$1"; shift
  run linux "$@"; run windows "$@"
  if diff -r "$work/linux/out" "$work/windows/out" > "$work/diff.txt"; then
    echo "same: $what"
  else
    failures=$((failures + 1)); echo "DIFFERENT: $what"; head -5 "$work/diff.txt"
  fi
}
check "a typical drawing of 3000 lines, /c3 /d2" "$work/typical.txt" /c3 /d2
check "the example at debug level 3" "$root/examples/drawing.txt" /t3
check "no jwc_temp.txt" ""
echo "$((3 - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
