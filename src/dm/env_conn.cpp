// Environment and connection handles: allocation and release, the reading of the tracing
// settings by the first environment, and freeing what a connection holds.

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <cstring>

#include "dm/connect_util.h"
#include "dm/dm_internal.h"
#include "odbcinst.h"
#include "sql.h"
#include "dm/trace_hook.h"

namespace {

void free_saved_attrs(zolandm_dbc* dbc) {
  while (dbc->saved_attrs != nullptr) {
    zolandm_saved_attr* next = dbc->saved_attrs->next;
    std::free(dbc->saved_attrs);
    dbc->saved_attrs = next;
  }
}

}  // namespace

void _zolandm_set_initialised() {
  zolandm_global_guard lock;
  _zolandm_initialised = 1;
}

void _zolandm_trace_global_setup() {
  char buf[1024] = "";
  SQLSetConfigMode(ODBC_BOTH_DSN);
  int n = SQLGetPrivateProfileString("ODBC", "TraceFile", "", buf, sizeof buf, "odbc.ini");
  if (n <= 0 || buf[0] == '\0') std::strcpy(buf, "/tmp/odbc.log");
  _zolandm_trace_set_filename(buf);

  char trace[1024] = "";
  SQLSetConfigMode(ODBC_BOTH_DSN);
  n = SQLGetPrivateProfileString("ODBC", "Trace", "", trace, sizeof trace, "odbc.ini");
  if (n != 0 && _zolandm_is_on(trace)) _zolandm_trace_start();
}

SQLRETURN SQLAllocEnv_Internal(SQLHENV* out, int odbc_version) {
  auto* env = static_cast<zolandm_env*>(_zolandm_calloc(1, sizeof(zolandm_env)));
  if (env == nullptr) {
    if (out != nullptr) *out = nullptr;
    return ZOLANDM_ERROR;
  }
  env->handle_type = ZOLANDM_ENV;
  env->odbc_version = odbc_version;
  env->pooling = _zolandm_default_pooling;
  if (out != nullptr) *out = env;
  if (_zolandm_env_count++ == 0) _zolandm_trace_global_setup();
  return ZOLANDM_OK;
}

static SQLRETURN entry_SQLAllocEnv(SQLHENV* out) {
  _zolandm_set_initialised();
  zolandm_global_guard lock;
  if (out == nullptr) return ZOLANDM_ERROR;  // nowhere to put the handle
  return SQLAllocEnv_Internal(out, 2);
}
extern "C" SQLRETURN SQL_API SQLAllocEnv(SQLHENV* out) {
  return _zolandm_traced_after(entry_SQLAllocEnv(out), trace_SQLAllocEnv, out);
}

SQLRETURN SQLFreeEnv_Internal(zolandm_env* env) {
  _zolandm_diag_clear(env);
  if (env->dbcs != nullptr) return _zolandm_fail(env, ZOLANDM_E_S1010);
  // Without connections no pooled record is lent out: every one can be closed.
  while (env->pool != nullptr) _zolandm_pool_drop_conn(env->pool, nullptr);
  _zolandm_env_free_drivers(env);
  env->handle_type = 0;
  return ZOLANDM_OK;
}

SQLRETURN _zolandm_free_env_entry(SQLHENV henv, void (*last_exit_record)(SQLHENV)) {
  zolandm_global_guard lock;
  if (!_zolandm_valid_handle(henv, ZOLANDM_ENV)) return ZOLANDM_INVALID;
  auto* env = static_cast<zolandm_env*>(henv);
  SQLRETURN rc = SQLFreeEnv_Internal(env);
  if (rc == ZOLANDM_OK) {
    _zolandm_diag_clear(env);
    bool last = --_zolandm_env_count == 0;
    // The last environment's exit record still goes into the file, before the trailer.
    if (last && _zolandm_trace_on() && last_exit_record != nullptr) last_exit_record(henv);
    std::free(env);
    if (last) _zolandm_trace_stop();
  }
  return rc;
}

static SQLRETURN entry_SQLFreeEnv(SQLHENV henv) {
  return _zolandm_free_env_entry(henv, [](SQLHENV h) { trace_SQLFreeEnv(1, ZOLANDM_OK, h); });
}
extern "C" SQLRETURN SQL_API SQLFreeEnv(SQLHENV henv) {
  return _zolandm_traced(entry_SQLFreeEnv, trace_SQLFreeEnv, henv);
}

SQLRETURN SQLAllocConnect_Internal(zolandm_env* env, SQLHDBC* out) {
  if (out == nullptr) return _zolandm_fail(env, ZOLANDM_E_S1009);
  auto* dbc = static_cast<zolandm_dbc*>(_zolandm_calloc(1, sizeof(zolandm_dbc)));
  if (dbc == nullptr) {
    *out = nullptr;
    return _zolandm_fail(env, ZOLANDM_E_S1001);
  }
  dbc->handle_type = ZOLANDM_DBC;
  dbc->env = env;
  dbc->autocommit = 1;
  dbc->odbc_cursors = 2;
  dbc->txn_isolation = 1;
  dbc->qualifier_width = 'A';
  dbc->next = env->dbcs;
  env->dbcs = dbc;
  if (env->odbc_version == 0) env->odbc_version = 2;
  *out = dbc;
  return ZOLANDM_OK;
}

extern "C" SQLRETURN SQL_API SQLAllocConnect(SQLHENV henv, SQLHDBC* out) {
  zolandm_global_guard lock;
  if (!_zolandm_valid_handle(henv, ZOLANDM_ENV)) return ZOLANDM_INVALID;
  auto* env = static_cast<zolandm_env*>(henv);
  _zolandm_diag_clear(env);
  if (__builtin_expect(_zolandm_trace_on(), 0)) trace_SQLAllocConnect(0, 0, henv, out);
  SQLRETURN rc = SQLAllocConnect_Internal(env, out);
  if (__builtin_expect(_zolandm_trace_on(), 0)) trace_SQLAllocConnect(1, rc, henv, out);
  return rc;
}

SQLRETURN SQLFreeConnect_Internal(zolandm_dbc* dbc) {
  if (dbc->state != ZOLANDM_DBC_ALLOCATED) return _zolandm_fail(dbc, ZOLANDM_E_S1010);
  zolandm_env* env = dbc->env;
  for (zolandm_dbc** link = &env->dbcs; *link != nullptr; link = &(*link)->next) {
    if (*link == dbc) {
      *link = dbc->next;
      break;
    }
  }
  // Descriptors still listed went with the driver connection when it was disconnected.
  _zolandm_dbc_release_descs(dbc, false);
  _zolandm_driver_release(dbc, 3);
  _zolandm_dbc_release_stmts(dbc);
  free_saved_attrs(dbc);
  for (char** s : {&dbc->cp_probe, &dbc->conn_dsn, &dbc->conn_uid, &dbc->conn_pwd, &dbc->conn_string}) {
    std::free(*s);
    *s = nullptr;
  }
  std::free(dbc->qualifier);
  dbc->qualifier = nullptr;
  dbc->handle_type = 0;
  return ZOLANDM_OK;
}

SQLRETURN _zolandm_free_connect_entry(SQLHDBC hdbc) {
  zolandm_entry entry(hdbc, ZOLANDM_DBC);
  if (!entry.ok()) return entry.rc();
  SQLRETURN rc = SQLFreeConnect_Internal(static_cast<zolandm_dbc*>(hdbc));
  if (rc == ZOLANDM_OK) {
    // Freed while the entry still holds the global lock.
    entry.forget_handle();
    _zolandm_diag_clear(hdbc);
    std::free(hdbc);
  }
  return rc;
}

static SQLRETURN entry_SQLFreeConnect(SQLHDBC hdbc) { return _zolandm_free_connect_entry(hdbc); }
extern "C" SQLRETURN SQL_API SQLFreeConnect(SQLHDBC hdbc) {
  return _zolandm_traced(entry_SQLFreeConnect, trace_SQLFreeConnect, hdbc);
}
