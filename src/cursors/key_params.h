// Parameter rows of the keyed statements: a row of key values (and the
// client's parameters) sized to its values, and how a rowset's keys split into
// SELECTs within the data source's marker limit. Used by the keyset, the
// rowset reads, the slices, the positioned and bulk operations.
#pragma once

#include <cstddef>
#include <vector>

#include "backend/sccl.h"

// Builds a one-row parameter dataset from the key rows of pKeySet: cRows2Fill
// groups of key values starting at nStartRow, the rows after the cRows2Match
// matching ones (or after the dataset's end) repeating the last one. Cells are
// sized to their values: bNullTerminate gives fixed character cells room for a
// NUL, bNullTerminated reads the source's fixed cells up to their first NUL.
// With bOmitNULLs a column that is NULL in any matched row
// is left out, *pcNullCols counts them and *prgbNullColIdxs (malloc'ed, one
// flag per column, caller frees) marks them. *ppKeyParamDset is the caller's
// (scs_p_DatasetFree, or hand it to the backend's parameters).
errcode_t KS_KeyParamDsetBld(Dataset* pKeySet, uns32 nStartRow, uns32 cRows2Fill, uns32 cRows2Match,
                             Dataset** ppKeyParamDset, int bNullTerminate, int bNullTerminated,
                             int bOmitNULLs, uns16* pcNullCols, uns16** prgbNullColIdxs);
// How a rowset of RSSize keys splits into keyed SELECTs within cMaxParams
// markers (less the client's): the SELECTs needed, the rows of the last one
// and the rows each SELECT takes. ER_GENERAL_ERROR (logged) without key
// columns or when not one key group fits.
errcode_t scs_p_GetSelectConstraints(PSCCL psccl, sgn32* pcSelectsReqd, sgn32* pcRowsInLastSelect,
                                     sgn32* pcMaxRowsPerSelect);

// One cell of a source dataset (borrowed).
struct CellRef {
  const Dataset* ds;
  sgn32 row;
  uns16 col;
};
// A one-row dataset of the given cells, one column each, into *ppOut (heap,
// the caller's: scs_p_DatasetFree, or hand it to the backend's parameters).
// The first nKeyed cells are sized to their values (see KS_KeyParamDsetBld),
// the others keep their width. More than 0xFFFF cells: ER_GENERAL_ERROR.
errcode_t ParamRowBuild(const std::vector<CellRef>& cells, size_t nKeyed, int bNullTerminate,
                        int bNullTerminated, Dataset** ppOut);
