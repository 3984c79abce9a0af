// An ODBC 3 application against the real SQLite driver, through the narrow and through the
// wide entry points, with non-ASCII text under a UTF-8 locale: allocation with
// SQLAllocHandle, row arrays fetched with SQLFetchScroll, SQLColAttribute, descriptors,
// diagnostics read with SQLGetDiagRec and SQLGetDiagField, SQLEndTran, SQLCloseCursor and
// SQLFreeHandle. Also an ODBC 2 application's bind-type option, which this driver refuses
// as an option and takes as an attribute.

#include <gtest/gtest.h>

#include <cwchar>

#include "dm/odbc3_test_util.h"

namespace {

using namespace odbc3test;
using test_support::kSqliteDriver;

SQLPOINTER V(intptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }

// Ten characters, twenty bytes in UTF-8.
const std::wstring kText = L"Gr\u00fc\u00dfe \u65e5\u672c \u20ac";

class Odbc3Sqlite : public Odbc3Test, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    if (access(kSqliteDriver, R_OK) != 0) GTEST_SKIP() << "SQLite ODBC driver not installed";
    wide = GetParam();
    open_env(3);
    std::string in = std::string("DRIVER=") + kSqliteDriver + ";Database=" + ini.path("t.db");
    SQLRETURN rc =
        wide ? SQLDriverConnectW(dbc, nullptr, S(W(in)), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)
             : SQLDriverConnect(dbc, nullptr, S(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    ASSERT_TRUE(ok(rc)) << first_state(SQL_HANDLE_DBC, dbc);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
  }

  SQLRETURN run(const std::wstring& sql) {
    return wide ? SQLExecDirectW(stmt, S(sql), SQL_NTS) : SQLExecDirect(stmt, S(utf8(sql)), SQL_NTS);
  }

  // Rows 1..n of (id, name, v): name is kText and the number, v the id times 1.5.
  void fill(int n) {
    ASSERT_TRUE(ok(run(L"CREATE TABLE t (id INTEGER, name VARCHAR(20), v DOUBLE)")))
        << first_state(SQL_HANDLE_STMT, stmt);
    ASSERT_TRUE(ok(run(L"BEGIN")));
    for (int i = 1; i <= n; ++i) {
      std::wstring sql = L"INSERT INTO t VALUES (" + std::to_wstring(i) + L", '" + kText +
                         std::to_wstring(i) + L"', " + std::to_wstring(i) + L" * 1.5)";
      ASSERT_TRUE(ok(run(sql))) << first_state(SQL_HANDLE_STMT, stmt);
    }
    ASSERT_TRUE(ok(run(L"COMMIT")));
  }

  std::wstring expected_name(int id) { return kText + std::to_wstring(id); }

  std::string field_origin() {
    char origin[16] = "";
    EXPECT_EQ(
        SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_CLASS_ORIGIN, origin, sizeof origin, nullptr),
        SQL_SUCCESS);
    return origin;
  }

  stmttest::Utf8Locale locale;
  bool wide = false;
};

TEST_P(Odbc3Sqlite, RowArraysFetchedWithFetchScroll) {
  fill(25);
  constexpr int kRows = 10;
  SQLINTEGER id[kRows];
  SQLLEN id_ind[kRows], name_ind[kRows];
  SQLWCHAR wname[kRows][32];
  char name[kRows][64];
  SQLUSMALLINT status[kRows];
  SQLULEN fetched = 0;
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, V(kRows), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, V(SQL_BIND_BY_COLUMN), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, id, 0, id_ind), SQL_SUCCESS);
  if (wide) {
    ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_WCHAR, wname, sizeof wname[0], name_ind), SQL_SUCCESS);
  } else {
    ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, name, sizeof name[0], name_ind), SQL_SUCCESS);
  }
  std::wstring query = L"SELECT id, name, v FROM t ORDER BY id";
  ASSERT_EQ(wide ? SQLPrepareW(stmt, S(query), SQL_NTS) : SQLPrepare(stmt, S(utf8(query)), SQL_NTS),
            SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS);
  int total = 0;
  SQLRETURN rc;
  while ((rc = SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) == SQL_SUCCESS) {
    ASSERT_LE(fetched, static_cast<SQLULEN>(kRows));
    for (SQLULEN r = 0; r < fetched; ++r) {
      ++total;
      EXPECT_EQ(status[r], SQL_ROW_SUCCESS);
      EXPECT_EQ(id[r], total);
      if (wide) {
        EXPECT_EQ(std::wstring(wname[r]), expected_name(total));
        EXPECT_EQ(name_ind[r], static_cast<SQLLEN>(expected_name(total).size() * sizeof(SQLWCHAR)));
      } else {
        EXPECT_EQ(std::string(name[r]), utf8(expected_name(total)));
      }
    }
  }
  EXPECT_EQ(rc, SQL_NO_DATA);
  EXPECT_EQ(total, 25);
  EXPECT_EQ(fetched, 0u);

  // The same result once more, scrolled in every direction the driver allows.
  ASSERT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
  EXPECT_EQ(rec()->state, 1);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, V(SQL_CURSOR_STATIC), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS);
  struct Step {
    SQLSMALLINT orientation;
    SQLLEN offset;
    SQLINTEGER first;
    SQLULEN rows;
  } steps[] = {{SQL_FETCH_NEXT, 0, 1, 10},  {SQL_FETCH_NEXT, 0, 11, 10},     {SQL_FETCH_LAST, 0, 16, 10},
               {SQL_FETCH_FIRST, 0, 1, 10}, {SQL_FETCH_ABSOLUTE, 20, 20, 6}, {SQL_FETCH_ABSOLUTE, 3, 3, 10}};
  for (const Step& s : steps) {
    SCOPED_TRACE(s.orientation);
    ASSERT_EQ(SQLFetchScroll(stmt, s.orientation, s.offset), SQL_SUCCESS)
        << first_state(SQL_HANDLE_STMT, stmt);
    EXPECT_EQ(id[0], s.first);
    EXPECT_EQ(fetched, s.rows);
    if (wide) {
      EXPECT_EQ(std::wstring(wname[0]), expected_name(s.first));
    }
  }
  ASSERT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
}

TEST_P(Odbc3Sqlite, ColumnAttributes) {
  fill(1);
  ASSERT_TRUE(ok(run(L"SELECT id AS \u540d\u524d, name, v FROM t")));
  SQLLEN n = -1;
  ASSERT_EQ(SQLColAttribute(stmt, 1, SQL_DESC_COUNT, nullptr, 0, nullptr, &n), SQL_SUCCESS);
  EXPECT_EQ(n, 3);
  ASSERT_EQ(SQLColAttribute(stmt, 1, SQL_DESC_CONCISE_TYPE, nullptr, 0, nullptr, &n), SQL_SUCCESS);
  EXPECT_EQ(n, SQL_INTEGER);
  ASSERT_EQ(SQLColAttribute(stmt, 2, SQL_DESC_LENGTH, nullptr, 0, nullptr, &n), SQL_SUCCESS);
  EXPECT_EQ(n, 20);
  SQLSMALLINT len = 0;
  if (wide) {
    SQLWCHAR label[16] = {0};
    ASSERT_EQ(SQLColAttributeW(stmt, 1, SQL_DESC_LABEL, label, sizeof label, &len, nullptr), SQL_SUCCESS);
    EXPECT_EQ(std::wstring(label), L"\u540d\u524d");
    EXPECT_EQ(len, 8);
  } else {
    char label[16] = "";
    ASSERT_EQ(SQLColAttribute(stmt, 1, SQL_DESC_LABEL, label, sizeof label, &len, nullptr), SQL_SUCCESS);
    EXPECT_EQ(std::string(label), utf8(L"\u540d\u524d"));
    EXPECT_EQ(len, 6);
  }
  ASSERT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
}

TEST_P(Odbc3Sqlite, DiagnosticsOfAFailedStatement) {
  ASSERT_EQ(run(L"SELECT * FROM nosuch"), SQL_ERROR);
  // The fields first: this driver forgets its record once its message has been read whole.
  SQLINTEGER number = 0;
  ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_NUMBER, &number, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(number, 1);
  char state[6] = "";
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_SQLSTATE, state, sizeof state, &len),
            SQL_SUCCESS);
  EXPECT_STREQ(state, "HY000");
  SQLINTEGER native = 0;
  ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_NATIVE, &native, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(native, 1);
  EXPECT_EQ(field_origin(), "ISO 9075");
  SQLWCHAR message[128] = {0};
  ASSERT_EQ(SQLGetDiagFieldW(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_MESSAGE_TEXT, message, sizeof message, &len),
            SQL_SUCCESS);
  EXPECT_NE(N(message).find("no such table"), std::string::npos);

  ASSERT_EQ(run(L"SELECT * FROM nosuch"), SQL_ERROR);
  SQLRETURN last = 0;
  auto recs = diag_recs(SQL_HANDLE_STMT, stmt, wide, &last);
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0].state, "HY000");
  EXPECT_NE(recs[0].text.find("no such table: nosuch"), std::string::npos) << recs[0].text;
  EXPECT_EQ(last, SQL_NO_DATA);
  // A record of the manager's own comes before the driver's.
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_ERROR);
  EXPECT_EQ(diag_states(SQL_HANDLE_STMT, stmt, wide), std::vector<std::string>{"S1010"});
  // The connection's data source name, which this DSN-less connection does not have.
  ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_CONNECTION_NAME, state, sizeof state, &len),
            SQL_SUCCESS);
  EXPECT_EQ(_zolandm_diag_count(stmt), 1);
  EXPECT_EQ(_zolandm_diag_count(dbc), 0);
}

TEST_P(Odbc3Sqlite, TransactionsWithEndTran) {
  fill(1);
  ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, V(SQL_AUTOCOMMIT_OFF), 0), SQL_SUCCESS);
  ASSERT_TRUE(ok(run(L"INSERT INTO t VALUES (2, 'two', 3.0)")));
  ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK), SQL_SUCCESS);
  ASSERT_TRUE(ok(run(L"INSERT INTO t VALUES (3, 'three', 4.5)")));
  ASSERT_EQ(SQLEndTran(SQL_HANDLE_ENV, env, SQL_COMMIT), SQL_SUCCESS);
  ASSERT_TRUE(ok(run(L"SELECT COUNT(*), SUM(id) FROM t")));
  SQLINTEGER count = 0, sum = 0;
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_LONG, &count, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLGetData(stmt, 2, SQL_C_LONG, &sum, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(sum, 4);
  ASSERT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
  SQLUINTEGER autocommit = 1;
  ASSERT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, &autocommit, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(autocommit, 0u);
  // The driver refuses to disconnect within a transaction.
  ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_SUCCESS);
}

TEST_P(Odbc3Sqlite, DescriptorsOfThisDriverAreRefusedCleanly) {
  // The driver hands out no descriptors of its own: every descriptor call fails, and
  // nothing is handed to the driver as a descriptor it never made.
  SQLHDESC desc = nullptr;
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc, &desc), SQL_ERROR);
  SQLHDESC ard = nullptr;
  SQLRETURN rc = SQLGetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr);
  if (ok(rc)) {
    SQLSMALLINT count = 0;
    EXPECT_FALSE(ok(SQLGetDescField(ard, 0, SQL_DESC_COUNT, &count, 0, nullptr)));
  } else {
    EXPECT_EQ(diag_states(SQL_HANDLE_STMT, stmt), std::vector<std::string>{"IM001"});
  }
}

TEST_P(Odbc3Sqlite, ParametersBoundInBothWidths) {
  fill(0);
  std::wstring insert = L"INSERT INTO t VALUES (?, ?, 0)";
  ASSERT_EQ(wide ? SQLPrepareW(stmt, S(insert), SQL_NTS) : SQLPrepare(stmt, S(utf8(insert)), SQL_NTS),
            SQL_SUCCESS);
  SQLINTEGER id = 7;
  std::wstring wvalue = kText;
  std::string value = utf8(kText);
  SQLLEN len = SQL_NTS;
  ASSERT_EQ(SQLBindParam(stmt, 1, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, nullptr), SQL_SUCCESS);
  if (wide) {
    ASSERT_EQ(SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_VARCHAR, 20, 0,
                               const_cast<wchar_t*>(wvalue.c_str()), 0, &len),
              SQL_SUCCESS);
  } else {
    ASSERT_EQ(SQLBindParam(stmt, 2, SQL_C_CHAR, SQL_VARCHAR, 20, 0, const_cast<char*>(value.c_str()), &len),
              SQL_SUCCESS);
  }
  ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS) << first_state(SQL_HANDLE_STMT, stmt);
  ASSERT_EQ(SQLFreeStmt(stmt, SQL_RESET_PARAMS), SQL_SUCCESS);
  ASSERT_TRUE(ok(run(L"SELECT name FROM t WHERE id = 7")));
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  SQLWCHAR got[32] = {0};
  ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_WCHAR, got, sizeof got, nullptr), SQL_SUCCESS);
  EXPECT_EQ(std::wstring(got), kText);
  ASSERT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(Widths, Odbc3Sqlite, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) { return p.param ? "Wide" : "Narrow"; });

// ---- an ODBC 2 application's statement options --------------------------------------------

TEST(Odbc2OnSqlite, BindTypeOptionRefusedAsAnOptionIsSetAsAnAttribute) {
  if (access(kSqliteDriver, R_OK) != 0) GTEST_SKIP() << "SQLite ODBC driver not installed";
  dmtest::TempOdbcEnv ini;
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  SQLHSTMT stmt = nullptr;
  ASSERT_EQ(SQLAllocEnv(&env), SQL_SUCCESS);
  ASSERT_EQ(SQLAllocConnect(env, &dbc), SQL_SUCCESS);
  std::string in = std::string("DRIVER=") + kSqliteDriver + ";Database=" + ini.path("t.db");
  ASSERT_TRUE(ok(SQLDriverConnect(dbc, nullptr, S(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)));
  ASSERT_EQ(SQLAllocStmt(dbc, &stmt), SQL_SUCCESS);
  for (SQLULEN bind_type : {SQLULEN{24}, SQLULEN{SQL_BIND_BY_COLUMN}}) {
    EXPECT_EQ(SQLSetStmtOption(stmt, SQL_BIND_TYPE, bind_type), SQL_SUCCESS);
    EXPECT_TRUE(dmtest::states(nullptr, nullptr, stmt).empty()) << "the first refusal is dropped";
    SQLULEN got = 99;
    EXPECT_EQ(SQLGetStmtOption(stmt, SQL_BIND_TYPE, &got), SQL_SUCCESS);
    EXPECT_EQ(got, bind_type);
    EXPECT_EQ(static_cast<zolandm_stmt*>(stmt)->bind_type, static_cast<int>(bind_type));
  }
  EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
  EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeConnect(dbc), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeEnv(env), SQL_SUCCESS);
}

}  // namespace
