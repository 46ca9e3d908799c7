#!/usr/bin/env bash
# Checks the Windows ZIP: one folder, textmatte, holding the exe, both batch
# files, both READMEs, CHANGES.txt and the licence; the READMEs and
# CHANGES.txt UTF-8 with a byte-order mark, every text with CR LF line ends;
# the exe's version resource carrying the project's version. Every batch
# file in the ZIP: Shift-JIS (code page 932), `@echo off` and then the lines
# the CAD program reads (REM #jww, REM #cd, REM #hc with a prompt, REM #e)
# before any command and no other such line, starting the exe from its own
# folder (%~dp0) and waiting for a key only when the run fails.
# Where Wine runs, each batch file is run under Wine's cmd, in the Japanese
# code page, from a folder whose name holds a blank and Japanese characters:
# a failing run (no jwc_temp.txt) shows its message and says so in Japanese
# and English, then waits for a key; a passing run ends at once; without
# textmatte.exe beside it, a batch file ends with cmd's status 9009, says so
# in Japanese and English, and waits for a key.
#   scripts/check_package.sh ZIP [EXE]
# EXE, if given, is run by the batch files in place of the package's own
# exe: a 64-bit build, where this machine's Wine cannot run 32-bit programs.
# Where Wine cannot run the exe, the batch files cannot be run: that fails
# the check, unless TEXTMATTE_ALLOW_SKIP names batch-files (see .ci/run);
# then it says SKIPPED and why.
set -euo pipefail
TEXTMATTE_ALLOW_SKIP="${TEXTMATTE_ALLOW_SKIP-}"
root="$(cd "$(dirname "$0")/.." && pwd)"
zip="$1"
stand_in="${2:+$(realpath "$2")}"
version="$(sed -n 's/^project(textmatte VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work/unpacked"
bad=0
fail() { echo "$*"; bad=1; }

outside="$(unzip -Z1 "$zip" | grep -v '^textmatte/' || true)"
[ -z "$outside" ] || fail "$(basename "$zip") holds files outside the folder textmatte: $outside"
package="$work/unpacked/textmatte"
texts=(README-ja.txt README-en.txt CHANGES.txt LICENSE.txt)
for name in textmatte.exe textmatte.bat textmatte-white.bat "${texts[@]}"; do
  [ -f "$package/$name" ] || fail "$(basename "$zip") lacks textmatte/$name"
done
[ "$bad" -eq 0 ] || exit 1
mapfile -t batches < <(cd "$package" && find . -maxdepth 1 -iname '*.bat' -printf '%f\n' | sort)

crlf_throughout() { [ "$(grep -c $'\r$' "$1")" = "$(wc -l < "$1")" ] && [ -z "$(tail -c 1 "$1" | tr -d '\n')" ]; }
for text in "${texts[@]}" "${batches[@]}"; do
  crlf_throughout "$package/$text" || fail "$text has lines that do not end with CR LF"
done
for text in README-ja.txt README-en.txt CHANGES.txt; do
  [ "$(head -c 3 "$package/$text" | od -An -tx1 | tr -d ' ')" = efbbbf ] ||
    fail "$text has no byte-order mark"
done
cmp -s <(tr -d '\r' < "$package/LICENSE.txt") "$root/LICENSE" || fail "LICENSE.txt is not LICENSE"
cmp -s <(tail -c +4 "$package/CHANGES.txt" | tr -d '\r') "$root/CHANGES.md" || fail "CHANGES.txt is not CHANGES.md"

# The version resource, as the mingw resource compiler reads it back.
resource="$(x86_64-w64-mingw32-windres -i "$package/textmatte.exe" -O rc 2>&1)" || resource=""
value_of() { sed -n "s/^ *VALUE \"$1\", \"\(.*\)\"$/\1/p" <<< "$resource"; }
for field in FileVersion ProductVersion; do
  [ "$(value_of "$field")" = "$version" ] ||
    fail "textmatte.exe's $field is '$(value_of "$field")', not the project's version $version"
done
for field in ProductName FileDescription; do
  [ -n "$(value_of "$field")" ] || fail "textmatte.exe has no $field"
done
value_of LegalCopyright | grep -q 'MIT' || fail "textmatte.exe's LegalCopyright does not name the MIT licence"

# Every batch file, as the CAD program and cmd read it: in code page 932.
check_batch() { # name
  local bat="$package/$1" text
  text="$(iconv -f CP932 -t UTF-8 "$bat" 2>/dev/null | tr -d '\r')" || {
    fail "$1 is not Shift-JIS (code page 932)"
    return
  }
  # @echo off, then the four lines the CAD program reads, before any
  # command, and no other line it would read.
  local head
  head="$(LC_ALL=C sed -n '1,5{s/^\(REM #hc\) .*[^ -~].*$/\1 (a Japanese prompt)/;p}' <<< "$text")"
  [ "$head" = $'@echo off\nREM #jww\nREM #cd\nREM #hc (a Japanese prompt)\nREM #e' ] ||
    fail "$1 does not begin with @echo off, REM #jww, REM #cd, REM #hc and a Japanese prompt, REM #e:" \
      "$(head -5 <<< "$text")"
  [ "$(tail -n +6 <<< "$text" | grep -ci '^[[:space:]]*@\?rem[[:space:]]*#')" = 0 ] ||
    fail "$1 has REM # lines below the four at its top"
  grep -q '^"%~dp0textmatte\.exe" \([^%]* \)\?%\*$' <<< "$text" ||
    fail "$1 does not start textmatte.exe from its own folder with its arguments"
  # The pause comes after the line that ends a successful run.
  awk '/^if "%status%"=="0" exit \/b 0$/ { ok = 1 } /^pause$/ { paused = ok } END { exit !paused }' \
    <<< "$text" || fail "$1 does not pause on failure only"
}
for batch in "${batches[@]}"; do check_batch "$batch"; done
# Each batch file is its source in packaging/, the version filled in,
# character for character.
for batch in textmatte.bat textmatte-white.bat; do
  cmp -s <(iconv -f CP932 -t UTF-8 "$package/$batch" 2>/dev/null | tr -d '\r') \
    <(sed "s/@PROJECT_VERSION@/$version/g" "$root/packaging/$batch") ||
    fail "$batch is not packaging/$batch with the version filled in"
done
grep -q '^"%~dp0textmatte\.exe" /c#ffffff %\*'$'\r''$' "$package/textmatte-white.bat" ||
  fail "textmatte-white.bat does not start textmatte.exe with /c#ffffff"

# Runs a batch file under Wine's cmd, in the Japanese code page, in a fresh
# working folder, with the package in a folder whose name holds a blank and
# Japanese characters. Its output goes to $work/out in UTF-8.
run_batch() { # wine batch exe(or empty) drawing(or empty) -> $work/out, status, waited
  local wine="$1" batch="$2" exe="$3" drawing="$4" dir="$work/パッケージ 1" run="$work/run" waited=0
  rm -rf "$dir" "$run" "$work/key"; mkdir -p "$dir" "$run"
  cp "$package/$batch" "$dir/"
  [ -z "$exe" ] || cp "$exe" "$dir/textmatte.exe"
  [ -z "$drawing" ] || cp "$drawing" "$run/jwc_temp.txt"
  # A key arrives only when asked for: the batch file reads it from a pipe
  # that stays open and empty until the pause's prompt has been seen.
  mkfifo "$work/key"
  (cd "$run" && exec "${japanese[@]}" timeout 120 "$wine" cmd /c "$(winepath_of "$wine" "$dir/$batch")" \
     < "$work/key" > "$work/out.932" 2>&1) &
  local pid=$!
  exec 3> "$work/key"
  for _ in $(seq 600); do
    kill -0 "$pid" 2>/dev/null || break
    if prompted; then waited=1; break; fi
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
  iconv -f CP932 -t UTF-8 "$work/out.932" > "$work/out" 2>/dev/null || cp "$work/out.932" "$work/out"
  echo "$status" > "$work/status"; echo "$waited" > "$work/waited"
}
# The pause's prompt, in Wine's Japanese or English words.
prompted() { iconv -f CP932 -t UTF-8 "$work/out.932" 2>/dev/null | grep -q 'キーを押して\|Press any key'; }
winepath_of() { "${japanese[@]}" "$1" winepath -w "$2" 2>/dev/null | tr -d '\r'; }
# Wine takes its code page from the locale, and needs the C library to know
# it: a Japanese locale of its own, made here, so the machine needs none.
japanese=(env LOCPATH="$work/locale" LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8)
make_japanese_locale() {
  mkdir -p "$work/locale"
  localedef -i ja_JP -f UTF-8 "$work/locale/ja_JP.UTF-8" >/dev/null 2>&1 || true
  [ -d "$work/locale/ja_JP.UTF-8" ]
}
said() { grep -qF -- "$1" "$work/out"; }
# The status as the Linux side sees it: the low 8 bits.
status_is() { [ "$(cat "$work/status")" = $(($1 & 255)) ]; }

exe="${stand_in:-$package/textmatte.exe}"
if x86_64-w64-mingw32-objdump -f "$exe" | grep -q 'pei-i386'; then bits=32; else bits=64; fi
if why="$("$root/scripts/wine_can_run.sh" "$bits" --why)"; then
  export WINEDEBUG=-all
  wine=/usr/lib/wine/wine64; [ "$bits" = 32 ] && wine=/usr/lib/wine/wine
  make_japanese_locale || { echo "no Japanese locale: localedef needs the Debian package locales"; exit 1; }
  for batch in "${batches[@]}"; do
    run_batch "$wine" "$batch" "$exe" ""
    [ "$(cat "$work/waited")" = 1 ] || fail "$batch: a failing run did not wait for a key: $(cat "$work/out")"
    said 'Cannot open file: JWC_TEMP.TXT' || fail "$batch: a failing run did not show textmatte's message"
    said 'textmatte は終了コード -1 で終了しました。図面は変更されていません。' &&
      said 'textmatte ended with status -1: the drawing was not changed.' ||
      fail "$batch: a failing run did not say so in Japanese and English: $(cat "$work/out")"
    status_is -1 || fail "$batch: a failing run ended the batch file with status $(cat "$work/status"), not -1"

    run_batch "$wine" "$batch" "$exe" "$root/examples/drawing.txt"
    [ "$(cat "$work/waited")" = 0 ] && status_is 0 ||
      fail "$batch: a passing run did not end at once with status 0: $(cat "$work/out")"
    # Wine keeps the case of the name the file had during the run. The
    # white batch file's result is the default one with white boxes.
    expected="$root/examples/drawing.expected.txt"
    if [ "$batch" = textmatte-white.bat ]; then
      sed 's/^lc10 #aaaaaa\r$/lc10 #ffffff\r/' "$expected" > "$work/white.expected"
      expected="$work/white.expected"
    fi
    cmp -s "$(find "$work/run" -maxdepth 1 -iname jwc_temp.txt)" "$expected" ||
      fail "$batch's run did not leave the expected drawing"

    run_batch "$wine" "$batch" "" "$root/examples/drawing.txt"
    [ "$(cat "$work/waited")" = 1 ] || fail "$batch: without textmatte.exe it did not wait for a key"
    status_is 9009 || fail "$batch: without textmatte.exe it ended with status $(cat "$work/status"), not 9009"
    said 'バッチファイルと同じフォルダーに textmatte.exe がありません（終了コード 9009）。' &&
      said 'textmatte.exe was not found beside this batch file (status 9009).' ||
      fail "$batch: without textmatte.exe it did not say so in Japanese and English: $(cat "$work/out")"
    cmp -s "$work/run/jwc_temp.txt" "$root/examples/drawing.txt" ||
      fail "$batch: without textmatte.exe the drawing changed"
  done
  ran="; under ${bits}-bit Wine's cmd${stand_in:+ (running ${stand_in#"$root"/})}, each batch file"
  ran+=" waits for a key after a failing run and without textmatte.exe (9009), not after a passing one"
elif [[ " ${TEXTMATTE_ALLOW_SKIP//,/ } " == *" batch-files "* ]]; then
  ran="; the batch files SKIPPED (allowed by TEXTMATTE_ALLOW_SKIP): $why"
else
  fail "the batch files NOT RUN under Wine: $why (TEXTMATTE_ALLOW_SKIP=batch-files allows it)"
fi
[ "$bad" -eq 0 ] && echo "$(basename "$zip"): textmatte/ with the exe (version $version), ${batches[*]}" \
  "(Shift-JIS, the CAD program's lines first), both READMEs and CHANGES.txt (UTF-8 with BOM)" \
  "and LICENSE.txt, CR LF$ran"
exit "$bad"
