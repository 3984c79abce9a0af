// Row versions (rvc.h).
#include "cursors/rvc.h"

errcode_t RVC_Init(TRVC*, DRV*, handle_t, handle_t, int) { return ER_DRV_NOT_CAPABLE; }
errcode_t RVC_Flush(TRVC*) { return ER_SUCCESS; }
errcode_t RVC_Write(TRVC*, _KeySet*, Dataset*, uns16*) { return ER_SUCCESS; }
errcode_t RVC_UpdateRows(TRVC*, const uns8*, const uns8*, uns16*, uns32) { return ER_SUCCESS; }
errcode_t RVC_CalcChkSum(Dataset*, uns32, uns8*) { return ER_GENERAL_ERROR; }
errcode_t RVC_Done(TRVC*) { return ER_SUCCESS; }
void rvc_xferErrMsgs(TRVC*) {}
