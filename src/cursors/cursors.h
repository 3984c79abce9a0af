// The scrollable cursor engine's filter: installed in front of the backend's
// driver-operation table, it keeps the per-cursor state (TSCCL) of every
// cursor and passes forward-only work through. The program installs it at
// start-up (DRV_Init); tests install it over a table of their own
// (SCs_UninstallDRV forgets the first installation). This header brings along
// the headers of the filter's slots and of the state's life cycle.
//
// Map of the engine (src/cursors unless a folder is named).
//
//   cursor type (CursType)      engine                          file
//   forward-only                the backend's own fetch         filter_ops.cpp (SCs_Fetch),
//                                                               fetch_dispatch.cpp (FetchForward)
//   keyset-driven, KSSize 0     scs_p_ExtendedFetch_KSD         fetch_engines.cpp, keyset.cpp
//   keyset-driven, KSSize > 0   scs_p_ExtendedFetch_Mixed       fetch_dynamic.cpp, slices.cpp
//   dynamic                     scs_p_ExtendedFetch_Dynamic     fetch_dynamic.cpp, slices.cpp, rvc.cpp
//   static                      scs_p_ExtendedFetch_Static      fetch_engines.cpp, snapshot.cpp
//   (every scrollable type is dispatched by ExtendedFetch in fetch_dispatch.cpp;
//   the J calls that hold back long values are in statement.cpp)
//
// Where a change goes:
//   - the per-cursor state and its encodings: backend/sccl.h; the life cycle
//     the engines call (sc_Init, SC_Reset, SC_DescsFree, SC_RowPositionSet,
//     scs_p_DatasetFree, scs_p_AuxCursorOpen): cursor_state.cpp; making and
//     ending the whole state (SCs_Init, SCs_Destroy): state_init_destroy.cpp
//   - the filter: filter.cpp installs it; its slots (connect, cursor, bind,
//     parameters, fetch, close, driver parameters): filter_ops.cpp; the saved
//     connect requests: saved_connects.cpp; information answers and the
//     capability string: data_source_info.cpp
//   - engine diagnostics (auxiliary cursors' messages, whole-result reads):
//     engine_diagnostics.cpp
//   - the calls down into the backend: inner.h (SCs_Inner), nowhere else
//   - prepare-time analysis: analysis.cpp (what a cursor can serve, the
//     prepare flow), statement_columns.cpp (select and ORDER BY columns, key
//     marks, column attributes); entry points: statement.cpp
//   - statement rewriting: statement_rewrite.cpp (re-analysis, tag splicing,
//     ORDER BY by the keys, key SELECT, key WHERE, the select list of
//     forward-only cursors, the old values' SELECT); rowset_reads.cpp (rowset
//     SELECT); slices.cpp (seek clauses)
//   - keysets: keyset.cpp (keyset building: the whole keyset, key re-read),
//     keyset_store.cpp (the record), key_columns.cpp (key columns and their
//     cache), key_params.cpp (key parameter rows, splits), rowset_reads.cpp
//     (rowset SELECT, keyed read), deleted_rows.cpp (deleted-row tags)
//   - dynamic slices: slices.cpp (seek clauses, KS_GetKeySet_Dyn),
//     fetch_dynamic.cpp (window and marks), statement_columns.cpp
//     (CompoundKeySize)
//   - positioned operations: setpos.cpp (positioned update, delete, add and
//     the keyed DML it shares), bulk.cpp (bulk operations), analysis.cpp
//     (positioned UPDATE/DELETE checks), old_values.cpp (optimistic
//     concurrency), row_locks.cpp (locks), rvc.cpp (row versions),
//     backend/data_at_exec.cpp (completion after data at execution)
//   - cache spill files: ds_cache.cpp (format, spill, windows), snapshot.cpp
//     (static result), keyset_store.cpp (keys, KSC), old_values.cpp, setpos.cpp
//     and bulk.cpp (the old values' cache OCVC)
//   - table and column discovery, identifier case and quoting: discovery.cpp;
//     reading catalog rows: catalog_rows.cpp
//
// Order of the files, lowest first; a file includes only files before it:
//   inner, cursor_state, engine_diagnostics, saved_connects, catalog_rows,
//   discovery, ds_cache, snapshot, keyset_store, analysis_helpers,
//   statement_rewrite, key_columns, key_params, keyset, rvc,
//   statement_columns, analysis, rowset_reads, slices, deleted_rows,
//   old_values, row_locks, fetch_engines, fetch_dynamic, fetch_dispatch,
//   setpos, bulk, data_source_info, state_init_destroy, filter_ops,
//   statement, filter (cursors.h).
#pragma once

#include "backend/backend.h"
#include "cursors/cursor_state.h"
#include "cursors/data_source_info.h"
#include "cursors/engine_diagnostics.h"
#include "cursors/filter_ops.h"
#include "cursors/inner.h"
#include "cursors/key_columns.h"
#include "cursors/saved_connects.h"
#include "cursors/state_init_destroy.h"
#include "drv_ops.h"

// Installs the filter over pDrv: the first call copies pDrv's table, later ones
// only point pDrv at the engine's table. Also fills the backend's engine hooks.
int SCs_InitDRV(DRV* pDrv);
// Test seam: forgets the installed table so that the next SCs_InitDRV copies
// again (a test's own backend table), and empties the backend's engine hooks.
void SCs_UninstallDRV();
// The engine's own table (the slots the client's calls reach).
drv_ops* SCs_EngineOps();
