// The old values of optimistic concurrency by values: the columns compared,
// read on the second auxiliary cursor, or a copy of the rowset when only the
// select list is compared. Kept in pDSOptConcColVals (the state owns it) and,
// for a static cursor, the OCVC cache. Used by the fetch engines and the
// positioned operations.
#pragma once

#include "backend/sccl.h"

// Reads the old values of optimistic concurrency on hSCCurs2 into
// pDSOptConcColVals: all rows of a static cursor (into OCVC), else the rows of
// keys irow on. pParameters (null, or a parameter row the function takes
// over) is sent in place of a key parameter row built here when there is one
// SELECT, and to the static cursor's whole read.
errcode_t scs_p_GetOptConcColVals(PSCCL psccl, Dataset* pParameters, sgn32 irow, int cSelectsReqd,
                                  int cMaxRowsPerSelect, int cRowsInLastSelect);
// The old values compared when only the select list is compared
// (SCCL_OCV_SELECT_COLS): a copy of the rowset just read (pRows stays the
// caller's).
errcode_t scs_p_OptConcValsCopy(PSCCL psccl, Dataset* pRows);
