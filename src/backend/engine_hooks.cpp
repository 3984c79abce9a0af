// Calls from the backend into the scrollable cursor engine.
//
// The backend sits below the engine, so it reaches it through these pointers,
// which the engine fills when it installs itself in front of the backend. While
// they are null (the backend alone, as in its own tests) the backend does
// without: cursor-option negotiation falls back on the agent's fixed
// information answers, column attributes carry no base-column information, no
// positioned operation waits for data at execution, and records carry no
// engine state to release.
#include "backend/backend.h"

errcode_t (*SC_GetInfo_hook)(PSCCL, int, sgn32*) = nullptr;
errcode_t (*scs_p_ColGetInfo_hook)(_Cursor*, uns16, ColAttrib*, int) = nullptr;
errcode_t (*scs_p_SetPosComplete_hook)(PSCCL, uns16**, unsigned int*) = nullptr;
void (*scs_CursorDone_hook)(_Cursor*) = nullptr;
void (*scs_ConnectDone_hook)(_Connect*) = nullptr;
void (*scs_ServerDone_hook)(_Server*) = nullptr;
