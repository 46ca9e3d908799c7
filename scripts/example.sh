#!/usr/bin/env bash
# Builds textmatte and its preview (no tests needed) and runs textmatte on
# the bundled example drawing in a scratch folder under build/, as the host
# would; then says what happened and where the pictures of the drawing,
# before the run and as the host shows it after, are.
#   ./scripts/example.sh [OPTIONS]     e.g. ./scripts/example.sh /c3 /d2
# Installs what the machine lacks (Debian packages; as root, or it says
# which to install). The PNG pictures need rsvg-convert and a font with
# Japanese glyphs: as root they are installed too, since the pictures are
# what the example is for; otherwise the example runs without them and says
# so.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
has_japanese_font() { [ -n "$(fc-list :lang=ja 2>/dev/null)" ]; }
packages=(cmake ninja-build g++)
if [ "$(id -u)" -eq 0 ]; then
  packages+=(librsvg2-bin)
  has_japanese_font || packages+=(fonts-ipafont-gothic)
fi
"$root/scripts/need.sh" "${packages[@]}"

cmake --preset app >/dev/null
cmake --build --preset app >/dev/null
bin="$root/build/app"
scratch="$root/build/example"
rm -rf "$scratch"
mkdir -p "$scratch/run"
cp "$root/examples/drawing.txt" "$scratch/run/jwc_temp.txt"
status=0
(cd "$scratch/run" && "$bin/textmatte" "$@") || status=$?

texts="$(grep -c '^c[^cin]' "$root/examples/drawing.txt" || true)"
boxes="$(grep -c '^sl ' "$scratch/run/jwc_temp.txt" || true)"
echo "textmatte ended with status $status; $boxes of the drawing's $texts texts got a grey box."
echo "The rewritten drawing: $scratch/run/jwc_temp.txt"

"$bin/textmatte-preview" "$root/examples/drawing.txt" "$scratch/before.svg"
"$bin/textmatte-preview" --result "$root/examples/drawing.txt" "$scratch/result.svg" "$@"
pictures=("$scratch/before.svg" "$scratch/result.svg")
if command -v rsvg-convert >/dev/null; then
  if ! has_japanese_font; then
    echo "warning: no font for Japanese is installed (Debian: fonts-ipafont-gothic or" \
         "fonts-noto-cjk); the PNGs show the Japanese text as empty boxes" >&2
  fi
  rsvg-convert -w 700 "$scratch/before.svg" -o "$scratch/before.png"
  rsvg-convert -w 700 "$scratch/result.svg" -o "$scratch/result.png"
  pictures+=("$scratch/before.png" "$scratch/result.png")
else
  echo "note: no PNG pictures without rsvg-convert (Debian: librsvg2-bin); the SVGs open" \
       "in a web browser" >&2
fi
echo "Pictures, before and as the host shows the result:"
printf '  %s\n' "${pictures[@]}"
