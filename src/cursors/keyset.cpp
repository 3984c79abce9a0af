// Keyset building (keyset.h): the whole keyset of a keyset-driven cursor read
// at execute with the key SELECT, and the key re-read of a rowset. Called by
// the statement slots at execute and by the deleted-row tags.
#include "cursors/keyset.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "cursors/cursor_state.h"
#include "cursors/discovery.h"
#include "cursors/ds_cache.h"
#include "cursors/engine_diagnostics.h"
#include "cursors/inner.h"
#include "cursors/key_params.h"
#include "cursors/statement_rewrite.h"
#include "model/dataset_util.h"
#include "util/fault.h"
#include "util/log.h"

namespace {

SCColDesc* KeyAt(alist_t* l, unsigned i) { return static_cast<SCColDesc*>(alist_At(l, i)); }

bool HasKeys(const KeySet* ks) { return ks && ks->pLS_KeyCols && ks->pLS_KeyCols->cUsed > 0; }

// The first row whose key holds a NULL, or -1. A NULL key matches no keyed
// re-read: its row would look deleted.
sgn32 NullKeyRow(const Dataset* ds) {
  for (sgn32 r = 0; r < ds->nRows; r++)
    for (uns16 c = 0; c < ds->nCols; c++)
      if (ds->col[c].indicators[r] == IND_NULL) return r;
  return -1;
}

// The kept client parameters, sent again for a statement of the engine's own.
errcode_t SendClientParams(PSCCL me, handle_t h) {
  if (!(me->f_state & SCCL_HAS_PARAMS) || !me->parameters) return ER_SUCCESS;
  Dataset* copy = nullptr;
  errcode_t rc = Dataset_Copy(&copy, me->parameters);
  return rc == ER_SUCCESS ? SCs_Inner(me->pDrv).parameters(h, copy) : rc;
}

}  // namespace

errcode_t KS_GetKeySet_KSD(PSCCL psccl) {
  if (!psccl || !psccl->pDrv || !HasKeys(psccl->pKeySet)) return ER_GENERAL_ERROR;
  KeySet* ks = psccl->pKeySet;
  drv_ops* ops = &SCs_Inner(psccl->pDrv);
  errcode_t rc;
  if (psccl->f_state & SCCL_ROWSET_SELECT) {
    psccl->f_state = uns16(psccl->f_state & ~(SCCL_ORDER_BY_KEYS | SCCL_ROWSET_SELECT));
    if ((rc = scs_p_AnalyseLogged(&psccl->Rqst, psccl->pszSQL, 1)) != ER_SUCCESS) return rc;
  }
  if (!(psccl->f_state & SCCL_ORDER_BY_KEYS)) {
    if ((rc = KS_OrderByClauseExtend(&psccl->Rqst, psccl)) != ER_SUCCESS) return rc;
    psccl->f_state |= SCCL_ORDER_BY_KEYS;
  }
  const char* extended = psccl->Rqst.translated;
  if ((rc = scs_p_AnalyseLogged(&psccl->RqstAux, extended, 0)) != ER_SUCCESS) return rc;
  if ((rc = KS_KeySelectStmtBld_KSD(&psccl->RqstAux, ks)) != ER_SUCCESS) return rc;
  if ((rc = scs_p_AuxCursorOpen(psccl)) != ER_SUCCESS) return rc;
  rc = ops->prepare(psccl->hSCCurs, psccl->RqstAux.translated);
  if (rc != ER_SUCCESS) {
    MoveAuxErrors(psccl, psccl->hSCCurs);
    return rc;
  }
  if ((rc = SendClientParams(psccl, psccl->hSCCurs)) != ER_SUCCESS) return rc;
  if (psccl->bNeedBind &&
      (rc = ops->bind(psccl->hSCCurs, psccl->nParamInfo, psccl->pParamInfo)) != ER_SUCCESS)
    return rc;
  if ((rc = ops->execute(psccl->hSCCurs)) != ER_SUCCESS) return rc;

  ks_FreeKeyVals(ks);
  FlushQueue(psccl->hSCCurs);
  sgn32 nKeys = 0;
  rc = DSC_Fill(&ks->KSC, psccl->pDrv, psccl->hSCCurs, ks->pDataset, &nKeys);
  if (rc == ER_SUCCESS) rc = FetchErrorQueued(psccl->hSCCurs);
  if (rc != ER_SUCCESS) {
    logit(LOG_ERR, __FILE__, __LINE__, "KS_GetKeySet_KSD: Could not fill dataset cache");
    ks_FreeKeyVals(ks);
    psccl->RsltSetSize = SCCL_RSLT_SIZE_UNKNOWN;
    return rc;
  }
  // The result is read whole: the data source may let go of it.
  ops->close(psccl->hSCCurs);
  // Rows without a key value cannot be found again (a view's rowid, a NULL in
  // a unique index): they are refused, not shown as deleted later.
  const bool spilled = ks->KSC.fState == DSC_SPILLED;
  if (spilled && (rc = dsc_Fetch(&ks->KSC, ks->pDataset, 0)) != ER_SUCCESS) {
    ks_FreeKeyVals(ks);
    psccl->RsltSetSize = SCCL_RSLT_SIZE_UNKNOWN;
    return rc;
  }
  if (sgn32 r = NullKeyRow(ks->pDataset); r >= 0) {
    logit(LOG_ERR, __FILE__, __LINE__, "KS_GetKeySet_KSD: Row %d has a NULL key value", int(r) + 1);
    ks_FreeKeyVals(ks);
    psccl->RsltSetSize = SCCL_RSLT_SIZE_UNKNOWN;
    if (psccl->pParent) SetVYRErrorMsg(&static_cast<_Cursor*>(psccl->pParent)->pendingError, ER_NO_KEYS);
    return ER_NO_KEYS;
  }
  if (spilled) Dataset_Done(ks->pDataset);
  psccl->RsltSetSize = nKeys;
  ks->Position = spilled ? DSC_NO_WINDOW : 0;
  ks->rgfRowStatus =
      static_cast<uns16*>(vyr_fault_alloc() ? nullptr : calloc(nKeys > 0 ? size_t(nKeys) : 1, sizeof(uns16)));
  if (!ks->rgfRowStatus) {
    ks_FreeKeyVals(ks);
    psccl->RsltSetSize = SCCL_RSLT_SIZE_UNKNOWN;
    return ER_NO_MEMORY;
  }
  return ER_SUCCESS;
}

errcode_t KS_RowSetGetKeys(PSCCL psccl, Dataset* pDSKeys, uns32 offset, Dataset** ppKeyVals) {
  if (!psccl || !psccl->pDrv || !pDSKeys || !ppKeyVals || !HasKeys(psccl->pKeySet)) return ER_GENERAL_ERROR;
  *ppKeyVals = nullptr;
  KeySet* ks = psccl->pKeySet;
  drv_ops* ops = &SCs_Inner(psccl->pDrv);
  sgn32 nSelects = 0, lastRows = 0, perSelect = 0;
  errcode_t rc = scs_p_GetSelectConstraints(psccl, &nSelects, &lastRows, &perSelect);
  if (rc != ER_SUCCESS) return rc;
  if (perSelect <= 0 || nSelects <= 0) return ER_GENERAL_ERROR;
  if (!(psccl->f_stateAux2 & SCCL_AUX2_KEY_REREAD) || psccl->CursType == SQL_CURSOR_DYNAMIC) {
    psccl->f_stateAux2 = uns16(psccl->f_stateAux2 & ~SCCL_AUX2_KEY_REREAD);
    SC_Request* r = &psccl->RqstAux2;
    if ((rc = scs_p_AnalyseLogged(r, psccl->pszSQL, 0)) != ER_SUCCESS) return rc;
    if ((rc = KS_OrderByClauseExtend(r, psccl)) != ER_SUCCESS) return rc;
    if ((rc = ks_RqstReanalyse(psccl, r)) != ER_SUCCESS) return rc;
    if ((rc = KS_KeySelectStmtBld_KSD(r, ks)) != ER_SUCCESS) return rc;
    if ((rc = ks_RqstReanalyse(psccl, r)) != ER_SUCCESS) return rc;
    if ((rc = KS_WhereClauseExtend_KSD(r, ks, uns32(perSelect))) != ER_SUCCESS) return rc;
    if (!psccl->hSCCurs2 || !ODBC_CursorRec(psccl->hSCCurs2)) {
      if ((rc = ops->cursor(psccl->hConnect, &psccl->hSCCurs2)) != ER_SUCCESS) return rc;
    }
    if ((rc = ops->prepare(psccl->hSCCurs2, r->translated)) != ER_SUCCESS) return rc;
    psccl->f_stateAux2 |= SCCL_AUX2_KEY_REREAD;
  }
  Dataset* result = static_cast<Dataset*>(vyr_fault_alloc() ? nullptr : calloc(1, sizeof(Dataset)));
  if (!result) return ER_NO_MEMORY;
  auto fail = [&](errcode_t e) {
    scs_p_DatasetFree(&result);
    return e;
  };
  const uns16 nKeyCols = uns16(ks->pLS_KeyCols->cUsed);
  for (sgn32 s = 0; s < nSelects; s++) {
    const uns32 start = offset + uns32(s) * uns32(perSelect);
    if (start >= uns32(std::max(pDSKeys->nRows, 0))) break;
    const uns32 match = uns32(s == nSelects - 1 ? lastRows : perSelect);
    Dataset* keyRow = nullptr;
    rc = KS_KeyParamDsetBld(pDSKeys, start, uns32(perSelect), match, &keyRow, psccl->bHasParamOp, 0, 0,
                            nullptr, nullptr);
    if (rc != ER_SUCCESS) return fail(rc);
    if ((psccl->f_state & SCCL_HAS_PARAMS) && psccl->parameters && psccl->parameters->nRows > 0) {
      // The client's parameters follow the keys.
      std::vector<CellRef> cells;
      for (uns16 c = 0; c < keyRow->nCols; c++) cells.push_back({keyRow, 0, c});
      for (uns16 c = 0; c < psccl->parameters->nCols; c++) cells.push_back({psccl->parameters, 0, c});
      Dataset* both = nullptr;
      rc = ParamRowBuild(cells, 0, 0, 0, &both);
      scs_p_DatasetFree(&keyRow);
      if (rc != ER_SUCCESS) return fail(rc);
      keyRow = both;
    }
    if ((rc = ops->parameters(psccl->hSCCurs2, keyRow)) != ER_SUCCESS) return fail(rc);
    if (psccl->bNeedBind) {
      free(psccl->pBindDesc);
      psccl->pBindDesc = nullptr;
      psccl->nBindDesc = 0;
      const SCColDesc* keys = KeyAt(ks->pLS_KeyCols, 0);
      for (sgn32 g = 0; g < perSelect && rc == ER_SUCCESS; g++)
        rc = scs_p_BindDescsAdd(psccl, keys, nKeyCols, g == perSelect - 1);
      if (rc == ER_SUCCESS) rc = ops->bind(psccl->hSCCurs2, psccl->nBindDesc, psccl->pBindDesc);
      if (rc != ER_SUCCESS) return fail(rc);
    }
    if ((rc = ops->execute(psccl->hSCCurs2)) != ER_SUCCESS) return fail(rc);
    FlushQueue(psccl->hSCCurs2);
    sgn32 got = 0;
    while (got < perSelect) {
      Dataset batch{};
      rc = ops->fetch(psccl->hSCCurs2, uns16(std::min<sgn32>(perSelect - got, 0xFFFF)), &batch);
      if (rc != ER_SUCCESS || batch.nRows <= 0) {
        Dataset_Done(&batch);
        break;
      }
      got += batch.nRows;
      if (result->nCols == 0 && result->nRows == 0) {
        Dataset_Done(result);
        *result = batch;
      } else {
        rc = Dataset_Grow(result, &batch);
        Dataset_Done(&batch);
        if (rc != ER_SUCCESS) break;
      }
    }
    if (rc == ER_SUCCESS) rc = FetchErrorQueued(psccl->hSCCurs2);
    if (rc != ER_SUCCESS) return fail(rc);
  }
  *ppKeyVals = result;
  return ER_SUCCESS;
}
