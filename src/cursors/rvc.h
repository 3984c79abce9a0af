// Row versions of dynamic cursors: one record per fetched row in the data
// source's table VYRRVC (key digest, values digest, connection and cursor),
// written through a second connection opened from the client's saved connect
// request, so that they stay apart from the client's own transaction.
//
// Called by the prepare analysis (RVC_Init, RVC_Flush), the dynamic fetch
// (RVC_Write), the positioned update (RVC_UpdateRows, RVC_CalcChkSum) and the
// end of a cursor's state (RVC_Flush, RVC_Done); the filter tells it when a
// connection or the server ends. The server's context and its links are read
// and changed only under the engine's lock of the saved connect requests.
#pragma once

#include "backend/sccl.h"
#include "drv_ops.h"

struct _Server;

// One second connection and the cursor the version statements run on.
struct RVCConn {
  handle_t hConnRVC;
  handle_t hCursRVC;
  char* pszDBName;      // the saved request's data source name (heap, may be null)
  int cUsage;           // 1 when made
  handle_t hCursOwner;  // the client's cursor whose link this is
  RVCConn* pNext;
};

// The server's row-version context (_Server.RVCCxt): made by the first link,
// freed with the last one or when the server ends.
struct _RVCCxt {
  DRV* pDrv;      // the table every version statement goes through
  int bNeedBind;  // bind parameter descriptions before executing
  RVCConn* pRVCFirstConn;
  _Server* pServer;  // the record that points here
};
typedef _RVCCxt RVCCxt_t;

// Opens the cursor's link: a second connection from the saved connect request
// of hConn (through pDrv, auto-commit on) and a cursor on it. A link the
// cursor already has is ended first. ER_GENERAL_ERROR without a saved request,
// ER_NO_MEMORY, or the failing call's code; nothing made stays behind.
errcode_t RVC_Init(TRVC* pRVC, DRV* pDrv, handle_t hConn, handle_t hCurs, int bNeedBind);
// Deletes the cursor's records. On failure the client's cursor gets the
// driver's diagnostics and ER_CHK_VYRRVC_TBL; the failure's code is returned.
// 0 when the cursor has no link.
errcode_t RVC_Flush(TRVC* pRVC);
// Compares the rowset's digests with the stored ones: statuses 0 unchanged,
// 2 updated (new version stored), added rows inserted and reported 0. Key row
// r of pKeySet->pDataset belongs to row r of pRowSet (the row values). The
// first failure is returned with the diagnostics moved to the client's cursor.
errcode_t RVC_Write(TRVC* pRVC, _KeySet* pKeySet, Dataset* pRowSet, uns16* rgfRowStatus);
// Stores the row digests of the rows with status 2 (16 bytes a row in both
// arrays); a row that fails or updates nothing gets status 5 and the others go
// on. Returns the prepare's failure, else the last such row's result.
errcode_t RVC_UpdateRows(TRVC* pRVC, const uns8* rgKeyDigests, const uns8* rgRowDigests, uns16* rgfRowStatus,
                         uns32 nRows);
// MD5 of the row's non-long cells laid one after another in a zeroed buffer as
// long as their widths. ER_NO_MEMORY, or ER_GENERAL_ERROR for a bad row.
errcode_t RVC_CalcChkSum(Dataset* pDS, uns32 iRow, uns8 digest[16]);
// Ends the link: its cursor and connection go when its use count reaches 0.
errcode_t RVC_Done(TRVC* pRVC);
// Moves the link's cursor and connection diagnostics onto the client's cursor.
void rvc_xferErrMsgs(TRVC* pRVC);

// The 16 bytes as 32 upper-case hexadecimal digits and a NUL.
void Binary2Char(const uns8 bin[16], char text[33]);

// The filter's notices: a connection of the server ended (a link whose second
// connection it was is dropped and its cursor's state forgets it), the server
// ends (every link left is freed; the connections are gone already).
void RVC_ConnectionEnded(_Server* pServer, handle_t hConn);
void RVC_ServerDone(_Server* pServer);
