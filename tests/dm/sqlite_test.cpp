// The real SQLite driver through the manager, with the call shapes the agent uses:
// SQL_NTS lengths, no output buffer, no prompt, and SQLError read until it stops answering
// SQL_SUCCESS.

#include <gtest/gtest.h>

#include <unistd.h>

#include "dm/dm_internal.h"
#include "fixtures/odbc_env/dm_test_env.h"
#include "fixtures/support/odbc_config.h"

// The SQLite driver opens and closes an installer library of its own while it reads a data
// source; what that library leaks is only traced back to the driver (whose leaks are
// suppressed) when the full stack is recorded.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }

namespace {

using namespace dmtest;

using test_support::kSqliteDriver;

class Sqlite : public DmTest {
 protected:
  void SetUp() override {
    if (access(kSqliteDriver, R_OK) != 0) GTEST_SKIP() << "SQLite ODBC driver not installed";
    DmTest::SetUp();
  }
  zolandm_dbc* conn() const { return static_cast<zolandm_dbc*>(dbc); }
};

TEST_F(Sqlite, DriverConnectNarrowAndWide) {
  std::string in = std::string("DRIVER=") + kSqliteDriver + ";Database=" + ini.path("a.db");
  SQLRETURN rc = SQLDriverConnect(dbc, nullptr, U(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
  ASSERT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << rc;
  EXPECT_EQ(conn()->state, 2);
  EXPECT_EQ(conn()->driver->unicode, 0);
  EXPECT_EQ(conn()->driver->drv_version, 3);
  EXPECT_EQ(conn()->commit_behavior, 2);
  EXPECT_EQ(conn()->rollback_behavior, 2);
  SQLUINTEGER autocommit = 9;
  EXPECT_EQ(SQLGetConnectOption(dbc, SQL_AUTOCOMMIT, &autocommit), SQL_SUCCESS);
  EXPECT_EQ(autocommit, 1u);
  EXPECT_EQ(SQLSetConnectOption(dbc, SQL_AUTOCOMMIT, 0), SQL_SUCCESS);
  EXPECT_EQ(SQLTransact(nullptr, dbc, SQL_COMMIT), SQL_SUCCESS);
  EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);

  std::wstring win = W(in);
  rc = SQLDriverConnectW(dbc, nullptr, U(win), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
  ASSERT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << rc;
  SQLWCHAR out[512];
  SQLSMALLINT out_len = 0;
  EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  rc = SQLDriverConnectW(dbc, nullptr, U(win), SQL_NTS, out, 512, &out_len, SQL_DRIVER_NOPROMPT);
  ASSERT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << rc;
  EXPECT_EQ(out_len, static_cast<SQLSMALLINT>(std::wcslen(out)));
  EXPECT_NE(std::wstring(out).find(L"Database="), std::wstring::npos);
}

TEST_F(Sqlite, ConnectThroughADataSource) {
  ini.odbc_ini(std::string("[lite]\nDriver = ") + kSqliteDriver + "\nDatabase = " + ini.path("b.db") + "\n");
  SQLRETURN rc = SQLConnect(dbc, U("lite"), SQL_NTS, U(""), SQL_NTS, U(""), SQL_NTS);
  ASSERT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << rc;
  EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  std::wstring dsn = L"lite";
  rc = SQLConnectW(dbc, U(dsn), SQL_NTS, nullptr, SQL_NTS, nullptr, SQL_NTS);
  ASSERT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << rc;
  EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
}

TEST_F(Sqlite, FailedConnectReportsTheDriversText) {
  std::string in = std::string("DRIVER=") + kSqliteDriver + ";Database=" + ini.path("no/such/dir/c.db");
  SQLRETURN rc = SQLDriverConnect(dbc, nullptr, U(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
  ASSERT_EQ(rc, SQL_ERROR);
  EXPECT_EQ(conn()->state, 0);
  std::vector<Diag> got = errors(env, dbc, nullptr);
  ASSERT_FALSE(got.empty());
  EXPECT_NE(got[0].text.find("[SQLite]"), std::string::npos) << got[0].text;
  std::vector<Diag> none = errors(env, dbc, nullptr, true);
  EXPECT_TRUE(none.empty());
}

}  // namespace
