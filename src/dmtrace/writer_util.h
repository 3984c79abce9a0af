// Shared steps of the per-call trace writers: the record header with the success and entry
// flags, and the width-generic text printers the plain and wide writers are made from.
#pragma once

#include <type_traits>

#include "odbcconfig/function_ids.h"
#include "dmtrace/printers.h"
#include "dmtrace/trace.h"

struct zolandm_tr_flags {
  int success;  // exit record of a call that returned SQL_SUCCESS or SQL_SUCCESS_WITH_INFO
  int entry;    // entry record
};

inline zolandm_tr_flags _zolandm_tr_begin(int id, int leaving, int rc) {
  _zolandm_trace_call_line(id, leaving, rc);
  return {leaving == 1 && (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) ? 1 : 0, leaving == 0 ? 1 : 0};
}

template <typename C>
inline constexpr bool zolandm_tr_wide = std::is_same_v<C, SQLWCHAR>;

// The function id of a writer pair: plain or W.
template <typename C>
constexpr int _zolandm_tr_id(int plain, int wide) {
  return zolandm_tr_wide<C> ? wide : plain;
}

inline void _zolandm_tr_text(const SQLCHAR* t, long len, const SQLSMALLINT* lp, int dump) {
  _zolandm_tr_arg_string(t, len, lp, dump);
}
inline void _zolandm_tr_text(const SQLWCHAR* t, long len, const SQLSMALLINT* lp, int dump) {
  _zolandm_tr_arg_wstring(t, len, lp, dump);
}
inline void _zolandm_tr_text(const SQLCHAR* t, long len, const SQLINTEGER* lp, int dump) {
  _zolandm_tr_arg_string32(t, len, lp, dump);
}
inline void _zolandm_tr_text(const SQLWCHAR* t, long len, const SQLINTEGER* lp, int dump) {
  _zolandm_tr_arg_wstring32(t, len, lp, dump);
}

// A name argument of a catalog call: its text (dumped on entry) and its length.
template <typename C>
void _zolandm_tr_name_arg(const C* text, SQLSMALLINT length, int entry) {
  _zolandm_tr_text(text, length, static_cast<const SQLSMALLINT*>(nullptr), entry);
  _zolandm_tr_arg_length("SQLSMALLINT", length);
}

// An output text with its buffer length and length pointer lines.
template <typename C>
void _zolandm_tr_out_text(const C* text, SQLSMALLINT buf_len, const SQLSMALLINT* len_ptr, int success) {
  _zolandm_tr_text(text, buf_len, len_ptr, success);
  _zolandm_tr_arg_smallint(buf_len);
  _zolandm_tr_arg_smallint_ptr(len_ptr, success);
}

// The attribute calls of environments, connections and statements: the handle, the attribute
// by its decoder, the value pointer and the length; the get calls (with_str_len) add the
// returned length.
inline void _zolandm_tr_attr_call(int id, int leaving, int rc, int kind, const void* handle,
                                  void (*decode)(SQLINTEGER), SQLINTEGER attr, const void* value,
                                  SQLINTEGER length, bool with_str_len = false,
                                  const SQLINTEGER* str_len = nullptr) {
  auto f = _zolandm_tr_begin(id, leaving, rc);
  _zolandm_tr_arg_handle(kind, handle);
  decode(attr);
  _zolandm_tr_arg_pointer(value);
  _zolandm_tr_arg_attr_length(length);
  if (with_str_len) _zolandm_tr_arg_integer_ptr(str_len, f.success);
}
