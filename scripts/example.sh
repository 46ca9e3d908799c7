#!/usr/bin/env bash
# Builds textmatte and its preview (no tests needed) and runs textmatte on
# the bundled example drawing in a scratch folder under build/, as the host
# would; then says what happened and where the pictures of the drawing,
# before the run and as the host shows it after, are.
#   ./scripts/example.sh [OPTIONS]     e.g. ./scripts/example.sh /c3 /d2
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
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
  rsvg-convert -w 700 "$scratch/before.svg" -o "$scratch/before.png"
  rsvg-convert -w 700 "$scratch/result.svg" -o "$scratch/result.png"
  pictures+=("$scratch/before.png" "$scratch/result.png")
fi
echo "Pictures, before and as the host shows the result:"
printf '  %s\n' "${pictures[@]}"
