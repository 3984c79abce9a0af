// Row versions of dynamic cursors: one record per fetched row in the data
// source's table VYRRVC (key digest, values digest, connection and cursor),
// written through a second connection opened from the client's saved connect
// request, so that they stay apart from the client's own transaction.
#pragma once

#include "backend/sccl.h"
#include "drv_ops.h"

errcode_t RVC_Init(TRVC* pRVC, DRV* pDrv, handle_t hConn, handle_t hCurs, int bNeedBind);
errcode_t RVC_Flush(TRVC* pRVC);
errcode_t RVC_Write(TRVC* pRVC, _KeySet* pKeySet, Dataset* pRowSet, uns16* rgfRowStatus);
errcode_t RVC_UpdateRows(TRVC* pRVC, const uns8* rgKeyDigests, const uns8* rgRowDigests, uns16* rgfRowStatus,
                         uns32 nRows);
errcode_t RVC_CalcChkSum(Dataset* pDS, uns32 iRow, uns8 digest[16]);
errcode_t RVC_Done(TRVC* pRVC);
void rvc_xferErrMsgs(TRVC* pRVC);
