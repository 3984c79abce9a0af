// Statement handles: allocation with the implicit descriptors, SQLFreeStmt, the ODBC 2
// statement options, SQLCancel, the per-statement conversion slots and the list of columns
// bound as wide characters on a driver without wide entry points.

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "dm/stmt_internal.h"
#include "odbcconfig/conversions.h"
#include "sqlext.h"
#include "dm/trace_hook.h"

namespace {

using AllocStmtFn = SQLRETURN (*)(SQLHDBC, SQLHSTMT*);
using AllocHandleFn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*);
using FreeStmtFn = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT);
using FreeHandleFn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE);
using GetStmtAttrFn = SQLRETURN (*)(SQLHSTMT, SQLINTEGER, SQLPOINTER, SQLINTEGER, SQLINTEGER*);
using SetStmtAttrFn = SQLRETURN (*)(SQLHSTMT, SQLINTEGER, SQLPOINTER, SQLINTEGER);
using SetStmtOptionFn = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT, SQLULEN);
using GetStmtOptionFn = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT, SQLPOINTER);
using CancelFn = SQLRETURN (*)(SQLHSTMT);

}  // namespace

extern "C" const SQLINTEGER _zolandm_implicit_desc_attrs[4];
const SQLINTEGER _zolandm_implicit_desc_attrs[4] = {10010, 10011, 10012, 10013};

namespace {

zolandm_desc* make_desc(zolandm_stmt* stmt) {
  auto* d = static_cast<zolandm_desc*>(_zolandm_calloc(1, sizeof(zolandm_desc)));
  if (d == nullptr) return nullptr;
  d->handle_type = ZOLANDM_DESC;
  d->dbc = stmt->dbc;
  d->owner_stmt = stmt;
  return d;
}

void free_descs(zolandm_stmt* stmt) {
  for (zolandm_desc*& d : stmt->imp_desc) {
    if (d == nullptr) continue;
    _zolandm_diag_clear(d);
    d->handle_type = 0;
    std::free(d);
    d = nullptr;
  }
}

// Drops the driver's statement by the ODBC 2/3 rule (allocation failed after it existed).
void drop_driver_stmt(zolandm_stmt* stmt) {
  zolandm_dbc* dbc = stmt->dbc;
  bool odbc3 = false;
  void* f = _zolandm_choose_2_or_3(dbc, ZOLANDM_FN_SQLFreeStmt, ZOLANDM_FN_SQLFreeHandle, &odbc3);
  if (f == nullptr) {
    _zolandm_diag_add(dbc, ZOLANDM_E_IM001);
  } else if (odbc3) {
    _zolandm_call<FreeHandleFn>(dbc->driver, &stmt->last_rc, f, SQLSMALLINT(SQL_HANDLE_STMT), stmt->drv_stmt);
  } else {
    _zolandm_call<FreeStmtFn>(dbc->driver, &stmt->last_rc, f, stmt->drv_stmt, SQLUSMALLINT(SQL_DROP));
  }
}

void discard(zolandm_stmt* stmt) {
  free_descs(stmt);
  if (stmt->row_status_owned) std::free(stmt->row_status_ptr);
  stmt->handle_type = 0;
  std::free(stmt);
}

// Options that only the ODBC 3 attribute functions know, refused on that path.
bool odbc3_only_attr(unsigned option) {
  return (option >= 15 && option <= 18) || (option >= 20 && option <= 27) ||
         (option >= 10010 && option <= 10014);
}

bool numeric_option(unsigned option) { return option <= 8 || (option >= 10 && option <= 12) || option == 14; }

bool cursor_option(unsigned option) { return option == 6 || option == 7 || option == 10 || option == 12; }

// An ODBC 2 statement option with an ODBC 3 attribute of the same number and meaning.
bool has_attribute_twin(unsigned option) { return option <= 12 || option == 14; }

// Whether the driver's first record of the statement says "not capable" of the call it
// just refused.
bool refused_as_not_capable(zolandm_stmt* stmt) {
  zolandm_dbc* dbc = stmt->dbc;
  void* f_error;
  void* f_diag;
  _zolandm_driver_diag_entries(dbc, &f_error, &f_diag);
  // Only a reader that leaves the record in place: the application may still want it.
  if (f_diag == nullptr) return false;
  char state[6] = "";
  SQLRETURN rc = _zolandm_read_driver_record(dbc, f_diag, false, SQL_HANDLE_STMT, stmt->drv_stmt, 1, state,
                                             nullptr, nullptr, 0, nullptr, 'A', nullptr);
  if (!zolandm_succeeded(rc)) return false;
  return std::strcmp(state, "IM001") == 0 || std::strcmp(state, "HYC00") == 0 ||
         std::strcmp(state, "S1C00") == 0;
}

// An ODBC 3 driver that refused an ODBC 2 option call as "not capable" may still take the
// same setting as an attribute: the attribute function to retry with, or null.
void* retry_entry(zolandm_stmt* stmt, SQLUSMALLINT option, SQLRETURN rc, int plain_id, int w_id, int a_id) {
  zolandm_dbc* dbc = stmt->dbc;
  if (rc != ZOLANDM_ERROR || !has_attribute_twin(option) || _zolandm_drv_version(dbc) != 3) return nullptr;
  void* f = _zolandm_driver_entry_width(dbc, plain_id, w_id, a_id);
  if (f == nullptr || !refused_as_not_capable(stmt)) return nullptr;
  return f;
}

// After a retry that succeeded outright, whatever the driver still holds on the statement is
// the refusal it was retried for (a driver need not clear its records at the next call):
// read away through its SQLError, which removes each record it reports.
void drop_refusal(zolandm_stmt* stmt) {
  zolandm_dbc* dbc = stmt->dbc;
  void* f_error;
  void* f_diag;
  _zolandm_driver_diag_entries(dbc, &f_error, &f_diag);
  if (f_error == nullptr) return;
  for (int i = 0; i < 64; ++i) {
    SQLRETURN rc = _zolandm_read_driver_record(dbc, f_error, true, SQL_HANDLE_STMT, stmt->drv_stmt, 0,
                                               nullptr, nullptr, nullptr, 0, nullptr, 'A', nullptr);
    if (!zolandm_succeeded(rc)) break;
  }
}

}  // namespace

// ---- allocation -------------------------------------------------------------------------

SQLRETURN SQLAllocStmt_Internal(zolandm_dbc* dbc, SQLHSTMT* out) {
  if (out == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_S1009);
  if (dbc->state == ZOLANDM_DBC_ALLOCATED || dbc->state == ZOLANDM_DBC_BROWSING || dbc->driver == nullptr) {
    *out = nullptr;
    return _zolandm_fail(dbc, ZOLANDM_E_08003);
  }
  auto* stmt = static_cast<zolandm_stmt*>(_zolandm_calloc(1, sizeof(zolandm_stmt)));
  if (stmt == nullptr) {
    *out = nullptr;
    return _zolandm_fail(dbc, ZOLANDM_E_S1001);
  }
  stmt->handle_type = ZOLANDM_STMT;
  stmt->dbc = dbc;
  stmt->rowset_size = 1;
  stmt->row_array_size = 1;

  if (_zolandm_app_version(dbc) == 3 && _zolandm_drv_version(dbc) == 2) {
    stmt->row_status_ptr = static_cast<SQLUSMALLINT*>(_zolandm_calloc(1, sizeof(SQLUSMALLINT)));
    if (stmt->row_status_ptr == nullptr) {
      discard(stmt);
      *out = nullptr;
      return _zolandm_fail(dbc, ZOLANDM_E_HY001);
    }
    stmt->row_status_owned = 1;
  }

  bool odbc3 = false;
  void* f = _zolandm_choose_2_or_3(dbc, ZOLANDM_FN_SQLAllocStmt, ZOLANDM_FN_SQLAllocHandle, &odbc3);
  if (f == nullptr) {
    discard(stmt);
    *out = nullptr;
    return _zolandm_fail(dbc, ZOLANDM_E_IM001);
  }
  SQLRETURN rc =
      odbc3 ? _zolandm_call<AllocHandleFn>(dbc->driver, &dbc->last_rc, f, SQLSMALLINT(SQL_HANDLE_STMT),
                                           dbc->drv_dbc, &stmt->drv_stmt)
            : _zolandm_call<AllocStmtFn>(dbc->driver, &dbc->last_rc, f, dbc->drv_dbc, &stmt->drv_stmt);
  if (!zolandm_succeeded(rc)) {
    discard(stmt);
    *out = nullptr;
    return rc;
  }

  bool failed = false;
  if (_zolandm_drv_version(dbc) == 2) {
    for (zolandm_desc*& d : stmt->imp_desc) {
      d = make_desc(stmt);
      if (d == nullptr) {
        _zolandm_diag_add(dbc, ZOLANDM_E_HY001);
        failed = true;
        break;
      }
    }
  } else {
    void* get = _zolandm_driver_entry_width(dbc, ZOLANDM_FN_SQLGetStmtAttr, ZOLANDM_FN_SQLGetStmtAttrW,
                                            ZOLANDM_FN_SQLGetStmtAttrA);
    // A driver that hands out no implicit descriptors still gets its statement; the
    // descriptor calls then find none and answer "IM001".
    for (int i = 0; get != nullptr && i < 4; ++i) {
      zolandm_desc* d = make_desc(stmt);
      if (d == nullptr) {
        _zolandm_diag_add(dbc, ZOLANDM_E_HY001);
        failed = true;
        break;
      }
      SQLRETURN drc = _zolandm_call<GetStmtAttrFn>(
          dbc->driver, &stmt->last_rc, get, stmt->drv_stmt, _zolandm_implicit_desc_attrs[i],
          static_cast<SQLPOINTER>(&d->drv_desc), SQLINTEGER(0), static_cast<SQLINTEGER*>(nullptr));
      if (!zolandm_succeeded(drc) || d->drv_desc == nullptr) {
        std::free(d);
        free_descs(stmt);
        break;
      }
      stmt->imp_desc[i] = d;
    }
    stmt->last_rc = 0;
  }
  if (failed) {
    free_descs(stmt);
    drop_driver_stmt(stmt);
    discard(stmt);
    return ZOLANDM_ERROR;
  }
  stmt->next = dbc->stmts;
  dbc->stmts = stmt;
  *out = stmt;
  dbc->state = ZOLANDM_DBC_IN_USE;
  return ZOLANDM_OK;
}

static SQLRETURN entry_SQLAllocStmt(SQLHDBC hdbc, SQLHSTMT* out) {
  zolandm_entry entry(hdbc, ZOLANDM_DBC);
  if (!entry.ok()) return entry.rc();
  return SQLAllocStmt_Internal(static_cast<zolandm_dbc*>(hdbc), out);
}
extern "C" SQLRETURN SQL_API SQLAllocStmt(SQLHDBC hdbc, SQLHSTMT* out) {
  return _zolandm_traced(entry_SQLAllocStmt, trace_SQLAllocStmt, hdbc, out);
}

// ---- SQLFreeStmt -------------------------------------------------------------------------

SQLRETURN SQLFreeStmt_Internal(zolandm_stmt* stmt, SQLUSMALLINT option) {
  if (option > SQL_RESET_PARAMS) return _zolandm_fail(stmt, ZOLANDM_E_S1092);
  if ((stmt->state >= ZOLANDM_STMT_NEED_DATA && stmt->state <= ZOLANDM_STMT_CAN_PUT) || stmt->async_func != 0)
    return _zolandm_fail(stmt, ZOLANDM_E_S1010);
  zolandm_dbc* dbc = stmt->dbc;
  SQLRETURN rc;
  if (option == SQL_DROP) {
    bool odbc3 = false;
    void* f = _zolandm_choose_2_or_3(dbc, ZOLANDM_FN_SQLFreeStmt, ZOLANDM_FN_SQLFreeHandle, &odbc3);
    if (f == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
    rc = odbc3 ? _zolandm_call<FreeHandleFn>(dbc->driver, &stmt->last_rc, f, SQLSMALLINT(SQL_HANDLE_STMT),
                                             stmt->drv_stmt)
               : _zolandm_call<FreeStmtFn>(dbc->driver, &stmt->last_rc, f, stmt->drv_stmt, option);
  } else {
    void* f = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLFreeStmt);
    if (f == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
    rc = _zolandm_call<FreeStmtFn>(dbc->driver, &stmt->last_rc, f, stmt->drv_stmt, option);
  }
  if (!zolandm_succeeded(rc)) return rc;
  switch (option) {
    case SQL_CLOSE:
      stmt->cursor_state = ZOLANDM_CURSOR_NONE;
      if (stmt->state >= ZOLANDM_STMT_EXECUTED && stmt->state <= ZOLANDM_STMT_EXT_FETCHED)
        stmt->state = stmt->prepared ? ZOLANDM_STMT_PREPARED : ZOLANDM_STMT_ALLOCATED;
      stmt->gd_column = 0;
      stmt->gd_carry_len = 0;
      break;
    case SQL_UNBIND:
      _zolandm_boundcol_free_all(stmt);
      break;
    case SQL_RESET_PARAMS:
      _zolandm_stmt_free_paramtab(stmt);
      break;
    default:
      _zolandm_boundcol_free_all(stmt);
      _zolandm_stmt_free_paramtab(stmt);
      break;
  }
  return rc;
}

SQLRETURN _zolandm_free_stmt_entry(SQLHSTMT hstmt, SQLUSMALLINT option) {
  zolandm_entry entry(hstmt, ZOLANDM_STMT);
  if (!entry.ok()) return entry.rc();
  auto* stmt = static_cast<zolandm_stmt*>(hstmt);
  entry.unlock();
  SQLRETURN rc = SQLFreeStmt_Internal(stmt, option);
  entry.relock();
  if (option == SQL_DROP && zolandm_succeeded(rc)) {
    entry.forget_handle();
    _zolandm_stmt_release(stmt);
  }
  return rc;
}

static SQLRETURN entry_SQLFreeStmt(SQLHSTMT hstmt, SQLUSMALLINT option) {
  return _zolandm_free_stmt_entry(hstmt, option);
}
extern "C" SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT hstmt, SQLUSMALLINT option) {
  return _zolandm_traced(entry_SQLFreeStmt, trace_SQLFreeStmt, hstmt, option);
}

// ---- statement options ---------------------------------------------------------------------

SQLRETURN SQLGetStmtOption_Internal(zolandm_stmt* stmt, SQLUSMALLINT option, SQLPOINTER value) {
  if ((stmt->state >= ZOLANDM_STMT_NEED_DATA && stmt->state <= ZOLANDM_STMT_CAN_PUT) || stmt->async_func != 0)
    return _zolandm_fail(stmt, ZOLANDM_E_S1010);
  if ((option == SQL_GET_BOOKMARK || option == SQL_ROW_NUMBER) && stmt->state <= ZOLANDM_STMT_CURSOR_OPEN) {
    return _zolandm_fail(stmt, ZOLANDM_E_24000);
  }
  zolandm_dbc* dbc = stmt->dbc;
  bool odbc3 = false;
  void* f = _zolandm_choose_2_or_3(dbc, ZOLANDM_FN_SQLGetStmtOption, ZOLANDM_FN_SQLGetStmtAttr, &odbc3);
  if (f == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
  SQLINTEGER len = numeric_option(option) ? 0 : 256;
  if (odbc3) {
    if (odbc3_only_attr(option)) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
    return _zolandm_call<GetStmtAttrFn>(dbc->driver, &stmt->last_rc, f, stmt->drv_stmt, SQLINTEGER(option),
                                        value, len, static_cast<SQLINTEGER*>(nullptr));
  }
  SQLRETURN rc =
      _zolandm_call<GetStmtOptionFn>(dbc->driver, &stmt->last_rc, f, stmt->drv_stmt, option, value);
  if (void* attr = retry_entry(stmt, option, rc, ZOLANDM_FN_SQLGetStmtAttr, ZOLANDM_FN_SQLGetStmtAttrW,
                               ZOLANDM_FN_SQLGetStmtAttrA)) {
    rc = _zolandm_call<GetStmtAttrFn>(dbc->driver, &stmt->last_rc, attr, stmt->drv_stmt, SQLINTEGER(option),
                                      value, len, static_cast<SQLINTEGER*>(nullptr));
    if (rc == ZOLANDM_OK) drop_refusal(stmt);
  }
  return rc;
}

SQLRETURN SQLSetStmtOption_Internal(zolandm_stmt* stmt, SQLUSMALLINT option, SQLULEN value) {
  bool need_data = stmt->state >= ZOLANDM_STMT_NEED_DATA && stmt->state <= ZOLANDM_STMT_CAN_PUT;
  if (cursor_option(option)) {
    if (stmt->async_func != 0) {
      if (stmt->prepared) return _zolandm_fail(stmt, ZOLANDM_E_S1011);
    } else if (stmt->state == ZOLANDM_STMT_PREPARED) {
      return _zolandm_fail(stmt, ZOLANDM_E_S1011);
    } else if (stmt->state >= ZOLANDM_STMT_EXECUTED && stmt->state <= ZOLANDM_STMT_EXT_FETCHED) {
      return _zolandm_fail(stmt, ZOLANDM_E_24000);
    } else if (need_data && stmt->prepared) {
      return _zolandm_fail(stmt, ZOLANDM_E_S1011);
    }
  } else if (stmt->async_func != 0) {
    if (!stmt->prepared) return _zolandm_fail(stmt, ZOLANDM_E_S1010);
  } else if (need_data) {
    return _zolandm_fail(stmt, ZOLANDM_E_S1010);
  }
  zolandm_dbc* dbc = stmt->dbc;
  bool odbc3 = false;
  void* f = _zolandm_choose_2_or_3(dbc, ZOLANDM_FN_SQLSetStmtOption, ZOLANDM_FN_SQLSetStmtAttr, &odbc3);
  if (f == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
  SQLRETURN rc;
  if (odbc3) {
    if (odbc3_only_attr(option)) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
    SQLINTEGER len = numeric_option(option) ? 0 : SQL_NTS;
    rc = _zolandm_call<SetStmtAttrFn>(dbc->driver, &stmt->last_rc, f, stmt->drv_stmt, SQLINTEGER(option),
                                      reinterpret_cast<SQLPOINTER>(value), len);
  } else {
    rc = _zolandm_call<SetStmtOptionFn>(dbc->driver, &stmt->last_rc, f, stmt->drv_stmt, option, value);
    if (void* attr = retry_entry(stmt, option, rc, ZOLANDM_FN_SQLSetStmtAttr, ZOLANDM_FN_SQLSetStmtAttrW,
                                 ZOLANDM_FN_SQLSetStmtAttrA)) {
      rc = _zolandm_call<SetStmtAttrFn>(dbc->driver, &stmt->last_rc, attr, stmt->drv_stmt, SQLINTEGER(option),
                                        reinterpret_cast<SQLPOINTER>(value), SQLINTEGER(0));
      if (rc == ZOLANDM_OK) drop_refusal(stmt);
    }
  }
  if (!zolandm_succeeded(rc)) return rc;
  if (option == SQL_ROWSET_SIZE || option == 27) {
    SQLULEN rows =
        rc == ZOLANDM_OK_INFO && option == SQL_ROWSET_SIZE ? _zolandm_stmt_read_rowset(stmt, value) : value;
    if (!_zolandm_stmt_rowset_changed(stmt, rows)) return ZOLANDM_ERROR;
  } else if (option == SQL_BIND_TYPE) {
    stmt->bind_type = static_cast<int>(value > INT_MAX ? INT_MAX : value);
  } else if (option == 18) {  // SQL_ATTR_PARAM_BIND_TYPE
    stmt->param_bind_type = static_cast<int>(value > INT_MAX ? INT_MAX : value);
  }
  return rc;
}

static SQLRETURN entry_SQLSetStmtOption(SQLHSTMT hstmt, SQLUSMALLINT option, SQLULEN value) {
  return _zolandm_stmt_entry(hstmt,
                             [&](zolandm_stmt* s) { return SQLSetStmtOption_Internal(s, option, value); });
}
extern "C" SQLRETURN SQL_API SQLSetStmtOption(SQLHSTMT hstmt, SQLUSMALLINT option, SQLULEN value) {
  return _zolandm_traced(entry_SQLSetStmtOption, trace_SQLSetStmtOption, hstmt, option, value);
}

extern "C" SQLRETURN SQL_API SQLSetStmtOptionA(SQLHSTMT hstmt, SQLUSMALLINT option, SQLULEN value) {
  return SQLSetStmtOption(hstmt, option, value);
}

static SQLRETURN entry_SQLGetStmtOption(SQLHSTMT hstmt, SQLUSMALLINT option, SQLPOINTER value) {
  return _zolandm_stmt_entry(hstmt,
                             [&](zolandm_stmt* s) { return SQLGetStmtOption_Internal(s, option, value); });
}
extern "C" SQLRETURN SQL_API SQLGetStmtOption(SQLHSTMT hstmt, SQLUSMALLINT option, SQLPOINTER value) {
  return _zolandm_traced(entry_SQLGetStmtOption, trace_SQLGetStmtOption, hstmt, option, value);
}

extern "C" SQLRETURN SQL_API SQLGetStmtOptionA(SQLHSTMT hstmt, SQLUSMALLINT option, SQLPOINTER value) {
  return SQLGetStmtOption(hstmt, option, value);
}

// ---- SQLCancel -----------------------------------------------------------------------------

static SQLRETURN entry_SQLCancel(SQLHSTMT hstmt) {
  pthread_mutex_lock(&_zolandm_global_lock);
  if (!_zolandm_valid_handle(hstmt, ZOLANDM_STMT)) {
    pthread_mutex_unlock(&_zolandm_global_lock);
    return ZOLANDM_INVALID;
  }
  auto* stmt = static_cast<zolandm_stmt*>(hstmt);
  bool running = stmt->busy != 0;
  // A running call owns the statement's diagnostics: clearing them under it would race
  // with its pushes and lose what it reported.
  if (!running) _zolandm_diag_clear(stmt);
  zolandm_driver* drv = stmt->dbc->driver;
  SQLHSTMT drv_stmt = stmt->drv_stmt;
  pthread_mutex_unlock(&_zolandm_global_lock);

  void* f = _zolandm_driver_record_entry(drv, ZOLANDM_FN_SQLCancel);
  if (f == nullptr) {
    if (running) return ZOLANDM_ERROR;  // nothing may be pushed under the running call
    return _zolandm_fail(stmt, ZOLANDM_E_IM001);
  }
  SQLSMALLINT rc_store = 0;
  SQLRETURN rc = _zolandm_call<CancelFn>(drv, &rc_store, f, drv_stmt);
  if (!running) {
    zolandm_global_guard lock;
    stmt->last_rc = rc_store;
    if (zolandm_succeeded(rc) && stmt->busy == 0) {
      if (stmt->state >= ZOLANDM_STMT_NEED_DATA && stmt->state <= ZOLANDM_STMT_CAN_PUT) {
        switch (stmt->need_data_func) {
          case ZOLANDM_FN_SQLExecute:
            stmt->state = ZOLANDM_STMT_PREPARED;
            break;
          case ZOLANDM_FN_SQLExecDirect:
            stmt->state = ZOLANDM_STMT_ALLOCATED;
            break;
          case ZOLANDM_FN_SQLSetPos:
            stmt->state = ZOLANDM_STMT_EXT_FETCHED;
            break;
          default:
            break;
        }
        stmt->need_data_func = 0;
      } else if (stmt->state >= ZOLANDM_STMT_EXECUTED && stmt->state <= ZOLANDM_STMT_EXT_FETCHED) {
        stmt->state = stmt->prepared ? ZOLANDM_STMT_PREPARED : ZOLANDM_STMT_ALLOCATED;
      }
    }
  }
  return rc;
}
extern "C" SQLRETURN SQL_API SQLCancel(SQLHSTMT hstmt) {
  return _zolandm_traced(entry_SQLCancel, trace_SQLCancel, hstmt);
}

// ---- conversion slots ----------------------------------------------------------------------

// Every slot buffer is zero-filled and has four spare zero bytes past its stated size, so a
// driver that writes one terminator more than it was told still stays inside it.
void* _zolandm_stmt_tmpbuf(zolandm_stmt* stmt, int slot, int size) {
  if (slot < 0 || slot > 7) return nullptr;
  stmt->tmpbuf_in_use = 1;
  zolandm_tmpbuf& b = stmt->tmpbuf[slot];
  if (size <= 0) {
    std::free(b.data);
    b.data = nullptr;
    b.size = 0;
    return nullptr;
  }
  if (b.data != nullptr && b.size >= size) {
    std::memset(b.data, 0, static_cast<size_t>(b.size) + sizeof(SQLWCHAR));
    return b.data;
  }
  std::free(b.data);
  b.data = std::calloc(1, static_cast<size_t>(size) + sizeof(SQLWCHAR));
  b.size = b.data != nullptr ? size : 0;
  return b.data;
}

int64_t _zolandm_narrow_to_wide_bounded(const char* in, int64_t max_in, SQLWCHAR* out, int64_t cap_chars,
                                        bool* complete) {
  std::mbstate_t st{};
  int64_t pos = 0;
  int64_t n = 0;
  bool all = true;
  while (pos < max_in && in[pos] != '\0') {
    wchar_t wc = 0;
    size_t r = std::mbrtowc(&wc, in + pos, static_cast<size_t>(max_in - pos), &st);
    if (r == 0 || r == static_cast<size_t>(-1) || r == static_cast<size_t>(-2)) break;
    if (n + 1 >= cap_chars) {
      all = false;
      break;
    }
    if (out != nullptr) out[n] = wc;
    ++n;
    pos += static_cast<int64_t>(r);
  }
  if (out != nullptr && cap_chars > 0) out[n] = 0;
  if (complete != nullptr) *complete = all;
  return n;
}

SQLWCHAR* _zolandm_stmt_arg_to_wide(zolandm_stmt* stmt, int slot, const char* text, int64_t length) {
  if (slot < 0 || slot > 7) return nullptr;
  stmt->tmpbuf_in_use = 1;
  if (text == nullptr) {
    _zolandm_stmt_tmpbuf(stmt, slot, 0);
    return nullptr;
  }
  int64_t n = length == SQL_NTS ? static_cast<int64_t>(std::strlen(text)) : length;
  if (n < 0) n = 0;
  // One wide character per byte at most, plus the terminator.
  if (n > (INT_MAX / 4) - 2) return nullptr;
  auto* out = static_cast<SQLWCHAR*>(_zolandm_stmt_tmpbuf(stmt, slot, static_cast<int>(4 * n + 4)));
  if (out == nullptr) return nullptr;
  // Reads no byte past n: an explicit length need not end in a NUL.
  std::mbstate_t st{};
  int64_t pos = 0;
  int64_t k = 0;
  while (pos < n) {
    wchar_t wc = 0;
    size_t r = std::mbrtowc(&wc, text + pos, static_cast<size_t>(n - pos), &st);
    if (r == 0) break;
    if (r == static_cast<size_t>(-1) || r == static_cast<size_t>(-2)) return nullptr;  // not convertible
    out[k++] = wc;
    pos += static_cast<int64_t>(r);
  }
  out[k] = 0;
  return out;
}

char* _zolandm_stmt_arg_to_narrow(zolandm_stmt* stmt, int slot, const SQLWCHAR* text, int64_t length) {
  if (slot < 0 || slot > 7) return nullptr;
  stmt->tmpbuf_in_use = 1;
  if (text == nullptr) {
    _zolandm_stmt_tmpbuf(stmt, slot, 0);
    return nullptr;
  }
  int64_t n = length == SQL_NTS ? static_cast<int64_t>(std::wcslen(text)) : length;
  if (n < 0) n = 0;
  // Sized by the real multibyte length, not one byte per character.
  std::mbstate_t st{};
  char tmp[MB_LEN_MAX];
  int64_t bytes = 0;
  int64_t chars = 0;
  for (; chars < n && text[chars] != 0; ++chars) {
    size_t r = _zolandm_wide_char_to_mb(tmp, text[chars], &st);
    if (r == static_cast<size_t>(-1)) return nullptr;  // not representable in the locale
    bytes += static_cast<int64_t>(r);
    if (bytes > INT_MAX / 2) return nullptr;
  }
  auto* out = static_cast<char*>(_zolandm_stmt_tmpbuf(stmt, slot, static_cast<int>(bytes + 1)));
  if (out == nullptr) return nullptr;
  st = std::mbstate_t{};
  int64_t pos = 0;
  for (int64_t i = 0; i < chars; ++i)
    pos += static_cast<int64_t>(_zolandm_wide_char_to_mb(out + pos, text[i], &st));
  out[pos] = '\0';
  return out;
}

const void* _zolandm_stmt_arg_for_driver(zolandm_stmt* stmt, int slot, const void* text, int64_t* len,
                                         char width, bool* failed) {
  bool drv_wide = _zolandm_stmt_unicode(stmt);
  bool app_wide = width == 'W';
  if (drv_wide == app_wide) return text;
  if (text == nullptr) {
    *len = SQL_NTS;
    return nullptr;
  }
  const void* out = drv_wide ? static_cast<const void*>(_zolandm_stmt_arg_to_wide(
                                   stmt, slot, static_cast<const char*>(text), *len))
                             : static_cast<const void*>(_zolandm_stmt_arg_to_narrow(
                                   stmt, slot, static_cast<const SQLWCHAR*>(text), *len));
  if (out == nullptr) *failed = true;
  *len = SQL_NTS;
  return out;
}

SQLRETURN _zolandm_report_cut(zolandm_stmt* stmt, SQLRETURN rc, bool cut) {
  if (!cut) return rc;
  if (rc == ZOLANDM_OK) _zolandm_diag_add(stmt, ZOLANDM_E_01004);
  return ZOLANDM_OK_INFO;
}

SQLRETURN _zolandm_stmt_conv_failed(zolandm_stmt* stmt) {
  _zolandm_stmt_free_tmpbufs(stmt);
  return _zolandm_fail(stmt, ZOLANDM_E_22005);
}

// ---- parameter table and wide-bound columns ------------------------------------------------

int _zolandm_stmt_free_paramtab(zolandm_stmt* stmt) {
  for (int i = 0; stmt->params != nullptr && i < stmt->params_alloc; ++i) {
    std::free(stmt->params[i].conv_value);
    std::free(stmt->params[i].conv_len);
  }
  std::free(stmt->params);
  stmt->params = nullptr;
  stmt->params_alloc = 0;
  return 0;
}

int _zolandm_boundcol_add(zolandm_stmt* stmt, const zolandm_boundcol* image) {
  auto* node = static_cast<zolandm_boundcol*>(std::calloc(1, sizeof(zolandm_boundcol)));
  if (node == nullptr) return -1;
  *node = *image;
  node->next = nullptr;
  zolandm_boundcol** link = &stmt->wide_cols;
  for (; *link != nullptr; link = &(*link)->next) {
    if ((*link)->column == image->column) {
      zolandm_boundcol* keep = (*link)->next;
      **link = *node;
      (*link)->next = keep;
      std::free(node);
      return 0;
    }
  }
  *link = node;
  return 0;
}

int _zolandm_boundcol_remove(zolandm_stmt* stmt, const zolandm_boundcol* image) {
  for (zolandm_boundcol** link = &stmt->wide_cols; *link != nullptr; link = &(*link)->next) {
    if ((*link)->column == image->column) {
      zolandm_boundcol* gone = *link;
      *link = gone->next;
      std::free(gone);
      break;
    }
  }
  return 0;
}

void _zolandm_boundcol_free_all(zolandm_stmt* stmt) {
  while (stmt->wide_cols != nullptr) {
    zolandm_boundcol* next = stmt->wide_cols->next;
    std::free(stmt->wide_cols);
    stmt->wide_cols = next;
  }
}

void _zolandm_boundcol_widen_rows(zolandm_stmt* stmt, int64_t rows, const SQLUSMALLINT* status) {
  const int64_t stride = stmt->bind_type;
  for (zolandm_boundcol* c = stmt->wide_cols; c != nullptr; c = c->next) {
    if (c->buffer == nullptr || c->buffer_length <= 0) continue;
    const int64_t cap_chars = c->buffer_length / static_cast<int64_t>(sizeof(SQLWCHAR));
    for (int64_t i = 0; i < rows; ++i) {
      if (status != nullptr && status[i] == SQL_ROW_NOROW) continue;
      char* value = static_cast<char*>(c->buffer) + i * (stride != 0 ? stride : c->buffer_length);
      SQLLEN* ind = nullptr;
      if (c->indicator != nullptr) {
        ind = stride != 0 ? reinterpret_cast<SQLLEN*>(reinterpret_cast<char*>(c->indicator) + i * stride)
                          : c->indicator + i;
      }
      if (ind != nullptr && *ind == SQL_NULL_DATA) continue;
      if (cap_chars < 1) continue;
      // The driver wrote narrow text within buffer_length bytes; read no further.
      int64_t narrow_len = static_cast<int64_t>(strnlen(value, static_cast<size_t>(c->buffer_length)));
      char* copy = static_cast<char*>(std::malloc(static_cast<size_t>(narrow_len) + 1));
      if (copy == nullptr) continue;
      std::memcpy(copy, value, static_cast<size_t>(narrow_len));
      copy[narrow_len] = '\0';
      int64_t total_chars = _zolandm_narrow_to_wide_bounded(copy, narrow_len, nullptr, INT64_MAX, nullptr);
      _zolandm_narrow_to_wide_bounded(copy, narrow_len, reinterpret_cast<SQLWCHAR*>(value), cap_chars,
                                      nullptr);
      std::free(copy);
      if (ind != nullptr && *ind >= 0) {
        // The driver's count is in narrow bytes; a value it cut counts more than it wrote.
        bool cut_by_driver = *ind >= c->buffer_length;
        if (!cut_by_driver) {
          *ind = total_chars * static_cast<int64_t>(sizeof(SQLWCHAR));
        } else {
          *ind = *ind > INT64_MAX / 4 ? INT64_MAX : *ind * static_cast<int64_t>(sizeof(SQLWCHAR));
        }
      }
    }
  }
}

void _zolandm_boundcol_widen(zolandm_stmt* stmt) {
  _zolandm_boundcol_widen_rows(stmt, stmt->rowset_size, nullptr);
}

// ---- rowset size ------------------------------------------------------------------------------

bool _zolandm_stmt_rowset_changed(zolandm_stmt* stmt, SQLULEN rows) {
  if (rows == 0) rows = 1;
  int n = rows > static_cast<SQLULEN>(INT_MAX) ? INT_MAX : static_cast<int>(rows);
  stmt->rowset_size = n;
  // An ODBC 2 driver has one rowset size for both names.
  if (_zolandm_drv_version(stmt->dbc) != 3) stmt->row_array_size = n;
  if (!stmt->row_status_owned) return true;
  // Four bytes per row, as many as the driver may fill.
  auto* array = static_cast<SQLUSMALLINT*>(_zolandm_calloc(static_cast<size_t>(n), 4));
  std::free(stmt->row_status_ptr);
  stmt->row_status_ptr = array;
  if (array == nullptr) {
    stmt->row_status_owned = 0;
    _zolandm_diag_add(stmt, ZOLANDM_E_HY001);
    return false;
  }
  return true;
}

SQLULEN _zolandm_stmt_read_rowset(zolandm_stmt* stmt, SQLULEN fallback) {
  zolandm_dbc* dbc = stmt->dbc;
  SQLSMALLINT saved = stmt->last_rc;
  SQLULEN got = 0;
  SQLRETURN rc = ZOLANDM_ERROR;
  bool odbc3 = false;
  void* f = _zolandm_choose_2_or_3(dbc, ZOLANDM_FN_SQLGetStmtOption, ZOLANDM_FN_SQLGetStmtAttr, &odbc3);
  if (f != nullptr && odbc3) {
    rc = _zolandm_call<GetStmtAttrFn>(dbc->driver, &stmt->last_rc, f, stmt->drv_stmt,
                                      SQLINTEGER(SQL_ROWSET_SIZE), static_cast<SQLPOINTER>(&got),
                                      SQLINTEGER(0), static_cast<SQLINTEGER*>(nullptr));
  } else if (f != nullptr) {
    rc = _zolandm_call<GetStmtOptionFn>(dbc->driver, &stmt->last_rc, f, stmt->drv_stmt,
                                        SQLUSMALLINT(SQL_ROWSET_SIZE), static_cast<SQLPOINTER>(&got));
  }
  stmt->last_rc = saved;
  return rc == ZOLANDM_OK && got > 0 ? got : fallback;
}

zolandm_row_layout _zolandm_boundcol_layout(zolandm_stmt* stmt) {
  zolandm_dbc* dbc = stmt->dbc;
  zolandm_row_layout out{static_cast<SQLULEN>(stmt->rowset_size), nullptr, nullptr};
  SQLSMALLINT saved = stmt->last_rc;
  if (void* get = _zolandm_driver_entry_width(dbc, ZOLANDM_FN_SQLGetStmtAttr, ZOLANDM_FN_SQLGetStmtAttrW,
                                              ZOLANDM_FN_SQLGetStmtAttrA)) {
    auto ask = [&](SQLINTEGER attr, void* value) {
      return _zolandm_call<GetStmtAttrFn>(dbc->driver, &stmt->last_rc, get, stmt->drv_stmt, attr, value,
                                          SQLINTEGER(0), static_cast<SQLINTEGER*>(nullptr));
    };
    SQLULEN array_size = 0;
    if (ask(SQL_ATTR_ROW_ARRAY_SIZE, &array_size) == ZOLANDM_OK && array_size > 0) out.size = array_size;
    if (ask(SQL_ATTR_ROWS_FETCHED_PTR, static_cast<void*>(&out.fetched)) != ZOLANDM_OK) out.fetched = nullptr;
    if (ask(SQL_ATTR_ROW_STATUS_PTR, static_cast<void*>(&out.status)) != ZOLANDM_OK) out.status = nullptr;
  }
  stmt->last_rc = saved;
  return out;
}

void _zolandm_boundcol_widen_layout(zolandm_stmt* stmt, const zolandm_row_layout& layout) {
  SQLULEN rows = layout.fetched != nullptr && *layout.fetched < layout.size ? *layout.fetched : layout.size;
  _zolandm_boundcol_widen_rows(stmt, static_cast<int64_t>(rows > INT64_MAX ? INT64_MAX : rows),
                               layout.status);
}
