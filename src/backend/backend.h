// The ODBC backend: the records behind the client's server, connection and
// cursor handles and the operations of the backend's driver-operation table.
// Every data-source call goes through our driver manager's ODBC 2 API (wide
// entry points on a Unicode connection). Called through the operation table by
// the service procedures, and directly by the cursor engine.
#pragma once

#include <map>

#include "backend/errors.h"
#include "backend/sccl.h"
#include "drv_ops.h"
#include "sql.h"
#include "sqlext.h"
#include "model/dataset.h"
#include "model/handle_table.h"
#include "model/colattr.h"
#include "model/records.h"
#include "model/reply_records.h"

// Statement state bits of _Cursor.flags.
enum {
  CURSF_PREPARED = 0x1,
  CURSF_EXECUTED = 0x2,
  CURSF_NO_MORE = 0x4,
  CURSF_OPEN = 0x8,
  CURSF_REBIND = 0x10,
  CURSF_DESCRIBED = 0x20,
  CURSF_CATALOG = 0x40,
  CURSF_OUTPARAMS = 0x80,
  CURSF_OUTPARAMS_SENT = 0x100,
  CURSF_NEW_RESULT = 0x200,
};

// Capability entries of _Caps.cap.
enum {
  CAP_EXTENDEDFETCH = 0,
  CAP_DESCRIBEPARAM = 1,
  CAP_STATISTICS = 3,
  CAP_PRIMARYKEYS = 4,
  CAP_FOREIGNKEYS = 5,
  CAP_TABLEPRIVILEGES = 6,
  CAP_COLUMNPRIVILEGES = 7,
  CAP_SPECIALCOLUMNS = 8,
  CAP_PROCEDURES = 9,
  CAP_PROCEDURECOLUMNS = 10,
  CAP_OWNER_USAGE = 11,
  CAP_MAX_VARCHAR = 12,
  CAP_MAX_VARBINARY = 13,
  CAP_PARAMOPTIONS = 14,
  CAP_PARAM_BATCH = 15,
  CAP_MAX_WVARCHAR = 16,
  CAP_NUMPARAMS = 17,
  CAP_COUNT = 18,
};

struct _Caps {
  int cap[CAP_COUNT];
};

struct _SessFlags {
  int f_useRVC;
  int f_noautocommit;
  uns32 f_maxrows;
  int f_norowsetsizelimit;
  char* f_initSQL;
  int f_extendedFetch;
  int f_jetfix;
  char* f_SqlDbmsName;
};

// One row of the type-information cache: TYPE_NAME, LITERAL_PREFIX and
// LITERAL_SUFFIX of the driver's first row for an SQL type.
struct TypeInfoEntry {
  char typeName[64];
  char literalPrefix[8];
  char literalSuffix[8];
};
using TypeInfoCache = std::map<sgn16, TypeInfoEntry>;

struct _Server {
  void* pConnInfo;  // the cursor engine's saved connect requests
  void* RVCCxt;     // the cursor engine's row-version context
  ErrorQ pendingError;
  int numConn;
};

struct _Connect {
  ErrorQ pendingError;  // first: a connection serves where a queue is expected
  handle_t hServer;
  void* keyCache;
  void* hXacl;
  _Server* pServ;
  handle_t hConnect;
  SQLHENV hEnv;
  SQLHDBC hDbc;
  int readOnly;
  int effReadOnly;
  int autoCommit;
  uns16 unique;
  _Caps* drvCaps;
  int bClntXFetch2;
  int bDeferLongData;
  _SessFlags SessFlags;
  int unicode;
  int bMultipleActiveStmtsEmul;
  TypeInfoCache* ht_typeinfo;
};

struct _Cursor;
struct DAEData;
typedef errcode_t (*fetchProc_t)(_Cursor* pCurs, Dataset* pDS);

struct _Cursor {
  _Connect* pConnect;  // first: the cursor engine relies on it
  ErrorQ pendingError;
  uns16 flags;
  Request request;
  int fPassMode;
  precision_t maxDataLen;
  TSCCL st_sccl;
  SQLHENV hEnv;
  SQLHDBC hDbc;
  SQLHSTMT hStmt;
  char* cursName;
  Dataset* parameters;
  uns16 nColdesc;
  Coldesc* pColdesc;
  uns16 nPardesc;
  Coldesc* pPardesc;
  uns16 nextParRow;
  fetchProc_t fetchProc;
  uns16 virtParam;
  uns16 rowsProcessed;
  uns32 rowsFetched;
  SQLULEN rowsParProcessed;
  uns32 maxrows;
  precision_t maxLongData;
  int noScanMode;
  Bindesc* pParamInfo;
  uns16 nParamInfo;
  SQLLEN* pParamInds;
  uns32 nParamInds;
  char** rIntermBuffer;
  int iNextDAERow;  // data at execution: the next cell marked -2 (-2, -2: none)
  int iNextDAECol;
  int iDAERow;      // the cell the client is sending now
  int iDAECol;
  int cPutDataCalls;
  int cDAERows;
  DAEData* rDAEParamData;
  uns32 cDAEParams;
  DAEData* rDAEColData;
  uns32 cDAECols;
  int bClntParDescs;
  Dataset* sp_RetData;
  int iGDRow;
  int iGDCol;
  sgn32 cbGDRemain;
  int bParamsAnalysed;
  handle_t hCursor;
  int bBlockStarted;   // the current result has had its first SQLExtendedFetch
  int bRowPath;        // the current result is fetched row by row
  int bXFetchUsed;     // SQLExtendedFetch ran since the statement was last closed
  int bRowCountSum;    // rowCountSum holds the rows of a row-by-row execution
  SQLLEN rowCountSum;
};

// Process globals of the backend.
extern HandleArray srvHandles, conHandles, crsHandles;
extern unsigned int numServers;
extern handle_t ghServer;
extern char* f_SqlDbmsName;
extern int f_useRVC;
extern int f_extendedFetch;
extern int agent_version_set;

// What the program hands the backend at start-up: the agent's options, copied
// into every new connection, and how the program installs its termination hook.
struct AgentOptions {
  int f_noautocommit;          // new connections switch autocommit off
  unsigned int f_maxrows;      // agent-wide cap on fetched rows; 0: none
  const char* f_initSQL;       // initial-SQL file run on every new connection; borrowed
  int f_jetfix;                // BIGINT columns reported as NUMERIC
  int f_norowsetsizelimit;     // the rowset size is not capped at 100
  // Called with ODBC_ShutdownProc at every connect, once the connection's
  // handles exist; the program makes it its termination hook. Null: none.
  void (*installShutdownHook)(int (*shutdown)(int sig));
};

// Replaces the options the next connections read (null: all zero). The record
// is copied; f_initSQL must outlive every later connect.
void ODBC_SetAgentOptions(const AgentOptions* options);

extern drv_ops odbc_ops;

// Handle look-ups: null when the handle names no live record.
_Server* ODBC_ServerRec(handle_t h);
_Connect* ODBC_ConnectRec(handle_t h);
_Cursor* ODBC_CursorRec(handle_t h);

// Sessions, connections and cursors.
errcode_t ODBC_Server(Server* pServer, handle_t* phServer);
errcode_t ODBC_EndServer(handle_t hServer);
errcode_t ODBC_Connect(handle_t hServer, Connect* pConnect, handle_t* phConnect);
errcode_t ODBC_EndConnect(handle_t hConnect);
errcode_t ODBC_Commit(handle_t hConnect);
errcode_t ODBC_Rollback(handle_t hConnect);
errcode_t ODBC_Cursor(handle_t hConnect, handle_t* phCursor);
errcode_t ODBC_EndCursor(handle_t hCursor);
errcode_t ODBC_Close(handle_t hCursor);
errcode_t ODBC_GetCursorName(handle_t hCursor, char* buf, uns16 size, uns16* pLen);
errcode_t ODBC_SetCursorName(handle_t hCursor, char* name);
void UnPrepareCursor(_Cursor* pCurs);
void CloseCursor(_Cursor* pCurs);
errcode_t GetDriverCaps(_Connect* pConn);
void FreeDriverCaps(_Connect* pConn);
int GetCap(const _Connect* pConn, int index);
int ODBC_ShutdownProc(int sig);
int ExecuteSQLstatementsFromFile(_Connect* pConn, const char* path);
// Ends every cursor of a connection (their handles become invalid).
void EndConnectCursors(_Connect* pConn);

// Driver parameters and options.
errcode_t ODBC_GetDrvParameter(handle_t h, uns32 opcode, void* buf, uns16 size, uns16* pLen);
errcode_t ODBC_SetDrvParameter(handle_t h, uns32 opcode, void* value);
errcode_t ODBC_GetOpTable(handle_t hConnect, OpTable* pTable);
errcode_t IsSupported(PSCCL pState, int option, sgn32* pValue);
int Option2InfoType(int option, const int** ppPrecedence, const int (**ppMap)[2]);
int GetSurrogateOptn(int value, const int* precedence, int* pPos);
int MapBitMskOptnVal(int key, const int (*map)[2], int toBit);
int GetScrollOptions(const _Connect* pConn);
int ParseSensitivity(const char* text);
const char* PrintSensitivity(int value);

// Statements.
errcode_t ODBC_Prepare(handle_t hCursor, char* sql);
errcode_t ODBC_Request(Request* pRequest, const char* sql);
errcode_t GetColdesc(_Cursor* pCurs);
errcode_t ODBC_DescribeColumns(handle_t hCursor, uns16* pCount, Coldesc** ppDesc);
errcode_t ODBC_DescribeParams(handle_t hCursor, uns16* pCount, Coldesc** ppDesc);
errcode_t ODBC_ColAttributes(handle_t hCursor, uns16* pnCols, uns16* pnAttribs,
                             Coldesc** ppDesc, ColAttrib** ppAttrib);
errcode_t FillParamDesc(_Cursor* pCurs);
errcode_t ODBC_Parameters(handle_t hCursor, Dataset* pDS);
errcode_t ODBC_Bind(handle_t hCursor, uns16 count, Bindesc* pDesc);
errcode_t BindAllParameters(_Cursor* pCurs, int rowCount, int row);
errcode_t BindAllParametersRows(_Cursor* pCurs, int rowCount);

// Execution, fetch and long data.
errcode_t ODBC_Execute(handle_t hCursor);
errcode_t ODBC_Execute2(handle_t hCursor, char* sql, Dataset* pDS, uns16 count, Bindesc* pDesc);
errcode_t ODBC_ExecuteN(handle_t hCursor, uns16 offset, uns16 count, uns16* pCount);
errcode_t ODBC_Fetch(handle_t hCursor, uns16 maxRows, Dataset* pDS);
errcode_t ODBC_GetData(handle_t hCursor, sgn32 iCol, sgn32 iRow, precision_t cbWanted,
                       char** ppData, precision_t* pcbData, ctype_t* pCType, sgn32* pcbRemain);
errcode_t ODBC_MoreResults(handle_t hCursor);
errcode_t ODBC_Cancel(handle_t hCursor);
errcode_t ExecuteComplete(_Cursor* pCurs);
int SetIdentityInsertStmt(_Cursor* pCurs);

// Data at execution (data_at_exec.cpp).
errcode_t ExecuteCheck4DAEParams(_Cursor* pCurs);
// Asked by the cursor engine once a positioned update or add has stored its
// option and column data (st_sccl.fOption, st_sccl.pdsSetPosParam).
errcode_t SetPosCheck4DAECols(handle_t hCursor);
errcode_t ODBC_ParamData(handle_t hCursor, sgn32* piCol, sgn32* piRow, uns16** prgfRowStatus, uns32* pnRowStatus);
errcode_t ODBC_PutData(handle_t hCursor, ctype_t cType, indicator_t ind, char* data, precision_t len);
// Frees both collections of a cursor and ends any dialogue.
void DAEFreeCursor(_Cursor* pCurs);

// Procedures with output parameters (out_params.cpp).
errcode_t Check4OutParams(_Cursor* pCurs);
errcode_t ProcExecute(_Cursor* pCurs);
errcode_t BindProcParams(_Cursor* pCurs);
errcode_t bindAllProcParameters(_Cursor* pCurs);
errcode_t ProcHandleOutParams(_Cursor* pCurs);
int CursorHasLongColumn(const _Cursor* pCurs);
void CursorFreeParamInds(_Cursor* pCurs);

// Catalog calls.
errcode_t ODBC_DDColumnPrivileges(handle_t h, DDColumnPrivileges* a);
errcode_t ODBC_DDColumns(handle_t h, DDColumns* a);
errcode_t ODBC_DDForeignKeys(handle_t h, DDForeignKeys* a);
errcode_t ODBC_DDPrimaryKeys(handle_t h, DDPrimaryKeys* a);
errcode_t ODBC_DDProcedureColumns(handle_t h, DDProcedureColumns* a);
errcode_t ODBC_DDProcedures(handle_t h, DDProcedures* a);
errcode_t ODBC_DDSpecialColumns(handle_t h, DDSpecialColumns* a);
errcode_t ODBC_DDStatistics(handle_t h, DDStatistics* a);
errcode_t ODBC_DDTablePrivileges(handle_t h, DDTablePrivileges* a);
errcode_t ODBC_DDTables(handle_t h, DDTables* a);
errcode_t ODBC_DDTypeInfo(handle_t h, sgn16 sqlType);
errcode_t FinishCatView(_Cursor* pCurs, const char* label, int rc);
errcode_t ColumnsPostFetch(_Cursor* pCurs, Dataset* pDS);
errcode_t SpecialColumnsPostFetch(_Cursor* pCurs, Dataset* pDS);
errcode_t ODBC_NativeSQL(handle_t hConnect, char* sql, char* buf, uns16 size, uns16* pLen);

// Calls into the cursor engine. The engine is not in front of the backend yet:
// these hooks stay null until it installs itself, and the backend then does
// without (see engine_hooks.cpp).
extern errcode_t (*SC_GetInfo_hook)(PSCCL pState, int infoType, sgn32* pValue);
extern errcode_t (*scs_p_ColGetInfo_hook)(_Cursor* pCurs, uns16 iCol, ColAttrib* pAttribs,
                                          int nAttribs);
// Runs a positioned operation whose values came at execution time; fills the
// row-status array (owned by the caller afterwards) and its length.
extern errcode_t (*scs_p_SetPosComplete_hook)(PSCCL pState, uns16** prgfRowStatus, unsigned int* pcRows);
