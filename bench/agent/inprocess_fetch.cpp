#include "inprocess_fetch.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sql.h"
#include "sqlext.h"

namespace agent_bench {

namespace {

struct Conn {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  bool ok = false;
  explicit Conn(const std::string& dbFile, bool stepApi = true) {
    if (SQLAllocEnv(&env) != SQL_SUCCESS) return;
    if (SQLAllocConnect(env, &dbc) != SQL_SUCCESS) return;
    std::string cs =
        std::string("DRIVER=") + kSqliteDriver + ";Database=" + dbFile + (stepApi ? ";StepAPI=1" : "");
    SQLRETURN r = SQLDriverConnect(dbc, nullptr, (SQLCHAR*)cs.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                   SQL_DRIVER_NOPROMPT);
    ok = r == SQL_SUCCESS || r == SQL_SUCCESS_WITH_INFO;
  }
  ~Conn() {
    if (dbc) {
      if (ok) SQLDisconnect(dbc);
      SQLFreeConnect(dbc);
    }
    if (env) SQLFreeEnv(env);
  }
};

bool ExecDirect(SQLHDBC dbc, const char* sql) {
  SQLHSTMT st;
  if (SQLAllocStmt(dbc, &st) != SQL_SUCCESS) return false;
  SQLRETURN r = SQLExecDirect(st, (SQLCHAR*)sql, SQL_NTS);
  SQLFreeStmt(st, SQL_DROP);
  return r == SQL_SUCCESS || r == SQL_SUCCESS_WITH_INFO || r == SQL_NO_DATA;
}

long CountRows(SQLHDBC dbc) {
  SQLHSTMT st;
  if (SQLAllocStmt(dbc, &st) != SQL_SUCCESS) return -1;
  long n = -1;
  if (SQLExecDirect(st, (SQLCHAR*)"SELECT count(*) FROM big", SQL_NTS) == SQL_SUCCESS) {
    SQLINTEGER v = 0;
    SQLLEN ind = 0;
    SQLBindCol(st, 1, SQL_C_LONG, &v, 4, &ind);
    if (SQLFetch(st) == SQL_SUCCESS) n = v;
  }
  SQLFreeStmt(st, SQL_DROP);
  return n;
}

}  // namespace

bool MakeDatabase(const std::string& dir, long rows) {
  setenv("HOME", dir.c_str(), 1);
  std::string ini = dir + "/odbc.ini", inst = dir + "/odbcinst.ini";
  setenv("ODBCINI", ini.c_str(), 1);
  setenv("SYSODBCINI", ini.c_str(), 1);
  setenv("ODBCINSTINI", inst.c_str(), 1);
  setenv("SYSODBCINSTINI", inst.c_str(), 1);
  setenv("FILEDSNPATH", dir.c_str(), 1);
  // The agent takes a client's DRIVER only as odbcinst.ini registers it.
  if (FILE* f = fopen(inst.c_str(), "w")) {
    fprintf(f, "[SQLite3]\nDriver=%s\n", kSqliteDriver);
    fclose(f);
  }
  Conn c(dir + "/bench.db", false);
  if (!c.ok) return false;
  if (CountRows(c.dbc) == rows) return true;
  ExecDirect(c.dbc, "DROP TABLE IF EXISTS big");
  if (!ExecDirect(c.dbc, "CREATE TABLE big (i INTEGER, s VARCHAR(20), d DOUBLE)")) return false;
  std::string fill = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM c WHERE x < " +
                     std::to_string(rows) + ") INSERT INTO big SELECT x, 'text value ' || x, x * 0.25 FROM c";
  return ExecDirect(c.dbc, fill.c_str()) && CountRows(c.dbc) == rows;
}

long FetchInProcess(const std::string& dbFile, int rowset) {
  Conn c(dbFile);
  if (!c.ok) return -1;
  SQLHSTMT st;
  if (SQLAllocStmt(c.dbc, &st) != SQL_SUCCESS) return -1;
  std::vector<SQLINTEGER> iv(static_cast<size_t>(rowset));
  std::vector<char> sv(static_cast<size_t>(rowset) * 21);
  std::vector<double> dv(static_cast<size_t>(rowset));
  std::vector<SQLLEN> ii(static_cast<size_t>(rowset)), si(static_cast<size_t>(rowset)),
      di(static_cast<size_t>(rowset));
  std::vector<SQLUSMALLINT> status(static_cast<size_t>(rowset));
  SQLSetStmtOption(st, SQL_ROWSET_SIZE, SQLULEN(rowset));
  long seen = -1;
  if (SQLExecDirect(st, (SQLCHAR*)"SELECT i, s, d FROM big", SQL_NTS) == SQL_SUCCESS) {
    SQLBindCol(st, 1, SQL_C_LONG, iv.data(), 4, ii.data());
    SQLBindCol(st, 2, SQL_C_CHAR, sv.data(), 21, si.data());
    SQLBindCol(st, 3, SQL_C_DOUBLE, dv.data(), 8, di.data());
    seen = 0;
    for (;;) {
      SQLULEN got = 0;
      SQLRETURN r = SQLExtendedFetch(st, SQL_FETCH_NEXT, 0, &got, status.data());
      if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO) break;
      seen += long(got);
    }
  }
  SQLFreeStmt(st, SQL_DROP);
  return seen;
}

}  // namespace agent_bench
