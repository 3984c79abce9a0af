// The driver's diagnostic records of a handle, read from the driver once after a call and
// kept until the next call clears the handle's diagnostics. Some drivers drop a record
// once they have returned it (through SQLError, or through SQLGetDiagRec with a message
// buffer), so asking the driver again on every read would lose records, their count and
// their full length; reading them all at once, with room for the longest message, lets
// SQLError, SQLGetDiagRec and SQLGetDiagField answer from the same copy as often as asked.

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "dm/dm_internal.h"
#include "odbcconfig/conversions.h"
#include "sql.h"

namespace {

using ErrorFn = SQLRETURN (*)(SQLHENV, SQLHDBC, SQLHSTMT, void*, SQLINTEGER*, void*, SQLSMALLINT,
                              SQLSMALLINT*);
using DiagRecFn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, void*, SQLINTEGER*, void*, SQLSMALLINT,
                                SQLSMALLINT*);

// The longest message a driver can report: its length is a 16-bit count.
constexpr SQLSMALLINT message_max = 0x7FFF;

size_t unit_of(char width) { return width == 'W' ? sizeof(SQLWCHAR) : 1; }

// Keeps what the driver wrote for one record; false when the message cannot be copied.
bool keep(zolandm_drv_rec* rec, const void* state, SQLINTEGER native, const void* message, char width) {
  for (int i = 0; i < 5; ++i) {
    rec->sqlstate[i] = width == 'W' ? static_cast<char>(static_cast<const SQLWCHAR*>(state)[i])
                                    : static_cast<const char*>(state)[i];
  }
  rec->sqlstate[5] = '\0';
  rec->native = native;
  size_t length = width == 'W' ? wcsnlen(static_cast<const SQLWCHAR*>(message), message_max)
                               : strnlen(static_cast<const char*>(message), message_max);
  rec->message = _zolandm_malloc((length + 1) * unit_of(width));
  if (rec->message == nullptr) return false;
  std::memcpy(rec->message, message, length * unit_of(width));
  std::memset(static_cast<char*>(rec->message) + length * unit_of(width), 0, unit_of(width));
  rec->length = static_cast<SQLSMALLINT>(length);
  return true;
}

}  // namespace

void _zolandm_drv_diag_free(zolandm_drv_diag* copy) {
  if (copy == nullptr) return;
  for (int i = 0; i < copy->count; ++i) std::free(copy->recs[i].message);
  std::free(copy);
}

int _zolandm_drv_diag_read(zolandm_hdr* hdr, zolandm_dbc* dbc, SQLSMALLINT type, SQLHANDLE drv_handle) {
  if (hdr->drv_diag != nullptr) return 0;
  if (dbc == nullptr || dbc->driver == nullptr || drv_handle == nullptr) return 1;
  // The driver's SQLError for an ODBC 2 application that it serves that way, or for a driver
  // without SQLGetDiagRec; its SQLGetDiagRec otherwise.
  const int app = dbc->env != nullptr ? dbc->env->odbc_version : 3;
  const int drv = dbc->driver->drv_version;
  void* f_error;
  void* f_diag;
  _zolandm_driver_diag_entries(dbc, &f_error, &f_diag);
  const bool via_error = (app == 2 && drv == 2) || (app == 2 && f_error != nullptr) || f_diag == nullptr;
  void* f = via_error ? f_error : f_diag;
  if (f == nullptr) return 1;

  const char width = dbc->driver->unicode ? 'W' : 'A';
  auto* copy = static_cast<zolandm_drv_diag*>(_zolandm_calloc(1, sizeof(zolandm_drv_diag)));
  // Each read starts with an empty text and is never looked at past message_max characters.
  void* message = _zolandm_malloc((static_cast<size_t>(message_max) + 1) * unit_of(width));
  if (copy == nullptr || message == nullptr) {
    std::free(copy);
    std::free(message);
    return -1;
  }
  copy->end_rc = ZOLANDM_NO_DATA;
  // SQLError names a connection or a statement, never a descriptor.
  const bool readable = !via_error || type == SQL_HANDLE_DBC || type == SQL_HANDLE_STMT;
  while (readable && copy->count < ZOLANDM_DRV_DIAG_MAX) {
    SQLWCHAR state[6] = {0, 0, 0, 0, 0, 0};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    std::memset(message, 0, unit_of(width));
    SQLRETURN rc;
    if (via_error) {
      // Each call reports the driver's next record and removes it.
      rc = _zolandm_call<ErrorFn>(dbc->driver, nullptr, f, SQLHENV(nullptr),
                                  type == SQL_HANDLE_DBC ? SQLHDBC(drv_handle) : SQLHDBC(nullptr),
                                  type == SQL_HANDLE_STMT ? SQLHSTMT(drv_handle) : SQLHSTMT(nullptr), state,
                                  &native, message, message_max, &length);
    } else {
      rc = _zolandm_call<DiagRecFn>(dbc->driver, nullptr, f, type, drv_handle,
                                    static_cast<SQLSMALLINT>(copy->count + 1), state, &native, message,
                                    message_max, &length);
    }
    if (!zolandm_succeeded(rc)) {
      copy->end_rc = rc;
      break;
    }
    if (!keep(&copy->recs[copy->count], state, native, message, width)) {
      // What was read so far stays readable; the rest is lost with the driver's copy.
      copy->end_rc = ZOLANDM_ERROR;
      break;
    }
    ++copy->count;
  }
  std::free(message);
  copy->width = width;
  hdr->drv_diag = copy;
  return 0;
}

int _zolandm_drv_rec_message(const zolandm_drv_diag* copy, const zolandm_drv_rec* rec, void* buffer,
                             SQLSMALLINT size, SQLSMALLINT* length, char width) {
  const bool given = buffer != nullptr && size > 0;
  SQLSMALLINT whole = rec->length;
  if (width == copy->width) {
    if (given) {
      const size_t n = static_cast<size_t>(whole < size ? whole : size - 1);
      std::memcpy(buffer, rec->message, n * unit_of(width));
      std::memset(static_cast<char*>(buffer) + n * unit_of(width), 0, unit_of(width));
    }
  } else if (width == 'W') {
    _zolandm_mbs_to_wcs_buf(static_cast<const char*>(rec->message),
                            given ? static_cast<SQLWCHAR*>(buffer) : nullptr, given ? size : 0, &whole);
  } else {
    _zolandm_wcs_to_mbs_buf(static_cast<const SQLWCHAR*>(rec->message),
                            given ? static_cast<char*>(buffer) : nullptr, given ? size : 0, &whole);
  }
  if (length != nullptr) *length = whole;
  return given && whole >= size ? 1 : 0;
}

SQLRETURN _zolandm_drv_rec_report(const zolandm_drv_diag* copy, int k, void* sqlstate, SQLINTEGER* native,
                                  void* msg, SQLSMALLINT msg_max, SQLSMALLINT* msg_len, char width) {
  const zolandm_drv_rec* rec = &copy->recs[k];
  if (sqlstate != nullptr) {
    for (int i = 0; i < 6; ++i) {
      if (width == 'W') {
        static_cast<SQLWCHAR*>(sqlstate)[i] = static_cast<unsigned char>(rec->sqlstate[i]);
      } else {
        static_cast<char*>(sqlstate)[i] = rec->sqlstate[i];
      }
    }
  }
  if (native != nullptr) *native = rec->native;
  return _zolandm_drv_rec_message(copy, rec, msg, msg_max, msg_len, width) ? ZOLANDM_OK_INFO : ZOLANDM_OK;
}
