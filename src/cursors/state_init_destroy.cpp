// Making and ending a cursor's whole engine state (state_init_destroy.h): the
// answers of the data source it keeps, its keyset and snapshot, and at the end
// everything the engines hung on it (auxiliary cursors, row versions, caches).
// Called by the filter's cursor slots and the backend's cursor-done hook.
#include "cursors/state_init_destroy.h"

#include <cstdlib>
#include <cstring>

#include "cursors/analysis.h"
#include "cursors/cursor_state.h"
#include "cursors/data_source_info.h"
#include "cursors/inner.h"
#include "cursors/keyset.h"
#include "cursors/rvc.h"
#include "cursors/setpos.h"
#include "cursors/slices.h"
#include "cursors/snapshot.h"
#include "model/dataset_util.h"
#include "model/drv_param_codes.h"
#include "util/fault.h"

namespace {

char* HeapText(const char* s) { return vyr_fault_alloc() ? nullptr : strdup(s); }

}  // namespace

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
