// Key slices of dynamic and mixed cursors: a slice of KSSize keys read with
// the statement's ORDER BY extended by the keys and a seek clause that selects
// the rows after (NEXT) or before (PRIOR) the boundary keys of the slice held,
// the data source's NULL ordering included; FIRST and LAST read from either
// end, RELATIVE moves the slice by a row count.
#pragma once

#include "backend/sccl.h"
#include "drv_ops.h"

errcode_t KS_GetKeySet_Dyn(PSCCL psccl, uns16 fFetchType, sgn32 irow);
errcode_t KS_KeySelectStmtBld_Dyn(PSCCL psccl, SC_Request* pRqst, uns16 fFetchType, uns16 fFetchBoundary,
                                  Dataset** ppKeySelectParams);
errcode_t KS_WhereClauseExtend_Dyn(PSCCL psccl, SC_Request* pRqst, uns16 fFetchType, uns16 fFetchBoundary,
                                   Dataset** ppKeySelectParams);
errcode_t scs_p_KeyBoundaryValsGet(PSCCL psccl, Dataset** ppDSKBV);
