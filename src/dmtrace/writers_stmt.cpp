// Trace writers of the statement calls: prepare and execute, binding, fetching, data at
// execution, column and parameter descriptions, cursor names, options and attributes, and
// the catalog functions.

#include "dmtrace/writer_util.h"
#include "dmtrace/writers.h"
#include "dmtrace/value_names.h"

namespace {

void stmt_only(int id, int leaving, int rc, SQLHSTMT stmt) {
  _zolandm_tr_begin(id, leaving, rc);
  _zolandm_tr_arg_handle(3, stmt);
}

template <typename C>
void statement_text_writer(int id, int leaving, int rc, SQLHSTMT stmt, C* text, SQLINTEGER length) {
  auto f = _zolandm_tr_begin(id, leaving, rc);
  _zolandm_tr_arg_handle(3, stmt);
  _zolandm_tr_text(text, length, static_cast<const SQLINTEGER*>(nullptr), f.entry);
  _zolandm_tr_arg_length("SQLINTEGER", length);
}

template <typename C>
void describe_col_writer(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT column, C* name,
                         SQLSMALLINT name_max, SQLSMALLINT* name_len, SQLSMALLINT* type, SQLULEN* size,
                         SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  auto f = _zolandm_tr_begin(_zolandm_tr_id<C>(ZOLANDM_FN_SQLDescribeCol, ZOLANDM_FN_SQLDescribeColW),
                             leaving, rc);
  _zolandm_tr_arg_handle(3, stmt);
  _zolandm_tr_arg_usmallint(column);
  _zolandm_tr_out_text(name, name_max, name_len, f.success);
  _zolandm_tr_arg_sql_type_ptr(type, f.success);
  _zolandm_tr_arg_ulen_ptr(size, f.success);
  _zolandm_tr_arg_smallint_ptr(digits, f.success);
  _zolandm_tr_arg_nullable_ptr(nullable, f.success);
}

// The decoded numeric attributes of SQLColAttribute: their name table, or null.
bool truth_field(SQLUSMALLINT field) {
  return field == SQL_DESC_UNSIGNED || field == SQL_DESC_FIXED_PREC_SCALE ||
         field == SQL_DESC_AUTO_UNIQUE_VALUE || field == SQL_DESC_CASE_SENSITIVE;
}

struct decoded_field {
  SQLUSMALLINT field;
  const zolandm_tr_names* names;
  const char* fallback;
};

const decoded_field* decoded(SQLUSMALLINT field) {
  static const decoded_field fields[] = {
      {SQL_DESC_NULLABLE, &_zolandm_tr_nullables, "unknown nullable type"},
      {SQL_DESC_SEARCHABLE, &_zolandm_tr_searchables, "unknown searchable type"},
      {SQL_DESC_UNNAMED, &_zolandm_tr_unnamed, "unknown named type"},
      {SQL_DESC_UPDATABLE, &_zolandm_tr_updatables, "unknown updatable type"},
  };
  for (const auto& d : fields) {
    if (d.field == field) return &d;
  }
  return nullptr;
}

bool string_field(SQLUSMALLINT field) {
  return (field >= 14 && field <= 18) || field == 22 || field == 23 || (field >= 27 && field <= 29) ||
         field == SQL_DESC_NAME;
}

bool number_field(SQLUSMALLINT field) {
  return field == 2 || field == 6 || field == 32 || field == 1001 || field == 1002 || field == 1003 ||
         field == 1005 || field == 1006 || field == 1013;
}

template <typename C>
void col_attribute_writer(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field,
                          SQLPOINTER char_attr, SQLSMALLINT buf_len, SQLSMALLINT* str_len, SQLLEN* num_attr) {
  auto f = _zolandm_tr_begin(_zolandm_tr_id<C>(ZOLANDM_FN_SQLColAttribute, ZOLANDM_FN_SQLColAttributeW),
                             leaving, rc);
  _zolandm_tr_arg_handle(3, stmt);
  _zolandm_tr_arg_usmallint(column);
  _zolandm_tr_name_colattribute_field(field);
  if (f.success && string_field(field)) {
    // Wide attribute lengths count bytes; the text printer counts characters.
    SQLSMALLINT chars = 0;
    const SQLSMALLINT* len_chars = nullptr;
    long buf_chars = buf_len;
    if constexpr (zolandm_tr_wide<C>) {
      buf_chars = buf_len / static_cast<long>(sizeof(SQLWCHAR));
      if (str_len != nullptr) {
        chars = static_cast<SQLSMALLINT>(*str_len / static_cast<SQLSMALLINT>(sizeof(SQLWCHAR)));
        len_chars = &chars;
      }
    } else {
      len_chars = str_len;
    }
    _zolandm_tr_text(static_cast<const C*>(char_attr), buf_chars, len_chars, 1);
    _zolandm_tr_arg_attr_length(buf_len);
    _zolandm_tr_arg_smallint_ptr(str_len, 1);
    _zolandm_tr_arg_len_ptr(num_attr, 0);
    return;
  }
  _zolandm_tr_arg_pointer(char_attr);
  _zolandm_tr_arg_attr_length(buf_len);
  if (!f.success) {
    _zolandm_tr_arg_smallint_ptr(str_len, 0);
    _zolandm_tr_arg_len_ptr(num_attr, 0);
    return;
  }
  if (number_field(field)) {
    _zolandm_tr_arg_smallint_ptr(str_len, 0);
    _zolandm_tr_arg_len_ptr(num_attr, 1);
    return;
  }
  const decoded_field* d = decoded(field);
  if (d == nullptr && !truth_field(field)) {
    _zolandm_tr_arg_smallint_ptr(str_len, 1);
    _zolandm_tr_arg_len_ptr(num_attr, 1);
    return;
  }
  _zolandm_tr_arg_smallint_ptr(str_len, 0);
  if (num_attr == nullptr) {
    _zolandm_trace_printf("\t\t%-15.15s * 0x0\n", "SQLLEN");
    return;
  }
  const char* name;
  if (d == nullptr) {
    name = *num_attr != 0 ? "SQL_TRUE" : "SQL_FALSE";
  } else {
    name = _zolandm_tr_lookup(*d->names, *num_attr);
    if (name == nullptr) name = d->fallback;
  }
  _zolandm_trace_printf("\t\t%-15.15s * %p (%s)\n", "SQLLEN", static_cast<void*>(num_attr), name);
}

void col_attributes_writer(int id, int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT column,
                           SQLUSMALLINT field, SQLPOINTER char_attr, SQLSMALLINT buf_len,
                           SQLSMALLINT* str_len, SQLLEN* num_attr) {
  auto f = _zolandm_tr_begin(id, leaving, rc);
  _zolandm_tr_arg_handle(3, stmt);
  _zolandm_tr_arg_usmallint(column);
  _zolandm_tr_name_colattributes_field(field);
  _zolandm_tr_arg_pointer(char_attr);
  _zolandm_tr_arg_smallint(buf_len);
  _zolandm_tr_arg_smallint_ptr(str_len, f.success);
  _zolandm_tr_arg_len_ptr(num_attr, f.success);
}

template <typename C>
void get_cursor_name_writer(int leaving, int rc, SQLHSTMT stmt, C* name, SQLSMALLINT buf_len,
                            SQLSMALLINT* name_len) {
  auto f = _zolandm_tr_begin(_zolandm_tr_id<C>(ZOLANDM_FN_SQLGetCursorName, ZOLANDM_FN_SQLGetCursorNameW),
                             leaving, rc);
  _zolandm_tr_arg_handle(3, stmt);
  _zolandm_tr_text(name, buf_len, name_len, f.success);
  _zolandm_tr_arg_smallint(buf_len);
  _zolandm_tr_arg_smallint_ptr(name_len, leaving);
}

template <typename C>
void set_cursor_name_writer(int leaving, int rc, SQLHSTMT stmt, C* name, SQLSMALLINT length) {
  auto f = _zolandm_tr_begin(_zolandm_tr_id<C>(ZOLANDM_FN_SQLSetCursorName, ZOLANDM_FN_SQLSetCursorNameW),
                             leaving, rc);
  _zolandm_tr_arg_handle(3, stmt);
  _zolandm_tr_name_arg(name, length, f.entry);
}

void get_stmt_attr_writer(int id, int leaving, int rc, SQLHSTMT stmt, SQLINTEGER attr, SQLPOINTER value,
                          SQLINTEGER buf_len, SQLINTEGER* str_len) {
  _zolandm_tr_attr_call(id, leaving, rc, 3, stmt, _zolandm_tr_name_stmt_attr, attr, value, buf_len, true,
                        str_len);
}

void set_stmt_attr_writer(int id, int leaving, int rc, SQLHSTMT stmt, SQLINTEGER attr, SQLPOINTER value,
                          SQLINTEGER length) {
  _zolandm_tr_attr_call(id, leaving, rc, 3, stmt, _zolandm_tr_name_stmt_attr, attr, value, length);
}

void type_info_writer(int id, int leaving, int rc, SQLHSTMT stmt, SQLSMALLINT type) {
  _zolandm_tr_begin(id, leaving, rc);
  _zolandm_tr_arg_handle(3, stmt);
  _zolandm_tr_name_typeinfo_type(type);
}

// Catalog calls: the statement and their name arguments, each dumped on entry.
template <typename C, typename... Rest>
void names(int entry, const C* text, SQLSMALLINT length, Rest... rest) {
  _zolandm_tr_name_arg(text, length, entry);
  if constexpr (sizeof...(rest) > 0) names(entry, rest...);
}

template <typename C, typename... Args>
void catalog_writer(int plain_id, int wide_id, int leaving, int rc, SQLHSTMT stmt, Args... args) {
  auto f = _zolandm_tr_begin(_zolandm_tr_id<C>(plain_id, wide_id), leaving, rc);
  _zolandm_tr_arg_handle(3, stmt);
  names<C>(f.entry, args...);
}

}  // namespace

// ---- single-width calls ----

void trace_SQLExecute(int leaving, int rc, SQLHSTMT stmt) {
  stmt_only(ZOLANDM_FN_SQLExecute, leaving, rc, stmt);
}
void trace_SQLFetch(int leaving, int rc, SQLHSTMT stmt) { stmt_only(ZOLANDM_FN_SQLFetch, leaving, rc, stmt); }
void trace_SQLCancel(int leaving, int rc, SQLHSTMT stmt) {
  stmt_only(ZOLANDM_FN_SQLCancel, leaving, rc, stmt);
}
void trace_SQLCloseCursor(int leaving, int rc, SQLHSTMT stmt) {
  stmt_only(ZOLANDM_FN_SQLCloseCursor, leaving, rc, stmt);
}
void trace_SQLMoreResults(int leaving, int rc, SQLHSTMT stmt) {
  stmt_only(ZOLANDM_FN_SQLMoreResults, leaving, rc, stmt);
}

void trace_SQLFreeStmt(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT option) {
  stmt_only(ZOLANDM_FN_SQLFreeStmt, leaving, rc, stmt);
  _zolandm_tr_name_freestmt_option(option);
}

void trace_SQLBindCol(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT c_type,
                      SQLPOINTER target, SQLLEN buf_len, SQLLEN* ind) {
  auto f = _zolandm_tr_begin(ZOLANDM_FN_SQLBindCol, leaving, rc);
  _zolandm_tr_arg_handle(3, stmt);
  _zolandm_tr_arg_usmallint(column);
  _zolandm_tr_name_c_type(c_type);
  _zolandm_tr_arg_pointer(target);
  _zolandm_tr_arg_len(buf_len);
  _zolandm_tr_arg_len_ptr(ind, f.success);
}

void trace_SQLBindParameter(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT ipar, SQLSMALLINT io_type,
                            SQLSMALLINT c_type, SQLSMALLINT sql_type, SQLULEN size, SQLSMALLINT digits,
                            SQLPOINTER value, SQLLEN buf_len, SQLLEN* ind) {
  auto f = _zolandm_tr_begin(ZOLANDM_FN_SQLBindParameter, leaving, rc);
  _zolandm_tr_arg_handle(3, stmt);
  _zolandm_tr_arg_smallint(static_cast<SQLSMALLINT>(ipar));
  _zolandm_tr_name_param_io_type(io_type);
  _zolandm_tr_name_c_type(c_type);
  _zolandm_tr_name_sql_type(sql_type);
  _zolandm_tr_arg_uinteger(static_cast<SQLUINTEGER>(size));
  _zolandm_tr_arg_smallint(digits);
  _zolandm_tr_arg_pointer(value);
  _zolandm_tr_arg_len(buf_len);
  _zolandm_tr_arg_len_ptr(ind, f.success);
}

void trace_SQLBulkOperations(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT operation) {
  stmt_only(ZOLANDM_FN_SQLBulkOperations, leaving, rc, stmt);
  _zolandm_tr_name_setpos_operation(operation);
}

void trace_SQLDescribeParam(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT ipar, SQLSMALLINT* type,
                            SQLULEN* size, SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  auto f = _zolandm_tr_begin(ZOLANDM_FN_SQLDescribeParam, leaving, rc);
  _zolandm_tr_arg_handle(3, stmt);
  _zolandm_tr_arg_usmallint(ipar);
  _zolandm_tr_arg_sql_type_ptr(type, f.success);
  _zolandm_tr_arg_ulen_ptr(size, f.success);
  _zolandm_tr_arg_smallint_ptr(digits, f.success);
  _zolandm_tr_arg_smallint_ptr(nullable, f.success);
}

void trace_SQLExtendedFetch(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT orientation, SQLLEN row,
                            SQLULEN* row_count, SQLUSMALLINT* row_status) {
  auto f = _zolandm_tr_begin(ZOLANDM_FN_SQLExtendedFetch, leaving, rc);
  _zolandm_tr_arg_handle(3, stmt);
  _zolandm_tr_name_fetch_orientation(orientation);
  _zolandm_tr_arg_len(row);
  _zolandm_tr_arg_ulen_ptr(row_count, f.success);
  _zolandm_tr_arg_usmallint_ptr(row_status, 0);
}

void trace_SQLFetchScroll(int leaving, int rc, SQLHSTMT stmt, SQLSMALLINT orientation, SQLLEN offset) {
  stmt_only(ZOLANDM_FN_SQLFetchScroll, leaving, rc, stmt);
  _zolandm_tr_name_fetch_orientation(static_cast<SQLUSMALLINT>(orientation));
  _zolandm_tr_arg_len(offset);
}

void trace_SQLGetData(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT c_type,
                      SQLPOINTER target, SQLLEN buf_len, SQLLEN* ind) {
  auto f = _zolandm_tr_begin(ZOLANDM_FN_SQLGetData, leaving, rc);
  _zolandm_tr_arg_handle(3, stmt);
  _zolandm_tr_arg_usmallint(column);
  _zolandm_tr_name_c_type(c_type);
  _zolandm_tr_arg_data_value(c_type, target, buf_len, ind, f.success);
  _zolandm_tr_arg_len(buf_len);
  _zolandm_tr_arg_len_ptr(ind, f.success);
}

void trace_SQLGetStmtOption(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT option, SQLPOINTER value) {
  stmt_only(ZOLANDM_FN_SQLGetStmtOption, leaving, rc, stmt);
  _zolandm_tr_name_stmt_option(option);
  _zolandm_tr_arg_pointer(value);
}

void trace_SQLSetStmtOption(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT option, SQLULEN value) {
  stmt_only(ZOLANDM_FN_SQLSetStmtOption, leaving, rc, stmt);
  _zolandm_tr_name_stmt_option(option);
  _zolandm_tr_arg_uinteger(static_cast<SQLUINTEGER>(value));
}

void trace_SQLNumParams(int leaving, int rc, SQLHSTMT stmt, SQLSMALLINT* count) {
  auto f = _zolandm_tr_begin(ZOLANDM_FN_SQLNumParams, leaving, rc);
  _zolandm_tr_arg_handle(3, stmt);
  _zolandm_tr_arg_smallint_ptr(count, f.success);
}

void trace_SQLNumResultCols(int leaving, int rc, SQLHSTMT stmt, SQLSMALLINT* count) {
  auto f = _zolandm_tr_begin(ZOLANDM_FN_SQLNumResultCols, leaving, rc);
  _zolandm_tr_arg_handle(3, stmt);
  _zolandm_tr_arg_smallint_ptr(count, f.success);
}

void trace_SQLParamData(int leaving, int rc, SQLHSTMT stmt, SQLPOINTER* value) {
  stmt_only(ZOLANDM_FN_SQLParamData, leaving, rc, stmt);
  _zolandm_tr_arg_pointer(value);
}

void trace_SQLPutData(int leaving, int rc, SQLHSTMT stmt, SQLPOINTER data, SQLLEN length) {
  stmt_only(ZOLANDM_FN_SQLPutData, leaving, rc, stmt);
  _zolandm_tr_arg_pointer(data);
  _zolandm_tr_arg_len(length);
}

void trace_SQLParamOptions(int leaving, int rc, SQLHSTMT stmt, SQLULEN rows, SQLULEN* current) {
  auto f = _zolandm_tr_begin(ZOLANDM_FN_SQLParamOptions, leaving, rc);
  _zolandm_tr_arg_handle(3, stmt);
  _zolandm_tr_arg_ulen(rows);
  _zolandm_tr_arg_ulen_ptr(current, f.success);
}

void trace_SQLRowCount(int leaving, int rc, SQLHSTMT stmt, SQLLEN* count) {
  auto f = _zolandm_tr_begin(ZOLANDM_FN_SQLRowCount, leaving, rc);
  _zolandm_tr_arg_handle(3, stmt);
  _zolandm_tr_arg_len_ptr(count, f.success);
}

void trace_SQLSetPos(int leaving, int rc, SQLHSTMT stmt, SQLSETPOSIROW row, SQLUSMALLINT operation,
                     SQLUSMALLINT lock_type) {
  stmt_only(ZOLANDM_FN_SQLSetPos, leaving, rc, stmt);
  _zolandm_tr_arg_setpos_row(row);
  _zolandm_tr_name_setpos_operation(operation);
  _zolandm_tr_name_setpos_lock(lock_type);
}

void trace_SQLSetScrollOptions(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT concurrency, SQLLEN keyset,
                               SQLUSMALLINT rowset) {
  stmt_only(ZOLANDM_FN_SQLSetScrollOptions, leaving, rc, stmt);
  _zolandm_tr_name_scroll_concurrency(concurrency);
  _zolandm_tr_arg_integer(static_cast<SQLINTEGER>(keyset));
  _zolandm_tr_arg_usmallint(rowset);
}

// ---- the width pairs ----

#define ZOLANDM_TR_DEFINE_STMT(C, W)                                                                         \
  void trace_SQLPrepare##W(int leaving, int rc, SQLHSTMT stmt, C* text, SQLINTEGER length) {                 \
    statement_text_writer(ZOLANDM_FN_SQLPrepare##W, leaving, rc, stmt, text, length);                        \
  }                                                                                                          \
  void trace_SQLExecDirect##W(int leaving, int rc, SQLHSTMT stmt, C* text, SQLINTEGER length) {              \
    statement_text_writer(ZOLANDM_FN_SQLExecDirect##W, leaving, rc, stmt, text, length);                     \
  }                                                                                                          \
  void trace_SQLSetCursorName##W(int leaving, int rc, SQLHSTMT stmt, C* name, SQLSMALLINT length) {          \
    set_cursor_name_writer(leaving, rc, stmt, name, length);                                                 \
  }                                                                                                          \
  void trace_SQLGetCursorName##W(int leaving, int rc, SQLHSTMT stmt, C* name, SQLSMALLINT buf_len,           \
                                 SQLSMALLINT* name_len) {                                                    \
    get_cursor_name_writer(leaving, rc, stmt, name, buf_len, name_len);                                      \
  }                                                                                                          \
  void trace_SQLDescribeCol##W(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT column, C* name,             \
                               SQLSMALLINT name_max, SQLSMALLINT* name_len, SQLSMALLINT* type,               \
                               SQLULEN* size, SQLSMALLINT* digits, SQLSMALLINT* nullable) {                  \
    describe_col_writer(leaving, rc, stmt, column, name, name_max, name_len, type, size, digits, nullable);  \
  }                                                                                                          \
  void trace_SQLColAttribute##W(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field, \
                                SQLPOINTER char_attr, SQLSMALLINT buf_len, SQLSMALLINT* str_len,             \
                                SQLLEN* num_attr) {                                                          \
    col_attribute_writer<C>(leaving, rc, stmt, column, field, char_attr, buf_len, str_len, num_attr);        \
  }                                                                                                          \
  void trace_SQLColAttributes##W(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT column,                    \
                                 SQLUSMALLINT field, SQLPOINTER char_attr, SQLSMALLINT buf_len,              \
                                 SQLSMALLINT* str_len, SQLLEN* num_attr) {                                   \
    col_attributes_writer(ZOLANDM_FN_SQLColAttributes##W, leaving, rc, stmt, column, field, char_attr,       \
                          buf_len, str_len, num_attr);                                                       \
  }                                                                                                          \
  void trace_SQLGetTypeInfo##W(int leaving, int rc, SQLHSTMT stmt, SQLSMALLINT type) {                       \
    type_info_writer(ZOLANDM_FN_SQLGetTypeInfo##W, leaving, rc, stmt, type);                                 \
  }                                                                                                          \
  void trace_SQLGetStmtAttr##W(int leaving, int rc, SQLHSTMT stmt, SQLINTEGER attr, SQLPOINTER value,        \
                               SQLINTEGER buf_len, SQLINTEGER* str_len) {                                    \
    get_stmt_attr_writer(ZOLANDM_FN_SQLGetStmtAttr##W, leaving, rc, stmt, attr, value, buf_len, str_len);    \
  }                                                                                                          \
  void trace_SQLSetStmtAttr##W(int leaving, int rc, SQLHSTMT stmt, SQLINTEGER attr, SQLPOINTER value,        \
                               SQLINTEGER length) {                                                          \
    set_stmt_attr_writer(ZOLANDM_FN_SQLSetStmtAttr##W, leaving, rc, stmt, attr, value, length);              \
  }                                                                                                          \
  void trace_SQLColumnPrivileges##W(int leaving, int rc, SQLHSTMT stmt, C* a, SQLSMALLINT al, C* b,          \
                                    SQLSMALLINT bl, C* c, SQLSMALLINT cl, C* d, SQLSMALLINT dl) {            \
    catalog_writer<C>(ZOLANDM_FN_SQLColumnPrivileges, ZOLANDM_FN_SQLColumnPrivilegesW, leaving, rc, stmt, a, \
                      al, b, bl, c, cl, d, dl);                                                              \
  }                                                                                                          \
  void trace_SQLColumns##W(int leaving, int rc, SQLHSTMT stmt, C* a, SQLSMALLINT al, C* b, SQLSMALLINT bl,   \
                           C* c, SQLSMALLINT cl, C* d, SQLSMALLINT dl) {                                     \
    catalog_writer<C>(ZOLANDM_FN_SQLColumns, ZOLANDM_FN_SQLColumnsW, leaving, rc, stmt, a, al, b, bl, c, cl, \
                      d, dl);                                                                                \
  }                                                                                                          \
  void trace_SQLProcedureColumns##W(int leaving, int rc, SQLHSTMT stmt, C* a, SQLSMALLINT al, C* b,          \
                                    SQLSMALLINT bl, C* c, SQLSMALLINT cl, C* d, SQLSMALLINT dl) {            \
    catalog_writer<C>(ZOLANDM_FN_SQLProcedureColumns, ZOLANDM_FN_SQLProcedureColumnsW, leaving, rc, stmt, a, \
                      al, b, bl, c, cl, d, dl);                                                              \
  }                                                                                                          \
  void trace_SQLTables##W(int leaving, int rc, SQLHSTMT stmt, C* a, SQLSMALLINT al, C* b, SQLSMALLINT bl,    \
                          C* c, SQLSMALLINT cl, C* d, SQLSMALLINT dl) {                                      \
    catalog_writer<C>(ZOLANDM_FN_SQLTables, ZOLANDM_FN_SQLTablesW, leaving, rc, stmt, a, al, b, bl, c, cl,   \
                      d, dl);                                                                                \
  }                                                                                                          \
  void trace_SQLPrimaryKeys##W(int leaving, int rc, SQLHSTMT stmt, C* a, SQLSMALLINT al, C* b,               \
                               SQLSMALLINT bl, C* c, SQLSMALLINT cl) {                                       \
    catalog_writer<C>(ZOLANDM_FN_SQLPrimaryKeys, ZOLANDM_FN_SQLPrimaryKeysW, leaving, rc, stmt, a, al, b,    \
                      bl, c, cl);                                                                            \
  }                                                                                                          \
  void trace_SQLProcedures##W(int leaving, int rc, SQLHSTMT stmt, C* a, SQLSMALLINT al, C* b,                \
                              SQLSMALLINT bl, C* c, SQLSMALLINT cl) {                                        \
    catalog_writer<C>(ZOLANDM_FN_SQLProcedures, ZOLANDM_FN_SQLProceduresW, leaving, rc, stmt, a, al, b, bl,  \
                      c, cl);                                                                                \
  }                                                                                                          \
  void trace_SQLTablePrivileges##W(int leaving, int rc, SQLHSTMT stmt, C* a, SQLSMALLINT al, C* b,           \
                                   SQLSMALLINT bl, C* c, SQLSMALLINT cl) {                                   \
    catalog_writer<C>(ZOLANDM_FN_SQLTablePrivileges, ZOLANDM_FN_SQLTablePrivilegesW, leaving, rc, stmt, a,   \
                      al, b, bl, c, cl);                                                                     \
  }                                                                                                          \
  void trace_SQLForeignKeys##W(int leaving, int rc, SQLHSTMT stmt, C* a, SQLSMALLINT al, C* b,               \
                               SQLSMALLINT bl, C* c, SQLSMALLINT cl, C* d, SQLSMALLINT dl, C* e,             \
                               SQLSMALLINT el, C* f, SQLSMALLINT fl) {                                       \
    catalog_writer<C>(ZOLANDM_FN_SQLForeignKeys, ZOLANDM_FN_SQLForeignKeysW, leaving, rc, stmt, a, al, b,    \
                      bl, c, cl, d, dl, e, el, f, fl);                                                       \
  }                                                                                                          \
  void trace_SQLSpecialColumns##W(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT type, C* a,               \
                                  SQLSMALLINT al, C* b, SQLSMALLINT bl, C* c, SQLSMALLINT cl,                \
                                  SQLUSMALLINT scope, SQLUSMALLINT nullable) {                               \
    auto fl = _zolandm_tr_begin(ZOLANDM_FN_SQLSpecialColumns##W, leaving, rc);                               \
    _zolandm_tr_arg_handle(3, stmt);                                                                         \
    _zolandm_tr_name_specialcolumns_type(type);                                                              \
    names<C>(fl.entry, a, al, b, bl, c, cl);                                                                 \
    _zolandm_tr_name_specialcolumns_scope(scope);                                                            \
    _zolandm_tr_name_specialcolumns_nullable(nullable);                                                      \
  }                                                                                                          \
  void trace_SQLStatistics##W(int leaving, int rc, SQLHSTMT stmt, C* a, SQLSMALLINT al, C* b,                \
                              SQLSMALLINT bl, C* c, SQLSMALLINT cl, SQLUSMALLINT unique,                     \
                              SQLUSMALLINT accuracy) {                                                       \
    auto fl = _zolandm_tr_begin(ZOLANDM_FN_SQLStatistics##W, leaving, rc);                                   \
    _zolandm_tr_arg_handle(3, stmt);                                                                         \
    names<C>(fl.entry, a, al, b, bl, c, cl);                                                                 \
    _zolandm_tr_name_statistics_unique(unique);                                                              \
    _zolandm_tr_name_statistics_accuracy(accuracy);                                                          \
  }
ZOLANDM_TR_WIDTHS(ZOLANDM_TR_DEFINE_STMT)
