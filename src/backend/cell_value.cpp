// Single cells of a dataset read and written as bytes, never past the cell.
#include "backend/cell_value.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

bool CellIsWide(int t) {
  return t == CTYPE_WCHR || t == CTYPE_WVCHR || t == CTYPE_WVCHR32 || t == CTYPE_WLCHR;
}

uint64_t CellPrefixLimit(int t) {
  switch (ctype_prefix_size(t)) {
    case 1:
      return 0xFF;
    case 2:
      return 0xFFFF;
    default:
      return UINT32_MAX;
  }
}

uns32 CellReadPrefix(const char* cell, unsigned prefix) {
  uns8 b8;
  uns16 b16;
  uns32 b32;
  switch (prefix) {
    case 1:
      memcpy(&b8, cell, 1);
      return b8;
    case 2:
      memcpy(&b16, cell, 2);
      return b16;
    default:
      memcpy(&b32, cell, 4);
      return b32;
  }
}

void CellWritePrefix(char* cell, unsigned prefix, uint64_t v) {
  uns8 b8 = uns8(v);
  uns16 b16 = uns16(v);
  uns32 b32 = uns32(v);
  switch (prefix) {
    case 1:
      memcpy(cell, &b8, 1);
      break;
    case 2:
      memcpy(cell, &b16, 2);
      break;
    default:
      memcpy(cell, &b32, 4);
      break;
  }
}

void CellStoredValue(const Coldata* col, uint64_t row, const char** data, uint64_t* bytes) {
  const char* cell = Coldata_Cell(col, row);
  const uint64_t w = col->width;
  const unsigned prefix = ctype_prefix_size(col->cType);
  *data = cell;
  switch (col->cType) {
    case CTYPE_CHR:
    case CTYPE_VCHR:
      *bytes = strnlen(cell, size_t(w));
      return;
    case CTYPE_WCHR:
    case CTYPE_WVCHR:
      *bytes = uint64_t(wcsnlen(reinterpret_cast<const wchar_t*>(cell), size_t(w / 4))) * 4;
      return;
    case CTYPE_LCHR:
    case CTYPE_LBIN:
    case CTYPE_WLCHR: {
      uns32 len;
      memcpy(&len, cell, 4);
      memcpy(data, cell + 8, sizeof(char*));
      *bytes = *data ? uint64_t(len) * (col->cType == CTYPE_WLCHR ? 4 : 1) : 0;
      return;
    }
    case CTYPE_WVCHR32:
      *data = cell + 4;
      *bytes = std::min<uint64_t>(uint64_t(CellReadPrefix(cell, 4)) * 4, w > 4 ? (w - 4) & ~uint64_t(3) : 0);
      return;
    default:
      if (prefix) {
        *data = cell + prefix;
        *bytes = std::min<uint64_t>(CellReadPrefix(cell, prefix), w > prefix ? w - prefix : 0);
        return;
      }
      *bytes = w;  // fixed cells and CTYPE_BIN
      return;
  }
}

uint64_t CellCapacity(int t, uint64_t width) {
  const unsigned prefix = ctype_prefix_size(t);
  uint64_t room = width > prefix ? width - prefix : 0;
  if (t == CTYPE_VCHR) room = width ? width - 1 : 0;  // keeps the terminator
  if (t == CTYPE_WVCHR) room = width > 4 ? width - 4 : 0;
  if (prefix) room = std::min(room, CellPrefixLimit(t) * (t == CTYPE_WVCHR32 ? 4 : 1));
  if (CellIsWide(t)) room &= ~uint64_t(3);
  return room;
}

void CellWriteValue(Coldata* col, uint64_t row, const char* data, uint64_t bytes) {
  char* cell = Coldata_Cell(col, row);
  const unsigned prefix = ctype_prefix_size(col->cType);
  bytes = std::min(bytes, CellCapacity(col->cType, col->width));
  if (bytes && data) memcpy(cell + prefix, data, size_t(bytes));
  if (prefix) CellWritePrefix(cell, prefix, col->cType == CTYPE_WVCHR32 ? bytes / 4 : bytes);
}
