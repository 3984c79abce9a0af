// The one way down: every call the engine makes into the backend's operation
// table goes through SCs_Inner, so one search finds them all. pDrv is the
// cursor state's pDrv, the DRV a caller was handed, or SCs_InnerDRV() (the
// table the filter was installed over) where no cursor state is at hand.
// The lowest file of the engine.
#pragma once

#include "drv_ops.h"

inline drv_ops& SCs_Inner(const DRV* pDrv) { return *pDrv->ops; }

// The backend table the engine calls (a copy of the DRV it was installed
// over, filled by SCs_InitDRV, emptied by SCs_UninstallDRV).
DRV* SCs_InnerDRV();
