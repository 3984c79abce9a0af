// Connect and disconnect through the driver manager to a data source of the
// SQLite driver named in odbc.ini, as the agent does it: an environment of
// its own per connection. The counters give what the configuration store
// asked of the file system per connect (status requests and file reads); the
// driver's own installer library, which it loads itself, is not counted.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "fixtures/support/odbc_config.h"
#include "sql.h"
#include "sqlext.h"

namespace {

// A temporary folder with odbc.ini, odbcinst.ini and the database; the six
// location variables point into it.
const std::string& setup() {
  static const std::string dir = [] {
    char tmpl[] = "/tmp/sqlgate-connect-bench-XXXXXX";
    if (!mkdtemp(tmpl)) {
      perror("mkdtemp");
      exit(1);
    }
    std::string d = tmpl;
    std::ofstream(d + "/odbc.ini") << "[ODBC Data Sources]\nlite = SQLite3\n\n[lite]\nDriver = SQLite3\n"
                                   << "Database = " << d << "/bench.db\nTimeout = 1000\n";
    std::ofstream(d + "/odbcinst.ini")
        << "[SQLite3]\nDescription = SQLite\nDriver = " << test_support::kSqliteDriver << "\n";
    test_support::set_odbc_config_in(d);
    // Files an administrator left a while ago, as on a running system.
    for (const char* f : {"/odbc.ini", "/odbcinst.ini"}) test_support::age_file(d + f);
    return d;
  }();
  return dir;
}

void cleanup() {
  const std::string& d = setup();
  for (const char* f : {"/odbc.ini", "/odbcinst.ini", "/bench.db"}) unlink((d + f).c_str());
  rmdir(d.c_str());
}

void connectOnce() {
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  SQLAllocEnv(&env);
  SQLAllocConnect(env, &dbc);
  SQLRETURN rc =
      SQLConnect(dbc, reinterpret_cast<SQLCHAR*>(const_cast<char*>("lite")), SQL_NTS, nullptr, 0, nullptr, 0);
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
    fprintf(stderr, "SQLConnect failed: %d\n", rc);
    exit(1);
  }
  SQLDisconnect(dbc);
  SQLFreeConnect(dbc);
  SQLFreeEnv(env);
}

void BM_ConnectDisconnect(benchmark::State& state) {
  if (access(test_support::kSqliteDriver, R_OK) != 0) {
    state.SkipWithError("SQLite ODBC driver not installed");
    return;
  }
  setup();
  connectOnce();  // the first connect loads the driver and reads the files
  test_support::IniIo before = test_support::ini_io();
  for (auto _ : state) connectOnce();
  test_support::IniIo after = test_support::ini_io();
  double n = static_cast<double>(state.iterations());
  state.counters["ini_stats"] = static_cast<double>(after.stats - before.stats) / n;
  state.counters["ini_reads"] = static_cast<double>(after.reads - before.reads) / n;
}
BENCHMARK(BM_ConnectDisconnect)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  cleanup();
  return 0;
}
