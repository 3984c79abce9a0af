// The ODBC 3 statement functions with an ODBC 2 counterpart: SQLColAttribute, SQLEndTran,
// SQLBulkOperations, SQLFetchScroll, SQLBindParam and SQLCloseCursor. Each calls the
// driver's ODBC 3 function where driver and application allow it, and otherwise does the work
// with the ODBC 2 function, answering itself what an ODBC 2 driver cannot.

#include <climits>
#include <cstdlib>
#include <cstring>

#include "dm/stmt_internal.h"
#include "odbcconfig/conversions.h"
#include "sqlext.h"
#include "sqlucode.h"
#include "dm/trace_hook.h"

namespace {

using ColAttrFn = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT*,
                                SQLLEN*);
using NumResultColsFn = SQLRETURN (*)(SQLHSTMT, SQLSMALLINT*);
using BulkFn = SQLRETURN (*)(SQLHSTMT, SQLSMALLINT);
using FetchScrollFn = SQLRETURN (*)(SQLHSTMT, SQLSMALLINT, SQLLEN);
using CloseCursorFn = SQLRETURN (*)(SQLHSTMT);
using FreeStmtFn = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT);

// The ODBC 3 choice of these functions: the driver's ODBC 3 function when the driver is an
// ODBC 3 one and the application is too, or lacks nothing but the ODBC 2 counterpart.
void* odbc3_choice(zolandm_dbc* dbc, void* f2, void* f3) {
  if (f3 == nullptr || dbc->driver == nullptr || dbc->driver->drv_version != 3) return nullptr;
  if (_zolandm_app_version(dbc) == 3 || f2 == nullptr) return f3;
  return nullptr;
}

// ---- SQLColAttribute --------------------------------------------------------------------------

bool string_field(SQLUSMALLINT id) {
  switch (id) {
    case 1:
    case 14:
    case 15:
    case 16:
    case 17:
    case 18:
    case 22:
    case 23:
    case 27:
    case 28:
    case 29:
    case 1011:
      return true;
    default:
      return false;
  }
}

// How an ODBC 2 driver is asked for an ODBC 3 field of a column above 0: the ODBC 2
// identifier, or -1 when it has none ("HY091").
int odbc2_identifier(SQLUSMALLINT id) {
  switch (id) {
    case 22:
    case 23:
    case 27:
    case 28:
    case 29:
    case 32:
    case 1012:
    case 1013:
      return -1;
    case SQL_DESC_COUNT:
      return SQL_COLUMN_COUNT;
    case SQL_DESC_TYPE:
      return SQL_COLUMN_TYPE;
    case SQL_DESC_LENGTH:
      return SQL_COLUMN_LENGTH;
    case SQL_DESC_PRECISION:
      return SQL_COLUMN_PRECISION;
    case SQL_DESC_SCALE:
      return SQL_COLUMN_SCALE;
    case SQL_DESC_NULLABLE:
      return SQL_COLUMN_NULLABLE;
    case SQL_DESC_NAME:
      return SQL_COLUMN_NAME;
    default:
      return id;
  }
}

// The manager's answers for the bookmark column of an ODBC 2 driver.
enum class bookmark_kind { number, empty_text, count, unsupported };

bookmark_kind bookmark_answer(SQLUSMALLINT id, SQLLEN* number) {
  switch (id) {
    case 2:
    case SQL_DESC_TYPE:
      *number = SQL_BINARY;
      return bookmark_kind::number;
    case 6:
      *number = 8;
      return bookmark_kind::number;
    case 8:
    case 9:
    case 10:
    case 11:
    case 12:
    case 13:
    case SQL_DESC_LENGTH:
    case SQL_DESC_SCALE:
    case SQL_DESC_DATETIME_INTERVAL_CODE:
    case SQL_DESC_NULLABLE:
      *number = 0;
      return bookmark_kind::number;
    case SQL_DESC_PRECISION:
    case SQL_DESC_OCTET_LENGTH:
      *number = 4;
      return bookmark_kind::number;
    case SQL_DESC_UNNAMED:
      *number = SQL_UNNAMED;
      return bookmark_kind::number;
    case 14:
    case 15:
    case 16:
    case 17:
    case 18:
    case 27:
    case 28:
    case 29:
    case SQL_DESC_NAME:
      return bookmark_kind::empty_text;
    case SQL_DESC_COUNT:
      return bookmark_kind::count;
    default:
      return bookmark_kind::unsupported;
  }
}

SQLRETURN bookmark_column(zolandm_stmt* stmt, SQLUSMALLINT id, SQLPOINTER text, SQLSMALLINT buf_len,
                          SQLSMALLINT* str_len, SQLLEN* number, char width) {
  SQLLEN v = 0;
  switch (bookmark_answer(id, &v)) {
    case bookmark_kind::number:
      // Written whole: a SQLLEN answer of -2 must read -2.
      if (number != nullptr) *number = v;
      return ZOLANDM_OK;
    case bookmark_kind::empty_text: {
      const int unit = width == 'W' ? static_cast<int>(sizeof(SQLWCHAR)) : 1;
      if (text != nullptr && buf_len >= unit) std::memset(text, 0, static_cast<size_t>(unit));
      if (str_len != nullptr) *str_len = 0;
      return ZOLANDM_OK;
    }
    case bookmark_kind::count: {
      void* f = _zolandm_driver_entry(stmt->dbc, ZOLANDM_FN_SQLNumResultCols);
      if (f == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
      // The driver writes a 16-bit count; the application reads a SQLLEN.
      SQLSMALLINT count = 0;
      SQLRETURN rc = _zolandm_call<NumResultColsFn>(_zolandm_stmt_driver(stmt), &stmt->last_rc, f,
                                                    stmt->drv_stmt, &count);
      if (zolandm_succeeded(rc) && number != nullptr) *number = count;
      return rc;
    }
    default:
      return _zolandm_fail(stmt, ZOLANDM_E_HYC00);
  }
}

SQLRETURN col_attribute(zolandm_stmt* stmt, SQLUSMALLINT column, SQLUSMALLINT id, SQLPOINTER text,
                        SQLSMALLINT buf_len, SQLSMALLINT* str_len, SQLLEN* number, char width) {
  zolandm_dbc* dbc = stmt->dbc;
  const bool unicode = _zolandm_stmt_unicode(stmt);
  void* f2;
  void* f3;
  if (unicode) {
    f2 = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLColAttributesW);
    f3 = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLColAttributeW);
  } else {
    f2 = _zolandm_driver_entry_width(dbc, ZOLANDM_FN_SQLColAttributes, 0, ZOLANDM_FN_SQLColAttributesA);
    f3 = _zolandm_driver_entry_width(dbc, ZOLANDM_FN_SQLColAttribute, 0, ZOLANDM_FN_SQLColAttributeA);
  }
  void* f = odbc3_choice(dbc, f2, f3);
  const bool odbc3 = f != nullptr;
  if (!odbc3 && column == 0) return bookmark_column(stmt, id, text, buf_len, str_len, number, width);
  SQLUSMALLINT drv_id = id;
  if (!odbc3) {
    int mapped = odbc2_identifier(id);
    if (mapped < 0) return _zolandm_fail(stmt, ZOLANDM_E_HY091);
    drv_id = static_cast<SQLUSMALLINT>(mapped);
    f = f2;
    if (f == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
  }

  const bool convert = string_field(id) && unicode != (width == 'W');
  void* tmp = nullptr;
  SQLPOINTER drv_text = text;
  SQLSMALLINT drv_len = buf_len;
  if (convert || (!odbc3 && string_field(id))) {
    // A length the manager must size a buffer from, or answer for, cannot be negative; on
    // the ODBC 3 path without a conversion the driver judges it itself.
    if (buf_len < 0) return _zolandm_fail(stmt, ZOLANDM_E_S1090);
  }
  if (convert && text == nullptr) {
    // Only the length is wanted: the driver tells it, in its own units.
    drv_len = 0;
  } else if (convert) {
    // Lengths are 16-bit: a fourfold that does not fit is clamped.
    drv_len = unicode ? static_cast<SQLSMALLINT>(buf_len > (SHRT_MAX - 4) / 4 ? (SHRT_MAX - 4) / 4 * 4
                                                                              : buf_len * 4)
                      : static_cast<SQLSMALLINT>(buf_len / 4);
    tmp = _zolandm_calloc(1, static_cast<size_t>(drv_len) + sizeof(SQLWCHAR));
    if (tmp == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_HY001);
    drv_text = tmp;
  }
  SQLSMALLINT drv_str_len = 0;
  SQLRETURN rc =
      _zolandm_call<ColAttrFn>(_zolandm_stmt_driver(stmt), &stmt->last_rc, f, stmt->drv_stmt, column, drv_id,
                               drv_text, drv_len, convert ? &drv_str_len : str_len, number);
  if (zolandm_succeeded(rc)) {
    if (drv_id == SQL_DESC_CONCISE_TYPE && number != nullptr) {
      *number = _zolandm_map_sqltype(static_cast<int>(*number), _zolandm_app_version(dbc));
    }
    if (convert) {
      // The length is reported also when the caller gave no buffer.
      SQLSMALLINT n = 0;
      int cut = 0;
      if (tmp != nullptr && width == 'W') {
        SQLSMALLINT cap = static_cast<SQLSMALLINT>(text != nullptr ? buf_len / 4 : 0);
        cut = _zolandm_mbs_to_wcs_buf(static_cast<char*>(tmp), static_cast<SQLWCHAR*>(text), cap, &n);
        n = static_cast<SQLSMALLINT>(n > SHRT_MAX / 4 ? SHRT_MAX / 4 * 4 : n * 4);
      } else if (tmp != nullptr) {
        cut = _zolandm_wcs_to_mbs_buf(static_cast<SQLWCHAR*>(tmp), static_cast<char*>(text),
                                      text != nullptr ? buf_len : 0, &n);
      }
      // A text the driver cut to its buffer is as long as the driver says (without a buffer,
      // all the driver said is its length).
      SQLSMALLINT told = unicode ? static_cast<SQLSMALLINT>(drv_str_len / 4) : drv_str_len;
      SQLSMALLINT room = unicode ? static_cast<SQLSMALLINT>(drv_len / 4) : drv_len;
      if (told >= room) {
        if (width == 'W') told = static_cast<SQLSMALLINT>(told > SHRT_MAX / 4 ? SHRT_MAX / 4 * 4 : told * 4);
        if (told > n) n = told;
      }
      if (str_len != nullptr) *str_len = n;
      rc = _zolandm_report_cut(stmt, rc, text != nullptr && cut != 0);
    }
  }
  std::free(tmp);
  return rc;
}

// ---- SQLFetchScroll ---------------------------------------------------------------------------

bool scroll_orientation(SQLSMALLINT o) {
  return (o >= SQL_FETCH_NEXT && o <= SQL_FETCH_RELATIVE) || o == SQL_FETCH_BOOKMARK;
}

SQLRETURN fetch_scroll(zolandm_stmt* stmt, SQLSMALLINT orientation, SQLLEN offset) {
  if (!scroll_orientation(orientation)) return _zolandm_fail(stmt, ZOLANDM_E_HY092);
  const bool own_pending = stmt->async_func == ZOLANDM_FN_SQLFetchScroll;
  if (!own_pending) {
    if (stmt->async_func != 0) return _zolandm_fail(stmt, ZOLANDM_E_S1010);
    int s = stmt->state;
    const bool continues = s == ZOLANDM_STMT_FETCHED && _zolandm_stmt_mixed_fetch(stmt);
    if (s <= ZOLANDM_STMT_PREPARED || (s == ZOLANDM_STMT_FETCHED && !continues) ||
        s >= ZOLANDM_STMT_NEED_DATA)
      return _zolandm_fail(stmt, ZOLANDM_E_S1010);
    _zolandm_stmt_settle(stmt);
  }
  zolandm_dbc* dbc = stmt->dbc;
  void* f = odbc3_choice(dbc, _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLExtendedFetch),
                         _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLFetchScroll));
  if (f == nullptr) {
    // Through SQLExtendedFetch, with the statuses and the count the manager holds.
    if (stmt->row_status_ptr == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_HYC00);
    SQLLEN row = offset;
    if (orientation == SQL_FETCH_BOOKMARK) {
      if (offset != 0) return _zolandm_fail(stmt, ZOLANDM_E_HYC00);
      row =
          stmt->fetch_bookmark_ptr != nullptr ? *static_cast<const SQLINTEGER*>(stmt->fetch_bookmark_ptr) : 0;
    }
    SQLULEN own_count = 0;
    auto* count =
        stmt->rows_fetched_ptr != nullptr ? static_cast<SQLULEN*>(stmt->rows_fetched_ptr) : &own_count;
    SQLRETURN rc = SQLExtendedFetch_Internal(stmt, static_cast<SQLUSMALLINT>(orientation), row, count,
                                             stmt->row_status_ptr, ZOLANDM_FN_SQLFetchScroll);
    if (zolandm_succeeded(rc) && stmt->wide_cols != nullptr) {
      SQLULEN n =
          *count < static_cast<SQLULEN>(stmt->rowset_size) ? *count : static_cast<SQLULEN>(stmt->rowset_size);
      _zolandm_boundcol_widen_rows(stmt, static_cast<int64_t>(n), stmt->row_status_ptr);
    }
    return rc;
  }
  zolandm_row_layout layout{};
  if (stmt->wide_cols != nullptr) layout = _zolandm_boundcol_layout(stmt);
  SQLRETURN rc = _zolandm_call<FetchScrollFn>(_zolandm_stmt_driver(stmt), &stmt->last_rc, f, stmt->drv_stmt,
                                              orientation, offset);
  if (own_pending) {
    if (!zolandm_succeeded(rc) && rc != ZOLANDM_NO_DATA && rc != ZOLANDM_ERROR) return rc;
    stmt->async_func = 0;
  }
  if (stmt->state == ZOLANDM_STMT_CURSOR_OPEN || stmt->state == ZOLANDM_STMT_EXT_FETCHED ||
      (stmt->state == ZOLANDM_STMT_FETCHED && _zolandm_stmt_mixed_fetch(stmt))) {
    if (rc == SQL_STILL_EXECUTING) {
      stmt->async_func = ZOLANDM_FN_SQLFetchScroll;
      return rc;
    }
    if (zolandm_succeeded(rc) || rc == ZOLANDM_NO_DATA) {
      stmt->state = ZOLANDM_STMT_EXT_FETCHED;
      stmt->cursor_state = ZOLANDM_CURSOR_EXT_FETCHED;
      stmt->ext_fetched = 0;
    }
  }
  if (zolandm_succeeded(rc) && stmt->wide_cols != nullptr) _zolandm_boundcol_widen_layout(stmt, layout);
  return rc;
}

// ---- SQLBulkOperations and SQLCloseCursor -------------------------------------------------------

SQLRETURN bulk_operations(zolandm_stmt* stmt, SQLSMALLINT operation) {
  if (operation < SQL_ADD || operation > SQL_FETCH_BY_BOOKMARK) return _zolandm_fail(stmt, ZOLANDM_E_HY092);
  void* f = _zolandm_driver_entry(stmt->dbc, ZOLANDM_FN_SQLBulkOperations);
  if (f == nullptr) {
    if (operation != SQL_ADD) return _zolandm_fail(stmt, ZOLANDM_E_HYC00);
    return SQLSetPos_Internal(stmt, 0, SQL_ADD, SQL_LOCK_NO_CHANGE);
  }
  const bool widens = operation == SQL_FETCH_BY_BOOKMARK && stmt->wide_cols != nullptr;
  zolandm_row_layout layout{};
  if (widens) layout = _zolandm_boundcol_layout(stmt);
  SQLRETURN rc =
      _zolandm_call<BulkFn>(_zolandm_stmt_driver(stmt), &stmt->last_rc, f, stmt->drv_stmt, operation);
  if (widens && zolandm_succeeded(rc)) _zolandm_boundcol_widen_layout(stmt, layout);
  return rc;
}

SQLRETURN close_cursor(zolandm_stmt* stmt) {
  if ((stmt->state >= ZOLANDM_STMT_NEED_DATA && stmt->state <= ZOLANDM_STMT_CAN_PUT) || stmt->async_func != 0)
    return _zolandm_fail(stmt, ZOLANDM_E_S1010);
  zolandm_dbc* dbc = stmt->dbc;
  void* free_stmt = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLFreeStmt);
  void* f = odbc3_choice(dbc, free_stmt, _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLCloseCursor));
  SQLRETURN rc;
  if (f != nullptr) {
    rc = _zolandm_call<CloseCursorFn>(_zolandm_stmt_driver(stmt), &stmt->last_rc, f, stmt->drv_stmt);
  } else if (free_stmt != nullptr) {
    rc = _zolandm_call<FreeStmtFn>(_zolandm_stmt_driver(stmt), &stmt->last_rc, free_stmt, stmt->drv_stmt,
                                   SQLUSMALLINT(SQL_CLOSE));
  } else {
    return _zolandm_fail(stmt, ZOLANDM_E_IM001);
  }
  if (zolandm_succeeded(rc)) {
    stmt->cursor_state = ZOLANDM_CURSOR_NONE;
    if (stmt->state >= ZOLANDM_STMT_EXECUTED && stmt->state <= ZOLANDM_STMT_EXT_FETCHED)
      stmt->state = stmt->prepared ? ZOLANDM_STMT_PREPARED : ZOLANDM_STMT_ALLOCATED;
    stmt->gd_column = 0;
    stmt->gd_carry_len = 0;
  }
  return rc;
}

}  // namespace

SQLRETURN SQLColAttribute_Internal(zolandm_stmt* stmt, SQLUSMALLINT column, SQLUSMALLINT id, SQLPOINTER text,
                                   SQLSMALLINT buf_len, SQLSMALLINT* str_len, SQLLEN* number, char width) {
  return col_attribute(stmt, column, id, text, buf_len, str_len, number, width);
}

// ---- entries ----------------------------------------------------------------------------------

static SQLRETURN entry_SQLColAttribute(SQLHSTMT h, SQLUSMALLINT column, SQLUSMALLINT id, SQLPOINTER text,
                                       SQLSMALLINT buf_len, SQLSMALLINT* str_len, SQLLEN* number) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* s) {
    return SQLColAttribute_Internal(s, column, id, text, buf_len, str_len, number, 'A');
  });
}
extern "C" SQLRETURN SQL_API SQLColAttribute(SQLHSTMT h, SQLUSMALLINT column, SQLUSMALLINT id,
                                             SQLPOINTER text, SQLSMALLINT buf_len, SQLSMALLINT* str_len,
                                             SQLLEN* number) {
  return _zolandm_traced(entry_SQLColAttribute, trace_SQLColAttribute, h, column, id, text, buf_len, str_len,
                         number);
}

extern "C" SQLRETURN SQL_API SQLColAttributeA(SQLHSTMT h, SQLUSMALLINT column, SQLUSMALLINT id,
                                              SQLPOINTER text, SQLSMALLINT buf_len, SQLSMALLINT* str_len,
                                              SQLLEN* number) {
  return SQLColAttribute(h, column, id, text, buf_len, str_len, number);
}

static SQLRETURN entry_SQLColAttributeW(SQLHSTMT h, SQLUSMALLINT column, SQLUSMALLINT id, SQLPOINTER text,
                                        SQLSMALLINT buf_len, SQLSMALLINT* str_len, SQLLEN* number) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* s) {
    return SQLColAttribute_Internal(s, column, id, text, buf_len, str_len, number, 'W');
  });
}
extern "C" SQLRETURN SQL_API SQLColAttributeW(SQLHSTMT h, SQLUSMALLINT column, SQLUSMALLINT id,
                                              SQLPOINTER text, SQLSMALLINT buf_len, SQLSMALLINT* str_len,
                                              SQLLEN* number) {
  return _zolandm_traced(entry_SQLColAttributeW, trace_SQLColAttributeW, h, column, id, text, buf_len,
                         str_len, number);
}

static SQLRETURN entry_SQLEndTran(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT completion) {
  // Held for the whole call, the drivers' commits included, as SQLTransact does.
  zolandm_global_guard lock;
  const auto c = static_cast<SQLUSMALLINT>(completion);
  if (type == SQL_HANDLE_ENV) return SQLTransact_Internal(h, nullptr, c);
  if (type == SQL_HANDLE_DBC) return SQLTransact_Internal(nullptr, h, c);
  return ZOLANDM_INVALID;
}
extern "C" SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT completion) {
  return _zolandm_traced(entry_SQLEndTran, trace_SQLEndTran, type, h, completion);
}

static SQLRETURN entry_SQLBulkOperations(SQLHSTMT h, SQLSMALLINT operation) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* s) { return bulk_operations(s, operation); });
}
extern "C" SQLRETURN SQL_API SQLBulkOperations(SQLHSTMT h, SQLSMALLINT operation) {
  return _zolandm_traced(entry_SQLBulkOperations, trace_SQLBulkOperations, h, operation);
}

static SQLRETURN entry_SQLFetchScroll(SQLHSTMT h, SQLSMALLINT orientation, SQLLEN offset) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* s) { return fetch_scroll(s, orientation, offset); });
}
extern "C" SQLRETURN SQL_API SQLFetchScroll(SQLHSTMT h, SQLSMALLINT orientation, SQLLEN offset) {
  return _zolandm_traced(entry_SQLFetchScroll, trace_SQLFetchScroll, h, orientation, offset);
}

extern "C" SQLRETURN SQL_API SQLBindParam(SQLHSTMT h, SQLUSMALLINT ipar, SQLSMALLINT value_type,
                                          SQLSMALLINT param_type, SQLULEN column_size, SQLSMALLINT digits,
                                          SQLPOINTER value, SQLLEN* ind) {
  return SQLBindParameter(h, ipar, SQL_PARAM_INPUT, value_type, param_type, column_size, digits, value, 256,
                          ind);
}

static SQLRETURN entry_SQLCloseCursor(SQLHSTMT h) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* s) { return close_cursor(s); });
}
extern "C" SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT h) {
  return _zolandm_traced(entry_SQLCloseCursor, trace_SQLCloseCursor, h);
}
