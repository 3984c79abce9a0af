// The trace records of an entry point: its writer is called with the entry's own arguments,
// once before the call (leaving flag 0) and once after it (leaving flag 1, the result as a
// 16-bit return code), each under the global lock and only while tracing is on. With tracing
// off an entry pays two tests of the flag. The flag is read without the lock while another
// thread may switch tracing, hence atomic; a relaxed load is a plain load, and a stale answer
// only costs a record of a call that overlapped the switch, as an answer read a moment
// earlier would.
#pragma once

#include "dm/dm_internal.h"
#include "dmtrace/writers.h"

template <typename Writer, typename... Args>
inline void _zolandm_trace_record(Writer writer, int leaving, SQLRETURN rc, Args... args) {
  zolandm_global_guard guard;
  // Read again under the lock: a call may just have switched tracing off.
  if (_zolandm_trace_on()) writer(leaving, static_cast<SQLSMALLINT>(rc), args...);
}

template <typename Body, typename Writer, typename... Args>
inline SQLRETURN _zolandm_traced(Body body, Writer writer, Args... args) {
  if (__builtin_expect(_zolandm_trace_on(), 0)) _zolandm_trace_record(writer, 0, 0, args...);
  SQLRETURN rc = body(args...);
  if (__builtin_expect(_zolandm_trace_on(), 0)) _zolandm_trace_record(writer, 1, rc, args...);
  return rc;
}

// Both records after the call, for the entries that make the environment tracing starts with.
template <typename Writer, typename... Args>
inline SQLRETURN _zolandm_traced_after(SQLRETURN rc, Writer writer, Args... args) {
  if (__builtin_expect(_zolandm_trace_on(), 0)) {
    _zolandm_trace_record(writer, 0, rc, args...);
    _zolandm_trace_record(writer, 1, rc, args...);
  }
  return rc;
}
