// Calls that ordinary ODBC 3 programs make, shared by the tests that run them against the real
// drivers: arrays of text parameters bound by column or by row and inserted with one
// SQLExecute, the table read back in key order, and a cursor read by SQLFetch and
// SQLFetchScroll in turns with the row-status and rows-fetched pointers set.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dm/odbc3_test_util.h"

namespace odbc3test {

inline SQLPOINTER V(intptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }

constexpr int kText = 30;  // bytes of one text element of the parameter arrays

// Row i of the parameter arrays: a key that sorts by i and a text whose length varies.
inline std::string key_of(int i) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "k%06d", i);
  return buf;
}
inline std::string text_of(int i) {
  return "row " + std::to_string(i) + std::string(static_cast<size_t>(i % 17), 'x');
}
// "key|text" of rows 0 .. n-1.
inline std::vector<std::string> expected_rows(int n) {
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i) out.push_back(key_of(i) + "|" + text_of(i));
  return out;
}

struct TextRow {
  char a[kText];
  SQLLEN a_len;
  char b[kText];
  SQLLEN b_len;
};

// Inserts `rows` rows (key_of, text_of) with one SQLExecute of `insert` (two text parameters),
// bound by column or by row with SQL_NTS lengths; the statement is left without parameters.
// `statuses`: the driver fills the parameter status array (not every driver does).
inline void insert_text_arrays(SQLHSTMT stmt, const char* insert, bool by_row, int rows, bool statuses) {
  const auto n = static_cast<size_t>(rows);
  std::vector<char> col_a(n * kText);
  std::vector<char> col_b(n * kText);
  std::vector<SQLLEN> col_a_len(n, SQL_NTS);
  std::vector<SQLLEN> col_b_len(n, SQL_NTS);
  std::vector<TextRow> row(n);
  for (size_t i = 0; i < n; ++i) {
    const int k = static_cast<int>(i);
    std::snprintf(&col_a[i * kText], kText, "%s", key_of(k).c_str());
    std::snprintf(&col_b[i * kText], kText, "%s", text_of(k).c_str());
    std::snprintf(row[i].a, kText, "%s", key_of(k).c_str());
    std::snprintf(row[i].b, kText, "%s", text_of(k).c_str());
    row[i].a_len = SQL_NTS;
    row[i].b_len = SQL_NTS;
  }
  std::vector<SQLUSMALLINT> status(n, 99);
  SQLULEN processed = 0;
  const intptr_t bind_type = by_row ? static_cast<intptr_t>(sizeof(TextRow)) : SQL_PARAM_BIND_BY_COLUMN;
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_BIND_TYPE, V(bind_type), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, V(rows), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_STATUS_PTR, status.data(), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLPrepare(stmt, S(insert), SQL_NTS), SQL_SUCCESS);
  char* a = by_row ? row[0].a : col_a.data();
  char* b = by_row ? row[0].b : col_b.data();
  SQLLEN* a_len = by_row ? &row[0].a_len : col_a_len.data();
  SQLLEN* b_len = by_row ? &row[0].b_len : col_b_len.data();
  ASSERT_EQ(
      SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, kText - 1, 0, a, kText, a_len),
      SQL_SUCCESS);
  ASSERT_EQ(
      SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, kText - 1, 0, b, kText, b_len),
      SQL_SUCCESS);
  SQLRETURN rc = SQLExecute(stmt);
  EXPECT_TRUE(ok(rc)) << rc << " "
                      << (diag_recs(SQL_HANDLE_STMT, stmt).empty()
                              ? std::string()
                              : diag_recs(SQL_HANDLE_STMT, stmt).front().state);
  EXPECT_EQ(processed, static_cast<SQLULEN>(rows));
  if (statuses) {
    EXPECT_EQ(status[0], SQL_PARAM_SUCCESS);
    EXPECT_EQ(status[n - 1], SQL_PARAM_SUCCESS);
  }
  EXPECT_EQ(SQLFreeStmt(stmt, SQL_RESET_PARAMS), SQL_SUCCESS);
  EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, V(1), 0), SQL_SUCCESS);
  EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_STATUS_PTR, nullptr, 0), SQL_SUCCESS);
  EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, nullptr, 0), SQL_SUCCESS);
}

// Every row of a two-column text query, "a|b" in the query's order.
inline std::vector<std::string> read_text_rows(SQLHSTMT stmt, const char* query) {
  std::vector<std::string> out;
  EXPECT_TRUE(ok(SQLExecDirect(stmt, S(query), SQL_NTS)));
  char a[64];
  char b[64];
  SQLLEN al = 0;
  SQLLEN bl = 0;
  EXPECT_EQ(SQLBindCol(stmt, 1, SQL_C_CHAR, a, sizeof a, &al), SQL_SUCCESS);
  EXPECT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, b, sizeof b, &bl), SQL_SUCCESS);
  SQLRETURN rc;
  while ((rc = SQLFetch(stmt)) == SQL_SUCCESS) out.push_back(std::string(a) + "|" + b);
  EXPECT_EQ(rc, SQL_NO_DATA);
  EXPECT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(stmt, SQL_UNBIND), SQL_SUCCESS);
  return out;
}

// Inserts parameter arrays of 3 and 10,000 rows, by column and by row, into an empty table
// made by `create` (columns a and b, text), commits, and reads them back with `select` (a, b
// in key order) before `drop`.
inline void check_text_arrays(SQLHDBC dbc, SQLHSTMT stmt, const char* create, const char* insert,
                              const char* select, const char* drop, bool statuses) {
  struct Case {
    bool by_row;
    int rows;
  } cases[] = {{false, 3}, {true, 3}, {false, 10000}, {true, 10000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.by_row ? "row-wise " : "column-wise ") + std::to_string(c.rows));
    ASSERT_TRUE(ok(SQLExecDirect(stmt, S(create), SQL_NTS)));
    ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, V(SQL_AUTOCOMMIT_OFF), 0), SQL_SUCCESS);
    insert_text_arrays(stmt, insert, c.by_row, c.rows, statuses);
    ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_SUCCESS);
    ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, V(SQL_AUTOCOMMIT_ON), 0), SQL_SUCCESS);
    EXPECT_EQ(read_text_rows(stmt, select), expected_rows(c.rows));
    ASSERT_TRUE(ok(SQLExecDirect(stmt, S(drop), SQL_NTS)));
  }
}

// One step of a fetch sequence: which function, and the value expected in the row (0: end of
// data).
struct FetchStep {
  bool scroll;
  int value;
};

// Runs `query` (one integer column) and the steps on it, one row per fetch, checking the row,
// the row status and the rows-fetched count after each; the cursor is closed afterwards.
inline void run_fetch_steps(SQLHSTMT stmt, const char* query, const std::vector<FetchStep>& steps) {
  SQLINTEGER g = 0;
  SQLUSMALLINT status[1] = {99};
  SQLULEN fetched = 99;
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, &g, 0, nullptr), SQL_SUCCESS);
  ASSERT_TRUE(ok(SQLExecDirect(stmt, S(query), SQL_NTS)));
  int i = 0;
  for (const FetchStep& s : steps) {
    SCOPED_TRACE("step " + std::to_string(i++) + (s.scroll ? " SQLFetchScroll" : " SQLFetch"));
    status[0] = 99;
    fetched = 99;
    g = 0;
    SQLRETURN rc = s.scroll ? SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0) : SQLFetch(stmt);
    if (s.value == 0) {
      EXPECT_EQ(rc, SQL_NO_DATA);
      continue;
    }
    auto states = diag_states(SQL_HANDLE_STMT, stmt);
    ASSERT_EQ(rc, SQL_SUCCESS) << (states.empty() ? std::string() : states.front());
    EXPECT_EQ(g, s.value);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(status[0], SQL_ROW_SUCCESS);
  }
  EXPECT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
  EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0), SQL_SUCCESS);
  EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(stmt, SQL_UNBIND), SQL_SUCCESS);
}

// SQLFetch first and SQLFetchScroll first, each alternating over `query`, whose result is the
// integers 1 to 5 in order.
inline void check_mixed_fetches(SQLHSTMT stmt, const char* query) {
  const std::vector<FetchStep> fetch_first = {{false, 1}, {true, 2}, {false, 3}, {true, 4},
                                              {false, 5}, {true, 0}, {false, 0}};
  const std::vector<FetchStep> scroll_first = {{true, 1}, {false, 2}, {true, 3}, {false, 4},
                                               {true, 5}, {false, 0}, {true, 0}};
  {
    SCOPED_TRACE("SQLFetch first");
    run_fetch_steps(stmt, query, fetch_first);
  }
  {
    SCOPED_TRACE("SQLFetchScroll first");
    run_fetch_steps(stmt, query, scroll_first);
  }
}

}  // namespace odbc3test
