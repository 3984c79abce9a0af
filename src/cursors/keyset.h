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
  alist_t* pLS_KeyCols;  // key columns (SCColDesc), names quoted, with their tables
  DSCache KSC;           // the keys beyond memory: spill files read back through pDataset
};
typedef _KeySet KeySet;
typedef _KeySet* PKSET;

// Makes an empty keyset (with its empty key dataset) into *ppKeySet; ER_NO_MEMORY
// leaves it null. The cursor state owns it (SCs_Init); KS_Destroy frees it.
errcode_t KS_Create(PKSET* ppKeySet);
// Frees the keyset and everything it holds and nulls *ppKeySet; null is ignored.
void KS_Destroy(PKSET* ppKeySet);
// Empties the keyset for the next statement: key values, row statuses, spill
// files and the key-column list; the keyset itself stays for reuse.
void KS_Close(PKSET pKeySet);
// Drops the key values, row statuses and spill files only (the key columns
// stay), and sets Position to 0.
void ks_FreeKeyVals(KeySet* pKeySet);

// Finds the key columns of the tables in pLS_RefdTables (TableDesc elements)
// into psccl->pKeySet->pLS_KeyCols, which it replaces: from the connection's
// key cache, else the catalog through hSCCurs (best row identifier, then the
// first unique index, then the primary key), and stores new answers in the
// cache. ER_NO_KEYS when some table has none; the keyset owns the list.
errcode_t KS_GetKeyColDescs(PSCCL psccl, alist_t* pLS_RefdTables);
// One catalog source each (best row identifier, unique index statistics,
// primary keys) over the cTables tables whose rbURID flag is 0: appends the key
// columns found to pLS_KeyCols and sets the table's flag. ER_NO_KEYS when a
// table got none, a catalog call's error as it came.
errcode_t ks_GetKeyColDescs_SpCols(PSCCL psccl, TableDesc* rTableDesc, int cTables, int* rbURID);
errcode_t ks_GetKeyColDescs_Stats(PSCCL psccl, TableDesc* rTableDesc, int cTables, int* rbURID);
errcode_t ks_GetKeyColDescs_PKeys(PSCCL psccl, TableDesc* rTableDesc, int cTables, int* rbURID);

// SCR_AnalyseSQL; a failure is logged with the text, the parser's report and
// the request's translated text.
errcode_t scs_p_AnalyseLogged(SC_Request* pRqst, const char* sql, int bRebuildOnly, int bQualName);
// The request's rebuilt text with its tag replaced by text becomes its
// translated text (left as it was on failure; no tag: ER_GENERAL_ERROR).
errcode_t scs_p_TagReplace(SC_Request* pRqst, const char* text);

// Appends the key columns not yet in the ORDER BY (at most maxOrderBy columns
// in all) to pRqst's ORDER BY, or adds one; pRqst's translated text changes.
errcode_t KS_OrderByClauseExtend(SC_Request* pRqst, PSCCL psccl);
// Replaces pRqst's select list by the key columns (the key SELECT); pRqst's
// translated text changes. ER_GENERAL_ERROR when the keyset has no key columns.
errcode_t KS_KeySelectStmtBld_KSD(SC_Request* pRqst, PKSET pKeySet);
// Adds to pRqst's WHERE clause (or adds one) RSSize groups of the key columns
// each " = ?", joined by OR: the rowset SELECT and the key re-read. RSSize 0
// or no key columns give ER_GENERAL_ERROR.
errcode_t KS_WhereClauseExtend_KSD(SC_Request* pRqst, PKSET pKeySet, uns32 RSSize);
// Builds a one-row parameter dataset from the key rows of pKeySet: cRows2Fill
// groups of key values starting at nStartRow, the rows after the cRows2Match
// matching ones (or after the dataset's end) repeating the last one. Cells are
// sized to their values: bNullTerminate gives fixed character cells room for a
// NUL, bNullTerminated reads the source's fixed cells up to their first NUL.
// With bOmitNULLs a column that is NULL in any matched row
// is left out, *pcNullCols counts them and *prgbNullColIdxs (malloc'ed, one
// flag per column, caller frees) marks them. *ppKeyParamDset is the caller's
// (scs_p_DatasetFree, or hand it to the backend's parameters).
errcode_t KS_KeyParamDsetBld(Dataset* pKeySet, uns32 nStartRow, uns32 cRows2Fill, uns32 cRows2Match,
                             Dataset** ppKeyParamDset, int bNullTerminate, int bNullTerminated,
                             int bOmitNULLs, uns16* pcNullCols, uns16** prgbNullColIdxs);
// How a rowset of RSSize keys splits into keyed SELECTs within cMaxParams
// markers (less the client's): the SELECTs needed, the rows of the last one
// and the rows each SELECT takes. ER_GENERAL_ERROR (logged) without key
// columns or when not one key group fits.
errcode_t scs_p_GetSelectConstraints(PSCCL psccl, sgn32* pcSelectsReqd, sgn32* pcRowsInLastSelect,
                                     sgn32* pcMaxRowsPerSelect);

// Reads the whole keyset of a keyset-driven cursor at execute: extends the
// ORDER BY by the keys, runs the key SELECT on hSCCurs with the client's
// parameters, fills pKeySet (spilling to files beyond memory) with zeroed row
// statuses and sets RsltSetSize. A row with a NULL key gives ER_NO_KEYS; on
// any failure the keyset is emptied and RsltSetSize is SCCL_RSLT_SIZE_UNKNOWN.
errcode_t KS_GetKeySet_KSD(PSCCL psccl);
// Re-reads the keys of pDSKeys from row offset (one rowset's worth) on
// hSCCurs2, split as scs_p_GetSelectConstraints says, with the client's
// parameters after the keys; prepares the key re-read once (SCCL_AUX2_KEY_REREAD,
// a dynamic cursor every time). *ppKeyVals (heap, caller frees with
// scs_p_DatasetFree) holds the keys that still exist, in the statement's order.
errcode_t KS_RowSetGetKeys(PSCCL psccl, Dataset* pDSKeys, uns32 offset, Dataset** ppKeyVals);
