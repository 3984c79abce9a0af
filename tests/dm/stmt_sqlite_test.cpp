// The statement path against the real SQLite driver, narrow and through the wide entry
// points (which the manager converts for this narrow driver), with non-ASCII text under a
// UTF-8 locale: prepare, execute, bound and rowset fetches, SQLGetData in pieces, parameters,
// catalog and information calls.

#include <cstring>
#include <cwchar>
#include <functional>

#include "dm/stmt_test_util.h"

namespace {

using namespace stmttest;

class Sqlite : public StmtTest {
 protected:
  void SetUp() override {
    if (access(kSqliteDriver, R_OK) != 0) GTEST_SKIP() << "SQLite ODBC driver not installed";
    open_sqlite();
  }
  Utf8Locale locale;
};

TEST_F(Sqlite, PrepareExecuteFetchNarrow) {
  exec("CREATE TABLE t (id INTEGER, name VARCHAR(20), v DOUBLE)");
  exec("INSERT INTO t VALUES (1, 'one', 1.5)");
  exec("INSERT INTO t VALUES (2, 'two', 2.5)");
  ASSERT_EQ(SQLPrepare(stmt, S("SELECT id, name, v FROM t ORDER BY id"), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(rec()->state, 1);
  ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS);
  EXPECT_EQ(rec()->state, 4);
  EXPECT_EQ(rec()->cursor_state, 2);
  SQLSMALLINT cols = 0;
  EXPECT_EQ(SQLNumResultCols(stmt, &cols), SQL_SUCCESS);
  EXPECT_EQ(cols, 3);
  SQLINTEGER id = 0;
  char name[21];
  SQLLEN id_ind = 0, name_ind = 0;
  ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, &id, 0, &id_ind), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, name, sizeof name, &name_ind), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  EXPECT_EQ(rec()->state, 5);
  EXPECT_EQ(id, 1);
  EXPECT_STREQ(name, "one");
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  EXPECT_EQ(id, 2);
  EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA);
  EXPECT_EQ(rec()->state, 5);
  EXPECT_EQ(rec()->cursor_state, 0);
  EXPECT_EQ(SQLPrepare(stmt, S("SELECT 1"), SQL_NTS), SQL_ERROR);
  EXPECT_EQ(first_state(), "24000");
  EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
  EXPECT_EQ(rec()->state, 1);
  EXPECT_EQ(SQLExecute(stmt), SQL_SUCCESS);
}

const std::wstring kText = L"Gr\u00fc\u00dfe \u65e5\u672c \u20ac";  // 10 characters, 20 bytes in UTF-8

TEST_F(Sqlite, WideCallsOnTheNarrowDriverKeepNonAsciiText) {
  ASSERT_EQ(SQLExecDirectW(
                stmt, S(std::wstring(L"CREATE TABLE \u00e9t\u00e9 (id INTEGER, name VARCHAR(20))")), SQL_NTS),
            SQL_SUCCESS)
      << first_state();
  std::wstring insert = L"INSERT INTO \u00e9t\u00e9 VALUES (1, '" + kText + L"')";
  ASSERT_EQ(SQLExecDirectW(stmt, S(insert), SQL_NTS), SQL_SUCCESS) << first_state();
  SQLLEN count = -1;
  EXPECT_EQ(SQLRowCount(stmt, &count), SQL_SUCCESS);
  EXPECT_EQ(count, 1);

  std::wstring query = L"SELECT name AS \u540d\u524d FROM \u00e9t\u00e9 WHERE name = '" + kText + L"'";
  ASSERT_EQ(SQLPrepareW(stmt, S(query), SQL_NTS), SQL_SUCCESS) << first_state();
  ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS);
  SQLWCHAR col_name[16];
  SQLSMALLINT name_len = 0, type = 0, digits = 0, nullable = 0;
  SQLULEN size = 0;
  ASSERT_EQ(SQLDescribeColW(stmt, 1, col_name, 16, &name_len, &type, &size, &digits, &nullable), SQL_SUCCESS);
  EXPECT_EQ(std::wstring(col_name), L"\u540d\u524d");
  EXPECT_EQ(type, SQL_VARCHAR);
  SQLWCHAR attr[16];
  SQLSMALLINT attr_len = 0;
  ASSERT_EQ(SQLColAttributesW(stmt, 1, SQL_COLUMN_NAME, attr, sizeof attr, &attr_len, nullptr), SQL_SUCCESS);
  EXPECT_EQ(std::wstring(attr), L"\u540d\u524d");
  EXPECT_EQ(attr_len, 8);

  SQLWCHAR value[32];
  SQLLEN ind = 0;
  ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_WCHAR, value, sizeof value, &ind), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS) << first_state();
  EXPECT_EQ(std::wstring(value), kText);
  EXPECT_EQ(ind, static_cast<SQLLEN>(kText.size() * sizeof(SQLWCHAR)));
}

TEST_F(Sqlite, WideGetDataPiecesNeverSplitACharacter) {
  exec("CREATE TABLE t (name TEXT)");
  std::wstring insert = L"INSERT INTO t VALUES ('" + kText + L"')";
  ASSERT_EQ(SQLExecDirectW(stmt, S(insert), SQL_NTS), SQL_SUCCESS);
  exec("SELECT name FROM t");
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  // 16 bytes: three characters and a terminator per piece; the driver is asked for 4 bytes
  // at a time, which cuts the two- and three-byte characters.
  std::wstring got;
  SQLRETURN rc;
  int pieces = 0;
  do {
    SQLWCHAR piece[4] = {1, 1, 1, 1};
    SQLLEN ind = 0;
    rc = SQLGetData(stmt, 1, SQL_C_WCHAR, piece, sizeof piece, &ind);
    if (rc == SQL_NO_DATA) break;
    ASSERT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << rc;
    EXPECT_TRUE(ind == SQL_NO_TOTAL || ind >= static_cast<SQLLEN>(std::wcslen(piece) * sizeof(SQLWCHAR)));
    if (rc == SQL_SUCCESS) {
      EXPECT_EQ(ind, static_cast<SQLLEN>(std::wcslen(piece) * sizeof(SQLWCHAR)));
    }
    for (size_t i = 0; i < std::wcslen(piece); ++i) EXPECT_NE(piece[i], 0xFFFD);
    got += piece;
    ++pieces;
  } while (rc == SQL_SUCCESS_WITH_INFO && pieces < 50);
  EXPECT_EQ(got, kText);
  EXPECT_GT(pieces, 2);
}

TEST_F(Sqlite, WideParameterIsConvertedInTheManagersBuffer) {
  exec("CREATE TABLE t (name VARCHAR(20))");
  ASSERT_EQ(SQLPrepare(stmt, S("INSERT INTO t VALUES (?)"), SQL_NTS), SQL_SUCCESS);
  SQLWCHAR buf[20] = {0};
  std::wmemcpy(buf, kText.data(), kText.size());
  SQLWCHAR before[20];
  std::wmemcpy(before, buf, 20);
  SQLLEN len = static_cast<SQLLEN>(kText.size() * sizeof(SQLWCHAR));
  ASSERT_EQ(
      SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_VARCHAR, 20, 0, buf, sizeof buf, &len),
      SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS) << first_state();
  // The application's buffer and length are as it left them, and a second execution
  // converts the same wide text again.
  EXPECT_EQ(std::wmemcmp(buf, before, 20), 0);
  EXPECT_EQ(len, static_cast<SQLLEN>(kText.size() * sizeof(SQLWCHAR)));
  ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS) << first_state();
  ASSERT_EQ(SQLFreeStmt(stmt, SQL_RESET_PARAMS), SQL_SUCCESS);

  exec("SELECT name, length(name) FROM t");
  for (int row = 0; row < 2; ++row) {
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    char narrow[64];
    SQLLEN ind = 0;
    ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_CHAR, narrow, sizeof narrow, &ind), SQL_SUCCESS);
    EXPECT_STREQ(narrow,
                 "Gr\xc3\xbc\xc3\x9f"
                 "e \xe6\x97\xa5\xe6\x9c\xac \xe2\x82\xac");
    SQLINTEGER chars = 0;
    ASSERT_EQ(SQLGetData(stmt, 2, SQL_C_LONG, &chars, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(chars, 10);
  }
}

// Bound without a buffer length or a column size (as the agent binds a wide text
// cell that came without a description): each value is converted by its own length.
TEST_F(Sqlite, WideParameterWithoutSizesKeepsEveryCharacter) {
  exec("CREATE TABLE t (name TEXT)");
  const std::wstring value = L"Gr\u00fc\u00dfe, \u6771\u4eac wide";
  const char* narrow =
      "Gr\xc3\xbc\xc3\x9f"
      "e, \xe6\x9d\xb1\xe4\xba\xac wide";
  struct Case {
    SQLLEN len;
  } cases[] = {{SQL_NTS}, {static_cast<SQLLEN>(value.size() * sizeof(SQLWCHAR))}};
  for (const Case& c : cases) {
    exec("DELETE FROM t");
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    ASSERT_EQ(SQLPrepare(stmt, S("INSERT INTO t VALUES (?)"), SQL_NTS), SQL_SUCCESS);
    std::wstring buf = value;
    SQLLEN len = c.len;
    ASSERT_EQ(
        SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WLONGVARCHAR, 0, 0, buf.data(), 0, &len),
        SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS) << first_state();
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_RESET_PARAMS), SQL_SUCCESS);
    exec("SELECT name FROM t");
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    char got[64];
    SQLLEN ind = 0;
    ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_CHAR, got, sizeof got, &ind), SQL_SUCCESS);
    EXPECT_STREQ(got, narrow) << "length " << c.len;
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
  }
}

TEST_F(Sqlite, ExplicitLengthsAreReadWithinTheirBounds) {
  // Neither text ends in a NUL inside its array: the conversion must stop at the length.
  const SQLWCHAR create[] = {'C', 'R', 'E', 'A', 'T', 'E', ' ', 'T', 'A',
                             'B', 'L', 'E', ' ', 't', '(', 'a', ')'};
  ASSERT_EQ(SQLExecDirectW(stmt, const_cast<SQLWCHAR*>(create), 17), SQL_SUCCESS) << first_state();
  const SQLWCHAR tables[] = {'t', 'X'};
  ASSERT_EQ(SQLTablesW(stmt, nullptr, 0, nullptr, 0, const_cast<SQLWCHAR*>(tables), 1, nullptr, 0),
            SQL_SUCCESS);
  char name[64];
  SQLLEN ind = 0;
  ASSERT_EQ(SQLBindCol(stmt, 3, SQL_C_CHAR, name, sizeof name, &ind), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  EXPECT_STREQ(name, "t");
  EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA);
}

TEST_F(Sqlite, RowsetFetchWidensOnlyTheRowsFetched) {
  exec("CREATE TABLE t (id INTEGER, name VARCHAR(20))");
  exec("INSERT INTO t VALUES (1, 'a\xc3\xa9')");
  exec("INSERT INTO t VALUES (2, 'b\xc3\xa9\xc3\xa9')");
  exec("INSERT INTO t VALUES (3, NULL)");
  ASSERT_EQ(SQLSetStmtOption(stmt, SQL_ROWSET_SIZE, 5), SQL_SUCCESS);
  EXPECT_EQ(rec()->rowset_size, 5);
  exec("SELECT id, name FROM t ORDER BY id");
  constexpr int kWidth = 12;  // bytes per row: two wide characters and the terminator
  SQLWCHAR names[5][kWidth / sizeof(SQLWCHAR)];
  for (auto& row : names) std::wmemset(row, L'#', kWidth / sizeof(SQLWCHAR));
  SQLLEN ind[5] = {77, 77, 77, 77, 77};
  ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_WCHAR, names, kWidth, ind), SQL_SUCCESS);
  SQLULEN fetched = 0;
  SQLUSMALLINT status[5];
  ASSERT_EQ(SQLExtendedFetch(stmt, SQL_FETCH_NEXT, 0, &fetched, status), SQL_SUCCESS);
  EXPECT_EQ(fetched, 3u);
  EXPECT_EQ(rec()->state, 6);
  EXPECT_EQ(std::wstring(names[0]), L"a\u00e9");
  EXPECT_EQ(ind[0], 8);
  // Three characters do not fit in twelve bytes: cut to two, length still the whole value.
  EXPECT_EQ(std::wstring(names[1]), L"b\u00e9");
  EXPECT_EQ(ind[2], SQL_NULL_DATA);
  EXPECT_EQ(status[3], SQL_ROW_NOROW);
  EXPECT_EQ(names[3][0], L'#');
  EXPECT_EQ(names[4][0], L'#');
  EXPECT_EQ(ind[3], 77);
  EXPECT_EQ(SQLFetch(stmt), SQL_ERROR);
  EXPECT_EQ(first_state(), "S1010");
}

TEST_F(Sqlite, InformationAndCatalogCalls) {
  char text[64];
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLGetInfo(dbc, SQL_DBMS_NAME, text, sizeof text, &len), SQL_SUCCESS);
  EXPECT_STREQ(text, "SQLite");
  SQLWCHAR wtext[64];
  ASSERT_EQ(SQLGetInfoW(dbc, SQL_DBMS_NAME, wtext, sizeof wtext, &len), SQL_SUCCESS);
  EXPECT_EQ(std::wstring(wtext), L"SQLite");
  EXPECT_EQ(len, 24);
  ASSERT_EQ(SQLGetInfoW(dbc, SQL_DM_VER, wtext, sizeof wtext, &len), SQL_SUCCESS);
  EXPECT_EQ(std::wstring(wtext), L"03.52.1015.0210");
  SQLUINTEGER usage = 9;
  EXPECT_EQ(SQLGetInfo(dbc, SQL_OWNER_USAGE, &usage, sizeof usage, nullptr), SQL_SUCCESS);
  EXPECT_EQ(usage, 0u);
  SQLUINTEGER counts = 0;
  EXPECT_EQ(SQLGetInfo(dbc, 154, &counts, sizeof counts, nullptr), SQL_ERROR);
  for (SQLUSMALLINT fn : {52, 53, 56, 58, 59, 60, 63, 64, 65, 66, 67, 70}) {
    SQLUSMALLINT exists = 7;
    EXPECT_EQ(SQLGetFunctions(dbc, fn, &exists), SQL_SUCCESS) << fn;
    EXPECT_EQ(exists, (fn == 56 || fn == 64) ? 0 : 1) << fn;
  }
  ASSERT_EQ(SQLGetTypeInfoW(stmt, SQL_ALL_TYPES), SQL_SUCCESS);
  EXPECT_EQ(rec()->state, 4);
  SQLWCHAR type_name[64];
  SQLLEN ind = 0;
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_WCHAR, type_name, sizeof type_name, &ind), SQL_SUCCESS);
  EXPECT_GT(ind, 0);
  EXPECT_EQ(SQLTables(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_ERROR);
  EXPECT_EQ(first_state(), "24000");
  ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
  EXPECT_EQ(rec()->state, 0);
  EXPECT_EQ(SQLColumnsW(stmt, nullptr, 0, nullptr, 0, S(std::wstring(L"t")), SQL_NTS, nullptr, 0),
            SQL_SUCCESS);
}

TEST_F(Sqlite, ParametersOptionsAndColumnAttributes) {
  exec("CREATE TABLE t (id INTEGER, name VARCHAR(20))");
  ASSERT_EQ(SQLPrepare(stmt, S("SELECT id, name FROM t WHERE id = ? AND name = ?"), SQL_NTS), SQL_SUCCESS);
  SQLSMALLINT n = 0;
  EXPECT_EQ(SQLNumParams(stmt, &n), SQL_SUCCESS);
  EXPECT_EQ(n, 2);
  SQLSMALLINT type = 0;
  SQLULEN size = 0;
  EXPECT_EQ(SQLDescribeParam(stmt, 1, &type, &size, nullptr, nullptr), SQL_SUCCESS);
  SQLLEN updatable = 0;
  EXPECT_EQ(SQLColAttributes(stmt, 1, SQL_COLUMN_UPDATABLE, nullptr, 0, nullptr, &updatable), SQL_SUCCESS);
  EXPECT_EQ(updatable, 1);
  EXPECT_EQ(SQLSetStmtOption(stmt, SQL_QUERY_TIMEOUT, 5), SQL_SUCCESS);
  SQLRETURN rc = SQLSetStmtOption(stmt, SQL_MAX_LENGTH, 1000);
  EXPECT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << rc;
  SQLULEN max_len = 0;
  EXPECT_EQ(SQLGetStmtOption(stmt, SQL_MAX_LENGTH, &max_len), SQL_SUCCESS);
  EXPECT_EQ(SQLGetStmtOption(stmt, SQL_ROW_NUMBER, &max_len), SQL_ERROR);
  EXPECT_EQ(first_state(), "24000");
  EXPECT_EQ(SQLMoreResults(stmt), SQL_NO_DATA);
  EXPECT_EQ(rec()->state, 1);
}

TEST_F(Sqlite, ConnectExecuteFetchAndErrorLoop) {
  exec("CREATE TABLE t (id INTEGER PRIMARY KEY, name VARCHAR(20))");
  for (int i = 0; i < 50; ++i) {
    SQLHSTMT s = nullptr;
    ASSERT_EQ(SQLAllocStmt(dbc, &s), SQL_SUCCESS);
    std::string insert = "INSERT INTO t VALUES (" + std::to_string(i % 10) + ", 'x')";
    SQLRETURN rc = SQLExecDirect(s, S(insert), SQL_NTS);
    if (i < 10) {
      EXPECT_EQ(rc, SQL_SUCCESS);
    } else {
      EXPECT_EQ(rc, SQL_ERROR);
      auto d = dmtest::errors(env, dbc, s);
      ASSERT_FALSE(d.empty());
      EXPECT_NE(d[0].text.find("UNIQUE constraint failed"), std::string::npos) << d[0].text;
    }
    ASSERT_EQ(SQLPrepare(s, S("SELECT id, name FROM t"), SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(s), SQL_SUCCESS);
    while (SQLFetch(s) == SQL_SUCCESS) {
    }
    EXPECT_TRUE(dmtest::errors(env, dbc, s).empty());
    ASSERT_EQ(SQLFreeStmt(s, SQL_DROP), SQL_SUCCESS);
  }
}

TEST_F(Sqlite, EveryCatalogCallInBothWidthsWithANonAsciiTable) {
  ASSERT_EQ(
      SQLExecDirectW(
          stmt, S(std::wstring(L"CREATE TABLE \u00e9l\u00e8ve (id INTEGER PRIMARY KEY, nom TEXT)")), SQL_NTS),
      SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirectW(stmt, S(std::wstring(L"CREATE INDEX ix ON \u00e9l\u00e8ve (nom)")), SQL_NTS),
            SQL_SUCCESS);
  const std::wstring wt = L"\u00e9l\u00e8ve";
  const std::string nt = "\xc3\xa9l\xc3\xa8ve";
  SQLWCHAR* w = S(wt);
  SQLCHAR* n = S(nt);
  struct Call {
    const char* what;
    std::function<SQLRETURN()> run;
    int min_rows;
  };
  std::vector<Call> calls = {
      {"TablesW", [&] { return SQLTablesW(stmt, nullptr, 0, nullptr, 0, w, SQL_NTS, nullptr, 0); }, 1},
      {"Tables", [&] { return SQLTables(stmt, nullptr, 0, nullptr, 0, n, SQL_NTS, nullptr, 0); }, 1},
      {"ColumnsW", [&] { return SQLColumnsW(stmt, nullptr, 0, nullptr, 0, w, SQL_NTS, nullptr, 0); }, 2},
      {"Columns", [&] { return SQLColumns(stmt, nullptr, 0, nullptr, 0, n, SQL_NTS, nullptr, 0); }, 2},
      {"PrimaryKeysW", [&] { return SQLPrimaryKeysW(stmt, nullptr, 0, nullptr, 0, w, SQL_NTS); }, 1},
      {"SpecialColumnsW",
       [&] { return SQLSpecialColumnsW(stmt, 1, nullptr, 0, nullptr, 0, w, SQL_NTS, 0, 1); }, 1},
      {"StatisticsW",
       [&] { return SQLStatisticsW(stmt, nullptr, 0, nullptr, 0, w, SQL_NTS, SQL_INDEX_ALL, 0); }, 1},
      {"ForeignKeysW",
       [&] {
         return SQLForeignKeysW(stmt, nullptr, 0, nullptr, 0, w, SQL_NTS, nullptr, 0, nullptr, 0, nullptr, 0);
       },
       0},
      {"TablePrivilegesW", [&] { return SQLTablePrivilegesW(stmt, nullptr, 0, nullptr, 0, w, SQL_NTS); }, 0},
      {"ProceduresW", [&] { return SQLProceduresW(stmt, nullptr, 0, nullptr, 0, nullptr, 0); }, 0},
      {"ProcedureColumnsW",
       [&] { return SQLProcedureColumnsW(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0); }, 0},
      {"ColumnPrivilegesW",
       [&] { return SQLColumnPrivilegesW(stmt, nullptr, 0, nullptr, 0, w, SQL_NTS, nullptr, 0); }, 0},
      {"GetTypeInfo", [&] { return SQLGetTypeInfo(stmt, SQL_VARCHAR); }, 1},
  };
  for (const Call& c : calls) {
    SCOPED_TRACE(c.what);
    SQLRETURN rc = c.run();
    ASSERT_EQ(rc, SQL_SUCCESS) << first_state();
    EXPECT_EQ(rec()->state, 4);
    int rows = 0;
    while (SQLFetch(stmt) == SQL_SUCCESS) ++rows;
    EXPECT_GE(rows, c.min_rows);
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
  }
  // The table name comes back whole in both widths.
  ASSERT_EQ(SQLTablesW(stmt, nullptr, 0, nullptr, 0, w, SQL_NTS, nullptr, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  SQLWCHAR got[16];
  SQLLEN ind = 0;
  ASSERT_EQ(SQLGetData(stmt, 3, SQL_C_WCHAR, got, sizeof got, &ind), SQL_SUCCESS);
  EXPECT_EQ(std::wstring(got), wt);
  EXPECT_EQ(ind, 20);
}

TEST_F(Sqlite, CursorNamesInBothWidths) {
  EXPECT_EQ(SQLGetCursorName(stmt, nullptr, 0, nullptr), SQL_ERROR);
  EXPECT_EQ(first_state(), "S1015");
  ASSERT_EQ(SQLSetCursorNameW(stmt, S(std::wstring(L"curs\u00e9")), SQL_NTS), SQL_SUCCESS) << first_state();
  EXPECT_EQ(rec()->cursor_state, 1);
  SQLWCHAR wide[16];
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLGetCursorNameW(stmt, wide, 16, &len), SQL_SUCCESS);
  EXPECT_EQ(std::wstring(wide), L"curs\u00e9");
  char narrow[16];
  ASSERT_EQ(SQLGetCursorName(stmt, S(narrow), sizeof narrow, &len), SQL_SUCCESS);
  EXPECT_STREQ(narrow, "curs\xc3\xa9");
}

}  // namespace
