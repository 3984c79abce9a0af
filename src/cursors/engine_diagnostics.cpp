// Engine diagnostics (engine_diagnostics.h): the messages of the auxiliary
// cursors moved to the client's cursor, the queue kept aside around the
// engine's whole-result reads, and the error a read left queued. Called by
// every engine that runs statements of its own.
#include "cursors/engine_diagnostics.h"

#include <cstdlib>
#include <cstring>

void StackErrorMsgs(handle_t hCursor, int bQueue) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (pc) pc->pendingError.bNoFlush = bQueue;
}

void AppendAuxCursorErrors(ErrorQ* pErrQCurs, ErrorQ* pErrQAuxCurs) {
  if (!pErrQCurs || !pErrQAuxCurs) return;
  ErrorMsg* m = pErrQAuxCurs->pFirstMsg;
  pErrQAuxCurs->pFirstMsg = nullptr;
  while (m) {
    ErrorMsg* next = m->pNextMsg;
    QErrorMsg(pErrQCurs, m);
    m = next;
  }
}

void GetAuxCursorErrors(PSCCL me) {
  if (!me || !me->pParent) return;
  _Cursor* parent = static_cast<_Cursor*>(me->pParent);
  for (handle_t h : {me->hSCCurs, me->hSCCurs2}) {
    _Cursor* aux = h ? ODBC_CursorRec(h) : nullptr;
    if (aux) AppendAuxCursorErrors(&parent->pendingError, &aux->pendingError);
  }
}

void PatchErrorMsgQ(ErrorQ* q) {
  if (!q || !q->pFirstMsg) return;
  ErrorMsg** link = &q->pFirstMsg;
  while ((*link)->pNextMsg) link = &(*link)->pNextMsg;
  ErrorMsg* last = *link;
  if (last->szSQLSTATE && strcmp(last->szSQLSTATE, "01S01") == 0) {
    *link = nullptr;
    free(last->szSQLSTATE);
    free(last);
  }
}

void scs_p_DiagSave(handle_t hCurs, ErrorQ* pSaved) {
  *pSaved = ErrorQ{};
  _Cursor* pc = ODBC_CursorRec(hCurs);
  if (pc) MoveErrorMsgQ(pSaved, &pc->pendingError);
}

errcode_t scs_p_QueuedError(const ErrorQ* pQueue) {
  for (const ErrorMsg* m = pQueue->pFirstMsg; m; m = m->pNextMsg) {
    if (m->szSQLSTATE && strncmp(m->szSQLSTATE, "01", 2) == 0) continue;  // a warning
    const errcode_t e = m->szSQLSTATE ? ErrorFromSQLState(m->szSQLSTATE) : ER_SUCCESS;
    return e != ER_SUCCESS ? e : ER_GENERAL_ERROR;
  }
  return ER_SUCCESS;
}

errcode_t scs_p_DiagCheck(handle_t hCurs, ErrorQ* pSaved, errcode_t rc) {
  _Cursor* pc = ODBC_CursorRec(hCurs);
  if (!pc) {
    FlushErrorMsgQ(pSaved);
    return rc;
  }
  ErrorQ* q = &pc->pendingError;
  if (!q->pFirstMsg) {
    MoveErrorMsgQ(q, pSaved);
    return rc;
  }
  const errcode_t found = scs_p_QueuedError(q);
  if (pSaved->bNoFlush) {
    // The queue was stacking: the new messages follow the old ones.
    AppendAuxCursorErrors(pSaved, q);
    MoveErrorMsgQ(q, pSaved);
  } else {
    FlushErrorMsgQ(pSaved);
  }
  return rc != ER_SUCCESS ? rc : found;
}

// A fetch that meets a driver error keeps the rows read so far, answers
// success and leaves the driver's diagnostics queued on the cursor: a result
// read to its end must not hold an error there.
errcode_t FetchErrorQueued(handle_t h) {
  _Cursor* pc = ODBC_CursorRec(h);
  return pc ? scs_p_QueuedError(&pc->pendingError) : ER_SUCCESS;
}

void FlushQueue(handle_t h) {
  if (_Cursor* pc = ODBC_CursorRec(h)) FlushErrorMsgQ(&pc->pendingError);
}

// The auxiliary cursor's diagnostics replace the client's.
void MoveAuxErrors(PSCCL me, handle_t hAux) {
  _Cursor* aux = ODBC_CursorRec(hAux);
  if (!aux || !me->pParent) return;
  MoveErrorMsgQ(&static_cast<_Cursor*>(me->pParent)->pendingError, &aux->pendingError);
}
