// Helpers of the tracing tests: a fixed clock, a trace written into a temporary stream and
// read back, and the normalising of what differs from run to run (thread ids, pointers).
#pragma once

#include <sys/time.h>

#include <cstdio>
#include <functional>
#include <string>

#include "dmtrace/trace.h"

namespace trace_test {

// The clock the tests put in place of gettimeofday: 2026-12-11 00:00:00 UTC plus `offset`.
inline struct timeval fixed_now = {1796947200, 0};
inline void fixed_clock(struct timeval* now) { *now = fixed_now; }

inline std::string pointer_text(const void* p) {
  char text[32];
  snprintf(text, sizeof text, "%p", p);
  return text;
}

// Replaces the thread id of every record header ("<app, 15 columns> <hex> ENTER|EXIT") by "TID".
inline std::string normalise(const std::string& text) {
  std::string out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    std::string line = text.substr(start, end - start);
    size_t hex_end = line.find(' ', 16);
    if (line.size() > 16 && line[15] == ' ' && hex_end != std::string::npos && hex_end >= 24 &&
        line.find_first_not_of("0123456789ABCDEF", 16) == hex_end &&
        (line.compare(hex_end, 7, " ENTER ") == 0 || line.compare(hex_end, 7, " EXIT  ") == 0)) {
      line = line.substr(0, 16) + "TID" + line.substr(hex_end);
    }
    out += line;
    start = end;
  }
  return out;
}

// What `write` puts into the trace, with tracing on and an open stream but no banner.
inline std::string capture(const std::function<void()>& write) {
  FILE* stream = tmpfile();
  if (stream == nullptr) return "<no temporary file>";
  _zolandm_trace_stream = stream;
  _zolandm_trace_own_file = 1;
  _zolandm_trace_enabled = 1;
  write();
  std::string text;
  if (_zolandm_trace_stream == stream) {
    fflush(stream);
    rewind(stream);
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, stream)) > 0) text.append(buf, n);
    fclose(stream);
  }
  _zolandm_trace_stream = nullptr;
  _zolandm_trace_own_file = 0;
  _zolandm_trace_enabled = 0;
  return text;
}

// One text dump row holding `text` (at most 40 columns, padded with blanks).
inline std::string row(const std::string& text) {
  std::string padded = text;
  if (padded.size() < 40) padded.append(40 - padded.size(), ' ');
  return "\t\t\t\t  | " + padded + " |\n";
}

}  // namespace trace_test
