#!/usr/bin/env bash
# Checks every #include "..." in src/, tests/ and bench/ against the layers:
# each folder under src/ is a library that uses only its own folder and the
# folders below it.
#
#   state, maths  <  interchange  <  boxes       <  pipeline  <  run
#                    interchange  <  files                    <  run
#                    interchange  <  options                  <  run
#                    preview on top of run, options, pipeline and files
#
# - src/: every include names a header with its folder
#   ("interchange/fields.hpp"), of its own folder or one below it.
# - tests/<folder>/ of a src/ folder: from src/ what that folder may use;
#   its own test files and tests/support/ besides.
# - tests/e2e/, tests/fuzz/, tests/support/ and bench/ sit on top: anything
#   in src/, their own files and (tests only) tests/support/.
# A header without a folder is one beside the file that includes it, which
# only tests/ and bench/ have.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

# The folders each src/ folder builds on directly; whatever those build on
# lies below it too. A new folder gets a line here and its name in the
# lines of the folders that use it.
declare -A builds_on=(
  [state]=""
  [maths]=""
  [interchange]="state"
  [boxes]="interchange maths"
  [pipeline]="boxes"
  [files]="interchange"
  [options]="interchange"
  [run]="pipeline files options"
  [preview]="run pipeline files options"
)
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

includes=0
while IFS= read -r line; do
  [[ "$line" =~ ^([^:]+):#include\ \"([^\"]+)\" ]] || continue
  check "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}"
  includes=$((includes + 1))
done < <(grep -r --include='*.cpp' --include='*.hpp' --include='*.h' --include='*.inc' \
  --exclude-dir=corpus '^#include "' src tests bench || true)

if ((${#problems[@]})); then
  printf '%s\n' "${problems[@]}"
  exit 1
fi
echo "includes go only downwards ($includes checked)"
