// What the agent registers with the foundation library at start-up: its
// description (the version banner and the option table) and what terminate does
// first.
#include <csignal>

#include "server/agent_options.h"
#include "server/startup.h"

#ifndef SQLGATE_VERSION
#define SQLGATE_VERSION "0.1"
#endif

const char version[] =
    "sqlgate ODBC database agent\n"
    "Version " SQLGATE_VERSION " (built " __DATE__
    ")\n"
    "for Linux x86-64\n"
    "Serves the ODBC data sources of this host over ONC RPC program 300272 version 2\n";

namespace {

// A hang-up while the agent shuts down must not cut the shutdown short.
void ignore_hangup(int) { signal(SIGHUP, SIG_IGN); }

}  // namespace

void agent_register_program(void) {
  const pgm_info agent = {nullptr, version, "", PGM_RESPONSE_FILE, options};
  register_program(&agent, ignore_hangup);
}
