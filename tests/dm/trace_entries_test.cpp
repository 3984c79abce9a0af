// Every entry point of the driver manager writes an entry and an exit record under its own
// name while tracing is on (plain and A forms under the plain name), and nothing while it is
// off; the environment entries write theirs after the work.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "fixtures/odbc_env/dm_test_env.h"
#include "dmtrace/trace.h"
#include "sql.h"
#include "sqlext.h"
#include "sqlucode.h"

namespace {

// Calls an entry point with every argument zero: null handles and pointers.
template <typename... A>
SQLRETURN call_null(SQLRETURN (*f)(A...)) {
  return f(A{}...);
}

struct Entry {
  const char* entry;
  const char* traced_as;
  std::function<SQLRETURN()> call;
};

#define ROW(fn, traced_as)                        \
  Entry {                                         \
#fn, traced_as, [] { return call_null(&fn); } \
  }

const std::vector<Entry>& entries() {
  static const std::vector<Entry> all = {
      ROW(SQLAllocHandle, "SQLAllocHandle"),
      ROW(SQLAllocHandleStd, "SQLAllocHandle"),
      ROW(SQLAllocStmt, "SQLAllocStmt"),
      ROW(SQLBindCol, "SQLBindCol"),
      ROW(SQLBindParam, "SQLBindParameter"),
      ROW(SQLBindParameter, "SQLBindParameter"),
      ROW(SQLBrowseConnect, "SQLBrowseConnect"),
      ROW(SQLBrowseConnectA, "SQLBrowseConnect"),
      ROW(SQLBrowseConnectW, "SQLBrowseConnectW"),
      ROW(SQLBulkOperations, "SQLBulkOperations"),
      ROW(SQLCancel, "SQLCancel"),
      ROW(SQLCloseCursor, "SQLCloseCursor"),
      ROW(SQLColAttribute, "SQLColAttribute"),
      ROW(SQLColAttributeA, "SQLColAttribute"),
      ROW(SQLColAttributeW, "SQLColAttributeW"),
      ROW(SQLColAttributes, "SQLColAttributes"),
      ROW(SQLColAttributesA, "SQLColAttributes"),
      ROW(SQLColAttributesW, "SQLColAttributesW"),
      ROW(SQLColumnPrivileges, "SQLColumnPrivileges"),
      ROW(SQLColumnPrivilegesA, "SQLColumnPrivileges"),
      ROW(SQLColumnPrivilegesW, "SQLColumnPrivilegesW"),
      ROW(SQLColumns, "SQLColumns"),
      ROW(SQLColumnsA, "SQLColumns"),
      ROW(SQLColumnsW, "SQLColumnsW"),
      ROW(SQLConnect, "SQLConnect"),
      ROW(SQLConnectA, "SQLConnect"),
      ROW(SQLConnectW, "SQLConnectW"),
      ROW(SQLCopyDesc, "SQLCopyDesc"),
      ROW(SQLDataSources, "SQLDataSources"),
      ROW(SQLDataSourcesA, "SQLDataSources"),
      ROW(SQLDataSourcesW, "SQLDataSourcesW"),
      ROW(SQLDescribeCol, "SQLDescribeCol"),
      ROW(SQLDescribeColA, "SQLDescribeCol"),
      ROW(SQLDescribeColW, "SQLDescribeColW"),
      ROW(SQLDescribeParam, "SQLDescribeParam"),
      ROW(SQLDisconnect, "SQLDisconnect"),
      ROW(SQLDriverConnect, "SQLDriverConnect"),
      ROW(SQLDriverConnectA, "SQLDriverConnect"),
      ROW(SQLDriverConnectW, "SQLDriverConnectW"),
      ROW(SQLDrivers, "SQLDrivers"),
      ROW(SQLDriversA, "SQLDrivers"),
      ROW(SQLDriversW, "SQLDriversW"),
      ROW(SQLEndTran, "SQLEndTran"),
      ROW(SQLError, "SQLError"),
      ROW(SQLErrorA, "SQLError"),
      ROW(SQLErrorW, "SQLErrorW"),
      ROW(SQLExecDirect, "SQLExecDirect"),
      ROW(SQLExecDirectA, "SQLExecDirect"),
      ROW(SQLExecDirectW, "SQLExecDirectW"),
      ROW(SQLExecute, "SQLExecute"),
      ROW(SQLExtendedFetch, "SQLExtendedFetch"),
      ROW(SQLFetch, "SQLFetch"),
      ROW(SQLFetchScroll, "SQLFetchScroll"),
      ROW(SQLForeignKeys, "SQLForeignKeys"),
      ROW(SQLForeignKeysA, "SQLForeignKeys"),
      ROW(SQLForeignKeysW, "SQLForeignKeysW"),
      ROW(SQLFreeConnect, "SQLFreeConnect"),
      ROW(SQLFreeEnv, "SQLFreeEnv"),
      ROW(SQLFreeStmt, "SQLFreeStmt"),
      ROW(SQLGetConnectAttr, "SQLGetConnectAttr"),
      ROW(SQLGetConnectAttrA, "SQLGetConnectAttr"),
      ROW(SQLGetConnectAttrW, "SQLGetConnectAttrW"),
      ROW(SQLGetConnectOption, "SQLGetConnectOption"),
      ROW(SQLGetConnectOptionA, "SQLGetConnectOption"),
      ROW(SQLGetConnectOptionW, "SQLGetConnectOptionW"),
      ROW(SQLGetCursorName, "SQLGetCursorName"),
      ROW(SQLGetCursorNameA, "SQLGetCursorName"),
      ROW(SQLGetCursorNameW, "SQLGetCursorNameW"),
      ROW(SQLGetData, "SQLGetData"),
      ROW(SQLGetDescField, "SQLGetDescField"),
      ROW(SQLGetDescFieldA, "SQLGetDescField"),
      ROW(SQLGetDescFieldW, "SQLGetDescFieldW"),
      ROW(SQLGetDescRec, "SQLGetDescRec"),
      ROW(SQLGetDescRecA, "SQLGetDescRec"),
      ROW(SQLGetDescRecW, "SQLGetDescRecW"),
      ROW(SQLGetDiagField, "SQLGetDiagField"),
      ROW(SQLGetDiagFieldA, "SQLGetDiagField"),
      ROW(SQLGetDiagFieldW, "SQLGetDiagFieldW"),
      ROW(SQLGetDiagRec, "SQLGetDiagRec"),
      ROW(SQLGetDiagRecA, "SQLGetDiagRec"),
      ROW(SQLGetDiagRecW, "SQLGetDiagRecW"),
      ROW(SQLGetEnvAttr, "SQLGetEnvAttr"),
      ROW(SQLGetFunctions, "SQLGetFunctions"),
      ROW(SQLGetInfo, "SQLGetInfo"),
      ROW(SQLGetInfoA, "SQLGetInfo"),
      ROW(SQLGetInfoW, "SQLGetInfoW"),
      ROW(SQLGetStmtAttr, "SQLGetStmtAttr"),
      ROW(SQLGetStmtAttrA, "SQLGetStmtAttr"),
      ROW(SQLGetStmtAttrW, "SQLGetStmtAttrW"),
      ROW(SQLGetStmtOption, "SQLGetStmtOption"),
      ROW(SQLGetStmtOptionA, "SQLGetStmtOption"),
      ROW(SQLGetTypeInfo, "SQLGetTypeInfo"),
      ROW(SQLGetTypeInfoA, "SQLGetTypeInfo"),
      ROW(SQLGetTypeInfoW, "SQLGetTypeInfoW"),
      ROW(SQLMoreResults, "SQLMoreResults"),
      ROW(SQLNativeSql, "SQLNativeSql"),
      ROW(SQLNativeSqlA, "SQLNativeSql"),
      ROW(SQLNativeSqlW, "SQLNativeSqlW"),
      ROW(SQLNumParams, "SQLNumParams"),
      ROW(SQLNumResultCols, "SQLNumResultCols"),
      ROW(SQLParamData, "SQLParamData"),
      ROW(SQLParamOptions, "SQLParamOptions"),
      ROW(SQLPrepare, "SQLPrepare"),
      ROW(SQLPrepareA, "SQLPrepare"),
      ROW(SQLPrepareW, "SQLPrepareW"),
      ROW(SQLPrimaryKeys, "SQLPrimaryKeys"),
      ROW(SQLPrimaryKeysA, "SQLPrimaryKeys"),
      ROW(SQLPrimaryKeysW, "SQLPrimaryKeysW"),
      ROW(SQLProcedureColumns, "SQLProcedureColumns"),
      ROW(SQLProcedureColumnsA, "SQLProcedureColumns"),
      ROW(SQLProcedureColumnsW, "SQLProcedureColumnsW"),
      ROW(SQLProcedures, "SQLProcedures"),
      ROW(SQLProceduresA, "SQLProcedures"),
      ROW(SQLProceduresW, "SQLProceduresW"),
      ROW(SQLPutData, "SQLPutData"),
      ROW(SQLRowCount, "SQLRowCount"),
      ROW(SQLSetConnectAttr, "SQLSetConnectAttr"),
      ROW(SQLSetConnectAttrA, "SQLSetConnectAttr"),
      ROW(SQLSetConnectAttrW, "SQLSetConnectAttrW"),
      ROW(SQLSetConnectOption, "SQLSetConnectOption"),
      ROW(SQLSetConnectOptionA, "SQLSetConnectOption"),
      ROW(SQLSetConnectOptionW, "SQLSetConnectOptionW"),
      ROW(SQLSetCursorName, "SQLSetCursorName"),
      ROW(SQLSetCursorNameA, "SQLSetCursorName"),
      ROW(SQLSetCursorNameW, "SQLSetCursorNameW"),
      ROW(SQLSetDescField, "SQLSetDescField"),
      ROW(SQLSetDescFieldA, "SQLSetDescField"),
      ROW(SQLSetDescFieldW, "SQLSetDescFieldW"),
      ROW(SQLSetDescRec, "SQLSetDescRec"),
      ROW(SQLSetEnvAttr, "SQLSetEnvAttr"),
      ROW(SQLSetParam, "SQLBindParameter"),
      ROW(SQLSetPos, "SQLSetPos"),
      ROW(SQLSetScrollOptions, "SQLSetScrollOptions"),
      ROW(SQLSetStmtAttr, "SQLSetStmtAttr"),
      ROW(SQLSetStmtAttrA, "SQLSetStmtAttr"),
      ROW(SQLSetStmtAttrW, "SQLSetStmtAttrW"),
      ROW(SQLSetStmtOption, "SQLSetStmtOption"),
      ROW(SQLSetStmtOptionA, "SQLSetStmtOption"),
      ROW(SQLSpecialColumns, "SQLSpecialColumns"),
      ROW(SQLSpecialColumnsA, "SQLSpecialColumns"),
      ROW(SQLSpecialColumnsW, "SQLSpecialColumnsW"),
      ROW(SQLStatistics, "SQLStatistics"),
      ROW(SQLStatisticsA, "SQLStatistics"),
      ROW(SQLStatisticsW, "SQLStatisticsW"),
      ROW(SQLTablePrivileges, "SQLTablePrivileges"),
      ROW(SQLTablePrivilegesA, "SQLTablePrivileges"),
      ROW(SQLTablePrivilegesW, "SQLTablePrivilegesW"),
      ROW(SQLTables, "SQLTables"),
      ROW(SQLTablesA, "SQLTables"),
      ROW(SQLTablesW, "SQLTablesW"),
      ROW(SQLTransact, "SQLTransact"),
  };
  return all;
}

// A trace file in a temporary directory, started and stopped around each test.
class TracedEntries : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    path_ = dir_.path("trace.log");
    _zolandm_trace_set_filename(path_.c_str());
    _zolandm_trace_start();
    ASSERT_NE(_zolandm_trace_enabled, 0);
  }
  void TearDown() override { _zolandm_trace_stop(); }

  std::string file_text() {
    std::fflush(_zolandm_trace_stream);
    std::ifstream in(path_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  static size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

  dmtest::TempOdbcEnv dir_;
  std::string path_;
};

TEST_F(TracedEntries, EveryEntryWritesBothRecordsUnderItsName) {
  for (const Entry& e : entries()) {
    size_t before = file_text().size();
    SQLRETURN rc = e.call();
    std::string added = file_text().substr(before);
    EXPECT_EQ(count(added, std::string(" ENTER ") + e.traced_as + "\n"), 1u) << e.entry << added;
    EXPECT_EQ(
        count(added, std::string(" EXIT  ") + e.traced_as + " with return code " + std::to_string(rc) + " ("),
        1u)
        << e.entry << added;
    EXPECT_EQ(count(added, "ENTER"), 1u) << e.entry;
  }
}

TEST_F(TracedEntries, NothingWhileTracingIsOff) {
  _zolandm_trace_stop();
  for (const Entry& e : entries()) e.call();
  SQLHDBC dbc = nullptr;
  SQLAllocConnect(nullptr, &dbc);
  EXPECT_EQ(file_text().find("ENTER"), std::string::npos);
}

TEST_F(TracedEntries, HandleSpecialCases) {
  SQLHDBC dbc = nullptr;
  EXPECT_EQ(SQLAllocConnect(nullptr, &dbc), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLFreeHandle(0, nullptr), SQL_INVALID_HANDLE);
  EXPECT_EQ(file_text().find("ENTER"), std::string::npos)
      << "no records for an invalid environment or handle type";
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, nullptr), SQL_INVALID_HANDLE);
  std::string text = file_text();
  EXPECT_NE(text.find(" ENTER SQLFreeHandle\n"), std::string::npos);
  EXPECT_NE(text.find(" EXIT  SQLFreeHandle with return code -2 (SQL_INVALID_HANDLE)"), std::string::npos);
}

// A real environment and connection: the connection string's password never reaches the file,
// and the last environment's exit record comes before the trailer.
TEST_F(TracedEntries, ConnectionsAndTheLastEnvironment) {
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  ASSERT_EQ(SQLAllocEnv(&env), SQL_SUCCESS);
  ASSERT_EQ(SQLAllocConnect(env, &dbc), SQL_SUCCESS);
  SQLCHAR out[256];
  SQLSMALLINT out_len = 0;
  SQLDriverConnect(dbc, nullptr, dmtest::U("DSN=nosuchsource;PWD={se;cret};UID=u"), SQL_NTS, out, sizeof out,
                   &out_len, SQL_DRIVER_NOPROMPT);
  SQLConnect(dbc, dmtest::U("nosuchsource"), SQL_NTS, dmtest::U("u"), SQL_NTS, dmtest::U("hidden"), SQL_NTS);
  SQLBrowseConnectW(dbc, dmtest::U(std::wstring(L"DSN=x;PWD =hidden")), SQL_NTS, nullptr, 0, nullptr);
  ASSERT_EQ(SQLFreeConnect(dbc), SQL_SUCCESS);
  std::string text = file_text();
  EXPECT_EQ(text.find("cret"), std::string::npos);
  EXPECT_EQ(text.find("hidden"), std::string::npos);
  EXPECT_NE(text.find("PWD={*******};UID=u"), std::string::npos) << text;
  EXPECT_NE(text.find(" ENTER SQLAllocEnv\n"), std::string::npos);
  EXPECT_NE(text.find(" EXIT  SQLAllocConnect with return code 0 (SQL_SUCCESS)"), std::string::npos);
  ASSERT_EQ(SQLFreeEnv(env), SQL_SUCCESS);
  EXPECT_EQ(_zolandm_trace_enabled, 0);
  std::ifstream in(path_);
  std::stringstream s;
  s << in.rdbuf();
  text = s.str();
  size_t exit_at = text.find(" EXIT  SQLFreeEnv with return code 0 (SQL_SUCCESS)");
  ASSERT_NE(exit_at, std::string::npos) << text;
  EXPECT_NE(text.find("** Trace finished on", exit_at), std::string::npos);
}

}  // namespace
