// Data at execution: a client marks parameter cells (or the column values of a
// positioned update or add) with indicator -2 and sends them after the call in
// pieces. The execute answers ER_NEED_DATA; each param-data call names the next
// marked cell, put-data calls collect its pieces, and the param-data after the
// last cell merges the values into the dataset and completes the operation.
// The driver only ever sees whole values.
#include "backend/data_at_exec.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "backend/backend.h"
#include "backend/cell_value.h"
#include "util/log.h"

namespace {

// Pass modes of _Cursor.fPassMode.
enum {
  PASS_NONE = 0,
  PASS_EXECUTE = 1,
  PASS_SETPOS = 2,
  PASS_EXECUTE_READY = 4,
  PASS_SETPOS_READY = 5,
};

// Positioned-operation options that carry column values.
constexpr uns16 SETPOS_UPDATE = 2;
constexpr uns16 SETPOS_ADD = 4;

// What a piece of this cell type carries: text, binary or wide text of any
// width (the client's declared width says nothing about the bytes sent);
// fixed types stand for themselves.
ctype_t PieceKind(int t) {
  switch (t) {
    case CTYPE_CHR:
    case CTYPE_LCHR:
    case CTYPE_VCHR:
    case CTYPE_VCHR8:
    case CTYPE_VCHR16:
    case CTYPE_VCHR32:
      return CTYPE_CHR;
    case CTYPE_BIN:
    case CTYPE_LBIN:
    case CTYPE_VBIN8:
    case CTYPE_VBIN16:
    case CTYPE_VBIN32:
      return CTYPE_BIN;
    case CTYPE_WCHR:
    case CTYPE_WVCHR:
    case CTYPE_WLCHR:
    case CTYPE_WVCHR32:
      return CTYPE_WCHR;
    default:
      return ctype_t(t);
  }
}

errcode_t Fail(_Cursor* pc, errcode_t e) {
  SetVYRErrorMsg(&pc->pendingError, e);
  return e;
}

void NoCurrentCell(_Cursor* pc) {
  pc->iDAERow = pc->iDAECol = -2;
  pc->iNextDAERow = pc->iNextDAECol = -2;
}

// Starts a dialogue over the -2 cells of ds, or answers 0 when there are none.
errcode_t StartDialogue(_Cursor* pc, const Dataset* ds, DAEData** pData, uns32* pCols, int mode) {
  pc->iDAERow = pc->iDAECol = -1;
  int row = -1, col = -1;
  DAENextItemFind(ds, &row, &col);
  pc->iNextDAERow = row;
  pc->iNextDAECol = col;
  if (row < 0) return ER_SUCCESS;
  *pData = DAEDataInit(ds->nCols, uns32(ds->nRows));
  if (!*pData) {
    NoCurrentCell(pc);
    return ER_NO_MEMORY;
  }
  *pCols = ds->nCols;
  pc->cDAERows = ds->nRows;
  pc->fPassMode = mode;
  return ER_NEED_DATA;
}

// The collection a put-data call of the current mode stores into.
DAEData* CurrentCollection(_Cursor* pc, uns32* pCols) {
  switch (pc->fPassMode) {
    case PASS_EXECUTE:
    case PASS_EXECUTE_READY:
      *pCols = pc->cDAEParams;
      return pc->rDAEParamData;
    case PASS_SETPOS:
    case PASS_SETPOS_READY:
      *pCols = pc->cDAECols;
      return pc->rDAEColData;
    default:
      *pCols = 0;
      return nullptr;
  }
}

// The last param-data: merge and run the interrupted operation. Whatever the
// outcome the dialogue is over.
errcode_t Complete(_Cursor* pc, uns16** prgfRowStatus, uns32* pnRowStatus) {
  const bool execute = pc->fPassMode == PASS_EXECUTE_READY;
  pc->fPassMode = PASS_NONE;
  NoCurrentCell(pc);
  Dataset* ds = execute ? pc->parameters : pc->st_sccl.pdsSetPosParam;
  DAEData* data = execute ? pc->rDAEParamData : pc->rDAEColData;
  uns32 cols = execute ? pc->cDAEParams : pc->cDAECols;
  // The dataset may have been replaced since the dialogue started.
  if (!ds || !data || cols == 0 || ds->nCols != cols || ds->nRows < 0 ||
      uns32(ds->nRows) != data[0].pm_cExpdata)
    return Fail(pc, ER_FUNCTION_SEQ);
  errcode_t e = DAEDatasetMerge(ds, data, cols, uns32(ds->nRows));
  if (e != ER_SUCCESS) return Fail(pc, e);
  if (execute) return ExecuteComplete(pc);
  if (!scs_p_SetPosComplete_hook) return Fail(pc, ER_DRV_NOT_CAPABLE);
  uns16* status = nullptr;
  unsigned int rows = 0;
  e = scs_p_SetPosComplete_hook(&pc->st_sccl, &status, &rows);
  if (prgfRowStatus) {
    *prgfRowStatus = status;
    if (pnRowStatus) *pnRowStatus = rows;
  } else {
    free(status);
  }
  return e;
}

// ---- merging into a column ----

indicator_t PutIndicator(const DAEData* d, uns32 row) {
  // A value unless the client said NULL; other negative indicators are NULL too.
  return d->pm_expind[row] >= 0 ? 0 : -1;
}

bool HasMarkedRow(const Coldata* col, uns32 rows) {
  for (uns32 r = 0; r < rows; r++)
    if (col->indicators[r] == -2) return true;
  return false;
}

// A type check before anything is changed, so that a refused merge leaves the
// dataset as it was. Pieces are bytes of text, wide text or binary whatever
// width the client gave them, so they fit any column of their kind; binary
// pieces fit every column.
errcode_t CheckColumn(const Coldata* col, const DAEData* d, uns32 rows) {
  bool anyValue = false;
  for (uns32 r = 0; r < rows; r++)
    if (col->indicators[r] == -2 && PutIndicator(d, r) == 0) anyValue = true;
  if (!anyValue) return ER_SUCCESS;
  if (d->cType != PieceKind(col->cType) && d->cType != CTYPE_BIN) {
    logit(LOG_ERR, nullptr, 0, "DAEDatasetMerge: Type mismatch.");
    return ER_GENERAL_ERROR;
  }
  return ER_SUCCESS;
}

uns32 LongTerminator(int t) { return t == CTYPE_LCHR ? 1 : t == CTYPE_WLCHR ? 4 : 0; }

// Long text cells end with a terminator, as when read off the wire; room for
// it is made before the column changes, so that running out of memory leaves
// the dataset as it was. An empty text gets a buffer of its own.
errcode_t LongPiecesTerminate(const Coldata* col, DAEData* d, uns32 rows) {
  const uns32 term = LongTerminator(col->cType);
  if (!term) return ER_SUCCESS;
  for (uns32 r = 0; r < rows; r++) {
    if (col->indicators[r] != -2 || PutIndicator(d, r) != 0) continue;
    char* grown = static_cast<char*>(realloc(d->pm_expdata[r], size_t(d->pm_expsize[r]) + term));
    if (!grown) return ER_NO_MEMORY;
    memset(grown + d->pm_expsize[r], 0, term);
    d->pm_expdata[r] = grown;
  }
  return ER_SUCCESS;
}

// The collected bytes of a row become a long cell's own data.
void LongCellTake(char* cell, int t, DAEData* d, uns32 r) {
  uns32 len = d->pm_expsize[r];
  if (t == CTYPE_WLCHR) {
    // Whole characters only; the terminator follows them.
    len /= 4;
    if (d->pm_expdata[r]) memset(d->pm_expdata[r] + uint64_t(len) * 4, 0, 4);
  }
  memcpy(cell, &len, 4);
  memcpy(cell + 8, &d->pm_expdata[r], sizeof(char*));
  d->pm_expdata[r] = nullptr;
  d->pm_expsize[r] = 0;
}

void MergeFixed(Coldata* col, DAEData* d, uns32 rows) {
  for (uns32 r = 0; r < rows; r++) {
    if (col->indicators[r] != -2) continue;
    col->indicators[r] = PutIndicator(d, r);
    if (col->indicators[r] != 0) continue;
    // At most the cell's width; the rest of the cell is zero.
    char* cell = Coldata_Cell(col, r);
    uint64_t n = std::min<uint64_t>(d->pm_expsize[r], col->width);
    memset(cell, 0, col->width);
    if (n && d->pm_expdata[r]) memcpy(cell, d->pm_expdata[r], size_t(n));
  }
}

// Rebuilds a variable-size column wide enough for its longest value.
errcode_t MergeVariable(Coldata* col, DAEData* d, uns32 rows, sgn32 allocRows) {
  const int t = col->cType;
  const bool isLong = ctype_is_long(t);
  if (LongPiecesTerminate(col, d, rows) != ER_SUCCESS) return ER_NO_MEMORY;
  // Long values that live in the column's block must survive the old column.
  if (isLong && Coldata_DetachLongData(col, allocRows) != ER_SUCCESS) return ER_NO_MEMORY;
  uint64_t longest = 0;
  if (!isLong) {
    for (uns32 r = 0; r < rows; r++) {
      uint64_t bytes = 0;
      if (col->indicators[r] == -2) {
        bytes = PutIndicator(d, r) == 0 ? d->pm_expsize[r] : 0;
      } else if (col->indicators[r] >= 0) {
        const char* data;
        CellStoredValue(col, r, &data, &bytes);
      }
      longest = std::max(longest, CellIsWide(t) ? (bytes + 3) / 4 : bytes);
    }
    longest = std::min(longest, CellPrefixLimit(t));
  }
  Coldata fresh{};
  fresh.cType = col->cType;
  fresh.width =
      isLong ? col->width : Dataset_SizeCol(col->cType, precision_t(std::min<uint64_t>(longest, UINT32_MAX)));
  if (Coldata_Init(&fresh, allocRows) != ER_SUCCESS) return ER_NO_MEMORY;
  for (uns32 r = 0; r < rows; r++) {
    char* cell = Coldata_Cell(&fresh, r);
    if (col->indicators[r] == -2) {
      fresh.indicators[r] = PutIndicator(d, r);
      if (fresh.indicators[r] != 0) continue;
      if (isLong) {
        LongCellTake(cell, t, d, r);
      } else {
        CellWriteValue(&fresh, r, d->pm_expdata[r], d->pm_expsize[r]);
      }
      continue;
    }
    fresh.indicators[r] = col->indicators[r];
    if (col->indicators[r] < 0) continue;
    if (isLong) {
      // The long data moves to the new column.
      char* old = Coldata_Cell(col, r);
      memcpy(cell, old, size_t(col->width));
      memset(old + 8, 0, sizeof(void*));
    } else {
      const char* data;
      uint64_t bytes;
      CellStoredValue(col, r, &data, &bytes);
      CellWriteValue(&fresh, r, data, bytes);
    }
  }
  Coldata_Done(col, allocRows);
  *col = fresh;
  return ER_SUCCESS;
}

}  // namespace

// ---- the collection ----

bool DAEIsVariableType(int t) { return t == CTYPE_CHR || (t >= CTYPE_BIN && t <= CTYPE_WVCHR32); }

DAEData* DAEDataInit(uns32 cols, uns32 rows) {
  DAEData* data = static_cast<DAEData*>(calloc(cols ? cols : 1, sizeof(DAEData)));
  if (!data) return nullptr;
  const size_t n = rows ? rows : 1;
  for (uns32 c = 0; c < cols; c++) {
    DAEData& d = data[c];
    d.pm_cExpdata = rows;
    d.pm_expdata = static_cast<char**>(calloc(n, sizeof(char*)));
    d.pm_expsize = static_cast<uns32*>(calloc(n, sizeof(uns32)));
    d.pm_expind = static_cast<indicator_t*>(calloc(n, sizeof(indicator_t)));
    if (!d.pm_expdata || !d.pm_expsize || !d.pm_expind) {
      DAEDataDestroy(data, c + 1);
      return nullptr;
    }
  }
  return data;
}

void FreeExpData(DAEData* d) {
  if (!d) return;
  if (d->pm_expdata)
    for (uns32 r = 0; r < d->pm_cExpdata; r++) free(d->pm_expdata[r]);
  free(d->pm_expdata);
  free(d->pm_expsize);
  free(d->pm_expind);
  d->pm_expdata = nullptr;
  d->pm_expsize = nullptr;
  d->pm_expind = nullptr;
  d->pm_cExpdata = 0;
}

void DAEDataDestroy(DAEData* data, uns32 cols) {
  if (!data) return;
  for (uns32 c = 0; c < cols; c++) FreeExpData(&data[c]);
  free(data);
}

errcode_t DAEDataPut(DAEData* d, uns32 row, ctype_t cType, indicator_t ind, const char* data, uns32 len) {
  if (row >= d->pm_cExpdata) return ER_FUNCTION_SEQ;
  if (!data) len = 0;
  if (ind == -1) {
    free(d->pm_expdata[row]);
    d->pm_expdata[row] = nullptr;
    d->pm_expsize[row] = 0;
    d->pm_expind[row] = -1;
    return ER_SUCCESS;
  }
  cType = PieceKind(cType);
  if (d->pm_expdata[row]) {
    if (cType != d->cType) return ER_GENERAL_ERROR;
    uint64_t total = uint64_t(d->pm_expsize[row]) + len;
    if (total > UINT32_MAX) return ER_NO_MEMORY;
    char* grown = static_cast<char*>(realloc(d->pm_expdata[row], size_t(total ? total : 1)));
    if (!grown) return ER_NO_MEMORY;
    if (len) memcpy(grown + d->pm_expsize[row], data, len);
    d->pm_expdata[row] = grown;
    d->pm_expsize[row] = uns32(total);
    return ER_SUCCESS;
  }
  d->cType = cType;
  d->pm_expsize[row] = len;
  d->pm_expind[row] = ind;
  if (len > 0) {
    d->pm_expdata[row] = static_cast<char*>(malloc(len));
    if (!d->pm_expdata[row]) {
      d->pm_expsize[row] = 0;
      return ER_NO_MEMORY;
    }
    memcpy(d->pm_expdata[row], data, len);
  }
  return ER_SUCCESS;
}

void DAENextItemFind(const Dataset* ds, int* row, int* col) {
  int r = *row < 0 ? 0 : *row;
  int c = *row < 0 ? 0 : *col + 1;
  *row = *col = -2;
  if (!ds || !ds->col) return;
  for (; r < ds->nRows; r++, c = 0)
    for (; c < ds->nCols; c++)
      if (ds->col[c].indicators && ds->col[c].indicators[r] == -2) {
        *row = r;
        *col = c;
        return;
      }
}

errcode_t DAEDatasetMerge(Dataset* ds, DAEData* data, uns32 cols, uns32 rows) {
  if (!ds || !data || cols > ds->nCols || rows > uns32(std::max<sgn32>(ds->nRows, 0)) ||
      rows > uns32(std::max<sgn32>(ds->allocRows, 0)))
    return ER_GENERAL_ERROR;
  for (uns32 c = 0; c < cols; c++) {
    const Coldata* col = &ds->col[c];
    if (!HasMarkedRow(col, rows)) continue;
    errcode_t e = CheckColumn(col, &data[c], rows);
    if (e != ER_SUCCESS) return e;
  }
  for (uns32 c = 0; c < cols; c++) {
    Coldata* col = &ds->col[c];
    if (!HasMarkedRow(col, rows)) continue;
    if (!DAEIsVariableType(col->cType)) {
      MergeFixed(col, &data[c], rows);
      continue;
    }
    errcode_t e = MergeVariable(col, &data[c], rows, ds->allocRows);
    if (e != ER_SUCCESS) return e;
  }
  return ER_SUCCESS;
}

// ---- the cursor's dialogue ----

void DAEFreeCursor(_Cursor* pc) {
  DAEDataDestroy(pc->rDAEParamData, pc->cDAEParams);
  DAEDataDestroy(pc->rDAEColData, pc->cDAECols);
  pc->rDAEParamData = pc->rDAEColData = nullptr;
  pc->cDAEParams = pc->cDAECols = 0;
  pc->cDAERows = 0;
  pc->fPassMode = PASS_NONE;
  NoCurrentCell(pc);
}

errcode_t ExecuteCheck4DAEParams(_Cursor* pc) {
  DAEDataDestroy(pc->rDAEParamData, pc->cDAEParams);
  pc->rDAEParamData = nullptr;
  pc->cDAERows = 0;
  pc->cDAEParams = 0;
  pc->fPassMode = PASS_NONE;
  if (!pc->parameters) {
    NoCurrentCell(pc);
    return ER_SUCCESS;
  }
  return StartDialogue(pc, pc->parameters, &pc->rDAEParamData, &pc->cDAEParams, PASS_EXECUTE);
}

errcode_t SetPosCheck4DAECols(handle_t hCursor) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) return ER_INVALID_ARGUMENT;
  DAEDataDestroy(pc->rDAEColData, pc->cDAECols);
  pc->rDAEColData = nullptr;
  pc->cDAERows = 0;
  pc->cDAECols = 0;
  pc->fPassMode = PASS_NONE;
  const Dataset* ds = pc->st_sccl.pdsSetPosParam;
  const uns16 option = pc->st_sccl.fOption;
  if (!ds || (option != SETPOS_UPDATE && option != SETPOS_ADD)) {
    NoCurrentCell(pc);
    return ER_SUCCESS;
  }
  return StartDialogue(pc, ds, &pc->rDAEColData, &pc->cDAECols, PASS_SETPOS);
}

errcode_t ODBC_ParamData(handle_t hCursor, sgn32* piCol, sgn32* piRow, uns16** prgfRowStatus,
                         uns32* pnRowStatus) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) return ER_INVALID_ARGUMENT;
  if (prgfRowStatus) *prgfRowStatus = nullptr;
  if (pnRowStatus) *pnRowStatus = 0;
  pc->cPutDataCalls = 0;
  pc->iDAERow = pc->iNextDAERow;
  pc->iDAECol = pc->iNextDAECol;
  errcode_t e;
  switch (pc->fPassMode) {
    case PASS_EXECUTE:
    case PASS_SETPOS: {
      const Dataset* ds = pc->fPassMode == PASS_EXECUTE ? pc->parameters : pc->st_sccl.pdsSetPosParam;
      int row = pc->iDAERow, col = pc->iDAECol;
      DAENextItemFind(ds, &row, &col);
      pc->iNextDAERow = row;
      pc->iNextDAECol = col;
      if (row < 0) pc->fPassMode = pc->fPassMode == PASS_EXECUTE ? PASS_EXECUTE_READY : PASS_SETPOS_READY;
      e = ER_NEED_DATA;
      break;
    }
    case PASS_EXECUTE_READY:
    case PASS_SETPOS_READY:
      e = Complete(pc, prgfRowStatus, pnRowStatus);
      break;
    default:
      NoCurrentCell(pc);
      e = Fail(pc, ER_FUNCTION_SEQ);
      break;
  }
  if (piCol) *piCol = pc->iDAECol;
  if (piRow) *piRow = pc->iDAERow;
  return e;
}

errcode_t ODBC_PutData(handle_t hCursor, ctype_t cType, indicator_t ind, char* data, precision_t len) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) return ER_INVALID_ARGUMENT;
  if (++pc->cPutDataCalls > 1 && !DAEIsVariableType(cType)) {
    logit(LOG_ERR, nullptr, 0, "ODBC_PutData: Called more than once for a fixed length type.");
    return Fail(pc, ER_FUNCTION_SEQ);
  }
  uns32 cols = 0;
  DAEData* collection = CurrentCollection(pc, &cols);
  // No dialogue, or no cell named by a param-data call (before the first one,
  // or after the completing one): nothing may be stored.
  if (!collection || pc->iDAECol < 0 || uns32(pc->iDAECol) >= cols || pc->iDAERow < 0 ||
      uns32(pc->iDAERow) >= collection[pc->iDAECol].pm_cExpdata)
    return Fail(pc, ER_FUNCTION_SEQ);
  errcode_t e = DAEDataPut(&collection[pc->iDAECol], uns32(pc->iDAERow), cType, ind, data, len);
  return e == ER_SUCCESS ? e : Fail(pc, e);
}
