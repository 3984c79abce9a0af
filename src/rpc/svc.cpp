// Registry of transports and programs, the request cycle, the standard
// replies and the service loop.
#include "rpc/svc.h"

#include <poll.h>
#include <time.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "rpc/clnt.h"

fd_set VYRRPC__svc_fdset;
void (*_svc_threadterm_hook)(SVCXPRT*) = nullptr;
void (*_svc_conn_closed_hook)(SVCXPRT*) = nullptr;
int VYRRPC__svc_wait_ms = 35000;
// Larger than any record the wire's own decode budget lets through.
unsigned long long VYRRPC__svc_max_record = 256ull * 1024 * 1024 + 64 * 1024;

namespace {

struct svc_callout {
  svc_callout* sc_next;
  unsigned int sc_prog;
  unsigned int sc_vers;
  svcproc_t sc_dispatch;
};

SVCXPRT** xports = nullptr;
int xports_size = 0;
int _maxfds = 0;
svc_callout* svc_head = nullptr;

// Registered descriptors in ascending order, rebuilt when the registry changes.
std::vector<pollfd> poll_set;
bool poll_set_dirty = true;

// A connection that pipelines many calls gets this many served in one pass;
// the rest wait until the others had their turn.
constexpr int kCallsPerPass = 16;

svc_callout* svc_find(unsigned int prog, unsigned int vers) {
  for (svc_callout* s = svc_head; s; s = s->sc_next)
    if (s->sc_prog == prog && s->sc_vers == vers) return s;
  return nullptr;
}

void accepted(SVCXPRT* xprt, accept_stat stat, xdrproc_t results, char* where, unsigned int low = 0,
              unsigned int high = 0) {
  rpc_msg rply{};
  rply.rm_direction = REPLY;
  rply.rm_reply.rp_stat = MSG_ACCEPTED;
  rply.acpted_rply.ar_verf = xprt->xp_verf;
  rply.acpted_rply.ar_stat = stat;
  if (stat == SUCCESS) {
    rply.acpted_rply.ar_results.where = where;
    rply.acpted_rply.ar_results.proc = results;
  } else if (stat == PROG_MISMATCH) {
    rply.acpted_rply.ar_vers.low = low;
    rply.acpted_rply.ar_vers.high = high;
  }
  xprt->xp_ops->xp_reply(xprt, &rply);
}

}  // namespace

void VYRRPC_xprt_register(SVCXPRT* xprt) {
  int sock = xprt->xp_sock;
  if (xports == nullptr) {
    int n = VYRRPC__rpc_dtablesize();
    xports = static_cast<SVCXPRT**>(calloc(n > 0 ? n : 1, sizeof(SVCXPRT*)));
    if (xports == nullptr) return;
    xports_size = n;
  }
  if (sock < 0 || sock >= xports_size) return;
  xports[sock] = xprt;
  if (sock < FD_SETSIZE) FD_SET(sock, &VYRRPC__svc_fdset);
  if (sock >= _maxfds) _maxfds = sock + 1;
  poll_set_dirty = true;
}

void VYRRPC_xprt_unregister(SVCXPRT* xprt) {
  int sock = xprt->xp_sock;
  if (sock < 0 || sock >= _maxfds || xports[sock] != xprt) return;
  xports[sock] = nullptr;
  if (sock < FD_SETSIZE) FD_CLR(sock, &VYRRPC__svc_fdset);
  if (sock == _maxfds - 1) {
    while (_maxfds > 0 && xports[_maxfds - 1] == nullptr) _maxfds--;
  }
  poll_set_dirty = true;
}

int VYRRPC__svc_getmaxfds(void) { return _maxfds; }

int VYRRPC_svc_register(SVCXPRT* xprt, unsigned int prog, unsigned int vers, svcproc_t dispatch,
                        int protocol) {
  svc_callout* s = svc_find(prog, vers);
  if (s) {
    if (s->sc_dispatch != dispatch) return FALSE;
  } else {
    s = static_cast<svc_callout*>(calloc(1, sizeof(svc_callout)));
    if (!s) return FALSE;
    s->sc_prog = prog;
    s->sc_vers = vers;
    s->sc_dispatch = dispatch;
    s->sc_next = svc_head;
    svc_head = s;
  }
  if (protocol) return VYRRPC_pmap_set(prog, vers, protocol, xprt->xp_port);
  return TRUE;
}

void VYRRPC_svc_unregister(unsigned int prog, unsigned int vers) {
  svc_callout** pp = &svc_head;
  while (*pp && !((*pp)->sc_prog == prog && (*pp)->sc_vers == vers)) pp = &(*pp)->sc_next;
  if (!*pp) return;
  svc_callout* s = *pp;
  *pp = s->sc_next;
  free(s);
  VYRRPC_pmap_unset(prog, vers);
}

int VYRRPC_svc_sendreply(SVCXPRT* xprt, xdrproc_t xdr_results, char* xdr_location) {
  rpc_msg rply{};
  rply.rm_direction = REPLY;
  rply.rm_reply.rp_stat = MSG_ACCEPTED;
  rply.acpted_rply.ar_verf = xprt->xp_verf;
  rply.acpted_rply.ar_stat = SUCCESS;
  rply.acpted_rply.ar_results.where = xdr_location;
  rply.acpted_rply.ar_results.proc = xdr_results;
  return xprt->xp_ops->xp_reply(xprt, &rply);
}

void VYRRPC_svcerr_noproc(SVCXPRT* xprt) { accepted(xprt, PROC_UNAVAIL, nullptr, nullptr); }
void VYRRPC_svcerr_decode(SVCXPRT* xprt) { accepted(xprt, GARBAGE_ARGS, nullptr, nullptr); }
void VYRRPC_svcerr_systemerr(SVCXPRT* xprt) { accepted(xprt, SYSTEM_ERR, nullptr, nullptr); }
void VYRRPC_svcerr_noprog(SVCXPRT* xprt) { accepted(xprt, PROG_UNAVAIL, nullptr, nullptr); }
void VYRRPC_svcerr_progvers(SVCXPRT* xprt, unsigned int low, unsigned int high) {
  accepted(xprt, PROG_MISMATCH, nullptr, nullptr, low, high);
}

void VYRRPC_svcerr_auth(SVCXPRT* xprt, auth_stat why) {
  rpc_msg rply{};
  rply.rm_direction = REPLY;
  rply.rm_reply.rp_stat = MSG_DENIED;
  rply.rjcted_rply.rj_stat = AUTH_ERROR;
  rply.rjcted_rply.rj_why = why;
  xprt->xp_ops->xp_reply(xprt, &rply);
}

void VYRRPC_svcerr_weakauth(SVCXPRT* xprt) { VYRRPC_svcerr_auth(xprt, AUTH_TOOWEAK); }

long long VYRRPC__svc_now_ms(void) {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

xprt_stat VYRRPC_svc_doreq(SVCXPRT* xprt) {
  // Credential body, verifier body and decoded credential of one call.
  alignas(8) char cred_area[2 * VYRRPC_MAX_AUTH_BYTES + 400];
  static_assert(sizeof(area) <= 400);
  xprt_stat stat;
  int served = 0;
  do {
    rpc_msg msg{};
    msg.rm_call.cb_cred.oa_base = cred_area;
    msg.rm_call.cb_verf.oa_base = cred_area + VYRRPC_MAX_AUTH_BYTES;
    if (xprt->xp_ops->xp_recv(xprt, &msg)) {
      svc_req r{};
      r.rq_xprt = xprt;
      r.rq_prog = msg.rm_call.cb_prog;
      r.rq_vers = msg.rm_call.cb_vers;
      r.rq_proc = msg.rm_call.cb_proc;
      r.rq_cred = msg.rm_call.cb_cred;
      r.rq_clntcred = cred_area + 2 * VYRRPC_MAX_AUTH_BYTES;
      auth_stat why = VYRRPC__authenticate(&r, &msg);
      if (why != AUTH_OK) {
        VYRRPC_svcerr_auth(xprt, why);
      } else if (svc_callout* s = svc_find(r.rq_prog, r.rq_vers)) {
        s->sc_dispatch(&r, xprt);
      } else {
        bool prog_found = false;
        unsigned int low = ~0u, high = 0;
        for (svc_callout* c = svc_head; c; c = c->sc_next) {
          if (c->sc_prog != r.rq_prog) continue;
          prog_found = true;
          if (c->sc_vers < low) low = c->sc_vers;
          if (c->sc_vers > high) high = c->sc_vers;
        }
        if (prog_found)
          VYRRPC_svcerr_progvers(xprt, low, high);
        else
          VYRRPC_svcerr_noprog(xprt);
      }
    }
    stat = xprt->xp_ops->xp_stat(xprt);
    if (stat == XPRT_DIED) {
      xprt->xp_ops->xp_destroy(xprt);
      break;
    }
  } while (stat == XPRT_MOREREQS && ++served < kCallsPerPass);
  return stat;
}

void VYRRPC_svc_getreq(int fd) {
  if (fd < 0 || fd >= _maxfds || xports[fd] == nullptr) return;
  VYRRPC_svc_doreq(xports[fd]);
}

void VYRRPC_svc_getreqset(fd_set* readfds) {
  int n = _maxfds < FD_SETSIZE ? _maxfds : FD_SETSIZE;
  for (int fd = 0; fd < n; fd++)
    if (FD_ISSET(fd, readfds)) VYRRPC_svc_getreq(fd);
}

int VYRRPC_svc_poll_once(const sigset_t* sigmask) {
  if (poll_set_dirty) {
    poll_set.clear();
    for (int fd = 0; fd < _maxfds; fd++)
      if (xports[fd]) poll_set.push_back(pollfd{fd, 0, 0});
    poll_set_dirty = false;
  }
  long long wake = 0;
  for (pollfd& p : poll_set) {
    const SVCXPRT* x = xports[p.fd];
    p.events = x->xp_events;
    p.revents = 0;
    if (x->xp_wake_ms != 0 && (wake == 0 || x->xp_wake_ms < wake)) wake = x->xp_wake_ms;
  }
  timespec limit{};
  timespec* timeout = nullptr;
  if (wake != 0) {
    long long ms = wake - VYRRPC__svc_now_ms();
    if (ms < 0) ms = 0;
    limit.tv_sec = static_cast<time_t>(ms / 1000);
    limit.tv_nsec = static_cast<long>(ms % 1000) * 1000000;
    timeout = &limit;
  }
  int n = ppoll(poll_set.data(), poll_set.size(), timeout, sigmask);
  if (n < 0) return n;
  long long now = VYRRPC__svc_now_ms();
  static std::vector<int> ready;
  ready.clear();
  for (const pollfd& p : poll_set) {
    if (p.revents & POLLNVAL) {
      // select() fails on a descriptor that is not open; so does the loop.
      errno = EBADF;
      return -1;
    }
    const SVCXPRT* x = xports[p.fd];
    if (p.revents || (x->xp_wake_ms != 0 && x->xp_wake_ms <= now)) ready.push_back(p.fd);
  }
  for (int fd : ready) VYRRPC_svc_getreq(fd);
  return n;
}

// poll() in place of select(): descriptors of 1024 and above are served too,
// and a transport may wait for room to write or until a deadline.
void VYRRPC_svc_run(void) {
  for (;;) {
    if (VYRRPC_svc_poll_once(nullptr) < 0 && errno != EINTR) return;
  }
}
