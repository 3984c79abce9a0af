// Column descriptions: SQLDescribeCol and the ODBC 2 SQLColAttributes, with the name
// conversion between the caller's width and the driver's, the ODBC 2/3 choice of the
// attribute function, and the date/time type codes mapped back to the application's version.

#include <climits>

#include "dm/stmt_internal.h"
#include "odbcconfig/conversions.h"
#include "sqlext.h"
#include "dm/trace_hook.h"

namespace {

using DescribeColFn = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT, void*, SQLSMALLINT, SQLSMALLINT*, SQLSMALLINT*,
                                    SQLULEN*, SQLSMALLINT*, SQLSMALLINT*);
using ColAttributesFn = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT,
                                      SQLSMALLINT*, SQLLEN*);

bool string_attribute(SQLUSMALLINT id) { return id == 1 || (id >= 14 && id <= 18); }

SQLUSMALLINT to_odbc3_identifier(SQLUSMALLINT id) {
  switch (id) {
    case 0:
      return 1001;
    case 1:
      return 1011;
    case 7:
      return 1008;
    default:
      return id;
  }
}

// The conversion slot of a description: slot 0, unless another function's call is pending
// (SQLDescribeCol makes no pending check), whose slots must stay as they are.
int name_slot(const zolandm_stmt* stmt, int id) {
  return stmt->async_func == 0 || stmt->async_func == id ? 0 : 7;
}

// Pending-call bookkeeping shared by both functions.
bool settle_pending(zolandm_stmt* stmt, int id, SQLRETURN rc) {
  if (rc == SQL_STILL_EXECUTING) {
    if (stmt->async_func != id &&
        (stmt->state == ZOLANDM_STMT_PREPARED ||
         (stmt->state >= ZOLANDM_STMT_CURSOR_OPEN && stmt->state <= ZOLANDM_STMT_EXT_FETCHED))) {
      stmt->async_func = id;
    }
    return false;
  }
  // Another function's pending call keeps its buffers (ours is freed with them later).
  if (stmt->async_func == 0 || stmt->async_func == id) _zolandm_stmt_free_tmpbufs(stmt);
  if (stmt->async_func == id && (rc == ZOLANDM_OK || rc == ZOLANDM_OK_INFO || rc == ZOLANDM_ERROR)) {
    stmt->async_func = 0;
  }
  return true;
}

SQLSMALLINT clamp16(int64_t v) { return static_cast<SQLSMALLINT>(v > SHRT_MAX ? SHRT_MAX : v); }

SQLRETURN describe_col(zolandm_stmt* stmt, SQLUSMALLINT column, void* name, SQLSMALLINT buf_len,
                       SQLSMALLINT* name_len, SQLSMALLINT* data_type, SQLULEN* column_size,
                       SQLSMALLINT* digits, SQLSMALLINT* nullable, char width) {
  if (column == 0) return _zolandm_fail(stmt, ZOLANDM_E_S1002);
  if (buf_len < 0) return _zolandm_fail(stmt, ZOLANDM_E_S1090);
  bool unicode = _zolandm_stmt_unicode(stmt);
  bool app_wide = width == 'W';
  void* drv_name = name;
  bool converted = false;
  if (name != nullptr && buf_len > 0 && unicode != app_wide) {
    int bytes = unicode ? buf_len * static_cast<int>(sizeof(SQLWCHAR)) : buf_len;
    drv_name = _zolandm_stmt_tmpbuf(stmt, name_slot(stmt, ZOLANDM_FN_SQLDescribeCol), bytes);
    if (drv_name == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_HY001);
    converted = true;
  }
  void* f = _zolandm_driver_entry_width(stmt->dbc, ZOLANDM_FN_SQLDescribeCol, ZOLANDM_FN_SQLDescribeColW,
                                        ZOLANDM_FN_SQLDescribeColA);
  if (f == nullptr) {
    if (name_slot(stmt, ZOLANDM_FN_SQLDescribeCol) == 0) _zolandm_stmt_free_tmpbufs(stmt);
    return _zolandm_fail(stmt, ZOLANDM_E_IM001);
  }
  SQLRETURN rc =
      _zolandm_call<DescribeColFn>(_zolandm_stmt_driver(stmt), &stmt->last_rc, f, stmt->drv_stmt, column,
                                   drv_name, buf_len, name_len, data_type, column_size, digits, nullable);
  if (zolandm_succeeded(rc)) {
    if (data_type != nullptr) {
      *data_type =
          static_cast<SQLSMALLINT>(_zolandm_map_sqltype(*data_type, _zolandm_app_version(stmt->dbc)));
    }
    if (converted) {
      int cut = app_wide ? _zolandm_mbs_to_wcs_buf(static_cast<char*>(drv_name), static_cast<SQLWCHAR*>(name),
                                                   buf_len, nullptr)
                         : _zolandm_wcs_to_mbs_buf(static_cast<SQLWCHAR*>(drv_name), static_cast<char*>(name),
                                                   buf_len, nullptr);
      rc = _zolandm_report_cut(stmt, rc, cut != 0);
    }
  }
  settle_pending(stmt, ZOLANDM_FN_SQLDescribeCol, rc);
  return rc;
}

SQLRETURN col_attributes(zolandm_stmt* stmt, SQLUSMALLINT column, SQLUSMALLINT id, SQLPOINTER buf,
                         SQLSMALLINT buf_max, SQLSMALLINT* out_len, SQLLEN* num, char width) {
  if (id != SQL_COLUMN_COUNT && column == 0) return _zolandm_fail(stmt, ZOLANDM_E_S1002);
  if (buf_max < 0) return _zolandm_fail(stmt, ZOLANDM_E_S1090);
  if (stmt->async_func != 0 && stmt->async_func != ZOLANDM_FN_SQLColAttributes) {
    return _zolandm_fail(stmt, ZOLANDM_E_S1010);
  }
  if (stmt->async_func == 0 &&
      (stmt->state == ZOLANDM_STMT_ALLOCATED ||
       (stmt->state >= ZOLANDM_STMT_NEED_DATA && stmt->state <= ZOLANDM_STMT_CAN_PUT))) {
    return _zolandm_fail(stmt, ZOLANDM_E_S1010);
  }
  zolandm_dbc* dbc = stmt->dbc;
  bool unicode = _zolandm_stmt_unicode(stmt);
  bool app_wide = width == 'W';
  void* drv_buf = buf;
  SQLSMALLINT drv_max = buf_max;
  bool converted = false;
  if (string_attribute(id) && buf != nullptr && buf_max > 0 && unicode != app_wide) {
    // Lengths are kept within 16 bits: a fourfold that does not fit is clamped.
    drv_max = app_wide ? static_cast<SQLSMALLINT>(buf_max / 4) : clamp16(int64_t{buf_max} * 4);
    drv_buf = _zolandm_stmt_tmpbuf(stmt, 0, drv_max > 0 ? drv_max : 1);
    if (drv_buf == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_HY001);
    converted = true;
  }
  void *f2, *f3;
  if (unicode) {
    f2 = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLColAttributesW);
    f3 = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLColAttributeW);
  } else {
    f2 = _zolandm_driver_entry_width(dbc, ZOLANDM_FN_SQLColAttributes, 0, ZOLANDM_FN_SQLColAttributesA);
    f3 = _zolandm_driver_entry_width(dbc, ZOLANDM_FN_SQLColAttribute, 0, ZOLANDM_FN_SQLColAttributeA);
  }
  int app = _zolandm_app_version(dbc);
  int drv = _zolandm_drv_version(dbc);
  bool use2 = (app == 2 && (drv == 2 || f2 != nullptr)) || f3 == nullptr;
  void* f = use2 ? f2 : f3;
  if (f == nullptr) {
    _zolandm_stmt_free_tmpbufs(stmt);
    return _zolandm_fail(stmt, ZOLANDM_E_IM001);
  }
  SQLUSMALLINT drv_id = use2 ? id : to_odbc3_identifier(id);
  SQLRETURN rc = _zolandm_call<ColAttributesFn>(dbc->driver, &stmt->last_rc, f, stmt->drv_stmt, column,
                                                drv_id, drv_buf, drv_max, out_len, num);
  if (zolandm_succeeded(rc) && converted) {
    int cut;
    if (app_wide) {
      SQLSMALLINT chars = 0;
      cut = _zolandm_mbs_to_wcs_buf(static_cast<char*>(drv_buf), static_cast<SQLWCHAR*>(buf),
                                    static_cast<SQLSMALLINT>(buf_max / 4), &chars);
      if (out_len != nullptr) *out_len = clamp16(int64_t{chars} * 4);
    } else {
      cut =
          _zolandm_wcs_to_mbs_buf(static_cast<SQLWCHAR*>(drv_buf), static_cast<char*>(buf), buf_max, out_len);
    }
    rc = _zolandm_report_cut(stmt, rc, cut != 0);
  }
  settle_pending(stmt, ZOLANDM_FN_SQLColAttributes, rc);
  return rc;
}

}  // namespace

static SQLRETURN entry_SQLDescribeCol(SQLHSTMT h, SQLUSMALLINT column, SQLCHAR* name, SQLSMALLINT buf_len,
                                      SQLSMALLINT* name_len, SQLSMALLINT* type, SQLULEN* size,
                                      SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* s) {
    return describe_col(s, column, name, buf_len, name_len, type, size, digits, nullable, 'A');
  });
}
extern "C" SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT h, SQLUSMALLINT column, SQLCHAR* name,
                                            SQLSMALLINT buf_len, SQLSMALLINT* name_len, SQLSMALLINT* type,
                                            SQLULEN* size, SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  return _zolandm_traced(entry_SQLDescribeCol, trace_SQLDescribeCol, h, column, name, buf_len, name_len, type,
                         size, digits, nullable);
}

extern "C" SQLRETURN SQL_API SQLDescribeColA(SQLHSTMT h, SQLUSMALLINT column, SQLCHAR* name,
                                             SQLSMALLINT buf_len, SQLSMALLINT* name_len, SQLSMALLINT* type,
                                             SQLULEN* size, SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  return SQLDescribeCol(h, column, name, buf_len, name_len, type, size, digits, nullable);
}

static SQLRETURN entry_SQLDescribeColW(SQLHSTMT h, SQLUSMALLINT column, SQLWCHAR* name, SQLSMALLINT buf_len,
                                       SQLSMALLINT* name_len, SQLSMALLINT* type, SQLULEN* size,
                                       SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* s) {
    return describe_col(s, column, name, buf_len, name_len, type, size, digits, nullable, 'W');
  });
}
extern "C" SQLRETURN SQL_API SQLDescribeColW(SQLHSTMT h, SQLUSMALLINT column, SQLWCHAR* name,
                                             SQLSMALLINT buf_len, SQLSMALLINT* name_len, SQLSMALLINT* type,
                                             SQLULEN* size, SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  return _zolandm_traced(entry_SQLDescribeColW, trace_SQLDescribeColW, h, column, name, buf_len, name_len,
                         type, size, digits, nullable);
}

static SQLRETURN entry_SQLColAttributes(SQLHSTMT h, SQLUSMALLINT column, SQLUSMALLINT id, SQLPOINTER buf,
                                        SQLSMALLINT buf_max, SQLSMALLINT* out_len, SQLLEN* num) {
  return _zolandm_stmt_entry(
      h, [&](zolandm_stmt* s) { return col_attributes(s, column, id, buf, buf_max, out_len, num, 'A'); });
}
extern "C" SQLRETURN SQL_API SQLColAttributes(SQLHSTMT h, SQLUSMALLINT column, SQLUSMALLINT id,
                                              SQLPOINTER buf, SQLSMALLINT buf_max, SQLSMALLINT* out_len,
                                              SQLLEN* num) {
  return _zolandm_traced(entry_SQLColAttributes, trace_SQLColAttributes, h, column, id, buf, buf_max, out_len,
                         num);
}

extern "C" SQLRETURN SQL_API SQLColAttributesA(SQLHSTMT h, SQLUSMALLINT column, SQLUSMALLINT id,
                                               SQLPOINTER buf, SQLSMALLINT buf_max, SQLSMALLINT* out_len,
                                               SQLLEN* num) {
  return SQLColAttributes(h, column, id, buf, buf_max, out_len, num);
}

static SQLRETURN entry_SQLColAttributesW(SQLHSTMT h, SQLUSMALLINT column, SQLUSMALLINT id, SQLPOINTER buf,
                                         SQLSMALLINT buf_max, SQLSMALLINT* out_len, SQLLEN* num) {
  return _zolandm_stmt_entry(
      h, [&](zolandm_stmt* s) { return col_attributes(s, column, id, buf, buf_max, out_len, num, 'W'); });
}
extern "C" SQLRETURN SQL_API SQLColAttributesW(SQLHSTMT h, SQLUSMALLINT column, SQLUSMALLINT id,
                                               SQLPOINTER buf, SQLSMALLINT buf_max, SQLSMALLINT* out_len,
                                               SQLLEN* num) {
  return _zolandm_traced(entry_SQLColAttributesW, trace_SQLColAttributesW, h, column, id, buf, buf_max,
                         out_len, num);
}
