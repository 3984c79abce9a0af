// Agent error codes, the error table, diagnostic queues and the mapping of the
// driver manager's return codes. Used by the backend, the service procedures and
// the cursor engine: every operation answers an errcode_t and leaves the texts
// behind a failure queued on the handle until the client asks for them.
#pragma once

#include <cstdint>

#include "model/errcode.h"
#include "model/types.h"

struct errxlat {
  char sqlstate[5];  // no terminating NUL
  errcode_t code;
  const char* desc;  // English text; passed through the message catalogue
};

extern const errxlat errorxlat[__LAST_ERROR__];

enum { ERRMSG_BUFLEN = 2048 };

struct ErrorMsg {
  ErrorMsg* pNextMsg;
  sgn32 nativeError;
  char msgBuf[ERRMSG_BUFLEN];
  char* szSQLSTATE;
};

struct ErrorQ {
  int bNoFlush;  // 0: the next message replaces the queue; 1: it is appended
  ErrorMsg* pFirstMsg;
  int bSrvrMsgRcvd;
};

struct _Connect;
struct _Cursor;

void QErrorMsg(ErrorQ* q, ErrorMsg* msg);
void FlushErrorMsgQ(ErrorQ* q);
// Moves every message (and the flags) of from onto to, whose queue is emptied first.
void MoveErrorMsgQ(ErrorQ* to, ErrorQ* from);
int CountErrorMsgQ(const ErrorQ* q);
void SetVYRErrorMsg(ErrorQ* q, errcode_t code);
ErrorMsg* ErrMsgCreate(errcode_t code);
ErrorMsg* DBErrMsgCreate(const char* text, sgn32 nativeError, const char* sqlstate);

// Looks a 5-character SQLSTATE up in rows 1 to 183; 0 when absent.
errcode_t ErrorFromSQLState(const char* sqlstate);

errcode_t CheckConnErrors(_Connect* pConn, const char* func, int rc);
errcode_t CheckStmtErrors(_Cursor* pCurs, const char* func, int rc);
// A fetch cut a value to fit its cell: queues the statement's diagnostics (the
// driver's "data truncated" warning) on the cursor in place of what it held, or
// the agent's own 01004 when the driver gave none.
void QueueTruncationWarning(_Cursor* pCurs);

struct ErrInfo;
errcode_t ODBC_ErrInfo(handle_t h, ErrInfo* pInfo);
