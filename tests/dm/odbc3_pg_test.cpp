// An ODBC 3 application against the real PostgreSQL server through psqlodbca.so: row arrays
// with SQLFetchScroll, SQLColAttribute, descriptors read and written (implicit and explicit),
// SQLGetDiagRec and SQLGetDiagField on errors, SQLEndTran, SQLCloseCursor and
// SQLFreeHandle. Skipped unless SQLGATE_PG_PORT is set.

#include <gtest/gtest.h>

#include <cstdlib>

#include "dm/odbc3_test_util.h"

namespace {

using namespace odbc3test;
using test_support::kPgDriver;

SQLPOINTER V(intptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }

class Odbc3Postgres : public Odbc3Test {
 protected:
  void SetUp() override {
    if (std::getenv("SQLGATE_PG_PORT") == nullptr) GTEST_SKIP() << "SQLGATE_PG_PORT is not set";
    if (access(kPgDriver, R_OK) != 0) GTEST_SKIP() << "PostgreSQL ODBC driver not installed";
    open_env(3);
    std::string in = std::string("DRIVER=") + kPgDriver + ";" + dmtest::pg_server_keys();
    ASSERT_TRUE(ok(SQLDriverConnect(dbc, nullptr, S(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
        << first_state(SQL_HANDLE_DBC, dbc);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
    SQLExecDirect(stmt, S("DROP TABLE IF EXISTS dm_odbc3_t"), SQL_NTS);
    exec("CREATE TABLE dm_odbc3_t (id INTEGER, name VARCHAR(20), v DOUBLE PRECISION)");
    exec("INSERT INTO dm_odbc3_t SELECT g, 'name' || g, g * 1.5 FROM generate_series(1, 25) g");
  }
  void TearDown() override {
    if (stmt != nullptr) {
      SQLCloseCursor(stmt);
      SQLExecDirect(stmt, S("DROP TABLE IF EXISTS dm_odbc3_t"), SQL_NTS);
    }
    Odbc3Test::TearDown();
  }
  stmttest::Utf8Locale locale;
};

TEST_F(Odbc3Postgres, RowArraysInEveryOrientation) {
  EXPECT_EQ(static_cast<zolandm_dbc*>(dbc)->driver->drv_version, 3);
  // A cursor type is set on a statement that has held no other statement.
  ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, stmt), SQL_SUCCESS);
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
  constexpr int kRows = 10;
  SQLINTEGER id[kRows];
  char name[kRows][21];
  SQLLEN name_ind[kRows];
  SQLUSMALLINT status[kRows];
  SQLULEN fetched = 0;
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, V(SQL_CURSOR_STATIC), 0), SQL_SUCCESS)
      << first_state(SQL_HANDLE_STMT, stmt);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, V(kRows), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, id, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, name, sizeof name[0], name_ind), SQL_SUCCESS);
  ASSERT_EQ(SQLPrepare(stmt, S("SELECT id, name, v FROM dm_odbc3_t ORDER BY id"), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS) << first_state(SQL_HANDLE_STMT, stmt);
  struct Step {
    SQLSMALLINT orientation;
    SQLLEN offset;
    SQLINTEGER first;
    SQLULEN rows;
  } steps[] = {{SQL_FETCH_NEXT, 0, 1, 10},      {SQL_FETCH_NEXT, 0, 11, 10},     {SQL_FETCH_NEXT, 0, 21, 5},
               {SQL_FETCH_FIRST, 0, 1, 10},     {SQL_FETCH_LAST, 0, 16, 10},     {SQL_FETCH_PRIOR, 0, 6, 10},
               {SQL_FETCH_ABSOLUTE, 20, 20, 6}, {SQL_FETCH_RELATIVE, -5, 15, 10}};
  for (const Step& s : steps) {
    SCOPED_TRACE(s.orientation);
    ASSERT_EQ(SQLFetchScroll(stmt, s.orientation, s.offset), SQL_SUCCESS)
        << first_state(SQL_HANDLE_STMT, stmt);
    EXPECT_EQ(fetched, s.rows);
    EXPECT_EQ(id[0], s.first);
    EXPECT_EQ(std::string(name[0]), "name" + std::to_string(s.first));
    EXPECT_EQ(status[s.rows - 1], SQL_ROW_SUCCESS);
  }
  EXPECT_EQ(rec()->state, 6);
  ASSERT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
  EXPECT_EQ(rec()->state, 1);
}

TEST_F(Odbc3Postgres, ColumnAttributes) {
  exec("SELECT id, name, v FROM dm_odbc3_t");
  SQLLEN n = 0;
  ASSERT_EQ(SQLColAttribute(stmt, 1, SQL_DESC_COUNT, nullptr, 0, nullptr, &n), SQL_SUCCESS);
  EXPECT_EQ(n, 3);
  ASSERT_EQ(SQLColAttribute(stmt, 1, SQL_DESC_CONCISE_TYPE, nullptr, 0, nullptr, &n), SQL_SUCCESS);
  EXPECT_EQ(n, SQL_INTEGER);
  char label[32] = "";
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLColAttribute(stmt, 2, SQL_DESC_NAME, label, sizeof label, &len, nullptr), SQL_SUCCESS);
  EXPECT_STREQ(label, "name");
  SQLWCHAR wlabel[32] = {0};
  ASSERT_EQ(SQLColAttributeW(stmt, 2, SQL_DESC_BASE_TABLE_NAME, wlabel, sizeof wlabel, &len, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(N(wlabel), "dm_odbc3_t");
  EXPECT_EQ(len, 40);
}

TEST_F(Odbc3Postgres, DescriptorsReadAndWritten) {
  exec("SELECT id, name FROM dm_odbc3_t WHERE id = 3");
  SQLHDESC ird = nullptr;
  ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_IMP_ROW_DESC, &ird, 0, nullptr), SQL_SUCCESS);
  SQLSMALLINT count = 0;
  ASSERT_EQ(SQLGetDescField(ird, 0, SQL_DESC_COUNT, &count, 0, nullptr), SQL_SUCCESS)
      << first_state(SQL_HANDLE_DESC, ird);
  EXPECT_EQ(count, 2);
  SQLWCHAR wname[16] = {0};
  SQLINTEGER len = 0;
  ASSERT_EQ(SQLGetDescFieldW(ird, 2, SQL_DESC_NAME, wname, sizeof wname, &len), SQL_SUCCESS);
  EXPECT_EQ(N(wname), "name");
  EXPECT_EQ(len, 16);
  // (This driver answers SQLGetDescRec with an error of its own; its fields are read one by one.)
  SQLSMALLINT type = 0;
  ASSERT_EQ(SQLGetDescField(ird, 1, SQL_DESC_CONCISE_TYPE, &type, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(type, SQL_INTEGER);

  // Binding through the application row descriptor, then an explicit descriptor copied
  // from it and put in its place.
  SQLHDESC ard = nullptr;
  ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr), SQL_SUCCESS);
  SQLINTEGER id = 0;
  // (This driver has no SQLSetDescRec of its own either: the fields are set one by one.)
  ASSERT_EQ(SQLSetDescField(ard, 1, SQL_DESC_TYPE, V(SQL_C_LONG), 0), SQL_SUCCESS)
      << first_state(SQL_HANDLE_DESC, ard);
  ASSERT_EQ(SQLSetDescField(ard, 1, SQL_DESC_DATA_PTR, &id, 0), SQL_SUCCESS)
      << first_state(SQL_HANDLE_DESC, ard);
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(id, 3);
  ASSERT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);

  SQLHDESC mine = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc, &mine), SQL_SUCCESS) << first_state(SQL_HANDLE_DBC, dbc);
  ASSERT_EQ(SQLCopyDesc(ard, mine), SQL_SUCCESS) << first_state(SQL_HANDLE_DESC, ard);
  SQLINTEGER other = 0;
  ASSERT_EQ(SQLSetDescField(mine, 1, SQL_DESC_DATA_PTR, &other, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, mine, 0), SQL_SUCCESS)
      << first_state(SQL_HANDLE_STMT, stmt);
  exec("SELECT id FROM dm_odbc3_t WHERE id = 7");
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(other, 7);
  ASSERT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
  ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, mine), SQL_SUCCESS);
  SQLHDESC now = nullptr;
  ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, &now, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(now, ard);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, ard), SQL_ERROR);
  EXPECT_EQ(diag_states(SQL_HANDLE_DESC, ard), std::vector<std::string>{"HY017"});
}

TEST_F(Odbc3Postgres, DiagnosticsOfErrors) {
  ASSERT_EQ(SQLExecDirect(stmt, S("SELECT * FROM nosuch_table"), SQL_NTS), SQL_ERROR);
  SQLINTEGER number = 0;
  ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_NUMBER, &number, 0, nullptr), SQL_SUCCESS);
  EXPECT_GE(number, 1);
  SQLRETURN last = 0;
  auto recs = diag_recs(SQL_HANDLE_STMT, stmt, false, &last);
  ASSERT_FALSE(recs.empty());
  EXPECT_EQ(recs[0].state, "42P01");
  EXPECT_NE(recs[0].text.find("nosuch_table"), std::string::npos) << recs[0].text;
  EXPECT_EQ(last, SQL_NO_DATA);
  auto wide = diag_recs(SQL_HANDLE_STMT, stmt, true);
  ASSERT_EQ(wide.size(), recs.size());
  EXPECT_EQ(wide[0].state, "42P01");
  char state[6] = "";
  ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_SQLSTATE, state, sizeof state, nullptr),
            SQL_SUCCESS);
  EXPECT_STREQ(state, "42P01");
  SQLWCHAR message[256] = {0};
  SQLSMALLINT len = 0;
  ASSERT_TRUE(
      ok(SQLGetDiagFieldW(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_MESSAGE_TEXT, message, sizeof message, &len)));
  EXPECT_NE(N(message).find("nosuch_table"), std::string::npos);
  SQLSMALLINT rc = 0;
  ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_RETURNCODE, &rc, 0, nullptr), SQL_SUCCESS);
  EXPECT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << "the last read of the driver's record";
  // The manager's record comes first, the driver's after it.
  _zolandm_diag_add(stmt, ZOLANDM_E_01004);
  auto both = diag_states(SQL_HANDLE_STMT, stmt);
  ASSERT_GE(both.size(), 2u);
  EXPECT_EQ(both[0], "01004");
  EXPECT_EQ(both[1], "42P01");
}

TEST_F(Odbc3Postgres, TransactionsWithEndTran) {
  ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, V(SQL_AUTOCOMMIT_OFF), 0), SQL_SUCCESS);
  exec("DELETE FROM dm_odbc3_t WHERE id > 5");
  ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK), SQL_SUCCESS);
  exec("DELETE FROM dm_odbc3_t WHERE id > 20");
  ASSERT_EQ(SQLEndTran(SQL_HANDLE_ENV, env, SQL_COMMIT), SQL_SUCCESS);
  exec("SELECT COUNT(*) FROM dm_odbc3_t");
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  SQLINTEGER count = 0;
  ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_LONG, &count, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(count, 20);
  ASSERT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
  ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_SUCCESS);
  ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, V(SQL_AUTOCOMMIT_ON), 0), SQL_SUCCESS);
}

}  // namespace
