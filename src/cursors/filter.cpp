// The cursor engine's filter in front of the backend (cursors.h): the engine's
// operation table, the per-cursor state and its lifecycle, the saved connect
// requests, the information answers the engine needs and its capability string.
#include "cursors/cursors.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "cursors/analysis.h"
#include "cursors/bulk.h"
#include "cursors/fetch_engines.h"
#include "cursors/inner.h"
#include "cursors/keyset.h"
#include "cursors/rvc.h"
#include "cursors/setpos.h"
#include "cursors/slices.h"
#include "cursors/snapshot.h"
#include "cursors/statement.h"
#include "model/dataset_util.h"
#include "model/drv_param_codes.h"
#include "util/fault.h"
#include "util/hashtab.h"
#include "util/log.h"

namespace {

drv_ops nw_ops;
DRV g_DBI;
// Around the saved connect requests and row-version connections. Recursive: a
// row-version link connects and ends connections through an operation table
// while it holds the lock, and those calls come back to the saved requests.
std::recursive_mutex scrs_spl2;

// Heap copy of a string that may be null; false only when memory fails.
bool DupString(String* to, const char* from) {
  *to = nullptr;
  if (!from) return true;
  if (vyr_fault_alloc()) return false;
  *to = strdup(from);
  return *to != nullptr;
}

void FreeConnectCopy(Connect* c) {
  if (!c) return;
  for (String* s : {&c->svHost, &c->svOptions, &c->dbType, &c->dbPath, &c->dbName, &c->dbOptions,
                    &c->userName, &c->password, &c->protocol})
    free(*s);
  free(c);
}

Connect* CopyConnect(const Connect* me) {
  Connect* c = vyr_fault_alloc() ? nullptr : static_cast<Connect*>(calloc(1, sizeof(Connect)));
  if (!c) return nullptr;
  bool ok = DupString(&c->svHost, me->svHost) && DupString(&c->svOptions, me->svOptions) &&
            DupString(&c->dbType, me->dbType) && DupString(&c->dbPath, me->dbPath) &&
            DupString(&c->dbName, me->dbName) && DupString(&c->dbOptions, me->dbOptions) &&
            DupString(&c->userName, me->userName) && DupString(&c->password, me->password) &&
            DupString(&c->protocol, me->protocol);
  if (!ok) {
    FreeConnectCopy(c);
    return nullptr;
  }
  c->readOnly = me->readOnly;
  c->loginTimeout = me->loginTimeout;
  return c;
}

// Unlinks and frees the saved request of hConn, wherever it stands in the list.
void ConnInfoRemove(_Server* s, handle_t hConn) {
  if (!s) return;
  std::lock_guard lock(scrs_spl2);
  CONNINFO** link = reinterpret_cast<CONNINFO**>(&s->pConnInfo);
  while (*link) {
    CONNINFO* n = *link;
    if (n->hConn == hConn) {
      *link = n->pNext;
      FreeConnectCopy(n->pConnect);
      free(n);
      return;
    }
    link = &n->pNext;
  }
}

void KeyCacheFree(_Connect* c) {
  HTTABLE* kc = static_cast<HTTABLE*>(c->keyCache);
  if (!kc) return;
  VYR_htmap(kc, DestroyKeyCache, nullptr);
  VYR_htfree(kc);
  c->keyCache = nullptr;
}

// What the engine keeps for a connection, released whichever way it ends.
void ConnectDone(_Connect* c) {
  _Server* s = c->pServ ? c->pServ : ODBC_ServerRec(c->hServer);
  ConnInfoRemove(s, c->hConnect);
  if (s) RVC_ConnectionEnded(s, c->hConnect);
  KeyCacheFree(c);
}

void ServerDone(_Server* s) { RVC_ServerDone(s); }

void CursorDone(_Cursor* pc) { SCs_Destroy(&pc->st_sccl); }

// The backend's column attributes: the engine answers from its analysis.
errcode_t ColGetInfoHook(_Cursor* pc, uns16 iCol, ColAttrib* pAttribs, int nAttribs) {
  if (!pc || nAttribs < 0 || nAttribs > 0xFFFF) return ER_SUCCESS;
  return scs_p_ColGetInfo(&pc->st_sccl, iCol, nullptr, 0, uns16(pc->nColdesc + 1), uns16(nAttribs), pAttribs);
}

errcode_t GetInfoHook(PSCCL pState, int infoType, sgn32* pValue) {
  DRV* d = pState->pDrv ? pState->pDrv : &g_DBI;
  SWORD len = 0;
  return SC_GetInfo(d, pState->hConnect, UWORD(infoType), pValue, 4, &len);
}

// A 4-byte integer answer of the backend; false when it is not answered.
bool AskInt(DRV* d, handle_t h, uns32 code, sgn32* pValue) {
  sgn32 v = 0;
  uns16 len = 0;
  if (SCs_Inner(d).getDrvParameter(h, code, &v, 4, &len) != ER_SUCCESS) return false;
  *pValue = v;
  return true;
}

char* HeapText(const char* s) { return vyr_fault_alloc() ? nullptr : strdup(s); }

bool IsIntInfo(UWORD t) {
  static const UWORD ints[] = {8, 26, 28, 43, 44, 72, 78, 79, 80, 82, 83, 93, 99};
  for (UWORD i : ints)
    if (i == t) return true;
  return false;
}

bool IsTextInfo(UWORD t) { return t == 11 || t == 17 || t == 29 || t == 47; }

// The handles of the live engine cursors of a connection.
std::vector<handle_t> CursorsOf(_Connect* c) {
  std::vector<handle_t> out;
  for (uns16 i = 0; i < crsHandles.numAllocated && crsHandles.handleArray; i++) {
    HandleItem& it = crsHandles.handleArray[i];
    if (!it.version) continue;
    if (static_cast<_Cursor*>(it.datum)->pConnect == c) out.push_back((crsHandles.magicToCheck << 16) | i);
  }
  return out;
}

}  // namespace

DRV* SCs_InnerDRV() { return &g_DBI; }

std::recursive_mutex& scs_p_Spl2() { return scrs_spl2; }
drv_ops* SCs_EngineOps() { return &nw_ops; }

int SCs_InitDRV(DRV* pDrv) {
  if (!pDrv || !pDrv->ops) return 1;
  if (!g_DBI.ops) {
    nw_ops = *pDrv->ops;
    g_DBI.drvFlags = pDrv->drvFlags;
    g_DBI.ops = pDrv->ops;
    nw_ops.getDrvParameter = SCs_GetDrvParameter;
    nw_ops.connect = SCs_Connect;
    nw_ops.endConnect = SCs_EndConnect;
    nw_ops.cursor = SCs_Cursor;
    nw_ops.endCursor = SCs_EndCursor;
    nw_ops.parameters = SCs_Parameters;
    nw_ops.bind = SCs_Bind;
    nw_ops.fetch = SCs_Fetch;
    nw_ops.close = SCs_Close;
    scs_StatementOpsInstall(&nw_ops);
    scs_FetchOpsInstall(&nw_ops);
    scs_SetPosOpsInstall(&nw_ops);
    scs_p_SetPosComplete_hook = scs_p_SetPosComplete;
    scs_BulkOpsInstall(&nw_ops);
    SC_GetInfo_hook = GetInfoHook;
    scs_p_ColGetInfo_hook = ColGetInfoHook;
    scs_CursorDone_hook = CursorDone;
    scs_ConnectDone_hook = ConnectDone;
    scs_ServerDone_hook = ServerDone;
  }
  pDrv->ops = &nw_ops;
  return 0;
}

void SCs_UninstallDRV() {
  g_DBI = DRV{};
  nw_ops = drv_ops{};
  SC_GetInfo_hook = nullptr;
  scs_p_ColGetInfo_hook = nullptr;
  scs_p_SetPosComplete_hook = nullptr;
  scs_CursorDone_hook = nullptr;
  scs_ConnectDone_hook = nullptr;
  scs_ServerDone_hook = nullptr;
}

int sc_Init(PSCCL me, handle_t hCursor, handle_t hConnect, DRV* pDrv, void* pParent) {
  me->RSSize = 1;
  me->KSSize = SCCL_KEYSET_WHOLE;
  me->RsltSetSize = SCCL_RSLT_SIZE_UNKNOWN;
  me->CursType = SQL_CURSOR_FORWARD_ONLY;
  me->ConcType = SQL_CONCUR_READ_ONLY;
  me->SimulatCurs = 0;
  me->bUseBookMarks = 0;
  me->bUseRVC = 0;
  me->bRetrieveData = 1;
  me->bParsFwdOnlyReq = 0;
  me->bSelectAppendKeys = 0;
  me->fOptConcValExtent = SCCL_OCV_TABLE_COLS;
  me->hCursor = hCursor;
  me->hConnect = hConnect;
  me->Position = 0;
  me->RSPosition = 0;
  me->pDrv = pDrv;
  me->pParent = pParent;
  return 0;
}

errcode_t SCs_Init(PSCCL me, handle_t hCursor, handle_t hConnect, DRV* pDrv, void* pParent) {
  // Only the switches the backend set when it made the cursor survive.
  const int multi = me->bMultipleActiveStmtsEmul, deferLong = me->bDeferLongData;
  *me = TSCCL{};
  me->bMultipleActiveStmtsEmul = multi;
  me->bDeferLongData = deferLong;
  sc_Init(me, hCursor, hConnect, pDrv, pParent);
  me->KSPosition = KSP_INVALID;
  me->idIdentCase = SQL_IC_UPPER;
  me->idQIdentCase = SQL_IC_MIXED;
  me->cMaxParams = 255;
  me->cRowsProcessed = SCCL_ROWS_UNCOUNTED;
  SCR_Init(&me->Rqst);
  SCR_Init(&me->RqstAux);
  SCR_Init(&me->RqstAux2);
  DSC_Init(&me->OCVC);
  me->pDeferredData = vyr_fault_alloc() ? nullptr : static_cast<Dataset*>(calloc(1, sizeof(Dataset)));
  if (!me->pDeferredData) return ER_NO_MEMORY;

  sgn32 v = 0;
  if (AskInt(pDrv, hConnect, DRVP_CONN_PARAM_OP, &v) && v) me->bHasParamOp = 1;
  if (AskInt(pDrv, hConnect, DRVP_CONN_NEED_BIND, &v) && v) me->bNeedBind = 1;
  if (AskInt(pDrv, hConnect, DRVP_CONN_LOCK_BY_UPDATE, &v) && v) me->bLockByUpdate = 1;
  if (AskInt(pDrv, hConnect, DRVP_CONN_ROW_VERSIONS, &v) && v) me->bUseRVC = 1;
  if (AskInt(pDrv, hConnect, DRVP_CONN_MAX_PARAMS, &v)) me->cMaxParams = v;
  if (AskInt(pDrv, hConnect, DRVP_CONN_UNICODE, &v)) me->unicode = v;

  SWORD len = 0;
  char q[2] = {0, 0};
  if (SC_GetInfo(pDrv, hConnect, SQL_IDENTIFIER_QUOTE_CHAR, q, 2, &len) == ER_SUCCESS)
    me->idQuoteChar = q[0] == ' ' ? 0 : q[0];
  sgn32 icase = 0;
  if (SC_GetInfo(pDrv, hConnect, SQL_IDENTIFIER_CASE, &icase, 4, &len) == ER_SUCCESS) me->idIdentCase = icase;
  if (SC_GetInfo(pDrv, hConnect, SQL_QUOTED_IDENTIFIER_CASE, &icase, 4, &len) == ER_SUCCESS)
    me->idQIdentCase = icase;
  char text[509];
  if (SC_GetInfo(pDrv, hConnect, SQL_USER_NAME, text, sizeof text, &len) == ER_SUCCESS &&
      !(me->pszUserName = HeapText(text)))
    return ER_NO_MEMORY;
  if (SC_GetInfo(pDrv, hConnect, SQL_DBMS_NAME, text, sizeof text, &len) == ER_SUCCESS &&
      !(me->pszDbmsName = HeapText(text)))
    return ER_NO_MEMORY;
  sgn32 maxOrder = 0;
  if (SC_GetInfo(pDrv, hConnect, SQL_MAX_COLUMNS_IN_ORDER_BY, &maxOrder, 4, &len) == ER_SUCCESS)
    me->maxOrderBy = uns16(maxOrder);
  // Where NULLs sort, for the seek clauses of later scrolling.
  sgn16 nullColl = 0;
  if (SC_GetInfo(pDrv, hConnect, SQL_NULL_COLLATION, &nullColl, 2, &len) == ER_SUCCESS)
    me->fNullCollation = nullColl;
  me->fNullCollation = scs_p_NullCollation(me->pszDbmsName, me->fNullCollation);
  errcode_t rc = KS_Create(&me->pKeySet);
  if (rc != ER_SUCCESS) return rc;
  return SS_Create(&me->pSnapShot);
}

void SCs_Destroy(PSCCL me) {
  if (!me || !me->pDrv) return;
  DRV* d = me->pDrv;
  KS_Destroy(&me->pKeySet);
  SS_Destroy(&me->pSnapShot);
  alist_Dealloc(&me->pLS_RefdTables, TableDescDestroy);
  alist_Dealloc(&me->pLS_TblCols, SCColDescDestroy);
  alist_Dealloc(&me->pLS_OrdrCols, nullptr);
  alist_Dealloc(&me->pLS_SelectCols, SCColDescDestroy);
  for (Dataset** ds : {&me->parameters, &me->pDSOptConcColVals, &me->pDSKeyBoundaryVals, &me->pDeferredData})
    scs_p_DatasetFree(ds);
  DSC_Close(&me->OCVC);
  scs_p_SetPosRelease(me);
  free(me->pszSQL);
  me->pszSQL = nullptr;
  SCR_Destroy(&me->Rqst);
  SCR_Destroy(&me->RqstAux);
  SCR_Destroy(&me->RqstAux2);
  // Marked done before the auxiliary cursors end: their end calls come back here.
  me->pDrv = nullptr;
  if (me->hSCCurs) SCs_Inner(d).endCursor(me->hSCCurs);
  // A row-version link goes with its cursor, whatever the cursor's type became.
  if (me->RVC.pParent) {
    RVC_Flush(&me->RVC);
    RVC_Done(&me->RVC);
  }
  if (me->hSCCurs2) SCs_Inner(d).endCursor(me->hSCCurs2);
  me->hSCCurs = me->hSCCurs2 = 0;
  SC_DescsFree(me);
  free(me->pszUserName);
  free(me->pszDbmsName);
  me->pszUserName = me->pszDbmsName = nullptr;
}

void SC_DescsFree(PSCCL me) {
  FreeColdesc(me->pColDesc, me->nColDesc);
  me->pColDesc = nullptr;
  me->nColDesc = 0;
  free(me->pBindDesc);
  me->pBindDesc = nullptr;
  me->nBindDesc = 0;
  free(me->pParamInfo);
  me->pParamInfo = nullptr;
  me->nParamInfo = 0;
}

void SC_Reset(PSCCL me) {
  me->RsltSetSize = SCCL_RSLT_SIZE_UNKNOWN;
  me->RSPosition = 0;
  me->Position = 0;
}

errcode_t SC_RowPositionSet(PSCCL me, sgn32 irow) {
  if (irow == 0 || irow == RSP_AFTER_END) {
    me->RSPosition = me->Position = irow;
    return ER_SUCCESS;
  }
  if (irow == RSP_AT_START) {
    me->Position = irow;
    return ER_SUCCESS;
  }
  if (irow < 0) return ER_INVALID_ROW_VALUE;
  if (me->RsltSetSize != SCCL_RSLT_SIZE_UNKNOWN && irow > me->RsltSetSize) return ER_INVALID_ROW_VALUE;
  me->Position = irow;
  return ER_SUCCESS;
}

errcode_t SC_GetInfo(DRV* pDrv, handle_t hConnect, UWORD fInfoType, void* rgbInfoValue, SWORD cbInfoValueMax,
                     SWORD* pcbInfoValue) {
  if (!pDrv || !pDrv->ops) return ER_GENERAL_ERROR;
  SWORD dummy = 0;
  if (!pcbInfoValue) pcbInfoValue = &dummy;
  const bool shortInt = fInfoType == SQL_NULL_COLLATION;
  if (IsIntInfo(fInfoType) || shortInt) {
    sgn32 v = 0;
    uns16 len = 0;
    errcode_t rc = SCs_Inner(pDrv).getDrvParameter(hConnect, DRVP_CONN_INFO_INT + fInfoType, &v, 4, &len);
    if (rc != ER_SUCCESS) return rc;
    const SWORD width = shortInt ? 2 : 4;
    if (cbInfoValueMax < width) return ER_INVALID_ARGUMENT;
    if (rgbInfoValue) {
      if (shortInt) {
        uns16 s = uns16(v);
        memcpy(rgbInfoValue, &s, 2);
      } else {
        memcpy(rgbInfoValue, &v, 4);
      }
    }
    *pcbInfoValue = width;
    return ER_SUCCESS;
  }
  if (IsTextInfo(fInfoType)) {
    char text[256] = {0};
    uns16 len = 0;
    errcode_t rc =
        SCs_Inner(pDrv).getDrvParameter(hConnect, DRVP_CONN_INFO_TEXT + fInfoType, text, sizeof text, &len);
    if (rc != ER_SUCCESS) return rc;
    text[sizeof text - 1] = 0;
    size_t n = strlen(text);
    *pcbInfoValue = SWORD(n);
    if (cbInfoValueMax > 0 && size_t(cbInfoValueMax) > n) {
      if (rgbInfoValue) memcpy(rgbInfoValue, text, n + 1);
      return ER_SUCCESS;
    }
    // Cut to the buffer with room for the terminator; the full length is told.
    if (rgbInfoValue && cbInfoValueMax > 0) {
      memcpy(rgbInfoValue, text, size_t(cbInfoValueMax) - 1);
      static_cast<char*>(rgbInfoValue)[cbInfoValueMax - 1] = 0;
    }
    return ER_DATA_TRUNCATED;
  }
  return ER_INVALID_OPTION;
}

errcode_t scs_p_CapabilityString(handle_t hConnect, char* buf, uns16 size, uns16* pLen) {
  DRV* d = &g_DBI;
  sgn32 three = 3;
  SCs_Inner(d).setDrvParameter(hConnect, DRVP_CONN_FEATURE_0C, &three);
  int dg[13] = {0};
  sgn32 w = 0, v = 0;
  const bool haveWord = AskInt(d, hConnect, DRVP_CONN_CAPABILITIES, &w);
  if (haveWord) {
    dg[1] = (w >> 3) & 1;
    dg[2] = (w >> 7) & 1;
    dg[3] = (w >> 2) & 1;
    dg[4] = (w >> 4) & 1;
    dg[5] = (w >> 6) & 1;
    dg[10] = (w >> 10) & 1;
    dg[11] = (w >> 13) & 1;
    dg[12] = (w >> 14) & 1;
  } else {
    const uns32 codes[5] = {DRVP_CONN_FEATURE_06, DRVP_CONN_FEATURE_0E, DRVP_CONN_PARAM_OP, DRVP_CONN_XFETCH2,
                            DRVP_CONN_FEATURE_05};
    for (int i = 0; i < 5; i++) dg[i + 1] = AskInt(d, hConnect, codes[i], &v) && v ? 1 : 0;
  }
  dg[6] = 1;
  dg[7] = AskInt(d, hConnect, DRVP_CONN_INFO_INT + SQL_CURSOR_COMMIT_BEHAVIOR, &v) ? v : 0;
  dg[8] = AskInt(d, hConnect, DRVP_CONN_FEATURE_14, &v) && v ? 1 : 0;
  dg[9] = AskInt(d, hConnect, DRVP_CONN_FEATURE_15, &v) && v ? 1 : 0;
  char text[64];
  snprintf(text, sizeof text, "%03d.%03d:%d%d%d%d%d%d%d%d%d%d%d%d", 1, 5, dg[1], dg[2], dg[3], dg[4], dg[5],
           dg[6], dg[7], dg[8], dg[9], dg[10], dg[11], dg[12]);
  StrCopyOut(text, reinterpret_cast<uns8*>(buf), size, pLen);
  return ER_SUCCESS;
}

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
    std::lock_guard lock(scrs_spl2);
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
  for (handle_t h : CursorsOf(c))
    if (ODBC_CursorRec(h)) SCs_EndCursor(h);
  ConnInfoRemove(ODBC_ServerRec(c->hServer), hConnect);
  KeyCacheFree(c);
  return SCs_Inner(&g_DBI).endConnect(hConnect);
}

CONNINFO* SCs_ConnInfoFind(_Server* pServ, handle_t hConn) {
  if (!pServ) return nullptr;
  std::lock_guard lock(scrs_spl2);
  for (CONNINFO* n = static_cast<CONNINFO*>(pServ->pConnInfo); n; n = n->pNext)
    if (n->hConn == hConn) return n;
  return nullptr;
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
    if (rc == ER_SUCCESS) rc = SS_Fetch(s.pSnapShot, -1, DataSetSize, &pBind);
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

void scs_p_DatasetFree(Dataset** pp) {
  if (!pp || !*pp) return;
  Dataset_Done(*pp);
  free(*pp);
  *pp = nullptr;
}

errcode_t scs_p_AuxCursorOpen(PSCCL me) {
  if (!me || !me->pDrv) return ER_GENERAL_ERROR;
  if (me->hSCCurs && ODBC_CursorRec(me->hSCCurs)) return ER_SUCCESS;
  return SCs_Inner(me->pDrv).cursor(me->hConnect, &me->hSCCurs);
}

void StackErrorMsgs(handle_t hCursor, int bQueue) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (pc) pc->pendingError.bNoFlush = bQueue;
}

void AppendAuxCursorErrors(ErrorQ* pErrQCurs, ErrorQ* pErrQAuxCurs) {
  if (!pErrQCurs || !pErrQAuxCurs) return;
  ErrorMsg* m = pErrQAuxCurs->pFirstMsg;
  pErrQAuxCurs->pFirstMsg = nullptr;
  while (m) {
    ErrorMsg* next = m->pNextMsg;
    QErrorMsg(pErrQCurs, m);
    m = next;
  }
}

void GetAuxCursorErrors(PSCCL me) {
  if (!me || !me->pParent) return;
  _Cursor* parent = static_cast<_Cursor*>(me->pParent);
  for (handle_t h : {me->hSCCurs, me->hSCCurs2}) {
    _Cursor* aux = h ? ODBC_CursorRec(h) : nullptr;
    if (aux) AppendAuxCursorErrors(&parent->pendingError, &aux->pendingError);
  }
}

void PatchErrorMsgQ(ErrorQ* q) {
  if (!q || !q->pFirstMsg) return;
  ErrorMsg** link = &q->pFirstMsg;
  while ((*link)->pNextMsg) link = &(*link)->pNextMsg;
  ErrorMsg* last = *link;
  if (last->szSQLSTATE && strcmp(last->szSQLSTATE, "01S01") == 0) {
    *link = nullptr;
    free(last->szSQLSTATE);
    free(last);
  }
}

int DestroyKeyCache(void* data, void* /*key*/, void* /*arg*/) {
  alist_t* list = static_cast<alist_t*>(data);
  alist_Dealloc(&list, SCColDescDestroy);
  return 0;
}
