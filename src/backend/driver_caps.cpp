// The capability probe run on every new connection: which optional functions
// the driver has, its owner usage, its parameter-array row counts and the
// largest VARCHAR, VARBINARY and WVARCHAR it declares.
#include <new>

#include "backend/backend.h"
#include "sqlucode.h"
#include "util/log.h"

void FreeDriverCaps(_Connect* c) {
  delete c->drvCaps;
  c->drvCaps = nullptr;
}

int GetCap(const _Connect* c, int index) {
  if (!c || !c->drvCaps || index < 0 || index >= CAP_COUNT) return 0;
  return c->drvCaps->cap[index];
}

namespace {

errcode_t MaxColumnSize(_Connect* c, SQLSMALLINT type, int* pOut) {
  *pOut = 0;
  SQLHSTMT st = SQL_NULL_HSTMT;
  SQLRETURN r = SQLAllocStmt(c->hDbc, &st);
  if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO) {
    logit(LOG_ERR, nullptr, 0, "SQLAllocStmt failed");
    errcode_t e = CheckConnErrors(c, "SQLAllocStmt", r);
    FlushErrorMsgQ(&c->pendingError);
    return e;
  }
  _Cursor tmp{};
  tmp.pConnect = c;
  tmp.hEnv = c->hEnv;
  tmp.hDbc = c->hDbc;
  tmp.hStmt = st;
  auto bad = [&](const char* what, SQLRETURN rc) {
    logit(LOG_ERR, nullptr, 0, "%s failed", what);
    errcode_t e = CheckStmtErrors(&tmp, what, rc);
    FlushErrorMsgQ(&tmp.pendingError);
    FlushErrorMsgQ(&c->pendingError);
    SQLFreeStmt(st, SQL_DROP);
    return e == ER_SUCCESS ? ER_GENERAL_ERROR : e;
  };
  r = SQLGetTypeInfo(st, type);
  if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO) return bad("SQLGetTypeInfo", r);
  SQLINTEGER size = 0;  // SQL_C_LONG is 4 bytes
  SQLLEN ind = 0;
  r = SQLBindCol(st, 3, SQL_C_LONG, &size, sizeof size, &ind);
  if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO) return bad("SQLBindCol", r);
  int best = 0;
  for (int guard = 0; guard < 100000; guard++) {
    size = 0;
    r = SQLFetch(st);
    if (r == SQL_ERROR) return bad("SQLFetch", r);
    if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO) break;
    if (ind != SQL_NULL_DATA && size > best) best = size;
  }
  SQLFreeStmt(st, SQL_DROP);
  FlushErrorMsgQ(&tmp.pendingError);
  *pOut = best;
  return ER_SUCCESS;
}

}  // namespace

errcode_t GetDriverCaps(_Connect* c) {
  c->drvCaps = new (std::nothrow) _Caps{};
  if (!c->drvCaps) return ER_NO_MEMORY;
  static const struct {
    SQLUSMALLINT fn;
    int entry;
  } funcs[] = {{59, 0}, {58, 1}, {53, 3}, {65, 4},  {60, 5},  {70, 6},
               {56, 7}, {52, 8}, {67, 9}, {66, 10}, {64, 14}, {63, 17}};
  for (auto& f : funcs) {
    SQLUSMALLINT present = 0;
    SQLRETURN r = SQLGetFunctions(c->hDbc, f.fn, &present);
    if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO) {
      logit(LOG_ERR, nullptr, 0, "SQLGetFunctions failed");
      errcode_t e = CheckConnErrors(c, "SQLGetFunctions", r);
      FlushErrorMsgQ(&c->pendingError);
      return e;
    }
    c->drvCaps->cap[f.entry] = present ? 1 : 0;
  }
  // Received at its full width, then narrowed.
  SQLUINTEGER parc = 0;
  SQLSMALLINT len = 0;
  SQLRETURN r = SQLGetInfo(c->hDbc, SQL_PARAM_ARRAY_ROW_COUNTS, &parc, sizeof parc, &len);
  if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO) {
    logit(LOG_ERR, nullptr, 0, "SQLGetInfo failed");
    CheckConnErrors(c, "SQLGetInfo", r);
    FlushErrorMsgQ(&c->pendingError);
  } else {
    c->drvCaps->cap[CAP_PARAM_BATCH] = parc == SQL_PARC_BATCH ? 1 : 0;
  }
  SQLUINTEGER owner = 0;
  r = SQLGetInfo(c->hDbc, SQL_OWNER_USAGE, &owner, sizeof owner, &len);
  if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO) {
    logit(LOG_ERR, nullptr, 0, "SQLGetInfo failed");
    errcode_t e = CheckConnErrors(c, "SQLGetInfo", r);
    FlushErrorMsgQ(&c->pendingError);
    return e;
  }
  c->drvCaps->cap[CAP_OWNER_USAGE] = int(owner);
  errcode_t e = MaxColumnSize(c, SQL_VARCHAR, &c->drvCaps->cap[CAP_MAX_VARCHAR]);
  if (e != ER_SUCCESS) return e;
  e = MaxColumnSize(c, SQL_VARBINARY, &c->drvCaps->cap[CAP_MAX_VARBINARY]);
  if (e != ER_SUCCESS) return e;
  if (MaxColumnSize(c, SQL_WVARCHAR, &c->drvCaps->cap[CAP_MAX_WVARCHAR]) != ER_SUCCESS)
    c->drvCaps->cap[CAP_MAX_WVARCHAR] = 0;
  return ER_SUCCESS;
}
