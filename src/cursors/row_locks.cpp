// Row locks of lock concurrency where the data source locks by update
// (row_locks.h): each live key row of the range updated to itself by a keyed
// UPDATE on the first auxiliary cursor, walking a spilled keyset window by
// window. Called by the keyset-driven, static and dynamic engines.
#include "cursors/row_locks.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "cursors/cursor_state.h"
#include "cursors/ds_cache.h"
#include "cursors/inner.h"
#include "cursors/key_params.h"
#include "cursors/keyset_store.h"
#include "cursors/rowset_reads.h"
#include "model/drv_param_codes.h"
#include "util/log.h"

errcode_t scs_p_LockRows(PSCCL s, uns32 iStartRow, uns32 nRows) {
  KeySet* ks = s ? s->pKeySet : nullptr;
  if (!ks || !ks->pDataset) return ER_GENERAL_ERROR;
  Dataset* keys = ks->pDataset;
  // A keyset in the cache files is walked window by window: every row asked
  // for is locked, not only those of the window loaded now.
  const bool spilled = s->CursType != SQL_CURSOR_DYNAMIC && ks->KSC.fState == DSC_SPILLED;
  const sgn32 winStart = s->CursType == SQL_CURSOR_DYNAMIC ? 0 : std::max<sgn32>(ks->Position, 0);
  const int64_t held = spilled ? std::max<sgn32>(s->RsltSetSize, 0) : int64_t(winStart) + keys->nRows;
  if (nRows == 0 || held <= 0) return ER_SUCCESS;
  const int64_t last = std::min<int64_t>(int64_t(iStartRow) + nRows - 1, held - 1);
  std::vector<sgn32> rows;
  for (int64_t r = std::max<int64_t>(iStartRow, spilled ? 0 : winStart); r <= last; r++) {
    const uns16 st = ks->rgfRowStatus ? ks->rgfRowStatus[r] : SQL_ROW_SUCCESS;
    if (st == SQL_ROW_SUCCESS || st == SQL_ROW_UPDATED) rows.push_back(sgn32(r));
  }
  if (rows.empty()) return ER_SUCCESS;
  alist_t* kc = ks->pLS_KeyCols;
  alist_t* tables = s->pLS_RefdTables;
  if (!kc || kc->cUsed == 0 || !tables || tables->cUsed == 0) return ER_GENERAL_ERROR;
  errcode_t rc = ER_SUCCESS;
  if (s->bNeedBind) rc = KeyBindDescsSet(s, 2, 0);
  if (rc != ER_SUCCESS) return rc;
  const auto* t = static_cast<const TableDesc*>(alist_At(tables, 0));
  std::string sql = "UPDATE ";
  if (t->pszOwner && *t->pszOwner) sql += std::string(t->pszOwner) + ".";
  sql += t->pszName ? t->pszName : "";
  std::string set, where;
  for (unsigned i = 0; i < kc->cUsed; i++) {
    const auto* k = static_cast<const SCColDesc*>(alist_At(kc, i));
    set += (i ? ", " : "") + std::string(k->col_name) + " = ?";
    where += (i ? " AND " : "") + std::string(k->col_name) + " = ?";
  }
  sql += " SET " + set + " WHERE " + where;
  rc = SCs_Inner(s->pDrv).prepare(s->hSCCurs, sql.data());
  if (rc == ER_SUCCESS && s->bNeedBind) rc = BindDescsSend(s, s->hSCCurs);
  size_t locked = 0;
  for (size_t i = 0; rc == ER_SUCCESS && i < rows.size(); i++) {
    if (spilled && (ks->Position < 0 || rows[i] < ks->Position || rows[i] >= ks->Position + keys->nRows)) {
      rc = DSC_SyncWindowPos(&ks->KSC, rows[i], 1, &ks->Position, keys);
      if (rc != ER_SUCCESS) break;
    }
    const sgn32 at = rows[i] - (spilled ? ks->Position : winStart);
    Dataset* params = nullptr;
    rc = KS_KeyParamDsetBld(keys, uns32(at), 2, 1, &params, s->bHasParamOp, 0, 0, nullptr, nullptr);
    if (rc != ER_SUCCESS) {
      scs_p_DatasetFree(&params);
      break;
    }
    rc = SCs_Inner(s->pDrv).parameters(s->hSCCurs, params);
    if (rc == ER_SUCCESS) rc = SCs_Inner(s->pDrv).execute(s->hSCCurs);
    sgn32 n = 0;
    uns16 len = 0;
    if (rc == ER_SUCCESS)
      rc = SCs_Inner(s->pDrv).getDrvParameter(s->hSCCurs, DRVP_STMT_ROW_COUNT, &n, sizeof n, &len);
    if (rc != ER_SUCCESS || n <= 0) break;
    locked++;
  }
  if (locked < rows.size()) {
    logit(LOG_ERR, __FILE__, __LINE__, "scs_p_LockRows: Couldn't acquire row lock(s).");
    return ER_ROW_ERROR;
  }
  return rc;
}
