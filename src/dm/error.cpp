// SQLError: the manager's own records of a handle, newest first, each removed once read;
// then the driver's records one after the other, from the copy read through its SQLError or
// its SQLGetDiagRec (driver_diag.cpp).

#include <cstdlib>
#include <cstring>

#include "dm/dm_internal.h"
#include "odbcconfig/conversions.h"
#include "sql.h"
#include "sqlucode.h"
#include "dm/trace_hook.h"

namespace {

using ErrorFn = SQLRETURN (*)(SQLHENV, SQLHDBC, SQLHSTMT, void*, SQLINTEGER*, void*, SQLSMALLINT,
                              SQLSMALLINT*);
using DiagRecFn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, void*, SQLINTEGER*, void*, SQLSMALLINT,
                                SQLSMALLINT*);

}  // namespace

void _zolandm_driver_diag_entries(zolandm_dbc* dbc, void** f_error, void** f_diag_rec) {
  if (dbc->driver != nullptr && dbc->driver->unicode) {
    *f_error = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLErrorW);
    *f_diag_rec = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLGetDiagRecW);
    return;
  }
  *f_error = _zolandm_driver_entry_width(dbc, ZOLANDM_FN_SQLError, ZOLANDM_FN_SQLError, ZOLANDM_FN_SQLErrorA);
  *f_diag_rec = _zolandm_driver_entry_width(dbc, ZOLANDM_FN_SQLGetDiagRec, ZOLANDM_FN_SQLGetDiagRec,
                                            ZOLANDM_FN_SQLGetDiagRecA);
}

SQLRETURN _zolandm_read_driver_record(zolandm_dbc* dbc, void* f, bool via_error, SQLSMALLINT type,
                                      SQLHANDLE drv_handle, SQLSMALLINT recno, void* sqlstate,
                                      SQLINTEGER* native, void* msg, SQLSMALLINT msg_max,
                                      SQLSMALLINT* msg_len, char width, SQLSMALLINT* last_rc) {
  zolandm_driver* drv = dbc->driver;
  char driver_width = drv != nullptr && drv->unicode ? 'W' : 'A';
  void* drv_msg = msg;
  void* drv_state = sqlstate;
  SQLWCHAR local_state[6] = {0, 0, 0, 0, 0, 0};
  void* tmp = nullptr;
  if (width != driver_width) {
    if (msg != nullptr && msg_max > 0) {
      size_t units = static_cast<size_t>(msg_max) + 1;
      size_t bytes = driver_width == 'W' ? units * sizeof(SQLWCHAR) : units;
      tmp = _zolandm_calloc(1, bytes);
      if (tmp == nullptr) return ZOLANDM_ERROR;
    }
    drv_msg = tmp;
    drv_state = sqlstate != nullptr ? local_state : nullptr;
  }

  SQLRETURN rc;
  if (via_error) {
    rc = _zolandm_call<ErrorFn>(drv, last_rc, f, SQLHENV(nullptr),
                                type == SQL_HANDLE_DBC ? SQLHDBC(drv_handle) : SQLHDBC(nullptr),
                                type == SQL_HANDLE_STMT ? SQLHSTMT(drv_handle) : SQLHSTMT(nullptr), drv_state,
                                native, drv_msg, msg_max, msg_len);
  } else {
    rc = _zolandm_call<DiagRecFn>(drv, last_rc, f, type, drv_handle, recno, drv_state, native, drv_msg,
                                  msg_max, msg_len);
  }

  if (width != driver_width && zolandm_succeeded(rc)) {
    if (driver_width == 'W') {
      if (msg != nullptr && tmp != nullptr) {
        _zolandm_wcs_to_mbs_buf(static_cast<SQLWCHAR*>(tmp), static_cast<char*>(msg), msg_max, nullptr);
      }
      if (sqlstate != nullptr) _zolandm_wcs_to_mbs_buf(local_state, static_cast<char*>(sqlstate), 6, nullptr);
    } else {
      if (msg != nullptr && tmp != nullptr) {
        _zolandm_mbs_to_wcs_buf(static_cast<char*>(tmp), static_cast<SQLWCHAR*>(msg), msg_max, nullptr);
      }
      if (sqlstate != nullptr) {
        char narrow_state[sizeof local_state];
        std::memcpy(narrow_state, local_state, sizeof local_state);
        narrow_state[sizeof narrow_state - 1] = '\0';
        _zolandm_mbs_to_wcs_buf(narrow_state, static_cast<SQLWCHAR*>(sqlstate), 6, nullptr);
      }
    }
  }
  std::free(tmp);
  return rc;
}

SQLRETURN _zolandm_report_record(const zolandm_err* rec, void* sqlstate, void* msg, SQLSMALLINT msg_max,
                                 SQLSMALLINT* msg_len, char width) {
  if (sqlstate != nullptr) {
    const char* state = _zolandm_sqlstate_of(rec->code);
    if (state == nullptr) state = "";
    if (width == 'W') {
      auto* w = static_cast<SQLWCHAR*>(sqlstate);
      _zolandm_mbs_to_wcs_buf(state, w, 6, nullptr);
      w[5] = 0;
    } else {
      char* c = static_cast<char*>(sqlstate);
      std::memset(c, 0, 6);
      std::strncpy(c, state, 5);
    }
  }
  if (msg == nullptr || msg_max == 0) {
    if (msg_len != nullptr) *msg_len = 0;
    return ZOLANDM_OK;
  }
  char text[256];
  int length = _zolandm_format_message(rec, text, sizeof text);
  if (width == 'W') {
    _zolandm_mbs_to_wcs_buf(text, static_cast<SQLWCHAR*>(msg), msg_max, msg_len);
  } else {
    int n = length < msg_max - 1 ? length : msg_max - 1;
    std::memcpy(msg, text, static_cast<size_t>(n));
    static_cast<char*>(msg)[n] = '\0';
    if (msg_len != nullptr) *msg_len = static_cast<SQLSMALLINT>(length);
  }
  return length >= msg_max ? ZOLANDM_OK_INFO : ZOLANDM_OK;
}

SQLRETURN SQLError_Internal(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, void* sqlstate, SQLINTEGER* native,
                            void* msg, SQLSMALLINT msg_max, SQLSMALLINT* msg_len, int remove, char width) {
  zolandm_hdr* hdr = nullptr;
  zolandm_dbc* dbc = nullptr;
  zolandm_stmt* stmt = nullptr;
  if (hstmt != nullptr && _zolandm_valid_handle(hstmt, ZOLANDM_STMT)) {
    stmt = static_cast<zolandm_stmt*>(hstmt);
    dbc = stmt->dbc;
    hdr = reinterpret_cast<zolandm_hdr*>(stmt);
  } else if (hdbc != nullptr && _zolandm_valid_handle(hdbc, ZOLANDM_DBC)) {
    dbc = static_cast<zolandm_dbc*>(hdbc);
    hdr = reinterpret_cast<zolandm_hdr*>(dbc);
    if (_zolandm_diag_count(dbc) == 0 && dbc->driver == nullptr) return ZOLANDM_NO_DATA;
  } else if (henv != nullptr && _zolandm_valid_handle(henv, ZOLANDM_ENV)) {
    hdr = static_cast<zolandm_hdr*>(henv);
    if (_zolandm_diag_count(hdr) == 0) return ZOLANDM_NO_DATA;
  } else {
    return ZOLANDM_INVALID;
  }
  if (msg != nullptr && msg_max < 0) return ZOLANDM_ERROR;

  _zolandm_diag_lock();
  zolandm_err* head = hdr->diag;
  if (head != nullptr) {
    SQLRETURN rc = _zolandm_report_record(head, sqlstate, msg, msg_max, msg_len, width);
    if (native != nullptr) *native = 0;
    if (remove) {
      hdr->diag = head->next;
      head->next = nullptr;
    }
    _zolandm_diag_unlock();
    if (remove) _zolandm_err_free_all(head);
    return rc;
  }
  _zolandm_diag_unlock();
  if (dbc == nullptr) return ZOLANDM_NO_DATA;
  // Then the driver's records, one a call, from the copy the first read makes; the handle's
  // last_rc stays as the call left it.
  SQLHANDLE drv_handle = stmt != nullptr ? SQLHANDLE(stmt->drv_stmt) : SQLHANDLE(dbc->drv_dbc);
  const SQLSMALLINT type = stmt != nullptr ? SQLSMALLINT(SQL_HANDLE_STMT) : SQLSMALLINT(SQL_HANDLE_DBC);
  const int got = _zolandm_drv_diag_read(hdr, dbc, type, drv_handle);
  if (got < 0) return ZOLANDM_ERROR;
  if (got > 0) return ZOLANDM_NO_DATA;
  uint16_t* next = stmt != nullptr ? &stmt->diag_read_count : &dbc->diag_read_count;
  const zolandm_drv_diag* copy = hdr->drv_diag;
  if (*next >= copy->count) return copy->end_rc;
  return _zolandm_drv_rec_report(copy, (*next)++, sqlstate, native, msg, msg_max, msg_len, width);
}

static SQLRETURN entry_SQLError(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, SQLCHAR* sqlstate,
                                SQLINTEGER* native, SQLCHAR* msg, SQLSMALLINT msg_max, SQLSMALLINT* msg_len) {
  zolandm_global_guard lock;
  return SQLError_Internal(henv, hdbc, hstmt, sqlstate, native, msg, msg_max, msg_len, 1, 'A');
}
extern "C" SQLRETURN SQL_API SQLError(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, SQLCHAR* sqlstate,
                                      SQLINTEGER* native, SQLCHAR* msg, SQLSMALLINT msg_max,
                                      SQLSMALLINT* msg_len) {
  return _zolandm_traced(entry_SQLError, trace_SQLError, henv, hdbc, hstmt, sqlstate, native, msg, msg_max,
                         msg_len);
}

static SQLRETURN entry_SQLErrorA(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, SQLCHAR* sqlstate,
                                 SQLINTEGER* native, SQLCHAR* msg, SQLSMALLINT msg_max,
                                 SQLSMALLINT* msg_len) {
  zolandm_global_guard lock;
  return SQLError_Internal(henv, hdbc, hstmt, sqlstate, native, msg, msg_max, msg_len, 1, 'A');
}
extern "C" SQLRETURN SQL_API SQLErrorA(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, SQLCHAR* sqlstate,
                                       SQLINTEGER* native, SQLCHAR* msg, SQLSMALLINT msg_max,
                                       SQLSMALLINT* msg_len) {
  return _zolandm_traced(entry_SQLErrorA, trace_SQLError, henv, hdbc, hstmt, sqlstate, native, msg, msg_max,
                         msg_len);
}

static SQLRETURN entry_SQLErrorW(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, SQLWCHAR* sqlstate,
                                 SQLINTEGER* native, SQLWCHAR* msg, SQLSMALLINT msg_max,
                                 SQLSMALLINT* msg_len) {
  zolandm_global_guard lock;
  return SQLError_Internal(henv, hdbc, hstmt, sqlstate, native, msg, msg_max, msg_len, 1, 'W');
}
extern "C" SQLRETURN SQL_API SQLErrorW(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, SQLWCHAR* sqlstate,
                                       SQLINTEGER* native, SQLWCHAR* msg, SQLSMALLINT msg_max,
                                       SQLSMALLINT* msg_len) {
  return _zolandm_traced(entry_SQLErrorW, trace_SQLErrorW, henv, hdbc, hstmt, sqlstate, native, msg, msg_max,
                         msg_len);
}
