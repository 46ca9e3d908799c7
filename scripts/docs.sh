#!/usr/bin/env bash
# Renders the README's pictures of the example drawing, before textmatte and
# as the host shows the result, into docs/. Needs rsvg-convert (Debian:
# librsvg2-bin) and a font with Japanese glyphs (Debian: fonts-ipafont-gothic
# or fonts-noto-cjk): without one the example's Japanese texts would come out
# as empty boxes, so then nothing is written.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
command -v rsvg-convert >/dev/null || { echo "rsvg-convert is missing (Debian: librsvg2-bin)" >&2; exit 1; }
if [ -z "$(fc-list :lang=ja 2>/dev/null)" ]; then
  echo "no font for Japanese is installed (Debian: fonts-ipafont-gothic or fonts-noto-cjk);" \
       "the pictures are left as they are" >&2
  exit 1
fi
cmake --preset app >/dev/null
cmake --build --preset app >/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
preview="$root/build/app/textmatte-preview"
"$preview" "$root/examples/drawing.txt" "$work/before.svg"
"$preview" --result "$root/examples/drawing.txt" "$work/result.svg"
mkdir -p "$root/docs"
rsvg-convert -w 700 "$work/before.svg" -o "$root/docs/example-before.png"
rsvg-convert -w 700 "$work/result.svg" -o "$root/docs/example-result.png"
rm -f "$root/docs/example-after.png"
echo "written: docs/example-before.png docs/example-result.png"
