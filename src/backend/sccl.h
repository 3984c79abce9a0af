// The cursor engine's per-cursor state, embedded in every backend cursor record.
// The backend writes the client's cursor options here (driver parameters) and
// reads the long-data and multiple-statement switches; the engine owns the rest
// of the record and sets it up when the cursor is made.
#pragma once

#include <cstdio>

#include "model/dataset.h"
#include "model/types.h"
#include "sql/alist.h"
#include "sql/statement_analysis.h"

struct DRV;
struct _KeySet;
struct _SS;

typedef sgn32 positn_t;

// A result-set cache: the rows stay in the caller's dataset up to a limit, then
// move to two unnamed temporary files read back through a window (the engine's
// ds_cache.h has the functions).
struct DSCache {
  int fState;     // DSC_IN_MEMORY, DSC_FILES_OPEN or DSC_SPILLED
  FILE* fdVals;   // values file, or null
  FILE* fdIndx;   // row index file, or null
  uns32 WinSize;  // rows loaded into the window
};

// The result row of a cache window's first row before a window is loaded (a
// cache that spilled holds its rows in the files only).
enum : positn_t { DSC_NO_WINDOW = -1 };

// A dynamic cursor's row-version link: the server's row-version context, the
// client's connection and cursor, and the cursor on the second connection.
struct _RVCCxt;
struct SRVC {
  _RVCCxt* pParent;   // the server's row-version context, null while the cursor has no link
  handle_t hConn;     // the client's connection
  handle_t hCurs;     // the client's cursor
  handle_t hCursRVC;  // the cursor on the second connection that reads and writes versions
};
typedef SRVC TRVC;

// Piecewise transfer of one held-back long value.
struct TJXFER {
  uns16 xf_col;        // 1-based column of the value in transfer, 0 none
  uns16 xf_row;        // its 1-based row in pDeferredData
  sgn32 xf_offset;     // bytes of the value already handed out
  uns32 xf_remaining;  // bytes still to hand out
};

// Who sets what: "sc_Init" (cursors/cursor_state.cpp) and "SCs_Init"
// (cursors/state_init_destroy.cpp) give the defaults when the cursor is made;
// "option 0x3203xxxx" is a statement driver parameter the backend writes
// (backend/drv_params.cpp); "analysis" is the prepare-time analysis
// (cursors/analysis.cpp); everything else names its writer.
struct SSCCL {
  // Rows per scrollable fetch (rowset size); 1 from sc_Init, option 0x32030009 (capped at 100).
  sgn32 RSSize;
  // Keyset size: SCCL_KEYSET_WHOLE keeps every key, > 0 a window of that many keys (the mixed
  // cursor); option 0x32030008; the dynamic engine copies RSSize in, a slice read moves it a while.
  sgn32 KSSize;
  // Rows in the result, SCCL_RSLT_SIZE_UNKNOWN until counted; keyset and snapshot fills, SC_Reset.
  sgn32 RsltSetSize;
  // Cursor type, SQL_CURSOR_* numbering (0 forward-only .. 3 static); option 0x32030006, analysis.
  sgn32 CursType;
  // CursType before the analysis switched it (SCCL_TYPE_SWITCHED); restored at the next prepare.
  sgn32 CursTypeOrig;
  // Concurrency, SQL_CONCUR_* numbering (1 read-only .. 4 values); option 0x32030007, analysis.
  sgn32 ConcType;
  // ConcType before the analysis switched it; restored with CursTypeOrig.
  sgn32 ConcTypeOrig;
  // The client's simulate-cursor option, only kept and reported back; option 0x3203000a.
  sgn32 SimulatCurs;
  // The client's bookmark option, only kept and reported back; option 0x3203000c.
  sgn32 bUseBookMarks;
  // 0: scrollable fetches move the cursor but hand back no row data; 1 from sc_Init, option 0x3203000b.
  sgn32 bRetrieveData;
  // The cursor's connection; sc_Init.
  handle_t hConnect;
  // The client's cursor itself, the backend cursor every rowset is read on; sc_Init.
  handle_t hCursor;
  // Current row for positioned operations: 1-based row number, or an RSP_* mark; SC_RowPositionSet.
  positn_t Position;
  // 1-based row of the rowset's first row among the rows held, or an RSP_* mark; the fetch engines.
  positn_t RSPosition;
  // The backend the engine calls through (SCs_Inner); sc_Init, null again after SCs_Destroy.
  DRV* pDrv;
  // The backend cursor record that embeds this state; its error queue gets the engine's diagnostics.
  void* pParent;
  // Which old values optimistic concurrency compares, SCCL_OCV_*; 1 from sc_Init, option 0x3203041a.
  sgn32 fOptConcValExtent;
  // Connection parameter 0x22010004: key parameter datasets carry NUL-terminated text cells; SCs_Init.
  int bHasParamOp;
  // State of a mixed cursor's keyset window, KSP_*; KSP_INVALID from SCs_Init and every prepare.
  positn_t KSPosition;
  // The cursor's keyset (keys, window start, key columns); KS_Create in SCs_Init, the keyset code.
  _KeySet* pKeySet;
  // State bits SCCL_* (below); the backend's options, the engine's entry points and engines.
  uns16 f_state;
  // Tables of the analysed SELECT (TableDesc elements); analysis.
  alist_t* pLS_RefdTables;
  // Columns of those tables (SCColDesc elements), read from the catalog by analysis.
  alist_t* pLS_TblCols;
  // ORDER BY columns (SCOrdrColDesc elements), keys appended when the ORDER BY is extended; analysis.
  alist_t* pLS_OrdrCols;
  // Select-list columns (SCColDesc elements); analysis.
  alist_t* pLS_SelectCols;
  // Owned copy of the client's parameters, sent again with the engine's statements; SCs_Parameters.
  Dataset* parameters;
  // Old values optimistic concurrency compares: the rowset's, or a static cursor's whole result's;
  // the fetch engines (spilled to OCVC when large), SetPos refreshes.
  Dataset* pDSOptConcColVals;
  // SC_Request.flags of the analysed statement (SCR_F_*), or SCCL_RQST_NOT_SELECT; analysis.
  uns16 SelectRqstFlags;
  // The statement as the client prepared it (heap), numeric ORDER BY positions named; analysis.
  char* pszSQL;
  // The analysed statement, its translated text the one the client's cursor is prepared with;
  // analysis, rebuilt by the fetch engines for the rowset SELECT.
  SC_Request Rqst;
  // First auxiliary cursor (same connection): catalog queries, key SELECTs, positioned statements;
  // made by analysis or scs_p_AuxCursorOpen.
  handle_t hSCCurs;
  // Analysed key SELECT of a dynamic or mixed cursor's slice, run on hSCCurs; the slice code.
  SC_Request RqstAux;
  // Second auxiliary cursor (same connection): key re-reads and old-values SELECTs; made by analysis.
  handle_t hSCCurs2;
  // Analysed statement held by hSCCurs2 (key re-read or old-values SELECT); the fetch engines.
  SC_Request RqstAux2;
  // What hSCCurs2 holds prepared, SCCL_AUX2_* bits; cleared by option 0x32030009 and unprepare.
  uns16 f_stateAux2;
  // Number of entries in pColDesc.
  uns16 nColDesc;
  // The client's cursor's column descriptions (owned), from describeColumns; scs_p_ColDescsGet.
  Coldesc* pColDesc;
  // Row argument of the SetPos in progress (kept for completion after data at execution).
  sgn32 irow;
  // Option of the SetPos in progress, SCS_SETPOS_* (cursors/setpos.h).
  uns16 fOption;
  // Connection parameter 0x22010002: bind descriptions go before the engine's own executes; SCs_Init.
  int bNeedBind;
  // Number of entries in pBindDesc.
  uns16 nBindDesc;
  // Bind descriptions of the engine's own statement on an auxiliary cursor (owned); scs_p_BindDescsAdd.
  Bindesc* pBindDesc;
  // Number of entries in pParamInfo.
  uns16 nParamInfo;
  // Owned copy of the client's last bind descriptions; SCs_Bind, SCs_BindX.
  Bindesc* pParamInfo;
  // Connection parameter 0x22010007: lock rows with a self-assigning UPDATE, not FOR UPDATE; SCs_Init.
  int bLockByUpdate;
  // Identifier quote character, 0 when the data source has none; SCs_Init (SQL_IDENTIFIER_QUOTE_CHAR).
  char idQuoteChar;
  // Case of quoted identifiers, SQL_IC_* numbering; SQL_IC_MIXED from SCs_Init, then the data source.
  sgn32 idQIdentCase;
  // Case of unquoted identifiers, SQL_IC_* numbering; SQL_IC_UPPER from SCs_Init, then the data source.
  sgn32 idIdentCase;
  // Most parameter markers one keyed SELECT may carry; 255 from SCs_Init, connection parameter 0x22010009.
  int cMaxParams;
  // The connection's user name (heap), or null; SCs_Init (SQL_USER_NAME).
  char* pszUserName;
  // The data source's DBMS name (heap), or null; SCs_Init (SQL_DBMS_NAME).
  char* pszDbmsName;
  // Key values at the two edges of a dynamic or mixed cursor's current slice; the slice code.
  Dataset* pDSKeyBoundaryVals;
  // The slice held is the empty one after the key both boundary rows hold; the slice code.
  int bSliceAfterEnd;
  // Where NULLs sort for the seek predicates, SQL_NC_* numbering; SCs_Init (SQL_NULL_COLLATION).
  sgn16 fNullCollation;
  // Leading ORDER BY and key columns that together order a dynamic cursor; analysis.
  uns16 CompoundKeySize;
  // The static cursor's snapshot of the whole result; SS_Create in SCs_Init, the static engine.
  _SS* pSnapShot;
  // Cache of pDSOptConcColVals for a static cursor (memory, then spill files); the static engine.
  DSCache OCVC;
  // First result row of the OCVC window, DSC_NO_WINDOW before one is loaded; the fetch engines.
  positn_t OCVPosition;
  // Data of the SetPos in progress (owned); SCs_SetPos.
  Dataset* pdsSetPosParam;
  // Column list of the SetPos in progress (owned); SCs_SetPos.
  uns16* rgiCol;
  // Rows the engine's last statement, positioned or bulk operation touched, or SCCL_ROWS_UNCOUNTED;
  // the entry points, fetches, SetPos and bulk operations.
  uns32 cRowsProcessed;
  // Connection parameter 0x2201000b: keep row versions for dynamic cursors; SCs_Init.
  int bUseRVC;
  // Row-version link of a dynamic cursor; the row-version code (rvc.cpp).
  TRVC RVC;
  // Long values are deferred to the long-data call; the backend's prepare, cleared for scrollable ones.
  int bDeferLongData;
  // Analyse forward-only SELECTs too; option 0x3203041c.
  int bParsFwdOnlyReq;
  // Append key columns to forward-only SELECT lists; option 0x3203041e.
  int bSelectAppendKeys;
  // Long values held back by the J fetch for getDataJ (owned, empty); SCs_Init, the J fetch.
  Dataset* pDeferredData;
  // Piecewise transfer of one held-back value; getDataJ.
  TJXFER dt_xfer;
  // Connection parameter 0x22010013: the connection is a Unicode one; SCs_Init.
  int unicode;
  // The connection emulates several active statements: its cursors are static and read whole;
  // the backend's cursor operation.
  int bMultipleActiveStmtsEmul;
  // Most columns an ORDER BY may hold, 0 no limit; SCs_Init (SQL_MAX_COLUMNS_IN_ORDER_BY).
  uns16 maxOrderBy;
};
typedef SSCCL TSCCL;
typedef SSCCL* PSCCL;

// KSSize: keep the whole keyset (no window).
enum : sgn32 { SCCL_KEYSET_WHOLE = 0 };

// RsltSetSize before the rows are counted.
enum : sgn32 { SCCL_RSLT_SIZE_UNKNOWN = -1 };

// cRowsProcessed before the engine counts (the count query then answers RsltSetSize).
enum : uns32 { SCCL_ROWS_UNCOUNTED = 0xFFFFFFFFu };

// Marks in Position and RSPosition below the 1-based row numbers (0 stands
// before the first row).
enum : positn_t {
  RSP_SOMEWHERE = -1,    // RSPosition of a dynamic cursor: the rowset lies somewhere in the result
  RSP_AT_START = -2,     // Position only: the start marker
  RSP_AFTER_END = -3,    // past the last row
  RSP_PARTIAL_END = -4,  // RSPosition of a dynamic cursor: the last fetch ended at the end, short
};

// KSPosition: the window state of a mixed cursor.
enum : positn_t {
  KSP_INVALID = -6,    // no usable window: after SCs_Init, a prepare, or a new KSSize
  KSP_PAST_END = -5,   // a NEXT ran past the end
  KSP_AT_END = -3,     // the window ends at the last row
  KSP_AT_START = -2,   // the window begins at the first row
  KSP_SOMEWHERE = -1,  // the window lies somewhere in the result
};

// fOptConcValExtent: the old values optimistic concurrency compares.
enum : sgn32 {
  SCCL_OCV_TABLE_COLS = 1,   // every non-long column of the table (pLS_TblCols)
  SCCL_OCV_SELECT_COLS = 2,  // only the select-list columns (pLS_SelectCols)
};

// SelectRqstFlags beside the SCR_F_* bits: the statement is not a SELECT.
enum : uns16 { SCCL_RQST_NOT_SELECT = 0x200 };

// f_stateAux2 bits: what the second auxiliary cursor holds prepared.
enum : uns16 {
  SCCL_AUX2_KEY_REREAD = 0x10,  // the key re-read of the deleted-row check (KS_RowSetGetKeys)
  SCCL_AUX2_OPT_VALUES = 0x20,  // the all-columns SELECT of the optimistic old values
};

// f_state bits.
enum {
  SCCL_RSSIZE_SET = 0x1,           // RSSize changed since the rowset SELECT was prepared
  SCCL_ORDER_BY_KEYS = 0x2,        // Rqst's ORDER BY has been extended with the key columns
  SCCL_ROWSET_SELECT = 0x4,        // the client's cursor holds the rowset SELECT, not the client's text
  SCCL_HAS_PARAMS = 0x8,           // the statement takes client parameters, kept in parameters
  SCCL_CURSTYPE_SET = 0x40,        // the client changed CursType (option 0x32030006)
  SCCL_SNAPSHOT_READ = 0x80,       // the whole result is in the snapshot, the client's cursor closed
  SCCL_KSSIZE_SET = 0x100,         // the client changed KSSize (option 0x32030008)
  SCCL_PREPARED_ANALYSIS = 0x200,  // the engine holds analysis state for the prepared statement
  SCCL_CLOSED = 0x400,             // closed: prepare the kept text again before the next execute
  SCCL_TYPE_SWITCHED = 0x800,      // the analysis switched CursType or ConcType (the *Orig fields)
  SCCL_ANALYSED = 0x1000,          // select-list column information is there for column attributes
  SCCL_THROUGH_ENGINE = 0x8000,    // prepared or executed through the engine
};
