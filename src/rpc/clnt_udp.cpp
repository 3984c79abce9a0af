// UDP client handles: one datagram per call, resent every retransmission
// interval until a reply with the call's xid arrives or the total time is spent.
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "rpc/clnt.h"
#include "rpc/tls.h"
#include "rpc/xdr_call.h"
#include "rpc/xprt_common.h"

namespace {

using Clock = std::chrono::steady_clock;

struct cu_data {
  int cu_sock;
  int cu_closeit;
  sockaddr_in cu_raddr;
  int cu_rlen;
  timeval cu_wait;
  timeval cu_total;
  rpc_err cu_error;
  XDR cu_outxdrs;
  unsigned int cu_xdrpos;
  unsigned int cu_sendsz;
  unsigned int cu_recvsz;
  char* cu_outbuf;
  char cu_inbuf[1];
};

cu_data* cu_of(CLIENT* h) { return reinterpret_cast<cu_data*>(h->cl_private); }
long to_ms(const timeval& t) { return t.tv_sec * 1000L + t.tv_usec / 1000; }

VYRRPC_CALLS_FILTERS
clnt_stat clntudp_call(CLIENT* h, unsigned int proc, xdrproc_t xargs, char* argsp, xdrproc_t xresults,
                       char* resultsp, timeval utimeout) {
  cu_data* cu = cu_of(h);
  long total_ms = cu->cu_total.tv_usec == -1 ? to_ms(utimeout) : to_ms(cu->cu_total);
  long wait_ms = to_ms(cu->cu_wait);
  if (wait_ms <= 0) wait_ms = 1;
  XDR* xdrs = &cu->cu_outxdrs;
  xdrs->x_op = XDR_ENCODE;
  VYRRPC_xdr_setpos(xdrs, cu->cu_xdrpos);
  uint16_t half;
  memcpy(&half, cu->cu_outbuf, 2);
  half++;
  memcpy(cu->cu_outbuf, &half, 2);
  if (!VYRRPC_xdr_u_int(xdrs, &proc) || !h->cl_auth->ah_ops->ah_marshal(h->cl_auth, xdrs) ||
      !xargs(xdrs, argsp))
    return static_cast<clnt_stat>(cu->cu_error.re_status = RPC_CANTENCODEARGS);
  unsigned int outlen = VYRRPC_xdr_getpos(xdrs);
  uint32_t xid;
  memcpy(&xid, cu->cu_outbuf, 4);

  auto start = Clock::now();
  ssize_t got = -1;
  for (;;) {
    ssize_t n = sendto(cu->cu_sock, cu->cu_outbuf, outlen, 0, reinterpret_cast<sockaddr*>(&cu->cu_raddr),
                       cu->cu_rlen);
    if (n != static_cast<ssize_t>(outlen)) {
      cu->cu_error.re_errno = errno;
      return static_cast<clnt_stat>(cu->cu_error.re_status = RPC_CANTSEND);
    }
    if (total_ms <= 0) return static_cast<clnt_stat>(cu->cu_error.re_status = RPC_TIMEDOUT);
    // Wait one retransmission interval, never past the total time.
    auto round_end = std::min(Clock::now() + std::chrono::milliseconds(wait_ms),
                              start + std::chrono::milliseconds(total_ms));
    got = -1;
    for (;;) {
      long left = std::chrono::duration_cast<std::chrono::milliseconds>(round_end - Clock::now()).count();
      int r = VYRRPC__wait_fd(cu->cu_sock, POLLIN, left > 0 ? static_cast<int>(left) : 0);
      if (r < 0) {
        cu->cu_error.re_errno = errno;
        return static_cast<clnt_stat>(cu->cu_error.re_status = RPC_CANTRECV);
      }
      if (r == 0) {
        if (Clock::now() < round_end) continue;  // poll counts whole milliseconds
        break;
      }
      sockaddr_in from;
      socklen_t fromlen = sizeof from;
      got =
          recvfrom(cu->cu_sock, cu->cu_inbuf, cu->cu_recvsz, 0, reinterpret_cast<sockaddr*>(&from), &fromlen);
      if (got < 0) {
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
        cu->cu_error.re_errno = errno;
        return static_cast<clnt_stat>(cu->cu_error.re_status = RPC_CANTRECV);
      }
      if (got >= 4 && memcmp(cu->cu_inbuf, &xid, 4) == 0) break;
      got = -1;  // not our reply
    }
    if (got >= 4) break;
    if (Clock::now() >= start + std::chrono::milliseconds(total_ms))
      return static_cast<clnt_stat>(cu->cu_error.re_status = RPC_TIMEDOUT);
  }

  XDR in;
  // Only the bytes received are decoded.
  VYRRPC_xdrmem_create(&in, cu->cu_inbuf, static_cast<unsigned int>(got), XDR_DECODE);
  rpc_msg reply{};
  reply.acpted_rply.ar_verf = VYRRPC__null_auth;
  reply.acpted_rply.ar_results.where = resultsp;
  reply.acpted_rply.ar_results.proc = xresults;
  if (VYRRPC_xdr_replymsg(&in, &reply)) {
    VYRRPC__seterr_reply(&reply, &cu->cu_error);
    if (cu->cu_error.re_status == RPC_SUCCESS &&
        !h->cl_auth->ah_ops->ah_validate(h->cl_auth, &reply.acpted_rply.ar_verf)) {
      cu->cu_error.re_status = RPC_AUTHERROR;
      cu->cu_error.re_why = AUTH_INVALIDRESP;
    }
    VYRRPC__free_verifier(&in, &reply.acpted_rply.ar_verf);
  } else {
    cu->cu_error.re_status = RPC_CANTDECODERES;
  }
  return static_cast<clnt_stat>(cu->cu_error.re_status);
}

void clntudp_geterr(CLIENT* h, rpc_err* e) { *e = cu_of(h)->cu_error; }

int clntudp_freeres(CLIENT* h, xdrproc_t xres, char* resp) {
  return VYRRPC__free_with(&cu_of(h)->cu_outxdrs, xres, resp);
}

void clntudp_abort(CLIENT*) {}

int clntudp_control(CLIENT* h, int request, char* info) {
  cu_data* cu = cu_of(h);
  switch (request) {
    case CLSET_TIMEOUT:
      cu->cu_total = *reinterpret_cast<timeval*>(info);
      return TRUE;
    case CLGET_TIMEOUT:
      *reinterpret_cast<timeval*>(info) = cu->cu_total;
      return TRUE;
    case CLGET_SERVER_ADDR:
      *reinterpret_cast<sockaddr_in*>(info) = cu->cu_raddr;
      return TRUE;
    case CLSET_RETRY_TIMEOUT:
      cu->cu_wait = *reinterpret_cast<timeval*>(info);
      return TRUE;
    case CLGET_RETRY_TIMEOUT:
      *reinterpret_cast<timeval*>(info) = cu->cu_wait;
      return TRUE;
  }
  return FALSE;
}

void clntudp_destroy(CLIENT* h) {
  cu_data* cu = cu_of(h);
  if (cu->cu_closeit) close(cu->cu_sock);
  VYRRPC_xdr_destroy(&cu->cu_outxdrs);
  free(cu);
  free(h);
}

const clnt_ops udp_ops = {clntudp_call,    clntudp_abort,   clntudp_geterr,
                          clntudp_freeres, clntudp_destroy, clntudp_control};

}  // namespace

CLIENT* VYRRPC_clntudp_bufcreate(sockaddr_in* raddr, unsigned int program, unsigned int version, timeval wait,
                                 int* sockp, unsigned int sendsz, unsigned int recvsz) {
  uint64_t s4 = (static_cast<uint64_t>(sendsz) + 3) / 4 * 4;
  uint64_t r4 = (static_cast<uint64_t>(recvsz) + 3) / 4 * 4;
  if (s4 < 4 || r4 < 4 || s4 > 0xFFFFFFFCu || r4 > 0xFFFFFFFCu) {
    VYRRPC__set_createerr(RPC_SYSTEMERROR, EINVAL);
    return nullptr;
  }
  CLIENT* h = static_cast<CLIENT*>(calloc(1, sizeof(CLIENT)));
  cu_data* cu = static_cast<cu_data*>(calloc(1, sizeof(cu_data) + r4 + s4));
  if (!h || !cu) {
    VYRRPC__set_createerr(RPC_SYSTEMERROR, errno);
    free(h);
    free(cu);
    return nullptr;
  }
  cu->cu_outbuf = cu->cu_inbuf + r4;
  if (raddr->sin_port == 0) {
    unsigned short port = VYRRPC_pmap_getport(raddr, program, version, IPPROTO_UDP);
    if (port == 0) {
      free(cu);
      free(h);
      return nullptr;
    }
    raddr->sin_port = htons(port);
  }
  h->cl_ops = &udp_ops;
  h->cl_private = reinterpret_cast<char*>(cu);
  cu->cu_raddr = *raddr;
  cu->cu_rlen = sizeof(cu->cu_raddr);
  cu->cu_wait = wait;
  cu->cu_total.tv_sec = -1;
  cu->cu_total.tv_usec = -1;
  cu->cu_sendsz = static_cast<unsigned int>(s4);
  cu->cu_recvsz = static_cast<unsigned int>(r4);
  VYRRPC_xdrmem_create(&cu->cu_outxdrs, cu->cu_outbuf, cu->cu_sendsz, XDR_ENCODE);
  if (!VYRRPC__put_call_header(&cu->cu_outxdrs, program, version)) {
    VYRRPC__set_createerr(RPC_SYSTEMERROR, 0);
    free(cu);
    free(h);
    return nullptr;
  }
  cu->cu_xdrpos = VYRRPC_xdr_getpos(&cu->cu_outxdrs);
  if (*sockp < 0) {
    int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_UDP);
    if (s < 0) {
      VYRRPC__set_createerr(RPC_SYSTEMERROR, errno);
      free(cu);
      free(h);
      return nullptr;
    }
    *sockp = s;
    cu->cu_closeit = 1;
  } else {
    VYRRPC__set_nonblock(*sockp);
  }
  cu->cu_sock = *sockp;
  h->cl_auth = VYRRPC_authnone_create();
  return h;
}

CLIENT* VYRRPC_clntudp_create(sockaddr_in* raddr, unsigned int program, unsigned int version, timeval wait,
                              int* sockp) {
  return VYRRPC_clntudp_bufcreate(raddr, program, version, wait, sockp, 8800, 8800);
}
