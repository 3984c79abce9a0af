// Internal interface of the statement side of the driver manager: the parameter table, the
// conversion slots and the wide-bound column list of a statement, the date/time type-code
// mapping, and the workers that other entries reuse (execution settles its state through
// SQLNumResultCols_Internal; the pool probe and the ODBC 3 entries call the fetch, execute
// and option workers). Included by the statement sources of src/dm only.
//
// Workers run without the global lock on a statement the calling entry has marked busy.
#pragma once

#include <cstdint>

#include "dm/dm_internal.h"

// One bound parameter (row n-1 describes parameter n). The trailing conv_* fields are the
// manager's own narrow copy of a SQL_C_WCHAR parameter bound on a driver without wide
// entry points: the driver is bound to them, never to the application's buffers.
struct zolandm_param {
  uint16_t param_no;
  int16_t c_type;
  int16_t app_c_type;
  int64_t fixed_len;
  int16_t sql_type;
  uint64_t column_size;
  int16_t decimal_digits;
  void* value_ptr;
  SQLLEN* ind_ptr;
  SQLLEN* len_ptr;
  int64_t buffer_len;
  uint16_t io_type;
  // manager-owned conversion copy (see above)
  char* conv_value;
  SQLLEN* conv_len;
  int64_t conv_elem;  // bytes per row in conv_value (column-wise binding)
  int64_t conv_rows;  // rows the copy was made for
};

constexpr int ZOLANDM_MAX_PARAMS = 1024;

// ---- conversion slots and wide-bound columns -------------------------------------------

void* _zolandm_stmt_tmpbuf(zolandm_stmt* stmt, int slot, int size);
// Narrow (length in bytes or SQL_NTS) into a NUL-terminated wide copy held in a slot, and
// the reverse (length in characters). Null for a null text, and also when the text cannot
// be converted (no memory, or a character the locale cannot represent): callers that were
// given a non-null text treat that as an error (see _zolandm_stmt_conv_failed).
SQLWCHAR* _zolandm_stmt_arg_to_wide(zolandm_stmt* stmt, int slot, const char* text, int64_t length);
char* _zolandm_stmt_arg_to_narrow(zolandm_stmt* stmt, int slot, const SQLWCHAR* text, int64_t length);
// Converts one string argument for the driver's width: returns the pointer to pass and sets
// *len to the length to pass. *failed is set when a non-null text could not be converted.
const void* _zolandm_stmt_arg_for_driver(zolandm_stmt* stmt, int slot, const void* text, int64_t* len,
                                         char width, bool* failed);
// A text the manager's own conversion had to cut is reported like a driver's truncation:
// "01004" and SQL_SUCCESS_WITH_INFO. Returns the code to give back.
SQLRETURN _zolandm_report_cut(zolandm_stmt* stmt, SQLRETURN rc, bool cut);
// Pushes the diagnostic of a failed argument conversion and returns SQL_ERROR.
SQLRETURN _zolandm_stmt_conv_failed(zolandm_stmt* stmt);

int _zolandm_stmt_free_paramtab(zolandm_stmt* stmt);
int _zolandm_boundcol_add(zolandm_stmt* stmt, const zolandm_boundcol* image);
int _zolandm_boundcol_remove(zolandm_stmt* stmt, const zolandm_boundcol* image);
void _zolandm_boundcol_free_all(zolandm_stmt* stmt);
// Widens the wide-bound columns of the first `rows` rows of the rowset in place.
void _zolandm_boundcol_widen_rows(zolandm_stmt* stmt, int64_t rows, const SQLUSMALLINT* status);
void _zolandm_boundcol_widen(zolandm_stmt* stmt);

// Narrow text (NUL-terminated, at most max_in bytes read) into a wide buffer of cap_chars
// characters including the terminator; whole characters only. Returns the number of wide
// characters written (without the terminator); *complete tells whether all of the text
// fitted. Invalid bytes end the text.
int64_t _zolandm_narrow_to_wide_bounded(const char* in, int64_t max_in, SQLWCHAR* out, int64_t cap_chars,
                                        bool* complete);

// ---- type codes ---------------------------------------------------------------------------

// Inline: SQLGetData and the binding calls ask on every call.
inline int _zolandm_map_sqltype(int type, int version) {
  switch (type) {
    case 9:
    case 91:
      return version == 3 ? 91 : 9;
    case 10:
    case 92:
      return version == 3 ? 92 : 10;
    case 11:
    case 93:
      return version == 3 ? 93 : 11;
    default:
      return type;
  }
}

inline int _zolandm_map_ctype(int type, int version) { return _zolandm_map_sqltype(type, version); }

inline bool _zolandm_valid_ctype(int type) {
  switch (type) {
    case 1:
    case 2:
    case 4:
    case 5:
    case 7:
    case 8:
    case 9:
    case 10:
    case 11:
    case 91:
    case 92:
    case 93:
    case 99:
    case -28:
    case -27:
    case -26:
    case -25:
    case -18:
    case -17:
    case -16:
    case -15:
    case -11:
    case -8:
    case -7:
    case -6:
    case -2:
      return true;
    default:
      return type >= 101 && type <= 113;
  }
}

// ---- workers shared with other entries ---------------------------------------------------

SQLRETURN SQLAllocStmt_Internal(zolandm_dbc* dbc, SQLHSTMT* out);
SQLRETURN SQLFreeStmt_Internal(zolandm_stmt* stmt, SQLUSMALLINT option);
SQLRETURN SQLSetStmtOption_Internal(zolandm_stmt* stmt, SQLUSMALLINT option, SQLULEN value);
SQLRETURN SQLGetStmtOption_Internal(zolandm_stmt* stmt, SQLUSMALLINT option, SQLPOINTER value);
SQLRETURN SQLNumResultCols_Internal(zolandm_stmt* stmt, SQLSMALLINT* count);
SQLRETURN SQLExecDirect_Internal(zolandm_stmt* stmt, const void* text, SQLINTEGER length, char width);
// *rows (when given) receives the number of rows the fetch filled, when known (else
// the rowset size).
SQLRETURN SQLFetch_Internal(zolandm_stmt* stmt, SQLULEN* rows = nullptr);
// `id` is the function the call is made for: SQLExtendedFetch, or SQLFetchScroll when it
// emulates that call (its pending call is recorded and completed under that id).
SQLRETURN SQLExtendedFetch_Internal(zolandm_stmt* stmt, SQLUSMALLINT orientation, SQLLEN offset,
                                    SQLULEN* row_count, SQLUSMALLINT* row_status,
                                    int id = ZOLANDM_FN_SQLExtendedFetch);
SQLRETURN SQLSetPos_Internal(zolandm_stmt* stmt, SQLSETPOSIROW row, SQLUSMALLINT operation,
                             SQLUSMALLINT lock_type);
// Settles the state after a successful execution by the driver's column count. For an ODBC 3
// application whose driver answered SQL_SUCCESS_WITH_INFO the count is not asked yet (asking
// would make some drivers drop the records the application is about to read): the statement
// stays in the executed state until _zolandm_stmt_settle is called by a later entry.
void _zolandm_stmt_result_state(zolandm_stmt* stmt);
// Settles a statement left in the executed state (no-op in any other state).
void _zolandm_stmt_settle(zolandm_stmt* stmt);
// An ODBC 3 application mixes SQLFetch and SQLFetchScroll on one cursor: either continues a
// rowset the other fetched (not one of SQLExtendedFetch).
inline bool _zolandm_stmt_mixed_fetch(const zolandm_stmt* stmt) {
  return _zolandm_app_version(stmt->dbc) == 3 && !stmt->ext_fetched;
}
SQLRETURN SQLGetStmtAttr_Internal(zolandm_stmt* stmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER buf_len,
                                  SQLINTEGER* str_len);
SQLRETURN SQLSetStmtAttr_Internal(zolandm_stmt* stmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER str_len);
// SQLFreeStmt's entry body, shared with SQLFreeHandle.
SQLRETURN _zolandm_free_stmt_entry(SQLHSTMT hstmt, SQLUSMALLINT option);

// ---- rowset size -----------------------------------------------------------------------------

// The driver accepted a new rowset size (by either name, through an option or an attribute):
// records it and keeps the manager's own row-status array as long as the rowset, so an ODBC 2
// driver never writes past it. "HY001" (false) when the array cannot be had; the statement
// then has none.
bool _zolandm_stmt_rowset_changed(zolandm_stmt* stmt, SQLULEN rows);
// The rowset size the driver reports, asked without a diagnostic of the manager's own;
// `fallback` when it cannot be read. last_rc keeps its value.
SQLULEN _zolandm_stmt_read_rowset(zolandm_stmt* stmt, SQLULEN fallback);
// The row array of an ODBC 3 driver that the manager does not hold: its size and the driver's
// rows-fetched and row-status pointers (null when unknown). Read before the fetch, because
// some drivers drop the records of their last call on any call, these reads included.
struct zolandm_row_layout {
  SQLULEN size;
  SQLULEN* fetched;
  SQLUSMALLINT* status;
};
zolandm_row_layout _zolandm_boundcol_layout(zolandm_stmt* stmt);
// Widens the wide-bound columns after a fetch into that row array: the rows-fetched count or
// the row statuses bound the pass.
void _zolandm_boundcol_widen_layout(zolandm_stmt* stmt, const zolandm_row_layout& layout);

// ---- entry helper ----------------------------------------------------------------------------

// The statement-entry protocol with the worker run outside the global lock.
template <typename Worker>
SQLRETURN _zolandm_stmt_entry(SQLHSTMT handle, Worker worker) {
  zolandm_entry entry(handle, ZOLANDM_STMT);
  if (!entry.ok()) return entry.rc();
  entry.unlock();
  SQLRETURN rc = worker(static_cast<zolandm_stmt*>(handle));
  entry.relock();
  return rc;
}

inline zolandm_driver* _zolandm_stmt_driver(const zolandm_stmt* stmt) { return stmt->dbc->driver; }
inline bool _zolandm_stmt_unicode(const zolandm_stmt* stmt) {
  return stmt->dbc->driver != nullptr && stmt->dbc->driver->unicode != 0;
}
// Records a pending asynchronous call's completion: with async_func == id, a completing code
// clears it (returns true: go on); any other code returns false (return at once).
bool _zolandm_async_complete(zolandm_stmt* stmt, int id, SQLRETURN rc, bool need_data_completes,
                             bool no_data_completes);
