// The information answers the engine asks of the backend: SQLGetInfo-style
// values through driver parameters, and the engine's own capability string.
// Used by SCs_Init, the filter's hooks and its getDrvParameter slot.
#pragma once

#include "backend/backend.h"

typedef unsigned short UWORD;
typedef short SWORD;

// Driver-parameter codes the engine asks or answers.
constexpr uns32 DRVP_CONN_CAPABILITY_STRING = 0x21010010;  // get, text: the engine's capability string
constexpr uns32 DRVP_CONN_FEATURE_0C = 0x2201000c;
constexpr uns32 DRVP_CONN_MAX_PARAMS = 0x22010009;
constexpr uns32 DRVP_CONN_FEATURE_14 = 0x22010014;
constexpr uns32 DRVP_CONN_FEATURE_15 = 0x22010015;

// A 4-byte integer driver parameter of h into *pValue; false (and *pValue
// unchanged) when the backend does not answer it.
bool AskInt(DRV* d, handle_t h, uns32 code, sgn32* pValue);
// One information value of the connection through pDrv's driver parameters:
// integer kinds as 4 bytes (SQL_NULL_COLLATION as 2), text kinds cut to
// cbInfoValueMax with the full length in *pcbInfoValue (ER_DATA_TRUNCATED).
// ER_INVALID_OPTION for a kind the engine does not ask.
errcode_t SC_GetInfo(DRV* pDrv, handle_t hConnect, UWORD fInfoType, void* rgbInfoValue, SWORD cbInfoValueMax,
                     SWORD* pcbInfoValue);
// The engine's capability string into buf (at most size bytes with the NUL).
errcode_t scs_p_CapabilityString(handle_t hConnect, char* buf, uns16 size, uns16* pLen);
