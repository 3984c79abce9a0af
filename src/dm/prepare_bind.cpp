// Preparing statements, cursor names, parameter and column binding, and the result counts;
// also the date/time type-code mapping between ODBC 2 and ODBC 3 parties.

#include <climits>
#include <cstdlib>
#include <cstring>

#include "dm/stmt_internal.h"
#include "odbcconfig/conversions.h"
#include "sqlext.h"
#include "sqlucode.h"
#include "dm/trace_hook.h"

namespace {

using PrepareFn = SQLRETURN (*)(SQLHSTMT, const void*, SQLINTEGER);
using SetCursorNameFn = SQLRETURN (*)(SQLHSTMT, const void*, SQLSMALLINT);
using GetCursorNameFn = SQLRETURN (*)(SQLHSTMT, void*, SQLSMALLINT, SQLSMALLINT*);
using BindParameterFn = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLULEN,
                                      SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*);
using BindParamFn = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLULEN, SQLSMALLINT,
                                  SQLPOINTER, SQLLEN*);
using ParamOptionsFn = SQLRETURN (*)(SQLHSTMT, SQLULEN, SQLULEN*);
using SetStmtAttrFn = SQLRETURN (*)(SQLHSTMT, SQLINTEGER, SQLPOINTER, SQLINTEGER);
using SetScrollOptionsFn = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT, SQLLEN, SQLUSMALLINT);
using GetInfoFn = SQLRETURN (*)(SQLHDBC, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT*);
using BindColFn = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*);
using RowCountFn = SQLRETURN (*)(SQLHSTMT, SQLLEN*);
using NumResultColsFn = SQLRETURN (*)(SQLHSTMT, SQLSMALLINT*);

bool need_data_state(const zolandm_stmt* s) {
  return s->state >= ZOLANDM_STMT_NEED_DATA && s->state <= ZOLANDM_STMT_CAN_PUT;
}

// Grows the parameter table to hold parameter number n; false (with "S1001") on failure.
bool grow_params(zolandm_stmt* stmt, int n) {
  if (n <= static_cast<uint16_t>(stmt->params_alloc)) return true;
  int rows = n + 10 > ZOLANDM_MAX_PARAMS ? ZOLANDM_MAX_PARAMS : n + 10;
  auto* table =
      static_cast<zolandm_param*>(_zolandm_calloc(static_cast<size_t>(rows), sizeof(zolandm_param)));
  if (table == nullptr) {
    _zolandm_diag_add(stmt, ZOLANDM_E_S1001);
    return false;
  }
  if (stmt->params != nullptr) {
    std::memcpy(table, stmt->params, sizeof(zolandm_param) * static_cast<uint16_t>(stmt->params_alloc));
  }
  std::free(stmt->params);
  stmt->params = table;
  stmt->params_alloc = static_cast<SQLSMALLINT>(rows);
  return true;
}

bool data_at_exec_len(const SQLLEN* ind) {
  return ind != nullptr && (*ind == SQL_DATA_AT_EXEC || *ind <= SQL_LEN_DATA_AT_EXEC_OFFSET);
}

// The common body of SQLBindParameter and SQLSetParam once the checks are done.
SQLRETURN bind_parameter(zolandm_stmt* stmt, SQLUSMALLINT ipar, SQLSMALLINT io_type, SQLSMALLINT value_type,
                         SQLSMALLINT param_type, SQLULEN column_size, SQLSMALLINT digits, SQLPOINTER value,
                         SQLLEN buffer_len, SQLLEN* ind, bool set_param) {
  zolandm_dbc* dbc = stmt->dbc;
  int drv_ver = _zolandm_drv_version(dbc);
  int c_type = _zolandm_map_ctype(value_type, drv_ver);
  int sql_type = _zolandm_map_sqltype(param_type, drv_ver);
  int drv_c_type = c_type;
  bool unicode = _zolandm_stmt_unicode(stmt);
  if (!unicode && c_type == SQL_C_WCHAR && ind != nullptr && !data_at_exec_len(ind)) drv_c_type = SQL_C_CHAR;
  if (ipar > ZOLANDM_MAX_PARAMS) return _zolandm_fail(stmt, ZOLANDM_E_S1093);
  if (!grow_params(stmt, ipar)) return ZOLANDM_ERROR;

  zolandm_param& row = stmt->params[ipar - 1];
  std::free(row.conv_value);
  std::free(row.conv_len);
  row = zolandm_param{};
  row.param_no = ipar;
  row.c_type = static_cast<int16_t>(c_type);
  row.app_c_type = static_cast<int16_t>(c_type);
  row.fixed_len = 0;
  row.sql_type = param_type;
  row.column_size = column_size;
  row.decimal_digits = digits;
  row.value_ptr = value;
  row.ind_ptr = ind;
  row.len_ptr = ind;
  row.buffer_len = buffer_len;
  row.io_type = static_cast<uint16_t>(io_type);

  void* bind_parameter_fn = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLBindParameter);
  // SQLBindParam has no buffer length, and without one a driver cannot step through an
  // array of text values: it is used only by a driver that has nothing else.
  void* bind_param_fn = set_param || bind_parameter_fn != nullptr
                            ? nullptr
                            : _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLBindParam);
  bool use_bind_param = bind_param_fn != nullptr && io_type == SQL_PARAM_INPUT;
  if (use_bind_param) {
    return _zolandm_call<BindParamFn>(dbc->driver, &stmt->last_rc, bind_param_fn, stmt->drv_stmt, ipar,
                                      SQLSMALLINT(drv_c_type), SQLSMALLINT(sql_type), column_size, digits,
                                      value, ind);
  }
  if (bind_parameter_fn == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
  return _zolandm_call<BindParameterFn>(dbc->driver, &stmt->last_rc, bind_parameter_fn, stmt->drv_stmt, ipar,
                                        io_type, SQLSMALLINT(drv_c_type), SQLSMALLINT(sql_type), column_size,
                                        digits, value, buffer_len, ind);
}

}  // namespace

// ---- type codes ----------------------------------------------------------------------------

bool _zolandm_async_complete(zolandm_stmt* stmt, int id, SQLRETURN rc, bool need_data_completes,
                             bool no_data_completes) {
  if (stmt->async_func != id) return true;
  bool completes = rc == ZOLANDM_OK || rc == ZOLANDM_OK_INFO || rc == ZOLANDM_ERROR ||
                   (need_data_completes && rc == ZOLANDM_NEED_DATA) ||
                   (no_data_completes && rc == ZOLANDM_NO_DATA);
  if (!completes) return false;
  stmt->async_func = 0;
  return true;
}

// ---- SQLPrepare ----------------------------------------------------------------------------

static SQLRETURN SQLPrepare_Internal(zolandm_stmt* stmt, const void* text, SQLINTEGER length, char width) {
  if (stmt->async_func != 0 && stmt->async_func != ZOLANDM_FN_SQLPrepare)
    return _zolandm_fail(stmt, ZOLANDM_E_S1010);
  if (stmt->async_func == 0) {
    if (stmt->state == ZOLANDM_STMT_FETCHED || stmt->state == ZOLANDM_STMT_EXT_FETCHED)
      return _zolandm_fail(stmt, ZOLANDM_E_24000);
    if (need_data_state(stmt)) return _zolandm_fail(stmt, ZOLANDM_E_S1010);
  }
  if (text == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_S1009);
  if (length < 0 && length != SQL_NTS) return _zolandm_fail(stmt, ZOLANDM_E_S1090);

  bool failed = false;
  int64_t len = length;
  const void* drv_text = _zolandm_stmt_arg_for_driver(stmt, 0, text, &len, width, &failed);
  if (failed) return _zolandm_stmt_conv_failed(stmt);
  void* f = _zolandm_driver_entry_width(stmt->dbc, ZOLANDM_FN_SQLPrepare, ZOLANDM_FN_SQLPrepareW,
                                        ZOLANDM_FN_SQLPrepareA);
  if (f == nullptr) {
    _zolandm_stmt_free_tmpbufs(stmt);
    return _zolandm_fail(stmt, ZOLANDM_E_IM001);
  }
  SQLRETURN rc = _zolandm_call<PrepareFn>(_zolandm_stmt_driver(stmt), &stmt->last_rc, f, stmt->drv_stmt,
                                          drv_text, static_cast<SQLINTEGER>(len));
  if (rc == SQL_STILL_EXECUTING) {
    stmt->async_func = ZOLANDM_FN_SQLPrepare;
    return rc;
  }
  _zolandm_stmt_free_tmpbufs(stmt);
  if (!_zolandm_async_complete(stmt, ZOLANDM_FN_SQLPrepare, rc, false, false)) return rc;
  if (zolandm_succeeded(rc)) {
    stmt->state = ZOLANDM_STMT_PREPARED;
    stmt->prepared = 1;
  } else if (rc == ZOLANDM_ERROR && stmt->state >= ZOLANDM_STMT_PREPARED &&
             stmt->state <= ZOLANDM_STMT_NO_RESULT) {
    stmt->state = ZOLANDM_STMT_ALLOCATED;
    stmt->prepared = 0;
  }
  return rc;
}

static SQLRETURN entry_SQLPrepare(SQLHSTMT h, SQLCHAR* text, SQLINTEGER len) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* s) { return SQLPrepare_Internal(s, text, len, 'A'); });
}
extern "C" SQLRETURN SQL_API SQLPrepare(SQLHSTMT h, SQLCHAR* text, SQLINTEGER len) {
  return _zolandm_traced(entry_SQLPrepare, trace_SQLPrepare, h, text, len);
}
extern "C" SQLRETURN SQL_API SQLPrepareA(SQLHSTMT h, SQLCHAR* text, SQLINTEGER len) {
  return SQLPrepare(h, text, len);
}
static SQLRETURN entry_SQLPrepareW(SQLHSTMT h, SQLWCHAR* text, SQLINTEGER len) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* s) { return SQLPrepare_Internal(s, text, len, 'W'); });
}
extern "C" SQLRETURN SQL_API SQLPrepareW(SQLHSTMT h, SQLWCHAR* text, SQLINTEGER len) {
  return _zolandm_traced(entry_SQLPrepareW, trace_SQLPrepareW, h, text, len);
}

// ---- cursor names --------------------------------------------------------------------------

static SQLRETURN SQLSetCursorName_Internal(zolandm_stmt* stmt, const void* name, SQLSMALLINT length,
                                           char width) {
  if (name == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_S1009);
  if (length < 0 && length != SQL_NTS) return _zolandm_fail(stmt, ZOLANDM_E_S1090);
  if (stmt->async_func != 0) return _zolandm_fail(stmt, ZOLANDM_E_S1010);
  if (stmt->state >= ZOLANDM_STMT_EXECUTED && stmt->state <= ZOLANDM_STMT_EXT_FETCHED)
    return _zolandm_fail(stmt, ZOLANDM_E_24000);
  if (need_data_state(stmt)) return _zolandm_fail(stmt, ZOLANDM_E_S1010);

  bool failed = false;
  int64_t len = length;
  const void* drv_name = _zolandm_stmt_arg_for_driver(stmt, 0, name, &len, width, &failed);
  if (failed) return _zolandm_stmt_conv_failed(stmt);
  void* f = _zolandm_driver_entry_width(stmt->dbc, ZOLANDM_FN_SQLSetCursorName, ZOLANDM_FN_SQLSetCursorNameW,
                                        ZOLANDM_FN_SQLSetCursorNameA);
  if (f == nullptr) {
    _zolandm_stmt_free_tmpbufs(stmt);
    return _zolandm_fail(stmt, ZOLANDM_E_IM001);
  }
  SQLRETURN rc = _zolandm_call<SetCursorNameFn>(_zolandm_stmt_driver(stmt), &stmt->last_rc, f, stmt->drv_stmt,
                                                drv_name, static_cast<SQLSMALLINT>(len));
  _zolandm_stmt_free_tmpbufs(stmt);
  if (zolandm_succeeded(rc)) stmt->cursor_state = ZOLANDM_CURSOR_NAMED;
  return rc;
}

static SQLRETURN entry_SQLSetCursorName(SQLHSTMT h, SQLCHAR* name, SQLSMALLINT len) {
  return _zolandm_stmt_entry(h,
                             [&](zolandm_stmt* s) { return SQLSetCursorName_Internal(s, name, len, 'A'); });
}
extern "C" SQLRETURN SQL_API SQLSetCursorName(SQLHSTMT h, SQLCHAR* name, SQLSMALLINT len) {
  return _zolandm_traced(entry_SQLSetCursorName, trace_SQLSetCursorName, h, name, len);
}
extern "C" SQLRETURN SQL_API SQLSetCursorNameA(SQLHSTMT h, SQLCHAR* name, SQLSMALLINT len) {
  return SQLSetCursorName(h, name, len);
}
static SQLRETURN entry_SQLSetCursorNameW(SQLHSTMT h, SQLWCHAR* name, SQLSMALLINT len) {
  return _zolandm_stmt_entry(h,
                             [&](zolandm_stmt* s) { return SQLSetCursorName_Internal(s, name, len, 'W'); });
}
extern "C" SQLRETURN SQL_API SQLSetCursorNameW(SQLHSTMT h, SQLWCHAR* name, SQLSMALLINT len) {
  return _zolandm_traced(entry_SQLSetCursorNameW, trace_SQLSetCursorNameW, h, name, len);
}

static SQLRETURN SQLGetCursorName_Internal(zolandm_stmt* stmt, void* buf, SQLSMALLINT buf_len,
                                           SQLSMALLINT* out_len, char width) {
  if (buf_len < 0) return _zolandm_fail(stmt, ZOLANDM_E_S1090);
  if (need_data_state(stmt) || stmt->async_func != 0) return _zolandm_fail(stmt, ZOLANDM_E_S1010);
  // Whether a cursor is open decides; a result left unsettled is settled first.
  _zolandm_stmt_settle(stmt);
  if (stmt->state <= ZOLANDM_STMT_NO_RESULT && stmt->cursor_state == ZOLANDM_CURSOR_NONE)
    return _zolandm_fail(stmt, ZOLANDM_E_S1015);

  bool unicode = _zolandm_stmt_unicode(stmt);
  bool app_wide = width == 'W';
  void* f = _zolandm_driver_entry_width(stmt->dbc, ZOLANDM_FN_SQLGetCursorName, ZOLANDM_FN_SQLGetCursorNameW,
                                        ZOLANDM_FN_SQLGetCursorNameA);
  if (f == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
  if (unicode == app_wide) {
    return _zolandm_call<GetCursorNameFn>(_zolandm_stmt_driver(stmt), &stmt->last_rc, f, stmt->drv_stmt, buf,
                                          buf_len, out_len);
  }
  // The driver writes its own width into a zero-filled temporary with room for one more
  // terminator than it is told.
  size_t bytes =
      unicode ? (static_cast<size_t>(buf_len) + 2) * sizeof(SQLWCHAR) : static_cast<size_t>(buf_len) * 4 + 4;
  void* tmp = std::calloc(1, bytes);
  if (tmp == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_HY001);
  SQLSMALLINT drv_len =
      unicode ? buf_len : static_cast<SQLSMALLINT>(buf_len > SHRT_MAX / 4 ? SHRT_MAX : buf_len * 4);
  SQLRETURN rc = _zolandm_call<GetCursorNameFn>(_zolandm_stmt_driver(stmt), &stmt->last_rc, f, stmt->drv_stmt,
                                                tmp, drv_len, out_len);
  if (zolandm_succeeded(rc) && buf != nullptr && buf_len > 0) {
    int cut =
        unicode
            ? _zolandm_wcs_to_mbs_buf(static_cast<SQLWCHAR*>(tmp), static_cast<char*>(buf), buf_len, nullptr)
            : _zolandm_mbs_to_wcs_buf(static_cast<char*>(tmp), static_cast<SQLWCHAR*>(buf), buf_len, nullptr);
    rc = _zolandm_report_cut(stmt, rc, cut != 0);
  }
  std::free(tmp);
  return rc;
}

static SQLRETURN entry_SQLGetCursorName(SQLHSTMT h, SQLCHAR* buf, SQLSMALLINT len, SQLSMALLINT* out) {
  return _zolandm_stmt_entry(
      h, [&](zolandm_stmt* s) { return SQLGetCursorName_Internal(s, buf, len, out, 'A'); });
}
extern "C" SQLRETURN SQL_API SQLGetCursorName(SQLHSTMT h, SQLCHAR* buf, SQLSMALLINT len, SQLSMALLINT* out) {
  return _zolandm_traced(entry_SQLGetCursorName, trace_SQLGetCursorName, h, buf, len, out);
}
extern "C" SQLRETURN SQL_API SQLGetCursorNameA(SQLHSTMT h, SQLCHAR* buf, SQLSMALLINT len, SQLSMALLINT* out) {
  return SQLGetCursorName(h, buf, len, out);
}
static SQLRETURN entry_SQLGetCursorNameW(SQLHSTMT h, SQLWCHAR* buf, SQLSMALLINT len, SQLSMALLINT* out) {
  return _zolandm_stmt_entry(
      h, [&](zolandm_stmt* s) { return SQLGetCursorName_Internal(s, buf, len, out, 'W'); });
}
extern "C" SQLRETURN SQL_API SQLGetCursorNameW(SQLHSTMT h, SQLWCHAR* buf, SQLSMALLINT len, SQLSMALLINT* out) {
  return _zolandm_traced(entry_SQLGetCursorNameW, trace_SQLGetCursorNameW, h, buf, len, out);
}

// ---- parameters ------------------------------------------------------------------------------

static SQLRETURN entry_SQLBindParameter(SQLHSTMT h, SQLUSMALLINT ipar, SQLSMALLINT io_type,
                                        SQLSMALLINT c_type, SQLSMALLINT sql_type, SQLULEN column_size,
                                        SQLSMALLINT digits, SQLPOINTER value, SQLLEN buffer_len,
                                        SQLLEN* ind) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* stmt) -> SQLRETURN {
    if (ipar == 0) return _zolandm_fail(stmt, ZOLANDM_E_S1093);
    if (value == nullptr && ind == nullptr) {
      if (io_type != SQL_PARAM_OUTPUT) return _zolandm_fail(stmt, ZOLANDM_E_S1009);
    } else if (io_type != SQL_PARAM_INPUT && io_type != SQL_PARAM_INPUT_OUTPUT &&
               io_type != SQL_PARAM_OUTPUT) {
      return _zolandm_fail(stmt, ZOLANDM_E_S1105);
    }
    if (!_zolandm_valid_ctype(c_type)) return _zolandm_fail(stmt, ZOLANDM_E_S1003);
    if (need_data_state(stmt) || stmt->async_func != 0) return _zolandm_fail(stmt, ZOLANDM_E_S1010);
    return bind_parameter(stmt, ipar, io_type, c_type, sql_type, column_size, digits, value, buffer_len, ind,
                          false);
  });
}
extern "C" SQLRETURN SQL_API SQLBindParameter(SQLHSTMT h, SQLUSMALLINT ipar, SQLSMALLINT io_type,
                                              SQLSMALLINT c_type, SQLSMALLINT sql_type, SQLULEN column_size,
                                              SQLSMALLINT digits, SQLPOINTER value, SQLLEN buffer_len,
                                              SQLLEN* ind) {
  return _zolandm_traced(entry_SQLBindParameter, trace_SQLBindParameter, h, ipar, io_type, c_type, sql_type,
                         column_size, digits, value, buffer_len, ind);
}

static SQLRETURN entry_SQLSetParam(SQLHSTMT h, SQLUSMALLINT ipar, SQLSMALLINT c_type, SQLSMALLINT sql_type,
                                   SQLULEN column_size, SQLSMALLINT digits, SQLPOINTER value, SQLLEN* ind) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* stmt) -> SQLRETURN {
    if (ipar == 0) return _zolandm_fail(stmt, ZOLANDM_E_S1093);
    if (value == nullptr && ind == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_S1009);
    if (!_zolandm_valid_ctype(c_type)) return _zolandm_fail(stmt, ZOLANDM_E_S1003);
    if (need_data_state(stmt) || stmt->async_func != 0) return _zolandm_fail(stmt, ZOLANDM_E_S1010);
    return bind_parameter(stmt, ipar, SQL_PARAM_INPUT_OUTPUT, c_type, sql_type, column_size, digits, value,
                          SQL_SETPARAM_VALUE_MAX, ind, true);
  });
}

// Traced as the SQLBindParameter it stands for.
static void trace_SQLSetParam(int leaving, int rc, SQLHSTMT h, SQLUSMALLINT ipar, SQLSMALLINT c_type,
                              SQLSMALLINT sql_type, SQLULEN column_size, SQLSMALLINT digits, SQLPOINTER value,
                              SQLLEN* ind) {
  trace_SQLBindParameter(leaving, rc, h, ipar, SQL_PARAM_INPUT_OUTPUT, c_type, sql_type, column_size, digits,
                         value, -1, ind);
}
extern "C" SQLRETURN SQL_API SQLSetParam(SQLHSTMT h, SQLUSMALLINT ipar, SQLSMALLINT c_type,
                                         SQLSMALLINT sql_type, SQLULEN column_size, SQLSMALLINT digits,
                                         SQLPOINTER value, SQLLEN* ind) {
  return _zolandm_traced(entry_SQLSetParam, trace_SQLSetParam, h, ipar, c_type, sql_type, column_size, digits,
                         value, ind);
}

static SQLRETURN entry_SQLParamOptions(SQLHSTMT h, SQLULEN crow, SQLULEN* pirow) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* stmt) -> SQLRETURN {
    if (crow == 0) return _zolandm_fail(stmt, ZOLANDM_E_S1107);
    if (need_data_state(stmt) || stmt->async_func != 0) return _zolandm_fail(stmt, ZOLANDM_E_S1010);
    zolandm_dbc* dbc = stmt->dbc;
    int app = _zolandm_app_version(dbc);
    int drv = _zolandm_drv_version(dbc);
    void* po = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLParamOptions);
    void* ssa = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLSetStmtAttr);
    SQLRETURN rc;
    if ((app == 2 && (drv == 2 || po != nullptr)) || ssa == nullptr) {
      if (po == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
      rc = _zolandm_call<ParamOptionsFn>(dbc->driver, &stmt->last_rc, po, stmt->drv_stmt, crow, pirow);
    } else {
      rc = _zolandm_call<SetStmtAttrFn>(dbc->driver, &stmt->last_rc, ssa, stmt->drv_stmt, SQLINTEGER(22),
                                        reinterpret_cast<SQLPOINTER>(crow), SQLINTEGER(0));
      if (zolandm_succeeded(rc)) {
        rc = _zolandm_call<SetStmtAttrFn>(dbc->driver, &stmt->last_rc, ssa, stmt->drv_stmt, SQLINTEGER(21),
                                          static_cast<SQLPOINTER>(pirow), SQLINTEGER(0));
      }
    }
    stmt->paramset_size = static_cast<int>(crow > INT_MAX ? INT_MAX : crow);
    return rc;
  });
}
extern "C" SQLRETURN SQL_API SQLParamOptions(SQLHSTMT h, SQLULEN crow, SQLULEN* pirow) {
  return _zolandm_traced(entry_SQLParamOptions, trace_SQLParamOptions, h, crow, pirow);
}

static SQLRETURN entry_SQLSetScrollOptions(SQLHSTMT h, SQLUSMALLINT concurrency, SQLLEN keyset,
                                           SQLUSMALLINT rowset) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* stmt) -> SQLRETURN {
    if (rowset == 0) return _zolandm_fail(stmt, ZOLANDM_E_S1107);
    if (keyset > 0 && keyset < static_cast<SQLLEN>(rowset)) return _zolandm_fail(stmt, ZOLANDM_E_S1107);
    if (keyset <= 0 && keyset != 0 && keyset != -1 && keyset != -2 && keyset != -3) {
      return _zolandm_fail(stmt, ZOLANDM_E_S1107);
    }
    if (concurrency < 1 || concurrency > 4) return _zolandm_fail(stmt, ZOLANDM_E_S1108);
    zolandm_dbc* dbc = stmt->dbc;
    void* sso = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLSetScrollOptions);
    if (sso != nullptr && !(_zolandm_app_version(dbc) == 3 && _zolandm_drv_version(dbc) == 3)) {
      SQLRETURN rc = _zolandm_call<SetScrollOptionsFn>(dbc->driver, &stmt->last_rc, sso, stmt->drv_stmt,
                                                       concurrency, keyset, rowset);
      if (zolandm_succeeded(rc) && !_zolandm_stmt_rowset_changed(stmt, rowset)) return ZOLANDM_ERROR;
      return rc;
    }
    void* ssa = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLSetStmtAttr);
    void* gi = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLGetInfo);
    if (ssa == nullptr || gi == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
    SQLULEN cursor_type = 1;
    SQLUSMALLINT info = 151;
    if (keyset == -3) {
      cursor_type = 3;
      info = 168;
    } else if (keyset == -2) {
      cursor_type = 2;
      info = 145;
    } else if (keyset == 0) {
      cursor_type = 0;
      info = 147;
    }
    SQLUINTEGER bits = 0;
    SQLRETURN rc = _zolandm_call<GetInfoFn>(dbc->driver, &dbc->last_rc, gi, dbc->drv_dbc, info,
                                            static_cast<SQLPOINTER>(&bits), SQLSMALLINT(0),
                                            static_cast<SQLSMALLINT*>(nullptr));
    if (rc != ZOLANDM_OK) return rc;
    static const SQLUINTEGER need[5] = {0, 1, 2, 4, 8};
    if ((bits & need[concurrency]) == 0) return _zolandm_fail(stmt, ZOLANDM_E_S1C00);
    struct {
      SQLINTEGER attr;
      SQLULEN value;
      bool set;
    } steps[4] = {{6, cursor_type, true},
                  {7, concurrency, true},
                  {8, static_cast<SQLULEN>(keyset), keyset > 0},
                  {9, rowset, true}};
    for (const auto& s : steps) {
      if (!s.set) continue;
      rc = _zolandm_call<SetStmtAttrFn>(dbc->driver, &stmt->last_rc, ssa, stmt->drv_stmt, s.attr,
                                        reinterpret_cast<SQLPOINTER>(s.value), SQLINTEGER(0));
      if (rc != ZOLANDM_OK) return rc;
    }
    if (!_zolandm_stmt_rowset_changed(stmt, rowset)) return ZOLANDM_ERROR;
    return rc;
  });
}
extern "C" SQLRETURN SQL_API SQLSetScrollOptions(SQLHSTMT h, SQLUSMALLINT concurrency, SQLLEN keyset,
                                                 SQLUSMALLINT rowset) {
  return _zolandm_traced(entry_SQLSetScrollOptions, trace_SQLSetScrollOptions, h, concurrency, keyset,
                         rowset);
}

// ---- columns and counts ----------------------------------------------------------------------

static SQLRETURN entry_SQLBindCol(SQLHSTMT h, SQLUSMALLINT column, SQLSMALLINT target_type, SQLPOINTER value,
                                  SQLLEN buffer_len, SQLLEN* ind) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* stmt) -> SQLRETURN {
    if (!_zolandm_valid_ctype(target_type)) return _zolandm_fail(stmt, ZOLANDM_E_S1003);
    if (buffer_len < 0) return _zolandm_fail(stmt, ZOLANDM_E_S1090);
    if (stmt->state == ZOLANDM_STMT_MUST_PUT || stmt->state == ZOLANDM_STMT_CAN_PUT || stmt->async_func != 0)
      return _zolandm_fail(stmt, ZOLANDM_E_S1010);
    zolandm_dbc* dbc = stmt->dbc;
    int c_type = _zolandm_map_ctype(target_type, _zolandm_drv_version(dbc));
    void* f = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLBindCol);
    if (f == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
    bool widen = column != 0 && !_zolandm_stmt_unicode(stmt) && c_type == SQL_C_WCHAR;
    SQLRETURN rc = _zolandm_call<BindColFn>(dbc->driver, &stmt->last_rc, f, stmt->drv_stmt, column,
                                            SQLSMALLINT(widen ? SQL_C_CHAR : c_type), value, buffer_len, ind);
    if (!zolandm_succeeded(rc)) return rc;
    zolandm_boundcol image{};
    image.column = column;
    image.c_type = SQL_C_WCHAR;
    image.buffer = value;
    image.buffer_length = buffer_len;
    image.indicator = ind;
    if (widen && value != nullptr) {
      if (_zolandm_boundcol_add(stmt, &image) != 0) {
        // Without the entry the column would come back narrow: unbind it rather than lie.
        _zolandm_call<BindColFn>(dbc->driver, &stmt->last_rc, f, stmt->drv_stmt, column,
                                 SQLSMALLINT(SQL_C_CHAR), static_cast<SQLPOINTER>(nullptr), SQLLEN(0),
                                 static_cast<SQLLEN*>(nullptr));
        return _zolandm_fail(stmt, ZOLANDM_E_S1001);
      }
    } else {
      // Unbound, or bound again as another type: its buffer is no longer widened.
      _zolandm_boundcol_remove(stmt, &image);
    }
    return rc;
  });
}
extern "C" SQLRETURN SQL_API SQLBindCol(SQLHSTMT h, SQLUSMALLINT column, SQLSMALLINT target_type,
                                        SQLPOINTER value, SQLLEN buffer_len, SQLLEN* ind) {
  return _zolandm_traced(entry_SQLBindCol, trace_SQLBindCol, h, column, target_type, value, buffer_len, ind);
}

static SQLRETURN entry_SQLRowCount(SQLHSTMT h, SQLLEN* count) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* stmt) -> SQLRETURN {
    if (stmt->state < ZOLANDM_STMT_EXECUTED || stmt->state > ZOLANDM_STMT_EXT_FETCHED ||
        stmt->async_func != 0)
      return _zolandm_fail(stmt, ZOLANDM_E_S1010);
    void* f = _zolandm_driver_entry(stmt->dbc, ZOLANDM_FN_SQLRowCount);
    if (f == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
    return _zolandm_call<RowCountFn>(_zolandm_stmt_driver(stmt), &stmt->last_rc, f, stmt->drv_stmt, count);
  });
}
extern "C" SQLRETURN SQL_API SQLRowCount(SQLHSTMT h, SQLLEN* count) {
  return _zolandm_traced(entry_SQLRowCount, trace_SQLRowCount, h, count);
}

SQLRETURN SQLNumResultCols_Internal(zolandm_stmt* stmt, SQLSMALLINT* count) {
  if (stmt->async_func != 0 && stmt->async_func != ZOLANDM_FN_SQLNumResultCols) {
    return _zolandm_fail(stmt, ZOLANDM_E_S1010);
  }
  if (stmt->async_func == 0 && (stmt->state == ZOLANDM_STMT_ALLOCATED || need_data_state(stmt)))
    return _zolandm_fail(stmt, ZOLANDM_E_S1010);
  void* f = _zolandm_driver_entry(stmt->dbc, ZOLANDM_FN_SQLNumResultCols);
  if (f == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
  SQLSMALLINT n = 0;
  SQLRETURN rc =
      _zolandm_call<NumResultColsFn>(_zolandm_stmt_driver(stmt), &stmt->last_rc, f, stmt->drv_stmt, &n);
  if (stmt->async_func == ZOLANDM_FN_SQLNumResultCols &&
      (rc == ZOLANDM_OK || rc == ZOLANDM_OK_INFO || rc == ZOLANDM_ERROR)) {
    stmt->async_func = 0;
  } else if (rc == SQL_STILL_EXECUTING) {
    stmt->async_func = ZOLANDM_FN_SQLNumResultCols;
  }
  if (!zolandm_succeeded(rc)) n = 0;
  if (count != nullptr) *count = n;
  return rc;
}

static SQLRETURN entry_SQLNumResultCols(SQLHSTMT h, SQLSMALLINT* count) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* stmt) { return SQLNumResultCols_Internal(stmt, count); });
}
extern "C" SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT h, SQLSMALLINT* count) {
  return _zolandm_traced(entry_SQLNumResultCols, trace_SQLNumResultCols, h, count);
}
