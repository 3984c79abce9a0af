// An ODBC 3 application against the real PostgreSQL server through psqlodbca.so, calling the
// API the way ordinary ODBC 3 programs do: arrays of text parameters bound by column and by
// row, SQLFetch and SQLFetchScroll taking turns on one cursor, a cursor kept across a commit
// by a data source that preserves cursors, and server notices reaching SQLGetDiagRec.
// Skipped unless SQLGATE_PG_PORT is set.

#include <gtest/gtest.h>

#include <cstdlib>

#include "dm/odbc3_app_util.h"

namespace {

using namespace odbc3test;
using test_support::kPgDriver;

class Odbc3AppPostgres : public Odbc3Test {
 protected:
  void SetUp() override {
    if (std::getenv("SQLGATE_PG_PORT") == nullptr) GTEST_SKIP() << "SQLGATE_PG_PORT is not set";
    if (access(kPgDriver, R_OK) != 0) GTEST_SKIP() << "PostgreSQL ODBC driver not installed";
  }
  void TearDown() override {
    if (stmt != nullptr) {
      SQLFreeStmt(stmt, SQL_CLOSE);
      SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
      SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, V(SQL_AUTOCOMMIT_ON), 0);
      SQLExecDirect(stmt, S("DROP TABLE IF EXISTS dm_app_t"), SQL_NTS);
    }
    Odbc3Test::TearDown();
  }
  // Connects with the server's keys and `extra`, and makes a statement.
  std::vector<std::string> read_back() {
    return read_text_rows(stmt, "SELECT a, b FROM dm_app_t ORDER BY a");
  }
  void connect(const std::string& extra = "") {
    open_env(3);
    std::string in = std::string("DRIVER=") + kPgDriver + ";" + dmtest::pg_server_keys() + ";" + extra;
    ASSERT_TRUE(ok(SQLDriverConnect(dbc, nullptr, S(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
        << first_state(SQL_HANDLE_DBC, dbc);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
    SQLExecDirect(stmt, S("DROP TABLE IF EXISTS dm_app_t"), SQL_NTS);
  }
};

// ---- parameter arrays of text ----------------------------------------------------------------

TEST_F(Odbc3AppPostgres, ParameterArraysInsertEveryRowIntact) {
  connect();
  check_text_arrays(dbc, stmt, "CREATE TABLE dm_app_t (a VARCHAR(30), b VARCHAR(30))",
                    "INSERT INTO dm_app_t VALUES (?, ?)", "SELECT a, b FROM dm_app_t ORDER BY a",
                    "DROP TABLE dm_app_t", true);
}

TEST_F(Odbc3AppPostgres, BindParamInsertsText) {
  connect();
  exec("CREATE TABLE dm_app_t (a VARCHAR(30), b VARCHAR(30))");
  char a[kText] = "k000000";
  char b[kText] = "bound by SQLBindParam";
  SQLLEN nts = SQL_NTS;
  ASSERT_EQ(SQLPrepare(stmt, S("INSERT INTO dm_app_t VALUES (?, ?)"), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLBindParam(stmt, 1, SQL_C_CHAR, SQL_VARCHAR, kText - 1, 0, a, &nts), SQL_SUCCESS);
  ASSERT_EQ(SQLBindParam(stmt, 2, SQL_C_CHAR, SQL_VARCHAR, kText - 1, 0, b, &nts), SQL_SUCCESS);
  ASSERT_TRUE(ok(SQLExecute(stmt))) << first_state(SQL_HANDLE_STMT, stmt);
  ASSERT_EQ(SQLFreeStmt(stmt, SQL_RESET_PARAMS), SQL_SUCCESS);
  EXPECT_EQ(read_back(), std::vector<std::string>{"k000000|bound by SQLBindParam"});
}

// ---- SQLFetch and SQLFetchScroll on one cursor -------------------------------------------------

TEST_F(Odbc3AppPostgres, FetchAndFetchScrollContinueEachOther) {
  connect();
  check_mixed_fetches(stmt, "SELECT g FROM generate_series(1,5) g");
}

TEST_F(Odbc3AppPostgres, ScrollAfterFetchThenPositionAndGetData) {
  connect();
  // A cursor type is set on a statement that has held no other statement.
  ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, stmt), SQL_SUCCESS);
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, V(SQL_CURSOR_STATIC), 0), SQL_SUCCESS);
  ASSERT_TRUE(ok(SQLExecDirect(stmt, S("SELECT g FROM generate_series(1,5) g"), SQL_NTS)));
  SQLINTEGER g = 0;
  // The first row read with SQLFetch, then the cursor scrolled.
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_LONG, &g, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(g, 1);
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_LAST, 0), SQL_SUCCESS) << first_state(SQL_HANDLE_STMT, stmt);
  ASSERT_EQ(SQLSetPos(stmt, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_SUCCESS);
  ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_LONG, &g, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(g, 5);
  // Past the end with SQLFetch, back with SQLFetchScroll.
  EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA);
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 2), SQL_SUCCESS) << first_state(SQL_HANDLE_STMT, stmt);
  ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_LONG, &g, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(g, 2);
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_LONG, &g, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(g, 3);
}

// ---- cursors across the end of a transaction ----------------------------------------------------

TEST_F(Odbc3AppPostgres, CommitKeepsTheCursorThatTheDataSourcePreserves) {
  connect("UseDeclareFetch=1;Fetch=1");
  SQLUSMALLINT on_commit = 99;
  SQLUSMALLINT on_rollback = 99;
  ASSERT_EQ(SQLGetInfo(dbc, SQL_CURSOR_COMMIT_BEHAVIOR, &on_commit, sizeof on_commit, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLGetInfo(dbc, SQL_CURSOR_ROLLBACK_BEHAVIOR, &on_rollback, sizeof on_rollback, nullptr),
            SQL_SUCCESS);
  ASSERT_EQ(on_commit, SQL_CB_PRESERVE);
  ASSERT_EQ(on_rollback, SQL_CB_CLOSE);
  ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, V(SQL_AUTOCOMMIT_OFF), 0), SQL_SUCCESS);
  SQLINTEGER g = 0;
  ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, &g, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLPrepare(stmt, S("SELECT g FROM generate_series(1,5) g"), SQL_NTS), SQL_SUCCESS);
  ASSERT_TRUE(ok(SQLExecute(stmt)));
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  EXPECT_EQ(g, 1);
  ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS) << first_state(SQL_HANDLE_STMT, stmt);
  EXPECT_EQ(g, 2);
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS) << first_state(SQL_HANDLE_STMT, stmt);
  EXPECT_EQ(g, 3);
  // A rollback closes it: the statement is back to prepared and runs again from the start.
  ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK), SQL_SUCCESS);
  EXPECT_EQ(SQLFetch(stmt), SQL_ERROR);
  EXPECT_EQ(first_state(SQL_HANDLE_STMT, stmt), "S1010");
  // (The driver wants its own cursor closed before running the statement again.)
  ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
  ASSERT_TRUE(ok(SQLExecute(stmt))) << first_state(SQL_HANDLE_STMT, stmt);
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  EXPECT_EQ(g, 1);
}

// ---- warnings -----------------------------------------------------------------------------------

bool has_notice(const std::vector<DiagRec>& recs, const std::string& text) {
  for (const DiagRec& d : recs) {
    if (d.state == "00000" && d.text.find(text) != std::string::npos) return true;
  }
  return false;
}

TEST_F(Odbc3AppPostgres, NoticeReachesSqlGetDiagRec) {
  connect();
  ASSERT_EQ(SQLExecDirect(stmt, S("DO $$ begin raise notice 'hello'; end $$"), SQL_NTS),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_TRUE(has_notice(diag_recs(SQL_HANDLE_STMT, stmt), "hello"));
  SQLINTEGER count = 0;
  ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_NUMBER, &count, 0, nullptr), SQL_SUCCESS);
  EXPECT_GE(count, 1);
  // Read twice: reading does not consume the records.
  EXPECT_TRUE(has_notice(diag_recs(SQL_HANDLE_STMT, stmt), "hello"));
  // The next call starts afresh.
  ASSERT_EQ(SQLExecDirect(stmt, S("SELECT 1"), SQL_NTS), SQL_SUCCESS);
  EXPECT_TRUE(diag_recs(SQL_HANDLE_STMT, stmt).empty());
}

TEST_F(Odbc3AppPostgres, NoticeOfAPreparedStatementAndOfAResult) {
  connect();
  exec("CREATE TABLE dm_app_t (a VARCHAR(30), b VARCHAR(30))");
  exec(
      "CREATE OR REPLACE FUNCTION pg_temp.dm_app_noisy(x integer) RETURNS integer AS $$ "
      "begin raise notice 'noisy %', x; return x * 2; end $$ LANGUAGE plpgsql");
  // A prepared statement without a result.
  ASSERT_EQ(SQLPrepare(stmt, S("DO $$ begin raise notice 'prepared hello'; end $$"), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS_WITH_INFO);
  EXPECT_TRUE(has_notice(diag_recs(SQL_HANDLE_STMT, stmt), "prepared hello"));
  EXPECT_EQ(SQLExecute(stmt), SQL_SUCCESS_WITH_INFO);
  EXPECT_TRUE(has_notice(diag_recs(SQL_HANDLE_STMT, stmt), "prepared hello"));
  // A result whose computation warned: the warning first, then the rows.
  SQLINTEGER x = 21;
  ASSERT_EQ(SQLPrepare(stmt, S("SELECT pg_temp.dm_app_noisy(?)"), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &x, 0, nullptr),
            SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS_WITH_INFO);
  EXPECT_TRUE(has_notice(diag_recs(SQL_HANDLE_STMT, stmt), "noisy 21"));
  SQLSMALLINT cols = 0;
  ASSERT_EQ(SQLNumResultCols(stmt, &cols), SQL_SUCCESS);
  EXPECT_EQ(cols, 1);
  SQLINTEGER got = 0;
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_LONG, &got, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(got, 42);
  EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA);
  ASSERT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
  // Data at execution: the warning comes with the SQLParamData that runs the statement.
  SQLLEN dae = SQL_DATA_AT_EXEC;
  ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, V(1), 0, &dae),
            SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(stmt, S("SELECT pg_temp.dm_app_noisy(?)"), SQL_NTS), SQL_NEED_DATA);
  SQLPOINTER which = nullptr;
  ASSERT_EQ(SQLParamData(stmt, &which), SQL_NEED_DATA);
  x = 5;
  ASSERT_EQ(SQLPutData(stmt, &x, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLParamData(stmt, &which), SQL_SUCCESS_WITH_INFO) << first_state(SQL_HANDLE_STMT, stmt);
  EXPECT_TRUE(has_notice(diag_recs(SQL_HANDLE_STMT, stmt), "noisy 5"));
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_LONG, &got, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(got, 10);
}

// A wide column on this narrow driver is widened by the manager after the fetch; what it needs
// to know of the row array is asked before, so the driver's truncation warning survives.
TEST_F(Odbc3AppPostgres, TruncationWarningOfAWideColumn) {
  connect();
  SQLWCHAR text[4] = {0};
  SQLLEN len = 0;
  ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_WCHAR, text, sizeof text, &len), SQL_SUCCESS);
  ASSERT_EQ(
      SQLExecDirect(stmt, S("SELECT 'abcdefghijklmnopqrstuvwxyz'::varchar UNION ALL SELECT 'ab'"), SQL_NTS),
      SQL_SUCCESS);
  for (bool scroll : {false, true}) {
    SCOPED_TRACE(scroll ? "SQLFetchScroll" : "SQLFetch");
    SQLRETURN rc = scroll ? SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0) : SQLFetch(stmt);
    if (!scroll) {
      ASSERT_EQ(rc, SQL_SUCCESS_WITH_INFO);
      EXPECT_EQ(stmt_states(), std::vector<std::string>{"01004"});
      EXPECT_EQ(N(text), "abc");
    } else {
      ASSERT_EQ(rc, SQL_SUCCESS);
      EXPECT_EQ(N(text), "ab");
      EXPECT_EQ(len, 2 * static_cast<SQLLEN>(sizeof(SQLWCHAR)));
    }
  }
}

// ---- searched statements that touch no row ------------------------------------------------------

TEST_F(Odbc3AppPostgres, UpdateOfNoRowsCountsZero) {
  connect();
  exec("CREATE TABLE dm_app_t (a VARCHAR(30), b VARCHAR(30))");
  SQLLEN n = -1;
  // A fresh statement, run directly.
  ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, stmt), SQL_SUCCESS);
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(stmt, S("UPDATE dm_app_t SET b = 'x' WHERE a = 'none'"), SQL_NTS), SQL_NO_DATA);
  ASSERT_EQ(SQLRowCount(stmt, &n), SQL_SUCCESS) << first_state(SQL_HANDLE_STMT, stmt);
  EXPECT_EQ(n, 0);
  // A prepared one, run twice.
  ASSERT_EQ(SQLPrepare(stmt, S("DELETE FROM dm_app_t WHERE a = 'none'"), SQL_NTS), SQL_SUCCESS);
  for (int i = 0; i < 2; ++i) {
    n = -1;
    ASSERT_EQ(SQLExecute(stmt), SQL_NO_DATA);
    ASSERT_EQ(SQLRowCount(stmt, &n), SQL_SUCCESS) << first_state(SQL_HANDLE_STMT, stmt);
    EXPECT_EQ(n, 0);
  }
  exec("INSERT INTO dm_app_t VALUES ('one', 'b')");
  ASSERT_EQ(SQLExecDirect(stmt, S("UPDATE dm_app_t SET b = 'x'"), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLRowCount(stmt, &n), SQL_SUCCESS);
  EXPECT_EQ(n, 1);
}

// ---- batches of statements ------------------------------------------------------------------------

TEST_F(Odbc3AppPostgres, MoreResultsStepsThroughABatch) {
  connect();
  exec("CREATE TABLE dm_app_t (a VARCHAR(30), b VARCHAR(30))");
  exec("INSERT INTO dm_app_t VALUES ('one', 'b'), ('two', 'b')");
  ASSERT_TRUE(ok(SQLExecDirect(
      stmt, S("UPDATE dm_app_t SET b = 'c'; SELECT a FROM dm_app_t ORDER BY a; SELECT 7"), SQL_NTS)));
  SQLLEN n = -1;
  ASSERT_EQ(SQLRowCount(stmt, &n), SQL_SUCCESS);
  EXPECT_EQ(n, 2);
  ASSERT_EQ(SQLMoreResults(stmt), SQL_SUCCESS) << first_state(SQL_HANDLE_STMT, stmt);
  char a[16] = "";
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS) << first_state(SQL_HANDLE_STMT, stmt);
  ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_CHAR, a, sizeof a, nullptr), SQL_SUCCESS)
      << first_state(SQL_HANDLE_STMT, stmt);
  EXPECT_STREQ(a, "one");
  // The rest of this result is skipped.
  ASSERT_EQ(SQLMoreResults(stmt), SQL_SUCCESS) << first_state(SQL_HANDLE_STMT, stmt);
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS) << first_state(SQL_HANDLE_STMT, stmt);
  SQLINTEGER seven = 0;
  ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_LONG, &seven, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(seven, 7);
  EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA);
  EXPECT_EQ(SQLMoreResults(stmt), SQL_NO_DATA);
  // The statement can run again; a result read to its end is followed by the next.
  ASSERT_EQ(SQLExecDirect(stmt, S("SELECT 1; SELECT 2"), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA);
  ASSERT_EQ(SQLMoreResults(stmt), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_LONG, &seven, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(seven, 2);
}

}  // namespace
