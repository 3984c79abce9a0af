# Sourced by the instruction-count scripts: runs a benchmark under callgrind and fills the
# array `ir` with each dump's instructions, keyed by the label of the trigger that made it.
#   callgrind_labels <output folder> <benchmark> (environment as the caller exports it)
declare -A ir
callgrind_labels() {
  local out=$1 bench=$2 f label
  valgrind --tool=callgrind --callgrind-out-file="$out/cg.%p" "$bench" >/dev/null 2>"$out/log" ||
    { cat "$out/log" >&2; return 1; }
  for f in "$out"/cg.*; do
    label=$(sed -n 's/^desc: Trigger: Client Request: //p' "$f")
    [ -n "$label" ] || continue
    ir[$label]=$(sed -n 's/^summary: //p; s/^totals: //p' "$f" | head -n 1)
  done
}
