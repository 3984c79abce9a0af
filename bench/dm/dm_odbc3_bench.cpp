// What the driver manager adds to an ODBC 3 application: rows of (INTEGER, VARCHAR(20), DOUBLE)
// from the SQLite driver fetched with row arrays of 100 and 1000 through SQLFetchScroll, one
// row at a time with bound columns and SQLFetch, and with SQLFetch and SQLGetData, once through the manager
// and once through the driver's own functions resolved with dlsym; and connect/disconnect cycles with and
// without pooling.
//
// Wall time: each pair (driver, manager) runs interleaved several times in one run; the ratios
// of the medians are printed at the end. Instructions: run under valgrind --tool=callgrind
// (see count_instructions.sh): each workload then runs once, its count dumped under its own
// name, and nothing is timed.

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench_smoke.h"
#include "fixtures/support/odbc_config.h"
#include "driver_symbols.h"
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

const char* const kDriver = test_support::kSqliteDriver;

// The ODBC 3 functions used, from the manager or from the driver.
struct Api {
  SQLRETURN (*AllocHandle)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*);
  SQLRETURN (*SetEnvAttr)(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER);
  SQLRETURN(*DriverConnect)
  (SQLHDBC, SQLHWND, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLSMALLINT*, SQLUSMALLINT);
  SQLRETURN (*ExecDirect)(SQLHSTMT, SQLCHAR*, SQLINTEGER);
  SQLRETURN (*SetStmtAttr)(SQLHSTMT, SQLINTEGER, SQLPOINTER, SQLINTEGER);
  SQLRETURN (*BindCol)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*);
  SQLRETURN (*FetchScroll)(SQLHSTMT, SQLSMALLINT, SQLLEN);
  SQLRETURN (*Fetch)(SQLHSTMT);
  SQLRETURN (*GetData)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*);
  SQLRETURN (*CloseCursor)(SQLHSTMT);
  SQLRETURN (*FreeStmt)(SQLHSTMT, SQLUSMALLINT);
  SQLRETURN (*Disconnect)(SQLHDBC);
  SQLRETURN (*FreeHandle)(SQLSMALLINT, SQLHANDLE);
};

Api manager_api() {
  return Api{SQLAllocHandle, SQLSetEnvAttr,  SQLDriverConnect, SQLExecDirect, SQLSetStmtAttr,
             SQLBindCol,     SQLFetchScroll, SQLFetch,         SQLGetData,    SQLCloseCursor,
             SQLFreeStmt,    SQLDisconnect,  SQLFreeHandle};
}

Api driver_api() {
  void* lib = dmbench::open_driver(kDriver);
  Api a{};
  dmbench::resolve(lib, a.AllocHandle, "SQLAllocHandle");
  dmbench::resolve(lib, a.SetEnvAttr, "SQLSetEnvAttr");
  dmbench::resolve(lib, a.DriverConnect, "SQLDriverConnect");
  dmbench::resolve(lib, a.ExecDirect, "SQLExecDirect");
  dmbench::resolve(lib, a.SetStmtAttr, "SQLSetStmtAttr");
  dmbench::resolve(lib, a.BindCol, "SQLBindCol");
  dmbench::resolve(lib, a.FetchScroll, "SQLFetchScroll");
  dmbench::resolve(lib, a.Fetch, "SQLFetch");
  dmbench::resolve(lib, a.GetData, "SQLGetData");
  dmbench::resolve(lib, a.CloseCursor, "SQLCloseCursor");
  dmbench::resolve(lib, a.FreeStmt, "SQLFreeStmt");
  dmbench::resolve(lib, a.Disconnect, "SQLDisconnect");
  dmbench::resolve(lib, a.FreeHandle, "SQLFreeHandle");
  return a;
}

SQLCHAR* S(const std::string& s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str())); }
SQLPOINTER V(intptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }
bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// Rows in the table: SQLGATE_BENCH_ROWS, or a million.
int64_t row_count() {
  const char* v = std::getenv("SQLGATE_BENCH_ROWS");
  return v != nullptr && std::atoll(v) > 0 ? std::atoll(v) : bench_smoke::Pick(1000000, 1000);
}

// The folder with the ini files and the database, made once per process.
const std::string& folder() {
  static std::string dir = [] {
    std::string d =
        std::filesystem::temp_directory_path() / ("sqlgate-dm3-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(d);
    static std::string remove_at_exit = d;
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(remove_at_exit, ec);
    });
    test_support::set_odbc_config_in(d);
    // Named by the driver's section, which gives the pool its time-out.
    std::ofstream(d + "/odbcinst.ini") << "[SQLite3]\nDriver = " << kDriver << "\nCPTimeout = 600\n";
    std::ofstream(d + "/odbc.ini") << "";
    return d;
  }();
  return dir;
}

std::string connection_string() { return "DRIVER={SQLite3};Database=" + folder() + "/rows.db"; }

struct Session {
  explicit Session(const Api& api) : a(api) {
    a.AllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    a.SetEnvAttr(env, SQL_ATTR_ODBC_VERSION, V(SQL_OV_ODBC3), 0);
    a.AllocHandle(SQL_HANDLE_DBC, env, &dbc);
    // The driver itself reads no odbcinst.ini: it gets the path.
    std::string in = std::string("DRIVER=") + kDriver + ";Database=" + folder() + "/rows.db";
    if (!ok(a.DriverConnect(dbc, nullptr, S(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
      std::exit(1);
    a.AllocHandle(SQL_HANDLE_STMT, dbc, &st);
  }
  ~Session() {
    a.FreeHandle(SQL_HANDLE_STMT, st);
    a.Disconnect(dbc);
    a.FreeHandle(SQL_HANDLE_DBC, dbc);
    a.FreeHandle(SQL_HANDLE_ENV, env);
  }
  Api a;
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  SQLHSTMT st = nullptr;
};

void make_table() {
  Session s(driver_api());
  s.a.ExecDirect(s.st, S("DROP TABLE IF EXISTS t"), SQL_NTS);
  s.a.ExecDirect(s.st, S("CREATE TABLE t (id INTEGER, name VARCHAR(20), v DOUBLE)"), SQL_NTS);
  std::string fill =
      "INSERT INTO t WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " +
      std::to_string(row_count()) + ") SELECT x, 'name' || x, x * 1.5 FROM c";
  if (!ok(s.a.ExecDirect(s.st, S(fill), SQL_NTS))) std::exit(1);
}

// Under callgrind: the name the fetch loop that runs next is counted under (null: not counted),
// apart from the statement's execution, which is the driver's alone.
const char* counted_as = nullptr;

void loop_starts() {
  if (counted_as != nullptr) CALLGRIND_ZERO_STATS;
}

void loop_ends() {
  if (counted_as != nullptr) CALLGRIND_DUMP_STATS_AT(counted_as);
}

// One pass over the table with bound row arrays of `rows` rows; returns the rows read.
int64_t fetch_rowsets(Session& s, int rows) {
  std::vector<SQLINTEGER> id(rows);
  std::vector<char> name(static_cast<size_t>(rows) * 21);
  std::vector<double> v(rows);
  std::vector<SQLLEN> ind(static_cast<size_t>(rows) * 3);
  std::vector<SQLUSMALLINT> status(rows);
  SQLULEN fetched = 0;
  s.a.SetStmtAttr(s.st, SQL_ATTR_ROW_ARRAY_SIZE, V(rows), 0);
  s.a.SetStmtAttr(s.st, SQL_ATTR_ROW_STATUS_PTR, status.data(), 0);
  s.a.SetStmtAttr(s.st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
  s.a.BindCol(s.st, 1, SQL_C_LONG, id.data(), 0, ind.data());
  s.a.BindCol(s.st, 2, SQL_C_CHAR, name.data(), 21, ind.data() + rows);
  s.a.BindCol(s.st, 3, SQL_C_DOUBLE, v.data(), 0, ind.data() + 2 * rows);
  if (!ok(s.a.ExecDirect(s.st, S("SELECT id, name, v FROM t"), SQL_NTS))) return -1;
  int64_t got = 0;
  loop_starts();
  while (ok(s.a.FetchScroll(s.st, SQL_FETCH_NEXT, 0))) got += static_cast<int64_t>(fetched);
  loop_ends();
  s.a.CloseCursor(s.st);
  s.a.FreeStmt(s.st, SQL_UNBIND);
  // The arrays go with this call: the statement must not keep pointing at them.
  s.a.SetStmtAttr(s.st, SQL_ATTR_ROW_ARRAY_SIZE, V(1), 0);
  s.a.SetStmtAttr(s.st, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
  s.a.SetStmtAttr(s.st, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
  return got;
}

// One pass with bound columns, one row per SQLFetch: the call the manager's own cost shows in.
int64_t fetch_bound(Session& s) {
  SQLINTEGER id;
  char name[21];
  double v;
  SQLLEN ind[3];
  s.a.BindCol(s.st, 1, SQL_C_LONG, &id, 0, &ind[0]);
  s.a.BindCol(s.st, 2, SQL_C_CHAR, name, sizeof name, &ind[1]);
  s.a.BindCol(s.st, 3, SQL_C_DOUBLE, &v, 0, &ind[2]);
  if (!ok(s.a.ExecDirect(s.st, S("SELECT id, name, v FROM t"), SQL_NTS))) return -1;
  int64_t got = 0;
  loop_starts();
  while (ok(s.a.Fetch(s.st))) ++got;
  loop_ends();
  s.a.CloseCursor(s.st);
  s.a.FreeStmt(s.st, SQL_UNBIND);
  return got;
}

int64_t fetch_getdata(Session& s) {
  if (!ok(s.a.ExecDirect(s.st, S("SELECT id, name, v FROM t"), SQL_NTS))) return -1;
  int64_t got = 0;
  SQLINTEGER id;
  char name[21];
  double v;
  SQLLEN ind;
  loop_starts();
  while (ok(s.a.Fetch(s.st))) {
    s.a.GetData(s.st, 1, SQL_C_LONG, &id, 0, &ind);
    s.a.GetData(s.st, 2, SQL_C_CHAR, name, sizeof name, &ind);
    s.a.GetData(s.st, 3, SQL_C_DOUBLE, &v, 0, &ind);
    ++got;
  }
  loop_ends();
  s.a.CloseCursor(s.st);
  return got;
}

// Connect/disconnect cycles of the manager in one environment, pooled or not.
struct Cycles {
  explicit Cycles(bool pooled) {
    SQLSetEnvAttr(nullptr, SQL_ATTR_CONNECTION_POOLING, V(pooled ? SQL_CP_ONE_PER_DRIVER : SQL_CP_OFF), 0);
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, V(SQL_OV_ODBC3), 0);
    SQLSetEnvAttr(nullptr, SQL_ATTR_CONNECTION_POOLING, V(SQL_CP_OFF), 0);
  }
  ~Cycles() { SQLFreeHandle(SQL_HANDLE_ENV, env); }
  bool once() {
    SQLHDBC dbc = nullptr;
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    std::string in = connection_string();
    bool good = ok(SQLDriverConnect(dbc, nullptr, S(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT));
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    return good;
  }
  SQLHENV env = nullptr;
};

// ---- wall time -----------------------------------------------------------------------------

enum class Work { rowsets100, rowsets1000, bound, getdata };

const char* work_name(Work w) {
  switch (w) {
    case Work::rowsets100:
      return "rowsets100";
    case Work::rowsets1000:
      return "rowsets1000";
    case Work::bound:
      return "bound";
    case Work::getdata:
      return "getdata";
  }
  return "";
}

int64_t run_pass(Session& s, Work w) {
  switch (w) {
    case Work::rowsets100:
      return fetch_rowsets(s, 100);
    case Work::rowsets1000:
      return fetch_rowsets(s, 1000);
    case Work::bound:
      return fetch_bound(s);
    case Work::getdata:
      return fetch_getdata(s);
  }
  return -1;
}

void fetch(benchmark::State& state, Work work, bool through_manager) {
  Session s(through_manager ? manager_api() : driver_api());
  int64_t rows = 0;
  for (auto _ : state) {
    int64_t got = run_pass(s, work);
    if (got != row_count()) state.SkipWithError("wrong row count");
    rows += got;
  }
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
}

void connects(benchmark::State& state, bool pooled) {
  Cycles c(pooled);
  for (auto _ : state) {
    if (!c.once()) state.SkipWithError("connect failed");
  }
}

// Collects the time per iteration of each run by name, for the ratios printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.iterations > 0)
        times_[r.run_name.function_name].push_back(r.real_accumulated_time / r.iterations);
    }
    ConsoleReporter::ReportRuns(runs);
  }
  double median(const std::string& name) {
    std::vector<double>& t = times_[name];
    if (t.empty()) return 0;
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
  }

 private:
  std::map<std::string, std::vector<double>> times_;
};

// ---- instruction counts ----------------------------------------------------------------------

// Under callgrind: each workload once, its instructions dumped under its name.
void count_instructions() {
  for (bool through_manager : {false, true}) {
    const char* who = through_manager ? "manager" : "driver";
    Session s(through_manager ? manager_api() : driver_api());
    for (Work w : {Work::rowsets100, Work::rowsets1000, Work::bound, Work::getdata}) {
      std::string label = std::string(work_name(w)) + "-" + who;
      // Once unmeasured: the first pass also loads the schema and looks entry points up.
      auto pass = [&] { return run_pass(s, w); };
      pass();
      // The fetch loop alone, then the whole pass with the statement's execution.
      counted_as = label.c_str();
      int64_t got = pass();
      counted_as = nullptr;
      std::string whole = label + "-pass";
      CALLGRIND_ZERO_STATS;
      pass();
      CALLGRIND_DUMP_STATS_AT(whole.c_str());
      std::printf("%s %lld rows\n", label.c_str(), static_cast<long long>(got));
    }
  }
  for (bool pooled : {false, true}) {
    Cycles c(pooled);
    c.once();  // fills the pool, loads the library
    std::string label = std::string("connect-") + (pooled ? "pooled" : "fresh");
    CALLGRIND_ZERO_STATS;
    for (int i = 0; i < 100; ++i) c.once();
    CALLGRIND_DUMP_STATS_AT(label.c_str());
    std::printf("%s 100 cycles\n", label.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  folder();
  make_table();
  if (RUNNING_ON_VALGRIND) {
    count_instructions();
    return 0;
  }
  const int pairs = bench_smoke::Pick(3, 1);
  struct Pair {
    const char* name;
    Work work;
  } fetch_pairs[] = {{"FetchScroll100", Work::rowsets100},
                     {"FetchScroll1000", Work::rowsets1000},
                     {"FetchBound", Work::bound},
                     {"FetchGetData", Work::getdata}};
  for (const Pair& p : fetch_pairs) {
    for (int i = 0; i < pairs; ++i) {
      benchmark::RegisterBenchmark((std::string(p.name) + "/driver").c_str(), fetch, p.work, false)
          ->Unit(benchmark::kMillisecond)
          ->Iterations(1);
      benchmark::RegisterBenchmark((std::string(p.name) + "/manager").c_str(), fetch, p.work, true)
          ->Unit(benchmark::kMillisecond)
          ->Iterations(1);
    }
  }
  for (int i = 0; i < pairs; ++i) {
    benchmark::RegisterBenchmark("Connect/fresh", connects, false)
        ->Unit(benchmark::kMicrosecond)
        ->Iterations(bench_smoke::Pick(10000, 10));
    benchmark::RegisterBenchmark("Connect/pooled", connects, true)
        ->Unit(benchmark::kMicrosecond)
        ->Iterations(bench_smoke::Pick(10000, 10));
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nmedians of %d interleaved runs each:\n", pairs);
  for (const Pair& p : fetch_pairs) {
    double d = reporter.median(std::string(p.name) + "/driver");
    double m = reporter.median(std::string(p.name) + "/manager");
    if (d > 0) std::printf("  %-16s manager/driver wall time %.3f\n", p.name, m / d);
  }
  double fresh = reporter.median("Connect/fresh");
  double pooled = reporter.median("Connect/pooled");
  if (pooled > 0) {
    std::printf("  %-16s fresh %.1f us, pooled %.1f us: pooled is %.1fx faster\n", "Connect", fresh * 1e6,
                pooled * 1e6, fresh / pooled);
  }
  benchmark::Shutdown();
  return 0;
}
