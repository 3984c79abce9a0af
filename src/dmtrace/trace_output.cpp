// The output primitives of the trace, the record header of every call (with the rollover of
// a file grown past its limit) and the text and hex dumps.

#include <cctype>
#include <cstdarg>
#include <cstring>

#include <pthread.h>

#include "odbcconfig/function_ids.h"
#include "dmtrace/trace.h"
#include "dmtrace/trace_internal.h"

namespace {

constexpr int row_columns = 40;
constexpr SQLLEN text_dump_max = 40000;
constexpr SQLLEN hex_dump_max = 10000;
constexpr int hex_row_bytes = 10;
constexpr const char row_prefix[] = "\t\t\t\t  | ";
constexpr const char row_suffix[] = " |\n";

const char* return_code_name(int rc) {
  switch (rc) {
    case 0:
      return "SQL_SUCCESS";
    case 1:
      return "SQL_SUCCESS_WITH_INFO";
    case -1:
      return "SQL_ERROR";
    case -2:
      return "SQL_INVALID_HANDLE";
    case 2:
      return "SQL_STILL_EXECUTING";
    case 99:
      return "SQL_NEED_DATA";
    case 100:
      return "SQL_NO_DATA_FOUND";
    default:
      return "invalid retcode";
  }
}

// Bytes of the UTF-8 sequence a lead byte starts; 0 for a byte that starts none.
int utf8_sequence_length(unsigned char c) {
  if ((c & 0xE0) == 0xC0) return 2;
  if ((c & 0xF0) == 0xE0) return 3;
  if ((c & 0xF8) == 0xF0) return 4;
  if ((c & 0xFC) == 0xF8) return 5;
  if ((c & 0xFE) == 0xFC) return 6;
  return 0;
}

void roll_over() {
  _zolandm_trace_printf("\n*** TRACEFILE LIMIT REACHED ***\n");
  _zolandm_trace_stop();
  _zolandm_trace_set_filename(nullptr);
  _zolandm_trace_start();
  _zolandm_trace_printf("\n*** TRACEFILE CONTINUED ***\n\n");
}

}  // namespace

void _zolandm_trace_row(const char* text) { _zolandm_trace_printf("\t\t\t\t  | %-40.40s |\n", text); }

extern "C" {

void _zolandm_trace_printf(const char* format, ...) {
  if (_zolandm_trace_stream == nullptr) {
    _zolandm_trace_enabled.store(0, std::memory_order_relaxed);
    return;
  }
  va_list args;
  va_start(args, format);
  vfprintf(_zolandm_trace_stream, format, args);
  va_end(args);
}

void _zolandm_trace_putc(int c) {
  if (_zolandm_trace_stream == nullptr) {
    _zolandm_trace_enabled.store(0, std::memory_order_relaxed);
    return;
  }
  putc(c, _zolandm_trace_stream);
}

void _zolandm_trace_call_line(int function_id, int leaving, int rc) {
  if (_zolandm_trace_stream != nullptr && ftell(_zolandm_trace_stream) > _zolandm_trace_size_limit()) {
    roll_over();
    return;
  }
  struct timeval now;
  _zolandm_trace_now(&now);
  long seconds = static_cast<long>(now.tv_sec - _zolandm_trace_start_time.tv_sec);
  long micros = static_cast<long>(now.tv_usec - _zolandm_trace_start_time.tv_usec);
  if (micros < 0) {
    micros += 1000000;
    seconds -= 1;
  }
  _zolandm_trace_printf("\n[%06ld.%06ld]\n", seconds, micros);
  const char* app = _zolandm_trace_appname != nullptr ? _zolandm_trace_appname : "Application";
  const char* name = function_id >= 0 && function_id < ZOLANDM_FN_COUNT ? _zolandm_function_names[function_id]
                                                                        : _zolandm_function_names[0];
  unsigned long thread = static_cast<unsigned long>(pthread_self());
  if (leaving == 1) {
    _zolandm_trace_printf("%-15.15s %08lX EXIT  %s with return code %d (%s)\n", app, thread, name, rc,
                          return_code_name(rc));
  } else {
    _zolandm_trace_printf("%-15.15s %08lX ENTER %s\n", app, thread, name);
  }
}

void _zolandm_trace_dump_text(const char* text, SQLLEN length, int utf8) {
  if (text == nullptr) return;
  if (length == SQL_NTS) {
    length = static_cast<SQLLEN>(std::strlen(text));
  } else if (length <= 0) {
    return;
  }
  bool truncated = length > text_dump_max;
  if (truncated) length = text_dump_max;

  // One row at a time: the frame, up to 40 columns of up to 6 bytes each, the closing bar.
  char row[sizeof row_prefix + row_columns * 6 + sizeof row_suffix];
  size_t used = 0;
  int columns = 0;
  SQLLEN i = 0;
  while (i < length && text[i] != '\0') {
    if (columns == 0) {
      std::memcpy(row, row_prefix, sizeof row_prefix - 1);
      used = sizeof row_prefix - 1;
    }
    auto c = static_cast<unsigned char>(text[i]);
    int sequence = utf8 && c >= 0x80 ? utf8_sequence_length(c) : 1;
    if (sequence == 0) {
      // A stray continuation byte, 0xFE or 0xFF: one '#', with the continuation bytes after it.
      row[used++] = '#';
      for (++i; i < length && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80; ++i) {
      }
    } else {
      // A sequence cut short by the text's end or its NUL keeps only the bytes up to there.
      for (int k = 0; k < sequence && i < length && (k == 0 || text[i] != '\0'); ++k) row[used++] = text[i++];
    }
    if (++columns == row_columns) {
      std::memcpy(row + used, row_suffix, sizeof row_suffix);
      _zolandm_trace_printf("%s", row);
      columns = 0;
    }
  }
  if (columns > 0) {
    for (; columns < row_columns; ++columns) row[used++] = ' ';
    std::memcpy(row + used, row_suffix, sizeof row_suffix);
    _zolandm_trace_printf("%s", row);
  }
  if (truncated) _zolandm_trace_row("(truncated)");
}

void _zolandm_trace_dump_hex(const void* data, SQLLEN length) {
  if (data == nullptr || length <= 0) return;
  bool truncated = length > hex_dump_max;
  if (truncated) length = hex_dump_max;
  static const char digits[] = "0123456789ABCDEF";
  const auto* bytes = static_cast<const unsigned char*>(data);
  char row[row_columns];
  std::memset(row, ' ', sizeof row);
  int k = 0;
  for (SQLLEN i = 0; i < length; ++i) {
    unsigned char b = bytes[i];
    row[3 * k] = digits[b >> 4];
    row[3 * k + 1] = digits[b & 0x0F];
    row[3 * hex_row_bytes + k] = isprint(b) ? static_cast<char>(b) : '.';
    if (++k == hex_row_bytes) {
      _zolandm_trace_dump_text(row, row_columns, 0);
      std::memset(row, ' ', sizeof row);
      k = 0;
    }
  }
  if (k > 0) _zolandm_trace_dump_text(row, row_columns, 0);
  if (truncated) _zolandm_trace_row("(truncated)");
}

}  // extern "C"
