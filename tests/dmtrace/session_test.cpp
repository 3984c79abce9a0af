// Trace sessions through the driver manager with the real SQLite driver: the settings of
// odbc.ini, the trace connection options at run time, a traced data source connected twice,
// and a trace file that cannot be opened.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <string>

#include "fixtures/odbc_env/dm_test_env.h"
#include "dmtrace/trace.h"
#include "fixtures/support/odbc_config.h"
#include "trace_capture.h"

// See tests/dm/sqlite_test.cpp: the SQLite driver's installer library is only recognised in
// full stacks.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }

namespace {

using namespace dmtest;
using test_support::kSqliteDriver;

const std::string banner_head = "** Zolan Trace file\n";

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
  return n;
}

std::set<std::string> files_in(const std::string& dir) {
  std::set<std::string> names;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return names;
  while (struct dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name != "." && name != "..") names.insert(name);
  }
  closedir(d);
  return names;
}

class TraceSession : public ::testing::Test {
 protected:
  TempOdbcEnv ini;
  SQLHENV env = nullptr;

  void SetUp() override {
    if (access(kSqliteDriver, R_OK) != 0) GTEST_SKIP() << "SQLite ODBC driver not installed";
    _zolandm_trace_set_clock(trace_test::fixed_clock);
    ini.odbcinst_ini(std::string("[SQLite3]\nDriver=") + kSqliteDriver + "\n");
  }
  void TearDown() override {
    if (env != nullptr) {
      EXPECT_EQ(SQLFreeEnv(env), SQL_SUCCESS);
    }
    _zolandm_trace_stop();
    _zolandm_trace_set_clock(nullptr);
  }
  void write_odbc_ini(const std::string& odbc_section, const std::string& dsn_keys = "") {
    ini.odbc_ini("[ODBC]\n" + odbc_section + "\n[db]\nDriver=SQLite3\nDatabase=" + ini.path("t.db") + "\n" +
                 dsn_keys);
  }
  SQLHDBC connect() {
    SQLHDBC dbc = nullptr;
    EXPECT_EQ(SQLAllocConnect(env, &dbc), SQL_SUCCESS);
    SQLRETURN rc = SQLConnect(dbc, U("db"), SQL_NTS, nullptr, 0, nullptr, 0);
    EXPECT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << rc;
    return dbc;
  }
  void exec(SQLHDBC dbc, const char* sql) {
    SQLHSTMT stmt = nullptr;
    ASSERT_EQ(SQLAllocStmt(dbc, &stmt), SQL_SUCCESS);
    EXPECT_EQ(SQLExecDirect(stmt, U(sql), SQL_NTS), SQL_SUCCESS) << sql;
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
  }
  void disconnect(SQLHDBC dbc) {
    EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeConnect(dbc), SQL_SUCCESS);
  }
};

// The first environment reads the [ODBC] keys; the last one to go ends the trace.
TEST_F(TraceSession, OdbcSectionStartsTheTraceAndTheLastEnvironmentEndsIt) {
  write_odbc_ini("Trace=Yes\nTraceFile=" + ini.path("g.$S.log") + "\n");
  int seq = _zolandm_trace_seq;
  ASSERT_EQ(SQLAllocEnv(&env), SQL_SUCCESS);
  const std::string name = ini.path("g." + std::to_string(seq + 1) + ".log");
  EXPECT_EQ(_zolandm_trace_enabled, 1);
  EXPECT_EQ(_zolandm_trace_filename, name);
  SQLHENV second = nullptr;
  ASSERT_EQ(SQLAllocEnv(&second), SQL_SUCCESS);
  EXPECT_EQ(_zolandm_trace_seq, seq + 1);  // read once, by the first environment
  SQLHDBC dbc = connect();
  exec(dbc, "CREATE TABLE t (a INTEGER)");
  disconnect(dbc);
  EXPECT_EQ(SQLFreeEnv(second), SQL_SUCCESS);
  EXPECT_EQ(_zolandm_trace_enabled, 1);
  EXPECT_EQ(SQLFreeEnv(env), SQL_SUCCESS);
  env = nullptr;
  EXPECT_EQ(_zolandm_trace_enabled, 0);
  std::string text = ini.read("g." + std::to_string(seq + 1) + ".log");
  EXPECT_EQ(text.substr(0, banner_head.size()), banner_head);
  EXPECT_EQ(count(text, "** Trace finished on "), 1);
  EXPECT_EQ(text.substr(text.size() - 1), "\n");
}

TEST_F(TraceSession, TraceNoCreatesNothing) {
  for (const char* value : {"no", "0", "off", ""}) {
    write_odbc_ini(std::string("Trace=") + value + "\nTraceFile=" + ini.path("never.log") + "\n",
                   "Trace=No\n");
    std::set<std::string> before = files_in(ini.dir());
    ASSERT_EQ(SQLAllocEnv(&env), SQL_SUCCESS);
    SQLHDBC dbc = connect();
    exec(dbc, "CREATE TABLE IF NOT EXISTS t (a INTEGER)");
    EXPECT_EQ(_zolandm_trace_enabled, 0) << value;
    disconnect(dbc);
    EXPECT_EQ(SQLFreeEnv(env), SQL_SUCCESS);
    env = nullptr;
    std::set<std::string> after = files_in(ini.dir());
    after.erase("t.db");
    before.erase("t.db");
    EXPECT_EQ(after, before) << value;
  }
}

// SQL_OPT_TRACEFILE names the file and SQL_OPT_TRACE switches tracing on and off while the
// connection works; the file name cannot change while a trace is on.
TEST_F(TraceSession, ConnectionOptionsSwitchTracingAtRunTime) {
  write_odbc_ini("Trace=No\n");
  ASSERT_EQ(SQLAllocEnv(&env), SQL_SUCCESS);
  SQLHDBC dbc = connect();
  const std::string name = ini.path("opt.log");
  EXPECT_EQ(SQLSetConnectOption(dbc, SQL_OPT_TRACEFILE, reinterpret_cast<SQLULEN>(name.c_str())),
            SQL_SUCCESS);
  char reported[512] = "";
  EXPECT_EQ(SQLGetConnectOption(dbc, SQL_OPT_TRACEFILE, reported), SQL_SUCCESS);
  EXPECT_EQ(std::string(reported), name);
  SQLUINTEGER on = 9;
  EXPECT_EQ(SQLGetConnectOption(dbc, SQL_OPT_TRACE, &on), SQL_SUCCESS);
  EXPECT_EQ(on, 0u);

  EXPECT_EQ(SQLSetConnectOption(dbc, SQL_OPT_TRACE, SQL_OPT_TRACE_ON), SQL_SUCCESS);
  EXPECT_EQ(SQLGetConnectOption(dbc, SQL_OPT_TRACE, &on), SQL_SUCCESS);
  EXPECT_EQ(on, 1u);
  exec(dbc, "CREATE TABLE t (a INTEGER)");
  const std::string other = ini.path("other.log");
  EXPECT_EQ(SQLSetConnectOption(dbc, SQL_OPT_TRACEFILE, reinterpret_cast<SQLULEN>(other.c_str())), SQL_ERROR);
  EXPECT_EQ(states(nullptr, dbc, nullptr), std::vector<std::string>{"IM013"});
  EXPECT_EQ(SQLSetConnectOption(dbc, SQL_OPT_TRACE, SQL_OPT_TRACE_OFF), SQL_SUCCESS);
  EXPECT_EQ(_zolandm_trace_enabled, 0);
  exec(dbc, "INSERT INTO t VALUES (1)");

  std::string text = ini.read("opt.log");
  EXPECT_EQ(text.substr(0, banner_head.size()), banner_head);
  EXPECT_EQ(count(text, "** Trace finished on "), 1);
  EXPECT_EQ(text.find("INSERT"), std::string::npos);
  struct stat st;
  EXPECT_NE(stat(other.c_str(), &st), 0);
  disconnect(dbc);
}

// A data source traced into one file, connected twice: the second connect keeps the stream, so
// nothing written before it is lost (as root too, where a new open of an existing file fails).
TEST_F(TraceSession, SecondConnectKeepsTheDataSourcesTrace) {
  write_odbc_ini("Trace=No\n", "Trace=Yes\nTraceFile=" + ini.path("dsn.log") + "\n");
  ASSERT_EQ(SQLAllocEnv(&env), SQL_SUCCESS);
  SQLHDBC first = connect();
  ASSERT_EQ(_zolandm_trace_enabled, 1);
  exec(first, "CREATE TABLE t (a INTEGER)");
  std::string before = ini.read("dsn.log");
  SQLHDBC second = connect();
  EXPECT_EQ(_zolandm_trace_enabled, 1);
  exec(second, "INSERT INTO t VALUES (2)");
  exec(first, "INSERT INTO t VALUES (1)");
  std::string after = ini.read("dsn.log");
  EXPECT_EQ(after.substr(0, before.size()), before);
  EXPECT_EQ(count(after, banner_head), 1);
  EXPECT_EQ(count(after, "** Trace finished on "), 0);
  disconnect(second);
  disconnect(first);
}

// A trace file that cannot be opened switches tracing off; the calls go on.
TEST_F(TraceSession, UnopenableTraceFileLeavesCallsWorking) {
  write_odbc_ini("Trace=Yes\nTraceFile=" + ini.path("missing/dir/g.log") + "\n",
                 "Trace=Yes\nTraceFile=" + ini.path("missing/dsn.log") + "\n");
  ASSERT_EQ(SQLAllocEnv(&env), SQL_SUCCESS);
  EXPECT_EQ(_zolandm_trace_enabled, 0);
  SQLHDBC dbc = connect();
  EXPECT_EQ(_zolandm_trace_enabled, 0);
  exec(dbc, "CREATE TABLE t (a INTEGER)");
  exec(dbc, "INSERT INTO t VALUES (1)");
  disconnect(dbc);
}

}  // namespace
