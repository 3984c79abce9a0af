// Helpers shared by the sources of the trace library; nothing outside src/dmtrace uses them.
#pragma once

#include <sys/time.h>

// The current time by the trace's clock (gettimeofday unless a test put its own in place).
void _zolandm_trace_now(struct timeval* now);
// The file size past which the next record header rolls the trace over.
long _zolandm_trace_size_limit();
// One text dump row "\t\t\t\t  | %-40.40s |\n" holding the text given.
void _zolandm_trace_row(const char* text);
