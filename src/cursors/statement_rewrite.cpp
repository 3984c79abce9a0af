// Statement rewriting (statement_rewrite.h): the analyser run again over a
// request's text, the splice of new text at the request's tag, and the
// rewrites built on the keys: the ORDER BY extended by the keys, the key
// SELECT and the WHERE that matches groups of key values; the select list of
// forward-only cursors that ask for keys, and the SELECT of every table column
// that the old values read. Called by the analysis, the keyset, the slices,
// the rowset reads and the old values.
#include "cursors/statement_rewrite.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cursors/analysis_helpers.h"
#include "cursors/discovery.h"
#include "util/log.h"

namespace {

SCColDesc* KeyAt(alist_t* l, unsigned i) { return static_cast<SCColDesc*>(alist_At(l, i)); }

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

// A column item written with an alias ("a AS x", "t.a x"): its text is more
// than its name.
bool HasAlias(const SCColDesc& raw) {
  if (raw.selectItemType != SIT_COL_NAME || !raw.pszText) return false;
  std::string name;
  if (raw.owner_name[0]) name += std::string(raw.owner_name) + ".";
  if (raw.tbl_name[0]) name += std::string(raw.tbl_name) + ".";
  name += raw.col_name;
  return name != raw.pszText;
}

}  // namespace

errcode_t scs_p_AnalyseLogged(SC_Request* pRqst, const char* sql, int bRebuildOnly) {
  errcode_t rc = SCR_AnalyseSQL(pRqst, sql, bRebuildOnly, SCR_DROP_QUALIFIER);
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

errcode_t ks_RqstReanalyse(PSCCL me, SC_Request* pRqst) {
  if (!me || !pRqst) return ER_GENERAL_ERROR;
  // The analysis frees the request's text first.
  const std::string text = pRqst->translated ? pRqst->translated : "";
  return scs_p_AnalyseLogged(pRqst, text.c_str(), 0);
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

errcode_t scs_p_SelListAddKeysnXpandWC(PSCCL me, alist_t* pRawItems, int* pbModified) {
  if (pbModified) *pbModified = 0;
  bool star = false, tableWildcard = false;
  std::vector<const SCColDesc*> rawItems;  // the items written as text, in order
  for (unsigned i = 0; i < Count(pRawItems); i++) {
    const SCColDesc* r = At<SCColDesc>(pRawItems, i);
    if (r->selectItemType == SIT_ALL_COLS) star = true;
    if (r->selectItemType == SIT_ALL_TBL_COLS) tableWildcard = true;
    if (r->pszText) rawItems.push_back(r);
  }
  // Keys appended to a DISTINCT, grouped, aggregated or united list would
  // change its rows or make it invalid.
  const bool keysFit =
      !(me->Rqst.flags & (SCR_F_GROUP_BY | SCR_F_AGGREGATE | SCR_F_UNION)) && !IsDistinct(&me->Rqst);
  std::vector<unsigned> marked;
  alist_t* keys = KeyCols(me);
  if (!star) {
    if (me->bSelectAppendKeys && keysFit) {
      for (unsigned k = 0; k < Count(keys); k++) {
        const SCColDesc* key = At<SCColDesc>(keys, k);
        bool present = false;
        for (unsigned s = 0; s < Count(me->pLS_SelectCols) && !present; s++)
          present = SameColumn(*At<SCColDesc>(me->pLS_SelectCols, s), *key);
        if (!present) marked.push_back(k);
      }
    }
    if (marked.empty() && !tableWildcard) return ER_SUCCESS;
  }
  // The client's own text holds the marker bytes: it cannot be tagged, and
  // stays as the client wrote it.
  if (strstr(pt_Label(me->Rqst.pParsTree), SCR_TAG_MARKER)) return ER_SUCCESS;
  errcode_t rc = SCR_TagSelectList(&me->Rqst);
  if (rc != ER_SUCCESS) return rc;
  const uns8 nTables = TableCount(me);
  std::string list;
  size_t nextRaw = 0;
  const unsigned nSelect = Count(me->pLS_SelectCols);
  for (unsigned i = 0; i < nSelect; i++) {
    const SCColDesc* s = At<SCColDesc>(me->pLS_SelectCols, i);
    const SCColDesc* r = s->pszText && nextRaw < rawItems.size() ? rawItems[nextRaw++] : nullptr;
    if (i) list += ", ";
    if (s->selectItemType == SIT_EXPR) {
      list += s->pszText ? s->pszText : s->col_name;
    } else if (r && HasAlias(*r)) {
      list += s->pszText;  // a renamed column keeps its name
    } else {
      char* q = scs_p_QualifyCol(nTables, s);
      if (!q) return ER_NO_MEMORY;
      list += q;
      free(q);
    }
  }
  for (unsigned k : marked) {
    const SCColDesc* key = At<SCColDesc>(keys, k);
    char* q = scs_p_QualifyCol(nTables, key);
    if (!q) return ER_NO_MEMORY;
    list += ", ";
    list += q;
    free(q);
    SCColDesc added = *key;
    added.pszText = nullptr;
    added.selectItemType = SIT_COL_NAME;
    if (!alist_Add(me->pLS_SelectCols, &added)) return ER_NO_MEMORY;
  }
  if ((rc = scs_p_TagReplace(&me->Rqst, list.c_str())) != ER_SUCCESS) return rc;
  if (pbModified) *pbModified = 1;
  return ER_SUCCESS;
}

errcode_t scs_p_AllColSelectStmtBld(PSCCL me, const char* sql, SC_Request* pRqst) {
  if (!me || !pRqst) return ER_GENERAL_ERROR;
  SCR_Destroy(pRqst);
  errcode_t rc = scs_p_AnalyseLogged(pRqst, sql, 1);
  if (rc == ER_SUCCESS) rc = SCR_TagSelectList(pRqst);
  if (rc != ER_SUCCESS) return rc;
  const uns8 nTables = TableCount(me);
  std::string list;
  for (unsigned i = 0; i < Count(me->pLS_TblCols); i++) {
    const SCColDesc* c = At<SCColDesc>(me->pLS_TblCols, i);
    if (i) list += ", ";
    if (nTables > 1) {
      char* q = scs_p_QualifyCol(nTables, c);
      if (!q) return ER_NO_MEMORY;
      list += q;
      free(q);
    } else {
      list += c->col_name;
    }
  }
  return scs_p_TagReplace(pRqst, list.c_str());
}
