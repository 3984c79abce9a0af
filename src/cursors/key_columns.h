// Key columns: the columns that identify a row of each table of a statement,
// asked of the catalog on the first auxiliary cursor (best row identifier,
// then the first unique index, then the primary key) and kept per connection
// and table combination (the connection's key cache). Called by the analysis
// at prepare; the filter frees a connection's cache.
#pragma once

#include "backend/backend.h"
#include "cursors/keyset_store.h"

// Finds the key columns of the tables in pLS_RefdTables (TableDesc elements)
// into psccl->pKeySet->pLS_KeyCols, which it replaces: from the connection's
// key cache, else the catalog through hSCCurs (best row identifier, then the
// first unique index, then the primary key), and stores new answers in the
// cache. ER_NO_KEYS when some table has none; the keyset owns the list.
errcode_t KS_GetKeyColDescs(PSCCL psccl, alist_t* pLS_RefdTables);
// One catalog source each (best row identifier, unique index statistics,
// primary keys) over the cTables tables whose rbURID flag is 0: appends the key
// columns found to pLS_KeyCols and sets the table's flag. ER_NO_KEYS when a
// table got none, a catalog call's error as it came.
errcode_t ks_GetKeyColDescs_SpCols(PSCCL psccl, TableDesc* rTableDesc, int cTables, int* rbURID);
errcode_t ks_GetKeyColDescs_Stats(PSCCL psccl, TableDesc* rTableDesc, int cTables, int* rbURID);
errcode_t ks_GetKeyColDescs_PKeys(PSCCL psccl, TableDesc* rTableDesc, int cTables, int* rbURID);

// Frees a connection's key cache (its lists and the table) and clears the
// pointer; a connection without one is ignored.
void KeyCacheFree(_Connect* c);
// The key cache's element destroyer (VYR_htmap): frees one cached list; 0.
int DestroyKeyCache(void* data, void* key, void* arg);
