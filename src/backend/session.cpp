// Server sessions, data-source connections and cursors: the records behind the
// client's handles, the capability probe run on every connection, the
// initial-SQL file, the type-information cache and the shutdown hook.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "backend/backend.h"
#include "backend/client_connstr.h"
#include "sqlucode.h"
#include "util/log.h"
#include "util/unicode.h"

HandleArray srvHandles, conHandles, crsHandles;
unsigned int numServers;
handle_t ghServer;
char* f_SqlDbmsName;
int f_useRVC;
int f_extendedFetch = 1;
int agent_version_set;

namespace {
// The program's options, as handed over at start-up.
AgentOptions g_agentOptions{};
}  // namespace

void ODBC_SetAgentOptions(const AgentOptions* options) { g_agentOptions = options ? *options : AgentOptions{}; }

_Server* ODBC_ServerRec(handle_t h) { return static_cast<_Server*>(HandleValidate(&srvHandles, h)); }
_Connect* ODBC_ConnectRec(handle_t h) { return static_cast<_Connect*>(HandleValidate(&conHandles, h)); }
_Cursor* ODBC_CursorRec(handle_t h) { return static_cast<_Cursor*>(HandleValidate(&crsHandles, h)); }

namespace {

char* DupOrNull(const char* s) { return (s && *s) ? strdup(s) : nullptr; }

void FreeSessFlags(_SessFlags* f) {
  free(f->f_initSQL);
  free(f->f_SqlDbmsName);
  f->f_initSQL = nullptr;
  f->f_SqlDbmsName = nullptr;
}

void FreeConnectRecord(_Connect* c) {
  FlushErrorMsgQ(&c->pendingError);
  FreeSessFlags(&c->SessFlags);
  FreeDriverCaps(c);
  delete c->ht_typeinfo;
  c->ht_typeinfo = nullptr;
  delete c;
}

// Releases a cursor record and its driver statement; the handle is unregistered.
void DestroyCursor(_Cursor* pCurs, handle_t h) {
  UnPrepareCursor(pCurs);
  DAEFreeCursor(pCurs);
  if (pCurs->parameters) {
    Dataset_Done(pCurs->parameters);
    free(pCurs->parameters);
    pCurs->parameters = nullptr;
  }
  free(pCurs->pParamInfo);
  pCurs->pParamInfo = nullptr;
  free(pCurs->pParamInds);
  pCurs->pParamInds = nullptr;
  if (pCurs->sp_RetData) {
    Dataset_Done(pCurs->sp_RetData);
    free(pCurs->sp_RetData);
    pCurs->sp_RetData = nullptr;
  }
  if (pCurs->hStmt) CheckStmtErrors(pCurs, "SQLFreeStmt(DROP)", SQLFreeStmt(pCurs->hStmt, SQL_DROP));
  pCurs->hStmt = SQL_NULL_HSTMT;
  FlushErrorMsgQ(&pCurs->pendingError);
  HandleUnregister(&crsHandles, h);
  delete pCurs;
}

bool Succeeded(SQLRETURN r) { return r == SQL_SUCCESS || r == SQL_SUCCESS_WITH_INFO; }

// Logs every diagnostic of the connection's driver handles, emptying them.
void LogConnDiagnostics(_Connect* c, const char* what) {
  for (int guard = 0; guard < 100; guard++) {
    SQLCHAR state[6] = {0}, text[512] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    if (SQLError(c->hEnv, c->hDbc, SQL_NULL_HSTMT, state, &native, text, sizeof text, &len) != SQL_SUCCESS) break;
    logit(LOG_ERR, nullptr, 0, "%s: [%s] %s", what, reinterpret_cast<char*>(state), reinterpret_cast<char*>(text));
  }
}

// Ends the data-source connection and frees its driver handles. Work not
// committed is rolled back first: a driver refuses to disconnect inside a
// transaction, and its connection (with its locks) would outlive the record.
void ReleaseDriverConnection(_Connect* c) {
  if (c->hDbc) {
    SQLRETURN r = SQLTransact(c->hEnv, c->hDbc, SQL_ROLLBACK);
    if (r == SQL_ERROR) LogConnDiagnostics(c, "rollback before disconnect failed");
    r = SQLDisconnect(c->hDbc);
    if (!Succeeded(r)) {
      LogConnDiagnostics(c, "disconnect failed");
      // Once more after a second rollback; what still refuses is logged, and
      // the handles that cannot be freed stay with the driver manager.
      SQLTransact(c->hEnv, c->hDbc, SQL_ROLLBACK);
      if (!Succeeded(SQLDisconnect(c->hDbc))) LogConnDiagnostics(c, "disconnect failed again");
    }
    if (!Succeeded(SQLFreeConnect(c->hDbc))) LogConnDiagnostics(c, "cannot free the connection handle");
    c->hDbc = SQL_NULL_HDBC;
  }
  if (c->hEnv) {
    SQLFreeEnv(c->hEnv);
    c->hEnv = SQL_NULL_HENV;
  }
}

// Ends a connection: its cursors, the data-source connection and the record.
void DestroyConnection(_Connect* c, handle_t h) {
  EndConnectCursors(c);
  ReleaseDriverConnection(c);
  HandleUnregister(&conHandles, h);
  FreeConnectRecord(c);
}

// Ends every connection still open (with its cursors).
void EndAllConnections() {
  for (uns16 i = 0; i < conHandles.numAllocated && conHandles.handleArray; i++) {
    HandleItem& it = conHandles.handleArray[i];
    if (!it.version) continue;
    handle_t h = (conHandles.magicToCheck << 16) | i;
    DestroyConnection(static_cast<_Connect*>(it.datum), h);
  }
}

SQLRETURN ConnectCall(_Connect* c, const char* dsn, const char* user, const char* pwd, const char* connStr) {
  if (c->unicode) {
    SQLRETURN rc;
    if (connStr) {
      wchar_t* w = strdup_U8toW(connStr);
      rc = SQLDriverConnectW(c->hDbc, nullptr, reinterpret_cast<SQLWCHAR*>(w), SQL_NTS, nullptr, 0, nullptr,
                             SQL_DRIVER_NOPROMPT);
      free(w);
    } else {
      wchar_t* wd = dsn ? strdup_U8toW(dsn) : nullptr;
      wchar_t* wu = user ? strdup_U8toW(user) : nullptr;
      wchar_t* wp = pwd ? strdup_U8toW(pwd) : nullptr;
      rc = SQLConnectW(c->hDbc, reinterpret_cast<SQLWCHAR*>(wd), SQL_NTS, reinterpret_cast<SQLWCHAR*>(wu), SQL_NTS,
                       reinterpret_cast<SQLWCHAR*>(wp), SQL_NTS);
      free(wd);
      free(wu);
      free(wp);
    }
    return rc;
  }
  if (connStr)
    return SQLDriverConnect(c->hDbc, nullptr, (SQLCHAR*)connStr, SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
  return SQLConnect(c->hDbc, (SQLCHAR*)dsn, SQL_NTS, (SQLCHAR*)user, SQL_NTS, (SQLCHAR*)pwd, SQL_NTS);
}

// Copies a text cell of any text type into a bounded narrow buffer.
void CellText(const Coldata* col, int row, char* out, size_t size) {
  out[0] = 0;
  if (!col || col->indicators[row] < 0) return;
  const char* cell = Coldata_Cell(col, row);
  switch (col->cType) {
    case CTYPE_VCHR:
    case CTYPE_CHR: {
      size_t n = strnlen(cell, col->width);
      if (n >= size) n = size - 1;
      memcpy(out, cell, n);
      out[n] = 0;
      break;
    }
    case CTYPE_VCHR32: {
      uns32 len;
      memcpy(&len, cell, 4);
      size_t n = std::min<size_t>(len, col->width > 4 ? col->width - 4 : 0);
      if (n >= size) n = size - 1;
      memcpy(out, cell + 4, n);
      out[n] = 0;
      break;
    }
    case CTYPE_WVCHR: {
      size_t nchars = col->width / 4;
      std::wstring w(reinterpret_cast<const wchar_t*>(cell), wcsnlen(reinterpret_cast<const wchar_t*>(cell), nchars));
      StrCopyOut_WtoU8(w.c_str(), out, size, nullptr);
      break;
    }
    default:
      break;
  }
}

void FillTypeInfoCache(_Connect* c, handle_t hConn) {
  c->ht_typeinfo = new TypeInfoCache();
  handle_t hCurs = 0;
  if (ODBC_Cursor(hConn, &hCurs) != ER_SUCCESS) return;
  if (ODBC_DDTypeInfo(hCurs, 0) == ER_SUCCESS) {
    for (int guard = 0; guard < 10000; guard++) {
      Dataset ds{};
      errcode_t rc = ODBC_Fetch(hCurs, 100, &ds);
      if (rc != ER_SUCCESS || ds.nCols < 5 || ds.nRows <= 0) {
        Dataset_Done(&ds);
        break;
      }
      for (int r = 0; r < ds.nRows; r++) {
        const Coldata* tcol = &ds.col[1];
        if (tcol->indicators[r] < 0) continue;
        sgn16 type = 0;
        const char* cell = Coldata_Cell(tcol, r);
        if (tcol->cType == CTYPE_SGN16 || tcol->cType == CTYPE_UNS16) {
          memcpy(&type, cell, 2);
        } else if (tcol->cType == CTYPE_SGN32 || tcol->cType == CTYPE_UNS32) {
          sgn32 v;
          memcpy(&v, cell, 4);
          type = static_cast<sgn16>(v);
        } else {
          continue;
        }
        // Several rows may share one type: the driver lists its preferred one first.
        if (c->ht_typeinfo->count(type)) continue;
        TypeInfoEntry e{};
        CellText(&ds.col[0], r, e.typeName, 61);
        CellText(&ds.col[3], r, e.literalPrefix, 7);
        CellText(&ds.col[4], r, e.literalSuffix, 7);
        (*c->ht_typeinfo)[type] = e;
      }
      Dataset_Done(&ds);
    }
  }
  ODBC_EndCursor(hCurs);
}

}  // namespace

void EndConnectCursors(_Connect* pConn) {
  for (uns16 i = 0; i < crsHandles.numAllocated && crsHandles.handleArray; i++) {
    HandleItem& it = crsHandles.handleArray[i];
    if (!it.version) continue;
    _Cursor* pc = static_cast<_Cursor*>(it.datum);
    if (pc->pConnect != pConn) continue;
    DestroyCursor(pc, (crsHandles.magicToCheck << 16) | i);
  }
}

errcode_t ODBC_Server(Server* /*pServer*/, handle_t* phServer) {
  if (!phServer) return ER_INVALID_ARGUMENT;
  *phServer = 0;
  if (numServers > 0) {
    // Another session on the one server record: its caller holds it too.
    errcode_t rc = HandleHold(&srvHandles, ghServer);
    if (rc != ER_SUCCESS) return rc;
    numServers++;
    *phServer = ghServer;
    return ER_SUCCESS;
  }
  if (HandleInit(&srvHandles, HANDLE_MAGIC_SERVER) != ER_SUCCESS ||
      HandleInit(&conHandles, HANDLE_MAGIC_CONNECT) != ER_SUCCESS ||
      HandleInit(&crsHandles, HANDLE_MAGIC_CURSOR) != ER_SUCCESS)
    return ER_GENERAL_ERROR;
  _Server* s = new (std::nothrow) _Server{};
  if (!s) return ER_NO_MEMORY;
  errcode_t rc = HandleRegister(&srvHandles, &ghServer, s);
  if (rc != ER_SUCCESS) {
    delete s;
    return rc;
  }
  numServers = 1;
  *phServer = ghServer;

  free(f_SqlDbmsName);
  f_SqlDbmsName = DupOrNull(getenv("SQL_DBMS_NAME"));
  f_useRVC = ParseSensitivity(getenv("CURSOR_SENSITIVITY"));
  const char* xf = getenv("USE_EXTENDED_FETCH");
  f_extendedFetch = (xf && (xf[0] == 'N' || xf[0] == 'n')) ? 0 : 1;
  return ER_SUCCESS;
}

errcode_t ODBC_EndServer(handle_t hServer) {
  _Server* s = ODBC_ServerRec(hServer);
  if (!s) return ER_INVALID_ARGUMENT;
  if (numServers > 1) {
    HandleRelease(&srvHandles, hServer);
    numServers--;
    return ER_SUCCESS;
  }
  // The last session: nothing may stay connected behind it.
  EndAllConnections();
  numServers = 0;
  HandleUnregister(&srvHandles, hServer);
  HandleDone(&crsHandles);
  HandleDone(&conHandles);
  HandleDone(&srvHandles);
  FlushErrorMsgQ(&s->pendingError);
  delete s;
  ghServer = 0;
  return ER_SUCCESS;
}

errcode_t ODBC_Connect(handle_t hServer, Connect* req, handle_t* phConnect) {
  _Server* s = ODBC_ServerRec(hServer);
  if (!s) return ER_INVALID_ARGUMENT;
  if (!phConnect) return ER_INVALID_ARGUMENT;
  *phConnect = 0;
  if (!req) return ER_INVALID_ARGUMENT;
  _Connect* c = new (std::nothrow) _Connect{};
  if (!c) return ER_NO_MEMORY;
  c->SessFlags.f_useRVC = f_useRVC;
  const AgentOptions& opt = g_agentOptions;
  c->SessFlags.f_noautocommit = opt.f_noautocommit;
  c->SessFlags.f_maxrows = opt.f_maxrows;
  c->SessFlags.f_norowsetsizelimit = opt.f_norowsetsizelimit;
  c->SessFlags.f_initSQL = DupOrNull(opt.f_initSQL);
  c->SessFlags.f_extendedFetch = f_extendedFetch;
  c->SessFlags.f_jetfix = opt.f_jetfix;
  c->SessFlags.f_SqlDbmsName = DupOrNull(f_SqlDbmsName);

  const char* so = req->svOptions;
  if (so && strlen(so) > 3 && so[0] == 'W' && so[1] == 0x7F && so[2] == 0x01 && so[3] == 0x01) c->unicode = 1;

  auto fail = [&](errcode_t rc) {
    // The client reads a failed connect's texts from the server's queue.
    MoveErrorMsgQ(&s->pendingError, &c->pendingError);
    FreeConnectRecord(c);
    return rc;
  };

  SQLRETURN r = SQLAllocEnv(&c->hEnv);
  if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO) {
    logit(LOG_ERR, nullptr, 0, "cannot allocate hEnv");
    c->hEnv = SQL_NULL_HENV;
    SetVYRErrorMsg(&c->pendingError, ER_DRV_FAIL_ALLOCENV);
    return fail(ER_DRV_FAIL_ALLOCENV);
  }
  r = SQLAllocConnect(c->hEnv, &c->hDbc);
  if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO) {
    logit(LOG_ERR, nullptr, 0, "cannot allocate hConn");
    c->hDbc = SQL_NULL_HDBC;
    errcode_t e = CheckConnErrors(c, "SQLAllocConnect", r);
    SQLFreeEnv(c->hEnv);
    c->hEnv = SQL_NULL_HENV;
    return fail(e == ER_GENERAL_ERROR ? ER_DRV_FAIL_ALLOCCON : e);
  }
  if (opt.installShutdownHook) opt.installShutdownHook(ODBC_ShutdownProc);

  const char* dbPath = req->dbPath;
  const char* dbOptions = req->dbOptions;
  const char* connStr = nullptr;
  const char* dsn = nullptr;
  if (!dbPath && !dbOptions) {
    dsn = "default";
  } else if ((!dbPath || !*dbPath) && dbOptions) {
    connStr = dbOptions;
  } else {
    dsn = dbPath;
  }
  // A client's connection string names no library, file or file data source
  // the host's ini files do not register. A Unicode session's string is
  // checked as the driver manager will read it after widening.
  const char* refusal = nullptr;
  if (connStr && c->unicode) {
    wchar_t* w = strdup_U8toW(connStr);
    char* seen = w ? strdup_WtoU8(w) : nullptr;
    refusal = seen ? ClientConnStrRefusal(seen) : "the connection string is not valid UTF-8";
    free(seen);
    free(w);
  } else if (connStr) {
    refusal = ClientConnStrRefusal(connStr);
  }
  if (refusal) {
    logit(LOG_ERR, nullptr, 0, "connection string refused: %s", refusal);
    ErrorMsg* m = DBErrMsgCreate(refusal, 0, "01S00");
    FlushErrorMsgQ(&c->pendingError);
    QErrorMsg(&c->pendingError, m);
    SQLFreeConnect(c->hDbc);
    SQLFreeEnv(c->hEnv);
    c->hDbc = SQL_NULL_HDBC;
    c->hEnv = SQL_NULL_HENV;
    return fail(ER_INVALID_CONNSTR);
  }
  r = ConnectCall(c, dsn, req->userName, req->password, connStr);
  errcode_t e = CheckConnErrors(c, "SQLConnect", r);
  if (e != ER_SUCCESS) {
    SQLFreeConnect(c->hDbc);
    SQLFreeEnv(c->hEnv);
    c->hDbc = SQL_NULL_HDBC;
    c->hEnv = SQL_NULL_HENV;
    return fail(e == ER_GENERAL_ERROR ? ER_CONN_REJECTED_DS : e);
  }

  if (c->SessFlags.f_noautocommit)
    CheckConnErrors(c, "SQLSetConnectOption", SQLSetConnectOption(c->hDbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF));
  if (req->readOnly)
    CheckConnErrors(c, "SQLSetConnectOption", SQLSetConnectOption(c->hDbc, SQL_ACCESS_MODE, SQL_MODE_READ_ONLY));

  e = GetDriverCaps(c);
  if (e != ER_SUCCESS) {
    ReleaseDriverConnection(c);
    FlushErrorMsgQ(&c->pendingError);
    FreeConnectRecord(c);
    return e;
  }
  c->pServ = s;
  c->bDeferLongData = 0;
  c->readOnly = c->effReadOnly = req->readOnly ? 1 : 0;
  e = HandleRegister(&conHandles, &c->hConnect, c);
  if (e != ER_SUCCESS) {
    ReleaseDriverConnection(c);
    FreeConnectRecord(c);
    return e;
  }
  if (c->SessFlags.f_initSQL) ExecuteSQLstatementsFromFile(c, c->SessFlags.f_initSQL);
  FillTypeInfoCache(c, c->hConnect);
  *phConnect = c->hConnect;
  return ER_SUCCESS;
}

errcode_t ODBC_EndConnect(handle_t hConnect) {
  _Connect* c = ODBC_ConnectRec(hConnect);
  if (!c) return ER_INVALID_ARGUMENT;
  DestroyConnection(c, hConnect);
  return ER_SUCCESS;
}

errcode_t ODBC_Commit(handle_t hConnect) {
  _Connect* c = ODBC_ConnectRec(hConnect);
  if (!c) return ER_INVALID_ARGUMENT;
  return CheckConnErrors(c, "SQLTransact(COMMIT)", SQLTransact(c->hEnv, c->hDbc, SQL_COMMIT));
}

errcode_t ODBC_Rollback(handle_t hConnect) {
  _Connect* c = ODBC_ConnectRec(hConnect);
  if (!c) return ER_INVALID_ARGUMENT;
  return CheckConnErrors(c, "SQLTransact(ROLLBACK)", SQLTransact(c->hEnv, c->hDbc, SQL_ROLLBACK));
}

errcode_t ODBC_Cursor(handle_t hConnect, handle_t* phCursor) {
  _Connect* c = ODBC_ConnectRec(hConnect);
  if (!c || !phCursor) return ER_INVALID_ARGUMENT;
  *phCursor = 0;
  if (!agent_version_set) {
    SetVYRErrorMsg(&c->pendingError, ER_NEED_UPGRADE_BROKER);
    return ER_NEED_UPGRADE_BROKER;
  }
  _Cursor* pc = new (std::nothrow) _Cursor{};
  if (!pc) return ER_NO_MEMORY;
  pc->pConnect = c;
  pc->hDbc = c->hDbc;
  pc->hEnv = c->hEnv;
  errcode_t e = CheckConnErrors(c, "SQLAllocStmt", SQLAllocStmt(c->hDbc, &pc->hStmt));
  if (e != ER_SUCCESS) {
    logit(LOG_ERR, nullptr, 0, "cannot allocate hStmt");
    delete pc;
    return e;
  }
  SQLULEN maxLen = 0;  // received at its full width, then narrowed
  SQLRETURN r = SQLGetStmtOption(pc->hStmt, SQL_MAX_LENGTH, &maxLen);
  if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO) {
    CheckStmtErrors(pc, "SQLGetStmtOption", r);
    FlushErrorMsgQ(&pc->pendingError);
    maxLen = 0;
  }
  pc->maxDataLen = maxLen > 0xFFFFFFFFull ? 0xFFFFFFFFu : precision_t(maxLen);
  pc->maxrows = c->SessFlags.f_maxrows;
  e = HandleRegister(&crsHandles, phCursor, pc);
  if (e != ER_SUCCESS) {
    SQLFreeStmt(pc->hStmt, SQL_DROP);
    delete pc;
    return e;
  }
  pc->hCursor = *phCursor;
  pc->st_sccl.hCursor = *phCursor;
  pc->st_sccl.hConnect = hConnect;
  if (c->bMultipleActiveStmtsEmul) pc->st_sccl.bMultipleActiveStmtsEmul = 1;
  return ER_SUCCESS;
}

errcode_t ODBC_EndCursor(handle_t hCursor) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) return ER_INVALID_ARGUMENT;
  DestroyCursor(pc, hCursor);
  return ER_SUCCESS;
}

void CloseCursor(_Cursor* pc) {
  pc->bRowCountSum = 0;
  pc->rowsParProcessed = 0;
  pc->rowsFetched = 0;
  pc->rowsProcessed = 0;
  pc->flags &= ~(CURSF_EXECUTED | CURSF_NO_MORE);
  if (pc->flags & CURSF_OPEN) {
    pc->bXFetchUsed = 0;
    CheckStmtErrors(pc, "SQLFreeStmt(CLOSE)", SQLFreeStmt(pc->hStmt, SQL_CLOSE));
    pc->flags &= ~(CURSF_OPEN | CURSF_CATALOG);
  }
}

errcode_t ODBC_Close(handle_t hCursor) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) return ER_INVALID_ARGUMENT;
  CloseCursor(pc);
  return ER_SUCCESS;
}

void UnPrepareCursor(_Cursor* pc) {
  CloseCursor(pc);
  pc->nextParRow = 0;
  pc->fetchProc = nullptr;
  pc->flags &= ~(CURSF_PREPARED | CURSF_DESCRIBED | CURSF_OUTPARAMS | CURSF_NEW_RESULT);
  pc->flags |= CURSF_REBIND;
  FreeColdesc(pc->pColdesc, pc->nColdesc);
  pc->pColdesc = nullptr;
  pc->nColdesc = 0;
  if (pc->rIntermBuffer) {
    for (uns16 i = 0; i < pc->nPardesc; i++) free(pc->rIntermBuffer[i]);
    free(pc->rIntermBuffer);
    pc->rIntermBuffer = nullptr;
  }
  FreeColdesc(pc->pPardesc, pc->nPardesc);
  pc->pPardesc = nullptr;
  pc->nPardesc = 0;
  pc->bParamsAnalysed = 0;
  pc->request.numInput = 0;
  if (pc->hStmt) CheckStmtErrors(pc, "SQLFreeStmt(RESET_PARAMS)", SQLFreeStmt(pc->hStmt, SQL_RESET_PARAMS));
  Request_Done(&pc->request);
}

errcode_t ODBC_SetCursorName(handle_t hCursor, char* name) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) return ER_INVALID_ARGUMENT;
  if (!name) return ER_INVALID_ARGUMENT;
  if (pc->pConnect->unicode) {
    wchar_t* w = strdup_U8toW(name);
    if (!w) return ER_NO_MEMORY;
    errcode_t e = CheckStmtErrors(pc, "SQLSetCursorNameW",
                                  SQLSetCursorNameW(pc->hStmt, reinterpret_cast<SQLWCHAR*>(w), SQL_NTS));
    free(w);
    return e;
  }
  return CheckStmtErrors(pc, "SQLSetCursorName", SQLSetCursorName(pc->hStmt, (SQLCHAR*)name, SQL_NTS));
}

errcode_t ODBC_GetCursorName(handle_t hCursor, char* buf, uns16 size, uns16* pLen) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc || !buf) return ER_INVALID_ARGUMENT;
  if (pc->pConnect->unicode) {
    std::wstring w(size_t(size) + 1, L'\0');
    SQLSMALLINT len = 0;
    SQLRETURN r = SQLGetCursorNameW(pc->hStmt, reinterpret_cast<SQLWCHAR*>(w.data()), size, &len);
    errcode_t e = CheckStmtErrors(pc, "SQLGetCursorNameW", r);
    if (e != ER_SUCCESS) return e;
    if (r == SQL_SUCCESS || r == SQL_SUCCESS_WITH_INFO) {
      unsigned short out = 0;
      if (StrCopyOut_WtoU8(w.c_str(), buf, size, &out) != 0) return ER_DATA_TRUNCATED;
      if (pLen) *pLen = out;
    }
    return ER_SUCCESS;
  }
  SQLSMALLINT len = 0;
  errcode_t e =
      CheckStmtErrors(pc, "SQLGetCursorName", SQLGetCursorName(pc->hStmt, (SQLCHAR*)buf, SQLSMALLINT(size > 0x7FFF ? 0x7FFF : size), &len));
  if (e == ER_SUCCESS && pLen) *pLen = static_cast<uns16>(len < 0 ? 0 : len);
  return e;
}

// ---- capability probe ----

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
  } funcs[] = {{59, 0}, {58, 1}, {53, 3}, {65, 4}, {60, 5}, {70, 6},
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

// ---- initial SQL ----

int ExecuteSQLstatementsFromFile(_Connect* c, const char* option) {
  std::string path = option;
  const char* base = strrchr(option, '/');
  base = base ? base + 1 : option;
  if (!strchr(base, '.')) path += ".sql";
  FILE* fp = fopen(path.c_str(), "r");
  if (!fp) {
    logit(LOG_ERR, nullptr, 0, "unable to read from initial SQL file %s (%m)", path.c_str());
    return -1;
  }
  SQLHSTMT st = SQL_NULL_HSTMT;
  SQLRETURN r = SQLAllocStmt(c->hDbc, &st);
  if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO) {
    logit(LOG_ERR, nullptr, 0, "cannot allocate hStmt for initial SQL request");
    fclose(fp);
    return -1;
  }
  std::string pending;
  unsigned lines = 0;
  char* line = nullptr;
  size_t cap = 0;
  ssize_t n;
  // Whole lines of any length.
  while ((n = getline(&line, &cap, fp)) >= 0) {
    lines++;
    std::string s(line, size_t(n));
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) continue;
    s.erase(0, b);
    if (s[0] == '#') continue;
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    if (s.empty()) continue;
    if (s.back() == ';') {
      s.pop_back();
      pending += s;
      logit(LOG_DEBUG, nullptr, 0, "execute [%.100s]", pending.c_str());
      r = SQLExecDirect(st, (SQLCHAR*)pending.c_str(), SQL_NTS);
      if (r != SQL_SUCCESS) {
        logit(LOG_ERR, nullptr, 0, "Error while processing initial SQL statement:");
        for (int guard = 0; guard < 100; guard++) {
          SQLCHAR state[6] = {0}, text[512] = {0};
          SQLINTEGER native = 0;
          SQLSMALLINT len = 0;
          if (SQLError(c->hEnv, c->hDbc, st, state, &native, text, sizeof text, &len) != SQL_SUCCESS) break;
          logit(LOG_DEBUG, nullptr, 0, "  %.100s", reinterpret_cast<char*>(text));
        }
      }
      // Each statement's result is closed before the next one runs.
      SQLFreeStmt(st, SQL_CLOSE);
      pending.clear();
    } else {
      pending += s;
      pending += ' ';
    }
  }
  free(line);
  fclose(fp);
  SQLFreeStmt(st, SQL_DROP);
  if (!pending.empty()) {
    logit(LOG_ERR, nullptr, 0, "Unterminated SQL request (line %u)", lines);
    return -1;
  }
  return 0;
}

int ODBC_ShutdownProc(int /*sig*/) {
  EndAllConnections();
  return 0;
}
