// The scrollable cursor engine's filter: installed in front of the backend's
// driver-operation table, it keeps the per-cursor state (TSCCL) of every
// cursor, saves the connect requests, answers its capability string and the
// connection information it needs, and passes forward-only work through. The
// program installs it at start-up (DRV_Init); tests install it over a table of
// their own (SCs_UninstallDRV forgets the first installation).
//
// Map of the engine (src/cursors unless a folder is named).
//
//   cursor type (CursType)      engine                          file
//   forward-only                the backend's own fetch         filter.cpp (SCs_Fetch),
//                                                               fetch_engines.cpp (FetchForward)
//   keyset-driven, KSSize 0     scs_p_ExtendedFetch_KSD         fetch_engines.cpp, keyset.cpp
//   keyset-driven, KSSize > 0   scs_p_ExtendedFetch_Mixed       fetch_dynamic.cpp, slices.cpp
//   dynamic                     scs_p_ExtendedFetch_Dynamic     fetch_dynamic.cpp, slices.cpp, rvc.cpp
//   static                      scs_p_ExtendedFetch_Static      fetch_engines.cpp, snapshot.cpp
//   (every scrollable type is dispatched by ExtendedFetch in fetch_engines.cpp;
//   the J calls that hold back long values are in statement.cpp)
//
// Where a change goes:
//   - the per-cursor state and its encodings: backend/sccl.h; its life cycle
//     (sc_Init, SCs_Init, SCs_Destroy, scs_p_AuxCursorOpen, SC_RowPositionSet)
//     and the diagnostics moved from the auxiliary cursors: filter.cpp;
//     diagnostics of whole-result reads (scs_p_DiagSave/Check): fetch_engines.cpp
//   - the calls down into the backend: inner.h (SCs_Inner), nowhere else
//   - prepare-time analysis and statement rewriting: analysis.cpp; the
//     analyser wrapper and tag splicing (scs_p_AnalyseLogged,
//     scs_p_TagReplace): keyset.cpp; re-analysis of slice statements:
//     slices.cpp (ks_RqstReanalyse); entry points: statement.cpp
//   - keysets: keyset.cpp (key columns, key SELECT, key-group WHERE, key
//     parameter rows, whole keyset, key re-read), analysis.cpp (finding keys
//     at prepare), fetch_engines.cpp (rowset SELECT, keyed read, deleted-row
//     tags), discovery.cpp (catalog rows, bind descriptions)
//   - dynamic slices: slices.cpp (seek clauses, KS_GetKeySet_Dyn),
//     fetch_dynamic.cpp (window and marks), analysis.cpp (CompoundKeySize)
//   - positioned operations: setpos.cpp (SetPos and the keyed DML it shares),
//     bulk.cpp (bulk operations), analysis.cpp (positioned UPDATE/DELETE
//     checks), rvc.cpp (row versions), backend/data_at_exec.cpp (completion
//     after data at execution)
//   - cache files: ds_cache.cpp (format, spill, windows), snapshot.cpp
//     (static result), keyset.cpp (keys, KSC), fetch_engines.cpp, setpos.cpp
//     and bulk.cpp (the old values' cache OCVC)
//   - table and column discovery, identifier case and quoting: discovery.cpp
#pragma once

#include <mutex>

#include "backend/backend.h"
#include "drv_ops.h"

typedef unsigned short UWORD;
typedef short SWORD;

// One saved connect request of a server session (_Server.pConnInfo).
struct _CONNINFO {
  Connect* pConnect;
  handle_t hConn;
  _CONNINFO* pNext;
};
typedef _CONNINFO CONNINFO;

// Driver-parameter codes the engine asks or answers.
constexpr uns32 DRVP_CONN_CAPABILITY_STRING = 0x21010010;  // get, text: the engine's capability string
constexpr uns32 DRVP_CONN_FEATURE_0C = 0x2201000c;
constexpr uns32 DRVP_CONN_MAX_PARAMS = 0x22010009;
constexpr uns32 DRVP_CONN_FEATURE_14 = 0x22010014;
constexpr uns32 DRVP_CONN_FEATURE_15 = 0x22010015;

// Installs the filter over pDrv: the first call copies pDrv's table, later ones
// only point pDrv at the engine's table. Also fills the backend's engine hooks.
int SCs_InitDRV(DRV* pDrv);
// Test seam: forgets the installed table so that the next SCs_InitDRV copies
// again (a test's own backend table), and empties the backend's engine hooks.
void SCs_UninstallDRV();
// The backend table the engine calls (a copy of the DRV it was installed over).
DRV* SCs_InnerDRV();
// The lock of the saved connect requests and the row-version links (scrs_spl2).
std::recursive_mutex& scs_p_Spl2();
// The engine's own table (the slots the client's calls reach).
drv_ops* SCs_EngineOps();

int sc_Init(PSCCL me, handle_t hCursor, handle_t hConnect, DRV* pDrv, void* pParent);
errcode_t SCs_Init(PSCCL me, handle_t hCursor, handle_t hConnect, DRV* pDrv, void* pParent);
void SCs_Destroy(PSCCL me);
void SC_Reset(PSCCL me);
// Frees the column descriptions, the engine's bind descriptions and the
// client's kept ones.
void SC_DescsFree(PSCCL me);
errcode_t SC_RowPositionSet(PSCCL me, sgn32 irow);
errcode_t SC_GetInfo(DRV* pDrv, handle_t hConnect, UWORD fInfoType, void* rgbInfoValue, SWORD cbInfoValueMax,
                     SWORD* pcbInfoValue);

// The filters of the operation table.
errcode_t SCs_GetDrvParameter(handle_t h, uns32 opcode, void* value, uns16 maxLength, uns16* pOutLength);
errcode_t SCs_Connect(handle_t hServer, Connect* me, handle_t* phConnect);
errcode_t SCs_EndConnect(handle_t hConnect);
errcode_t SCs_Cursor(handle_t hConnect, handle_t* phCursor);
errcode_t SCs_EndCursor(handle_t hCursor);
errcode_t SCs_Bind(handle_t hCursor, uns16 nCols, Bindesc* pDesc);
errcode_t SCs_Parameters(handle_t hCursor, Dataset* parameters);
errcode_t SCs_Fetch(handle_t hCursor, uns16 DataSetSize, Dataset* pBind);
errcode_t SCs_Close(handle_t hCursor);
// Keeps a copy of a scrollable cursor's parameters to send them again.
errcode_t scs_p_KeepParameters(PSCCL me, Dataset* parameters);

// The engine's capability string into buf (at most size bytes with the NUL).
errcode_t scs_p_CapabilityString(handle_t hConnect, char* buf, uns16 size, uns16* pLen);
// Ends and frees a heap dataset and clears the pointer; null is ignored.
void scs_p_DatasetFree(Dataset** pp);
// Makes the first auxiliary cursor of the state when it has none.
errcode_t scs_p_AuxCursorOpen(PSCCL me);

// Diagnostics of the auxiliary cursors.
void StackErrorMsgs(handle_t hCursor, int bQueue);
void AppendAuxCursorErrors(ErrorQ* pErrQCurs, ErrorQ* pErrQAuxCurs);
void GetAuxCursorErrors(PSCCL me);
void PatchErrorMsgQ(ErrorQ* pErrQ);
int DestroyKeyCache(void* data, void* key, void* arg);

// The saved connect requests of a server (walked under the engine's lock).
CONNINFO* SCs_ConnInfoFind(_Server* pServ, handle_t hConn);
