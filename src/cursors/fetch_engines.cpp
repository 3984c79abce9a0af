// Scrollable fetches of the cursor engine (fetch_engines.h). Until they are
// built the fetch operations stay the backend's.
#include "cursors/fetch_engines.h"

#include "cursors/cursors.h"

errcode_t SCs_ExtendedFetch2(handle_t h, PRSET* pp, sgn32 irow, uns32* pc, sgn32* prs, sgn32 ft) {
  return SCs_InnerDRV()->ops->xFetch2(h, pp, irow, pc, prs, ft);
}
errcode_t SCs_ExtendedFetch(handle_t h, PRSET* pp, sgn32 irow, uns32* pc, sgn32* prs) {
  return SCs_InnerDRV()->ops->xFetch(h, pp, irow, pc, prs);
}
errcode_t scs_p_ExtendedFetch_KSD(PSCCL, PRSET, sgn32) { return ER_DRV_NOT_CAPABLE; }
errcode_t scs_p_ExtendedFetch_Static(PSCCL, PRSET, sgn32) { return ER_DRV_NOT_CAPABLE; }
errcode_t scs_p_DeletedRowsTag(PSCCL, Dataset*, Dataset*, positn_t, positn_t, uns16*) { return ER_SUCCESS; }
errcode_t scs_p_GetOptConcColVals(PSCCL, Dataset*, sgn32, int, int, int) { return ER_DRV_NOT_CAPABLE; }
errcode_t scs_p_LockRows(PSCCL, uns32, uns32) { return ER_DRV_NOT_CAPABLE; }

void scs_FetchOpsInstall(drv_ops*) {}
