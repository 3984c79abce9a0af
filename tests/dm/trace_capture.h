// Helpers of the trace tests: a temporary file as the trace stream, read back with the
// elapsed times, thread ids and addresses of real variables normalised, and builders of the
// expected lines.
#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <string>

#include <unistd.h>

#include "dmtrace/trace.h"

namespace tracetest {

class TraceCapture {
 public:
  TraceCapture() {
    setenv("TZ", "UTC", 1);
    setlocale(LC_ALL, "C");
    file_ = std::tmpfile();
    _zolandm_trace_stream = file_;
    _zolandm_trace_own_file = 0;
    std::free(_zolandm_trace_appname);
    _zolandm_trace_appname = nullptr;
    _zolandm_trace_enabled = 1;
  }
  ~TraceCapture() {
    _zolandm_trace_stream = nullptr;
    _zolandm_trace_enabled = 0;
    std::fclose(file_);
  }
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  // Everything written since the last call, normalised; the file starts empty again.
  std::string take() {
    std::fflush(file_);
    std::string all;
    std::rewind(file_);
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0) all.append(buf, n);
    std::rewind(file_);
    if (ftruncate(fileno(file_), 0) != 0) ADD_FAILURE() << "cannot empty the trace file";
    return normalise(all);
  }

  static std::string normalise(const std::string& text) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
      size_t line_end = text.find('\n', i);
      if (line_end == std::string::npos) line_end = text.size();
      out += normalise_line(text.substr(i, line_end - i));
      if (line_end < text.size()) out += '\n';
      i = line_end + 1;
    }
    return out;
  }

 private:
  static bool is_hex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

  // "[elapsed]" becomes "[T]", the thread id of a header "TID", addresses of six or more
  // digits "@" (small made-up handles stay as they are).
  static std::string normalise_line(const std::string& line) {
    if (line.size() > 2 && line.front() == '[' && line.back() == ']' && line.find('.') != std::string::npos)
      return "[T]";
    std::string s = line;
    if (s.size() > 16 &&
        (s.find(" ENTER ", 16) != std::string::npos || s.find(" EXIT  ", 16) != std::string::npos)) {
      size_t end = s.find(' ', 16);
      s = s.substr(0, 16) + "TID" + s.substr(end);
    }
    std::string out;
    for (size_t i = 0; i < s.size();) {
      if (s.compare(i, 2, "0x") == 0) {
        size_t j = i + 2;
        while (j < s.size() && is_hex(s[j]) && !std::isupper(static_cast<unsigned char>(s[j]))) ++j;
        if (j - i - 2 >= 6) {
          out += '@';
          i = j;
          continue;
        }
      }
      out += s[i++];
    }
    return out;
  }

  FILE* file_;
};

// One argument line: two tabs, the label in 15 columns, then the rest.
inline std::string L(const char* label, const std::string& rest) {
  char head[32];
  std::snprintf(head, sizeof head, "\t\t%-15.15s", label);
  return head + rest + "\n";
}

// One text dump row.
inline std::string R(const std::string& text) {
  char row[80];
  std::snprintf(row, sizeof row, "\t\t\t\t  | %-40.40s |\n", text.c_str());
  return row;
}

// A record header as normalised.
inline std::string H(const char* function, int leaving, int rc = 0, const char* rc_name = "SQL_SUCCESS") {
  char line[160];
  if (leaving) {
    std::snprintf(line, sizeof line, "\n[T]\n%-15.15s TID EXIT  %s with return code %d (%s)\n", "Application",
                  function, rc, rc_name);
  } else {
    std::snprintf(line, sizeof line, "\n[T]\n%-15.15s TID ENTER %s\n", "Application", function);
  }
  return line;
}

}  // namespace tracetest
