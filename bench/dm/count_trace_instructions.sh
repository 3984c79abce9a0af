#!/usr/bin/env bash
# Instruction counts of dm_trace_bench under callgrind: instructions per row with tracing off
# and on, for bound columns with SQLExtendedFetch and for SQLFetch + SQLGetData. Compare the
# tracing-off figures with the same program built before tracing existed.
#   bash bench/dm/count_trace_instructions.sh [build folder] [rows] [rows traced]
set -euo pipefail
build=${1:-build}
rows=${2:-100000}
traced=${3:-10000}
bench=$build/bench/dm_trace_bench
[ -x "$bench" ] || { echo "no $bench: build with scripts/build.sh first" >&2; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

source "$(dirname "$0")/callgrind_labels.sh"
SQLGATE_BENCH_ROWS=$rows SQLGATE_TRACE_ROWS=$traced callgrind_labels "$out" "$bench"
echo "instructions per row (callgrind; $rows rows off, $traced rows on)"
for work in xfetch getdata; do
  awk -v w="$work" -v off="${ir[$work-off]}" -v on="${ir[$work-on]}" -v n="$rows" -v t="$traced" 'BEGIN {
    printf "  %-8s off %8.1f  on %8.1f  (%.1fx)\n", w, off / n, on / t, (on / t) / (off / n) }'
done
