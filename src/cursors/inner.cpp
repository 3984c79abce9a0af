// The backend's operation table the engine calls (inner.h): a copy of the DRV
// the filter was installed over, filled by SCs_InitDRV (filter.cpp).
#include "cursors/inner.h"

// Named by the filter's own files (filter.cpp, filter_ops.cpp,
// data_source_info.cpp); the engine's other files reach it as SCs_InnerDRV().
DRV g_DBI;

DRV* SCs_InnerDRV() { return &g_DBI; }
