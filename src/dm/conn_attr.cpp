// ODBC 3 connection attributes: SQLSetConnectAttr and SQLGetConnectAttr. With an ODBC 3 driver
// the attribute goes to the driver's attribute function; otherwise, and before a driver is
// loaded, to the connection-option workers, which keep the manager's own copies.

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "dm/dm_internal.h"
#include "odbcconfig/conversions.h"
#include "sqlext.h"
#include "sqlucode.h"
#include "dm/trace_hook.h"

namespace {

using SetAttrFn = SQLRETURN (*)(SQLHDBC, SQLINTEGER, SQLPOINTER, SQLINTEGER);
using GetAttrFn = SQLRETURN (*)(SQLHDBC, SQLINTEGER, SQLPOINTER, SQLINTEGER, SQLINTEGER*);

// Longest option text the option worker hands back, without its terminator.
constexpr int kOptionText = 256;
// Largest conversion buffer made for an attribute text, in bytes.
constexpr int64_t kMaxAttrBuffer = 1 << 20;

bool string_attr(SQLINTEGER attr) {
  return attr == SQL_ATTR_TRACEFILE || attr == SQL_ATTR_TRANSLATE_LIB || attr == SQL_ATTR_CURRENT_CATALOG;
}

// The route of an attribute: the driver's ODBC 3 function (returned), or null for the option
// workers. An ODBC 2 driver never gets the ODBC 3 function.
void* odbc3_route(zolandm_dbc* dbc, int odbc2_plain, int odbc2_w, int odbc2_a, int plain, int w, int a) {
  if (dbc->driver == nullptr || dbc->driver->drv_version != 3) return nullptr;
  int app = dbc->env != nullptr ? dbc->env->odbc_version : 2;
  if (app != 3 && _zolandm_driver_entry_width(dbc, odbc2_plain, odbc2_w, odbc2_a) != nullptr) return nullptr;
  return _zolandm_driver_entry_width(dbc, plain, w, a);
}

// The manager mirrors the options it compares when a pooled connection is lent out.
void mirror_option(zolandm_dbc* dbc, SQLINTEGER attr, SQLULEN value) {
  switch (attr) {
    case SQL_ATTR_ACCESS_MODE:
      dbc->access_mode = value;
      break;
    case SQL_ATTR_AUTOCOMMIT:
      dbc->autocommit = value;
      break;
    case SQL_ATTR_TXN_ISOLATION:
      dbc->txn_isolation = value;
      break;
    default:
      break;
  }
}

// Characters of a NUL-terminated text of a width, at most max.
int64_t text_units(const void* text, char width, int64_t max) {
  if (width == 'W')
    return static_cast<int64_t>(wcsnlen(static_cast<const SQLWCHAR*>(text), static_cast<size_t>(max)));
  return static_cast<int64_t>(strnlen(static_cast<const char*>(text), static_cast<size_t>(max)));
}

}  // namespace

SQLRETURN SQLSetConnectAttr_Internal(zolandm_dbc* dbc, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER length,
                                     char width) {
  if (dbc->state == ZOLANDM_DBC_BROWSING) return _zolandm_fail(dbc, ZOLANDM_E_HY010);
  void* f = odbc3_route(dbc, ZOLANDM_FN_SQLSetConnectOption, ZOLANDM_FN_SQLSetConnectOptionW,
                        ZOLANDM_FN_SQLSetConnectOptionA, ZOLANDM_FN_SQLSetConnectAttr,
                        ZOLANDM_FN_SQLSetConnectAttrW, ZOLANDM_FN_SQLSetConnectAttrA);
  if (f != nullptr) {
    char driver_width = dbc->driver->unicode ? 'W' : 'A';
    void* converted = nullptr;
    if (string_attr(attr) && width != driver_width && value != nullptr) {
      if (length < 0 && length != SQL_NTS) return _zolandm_fail(dbc, ZOLANDM_E_S1090);
      int64_t n = length == SQL_NTS ? SQL_NTS : (width == 'W' ? length / 4 : length);
      converted = driver_width == 'W'
                      ? static_cast<void*>(_zolandm_mbs_to_wcs_dup(static_cast<const char*>(value), n))
                      : static_cast<void*>(_zolandm_wcs_to_mbs_dup(static_cast<const SQLWCHAR*>(value), n));
      if (converted == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_HY001);
      value = converted;
      length = SQL_NTS;
    }
    SQLRETURN rc = _zolandm_call<SetAttrFn>(dbc->driver, &dbc->last_rc, f, dbc->drv_dbc, attr, value, length);
    std::free(converted);
    if (zolandm_succeeded(rc)) mirror_option(dbc, attr, reinterpret_cast<SQLULEN>(value));
    return rc;
  }
  if (attr == SQL_ATTR_AUTO_IPD) return _zolandm_fail(dbc, ZOLANDM_E_HY092);
  // The option workers know 16-bit option numbers only.
  if (attr < 0 || attr > 0xFFFF) return _zolandm_fail(dbc, ZOLANDM_E_HY092);
  return SQLSetConnectOption_Internal(dbc, static_cast<SQLUSMALLINT>(attr), reinterpret_cast<SQLULEN>(value),
                                      width);
}

SQLRETURN SQLGetConnectAttr_Internal(zolandm_dbc* dbc, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER buf_len,
                                     SQLINTEGER* str_len, char width) {
  if (dbc->state == ZOLANDM_DBC_BROWSING) return _zolandm_fail(dbc, ZOLANDM_E_HY010);
  void* f = odbc3_route(dbc, ZOLANDM_FN_SQLGetConnectOption, ZOLANDM_FN_SQLGetConnectOptionW,
                        ZOLANDM_FN_SQLGetConnectOptionA, ZOLANDM_FN_SQLGetConnectAttr,
                        ZOLANDM_FN_SQLGetConnectAttrW, ZOLANDM_FN_SQLGetConnectAttrA);
  if (f != nullptr) {
    char driver_width = dbc->driver->unicode ? 'W' : 'A';
    void* tmp = nullptr;
    SQLINTEGER drv_len = buf_len;
    if (string_attr(attr) && width != driver_width) {
      if (buf_len < 0) return _zolandm_fail(dbc, ZOLANDM_E_S1090);
      // Four bytes per character for a wide driver; no attribute text comes near the cap,
      // which keeps a huge stated length from becoming a huge buffer.
      int64_t bytes = driver_width == 'W' ? int64_t{buf_len} * 4 : buf_len / 4;
      if (bytes > kMaxAttrBuffer) bytes = kMaxAttrBuffer;
      drv_len = static_cast<SQLINTEGER>(bytes);
      tmp = _zolandm_calloc(1, static_cast<size_t>(bytes) + sizeof(SQLWCHAR));
      if (tmp == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_HY001);
    }
    SQLINTEGER drv_str_len = -1;
    SQLRETURN rc = _zolandm_call<GetAttrFn>(dbc->driver, &dbc->last_rc, f, dbc->drv_dbc, attr,
                                            tmp != nullptr ? tmp : value, drv_len,
                                            tmp != nullptr ? &drv_str_len : str_len);
    if (tmp != nullptr && zolandm_succeeded(rc)) {
      SQLSMALLINT cap =
          static_cast<SQLSMALLINT>(std::min<int64_t>(width == 'W' ? buf_len / 4 : buf_len, SHRT_MAX));
      SQLSMALLINT n = 0;
      if (width == 'W') {
        _zolandm_mbs_to_wcs_buf(static_cast<const char*>(tmp), static_cast<SQLWCHAR*>(value),
                                value != nullptr ? cap : 0, &n);
      } else {
        _zolandm_wcs_to_mbs_buf(static_cast<const SQLWCHAR*>(tmp), static_cast<char*>(value),
                                value != nullptr ? cap : 0, &n);
      }
      // A text the driver cut to its buffer is as long as the driver says, in characters.
      int64_t chars = n;
      int64_t told = driver_width == 'W' ? drv_str_len / 4 : drv_str_len;
      int64_t room = driver_width == 'W' ? drv_len / 4 : drv_len;
      if (told >= room && told > chars) chars = told;
      if (str_len != nullptr) *str_len = static_cast<SQLINTEGER>(width == 'W' ? chars * 4 : chars);
    }
    std::free(tmp);
    return rc;
  }
  if (attr < 0 || attr > 0xFFFF) return _zolandm_fail(dbc, ZOLANDM_E_HY092);
  if (!string_attr(attr) || value == nullptr) {
    SQLRETURN rc = SQLGetConnectOption_Internal(dbc, static_cast<SQLUSMALLINT>(attr), value, width);
    if (zolandm_succeeded(rc) && str_len != nullptr) *str_len = 0;
    return rc;
  }
  // The option worker writes up to its own limit: it writes into a buffer of that size, and
  // the caller gets what its buffer holds.
  if (buf_len < 0) return _zolandm_fail(dbc, ZOLANDM_E_S1090);
  const size_t unit = width == 'W' ? sizeof(SQLWCHAR) : 1;
  void* own = _zolandm_calloc(kOptionText + 1, unit);
  if (own == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_HY001);
  SQLRETURN rc = SQLGetConnectOption_Internal(dbc, static_cast<SQLUSMALLINT>(attr), own, width);
  if (zolandm_succeeded(rc)) {
    int64_t chars = text_units(own, width, kOptionText);
    int64_t cap = width == 'W' ? buf_len / 4 : buf_len;
    if (cap > 0) {
      int64_t n = chars < cap ? chars : cap - 1;
      std::memcpy(value, own, static_cast<size_t>(n) * unit);
      std::memset(static_cast<char*>(value) + n * static_cast<int64_t>(unit), 0, unit);
    }
    if (str_len != nullptr) *str_len = static_cast<SQLINTEGER>(chars * static_cast<int64_t>(unit));
    if (chars >= cap) {
      _zolandm_diag_add(dbc, ZOLANDM_E_01004);
      rc = ZOLANDM_OK_INFO;
    }
  }
  std::free(own);
  return rc;
}

// ---- entries ----------------------------------------------------------------------------------

namespace {

SQLRETURN set_attr_entry(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER length, char width) {
  return _zolandm_unlocked_entry<zolandm_dbc>(h, ZOLANDM_DBC, [&](zolandm_dbc* dbc) {
    return SQLSetConnectAttr_Internal(dbc, attr, value, length, width);
  });
}

SQLRETURN get_attr_entry(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER buf_len,
                         SQLINTEGER* str_len, char width) {
  return _zolandm_unlocked_entry<zolandm_dbc>(h, ZOLANDM_DBC, [&](zolandm_dbc* dbc) {
    return SQLGetConnectAttr_Internal(dbc, attr, value, buf_len, str_len, width);
  });
}

}  // namespace

static SQLRETURN entry_SQLSetConnectAttr(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER length) {
  return set_attr_entry(h, attr, value, length, 'A');
}
extern "C" SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value,
                                               SQLINTEGER length) {
  return _zolandm_traced(entry_SQLSetConnectAttr, trace_SQLSetConnectAttr, h, attr, value, length);
}

static SQLRETURN entry_SQLSetConnectAttrA(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER length) {
  return set_attr_entry(h, attr, value, length, 'A');
}
extern "C" SQLRETURN SQL_API SQLSetConnectAttrA(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value,
                                                SQLINTEGER length) {
  return _zolandm_traced(entry_SQLSetConnectAttrA, trace_SQLSetConnectAttr, h, attr, value, length);
}

static SQLRETURN entry_SQLSetConnectAttrW(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER length) {
  return set_attr_entry(h, attr, value, length, 'W');
}
extern "C" SQLRETURN SQL_API SQLSetConnectAttrW(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value,
                                                SQLINTEGER length) {
  return _zolandm_traced(entry_SQLSetConnectAttrW, trace_SQLSetConnectAttrW, h, attr, value, length);
}

static SQLRETURN entry_SQLGetConnectAttr(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER buf_len,
                                         SQLINTEGER* str_len) {
  return get_attr_entry(h, attr, value, buf_len, str_len, 'A');
}
extern "C" SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value,
                                               SQLINTEGER buf_len, SQLINTEGER* str_len) {
  return _zolandm_traced(entry_SQLGetConnectAttr, trace_SQLGetConnectAttr, h, attr, value, buf_len, str_len);
}

static SQLRETURN entry_SQLGetConnectAttrA(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER buf_len,
                                          SQLINTEGER* str_len) {
  return get_attr_entry(h, attr, value, buf_len, str_len, 'A');
}
extern "C" SQLRETURN SQL_API SQLGetConnectAttrA(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value,
                                                SQLINTEGER buf_len, SQLINTEGER* str_len) {
  return _zolandm_traced(entry_SQLGetConnectAttrA, trace_SQLGetConnectAttr, h, attr, value, buf_len, str_len);
}

static SQLRETURN entry_SQLGetConnectAttrW(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER buf_len,
                                          SQLINTEGER* str_len) {
  return get_attr_entry(h, attr, value, buf_len, str_len, 'W');
}
extern "C" SQLRETURN SQL_API SQLGetConnectAttrW(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value,
                                                SQLINTEGER buf_len, SQLINTEGER* str_len) {
  return _zolandm_traced(entry_SQLGetConnectAttrW, trace_SQLGetConnectAttrW, h, attr, value, buf_len,
                         str_len);
}
