// What the foundation library needs from the program: its description
// (program_info, with the version banner and the option table) and terminate.
#include <csignal>
#include <cstdlib>

#include "server/agent_options.h"
#include "util/log.h"

#ifndef SQLGATE_VERSION
#define SQLGATE_VERSION "0.1"
#endif

const char version[] =
    "sqlgate ODBC database agent\n"
    "Version " SQLGATE_VERSION " (built " __DATE__ ")\n"
    "for Linux x86-64\n"
    "Serves the ODBC data sources of this host over ONC RPC program 300272 version 2\n";

pgm_info program_info = {nullptr, version, "", PGM_RESPONSE_FILE, options};

void terminate(int n) {
  signal(SIGHUP, SIG_IGN);
  logit(LOG_DEBUG, __FILE__, __LINE__, "server shutting down");
  exit(n);
}
