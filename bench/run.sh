#!/usr/bin/env bash
# Benchmarks textmatte on maximum-size drawings (50,000 lines): in-memory
# throughput side by side with an fgets/sscanf/fprintf baseline, then whole
# runs of the built program (median wall time and peak memory).
#   bench/run.sh [RUNS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
runs="${1:-11}"
cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
build="$root/build/bench"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
for kind in texts mix long_texts; do
  "$build/bench/textmatte-drawing" "$kind" 50000 > "$work/$kind.txt"
done
echo "== in-memory pipeline against the baseline"
"$build/bench/pipeline_bench" --benchmark_min_time=1
echo
echo "== whole runs of textmatte ($runs each)"
"$build/bench/whole_run" "$build/textmatte" "$runs" "$work/texts.txt" "$work/mix.txt" "$work/long_texts.txt"
