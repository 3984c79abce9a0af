// Keyset building: the whole keyset of a keyset-driven cursor read at
// execute with the key SELECT, and the key re-read of a rowset that finds
// which keys still exist. Built on the keyset record (keyset_store.h), its key
// columns (key_columns.h), the keyed statements (statement_rewrite.h) and
// their parameter rows (key_params.h), which this header brings along.
#pragma once

#include "backend/sccl.h"
#include "cursors/key_columns.h"
#include "cursors/key_params.h"
#include "cursors/keyset_store.h"
#include "cursors/statement_rewrite.h"
#include "drv_ops.h"

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
