// The agent's start-up up to the service loop, and its orderly exit.
#pragma once

#include "util/options.h"

// Registers the agent's description (program.cpp) with the foundation library;
// from then on terminate(n) (util/options.h) ignores SIGHUP, logs "server
// shutting down" at level 7 and exits with code n. agent_startup calls it first.
void agent_register_program(void);

// Opens the log sinks from f_loglevel, f_logfile and f_debug.
void start_log(void);

// Locale, options (a trailing @file included), VYRCONFIG global values, log,
// and the check for the transport list: the steps before signal handlers and
// transports. Exits with code 1 (usage text on standard error) on an option
// error or when the `internal` option is missing.
void agent_startup(int* argc, char*** argv);

// The text domain of the agent's message catalogue.
#define AGENT_TEXT_DOMAIN "tarnwell"
