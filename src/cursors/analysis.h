// Prepare-time analysis of the cursor engine: after the backend prepared a
// statement on a cursor, decide which cursor type and concurrency can be
// honoured, refuse what the engine's cursors cannot serve, find the tables,
// key columns, ORDER BY columns and the columns optimistic concurrency
// compares, and rewrite the select list of forward-only cursors that ask for
// keys. The state lives in the cursor's TSCCL until the next prepare. The
// column lists are statement_columns.h, the rewrites statement_rewrite.h
// (both brought along).
#pragma once

#include "backend/sccl.h"
#include "cursors/statement_columns.h"
#include "cursors/statement_rewrite.h"
#include "drv_ops.h"

// After the backend prepared request on me->hCursor: drops the previous
// analysis (restoring a switched type and concurrency), then for scrollable
// cursors (and forward-only SELECTs when asked) analyses the statement into
// the state (pszSQL, Rqst, the lists, key columns), makes the auxiliary
// cursors and switches to a static read-only cursor what the engine cannot
// serve otherwise. 0 or the refusal's code (ER_OJ_STATIC_ONLY, ER_PRQST_*...);
// everything it makes belongs to the state (scs_p_UnPrepare, SCs_Destroy).
errcode_t scs_p_Prepare(PSCCL me, const char* request);
// Frees the analysis state: pszSQL, the three requests, the column, bind and
// kept client bind descriptions, and the table, column, ORDER BY and select
// lists; f_state and f_stateAux2 become 0. Null is ignored.
void scs_p_UnPrepare(PSCCL me);
// Switches the cursor to static and read-only through the backend's options,
// keeping the old values in CursTypeOrig/ConcTypeOrig (SCCL_TYPE_SWITCHED).
// ER_DRV_NOT_CAPABLE when the backend refuses a switch.
errcode_t scs_p_ChangeCursorType(PSCCL me);
// Refusals of a positioned UPDATE or DELETE by SelectRqstFlags: join, GROUP
// BY, UNION or scalar aggregate give their ER_PRQST_* code; else 0.
errcode_t scs_p_PostndRqstValidate(PSCCL me);
// Refusals of a keyset-driven SELECT: not a SELECT, GROUP BY, UNION.
errcode_t scs_p_SelectRqstValidate_KSD(PSCCL me);
