// Prepare-time analysis of the cursor engine (analysis.h): which statements a
// cursor can serve, and the tables, keys, select and ORDER BY columns they
// need, gathered at prepare. Called by the statement slots.
#include "cursors/analysis.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cursors/analysis_helpers.h"
#include "cursors/cursor_state.h"
#include "cursors/discovery.h"
#include "cursors/ds_cache.h"
#include "cursors/inner.h"
#include "cursors/key_columns.h"
#include "cursors/keyset_store.h"
#include "cursors/rvc.h"
#include "cursors/snapshot.h"
#include "cursors/statement_columns.h"
#include "cursors/statement_rewrite.h"
#include "model/drv_param_codes.h"
#include "util/log.h"
#include "util/strutil.h"

namespace {

// Statements whose rows are not rows of their tables: no keyset can serve them.
constexpr uns16 F_NOT_KEYABLE = SCR_F_JOIN | SCR_F_GROUP_BY | SCR_F_AGGREGATE | SCR_F_UNION;

bool IsScrollable(PSCCL me) { return me->CursType != SQL_CURSOR_FORWARD_ONLY; }

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
  rc = SCR_TablesGet(&me->Rqst, me->pLS_RefdTables, SCR_DROP_QUALIFIER);
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
  rc = scs_p_AnalyseLogged(&me->Rqst, request, 0);
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
