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

// Describes how one non-NULL cell is bound (single-row form). *pOwn receives a
// buffer the caller keeps alive until the parameters are reset.
errcode_t DescribeCell(const _Connect* c, const Coldata* col, int row, ParamBind* b, char** pOwn) {
  char* cell = Coldata_Cell(col, uint64_t(row));
  unsigned prefix = ctype_prefix_size(col->cType);
  switch (col->cType) {
    case CTYPE_CHR: {
      size_t len = strnlen(cell, col->width);
      b->ind = SQLLEN(len), b->cType = SQL_C_CHAR, b->sqlType = CharSqlType(c, len), b->value = cell;
      return ER_SUCCESS;
    }
    case CTYPE_BIT1:
    case CTYPE_SGN8:
    case CTYPE_UNS8: {
      char* buf = static_cast<char*>(calloc(1, 8));
      if (!buf) return ER_NO_MEMORY;
      sgn16 v = static_cast<uns8>(cell[0]);
      memcpy(buf, &v, 2);
      *pOwn = buf;
      b->ind = 2, b->cType = SQL_C_SHORT, b->sqlType = SQL_SMALLINT, b->value = buf;
      return ER_SUCCESS;
    }
    case CTYPE_SGN16: b->ind = col->width, b->cType = SQL_C_SHORT, b->sqlType = SQL_SMALLINT, b->value = cell; return ER_SUCCESS;
    case CTYPE_UNS16: b->ind = col->width, b->cType = SQL_C_USHORT, b->sqlType = SQL_SMALLINT, b->value = cell; return ER_SUCCESS;
    // SQL_C_LONG is 4 bytes on this platform: the cell is bound as it is.
    case CTYPE_SGN32: b->ind = 4, b->cType = SQL_C_LONG, b->sqlType = SQL_INTEGER, b->value = cell; return ER_SUCCESS;
    case CTYPE_UNS32: b->ind = 4, b->cType = SQL_C_ULONG, b->sqlType = SQL_INTEGER, b->value = cell; return ER_SUCCESS;
    case CTYPE_FLT32: b->ind = col->width, b->cType = SQL_C_FLOAT, b->sqlType = SQL_FLOAT, b->value = cell; return ER_SUCCESS;
    case CTYPE_FLT64: b->ind = col->width, b->cType = SQL_C_DOUBLE, b->sqlType = SQL_DOUBLE, b->value = cell; return ER_SUCCESS;
    case CTYPE_DATE: b->ind = col->width, b->cType = SQL_C_DATE, b->sqlType = SQL_DATE, b->value = cell; return ER_SUCCESS;
    case CTYPE_TIME: b->ind = col->width, b->cType = SQL_C_TIME, b->sqlType = SQL_TIME, b->value = cell; return ER_SUCCESS;
    case CTYPE_TIMESTAMP: b->ind = col->width, b->cType = SQL_C_TIMESTAMP, b->sqlType = SQL_TIMESTAMP, b->value = cell; return ER_SUCCESS;
    case CTYPE_BIN: b->ind = col->width, b->cType = SQL_C_BINARY, b->sqlType = BinSqlType(c, col->width), b->value = cell; return ER_SUCCESS;
    case CTYPE_LCHR: {
      c_lchr l;
      memcpy(&l, cell, sizeof l);
      b->ind = l.data ? SQLLEN(l.length) : 0, b->cType = SQL_C_CHAR, b->sqlType = CharSqlType(c, l.length);
      b->value = l.data ? l.data : cell;
      return ER_SUCCESS;
    }
    case CTYPE_LBIN: {
      c_lbin l;
      memcpy(&l, cell, sizeof l);
      b->ind = l.data ? SQLLEN(l.length) : 0, b->cType = SQL_C_BINARY, b->sqlType = BinSqlType(c, l.length);
      b->value = l.data ? static_cast<void*>(l.data) : cell;
      return ER_SUCCESS;
    }
    case CTYPE_VCHR: {
      size_t len = strnlen(cell, col->width);
      // The cell may arrive unterminated: its length is measured within the cell.
      b->ind = SQLLEN(len), b->cType = SQL_C_CHAR;
      b->sqlType = (col->width > 0 && uint64_t(col->width - 1) > uint64_t(std::max(0, GetCap(c, CAP_MAX_VARCHAR))))
                       ? SQL_LONGVARCHAR
                       : SQL_VARCHAR;
      b->value = cell;
      return ER_SUCCESS;
    }
    case CTYPE_VCHR8:
    case CTYPE_VCHR16:
    case CTYPE_VCHR32: {
      uns32 len = PrefixLength(cell, prefix, col->width);
      b->ind = len, b->cType = SQL_C_CHAR, b->sqlType = CharSqlType(c, len), b->value = cell + prefix;
      return ER_SUCCESS;
    }
    case CTYPE_VBIN8:
    case CTYPE_VBIN16:
    case CTYPE_VBIN32: {
      uns32 len = PrefixLength(cell, prefix, col->width);
      b->ind = len, b->cType = SQL_C_BINARY, b->sqlType = BinSqlType(c, len), b->value = cell + prefix;
      return ER_SUCCESS;
    }
    case CTYPE_WCHR: {
      size_t chars = wcsnlen(reinterpret_cast<wchar_t*>(cell), col->width / 4);
      b->ind = SQLLEN(chars * 4), b->cType = SQL_C_WCHAR, b->sqlType = WideSqlType(c, chars), b->value = cell;
      return ER_SUCCESS;
    }
    case CTYPE_WVCHR: {
      size_t chars = wcsnlen(reinterpret_cast<wchar_t*>(cell), col->width / 4);
      b->ind = SQLLEN(chars * 4), b->cType = SQL_C_WCHAR, b->sqlType = WideSqlType(c, col->width / 4), b->value = cell;
      return ER_SUCCESS;
    }
    case CTYPE_WLCHR: {
      c_wlchr l;
      memcpy(&l, cell, sizeof l);
      b->ind = l.data ? SQLLEN(uint64_t(l.length) * 4) : 0, b->cType = SQL_C_WCHAR, b->sqlType = WideSqlType(c, l.length);
      b->value = l.data ? static_cast<void*>(l.data) : cell;
      return ER_SUCCESS;
    }
    case CTYPE_WVCHR32: {
      uns32 chars;
      memcpy(&chars, cell, 4);
      chars = std::min<uns32>(chars, col->width > 4 ? (col->width - 4) / 4 : 0);
      b->ind = SQLLEN(uint64_t(chars) * 4), b->cType = SQL_C_WCHAR, b->sqlType = WideSqlType(c, chars), b->value = cell + 4;
      return ER_SUCCESS;
    }
    default:
      return ER_DRV_NOT_CAPABLE;
  }
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
      b.cType = SQL_C_CHAR, b.sqlType = SQL_CHAR, b.value = Coldata_Cell(col, uint64_t(row)), b.ind = SQL_NULL_DATA;
    } else {
      char* own = nullptr;
      e = DescribeCell(pc->pConnect, col, row, &b, &own);
      if (e != ER_SUCCESS) return e;
      if (own) {
        if (pc->rIntermBuffer && i < pc->nPardesc) {
          pc->rIntermBuffer[i] = own;
        } else {
          // No slot to keep it in: keep the value in the indicator's neighbour instead.
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
                        SQLBindParameter(pc->hStmt, SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, b.cType, b.sqlType, prec,
                                         scale, b.value, 0, slot));
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
    SQLSMALLINT cType = SQL_C_CHAR, sqlType = SQL_VARCHAR;
    void* base = col->values;
    SQLLEN stride = SQLLEN(col->width);
    unsigned prefix = ctype_prefix_size(col->cType);
    switch (col->cType) {
      case CTYPE_CHR:
      case CTYPE_VCHR: {
        uint64_t longest = 0;
        for (int r = 0; r < rowCount; r++) {
          size_t len = strnlen(Coldata_Cell(col, r), col->width);
          inds[r] = col->indicators[r] < 0 ? SQL_NULL_DATA : SQLLEN(len);
          longest = std::max<uint64_t>(longest, len);
        }
        cType = SQL_C_CHAR;
        sqlType = CharSqlType(c, col->width > 0 ? col->width - 1 : 0);
        (void)longest;
        break;
      }
      case CTYPE_BIT1:
      case CTYPE_SGN8:
      case CTYPE_UNS8: {
        sgn16* buf = static_cast<sgn16*>(calloc(size_t(rowCount), sizeof(sgn16)));
        if (!buf) return ER_NO_MEMORY;
        for (int r = 0; r < rowCount; r++) {
          buf[r] = static_cast<uns8>(*Coldata_Cell(col, r));
          inds[r] = col->indicators[r] < 0 ? SQL_NULL_DATA : 2;
        }
        pc->rIntermBuffer[i] = reinterpret_cast<char*>(buf);
        base = buf, stride = 2, cType = SQL_C_SHORT, sqlType = SQL_SMALLINT;
        break;
      }
      case CTYPE_SGN16:
      case CTYPE_UNS16:
      case CTYPE_SGN32:
      case CTYPE_UNS32:
      case CTYPE_FLT32:
      case CTYPE_FLT64:
      case CTYPE_DATE:
      case CTYPE_TIME:
      case CTYPE_TIMESTAMP:
      case CTYPE_BIN: {
        // Fixed cells are bound in place: their width is the C type's size, which
        // is the stride of column-wise parameter arrays (4 bytes for SQL_C_LONG).
        static const struct {
          ctype_t t;
          SQLSMALLINT c, s;
        } map[] = {{CTYPE_SGN16, SQL_C_SHORT, SQL_SMALLINT}, {CTYPE_UNS16, SQL_C_USHORT, SQL_SMALLINT},
                   {CTYPE_SGN32, SQL_C_LONG, SQL_INTEGER},   {CTYPE_UNS32, SQL_C_ULONG, SQL_INTEGER},
                   {CTYPE_FLT32, SQL_C_FLOAT, SQL_REAL},     {CTYPE_FLT64, SQL_C_DOUBLE, SQL_DOUBLE},
                   {CTYPE_DATE, SQL_C_DATE, SQL_DATE},       {CTYPE_TIME, SQL_C_TIME, SQL_TIME},
                   {CTYPE_TIMESTAMP, SQL_C_TIMESTAMP, SQL_TIMESTAMP}, {CTYPE_BIN, SQL_C_BINARY, SQL_VARBINARY}};
        for (auto& m : map)
          if (m.t == col->cType) cType = m.c, sqlType = m.s;
        if (col->cType == CTYPE_BIN) sqlType = BinSqlType(c, col->width);
        for (int r = 0; r < rowCount; r++) inds[r] = col->indicators[r] < 0 ? SQL_NULL_DATA : SQLLEN(col->width);
        break;
      }
      case CTYPE_LCHR:
      case CTYPE_LBIN:
      case CTYPE_WLCHR:
      case CTYPE_VCHR8:
      case CTYPE_VCHR16:
      case CTYPE_VCHR32:
      case CTYPE_VBIN8:
      case CTYPE_VBIN16:
      case CTYPE_VBIN32:
      case CTYPE_WVCHR32: {
        const bool wide = col->cType == CTYPE_WLCHR || col->cType == CTYPE_WVCHR32;
        const bool bin = col->cType == CTYPE_LBIN || (col->cType >= CTYPE_VBIN8 && col->cType <= CTYPE_VBIN32);
        std::vector<std::pair<const char*, uint64_t>> rows(size_t(rowCount), {nullptr, 0});
        uint64_t longest = 0;
        for (int r = 0; r < rowCount; r++) {
          if (col->indicators[r] < 0) continue;
          const char* cell = Coldata_Cell(col, r);
          const char* data;
          uint64_t bytes;
          if (ctype_is_long(col->cType)) {
            c_lchr l;
            memcpy(&l, cell, sizeof l);
            data = l.data;
            bytes = l.data ? uint64_t(l.length) * (wide ? 4 : 1) : 0;
          } else if (col->cType == CTYPE_WVCHR32) {
            uns32 chars;
            memcpy(&chars, cell, 4);
            chars = std::min<uns32>(chars, col->width > 4 ? (col->width - 4) / 4 : 0);
            data = cell + 4, bytes = uint64_t(chars) * 4;
          } else {
            data = cell + prefix, bytes = PrefixLength(cell, prefix, col->width);
          }
          rows[size_t(r)] = {data, bytes};
          longest = std::max(longest, bytes);
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
          if (rows[size_t(r)].first && rows[size_t(r)].second)
            memcpy(buf + uint64_t(r) * st, rows[size_t(r)].first, size_t(rows[size_t(r)].second));
          inds[r] = SQLLEN(rows[size_t(r)].second);
        }
        pc->rIntermBuffer[i] = buf;
        base = buf, stride = SQLLEN(st);
        if (wide)
          cType = SQL_C_WCHAR, sqlType = WideSqlType(c, longest / 4);
        else if (bin)
          cType = SQL_C_BINARY, sqlType = BinSqlType(c, longest);
        else
          cType = SQL_C_CHAR, sqlType = CharSqlType(c, longest);
        break;
      }
      case CTYPE_WCHR:
      case CTYPE_WVCHR: {
        for (int r = 0; r < rowCount; r++) {
          size_t chars = wcsnlen(reinterpret_cast<const wchar_t*>(Coldata_Cell(col, r)), col->width / 4);
          inds[r] = col->indicators[r] < 0 ? SQL_NULL_DATA : SQLLEN(chars * 4);
        }
        cType = SQL_C_WCHAR, sqlType = WideSqlType(c, col->width / 4);
        break;
      }
      default:
        return ER_DRV_NOT_CAPABLE;
    }
    SQLULEN prec;
    SQLSMALLINT scale;
    BindingPrecision(pc, i, &prec, &scale);
    e = CheckStmtErrors(pc, "SQLBindParameter",
                        SQLBindParameter(pc->hStmt, SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, cType, sqlType, prec, scale,
                                         base, stride, inds));
    if (e != ER_SUCCESS) return e;
  }
  pc->flags &= ~CURSF_REBIND;
  return ER_SUCCESS;
}

void CursorFreeParamInds(_Cursor* pc) { FreeParamInds(pc); }
