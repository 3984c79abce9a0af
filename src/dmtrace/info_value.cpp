// The printer of SQLGetInfo values: the information type by name and, on a successful exit,
// the returned value by the type's form (text, number, enumeration, bit mask).

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "dmtrace/info_names.h"
#include "dmtrace/trace.h"
#include "dmtrace/trace_internal.h"
#include "odbcconfig/conversions.h"

namespace {

constexpr const char* pointer_label = "SQLPOINTER";

void pointer_line(SQLPOINTER value) {
  if (value == nullptr) {
    _zolandm_trace_printf("\t\t%-15.15s   0x0\n", pointer_label);
  } else {
    _zolandm_trace_printf("\t\t%-15.15s   %p\n", pointer_label, value);
  }
}

// The returned text, read no further than the caller's buffer: a driver that reports a
// length above the buffer (a cut value) or leaves the text unterminated is not followed.
// Narrow lengths count bytes; the wide call's lengths count bytes too, four to a character.
void dump_string(SQLPOINTER value, SQLSMALLINT buffer_length, const SQLSMALLINT* length_ptr, char width) {
  if (buffer_length <= 0) return;
  SQLLEN length = length_ptr != nullptr ? *length_ptr : SQL_NTS;
  if (length < 0 && length != SQL_NTS) return;
  if (width == 'W') {
    const auto* text = static_cast<const SQLWCHAR*>(value);
    size_t capacity = static_cast<size_t>(buffer_length) / sizeof(SQLWCHAR);
    size_t count =
        length == SQL_NTS ? wcsnlen(text, capacity) : static_cast<size_t>(length) / sizeof(SQLWCHAR);
    if (count > capacity) count = capacity;
    char* narrow = _zolandm_wcs_to_mbs_dup(text, static_cast<int64_t>(count));
    if (narrow == nullptr) return;
    _zolandm_trace_dump_text(narrow, SQL_NTS, 1);
    std::free(narrow);
    return;
  }
  const auto* text = static_cast<const char*>(value);
  size_t capacity = static_cast<size_t>(buffer_length);
  size_t count = length == SQL_NTS ? strnlen(text, capacity) : static_cast<size_t>(length);
  if (count > capacity) count = capacity;
  _zolandm_trace_dump_text(text, static_cast<SQLLEN>(count), 0);
}

void mask_rows(const zolandm_tr_name_list& names, unsigned long mask) {
  if (mask == 0) {
    _zolandm_trace_row(names.zero != nullptr ? names.zero : "UNKNOWN");
    return;
  }
  for (unsigned bit = 0; bit < 31; ++bit) {
    if ((mask & (1UL << bit)) == 0) continue;
    _zolandm_trace_row(bit < names.count ? names.names[bit] : "UNKNOWN");
  }
}

}  // namespace

extern "C" void _zolandm_tr_arg_info_value(SQLUSMALLINT info_type, SQLPOINTER value,
                                           SQLSMALLINT buffer_length, SQLSMALLINT* length_ptr, int output,
                                           char width) {
  const zolandm_tr_info_type* info = _zolandm_tr_info_type_find(info_type);
  _zolandm_trace_printf("\t\t%-15.15s   %d (%s)\n", "SQLUSMALLINT", info_type,
                        info != nullptr ? info->name : "unknown or driver specific");
  if (info == nullptr || info->form == ZOLANDM_TR_INFO_NONE || value == nullptr || !output) {
    pointer_line(value);
    return;
  }
  switch (info->form) {
    case ZOLANDM_TR_INFO_STRING:
      pointer_line(value);
      dump_string(value, buffer_length, length_ptr, width);
      break;
    case ZOLANDM_TR_INFO_SHORT:
      _zolandm_trace_printf("\t\t%-15.15s   %p (%ld)\n", pointer_label, value,
                            static_cast<long>(*static_cast<SQLSMALLINT*>(value)));
      break;
    case ZOLANDM_TR_INFO_LONG:
      _zolandm_trace_printf("\t\t%-15.15s   %p (%ld)\n", pointer_label, value,
                            static_cast<long>(*static_cast<SQLINTEGER*>(value)));
      break;
    case ZOLANDM_TR_INFO_ENUM: {
      long v = *static_cast<SQLSMALLINT*>(value);
      _zolandm_trace_printf("\t\t%-15.15s   %p (%ld)\n", pointer_label, value, v);
      const zolandm_tr_name_list& names = *info->values;
      _zolandm_trace_row(v >= 0 && static_cast<size_t>(v) < names.count ? names.names[v] : "UNKNOWN");
      break;
    }
    case ZOLANDM_TR_INFO_MASK: {
      unsigned long mask = *static_cast<SQLUINTEGER*>(value);
      _zolandm_trace_printf("\t\t%-15.15s   %p (0x%lX)\n", pointer_label, value, mask);
      mask_rows(*info->values, mask);
      break;
    }
    case ZOLANDM_TR_INFO_NONE:
      break;
  }
}
