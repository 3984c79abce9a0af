// The program description and terminate function the library calls, with their
// defaults, and the one way a program replaces them (see options.h).
#include <cstdlib>

#include "util/log.h"
#include "util/options.h"

namespace {
pgm_option no_options[] = {{nullptr, 0, 0, nullptr, nullptr}};
void (*g_terminate)(int) = nullptr;
}  // namespace

pgm_info program_info = {nullptr, "", "", 0, no_options};

void register_program(const pgm_info* info, void (*fn)(int)) {
  if (info != nullptr) program_info = *info;
  g_terminate = fn;
}

void terminate(int n) {
  if (g_terminate != nullptr) g_terminate(n);
  logit(LOG_DEBUG, __FILE__, __LINE__, "server shutting down");
  exit(n);
}
