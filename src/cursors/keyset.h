// Keysets of the cursor engine: the key columns of a statement's tables (asked
// of the catalog once per connection and table combination), the statements
// built on them (key SELECT, ORDER BY extended by the keys, WHERE matching
// groups of key values), the parameter rows those statements take, and the
// whole keyset of a keyset-driven cursor read at execute.
#pragma once

#include "backend/sccl.h"
#include "drv_ops.h"

struct _KeySet {
  uns16* rgfRowStatus;   // one ODBC row status per key row
  Dataset* pDataset;     // key values (the loaded window once spilled)
  sgn32 Position;        // keyset row that is row 0 of pDataset; -1 right after spilling
  uns8 cRefdTables;      // tables the statement references (qualify keys when > 1)
  alist_t* pLS_KeyCols;  // SCColDesc
  DSCache KSC;
};
typedef _KeySet KeySet;
typedef _KeySet* PKSET;

errcode_t KS_Create(PKSET* ppKeySet);
void KS_Destroy(PKSET* ppKeySet);
void KS_Close(PKSET pKeySet);
void ks_FreeKeyVals(KeySet* pKeySet);

errcode_t KS_GetKeyColDescs(PSCCL psccl, alist_t* pLS_RefdTables);
errcode_t ks_GetKeyColDescs_SpCols(PSCCL psccl, TableDesc* rTableDesc, int cTables, int* rbURID);
errcode_t ks_GetKeyColDescs_Stats(PSCCL psccl, TableDesc* rTableDesc, int cTables, int* rbURID);
errcode_t ks_GetKeyColDescs_PKeys(PSCCL psccl, TableDesc* rTableDesc, int cTables, int* rbURID);

// SCR_AnalyseSQL; a failure is logged with the text, the parser's report and
// the request's translated text.
errcode_t scs_p_AnalyseLogged(SC_Request* pRqst, const char* sql, int bRebuildOnly, int bQualName);
// The request's rebuilt text with its tag replaced by text becomes its
// translated text (left as it was on failure; no tag: ER_GENERAL_ERROR).
errcode_t scs_p_TagReplace(SC_Request* pRqst, const char* text);

errcode_t KS_OrderByClauseExtend(SC_Request* pRqst, PSCCL psccl);
errcode_t KS_KeySelectStmtBld_KSD(SC_Request* pRqst, PKSET pKeySet);
errcode_t KS_WhereClauseExtend_KSD(SC_Request* pRqst, PKSET pKeySet, uns32 RSSize);
errcode_t KS_KeyParamDsetBld(Dataset* pKeySet, uns32 nStartRow, uns32 cRows2Fill, uns32 cRows2Match,
                             Dataset** ppKeyParamDset, int bNullTerminate, int bNullTerminated,
                             int bOmitNULLs, uns16* pcNullCols, uns16** prgbNullColIdxs);
errcode_t scs_p_GetSelectConstraints(PSCCL psccl, sgn32* pcSelectsReqd, sgn32* pcRowsInLastSelect,
                                     sgn32* pcMaxRowsPerSelect);

errcode_t KS_GetKeySet_KSD(PSCCL psccl);
errcode_t KS_RowSetGetKeys(PSCCL psccl, Dataset* pDSKeys, uns32 offset, Dataset** ppKeyVals);
