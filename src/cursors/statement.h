// The cursor engine's statement operations: prepare and execute with the
// prepare-time analysis, keysets and snapshots of scrollable cursors, the
// combined calls (prepare+execute+describe, a new cursor with a statement,
// batches, rowsets that hold back long values and hand them out in pieces),
// more results and the catalog calls. Each sits in a slot of the engine's
// operation table.
#pragma once

#include "backend/sccl.h"
#include "drv_ops.h"

errcode_t SCs_Prepare(handle_t hCursor, char* request);
errcode_t SCs_Execute(handle_t hCursor);
errcode_t SCs_Execute2(handle_t hCursor, char* request, Dataset* params, uns16 nCols, Bindesc* pDesc);
errcode_t SCs_Execute2X(handle_t hCursor, char* request, Dataset* params, uns16 nCols, BindescX* pDesc);
errcode_t SCs_BindX(handle_t hCursor, uns16 nCols, BindescX* pDesc);
errcode_t SCs_MoreResults(handle_t hCursor);
errcode_t SCs_PrepareJ(handle_t hConnect, char* request, sgn32 cursConcurrency, sgn32 cursType,
                       handle_t* phCursor);
errcode_t SCs_ExecuteJ(handle_t hCursor, char* request, Dataset* params, uns16 nCols, Bindesc* pDesc,
                       sgn32* rowSetSize, uns16* pnCols, Coldesc** ppColDesc, uns16* pnPars,
                       Coldesc** ppParDesc, sgn32* rowsProcessed);
errcode_t SCs_ExecuteJ2(handle_t hCursor, char* request, Dataset* params, uns16 nCols, Bindesc* pDesc,
                        sgn32* rowSetSize, uns16* pnCols, Coldesc** ppColDesc, uns16* pnPars,
                        Coldesc** ppParDesc, uns16* pnAttribs, ColAttrib** ppAttrib, sgn32* rowsProcessed);
errcode_t SCs_FetchProcJ(handle_t hCursor, uns16* pnCols, Coldesc** ppDesc, Dataset* pBind);
errcode_t SCs_ExtendedFetch2J(handle_t hCursor, PRSET* ppRowSet, sgn32 irow, uns32* pcrow,
                              sgn32* pRsltSetSize, sgn32 lfFetchType);
errcode_t SCs_GetDataJ(handle_t hCursor, sgn32 iCol, sgn32 iRow, precision_t cbWanted, char** ppRcvBuff,
                       precision_t* pcbRetrieved, ctype_t* pCType, sgn32* pcbRemaining);
errcode_t SCs_ExecuteBatchJ(handle_t hCursor, uns16 nCalls, Batch* calls, uns16* nResults, sgn32** Results);

errcode_t SCs_DDColumnPrivileges(handle_t hCursor, DDColumnPrivileges* a);
errcode_t SCs_DDColumns(handle_t hCursor, DDColumns* a);
errcode_t SCs_DDForeignKeys(handle_t hCursor, DDForeignKeys* a);
errcode_t SCs_DDPrimaryKeys(handle_t hCursor, DDPrimaryKeys* a);
errcode_t SCs_DDProcedureColumns(handle_t hCursor, DDProcedureColumns* a);
errcode_t SCs_DDProcedures(handle_t hCursor, DDProcedures* a);
errcode_t SCs_DDSpecialColumns(handle_t hCursor, DDSpecialColumns* a);
errcode_t SCs_DDStatistics(handle_t hCursor, DDStatistics* a);
errcode_t SCs_DDTablePrivileges(handle_t hCursor, DDTablePrivileges* a);
errcode_t SCs_DDTables(handle_t hCursor, DDTables* a);
errcode_t SCs_DDTypeInfo(handle_t hCursor, sgn16 fSqlType);

// After a rowset fetch: moves the long values of more than 60000 bytes out of
// the rowset into the cursor's held-back data (their cells get indicator -3),
// for SCs_GetDataJ to hand out in pieces.
errcode_t scs_p_HoldBackLongData(PSCCL me, PRSET pRowSet);

// Installs the statement operations in the engine's table (filter.cpp).
void scs_StatementOpsInstall(drv_ops* ops);
