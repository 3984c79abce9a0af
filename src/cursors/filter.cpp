// The cursor engine's filter in front of the backend (cursors.h): installs the
// engine's operation table over the backend's (its slots come from
// filter_ops.cpp, statement.cpp, fetch_dispatch.cpp, setpos.cpp and bulk.cpp)
// and the backend's engine hooks. Called once by the program (DRV_Init).
#include "cursors/cursors.h"

#include "cursors/analysis.h"
#include "cursors/bulk.h"
#include "cursors/data_source_info.h"
#include "cursors/fetch_dispatch.h"
#include "cursors/filter_ops.h"
#include "cursors/inner.h"
#include "cursors/key_columns.h"
#include "cursors/rvc.h"
#include "cursors/saved_connects.h"
#include "cursors/setpos.h"
#include "cursors/state_init_destroy.h"
#include "cursors/statement.h"

extern DRV g_DBI;  // inner.cpp: the table the filter was installed over

namespace {

drv_ops nw_ops;

// What the engine keeps for a connection, released whichever way it ends.
void ConnectDone(_Connect* c) {
  _Server* s = c->pServ ? c->pServ : ODBC_ServerRec(c->hServer);
  ConnInfoRemove(s, c->hConnect);
  if (s) RVC_ConnectionEnded(s, c->hConnect);
  KeyCacheFree(c);
}

void ServerDone(_Server* s) { RVC_ServerDone(s); }

void CursorDone(_Cursor* pc) { SCs_Destroy(&pc->st_sccl); }

// The backend's column attributes: the engine answers from its analysis.
errcode_t ColGetInfoHook(_Cursor* pc, uns16 iCol, ColAttrib* pAttribs, int nAttribs) {
  if (!pc || nAttribs < 0 || nAttribs > 0xFFFF) return ER_SUCCESS;
  return scs_p_ColGetInfo(&pc->st_sccl, iCol, nullptr, 0, uns16(pc->nColdesc + 1), uns16(nAttribs), pAttribs);
}

errcode_t GetInfoHook(PSCCL pState, int infoType, sgn32* pValue) {
  DRV* d = pState->pDrv ? pState->pDrv : &g_DBI;
  SWORD len = 0;
  return SC_GetInfo(d, pState->hConnect, UWORD(infoType), pValue, 4, &len);
}

}  // namespace

drv_ops* SCs_EngineOps() { return &nw_ops; }

int SCs_InitDRV(DRV* pDrv) {
  if (!pDrv || !pDrv->ops) return 1;
  if (!g_DBI.ops) {
    nw_ops = *pDrv->ops;
    g_DBI.drvFlags = pDrv->drvFlags;
    g_DBI.ops = pDrv->ops;
    nw_ops.getDrvParameter = SCs_GetDrvParameter;
    nw_ops.connect = SCs_Connect;
    nw_ops.endConnect = SCs_EndConnect;
    nw_ops.cursor = SCs_Cursor;
    nw_ops.endCursor = SCs_EndCursor;
    nw_ops.parameters = SCs_Parameters;
    nw_ops.bind = SCs_Bind;
    nw_ops.fetch = SCs_Fetch;
    nw_ops.close = SCs_Close;
    scs_StatementOpsInstall(&nw_ops);
    scs_FetchOpsInstall(&nw_ops);
    scs_SetPosOpsInstall(&nw_ops);
    scs_p_SetPosComplete_hook = scs_p_SetPosComplete;
    scs_BulkOpsInstall(&nw_ops);
    SC_GetInfo_hook = GetInfoHook;
    scs_p_ColGetInfo_hook = ColGetInfoHook;
    scs_CursorDone_hook = CursorDone;
    scs_ConnectDone_hook = ConnectDone;
    scs_ServerDone_hook = ServerDone;
  }
  pDrv->ops = &nw_ops;
  return 0;
}

void SCs_UninstallDRV() {
  g_DBI = DRV{};
  nw_ops = drv_ops{};
  SC_GetInfo_hook = nullptr;
  scs_p_ColGetInfo_hook = nullptr;
  scs_p_SetPosComplete_hook = nullptr;
  scs_CursorDone_hook = nullptr;
  scs_ConnectDone_hook = nullptr;
  scs_ServerDone_hook = nullptr;
}
