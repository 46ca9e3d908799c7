#!/usr/bin/env bash
# Checks the Windows ZIP: the exe and its two READMEs, Japanese and
# English, as UTF-8 with a byte-order mark and CR LF line ends throughout.
#   scripts/check_package.sh build/windows-i686/textmatte-*-windows-x86.zip
set -euo pipefail
zip="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work"
bad=0
for name in textmatte.exe README-ja.txt README-en.txt; do
  [ -n "$(find "$work" -name "$name")" ] || { echo "$zip lacks $name"; bad=1; }
done
for readme in "$work"/*/README-*.txt; do
  [ "$(head -c 3 "$readme" | od -An -tx1 | tr -d ' ')" = efbbbf ] ||
    { echo "$(basename "$readme") has no byte-order mark"; bad=1; }
  [ "$(grep -c $'\r$' "$readme")" = "$(wc -l < "$readme")" ] ||
    { echo "$(basename "$readme") has lines that do not end with CR LF"; bad=1; }
done
[ "$bad" -eq 0 ] && echo "$(basename "$zip"): the exe and both READMEs, UTF-8 with BOM, CR LF"
exit "$bad"
