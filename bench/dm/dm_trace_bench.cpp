// What tracing costs the driver manager: rows of (INTEGER, VARCHAR(20), DOUBLE) from the
// SQLite driver through the manager's ODBC 2 entry points, fetched with bound columns and
// SQLExtendedFetch (rowsets of 100) and with SQLFetch + SQLGetData, with tracing off and on.
//
// Under valgrind --tool=callgrind (count_trace_instructions.sh) each workload runs once and its
// instruction count is dumped under its own name (xfetch-off, getdata-on, ...). Otherwise each
// workload runs three times interleaved and the medians, the slowdown with tracing on and the
// trace bytes per row are printed. Rows: SQLGATE_BENCH_ROWS (default 1,000,000); with tracing
// on, SQLGATE_TRACE_ROWS (default 100,000), since every call writes its records.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_smoke.h"
#include "fixtures/support/odbc_config.h"
#include "sql.h"
#include "sqlext.h"

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define RUNNING_ON_VALGRIND 0
#define CALLGRIND_ZERO_STATS
#define CALLGRIND_DUMP_STATS_AT(x)
#endif

namespace {

constexpr int kRowset = 100;

SQLCHAR* S(const std::string& s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str())); }
bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

int64_t env_rows(const char* name, int64_t fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && std::atoll(v) > 0 ? std::atoll(v) : fallback;
}

struct Session {
  explicit Session(const std::string& dir) {
    SQLAllocEnv(&env);
    SQLAllocConnect(env, &dbc);
    std::string in = std::string("DRIVER=") + test_support::kSqliteDriver + ";Database=" + dir + "/rows.db";
    if (!ok(SQLDriverConnect(dbc, nullptr, S(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
      std::exit(1);
    SQLAllocStmt(dbc, &st);
  }
  ~Session() {
    SQLFreeStmt(st, SQL_DROP);
    SQLDisconnect(dbc);
    SQLFreeConnect(dbc);
    SQLFreeEnv(env);
  }
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  SQLHSTMT st = nullptr;
};

// LIMIT stops the scan: runs of different lengths cost the same per row.
std::string select_text(int64_t rows) { return "SELECT id, name, v FROM t LIMIT " + std::to_string(rows); }

int64_t extended_fetch(Session& s, int64_t rows) {
  static SQLINTEGER id[kRowset];
  static char name[kRowset][21];
  static double v[kRowset];
  static SQLLEN ind[3][kRowset];
  SQLSetStmtOption(s.st, SQL_ROWSET_SIZE, kRowset);
  SQLBindCol(s.st, 1, SQL_C_SLONG, id, 0, ind[0]);
  SQLBindCol(s.st, 2, SQL_C_CHAR, name, 21, ind[1]);
  SQLBindCol(s.st, 3, SQL_C_DOUBLE, v, 0, ind[2]);
  if (!ok(SQLExecDirect(s.st, S(select_text(rows)), SQL_NTS))) std::exit(2);
  int64_t got = 0;
  SQLULEN fetched = 0;
  SQLUSMALLINT status[kRowset];
  while (ok(SQLExtendedFetch(s.st, SQL_FETCH_NEXT, 0, &fetched, status)))
    got += static_cast<int64_t>(fetched);
  SQLFreeStmt(s.st, SQL_CLOSE);
  SQLFreeStmt(s.st, SQL_UNBIND);
  SQLSetStmtOption(s.st, SQL_ROWSET_SIZE, 1);
  return got;
}

int64_t fetch_getdata(Session& s, int64_t rows) {
  if (!ok(SQLExecDirect(s.st, S(select_text(rows)), SQL_NTS))) std::exit(2);
  int64_t got = 0;
  SQLINTEGER id;
  char name[21];
  double v;
  SQLLEN ind;
  while (ok(SQLFetch(s.st))) {
    SQLGetData(s.st, 1, SQL_C_SLONG, &id, 0, &ind);
    SQLGetData(s.st, 2, SQL_C_CHAR, name, sizeof name, &ind);
    SQLGetData(s.st, 3, SQL_C_DOUBLE, &v, 0, &ind);
    got++;
  }
  SQLFreeStmt(s.st, SQL_CLOSE);
  return got;
}

struct Result {
  double seconds = 0;
  int64_t rows = 0;
  uintmax_t trace_bytes = 0;
};

Result run(const std::string& dir, bool getdata, bool traced, int64_t rows, const char* label) {
  Session s(dir);
  const std::string trace = dir + "/trace.log";
  std::filesystem::remove(trace);
  if (traced) {
    SQLSetConnectOption(s.dbc, SQL_OPT_TRACEFILE, reinterpret_cast<SQLULEN>(trace.c_str()));
    SQLSetConnectOption(s.dbc, SQL_OPT_TRACE, SQL_OPT_TRACE_ON);
  }
  CALLGRIND_ZERO_STATS;
  auto start = std::chrono::steady_clock::now();
  Result r;
  r.rows = getdata ? fetch_getdata(s, rows) : extended_fetch(s, rows);
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  CALLGRIND_DUMP_STATS_AT(label);
  if (traced) {
    SQLSetConnectOption(s.dbc, SQL_OPT_TRACE, SQL_OPT_TRACE_OFF);
    std::error_code ec;
    r.trace_bytes = std::filesystem::file_size(trace, ec);
  }
  if (r.rows != rows) {
    std::fprintf(stderr, "%s: %lld rows instead of %lld\n", label, static_cast<long long>(r.rows),
                 static_cast<long long>(rows));
    std::exit(3);
  }
  return r;
}

}  // namespace

int main() {
  const int64_t rows = env_rows("SQLGATE_BENCH_ROWS", bench_smoke::Pick(1000000, 1000));
  const int64_t traced_rows = std::min(rows, env_rows("SQLGATE_TRACE_ROWS", bench_smoke::Pick(100000, 1000)));
  std::string dir =
      std::filesystem::temp_directory_path() / ("sqlgate-dm-trace-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  test_support::set_odbc_config_in(dir);
  std::ofstream(dir + "/odbcinst.ini") << "[SQLite3]\nDriver = " << test_support::kSqliteDriver << "\n";
  std::ofstream(dir + "/odbc.ini") << "";
  {
    Session s(dir);
    SQLExecDirect(s.st, S("CREATE TABLE t (id INTEGER, name VARCHAR(20), v DOUBLE)"), SQL_NTS);
    SQLFreeStmt(s.st, SQL_CLOSE);
    std::string fill =
        "INSERT INTO t WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " +
        std::to_string(rows) + ") SELECT x, 'name' || x, x * 1.5 FROM c";
    if (!ok(SQLExecDirect(s.st, S(fill), SQL_NTS))) return 1;
  }

  struct Work {
    const char* name;
    bool getdata;
  };
  const Work works[] = {{"xfetch", false}, {"getdata", true}};
  if (RUNNING_ON_VALGRIND) {
    for (const Work& w : works) {
      run(dir, w.getdata, false, rows, (std::string(w.name) + "-off").c_str());
      run(dir, w.getdata, true, traced_rows, (std::string(w.name) + "-on").c_str());
    }
  } else {
    std::printf("%lld rows with tracing off, %lld with tracing on; medians of 3 interleaved runs\n",
                static_cast<long long>(rows), static_cast<long long>(traced_rows));
    for (const Work& w : works) {
      std::vector<double> off, on;
      uintmax_t bytes = 0;
      for (int i = 0; i < 3; i++) {
        off.push_back(run(dir, w.getdata, false, rows, "off").seconds / static_cast<double>(rows));
        Result r = run(dir, w.getdata, true, traced_rows, "on");
        on.push_back(r.seconds / static_cast<double>(traced_rows));
        bytes = r.trace_bytes;
      }
      std::sort(off.begin(), off.end());
      std::sort(on.begin(), on.end());
      std::printf("  %-8s off %8.1f ns/row  on %8.1f ns/row  slowdown %.1fx  trace %.1f bytes/row\n", w.name,
                  off[1] * 1e9, on[1] * 1e9, on[1] / off[1],
                  static_cast<double>(bytes) / static_cast<double>(traced_rows));
    }
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
