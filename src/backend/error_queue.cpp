// Diagnostic queues, the mapping of driver-manager return codes to agent codes,
// and the error-information operation that hands a queue to the client.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <libintl.h>

#include "backend/backend.h"
#include "sqlucode.h"
#include "util/log.h"
#include "util/unicode.h"

namespace {

// Bounded copy that keeps at most n - 1 bytes and never splits a UTF-8 sequence.
void CopyCut(char* dst, size_t n, const char* src) {
  size_t len = strnlen(src, n);
  if (len >= n) {
    len = n - 1;
    while (len > 0 && (static_cast<unsigned char>(src[len]) & 0xC0) == 0x80) len--;
  }
  memcpy(dst, src, len);
  dst[len] = 0;
}

// A driver that cannot be loaded: the client learns only that, never what
// the system loader said about the host's files (that goes to the log).
void HideLoaderText(char* text, size_t size) {
  static const char kText[] = "Specified driver could not be loaded";
  char* at = strstr(text, kText);
  if (at && at[sizeof kText - 1] == 0) return;
  logit(LOG_ERR, nullptr, 0, "driver not loaded: %s", text);
  if (at) {
    at[sizeof kText - 1] = 0;
    return;
  }
  // Keep the bracketed origin the message begins with.
  size_t keep = 0;
  while (text[keep] == '[') {
    const char* close = strchr(text + keep, ']');
    if (!close) break;
    keep = size_t(close - text) + 1;
  }
  snprintf(text + keep, size - keep, "%s", kText);
}

void TrimTrailingBlanks(char* s) {
  size_t n = strlen(s);
  while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\t' || s[n - 1] == '\n' || s[n - 1] == '\r')) s[--n] = 0;
}

}  // namespace

void QErrorMsg(ErrorQ* q, ErrorMsg* msg) {
  if (!q || !msg) return;
  msg->pNextMsg = nullptr;
  ErrorMsg** pp = &q->pFirstMsg;
  while (*pp) pp = &(*pp)->pNextMsg;
  *pp = msg;
}

static void FreeErrorMsg(ErrorMsg* m) {
  free(m->szSQLSTATE);
  free(m);
}

void FlushErrorMsgQ(ErrorQ* q) {
  if (!q) return;
  ErrorMsg* m = q->pFirstMsg;
  while (m) {
    ErrorMsg* next = m->pNextMsg;
    FreeErrorMsg(m);
    m = next;
  }
  q->pFirstMsg = nullptr;
}

void MoveErrorMsgQ(ErrorQ* to, ErrorQ* from) {
  if (!to || !from || to == from) return;
  FlushErrorMsgQ(to);
  *to = *from;
  from->pFirstMsg = nullptr;
  from->bNoFlush = 0;
  from->bSrvrMsgRcvd = 0;
}

int CountErrorMsgQ(const ErrorQ* q) {
  int n = 0;
  for (const ErrorMsg* m = q ? q->pFirstMsg : nullptr; m; m = m->pNextMsg) n++;
  return n;
}

ErrorMsg* DBErrMsgCreate(const char* text, sgn32 nativeError, const char* sqlstate) {
  ErrorMsg* m = static_cast<ErrorMsg*>(calloc(1, sizeof(ErrorMsg)));
  if (!m) return nullptr;
  m->nativeError = nativeError;
  CopyCut(m->msgBuf, sizeof m->msgBuf, text ? text : "");
  m->szSQLSTATE = strdup(sqlstate ? sqlstate : "");
  if (!m->szSQLSTATE) {
    free(m);
    return nullptr;
  }
  return m;
}

ErrorMsg* ErrMsgCreate(errcode_t code) {
  if (code <= ER_SUCCESS || code >= __LAST_ERROR__ || !errorxlat[code].desc) return nullptr;
  const errxlat& row = errorxlat[code];
  char state[6];
  memcpy(state, row.sqlstate, 5);
  state[5] = 0;
  return DBErrMsgCreate(gettext(row.desc), 0, state);
}

void SetVYRErrorMsg(ErrorQ* q, errcode_t code) {
  if (!q) return;
  ErrorMsg* m = ErrMsgCreate(code);
  if (!m) return;
  if (!q->bNoFlush) FlushErrorMsgQ(q);
  QErrorMsg(q, m);
}

errcode_t ErrorFromSQLState(const char* sqlstate) {
  if (!sqlstate || strnlen(sqlstate, 5) < 5) return ER_SUCCESS;
  // Row 0 has no state and row 184 is not searched; empty rows never match.
  for (int i = 1; i <= 183; i++) {
    const errxlat& row = errorxlat[i];
    if (row.desc && memcmp(row.sqlstate, sqlstate, 5) == 0) return static_cast<errcode_t>(i);
  }
  return ER_SUCCESS;
}

namespace {

// Reads every diagnostic of one handle level into the queue; returns the mapped
// code of the first diagnostic whose state is in the table (or keeps *mapped).
void ReadDiagnostics(ErrorQ* q, int unicode, SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, errcode_t* mapped) {
  for (int guard = 0; guard < 1000; guard++) {
    char state[32] = {0};
    char text[ERRMSG_BUFLEN] = {0};
    SQLINTEGER native = 0;
    SQLRETURN rc;
    if (unicode) {
      SQLWCHAR wstate[8] = {0};
      SQLWCHAR wtext[512] = {0};
      SQLSMALLINT len = 0;
      rc = SQLErrorW(env, dbc, stmt, wstate, &native, wtext, 512, &len);
      if (rc != SQL_SUCCESS) break;
      wstate[5] = 0;
      wtext[511] = 0;
      StrCopyOut_WtoU8(wstate, state, 20, nullptr);
      StrCopyOut_WtoU8(wtext, text, 512, nullptr);
    } else {
      SQLSMALLINT len = 0;
      rc = SQLError(env, dbc, stmt, reinterpret_cast<SQLCHAR*>(state), &native,
                    reinterpret_cast<SQLCHAR*>(text), 512, &len);
      if (rc != SQL_SUCCESS) break;
      state[5] = 0;
      text[511] = 0;
    }
    TrimTrailingBlanks(text);
    if (strcmp(state, "IM003") == 0) HideLoaderText(text, sizeof text);
    ErrorMsg* m = DBErrMsgCreate(text, native, state);
    if (m) {
      if (!q->bNoFlush) FlushErrorMsgQ(q);
      QErrorMsg(q, m);
      q->bNoFlush = 1;
    }
    if (*mapped == ER_SUCCESS) *mapped = ErrorFromSQLState(state);
  }
}

}  // namespace

errcode_t CheckConnErrors(_Connect* pConn, const char* /*func*/, int rc) {
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA) return ER_SUCCESS;
  if (rc != SQL_ERROR || !pConn) return ER_GENERAL_ERROR;
  errcode_t mapped = ER_SUCCESS;
  pConn->pendingError.bNoFlush = 0;
  if (pConn->hDbc)
    ReadDiagnostics(&pConn->pendingError, pConn->unicode, pConn->hEnv, pConn->hDbc, SQL_NULL_HSTMT, &mapped);
  if (pConn->hEnv)
    ReadDiagnostics(&pConn->pendingError, pConn->unicode, pConn->hEnv, SQL_NULL_HDBC, SQL_NULL_HSTMT,
                    &mapped);
  return mapped == ER_SUCCESS ? ER_GENERAL_ERROR : mapped;
}

errcode_t CheckStmtErrors(_Cursor* pCurs, const char* /*func*/, int rc) {
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA) return ER_SUCCESS;
  if (rc != SQL_ERROR || !pCurs) return ER_GENERAL_ERROR;
  errcode_t mapped = ER_SUCCESS;
  int unicode = pCurs->pConnect ? pCurs->pConnect->unicode : 0;
  pCurs->pendingError.bNoFlush = 0;
  if (pCurs->hStmt)
    ReadDiagnostics(&pCurs->pendingError, unicode, pCurs->hEnv, pCurs->hDbc, pCurs->hStmt, &mapped);
  if (pCurs->hDbc)
    ReadDiagnostics(&pCurs->pendingError, unicode, pCurs->hEnv, pCurs->hDbc, SQL_NULL_HSTMT, &mapped);
  if (pCurs->hEnv)
    ReadDiagnostics(&pCurs->pendingError, unicode, pCurs->hEnv, SQL_NULL_HDBC, SQL_NULL_HSTMT, &mapped);
  return mapped == ER_SUCCESS ? ER_GENERAL_ERROR : mapped;
}

void QueueTruncationWarning(_Cursor* pCurs) {
  if (!pCurs || !pCurs->hStmt) return;
  errcode_t mapped = ER_SUCCESS;
  int unicode = pCurs->pConnect ? pCurs->pConnect->unicode : 0;
  pCurs->pendingError.bNoFlush = 0;
  ReadDiagnostics(&pCurs->pendingError, unicode, pCurs->hEnv, pCurs->hDbc, pCurs->hStmt, &mapped);
  // Whatever was read is this fetch's (bNoFlush set); without the driver's own
  // word on the cut, the agent's is added.
  if (pCurs->pendingError.bNoFlush)
    for (const ErrorMsg* m = pCurs->pendingError.pFirstMsg; m; m = m->pNextMsg)
      if (m->szSQLSTATE && strcmp(m->szSQLSTATE, "01004") == 0) return;
  SetVYRErrorMsg(&pCurs->pendingError, ER_DATA_TRUNCATED);
  pCurs->pendingError.bNoFlush = 1;
}

errcode_t ODBC_ErrInfo(handle_t h, ErrInfo* pInfo) {
  ErrorQ* q = nullptr;
  // The server's queue is every session's: read under its lock.
  std::unique_lock<std::recursive_mutex> serverLock;
  if (_Cursor* c = ODBC_CursorRec(h)) {
    q = &c->pendingError;
  } else if (_Connect* k = ODBC_ConnectRec(h)) {
    q = &k->pendingError;
  } else if (serverLock = std::unique_lock(ODBC_ServerLock()); _Server* s = ODBC_ServerRec(h)) {
    q = &s->pendingError;
  } else {
    return ER_INVALID_ARGUMENT;
  }
  if (!pInfo) return ER_INVALID_ARGUMENT;
  pInfo->nativeError = 0;
  pInfo->messageCount = 0;
  pInfo->messages = nullptr;
  if (!q->pFirstMsg) return ER_SUCCESS;

  // The reply carries at most ERRINFO_MAX_MESSAGES texts; the rest stay queued
  // for the next call.
  unsigned n = 0;
  for (ErrorMsg* m = q->pFirstMsg; m && n < ERRINFO_MAX_MESSAGES; m = m->pNextMsg) n++;
  String* texts = static_cast<String*>(calloc(n, sizeof(String)));
  if (!texts) return ER_NO_MEMORY;
  ErrorMsg* m = q->pFirstMsg;
  for (unsigned i = 0; i < n; i++, m = m->pNextMsg) {
    if (!m->msgBuf[0]) continue;
    const char* st = m->szSQLSTATE ? m->szSQLSTATE : "";
    size_t len = strlen(m->msgBuf) + strlen(st) + 32;
    texts[i] = static_cast<char*>(malloc(len));
    if (!texts[i]) {
      for (unsigned j = 0; j < i; j++) free(texts[j]);
      free(texts);
      return ER_NO_MEMORY;
    }
    snprintf(texts[i], len, "[ODBC Server]%s[SQLSTATE:%s]", m->msgBuf, st);
  }
  pInfo->nativeError = q->pFirstMsg->nativeError;
  pInfo->messageCount = n;
  pInfo->messages = texts;
  // Drop the delivered messages; the rest stay queued.
  for (unsigned i = 0; i < n; i++) {
    ErrorMsg* first = q->pFirstMsg;
    q->pFirstMsg = first->pNextMsg;
    FreeErrorMsg(first);
  }
  if (!q->pFirstMsg) q->bNoFlush = 0;
  return ER_SUCCESS;
}
