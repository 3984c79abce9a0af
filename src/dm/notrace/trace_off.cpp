// Tracing while the tracing library is not part of the build: the flag stays off, start
// and stop do nothing, and only the trace file name is kept (it is what SQL_OPT_TRACEFILE
// reports). Built only when src/dmtrace is absent.

#include <cstdlib>
#include <cstring>

#include "dm/dm_internal.h"

extern "C" {

int _zolandm_trace_enabled = 0;

namespace {
char* trace_filename = nullptr;
}

void _zolandm_trace_set_filename(const char* name_template) {
  if (name_template == nullptr) return;
  char* copy = strdup(name_template);
  if (copy == nullptr) return;
  std::free(trace_filename);
  trace_filename = copy;
}

void _zolandm_trace_start(void) {}

void _zolandm_trace_stop(void) {}

char* _zolandm_trace_get_filename(void) {
  return trace_filename != nullptr ? strdup(trace_filename) : nullptr;
}

}  // extern "C"
