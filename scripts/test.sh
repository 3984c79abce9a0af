#!/usr/bin/env bash
# Builds everything under AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test, with a PostgreSQL server of its own; then runs each fuzzer briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/deps.sh
jobs=$(nproc)

# Layout: every C and C++ source as .clang-format lays it out.
find src include tests bench tools \( -name '*.c' -o -name '*.cc' -o -name '*.cpp' -o -name '*.h' \) -print0 |
  xargs -0 clang-format --dry-run -Werror

# Layers: includes and library links point down the layer table only.
python3 scripts/layers.py

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSQLGATE_SANITIZE=ON -DSQLGATE_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0

source scripts/pg.sh start
trap 'source "$root/scripts/pg.sh" stop' EXIT
ctest --test-dir build-asan -j"$jobs" --output-on-failure --timeout 600

# Fuzzers: clang's libFuzzer, a bounded run each.
if grep -rqs sqlgate_fuzzer --include=CMakeLists.txt src tests; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSQLGATE_FUZZ=ON \
    -DSQLGATE_TESTS=OFF -DSQLGATE_BENCH=OFF >/dev/null
  cmake --build build-fuzz -j"$jobs" --target fuzzers
  secs=${SQLGATE_FUZZ_SECONDS:-30}
  for f in build-fuzz/fuzzers/*; do
    [ -x "$f" ] || continue
    name=$(basename "$f")
    corpus=tests/fuzz/corpus/$name
    work=$(mktemp -d)
    [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
    echo "fuzz: $name for ${secs}s"
    "$f" -max_total_time="$secs" -rss_limit_mb=2048 -print_final_stats=0 "$work" >"$work.log" 2>&1 \
      || { tail -n 60 "$work.log"; echo "fuzz: $name failed"; exit 1; }
    rm -rf "$work" "$work.log"
  done
  echo "fuzzers passed"
fi
