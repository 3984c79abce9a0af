// The process's driver record and its start-up: the backend's operation table,
// with the scrollable cursor engine in front once that engine exists.
#include "backend/backend.h"

DRV drv;

int DRV_Init(DRV* pDrv) {
  pDrv->ops = &odbc_ops;
  pDrv->drvFlags = 0;
  // The cursor engine installs itself here when it is built; until then the
  // backend's table is the active one.
  return 0;
}
