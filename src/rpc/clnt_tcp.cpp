// TCP client handles: calls over a record stream, optionally inside TLS.
#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "rpc/clnt.h"
#include "rpc/record_stream.h"
#include "rpc/svc.h"
#include "rpc/tls.h"
#include "rpc/xdr_call.h"
#include "rpc/xprt_common.h"
#include "util/log.h"

namespace {

using Clock = std::chrono::steady_clock;

struct ct_data {
  int ct_sock;
  int ct_closeit;
  timeval ct_wait;
  int ct_waitset;
  sockaddr_in ct_addr;
  rpc_err ct_error;
  char ct_mcall[24];
  unsigned int ct_mpos;
  XDR ct_xdrs;
  int ct_died;
  SSL* ct_ssl;
  int ct_reply_due;  // a call went out and nothing of its reply was read yet
};

long to_ms(const timeval& t) { return t.tv_sec * 1000L + t.tv_usec / 1000; }

ct_data* ct_of(CLIENT* h) { return reinterpret_cast<ct_data*>(h->cl_private); }

// Waits for the socket within the call's time, to the millisecond.
bool wait_sock(ct_data* ct, short events) {
  long ms = to_ms(ct->ct_wait);
  int r = VYRRPC__wait_fd(ct->ct_sock, events, ms > 0 ? static_cast<int>(ms) : 0);
  if (r == 1) return true;
  if (r == 0) {
    ct->ct_error.re_status = RPC_TIMEDOUT;
  } else {
    ct->ct_error.re_status = RPC_CANTRECV;
    ct->ct_error.re_errno = errno;
  }
  return false;
}

// Tries the read first; only a read that finds nothing waits, within the
// call's time. The first read of a reply waits at once: the server has
// hardly answered the moment its call went out.
int readtcp(char* handle, char* buf, unsigned int len) {
  ct_data* ct = reinterpret_cast<ct_data*>(handle);
  if (len == 0) return 0;
  if (ct->ct_reply_due) {
    ct->ct_reply_due = 0;
    if (!ct->ct_ssl && !wait_sock(ct, POLLIN)) return -1;
  }
  for (;;) {
    short want = POLLIN;
    if (ct->ct_ssl) {
      ERR_clear_error();
      int r = SSL_read(ct->ct_ssl, buf, static_cast<int>(len));
      if (r > 0) return r;
      int err = SSL_get_error(ct->ct_ssl, r);
      if (err == SSL_ERROR_WANT_WRITE) {
        want = POLLOUT;
      } else if (err != SSL_ERROR_WANT_READ) {
        ERR_clear_error();
        ct->ct_error.re_status = RPC_CANTRECV;
        ct->ct_error.re_errno = r == 0 ? ECONNRESET : errno;
        ct->ct_died = 1;
        return -1;
      }
    } else {
      ssize_t r = recv(ct->ct_sock, buf, len, 0);
      if (r > 0) return static_cast<int>(r);
      if (r == 0) {
        ct->ct_error.re_status = RPC_CANTRECV;
        ct->ct_error.re_errno = ECONNRESET;
        ct->ct_died = 1;
        return -1;
      }
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        ct->ct_error.re_status = RPC_CANTRECV;
        ct->ct_error.re_errno = errno;
        return -1;
      }
    }
    if (!wait_sock(ct, want)) return -1;
  }
}

int writetcp(char* handle, char* buf, unsigned int len) {
  ct_data* ct = reinterpret_cast<ct_data*>(handle);
  if (ct->ct_died) {
    if (ct->ct_error.re_status == RPC_SUCCESS) ct->ct_error.re_status = RPC_CANTSEND;
    return -1;
  }
  unsigned int sent = 0;
  while (sent < len) {
    short want = POLLOUT;
    if (ct->ct_ssl) {
      ERR_clear_error();
      int r = SSL_write(ct->ct_ssl, buf + sent, static_cast<int>(len - sent));
      if (r > 0) {
        sent += r;
        continue;
      }
      int err = SSL_get_error(ct->ct_ssl, r);
      if (err == SSL_ERROR_WANT_READ)
        want = POLLIN;
      else if (err != SSL_ERROR_WANT_WRITE) {
        ERR_clear_error();
        ct->ct_error.re_status = RPC_CANTSEND;
        ct->ct_error.re_errno = errno;
        return -1;
      }
    } else {
      ssize_t r = send(ct->ct_sock, buf + sent, len - sent, MSG_NOSIGNAL);
      if (r > 0) {
        sent += r;
        continue;
      }
      if (r < 0 && errno == EINTR) continue;
      if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        ct->ct_error.re_status = RPC_CANTSEND;
        ct->ct_error.re_errno = errno;
        return -1;
      }
    }
    long ms = to_ms(ct->ct_wait);
    if (VYRRPC__wait_fd(ct->ct_sock, want, ms > 0 ? static_cast<int>(ms) : 35000) != 1) {
      ct->ct_error.re_status = RPC_CANTSEND;
      ct->ct_error.re_errno = ETIMEDOUT;
      return -1;
    }
  }
  return static_cast<int>(len);
}

// Starts TLS on the connection; a failure leaves the handle dead.
bool start_tls(ct_data* ct, SSL_CTX* ctx) {
  ct->ct_ssl = VYRRPC__tls_new(ctx, ct->ct_sock, false);
  int ok = ct->ct_ssl ? VYRRPC__tls_handshake(ct->ct_ssl, ct->ct_sock, VYRRPC__svc_wait_ms) : 0;
  logit(LOG_DEBUG, __FILE__, __LINE__, "DO HANDSHAKE = %d", ok);
  if (!ok) {
    if (ct->ct_ssl) SSL_free(ct->ct_ssl);
    ct->ct_ssl = nullptr;
    ct->ct_error.re_status = RPC_AUTHERROR;
    ct->ct_error.re_errno = 0;
    ct->ct_died = 1;
    return false;
  }
  return true;
}

VYRRPC_CALLS_FILTERS
clnt_stat clnttcp_call(CLIENT* h, unsigned int proc, xdrproc_t xargs, char* argsp, xdrproc_t xresults,
                       char* resultsp, timeval timeout) {
  ct_data* ct = ct_of(h);
  XDR* xdrs = &ct->ct_xdrs;
  if (!ct->ct_waitset) ct->ct_wait = timeout;
  bool shipnow = !(xresults == nullptr && timeout.tv_sec == 0 && timeout.tv_usec == 0);
  int refreshes = 2;
  for (;;) {
    uint32_t word;
    memcpy(&word, ct->ct_mcall, 4);
    word--;
    memcpy(ct->ct_mcall, &word, 4);
    unsigned int x_id = ntohl(word);
    ct->ct_error.re_status = RPC_SUCCESS;
    xdrs->x_op = XDR_ENCODE;
    if (!xdrs->x_ops->x_putbytes(xdrs, ct->ct_mcall, ct->ct_mpos) || !VYRRPC_xdr_u_int(xdrs, &proc) ||
        !h->cl_auth->ah_ops->ah_marshal(h->cl_auth, xdrs) || !xargs(xdrs, argsp)) {
      if (ct->ct_error.re_status == RPC_SUCCESS) ct->ct_error.re_status = RPC_CANTENCODEARGS;
      // Nothing of an unencodable call goes out when it can still be dropped.
      if (!VYRRPC_xdrrec_discard(xdrs)) VYRRPC_xdrrec_endofrecord(xdrs, TRUE);
      return static_cast<clnt_stat>(ct->ct_error.re_status);
    }
    if (!VYRRPC_xdrrec_endofrecord(xdrs, shipnow)) {
      if (ct->ct_error.re_status == RPC_SUCCESS) ct->ct_error.re_status = RPC_CANTSEND;
      return static_cast<clnt_stat>(ct->ct_error.re_status);
    }
    if (!shipnow) return RPC_SUCCESS;
    if (timeout.tv_sec == 0 && timeout.tv_usec == 0)
      return ct->ct_error.re_status = RPC_TIMEDOUT, RPC_TIMEDOUT;
    ct->ct_reply_due = 1;

    rpc_msg reply{};
    xdrs->x_op = XDR_DECODE;
    for (;;) {
      reply = rpc_msg{};
      reply.acpted_rply.ar_verf = VYRRPC__null_auth;
      reply.acpted_rply.ar_results.where = nullptr;
      reply.acpted_rply.ar_results.proc = reinterpret_cast<xdrproc_t>(VYRRPC_xdr_void);
      if (!VYRRPC_xdrrec_skiprecord(xdrs)) return static_cast<clnt_stat>(ct->ct_error.re_status);
      if (!VYRRPC_xdr_replymsg(xdrs, &reply)) {
        VYRRPC__free_verifier(xdrs, &reply.acpted_rply.ar_verf);
        xdrs->x_op = XDR_DECODE;
        if (ct->ct_error.re_status == RPC_SUCCESS) continue;
        return static_cast<clnt_stat>(ct->ct_error.re_status);
      }
      if (reply.rm_xid == x_id) break;
      VYRRPC__free_verifier(xdrs, &reply.acpted_rply.ar_verf);
      xdrs->x_op = XDR_DECODE;
    }
    VYRRPC__seterr_reply(&reply, &ct->ct_error);
    if (ct->ct_error.re_status == RPC_SUCCESS) {
      if (!h->cl_auth->ah_ops->ah_validate(h->cl_auth, &reply.acpted_rply.ar_verf)) {
        ct->ct_error.re_status = RPC_AUTHERROR;
        ct->ct_error.re_why = AUTH_INVALIDRESP;
      } else if (!xresults(xdrs, resultsp)) {
        if (ct->ct_error.re_status == RPC_SUCCESS) ct->ct_error.re_status = RPC_CANTDECODERES;
      } else if (!VYRRPC_xdrrec_skiprest(xdrs)) {
        // The reply's record never arrived whole: the server gave up on it.
        if (ct->ct_error.re_status == RPC_SUCCESS) ct->ct_error.re_status = RPC_CANTRECV;
      }
      VYRRPC__free_verifier(xdrs, &reply.acpted_rply.ar_verf);
    } else if (refreshes-- > 0 && h->cl_auth->ah_ops->ah_refresh(h->cl_auth)) {
      continue;
    }
    return static_cast<clnt_stat>(ct->ct_error.re_status);
  }
}

void clnttcp_geterr(CLIENT* h, rpc_err* e) { *e = ct_of(h)->ct_error; }

int clnttcp_freeres(CLIENT* h, xdrproc_t xres, char* resp) {
  return VYRRPC__free_with(&ct_of(h)->ct_xdrs, xres, resp);
}

void clnttcp_abort(CLIENT*) {}

int clnttcp_control(CLIENT* h, int request, char* info) {
  ct_data* ct = ct_of(h);
  switch (request) {
    case CLSET_TIMEOUT:
      ct->ct_wait = *reinterpret_cast<timeval*>(info);
      ct->ct_waitset = 1;
      return TRUE;
    case CLGET_TIMEOUT:
      *reinterpret_cast<timeval*>(info) = ct->ct_wait;
      return TRUE;
    case CLGET_SERVER_ADDR:
      *reinterpret_cast<sockaddr_in*>(info) = ct->ct_addr;
      return TRUE;
    case CLGET_TLS_CAPABLE:
      *reinterpret_cast<int*>(info) = 1;
      return TRUE;
    case CLGET_SSL:
      *reinterpret_cast<SSL**>(info) = ct->ct_ssl;
      return TRUE;
    case CLSET_START_TLS:
      if (ct->ct_ssl || info == nullptr) return FALSE;
      start_tls(ct, reinterpret_cast<SSL_CTX*>(info));
      return TRUE;
  }
  return FALSE;
}

void clnttcp_destroy(CLIENT* h) {
  ct_data* ct = ct_of(h);
  if (ct->ct_closeit) close(ct->ct_sock);
  if (ct->ct_ssl) SSL_free(ct->ct_ssl);
  VYRRPC_xdr_destroy(&ct->ct_xdrs);
  free(ct);
  free(h);
}

const clnt_ops tcp_ops = {clnttcp_call,    clnttcp_abort,   clnttcp_geterr,
                          clnttcp_freeres, clnttcp_destroy, clnttcp_control};

}  // namespace

unsigned int VYRRPC__clnt_xid_seed(void) {
  timeval now;
  gettimeofday(&now, nullptr);
  return static_cast<unsigned int>(getpid() ^ now.tv_sec ^ now.tv_usec);
}

CLIENT* VYRRPC_clntssl_create(void* ctx, sockaddr_in* raddr, unsigned int prog, unsigned int vers, int* sockp,
                              unsigned int sendsz, unsigned int recvsz) {
  CLIENT* h = static_cast<CLIENT*>(calloc(1, sizeof(CLIENT)));
  ct_data* ct = static_cast<ct_data*>(calloc(1, sizeof(ct_data)));
  if (!h || !ct) {
    VYRRPC__set_createerr(RPC_SYSTEMERROR, errno);
    free(h);
    free(ct);
    return nullptr;
  }
  auto fail = [&](clnt_stat st, int err) -> CLIENT* {
    VYRRPC__set_createerr(st, err);
    if (ct->ct_ssl) SSL_free(ct->ct_ssl);
    if (ct->ct_closeit) close(ct->ct_sock);
    free(ct);
    free(h);
    return nullptr;
  };
  ct->ct_sock = *sockp;
  if (*sockp < 0) {
    ct->ct_sock = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (ct->ct_sock < 0) return fail(RPC_SYSTEMERROR, errno);
    ct->ct_closeit = 1;
    int r;
    do r = connect(ct->ct_sock, reinterpret_cast<sockaddr*>(raddr), sizeof(sockaddr_in));
    while (r < 0 && errno == EINTR);
    if (r < 0) return fail(RPC_SYSTEMERROR, errno);
  }
  if (!VYRRPC__set_nonblock(ct->ct_sock)) return fail(RPC_SYSTEMERROR, errno);
  if (ctx && !start_tls(ct, static_cast<SSL_CTX*>(ctx))) return fail(RPC_AUTHERROR, 0);
  ct->ct_wait = timeval{0, 0};
  ct->ct_waitset = 0;
  ct->ct_died = 0;
  ct->ct_addr = *raddr;
  XDR x;
  VYRRPC_xdrmem_create(&x, ct->ct_mcall, sizeof ct->ct_mcall, XDR_ENCODE);
  if (!VYRRPC__put_call_header(&x, prog, vers)) return fail(RPC_SYSTEMERROR, 0);
  ct->ct_mpos = VYRRPC_xdr_getpos(&x);
  if (!VYRRPC_xdrrec_create(&ct->ct_xdrs, sendsz, recvsz, reinterpret_cast<char*>(ct), readtcp, writetcp))
    return fail(RPC_SYSTEMERROR, ENOMEM);
  h->cl_ops = &tcp_ops;
  h->cl_private = reinterpret_cast<char*>(ct);
  h->cl_auth = VYRRPC_authnone_create();
  // Writes never raise SIGPIPE (MSG_NOSIGNAL); a process without a handler of
  // its own still gets SIGPIPE ignored, as callers of this interface expect.
  struct sigaction old;
  if (sigaction(SIGPIPE, nullptr, &old) == 0 && old.sa_handler == SIG_DFL && !(old.sa_flags & SA_SIGINFO))
    signal(SIGPIPE, SIG_IGN);
  *sockp = ct->ct_sock;
  return h;
}

CLIENT* VYRRPC_clnttcp_create(sockaddr_in* raddr, unsigned int prog, unsigned int vers, int* sockp,
                              unsigned int sendsz, unsigned int recvsz) {
  return VYRRPC_clntssl_create(nullptr, raddr, prog, vers, sockp, sendsz, recvsz);
}
