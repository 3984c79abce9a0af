// The life cycle of the per-cursor state (TSCCL, backend/sccl.h) that every
// engine file calls: its defaults, the descriptions it keeps, the positions,
// heap datasets and the first auxiliary cursor. Below every engine: it calls
// only the backend. Making and ending the whole state, with the keyset,
// snapshot and row versions the engines hang on it, is state_init_destroy.h.
#pragma once

#include "backend/backend.h"

// The defaults of a new cursor (rowset 1, forward-only, read-only, whole
// keyset, unknown result size) and its handles, DRV and parent; always 0.
int sc_Init(PSCCL me, handle_t hCursor, handle_t hConnect, DRV* pDrv, void* pParent);
// Forgets the result's size and the positions (RsltSetSize unknown,
// RSPosition and Position 0).
void SC_Reset(PSCCL me);
// Frees the column descriptions, the engine's bind descriptions and the
// client's kept ones.
void SC_DescsFree(PSCCL me);
// Sets Position to irow: 0 and RSP_AFTER_END also set RSPosition, RSP_AT_START
// only Position. ER_INVALID_ROW_VALUE for another negative row or one past a
// known result size (nothing changes).
errcode_t SC_RowPositionSet(PSCCL me, sgn32 irow);
// Ends and frees a heap dataset and clears the pointer; null is ignored.
void scs_p_DatasetFree(Dataset** pp);
// Makes the first auxiliary cursor (hSCCurs) when the state has none or its
// handle has gone; the state ends it (SCs_Destroy). ER_GENERAL_ERROR without
// a DRV, else the backend's cursor call's code.
errcode_t scs_p_AuxCursorOpen(PSCCL me);
