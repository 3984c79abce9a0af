// The keyset-driven and static fetch engines: fill a rowset with a status per
// row. The keyset-driven engine re-reads each rowset by its keys on the
// client's cursor; the static one copies rowsets from the snapshot. Both
// answer the old values or row locks of their concurrency. Dispatched by
// fetch_dispatch.h; the mixed engine (fetch_dynamic.h) calls the keyset-driven
// one. Brings along the pieces the engines share.
#pragma once

#include <cstddef>

#include "backend/errors.h"
#include "backend/sccl.h"
#include "cursors/deleted_rows.h"
#include "cursors/engine_diagnostics.h"
#include "cursors/old_values.h"
#include "cursors/row_locks.h"
#include "cursors/rowset_reads.h"
#include "drv_ops.h"

// The rowset of key row irow (0-based; with a whole keyset an absolute fetch's
// row) into pRowSet, with the keyset's statuses; RSPosition follows.
errcode_t scs_p_ExtendedFetch_KSD(PSCCL psccl, PRSET pRowSet, sgn32 irow);
// The rowset of the absolute row irow of the snapshot (read whole on the
// first fetch after execute) into pRowSet.
errcode_t scs_p_ExtendedFetch_Static(PSCCL psccl, PRSET pRowSet, sgn32 irow);

// A procedure call's result (for its output values) and a locking cursor's
// rows stay open behind the snapshot; any other result is closed once read.
bool scs_p_SnapshotKeepsResult(PSCCL psccl);
