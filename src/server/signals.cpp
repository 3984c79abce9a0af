// Signal handlers that only record, and the loop thread's acting on what
// they recorded (signals.h).
#include "server/signals.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include <initializer_list>

#include "backend/backend.h"
#include "rpc/svc.h"
#include "util/log.h"
#include "util/options.h"
#include "util/signame.h"

namespace {

volatile sig_atomic_t g_termSignal;
volatile sig_atomic_t g_hangUp;

void term_handler(int sig) { g_termSignal = sig; }
void hup_handler(int) { g_hangUp = 1; }

void set_handler(int sig, void (*fn)(int)) {
  struct sigaction sa {};
  sa.sa_handler = fn;
  sigemptyset(&sa.sa_mask);
  sigaction(sig, &sa, nullptr);
}

}  // namespace

void install_signal_handlers(void) {
  for (int s : {SIGINT, SIGTERM, SIGQUIT}) set_handler(s, term_handler);
  set_handler(SIGHUP, hup_handler);
  signal(SIGABRT, SIG_DFL);
  signal(SIGSEGV, SIG_DFL);
}

void agent_signal_set(void* p) {
  sigset_t* set = static_cast<sigset_t*>(p);
  sigemptyset(set);
  for (int s : {SIGINT, SIGTERM, SIGQUIT, SIGHUP}) sigaddset(set, s);
}

void handle_pending_signals(void) {
  if (g_hangUp) {
    g_hangUp = 0;
    logit(LOG_DEBUG, nullptr, 0, "got SIGHUP");
    int (*hup)(int) = sighup_hook;
    if (hup && hup(SIGHUP) == 0) terminate(0);
  }
  int sig = g_termSignal;
  if (!sig) return;
  g_termSignal = 0;
  if (sig == SIGTERM) {
    logit(LOG_DEBUG, nullptr, 0, "got SIGTERM");
  } else if (const char* ab = sig_abbrev(sig)) {
    logit(LOG_INFO, nullptr, 0, "got SIG%s", ab);
  } else {
    logit(LOG_INFO, nullptr, 0, "got signal %d", sig);
  }
  int (*hook)(int) = sigterm_hook;
  if (hook && hook(sig) == 1) return;
  // The connections' threads end before the exit handlers run; one that is
  // still busy (a call waiting in a driver) keeps its thread, and the process
  // ends without running them under it.
  if (ODBC_ShutdownLeft() > 0 || !VYRRPC_svc_end_threads(2000)) {
    logit(LOG_DEBUG, __FILE__, __LINE__, "server shutting down");
    fflush(nullptr);
    _exit(0);
  }
  terminate(0);
}
