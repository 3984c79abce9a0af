// Parameter binding: keeps the client's parameter data and bindings on the
// cursor and binds them to the statement before an execute, one row at a time
// or as column-wise parameter arrays.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

#include "backend/backend.h"
#include "sqlucode.h"

namespace {

void FreeParamInds(_Cursor* pc) {
  free(pc->pParamInds);
  pc->pParamInds = nullptr;
  pc->nParamInds = 0;
}

}  // namespace

errcode_t ODBC_Parameters(handle_t hCursor, Dataset* pDS) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) return ER_INVALID_ARGUMENT;
  if (pc->parameters) {
    Dataset_Done(pc->parameters);
    free(pc->parameters);
  }
  pc->parameters = pDS;
  pc->flags |= CURSF_REBIND;
  return ER_SUCCESS;
}

errcode_t ODBC_Bind(handle_t hCursor, uns16 count, Bindesc* pDesc) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) return ER_INVALID_ARGUMENT;
  free(pc->pParamInfo);
  pc->pParamInfo = nullptr;
  pc->nParamInfo = 0;
  if (count > 0) {
    if (!pDesc) return ER_INVALID_ARGUMENT;
    pc->pParamInfo = static_cast<Bindesc*>(malloc(sizeof(Bindesc) * count));
    if (!pc->pParamInfo) return ER_NO_MEMORY;
    memcpy(pc->pParamInfo, pDesc, sizeof(Bindesc) * count);
    pc->nParamInfo = count;
  }
  if (pc->nParamInds < count) {
    size_t want = size_t(count) + 10;
    SQLLEN* p = static_cast<SQLLEN*>(realloc(pc->pParamInds, want * sizeof(SQLLEN)));
    if (!p) return ER_NO_MEMORY;
    pc->pParamInds = p;
    pc->nParamInds = uns32(want);
  }
  pc->flags |= CURSF_REBIND;
  return ER_SUCCESS;
}

namespace {

struct ParamBind {
  SQLSMALLINT cType = SQL_C_CHAR;
  SQLSMALLINT sqlType = SQL_CHAR;
  void* value = nullptr;
  SQLLEN ind = SQL_NULL_DATA;
};

SQLSMALLINT CharSqlType(const _Connect* c, uint64_t len) {
  return len > uint64_t(std::max(0, GetCap(c, CAP_MAX_VARCHAR))) ? SQL_LONGVARCHAR : SQL_VARCHAR;
}
SQLSMALLINT BinSqlType(const _Connect* c, uint64_t len) {
  return len <= uint64_t(std::max(0, GetCap(c, CAP_MAX_VARBINARY))) ? SQL_VARBINARY : SQL_LONGVARBINARY;
}
SQLSMALLINT WideSqlType(const _Connect* c, uint64_t chars) {
  return chars > uint64_t(std::max(0, GetCap(c, CAP_MAX_WVARCHAR))) ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
}

uns32 PrefixLength(const char* cell, unsigned prefix, precision_t width) {
  uns32 len = 0;
  if (prefix == 1) {
    len = static_cast<uns8>(cell[0]);
  } else if (prefix == 2) {
    uns16 v;
    memcpy(&v, cell, 2);
    len = v;
  } else {
    memcpy(&len, cell, 4);
  }
  uns32 room = width > prefix ? width - prefix : 0;
  return std::min(len, room);
}

// How the value of a client cell is found.
enum class CellValue {
  Fixed,     // the cell as it is
  Widened8,  // an 8-bit value, bound as a 16-bit one from a buffer of ours
  NulText,   // narrow text ended by a NUL within the cell
  NulWide,   // wide text ended by a NUL within the cell
  Counted,   // a length prefix or a long cell's length and pointer
};

// How the SQL type of a binding is chosen.
enum class SqlKind { Given, Char, Binary, Wide };

// One row per client cell type; it drives the single-row binding and the
// column-wise arrays alike.
struct CellBinding {
  ctype_t type;
  SQLSMALLINT cType;
  CellValue value;
  SqlKind kind;
  SQLSMALLINT sqlType;       // SqlKind::Given: one row at a time
  SQLSMALLINT arraySqlType;  // SqlKind::Given: as arrays
  SQLLEN fixedLen;           // CellValue::Fixed: the indicator of one row; 0: the width
  bool typeByWidth;          // NUL-ended text, one row: the SQL type follows the width, not the value
};

// SQL_C_LONG is 4 bytes on this platform: 32-bit cells are bound as they are.
// REAL for 4-byte floats in arrays, FLOAT one row at a time, as clients know it.
constexpr CellBinding kCellBindings[] = {
    {CTYPE_CHR, SQL_C_CHAR, CellValue::NulText, SqlKind::Char, 0, 0, 0, false},
    {CTYPE_VCHR, SQL_C_CHAR, CellValue::NulText, SqlKind::Char, 0, 0, 0, true},
    {CTYPE_BIT1, SQL_C_SHORT, CellValue::Widened8, SqlKind::Given, SQL_SMALLINT, SQL_SMALLINT, 0, false},
    {CTYPE_SGN8, SQL_C_SHORT, CellValue::Widened8, SqlKind::Given, SQL_SMALLINT, SQL_SMALLINT, 0, false},
    {CTYPE_UNS8, SQL_C_SHORT, CellValue::Widened8, SqlKind::Given, SQL_SMALLINT, SQL_SMALLINT, 0, false},
    {CTYPE_SGN16, SQL_C_SHORT, CellValue::Fixed, SqlKind::Given, SQL_SMALLINT, SQL_SMALLINT, 0, false},
    {CTYPE_UNS16, SQL_C_USHORT, CellValue::Fixed, SqlKind::Given, SQL_SMALLINT, SQL_SMALLINT, 0, false},
    {CTYPE_SGN32, SQL_C_LONG, CellValue::Fixed, SqlKind::Given, SQL_INTEGER, SQL_INTEGER, 4, false},
    {CTYPE_UNS32, SQL_C_ULONG, CellValue::Fixed, SqlKind::Given, SQL_INTEGER, SQL_INTEGER, 4, false},
    {CTYPE_FLT32, SQL_C_FLOAT, CellValue::Fixed, SqlKind::Given, SQL_FLOAT, SQL_REAL, 0, false},
    {CTYPE_FLT64, SQL_C_DOUBLE, CellValue::Fixed, SqlKind::Given, SQL_DOUBLE, SQL_DOUBLE, 0, false},
    {CTYPE_DATE, SQL_C_DATE, CellValue::Fixed, SqlKind::Given, SQL_DATE, SQL_DATE, 0, false},
    {CTYPE_TIME, SQL_C_TIME, CellValue::Fixed, SqlKind::Given, SQL_TIME, SQL_TIME, 0, false},
    {CTYPE_TIMESTAMP, SQL_C_TIMESTAMP, CellValue::Fixed, SqlKind::Given, SQL_TIMESTAMP, SQL_TIMESTAMP, 0,
     false},
    {CTYPE_BIN, SQL_C_BINARY, CellValue::Fixed, SqlKind::Binary, 0, 0, 0, false},
    {CTYPE_LCHR, SQL_C_CHAR, CellValue::Counted, SqlKind::Char, 0, 0, 0, false},
    {CTYPE_LBIN, SQL_C_BINARY, CellValue::Counted, SqlKind::Binary, 0, 0, 0, false},
    {CTYPE_WLCHR, SQL_C_WCHAR, CellValue::Counted, SqlKind::Wide, 0, 0, 0, false},
    {CTYPE_VCHR8, SQL_C_CHAR, CellValue::Counted, SqlKind::Char, 0, 0, 0, false},
    {CTYPE_VCHR16, SQL_C_CHAR, CellValue::Counted, SqlKind::Char, 0, 0, 0, false},
    {CTYPE_VCHR32, SQL_C_CHAR, CellValue::Counted, SqlKind::Char, 0, 0, 0, false},
    {CTYPE_VBIN8, SQL_C_BINARY, CellValue::Counted, SqlKind::Binary, 0, 0, 0, false},
    {CTYPE_VBIN16, SQL_C_BINARY, CellValue::Counted, SqlKind::Binary, 0, 0, 0, false},
    {CTYPE_VBIN32, SQL_C_BINARY, CellValue::Counted, SqlKind::Binary, 0, 0, 0, false},
    {CTYPE_WCHR, SQL_C_WCHAR, CellValue::NulWide, SqlKind::Wide, 0, 0, 0, false},
    {CTYPE_WVCHR, SQL_C_WCHAR, CellValue::NulWide, SqlKind::Wide, 0, 0, 0, true},
    {CTYPE_WVCHR32, SQL_C_WCHAR, CellValue::Counted, SqlKind::Wide, 0, 0, 0, false},
};

// Null for a cell type that cannot be bound.
const CellBinding* FindCellBinding(ctype_t type) {
  for (const CellBinding& k : kCellBindings)
    if (k.type == type) return &k;
  return nullptr;
}

// size: bytes for text and binary kinds, characters for the wide kind.
SQLSMALLINT SqlTypeOf(const _Connect* c, const CellBinding& k, uint64_t size, bool array) {
  switch (k.kind) {
    case SqlKind::Char:
      return CharSqlType(c, size);
    case SqlKind::Binary:
      return BinSqlType(c, size);
    case SqlKind::Wide:
      return WideSqlType(c, size);
    default:
      return array ? k.arraySqlType : k.sqlType;
  }
}

// A counted cell's value: where its bytes are and how many (a long cell's
// stated length even when it has no data).
struct CountedBytes {
  const char* data;
  uint64_t bytes;
};

CountedBytes CountedValue(const Coldata* col, const char* cell) {
  if (ctype_is_long(col->cType)) {
    c_lchr l;
    memcpy(&l, cell, sizeof l);
    return {l.data, uint64_t(l.length) * (col->cType == CTYPE_WLCHR ? 4 : 1)};
  }
  if (col->cType == CTYPE_WVCHR32) {
    uns32 chars;
    memcpy(&chars, cell, 4);
    chars = std::min<uns32>(chars, col->width > 4 ? (col->width - 4) / 4 : 0);
    return {cell + 4, uint64_t(chars) * 4};
  }
  unsigned prefix = ctype_prefix_size(col->cType);
  return {cell + prefix, PrefixLength(cell, prefix, col->width)};
}

// Describes how one non-NULL cell is bound (single-row form). *pOwn receives a
// buffer the caller keeps alive until the parameters are reset.
errcode_t DescribeCell(const _Connect* c, const Coldata* col, int row, ParamBind* b, char** pOwn) {
  const CellBinding* k = FindCellBinding(col->cType);
  if (!k) return ER_DRV_NOT_CAPABLE;
  char* cell = Coldata_Cell(col, uint64_t(row));
  uint64_t size = col->width;
  b->cType = k->cType;
  b->value = cell;
  switch (k->value) {
    case CellValue::Fixed:
      b->ind = k->fixedLen ? k->fixedLen : SQLLEN(col->width);
      break;
    case CellValue::Widened8: {
      char* buf = static_cast<char*>(calloc(1, 8));
      if (!buf) return ER_NO_MEMORY;
      sgn16 v = static_cast<uns8>(cell[0]);
      memcpy(buf, &v, 2);
      *pOwn = buf;
      b->ind = 2, b->value = buf;
      break;
    }
    case CellValue::NulText: {
      // The cell may arrive unterminated: its length is measured within the cell.
      size_t len = strnlen(cell, col->width);
      b->ind = SQLLEN(len);
      size = k->typeByWidth ? (col->width > 0 ? col->width - 1 : 0) : len;
      break;
    }
    case CellValue::NulWide: {
      size_t chars = wcsnlen(reinterpret_cast<wchar_t*>(cell), col->width / 4);
      b->ind = SQLLEN(chars * 4);
      size = k->typeByWidth ? col->width / 4 : chars;
      break;
    }
    case CellValue::Counted: {
      CountedBytes v = CountedValue(col, cell);
      b->ind = v.data ? SQLLEN(v.bytes) : 0;
      if (v.data) b->value = const_cast<char*>(v.data);
      size = k->kind == SqlKind::Wide ? v.bytes / 4 : v.bytes;
      break;
    }
  }
  b->sqlType = SqlTypeOf(c, *k, size, false);
  return ER_SUCCESS;
}

errcode_t EnsureParamInds(_Cursor* pc, uint64_t want) {
  if (want > 0xFFFFFFFFull) return ER_NO_MEMORY;
  if (pc->nParamInds >= want) return ER_SUCCESS;
  SQLLEN* p = static_cast<SQLLEN*>(realloc(pc->pParamInds, size_t(want) * sizeof(SQLLEN)));
  if (!p) return ER_NO_MEMORY;
  pc->pParamInds = p;
  pc->nParamInds = uns32(want);
  return ER_SUCCESS;
}

void BindingPrecision(const _Cursor* pc, int i, SQLULEN* prec, SQLSMALLINT* scale) {
  *prec = 0;
  *scale = 0;
  if (pc->pParamInfo && i < pc->nParamInfo) {
    *prec = pc->pParamInfo[i].precision;
    *scale = SQLSMALLINT(pc->pParamInfo[i].scale);
  }
}

}  // namespace

errcode_t BindAllParameters(_Cursor* pc, int rowCount, int row) {
  errcode_t e = CheckStmtErrors(pc, "SQLFreeStmt(RESET_PARAMS)", SQLFreeStmt(pc->hStmt, SQL_RESET_PARAMS));
  if (e != ER_SUCCESS) return e;
  Dataset* ds = pc->parameters;
  if (!ds) return ER_SUCCESS;
  if (row < 0 || row >= ds->nRows) return ER_MISMATCH_PARAMS;
  if (rowCount < 1) rowCount = 1;
  // Only the statement's own markers are bound when the driver counts them.
  uns16 nParams = ds->nCols;
  if (GetCap(pc->pConnect, CAP_NUMPARAMS) && pc->nPardesc < nParams) nParams = pc->nPardesc;
  e = EnsureParamInds(pc, uint64_t(nParams) * uint64_t(rowCount) + uint64_t(row) + 1);
  if (e != ER_SUCCESS) return e;
  for (uns16 i = 0; i < nParams; i++) {
    const Coldata* col = &ds->col[i];
    if (pc->rIntermBuffer && i < pc->nPardesc) {
      free(pc->rIntermBuffer[i]);
      pc->rIntermBuffer[i] = nullptr;
    }
    SQLLEN* slot = &pc->pParamInds[uint64_t(row) + uint64_t(i) * uint64_t(rowCount)];
    ParamBind b;
    if (col->indicators[row] < 0) {
      b.cType = SQL_C_CHAR, b.sqlType = SQL_CHAR, b.value = Coldata_Cell(col, uint64_t(row)),
      b.ind = SQL_NULL_DATA;
    } else {
      char* own = nullptr;
      e = DescribeCell(pc->pConnect, col, row, &b, &own);
      if (e != ER_SUCCESS) return e;
      if (own) {
        if (pc->rIntermBuffer && i < pc->nPardesc) {
          pc->rIntermBuffer[i] = own;
        } else {
          // A parameter beyond the described ones has no slot to keep a buffer in.
          free(own);
          return ER_DRV_NOT_CAPABLE;
        }
      }
    }
    *slot = b.ind;
    SQLULEN prec;
    SQLSMALLINT scale;
    BindingPrecision(pc, i, &prec, &scale);
    e = CheckStmtErrors(pc, "SQLBindParameter",
                        SQLBindParameter(pc->hStmt, SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, b.cType, b.sqlType,
                                         prec, scale, b.value, 0, slot));
    if (e != ER_SUCCESS) return e;
  }
  return ER_SUCCESS;
}

errcode_t BindAllParametersRows(_Cursor* pc, int rowCount) {
  errcode_t e = CheckStmtErrors(pc, "SQLFreeStmt(RESET_PARAMS)", SQLFreeStmt(pc->hStmt, SQL_RESET_PARAMS));
  if (e != ER_SUCCESS) return e;
  Dataset* ds = pc->parameters;
  if (!ds) return ER_SUCCESS;
  if (rowCount < 1 || rowCount > ds->nRows) return ER_MISMATCH_PARAMS;
  uns16 nParams = std::min<uns16>(pc->nPardesc, ds->nCols);
  e = EnsureParamInds(pc, uint64_t(nParams) * uint64_t(rowCount));
  if (e != ER_SUCCESS) return e;
  const _Connect* c = pc->pConnect;
  for (uns16 i = 0; i < nParams; i++) {
    const Coldata* col = &ds->col[i];
    free(pc->rIntermBuffer[i]);
    pc->rIntermBuffer[i] = nullptr;
    SQLLEN* inds = &pc->pParamInds[uint64_t(i) * uint64_t(rowCount)];
    const CellBinding* k = FindCellBinding(col->cType);
    if (!k) return ER_DRV_NOT_CAPABLE;
    const SQLSMALLINT cType = k->cType;
    SQLSMALLINT sqlType;
    void* base = col->values;
    SQLLEN stride = SQLLEN(col->width);
    switch (k->value) {
      case CellValue::NulText:
        for (int r = 0; r < rowCount; r++)
          inds[r] =
              col->indicators[r] < 0 ? SQL_NULL_DATA : SQLLEN(strnlen(Coldata_Cell(col, r), col->width));
        sqlType = SqlTypeOf(c, *k, col->width > 0 ? col->width - 1 : 0, true);
        break;
      case CellValue::Widened8: {
        sgn16* buf = static_cast<sgn16*>(calloc(size_t(rowCount), sizeof(sgn16)));
        if (!buf) return ER_NO_MEMORY;
        for (int r = 0; r < rowCount; r++) {
          buf[r] = static_cast<uns8>(*Coldata_Cell(col, r));
          inds[r] = col->indicators[r] < 0 ? SQL_NULL_DATA : 2;
        }
        pc->rIntermBuffer[i] = reinterpret_cast<char*>(buf);
        base = buf, stride = 2;
        sqlType = SqlTypeOf(c, *k, 2, true);
        break;
      }
      case CellValue::Fixed:
        // Fixed cells are bound in place: their width is the C type's size, which
        // is the stride of column-wise parameter arrays (4 bytes for SQL_C_LONG).
        for (int r = 0; r < rowCount; r++)
          inds[r] = col->indicators[r] < 0 ? SQL_NULL_DATA : SQLLEN(col->width);
        sqlType = SqlTypeOf(c, *k, col->width, true);
        break;
      case CellValue::NulWide:
        for (int r = 0; r < rowCount; r++) {
          size_t chars = wcsnlen(reinterpret_cast<const wchar_t*>(Coldata_Cell(col, r)), col->width / 4);
          inds[r] = col->indicators[r] < 0 ? SQL_NULL_DATA : SQLLEN(chars * 4);
        }
        sqlType = SqlTypeOf(c, *k, col->width / 4, true);
        break;
      case CellValue::Counted: {
        // Copied into an array of ours whose stride is the longest value.
        const bool wide = k->kind == SqlKind::Wide;
        std::vector<CountedBytes> rows(size_t(rowCount), CountedBytes{nullptr, 0});
        uint64_t longest = 0;
        for (int r = 0; r < rowCount; r++) {
          if (col->indicators[r] < 0) continue;
          CountedBytes v = CountedValue(col, Coldata_Cell(col, r));
          if (!v.data) v.bytes = 0;
          rows[size_t(r)] = v;
          longest = std::max(longest, v.bytes);
        }
        if (col->cType == CTYPE_LBIN && pc->pParamInfo && i < pc->nParamInfo)
          longest = std::max<uint64_t>(longest, pc->pParamInfo[i].precision);
        uint64_t st = std::max<uint64_t>(longest, wide ? 4 : 1);
        uint64_t total = st * uint64_t(rowCount);
        if (total > (1ull << 31)) return ER_NO_MEMORY;
        char* buf = static_cast<char*>(calloc(size_t(total) + 4, 1));
        if (!buf) return ER_NO_MEMORY;
        for (int r = 0; r < rowCount; r++) {
          if (col->indicators[r] < 0) {
            inds[r] = SQL_NULL_DATA;
            continue;
          }
          if (rows[size_t(r)].data && rows[size_t(r)].bytes)
            memcpy(buf + uint64_t(r) * st, rows[size_t(r)].data, size_t(rows[size_t(r)].bytes));
          inds[r] = SQLLEN(rows[size_t(r)].bytes);
        }
        pc->rIntermBuffer[i] = buf;
        base = buf, stride = SQLLEN(st);
        sqlType = SqlTypeOf(c, *k, wide ? longest / 4 : longest, true);
        break;
      }
      default:
        return ER_DRV_NOT_CAPABLE;
    }
    SQLULEN prec;
    SQLSMALLINT scale;
    BindingPrecision(pc, i, &prec, &scale);
    e = CheckStmtErrors(pc, "SQLBindParameter",
                        SQLBindParameter(pc->hStmt, SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, cType, sqlType,
                                         prec, scale, base, stride, inds));
    if (e != ER_SUCCESS) return e;
  }
  pc->flags &= ~CURSF_REBIND;
  return ER_SUCCESS;
}

void CursorFreeParamInds(_Cursor* pc) { FreeParamInds(pc); }
