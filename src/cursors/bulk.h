// Bulk operations of the cursor engine: update, delete and fetch of the rows
// of a keyset-driven or static cursor named by bookmarks (1-based keyset row
// numbers), one keyed statement per row with a status per bookmark.
#pragma once

#include "backend/sccl.h"
#include "drv_ops.h"

// fOperation codes.
enum : uns16 {
  SC_BULK_ADD = 4,
  SC_BULK_UPDATE_BY_BOOKMARK = 5,
  SC_BULK_DELETE_BY_BOOKMARK = 6,
  SC_BULK_FETCH_BY_BOOKMARK = 7,
};

// The engine's bulkOperations slot. Takes over pDSUpdate and rgiCol. The
// status array (one entry per bookmark) and the rowset go to the caller.
errcode_t SCs_BulkOperations(handle_t hCursor, uns16 fOperation, bookmark_t* rBookMarks, uns16 cRows2Process,
                             Dataset* pDSUpdate, uns16* rgiCol, uns16 cCols2Process, uns16** prgfRowStatus,
                             uns16* pcRowsAffected, PRSET* ppRowSet);

// The update: row i of pDS holds the new values for key row i of pDSKeys
// (and old values row i of pDSOptConcVals, when given); rgiSlot[i] is the
// status entry of that row. Takes over neither dataset.
errcode_t scs_p_BulkOp_Update(PSCCL psccl, uns16* rgiCol, uns16 cCols, Dataset* pDS, Dataset* pDSKeys,
                              Dataset* pDSOptConcVals, const uns16* rgiSlot, uns16* rgfRowStatus,
                              uns16 cBookmarks, uns16* pcRowsAffected);

// Bulk operations never wait for data at execution.
int BulkOpCheck4DAECols();

// Installs the bulk operations in the engine's table (filter.cpp).
void scs_BulkOpsInstall(drv_ops* ops);
