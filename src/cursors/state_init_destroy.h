// Making and ending a cursor's whole engine state: the answers of the data
// source it keeps, its keyset and snapshot, and at the end everything the
// engines hung on it (auxiliary cursors, row versions, caches, analysis).
// Called by the filter's cursor slots and the backend's cursor-done hook.
#pragma once

#include "backend/backend.h"

// Clears the state (keeping the backend's two switches), sets the defaults
// and asks the data source what the engine needs; makes the keyset, snapshot
// and held-back data, which SCs_Destroy frees (also after a failure).
// ER_NO_MEMORY or a keyset/snapshot error.
errcode_t SCs_Init(PSCCL me, handle_t hCursor, handle_t hConnect, DRV* pDrv, void* pParent);
// Frees everything the state holds and ends its auxiliary cursors and row
// versions; pDrv becomes null, so a second call does nothing.
void SCs_Destroy(PSCCL me);
