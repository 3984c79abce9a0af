// Reading catalog rows (catalog_rows.h): the whole result of a catalog call
// on the first auxiliary cursor, and its cells as names and integers. Called
// by table and column discovery and by the key-column search.
#include "cursors/catalog_rows.h"

#include <cstdint>
#include <cstring>

#include "cursors/inner.h"
#include "model/dataset_util.h"
#include "util/strutil.h"
#include "util/unicode.h"

errcode_t scs_p_GetTblAttribs_GetNameCellAttr(const char* cell, ctype_t cType, precision_t width,
                                              const char** ppText, const wchar_t** ppWText, size_t* pLen) {
  *ppText = nullptr;
  *ppWText = nullptr;
  size_t len = 0;
  switch (cType) {
    case CTYPE_CHR:
      *ppText = cell;
      len = width;
      break;
    case CTYPE_LCHR: {
      c_lchr v;
      memcpy(&v, cell, sizeof v);
      *ppText = v.data;
      len = v.data ? v.length : 0;
      break;
    }
    case CTYPE_VCHR:
      *ppText = cell;
      len = strnlen(cell, width);
      break;
    case CTYPE_VCHR8:
      *ppText = cell + 1;
      len = uns8(cell[0]);
      break;
    case CTYPE_VCHR16: {
      uns16 n;
      memcpy(&n, cell, 2);
      *ppText = cell + 2;
      len = n;
      break;
    }
    case CTYPE_VCHR32: {
      uns32 n;
      memcpy(&n, cell, 4);
      *ppText = cell + 4;
      len = n;
      break;
    }
    case CTYPE_WCHR:
      *ppWText = reinterpret_cast<const wchar_t*>(cell);
      len = width >= 2032 ? SCS_IDENT_MAX : width / 4;
      break;
    case CTYPE_WVCHR: {
      const wchar_t* w = reinterpret_cast<const wchar_t*>(cell);
      size_t max = width / 4, n = 0;
      while (n < max && w[n]) n++;
      *ppWText = w;
      len = n;
      break;
    }
    case CTYPE_WLCHR: {
      c_wlchr v;
      memcpy(&v, cell, sizeof v);
      *ppWText = v.data;
      len = v.data ? v.length : 0;
      break;
    }
    case CTYPE_WVCHR32: {
      uns32 n;
      memcpy(&n, cell, 4);
      *ppWText = reinterpret_cast<const wchar_t*>(cell + 4);
      len = n;
      break;
    }
    default:
      return ER_GENERAL_ERROR;
  }
  *pLen = len > SCS_IDENT_MAX ? SCS_IDENT_MAX : len;
  return ER_SUCCESS;
}

// Rows of the auxiliary cursor's result, read until a fetch brings none (a
// driver may hand out fewer rows per fetch than asked for).
errcode_t scs_p_FetchCatalogRows(PSCCL me, Dataset* all) {
  *all = Dataset{};
  for (;;) {
    Dataset batch{};
    errcode_t rc = SCs_Inner(me->pDrv).fetch(me->hSCCurs, 10, &batch);
    if (rc != ER_SUCCESS) {
      Dataset_Done(&batch);
      return rc;
    }
    if (batch.nRows <= 0) {
      if (all->nCols == 0) {
        Dataset_Done(all);
        *all = batch;
      } else {
        Dataset_Done(&batch);
      }
      return ER_SUCCESS;
    }
    if (all->nRows == 0) {
      Dataset_Done(all);
      *all = batch;
      continue;
    }
    rc = Dataset_Grow(all, &batch);
    Dataset_Done(&batch);
    if (rc != ER_SUCCESS) return rc;
  }
}

// A name cell of a catalog row as UTF-8 text; false for an unexpected cell type.
bool CellText(const Coldata* c, sgn32 row, int unicode, std::string* out) {
  const char* text = nullptr;
  const wchar_t* wtext = nullptr;
  size_t len = 0;
  if (scs_p_GetTblAttribs_GetNameCellAttr(Coldata_Cell(c, uint64_t(row)), c->cType, c->width, &text, &wtext,
                                          &len) != ER_SUCCESS)
    return false;
  char buf[SCS_IDENT_MAX * 4 + 1] = {0};
  if (wtext) {
    unsigned short conv = 0;
    size_t n = wcsntoutf8(wtext, buf, len, SCS_IDENT_MAX + 1, &conv);
    *out = std::string(buf, strnlen(buf, n < sizeof buf ? n : sizeof buf - 1));
  } else if (unicode) {
    std::string narrow(text ? text : "", len);
    strncpy_AtoU8(buf, narrow.c_str(), SCS_IDENT_MAX + 1);
    buf[SCS_IDENT_MAX] = 0;
    *out = buf;
  } else {
    *out = std::string(text ? text : "", len);
  }
  return true;
}

bool CellNull(const Coldata* c, sgn32 row) { return c->indicators[row] != 0; }

bool CellNull(const Dataset& ds, unsigned col, sgn32 row) {
  return col >= ds.nCols || ds.col[col].indicators[row] == IND_NULL;
}

bool CellInt(const Coldata* c, sgn32 row, sgn32* pValue) {
  const char* p = Coldata_Cell(c, uint64_t(row));
  switch (c->cType) {
    case CTYPE_SGN8:
      *pValue = sgn8(p[0]);
      return true;
    case CTYPE_UNS8:
      *pValue = uns8(p[0]);
      return true;
    case CTYPE_SGN16: {
      sgn16 v;
      memcpy(&v, p, 2);
      *pValue = v;
      return true;
    }
    case CTYPE_UNS16: {
      uns16 v;
      memcpy(&v, p, 2);
      *pValue = v;
      return true;
    }
    case CTYPE_SGN32:
    case CTYPE_UNS32: {
      sgn32 v;
      memcpy(&v, p, 4);
      *pValue = v;
      return true;
    }
    default:
      return false;
  }
}

sgn32 CellInt(const Coldata* c, sgn32 row) {
  sgn32 v = 0;
  return CellInt(c, row, &v) ? v : 0;
}

bool CellInt(const Dataset& ds, unsigned col, sgn32 row, sgn32* pValue) {
  return col < ds.nCols && CellInt(&ds.col[col], row, pValue);
}

sgn32 CellIntOr0(const Dataset& ds, unsigned col, sgn32 row) {
  sgn32 v = 0;
  if (CellNull(ds, col, row) || !CellInt(ds, col, row, &v)) return 0;
  return v;
}

errcode_t CellName(PSCCL me, const Dataset& ds, unsigned col, sgn32 row, std::string* out) {
  out->clear();
  if (CellNull(ds, col, row)) return ER_SUCCESS;
  if (!CellText(&ds.col[col], row, me->unicode, out)) return ER_GENERAL_ERROR;
  // A fixed-width cell may hold the name and its terminator.
  out->resize(strnlen(out->c_str(), out->size()));
  if (out->size() > SCR_NAME_MAX) out->resize(SCR_NAME_MAX);
  return ER_SUCCESS;
}
