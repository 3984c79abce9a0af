// The life cycle of the per-cursor state that every engine file calls
// (cursor_state.h): defaults, descriptions, positions, heap datasets and the
// first auxiliary cursor. Below every engine: it calls only the backend.
#include "cursors/cursor_state.h"

#include <cstdlib>

#include "cursors/inner.h"

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
