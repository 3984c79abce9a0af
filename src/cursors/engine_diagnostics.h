// Engine diagnostics: the engine runs statements of its own on auxiliary
// cursors and in whole-result reads; their messages end up on the client's
// cursor. Used by every engine that runs statements of its own.
#pragma once

#include "backend/backend.h"

// bQueue 1: the cursor's messages stack up (a later call does not flush
// them); 0: back to normal. An unknown handle is ignored.
void StackErrorMsgs(handle_t hCursor, int bQueue);
// Moves every message of pErrQAuxCurs to the end of pErrQCurs (the auxiliary
// queue is left empty); either null is ignored.
void AppendAuxCursorErrors(ErrorQ* pErrQCurs, ErrorQ* pErrQAuxCurs);
// Moves the messages of both auxiliary cursors to the client's cursor
// (me->pParent).
void GetAuxCursorErrors(PSCCL me);
// Drops a last message of SQLSTATE 01S01 (error in row) from the queue.
void PatchErrorMsgQ(ErrorQ* pErrQ);

// Whole-result reads of the engine (keyset, snapshot, old values): the backend's
// fetch answers a driver error with the rows so far and queues the
// diagnostics. scs_p_DiagSave takes the cursor's queue aside before the read;
// scs_p_DiagCheck turns an error queued during the read into the read's
// failure (rc when that already failed) and puts the queue back together.
void scs_p_DiagSave(handle_t hCurs, ErrorQ* pSaved);
errcode_t scs_p_DiagCheck(handle_t hCurs, ErrorQ* pSaved, errcode_t rc);
// The code of the first error (not warning) queued, or ER_SUCCESS.
errcode_t scs_p_QueuedError(const ErrorQ* pQueue);

// The same for a read that did not set the queue aside: the code of the first
// error queued on cursor h (ER_SUCCESS for none or an unknown handle).
errcode_t FetchErrorQueued(handle_t h);
// Drops every message queued on cursor h.
void FlushQueue(handle_t h);
// The auxiliary cursor hAux's messages replace the client's (me->pParent).
void MoveAuxErrors(PSCCL me, handle_t hAux);
