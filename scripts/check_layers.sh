#!/usr/bin/env bash
# Checks that every source file includes only headers of its own folder or
# of the folders below it, so the dependencies run one way:
#   state, maths < interchange < background < pipeline < run
#                  interchange < files < run
#                  interchange < options < run;  preview on top of them all.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
declare -A below=(
  [state]=""
  [maths]=""
  [interchange]="state"
  [background]="interchange state maths"
  [pipeline]="background interchange state"
  [files]="interchange"
  [options]="interchange state"
  [run]="files options pipeline interchange state"
  [preview]="run options pipeline background files interchange state"
)
bad=0
for dir in "$root"/src/*/; do
  folder="$(basename "$dir")"
  if [[ ! -v below[$folder] ]]; then
    echo "src/$folder: a folder the layering does not know"; bad=1; continue
  fi
  allowed=" $folder ${below[$folder]} "
  while IFS=: read -r file _ line; do
    used="$(sed -n 's/^#include "\([a-z_]*\)\/.*/\1/p' <<< "$line")"
    [ -n "$used" ] || continue
    if [[ "$allowed" != *" $used "* ]]; then
      echo "${file#"$root"/}: includes from $used/, which is not below $folder/"; bad=1
    fi
  done < <(grep -n '^#include "' "$dir"* /dev/null || true)
done
[ "$bad" -eq 0 ] && echo "includes go only downwards"
exit "$bad"
