// Server sessions, data-source connections and cursors: the records behind the
// client's handles, their creation and release, and the shutdown hook.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "backend/backend.h"
#include "backend/client_connstr.h"
#include "backend/sessions.h"
#include "sqlucode.h"
#include "util/log.h"
#include "util/unicode.h"

// The tables are made once and kept: calls of other threads may look a handle
// up while the last session ends.
HandleArray srvHandles, conHandles, crsHandles;
std::atomic<unsigned> numServers;
std::atomic<handle_t> ghServer;
char* f_SqlDbmsName;
int f_useRVC;
int f_extendedFetch = 1;
std::atomic<int> agent_version_set;

namespace {
// The program's options, as handed over at start-up.
AgentOptions g_agentOptions{};

// Guards the server record, the session count and the server-wide defaults
// above. Recursive: a connect made under it may report into the server queue.
std::recursive_mutex g_serverMu;

// Connections that could not be ended because their session stayed busy, at
// the end of the shutdown procedure.
std::atomic<unsigned> g_shutdownLeft;

struct TablesInit {
  TablesInit() {
    HandleInit(&srvHandles, HANDLE_MAGIC_SERVER);
    HandleInit(&conHandles, HANDLE_MAGIC_CONNECT);
    HandleInit(&crsHandles, HANDLE_MAGIC_CURSOR);
  }
} g_tablesInit;

// Served outside any client's call: every record answers.
class AsAgent {
 public:
  AsAgent() {
    if (const HandleCaller* c = HandleCurrentCaller()) {
      saved_ = *c;
      had_ = true;
    }
    HandleSetCaller(nullptr);
  }
  ~AsAgent() { HandleSetCaller(had_ ? &saved_ : nullptr); }
  AsAgent(const AsAgent&) = delete;
  AsAgent& operator=(const AsAgent&) = delete;

 private:
  HandleCaller saved_{};
  bool had_ = false;
};
}  // namespace

std::recursive_mutex& ODBC_ServerLock() { return g_serverMu; }

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
    SQLRETURN r = SQLError(c->hEnv, c->hDbc, SQL_NULL_HSTMT, state, &native, text, sizeof text, &len);
    if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO) break;  // a long text comes cut
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
  SessionForget(h);
  FreeConnectRecord(c);
}

// The handles of the records keep() picks, as the table stands now (a record
// made between the count and the copy is not among them).
std::vector<handle_t> Picked(HandleArray* table, int (*keep)(void*, void*), void* ctx) {
  std::vector<handle_t> hs(HandleCollect(table, keep, ctx, nullptr, 0));
  hs.resize(std::min<size_t>(hs.size(), HandleCollect(table, keep, ctx, hs.data(), unsigned(hs.size()))));
  return hs;
}

int OfServer(void* datum, void* ctx) { return !ctx || static_cast<_Connect*>(datum)->pServ == ctx; }

// One pass over the connections of a server record (every one when s is
// null): each is ended once its session is free, waiting for it at most waitMs.
// The result is how many stayed busy.
unsigned EndConnectionsOnce(_Server* s, long waitMs) {
  AsAgent agent;
  std::vector<handle_t> hs = Picked(&conHandles, OfServer, s);
  unsigned busy = 0;
  for (handle_t h : hs) {
    SessionCall call(h, waitMs);
    if (!call.held()) {
      busy++;
      continue;
    }
    _Connect* c = ODBC_ConnectRec(h);
    if (c && (!s || c->pServ == s)) DestroyConnection(c, h);
  }
  return busy;
}

// Ends every connection of the server record: a session that stays busy has
// its driver call cancelled and is asked again.
void EndAllConnections(_Server* s) {
  while (EndConnectionsOnce(s, 100) > 0) SessionCancelAll();
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

namespace {
int OfConnect(void* datum, void* ctx) { return static_cast<_Cursor*>(datum)->pConnect == ctx; }
}  // namespace

std::vector<handle_t> ODBC_CursorsOf(const _Connect* pConn) {
  void* ctx = const_cast<_Connect*>(pConn);
  return Picked(&crsHandles, OfConnect, ctx);
}

void EndConnectCursors(_Connect* pConn) {
  AsAgent agent;
  for (handle_t h : ODBC_CursorsOf(pConn))
    if (_Cursor* pc = ODBC_CursorRec(h); pc && pc->pConnect == pConn) DestroyCursor(pc, h);
}

errcode_t ODBC_Server(Server* /*pServer*/, handle_t* phServer) {
  if (!phServer) return ER_INVALID_ARGUMENT;
  *phServer = 0;
  std::lock_guard lock(g_serverMu);
  if (numServers > 0) {
    // Another session on the one server record: its caller holds it too.
    errcode_t rc = HandleHold(&srvHandles, ghServer);
    if (rc != ER_SUCCESS) return rc;
    numServers++;
    *phServer = ghServer;
    return ER_SUCCESS;
  }
  _Server* s = new (std::nothrow) _Server{};
  if (!s) return ER_NO_MEMORY;
  handle_t h = 0;
  errcode_t rc = HandleRegister(&srvHandles, &h, s);
  if (rc != ER_SUCCESS) {
    delete s;
    return rc;
  }
  ghServer = h;
  numServers = 1;
  *phServer = h;

  free(f_SqlDbmsName);
  f_SqlDbmsName = DupOrNull(getenv("SQL_DBMS_NAME"));
  f_useRVC = ParseSensitivity(getenv("CURSOR_SENSITIVITY"));
  const char* xf = getenv("USE_EXTENDED_FETCH");
  f_extendedFetch = (xf && (xf[0] == 'N' || xf[0] == 'n')) ? 0 : 1;
  return ER_SUCCESS;
}

errcode_t ODBC_EndServer(handle_t hServer) {
  _Server* s = nullptr;
  {
    std::lock_guard lock(g_serverMu);
    s = ODBC_ServerRec(hServer);
    if (!s) return ER_INVALID_ARGUMENT;
    if (numServers > 1) {
      HandleRelease(&srvHandles, hServer);
      numServers--;
      return ER_SUCCESS;
    }
    // The last session: no connect may start on the record from here on.
    numServers = 0;
    ghServer = 0;
    HandleUnregister(&srvHandles, hServer);
  }
  // Nothing may stay connected behind it. Connections are ended as their
  // sessions come free, without the server lock.
  EndAllConnections(s);
  if (scs_ServerDone_hook) scs_ServerDone_hook(s);
  FlushErrorMsgQ(&s->pendingError);
  delete s;
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
  const AgentOptions& opt = g_agentOptions;
  {
    std::lock_guard lock(g_serverMu);
    c->SessFlags.f_useRVC = f_useRVC;
    c->SessFlags.f_extendedFetch = f_extendedFetch;
    c->SessFlags.f_SqlDbmsName = DupOrNull(f_SqlDbmsName);
  }
  c->SessFlags.f_noautocommit = opt.f_noautocommit;
  c->SessFlags.f_maxrows = opt.f_maxrows;
  c->SessFlags.f_norowsetsizelimit = opt.f_norowsetsizelimit;
  c->SessFlags.f_initSQL = DupOrNull(opt.f_initSQL);
  c->SessFlags.f_jetfix = opt.f_jetfix;

  const char* so = req->svOptions;
  if (so && strlen(so) > 3 && so[0] == 'W' && so[1] == 0x7F && so[2] == 0x01 && so[3] == 0x01) c->unicode = 1;

  auto fail = [&](errcode_t rc) {
    // The client reads a failed connect's texts from the server's queue.
    {
      std::lock_guard lock(g_serverMu);
      if (ODBC_ServerRec(hServer) == s) MoveErrorMsgQ(&s->pendingError, &c->pendingError);
    }
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
  SessionClaimNew();
  {
    // The last session may have ended the server record meanwhile.
    std::lock_guard lock(g_serverMu);
    e = ODBC_ServerRec(hServer) == s ? HandleRegister(&conHandles, &c->hConnect, c) : ER_INVALID_ARGUMENT;
    if (e == ER_SUCCESS) SessionPublish(c->hConnect);
  }
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
  // Calls waiting in a driver are cancelled, their work rolled back and every
  // connection ended, for a few seconds at most.
  using Clock = std::chrono::steady_clock;
  auto until = Clock::now() + std::chrono::seconds(3);
  unsigned left = 0;
  do {
    SessionCancelAll();
    // The cancelled calls come back before anything is rolled back: ending
    // another connection first could free the lock such a call waits on and
    // let it run. A driver that cannot cancel a wait gets a second.
    auto settle = std::min(until, Clock::now() + std::chrono::seconds(1));
    while (SessionsWaiting() > 0 && Clock::now() < settle) usleep(10000);
    left = EndConnectionsOnce(nullptr, 100);
  } while (left > 0 && std::chrono::steady_clock::now() < until);
  g_shutdownLeft = left;
  if (left > 0) logit(LOG_ERR, nullptr, 0, "shutdown: %u connections still busy", left);
  return 0;
}

unsigned ODBC_ShutdownLeft() { return g_shutdownLeft; }
