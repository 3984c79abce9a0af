// Tracing switched on and off (SQL_ATTR_TRACE, SQL_ATTR_TRACEFILE) by one thread while other
// threads call the API on connections of their own to the real SQLite driver. Every call reads
// the trace flag on its way in and out without the global lock, so the flag must be safe to
// read while it changes; under ThreadSanitizer this test shows whether it is. Each worker's
// results must come back whole, and the trace file must hold only whole records.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "dm/odbc3_test_util.h"

namespace {

using odbc3test::ok;
using odbc3test::S;
using test_support::kSqliteDriver;

SQLPOINTER V(intptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }

constexpr int kWorkers = 4;
constexpr int kRounds = 60;
constexpr int kRows = 5;

class TraceThreads : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(kSqliteDriver, R_OK) != 0) GTEST_SKIP() << "SQLite ODBC driver not installed";
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_SUCCESS);
    ASSERT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, V(SQL_OV_ODBC3), 0), SQL_SUCCESS);
    // A connection for each worker, each with a table of its own in the one database file,
    // and one more that makes them.
    for (int i = 0; i <= kWorkers; ++i) {
      SQLHDBC dbc = nullptr;
      ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
      dbcs.push_back(dbc);
      std::string in = std::string("DRIVER=") + kSqliteDriver + ";Database=" + ini.path("t.db");
      ASSERT_TRUE(
          ok(SQLDriverConnect(dbc, nullptr, S(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)));
    }
    SQLHSTMT stmt = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbcs[0], &stmt), SQL_SUCCESS);
    for (int w = 1; w <= kWorkers; ++w) {
      std::string t = "t" + std::to_string(w);
      ASSERT_TRUE(ok(SQLExecDirect(stmt, S("CREATE TABLE " + t + " (k INTEGER, v VARCHAR(20))"), SQL_NTS)));
      for (int k = 1; k <= kRows; ++k) {
        std::string row =
            "INSERT INTO " + t + " VALUES (" + std::to_string(k) + ", 'row " + std::to_string(k) + "')";
        ASSERT_TRUE(ok(SQLExecDirect(stmt, S(row), SQL_NTS)));
      }
    }
    ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, stmt), SQL_SUCCESS);
  }
  void TearDown() override {
    for (SQLHDBC dbc : dbcs) {
      SQLDisconnect(dbc);
      SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
    if (env != nullptr) SQLFreeHandle(SQL_HANDLE_ENV, env);
  }

  // One round of a worker: a query read back whole, a failing statement and its record, an
  // attribute read, and a connection made and dropped beside its own (the driver's record and
  // library list, the pooling setting); false (with the reason) when anything comes back wrong.
  bool round(SQLHDBC dbc, int w, std::string* why) const {
    SQLHSTMT stmt = nullptr;
    if (SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt) != SQL_SUCCESS) return *why = "alloc", false;
    std::string query = "SELECT k, v FROM t" + std::to_string(w) + " ORDER BY k";
    bool good = ok(SQLExecDirect(stmt, S(query), SQL_NTS));
    int rows = 0;
    while (good && SQLFetch(stmt) == SQL_SUCCESS) {
      SQLINTEGER k = 0;
      char v[32] = "";
      SQLLEN len = 0;
      good = SQLGetData(stmt, 1, SQL_C_LONG, &k, 0, nullptr) == SQL_SUCCESS &&
             SQLGetData(stmt, 2, SQL_C_CHAR, v, sizeof v, &len) == SQL_SUCCESS && k == rows + 1 &&
             std::string(v) == "row " + std::to_string(k);
      ++rows;
    }
    if (!good || rows != kRows) *why = "rows of t" + std::to_string(w);
    good = good && rows == kRows && SQLCloseCursor(stmt) == SQL_SUCCESS;
    if (good) {
      SQLCHAR state[6] = "";
      SQLCHAR text[128] = "";
      SQLSMALLINT len = 0;
      good =
          SQLExecDirect(stmt, S("SELECT * FROM nosuch"), SQL_NTS) == SQL_ERROR &&
          SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, nullptr, text, sizeof text, &len) == SQL_SUCCESS &&
          std::string(reinterpret_cast<char*>(text)).find("no such table") != std::string::npos;
      if (!good) *why = "diagnostics";
    }
    SQLUINTEGER autocommit = 9;
    if (good && (SQLGetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, &autocommit, 0, nullptr) != SQL_SUCCESS ||
                 autocommit != 1)) {
      *why = "autocommit attribute";
      good = false;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    SQLUINTEGER pooling = 9;
    if (good && (SQLGetEnvAttr(env, SQL_ATTR_CONNECTION_POOLING, &pooling, 0, nullptr) != SQL_SUCCESS ||
                 pooling != SQL_CP_OFF)) {
      *why = "pooling attribute";
      good = false;
    }
    SQLHDBC other = nullptr;
    if (good && SQLAllocHandle(SQL_HANDLE_DBC, env, &other) == SQL_SUCCESS) {
      std::string in = std::string("DRIVER=") + kSqliteDriver + ";Database=" + ini.path("t.db");
      char name[64] = "";
      good = ok(SQLDriverConnect(other, nullptr, S(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)) &&
             ok(SQLGetInfo(other, SQL_DRIVER_NAME, name, sizeof name, nullptr)) &&
             SQLDisconnect(other) == SQL_SUCCESS && std::string(name).find("sqlite") != std::string::npos;
      if (SQLFreeHandle(SQL_HANDLE_DBC, other) != SQL_SUCCESS) good = false;
      if (!good) *why = "second connection";
    }
    return good;
  }

  dmtest::TempOdbcEnv ini;
  SQLHENV env = nullptr;
  std::vector<SQLHDBC> dbcs;
};

// A finished trace session's file: whole records only (every header followed by its call
// line), banner and trailer. Returns the workers' SQLFetch records in it.
int check_session(const std::string& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  const std::string all = text.str();
  EXPECT_EQ(all.rfind("** Zolan Trace file\n", 0), 0u) << file;
  EXPECT_NE(all.find("** Trace finished on "), std::string::npos) << file;
  std::istringstream lines(all);
  std::string line;
  int fetches = 0;
  while (std::getline(lines, line)) {
    if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
      std::string call;
      if (!std::getline(lines, call)) call = "(none)";
      EXPECT_TRUE(call.find(" ENTER SQL") != std::string::npos ||
                  call.find(" EXIT  SQL") != std::string::npos)
          << file << ": " << call;
      if (call.find(" ENTER SQLFetch") != std::string::npos) ++fetches;
    }
  }
  return fetches;
}

TEST_F(TraceThreads, CallsGoOnWhileAnotherThreadSwitchesTracing) {
  const std::string files[2] = {ini.path("trace-a.log"), ini.path("trace-b.log")};
  std::atomic<bool> go{false};
  std::atomic<int> rounds{0};
  std::atomic<int> running{kWorkers};
  std::vector<std::string> failures(kWorkers);
  std::vector<std::thread> workers;
  for (int w = 1; w <= kWorkers; ++w) {
    workers.emplace_back([&, w] {
      while (!go.load()) std::this_thread::yield();
      for (int r = 0; r < kRounds && failures[w - 1].empty(); ++r) {
        std::string why;
        if (!round(dbcs[w], w, &why)) failures[w - 1] = "round " + std::to_string(r) + ": " + why;
        rounds.fetch_add(1);
      }
      running.fetch_sub(1);
    });
  }
  // Switched on a connection of its own that is not connected (a connected one would hand the
  // attributes to an ODBC 3 driver): a new file name while tracing is off, then on, then off.
  // The first session lasts until a worker has finished a round, so that some of their calls
  // are traced whatever the scheduling; the others until the switching thread is next run.
  SQLHDBC dbc = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
  int traced_fetches = 0;
  for (int session = 0; session == 0 || running.load() > 0 || session < 4; ++session) {
    const std::string& file = files[session % 2];
    EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_TRACEFILE, S(file), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_TRACE, V(SQL_OPT_TRACE_ON), 0), SQL_SUCCESS);
    // The process-wide pooling setting, as it is: read by every environment made meanwhile.
    EXPECT_EQ(SQLSetEnvAttr(SQL_NULL_HANDLE, SQL_ATTR_CONNECTION_POOLING, V(SQL_CP_OFF), 0), SQL_SUCCESS);
    go.store(true);
    do {
      std::this_thread::yield();
    } while (rounds.load() == 0 && running.load() > 0);
    EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_TRACE, V(SQL_OPT_TRACE_OFF), 0), SQL_SUCCESS);
    traced_fetches += check_session(file);
  }
  for (std::thread& t : workers) t.join();
  for (int w = 0; w < kWorkers; ++w) EXPECT_EQ(failures[w], "") << "worker " << w + 1;
  EXPECT_GT(traced_fetches, 0);
  SQLUINTEGER trace = 9;
  ASSERT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_TRACE, &trace, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(trace, static_cast<SQLUINTEGER>(SQL_OPT_TRACE_OFF));
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
}

}  // namespace
