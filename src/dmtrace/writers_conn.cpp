// Trace writers of the environment and connection calls: allocation and release, connect,
// driver and browse connect, data-source lists, information, options and attributes,
// transactions and diagnostics.

#include <cstdlib>
#include <cstring>

#include "dmtrace/writer_util.h"
#include "dmtrace/writers.h"
#include "odbcconfig/conversions.h"

namespace {

// A connection string as the driver-connect writers dump it: a private copy, its password
// value masked, at most `length` characters (SQL_NTS: up to the NUL) and never past a NUL.
void dump_conn_string(const SQLCHAR* text, long length) {
  if (length == SQL_NTS) length = static_cast<long>(std::strlen(reinterpret_cast<const char*>(text)));
  if (length < 0) return;
  size_t n = strnlen(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
  char* copy = static_cast<char*>(std::malloc(n + 1));
  if (copy == nullptr) return;
  std::memcpy(copy, text, n);
  copy[n] = '\0';
  _zolandm_tr_hide_password(copy);
  _zolandm_trace_dump_text(copy, static_cast<SQLLEN>(n), 0);
  std::free(copy);
}

void dump_conn_string(const SQLWCHAR* text, long length) {
  if (length < 0 && length != SQL_NTS) return;
  char* copy = _zolandm_wcs_to_mbs_dup(text, length);
  if (copy == nullptr) return;
  _zolandm_tr_hide_password(copy);
  _zolandm_trace_dump_text(copy, SQL_NTS, 1);
  std::free(copy);
}

template <typename C>
void conn_string_line(const C* text) {
  const char* label = zolandm_tr_wide<C> ? "SQLWCHAR" : "SQLCHAR";
  if (text == nullptr) {
    _zolandm_trace_printf("\t\t%-15.15s * 0x0\n", label);
  } else {
    _zolandm_trace_printf("\t\t%-15.15s * %p\n", label, static_cast<const void*>(text));
  }
}

// The input connection string: its pointer line, and on entry its masked text.
template <typename C>
void conn_string_in(const C* text, SQLSMALLINT length, int entry) {
  conn_string_line(text);
  if (entry && text != nullptr) dump_conn_string(text, length);
}

// The returned connection string: its pointer line, and on success its masked text, never
// longer than the buffer it was returned in.
template <typename C>
void conn_string_out(const C* text, SQLSMALLINT buf_len, const SQLSMALLINT* out_len, int success) {
  conn_string_line(text);
  if (!success || text == nullptr) return;
  long n = out_len != nullptr ? *out_len : buf_len;
  if (n > buf_len) n = buf_len;
  dump_conn_string(text, n);
}

template <typename C>
void connect_writer(int leaving, int rc, SQLHDBC dbc, C* dsn, SQLSMALLINT dsn_len, C* uid,
                    SQLSMALLINT uid_len, SQLSMALLINT pwd_len) {
  auto f = _zolandm_tr_begin(_zolandm_tr_id<C>(ZOLANDM_FN_SQLConnect, ZOLANDM_FN_SQLConnectW), leaving, rc);
  static const SQLCHAR narrow_mask[] = "****";
  static const SQLWCHAR wide_mask[] = L"****";
  _zolandm_tr_arg_handle(2, dbc);
  _zolandm_tr_name_arg(dsn, dsn_len, f.entry);
  _zolandm_tr_name_arg(uid, uid_len, f.entry);
  if constexpr (zolandm_tr_wide<C>) {
    _zolandm_tr_arg_wstring(wide_mask, SQL_NTS, nullptr, f.entry);
  } else {
    _zolandm_tr_arg_string(narrow_mask, SQL_NTS, nullptr, f.entry);
  }
  _zolandm_tr_arg_length("SQLSMALLINT", pwd_len);
}

template <typename C>
void driver_connect_writer(int leaving, int rc, SQLHDBC dbc, SQLHWND hwnd, C* in, SQLSMALLINT in_len, C* out,
                           SQLSMALLINT out_max, SQLSMALLINT* out_len, SQLUSMALLINT completion) {
  auto f = _zolandm_tr_begin(_zolandm_tr_id<C>(ZOLANDM_FN_SQLDriverConnect, ZOLANDM_FN_SQLDriverConnectW),
                             leaving, rc);
  _zolandm_tr_arg_handle(2, dbc);
  _zolandm_tr_arg_pointer(hwnd);
  conn_string_in(in, in_len, f.entry);
  _zolandm_tr_arg_length("SQLSMALLINT", in_len);
  conn_string_out(out, out_max, out_len, f.success);
  _zolandm_tr_arg_smallint(out_max);
  _zolandm_tr_arg_smallint_ptr(out_len, f.success);
  _zolandm_tr_name_driver_completion(completion);
}

// Browse connect strings carry passwords as well: they are masked like driver connect's.
template <typename C>
void browse_connect_writer(int leaving, int rc, SQLHDBC dbc, C* in, SQLSMALLINT in_len, C* out,
                           SQLSMALLINT out_max, SQLSMALLINT* out_len) {
  auto f = _zolandm_tr_begin(_zolandm_tr_id<C>(ZOLANDM_FN_SQLBrowseConnect, ZOLANDM_FN_SQLBrowseConnectW),
                             leaving, rc);
  _zolandm_tr_arg_handle(2, dbc);
  conn_string_in(in, in_len, f.entry);
  _zolandm_tr_arg_length("SQLSMALLINT", in_len);
  conn_string_out(out, out_max, out_len, f.success);
  _zolandm_tr_arg_smallint(out_max);
  _zolandm_tr_arg_smallint_ptr(out_len, f.success);
}

template <typename C>
void source_list_writer(int id, int leaving, int rc, SQLHENV env, SQLUSMALLINT direction, C* name,
                        SQLSMALLINT name_max, SQLSMALLINT* name_len, C* desc, SQLSMALLINT desc_max,
                        SQLSMALLINT* desc_len) {
  auto f = _zolandm_tr_begin(id, leaving, rc);
  _zolandm_tr_arg_handle(1, env);
  _zolandm_tr_name_datasource_direction(direction);
  _zolandm_tr_out_text(name, name_max, name_len, f.success);
  _zolandm_tr_out_text(desc, desc_max, desc_len, f.success);
}

template <typename C>
void native_sql_writer(int leaving, int rc, SQLHDBC dbc, C* in, SQLINTEGER in_len, C* out, SQLINTEGER out_max,
                       SQLINTEGER* out_len) {
  auto f =
      _zolandm_tr_begin(_zolandm_tr_id<C>(ZOLANDM_FN_SQLNativeSql, ZOLANDM_FN_SQLNativeSqlW), leaving, rc);
  _zolandm_tr_arg_handle(2, dbc);
  _zolandm_tr_text(in, in_len, static_cast<const SQLINTEGER*>(nullptr), f.entry);
  _zolandm_tr_arg_length("SQLINTEGER", in_len);
  // The returned length is read as 16 bits; a truncated text is bounded by its buffer.
  long n = 0;
  if (f.success && out_len != nullptr) n = static_cast<SQLSMALLINT>(*out_len);
  if (out_max >= 0 && n > out_max) n = out_max;
  _zolandm_tr_text(out, n, static_cast<const SQLINTEGER*>(nullptr), f.success);
  _zolandm_tr_arg_length("SQLINTEGER", out_max);
  _zolandm_tr_arg_integer_ptr(out_len, f.success);
}

// SQLError and SQLGetDiagRec after their handle arguments.
template <typename C>
void diag_record_tail(int success, C* state, SQLINTEGER* native, C* msg, SQLSMALLINT msg_max,
                      SQLSMALLINT* msg_len) {
  _zolandm_tr_text(state, SQL_NTS, static_cast<const SQLSMALLINT*>(nullptr), success);
  _zolandm_tr_arg_integer_ptr(native, success);
  _zolandm_tr_out_text(msg, msg_max, msg_len, success);
}

template <typename C>
void error_writer(int leaving, int rc, SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, C* state, SQLINTEGER* native,
                  C* msg, SQLSMALLINT msg_max, SQLSMALLINT* msg_len) {
  auto f = _zolandm_tr_begin(_zolandm_tr_id<C>(ZOLANDM_FN_SQLError, ZOLANDM_FN_SQLErrorW), leaving, rc);
  _zolandm_tr_arg_handle(1, env);
  _zolandm_tr_arg_handle(2, dbc);
  _zolandm_tr_arg_handle(3, stmt);
  diag_record_tail(f.success, state, native, msg, msg_max, msg_len);
}

template <typename C>
void diag_rec_writer(int leaving, int rc, SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT recno, C* state,
                     SQLINTEGER* native, C* msg, SQLSMALLINT msg_max, SQLSMALLINT* msg_len) {
  auto f =
      _zolandm_tr_begin(_zolandm_tr_id<C>(ZOLANDM_FN_SQLGetDiagRec, ZOLANDM_FN_SQLGetDiagRecW), leaving, rc);
  _zolandm_tr_arg_handle_type(type);
  _zolandm_tr_arg_handle(type, handle);
  _zolandm_tr_arg_smallint(recno);
  diag_record_tail(f.success, state, native, msg, msg_max, msg_len);
}

void diag_field_writer(int id, int leaving, int rc, SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT recno,
                       SQLSMALLINT field, SQLPOINTER value, SQLSMALLINT buf_len, SQLSMALLINT* str_len) {
  auto f = _zolandm_tr_begin(id, leaving, rc);
  _zolandm_tr_arg_handle_type(type);
  _zolandm_tr_arg_handle(type, handle);
  _zolandm_tr_arg_smallint(recno);
  _zolandm_tr_name_diag_field(field);
  _zolandm_tr_arg_pointer(value);
  _zolandm_tr_arg_attr_length(buf_len);
  _zolandm_tr_arg_smallint_ptr(str_len, f.success);
}

void get_info_writer(int id, char width, int leaving, int rc, SQLHDBC dbc, SQLUSMALLINT type,
                     SQLPOINTER value, SQLSMALLINT buf_len, SQLSMALLINT* str_len) {
  auto f = _zolandm_tr_begin(id, leaving, rc);
  _zolandm_tr_arg_handle(2, dbc);
  _zolandm_tr_arg_info_value(type, value, buf_len, str_len, f.success, width);
  _zolandm_tr_arg_smallint(buf_len);
  _zolandm_tr_arg_smallint_ptr(str_len, f.success);
}

void set_option_writer(int id, int leaving, int rc, SQLHDBC dbc, SQLUSMALLINT option, SQLULEN value) {
  _zolandm_tr_begin(id, leaving, rc);
  _zolandm_tr_arg_handle(2, dbc);
  _zolandm_tr_name_connect_option(option);
  _zolandm_tr_arg_ulen(value);
}

void get_option_writer(int id, int leaving, int rc, SQLHDBC dbc, SQLUSMALLINT option, SQLPOINTER value) {
  _zolandm_tr_begin(id, leaving, rc);
  _zolandm_tr_arg_handle(2, dbc);
  _zolandm_tr_name_connect_option(option);
  _zolandm_tr_arg_pointer(value);
}

void set_attr_writer(int id, int leaving, int rc, SQLHDBC dbc, SQLINTEGER attr, SQLPOINTER value,
                     SQLINTEGER length) {
  _zolandm_tr_attr_call(id, leaving, rc, 2, dbc, _zolandm_tr_name_connect_attr, attr, value, length);
}

void get_attr_writer(int id, int leaving, int rc, SQLHDBC dbc, SQLINTEGER attr, SQLPOINTER value,
                     SQLINTEGER buf_len, SQLINTEGER* str_len) {
  _zolandm_tr_attr_call(id, leaving, rc, 2, dbc, _zolandm_tr_name_connect_attr, attr, value, buf_len, true,
                        str_len);
}

void handle_only(int id, int kind, int leaving, int rc, const void* handle) {
  _zolandm_tr_begin(id, leaving, rc);
  _zolandm_tr_arg_handle(kind, handle);
}

}  // namespace

// ---- allocation and release ----

void trace_SQLAllocEnv(int leaving, int rc, SQLHENV* out) {
  auto f = _zolandm_tr_begin(ZOLANDM_FN_SQLAllocEnv, leaving, rc);
  _zolandm_tr_arg_handle_out(1, out, f.success);
}

void trace_SQLAllocConnect(int leaving, int rc, SQLHENV env, SQLHDBC* out) {
  auto f = _zolandm_tr_begin(ZOLANDM_FN_SQLAllocConnect, leaving, rc);
  _zolandm_tr_arg_handle(1, env);
  _zolandm_tr_arg_handle_out(2, out, f.success);
}

void trace_SQLAllocStmt(int leaving, int rc, SQLHDBC dbc, SQLHSTMT* out) {
  auto f = _zolandm_tr_begin(ZOLANDM_FN_SQLAllocStmt, leaving, rc);
  _zolandm_tr_arg_handle(2, dbc);
  _zolandm_tr_arg_handle_out(3, out, f.success);
}

void trace_SQLAllocHandle(int leaving, int rc, SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* out) {
  auto f = _zolandm_tr_begin(ZOLANDM_FN_SQLAllocHandle, leaving, rc);
  _zolandm_tr_arg_handle_type(type);
  _zolandm_tr_arg_handle(0, input);
  _zolandm_tr_arg_handle_out(0, out, f.success);
}

void trace_SQLFreeEnv(int leaving, int rc, SQLHENV env) {
  handle_only(ZOLANDM_FN_SQLFreeEnv, 1, leaving, rc, env);
}
void trace_SQLFreeConnect(int leaving, int rc, SQLHDBC dbc) {
  handle_only(ZOLANDM_FN_SQLFreeConnect, 2, leaving, rc, dbc);
}
void trace_SQLDisconnect(int leaving, int rc, SQLHDBC dbc) {
  handle_only(ZOLANDM_FN_SQLDisconnect, 2, leaving, rc, dbc);
}

void trace_SQLFreeHandle(int leaving, int rc, SQLSMALLINT type, SQLHANDLE handle) {
  _zolandm_tr_begin(ZOLANDM_FN_SQLFreeHandle, leaving, rc);
  _zolandm_tr_arg_handle_type(type);
  _zolandm_tr_arg_handle(type, handle);
}

void trace_SQLTransact(int leaving, int rc, SQLHENV env, SQLHDBC dbc, SQLUSMALLINT type) {
  _zolandm_tr_begin(ZOLANDM_FN_SQLTransact, leaving, rc);
  _zolandm_tr_arg_handle(1, env);
  _zolandm_tr_arg_handle(2, dbc);
  _zolandm_tr_name_completion_type(static_cast<SQLSMALLINT>(type));
}

void trace_SQLEndTran(int leaving, int rc, SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion) {
  _zolandm_tr_begin(ZOLANDM_FN_SQLEndTran, leaving, rc);
  _zolandm_tr_arg_handle_type(type);
  _zolandm_tr_arg_handle(type, handle);
  _zolandm_tr_name_completion_type(completion);
}

// ---- options and attributes ----

void trace_SQLSetConnectOption(int leaving, int rc, SQLHDBC dbc, SQLUSMALLINT option, SQLULEN value) {
  set_option_writer(ZOLANDM_FN_SQLSetConnectOption, leaving, rc, dbc, option, value);
}
void trace_SQLSetConnectOptionW(int leaving, int rc, SQLHDBC dbc, SQLUSMALLINT option, SQLULEN value) {
  set_option_writer(ZOLANDM_FN_SQLSetConnectOptionW, leaving, rc, dbc, option, value);
}
void trace_SQLGetConnectOption(int leaving, int rc, SQLHDBC dbc, SQLUSMALLINT option, SQLPOINTER value) {
  get_option_writer(ZOLANDM_FN_SQLGetConnectOption, leaving, rc, dbc, option, value);
}
void trace_SQLGetConnectOptionW(int leaving, int rc, SQLHDBC dbc, SQLUSMALLINT option, SQLPOINTER value) {
  get_option_writer(ZOLANDM_FN_SQLGetConnectOptionW, leaving, rc, dbc, option, value);
}
void trace_SQLSetConnectAttr(int leaving, int rc, SQLHDBC dbc, SQLINTEGER attr, SQLPOINTER value,
                             SQLINTEGER length) {
  set_attr_writer(ZOLANDM_FN_SQLSetConnectAttr, leaving, rc, dbc, attr, value, length);
}
void trace_SQLSetConnectAttrW(int leaving, int rc, SQLHDBC dbc, SQLINTEGER attr, SQLPOINTER value,
                              SQLINTEGER length) {
  set_attr_writer(ZOLANDM_FN_SQLSetConnectAttrW, leaving, rc, dbc, attr, value, length);
}
void trace_SQLGetConnectAttr(int leaving, int rc, SQLHDBC dbc, SQLINTEGER attr, SQLPOINTER value,
                             SQLINTEGER buf_len, SQLINTEGER* str_len) {
  get_attr_writer(ZOLANDM_FN_SQLGetConnectAttr, leaving, rc, dbc, attr, value, buf_len, str_len);
}
void trace_SQLGetConnectAttrW(int leaving, int rc, SQLHDBC dbc, SQLINTEGER attr, SQLPOINTER value,
                              SQLINTEGER buf_len, SQLINTEGER* str_len) {
  get_attr_writer(ZOLANDM_FN_SQLGetConnectAttrW, leaving, rc, dbc, attr, value, buf_len, str_len);
}

void trace_SQLSetEnvAttr(int leaving, int rc, SQLHENV env, SQLINTEGER attr, SQLPOINTER value,
                         SQLINTEGER length) {
  _zolandm_tr_attr_call(ZOLANDM_FN_SQLSetEnvAttr, leaving, rc, 1, env, _zolandm_tr_name_env_attr, attr, value,
                        length);
}

void trace_SQLGetEnvAttr(int leaving, int rc, SQLHENV env, SQLINTEGER attr, SQLPOINTER value,
                         SQLINTEGER buf_len, SQLINTEGER* str_len) {
  _zolandm_tr_attr_call(ZOLANDM_FN_SQLGetEnvAttr, leaving, rc, 1, env, _zolandm_tr_name_env_attr, attr, value,
                        buf_len, true, str_len);
}

void trace_SQLGetFunctions(int leaving, int rc, SQLHDBC dbc, SQLUSMALLINT id, SQLUSMALLINT* supported) {
  _zolandm_tr_begin(ZOLANDM_FN_SQLGetFunctions, leaving, rc);
  _zolandm_tr_arg_handle(2, dbc);
  _zolandm_tr_name_function_id(id);
  _zolandm_tr_arg_supported_functions(id, supported, leaving);
}

// ---- the width pairs ----

#define ZOLANDM_TR_DEFINE_CONN(C, W)                                                                         \
  void trace_SQLConnect##W(int leaving, int rc, SQLHDBC dbc, C* dsn, SQLSMALLINT dsn_len, C* uid,            \
                           SQLSMALLINT uid_len, C*, SQLSMALLINT pwd_len) {                                   \
    connect_writer(leaving, rc, dbc, dsn, dsn_len, uid, uid_len, pwd_len);                                   \
  }                                                                                                          \
  void trace_SQLDriverConnect##W(int leaving, int rc, SQLHDBC dbc, SQLHWND hwnd, C* in, SQLSMALLINT in_len,  \
                                 C* out, SQLSMALLINT out_max, SQLSMALLINT* out_len,                          \
                                 SQLUSMALLINT completion) {                                                  \
    driver_connect_writer(leaving, rc, dbc, hwnd, in, in_len, out, out_max, out_len, completion);            \
  }                                                                                                          \
  void trace_SQLBrowseConnect##W(int leaving, int rc, SQLHDBC dbc, C* in, SQLSMALLINT in_len, C* out,        \
                                 SQLSMALLINT out_max, SQLSMALLINT* out_len) {                                \
    browse_connect_writer(leaving, rc, dbc, in, in_len, out, out_max, out_len);                              \
  }                                                                                                          \
  void trace_SQLDataSources##W(int leaving, int rc, SQLHENV env, SQLUSMALLINT direction, C* name,            \
                               SQLSMALLINT name_max, SQLSMALLINT* name_len, C* desc, SQLSMALLINT desc_max,   \
                               SQLSMALLINT* desc_len) {                                                      \
    source_list_writer(ZOLANDM_FN_SQLDataSources##W, leaving, rc, env, direction, name, name_max, name_len,  \
                       desc, desc_max, desc_len);                                                            \
  }                                                                                                          \
  void trace_SQLDrivers##W(int leaving, int rc, SQLHENV env, SQLUSMALLINT direction, C* name,                \
                           SQLSMALLINT name_max, SQLSMALLINT* name_len, C* attrs, SQLSMALLINT attrs_max,     \
                           SQLSMALLINT* attrs_len) {                                                         \
    source_list_writer(ZOLANDM_FN_SQLDrivers##W, leaving, rc, env, direction, name, name_max, name_len,      \
                       attrs, attrs_max, attrs_len);                                                         \
  }                                                                                                          \
  void trace_SQLGetInfo##W(int leaving, int rc, SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value,            \
                           SQLSMALLINT buf_len, SQLSMALLINT* str_len) {                                      \
    get_info_writer(ZOLANDM_FN_SQLGetInfo##W, zolandm_tr_wide<C> ? 'W' : 'A', leaving, rc, dbc, type, value, \
                    buf_len, str_len);                                                                       \
  }                                                                                                          \
  void trace_SQLNativeSql##W(int leaving, int rc, SQLHDBC dbc, C* in, SQLINTEGER in_len, C* out,             \
                             SQLINTEGER out_max, SQLINTEGER* out_len) {                                      \
    native_sql_writer(leaving, rc, dbc, in, in_len, out, out_max, out_len);                                  \
  }                                                                                                          \
  void trace_SQLError##W(int leaving, int rc, SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, C* state,             \
                         SQLINTEGER* native, C* msg, SQLSMALLINT msg_max, SQLSMALLINT* msg_len) {            \
    error_writer(leaving, rc, env, dbc, stmt, state, native, msg, msg_max, msg_len);                         \
  }                                                                                                          \
  void trace_SQLGetDiagRec##W(int leaving, int rc, SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT recno,    \
                              C* state, SQLINTEGER* native, C* msg, SQLSMALLINT msg_max,                     \
                              SQLSMALLINT* msg_len) {                                                        \
    diag_rec_writer(leaving, rc, type, handle, recno, state, native, msg, msg_max, msg_len);                 \
  }                                                                                                          \
  void trace_SQLGetDiagField##W(int leaving, int rc, SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT recno,  \
                                SQLSMALLINT field, SQLPOINTER value, SQLSMALLINT buf_len,                    \
                                SQLSMALLINT* str_len) {                                                      \
    diag_field_writer(ZOLANDM_FN_SQLGetDiagField##W, leaving, rc, type, handle, recno, field, value,         \
                      buf_len, str_len);                                                                     \
  }
ZOLANDM_TR_WIDTHS(ZOLANDM_TR_DEFINE_CONN)
