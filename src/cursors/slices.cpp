// Key slices of dynamic and mixed cursors (slices.h).
#include "cursors/slices.h"

errcode_t KS_GetKeySet_Dyn(PSCCL, uns16, sgn32) { return ER_DRV_NOT_CAPABLE; }
errcode_t KS_KeySelectStmtBld_Dyn(PSCCL, SC_Request*, uns16, uns16, Dataset**) { return ER_GENERAL_ERROR; }
errcode_t KS_WhereClauseExtend_Dyn(PSCCL, SC_Request*, uns16, uns16, Dataset**) { return ER_GENERAL_ERROR; }
errcode_t scs_p_KeyBoundaryValsGet(PSCCL, Dataset**) { return ER_GENERAL_ERROR; }
