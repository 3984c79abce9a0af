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

// A dynamic cursor's row-version link: the server's row-version context, the
// client's connection and cursor, and the cursor on the second connection.
struct _RVCCxt;
struct SRVC {
  _RVCCxt* pParent;
  handle_t hConn;
  handle_t hCurs;
  handle_t hCursRVC;
};
typedef SRVC TRVC;

// Piecewise transfer of one held-back long value.
struct TJXFER {
  uns16 xf_col;
  uns16 xf_row;
  sgn32 xf_offset;
  uns32 xf_remaining;
};

struct SSCCL {
  sgn32 RSSize;
  sgn32 KSSize;
  sgn32 RsltSetSize;
  sgn32 CursType;
  sgn32 CursTypeOrig;
  sgn32 ConcType;
  sgn32 ConcTypeOrig;
  sgn32 SimulatCurs;
  sgn32 bUseBookMarks;
  sgn32 bRetrieveData;
  handle_t hConnect;
  handle_t hCursor;
  positn_t Position;
  positn_t RSPosition;
  DRV* pDrv;      // null until the engine has set the state up
  void* pParent;  // the backend cursor record that embeds this state
  sgn32 fOptConcValExtent;
  int bHasParamOp;
  positn_t KSPosition;
  _KeySet* pKeySet;
  uns16 f_state;
  alist_t* pLS_RefdTables;
  alist_t* pLS_TblCols;
  alist_t* pLS_OrdrCols;
  alist_t* pLS_SelectCols;
  Dataset* parameters;
  Dataset* pDSOptConcColVals;
  uns16 SelectRqstFlags;
  char* pszSQL;
  SC_Request Rqst;
  handle_t hSCCurs;
  SC_Request RqstAux;
  handle_t hSCCurs2;
  SC_Request RqstAux2;
  uns16 f_stateAux2;
  uns16 nColDesc;
  Coldesc* pColDesc;
  sgn32 irow;
  uns16 fOption;
  int bNeedBind;
  uns16 nBindDesc;
  Bindesc* pBindDesc;
  uns16 nParamInfo;
  Bindesc* pParamInfo;
  int bLockByUpdate;
  char idQuoteChar;
  sgn32 idQIdentCase;
  sgn32 idIdentCase;
  int cMaxParams;
  char* pszUserName;
  char* pszDbmsName;
  Dataset* pDSKeyBoundaryVals;
  int bSliceAfterEnd;  // the slice held is the empty one after the key both boundary rows hold
  sgn16 fNullCollation;
  uns16 CompoundKeySize;
  _SS* pSnapShot;
  DSCache OCVC;
  positn_t OCVPosition;
  Dataset* pdsSetPosParam;
  uns16* rgiCol;
  uns32 cRowsProcessed;
  int bUseRVC;
  TRVC RVC;
  int bQualName;
  int bDeferLongData;
  int bParsFwdOnlyReq;
  int bSelectAppendKeys;
  Dataset* pDeferredData;
  TJXFER dt_xfer;
  int unicode;
  int bMultipleActiveStmtsEmul;
  uns16 maxOrderBy;
};
typedef SSCCL TSCCL;
typedef SSCCL* PSCCL;

// f_state bits.
enum {
  SCCL_RSSIZE_SET = 0x1,
  SCCL_ORDER_BY_KEYS = 0x2,
  SCCL_ROWSET_SELECT = 0x4,
  SCCL_HAS_PARAMS = 0x8,
  SCCL_CURSTYPE_SET = 0x40,
  SCCL_SNAPSHOT_READ = 0x80,
  SCCL_KSSIZE_SET = 0x100,
  SCCL_PREPARED_ANALYSIS = 0x200,
  SCCL_CLOSED = 0x400,
  SCCL_TYPE_SWITCHED = 0x800,
  SCCL_ANALYSED = 0x1000,
  SCCL_THROUGH_ENGINE = 0x8000,
};
