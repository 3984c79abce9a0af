// Row locks of lock concurrency where the data source locks by update: each
// live key row of a range updated to itself by a keyed UPDATE on the first
// auxiliary cursor. Used by the keyset-driven, static and dynamic engines.
#pragma once

#include "backend/sccl.h"

// Locks the live (success or updated) key rows iStartRow .. iStartRow+nRows-1
// held; ER_ROW_ERROR (logged) when a row could not be locked.
errcode_t scs_p_LockRows(PSCCL psccl, uns32 iStartRow, uns32 nRows);
