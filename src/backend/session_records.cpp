// Server sessions, data-source connections and cursors: the records behind the
// client's handles, their creation and release, and the shutdown hook.
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

void ODBC_SetAgentOptions(const AgentOptions* options) {
  g_agentOptions = options ? *options : AgentOptions{};
}

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
  if (scs_CursorDone_hook) scs_CursorDone_hook(pCurs);
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
    if (SQLError(c->hEnv, c->hDbc, SQL_NULL_HSTMT, state, &native, text, sizeof text, &len) != SQL_SUCCESS)
      break;
    logit(LOG_ERR, nullptr, 0, "%s: [%s] %s", what, reinterpret_cast<char*>(state),
          reinterpret_cast<char*>(text));
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
  if (scs_ConnectDone_hook) scs_ConnectDone_hook(c);
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
      rc = SQLConnectW(c->hDbc, reinterpret_cast<SQLWCHAR*>(wd), SQL_NTS, reinterpret_cast<SQLWCHAR*>(wu),
                       SQL_NTS, reinterpret_cast<SQLWCHAR*>(wp), SQL_NTS);
      free(wd);
      free(wu);
      free(wp);
    }
    return rc;
  }
  if (connStr)
    return SQLDriverConnect(c->hDbc, nullptr, (SQLCHAR*)connStr, SQL_NTS, nullptr, 0, nullptr,
                            SQL_DRIVER_NOPROMPT);
  return SQLConnect(c->hDbc, (SQLCHAR*)dsn, SQL_NTS, (SQLCHAR*)user, SQL_NTS, (SQLCHAR*)pwd, SQL_NTS);
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
  if (scs_ServerDone_hook) scs_ServerDone_hook(s);
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
    CheckConnErrors(c, "SQLSetConnectOption",
                    SQLSetConnectOption(c->hDbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF));
  if (req->readOnly)
    CheckConnErrors(c, "SQLSetConnectOption",
                    SQLSetConnectOption(c->hDbc, SQL_ACCESS_MODE, SQL_MODE_READ_ONLY));

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
  pc->bWholeLongData = 0;  // a catalog result is read as ever
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
  errcode_t e = CheckStmtErrors(
      pc, "SQLGetCursorName",
      SQLGetCursorName(pc->hStmt, (SQLCHAR*)buf, SQLSMALLINT(size > 0x7FFF ? 0x7FFF : size), &len));
  if (e == ER_SUCCESS && pLen) *pLen = static_cast<uns16>(len < 0 ? 0 : len);
  return e;
}

int ODBC_ShutdownProc(int /*sig*/) {
  EndAllConnections();
  return 0;
}
