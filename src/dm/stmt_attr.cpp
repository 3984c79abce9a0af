// ODBC 3 statement attributes: SQLSetStmtAttr and SQLGetStmtAttr. An ODBC 3 driver holds its
// attributes itself; for an ODBC 2 driver the manager keeps the ODBC 3 ones it cannot hold
// (the values the fetch and execution emulations use) and hands the rest to the driver's
// statement options. The descriptor slots are the manager's on every driver.

#include <climits>
#include <cstdlib>

#include "dm/stmt_internal.h"
#include "sqlext.h"
#include "dm/trace_hook.h"

namespace {

using GetStmtAttrFn = SQLRETURN (*)(SQLHSTMT, SQLINTEGER, SQLPOINTER, SQLINTEGER, SQLINTEGER*);
using SetStmtAttrFn = SQLRETURN (*)(SQLHSTMT, SQLINTEGER, SQLPOINTER, SQLINTEGER);
using GetStmtOptionFn = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT, SQLPOINTER);
using SetStmtOptionFn = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT, SQLULEN);

constexpr SQLINTEGER kAppRowDesc = SQL_ATTR_APP_ROW_DESC;  // 10010; the four roles follow it

bool odbc3_driver(const zolandm_stmt* stmt) { return _zolandm_drv_version(stmt->dbc) == 3; }

// The ODBC 2 statement options, which both kinds of driver know by these numbers.
bool odbc2_option(SQLINTEGER attr) { return (attr >= 0 && attr <= 12) || attr == 14; }

int clamp_int(SQLULEN v) { return v > static_cast<SQLULEN>(INT_MAX) ? INT_MAX : static_cast<int>(v); }

void* attr_getter(zolandm_dbc* dbc) {
  return _zolandm_driver_entry_width(dbc, ZOLANDM_FN_SQLGetStmtAttr, ZOLANDM_FN_SQLGetStmtAttrW,
                                     ZOLANDM_FN_SQLGetStmtAttrA);
}

void* attr_setter(zolandm_dbc* dbc) {
  return _zolandm_driver_entry_width(dbc, ZOLANDM_FN_SQLSetStmtAttr, ZOLANDM_FN_SQLSetStmtAttrW,
                                     ZOLANDM_FN_SQLSetStmtAttrA);
}

SQLRETURN driver_get_attr(zolandm_stmt* stmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER buf_len,
                          SQLINTEGER* str_len) {
  void* f = attr_getter(stmt->dbc);
  if (f == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
  return _zolandm_call<GetStmtAttrFn>(_zolandm_stmt_driver(stmt), &stmt->last_rc, f, stmt->drv_stmt, attr,
                                      value, buf_len, str_len);
}

SQLRETURN driver_set_attr(zolandm_stmt* stmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER str_len) {
  void* f = attr_setter(stmt->dbc);
  if (f == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
  return _zolandm_call<SetStmtAttrFn>(_zolandm_stmt_driver(stmt), &stmt->last_rc, f, stmt->drv_stmt, attr,
                                      value, str_len);
}

SQLRETURN driver_get_option(zolandm_stmt* stmt, SQLINTEGER attr, SQLPOINTER value) {
  void* f = _zolandm_driver_entry_width(stmt->dbc, ZOLANDM_FN_SQLGetStmtOption, ZOLANDM_FN_SQLGetStmtOption,
                                        ZOLANDM_FN_SQLGetStmtOptionA);
  if (f == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
  return _zolandm_call<GetStmtOptionFn>(_zolandm_stmt_driver(stmt), &stmt->last_rc, f, stmt->drv_stmt,
                                        static_cast<SQLUSMALLINT>(attr), value);
}

SQLRETURN driver_set_option(zolandm_stmt* stmt, SQLINTEGER attr, SQLULEN value) {
  void* f = _zolandm_driver_entry_width(stmt->dbc, ZOLANDM_FN_SQLSetStmtOption, ZOLANDM_FN_SQLSetStmtOption,
                                        ZOLANDM_FN_SQLSetStmtOptionA);
  if (f == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
  return _zolandm_call<SetStmtOptionFn>(_zolandm_stmt_driver(stmt), &stmt->last_rc, f, stmt->drv_stmt,
                                        static_cast<SQLUSMALLINT>(attr), value);
}

template <typename T>
SQLRETURN answer(SQLPOINTER value, T v) {
  if (value != nullptr) *static_cast<T*>(value) = v;
  return ZOLANDM_OK;
}

// The descriptor a statement uses in a role: the application's explicit one while it lives,
// else the implicit one. Global lock held.
zolandm_desc* desc_in_use(const zolandm_stmt* stmt, int role) {
  if (_zolandm_valid_handle(stmt->app_desc[role], ZOLANDM_DESC)) return stmt->app_desc[role];
  if (_zolandm_valid_handle(stmt->imp_desc[role], ZOLANDM_DESC)) return stmt->imp_desc[role];
  return nullptr;
}

SQLRETURN get_desc_slot(zolandm_stmt* stmt, int role, SQLPOINTER value, SQLINTEGER* str_len) {
  if (value != nullptr) {
    zolandm_desc* d;
    {
      zolandm_global_guard lock;
      d = desc_in_use(stmt, role);
    }
    if (d == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
    *static_cast<SQLHDESC*>(value) = d;
  }
  if (str_len != nullptr) *str_len = SQL_IS_POINTER;
  return ZOLANDM_OK;
}

SQLRETURN set_desc_slot(zolandm_stmt* stmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER str_len) {
  int role = attr - kAppRowDesc;
  zolandm_desc* chosen = nullptr;
  SQLHDESC drv_value = nullptr;
  {
    // The descriptor named must not go away while it is checked.
    zolandm_global_guard lock;
    if (value == nullptr) {
      drv_value = nullptr;
    } else if (value == stmt->imp_desc[role]) {
      drv_value = stmt->imp_desc[role]->drv_desc;
    } else {
      if (!_zolandm_valid_handle(value, ZOLANDM_DESC)) return _zolandm_fail(stmt, ZOLANDM_E_HY024);
      auto* d = static_cast<zolandm_desc*>(value);
      if (d->dbc != stmt->dbc || d->owner_stmt != nullptr) return _zolandm_fail(stmt, ZOLANDM_E_HY017);
      chosen = d;
      drv_value = d->drv_desc;
    }
  }
  SQLRETURN rc = driver_set_attr(stmt, attr, drv_value, str_len);
  if (!zolandm_succeeded(rc)) return ZOLANDM_ERROR;
  zolandm_global_guard lock;
  stmt->app_desc[role] = chosen;
  return ZOLANDM_OK;
}

// SQL_ATTR_ROW_ARRAY_SIZE on an ODBC 2 driver: the driver's rowset size.
SQLRETURN set_row_array_size_odbc2(zolandm_stmt* stmt, SQLULEN value) {
  if (static_cast<uint32_t>(value) == 0) return _zolandm_fail(stmt, ZOLANDM_E_HY024);
  SQLRETURN rc = driver_set_option(stmt, SQL_ROWSET_SIZE, value);
  if (!zolandm_succeeded(rc)) return rc;
  SQLULEN rows = rc == ZOLANDM_OK_INFO ? _zolandm_stmt_read_rowset(stmt, value) : value;
  if (!stmt->row_status_owned && stmt->row_status_ptr == nullptr) {
    // The emulated fetches need somewhere for the statuses; the application's own array,
    // when it gave one, stays in place.
    stmt->row_status_owned = 1;
  }
  if (!_zolandm_stmt_rowset_changed(stmt, rows)) return ZOLANDM_ERROR;
  return rc;
}

}  // namespace

SQLRETURN SQLGetStmtAttr_Internal(zolandm_stmt* stmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER buf_len,
                                  SQLINTEGER* str_len) {
  if (attr >= kAppRowDesc && attr <= kAppRowDesc + 3)
    return get_desc_slot(stmt, attr - kAppRowDesc, value, str_len);
  if (odbc3_driver(stmt)) {
    SQLRETURN rc = driver_get_attr(stmt, attr, value, buf_len, str_len);
    if (attr == SQL_ATTR_PARAMSET_SIZE && value != nullptr && zolandm_succeeded(rc)) {
      stmt->paramset_size = clamp_int(*static_cast<SQLULEN*>(value));
    }
    return rc;
  }
  if (odbc2_option(attr)) return driver_get_option(stmt, attr, value);
  switch (attr) {
    case SQL_ATTR_FETCH_BOOKMARK_PTR:
      return answer<SQLPOINTER>(value, stmt->fetch_bookmark_ptr);
    case SQL_ATTR_PARAMS_PROCESSED_PTR:
      return answer<SQLPOINTER>(value, stmt->params_processed_ptr);
    // The sizes are SQLULEN attributes: written whole. No set means one row.
    case SQL_ATTR_PARAMSET_SIZE:
      return answer<SQLULEN>(value, static_cast<SQLULEN>(stmt->paramset_size > 0 ? stmt->paramset_size : 1));
    case SQL_ATTR_ROW_STATUS_PTR:
      return answer<SQLPOINTER>(value, stmt->row_status_owned ? nullptr : stmt->row_status_ptr);
    case SQL_ATTR_ROWS_FETCHED_PTR:
      return answer<SQLPOINTER>(value, stmt->rows_fetched_ptr);
    case SQL_ATTR_ROW_ARRAY_SIZE:
      return answer<SQLULEN>(value, static_cast<SQLULEN>(stmt->row_array_size));
    case SQL_ATTR_METADATA_ID:
      return answer<SQLULEN>(value, SQL_FALSE);
    default:
      return driver_get_attr(stmt, attr, value, buf_len, str_len);
  }
}

SQLRETURN SQLSetStmtAttr_Internal(zolandm_stmt* stmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER str_len) {
  if (stmt->state == ZOLANDM_STMT_NEED_DATA) return _zolandm_fail(stmt, ZOLANDM_E_HY010);
  const bool odbc3 = odbc3_driver(stmt);
  const auto v = reinterpret_cast<SQLULEN>(value);
  SQLRETURN rc;
  if (odbc2_option(attr)) {
    rc = odbc3 ? driver_set_attr(stmt, attr, value, str_len) : driver_set_option(stmt, attr, v);
    if (!zolandm_succeeded(rc)) return rc;
    if (attr == SQL_BIND_TYPE) stmt->bind_type = clamp_int(v);
    if (attr == SQL_ROWSET_SIZE) {
      SQLULEN rows = rc == ZOLANDM_OK_INFO ? _zolandm_stmt_read_rowset(stmt, v) : v;
      if (!_zolandm_stmt_rowset_changed(stmt, rows)) return ZOLANDM_ERROR;
    }
    return rc;
  }
  switch (attr) {
    case SQL_ATTR_FETCH_BOOKMARK_PTR:
    case SQL_ATTR_PARAMS_PROCESSED_PTR:
    case SQL_ATTR_ROWS_FETCHED_PTR:
      if (odbc3) return driver_set_attr(stmt, attr, value, str_len);
      if (attr == SQL_ATTR_FETCH_BOOKMARK_PTR) stmt->fetch_bookmark_ptr = value;
      if (attr == SQL_ATTR_PARAMS_PROCESSED_PTR) stmt->params_processed_ptr = value;
      if (attr == SQL_ATTR_ROWS_FETCHED_PTR) stmt->rows_fetched_ptr = value;
      return ZOLANDM_OK;
    case SQL_ATTR_PARAMSET_SIZE:
      // Kept only once the driver took it: the manager's conversions stride by it.
      rc = odbc3 ? driver_set_attr(stmt, attr, value, str_len) : ZOLANDM_OK;
      if (zolandm_succeeded(rc)) stmt->paramset_size = clamp_int(v);
      return rc;
    case SQL_ATTR_ROW_STATUS_PTR:
      if (odbc3) return driver_set_attr(stmt, attr, value, str_len);
      if (stmt->row_status_owned) std::free(stmt->row_status_ptr);
      stmt->row_status_owned = 0;
      stmt->row_status_ptr = static_cast<SQLUSMALLINT*>(value);
      return ZOLANDM_OK;
    case SQL_ATTR_ROW_ARRAY_SIZE:
      if (!odbc3) return set_row_array_size_odbc2(stmt, v);
      rc = driver_set_attr(stmt, attr, value, str_len);
      if (zolandm_succeeded(rc)) {
        SQLULEN rows = v;
        if (rc == ZOLANDM_OK_INFO) {
          SQLULEN got = 0;
          SQLSMALLINT saved = stmt->last_rc;
          if (zolandm_succeeded(SQLGetStmtAttr_Internal(stmt, SQL_ATTR_ROW_ARRAY_SIZE, &got, 0, nullptr)) &&
              got > 0) {
            rows = got;
          }
          stmt->last_rc = saved;
        }
        if (!_zolandm_stmt_rowset_changed(stmt, rows)) return ZOLANDM_ERROR;
      }
      return rc;
    case SQL_ATTR_APP_ROW_DESC:
    case SQL_ATTR_APP_PARAM_DESC:
      return set_desc_slot(stmt, attr, value, str_len);
    case SQL_ATTR_PARAM_BIND_TYPE:
      rc = driver_set_attr(stmt, attr, value, str_len);
      // The parameter stride is the parameters' own, apart from the rows' bind type.
      if (zolandm_succeeded(rc)) stmt->param_bind_type = clamp_int(v);
      return rc;
    case -1:
    case -2:
    case 15:
    case 17:
    case 19:
    case 20:
    case 23:
    case 24:
    case SQL_ATTR_METADATA_ID:
      return driver_set_attr(stmt, attr, value, str_len);
    default:
      // Driver-specific attributes reach an ODBC 3 driver's attribute function.
      if (odbc3 && attr != SQL_GET_BOOKMARK && attr != SQL_ATTR_IMP_ROW_DESC &&
          attr != SQL_ATTR_IMP_PARAM_DESC && attr_setter(stmt->dbc) != nullptr) {
        return driver_set_attr(stmt, attr, value, str_len);
      }
      return driver_set_option(stmt, attr, v);
  }
}

// ---- entries ----------------------------------------------------------------------------------

static SQLRETURN entry_SQLGetStmtAttr(SQLHSTMT h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER buf_len,
                                      SQLINTEGER* str_len) {
  return _zolandm_stmt_entry(
      h, [&](zolandm_stmt* s) { return SQLGetStmtAttr_Internal(s, attr, value, buf_len, str_len); });
}
extern "C" SQLRETURN SQL_API SQLGetStmtAttr(SQLHSTMT h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER buf_len,
                                            SQLINTEGER* str_len) {
  return _zolandm_traced(entry_SQLGetStmtAttr, trace_SQLGetStmtAttr, h, attr, value, buf_len, str_len);
}

extern "C" SQLRETURN SQL_API SQLGetStmtAttrA(SQLHSTMT h, SQLINTEGER attr, SQLPOINTER value,
                                             SQLINTEGER buf_len, SQLINTEGER* str_len) {
  return SQLGetStmtAttr(h, attr, value, buf_len, str_len);
}

static SQLRETURN entry_SQLGetStmtAttrW(SQLHSTMT h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER buf_len,
                                       SQLINTEGER* str_len) {
  return _zolandm_stmt_entry(
      h, [&](zolandm_stmt* s) { return SQLGetStmtAttr_Internal(s, attr, value, buf_len, str_len); });
}
extern "C" SQLRETURN SQL_API SQLGetStmtAttrW(SQLHSTMT h, SQLINTEGER attr, SQLPOINTER value,
                                             SQLINTEGER buf_len, SQLINTEGER* str_len) {
  return _zolandm_traced(entry_SQLGetStmtAttrW, trace_SQLGetStmtAttrW, h, attr, value, buf_len, str_len);
}

static SQLRETURN entry_SQLSetStmtAttr(SQLHSTMT h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER str_len) {
  return _zolandm_stmt_entry(
      h, [&](zolandm_stmt* s) { return SQLSetStmtAttr_Internal(s, attr, value, str_len); });
}
extern "C" SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT h, SQLINTEGER attr, SQLPOINTER value,
                                            SQLINTEGER str_len) {
  return _zolandm_traced(entry_SQLSetStmtAttr, trace_SQLSetStmtAttr, h, attr, value, str_len);
}

extern "C" SQLRETURN SQL_API SQLSetStmtAttrA(SQLHSTMT h, SQLINTEGER attr, SQLPOINTER value,
                                             SQLINTEGER str_len) {
  return SQLSetStmtAttr(h, attr, value, str_len);
}

static SQLRETURN entry_SQLSetStmtAttrW(SQLHSTMT h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER str_len) {
  return _zolandm_stmt_entry(
      h, [&](zolandm_stmt* s) { return SQLSetStmtAttr_Internal(s, attr, value, str_len); });
}
extern "C" SQLRETURN SQL_API SQLSetStmtAttrW(SQLHSTMT h, SQLINTEGER attr, SQLPOINTER value,
                                             SQLINTEGER str_len) {
  return _zolandm_traced(entry_SQLSetStmtAttrW, trace_SQLSetStmtAttrW, h, attr, value, str_len);
}
