// The slots the filter takes over from the backend's table: connect and end
// connect (saving the request), cursor and end cursor (making and ending the
// engine state), bind and parameters (kept for the engine's own statements),
// the forward and snapshot fetch, close, and the driver parameters the engine
// answers itself. SCs_InitDRV (filter.cpp) installs them; statement.cpp calls
// some directly. Each takes the backend slot's arguments and ownership.
#pragma once

#include "backend/backend.h"

errcode_t SCs_GetDrvParameter(handle_t h, uns32 opcode, void* value, uns16 maxLength, uns16* pOutLength);
errcode_t SCs_Connect(handle_t hServer, Connect* me, handle_t* phConnect);
errcode_t SCs_EndConnect(handle_t hConnect);
errcode_t SCs_Cursor(handle_t hConnect, handle_t* phCursor);
errcode_t SCs_EndCursor(handle_t hCursor);
errcode_t SCs_Bind(handle_t hCursor, uns16 nCols, Bindesc* pDesc);
errcode_t SCs_Parameters(handle_t hCursor, Dataset* parameters);
errcode_t SCs_Fetch(handle_t hCursor, uns16 DataSetSize, Dataset* pBind);
errcode_t SCs_Close(handle_t hCursor);
// Keeps a copy of a scrollable cursor's parameters (the state owns it) to send
// them again; forward-only cursors and null keep nothing.
errcode_t scs_p_KeepParameters(PSCCL me, Dataset* parameters);
