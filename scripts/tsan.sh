#!/usr/bin/env bash
# Builds the agent, the launcher, the end-to-end test programs and the driver manager's threaded
# tests under ThreadSanitizer in build-tsan, and runs them (the concurrent-clients tests among
# them) with a PostgreSQL server of its own. tests/tsan.supp silences reports that lie wholly in third-party
# code (the ODBC drivers, libpq); any other report fails the run. Prints how long each step took.
#   SQLGATE_TSAN_JOBS  build and test jobs (default: the number of processors)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/deps.sh
jobs=${SQLGATE_TSAN_JOBS:-$(nproc)}
t0=$(date +%s)

generator=()
[ -f build-tsan/CMakeCache.txt ] || generator=(-G Ninja)
quick=(-DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG")
cmake -S . -B build-tsan "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSQLGATE_TSAN=ON \
  -DSQLGATE_BENCH=OFF "${quick[@]}" >/dev/null
cmake --build build-tsan -j"$jobs" --target tests/integration/all dm_trace_threads_test dm_sqlite_commit_wait_test
t1=$(date +%s)

# Every process writes its reports to a file of its own here, the agents too (their standard
# error goes to files the tests remove).
reports=$root/build-tsan/tsan-reports
rm -rf "$reports"
mkdir -p "$reports"
export TSAN_OPTIONS="suppressions=$root/tests/tsan.supp:log_path=$reports/report:exitcode=66:second_deadlock_stack=1"

# A server of its own, even beside the test command's: the tests of both drop and make the same
# tables.
unset SQLGATE_PG_PORT SQLGATE_PG_USER SQLGATE_PG_DB SQLGATE_PG_DIR
source scripts/pg.sh start
trap 'source "$root/scripts/pg.sh" stop' EXIT

status=0
ctest --test-dir build-tsan/tests/integration -j"$jobs" --output-on-failure --timeout 900 || status=1
ctest --test-dir build-tsan/tests/dm -j"$jobs" --output-on-failure --timeout 900 \
  -R '^(TraceThreads|SqliteCommitWait)\.' || status=1
t2=$(date +%s)

# Each kind of report once (by its summary line), with how often it came.
shopt -s nullglob
found=("$reports"/report.*)
if [ ${#found[@]} -gt 0 ]; then
  awk '
    function flush() {
      if (key != "") { n[key]++; if (!(key in first)) { first[key] = rec; order[++k] = key } }
      rec = ""; key = ""
    }
    /^==================$/ { flush(); next }
    { rec = rec $0 "\n"; if ($0 ~ /^SUMMARY: /) key = $0 }
    END { flush(); for (i = 1; i <= k; i++) printf "=== %d times:\n%s\n", n[order[i]], first[order[i]] }
  ' "${found[@]}"
  echo "tsan: ${#found[@]} processes reported data races or other faults (all in $reports)"
  status=1
fi
echo "tsan: build $((t1 - t0)) s, tests $((t2 - t1)) s, total $((t2 - t0)) s"
exit "$status"
