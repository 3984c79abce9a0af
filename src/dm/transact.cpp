// Ending transactions on one connection or on every connection of an environment, and
// rewinding the connection's statements by the data source's cursor behaviours.

#include "dm/dm_internal.h"
#include "sqlext.h"
#include "dm/trace_hook.h"

namespace {

using TransactFn = SQLRETURN (*)(SQLHENV, SQLHDBC, SQLUSMALLINT);
using EndTranFn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT);

// Where a statement stands after a transaction ends. An ODBC 2 application has its statements
// rewound by the commit and rollback behaviours taken together whatever the completion type;
// an ODBC 3 application by the behaviour of the completion it asked for only, so that a
// cursor the data source keeps across a commit stays usable.
void rewind_statement(zolandm_stmt* s, int commit, int rollback) {
  bool either_delete = commit == SQL_CB_DELETE || rollback == SQL_CB_DELETE;
  bool either_close = commit == SQL_CB_CLOSE || rollback == SQL_CB_CLOSE;
  bool either_preserve = commit == SQL_CB_PRESERVE || rollback == SQL_CB_PRESERVE;
  if (s->state == ZOLANDM_STMT_PREPARED) {
    if (either_delete) {
      s->state = ZOLANDM_STMT_ALLOCATED;
      s->prepared = 0;
    }
    return;
  }
  if (s->state < ZOLANDM_STMT_EXECUTED || s->state > ZOLANDM_STMT_EXT_FETCHED) return;
  if (s->prepared) {
    if (either_delete) {
      s->state = ZOLANDM_STMT_ALLOCATED;
      s->prepared = 0;
      s->cursor_state = ZOLANDM_CURSOR_NONE;
    } else if (either_close) {
      s->state = ZOLANDM_STMT_PREPARED;
      s->cursor_state = ZOLANDM_CURSOR_NONE;
    }
  } else if (!either_preserve) {
    s->state = ZOLANDM_STMT_ALLOCATED;
    s->prepared = 0;
    s->cursor_state = ZOLANDM_CURSOR_NONE;
  }
}

// The statement check and the driver call of a transaction end on a connection in state 3,
// entered with the global lock held. On one connection that no other call is using, the
// driver's commit runs without the global lock, with the connection marked busy: a commit
// may wait in the driver (SQLite waits for other connections' readers), and the other
// connections' calls, those readers' among them, must go on meanwhile.
SQLRETURN end_on_driver(zolandm_dbc* dbc, SQLUSMALLINT type, bool alone) {
  if (_zolandm_dbc_has_pending_stmt(dbc)) return _zolandm_fail(dbc, ZOLANDM_E_S1010);
  bool odbc3 = false;
  void* f = _zolandm_choose_2_or_3(dbc, ZOLANDM_FN_SQLTransact, ZOLANDM_FN_SQLEndTran, &odbc3);
  if (f == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_IM001);
  const bool unlocked = alone && dbc->busy == 0;
  if (unlocked) {
    dbc->busy = 1;
    pthread_mutex_unlock(&_zolandm_global_lock);
  }
  SQLSMALLINT last_rc = 0;
  SQLRETURN rc;
  if (odbc3) {
    rc = _zolandm_call<EndTranFn>(dbc->driver, &last_rc, f, SQLSMALLINT(SQL_HANDLE_DBC),
                                  SQLHANDLE(dbc->drv_dbc), SQLSMALLINT(type));
  } else {
    rc = _zolandm_call<TransactFn>(dbc->driver, &last_rc, f, SQLHENV(nullptr), dbc->drv_dbc, type);
  }
  if (unlocked) {
    pthread_mutex_lock(&_zolandm_global_lock);
    dbc->busy = 0;
  }
  dbc->last_rc = last_rc;
  if (!zolandm_succeeded(rc)) return rc;
  dbc->state = ZOLANDM_DBC_IN_USE;
  int commit = dbc->commit_behavior;
  int rollback = dbc->rollback_behavior;
  if (_zolandm_app_version(dbc) == 3) commit = rollback = type == SQL_COMMIT ? commit : rollback;
  for (zolandm_stmt* s = dbc->stmts; s != nullptr; s = s->next) rewind_statement(s, commit, rollback);
  return rc;
}

}  // namespace

SQLRETURN _zolandm_conn_transact(zolandm_dbc* dbc, SQLUSMALLINT type) {
  if (dbc->state == ZOLANDM_DBC_ALLOCATED || dbc->state == ZOLANDM_DBC_BROWSING)
    return _zolandm_fail(dbc, ZOLANDM_E_08003);
  if (dbc->state == ZOLANDM_DBC_CONNECTED) return ZOLANDM_OK;
  return end_on_driver(dbc, type, true);
}

SQLRETURN SQLTransact_Internal(SQLHENV henv, SQLHDBC hdbc, SQLUSMALLINT type) {
  if (hdbc != nullptr && static_cast<zolandm_hdr*>(hdbc)->handle_type == ZOLANDM_DBC) {
    auto* dbc = static_cast<zolandm_dbc*>(hdbc);
    _zolandm_diag_clear(dbc);
    if (type != SQL_COMMIT && type != SQL_ROLLBACK) return _zolandm_fail(dbc, ZOLANDM_E_S1012);
    SQLRETURN rc = _zolandm_conn_transact(dbc, type);
    return zolandm_succeeded(rc) ? rc : ZOLANDM_ERROR;
  }
  if (hdbc != nullptr || !_zolandm_valid_handle(henv, ZOLANDM_ENV)) return ZOLANDM_INVALID;
  auto* env = static_cast<zolandm_env*>(henv);
  _zolandm_diag_clear(env);
  if (type != SQL_COMMIT && type != SQL_ROLLBACK) return _zolandm_fail(env, ZOLANDM_E_S1012);
  bool failed = false;
  bool info = false;
  for (zolandm_dbc* dbc = env->dbcs; dbc != nullptr; dbc = dbc->next) {
    if (dbc->state == ZOLANDM_DBC_ALLOCATED || dbc->state == ZOLANDM_DBC_BROWSING) {
      _zolandm_diag_add(dbc, ZOLANDM_E_08003);
      failed = true;
    } else if (dbc->state == ZOLANDM_DBC_IN_USE) {
      SQLRETURN rc = end_on_driver(dbc, type, false);
      if (rc == ZOLANDM_OK_INFO)
        info = true;
      else if (rc != ZOLANDM_OK)
        failed = true;
    }
  }
  return failed ? ZOLANDM_ERROR : info ? ZOLANDM_OK_INFO : ZOLANDM_OK;
}

static SQLRETURN entry_SQLTransact(SQLHENV henv, SQLHDBC hdbc, SQLUSMALLINT type) {
  zolandm_global_guard lock;
  return SQLTransact_Internal(henv, hdbc, type);
}
extern "C" SQLRETURN SQL_API SQLTransact(SQLHENV henv, SQLHDBC hdbc, SQLUSMALLINT type) {
  return _zolandm_traced(entry_SQLTransact, trace_SQLTransact, henv, hdbc, type);
}
