// The old values of optimistic concurrency by values (old_values.h): the
// columns compared, read on the second auxiliary cursor for the rows of a
// rowset (or the whole result of a static cursor, into the OCVC cache), or a
// copy of the rowset when only the select list is compared. Called by the
// fetch engines and the positioned operations.
#include "cursors/old_values.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "cursors/cursor_state.h"
#include "cursors/deleted_rows.h"
#include "cursors/ds_cache.h"
#include "cursors/engine_diagnostics.h"
#include "cursors/inner.h"
#include "cursors/keyset_store.h"
#include "cursors/rowset_reads.h"
#include "cursors/statement_rewrite.h"
#include "model/dataset_util.h"
#include "util/log.h"

namespace {

Dataset* DatasetNew() {
  Dataset* d = static_cast<Dataset*>(calloc(1, sizeof(Dataset)));
  if (d) Dataset_Init(d, 0);
  return d;
}

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
    s->OCVPosition = s->OCVC.fState == DSC_SPILLED ? DSC_NO_WINDOW : 0;
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

errcode_t scs_p_OptConcValsCopy(PSCCL s, Dataset* pRows) {
  if (!s || !pRows) return ER_GENERAL_ERROR;
  Dataset* copy = nullptr;
  errcode_t rc = Dataset_Copy(&copy, pRows);
  if (rc != ER_SUCCESS) return rc;
  scs_p_DatasetFree(&s->pDSOptConcColVals);
  s->pDSOptConcColVals = copy;
  return ER_SUCCESS;
}
