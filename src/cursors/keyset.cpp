// Keysets (keyset.h).
#include "cursors/keyset.h"

errcode_t KS_Create(PKSET* ppKeySet) {
  if (ppKeySet) *ppKeySet = nullptr;
  return ER_SUCCESS;
}
void KS_Destroy(PKSET* ppKeySet) {
  if (ppKeySet) *ppKeySet = nullptr;
}
void KS_Close(PKSET) {}
void ks_FreeKeyVals(KeySet*) {}
errcode_t KS_GetKeyColDescs(PSCCL, alist_t*) { return ER_NO_KEYS; }
errcode_t ks_GetKeyColDescs_SpCols(PSCCL, TableDesc*, int, int*) { return ER_NO_KEYS; }
errcode_t ks_GetKeyColDescs_Stats(PSCCL, TableDesc*, int, int*) { return ER_NO_KEYS; }
errcode_t ks_GetKeyColDescs_PKeys(PSCCL, TableDesc*, int, int*) { return ER_NO_KEYS; }
errcode_t KS_OrderByClauseExtend(SC_Request*, PSCCL) { return ER_GENERAL_ERROR; }
errcode_t KS_KeySelectStmtBld_KSD(SC_Request*, PKSET) { return ER_GENERAL_ERROR; }
errcode_t KS_WhereClauseExtend_KSD(SC_Request*, PKSET, uns32) { return ER_GENERAL_ERROR; }
errcode_t KS_KeyParamDsetBld(Dataset*, uns32, uns32, uns32, Dataset**, int, int, int, uns16*, uns16**) {
  return ER_GENERAL_ERROR;
}
errcode_t scs_p_GetSelectConstraints(PSCCL, sgn32*, sgn32*, sgn32*) { return ER_GENERAL_ERROR; }
errcode_t KS_GetKeySet_KSD(PSCCL) { return ER_GENERAL_ERROR; }
errcode_t KS_RowSetGetKeys(PSCCL, Dataset*, uns32, Dataset**) { return ER_GENERAL_ERROR; }
