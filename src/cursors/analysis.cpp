// Prepare-time analysis (analysis.h).
#include "cursors/analysis.h"

errcode_t scs_p_Prepare(PSCCL, const char*) { return ER_SUCCESS; }
void scs_p_UnPrepare(PSCCL) {}
errcode_t scs_p_ChangeCursorType(PSCCL) { return ER_SUCCESS; }
errcode_t scs_p_PostndRqstValidate(PSCCL) { return ER_SUCCESS; }
errcode_t scs_p_SelectRqstValidate_KSD(PSCCL) { return ER_SUCCESS; }
errcode_t scs_p_SelectRqstValidate_Dyn(PSCCL) { return ER_SUCCESS; }
errcode_t scs_p_OrdrColsGet(PSCCL) { return ER_SUCCESS; }
errcode_t scs_p_NumericOrdrCols_GetNames(PSCCL) { return ER_SUCCESS; }
errcode_t scs_p_OrdrCols_NamesConvert(PSCCL) { return ER_SUCCESS; }
errcode_t scs_p_TagKeyOrdrCols(PSCCL) { return ER_SUCCESS; }
errcode_t scs_p_SelectColsGet(PSCCL, alist_t*, alist_t** pp) {
  if (pp) *pp = nullptr;
  return ER_GENERAL_ERROR;
}
errcode_t scs_p_SelectCol_ColDescComplete(PSCCL) { return ER_SUCCESS; }
errcode_t scs_p_SelListAddKeysnXpandWC(PSCCL, alist_t*, int* pb) {
  if (pb) *pb = 0;
  return ER_SUCCESS;
}
errcode_t scs_p_AllColSelectStmtBld(PSCCL, const char*, SC_Request*) { return ER_GENERAL_ERROR; }
errcode_t scs_p_ColGetInfo(PSCCL, uns16, Coldesc*, uns16, uns16, uns16, ColAttrib*) { return ER_SUCCESS; }
