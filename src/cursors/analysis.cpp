// Prepare-time analysis of the cursor engine (analysis.h): which statements a
// cursor can serve, the tables, keys, select and ORDER BY columns they need,
// and the select-list rewrite of forward-only cursors that ask for keys.
#include "cursors/analysis.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cursors/cursor_state.h"
#include "cursors/discovery.h"
#include "cursors/ds_cache.h"
#include "cursors/inner.h"
#include "cursors/key_columns.h"
#include "cursors/keyset_store.h"
#include "cursors/rvc.h"
#include "cursors/snapshot.h"
#include "cursors/statement_rewrite.h"
#include "model/drv_param_codes.h"
#include "util/log.h"
#include "util/strutil.h"

namespace {

// Statements whose rows are not rows of their tables: no keyset can serve them.
constexpr uns16 F_NOT_KEYABLE = SCR_F_JOIN | SCR_F_GROUP_BY | SCR_F_AGGREGATE | SCR_F_UNION;

template <class T>
T* At(alist_t* l, unsigned i) {
  return static_cast<T*>(alist_At(l, i));
}

unsigned Count(const alist_t* l) { return l ? l->cUsed : 0; }

uns8 TableCount(PSCCL me) {
  unsigned n = Count(me->pLS_RefdTables);
  return uns8(n > 255 ? 255 : n);
}

alist_t* KeyCols(PSCCL me) { return me->pKeySet ? me->pKeySet->pLS_KeyCols : nullptr; }

bool IsScrollable(PSCCL me) { return me->CursType != SQL_CURSOR_FORWARD_ONLY; }

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

void FreeList(alist_t** pp, alist_destroy_fun destroy) {
  if (*pp) alist_Dealloc(pp, destroy);
  *pp = nullptr;
}

// A fresh empty list in *pp (the old one freed); false when memory fails.
bool NewList(alist_t** pp, size_t elem, alist_destroy_fun destroy) {
  FreeList(pp, destroy);
  *pp = alist_Alloc(elem);
  return *pp != nullptr;
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

// Same base column: every name part equal.
bool SameColumn(const SCColDesc& a, const SCColDesc& b) {
  return strcmp(a.col_name, b.col_name) == 0 && strcmp(a.tbl_name, b.tbl_name) == 0 &&
         strcmp(a.owner_name, b.owner_name) == 0 && strcmp(a.qualifier, b.qualifier) == 0;
}

// An ORDER BY column names this key: same column, and the same table and owner
// when the ORDER BY column gives them.
bool OrderColIsKey(const SCOrdrColDesc& o, const SCColDesc& k) {
  if (strcmp(o.col_name, k.col_name) != 0) return false;
  if (o.tbl_name[0] && strcmp(o.tbl_name, k.tbl_name) != 0) return false;
  if (o.tbl_name[0] && o.owner_name[0] && strcmp(o.owner_name, k.owner_name) != 0) return false;
  return true;
}

// SELECT DISTINCT: its rows are not rows of its tables either.
bool IsDistinct(SC_Request* r) {
  PRSTR_NODE* sel = scr_OuterSelectExp(r->pParsTree);
  PRSTR_NODE* top = pt_Child(sel, 1);
  PRSTR_NODE* all = top && top->symbl.nType == EXPR_OPT_TOP ? (pt_IsInner(top) ? top->left : top) : nullptr;
  return all && all->symbl.nType == EXPR_OPT_ALL_DISTINCT && strcmp(pt_Label(all), "DISTINCT") == 0;
}

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

errcode_t SetStmtOption(PSCCL me, uns32 code, sgn32 value) {
  return SCs_Inner(me->pDrv).setDrvParameter(me->hCursor, code, &value);
}

// The state of the previous statement goes: keyset, snapshot, positions,
// optimistic values.
void ResetResultState(PSCCL me) {
  me->KSPosition = KSP_INVALID;
  me->SelectRqstFlags = SCCL_RQST_NOT_SELECT;
  if (me->pKeySet) KS_Close(me->pKeySet);
  if (me->pSnapShot) SS_Close(me->pSnapShot);
  SC_Reset(me);
  DSC_Close(&me->OCVC);
  if (me->pDSOptConcColVals) Dataset_Done(me->pDSOptConcColVals);
}

errcode_t InitRowVersions(PSCCL me) {
  return RVC_Init(&me->RVC, me->pDrv, me->hConnect, me->hCursor, me->bNeedBind);
}

errcode_t AuxCursorsMake(PSCCL me) {
  drv_ops& ops = SCs_Inner(me->pDrv);
  if (!me->hSCCurs || !ODBC_CursorRec(me->hSCCurs)) {
    me->hSCCurs = 0;
    if (ops.cursor(me->hConnect, &me->hSCCurs) != ER_SUCCESS) {
      me->hSCCurs = 0;
      return ER_GENERAL_ERROR;
    }
  }
  const bool rvc = me->CursType == SQL_CURSOR_DYNAMIC && me->bUseRVC;
  if (!me->hSCCurs2 || !ODBC_CursorRec(me->hSCCurs2)) {
    me->hSCCurs2 = 0;
    if (ops.cursor(me->hConnect, &me->hSCCurs2) != ER_SUCCESS) {
      me->hSCCurs2 = 0;
      return ER_GENERAL_ERROR;
    }
    if (rvc) {
      errcode_t rc = InitRowVersions(me);
      if (rc != ER_SUCCESS) return rc;
    }
  }
  return rvc ? RVC_Flush(&me->RVC) : ER_SUCCESS;
}

// Columns of the referenced tables into pLS_TblCols.
errcode_t TableColumnsGet(PSCCL me, int bSkipLongCols) {
  errcode_t rc = ER_GENERAL_ERROR;
  if (me->pLS_RefdTables) {
    rc = NewList(&me->pLS_TblCols, sizeof(SCColDesc), SCColDescDestroy)
             ? scs_p_GetTblColDescs(me, At<TableDesc>(me->pLS_RefdTables, 0), me->pLS_RefdTables->cUsed,
                                    bSkipLongCols, me->pLS_TblCols)
             : ER_NO_MEMORY;
  }
  if (rc != ER_SUCCESS) logit(LOG_DEBUG, __FILE__, __LINE__, "scs_p_GetTblColDescs failed");
  return rc;
}

errcode_t SelectColumnsGet(PSCCL me, alist_t** ppRaw) {
  errcode_t rc = NewList(&me->pLS_SelectCols, sizeof(SCColDesc), SCColDescDestroy)
                     ? scs_p_SelectColsGet(me, me->pLS_SelectCols, ppRaw)
                     : ER_NO_MEMORY;
  if (rc != ER_SUCCESS) logit(LOG_DEBUG, __FILE__, __LINE__, "scs_p_SelectColsGet failed");
  return rc;
}

// The forward-only analysis: keys, columns, and the select list rewritten
// when keys are to be appended or wildcards written out.
errcode_t PrepareForwardOnly(PSCCL me) {
  const unsigned nTables = Count(me->pLS_RefdTables);
  if (me->pKeySet) {
    me->pKeySet->cRefdTables = TableCount(me);
    if (!NewList(&me->pKeySet->pLS_KeyCols, sizeof(SCColDesc), SCColDescDestroy)) return ER_NO_MEMORY;
  }
  // Without tables there are no keys to look for.
  errcode_t rc = ER_NO_KEYS;
  if (nTables) {
    rc = ks_GetKeyColDescs_PKeys(me, At<TableDesc>(me->pLS_RefdTables, 0), int(nTables), nullptr);
    if (rc != ER_SUCCESS) rc = KS_GetKeyColDescs(me, me->pLS_RefdTables);
  }
  if (rc != ER_SUCCESS && rc != ER_NO_KEYS) {
    logit(LOG_DEBUG, __FILE__, __LINE__, "ks_GetKeyColDescs_PKeys failed");
    return rc;
  }
  if ((rc = TableColumnsGet(me, 0)) != ER_SUCCESS) return rc;
  alist_t* raw = nullptr;
  if ((rc = SelectColumnsGet(me, &raw)) != ER_SUCCESS) return rc;
  if ((rc = scs_p_SelectCol_ColDescComplete(me)) != ER_SUCCESS) {
    logit(LOG_DEBUG, __FILE__, __LINE__, "scs_p_SelectCol_ColDescComplete failed");
    alist_Dealloc(&raw, SCColDescDestroy);
    return rc;
  }
  int modified = 0;
  rc = scs_p_SelListAddKeysnXpandWC(me, raw, &modified);
  alist_Dealloc(&raw, SCColDescDestroy);
  if (rc != ER_SUCCESS) {
    logit(LOG_DEBUG, __FILE__, __LINE__, "scs_p_SelListAddKeysnXpandWC failed");
    return rc;
  }
  if (modified && (rc = SCs_Inner(me->pDrv).prepare(me->hCursor, me->Rqst.translated)) != ER_SUCCESS)
    return rc;
  me->f_state |= SCCL_ANALYSED;
  return ER_SUCCESS;
}

// The columns optimistic concurrency compares.
errcode_t OptConcColumnsGet(PSCCL me) {
  errcode_t rc = TableColumnsGet(me, 1);
  if (rc != ER_SUCCESS || me->fOptConcValExtent != SCCL_OCV_SELECT_COLS) return rc;
  if ((rc = SelectColumnsGet(me, nullptr)) != ER_SUCCESS) return rc;
  if (!me->bNeedBind) return ER_SUCCESS;
  // Names as the catalog spells them, so that the table columns are found.
  scs_p_SelectCol_ColDescComplete(me);
  for (unsigned i = 0; i < Count(me->pLS_SelectCols); i++) {
    SCColDesc* s = At<SCColDesc>(me->pLS_SelectCols, i);
    if (s->SQLType != SQL_UNKNOWN_TYPE) continue;
    SCColDesc* t = ColDesc_FindByName(At<SCColDesc>(me->pLS_TblCols, 0), Count(me->pLS_TblCols), s, nullptr);
    if (!t) return ER_GENERAL_ERROR;
    s->SQLType = t->SQLType;
    s->precision = t->precision;
    s->scale = t->scale;
  }
  return ER_SUCCESS;
}

// A SELECT the analyser could not take: served when the driver describes a
// result, as a static read-only cursor since it cannot have keys.
errcode_t PrepareUnanalysed(PSCCL me, errcode_t analyserRc) {
  uns16 n = 0;
  Coldesc* desc = nullptr;
  errcode_t rc = SCs_Inner(me->pDrv).describeColumns(me->hCursor, &n, &desc);
  FreeColdesc(desc, n);
  if (rc != ER_SUCCESS || n == 0) return analyserRc;
  ResetResultState(me);
  return IsScrollable(me) ? scs_p_ChangeCursorType(me) : ER_SUCCESS;
}

errcode_t PrepareSelect(PSCCL me) {
  const sgn32 type = me->CursType;
  const bool keyedScroll = type == SQL_CURSOR_KEYSET_DRIVEN || type == SQL_CURSOR_DYNAMIC;
  me->SelectRqstFlags = me->Rqst.flags;
  if ((me->SelectRqstFlags & SCR_F_OUTER_JOIN) && keyedScroll) return ER_OJ_STATIC_ONLY;
  errcode_t rc;
  if (type == SQL_CURSOR_KEYSET_DRIVEN && (rc = scs_p_SelectRqstValidate_KSD(me)) != ER_SUCCESS) return rc;
  // Rows of a DISTINCT or an aggregate have no keys: a keyset or key SELECT
  // built for them would not match the result.
  // A static cursor that is not read-only would build a keyset for the
  // DISTINCT too; its aggregates are left unkeyed by their flag.
  // GROUP BY and UNION keep the refusals of the keyed cursors.
  const bool distinct = IsDistinct(&me->Rqst);
  if ((keyedScroll && !(me->SelectRqstFlags & (SCR_F_GROUP_BY | SCR_F_UNION)) &&
       (distinct || (me->SelectRqstFlags & SCR_F_AGGREGATE))) ||
      (type == SQL_CURSOR_STATIC && distinct && me->ConcType != SQL_CONCUR_READ_ONLY))
    return scs_p_ChangeCursorType(me);

  if (!NewList(&me->pLS_RefdTables, sizeof(TableDesc), TableDescDestroy)) return ER_NO_MEMORY;
  rc = SCR_TablesGet(&me->Rqst, me->pLS_RefdTables, me->bQualName);
  if (rc != ER_SUCCESS) {
    logit(LOG_DEBUG, __FILE__, __LINE__, "SCR_TablesGet failed");
    return rc;
  }
  const unsigned nTables = me->pLS_RefdTables->cUsed;
  if (nTables == 0 && keyedScroll) return ER_SCRS_STATIC_ONLY;
  if (nTables && (rc = scs_p_GetTblAttribs(me, At<TableDesc>(me->pLS_RefdTables, 0), nTables)) != ER_SUCCESS)
    return rc;

  if (type == SQL_CURSOR_FORWARD_ONLY) return PrepareForwardOnly(me);

  if ((me->SelectRqstFlags & SCR_F_ORDER_BY) && (rc = scs_p_OrdrColsGet(me)) != ER_SUCCESS) return rc;

  const bool mixed = type == SQL_CURSOR_KEYSET_DRIVEN && me->KSSize > 0;
  // The mixed cursor orders its key slices like the dynamic one and needs the
  // table columns for that too.
  if (type == SQL_CURSOR_DYNAMIC || mixed ||
      (me->ConcType == SQL_CONCUR_VALUES && !(me->SelectRqstFlags & F_NOT_KEYABLE))) {
    if ((rc = OptConcColumnsGet(me)) != ER_SUCCESS) return rc;
  }

  if (type == SQL_CURSOR_STATIC &&
      (me->ConcType == SQL_CONCUR_READ_ONLY || (me->SelectRqstFlags & F_NOT_KEYABLE)))
    return ER_SUCCESS;
  rc = KS_GetKeyColDescs(me, me->pLS_RefdTables);
  if (rc == ER_NO_KEYS) return scs_p_ChangeCursorType(me);
  if (rc != ER_SUCCESS) {
    logit(LOG_DEBUG, __FILE__, __LINE__, "KS_GetKeyColDescs failed");
    return rc;
  }
  if ((type == SQL_CURSOR_DYNAMIC || mixed) && (rc = scs_p_SelectRqstValidate_Dyn(me)) != ER_SUCCESS)
    return rc;
  if (me->SelectRqstFlags & SCR_F_ORDER_BY) return scs_p_TagKeyOrdrCols(me);
  return ER_SUCCESS;
}

}  // namespace

errcode_t scs_p_Prepare(PSCCL me, const char* request) {
  if (!me || !me->pDrv) return ER_GENERAL_ERROR;
  if (!request) request = "";
  errcode_t rc;
  if (me->hSCCurs2 && me->CursType == SQL_CURSOR_DYNAMIC && (me->f_state & SCCL_CURSTYPE_SET)) {
    if (me->bUseRVC && (rc = InitRowVersions(me)) != ER_SUCCESS) return rc;
    me->f_state = uns16(me->f_state & ~SCCL_CURSTYPE_SET);
  }
  // Unpreparing clears every bit: a type switch must be remembered first, or
  // the client's own type would never come back.
  const bool switched = (me->f_state & SCCL_TYPE_SWITCHED) != 0;
  if (me->f_state & SCCL_PREPARED_ANALYSIS) {
    scs_p_UnPrepare(me);
    me->f_state = uns16(me->f_state & ~SCCL_PREPARED_ANALYSIS);
  }
  if (switched) {
    if (SetStmtOption(me, DRVP_STMT_CURSOR_TYPE, me->CursTypeOrig) == ER_SUCCESS)
      me->CursType = me->CursTypeOrig;
    if (SetStmtOption(me, DRVP_STMT_CONCURRENCY, me->ConcTypeOrig) == ER_SUCCESS)
      me->ConcType = me->ConcTypeOrig;
    me->f_state = uns16(me->f_state & ~SCCL_TYPE_SWITCHED);
  }

  if (!IsScrollable(me) && !((me->bParsFwdOnlyReq || me->bSelectAppendKeys) && strexpect("SELECT", request)))
    return ER_SUCCESS;
  me->f_state |= SCCL_PREPARED_ANALYSIS;
  // Long data held back by the backend could not be handed out by the
  // engine's own fetches.
  if (IsScrollable(me)) me->bDeferLongData = 0;

  if ((rc = AuxCursorsMake(me)) != ER_SUCCESS) return rc;

  free(me->pszSQL);
  if (!(me->pszSQL = strdup(request))) return ER_NO_MEMORY;
  rc = scs_p_AnalyseLogged(&me->Rqst, request, 0, me->bQualName);
  if (rc != ER_SUCCESS) {
    if (!strexpect("SELECT", request)) return rc;
    return PrepareUnanalysed(me, rc);
  }

  const expr_t kind = me->Rqst.reqType;
  const bool positioned =
      kind == EXPR_DELETE_STATEMENT_POSITIONED || kind == EXPR_UPDATE_STATEMENT_POSITIONED;
  if (!positioned) ResetResultState(me);

  switch (kind) {
    case EXPR_OTHER:
    case EXPR_PROCCALL:
      return scs_p_ChangeCursorType(me);
    case EXPR_DELETE_STATEMENT_POSITIONED:
    case EXPR_UPDATE_STATEMENT_POSITIONED:
      return scs_p_PostndRqstValidate(me);
    case EXPR_SELECT_STATEMENT:
      return PrepareSelect(me);
    default:
      return ER_SUCCESS;
  }
}

void scs_p_UnPrepare(PSCCL me) {
  if (!me) return;
  free(me->pszSQL);
  me->pszSQL = nullptr;
  SCR_Destroy(&me->Rqst);
  SCR_Destroy(&me->RqstAux);
  SCR_Destroy(&me->RqstAux2);
  me->f_stateAux2 = 0;
  me->f_state = 0;
  SC_DescsFree(me);
  FreeList(&me->pLS_RefdTables, TableDescDestroy);
  FreeList(&me->pLS_TblCols, SCColDescDestroy);
  FreeList(&me->pLS_OrdrCols, nullptr);
  FreeList(&me->pLS_SelectCols, SCColDescDestroy);
}

errcode_t scs_p_ChangeCursorType(PSCCL me) {
  me->CursTypeOrig = me->CursType;
  me->ConcTypeOrig = me->ConcType;
  // One option set through the backend; the state follows only when it took.
  auto change = [me](uns32 code, sgn32 value, sgn32* field, const char* failed, const char* done) {
    if (SetStmtOption(me, code, value) != ER_SUCCESS) {
      logit(LOG_DEBUG, __FILE__, __LINE__, "%s", failed);
      return false;
    }
    logit(LOG_DEBUG, __FILE__, __LINE__, "%s", done);
    *field = value;
    me->f_state |= SCCL_TYPE_SWITCHED;
    return true;
  };
  if (me->CursType != SQL_CURSOR_FORWARD_ONLY && me->CursType != SQL_CURSOR_STATIC &&
      !change(DRVP_STMT_CURSOR_TYPE, SQL_CURSOR_STATIC, &me->CursType,
              "scs_p_ChangeCursorType: Couldn't switch to static cursor",
              "scs_p_ChangeCursorType: Switched to static cursor"))
    return ER_DRV_NOT_CAPABLE;
  if (me->ConcType != SQL_CONCUR_READ_ONLY &&
      !change(DRVP_STMT_CONCURRENCY, SQL_CONCUR_READ_ONLY, &me->ConcType,
              "scs_p_ChangeCursorType: Couldn't switch toread-only concurrency",
              "scs_p_ChangeCursorType: Switched to read-only concurrency"))
    return ER_DRV_NOT_CAPABLE;
  return ER_SUCCESS;
}

errcode_t scs_p_PostndRqstValidate(PSCCL me) {
  const uns16 f = me->SelectRqstFlags;
  if (f & SCR_F_JOIN) return ER_PRQST_JOIN_CNDTN;
  if (f & SCR_F_GROUP_BY) return ER_PRQST_GROUPBY_CLAUSE;
  if (f & SCR_F_UNION) return ER_PRQST_UNION_CLAUSE;
  if (f & SCR_F_AGGREGATE) return ER_PRQST_SCALAR_AGGR;
  return ER_SUCCESS;
}

errcode_t scs_p_SelectRqstValidate_KSD(PSCCL me) {
  const uns16 f = me->SelectRqstFlags;
  if (f == SCCL_RQST_NOT_SELECT) return ER_PRQST_RSLT_NOT_SLCT;
  if (f & SCR_F_GROUP_BY) return ER_PRQST_GROUPBY_CLAUSE;
  if (f & SCR_F_UNION) return ER_PRQST_UNION_CLAUSE;
  return ER_SUCCESS;
}

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
  errcode_t rc = scs_p_AnalyseLogged(pRqst, sql, 1, me->bQualName);
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
    if (a.attribId == -1053) {
      a.attribVal.u.l = isKey ? 1 : 0;
      a.attribId = 1053;
    } else if (a.attribId == -1055) {
      a.attribVal.u.l = s->selectItemType == SIT_EXPR ? 1 : 0;
      a.attribId = 1055;
    }
  }
  return ER_SUCCESS;
}
