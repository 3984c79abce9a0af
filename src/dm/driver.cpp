// Driver loading: attaching a driver library, its driver environment and a driver connection
// to a connection, releasing them again, looking entry points up by function id, and handing
// one connection option to the driver.

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <cstring>
#include <string>

#include "dm/dm_internal.h"
#include "odbcconfig/conversions.h"
#include "odbcinst.h"
#include "sqlucode.h"

namespace {

using AllocHandleFn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*);
using AllocEnvFn = SQLRETURN (*)(SQLHENV*);
using AllocConnectFn = SQLRETURN (*)(SQLHENV, SQLHDBC*);
using SetEnvAttrFn = SQLRETURN (*)(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER);
using FreeHandleFn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE);
using FreeOneFn = SQLRETURN (*)(SQLHANDLE);
using SetOptionFn = SQLRETURN (*)(SQLHDBC, SQLUSMALLINT, SQLULEN);
using SetAttrFn = SQLRETURN (*)(SQLHDBC, SQLINTEGER, SQLPOINTER, SQLINTEGER);

constexpr int kProfileBuf = 1024;

// Reads one key with an empty default, user file first, then the system file.
void profile_read(const char* section, const char* key, const char* file, char* buf) {
  buf[0] = '\0';
  SQLSetConfigMode(ODBC_BOTH_DSN);
  SQLGetPrivateProfileString(section, key, "", buf, kProfileBuf, file);
}

void free_driver_record(zolandm_driver* drv) {
  if (drv->thread_safe == 0) pthread_mutex_destroy(&drv->mutex);
  std::free(drv);
}

void unlink_driver(zolandm_env* env, zolandm_driver* drv) {
  for (zolandm_driver** link = &env->drivers; *link != nullptr; link = &(*link)->next) {
    if (*link == drv) {
      *link = drv->next;
      return;
    }
  }
}

// Frees a driver record's environment handle (global lock held).
void free_driver_env(zolandm_env* env, zolandm_driver* drv, int mode) {
  if (drv->drv_env == nullptr) return;
  void* free_handle = _zolandm_driver_record_entry(drv, ZOLANDM_FN_SQLFreeHandle);
  void* free_env = _zolandm_driver_record_entry(drv, ZOLANDM_FN_SQLFreeEnv);
  if (free_handle != nullptr && (mode == 3 || free_env == nullptr)) {
    _zolandm_call<FreeHandleFn>(drv, &env->last_rc, free_handle, SQLSMALLINT(SQL_HANDLE_ENV), drv->drv_env);
  } else if (free_env != nullptr) {
    _zolandm_call<FreeOneFn>(drv, &env->last_rc, free_env, drv->drv_env);
  }
  drv->drv_env = nullptr;
}

}  // namespace

void* _zolandm_driver_lookup(zolandm_driver* drv, int id) {
  void* entry = _zolandm_lib_symbol(drv->lib, _zolandm_function_names[id]);
  __atomic_store_n(&drv->entries[id], entry, __ATOMIC_RELAXED);
  return entry;
}

void* _zolandm_pick_2_or_3(const zolandm_dbc* dbc, void* f2, void* f3, bool* odbc3) {
  int app = _zolandm_app_version(dbc);
  int drv = _zolandm_drv_version(dbc);
  bool use3;
  if (app == 2 && drv == 2) {
    use3 = false;
  } else if (app == 2) {
    use3 = f2 == nullptr;
  } else {
    use3 = f3 != nullptr;
  }
  *odbc3 = use3;
  return use3 ? f3 : f2;
}

void* _zolandm_choose_2_or_3(zolandm_dbc* dbc, int id2, int id3, bool* odbc3) {
  return _zolandm_pick_2_or_3(dbc, _zolandm_driver_entry(dbc, id2), _zolandm_driver_entry(dbc, id3), odbc3);
}

void* _zolandm_driver_entry_width(zolandm_dbc* dbc, int plain_id, int w_id, int a_id) {
  if (dbc == nullptr || dbc->driver == nullptr) return nullptr;
  if (dbc->driver->unicode) return _zolandm_driver_entry(dbc, w_id);
  void* f = _zolandm_driver_entry(dbc, plain_id);
  if (f == nullptr && a_id != 0) f = _zolandm_driver_entry(dbc, a_id);
  return f;
}

int _zolandm_driver_attach(const char* dsn, const char* driver, zolandm_dbc* dbc, int thread_safe,
                           int unload_safe, char width) {
  if (driver == nullptr || driver[0] == '\0') {
    if (dbc != nullptr && dbc->handle_type == ZOLANDM_DBC) _zolandm_diag_add(dbc, ZOLANDM_E_IM002);
    return -1;
  }
  if (dbc == nullptr || dbc->handle_type != ZOLANDM_DBC || dbc->env == nullptr) return -2;
  zolandm_env* env = dbc->env;

  // Library path and pool settings.
  char path[kProfileBuf];
  char buf[kProfileBuf];
  char cp_timeout_text[kProfileBuf] = "";
  char cp_probe[kProfileBuf] = "";
  if (driver[0] == '.' || driver[0] == '/') {
    std::snprintf(path, sizeof path, "%s", driver);
    if (dsn != nullptr && dsn[0] != '\0') {
      profile_read("ODBC Data Sources", dsn, "odbc.ini", buf);
      if (buf[0] != '\0') {
        profile_read(buf, "CPTimeout", "odbcinst.ini", cp_timeout_text);
        profile_read(buf, "CPProbe", "odbcinst.ini", cp_probe);
      }
    }
  } else {
    char name[kProfileBuf];
    const char* start = driver[0] == '{' ? driver + 1 : driver;
    std::snprintf(name, sizeof name, "%s", start);
    size_t len = std::strlen(name);
    if (len > 0 && name[len - 1] == '}') name[len - 1] = '\0';
    profile_read(name, "Driver", "odbcinst.ini", path);
    if (path[0] == '\0') std::snprintf(path, sizeof path, "%s", driver);
    profile_read(name, "CPTimeout", "odbcinst.ini", cp_timeout_text);
    profile_read(name, "CPProbe", "odbcinst.ini", cp_probe);
  }
  int64_t cp_timeout = cp_timeout_text[0] != '\0' ? std::strtol(cp_timeout_text, nullptr, 10) : 0;

  void* lib = _zolandm_lib_open(path);
  if (lib == nullptr) {
    // One record with a real SQLSTATE: the loader's reason follows the
    // table's text in its message.
    const char* why = _zolandm_lib_error();
    std::string text = _zolandm_text_of(ZOLANDM_E_IM003);
    if (why != nullptr && why[0] != '\0') text += std::string(": ") + why;
    _zolandm_diag_add(dbc, ZOLANDM_E_IM003, text.c_str());
    return -1;
  }
  if (unload_safe) _zolandm_lib_mark_unload_safe(lib);

  zolandm_driver* drv = nullptr;
  bool reuse_connection = false;
  if (dbc->driver != nullptr) {
    if (dbc->driver->lib == lib) {
      _zolandm_lib_close(lib);
      drv = dbc->driver;
      reuse_connection = dbc->drv_dbc != nullptr;
    } else {
      // The pool keys were just stored by the connect under way: they belong to the new
      // connection, not to the driver that goes.
      char* keys[4] = {dbc->conn_dsn, dbc->conn_uid, dbc->conn_pwd, dbc->conn_string};
      dbc->conn_dsn = dbc->conn_uid = dbc->conn_pwd = dbc->conn_string = nullptr;
      _zolandm_driver_release(dbc, 3);
      dbc->conn_dsn = keys[0];
      dbc->conn_uid = keys[1];
      dbc->conn_pwd = keys[2];
      dbc->conn_string = keys[3];
    }
  }

  if (drv == nullptr) {
    for (zolandm_driver* d = env->drivers; d != nullptr; d = d->next) {
      if (d->lib == lib) {
        drv = d;
        break;
      }
    }
    if (drv != nullptr) {
      _zolandm_lib_close(lib);  // one reference per record
    } else {
      drv = static_cast<zolandm_driver*>(_zolandm_calloc(1, sizeof(zolandm_driver)));
      if (drv == nullptr) {
        _zolandm_lib_close(lib);
        _zolandm_diag_add(dbc, ZOLANDM_E_S1001);
        return -1;
      }
      drv->lib = lib;
      drv->thread_safe = static_cast<int16_t>(thread_safe != 0 ? 1 : 0);
      if (drv->thread_safe == 0) pthread_mutex_init(&drv->mutex, nullptr);
      void* own_connect_w = reinterpret_cast<void*>(&SQLConnectW);
      void* connect_w = _zolandm_driver_record_entry(drv, ZOLANDM_FN_SQLConnectW);
      drv->unicode = static_cast<int16_t>(connect_w != nullptr && connect_w != own_connect_w ? 1 : 0);

      // Driver environment. Anything but success fails the load: a half-made environment
      // is of no use, and keeping the record would keep the library referenced for ever.
      SQLRETURN rc;
      void* alloc_handle = _zolandm_driver_record_entry(drv, ZOLANDM_FN_SQLAllocHandle);
      void* alloc_env = _zolandm_driver_record_entry(drv, ZOLANDM_FN_SQLAllocEnv);
      drv->drv_version = 2;
      if (alloc_handle != nullptr) {
        rc = _zolandm_call<AllocHandleFn>(drv, &env->last_rc, alloc_handle, SQLSMALLINT(SQL_HANDLE_ENV),
                                          SQLHANDLE(nullptr), &drv->drv_env);
      } else if (alloc_env != nullptr) {
        rc = _zolandm_call<AllocEnvFn>(drv, &env->last_rc, alloc_env, &drv->drv_env);
      } else {
        rc = ZOLANDM_ERROR;
      }
      if (!zolandm_succeeded(rc)) {
        if (rc != ZOLANDM_ERROR && drv->drv_env != nullptr) free_driver_env(env, drv, 3);
        _zolandm_lib_close(lib);
        free_driver_record(drv);
        _zolandm_diag_add(dbc, ZOLANDM_E_IM004);
        return -1;
      }
      if (alloc_handle != nullptr) {
        void* set_env_attr = _zolandm_driver_record_entry(drv, ZOLANDM_FN_SQLSetEnvAttr);
        if (set_env_attr != nullptr) {
          rc = _zolandm_call<SetEnvAttrFn>(
              drv, &env->last_rc, set_env_attr, drv->drv_env, SQLINTEGER(SQL_ATTR_ODBC_VERSION),
              reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(env->odbc_version)), SQLINTEGER(0));
          if (rc == 0) drv->drv_version = 3;
        }
      }
      drv->conn_count = 0;
      drv->next = env->drivers;
      env->drivers = drv;
    }
  }

  dbc->driver = drv;
  if (!reuse_connection && dbc->drv_dbc == nullptr) {
    void* alloc_handle = _zolandm_driver_record_entry(drv, ZOLANDM_FN_SQLAllocHandle);
    void* alloc_connect = _zolandm_driver_record_entry(drv, ZOLANDM_FN_SQLAllocConnect);
    SQLRETURN rc = ZOLANDM_ERROR;
    if (alloc_handle != nullptr) {
      rc = _zolandm_call<AllocHandleFn>(drv, &env->last_rc, alloc_handle, SQLSMALLINT(SQL_HANDLE_DBC),
                                        SQLHANDLE(drv->drv_env), &dbc->drv_dbc);
    } else if (alloc_connect != nullptr) {
      rc = _zolandm_call<AllocConnectFn>(drv, &env->last_rc, alloc_connect, drv->drv_env, &dbc->drv_dbc);
    }
    if (rc == ZOLANDM_ERROR || dbc->drv_dbc == nullptr) {
      dbc->driver = nullptr;
      dbc->drv_dbc = nullptr;
      _zolandm_diag_add(dbc, ZOLANDM_E_IM005);
      return -1;
    }
    drv->conn_count++;
  }
  // A driver built for 2-byte wide characters would read every connection string in
  // halves: it is refused before one reaches it ("driver not capable": the library
  // loaded, and the message is no loader text).
  if (_zolandm_driver_two_byte_wide(drv, dbc->drv_dbc)) {
    _zolandm_driver_release(dbc, 3);
    _zolandm_diag_add(
        dbc, ZOLANDM_E_S1C00,
        "Driver's wide characters (SQLWCHAR) are 2 bytes, this driver manager's 4: use its ANSI library");
    return -1;
  }

  if (dbc->login_timeout != 0) {
    if (_zolandm_conn_option_to_driver(dbc, SQL_LOGIN_TIMEOUT, dbc->login_timeout, width) == ZOLANDM_ERROR) {
      _zolandm_diag_add(dbc, ZOLANDM_E_IM006);
      return 1;
    }
  }
  for (zolandm_saved_attr* a = dbc->saved_attrs; a != nullptr; a = a->next) {
    int rc = _zolandm_conn_option_to_driver(dbc, a->attr, a->value, a->width);
    if (a->attr < 1000 && rc == ZOLANDM_ERROR) {
      _zolandm_diag_add(dbc, ZOLANDM_E_IM006);
      return 1;
    }
  }

  dbc->cp_timeout = cp_timeout;
  std::free(dbc->cp_probe);
  dbc->cp_probe = _zolandm_strdup(cp_probe);
  return 0;
}

int _zolandm_driver_release(zolandm_dbc* dbc, int mode) {
  if (dbc == nullptr || dbc->handle_type != ZOLANDM_DBC) return -2;
  zolandm_driver* drv = dbc->driver;
  if (drv == nullptr || drv->lib == nullptr || dbc->drv_dbc == nullptr) return 0;

  void* free_handle = _zolandm_driver_record_entry(drv, ZOLANDM_FN_SQLFreeHandle);
  void* free_connect = _zolandm_driver_record_entry(drv, ZOLANDM_FN_SQLFreeConnect);
  if (free_handle != nullptr && (mode == 3 || free_connect == nullptr)) {
    _zolandm_call<FreeHandleFn>(drv, &dbc->last_rc, free_handle, SQLSMALLINT(SQL_HANDLE_DBC), dbc->drv_dbc);
  } else if (free_connect != nullptr) {
    _zolandm_call<FreeOneFn>(drv, &dbc->last_rc, free_connect, dbc->drv_dbc);
  }
  dbc->drv_dbc = nullptr;

  if (--drv->conn_count <= 0) {
    zolandm_env* env = dbc->env;
    free_driver_env(env, drv, mode);
    _zolandm_lib_close(drv->lib);
    unlink_driver(env, drv);
    free_driver_record(drv);
  }

  dbc->driver = nullptr;
  dbc->state = ZOLANDM_DBC_ALLOCATED;
  // Statements still listed die with the driver connection they belonged to.
  _zolandm_dbc_release_stmts(dbc);
  dbc->odbc_cursors = 2;
  dbc->packet_size = 0;
  dbc->quiet_mode = 0;
  dbc->txn_isolation = 1;
  for (char** s : {&dbc->cp_probe, &dbc->conn_dsn, &dbc->conn_uid, &dbc->conn_pwd, &dbc->conn_string}) {
    std::free(*s);
    *s = nullptr;
  }
  std::free(dbc->qualifier);
  dbc->qualifier = nullptr;
  return 0;
}

void _zolandm_env_free_drivers(zolandm_env* env) {
  while (env->drivers != nullptr) {
    zolandm_driver* drv = env->drivers;
    env->drivers = drv->next;
    free_driver_env(env, drv, 3);
    _zolandm_lib_close(drv->lib);
    free_driver_record(drv);
  }
}

bool _zolandm_conn_option_is_string(unsigned option) {
  switch (option) {
    case SQL_OPT_TRACEFILE:
    case SQL_TRANSLATE_DLL:
    case SQL_CURRENT_QUALIFIER:
    case 1051:
    case SQL_ATTR_ENLIST_IN_DTC:
    case 1212:
    case 1214:
    case 1254:
      return true;
    default:
      return false;
  }
}

int _zolandm_conn_option_to_driver(zolandm_dbc* dbc, uint16_t option, SQLULEN value, char width) {
  zolandm_driver* drv = dbc->driver;
  if (drv == nullptr) {
    _zolandm_diag_add(dbc, ZOLANDM_E_IM001);
    return 1;
  }
  char driver_width = drv->unicode ? 'W' : 'A';
  bool is_string = _zolandm_conn_option_is_string(option);
  void* converted = nullptr;
  if (is_string && width != driver_width && value != 0) {
    if (driver_width == 'W') {
      converted = _zolandm_mbs_to_wcs_dup(reinterpret_cast<const char*>(value), SQL_NTS);
    } else {
      converted = _zolandm_wcs_to_mbs_dup(reinterpret_cast<const SQLWCHAR*>(value), SQL_NTS);
    }
    // Never hand the driver a string of the other width.
    if (converted == nullptr) {
      _zolandm_diag_add(dbc, ZOLANDM_E_S1001);
      return ZOLANDM_ERROR;
    }
    value = reinterpret_cast<SQLULEN>(converted);
  }
  // Attribute functions get SQL_NTS for every string option (whatever its width), 0 otherwise.
  SQLINTEGER length = is_string ? SQL_NTS : 0;

  SQLRETURN rc = ZOLANDM_ERROR;
  void* f;
  if (drv->unicode) {
    if ((f = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLSetConnectOptionW)) != nullptr) {
      rc = _zolandm_call<SetOptionFn>(drv, &dbc->last_rc, f, dbc->drv_dbc, SQLUSMALLINT(option), value);
    } else if ((f = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLSetConnectAttrW)) != nullptr) {
      rc = _zolandm_call<SetAttrFn>(drv, &dbc->last_rc, f, dbc->drv_dbc, SQLINTEGER(option),
                                    reinterpret_cast<SQLPOINTER>(value), length);
    } else {
      f = nullptr;
    }
  } else {
    if ((f = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLSetConnectOption)) != nullptr ||
        (f = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLSetConnectOptionA)) != nullptr) {
      rc = _zolandm_call<SetOptionFn>(drv, &dbc->last_rc, f, dbc->drv_dbc, SQLUSMALLINT(option), value);
    } else if ((f = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLSetConnectAttr)) != nullptr ||
               (f = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLSetConnectAttrA)) != nullptr) {
      rc = _zolandm_call<SetAttrFn>(drv, &dbc->last_rc, f, dbc->drv_dbc, SQLINTEGER(option),
                                    reinterpret_cast<SQLPOINTER>(value), length);
    }
  }
  std::free(converted);
  if (f == nullptr) {
    _zolandm_diag_add(dbc, ZOLANDM_E_IM001);
    return 1;
  }
  if (option < 1000) return rc;
  return rc == 0 ? 0 : 1;
}
