// Keysets (keyset.h): key-column discovery and its per-connection cache, the
// statements built on the keys, their parameter rows, and the whole keyset of
// a keyset-driven cursor.
#include "cursors/keyset.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "backend/backend.h"
#include "cursors/cursors.h"
#include "cursors/discovery.h"
#include "cursors/ds_cache.h"
#include "cursors/fetch_engines.h"
#include "cursors/inner.h"
#include "cursors/slices.h"
#include "model/dataset_util.h"
#include "util/fault.h"
#include "util/hashtab.h"
#include "util/log.h"
#include "util/md5.h"
#include "util/unicode.h"

namespace {

bool Empty(const char* s) { return !s || !*s; }

// The name as the catalog wants it: quotes removed; null for an empty one.
char* CatalogArg(const char* s, char q) { return Empty(s) ? nullptr : scs_p_UnquoteIdent(s, q); }

SCColDesc* KeyAt(alist_t* l, unsigned i) { return static_cast<SCColDesc*>(alist_At(l, i)); }

bool CellNull(const Dataset& ds, unsigned col, sgn32 row) {
  return col >= ds.nCols || ds.col[col].indicators[row] == -1;
}

// An integer cell; false for a cell that holds no 8-, 16- or 32-bit integer.
bool CellInt(const Dataset& ds, unsigned col, sgn32 row, sgn32* pValue) {
  if (col >= ds.nCols) return false;
  const Coldata& c = ds.col[col];
  const char* p = Coldata_Cell(&c, uint64_t(row));
  switch (c.cType) {
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

sgn32 CellIntOr0(const Dataset& ds, unsigned col, sgn32 row) {
  sgn32 v = 0;
  if (CellNull(ds, col, row) || !CellInt(ds, col, row, &v)) return 0;
  return v;
}

// A catalog name cell as UTF-8 text of at most SCR_NAME_MAX bytes.
errcode_t CellName(PSCCL me, const Dataset& ds, unsigned col, sgn32 row, std::string* out) {
  out->clear();
  if (CellNull(ds, col, row)) return ER_SUCCESS;
  const Coldata& c = ds.col[col];
  const char* text = nullptr;
  const wchar_t* wtext = nullptr;
  size_t len = 0;
  errcode_t rc = scs_p_GetTblAttribs_GetNameCellAttr(Coldata_Cell(&c, uint64_t(row)), c.cType, c.width, &text,
                                                     &wtext, &len);
  if (rc != ER_SUCCESS) return rc;
  char buf[SCR_NAME_MAX * 4 + 1] = {0};
  if (wtext) {
    unsigned short conv = 0;
    size_t n = wcsntoutf8(wtext, buf, len, SCR_NAME_MAX + 1, &conv);
    *out = std::string(buf, strnlen(buf, n < sizeof buf ? n : sizeof buf - 1));
  } else if (me->unicode) {
    std::string narrow(text ? text : "", len);
    strncpy_AtoU8(buf, narrow.c_str(), SCR_NAME_MAX + 1);
    buf[SCR_NAME_MAX] = 0;
    *out = buf;
  } else {
    *out = std::string(text ? text : "", len);
  }
  // A fixed-width cell may hold the name and its terminator.
  out->resize(strnlen(out->c_str(), out->size()));
  if (out->size() > SCR_NAME_MAX) out->resize(SCR_NAME_MAX);
  return ER_SUCCESS;
}

enum KeySource { KS_SPCOLS, KS_STATS, KS_PKEYS };

struct SourceInfo {
  const char* opFailed;
  const char* fetchFailed;
  unsigned nameCol;
};

const SourceInfo kSources[] = {
    {"KS_GetKeyColDescs_SpCols: DRV_DDSpecialColumns failed.",
     "KS_GetKeyColDescs_SpCols: Couldn't fetch column descriptors.", 1},
    {"KS_GetKeyColDescs_Stats: DRV_DDStatistics failed.",
     "KS_GetKeyColDescs_Stats: Couldn't fetch column descriptors.", 8},
    {"KS_GetKeyColDescs_PKeys: DRV_DDPrimaryKeys failed.",
     "KS_GetKeyColDescs_PKeys: Couldn't fetch column descriptors.", 3},
};

errcode_t CatalogCall(PSCCL me, KeySource src, const TableDesc& t) {
  const char q = me->idQuoteChar;
  char* qual = CatalogArg(t.pszQualifier, q);
  char* owner = CatalogArg(t.pszOwner, q);
  char* name = scs_p_UnquoteIdent(t.pszName ? t.pszName : "", q);
  errcode_t rc;
  if (!name || (!Empty(t.pszQualifier) && !qual) || (!Empty(t.pszOwner) && !owner)) {
    rc = ER_NO_MEMORY;
  } else if (src == KS_SPCOLS) {
    DDSpecialColumns a{qual, owner, name, 1, 0, 0};
    rc = SCs_Inner(me->pDrv).ddSpecialColumns(me->hSCCurs, &a);
  } else if (src == KS_STATS) {
    DDStatistics a{qual, owner, name, 0, 1};
    rc = SCs_Inner(me->pDrv).ddStatistics(me->hSCCurs, &a);
  } else {
    DDPrimaryKeys a{qual, owner, name};
    rc = SCs_Inner(me->pDrv).ddPrimaryKeys(me->hSCCurs, &a);
  }
  free(qual);
  free(owner);
  free(name);
  return rc;
}

// One key source over the tables still without keys (all without flags).
errcode_t KeysFrom(KeySource src, PSCCL me, TableDesc* tables, int cTables, int* rbURID) {
  if (!me || !me->pDrv || !me->pKeySet || (!tables && cTables > 0)) return ER_GENERAL_ERROR;
  errcode_t rc = scs_p_AuxCursorOpen(me);
  if (rc != ER_SUCCESS) return rc;
  KeySet* ks = me->pKeySet;
  if (!ks->pLS_KeyCols && !(ks->pLS_KeyCols = alist_Alloc(sizeof(SCColDesc)))) return ER_NO_MEMORY;
  const SourceInfo& info = kSources[src];
  bool anyEmpty = false, asked = false;
  unsigned added = 0, lastAdded = 0;
  for (int i = 0; i < cTables; i++) {
    if (rbURID && rbURID[i]) continue;
    asked = true;
    rc = CatalogCall(me, src, tables[i]);
    if (rc != ER_SUCCESS) {
      logit(LOG_ERR, __FILE__, __LINE__, "%s", info.opFailed);
      return rc;
    }
    Dataset rows{};
    rc = scs_p_FetchCatalogRows(me, &rows);
    if (rc != ER_SUCCESS) {
      Dataset_Done(&rows);
      logit(LOG_ERR, __FILE__, __LINE__, "%s", info.fetchFailed);
      return rc;
    }
    lastAdded = 0;
    if (rows.nRows <= 0) anyEmpty = true;
    for (sgn32 r = 0; r < rows.nRows; r++) {
      if (src == KS_STATS) {
        if (CellNull(rows, info.nameCol, r)) continue;  // the table-statistics row
        sgn32 seq = 0;
        if (!CellNull(rows, 7, r)) {
          if (!CellInt(rows, 7, r, &seq)) {
            Dataset_Done(&rows);
            return ER_GENERAL_ERROR;
          }
          // Only the first unique index.
          if (lastAdded > 0 && seq == 1) break;
        }
      }
      std::string name;
      rc = CellName(me, rows, info.nameCol, r, &name);
      if (rc != ER_SUCCESS) {
        Dataset_Done(&rows);
        return rc;
      }
      if (name.empty()) continue;
      SCColDesc d{};
      const bool pseudo = src == KS_SPCOLS && CellIntOr0(rows, 7, r) == 2;
      if (me->idQuoteChar && !pseudo) {
        char* quoted = scs_p_QuoteIdent(name.c_str(), me->idQuoteChar);
        if (!quoted) {
          Dataset_Done(&rows);
          return ER_NO_MEMORY;
        }
        scs_p_NameCopy(d.col_name, quoted);
        free(quoted);
      } else {
        scs_p_NameCopy(d.col_name, name.c_str());
      }
      scs_p_TableFieldsCopy(&d, tables[i]);
      if (src == KS_SPCOLS) {
        d.SQLType = sgn16(CellIntOr0(rows, 2, r));
        d.precision = precision_t(CellIntOr0(rows, 4, r));
        d.scale =
            (d.SQLType == SQL_NUMERIC || d.SQLType == SQL_DECIMAL) ? scale_t(CellIntOr0(rows, 6, r)) : 0;
      }
      d.selectItemType = SIT_COL_NAME;
      if (!alist_Add(ks->pLS_KeyCols, &d)) {
        Dataset_Done(&rows);
        return ER_NO_MEMORY;
      }
      added++;
      lastAdded++;
      if (rbURID) rbURID[i] = 1;
    }
    Dataset_Done(&rows);
  }
  if (src == KS_STATS ? (!asked || lastAdded == 0) : added == 0) return ER_NO_KEYS;
  return anyEmpty ? ER_NO_KEYS : ER_SUCCESS;
}

bool SourceGaveUp(errcode_t rc) { return rc == ER_DRV_NOT_CAPABLE || rc == ER_NO_KEYS; }

// A key column's type, precision and scale from the catalog's description.
errcode_t CompleteKeyCol(PSCCL me, SCColDesc* d) {
  const char q = me->idQuoteChar;
  DDColumns a{};
  a.tableQualifier = CatalogArg(d->qualifier, q);
  a.tableOwner = Empty(d->owner_name) ? strdup("%") : scs_p_UnquoteIdent(d->owner_name, q);
  a.tableName = scs_p_UnquoteIdent(d->tbl_name, q);
  a.columnName = scs_p_UnquoteIdent(d->col_name, q);
  errcode_t rc = ER_SUCCESS;
  if (!a.tableOwner || !a.tableName || !a.columnName || (!Empty(d->qualifier) && !a.tableQualifier))
    rc = ER_NO_MEMORY;
  else
    rc = SCs_Inner(me->pDrv).ddColumns(me->hSCCurs, &a);
  free(a.tableQualifier);
  free(a.tableOwner);
  free(a.tableName);
  free(a.columnName);
  if (rc != ER_SUCCESS) {
    logit(LOG_ERR, __FILE__, __LINE__, "KS_GetKeyColDescs: DRV_DDColumns failed.");
    return rc;
  }
  Dataset rows{};
  rc = scs_p_FetchCatalogRows(me, &rows);
  if (rc != ER_SUCCESS) {
    Dataset_Done(&rows);
    logit(LOG_ERR, __FILE__, __LINE__, "KS_GetKeyColDescs: Couldn't fetch column descriptors.");
    return rc;
  }
  if (rows.nRows != 1) {
    Dataset_Done(&rows);
    logit(LOG_ERR, __FILE__, __LINE__, "KS_GetKeyColDescs: Too many column descriptors!");
    return ER_GENERAL_ERROR;
  }
  d->SQLType = sgn16(CellIntOr0(rows, 4, 0));
  d->precision = precision_t(CellIntOr0(rows, 6, 0));
  d->scale = (d->SQLType == SQL_NUMERIC || d->SQLType == SQL_DECIMAL) ? scale_t(CellIntOr0(rows, 8, 0)) : 0;
  Dataset_Done(&rows);
  return ER_SUCCESS;
}

// Each field ends with a 0 byte, so that ("ab","c") and ("a","bc") differ.
void KeyCacheDigest(const TableDesc* t, unsigned n, unsigned char digest[16]) {
  MD5_CTX ctx;
  VYR_MD5Init(&ctx);
  static const unsigned char sep = 0;
  for (unsigned i = 0; i < n; i++) {
    for (const char* s : {t[i].pszQualifier, t[i].pszOwner, t[i].pszName}) {
      if (s) VYR_MD5Update(&ctx, reinterpret_cast<const unsigned char*>(s), unsigned(strlen(s)));
      VYR_MD5Update(&ctx, &sep, 1);
    }
    VYR_MD5Update(&ctx, &sep, 1);
  }
  VYR_MD5Final(digest, &ctx);
}

// The position (1-based) of the statement's table a key column was taken from.
uns8 TablePosition(const SCColDesc& d, const TableDesc* t, unsigned n) {
  auto same = [](const char* a, const char* b) { return strncmp(a ? a : "", b ? b : "", SCR_NAME_MAX) == 0; };
  for (unsigned i = 0; i < n && i < 255; i++)
    if (same(d.tbl_name, t[i].pszName) && same(d.owner_name, t[i].pszOwner) &&
        same(d.qualifier, t[i].pszQualifier) && same(d.tbl_alias, t[i].pszAlias))
      return uns8(i + 1);
  return 0;
}

// In the cache a key's iOrdrBy holds its table's position in the statement, so
// that a hit takes the table fields from the statement that asks (its aliases).
errcode_t KeyCacheStore(HTTABLE* cache, const unsigned char digest[16], alist_t* keys, const TableDesc* t,
                        unsigned n) {
  alist_t* copy = alist_Alloc(sizeof(SCColDesc));
  if (!copy) return ER_NO_MEMORY;
  for (unsigned i = 0; i < keys->cUsed; i++) {
    SCColDesc d = *KeyAt(keys, i);
    d.pszText = nullptr;
    d.iOrdrBy = TablePosition(d, t, n);
    if (!alist_Add(copy, &d)) {
      alist_Dealloc(&copy, SCColDescDestroy);
      return ER_NO_MEMORY;
    }
  }
  if (alist_t* old = static_cast<alist_t*>(VYR_htgetdata(cache, digest))) {
    VYR_htdelete(cache, digest);
    alist_Dealloc(&old, SCColDescDestroy);
  }
  if (!VYR_htadd(cache, digest, copy)) {
    alist_Dealloc(&copy, SCColDescDestroy);
    return ER_NO_MEMORY;
  }
  return ER_SUCCESS;
}

errcode_t KeyCacheCopyOut(alist_t* cached, alist_t* keys, const TableDesc* t, unsigned n) {
  for (unsigned i = 0; i < cached->cUsed; i++) {
    SCColDesc d = *KeyAt(cached, i);
    d.pszText = nullptr;
    if (d.iOrdrBy >= 1 && d.iOrdrBy <= n) scs_p_TableFieldsCopy(&d, t[d.iOrdrBy - 1]);
    d.iOrdrBy = 0;
    if (!alist_Add(keys, &d)) return ER_NO_MEMORY;
  }
  return ER_SUCCESS;
}

errcode_t AppendQualified(std::string* out, uns8 nTables, const SCColDesc* d) {
  char* q = scs_p_QualifyCol(nTables, d);
  if (!q) return ER_NO_MEMORY;
  *out += q;
  free(q);
  return ER_SUCCESS;
}

// The qualified key columns, each followed by suffix, separated by sep.
errcode_t KeyColumnList(const KeySet* ks, const char* sep, const char* suffix, std::string* out) {
  for (unsigned i = 0; i < ks->pLS_KeyCols->cUsed; i++) {
    if (i) *out += sep;
    if (errcode_t rc = AppendQualified(out, ks->cRefdTables, KeyAt(ks->pLS_KeyCols, i))) return rc;
    *out += suffix;
  }
  return ER_SUCCESS;
}

bool HasKeys(const KeySet* ks) { return ks && ks->pLS_KeyCols && ks->pLS_KeyCols->cUsed > 0; }

// The cell widths of a parameter row (see KS_KeyParamDsetBld).
precision_t ParamWidth(const Coldata& c, const char* cell, bool present, int bNullTerminate,
                       int bNullTerminated) {
  switch (c.cType) {
    case CTYPE_VCHR:
      return precision_t((present ? strnlen(cell, c.width) : 0) + 1);
    case CTYPE_WVCHR: {
      size_t n = 0;
      const size_t max = c.width / 4;
      const wchar_t* w = reinterpret_cast<const wchar_t*>(cell);
      while (present && n < max && w[n]) n++;
      return precision_t(4 * n + 4);
    }
    case CTYPE_CHR: {
      precision_t w = bNullTerminated ? precision_t(present ? strnlen(cell, c.width) : 0) : c.width;
      return bNullTerminate ? w + 1 : w;
    }
    case CTYPE_WCHR: {
      precision_t w = c.width;
      if (bNullTerminated) {
        size_t n = 0;
        const wchar_t* p = reinterpret_cast<const wchar_t*>(cell);
        while (present && n < c.width / 4 && p[n]) n++;
        w = precision_t(4 * n);
      }
      return bNullTerminate ? w + 4 : w;
    }
    default:
      return c.width;
  }
}

// Copies one source cell into cell 0 of a fresh column of the given width.
errcode_t CopyParamCell(const Coldata& src, sgn32 row, Coldata* dst) {
  const char* from = Coldata_Cell(&src, uint64_t(row));
  char* to = Coldata_Cell(dst, 0);
  dst->indicators[0] = src.indicators[row];
  const bool present = src.indicators[row] != -1;
  if (ctype_is_long(src.cType)) {
    c_lchr v{};
    memcpy(&v, from, sizeof v);
    c_lchr copy{v.length, nullptr};
    if (present && v.data) {
      const size_t bytes = src.cType == CTYPE_WLCHR ? size_t(v.length) * 4 : size_t(v.length);
      copy.data = static_cast<char*>(vyr_fault_alloc() ? nullptr : malloc(bytes ? bytes : 1));
      if (!copy.data) return ER_NO_MEMORY;
      if (bytes) memcpy(copy.data, v.data, bytes);
    }
    memcpy(to, &copy, sizeof copy);
    return ER_SUCCESS;
  }
  if (!present) return ER_SUCCESS;
  size_t n = std::min<size_t>(src.width, dst->width);
  if (src.cType == CTYPE_VCHR) n = std::min<size_t>(strnlen(from, src.width), dst->width - 1);
  memcpy(to, from, n);
  return ER_SUCCESS;
}

struct CellRef {
  const Dataset* ds;
  sgn32 row;
  uns16 col;
};

// One row of the given cells; plain copies keep their width.
errcode_t ParamRowBuild(const std::vector<CellRef>& cells, size_t nKeyed, int bNullTerminate,
                        int bNullTerminated, Dataset** ppOut) {
  *ppOut = nullptr;
  if (cells.size() > 0xFFFF) return ER_GENERAL_ERROR;
  Dataset* ds = static_cast<Dataset*>(vyr_fault_alloc() ? nullptr : calloc(1, sizeof(Dataset)));
  if (!ds) return ER_NO_MEMORY;
  auto fail = [&](errcode_t e) {
    scs_p_DatasetFree(&ds);
    return e;
  };
  if (Dataset_Init(ds, uns16(cells.size())) != ER_SUCCESS) return fail(ER_NO_MEMORY);
  ds->nCols = uns16(cells.size());
  for (size_t i = 0; i < cells.size(); i++) {
    const Coldata& s = cells[i].ds->col[cells[i].col];
    Coldata& d = ds->col[i];
    d.cType = s.cType;
    const bool present = s.indicators[cells[i].row] != -1;
    d.width = i < nKeyed ? ParamWidth(s, Coldata_Cell(&s, uint64_t(cells[i].row)), present, bNullTerminate,
                                      bNullTerminated)
                         : s.width;
    if (Coldata_Init(&d, 1) != ER_SUCCESS) {
      // Columns already made are freed with the row count they were made with.
      for (size_t j = 0; j < i; j++) Coldata_Done(&ds->col[j], 1);
      ds->nCols = 0;
      return fail(ER_NO_MEMORY);
    }
  }
  ds->allocRows = 1;
  ds->nRows = 1;
  for (size_t i = 0; i < cells.size(); i++) {
    errcode_t rc = CopyParamCell(cells[i].ds->col[cells[i].col], cells[i].row, &ds->col[i]);
    if (rc != ER_SUCCESS) return fail(rc);
  }
  *ppOut = ds;
  return ER_SUCCESS;
}

// A fetch that meets a driver error keeps the rows read so far, answers
// success and leaves the driver's diagnostics queued on the cursor: a result
// read to its end must not hold an error there.
errcode_t FetchErrorQueued(handle_t h) {
  _Cursor* pc = ODBC_CursorRec(h);
  return pc ? scs_p_QueuedError(&pc->pendingError) : ER_SUCCESS;
}

void FlushQueue(handle_t h) {
  if (_Cursor* pc = ODBC_CursorRec(h)) FlushErrorMsgQ(&pc->pendingError);
}

// The auxiliary cursor's diagnostics replace the client's.
void MoveAuxErrors(PSCCL me, handle_t hAux) {
  _Cursor* aux = ODBC_CursorRec(hAux);
  if (!aux || !me->pParent) return;
  MoveErrorMsgQ(&static_cast<_Cursor*>(me->pParent)->pendingError, &aux->pendingError);
}

// The first row whose key holds a NULL, or -1. A NULL key matches no keyed
// re-read: its row would look deleted.
sgn32 NullKeyRow(const Dataset* ds) {
  for (sgn32 r = 0; r < ds->nRows; r++)
    for (uns16 c = 0; c < ds->nCols; c++)
      if (ds->col[c].indicators[r] == -1) return r;
  return -1;
}

// The kept client parameters, sent again for a statement of the engine's own.
errcode_t SendClientParams(PSCCL me, handle_t h) {
  if (!(me->f_state & SCCL_HAS_PARAMS) || !me->parameters) return ER_SUCCESS;
  Dataset* copy = nullptr;
  errcode_t rc = Dataset_Copy(&copy, me->parameters);
  return rc == ER_SUCCESS ? SCs_Inner(me->pDrv).parameters(h, copy) : rc;
}

}  // namespace

errcode_t KS_Create(PKSET* ppKeySet) {
  if (!ppKeySet) return ER_GENERAL_ERROR;
  *ppKeySet = nullptr;
  KeySet* ks = static_cast<KeySet*>(vyr_fault_alloc() ? nullptr : calloc(1, sizeof(KeySet)));
  Dataset* ds = ks && !vyr_fault_alloc() ? static_cast<Dataset*>(calloc(1, sizeof(Dataset))) : nullptr;
  if (!ks || !ds) {
    free(ks);
    free(ds);
    return ER_NO_MEMORY;
  }
  ks->pDataset = ds;
  DSC_Init(&ks->KSC);
  *ppKeySet = ks;
  return ER_SUCCESS;
}

void ks_FreeKeyVals(KeySet* pKeySet) {
  if (!pKeySet) return;
  if (pKeySet->pDataset) Dataset_Done(pKeySet->pDataset);
  free(pKeySet->rgfRowStatus);
  pKeySet->rgfRowStatus = nullptr;
  pKeySet->Position = 0;
  DSC_Close(&pKeySet->KSC);
}

void KS_Close(PKSET pKeySet) {
  if (!pKeySet) return;
  ks_FreeKeyVals(pKeySet);
  alist_Dealloc(&pKeySet->pLS_KeyCols, SCColDescDestroy);
  pKeySet->cRefdTables = 0;
}

void KS_Destroy(PKSET* ppKeySet) {
  if (!ppKeySet || !*ppKeySet) return;
  KS_Close(*ppKeySet);
  free((*ppKeySet)->pDataset);
  free(*ppKeySet);
  *ppKeySet = nullptr;
}

errcode_t ks_GetKeyColDescs_SpCols(PSCCL psccl, TableDesc* rTableDesc, int cTables, int* rbURID) {
  return KeysFrom(KS_SPCOLS, psccl, rTableDesc, cTables, rbURID);
}

errcode_t ks_GetKeyColDescs_Stats(PSCCL psccl, TableDesc* rTableDesc, int cTables, int* rbURID) {
  return KeysFrom(KS_STATS, psccl, rTableDesc, cTables, rbURID);
}

errcode_t ks_GetKeyColDescs_PKeys(PSCCL psccl, TableDesc* rTableDesc, int cTables, int* rbURID) {
  return KeysFrom(KS_PKEYS, psccl, rTableDesc, cTables, rbURID);
}

errcode_t KS_GetKeyColDescs(PSCCL psccl, alist_t* pLS_RefdTables) {
  if (!psccl || !psccl->pKeySet || !pLS_RefdTables || !psccl->pDrv) return ER_GENERAL_ERROR;
  KeySet* ks = psccl->pKeySet;
  const unsigned n = pLS_RefdTables->cUsed;
  TableDesc* tables = static_cast<TableDesc*>(pLS_RefdTables->rElemnts);
  ks->cRefdTables = uns8(n > 255 ? 255 : n);
  std::vector<int> hasKeys(n, 0);

  unsigned char digest[16];
  KeyCacheDigest(tables, n, digest);
  alist_Dealloc(&ks->pLS_KeyCols, SCColDescDestroy);
  if (!(ks->pLS_KeyCols = alist_Alloc(sizeof(SCColDesc)))) return ER_NO_MEMORY;
  _Connect* conn = ODBC_ConnectRec(psccl->hConnect);
  HTTABLE* cache = conn ? static_cast<HTTABLE*>(conn->keyCache) : nullptr;
  if (cache) {
    if (alist_t* cached = static_cast<alist_t*>(VYR_htgetdata(cache, digest)))
      return KeyCacheCopyOut(cached, ks->pLS_KeyCols, tables, n);
  }

  // A source may answer for some tables only (a driver's row without a name):
  // the next source is asked for the others, and a table that none answers
  // for leaves the statement without keys.
  auto allKeyed = [&](errcode_t rc) {
    for (unsigned i = 0; rc == ER_SUCCESS && i < n; i++)
      if (!hasKeys[i]) return ER_NO_KEYS;
    return rc;
  };
  errcode_t rc = allKeyed(ks_GetKeyColDescs_SpCols(psccl, tables, int(n), hasKeys.data()));
  bool complete = false;
  if (SourceGaveUp(rc)) {
    complete = true;
    rc = allKeyed(ks_GetKeyColDescs_Stats(psccl, tables, int(n), hasKeys.data()));
    if (SourceGaveUp(rc)) {
      rc = ks_GetKeyColDescs_PKeys(psccl, tables, int(n), hasKeys.data());
      if (rc != ER_SUCCESS) return rc;
      rc = allKeyed(rc);
    }
  }
  if (rc != ER_SUCCESS) return rc;
  if (complete) {
    for (unsigned i = 0; i < ks->pLS_KeyCols->cUsed; i++) {
      SCColDesc* d = KeyAt(ks->pLS_KeyCols, i);
      if (d->SQLType != SQL_UNKNOWN_TYPE) continue;
      rc = CompleteKeyCol(psccl, d);
      if (rc != ER_SUCCESS) return rc;
    }
  }
  for (unsigned i = 0; i < ks->pLS_KeyCols->cUsed; i++) KeyAt(ks->pLS_KeyCols, i)->iOrdrBy = 0;
  if (cache) return KeyCacheStore(cache, digest, ks->pLS_KeyCols, tables, n);
  return ER_SUCCESS;
}

errcode_t scs_p_AnalyseLogged(SC_Request* pRqst, const char* sql, int bRebuildOnly, int bQualName) {
  errcode_t rc = SCR_AnalyseSQL(pRqst, sql, bRebuildOnly, bQualName);
  if (rc != ER_SUCCESS) {
    logit(LOG_DEBUG, __FILE__, __LINE__, "SCR_AnalyseSQL failed: %s", sql ? sql : "");
    logit(LOG_DEBUG, __FILE__, __LINE__, "%s", pRqst->szParsErrMsg ? pRqst->szParsErrMsg : "");
    logit(LOG_DEBUG, __FILE__, __LINE__, "%s", pRqst->translated ? pRqst->translated : "");
  }
  return rc;
}

errcode_t scs_p_TagReplace(SC_Request* pRqst, const char* text) {
  if (!pRqst || !pRqst->pParsTree) return ER_GENERAL_ERROR;
  char* out = nullptr;
  errcode_t rc = SCR_TagSplice(pt_Label(pRqst->pParsTree), text, &out);
  if (rc != ER_SUCCESS) return rc;
  free(pRqst->translated);
  pRqst->translated = out;
  return ER_SUCCESS;
}

errcode_t KS_OrderByClauseExtend(SC_Request* pRqst, PSCCL psccl) {
  if (!pRqst || !psccl || !psccl->pKeySet) return ER_GENERAL_ERROR;
  KeySet* ks = psccl->pKeySet;
  errcode_t rc = SCR_TagOrderByClause(pRqst);
  if (rc != ER_SUCCESS) return rc;
  const bool hadOrderBy = (pRqst->flags & SCR_F_ORDER_BY) != 0;
  const unsigned existing = hadOrderBy && psccl->pLS_OrdrCols ? psccl->pLS_OrdrCols->cUsed : 0;
  std::string text;
  unsigned added = 0;
  for (unsigned i = 0; ks->pLS_KeyCols && i < ks->pLS_KeyCols->cUsed; i++) {
    const SCColDesc* d = KeyAt(ks->pLS_KeyCols, i);
    if (d->iOrdrBy != 0) continue;
    if (psccl->maxOrderBy != 0 && added + existing >= psccl->maxOrderBy) break;
    if (added == 0)
      text += hadOrderBy ? ", " : " ORDER BY ";
    else
      text += ", ";
    if ((rc = AppendQualified(&text, ks->cRefdTables, d)) != ER_SUCCESS) return rc;
    added++;
  }
  return scs_p_TagReplace(pRqst, text.c_str());
}

errcode_t KS_KeySelectStmtBld_KSD(SC_Request* pRqst, PKSET pKeySet) {
  if (!pRqst || !HasKeys(pKeySet)) return ER_GENERAL_ERROR;
  errcode_t rc = SCR_TagSelectList(pRqst);
  std::string text;
  if (rc == ER_SUCCESS) rc = KeyColumnList(pKeySet, ", ", "", &text);
  return rc == ER_SUCCESS ? scs_p_TagReplace(pRqst, text.c_str()) : rc;
}

errcode_t KS_WhereClauseExtend_KSD(SC_Request* pRqst, PKSET pKeySet, uns32 RSSize) {
  if (!pRqst || !HasKeys(pKeySet) || RSSize == 0) return ER_GENERAL_ERROR;
  errcode_t rc = SCR_TagWhereClause(pRqst);
  // One key column: the keys as one IN list, whose markers a data source
  // binds far faster than as many OR'ed comparisons. Same markers in the
  // same order, so the parameter rows and splits are the same.
  const bool single = pKeySet->pLS_KeyCols->cUsed == 1;
  std::string group;
  if (rc == ER_SUCCESS) rc = KeyColumnList(pKeySet, " AND ", single ? "" : " = ?", &group);
  if (rc != ER_SUCCESS) return rc;
  std::string text = (pRqst->flags & SCR_F_WHERE) ? "" : " WHERE ";
  text += "( ";
  if (single) {
    text.reserve(text.size() + group.size() + size_t(RSSize) * 3 + 8);
    text += group + " IN (";
    for (uns32 r = 0; r < RSSize; r++) text += r ? ", ?" : "?";
    text += ")";
  } else {
    text.reserve(text.size() + size_t(RSSize) * (group.size() + 4) + 2);
    for (uns32 r = 0; r < RSSize; r++) {
      if (r) text += " OR ";
      text += group;
    }
  }
  text += " )";
  return scs_p_TagReplace(pRqst, text.c_str());
}

errcode_t KS_KeyParamDsetBld(Dataset* pKeySet, uns32 nStartRow, uns32 cRows2Fill, uns32 cRows2Match,
                             Dataset** ppKeyParamDset, int bNullTerminate, int bNullTerminated,
                             int bOmitNULLs, uns16* pcNullCols, uns16** prgbNullColIdxs) {
  if (!pKeySet || pKeySet->nCols == 0 || !ppKeyParamDset || cRows2Fill == 0 || cRows2Match == 0 ||
      cRows2Fill < cRows2Match || pKeySet->nRows <= 0 || nStartRow >= uns32(pKeySet->nRows))
    return ER_GENERAL_ERROR;
  *ppKeyParamDset = nullptr;
  const uns32 nRows = uns32(pKeySet->nRows);
  const uns32 lastMatch = std::min<uint64_t>(uint64_t(nStartRow) + cRows2Match, nRows) - 1;
  std::vector<uns16> omit(pKeySet->nCols, 0);
  if (bOmitNULLs) {
    if (!pcNullCols || !prgbNullColIdxs) return ER_GENERAL_ERROR;
    *prgbNullColIdxs = nullptr;
    *pcNullCols = 0;
    uns16 flagged = 0;
    for (uns16 c = 0; c < pKeySet->nCols; c++)
      for (uns32 r = nStartRow; r <= lastMatch; r++)
        if (pKeySet->col[c].indicators[r] == -1) {
          omit[c] = 1;
          flagged++;
          break;
        }
    uns16* flags = static_cast<uns16*>(vyr_fault_alloc() ? nullptr : malloc(sizeof(uns16) * pKeySet->nCols));
    if (!flags) return ER_NO_MEMORY;
    memcpy(flags, omit.data(), sizeof(uns16) * pKeySet->nCols);
    *prgbNullColIdxs = flags;
    *pcNullCols = flagged;
  }
  std::vector<CellRef> cells;
  uns32 row = nStartRow;
  for (uns32 g = 0; g < cRows2Fill; g++) {
    for (uns16 c = 0; c < pKeySet->nCols; c++)
      if (!omit[c]) cells.push_back({pKeySet, sgn32(row), c});
    if (row < lastMatch) row++;
  }
  errcode_t rc = ParamRowBuild(cells, cells.size(), bNullTerminate, bNullTerminated, ppKeyParamDset);
  if (rc != ER_SUCCESS && bOmitNULLs) {
    free(*prgbNullColIdxs);
    *prgbNullColIdxs = nullptr;
    *pcNullCols = 0;
  }
  return rc;
}

errcode_t scs_p_GetSelectConstraints(PSCCL psccl, sgn32* pcSelectsReqd, sgn32* pcRowsInLastSelect,
                                     sgn32* pcMaxRowsPerSelect) {
  if (!psccl || !pcSelectsReqd || !pcRowsInLastSelect || !pcMaxRowsPerSelect) return ER_GENERAL_ERROR;
  const sgn32 nKeys = HasKeys(psccl->pKeySet) ? sgn32(psccl->pKeySet->pLS_KeyCols->cUsed) : 0;
  if (nKeys == 0) {
    logit(LOG_ERR, __FILE__, __LINE__, "scs_p_GetSelectConstraints: No key columns.");
    return ER_GENERAL_ERROR;
  }
  const sgn32 nClient = sgn32(scs_p_ClientParamCount(psccl));
  const sgn32 room = psccl->cMaxParams - nClient;
  const sgn32 m = room > 0 ? room / nKeys : 0;
  if (m == 0) {
    logit(LOG_ERR, __FILE__, __LINE__,
          "scs_p_GetSelectConstraints: %d parameters and %d key columns exceed the limit of %d parameters.",
          int(nClient), int(nKeys), psccl->cMaxParams);
    return ER_GENERAL_ERROR;
  }
  const sgn32 rs = psccl->RSSize > 0 ? psccl->RSSize : 0;
  const sgn32 used = std::min(rs, m);
  *pcMaxRowsPerSelect = used;
  *pcSelectsReqd = rs / m + (rs % m ? 1 : 0);
  *pcRowsInLastSelect = rs % m ? rs % m : used;
  return ER_SUCCESS;
}

errcode_t KS_GetKeySet_KSD(PSCCL psccl) {
  if (!psccl || !psccl->pDrv || !HasKeys(psccl->pKeySet)) return ER_GENERAL_ERROR;
  KeySet* ks = psccl->pKeySet;
  drv_ops* ops = &SCs_Inner(psccl->pDrv);
  errcode_t rc;
  if (psccl->f_state & SCCL_ROWSET_SELECT) {
    psccl->f_state = uns16(psccl->f_state & ~(SCCL_ORDER_BY_KEYS | SCCL_ROWSET_SELECT));
    if ((rc = scs_p_AnalyseLogged(&psccl->Rqst, psccl->pszSQL, 1, psccl->bQualName)) != ER_SUCCESS) return rc;
  }
  if (!(psccl->f_state & SCCL_ORDER_BY_KEYS)) {
    if ((rc = KS_OrderByClauseExtend(&psccl->Rqst, psccl)) != ER_SUCCESS) return rc;
    psccl->f_state |= SCCL_ORDER_BY_KEYS;
  }
  const char* extended = psccl->Rqst.translated;
  if ((rc = scs_p_AnalyseLogged(&psccl->RqstAux, extended, 0, psccl->bQualName)) != ER_SUCCESS) return rc;
  if ((rc = KS_KeySelectStmtBld_KSD(&psccl->RqstAux, ks)) != ER_SUCCESS) return rc;
  if ((rc = scs_p_AuxCursorOpen(psccl)) != ER_SUCCESS) return rc;
  rc = ops->prepare(psccl->hSCCurs, psccl->RqstAux.translated);
  if (rc != ER_SUCCESS) {
    MoveAuxErrors(psccl, psccl->hSCCurs);
    return rc;
  }
  if ((rc = SendClientParams(psccl, psccl->hSCCurs)) != ER_SUCCESS) return rc;
  if (psccl->bNeedBind &&
      (rc = ops->bind(psccl->hSCCurs, psccl->nParamInfo, psccl->pParamInfo)) != ER_SUCCESS)
    return rc;
  if ((rc = ops->execute(psccl->hSCCurs)) != ER_SUCCESS) return rc;

  ks_FreeKeyVals(ks);
  FlushQueue(psccl->hSCCurs);
  sgn32 nKeys = 0;
  rc = DSC_Fill(&ks->KSC, psccl->pDrv, psccl->hSCCurs, ks->pDataset, &nKeys);
  if (rc == ER_SUCCESS) rc = FetchErrorQueued(psccl->hSCCurs);
  if (rc != ER_SUCCESS) {
    logit(LOG_ERR, __FILE__, __LINE__, "KS_GetKeySet_KSD: Could not fill dataset cache");
    ks_FreeKeyVals(ks);
    psccl->RsltSetSize = SCCL_RSLT_SIZE_UNKNOWN;
    return rc;
  }
  // The result is read whole: the data source may let go of it.
  ops->close(psccl->hSCCurs);
  // Rows without a key value cannot be found again (a view's rowid, a NULL in
  // a unique index): they are refused, not shown as deleted later.
  const bool spilled = ks->KSC.fState == DSC_SPILLED;
  if (spilled && (rc = dsc_Fetch(&ks->KSC, ks->pDataset, 0)) != ER_SUCCESS) {
    ks_FreeKeyVals(ks);
    psccl->RsltSetSize = SCCL_RSLT_SIZE_UNKNOWN;
    return rc;
  }
  if (sgn32 r = NullKeyRow(ks->pDataset); r >= 0) {
    logit(LOG_ERR, __FILE__, __LINE__, "KS_GetKeySet_KSD: Row %d has a NULL key value", int(r) + 1);
    ks_FreeKeyVals(ks);
    psccl->RsltSetSize = SCCL_RSLT_SIZE_UNKNOWN;
    if (psccl->pParent) SetVYRErrorMsg(&static_cast<_Cursor*>(psccl->pParent)->pendingError, ER_NO_KEYS);
    return ER_NO_KEYS;
  }
  if (spilled) Dataset_Done(ks->pDataset);
  psccl->RsltSetSize = nKeys;
  ks->Position = spilled ? -1 : 0;
  ks->rgfRowStatus =
      static_cast<uns16*>(vyr_fault_alloc() ? nullptr : calloc(nKeys > 0 ? size_t(nKeys) : 1, sizeof(uns16)));
  if (!ks->rgfRowStatus) {
    ks_FreeKeyVals(ks);
    psccl->RsltSetSize = SCCL_RSLT_SIZE_UNKNOWN;
    return ER_NO_MEMORY;
  }
  return ER_SUCCESS;
}

errcode_t KS_RowSetGetKeys(PSCCL psccl, Dataset* pDSKeys, uns32 offset, Dataset** ppKeyVals) {
  if (!psccl || !psccl->pDrv || !pDSKeys || !ppKeyVals || !HasKeys(psccl->pKeySet)) return ER_GENERAL_ERROR;
  *ppKeyVals = nullptr;
  KeySet* ks = psccl->pKeySet;
  drv_ops* ops = &SCs_Inner(psccl->pDrv);
  sgn32 nSelects = 0, lastRows = 0, perSelect = 0;
  errcode_t rc = scs_p_GetSelectConstraints(psccl, &nSelects, &lastRows, &perSelect);
  if (rc != ER_SUCCESS) return rc;
  if (perSelect <= 0 || nSelects <= 0) return ER_GENERAL_ERROR;
  if (!(psccl->f_stateAux2 & SCCL_AUX2_KEY_REREAD) || psccl->CursType == SQL_CURSOR_DYNAMIC) {
    psccl->f_stateAux2 = uns16(psccl->f_stateAux2 & ~SCCL_AUX2_KEY_REREAD);
    SC_Request* r = &psccl->RqstAux2;
    if ((rc = scs_p_AnalyseLogged(r, psccl->pszSQL, 0, psccl->bQualName)) != ER_SUCCESS) return rc;
    if ((rc = KS_OrderByClauseExtend(r, psccl)) != ER_SUCCESS) return rc;
    if ((rc = ks_RqstReanalyse(psccl, r)) != ER_SUCCESS) return rc;
    if ((rc = KS_KeySelectStmtBld_KSD(r, ks)) != ER_SUCCESS) return rc;
    if ((rc = ks_RqstReanalyse(psccl, r)) != ER_SUCCESS) return rc;
    if ((rc = KS_WhereClauseExtend_KSD(r, ks, uns32(perSelect))) != ER_SUCCESS) return rc;
    if (!psccl->hSCCurs2 || !ODBC_CursorRec(psccl->hSCCurs2)) {
      if ((rc = ops->cursor(psccl->hConnect, &psccl->hSCCurs2)) != ER_SUCCESS) return rc;
    }
    if ((rc = ops->prepare(psccl->hSCCurs2, r->translated)) != ER_SUCCESS) return rc;
    psccl->f_stateAux2 |= SCCL_AUX2_KEY_REREAD;
  }
  Dataset* result = static_cast<Dataset*>(vyr_fault_alloc() ? nullptr : calloc(1, sizeof(Dataset)));
  if (!result) return ER_NO_MEMORY;
  auto fail = [&](errcode_t e) {
    scs_p_DatasetFree(&result);
    return e;
  };
  const uns16 nKeyCols = uns16(ks->pLS_KeyCols->cUsed);
  for (sgn32 s = 0; s < nSelects; s++) {
    const uns32 start = offset + uns32(s) * uns32(perSelect);
    if (start >= uns32(std::max(pDSKeys->nRows, 0))) break;
    const uns32 match = uns32(s == nSelects - 1 ? lastRows : perSelect);
    Dataset* keyRow = nullptr;
    rc = KS_KeyParamDsetBld(pDSKeys, start, uns32(perSelect), match, &keyRow, psccl->bHasParamOp, 0, 0,
                            nullptr, nullptr);
    if (rc != ER_SUCCESS) return fail(rc);
    if ((psccl->f_state & SCCL_HAS_PARAMS) && psccl->parameters && psccl->parameters->nRows > 0) {
      // The client's parameters follow the keys.
      std::vector<CellRef> cells;
      for (uns16 c = 0; c < keyRow->nCols; c++) cells.push_back({keyRow, 0, c});
      for (uns16 c = 0; c < psccl->parameters->nCols; c++) cells.push_back({psccl->parameters, 0, c});
      Dataset* both = nullptr;
      rc = ParamRowBuild(cells, 0, 0, 0, &both);
      scs_p_DatasetFree(&keyRow);
      if (rc != ER_SUCCESS) return fail(rc);
      keyRow = both;
    }
    if ((rc = ops->parameters(psccl->hSCCurs2, keyRow)) != ER_SUCCESS) return fail(rc);
    if (psccl->bNeedBind) {
      free(psccl->pBindDesc);
      psccl->pBindDesc = nullptr;
      psccl->nBindDesc = 0;
      const SCColDesc* keys = KeyAt(ks->pLS_KeyCols, 0);
      for (sgn32 g = 0; g < perSelect && rc == ER_SUCCESS; g++)
        rc = scs_p_BindDescsAdd(psccl, keys, nKeyCols, g == perSelect - 1);
      if (rc == ER_SUCCESS) rc = ops->bind(psccl->hSCCurs2, psccl->nBindDesc, psccl->pBindDesc);
      if (rc != ER_SUCCESS) return fail(rc);
    }
    if ((rc = ops->execute(psccl->hSCCurs2)) != ER_SUCCESS) return fail(rc);
    FlushQueue(psccl->hSCCurs2);
    sgn32 got = 0;
    while (got < perSelect) {
      Dataset batch{};
      rc = ops->fetch(psccl->hSCCurs2, uns16(std::min<sgn32>(perSelect - got, 0xFFFF)), &batch);
      if (rc != ER_SUCCESS || batch.nRows <= 0) {
        Dataset_Done(&batch);
        break;
      }
      got += batch.nRows;
      if (result->nCols == 0 && result->nRows == 0) {
        Dataset_Done(result);
        *result = batch;
      } else {
        rc = Dataset_Grow(result, &batch);
        Dataset_Done(&batch);
        if (rc != ER_SUCCESS) break;
      }
    }
    if (rc == ER_SUCCESS) rc = FetchErrorQueued(psccl->hSCCurs2);
    if (rc != ER_SUCCESS) return fail(rc);
  }
  *ppKeyVals = result;
  return ER_SUCCESS;
}
