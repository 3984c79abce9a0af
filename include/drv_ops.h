/*
 * drv_ops.h - the driver-operation table of the agent.
 *
 * Every RPC procedure of the agent is one database operation reached through
 * this table of 66 operations. The ODBC backend fills one table (odbc_ops); the
 * scrollable cursor engine puts itself in front by copying it and replacing the
 * operations it handles. The service procedures call the process's active
 * table, drv.ops, at the time of each call; an empty slot is an operation no
 * layer offers.
 */
#pragma once

#include "model/reply_records.h"

struct drv_ops {
  errcode_t (*getDrvParameter)(handle_t h, uns32 opcode, void* buf, uns16 size, uns16* pLen);
  errcode_t (*setDrvParameter)(handle_t h, uns32 opcode, void* value);
  errcode_t (*errInfo)(handle_t h, ErrInfo* pInfo);
  errcode_t (*server)(Server* pServer, handle_t* phServer);
  errcode_t (*endServer)(handle_t h);
  errcode_t (*connect)(handle_t hServer, Connect* pConnect, handle_t* phConnect);
  errcode_t (*endConnect)(handle_t h);
  errcode_t (*cursor)(handle_t hConnect, handle_t* phCursor);
  errcode_t (*endCursor)(handle_t h);
  errcode_t (*getCursorName)(handle_t h, char* buf, uns16 size, uns16* pLen);
  errcode_t (*setCursorName)(handle_t h, char* name);
  errcode_t (*prepare)(handle_t h, char* sql);
  errcode_t (*parameters)(handle_t h, Dataset* pDS);
  errcode_t (*execute)(handle_t h);
  errcode_t (*executeN)(handle_t h, uns16 offset, uns16 count, uns16* pCount);
  errcode_t (*describeColumns)(handle_t h, uns16* pCount, Coldesc** ppDesc);
  errcode_t (*describeParams)(handle_t h, uns16* pCount, Coldesc** ppDesc);
  errcode_t (*nativeSQL)(handle_t hConnect, char* sql, char* buf, uns16 size, uns16* pLen);
  errcode_t (*bind)(handle_t h, uns16 count, Bindesc* pDesc);
  errcode_t (*fetch)(handle_t h, uns16 maxRows, Dataset* pDS);
  errcode_t (*close)(handle_t h);
  errcode_t (*commit)(handle_t hConnect);
  errcode_t (*rollback)(handle_t hConnect);
  errcode_t (*getOpTable)(handle_t hConnect, OpTable* pTable);
  errcode_t (*moreResults)(handle_t h);
  errcode_t (*ddColumnPrivileges)(handle_t h, DDColumnPrivileges* a);
  errcode_t (*ddColumns)(handle_t h, DDColumns* a);
  errcode_t (*ddForeignKeys)(handle_t h, DDForeignKeys* a);
  errcode_t (*ddPrimaryKeys)(handle_t h, DDPrimaryKeys* a);
  errcode_t (*ddProcedureColumns)(handle_t h, DDProcedureColumns* a);
  errcode_t (*ddProcedures)(handle_t h, DDProcedures* a);
  errcode_t (*ddSpecialColumns)(handle_t h, DDSpecialColumns* a);
  errcode_t (*ddStatistics)(handle_t h, DDStatistics* a);
  errcode_t (*ddTablePrivileges)(handle_t h, DDTablePrivileges* a);
  errcode_t (*ddTables)(handle_t h, DDTables* a);
  errcode_t (*ddTypeInfo)(handle_t h, sgn16 sqlType);
  errcode_t (*xFetch)(handle_t h, PRSET* ppRowSet, sgn32 irow, uns32* pRows, sgn32* pRsltSetSize);
  errcode_t (*setPos)(handle_t h, sgn32 irow, uns16 fOption, uns16 fLock, uns16** prgfRowStatus,
                      uns32* pnRowStatus, Dataset* pDS, uns16* rgiCol, uns16 cCols);
  errcode_t (*paramData)(handle_t h, sgn32* piCol, sgn32* piRow, uns16** prgfRowStatus, uns32* pnRowStatus);
  errcode_t (*putData)(handle_t h, ctype_t cType, indicator_t ind, char* data, precision_t len);
  errcode_t (*getData)(handle_t h, sgn32 iCol, sgn32 iRow, precision_t cbWanted, char** ppData,
                       precision_t* pcbData, ctype_t* pCType, sgn32* pcbRemain);
  errcode_t (*xFetch2)(handle_t h, PRSET* ppRowSet, sgn32 irow, uns32* pRows, sgn32* pRsltSetSize,
                       sgn32 fetchType);
  errcode_t (*bulkOperations)(handle_t h, uns16 fOperation, bookmark_t* rBookMarks, uns16 cRows, Dataset* pDS,
                              uns16* rgiCol, uns16 cCols, uns16** prgfRowStatus, uns16* pcRowsAffected,
                              PRSET* ppRowSet);
  errcode_t (*execute2)(handle_t h, char* sql, Dataset* pDS, uns16 count, Bindesc* pDesc);
  errcode_t (*executeJ)(handle_t h, char* sql, Dataset* pDS, uns16 count, Bindesc* pDesc, sgn32* pRowSetSize,
                        uns16* pnCols, Coldesc** ppColDesc, uns16* pnPars, Coldesc** ppParDesc,
                        sgn32* pRowsProcessed);
  errcode_t (*prepareJ)(handle_t hConnect, char* sql, sgn32 concurrency, sgn32 cursType, handle_t* phCursor);
  errcode_t (*fetchprocJ)(handle_t h, uns16* pnCols, Coldesc** ppDesc, Dataset* pDS);
  errcode_t (*xFetch2J)(handle_t h, PRSET* ppRowSet, sgn32 irow, uns32* pRows, sgn32* pRsltSetSize,
                        sgn32 fetchType);
  errcode_t (*getDataJ)(handle_t h, sgn32 iCol, sgn32 iRow, precision_t cbWanted, char** ppData,
                        precision_t* pcbData, ctype_t* pCType, sgn32* pcbRemain);
  errcode_t (*executeBatchJ)(handle_t h, uns16 count, Batch* calls, uns16* pnResults, sgn32** prResults);
  errcode_t (*savepointJ)(handle_t hConnect, savePntCmd_t cmd, char* name);
  errcode_t (*colAttributes)(handle_t h, uns16* pnCols, uns16* pnAttribs, Coldesc** ppDesc,
                             ColAttrib** ppAttrib);
  errcode_t (*executeJ2)(handle_t h, char* sql, Dataset* pDS, uns16 count, Bindesc* pDesc, sgn32* pRowSetSize,
                         uns16* pnCols, Coldesc** ppColDesc, uns16* pnPars, Coldesc** ppParDesc,
                         uns16* pnAttribs, ColAttrib** ppAttrib, sgn32* pRowsProcessed);
  errcode_t (*cancel)(handle_t h);
  errcode_t (*execute2X)(handle_t h, char* sql, Dataset* pDS, uns16 count, BindescX* pDesc);
  sgn32 (*xaClose)(handle_t h, char* xaInfo, sgn32 rmId, sgn32 flags);
  sgn32 (*xaCommit)(handle_t h, XID_t* xid, sgn32 rmId, sgn32 flags);
  sgn32 (*xaComplete)(handle_t h, sgn32* handles, sgn32* pRetVal, sgn32 rmId, sgn32 flags);
  sgn32 (*xaEnd)(handle_t h, XID_t* xid, sgn32 rmId, sgn32 flags);
  sgn32 (*xaForget)(handle_t h, XID_t* xid, sgn32 rmId, sgn32 flags);
  sgn32 (*xaOpen)(handle_t h, int bUseProxying, char* xaInfo, sgn32 rmId, sgn32 flags);
  sgn32 (*xaPrepare)(handle_t h, XID_t* xid, sgn32 rmId, sgn32 flags);
  sgn32 (*xaRecover)(handle_t h, XID_t* xids, sgn32 count, sgn32 rmId, sgn32 flags);
  sgn32 (*xaRollback)(handle_t h, XID_t* xid, sgn32 rmId, sgn32 flags);
  sgn32 (*xaStart)(handle_t h, XID_t* xid, sgn32 rmId, sgn32 flags);
  errcode_t (*bindX)(handle_t h, uns16 count, BindescX* pDesc);
};

/* Asks for one thread per TCP connection. */
#define DRV_FLAG_THREADING 0x2

/* A driver record: flags (DRV_FLAG_*) and the operation table. */
struct DRV {
  int drvFlags;
  drv_ops* ops;
};

/* The process's active driver record. */
extern DRV drv;

/* Builds the active table at start-up: the backend's, with the cursor engine in
 * front once it is built. 0 on success. */
int DRV_Init(DRV* pDrv);
