#!/usr/bin/env bash
# Builds textmatte and runs it on the bundled example drawing in a scratch
# directory, as the host would, then shows the drawing before and after, as
# records and as two pictures (before.svg and after.svg).
# Options given to this script are passed on to textmatte (e.g. /c3 /d2).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cmake --preset release >/dev/null
cmake --build --preset release --target textmatte textmatte-preview >/dev/null

scratch="$(mktemp -d)"
cp "$root/examples/drawing.txt" "$scratch/jwc_temp.txt"
cd "$scratch"
status=0
"$root/build/release/textmatte" "$@" || status=$?

# Texts are Shift-JIS; show them readable where iconv can.
show() { if iconv -f CP932 -t UTF-8 "$1" >/dev/null 2>&1; then iconv -f CP932 -t UTF-8 "$1"; else cat "$1"; fi | tr -d '\r'; }
echo "=== before: $root/examples/drawing.txt"
show "$root/examples/drawing.txt"
echo
echo "=== after: $scratch/jwc_temp.txt (exit status $status)"
show jwc_temp.txt
echo
echo "=== files left in $scratch:"
ls -l "$scratch"

# Pictures beside the run, for a look in any browser.
pictures="$scratch/pictures"
mkdir -p "$pictures"
"$root/build/release/textmatte-preview" "$root/examples/drawing.txt" "$pictures/before.svg"
"$root/build/release/textmatte-preview" "$scratch/jwc_temp.txt" "$pictures/after.svg"
echo
echo "=== pictures: $pictures/before.svg and $pictures/after.svg"
