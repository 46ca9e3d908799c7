#!/usr/bin/env bash
# Runs the Linux build and the Windows build (under Wine) side by side on the
# example drawing and on generated drawings with varied options, and checks
# that they leave byte-identical files (names compared without regard to
# case), the same standard output and error (CR LF of the Windows console
# folded to LF) and the same exit status. Expects both builds to exist:
#   cmake --preset release && cmake --build --preset release
#   cmake --preset windows-x64 && cmake --build --preset windows-x64
# Further Windows executables to compare (the 32-bit one, say) may be given
# as arguments.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
linux="$root/build/release/textmatte"
gen="$root/build/release/bench/textmatte-drawing"
windows=("$root/build/windows-x64/textmatte.exe" "$@")
wine="${WINE:-/usr/lib/wine/wine64}"
export WINEDEBUG=-all

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
for exe in "${windows[@]}"; do
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
          (cd "$d" && "$wine" "$exe" $opts > "$o/stdout" 2> "$o/stderr"); echo $? > "$o/status"
          sed -i 's/\r$//' "$o/stdout" "$o/stderr"
        fi
        set -e
        snapshot "$d" "$o"
      done
      runs=$((runs + 1))
      if ! diff -r "$work/out/linux" "$work/out/windows" > "$work/diff.txt"; then
        failures=$((failures + 1))
        echo "DIFFERENT: $(basename "$exe") on $(basename "$drawing") with options '$opts'"
        head -5 "$work/diff.txt"
      fi
    done
  done
done
# The missing-file case.
for side in linux windows; do
  d="$work/none/$side"; mkdir -p "$d"
  set +e
  if [ $side = linux ]; then (cd "$d" && "$linux" 2> err); else (cd "$d" && "$wine" "${windows[0]}" 2> err); fi
  echo $? > "$d/status"; set -e
  sed -i 's/\r$//' "$d/err"
done
runs=$((runs + 1))
diff -r "$work/none/linux" "$work/none/windows" || { failures=$((failures + 1)); echo "DIFFERENT: no jwc_temp.txt"; }
echo "$((runs - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
