// Argument printers of the trace file: the line shapes of values, output pointers, handles,
// lengths and strings, the numeric code decoders, data buffers by C type, the SQLGetFunctions
// result and the masking of passwords in connection strings.

#include "dmtrace/printers.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "dmtrace/trace.h"
#include "dmtrace/value_names.h"
#include "odbcconfig/conversions.h"

const char* const _zolandm_tr_handle_labels[6] = {"SQLHANDLE", "SQLHENV", "SQLHDBC",
                                                  "SQLHSTMT",  "SQLDESC", "SQLSENV"};

const char* _zolandm_tr_handle_label(int kind) {
  // A handle type the call has not checked yet may be anything.
  if (kind < 0 || kind > 5) return _zolandm_tr_handle_labels[0];
  return _zolandm_tr_handle_labels[kind];
}

namespace {

void value_line(const char* label, long v) { _zolandm_trace_printf("\t\t%-15.15s   %ld\n", label, v); }
void uvalue_line(const char* label, unsigned long v) {
  _zolandm_trace_printf("\t\t%-15.15s   %lu\n", label, v);
}
void null_out_line(const char* label) { _zolandm_trace_printf("\t\t%-15.15s * 0x0\n", label); }
void ptr_out_line(const char* label, const void* p) {
  _zolandm_trace_printf("\t\t%-15.15s * %p\n", label, p);
}
void named_line(const char* label, long v, const char* name) {
  _zolandm_trace_printf("\t\t%-15.15s   %ld (%s)\n", label, v, name);
}
void named_out_line(const char* label, const void* p, const char* name) {
  _zolandm_trace_printf("\t\t%-15.15s * %p (%s)\n", label, p, name);
}

// The three shapes of an output pointer whose value prints as a number.
template <typename T>
void out_ptr(const char* label, const T* p, int out) {
  if (p == nullptr) {
    null_out_line(label);
  } else if (!out) {
    ptr_out_line(label, p);
  } else if constexpr (static_cast<T>(-1) < 0) {
    _zolandm_trace_printf("\t\t%-15.15s * %p (%ld)\n", label, static_cast<const void*>(p),
                          static_cast<long>(*p));
  } else {
    _zolandm_trace_printf("\t\t%-15.15s * %p (%lu)\n", label, static_cast<const void*>(p),
                          static_cast<unsigned long>(*p));
  }
}

void decode(const char* label, long v, const zolandm_tr_names& names, const char* fallback) {
  const char* name = _zolandm_tr_lookup(names, v);
  named_line(label, v, name != nullptr ? name : fallback);
}

const char* name_or(const zolandm_tr_names& names, long v, const char* fallback) {
  const char* name = _zolandm_tr_lookup(names, v);
  return name != nullptr ? name : fallback;
}

void dump_row(const char* text) { _zolandm_trace_dump_text(text, SQL_NTS, 0); }

// The length a string printer dumps: the returned length (bounded by the buffer it was
// returned in) or the length argument, as a 16-bit signed number.
template <typename L>
long string_length(long length, const L* length_ptr) {
  if (length_ptr == nullptr) return static_cast<SQLSMALLINT>(length);
  long n = static_cast<SQLSMALLINT>(*length_ptr);
  long buffer = static_cast<SQLSMALLINT>(length);
  if (buffer >= 0 && n > buffer) n = buffer;
  return n;
}

void dump_narrow(const SQLCHAR* text, long n) {
  const char* s = reinterpret_cast<const char*>(text);
  if (n == SQL_NTS) n = static_cast<long>(std::strlen(s));
  if (s[0] == '\0' || n == 0) {
    dump_row("(empty string)");
    return;
  }
  if (n < 0) return;
  _zolandm_trace_dump_text(s, n, 0);
}

void dump_wide(const SQLWCHAR* text, long n) {
  if (n == SQL_NTS) n = static_cast<long>(std::wcslen(text));
  if (text[0] == L'\0' || n == 0) {
    dump_row("(empty string)");
    return;
  }
  if (n < 0) return;
  char* mb = _zolandm_wcs_to_mbs_dup(text, n);
  if (mb == nullptr) return;
  _zolandm_trace_dump_text(mb, SQL_NTS, 1);
  std::free(mb);
}

}  // namespace

// ---- scalars and pointers ----

void _zolandm_tr_arg_smallint(SQLSMALLINT v) { value_line("SQLSMALLINT", v); }
void _zolandm_tr_arg_usmallint(SQLUSMALLINT v) { uvalue_line("SQLUSMALLINT", v); }
void _zolandm_tr_arg_integer(SQLINTEGER v) { value_line("SQLINTEGER", v); }
void _zolandm_tr_arg_uinteger(SQLUINTEGER v) { uvalue_line("SQLUINTEGER", v); }
void _zolandm_tr_arg_len(SQLLEN v) { value_line("SQLLEN", v); }
void _zolandm_tr_arg_ulen(SQLULEN v) { uvalue_line("SQLULEN", v); }
void _zolandm_tr_arg_setpos_row(SQLSETPOSIROW row) {
  value_line("SQLSETPOSIROW", static_cast<SQLUSMALLINT>(row));
}

void _zolandm_tr_arg_pointer(const void* p) {
  if (p == nullptr) {
    _zolandm_trace_printf("\t\t%-15.15s   0x0\n", "SQLPOINTER");
  } else {
    _zolandm_trace_printf("\t\t%-15.15s   %p\n", "SQLPOINTER", p);
  }
}

void _zolandm_tr_arg_smallint_ptr(const SQLSMALLINT* p, int out) { out_ptr("SQLSMALLINT", p, out); }
void _zolandm_tr_arg_usmallint_ptr(const SQLUSMALLINT* p, int out) { out_ptr("SQLUSMALLINT", p, out); }
void _zolandm_tr_arg_integer_ptr(const SQLINTEGER* p, int out) { out_ptr("SQLINTEGER", p, out); }
void _zolandm_tr_arg_uinteger_ptr(const SQLUINTEGER* p, int out) { out_ptr("SQLUINTEGER", p, out); }
void _zolandm_tr_arg_len_ptr(const SQLLEN* p, int out) { out_ptr("SQLLEN", p, out); }
void _zolandm_tr_arg_ulen_ptr(const SQLULEN* p, int out) { out_ptr("SQLULEN", p, out); }

// ---- handles ----

void _zolandm_tr_arg_handle(int kind, const void* handle) {
  const char* label = _zolandm_tr_handle_label(kind);
  if (handle == nullptr) {
    _zolandm_trace_printf("\t\t%-15.15s   0x0 (%s)\n", label, "SQL_NULL_HANDLE");
  } else {
    _zolandm_trace_printf("\t\t%-15.15s   %p\n", label, handle);
  }
}

void _zolandm_tr_arg_handle_out(int kind, const SQLHANDLE* out_handle, int out) {
  const char* label = _zolandm_tr_handle_label(kind);
  if (out_handle == nullptr) {
    _zolandm_trace_printf("\t\t%-15.15s * 0x0 (%s)\n", label, "SQL_NULL_HANDLE");
  } else if (out) {
    _zolandm_trace_printf("\t\t%-15.15s * %p (%p)\n", label, static_cast<const void*>(out_handle),
                          *out_handle);
  } else {
    ptr_out_line(label, out_handle);
  }
}

void _zolandm_tr_arg_handle_type(SQLSMALLINT type) {
  static const char* const names[] = {"SQL_HANDLE_ENV", "SQL_HANDLE_DBC", "SQL_HANDLE_STMT",
                                      "SQL_HANDLE_DESC", "SQL_HANDLE_SENV"};
  named_line("SQLSMALLINT", type, type >= 1 && type <= 5 ? names[type - 1] : "invalid handle type");
}

// ---- lengths ----

void _zolandm_tr_arg_length(const char* label, long length) {
  if (length == SQL_NTS) {
    _zolandm_trace_printf("\t\t%-15.15s   %ld (SQL_NTS)\n", label, length);
  } else {
    value_line(label, length);
  }
}

void _zolandm_tr_arg_attr_length(SQLINTEGER length) {
  static const char* const names[] = {"SQL_IS_SMALLINT", "SQL_IS_USMALLINT", "SQL_IS_INTEGER",
                                      "SQL_IS_UINTEGER", "SQL_IS_POINTER",   "SQL_NTS"};
  long v = length;
  if (v >= -8 && v <= -3) {
    _zolandm_trace_printf("\t\t%-15.15s * %ld (%s)\n", "SQLINTEGER", v, names[v + 8]);
  } else if (v <= SQL_LEN_BINARY_ATTR_OFFSET) {
    char name[64];
    std::snprintf(name, sizeof name, "SQL_LEN_BINARY_ATTR(%ld)", SQL_LEN_BINARY_ATTR_OFFSET - v);
    _zolandm_trace_printf("\t\t%-15.15s * %ld (%s)\n", "SQLINTEGER", v, name);
  } else {
    _zolandm_trace_printf("\t\t%-15.15s * %ld\n", "SQLINTEGER", v);
  }
}

// ---- strings ----

void _zolandm_tr_arg_string(const SQLCHAR* text, long length, const SQLSMALLINT* length_ptr, int dump) {
  if (text == nullptr) {
    null_out_line("SQLCHAR");
    return;
  }
  ptr_out_line("SQLCHAR", text);
  if (dump) dump_narrow(text, string_length(length, length_ptr));
}

void _zolandm_tr_arg_wstring(const SQLWCHAR* text, long length, const SQLSMALLINT* length_ptr, int dump) {
  if (text == nullptr) {
    null_out_line("SQLWCHAR");
    return;
  }
  ptr_out_line("SQLWCHAR", text);
  if (dump) dump_wide(text, string_length(length, length_ptr));
}

void _zolandm_tr_arg_string32(const SQLCHAR* text, long length, const SQLINTEGER* length_ptr, int dump) {
  if (text == nullptr) {
    null_out_line("SQLCHAR");
    return;
  }
  ptr_out_line("SQLCHAR", text);
  if (dump) dump_narrow(text, string_length(length, length_ptr));
}

void _zolandm_tr_arg_wstring32(const SQLWCHAR* text, long length, const SQLINTEGER* length_ptr, int dump) {
  if (text == nullptr) {
    null_out_line("SQLWCHAR");
    return;
  }
  ptr_out_line("SQLWCHAR", text);
  if (dump) dump_wide(text, string_length(length, length_ptr));
}

// ---- code decoders ----

const char* _zolandm_tr_sql_type_name(long type) { return _zolandm_tr_lookup(_zolandm_tr_sql_types, type); }

void _zolandm_tr_name_colattributes_field(SQLUSMALLINT v) {
  decode("SQLUSMALLINT", v, _zolandm_tr_colattributes_fields, "unknown option");
}
void _zolandm_tr_name_colattribute_field(SQLUSMALLINT v) {
  decode("SQLUSMALLINT", v, _zolandm_tr_colattribute_fields, "unknown option");
}
void _zolandm_tr_name_desc_field(SQLSMALLINT v) {
  decode("SQLUSMALLINT", v, _zolandm_tr_desc_fields, "unknown field identifier");
}
void _zolandm_tr_name_datasource_direction(SQLUSMALLINT v) {
  decode("SQLUSMALLINT", v, _zolandm_tr_datasource_directions, "unknown direction");
}
void _zolandm_tr_name_fetch_orientation(SQLUSMALLINT v) {
  decode("SQLUSMALLINT", v, _zolandm_tr_fetch_orientations, "unknown fetch type");
}
void _zolandm_tr_name_freestmt_option(SQLUSMALLINT v) {
  decode("SQLUSMALLINT", v, _zolandm_tr_freestmt_options, "invalid option");
}
void _zolandm_tr_name_connect_attr(SQLINTEGER v) {
  decode("SQLINTEGER", v, _zolandm_tr_connect_attrs, "unknown connection attribute");
}
void _zolandm_tr_name_connect_option(SQLUSMALLINT v) {
  decode("SQLUSMALLINT", v, _zolandm_tr_connect_options, "unknown connection attribute");
}
void _zolandm_tr_name_stmt_attr(SQLINTEGER v) {
  decode("SQLINTEGER", v, _zolandm_tr_stmt_attrs, "unknown statement attribute");
}
void _zolandm_tr_name_stmt_option(SQLUSMALLINT v) {
  decode("SQLUSMALLINT", v, _zolandm_tr_stmt_options, "unknown statement option");
}
void _zolandm_tr_name_env_attr(SQLINTEGER v) {
  decode("SQLINTEGER", v, _zolandm_tr_env_attrs, "unknown environment attribute");
}
void _zolandm_tr_name_diag_field(SQLSMALLINT v) {
  decode("SQLUSMALLINT", v, _zolandm_tr_diag_fields, "unknown diag identifier");
}
void _zolandm_tr_name_typeinfo_type(SQLSMALLINT v) {
  decode("SQLSMALLINT", v, _zolandm_tr_typeinfo_types, "unknown type");
}
void _zolandm_tr_name_sql_type(SQLSMALLINT v) {
  decode("SQLSMALLINT", v, _zolandm_tr_sql_types, "unknown SQL type");
}
void _zolandm_tr_name_c_type(SQLSMALLINT v) {
  decode("SQLSMALLINT", v, _zolandm_tr_c_types, "unknown C type");
}
void _zolandm_tr_name_param_io_type(SQLSMALLINT v) {
  decode("SQLSMALLINT", v, _zolandm_tr_param_io_types, "unknown Input/Output type");
}
void _zolandm_tr_name_setpos_operation(SQLUSMALLINT v) {
  decode("SQLUSMALLINT", v, _zolandm_tr_setpos_operations, "unknown operation");
}
void _zolandm_tr_name_setpos_lock(SQLUSMALLINT v) {
  decode("SQLUSMALLINT", v, _zolandm_tr_setpos_locks, "unknown lock type");
}
void _zolandm_tr_name_scroll_concurrency(SQLUSMALLINT v) {
  decode("SQLUSMALLINT", v, _zolandm_tr_scroll_concurrencies, "unknown scroll option");
}
void _zolandm_tr_name_specialcolumns_type(SQLUSMALLINT v) {
  decode("SQLUSMALLINT", v, _zolandm_tr_specialcolumns_types, "unknown column type");
}
void _zolandm_tr_name_specialcolumns_scope(SQLUSMALLINT v) {
  decode("SQLUSMALLINT", v, _zolandm_tr_specialcolumns_scopes, "unknown scope");
}
void _zolandm_tr_name_specialcolumns_nullable(SQLUSMALLINT v) {
  decode("SQLUSMALLINT", v, _zolandm_tr_specialcolumns_nullables, "unknown option");
}
void _zolandm_tr_name_statistics_unique(SQLUSMALLINT v) {
  decode("SQLUSMALLINT", v, _zolandm_tr_statistics_uniques, "unknown option");
}
void _zolandm_tr_name_statistics_accuracy(SQLUSMALLINT v) {
  decode("SQLUSMALLINT", v, _zolandm_tr_statistics_accuracies, "unknown option");
}
void _zolandm_tr_name_completion_type(SQLSMALLINT v) {
  decode("SQLSMALLINT", v, _zolandm_tr_completion_types, "invalid completion type");
}
void _zolandm_tr_name_driver_completion(SQLUSMALLINT v) {
  decode("SQLUSMALLINT", v, _zolandm_tr_driver_completions, "invalid completion value");
}
void _zolandm_tr_name_function_id(SQLUSMALLINT v) {
  decode("SQLUSMALLINT", v, _zolandm_tr_function_ids, "unknown function");
}

// ---- output values decoded ----

void _zolandm_tr_arg_sql_type_ptr(const SQLSMALLINT* p, int out) {
  if (p == nullptr) return null_out_line("SQLSMALLINT");
  if (!out) return ptr_out_line("SQLSMALLINT", p);
  named_out_line("SQLSMALLINT", p, name_or(_zolandm_tr_sql_types, *p, "unknown SQL type"));
}

void _zolandm_tr_arg_nullable_ptr(const SQLSMALLINT* p, int out) {
  if (p == nullptr) return null_out_line("SQLSMALLINT");
  if (!out) return ptr_out_line("SQLSMALLINT", p);
  named_out_line("SQLSMALLINT", p, name_or(_zolandm_tr_nullables, *p, "unknown nullable type"));
}

void _zolandm_tr_arg_interval_code_ptr(const SQLSMALLINT* type, const SQLSMALLINT* code, int out) {
  if (type == nullptr || code == nullptr) return null_out_line("SQLSMALLINT");
  if (!out) return ptr_out_line("SQLSMALLINT", code);
  const char* name = nullptr;
  if (*type == SQL_DATETIME) name = _zolandm_tr_lookup(_zolandm_tr_datetime_codes, *code);
  if (*type == SQL_INTERVAL) name = _zolandm_tr_lookup(_zolandm_tr_interval_codes, *code);
  if (name != nullptr) {
    named_out_line("SQLSMALLINT", code, name);
  } else {
    _zolandm_trace_printf("\t\t%-15.15s * %p (%d)\n", "SQLSMALLINT", static_cast<const void*>(code), *code);
  }
}

// ---- data values ----

namespace {

// The text of a fixed-size C type, or false for a type shown by pointer only.
bool format_value(SQLSMALLINT c_type, const void* data, char* buf, size_t size) {
  const auto* b = static_cast<const unsigned char*>(data);
  switch (c_type) {
    case SQL_C_LONG:
    case SQL_C_SLONG: {
      SQLINTEGER v;
      std::memcpy(&v, b, sizeof v);
      std::snprintf(buf, size, "%ld", static_cast<long>(v));
      return true;
    }
    case SQL_C_ULONG: {
      SQLUINTEGER v;
      std::memcpy(&v, b, sizeof v);
      std::snprintf(buf, size, "%lu", static_cast<unsigned long>(v));
      return true;
    }
    case SQL_C_SHORT:
    case SQL_C_SSHORT: {
      SQLSMALLINT v;
      std::memcpy(&v, b, sizeof v);
      std::snprintf(buf, size, "%d", v);
      return true;
    }
    case SQL_C_USHORT: {
      SQLUSMALLINT v;
      std::memcpy(&v, b, sizeof v);
      std::snprintf(buf, size, "%u", v);
      return true;
    }
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
      std::snprintf(buf, size, "%d", static_cast<signed char>(b[0]));
      return true;
    case SQL_C_UTINYINT:
      std::snprintf(buf, size, "%u", b[0]);
      return true;
    case SQL_C_BIT:
      std::snprintf(buf, size, "%d", static_cast<signed char>(b[0]) > 0 ? 1 : 0);
      return true;
    case SQL_C_SBIGINT: {
      long long v;
      std::memcpy(&v, b, sizeof v);
      std::snprintf(buf, size, "%lld", v);
      return true;
    }
    case SQL_C_UBIGINT: {
      unsigned long long v;
      std::memcpy(&v, b, sizeof v);
      std::snprintf(buf, size, "%llu", v);
      return true;
    }
    case SQL_C_FLOAT: {
      float v;
      std::memcpy(&v, b, sizeof v);
      std::snprintf(buf, size, "%f", static_cast<double>(v));
      return true;
    }
    case SQL_C_DOUBLE: {
      double v;
      std::memcpy(&v, b, sizeof v);
      std::snprintf(buf, size, "%f", v);
      return true;
    }
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE: {
      DATE_STRUCT d;
      std::memcpy(&d, b, sizeof d);
      std::snprintf(buf, size, "%04d-%02d-%02d", d.year, d.month, d.day);
      return true;
    }
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME: {
      TIME_STRUCT t;
      std::memcpy(&t, b, sizeof t);
      std::snprintf(buf, size, "%02d:%02d:%02d", t.hour, t.minute, t.second);
      return true;
    }
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP: {
      TIMESTAMP_STRUCT t;
      std::memcpy(&t, b, sizeof t);
      std::snprintf(buf, size, "%04d-%02d-%02d %02d:%02d:%02d.%06ld", t.year, t.month, t.day, t.hour,
                    t.minute, t.second, static_cast<long>(t.fraction));
      return true;
    }
    case SQL_C_GUID: {
      SQLGUID g;
      std::memcpy(&g, b, sizeof g);
      std::snprintf(buf, size, "%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                    static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                    g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
      return true;
    }
    default:
      break;
  }
  if (c_type < SQL_C_INTERVAL_YEAR || c_type > SQL_C_INTERVAL_MINUTE_TO_SECOND) return false;
  SQL_INTERVAL_STRUCT iv;
  std::memcpy(&iv, b, sizeof iv);
  auto u = [](SQLUINTEGER v) { return static_cast<unsigned long>(v); };
  const SQL_YEAR_MONTH_STRUCT& ym = iv.intval.year_month;
  const SQL_DAY_SECOND_STRUCT& ds = iv.intval.day_second;
  switch (c_type) {
    case SQL_C_INTERVAL_YEAR:
      std::snprintf(buf, size, "%lu years", u(ym.year));
      break;
    case SQL_C_INTERVAL_MONTH:
      std::snprintf(buf, size, "%lu months", u(ym.month));
      break;
    case SQL_C_INTERVAL_DAY:
      std::snprintf(buf, size, "%lu days", u(ds.day));
      break;
    case SQL_C_INTERVAL_HOUR:
      std::snprintf(buf, size, "%lu hours", u(ds.hour));
      break;
    case SQL_C_INTERVAL_MINUTE:
      std::snprintf(buf, size, "%lu minutes", u(ds.minute));
      break;
    case SQL_C_INTERVAL_SECOND:
      std::snprintf(buf, size, "%lu seconds", u(ds.second));
      break;
    case SQL_C_INTERVAL_YEAR_TO_MONTH:
      std::snprintf(buf, size, "%lu years %lu months", u(ym.year), u(ym.month));
      break;
    case SQL_C_INTERVAL_DAY_TO_HOUR:
      std::snprintf(buf, size, "%lu days %lu hours", u(ds.day), u(ds.hour));
      break;
    case SQL_C_INTERVAL_DAY_TO_MINUTE:
      std::snprintf(buf, size, "%lu days %lu hours %lu minutes", u(ds.day), u(ds.hour), u(ds.minute));
      break;
    case SQL_C_INTERVAL_DAY_TO_SECOND:
      std::snprintf(buf, size, "%lu days %lu hours %lu minutes %lu seconds", u(ds.day), u(ds.hour),
                    u(ds.minute), u(ds.second));
      break;
    case SQL_C_INTERVAL_HOUR_TO_MINUTE:
      std::snprintf(buf, size, "%lu hours %lu minutes", u(ds.hour), u(ds.minute));
      break;
    case SQL_C_INTERVAL_HOUR_TO_SECOND:
      std::snprintf(buf, size, "%lu hours %lu minutes %lu seconds", u(ds.hour), u(ds.minute), u(ds.second));
      break;
    default:
      std::snprintf(buf, size, "%lu minutes %lu seconds", u(ds.minute), u(ds.second));
      break;
  }
  return true;
}

}  // namespace

void _zolandm_tr_arg_data_value(SQLSMALLINT c_type, const void* data, SQLLEN buf_len, const SQLLEN* ind,
                                int out) {
  _zolandm_tr_arg_pointer(data);
  if (data == nullptr || !out) return;
  // Character and binary data: never more than the buffer holds, whatever the indicator says.
  SQLLEN n = buf_len;
  if (ind != nullptr && *ind < n) n = *ind;
  switch (c_type) {
    case SQL_C_CHAR:
      if (n > 0) _zolandm_trace_dump_text(static_cast<const char*>(data), n, 0);
      return;
    case SQL_C_WCHAR: {
      // Lengths of wide data count bytes.
      n /= static_cast<SQLLEN>(sizeof(SQLWCHAR));
      if (n <= 0) return;
      char* mb = _zolandm_wcs_to_mbs_dup(static_cast<const SQLWCHAR*>(data), n);
      if (mb == nullptr) return;
      _zolandm_trace_dump_text(mb, SQL_NTS, 1);
      std::free(mb);
      return;
    }
    case SQL_C_BINARY:
      if (n > 0) _zolandm_trace_dump_hex(data, n);
      return;
    default:
      break;
  }
  char text[160];
  if (format_value(c_type, data, text, sizeof text)) _zolandm_trace_dump_text(text, SQL_NTS, 0);
}

// ---- SQLGetFunctions result ----

void _zolandm_tr_arg_supported_functions(SQLUSMALLINT id, const SQLUSMALLINT* result, int flag) {
  auto pointer_line = [result] {
    if (result == nullptr) {
      null_out_line("SQLUSMALLINT");
    } else {
      ptr_out_line("SQLUSMALLINT", result);
    }
  };
  auto name_row = [](int fn) { dump_row(name_or(_zolandm_tr_odbc2_function_ids, fn, "unknown function")); };
  if (id == SQL_API_ALL_FUNCTIONS) {
    pointer_line();
    if (!flag || result == nullptr) return;
    for (int fn = 1; fn < 100; ++fn) {
      if (result[fn] != 0) name_row(fn);
    }
  } else if (id == SQL_API_ODBC3_ALL_FUNCTIONS) {
    if (!flag) return;
    pointer_line();
    if (result == nullptr) return;
    for (int fn = 1; fn < 999; ++fn) {
      if ((result[fn >> 4] >> (fn & 15)) & 1) name_row(fn);
    }
  } else {
    _zolandm_tr_arg_usmallint_ptr(result, flag);
  }
}

// ---- password masking ----

void _zolandm_tr_hide_password(char* text) {
  // 0 outside any key, 1-3 "P", "PW", "PWD" matched, 4 the value's start, 5 inside the
  // value, 6 inside a braced value, -1 inside a quoted or braced value of another key.
  int state = 0;
  for (char* p = text; *p != '\0'; ++p) {
    int c = std::toupper(static_cast<unsigned char>(*p));
    switch (state) {
      case 0:
        if (c == 'P') {
          state = 1;
        } else if (c == '\'' || c == '"' || c == '{') {
          state = -1;
        }
        break;
      case 1:
        state = c == 'W' ? 2 : 0;
        break;
      case 2:
        state = c == 'D' ? 3 : 0;
        break;
      case 3:
        // Blanks between the key and its '=' still make it the password key.
        if (c == '=') {
          state = 4;
        } else if (c != ' ' && c != '\t') {
          state = 0;
        }
        break;
      case 4:
        if (c == ';') {
          state = 0;
        } else if (c == '{') {
          state = 6;
        } else {
          *p = '*';
          if (c != ' ' && c != '\t') state = 5;
        }
        break;
      case 5:
        if (c == ';') {
          state = 0;
        } else {
          *p = '*';
        }
        break;
      case 6:
        // A braced value ends at its closing brace, whatever it holds; "}}" is a brace in it.
        if (c == '}' && p[1] == '}') {
          p[0] = p[1] = '*';
          ++p;
        } else if (c == '}') {
          state = 5;
        } else {
          *p = '*';
        }
        break;
      default:
        if (c == '\'' || c == '"' || c == '}') state = 0;
        break;
    }
  }
}
