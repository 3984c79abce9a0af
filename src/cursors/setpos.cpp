// Positioned operations (setpos.h): the setPos slot, the UPDATE / DELETE /
// INSERT statements built on the statement's first table and its keys, the
// per-row runs on hSCCurs with their statuses, optimistic concurrency by
// values, and the completion after data at execution.
#include "cursors/setpos.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "backend/backend.h"
#include "backend/errors.h"
#include "cursors/analysis.h"
#include "cursors/cursor_state.h"
#include "cursors/deleted_rows.h"
#include "cursors/discovery.h"
#include "cursors/ds_cache.h"
#include "cursors/engine_diagnostics.h"
#include "cursors/inner.h"
#include "cursors/key_params.h"
#include "cursors/keyset_store.h"
#include "cursors/old_values.h"
#include "cursors/rowset_reads.h"
#include "cursors/rvc.h"
#include "model/dataset_util.h"
#include "model/drv_param_codes.h"
#include "util/log.h"

namespace {

bool IsDynamic(PSCCL s) { return s->CursType == SQL_CURSOR_DYNAMIC; }

bool Spilled(PSCCL s) { return !IsDynamic(s) && s->pKeySet->KSC.fState == DSC_SPILLED; }

sgn32 WindowStart(PSCCL s) { return IsDynamic(s) ? 0 : std::max<sgn32>(s->pKeySet->Position, 0); }

// Key rows held: the slice of a dynamic cursor, the whole result of a keyset
// in the cache files, else up to the end of the loaded rows.
sgn32 KeyRowsHeld(PSCCL s) {
  const KeySet* ks = s->pKeySet;
  if (!ks || !ks->pDataset) return 0;
  if (Spilled(s)) return std::max<sgn32>(s->RsltSetSize, 0);
  return WindowStart(s) + ks->pDataset->nRows;
}

bool HasKeyCols(PSCCL s) {
  const KeySet* ks = s->pKeySet;
  return ks && ks->pDataset && ks->pLS_KeyCols && ks->pLS_KeyCols->cUsed > 0;
}

const SCColDesc* KeyCols(PSCCL s) {
  return static_cast<const SCColDesc*>(alist_At(s->pKeySet->pLS_KeyCols, 0));
}

// The row of pDataset that holds key row r (the window is moved when the
// keyset is in the cache files).
errcode_t KeyRowAt(PSCCL s, sgn32 r, uns32* pAt) {
  KeySet* ks = s->pKeySet;
  if (Spilled(s)) {
    if (ks->Position < 0 || r < ks->Position || r >= ks->Position + ks->pDataset->nRows) {
      errcode_t rc = DSC_SyncWindowPos(&ks->KSC, r, 1, &ks->Position, ks->pDataset);
      if (rc != ER_SUCCESS) return rc;
    }
    if (r < ks->Position || r >= ks->Position + ks->pDataset->nRows) return ER_INVALID_ROW_VALUE;
    *pAt = uns32(r - ks->Position);
    return ER_SUCCESS;
  }
  const sgn32 at = r - WindowStart(s);
  if (at < 0 || at >= ks->pDataset->nRows) return ER_INVALID_ROW_VALUE;
  *pAt = uns32(at);
  return ER_SUCCESS;
}

// The row of the old values that belongs to key row r (rowset row i).
errcode_t OldValuesRowAt(PSCCL s, sgn32 r, sgn32 i, uns32* pAt) {
  Dataset* v = s->pDSOptConcColVals;
  if (!v) return ER_GENERAL_ERROR;
  sgn32 at = i;
  if (s->CursType == SQL_CURSOR_STATIC) {
    if (s->OCVC.fState == DSC_SPILLED &&
        (s->OCVPosition < 0 || r < s->OCVPosition || r >= s->OCVPosition + v->nRows)) {
      errcode_t rc = DSC_SyncWindowPos(&s->OCVC, r, 1, &s->OCVPosition, v);
      if (rc != ER_SUCCESS) return rc;
    }
    at = r - std::max<sgn32>(s->OCVPosition, 0);
  }
  if (at < 0 || at >= v->nRows) return ER_GENERAL_ERROR;
  *pAt = uns32(at);
  return ER_SUCCESS;
}

bool Skipped(const Dataset* ds, sgn32 row) {
  return ds && ds->nCols > 0 && row >= 0 && row < ds->nRows &&
         ds->col[0].indicators[row] == SCS_SETPOS_SKIP_ROW;
}

// The rows an update or delete works on: key rows first..first+count-1 and
// dataset rows dsFirst onward; nStatus entries are answered.
struct RowRange {
  sgn32 first = 0;
  sgn32 count = 0;
  sgn32 dsFirst = 0;
  uns32 nStatus = 1;
};

// A row outside the rowset, a key row not held, or a dataset too short for
// the rows answers ER_INVALID_ROW_VALUE before anything runs. A dataset of one
// row serves a single row wherever it stands in the rowset.
errcode_t RowsOf(PSCCL s, sgn32 irow, const Dataset* pDS, RowRange* rr) {
  const sgn32 p = IsDynamic(s) ? 1 : s->RSPosition;
  const sgn32 held = KeyRowsHeld(s);
  if (irow == SCS_SETPOS_ALL_ROWS) {
    rr->first = p - 1;
    const sgn32 last = std::min(p + s->RSSize - 2, held - 1);
    rr->count = std::max<sgn32>(0, last - rr->first + 1);
    rr->dsFirst = 0;
    rr->nStatus = uns32(std::max<sgn32>(s->RSSize, 1));
    if (rr->first < 0) return ER_INVALID_ROW_VALUE;
  } else {
    if (irow < 1 || irow > s->RSSize || p < 1) return ER_INVALID_ROW_VALUE;
    rr->first = p + irow - 2;
    rr->count = 1;
    rr->nStatus = 1;
    if (rr->first >= held) return ER_INVALID_ROW_VALUE;
    rr->dsFirst = irow - 1;
  }
  if (pDS && pDS->nCols > 0 && rr->count > 0) {
    if (irow != SCS_SETPOS_ALL_ROWS && pDS->nRows == 1) rr->dsFirst = 0;
    if (pDS->nRows < rr->dsFirst + rr->count) return ER_INVALID_ROW_VALUE;
  }
  return ER_SUCCESS;
}

}  // namespace

errcode_t scs_p_NewValueColumns(PSCCL s, const uns16* rgiCol, uns16 nCols, std::vector<std::string>* names,
                                std::vector<const Coldesc*>* descs) {
  errcode_t rc = scs_p_ColDescsGet(s);
  if (rc != ER_SUCCESS) return rc;
  uns16 next = 1;  // walk the cursor's columns once, in order
  for (uns16 i = 0; i < nCols; i++) {
    const uns16 c = rgiCol[i];
    if (c == 0 || c > s->nColDesc || c < next) return ER_INVALID_COLUMN;
    next = uns16(c + 1);
    const Coldesc* d = &s->pColDesc[c - 1];
    char* quoted = scs_p_QuoteIdent(d->label, s->idQuoteChar);
    if (!quoted) return ER_NO_MEMORY;
    names->push_back(quoted);
    free(quoted);
    descs->push_back(d);
  }
  return ER_SUCCESS;
}

SCColDesc scs_p_DescOf(const Coldesc* d) {
  SCColDesc out{};
  out.SQLType = sgn16(d->sqlType);
  out.precision = d->precision;
  out.scale = d->scale;
  return out;
}

namespace {

// Bind descriptors started again: the new values' then the keys'.
errcode_t BindDescsStart(PSCCL s, const std::vector<const Coldesc*>& newCols, bool withKeys) {
  free(s->pBindDesc);
  s->pBindDesc = nullptr;
  s->nBindDesc = 0;
  std::vector<SCColDesc> descs;
  for (const Coldesc* d : newCols) descs.push_back(scs_p_DescOf(d));
  errcode_t rc = descs.empty() ? ER_SUCCESS : scs_p_BindDescsAdd(s, descs.data(), unsigned(descs.size()));
  if (rc == ER_SUCCESS && withKeys) rc = scs_p_BindDescsAdd(s, KeyCols(s), s->pKeySet->pLS_KeyCols->cUsed);
  return rc;
}

// Appends the columns of src (one row) to dst (one row).
errcode_t ColumnsAppend(Dataset* dst, Dataset* src) {
  for (uns16 c = 0; src && c < src->nCols; c++) {
    const uns16 at = dst->nCols;
    errcode_t rc = Dataset_ColAdd(dst, at, src->col[c].cType, src->col[c].width);
    if (rc == ER_SUCCESS) rc = Dataset_ColCopy(dst, src, at, c);
    if (rc != ER_SUCCESS) return rc;
  }
  return ER_SUCCESS;
}

// The parameter row of one statement: new values, keys, old values.
errcode_t ParamRowJoin(Dataset** ppOut, Dataset* newVals, Dataset* keys, Dataset* oldVals) {
  *ppOut = nullptr;
  Dataset* first = newVals ? newVals : keys;
  errcode_t rc = first ? ER_SUCCESS : ER_GENERAL_ERROR;
  if (rc == ER_SUCCESS && first != keys) rc = ColumnsAppend(first, keys);
  if (rc == ER_SUCCESS) rc = ColumnsAppend(first, oldVals);
  if (rc != ER_SUCCESS) return rc;
  *ppOut = first;
  return ER_SUCCESS;
}

// Moves hSCCurs's diagnostics onto the client's cursor, whose own queue goes first.
void DiagsToClient(PSCCL s) {
  StackErrorMsgs(s->hSCCurs, 0);
  _Cursor* parent = static_cast<_Cursor*>(s->pParent);
  _Cursor* aux = s->hSCCurs ? ODBC_CursorRec(s->hSCCurs) : nullptr;
  if (!parent || !aux) return;
  FlushErrorMsgQ(&parent->pendingError);
  AppendAuxCursorErrors(&parent->pendingError, &aux->pendingError);
}

// The rows of a positioned update or delete, given the statement text without
// its old-value comparisons.
struct ModifyRun {
  PSCCL s;
  bool update;
  Dataset* pDS;
  std::string base;
  std::vector<const Coldesc*> newCols;
  bool prepared = false;
  bool lastHadNulls = false;
};

// Builds and prepares the statement for a row whose old values hold NULL
// where nullFlags says (null for no comparison).
errcode_t StatementPrepare(ModifyRun& m, const uns16* nullFlags) {
  PSCCL s = m.s;
  std::string sql = m.base;
  errcode_t rc = ER_SUCCESS;
  if (s->bNeedBind) rc = BindDescsStart(s, m.newCols, true);
  if (rc != ER_SUCCESS) return rc;
  if (s->ConcType == SQL_CONCUR_VALUES) {
    alist_t* cols = scs_p_OptConcCols(s);
    const Dataset* v = s->pDSOptConcColVals;
    if (!cols || !v || cols->cUsed != v->nCols) return ER_GENERAL_ERROR;
    for (unsigned c = 0; c < cols->cUsed; c++) {
      const auto* d = static_cast<const SCColDesc*>(alist_At(cols, c));
      sql += std::string(" AND ") + d->col_name;
      if (nullFlags && nullFlags[c]) {
        sql += " IS NULL";
        continue;
      }
      sql += " = ?";
      if (s->bNeedBind && (rc = scs_p_BindDescsAdd(s, d, 1)) != ER_SUCCESS) return rc;
    }
  }
  // A client updating row after row sends the same statement each time; a
  // new prepare would cost the data source a round trip per row.
  const _Cursor* aux = ODBC_CursorRec(s->hSCCurs);
  if (aux && (aux->flags & CURSF_PREPARED) && aux->request.original && sql == aux->request.original)
    return ER_SUCCESS;
  return SCs_Inner(s->pDrv).prepare(s->hSCCurs, sql.data());
}

// One row: its parameters, the statement when it must be (re)built, the run.
errcode_t ModifyRow(ModifyRun& m, sgn32 r, sgn32 rowsetRow, sgn32 dsRow, sgn32* pn) {
  PSCCL s = m.s;
  *pn = 0;
  Dataset *newVals = nullptr, *keys = nullptr, *oldVals = nullptr, *params = nullptr;
  uns16* nullFlags = nullptr;
  uns32 at = 0;
  errcode_t rc = KeyRowAt(s, r, &at);
  if (rc == ER_SUCCESS)
    rc = KS_KeyParamDsetBld(s->pKeySet->pDataset, at, 1, 1, &keys, s->bHasParamOp, 0, 0, nullptr, nullptr);
  if (rc == ER_SUCCESS && m.update)
    rc = KS_KeyParamDsetBld(m.pDS, uns32(dsRow), 1, 1, &newVals, 0, 1, 0, nullptr, nullptr);
  bool hasNulls = false;
  if (rc == ER_SUCCESS && s->ConcType == SQL_CONCUR_VALUES) {
    uns32 ov = 0;
    rc = OldValuesRowAt(s, r, rowsetRow, &ov);
    Dataset* v = s->pDSOptConcColVals;
    uns16 cNull = 0;
    if (rc == ER_SUCCESS) {
      for (uns16 c = 0; c < v->nCols; c++)
        if (v->col[c].indicators[ov] == IND_NULL) cNull++;
      hasNulls = cNull > 0;
      if (cNull < v->nCols) {
        rc = KS_KeyParamDsetBld(v, ov, 1, 1, &oldVals, s->bHasParamOp, 0, 1, &cNull, &nullFlags);
      } else {
        // Every old value is NULL: nothing to pass, every column compared with IS NULL.
        nullFlags = static_cast<uns16*>(malloc(sizeof(uns16) * v->nCols));
        if (!nullFlags) rc = ER_NO_MEMORY;
        for (uns16 c = 0; nullFlags && c < v->nCols; c++) nullFlags[c] = 1;
      }
    }
  }
  if (rc == ER_SUCCESS) {
    // Rows without NULL old values reuse the statement of the row before when it had none either.
    const bool rebuild = !m.prepared || (s->ConcType == SQL_CONCUR_VALUES && (hasNulls || m.lastHadNulls));
    if (rebuild) {
      m.prepared = false;
      rc = StatementPrepare(m, nullFlags);
      if (rc == ER_SUCCESS) m.prepared = true;
    }
    m.lastHadNulls = hasNulls;
  }
  if (rc == ER_SUCCESS) rc = ParamRowJoin(&params, newVals, keys, oldVals);
  if (rc == ER_SUCCESS) {
    if (params == newVals) newVals = nullptr;
    if (params == keys) keys = nullptr;
    rc = scs_p_DmlRowRun(s, params, pn);  // the backend takes the parameter row over
  }
  free(nullFlags);
  scs_p_DatasetFree(&newVals);
  scs_p_DatasetFree(&keys);
  scs_p_DatasetFree(&oldVals);
  return rc;
}

// Statuses of a dynamic cursor's updated rows after its new versions are written.
void RowVersionsWrite(PSCCL s, const RowRange& rr, uns16* keyStatus) {
  const uns32 n = uns32(rr.count);
  uns8* kd = static_cast<uns8*>(calloc(std::max<uns32>(n, 1), 16));
  uns8* rd = static_cast<uns8*>(calloc(std::max<uns32>(n, 1), 16));
  std::vector<uns16> st(keyStatus + rr.first, keyStatus + rr.first + n);
  if (!kd || !rd) {
    for (uns32 i = 0; i < n; i++) keyStatus[rr.first + i] = SQL_ROW_ERROR;
  } else {
    for (uns32 i = 0; i < n; i++) {
      if (st[i] != SQL_ROW_UPDATED) continue;
      const uns32 r = uns32(rr.first) + i;
      if (RVC_CalcChkSum(s->pKeySet->pDataset, r, kd + 16 * i) != ER_SUCCESS ||
          RVC_CalcChkSum(s->pDSOptConcColVals, r, rd + 16 * i) != ER_SUCCESS)
        st[i] = SQL_ROW_ERROR;
    }
    RVC_UpdateRows(&s->RVC, kd, rd, st.data(), n);
    for (uns32 i = 0; i < n; i++) keyStatus[rr.first + i] = st[i];
  }
  free(kd);
  free(rd);
}

errcode_t Modify(PSCCL s, sgn32 irow, UWORD** prgfRowStatus, unsigned int* pcRows, Dataset* pDS,
                 uns16* rgiCol, bool update) {
  *prgfRowStatus = nullptr;
  if (pcRows) *pcRows = 0;
  errcode_t rc = scs_p_PostndRqstValidate(s);
  if (rc != ER_SUCCESS) return rc;
  if (s->ConcType == SQL_CONCUR_READ_ONLY) return ER_INVALID_ARGUMENT;
  if (!HasKeyCols(s)) return ER_GENERAL_ERROR;
  // A delete whose dataset has no columns has no skip marks: every row named goes.
  Dataset* marks = pDS && pDS->nCols > 0 ? pDS : nullptr;
  if (update && (!pDS || pDS->nCols == 0)) return ER_INVALID_ARGUMENT;
  RowRange rr;
  if ((rc = RowsOf(s, irow, marks, &rr)) != ER_SUCCESS) return rc;
  ModifyRun m{s, update, pDS, {}, {}};
  std::string table;
  if ((rc = scs_p_DmlTarget(s, &table)) != ER_SUCCESS) return rc;
  std::vector<std::string> names;
  if (update && (rc = scs_p_NewValueColumns(s, rgiCol, pDS->nCols, &names, &m.newCols)) != ER_SUCCESS)
    return rc;
  if (update) {
    m.base = "UPDATE " + table + " SET ";
    for (size_t i = 0; i < names.size(); i++) m.base += (i ? ", " : "") + names[i] + " = ?";
  } else {
    m.base = "DELETE FROM " + table;
  }
  if ((rc = scs_p_DmlKeyWhere(s, &m.base)) != ER_SUCCESS) return rc;
  if ((rc = scs_p_AuxCursorOpen(s)) != ER_SUCCESS) return rc;

  uns16* status = static_cast<uns16*>(calloc(rr.nStatus, sizeof(uns16)));
  if (!status) return ER_NO_MEMORY;
  for (uns32 i = uns32(rr.count); i < rr.nStatus; i++) status[i] = SQL_ROW_NOROW;
  KeySet* ks = s->pKeySet;
  // The keyset's statuses cover every key row held; without them the rows' own are kept here.
  std::vector<uns16> own(size_t(std::max<sgn32>(rr.first + rr.count, 1)), SQL_ROW_SUCCESS);
  uns16* keyStatus = ks->rgfRowStatus ? ks->rgfRowStatus : own.data();

  StackErrorMsgs(s->hSCCurs, 1);
  uns32 affected = 0;
  std::vector<uns32> updatedRows;
  for (sgn32 i = 0; i < rr.count; i++) {
    const sgn32 r = rr.first + i;
    const sgn32 dsRow = rr.dsFirst + i;
    if (Skipped(marks, dsRow)) continue;
    const sgn32 rowsetRow = IsDynamic(s) ? r : r - (s->RSPosition - 1);
    sgn32 n = 0;
    errcode_t rowRc = ModifyRow(m, r, rowsetRow, dsRow, &n);
    if (rowRc == ER_SUCCESS && n > 0) {
      keyStatus[r] = update ? SQL_ROW_UPDATED : SQL_ROW_DELETED;
      affected++;
      updatedRows.push_back(uns32(r));
    } else {
      keyStatus[r] = SQL_ROW_ERROR;
    }
  }
  rc = ER_SUCCESS;
  if (update && IsDynamic(s) && !updatedRows.empty()) {
    // A second update of the same rowset compares with what is stored now.
    if (s->ConcType == SQL_CONCUR_VALUES && s->fOptConcValExtent != SCCL_OCV_SELECT_COLS)
      rc = scs_p_OptConcColVals_Dyn_Refresh(s, updatedRows.data(), uns32(updatedRows.size()));
    if (s->bUseRVC) RowVersionsWrite(s, rr, keyStatus);
  }
  for (sgn32 i = 0; i < rr.count; i++) status[i] = keyStatus[rr.first + i];
  *prgfRowStatus = status;
  if (pcRows) *pcRows = rr.nStatus;
  s->cRowsProcessed = affected;
  if (affected == 0)
    rc = ER_NO_ROWS_UPDTD_DLTD;
  else if (irow == SCS_SETPOS_ALL_ROWS && sgn32(affected) < s->RSSize)
    rc = ER_ROWS_UPDTD_DLTD;
  DiagsToClient(s);
  return rc;
}

}  // namespace

errcode_t scs_p_DmlTarget(PSCCL s, std::string* out) {
  alist_t* tables = s->pLS_RefdTables;
  if (!tables || tables->cUsed == 0) return ER_GENERAL_ERROR;
  const auto* t = static_cast<const TableDesc*>(alist_At(tables, 0));
  if (!t->pszName || !*t->pszName) return ER_GENERAL_ERROR;
  out->clear();
  if (t->pszOwner && *t->pszOwner) *out += std::string(t->pszOwner) + ".";
  *out += t->pszName;
  return ER_SUCCESS;
}

errcode_t scs_p_DmlKeyWhere(PSCCL s, std::string* sql) {
  alist_t* kc = s->pKeySet ? s->pKeySet->pLS_KeyCols : nullptr;
  if (!kc || kc->cUsed == 0) return ER_GENERAL_ERROR;
  *sql += " WHERE ";
  for (unsigned i = 0; i < kc->cUsed; i++)
    *sql +=
        (i ? " AND " : "") + std::string(static_cast<const SCColDesc*>(alist_At(kc, i))->col_name) + " = ?";
  return ER_SUCCESS;
}

alist_t* scs_p_OptConcCols(PSCCL s) {
  return s->fOptConcValExtent == SCCL_OCV_SELECT_COLS ? s->pLS_SelectCols : s->pLS_TblCols;
}

errcode_t scs_p_DmlRowRun(PSCCL s, Dataset* params, sgn32* pn) {
  *pn = 0;
  errcode_t rc = SCs_Inner(s->pDrv).parameters(s->hSCCurs, params);
  if (rc == ER_SUCCESS && s->bNeedBind) rc = SCs_Inner(s->pDrv).bind(s->hSCCurs, s->nBindDesc, s->pBindDesc);
  if (rc == ER_SUCCESS) rc = SCs_Inner(s->pDrv).execute(s->hSCCurs);
  uns16 len = 0;
  if (rc == ER_SUCCESS)
    rc = SCs_Inner(s->pDrv).getDrvParameter(s->hSCCurs, DRVP_STMT_ROW_COUNT, pn, sizeof *pn, &len);
  return rc;
}

void scs_p_SetPosRelease(PSCCL s) {
  if (!s) return;
  scs_p_DatasetFree(&s->pdsSetPosParam);
  free(s->rgiCol);
  s->rgiCol = nullptr;
}

errcode_t scs_p_SetPos_Update(PSCCL s, sgn32 irow, UWORD** prgfRowStatus, unsigned int* pcRows, Dataset* pDS,
                              uns16* rgiCol) {
  return Modify(s, irow, prgfRowStatus, pcRows, pDS, rgiCol, true);
}

errcode_t scs_p_SetPos_Delete(PSCCL s, sgn32 irow, UWORD** prgfRowStatus, unsigned int* pcRows,
                              Dataset* pDS) {
  return Modify(s, irow, prgfRowStatus, pcRows, pDS, nullptr, false);
}

errcode_t scs_p_SetPos_Add(PSCCL s, sgn32 irow, UWORD** prgfRowStatus, unsigned int* pcRows, Dataset* pDS,
                           uns16* rgiCol) {
  *prgfRowStatus = nullptr;
  if (pcRows) *pcRows = 0;
  errcode_t rc = scs_p_PostndRqstValidate(s);
  if (rc != ER_SUCCESS) return rc;
  // A read-only cursor adds nothing either.
  if (s->ConcType == SQL_CONCUR_READ_ONLY) return ER_INVALID_ARGUMENT;
  if (pDS->nCols == 0) return ER_INVALID_ARGUMENT;
  const uns32 nRows = irow == SCS_SETPOS_ALL_ROWS ? uns32(std::max<sgn32>(s->RSSize, 1)) : 1;
  if (pDS->nRows < sgn32(nRows)) return ER_INVALID_ROW_VALUE;
  std::string table;
  if ((rc = scs_p_DmlTarget(s, &table)) != ER_SUCCESS) return rc;
  std::vector<std::string> names;
  std::vector<const Coldesc*> descs;
  if ((rc = scs_p_NewValueColumns(s, rgiCol, pDS->nCols, &names, &descs)) != ER_SUCCESS) return rc;
  if (s->bNeedBind && (rc = BindDescsStart(s, descs, false)) != ER_SUCCESS) return rc;
  std::string sql = "INSERT INTO " + table + " ( ";
  for (size_t i = 0; i < names.size(); i++) sql += (i ? ", " : "") + names[i];
  sql += " ) VALUES ( ";
  for (size_t i = 0; i < names.size(); i++) sql += i ? ", ?" : "?";
  sql += " )";
  if ((rc = scs_p_AuxCursorOpen(s)) != ER_SUCCESS) return rc;
  StackErrorMsgs(s->hSCCurs, 1);
  rc = SCs_Inner(s->pDrv).prepare(s->hSCCurs, sql.data());
  if (rc != ER_SUCCESS) {
    DiagsToClient(s);
    return rc;
  }
  uns16* status = static_cast<uns16*>(calloc(nRows, sizeof(uns16)));
  if (!status) {
    DiagsToClient(s);
    return ER_NO_MEMORY;
  }
  uns32 added = 0;
  for (uns32 i = 0; i < nRows; i++) {
    if (Skipped(pDS, sgn32(i))) {
      status[i] = SQL_ROW_NOROW;
      continue;
    }
    Dataset* params = nullptr;
    errcode_t rowRc = KS_KeyParamDsetBld(pDS, i, 1, 1, &params, 0, 1, 0, nullptr, nullptr);
    sgn32 n = 0;
    if (rowRc == ER_SUCCESS) rowRc = scs_p_DmlRowRun(s, params, &n);
    status[i] = rowRc == ER_SUCCESS ? SQL_ROW_ADDED : SQL_ROW_ERROR;
    if (rowRc == ER_SUCCESS) added++;
  }
  *prgfRowStatus = status;
  if (pcRows) *pcRows = nRows;
  s->cRowsProcessed = added;
  DiagsToClient(s);
  return added < nRows ? ER_ROW_ERROR : ER_SUCCESS;
}

errcode_t scs_p_SetPos(PSCCL s, sgn32 irow, UWORD fOption, UWORD** prgfRowStatus, unsigned int* pcRows,
                       Dataset* pDS, uns16* rgiCol) {
  switch (fOption) {
    case SCS_SETPOS_REFRESH:
      return ER_DRV_NOT_CAPABLE;
    case SCS_SETPOS_UPDATE:
      if (!prgfRowStatus || !pDS || !rgiCol) return ER_INVALID_ARGUMENT;
      return scs_p_SetPos_Update(s, irow, prgfRowStatus, pcRows, pDS, rgiCol);
    case SCS_SETPOS_DELETE:
      if (!prgfRowStatus) return ER_INVALID_ARGUMENT;
      return scs_p_SetPos_Delete(s, irow, prgfRowStatus, pcRows, pDS);
    case SCS_SETPOS_ADD:
      if (!prgfRowStatus || !pDS || !rgiCol) return ER_INVALID_ARGUMENT;
      return scs_p_SetPos_Add(s, irow, prgfRowStatus, pcRows, pDS, rgiCol);
    default:
      return ER_SUCCESS;
  }
}

namespace {

// Row 0 with update or delete, or a row beyond the rowset, is no row of it.
errcode_t RowNumberCheck(PSCCL s) {
  const sgn32 irow = s->irow;
  if (s->fOption == SCS_SETPOS_UPDATE || s->fOption == SCS_SETPOS_DELETE)
    if (irow != SCS_SETPOS_ALL_ROWS && irow < 1) return ER_INVALID_ROW_VALUE;
  if (irow > s->RSSize) return ER_INVALID_ROW_VALUE;
  return ER_SUCCESS;
}

// Positioning and the operation, with the arguments stored in the state; the
// stored data is freed whatever the outcome.
errcode_t Run(PSCCL s, uns16** prgfRowStatus, unsigned int* pcRows) {
  const positn_t position = s->Position, rsPosition = s->RSPosition;
  errcode_t rc = ER_SUCCESS;
  if (s->fOption != SCS_SETPOS_ADD) {
    rc = RowNumberCheck(s);
    if (rc == ER_SUCCESS) rc = SC_RowPositionSet(s, s->irow);
  }
  if (rc == ER_SUCCESS) {
    if (s->CursType == SQL_CURSOR_KEYSET_DRIVEN || s->CursType == SQL_CURSOR_DYNAMIC ||
        s->CursType == SQL_CURSOR_STATIC)
      rc = scs_p_SetPos(s, s->irow, s->fOption, prgfRowStatus, pcRows, s->pdsSetPosParam, s->rgiCol);
    else
      rc = ER_DRV_NOT_CAPABLE;
  }
  if (rc == ER_INVALID_ROW_VALUE) {
    s->Position = position;
    s->RSPosition = rsPosition;
  }
  if (rc != ER_SUCCESS) GetAuxCursorErrors(s);
  scs_p_SetPosRelease(s);
  return rc;
}

}  // namespace

errcode_t SCs_SetPos(handle_t hCursor, sgn32 irow, uns16 fOption, uns16 /*fLock*/, uns16** prgfRowStatus,
                     uns32* pcRows, Dataset* pDS, uns16* rgiCol, uns16 cUpdtCols) {
  if (prgfRowStatus) *prgfRowStatus = nullptr;
  if (pcRows) *pcRows = 0;
  _Cursor* pc = ODBC_CursorRec(hCursor);
  PSCCL s = pc ? &pc->st_sccl : nullptr;
  if (!s || !(s->f_state & SCCL_THROUGH_ENGINE) || !s->pDrv) {
    scs_p_DatasetFree(&pDS);
    free(rgiCol);
    return s ? ER_INVALID_CRSTATE : ER_INVALID_ARGUMENT;
  }
  // The column list is read once per column of the new values: a shorter
  // list from the client would be read past its end.
  if ((fOption == SCS_SETPOS_UPDATE || fOption == SCS_SETPOS_ADD) && pDS && rgiCol &&
      cUpdtCols < pDS->nCols) {
    scs_p_DatasetFree(&pDS);
    free(rgiCol);
    return ER_INVALID_ARGUMENT;
  }
  // An operation still waiting for its data at execution is given up.
  scs_p_SetPosRelease(s);
  s->irow = irow;
  s->fOption = fOption;
  s->pdsSetPosParam = pDS;
  s->rgiCol = rgiCol;
  s->cRowsProcessed = 0;
  pc->fPassMode = 0;
  errcode_t rc = SetPosCheck4DAECols(hCursor);
  if (rc != ER_SUCCESS) {
    if (rc != ER_NEED_DATA) scs_p_SetPosRelease(s);
    return rc;
  }
  return Run(s, prgfRowStatus, pcRows);
}

errcode_t scs_p_SetPosComplete(PSCCL s, uns16** prgfRowStatus, unsigned int* pcRows) {
  if (prgfRowStatus) *prgfRowStatus = nullptr;
  if (pcRows) *pcRows = 0;
  if (!s || !s->pDrv) return ER_INVALID_CRSTATE;
  return Run(s, prgfRowStatus, pcRows);
}

errcode_t scs_p_OptConcColVals_Dyn_Refresh(PSCCL s, uns32* rgiRow, uns32 cRows) {
  if (!s || !s->pKeySet || !s->pKeySet->pDataset || !s->pszSQL) return ER_GENERAL_ERROR;
  const sgn32 nKeys = s->pKeySet->pDataset->nRows;
  if (nKeys <= 0 || cRows == 0) return ER_SUCCESS;
  sgn32 sel = 0, last = 0, per = 0;
  errcode_t rc = scs_p_GetSelectConstraints(s, &sel, &last, &per);
  if (rc != ER_SUCCESS) return rc;
  if (per <= 0) return ER_GENERAL_ERROR;
  sel = (nKeys + per - 1) / per;
  last = nKeys - (sel - 1) * per;
  // The client's cursor does not hold this text: the next fetch builds its own again.
  if ((rc = scs_p_RowSetSelectBuild(s, per, 1)) != ER_SUCCESS) return rc;
  Dataset* aside = s->pDSOptConcColVals;
  s->pDSOptConcColVals = nullptr;
  rc = scs_p_GetOptConcColVals(s, nullptr, 0, sel, per, last);
  Dataset* fresh = s->pDSOptConcColVals;
  // Rows deleted since the rowset was read are missing from the re-read:
  // empty rows in their places keep the others on their own rows.
  if (rc == ER_SUCCESS && fresh && fresh->nRows < std::min(nKeys, s->RSSize))
    rc = scs_p_DeletedRowsTag(s, fresh, s->pKeySet->pDataset, 0, 0, nullptr);
  for (uns32 i = 0; rc == ER_SUCCESS && i < cRows; i++) {
    const uns32 r = rgiRow[i];
    if (!fresh || !aside || sgn32(r) >= fresh->nRows || sgn32(r) >= aside->nRows) {
      rc = ER_GENERAL_ERROR;
      break;
    }
    rc = Dataset_CopyRow(aside, fresh, r, r, 0);
  }
  scs_p_DatasetFree(&fresh);
  s->pDSOptConcColVals = aside;
  return rc;
}

void scs_SetPosOpsInstall(drv_ops* ops) { ops->setPos = SCs_SetPos; }
