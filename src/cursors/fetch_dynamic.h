// The mixed and dynamic fetch engines: rowsets read through key slices that
// move with the client's scrolling (slices.h). Dispatched by fetch_dispatch.h.
#pragma once

#include "backend/sccl.h"
#include "drv_ops.h"

errcode_t scs_p_ExtendedFetch_Mixed(PSCCL psccl, sgn32 irow, uns16 fFetchType, PRSET pRowSet);
errcode_t scs_p_ExtendedFetch_Dynamic(PSCCL psccl, sgn32 irow, uns16 fFetchType, PRSET pRowSet);
errcode_t scs_p_ExtendedFetch_Dyn(PSCCL psccl, uns16 fFetchType, sgn32 irow, PRSET pRowSet);
