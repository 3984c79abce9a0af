// Logging: one logger for the whole agent. A message names a syslog level
// (0 EMERG .. 7 DEBUG), optionally its source position and a category mask,
// and a printf-style format that passes through the message catalogue.
// Sinks (streams, files, syslog, callbacks) each filter by level and category
// and choose their own line style. Until the first sink is opened, messages go
// to standard error unfiltered and without prefix.
//
// No locks: a program that logs from several threads serialises the calls.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <syslog.h>  // LOG_EMERG .. LOG_DEBUG

struct _log;
typedef struct _log LOG;

typedef void (*log_emit_func)(LOG* sink, int level, char* text);
typedef void (*log_close_func)(LOG* sink);

// Line style bits of a sink.
enum {
  LOG_STYLE_DATE = 0x01,      // date banner when the local date changes; short time stamp
  LOG_STYLE_TIME = 0x02,      // time stamp
  LOG_STYLE_LEVEL = 0x04,     // level name
  LOG_STYLE_PROGNAME = 0x08,  // program_info.program_name
  LOG_STYLE_POSITION = 0x10,  // "(file:line) " when the call names a file
};

struct _log {
  LOG* next;
  LOG* prev;
  int mask[8];  // per level, the category bits this sink takes
  int style;
  int month, day, year;  // local date of the last banner (0 at creation)
  log_emit_func emitter;
  log_close_func closer;
  void* user_data;  // the FILE* of stream sinks
};

// A row of a category-name table for log_parse_mask.
struct LOGMASK_ALIST {
  const char* name;
  int bit;
};

#define LOG_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))

// The call used throughout the system: category mask 1.
int logit(int level, const char* file, int line, const char* format, ...) LOG_PRINTF(4, 5);
// Mask 0 reaches every sink.
int logmsg(int level, const char* file, int line, int mask, const char* format, ...) LOG_PRINTF(5, 6);
int logmsg_ap(int level, const char* file, int line, int mask, const char* format, va_list ap)
    LOG_PRINTF(5, 0);
int log_error(const char* format, ...) LOG_PRINTF(1, 2);    // level 3
int log_warning(const char* format, ...) LOG_PRINTF(1, 2);  // level 4
int log_info(const char* format, ...) LOG_PRINTF(1, 2);     // level 6
int log_debug(const char* format, ...) LOG_PRINTF(1, 2);    // level 7

// Sinks. Every open returns the new sink or null.
LOG* log_open_fp(FILE* fp, int level, int mask, int style);                // closes fp with the sink
LOG* log_open_fp2(FILE* fp, int level, int mask, int style);               // leaves fp open
LOG* log_open_file(const char* filename, int level, int mask, int style);  // mode "a"
LOG* log_open_syslog(const char* ident, int logopt, int facility, int level, int mask, int style);
LOG* log_open_callback(log_emit_func emitter, log_close_func closer, int level, int mask, int style);
// Calls the closer and unlinks the sink; the record itself is not released.
int log_close(LOG* sink);
void log_close_all(void);
int log_set_mask(LOG* sink, int level, int mask);
int log_set_level(LOG* sink, int level);
// Comma-separated category names to bits: 0, or -1 at the first unknown name.
int log_parse_mask(const char* mask_str, const LOGMASK_ALIST* alist, int size, int* maskp);
void log_flush_all(void);

// The system's text for an error number, or "Unknown error %u" in a static buffer.
const char* vyr_strerror(int err);
