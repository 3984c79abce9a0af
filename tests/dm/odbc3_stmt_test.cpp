// The ODBC 3 statement functions on the fake drivers: SQLColAttribute on both paths (the
// manager's answers for the bookmark column of an ODBC 2 driver, identifier mapping, width
// conversion, whole 64-bit numbers), SQLFetchScroll called and emulated, SQLBulkOperations,
// SQLCloseCursor, SQLBindParam and SQLEndTran.

#include <gtest/gtest.h>

#include "dm/odbc3_test_util.h"

namespace {

using namespace odbc3test;

SQLPOINTER V(intptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }

constexpr SQLLEN kFilled = 0x7777777777777777;

class ColAttribute : public Odbc3Test {};

TEST_F(ColAttribute, BookmarkColumnOfAnOdbc2Driver) {
  open_fake("odbc2");
  exec("SELECT a");
  struct Case {
    SQLUSMALLINT id;
    SQLRETURN rc;
    SQLLEN number;     // kFilled: not written
    const char* text;  // null: no text answer
    const char* state;
  } cases[] = {
      {SQL_DESC_CONCISE_TYPE, SQL_SUCCESS, SQL_BINARY, nullptr, ""},
      {SQL_DESC_TYPE, SQL_SUCCESS, SQL_BINARY, nullptr, ""},
      {SQL_DESC_DISPLAY_SIZE, SQL_SUCCESS, 8, nullptr, ""},
      {SQL_DESC_UNSIGNED, SQL_SUCCESS, 0, nullptr, ""},
      {SQL_DESC_SEARCHABLE, SQL_SUCCESS, 0, nullptr, ""},
      {SQL_DESC_LENGTH, SQL_SUCCESS, 0, nullptr, ""},
      {SQL_DESC_PRECISION, SQL_SUCCESS, 4, nullptr, ""},
      {SQL_DESC_OCTET_LENGTH, SQL_SUCCESS, 4, nullptr, ""},
      {SQL_DESC_UNNAMED, SQL_SUCCESS, SQL_UNNAMED, nullptr, ""},
      {SQL_DESC_NULLABLE, SQL_SUCCESS, 0, nullptr, ""},
      {SQL_DESC_COUNT, SQL_SUCCESS, 3, nullptr, ""},
      {SQL_DESC_TYPE_NAME, SQL_SUCCESS, kFilled, "", ""},
      {SQL_DESC_NAME, SQL_SUCCESS, kFilled, "", ""},
      {SQL_DESC_LITERAL_PREFIX, SQL_SUCCESS, kFilled, "", ""},
      {SQL_COLUMN_NAME, SQL_ERROR, kFilled, nullptr, "HYC00"},
      {SQL_DESC_BASE_COLUMN_NAME, SQL_ERROR, kFilled, nullptr, "HYC00"},
      {SQL_DESC_NUM_PREC_RADIX, SQL_ERROR, kFilled, nullptr, "HYC00"},
      {9999, SQL_ERROR, kFilled, nullptr, "HYC00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    SQLLEN number = kFilled;
    char text[16] = "xxxxxxxxxxxxxxx";
    SQLSMALLINT len = 99;
    EXPECT_EQ(SQLColAttribute(stmt, 0, c.id, text, sizeof text, &len, &number), c.rc);
    EXPECT_EQ(number, c.number);
    if (c.text != nullptr) {
      EXPECT_STREQ(text, c.text);
      EXPECT_EQ(len, 0);
    }
    std::vector<std::string> want;
    if (c.state[0] != '\0') want.push_back(c.state);
    EXPECT_EQ(stmt_states(), want);
  }
  // Only the column count asked the driver anything.
  EXPECT_TRUE(fake->calls("ColAttributes").empty());
  EXPECT_EQ(fake->calls("NumResultCols").size(), 2u);  // the execution's and the count's
  // An empty wide text is a wide terminator.
  SQLWCHAR wide[4] = {L'x', L'x', L'x', L'x'};
  ASSERT_EQ(SQLColAttributeW(stmt, 0, SQL_DESC_LABEL, wide, sizeof wide, nullptr, nullptr), SQL_SUCCESS);
  EXPECT_EQ(wide[0], 0);
}

TEST_F(ColAttribute, Odbc2PathMapsIdentifiersAndTypes) {
  open_fake("odbc2");
  exec("SELECT a");
  EXPECT_EQ(SQLColAttribute(stmt, 3, SQL_DESC_LITERAL_PREFIX, nullptr, 0, nullptr, nullptr), SQL_ERROR);
  EXPECT_EQ(stmt_states(), std::vector<std::string>{"HY091"});
  char name[32];
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLColAttribute(stmt, 1, SQL_DESC_NAME, name, sizeof name, &len, nullptr), SQL_SUCCESS);
  EXPECT_EQ(fake->last("ColAttributes"), "ColAttributes col=1 id=1 max=32");
  EXPECT_STREQ(name, "id");
  // The driver's date type (9) in the ODBC 3 application's numbering, written whole.
  SQLLEN type = kFilled;
  ASSERT_EQ(SQLColAttribute(stmt, 3, SQL_DESC_TYPE, nullptr, 0, nullptr, &type), SQL_SUCCESS);
  EXPECT_EQ(fake->last("ColAttributes"), "ColAttributes col=3 id=2 max=0");
  EXPECT_EQ(type, SQL_TYPE_DATE);
  // A length the manager would have to answer for cannot be negative.
  EXPECT_EQ(SQLColAttribute(stmt, 1, SQL_DESC_NAME, name, -1, &len, nullptr), SQL_ERROR);
  EXPECT_EQ(stmt_states(), std::vector<std::string>{"S1090"});
}

TEST_F(ColAttribute, WideCallerOfANarrowDriver) {
  open_fake("odbc3");
  exec("SELECT a");
  SQLWCHAR name[16] = {0};
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLColAttributeW(stmt, 1, SQL_DESC_NAME, name, 64, &len, nullptr), SQL_SUCCESS);
  EXPECT_EQ(fake->last("ColAttribute"), "ColAttribute col=1 id=1011 max=16");
  EXPECT_EQ(N(name), "id");
  EXPECT_EQ(len, 8);
  // The driver cut the long name to the quarter it was given: the caller learns the length.
  ASSERT_EQ(SQLColAttributeW(stmt, 2, SQL_DESC_NAME, name, 64, &len, nullptr), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(N(name), "a_rather_long_c");
  EXPECT_EQ(len, 100);
  // Without a buffer the length still comes in the caller's units.
  ASSERT_EQ(SQLColAttributeW(stmt, 1, SQL_DESC_NAME, nullptr, 0, &len, nullptr), SQL_SUCCESS);
  EXPECT_EQ(len, 8);
  EXPECT_EQ(SQLColAttributeW(stmt, 1, SQL_DESC_NAME, name, -4, &len, nullptr), SQL_ERROR);
  EXPECT_EQ(stmt_states(), std::vector<std::string>{"S1090"});
}

TEST_F(ColAttribute, NarrowCallerOfAWideDriver) {
  open_fake("wide");
  exec("SELECT a");
  char name[10] = {0};
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLColAttribute(stmt, 2, SQL_DESC_NAME, name, sizeof name, &len, nullptr), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(fake->last("ColAttributeW"), "ColAttributeW col=2 id=1011 max=40");
  EXPECT_STREQ(name, "a_rather_");
  EXPECT_EQ(len, 25);
  // A fourfold length beyond 16 bits is clamped, never wrapped.
  std::vector<char> big(30000);
  ASSERT_EQ(SQLColAttribute(stmt, 1, SQL_DESC_NAME, big.data(), 30000, &len, nullptr), SQL_SUCCESS);
  EXPECT_EQ(fake->last("ColAttributeW"), "ColAttributeW col=1 id=1011 max=32760");
  EXPECT_STREQ(big.data(), "id");
}

// ---- SQLFetchScroll ---------------------------------------------------------------------------

class FetchScroll : public Odbc3Test {};

TEST_F(FetchScroll, StatesAndOrientations) {
  open_fake("odbc3");
  EXPECT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_ERROR);
  EXPECT_EQ(stmt_states(), std::vector<std::string>{"S1010"});
  exec("SELECT a");
  EXPECT_EQ(SQLFetchScroll(stmt, 7, 0), SQL_ERROR);
  EXPECT_EQ(stmt_states(), std::vector<std::string>{"HY092"});
  // An ODBC 3 application goes on with either function after the other.
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(rec()->state, 6);
  EXPECT_EQ(rec()->cursor_state, 4);
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  EXPECT_EQ(rec()->state, 5);
  EXPECT_EQ(rec()->cursor_state, 3);
  ASSERT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
  exec("SELECT a");
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(rec()->state, 6);
  EXPECT_EQ(rec()->cursor_state, 4);
  EXPECT_EQ(fake->last("FetchScroll"), "FetchScroll orientation=1 offset=0");
  // SQLExtendedFetch keeps its rowsets apart from SQLFetch.
  ASSERT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
  exec("SELECT a");
  SQLULEN count = 0;
  SQLUSMALLINT status[1];
  ASSERT_EQ(SQLExtendedFetch(stmt, SQL_FETCH_NEXT, 0, &count, status), SQL_SUCCESS);
  EXPECT_EQ(SQLFetch(stmt), SQL_ERROR);
  EXPECT_EQ(stmt_states(), std::vector<std::string>{"S1010"});
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(SQLFetch(stmt), SQL_SUCCESS);

  // An ODBC 2 application does not mix them.
  close_all();
  open_fake("odbc3", 2);
  exec("SELECT a");
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  EXPECT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_ERROR);
  EXPECT_EQ(stmt_states(), std::vector<std::string>{"S1010"});
}

TEST_F(FetchScroll, EveryOrientationThroughAnOdbc3Driver) {
  open_fake("odbc3");
  fake->set("rows", 10);
  SQLINTEGER id[2];
  SQLLEN ind[2];
  SQLUSMALLINT status[2];
  SQLULEN fetched = 0;
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, V(2), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, id, 0, ind), SQL_SUCCESS);
  exec("SELECT a");
  struct Step {
    SQLSMALLINT orientation;
    SQLLEN offset;
    SQLINTEGER first;  // id of the first row of the rowset
  } steps[] = {{SQL_FETCH_FIRST, 0, 1}, {SQL_FETCH_NEXT, 0, 3},     {SQL_FETCH_LAST, 0, 9},
               {SQL_FETCH_PRIOR, 0, 7}, {SQL_FETCH_ABSOLUTE, 4, 4}, {SQL_FETCH_RELATIVE, -2, 2}};
  for (const Step& s : steps) {
    SCOPED_TRACE(s.orientation);
    ASSERT_EQ(SQLFetchScroll(stmt, s.orientation, s.offset), SQL_SUCCESS);
    EXPECT_EQ(fetched, 2u);
    EXPECT_EQ(id[0], s.first);
    EXPECT_EQ(status[1], SQL_ROW_SUCCESS);
  }
}

TEST_F(FetchScroll, EmulatedOnAnOdbc2Driver) {
  open_fake("odbc2");
  exec("SELECT a");
  // No rows-fetched pointer: the driver still gets somewhere to count.
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_FIRST, 5), SQL_SUCCESS);
  EXPECT_EQ(fake->last("ExtendedFetch"), "ExtendedFetch orientation=2 offset=0 count=set");
  EXPECT_EQ(rec()->state, 6);
  SQLULEN fetched = 0;
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 2), SQL_SUCCESS);
  EXPECT_EQ(fake->last("ExtendedFetch"), "ExtendedFetch orientation=5 offset=2 count=set");
  EXPECT_EQ(fetched, 1u);

  // A bookmark is read from the bookmark pointer; an offset beside it is not possible.
  SQLINTEGER bookmark = 3;
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_FETCH_BOOKMARK_PTR, &bookmark, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_BOOKMARK, 0), SQL_SUCCESS);
  EXPECT_EQ(fake->last("ExtendedFetch"), "ExtendedFetch orientation=8 offset=3 count=set");
  EXPECT_EQ(SQLFetchScroll(stmt, SQL_FETCH_BOOKMARK, 1), SQL_ERROR);
  EXPECT_EQ(stmt_states(), std::vector<std::string>{"HYC00"});
}

TEST_F(FetchScroll, AsynchronousEmulation) {
  open_fake("odbc2");
  exec("SELECT a");
  fake->set("still:ExtendedFetch", 2);
  EXPECT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_STILL_EXECUTING);
  EXPECT_EQ(rec()->async_func, ZOLANDM_FN_SQLFetchScroll);
  EXPECT_EQ(SQLExtendedFetch(stmt, SQL_FETCH_NEXT, 0, nullptr, nullptr), SQL_ERROR);
  EXPECT_EQ(stmt_states(), std::vector<std::string>{"S1010"});
  EXPECT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_STILL_EXECUTING);
  EXPECT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(rec()->async_func, 0);
  EXPECT_EQ(fake->calls("ExtendedFetch orientation").size(), 3u);
  EXPECT_EQ(rec()->state, 6);
}

TEST_F(FetchScroll, AsynchronousOnAnOdbc3Driver) {
  open_fake("odbc3");
  exec("SELECT a");
  fake->set("still:FetchScroll", 1);
  EXPECT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_STILL_EXECUTING);
  EXPECT_EQ(rec()->async_func, ZOLANDM_FN_SQLFetchScroll);
  EXPECT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(rec()->async_func, 0);
  EXPECT_EQ(rec()->state, 6);
}

TEST_F(FetchScroll, WideColumnsOfANarrowDriverAreWidenedRowByRow) {
  open_fake("odbc3");
  SQLWCHAR names[3][16];
  SQLLEN ind[3];
  SQLULEN fetched = 0;
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, V(3), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_WCHAR, names, sizeof names[0], ind), SQL_SUCCESS);
  fake->set("rows", 4);
  exec("SELECT a");
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(N(names[0]), "name1");
  EXPECT_EQ(N(names[2]), "name3");
  EXPECT_EQ(ind[2], 20);
  // The second rowset has one row: the rows it left alone keep their wide text.
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(fetched, 1u);
  EXPECT_EQ(N(names[0]), "name4");
  EXPECT_EQ(N(names[1]), "name2");
}

// ---- SQLBulkOperations, SQLCloseCursor, SQLBindParam, SQLEndTran --------------------------------

class Odbc3Stmt : public Odbc3Test {};

TEST_F(Odbc3Stmt, BulkOperations) {
  open_fake("odbc2");
  EXPECT_EQ(SQLBulkOperations(stmt, 3), SQL_ERROR);
  EXPECT_EQ(stmt_states(), std::vector<std::string>{"HY092"});
  exec("SELECT a");
  // Without the driver's function, SQL_ADD is SQLSetPos of row 0 with all its checks.
  EXPECT_EQ(SQLBulkOperations(stmt, SQL_ADD), SQL_ERROR);
  EXPECT_EQ(stmt_states(), std::vector<std::string>{"24000"});
  EXPECT_EQ(SQLBulkOperations(stmt, SQL_UPDATE_BY_BOOKMARK), SQL_ERROR);
  EXPECT_EQ(stmt_states(), std::vector<std::string>{"HYC00"});
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLBulkOperations(stmt, SQL_ADD), SQL_SUCCESS);
  EXPECT_EQ(fake->last("SetPos"), "SetPos row=0 op=4 lock=0");

  TearDown();
  stmt = nullptr;
  dbc = nullptr;
  env = nullptr;
  open_fake("odbc3");
  ASSERT_EQ(SQLBulkOperations(stmt, SQL_UPDATE_BY_BOOKMARK), SQL_SUCCESS);
  EXPECT_EQ(fake->last("BulkOperations"), "BulkOperations op=5");
}

TEST_F(Odbc3Stmt, CloseCursor) {
  struct Case {
    const char* variant;
    int app;
    const char* call;
  } cases[] = {
      {"odbc3", 3, "CloseCursor"}, {"odbc3", 2, "FreeStmt option=0"}, {"odbc2", 3, "FreeStmt option=0"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.variant) + " app " + std::to_string(c.app));
    open_fake(c.variant, c.app);
    ASSERT_EQ(SQLPrepare(stmt, S("SELECT a"), SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    ASSERT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
    EXPECT_EQ(fake->calls(c.call).size(), 1u);
    EXPECT_EQ(rec()->state, 1);
    EXPECT_EQ(rec()->cursor_state, 0);
    // A catalog result on a statement that never held prepared text goes back to state 0.
    ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, stmt), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
    ASSERT_EQ(SQLTables(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
    EXPECT_EQ(rec()->state, 0);
    TearDown();
    stmt = nullptr;
    dbc = nullptr;
    env = nullptr;
  }
  open_fake("odbc3");
  SQLLEN dae = SQL_DATA_AT_EXEC;
  SQLINTEGER v = 0;
  ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, &dae),
            SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(stmt, S("INSERT ?"), SQL_NTS), SQL_NEED_DATA);
  EXPECT_EQ(SQLCloseCursor(stmt), SQL_ERROR);
  EXPECT_EQ(stmt_states(), std::vector<std::string>{"S1010"});
  ASSERT_EQ(SQLCancel(stmt), SQL_SUCCESS);
}

TEST_F(Odbc3Stmt, BindParamIsAnInputBindParameter) {
  for (int app : {3, 2}) {
    SCOPED_TRACE(app);
    open_fake("odbc3", app);
    SQLINTEGER v = 5;
    ASSERT_EQ(SQLBindParam(stmt, 1, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, nullptr), SQL_SUCCESS);
    EXPECT_EQ(rec()->params[0].io_type, SQL_PARAM_INPUT);
    EXPECT_EQ(rec()->params[0].buffer_len, 256);
    // A driver that has SQLBindParameter gets it, with a buffer length, for either application.
    EXPECT_EQ(fake->last("BindParameter"),
              "BindParameter ipar=1 io=1 c=4 sql=4 size=0 digits=0 len=256 own=set");
    EXPECT_TRUE(fake->calls("BindParam ").empty());
    TearDown();
    stmt = nullptr;
    dbc = nullptr;
    env = nullptr;
  }
}

TEST_F(Odbc3Stmt, EndTran) {
  open_fake("odbc3");
  ASSERT_EQ(SQLPrepare(stmt, S("SELECT a"), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS);
  dmtest::fake_log_clear("odbc3");
  ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_SUCCESS);
  EXPECT_EQ(dmtest::fake_calls("odbc3", "EndTran"), std::vector<std::string>{"EndTran type=0"});
  // The fake's cursors close at commit: the prepared statement is back in state 1.
  EXPECT_EQ(rec()->state, 1);
  ASSERT_EQ(SQLEndTran(SQL_HANDLE_ENV, env, SQL_ROLLBACK), SQL_SUCCESS);
  EXPECT_EQ(dmtest::fake_calls("odbc3", "EndTran").back(), "EndTran type=1");
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, 7), SQL_ERROR);
  EXPECT_EQ(diag_states(SQL_HANDLE_DBC, dbc), std::vector<std::string>{"S1012"});
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_STMT, stmt, SQL_COMMIT), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, env, SQL_COMMIT), SQL_INVALID_HANDLE);
}

TEST_F(Odbc3Stmt, EndTranRewindsByTheCompletionsOwnBehaviour) {
  struct Case {
    int app;
    SQLSMALLINT completion;
    int state_after;  // of a prepared, fetched statement
  } cases[] = {
      // commit keeps cursors, rollback closes them
      {3, SQL_COMMIT, 5},
      {3, SQL_ROLLBACK, 1},
      // an ODBC 2 application: both behaviours together, as before
      {2, SQL_COMMIT, 1},
      {2, SQL_ROLLBACK, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.app) + (c.completion == SQL_COMMIT ? " commit" : " rollback"));
    open_fake("odbc3", c.app);
    static_cast<zolandm_dbc*>(dbc)->commit_behavior = SQL_CB_PRESERVE;
    static_cast<zolandm_dbc*>(dbc)->rollback_behavior = SQL_CB_CLOSE;
    ASSERT_EQ(SQLPrepare(stmt, S("SELECT a"), SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, c.completion), SQL_SUCCESS);
    EXPECT_EQ(rec()->state, c.state_after);
    if (c.state_after == 5) {
      EXPECT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    }
    close_all();
  }
}

// Runs one kind of execution of `sql` on a fresh statement, ending with the call to the driver
// function `name`: ExecDirect, Execute (after SQLPrepare), ParamData (of a data-at-execution
// parameter, "?" in the text) or MoreResults (after SQLExecDirect).
SQLRETURN run_execution(SQLHSTMT h, const std::string& name, const char* sql) {
  static SQLLEN dae = SQL_DATA_AT_EXEC;
  static SQLINTEGER v = 1;
  if (name == "Execute") {
    EXPECT_EQ(SQLPrepare(h, S(sql), SQL_NTS), SQL_SUCCESS);
    return SQLExecute(h);
  }
  if (name == "ParamData") {
    EXPECT_EQ(SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, &dae),
              SQL_SUCCESS);
    EXPECT_EQ(SQLExecDirect(h, S(sql), SQL_NTS), SQL_NEED_DATA);
    return SQLParamData(h, nullptr);
  }
  if (name == "MoreResults") {
    EXPECT_EQ(SQLExecDirect(h, S(sql), SQL_NTS), SQL_SUCCESS);
    return SQLMoreResults(h);
  }
  return SQLExecDirect(h, S(sql), SQL_NTS);
}

// A driver's SQL_SUCCESS_WITH_INFO and its records reach an ODBC 3 application through every
// call that ends in a new result state; the manager asks the driver nothing in between.
TEST_F(Odbc3Stmt, DriverWarningsReachTheApplication) {
  for (const char* name : {"ExecDirect", "Execute", "ParamData", "MoreResults"}) {
    SCOPED_TRACE(name);
    open_fake("odbc3", 3);
    fake->set("warn", 1);
    fake->set((std::string("rc:") + name).c_str(), SQL_SUCCESS_WITH_INFO);
    ASSERT_EQ(run_execution(stmt, name, std::string(name) == "ParamData" ? "SELECT ?" : "SELECT a"),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(fake->log().back().rfind(name, 0), 0u) << fake->log().back();
    auto recs = diag_recs(SQL_HANDLE_STMT, stmt);
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].state, "01000");
    EXPECT_EQ(recs[0].native, 7);
    EXPECT_NE(recs[0].text.find(std::string(name) + " warning"), std::string::npos) << recs[0].text;
    SQLINTEGER count = 0;
    ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_NUMBER, &count, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(count, 1);
    // The result is there all the same.
    EXPECT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    close_all();
  }
  // An ODBC 2 application keeps SQL_SUCCESS from an execution.
  open_fake("odbc3", 2);
  fake->set("rc:ExecDirect", SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(SQLExecDirect(stmt, S("SELECT a"), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(rec()->state, 4);
}

// SQL_NO_DATA from an execution (a searched update or delete without rows) is an execution
// without a result for an ODBC 3 application: SQLRowCount may follow.
TEST_F(Odbc3Stmt, ExecutionWithoutRows) {
  for (const char* name : {"ExecDirect", "Execute", "ParamData"}) {
    SCOPED_TRACE(name);
    open_fake("odbc3", 3);
    fake->set((std::string("rc:") + name).c_str(), SQL_NO_DATA);
    ASSERT_EQ(run_execution(stmt, name, std::string(name) == "ParamData" ? "UPDATE ?" : "UPDATE a"),
              SQL_NO_DATA);
    EXPECT_EQ(rec()->state, 3);
    EXPECT_EQ(rec()->need_data_func, 0);
    SQLLEN n = -1;
    EXPECT_EQ(SQLRowCount(stmt, &n), SQL_SUCCESS);
    close_all();
  }
  // An ODBC 2 application's statement stays where it was.
  open_fake("odbc3", 2);
  ASSERT_EQ(SQLPrepare(stmt, S("UPDATE a"), SQL_NTS), SQL_SUCCESS);
  fake->set("rc:Execute", SQL_NO_DATA);
  ASSERT_EQ(SQLExecute(stmt), SQL_NO_DATA);
  EXPECT_EQ(rec()->state, 1);
}

// The next result of a batch starts unfetched for an ODBC 3 application; an ODBC 2
// application's statement keeps its state.
TEST_F(Odbc3Stmt, MoreResultsStartsTheNextResult) {
  for (int app : {3, 2}) {
    SCOPED_TRACE(app);
    open_fake("odbc3", app);
    exec("SELECT a");
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    fake->set("rc:MoreResults", SQL_SUCCESS);
    ASSERT_EQ(SQLMoreResults(stmt), SQL_SUCCESS);
    EXPECT_EQ(rec()->state, app == 3 ? 4 : 5);
    EXPECT_EQ(rec()->cursor_state, app == 3 ? 2 : 3);
    close_all();
  }
}

}  // namespace
