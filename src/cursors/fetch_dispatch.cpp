// The scrollable fetch slots (fetch_dispatch.h): extended fetch and its
// oriented form check the cursor, make the rowset and dispatch by cursor type
// to the keyset-driven, mixed, dynamic or static engine, or read forward.
// SCs_InitDRV (filter.cpp) installs them; statement.cpp's J fetch calls them.
#include "cursors/fetch_dispatch.h"

#include <algorithm>
#include <cstdint>

#include "cursors/cursor_state.h"
#include "cursors/engine_diagnostics.h"
#include "cursors/fetch_dynamic.h"
#include "cursors/fetch_engines.h"
#include "cursors/rowset_reads.h"
#include "model/dataset_util.h"

namespace {

// The forward-only path: RSSize rows of the client's cursor.
errcode_t FetchForward(PSCCL s, PRSET pRowSet) {
  errcode_t rc = scs_p_FetchRows(s, s->hCursor, uns32(s->RSSize), pRowSet->pDataset);
  if (rc != ER_SUCCESS) return rc;
  const sgn32 n = std::min(pRowSet->pDataset->nRows, s->RSSize);
  for (sgn32 i = 0; i < n; i++) pRowSet->rgfRowStatus[i] = SQL_ROW_SUCCESS;
  return ER_SUCCESS;
}

errcode_t ExtendedFetch(handle_t hCursor, PRSET* ppRowSet, sgn32 irow, uns32* pcrow, sgn32* pRsltSetSize,
                        sgn32 lfFetchType, bool bOriented) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc || !ppRowSet || !pcrow || !pRsltSetSize) return ER_INVALID_ARGUMENT;
  PSCCL s = &pc->st_sccl;
  if (!s->pDrv) return ER_GENERAL_ERROR;
  if (!(s->f_state & SCCL_THROUGH_ENGINE) && s->CursType != SQL_CURSOR_FORWARD_ONLY &&
      !(s->CursType == SQL_CURSOR_STATIC && s->ConcType == SQL_CONCUR_READ_ONLY))
    return ER_INVALID_CRSTATE;
  s->cRowsProcessed = SCCL_ROWS_UNCOUNTED;
  *pcrow = 0;
  *ppRowSet = nullptr;
  // The engines negate the client's row: the one value without a negation
  // names a row before any start as well as its neighbour does.
  if (irow == INT32_MIN) irow = -INT32_MAX;
  PRSET rs = nullptr;
  errcode_t rc = RS_Create(&rs, s->RSSize);
  if (rc != ER_SUCCESS) return rc;
  const uns16 ft = uns16(lfFetchType);
  const bool aggregate = s->SelectRqstFlags & SCR_F_AGGREGATE;
  switch (s->CursType) {
    case SQL_CURSOR_KEYSET_DRIVEN:
      if (!aggregate) {
        if (s->KSSize < 1)
          rc = scs_p_ExtendedFetch_KSD(s, rs, irow);
        else if (!bOriented || ft == 0)
          rc = ER_DRV_NOT_CAPABLE;
        else
          rc = scs_p_ExtendedFetch_Mixed(s, irow, ft, rs);
        break;
      }
      [[fallthrough]];
    case SQL_CURSOR_DYNAMIC:
      if (!bOriented || ft == 0)
        rc = ER_DRV_NOT_CAPABLE;
      else if (!aggregate)
        rc = scs_p_ExtendedFetch_Dynamic(s, irow, ft, rs);
      else
        rc = FetchForward(s, rs);
      break;
    case SQL_CURSOR_FORWARD_ONLY:
      rc = FetchForward(s, rs);
      break;
    case SQL_CURSOR_STATIC:
      rc = scs_p_ExtendedFetch_Static(s, rs, irow);
      break;
    default:
      rc = ER_DRV_NOT_CAPABLE;
      break;
  }
  if (rc != ER_SUCCESS) {
    RS_Destroy(&rs);
    GetAuxCursorErrors(s);
    return rc;
  }
  *pRsltSetSize = s->RsltSetSize;
  *pcrow = uns32(std::max<sgn32>(rs->pDataset ? rs->pDataset->nRows : 0, 0));
  if (!s->bRetrieveData && rs->pDataset) Dataset_Done(rs->pDataset);
  *ppRowSet = rs;
  if (*pcrow == 0) return ER_NO_DATA_FOUND;
  SC_RowPositionSet(s, 1);
  return ER_SUCCESS;
}

}  // namespace

errcode_t SCs_ExtendedFetch2(handle_t hCursor, PRSET* ppRowSet, sgn32 irow, uns32* pcrow, sgn32* pRsltSetSize,
                             sgn32 lfFetchType) {
  return ExtendedFetch(hCursor, ppRowSet, irow, pcrow, pRsltSetSize, lfFetchType, true);
}

errcode_t SCs_ExtendedFetch(handle_t hCursor, PRSET* ppRowSet, sgn32 irow, uns32* pcrow,
                            sgn32* pRsltSetSize) {
  return ExtendedFetch(hCursor, ppRowSet, irow, pcrow, pRsltSetSize, 0, false);
}

void scs_FetchOpsInstall(drv_ops* ops) {
  if (!ops) return;
  ops->xFetch = SCs_ExtendedFetch;
  ops->xFetch2 = SCs_ExtendedFetch2;
}
