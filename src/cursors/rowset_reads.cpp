// Rowset reads shared by the engines that re-read rows by key
// (rowset_reads.h): the rowset SELECT built and prepared on the client's
// cursor, the keyed SELECTs run over a rowset's keys with their parameter
// rows and bind descriptions, and the fetch loop that gathers their rows.
// Called by the keyset-driven, mixed and dynamic engines, the old values'
// read, the row locks and the bulk operations.
#include "cursors/rowset_reads.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cursors/cursor_state.h"
#include "cursors/discovery.h"
#include "cursors/inner.h"
#include "cursors/key_params.h"
#include "cursors/keyset_store.h"
#include "cursors/statement_rewrite.h"
#include "model/dataset_util.h"

namespace {

constexpr char kForUpdate[] = " FOR UPDATE";

}  // namespace

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
    rc = scs_p_AnalyseLogged(&s->Rqst, s->pszSQL, 1);
    if (rc != ER_SUCCESS) return rc;
    rc = KS_OrderByClauseExtend(&s->Rqst, s);
    if (rc != ER_SUCCESS) return rc;
    s->f_state |= SCCL_ORDER_BY_KEYS;
  }
  const char* from = s->Rqst.translated ? s->Rqst.translated : s->Rqst.original;
  if (!from) return ER_GENERAL_ERROR;
  std::string text(from);
  rc = scs_p_AnalyseLogged(&s->Rqst, text.c_str(), 0);
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

sgn32 scs_p_KeysFromRow(PSCCL s, sgn32 row) {
  KeySet* ks = s ? s->pKeySet : nullptr;
  if (!ks || !ks->pDataset) return 0;
  const sgn32 winStart = s->CursType == SQL_CURSOR_DYNAMIC ? 0 : std::max<sgn32>(ks->Position, 0);
  return std::max<sgn32>(0, winStart + ks->pDataset->nRows - row);
}
