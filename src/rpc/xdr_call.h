// Internal: marks functions that call filter routines through xdrproc_t.
// Routines are stored under that one pointer type and called with their own
// argument types, as every XDR runtime does; clang's function-type check
// would otherwise flag each such call.
#pragma once

#if defined(__clang__)
#define VYRRPC_CALLS_FILTERS __attribute__((no_sanitize("function")))
#else
#define VYRRPC_CALLS_FILTERS
#endif
