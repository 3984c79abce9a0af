// The slots the filter takes over from the backend's table (filter_ops.h):
// connect and end connect (saving the request), cursor and end cursor (making
// and ending the engine state), bind and parameters (kept for the engine's own
// statements), the forward and snapshot fetch, close, and the driver
// parameters the engine answers itself. SCs_InitDRV (filter.cpp) puts them in
// the engine's table; statement.cpp calls some of them directly.
#include "cursors/filter_ops.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "cursors/cursor_state.h"
#include "cursors/data_source_info.h"
#include "cursors/engine_diagnostics.h"
#include "cursors/inner.h"
#include "cursors/key_columns.h"
#include "cursors/saved_connects.h"
#include "cursors/snapshot.h"
#include "cursors/state_init_destroy.h"
#include "model/dataset_util.h"
#include "model/drv_param_codes.h"
#include "util/fault.h"
#include "util/hashtab.h"

extern DRV g_DBI;  // inner.cpp

errcode_t SCs_GetDrvParameter(handle_t h, uns32 opcode, void* value, uns16 maxLength, uns16* pOutLength) {
  switch (DrvParamScope(opcode)) {
    case DRVP_SCOPE_CONNECT:
      if (!ODBC_ConnectRec(h)) return ER_INVALID_ARGUMENT;
      if (opcode == DRVP_CONN_CAPABILITY_STRING)
        return scs_p_CapabilityString(h, static_cast<char*>(value), maxLength, pOutLength);
      break;
    case DRVP_SCOPE_STMT: {
      _Cursor* pc = ODBC_CursorRec(h);
      if (!pc) return ER_INVALID_ARGUMENT;
      TSCCL& s = pc->st_sccl;
      // A result read into the snapshot is counted there: the driver's statement is closed.
      if (opcode == DRVP_STMT_ROW_COUNT && s.CursType != SQL_CURSOR_FORWARD_ONLY &&
          (s.Rqst.reqType == EXPR_SELECT_STATEMENT || (s.f_state & SCCL_SNAPSHOT_READ))) {
        sgn32 n = s.cRowsProcessed == SCCL_ROWS_UNCOUNTED ? s.RsltSetSize : sgn32(s.cRowsProcessed);
        if (value && maxLength >= 4) memcpy(value, &n, 4);
        if (pOutLength) *pOutLength = 4;
        return ER_SUCCESS;
      }
      break;
    }
    default:
      break;
  }
  return SCs_Inner(&g_DBI).getDrvParameter(h, opcode, value, maxLength, pOutLength);
}

errcode_t SCs_Connect(handle_t hServer, Connect* me, handle_t* phConnect) {
  _Server* s = ODBC_ServerRec(hServer);
  errcode_t rc = SCs_Inner(&g_DBI).connect(hServer, me, phConnect);
  if (rc != ER_SUCCESS) return rc;
  _Connect* c = ODBC_ConnectRec(*phConnect);
  if (!s || !c) return ER_SUCCESS;
  // A connection the engine cannot keep track of is ended, not left behind.
  auto undo = [&](errcode_t e) {
    SCs_Inner(&g_DBI).endConnect(*phConnect);
    *phConnect = 0;
    return e;
  };
  Connect* copy = CopyConnect(me);
  if (!copy) return undo(ER_NO_MEMORY);
  HTTABLE* kc = VYR_htinit(101, 16);
  CONNINFO* node = kc && !vyr_fault_alloc() ? static_cast<CONNINFO*>(calloc(1, sizeof(CONNINFO))) : nullptr;
  if (!node) {
    if (kc) VYR_htfree(kc);
    FreeConnectCopy(copy);
    return undo(ER_NO_MEMORY);
  }
  node->pConnect = copy;
  node->hConn = *phConnect;
  {
    std::lock_guard lock(scs_p_Spl2());
    CONNINFO** link = reinterpret_cast<CONNINFO**>(&s->pConnInfo);
    while (*link) link = &(*link)->pNext;
    *link = node;
  }
  c->hServer = hServer;
  c->keyCache = kc;
  return ER_SUCCESS;
}

errcode_t SCs_EndConnect(handle_t hConnect) {
  _Connect* c = ODBC_ConnectRec(hConnect);
  if (!c) return ER_INVALID_ARGUMENT;
  // Every cursor of the connection ends first, with what the engine holds for it.
  for (handle_t h : ODBC_CursorsOf(c))
    if (ODBC_CursorRec(h)) SCs_EndCursor(h);
  ConnInfoRemove(ODBC_ServerRec(c->hServer), hConnect);
  KeyCacheFree(c);
  return SCs_Inner(&g_DBI).endConnect(hConnect);
}

errcode_t SCs_Cursor(handle_t hConnect, handle_t* phCursor) {
  errcode_t rc = SCs_Inner(&g_DBI).cursor(hConnect, phCursor);
  if (rc != ER_SUCCESS) return rc;
  _Cursor* pc = ODBC_CursorRec(*phCursor);
  if (!pc) return ER_GENERAL_ERROR;
  rc = SCs_Init(&pc->st_sccl, *phCursor, hConnect, &g_DBI, pc);
  if (rc != ER_SUCCESS) {
    GetAuxCursorErrors(&pc->st_sccl);
    // The client gets no handle: nothing of the cursor may stay.
    _Connect* c = ODBC_ConnectRec(hConnect);
    if (c) AppendAuxCursorErrors(&c->pendingError, &pc->pendingError);
    SCs_Destroy(&pc->st_sccl);
    SCs_Inner(&g_DBI).endCursor(*phCursor);
    *phCursor = 0;
    return rc;
  }
  if (pc->st_sccl.bMultipleActiveStmtsEmul) {
    sgn32 type = SQL_CURSOR_STATIC;
    return SCs_Inner(&g_DBI).setDrvParameter(*phCursor, DRVP_STMT_CURSOR_TYPE, &type);
  }
  return ER_SUCCESS;
}

errcode_t SCs_EndCursor(handle_t hCursor) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) return ER_INVALID_ARGUMENT;
  SCs_Destroy(&pc->st_sccl);
  return SCs_Inner(&g_DBI).endCursor(hCursor);
}

errcode_t SCs_Bind(handle_t hCursor, uns16 nCols, Bindesc* pDesc) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) return ER_INVALID_ARGUMENT;
  TSCCL& s = pc->st_sccl;
  free(s.pParamInfo);
  s.pParamInfo = nullptr;
  s.nParamInfo = 0;
  if (nCols > 0 && pDesc) {
    s.pParamInfo = static_cast<Bindesc*>(malloc(sizeof(Bindesc) * nCols));
    if (!s.pParamInfo) return ER_NO_MEMORY;
    memcpy(s.pParamInfo, pDesc, sizeof(Bindesc) * nCols);
    s.nParamInfo = nCols;
  }
  return SCs_Inner(&g_DBI).bind(hCursor, nCols, pDesc);
}

errcode_t scs_p_KeepParameters(PSCCL me, Dataset* parameters) {
  if (me->CursType == SQL_CURSOR_FORWARD_ONLY || !parameters) return ER_SUCCESS;
  scs_p_DatasetFree(&me->parameters);
  errcode_t rc = Dataset_Copy(&me->parameters, parameters);
  if (rc != ER_SUCCESS) return rc;
  me->f_state |= SCCL_HAS_PARAMS;
  return ER_SUCCESS;
}

errcode_t SCs_Parameters(handle_t hCursor, Dataset* parameters) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) return ER_INVALID_ARGUMENT;
  errcode_t rc = scs_p_KeepParameters(&pc->st_sccl, parameters);
  if (rc != ER_SUCCESS) return rc;
  return SCs_Inner(&g_DBI).parameters(hCursor, parameters);
}

errcode_t SCs_Fetch(handle_t hCursor, uns16 DataSetSize, Dataset* pBind) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) return ER_INVALID_ARGUMENT;
  TSCCL& s = pc->st_sccl;
  errcode_t rc;
  if (s.CursType == SQL_CURSOR_STATIC && DataSetSize >= 1 && s.pSnapShot && pBind) {
    rc = ER_SUCCESS;
    // The snapshot's read closed the driver's cursor: open again means the
    // client started a new result (execute, catalog call) without closing.
    // A procedure call's result stays open behind its snapshot (for its output values).
    if ((s.f_state & SCCL_SNAPSHOT_READ) && s.ConcType != SQL_CONCUR_LOCK && (pc->flags & CURSF_OPEN) &&
        s.Rqst.reqType != EXPR_PROCCALL) {
      s.f_state = uns16(s.f_state & ~SCCL_SNAPSHOT_READ);
      SS_Close(s.pSnapShot);
    }
    if (!(s.f_state & SCCL_SNAPSHOT_READ)) {
      rc = SS_GetRsltSet(s.pSnapShot, s.pDrv, hCursor, &s.RsltSetSize);
      if (rc == ER_SUCCESS) {
        if (s.ConcType != SQL_CONCUR_LOCK) rc = SCs_Inner(s.pDrv).close(hCursor);
        s.f_state |= SCCL_SNAPSHOT_READ;
      }
    }
    if (rc == ER_SUCCESS) rc = SS_Fetch(s.pSnapShot, SS_SEQUENTIAL, DataSetSize, &pBind);
  } else {
    rc = SCs_Inner(&g_DBI).fetch(hCursor, DataSetSize, pBind);
  }
  if (rc != ER_SUCCESS) {
    GetAuxCursorErrors(&s);
    return rc;
  }
  if (pc->maxDataLen != 0 && pBind) return Dataset_Truncate(pBind, pc->maxDataLen);
  return ER_SUCCESS;
}

errcode_t SCs_Close(handle_t hCursor) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) return ER_INVALID_ARGUMENT;
  TSCCL& s = pc->st_sccl;
  s.f_state = uns16((s.f_state & ~(SCCL_THROUGH_ENGINE | SCCL_SNAPSHOT_READ)) | SCCL_CLOSED);
  // The result is discarded: its temporary files go now, not at the next execute.
  SS_Close(s.pSnapShot);
  errcode_t rc = SCs_Inner(&g_DBI).close(hCursor);
  if (rc != ER_SUCCESS) GetAuxCursorErrors(&s);
  return rc;
}
