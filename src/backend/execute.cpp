// Execution, fetch and long data: runs a prepared statement with the client's
// parameters, fetches result rows into a dataset row by row or in blocks, serves
// long values in pieces and moves to further results.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

#include "backend/backend.h"
#include "backend/keywords.h"
#include "sqlucode.h"
#include "util/log.h"
#include "util/unicode.h"

namespace {

using backend_text::MatchKeyword;
using backend_text::SkipBlanks;

bool UseArrays(const _Cursor* pc) {
  const _Connect* c = pc->pConnect;
  if (!GetCap(c, CAP_PARAMOPTIONS)) return false;
  if (pc->request.reqType == 1 && !GetCap(c, CAP_PARAM_BATCH)) return false;
  return true;
}

int ParamRows(const _Cursor* pc) {
  if (!pc->parameters || pc->parameters->nRows <= 0) return 1;
  return pc->parameters->nRows;
}

errcode_t RunStatement(_Cursor* pc) {
  SQLRETURN r;
  if (SetIdentityInsertStmt(pc)) {
    if (pc->pConnect->unicode) {
      wchar_t* w = strdup_U8toW(pc->request.translated);
      if (!w) return ER_NO_MEMORY;
      r = SQLExecDirectW(pc->hStmt, reinterpret_cast<SQLWCHAR*>(w), SQL_NTS);
      free(w);
    } else {
      r = SQLExecDirect(pc->hStmt, (SQLCHAR*)pc->request.translated, SQL_NTS);
    }
  } else {
    r = SQLExecute(pc->hStmt);
  }
  errcode_t e = CheckStmtErrors(pc, "SQLExecute", r);
  return e == ER_GENERAL_ERROR ? ER_SYNTAXIS : e;
}

// The new result's state: fetched in blocks until a set-up step says otherwise.
void NewResult(_Cursor* pc) {
  pc->bBlockStarted = 0;
  pc->bRowPath = 0;
}

}  // namespace

int SetIdentityInsertStmt(_Cursor* pc) {
  const char* text = pc->request.translated;
  if (!text) return 0;
  const char* p = SkipBlanks(text);
  if (!MatchKeyword(p, "SET")) return 0;
  p = SkipBlanks(p + 3);
  if (!MatchKeyword(p, "IDENTITY_INSERT")) return 0;
  char name[101] = {0}, ver[21] = {0};
  SQLSMALLINT len = 0;
  SQLRETURN r = SQLGetInfo(pc->hDbc, SQL_DBMS_NAME, name, 100, &len);
  if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO) return 0;
  r = SQLGetInfo(pc->hDbc, SQL_DBMS_VER, ver, 20, &len);
  if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO) return 0;
  if (strncasecmp(name, "Microsoft SQL Server", 20) != 0) return 0;
  if (!isdigit(static_cast<unsigned char>(ver[0]))) return 0;
  int major = ver[0] - '0';
  if (isdigit(static_cast<unsigned char>(ver[1]))) major = major * 10 + (ver[1] - '0');
  return major >= 7;
}

errcode_t ExecuteComplete(_Cursor* pc) {
  errcode_t e = Check4OutParams(pc);
  if (e != ER_SUCCESS) return e;
  if (pc->flags & CURSF_OUTPARAMS) return ProcExecute(pc);
  // A statement with parameters cannot run without their values.
  if (pc->nPardesc > 0 && !pc->parameters) {
    SetVYRErrorMsg(&pc->pendingError, ER_MISMATCH_PARAMS);
    return ER_MISMATCH_PARAMS;
  }
  if (pc->parameters && pc->nPardesc > pc->parameters->nCols) {
    SetVYRErrorMsg(&pc->pendingError, ER_MISMATCH_PARAMS);
    return ER_MISMATCH_PARAMS;
  }
  int rows = pc->nPardesc > 0 ? ParamRows(pc) : 1;
  bool arrays = UseArrays(pc);
  if (!arrays) rows = 1;
  int nParams = pc->parameters ? pc->parameters->nCols : 0;
  uint64_t want = uint64_t(std::max(nParams, 1)) * uint64_t(std::max(rows, 1));
  if (pc->nParamInds < want) {
    SQLLEN* p = static_cast<SQLLEN*>(realloc(pc->pParamInds, size_t(want) * sizeof(SQLLEN)));
    if (!p) return ER_NO_MEMORY;
    pc->pParamInds = p;
    pc->nParamInds = uns32(want);
  }
  pc->bRowCountSum = 0;
  NewResult(pc);
  if (arrays) {
    if (pc->flags & CURSF_REBIND) {
      e = BindAllParametersRows(pc, rows);
      if (e != ER_SUCCESS) return e;
    }
    e = RunStatement(pc);
    if (e != ER_SUCCESS) return e;
  } else if (pc->request.reqType == 1) {
    if (pc->flags & CURSF_REBIND) {
      int row = (pc->parameters && pc->nextParRow < pc->parameters->nRows) ? pc->nextParRow : 0;
      e = BindAllParameters(pc, 1, row);
      if (e != ER_SUCCESS) return e;
    }
    pc->nextParRow++;
    pc->flags &= ~CURSF_REBIND;
    e = RunStatement(pc);
    if (e != ER_SUCCESS) return e;
  } else {
    // Every parameter row runs in turn; the first failure stops the sequence and
    // the row counts are summed.
    int total = (pc->nPardesc > 0 && pc->parameters) ? std::max(1, int(pc->parameters->nRows)) : 1;
    SQLLEN sum = 0;
    bool counted = false;
    for (int r = 0; r < total; r++) {
      if ((pc->flags & CURSF_REBIND) || r > 0) {
        e = BindAllParameters(pc, 1, r);
        if (e != ER_SUCCESS) return e;
      }
      if (r > 0) SQLFreeStmt(pc->hStmt, SQL_CLOSE);
      e = RunStatement(pc);
      if (e != ER_SUCCESS) {
        if (r > 0) pc->rowCountSum = sum, pc->bRowCountSum = 1;
        return e;
      }
      SQLLEN n = -1;
      if (SQLRowCount(pc->hStmt, &n) == SQL_SUCCESS && n >= 0) sum += n, counted = true;
    }
    pc->flags &= ~CURSF_REBIND;
    if (total > 1) {
      pc->rowCountSum = counted ? sum : -1;
      pc->bRowCountSum = 1;
    }
  }
  if (pc->flags & CURSF_NEW_RESULT) {
    FreeColdesc(pc->pColdesc, pc->nColdesc);
    pc->pColdesc = nullptr;
    pc->nColdesc = 0;
    pc->flags &= ~(CURSF_NEW_RESULT | CURSF_DESCRIBED);
  }
  if (!(pc->flags & CURSF_DESCRIBED)) {
    e = GetColdesc(pc);
    if (e != ER_SUCCESS) return e;
  }
  pc->flags |= CURSF_EXECUTED | CURSF_OPEN;
  return ER_SUCCESS;
}

errcode_t ODBC_Execute(handle_t hCursor) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) return ER_INVALID_ARGUMENT;
  if (!(pc->flags & CURSF_PREPARED)) {
    logit(LOG_WARNING, nullptr, 0, "execute without prior prepare");
    return ER_FUNCTION_SEQ;
  }
  CloseCursor(pc);
  pc->nextParRow = 0;
  if (UseArrays(pc) && pc->parameters && pc->parameters->nRows > 1) {
    errcode_t e = CheckStmtErrors(pc, "SQLParamOptions",
                                  SQLParamOptions(pc->hStmt, SQLULEN(pc->parameters->nRows), &pc->rowsParProcessed));
    if (e != ER_SUCCESS) return e;
  }
  pc->fPassMode = 0;
  errcode_t e = ExecuteCheck4DAEParams(pc);
  if (e != ER_SUCCESS) return e;
  return ExecuteComplete(pc);
}

errcode_t ODBC_Execute2(handle_t hCursor, char* sql, Dataset* pDS, uns16 count, Bindesc* pDesc) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) {
    if (pDS) {
      Dataset_Done(pDS);
      free(pDS);
    }
    return ER_INVALID_ARGUMENT;
  }
  errcode_t e;
  if (sql) {
    e = ODBC_Prepare(hCursor, sql);
    if (e != ER_SUCCESS) {
      if (pDS) {
        Dataset_Done(pDS);
        free(pDS);
      }
      return e;
    }
  }
  if (pDS) ODBC_Parameters(hCursor, pDS);
  if (count > 0) {
    e = ODBC_Bind(hCursor, count, pDesc);
    if (e != ER_SUCCESS) return e;
  }
  return ODBC_Execute(hCursor);
}

errcode_t ODBC_ExecuteN(handle_t hCursor, uns16, uns16, uns16*) {
  return ODBC_CursorRec(hCursor) ? ER_DRV_NOT_CAPABLE : ER_INVALID_ARGUMENT;
}

errcode_t ODBC_Cancel(handle_t hCursor) { return ODBC_CursorRec(hCursor) ? ER_SUCCESS : ER_INVALID_ARGUMENT; }

// ---- fetch ----

namespace {

SQLSMALLINT BindCType(const _Cursor* pc, const Coldesc& d) {
  const bool uni = pc->pConnect->unicode;
  switch (d.dbType) {
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
      return uni ? SQL_C_WCHAR : SQL_C_CHAR;
    case SQL_BIGINT:
    case SQL_GUID:
      return SQL_C_CHAR;
    default:
      break;
  }
  // Integer cells are 4 bytes: bind them as SQL_C_LONG, whose size is also the
  // stride of column-wise block fetches.
  if (d.fetchType == CTYPE_SGN32) return SQL_C_LONG;
  if (d.fetchType == CTYPE_UNS32) return SQL_C_ULONG;
  if (d.fetchType == CTYPE_VCHR32) return SQL_C_CHAR;
  if (d.fetchType == CTYPE_VBIN32) return SQL_C_BINARY;
  if (d.fetchType == CTYPE_WVCHR32) return uni ? SQL_C_WCHAR : SQL_C_CHAR;
  if (d.fetchType == CTYPE_VCHR) return SQL_C_CHAR;
  if (d.fetchType == CTYPE_WVCHR) return SQL_C_WCHAR;
  return SQL_C_DEFAULT;
}

bool IsPrefixed(ctype_t t) { return t == CTYPE_VCHR32 || t == CTYPE_VBIN32 || t == CTYPE_WVCHR32; }

// A column left for the long-data call: not bound, indicator -3.
bool IsDeferred(const _Cursor* pc, const Coldesc& d) {
  return pc->st_sccl.bDeferLongData && DB_IsDeferableType(d.dbType);
}

// How a bound column's value lands in its cell: the bytes the driver may write
// (its buffer length) and the bytes of value the cell keeps.
struct CellRoom {
  SQLLEN bufLen;   // the buffer length given to the driver
  uint64_t data;   // value bytes the cell holds, without a terminator
  int unit;        // 1 for bytes, 4 for wide characters
  bool text;       // the driver ends the value with a terminator
};

// rows > 1: a block, whose cells are bound with the cell width as the stride.
// Its prefixed cells get their values four bytes in, so the value may run into
// the next cell's prefix, which is written afterwards: only width - 4 bytes stay.
CellRoom RoomOf(const Coldata* col, SQLSMALLINT cType, sgn32 rows) {
  CellRoom r{};
  const uint64_t w = col->width;
  r.unit = cType == SQL_C_WCHAR ? 4 : 1;
  r.text = cType == SQL_C_CHAR || cType == SQL_C_WCHAR;
  if (IsPrefixed(col->cType)) {
    const uint64_t room = w > 4 ? w - 4 : 0;
    r.bufLen = SQLLEN(rows > 1 ? w : room);
    uint64_t afterTerm = r.text ? (uint64_t(r.bufLen) >= uint64_t(r.unit) ? uint64_t(r.bufLen) - r.unit : 0) : uint64_t(r.bufLen);
    r.data = std::min(room, afterTerm);
  } else {
    r.bufLen = SQLLEN(w);
    r.data = r.text ? (w >= uint64_t(r.unit) ? w - r.unit : 0) : w;
  }
  if (r.unit == 4) r.data &= ~uint64_t(3);
  return r;
}

// Completes a received non-NULL cell: a value longer than the cell is cut to
// whole characters and its terminator is not counted; prefixed cells get their
// length. Returns true when the value was cut.
bool FinishCell(Coldata* col, uint64_t row, SQLLEN received, const CellRoom& room) {
  if (!IsPrefixed(col->cType) && !room.text) return false;  // fixed-size cells
  const bool cut = received == SQL_NO_TOTAL || (received >= 0 && uint64_t(received) > room.data);
  uint64_t len = cut || received < 0 ? room.data : uint64_t(received);
  char* cell = Coldata_Cell(col, row);
  char* value = IsPrefixed(col->cType) ? cell + 4 : cell;
  if (cut && room.text && room.unit == 1) len = utf8_whole_prefix(value, size_t(len));
  if (IsPrefixed(col->cType)) {
    uns32 v = uns32(room.unit == 4 ? len / 4 : len);
    memcpy(cell, &v, 4);
  } else if (cut && room.text) {
    memset(value + len, 0, size_t(room.unit));
  }
  return cut;
}

// The bytes of a received value in a row-path buffer: what is copied into the cell.
uint64_t CopyLength(const Coldata* col, SQLLEN received, const CellRoom& room) {
  if (!IsPrefixed(col->cType) && !room.text) return col->width;  // fixed-size cells
  uint64_t len = received < 0 || uint64_t(received) > room.data ? room.data : uint64_t(received);
  return (IsPrefixed(col->cType) ? 4 : 0) + len + (room.text ? uint64_t(room.unit) : 0);
}

// Row by row: SQLFetch into one row's buffers, bound once for the dataset, and
// each row copied into its cells.
errcode_t FetchRows(_Cursor* pc, Dataset* ds) {
  const uns16 nc = pc->nColdesc;
  const sgn32 nr = ds->allocRows;
  struct Bound {
    bool bound = false;
    bool deferred = false;
    size_t offset = 0;  // of the column's buffer in the row buffer
    CellRoom room{};
  };
  std::vector<Bound> cols(nc);
  size_t rowBytes = 0;
  for (uns16 i = 0; i < nc; i++) {
    const Coldesc& d = pc->pColdesc[i];
    cols[i].deferred = IsDeferred(pc, d);
    if (cols[i].deferred || d.fetchLength == 0) continue;
    cols[i].bound = true;
    cols[i].offset = rowBytes;
    cols[i].room = RoomOf(&ds->col[i], BindCType(pc, d), 1);
    rowBytes += (size_t(ds->col[i].width) + 7) & ~size_t(7);
  }
  std::vector<char> rowBuf(rowBytes + 8);
  std::vector<SQLLEN> ind(std::max<size_t>(nc, 1), 0);
  if (CheckStmtErrors(pc, "SQLFreeStmt(UNBIND)", SQLFreeStmt(pc->hStmt, SQL_UNBIND)) != ER_SUCCESS) return ER_SUCCESS;
  if (pc->bXFetchUsed &&
      CheckStmtErrors(pc, "SQLSetStmtOption(ROWSET_SIZE)", SQLSetStmtOption(pc->hStmt, SQL_ROWSET_SIZE, 1)) != ER_SUCCESS)
    return ER_SUCCESS;
  for (uns16 i = 0; i < nc; i++) {
    if (!cols[i].bound) continue;
    char* buf = rowBuf.data() + cols[i].offset;
    if (IsPrefixed(ds->col[i].cType)) buf += 4;
    SQLRETURN br =
        SQLBindCol(pc->hStmt, SQLUSMALLINT(i + 1), BindCType(pc, pc->pColdesc[i]), buf, cols[i].room.bufLen, &ind[i]);
    if (CheckStmtErrors(pc, "SQLBindCol", br) != ER_SUCCESS) return ER_SUCCESS;
  }
  bool warned = false;
  for (sgn32 r = 0; r < nr; r++) {
    SQLRETURN fr;
    if (pc->bXFetchUsed) {
      // A statement that has fetched in blocks goes on with SQLExtendedFetch
      // until it is closed (SQLFetch would be out of sequence): one row at a time.
      SQLULEN got = 0;
      SQLUSMALLINT st = SQL_ROW_NOROW;
      fr = SQLExtendedFetch(pc->hStmt, SQL_FETCH_NEXT, 0, &got, &st);
      if ((fr == SQL_SUCCESS || fr == SQL_SUCCESS_WITH_INFO) && (got == 0 || st == SQL_ROW_NOROW)) fr = SQL_NO_DATA;
    } else {
      fr = SQLFetch(pc->hStmt);
    }
    if (fr == SQL_NO_DATA) {
      pc->flags |= CURSF_NO_MORE;
      break;
    }
    if (CheckStmtErrors(pc, pc->bXFetchUsed ? "SQLExtendedFetch" : "SQLFetch", fr) != ER_SUCCESS) break;
    pc->rowsProcessed++;
    bool cut = false;
    for (uns16 i = 0; i < nc; i++) {
      Coldata* col = &ds->col[i];
      if (cols[i].deferred) col->indicators[r] = -3;
      if (!cols[i].bound || ind[i] == SQL_NULL_DATA) continue;
      col->indicators[r] = 0;
      memcpy(Coldata_Cell(col, uint64_t(r)), rowBuf.data() + cols[i].offset,
             size_t(CopyLength(col, ind[i], cols[i].room)));
      cut |= FinishCell(col, uint64_t(r), ind[i], cols[i].room);
    }
    if (cut && !warned) {
      QueueTruncationWarning(pc);
      warned = true;
    }
  }
  SQLFreeStmt(pc->hStmt, SQL_UNBIND);
  return ER_SUCCESS;
}

// In blocks: column-wise binding and SQLExtendedFetch. Returns false when a
// set-up step failed before the result's first block fetch, so that the caller
// fetches the same rows on the row path instead.
bool FetchBlock(_Cursor* pc, Dataset* ds) {
  const uns16 nc = pc->nColdesc;
  const sgn32 nr = ds->allocRows;
  std::vector<SQLLEN> ind(size_t(std::max<uns16>(nc, 1)) * size_t(nr), 0);
  std::vector<SQLUSMALLINT> status(size_t(nr), SQL_ROW_NOROW);
  std::vector<CellRoom> rooms(nc);
  auto setupFailed = [&](const char* what, SQLRETURN r) {
    if (CheckStmtErrors(pc, what, r) == ER_SUCCESS) return false;
    return true;
  };
  if (setupFailed("SQLSetStmtOption(BIND_TYPE)", SQLSetStmtOption(pc->hStmt, SQL_BIND_TYPE, SQL_BIND_BY_COLUMN)) ||
      setupFailed("SQLSetStmtOption(ROWSET_SIZE)", SQLSetStmtOption(pc->hStmt, SQL_ROWSET_SIZE, SQLULEN(nr))) ||
      setupFailed("SQLFreeStmt(UNBIND)", SQLFreeStmt(pc->hStmt, SQL_UNBIND))) {
    if (!pc->bBlockStarted) return false;
    return true;  // rows fetched so far stand; the diagnostics stay queued
  }
  for (uns16 i = 0; i < nc; i++) {
    const Coldesc& d = pc->pColdesc[i];
    Coldata* col = &ds->col[i];
    if (d.fetchLength == 0) continue;
    void* ptr = col->values;
    if (IsPrefixed(col->cType)) {
      if (nr > 1) {
        // Each row's value lands four bytes into its cell; the spare bytes at
        // the end take the last row's overhang.
        uint64_t bytes = uint64_t(nr) * col->width + 5;
        void* p = realloc(col->values, size_t(bytes));
        if (!p) return true;
        col->values = p;
      }
      ptr = static_cast<char*>(col->values) + 4;
    }
    const SQLSMALLINT cType = BindCType(pc, d);
    rooms[i] = RoomOf(col, cType, nr);
    SQLRETURN br = SQLBindCol(pc->hStmt, SQLUSMALLINT(i + 1), cType, ptr, rooms[i].bufLen, &ind[size_t(i) * nr]);
    if (setupFailed("SQLBindCol", br)) {
      if (!pc->bBlockStarted) return false;
      return true;
    }
  }
  SQLULEN fetched = 0;  // full width
  pc->bBlockStarted = 1;
  pc->bXFetchUsed = 1;
  SQLRETURN fr = SQLExtendedFetch(pc->hStmt, SQL_FETCH_NEXT, 0, &fetched, status.data());
  if (fr == SQL_NO_DATA) {
    pc->flags |= CURSF_NO_MORE;
    return true;
  }
  if (CheckStmtErrors(pc, "SQLExtendedFetch", fr) != ER_SUCCESS) return true;
  for (sgn32 r = 0; r < nr; r++) {
    if (uint64_t(r) >= fetched || status[size_t(r)] == SQL_ROW_NOROW) {
      pc->flags |= CURSF_NO_MORE;
      continue;
    }
    if (status[size_t(r)] != SQL_ROW_SUCCESS && status[size_t(r)] != 6) continue;
    // Rows land in order, so the counted ones are the first rowsProcessed.
    pc->rowsProcessed++;
  }
  bool cut = false;
  for (uns16 i = 0; i < nc; i++) {
    Coldata* col = &ds->col[i];
    if (pc->pColdesc[i].fetchLength == 0) continue;
    for (sgn32 r = 0; r < nr && uint64_t(r) < fetched; r++) {
      uns16 st = status[size_t(r)];
      if (st != SQL_ROW_SUCCESS && st != 6) continue;
      SQLLEN v = ind[size_t(i) * nr + size_t(r)];
      if (v == SQL_NULL_DATA) continue;
      col->indicators[r] = 0;
      cut |= FinishCell(col, uint64_t(r), v, rooms[i]);
    }
  }
  if (cut) QueueTruncationWarning(pc);
  // A row in error leaves a gap: move the counted rows together.
  sgn32 w = 0;
  for (sgn32 r = 0; r < nr && uint64_t(r) < fetched; r++) {
    uns16 st = status[size_t(r)];
    if (st != SQL_ROW_SUCCESS && st != 6) continue;
    if (w != r) {
      for (uns16 i = 0; i < nc; i++) {
        Coldata* col = &ds->col[i];
        memmove(Coldata_Cell(col, uint64_t(w)), Coldata_Cell(col, uint64_t(r)), col->width);
        col->indicators[w] = col->indicators[r];
        col->indicators[r] = -1;
      }
    }
    w++;
  }
  return true;
}

}  // namespace

errcode_t ODBC_Fetch(handle_t hCursor, uns16 maxRows, Dataset* pDS) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc || !pDS) return ER_INVALID_ARGUMENT;
  pc->iGDRow = pc->iGDCol = -1;
  pc->rowsProcessed = 0;
  if (!(pc->flags & CURSF_EXECUTED)) return ER_FUNCTION_SEQ;
  // The output values are handed over once more-results has announced them.
  if (maxRows == 0 && pc->sp_RetData && (pc->flags & CURSF_OUTPARAMS_SENT)) {
    *pDS = *pc->sp_RetData;
    free(pc->sp_RetData);
    pc->sp_RetData = nullptr;
    return ER_SUCCESS;
  }
  uint64_t max = maxRows;
  if (pc->maxrows) {
    // Rows already past the cap leave nothing more to fetch.
    uint64_t left = pc->rowsFetched >= pc->maxrows ? 0 : uint64_t(pc->maxrows) - pc->rowsFetched;
    max = std::min(max, left);
  }
  if (max == 0 || (pc->flags & CURSF_NO_MORE)) {
    *pDS = Dataset{};
    return ER_SUCCESS;
  }
  const bool hasLong = CursorHasLongColumn(pc);
  sgn32 rows = hasLong ? 1 : sgn32(max);
  errcode_t e = AllocDataset(pc->pColdesc, pc->nColdesc, rows, pDS);
  if (e != ER_SUCCESS) return e;
  bool rowPath = (pc->flags & (CURSF_CATALOG | CURSF_OUTPARAMS)) || hasLong || !pc->pConnect->SessFlags.f_extendedFetch ||
                 !GetCap(pc->pConnect, CAP_EXTENDEDFETCH) || pc->bRowPath;
  if (!rowPath && !FetchBlock(pc, pDS)) {
    // The driver refused a block set-up step before this result's first block:
    // its diagnostics are not the client's, and the same rows come row by row.
    FlushErrorMsgQ(&pc->pendingError);
    SQLFreeStmt(pc->hStmt, SQL_UNBIND);
    pc->bRowPath = 1;
    rowPath = true;
  }
  if (rowPath) {
    e = FetchRows(pc, pDS);
    if (e != ER_SUCCESS) return e;
  }
  pDS->nRows = pc->rowsProcessed;
  pc->rowsFetched += pc->rowsProcessed;
  if (pc->fetchProc) return pc->fetchProc(pc, pDS);
  return ER_SUCCESS;
}

// ---- long data ----

errcode_t ODBC_GetData(handle_t hCursor, sgn32 iCol, sgn32 iRow, precision_t cbWanted, char** ppData,
                       precision_t* pcbData, ctype_t* pCType, sgn32* pcbRemain) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc || !ppData || !pcbData || !pCType || !pcbRemain) return ER_INVALID_ARGUMENT;
  *ppData = nullptr;
  *pcbData = 0;
  if (iCol < 1 || iCol > pc->nColdesc) return ER_INVALID_COLUMN;
  const Coldesc& d = pc->pColdesc[iCol - 1];
  if (!DB_IsLongType(d.dbType) && !IsDeferred(pc, d)) return ER_GENERAL_ERROR;
  const bool uni = pc->pConnect->unicode;
  const bool wideCol = d.sqlType == SQLTYPE_WLONGVARCHAR && uni;
  const bool binary = d.dbType == SQL_LONGVARBINARY || d.dbType == SQL_VARBINARY || d.dbType == SQL_BINARY;
  uint64_t wanted = cbWanted;
  if (pc->maxDataLen) {
    if (pc->iGDRow != iRow || pc->iGDCol != iCol) {
      pc->iGDRow = iRow;
      pc->iGDCol = iCol;
      uint64_t budget = uint64_t(pc->maxDataLen) * (wideCol ? 4 : 1);
      pc->cbGDRemain = sgn32(std::min<uint64_t>(budget, 0x7FFFFFFF));
    }
    if (pc->cbGDRemain <= 0) {
      *pcbRemain = 0;
      *pCType = wideCol ? CTYPE_WCHR : (binary ? CTYPE_BIN : CTYPE_CHR);
      return ER_SUCCESS;
    }
    wanted = std::min<uint64_t>(wanted, uint64_t(pc->cbGDRemain));
  }
  SQLSMALLINT cType;
  uint64_t bufLen, askLen;
  if (binary) {
    cType = SQL_C_BINARY, askLen = wanted, bufLen = wanted;
    *pCType = CTYPE_BIN;
  } else if (wideCol) {
    uint64_t chars = wanted / 4 ? wanted / 4 : wanted;
    cType = SQL_C_WCHAR, askLen = chars * 4 + 4, bufLen = askLen + 4;
    wanted = chars * 4;
    *pCType = CTYPE_WCHR;
  } else {
    cType = SQL_C_CHAR, askLen = wanted + 1, bufLen = wanted + 1;
    *pCType = CTYPE_CHR;
  }
  if (bufLen > 0x7FFFFFFFull) return ER_NO_MEMORY;
  char* buf = static_cast<char*>(calloc(size_t(bufLen) + 1, 1));
  if (!buf) return ER_NO_MEMORY;
  SQLLEN avail = 0;
  SQLRETURN r = SQLGetData(pc->hStmt, SQLUSMALLINT(iCol), cType, buf, SQLLEN(askLen), &avail);
  if (r == SQL_NO_DATA) {
    free(buf);
    *pcbRemain = 0;
    return ER_SUCCESS;
  }
  errcode_t e = CheckStmtErrors(pc, "SQLGetData", r);
  if (e != ER_SUCCESS) {
    free(buf);
    return e;
  }
  uint64_t got = 0;
  sgn32 remain;
  if (avail == SQL_NULL_DATA) {
    // NULL, whatever the budget; nothing more is read for the cell.
    remain = -1;
    if (pc->maxDataLen) pc->cbGDRemain = 0;
  } else if (avail == SQL_NO_TOTAL) {
    remain = -4;
    got = wanted;
    if (r == SQL_SUCCESS) got = wideCol ? wcsnlen(reinterpret_cast<wchar_t*>(buf), size_t(bufLen / 4)) * 4
                                        : (cType == SQL_C_CHAR ? strnlen(buf, size_t(bufLen)) : wanted);
  } else {
    remain = sgn32(std::min<uint64_t>(uint64_t(avail < 0 ? 0 : avail), 0x7FFFFFFF));
    got = std::min<uint64_t>(uint64_t(avail < 0 ? 0 : avail), wanted);
  }
  if (pc->maxDataLen && avail != SQL_NULL_DATA) {
    if (remain > pc->cbGDRemain || remain == -4) remain = std::min<sgn32>(remain == -4 ? pc->cbGDRemain : remain, pc->cbGDRemain);
    pc->cbGDRemain -= sgn32(std::min<uint64_t>(got, uint64_t(pc->cbGDRemain)));
  }
  *pcbRemain = remain;
  if (got == 0) {
    free(buf);
    return ER_SUCCESS;
  }
  char* shrunk = static_cast<char*>(realloc(buf, size_t(got)));
  if (!shrunk) {
    free(buf);
    return ER_NO_MEMORY;
  }
  *ppData = shrunk;
  *pcbData = precision_t(got);
  return ER_SUCCESS;
}

errcode_t ODBC_MoreResults(handle_t hCursor) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) return ER_INVALID_ARGUMENT;
  if (!(pc->flags & CURSF_EXECUTED)) return ER_NO_MORE_RESULTS;
  pc->flags &= ~CURSF_NO_MORE;
  pc->rowsProcessed = 0;
  int rows = (pc->nPardesc > 0 && pc->parameters && pc->parameters->nRows > 0) ? pc->parameters->nRows : 1;
  if (pc->request.reqType == 1 && !UseArrays(pc) && pc->nextParRow > 0 && pc->nextParRow < rows) {
    CloseCursor(pc);
    pc->flags |= CURSF_REBIND;
    return ExecuteComplete(pc);
  }
  SQLRETURN r = SQLMoreResults(pc->hStmt);
  if (r == SQL_NO_DATA) {
    if ((pc->flags & CURSF_OUTPARAMS) && !(pc->flags & CURSF_OUTPARAMS_SENT)) return ProcHandleOutParams(pc);
    pc->flags |= CURSF_NO_MORE;
    return ER_NO_MORE_RESULTS;
  }
  errcode_t e = CheckStmtErrors(pc, "SQLMoreResults", r);
  if (e != ER_SUCCESS) return e;
  NewResult(pc);
  FreeColdesc(pc->pColdesc, pc->nColdesc);
  pc->pColdesc = nullptr;
  pc->nColdesc = 0;
  pc->flags &= ~CURSF_DESCRIBED;
  e = GetColdesc(pc);
  if (pc->nColdesc > 0) pc->flags |= CURSF_NEW_RESULT;
  return e;
}
