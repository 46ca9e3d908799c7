#!/usr/bin/env bash
# Checks the Windows ZIP: the exe, the batch file, both READMEs and the
# licence; the READMEs UTF-8 with a byte-order mark, every text with CR LF
# line ends; the batch file ASCII, starting the exe from its own folder
# (%~dp0) and waiting for a key only when the run fails. Where Wine runs,
# the batch file is run under Wine's cmd from a folder whose name holds a
# blank and Japanese characters: a failing run (no jwc_temp.txt) shows its
# message and waits for a key, a passing run ends at once.
#   scripts/check_package.sh ZIP [EXE]
# EXE, if given, is run by the batch file in place of the package's own
# exe: a 64-bit build, where this machine's Wine cannot run 32-bit programs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
zip="$1"
stand_in="${2:+$(realpath "$2")}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work/unpacked"
bad=0
fail() { echo "$*"; bad=1; }
package="$(dirname "$(find "$work/unpacked" -name textmatte.exe | head -1)")"
for name in textmatte.exe textmatte.bat README-ja.txt README-en.txt LICENSE.txt; do
  [ -f "$package/$name" ] || fail "$(basename "$zip") lacks $name"
done
[ "$bad" -eq 0 ] || exit 1

crlf_throughout() { [ "$(grep -c $'\r$' "$1")" = "$(wc -l < "$1")" ] && [ -z "$(tail -c 1 "$1" | tr -d '\n')" ]; }
for text in README-ja.txt README-en.txt textmatte.bat LICENSE.txt; do
  crlf_throughout "$package/$text" || fail "$text has lines that do not end with CR LF"
done
for readme in README-ja.txt README-en.txt; do
  [ "$(head -c 3 "$package/$readme" | od -An -tx1 | tr -d ' ')" = efbbbf ] ||
    fail "$readme has no byte-order mark"
done
cmp -s <(tr -d '\r' < "$package/LICENSE.txt") "$root/LICENSE" || fail "LICENSE.txt is not LICENSE"

bat="$package/textmatte.bat"
LC_ALL=C grep -q '[^[:print:][:space:]]' "$bat" && fail "textmatte.bat is not plain ASCII"
grep -q '^"%~dp0textmatte\.exe" %\*'$'\r''$' "$bat" ||
  fail "textmatte.bat does not start textmatte.exe from its own folder with its arguments"
# The pause comes after the line that ends a successful run.
awk '/^if "%status%"=="0" exit \/b 0/ { ok = 1 } /^pause/ { paused = ok } END { exit !paused }' "$bat" ||
  fail "textmatte.bat does not pause on failure only"

# Runs the batch file under Wine's cmd in a fresh working folder, with the
# package in a folder whose name holds a blank and Japanese characters.
run_batch() { # wine exe drawing(or empty) -> $work/out, $work/status
  local wine="$1" exe="$2" drawing="$3" dir="$work/パッケージ 1" run="$work/run" waited=0
  rm -rf "$dir" "$run" "$work/key"; mkdir -p "$dir" "$run"
  cp "$bat" "$dir/"
  cp "$exe" "$dir/textmatte.exe"
  [ -z "$drawing" ] || cp "$drawing" "$run/jwc_temp.txt"
  # A key arrives only when asked for: the batch file reads it from a pipe
  # that stays open and empty until the pause's prompt has been seen.
  mkfifo "$work/key"
  (cd "$run" && exec timeout 120 "$wine" cmd /c "$(winepath_of "$wine" "$dir/textmatte.bat")" \
     < "$work/key" > "$work/out" 2>&1) &
  local pid=$!
  exec 3> "$work/key"
  for _ in $(seq 600); do
    kill -0 "$pid" 2>/dev/null || break
    if grep -q 'Press any key' "$work/out"; then waited=1; break; fi
    sleep 0.1
  done
  if [ "$waited" = 1 ]; then
    sleep 1 # still there a second after the prompt: it waits for the key
    kill -0 "$pid" 2>/dev/null || waited=0
    printf 'x\r\n' >&3
  fi
  exec 3>&-
  local status=0
  wait "$pid" || status=$?
  echo "$status" > "$work/status"; echo "$waited" > "$work/waited"
}
winepath_of() { WINEDEBUG=-all "$1" winepath -w "$2" 2>/dev/null | tr -d '\r'; }

exe="${stand_in:-$package/textmatte.exe}"
if x86_64-w64-mingw32-objdump -f "$exe" | grep -q 'pei-i386'; then bits=32; else bits=64; fi
if why="$("$root/scripts/wine_can_run.sh" "$bits" --why)"; then
  export WINEDEBUG=-all
  wine=/usr/lib/wine/wine64; [ "$bits" = 32 ] && wine=/usr/lib/wine/wine
  run_batch "$wine" "$exe" ""
  [ "$(cat "$work/waited")" = 1 ] || fail "a failing run did not wait for a key: $(cat "$work/out")"
  grep -q 'Cannot open file: JWC_TEMP.TXT' "$work/out" || fail "a failing run did not show textmatte's message"
  grep -q 'textmatte ended with status' "$work/out" || fail "a failing run did not say it failed"
  [ "$(cat "$work/status")" != 0 ] || fail "a failing run ended the batch file with status 0"
  run_batch "$wine" "$exe" "$root/examples/drawing.txt"
  [ "$(cat "$work/waited")" = 0 ] && [ "$(cat "$work/status")" = 0 ] ||
    fail "a passing run did not end at once with status 0: $(cat "$work/out")"
  # Wine keeps the case of the name the file had during the run.
  cmp -s "$(find "$work/run" -maxdepth 1 -iname jwc_temp.txt)" "$root/examples/drawing.expected.txt" ||
    fail "the batch file's run did not leave the expected drawing"
  ran="; under ${bits}-bit Wine's cmd${stand_in:+ (running ${stand_in#"$root"/})}, a failing run waits for a key and a passing one does not"
else
  ran="; the batch file NOT RUN: $why"
fi
[ "$bad" -eq 0 ] && echo "$(basename "$zip"): the exe, textmatte.bat, both READMEs (UTF-8 with BOM) and LICENSE.txt, CR LF$ran"
exit "$bad"
