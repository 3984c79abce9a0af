// Dataset utilities of the cursor engine.
#include "model/dataset_util.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "model/wire_alloc.h"
#include "util/unicode.h"

namespace {

struct LongCell {
  uns32 length;
  void* data;
};

LongCell long_get(const char* cell) {
  LongCell c;
  std::memcpy(&c.length, cell, 4);
  std::memcpy(&c.data, cell + 8, sizeof c.data);
  return c;
}

void long_set(char* cell, uns32 length, void* data) {
  std::memcpy(cell, &length, 4);
  std::memcpy(cell + 8, &data, sizeof data);
}

void long_set_data(char* cell, void* data) { std::memcpy(cell + 8, &data, sizeof data); }

uint64_t long_bytes(int type, uns32 length) { return type == CTYPE_WLCHR ? uint64_t(length) * 4 : length; }

bool is_long_col(const Coldata* c) { return ctype_is_long(c->cType) && c->width >= 16; }

// A new buffer with a copy of a long cell's data (one spare zeroed character so that
// text stays terminated). Null data or length 0 copies to null.
bool dup_long_data(int type, const LongCell& src, void** out) {
  *out = nullptr;
  if (!src.data || src.length == 0) return true;
  uint64_t n = long_bytes(type, src.length);
  void* p = wire_calloc(n + 4, 1);
  if (!p) return false;
  std::memcpy(p, src.data, n);
  *out = p;
  return true;
}

bool same_shape(const Coldata* a, const Coldata* b) { return a->cType == b->cType && a->width == b->width; }

// Frees a long cell's buffer and leaves it empty.
void clear_long(const Coldata* col, char* cell) {
  LongCell c = long_get(cell);
  if (!Coldata_InBlock(col, c.data)) std::free(c.data);
  long_set(cell, 0, nullptr);
}

uint64_t bounded_strlen(const char* p, uint64_t max) {
  const void* z = std::memchr(p, 0, max);
  return z ? uint64_t(static_cast<const char*>(z) - p) : max;
}

uint64_t bounded_wcslen(const char* p, uint64_t maxChars) {
  for (uint64_t i = 0; i < maxChars; ++i) {
    wchar_t c;
    std::memcpy(&c, p + i * 4, 4);
    if (c == 0) return i;
  }
  return maxChars;
}

uint64_t read_prefix(const char* cell, unsigned size) {
  if (size == 1) return static_cast<uns8>(cell[0]);
  if (size == 2) {
    uns16 v;
    std::memcpy(&v, cell, 2);
    return v;
  }
  uns32 v;
  std::memcpy(&v, cell, 4);
  return v;
}

void write_prefix(char* cell, unsigned size, uint64_t v) {
  if (size == 1) {
    cell[0] = static_cast<char>(static_cast<uns8>(v));
  } else if (size == 2) {
    uns16 x = static_cast<uns16>(v);
    std::memcpy(cell, &x, 2);
  } else {
    uns32 x = static_cast<uns32>(v);
    std::memcpy(cell, &x, 4);
  }
}

// Moves the cells and indicators of rows [0, n) of `from` into the fresh column `to`
// (long-cell pointers move with the bytes and are cleared in `from`).
void move_rows(Coldata* to, Coldata* from, sgn32 n) {
  if (n <= 0 || !from->values) return;
  std::memcpy(to->values, from->values, uint64_t(n) * from->width);
  std::memcpy(to->indicators, from->indicators, uint64_t(n) * sizeof(indicator_t));
  if (is_long_col(from))
    for (sgn32 r = 0; r < n; ++r) long_set_data(Coldata_Cell(from, r), nullptr);
}

// The most bytes one character takes in narrow text: 4 in UTF-8.
constexpr uint64_t kNarrowCharBytes = 4;

// Converts wide characters to the locale's multibyte text, at most max bytes; a
// character the locale cannot represent becomes '?'. Returns the bytes written.
uint64_t wide_to_narrow(const char* wide, uint64_t nChars, char* out, uint64_t max) {
  std::mbstate_t st{};
  uint64_t used = 0;
  char tmp[MB_LEN_MAX];
  for (uint64_t i = 0; i < nChars; ++i) {
    wchar_t c;
    std::memcpy(&c, wide + i * 4, 4);
    if (c == 0) break;
    // Surrogates and values above U+10FFFF are no characters: '?' as well.
    const uint32_t u = static_cast<uint32_t>(c);
    size_t k =
        u <= 0x10FFFF && (u < 0xD800 || u > 0xDFFF) ? std::wcrtomb(tmp, c, &st) : static_cast<size_t>(-1);
    if (k == static_cast<size_t>(-1)) {
      st = std::mbstate_t{};
      tmp[0] = '?';
      k = 1;
    }
    if (used + k > max) break;
    std::memcpy(out + used, tmp, k);
    used += k;
  }
  return used;
}

}  // namespace

bool Dataset_CellValue(const Coldata* c, uint64_t row, const char** pData, uint64_t* pLen) {
  if (c->indicators[row] == -1) return false;
  const char* cell = Coldata_Cell(c, row);
  uint64_t w = c->width;
  unsigned pre = ctype_prefix_size(c->cType);
  *pData = cell;
  switch (c->cType) {
    case CTYPE_LCHR:
    case CTYPE_LBIN:
    case CTYPE_WLCHR: {
      if (w < 16) {
        *pLen = 0;
        return true;
      }
      LongCell lc = long_get(cell);
      *pData = static_cast<const char*>(lc.data);
      *pLen = lc.data ? long_bytes(c->cType, lc.length) : 0;
      return true;
    }
    case CTYPE_VCHR:
      *pLen = bounded_strlen(cell, w);
      return true;
    case CTYPE_WVCHR:
      *pLen = bounded_wcslen(cell, w / 4) * 4;
      return true;
    case CTYPE_VCHR8:
    case CTYPE_VBIN8:
    case CTYPE_VCHR16:
    case CTYPE_VBIN16:
    case CTYPE_VCHR32:
    case CTYPE_VBIN32:
    case CTYPE_WVCHR32: {
      if (w < pre) {
        *pLen = 0;
        return true;
      }
      uint64_t n = read_prefix(cell, pre);
      if (c->cType == CTYPE_WVCHR32) n *= 4;
      *pData = cell + pre;
      *pLen = std::min<uint64_t>(n, w - pre);
      return true;
    }
    default:
      *pLen = w;
      return true;
  }
}

bool Dataset_CellTextSpan(const char* cell, ctype_t cType, precision_t width, const char** ppText,
                          const wchar_t** ppWText, size_t* pLen) {
  *ppText = nullptr;
  *ppWText = nullptr;
  *pLen = 0;
  const unsigned pre = ctype_prefix_size(cType);
  const size_t room = width > pre ? width - pre : 0;
  switch (cType) {
    case CTYPE_CHR:
      *ppText = cell;
      *pLen = width;
      return true;
    case CTYPE_VCHR:
      *ppText = cell;
      *pLen = bounded_strlen(cell, width);
      return true;
    case CTYPE_VCHR8:
    case CTYPE_VCHR16:
    case CTYPE_VCHR32:
      *ppText = cell + pre;
      *pLen = width >= pre ? std::min<size_t>(read_prefix(cell, pre), room) : 0;
      return true;
    case CTYPE_WCHR:
      *ppWText = reinterpret_cast<const wchar_t*>(cell);
      *pLen = width / 4;
      return true;
    case CTYPE_WVCHR:
      *ppWText = reinterpret_cast<const wchar_t*>(cell);
      *pLen = bounded_wcslen(cell, width / 4);
      return true;
    case CTYPE_WVCHR32:
      *ppWText = reinterpret_cast<const wchar_t*>(cell + pre);
      *pLen = width >= pre ? std::min<size_t>(read_prefix(cell, pre), room / 4) : 0;
      return true;
    case CTYPE_LCHR:
    case CTYPE_WLCHR: {
      if (width < 16) return true;
      LongCell lc = long_get(cell);
      if (!lc.data) return true;
      if (cType == CTYPE_LCHR)
        *ppText = static_cast<const char*>(lc.data);
      else
        *ppWText = static_cast<const wchar_t*>(lc.data);
      *pLen = lc.length;
      return true;
    }
    default:
      return false;
  }
}

bool Dataset_CellText(const Coldata* c, uint64_t row, bool fromLocale, size_t maxChars, size_t maxBytes,
                      std::string* out) {
  out->clear();
  const char* text = nullptr;
  const wchar_t* wtext = nullptr;
  size_t len = 0;
  if (!Dataset_CellTextSpan(Coldata_Cell(c, row), c->cType, c->width, &text, &wtext, &len)) return false;
  if (c->indicators[row] < 0) return true;
  len = std::min(len, maxChars);
  if (wtext) {
    out->resize(maxBytes);
    out->resize(wcsntoutf8(wtext, out->data(), len, maxBytes, nullptr));
  } else if (text && fromLocale) {
    const std::string narrow(text, len);
    out->resize(maxBytes + 1);
    strncpy_AtoU8(out->data(), narrow.c_str(), maxBytes + 1);
  } else if (text) {
    out->assign(text, std::min(len, maxBytes));
  }
  out->resize(strnlen(out->c_str(), out->size()));
  return true;
}

errcode_t Dataset_EmptyRowInsert(Dataset* pDS, uns32 irow) {
  if (!pDS || pDS->nCols == 0 || !pDS->col || pDS->nRows >= pDS->allocRows || irow > uns32(pDS->nRows))
    return ER_GENERAL_ERROR;
  for (uns16 i = 0; i < pDS->nCols; ++i) {
    Coldata* c = &pDS->col[i];
    if (!c->values) return ER_GENERAL_ERROR;
  }
  for (uns16 i = 0; i < pDS->nCols; ++i) {
    Coldata* c = &pDS->col[i];
    uint64_t n = uns32(pDS->nRows);
    // The spare row at nRows may still hold an old long buffer: it is overwritten below.
    if (is_long_col(c)) clear_long(c, Coldata_Cell(c, n));
    if (irow < n) {
      std::memmove(Coldata_Cell(c, irow + 1), Coldata_Cell(c, irow), (n - irow) * c->width);
      std::memmove(&c->indicators[irow + 1], &c->indicators[irow], (n - irow) * sizeof(indicator_t));
    }
    std::memset(Coldata_Cell(c, irow), 0, c->width);
    c->indicators[irow] = -1;
  }
  pDS->nRows++;
  return ER_SUCCESS;
}

errcode_t Dataset_CompareRows(Dataset* pDS1, uns32 rDS1, Dataset* pDS2, uns32 rDS2, int* pbMatch) {
  if (!pbMatch || !pDS1 || !pDS2 || pDS1->nRows <= 0 || pDS2->nRows <= 0 || rDS1 >= uns32(pDS1->nRows) ||
      rDS2 >= uns32(pDS2->nRows) || pDS1->nCols != pDS2->nCols)
    return ER_GENERAL_ERROR;
  *pbMatch = 1;
  for (uns16 i = 0; i < pDS1->nCols; ++i) {
    Coldata* a = &pDS1->col[i];
    Coldata* b = &pDS2->col[i];
    if (!same_shape(a, b)) return ER_GENERAL_ERROR;
    if (!a->values || !b->values) return ER_GENERAL_ERROR;
    const char* ca = Coldata_Cell(a, rDS1);
    const char* cb = Coldata_Cell(b, rDS2);
    bool equal;
    if (is_long_col(a)) {
      LongCell la = long_get(ca), lb = long_get(cb);
      uint64_t n = long_bytes(a->cType, la.length);
      if (la.length != lb.length)
        equal = false;
      else if (n == 0)
        equal = true;
      else if (!la.data || !lb.data)
        equal = la.data == lb.data;
      else
        equal = std::memcmp(la.data, lb.data, n) == 0;
    } else {
      equal = std::memcmp(ca, cb, a->width) == 0;
    }
    if (!equal) {
      *pbMatch = 0;
      return ER_SUCCESS;
    }
  }
  return ER_SUCCESS;
}

errcode_t Dataset_Copy(Dataset** ppDest, Dataset* pSrc) {
  if (!ppDest || !pSrc) return ER_GENERAL_ERROR;
  Dataset* d = static_cast<Dataset*>(wire_calloc(1, sizeof(Dataset)));
  if (!d) return ER_NO_MEMORY;
  if (Dataset_Init(d, pSrc->allocCols) != ER_SUCCESS) {
    std::free(d);
    return ER_NO_MEMORY;
  }
  if (pSrc->nRows > 0 && pSrc->nCols > 0 && pSrc->col) {
    d->nCols = pSrc->nCols;
    d->nRows = pSrc->nRows;
    d->allocRows = pSrc->nRows;
    for (uns16 i = 0; i < pSrc->nCols; ++i) {
      Coldata* s = &pSrc->col[i];
      Coldata* c = &d->col[i];
      c->cType = s->cType;
      c->width = s->width;
      bool ok = s->values && Coldata_Init(c, pSrc->nRows) == ER_SUCCESS;
      if (ok) {
        std::memcpy(c->values, s->values, uint64_t(pSrc->nRows) * s->width);
        std::memcpy(c->indicators, s->indicators, uint64_t(pSrc->nRows) * sizeof(indicator_t));
        if (is_long_col(c)) {
          for (sgn32 r = 0; r < pSrc->nRows; ++r) long_set_data(Coldata_Cell(c, r), nullptr);
          for (sgn32 r = 0; r < pSrc->nRows && ok; ++r) {
            void* p;
            ok = dup_long_data(c->cType, long_get(Coldata_Cell(s, r)), &p);
            long_set_data(Coldata_Cell(c, r), p);
          }
        }
      }
      if (!ok) {
        Dataset_Done(d);
        std::free(d);
        return s->values ? ER_NO_MEMORY : ER_GENERAL_ERROR;
      }
    }
  }
  *ppDest = d;
  return ER_SUCCESS;
}

errcode_t Dataset_CopyRow(Dataset* pDest, Dataset* pSrc, uns32 iDestRow, uns32 iSrcRow, int bXfer) {
  if (!pDest || !pSrc || pDest->nCols != pSrc->nCols || pSrc->nRows <= 0 || iSrcRow >= uns32(pSrc->nRows))
    return ER_GENERAL_ERROR;
  bool append = iDestRow >= uns32(pDest->nRows);
  if (append) {
    if (pDest->allocRows <= 0 || iDestRow >= uns32(pDest->allocRows) || pDest->nRows >= pDest->allocRows)
      return ER_GENERAL_ERROR;
    iDestRow = uns32(pDest->nRows);
  }
  for (uns16 i = 0; i < pSrc->nCols; ++i) {
    Coldata* d = &pDest->col[i];
    Coldata* s = &pSrc->col[i];
    if (!same_shape(d, s) || !d->values || !s->values) return ER_GENERAL_ERROR;
    char* dc = Coldata_Cell(d, iDestRow);
    char* sc = Coldata_Cell(s, iSrcRow);
    if (is_long_col(d)) {
      clear_long(d, dc);
      d->indicators[iDestRow] = -1;
    }
    std::memcpy(dc, sc, d->width);
    d->indicators[iDestRow] = s->indicators[iSrcRow];
    if (is_long_col(d)) {
      if (bXfer && !Coldata_InBlock(s, long_get(sc).data)) {
        long_set_data(sc, nullptr);
      } else {
        // Never share the source's buffer: a copy gets its own, or none.
        void* p;
        if (!dup_long_data(d->cType, long_get(sc), &p)) {
          long_set(dc, 0, nullptr);
          d->indicators[iDestRow] = -1;
          return ER_NO_MEMORY;
        }
        long_set_data(dc, p);
        // Data in the source's block stays there; the source cell lets go of it.
        if (bXfer) long_set_data(sc, nullptr);
      }
    }
  }
  if (append) pDest->nRows++;
  return ER_SUCCESS;
}

errcode_t Dataset_Grow(Dataset* dest, Dataset* src) {
  if (!dest || !src) return ER_GENERAL_ERROR;
  if (src->nRows <= 0) return ER_SUCCESS;
  if (dest->nCols != src->nCols || !dest->col || !src->col || dest->nRows < 0) return ER_GENERAL_ERROR;
  int64_t total = int64_t(dest->nRows) + src->nRows;
  if (total > INT32_MAX) return ER_GENERAL_ERROR;
  for (uns16 i = 0; i < dest->nCols; ++i)
    if (!same_shape(&dest->col[i], &src->col[i]) || !src->col[i].values ||
        (dest->nRows > 0 && !dest->col[i].values))
      return ER_GENERAL_ERROR;
  // Cells move to new columns below: data kept in an old column's block must not.
  for (uns16 i = 0; i < dest->nCols; ++i)
    if (Coldata_DetachLongData(&dest->col[i], dest->nRows) != ER_SUCCESS ||
        Coldata_DetachLongData(&src->col[i], src->nRows) != ER_SUCCESS)
      return ER_NO_MEMORY;
  // Make every new column first, so that a failure leaves dest as it was.
  Coldata* fresh = static_cast<Coldata*>(wire_calloc(dest->nCols, sizeof(Coldata)));
  if (!fresh) return ER_NO_MEMORY;
  for (uns16 i = 0; i < dest->nCols; ++i) {
    fresh[i].cType = dest->col[i].cType;
    fresh[i].width = dest->col[i].width;
    if (Coldata_Init(&fresh[i], sgn32(total)) != ER_SUCCESS) {
      for (uns16 j = 0; j < i; ++j) Coldata_Done(&fresh[j], sgn32(total));
      std::free(fresh);
      return ER_NO_MEMORY;
    }
  }
  for (uns16 i = 0; i < dest->nCols; ++i) {
    Coldata* d = &dest->col[i];
    Coldata* s = &src->col[i];
    Coldata* f = &fresh[i];
    move_rows(f, d, dest->nRows);
    Coldata_Done(d, dest->allocRows);
    std::memcpy(Coldata_Cell(f, dest->nRows), s->values, uint64_t(src->nRows) * s->width);
    std::memcpy(&f->indicators[dest->nRows], s->indicators, uint64_t(src->nRows) * sizeof(indicator_t));
    if (is_long_col(s))
      for (sgn32 r = 0; r < src->nRows; ++r) long_set_data(Coldata_Cell(s, r), nullptr);
    *d = *f;
  }
  std::free(fresh);
  // Columns beyond nCols have no rows of the new count: release them.
  for (uns16 i = dest->nCols; i < dest->allocCols; ++i) Coldata_Done(&dest->col[i], dest->allocRows);
  dest->nRows = sgn32(total);
  dest->allocRows = sgn32(total);
  return ER_SUCCESS;
}

errcode_t Dataset_Prepend(Dataset* pDest, Dataset* pSrc) {
  if (!pDest || !pSrc || !pDest->col || !pSrc->col || pDest->nRows != pSrc->nRows) return ER_GENERAL_ERROR;
  uint32_t total = uint32_t(pDest->nCols) + pSrc->nCols;
  if (total > 0xFFFF) return ER_GENERAL_ERROR;
  Coldata* cols = static_cast<Coldata*>(wire_calloc(total, sizeof(Coldata)));
  if (!cols) return ER_NO_MEMORY;
  // The moved columns take the destination's row allocation, so every column keeps
  // allocRows rows.
  bool resize = pSrc->allocRows != pDest->allocRows;
  if (resize) {
    for (uns16 i = 0; i < pSrc->nCols; ++i)
      if (Coldata_DetachLongData(&pSrc->col[i], pSrc->nRows) != ER_SUCCESS) {
        std::free(cols);
        return ER_NO_MEMORY;
      }
    for (uns16 i = 0; i < pSrc->nCols; ++i) {
      cols[i].cType = pSrc->col[i].cType;
      cols[i].width = pSrc->col[i].width;
      if ((pSrc->nRows > 0 && !pSrc->col[i].values) ||
          Coldata_Init(&cols[i], pDest->allocRows) != ER_SUCCESS) {
        for (uns16 j = 0; j < i; ++j) Coldata_Done(&cols[j], pDest->allocRows);
        std::free(cols);
        return pSrc->col[i].values || pSrc->nRows == 0 ? ER_NO_MEMORY : ER_GENERAL_ERROR;
      }
    }
    for (uns16 i = 0; i < pSrc->nCols; ++i) {
      move_rows(&cols[i], &pSrc->col[i], pSrc->nRows);
      Coldata_Done(&pSrc->col[i], pSrc->allocRows);
    }
  } else {
    for (uns16 i = 0; i < pSrc->nCols; ++i) {
      cols[i] = pSrc->col[i];
      pSrc->col[i].values = nullptr;
      pSrc->col[i].indicators = nullptr;
    }
  }
  for (uns16 i = 0; i < pDest->nCols; ++i) cols[pSrc->nCols + i] = pDest->col[i];
  for (uns16 i = pDest->nCols; i < pDest->allocCols; ++i) Coldata_Done(&pDest->col[i], pDest->allocRows);
  std::free(pDest->col);
  pDest->col = cols;
  pDest->nCols = static_cast<uns16>(total);
  pDest->allocCols = static_cast<uns16>(total);
  return ER_SUCCESS;
}

errcode_t Dataset_Clone(Dataset** ppClone, Dataset* pSrc, uns32 nRows) {
  if (!ppClone || !pSrc || nRows > uns32(INT32_MAX)) return ER_GENERAL_ERROR;
  bool mine = false;
  Dataset* c = *ppClone;
  if (c) {
    Dataset_Done(c);
  } else {
    c = static_cast<Dataset*>(wire_calloc(1, sizeof(Dataset)));
    if (!c) return ER_NO_MEMORY;
    mine = true;
  }
  errcode_t rc = errcode_t(Dataset_Init(c, pSrc->allocCols));
  if (rc == ER_SUCCESS) {
    c->nCols = std::min(pSrc->nCols, pSrc->allocCols);
    for (uns16 i = 0; i < c->nCols; ++i) {
      c->col[i].cType = pSrc->col[i].cType;
      c->col[i].width = pSrc->col[i].width;
    }
    rc = errcode_t(Dataset_AllocColumns(c, sgn32(nRows)));
    c->nRows = 0;
  }
  if (rc != ER_SUCCESS) {
    Dataset_Done(c);
    if (mine) std::free(c);
    return rc;
  }
  *ppClone = c;
  return ER_SUCCESS;
}

errcode_t Dataset_Invert(Dataset** ppDS) {
  if (!ppDS || !*ppDS) return ER_GENERAL_ERROR;
  Dataset* src = *ppDS;
  Dataset* clone = nullptr;
  errcode_t rc = Dataset_Clone(&clone, src, uns32(std::max(src->allocRows, src->nRows)));
  if (rc != ER_SUCCESS) return rc;
  for (sgn32 j = 0; j < src->nRows && rc == ER_SUCCESS; ++j)
    rc = Dataset_CopyRow(clone, src, uns32(j), uns32(src->nRows - 1 - j), 0);
  if (rc != ER_SUCCESS) {
    Dataset_Done(clone);
    std::free(clone);
    return rc;
  }
  Dataset_Done(src);
  std::free(src);
  *ppDS = clone;
  return ER_SUCCESS;
}

errcode_t Dataset_ColDrop(Dataset* pDS, uns16 icol) {
  if (!pDS || icol >= pDS->nCols || !pDS->col) return ER_GENERAL_ERROR;
  Coldata_Done(&pDS->col[icol], pDS->allocRows);
  std::memmove(&pDS->col[icol], &pDS->col[icol + 1], (pDS->nCols - icol - 1u) * sizeof(Coldata));
  Coldata* last = &pDS->col[pDS->nCols - 1];
  last->values = nullptr;
  last->indicators = nullptr;
  pDS->nCols--;
  return ER_SUCCESS;
}

errcode_t Dataset_ColInfo(Dataset* pDS, uns16 icol, ctype_t* pCType, precision_t* pWidth) {
  if (!pDS || !pCType || !pWidth || icol >= pDS->nCols || !pDS->col) return ER_GENERAL_ERROR;
  *pCType = pDS->col[icol].cType;
  *pWidth = pDS->col[icol].width;
  return ER_SUCCESS;
}

errcode_t Dataset_ColAdd(Dataset* pDS, uns16 icol, ctype_t type, precision_t width) {
  if (!pDS || icol > pDS->nCols || pDS->nCols == 0xFFFF) return ER_GENERAL_ERROR;
  Coldata fresh{};
  fresh.cType = type;
  fresh.width = width;
  // The new column gets every allocated row, all NULL.
  if (Coldata_Init(&fresh, std::max(pDS->allocRows, 0)) != ER_SUCCESS) return ER_NO_MEMORY;
  Coldata* cols = static_cast<Coldata*>(wire_calloc(pDS->nCols + 1u, sizeof(Coldata)));
  if (!cols) {
    Coldata_Done(&fresh, pDS->allocRows);
    return ER_NO_MEMORY;
  }
  for (uns16 i = 0; i < icol; ++i) cols[i] = pDS->col[i];
  cols[icol] = fresh;
  for (uns16 i = icol; i < pDS->nCols; ++i) cols[i + 1] = pDS->col[i];
  for (uns16 i = pDS->nCols; i < pDS->allocCols; ++i) Coldata_Done(&pDS->col[i], pDS->allocRows);
  std::free(pDS->col);
  pDS->col = cols;
  pDS->nCols++;
  pDS->allocCols = pDS->nCols;
  return ER_SUCCESS;
}

errcode_t Dataset_ColCopy(Dataset* pDest, Dataset* pSrc, uns16 iDestCol, uns16 iSrcCol) {
  if (!pDest || !pSrc || (pDest == pSrc && iDestCol == iSrcCol) || iDestCol >= pDest->nCols ||
      iSrcCol >= pSrc->nCols || (pDest->nRows > 0 && pDest->nRows != pSrc->nRows))
    return ER_GENERAL_ERROR;
  Coldata* d = &pDest->col[iDestCol];
  Coldata* s = &pSrc->col[iSrcCol];
  if (!same_shape(d, s)) return ER_GENERAL_ERROR;
  if (pSrc->nRows <= 0) return ER_SUCCESS;
  if (!s->values) return ER_GENERAL_ERROR;
  bool hadRows = pDest->nRows > 0;
  sgn32 rows = hadRows ? pDest->allocRows : std::max(pDest->allocRows, pSrc->nRows);
  Coldata fresh{};
  fresh.cType = d->cType;
  fresh.width = d->width;
  if (Coldata_Init(&fresh, rows) != ER_SUCCESS) return ER_NO_MEMORY;
  std::memcpy(fresh.values, s->values, uint64_t(pSrc->nRows) * s->width);
  std::memcpy(fresh.indicators, s->indicators, uint64_t(pSrc->nRows) * sizeof(indicator_t));
  if (is_long_col(s)) {
    for (sgn32 r = 0; r < pSrc->nRows; ++r) long_set_data(Coldata_Cell(&fresh, r), nullptr);
    for (sgn32 r = 0; r < pSrc->nRows; ++r) {
      void* p;
      if (!dup_long_data(s->cType, long_get(Coldata_Cell(s, r)), &p)) {
        Coldata_Done(&fresh, rows);
        return ER_NO_MEMORY;
      }
      long_set_data(Coldata_Cell(&fresh, r), p);
    }
  }
  if (!hadRows && rows > pDest->allocRows) {
    // The other columns had no rows: give them the new allocation too (all NULL).
    for (uns16 i = 0; i < pDest->nCols; ++i) {
      if (i == iDestCol) continue;
      Coldata grown{};
      grown.cType = pDest->col[i].cType;
      grown.width = pDest->col[i].width;
      if (Coldata_Init(&grown, rows) != ER_SUCCESS) {
        Coldata_Done(&fresh, rows);
        return ER_NO_MEMORY;  // columns regrown so far are all NULL and valid
      }
      Coldata_Done(&pDest->col[i], pDest->allocRows);
      pDest->col[i] = grown;
    }
    for (uns16 i = pDest->nCols; i < pDest->allocCols; ++i) Coldata_Done(&pDest->col[i], pDest->allocRows);
  }
  Coldata_Done(d, pDest->allocRows);
  *d = fresh;
  if (!hadRows) {
    pDest->nRows = pSrc->nRows;
    pDest->allocRows = rows;
  }
  return ER_SUCCESS;
}

errcode_t Dataset_ColRealloc(Dataset* pDS, uns16 iCol, size_t reqLength, int bCTYPE_CHR_NullTerm) {
  if (!pDS || iCol >= pDS->nCols || !pDS->col) return ER_GENERAL_ERROR;
  Coldata* c = &pDS->col[iCol];
  uint64_t w = c->width;
  uint64_t m = reqLength;
  precision_t m32 = m > UINT32_MAX ? UINT32_MAX : precision_t(m);
  ctype_t t = c->cType;
  ctype_t nt = t;
  uint64_t nw = w;
  switch (t) {
    case CTYPE_CHR:
    case CTYPE_BIN:
      if (w >= m) return ER_SUCCESS;
      nt = t == CTYPE_CHR ? CTYPE_VCHR32 : CTYPE_VBIN32;
      nw = Dataset_SizeCol(nt, m32);
      break;
    case CTYPE_WCHR:
      nt = CTYPE_WVCHR32;
      nw = Dataset_SizeCol(nt, m32);
      if (w >= nw) return ER_SUCCESS;
      break;
    case CTYPE_VCHR:
    case CTYPE_VCHR8:
    case CTYPE_VCHR16:
    case CTYPE_VCHR32:
    case CTYPE_VBIN8:
    case CTYPE_VBIN16:
    case CTYPE_VBIN32:
    case CTYPE_WVCHR:
    case CTYPE_WVCHR32:
      nw = Dataset_SizeCol(t, m32);
      if (w >= nw) return ER_SUCCESS;
      break;
    case CTYPE_LCHR:
    case CTYPE_LBIN:
    case CTYPE_WLCHR:
      if (!c->values || w < 16) return ER_SUCCESS;
      for (sgn32 r = 0; r < pDS->nRows; ++r) {
        char* cell = Coldata_Cell(c, r);
        LongCell lc = long_get(cell);
        uint64_t have = long_bytes(t, lc.length);
        if (have >= m) continue;
        void* p = wire_calloc(m + 4, 1);
        if (!p) return ER_NO_MEMORY;
        if (c->indicators[r] != -1 && lc.length != 0 && lc.data) std::memcpy(p, lc.data, have);
        if (!Coldata_InBlock(c, lc.data)) std::free(lc.data);
        long_set_data(cell, p);
      }
      return ER_SUCCESS;
    default:
      return ER_SUCCESS;
  }
  if (nw > UINT32_MAX) return ER_NO_MEMORY;
  Coldata fresh{};
  fresh.cType = nt;
  fresh.width = precision_t(nw);
  sgn32 alloc = std::max(pDS->allocRows, pDS->nRows);
  if (Coldata_Init(&fresh, alloc) != ER_SUCCESS) return ER_NO_MEMORY;
  if (c->values) {
    std::memcpy(fresh.indicators, c->indicators, uint64_t(alloc) * sizeof(indicator_t));
    for (sgn32 r = 0; r < pDS->nRows; ++r) {
      if (c->indicators[r] == -1) continue;
      const char* old = Coldata_Cell(c, r);
      char* cell = Coldata_Cell(&fresh, r);
      if (nt != t) {
        uns32 len;
        if (t == CTYPE_CHR)
          len = uns32(bCTYPE_CHR_NullTerm ? bounded_strlen(old, w) : w);
        else if (t == CTYPE_WCHR)
          len = uns32(bCTYPE_CHR_NullTerm ? bounded_wcslen(old, w / 4) : w / 4);
        else
          len = uns32(w);
        std::memcpy(cell, &len, 4);
        std::memcpy(cell + 4, old, std::min<uint64_t>(w, nw - 4));
      } else {
        std::memcpy(cell, old, w);
      }
    }
  }
  Coldata_Done(c, pDS->allocRows);
  *c = fresh;
  if (pDS->allocRows < alloc) pDS->allocRows = alloc;
  return ER_SUCCESS;
}

errcode_t Dataset_CellGetChunk(Dataset* pDS, uns32 irow, uns16 icol, char* pBuff, uns32* pcbBuff) {
  if (!pDS || !pBuff || !pcbBuff || icol >= pDS->nCols || irow >= uns32(std::max(pDS->nRows, 0)) ||
      !pDS->col[icol].values)
    return ER_GENERAL_ERROR;
  if (*pcbBuff == 0) return ER_SUCCESS;
  const char* data;
  uint64_t len;
  if (!Dataset_CellValue(&pDS->col[icol], irow, &data, &len)) {
    *pcbBuff = 0;
    return ER_SUCCESS;
  }
  uint64_t n = std::min<uint64_t>(*pcbBuff, len);
  if (n > 0 && data) std::memcpy(pBuff, data, n);
  *pcbBuff = uns32(data ? n : 0);
  return ER_SUCCESS;
}

errcode_t Dataset_ConvertW2A(Dataset* pDS) {
  if (!pDS) return ER_GENERAL_ERROR;
  for (uns16 i = 0; i < pDS->nCols; ++i) {
    Coldata* c = &pDS->col[i];
    ctype_t t = c->cType;
    if (t != CTYPE_WCHR && t != CTYPE_WVCHR && t != CTYPE_WLCHR && t != CTYPE_WVCHR32) continue;
    uint64_t w = c->width;
    for (sgn32 r = 0; c->values && r < pDS->nRows; ++r) {
      if (c->indicators[r] == -1) continue;
      char* cell = Coldata_Cell(c, r);
      // Narrow text is sized for UTF-8: up to 4 bytes a character, within the
      // bytes the wide value held (4 a character too).
      if (t == CTYPE_WCHR || t == CTYPE_WVCHR) {
        if (w == 0) continue;
        uint64_t chars = t == CTYPE_WCHR ? w / 4 : bounded_wcslen(cell, w / 4);
        uint64_t room = std::min<uint64_t>(chars * kNarrowCharBytes, w - 1);
        char* tmp = static_cast<char*>(wire_calloc(room + 1, 1));
        if (!tmp) return ER_NO_MEMORY;
        uint64_t n = wide_to_narrow(cell, chars, tmp, room);
        std::memset(cell, 0, w);
        std::memcpy(cell, tmp, n);
        std::free(tmp);
      } else if (t == CTYPE_WLCHR) {
        if (w < 16) continue;
        LongCell lc = long_get(cell);
        if (!lc.data || lc.length == 0) continue;
        uint64_t bytes = uint64_t(lc.length) * 4;
        char* tmp = static_cast<char*>(wire_calloc(bytes + 1, 1));
        if (!tmp) return ER_NO_MEMORY;
        uint64_t n = wide_to_narrow(static_cast<char*>(lc.data), lc.length, tmp, bytes);
        // The narrow text takes the wide value's buffer and counts bytes; it
        // stays terminated unless it fills the buffer.
        std::memset(lc.data, 0, bytes);
        std::memcpy(lc.data, tmp, n);
        long_set(cell, uns32(n), lc.data);
        std::free(tmp);
      } else {
        if (w < 4) continue;
        uns32 len;
        std::memcpy(&len, cell, 4);
        uint64_t chars = std::min<uint64_t>(len, (w - 4) / 4);
        uint64_t room = std::min<uint64_t>(chars * kNarrowCharBytes, w - 4);
        char* tmp = static_cast<char*>(wire_calloc(room + 1, 1));
        if (!tmp) return ER_NO_MEMORY;
        uint64_t n = wide_to_narrow(cell + 4, chars, tmp, room);
        std::memset(cell + 4, 0, w - 4);
        std::memcpy(cell + 4, tmp, n);
        uns32 narrowLen = uns32(n);
        std::memcpy(cell, &narrowLen, 4);
        std::free(tmp);
      }
    }
    c->cType = t == CTYPE_WLCHR ? CTYPE_LCHR : t == CTYPE_WVCHR32 ? CTYPE_VCHR32 : CTYPE_VCHR;
  }
  return ER_SUCCESS;
}

errcode_t Dataset_Truncate(Dataset* pDS, precision_t maxLen) {
  if (!pDS) return ER_GENERAL_ERROR;
  for (uns16 i = 0; i < pDS->nCols; ++i) {
    Coldata* c = &pDS->col[i];
    uint64_t w = c->width;
    if ((c->cType == CTYPE_CHR || c->cType == CTYPE_BIN) && w > maxLen) {
      errcode_t rc = Dataset_ColRealloc(pDS, i, size_t(w + 1), 0);
      if (rc != ER_SUCCESS) return rc;
    } else if (c->cType == CTYPE_WCHR && w / 4 > maxLen) {
      errcode_t rc = Dataset_ColRealloc(pDS, i, size_t(w / 4 + 1), 0);
      if (rc != ER_SUCCESS) return rc;
    }
    c = &pDS->col[i];
    w = c->width;
    ctype_t t = c->cType;
    bool handled;
    switch (t) {
      case CTYPE_VCHR:
        handled = w >= 1 && uint64_t(maxLen) < w - 1;
        break;
      case CTYPE_WVCHR:
        handled = w / 4 >= 1 && uint64_t(maxLen) < w / 4 - 1;
        break;
      case CTYPE_LCHR:
      case CTYPE_LBIN:
      case CTYPE_VCHR8:
      case CTYPE_VCHR16:
      case CTYPE_VCHR32:
      case CTYPE_VBIN8:
      case CTYPE_VBIN16:
      case CTYPE_VBIN32:
      case CTYPE_WLCHR:
      case CTYPE_WVCHR32:
        handled = true;
        break;
      default:
        handled = false;
    }
    if (!handled || !c->values) continue;
    unsigned pre = ctype_prefix_size(t);
    for (sgn32 r = 0; r < pDS->nRows; ++r) {
      if (c->indicators[r] == -1) continue;
      char* cell = Coldata_Cell(c, r);
      if (t == CTYPE_VCHR) {
        cell[maxLen] = 0;
      } else if (t == CTYPE_WVCHR) {
        wchar_t z = 0;
        std::memcpy(cell + uint64_t(maxLen) * 4, &z, 4);
      } else if (ctype_is_long(t)) {
        if (w < 16) continue;
        LongCell lc = long_get(cell);
        if (lc.length > maxLen) std::memcpy(cell, &maxLen, 4);
      } else if (w >= pre) {
        if (read_prefix(cell, pre) > maxLen) write_prefix(cell, pre, maxLen);
      }
    }
  }
  return ER_SUCCESS;
}
