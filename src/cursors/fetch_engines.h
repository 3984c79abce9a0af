// The cursor engine's scrollable fetches: keyset-driven, mixed, dynamic and
// static engines filling a rowset with a status per row, deleted-row
// detection, the old values of optimistic concurrency and row locks.
#pragma once

#include "backend/sccl.h"
#include "drv_ops.h"

errcode_t SCs_ExtendedFetch2(handle_t hCursor, PRSET* ppRowSet, sgn32 irow, uns32* pcrow, sgn32* pRsltSetSize,
                             sgn32 lfFetchType);
errcode_t SCs_ExtendedFetch(handle_t hCursor, PRSET* ppRowSet, sgn32 irow, uns32* pcrow, sgn32* pRsltSetSize);

errcode_t scs_p_ExtendedFetch_KSD(PSCCL psccl, PRSET pRowSet, sgn32 irow);
errcode_t scs_p_ExtendedFetch_Mixed(PSCCL psccl, sgn32 irow, uns16 fFetchType, PRSET pRowSet);
errcode_t scs_p_ExtendedFetch_Dynamic(PSCCL psccl, sgn32 irow, uns16 fFetchType, PRSET pRowSet);
errcode_t scs_p_ExtendedFetch_Dyn(PSCCL psccl, uns16 fFetchType, sgn32 irow, PRSET pRowSet);
errcode_t scs_p_ExtendedFetch_Static(PSCCL psccl, PRSET pRowSet, sgn32 irow);
errcode_t scs_p_DeletedRowsTag(PSCCL psccl, Dataset* pRSDataset, Dataset* pKeyVals, positn_t rowsetOffset,
                               positn_t keysetOffset, uns16* rgfRowStatus);
errcode_t scs_p_GetOptConcColVals(PSCCL psccl, Dataset* pParameters, sgn32 irow, int cSelectsReqd,
                                  int cMaxRowsPerSelect, int cRowsInLastSelect);
errcode_t scs_p_LockRows(PSCCL psccl, uns32 iStartRow, uns32 nRows);

// Installs the fetch operations in the engine's table (filter.cpp).
void scs_FetchOpsInstall(drv_ops* ops);
