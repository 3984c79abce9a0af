// Rowset reads shared by the engines that re-read rows by key: the rowset
// SELECT built and prepared on the client's cursor, the keyed SELECTs run
// over a rowset's keys, and the fetch loop that gathers their rows. Used by
// the keyset-driven, mixed and dynamic engines, the old values' read, the row
// locks and the bulk operations.
#pragma once

#include <cstddef>

#include "backend/sccl.h"
#include "drv_ops.h"

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
// Keys held from key row `row` to the end of the keyset window: the one bound
// of rowset reads, statuses and deleted-row checks.
sgn32 scs_p_KeysFromRow(PSCCL psccl, sgn32 row);

// The state's bind descriptions (pBindDesc, which the state owns) become the
// key columns' `copies` times, then the client's with bAppendClnt.
// ER_GENERAL_ERROR without key columns or beyond 0xFFFF descriptions.
errcode_t KeyBindDescsSet(PSCCL s, unsigned copies, int bAppendClnt);
// Sends the state's bind descriptions for cursor h.
errcode_t BindDescsSend(PSCCL s, handle_t h);
