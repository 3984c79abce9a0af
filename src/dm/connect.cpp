// SQLConnect and SQLBrowseConnect, the per-data-source trace settings and the hand-over of
// the options the application set before connecting. SQLDriverConnect is in
// driver_connect.cpp.

#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>

#include "dm/connect_util.h"
#include "dm/dm_internal.h"
#include "odbcconfig/config.h"
#include "odbcconfig/conversions.h"
#include "odbcconfig/installer.h"
#include "odbcinst.h"
#include "sqlext.h"
#include "sqlucode.h"
#include "dm/trace_hook.h"

namespace {

using ConnectFn = SQLRETURN (*)(SQLHDBC, void*, SQLSMALLINT, void*, SQLSMALLINT, void*, SQLSMALLINT);
using BrowseFn = SQLRETURN (*)(SQLHDBC, void*, SQLSMALLINT, void*, SQLSMALLINT, SQLSMALLINT*);
using GetInfoFn = SQLRETURN (*)(SQLHDBC, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT*);

bool bad_length(SQLSMALLINT len) { return len < 0 && len != SQL_NTS; }

// One string argument in the driver's width: either the caller's own or a converted copy
// (NUL-terminated, length SQL_NTS).
struct driver_arg {
  void* ptr = nullptr;
  SQLSMALLINT len = 0;
  void* owned = nullptr;
  ~driver_arg() { std::free(owned); }
};

bool to_driver_width(driver_arg& arg, const void* text, SQLSMALLINT len, char width, char driver_width) {
  if (width == driver_width || text == nullptr) {
    arg.ptr = const_cast<void*>(text);
    arg.len = len;
    return true;
  }
  if (driver_width == 'W') {
    arg.owned = _zolandm_mbs_to_wcs_dup(static_cast<const char*>(text), len);
  } else {
    arg.owned = _zolandm_wcs_to_mbs_dup(static_cast<const SQLWCHAR*>(text), len);
  }
  if (arg.owned == nullptr) return false;
  arg.ptr = arg.owned;
  arg.len = SQL_NTS;
  return true;
}

SQLRETURN get_cursor_behavior(zolandm_dbc* dbc, SQLUSMALLINT info, SQLSMALLINT* out) {
  void* f =
      _zolandm_driver_entry_width(dbc, ZOLANDM_FN_SQLGetInfo, ZOLANDM_FN_SQLGetInfoW, ZOLANDM_FN_SQLGetInfoA);
  if (f == nullptr) {
    _zolandm_diag_add(dbc, ZOLANDM_E_IM001);
    return 1;
  }
  return _zolandm_call<GetInfoFn>(dbc->driver, &dbc->last_rc, f, dbc->drv_dbc, info, SQLPOINTER(out),
                                  SQLSMALLINT(2), static_cast<SQLSMALLINT*>(nullptr));
}

}  // namespace

int _zolandm_dsn_trace_setup(const char* dsn) {
  char buf[1024];
  _zolandm_profile_read(dsn, "TraceFile", buf, sizeof buf);
  _zolandm_trace_set_filename(buf[0] != '\0' ? buf : "/tmp/odbc.log");
  _zolandm_profile_read(dsn, "Trace", buf, sizeof buf);
  if (_zolandm_is_on(buf)) _zolandm_trace_start();
  return 0;
}

int _zolandm_conn_options_replay(zolandm_dbc* dbc, char width) {
  int combined = 0;
  if (dbc->access_mode != 0)
    combined |= _zolandm_conn_option_to_driver(dbc, SQL_ACCESS_MODE, dbc->access_mode, width);
  if (dbc->autocommit != 1)
    combined |= _zolandm_conn_option_to_driver(dbc, SQL_AUTOCOMMIT, dbc->autocommit, width);
  if (dbc->qualifier != nullptr) {
    combined |= _zolandm_conn_option_to_driver(
        dbc, SQL_CURRENT_QUALIFIER, reinterpret_cast<SQLULEN>(dbc->qualifier), dbc->qualifier_width);
  }
  if (dbc->packet_size != 0)
    combined |= _zolandm_conn_option_to_driver(dbc, SQL_PACKET_SIZE, dbc->packet_size, width);
  if (dbc->quiet_mode != 0)
    combined |= _zolandm_conn_option_to_driver(dbc, SQL_QUIET_MODE, dbc->quiet_mode, width);
  if (dbc->txn_isolation != 1) {
    combined |= _zolandm_conn_option_to_driver(dbc, SQL_TXN_ISOLATION, dbc->txn_isolation, width);
  }
  if ((combined & ~1) != 0) {
    _zolandm_diag_add(dbc, ZOLANDM_E_IM006);
    combined = -1;
  }
  combined |= get_cursor_behavior(dbc, SQL_CURSOR_COMMIT_BEHAVIOR, &dbc->commit_behavior);
  combined |= get_cursor_behavior(dbc, SQL_CURSOR_ROLLBACK_BEHAVIOR, &dbc->rollback_behavior);
  return combined == 0 || combined == 1 ? combined : -1;
}

SQLRETURN SQLConnect_Internal(zolandm_dbc* dbc, const void* dsn, SQLSMALLINT dsn_len, const void* uid,
                              SQLSMALLINT uid_len, const void* pwd, SQLSMALLINT pwd_len, char width) {
  odbcconfig::LookupSequence lookups;  // the keys of one connect: each file checked once
  if (bad_length(dsn_len) || bad_length(uid_len) || bad_length(pwd_len) || dsn_len > 32) {
    return _zolandm_fail(dbc, ZOLANDM_E_S1090);
  }
  if (dsn == nullptr || dsn_len == 0) return _zolandm_fail(dbc, ZOLANDM_E_IM002);
  if (dbc->state != ZOLANDM_DBC_ALLOCATED) return _zolandm_fail(dbc, ZOLANDM_E_08002);

  // The name as the ini files know it: UTF-8 for a wide call, NUL-terminated either way.
  std::string name;
  if (width == 'W') {
    char* utf8 = _zolandm_ucs4_to_utf8_dup(static_cast<const SQLWCHAR*>(dsn), dsn_len);
    if (utf8 == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_S1001);
    name = utf8;
    std::free(utf8);
  } else if (dsn_len == SQL_NTS) {
    name = static_cast<const char*>(dsn);
  } else {
    name.assign(static_cast<const char*>(dsn), strnlen(static_cast<const char*>(dsn), dsn_len));
  }
  _zolandm_dsn_trace_setup(name.c_str());

  bool pooled = dbc->env->pooling != 0;
  if (pooled) {
    // User and password as NUL-terminated narrow texts for matching (UTF-8 for a wide call).
    std::string user_text, password_text;
    for (auto [text, len, out] :
         {std::tuple{uid, uid_len, &user_text}, std::tuple{pwd, pwd_len, &password_text}}) {
      if (text == nullptr) continue;
      if (width == 'W') {
        char* utf8 = _zolandm_ucs4_to_utf8_dup(static_cast<const SQLWCHAR*>(text), len);
        if (utf8 == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_S1001);
        *out = utf8;
        std::free(utf8);
      } else if (len == SQL_NTS) {
        *out = static_cast<const char*>(text);
      } else {
        out->assign(static_cast<const char*>(text), strnlen(static_cast<const char*>(text), len));
      }
    }
    const char* user = uid != nullptr ? user_text.c_str() : nullptr;
    const char* password = pwd != nullptr ? password_text.c_str() : nullptr;
    int found = _zolandm_pool_find_conn(dbc, name.c_str(), user, password, nullptr);
    if (found == 0 || found == 1) {
      dbc->state = ZOLANDM_DBC_CONNECTED;
      return static_cast<SQLRETURN>(found);
    }
    if (dbc->pool_entry == nullptr) {
      // Kept for matching when the connection goes back to the pool.
      if (!_zolandm_replace_owned(&dbc->conn_dsn, name.c_str()) ||
          !_zolandm_replace_owned(&dbc->conn_uid, user) ||
          !_zolandm_replace_owned(&dbc->conn_pwd, password)) {
        return _zolandm_fail(dbc, ZOLANDM_E_S1001);
      }
    } else if (dbc->pool_entry->cp_retry_until != 0) {
      return _zolandm_connect_failure_exit(dbc, true, _zolandm_fail(dbc, ZOLANDM_E_08004));
    }
  }
  auto failed = [&](SQLRETURN rc) { return _zolandm_connect_failure_exit(dbc, pooled, rc); };

  char thread_manager[256];
  char unload_safe[256];
  char driver[1024];
  _zolandm_profile_read(name.c_str(), "ThreadManager", thread_manager, sizeof thread_manager);
  _zolandm_profile_read(name.c_str(), "UnloadSafe", unload_safe, sizeof unload_safe);
  _zolandm_profile_read(name.c_str(), "Driver", driver, sizeof driver);
  if (driver[0] == '\0') return failed(_zolandm_fail_no_driver(dbc));

  int attached = _zolandm_driver_attach(name.c_str(), driver, dbc, _zolandm_thread_safe(thread_manager),
                                        _zolandm_is_on_or_1(unload_safe), width);
  if (attached != 0 && attached != 1) return ZOLANDM_ERROR;

  char driver_width = dbc->driver->unicode ? 'W' : 'A';
  driver_arg a_dsn, a_uid, a_pwd;
  if (!to_driver_width(a_dsn, dsn, dsn_len, width, driver_width) ||
      !to_driver_width(a_uid, uid, uid_len, width, driver_width) ||
      !to_driver_width(a_pwd, pwd, pwd_len, width, driver_width)) {
    return failed(_zolandm_fail(dbc, ZOLANDM_E_S1001));
  }
  void* f =
      _zolandm_driver_entry_width(dbc, ZOLANDM_FN_SQLConnect, ZOLANDM_FN_SQLConnectW, ZOLANDM_FN_SQLConnectA);
  if (f == nullptr) {
    _zolandm_driver_release(dbc, 3);
    return failed(_zolandm_fail(dbc, ZOLANDM_E_IM001));
  }
  pthread_mutex_unlock(&_zolandm_global_lock);
  SQLRETURN rc = _zolandm_call<ConnectFn>(dbc->driver, &dbc->last_rc, f, dbc->drv_dbc, a_dsn.ptr, a_dsn.len,
                                          a_uid.ptr, a_uid.len, a_pwd.ptr, a_pwd.len);
  pthread_mutex_lock(&_zolandm_global_lock);
  if (!zolandm_succeeded(rc)) return failed(rc);

  dbc->state = ZOLANDM_DBC_CONNECTED;
  if (_zolandm_conn_options_replay(dbc, width) != 0 || attached == 1) rc = ZOLANDM_OK_INFO;
  return rc;
}

SQLRETURN SQLBrowseConnect_Internal(zolandm_dbc* dbc, const void* in, SQLSMALLINT in_len, void* out,
                                    SQLSMALLINT out_max, SQLSMALLINT* out_len, char width) {
  odbcconfig::LookupSequence lookups;
  if (bad_length(in_len) || out_max < 0) return _zolandm_fail(dbc, ZOLANDM_E_S1090);
  if (dbc->state != ZOLANDM_DBC_ALLOCATED && dbc->state != ZOLANDM_DBC_BROWSING)
    return _zolandm_fail(dbc, ZOLANDM_E_08002);

  if (dbc->state == ZOLANDM_DBC_ALLOCATED) {
    zolandm_config* cfg = nullptr;
    if (_zolandm_cfg_new_from_connstr(&cfg, in, in_len, width == 'W') != 0 || cfg == nullptr) {
      return _zolandm_fail(dbc, ZOLANDM_E_HY001);
    }
    std::string dsn = _zolandm_connstr_value(cfg, "DSN");
    std::string driver = _zolandm_connstr_value(cfg, "DRIVER");
    _zolandm_cfg_free(cfg);
    int attached = _zolandm_attach_named_driver(dbc, dsn, driver, width);
    if (attached == -1) return _zolandm_fail_no_driver(dbc);
    if (attached < 0) return ZOLANDM_ERROR;
  }
  if (dbc->driver == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_IM001);

  char driver_width = dbc->driver->unicode ? 'W' : 'A';
  driver_arg a_in;
  if (!to_driver_width(a_in, in, in_len, width, driver_width)) return _zolandm_fail(dbc, ZOLANDM_E_HY001);
  void* drv_out = out;
  void* tmp = nullptr;
  if (width != driver_width && out != nullptr) {
    size_t bytes = driver_width == 'W' ? (static_cast<size_t>(out_max) + 1) * sizeof(SQLWCHAR)
                                       : static_cast<size_t>(out_max) + 1;
    tmp = _zolandm_calloc(1, bytes);
    if (tmp == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_HY001);
    drv_out = tmp;
  }
  void* f = _zolandm_driver_entry_width(dbc, ZOLANDM_FN_SQLBrowseConnect, ZOLANDM_FN_SQLBrowseConnectW,
                                        ZOLANDM_FN_SQLBrowseConnectA);
  if (f == nullptr) {
    std::free(tmp);
    _zolandm_driver_release(dbc, 3);
    dbc->state = ZOLANDM_DBC_ALLOCATED;
    return _zolandm_fail(dbc, ZOLANDM_E_IM001);
  }
  pthread_mutex_unlock(&_zolandm_global_lock);
  SQLRETURN rc = _zolandm_call<BrowseFn>(dbc->driver, &dbc->last_rc, f, dbc->drv_dbc, a_in.ptr, a_in.len,
                                         drv_out, out_max, out_len);
  pthread_mutex_lock(&_zolandm_global_lock);

  if (tmp != nullptr && (zolandm_succeeded(rc) || rc == ZOLANDM_NEED_DATA)) {
    _zolandm_convert_out(tmp, driver_width, out, width, out_max);
  }
  std::free(tmp);

  if (zolandm_succeeded(rc)) {
    dbc->state = ZOLANDM_DBC_CONNECTED;
    if (_zolandm_conn_options_replay(dbc, width) != 0) rc = ZOLANDM_OK_INFO;
  } else if (rc == ZOLANDM_NEED_DATA) {
    dbc->state = ZOLANDM_DBC_BROWSING;
  } else if (rc == ZOLANDM_ERROR) {
    dbc->state = ZOLANDM_DBC_ALLOCATED;
  }
  return rc;
}

// ---- entries ----------------------------------------------------------------------------

static SQLRETURN entry_SQLConnect(SQLHDBC hdbc, SQLCHAR* dsn, SQLSMALLINT dsn_len, SQLCHAR* uid,
                                  SQLSMALLINT uid_len, SQLCHAR* pwd, SQLSMALLINT pwd_len) {
  zolandm_entry entry(hdbc, ZOLANDM_DBC);
  if (!entry.ok()) return entry.rc();
  return SQLConnect_Internal(static_cast<zolandm_dbc*>(hdbc), dsn, dsn_len, uid, uid_len, pwd, pwd_len, 'A');
}
extern "C" SQLRETURN SQL_API SQLConnect(SQLHDBC hdbc, SQLCHAR* dsn, SQLSMALLINT dsn_len, SQLCHAR* uid,
                                        SQLSMALLINT uid_len, SQLCHAR* pwd, SQLSMALLINT pwd_len) {
  return _zolandm_traced(entry_SQLConnect, trace_SQLConnect, hdbc, dsn, dsn_len, uid, uid_len, pwd, pwd_len);
}

extern "C" SQLRETURN SQL_API SQLConnectA(SQLHDBC hdbc, SQLCHAR* dsn, SQLSMALLINT dsn_len, SQLCHAR* uid,
                                         SQLSMALLINT uid_len, SQLCHAR* pwd, SQLSMALLINT pwd_len) {
  return SQLConnect(hdbc, dsn, dsn_len, uid, uid_len, pwd, pwd_len);
}

static SQLRETURN entry_SQLConnectW(SQLHDBC hdbc, SQLWCHAR* dsn, SQLSMALLINT dsn_len, SQLWCHAR* uid,
                                   SQLSMALLINT uid_len, SQLWCHAR* pwd, SQLSMALLINT pwd_len) {
  zolandm_entry entry(hdbc, ZOLANDM_DBC);
  if (!entry.ok()) return entry.rc();
  return SQLConnect_Internal(static_cast<zolandm_dbc*>(hdbc), dsn, dsn_len, uid, uid_len, pwd, pwd_len, 'W');
}
extern "C" SQLRETURN SQL_API SQLConnectW(SQLHDBC hdbc, SQLWCHAR* dsn, SQLSMALLINT dsn_len, SQLWCHAR* uid,
                                         SQLSMALLINT uid_len, SQLWCHAR* pwd, SQLSMALLINT pwd_len) {
  return _zolandm_traced(entry_SQLConnectW, trace_SQLConnectW, hdbc, dsn, dsn_len, uid, uid_len, pwd,
                         pwd_len);
}

static SQLRETURN entry_SQLBrowseConnect(SQLHDBC hdbc, SQLCHAR* in, SQLSMALLINT in_len, SQLCHAR* out,
                                        SQLSMALLINT out_max, SQLSMALLINT* out_len) {
  zolandm_entry entry(hdbc, ZOLANDM_DBC);
  if (!entry.ok()) return entry.rc();
  return SQLBrowseConnect_Internal(static_cast<zolandm_dbc*>(hdbc), in, in_len, out, out_max, out_len, 'A');
}
extern "C" SQLRETURN SQL_API SQLBrowseConnect(SQLHDBC hdbc, SQLCHAR* in, SQLSMALLINT in_len, SQLCHAR* out,
                                              SQLSMALLINT out_max, SQLSMALLINT* out_len) {
  return _zolandm_traced(entry_SQLBrowseConnect, trace_SQLBrowseConnect, hdbc, in, in_len, out, out_max,
                         out_len);
}

extern "C" SQLRETURN SQL_API SQLBrowseConnectA(SQLHDBC hdbc, SQLCHAR* in, SQLSMALLINT in_len, SQLCHAR* out,
                                               SQLSMALLINT out_max, SQLSMALLINT* out_len) {
  return SQLBrowseConnect(hdbc, in, in_len, out, out_max, out_len);
}

static SQLRETURN entry_SQLBrowseConnectW(SQLHDBC hdbc, SQLWCHAR* in, SQLSMALLINT in_len, SQLWCHAR* out,
                                         SQLSMALLINT out_max, SQLSMALLINT* out_len) {
  zolandm_entry entry(hdbc, ZOLANDM_DBC);
  if (!entry.ok()) return entry.rc();
  return SQLBrowseConnect_Internal(static_cast<zolandm_dbc*>(hdbc), in, in_len, out, out_max, out_len, 'W');
}
extern "C" SQLRETURN SQL_API SQLBrowseConnectW(SQLHDBC hdbc, SQLWCHAR* in, SQLSMALLINT in_len, SQLWCHAR* out,
                                               SQLSMALLINT out_max, SQLSMALLINT* out_len) {
  return _zolandm_traced(entry_SQLBrowseConnectW, trace_SQLBrowseConnectW, hdbc, in, in_len, out, out_max,
                         out_len);
}
