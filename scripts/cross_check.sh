#!/usr/bin/env bash
# Runs the Linux build and other builds side by side on the example drawing
# and on generated drawings with varied options, and checks that they leave
# byte-identical files (names compared without regard to case), the same
# standard output and error (CR LF of the Windows console folded to LF) and
# the same exit status. Windows exes run under the Wine of their width; a
# 32-bit Linux build runs natively, or under qemu-i386-static where this
# machine cannot run 32-bit programs. Expects the builds to exist:
#   cmake --preset release && cmake --build --preset release
#   cmake --preset windows-x64 && cmake --build --preset windows-x64
#   cmake --preset windows-i686 && cmake --build --preset windows-i686
#   cmake --preset linux-i686 && cmake --build --preset linux-i686
#   scripts/cross_check.sh [PROGRAM...]   the builds to compare with Linux; by
#                                         default the 64-bit and the 32-bit exe
# A build this machine cannot run (Wine missing, or no 32-bit Wine where the
# machine cannot run 32-bit programs) is one failure that says so.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
linux="$root/build/release/textmatte"
gen="$root/build/release/bench/textmatte-drawing"
if (($#)); then
  windows=()
  for exe in "$@"; do windows+=("$(realpath -m "$exe")"); done
else
  windows=("$root/build/windows-x64/textmatte.exe" "$root/build/windows-i686/textmatte.exe")
fi
export WINEDEBUG=-all

# The Wine for an exe: 64-bit or 32-bit, by its PE header.
wine_for() {
  if x86_64-w64-mingw32-objdump -f "$1" 2>/dev/null | grep -q 'pei-i386'; then
    echo /usr/lib/wine/wine
  else
    echo /usr/lib/wine/wine64
  fi
}
bits_of() { [ "$(wine_for "$1")" = /usr/lib/wine/wine ] && echo 32 || echo 64; }
is_windows() { case "$1" in *.exe) true ;; *) false ;; esac; }

# The command a build runs under: its Wine, nothing, or the emulator.
runner_for() {
  if is_windows "$1"; then
    wine_for "$1"
  elif ! "$1" --version >/dev/null 2>&1 && file -b "$1" | grep -q '^ELF 32-bit'; then
    echo /usr/bin/qemu-i386-static
  fi
}
# Why a build cannot run here (status 1), or nothing (status 0).
cannot_run() {
  if is_windows "$1"; then
    local bits why
    bits="$(bits_of "$1")"
    why="$("$root/scripts/wine_can_run.sh" "$bits" --why)" && return 1
    echo "$bits-bit: $why"
    return 0
  fi
  $(runner_for "$1") "$1" --version >/dev/null 2>&1 && return 1
  echo "it does not start here, natively or under /usr/bin/qemu-i386-static"
}

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/drawings"
cp "$root/examples/drawing.txt" "$work/drawings/example.txt"
"$gen" texts 3000 > "$work/drawings/texts.txt"
"$gen" mix 6000 > "$work/drawings/mix.txt"
"$gen" long_texts 2000 > "$work/drawings/long_texts.txt"
: > "$work/drawings/empty.txt"
printf 'ch 1e 0x1p3 infinity -nan "odd\r\nch 1e400 -1e-400 0x 5 "\r\n 1 2 3\r\nhp1+ 5 6\r\nhp1/\r\nhp9-\r\n#a\r\rb\0c\r\ncn0 2.5 2 1 3\r\nlgffffffffff\r\nch 0 0 3 4 "' > "$work/drawings/odd.txt"
awk 'BEGIN { for (i = 0; i < 50001; i++) printf "#\r\n" }' > "$work/drawings/over_limit.txt"

options=("" "/c3 /d2" "/f1 /d-2 /c-7" "/t1" "/t2 /f3" "/t3" "/t4 /a5 /x" "/c99999999999 /d7 -F2")

# Everything a run leaves: status, output, error, and each file by folded name.
snapshot() { # dir out
  local dir="$1" out="$2" f
  for f in "$dir"/*; do
    [ -e "$f" ] || continue
    local name; name="$(basename "$f" | tr 'A-Z' 'a-z')"
    cp "$f" "$out/file-$name"
  done
}

failures=0
runs=0
unrunnable=0
runnable=()
for exe in "${windows[@]}"; do
  if [ ! -f "$exe" ]; then
    unrunnable=$((unrunnable + 1)); echo "CANNOT RUN: $exe does not exist (build it first)"; continue
  fi
  if reason="$(cannot_run "$exe")"; then
    unrunnable=$((unrunnable + 1)); echo "CANNOT RUN: ${exe#"$root"/}: $reason"
    continue
  fi
  runnable+=("$exe")
done
for exe in "${runnable[@]}"; do
  runner="$(runner_for "$exe")"
  for drawing in "$work"/drawings/*.txt; do
    for opts in "${options[@]}"; do
      for side in linux windows; do
        d="$work/run/$side"; o="$work/out/$side"
        rm -rf "$d" "$o"; mkdir -p "$d" "$o"
        cp "$drawing" "$d/jwc_temp.txt"
        set +e
        if [ $side = linux ]; then
          (cd "$d" && "$linux" $opts > "$o/stdout" 2> "$o/stderr"); echo $? > "$o/status"
        else
          (cd "$d" && $runner "$exe" $opts > "$o/stdout" 2> "$o/stderr"); echo $? > "$o/status"
          if is_windows "$exe"; then sed -i 's/\r$//' "$o/stdout" "$o/stderr"; fi
        fi
        set -e
        snapshot "$d" "$o"
      done
      runs=$((runs + 1))
      if ! diff -r "$work/out/linux" "$work/out/windows" > "$work/diff.txt"; then
        failures=$((failures + 1))
        echo "DIFFERENT: ${exe#"$root"/} on $(basename "$drawing") with options '$opts'"
        head -5 "$work/diff.txt"
      fi
    done
  done
done
# The missing-file case.
for exe in "${runnable[@]}"; do
  for side in linux windows; do
    d="$work/none/$side"; rm -rf "$d"; mkdir -p "$d"
    set +e
    if [ $side = linux ]; then (cd "$d" && "$linux" 2> err); else (cd "$d" && $(runner_for "$exe") "$exe" 2> err); fi
    echo $? > "$d/status"; set -e
    if is_windows "$exe"; then sed -i 's/\r$//' "$d/err"; fi
  done
  runs=$((runs + 1))
  diff -r "$work/none/linux" "$work/none/windows" ||
    { failures=$((failures + 1)); echo "DIFFERENT: ${exe#"$root"/} with no jwc_temp.txt"; }
done
echo "$((runs - failures)) passed, $failures failed, $unrunnable could not run"
[ "$failures" -eq 0 ] && [ "$unrunnable" -eq 0 ]
