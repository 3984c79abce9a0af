// The connection pool while pooling is not built: a lookup never finds a pooled connection
// and never reserves one, and nothing is ever taken into the pool.

#include "dm/dm_internal.h"

int _zolandm_pool_find_conn(zolandm_dbc*, const char*, const char*, const char*, const char*) { return -1; }

int _zolandm_pool_return_conn(zolandm_dbc*) { return -1; }
