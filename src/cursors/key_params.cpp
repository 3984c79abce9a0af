// Parameter rows of the keyed statements (key_params.h): a row of key values
// (and the client's parameters) sized to its values, and how a rowset's keys
// split into SELECTs within the data source's marker limit. Called by the
// keyset, the rowset reads, the slices, the positioned and bulk operations.
#include "cursors/key_params.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "cursors/cursor_state.h"
#include "cursors/discovery.h"
#include "cursors/keyset_store.h"
#include "model/dataset_util.h"
#include "util/fault.h"
#include "util/log.h"

namespace {

bool HasKeys(const KeySet* ks) { return ks && ks->pLS_KeyCols && ks->pLS_KeyCols->cUsed > 0; }

// The cell widths of a parameter row (see KS_KeyParamDsetBld).
precision_t ParamWidth(const Coldata& c, const char* cell, bool present, int bNullTerminate,
                       int bNullTerminated) {
  switch (c.cType) {
    case CTYPE_VCHR:
      return precision_t((present ? strnlen(cell, c.width) : 0) + 1);
    case CTYPE_WVCHR: {
      size_t n = 0;
      const size_t max = c.width / 4;
      const wchar_t* w = reinterpret_cast<const wchar_t*>(cell);
      while (present && n < max && w[n]) n++;
      return precision_t(4 * n + 4);
    }
    case CTYPE_CHR: {
      precision_t w = bNullTerminated ? precision_t(present ? strnlen(cell, c.width) : 0) : c.width;
      return bNullTerminate ? w + 1 : w;
    }
    case CTYPE_WCHR: {
      precision_t w = c.width;
      if (bNullTerminated) {
        size_t n = 0;
        const wchar_t* p = reinterpret_cast<const wchar_t*>(cell);
        while (present && n < c.width / 4 && p[n]) n++;
        w = precision_t(4 * n);
      }
      return bNullTerminate ? w + 4 : w;
    }
    default:
      return c.width;
  }
}

// Copies one source cell into cell 0 of a fresh column of the given width.
errcode_t CopyParamCell(const Coldata& src, sgn32 row, Coldata* dst) {
  const char* from = Coldata_Cell(&src, uint64_t(row));
  char* to = Coldata_Cell(dst, 0);
  dst->indicators[0] = src.indicators[row];
  const bool present = src.indicators[row] != IND_NULL;
  if (ctype_is_long(src.cType)) {
    c_lchr v{};
    memcpy(&v, from, sizeof v);
    c_lchr copy{v.length, nullptr};
    if (present && v.data) {
      const size_t bytes = src.cType == CTYPE_WLCHR ? size_t(v.length) * 4 : size_t(v.length);
      copy.data = static_cast<char*>(vyr_fault_alloc() ? nullptr : malloc(bytes ? bytes : 1));
      if (!copy.data) return ER_NO_MEMORY;
      if (bytes) memcpy(copy.data, v.data, bytes);
    }
    memcpy(to, &copy, sizeof copy);
    return ER_SUCCESS;
  }
  if (!present) return ER_SUCCESS;
  size_t n = std::min<size_t>(src.width, dst->width);
  if (src.cType == CTYPE_VCHR) n = std::min<size_t>(strnlen(from, src.width), dst->width - 1);
  memcpy(to, from, n);
  return ER_SUCCESS;
}

}  // namespace

// One row of the given cells; plain copies keep their width.
errcode_t ParamRowBuild(const std::vector<CellRef>& cells, size_t nKeyed, int bNullTerminate,
                        int bNullTerminated, Dataset** ppOut) {
  *ppOut = nullptr;
  if (cells.size() > 0xFFFF) return ER_GENERAL_ERROR;
  Dataset* ds = static_cast<Dataset*>(vyr_fault_alloc() ? nullptr : calloc(1, sizeof(Dataset)));
  if (!ds) return ER_NO_MEMORY;
  auto fail = [&](errcode_t e) {
    scs_p_DatasetFree(&ds);
    return e;
  };
  if (Dataset_Init(ds, uns16(cells.size())) != ER_SUCCESS) return fail(ER_NO_MEMORY);
  ds->nCols = uns16(cells.size());
  for (size_t i = 0; i < cells.size(); i++) {
    const Coldata& s = cells[i].ds->col[cells[i].col];
    Coldata& d = ds->col[i];
    d.cType = s.cType;
    const bool present = s.indicators[cells[i].row] != IND_NULL;
    d.width = i < nKeyed ? ParamWidth(s, Coldata_Cell(&s, uint64_t(cells[i].row)), present, bNullTerminate,
                                      bNullTerminated)
                         : s.width;
    if (Coldata_Init(&d, 1) != ER_SUCCESS) {
      // Columns already made are freed with the row count they were made with.
      for (size_t j = 0; j < i; j++) Coldata_Done(&ds->col[j], 1);
      ds->nCols = 0;
      return fail(ER_NO_MEMORY);
    }
  }
  ds->allocRows = 1;
  ds->nRows = 1;
  for (size_t i = 0; i < cells.size(); i++) {
    errcode_t rc = CopyParamCell(cells[i].ds->col[cells[i].col], cells[i].row, &ds->col[i]);
    if (rc != ER_SUCCESS) return fail(rc);
  }
  *ppOut = ds;
  return ER_SUCCESS;
}

errcode_t KS_KeyParamDsetBld(Dataset* pKeySet, uns32 nStartRow, uns32 cRows2Fill, uns32 cRows2Match,
                             Dataset** ppKeyParamDset, int bNullTerminate, int bNullTerminated,
                             int bOmitNULLs, uns16* pcNullCols, uns16** prgbNullColIdxs) {
  if (!pKeySet || pKeySet->nCols == 0 || !ppKeyParamDset || cRows2Fill == 0 || cRows2Match == 0 ||
      cRows2Fill < cRows2Match || pKeySet->nRows <= 0 || nStartRow >= uns32(pKeySet->nRows))
    return ER_GENERAL_ERROR;
  *ppKeyParamDset = nullptr;
  const uns32 nRows = uns32(pKeySet->nRows);
  const uns32 lastMatch = std::min<uint64_t>(uint64_t(nStartRow) + cRows2Match, nRows) - 1;
  std::vector<uns16> omit(pKeySet->nCols, 0);
  if (bOmitNULLs) {
    if (!pcNullCols || !prgbNullColIdxs) return ER_GENERAL_ERROR;
    *prgbNullColIdxs = nullptr;
    *pcNullCols = 0;
    uns16 flagged = 0;
    for (uns16 c = 0; c < pKeySet->nCols; c++)
      for (uns32 r = nStartRow; r <= lastMatch; r++)
        if (pKeySet->col[c].indicators[r] == IND_NULL) {
          omit[c] = 1;
          flagged++;
          break;
        }
    uns16* flags = static_cast<uns16*>(vyr_fault_alloc() ? nullptr : malloc(sizeof(uns16) * pKeySet->nCols));
    if (!flags) return ER_NO_MEMORY;
    memcpy(flags, omit.data(), sizeof(uns16) * pKeySet->nCols);
    *prgbNullColIdxs = flags;
    *pcNullCols = flagged;
  }
  std::vector<CellRef> cells;
  uns32 row = nStartRow;
  for (uns32 g = 0; g < cRows2Fill; g++) {
    for (uns16 c = 0; c < pKeySet->nCols; c++)
      if (!omit[c]) cells.push_back({pKeySet, sgn32(row), c});
    if (row < lastMatch) row++;
  }
  errcode_t rc = ParamRowBuild(cells, cells.size(), bNullTerminate, bNullTerminated, ppKeyParamDset);
  if (rc != ER_SUCCESS && bOmitNULLs) {
    free(*prgbNullColIdxs);
    *prgbNullColIdxs = nullptr;
    *pcNullCols = 0;
  }
  return rc;
}

errcode_t scs_p_GetSelectConstraints(PSCCL psccl, sgn32* pcSelectsReqd, sgn32* pcRowsInLastSelect,
                                     sgn32* pcMaxRowsPerSelect) {
  if (!psccl || !pcSelectsReqd || !pcRowsInLastSelect || !pcMaxRowsPerSelect) return ER_GENERAL_ERROR;
  const sgn32 nKeys = HasKeys(psccl->pKeySet) ? sgn32(psccl->pKeySet->pLS_KeyCols->cUsed) : 0;
  if (nKeys == 0) {
    logit(LOG_ERR, __FILE__, __LINE__, "scs_p_GetSelectConstraints: No key columns.");
    return ER_GENERAL_ERROR;
  }
  const sgn32 nClient = sgn32(scs_p_ClientParamCount(psccl));
  const sgn32 room = psccl->cMaxParams - nClient;
  const sgn32 m = room > 0 ? room / nKeys : 0;
  if (m == 0) {
    logit(LOG_ERR, __FILE__, __LINE__,
          "scs_p_GetSelectConstraints: %d parameters and %d key columns exceed the limit of %d parameters.",
          int(nClient), int(nKeys), psccl->cMaxParams);
    return ER_GENERAL_ERROR;
  }
  const sgn32 rs = psccl->RSSize > 0 ? psccl->RSSize : 0;
  const sgn32 used = std::min(rs, m);
  *pcMaxRowsPerSelect = used;
  *pcSelectsReqd = rs / m + (rs % m ? 1 : 0);
  *pcRowsInLastSelect = rs % m ? rs % m : used;
  return ER_SUCCESS;
}
