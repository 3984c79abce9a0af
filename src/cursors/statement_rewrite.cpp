// Statement rewriting (statement_rewrite.h): the analyser run again over a
// request's text, the splice of new text at the request's tag, and the
// rewrites built on the keys: the ORDER BY extended by the keys, the key
// SELECT and the WHERE that matches groups of key values. Called by the
// analysis, the keyset, the slices and the rowset reads.
#include "cursors/statement_rewrite.h"

#include <cstdlib>
#include <string>

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

}  // namespace

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

errcode_t ks_RqstReanalyse(PSCCL me, SC_Request* pRqst) {
  if (!me || !pRqst) return ER_GENERAL_ERROR;
  // The analysis frees the request's text first.
  const std::string text = pRqst->translated ? pRqst->translated : "";
  return scs_p_AnalyseLogged(pRqst, text.c_str(), 0, me->bQualName);
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
