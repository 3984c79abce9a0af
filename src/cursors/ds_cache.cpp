// Dataset cache and the serialisation of datasets into temporary files: see
// ds_cache.h. Files are in the machine's byte order and never leave the
// process (they have no name from the moment they are opened).
#include "cursors/ds_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "cursors/inner.h"
#include "model/dataset_util.h"
#include "util/log.h"

namespace {

struct SRLZ {
  int s_op;
  FILE* s_fp;
  // Reading rows read from the file in one piece: what is left of them.
  const char* s_buf = nullptr;
  size_t s_left = 0;
  // Writing rows gathered to go to the file in one piece.
  std::string* s_out = nullptr;
};

// A cache's files belong to one cursor, used by one thread at a time: the
// cells go through the stream without taking its lock each time.
bool io(SRLZ* s, void* p, size_t n) {
  if (n == 0) return true;
  if (s->s_buf) {
    if (n > s->s_left) return false;
    memcpy(p, s->s_buf, n);
    s->s_buf += n;
    s->s_left -= n;
    return true;
  }
  if (s->s_out) {
    s->s_out->append(static_cast<const char*>(p), n);
    return true;
  }
  if (s->s_op == SRLZ_WRITE) return fwrite_unlocked(p, 1, n, s->s_fp) == n;
  return fread_unlocked(p, 1, n, s->s_fp) == n;
}

// The bytes a read can still give: what is left of the rows read in one
// piece, or what follows the file's position.
bool BytesLeft(SRLZ* s, uint64_t* pLeft) {
  if (s->s_buf) {
    *pLeft = s->s_left;
    return true;
  }
  long here = ftell(s->s_fp);
  if (here < 0 || fseek(s->s_fp, 0, SEEK_END) != 0) return false;
  long end = ftell(s->s_fp);
  if (end < 0 || fseek(s->s_fp, here, SEEK_SET) != 0) return false;
  *pLeft = uint64_t(end - here);
  return true;
}

bool io32(SRLZ* s, sgn32* v) { return io(s, v, 4); }

// An integer cell of `bytes` bytes travels as 4 bytes, sign- or zero-extended.
bool srlz_int(SRLZ* s, char* cell, int bytes, bool sign) {
  sgn32 v = 0;
  if (s->s_op == SRLZ_WRITE) {
    if (bytes == 1)
      v = sign ? sgn32(sgn8(cell[0])) : sgn32(uns8(cell[0]));
    else if (bytes == 2) {
      if (sign) {
        sgn16 x;
        memcpy(&x, cell, 2);
        v = x;
      } else {
        uns16 x;
        memcpy(&x, cell, 2);
        v = x;
      }
    } else
      memcpy(&v, cell, 4);
    return io32(s, &v);
  }
  if (!io32(s, &v)) return false;
  if (bytes == 1)
    cell[0] = char(v);
  else if (bytes == 2) {
    uns16 x = uns16(v);
    memcpy(cell, &x, 2);
  } else
    memcpy(cell, &v, 4);
  return true;
}

bool srlz_c_date(SRLZ* s, char* cell) {
  c_date d;
  memcpy(&d, cell, sizeof d);
  sgn32 f[3] = {d.year, d.month, d.day};
  if (!io(s, f, sizeof f)) return false;
  if (s->s_op == SRLZ_READ) {
    d.year = sgn16(f[0]);
    d.month = uns16(f[1]);
    d.day = uns16(f[2]);
    memcpy(cell, &d, sizeof d);
  }
  return true;
}

bool srlz_c_time(SRLZ* s, char* cell) {
  c_time t;
  memcpy(&t, cell, sizeof t);
  sgn32 f[3] = {t.hour, t.minute, t.second};
  if (!io(s, f, sizeof f)) return false;
  if (s->s_op == SRLZ_READ) {
    t.hour = uns16(f[0]);
    t.minute = uns16(f[1]);
    t.second = uns16(f[2]);
    memcpy(cell, &t, sizeof t);
  }
  return true;
}

bool srlz_c_timestamp(SRLZ* s, char* cell) {
  c_timestamp t;
  memcpy(&t, cell, sizeof t);
  sgn32 f[7] = {t.year, t.month, t.day, t.hour, t.minute, t.second, sgn32(t.fraction)};
  if (!io(s, f, sizeof f)) return false;
  if (s->s_op == SRLZ_READ) {
    t.year = sgn16(f[0]);
    t.month = uns16(f[1]);
    t.day = uns16(f[2]);
    t.hour = uns16(f[3]);
    t.minute = uns16(f[4]);
    t.second = uns16(f[5]);
    t.fraction = uns32(f[6]);
    memcpy(cell, &t, sizeof t);
  }
  return true;
}

// A long cell: the length (in units of unit bytes), then the data. Reading
// allocates the data; text gets one more unit and a terminating zero.
bool srlz_long(SRLZ* s, char* cell, size_t unit, bool text) {
  uns32 len;
  void* data;
  memcpy(&len, cell, 4);
  memcpy(&data, cell + 8, sizeof data);
  if (s->s_op == SRLZ_WRITE) {
    if (!data) len = 0;
    sgn32 l = sgn32(len);
    return io32(s, &l) && io(s, data, size_t(len) * unit);
  }
  sgn32 l = 0;
  if (!io32(s, &l) || l < 0) return false;
  len = uns32(l);
  // A length the file cannot hold is a damaged file, not an allocation to try.
  uint64_t left = 0;
  if (!BytesLeft(s, &left) || uint64_t(len) * unit > left) return false;
  size_t bytes = size_t(len) * unit + (text ? unit : 0);
  void* p = nullptr;
  if (bytes > 0) {
    p = calloc(1, bytes);
    if (!p) return false;
    if (!io(s, p, size_t(len) * unit)) {
      free(p);
      return false;
    }
  }
  memcpy(cell, &len, 4);
  memcpy(cell + 8, &p, sizeof p);
  return true;
}

bool srlz_c_lchr(SRLZ* s, char* cell) { return srlz_long(s, cell, 1, true); }
bool srlz_c_lbin(SRLZ* s, char* cell) { return srlz_long(s, cell, 1, false); }
bool srlz_c_wlchr(SRLZ* s, char* cell) { return srlz_long(s, cell, 4, true); }

// A variable cell: the prefix as 4 bytes, then that many units, which must fit
// in the cell.
bool srlz_var(SRLZ* s, char* cell, precision_t width, unsigned prefix, size_t unit) {
  uns32 len = 0;
  if (s->s_op == SRLZ_WRITE) {
    if (prefix == 1)
      len = uns8(cell[0]);
    else if (prefix == 2) {
      uns16 x;
      memcpy(&x, cell, 2);
      len = x;
    } else
      memcpy(&len, cell, 4);
  }
  sgn32 l = sgn32(len);
  if (!io32(s, &l)) return false;
  len = uns32(l);
  if (l < 0 || uint64_t(len) * unit + prefix > width) return false;
  if (s->s_op == SRLZ_READ) {
    if (prefix == 1)
      cell[0] = char(len);
    else if (prefix == 2) {
      uns16 x = uns16(len);
      memcpy(cell, &x, 2);
    } else
      memcpy(cell, &len, 4);
  }
  return io(s, cell + prefix, size_t(len) * unit);
}

bool srlz_cell(SRLZ* s, Coldata* c, sgn32 row) {
  sgn32 ind = s->s_op == SRLZ_WRITE ? c->indicators[row] : 0;
  if (!io32(s, &ind)) return false;
  if (s->s_op == SRLZ_READ) c->indicators[row] = indicator_t(ind);
  if (ind != 0) return true;
  char* cell = Coldata_Cell(c, uint64_t(row));
  switch (c->cType) {
    case CTYPE_VOID:
      return true;
    case CTYPE_BIT1:
    case CTYPE_UNS8:
      return srlz_int(s, cell, 1, false);
    case CTYPE_SGN8:
      return srlz_int(s, cell, 1, true);
    case CTYPE_SGN16:
      return srlz_int(s, cell, 2, true);
    case CTYPE_UNS16:
      return srlz_int(s, cell, 2, false);
    case CTYPE_SGN32:
    case CTYPE_UNS32:
    case CTYPE_FLT32:
      return srlz_int(s, cell, 4, false);
    case CTYPE_FLT64:
      return io(s, cell, 8);
    case CTYPE_DATE:
      return srlz_c_date(s, cell);
    case CTYPE_TIME:
      return srlz_c_time(s, cell);
    case CTYPE_TIMESTAMP:
      return srlz_c_timestamp(s, cell);
    case CTYPE_LCHR:
      return srlz_c_lchr(s, cell);
    case CTYPE_LBIN:
      return srlz_c_lbin(s, cell);
    case CTYPE_WLCHR:
      return srlz_c_wlchr(s, cell);
    case CTYPE_VCHR8:
    case CTYPE_VBIN8:
      return srlz_var(s, cell, c->width, 1, 1);
    case CTYPE_VCHR16:
    case CTYPE_VBIN16:
      return srlz_var(s, cell, c->width, 2, 1);
    case CTYPE_VCHR32:
    case CTYPE_VBIN32:
      return srlz_var(s, cell, c->width, 4, 1);
    case CTYPE_WVCHR32:
      return srlz_var(s, cell, c->width, 4, 4);
    case CTYPE_CHR:
    case CTYPE_BIN:
    case CTYPE_VCHR:
    case CTYPE_WCHR:
    case CTYPE_WVCHR:
      return io(s, cell, c->width);
    default:
      return false;
  }
}

// The most bytes of rows a read or write takes in one piece.
constexpr int64_t kSpanMax = 4 << 20;

bool IsLongType(ctype_t t) { return t == CTYPE_LCHR || t == CTYPE_LBIN || t == CTYPE_WLCHR; }

// Rows from..from+n of pDS, each followed by its offset in the index when one is given.
bool srlz_DSetRows(SRLZ* s, FILE* fdIndx, Dataset* pDS, sgn32 from, sgn32 n) {
  if (s->s_op != SRLZ_WRITE) {
    for (sgn32 r = from; r < from + n; r++)
      for (uns16 c = 0; c < pDS->nCols; c++)
        if (!srlz_cell(s, &pDS->col[c], r)) return false;
    return true;
  }
  // Rows gather in memory and go to the files in pieces of moderate size.
  int64_t base = ftell(s->s_fp);
  if (base < 0) return false;
  std::string out;
  std::vector<int64_t> offsets;
  SRLZ m{SRLZ_WRITE, s->s_fp};
  m.s_out = &out;
  auto flush = [&] {
    if (fwrite(out.data(), 1, out.size(), s->s_fp) != out.size()) return false;
    if (fdIndx && fwrite(offsets.data(), 8, offsets.size(), fdIndx) != offsets.size()) return false;
    base += int64_t(out.size());
    out.clear();
    offsets.clear();
    return true;
  };
  for (sgn32 r = from; r < from + n; r++) {
    offsets.push_back(base + int64_t(out.size()));
    for (uns16 c = 0; c < pDS->nCols; c++)
      if (!srlz_cell(&m, &pDS->col[c], r)) return false;
    if (int64_t(out.size()) >= kSpanMax && !flush()) return false;
  }
  return flush();
}

bool WriteHeader(FILE* fp, uns32 nCols, sgn32 nRows) {
  return fseek(fp, 0, SEEK_SET) == 0 && fwrite(&nCols, 4, 1, fp) == 1 && fwrite(&nRows, 4, 1, fp) == 1;
}

bool ReadHeader(FILE* fp, uns32* nCols, sgn32* nRows) {
  return fseek(fp, 0, SEEK_SET) == 0 && fread(nCols, 4, 1, fp) == 1 && fread(nRows, 4, 1, fp) == 1;
}

bool WriteColumn(FILE* fp, const Coldata* c) {
  sgn32 t = c->cType;
  uns32 w = IsLongType(c->cType) ? 16 : c->width;
  return fwrite(&t, 4, 1, fp) == 1 && fwrite(&w, 4, 1, fp) == 1;
}

bool ReadColumn(FILE* fp, Coldata* c) {
  sgn32 t;
  uns32 w;
  if (fread(&t, 4, 1, fp) != 1 || fread(&w, 4, 1, fp) != 1) return false;
  if (t < 0 || t > CTYPE_WVCHR32) return false;
  c->cType = ctype_t(t);
  c->width = IsLongType(c->cType) ? 16 : w;
  return true;
}

// A dataset shaped by the column descriptions at the file's current position.
bool ReadShape(FILE* fp, Dataset* pDS, uns32 nCols) {
  if (nCols > 0xFFFF || Dataset_Init(pDS, uns16(nCols)) != ER_SUCCESS) return false;
  pDS->nCols = uns16(nCols);
  for (uns16 c = 0; c < pDS->nCols; c++)
    if (!ReadColumn(fp, &pDS->col[c])) {
      Dataset_Done(pDS);
      return false;
    }
  return true;
}

}  // namespace

FILE* DSC_TempFile() {
  const char* dir = getenv("TMPDIR");
  if (!dir || !*dir) dir = "/tmp";
  int fd = open(dir, O_TMPFILE | O_RDWR | O_CLOEXEC, S_IRUSR | S_IWUSR);
  if (fd < 0) {
    // A file system without unnamed files: a named one, unlinked at once.
    std::string path = std::string(dir) + "/sqlgateXXXXXX";
    std::vector<char> name(path.begin(), path.end());
    name.push_back('\0');
    fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return nullptr;
    unlink(name.data());
  }
  FILE* fp = fdopen(fd, "w+b");
  if (!fp) close(fd);
  return fp;
}

int Dataset_SrlzSubset(int op, FILE* fdVals, FILE* fdIndx, Dataset* pDS, sgn32 irow, sgn32 nRows) {
  if (!fdVals || !fdIndx || !pDS || irow < 0) return 0;
  SRLZ s{op, fdVals};
  if (op == SRLZ_WRITE) {
    if (irow > pDS->nRows) return 0;
    sgn32 n = (nRows <= 0 || nRows > pDS->nRows - irow) ? pDS->nRows - irow : nRows;
    if (!WriteHeader(fdVals, pDS->nCols, pDS->nRows)) return 0;
    for (uns16 c = 0; c < pDS->nCols; c++)
      if (!WriteColumn(fdVals, &pDS->col[c])) return 0;
    if (fseek(fdIndx, 0, SEEK_SET) != 0) return 0;
    if (!srlz_DSetRows(&s, fdIndx, pDS, irow, n)) return 0;
    if (!WriteHeader(fdVals, pDS->nCols, n) || fseek(fdVals, 0, SEEK_END) != 0) return 0;
    return fflush(fdVals) == 0 && fflush(fdIndx) == 0;
  }
  uns32 nCols;
  sgn32 fileRows;
  if (!ReadHeader(fdVals, &nCols, &fileRows) || nCols == 0 || fileRows < 0 || irow >= fileRows) return 0;
  sgn32 n = (nRows <= 0 || nRows > fileRows - irow) ? fileRows - irow : nRows;
  if (!ReadShape(fdVals, pDS, nCols)) return 0;
  int64_t off;
  if (Dataset_AllocColumns(pDS, n) != ER_SUCCESS || fseek(fdIndx, long(irow) * 8, SEEK_SET) != 0 ||
      fread(&off, 8, 1, fdIndx) != 1 || off < 0) {
    Dataset_Done(pDS);
    return 0;
  }
  pDS->nRows = n;
  // The rows end where the next row starts, or at the file's end. A span of
  // moderate size is read in one piece: cell by cell through the stream costs
  // a call per value.
  int64_t end = -1;
  if (irow + n < fileRows) {
    if (fseek(fdIndx, long(irow + n) * 8, SEEK_SET) != 0 || fread(&end, 8, 1, fdIndx) != 1) end = -1;
  } else if (fseek(fdVals, 0, SEEK_END) == 0) {
    end = ftell(fdVals);
  }
  std::unique_ptr<char[]> span;
  if (end > off && end - off <= kSpanMax) {
    const size_t bytes = size_t(end - off);
    span.reset(new (std::nothrow) char[bytes]);
    if (!span || fseek(fdVals, long(off), SEEK_SET) != 0 || fread(span.get(), 1, bytes, fdVals) != bytes) {
      Dataset_Done(pDS);
      return 0;
    }
    s.s_buf = span.get();
    s.s_left = bytes;
  } else if (fseek(fdVals, long(off), SEEK_SET) != 0) {
    Dataset_Done(pDS);
    return 0;
  }
  if (!srlz_DSetRows(&s, nullptr, pDS, 0, n)) {
    Dataset_Done(pDS);
    return 0;
  }
  return 1;
}

int Dataset_SrlzAppend(FILE* fdVals, FILE* fdIndx, Dataset* pDS) {
  if (!fdVals || !fdIndx || !pDS) return 0;
  if (pDS->nRows == 0) return 1;
  uns32 nCols;
  sgn32 fileRows;
  if (!ReadHeader(fdVals, &nCols, &fileRows) || fileRows < 0) return 0;
  if (fseek(fdVals, 0, SEEK_END) != 0 || fseek(fdIndx, 0, SEEK_END) != 0) return 0;
  SRLZ s{SRLZ_WRITE, fdVals};
  if (!srlz_DSetRows(&s, fdIndx, pDS, 0, pDS->nRows)) return 0;
  if (int64_t(fileRows) + pDS->nRows > INT32_MAX) return 0;
  if (!WriteHeader(fdVals, pDS->nCols, fileRows + pDS->nRows) || fseek(fdVals, 0, SEEK_END) != 0) return 0;
  return fflush(fdVals) == 0 && fflush(fdIndx) == 0;
}

int Dataset_Srlz(int op, FILE* fd, Dataset* pDS) {
  if (!fd || !pDS) return 0;
  SRLZ s{op, fd};
  if (op == SRLZ_WRITE) {
    if (!WriteHeader(fd, pDS->nCols, pDS->nRows)) return 0;
    if (pDS->nRows == 0 || pDS->nCols == 0) return fflush(fd) == 0;
    for (uns16 c = 0; c < pDS->nCols; c++) {
      if (!WriteColumn(fd, &pDS->col[c])) return 0;
      for (sgn32 r = 0; r < pDS->nRows; r++)
        if (!srlz_cell(&s, &pDS->col[c], r)) return 0;
    }
    return fflush(fd) == 0;
  }
  uns32 nCols;
  sgn32 nRows;
  if (!ReadHeader(fd, &nCols, &nRows) || nRows < 0 || nCols > 0xFFFF) return 0;
  if (Dataset_Init(pDS, uns16(nCols)) != ER_SUCCESS) return 0;
  pDS->nCols = uns16(nCols);
  if (nRows == 0 || nCols == 0) return 1;
  // Columns are stored one after the other: shape first, then rows.
  for (uns16 c = 0; c < pDS->nCols; c++) {
    if (!ReadColumn(fd, &pDS->col[c]) || Coldata_Init(&pDS->col[c], nRows) != ER_SUCCESS) {
      pDS->allocRows = nRows;
      Dataset_Done(pDS);
      return 0;
    }
    for (sgn32 r = 0; r < nRows; r++)
      if (!srlz_cell(&s, &pDS->col[c], r)) {
        pDS->allocRows = nRows;
        Dataset_Done(pDS);
        return 0;
      }
  }
  pDS->allocRows = nRows;
  pDS->nRows = nRows;
  return 1;
}

void DSC_Init(DSCache* me) {
  me->fState = DSC_IN_MEMORY;
  me->fdVals = nullptr;
  me->fdIndx = nullptr;
  me->WinSize = DSC_MEM_ROWS;
}

void DSC_Close(DSCache* me) {
  if (!me) return;
  if (me->fdVals) {
    fclose(me->fdVals);
    logit(LOG_DEBUG, __FILE__, __LINE__, "DSC_Close: Closed temporary files for pDSC=%p",
          static_cast<void*>(me));
  }
  if (me->fdIndx) fclose(me->fdIndx);
  me->fdVals = nullptr;
  me->fdIndx = nullptr;
  me->fState = DSC_IN_MEMORY;
}

namespace {

errcode_t dsc_Open(DSCache* me) {
  me->fdVals = DSC_TempFile();
  me->fdIndx = me->fdVals ? DSC_TempFile() : nullptr;
  if (!me->fdVals || !me->fdIndx) {
    DSC_Close(me);
    return ER_GENERAL_ERROR;
  }
  logit(LOG_DEBUG, __FILE__, __LINE__, "dsc_Open: Opened temporary files for pDSC=%p",
        static_cast<void*>(me));
  me->fState = DSC_FILES_OPEN;
  return ER_SUCCESS;
}

}  // namespace

errcode_t DSC_Fill(DSCache* me, DRV* pDrv, handle_t hCursor, Dataset* pDS, sgn32* pnRows) {
  if (!me || !pDS || !pDrv || !pDrv->ops || !SCs_Inner(pDrv).fetch) return ER_GENERAL_ERROR;
  Dataset_Done(pDS);
  Dataset batch{};
  sgn32 total = 0;
  errcode_t rc = ER_SUCCESS;
  for (;;) {
    Dataset* into = pDS->nRows == 0 ? pDS : &batch;
    if (into == pDS) Dataset_Done(pDS);
    rc = SCs_Inner(pDrv).fetch(hCursor, DSC_FETCH_ROWS, into);
    if (rc != ER_SUCCESS) break;
    sgn32 got = into->nRows;
    if (into == &batch && got > 0) {
      rc = Dataset_Grow(pDS, &batch);
      Dataset_Done(&batch);
      if (rc != ER_SUCCESS) break;
    }
    Dataset_Done(&batch);
    total += got;
    if (me->fState != DSC_SPILLED) {
      if (pDS->nRows <= sgn32(DSC_MEM_ROWS)) {
        if (got == 0) break;
        continue;
      }
      rc = dsc_Open(me);
      if (rc != ER_SUCCESS) break;
      if (!Dataset_SrlzSubset(SRLZ_WRITE, me->fdVals, me->fdIndx, pDS, 0, 0)) {
        rc = ER_GENERAL_ERROR;
        break;
      }
      me->fState = DSC_SPILLED;
      // The shape stays for the next batches; the rows are in the files.
      Dataset_Done(pDS);
      if (got == 0) break;
      continue;
    }
    // Spilled: the batch was fetched into pDS (empty) and goes to the files.
    if (!Dataset_SrlzAppend(me->fdVals, me->fdIndx, pDS)) rc = ER_GENERAL_ERROR;
    Dataset_Done(pDS);
    if (rc != ER_SUCCESS || got == 0) break;
  }
  Dataset_Done(&batch);
  if (pnRows) *pnRows = total;
  return rc;
}

errcode_t dsc_Fetch(DSCache* me, Dataset* pDS, sgn32 irow) {
  if (!me || !pDS || me->fState != DSC_SPILLED) return ER_GENERAL_ERROR;
  Dataset_Done(pDS);
  return Dataset_SrlzSubset(SRLZ_READ, me->fdVals, me->fdIndx, pDS, irow, sgn32(me->WinSize))
             ? ER_SUCCESS
             : ER_GENERAL_ERROR;
}

errcode_t DSC_SyncWindowPos(DSCache* me, sgn32 irow, uns32 R, sgn32* pPosition, Dataset* pDS) {
  if (!me || !pPosition) return ER_GENERAL_ERROR;
  sgn32 pos = *pPosition;
  if (me->fState != DSC_SPILLED) {
    // The window is the whole result: any rowset that starts inside it is served.
    if (!pDS) return ER_GENERAL_ERROR;
    if (pos != DSC_NO_WINDOW && irow >= pos && int64_t(irow) <= int64_t(pos) + pDS->nRows) return ER_SUCCESS;
    if (me->WinSize < 2 * R) me->WinSize = 2 * R;
    return ER_GENERAL_ERROR;
  }
  if (pos != DSC_NO_WINDOW && irow >= pos && me->WinSize >= 2 * R &&
      int64_t(pos) + me->WinSize >= int64_t(irow) + R)
    return ER_SUCCESS;
  if (me->WinSize < 2 * R) me->WinSize = 2 * R;
  if (!pDS) return ER_GENERAL_ERROR;
  Dataset_Done(pDS);
  int64_t first = int64_t(irow) - int64_t((me->WinSize - R) / 2);
  if (first < 0) first = 0;
  if (dsc_Fetch(me, pDS, sgn32(first)) != ER_SUCCESS) return ER_GENERAL_ERROR;
  *pPosition = sgn32(first);
  return ER_SUCCESS;
}
