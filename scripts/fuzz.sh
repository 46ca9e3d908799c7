#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, sanitizers on) and runs each for a
# bounded time, starting from the checked-in seed corpus. Any finding stops
# the run with a non-zero status and leaves its input in the work folder;
# turn it into a regression test.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
work="$(mktemp -d)"
for target in pipeline options; do
  mkdir -p "$work/$target"
  echo "fuzzing $target for ${seconds}s"
  "$root/build/fuzz/tests/fuzz/${target}_fuzzer" -max_total_time="$seconds" -max_len=8192 \
    -artifact_prefix="$work/$target-" -print_final_stats=1 \
    "$work/$target" "$root/tests/fuzz/corpus/$target" 2>"$work/$target.log" ||
    { tail -40 "$work/$target.log"; echo "fuzzer $target found a fault; inputs in $work"; exit 1; }
  grep -E "number_of_executed_units|new_units_added" "$work/$target.log"
done
rm -rf "$work"
