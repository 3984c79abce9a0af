// Deleted-row tags: the keys of a rowset read again on the second auxiliary
// cursor, and an empty row with status SQL_ROW_DELETED put where a key has
// gone. Used by the keyset-driven engine, the old values' read and the
// positioned operations.
#pragma once

#include "backend/sccl.h"

// Re-reads the keys of the rowset that starts at key row rowsetOffset (pKeyVals
// holds the key rows from keysetOffset on) and puts an empty row with status 1
// (rgfRowStatus, indexed like rowsetOffset, when given) where a key has gone.
// The rowset dataset is given room for a whole rowset first. An error of the
// re-read fails the call (nothing is tagged).
errcode_t scs_p_DeletedRowsTag(PSCCL psccl, Dataset* pRSDataset, Dataset* pKeyVals, positn_t rowsetOffset,
                               positn_t keysetOffset, uns16* rgfRowStatus);
