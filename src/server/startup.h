// The agent's start-up up to the service loop, and its orderly exit.
// terminate() and program_info are in program.cpp: the foundation library
// calls terminate too, when memory runs out.
#pragma once

#include "util/options.h"

// terminate(n) (declared in util/options.h) ignores SIGHUP, logs "server
// shutting down" at level 7 and exits with code n.

// Opens the log sinks from f_loglevel, f_logfile and f_debug.
void start_log(void);

// Locale, options (a trailing @file included), VYRCONFIG global values, log,
// and the check for the transport list: the steps before signal handlers and
// transports. Exits with code 1 (usage text on standard error) on an option
// error or when the `internal` option is missing.
void agent_startup(int *argc, char ***argv);

// The text domain of the agent's message catalogue.
#define AGENT_TEXT_DOMAIN "tarnwell"
