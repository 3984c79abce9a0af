// SQLGetDiagRec and SQLGetDiagField: the diagnostics of a handle by record number, without
// removing them. Numbers 1 to n are the manager's own records, oldest first; higher numbers
// are the driver's records, numbered from 1 after them and read from the handle's copy
// (driver_diag.cpp). SQLGetDiagField also answers the header fields.

#include <cstdlib>
#include <cstring>

#include "dm/stmt_internal.h"
#include "odbcconfig/conversions.h"
#include "sqlext.h"
#include "sqlucode.h"
#include "dm/trace_hook.h"

namespace {

using DiagFieldFn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLSMALLINT, SQLPOINTER, SQLSMALLINT,
                                  SQLSMALLINT*);
using RowCountFn = SQLRETURN (*)(SQLHSTMT, SQLLEN*);

// A handle resolved for reading its diagnostics.
struct diag_target {
  zolandm_hdr* hdr = nullptr;
  zolandm_dbc* dbc = nullptr;  // null for an environment
  zolandm_stmt* stmt = nullptr;
  SQLHANDLE drv_handle = nullptr;
};

bool resolve(SQLSMALLINT type, SQLHANDLE h, diag_target* t) {
  if (type < SQL_HANDLE_ENV || type > SQL_HANDLE_DESC || !_zolandm_valid_handle(h, type)) return false;
  t->hdr = static_cast<zolandm_hdr*>(h);
  switch (type) {
    case SQL_HANDLE_DBC:
      t->dbc = static_cast<zolandm_dbc*>(h);
      t->drv_handle = t->dbc->drv_dbc;
      break;
    case SQL_HANDLE_STMT:
      t->stmt = static_cast<zolandm_stmt*>(h);
      t->dbc = t->stmt->dbc;
      t->drv_handle = t->stmt->drv_stmt;
      break;
    case SQL_HANDLE_DESC:
      t->dbc = static_cast<zolandm_desc*>(h)->dbc;
      t->drv_handle = static_cast<zolandm_desc*>(h)->drv_desc;
      break;
    default:
      break;
  }
  return true;
}

// The manager record numbered k (1 = oldest), or null. Diagnostics lock held.
const zolandm_err* record_number(const zolandm_hdr* hdr, int k) {
  for (const zolandm_err* e = hdr->diag; e != nullptr; e = e->next) {
    if (e->index == k - 1) return e;
  }
  return nullptr;
}

void* diag_field_entry(zolandm_dbc* dbc) {
  if (dbc == nullptr || dbc->driver == nullptr) return nullptr;
  if (dbc->driver->unicode) return _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLGetDiagFieldW);
  return _zolandm_driver_entry_width(dbc, ZOLANDM_FN_SQLGetDiagField, ZOLANDM_FN_SQLGetDiagField,
                                     ZOLANDM_FN_SQLGetDiagFieldA);
}

bool unicode_driver(const zolandm_dbc* dbc) {
  return dbc != nullptr && dbc->driver != nullptr && dbc->driver->unicode;
}

// A text answer in the call's width, cut to the buffer: silently for the manager's own
// texts, with SQL_SUCCESS_WITH_INFO for what a driver record holds (report_cut).
SQLRETURN put_text(const char* text, SQLPOINTER value, SQLSMALLINT buf_len, SQLSMALLINT* str_len, char width,
                   bool report_cut = false) {
  const SQLSMALLINT room = width == 'W' ? static_cast<SQLSMALLINT>(buf_len / 4) : buf_len;
  const bool given = value != nullptr && room > 0;
  SQLSMALLINT n = 0;
  if (width == 'W') {
    _zolandm_mbs_to_wcs_buf(text, given ? static_cast<SQLWCHAR*>(value) : nullptr, given ? room : 0, &n);
    if (str_len != nullptr) *str_len = static_cast<SQLSMALLINT>(n * 4);
  } else {
    n = static_cast<SQLSMALLINT>(std::strlen(text));
    if (str_len != nullptr) *str_len = n;
    if (given) {
      size_t k = n < room ? static_cast<size_t>(n) : static_cast<size_t>(room) - 1;
      std::memcpy(value, text, k);
      static_cast<char*>(value)[k] = '\0';
    }
  }
  return report_cut && given && n >= room ? ZOLANDM_OK_INFO : ZOLANDM_OK;
}

bool text_field(SQLSMALLINT id) {
  switch (id) {
    case SQL_DIAG_SQLSTATE:
    case SQL_DIAG_MESSAGE_TEXT:
    case SQL_DIAG_DYNAMIC_FUNCTION:
    case SQL_DIAG_CLASS_ORIGIN:
    case SQL_DIAG_SUBCLASS_ORIGIN:
    case SQL_DIAG_CONNECTION_NAME:
    case SQL_DIAG_SERVER_NAME:
      return true;
    default:
      return false;
  }
}

// The row or column of a record that names none: statements only. The row number is a
// SQLLEN field, the column number a 32-bit one.
SQLRETURN unknown_position(SQLSMALLINT type, SQLSMALLINT id, SQLPOINTER value) {
  if (type != SQL_HANDLE_STMT) return ZOLANDM_ERROR;
  if (value == nullptr) return ZOLANDM_OK;
  if (id == SQL_DIAG_ROW_NUMBER) {
    *static_cast<SQLLEN*>(value) = SQL_ROW_NUMBER_UNKNOWN;
  } else {
    *static_cast<SQLINTEGER*>(value) = SQL_COLUMN_NUMBER_UNKNOWN;
  }
  return ZOLANDM_OK;
}

const char* origin_of_code(int code) {
  return code >= ZOLANDM_E_HY001 && code <= ZOLANDM_E_IM015 ? "ODBC 3.0" : "ISO 9075";
}

// The data source name of the connection, read without a record of the manager's own on any
// list: reading diagnostics must not add to them. An unconnected connection has none.
SQLRETURN connection_name(zolandm_dbc* dbc, SQLPOINTER value, SQLSMALLINT buf_len, SQLSMALLINT* str_len,
                          char width) {
  if (dbc == nullptr || dbc->state < ZOLANDM_DBC_CONNECTED || dbc->driver == nullptr)
    return put_text("", value, buf_len, str_len, width);
  zolandm_err* kept;
  _zolandm_diag_lock();
  kept = dbc->diag;
  dbc->diag = nullptr;
  _zolandm_diag_unlock();
  SQLRETURN rc = SQLGetInfo_Internal(dbc, SQL_DATA_SOURCE_NAME, value, buf_len, str_len, width);
  _zolandm_diag_lock();
  zolandm_err* added = dbc->diag;
  dbc->diag = kept;
  _zolandm_diag_unlock();
  _zolandm_err_free_all(added);
  return rc;
}

// Asks the driver's SQLGetDiagField, with a temporary buffer for a text of the other width.
SQLRETURN driver_field(const diag_target& t, void* f, SQLSMALLINT type, SQLSMALLINT recno, SQLSMALLINT id,
                       SQLPOINTER value, SQLSMALLINT buf_len, SQLSMALLINT* str_len, char width) {
  const bool unicode = unicode_driver(t.dbc);
  const bool convert = text_field(id) && unicode != (width == 'W');
  if (!convert) {
    return _zolandm_call<DiagFieldFn>(t.dbc->driver, &t.hdr->last_rc, f, type, t.drv_handle, recno, id, value,
                                      buf_len, str_len);
  }
  if (buf_len < 0) return ZOLANDM_ERROR;
  int64_t len = unicode ? int64_t{buf_len} * 4 : buf_len / 4;
  if (len > 0x7FF0) len = 0x7FF0;
  void* tmp = _zolandm_calloc(1, static_cast<size_t>(len) + sizeof(SQLWCHAR));
  if (tmp == nullptr) return ZOLANDM_ERROR;
  SQLSMALLINT drv_len = 0;
  SQLRETURN rc = _zolandm_call<DiagFieldFn>(t.dbc->driver, &t.hdr->last_rc, f, type, t.drv_handle, recno, id,
                                            tmp, static_cast<SQLSMALLINT>(len), &drv_len);
  if (zolandm_succeeded(rc)) {
    SQLSMALLINT n = 0;
    if (unicode) {
      _zolandm_wcs_to_mbs_buf(static_cast<SQLWCHAR*>(tmp), static_cast<char*>(value),
                              value != nullptr ? buf_len : 0, &n);
    } else {
      _zolandm_mbs_to_wcs_buf(static_cast<char*>(tmp), static_cast<SQLWCHAR*>(value),
                              static_cast<SQLSMALLINT>(value != nullptr ? buf_len / 4 : 0), &n);
      n = static_cast<SQLSMALLINT>(n * 4);
    }
    if (str_len != nullptr) *str_len = n;
  }
  std::free(tmp);
  return rc;
}

SQLRETURN header_field(SQLSMALLINT type, const diag_target& t, SQLSMALLINT id, SQLPOINTER value,
                       SQLSMALLINT buf_len, SQLSMALLINT* str_len, char width) {
  switch (id) {
    case SQL_DIAG_RETURNCODE:
      if (value != nullptr) *static_cast<SQLSMALLINT*>(value) = t.hdr->last_rc;
      return ZOLANDM_OK;
    case SQL_DIAG_NUMBER: {
      if (value == nullptr) return ZOLANDM_OK;
      auto* number = static_cast<SQLINTEGER*>(value);
      const int n = _zolandm_diag_count(t.hdr);
      if (type != SQL_HANDLE_ENV) {
        // The driver's records as the reads see them.
        const int got = _zolandm_drv_diag_read(t.hdr, t.dbc, type, t.drv_handle);
        if (got < 0) return ZOLANDM_ERROR;
        if (got == 0) {
          *number = n + t.hdr->drv_diag->count;
          t.hdr->last_rc = ZOLANDM_OK;
          return ZOLANDM_OK;
        }
      }
      // Nothing to read the driver's records with: its own count, when it keeps one.
      void* f = t.drv_handle != nullptr ? diag_field_entry(t.dbc) : nullptr;
      if (f != nullptr) {
        // A driver that does not keep this header field leaves the value as it was.
        SQLINTEGER drv = -1;
        SQLRETURN rc =
            _zolandm_call<DiagFieldFn>(t.dbc->driver, &t.hdr->last_rc, f, type, t.drv_handle, SQLSMALLINT(0),
                                       id, static_cast<SQLPOINTER>(&drv), buf_len, str_len);
        if (rc == ZOLANDM_OK && drv >= 0) {
          *number = n + drv;
          return ZOLANDM_OK;
        }
        if (rc != ZOLANDM_OK && rc != ZOLANDM_NO_DATA) return rc;
      }
      bool odbc2_driver_spoke = t.dbc != nullptr && t.dbc->driver != nullptr &&
                                t.dbc->driver->drv_version == 2 && t.hdr->last_rc != ZOLANDM_OK;
      *number = n + (odbc2_driver_spoke ? 1 : 0);
      return ZOLANDM_OK;
    }
    case SQL_DIAG_ROW_COUNT:
    case SQL_DIAG_DYNAMIC_FUNCTION:
    case SQL_DIAG_DYNAMIC_FUNCTION_CODE:
    case SQL_DIAG_CURSOR_ROW_COUNT: {
      if (type != SQL_HANDLE_STMT || t.stmt->state < ZOLANDM_STMT_EXECUTED ||
          t.stmt->state > ZOLANDM_STMT_CURSOR_OPEN)
        return ZOLANDM_ERROR;
      if (void* f = diag_field_entry(t.dbc)) {
        return driver_field(t, f, SQL_HANDLE_STMT, 0, id, value, buf_len, str_len, width);
      }
      if (id != SQL_DIAG_ROW_COUNT) return ZOLANDM_ERROR;
      void* f = _zolandm_driver_entry(t.dbc, ZOLANDM_FN_SQLRowCount);
      if (f == nullptr) return ZOLANDM_ERROR;
      return _zolandm_call<RowCountFn>(t.dbc->driver, &t.stmt->last_rc, f, t.stmt->drv_stmt,
                                       static_cast<SQLLEN*>(value));
    }
    default:
      return ZOLANDM_ERROR;
  }
}

SQLRETURN manager_field(SQLSMALLINT type, const diag_target& t, int code, const char* message, SQLSMALLINT id,
                        SQLPOINTER value, SQLSMALLINT buf_len, SQLSMALLINT* str_len, char width) {
  // A text is never cut to a negative size: the call is refused without a record.
  if (text_field(id) && value != nullptr && buf_len < 0) return ZOLANDM_ERROR;
  switch (id) {
    case SQL_DIAG_SQLSTATE: {
      const char* state = _zolandm_sqlstate_of(code);
      return put_text(state != nullptr ? state : "", value, buf_len, str_len, width);
    }
    case SQL_DIAG_NATIVE:
      if (value != nullptr) *static_cast<SQLINTEGER*>(value) = 0;
      return ZOLANDM_OK;
    case SQL_DIAG_MESSAGE_TEXT: {
      const char* text = message != nullptr ? message : _zolandm_text_of(code);
      return put_text(text != nullptr ? text : "", value, buf_len, str_len, width);
    }
    case SQL_DIAG_CLASS_ORIGIN:
    case SQL_DIAG_SUBCLASS_ORIGIN:
      return put_text(origin_of_code(code), value, buf_len, str_len, width);
    case SQL_DIAG_CONNECTION_NAME:
    case SQL_DIAG_SERVER_NAME:
      return connection_name(t.dbc, value, buf_len, str_len, width);
    case SQL_DIAG_ROW_NUMBER:
    case SQL_DIAG_COLUMN_NUMBER:
      // The manager's own records are about no row or column (the driver's record of the
      // same number is another record).
      return unknown_position(type, id, value);
    default:
      return ZOLANDM_ERROR;
  }
}

bool header_id(SQLSMALLINT id) {
  switch (id) {
    case SQL_DIAG_NUMBER:
    case SQL_DIAG_RETURNCODE:
    case SQL_DIAG_ROW_COUNT:
    case SQL_DIAG_CURSOR_ROW_COUNT:
    case SQL_DIAG_DYNAMIC_FUNCTION:
    case SQL_DIAG_DYNAMIC_FUNCTION_CODE:
      return true;
    default:
      return false;
  }
}

// A field of the driver's record d when there is no way to read the driver's records (no
// SQLGetDiagRec, no SQLError; or a descriptor, which SQLError cannot name).
SQLRETURN field_without_records(SQLSMALLINT type, SQLSMALLINT d, SQLSMALLINT id, SQLPOINTER value,
                                SQLSMALLINT buf_len, SQLSMALLINT* str_len, char width) {
  if (d > 1) return ZOLANDM_NO_DATA;
  switch (id) {
    case SQL_DIAG_CONNECTION_NAME:
    case SQL_DIAG_SERVER_NAME:
      return put_text("", value, buf_len, str_len, width);
    case SQL_DIAG_ROW_NUMBER:
    case SQL_DIAG_COLUMN_NUMBER:
      return unknown_position(type, id, value);
    case SQL_DIAG_NATIVE:
    case SQL_DIAG_SQLSTATE:
    case SQL_DIAG_MESSAGE_TEXT:
    case SQL_DIAG_CLASS_ORIGIN:
    case SQL_DIAG_SUBCLASS_ORIGIN:
      return ZOLANDM_INVALID;
    default:
      return ZOLANDM_ERROR;
  }
}

// A field of a driver record from the handle's copy. The fields a record read does not
// carry are asked of the driver's SQLGetDiagField (f, when it has one) and, where it does not
// keep them, made from the record: the origins from the class of its SQLSTATE.
SQLRETURN field_of_copy(SQLSMALLINT type, const diag_target& t, void* f, SQLSMALLINT d, SQLSMALLINT id,
                        SQLPOINTER value, SQLSMALLINT buf_len, SQLSMALLINT* str_len, char width) {
  const zolandm_drv_diag* copy = t.hdr->drv_diag;
  if (d > copy->count) {
    t.hdr->last_rc = copy->end_rc;
    return copy->end_rc;
  }
  const zolandm_drv_rec* rec = &copy->recs[d - 1];
  if (text_field(id) && value != nullptr && buf_len < 0) return ZOLANDM_ERROR;
  SQLRETURN rc;
  switch (id) {
    case SQL_DIAG_SQLSTATE:
      rc = put_text(rec->sqlstate, value, buf_len, str_len, width, true);
      break;
    case SQL_DIAG_NATIVE:
      if (value != nullptr) *static_cast<SQLINTEGER*>(value) = rec->native;
      rc = ZOLANDM_OK;
      break;
    case SQL_DIAG_MESSAGE_TEXT: {
      SQLSMALLINT len = 0;
      const SQLSMALLINT room = width == 'W' ? static_cast<SQLSMALLINT>(buf_len / 4) : buf_len;
      rc = _zolandm_drv_rec_message(copy, rec, value, room, &len, width) ? ZOLANDM_OK_INFO : ZOLANDM_OK;
      if (str_len != nullptr) *str_len = static_cast<SQLSMALLINT>(width == 'W' ? len * 4 : len);
      break;
    }
    default: {
      if (f != nullptr) {
        rc = driver_field(t, f, type, d, id, value, buf_len, str_len, width);
        if (rc != ZOLANDM_NO_DATA) return rc;
      }
      switch (id) {
        case SQL_DIAG_CLASS_ORIGIN:
        case SQL_DIAG_SUBCLASS_ORIGIN:
          rc = put_text(std::strncmp(rec->sqlstate, "IM", 2) == 0 ? "ODBC 3.0" : "ISO 9075", value, buf_len,
                        str_len, width, true);
          break;
        case SQL_DIAG_CONNECTION_NAME:
        case SQL_DIAG_SERVER_NAME:
          rc = put_text("", value, buf_len, str_len, width);
          break;
        case SQL_DIAG_ROW_NUMBER:
        case SQL_DIAG_COLUMN_NUMBER:
          return unknown_position(type, id, value);
        default:
          return ZOLANDM_ERROR;
      }
      break;
    }
  }
  t.hdr->last_rc = rc;
  return rc;
}

}  // namespace

SQLRETURN SQLGetDiagRec_Internal(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, void* sqlstate,
                                 SQLINTEGER* native, void* msg, SQLSMALLINT buf_len, SQLSMALLINT* text_len,
                                 char width) {
  if (rec < 1 || buf_len < 0) return ZOLANDM_ERROR;
  diag_target t;
  if (!resolve(type, h, &t)) return ZOLANDM_INVALID;
  _zolandm_diag_lock();
  const int n = t.hdr->diag != nullptr ? t.hdr->diag->index + 1 : 0;
  if (rec <= n) {
    const zolandm_err* e = record_number(t.hdr, rec);
    SQLRETURN rc = ZOLANDM_NO_DATA;
    if (e != nullptr) {
      rc = _zolandm_report_record(e, sqlstate, msg, buf_len, text_len, width);
      if (native != nullptr) *native = 0;
    }
    _zolandm_diag_unlock();
    return rc;
  }
  _zolandm_diag_unlock();
  if (type == SQL_HANDLE_ENV) return ZOLANDM_NO_DATA;
  const int d = rec - n;
  const int got = _zolandm_drv_diag_read(t.hdr, t.dbc, type, t.drv_handle);
  if (got != 0) return ZOLANDM_ERROR;
  const zolandm_drv_diag* copy = t.hdr->drv_diag;
  SQLRETURN rc = d > copy->count
                     ? copy->end_rc
                     : _zolandm_drv_rec_report(copy, d - 1, sqlstate, native, msg, buf_len, text_len, width);
  // As a read of the driver's would have left it.
  t.hdr->last_rc = rc;
  return rc;
}

SQLRETURN SQLGetDiagField_Internal(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLSMALLINT id,
                                   SQLPOINTER value, SQLSMALLINT buf_len, SQLSMALLINT* str_len, char width) {
  diag_target t;
  if (!resolve(type, h, &t)) return ZOLANDM_INVALID;
  // A header field is the handle's whatever record number comes with it.
  if (rec == 0 || (rec > 0 && header_id(id)))
    return header_field(type, t, id, value, buf_len, str_len, width);
  if (rec < 0) return ZOLANDM_ERROR;
  _zolandm_diag_lock();
  const int n = t.hdr->diag != nullptr ? t.hdr->diag->index + 1 : 0;
  int code = -1;
  char* message = nullptr;
  if (rec <= n) {
    if (const zolandm_err* e = record_number(t.hdr, rec)) {
      code = e->code;
      // Copied: the list may change once the lock is let go (the connection name is read
      // from the driver).
      message = e->message != nullptr ? _zolandm_strdup(e->message) : nullptr;
    }
  }
  _zolandm_diag_unlock();
  if (rec <= n) {
    if (code < 0) return ZOLANDM_NO_DATA;
    SQLRETURN rc = manager_field(type, t, code, message, id, value, buf_len, str_len, width);
    std::free(message);
    return rc;
  }
  if (type == SQL_HANDLE_ENV || t.dbc->driver == nullptr) return ZOLANDM_NO_DATA;
  const SQLSMALLINT d = static_cast<SQLSMALLINT>(rec - n);
  void* f = diag_field_entry(t.dbc);
  if (f == nullptr && type == SQL_HANDLE_DESC)
    return field_without_records(type, d, id, value, buf_len, str_len, width);
  // A descriptor the driver never handed out has no records in the driver.
  if (t.drv_handle == nullptr) return ZOLANDM_NO_DATA;
  const int got = _zolandm_drv_diag_read(t.hdr, t.dbc, type, t.drv_handle);
  if (got < 0) return ZOLANDM_ERROR;
  if (got > 0) {
    return f != nullptr ? driver_field(t, f, type, d, id, value, buf_len, str_len, width)
                        : field_without_records(type, d, id, value, buf_len, str_len, width);
  }
  return field_of_copy(type, t, f, d, id, value, buf_len, str_len, width);
}

// ---- entries ----------------------------------------------------------------------------------

namespace {

// The diagnostic entries read under the global lock, driver calls included; they neither
// take the busy flag nor clear anything.
template <typename Fn>
SQLRETURN diag_entry(Fn work) {
  zolandm_global_guard lock;
  return work();
}

}  // namespace

static SQLRETURN entry_SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLCHAR* sqlstate,
                                     SQLINTEGER* native, SQLCHAR* msg, SQLSMALLINT buf_len,
                                     SQLSMALLINT* text_len) {
  return diag_entry(
      [&] { return SQLGetDiagRec_Internal(type, h, rec, sqlstate, native, msg, buf_len, text_len, 'A'); });
}
extern "C" SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLCHAR* sqlstate,
                                           SQLINTEGER* native, SQLCHAR* msg, SQLSMALLINT buf_len,
                                           SQLSMALLINT* text_len) {
  return _zolandm_traced(entry_SQLGetDiagRec, trace_SQLGetDiagRec, type, h, rec, sqlstate, native, msg,
                         buf_len, text_len);
}

extern "C" SQLRETURN SQL_API SQLGetDiagRecA(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLCHAR* sqlstate,
                                            SQLINTEGER* native, SQLCHAR* msg, SQLSMALLINT buf_len,
                                            SQLSMALLINT* text_len) {
  return SQLGetDiagRec(type, h, rec, sqlstate, native, msg, buf_len, text_len);
}

static SQLRETURN entry_SQLGetDiagRecW(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLWCHAR* sqlstate,
                                      SQLINTEGER* native, SQLWCHAR* msg, SQLSMALLINT buf_len,
                                      SQLSMALLINT* text_len) {
  return diag_entry(
      [&] { return SQLGetDiagRec_Internal(type, h, rec, sqlstate, native, msg, buf_len, text_len, 'W'); });
}
extern "C" SQLRETURN SQL_API SQLGetDiagRecW(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec,
                                            SQLWCHAR* sqlstate, SQLINTEGER* native, SQLWCHAR* msg,
                                            SQLSMALLINT buf_len, SQLSMALLINT* text_len) {
  return _zolandm_traced(entry_SQLGetDiagRecW, trace_SQLGetDiagRecW, type, h, rec, sqlstate, native, msg,
                         buf_len, text_len);
}

static SQLRETURN entry_SQLGetDiagField(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLSMALLINT id,
                                       SQLPOINTER value, SQLSMALLINT buf_len, SQLSMALLINT* str_len) {
  return diag_entry([&] { return SQLGetDiagField_Internal(type, h, rec, id, value, buf_len, str_len, 'A'); });
}
extern "C" SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLSMALLINT id,
                                             SQLPOINTER value, SQLSMALLINT buf_len, SQLSMALLINT* str_len) {
  return _zolandm_traced(entry_SQLGetDiagField, trace_SQLGetDiagField, type, h, rec, id, value, buf_len,
                         str_len);
}

extern "C" SQLRETURN SQL_API SQLGetDiagFieldA(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLSMALLINT id,
                                              SQLPOINTER value, SQLSMALLINT buf_len, SQLSMALLINT* str_len) {
  return SQLGetDiagField(type, h, rec, id, value, buf_len, str_len);
}

static SQLRETURN entry_SQLGetDiagFieldW(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLSMALLINT id,
                                        SQLPOINTER value, SQLSMALLINT buf_len, SQLSMALLINT* str_len) {
  return diag_entry([&] { return SQLGetDiagField_Internal(type, h, rec, id, value, buf_len, str_len, 'W'); });
}
extern "C" SQLRETURN SQL_API SQLGetDiagFieldW(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLSMALLINT id,
                                              SQLPOINTER value, SQLSMALLINT buf_len, SQLSMALLINT* str_len) {
  return _zolandm_traced(entry_SQLGetDiagFieldW, trace_SQLGetDiagFieldW, type, h, rec, id, value, buf_len,
                         str_len);
}
