// The process-wide trace state and the trace file: name template expansion, start (banner),
// stop (trailer), the application name and the test hooks of the clock and the size limit.

#include <fcntl.h>
#include <pwd.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "dmtrace/trace.h"
#include "dmtrace/trace_internal.h"

extern "C" {

std::atomic<int> _zolandm_trace_enabled{0};
int _zolandm_trace_seq = 0;
struct timeval _zolandm_trace_start_time = {0, 0};
int _zolandm_trace_own_file = 0;
FILE* _zolandm_trace_stream = nullptr;
char* _zolandm_trace_template = nullptr;
char* _zolandm_trace_filename = nullptr;
char* _zolandm_trace_appname = nullptr;

extern const char* __progname;  // the C library's short program name

}  // extern "C"

namespace {

constexpr long default_size_limit = 1000000000L;
// Test seams: set without the global lock, read under it by whatever thread traces.
std::atomic<long> size_limit{default_size_limit};
std::atomic<zolandm_trace_clock_fn> trace_clock{nullptr};

constexpr const char* default_filename = "/tmp/odbc.log";
constexpr size_t expansion_max = 254;  // characters one escape may add
constexpr size_t buffer_step = 256;

// The expanded name under construction: grows by 256 bytes whenever fewer than 255 remain,
// so that one escape always fits.
struct name_buffer {
  char* data = nullptr;
  size_t size = 0;
  size_t used = 0;

  bool reserve() {
    if (size - used > expansion_max) return true;
    char* grown = static_cast<char*>(std::realloc(data, size + buffer_step));
    if (grown == nullptr) return false;
    data = grown;
    size += buffer_step;
    return true;
  }
  void append(const char* text) {
    size_t n = strnlen(text, expansion_max);
    std::memcpy(data + used, text, n);
    used += n;
  }
};

void append_home(name_buffer& out) {
  const char* home = std::getenv("HOME");
  if (home != nullptr) {
    out.append(home);
    return;
  }
  struct passwd* pw = getpwuid(getuid());
  if (pw != nullptr && pw->pw_dir != nullptr) out.append(pw->pw_dir);
}

void append_user(name_buffer& out) {
  struct passwd* pw = getpwuid(getuid());
  if (pw != nullptr && pw->pw_name != nullptr) out.append(pw->pw_name);
}

void append_time(name_buffer& out) {
  tzset();
  struct timeval now;
  _zolandm_trace_now(&now);
  time_t seconds = now.tv_sec;
  struct tm local;
  char text[64] = "";
  if (localtime_r(&seconds, &local) != nullptr) strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  out.append(text);
}

// Expands the template; null when an allocation fails.
char* expand(const char* name_template) {
  name_buffer out;
  out.size = std::strlen(name_template) + buffer_step;
  out.data = static_cast<char*>(std::malloc(out.size));
  if (out.data == nullptr) return nullptr;
  for (const char* p = name_template; *p != '\0'; ++p) {
    if (!out.reserve()) {
      std::free(out.data);
      return nullptr;
    }
    if (*p != '$') {
      out.data[out.used++] = *p;
      continue;
    }
    char escape = p[1];
    if (escape == '\0') break;  // a trailing '$' ends the name
    ++p;
    char number[32];
    switch (escape) {
      case 'H':
      case 'h':
        append_home(out);
        break;
      case 'P':
      case 'p':
        snprintf(number, sizeof number, "%ld", static_cast<long>(getpid()));
        out.append(number);
        break;
      case 'S':
      case 's':
        snprintf(number, sizeof number, "%d", ++_zolandm_trace_seq);
        out.append(number);
        break;
      case 'T':
      case 't':
        append_time(out);
        break;
      case 'U':
      case 'u':
        append_user(out);
        break;
      case '$':
        out.data[out.used++] = '$';
        break;
      default:  // an unknown escape drops both characters
        break;
    }
  }
  out.data[out.used] = '\0';
  return out.data;
}

void write_time_line(const char* format) {
  struct timeval now;
  _zolandm_trace_now(&now);
  time_t seconds = now.tv_sec;
  struct tm local;
  char text[200] = "";
  if (localtime_r(&seconds, &local) != nullptr) strftime(text, sizeof text, format, &local);
  _zolandm_trace_printf("%s\n", text);
}

// Whether the stream already open writes to the file the expanded name names now: then a
// new start keeps it instead of truncating what has been written.
bool stream_is_named_file(const char* name) {
  if (_zolandm_trace_stream == nullptr) return false;
  if (strcasecmp(name, "stderr") == 0) return _zolandm_trace_own_file == 0;
  if (_zolandm_trace_own_file == 0) return false;
  struct stat named, open;
  if (lstat(name, &named) != 0 || !S_ISREG(named.st_mode)) return false;
  if (fstat(fileno(_zolandm_trace_stream), &open) != 0) return false;
  return named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

// Opens the trace file: never through a symbolic link at its name, and for root never onto
// a file that exists already. Null when the file cannot be had.
FILE* open_trace_file(const char* name) {
  int flags = O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW;
  if (geteuid() == 0) flags |= O_EXCL;
  int fd = open(name, flags, 0644);
  if (fd < 0) return nullptr;
  FILE* stream = fdopen(fd, "w");
  if (stream == nullptr) {
    close(fd);
    return nullptr;
  }
  setvbuf(stream, nullptr, _IOLBF, BUFSIZ);
  return stream;
}

}  // namespace

void _zolandm_trace_now(struct timeval* now) {
  if (zolandm_trace_clock_fn clock = trace_clock.load(std::memory_order_acquire)) {
    clock(now);
  } else {
    gettimeofday(now, nullptr);
  }
}

long _zolandm_trace_size_limit() { return size_limit.load(std::memory_order_relaxed); }

extern "C" {

void _zolandm_trace_set_filename(const char* name_template) {
  if (name_template != nullptr) {
    char* copy = strdup(name_template);
    if (copy == nullptr) return;
    std::free(_zolandm_trace_template);
    _zolandm_trace_template = copy;
  }
  std::free(_zolandm_trace_filename);
  _zolandm_trace_filename = nullptr;
  if (_zolandm_trace_template != nullptr) _zolandm_trace_filename = expand(_zolandm_trace_template);
}

void _zolandm_trace_start(void) {
  if (_zolandm_trace_filename != nullptr && stream_is_named_file(_zolandm_trace_filename)) {
    _zolandm_trace_enabled.store(1, std::memory_order_relaxed);
    return;
  }
  _zolandm_trace_stop();
  _zolandm_trace_now(&_zolandm_trace_start_time);
  if (_zolandm_trace_filename == nullptr) {
    _zolandm_trace_filename = strdup(default_filename);
    return;
  }
  if (strcasecmp(_zolandm_trace_filename, "stderr") == 0) {
    _zolandm_trace_stream = stderr;
  } else {
    FILE* stream = open_trace_file(_zolandm_trace_filename);
    if (stream == nullptr) return;
    _zolandm_trace_stream = stream;
    _zolandm_trace_own_file = 1;
  }
  _zolandm_trace_printf("** Zolan Trace file\n");
  write_time_line("** Trace started on %a %b %d %H:%M:%S %Y");
  _zolandm_trace_printf("** Driver Manager: %02d.%02d.%04d.%04d\n\n", 3, 52, 1015, 210);
  _zolandm_trace_set_appname(__progname);
  _zolandm_trace_enabled.store(1, std::memory_order_relaxed);
}

void _zolandm_trace_stop(void) {
  if (_zolandm_trace_stream != nullptr) {
    _zolandm_trace_printf("\n");
    write_time_line("** Trace finished on %a %b %d %H:%M:%S %Y");
    if (_zolandm_trace_own_file) {
      fclose(_zolandm_trace_stream);
    } else {
      fflush(_zolandm_trace_stream);
    }
  }
  _zolandm_trace_stream = nullptr;
  _zolandm_trace_own_file = 0;
  _zolandm_trace_enabled.store(0, std::memory_order_relaxed);
}

char* _zolandm_trace_get_filename(void) {
  return _zolandm_trace_filename != nullptr ? strdup(_zolandm_trace_filename) : nullptr;
}

void _zolandm_trace_set_appname(const char* name) {
  char* copy = name != nullptr ? strdup(name) : nullptr;
  std::free(_zolandm_trace_appname);
  _zolandm_trace_appname = copy;
}

void _zolandm_trace_set_size_limit(long limit) {
  size_limit.store(limit > 0 ? limit : default_size_limit, std::memory_order_relaxed);
}

void _zolandm_trace_set_clock(zolandm_trace_clock_fn clock) {
  trace_clock.store(clock, std::memory_order_release);
}

}  // extern "C"
