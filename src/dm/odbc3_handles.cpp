// ODBC 3 handles: SQLAllocHandle, SQLAllocHandleStd and SQLFreeHandle over the ODBC 2
// allocation and release workers, explicit descriptors, and the environment attributes the
// manager keeps itself (ODBC version, pooling, pool matching, NUL-terminated output).

#include <cstdint>
#include <cstdlib>

#include "dm/stmt_internal.h"
#include "sqlext.h"
#include "dm/trace_hook.h"

namespace {

using AllocHandleFn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*);
using FreeHandleFn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE);

// SQL_ATTR_CP_MATCH, SQL_ATTR_OUTPUT_NTS and the read-only attribute 1056.
constexpr SQLINTEGER kCpMatch = 202;
constexpr SQLINTEGER kOutputNts = 10001;
constexpr SQLINTEGER kFixedFour = 1056;

SQLRETURN envattr_set(zolandm_env* env, SQLINTEGER attr, SQLPOINTER value) {
  const auto v = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(value));
  if (env != nullptr && env->dbcs != nullptr) return _zolandm_fail(env, ZOLANDM_E_HY010);
  switch (attr) {
    case SQL_ATTR_ODBC_VERSION:
      if (v != 2 && v != 3) return _zolandm_fail(env, ZOLANDM_E_HY024);
      env->odbc_version = static_cast<int>(v);
      return ZOLANDM_OK;
    case SQL_ATTR_CONNECTION_POOLING:
      if (v <= 2) {
        // Process-wide: environments made from now on start with it.
        _zolandm_default_pooling = static_cast<int>(v);
        return ZOLANDM_OK;
      }
      return env == nullptr ? ZOLANDM_ERROR : _zolandm_fail(env, ZOLANDM_E_HY024);
    case kCpMatch:
      if (v > 1) return _zolandm_fail(env, ZOLANDM_E_HY024);
      env->cp_match = static_cast<int>(v);
      return ZOLANDM_OK;
    case kOutputNts:
      if (v == 1) return ZOLANDM_OK;
      return _zolandm_fail(env, v == 0 ? ZOLANDM_E_HYC00 : ZOLANDM_E_HY024);
    default:
      return _zolandm_fail(env, ZOLANDM_E_HY092);
  }
}

SQLRETURN envattr_get(zolandm_env* env, SQLINTEGER attr, SQLPOINTER value) {
  SQLINTEGER v;
  switch (attr) {
    case SQL_ATTR_ODBC_VERSION:
      v = env->odbc_version;
      break;
    case SQL_ATTR_CONNECTION_POOLING:
      v = _zolandm_default_pooling;
      break;
    case kCpMatch:
      v = env->cp_match;
      break;
    case kFixedFour:
      v = 4;
      break;
    case kOutputNts:
      v = 1;
      break;
    default:
      return _zolandm_fail(env, ZOLANDM_E_HY092);
  }
  if (value != nullptr) *static_cast<SQLINTEGER*>(value) = v;
  return ZOLANDM_OK;
}

// The pooling attribute is process-wide: it may be given no environment at all. Any handle
// that is given must be a real environment.
template <typename Fn>
SQLRETURN envattr_entry(SQLHENV henv, SQLINTEGER attr, Fn work) {
  zolandm_global_guard lock;
  if (henv == nullptr && attr == SQL_ATTR_CONNECTION_POOLING) return work(nullptr);
  if (!_zolandm_valid_handle(henv, ZOLANDM_ENV)) return ZOLANDM_INVALID;
  _zolandm_diag_clear(henv);
  return work(static_cast<zolandm_env*>(henv));
}

void free_desc_record(zolandm_desc* d) {
  _zolandm_diag_clear(d);
  d->handle_type = 0;
  std::free(d);
}

void unlink_desc(zolandm_dbc* dbc, zolandm_desc* d) {
  for (zolandm_desc** link = &dbc->descs; *link != nullptr; link = &(*link)->next) {
    if (*link == d) {
      *link = d->next;
      return;
    }
  }
}

// Statements that use a descriptor go back to their implicit one when it is released.
void forget_desc_in_stmts(zolandm_dbc* dbc, const zolandm_desc* d) {
  for (zolandm_stmt* s = dbc->stmts; s != nullptr; s = s->next) {
    for (zolandm_desc*& slot : s->app_desc) {
      if (slot == d) slot = nullptr;
    }
  }
}

SQLRETURN alloc_desc(zolandm_dbc* dbc, SQLHANDLE* out) {
  // The driver record tells the driver's version: there is none before a connect.
  if (dbc->state < ZOLANDM_DBC_CONNECTED || dbc->driver == nullptr)
    return _zolandm_fail(dbc, ZOLANDM_E_08003);
  if (dbc->driver->drv_version != 3) return _zolandm_fail(dbc, ZOLANDM_E_HYC00);
  if (out == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_HY009);
  void* f = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLAllocHandle);
  if (f == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_IM001);
  auto* d = static_cast<zolandm_desc*>(_zolandm_calloc(1, sizeof(zolandm_desc)));
  if (d == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_HY001);
  SQLRETURN rc = _zolandm_call<AllocHandleFn>(dbc->driver, &dbc->last_rc, f, SQLSMALLINT(SQL_HANDLE_DESC),
                                              SQLHANDLE(dbc->drv_dbc), &d->drv_desc);
  if (!zolandm_succeeded(rc)) {
    std::free(d);
    return ZOLANDM_ERROR;
  }
  d->handle_type = ZOLANDM_DESC;
  d->dbc = dbc;
  d->next = dbc->descs;
  dbc->descs = d;
  *out = d;
  return ZOLANDM_OK;
}

// Pushes "HY092" on an environment or connection given with a handle type the manager does
// not know; anything else is not a handle. Global lock held.
SQLRETURN wrong_type(SQLHANDLE h) {
  if (_zolandm_valid_handle(h, ZOLANDM_ENV) || _zolandm_valid_handle(h, ZOLANDM_DBC)) {
    _zolandm_diag_add(h, ZOLANDM_E_HY092);
    return ZOLANDM_ERROR;
  }
  return ZOLANDM_INVALID;
}

SQLRETURN alloc_handle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output, int env_version) {
  switch (type) {
    case SQL_HANDLE_ENV: {
      _zolandm_set_initialised();
      zolandm_global_guard lock;
      // Nowhere to record why: the call just fails.
      if (output == nullptr) return ZOLANDM_ERROR;
      return SQLAllocEnv_Internal(output, env_version);
    }
    case SQL_HANDLE_DBC: {
      zolandm_entry entry(input, ZOLANDM_ENV);
      if (!entry.ok()) return entry.rc();
      return SQLAllocHandle_Internal(type, input, output);
    }
    case SQL_HANDLE_STMT:
    case SQL_HANDLE_DESC: {
      // The connection is kept from other calls like SQLAllocStmt's: its lists change and
      // its diagnostics are cleared.
      zolandm_entry entry(input, ZOLANDM_DBC);
      if (!entry.ok()) return entry.rc();
      return SQLAllocHandle_Internal(type, input, output);
    }
    default: {
      zolandm_global_guard lock;
      return SQLAllocHandle_Internal(type, input, output);
    }
  }
}

SQLRETURN free_desc(SQLHDESC h) {
  zolandm_entry entry(h, ZOLANDM_DESC);
  if (!entry.ok()) return entry.rc();
  auto* d = static_cast<zolandm_desc*>(h);
  zolandm_dbc* dbc = d->dbc;
  if (d->owner_stmt != nullptr) return _zolandm_fail(d, ZOLANDM_E_HY017);
  bool listed = false;
  for (zolandm_desc* x = dbc->descs; x != nullptr && !listed; x = x->next) listed = x == d;
  if (!listed) return ZOLANDM_INVALID;
  SQLRETURN rc = ZOLANDM_OK;
  if (d->drv_desc != nullptr) {
    void* f = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLFreeHandle);
    if (f == nullptr) return _zolandm_fail(d, ZOLANDM_E_IM001);
    zolandm_driver* drv = dbc->driver;
    entry.unlock();
    rc = _zolandm_call<FreeHandleFn>(drv, &d->last_rc, f, SQLSMALLINT(SQL_HANDLE_DESC), d->drv_desc);
    entry.relock();
    if (!zolandm_succeeded(rc)) return rc;
  }
  unlink_desc(dbc, d);
  forget_desc_in_stmts(dbc, d);
  entry.forget_handle();
  free_desc_record(d);
  return rc;
}

}  // namespace

void _zolandm_dbc_release_descs(zolandm_dbc* dbc, bool free_in_driver) {
  void* f = free_in_driver ? _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLFreeHandle) : nullptr;
  while (dbc->descs != nullptr) {
    zolandm_desc* d = dbc->descs;
    dbc->descs = d->next;
    if (f != nullptr && d->drv_desc != nullptr) {
      _zolandm_call<FreeHandleFn>(dbc->driver, &d->last_rc, f, SQLSMALLINT(SQL_HANDLE_DESC), d->drv_desc);
    }
    forget_desc_in_stmts(dbc, d);
    free_desc_record(d);
  }
}

SQLRETURN SQLAllocHandle_Internal(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  switch (type) {
    case SQL_HANDLE_DBC: {
      auto* env = static_cast<zolandm_env*>(input);
      // An environment of SQLAllocHandle declares its version before it has connections.
      if (env->odbc_version == 0) return _zolandm_fail(env, ZOLANDM_E_HY010);
      return SQLAllocConnect_Internal(env, output);
    }
    case SQL_HANDLE_STMT:
      return SQLAllocStmt_Internal(static_cast<zolandm_dbc*>(input), output);
    case SQL_HANDLE_DESC:
      return alloc_desc(static_cast<zolandm_dbc*>(input), output);
    default:
      return wrong_type(input);
  }
}

// ---- entries ----------------------------------------------------------------------------------

static SQLRETURN entry_SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  return alloc_handle(type, input, output, 0);
}
extern "C" SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  if (type == SQL_HANDLE_ENV) {
    return _zolandm_traced_after(entry_SQLAllocHandle(type, input, output), trace_SQLAllocHandle, type, input,
                                 output);
  }
  return _zolandm_traced(entry_SQLAllocHandle, trace_SQLAllocHandle, type, input, output);
}

static SQLRETURN entry_SQLAllocHandleStd(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  return alloc_handle(type, input, output, 3);
}
extern "C" SQLRETURN SQL_API SQLAllocHandleStd(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  if (type == SQL_HANDLE_ENV) {
    return _zolandm_traced_after(entry_SQLAllocHandleStd(type, input, output), trace_SQLAllocHandle, type,
                                 input, output);
  }
  return _zolandm_traced(entry_SQLAllocHandleStd, trace_SQLAllocHandle, type, input, output);
}

static SQLRETURN entry_SQLFreeHandle(SQLSMALLINT type, SQLHANDLE h) {
  switch (type) {
    case SQL_HANDLE_ENV:
      return _zolandm_free_env_entry(
          h, [](SQLHENV env) { trace_SQLFreeHandle(1, ZOLANDM_OK, SQL_HANDLE_ENV, env); });
    case SQL_HANDLE_DBC:
      return _zolandm_free_connect_entry(h);
    case SQL_HANDLE_STMT:
      return _zolandm_free_stmt_entry(h, SQL_DROP);
    case SQL_HANDLE_DESC:
      return free_desc(h);
    default: {
      zolandm_global_guard lock;
      return wrong_type(h);
    }
  }
}
extern "C" SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE h) {
  // A call that names no kind of handle is refused untraced.
  if (type < SQL_HANDLE_ENV || type > SQL_HANDLE_DESC) return entry_SQLFreeHandle(type, h);
  return _zolandm_traced(entry_SQLFreeHandle, trace_SQLFreeHandle, type, h);
}

static SQLRETURN entry_SQLSetEnvAttr(SQLHENV henv, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER length) {
  (void)length;  // every environment attribute is an integer
  return envattr_entry(henv, attr, [&](zolandm_env* env) { return envattr_set(env, attr, value); });
}
extern "C" SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV henv, SQLINTEGER attr, SQLPOINTER value,
                                           SQLINTEGER length) {
  return _zolandm_traced(entry_SQLSetEnvAttr, trace_SQLSetEnvAttr, henv, attr, value, length);
}

static SQLRETURN entry_SQLGetEnvAttr(SQLHENV henv, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER buf_len,
                                     SQLINTEGER* str_len) {
  (void)buf_len;
  (void)str_len;
  return envattr_entry(henv, attr, [&](zolandm_env* env) -> SQLRETURN {
    if (env == nullptr) {
      if (value != nullptr) *static_cast<SQLINTEGER*>(value) = _zolandm_default_pooling;
      return ZOLANDM_OK;
    }
    return envattr_get(env, attr, value);
  });
}
extern "C" SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV henv, SQLINTEGER attr, SQLPOINTER value,
                                           SQLINTEGER buf_len, SQLINTEGER* str_len) {
  return _zolandm_traced(entry_SQLGetEnvAttr, trace_SQLGetEnvAttr, henv, attr, value, buf_len, str_len);
}
