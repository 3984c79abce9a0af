// The agent's transports and its service loop (serve.h): the loop thread
// accepts and serves datagrams; each TCP connection has a thread of its own.
#include "server/serve.h"

#include <signal.h>

#include <initializer_list>
#include <unistd.h>

#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "backend/backend.h"
#include "backend/sessions.h"
#include "drv_ops.h"
#include "rpc/svc.h"
#include "server/signals.h"
#include "util/globals.h"
#include "util/log.h"
#include "util/options.h"
#include "util/strutil.h"
#include "wire/dispatcher.h"

namespace {

// The descriptor of "tcp=N" / "udp=N"; -1 when no digits follow the "=".
int entry_descriptor(const std::string& entry) {
  const char* p = entry.c_str() + 4;
  if (*p < '0' || *p > '9') {
    errno = EINVAL;
    return -1;
  }
  errno = 0;
  long v = strtol(p, nullptr, 10);
  if (errno != 0 || v > 65535) {
    errno = EINVAL;
    return -1;
  }
  return static_cast<int>(v);
}

[[noreturn]] void install_failed(const std::string& entry) {
  logit(LOG_ERR, nullptr, 0, "unable to install %s protocol (%m)", entry.c_str());
  logit(LOG_ERR, nullptr, 0, "svc_install() failed");
  terminate(1);
  _exit(1);
}

std::vector<handle_t> made_over(HandleArray* table, uint64_t origin) {
  std::vector<handle_t> handles(HandleListFrom(table, origin, nullptr, 0));
  // Another thread may end one of them between the count and the copy.
  size_t n = HandleListFrom(table, origin, handles.data(), static_cast<unsigned>(handles.size()));
  handles.resize(std::min(handles.size(), n));
  return handles;
}

// A TCP connection is gone: what its client opened over it is ended as the
// client's own end calls would end it (cursors, connections with their
// uncommitted work, server sessions), served as a call of that connection.
void end_what_the_connection_opened(SVCXPRT* x) {
  const drv_ops* ops = drv.ops;
  if (!ops || x->xp_serial == 0 || numServers == 0) return;
  HandleCaller caller;
  dbsv_caller_of(x, &caller);
  HandleSetCaller(&caller);
  unsigned cursors = 0, connections = 0, sessions = 0;
  // Each record is ended inside its session, as a call of the client would be.
  if (ops->endCursor)
    for (handle_t h : made_over(&crsHandles, x->xp_serial)) {
      SessionCall call(h);
      if (ops->endCursor(h) == ER_SUCCESS) cursors++;
    }
  if (ops->endConnect)
    for (handle_t h : made_over(&conHandles, x->xp_serial)) {
      SessionCall call(h);
      // Work the client left uncommitted is not committed for it.
      if (ops->rollback) ops->rollback(h);
      if (ops->endConnect(h) == ER_SUCCESS) connections++;
    }
  if (ops->endServer) {
    const handle_t hServer = ghServer;
    for (uint32_t n = HandleHoldsFrom(&srvHandles, hServer, x->xp_serial); n > 0 && numServers > 0; n--)
      if (ops->endServer(hServer) == ER_SUCCESS) sessions++;
  }
  HandleSetCaller(nullptr);
  if (cursors + connections + sessions > 0) {
    char peer[INET6_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET6, caller.host, peer, sizeof peer);
    logit(LOG_DEBUG, nullptr, 0, "connection from %s closed: ended %u cursors, %u connections, %u sessions",
          peer, cursors, connections, sessions);
  }
}

}  // namespace

void agent_install_transports(const char* list) {
  _svc_conn_closed_hook = end_what_the_connection_opened;
  int count = cslnumentries(list);
  if (count == 0) {
    list = "tcp=3,udp=4";
    count = 2;
  }
  int sendSize = 0, recvSize = 0;
  gv_get_value(GV_SEND_SIZE, &sendSize, GV_RET_INT, sizeof sendSize);
  gv_get_value(GV_RECEIVE_SIZE, &recvSize, GV_RET_INT, sizeof recvSize);
  for (int i = 1; i <= count; i++) {
    char* copy = cslentry(list, i);
    std::string entry = copy ? copy : "";
    free(copy);
    SVCXPRT* x = nullptr;
    if (entry.rfind("udp=", 0) == 0) {
      int fd = entry_descriptor(entry);
      if (fd >= 0) x = VYRRPC_svcudp_create(fd);
    } else if (entry.rfind("tcp=", 0) == 0) {
      int fd = entry_descriptor(entry);
      if (fd >= 0) {
        x = VYRRPC_svctcp_create(fd, static_cast<unsigned>(sendSize), static_cast<unsigned>(recvSize));
        if (x == nullptr)
          logit(LOG_DEBUG, nullptr, 0, "xprt == NULL(1), sock=%d, sendsz=%d, recvsz=%d", fd, sendSize,
                recvSize);
        else if (drv.drvFlags & DRV_FLAG_THREADING)
          VYRRPC_svc_control(x, VYRRPC_SVCCTL_THREADING, nullptr);
      }
    }
    if (x == nullptr) {
      if (entry.rfind("udp=", 0) != 0 && entry.rfind("tcp=", 0) != 0) errno = EINVAL;
      logit(LOG_DEBUG, nullptr, 0, "xprt == NULL(2)");
      install_failed(entry);
    }
    if (!VYRRPC_svc_register(x, DBSVPROG, DBSVVERS, dbsvprog_2, 0)) install_failed(entry);
  }
}

void agent_service_loop(void) {
  // The recorded signals stay blocked while a request is served and are let in
  // only during the wait, so none is missed between the check and the wait.
  sigset_t agentSignals, waitMask;
  agent_signal_set(&agentSignals);
  sigprocmask(SIG_BLOCK, &agentSignals, &waitMask);
  for (int s : {SIGINT, SIGTERM, SIGQUIT, SIGHUP}) sigdelset(&waitMask, s);
  for (;;) {
    handle_pending_signals();
    if (VYRRPC_svc_poll_once(&waitMask) < 0 && errno != EINTR) {
      logit(LOG_ERR, nullptr, 0, "svc_run() returned (%m)");
      terminate(1);
    }
  }
}
