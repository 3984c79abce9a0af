// The scrollable fetch slots: extended fetch and its oriented form check the
// cursor, make the rowset (the caller's, RS_Destroy) and dispatch by cursor
// type to the engines of fetch_engines.h and fetch_dynamic.h, or read forward.
#pragma once

#include "backend/sccl.h"
#include "drv_ops.h"

errcode_t SCs_ExtendedFetch2(handle_t hCursor, PRSET* ppRowSet, sgn32 irow, uns32* pcrow, sgn32* pRsltSetSize,
                             sgn32 lfFetchType);
errcode_t SCs_ExtendedFetch(handle_t hCursor, PRSET* ppRowSet, sgn32 irow, uns32* pcrow, sgn32* pRsltSetSize);

// Installs the fetch operations in the engine's table (filter.cpp).
void scs_FetchOpsInstall(drv_ops* ops);
