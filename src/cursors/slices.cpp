// Key slices of dynamic and mixed cursors (slices.h): the slice SELECT, its
// seek clause and parameters, the boundary values, and the read of one slice
// on the first auxiliary cursor.
#include "cursors/slices.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <vector>

#include "cursors/cursor_state.h"
#include "cursors/discovery.h"
#include "cursors/engine_diagnostics.h"
#include "cursors/inner.h"
#include "cursors/key_params.h"
#include "cursors/keyset_store.h"
#include "cursors/rowset_reads.h"
#include "cursors/statement_rewrite.h"
#include "model/dataset_util.h"
#include "util/log.h"

namespace {

// One position of the compound key.
struct CkPos {
  const SCOrdrColDesc* oc;  // the ORDER BY column, or null for a key not in the ORDER BY
  const SCColDesc* key;     // the key column, or null for a non-key ORDER BY column
  uns16 ksCol;              // keyset column holding its value
};

unsigned OrdrColCount(PSCCL me) {
  if (!(me->SelectRqstFlags & SCR_F_ORDER_BY) || !me->pLS_OrdrCols) return 0;
  return me->pLS_OrdrCols->cUsed;
}

const SCOrdrColDesc* OrdrCol(PSCCL me, unsigned i) {
  return static_cast<const SCOrdrColDesc*>(alist_At(me->pLS_OrdrCols, i));
}

unsigned KeyCount(PSCCL me) {
  return me->pKeySet && me->pKeySet->pLS_KeyCols ? me->pKeySet->pLS_KeyCols->cUsed : 0;
}

const SCColDesc* KeyCol(PSCCL me, unsigned i) {
  return static_cast<const SCColDesc*>(alist_At(me->pKeySet->pLS_KeyCols, i));
}

// The CompoundKeySize positions, each with the keyset column of its value:
// an ORDER BY key its key column, the j-th non-key ORDER BY column the j-th
// column after the keys, and the keys not in the ORDER BY in key order.
errcode_t CompoundKey(PSCCL me, std::vector<CkPos>* pOut) {
  pOut->clear();
  const unsigned nKeys = KeyCount(me), cks = me->CompoundKeySize;
  if (nKeys == 0 || cks == 0) return ER_GENERAL_ERROR;
  const unsigned nOrdr = std::min<unsigned>(OrdrColCount(me), cks);
  unsigned nonKey = 0;
  for (unsigned i = 0; i < nOrdr; i++) {
    const SCOrdrColDesc* oc = OrdrCol(me, i);
    if (!oc->bIsKey) {
      pOut->push_back({oc, nullptr, uns16(nKeys + nonKey++)});
      continue;
    }
    unsigned k = 0;
    while (k < nKeys && KeyCol(me, k)->iOrdrBy != i + 1) k++;
    if (k == nKeys) return ER_GENERAL_ERROR;
    pOut->push_back({oc, KeyCol(me, k), uns16(k)});
  }
  for (unsigned k = 0; k < nKeys && pOut->size() < cks; k++)
    if (KeyCol(me, k)->iOrdrBy == 0) pOut->push_back({nullptr, KeyCol(me, k), uns16(k)});
  return pOut->size() == cks ? ER_SUCCESS : ER_GENERAL_ERROR;
}

bool IsNullAt(const Dataset* ds, uns16 col, uns16 row) {
  return col < ds->nCols && row < ds->nRows && ds->col[col].indicators[row] == IND_NULL;
}

// The qualified name of a key column, or of a non-key ORDER BY column.
std::string Qualified(PSCCL me, const SCColDesc* d) {
  char* q = scs_p_QualifyCol(me->pKeySet->cRefdTables, d);
  std::string out = q ? q : "";
  free(q);
  return out;
}

SCColDesc AsColDesc(const SCOrdrColDesc* oc) {
  SCColDesc d{};
  strcpy(d.col_name, oc->col_name);
  strcpy(d.tbl_name, oc->tbl_name);
  strcpy(d.tbl_alias, oc->tbl_alias);
  strcpy(d.owner_name, oc->owner_name);
  strcpy(d.qualifier, oc->qualifier);
  d.SQLType = oc->SQLType;
  d.precision = oc->precision;
  d.scale = oc->scale;
  return d;
}

// NULLs follow a non-NULL boundary in the fetch direction.
bool NullsAfter(sgn16 coll, int dir, uns16 ft) {
  bool next;
  if (coll == SQL_NC_LOW)
    next = dir == SORT_DESC;
  else if (coll == SQL_NC_HIGH)
    next = dir == SORT_ASC;
  else
    next = coll != SQL_NC_START;
  return ft == SQL_FETCH_NEXT ? next : !next;
}

// "col op ? " for the comparison at the end position.
std::string Comparison(const std::string& col, bool ascending, uns16 ft, bool inclusive) {
  bool greater = ascending == (ft == SQL_FETCH_NEXT);
  std::string op = greater ? ">" : "<";
  if (inclusive) op += "=";
  return col + " " + op + " ? ";
}

errcode_t SetTranslated(SC_Request* pRqst, const std::string& text) {
  char* t = strdup(text.c_str());
  if (!t) return ER_NO_MEMORY;
  free(pRqst->translated);
  pRqst->translated = t;
  return ER_SUCCESS;
}

// Keeps rows [from, from + count) of *ppDS (clipped to what is there).
errcode_t KeepRows(Dataset** ppDS, sgn32 from, sgn32 count) {
  Dataset* src = *ppDS;
  Dataset* kept = nullptr;
  errcode_t rc = Dataset_Clone(&kept, src, uns32(std::max(count, 1)));
  for (sgn32 i = 0; rc == ER_SUCCESS && i < count && from + i < src->nRows; i++)
    if (from + i >= 0) rc = Dataset_CopyRow(kept, src, uns32(kept->nRows), uns32(from + i), 1);
  if (rc != ER_SUCCESS) {
    if (kept) scs_p_DatasetFree(&kept);
    return rc;
  }
  scs_p_DatasetFree(ppDS);
  *ppDS = kept;
  return ER_SUCCESS;
}

// Boundary values of rows first and last of src (the same row for the empty
// slice past the end, after the last key).
errcode_t BoundaryAt(Dataset* src, sgn32 first, sgn32 last, Dataset** ppBV) {
  errcode_t rc = Dataset_Clone(ppBV, src, 2);
  if (rc == ER_SUCCESS) rc = Dataset_CopyRow(*ppBV, src, 0, uns32(first), 0);
  if (rc == ER_SUCCESS) rc = Dataset_CopyRow(*ppBV, src, 1, uns32(last), 0);
  if (rc != ER_SUCCESS && *ppBV) scs_p_DatasetFree(ppBV);
  return rc;
}

// Drops the keyset columns after the key columns.
void DropOrderColumns(PSCCL me) {
  Dataset* ds = me->pKeySet->pDataset;
  const unsigned nKeys = KeyCount(me);
  while (ds && ds->nCols > nKeys) Dataset_ColDrop(ds, uns16(ds->nCols - 1));
}

// One read of keys on the first auxiliary cursor: the slice SELECT of the
// statement's extended text for (ft, fb), at most `take` rows in the order read.
errcode_t ReadKeys(PSCCL psccl, uns16 ft, uns16 fb, sgn32 take, Dataset* read) {
  drv_ops* ops = &SCs_Inner(psccl->pDrv);
  errcode_t rc =
      scs_p_AnalyseLogged(&psccl->RqstAux, psccl->Rqst.translated ? psccl->Rqst.translated : "", 0);
  if (rc != ER_SUCCESS) return rc;
  if (psccl->bNeedBind) {
    free(psccl->pBindDesc);
    psccl->pBindDesc = nullptr;
    psccl->nBindDesc = 0;
  }
  Dataset* params = nullptr;
  rc = KS_KeySelectStmtBld_Dyn(psccl, &psccl->RqstAux, ft, fb, &params);
  if (rc == ER_SUCCESS && (ft == SQL_FETCH_LAST || ft == SQL_FETCH_PRIOR)) {
    rc = ks_RqstReanalyse(psccl, &psccl->RqstAux);
    if (rc == ER_SUCCESS) rc = SCR_InvertSortOrder(&psccl->RqstAux);
    if (rc == ER_SUCCESS) rc = SetTranslated(&psccl->RqstAux, pt_Label(psccl->RqstAux.pParsTree));
  }
  if (rc == ER_SUCCESS && params && psccl->bHasParamOp) {
    Dataset* rebuilt = nullptr;
    rc = params->nCols == 0
             ? ER_GENERAL_ERROR
             : KS_KeyParamDsetBld(params, 0, 1, 1, &rebuilt, psccl->bHasParamOp, 0, 0, nullptr, nullptr);
    scs_p_DatasetFree(&params);
    params = rebuilt;
  }
  bool prepared = false;
  if (rc == ER_SUCCESS) {
    rc = ops->prepare(psccl->hSCCurs, psccl->RqstAux.translated);
    prepared = true;
  }
  if (rc == ER_SUCCESS && (psccl->f_state & SCCL_HAS_PARAMS) && psccl->parameters) {
    Dataset* all = nullptr;
    rc = Dataset_Copy(&all, psccl->parameters);
    if (rc == ER_SUCCESS && params) rc = Dataset_Prepend(all, params);
    if (params) scs_p_DatasetFree(&params);
    params = all;
  }
  if (rc == ER_SUCCESS && params) {
    rc = ops->parameters(psccl->hSCCurs, params);
    params = nullptr;  // the backend took it over
    if (rc == ER_SUCCESS && psccl->bNeedBind) {
      rc = scs_p_BindDescsAdd(psccl, nullptr, 0, 1);
      if (rc == ER_SUCCESS) rc = ops->bind(psccl->hSCCurs, psccl->nBindDesc, psccl->pBindDesc);
    }
  }
  if (params) scs_p_DatasetFree(&params);
  if (rc == ER_SUCCESS) rc = ops->execute(psccl->hSCCurs);
  if (rc == ER_SUCCESS) {
    ks_FreeKeyVals(psccl->pKeySet);
    // A driver error ends the backend's fetch with the rows so far: the
    // slice read fails rather than come back short.
    ErrorQ saved;
    scs_p_DiagSave(psccl->hSCCurs, &saved);
    rc = scs_p_FetchRows(psccl, psccl->hSCCurs, uns32(std::max<sgn32>(take, 1)), read);
    rc = scs_p_DiagCheck(psccl->hSCCurs, &saved, rc);
  }
  if (prepared) ops->close(psccl->hSCCurs);
  return rc;
}

}  // namespace

int ks_NullCase(sgn16 fNullCollation, int sortDirection, uns16 fFetchType) {
  const bool next = fFetchType == SQL_FETCH_NEXT;
  bool nothingAfter;  // NULLs sort last in the fetch direction
  if (fNullCollation == SQL_NC_HIGH)
    nothingAfter = (sortDirection == SORT_ASC) == next;
  else if (fNullCollation == SQL_NC_LOW)
    nothingAfter = (sortDirection == SORT_DESC) == next;
  else if (fNullCollation == SQL_NC_START)
    nothingAfter = !next;
  else
    nothingAfter = next;
  return nothingAfter ? 1 : 2;
}

sgn16 scs_p_NullCollation(const char* pszDbmsName, sgn16 fReported) {
  if (pszDbmsName && strncasecmp(pszDbmsName, "SQLite", 6) == 0) return SQL_NC_LOW;
  return fReported;
}

uns16 GetBoundaryValsIndx(uns16 fFetchType, uns16 fFetchBoundary) {
  const bool next = fFetchType == SQL_FETCH_NEXT;
  const bool other = (fFetchBoundary & KS_BNDRY_OTHER_END) != 0;
  return (next != other) ? 1 : 0;
}

void scs_p_SliceReset(PSCCL psccl) {
  if (!psccl) return;
  scs_p_DatasetFree(&psccl->pDSKeyBoundaryVals);
  psccl->bSliceAfterEnd = 0;
  psccl->KSPosition = KSP_INVALID;
  psccl->RSPosition = 0;
}

errcode_t OC2BVK_MapFill(PSCCL psccl, uns16* rgMap) {
  if (!psccl || !rgMap) return ER_GENERAL_ERROR;
  std::vector<CkPos> ck;
  errcode_t rc = CompoundKey(psccl, &ck);
  if (rc != ER_SUCCESS) return rc;
  for (size_t p = 0; p < ck.size(); p++) rgMap[p] = ck[p].ksCol;
  return ER_SUCCESS;
}

errcode_t ks_DynWhere_AddSubClause(PSCCL psccl, uns16 e, uns16 fFetchType, uns16 fFetchBoundary,
                                   std::string* pOut, int* pbWritten) {
  if (!psccl || !pOut || !pbWritten || e == 0 || e > psccl->CompoundKeySize) return ER_GENERAL_ERROR;
  *pbWritten = 0;
  const Dataset* bv = psccl->pDSKeyBoundaryVals;
  if (!bv || bv->nRows < 2) return ER_GENERAL_ERROR;
  std::vector<CkPos> ck;
  errcode_t rc = CompoundKey(psccl, &ck);
  if (rc != ER_SUCCESS) return rc;
  const uns16 row = GetBoundaryValsIndx(fFetchType, fFetchBoundary);
  // Strict on every leading position: only the last position of the whole
  // key may take the boundary row itself.
  const bool inclusive = (fFetchBoundary & KS_BNDRY_INCLUSIVE) && e == psccl->CompoundKeySize;
  std::string text;
  for (uns16 p = 1; p <= e; p++) {
    const CkPos& pos = ck[p - 1];
    const bool last = p == e;
    if (pos.oc && pos.key) {
      const std::string col = pos.oc->orig_name;
      text += last ? Comparison(col, pos.oc->sort_direction == SORT_ASC, fFetchType, inclusive)
                   : col + " = ? AND ";
    } else if (pos.oc) {
      const std::string col = pos.oc->orig_name;
      const bool isNull = IsNullAt(bv, pos.ksCol, row);
      if (!last) {
        text += col + (isNull ? " IS NULL AND " : " = ? AND ");
      } else if (isNull) {
        if (ks_NullCase(psccl->fNullCollation, pos.oc->sort_direction, fFetchType) == 1) return ER_SUCCESS;
        text += col + " IS NOT NULL ";
      } else {
        std::string cmp = Comparison(col, pos.oc->sort_direction == SORT_ASC, fFetchType, inclusive);
        if (NullsAfter(psccl->fNullCollation, pos.oc->sort_direction, fFetchType))
          text += " (" + cmp + "OR " + col + " IS NULL) ";
        else
          text += cmp;
      }
    } else {
      const std::string col = Qualified(psccl, pos.key) + " ";
      if (!last)
        text += col + "= ? AND ";
      else
        text += col + (fFetchType == SQL_FETCH_NEXT ? ">" : "<") + (inclusive ? "=" : "") + " ? ";
    }
  }
  *pOut += text;
  *pbWritten = 1;
  return ER_SUCCESS;
}

errcode_t ks_DynWhere_ParamDsetBld(PSCCL psccl, uns16 fFetchType, uns16 fFetchBoundary, Dataset** ppParams) {
  if (!psccl || !ppParams) return ER_GENERAL_ERROR;
  *ppParams = nullptr;
  Dataset* bv = psccl->pDSKeyBoundaryVals;
  if (!bv || bv->nRows < 2) return ER_GENERAL_ERROR;
  std::vector<CkPos> ck;
  errcode_t rc = CompoundKey(psccl, &ck);
  if (rc != ER_SUCCESS) return rc;
  const uns16 row = GetBoundaryValsIndx(fFetchType, fFetchBoundary);
  for (const CkPos& pos : ck)
    if (pos.ksCol >= bv->nCols) return ER_GENERAL_ERROR;

  // The boundary row alone, so that its columns copy as whole columns.
  Dataset* one = nullptr;
  rc = Dataset_Clone(&one, bv, 1);
  if (rc == ER_SUCCESS) rc = Dataset_CopyRow(one, bv, 0, row, 0);
  Dataset* out = static_cast<Dataset*>(calloc(1, sizeof(Dataset)));
  if (rc == ER_SUCCESS && !out) rc = ER_NO_MEMORY;
  if (rc == ER_SUCCESS) rc = errcode_t(Dataset_Init(out, 0));
  if (rc == ER_SUCCESS) rc = errcode_t(Dataset_AllocColumns(out, 1));
  std::vector<SCColDesc> binds;
  auto add = [&](const CkPos& pos) {
    if (rc != ER_SUCCESS) return;
    const Coldata& c = one->col[pos.ksCol];
    rc = Dataset_ColAdd(out, out->nCols, c.cType, c.width);
    if (rc == ER_SUCCESS) rc = Dataset_ColCopy(out, one, uns16(out->nCols - 1), pos.ksCol);
    if (psccl->bNeedBind) binds.push_back(pos.oc ? AsColDesc(pos.oc) : *pos.key);
  };
  for (uns16 e = 1; e <= ck.size() && rc == ER_SUCCESS; e++) {
    const CkPos& end = ck[e - 1];
    const bool nonKeyOrdr = end.oc && !end.key;
    if (nonKeyOrdr && IsNullAt(one, end.ksCol, 0) &&
        ks_NullCase(psccl->fNullCollation, end.oc->sort_direction, fFetchType) == 1)
      continue;
    for (uns16 p = 1; p <= e; p++) {
      const CkPos& pos = ck[p - 1];
      if (pos.oc && !pos.key && IsNullAt(one, pos.ksCol, 0)) continue;
      add(pos);
    }
  }
  if (rc == ER_SUCCESS) out->nRows = 1;
  for (SCColDesc& d : binds) d.pszText = nullptr;
  if (rc == ER_SUCCESS && psccl->bNeedBind && !binds.empty())
    rc = scs_p_BindDescsAdd(psccl, binds.data(), unsigned(binds.size()));
  if (one) scs_p_DatasetFree(&one);
  if (rc != ER_SUCCESS) {
    if (out) scs_p_DatasetFree(&out);
    return rc;
  }
  *ppParams = out;
  return ER_SUCCESS;
}

errcode_t KS_WhereClauseExtend_Dyn(PSCCL psccl, SC_Request* pRqst, uns16 fFetchType, uns16 fFetchBoundary,
                                   Dataset** ppKeySelectParams) {
  if (!psccl || !pRqst || !ppKeySelectParams) return ER_GENERAL_ERROR;
  if (fFetchType != SQL_FETCH_NEXT && fFetchType != SQL_FETCH_PRIOR) return ER_GENERAL_ERROR;
  if (!psccl->pDSKeyBoundaryVals || psccl->pDSKeyBoundaryVals->nRows < 2) return ER_GENERAL_ERROR;
  errcode_t rc = SCR_TagWhereClause(pRqst);
  if (rc != ER_SUCCESS) return rc;
  std::string text = (pRqst->flags & SCR_F_WHERE) ? "" : " WHERE ";
  text += "( ";
  bool any = false;
  for (uns16 e = 1; e <= psccl->CompoundKeySize; e++) {
    std::string sub;
    int written = 0;
    rc = ks_DynWhere_AddSubClause(psccl, e, fFetchType, fFetchBoundary, &sub, &written);
    if (rc != ER_SUCCESS) return rc;
    if (!written) continue;
    if (any) text += " OR ";
    text += sub;
    any = true;
  }
  if (!any) return ER_GENERAL_ERROR;
  text += " )";
  rc = scs_p_TagReplace(pRqst, text.c_str());
  if (rc != ER_SUCCESS) return rc;
  return ks_DynWhere_ParamDsetBld(psccl, fFetchType, fFetchBoundary, ppKeySelectParams);
}

errcode_t KS_KeySelectStmtBld_Dyn(PSCCL psccl, SC_Request* pRqst, uns16 fFetchType, uns16 fFetchBoundary,
                                  Dataset** ppKeySelectParams) {
  if (!psccl || !pRqst || !ppKeySelectParams || KeyCount(psccl) == 0) return ER_GENERAL_ERROR;
  *ppKeySelectParams = nullptr;
  std::string list;
  for (unsigned k = 0; k < KeyCount(psccl); k++) {
    if (k) list += ", ";
    list += Qualified(psccl, KeyCol(psccl, k));
  }
  const unsigned nOrdr = std::min<unsigned>(OrdrColCount(psccl), psccl->CompoundKeySize);
  for (unsigned i = 0; i < nOrdr; i++) {
    const SCOrdrColDesc* oc = OrdrCol(psccl, i);
    if (oc->bIsKey) continue;
    SCColDesc d = AsColDesc(oc);
    list += ", " + Qualified(psccl, &d);
  }
  errcode_t rc = SCR_TagSelectList(pRqst);
  if (rc == ER_SUCCESS) rc = scs_p_TagReplace(pRqst, list.c_str());
  if (rc != ER_SUCCESS || fFetchType == SQL_FETCH_FIRST || fFetchType == SQL_FETCH_LAST) return rc;
  rc = ks_RqstReanalyse(psccl, pRqst);
  if (rc != ER_SUCCESS) return rc;
  return KS_WhereClauseExtend_Dyn(psccl, pRqst, fFetchType, fFetchBoundary, ppKeySelectParams);
}

errcode_t scs_p_KeyBoundaryValsGet(PSCCL psccl, Dataset** ppDSKBV) {
  if (!psccl || !ppDSKBV || !psccl->pKeySet || !psccl->pKeySet->pDataset) return ER_GENERAL_ERROR;
  Dataset* ks = psccl->pKeySet->pDataset;
  if (ks->nRows <= 0) return ER_NO_DATA_FOUND;
  Dataset* bv = nullptr;
  errcode_t rc = BoundaryAt(ks, 0, ks->nRows - 1, &bv);
  if (rc != ER_SUCCESS) return rc;
  scs_p_DatasetFree(ppDSKBV);
  *ppDSKBV = bv;
  DropOrderColumns(psccl);
  return ER_SUCCESS;
}

errcode_t KS_GetKeySet_Dyn(PSCCL psccl, uns16 fFetchType, sgn32 irow) {
  if (!psccl || !psccl->pKeySet || !psccl->pDrv) return ER_GENERAL_ERROR;
  // A seek needs the boundary keys of a slice read before.
  if (fFetchType != SQL_FETCH_FIRST && fFetchType != SQL_FETCH_LAST &&
      (!psccl->pDSKeyBoundaryVals || psccl->pDSKeyBoundaryVals->nRows < 2))
    return ER_GENERAL_ERROR;
  if (fFetchType != SQL_FETCH_FIRST && fFetchType != SQL_FETCH_LAST && fFetchType != SQL_FETCH_NEXT &&
      fFetchType != SQL_FETCH_PRIOR && fFetchType != SQL_FETCH_RELATIVE)
    return ER_INVALID_FETCHTYPE;
  KeySet* ks = psccl->pKeySet;
  errcode_t rc = scs_p_AuxCursorOpen(psccl);
  if (rc != ER_SUCCESS) return rc;

  psccl->f_state = uns16(psccl->f_state & ~(SCCL_ORDER_BY_KEYS | SCCL_ROWSET_SELECT));
  rc = SCR_AnalyseSQL(&psccl->Rqst, psccl->pszSQL, 0, SCR_DROP_QUALIFIER);
  if (rc == ER_SUCCESS) rc = KS_OrderByClauseExtend(&psccl->Rqst, psccl);
  if (rc != ER_SUCCESS) return rc;
  psccl->f_state |= SCCL_ORDER_BY_KEYS;

  // The seek. RELATIVE counts from the first key held through the result as
  // it stands now: it reads `take` rows and keeps rows [from, from + count).
  const sgn32 n = psccl->KSSize, h = ks->pDataset ? ks->pDataset->nRows : 0;
  const int64_t a = irow < 0 ? -int64_t(irow) : irow;
  auto rowsFor = [](int64_t v) { return sgn32(std::clamp<int64_t>(v, 0, INT32_MAX)); };
  uns16 ft = fFetchType, fb = 0;
  const bool relative = fFetchType == SQL_FETCH_RELATIVE;
  // Past the end the empty slice held begins right after the last key.
  const bool afterEnd = psccl->bSliceAfterEnd && h == 0;
  sgn32 take = n, from = 0, count = n;
  sgn32 rest = 0;  // rows read from the first key on, after the rows before it
  if (relative && afterEnd) {
    if (irow >= 0) {
      ft = SQL_FETCH_NEXT;
      take = rowsFor(int64_t(n) + irow);
      from = irow;
    } else {
      // Counted back from the last key itself: at most a keys, the first n of the slice.
      ft = SQL_FETCH_PRIOR;
      fb = KS_BNDRY_OTHER_END | KS_BNDRY_INCLUSIVE;
      take = rowsFor(a);
      from = rowsFor(std::max<int64_t>(0, a - n));
      count = rowsFor(std::min<int64_t>(n, a));
    }
  } else if (relative && irow == 0) {
    ft = SQL_FETCH_NEXT;
    fb = KS_BNDRY_OTHER_END | KS_BNDRY_INCLUSIVE;
  } else if (relative && irow > 0) {
    ft = SQL_FETCH_NEXT;
    fb = KS_BNDRY_OTHER_END;
    take = rowsFor(int64_t(n) + a - 1);
    from = rowsFor(a - 1);
  } else if (relative && a >= n) {
    ft = SQL_FETCH_PRIOR;
    take = rowsFor(a);
    from = rowsFor(a - n);
  } else if (relative) {
    // Back by less than the slice: the a rows before the first key, then the
    // first n - a from it on.
    ft = SQL_FETCH_PRIOR;
    take = count = rowsFor(a);
    rest = rowsFor(n - a);
  } else if (ft == SQL_FETCH_PRIOR && afterEnd) {
    fb = KS_BNDRY_INCLUSIVE;  // the last key is the slice's last
  }
  const bool backwards = ft == SQL_FETCH_LAST || ft == SQL_FETCH_PRIOR;

  Dataset* read = static_cast<Dataset*>(calloc(1, sizeof(Dataset)));
  Dataset* tail = rest > 0 ? static_cast<Dataset*>(calloc(1, sizeof(Dataset))) : nullptr;
  rc = !read || (rest > 0 && !tail) ? ER_NO_MEMORY : ReadKeys(psccl, ft, fb, take, read);
  if (rc == ER_SUCCESS && tail)
    rc = ReadKeys(psccl, SQL_FETCH_NEXT, KS_BNDRY_OTHER_END | KS_BNDRY_INCLUSIVE, rest, tail);
  // Nothing after the slice held: the cursor stands past the end, right after
  // the last row read or, with none, after the key the seek started from.
  Dataset* endBV = nullptr;
  if (rc == ER_SUCCESS && ft == SQL_FETCH_NEXT && from >= read->nRows) {
    const bool anyRead = read->nRows > 0;
    const sgn32 at = anyRead ? read->nRows - 1 : GetBoundaryValsIndx(ft, fb);
    rc = BoundaryAt(anyRead ? read : psccl->pDSKeyBoundaryVals, at, at, &endBV);
  }
  if (rc == ER_SUCCESS && relative && (irow != 0 || afterEnd)) rc = KeepRows(&read, from, count);
  if (rc == ER_SUCCESS && backwards && read->nRows > 1) rc = Dataset_Invert(&read);
  if (rc == ER_SUCCESS && tail) {
    if (read->nRows == 0) std::swap(read, tail);
    rc = Dataset_Grow(read, tail);
  }
  if (tail) scs_p_DatasetFree(&tail);
  if (rc != ER_SUCCESS) {
    if (read) scs_p_DatasetFree(&read);
    if (endBV) scs_p_DatasetFree(&endBV);
    return rc;
  }
  psccl->bSliceAfterEnd = endBV != nullptr;
  if (endBV) {
    scs_p_DatasetFree(&psccl->pDSKeyBoundaryVals);
    psccl->pDSKeyBoundaryVals = endBV;
  }
  scs_p_DatasetFree(&ks->pDataset);
  ks->pDataset = read;
  ks->Position = 0;
  ks->rgfRowStatus = static_cast<uns16*>(calloc(size_t(std::max(n, 1)), sizeof(uns16)));
  if (!ks->rgfRowStatus) return ER_NO_MEMORY;
  for (sgn32 i = read->nRows; i < n; i++) ks->rgfRowStatus[i] = SQL_ROW_NOROW;
  if (read->nRows == 0) {
    DropOrderColumns(psccl);
    return ER_NO_DATA_FOUND;
  }
  return scs_p_KeyBoundaryValsGet(psccl, &psccl->pDSKeyBoundaryVals);
}
