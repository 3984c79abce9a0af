// Argument printers of the trace file: one or more lines per argument of a traced call,
// and the names written next to numeric codes. Output pointers are read only when the
// caller passes a non-zero output flag; nothing here ever writes through a pointer.
#pragma once

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstdint>

// Handle kinds 0-5 index the labels; any other kind prints the generic label.
extern const char* const _zolandm_tr_handle_labels[6];
const char* _zolandm_tr_handle_label(int kind);

// ---- scalars and pointers ----
void _zolandm_tr_arg_smallint(SQLSMALLINT v);
void _zolandm_tr_arg_usmallint(SQLUSMALLINT v);
void _zolandm_tr_arg_integer(SQLINTEGER v);
void _zolandm_tr_arg_uinteger(SQLUINTEGER v);
void _zolandm_tr_arg_len(SQLLEN v);
void _zolandm_tr_arg_ulen(SQLULEN v);
void _zolandm_tr_arg_setpos_row(SQLSETPOSIROW row);
void _zolandm_tr_arg_pointer(const void* p);
void _zolandm_tr_arg_smallint_ptr(const SQLSMALLINT* p, int out);
void _zolandm_tr_arg_usmallint_ptr(const SQLUSMALLINT* p, int out);
void _zolandm_tr_arg_integer_ptr(const SQLINTEGER* p, int out);
void _zolandm_tr_arg_uinteger_ptr(const SQLUINTEGER* p, int out);
void _zolandm_tr_arg_len_ptr(const SQLLEN* p, int out);
void _zolandm_tr_arg_ulen_ptr(const SQLULEN* p, int out);

// ---- handles ----
void _zolandm_tr_arg_handle(int kind, const void* handle);
void _zolandm_tr_arg_handle_out(int kind, const SQLHANDLE* out_handle, int out);
void _zolandm_tr_arg_handle_type(SQLSMALLINT type);

// ---- lengths ----
void _zolandm_tr_arg_length(const char* label, long length);
void _zolandm_tr_arg_attr_length(SQLINTEGER length);

// ---- strings ----
// The length is taken as 16-bit signed; a length pointer, when given, holds it instead.
// With a length pointer, `length` is the caller's buffer size (bytes narrow, characters
// wide) and bounds the dump when the returned length is larger (a truncated result).
void _zolandm_tr_arg_string(const SQLCHAR* text, long length, const SQLSMALLINT* length_ptr, int dump);
void _zolandm_tr_arg_wstring(const SQLWCHAR* text, long length, const SQLSMALLINT* length_ptr, int dump);
// The same with a 32-bit length pointer (statement texts of SQLNativeSql).
void _zolandm_tr_arg_string32(const SQLCHAR* text, long length, const SQLINTEGER* length_ptr, int dump);
void _zolandm_tr_arg_wstring32(const SQLWCHAR* text, long length, const SQLINTEGER* length_ptr, int dump);

// ---- code decoders: one named value line each ----
const char* _zolandm_tr_sql_type_name(long type);  // null when unnamed
void _zolandm_tr_name_colattributes_field(SQLUSMALLINT v);
void _zolandm_tr_name_colattribute_field(SQLUSMALLINT v);
void _zolandm_tr_name_desc_field(SQLSMALLINT v);
void _zolandm_tr_name_datasource_direction(SQLUSMALLINT v);
void _zolandm_tr_name_fetch_orientation(SQLUSMALLINT v);
void _zolandm_tr_name_freestmt_option(SQLUSMALLINT v);
void _zolandm_tr_name_connect_attr(SQLINTEGER v);
void _zolandm_tr_name_connect_option(SQLUSMALLINT v);
void _zolandm_tr_name_stmt_attr(SQLINTEGER v);
void _zolandm_tr_name_stmt_option(SQLUSMALLINT v);
void _zolandm_tr_name_env_attr(SQLINTEGER v);
void _zolandm_tr_name_diag_field(SQLSMALLINT v);
void _zolandm_tr_name_typeinfo_type(SQLSMALLINT v);
void _zolandm_tr_name_sql_type(SQLSMALLINT v);
void _zolandm_tr_name_c_type(SQLSMALLINT v);
void _zolandm_tr_name_param_io_type(SQLSMALLINT v);
void _zolandm_tr_name_setpos_operation(SQLUSMALLINT v);
void _zolandm_tr_name_setpos_lock(SQLUSMALLINT v);
void _zolandm_tr_name_scroll_concurrency(SQLUSMALLINT v);
void _zolandm_tr_name_specialcolumns_type(SQLUSMALLINT v);
void _zolandm_tr_name_specialcolumns_scope(SQLUSMALLINT v);
void _zolandm_tr_name_specialcolumns_nullable(SQLUSMALLINT v);
void _zolandm_tr_name_statistics_unique(SQLUSMALLINT v);
void _zolandm_tr_name_statistics_accuracy(SQLUSMALLINT v);
void _zolandm_tr_name_completion_type(SQLSMALLINT v);
void _zolandm_tr_name_driver_completion(SQLUSMALLINT v);
void _zolandm_tr_name_function_id(SQLUSMALLINT v);

// ---- output values decoded ----
void _zolandm_tr_arg_sql_type_ptr(const SQLSMALLINT* p, int out);
void _zolandm_tr_arg_nullable_ptr(const SQLSMALLINT* p, int out);
void _zolandm_tr_arg_interval_code_ptr(const SQLSMALLINT* type, const SQLSMALLINT* code, int out);

// A data buffer by its C type; buffer length and indicator count bytes, also for wide data.
void _zolandm_tr_arg_data_value(SQLSMALLINT c_type, const void* data, SQLLEN buf_len, const SQLLEN* ind,
                                int out);
void _zolandm_tr_arg_supported_functions(SQLUSMALLINT id, const SQLUSMALLINT* result, int flag);

// Replaces every character of a password value in a writable connection string by '*'.
void _zolandm_tr_hide_password(char* text);
