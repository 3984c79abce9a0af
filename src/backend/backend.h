// The ODBC backend: the records behind the client's server, connection and
// cursor handles and the operations of the backend's driver-operation table.
// Every data-source call goes through our driver manager's ODBC 2 API (wide
// entry points on a Unicode connection). Called through the operation table by
// the service procedures, and directly by the cursor engine.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <vector>

#include "backend/errors.h"
#include "backend/sccl.h"
#include "backend/sql_type_map.h"
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
  int iDAERow;  // the cell the client is sending now
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
  int bBlockStarted;  // the current result has had its first SQLExtendedFetch
  int bRowPath;       // the current result is fetched row by row
  int bXFetchUsed;    // SQLExtendedFetch ran since the statement was last closed
  // The statement's SQL_ROWSET_SIZE as a block fetch last set it (0: never set,
  // the driver's 1). It outlives a close: a later result fetched row by row
  // must set it back, or the driver writes that many rows into one row's room.
  SQLULEN drvRowsetSize;
  // Long values come whole, in long cells read piece by piece after the row's
  // fetch: the scrollable and engine cursors of a connection that defers long
  // data, whose rows the cursor engine reads and holds back itself. Prepare.
  int bWholeLongData;
  int bRowCountSum;  // rowCountSum holds the rows of a row-by-row execution
  SQLLEN rowCountSum;
};

// Process globals of the backend.
// Tables and the session count are shared by every connection's thread; the
// server-wide defaults below are read and written under ODBC_ServerLock().
extern HandleArray srvHandles, conHandles, crsHandles;
extern std::atomic<unsigned> numServers;
extern std::atomic<handle_t> ghServer;
extern char* f_SqlDbmsName;
extern int f_useRVC;
extern int f_extendedFetch;
extern std::atomic<int> agent_version_set;
// The lock of the server record (its error queue, the session count) and the
// defaults above; held briefly, never while a driver call waits.
std::recursive_mutex& ODBC_ServerLock();

// What the program hands the backend at start-up: the agent's options, copied
// into every new connection, and how the program installs its termination hook.
struct AgentOptions {
  int f_noautocommit;       // new connections switch autocommit off
  unsigned int f_maxrows;   // agent-wide cap on fetched rows; 0: none
  const char* f_initSQL;    // initial-SQL file run on every new connection; borrowed
  int f_jetfix;             // BIGINT columns reported as NUMERIC
  int f_norowsetsizelimit;  // the rowset size is not capped at 100
  // Called with ODBC_ShutdownProc at every connect, once the connection's
  // handles exist; the program makes it its termination hook. Null: none.
  void (*installShutdownHook)(int (*shutdown)(int sig));
};

// Replaces the options the next connections read (null: all zero). The record
// is copied; f_initSQL must outlive every later connect.
void ODBC_SetAgentOptions(const AgentOptions* options);

extern drv_ops odbc_ops;

// Contracts. Every ODBC_ operation taking a handle answers ER_INVALID_ARGUMENT
// when it names no live record of its kind; a failure the driver reports is
// mapped from its SQLSTATE (ER_GENERAL_ERROR when unknown) and its texts stay
// queued on the handle. Arguments are borrowed unless a line says otherwise.

// Handle look-ups: null when the handle names no live record.
_Server* ODBC_ServerRec(handle_t h);
_Connect* ODBC_ConnectRec(handle_t h);
_Cursor* ODBC_CursorRec(handle_t h);

// Sessions, connections and cursors (session_records.cpp).
// Opens a session on the one server record (held once more per session).
errcode_t ODBC_Server(Server* pServer, handle_t* phServer);
// Ends a session; the last one ends every connection and frees the handle tables.
errcode_t ODBC_EndServer(handle_t hServer);
// Connects to a data source and probes it; *phConnect: a new connection handle.
errcode_t ODBC_Connect(handle_t hServer, Connect* pConnect, handle_t* phConnect);
// Ends the connection's cursors, disconnects and frees the connection handle.
errcode_t ODBC_EndConnect(handle_t hConnect);
errcode_t ODBC_Commit(handle_t hConnect);
errcode_t ODBC_Rollback(handle_t hConnect);
// *phCursor: a new cursor handle with its own statement; ER_NO_MEMORY, or the driver's code.
errcode_t ODBC_Cursor(handle_t hConnect, handle_t* phCursor);
// Frees the cursor, its statement and everything it holds; the handle dies.
errcode_t ODBC_EndCursor(handle_t hCursor);
// Closes the open result, if any; the statement stays prepared.
errcode_t ODBC_Close(handle_t hCursor);
// Copies the name into buf (size bytes, NUL-ended); *pLen: its length;
// ER_DATA_TRUNCATED when a wide name does not fit.
errcode_t ODBC_GetCursorName(handle_t hCursor, char* buf, uns16 size, uns16* pLen);
errcode_t ODBC_SetCursorName(handle_t hCursor, char* name);
// Drops the prepared statement's descriptions, parameters and bindings.
void UnPrepareCursor(_Cursor* pCurs);
// Closes the statement's result and resets the fetch state.
void CloseCursor(_Cursor* pCurs);
// Ends every cursor of a connection (their handles become invalid).
void EndConnectCursors(_Connect* pConn);
// The handles of a connection's cursors, at the time of the call.
std::vector<handle_t> ODBC_CursorsOf(const _Connect* pConn);
// The termination hook: cancels the driver calls that wait, ends every
// connection (for a few seconds at most). Always 0.
int ODBC_ShutdownProc(int sig);
// How many connections the last shutdown procedure left because they stayed busy.
unsigned ODBC_ShutdownLeft();

// Capability probe (driver_caps.cpp), initial SQL (init_sql_file.cpp) and the
// type-information cache (type_info_cache.cpp), run on every new connection.
// Fills pConn->drvCaps (owned by the connection); ER_NO_MEMORY, or the driver's code.
errcode_t GetDriverCaps(_Connect* pConn);
void FreeDriverCaps(_Connect* pConn);
// A CAP_ entry; 0 without a probe or for an index out of range.
int GetCap(const _Connect* pConn, int index);
// Runs the file's statements (".sql" added to a name without one); 0, or -1
// when the file cannot be read, no statement handle is had, or it ends unterminated.
int ExecuteSQLstatementsFromFile(_Connect* pConn, const char* path);
// Creates pConn->ht_typeinfo (owned by the connection) from the driver's type
// catalog, read through a cursor of hConnect; left empty when that fails.
void FillTypeInfoCache(_Connect* pConn, handle_t hConnect);

// Driver parameters and options (drv_params.cpp).
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

// Preparation (statement_prepare.cpp).
// Prepares sql on the cursor (after unpreparing it) and describes its columns
// and parameter markers; a driver's general error becomes ER_SYNTAXIS.
errcode_t ODBC_Prepare(handle_t hCursor, char* sql);
// Fills a request record from sql (copied) and classifies it; ER_NO_MEMORY.
errcode_t ODBC_Request(Request* pRequest, const char* sql);
// Refines the parameter descriptions by preparing the analysed statement's
// probe queries on a cursor of its own; ER_FUNCTION_SEQ before a prepare.
errcode_t FillParamDesc(_Cursor* pCurs);

// Description (column_describe.cpp).
// Describes the result columns into pCurs->pColdesc (none without a result); ER_NO_MEMORY.
errcode_t GetColdesc(_Cursor* pCurs);
// *ppDesc: a copy the caller frees with FreeColdesc (null when ppDesc is null or none).
errcode_t ODBC_DescribeColumns(handle_t hCursor, uns16* pCount, Coldesc** ppDesc);
errcode_t ODBC_DescribeParams(handle_t hCursor, uns16* pCount, Coldesc** ppDesc);
// Copies of the column descriptions and their packed attributes, both the caller's.
errcode_t ODBC_ColAttributes(handle_t hCursor, uns16* pnCols, uns16* pnAttribs, Coldesc** ppDesc,
                             ColAttrib** ppAttrib);
// 1 when a column is long, or deferable while long data is deferred.
int CursorHasLongColumn(const _Cursor* pCurs);

// Parameter binding (param_binding.cpp).
// Takes pDS (malloc'd; the cursor frees it) as the parameter rows; never fails on a live cursor.
errcode_t ODBC_Parameters(handle_t hCursor, Dataset* pDS);
// Copies count binding descriptions (pDesc needed when count > 0); ER_NO_MEMORY.
errcode_t ODBC_Bind(handle_t hCursor, uns16 count, Bindesc* pDesc);
// Binds parameter row `row` of rowCount; ER_MISMATCH_PARAMS for a row out of
// range, ER_DRV_NOT_CAPABLE for a cell type that cannot be bound, ER_NO_MEMORY.
errcode_t BindAllParameters(_Cursor* pCurs, int rowCount, int row);
// Binds the first rowCount rows as column-wise arrays; same codes.
errcode_t BindAllParametersRows(_Cursor* pCurs, int rowCount);
void CursorFreeParamInds(_Cursor* pCurs);

// Execution (statement_execute.cpp), fetch (fetch.cpp), long data (long_data.cpp).
// Executes the prepared statement with its parameters; ER_FUNCTION_SEQ unprepared.
errcode_t ODBC_Execute(handle_t hCursor);
// Prepare (sql may be null), parameters and bindings, then execute; takes pDS
// in every case (freed on failure before the cursor holds it).
errcode_t ODBC_Execute2(handle_t hCursor, char* sql, Dataset* pDS, uns16 count, Bindesc* pDesc);
// Not offered: ER_DRV_NOT_CAPABLE.
errcode_t ODBC_ExecuteN(handle_t hCursor, uns16 offset, uns16 count, uns16* pCount);
// Fills pDS (the caller's, freed with Dataset_Done) with up to maxRows rows;
// ER_FUNCTION_SEQ before an execute, an empty dataset at the end.
errcode_t ODBC_Fetch(handle_t hCursor, uns16 maxRows, Dataset* pDS);
// The next piece of a long or deferred column; *ppData is the caller's to free;
// ER_INVALID_COLUMN for a column out of range, ER_GENERAL_ERROR for a short one.
errcode_t ODBC_GetData(handle_t hCursor, sgn32 iCol, sgn32 iRow, precision_t cbWanted, char** ppData,
                       precision_t* pcbData, ctype_t* pCType, sgn32* pcbRemain);
// Moves to the next result (or parameter row); ER_NO_MORE_RESULTS at the end.
errcode_t ODBC_MoreResults(handle_t hCursor);
// Nothing runs asynchronously: succeeds on a live cursor.
errcode_t ODBC_Cancel(handle_t hCursor);
// Binds and runs the statement for the parameter rows still to run.
errcode_t ExecuteComplete(_Cursor* pCurs);
// 1 when the statement is a SET IDENTITY_INSERT, run directly instead of executed.
int SetIdentityInsertStmt(_Cursor* pCurs);
// A column left for the long-data call: not bound at fetch, indicator -3.
bool IsDeferredColumn(const _Cursor* pCurs, const Coldesc& d);

// Data at execution (data_at_exec.cpp).
// Starts the dialogue when the parameters hold cells marked -2: ER_NEED_DATA.
errcode_t ExecuteCheck4DAEParams(_Cursor* pCurs);
// Asked by the cursor engine once a positioned update or add has stored its
// option and column data (st_sccl.fOption, st_sccl.pdsSetPosParam).
errcode_t SetPosCheck4DAECols(handle_t hCursor);
// Names the next cell to send (ER_NEED_DATA), or completes the operation;
// ER_FUNCTION_SEQ without a dialogue. *prgfRowStatus is the caller's.
errcode_t ODBC_ParamData(handle_t hCursor, sgn32* piCol, sgn32* piRow, uns16** prgfRowStatus,
                         uns32* pnRowStatus);
// One piece of the current cell; ER_FUNCTION_SEQ without a current cell.
errcode_t ODBC_PutData(handle_t hCursor, ctype_t cType, indicator_t ind, char* data, precision_t len);
// Frees both collections of a cursor and ends any dialogue.
void DAEFreeCursor(_Cursor* pCurs);

// Procedures with output parameters (out_params.cpp).
// Counts the bindings by direction; ER_MISMATCH_PARAMS when they do not match the markers.
errcode_t Check4OutParams(_Cursor* pCurs);
// Binds every parameter with its direction and executes.
errcode_t ProcExecute(_Cursor* pCurs);
errcode_t BindProcParams(_Cursor* pCurs);
errcode_t bindAllProcParameters(_Cursor* pCurs);
// Completes the return dataset at the end of the results: ER_HAVE_OUTPARAMS.
errcode_t ProcHandleOutParams(_Cursor* pCurs);

// Catalog calls (catalog.cpp): each opens the catalog's result on the cursor.
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
// Copies the driver's form of sql into buf (size bytes); *pLen: its length.
errcode_t ODBC_NativeSQL(handle_t hConnect, char* sql, char* buf, uns16 size, uns16* pLen);

// Calls into the cursor engine, null until it installs itself (see
// engine_hooks.cpp).
extern errcode_t (*SC_GetInfo_hook)(PSCCL pState, int infoType, sgn32* pValue);
extern errcode_t (*scs_p_ColGetInfo_hook)(_Cursor* pCurs, uns16 iCol, ColAttrib* pAttribs, int nAttribs);
// Column attributes only the engine can answer: the backend leaves them with
// the id negated for scs_p_ColGetInfo_hook, which fills them and restores it.
enum : sgn16 {
  COLATTR_KEY_COLUMN = 1053,  // the column is one of the statement's key columns
  COLATTR_EXPRESSION = 1055,  // the select-list item is an expression
};
// Runs a positioned operation whose values came at execution time; fills the
// row-status array (owned by the caller afterwards) and its length.
extern errcode_t (*scs_p_SetPosComplete_hook)(PSCCL pState, uns16** prgfRowStatus, unsigned int* pcRows);
// Called before a cursor or connection record is freed, whichever path ends it
// (its own end call, its connection's, the last server session's, shutdown):
// the engine releases the state it keeps for the record.
extern void (*scs_CursorDone_hook)(_Cursor* pCurs);
extern void (*scs_ConnectDone_hook)(_Connect* pConn);
// Called when the last session ends, after its connections ended and before
// the server record is freed.
extern void (*scs_ServerDone_hook)(_Server* pServ);
