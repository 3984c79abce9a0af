// Key slices of dynamic and mixed cursors: a slice of KSSize keys read with
// the statement's ORDER BY extended by the keys and a seek clause that selects
// the rows after (NEXT) or before (PRIOR) the boundary keys of the slice held,
// the data source's NULL ordering included; FIRST and LAST read from either
// end, RELATIVE moves the slice by a row count.
//
// RELATIVE counts from the first key held through the result as it stands
// now: rows another connection inserted inside the slice since it was read
// count, rows it deleted do not, and a deleted first key still marks the
// place. Forward moves read on from the first key; backward ones read the
// rows before it and, when they go back by less than the slice, the rest of
// the slice from it on in a second read.
//
// The compound key is the ordering the seek clauses follow: the ORDER BY
// columns (up to CompoundKeySize), then the keys that are not in the ORDER BY.
// Only the comparison at its last position may be inclusive, so that rows tied
// with the boundary on the leading positions never come back before it.
//
// A forward read that finds nothing leaves an empty slice past the end: both
// boundary rows then hold the last key (bSliceAfterEnd), and RELATIVE counts
// from the row after it, so that -k begins k rows before the end.
#pragma once

#include <string>

#include "backend/sccl.h"
#include "drv_ops.h"

// Boundary flags of a seek.
enum : uns16 {
  KS_BNDRY_OTHER_END = 0x1,  // seek from the other end of the slice held
  KS_BNDRY_INCLUSIVE = 0x2,  // the boundary row itself is selected again
};

errcode_t KS_GetKeySet_Dyn(PSCCL psccl, uns16 fFetchType, sgn32 irow);
errcode_t KS_KeySelectStmtBld_Dyn(PSCCL psccl, SC_Request* pRqst, uns16 fFetchType, uns16 fFetchBoundary,
                                  Dataset** ppKeySelectParams);
errcode_t KS_WhereClauseExtend_Dyn(PSCCL psccl, SC_Request* pRqst, uns16 fFetchType, uns16 fFetchBoundary,
                                   Dataset** ppKeySelectParams);
errcode_t scs_p_KeyBoundaryValsGet(PSCCL psccl, Dataset** ppDSKBV);

// The sub-clause of end position e (1-based) appended to *pOut; *pbWritten 0
// when the sub-clause is dropped (nothing can follow a NULL boundary there).
errcode_t ks_DynWhere_AddSubClause(PSCCL psccl, uns16 e, uns16 fFetchType, uns16 fFetchBoundary,
                                   std::string* pOut, int* pbWritten);
// The one-row parameter dataset whose columns follow the seek clause's
// placeholders one for one; bind descriptions appended with bNeedBind.
errcode_t ks_DynWhere_ParamDsetBld(PSCCL psccl, uns16 fFetchType, uns16 fFetchBoundary, Dataset** ppParams);
// rgMap[p] := the keyset column (0-based) of compound-key position p + 1, for
// CompoundKeySize positions.
errcode_t OC2BVK_MapFill(PSCCL psccl, uns16* rgMap);
// The boundary row a seek starts from: 1 (the last key held) for NEXT, 0 for
// PRIOR, swapped by KS_BNDRY_OTHER_END.
uns16 GetBoundaryValsIndx(uns16 fFetchType, uns16 fFetchBoundary);

// Where a NULL boundary value on an ORDER BY column leaves the seek: 1 no row
// follows it on that position, 2 every non-NULL value does.
int ks_NullCase(sgn16 fNullCollation, int sortDirection, uns16 fFetchType);

// The NULL collation the seek clauses follow: the data source's answer,
// except where a driver is known to answer for another order than its
// database sorts in (the SQLite driver says NULLs come at the start, SQLite
// sorts them as the lowest values, last in a descending order).
sgn16 scs_p_NullCollation(const char* pszDbmsName, sgn16 fReported);

// Forgets the slice held: the next fetch of a dynamic or mixed cursor starts
// from the beginning of the result (call after every execute).
void scs_p_SliceReset(PSCCL psccl);
