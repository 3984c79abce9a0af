// The columns of an analysed statement (statement_columns.h): the select-list
// columns completed from the table columns, the ORDER BY columns named and
// resolved to their tables, the keys marked by their ORDER BY position, the
// compound key of dynamic cursors, and the column attributes answered from
// the analysis. Called by the prepare-time analysis and the backend's
// column-attribute hook.
#include "cursors/statement_columns.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "backend/backend.h"
#include "cursors/analysis_helpers.h"
#include "cursors/discovery.h"
#include "cursors/keyset_store.h"
#include "util/log.h"

namespace {

std::string Lower(const char* s) {
  std::string out(s ? s : "");
  for (char& c : out) c = char(tolower(static_cast<unsigned char>(c)));
  return out;
}

// Oracle's pseudo-columns lose their meaning when quoted.
int CanQuoteColumn(PSCCL me, const char* name) {
  std::string n = Lower(name);
  if ((n.find("rowid") != std::string::npos || n.find("rownum") != std::string::npos) &&
      Lower(me->pszDbmsName).find("oracle") != std::string::npos)
    return 0;
  return 1;
}

void CaseConvert(PSCCL me, char* ident, int canQuote) {
  DBIdentCaseConvert(ident, me->idQuoteChar, me->idQIdentCase, me->idIdentCase, me->unicode, canQuote);
}

bool IdentMatch(PSCCL me, const char* a, const char* b) {
  return DBIdentMatch(a, b, me->idQuoteChar, me->idQIdentCase, me->idIdentCase, me->unicode) != 0;
}

// Adds a copy of d (its text duplicated) to the list.
errcode_t AddColCopy(alist_t* l, const SCColDesc& d) {
  SCColDesc c = d;
  c.pszText = nullptr;
  if (d.pszText && !(c.pszText = strdup(d.pszText))) return ER_NO_MEMORY;
  if (!alist_Add(l, &c)) {
    free(c.pszText);
    return ER_NO_MEMORY;
  }
  return ER_SUCCESS;
}

// An ORDER BY column names this key: same column, and the same table and owner
// when the ORDER BY column gives them.
bool OrderColIsKey(const SCOrdrColDesc& o, const SCColDesc& k) {
  if (strcmp(o.col_name, k.col_name) != 0) return false;
  if (o.tbl_name[0] && strcmp(o.tbl_name, k.tbl_name) != 0) return false;
  if (o.tbl_name[0] && o.owner_name[0] && strcmp(o.owner_name, k.owner_name) != 0) return false;
  return true;
}

}  // namespace

errcode_t scs_p_SelectRqstValidate_Dyn(PSCCL me) {
  const uns16 f = me->SelectRqstFlags;
  if (f & SCR_F_GROUP_BY) return ER_PRQST_GROUPBY_CLAUSE;
  if (f & SCR_F_UNION) return ER_PRQST_UNION_CLAUSE;
  alist_t* keys = KeyCols(me);
  const unsigned n = Count(keys), nOrdr = Count(me->pLS_OrdrCols);
  // A key keeps the position of the first ORDER BY column that names it.
  for (unsigned k = 0; k < n; k++) At<SCColDesc>(keys, k)->iOrdrBy = 0;
  if (!(f & SCR_F_ORDER_BY) || nOrdr == 0) {
    me->CompoundKeySize = uns16(n);
    return ER_SUCCESS;
  }
  unsigned matched = 0, nonKey = 0;
  for (unsigned i = 0; i < nOrdr; i++) {
    SCOrdrColDesc* o = At<SCOrdrColDesc>(me->pLS_OrdrCols, i);
    SCColDesc* key = nullptr;
    for (unsigned k = 0; k < n && !key; k++)
      if (OrderColIsKey(*o, *At<SCColDesc>(keys, k))) key = At<SCColDesc>(keys, k);
    if (key) {
      o->bIsKey = 1;
      o->SQLType = key->SQLType;
      o->precision = key->precision;
      o->scale = key->scale;
      if (key->iOrdrBy) continue;
      key->iOrdrBy = uns8(i + 1 > 255 ? 255 : i + 1);
      if (++matched == n) {
        me->CompoundKeySize = uns16(i + 1);
        return ER_SUCCESS;
      }
      continue;
    }
    o->bIsKey = 0;
    nonKey++;
    if (o->SQLType == SQL_UNKNOWN_TYPE) {
      SCColDesc want{};
      scs_p_NameCopy(want.col_name, o->col_name);
      scs_p_NameCopy(want.tbl_name, o->tbl_name);
      scs_p_NameCopy(want.owner_name, o->owner_name);
      SCColDesc* t = ColDesc_FindByName(me->pLS_TblCols ? At<SCColDesc>(me->pLS_TblCols, 0) : nullptr,
                                        Count(me->pLS_TblCols), &want, nullptr);
      if (!t) return ER_GENERAL_ERROR;
      o->SQLType = t->SQLType;
      o->precision = t->precision;
      o->scale = t->scale;
    }
  }
  me->CompoundKeySize = uns16(n + nonKey);
  return ER_SUCCESS;
}

errcode_t scs_p_OrdrColsGet(PSCCL me) {
  if (!NewList(&me->pLS_OrdrCols, sizeof(SCOrdrColDesc), nullptr)) return ER_NO_MEMORY;
  errcode_t rc = SCR_OrderingColsGet(&me->Rqst, me->pLS_OrdrCols);
  if (rc != ER_SUCCESS) return rc;
  me->SelectRqstFlags |= me->Rqst.flags;
  const bool numeric = (me->SelectRqstFlags & SCR_F_NUMERIC_ORDER_BY) != 0;
  if (numeric && (rc = scs_p_NumericOrdrCols_GetNames(me)) != ER_SUCCESS) return rc;
  if ((rc = scs_p_OrdrCols_NamesConvert(me)) != ER_SUCCESS) return rc;
  if (numeric) {
    if ((rc = SCR_RelabelNumericOrdrCols(&me->Rqst, me->pLS_OrdrCols)) != ER_SUCCESS) return rc;
    free(me->pszSQL);
    if (!(me->pszSQL = strdup(pt_Label(me->Rqst.pParsTree)))) return ER_NO_MEMORY;
  }
  return ER_SUCCESS;
}

errcode_t scs_p_NumericOrdrCols_GetNames(PSCCL me) {
  alist_t* sel = alist_Alloc(sizeof(SCColDesc));
  if (!sel) return ER_NO_MEMORY;
  errcode_t rc = scs_p_SelectColsGet(me, sel, nullptr);
  for (unsigned i = 0; rc == ER_SUCCESS && i < Count(me->pLS_OrdrCols); i++) {
    SCOrdrColDesc* o = At<SCOrdrColDesc>(me->pLS_OrdrCols, i);
    if (o->nColIndx == 0) continue;
    if (o->nColIndx > sel->cUsed) {
      rc = ER_SYNTAXIS;
      break;
    }
    const SCColDesc* s = At<SCColDesc>(sel, o->nColIndx - 1u);
    if (s->selectItemType == SIT_EXPR) {
      rc = ER_ORDR_ON_EXPRESSION;
      break;
    }
    scs_p_NameCopy(o->col_name, s->col_name);
    scs_p_NameCopy(o->tbl_name, s->tbl_name);
    scs_p_NameCopy(o->tbl_alias, s->tbl_alias);
    scs_p_NameCopy(o->owner_name, s->owner_name);
    scs_p_NameCopy(o->qualifier, s->qualifier);
    o->SQLType = s->SQLType;
    o->precision = s->precision;
    o->scale = s->scale;
    char* q = scs_p_QualifyCol(TableCount(me), s);
    if (!q) {
      rc = ER_NO_MEMORY;
      break;
    }
    snprintf(o->orig_name, sizeof o->orig_name, "%s", q);
    free(q);
  }
  alist_Dealloc(&sel, SCColDescDestroy);
  return rc;
}

errcode_t scs_p_OrdrCols_NamesConvert(PSCCL me) {
  for (unsigned i = 0; i < Count(me->pLS_OrdrCols); i++) {
    SCOrdrColDesc* o = At<SCOrdrColDesc>(me->pLS_OrdrCols, i);
    CaseConvert(me, o->col_name, CanQuoteColumn(me, o->col_name));
    if (!o->tbl_name[0]) continue;
    const TableDesc* byAlias = nullptr;
    for (unsigned t = 0; t < Count(me->pLS_RefdTables) && !byAlias; t++) {
      const TableDesc* d = At<TableDesc>(me->pLS_RefdTables, t);
      if (d->pszAlias && strcmp(d->pszAlias, o->tbl_name) == 0) byAlias = d;
    }
    if (byAlias) {
      scs_p_NameCopy(o->tbl_alias, o->tbl_name);
      scs_p_NameCopy(o->tbl_name, byAlias->pszName);
      scs_p_NameCopy(o->owner_name, byAlias->pszOwner);
    } else {
      CaseConvert(me, o->tbl_name, 1);
      CaseConvert(me, o->owner_name, 1);
    }
  }
  return ER_SUCCESS;
}

errcode_t scs_p_TagKeyOrdrCols(PSCCL me) {
  alist_t* keys = KeyCols(me);
  const unsigned n = Count(keys);
  if (n == 0 || !me->pLS_OrdrCols) return ER_SUCCESS;
  for (unsigned k = 0; k < n; k++) At<SCColDesc>(keys, k)->iOrdrBy = 0;
  for (unsigned i = 0; i < me->pLS_OrdrCols->cUsed; i++) {
    const SCOrdrColDesc* o = At<SCOrdrColDesc>(me->pLS_OrdrCols, i);
    for (unsigned k = 0; k < n; k++) {
      SCColDesc* key = At<SCColDesc>(keys, k);
      if (!OrderColIsKey(*o, *key)) continue;
      if (!key->iOrdrBy) key->iOrdrBy = uns8(i + 1 > 255 ? 255 : i + 1);
      break;
    }
  }
  return ER_SUCCESS;
}

errcode_t scs_p_SelectColsGet(PSCCL me, alist_t* pTarget, alist_t** ppRawItems) {
  if (ppRawItems) *ppRawItems = nullptr;
  if (!pTarget) return ER_GENERAL_ERROR;
  alist_t* raw = alist_Alloc(sizeof(SCColDesc));
  if (!raw) return ER_NO_MEMORY;
  errcode_t rc = SCR_SelectColsGet(&me->Rqst, raw);
  errcode_t status = ER_SUCCESS;
  TableDesc* tables = me->pLS_RefdTables ? At<TableDesc>(me->pLS_RefdTables, 0) : nullptr;
  const unsigned nTables = Count(me->pLS_RefdTables);
  for (unsigned i = 0; rc == ER_SUCCESS && i < raw->cUsed; i++) {
    SCColDesc* item = At<SCColDesc>(raw, i);
    switch (item->selectItemType) {
      case SIT_ALL_COLS:
        rc = tables ? scs_p_GetTblColDescs(me, tables, nTables, 0, pTarget) : ER_GENERAL_ERROR;
        if (rc != ER_SUCCESS) logit(LOG_DEBUG, __FILE__, __LINE__, "scs_p_SelectColsGet failed");
        status = rc;
        break;
      case SIT_ALL_TBL_COLS: {
        TableDesc* hit = nullptr;
        for (unsigned t = 0; t < nTables && !hit; t++)
          if (tables[t].pszAlias && strcmp(tables[t].pszAlias, item->tbl_name) == 0) {
            hit = &tables[t];
            scs_p_NameCopy(item->tbl_alias, hit->pszAlias);
            scs_p_NameCopy(item->tbl_name, hit->pszName);
          }
        if (!hit) {
          CaseConvert(me, item->tbl_name, 1);
          for (unsigned t = 0; t < nTables && !hit; t++)
            if (tables[t].pszName && strcmp(tables[t].pszName, item->tbl_name) == 0) hit = &tables[t];
        }
        if (!hit) {
          logit(LOG_DEBUG, __FILE__, __LINE__,
                "scs_p_SelectColsGet: Unable to find descriptor for table/alias %s", item->tbl_name);
          status = ER_GENERAL_ERROR;
          break;
        }
        rc = scs_p_GetTblColDescs(me, hit, 1, 0, pTarget);
        if (rc != ER_SUCCESS) logit(LOG_DEBUG, __FILE__, __LINE__, "scs_p_SelectColsGet failed");
        status = rc;
        break;
      }
      case SIT_EXPR:
      case SIT_COL_NAME:
        rc = AddColCopy(pTarget, *item);
        break;
      default:
        rc = ER_GENERAL_ERROR;
        break;
    }
  }
  if (rc == ER_SUCCESS) rc = status;
  if (rc == ER_SUCCESS && ppRawItems)
    *ppRawItems = raw;
  else
    alist_Dealloc(&raw, SCColDescDestroy);
  return rc;
}

errcode_t scs_p_SelectCol_ColDescComplete(PSCCL me) {
  const bool severalTables = Count(me->pLS_RefdTables) >= 2;
  for (unsigned i = 0; i < Count(me->pLS_SelectCols); i++) {
    SCColDesc* s = At<SCColDesc>(me->pLS_SelectCols, i);
    if (s->selectItemType != SIT_COL_NAME && s->selectItemType != SIT_NOT_SET) continue;
    CaseConvert(me, s->col_name, CanQuoteColumn(me, s->col_name));
    CaseConvert(me, s->tbl_name, 1);
    CaseConvert(me, s->owner_name, 1);
    for (unsigned t = 0; t < Count(me->pLS_TblCols); t++) {
      const SCColDesc* c = At<SCColDesc>(me->pLS_TblCols, t);
      if (!IdentMatch(me, c->col_name, s->col_name)) continue;
      if (severalTables && s->tbl_name[0] && !IdentMatch(me, c->tbl_name, s->tbl_name) &&
          !(c->tbl_alias[0] && IdentMatch(me, c->tbl_alias, s->tbl_name)))
        continue;
      scs_p_NameCopy(s->tbl_name, c->tbl_name);
      scs_p_NameCopy(s->tbl_alias, c->tbl_alias);
      scs_p_NameCopy(s->owner_name, c->owner_name);
      scs_p_NameCopy(s->qualifier, c->qualifier);
      scs_p_NameCopy(s->col_name, c->col_name);
      break;
    }
  }
  return ER_SUCCESS;
}

errcode_t scs_p_ColGetInfo(PSCCL me, uns16 iCol, Coldesc* pDesc, uns16 fInfo, uns16 cColsPerAttrib,
                           uns16 cColAttribs, ColAttrib* pAttribs) {
  if (!me || !(me->f_state & SCCL_ANALYSED) || iCol == 0 || iCol > Count(me->pLS_SelectCols))
    return ER_SUCCESS;
  const SCColDesc* s = At<SCColDesc>(me->pLS_SelectCols, iCol - 1u);
  if (pDesc) {
    const struct {
      uns16 bit;
      String* field;
      const char* text;
    } parts[] = {{0x1, &pDesc->columnName, s->col_name},
                 {0x2, &pDesc->tableName, s->tbl_name},
                 {0x4, &pDesc->ownerName, s->owner_name},
                 {0x8, &pDesc->qualifierName, s->qualifier}};
    for (const auto& p : parts) {
      if (!(fInfo & p.bit)) continue;
      char* copy = strdup(p.text);
      if (!copy) continue;
      free(*p.field);
      *p.field = copy;
    }
  }
  if (!pAttribs || cColsPerAttrib == 0) return ER_SUCCESS;
  bool isKey = false;
  for (unsigned k = 0; k < Count(KeyCols(me)) && !isKey; k++)
    isKey = SameColumn(*s, *At<SCColDesc>(KeyCols(me), k));
  for (unsigned i = iCol; i < cColAttribs; i += cColsPerAttrib) {
    ColAttrib& a = pAttribs[i];
    if (a.attribId == -COLATTR_KEY_COLUMN) {
      a.attribVal.u.l = isKey ? 1 : 0;
      a.attribId = COLATTR_KEY_COLUMN;
    } else if (a.attribId == -COLATTR_EXPRESSION) {
      a.attribVal.u.l = s->selectItemType == SIT_EXPR ? 1 : 0;
      a.attribId = COLATTR_EXPRESSION;
    }
  }
  return ER_SUCCESS;
}
