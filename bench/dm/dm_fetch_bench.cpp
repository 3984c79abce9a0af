// 1,000,000 rows of (INTEGER, VARCHAR(20), DOUBLE) from the SQLite driver, fetched with bound
// columns and SQLExtendedFetch (rowsets of 100) and with SQLFetch + SQLGetData, once through
// the driver manager and once through the driver's own functions resolved with dlsym. The
// difference is what the manager adds per call.

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_smoke.h"
#include "driver_symbols.h"
#include "sql.h"
#include "sqlext.h"

namespace {

const char* const kDriver = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";
const int kRows = bench_smoke::Pick(1000000, 1000);
constexpr int kRowset = 100;

// The ODBC functions used, from the manager or from the driver.
struct Api {
  SQLRETURN (*AllocEnv)(SQLHENV*);
  SQLRETURN (*AllocConnect)(SQLHENV, SQLHDBC*);
  SQLRETURN(*DriverConnect)
  (SQLHDBC, SQLHWND, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLSMALLINT*, SQLUSMALLINT);
  SQLRETURN (*AllocStmt)(SQLHDBC, SQLHSTMT*);
  SQLRETURN (*ExecDirect)(SQLHSTMT, SQLCHAR*, SQLINTEGER);
  SQLRETURN (*BindCol)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*);
  SQLRETURN (*SetStmtOption)(SQLHSTMT, SQLUSMALLINT, SQLULEN);
  SQLRETURN (*ExtendedFetch)(SQLHSTMT, SQLUSMALLINT, SQLLEN, SQLULEN*, SQLUSMALLINT*);
  SQLRETURN (*Fetch)(SQLHSTMT);
  SQLRETURN (*GetData)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*);
  SQLRETURN (*FreeStmt)(SQLHSTMT, SQLUSMALLINT);
  SQLRETURN (*Disconnect)(SQLHDBC);
  SQLRETURN (*FreeConnect)(SQLHDBC);
  SQLRETURN (*FreeEnv)(SQLHENV);
};

Api manager_api() {
  return Api{SQLAllocEnv, SQLAllocConnect,  SQLDriverConnect, SQLAllocStmt, SQLExecDirect,
             SQLBindCol,  SQLSetStmtOption, SQLExtendedFetch, SQLFetch,     SQLGetData,
             SQLFreeStmt, SQLDisconnect,    SQLFreeConnect,   SQLFreeEnv};
}

Api driver_api() {
  void* lib = dmbench::open_driver(kDriver);
  Api a{};
  dmbench::resolve(lib, a.AllocEnv, "SQLAllocEnv");
  dmbench::resolve(lib, a.AllocConnect, "SQLAllocConnect");
  dmbench::resolve(lib, a.DriverConnect, "SQLDriverConnect");
  dmbench::resolve(lib, a.AllocStmt, "SQLAllocStmt");
  dmbench::resolve(lib, a.ExecDirect, "SQLExecDirect");
  dmbench::resolve(lib, a.BindCol, "SQLBindCol");
  dmbench::resolve(lib, a.SetStmtOption, "SQLSetStmtOption");
  dmbench::resolve(lib, a.ExtendedFetch, "SQLExtendedFetch");
  dmbench::resolve(lib, a.Fetch, "SQLFetch");
  dmbench::resolve(lib, a.GetData, "SQLGetData");
  dmbench::resolve(lib, a.FreeStmt, "SQLFreeStmt");
  dmbench::resolve(lib, a.Disconnect, "SQLDisconnect");
  dmbench::resolve(lib, a.FreeConnect, "SQLFreeConnect");
  dmbench::resolve(lib, a.FreeEnv, "SQLFreeEnv");
  return a;
}

SQLCHAR* S(const std::string& s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str())); }

bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// The database file, made once per process.
const std::string& database() {
  static std::string path = [] {
    std::string dir =
        std::filesystem::temp_directory_path() / ("sqlgate-dm-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    static std::string remove_at_exit = dir;
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(remove_at_exit, ec);
    });
    for (const char* var :
         {"HOME", "ODBCINI", "ODBCINSTINI", "SYSODBCINI", "SYSODBCINSTINI", "FILEDSNPATH"}) {
      std::string v = std::string(var) == "HOME" || std::string(var) == "FILEDSNPATH" ? dir : dir + "/" + var;
      setenv(var, v.c_str(), 1);
    }
    std::string db = dir + "/rows.db";
    Api a = driver_api();
    SQLHENV env;
    SQLHDBC dbc;
    SQLHSTMT st;
    a.AllocEnv(&env);
    a.AllocConnect(env, &dbc);
    std::string in = std::string("DRIVER=") + kDriver + ";Database=" + db;
    if (!ok(a.DriverConnect(dbc, nullptr, S(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
      std::exit(1);
    a.AllocStmt(dbc, &st);
    a.ExecDirect(st, S("CREATE TABLE t (id INTEGER, name VARCHAR(20), v DOUBLE)"), SQL_NTS);
    std::string fill =
        "INSERT INTO t WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " +
        std::to_string(kRows) + ") SELECT x, 'name' || x, x * 1.5 FROM c";
    if (!ok(a.ExecDirect(st, S(fill), SQL_NTS))) std::exit(1);
    a.FreeStmt(st, SQL_DROP);
    a.Disconnect(dbc);
    a.FreeConnect(dbc);
    a.FreeEnv(env);
    return db;
  }();
  return path;
}

struct Session {
  explicit Session(const Api& api) : a(api) {
    a.AllocEnv(&env);
    a.AllocConnect(env, &dbc);
    std::string in = std::string("DRIVER=") + kDriver + ";Database=" + database();
    if (!ok(a.DriverConnect(dbc, nullptr, S(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
      std::exit(1);
    a.AllocStmt(dbc, &st);
  }
  ~Session() {
    a.FreeStmt(st, SQL_DROP);
    a.Disconnect(dbc);
    a.FreeConnect(dbc);
    a.FreeEnv(env);
  }
  Api a;
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  SQLHSTMT st = nullptr;
};

void bound_rowsets(benchmark::State& state, const Api& api) {
  Session s(api);
  static SQLINTEGER id[kRowset];
  static char name[kRowset][21];
  static double v[kRowset];
  static SQLLEN ind[3][kRowset];
  s.a.SetStmtOption(s.st, SQL_ROWSET_SIZE, kRowset);
  s.a.BindCol(s.st, 1, SQL_C_LONG, id, sizeof id[0], ind[0]);
  s.a.BindCol(s.st, 2, SQL_C_CHAR, name, sizeof name[0], ind[1]);
  s.a.BindCol(s.st, 3, SQL_C_DOUBLE, v, sizeof v[0], ind[2]);
  int64_t rows = 0;
  for (auto _ : state) {
    if (!ok(s.a.ExecDirect(s.st, S("SELECT id, name, v FROM t"), SQL_NTS)))
      state.SkipWithError("execute failed");
    SQLULEN n = 0;
    SQLUSMALLINT status[kRowset];
    int64_t got = 0;
    while (ok(s.a.ExtendedFetch(s.st, SQL_FETCH_NEXT, 0, &n, status))) got += static_cast<int64_t>(n);
    if (got != kRows) state.SkipWithError("wrong row count");
    rows += got;
    s.a.FreeStmt(s.st, SQL_CLOSE);
  }
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
}

void fetch_getdata(benchmark::State& state, const Api& api) {
  Session s(api);
  int64_t rows = 0;
  for (auto _ : state) {
    if (!ok(s.a.ExecDirect(s.st, S("SELECT id, name, v FROM t"), SQL_NTS)))
      state.SkipWithError("execute failed");
    int64_t got = 0;
    SQLINTEGER id;
    char name[21];
    double v;
    SQLLEN ind;
    while (ok(s.a.Fetch(s.st))) {
      s.a.GetData(s.st, 1, SQL_C_LONG, &id, 0, &ind);
      s.a.GetData(s.st, 2, SQL_C_CHAR, name, sizeof name, &ind);
      s.a.GetData(s.st, 3, SQL_C_DOUBLE, &v, 0, &ind);
      ++got;
    }
    if (got != kRows) state.SkipWithError("wrong row count");
    rows += got;
    s.a.FreeStmt(s.st, SQL_CLOSE);
  }
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
}

void BM_ExtendedFetch_Direct(benchmark::State& state) { bound_rowsets(state, driver_api()); }
void BM_ExtendedFetch_Manager(benchmark::State& state) { bound_rowsets(state, manager_api()); }
void BM_FetchGetData_Direct(benchmark::State& state) { fetch_getdata(state, driver_api()); }
void BM_FetchGetData_Manager(benchmark::State& state) { fetch_getdata(state, manager_api()); }

BENCHMARK(BM_ExtendedFetch_Direct)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ExtendedFetch_Manager)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_FetchGetData_Direct)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_FetchGetData_Manager)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
