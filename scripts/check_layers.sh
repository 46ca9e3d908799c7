#!/usr/bin/env bash
# Checks every include in src/, tests/ and bench/ against the layers of
# src/layers.txt: each folder under src/ is a library that uses only its own
# folder and the folders below it.
#
# - src/: every include names a header with its folder
#   ("interchange/fields.hpp"), of its own folder or one below it.
# - tests/<folder>/ of a src/ folder: from src/ what that folder may use;
#   its own test files and tests/support/ besides.
# - tests/e2e/, tests/fuzz/, tests/support/ and bench/ sit on top: anything
#   in src/, their own files and (tests only) tests/support/.
# A header without a folder is one beside the file that includes it, which
# only tests/ and bench/ have. A header of src/ in angle brackets is
# refused: the program's own headers are included in quotes.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

# The folders each src/ folder builds on directly (src/layers.txt, which
# CMake reads too); whatever those build on lies below it too.
declare -A builds_on=()
while IFS= read -r line; do
  [[ "$line" =~ ^([a-z]+):(.*)$ ]] || continue
  builds_on[${BASH_REMATCH[1]}]="${BASH_REMATCH[2]}"
done < src/layers.txt
top_of_tests=" e2e fuzz support "

# below[f]: " f and every folder below it ", by following builds_on.
declare -A below=()
for folder in "${!builds_on[@]}"; do
  seen=" " todo=("$folder")
  while ((${#todo[@]})); do
    next="${todo[0]}"
    todo=("${todo[@]:1}")
    [[ "$seen" == *" $next "* ]] && continue
    seen+="$next "
    # shellcheck disable=SC2206 # the list splits into its folders
    todo+=(${builds_on[$next]})
  done
  below[$folder]="$seen"
done
all_of_src=" ${!builds_on[*]} "

problems=()
for dir in src/*/ tests/*/; do
  folder="${dir%/}" folder="${folder##*/}"
  [[ -v builds_on[$folder] ]] && continue
  [[ "$dir" == tests/* && "$top_of_tests" == *" $folder "* ]] && continue
  problems+=("${dir%/}: a folder the layering does not know")
done

# check FILE HEADER: the header's problem, if any, in `problems`.
check() {
  local file="$1" header="$2" area="${1%%/*}" folder used may
  folder="${file#*/}" folder="${folder%%/*}"
  [[ "$area" == bench ]] && folder=bench
  [[ "$area" == src && ! -v builds_on[$folder] ]] && return # reported above
  if [[ "$header" != */* ]]; then
    if [[ "$area" == src ]]; then
      problems+=("$file: \"$header\" without its folder")
    elif [[ ! -f "${file%/*}/$header" ]]; then
      problems+=("$file: \"$header\" is not beside it")
    fi
    return
  fi
  used="${header%%/*}"
  if [[ "$area" == tests && -f "tests/$header" ]]; then # a test file
    [[ "$used" == "$folder" || "$used" == support ]] ||
      problems+=("$file: includes tests/$header, another folder's test file")
    return
  fi
  if [[ ! -f "src/$header" || ! -v builds_on[$used] ]]; then
    problems+=("$file: \"$header\" is no header in src/")
    return
  fi
  if [[ "$area" == src || ("$area" == tests && -v builds_on[$folder]) ]]; then
    may="${below[$folder]-}"
  else
    may="$all_of_src" # tests on top, and bench
  fi
  [[ "$may" == *" $used "* ]] || problems+=("$file: includes from $used/, which is not below $folder/")
}

# Every form an include can take: blanks around the '#' and after
# "include", and angle brackets. An angle include is the system's unless it
# names a header in src/, which is then checked like any other.
include_line='^[[:space:]]*#[[:space:]]*include[[:space:]]*([<"])([^>"]+)[>"]'
includes=0
while IFS= read -r line; do
  file="${line%%:*}" text="${line#*:}"
  [[ "$text" =~ $include_line ]] || continue
  header="${BASH_REMATCH[2]}"
  if [[ "${BASH_REMATCH[1]}" == "<" ]]; then
    [[ "$header" == */* && -f "src/$header" ]] || continue
    problems+=("$file: <$header> is a header of src/: include it as \"$header\"")
  fi
  check "$file" "$header"
  includes=$((includes + 1))
done < <(grep -rE --include='*.cpp' --include='*.hpp' --include='*.h' --include='*.inc' \
  --exclude-dir=corpus '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' src tests bench || true)

if ((${#problems[@]})); then
  printf '%s\n' "${problems[@]}"
  exit 1
fi
echo "includes go only downwards ($includes checked)"
