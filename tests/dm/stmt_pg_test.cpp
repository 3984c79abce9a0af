// The statement path against the real PostgreSQL server through psqlodbca.so, which has only
// ODBC 3 functions: SQLAllocStmt, SQLSetStmtOption, SQLGetStmtOption, SQLColAttributes and
// SQLParamOptions reach it through the manager's 2-to-3 mapping. Skipped unless
// SQLGATE_PG_PORT is set.

#include <cstdlib>
#include <cwchar>

#include "dm/stmt_test_util.h"
#include "fixtures/support/odbc_config.h"

namespace {

using namespace stmttest;

using test_support::kPgDriver;

class Postgres : public StmtTest {
 protected:
  void SetUp() override {
    if (std::getenv("SQLGATE_PG_PORT") == nullptr) GTEST_SKIP() << "SQLGATE_PG_PORT is not set";
    if (access(kPgDriver, R_OK) != 0) GTEST_SKIP() << "PostgreSQL ODBC driver not installed";
    open_env(2);
    std::string in = std::string("DRIVER=") + kPgDriver + ";" + dmtest::pg_server_keys();
    SQLRETURN rc = SQLDriverConnect(dbc, nullptr, S(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    ASSERT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << rc;
    ASSERT_EQ(SQLAllocStmt(dbc, &stmt), SQL_SUCCESS);
    SQLExecDirect(stmt, S("DROP TABLE IF EXISTS dm_stmt_t"), SQL_NTS);
    SQLFreeStmt(stmt, SQL_CLOSE);
  }
  Utf8Locale locale;
};

TEST_F(Postgres, StatementsThroughTheOdbc3Functions) {
  EXPECT_EQ(static_cast<zolandm_dbc*>(dbc)->driver->drv_version, 3);
  for (zolandm_desc* d : rec()->imp_desc) ASSERT_NE(d, nullptr);
  exec("CREATE TABLE dm_stmt_t (id INTEGER, name VARCHAR(20), born DATE)");
  ASSERT_EQ(SQLSetStmtOption(stmt, SQL_QUERY_TIMEOUT, 30), SQL_SUCCESS) << first_state();
  SQLULEN timeout = 0;
  ASSERT_EQ(SQLGetStmtOption(stmt, SQL_QUERY_TIMEOUT, &timeout), SQL_SUCCESS) << first_state();
  EXPECT_EQ(timeout, 30u);

  // Three parameter sets in one execution, column-wise.
  ASSERT_EQ(SQLPrepare(stmt, S("INSERT INTO dm_stmt_t VALUES (?, ?, '2024-02-29')"), SQL_NTS), SQL_SUCCESS);
  SQLINTEGER ids[3] = {1, 2, 3};
  SQLWCHAR names[3][8] = {{'a'}, {0xe9, 't', 0xe9}, {0x65e5}};
  SQLLEN name_len[3] = {SQL_NTS, 12, 4};
  SQLULEN processed = 0;
  ASSERT_EQ(SQLParamOptions(stmt, 3, &processed), SQL_SUCCESS) << first_state();
  ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, ids, 0, nullptr),
            SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_VARCHAR, 20, 0, names,
                             sizeof names[0], name_len),
            SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS) << first_state();
  EXPECT_EQ(processed, 3u);
  ASSERT_EQ(SQLFreeStmt(stmt, SQL_RESET_PARAMS), SQL_SUCCESS);
  SQLULEN one = 0;
  ASSERT_EQ(SQLParamOptions(stmt, 1, &one), SQL_SUCCESS);

  ASSERT_EQ(SQLSetStmtOption(stmt, SQL_ROWSET_SIZE, 2), SQL_SUCCESS) << first_state();
  ASSERT_EQ(SQLPrepareW(stmt, S(std::wstring(L"SELECT id, name, born FROM dm_stmt_t ORDER BY id")), SQL_NTS),
            SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS) << first_state();
  SQLSMALLINT type = 0;
  ASSERT_EQ(SQLDescribeCol(stmt, 3, nullptr, 0, nullptr, &type, nullptr, nullptr, nullptr), SQL_SUCCESS);
  EXPECT_EQ(type, SQL_DATE);  // an ODBC 2 application sees the ODBC 2 code
  SQLLEN searchable = -1;
  ASSERT_EQ(SQLColAttributes(stmt, 2, SQL_COLUMN_SEARCHABLE, nullptr, 0, nullptr, &searchable), SQL_SUCCESS)
      << first_state();
  EXPECT_GE(searchable, 0);
  SQLWCHAR label[16];
  SQLSMALLINT label_len = 0;
  ASSERT_EQ(SQLColAttributesW(stmt, 2, SQL_COLUMN_NAME, label, sizeof label, &label_len, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(std::wstring(label), L"name");

  SQLINTEGER id[2];
  SQLWCHAR name[2][8];
  SQLLEN id_ind[2], name_ind[2];
  ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, id, 0, id_ind), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_WCHAR, name, sizeof name[0], name_ind), SQL_SUCCESS);
  SQLULEN fetched = 0;
  SQLUSMALLINT status[2];
  ASSERT_EQ(SQLExtendedFetch(stmt, SQL_FETCH_NEXT, 0, &fetched, status), SQL_SUCCESS) << first_state();
  EXPECT_EQ(fetched, 2u);
  EXPECT_EQ(id[1], 2);
  EXPECT_EQ(std::wstring(name[0]), L"a");
  EXPECT_EQ(std::wstring(name[1]), L"\u00e9t\u00e9");
  EXPECT_EQ(name_ind[1], 12);
  ASSERT_EQ(SQLExtendedFetch(stmt, SQL_FETCH_NEXT, 0, &fetched, status), SQL_SUCCESS);
  EXPECT_EQ(fetched, 1u);
  EXPECT_EQ(std::wstring(name[0]), L"\u65e5");
  EXPECT_EQ(status[1], SQL_ROW_NOROW);
  EXPECT_EQ(SQLExtendedFetch(stmt, SQL_FETCH_NEXT, 0, &fetched, status), SQL_NO_DATA);
  ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
  ASSERT_EQ(SQLFreeStmt(stmt, SQL_UNBIND), SQL_SUCCESS);

  // Row count, errors through SQLError, catalog calls.
  exec("UPDATE dm_stmt_t SET name = 'x' WHERE id > 1");
  SQLLEN count = -1;
  EXPECT_EQ(SQLRowCount(stmt, &count), SQL_SUCCESS);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(SQLExecDirect(stmt, S("SELECT nosuch FROM dm_stmt_t"), SQL_NTS), SQL_ERROR);
  auto d = dmtest::errors(env, dbc, stmt);
  ASSERT_FALSE(d.empty());
  EXPECT_NE(d[0].text.find("nosuch"), std::string::npos) << d[0].text;
  EXPECT_EQ(rec()->state, 0);
  ASSERT_EQ(SQLColumnsW(stmt, nullptr, 0, nullptr, 0, S(std::wstring(L"dm_stmt_t")), SQL_NTS, nullptr, 0),
            SQL_SUCCESS);
  int columns = 0;
  while (SQLFetch(stmt) == SQL_SUCCESS) ++columns;
  EXPECT_EQ(columns, 3);
  char dbms[32];
  EXPECT_EQ(SQLGetInfo(dbc, SQL_DBMS_NAME, dbms, sizeof dbms, nullptr), SQL_SUCCESS);
  EXPECT_STREQ(dbms, "PostgreSQL");
  SQLUSMALLINT exists = 0;
  EXPECT_EQ(SQLGetFunctions(dbc, SQL_API_SQLPARAMOPTIONS, &exists), SQL_SUCCESS);
  ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
  exec("DROP TABLE dm_stmt_t");
}

}  // namespace
