// The cursor engine's scrollable fetches: keyset-driven, mixed, dynamic and
// static engines filling a rowset with a status per row, deleted-row
// detection, the old values of optimistic concurrency and row locks.
#pragma once

#include <cstddef>

#include "backend/errors.h"
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
// Re-reads the keys of the rowset that starts at key row rowsetOffset (pKeyVals
// holds the key rows from keysetOffset on) and puts an empty row with status 1
// (rgfRowStatus, indexed like rowsetOffset) where a key has gone. The rowset
// dataset is given room for a whole rowset first.
errcode_t scs_p_DeletedRowsTag(PSCCL psccl, Dataset* pRSDataset, Dataset* pKeyVals, positn_t rowsetOffset,
                               positn_t keysetOffset, uns16* rgfRowStatus);
// Reads the old values of optimistic concurrency on hSCCurs2 into
// pDSOptConcColVals: all rows of a static cursor (into OCVC), else the rows of
// keys irow on. pParameters (null, or a parameter row the function takes
// over) is sent in place of a key parameter row built here when there is one
// SELECT, and to the static cursor's whole read.
errcode_t scs_p_GetOptConcColVals(PSCCL psccl, Dataset* pParameters, sgn32 irow, int cSelectsReqd,
                                  int cMaxRowsPerSelect, int cRowsInLastSelect);
errcode_t scs_p_LockRows(PSCCL psccl, uns32 iStartRow, uns32 nRows);

// Rowset reads shared by the engines that re-read rows by key.

// Builds the rowset SELECT for cRowsPerSelect rows into Rqst (nothing is
// prepared); with bFromStatement as below.
errcode_t scs_p_RowSetSelectBuild(PSCCL psccl, sgn32 cRowsPerSelect, int bFromStatement);
// Prepares the rowset SELECT for cRowsPerSelect rows on the client's cursor.
// With bFromStatement the client's text is analysed again and its ORDER BY
// extended by the keys first. For lock concurrency without locking by update
// " FOR UPDATE" is appended; *pcbForUpdate (when given) gets the length of
// what was appended, 0 when nothing was.
errcode_t scs_p_RowSetSelectPrepare(PSCCL psccl, sgn32 cRowsPerSelect, int bFromStatement,
                                    size_t* pcbForUpdate);
// Removes from Rqst.translated the cbForUpdate bytes scs_p_RowSetSelectPrepare
// appended (nothing when 0).
void scs_p_ForUpdateCut(PSCCL psccl, size_t cbForUpdate);
// Runs the keyed SELECTs prepared on hCurs for the keys of pKeys from row
// iKeyRow on: cSelectsReqd SELECTs of cMaxRowsPerSelect key groups, the last
// matching cRowsInLastSelect keys; the client's parameters follow the keys
// when the statement has some. With bNeedBind the bind descriptors are set
// before the first SELECT. The rows are appended to pRows. pParameters
// (borrowed), when given with a single SELECT, is sent in place of the key
// row. *ppLastParams (when given) receives a copy of the last row sent.
errcode_t scs_p_RowSetKeyedRead(PSCCL psccl, handle_t hCurs, Dataset* pKeys, uns32 iKeyRow,
                                sgn32 cSelectsReqd, sgn32 cMaxRowsPerSelect, sgn32 cRowsInLastSelect,
                                Dataset* pParameters, Dataset* pRows, Dataset** ppLastParams);
// Fetches up to nRows rows of hCurs, appended to pRows, fetching again while
// rows come: the backend hands out a row at a time when a long column is
// described.
errcode_t scs_p_FetchRows(PSCCL psccl, handle_t hCurs, uns32 nRows, Dataset* pRows);
// Gives pDS room for at least nRows rows (its rows and shape unchanged).
errcode_t scs_p_RowsReserve(Dataset* pDS, uns32 nRows);
// The old values compared when only the select list is compared
// (SCCL_OCV_SELECT_COLS): a copy of the rowset just read.
errcode_t scs_p_OptConcValsCopy(PSCCL psccl, Dataset* pRows);
// Keys held from key row `row` to the end of the keyset window: the one bound
// of rowset reads, statuses and deleted-row checks.
sgn32 scs_p_KeysFromRow(PSCCL psccl, sgn32 row);

// Whole-result reads of the engine (keyset, snapshot, old values): the backend's
// fetch answers a driver error with the rows so far and queues the
// diagnostics. scs_p_DiagSave takes the cursor's queue aside before the read;
// scs_p_DiagCheck turns an error queued during the read into the read's
// failure and puts the queue back together.
void scs_p_DiagSave(handle_t hCurs, ErrorQ* pSaved);
errcode_t scs_p_DiagCheck(handle_t hCurs, ErrorQ* pSaved, errcode_t rc);
// The code of the first error (not warning) queued, or ER_SUCCESS.
errcode_t scs_p_QueuedError(const ErrorQ* pQueue);

// A procedure call's result (for its output values) and a locking cursor's
// rows stay open behind the snapshot; any other result is closed once read.
bool scs_p_SnapshotKeepsResult(PSCCL psccl);

// Installs the fetch operations in the engine's table (filter.cpp).
void scs_FetchOpsInstall(drv_ops* ops);
