// Deleted-row tags (deleted_rows.h): the keys of a rowset read again on the
// second auxiliary cursor, and an empty row with status SQL_ROW_DELETED put
// where a key has gone. Called by the keyset-driven engine, the old values'
// read and the positioned operations.
#include "cursors/deleted_rows.h"

#include <algorithm>

#include "cursors/cursor_state.h"
#include "cursors/engine_diagnostics.h"
#include "cursors/keyset.h"
#include "cursors/rowset_reads.h"
#include "model/dataset_util.h"

errcode_t scs_p_DeletedRowsTag(PSCCL s, Dataset* pRSDataset, Dataset* pKeyVals, positn_t rowsetOffset,
                               positn_t keysetOffset, uns16* rgfRowStatus) {
  if (!s || !pRSDataset || !pKeyVals) return ER_GENERAL_ERROR;
  const sgn32 w0 = rowsetOffset - keysetOffset;
  if (w0 < 0 || w0 >= pKeyVals->nRows) return ER_SUCCESS;
  Dataset* reread = nullptr;
  // Keys cut short by a driver error would tag live rows as deleted.
  ErrorQ saved;
  scs_p_DiagSave(s->hSCCurs2, &saved);
  errcode_t rc = KS_RowSetGetKeys(s, pKeyVals, uns32(w0), &reread);
  rc = scs_p_DiagCheck(s->hSCCurs2, &saved, rc);
  // The second auxiliary cursor now holds the key re-read.
  s->f_stateAux2 = uns16(s->f_stateAux2 & ~SCCL_AUX2_OPT_VALUES);
  if (rc != ER_SUCCESS) {
    scs_p_DatasetFree(&reread);
    return rc;
  }
  const sgn32 n = std::min<sgn32>(s->RSSize, pKeyVals->nRows - w0);
  rc = scs_p_RowsReserve(pRSDataset, uns32(std::max(n, pRSDataset->nRows)));
  const sgn32 have = reread ? reread->nRows : 0;
  for (sgn32 i = 0, j = 0; rc == ER_SUCCESS && i < n; i++) {
    int match = 0;
    if (j < have && Dataset_CompareRows(pKeyVals, uns32(w0 + i), reread, uns32(j), &match) != ER_SUCCESS)
      break;
    if (match) {
      j++;
      continue;
    }
    if (pRSDataset->nRows >= pRSDataset->allocRows &&
        scs_p_RowsReserve(pRSDataset, uns32(pRSDataset->nRows + 1)) != ER_SUCCESS)
      break;
    if (Dataset_EmptyRowInsert(pRSDataset, uns32(i)) != ER_SUCCESS) break;
    if (rgfRowStatus) rgfRowStatus[rowsetOffset + i] = SQL_ROW_DELETED;
  }
  scs_p_DatasetFree(&reread);
  return rc;
}
