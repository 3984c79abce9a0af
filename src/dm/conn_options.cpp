// ODBC 2 connection options: the manager's own copies before connecting, the options it
// answers itself (tracing), and forwarding to the driver once connected.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "dm/dm_internal.h"
#include "odbcconfig/conversions.h"
#include "sqlext.h"
#include "sqlucode.h"
#include "dm/trace_hook.h"

namespace {

using SetOptionFn = SQLRETURN (*)(SQLHDBC, SQLUSMALLINT, SQLULEN);
using SetAttrFn = SQLRETURN (*)(SQLHDBC, SQLINTEGER, SQLPOINTER, SQLINTEGER);
using GetOptionFn = SQLRETURN (*)(SQLHDBC, SQLUSMALLINT, SQLPOINTER);
using GetAttrFn = SQLRETURN (*)(SQLHDBC, SQLINTEGER, SQLPOINTER, SQLINTEGER, SQLINTEGER*);

// Longest option string the manager hands back, without its terminator.
constexpr int kMaxOptionString = 256;

bool odbc3_only(unsigned option) {
  return option == 4 || option == 113 || option == 1209 || option == 10001 || option == 10014;
}

bool integer_option(unsigned option) {
  return (option >= 101 && option <= 103) || option == 107 || option == 108 ||
         (option >= 110 && option <= 112);
}

SQLRETURN save_attr(zolandm_dbc* dbc, SQLUSMALLINT option, SQLULEN value, char width) {
  for (zolandm_saved_attr* a = dbc->saved_attrs; a != nullptr; a = a->next) {
    if (a->attr == option) {
      a->value = value;
      a->width = width;
      return ZOLANDM_OK;
    }
  }
  auto* a = static_cast<zolandm_saved_attr*>(_zolandm_calloc(1, sizeof(zolandm_saved_attr)));
  if (a == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_S1001);
  a->attr = option;
  a->value = value;
  a->width = width;
  a->next = dbc->saved_attrs;
  dbc->saved_attrs = a;
  return ZOLANDM_OK;
}

SQLRETURN set_trace_file(zolandm_dbc* dbc, SQLULEN value, char width) {
  if (value == 0) return _zolandm_fail(dbc, ZOLANDM_E_S1009);
  char* name;
  if (width == 'W') {
    const auto* wide = reinterpret_cast<const SQLWCHAR*>(value);
    if (wide[0] == 0) return _zolandm_fail(dbc, ZOLANDM_E_S1009);
    name = _zolandm_ucs4_to_utf8_dup(wide, SQL_NTS);
    if (name == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_S1001);
  } else {
    const char* narrow = reinterpret_cast<const char*>(value);
    if (narrow[0] == '\0') return _zolandm_fail(dbc, ZOLANDM_E_S1009);
    name = nullptr;
  }
  if (_zolandm_trace_enabled) {
    std::free(name);
    return _zolandm_fail(dbc, ZOLANDM_E_IM013);
  }
  _zolandm_trace_set_filename(name != nullptr ? name : reinterpret_cast<const char*>(value));
  std::free(name);
  return ZOLANDM_OK;
}

SQLRETURN store_before_connect(zolandm_dbc* dbc, SQLUSMALLINT option, SQLULEN value, char width) {
  switch (option) {
    case SQL_ACCESS_MODE:
      dbc->access_mode = value;
      break;
    case SQL_AUTOCOMMIT:
      dbc->autocommit = value;
      break;
    case SQL_LOGIN_TIMEOUT:
      dbc->login_timeout = value;
      break;
    case SQL_TXN_ISOLATION:
      dbc->txn_isolation = value;
      break;
    case SQL_ODBC_CURSORS:
      dbc->odbc_cursors = value;
      break;
    case SQL_QUIET_MODE:
      dbc->quiet_mode = value;
      break;
    case SQL_PACKET_SIZE:
      dbc->packet_size = value;
      break;
    case SQL_CURRENT_QUALIFIER: {
      void* copy = nullptr;
      if (value != 0) {
        if (width == 'W') {
          const auto* w = reinterpret_cast<const SQLWCHAR*>(value);
          size_t bytes = (std::wcslen(w) + 1) * sizeof(SQLWCHAR);
          copy = _zolandm_malloc(bytes);
          if (copy != nullptr) std::memcpy(copy, w, bytes);
        } else {
          copy = _zolandm_strdup(reinterpret_cast<const char*>(value));
        }
        if (copy == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_S1001);
      }
      std::free(dbc->qualifier);
      dbc->qualifier = copy;
      dbc->qualifier_width = width;
      break;
    }
    default:
      break;
  }
  return ZOLANDM_OK;
}

SQLRETURN set_on_driver(zolandm_dbc* dbc, SQLUSMALLINT option, SQLULEN value, char width) {
  zolandm_driver* drv = dbc->driver;
  if (drv == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_IM001);
  char driver_width = drv->unicode ? 'W' : 'A';
  void* converted = nullptr;
  // The trace file option never gets here: the manager answers it itself.
  if (_zolandm_conn_option_is_string(option) && width != driver_width && value != 0) {
    if (driver_width == 'W') {
      converted = _zolandm_mbs_to_wcs_dup(reinterpret_cast<const char*>(value), SQL_NTS);
    } else {
      converted = _zolandm_wcs_to_mbs_dup(reinterpret_cast<const SQLWCHAR*>(value), SQL_NTS);
    }
    if (converted == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_S1001);
    value = reinterpret_cast<SQLULEN>(converted);
  }
  void* f2 = _zolandm_driver_entry_width(dbc, ZOLANDM_FN_SQLSetConnectOption, ZOLANDM_FN_SQLSetConnectOptionW,
                                         ZOLANDM_FN_SQLSetConnectOptionA);
  void* f3 = _zolandm_driver_entry_width(dbc, ZOLANDM_FN_SQLSetConnectAttr, ZOLANDM_FN_SQLSetConnectAttrW,
                                         ZOLANDM_FN_SQLSetConnectAttrA);
  bool odbc3 = false;
  void* f = _zolandm_pick_2_or_3(dbc, f2, f3, &odbc3);
  SQLRETURN rc;
  if (f == nullptr || (odbc3 && odbc3_only(option))) {
    rc = _zolandm_fail(dbc, ZOLANDM_E_IM001);
  } else if (odbc3) {
    SQLINTEGER length = integer_option(option) ? 0 : SQL_NTS;
    rc = _zolandm_call<SetAttrFn>(drv, &dbc->last_rc, f, dbc->drv_dbc, SQLINTEGER(option),
                                  reinterpret_cast<SQLPOINTER>(value), length);
  } else {
    rc = _zolandm_call<SetOptionFn>(drv, &dbc->last_rc, f, dbc->drv_dbc, option, value);
  }
  std::free(converted);
  if (zolandm_succeeded(rc)) {
    if (option == SQL_ACCESS_MODE) dbc->access_mode = value;
    if (option == SQL_AUTOCOMMIT) dbc->autocommit = value;
  }
  return rc;
}

// Writes the trace file name to the application, at most the option string length plus the
// terminator.
void copy_trace_file(SQLPOINTER value, char width) {
  if (value == nullptr) return;
  char* name = _zolandm_trace_get_filename();
  const char* text = name != nullptr ? name : "";
  if (width == 'W') {
    SQLWCHAR* wide = _zolandm_utf8_to_ucs4_dup(text, SQL_NTS);
    auto* out = static_cast<SQLWCHAR*>(value);
    size_t n = 0;
    if (wide != nullptr) {
      for (; n < kMaxOptionString && wide[n] != 0; ++n) out[n] = wide[n];
    }
    out[n] = 0;
    std::free(wide);
  } else {
    std::snprintf(static_cast<char*>(value), kMaxOptionString + 1, "%s", text);
  }
  std::free(name);
}

}  // namespace

SQLRETURN SQLSetConnectOption_Internal(zolandm_dbc* dbc, SQLUSMALLINT option, SQLULEN value, char width) {
  if (dbc->state == ZOLANDM_DBC_BROWSING) return _zolandm_fail(dbc, ZOLANDM_E_S1010);
  if (dbc->state == ZOLANDM_DBC_ALLOCATED &&
      (option == SQL_TRANSLATE_DLL || option == SQL_TRANSLATE_OPTION)) {
    return _zolandm_fail(dbc, ZOLANDM_E_08003);
  }
  if (dbc->state >= ZOLANDM_DBC_CONNECTED && option == SQL_ODBC_CURSORS)
    return _zolandm_fail(dbc, ZOLANDM_E_08002);
  // Kept on every unconnected connection, with or without a driver still attached from an
  // earlier connect, and handed over at the next connect.
  if (dbc->state == ZOLANDM_DBC_ALLOCATED && option > 999) return save_attr(dbc, option, value, width);
  if (_zolandm_dbc_has_pending_stmt(dbc)) return _zolandm_fail(dbc, ZOLANDM_E_S1010);

  if (option == SQL_OPT_TRACE) {
    // The trace state is process-wide: it changes only under the global lock.
    zolandm_global_guard lock;
    if (value == SQL_OPT_TRACE_OFF) {
      _zolandm_trace_stop();
      return ZOLANDM_OK;
    }
    if (value == SQL_OPT_TRACE_ON) {
      _zolandm_trace_start();
      return ZOLANDM_OK;
    }
    return _zolandm_fail(dbc, ZOLANDM_E_HY024);
  }
  if (option == SQL_OPT_TRACEFILE) {
    zolandm_global_guard lock;
    return set_trace_file(dbc, value, width);
  }
  if (dbc->state == ZOLANDM_DBC_ALLOCATED) return store_before_connect(dbc, option, value, width);
  return set_on_driver(dbc, option, value, width);
}

SQLRETURN SQLGetConnectOption_Internal(zolandm_dbc* dbc, SQLUSMALLINT option, SQLPOINTER value, char width) {
  if (dbc->state == ZOLANDM_DBC_BROWSING) return _zolandm_fail(dbc, ZOLANDM_E_S1010);
  if (dbc->state == ZOLANDM_DBC_ALLOCATED && (option < 101 || option > 105))
    return _zolandm_fail(dbc, ZOLANDM_E_08003);
  // Integers are written as 32-bit values: the ODBC 2 width of these options, and what the
  // callers' buffers hold.
  if (option == SQL_OPT_TRACE) {
    zolandm_global_guard lock;
    if (value != nullptr) *static_cast<SQLUINTEGER*>(value) = _zolandm_trace_enabled ? 1 : 0;
    return ZOLANDM_OK;
  }
  if (option == SQL_OPT_TRACEFILE) {
    zolandm_global_guard lock;
    copy_trace_file(value, width);
    return ZOLANDM_OK;
  }
  if (dbc->state == ZOLANDM_DBC_ALLOCATED) {
    SQLULEN v = option == SQL_ACCESS_MODE  ? dbc->access_mode
                : option == SQL_AUTOCOMMIT ? dbc->autocommit
                                           : dbc->login_timeout;
    if (value != nullptr) *static_cast<SQLUINTEGER*>(value) = static_cast<SQLUINTEGER>(v);
    return ZOLANDM_OK;
  }

  zolandm_driver* drv = dbc->driver;
  if (drv == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_IM001);
  char driver_width = drv->unicode ? 'W' : 'A';
  void* tmp = nullptr;
  if ((option == SQL_TRANSLATE_DLL || option == SQL_CURRENT_QUALIFIER) && width != driver_width) {
    tmp = _zolandm_calloc(1, driver_width == 'W' ? 1024 : 256);
    if (tmp == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_HY001);
  }
  SQLPOINTER target = tmp != nullptr ? tmp : value;

  void* f2 = _zolandm_driver_entry_width(dbc, ZOLANDM_FN_SQLGetConnectOption, ZOLANDM_FN_SQLGetConnectOptionW,
                                         ZOLANDM_FN_SQLGetConnectOptionA);
  void* f3 = _zolandm_driver_entry_width(dbc, ZOLANDM_FN_SQLGetConnectAttr, ZOLANDM_FN_SQLGetConnectAttrW,
                                         ZOLANDM_FN_SQLGetConnectAttrA);
  bool odbc3 = false;
  void* f = _zolandm_pick_2_or_3(dbc, f2, f3, &odbc3);
  SQLRETURN rc;
  if (f == nullptr || (odbc3 && odbc3_only(option))) {
    rc = _zolandm_fail(dbc, ZOLANDM_E_IM001);
  } else if (odbc3) {
    SQLINTEGER buffer_length = integer_option(option) ? 0 : 256;
    rc = _zolandm_call<GetAttrFn>(drv, &dbc->last_rc, f, dbc->drv_dbc, SQLINTEGER(option), target,
                                  buffer_length, static_cast<SQLINTEGER*>(nullptr));
  } else {
    rc = _zolandm_call<GetOptionFn>(drv, &dbc->last_rc, f, dbc->drv_dbc, option, target);
  }
  if (tmp != nullptr && value != nullptr && zolandm_succeeded(rc)) {
    if (driver_width == 'W') {
      _zolandm_wcs_to_mbs_buf(static_cast<const SQLWCHAR*>(tmp), static_cast<char*>(value),
                              kMaxOptionString + 1, nullptr);
    } else {
      _zolandm_mbs_to_wcs_buf(static_cast<const char*>(tmp), static_cast<SQLWCHAR*>(value),
                              kMaxOptionString + 1, nullptr);
    }
  }
  std::free(tmp);
  return rc;
}

namespace {

SQLRETURN set_option_entry(SQLHDBC hdbc, SQLUSMALLINT option, SQLULEN value, char width) {
  zolandm_entry entry(hdbc, ZOLANDM_DBC);
  if (!entry.ok()) return entry.rc();
  entry.unlock();
  SQLRETURN rc = SQLSetConnectOption_Internal(static_cast<zolandm_dbc*>(hdbc), option, value, width);
  entry.relock();
  return rc;
}

SQLRETURN get_option_entry(SQLHDBC hdbc, SQLUSMALLINT option, SQLPOINTER value, char width) {
  zolandm_entry entry(hdbc, ZOLANDM_DBC);
  if (!entry.ok()) return entry.rc();
  entry.unlock();
  SQLRETURN rc = SQLGetConnectOption_Internal(static_cast<zolandm_dbc*>(hdbc), option, value, width);
  entry.relock();
  return rc;
}

}  // namespace

static SQLRETURN entry_SQLSetConnectOption(SQLHDBC hdbc, SQLUSMALLINT option, SQLULEN value) {
  return set_option_entry(hdbc, option, value, 'A');
}
extern "C" SQLRETURN SQL_API SQLSetConnectOption(SQLHDBC hdbc, SQLUSMALLINT option, SQLULEN value) {
  return _zolandm_traced(entry_SQLSetConnectOption, trace_SQLSetConnectOption, hdbc, option, value);
}

static SQLRETURN entry_SQLSetConnectOptionA(SQLHDBC hdbc, SQLUSMALLINT option, SQLULEN value) {
  return set_option_entry(hdbc, option, value, 'A');
}
extern "C" SQLRETURN SQL_API SQLSetConnectOptionA(SQLHDBC hdbc, SQLUSMALLINT option, SQLULEN value) {
  return _zolandm_traced(entry_SQLSetConnectOptionA, trace_SQLSetConnectOption, hdbc, option, value);
}

static SQLRETURN entry_SQLSetConnectOptionW(SQLHDBC hdbc, SQLUSMALLINT option, SQLULEN value) {
  return set_option_entry(hdbc, option, value, 'W');
}
extern "C" SQLRETURN SQL_API SQLSetConnectOptionW(SQLHDBC hdbc, SQLUSMALLINT option, SQLULEN value) {
  return _zolandm_traced(entry_SQLSetConnectOptionW, trace_SQLSetConnectOptionW, hdbc, option, value);
}

static SQLRETURN entry_SQLGetConnectOption(SQLHDBC hdbc, SQLUSMALLINT option, SQLPOINTER value) {
  return get_option_entry(hdbc, option, value, 'A');
}
extern "C" SQLRETURN SQL_API SQLGetConnectOption(SQLHDBC hdbc, SQLUSMALLINT option, SQLPOINTER value) {
  return _zolandm_traced(entry_SQLGetConnectOption, trace_SQLGetConnectOption, hdbc, option, value);
}

static SQLRETURN entry_SQLGetConnectOptionA(SQLHDBC hdbc, SQLUSMALLINT option, SQLPOINTER value) {
  return get_option_entry(hdbc, option, value, 'A');
}
extern "C" SQLRETURN SQL_API SQLGetConnectOptionA(SQLHDBC hdbc, SQLUSMALLINT option, SQLPOINTER value) {
  return _zolandm_traced(entry_SQLGetConnectOptionA, trace_SQLGetConnectOption, hdbc, option, value);
}

static SQLRETURN entry_SQLGetConnectOptionW(SQLHDBC hdbc, SQLUSMALLINT option, SQLPOINTER value) {
  return get_option_entry(hdbc, option, value, 'W');
}
extern "C" SQLRETURN SQL_API SQLGetConnectOptionW(SQLHDBC hdbc, SQLUSMALLINT option, SQLPOINTER value) {
  return _zolandm_traced(entry_SQLGetConnectOptionW, trace_SQLGetConnectOptionW, hdbc, option, value);
}
