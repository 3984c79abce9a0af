#!/usr/bin/env bash
# Instruction counts (callgrind) of the SQL analysis against SQLite's
# sqlite3_prepare_v2 + sqlite3_finalize on the same statements.
#   bench/sql/instructions.sh [path/to/sql_parse_bench]
# Each workload runs twice, with LO and HI rounds (1 and 3 for the long
# statements); the difference divided by HI - LO is the cost of one round,
# without first-use costs.
set -euo pipefail
bench=${1:-build/bench/sql_parse_bench}
lo=${LO:-5}
hi=${HI:-25}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# count FUNCTION ROUNDS WORKLOAD [VALUES]: instructions inside FUNCTION.
count() {
  local fn=$1 rounds=$2
  shift 2
  valgrind --tool=callgrind --callgrind-out-file="$tmp/out" --toggle-collect="$fn" \
    "$bench" --rounds="$rounds" "$@" >/dev/null 2>"$tmp/err" || { cat "$tmp/err"; exit 1; }
  sed -n 's/^summary: //p' "$tmp/out"
}

# per_round LO HI FUNCTION WORKLOAD [VALUES]
per_round() {
  local l=$1 h=$2 a b
  shift 2
  a=$(count "$1" "$l" "${@:2}")
  b=$(count "$1" "$h" "${@:2}")
  echo $(((b - a) / (h - l)))
}

statements=10
ours=$(per_round $lo $hi '*::analyseCorpus()' analyse)
param=$(per_round $lo $hi '*::paramAnalyseCorpus()' param)
lite=$(per_round $lo $hi '*::sqlitePrepareCorpus(sqlite3*)' sqlite)
echo "mixed corpus, instructions per statement:"
echo "  analysis (SCR_AnalyseSQL + SCR_Destroy)   $((ours / statements))"
echo "  parameter analysis (SPR_AnalyseSQL)       $((param / statements))"
echo "  sqlite3_prepare_v2 + sqlite3_finalize     $((lite / statements))"
awk -v a="$ours" -v b="$lite" 'BEGIN { printf "  ratio analysis / sqlite                  %.3f\n", a / b }'

echo "long IN list, instructions per byte (analysis, sqlite):"
for n in 12500 25000 50000 100000; do
  bytes=$("$bench" --rounds=0 analyse-long "$n" | awk '{print $4}')
  a=$(per_round 1 3 '*::analyseLong(*' analyse-long "$n")
  b=$(per_round 1 3 '*::sqlitePrepareLong(*' sqlite-long "$n")
  awk -v n="$n" -v by="$bytes" -v a="$a" -v b="$b" \
    'BEGIN { printf "  %6d values %8d bytes  %7.1f  %7.1f\n", n, by, a / by, b / by }'
done
