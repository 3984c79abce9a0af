// TCP server transports: the listener that accepts connections, and one
// transport per connection with its record stream, optionally inside TLS.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "rpc/record_stream.h"
#include "rpc/svc.h"
#include "rpc/tls.h"
#include "rpc/xdr_call.h"
#include "rpc/xprt_common.h"
#include "util/log.h"
#include "util/thread.h"

namespace {

struct tcp_rendezvous {
  unsigned int sendsize;
  unsigned int recvsize;
  int threading;
  SSL_CTX* ssl_ctx;
};

struct tcp_conn {
  xprt_stat strm_stat;
  unsigned int x_id;
  XDR xdrs;
  char verf_body[VYRRPC_MAX_AUTH_BYTES];
  int singlethreaded;
  int sslpending;
  SSL_CTX* ssl_ctx;
  SSL* ssl;
};

tcp_conn* conn_of(SVCXPRT* x) { return reinterpret_cast<tcp_conn*>(x->xp_p1); }

int rendezvous_recv(SVCXPRT*, rpc_msg*);
xprt_stat rendezvous_stat(SVCXPRT*) { return XPRT_IDLE; }
int rendezvous_getargs(SVCXPRT*, xdrproc_t, char*) { return FALSE; }
int rendezvous_reply(SVCXPRT*, rpc_msg*) { return FALSE; }
int rendezvous_freeargs(SVCXPRT*, xdrproc_t, char*) { return FALSE; }
int svctcp_recv(SVCXPRT*, rpc_msg*);
xprt_stat svctcp_stat(SVCXPRT*);
int svctcp_getargs(SVCXPRT*, xdrproc_t, char*);
int svctcp_reply(SVCXPRT*, rpc_msg*);
int svctcp_freeargs(SVCXPRT*, xdrproc_t, char*);
void svctcp_destroy(SVCXPRT*);
int svctcp_control(SVCXPRT*, int, char*);

const svc_xp_ops rendezvous_ops = {rendezvous_recv,     rendezvous_stat, rendezvous_getargs, rendezvous_reply,
                                   rendezvous_freeargs, svctcp_destroy,  svctcp_control};
const svc_xp_ops conn_ops = {svctcp_recv,     svctcp_stat,    svctcp_getargs, svctcp_reply,
                             svctcp_freeargs, svctcp_destroy, svctcp_control};

void mark_dead(SVCXPRT* x) { conn_of(x)->strm_stat = XPRT_DIED; }

bool tls_has_input(SSL* ssl) { return ssl && (SSL_pending(ssl) > 0 || SSL_has_pending(ssl)); }

// The record stream's read function. The socket is non-blocking: a read is
// tried first and only a read that finds nothing waits, for at most the
// record wait; a silent peer, a failed read or a closed connection kills the
// connection. Bytes TLS has already taken off the socket are read at once.
int readtcp(char* handle, char* buf, unsigned int len) {
  SVCXPRT* x = reinterpret_cast<SVCXPRT*>(handle);
  tcp_conn* cd = conn_of(x);
  int sock = x->xp_sock;
  for (;;) {
    short want = POLLIN;
    if (cd->ssl) {
      ERR_clear_error();
      int r = SSL_read(cd->ssl, buf, static_cast<int>(len));
      if (r > 0) return r;
      int err = SSL_get_error(cd->ssl, r);
      if (err == SSL_ERROR_WANT_WRITE)
        want = POLLOUT;
      else if (err != SSL_ERROR_WANT_READ) {
        ERR_clear_error();
        break;
      }
    } else {
      ssize_t r = recv(sock, buf, len, 0);
      if (r > 0) return static_cast<int>(r);
      if (r == 0) break;
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) break;
    }
    if (VYRRPC__wait_fd(sock, want, VYRRPC__svc_wait_ms) != 1) break;
  }
  mark_dead(x);
  return -1;
}

// The record stream's write function. A peer that does not read gets the same
// bounded wait for room, then the connection is dropped.
int writetcp(char* handle, char* buf, unsigned int len) {
  SVCXPRT* x = reinterpret_cast<SVCXPRT*>(handle);
  tcp_conn* cd = conn_of(x);
  int sock = x->xp_sock;
  unsigned int sent = 0;
  while (sent < len) {
    short want;
    if (cd->ssl) {
      ERR_clear_error();
      int r = SSL_write(cd->ssl, buf + sent, static_cast<int>(len - sent));
      if (r > 0) {
        sent += r;
        continue;
      }
      int err = SSL_get_error(cd->ssl, r);
      if (err == SSL_ERROR_WANT_WRITE)
        want = POLLOUT;
      else if (err == SSL_ERROR_WANT_READ)
        want = POLLIN;
      else {
        ERR_clear_error();
        mark_dead(x);
        return -1;
      }
    } else {
      ssize_t r = send(sock, buf + sent, len - sent, MSG_NOSIGNAL);
      if (r > 0) {
        sent += r;
        continue;
      }
      if (r < 0 && errno == EINTR) continue;
      if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        mark_dead(x);
        return -1;
      }
      want = POLLOUT;
    }
    if (VYRRPC__wait_fd(sock, want, VYRRPC__svc_wait_ms) != 1) {
      mark_dead(x);
      return -1;
    }
  }
  return static_cast<int>(len);
}

// A connection transport on fd; nothing is left behind on failure (the
// caller still owns fd and ssl).
SVCXPRT* make_conn(int fd, unsigned int sendsize, unsigned int recvsize, SSL_CTX* ctx, SSL* ssl) {
  if (!VYRRPC__set_nonblock(fd)) return nullptr;
  SVCXPRT* x = static_cast<SVCXPRT*>(calloc(1, sizeof(SVCXPRT)));
  tcp_conn* cd = static_cast<tcp_conn*>(calloc(1, sizeof(tcp_conn)));
  if (!x || !cd) {
    free(x);
    free(cd);
    return nullptr;
  }
  cd->strm_stat = XPRT_IDLE;
  cd->singlethreaded = 1;
  cd->ssl_ctx = ctx;
  cd->ssl = ssl;
  if (!VYRRPC_xdrrec_create(&cd->xdrs, sendsize, recvsize, reinterpret_cast<char*>(x), readtcp, writetcp)) {
    free(x);
    free(cd);
    return nullptr;
  }
  x->xp_sock = fd;
  x->xp_kind = XPRT_CONNECTION;
  x->xp_port = 0;
  x->xp_ops = &conn_ops;
  x->xp_p1 = reinterpret_cast<char*>(cd);
  x->xp_p2 = nullptr;
  x->xp_verf = VYRRPC__null_auth;
  x->xp_verf.oa_base = cd->verf_body;
  x->xp_addrlen = 0;
  return x;
}

int svctcp_handler(void* arg) {
  SVCXPRT* x = static_cast<SVCXPRT*>(arg);
  while (VYRRPC_svc_doreq(x) != XPRT_DIED) {
  }
  if (_svc_threadterm_hook) _svc_threadterm_hook(x);
  return 0;
}

int rendezvous_recv(SVCXPRT* x, rpc_msg*) {
  tcp_rendezvous* r = reinterpret_cast<tcp_rendezvous*>(x->xp_p1);
  sockaddr_storage addr;
  socklen_t len;
  int fd;
  do {
    len = sizeof addr;
    fd = accept4(x->xp_sock, reinterpret_cast<sockaddr*>(&addr), &len, SOCK_CLOEXEC | SOCK_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return FALSE;
  // Replies go out as soon as they are written, not when the peer's
  // acknowledgement of an earlier segment comes back.
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  SSL* ssl = nullptr;
  if (r->ssl_ctx) {
    ssl = VYRRPC__tls_new(r->ssl_ctx, fd, true);
    if (!ssl || !VYRRPC__tls_handshake(ssl, fd, VYRRPC__svc_wait_ms)) {
      if (ssl) SSL_free(ssl);
      close(fd);
      return FALSE;
    }
  }
  SVCXPRT* c = make_conn(fd, r->sendsize, r->recvsize, r->ssl_ctx, ssl);
  if (!c) {
    if (ssl) SSL_free(ssl);
    close(fd);
    return FALSE;
  }
  memcpy(&c->xp_raddr, &addr, len < sizeof addr ? len : sizeof addr);
  c->xp_addrlen = len;
  if (r->threading) {
    conn_of(c)->singlethreaded = 0;
    if (!VYR_thread_create(svctcp_handler, 0, c)) svctcp_destroy(c);
  } else {
    VYRRPC_xprt_register(c);
  }
  return FALSE;
}

int svctcp_recv(SVCXPRT* x, rpc_msg* msg) {
  tcp_conn* cd = conn_of(x);
  XDR* xdrs = &cd->xdrs;
  if (!cd->singlethreaded && VYRRPC_xdrrec_eof(xdrs) && !tls_has_input(cd->ssl)) {
    if (VYRRPC__wait_fd(x->xp_sock, POLLIN, -1) != 1) {
      cd->strm_stat = XPRT_DIED;
      return FALSE;
    }
  }
  xdrs->x_op = XDR_DECODE;
  if (VYRRPC_xdrrec_skiprecord(xdrs) && VYRRPC_xdr_callmsg(xdrs, msg)) {
    cd->x_id = msg->rm_xid;
    return TRUE;
  }
  // Framing lost (a malformed fragment mark): nothing more can be read.
  if (VYRRPC_xdrrec_broken(xdrs)) cd->strm_stat = XPRT_DIED;
  return FALSE;
}

xprt_stat svctcp_stat(SVCXPRT* x) {
  tcp_conn* cd = conn_of(x);
  if (cd->strm_stat == XPRT_DIED) return XPRT_DIED;
  // Records already decrypted by TLS count as buffered input: the socket
  // will not become readable for them again.
  if (!VYRRPC_xdrrec_eof(&cd->xdrs) || (cd->ssl && SSL_pending(cd->ssl) > 0)) return XPRT_MOREREQS;
  return XPRT_IDLE;
}

VYRRPC_CALLS_FILTERS
int svctcp_getargs(SVCXPRT* x, xdrproc_t proc, char* args) { return proc(&conn_of(x)->xdrs, args); }

int svctcp_freeargs(SVCXPRT* x, xdrproc_t proc, char* args) {
  return VYRRPC__free_with(&conn_of(x)->xdrs, proc, args);
}

int svctcp_reply(SVCXPRT* x, rpc_msg* msg) {
  tcp_conn* cd = conn_of(x);
  XDR* xdrs = &cd->xdrs;
  xdrs->x_op = XDR_ENCODE;
  msg->rm_xid = cd->x_id;
  int stat = VYRRPC_xdr_replymsg(xdrs, msg);
  if (!stat && cd->strm_stat != XPRT_DIED) {
    // Never send a truncated reply: drop what was encoded and answer with a
    // system error; when part of it already went out, drop the connection.
    logit(LOG_ERR, __FILE__, __LINE__, "unable to encode the reply to call %u", cd->x_id);
    if (!VYRRPC_xdrrec_discard(xdrs)) {
      cd->strm_stat = XPRT_DIED;
    } else {
      rpc_msg err = VYRRPC__system_err_reply(cd->x_id, x->xp_verf);
      if (!VYRRPC_xdr_replymsg(xdrs, &err)) cd->strm_stat = XPRT_DIED;
    }
  }
  if (cd->strm_stat != XPRT_DIED) VYRRPC_xdrrec_endofrecord(xdrs, TRUE);
  if (cd->sslpending && cd->strm_stat != XPRT_DIED) {
    cd->sslpending = 0;
    cd->ssl = VYRRPC__tls_new(cd->ssl_ctx, x->xp_sock, true);
    if (!cd->ssl || !VYRRPC__tls_handshake(cd->ssl, x->xp_sock, VYRRPC__svc_wait_ms))
      cd->strm_stat = XPRT_DIED;
  }
  return stat;
}

void svctcp_destroy(SVCXPRT* x) {
  close(x->xp_sock);
  if (x->xp_kind == XPRT_LISTENER) {
    VYRRPC_xprt_unregister(x);
    free(x->xp_p1);
    free(x);
    return;
  }
  tcp_conn* cd = conn_of(x);
  if (cd->singlethreaded) VYRRPC_xprt_unregister(x);
  VYRRPC_xdr_destroy(&cd->xdrs);
  if (cd->ssl) SSL_free(cd->ssl);
  free(cd);
  free(x);
}

int svctcp_control(SVCXPRT* x, int request, char* info) {
  bool listener = x->xp_kind == XPRT_LISTENER;
  tcp_rendezvous* r = listener ? reinterpret_cast<tcp_rendezvous*>(x->xp_p1) : nullptr;
  tcp_conn* cd = listener ? nullptr : conn_of(x);
  switch (request) {
    case VYRRPC_SVCCTL_THREADING:
      if (r) r->threading = 1;
      return TRUE;
    case VYRRPC_SVCCTL_TLS_CAPABLE:
      *reinterpret_cast<int*>(info) = 1;
      return TRUE;
    case VYRRPC_SVCCTL_GET_SSL_CTX:
      *reinterpret_cast<SSL_CTX**>(info) = r ? r->ssl_ctx : cd->ssl_ctx;
      return TRUE;
    case VYRRPC_SVCCTL_SET_SSL_CTX:
      if (r) {
        r->ssl_ctx = reinterpret_cast<SSL_CTX*>(info);
        return TRUE;
      }
      if (cd->ssl_ctx || info == nullptr) return FALSE;
      cd->ssl_ctx = reinterpret_cast<SSL_CTX*>(info);
      cd->sslpending = 1;
      return TRUE;
    case VYRRPC_SVCCTL_GET_SSL:
      *reinterpret_cast<SSL**>(info) = r ? nullptr : cd->ssl;
      return TRUE;
  }
  return FALSE;
}

}  // namespace

SVCXPRT* VYRRPC_svcssl_create(void* ctx, int sock, unsigned int sendsize, unsigned int recvsize) {
  bool made = false;
  sockaddr_storage addr;
  socklen_t len = sizeof addr;
  if (sock == -1) {
    sock = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (sock < 0) return nullptr;
    made = true;
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    if (VYRRPC_bindresvport(sock, &sin) != 0) {
      sin.sin_port = 0;
      bind(sock, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
    }
  }
  if (getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    if (made) close(sock);
    return nullptr;
  }
  listen(sock, 32);
  SVCXPRT* x = static_cast<SVCXPRT*>(calloc(1, sizeof(SVCXPRT)));
  tcp_rendezvous* r = static_cast<tcp_rendezvous*>(calloc(1, sizeof(tcp_rendezvous)));
  if (!x || !r) {
    free(x);
    free(r);
    if (made) close(sock);
    return nullptr;
  }
  r->sendsize = sendsize;
  r->recvsize = recvsize;
  r->ssl_ctx = static_cast<SSL_CTX*>(ctx);
  x->xp_sock = sock;
  x->xp_kind = XPRT_LISTENER;
  x->xp_ops = &rendezvous_ops;
  x->xp_p1 = reinterpret_cast<char*>(r);
  x->xp_p2 = nullptr;
  x->xp_verf = VYRRPC__null_auth;
  if (addr.ss_family == AF_INET)
    x->xp_port = ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
  else if (addr.ss_family == AF_INET6)
    x->xp_port = ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port);
  VYRRPC_xprt_register(x);
  return x;
}

SVCXPRT* VYRRPC_svctcp_create(int sock, unsigned int sendsize, unsigned int recvsize) {
  return VYRRPC_svcssl_create(nullptr, sock, sendsize, recvsize);
}

SVCXPRT* VYRRPC_makefd_xprt(int fd, unsigned int sendsize, unsigned int recvsize) {
  return make_conn(fd, sendsize, recvsize, nullptr, nullptr);
}
