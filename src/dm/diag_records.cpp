// SQLGetDiagRec and SQLGetDiagField: the diagnostics of a handle by record number, without
// removing them. Numbers 1 to n are the manager's own records, oldest first; higher numbers
// are the driver's records, asked of the driver with the number less n. SQLGetDiagField also
// answers the header fields.

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

// A text answer in the call's width, cut silently to the buffer.
SQLRETURN put_text(const char* text, SQLPOINTER value, SQLSMALLINT buf_len, SQLSMALLINT* str_len,
                   char width) {
  if (width == 'W') {
    SQLSMALLINT n = 0;
    _zolandm_mbs_to_wcs_buf(text, static_cast<SQLWCHAR*>(value),
                            static_cast<SQLSMALLINT>(value != nullptr ? buf_len / 4 : 0), &n);
    if (str_len != nullptr) *str_len = static_cast<SQLSMALLINT>(n * 4);
    return ZOLANDM_OK;
  }
  const size_t len = std::strlen(text);
  if (str_len != nullptr) *str_len = static_cast<SQLSMALLINT>(len);
  if (value != nullptr && buf_len > 0) {
    size_t n = len < static_cast<size_t>(buf_len) ? len : static_cast<size_t>(buf_len) - 1;
    std::memcpy(value, text, n);
    static_cast<char*>(value)[n] = '\0';
  }
  return ZOLANDM_OK;
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
        // Then its records are counted as they are read, without removing any.
        void* f_error;
        void* f_diag;
        _zolandm_driver_diag_entries(t.dbc, &f_error, &f_diag);
        if (f_diag != nullptr) {
          int count = 0;
          SQLWCHAR state[6];
          while (count < 64 &&
                 zolandm_succeeded(_zolandm_read_driver_record(
                     t.dbc, f_diag, false, type, t.drv_handle, static_cast<SQLSMALLINT>(count + 1), nullptr,
                     state, nullptr, nullptr, 0, nullptr, 'A', &t.hdr->last_rc))) {
            ++count;
          }
          *number = n + count;
          return ZOLANDM_OK;
        }
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

// A field of the driver's record d read as a whole record: through its SQLError (only its
// first record, which the read removes) for drivers without SQLGetDiagField, or through its
// SQLGetDiagRec for the fields its SQLGetDiagField does not keep.
SQLRETURN field_from_record(SQLSMALLINT type, const diag_target& t, SQLSMALLINT d, SQLSMALLINT id,
                            SQLPOINTER value, SQLSMALLINT buf_len, SQLSMALLINT* str_len, char width,
                            bool via_error) {
  if (via_error && d > 1) return ZOLANDM_NO_DATA;
  if (via_error && type == SQL_HANDLE_DESC) return ZOLANDM_INVALID;
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
      break;
    default:
      return ZOLANDM_ERROR;
  }
  void* f_error;
  void* f_diag;
  _zolandm_driver_diag_entries(t.dbc, &f_error, &f_diag);
  void* f = via_error ? f_error : f_diag;
  if (f == nullptr) return via_error ? ZOLANDM_INVALID : ZOLANDM_NO_DATA;
  if (text_field(id) && value != nullptr && buf_len < 0) return ZOLANDM_ERROR;
  // The record is read in the call's width.
  SQLWCHAR state[6] = {0, 0, 0, 0, 0, 0};
  SQLINTEGER native = 0;
  const bool message = id == SQL_DIAG_MESSAGE_TEXT;
  const SQLSMALLINT chars = static_cast<SQLSMALLINT>(width == 'W' ? buf_len / 4 : buf_len);
  SQLSMALLINT len = 0;
  SQLRETURN rc = _zolandm_read_driver_record(
      t.dbc, f, via_error, type, t.drv_handle, d, nullptr, state, &native, message ? value : nullptr,
      message ? chars : SQLSMALLINT(0), message ? &len : nullptr, width, &t.hdr->last_rc);
  switch (id) {
    case SQL_DIAG_NATIVE:
      // Read without a message buffer, a record may be called cut: the number is whole.
      if (!zolandm_succeeded(rc)) return rc;
      if (value != nullptr) *static_cast<SQLINTEGER*>(value) = native;
      return ZOLANDM_OK;
    case SQL_DIAG_MESSAGE_TEXT:
      if (zolandm_succeeded(rc) && str_len != nullptr)
        *str_len = static_cast<SQLSMALLINT>(width == 'W' ? len * 4 : len);
      return rc;
    case SQL_DIAG_SQLSTATE: {
      if (!zolandm_succeeded(rc)) return rc;
      char narrow[6];
      if (width == 'W') {
        for (int i = 0; i < 6; ++i) narrow[i] = static_cast<char>(state[i]);
      } else {
        std::memcpy(narrow, state, 6);
      }
      narrow[5] = '\0';
      return put_text(narrow, value, buf_len, str_len, width);
    }
    default: {
      // Without a message buffer a driver may well call its record cut: it was read all the same.
      if (!zolandm_succeeded(rc)) return ZOLANDM_NO_DATA;
      char cls[3];
      if (width == 'W') {
        cls[0] = static_cast<char>(state[0]);
        cls[1] = static_cast<char>(state[1]);
      } else {
        std::memcpy(cls, state, 2);
      }
      cls[2] = '\0';
      return put_text(std::strcmp(cls, "IM") == 0 ? "ODBC 3.0" : "ISO 9075", value, buf_len, str_len, width);
    }
  }
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
  const SQLSMALLINT d = static_cast<SQLSMALLINT>(rec - n);
  zolandm_dbc* dbc = t.dbc;
  if (dbc->driver == nullptr || t.drv_handle == nullptr) return ZOLANDM_ERROR;
  int app = dbc->env != nullptr ? dbc->env->odbc_version : 3;
  int drv = dbc->driver->drv_version;
  void* f_error;
  void* f_diag;
  _zolandm_driver_diag_entries(dbc, &f_error, &f_diag);
  bool via_error = (app == 2 && drv == 2) || (app == 2 && f_error != nullptr) || f_diag == nullptr;
  void* f = via_error ? f_error : f_diag;
  if (f == nullptr) return ZOLANDM_ERROR;
  if (via_error && (d > 1 || type == SQL_HANDLE_DESC)) return ZOLANDM_NO_DATA;
  return _zolandm_read_driver_record(dbc, f, via_error, type, t.drv_handle, d, nullptr, sqlstate, native, msg,
                                     buf_len, text_len, width, &t.hdr->last_rc);
}

SQLRETURN SQLGetDiagField_Internal(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLSMALLINT id,
                                   SQLPOINTER value, SQLSMALLINT buf_len, SQLSMALLINT* str_len, char width) {
  diag_target t;
  if (!resolve(type, h, &t)) return ZOLANDM_INVALID;
  if (rec == 0) return header_field(type, t, id, value, buf_len, str_len, width);
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
  if (void* f = diag_field_entry(t.dbc)) {
    // A descriptor the driver never handed out has no records in the driver.
    if (t.drv_handle == nullptr) return ZOLANDM_NO_DATA;
    // What a whole record holds is read as a record where the driver can: some drivers keep
    // these fields only there, and one drops its record when its message is asked as a field.
    void* f_error;
    void* f_diag;
    _zolandm_driver_diag_entries(t.dbc, &f_error, &f_diag);
    if (f_diag != nullptr &&
        (id == SQL_DIAG_SQLSTATE || id == SQL_DIAG_NATIVE || id == SQL_DIAG_MESSAGE_TEXT)) {
      return field_from_record(type, t, d, id, value, buf_len, str_len, width, false);
    }
    SQLRETURN rc = driver_field(t, f, type, d, id, value, buf_len, str_len, width);
    // A driver whose SQLGetDiagField does not keep a field of a record it has.
    if (rc == ZOLANDM_NO_DATA) rc = field_from_record(type, t, d, id, value, buf_len, str_len, width, false);
    return rc;
  }
  return field_from_record(type, t, d, id, value, buf_len, str_len, width, true);
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
