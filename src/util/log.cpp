// The logger: a circular list of sinks, newest first, behind a static head.
#include "util/log.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <libintl.h>

#include <mutex>

#include "util/fault.h"
#include "util/options.h"

namespace {

LOG _head;  // next is null until the first sink is opened

// Guards the list of sinks and each sink's fields: every connection's thread
// logs. Recursive: an emitter may log or close its own sink.
std::recursive_mutex g_logMu;

const char* const level_names[8] = {"EMERG", "ALERT", "CRIT", "ERROR", "WARNING", "NOTICE", "INFO", "DEBUG"};

enum { LINE_MAX_LEN = 8192 };

int clamp_level(int level) { return level < 0 ? 0 : (level > 7 ? 7 : level); }

// Appends text to the expanded format, doubling every "%" so that names and
// error texts reach the printf step as literal text. Cuts at the limit.
void append_literal(char* out, size_t& pos, size_t limit, const char* text) {
  for (; *text != '\0'; ++text) {
    if (*text == '%') {
      if (pos + 2 > limit) return;
      out[pos++] = '%';
      out[pos++] = '%';
    } else {
      if (pos + 1 > limit) return;
      out[pos++] = *text;
    }
  }
}

// Translates the format and expands "%L", "%m" and "%F"; keeps the first line
// only and ends it with exactly one newline. out has LINE_MAX_LEN + 2 bytes.
void fix_format(char* out, const char* format, const char* file, int line, int saved_errno) {
  const char* fmt = gettext(format);
  const size_t limit = LINE_MAX_LEN;
  size_t pos = 0;
  for (const char* p = fmt; *p != '\0' && *p != '\n' && pos < limit; ++p) {
    if (*p != '%') {
      out[pos++] = *p;
      continue;
    }
    char c = p[1];
    if (c == 'L') {
      char num[16];
      snprintf(num, sizeof num, "%d", line);
      append_literal(out, pos, limit, num);
      ++p;
    } else if (c == 'm') {
      append_literal(out, pos, limit, vyr_strerror(saved_errno));
      ++p;
    } else if (c == 'F') {
      if (file != nullptr) append_literal(out, pos, limit, file);
      ++p;
    } else if (c == '\0' || c == '\n') {
      // A lone "%" at the end of the first line is text: doubled, printf
      // prints it as one "%" instead of reading a conversion out of the
      // newline that follows (and the line still ends there).
      if (pos + 2 > limit) break;
      out[pos++] = '%';
      out[pos++] = '%';
    } else {
      if (pos + 2 > limit) break;  // never split a conversion
      out[pos++] = '%';
      out[pos++] = c;
      ++p;
    }
  }
  out[pos++] = '\n';
  out[pos] = '\0';
}

void stream_emit(LOG* sink, int, char* text) {
  FILE* fp = static_cast<FILE*>(sink->user_data);
  if (fp == nullptr) return;
  fputs(text, fp);
  fflush(fp);
}

void stream_close(LOG* sink) {
  FILE* fp = static_cast<FILE*>(sink->user_data);
  if (fp != nullptr) fclose(fp);
  sink->user_data = nullptr;
}

void syslog_emit(LOG*, int level, char* text) { syslog(level, "%s", text); }

void syslog_close(LOG*) { closelog(); }

LOG* new_sink(log_emit_func emitter, log_close_func closer, void* user_data, int level, int mask, int style) {
  LOG* sink = vyr_fault_alloc() ? nullptr : static_cast<LOG*>(calloc(1, sizeof(LOG)));
  if (sink == nullptr) return nullptr;
  sink->style = style;
  sink->emitter = emitter;
  sink->closer = closer;
  sink->user_data = user_data;
  std::lock_guard lock(g_logMu);
  log_set_mask(sink, level, mask);
  if (_head.next == nullptr) _head.next = _head.prev = &_head;
  sink->next = _head.next;
  sink->prev = &_head;
  _head.next->prev = sink;
  _head.next = sink;
  return sink;
}

// Writes the prefix of one line for a sink; returns its length.
size_t make_prefix(char* buf, const LOG* sink, int level, const struct tm& tm, const char* file, int line) {
  const size_t room = LINE_MAX_LEN - 1;
  size_t pos = 0;
  auto put = [&](const char* text) {
    while (*text != '\0' && pos < room) buf[pos++] = *text++;
  };
  char tmp[64];
  if (sink->style & LOG_STYLE_TIME) {
    if (sink->style & LOG_STYLE_DATE)
      snprintf(tmp, sizeof tmp, "%02u:%02u:%02u ", unsigned(tm.tm_hour) % 100u, unsigned(tm.tm_min) % 100u,
               unsigned(tm.tm_sec) % 100u);
    else
      snprintf(tmp, sizeof tmp, "%02u/%02u/%04u %02u:%02u:%02u ", unsigned(tm.tm_mon + 1) % 100u,
               unsigned(tm.tm_mday) % 100u, unsigned(tm.tm_year + 1900) % 10000u, unsigned(tm.tm_hour) % 100u,
               unsigned(tm.tm_min) % 100u, unsigned(tm.tm_sec) % 100u);
    put(tmp);
  }
  if (sink->style & LOG_STYLE_LEVEL) {
    put(level_names[level]);
    put(" ");
  }
  if (sink->style & LOG_STYLE_PROGNAME) {
    put(program_info.program_name != nullptr ? program_info.program_name : "");
    put(" ");
  }
  if ((sink->style & LOG_STYLE_POSITION) && file != nullptr) {
    put("(");
    put(file);
    snprintf(tmp, sizeof tmp, ":%d) ", line);
    put(tmp);
  }
  if (pos > 0 && (sink->style & 0x1C)) {
    buf[pos - 1] = ':';
    put(" ");
  }
  buf[pos] = '\0';
  return pos;
}

}  // namespace

int logmsg_ap(int level, const char* file, int line, int mask, const char* format, va_list ap) {
  const int saved_errno = errno;
  char fmt[LINE_MAX_LEN + 2];

  std::lock_guard lock(g_logMu);
  if (_head.next == nullptr) {
    fix_format(fmt, format, file, line, saved_errno);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    vfprintf(stderr, fmt, ap);
#pragma GCC diagnostic pop
    errno = saved_errno;
    return 0;
  }

  level = clamp_level(level);
  time_t now = time(nullptr);
  struct tm tm;
  localtime_r(&now, &tm);
  const int month = tm.tm_mon + 1, day = tm.tm_mday, year = tm.tm_year + 1900;

  bool expanded = false;
  char buf[LINE_MAX_LEN];
  for (LOG* sink = _head.next; sink != &_head;) {
    LOG* next = sink->next;  // an emitter may close its own sink
    if (mask != 0 && (sink->mask[level] & mask) == 0) {
      sink = next;
      continue;
    }
    if ((sink->style & LOG_STYLE_DATE) && (sink->month != month || sink->day != day || sink->year != year)) {
      char banner[128];
      if (strftime(banner, sizeof banner, "\n\t\t%a %b %d %Y\n", &tm) > 0 && sink->emitter != nullptr)
        sink->emitter(sink, level, banner);
      sink->month = month;
      sink->day = day;
      sink->year = year;
    }
    size_t pos = make_prefix(buf, sink, level, tm, file, line);
    if (!expanded) {
      fix_format(fmt, format, file, line, saved_errno);
      expanded = true;
    }
    va_list aq;
    va_copy(aq, ap);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    int n = vsnprintf(buf + pos, sizeof buf - pos, fmt, aq);
#pragma GCC diagnostic pop
    va_end(aq);
    // A line cut at the limit still ends with its newline.
    if (n >= 0 && pos + static_cast<size_t>(n) >= sizeof buf) buf[sizeof buf - 2] = '\n';
    if (sink->emitter != nullptr) sink->emitter(sink, level, buf);
    sink = next;
  }
  errno = saved_errno;
  return 0;
}

int logmsg(int level, const char* file, int line, int mask, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  logmsg_ap(level, file, line, mask, format, ap);
  va_end(ap);
  return 0;
}

int logit(int level, const char* file, int line, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  logmsg_ap(level, file, line, 1, format, ap);
  va_end(ap);
  return 0;
}

#define LOG_LEVEL_FUNC(name, level)              \
  int name(const char* format, ...) {            \
    va_list ap;                                  \
    va_start(ap, format);                        \
    logmsg_ap(level, nullptr, 0, 1, format, ap); \
    va_end(ap);                                  \
    return 0;                                    \
  }
LOG_LEVEL_FUNC(log_error, LOG_ERR)
LOG_LEVEL_FUNC(log_warning, LOG_WARNING)
LOG_LEVEL_FUNC(log_info, LOG_INFO)
LOG_LEVEL_FUNC(log_debug, LOG_DEBUG)
#undef LOG_LEVEL_FUNC

LOG* log_open_fp(FILE* fp, int level, int mask, int style) {
  return new_sink(stream_emit, stream_close, fp, level, mask, style);
}

LOG* log_open_fp2(FILE* fp, int level, int mask, int style) {
  return new_sink(stream_emit, nullptr, fp, level, mask, style);
}

LOG* log_open_file(const char* filename, int level, int mask, int style) {
  if (filename == nullptr) return nullptr;
  FILE* fp = fopen(filename, "a");
  if (fp == nullptr) return nullptr;
  LOG* sink = log_open_fp(fp, level, mask, style);
  if (sink == nullptr) fclose(fp);
  return sink;
}

LOG* log_open_syslog(const char* ident, int logopt, int facility, int level, int mask, int style) {
  LOG* sink = new_sink(syslog_emit, syslog_close, nullptr, level, mask, style);
  if (sink != nullptr) openlog(ident, logopt, facility);
  return sink;
}

LOG* log_open_callback(log_emit_func emitter, log_close_func closer, int level, int mask, int style) {
  return new_sink(emitter, closer, nullptr, level, mask, style);
}

int log_close(LOG* sink) {
  // A sink linked to itself (or never linked) is closed already: closing it
  // again must not run its closer twice.
  std::lock_guard lock(g_logMu);
  if (sink == nullptr || sink->next == nullptr || sink->next == sink) return 0;
  if (sink->closer != nullptr) sink->closer(sink);
  sink->prev->next = sink->next;
  sink->next->prev = sink->prev;
  sink->next = sink->prev = sink;
  return 0;
}

void log_close_all(void) {
  std::lock_guard lock(g_logMu);
  if (_head.next == nullptr) return;
  while (_head.next != &_head) log_close(_head.next);
}

int log_set_mask(LOG* sink, int level, int mask) {
  if (sink == nullptr) return 0;
  std::lock_guard lock(g_logMu);
  level = clamp_level(level);
  for (int i = 0; i < 8; ++i) {
    if (i <= level)
      sink->mask[i] |= mask;
    else
      sink->mask[i] &= ~mask;
  }
  return 0;
}

int log_set_level(LOG* sink, int level) {
  if (sink == nullptr) return 0;
  std::lock_guard lock(g_logMu);
  level = clamp_level(level);
  for (int i = 0; i < 8; ++i) sink->mask[i] = i <= level ? -1 : 0;
  return 0;
}

int log_parse_mask(const char* mask_str, const LOGMASK_ALIST* alist, int size, int* maskp) {
  *maskp = 0;
  if (mask_str == nullptr) mask_str = "";
  const char* p = mask_str;
  for (;;) {
    const char* end = strchr(p, ',');
    size_t len = end != nullptr ? static_cast<size_t>(end - p) : strlen(p);
    int i = 0;
    for (; i < size; ++i) {
      const char* name = alist[i].name;
      if (name != nullptr && strlen(name) == len && strncmp(name, p, len) == 0) break;
    }
    if (i == size) return -1;
    *maskp |= alist[i].bit;
    if (end == nullptr) return 0;
    p = end + 1;
  }
}

void log_flush_all(void) {}

const char* vyr_strerror(int err) {
  thread_local char buf[512];
  if (strerrorname_np(err) == nullptr) {
    snprintf(buf, sizeof buf, gettext("Unknown error %u"), static_cast<unsigned>(err));
    return buf;
  }
  const char* text = strerror_r(err, buf, sizeof buf);
  if (text != buf) {
    snprintf(buf, sizeof buf, "%s", text);
  }
  return buf;
}
