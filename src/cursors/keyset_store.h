// The keyset a cursor holds: its key values (in memory or spilled to cache
// files), a status per key row and the key columns. Made with the cursor
// state (SCs_Init), emptied for each statement (analysis), its values dropped
// before a new keyset is read (keyset.cpp, slices.cpp).
#pragma once

#include "backend/sccl.h"
#include "drv_ops.h"

struct _KeySet {
  uns16* rgfRowStatus;   // one ODBC row status per key row
  Dataset* pDataset;     // key values (the loaded window once spilled)
  sgn32 Position;        // keyset row that is row 0 of pDataset; DSC_NO_WINDOW right after spilling
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
