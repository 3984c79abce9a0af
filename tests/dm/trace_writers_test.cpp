// The per-call trace writers: every writer, plain and wide, through an entry record and the
// exit record of a successful call, and the exceptions: outputs shown only on success, the
// column-attribute, driver-connect, connect, get-functions and native-SQL writers.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "dm/trace_capture.h"
#include "dmtrace/writers.h"
#include "sql.h"
#include "sqlext.h"
#include "sqlucode.h"

using namespace tracetest;

namespace {

template <typename T = void>
T* P(uintptr_t v) {
  return reinterpret_cast<T*>(v);
}
SQLCHAR* S(const char* s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s)); }
SQLWCHAR* W(const wchar_t* s) { return const_cast<SQLWCHAR*>(s); }

SQLHENV env = P(0x1000);
SQLHDBC dbc = P(0x2000);
SQLHSTMT stmt = P(0x3000);
SQLHDESC desc = P(0x4000);

const std::string HE = L("SQLHENV", "   0x1000");
const std::string HD = L("SQLHDBC", "   0x2000");
const std::string HS = L("SQLHSTMT", "   0x3000");
const std::string HDE = L("SQLDESC", "   0x4000");
const std::string NTS16 = L("SQLSMALLINT", "   -3 (SQL_NTS)");
const std::string NTS32 = L("SQLINTEGER", "   -3 (SQL_NTS)");

std::string text(const char* label, const char* dumped) {
  return L(label, " * @") + (dumped != nullptr ? R(dumped) : std::string());
}
// A name argument with length SQL_NTS, dumped on entry only.
std::string name_arg(bool entry, const char* value, bool wide = false) {
  return text(wide ? "SQLWCHAR" : "SQLCHAR", entry ? value : nullptr) + NTS16;
}

struct WriterCase {
  const char* name;
  std::function<void(int leaving, int rc)> call;
  std::string entry;  // argument lines of the entry record
  std::string exit;   // argument lines of the exit record of a successful call
};

void run(const std::vector<WriterCase>& cases, int rc = SQL_SUCCESS, const char* rc_name = "SQL_SUCCESS") {
  TraceCapture capture;
  for (const WriterCase& c : cases) {
    c.call(0, 0);
    EXPECT_EQ(capture.take(), H(c.name, 0) + c.entry) << c.name << " entry";
    c.call(1, rc);
    EXPECT_EQ(capture.take(), H(c.name, 1, rc, rc_name) + c.exit) << c.name << " exit";
  }
}

// Output values every case reads on success.
struct Outputs {
  SQLHANDLE handle = P(0x5000);
  SQLSMALLINT s16 = 5;
  SQLINTEGER s32 = 7;
  SQLLEN len = 9;
  SQLULEN ulen = 11;
  SQLUSMALLINT u16 = 1;
  SQLSMALLINT type = SQL_INTERVAL;
  SQLSMALLINT sub = SQL_CODE_DAY;
  SQLSMALLINT nullable = SQL_NO_NULLS;
  char name[6] = "col_a";
  SQLWCHAR wname[6] = L"col_a";
  char state[6] = "HY000";
  SQLWCHAR wstate[6] = L"HY000";
};

TEST(TraceWriters, HandlesAndConnections) {
  Outputs o;
  SQLSMALLINT five = 5;
  const std::string out5 = L("SQLSMALLINT", " * @ (5)"), out_ = L("SQLSMALLINT", " * @");
  run({
      {"SQLAllocEnv", [&](int l, int rc) { trace_SQLAllocEnv(l, rc, &o.handle); }, L("SQLHENV", " * @"),
       L("SQLHENV", " * @ (0x5000)")},
      {"SQLAllocConnect", [&](int l, int rc) { trace_SQLAllocConnect(l, rc, env, &o.handle); },
       HE + L("SQLHDBC", " * @"), HE + L("SQLHDBC", " * @ (0x5000)")},
      {"SQLAllocStmt", [&](int l, int rc) { trace_SQLAllocStmt(l, rc, dbc, &o.handle); },
       HD + L("SQLHSTMT", " * @"), HD + L("SQLHSTMT", " * @ (0x5000)")},
      {"SQLAllocHandle", [&](int l, int rc) { trace_SQLAllocHandle(l, rc, SQL_HANDLE_STMT, dbc, &o.handle); },
       L("SQLSMALLINT", "   3 (SQL_HANDLE_STMT)") + L("SQLHANDLE", "   0x2000") + L("SQLHANDLE", " * @"),
       L("SQLSMALLINT", "   3 (SQL_HANDLE_STMT)") + L("SQLHANDLE", "   0x2000") +
           L("SQLHANDLE", " * @ (0x5000)")},
      {"SQLFreeEnv", [&](int l, int rc) { trace_SQLFreeEnv(l, rc, env); }, HE, HE},
      {"SQLFreeConnect", [&](int l, int rc) { trace_SQLFreeConnect(l, rc, dbc); }, HD, HD},
      {"SQLDisconnect", [&](int l, int rc) { trace_SQLDisconnect(l, rc, dbc); }, HD, HD},
      {"SQLFreeHandle", [&](int l, int rc) { trace_SQLFreeHandle(l, rc, SQL_HANDLE_DESC, desc); },
       L("SQLSMALLINT", "   4 (SQL_HANDLE_DESC)") + HDE, L("SQLSMALLINT", "   4 (SQL_HANDLE_DESC)") + HDE},
      {"SQLTransact", [&](int l, int rc) { trace_SQLTransact(l, rc, env, nullptr, SQL_ROLLBACK); },
       HE + L("SQLHDBC", "   0x0 (SQL_NULL_HANDLE)") + L("SQLSMALLINT", "   1 (SQL_ROLLBACK)"),
       HE + L("SQLHDBC", "   0x0 (SQL_NULL_HANDLE)") + L("SQLSMALLINT", "   1 (SQL_ROLLBACK)")},
      {"SQLEndTran", [&](int l, int rc) { trace_SQLEndTran(l, rc, SQL_HANDLE_DBC, dbc, SQL_COMMIT); },
       L("SQLSMALLINT", "   2 (SQL_HANDLE_DBC)") + HD + L("SQLSMALLINT", "   0 (SQL_COMMIT)"),
       L("SQLSMALLINT", "   2 (SQL_HANDLE_DBC)") + HD + L("SQLSMALLINT", "   0 (SQL_COMMIT)")},
      {"SQLSetConnectOption",
       [&](int l, int rc) { trace_SQLSetConnectOption(l, rc, dbc, SQL_AUTOCOMMIT, 1); },
       HD + L("SQLUSMALLINT", "   102 (SQL_AUTOCOMMIT)") + L("SQLULEN", "   1"),
       HD + L("SQLUSMALLINT", "   102 (SQL_AUTOCOMMIT)") + L("SQLULEN", "   1")},
      {"SQLSetConnectOptionW",
       [&](int l, int rc) { trace_SQLSetConnectOptionW(l, rc, dbc, SQL_OPT_TRACE, 0); },
       HD + L("SQLUSMALLINT", "   104 (SQL_OPT_TRACE)") + L("SQLULEN", "   0"),
       HD + L("SQLUSMALLINT", "   104 (SQL_OPT_TRACE)") + L("SQLULEN", "   0")},
      {"SQLGetConnectOption", [&](int l, int rc) { trace_SQLGetConnectOption(l, rc, dbc, 113, &o.s32); },
       HD + L("SQLUSMALLINT", "   113 (unknown connection attribute)") + L("SQLPOINTER", "   @"),
       HD + L("SQLUSMALLINT", "   113 (unknown connection attribute)") + L("SQLPOINTER", "   @")},
      {"SQLGetConnectOptionW",
       [&](int l, int rc) { trace_SQLGetConnectOptionW(l, rc, dbc, SQL_OPT_TRACEFILE, nullptr); },
       HD + L("SQLUSMALLINT", "   105 (SQL_OPT_TRACEFILE)") + L("SQLPOINTER", "   0x0"),
       HD + L("SQLUSMALLINT", "   105 (SQL_OPT_TRACEFILE)") + L("SQLPOINTER", "   0x0")},
      {"SQLSetConnectAttr",
       [&](int l, int rc) {
         trace_SQLSetConnectAttr(l, rc, dbc, SQL_ATTR_LOGIN_TIMEOUT, P(30), SQL_IS_UINTEGER);
       },
       HD + L("SQLINTEGER", "   103 (SQL_ATTR_LOGIN_TIMEOUT)") + L("SQLPOINTER", "   0x1e") +
           L("SQLINTEGER", " * -5 (SQL_IS_UINTEGER)"),
       HD + L("SQLINTEGER", "   103 (SQL_ATTR_LOGIN_TIMEOUT)") + L("SQLPOINTER", "   0x1e") +
           L("SQLINTEGER", " * -5 (SQL_IS_UINTEGER)")},
      {"SQLSetConnectAttrW",
       [&](int l, int rc) {
         trace_SQLSetConnectAttrW(l, rc, dbc, SQL_ATTR_CURRENT_CATALOG, P(0x6000), SQL_NTS);
       },
       HD + L("SQLINTEGER", "   109 (SQL_ATTR_CURRENT_CATALOG)") + L("SQLPOINTER", "   0x6000") +
           L("SQLINTEGER", " * -3 (SQL_NTS)"),
       HD + L("SQLINTEGER", "   109 (SQL_ATTR_CURRENT_CATALOG)") + L("SQLPOINTER", "   0x6000") +
           L("SQLINTEGER", " * -3 (SQL_NTS)")},
      {"SQLGetConnectAttr",
       [&](int l, int rc) { trace_SQLGetConnectAttr(l, rc, dbc, SQL_ATTR_AUTOCOMMIT, P(0x6000), 0, &o.s32); },
       HD + L("SQLINTEGER", "   102 (SQL_ATTR_AUTOCOMMIT)") + L("SQLPOINTER", "   0x6000") +
           L("SQLINTEGER", " * 0") + L("SQLINTEGER", " * @"),
       HD + L("SQLINTEGER", "   102 (SQL_ATTR_AUTOCOMMIT)") + L("SQLPOINTER", "   0x6000") +
           L("SQLINTEGER", " * 0") + L("SQLINTEGER", " * @ (7)")},
      {"SQLGetConnectAttrW",
       [&](int l, int rc) {
         trace_SQLGetConnectAttrW(l, rc, dbc, SQL_ATTR_TRACEFILE, P(0x6000), 40, nullptr);
       },
       HD + L("SQLINTEGER", "   105 (SQL_ATTR_TRACEFILE)") + L("SQLPOINTER", "   0x6000") +
           L("SQLINTEGER", " * 40") + L("SQLINTEGER", " * 0x0"),
       HD + L("SQLINTEGER", "   105 (SQL_ATTR_TRACEFILE)") + L("SQLPOINTER", "   0x6000") +
           L("SQLINTEGER", " * 40") + L("SQLINTEGER", " * 0x0")},
      {"SQLSetEnvAttr",
       [&](int l, int rc) { trace_SQLSetEnvAttr(l, rc, env, SQL_ATTR_ODBC_VERSION, P(3), 0); },
       HE + L("SQLINTEGER", "   200 (SQL_ATTR_ODBC_VERSION)") + L("SQLPOINTER", "   0x3") +
           L("SQLINTEGER", " * 0"),
       HE + L("SQLINTEGER", "   200 (SQL_ATTR_ODBC_VERSION)") + L("SQLPOINTER", "   0x3") +
           L("SQLINTEGER", " * 0")},
      {"SQLGetEnvAttr",
       [&](int l, int rc) { trace_SQLGetEnvAttr(l, rc, env, SQL_ATTR_CP_MATCH, &o.s32, 4, &o.s32); },
       HE + L("SQLINTEGER", "   202 (SQL_ATTR_CP_MATCH)") + L("SQLPOINTER", "   @") +
           L("SQLINTEGER", " * 4") + L("SQLINTEGER", " * @"),
       HE + L("SQLINTEGER", "   202 (SQL_ATTR_CP_MATCH)") + L("SQLPOINTER", "   @") +
           L("SQLINTEGER", " * 4") + L("SQLINTEGER", " * @ (7)")},
      {"SQLConnect",
       [&](int l, int rc) { trace_SQLConnect(l, rc, dbc, S("dsn"), SQL_NTS, S("me"), 2, S("secret"), 6); },
       HD + text("SQLCHAR", "dsn") + NTS16 + text("SQLCHAR", "me") + L("SQLSMALLINT", "   2") +
           text("SQLCHAR", "****") + L("SQLSMALLINT", "   6"),
       HD + text("SQLCHAR", nullptr) + NTS16 + text("SQLCHAR", nullptr) + L("SQLSMALLINT", "   2") +
           text("SQLCHAR", nullptr) + L("SQLSMALLINT", "   6")},
      {"SQLConnectW",
       [&](int l, int rc) {
         trace_SQLConnectW(l, rc, dbc, W(L"dsn"), SQL_NTS, nullptr, 0, W(L"pw"), SQL_NTS);
       },
       HD + text("SQLWCHAR", "dsn") + NTS16 + L("SQLWCHAR", " * 0x0") + L("SQLSMALLINT", "   0") +
           text("SQLWCHAR", "****") + NTS16,
       HD + text("SQLWCHAR", nullptr) + NTS16 + L("SQLWCHAR", " * 0x0") + L("SQLSMALLINT", "   0") +
           text("SQLWCHAR", nullptr) + NTS16},
      {"SQLGetFunctions", [&](int l, int rc) { trace_SQLGetFunctions(l, rc, dbc, SQL_API_SQLFETCH, &o.u16); },
       HD + L("SQLUSMALLINT", "   13 (SQL_API_SQLFETCH)") + L("SQLUSMALLINT", " * @"),
       HD + L("SQLUSMALLINT", "   13 (SQL_API_SQLFETCH)") + L("SQLUSMALLINT", " * @ (1)")},
      {"SQLDataSources",
       [&](int l, int rc) {
         trace_SQLDataSources(l, rc, env, SQL_FETCH_FIRST, S(o.name), 6, &five, S(o.state), 6, &five);
       },
       HE + L("SQLUSMALLINT", "   2 (SQL_FETCH_FIRST)") + text("SQLCHAR", nullptr) +
           L("SQLSMALLINT", "   6") + out_ + text("SQLCHAR", nullptr) + L("SQLSMALLINT", "   6") + out_,
       HE + L("SQLUSMALLINT", "   2 (SQL_FETCH_FIRST)") + text("SQLCHAR", "col_a") +
           L("SQLSMALLINT", "   6") + out5 + text("SQLCHAR", "HY000") + L("SQLSMALLINT", "   6") + out5},
      {"SQLDataSourcesW",
       [&](int l, int rc) {
         trace_SQLDataSourcesW(l, rc, env, SQL_FETCH_NEXT, o.wname, 6, &five, nullptr, 0, nullptr);
       },
       HE + L("SQLUSMALLINT", "   1 (SQL_FETCH_NEXT)") + text("SQLWCHAR", nullptr) +
           L("SQLSMALLINT", "   6") + out_ + L("SQLWCHAR", " * 0x0") + L("SQLSMALLINT", "   0") +
           L("SQLSMALLINT", " * 0x0"),
       HE + L("SQLUSMALLINT", "   1 (SQL_FETCH_NEXT)") + text("SQLWCHAR", "col_a") +
           L("SQLSMALLINT", "   6") + out5 + L("SQLWCHAR", " * 0x0") + L("SQLSMALLINT", "   0") +
           L("SQLSMALLINT", " * 0x0")},
      {"SQLDrivers",
       [&](int l, int rc) { trace_SQLDrivers(l, rc, env, 3, S(o.name), 6, &five, S(o.state), 6, &five); },
       HE + L("SQLUSMALLINT", "   3 (unknown direction)") + text("SQLCHAR", nullptr) +
           L("SQLSMALLINT", "   6") + out_ + text("SQLCHAR", nullptr) + L("SQLSMALLINT", "   6") + out_,
       HE + L("SQLUSMALLINT", "   3 (unknown direction)") + text("SQLCHAR", "col_a") +
           L("SQLSMALLINT", "   6") + out5 + text("SQLCHAR", "HY000") + L("SQLSMALLINT", "   6") + out5},
      {"SQLDriversW",
       [&](int l, int rc) {
         trace_SQLDriversW(l, rc, env, SQL_FETCH_FIRST_USER, o.wname, 6, &five, o.wstate, 6, &five);
       },
       HE + L("SQLUSMALLINT", "   31 (SQL_FETCH_FIRST_USER)") + text("SQLWCHAR", nullptr) +
           L("SQLSMALLINT", "   6") + out_ + text("SQLWCHAR", nullptr) + L("SQLSMALLINT", "   6") + out_,
       HE + L("SQLUSMALLINT", "   31 (SQL_FETCH_FIRST_USER)") + text("SQLWCHAR", "col_a") +
           L("SQLSMALLINT", "   6") + out5 + text("SQLWCHAR", "HY000") + L("SQLSMALLINT", "   6") + out5},
  });
}

TEST(TraceWriters, InformationAndDiagnostics) {
  Outputs o;
  SQLSMALLINT five = 5, twenty = 20;
  SQLINTEGER native = -42;
  const std::string out5 = L("SQLSMALLINT", " * @ (5)"), out_ = L("SQLSMALLINT", " * @");
  const std::string native_ = L("SQLINTEGER", " * @"), native42 = L("SQLINTEGER", " * @ (-42)");
  SQLUSMALLINT txn = 2;
  run({
      {"SQLGetInfo", [&](int l, int rc) { trace_SQLGetInfo(l, rc, dbc, SQL_TXN_CAPABLE, &txn, 2, nullptr); },
       HD + L("SQLUSMALLINT", "   46 (SQL_TXN_CAPABLE)") + L("SQLPOINTER", "   @") +
           L("SQLSMALLINT", "   2") + L("SQLSMALLINT", " * 0x0"),
       HD + L("SQLUSMALLINT", "   46 (SQL_TXN_CAPABLE)") + L("SQLPOINTER", "   @ (2)") + R("SQL_TC_ALL") +
           L("SQLSMALLINT", "   2") + L("SQLSMALLINT", " * 0x0")},
      // SQLGetInfoW counts its string lengths in bytes.
      {"SQLGetInfoW",
       [&](int l, int rc) { trace_SQLGetInfoW(l, rc, dbc, SQL_DBMS_NAME, o.wname, 24, &twenty); },
       HD + L("SQLUSMALLINT", "   17 (SQL_DBMS_NAME)") + L("SQLPOINTER", "   @") + L("SQLSMALLINT", "   24") +
           out_,
       HD + L("SQLUSMALLINT", "   17 (SQL_DBMS_NAME)") + L("SQLPOINTER", "   @") + R("col_a") +
           L("SQLSMALLINT", "   24") + L("SQLSMALLINT", " * @ (20)")},
      {"SQLError",
       [&](int l, int rc) {
         trace_SQLError(l, rc, env, dbc, stmt, S(o.state), &native, S(o.name), 6, &five);
       },
       HE + HD + HS + text("SQLCHAR", nullptr) + native_ + text("SQLCHAR", nullptr) +
           L("SQLSMALLINT", "   6") + out_,
       HE + HD + HS + text("SQLCHAR", "HY000") + native42 + text("SQLCHAR", "col_a") +
           L("SQLSMALLINT", "   6") + out5},
      {"SQLErrorW",
       [&](int l, int rc) {
         trace_SQLErrorW(l, rc, nullptr, nullptr, stmt, o.wstate, &native, o.wname, 6, &five);
       },
       L("SQLHENV", "   0x0 (SQL_NULL_HANDLE)") + L("SQLHDBC", "   0x0 (SQL_NULL_HANDLE)") + HS +
           text("SQLWCHAR", nullptr) + native_ + text("SQLWCHAR", nullptr) + L("SQLSMALLINT", "   6") + out_,
       L("SQLHENV", "   0x0 (SQL_NULL_HANDLE)") + L("SQLHDBC", "   0x0 (SQL_NULL_HANDLE)") + HS +
           text("SQLWCHAR", "HY000") + native42 + text("SQLWCHAR", "col_a") + L("SQLSMALLINT", "   6") +
           out5},
      {"SQLGetDiagRec",
       [&](int l, int rc) {
         trace_SQLGetDiagRec(l, rc, SQL_HANDLE_STMT, stmt, 1, S(o.state), &native, S(o.name), 6, &five);
       },
       L("SQLSMALLINT", "   3 (SQL_HANDLE_STMT)") + HS + L("SQLSMALLINT", "   1") + text("SQLCHAR", nullptr) +
           native_ + text("SQLCHAR", nullptr) + L("SQLSMALLINT", "   6") + out_,
       L("SQLSMALLINT", "   3 (SQL_HANDLE_STMT)") + HS + L("SQLSMALLINT", "   1") + text("SQLCHAR", "HY000") +
           native42 + text("SQLCHAR", "col_a") + L("SQLSMALLINT", "   6") + out5},
      {"SQLGetDiagRecW",
       [&](int l, int rc) { trace_SQLGetDiagRecW(l, rc, 9, env, 2, o.wstate, nullptr, o.wname, 6, &five); },
       L("SQLSMALLINT", "   9 (invalid handle type)") + L("SQLHANDLE", "   0x1000") +
           L("SQLSMALLINT", "   2") + text("SQLWCHAR", nullptr) + L("SQLINTEGER", " * 0x0") +
           text("SQLWCHAR", nullptr) + L("SQLSMALLINT", "   6") + out_,
       L("SQLSMALLINT", "   9 (invalid handle type)") + L("SQLHANDLE", "   0x1000") +
           L("SQLSMALLINT", "   2") + text("SQLWCHAR", "HY000") + L("SQLINTEGER", " * 0x0") +
           text("SQLWCHAR", "col_a") + L("SQLSMALLINT", "   6") + out5},
      {"SQLGetDiagField",
       [&](int l, int rc) {
         trace_SQLGetDiagField(l, rc, SQL_HANDLE_ENV, env, 0, SQL_DIAG_NUMBER, &o.s32, SQL_IS_INTEGER, &five);
       },
       L("SQLSMALLINT", "   1 (SQL_HANDLE_ENV)") + HE + L("SQLSMALLINT", "   0") +
           L("SQLUSMALLINT", "   2 (SQL_DIAG_NUMBER)") + L("SQLPOINTER", "   @") +
           L("SQLINTEGER", " * -6 (SQL_IS_INTEGER)") + out_,
       L("SQLSMALLINT", "   1 (SQL_HANDLE_ENV)") + HE + L("SQLSMALLINT", "   0") +
           L("SQLUSMALLINT", "   2 (SQL_DIAG_NUMBER)") + L("SQLPOINTER", "   @") +
           L("SQLINTEGER", " * -6 (SQL_IS_INTEGER)") + out5},
      {"SQLGetDiagFieldW",
       [&](int l, int rc) {
         trace_SQLGetDiagFieldW(l, rc, SQL_HANDLE_DBC, dbc, 1, SQL_DIAG_COLUMN_NUMBER, nullptr, 0, nullptr);
       },
       L("SQLSMALLINT", "   2 (SQL_HANDLE_DBC)") + HD + L("SQLSMALLINT", "   1") +
           L("SQLUSMALLINT", "   -1247 (SQL_DIAG_COLUMN_NUMBER)") + L("SQLPOINTER", "   0x0") +
           L("SQLINTEGER", " * 0") + L("SQLSMALLINT", " * 0x0"),
       L("SQLSMALLINT", "   2 (SQL_HANDLE_DBC)") + HD + L("SQLSMALLINT", "   1") +
           L("SQLUSMALLINT", "   -1247 (SQL_DIAG_COLUMN_NUMBER)") + L("SQLPOINTER", "   0x0") +
           L("SQLINTEGER", " * 0") + L("SQLSMALLINT", " * 0x0")},
  });
}

TEST(TraceWriters, DriverAndBrowseConnectMaskPasswords) {
  char in[] = "DSN=x;PWD={a;b};UID=u";
  char out[40] = "DSN=x;PWD=pw;UID=u;DATABASE=d";
  SQLSMALLINT out_len = static_cast<SQLSMALLINT>(std::strlen(out));
  SQLWCHAR win[] = L"DSN=x;PWD =pw";
  SQLWCHAR wout[20] = L"DSN=x;PWD=pw";
  SQLSMALLINT wout_len = 12;
  SQLSMALLINT too_long = 300;
  char cut[8] = {'P', 'W', 'D', '=', 'a', 'b', 'c', 'd'};  // no NUL: the returned length says 300
  const std::string in_row = R("DSN=x;PWD={***};UID=u");
  const std::string out_row = R("DSN=x;PWD=**;UID=u;DATABASE=d");
  run({
      {"SQLDriverConnect",
       [&](int l, int rc) {
         trace_SQLDriverConnect(l, rc, dbc, P(0x77), S(in), SQL_NTS, S(out), 40, &out_len,
                                SQL_DRIVER_NOPROMPT);
       },
       HD + L("SQLPOINTER", "   0x77") + L("SQLCHAR", " * @") + in_row + NTS16 + L("SQLCHAR", " * @") +
           L("SQLSMALLINT", "   40") + L("SQLSMALLINT", " * @") +
           L("SQLUSMALLINT", "   0 (SQL_DRIVER_NOPROMPT)"),
       HD + L("SQLPOINTER", "   0x77") + L("SQLCHAR", " * @") + NTS16 + L("SQLCHAR", " * @") + out_row +
           L("SQLSMALLINT", "   40") + L("SQLSMALLINT", " * @ (29)") +
           L("SQLUSMALLINT", "   0 (SQL_DRIVER_NOPROMPT)")},
      {"SQLDriverConnectW",
       [&](int l, int rc) {
         trace_SQLDriverConnectW(l, rc, dbc, nullptr, win, SQL_NTS, wout, 20, &wout_len, SQL_DRIVER_COMPLETE);
       },
       HD + L("SQLPOINTER", "   0x0") + L("SQLWCHAR", " * @") + R("DSN=x;PWD =**") + NTS16 +
           L("SQLWCHAR", " * @") + L("SQLSMALLINT", "   20") + L("SQLSMALLINT", " * @") +
           L("SQLUSMALLINT", "   1 (SQL_DRIVER_COMPLETE)"),
       HD + L("SQLPOINTER", "   0x0") + L("SQLWCHAR", " * @") + NTS16 + L("SQLWCHAR", " * @") +
           R("DSN=x;PWD=**") + L("SQLSMALLINT", "   20") + L("SQLSMALLINT", " * @ (12)") +
           L("SQLUSMALLINT", "   1 (SQL_DRIVER_COMPLETE)")},
      {"SQLDriverConnect",
       [&](int l, int rc) {
         trace_SQLDriverConnect(l, rc, dbc, nullptr, nullptr, 0, S(cut), 8, &too_long, 9);
       },
       HD + L("SQLPOINTER", "   0x0") + L("SQLCHAR", " * 0x0") + L("SQLSMALLINT", "   0") +
           L("SQLCHAR", " * @") + L("SQLSMALLINT", "   8") + L("SQLSMALLINT", " * @") +
           L("SQLUSMALLINT", "   9 (invalid completion value)"),
       HD + L("SQLPOINTER", "   0x0") + L("SQLCHAR", " * 0x0") + L("SQLSMALLINT", "   0") +
           L("SQLCHAR", " * @") + R("PWD=****") + L("SQLSMALLINT", "   8") + L("SQLSMALLINT", " * @ (300)") +
           L("SQLUSMALLINT", "   9 (invalid completion value)")},
      {"SQLBrowseConnect",
       [&](int l, int rc) { trace_SQLBrowseConnect(l, rc, dbc, S(in), 21, S(out), 40, &out_len); },
       HD + L("SQLCHAR", " * @") + in_row + L("SQLSMALLINT", "   21") + L("SQLCHAR", " * @") +
           L("SQLSMALLINT", "   40") + L("SQLSMALLINT", " * @"),
       HD + L("SQLCHAR", " * @") + L("SQLSMALLINT", "   21") + L("SQLCHAR", " * @") + out_row +
           L("SQLSMALLINT", "   40") + L("SQLSMALLINT", " * @ (29)")},
      {"SQLBrowseConnectW",
       [&](int l, int rc) { trace_SQLBrowseConnectW(l, rc, dbc, win, SQL_NTS, wout, 20, &wout_len); },
       HD + L("SQLWCHAR", " * @") + R("DSN=x;PWD =**") + NTS16 + L("SQLWCHAR", " * @") +
           L("SQLSMALLINT", "   20") + L("SQLSMALLINT", " * @"),
       HD + L("SQLWCHAR", " * @") + NTS16 + L("SQLWCHAR", " * @") + R("DSN=x;PWD=**") +
           L("SQLSMALLINT", "   20") + L("SQLSMALLINT", " * @ (12)")},
  });
  EXPECT_STREQ(in, "DSN=x;PWD={a;b};UID=u");  // the caller's strings stay as they were
  EXPECT_STREQ(out, "DSN=x;PWD=pw;UID=u;DATABASE=d");
}

TEST(TraceWriters, Statements) {
  Outputs o;
  SQLLEN ind = 4;
  SQLINTEGER value = 1234;
  SQLPOINTER token = nullptr;
  const std::string ind_ = L("SQLLEN", " * @"), ind4 = L("SQLLEN", " * @ (4)");
  run({
      {"SQLExecute", [&](int l, int rc) { trace_SQLExecute(l, rc, stmt); }, HS, HS},
      {"SQLFetch", [&](int l, int rc) { trace_SQLFetch(l, rc, stmt); }, HS, HS},
      {"SQLCancel", [&](int l, int rc) { trace_SQLCancel(l, rc, stmt); }, HS, HS},
      {"SQLCloseCursor", [&](int l, int rc) { trace_SQLCloseCursor(l, rc, stmt); }, HS, HS},
      {"SQLMoreResults", [&](int l, int rc) { trace_SQLMoreResults(l, rc, stmt); }, HS, HS},
      {"SQLFreeStmt", [&](int l, int rc) { trace_SQLFreeStmt(l, rc, stmt, SQL_UNBIND); },
       HS + L("SQLUSMALLINT", "   2 (SQL_UNBIND)"), HS + L("SQLUSMALLINT", "   2 (SQL_UNBIND)")},
      {"SQLPrepare", [&](int l, int rc) { trace_SQLPrepare(l, rc, stmt, S("SELECT 1"), SQL_NTS); },
       HS + text("SQLCHAR", "SELECT 1") + NTS32, HS + text("SQLCHAR", nullptr) + NTS32},
      {"SQLPrepareW", [&](int l, int rc) { trace_SQLPrepareW(l, rc, stmt, W(L"SELECT 2"), 6); },
       HS + text("SQLWCHAR", "SELECT") + L("SQLINTEGER", "   6"),
       HS + text("SQLWCHAR", nullptr) + L("SQLINTEGER", "   6")},
      {"SQLExecDirect",
       [&](int l, int rc) { trace_SQLExecDirect(l, rc, stmt, S("SELECT 3 FROM t"), 65536 + 8); },
       HS + text("SQLCHAR", "SELECT 3") + L("SQLINTEGER", "   65544"),
       HS + text("SQLCHAR", nullptr) + L("SQLINTEGER", "   65544")},
      {"SQLExecDirectW", [&](int l, int rc) { trace_SQLExecDirectW(l, rc, stmt, W(L""), SQL_NTS); },
       HS + text("SQLWCHAR", "(empty string)") + NTS32, HS + text("SQLWCHAR", nullptr) + NTS32},
      {"SQLBindCol",
       [&](int l, int rc) { trace_SQLBindCol(l, rc, stmt, 2, SQL_C_CHAR, P(0x6000), 10, &ind); },
       HS + L("SQLUSMALLINT", "   2") + L("SQLSMALLINT", "   1 (SQL_C_CHAR)") + L("SQLPOINTER", "   0x6000") +
           L("SQLLEN", "   10") + ind_,
       HS + L("SQLUSMALLINT", "   2") + L("SQLSMALLINT", "   1 (SQL_C_CHAR)") + L("SQLPOINTER", "   0x6000") +
           L("SQLLEN", "   10") + ind4},
      {"SQLBindParameter",
       [&](int l, int rc) {
         trace_SQLBindParameter(l, rc, stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, (1ull << 32) + 10,
                                0, &value, 4, &ind);
       },
       HS + L("SQLSMALLINT", "   1") + L("SQLSMALLINT", "   1 (SQL_PARAM_INPUT)") +
           L("SQLSMALLINT", "   -16 (SQL_C_SLONG)") + L("SQLSMALLINT", "   4 (SQL_INTEGER)") +
           L("SQLUINTEGER", "   10") + L("SQLSMALLINT", "   0") + L("SQLPOINTER", "   @") +
           L("SQLLEN", "   4") + ind_,
       HS + L("SQLSMALLINT", "   1") + L("SQLSMALLINT", "   1 (SQL_PARAM_INPUT)") +
           L("SQLSMALLINT", "   -16 (SQL_C_SLONG)") + L("SQLSMALLINT", "   4 (SQL_INTEGER)") +
           L("SQLUINTEGER", "   10") + L("SQLSMALLINT", "   0") + L("SQLPOINTER", "   @") +
           L("SQLLEN", "   4") + ind4},
      {"SQLBulkOperations", [&](int l, int rc) { trace_SQLBulkOperations(l, rc, stmt, SQL_ADD); },
       HS + L("SQLUSMALLINT", "   4 (SQL_ADD)"), HS + L("SQLUSMALLINT", "   4 (SQL_ADD)")},
      {"SQLDescribeParam",
       [&](int l, int rc) { trace_SQLDescribeParam(l, rc, stmt, 1, &o.type, &o.ulen, &o.s16, &o.nullable); },
       HS + L("SQLUSMALLINT", "   1") + L("SQLSMALLINT", " * @") + L("SQLULEN", " * @") +
           L("SQLSMALLINT", " * @") + L("SQLSMALLINT", " * @"),
       HS + L("SQLUSMALLINT", "   1") + L("SQLSMALLINT", " * @ (SQL_INTERVAL)") + L("SQLULEN", " * @ (11)") +
           L("SQLSMALLINT", " * @ (5)") + L("SQLSMALLINT", " * @ (0)")},
      {"SQLExtendedFetch",
       [&](int l, int rc) { trace_SQLExtendedFetch(l, rc, stmt, SQL_FETCH_ABSOLUTE, -2, &o.ulen, &o.u16); },
       HS + L("SQLUSMALLINT", "   5 (SQL_FETCH_ABSOLUTE)") + L("SQLLEN", "   -2") + L("SQLULEN", " * @") +
           L("SQLUSMALLINT", " * @"),
       HS + L("SQLUSMALLINT", "   5 (SQL_FETCH_ABSOLUTE)") + L("SQLLEN", "   -2") +
           L("SQLULEN", " * @ (11)") + L("SQLUSMALLINT", " * @")},
      {"SQLFetchScroll", [&](int l, int rc) { trace_SQLFetchScroll(l, rc, stmt, SQL_FETCH_RELATIVE, 3); },
       HS + L("SQLUSMALLINT", "   6 (SQL_FETCH_RELATIVE)") + L("SQLLEN", "   3"),
       HS + L("SQLUSMALLINT", "   6 (SQL_FETCH_RELATIVE)") + L("SQLLEN", "   3")},
      {"SQLGetData", [&](int l, int rc) { trace_SQLGetData(l, rc, stmt, 1, SQL_C_SLONG, &value, 4, &ind); },
       HS + L("SQLUSMALLINT", "   1") + L("SQLSMALLINT", "   -16 (SQL_C_SLONG)") + L("SQLPOINTER", "   @") +
           L("SQLLEN", "   4") + ind_,
       HS + L("SQLUSMALLINT", "   1") + L("SQLSMALLINT", "   -16 (SQL_C_SLONG)") + L("SQLPOINTER", "   @") +
           R("1234") + L("SQLLEN", "   4") + ind4},
      {"SQLGetStmtOption",
       [&](int l, int rc) { trace_SQLGetStmtOption(l, rc, stmt, SQL_ROWSET_SIZE, &value); },
       HS + L("SQLUSMALLINT", "   9 (SQL_ROWSET_SIZE)") + L("SQLPOINTER", "   @"),
       HS + L("SQLUSMALLINT", "   9 (SQL_ROWSET_SIZE)") + L("SQLPOINTER", "   @")},
      {"SQLSetStmtOption",
       [&](int l, int rc) { trace_SQLSetStmtOption(l, rc, stmt, SQL_MAX_ROWS, (1ull << 32) + 7); },
       HS + L("SQLUSMALLINT", "   1 (SQL_MAX_ROWS)") + L("SQLUINTEGER", "   7"),
       HS + L("SQLUSMALLINT", "   1 (SQL_MAX_ROWS)") + L("SQLUINTEGER", "   7")},
      {"SQLNumParams", [&](int l, int rc) { trace_SQLNumParams(l, rc, stmt, &o.s16); },
       HS + L("SQLSMALLINT", " * @"), HS + L("SQLSMALLINT", " * @ (5)")},
      {"SQLNumResultCols", [&](int l, int rc) { trace_SQLNumResultCols(l, rc, stmt, &o.s16); },
       HS + L("SQLSMALLINT", " * @"), HS + L("SQLSMALLINT", " * @ (5)")},
      {"SQLParamData", [&](int l, int rc) { trace_SQLParamData(l, rc, stmt, &token); },
       HS + L("SQLPOINTER", "   @"), HS + L("SQLPOINTER", "   @")},
      {"SQLPutData", [&](int l, int rc) { trace_SQLPutData(l, rc, stmt, P(0x6000), SQL_NULL_DATA); },
       HS + L("SQLPOINTER", "   0x6000") + L("SQLLEN", "   -1"),
       HS + L("SQLPOINTER", "   0x6000") + L("SQLLEN", "   -1")},
      {"SQLParamOptions", [&](int l, int rc) { trace_SQLParamOptions(l, rc, stmt, 3, &o.ulen); },
       HS + L("SQLULEN", "   3") + L("SQLULEN", " * @"),
       HS + L("SQLULEN", "   3") + L("SQLULEN", " * @ (11)")},
      {"SQLRowCount", [&](int l, int rc) { trace_SQLRowCount(l, rc, stmt, &o.len); },
       HS + L("SQLLEN", " * @"), HS + L("SQLLEN", " * @ (9)")},
      {"SQLSetPos", [&](int l, int rc) { trace_SQLSetPos(l, rc, stmt, 2, SQL_REFRESH, SQL_LOCK_NO_CHANGE); },
       HS + L("SQLSETPOSIROW", "   2") + L("SQLUSMALLINT", "   1 (SQL_REFRESH)") +
           L("SQLUSMALLINT", "   0 (SQL_LOCK_NO_CHANGE)"),
       HS + L("SQLSETPOSIROW", "   2") + L("SQLUSMALLINT", "   1 (SQL_REFRESH)") +
           L("SQLUSMALLINT", "   0 (SQL_LOCK_NO_CHANGE)")},
      {"SQLSetScrollOptions",
       [&](int l, int rc) { trace_SQLSetScrollOptions(l, rc, stmt, SQL_CONCUR_LOCK, -1, 10); },
       HS + L("SQLUSMALLINT", "   2 (SQL_CONCUR_LOCK)") + L("SQLINTEGER", "   -1") +
           L("SQLUSMALLINT", "   10"),
       HS + L("SQLUSMALLINT", "   2 (SQL_CONCUR_LOCK)") + L("SQLINTEGER", "   -1") +
           L("SQLUSMALLINT", "   10")},
      {"SQLSetCursorName", [&](int l, int rc) { trace_SQLSetCursorName(l, rc, stmt, S("cur"), SQL_NTS); },
       HS + name_arg(true, "cur"), HS + name_arg(false, "cur")},
      {"SQLSetCursorNameW", [&](int l, int rc) { trace_SQLSetCursorNameW(l, rc, stmt, W(L"cur"), SQL_NTS); },
       HS + name_arg(true, "cur", true), HS + name_arg(false, "cur", true)},
      {"SQLGetCursorName", [&](int l, int rc) { trace_SQLGetCursorName(l, rc, stmt, S(o.name), 6, &o.s16); },
       HS + text("SQLCHAR", nullptr) + L("SQLSMALLINT", "   6") + L("SQLSMALLINT", " * @"),
       HS + text("SQLCHAR", "col_a") + L("SQLSMALLINT", "   6") + L("SQLSMALLINT", " * @ (5)")},
      {"SQLGetCursorNameW", [&](int l, int rc) { trace_SQLGetCursorNameW(l, rc, stmt, o.wname, 6, &o.s16); },
       HS + text("SQLWCHAR", nullptr) + L("SQLSMALLINT", "   6") + L("SQLSMALLINT", " * @"),
       HS + text("SQLWCHAR", "col_a") + L("SQLSMALLINT", "   6") + L("SQLSMALLINT", " * @ (5)")},
      {"SQLGetStmtAttr",
       [&](int l, int rc) { trace_SQLGetStmtAttr(l, rc, stmt, SQL_ATTR_ROW_ARRAY_SIZE, &value, 0, &o.s32); },
       HS + L("SQLINTEGER", "   27 (SQL_ATTR_ROW_ARRAY_SIZE)") + L("SQLPOINTER", "   @") +
           L("SQLINTEGER", " * 0") + L("SQLINTEGER", " * @"),
       HS + L("SQLINTEGER", "   27 (SQL_ATTR_ROW_ARRAY_SIZE)") + L("SQLPOINTER", "   @") +
           L("SQLINTEGER", " * 0") + L("SQLINTEGER", " * @ (7)")},
      {"SQLGetStmtAttrW",
       [&](int l, int rc) { trace_SQLGetStmtAttrW(l, rc, stmt, SQL_ATTR_APP_ROW_DESC, &value, -4, nullptr); },
       HS + L("SQLINTEGER", "   10010 (SQL_ATTR_APP_ROW_DESC)") + L("SQLPOINTER", "   @") +
           L("SQLINTEGER", " * -4 (SQL_IS_POINTER)") + L("SQLINTEGER", " * 0x0"),
       HS + L("SQLINTEGER", "   10010 (SQL_ATTR_APP_ROW_DESC)") + L("SQLPOINTER", "   @") +
           L("SQLINTEGER", " * -4 (SQL_IS_POINTER)") + L("SQLINTEGER", " * 0x0")},
      {"SQLSetStmtAttr",
       [&](int l, int rc) { trace_SQLSetStmtAttr(l, rc, stmt, SQL_ATTR_MAX_ROWS, P(5), 0); },
       HS + L("SQLINTEGER", "   1 (SQL_ATTR_MAX_ROWS)") + L("SQLPOINTER", "   0x5") + L("SQLINTEGER", " * 0"),
       HS + L("SQLINTEGER", "   1 (SQL_ATTR_MAX_ROWS)") + L("SQLPOINTER", "   0x5") +
           L("SQLINTEGER", " * 0")},
      {"SQLSetStmtAttrW", [&](int l, int rc) { trace_SQLSetStmtAttrW(l, rc, stmt, 99, nullptr, -110); },
       HS + L("SQLINTEGER", "   99 (unknown statement attribute)") + L("SQLPOINTER", "   0x0") +
           L("SQLINTEGER", " * -110 (SQL_LEN_BINARY_ATTR(10))"),
       HS + L("SQLINTEGER", "   99 (unknown statement attribute)") + L("SQLPOINTER", "   0x0") +
           L("SQLINTEGER", " * -110 (SQL_LEN_BINARY_ATTR(10))")},
      {"SQLGetTypeInfo", [&](int l, int rc) { trace_SQLGetTypeInfo(l, rc, stmt, SQL_ALL_TYPES); },
       HS + L("SQLSMALLINT", "   0 (SQL_ALL_TYPES)"), HS + L("SQLSMALLINT", "   0 (SQL_ALL_TYPES)")},
      {"SQLGetTypeInfoW", [&](int l, int rc) { trace_SQLGetTypeInfoW(l, rc, stmt, SQL_WVARCHAR); },
       HS + L("SQLSMALLINT", "   -9 (SQL_WVARCHAR)"), HS + L("SQLSMALLINT", "   -9 (SQL_WVARCHAR)")},
  });
}

TEST(TraceWriters, DescriptionsAndNativeSql) {
  Outputs o;
  SQLINTEGER native_len = 65536 + 5;  // read as 16 bits
  char native_out[12] = "SELECT 1";
  SQLWCHAR wnative_out[12] = L"SELECT 1";
  SQLINTEGER wnative_len = 8;
  const std::string describe_entry = L("SQLSMALLINT", "   6") + L("SQLSMALLINT", " * @") +
                                     L("SQLSMALLINT", " * @") + L("SQLULEN", " * @") +
                                     L("SQLSMALLINT", " * @") + L("SQLSMALLINT", " * @");
  const std::string describe_exit = L("SQLSMALLINT", "   6") + L("SQLSMALLINT", " * @ (5)") +
                                    L("SQLSMALLINT", " * @ (SQL_INTERVAL)") + L("SQLULEN", " * @ (11)") +
                                    L("SQLSMALLINT", " * @ (5)") + L("SQLSMALLINT", " * @ (SQL_NO_NULLS)");
  run({
      {"SQLDescribeCol",
       [&](int l, int rc) {
         trace_SQLDescribeCol(l, rc, stmt, 1, S(o.name), 6, &o.s16, &o.type, &o.ulen, &o.s16, &o.nullable);
       },
       HS + L("SQLUSMALLINT", "   1") + text("SQLCHAR", nullptr) + describe_entry,
       HS + L("SQLUSMALLINT", "   1") + text("SQLCHAR", "col_a") + describe_exit},
      {"SQLDescribeColW",
       [&](int l, int rc) {
         trace_SQLDescribeColW(l, rc, stmt, 1, o.wname, 6, &o.s16, &o.type, &o.ulen, &o.s16, &o.nullable);
       },
       HS + L("SQLUSMALLINT", "   1") + text("SQLWCHAR", nullptr) + describe_entry,
       HS + L("SQLUSMALLINT", "   1") + text("SQLWCHAR", "col_a") + describe_exit},
      {"SQLColAttributes",
       [&](int l, int rc) {
         trace_SQLColAttributes(l, rc, stmt, 1, SQL_COLUMN_LENGTH, o.name, 6, &o.s16, &o.len);
       },
       HS + L("SQLUSMALLINT", "   1") + L("SQLUSMALLINT", "   3 (SQL_COLUMN_LENGTH)") +
           L("SQLPOINTER", "   @") + L("SQLSMALLINT", "   6") + L("SQLSMALLINT", " * @") +
           L("SQLLEN", " * @"),
       HS + L("SQLUSMALLINT", "   1") + L("SQLUSMALLINT", "   3 (SQL_COLUMN_LENGTH)") +
           L("SQLPOINTER", "   @") + L("SQLSMALLINT", "   6") + L("SQLSMALLINT", " * @ (5)") +
           L("SQLLEN", " * @ (9)")},
      {"SQLColAttributesW",
       [&](int l, int rc) { trace_SQLColAttributesW(l, rc, stmt, 2, 40, nullptr, 0, nullptr, nullptr); },
       HS + L("SQLUSMALLINT", "   2") + L("SQLUSMALLINT", "   40 (unknown option)") +
           L("SQLPOINTER", "   0x0") + L("SQLSMALLINT", "   0") + L("SQLSMALLINT", " * 0x0") +
           L("SQLLEN", " * 0x0"),
       HS + L("SQLUSMALLINT", "   2") + L("SQLUSMALLINT", "   40 (unknown option)") +
           L("SQLPOINTER", "   0x0") + L("SQLSMALLINT", "   0") + L("SQLSMALLINT", " * 0x0") +
           L("SQLLEN", " * 0x0")},
      {"SQLNativeSql",
       [&](int l, int rc) {
         trace_SQLNativeSql(l, rc, dbc, S("SELECT 1"), SQL_NTS, S(native_out), 12, &native_len);
       },
       HD + text("SQLCHAR", "SELECT 1") + NTS32 + L("SQLCHAR", " * @") + L("SQLINTEGER", "   12") +
           L("SQLINTEGER", " * @"),
       HD + text("SQLCHAR", nullptr) + NTS32 + text("SQLCHAR", "SELEC") + L("SQLINTEGER", "   12") +
           L("SQLINTEGER", " * @ (65541)")},
      {"SQLNativeSqlW",
       [&](int l, int rc) {
         trace_SQLNativeSqlW(l, rc, dbc, W(L"SELECT 1"), 8, wnative_out, 12, &wnative_len);
       },
       HD + text("SQLWCHAR", "SELECT 1") + L("SQLINTEGER", "   8") + L("SQLWCHAR", " * @") +
           L("SQLINTEGER", "   12") + L("SQLINTEGER", " * @"),
       HD + text("SQLWCHAR", nullptr) + L("SQLINTEGER", "   8") + text("SQLWCHAR", "SELECT 1") +
           L("SQLINTEGER", "   12") + L("SQLINTEGER", " * @ (8)")},
      {"SQLCopyDesc", [&](int l, int rc) { trace_SQLCopyDesc(l, rc, desc, P(0x4100)); },
       HDE + L("SQLDESC", "   0x4100"), HDE + L("SQLDESC", "   0x4100")},
      {"SQLGetDescField",
       [&](int l, int rc) {
         trace_SQLGetDescField(l, rc, desc, 1, SQL_DESC_TYPE, &o.s16, SQL_IS_SMALLINT, &o.s32);
       },
       HDE + L("SQLSMALLINT", "   1") + L("SQLUSMALLINT", "   1002 (SQL_DESC_TYPE)") +
           L("SQLPOINTER", "   @") + L("SQLINTEGER", " * -8 (SQL_IS_SMALLINT)") + L("SQLINTEGER", " * @"),
       HDE + L("SQLSMALLINT", "   1") + L("SQLUSMALLINT", "   1002 (SQL_DESC_TYPE)") +
           L("SQLPOINTER", "   @") + L("SQLINTEGER", " * -8 (SQL_IS_SMALLINT)") +
           L("SQLINTEGER", " * @ (7)")},
      {"SQLGetDescFieldW",
       [&](int l, int rc) { trace_SQLGetDescFieldW(l, rc, desc, 0, 19, nullptr, 0, nullptr); },
       HDE + L("SQLSMALLINT", "   0") + L("SQLUSMALLINT", "   19 (unknown field identifier)") +
           L("SQLPOINTER", "   0x0") + L("SQLINTEGER", " * 0") + L("SQLINTEGER", " * 0x0"),
       HDE + L("SQLSMALLINT", "   0") + L("SQLUSMALLINT", "   19 (unknown field identifier)") +
           L("SQLPOINTER", "   0x0") + L("SQLINTEGER", " * 0") + L("SQLINTEGER", " * 0x0")},
      {"SQLSetDescField",
       [&](int l, int rc) { trace_SQLSetDescField(l, rc, desc, 1, SQL_DESC_NAME, S("n"), SQL_NTS); },
       HDE + L("SQLSMALLINT", "   1") + L("SQLUSMALLINT", "   1011 (SQL_DESC_NAME)") +
           L("SQLPOINTER", "   @") + L("SQLINTEGER", " * -3 (SQL_NTS)"),
       HDE + L("SQLSMALLINT", "   1") + L("SQLUSMALLINT", "   1011 (SQL_DESC_NAME)") +
           L("SQLPOINTER", "   @") + L("SQLINTEGER", " * -3 (SQL_NTS)")},
      {"SQLSetDescFieldW",
       [&](int l, int rc) { trace_SQLSetDescFieldW(l, rc, desc, 0, SQL_DESC_ARRAY_SIZE, P(10), 0); },
       HDE + L("SQLSMALLINT", "   0") + L("SQLUSMALLINT", "   20 (SQL_DESC_ARRAY_SIZE)") +
           L("SQLPOINTER", "   0xa") + L("SQLINTEGER", " * 0"),
       HDE + L("SQLSMALLINT", "   0") + L("SQLUSMALLINT", "   20 (SQL_DESC_ARRAY_SIZE)") +
           L("SQLPOINTER", "   0xa") + L("SQLINTEGER", " * 0")},
      {"SQLGetDescRec",
       [&](int l, int rc) {
         trace_SQLGetDescRec(l, rc, desc, 1, S(o.name), 6, &o.s16, &o.type, &o.sub, &o.len, &o.s16, &o.s16,
                             &o.nullable);
       },
       HDE + L("SQLSMALLINT", "   1") + text("SQLCHAR", nullptr) + L("SQLSMALLINT", "   6") +
           L("SQLSMALLINT", " * @") + L("SQLSMALLINT", " * @") + L("SQLSMALLINT", " * @") +
           L("SQLLEN", " * @") + L("SQLSMALLINT", " * @") + L("SQLSMALLINT", " * @") +
           L("SQLSMALLINT", " * @"),
       HDE + L("SQLSMALLINT", "   1") + text("SQLCHAR", "col_a") + L("SQLSMALLINT", "   6") +
           L("SQLSMALLINT", " * @ (5)") + L("SQLSMALLINT", " * @ (SQL_INTERVAL)") +
           L("SQLSMALLINT", " * @ (SQL_CODE_DAY)") + L("SQLLEN", " * @ (9)") + L("SQLSMALLINT", " * @ (5)") +
           L("SQLSMALLINT", " * @ (5)") + L("SQLSMALLINT", " * @ (SQL_NO_NULLS)")},
      {"SQLGetDescRecW",
       [&](int l, int rc) {
         trace_SQLGetDescRecW(l, rc, desc, 2, nullptr, 0, nullptr, nullptr, &o.sub, nullptr, nullptr, nullptr,
                              nullptr);
       },
       HDE + L("SQLSMALLINT", "   2") + L("SQLWCHAR", " * 0x0") + L("SQLSMALLINT", "   0") +
           L("SQLSMALLINT", " * 0x0") + L("SQLSMALLINT", " * 0x0") + L("SQLSMALLINT", " * 0x0") +
           L("SQLLEN", " * 0x0") + L("SQLSMALLINT", " * 0x0") + L("SQLSMALLINT", " * 0x0") +
           L("SQLSMALLINT", " * 0x0"),
       HDE + L("SQLSMALLINT", "   2") + L("SQLWCHAR", " * 0x0") + L("SQLSMALLINT", "   0") +
           L("SQLSMALLINT", " * 0x0") + L("SQLSMALLINT", " * 0x0") + L("SQLSMALLINT", " * 0x0") +
           L("SQLLEN", " * 0x0") + L("SQLSMALLINT", " * 0x0") + L("SQLSMALLINT", " * 0x0") +
           L("SQLSMALLINT", " * 0x0")},
      {"SQLSetDescRec",
       [&](int l, int rc) {
         trace_SQLSetDescRec(l, rc, desc, 1, SQL_INTEGER, 0, 4, 10, 0, P(0x6000), &o.len, nullptr);
       },
       HDE + L("SQLSMALLINT", "   1") + L("SQLSMALLINT", "   4") + L("SQLSMALLINT", "   0") +
           L("SQLLEN", "   4") + L("SQLSMALLINT", "   10") + L("SQLSMALLINT", "   0") +
           L("SQLPOINTER", "   0x6000") + L("SQLLEN", " * @") + L("SQLLEN", " * 0x0"),
       HDE + L("SQLSMALLINT", "   1") + L("SQLSMALLINT", "   4") + L("SQLSMALLINT", "   0") +
           L("SQLLEN", "   4") + L("SQLSMALLINT", "   10") + L("SQLSMALLINT", "   0") +
           L("SQLPOINTER", "   0x6000") + L("SQLLEN", " * @ (9)") + L("SQLLEN", " * 0x0")},
  });
}

// The catalog calls: every name argument dumped on entry only.
TEST(TraceWriters, Catalog) {
  auto names = [](bool entry, bool wide, int n) {
    std::string s;
    const char* values[] = {"c", "s", "t", "x", "y", "z"};
    for (int i = 0; i < n; ++i) s += name_arg(entry, values[i], wide);
    return s;
  };
  SQLCHAR *c = S("c"), *s = S("s"), *t = S("t"), *x = S("x"), *y = S("y"), *z = S("z");
  SQLWCHAR *wc = W(L"c"), *ws = W(L"s"), *wt = W(L"t"), *wx = W(L"x"), *wy = W(L"y"), *wz = W(L"z");
  const short N = SQL_NTS;
  const std::string special_head = L("SQLUSMALLINT", "   1 (SQL_BEST_ROWID)");
  const std::string special_tail =
      L("SQLUSMALLINT", "   1 (SQL_SCOPE_TRANSACTION)") + L("SQLUSMALLINT", "   0 (SQL_NO_NULLS)");
  const std::string stats_tail =
      L("SQLUSMALLINT", "   0 (SQL_INDEX_UNIQUE)") + L("SQLUSMALLINT", "   1 (SQL_ENSURE)");
  run({
      {"SQLColumns", [&](int l, int rc) { trace_SQLColumns(l, rc, stmt, c, N, s, N, t, N, x, N); },
       HS + names(true, false, 4), HS + names(false, false, 4)},
      {"SQLColumnsW", [&](int l, int rc) { trace_SQLColumnsW(l, rc, stmt, wc, N, ws, N, wt, N, wx, N); },
       HS + names(true, true, 4), HS + names(false, true, 4)},
      {"SQLColumnPrivileges",
       [&](int l, int rc) { trace_SQLColumnPrivileges(l, rc, stmt, c, N, s, N, t, N, x, N); },
       HS + names(true, false, 4), HS + names(false, false, 4)},
      {"SQLColumnPrivilegesW",
       [&](int l, int rc) { trace_SQLColumnPrivilegesW(l, rc, stmt, wc, N, ws, N, wt, N, wx, N); },
       HS + names(true, true, 4), HS + names(false, true, 4)},
      {"SQLProcedureColumns",
       [&](int l, int rc) { trace_SQLProcedureColumns(l, rc, stmt, c, N, s, N, t, N, x, N); },
       HS + names(true, false, 4), HS + names(false, false, 4)},
      {"SQLProcedureColumnsW",
       [&](int l, int rc) { trace_SQLProcedureColumnsW(l, rc, stmt, wc, N, ws, N, wt, N, wx, N); },
       HS + names(true, true, 4), HS + names(false, true, 4)},
      {"SQLTables", [&](int l, int rc) { trace_SQLTables(l, rc, stmt, c, N, s, N, t, N, x, N); },
       HS + names(true, false, 4), HS + names(false, false, 4)},
      {"SQLTablesW", [&](int l, int rc) { trace_SQLTablesW(l, rc, stmt, wc, N, ws, N, wt, N, wx, N); },
       HS + names(true, true, 4), HS + names(false, true, 4)},
      {"SQLPrimaryKeys", [&](int l, int rc) { trace_SQLPrimaryKeys(l, rc, stmt, c, N, s, N, t, N); },
       HS + names(true, false, 3), HS + names(false, false, 3)},
      {"SQLPrimaryKeysW", [&](int l, int rc) { trace_SQLPrimaryKeysW(l, rc, stmt, wc, N, ws, N, wt, N); },
       HS + names(true, true, 3), HS + names(false, true, 3)},
      {"SQLProcedures", [&](int l, int rc) { trace_SQLProcedures(l, rc, stmt, c, N, s, N, t, N); },
       HS + names(true, false, 3), HS + names(false, false, 3)},
      {"SQLProceduresW", [&](int l, int rc) { trace_SQLProceduresW(l, rc, stmt, wc, N, ws, N, wt, N); },
       HS + names(true, true, 3), HS + names(false, true, 3)},
      {"SQLTablePrivileges", [&](int l, int rc) { trace_SQLTablePrivileges(l, rc, stmt, c, N, s, N, t, N); },
       HS + names(true, false, 3), HS + names(false, false, 3)},
      {"SQLTablePrivilegesW",
       [&](int l, int rc) { trace_SQLTablePrivilegesW(l, rc, stmt, wc, N, ws, N, wt, N); },
       HS + names(true, true, 3), HS + names(false, true, 3)},
      {"SQLForeignKeys",
       [&](int l, int rc) { trace_SQLForeignKeys(l, rc, stmt, c, N, s, N, t, N, x, N, y, N, z, N); },
       HS + names(true, false, 6), HS + names(false, false, 6)},
      {"SQLForeignKeysW",
       [&](int l, int rc) { trace_SQLForeignKeysW(l, rc, stmt, wc, N, ws, N, wt, N, wx, N, wy, N, wz, N); },
       HS + names(true, true, 6), HS + names(false, true, 6)},
      {"SQLSpecialColumns",
       [&](int l, int rc) {
         trace_SQLSpecialColumns(l, rc, stmt, SQL_BEST_ROWID, c, N, s, N, t, N, SQL_SCOPE_TRANSACTION,
                                 SQL_NO_NULLS);
       },
       HS + special_head + names(true, false, 3) + special_tail,
       HS + special_head + names(false, false, 3) + special_tail},
      {"SQLSpecialColumnsW",
       [&](int l, int rc) {
         trace_SQLSpecialColumnsW(l, rc, stmt, SQL_BEST_ROWID, wc, N, ws, N, wt, N, SQL_SCOPE_TRANSACTION,
                                  SQL_NO_NULLS);
       },
       HS + special_head + names(true, true, 3) + special_tail,
       HS + special_head + names(false, true, 3) + special_tail},
      {"SQLStatistics",
       [&](int l, int rc) {
         trace_SQLStatistics(l, rc, stmt, c, N, s, N, t, N, SQL_INDEX_UNIQUE, SQL_ENSURE);
       },
       HS + names(true, false, 3) + stats_tail, HS + names(false, false, 3) + stats_tail},
      {"SQLStatisticsW",
       [&](int l, int rc) {
         trace_SQLStatisticsW(l, rc, stmt, wc, N, ws, N, wt, N, SQL_INDEX_UNIQUE, SQL_ENSURE);
       },
       HS + names(true, true, 3) + stats_tail, HS + names(false, true, 3) + stats_tail},
  });
}

// SQLColAttribute prints its outputs by the field asked for.
TEST(TraceWriters, ColAttributeByField) {
  char label[16] = "label";
  SQLWCHAR wlabel[16] = L"label";
  SQLSMALLINT str_len = 5, wstr_len = 20;  // the wide length counts bytes
  SQLLEN num = 5, seven = 7, two = 2;
  const std::string head = HS + L("SQLUSMALLINT", "   1");
  auto field = [](const char* name) { return L("SQLUSMALLINT", name); };
  const std::string plain = L("SQLPOINTER", "   @") + L("SQLINTEGER", " * 16");
  const std::string unread = L("SQLSMALLINT", " * @") + L("SQLLEN", " * @");
  struct Row {
    SQLUSMALLINT id;
    const char* field;
    SQLLEN* num;
    std::string exit;
  };
  const Row rows[] = {
      {SQL_DESC_LABEL, "   18 (SQL_DESC_LABEL)", &num,
       L("SQLCHAR", " * @") + R("label") + L("SQLINTEGER", " * 16") + L("SQLSMALLINT", " * @ (5)") +
           L("SQLLEN", " * @")},
      {SQL_DESC_COUNT, "   1001 (SQL_DESC_COUNT)", &num,
       plain + L("SQLSMALLINT", " * @") + L("SQLLEN", " * @ (5)")},
      {SQL_DESC_CASE_SENSITIVE, "   12 (SQL_DESC_CASE_SENSITIVE)", &num,
       plain + L("SQLSMALLINT", " * @") + L("SQLLEN", " * @ (SQL_TRUE)")},
      {SQL_DESC_UPDATABLE, "   10 (SQL_DESC_UPDATABLE)", &seven,
       plain + L("SQLSMALLINT", " * @") + L("SQLLEN", " * @ (unknown updatable type)")},
      {SQL_DESC_UPDATABLE, "   10 (SQL_DESC_UPDATABLE)", &two,
       plain + L("SQLSMALLINT", " * @") + L("SQLLEN", " * @ (SQL_ATTR_READWRITE_UNKNOWN)")},
      {SQL_DESC_SEARCHABLE, "   13 (SQL_DESC_SEARCHABLE)", &two,
       plain + L("SQLSMALLINT", " * @") + L("SQLLEN", " * @ (SQL_PRED_BASIC)")},
      {SQL_DESC_NULLABLE, "   1008 (SQL_DESC_NULLABLE)", &seven,
       plain + L("SQLSMALLINT", " * @") + L("SQLLEN", " * @ (unknown nullable type)")},
      {SQL_DESC_UNNAMED, "   1012 (SQL_DESC_UNNAMED)", &seven,
       plain + L("SQLSMALLINT", " * @") + L("SQLLEN", " * @ (unknown named type)")},
      {SQL_DESC_UNSIGNED, "   8 (SQL_DESC_UNSIGNED)", nullptr,
       plain + L("SQLSMALLINT", " * @") + L("SQLLEN", " * 0x0")},
      {SQL_DESC_ARRAY_SIZE, "   20 (unknown option)", &num,
       plain + L("SQLSMALLINT", " * @ (5)") + L("SQLLEN", " * @ (5)")},
  };
  std::vector<WriterCase> cases;
  for (const Row& r : rows) {
    cases.push_back(
        {"SQLColAttribute",
         [&, r](int l, int rc) { trace_SQLColAttribute(l, rc, stmt, 1, r.id, label, 16, &str_len, r.num); },
         head + field(r.field) + plain + (r.num ? unread : L("SQLSMALLINT", " * @") + L("SQLLEN", " * 0x0")),
         head + field(r.field) + r.exit});
  }
  // Wide lengths count bytes: 20 bytes are five characters, a 12-byte buffer holds three.
  for (SQLSMALLINT buf : {64, 12}) {
    const std::string lines = L("SQLPOINTER", "   @") + L("SQLINTEGER", " * " + std::to_string(buf));
    cases.push_back({"SQLColAttributeW",
                     [&, buf](int l, int rc) {
                       trace_SQLColAttributeW(l, rc, stmt, 1, SQL_DESC_NAME, wlabel, buf, &wstr_len, &num);
                     },
                     head + field("   1011 (SQL_DESC_NAME)") + lines + unread,
                     head + field("   1011 (SQL_DESC_NAME)") + L("SQLWCHAR", " * @") +
                         R(buf == 64 ? "label" : "lab") + L("SQLINTEGER", " * " + std::to_string(buf)) +
                         L("SQLSMALLINT", " * @ (20)") + L("SQLLEN", " * @")});
  }
  run(cases);
}

// On a failed call no output value is read, apart from the exceptions.
TEST(TraceWriters, FailedCallsShowNoOutputs) {
  Outputs o;
  char label[16] = "label";
  SQLSMALLINT str_len = 5;
  SQLLEN num = 5;
  SQLUSMALLINT bits[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE] = {};
  bits[SQL_API_SQLCANCEL >> 4] |= 1 << (SQL_API_SQLCANCEL & 15);
  const std::string describe = L("SQLSMALLINT", "   6") + L("SQLSMALLINT", " * @") +
                               L("SQLSMALLINT", " * @") + L("SQLULEN", " * @") + L("SQLSMALLINT", " * @") +
                               L("SQLSMALLINT", " * @");
  const std::string colattr = HS + L("SQLUSMALLINT", "   1") + L("SQLUSMALLINT", "   18 (SQL_DESC_LABEL)") +
                              L("SQLPOINTER", "   @") + L("SQLINTEGER", " * 16") + L("SQLSMALLINT", " * @") +
                              L("SQLLEN", " * @");
  run(
      {
          {"SQLDescribeCol",
           [&](int l, int rc) {
             trace_SQLDescribeCol(l, rc, stmt, 1, S(o.name), 6, &o.s16, &o.type, &o.ulen, &o.s16,
                                  &o.nullable);
           },
           HS + L("SQLUSMALLINT", "   1") + text("SQLCHAR", nullptr) + describe,
           HS + L("SQLUSMALLINT", "   1") + text("SQLCHAR", nullptr) + describe},
          // The name length is shown on every exit.
          {"SQLGetCursorName",
           [&](int l, int rc) { trace_SQLGetCursorName(l, rc, stmt, S(o.name), 6, &o.s16); },
           HS + text("SQLCHAR", nullptr) + L("SQLSMALLINT", "   6") + L("SQLSMALLINT", " * @"),
           HS + text("SQLCHAR", nullptr) + L("SQLSMALLINT", "   6") + L("SQLSMALLINT", " * @ (5)")},
          {"SQLColAttribute",
           [&](int l, int rc) {
             trace_SQLColAttribute(l, rc, stmt, 1, SQL_DESC_LABEL, label, 16, &str_len, &num);
           },
           colattr, colattr},
          // The supported functions are listed on every exit.
          {"SQLGetFunctions",
           [&](int l, int rc) { trace_SQLGetFunctions(l, rc, dbc, SQL_API_ODBC3_ALL_FUNCTIONS, bits); },
           HD + L("SQLUSMALLINT", "   999 (SQL_API_ODBC3_ALL_FUNCTIONS)"),
           HD + L("SQLUSMALLINT", "   999 (SQL_API_ODBC3_ALL_FUNCTIONS)") + L("SQLUSMALLINT", " * @") +
               R("SQL_API_SQLCANCEL")},
          {"SQLDriverConnect",
           [&](int l, int rc) {
             trace_SQLDriverConnect(l, rc, dbc, nullptr, S("PWD=x"), SQL_NTS, S(o.name), 6, &o.s16, 0);
           },
           HD + L("SQLPOINTER", "   0x0") + L("SQLCHAR", " * @") + R("PWD=*") + NTS16 + L("SQLCHAR", " * @") +
               L("SQLSMALLINT", "   6") + L("SQLSMALLINT", " * @") +
               L("SQLUSMALLINT", "   0 (SQL_DRIVER_NOPROMPT)"),
           HD + L("SQLPOINTER", "   0x0") + L("SQLCHAR", " * @") + NTS16 + L("SQLCHAR", " * @") +
               L("SQLSMALLINT", "   6") + L("SQLSMALLINT", " * @") +
               L("SQLUSMALLINT", "   0 (SQL_DRIVER_NOPROMPT)")},
      },
      SQL_ERROR, "SQL_ERROR");
}

}  // namespace
