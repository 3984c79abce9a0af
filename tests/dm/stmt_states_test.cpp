// Call order and state moves of the statement functions on the fake driver: the refusal
// tables (argument errors before state errors), asynchronous returns, data at execution,
// SQLCancel, allocation and release, and the choice of the driver's function by width and
// ODBC version.

#include <cstring>
#include <cwchar>
#include <functional>
#include <thread>

#include "dm/stmt_test_util.h"

namespace {

using namespace stmttest;

class Fake : public StmtTest {};

// ---- refusal tables ---------------------------------------------------------------------------

struct Refusal {
  const char* what;
  int state;
  int prepared;
  std::function<SQLRETURN(SQLHSTMT)> call;
  const char* sqlstate;  // "" when the call must reach the driver
};

SQLWCHAR* none_w = nullptr;

std::vector<Refusal> refusals() {
  SQLCHAR* sel = S("SELECT 1");
  static SQLINTEGER v = 0;
  static SQLLEN ind = 0;
  static char buf[32];
  return {
      {"Execute unprepared", 0, 0, [](SQLHSTMT h) { return SQLExecute(h); }, "S1010"},
      {"Execute fetched prepared", 5, 1, [](SQLHSTMT h) { return SQLExecute(h); }, "24000"},
      {"Execute fetched unprepared", 6, 0, [](SQLHSTMT h) { return SQLExecute(h); }, "S1010"},
      {"Execute need data", 7, 1, [](SQLHSTMT h) { return SQLExecute(h); }, "S1010"},
      {"Execute executed unprepared", 3, 0, [](SQLHSTMT h) { return SQLExecute(h); }, "S1010"},
      {"Execute prepared", 1, 1, [](SQLHSTMT h) { return SQLExecute(h); }, ""},
      {"ExecDirect null text before state", 5, 0,
       [](SQLHSTMT h) { return SQLExecDirect(h, nullptr, SQL_NTS); }, "HY009"},
      {"ExecDirect bad length before state", 8, 0, [=](SQLHSTMT h) { return SQLExecDirect(h, sel, -1); },
       "S1090"},
      {"ExecDirect fetched", 6, 0, [=](SQLHSTMT h) { return SQLExecDirect(h, sel, SQL_NTS); }, "24000"},
      {"ExecDirect need data", 9, 0, [=](SQLHSTMT h) { return SQLExecDirect(h, sel, SQL_NTS); }, "S1010"},
      {"Prepare fetched", 5, 1, [=](SQLHSTMT h) { return SQLPrepare(h, sel, SQL_NTS); }, "24000"},
      {"Prepare state before arguments", 7, 0, [](SQLHSTMT h) { return SQLPrepare(h, nullptr, SQL_NTS); },
       "S1010"},
      {"Prepare null text", 0, 0, [](SQLHSTMT h) { return SQLPrepare(h, nullptr, SQL_NTS); }, "HY009"},
      {"Prepare bad length", 0, 0, [=](SQLHSTMT h) { return SQLPrepare(h, sel, -1); }, "S1090"},
      {"Fetch allocated", 0, 0, [](SQLHSTMT h) { return SQLFetch(h); }, "S1010"},
      {"Fetch prepared", 1, 1, [](SQLHSTMT h) { return SQLFetch(h); }, "S1010"},
      {"Fetch after rowset fetch", 6, 1, [](SQLHSTMT h) { return SQLFetch(h); }, "S1010"},
      {"Fetch need data", 8, 1, [](SQLHSTMT h) { return SQLFetch(h); }, "S1010"},
      {"ExtendedFetch orientation before state", 0, 0,
       [](SQLHSTMT h) { return SQLExtendedFetch(h, 9, 0, nullptr, nullptr); }, "S1106"},
      {"ExtendedFetch after fetch", 5, 1,
       [](SQLHSTMT h) { return SQLExtendedFetch(h, 1, 0, nullptr, nullptr); }, "S1010"},
      {"GetData null buffer first", 0, 0,
       [](SQLHSTMT h) { return SQLGetData(h, 1, SQL_C_CHAR, nullptr, 8, &ind); }, "HY009"},
      {"GetData negative length", 5, 0,
       [](SQLHSTMT h) { return SQLGetData(h, 1, SQL_C_CHAR, buf, -1, &ind); }, "S1090"},
      {"GetData bad type", 5, 0, [](SQLHSTMT h) { return SQLGetData(h, 1, 77, buf, 8, &ind); }, "S1003"},
      {"GetData not fetched", 4, 0, [](SQLHSTMT h) { return SQLGetData(h, 1, SQL_C_CHAR, buf, 8, &ind); },
       "24000"},
      {"GetData prepared", 1, 1, [](SQLHSTMT h) { return SQLGetData(h, 1, SQL_C_CHAR, buf, 8, &ind); },
       "S1010"},
      {"SetPos operation first", 0, 0, [](SQLHSTMT h) { return SQLSetPos(h, 1, 5, 0); }, "HY009"},
      {"SetPos lock type", 6, 0, [](SQLHSTMT h) { return SQLSetPos(h, 1, 0, 3); }, "HY009"},
      {"SetPos executed", 3, 0, [](SQLHSTMT h) { return SQLSetPos(h, 1, 0, 0); }, "24000"},
      {"SetPos need data", 7, 0, [](SQLHSTMT h) { return SQLSetPos(h, 1, 0, 0); }, "S1010"},
      {"PutData null data first", 0, 0, [](SQLHSTMT h) { return SQLPutData(h, nullptr, 5); }, "HY009"},
      {"PutData open cursor", 4, 0, [](SQLHSTMT h) { return SQLPutData(h, buf, 1); }, "S1010"},
      {"ParamData executed", 3, 0, [](SQLHSTMT h) { return SQLParamData(h, nullptr); }, "S1010"},
      {"NumParams null pointer in any state", 8, 0, [](SQLHSTMT h) { return SQLNumParams(h, nullptr); }, ""},
      {"NumParams allocated", 0, 0,
       [](SQLHSTMT h) {
         SQLSMALLINT n;
         return SQLNumParams(h, &n);
       },
       "S1010"},
      {"DescribeParam number 0", 1, 1,
       [](SQLHSTMT h) { return SQLDescribeParam(h, 0, nullptr, nullptr, nullptr, nullptr); }, "S1093"},
      {"RowCount prepared", 1, 1,
       [](SQLHSTMT h) {
         SQLLEN n;
         return SQLRowCount(h, &n);
       },
       "S1010"},
      {"NumResultCols allocated", 0, 0,
       [](SQLHSTMT h) {
         SQLSMALLINT n;
         return SQLNumResultCols(h, &n);
       },
       "S1010"},
      {"BindCol bad type", 0, 0, [](SQLHSTMT h) { return SQLBindCol(h, 1, 55, &v, 4, nullptr); }, "S1003"},
      {"BindCol negative length", 0, 0,
       [](SQLHSTMT h) { return SQLBindCol(h, 1, SQL_C_LONG, &v, -1, nullptr); }, "S1090"},
      {"BindCol need data accepted", 7, 0,
       [](SQLHSTMT h) { return SQLBindCol(h, 1, SQL_C_LONG, &v, 4, nullptr); }, ""},
      {"BindCol must put data", 8, 0, [](SQLHSTMT h) { return SQLBindCol(h, 1, SQL_C_LONG, &v, 4, nullptr); },
       "S1010"},
      {"BindParameter number 0", 7, 0,
       [](SQLHSTMT h) { return SQLBindParameter(h, 0, 1, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, nullptr); },
       "S1093"},
      {"BindParameter no buffers", 0, 0,
       [](SQLHSTMT h) {
         return SQLBindParameter(h, 1, 1, SQL_C_LONG, SQL_INTEGER, 0, 0, nullptr, 0, nullptr);
       },
       "HY009"},
      {"BindParameter output without buffers", 0, 0,
       [](SQLHSTMT h) {
         return SQLBindParameter(h, 1, 4, SQL_C_LONG, SQL_INTEGER, 0, 0, nullptr, 0, nullptr);
       },
       ""},
      {"BindParameter direction 3", 0, 0,
       [](SQLHSTMT h) { return SQLBindParameter(h, 1, 3, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, nullptr); },
       "S1105"},
      {"BindParameter bad C type", 7, 0,
       [](SQLHSTMT h) { return SQLBindParameter(h, 1, 1, 3, SQL_INTEGER, 0, 0, &v, 0, nullptr); }, "S1003"},
      {"BindParameter need data", 7, 0,
       [](SQLHSTMT h) { return SQLBindParameter(h, 1, 1, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, nullptr); },
       "S1010"},
      {"BindParameter 1025", 0, 0,
       [](SQLHSTMT h) { return SQLBindParameter(h, 1025, 1, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, nullptr); },
       "S1093"},
      {"BindParameter 1024", 0, 0,
       [](SQLHSTMT h) { return SQLBindParameter(h, 1024, 1, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, nullptr); },
       ""},
      {"ParamOptions zero", 0, 0, [](SQLHSTMT h) { return SQLParamOptions(h, 0, nullptr); }, "S1107"},
      {"SetCursorName arguments first", 4, 0, [](SQLHSTMT h) { return SQLSetCursorName(h, S("c"), -7); },
       "S1090"},
      {"SetCursorName open cursor", 4, 0, [](SQLHSTMT h) { return SQLSetCursorName(h, S("c"), SQL_NTS); },
       "24000"},
      {"GetCursorName without a name", 3, 0,
       [](SQLHSTMT h) { return SQLGetCursorName(h, S(buf), 32, nullptr); }, "S1015"},
      {"GetCursorName fetched", 5, 0, [](SQLHSTMT h) { return SQLGetCursorName(h, S(buf), 32, nullptr); },
       ""},
      {"Tables length first", 7, 0,
       [](SQLHSTMT h) { return SQLTables(h, nullptr, -5, nullptr, 0, nullptr, 0, nullptr, 0); }, "S1090"},
      {"Tables fetched", 5, 0,
       [](SQLHSTMT h) { return SQLTables(h, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0); }, "24000"},
      {"Tables need data", 9, 0,
       [](SQLHSTMT h) { return SQLTables(h, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0); }, "S1010"},
      {"SpecialColumns length before identifier", 7, 0,
       [](SQLHSTMT h) { return SQLSpecialColumns(h, 9, nullptr, 0, nullptr, -5, nullptr, 0, 0, 0); },
       "S1090"},
      {"SpecialColumns identifier before scope", 0, 0,
       [](SQLHSTMT h) { return SQLSpecialColumns(h, 9, nullptr, 0, nullptr, 0, nullptr, 0, 7, 0); }, "S1097"},
      {"SpecialColumns scope", 0, 0,
       [](SQLHSTMT h) { return SQLSpecialColumns(h, 1, nullptr, 0, nullptr, 0, nullptr, 0, 3, 0); }, "S1098"},
      {"SpecialColumns nullable", 0, 0,
       [](SQLHSTMT h) { return SQLSpecialColumns(h, 1, nullptr, 0, nullptr, 0, nullptr, 0, 0, 2); }, "S1099"},
      {"Statistics unique", 0, 0,
       [](SQLHSTMT h) { return SQLStatistics(h, nullptr, 0, nullptr, 0, nullptr, 0, 2, 0); }, "S1100"},
      {"Statistics reserved", 0, 0,
       [](SQLHSTMT h) { return SQLStatistics(h, nullptr, 0, nullptr, 0, nullptr, 0, 1, 2); }, "S1101"},
      {"ColumnsW length", 0, 0,
       [](SQLHSTMT h) { return SQLColumnsW(h, none_w, SHRT_MIN, none_w, 0, none_w, 0, none_w, 0); }, "S1090"},
      {"GetTypeInfo open cursor reaches the driver", 4, 0, [](SQLHSTMT h) { return SQLGetTypeInfo(h, 1234); },
       ""},
      {"DescribeCol column 0", 4, 0,
       [](SQLHSTMT h) {
         return SQLDescribeCol(h, 0, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr);
       },
       "S1002"},
      {"DescribeCol negative length", 4, 0,
       [](SQLHSTMT h) {
         return SQLDescribeCol(h, 1, S(buf), -1, nullptr, nullptr, nullptr, nullptr, nullptr);
       },
       "S1090"},
      {"DescribeCol has no state check", 0, 0,
       [](SQLHSTMT h) {
         return SQLDescribeCol(h, 1, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr);
       },
       ""},
      {"ColAttributes column 0", 4, 0,
       [](SQLHSTMT h) { return SQLColAttributes(h, 0, SQL_COLUMN_TYPE, nullptr, 0, nullptr, nullptr); },
       "S1002"},
      {"ColAttributes count on column 0", 4, 0,
       [](SQLHSTMT h) { return SQLColAttributes(h, 0, SQL_COLUMN_COUNT, nullptr, 0, nullptr, nullptr); }, ""},
      {"ColAttributes negative length", 0, 0,
       [](SQLHSTMT h) { return SQLColAttributes(h, 1, SQL_COLUMN_NAME, buf, -1, nullptr, nullptr); },
       "S1090"},
      {"ColAttributes allocated", 0, 0,
       [](SQLHSTMT h) { return SQLColAttributes(h, 1, SQL_COLUMN_TYPE, nullptr, 0, nullptr, nullptr); },
       "S1010"},
      {"FreeStmt option 4", 0, 0, [](SQLHSTMT h) { return SQLFreeStmt(h, 4); }, "S1092"},
      {"FreeStmt drop in need data", 7, 0, [](SQLHSTMT h) { return SQLFreeStmt(h, SQL_DROP); }, "S1010"},
      {"GetStmtOption row number unpositioned", 4, 0,
       [](SQLHSTMT h) {
         SQLULEN n;
         return SQLGetStmtOption(h, SQL_ROW_NUMBER, &n);
       },
       "24000"},
      {"SetStmtOption concurrency prepared", 1, 1,
       [](SQLHSTMT h) { return SQLSetStmtOption(h, SQL_CONCURRENCY, 2); }, "S1011"},
      {"SetStmtOption concurrency open cursor", 4, 1,
       [](SQLHSTMT h) { return SQLSetStmtOption(h, SQL_CONCURRENCY, 2); }, "24000"},
      {"SetStmtOption timeout need data", 7, 1,
       [](SQLHSTMT h) { return SQLSetStmtOption(h, SQL_QUERY_TIMEOUT, 2); }, "S1010"},
      {"SetStmtOption cursor type need data unprepared", 7, 0,
       [](SQLHSTMT h) { return SQLSetStmtOption(h, SQL_CURSOR_TYPE, 0); }, ""},
  };
}

TEST_F(Fake, RefusalsInTheOrderOfTheirChecks) {
  open_fake("odbc2");
  for (const Refusal& r : refusals()) {
    SCOPED_TRACE(r.what);
    rec()->state = r.state;
    rec()->prepared = r.prepared;
    rec()->cursor_state = 0;
    size_t before = fake->log().size();
    SQLRETURN rc = r.call(stmt);
    if (r.sqlstate[0] != '\0') {
      EXPECT_EQ(rc, SQL_ERROR);
      EXPECT_EQ(st(), std::vector<std::string>{r.sqlstate});
      EXPECT_EQ(fake->log().size(), before) << "the driver was called";
      EXPECT_EQ(rec()->state, r.state);
    } else {
      EXPECT_NE(rc, SQL_ERROR) << first_state();
      EXPECT_NE(rc, SQL_INVALID_HANDLE);
    }
  }
  rec()->state = 0;
}

// ---- SQLSetScrollOptions: the driver's own, or set through statement attributes -----------

struct ScrollCase {
  const char* what;
  const char* variant;
  int app;
  SQLUSMALLINT concurrency;
  SQLLEN keyset;
  SQLUSMALLINT rowset;
  std::vector<std::pair<const char*, long>> controls;  // fake driver settings
  SQLRETURN rc;
  const char* sqlstate;                   // "" when the manager reports nothing
  std::vector<std::string> driver_calls;  // GetInfo, SetStmtAttr and SetScrollOptions lines, in order
};

std::vector<ScrollCase> scroll_cases() {
  auto attrs = [](std::initializer_list<std::pair<int, long>> l) {
    std::vector<std::string> out;
    for (auto [a, v] : l)
      out.push_back("SetStmtAttr attr=" + std::to_string(a) + " value=" + std::to_string(v) + " len=0");
    return out;
  };
  auto with_info = [](const char* info, std::vector<std::string> rest) {
    rest.insert(rest.begin(), std::string("GetInfo info=") + info);
    return rest;
  };
  return {
      {"rowset 0 before concurrency", "odbc2", 2, 9, 0, 0, {}, SQL_ERROR, "S1107", {}},
      {"keyset below rowset", "odbc3", 3, 4, 5, 10, {}, SQL_ERROR, "S1107", {}},
      {"keyset -4", "odbc3", 3, 1, -4, 1, {}, SQL_ERROR, "S1107", {}},
      {"concurrency 0", "odbc3", 3, 0, 0, 1, {}, SQL_ERROR, "S1108", {}},
      {"concurrency 5", "odbc2", 2, 5, -1, 1, {}, SQL_ERROR, "S1108", {}},
      {"ODBC 2 driver's own function",
       "odbc2",
       2,
       4,
       100,
       10,
       {},
       SQL_SUCCESS,
       "",
       {"SetScrollOptions concurrency=4 keyset=100 rowset=10"}},
      {"keyset size",
       "odbc3",
       3,
       4,
       100,
       10,
       {{"info:151", 8}},
       SQL_SUCCESS,
       "",
       with_info("151", attrs({{6, 1}, {7, 4}, {8, 100}, {9, 10}}))},
      {"ODBC 2 application on a driver without the function",
       "odbc3",
       2,
       1,
       0,
       5,
       {{"info:147", 1}},
       SQL_SUCCESS,
       "",
       with_info("147", attrs({{6, 0}, {7, 1}, {9, 5}}))},
      {"keyset driven",
       "odbc3",
       3,
       2,
       -1,
       3,
       {{"info:151", 2}},
       SQL_SUCCESS,
       "",
       with_info("151", attrs({{6, 1}, {7, 2}, {9, 3}}))},
      {"dynamic",
       "odbc3",
       3,
       3,
       -2,
       3,
       {{"info:145", 4}},
       SQL_SUCCESS,
       "",
       with_info("145", attrs({{6, 2}, {7, 3}, {9, 3}}))},
      {"static",
       "odbc3",
       3,
       1,
       -3,
       2,
       {{"info:168", 1}},
       SQL_SUCCESS,
       "",
       with_info("168", attrs({{6, 3}, {7, 1}, {9, 2}}))},
      {"concurrency the cursor type lacks",
       "odbc3",
       3,
       4,
       -3,
       2,
       {{"info:168", 7}},
       SQL_ERROR,
       "S1C00",
       {"GetInfo info=168"}},
      {"driver's information refused", "odbc3", 3, 1, 0, 1, {}, SQL_ERROR, "", {"GetInfo info=147"}},
      {"information with a warning stops",
       "odbc3",
       3,
       1,
       0,
       1,
       {{"info:147", 1}, {"rc:GetInfo", 1}},
       SQL_SUCCESS_WITH_INFO,
       "",
       {"GetInfo info=147"}},
      {"first refused attribute stops",
       "odbc3",
       3,
       1,
       0,
       1,
       {{"info:147", 1}, {"rc:SetStmtAttr", -1}},
       SQL_ERROR,
       "",
       with_info("147", attrs({{6, 0}}))},
      {"no state check, pending call included",
       "odbc3",
       3,
       1,
       0,
       1,
       {{"info:147", 1}},
       SQL_SUCCESS,
       "",
       with_info("147", attrs({{6, 0}, {7, 1}, {9, 1}}))},
  };
}

TEST_F(Fake, ScrollOptionsByDriverFunctionOrAttributes) {
  for (const ScrollCase& c : scroll_cases()) {
    SCOPED_TRACE(c.what);
    // Each case connects by the driver's path: the cases switch drivers within one test.
    open_env(c.app);
    if (HasFatalFailure()) return;
    std::string in = "DRIVER=" + dmtest::fake_driver(c.variant) + ";UID=u;PWD=p";
    SQLRETURN crc = SQLDriverConnect(dbc, nullptr, S(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    ASSERT_TRUE(crc == SQL_SUCCESS || crc == SQL_SUCCESS_WITH_INFO) << crc;
    fake = std::make_unique<FakeStmt>(c.variant);
    fake->reset();
    ASSERT_EQ(SQLAllocStmt(dbc, &stmt), SQL_SUCCESS);
    if (std::string(c.what).rfind("no state check", 0) == 0) {
      rec()->state = 7;
      rec()->async_func = ZOLANDM_FN_SQLExecute;
    }
    for (auto [k, v] : c.controls) fake->set(k, v);
    SQLRETURN rc = SQLSetScrollOptions(stmt, c.concurrency, c.keyset, c.rowset);
    EXPECT_EQ(rc, c.rc) << first_state();
    std::vector<std::string> calls;
    for (const std::string& l : fake->log()) {
      if (l.rfind("GetInfo", 0) == 0 || l.rfind("SetStmtAttr", 0) == 0 ||
          l.rfind("SetScrollOptions", 0) == 0) {
        calls.push_back(l);
      }
    }
    EXPECT_EQ(calls, c.driver_calls) << ::testing::PrintToString(fake->log());
    if (c.sqlstate[0] != '\0') {
      EXPECT_EQ(st(), std::vector<std::string>{c.sqlstate});
    }
    if (c.driver_calls.size() == 1 && c.driver_calls.front().rfind("GetInfo", 0) == 0 &&
        c.sqlstate[0] == '\0') {
      // The information call's code belongs to the connection.
      EXPECT_EQ(static_cast<zolandm_dbc*>(dbc)->last_rc, c.rc);
    }
    rec()->state = 0;
    rec()->async_func = 0;
    TearDown();
    stmt = nullptr;
    dbc = nullptr;
    env = nullptr;
  }
}

// ---- state moves of the catalog functions -------------------------------------------------------

struct CatalogMove {
  int state, prepared, async_func;
  SQLRETURN driver_rc;
  int state_after, prepared_after, async_after;
};

TEST_F(Fake, CatalogStateMoves) {
  const int T = ZOLANDM_FN_SQLTables;
  const std::vector<CatalogMove> moves = {
      {1, 1, 0, SQL_SUCCESS, 4, 1, 0},         {2, 1, 0, SQL_SUCCESS_WITH_INFO, 4, 1, 0},
      {3, 0, 0, SQL_ERROR, 0, 0, 0},           {1, 1, 0, SQL_ERROR, 0, 0, 0},
      {0, 0, 0, SQL_STILL_EXECUTING, 0, 0, T}, {3, 1, 0, SQL_STILL_EXECUTING, 3, 1, T},
      {0, 0, T, SQL_SUCCESS, 4, 0, 0},         {1, 1, T, SQL_ERROR, 0, 0, 0},
      {0, 0, T, SQL_STILL_EXECUTING, 0, 0, T}, {0, 0, T, SQL_NO_DATA, 0, 0, T},
      {2, 1, 0, SQL_NO_DATA, 2, 1, 0},         {2, 1, 0, SQL_NEED_DATA, 2, 1, 0},
      {4, 1, 0, SQL_ERROR, 4, 1, 0},           {4, 1, 0, SQL_STILL_EXECUTING, 4, 1, 0},
      {4, 0, 0, SQL_SUCCESS, 4, 0, 0},
  };
  open_fake("odbc3");
  for (const CatalogMove& m : moves) {
    SCOPED_TRACE(::testing::Message()
                 << "state " << m.state << " async " << m.async_func << " driver " << m.driver_rc);
    for (int width = 0; width < 2; ++width) {
      rec()->state = m.state;
      rec()->prepared = m.prepared;
      rec()->async_func = m.async_func;
      rec()->cursor_state = 3;
      fake->set("rc:Catalog", m.driver_rc);
      SQLRETURN rc = width == 0 ? SQLTables(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0)
                                : SQLTablesW(stmt, none_w, 0, none_w, 0, none_w, 0, none_w, 0);
      EXPECT_EQ(rc, m.driver_rc) << first_state();
      EXPECT_EQ(rec()->state, m.state_after);
      EXPECT_EQ(rec()->prepared, m.prepared_after);
      EXPECT_EQ(rec()->async_func, m.async_after);
      EXPECT_EQ(rec()->cursor_state, 3);
    }
  }
  rec()->state = 0;
  rec()->async_func = 0;
}

// ---- which states record a pending call --------------------------------------------------------

struct PendingCase {
  const char* fake_name;  // the fake driver's name for the call
  int state;
  int recorded;  // function id left in async_func, 0 when none
  std::function<SQLRETURN(SQLHSTMT)> call;
};

std::vector<PendingCase> pending_cases() {
  static char buf[16];
  static SQLLEN ind;
  static SQLSMALLINT n;
  auto execute = [](SQLHSTMT h) { return SQLExecute(h); };
  auto exec_direct = [](SQLHSTMT h) { return SQLExecDirect(h, S("SELECT a"), SQL_NTS); };
  auto put = [](SQLHSTMT h) { return SQLPutData(h, buf, 1); };
  auto param_data = [](SQLHSTMT h) { return SQLParamData(h, nullptr); };
  auto num_params = [](SQLHSTMT h) { return SQLNumParams(h, &n); };
  auto describe_param = [](SQLHSTMT h) { return SQLDescribeParam(h, 1, &n, nullptr, nullptr, nullptr); };
  auto fetch = [](SQLHSTMT h) { return SQLFetch(h); };
  auto ext_fetch = [](SQLHSTMT h) { return SQLExtendedFetch(h, SQL_FETCH_NEXT, 0, nullptr, nullptr); };
  auto get_data = [](SQLHSTMT h) { return SQLGetData(h, 1, SQL_C_CHAR, buf, sizeof buf, &ind); };
  auto more = [](SQLHSTMT h) { return SQLMoreResults(h); };
  auto set_pos = [](SQLHSTMT h) { return SQLSetPos(h, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE); };
  return {
      {"Execute", 1, 23, execute},
      {"Execute", 3, 23, execute},
      {"Execute", 2, 0, execute},
      {"Execute", 4, 0, execute},
      {"ExecDirect", 0, 24, exec_direct},
      {"ExecDirect", 3, 24, exec_direct},
      {"ExecDirect", 4, 0, exec_direct},
      {"PutData", 7, 29, put},
      {"PutData", 9, 29, put},
      {"ParamData", 8, 0, param_data},
      {"NumParams", 1, 27, num_params},
      {"NumParams", 6, 27, num_params},
      {"DescribeParam", 2, 26, describe_param},
      {"DescribeParam", 5, 26, describe_param},
      {"Fetch", 4, 35, fetch},
      {"Fetch", 5, 35, fetch},
      {"Fetch", 3, 0, fetch},
      {"ExtendedFetch", 4, 36, ext_fetch},
      {"ExtendedFetch", 6, 36, ext_fetch},
      {"ExtendedFetch", 3, 0, ext_fetch},
      {"GetData", 5, 37, get_data},
      {"GetData", 6, 37, get_data},
      {"MoreResults", 4, 39, more},
      {"MoreResults", 6, 39, more},
      {"MoreResults", 1, 0, more},
      {"MoreResults", 0, 0, more},
      {"SetPos", 5, 38, set_pos},
      {"SetPos", 6, 38, set_pos},
  };
}

TEST_F(Fake, StatesThatRecordAPendingCall) {
  open_fake("odbc2");
  for (const PendingCase& c : pending_cases()) {
    SCOPED_TRACE(::testing::Message() << c.fake_name << " in state " << c.state);
    rec()->state = c.state;
    rec()->prepared = 1;
    rec()->async_func = 0;
    rec()->need_data_func = c.state >= 7 ? ZOLANDM_FN_SQLExecute : 0;
    fake->set((std::string("rc:") + c.fake_name).c_str(), SQL_STILL_EXECUTING);
    EXPECT_EQ(c.call(stmt), SQL_STILL_EXECUTING) << first_state();
    EXPECT_EQ(rec()->async_func, c.recorded);
    EXPECT_EQ(rec()->state, c.state);
    fake->reset();
  }
  rec()->state = 0;
  rec()->async_func = 0;
  rec()->need_data_func = 0;
}

TEST_F(Fake, InvalidHandles) {
  open_fake("odbc2");
  EXPECT_EQ(SQLExecute(nullptr), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLFetch(dbc), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLCancel(env), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLTables(nullptr, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLGetInfo(stmt, SQL_DM_VER, nullptr, 0, nullptr), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLAllocStmt(nullptr, &stmt), SQL_INVALID_HANDLE);
}

// ---- allocation, release and options --------------------------------------------------------

TEST_F(Fake, AllocationNeedsAConnection) {
  open_env(2);
  SQLHSTMT s = reinterpret_cast<SQLHSTMT>(1);
  EXPECT_EQ(SQLAllocStmt(dbc, &s), SQL_ERROR);
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(dmtest::states(nullptr, dbc, nullptr), std::vector<std::string>{"08003"});
}

TEST_F(Fake, ImplicitDescriptorsOfAnOdbc3Driver) {
  open_fake("odbc3");
  EXPECT_EQ(static_cast<zolandm_dbc*>(dbc)->state, 3);
  for (int i = 0; i < 4; ++i) {
    ASSERT_NE(rec()->imp_desc[i], nullptr);
    EXPECT_EQ(rec()->imp_desc[i]->owner_stmt, rec());
    EXPECT_EQ(*static_cast<int*>(rec()->imp_desc[i]->drv_desc), 10010 + i);
  }
  EXPECT_EQ(SQLAllocStmt(dbc, nullptr), SQL_ERROR);
  EXPECT_EQ(dmtest::states(nullptr, dbc, nullptr), std::vector<std::string>{"HY009"});
}

TEST_F(Fake, ADriverWithoutImplicitDescriptorsStillGetsItsStatement) {
  open_fake("odbc3");
  fake->set("no_descs", 1);
  SQLHSTMT s = nullptr;
  ASSERT_EQ(SQLAllocStmt(dbc, &s), SQL_SUCCESS);
  auto* r = static_cast<zolandm_stmt*>(s);
  for (zolandm_desc* d : r->imp_desc) EXPECT_EQ(d, nullptr);
  ASSERT_EQ(SQLExecDirect(s, S("SELECT x"), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(s, SQL_DROP), SQL_SUCCESS);
}

TEST_F(Fake, Odbc2DriverGetsTheManagersDescriptors) {
  open_fake("odbc2");
  for (zolandm_desc* d : rec()->imp_desc) {
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->drv_desc, nullptr);
    EXPECT_EQ(d->handle_type, ZOLANDM_DESC);
  }
  EXPECT_EQ(fake->calls("AllocStmt").size(), 1u);
}

TEST_F(Fake, FailedAllocationLeavesNothing) {
  open_fake("odbc2");
  fake->set("rc:AllocStmt", -1);
  SQLHSTMT s = reinterpret_cast<SQLHSTMT>(1);
  EXPECT_EQ(SQLAllocStmt(dbc, &s), SQL_ERROR);
  EXPECT_EQ(s, nullptr);
  _zolandm_fail_alloc_after(1);
  fake->set("rc:AllocStmt", 0);
  EXPECT_EQ(SQLAllocStmt(dbc, &s), SQL_ERROR);
  _zolandm_fail_alloc_after(0);
  EXPECT_EQ(dmtest::states(nullptr, dbc, nullptr), std::vector<std::string>{"S1001"});
  EXPECT_EQ(static_cast<zolandm_dbc*>(dbc)->stmts, rec());
  EXPECT_EQ(rec()->next, nullptr);
}

TEST_F(Fake, AllocationFailuresOfTheStatementParts) {
  open_fake("odbc2", 3);
  SQLHSTMT s = reinterpret_cast<SQLHSTMT>(1);
  // The second allocation is the row-status array of an ODBC 3 application on an ODBC 2 driver.
  _zolandm_fail_alloc_after(2);
  EXPECT_EQ(SQLAllocStmt(dbc, &s), SQL_ERROR);
  _zolandm_fail_alloc_after(0);
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(dmtest::states(nullptr, dbc, nullptr), std::vector<std::string>{"HY001"});
  // A descriptor record: the driver's statement is dropped again.
  _zolandm_fail_alloc_after(4);
  EXPECT_EQ(SQLAllocStmt(dbc, &s), SQL_ERROR);
  _zolandm_fail_alloc_after(0);
  EXPECT_EQ(dmtest::states(nullptr, dbc, nullptr), std::vector<std::string>{"HY001"});
  EXPECT_EQ(fake->calls("AllocStmt").size(), fake->calls("DropStmt").size() + 1);
  // The parameter table keeps its rows when it cannot grow.
  SQLINTEGER v = 0;
  ASSERT_EQ(SQLBindParameter(stmt, 1, 1, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, nullptr), SQL_SUCCESS);
  zolandm_param* table = rec()->params;
  _zolandm_fail_alloc_after(1);
  EXPECT_EQ(SQLBindParameter(stmt, 40, 1, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, nullptr), SQL_ERROR);
  _zolandm_fail_alloc_after(0);
  EXPECT_EQ(first_state(), "S1001");
  EXPECT_EQ(rec()->params, table);
  EXPECT_EQ(rec()->params_alloc, 11);
  EXPECT_EQ(rec()->params[0].param_no, 1);
}

TEST_F(Fake, CloseReturnsToPreparedOrAllocated) {
  open_fake("odbc2");
  ASSERT_EQ(SQLPrepare(stmt, S("SELECT a"), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
  EXPECT_EQ(rec()->state, 1);
  ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS);
  exec("SELECT b");
  EXPECT_EQ(rec()->prepared, 1);  // an executed text can be executed again
  ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
  EXPECT_EQ(rec()->state, 1);
  rec()->prepared = 0;
  rec()->state = 4;
  ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
  EXPECT_EQ(rec()->state, 0);
}

TEST_F(Fake, RowsetSizeTakesTheDriversValue) {
  open_fake("odbc2");
  fake->set("rowset_cap", 4);
  EXPECT_EQ(SQLSetStmtOption(stmt, SQL_ROWSET_SIZE, 10), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(rec()->rowset_size, 4);
  EXPECT_EQ(SQLSetStmtOption(stmt, SQL_BIND_TYPE, 64), SQL_SUCCESS);
  EXPECT_EQ(rec()->bind_type, 64);
  EXPECT_EQ(rec()->param_bind_type, 0);  // the row bind type is not the parameters'
  EXPECT_EQ(SQLSetStmtOption(stmt, 18, 32), SQL_SUCCESS);
  EXPECT_EQ(rec()->param_bind_type, 32);
  EXPECT_EQ(rec()->bind_type, 64);
}

TEST_F(Fake, StatementOptionsOnAnOdbc3Driver) {
  open_fake("odbc3");
  EXPECT_EQ(SQLSetStmtOption(stmt, SQL_QUERY_TIMEOUT, 9), SQL_SUCCESS);
  EXPECT_EQ(fake->last("SetStmtAttr"), "SetStmtAttr attr=0 value=9 len=0");
  EXPECT_EQ(SQLSetStmtOption(stmt, SQL_ATTR_ROW_ARRAY_SIZE + 0 == 27 ? 20 : 20, 1), SQL_ERROR);
  EXPECT_EQ(first_state(), "IM001");
  SQLULEN value = 0;
  EXPECT_EQ(SQLGetStmtOption(stmt, SQL_ROWSET_SIZE, &value), SQL_SUCCESS);
  EXPECT_EQ(fake->last("GetStmtAttr"), "GetStmtAttr attr=9 len=256");
}

// ---- cancel ----------------------------------------------------------------------------------------

TEST_F(Fake, CancelRewindsDataAtExecution) {
  open_fake("odbc2");
  SQLINTEGER v = 0;
  SQLLEN dae = SQL_DATA_AT_EXEC;
  ASSERT_EQ(SQLBindParameter(stmt, 1, 1, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, &dae), SQL_SUCCESS);
  struct Case {
    const char* what;
    std::function<SQLRETURN()> start;
    int after;
  };
  std::vector<Case> cases = {
      {"ExecDirect", [&] { return SQLExecDirect(stmt, S("INSERT ?"), SQL_NTS); }, 0},
      {"Execute",
       [&] {
         SQLPrepare(stmt, S("INSERT ?"), SQL_NTS);
         return SQLExecute(stmt);
       },
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(c.start(), SQL_NEED_DATA);
    EXPECT_EQ(rec()->state, 7);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_ERROR);
    EXPECT_EQ(SQLCancel(stmt), SQL_SUCCESS);
    EXPECT_EQ(rec()->state, c.after);
    EXPECT_EQ(rec()->need_data_func, 0);
  }
  // From a positioned update.
  SQLFreeStmt(stmt, SQL_RESET_PARAMS);
  exec("SELECT a");
  ASSERT_EQ(SQLExtendedFetch(stmt, SQL_FETCH_NEXT, 0, nullptr, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(stmt, 1, 1, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, &dae), SQL_SUCCESS);
  ASSERT_EQ(SQLSetPos(stmt, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_NEED_DATA);
  EXPECT_EQ(rec()->need_data_func, ZOLANDM_FN_SQLSetPos);
  EXPECT_EQ(SQLCancel(stmt), SQL_SUCCESS);
  EXPECT_EQ(rec()->state, 6);
  // An executed statement is closed, its cursor state kept.
  ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
  ASSERT_EQ(SQLFreeStmt(stmt, SQL_RESET_PARAMS), SQL_SUCCESS);
  exec("SELECT a");
  int cursor = rec()->cursor_state;
  EXPECT_EQ(SQLCancel(stmt), SQL_SUCCESS);
  EXPECT_EQ(rec()->state, 1);
  EXPECT_EQ(rec()->cursor_state, cursor);
}

TEST_F(Fake, CancelDuringARunningCallKeepsItsDiagnostics) {
  open_fake("odbc2");
  ASSERT_EQ(SQLPrepare(stmt, S("SELECT a"), SQL_NTS), SQL_SUCCESS);
  fake->set("block", 1);
  SQLRETURN running_rc = 99;
  std::thread runner([&] { running_rc = SQLExecute(stmt); });
  for (int i = 0; i < 5000 && fake->calls("Execute").empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_FALSE(fake->calls("Execute").empty());
  // A second call is refused beside the running one; cancel neither clears that nor the state.
  EXPECT_EQ(SQLFetch(stmt), SQL_ERROR);
  EXPECT_EQ(SQLCancel(stmt), SQL_SUCCESS);
  fake->set("gate", 1);
  runner.join();
  EXPECT_EQ(running_rc, SQL_SUCCESS);
  EXPECT_EQ(rec()->state, 4);
  EXPECT_EQ(st(), std::vector<std::string>{"S1010"});
}

// ---- data at execution and asynchronous calls ----------------------------------------------------

TEST_F(Fake, DataAtExecutionCycle) {
  open_fake("odbc2");
  char data[] = "abc";
  SQLLEN dae = SQL_LEN_DATA_AT_EXEC(3);
  ASSERT_EQ(SQLBindParameter(stmt, 1, 1, SQL_C_CHAR, SQL_VARCHAR, 10, 0, data, 0, &dae), SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(stmt, S("SELECT ?"), SQL_NTS), SQL_NEED_DATA);
  EXPECT_EQ(rec()->state, 7);
  EXPECT_EQ(rec()->need_data_func, ZOLANDM_FN_SQLExecDirect);
  SQLPOINTER which = nullptr;
  ASSERT_EQ(SQLParamData(stmt, &which), SQL_NEED_DATA);
  EXPECT_EQ(which, data);
  EXPECT_EQ(rec()->state, 8);
  ASSERT_EQ(SQLPutData(stmt, data, 2), SQL_SUCCESS);
  EXPECT_EQ(rec()->state, 9);
  ASSERT_EQ(SQLPutData(stmt, data + 2, 1), SQL_SUCCESS);
  ASSERT_EQ(SQLParamData(stmt, &which), SQL_SUCCESS);
  EXPECT_EQ(rec()->state, 4);
  EXPECT_EQ(rec()->need_data_func, 0);
}

TEST_F(Fake, ParamDataThatFinishesEarlyEndsTheSequence) {
  open_fake("odbc2");
  char data[] = "abc";
  SQLLEN dae = SQL_DATA_AT_EXEC;
  ASSERT_EQ(SQLBindParameter(stmt, 1, 1, SQL_C_CHAR, SQL_VARCHAR, 10, 0, data, 0, &dae), SQL_SUCCESS);
  ASSERT_EQ(SQLPrepare(stmt, S("INSERT ?"), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(stmt), SQL_NEED_DATA);
  ASSERT_EQ(SQLParamData(stmt, nullptr), SQL_NEED_DATA);
  EXPECT_EQ(rec()->state, 8);
  // No SQLPutData: the driver takes the value as empty and finishes.
  ASSERT_EQ(SQLParamData(stmt, nullptr), SQL_SUCCESS);
  EXPECT_EQ(rec()->state, 3);
  EXPECT_EQ(rec()->need_data_func, 0);
  EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
  stmt = nullptr;
}

TEST_F(Fake, AsynchronousGate) {
  open_fake("odbc3");
  fake->set("still:Execute", 2);
  ASSERT_EQ(SQLPrepare(stmt, S("SELECT a"), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(stmt), SQL_STILL_EXECUTING);
  EXPECT_EQ(rec()->async_func, ZOLANDM_FN_SQLExecute);
  EXPECT_EQ(rec()->state, 1);
  SQLSMALLINT n;
  EXPECT_EQ(SQLNumResultCols(stmt, &n), SQL_ERROR);
  EXPECT_EQ(first_state(), "S1010");
  EXPECT_EQ(SQLTables(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_ERROR);
  EXPECT_EQ(first_state(), "S1010");
  EXPECT_EQ(SQLTables(stmt, nullptr, -1, nullptr, 0, nullptr, 0, nullptr, 0), SQL_ERROR);
  EXPECT_EQ(first_state(), "S1090");
  EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_ERROR);
  ASSERT_EQ(SQLExecute(stmt), SQL_STILL_EXECUTING);
  ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS);
  EXPECT_EQ(rec()->async_func, 0);
  EXPECT_EQ(rec()->state, 4);
  EXPECT_EQ(SQLNumResultCols(stmt, &n), SQL_SUCCESS);
  EXPECT_EQ(n, 3);
}

TEST_F(Fake, AsynchronousCatalogAndPrepare) {
  open_fake("odbc3");
  fake->set("still:Catalog", 1);
  ASSERT_EQ(SQLTables(stmt, S("c"), SQL_NTS, nullptr, 0, nullptr, 0, nullptr, 0), SQL_STILL_EXECUTING);
  EXPECT_EQ(rec()->async_func, ZOLANDM_FN_SQLTables);
  EXPECT_EQ(SQLColumns(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_ERROR);
  ASSERT_EQ(SQLTablesA(stmt, S("c"), SQL_NTS, nullptr, 0, nullptr, 0, nullptr, 0), SQL_SUCCESS);
  EXPECT_EQ(rec()->async_func, 0);
  EXPECT_EQ(rec()->state, 4);
  ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
  fake->set("still:Prepare", 1);
  ASSERT_EQ(SQLPrepare(stmt, S("SELECT a"), SQL_NTS), SQL_STILL_EXECUTING);
  EXPECT_EQ(rec()->state, 0);
  ASSERT_EQ(SQLPrepare(stmt, S("SELECT a"), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(rec()->state, 1);
  EXPECT_EQ(rec()->prepared, 1);
  EXPECT_EQ(SQLExecute(stmt), SQL_SUCCESS);
  fake->set("still:NumParams", 1);
  EXPECT_EQ(SQLNumParams(stmt, &*std::make_unique<SQLSMALLINT>()), SQL_STILL_EXECUTING);
  SQLSMALLINT n = 0;
  EXPECT_EQ(SQLNumParams(stmt, &n), SQL_SUCCESS);
  EXPECT_EQ(rec()->async_func, 0);
}

TEST_F(Fake, PendingCallKeepsItsConversionBuffers) {
  open_fake("odbc3");
  Utf8Locale locale;
  fake->set("still:ExecDirect", 1);
  ASSERT_EQ(SQLExecDirectW(stmt, S(std::wstring(L"SELECT \u00e9")), SQL_NTS), SQL_STILL_EXECUTING);
  void* text = rec()->tmpbuf[0].data;
  ASSERT_NE(text, nullptr);
  // A refused catalog call (bad length) must not free the pending call's text.
  EXPECT_EQ(SQLTables(stmt, nullptr, -1, nullptr, 0, nullptr, 0, nullptr, 0), SQL_ERROR);
  EXPECT_EQ(rec()->tmpbuf[0].data, text);
  // Nor does a column description, which may run meanwhile.
  SQLWCHAR name[8];
  EXPECT_EQ(SQLDescribeColW(stmt, 1, name, 8, nullptr, nullptr, nullptr, nullptr, nullptr), SQL_SUCCESS);
  EXPECT_EQ(rec()->tmpbuf[0].data, text);
  EXPECT_STREQ(static_cast<char*>(text), "SELECT \xc3\xa9");
  ASSERT_EQ(SQLExecDirectW(stmt, S(std::wstring(L"SELECT \u00e9")), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(fake->last("ExecDirect"), "ExecDirect text=SELECT \xc3\xa9 len=-3");
  SQLSMALLINT n;
  EXPECT_EQ(SQLNumResultCols(stmt, &n), SQL_SUCCESS);
  EXPECT_EQ(rec()->tmpbuf[0].data, nullptr);
}

TEST_F(Fake, MoreResultsLeavesUnexecutedStatementsAlone) {
  open_fake("odbc2");
  EXPECT_EQ(SQLMoreResults(stmt), SQL_NO_DATA);
  EXPECT_EQ(rec()->state, 0);
  ASSERT_EQ(SQLPrepare(stmt, S("SELECT a"), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SQLMoreResults(stmt), SQL_NO_DATA);
  EXPECT_EQ(rec()->state, 1);
  ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  EXPECT_EQ(SQLMoreResults(stmt), SQL_NO_DATA);
  EXPECT_EQ(rec()->state, 1);
}

struct MoreResultsMove {
  int state, prepared;
  SQLRETURN driver_rc;
  int state_after, async_after;
};

TEST_F(Fake, MoreResultsStateMoves) {
  const int M = ZOLANDM_FN_SQLMoreResults;
  const std::vector<MoreResultsMove> moves = {
      {0, 0, SQL_NO_DATA, 0, 0}, {1, 1, SQL_SUCCESS, 1, 0}, {1, 1, SQL_NO_DATA, 1, 0},
      {3, 1, SQL_NO_DATA, 1, 0}, {3, 0, SQL_NO_DATA, 0, 0}, {3, 1, SQL_STILL_EXECUTING, 3, M},
      {3, 1, SQL_SUCCESS, 3, 0}, {4, 0, SQL_NO_DATA, 0, 0}, {5, 1, SQL_NO_DATA, 1, 0},
      {6, 1, SQL_SUCCESS, 6, 0}, {4, 1, SQL_ERROR, 4, 0},   {6, 0, SQL_STILL_EXECUTING, 6, M},
  };
  open_fake("odbc2");
  for (const MoreResultsMove& m : moves) {
    SCOPED_TRACE(::testing::Message()
                 << "state " << m.state << " prepared " << m.prepared << " driver " << m.driver_rc);
    rec()->state = m.state;
    rec()->prepared = m.prepared;
    rec()->async_func = 0;
    rec()->cursor_state = 3;
    fake->set("rc:MoreResults", m.driver_rc);
    EXPECT_EQ(SQLMoreResults(stmt), m.driver_rc) << first_state();
    EXPECT_EQ(rec()->state, m.state_after);
    EXPECT_EQ(rec()->async_func, m.async_after);
    // Only the end of the results closes the cursor.
    EXPECT_EQ(rec()->cursor_state, m.driver_rc == SQL_NO_DATA && m.state >= 3 ? 0 : 3);
  }
  rec()->state = 0;
  rec()->async_func = 0;
}

// ---- widths and versions ------------------------------------------------------------------------

TEST_F(Fake, NarrowCallsOnAUnicodeDriver) {
  open_fake("wide");
  ASSERT_EQ(SQLPrepare(stmt, S("SELECT a"), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(fake->last("Prepare"), "PrepareW text=SELECT a len=-3");
  const char name[] = {'a', 'b', 'c', 'd', 'e', 'f'};
  ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
  ASSERT_EQ(SQLSpecialColumns(stmt, 1, nullptr, SQL_NTS, S(std::string(name, 6)), 3, nullptr, 0, 0, 1),
            SQL_SUCCESS);
  EXPECT_EQ(fake->last("SpecialColumns"),
            "SpecialColumnsW [<null>]/-3 [abc]/-3 [<null>]/-3 t=1 scope=0 nullable=1");
  ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
  ASSERT_EQ(SQLTablesW(stmt, nullptr, 0, nullptr, 0, S(std::wstring(L"abcdef")), 3, nullptr, SQL_NTS),
            SQL_SUCCESS);
  EXPECT_EQ(fake->last("Tables"), "TablesW [<null>]/0 [<null>]/0 [abc]/3 [<null>]/-3");
  // A narrow caller gets four bytes per character of room; the name comes back narrowed,
  // cut to the caller's buffer, with the driver's full length.
  exec("SELECT a");
  char col[20];
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLDescribeCol(stmt, 2, S(col), 20, &len, nullptr, nullptr, nullptr, nullptr), SQL_SUCCESS);
  EXPECT_EQ(fake->last("DescribeCol"), "DescribeColW col=2 max=20");
  EXPECT_STREQ(col, "a_rather_long_colum");
  EXPECT_EQ(len, 25);
  // A large narrow buffer does not overflow the 16-bit length handed to the driver.
  std::vector<char> big(10000);
  ASSERT_EQ(SQLColAttributes(stmt, 2, SQL_COLUMN_NAME, big.data(), 10000, &len, nullptr), SQL_SUCCESS);
  EXPECT_EQ(fake->last("ColAttribute"), "ColAttributeW col=2 id=1011 max=32767");
  EXPECT_STREQ(big.data(), "a_rather_long_column_name");
  EXPECT_EQ(len, 25);
}

TEST_F(Fake, WideCallsOnANarrowDriver) {
  open_fake("odbc2");
  exec("SELECT a");
  SQLWCHAR attr[10];
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLColAttributesW(stmt, 1, SQL_COLUMN_NAME, attr, 40, &len, nullptr), SQL_SUCCESS);
  EXPECT_EQ(fake->last("ColAttributes"), "ColAttributes col=1 id=1 max=10");
  EXPECT_EQ(std::wstring(attr), L"id");
  EXPECT_EQ(len, 8);
  SQLWCHAR cursor[4];
  // Cut by the manager's conversion: reported as a truncation, length the driver's.
  ASSERT_EQ(SQLGetCursorNameW(stmt, cursor, 4, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(std::wstring(cursor), L"SQL");
  EXPECT_EQ(len, 8);
  EXPECT_EQ(st(), std::vector<std::string>{"01004"});
}

TEST_F(Fake, ANamesAreUsedWhenThePlainOnesAreMissing) {
  open_fake("aonly");
  ASSERT_EQ(SQLPrepare(stmt, S("SELECT a"), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(fake->last("Prepare"), "PrepareA text=SELECT a len=-3");
  ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
  ASSERT_EQ(SQLSpecialColumnsW(stmt, 1, nullptr, 0, nullptr, 0, S(std::wstring(L"t")), SQL_NTS, 0, 0),
            SQL_SUCCESS);
  EXPECT_EQ(fake->last("SpecialColumns"),
            "SpecialColumns [<null>]/-3 [<null>]/-3 [t]/-3 t=1 scope=0 nullable=0");
}

TEST_F(Fake, DateTypesFollowTheApplicationsVersion) {
  struct Case {
    const char* variant;
    int app;
    SQLSMALLINT date;
    SQLSMALLINT timestamp;
  } cases[] = {{"odbc3", 2, SQL_DATE, SQL_TIMESTAMP},
               {"odbc3", 3, SQL_TYPE_DATE, SQL_TYPE_TIMESTAMP},
               {"odbc2", 3, SQL_TYPE_DATE, SQL_TYPE_TIMESTAMP},
               {"odbc2", 2, SQL_DATE, SQL_TIMESTAMP}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.variant) + " app " + std::to_string(c.app));
    TearDown();
    stmt = nullptr;
    dbc = nullptr;
    env = nullptr;
    open_fake(c.variant, c.app);
    exec("SELECT a");
    SQLSMALLINT type = 0;
    ASSERT_EQ(SQLDescribeCol(stmt, 3, nullptr, 0, nullptr, &type, nullptr, nullptr, nullptr), SQL_SUCCESS);
    EXPECT_EQ(type, c.date);
    ASSERT_EQ(SQLDescribeParam(stmt, 1, &type, nullptr, nullptr, nullptr), SQL_SUCCESS);
    EXPECT_EQ(type, c.timestamp);
  }
}

TEST_F(Fake, ColumnAttributeFunctionByVersion) {
  open_fake("odbc3", 3);
  exec("SELECT a");
  SQLLEN type = 0;
  ASSERT_EQ(SQLColAttributes(stmt, 3, SQL_COLUMN_TYPE, nullptr, 0, nullptr, &type), SQL_SUCCESS);
  EXPECT_EQ(type, 91);  // passed through unmapped
  char name[8];
  ASSERT_EQ(SQLColAttributes(stmt, 1, SQL_COLUMN_NAME, name, sizeof name, nullptr, nullptr), SQL_SUCCESS);
  EXPECT_EQ(fake->last("ColAttribute"), "ColAttribute col=1 id=1011 max=8");
  ASSERT_EQ(SQLColAttributes(stmt, 1, SQL_COLUMN_NULLABLE, nullptr, 0, nullptr, &type), SQL_SUCCESS);
  EXPECT_EQ(fake->last("ColAttribute"), "ColAttribute col=1 id=1008 max=0");
}

TEST_F(Fake, BindingFunctionByVersionAndDirection) {
  open_fake("odbc3", 3);
  SQLINTEGER v = 0;
  SQLLEN ind = 0;
  ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_DATE, 0, 0, &v, 0, &ind), SQL_SUCCESS);
  // The driver has SQLBindParameter: it gets it, with the buffer length, also for input.
  EXPECT_EQ(fake->last("BindParam"), "BindParameter ipar=1 io=1 c=4 sql=91 size=0 digits=0 len=0 own=set");
  ASSERT_EQ(SQLBindParameter(stmt, 2, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, &ind),
            SQL_SUCCESS);
  EXPECT_EQ(fake->last("BindParameter"), "BindParameter ipar=2 io=4 c=4 sql=4 size=0 digits=0 len=0 own=set");
  EXPECT_EQ(rec()->params_alloc, 11);
  ASSERT_EQ(SQLParamOptions(stmt, 3, nullptr), SQL_SUCCESS);
  EXPECT_EQ(rec()->paramset_size, 3);
  auto attrs = fake->calls("SetStmtAttr");
  ASSERT_EQ(attrs.size(), 2u);
  EXPECT_EQ(attrs[0], "SetStmtAttr attr=22 value=3 len=0");
  ASSERT_EQ(SQLBindParameter(stmt, 1020, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, &ind),
            SQL_SUCCESS);
  EXPECT_EQ(rec()->params_alloc, 1024);
}

TEST_F(Fake, FetchOfAnOdbc3ApplicationOnAnOdbc2Driver) {
  open_fake("odbc2", 3);
  ASSERT_NE(rec()->row_status_ptr, nullptr);
  exec("SELECT a");
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  // The driver gets a count of the manager's own when the application set none.
  EXPECT_EQ(fake->last("ExtendedFetch"), "ExtendedFetch orientation=1 offset=0 count=set");
  EXPECT_EQ(fake->calls("Fetch").size(), 0u);
  EXPECT_EQ(rec()->state, 5);
}

TEST_F(Fake, ExtendedFetchPassesNoOffsetForRelativeMoves) {
  open_fake("odbc2");
  fake->set("rows", 10);  // row 7 exists
  exec("SELECT a");
  ASSERT_EQ(SQLExtendedFetch(stmt, SQL_FETCH_FIRST, 7, nullptr, nullptr), SQL_SUCCESS);
  EXPECT_EQ(fake->last("ExtendedFetch"), "ExtendedFetch orientation=2 offset=0 count=null");
  ASSERT_EQ(SQLExtendedFetch(stmt, SQL_FETCH_ABSOLUTE, 7, nullptr, nullptr), SQL_SUCCESS);
  EXPECT_EQ(fake->last("ExtendedFetch"), "ExtendedFetch orientation=5 offset=7 count=null");
  EXPECT_EQ(rec()->state, 6);
}

// ---- wide data on a narrow driver ---------------------------------------------------------------

TEST_F(Fake, WideBoundColumnsListAndRebinding) {
  open_fake("odbc2");
  SQLWCHAR buf[8];
  SQLLEN ind;
  ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_WCHAR, buf, sizeof buf, &ind), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_WCHAR, buf, sizeof buf, nullptr), SQL_SUCCESS);
  EXPECT_EQ(fake->last("BindCol"), "BindCol col=2 type=1 len=32");
  ASSERT_NE(rec()->wide_cols, nullptr);
  EXPECT_EQ(rec()->wide_cols->next, nullptr);
  EXPECT_EQ(rec()->wide_cols->indicator, nullptr);
  // Without an indicator the value is still widened.
  exec("SELECT a");
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  EXPECT_EQ(std::wstring(buf), L"name1");
  // Bound again as narrow text: no longer widened.
  char narrow[32];
  ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, narrow, sizeof narrow, &ind), SQL_SUCCESS);
  EXPECT_EQ(rec()->wide_cols, nullptr);
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  EXPECT_STREQ(narrow, "name2");
  ASSERT_EQ(SQLBindCol(stmt, 0, SQL_C_WCHAR, buf, sizeof buf, &ind), SQL_SUCCESS);
  EXPECT_EQ(rec()->wide_cols, nullptr);
}

TEST_F(Fake, WideningKeepsNoTotalAndNull) {
  open_fake("odbc2");
  char row[3][16] = {"ab", "xyz", "q"};
  SQLLEN ind[3] = {2, SQL_NO_TOTAL, SQL_NULL_DATA};
  zolandm_boundcol image{};
  image.column = 1;
  image.c_type = SQL_C_WCHAR;
  image.buffer = row;
  image.buffer_length = 16;
  image.indicator = ind;
  ASSERT_EQ(_zolandm_boundcol_add(rec(), &image), 0);
  _zolandm_boundcol_widen_rows(rec(), 3, nullptr);
  EXPECT_EQ(std::wstring(reinterpret_cast<SQLWCHAR*>(row[0])), L"ab");
  EXPECT_EQ(ind[0], 8);
  EXPECT_EQ(std::wstring(reinterpret_cast<SQLWCHAR*>(row[1])), L"xyz");
  EXPECT_EQ(ind[1], SQL_NO_TOTAL);
  EXPECT_STREQ(row[2], "q");
  EXPECT_EQ(ind[2], SQL_NULL_DATA);
}

TEST_F(Fake, WideParametersOnANarrowDriver) {
  open_fake("odbc2");
  ASSERT_EQ(SQLPrepare(stmt, S("INSERT ? ?"), SQL_NTS), SQL_SUCCESS);
  SQLWCHAR in[8] = {'a', 'b', 'c'};
  SQLLEN in_len = 12;
  struct {
    SQLWCHAR value[3];
    SQLWCHAR sentinel[2];
  } out{{0}, {L'#', L'#'}};
  SQLLEN out_len = 0;
  ASSERT_EQ(
      SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_VARCHAR, 8, 0, in, sizeof in, &in_len),
      SQL_SUCCESS);
  EXPECT_EQ(fake->last("BindParameter"),
            "BindParameter ipar=1 io=1 c=1 sql=12 size=8 digits=0 len=32 own=set");
  ASSERT_EQ(SQLBindParameter(stmt, 2, SQL_PARAM_OUTPUT, SQL_C_WCHAR, SQL_VARCHAR, 8, 0, out.value,
                             sizeof out.value, &out_len),
            SQL_SUCCESS);
  fake->set_text("out", "toolong");
  ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS);
  EXPECT_EQ(fake->last("Execute"), "Execute p1=c1:abc/3 p2=c1:/0");
  EXPECT_EQ(in_len, 12);
  EXPECT_EQ(in[0], L'a');
  // The output is widened within its twelve bytes; its length is the whole value's.
  EXPECT_EQ(std::wstring(out.value), L"to");
  EXPECT_EQ(out.sentinel[0], L'#');
  EXPECT_EQ(out_len, 28);
  // Again, without binding anew: the same wide input is converted again.
  ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS);
  EXPECT_EQ(fake->last("Execute"), "Execute p1=c1:abc/3 p2=c1:/0");
  // A data-at-execution length keeps the wide type for the driver.
  SQLLEN dae = SQL_LEN_DATA_AT_EXEC(12);
  ASSERT_EQ(SQLBindParameter(stmt, 3, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_VARCHAR, 8, 0, in, sizeof in, &dae),
            SQL_SUCCESS);
  EXPECT_EQ(fake->last("BindParameter"),
            "BindParameter ipar=3 io=1 c=-8 sql=12 size=8 digits=0 len=32 own=set");
}

TEST_F(Fake, DisconnectReleasesTheNarrowCopies) {
  open_fake("odbc2");
  SQLWCHAR in[4] = {'a'};
  SQLLEN len = SQL_NTS;
  ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_VARCHAR, 4, 0, in, sizeof in, &len),
            SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(stmt, S("INSERT ?"), SQL_NTS), SQL_SUCCESS);
  ASSERT_NE(rec()->params[0].conv_value, nullptr);
  // The statement goes with the connection (the leak check of the sanitizer build sees it).
  ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  stmt = nullptr;
}

TEST_F(Fake, WideParameterRowsFollowTheParameterBindType) {
  open_fake("odbc2");
  ASSERT_EQ(SQLPrepare(stmt, S("INSERT ?"), SQL_NTS), SQL_SUCCESS);
  struct Row {
    SQLWCHAR text[4];
    SQLLEN len;
  } rows[2] = {{{'x', 'y'}, 8}, {{'z'}, SQL_NTS}};
  ASSERT_EQ(SQLSetStmtOption(stmt, 18, sizeof(Row)), SQL_SUCCESS);
  ASSERT_EQ(SQLParamOptions(stmt, 2, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_VARCHAR, 4, 0, rows[0].text,
                             sizeof rows[0].text, &rows[0].len),
            SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS);
  const zolandm_param& p = rec()->params[0];
  ASSERT_NE(p.conv_value, nullptr);
  EXPECT_STREQ(p.conv_value, "xy");
  EXPECT_STREQ(p.conv_value + sizeof(Row), "z");
  EXPECT_EQ(*reinterpret_cast<SQLLEN*>(reinterpret_cast<char*>(p.conv_len) + sizeof(Row)), 1);
  EXPECT_EQ(rows[1].len, SQL_NTS);
}

TEST_F(Fake, UnconvertibleNamesAreRefusedNotWidened) {
  open_fake("odbc2");
  // In the C locale a non-ASCII character has no narrow form.
  ASSERT_EQ(SQLTablesW(stmt, nullptr, 0, nullptr, 0, S(std::wstring(L"\u00e9t\u00e9")), SQL_NTS, nullptr, 0),
            SQL_ERROR);
  EXPECT_EQ(first_state(), "22005");
  EXPECT_TRUE(fake->calls("Tables").empty());
  EXPECT_EQ(rec()->state, 0);
}

TEST_F(Fake, WideGetDataOnANarrowDriver) {
  open_fake("odbc2");
  fake->set("null", 3);
  exec("SELECT a");
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  SQLWCHAR buf[10];
  SQLLEN ind = 0;
  ASSERT_EQ(SQLGetData(stmt, 2, SQL_C_WCHAR, buf, 40, &ind), SQL_SUCCESS);
  EXPECT_EQ(fake->last("GetData"), "GetData col=2 type=1 max=10");
  EXPECT_EQ(std::wstring(buf), L"name1");
  EXPECT_EQ(ind, 20);
  ASSERT_EQ(SQLGetData(stmt, 2, SQL_C_WCHAR, buf, 16, &ind), SQL_NO_DATA);
  std::wmemset(buf, L'#', 10);
  ASSERT_EQ(SQLGetData(stmt, 3, SQL_C_WCHAR, buf, 40, &ind), SQL_SUCCESS);
  EXPECT_EQ(ind, SQL_NULL_DATA);
  EXPECT_EQ(buf[0], L'#');
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  ASSERT_EQ(SQLGetData(stmt, 2, SQL_C_WCHAR, buf, 16, &ind), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(std::wstring(buf), L"nam");
  EXPECT_EQ(ind, 20);
  fake->set("no_total", 1);
  ASSERT_EQ(SQLGetData(stmt, 2, SQL_C_WCHAR, buf, 8, &ind), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(ind, SQL_NO_TOTAL);
}

// ---- information functions -----------------------------------------------------------------------

TEST_F(Fake, InformationTheManagerAnswers) {
  open_env(2);
  char text[16];
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLGetInfo(dbc, SQL_DM_VER, text, sizeof text, &len), SQL_SUCCESS);
  EXPECT_STREQ(text, "03.52.1015.0210");
  EXPECT_EQ(len, 15);
  ASSERT_EQ(SQLGetInfo(dbc, SQL_DM_VER, text, 10, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(text, "03.52.101");
  EXPECT_EQ(len, 9);
  EXPECT_EQ(dmtest::states(nullptr, dbc, nullptr), std::vector<std::string>{"01004"});
  EXPECT_EQ(SQLGetInfo(dbc, SQL_DBMS_NAME, text, sizeof text, &len), SQL_ERROR);
  EXPECT_EQ(dmtest::states(nullptr, dbc, nullptr), std::vector<std::string>{"08003"});
  EXPECT_EQ(SQLGetInfo(dbc, SQL_DM_VER, text, -1, &len), SQL_ERROR);
  SQLUSMALLINT exists = 0;
  EXPECT_EQ(SQLGetFunctions(dbc, SQL_API_SQLDRIVERS, &exists), SQL_ERROR);
  EXPECT_EQ(dmtest::states(nullptr, dbc, nullptr), std::vector<std::string>{"S1010"});
}

TEST_F(Fake, InformationFromTheDriver) {
  open_fake("odbc2");
  SQLUSMALLINT all[100] = {0};
  ASSERT_EQ(SQLGetFunctions(dbc, SQL_API_ALL_FUNCTIONS, all), SQL_SUCCESS);
  EXPECT_EQ(all[SQL_API_SQLCONNECT], 1);
  EXPECT_EQ(all[SQL_API_SQLEXECDIRECT], 1);
  EXPECT_EQ(all[SQL_API_SQLPARAMOPTIONS], 1);
  EXPECT_EQ(all[SQL_API_SQLCOLUMNPRIVILEGES], 0);
  SQLUSMALLINT one = 9;
  EXPECT_EQ(SQLGetFunctions(dbc, SQL_API_SQLDRIVERS, &one), SQL_SUCCESS);
  EXPECT_EQ(one, 1);
  EXPECT_EQ(SQLGetFunctions(dbc, 1003, &one), SQL_SUCCESS);  // SQLCloseCursor on an ODBC 2 driver
  EXPECT_EQ(one, 0);
  EXPECT_EQ(SQLGetFunctions(dbc, SQL_API_SQLFETCHSCROLL, &one), SQL_SUCCESS);
  EXPECT_EQ(one, 1);
  // The driver's refusal of its ODBC version is answered by the manager.
  SQLWCHAR ver[8];
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLGetInfoW(dbc, SQL_DRIVER_ODBC_VER, ver, sizeof ver, &len), SQL_SUCCESS);
  EXPECT_EQ(std::wstring(ver), L"01.00");
  EXPECT_EQ(len, 20);
  SQLHSTMT drv = nullptr;
  SQLHSTMT mine = stmt;
  ASSERT_EQ(SQLGetInfo(dbc, SQL_DRIVER_HSTMT, &mine, sizeof mine, &len), SQL_SUCCESS);
  EXPECT_EQ(mine, rec()->drv_stmt);
  drv = dbc;
  EXPECT_EQ(SQLGetInfo(dbc, SQL_DRIVER_HSTMT, &drv, sizeof drv, &len), SQL_ERROR);
  EXPECT_EQ(dmtest::states(nullptr, dbc, nullptr), std::vector<std::string>{"HY009"});
  SQLUINTEGER oj = 0;
  EXPECT_EQ(SQLGetInfo(dbc, SQL_OJ_CAPABILITIES, &oj, sizeof oj, nullptr), SQL_ERROR);
  auto info = dmtest::fake_calls("odbc2", "GetInfo");
  ASSERT_FALSE(info.empty());
  EXPECT_EQ(info.back(), "GetInfo info=65003 max=4 len=null");
}

TEST_F(Fake, DataSourceAndDriverLists) {
  open_env(2);
  ini.odbc_ini("[ODBC Data Sources]\nb = user b\nA = user A\n");
  ini.write("sys-odbc.ini", "[ODBC Data Sources]\nA = system A\nc = system c\n");
  ini.odbcinst_ini("[ODBC Drivers]\nlite = installed\ngone = removed\n");
  struct Step {
    SQLUSMALLINT dir;
    SQLRETURN rc;
    const char* name;
  } steps[] = {{SQL_FETCH_FIRST, SQL_SUCCESS, "A"}, {SQL_FETCH_NEXT, SQL_SUCCESS, "b"},
               {SQL_FETCH_NEXT, SQL_SUCCESS, "c"},  {SQL_FETCH_NEXT, SQL_NO_DATA, ""},
               {SQL_FETCH_NEXT, SQL_SUCCESS, "A"},  {SQL_FETCH_FIRST_SYSTEM, SQL_SUCCESS, "A"},
               {SQL_FETCH_NEXT, SQL_SUCCESS, "c"}};
  for (const Step& s : steps) {
    char name[8] = "";
    char desc[32] = "";
    SQLSMALLINT nl = 0, dl = 0;
    EXPECT_EQ(SQLDataSources(env, s.dir, S(name), sizeof name, &nl, S(desc), sizeof desc, &dl), s.rc);
    if (s.rc == SQL_SUCCESS) {
      EXPECT_STREQ(name, s.name);
    }
  }
  SQLWCHAR wname[16000];
  SQLWCHAR wdesc[4];
  SQLSMALLINT nl = 0, dl = 0;
  ASSERT_EQ(SQLDataSourcesW(env, SQL_FETCH_FIRST_USER, wname, 16000, &nl, wdesc, 4, &dl), SQL_SUCCESS);
  EXPECT_EQ(std::wstring(wname), L"A");
  EXPECT_EQ(std::wstring(wdesc), L"use");
  EXPECT_EQ(SQLDataSources(env, 3, nullptr, 0, nullptr, nullptr, 0, nullptr), SQL_ERROR);
  char drv[16];
  ASSERT_EQ(SQLDrivers(env, SQL_FETCH_FIRST, S(drv), sizeof drv, nullptr, nullptr, 0, nullptr), SQL_SUCCESS);
  EXPECT_STREQ(drv, "lite");
  EXPECT_EQ(SQLDrivers(env, SQL_FETCH_NEXT, S(drv), sizeof drv, nullptr, nullptr, 0, nullptr), SQL_NO_DATA);
  EXPECT_EQ(SQLDrivers(env, SQL_FETCH_FIRST_USER, S(drv), sizeof drv, nullptr, nullptr, 0, nullptr),
            SQL_ERROR);
}

}  // namespace
