// Statement operations of the cursor engine (statement.h): prepare and execute
// keep the engine's cursor state in step with the backend, scrollable cursors
// get their keysets and snapshots at execute, and the combined calls run those
// steps in one request.
#include "cursors/statement.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

#include "cursors/analysis.h"
#include "cursors/cursor_state.h"
#include "cursors/engine_diagnostics.h"
#include "cursors/fetch_dispatch.h"
#include "cursors/fetch_engines.h"
#include "cursors/filter_ops.h"
#include "cursors/inner.h"
#include "cursors/keyset.h"
#include "cursors/slices.h"
#include "cursors/snapshot.h"
#include "model/dataset_util.h"
#include "model/drv_param_codes.h"
#include "util/fault.h"
#include "util/log.h"

namespace {

constexpr uns32 HOLD_BACK_ABOVE = 60000;  // bytes a rowset cell carries at most
constexpr sgn32 BATCH_COUNT_FAILED = -2;  // a batch entry's result when its row count could not be read

// A backend slot that may be empty in the table the engine was installed over.
template <typename Slot, typename... Args>
errcode_t CallInner(Slot drv_ops::*slot, Args... args) {
  Slot f = SCs_Inner(SCs_InnerDRV()).*slot;
  return f ? f(args...) : ER_DRV_NOT_CAPABLE;
}

bool IsScrollable(const TSCCL& s) { return s.CursType != SQL_CURSOR_FORWARD_ONLY; }

// A query by the analysis, or by the backend's own classification when the
// analyser could not read the statement.
bool IsSelect(const _Cursor* pc) {
  const TSCCL& s = pc->st_sccl;
  if (s.Rqst.reqType == EXPR_SELECT_STATEMENT) return true;
  return s.Rqst.reqType <= 0 && pc->request.reqType == REQ_QUERY;
}

// The backend's prepare. The backend leaves no long value of a scrollable
// cursor to the long-data call (the engine could not hand it out): on a
// connection that defers long data it brings them whole, and the J fetch holds
// back the longest.
errcode_t BackendPrepare(_Cursor* pc, handle_t h, const char* sql) {
  if (!sql) return ER_INVALID_ARGUMENT;
  // The backend replaces its request record, which may hold the text passed.
  char* text = vyr_fault_alloc() ? nullptr : strdup(sql);
  if (!text) return ER_NO_MEMORY;
  errcode_t rc = SCs_Inner(SCs_InnerDRV()).prepare(h, text);
  if (IsScrollable(pc->st_sccl)) pc->st_sccl.bDeferLongData = 0;
  free(text);
  return rc;
}

// Sends the kept parameters (a copy: the backend takes over what it gets) and
// the kept bind descriptions again after the engine prepared on its own.
errcode_t ResendKept(handle_t h, TSCCL& s) {
  if ((s.f_state & SCCL_HAS_PARAMS) && s.parameters) {
    Dataset* copy = nullptr;
    errcode_t rc = Dataset_Copy(&copy, s.parameters);
    if (rc != ER_SUCCESS) return rc;
    rc = SCs_Inner(SCs_InnerDRV()).parameters(h, copy);
    if (rc != ER_SUCCESS) return rc;
  }
  // The descriptions the engine bound for its rowset SELECT stay on the
  // cursor through a prepare: the client's own (maybe none) replace them.
  if (s.bNeedBind) return CallInner(&drv_ops::bind, h, s.nParamInfo, s.pParamInfo);
  return ER_SUCCESS;
}

errcode_t Failed(TSCCL& s, errcode_t rc) {
  GetAuxCursorErrors(&s);
  return rc;
}

errcode_t PrepareStep(handle_t h, char* request) {
  _Cursor* pc = ODBC_CursorRec(h);
  if (!pc || !request) return ER_INVALID_ARGUMENT;
  TSCCL& s = pc->st_sccl;
  s.cRowsProcessed = SCCL_ROWS_UNCOUNTED;
  // A new statement: the snapshot of the last one is no result of it.
  SS_Close(s.pSnapShot);
  s.f_state = uns16(s.f_state & ~SCCL_SNAPSHOT_READ);
  errcode_t rc = BackendPrepare(pc, h, request);
  if (rc != ER_SUCCESS) return rc;
  rc = scs_p_Prepare(&s, request);
  if (rc != ER_SUCCESS) return Failed(s, rc);
  if ((pc->request.flags & REQ_F_HAS_PARAMS) && s.CursType == SQL_CURSOR_KEYSET_DRIVEN)
    s.f_state |= SCCL_HAS_PARAMS;
  s.f_state |= SCCL_THROUGH_ENGINE;
  return ER_SUCCESS;
}

// Takes over params whatever happens.
errcode_t ParamStep(handle_t h, Dataset* params) {
  _Cursor* pc = ODBC_CursorRec(h);
  if (!pc) {
    scs_p_DatasetFree(&params);
    return ER_INVALID_ARGUMENT;
  }
  errcode_t rc = scs_p_KeepParameters(&pc->st_sccl, params);
  if (rc != ER_SUCCESS) {
    scs_p_DatasetFree(&params);
    return rc;
  }
  return SCs_Inner(SCs_InnerDRV()).parameters(h, params);
}

// Prepare, parameter and bind steps of the combined calls; params is taken over.
errcode_t CombinedSteps(handle_t h, char* request, Dataset* params, uns16 nCols, Bindesc* pDesc) {
  errcode_t rc = request ? PrepareStep(h, request) : ER_SUCCESS;
  if (rc != ER_SUCCESS) {
    scs_p_DatasetFree(&params);
    return rc;
  }
  if (params && (rc = ParamStep(h, params)) != ER_SUCCESS) return rc;
  if (nCols != 0) return SCs_Bind(h, nCols, pDesc);
  return ER_SUCCESS;
}

errcode_t RowsProcessedStep(handle_t h, sgn32* pCount) {
  sgn32 n = 0;
  uns16 len = 0;
  errcode_t rc = SCs_GetDrvParameter(h, DRVP_STMT_ROW_COUNT, &n, 4, &len);
  if (rc == ER_SUCCESS) *pCount = n;
  return rc;
}

// The rest of the result behind a kept snapshot is of no use.
errcode_t CloseBehindSnapshot(handle_t h, TSCCL& s) {
  return scs_p_SnapshotKeepsResult(&s) ? ER_SUCCESS : SCs_Inner(SCs_InnerDRV()).close(h);
}

errcode_t ExecuteJCommon(handle_t h, char* request, Dataset* params, uns16 nCols, Bindesc* pDesc,
                         sgn32* rowSetSize, uns16* pnCols, Coldesc** ppColDesc, uns16* pnPars,
                         Coldesc** ppParDesc, uns16* pnAttribs, ColAttrib** ppAttrib, sgn32* rowsProcessed) {
  _Cursor* pc = ODBC_CursorRec(h);
  if (!pc) {
    scs_p_DatasetFree(&params);
    return ER_INVALID_ARGUMENT;
  }
  TSCCL& s = pc->st_sccl;
  if (IsScrollable(s) && rowSetSize) {
    sgn32 want = *rowSetSize;
    errcode_t rc = SCs_Inner(SCs_InnerDRV()).setDrvParameter(h, DRVP_STMT_ROWSET_SIZE, &want);
    if (rc == ER_OPT_VAL_CHANGED) {
      // The backend settled on another size: the client learns which.
      sgn32 got = s.RSSize;
      uns16 len = 0;
      if (SCs_Inner(SCs_InnerDRV()).getDrvParameter(h, DRVP_STMT_ROWSET_SIZE, &got, 4, &len) != ER_SUCCESS)
        got = s.RSSize;
      *rowSetSize = got;
    } else if (rc != ER_SUCCESS) {
      scs_p_DatasetFree(&params);
      return rc;
    }
  }
  errcode_t rc = CombinedSteps(h, request, params, nCols, pDesc);
  if (rc != ER_SUCCESS) return rc;
  s.dt_xfer.xf_col = 0;
  s.dt_xfer.xf_row = 0;
  if (s.pDeferredData) Dataset_Done(s.pDeferredData);
  const errcode_t executed = SCs_Execute(h);
  if (executed != ER_SUCCESS && executed != ER_HAVE_OUTPARAMS) return executed;
  if (pnAttribs && ppAttrib)
    rc = CallInner(&drv_ops::colAttributes, h, pnCols, pnAttribs, ppColDesc, ppAttrib);
  else
    rc = CallInner(&drv_ops::describeColumns, h, pnCols, ppColDesc);
  if (rc == ER_SUCCESS) rc = CallInner(&drv_ops::describeParams, h, pnPars, ppParDesc);
  if (rc != ER_SUCCESS) return rc;
  sgn32 n = 0;
  rc = RowsProcessedStep(h, &n);
  if (rc != ER_SUCCESS) return rc;
  if (rowsProcessed) *rowsProcessed = n < 0 ? 0 : n;
  return executed;
}

// First token of text split at the delimiters, compared without case.
bool FirstTokenIs(const char* text, const char* delims, const char* word) {
  const char* p = text + strspn(text, delims);
  size_t n = strcspn(p, delims);
  return n == strlen(word) && strncasecmp(p, word, n) == 0;
}

// The procedure-parameter labels of the backend: "*" and I, O, B or U.
bool IsParamLabel(const char* label) { return label[0] == '*' && label[1] && strchr("IOBU", label[1]); }

uns32 LongCellLength(const Coldata* c, sgn32 row) {
  uns32 len = 0;
  memcpy(&len, Coldata_Cell(c, uint64_t(row)), 4);
  return len;
}

char* LongCellData(const Coldata* c, sgn32 row) {
  char* p = nullptr;
  memcpy(&p, Coldata_Cell(c, uint64_t(row)) + 8, sizeof p);
  return p;
}

// Wide cells count characters of 4 bytes.
uint64_t LongCellBytes(const Coldata* c, sgn32 row) {
  return uint64_t(LongCellLength(c, row)) * (c->cType == CTYPE_WLCHR ? 4 : 1);
}

}  // namespace

errcode_t SCs_Prepare(handle_t hCursor, char* request) { return PrepareStep(hCursor, request); }

errcode_t SCs_Execute(handle_t hCursor) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) return ER_INVALID_ARGUMENT;
  TSCCL& s = pc->st_sccl;
  if (!(pc->flags & CURSF_PREPARED)) {
    logit(LOG_WARNING, nullptr, 0, "execute without prior prepare");
    return ER_FUNCTION_SEQ;
  }
  s.cRowsProcessed = SCCL_ROWS_UNCOUNTED;
  s.f_state |= SCCL_THROUGH_ENGINE;
  errcode_t rc;
  if (IsScrollable(s)) {
    // A new result: dynamic and mixed cursors read it from its start.
    if (s.CursType == SQL_CURSOR_DYNAMIC || (s.CursType == SQL_CURSOR_KEYSET_DRIVEN && s.KSSize > 0))
      scs_p_SliceReset(&s);
    // Closed, or executed again while the cursor still holds the engine's
    // rowset SELECT (whose markers are the keys'): the client's statement is
    // prepared again and takes its parameters.
    if (s.f_state & (SCCL_CLOSED | SCCL_ROWSET_SELECT)) {
      rc = BackendPrepare(pc, hCursor, s.pszSQL ? s.pszSQL : pc->request.original);
      if (rc != ER_SUCCESS) return rc;
      s.f_state = uns16(s.f_state & ~SCCL_CLOSED);
      if ((rc = ResendKept(hCursor, s)) != ER_SUCCESS) return rc;
    }
    if (s.Rqst.reqType == SCR_REQ_EMPTY && pc->request.original) {
      char* text = vyr_fault_alloc() ? nullptr : strdup(pc->request.original);
      if (!text) return ER_NO_MEMORY;
      rc = scs_p_Prepare(&s, text);
      free(text);
      if (rc != ER_SUCCESS) return Failed(s, rc);
    }
    const uns16 noKeys = SCR_F_JOIN | SCR_F_GROUP_BY | SCR_F_AGGREGATE | SCR_F_UNION;
    const bool keyed =
        s.Rqst.reqType == EXPR_SELECT_STATEMENT &&
        ((s.CursType == SQL_CURSOR_KEYSET_DRIVEN && s.KSSize == SCCL_KEYSET_WHOLE) ||
         (s.CursType == SQL_CURSOR_STATIC && s.ConcType != SQL_CONCUR_READ_ONLY && !(s.Rqst.flags & noKeys)));
    if (keyed) {
      if ((rc = KS_GetKeySet_KSD(&s)) != ER_SUCCESS) return Failed(s, rc);
      if (s.CursType == SQL_CURSOR_STATIC) {
        // The rows are read again by the statement that carries the keys.
        const char* base = s.Rqst.translated ? s.Rqst.translated : s.pszSQL;
        if (!base) base = pc->request.original;
        if (!base) return ER_FUNCTION_SEQ;
        const bool forUpdate = s.ConcType == SQL_CONCUR_LOCK && !s.bLockByUpdate;
        std::string text = std::string(base) + (forUpdate ? " FOR UPDATE" : "");
        if ((rc = BackendPrepare(pc, hCursor, text.c_str())) != ER_SUCCESS) return rc;
        if ((rc = ResendKept(hCursor, s)) != ER_SUCCESS) return rc;
      }
    }
  }
  if ((rc = SCs_Inner(SCs_InnerDRV()).execute(hCursor)) != ER_SUCCESS) return rc;
  const bool select = IsSelect(pc);
  if (IsScrollable(s) && select && !s.pColDesc) {
    rc = CallInner(&drv_ops::describeColumns, hCursor, &s.nColDesc, &s.pColDesc);
    if (rc != ER_SUCCESS) return Failed(s, rc);
  }
  // Only a statement with a result has anything to read into the snapshot.
  const bool snapshot = (s.CursType == SQL_CURSOR_STATIC && s.ConcType == SQL_CONCUR_READ_ONLY && select) ||
                        (s.bMultipleActiveStmtsEmul && pc->nColdesc > 0);
  if (!snapshot) return ER_SUCCESS;
  if (s.f_state & SCCL_SNAPSHOT_READ) {
    // Executed again without a new prepare: the snapshot stands, read from its start.
    if (s.pSnapShot) s.pSnapShot->CursPosition = 0;
    s.Position = s.RSPosition = 0;
    rc = CloseBehindSnapshot(hCursor, s);
    return rc == ER_SUCCESS ? ER_SUCCESS : Failed(s, rc);
  }
  // A driver error the backend's fetch only queued cuts the result short: an error too.
  ErrorQ saved;
  scs_p_DiagSave(hCursor, &saved);
  rc = SS_GetRsltSet(s.pSnapShot, s.pDrv ? s.pDrv : SCs_InnerDRV(), hCursor, &s.RsltSetSize);
  rc = scs_p_DiagCheck(hCursor, &saved, rc);
  if (rc != ER_SUCCESS) {
    // No later fetch may read on from where the failed read stopped.
    SS_Close(s.pSnapShot);
    SCs_Inner(SCs_InnerDRV()).close(hCursor);
    return Failed(s, rc);
  }
  if ((rc = CloseBehindSnapshot(hCursor, s)) != ER_SUCCESS) return Failed(s, rc);
  s.f_state |= SCCL_SNAPSHOT_READ;
  return ER_SUCCESS;
}

errcode_t SCs_Execute2(handle_t hCursor, char* request, Dataset* params, uns16 nCols, Bindesc* pDesc) {
  errcode_t rc = CombinedSteps(hCursor, request, params, nCols, pDesc);
  return rc == ER_SUCCESS ? SCs_Execute(hCursor) : rc;
}

errcode_t SCs_Execute2X(handle_t hCursor, char* request, Dataset* params, uns16 nCols, BindescX* pDesc) {
  errcode_t rc = CombinedSteps(hCursor, request, params, 0, nullptr);
  if (rc == ER_SUCCESS && nCols != 0) rc = SCs_BindX(hCursor, nCols, pDesc);
  return rc == ER_SUCCESS ? SCs_Execute(hCursor) : rc;
}

errcode_t SCs_BindX(handle_t hCursor, uns16 nCols, BindescX* pDesc) {
  if (!ODBC_CursorRec(hCursor)) return ER_INVALID_ARGUMENT;
  if (nCols > 0 && !pDesc) return ER_INVALID_ARGUMENT;
  // The backend binds plain descriptions only; the names are not used.
  Bindesc* plain = nullptr;
  if (nCols > 0) {
    plain = vyr_fault_alloc() ? nullptr : AllocBindesc(nCols);
    if (!plain) return ER_NO_MEMORY;
    for (uns16 i = 0; i < nCols; i++)
      plain[i] =
          Bindesc{pDesc[i].sqlType, pDesc[i].cType, pDesc[i].precision, pDesc[i].scale, pDesc[i].usage};
  }
  errcode_t rc = SCs_Bind(hCursor, nCols, plain);
  free(plain);
  return rc;
}

errcode_t SCs_MoreResults(handle_t hCursor) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) return ER_INVALID_ARGUMENT;
  TSCCL& s = pc->st_sccl;
  // A forward-only cursor is the backend's, whatever its concurrency.
  const bool pass = s.CursType == SQL_CURSOR_FORWARD_ONLY ||
                    (s.CursType == SQL_CURSOR_STATIC && s.ConcType == SQL_CONCUR_READ_ONLY &&
                     (!(s.f_state & SCCL_SNAPSHOT_READ) || s.Rqst.reqType == EXPR_PROCCALL));
  SC_Reset(&s);
  SS_Close(s.pSnapShot);
  s.f_state = uns16(s.f_state & ~SCCL_SNAPSHOT_READ);
  return pass ? CallInner(&drv_ops::moreResults, hCursor) : ER_NO_MORE_RESULTS;
}

errcode_t SCs_PrepareJ(handle_t hConnect, char* request, sgn32 cursConcurrency, sgn32 cursType,
                       handle_t* phCursor) {
  if (!phCursor) return ER_INVALID_ARGUMENT;
  *phCursor = 0;
  errcode_t rc = SCs_Cursor(hConnect, phCursor);
  if (rc != ER_SUCCESS) return rc;
  const handle_t h = *phCursor;
  auto end = [&](errcode_t e) {
    SCs_EndCursor(h);
    *phCursor = 0;
    return e;
  };
  if (cursType != 0) {
    // A changed value is the backend's answer of what it offers, not a refusal.
    rc = SCs_Inner(SCs_InnerDRV()).setDrvParameter(h, DRVP_STMT_CURSOR_TYPE, &cursType);
    if (rc == ER_SUCCESS || rc == ER_OPT_VAL_CHANGED)
      rc = SCs_Inner(SCs_InnerDRV()).setDrvParameter(h, DRVP_STMT_CONCURRENCY, &cursConcurrency);
    if (rc != ER_SUCCESS && rc != ER_OPT_VAL_CHANGED) return end(rc);
  }
  if (!request) return ER_SUCCESS;
  rc = PrepareStep(h, request);
  if (rc == ER_SUCCESS) return ER_SUCCESS;
  _Cursor* pc = ODBC_CursorRec(h);
  _Connect* c = ODBC_ConnectRec(hConnect);
  if (pc && c) {
    // The client gets no cursor: its diagnostics are read from the connection.
    FlushErrorMsgQ(&c->pendingError);
    c->pendingError = pc->pendingError;
    pc->pendingError = ErrorQ{};
  }
  return end(rc);
}

errcode_t SCs_ExecuteJ(handle_t hCursor, char* request, Dataset* params, uns16 nCols, Bindesc* pDesc,
                       sgn32* rowSetSize, uns16* pnCols, Coldesc** ppColDesc, uns16* pnPars,
                       Coldesc** ppParDesc, sgn32* rowsProcessed) {
  return ExecuteJCommon(hCursor, request, params, nCols, pDesc, rowSetSize, pnCols, ppColDesc, pnPars,
                        ppParDesc, nullptr, nullptr, rowsProcessed);
}

errcode_t SCs_ExecuteJ2(handle_t hCursor, char* request, Dataset* params, uns16 nCols, Bindesc* pDesc,
                        sgn32* rowSetSize, uns16* pnCols, Coldesc** ppColDesc, uns16* pnPars,
                        Coldesc** ppParDesc, uns16* pnAttribs, ColAttrib** ppAttrib, sgn32* rowsProcessed) {
  return ExecuteJCommon(hCursor, request, params, nCols, pDesc, rowSetSize, pnCols, ppColDesc, pnPars,
                        ppParDesc, pnAttribs, ppAttrib, rowsProcessed);
}

errcode_t SCs_FetchProcJ(handle_t hCursor, uns16* pnCols, Coldesc** ppDesc, Dataset* pBind) {
  if (!ODBC_CursorRec(hCursor) || !pBind) return ER_INVALID_ARGUMENT;
  if (ppDesc) *ppDesc = nullptr;
  errcode_t rc = SCs_Inner(SCs_InnerDRV()).fetch(hCursor, 0, pBind);
  if (rc != ER_SUCCESS) return rc;
  if (pnCols) *pnCols = pBind->nCols;
  if (!ppDesc || pBind->nCols == 0) return ER_SUCCESS;
  Coldesc* d = vyr_fault_alloc() ? nullptr : AllocColdesc(pBind->nCols);
  if (!d) return ER_NO_MEMORY;
  for (uns16 i = 0; i < pBind->nCols; i++) {
    const Coldata& c = pBind->col[i];
    d[i].fetchType = c.cType;
    if (c.cType == CTYPE_WCHR || c.cType == CTYPE_WVCHR)
      d[i].fetchLength = c.width / 4;
    else if (c.cType == CTYPE_WVCHR32)
      d[i].fetchLength = c.width >= 4 ? (c.width - 4) / 4 : 0;
    else
      d[i].fetchLength = c.width;
  }
  *ppDesc = d;
  return ER_SUCCESS;
}

errcode_t scs_p_HoldBackLongData(PSCCL me, PRSET pRowSet) {
  Dataset* held = me->pDeferredData;
  if (!held) return ER_SUCCESS;
  Dataset_Done(held);
  Dataset* ds = pRowSet ? pRowSet->pDataset : nullptr;
  if (!ds || ds->nRows <= 0 || ds->nCols == 0) return ER_SUCCESS;
  bool anyLong = false;
  for (uns16 c = 0; c < ds->nCols; c++) anyLong |= ctype_is_long(ds->col[c].cType) != 0;
  if (!anyLong) return ER_SUCCESS;
  auto fail = [&]() {
    Dataset_Done(held);
    return ER_NO_MEMORY;
  };
  if (vyr_fault_alloc() || Dataset_Init(held, ds->nCols) != ER_SUCCESS) return fail();
  held->nCols = ds->nCols;
  for (uns16 c = 0; c < ds->nCols; c++) {
    const bool isLong = ctype_is_long(ds->col[c].cType);
    held->col[c].cType = ds->col[c].cType;
    held->col[c].width = isLong ? ds->col[c].width : 0;
  }
  if (Dataset_AllocColumns(held, ds->nRows) != ER_SUCCESS) return fail();
  held->nRows = ds->nRows;
  for (uns16 c = 0; c < ds->nCols; c++) {
    Coldata* col = &ds->col[c];
    if (!ctype_is_long(col->cType) || col->width < 16) continue;
    // Values kept in the column's own block cannot change owner.
    if (Coldata_DetachLongData(col, ds->nRows) != ER_SUCCESS) return fail();
    // The transfer record names rows in 16 bits: a value of a later row stays
    // in the rowset, or a piece of it could be taken for one of another row.
    for (sgn32 r = 0; r < std::min<sgn32>(ds->nRows, 0xFFFF); r++) {
      if (col->indicators[r] == IND_NULL || !LongCellData(col, r)) continue;
      if (LongCellBytes(col, r) <= HOLD_BACK_ABOVE) continue;
      char* cell = Coldata_Cell(col, uint64_t(r));
      memcpy(Coldata_Cell(&held->col[c], uint64_t(r)), cell, 16);
      held->col[c].indicators[r] = 0;
      memset(cell, 0, 16);
      col->indicators[r] = IND_LONG_LEFT;
    }
  }
  return ER_SUCCESS;
}

errcode_t SCs_ExtendedFetch2J(handle_t hCursor, PRSET* ppRowSet, sgn32 irow, uns32* pcrow,
                              sgn32* pRsltSetSize, sgn32 lfFetchType) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) return ER_INVALID_ARGUMENT;
  TSCCL& s = pc->st_sccl;
  s.dt_xfer.xf_col = 0;
  s.dt_xfer.xf_row = 0;
  // What was held back belongs to the last rowset, whatever this fetch brings.
  if (s.pDeferredData) Dataset_Done(s.pDeferredData);
  errcode_t rc = SCs_ExtendedFetch2(hCursor, ppRowSet, irow, pcrow, pRsltSetSize, lfFetchType);
  if (rc != ER_SUCCESS) return rc;
  return scs_p_HoldBackLongData(&s, ppRowSet ? *ppRowSet : nullptr);
}

errcode_t SCs_GetDataJ(handle_t hCursor, sgn32 iCol, sgn32 iRow, precision_t cbWanted, char** ppRcvBuff,
                       precision_t* pcbRetrieved, ctype_t* pCType, sgn32* pcbRemaining) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) return ER_INVALID_ARGUMENT;
  TSCCL& s = pc->st_sccl;
  if (!IsScrollable(s))
    return CallInner(&drv_ops::getData, hCursor, iCol, iRow, cbWanted, ppRcvBuff, pcbRetrieved, pCType,
                     pcbRemaining);
  if (!ppRcvBuff || !pcbRetrieved || !pCType || !pcbRemaining) return ER_INVALID_ARGUMENT;
  *ppRcvBuff = nullptr;
  *pcbRetrieved = 0;
  *pcbRemaining = SQL_NO_TOTAL;
  const Dataset* held = s.pDeferredData;
  if (!held || held->nCols == 0) return ER_NO_DATA_FOUND;
  if (iCol < 1 || iCol > held->nCols || iRow < 1 || iRow > held->nRows) return ER_INVALID_ARGUMENT;
  const Coldata* col = &held->col[iCol - 1];
  if (!ctype_is_long(col->cType) || col->indicators[iRow - 1] != 0) return ER_NO_DATA_FOUND;
  const bool wide = col->cType == CTYPE_WLCHR;
  *pCType = col->cType == CTYPE_LCHR ? CTYPE_CHR : wide ? CTYPE_WCHR : CTYPE_BIN;
  TJXFER& x = s.dt_xfer;
  if (x.xf_col != iCol || x.xf_row != iRow) {
    // Counted in bytes, wide values too: the wire turns both counts into characters.
    x.xf_offset = 0;
    x.xf_remaining = uns32(std::min<uint64_t>(LongCellBytes(col, iRow - 1), 0x7FFFFFFF));
    x.xf_col = uns16(iCol);
    x.xf_row = uns16(iRow);
  }
  *pcbRemaining = sgn32(x.xf_remaining);
  if (x.xf_remaining == 0) return ER_SUCCESS;
  uint64_t piece = std::min<uint64_t>(x.xf_remaining, uint64_t(cbWanted) * (wide ? 4 : 1));
  if (wide) piece &= ~uint64_t(3);
  if (piece == 0) return ER_SUCCESS;
  char* buf = vyr_fault_alloc() ? nullptr : static_cast<char*>(malloc(size_t(piece)));
  if (!buf) return ER_NO_MEMORY;
  memcpy(buf, LongCellData(col, iRow - 1) + x.xf_offset, size_t(piece));
  x.xf_offset += sgn32(piece);
  x.xf_remaining -= uns32(piece);
  *ppRcvBuff = buf;
  *pcbRetrieved = precision_t(piece);
  return ER_SUCCESS;
}

errcode_t SCs_ExecuteBatchJ(handle_t hCursor, uns16 nCalls, Batch* calls, uns16* nResults, sgn32** Results) {
  // Every entry's parameters are the operation's, run or not.
  auto dropParams = [&]() {
    for (uns16 i = 0; calls && i < nCalls; i++) scs_p_DatasetFree(&calls[i].parameters);
  };
  if (nResults) *nResults = 0;
  if (Results) *Results = nullptr;
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc || !nResults || !Results || (nCalls > 0 && !calls)) {
    dropParams();
    return ER_INVALID_ARGUMENT;
  }
  sgn32* results =
      vyr_fault_alloc() ? nullptr : static_cast<sgn32*>(calloc(nCalls ? nCalls : 1, sizeof(sgn32)));
  if (!results) {
    dropParams();
    return ER_NO_MEMORY;
  }
  errcode_t rc = ER_SUCCESS;
  uns16 i = 0;
  for (; i < nCalls; i++) {
    Batch& b = calls[i];
    const char* text = b.request;
    if (!text) text = pc->request.original ? pc->request.original : pc->request.translated;
    if (text && FirstTokenIs(text, " \t\n\r\f(", "select")) {
      rc = ER_INVALID_BATCH_CMD;
      break;
    }
    const bool procCall = text && FirstTokenIs(text, " {?=\t\n\r\f", "call");
    if (b.desc.desc_len > 0xFFFF) {
      rc = ER_INVALID_ARGUMENT;
      break;
    }
    if (b.request) rc = PrepareStep(hCursor, b.request);
    if (rc == ER_SUCCESS && b.parameters) {
      Dataset* params = b.parameters;
      b.parameters = nullptr;
      rc = ParamStep(hCursor, params);
    }
    if (rc == ER_SUCCESS && b.desc.desc_len > 0)
      rc = SCs_Bind(hCursor, uns16(b.desc.desc_len), b.desc.desc_val);
    if (rc == ER_SUCCESS) rc = SCs_Execute(hCursor);
    if (rc != ER_SUCCESS) break;
    sgn32 n = 0;
    results[i] = RowsProcessedStep(hCursor, &n) == ER_SUCCESS ? (n < 0 ? 0 : n) : BATCH_COUNT_FAILED;
    if (procCall) {
      uns16 nc = 0;
      Coldesc* cd = nullptr;
      rc = CallInner(&drv_ops::describeColumns, hCursor, &nc, &cd);
      if (rc == ER_SUCCESS && nc > 0 && cd && !IsParamLabel(cd[0].label)) rc = ER_INVALID_BATCH_CMD;
      FreeColdesc(cd, nc);
      if (rc != ER_SUCCESS) break;
    }
  }
  dropParams();
  *nResults = rc == ER_SUCCESS ? nCalls : i;
  *Results = results;
  return rc;
}

namespace {

// A catalog result is read whole: keyset-driven and dynamic cursors serve it
// as static read-only ones.
template <typename Slot, typename... Args>
errcode_t Catalog(Slot drv_ops::*slot, handle_t h, Args... args) {
  _Cursor* pc = ODBC_CursorRec(h);
  if (!pc) return ER_INVALID_ARGUMENT;
  TSCCL& s = pc->st_sccl;
  if (s.CursType == SQL_CURSOR_KEYSET_DRIVEN || s.CursType == SQL_CURSOR_DYNAMIC) {
    s.CursType = SQL_CURSOR_STATIC;
    s.ConcType = SQL_CONCUR_READ_ONLY;
  }
  // A snapshot of an earlier statement is not this result.
  if (s.f_state & SCCL_SNAPSHOT_READ) {
    SS_Close(s.pSnapShot);
    SC_Reset(&s);
    s.f_state = uns16(s.f_state & ~SCCL_SNAPSHOT_READ);
  }
  // Nor are its keys: the static fetch would take their statuses for this
  // result's rows, beyond the ones the keys have.
  if (s.pKeySet) ks_FreeKeyVals(s.pKeySet);
  s.KSPosition = KSP_INVALID;
  return CallInner(slot, h, args...);
}

}  // namespace

errcode_t SCs_DDColumnPrivileges(handle_t h, DDColumnPrivileges* a) {
  return Catalog(&drv_ops::ddColumnPrivileges, h, a);
}
errcode_t SCs_DDColumns(handle_t h, DDColumns* a) { return Catalog(&drv_ops::ddColumns, h, a); }
errcode_t SCs_DDForeignKeys(handle_t h, DDForeignKeys* a) { return Catalog(&drv_ops::ddForeignKeys, h, a); }
errcode_t SCs_DDPrimaryKeys(handle_t h, DDPrimaryKeys* a) { return Catalog(&drv_ops::ddPrimaryKeys, h, a); }
errcode_t SCs_DDProcedureColumns(handle_t h, DDProcedureColumns* a) {
  return Catalog(&drv_ops::ddProcedureColumns, h, a);
}
errcode_t SCs_DDProcedures(handle_t h, DDProcedures* a) { return Catalog(&drv_ops::ddProcedures, h, a); }
errcode_t SCs_DDSpecialColumns(handle_t h, DDSpecialColumns* a) {
  return Catalog(&drv_ops::ddSpecialColumns, h, a);
}
errcode_t SCs_DDStatistics(handle_t h, DDStatistics* a) { return Catalog(&drv_ops::ddStatistics, h, a); }
errcode_t SCs_DDTablePrivileges(handle_t h, DDTablePrivileges* a) {
  return Catalog(&drv_ops::ddTablePrivileges, h, a);
}
errcode_t SCs_DDTables(handle_t h, DDTables* a) { return Catalog(&drv_ops::ddTables, h, a); }
errcode_t SCs_DDTypeInfo(handle_t h, sgn16 fSqlType) { return Catalog(&drv_ops::ddTypeInfo, h, fSqlType); }

void scs_StatementOpsInstall(drv_ops* ops) {
  ops->prepare = SCs_Prepare;
  ops->execute = SCs_Execute;
  ops->execute2 = SCs_Execute2;
  ops->execute2X = SCs_Execute2X;
  ops->bindX = SCs_BindX;
  ops->moreResults = SCs_MoreResults;
  ops->prepareJ = SCs_PrepareJ;
  ops->executeJ = SCs_ExecuteJ;
  ops->executeJ2 = SCs_ExecuteJ2;
  ops->fetchprocJ = SCs_FetchProcJ;
  ops->xFetch2J = SCs_ExtendedFetch2J;
  ops->getDataJ = SCs_GetDataJ;
  ops->executeBatchJ = SCs_ExecuteBatchJ;
  ops->ddColumnPrivileges = SCs_DDColumnPrivileges;
  ops->ddColumns = SCs_DDColumns;
  ops->ddForeignKeys = SCs_DDForeignKeys;
  ops->ddPrimaryKeys = SCs_DDPrimaryKeys;
  ops->ddProcedureColumns = SCs_DDProcedureColumns;
  ops->ddProcedures = SCs_DDProcedures;
  ops->ddSpecialColumns = SCs_DDSpecialColumns;
  ops->ddStatistics = SCs_DDStatistics;
  ops->ddTablePrivileges = SCs_DDTablePrivileges;
  ops->ddTables = SCs_DDTables;
  ops->ddTypeInfo = SCs_DDTypeInfo;
}
