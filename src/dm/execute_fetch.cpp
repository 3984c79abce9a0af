// Execution, data at execution, parameter descriptions, fetching, SQLGetData, further
// results and SQLSetPos: the call-order checks, the state moves, and the conversions for
// drivers without wide entry points (wide parameters and wide SQLGetData).

#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "dm/stmt_internal.h"
#include "odbcconfig/conversions.h"
#include "sqlext.h"
#include "sqlucode.h"
#include "dm/trace_hook.h"

namespace {

using ExecuteFn = SQLRETURN (*)(SQLHSTMT);
using ExecDirectFn = SQLRETURN (*)(SQLHSTMT, const void*, SQLINTEGER);
using PutDataFn = SQLRETURN (*)(SQLHSTMT, SQLPOINTER, SQLLEN);
using ParamDataFn = SQLRETURN (*)(SQLHSTMT, SQLPOINTER*);
using NumParamsFn = SQLRETURN (*)(SQLHSTMT, SQLSMALLINT*);
using DescribeParamFn = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT*, SQLULEN*, SQLSMALLINT*,
                                      SQLSMALLINT*);
using FetchFn = SQLRETURN (*)(SQLHSTMT);
using ExtendedFetchFn = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT, SQLLEN, SQLULEN*, SQLUSMALLINT*);
using GetDataFn = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*);
using SetPosFn = SQLRETURN (*)(SQLHSTMT, SQLSETPOSIROW, SQLUSMALLINT, SQLUSMALLINT);
using BindParameterFn = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLULEN,
                                      SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*);

bool need_data_state(const zolandm_stmt* s) {
  return s->state >= ZOLANDM_STMT_NEED_DATA && s->state <= ZOLANDM_STMT_CAN_PUT;
}

// A pending call of another function refuses the call; one of our own skips the state check.
// Returns 0 to check the state, 1 to skip it, -1 refused.
int pending_check(zolandm_stmt* stmt, int id) {
  if (stmt->async_func == 0) return 0;
  if (stmt->async_func == id) return 1;
  _zolandm_diag_add(stmt, ZOLANDM_E_S1010);
  return -1;
}

// Positioned on a row: fetched by SQLFetch, or by SQLExtendedFetch or SQLFetchScroll.
bool fetched_state(const zolandm_stmt* s) {
  return s->state == ZOLANDM_STMT_FETCHED || s->state == ZOLANDM_STMT_EXT_FETCHED;
}

// pending_check for a call on the fetched row (SQLGetData, SQLSetPos), with its state rule when
// it runs anew: a result not fetched yet answers 24000, any other state without a row S1010.
int fetched_row_check(zolandm_stmt* stmt, int id) {
  int pend = pending_check(stmt, id);
  if (pend != 0) return pend;
  int s = stmt->state;
  if (s >= ZOLANDM_STMT_EXECUTED && s <= ZOLANDM_STMT_CURSOR_OPEN) {
    _zolandm_diag_add(stmt, ZOLANDM_E_24000);
    return -1;
  }
  if (!fetched_state(stmt)) {
    _zolandm_diag_add(stmt, ZOLANDM_E_S1010);
    return -1;
  }
  return 0;
}

void reset_getdata(zolandm_stmt* stmt) {
  stmt->gd_column = 0;
  stmt->gd_carry_len = 0;
}

bool is_data_at_exec(SQLLEN v) { return v == SQL_DATA_AT_EXEC || v <= SQL_LEN_DATA_AT_EXEC_OFFSET; }

// ---- wide parameters on a driver without wide entry points --------------------------------
//
// The driver is bound to a narrow copy the manager owns, laid out like the application's
// buffers (same row stride), so the application's wide data is never rewritten. Output
// values come back through the copy and are widened into the application's buffer within
// its stated length.

int64_t element_size(const zolandm_param& p) {
  if (p.buffer_len > 0) return p.buffer_len;
  uint64_t chars = p.column_size > (1u << 24) ? (1u << 24) : p.column_size;
  return static_cast<int64_t>((chars + 1) * sizeof(SQLWCHAR));
}

bool converts(const zolandm_param& p) {
  return p.param_no != 0 && p.value_ptr != nullptr && p.app_c_type == SQL_C_WCHAR &&
         (p.io_type == SQL_PARAM_INPUT || p.io_type == SQL_PARAM_INPUT_OUTPUT ||
          p.io_type == SQL_PARAM_OUTPUT) &&
         !(p.ind_ptr != nullptr && p.conv_value == nullptr && is_data_at_exec(*p.ind_ptr));
}

// Narrows n wide characters into out (cap bytes, terminator included), whole characters
// only; a null out only counts. Returns the bytes, or -1 when a character has no
// multibyte form.
int64_t narrow_into(const SQLWCHAR* in, int64_t n, char* out, int64_t cap) {
  std::mbstate_t st{};
  char tmp[MB_LEN_MAX];
  int64_t pos = 0;
  for (int64_t i = 0; i < n && in[i] != 0; ++i) {
    size_t r = _zolandm_wide_char_to_mb(tmp, in[i], &st);
    if (r == static_cast<size_t>(-1)) return -1;
    if (pos + static_cast<int64_t>(r) + 1 > cap) break;
    if (out != nullptr) std::memcpy(out + pos, tmp, r);
    pos += static_cast<int64_t>(r);
  }
  if (out != nullptr && cap > 0) out[pos] = '\0';
  return pos;
}

// Rebinds every wide parameter to a fresh narrow copy. SQL_ERROR (with a diagnostic) when a
// value cannot be converted or memory runs out; the driver is not called then.
SQLRETURN narrow_params(zolandm_stmt* stmt) {
  if (_zolandm_stmt_unicode(stmt) || stmt->params == nullptr) return ZOLANDM_OK;
  zolandm_dbc* dbc = stmt->dbc;
  const int64_t rows = stmt->paramset_size > 0 ? stmt->paramset_size : 1;
  const int64_t stride = stmt->param_bind_type;
  for (int i = 0; i < static_cast<uint16_t>(stmt->params_alloc); ++i) {
    zolandm_param& p = stmt->params[i];
    if (!converts(p)) continue;
    // Rows of the application's buffer lie app_elem bytes apart (column-wise).
    const int64_t app_elem = element_size(p);
    // An input value bound without a buffer length is converted by its own
    // length, whatever the column size says (0 when the caller gave none).
    const bool own_length = p.buffer_len <= 0 && stride == 0 && p.io_type == SQL_PARAM_INPUT;
    auto row_len = [&](int64_t j) {
      SQLLEN len = SQL_NTS;
      if (p.len_ptr != nullptr)
        len = *reinterpret_cast<SQLLEN*>(reinterpret_cast<char*>(p.len_ptr) + j * (stride != 0 ? stride : 8));
      return len;
    };
    auto row_value = [&](int64_t j) {
      return reinterpret_cast<const SQLWCHAR*>(static_cast<const char*>(p.value_ptr) +
                                               j * (stride != 0 ? stride : app_elem));
    };
    auto row_chars = [&](int64_t j, SQLLEN len) {
      const SQLWCHAR* src = row_value(j);
      if (own_length)
        return len == SQL_NTS ? static_cast<int64_t>(wcslen(src))
                              : len / static_cast<int64_t>(sizeof(SQLWCHAR));
      int64_t max_chars = app_elem / static_cast<int64_t>(sizeof(SQLWCHAR));
      int64_t n = len == SQL_NTS ? static_cast<int64_t>(wcsnlen(src, static_cast<size_t>(max_chars)))
                                 : len / static_cast<int64_t>(sizeof(SQLWCHAR));
      return n > max_chars ? max_chars : n;
    };
    // The narrow copy's element: the application's, or the longest narrow value.
    int64_t elem = app_elem;
    if (own_length) {
      elem = 1;
      for (int64_t j = 0; j < rows; ++j) {
        SQLLEN len = row_len(j);
        if (len < 0 && len != SQL_NTS) continue;
        int64_t bytes = narrow_into(row_value(j), row_chars(j, len), nullptr, INT64_MAX);
        if (bytes < 0) return _zolandm_fail(stmt, ZOLANDM_E_22005);
        if (bytes >= INT_MAX) return _zolandm_fail(stmt, ZOLANDM_E_S1001);
        if (bytes + 1 > elem) elem = bytes + 1;
      }
    }
    const int64_t value_bytes = stride != 0 ? (rows - 1) * stride + elem : rows * elem;
    const int64_t len_bytes = stride != 0 ? (rows - 1) * stride + 8 : rows * 8;
    if (rows > (int64_t{1} << 30) / (elem > 8 ? elem : 8) || value_bytes <= 0)
      return _zolandm_fail(stmt, ZOLANDM_E_S1001);
    std::free(p.conv_value);
    std::free(p.conv_len);
    p.conv_value = static_cast<char*>(std::calloc(1, static_cast<size_t>(value_bytes) + sizeof(SQLWCHAR)));
    p.conv_len = static_cast<SQLLEN*>(std::calloc(1, static_cast<size_t>(len_bytes) + 8));
    if (p.conv_value == nullptr || p.conv_len == nullptr) {
      std::free(p.conv_value);
      std::free(p.conv_len);
      p.conv_value = nullptr;
      p.conv_len = nullptr;
      return _zolandm_fail(stmt, ZOLANDM_E_S1001);
    }
    p.conv_elem = elem;
    p.conv_rows = rows;
    for (int64_t j = 0; j < rows; ++j) {
      int64_t voff = j * (stride != 0 ? stride : elem);
      int64_t loff = j * (stride != 0 ? stride : 8);
      auto* dst_len = reinterpret_cast<SQLLEN*>(reinterpret_cast<char*>(p.conv_len) + loff);
      SQLLEN len = row_len(j);
      if (p.io_type == SQL_PARAM_OUTPUT) {
        *dst_len = 0;
        continue;
      }
      if (len < 0 && len != SQL_NTS) {
        *dst_len = len;  // NULL, default, data at execution: passed as they are
        continue;
      }
      int64_t bytes = narrow_into(row_value(j), row_chars(j, len), p.conv_value + voff, elem);
      if (bytes < 0) return _zolandm_fail(stmt, ZOLANDM_E_22005);
      *dst_len = bytes;
    }
    int drv = _zolandm_drv_version(dbc);
    void* f = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLBindParameter);
    if (f == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
    SQLRETURN rc = _zolandm_call<BindParameterFn>(
        dbc->driver, &stmt->last_rc, f, stmt->drv_stmt, p.param_no, static_cast<SQLSMALLINT>(p.io_type),
        SQLSMALLINT(SQL_C_CHAR), static_cast<SQLSMALLINT>(_zolandm_map_sqltype(p.sql_type, drv)),
        static_cast<SQLULEN>(p.column_size), p.decimal_digits, static_cast<SQLPOINTER>(p.conv_value),
        static_cast<SQLLEN>(elem), p.conv_len);
    if (!zolandm_succeeded(rc)) return rc;
  }
  return ZOLANDM_OK;
}

// Widens output values from the narrow copies into the application's buffers.
void widen_params(zolandm_stmt* stmt) {
  if (_zolandm_stmt_unicode(stmt) || stmt->params == nullptr) return;
  const int64_t stride = stmt->param_bind_type;
  for (int i = 0; i < static_cast<uint16_t>(stmt->params_alloc); ++i) {
    zolandm_param& p = stmt->params[i];
    if (p.conv_value == nullptr || p.value_ptr == nullptr || p.io_type == SQL_PARAM_INPUT) continue;
    const int64_t elem = p.conv_elem;
    const int64_t cap_chars =
        (p.buffer_len > 0 ? p.buffer_len : elem) / static_cast<int64_t>(sizeof(SQLWCHAR));
    for (int64_t j = 0; j < p.conv_rows; ++j) {
      int64_t voff = j * (stride != 0 ? stride : elem);
      int64_t loff = j * (stride != 0 ? stride : 8);
      SQLLEN drv_len = *reinterpret_cast<SQLLEN*>(reinterpret_cast<char*>(p.conv_len) + loff);
      SQLLEN* app_len = p.len_ptr != nullptr
                            ? reinterpret_cast<SQLLEN*>(reinterpret_cast<char*>(p.len_ptr) + loff)
                            : nullptr;
      if (drv_len == SQL_NULL_DATA) {
        if (app_len != nullptr) *app_len = SQL_NULL_DATA;
        continue;
      }
      const char* src = p.conv_value + voff;
      int64_t avail = static_cast<int64_t>(strnlen(src, static_cast<size_t>(elem)));
      auto* dst = reinterpret_cast<SQLWCHAR*>(static_cast<char*>(p.value_ptr) + voff);
      int64_t total = _zolandm_narrow_to_wide_bounded(src, avail, nullptr, INT64_MAX, nullptr);
      if (cap_chars > 0) _zolandm_narrow_to_wide_bounded(src, avail, dst, cap_chars, nullptr);
      if (app_len != nullptr) {
        bool cut_by_driver = drv_len >= elem;
        *app_len = cut_by_driver && drv_len >= 0 ? drv_len * static_cast<SQLLEN>(sizeof(SQLWCHAR))
                                                 : total * static_cast<SQLLEN>(sizeof(SQLWCHAR));
      }
    }
  }
}

// An ODBC 3 driver answers SQL_NO_DATA to a searched update or delete that touched no row. For
// an ODBC 3 application that is an execution like any other, without a result: the statement
// moves on as after success (SQLRowCount then answers 0).
bool executed_without_rows(const zolandm_stmt* stmt, SQLRETURN rc) {
  return rc == ZOLANDM_NO_DATA && _zolandm_app_version(stmt->dbc) == 3;
}

void no_result_state(zolandm_stmt* stmt) {
  stmt->state = ZOLANDM_STMT_NO_RESULT;
  stmt->cursor_state = ZOLANDM_CURSOR_NONE;
}

// What a successful execution returns: the driver's own code to an ODBC 3 application, so that
// a warning reaches it; SQL_SUCCESS to an ODBC 2 application, as it always had (the agent's
// backend among them).
SQLRETURN success_code(const zolandm_stmt* stmt, SQLRETURN rc) {
  return _zolandm_app_version(stmt->dbc) == 3 ? rc : ZOLANDM_OK;
}

SQLRETURN exec_direct(zolandm_stmt* stmt, const void* text, SQLINTEGER length, char width) {
  if (text == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_S1009);
  if (length < 0 && length != SQL_NTS) return _zolandm_fail(stmt, ZOLANDM_E_S1090);
  int pend = pending_check(stmt, ZOLANDM_FN_SQLExecDirect);
  if (pend < 0) return ZOLANDM_ERROR;
  if (pend == 0) {
    if (fetched_state(stmt)) return _zolandm_fail(stmt, ZOLANDM_E_24000);
    if (need_data_state(stmt)) return _zolandm_fail(stmt, ZOLANDM_E_S1010);
  }
  bool failed = false;
  int64_t len = length;
  const void* drv_text = _zolandm_stmt_arg_for_driver(stmt, 0, text, &len, width, &failed);
  if (failed) return _zolandm_stmt_conv_failed(stmt);
  void* f = _zolandm_driver_entry_width(stmt->dbc, ZOLANDM_FN_SQLExecDirect, ZOLANDM_FN_SQLExecDirectW,
                                        ZOLANDM_FN_SQLExecDirectA);
  if (f == nullptr) {
    _zolandm_stmt_free_tmpbufs(stmt);
    return _zolandm_fail(stmt, ZOLANDM_E_IM001);
  }
  if (pend == 0) {
    SQLRETURN prc = narrow_params(stmt);
    if (prc != ZOLANDM_OK) {
      _zolandm_stmt_free_tmpbufs(stmt);
      return prc;
    }
  }
  reset_getdata(stmt);
  SQLRETURN rc = _zolandm_call<ExecDirectFn>(_zolandm_stmt_driver(stmt), &stmt->last_rc, f, stmt->drv_stmt,
                                             drv_text, static_cast<SQLINTEGER>(len));
  if (rc == SQL_STILL_EXECUTING) {
    if (pend == 0 && stmt->state <= ZOLANDM_STMT_NO_RESULT) stmt->async_func = ZOLANDM_FN_SQLExecDirect;
    return rc;
  }
  _zolandm_stmt_free_tmpbufs(stmt);
  const bool no_rows = executed_without_rows(stmt, rc);
  if (!_zolandm_async_complete(stmt, ZOLANDM_FN_SQLExecDirect, rc, true, no_rows)) return rc;
  if (zolandm_succeeded(rc)) {
    widen_params(stmt);
    if (stmt->state <= ZOLANDM_STMT_NO_RESULT) {
      _zolandm_stmt_result_state(stmt);
      stmt->prepared = 1;
    }
    return success_code(stmt, rc);
  }
  if (no_rows) {
    if (stmt->state <= ZOLANDM_STMT_NO_RESULT) {
      no_result_state(stmt);
      stmt->prepared = 1;
    }
    return rc;
  }
  if (stmt->state <= ZOLANDM_STMT_NO_RESULT) {
    if (rc == ZOLANDM_NEED_DATA) {
      stmt->state = ZOLANDM_STMT_NEED_DATA;
      stmt->need_data_func = ZOLANDM_FN_SQLExecDirect;
    } else if (rc == ZOLANDM_ERROR) {
      stmt->state = ZOLANDM_STMT_ALLOCATED;
      stmt->cursor_state = ZOLANDM_CURSOR_NONE;
      stmt->prepared = 0;
    }
  }
  return rc;
}

// Ends a data-at-execution sequence that the driver completed.
void end_need_data(zolandm_stmt* stmt) {
  switch (stmt->need_data_func) {
    case ZOLANDM_FN_SQLExecute:
    case ZOLANDM_FN_SQLExecDirect:
      _zolandm_stmt_result_state(stmt);
      break;
    case ZOLANDM_FN_SQLSetPos:
      stmt->state = ZOLANDM_STMT_EXT_FETCHED;
      stmt->cursor_state = ZOLANDM_CURSOR_EXT_FETCHED;
      break;
    default:
      _zolandm_stmt_result_state(stmt);
      break;
  }
  stmt->need_data_func = 0;
}

void fail_need_data(zolandm_stmt* stmt) {
  switch (stmt->need_data_func) {
    case ZOLANDM_FN_SQLExecDirect:
      stmt->state = ZOLANDM_STMT_ALLOCATED;
      break;
    case ZOLANDM_FN_SQLSetPos:
      stmt->state = ZOLANDM_STMT_EXT_FETCHED;
      stmt->cursor_state = ZOLANDM_CURSOR_EXT_FETCHED;
      break;
    case ZOLANDM_FN_SQLExecute:
      stmt->state = stmt->prepared ? ZOLANDM_STMT_PREPARED : ZOLANDM_STMT_ALLOCATED;
      break;
    default:
      stmt->state = stmt->prepared ? ZOLANDM_STMT_PREPARED : ZOLANDM_STMT_ALLOCATED;
      break;
  }
  stmt->need_data_func = 0;
}

// SQLGetData of SQL_C_WCHAR from a driver without wide entry points: the driver hands out
// narrow pieces; a multibyte character its piece cut is kept and handed out with the next
// piece, so no piece ever splits a character.
SQLRETURN get_data_widened(zolandm_stmt* stmt, void* f, SQLUSMALLINT column, SQLPOINTER target,
                           SQLLEN buf_len, SQLLEN* ind) {
  if (stmt->gd_column != column) {
    stmt->gd_column = column;
    stmt->gd_carry_len = 0;
  }
  const int64_t cap_chars = buf_len / static_cast<int64_t>(sizeof(SQLWCHAR));
  const int64_t drv_len = cap_chars > INT_MAX ? INT_MAX : cap_chars;
  const int carry = stmt->gd_carry_len;
  auto* piece = static_cast<char*>(_zolandm_stmt_tmpbuf(stmt, 0, static_cast<int>(carry + drv_len + 1)));
  if (piece == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_S1001);
  std::memcpy(piece, stmt->gd_carry, static_cast<size_t>(carry));
  SQLLEN drv_ind = 0;
  SQLRETURN rc = _zolandm_call<GetDataFn>(
      _zolandm_stmt_driver(stmt), &stmt->last_rc, f, stmt->drv_stmt, column, SQLSMALLINT(SQL_C_CHAR),
      static_cast<SQLPOINTER>(piece + carry), static_cast<SQLLEN>(drv_len), &drv_ind);
  if (!zolandm_succeeded(rc)) {
    if (rc == ZOLANDM_NO_DATA) stmt->gd_carry_len = 0;
    if (rc == ZOLANDM_NO_DATA && ind != nullptr && carry > 0) *ind = 0;
    return rc;
  }
  if (drv_ind == SQL_NULL_DATA) {
    stmt->gd_carry_len = 0;
    if (ind != nullptr) *ind = SQL_NULL_DATA;
    return rc;
  }
  const bool more = rc == ZOLANDM_OK_INFO && (drv_ind == SQL_NO_TOTAL || drv_ind >= drv_len);
  int64_t got =
      carry + static_cast<int64_t>(strnlen(piece + carry, static_cast<size_t>(drv_len > 0 ? drv_len : 0)));
  // Whole characters of the piece; an incomplete tail is carried to the next piece.
  std::mbstate_t st{};
  int64_t pos = 0;
  int64_t chars = 0;
  auto* out = static_cast<SQLWCHAR*>(target);
  while (pos < got) {
    wchar_t wc = 0;
    size_t r = std::mbrtowc(&wc, piece + pos, static_cast<size_t>(got - pos), &st);
    if (r == static_cast<size_t>(-2)) break;
    if (r == 0 || r == static_cast<size_t>(-1)) {
      got = pos;  // invalid bytes end the text
      break;
    }
    if (chars + 1 >= cap_chars) break;
    out[chars++] = wc;
    pos += static_cast<int64_t>(r);
  }
  if (cap_chars > 0) out[chars] = 0;
  int64_t rest = got - pos;
  if (more && rest > 0 && rest < static_cast<int64_t>(sizeof stmt->gd_carry)) {
    std::memcpy(stmt->gd_carry, piece + pos, static_cast<size_t>(rest));
    stmt->gd_carry_len = static_cast<uint8_t>(rest);
  } else {
    stmt->gd_carry_len = 0;
  }
  if (ind != nullptr) {
    if (!more) {
      *ind = chars * static_cast<SQLLEN>(sizeof(SQLWCHAR));
    } else if (drv_ind == SQL_NO_TOTAL) {
      *ind = SQL_NO_TOTAL;
    } else {
      // What is left holds at most one character per byte.
      int64_t left = carry + static_cast<int64_t>(drv_ind);
      *ind = left > INT64_MAX / 4 ? INT64_MAX : left * static_cast<SQLLEN>(sizeof(SQLWCHAR));
    }
  }
  return rc;
}

}  // namespace

namespace {

void settle_now(zolandm_stmt* stmt) {
  stmt->state = ZOLANDM_STMT_NO_RESULT;
  SQLSMALLINT saved_rc = stmt->last_rc;
  int saved_async = stmt->async_func;
  stmt->async_func = 0;
  SQLSMALLINT n = 0;
  // The count is asked quietly: its failure leaves state 3 and no diagnostic of ours.
  zolandm_err* saved_diag = stmt->diag;
  SQLRETURN rc = SQLNumResultCols_Internal(stmt, &n);
  if (stmt->diag != saved_diag) {
    _zolandm_diag_lock();
    zolandm_err* extra = stmt->diag;
    stmt->diag = saved_diag;
    _zolandm_diag_unlock();
    // Only records pushed by the count are dropped.
    while (extra != nullptr && extra != saved_diag) {
      zolandm_err* next = extra->next;
      extra->next = nullptr;
      _zolandm_err_free_all(extra);
      extra = next;
    }
  }
  stmt->async_func = saved_async;
  stmt->last_rc = saved_rc;
  if (zolandm_succeeded(rc)) {
    if (n != 0) {
      stmt->state = ZOLANDM_STMT_CURSOR_OPEN;
      stmt->cursor_state = ZOLANDM_CURSOR_OPEN;
    } else {
      stmt->state = ZOLANDM_STMT_NO_RESULT;
      stmt->cursor_state = ZOLANDM_CURSOR_NONE;
    }
  }
}

}  // namespace

void _zolandm_stmt_result_state(zolandm_stmt* stmt) {
  stmt->ext_fetched = 0;
  if (stmt->last_rc == ZOLANDM_OK_INFO && _zolandm_app_version(stmt->dbc) == 3) {
    // The driver's records of this call stay with the driver until the application reads
    // them; the count is asked when the next entry needs the state.
    stmt->state = ZOLANDM_STMT_EXECUTED;
    return;
  }
  settle_now(stmt);
}

void _zolandm_stmt_settle(zolandm_stmt* stmt) {
  if (stmt->state == ZOLANDM_STMT_EXECUTED) settle_now(stmt);
}

// ---- execution ------------------------------------------------------------------------------

static SQLRETURN entry_SQLExecute(SQLHSTMT h) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* stmt) -> SQLRETURN {
    int pend = pending_check(stmt, ZOLANDM_FN_SQLExecute);
    if (pend < 0) return ZOLANDM_ERROR;
    if (pend == 0) {
      int s = stmt->state;
      if (s == ZOLANDM_STMT_ALLOCATED || need_data_state(stmt)) return _zolandm_fail(stmt, ZOLANDM_E_S1010);
      if (s >= ZOLANDM_STMT_EXECUTED && s <= ZOLANDM_STMT_CURSOR_OPEN && !stmt->prepared)
        return _zolandm_fail(stmt, ZOLANDM_E_S1010);
      if (fetched_state(stmt)) return _zolandm_fail(stmt, stmt->prepared ? ZOLANDM_E_24000 : ZOLANDM_E_S1010);
    }
    void* f = _zolandm_driver_entry(stmt->dbc, ZOLANDM_FN_SQLExecute);
    if (f == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
    if (pend == 0) {
      SQLRETURN prc = narrow_params(stmt);
      if (prc != ZOLANDM_OK) return prc;
    }
    reset_getdata(stmt);
    SQLRETURN rc = _zolandm_call<ExecuteFn>(_zolandm_stmt_driver(stmt), &stmt->last_rc, f, stmt->drv_stmt);
    const bool no_rows = executed_without_rows(stmt, rc);
    if (pend == 1 && !_zolandm_async_complete(stmt, ZOLANDM_FN_SQLExecute, rc, true, no_rows)) return rc;
    if (zolandm_succeeded(rc)) {
      widen_params(stmt);
      rc = success_code(stmt, rc);
    }
    int s = stmt->state;
    if (s == ZOLANDM_STMT_PREPARED || s == ZOLANDM_STMT_NO_RESULT) {
      if (rc == SQL_STILL_EXECUTING) {
        stmt->async_func = ZOLANDM_FN_SQLExecute;
      } else if (rc == ZOLANDM_NEED_DATA) {
        stmt->state = ZOLANDM_STMT_NEED_DATA;
        stmt->need_data_func = ZOLANDM_FN_SQLExecute;
      } else if (zolandm_succeeded(rc) && s == ZOLANDM_STMT_PREPARED) {
        _zolandm_stmt_result_state(stmt);
      } else if (no_rows) {
        no_result_state(stmt);
      } else if (rc == ZOLANDM_ERROR && s == ZOLANDM_STMT_NO_RESULT) {
        stmt->state = ZOLANDM_STMT_PREPARED;
        stmt->cursor_state = ZOLANDM_CURSOR_NONE;
      }
    }
    return rc;
  });
}
extern "C" SQLRETURN SQL_API SQLExecute(SQLHSTMT h) {
  return _zolandm_traced(entry_SQLExecute, trace_SQLExecute, h);
}

SQLRETURN SQLExecDirect_Internal(zolandm_stmt* stmt, const void* text, SQLINTEGER length, char width) {
  return exec_direct(stmt, text, length, width);
}

static SQLRETURN entry_SQLExecDirect(SQLHSTMT h, SQLCHAR* text, SQLINTEGER len) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* s) { return exec_direct(s, text, len, 'A'); });
}
extern "C" SQLRETURN SQL_API SQLExecDirect(SQLHSTMT h, SQLCHAR* text, SQLINTEGER len) {
  return _zolandm_traced(entry_SQLExecDirect, trace_SQLExecDirect, h, text, len);
}
extern "C" SQLRETURN SQL_API SQLExecDirectA(SQLHSTMT h, SQLCHAR* text, SQLINTEGER len) {
  return SQLExecDirect(h, text, len);
}
static SQLRETURN entry_SQLExecDirectW(SQLHSTMT h, SQLWCHAR* text, SQLINTEGER len) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* s) { return exec_direct(s, text, len, 'W'); });
}
extern "C" SQLRETURN SQL_API SQLExecDirectW(SQLHSTMT h, SQLWCHAR* text, SQLINTEGER len) {
  return _zolandm_traced(entry_SQLExecDirectW, trace_SQLExecDirectW, h, text, len);
}

// ---- data at execution -------------------------------------------------------------------------

static SQLRETURN entry_SQLPutData(SQLHSTMT h, SQLPOINTER data, SQLLEN len) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* stmt) -> SQLRETURN {
    if (data == nullptr && len != SQL_NULL_DATA && len != SQL_DEFAULT_PARAM)
      return _zolandm_fail(stmt, ZOLANDM_E_S1009);
    int pend = pending_check(stmt, ZOLANDM_FN_SQLPutData);
    if (pend < 0) return ZOLANDM_ERROR;
    if (pend == 0 && !need_data_state(stmt)) return _zolandm_fail(stmt, ZOLANDM_E_S1010);
    void* f = _zolandm_driver_entry(stmt->dbc, ZOLANDM_FN_SQLPutData);
    if (f == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
    SQLRETURN rc =
        _zolandm_call<PutDataFn>(_zolandm_stmt_driver(stmt), &stmt->last_rc, f, stmt->drv_stmt, data, len);
    if (!_zolandm_async_complete(stmt, ZOLANDM_FN_SQLPutData, rc, false, false)) return rc;
    if (zolandm_succeeded(rc)) {
      stmt->state = ZOLANDM_STMT_CAN_PUT;
    } else if (rc == SQL_STILL_EXECUTING) {
      stmt->async_func = ZOLANDM_FN_SQLPutData;
    } else if (rc == ZOLANDM_ERROR) {
      fail_need_data(stmt);
    }
    return rc;
  });
}
extern "C" SQLRETURN SQL_API SQLPutData(SQLHSTMT h, SQLPOINTER data, SQLLEN len) {
  return _zolandm_traced(entry_SQLPutData, trace_SQLPutData, h, data, len);
}

static SQLRETURN entry_SQLParamData(SQLHSTMT h, SQLPOINTER* value) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* stmt) -> SQLRETURN {
    int pend = pending_check(stmt, ZOLANDM_FN_SQLParamData);
    if (pend < 0) return ZOLANDM_ERROR;
    if (pend == 0 && !need_data_state(stmt)) return _zolandm_fail(stmt, ZOLANDM_E_S1010);
    void* f = _zolandm_driver_entry(stmt->dbc, ZOLANDM_FN_SQLParamData);
    if (f == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
    SQLRETURN rc =
        _zolandm_call<ParamDataFn>(_zolandm_stmt_driver(stmt), &stmt->last_rc, f, stmt->drv_stmt, value);
    if (!need_data_state(stmt)) return rc;
    if (rc == ZOLANDM_NEED_DATA) {
      stmt->state = ZOLANDM_STMT_MUST_PUT;
    } else if (zolandm_succeeded(rc)) {
      // The driver has all it needs, whichever step of the sequence this was: the
      // statement must not stay in a need-data state the driver has left.
      widen_params(stmt);
      end_need_data(stmt);
    } else if (executed_without_rows(stmt, rc) && stmt->need_data_func != ZOLANDM_FN_SQLSetPos) {
      no_result_state(stmt);
      stmt->need_data_func = 0;
    } else if (rc == ZOLANDM_ERROR) {
      fail_need_data(stmt);
    }
    return rc;
  });
}
extern "C" SQLRETURN SQL_API SQLParamData(SQLHSTMT h, SQLPOINTER* value) {
  return _zolandm_traced(entry_SQLParamData, trace_SQLParamData, h, value);
}

// ---- parameter descriptions --------------------------------------------------------------------

static SQLRETURN entry_SQLNumParams(SQLHSTMT h, SQLSMALLINT* count) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* stmt) -> SQLRETURN {
    if (count == nullptr) return ZOLANDM_OK;
    int pend = pending_check(stmt, ZOLANDM_FN_SQLNumParams);
    if (pend < 0) return ZOLANDM_ERROR;
    if (pend == 0 && (stmt->state == ZOLANDM_STMT_ALLOCATED || need_data_state(stmt)))
      return _zolandm_fail(stmt, ZOLANDM_E_S1010);
    void* f = _zolandm_driver_entry(stmt->dbc, ZOLANDM_FN_SQLNumParams);
    if (f == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
    SQLRETURN rc =
        _zolandm_call<NumParamsFn>(_zolandm_stmt_driver(stmt), &stmt->last_rc, f, stmt->drv_stmt, count);
    if (!_zolandm_async_complete(stmt, ZOLANDM_FN_SQLNumParams, rc, false, false)) return rc;
    if (rc == SQL_STILL_EXECUTING) stmt->async_func = ZOLANDM_FN_SQLNumParams;
    return rc;
  });
}
extern "C" SQLRETURN SQL_API SQLNumParams(SQLHSTMT h, SQLSMALLINT* count) {
  return _zolandm_traced(entry_SQLNumParams, trace_SQLNumParams, h, count);
}

static SQLRETURN entry_SQLDescribeParam(SQLHSTMT h, SQLUSMALLINT ipar, SQLSMALLINT* type, SQLULEN* size,
                                        SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* stmt) -> SQLRETURN {
    if (ipar == 0) return _zolandm_fail(stmt, ZOLANDM_E_S1093);
    int pend = pending_check(stmt, ZOLANDM_FN_SQLDescribeParam);
    if (pend < 0) return ZOLANDM_ERROR;
    if (pend == 0 && (stmt->state == ZOLANDM_STMT_ALLOCATED || need_data_state(stmt)))
      return _zolandm_fail(stmt, ZOLANDM_E_S1010);
    void* f = _zolandm_driver_entry(stmt->dbc, ZOLANDM_FN_SQLDescribeParam);
    if (f == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
    SQLRETURN rc = _zolandm_call<DescribeParamFn>(_zolandm_stmt_driver(stmt), &stmt->last_rc, f,
                                                  stmt->drv_stmt, ipar, type, size, digits, nullable);
    if (!_zolandm_async_complete(stmt, ZOLANDM_FN_SQLDescribeParam, rc, false, false)) return rc;
    if (rc == SQL_STILL_EXECUTING) stmt->async_func = ZOLANDM_FN_SQLDescribeParam;
    if (zolandm_succeeded(rc) && type != nullptr) {
      *type = static_cast<SQLSMALLINT>(_zolandm_map_sqltype(*type, _zolandm_app_version(stmt->dbc)));
    }
    return rc;
  });
}
extern "C" SQLRETURN SQL_API SQLDescribeParam(SQLHSTMT h, SQLUSMALLINT ipar, SQLSMALLINT* type, SQLULEN* size,
                                              SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  return _zolandm_traced(entry_SQLDescribeParam, trace_SQLDescribeParam, h, ipar, type, size, digits,
                         nullable);
}

// ---- fetching ------------------------------------------------------------------------------------

SQLRETURN SQLFetch_Internal(zolandm_stmt* stmt, SQLULEN* rows) {
  int pend = pending_check(stmt, ZOLANDM_FN_SQLFetch);
  if (pend < 0) return ZOLANDM_ERROR;
  if (pend == 0) {
    int s = stmt->state;
    const bool continues = s == ZOLANDM_STMT_EXT_FETCHED && _zolandm_stmt_mixed_fetch(stmt);
    if (s <= ZOLANDM_STMT_PREPARED || (s >= ZOLANDM_STMT_EXT_FETCHED && !continues))
      return _zolandm_fail(stmt, ZOLANDM_E_S1010);
    _zolandm_stmt_settle(stmt);
  }
  zolandm_dbc* dbc = stmt->dbc;
  reset_getdata(stmt);
  SQLRETURN rc;
  void* ext = nullptr;
  if (_zolandm_drv_version(dbc) == 2 && _zolandm_app_version(dbc) == 3) {
    ext = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLExtendedFetch);
  }
  if (rows != nullptr) *rows = 0;
  if (ext != nullptr) {
    // The driver always gets somewhere to count the rows, also when the application gave none.
    SQLULEN own_count = 0;
    auto* count =
        stmt->rows_fetched_ptr != nullptr ? static_cast<SQLULEN*>(stmt->rows_fetched_ptr) : &own_count;
    rc = _zolandm_call<ExtendedFetchFn>(dbc->driver, &stmt->last_rc, ext, stmt->drv_stmt,
                                        SQLUSMALLINT(SQL_FETCH_NEXT), SQLLEN(0), count, stmt->row_status_ptr);
    if (rows != nullptr && zolandm_succeeded(rc)) *rows = *count;
  } else {
    void* f = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLFetch);
    if (f == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
    rc = _zolandm_call<FetchFn>(dbc->driver, &stmt->last_rc, f, stmt->drv_stmt);
  }
  if (pend == 1 && !_zolandm_async_complete(stmt, ZOLANDM_FN_SQLFetch, rc, false, true)) return rc;
  if (stmt->state == ZOLANDM_STMT_CURSOR_OPEN || stmt->state == ZOLANDM_STMT_FETCHED ||
      (stmt->state == ZOLANDM_STMT_EXT_FETCHED && _zolandm_stmt_mixed_fetch(stmt))) {
    stmt->ext_fetched = 0;
    if (rc == SQL_STILL_EXECUTING) {
      stmt->async_func = ZOLANDM_FN_SQLFetch;
    } else if (rc == ZOLANDM_NO_DATA) {
      stmt->cursor_state = ZOLANDM_CURSOR_NONE;
      stmt->state = stmt->prepared ? ZOLANDM_STMT_FETCHED : ZOLANDM_STMT_ALLOCATED;
    } else if (zolandm_succeeded(rc)) {
      stmt->state = ZOLANDM_STMT_FETCHED;
      stmt->cursor_state = ZOLANDM_CURSOR_FETCHED;
    }
  }
  return rc;
}

static SQLRETURN entry_SQLFetch(SQLHSTMT h) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* stmt) -> SQLRETURN {
    SQLULEN rows = 0;
    zolandm_dbc* dbc = stmt->dbc;
    // An ODBC 3 driver fetches its row array size.
    const bool driver_array = _zolandm_app_version(dbc) == 3 && _zolandm_drv_version(dbc) == 3;
    zolandm_row_layout layout{};
    if (stmt->wide_cols != nullptr && driver_array) layout = _zolandm_boundcol_layout(stmt);
    SQLRETURN rc = SQLFetch_Internal(stmt, &rows);
    if (zolandm_succeeded(rc) && stmt->wide_cols != nullptr) {
      if (rows > 0) {
        // Emulated through SQLExtendedFetch: the rows it filled.
        int64_t n =
            rows > static_cast<SQLULEN>(stmt->rowset_size) ? stmt->rowset_size : static_cast<int64_t>(rows);
        _zolandm_boundcol_widen_rows(stmt, n, stmt->row_status_ptr);
      } else if (driver_array) {
        _zolandm_boundcol_widen_layout(stmt, layout);
      } else {
        _zolandm_boundcol_widen_rows(stmt, 1, nullptr);
      }
    }
    return rc;
  });
}
extern "C" SQLRETURN SQL_API SQLFetch(SQLHSTMT h) {
  return _zolandm_traced(entry_SQLFetch, trace_SQLFetch, h);
}

SQLRETURN SQLExtendedFetch_Internal(zolandm_stmt* stmt, SQLUSMALLINT orientation, SQLLEN offset,
                                    SQLULEN* row_count, SQLUSMALLINT* row_status, int id) {
  if (orientation < 1 || orientation > 8) return _zolandm_fail(stmt, ZOLANDM_E_S1106);
  int pend = pending_check(stmt, id);
  if (pend < 0) return ZOLANDM_ERROR;
  // SQLFetchScroll, emulated here, continues what SQLFetch fetched for an ODBC 3 application.
  const bool scroll = id == ZOLANDM_FN_SQLFetchScroll && _zolandm_stmt_mixed_fetch(stmt);
  if (pend == 0) {
    int s = stmt->state;
    if (s <= ZOLANDM_STMT_PREPARED || (s == ZOLANDM_STMT_FETCHED && !scroll) || s >= ZOLANDM_STMT_NEED_DATA)
      return _zolandm_fail(stmt, ZOLANDM_E_S1010);
    _zolandm_stmt_settle(stmt);
  }
  void* f = _zolandm_driver_entry(stmt->dbc, ZOLANDM_FN_SQLExtendedFetch);
  if (f == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
  if (orientation <= 4) offset = 0;
  reset_getdata(stmt);
  SQLRETURN rc = _zolandm_call<ExtendedFetchFn>(_zolandm_stmt_driver(stmt), &stmt->last_rc, f, stmt->drv_stmt,
                                                orientation, offset, row_count, row_status);
  if (pend == 1 && !_zolandm_async_complete(stmt, id, rc, false, true)) return rc;
  if (stmt->state == ZOLANDM_STMT_CURSOR_OPEN || stmt->state == ZOLANDM_STMT_EXT_FETCHED ||
      (stmt->state == ZOLANDM_STMT_FETCHED && scroll)) {
    if (rc == SQL_STILL_EXECUTING) {
      stmt->async_func = id;
    } else if (zolandm_succeeded(rc) || rc == ZOLANDM_NO_DATA) {
      stmt->state = ZOLANDM_STMT_EXT_FETCHED;
      stmt->cursor_state = ZOLANDM_CURSOR_EXT_FETCHED;
      stmt->ext_fetched = id == ZOLANDM_FN_SQLExtendedFetch ? 1 : 0;
    }
  }
  return rc;
}

static SQLRETURN entry_SQLExtendedFetch(SQLHSTMT h, SQLUSMALLINT orientation, SQLLEN offset,
                                        SQLULEN* row_count, SQLUSMALLINT* row_status) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* stmt) -> SQLRETURN {
    // The widening needs the number of rows the fetch filled, also when the caller does not ask.
    SQLULEN own_count = 0;
    SQLULEN* count = row_count;
    if (count == nullptr && stmt->wide_cols != nullptr) count = &own_count;
    SQLRETURN rc = SQLExtendedFetch_Internal(stmt, orientation, offset, count, row_status);
    if (zolandm_succeeded(rc) && stmt->wide_cols != nullptr) {
      int64_t rows = static_cast<int64_t>(*count);
      if (rows > stmt->rowset_size) rows = stmt->rowset_size;
      _zolandm_boundcol_widen_rows(stmt, rows, row_status);
    }
    return rc;
  });
}
extern "C" SQLRETURN SQL_API SQLExtendedFetch(SQLHSTMT h, SQLUSMALLINT orientation, SQLLEN offset,
                                              SQLULEN* row_count, SQLUSMALLINT* row_status) {
  return _zolandm_traced(entry_SQLExtendedFetch, trace_SQLExtendedFetch, h, orientation, offset, row_count,
                         row_status);
}

static SQLRETURN entry_SQLGetData(SQLHSTMT h, SQLUSMALLINT column, SQLSMALLINT target_type, SQLPOINTER target,
                                  SQLLEN buf_len, SQLLEN* ind) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* stmt) -> SQLRETURN {
    if (target == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_S1009);
    if (buf_len < 0) return _zolandm_fail(stmt, ZOLANDM_E_S1090);
    if (!_zolandm_valid_ctype(target_type)) return _zolandm_fail(stmt, ZOLANDM_E_S1003);
    int pend = fetched_row_check(stmt, ZOLANDM_FN_SQLGetData);
    if (pend < 0) return ZOLANDM_ERROR;
    void* f = _zolandm_driver_entry(stmt->dbc, ZOLANDM_FN_SQLGetData);
    if (f == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
    int c_type = _zolandm_map_ctype(target_type, _zolandm_drv_version(stmt->dbc));
    SQLRETURN rc;
    if (!_zolandm_stmt_unicode(stmt) && c_type == SQL_C_WCHAR) {
      rc = get_data_widened(stmt, f, column, target, buf_len, ind);
    } else {
      if (column != stmt->gd_column) reset_getdata(stmt);
      rc = _zolandm_call<GetDataFn>(_zolandm_stmt_driver(stmt), &stmt->last_rc, f, stmt->drv_stmt, column,
                                    SQLSMALLINT(c_type), target, buf_len, ind);
    }
    if (pend == 1 && !_zolandm_async_complete(stmt, ZOLANDM_FN_SQLGetData, rc, false, true)) return rc;
    if (rc == SQL_STILL_EXECUTING && fetched_state(stmt)) stmt->async_func = ZOLANDM_FN_SQLGetData;
    return rc;
  });
}
extern "C" SQLRETURN SQL_API SQLGetData(SQLHSTMT h, SQLUSMALLINT column, SQLSMALLINT target_type,
                                        SQLPOINTER target, SQLLEN buf_len, SQLLEN* ind) {
  return _zolandm_traced(entry_SQLGetData, trace_SQLGetData, h, column, target_type, target, buf_len, ind);
}

static SQLRETURN entry_SQLMoreResults(SQLHSTMT h) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* stmt) -> SQLRETURN {
    int pend = pending_check(stmt, ZOLANDM_FN_SQLMoreResults);
    if (pend < 0) return ZOLANDM_ERROR;
    if (pend == 0 && need_data_state(stmt)) return _zolandm_fail(stmt, ZOLANDM_E_S1010);
    void* f = _zolandm_driver_entry(stmt->dbc, ZOLANDM_FN_SQLMoreResults);
    if (f == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
    // A result whose state was left open is settled before the driver moves past it; the
    // count asked afterwards would drop the records of this call.
    if (pend == 0) _zolandm_stmt_settle(stmt);
    reset_getdata(stmt);
    SQLRETURN rc = _zolandm_call<FetchFn>(_zolandm_stmt_driver(stmt), &stmt->last_rc, f, stmt->drv_stmt);
    if (pend == 1 && !_zolandm_async_complete(stmt, ZOLANDM_FN_SQLMoreResults, rc, false, true)) return rc;
    // States 0 and 1 have no result to move from: they stay as they are.
    _zolandm_stmt_settle(stmt);
    int s = stmt->state;
    if (s >= ZOLANDM_STMT_NO_RESULT && s <= ZOLANDM_STMT_EXT_FETCHED) {
      if (rc == ZOLANDM_NO_DATA) {
        stmt->state = stmt->prepared ? ZOLANDM_STMT_PREPARED : ZOLANDM_STMT_ALLOCATED;
        stmt->cursor_state = ZOLANDM_CURSOR_NONE;
      } else if (rc == SQL_STILL_EXECUTING) {
        stmt->async_func = ZOLANDM_FN_SQLMoreResults;
      } else if (zolandm_succeeded(rc) && _zolandm_app_version(stmt->dbc) == 3) {
        // An ODBC 3 application reads the next result like the first: with or without
        // columns, not yet fetched.
        _zolandm_stmt_result_state(stmt);
      }
    }
    return rc;
  });
}
extern "C" SQLRETURN SQL_API SQLMoreResults(SQLHSTMT h) {
  return _zolandm_traced(entry_SQLMoreResults, trace_SQLMoreResults, h);
}

SQLRETURN SQLSetPos_Internal(zolandm_stmt* stmt, SQLSETPOSIROW row, SQLUSMALLINT operation,
                             SQLUSMALLINT lock_type) {
  if (operation > SQL_ADD || lock_type > SQL_LOCK_UNLOCK) return _zolandm_fail(stmt, ZOLANDM_E_S1009);
  int pend = fetched_row_check(stmt, ZOLANDM_FN_SQLSetPos);
  if (pend < 0) return ZOLANDM_ERROR;
  void* f = _zolandm_driver_entry(stmt->dbc, ZOLANDM_FN_SQLSetPos);
  if (f == nullptr) return _zolandm_fail(stmt, ZOLANDM_E_IM001);
  SQLRETURN rc = _zolandm_call<SetPosFn>(_zolandm_stmt_driver(stmt), &stmt->last_rc, f, stmt->drv_stmt,
                                         static_cast<SQLSETPOSIROW>(static_cast<SQLUSMALLINT>(row)),
                                         operation, lock_type);
  if (pend == 1 && !_zolandm_async_complete(stmt, ZOLANDM_FN_SQLSetPos, rc, true, false)) return rc;
  if (rc == SQL_STILL_EXECUTING) {
    stmt->async_func = ZOLANDM_FN_SQLSetPos;
  } else if (rc == ZOLANDM_NEED_DATA) {
    stmt->state = ZOLANDM_STMT_NEED_DATA;
    stmt->need_data_func = ZOLANDM_FN_SQLSetPos;
  }
  return rc;
}

static SQLRETURN entry_SQLSetPos(SQLHSTMT h, SQLSETPOSIROW row, SQLUSMALLINT operation,
                                 SQLUSMALLINT lock_type) {
  return _zolandm_stmt_entry(
      h, [&](zolandm_stmt* s) { return SQLSetPos_Internal(s, row, operation, lock_type); });
}
extern "C" SQLRETURN SQL_API SQLSetPos(SQLHSTMT h, SQLSETPOSIROW row, SQLUSMALLINT operation,
                                       SQLUSMALLINT lock_type) {
  return _zolandm_traced(entry_SQLSetPos, trace_SQLSetPos, h, row, operation, lock_type);
}
