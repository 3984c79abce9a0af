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
  // (This driver leaves the parameter status array as it was.)
  check_text_arrays(dbc, stmt, "CREATE TABLE t (a VARCHAR(30), b VARCHAR(30))", "INSERT INTO t VALUES (?, ?)",
                    "SELECT a, b FROM t ORDER BY a", "DROP TABLE t", false);
}

TEST_F(Odbc3AppSqlite, FetchAndFetchScrollContinueEachOther) {
  exec("CREATE TABLE n (g INTEGER)");
  exec("INSERT INTO n VALUES (1), (2), (3), (4), (5)");
  check_mixed_fetches(stmt, "SELECT g FROM n ORDER BY g");
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
