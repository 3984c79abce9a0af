// Calls from the backend into the scrollable cursor engine.
//
// ABSENT HOOKS: the engine is not built yet, so nothing fills these pointers and
// the backend does without them: cursor-option negotiation falls back on the
// agent's fixed information answers, column attributes carry no base-column
// information, and no positioned operation waits for data at execution. The
// engine assigns its SC_GetInfo, scs_p_ColGetInfo and scs_p_SetPosComplete here
// when it installs itself in front of the backend.
#include "backend/backend.h"

errcode_t (*SC_GetInfo_hook)(PSCCL, int, sgn32*) = nullptr;
errcode_t (*scs_p_ColGetInfo_hook)(_Cursor*, uns16, ColAttrib*, int) = nullptr;
errcode_t (*scs_p_SetPosComplete_hook)(PSCCL, uns16**, unsigned int*) = nullptr;
