// The process's driver record and its start-up: the backend's operation table
// with the scrollable cursor engine in front, and the agent's options handed to
// the backend.
#include "backend/backend.h"
#include "cursors/cursors.h"
#include "server/agent_options.h"
#include "server/signals.h"

DRV drv;

namespace {

// The backend's shutdown procedure becomes the agent's termination hook.
void install_sigterm_hook(int (*shutdown)(int)) { sigterm_hook = shutdown; }

}  // namespace

int DRV_Init(DRV* pDrv) {
  const AgentOptions options = {f_noautocommit, f_maxrows,           f_initSQL,
                                f_jetfix,       f_norowsetsizelimit, install_sigterm_hook};
  ODBC_SetAgentOptions(&options);
  pDrv->ops = &odbc_ops;
  // Each client connection is served by its own thread.
  pDrv->drvFlags = DRV_FLAG_THREADING;
  // The cursor engine puts itself in front of the backend.
  return SCs_InitDRV(pDrv) == 0 ? 0 : 1;
}
