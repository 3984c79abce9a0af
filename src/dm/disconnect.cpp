// SQLDisconnect: the driver's connection is closed (or, with pooling, kept in the pool);
// the driver itself stays attached for the next connect or the release of the handle.

#include "dm/dm_internal.h"
#include "sql.h"
#include "dm/trace_hook.h"

namespace {

using DisconnectFn = SQLRETURN (*)(SQLHDBC);

}  // namespace

static SQLRETURN entry_SQLDisconnect(SQLHDBC hdbc) {
  zolandm_entry entry(hdbc, ZOLANDM_DBC);
  if (!entry.ok()) return entry.rc();
  auto* dbc = static_cast<zolandm_dbc*>(hdbc);

  if (dbc->state == ZOLANDM_DBC_ALLOCATED) return _zolandm_fail(dbc, ZOLANDM_E_08003);
  if (_zolandm_dbc_has_pending_stmt(dbc)) return _zolandm_fail(dbc, ZOLANDM_E_S1010);

  if ((dbc->state == ZOLANDM_DBC_CONNECTED || dbc->state == ZOLANDM_DBC_IN_USE) &&
      (dbc->pool_entry != nullptr || (dbc->env->pooling != 0 && dbc->cp_timeout > 0))) {
    if (_zolandm_pool_return_conn(dbc) == 0) {
      _zolandm_dbc_release_stmts(dbc);
      dbc->state = ZOLANDM_DBC_ALLOCATED;
      return ZOLANDM_OK;
    }
  }

  void* f = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLDisconnect);
  if (f == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_IM001);
  entry.unlock();
  SQLRETURN rc = _zolandm_call<DisconnectFn>(dbc->driver, &dbc->last_rc, f, dbc->drv_dbc);
  entry.relock();
  if (!zolandm_succeeded(rc)) return rc;
  _zolandm_dbc_release_stmts(dbc);
  // The driver frees a connection's descriptors when it disconnects.
  _zolandm_dbc_release_descs(dbc, false);
  dbc->state = ZOLANDM_DBC_ALLOCATED;
  return ZOLANDM_OK;
}
extern "C" SQLRETURN SQL_API SQLDisconnect(SQLHDBC hdbc) {
  return _zolandm_traced(entry_SQLDisconnect, trace_SQLDisconnect, hdbc);
}
