// Key columns (key_columns.h): the columns that identify a row of each table
// of a statement, asked of the catalog on the first auxiliary cursor (best
// row identifier, then the first unique index, then the primary key) and
// kept per connection and table combination. Called by the analysis at
// prepare; the filter frees a connection's cache.
#include "cursors/key_columns.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "backend/backend.h"
#include "cursors/catalog_rows.h"
#include "cursors/cursor_state.h"
#include "cursors/discovery.h"
#include "cursors/inner.h"
#include "model/dataset_util.h"
#include "util/hashtab.h"
#include "util/log.h"
#include "util/md5.h"

namespace {

bool Empty(const char* s) { return !s || !*s; }

// The name as the catalog wants it: quotes removed; null for an empty one.
char* CatalogArg(const char* s, char q) { return Empty(s) ? nullptr : scs_p_UnquoteIdent(s, q); }

SCColDesc* KeyAt(alist_t* l, unsigned i) { return static_cast<SCColDesc*>(alist_At(l, i)); }

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
    Dataset rows{};
    rc = scs_p_CatalogRows(me, CatalogCall(me, src, tables[i]), info.opFailed, info.fetchFailed, &rows);
    if (rc != ER_SUCCESS) return rc;
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
  Dataset rows{};
  errcode_t rc = scs_p_CatalogColumns(me, &a, "KS_GetKeyColDescs", &rows);
  if (rc != ER_SUCCESS) return rc;
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

}  // namespace

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

void KeyCacheFree(_Connect* c) {
  HTTABLE* kc = static_cast<HTTABLE*>(c->keyCache);
  if (!kc) return;
  VYR_htmap(kc, DestroyKeyCache, nullptr);
  VYR_htfree(kc);
  c->keyCache = nullptr;
}

int DestroyKeyCache(void* data, void* /*key*/, void* /*arg*/) {
  alist_t* list = static_cast<alist_t*>(data);
  alist_Dealloc(&list, SCColDescDestroy);
  return 0;
}
