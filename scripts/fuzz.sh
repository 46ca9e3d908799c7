#!/usr/bin/env bash
# Builds the libFuzzer targets (clang; every library they run compiled with
# coverage instrumentation and the sanitizers) and fuzzes each, starting
# from the checked-in corpus in tests/fuzz/corpus/<target>/.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#                     each target for SECONDS (default 60)
#   scripts/fuzz.sh --campaign RUNS [TARGET...]
#                     each target for RUNS executions, then the corpus
#                     minimised (-merge=1) and written back to
#                     tests/fuzz/corpus/
#
# TARGETs default to all of pipeline, options, preview and line_reader; naming
# some lets two campaigns share the machine's cores.
#
# Prints each target's executions, edges and features at the end, so a drop
# in coverage shows. Any finding stops with a non-zero status and leaves its
# input in the work folder: make it a regression test.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
targets=(pipeline options preview line_reader)
limit=(-max_total_time=60)
campaign=0
if [ "${1:-}" = --campaign ]; then
  campaign=1
  limit=(-runs="${2:?how many executions}")
  shift 2
elif [ -n "${1:-}" ]; then
  limit=(-max_total_time="$1")
  shift
fi
if [ $# -gt 0 ]; then
  targets=("$@")
fi
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]/%/_fuzzer}" >/dev/null
work="$(mktemp -d "${TMPDIR:-/tmp}/textmatte-fuzz.XXXXXX")"
printf '%-12s %14s %8s %9s %6s\n' target executions edges features corpus
for target in "${targets[@]}"; do
  fuzzer="$root/build/fuzz/tests/fuzz/${target}_fuzzer"
  corpus="$root/tests/fuzz/corpus/$target"
  mkdir -p "$work/$target" "$corpus"
  if ! "$fuzzer" "${limit[@]}" -max_len=8192 -artifact_prefix="$work/$target-" \
      -print_final_stats=1 "$work/$target" "$corpus" > "$work/$target.log" 2>&1; then
    tail -40 "$work/$target.log"
    echo "fuzzer $target found a fault; its input is in $work"
    exit 1
  fi
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$target.log")"
  last="$(grep -E '^#[0-9]+' "$work/$target.log" | tail -1)"
  edges="$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<< "$last")"
  features="$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<< "$last")"
  if [ "$campaign" = 1 ]; then
    # The corpus, minimised to what keeps the coverage, replaces the old one.
    mkdir -p "$work/$target-merged"
    "$fuzzer" -merge=1 "$work/$target-merged" "$corpus" "$work/$target" > "$work/$target-merge.log" 2>&1
    rm -rf "$corpus"
    mv "$work/$target-merged" "$corpus"
  fi
  printf '%-12s %14s %8s %9s %6s\n' "$target" "$runs" "${edges:-?}" "${features:-?}" \
    "$(ls "$corpus" | wc -l)"
done
rm -rf "$work"
