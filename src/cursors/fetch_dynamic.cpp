// The mixed and dynamic fetch engines (fetch_engines.h): rowsets read through
// key slices that move with the client's scrolling.
#include "cursors/fetch_engines.h"

errcode_t scs_p_ExtendedFetch_Mixed(PSCCL, sgn32, uns16, PRSET) { return ER_DRV_NOT_CAPABLE; }
errcode_t scs_p_ExtendedFetch_Dynamic(PSCCL, sgn32, uns16, PRSET) { return ER_DRV_NOT_CAPABLE; }
errcode_t scs_p_ExtendedFetch_Dyn(PSCCL, uns16, sgn32, PRSET) { return ER_DRV_NOT_CAPABLE; }
