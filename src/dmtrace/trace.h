// Driver-manager call tracing: the process-wide trace state, the trace file (name template,
// start, stop, rollover), the two output primitives, the record header and the text and hex
// dumps that every argument printer and per-call writer writes through, and the printer of
// SQLGetInfo values.
//
// Callers: the entry points of the driver manager call the per-call writers only while
// _zolandm_trace_enabled is non-zero; the environment and connect code set the file name and
// start or stop the trace. Everything here runs with _zolandm_global_lock held; the state
// has no lock of its own. Only the flag is also read without the lock (every entry point
// looks at it on its way in and out), so it is atomic; it changes only under the lock.
#pragma once

#include <stdio.h>
#include <sys/time.h>

#include <atomic>

#include "sql.h"

extern "C" {

// ---- trace state (zero at program start, never freed) ---------------------------------

extern std::atomic<int> _zolandm_trace_enabled;   // non-zero while a trace is on
extern int _zolandm_trace_seq;                    // behind the $S escape; only grows
extern struct timeval _zolandm_trace_start_time;  // base of the elapsed time in headers
extern int _zolandm_trace_own_file;               // 1: the stream was opened by start
extern FILE* _zolandm_trace_stream;               // null while tracing is off
extern char* _zolandm_trace_template;             // file-name template with its $ escapes
extern char* _zolandm_trace_filename;             // the template expanded
extern char* _zolandm_trace_appname;              // null prints "Application"

// ---- sessions and the trace file ------------------------------------------------------

// Stores a copy of the template (null: keep the stored one) and expands it into the file
// name the next start opens. Opens nothing.
void _zolandm_trace_set_filename(const char* name_template);
// Opens the stream for the expanded name ("stderr" in any case: standard error), writes the
// banner and switches tracing on. A stream already open on that very file is kept as it is,
// so that a second connect to a traced data source never truncates the records written so
// far. When the file cannot be opened tracing is off afterwards.
void _zolandm_trace_start(void);
// Writes the trailer and closes the stream (never standard error); tracing is off afterwards.
void _zolandm_trace_stop(void);
// A new copy of the expanded name (caller frees), or null when none is set.
char* _zolandm_trace_get_filename(void);
// Replaces the application name printed in every record header.
void _zolandm_trace_set_appname(const char* name);

// ---- output primitives ----------------------------------------------------------------

// Both write nothing and switch tracing off when no stream is open.
void _zolandm_trace_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void _zolandm_trace_putc(int c);

// The record header of a call: function id, leaving flag (0 entry, 1 exit) and, on exit, the
// return code. Rolls the file over first when it has grown past the size limit (then the
// header is not written; the record's argument lines follow the continuation line).
void _zolandm_trace_call_line(int function_id, int leaving, int rc);

// Text dump rows of 40 columns. length is a byte count or SQL_NTS; with utf8 non-zero a
// UTF-8 sequence fills one column. At most 40000 bytes, then a "(truncated)" row.
void _zolandm_trace_dump_text(const char* text, SQLLEN length, int utf8);
// Hex dump rows, ten bytes a row. At most 10000 bytes, then a "(truncated)" row.
void _zolandm_trace_dump_hex(const void* data, SQLLEN length);

// ---- information values ---------------------------------------------------------------

// The information type of SQLGetInfo[W] with its name and, when output is non-zero (the exit
// record of a successful call), the value decoded by the type's form. width is 'A' or 'W'.
// A returned text is read no further than buffer_length bytes (the call's own buffer length;
// the lengths of the wide call count bytes too), whatever length the driver reports.
void _zolandm_tr_arg_info_value(SQLUSMALLINT info_type, SQLPOINTER value, SQLSMALLINT buffer_length,
                                SQLSMALLINT* length_ptr, int output, char width);

// ---- test hooks -----------------------------------------------------------------------

// The file size past which the next record header rolls the trace over (ftell, in bytes);
// 0 restores the default of 1000000000.
void _zolandm_trace_set_size_limit(long limit);
// The clock of the record headers and of start; null restores gettimeofday.
typedef void (*zolandm_trace_clock_fn)(struct timeval* now);
void _zolandm_trace_set_clock(zolandm_trace_clock_fn clock);

}  // extern "C"
