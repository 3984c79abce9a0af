// Bulk operations of the cursor engine (bulk.h): bookmarks turned into key
// rows of the cursor's keyset, one keyed DELETE or UPDATE per row on the first
// auxiliary cursor, keyed SELECTs per bookmark on the client's cursor, and a
// status per bookmark in the caller's order.
#include "cursors/bulk.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cursors/analysis.h"
#include "cursors/cursor_state.h"
#include "cursors/discovery.h"
#include "cursors/ds_cache.h"
#include "cursors/engine_diagnostics.h"
#include "cursors/inner.h"
#include "cursors/key_params.h"
#include "cursors/keyset_store.h"
#include "cursors/rowset_reads.h"
#include "cursors/setpos.h"
#include "model/dataset_util.h"

namespace {

// The rows an operation works on: row j of keys (and of old) belongs to the
// status entry slot[j].
struct BulkRows {
  Dataset* keys = nullptr;
  Dataset* old = nullptr;
  std::vector<uns16> slot;
  BulkRows() = default;
  BulkRows(const BulkRows&) = delete;
  BulkRows& operator=(const BulkRows&) = delete;
  ~BulkRows() {
    scs_p_DatasetFree(&keys);
    scs_p_DatasetFree(&old);
  }
};

// The row of pDS that holds result row `row` (0-based), or -1. A cache that
// spilled to its files has its window moved there first.
sgn32 CachedRow(DSCache* c, sgn32* pPosition, Dataset* pDS, sgn32 row, sgn32 nTotal) {
  if (row < 0 || !pDS) return -1;
  sgn32 at = row;
  if (c->fState == DSC_SPILLED) {
    if (row >= nTotal) return -1;
    if (DSC_SyncWindowPos(c, row, 1, pPosition, pDS) != ER_SUCCESS) return -1;
    at = row - std::max<sgn32>(*pPosition, 0);
  }
  return at >= 0 && at < pDS->nRows ? at : -1;
}

// The row of the old values compared for result row `row`, or -1: a static
// cursor keeps them for the whole result, the others for the current rowset.
sgn32 OldValuesRow(PSCCL s, sgn32 row) {
  Dataset* ocv = s->pDSOptConcColVals;
  if (s->CursType == SQL_CURSOR_STATIC && s->fOptConcValExtent != SCCL_OCV_SELECT_COLS)
    return CachedRow(&s->OCVC, &s->OCVPosition, ocv, row, s->RsltSetSize);
  const sgn32 at = row - (s->RSPosition - 1);
  return at >= 0 && at < ocv->nRows ? at : -1;
}

// Copies the key rows (and old values) named by the bookmarks; a bookmark
// that names no row held ends the operation before anything runs.
errcode_t RowsFromBookmarks(PSCCL s, const bookmark_t* rBookMarks, uns16 cRows, BulkRows* rows) {
  KeySet* ks = s->pKeySet;
  const bool ocv = s->ConcType == SQL_CONCUR_VALUES;
  errcode_t rc = Dataset_Clone(&rows->keys, ks->pDataset, cRows);
  if (rc == ER_SUCCESS && ocv) rc = Dataset_Clone(&rows->old, s->pDSOptConcColVals, cRows);
  for (uns16 i = 0; i < cRows && rc == ER_SUCCESS; i++) {
    if (rBookMarks[i] == 0 || rBookMarks[i] > uns32(INT32_MAX)) return ER_GENERAL_ERROR;
    const sgn32 row = sgn32(rBookMarks[i] - 1);
    const sgn32 k = CachedRow(&ks->KSC, &ks->Position, ks->pDataset, row, s->RsltSetSize);
    const sgn32 o = k >= 0 && ocv ? OldValuesRow(s, row) : -1;
    if (k < 0 || (ocv && o < 0)) return ER_GENERAL_ERROR;
    rc = Dataset_CopyRow(rows->keys, ks->pDataset, uns32(rows->keys->nRows), uns32(k), 0);
    if (rc == ER_SUCCESS && ocv)
      rc = Dataset_CopyRow(rows->old, s->pDSOptConcColVals, uns32(rows->old->nRows), uns32(o), 0);
    if (rc == ER_SUCCESS) rows->slot.push_back(i);
  }
  return rc;
}

// One keyed statement per row: what changes between delete and update.
struct KeyedDml {
  std::string base;                 // up to and including the key predicate
  std::vector<SCColDesc> setDescs;  // the SET items' types, for bind descriptions
  Dataset* newVals = nullptr;       // the update's values, row = status entry
  uns16 okStatus = SQL_ROW_DELETED;
};

// The engine's bind descriptions: SET items, key columns, then the compared
// columns whose old value is not NULL (isNull null: none compared).
errcode_t BindDescsBuild(PSCCL s, const KeyedDml& d, const std::vector<bool>* isNull) {
  free(s->pBindDesc);
  s->pBindDesc = nullptr;
  s->nBindDesc = 0;
  errcode_t rc =
      d.setDescs.empty() ? ER_SUCCESS : scs_p_BindDescsAdd(s, d.setDescs.data(), d.setDescs.size());
  alist_t* kc = s->pKeySet->pLS_KeyCols;
  if (rc == ER_SUCCESS) rc = scs_p_BindDescsAdd(s, static_cast<const SCColDesc*>(alist_At(kc, 0)), kc->cUsed);
  alist_t* cc = isNull ? scs_p_OptConcCols(s) : nullptr;
  for (unsigned i = 0; cc && i < cc->cUsed && rc == ER_SUCCESS; i++)
    if (!(*isNull)[i]) rc = scs_p_BindDescsAdd(s, static_cast<const SCColDesc*>(alist_At(cc, i)), 1);
  return rc;
}

// Row j's parameters: new values, key values, then the non-NULL old values.
errcode_t RowParams(PSCCL s, const KeyedDml& d, BulkRows& rows, uns32 j, std::vector<bool>* isNull,
                    Dataset** ppParams) {
  *ppParams = nullptr;
  Dataset* params = nullptr;
  errcode_t rc = KS_KeyParamDsetBld(rows.keys, j, 1, 1, &params, s->bHasParamOp, 0, 0, nullptr, nullptr);
  if (rc == ER_SUCCESS && rows.old) {
    Dataset* old = rows.old;
    bool anyValue = false;
    for (uns16 c = 0; c < old->nCols; c++) {
      (*isNull)[c] = old->col[c].indicators[j] == IND_NULL;
      anyValue = anyValue || !(*isNull)[c];
    }
    if (anyValue) {
      Dataset* vals = nullptr;
      uns16 cNull = 0;
      uns16* nullIdx = nullptr;
      rc = KS_KeyParamDsetBld(old, j, 1, 1, &vals, s->bHasParamOp, 0, 1, &cNull, &nullIdx);
      free(nullIdx);
      if (rc == ER_SUCCESS) rc = Dataset_Prepend(vals, params);  // the keys go first
      scs_p_DatasetFree(&params);
      params = vals;
    }
  }
  if (rc == ER_SUCCESS && d.newVals) {
    Dataset* vals = nullptr;
    rc = KS_KeyParamDsetBld(d.newVals, rows.slot[j], 1, 1, &vals, s->bHasParamOp, 0, 0, nullptr, nullptr);
    if (rc == ER_SUCCESS) rc = Dataset_Prepend(params, vals);  // the new values go first
    scs_p_DatasetFree(&vals);
  }
  if (rc != ER_SUCCESS) {
    scs_p_DatasetFree(&params);
    return rc;
  }
  *ppParams = params;
  return ER_SUCCESS;
}

// Prepares the statement for a row whose old values have the given NULLs.
errcode_t OptConcPrepare(PSCCL s, const KeyedDml& d, const std::vector<bool>& isNull) {
  alist_t* cc = scs_p_OptConcCols(s);
  std::string sql = d.base;
  for (unsigned i = 0; i < cc->cUsed; i++)
    sql += " AND " + std::string(static_cast<const SCColDesc*>(alist_At(cc, i))->col_name) +
           (isNull[i] ? " IS NULL" : " = ?");
  errcode_t rc = SCs_Inner(s->pDrv).prepare(s->hSCCurs, sql.data());
  if (rc == ER_SUCCESS && s->bNeedBind) rc = BindDescsBuild(s, d, &isNull);
  return rc;
}

// Runs the statement for every row; the row's status becomes d.okStatus when
// the statement touched a row. Per-row failures keep their diagnostics and
// leave the error status; failures to build or prepare end the run.
errcode_t KeyedDmlRun(PSCCL s, const KeyedDml& d, BulkRows& rows, uns16* rgfRowStatus, uns32* pDone,
                      errcode_t* pLast) {
  *pDone = 0;
  *pLast = ER_SUCCESS;
  const bool ocv = rows.old != nullptr;
  if (ocv) {
    alist_t* cc = scs_p_OptConcCols(s);
    if (!cc || cc->cUsed != rows.old->nCols) return ER_GENERAL_ERROR;
  }
  errcode_t rc = ER_SUCCESS;
  StackErrorMsgs(s->hSCCurs, 1);
  if (!ocv) {
    rc = SCs_Inner(s->pDrv).prepare(s->hSCCurs, const_cast<char*>(d.base.c_str()));
    if (rc == ER_SUCCESS && s->bNeedBind) rc = BindDescsBuild(s, d, nullptr);
  }
  std::vector<bool> isNull(ocv ? rows.old->nCols : 0);
  bool prepareNext = true;
  errcode_t last = ER_SUCCESS;
  for (uns32 j = 0; rc == ER_SUCCESS && j < rows.slot.size(); j++) {
    if (d.newVals && rows.slot[j] >= uns32(std::max<sgn32>(d.newVals->nRows, 0))) {
      last = ER_GENERAL_ERROR;  // no new values for this bookmark
      continue;
    }
    Dataset* params = nullptr;
    rc = RowParams(s, d, rows, j, &isNull, &params);
    const bool hasNull = std::find(isNull.begin(), isNull.end(), true) != isNull.end();
    if (rc == ER_SUCCESS && ocv && (prepareNext || hasNull)) rc = OptConcPrepare(s, d, isNull);
    if (rc != ER_SUCCESS) {
      scs_p_DatasetFree(&params);
      break;
    }
    prepareNext = hasNull;
    sgn32 n = 0;
    last = scs_p_DmlRowRun(s, params, &n);
    if (last == ER_SUCCESS && n > 0) {
      rgfRowStatus[rows.slot[j]] = d.okStatus;
      ++*pDone;
    }
  }
  StackErrorMsgs(s->hSCCurs, 0);
  _Cursor* client = ODBC_CursorRec(s->hCursor);
  _Cursor* aux = ODBC_CursorRec(s->hSCCurs);
  if (client && aux) MoveErrorMsgQ(&client->pendingError, &aux->pendingError);
  *pLast = last;
  return rc;
}

// The result of a delete or update that touched `done` of cRows bookmarks:
// a failure that ended the run, else how many rows were touched.
errcode_t DmlResult(PSCCL s, errcode_t rcRun, errcode_t rcLast, uns32 done, uns16 cRows,
                    uns16* pcRowsAffected) {
  s->cRowsProcessed = done;
  *pcRowsAffected = uns16(done);
  if (rcRun != ER_SUCCESS) return rcRun;
  if (done == 0) return ER_NO_ROWS_UPDTD_DLTD;
  if (done < cRows) return ER_ROWS_UPDTD_DLTD;
  return rcLast;
}

errcode_t BulkDelete(PSCCL s, BulkRows& rows, uns16 cRows, uns16* rgfRowStatus, uns16* pcRowsAffected) {
  s->cRowsProcessed = 0;
  errcode_t rc = scs_p_PostndRqstValidate(s);
  if (rc != ER_SUCCESS) return rc;
  KeyedDml d;
  d.base = "DELETE FROM ";
  std::string target;
  if ((rc = scs_p_DmlTarget(s, &target)) != ER_SUCCESS) return rc;
  d.base += target;
  if ((rc = scs_p_DmlKeyWhere(s, &d.base)) != ER_SUCCESS) return rc;
  if (s->ConcType == SQL_CONCUR_READ_ONLY) return ER_INVALID_ARGUMENT;
  uns32 done = 0;
  errcode_t last = ER_SUCCESS;
  rc = KeyedDmlRun(s, d, rows, rgfRowStatus, &done, &last);
  return DmlResult(s, rc, last, done, cRows, pcRowsAffected);
}

// Fetch by bookmark: one keyed SELECT per bookmark, so that each row lands at
// its bookmark's place and a row gone since is told from the others.
errcode_t BulkFetch(PSCCL s, BulkRows& rows, uns16 cRows, uns16* rgfRowStatus, uns16* pcRowsAffected,
                    PRSET* ppRowSet) {
  // The client's cursor is about to hold the keyed SELECT: a static result
  // not yet read into its snapshot would be lost.
  if (s->CursType == SQL_CURSOR_STATIC && !(s->f_state & SCCL_SNAPSHOT_READ)) return ER_FUNCTION_SEQ;
  sgn32 cSelects = 0, cLast = 0, cPerSelect = 0;
  errcode_t rc = scs_p_GetSelectConstraints(s, &cSelects, &cLast, &cPerSelect);
  if (rc != ER_SUCCESS) return rc;
  if (!(s->f_state & SCCL_ROWSET_SELECT) || (s->f_state & SCCL_RSSIZE_SET)) {
    rc = scs_p_RowSetSelectPrepare(s, cPerSelect, s->f_state & SCCL_ROWSET_SELECT, nullptr);
    if (rc != ER_SUCCESS) return rc;
  }
  Dataset fetched{};
  Dataset_Init(&fetched, 0);
  std::vector<sgn32> at(cRows, -1);
  for (uns32 j = 0; j < rows.slot.size() && rc == ER_SUCCESS; j++) {
    const sgn32 before = fetched.nRows;
    rc = scs_p_RowSetKeyedRead(s, s->hCursor, rows.keys, j, 1, cPerSelect, 1, nullptr, &fetched, nullptr);
    if (rc != ER_SUCCESS) break;
    if (fetched.nRows > before)
      at[rows.slot[j]] = before;
    else
      rgfRowStatus[rows.slot[j]] = SQL_ROW_DELETED;
  }
  if (s->ConcType != SQL_CONCUR_LOCK) {
    errcode_t rcClose = SCs_Inner(s->pDrv).close(s->hCursor);
    if (rc == ER_SUCCESS) rc = rcClose;
  }
  PRSET rs = nullptr;
  if (rc == ER_SUCCESS) rc = RS_Create(&rs, cRows);
  if (rc == ER_SUCCESS) rc = Dataset_Clone(&rs->pDataset, &fetched, cRows);
  uns16 got = 0;
  if (rc == ER_SUCCESS) {
    rs->pDataset->nRows = rs->pDataset->nCols ? cRows : 0;
    for (uns16 i = 0; i < cRows && rc == ER_SUCCESS; i++) {
      if (at[i] >= 0) {
        rc = Dataset_CopyRow(rs->pDataset, &fetched, i, uns32(at[i]), 1);
        rgfRowStatus[i] = SQL_ROW_SUCCESS;
        got++;
      }
      rs->rgfRowStatus[i] = rgfRowStatus[i];
    }
  }
  Dataset_Done(&fetched);
  if (rc != ER_SUCCESS) {
    RS_Destroy(&rs);
    return rc;
  }
  *pcRowsAffected = got;
  *ppRowSet = rs;
  return ER_SUCCESS;
}

}  // namespace

errcode_t scs_p_BulkOp_Update(PSCCL s, uns16* rgiCol, uns16 cCols, Dataset* pDS, Dataset* pDSKeys,
                              Dataset* pDSOptConcVals, const uns16* rgiSlot, uns16* rgfRowStatus,
                              uns16 cBookmarks, uns16* pcRowsAffected) {
  if (!s || !pDS || !pDSKeys || !rgfRowStatus || !pcRowsAffected || (pDSKeys->nRows > 0 && !rgiSlot))
    return ER_GENERAL_ERROR;
  s->cRowsProcessed = 0;
  errcode_t rc = scs_p_PostndRqstValidate(s);
  if (rc != ER_SUCCESS) return rc;
  if ((rc = scs_p_ColDescsGet(s)) != ER_SUCCESS) return rc;
  KeyedDml d;
  std::string target;
  if ((rc = scs_p_DmlTarget(s, &target)) != ER_SUCCESS) return rc;
  d.base = "UPDATE " + target + " SET ";
  d.newVals = pDS;
  d.okStatus = SQL_ROW_UPDATED;
  // Column numbers in ascending order, one per column of the new values.
  if (!rgiCol || pDS->nCols == 0 || cCols < pDS->nCols) return ER_GENERAL_ERROR;
  std::vector<std::string> names;
  std::vector<const Coldesc*> descs;
  rc = scs_p_NewValueColumns(s, rgiCol, pDS->nCols, &names, &descs);
  if (rc != ER_SUCCESS) return rc == ER_NO_MEMORY ? rc : ER_GENERAL_ERROR;
  for (size_t i = 0; i < names.size(); i++) {
    d.base += (i ? ", " : "") + names[i] + " = ?";
    d.setDescs.push_back(scs_p_DescOf(descs[i]));
  }
  if ((rc = scs_p_DmlKeyWhere(s, &d.base)) != ER_SUCCESS) return rc;
  if (s->ConcType == SQL_CONCUR_READ_ONLY) return ER_INVALID_ARGUMENT;
  BulkRows rows;
  rows.keys = pDSKeys;
  rows.old = pDSOptConcVals;
  rows.slot.assign(rgiSlot, rgiSlot + std::max<sgn32>(pDSKeys->nRows, 0));
  uns32 done = 0;
  errcode_t last = ER_SUCCESS;
  rc = KeyedDmlRun(s, d, rows, rgfRowStatus, &done, &last);
  rows.keys = rows.old = nullptr;  // the caller's
  return DmlResult(s, rc, last, done, cBookmarks, pcRowsAffected);
}

int BulkOpCheck4DAECols() { return 0; }

errcode_t SCs_BulkOperations(handle_t hCursor, uns16 fOperation, bookmark_t* rBookMarks, uns16 cRows2Process,
                             Dataset* pDSUpdate, uns16* rgiCol, uns16 cCols2Process, uns16** prgfRowStatus,
                             uns16* pcRowsAffected, PRSET* ppRowSet) {
  // Taken over whatever happens.
  struct Owned {
    Dataset* ds;
    uns16* cols;
    ~Owned() {
      scs_p_DatasetFree(&ds);
      free(cols);
    }
  } owned{pDSUpdate, rgiCol};
  if (prgfRowStatus) *prgfRowStatus = nullptr;
  if (pcRowsAffected) *pcRowsAffected = 0;
  if (ppRowSet) *ppRowSet = nullptr;
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc || !pc->st_sccl.pDrv) return ER_INVALID_ARGUMENT;
  PSCCL s = &pc->st_sccl;
  const bool known = fOperation == SC_BULK_UPDATE_BY_BOOKMARK || fOperation == SC_BULK_DELETE_BY_BOOKMARK ||
                     fOperation == SC_BULK_FETCH_BY_BOOKMARK;
  if (!known || !rBookMarks || !prgfRowStatus || !pcRowsAffected) return ER_GENERAL_ERROR;
  if (fOperation == SC_BULK_FETCH_BY_BOOKMARK && !ppRowSet) return ER_GENERAL_ERROR;
  if (fOperation == SC_BULK_UPDATE_BY_BOOKMARK) {
    if (!pDSUpdate) return ER_GENERAL_ERROR;
    pc->fPassMode = 0;
  }
  // Bookmarks of a mixed or dynamic cursor would index a slice that moves.
  if (s->CursType == SQL_CURSOR_DYNAMIC || (s->CursType == SQL_CURSOR_KEYSET_DRIVEN && s->KSSize > 0))
    return ER_BLKOP_INVALID_CURS;
  if (cRows2Process == 0) return ER_GENERAL_ERROR;
  uns16* status = static_cast<uns16*>(calloc(cRows2Process, sizeof(uns16)));
  if (!status) return ER_NO_MEMORY;
  std::fill(status, status + cRows2Process, uns16(SQL_ROW_ERROR));
  *prgfRowStatus = status;
  KeySet* ks = s->pKeySet;
  if (!ks || !ks->pDataset) return ER_GENERAL_ERROR;
  if (s->ConcType == SQL_CONCUR_VALUES && !s->pDSOptConcColVals) return ER_GENERAL_ERROR;
  BulkRows rows;
  errcode_t rc = RowsFromBookmarks(s, rBookMarks, cRows2Process, &rows);
  if (rc != ER_SUCCESS) return rc;
  switch (fOperation) {
    case SC_BULK_DELETE_BY_BOOKMARK:
      return BulkDelete(s, rows, cRows2Process, status, pcRowsAffected);
    case SC_BULK_FETCH_BY_BOOKMARK:
      return BulkFetch(s, rows, cRows2Process, status, pcRowsAffected, ppRowSet);
    default:
      return scs_p_BulkOp_Update(s, rgiCol, cCols2Process, pDSUpdate, rows.keys, rows.old, rows.slot.data(),
                                 status, cRows2Process, pcRowsAffected);
  }
}

void scs_BulkOpsInstall(drv_ops* ops) { ops->bulkOperations = SCs_BulkOperations; }
