#!/usr/bin/env bash
# Builds everything under AddressSanitizer and UndefinedBehaviorSanitizer and runs every test and
# a smoke run of every benchmark, with a PostgreSQL server of its own; meanwhile builds the
# fuzzers with clang, then runs them all at once for a bounded time each, and runs the end-to-end
# tests under ThreadSanitizer (scripts/tsan.sh).
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

# Build time: Ninja compiles a program's sources while the libraries it needs still link (a folder
# already configured keeps its generator); -g1 keeps the file and line of every frame in sanitizer
# reports at a fraction of the debug information.
generator=()
[ -f build-asan/CMakeCache.txt ] || generator=(-G Ninja)
quick=(-DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG")
cmake -S . -B build-asan "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSQLGATE_SANITIZE=ON \
  -DSQLGATE_BENCH=ON "${quick[@]}" >/dev/null
cmake --build build-asan -j"$jobs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0

fuzz_pid=
tsan_pid=
cleanup() {
  [ -z "$fuzz_pid" ] || wait "$fuzz_pid" || true
  [ -z "$tsan_pid" ] || wait "$tsan_pid" || true
  source "$root/scripts/pg.sh" stop
}
trap cleanup EXIT

# ThreadSanitizer: the agent and the end-to-end tests in a build of their own, with a PostgreSQL
# server of their own, beside everything below.
mkdir -p build-tsan
bash scripts/tsan.sh >build-tsan/tsan.log 2>&1 &
tsan_pid=$!
source scripts/pg.sh start

# Fuzzers: clang's libFuzzer. Their build runs beside the tests, at a lower priority.
fuzz=false
if grep -rqs sqlgate_fuzzer --include=CMakeLists.txt src tests; then
  fuzz=true
  fgenerator=()
  [ -f build-fuzz/CMakeCache.txt ] || fgenerator=(-G Ninja)
  mkdir -p build-fuzz
  (CC=clang CXX=clang++ cmake -S . -B build-fuzz "${fgenerator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSQLGATE_FUZZ=ON -DSQLGATE_TESTS=OFF -DSQLGATE_BENCH=OFF "${quick[@]}" >/dev/null &&
    nice -n 10 cmake --build build-fuzz -j"$jobs" --target fuzzers) >build-fuzz/build.log 2>&1 &
  fuzz_pid=$!
fi

ctest --test-dir build-asan -j"$jobs" --output-on-failure --timeout 600

waited=$(date +%s)
if ! wait "$tsan_pid"; then
  tsan_pid=
  tail -n 200 build-tsan/tsan.log
  echo "tsan: failed (all of it in build-tsan/tsan.log)"
  exit 1
fi
tsan_pid=
grep '^tsan: ' build-tsan/tsan.log
echo "tsan: the test command waited $(($(date +%s) - waited)) s for it"

if $fuzz; then
  wait "$fuzz_pid" || { tail -n 60 build-fuzz/build.log; echo "fuzz: the build failed"; exit 1; }
  fuzz_pid=
  # Each fuzzer runs single-threaded for the same bounded time: all of them at once.
  secs=${SQLGATE_FUZZ_SECONDS:-30}
  work=$(mktemp -d)
  pids=() names=()
  for f in build-fuzz/fuzzers/*; do
    [ -x "$f" ] || continue
    name=$(basename "$f")
    corpus=tests/fuzz/corpus/$name
    mkdir "$work/$name"
    [ -d "$corpus" ] && cp -r "$corpus"/. "$work/$name"/
    echo "fuzz: $name for ${secs}s"
    "$f" -max_total_time="$secs" -rss_limit_mb=2048 -print_final_stats=0 "$work/$name" >"$work/$name.log" 2>&1 &
    pids+=($!) names+=("$name")
  done
  failed=0
  for i in "${!pids[@]}"; do
    if ! wait "${pids[$i]}"; then
      tail -n 60 "$work/${names[$i]}.log"
      echo "fuzz: ${names[$i]} failed"
      failed=1
    fi
  done
  rm -rf "$work"
  [ "$failed" -eq 0 ] || exit 1
  echo "fuzzers passed"
fi
