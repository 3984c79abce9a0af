// The real PostgreSQL server through psqlodbca.so, an ODBC 3-only driver, so that every
// ODBC 2 call goes through the manager's mapping. Skipped unless SQLGATE_PG_PORT is set.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

#include "dm/dm_internal.h"
#include "fixtures/odbc_env/dm_test_env.h"
#include "fixtures/support/odbc_config.h"

namespace {

using namespace dmtest;

using test_support::kPgDriver;
const char* const kPgWideDriver = "/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so";

std::string env_or(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return v != nullptr ? v : fallback;
}

class Postgres : public DmTest {
 protected:
  void SetUp() override {
    if (std::getenv("SQLGATE_PG_PORT") == nullptr) GTEST_SKIP() << "SQLGATE_PG_PORT is not set";
    if (access(kPgDriver, R_OK) != 0) GTEST_SKIP() << "PostgreSQL ODBC driver not installed";
    DmTest::SetUp();
  }
  std::string server_keys() const { return pg_server_keys(); }
  zolandm_dbc* conn() const { return static_cast<zolandm_dbc*>(dbc); }
};

TEST_F(Postgres, DriverConnectAndTheOdbc2Mapping) {
  std::string in = std::string("DRIVER=") + kPgDriver + ";" + server_keys();
  SQLRETURN rc = SQLDriverConnect(dbc, nullptr, U(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
  ASSERT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << rc;
  EXPECT_EQ(conn()->driver->drv_version, 3);
  EXPECT_EQ(conn()->driver->unicode, 0);
  // Options reach SQLSetConnectAttr/SQLGetConnectAttr, the driver having no ODBC 2 forms.
  EXPECT_EQ(SQLSetConnectOption(dbc, SQL_AUTOCOMMIT, 0), SQL_SUCCESS);
  SQLUINTEGER autocommit = 9;
  EXPECT_EQ(SQLGetConnectOption(dbc, SQL_AUTOCOMMIT, &autocommit), SQL_SUCCESS);
  EXPECT_EQ(autocommit, 0u);
  SQLUINTEGER isolation = 0;
  EXPECT_EQ(SQLGetConnectOption(dbc, SQL_TXN_ISOLATION, &isolation), SQL_SUCCESS);
  EXPECT_NE(isolation, 0u);
  // A connection with statements ends its transaction through SQLEndTran.
  conn()->state = 3;
  EXPECT_EQ(SQLTransact(nullptr, dbc, SQL_COMMIT), SQL_SUCCESS);
  EXPECT_EQ(SQLTransact(env, nullptr, SQL_ROLLBACK), SQL_SUCCESS);
  SQLCHAR out[256];
  SQLINTEGER out_len = 0;
  rc = SQLNativeSql(dbc, U("select 1"), SQL_NTS, out, sizeof out, &out_len);
  EXPECT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << rc;
  EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
}

TEST_F(Postgres, ConnectThroughADataSourceBothWidths) {
  ini.odbc_ini(std::string("[pg]\nDriver = ") + kPgDriver +
               "\nServername = 127.0.0.1\nPort = " + env_or("SQLGATE_PG_PORT", "5432") +
               "\nDatabase = " + env_or("SQLGATE_PG_DB", "postgres") + "\n");
  std::string user = env_or("SQLGATE_PG_USER", "postgres");
  SQLRETURN rc = SQLConnect(dbc, U("pg"), SQL_NTS, U(user), SQL_NTS, U(""), SQL_NTS);
  ASSERT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << rc;
  EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  std::wstring dsn = L"pg", wuser = W(user), pwd = L"";
  rc = SQLConnectW(dbc, U(dsn), SQL_NTS, U(wuser), SQL_NTS, U(pwd), SQL_NTS);
  ASSERT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << rc;
  EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
}

TEST_F(Postgres, FailedConnectIsReadThroughSQLGetDiagRec) {
  std::string in = std::string("DRIVER=") + kPgDriver +
                   ";Servername=127.0.0.1;Port=" + env_or("SQLGATE_PG_PORT", "5432") +
                   ";Database=no_such_database_here;Username=" + env_or("SQLGATE_PG_USER", "postgres");
  SQLRETURN rc = SQLDriverConnect(dbc, nullptr, U(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
  ASSERT_EQ(rc, SQL_ERROR);
  std::vector<Diag> got = errors(env, dbc, nullptr);
  ASSERT_FALSE(got.empty());
  EXPECT_NE(got[0].text.find("no_such_database_here"), std::string::npos) << got[0].text;
  EXPECT_EQ(SQLDriverConnect(dbc, nullptr, U(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT),
            SQL_ERROR);
  std::vector<Diag> wide = errors(env, dbc, nullptr, true);
  ASSERT_FALSE(wide.empty());
  EXPECT_EQ(wide[0].text, got[0].text);
}

TEST_F(Postgres, TwoByteWideDriverFailsCleanly) {
  if (access(kPgWideDriver, R_OK) != 0) GTEST_SKIP() << "psqlodbcw.so not installed";
  std::string in = std::string("DRIVER=") + kPgWideDriver + ";" + server_keys();
  SQLRETURN rc = SQLDriverConnect(dbc, nullptr, U(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
  EXPECT_NE(rc, SQL_SUCCESS);
  EXPECT_NE(rc, SQL_SUCCESS_WITH_INFO);
  errors(env, dbc, nullptr);
  errors(env, dbc, nullptr, true);
  SQLDisconnect(dbc);
}

}  // namespace
