// The scrollable fetches of the cursor engine (fetch_engines.h): the dispatch
// by cursor type, the keyset-driven engine that re-reads each rowset by its
// keys on the client's own cursor, the static engine that copies from the
// snapshot, deleted-row tagging, the old values of optimistic concurrency on
// the second auxiliary cursor, and row locks by a self-assigning UPDATE.
#include "cursors/fetch_engines.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cursors/analysis.h"
#include "cursors/cursors.h"
#include "cursors/discovery.h"
#include "cursors/ds_cache.h"
#include "cursors/inner.h"
#include "cursors/keyset.h"
#include "cursors/snapshot.h"
#include "model/dataset_util.h"
#include "model/drv_param_codes.h"
#include "util/log.h"

namespace {

constexpr uns16 kNoRowsetReread = SCR_F_JOIN | SCR_F_GROUP_BY | SCR_F_UNION | SCR_F_AGGREGATE;
constexpr char kForUpdate[] = " FOR UPDATE";

Dataset* DatasetNew() {
  Dataset* d = static_cast<Dataset*>(calloc(1, sizeof(Dataset)));
  if (d) Dataset_Init(d, 0);
  return d;
}

bool RereadsRows(PSCCL s) { return !(s->SelectRqstFlags & kNoRowsetReread); }

// The key columns' bind descriptors `copies` times, then the client's when asked.
errcode_t KeyBindDescsSet(PSCCL s, unsigned copies, int bAppendClnt) {
  free(s->pBindDesc);
  s->pBindDesc = nullptr;
  s->nBindDesc = 0;
  alist_t* keys = s->pKeySet ? s->pKeySet->pLS_KeyCols : nullptr;
  if (!keys) return ER_GENERAL_ERROR;
  auto* descs = static_cast<const SCColDesc*>(keys->cUsed ? alist_At(keys, 0) : nullptr);
  // One copy made, then repeated in place: a rowset's hundreds of groups
  // cost one allocation, not one each.
  errcode_t rc = scs_p_BindDescsAdd(s, descs, keys->cUsed, 0);
  const size_t n = s->nBindDesc, total = n * copies;
  if (rc == ER_SUCCESS && copies > 1 && n > 0) {
    if (total > 0xFFFF) return ER_GENERAL_ERROR;
    Bindesc* all = static_cast<Bindesc*>(realloc(s->pBindDesc, total * sizeof(Bindesc)));
    if (!all) return ER_NO_MEMORY;
    for (size_t i = 1; i < copies; i++) memcpy(all + i * n, all, n * sizeof(Bindesc));
    s->pBindDesc = all;
    s->nBindDesc = uns16(total);
  }
  return rc == ER_SUCCESS && bAppendClnt ? scs_p_BindDescsAdd(s, nullptr, 0, 1) : rc;
}

errcode_t BindDescsSend(PSCCL s, handle_t h) {
  return SCs_Inner(s->pDrv).bind(h, s->nBindDesc, s->pBindDesc);
}

// The 0-based row of an absolute fetch over a result of RsltSetSize rows.
errcode_t RowFromAbsolute(PSCCL s, sgn32 irow, sgn32* pRow) {
  sgn32 row;
  if (irow > 0) {
    row = irow - 1;
  } else if (irow < 0) {
    row = s->RsltSetSize + irow;
    if (row < 0) {
      SC_RowPositionSet(s, 0);
      return ER_SCRL_RSLTSET_START;
    }
  } else {
    row = std::max<sgn32>(0, s->RsltSetSize - s->RSSize);
  }
  if (row >= s->RsltSetSize) {
    SC_RowPositionSet(s, RSP_AFTER_END);
    return ER_SCRL_RSLTSET_END;
  }
  *pRow = row;
  return ER_SUCCESS;
}

// Copies keyset statuses into the rowset's; errors (and, with bUpdatesOnce,
// updates) are reported once.
void StatusesFromKeyset(uns16* rgfKeys, sgn32 row, sgn32 n, PRSET pRowSet, bool bUpdatesOnce) {
  for (sgn32 i = 0; i < n; i++) {
    uns16& k = rgfKeys[row + i];
    pRowSet->rgfRowStatus[i] = k;
    if (k == SQL_ROW_ERROR || (bUpdatesOnce && k == SQL_ROW_UPDATED)) k = SQL_ROW_SUCCESS;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Shared rowset reads.

void scs_p_DiagSave(handle_t hCurs, ErrorQ* pSaved) {
  *pSaved = ErrorQ{};
  _Cursor* pc = ODBC_CursorRec(hCurs);
  if (pc) MoveErrorMsgQ(pSaved, &pc->pendingError);
}

errcode_t scs_p_QueuedError(const ErrorQ* pQueue) {
  for (const ErrorMsg* m = pQueue->pFirstMsg; m; m = m->pNextMsg) {
    if (m->szSQLSTATE && strncmp(m->szSQLSTATE, "01", 2) == 0) continue;  // a warning
    const errcode_t e = m->szSQLSTATE ? ErrorFromSQLState(m->szSQLSTATE) : ER_SUCCESS;
    return e != ER_SUCCESS ? e : ER_GENERAL_ERROR;
  }
  return ER_SUCCESS;
}

errcode_t scs_p_DiagCheck(handle_t hCurs, ErrorQ* pSaved, errcode_t rc) {
  _Cursor* pc = ODBC_CursorRec(hCurs);
  if (!pc) {
    FlushErrorMsgQ(pSaved);
    return rc;
  }
  ErrorQ* q = &pc->pendingError;
  if (!q->pFirstMsg) {
    MoveErrorMsgQ(q, pSaved);
    return rc;
  }
  const errcode_t found = scs_p_QueuedError(q);
  if (pSaved->bNoFlush) {
    // The queue was stacking: the new messages follow the old ones.
    AppendAuxCursorErrors(pSaved, q);
    MoveErrorMsgQ(q, pSaved);
  } else {
    FlushErrorMsgQ(pSaved);
  }
  return rc != ER_SUCCESS ? rc : found;
}

errcode_t scs_p_RowsReserve(Dataset* pDS, uns32 nRows) {
  if (!pDS) return ER_GENERAL_ERROR;
  if (pDS->allocRows >= sgn32(nRows) || pDS->nCols == 0 || !pDS->col) return ER_SUCCESS;
  const sgn32 have = std::max<sgn32>(pDS->nRows, 0);
  const sgn32 extra = sgn32(nRows) - have;
  Dataset* spare = nullptr;
  errcode_t rc = Dataset_Clone(&spare, pDS, uns32(extra));
  if (rc != ER_SUCCESS) return rc;
  spare->nRows = extra;  // NULL rows, appended and then taken back off
  rc = Dataset_Grow(pDS, spare);
  if (rc == ER_SUCCESS) pDS->nRows = have;
  scs_p_DatasetFree(&spare);
  return rc;
}

errcode_t scs_p_FetchRows(PSCCL s, handle_t hCurs, uns32 nRows, Dataset* pRows) {
  uns32 got = 0;
  errcode_t rc = ER_SUCCESS;
  while (got < nRows) {
    Dataset batch{};
    Dataset* into = pRows->nRows > 0 ? &batch : pRows;
    if (into == pRows) Dataset_Done(pRows);
    rc = SCs_Inner(s->pDrv).fetch(hCurs, uns16(std::min<uns32>(nRows - got, 0xFFFF)), into);
    const sgn32 k = rc == ER_SUCCESS ? into->nRows : 0;
    if (rc == ER_SUCCESS && into == &batch && k > 0) rc = Dataset_Grow(pRows, &batch);
    Dataset_Done(&batch);
    if (rc != ER_SUCCESS || k <= 0) break;
    got += uns32(k);
  }
  return rc;
}

errcode_t scs_p_RowSetKeyedRead(PSCCL s, handle_t hCurs, Dataset* pKeys, uns32 iKeyRow, sgn32 cSelectsReqd,
                                sgn32 cMaxRowsPerSelect, sgn32 cRowsInLastSelect, Dataset* pParameters,
                                Dataset* pRows, Dataset** ppLastParams) {
  if (!s || !pKeys || !pRows || !s->pKeySet || cMaxRowsPerSelect <= 0) return ER_GENERAL_ERROR;
  errcode_t rc = ER_SUCCESS;
  for (sgn32 k = 0; k < cSelectsReqd && rc == ER_SUCCESS; k++) {
    const uns32 start = iKeyRow + uns32(k) * uns32(cMaxRowsPerSelect);
    if (start >= uns32(std::max<sgn32>(pKeys->nRows, 0))) break;  // no keys left for this SELECT
    Dataset* params = nullptr;
    if (pParameters && cSelectsReqd == 1) {
      rc = Dataset_Copy(&params, pParameters);
    } else {
      const sgn32 match = k + 1 == cSelectsReqd ? cRowsInLastSelect : cMaxRowsPerSelect;
      rc = KS_KeyParamDsetBld(pKeys, start, uns32(cMaxRowsPerSelect), uns32(match), &params, s->bHasParamOp,
                              0, 0, nullptr, nullptr);
      if (rc == ER_SUCCESS && (s->f_state & SCCL_HAS_PARAMS) && s->parameters) {
        Dataset* all = nullptr;
        rc = Dataset_Copy(&all, s->parameters);
        if (rc == ER_SUCCESS) rc = Dataset_Prepend(all, params);
        scs_p_DatasetFree(&params);
        params = all;
      }
    }
    if (rc == ER_SUCCESS && ppLastParams) {
      scs_p_DatasetFree(ppLastParams);
      rc = Dataset_Copy(ppLastParams, params);
    }
    if (rc != ER_SUCCESS) {
      scs_p_DatasetFree(&params);
      break;
    }
    rc = SCs_Inner(s->pDrv).parameters(hCurs, params);  // the backend takes the dataset over
    if (rc == ER_SUCCESS && k == 0 && s->bNeedBind) {
      rc = KeyBindDescsSet(s, unsigned(cMaxRowsPerSelect), 1);
      if (rc == ER_SUCCESS) rc = BindDescsSend(s, hCurs);
    }
    if (rc == ER_SUCCESS) rc = SCs_Inner(s->pDrv).execute(hCurs);
    if (rc == ER_SUCCESS) rc = scs_p_FetchRows(s, hCurs, uns32(cMaxRowsPerSelect), pRows);
  }
  return rc;
}

errcode_t scs_p_RowSetSelectBuild(PSCCL s, sgn32 cRowsPerSelect, int bFromStatement) {
  if (!s || !s->pKeySet) return ER_GENERAL_ERROR;
  // Until the client's cursor holds the new text, whatever Rqst holds must be
  // rebuilt from the statement on the next read.
  s->f_state |= SCCL_ROWSET_SELECT | SCCL_RSSIZE_SET;
  s->f_stateAux2 = uns16(s->f_stateAux2 & ~SCCL_AUX2_OPT_VALUES);
  errcode_t rc;
  if (bFromStatement) {
    if (!s->pszSQL) return ER_GENERAL_ERROR;
    rc = scs_p_AnalyseLogged(&s->Rqst, s->pszSQL, 1, s->bQualName);
    if (rc != ER_SUCCESS) return rc;
    rc = KS_OrderByClauseExtend(&s->Rqst, s);
    if (rc != ER_SUCCESS) return rc;
    s->f_state |= SCCL_ORDER_BY_KEYS;
  }
  const char* from = s->Rqst.translated ? s->Rqst.translated : s->Rqst.original;
  if (!from) return ER_GENERAL_ERROR;
  std::string text(from);
  rc = scs_p_AnalyseLogged(&s->Rqst, text.c_str(), 0, s->bQualName);
  if (rc != ER_SUCCESS) return rc;
  rc = KS_WhereClauseExtend_KSD(&s->Rqst, s->pKeySet, uns32(cRowsPerSelect));
  if (rc != ER_SUCCESS) return rc;
  return s->Rqst.translated ? ER_SUCCESS : ER_GENERAL_ERROR;
}

errcode_t scs_p_RowSetSelectPrepare(PSCCL s, sgn32 cRowsPerSelect, int bFromStatement, size_t* pcbForUpdate) {
  if (pcbForUpdate) *pcbForUpdate = 0;
  errcode_t rc = scs_p_RowSetSelectBuild(s, cRowsPerSelect, bFromStatement);
  if (rc != ER_SUCCESS) return rc;
  if (s->ConcType == SQL_CONCUR_LOCK && !s->bLockByUpdate) {
    const size_t n = strlen(s->Rqst.translated);
    char* t = static_cast<char*>(realloc(s->Rqst.translated, n + sizeof kForUpdate));
    if (!t) return ER_NO_MEMORY;
    memcpy(t + n, kForUpdate, sizeof kForUpdate);
    s->Rqst.translated = t;
    if (pcbForUpdate) *pcbForUpdate = sizeof kForUpdate - 1;
  }
  rc = SCs_Inner(s->pDrv).prepare(s->hCursor, s->Rqst.translated);
  if (rc == ER_SUCCESS) s->f_state = uns16(s->f_state & ~SCCL_RSSIZE_SET);
  return rc;
}

void scs_p_ForUpdateCut(PSCCL s, size_t cbForUpdate) {
  if (!s || !cbForUpdate || !s->Rqst.translated) return;
  const size_t n = strlen(s->Rqst.translated);
  if (n >= cbForUpdate) s->Rqst.translated[n - cbForUpdate] = '\0';
}

errcode_t scs_p_OptConcValsCopy(PSCCL s, Dataset* pRows) {
  if (!s || !pRows) return ER_GENERAL_ERROR;
  Dataset* copy = nullptr;
  errcode_t rc = Dataset_Copy(&copy, pRows);
  if (rc != ER_SUCCESS) return rc;
  scs_p_DatasetFree(&s->pDSOptConcColVals);
  s->pDSOptConcColVals = copy;
  return ER_SUCCESS;
}

sgn32 scs_p_KeysFromRow(PSCCL s, sgn32 row) {
  KeySet* ks = s ? s->pKeySet : nullptr;
  if (!ks || !ks->pDataset) return 0;
  const sgn32 winStart = s->CursType == SQL_CURSOR_DYNAMIC ? 0 : std::max<sgn32>(ks->Position, 0);
  return std::max<sgn32>(0, winStart + ks->pDataset->nRows - row);
}

// ---------------------------------------------------------------------------
// Deleted rows, old values, locks.

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

namespace {

errcode_t OptConcColValsRead(PSCCL s, Dataset* pParameters, sgn32 irow, int cSelectsReqd,
                             int cMaxRowsPerSelect, int cRowsInLastSelect) {
  if (s->pDSOptConcColVals) {
    Dataset_Done(s->pDSOptConcColVals);
  } else if (!(s->pDSOptConcColVals = DatasetNew())) {
    return ER_NO_MEMORY;
  }
  errcode_t rc;
  if (s->CursType == SQL_CURSOR_DYNAMIC || !(s->f_stateAux2 & SCCL_AUX2_OPT_VALUES)) {
    const char* from = s->Rqst.translated ? s->Rqst.translated : s->Rqst.original;
    if (!from) return ER_GENERAL_ERROR;
    std::string text(from);
    rc = scs_p_AllColSelectStmtBld(s, text.c_str(), &s->RqstAux2);
    if (rc == ER_SUCCESS && !s->RqstAux2.translated) rc = ER_GENERAL_ERROR;
    if (rc == ER_SUCCESS) rc = SCs_Inner(s->pDrv).prepare(s->hSCCurs2, s->RqstAux2.translated);
    s->f_stateAux2 = uns16(s->f_stateAux2 & ~(SCCL_AUX2_OPT_VALUES | SCCL_AUX2_KEY_REREAD));
    if (rc != ER_SUCCESS) return rc;
    s->f_stateAux2 |= SCCL_AUX2_OPT_VALUES;
  }
  if (s->CursType == SQL_CURSOR_STATIC) {
    rc = ER_SUCCESS;
    if (pParameters) {
      Dataset* params = nullptr;
      rc = Dataset_Copy(&params, pParameters);
      if (rc == ER_SUCCESS)
        rc = SCs_Inner(s->pDrv).parameters(s->hSCCurs2, params);
      else
        scs_p_DatasetFree(&params);
      if (rc == ER_SUCCESS && s->bNeedBind)
        rc = SCs_Inner(s->pDrv).bind(s->hSCCurs2, s->nParamInfo, s->pParamInfo);
    }
    if (rc == ER_SUCCESS) rc = SCs_Inner(s->pDrv).execute(s->hSCCurs2);
    if (rc != ER_SUCCESS) return rc;
    DSC_Close(&s->OCVC);
    ErrorQ saved;
    scs_p_DiagSave(s->hSCCurs2, &saved);
    rc = DSC_Fill(&s->OCVC, s->pDrv, s->hSCCurs2, s->pDSOptConcColVals, nullptr);
    rc = scs_p_DiagCheck(s->hSCCurs2, &saved, rc);
    if (rc != ER_SUCCESS) {
      logit(LOG_ERR, __FILE__, __LINE__,
            "scs_p_GetOptConcColVals: Could not fill optimistic concurrency values cache");
      return rc;
    }
    s->OCVPosition = s->OCVC.fState == DSC_SPILLED ? SCCL_OCV_NO_WINDOW : 0;
    return ER_SUCCESS;
  }
  KeySet* ks = s->pKeySet;
  if (!ks || !ks->pDataset) return ER_GENERAL_ERROR;
  const sgn32 winStart = s->CursType == SQL_CURSOR_DYNAMIC ? 0 : std::max<sgn32>(ks->Position, 0);
  ErrorQ saved;
  scs_p_DiagSave(s->hSCCurs2, &saved);
  rc = scs_p_RowSetKeyedRead(s, s->hSCCurs2, ks->pDataset, uns32(std::max<sgn32>(irow - winStart, 0)),
                             cSelectsReqd, cMaxRowsPerSelect, cRowsInLastSelect, pParameters,
                             s->pDSOptConcColVals, nullptr);
  rc = scs_p_DiagCheck(s->hSCCurs2, &saved, rc);
  if (rc != ER_SUCCESS) return rc;
  if (s->CursType == SQL_CURSOR_KEYSET_DRIVEN) {
    const sgn32 row = s->RSPosition - 1;
    const sgn32 want = std::min(s->RSSize, scs_p_KeysFromRow(s, row));
    if (s->pDSOptConcColVals->nRows < want)
      rc = scs_p_DeletedRowsTag(s, s->pDSOptConcColVals, ks->pDataset, row, winStart, nullptr);
  }
  return rc;
}

}  // namespace

errcode_t scs_p_GetOptConcColVals(PSCCL s, Dataset* pParameters, sgn32 irow, int cSelectsReqd,
                                  int cMaxRowsPerSelect, int cRowsInLastSelect) {
  errcode_t rc =
      s ? OptConcColValsRead(s, pParameters, irow, cSelectsReqd, cMaxRowsPerSelect, cRowsInLastSelect)
        : ER_GENERAL_ERROR;
  scs_p_DatasetFree(&pParameters);
  return rc;
}

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

// ---------------------------------------------------------------------------
// Engines.

errcode_t scs_p_ExtendedFetch_KSD(PSCCL s, PRSET pRowSet, sgn32 irow) {
  KeySet* ks = s ? s->pKeySet : nullptr;
  if (!ks || !ks->pDataset || !pRowSet || !pRowSet->pDataset) return ER_GENERAL_ERROR;
  sgn32 row = irow;
  errcode_t rc;
  if (s->KSSize <= 0) {
    rc = RowFromAbsolute(s, irow, &row);
    if (rc != ER_SUCCESS) return rc;
  }
  s->RSPosition = row + 1;
  sgn32 cSelects = 0, cLast = 0, cPerSelect = 0;
  rc = scs_p_GetSelectConstraints(s, &cSelects, &cLast, &cPerSelect);
  if (rc != ER_SUCCESS) return rc;
  if (!(s->f_state & SCCL_ROWSET_SELECT) || (s->f_state & SCCL_RSSIZE_SET)) {
    rc = scs_p_RowSetSelectPrepare(s, cPerSelect, s->f_state & SCCL_ROWSET_SELECT, nullptr);
    if (rc != ER_SUCCESS) return rc;
  }
  if (s->KSSize <= 0) {
    rc = DSC_SyncWindowPos(&ks->KSC, row, uns32(s->RSSize), &ks->Position, ks->pDataset);
    if (rc != ER_SUCCESS) return rc;
  }
  const sgn32 winStart = std::max<sgn32>(ks->Position, 0);
  Dataset* lastParams = nullptr;
  Dataset* pRows = pRowSet->pDataset;
  // Only the old values' read takes the last parameter row again.
  const bool oldValues = RereadsRows(s) && s->ConcType == SQL_CONCUR_VALUES &&
                         s->fOptConcValExtent != SCCL_OCV_SELECT_COLS && cSelects == 1;
  rc = scs_p_RowSetKeyedRead(s, s->hCursor, ks->pDataset, uns32(row - winStart), cSelects, cPerSelect, cLast,
                             nullptr, pRows, oldValues ? &lastParams : nullptr);
  if (rc == ER_SUCCESS && s->ConcType != SQL_CONCUR_LOCK) rc = SCs_Inner(s->pDrv).close(s->hCursor);
  const sgn32 keys = scs_p_KeysFromRow(s, row);
  if (rc == ER_SUCCESS && pRows->nRows < std::min(s->RSSize, keys))
    rc = scs_p_DeletedRowsTag(s, pRows, ks->pDataset, row, winStart, ks->rgfRowStatus);
  if (rc == ER_SUCCESS && RereadsRows(s)) {
    if (s->ConcType == SQL_CONCUR_VALUES) {
      if (s->fOptConcValExtent == SCCL_OCV_SELECT_COLS) {
        rc = scs_p_OptConcValsCopy(s, pRows);
      } else {
        rc = scs_p_GetOptConcColVals(s, lastParams, row, cSelects, cPerSelect, cLast);
        lastParams = nullptr;  // taken over
      }
    } else if (s->ConcType == SQL_CONCUR_LOCK && s->bLockByUpdate) {
      rc = scs_p_LockRows(s, uns32(s->RSPosition - 1), uns32(s->RSSize));
    }
  }
  scs_p_DatasetFree(&lastParams);
  if (rc != ER_SUCCESS) return rc;
  const sgn32 n = std::min({s->RSSize, pRows->nRows, keys});
  if (ks->rgfRowStatus) StatusesFromKeyset(ks->rgfRowStatus, row, n, pRowSet, false);
  return ER_SUCCESS;
}

bool scs_p_SnapshotKeepsResult(PSCCL s) {
  return s->Rqst.reqType == EXPR_PROCCALL || s->ConcType == SQL_CONCUR_LOCK;
}

errcode_t scs_p_ExtendedFetch_Static(PSCCL s, PRSET pRowSet, sgn32 irow) {
  if (!s || !s->pSnapShot || !pRowSet) return ER_GENERAL_ERROR;
  errcode_t rc = ER_SUCCESS;
  _Cursor* pc = static_cast<_Cursor*>(s->pParent);
  // A result the client started again without closing replaces the snapshot.
  if ((s->f_state & SCCL_SNAPSHOT_READ) && !scs_p_SnapshotKeepsResult(s) && pc && (pc->flags & CURSF_OPEN)) {
    s->f_state = uns16(s->f_state & ~SCCL_SNAPSHOT_READ);
    SS_Close(s->pSnapShot);
  }
  if (!(s->f_state & SCCL_SNAPSHOT_READ)) {
    ErrorQ saved;
    scs_p_DiagSave(s->hCursor, &saved);
    rc = SS_GetRsltSet(s->pSnapShot, s->pDrv, s->hCursor, &s->RsltSetSize);
    rc = scs_p_DiagCheck(s->hCursor, &saved, rc);
    if (rc == ER_SUCCESS && RereadsRows(s)) {
      if (s->ConcType == SQL_CONCUR_VALUES && s->fOptConcValExtent != SCCL_OCV_SELECT_COLS) {
        Dataset* params = nullptr;
        if ((s->f_state & SCCL_HAS_PARAMS) && s->parameters) rc = Dataset_Copy(&params, s->parameters);
        if (rc == ER_SUCCESS) rc = scs_p_GetOptConcColVals(s, params, 0, 0, 0, 0);
      } else if (s->ConcType == SQL_CONCUR_LOCK && s->bLockByUpdate && s->RsltSetSize > 0) {
        rc = scs_p_LockRows(s, 0, uns32(s->RsltSetSize));
      }
    }
    if (!scs_p_SnapshotKeepsResult(s)) {
      errcode_t rcClose = SCs_Inner(s->pDrv).close(s->hCursor);
      if (rc == ER_SUCCESS) rc = rcClose;
    }
    if (rc != ER_SUCCESS) {
      // Nothing half-read is served: the next fetch reads again (and fails on a closed cursor).
      SS_Close(s->pSnapShot);
      return rc;
    }
    s->f_state |= SCCL_SNAPSHOT_READ;
  }
  sgn32 row = 0;
  rc = RowFromAbsolute(s, irow, &row);
  if (rc != ER_SUCCESS) return rc;
  s->RSPosition = row + 1;
  KeySet* ks = s->pKeySet;
  const bool keyed = ks && ks->pDataset && (ks->KSC.fState == DSC_SPILLED || ks->pDataset->nRows > 0);
  if (keyed) {
    rc = DSC_SyncWindowPos(&ks->KSC, row, uns32(s->RSSize), &ks->Position, ks->pDataset);
    if (rc != ER_SUCCESS) return rc;
  }
  if (s->ConcType == SQL_CONCUR_VALUES && s->OCVC.fState == DSC_SPILLED && s->pDSOptConcColVals) {
    rc = DSC_SyncWindowPos(&s->OCVC, row, uns32(s->RSSize), &s->OCVPosition, s->pDSOptConcColVals);
    if (rc != ER_SUCCESS) return rc;
  }
  rc = SS_Fetch(s->pSnapShot, row, uns32(s->RSSize), &pRowSet->pDataset);
  if (rc != ER_SUCCESS) return rc;
  const sgn32 n = std::min(pRowSet->pDataset->nRows, s->RsltSetSize - row);
  // The keys were read by a statement of their own, before the snapshot's: rows
  // added in between have no key, and no status of theirs.
  sgn32 withKeys = 0;
  if (keyed && ks->rgfRowStatus)
    withKeys = ks->KSC.fState == DSC_SPILLED ? n : std::clamp<sgn32>(ks->pDataset->nRows - row, 0, n);
  StatusesFromKeyset(ks ? ks->rgfRowStatus : nullptr, row, withKeys, pRowSet, true);
  for (sgn32 i = withKeys; i < n; i++) pRowSet->rgfRowStatus[i] = SQL_ROW_SUCCESS;
  if (s->ConcType == SQL_CONCUR_VALUES && s->fOptConcValExtent == SCCL_OCV_SELECT_COLS)
    return scs_p_OptConcValsCopy(s, pRowSet->pDataset);
  return ER_SUCCESS;
}

// ---------------------------------------------------------------------------
// Dispatch.

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
