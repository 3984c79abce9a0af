#!/usr/bin/env bash
# Instruction counts of dm_odbc3_bench under callgrind, then its wall-time run: instructions
# per row through the driver manager against the driver called directly, the manager's share,
# and the same for a fresh and a pooled connect.
#   bash bench/dm/count_instructions.sh [build folder] [rows for the counts]
set -euo pipefail
build=${1:-build}
rows=${2:-100000}
bench=$build/bench/dm_odbc3_bench
[ -x "$bench" ] || { echo "no $bench: build with scripts/build.sh first" >&2; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Each dump names its workload in its trigger; its summary line is the instructions.
source "$(dirname "$0")/callgrind_labels.sh"
SQLGATE_BENCH_ROWS=$rows callgrind_labels "$out" "$bench"

echo "instructions per row (callgrind, $rows rows): the fetch loop alone, and the whole pass with the execution"
for work in rowsets100 rowsets1000 bound getdata; do
  for part in "" -pass; do
    d=${ir[$work-driver$part]}
    m=${ir[$work-manager$part]}
    awk -v w="$work${part:-" loop"}" -v d="$d" -v m="$m" -v n="$rows" 'BEGIN {
      printf "  %-17s driver %8.1f  manager %8.1f  %+.2f%%  (%+.1f per row)\n", w, d / n, m / n, (m - d) * 100 / d, (m - d) / n }'
  done
done
echo "instructions per connect/disconnect cycle (100 cycles):"
awk -v f="${ir[connect-fresh]}" -v p="${ir[connect-pooled]}" 'BEGIN {
  printf "  fresh %.0f  pooled %.0f  %.1fx fewer\n", f / 100, p / 100, f / p }'

echo
echo "wall time (1,000,000 rows unless SQLGATE_BENCH_ROWS is set):"
"$bench" --benchmark_format=console 2>/dev/null | sed -n '/^medians/,$p'
