#!/usr/bin/env bash
# Measures textmatte side by side with the straightforward program, in
# memory and in whole runs on drawings of 50,000 lines, and, where 32-bit
# and 64-bit Wine are installed, the 32-bit Windows exe against the 64-bit
# one; then whole runs against the I/O floor (bench/io_floor_main.cpp);
# prints the tables of ratios.
#   bench/run.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cmake --preset release >/dev/null
cmake --build --preset release --target textmatte textmatte-straightforward textmatte-io-floor \
  textmatte-compare textmatte-peak-rss >/dev/null
args=("$root/build/release/textmatte" "$root/build/release/bench/textmatte-straightforward"
      "$root/build/release/bench/textmatte-io-floor")
# The 32-bit exe against the 64-bit one, where both Wines run here.
export WINEDEBUG=-all
if "$root/scripts/wine_can_run.sh" 32 && "$root/scripts/wine_can_run.sh" 64; then
  for preset in windows-i686 windows-x64; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target textmatte >/dev/null
  done
  args+=(/usr/lib/wine/wine64 "$root/build/windows-x64/textmatte.exe"
         /usr/lib/wine/wine "$root/build/windows-i686/textmatte.exe")
else
  echo "(the Windows row is left out: $("$root/scripts/wine_can_run.sh" 32 --why || true))"
fi
"$root/build/release/bench/textmatte-compare" "${args[@]}"
