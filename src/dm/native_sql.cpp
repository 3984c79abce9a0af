// SQLNativeSql: the driver's translation of an SQL text, on a connected handle. The global
// lock is released for the whole worker; the connection's busy flag keeps other calls off.

#include <cstdlib>

#include "dm/connect_util.h"
#include "dm/dm_internal.h"
#include "sql.h"
#include "odbcconfig/conversions.h"
#include "dm/trace_hook.h"

namespace {

using NativeSqlFn = SQLRETURN (*)(SQLHDBC, void*, SQLINTEGER, void*, SQLINTEGER, SQLINTEGER*);

SQLRETURN native_sql_entry(SQLHDBC hdbc, const void* text, SQLINTEGER text_len, void* out, SQLINTEGER out_max,
                           SQLINTEGER* out_len, char width) {
  zolandm_entry entry(hdbc, ZOLANDM_DBC);
  if (!entry.ok()) return entry.rc();
  entry.unlock();
  SQLRETURN rc =
      SQLNativeSql_Internal(static_cast<zolandm_dbc*>(hdbc), text, text_len, out, out_max, out_len, width);
  entry.relock();
  return rc;
}

}  // namespace

SQLRETURN SQLNativeSql_Internal(zolandm_dbc* dbc, const void* text, SQLINTEGER text_len, void* out,
                                SQLINTEGER out_max, SQLINTEGER* out_len, char width) {
  if (text == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_S1009);
  if (text_len < 0 && text_len != SQL_NTS) return _zolandm_fail(dbc, ZOLANDM_E_S1090);
  if (dbc->state == ZOLANDM_DBC_ALLOCATED || dbc->state == ZOLANDM_DBC_BROWSING || dbc->driver == nullptr)
    return _zolandm_fail(dbc, ZOLANDM_E_08003);
  if (out_max < 0) return _zolandm_fail(dbc, ZOLANDM_E_S1090);

  char driver_width = dbc->driver->unicode ? 'W' : 'A';
  const void* drv_text = text;
  SQLINTEGER drv_len = text_len;
  void* converted = nullptr;
  void* drv_out = out;
  void* tmp = nullptr;
  if (width != driver_width) {
    if (out != nullptr) {
      size_t bytes = driver_width == 'W' ? (static_cast<size_t>(out_max) + 1) * sizeof(SQLWCHAR)
                                         : static_cast<size_t>(out_max) + 1;
      tmp = _zolandm_calloc(1, bytes);
      if (tmp == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_HY001);
      drv_out = tmp;
    }
    if (driver_width == 'W') {
      converted = _zolandm_mbs_to_wcs_dup(static_cast<const char*>(text), text_len);
    } else {
      converted = _zolandm_wcs_to_mbs_dup(static_cast<const SQLWCHAR*>(text), text_len);
    }
    if (converted == nullptr) {
      std::free(tmp);
      return _zolandm_fail(dbc, ZOLANDM_E_HY001);
    }
    drv_text = converted;
    drv_len = SQL_NTS;
  }
  void* f = _zolandm_driver_entry_width(dbc, ZOLANDM_FN_SQLNativeSql, ZOLANDM_FN_SQLNativeSqlW,
                                        ZOLANDM_FN_SQLNativeSqlA);
  SQLRETURN rc;
  if (f == nullptr) {
    rc = _zolandm_fail(dbc, ZOLANDM_E_IM001);
  } else {
    rc = _zolandm_call<NativeSqlFn>(dbc->driver, &dbc->last_rc, f, dbc->drv_dbc, const_cast<void*>(drv_text),
                                    drv_len, drv_out, out_max, out_len);
    if (tmp != nullptr && zolandm_succeeded(rc)) _zolandm_convert_out(tmp, driver_width, out, width, out_max);
  }
  std::free(tmp);
  std::free(converted);
  return rc;
}

static SQLRETURN entry_SQLNativeSql(SQLHDBC hdbc, SQLCHAR* text, SQLINTEGER text_len, SQLCHAR* out,
                                    SQLINTEGER out_max, SQLINTEGER* out_len) {
  return native_sql_entry(hdbc, text, text_len, out, out_max, out_len, 'A');
}
extern "C" SQLRETURN SQL_API SQLNativeSql(SQLHDBC hdbc, SQLCHAR* text, SQLINTEGER text_len, SQLCHAR* out,
                                          SQLINTEGER out_max, SQLINTEGER* out_len) {
  return _zolandm_traced(entry_SQLNativeSql, trace_SQLNativeSql, hdbc, text, text_len, out, out_max, out_len);
}

static SQLRETURN entry_SQLNativeSqlA(SQLHDBC hdbc, SQLCHAR* text, SQLINTEGER text_len, SQLCHAR* out,
                                     SQLINTEGER out_max, SQLINTEGER* out_len) {
  return native_sql_entry(hdbc, text, text_len, out, out_max, out_len, 'A');
}
extern "C" SQLRETURN SQL_API SQLNativeSqlA(SQLHDBC hdbc, SQLCHAR* text, SQLINTEGER text_len, SQLCHAR* out,
                                           SQLINTEGER out_max, SQLINTEGER* out_len) {
  return _zolandm_traced(entry_SQLNativeSqlA, trace_SQLNativeSql, hdbc, text, text_len, out, out_max,
                         out_len);
}

static SQLRETURN entry_SQLNativeSqlW(SQLHDBC hdbc, SQLWCHAR* text, SQLINTEGER text_len, SQLWCHAR* out,
                                     SQLINTEGER out_max, SQLINTEGER* out_len) {
  return native_sql_entry(hdbc, text, text_len, out, out_max, out_len, 'W');
}
extern "C" SQLRETURN SQL_API SQLNativeSqlW(SQLHDBC hdbc, SQLWCHAR* text, SQLINTEGER text_len, SQLWCHAR* out,
                                           SQLINTEGER out_max, SQLINTEGER* out_len) {
  return _zolandm_traced(entry_SQLNativeSqlW, trace_SQLNativeSqlW, hdbc, text, text_len, out, out_max,
                         out_len);
}
