// Small helpers shared by the connect functions: ini reads, switch values, connection-string
// lookups and copying a driver's output string into the caller's width.
#pragma once

#include <string>

#include "sqltypes.h"

struct zolandm_config;
struct zolandm_dbc;

// Reads key of section from odbc.ini (user file first, then the system file), empty default.
void _zolandm_profile_read(const char* section, const char* key, char* buf, int size);

// "on", "yes" or "1" without regard to case (the Trace key).
bool _zolandm_is_on(const char* value);
// "on" or "1" without regard to case (ThreadManager, UnloadSafe).
int _zolandm_is_on_or_1(const char* value);
// thread_safe for a driver record from a ThreadManager value: 0 when calls must be serialised.
int _zolandm_thread_safe(const char* thread_manager);

// Attaches the driver a connection string names: its DRIVER keyword, else the data
// source's Driver key, with the data source's ThreadManager and UnloadSafe settings.
// No data source reads the "default" section; one turns its tracing on. 0 or 1 as
// _zolandm_driver_attach; -1 when no driver is named (nothing posted); -2 when the
// attach failed.
int _zolandm_attach_named_driver(zolandm_dbc* dbc, const std::string& dsn, const std::string& driver,
                                 char width);

// The failure of a connect that found no driver for its data source: "IM002", or, when
// an ini file is there but cannot be opened (no descriptor left, no permission), "08001"
// with the reason, since the data source may well exist. Returns -1.
SQLRETURN _zolandm_fail_no_driver(zolandm_dbc* dbc);

// Value of a key of section "ODBC" of a parsed connection string; empty when absent.
std::string _zolandm_connstr_value(zolandm_config* cfg, const char* key);

// Replaces an owned string field of a connection by a copy of text (null stays null).
// false when the copy cannot be had; the field is then left as it was.
bool _zolandm_replace_owned(char** field, const char* text);

// The failure exit of a connect that consulted the pool: a connection that holds a pool
// record starts that record's retry wait ("Retry Wait" of "ODBC Connection Pooling" in
// odbcinst.ini) and goes back to the pool. Returns rc.
SQLRETURN _zolandm_connect_failure_exit(zolandm_dbc* dbc, bool consulted_pool, SQLRETURN rc);

// Converts a NUL-terminated string of width src_width ('A' or 'W') into dst of width
// dst_width, bounded by dst_max (bytes for 'A', characters for 'W'), always terminated when
// dst_max > 0.
void _zolandm_convert_out(const void* src, char src_width, void* dst, char dst_width, int dst_max);
