// Prepare-time analysis of the cursor engine: after the backend prepared a
// statement on a cursor, decide which cursor type and concurrency can be
// honoured, refuse what the engine's cursors cannot serve, find the tables,
// key columns, ORDER BY columns and the columns optimistic concurrency
// compares, and rewrite the select list of forward-only cursors that ask for
// keys. The state lives in the cursor's TSCCL until the next prepare.
#pragma once

#include "backend/sccl.h"
#include "drv_ops.h"

errcode_t scs_p_Prepare(PSCCL me, const char* request);
void scs_p_UnPrepare(PSCCL me);
errcode_t scs_p_ChangeCursorType(PSCCL me);
errcode_t scs_p_PostndRqstValidate(PSCCL me);
errcode_t scs_p_SelectRqstValidate_KSD(PSCCL me);
errcode_t scs_p_SelectRqstValidate_Dyn(PSCCL me);
errcode_t scs_p_OrdrColsGet(PSCCL me);
errcode_t scs_p_NumericOrdrCols_GetNames(PSCCL me);
errcode_t scs_p_OrdrCols_NamesConvert(PSCCL me);
errcode_t scs_p_TagKeyOrdrCols(PSCCL me);
// pTarget receives SCColDesc elements; the raw select items go to *ppRawItems
// when given (the caller frees them with SCColDescDestroy), else are freed.
errcode_t scs_p_SelectColsGet(PSCCL me, alist_t* pTarget, alist_t** ppRawItems);
errcode_t scs_p_SelectCol_ColDescComplete(PSCCL me);
errcode_t scs_p_SelListAddKeysnXpandWC(PSCCL me, alist_t* pRawItems, int* pbModified);
errcode_t scs_p_AllColSelectStmtBld(PSCCL me, const char* sql, SC_Request* pRqst);
errcode_t scs_p_ColGetInfo(PSCCL me, uns16 iCol, Coldesc* pDesc, uns16 fInfo, uns16 cColsPerAttrib,
                           uns16 cColAttribs, ColAttrib* pAttribs);
