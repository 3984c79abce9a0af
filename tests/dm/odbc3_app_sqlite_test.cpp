// An ODBC 3 application against the real SQLite driver, calling the API the way ordinary
// ODBC 3 programs do: arrays of text parameters bound by column and by row, and SQLFetch
// and SQLFetchScroll taking turns on one cursor while SQLExtendedFetch keeps its rowsets
// apart.

#include <gtest/gtest.h>

#include "dm/odbc3_app_util.h"

namespace {

using namespace odbc3test;
using test_support::kSqliteDriver;

class Odbc3AppSqlite : public Odbc3Test {
 protected:
  void SetUp() override {
    if (access(kSqliteDriver, R_OK) != 0) GTEST_SKIP() << "SQLite ODBC driver not installed";
    open_env(3);
    std::string in = std::string("DRIVER=") + kSqliteDriver + ";Database=" + ini.path("t.db");
    ASSERT_TRUE(ok(SQLDriverConnect(dbc, nullptr, S(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
        << first_state(SQL_HANDLE_DBC, dbc);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
  }
};

TEST_F(Odbc3AppSqlite, ParameterArraysInsertEveryRowIntact) {
  struct Case {
    bool by_row;
    int rows;
  } cases[] = {{false, 3}, {true, 3}, {false, 10000}, {true, 10000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.by_row ? "row-wise " : "column-wise ") + std::to_string(c.rows));
    exec("CREATE TABLE t (a VARCHAR(30), b VARCHAR(30))");
    ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, V(SQL_AUTOCOMMIT_OFF), 0), SQL_SUCCESS);
    insert_text_arrays(stmt, "INSERT INTO t VALUES (?, ?)", c.by_row, c.rows, false);
    ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_SUCCESS);
    ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, V(SQL_AUTOCOMMIT_ON), 0), SQL_SUCCESS);
    EXPECT_EQ(read_text_rows(stmt, "SELECT a, b FROM t ORDER BY a"), expected_rows(c.rows));
    exec("DROP TABLE t");
  }
}

TEST_F(Odbc3AppSqlite, FetchAndFetchScrollContinueEachOther) {
  exec("CREATE TABLE n (g INTEGER)");
  exec("INSERT INTO n VALUES (1), (2), (3), (4), (5)");
  const char* query = "SELECT g FROM n ORDER BY g";
  {
    SCOPED_TRACE("SQLFetch first");
    run_fetch_steps(stmt, query, kFetchFirst);
  }
  {
    SCOPED_TRACE("SQLFetchScroll first");
    run_fetch_steps(stmt, query, kScrollFirst);
  }
}

TEST_F(Odbc3AppSqlite, ExtendedFetchKeepsItsRowsetsApart) {
  exec("CREATE TABLE n (g INTEGER)");
  exec("INSERT INTO n VALUES (1), (2), (3)");
  SQLULEN count = 0;
  SQLUSMALLINT status[1] = {0};
  // SQLFetch does not continue a rowset of SQLExtendedFetch, nor SQLExtendedFetch one of SQLFetch.
  exec("SELECT g FROM n");
  ASSERT_EQ(SQLExtendedFetch(stmt, SQL_FETCH_NEXT, 0, &count, status), SQL_SUCCESS);
  EXPECT_EQ(SQLFetch(stmt), SQL_ERROR);
  EXPECT_EQ(stmt_states(), std::vector<std::string>{"S1010"});
  ASSERT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
  exec("SELECT g FROM n");
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  EXPECT_EQ(SQLExtendedFetch(stmt, SQL_FETCH_NEXT, 0, &count, status), SQL_ERROR);
  EXPECT_EQ(stmt_states(), std::vector<std::string>{"S1010"});
  // SQLFetchScroll and SQLFetch go on as one.
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  SQLINTEGER g = 0;
  ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_LONG, &g, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(g, 3);
}

}  // namespace
