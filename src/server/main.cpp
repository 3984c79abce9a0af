// sqlgate: the database agent. The request broker starts it with its options
// and the transport list in `internal`; it serves RPC program 300272 version 2
// on those transports until it is told to stop.
#include <csignal>

#include "drv_ops.h"
#include "server/agent_options.h"
#include "server/serve.h"
#include "server/signals.h"
#include "server/startup.h"
#include "util/log.h"

void dbsv_install_services();

int main(int argc, char** argv) {
  agent_startup(&argc, &argv);
  install_signal_handlers();
  signal(SIGCHLD, SIG_DFL);
  if (DRV_Init(&drv) != 0) {
    logit(LOG_ERR, nullptr, 0, "unable to initialize database engine");
    terminate(2);
  }
  dbsv_install_services();
  logit(LOG_DEBUG, nullptr, 0, "server starting");
  agent_install_transports(f_internal);
  agent_service_loop();
}
