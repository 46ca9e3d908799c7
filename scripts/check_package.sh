#!/usr/bin/env bash
# Checks the Windows ZIP: one folder, textmatte, holding the exe, both batch
# files, both READMEs, CHANGES.txt, the licence and the example's pictures
# before and after; the READMEs and CHANGES.txt UTF-8 with a byte-order
# mark, every text with CR LF line ends; the exe's version resource carrying
# the project's version. Every batch file in the ZIP: Shift-JIS (code page
# 932); line 1 the memo the CAD program shows for it (REM and Japanese
# words), then @echo off and the directives, in this order: REM #jww,
# REM #cd, REM #h3, at once REM #hc with a Japanese prompt of at most 40
# characters that names the right click, REM #ht1 to REM #ht4, REM #bz,
# REM #e; no other line the CAD program would read as a directive; starting
# the exe from its own folder (%~dp0) and waiting for a key only when the
# run fails.
# Where Wine runs, each batch file is run under Wine's cmd, in the Japanese
# code page, from a folder whose name holds a blank and Japanese characters:
# a passing run ends at once with the expected drawing; every failing status
# (-1 without jwc_temp.txt, 1 over the line limit, 9009 without
# textmatte.exe beside it, and 2, 128 + N, the Windows interrupt and an
# unexpected status from a stand-in exe) is said in Japanese, each line
# followed by its English, starting with the status, and the window waits
# for a key.
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
pictures=(example-before.png example-result.png)
for name in textmatte.exe textmatte.bat textmatte-white.bat "${texts[@]}" "${pictures[@]}"; do
  [ -f "$package/$name" ] || fail "$(basename "$zip") lacks textmatte/$name"
done
[ "$bad" -eq 0 ] || exit 1
for picture in "${pictures[@]}"; do
  cmp -s "$package/$picture" "$root/docs/$picture" || fail "$picture is not docs/$picture"
done
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
# The CAD program takes a line as a directive when it begins with REM and a
# # lies within its first ten bytes.
directive_lines() { LC_ALL=C awk 'toupper($0) ~ /^[ \t]*@?REM/ && index(substr($0, 1, 10), "#") { print NR }'; }
characters() { printf %s "$1" | iconv -f UTF-8 -t UTF-32LE | wc -c | awk '{ print $1 / 4 }'; }
check_batch() { # name
  local bat="$package/$1" text
  text="$(iconv -f CP932 -t UTF-8 "$bat" 2>/dev/null | tr -d '\r')" || {
    fail "$1 is not Shift-JIS (code page 932)"
    return
  }
  # Line 1, the memo: REM and what the file does, in Japanese.
  local memo
  memo="$(head -1 <<< "$text")"
  [[ "$memo" == "REM "* ]] && LC_ALL=C grep -q '[^ -~]' <<< "$memo" ||
    fail "$1 does not begin with REM and a Japanese memo: $memo"
  # Then @echo off and the directives, in order, the prompt right after
  # REM #h3.
  local head
  head="$(LC_ALL=C sed -n '2,12{s/^\(REM #hc\) .*[^ -~].*$/\1 (a Japanese prompt)/;p}' <<< "$text")"
  [ "$head" = $'@echo off\nREM #jww\nREM #cd\nREM #h3\nREM #hc (a Japanese prompt)\nREM #ht1\nREM #ht2\nREM #ht3\nREM #ht4\nREM #bz\nREM #e' ] ||
    fail "$1 does not follow its memo with @echo off, REM #jww, REM #cd, REM #h3, REM #hc and a Japanese" \
      "prompt, REM #ht1 to REM #ht4, REM #bz, REM #e:" "$(sed -n 2,12p <<< "$text")"
  local prompt
  prompt="$(sed -n '6s/^REM #hc //p' <<< "$text")"
  [ "$(characters "$prompt")" -le 40 ] || fail "$1's prompt is longer than 40 characters: $prompt"
  grep -q '右クリック' <<< "$prompt" || fail "$1's prompt does not name the right click: $prompt"
  [ "$(directive_lines < "$bat" | tr '\n' ' ')" = "3 4 5 6 7 8 9 10 11 12 " ] ||
    fail "$1 has lines the CAD program reads as directives outside lines 3 to 12:" \
      "$(directive_lines < "$bat" | tr '\n' ' ')"
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
run_batch() { # wine batch exe(or empty) drawing(or empty) [argument] -> $work/out, status, waited
  local wine="$1" batch="$2" exe="$3" drawing="$4" dir="$work/パッケージ 1" run="$work/run" waited=0
  local arguments=("${@:5}")
  rm -rf "$dir" "$run" "$work/key"; mkdir -p "$dir" "$run"
  cp "$package/$batch" "$dir/"
  [ -z "$exe" ] || cp "$exe" "$dir/textmatte.exe"
  [ -z "$drawing" ] || cp "$drawing" "$run/jwc_temp.txt"
  # A key arrives only when asked for: the batch file reads it from a pipe
  # that stays open and empty until the pause's prompt has been seen.
  mkfifo "$work/key"
  (cd "$run" && exec "${japanese[@]}" timeout 120 "$wine" cmd /c "$(winepath_of "$wine" "$dir/$batch")" \
     "${arguments[@]}" < "$work/key" > "$work/out.932" 2>&1) &
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
# The batch file's own words after a failure: from the line that gives the
# status to the pause's prompt.
batch_words() { tr -d '\r' < "$work/out" | awk '/終了コード/ { on = 1 } /キーを押して|Press any key/ { exit } on'; }
# Japanese and English lines in turn, each Japanese line followed by its
# English one, none empty.
in_turn() {
  LC_ALL=C awk '{ if (NF == 0 || (NR % 2 == 1) != ($0 ~ /[^ -~]/)) bad = 1 } END { exit bad || NR == 0 || NR % 2 }'
}
# The status as the Linux side sees it: the low 8 bits.
status_is() { [ "$(cat "$work/status")" = $(($1 & 255)) ]; }

exe="${stand_in:-$package/textmatte.exe}"
if x86_64-w64-mingw32-objdump -f "$exe" | grep -q 'pei-i386'; then bits=32; else bits=64; fi
if why="$("$root/scripts/wine_can_run.sh" "$bits" --why)"; then
  export WINEDEBUG=-all
  wine=/usr/lib/wine/wine64; [ "$bits" = 32 ] && wine=/usr/lib/wine/wine
  make_japanese_locale || { echo "no Japanese locale: localedef needs the Debian package locales"; exit 1; }
  # A drawing over the line limit: the exe fails with status 1.
  yes $'#\r' | head -n 50001 > "$work/too-many-lines.txt" || true
  # An exe that ends with the status given as its last argument.
  compiler=x86_64-w64-mingw32-g++; [ "$bits" = 32 ] && compiler=i686-w64-mingw32-g++
  printf '%s\n' '#include <cstdio>' '#include <cstdlib>' \
    'int main(int argc, char** argv) { std::fputs("(a stand-in exe)\n", stderr);' \
    '  return std::atoi(argv[argc - 1]); }' |
    "$compiler" -x c++ - -static -o "$work/status.exe" ||
    { echo "$compiler cannot build the stand-in exe"; exit 1; }
  # Every failing status, as a batch file must say it: its run, the status,
  # what textmatte or the stand-in said, and words the batch file's lines
  # for that status hold.
  failing=(
    "real|none|-1|Cannot open file: JWC_TEMP.TXT|外部変形から実行"
    "real|too-many-lines|1|Too many lines: jwc_temp.txt has more than 50000 lines|うまくいかないとき"
    "none|example|9009||ウイルス対策ソフト"
    "status|example|2|(a stand-in exe)|停電"
    "status|example|131|(a stand-in exe)|異常終了"
    "status|example|-1073741510|(a stand-in exe)|中断"
    "status|example|-1073741819|(a stand-in exe)|起動できませんでした"
  )
  for batch in "${batches[@]}"; do
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

    for case in "${failing[@]}"; do
      IFS='|' read -r program drawing status message words <<< "$case"
      case "$program" in real) run_exe="$exe" ;; status) run_exe="$work/status.exe" ;; *) run_exe="" ;; esac
      case "$drawing" in
        none) drawing="" ;;
        example) drawing="$root/examples/drawing.txt" ;;
        *) drawing="$work/$drawing.txt" ;;
      esac
      arguments=(); [ "$program" = status ] && arguments=("$status")
      run_batch "$wine" "$batch" "$run_exe" "$drawing" "${arguments[@]}"
      what="$batch, status $status"
      [ "$(cat "$work/waited")" = 1 ] || fail "$what: the window did not wait for a key: $(cat "$work/out")"
      status_is "$status" || fail "$what: the batch file ended with status $(cat "$work/status")"
      [ -z "$message" ] || said "$message" || fail "$what: textmatte's message is not shown: $(cat "$work/out")"
      batch_words > "$work/words"
      { grep -qF "（終了コード $status）" <(head -1 "$work/words") &&
        grep -qF "(status $status)" <(sed -n 2p "$work/words") &&
        grep -qF "$words" "$work/words" && in_turn < "$work/words"; } ||
        fail "$what: not said in Japanese with the status first, each line followed by its English:" \
          "$(cat "$work/out")"
      [ -z "$drawing" ] || [ "$program" = real ] ||
        cmp -s "$work/run/jwc_temp.txt" "$drawing" || fail "$what: the drawing changed"
    done
  done
  ran="; under ${bits}-bit Wine's cmd${stand_in:+ (running ${stand_in#"$root"/})}, each batch file"
  ran+=" ends a passing run at once and says every failing status (${#failing[@]}) in Japanese and English,"
  ran+=" then waits for a key"
elif [[ " ${TEXTMATTE_ALLOW_SKIP//,/ } " == *" batch-files "* ]]; then
  ran="; the batch files SKIPPED (allowed by TEXTMATTE_ALLOW_SKIP): $why"
else
  fail "the batch files NOT RUN under Wine: $why (TEXTMATTE_ALLOW_SKIP=batch-files allows it)"
fi
[ "$bad" -eq 0 ] && echo "$(basename "$zip"): textmatte/ with the exe (version $version), ${batches[*]}" \
  "(Shift-JIS, the memo and the directives first), both READMEs and CHANGES.txt (UTF-8 with BOM)," \
  "LICENSE.txt and the example's pictures, CR LF$ran"
exit "$bad"
