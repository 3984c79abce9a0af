// Procedures with output parameters: a statement whose client bindings include
// output or input/output parameters binds every parameter with its direction,
// receives the output values into a one-row return dataset, and hands that
// dataset over once the statement's results are exhausted (more-results answers
// ER_HAVE_OUTPARAMS, then a fetch of 0 rows takes it).
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "backend/backend.h"
#include "backend/sessions.h"
#include "backend/cell_value.h"
#include "backend/sql_type_map.h"
#include "util/log.h"

namespace {

bool IsOutput(const Bindesc& b) { return b.usage == SQL_PARAM_OUTPUT || b.usage == SQL_PARAM_INPUT_OUTPUT; }
bool TakesInput(const Bindesc& b) { return b.usage == SQL_PARAM_INPUT || b.usage == SQL_PARAM_INPUT_OUTPUT; }

// Cells copied as one block of their width.
bool canCopyColdata(int t) { return t >= CTYPE_BIT1 && t <= CTYPE_TIMESTAMP; }
bool IsByteType(int t) { return t == CTYPE_BIT1 || t == CTYPE_SGN8 || t == CTYPE_UNS8; }

// Input/output columns of these types do not fix the return cell's type.
bool IsUnexpectedVariable(int t) {
  return t == CTYPE_LCHR || t == CTYPE_LBIN || (t >= CTYPE_VCHR && t <= CTYPE_VCHR16) || t == CTYPE_VBIN8 ||
         t == CTYPE_VBIN16 || t == CTYPE_WVCHR || t == CTYPE_WLCHR;
}

errcode_t Fail(_Cursor* pc, errcode_t e) {
  SetVYRErrorMsg(&pc->pendingError, e);
  return e;
}

// Copies row 0 of src into row 0 of dst, of possibly another cell type.
void setDsetCellData(const Coldata* src, Coldata* dst) {
  dst->indicators[0] = src->indicators[0];
  if (src->indicators[0] < 0) return;
  char* cell = Coldata_Cell(dst, 0);
  memset(cell, 0, dst->width);
  if (ctype_is_long(dst->cType)) {
    dst->indicators[0] = -1;  // no place of its own for the value
    return;
  }
  if (canCopyColdata(src->cType)) {
    memcpy(cell, Coldata_Cell(src, 0), std::min(src->width, dst->width));
    return;
  }
  const char* data;
  uint64_t bytes;
  CellStoredValue(src, 0, &data, &bytes);
  CellWriteValue(dst, 0, data, bytes);
}

// How one parameter cell is bound.
struct ProcBind {
  SQLSMALLINT cType;
  SQLLEN bufLen;
  SQLLEN ind;  // for a non-NULL cell
  void* value;
};

// The binding of a cell by its type; the buffer never reaches past the cell.
// An 8-bit cell is bound through a 16-bit copy in *pShort.
errcode_t DescribeProcCell(const Coldata* col, const Bindesc& b, char* pShort, ProcBind* out) {
  char* cell = Coldata_Cell(col, 0);
  const unsigned prefix = ctype_prefix_size(col->cType);
  const uint64_t room = CellCapacity(col->cType, col->width);
  const uint64_t prec = b.precision;
  const char* data;
  uint64_t bytes;
  CellStoredValue(col, 0, &data, &bytes);
  auto set = [&](SQLSMALLINT cType, uint64_t bufLen, uint64_t ind, void* value) {
    *out = ProcBind{cType, SQLLEN(bufLen), SQLLEN(ind), value};
    return ER_SUCCESS;
  };
  switch (col->cType) {
    case CTYPE_CHR:
    case CTYPE_VCHR:
    case CTYPE_VCHR8:
    case CTYPE_VCHR16:
    case CTYPE_VCHR32:
      // The driver's text ends with a terminator within the buffer.
      return set(SQL_C_CHAR,
                 std::min(prec + 1, col->cType == CTYPE_CHR ? col->width : room + (prefix ? 0 : 1)), bytes,
                 cell + prefix);
    case CTYPE_BIT1:
    case CTYPE_SGN8:
    case CTYPE_UNS8: {
      sgn16 v = col->cType == CTYPE_SGN8 ? sgn16(static_cast<signed char>(cell[0])) : sgn16(uns8(cell[0]));
      memcpy(pShort, &v, 2);
      return set(SQL_C_SHORT, 2, 2, pShort);
    }
    case CTYPE_SGN16:
      return set(SQL_C_SHORT, col->width, col->width, cell);
    case CTYPE_UNS16:
      return set(SQL_C_USHORT, col->width, col->width, cell);
    // SQL_C_LONG is 4 bytes here: the cell itself takes the value.
    case CTYPE_SGN32:
      return set(SQL_C_LONG, col->width, col->width, cell);
    case CTYPE_UNS32:
      return set(SQL_C_ULONG, col->width, col->width, cell);
    case CTYPE_FLT32:
      return set(SQL_C_FLOAT, col->width, col->width, cell);
    case CTYPE_FLT64:
      return set(SQL_C_DOUBLE, col->width, col->width, cell);
    case CTYPE_DATE:
      return set(SQL_C_DATE, col->width, col->width, cell);
    case CTYPE_TIME:
      return set(SQL_C_TIME, col->width, col->width, cell);
    case CTYPE_TIMESTAMP:
      return set(SQL_C_TIMESTAMP, col->width, col->width, cell);
    case CTYPE_BIN:
      return set(SQL_C_BINARY, std::min<uint64_t>(prec, col->width), col->width, cell);
    case CTYPE_VBIN8:
    case CTYPE_VBIN16:
    case CTYPE_VBIN32:
      return set(SQL_C_BINARY, std::min(prec, room), bytes, cell + prefix);
    case CTYPE_LCHR:
    case CTYPE_LBIN:
    case CTYPE_WLCHR: {
      // Input only: the referenced data, bound in place.
      const SQLSMALLINT cType = col->cType == CTYPE_LCHR   ? SQL_C_CHAR
                                : col->cType == CTYPE_LBIN ? SQL_C_BINARY
                                                           : SQL_C_WCHAR;
      return set(cType, bytes, bytes, data ? const_cast<char*>(data) : cell);
    }
    case CTYPE_WCHR:
    case CTYPE_WVCHR:
    case CTYPE_WVCHR32:
      return set(SQL_C_WCHAR,
                 std::min(prec * 4 + 4, col->cType == CTYPE_WCHR ? col->width : room + (prefix ? 0 : 4)),
                 bytes, cell + prefix);
    default:
      return ER_DRV_NOT_CAPABLE;
  }
}

SQLSMALLINT BindSqlType(sqltype_t t) {
  switch (int(t)) {
    case SQL_TYPE_DATE:
      return SQL_DATE;
    case SQL_TYPE_TIME:
      return SQL_TIME;
    case SQL_TYPE_TIMESTAMP:
      return SQL_TIMESTAMP;
    default:
      return SQLSMALLINT(t);
  }
}

// The 16-bit copy of an 8-bit parameter lives in its conversion buffer.
char* ShortSlot(_Cursor* pc, uns16 i) {
  if (!pc->rIntermBuffer || i >= pc->nPardesc) return nullptr;
  free(pc->rIntermBuffer[i]);
  pc->rIntermBuffer[i] = static_cast<char*>(calloc(1, 8));
  return pc->rIntermBuffer[i];
}

// Frees the return dataset; the statement's parameters, which may point into
// it, are reset and bound again at the next execute.
void DropReturnData(_Cursor* pc) {
  if (!pc->sp_RetData) return;
  SQLFreeStmt(pc->hStmt, SQL_RESET_PARAMS);
  pc->flags |= CURSF_REBIND;
  Dataset_Done(pc->sp_RetData);
  free(pc->sp_RetData);
  pc->sp_RetData = nullptr;
}

}  // namespace

errcode_t Check4OutParams(_Cursor* pc) {
  // Output values of an earlier call that were never fetched are not this
  // execute's: a fetch of 0 rows must not hand them over.
  DropReturnData(pc);
  pc->request.numOutput = 0;
  pc->request.numInputOutput = 0;
  pc->flags &= ~CURSF_OUTPARAMS;
  // Without descriptions or bindings the plain execute binds the parameters.
  if (pc->nPardesc == 0 || pc->nParamInfo == 0) return ER_SUCCESS;
  if (pc->nParamInfo != pc->nPardesc) return Fail(pc, ER_MISMATCH_PARAMS);
  uns16 in = 0, out = 0, inOut = 0;
  for (uns16 i = 0; i < pc->nParamInfo; i++) {
    switch (pc->pParamInfo[i].usage) {
      case SQL_PARAM_INPUT:
        in++;
        break;
      case SQL_PARAM_OUTPUT:
        out++;
        break;
      case SQL_PARAM_INPUT_OUTPUT:
        inOut++;
        break;
      default:
        logit(LOG_ERR, nullptr, 0, "invalid parameter type SQL_PARAM_xxx encountered");
        return Fail(pc, ER_GENERAL_ERROR);
    }
  }
  pc->request.numInput = in;
  pc->request.numOutput = out;
  pc->request.numInputOutput = inOut;
  if (out + inOut > 0) pc->flags |= CURSF_OUTPARAMS;
  return ER_SUCCESS;
}

errcode_t BindProcParams(_Cursor* pc) {
  FreeColdesc(pc->pColdesc, pc->nColdesc);
  pc->pColdesc = nullptr;
  pc->nColdesc = 0;
  pc->flags &= ~CURSF_DESCRIBED;
  // Every input and input/output binding takes the next parameter column.
  const uns16 needIn = uns16(pc->request.numInput + pc->request.numInputOutput);
  const Dataset* params = pc->parameters;
  if (needIn > 0 && (!params || params->nCols < needIn || params->nRows < 1))
    return Fail(pc, ER_MISMATCH_PARAMS);
  const uns16 nOut = uns16(pc->request.numOutput + pc->request.numInputOutput);
  Coldesc* desc = AllocColdesc(nOut);
  if (!desc) return ER_NO_MEMORY;
  uns16 inCol = 0, k = 0;
  for (uns16 i = 0; i < pc->nParamInfo; i++) {
    const Bindesc& b = pc->pParamInfo[i];
    const Coldata* src = TakesInput(b) ? &params->col[inCol++] : nullptr;
    if (!IsOutput(b)) continue;
    Coldesc& d = desc[k++];
    d.dbType = d.sqlType = b.sqlType;
    d.precision = b.precision;
    d.scale = b.scale;
    if (src && canCopyColdata(src->cType)) {
      d.fetchType = src->cType;
      d.fetchLength = src->width;
      continue;
    }
    if (src && IsUnexpectedVariable(src->cType))
      logit(LOG_DEBUG, nullptr, 0, "Unexpected variable length CTYPE_xxx type: %d", int(src->cType));
    d.fetchType = GetVYRCTypeFromSQLType(b.sqlType, b.precision, &d.fetchLength, &d.display);
  }
  DropReturnData(pc);
  pc->sp_RetData = static_cast<Dataset*>(calloc(1, sizeof(Dataset)));
  errcode_t e = pc->sp_RetData ? AllocDataset(desc, nOut, 1, pc->sp_RetData) : ER_NO_MEMORY;
  FreeColdesc(desc, nOut);
  if (e != ER_SUCCESS) {
    free(pc->sp_RetData);
    pc->sp_RetData = nullptr;
    return e == ER_GENERAL_ERROR ? ER_NO_MEMORY : e;
  }
  inCol = k = 0;
  for (uns16 i = 0; i < pc->nParamInfo; i++) {
    const Bindesc& b = pc->pParamInfo[i];
    const Coldata* src = TakesInput(b) ? &params->col[inCol++] : nullptr;
    if (!IsOutput(b)) continue;
    Coldata* dst = &pc->sp_RetData->col[k++];
    if (src)
      setDsetCellData(src, dst);
    else
      dst->indicators[0] = 0;
  }
  return bindAllProcParameters(pc);
}

errcode_t bindAllProcParameters(_Cursor* pc) {
  errcode_t e = CheckStmtErrors(pc, "SQLFreeStmt(RESET_PARAMS)", SQLFreeStmt(pc->hStmt, SQL_RESET_PARAMS));
  if (e != ER_SUCCESS) return e;
  if (pc->nParamInds < pc->nParamInfo) {
    SQLLEN* p = static_cast<SQLLEN*>(realloc(pc->pParamInds, sizeof(SQLLEN) * pc->nParamInfo));
    if (!p) return ER_NO_MEMORY;
    pc->pParamInds = p;
    pc->nParamInds = pc->nParamInfo;
  }
  const Dataset* params = pc->parameters;
  uns16 inCol = 0, outCol = 0;
  for (uns16 i = 0; i < pc->nParamInfo; i++) {
    const Bindesc& b = pc->pParamInfo[i];
    const Coldata* col;
    if (IsOutput(b)) {
      if (TakesInput(b)) inCol++;
      if (!pc->sp_RetData || outCol >= pc->sp_RetData->nCols) return Fail(pc, ER_MISMATCH_PARAMS);
      col = &pc->sp_RetData->col[outCol++];
    } else {
      if (!params || inCol >= params->nCols || params->nRows < 1) return Fail(pc, ER_MISMATCH_PARAMS);
      col = &params->col[inCol++];
    }
    char* shortSlot = nullptr;
    if (IsByteType(col->cType) && !(shortSlot = ShortSlot(pc, i))) return ER_NO_MEMORY;
    ProcBind pb{};
    e = DescribeProcCell(col, b, shortSlot, &pb);
    if (e != ER_SUCCESS) return Fail(pc, e);
    SQLLEN* slot = &pc->pParamInds[i];
    // NULL keeps -1 for every cell type, 8-bit ones included.
    *slot = col->indicators[0] < 0 ? SQL_NULL_DATA : pb.ind;
    e = CheckStmtErrors(pc, "SQLBindParameter",
                        SQLBindParameter(pc->hStmt, SQLUSMALLINT(i + 1), SQLSMALLINT(b.usage), pb.cType,
                                         BindSqlType(b.sqlType), b.precision, SQLSMALLINT(b.scale), pb.value,
                                         pb.bufLen, slot));
    if (e != ER_SUCCESS) return e;
  }
  pc->flags &= ~CURSF_REBIND;
  return ER_SUCCESS;
}

errcode_t ProcExecute(_Cursor* pc) {
  pc->flags &= ~CURSF_OUTPARAMS_SENT;
  // Always bound afresh: a return dataset handed to the client is gone, and an
  // input/output value must be sent again from the parameters.
  errcode_t e = BindProcParams(pc);
  if (e != ER_SUCCESS) return e;
  {
    DriverWait wait(pc->hStmt);
    e = CheckStmtErrors(pc, "SQLExecute", SQLExecute(pc->hStmt));
  }
  if (e != ER_SUCCESS) return e == ER_GENERAL_ERROR ? ER_SYNTAXIS : e;
  pc->flags &= ~CURSF_NEW_RESULT;
  e = GetColdesc(pc);
  if (e != ER_SUCCESS) return e;
  pc->flags |= CURSF_EXECUTED | CURSF_OPEN;
  return ER_SUCCESS;
}

errcode_t ProcHandleOutParams(_Cursor* pc) {
  Dataset* ret = pc->sp_RetData;
  if (!ret) {
    pc->flags |= CURSF_NO_MORE;
    return ER_NO_MORE_RESULTS;
  }
  uns16 k = 0;
  for (uns16 i = 0; i < pc->nParamInfo && k < ret->nCols; i++) {
    const Bindesc& b = pc->pParamInfo[i];
    if (!IsOutput(b)) continue;
    Coldata* col = &ret->col[k++];
    const SQLLEN got = i < pc->nParamInds ? pc->pParamInds[i] : SQL_NULL_DATA;
    if (got == SQL_NULL_DATA) {
      col->indicators[0] = -1;
      continue;
    }
    char* cell = Coldata_Cell(col, 0);
    const unsigned prefix = ctype_prefix_size(col->cType);
    const uint64_t room = CellCapacity(col->cType, col->width);
    if (IsByteType(col->cType) && pc->rIntermBuffer && i < pc->nPardesc && pc->rIntermBuffer[i]) {
      sgn16 v;
      memcpy(&v, pc->rIntermBuffer[i], 2);
      cell[0] = char(v);
    } else if (col->cType >= CTYPE_VCHR8 && col->cType <= CTYPE_VCHR32) {
      CellWritePrefix(cell, prefix, strnlen(cell + prefix, size_t(room)));
    } else if (col->cType >= CTYPE_VBIN8 && col->cType <= CTYPE_VBIN32) {
      uint64_t n = got == SQL_NO_TOTAL || got < 0 ? 0 : uint64_t(got);
      CellWritePrefix(cell, prefix, std::min({n, uint64_t(b.precision), room}));
    } else if (col->cType == CTYPE_WVCHR32) {
      CellWritePrefix(cell, 4, wcsnlen(reinterpret_cast<const wchar_t*>(cell + 4), size_t(room / 4)));
    }
    col->indicators[0] = 0;
  }
  ret->nRows = 1;
  pc->flags |= CURSF_OUTPARAMS_SENT;
  pc->flags &= ~CURSF_NO_MORE;
  return ER_HAVE_OUTPARAMS;
}
