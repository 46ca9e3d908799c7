#!/usr/bin/env bash
# Renders the README's pictures of the example drawing, before and after
# textmatte, into docs/ (needs rsvg-convert, Debian librsvg2-bin, and a
# Japanese font such as fonts-ipafont-gothic for the Shift-JIS text).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cmake --preset release >/dev/null
cmake --build --preset release --target textmatte-preview >/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$root/build/release/textmatte-preview" "$root/examples/drawing.txt" "$work/before.svg"
"$root/build/release/textmatte-preview" "$root/examples/drawing.expected.txt" "$work/after.svg"
mkdir -p "$root/docs"
rsvg-convert -w 700 "$work/before.svg" -o "$root/docs/example-before.png"
rsvg-convert -w 700 "$work/after.svg" -o "$root/docs/example-after.png"
echo "written: docs/example-before.png docs/example-after.png"
