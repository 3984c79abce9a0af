// Fetch: fetches result rows into a dataset, row by row or in blocks bound
// column-wise, cutting values to their cells and leaving deferred long
// columns to the long-data call.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

#include "backend/backend.h"
#include "backend/sessions.h"
#include "sqlucode.h"
#include "util/unicode.h"

// A column left for the long-data call: not bound, indicator -3.
bool IsDeferredColumn(const _Cursor* pc, const Coldesc& d) {
  return pc->st_sccl.bDeferLongData && DB_IsDeferableType(d.dbType);
}

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

// How a bound column's value lands in its cell: the bytes the driver may write
// (its buffer length) and the bytes of value the cell keeps.
struct CellRoom {
  SQLLEN bufLen;  // the buffer length given to the driver
  uint64_t data;  // value bytes the cell holds, without a terminator
  int unit;       // 1 for bytes, 4 for wide characters
  bool text;      // the driver ends the value with a terminator
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
    uint64_t afterTerm = r.text ? (uint64_t(r.bufLen) >= uint64_t(r.unit) ? uint64_t(r.bufLen) - r.unit : 0)
                                : uint64_t(r.bufLen);
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
  const bool prefixed = IsPrefixed(col->cType);
  if (!prefixed && !room.text) return false;  // fixed-size cells
  const bool cut = received == SQL_NO_TOTAL || (received >= 0 && uint64_t(received) > room.data);
  if (!prefixed && !cut) return false;  // the driver's terminator ends the text
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

// A column whose values come whole into long cells (a cursor with
// bWholeLongData): read with SQLGetData after the row's fetch.
bool IsWholeLongColumn(const Coldesc& d) { return ctype_is_long(d.fetchType) && d.fetchLength != 0; }

// One long value read piece by piece into a buffer of its own, which grows
// with what the driver announces and never beyond the value's cap.
struct LongValue {
  char* data = nullptr;  // text ends with a terminator
  uint64_t bytes = 0;
  bool null = false;
  bool cut = false;  // longer than the cap: cut there
  LongValue() = default;
  LongValue(const LongValue&) = delete;
  LongValue& operator=(const LongValue&) = delete;
  ~LongValue() { Reset(); }
  void Reset() {
    free(data);
    data = nullptr;
    bytes = 0;
    null = cut = false;
  }
};

// The bytes a text piece the driver cut holds: up to its terminator.
uint64_t PieceLength(const char* p, uint64_t room, uint64_t unit) {
  if (unit == 1) return strnlen(p, size_t(room));
  uint64_t n = 0;
  for (uint32_t ch; n + 4 <= room; n += 4) {
    memcpy(&ch, p + n, 4);
    if (ch == 0) break;
  }
  return n;
}

// False when the driver failed (its diagnostics are queued) or memory ran out.
bool ReadLongValue(_Cursor* pc, uns16 i, LongValue* v) {
  const Coldesc& d = pc->pColdesc[i];
  const bool wide = d.fetchType == CTYPE_WLCHR, text = d.fetchType != CTYPE_LBIN;
  const SQLSMALLINT cType = wide ? SQL_C_WCHAR : text ? SQL_C_CHAR : SQL_C_BINARY;
  const uint64_t unit = wide ? 4 : 1, term = text ? unit : 0;
  const uint64_t cap = uint64_t(d.fetchLength) * unit;
  constexpr uint64_t kFirstPiece = 64 * 1024;
  uint64_t want = std::min(cap, kFirstPiece), have = 0;
  for (;;) {
    if (v->bytes + want + term > have) {
      have = v->bytes + want + term;
      void* p = realloc(v->data, size_t(std::max<uint64_t>(have, 1)));
      if (!p) return false;
      v->data = static_cast<char*>(p);
    }
    char* at = v->data + v->bytes;
    SQLLEN avail = 0;
    SQLRETURN r = SQLGetData(pc->hStmt, SQLUSMALLINT(i + 1), cType, at, SQLLEN(want + term), &avail);
    if (r == SQL_NO_DATA) break;  // nothing more of the value
    if (CheckStmtErrors(pc, "SQLGetData", r) != ER_SUCCESS) return false;
    if (avail == SQL_NULL_DATA) {
      v->null = true;
      return true;
    }
    // The driver announces the bytes left before this piece, or no total.
    const bool last = avail >= 0 ? uint64_t(avail) <= want : r == SQL_SUCCESS;
    uint64_t got = avail >= 0 && uint64_t(avail) <= want ? uint64_t(avail)
                   : text                                ? PieceLength(at, want, unit)
                                                         : want;
    if (unit == 4) got &= ~uint64_t(3);
    v->bytes += got;
    if (last) break;
    // A driver that hands out nothing more before the end: what came is kept, as cut.
    if (got == 0 || v->bytes >= cap) {
      v->cut = true;
      break;
    }
    const uint64_t rest = avail >= 0 ? uint64_t(avail) - got : std::max(v->bytes, kFirstPiece);
    want = std::min(std::max<uint64_t>(rest, unit), cap - v->bytes);
    if (unit == 4) want = std::max<uint64_t>(want & ~uint64_t(3), 4);
  }
  if (v->cut && unit == 1 && text) v->bytes = utf8_whole_prefix(v->data, size_t(v->bytes));
  if (term) memset(v->data + v->bytes, 0, size_t(term));
  // Only the value's own length stays allocated.
  if (void* p = realloc(v->data, size_t(std::max<uint64_t>(v->bytes + term, 1))))
    v->data = static_cast<char*>(p);
  return true;
}

// Hands a value over to its long cell: its length (characters for wide text)
// and its buffer.
void PutLongCell(Coldata* col, uint64_t row, LongValue* v) {
  char* cell = Coldata_Cell(col, row);
  const uns32 len = uns32(col->cType == CTYPE_WLCHR ? v->bytes / 4 : v->bytes);
  memset(cell, 0, 16);
  memcpy(cell, &len, 4);
  memcpy(cell + 8, &v->data, sizeof v->data);
  v->data = nullptr;
}

// The buffers bound for a fetch are the call's or the caller's dataset's: no
// binding to them may outlive the call.
struct UnbindOnExit {
  SQLHSTMT st;
  ~UnbindOnExit() { SQLFreeStmt(st, SQL_UNBIND); }
};

// Row by row: SQLFetch into one row's buffers, bound once for the dataset, and
// each row copied into its cells.
errcode_t FetchRows(_Cursor* pc, Dataset* ds) {
  DriverWait wait(pc->hStmt);
  const uns16 nc = pc->nColdesc;
  const sgn32 nr = ds->allocRows;
  struct Bound {
    bool bound = false;
    bool deferred = false;
    bool whole = false;  // read whole into a long cell after the fetch
    bool late = false;   // read with SQLGetData after the fetch, not bound
    size_t offset = 0;   // of the column's buffer in the row buffer
    CellRoom room{};
  };
  std::vector<Bound> cols(nc);
  size_t rowBytes = 0;
  // Drivers hand out unbound columns after the last bound one only: from the
  // first long value on, every column is read after the fetch, in order.
  bool late = false;
  for (uns16 i = 0; i < nc; i++) {
    const Coldesc& d = pc->pColdesc[i];
    cols[i].deferred = IsDeferredColumn(pc, d);
    cols[i].whole = IsWholeLongColumn(d);
    late |= cols[i].whole;
    cols[i].late = late;
    if (cols[i].deferred || cols[i].whole || d.fetchLength == 0) continue;
    cols[i].bound = true;
    cols[i].offset = rowBytes;
    cols[i].room = RoomOf(&ds->col[i], BindCType(pc, d), 1);
    rowBytes += (size_t(ds->col[i].width) + 7) & ~size_t(7);
  }
  std::vector<char> rowBuf(rowBytes + 8);
  std::vector<SQLLEN> ind(std::max<size_t>(nc, 1), 0);
  if (CheckStmtErrors(pc, "SQLFreeStmt(UNBIND)", SQLFreeStmt(pc->hStmt, SQL_UNBIND)) != ER_SUCCESS)
    return ER_SUCCESS;
  // One row per call whatever an earlier result of the statement fetched.
  if (pc->drvRowsetSize > 1) {
    if (CheckStmtErrors(pc, "SQLSetStmtOption(ROWSET_SIZE)",
                        SQLSetStmtOption(pc->hStmt, SQL_ROWSET_SIZE, 1)) != ER_SUCCESS)
      return ER_SUCCESS;
    pc->drvRowsetSize = 1;
  }
  const UnbindOnExit unbind{pc->hStmt};
  auto bufOf = [&](uns16 i) {
    char* buf = rowBuf.data() + cols[i].offset;
    return IsPrefixed(ds->col[i].cType) ? buf + 4 : buf;
  };
  for (uns16 i = 0; i < nc; i++) {
    if (!cols[i].bound || cols[i].late) continue;
    SQLRETURN br = SQLBindCol(pc->hStmt, SQLUSMALLINT(i + 1), BindCType(pc, pc->pColdesc[i]), bufOf(i),
                              cols[i].room.bufLen, &ind[i]);
    if (CheckStmtErrors(pc, "SQLBindCol", br) != ER_SUCCESS) return ER_SUCCESS;
  }
  // The columns read after the fetch, into the row buffer as if bound, or
  // whole; false when a read failed (the row is not taken).
  std::vector<LongValue> longs(late ? nc : 0);
  auto readLate = [&]() {
    for (uns16 i = 0; late && i < nc; i++) {
      if (cols[i].whole) {
        longs[i].Reset();
        if (!ReadLongValue(pc, i, &longs[i])) return false;
      } else if (cols[i].bound && cols[i].late) {
        SQLRETURN gr = SQLGetData(pc->hStmt, SQLUSMALLINT(i + 1), BindCType(pc, pc->pColdesc[i]), bufOf(i),
                                  cols[i].room.bufLen, &ind[i]);
        if (CheckStmtErrors(pc, "SQLGetData", gr) != ER_SUCCESS) return false;
      }
    }
    return true;
  };
  bool warned = false;
  for (sgn32 r = 0; r < nr; r++) {
    SQLRETURN fr;
    if (pc->bXFetchUsed) {
      // A statement that has fetched in blocks goes on with SQLExtendedFetch
      // until it is closed (SQLFetch would be out of sequence): one row at a time.
      SQLULEN got = 0;
      SQLUSMALLINT st = SQL_ROW_NOROW;
      fr = SQLExtendedFetch(pc->hStmt, SQL_FETCH_NEXT, 0, &got, &st);
      if ((fr == SQL_SUCCESS || fr == SQL_SUCCESS_WITH_INFO) && (got == 0 || st == SQL_ROW_NOROW))
        fr = SQL_NO_DATA;
    } else {
      fr = SQLFetch(pc->hStmt);
    }
    if (fr == SQL_NO_DATA) {
      pc->flags |= CURSF_NO_MORE;
      break;
    }
    if (CheckStmtErrors(pc, pc->bXFetchUsed ? "SQLExtendedFetch" : "SQLFetch", fr) != ER_SUCCESS) break;
    if (!readLate()) break;
    pc->rowsProcessed++;
    bool cut = false;
    for (uns16 i = 0; i < nc; i++) {
      Coldata* col = &ds->col[i];
      if (cols[i].deferred) col->indicators[r] = -3;
      if (cols[i].whole && !longs[i].null) {
        col->indicators[r] = 0;
        cut |= longs[i].cut;
        PutLongCell(col, uint64_t(r), &longs[i]);
      }
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
  return ER_SUCCESS;
}

// In blocks: column-wise binding and SQLExtendedFetch. Returns false when a
// set-up step failed before the result's first block fetch, so that the caller
// fetches the same rows on the row path instead.
bool FetchBlock(_Cursor* pc, Dataset* ds) {
  DriverWait wait(pc->hStmt);
  const uns16 nc = pc->nColdesc;
  const sgn32 nr = ds->allocRows;
  std::vector<SQLLEN> ind(size_t(std::max<uns16>(nc, 1)) * size_t(nr), 0);
  std::vector<SQLUSMALLINT> status(size_t(nr), SQL_ROW_NOROW);
  std::vector<CellRoom> rooms(nc);
  auto setupFailed = [&](const char* what, SQLRETURN r) {
    if (CheckStmtErrors(pc, what, r) == ER_SUCCESS) return false;
    return true;
  };
  // A refused size may still have been taken: the row path sets it back.
  pc->drvRowsetSize = std::max(pc->drvRowsetSize, SQLULEN(nr));
  if (setupFailed("SQLSetStmtOption(BIND_TYPE)",
                  SQLSetStmtOption(pc->hStmt, SQL_BIND_TYPE, SQL_BIND_BY_COLUMN)) ||
      setupFailed("SQLSetStmtOption(ROWSET_SIZE)",
                  SQLSetStmtOption(pc->hStmt, SQL_ROWSET_SIZE, SQLULEN(nr))) ||
      setupFailed("SQLFreeStmt(UNBIND)", SQLFreeStmt(pc->hStmt, SQL_UNBIND))) {
    if (!pc->bBlockStarted) return false;
    return true;  // rows fetched so far stand; the diagnostics stay queued
  }
  pc->drvRowsetSize = SQLULEN(nr);
  const UnbindOnExit unbind{pc->hStmt};
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
    SQLRETURN br =
        SQLBindCol(pc->hStmt, SQLUSMALLINT(i + 1), cType, ptr, rooms[i].bufLen, &ind[size_t(i) * nr]);
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
  auto counted = [&status](sgn32 r) {
    return status[size_t(r)] == SQL_ROW_SUCCESS || status[size_t(r)] == 6;
  };
  bool gaps = false;  // a row below the fetched count that is not counted
  for (sgn32 r = 0; r < nr; r++) {
    if (uint64_t(r) < fetched && !counted(r)) gaps = true;
    if (uint64_t(r) >= fetched || status[size_t(r)] == SQL_ROW_NOROW) {
      pc->flags |= CURSF_NO_MORE;
      continue;
    }
    if (!counted(r)) continue;
    // Rows land in order, so the counted ones are the first rowsProcessed.
    pc->rowsProcessed++;
  }
  bool cut = false;
  for (uns16 i = 0; i < nc; i++) {
    Coldata* col = &ds->col[i];
    if (pc->pColdesc[i].fetchLength == 0) continue;
    // Text the driver ended within its cell needs nothing more.
    const bool prefixed = IsPrefixed(col->cType), text = rooms[i].text;
    const uint64_t fits = rooms[i].data;
    const SQLLEN* colInd = &ind[size_t(i) * nr];
    for (sgn32 r = 0; r < nr && uint64_t(r) < fetched; r++) {
      if (gaps && !counted(r)) continue;
      SQLLEN v = colInd[r];
      if (v == SQL_NULL_DATA) continue;
      col->indicators[r] = 0;
      if (prefixed || (text && (v < 0 || uint64_t(v) > fits)))
        cut |= FinishCell(col, uint64_t(r), v, rooms[i]);
    }
  }
  if (cut) QueueTruncationWarning(pc);
  // A row in error leaves a gap: move the counted rows together.
  sgn32 w = 0;
  for (sgn32 r = 0; gaps && r < nr && uint64_t(r) < fetched; r++) {
    if (!counted(r)) continue;
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
  bool rowPath = (pc->flags & (CURSF_CATALOG | CURSF_OUTPARAMS)) || hasLong ||
                 !pc->pConnect->SessFlags.f_extendedFetch || !GetCap(pc->pConnect, CAP_EXTENDEDFETCH) ||
                 pc->bRowPath;
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
