// Prepare-time analysis of the cursor engine: after the backend prepared a
// statement on a cursor, decide which cursor type and concurrency can be
// honoured, refuse what the engine's cursors cannot serve, find the tables,
// key columns, ORDER BY columns and the columns optimistic concurrency
// compares, and rewrite the select list of forward-only cursors that ask for
// keys. The state lives in the cursor's TSCCL until the next prepare.
#pragma once

#include "backend/sccl.h"
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
// Refusals of a dynamic (or mixed) SELECT: GROUP BY, UNION. Then marks the
// ORDER BY columns that are keys (iOrdrBy, bIsKey), takes the types of the
// others from the table columns and sets CompoundKeySize. ER_GENERAL_ERROR
// when a non-key ORDER BY column is not a column of the tables.
errcode_t scs_p_SelectRqstValidate_Dyn(PSCCL me);
// Fills pLS_OrdrCols (replacing it) from Rqst's ORDER BY: names numeric
// positions from the select list (rewriting pszSQL with the names), converts
// name case, resolves table aliases. The list belongs to the state.
errcode_t scs_p_OrdrColsGet(PSCCL me);
// Names the numeric ORDER BY positions in pLS_OrdrCols from the select list;
// ER_SYNTAXIS past the list's end, ER_ORDR_ON_EXPRESSION on an expression.
errcode_t scs_p_NumericOrdrCols_GetNames(PSCCL me);
// Converts the ORDER BY columns' names to the data source's case and resolves
// table aliases to their tables; always 0.
errcode_t scs_p_OrdrCols_NamesConvert(PSCCL me);
// Sets each key column's iOrdrBy to the 1-based ORDER BY position that names
// it (0 none); always 0.
errcode_t scs_p_TagKeyOrdrCols(PSCCL me);
// pTarget receives SCColDesc elements; the raw select items go to *ppRawItems
// when given (the caller frees them with SCColDescDestroy), else are freed.
errcode_t scs_p_SelectColsGet(PSCCL me, alist_t* pTarget, alist_t** ppRawItems);
// Completes the select-list columns from the table columns: case converted,
// and table, owner and qualifier of the table column of the same name; 0.
errcode_t scs_p_SelectCol_ColDescComplete(PSCCL me);
// Rewrites Rqst's select list of a forward-only SELECT: wildcards expanded to
// pLS_SelectCols and, with bSelectAppendKeys, the missing key columns appended
// (also to pLS_SelectCols). *pbModified (optional) is 1 when Rqst's translated
// text changed. pRawItems stays the caller's.
errcode_t scs_p_SelListAddKeysnXpandWC(PSCCL me, alist_t* pRawItems, int* pbModified);
// Builds into pRqst (emptied first; the caller owns it, usually RqstAux2)
// sql with its select list replaced by every column of pLS_TblCols: the
// SELECT of the old values optimistic concurrency compares.
errcode_t scs_p_AllColSelectStmtBld(PSCCL me, const char* sql, SC_Request* pRqst);
// Column attributes the engine answers from its analysis (SCCL_ANALYSED):
// into pDesc (when given) the names asked by the fInfo bits 0x1 column,
// 0x2 table, 0x4 owner, 0x8 qualifier (heap strings replacing the old, the
// record's owner frees them); in pAttribs the key and expression flags of
// column iCol (every cColsPerAttrib-th entry). Always 0.
errcode_t scs_p_ColGetInfo(PSCCL me, uns16 iCol, Coldesc* pDesc, uns16 fInfo, uns16 cColsPerAttrib,
                           uns16 cColAttribs, ColAttrib* pAttribs);
