// UDP server transport: one call per datagram, answered with one datagram to
// its sender; optional cache of sent replies for retransmitted calls.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "rpc/svc.h"
#include "rpc/xdr_call.h"
#include "rpc/xprt_common.h"
#include "util/log.h"

namespace {

struct cache_node {
  unsigned int cache_xid, cache_proc, cache_vers, cache_prog;
  sockaddr_storage cache_addr;
  socklen_t cache_addrlen;
  char* cache_reply;
  unsigned int cache_replylen;
  cache_node* cache_next;
};
typedef cache_node* cache_ptr;

struct udp_cache {
  unsigned int uc_size;
  cache_ptr* uc_entries;  // uc_size * 4 chains
  cache_ptr* uc_fifo;     // uc_size slots, in replacement order
  unsigned int uc_nextvictim;
  unsigned int uc_prog, uc_vers, uc_proc;
  sockaddr_storage uc_addr;
  socklen_t uc_addrlen;
};

struct svcudp_data {
  unsigned int su_iosz;
  unsigned int su_xid;
  XDR su_xdrs;
  char su_verfbody[VYRRPC_MAX_AUTH_BYTES];
  char* su_cache;
};

svcudp_data* su_data(SVCXPRT* x) { return reinterpret_cast<svcudp_data*>(x->xp_p2); }
udp_cache* cache_of(SVCXPRT* x) { return reinterpret_cast<udp_cache*>(su_data(x)->su_cache); }

bool same_sender(const sockaddr_storage& a, socklen_t alen, const SVCXPRT* x) {
  return alen == x->xp_addrlen && memcmp(&a, &x->xp_raddr, alen) == 0;
}

// Looks the call up; on a miss remembers it for storing its reply.
bool cache_get(SVCXPRT* x, rpc_msg* msg, char** replyp, unsigned int* lenp) {
  udp_cache* uc = cache_of(x);
  unsigned int xid = su_data(x)->su_xid;
  for (cache_ptr e = uc->uc_entries[xid % (uc->uc_size * 4)]; e; e = e->cache_next) {
    if (e->cache_xid == xid && e->cache_proc == msg->rm_call.cb_proc &&
        e->cache_vers == msg->rm_call.cb_vers && e->cache_prog == msg->rm_call.cb_prog &&
        same_sender(e->cache_addr, e->cache_addrlen, x)) {
      *replyp = e->cache_reply;
      *lenp = e->cache_replylen;
      return true;
    }
  }
  uc->uc_proc = msg->rm_call.cb_proc;
  uc->uc_vers = msg->rm_call.cb_vers;
  uc->uc_prog = msg->rm_call.cb_prog;
  uc->uc_addr = x->xp_raddr;
  uc->uc_addrlen = x->xp_addrlen;
  return false;
}

// Keeps the reply just sent: the transport's buffer goes to the cache and a
// free one (the victim's, or a new one) takes its place.
void cache_set(SVCXPRT* x, unsigned int replylen) {
  svcudp_data* su = su_data(x);
  udp_cache* uc = cache_of(x);
  cache_ptr victim = uc->uc_fifo[uc->uc_nextvictim];
  char* newbuf;
  if (victim) {
    cache_ptr* vp = &uc->uc_entries[victim->cache_xid % (uc->uc_size * 4)];
    while (*vp && *vp != victim) vp = &(*vp)->cache_next;
    if (!*vp) return;
    *vp = victim->cache_next;
    newbuf = victim->cache_reply;
  } else {
    victim = static_cast<cache_ptr>(calloc(1, sizeof(cache_node)));
    if (!victim) return;
    newbuf = static_cast<char*>(calloc(su->su_iosz, 1));
    if (!newbuf) {
      free(victim);
      return;
    }
  }
  victim->cache_replylen = replylen;
  victim->cache_reply = x->xp_p1;
  x->xp_p1 = newbuf;
  VYRRPC_xdrmem_create(&su->su_xdrs, x->xp_p1, su->su_iosz, XDR_ENCODE);
  victim->cache_xid = su->su_xid;
  victim->cache_proc = uc->uc_proc;
  victim->cache_vers = uc->uc_vers;
  victim->cache_prog = uc->uc_prog;
  victim->cache_addr = uc->uc_addr;
  victim->cache_addrlen = uc->uc_addrlen;
  cache_ptr* head = &uc->uc_entries[victim->cache_xid % (uc->uc_size * 4)];
  victim->cache_next = *head;
  *head = victim;
  uc->uc_fifo[uc->uc_nextvictim] = victim;
  uc->uc_nextvictim = (uc->uc_nextvictim + 1) % uc->uc_size;
}

int svcudp_recv(SVCXPRT* x, rpc_msg* msg) {
  svcudp_data* su = su_data(x);
  ssize_t rlen;
  do {
    x->xp_addrlen = sizeof(x->xp_raddr);
    rlen = recvfrom(x->xp_sock, x->xp_p1, su->su_iosz, 0, reinterpret_cast<sockaddr*>(&x->xp_raddr),
                    &x->xp_addrlen);
  } while (rlen < 0 && errno == EINTR);
  if (rlen < 16) return FALSE;
  // Decode only the bytes of this datagram, never what an earlier one left.
  VYRRPC_xdrmem_create(&su->su_xdrs, x->xp_p1, static_cast<unsigned int>(rlen), XDR_DECODE);
  if (!VYRRPC_xdr_callmsg(&su->su_xdrs, msg)) return FALSE;
  su->su_xid = msg->rm_xid;
  if (su->su_cache) {
    char* reply;
    unsigned int replylen;
    if (cache_get(x, msg, &reply, &replylen)) {
      sendto(x->xp_sock, reply, replylen, 0, reinterpret_cast<sockaddr*>(&x->xp_raddr), x->xp_addrlen);
      return FALSE;
    }
  }
  return TRUE;
}

xprt_stat svcudp_stat(SVCXPRT*) { return XPRT_IDLE; }

VYRRPC_CALLS_FILTERS
int svcudp_getargs(SVCXPRT* x, xdrproc_t proc, char* args) { return proc(&su_data(x)->su_xdrs, args); }

int svcudp_freeargs(SVCXPRT* x, xdrproc_t proc, char* args) {
  return VYRRPC__free_with(&su_data(x)->su_xdrs, proc, args);
}

int svcudp_reply(SVCXPRT* x, rpc_msg* msg) {
  svcudp_data* su = su_data(x);
  XDR* xdrs = &su->su_xdrs;
  VYRRPC_xdrmem_create(xdrs, x->xp_p1, su->su_iosz, XDR_ENCODE);
  msg->rm_xid = su->su_xid;
  int stat = VYRRPC_xdr_replymsg(xdrs, msg);
  if (!stat) {
    // Never send a truncated reply: answer with a system error instead.
    logit(LOG_ERR, __FILE__, __LINE__, "unable to encode the reply to call %u", su->su_xid);
    rpc_msg err = VYRRPC__system_err_reply(su->su_xid, x->xp_verf);
    VYRRPC_xdrmem_create(xdrs, x->xp_p1, su->su_iosz, XDR_ENCODE);
    if (!VYRRPC_xdr_replymsg(xdrs, &err)) return FALSE;
  }
  unsigned int slen = VYRRPC_xdr_getpos(xdrs);
  ssize_t n = sendto(x->xp_sock, x->xp_p1, slen, 0, reinterpret_cast<sockaddr*>(&x->xp_raddr), x->xp_addrlen);
  if (n != static_cast<ssize_t>(slen)) return FALSE;
  if (su->su_cache) cache_set(x, slen);
  return stat;
}

void svcudp_destroy(SVCXPRT* x) {
  svcudp_data* su = su_data(x);
  VYRRPC_xprt_unregister(x);
  close(x->xp_sock);
  VYRRPC_xdr_destroy(&su->su_xdrs);
  if (udp_cache* uc = cache_of(x)) {
    for (unsigned int i = 0; i < uc->uc_size; i++) {
      if (uc->uc_fifo[i]) {
        free(uc->uc_fifo[i]->cache_reply);
        free(uc->uc_fifo[i]);
      }
    }
    free(uc->uc_entries);
    free(uc->uc_fifo);
    free(uc);
  }
  free(x->xp_p1);
  free(su);
  free(x);
}

int svcudp_control(SVCXPRT*, int, char*) { return FALSE; }

const svc_xp_ops udp_ops = {svcudp_recv,     svcudp_stat,    svcudp_getargs, svcudp_reply,
                            svcudp_freeargs, svcudp_destroy, svcudp_control};

}  // namespace

SVCXPRT* VYRRPC_svcudp_bufcreate(int sock, unsigned int sendsz, unsigned int recvsz) {
  bool made = false;
  if (sock == -1) {
    sock = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (sock < 0) return nullptr;
    made = true;
  }
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  if (VYRRPC_bindresvport(sock, &sin) != 0) {
    sin.sin_port = 0;
    bind(sock, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
  }
  sockaddr_storage addr;
  socklen_t len = sizeof addr;
  uint64_t size = ((static_cast<uint64_t>(sendsz > recvsz ? sendsz : recvsz)) + 3) / 4 * 4;
  SVCXPRT* x = nullptr;
  svcudp_data* su = nullptr;
  char* buf = nullptr;
  if (getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &len) != 0 || size == 0 || size > 0xFFFFFFFCu)
    goto fail;
  x = static_cast<SVCXPRT*>(calloc(1, sizeof(SVCXPRT)));
  su = static_cast<svcudp_data*>(calloc(1, sizeof(svcudp_data)));
  buf = static_cast<char*>(calloc(size, 1));
  if (!x || !su || !buf) goto fail;
  su->su_iosz = static_cast<unsigned int>(size);
  VYRRPC_xdrmem_create(&su->su_xdrs, buf, su->su_iosz, XDR_DECODE);
  su->su_cache = nullptr;
  x->xp_sock = sock;
  x->xp_kind = XPRT_DATAGRAM;
  x->xp_events = POLLIN;
  x->xp_p1 = buf;
  x->xp_p2 = reinterpret_cast<char*>(su);
  x->xp_ops = &udp_ops;
  x->xp_verf = VYRRPC__null_auth;
  x->xp_verf.oa_base = su->su_verfbody;
  if (addr.ss_family == AF_INET)
    x->xp_port = ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
  else if (addr.ss_family == AF_INET6)
    x->xp_port = ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port);
  VYRRPC_xprt_register(x);
  return x;
fail:
  free(x);
  free(su);
  free(buf);
  if (made) close(sock);
  return nullptr;
}

SVCXPRT* VYRRPC_svcudp_create(int sock) { return VYRRPC_svcudp_bufcreate(sock, 8800, 8800); }

int VYRRPC_svcudp_enablecache(SVCXPRT* transp, unsigned int size) {
  svcudp_data* su = su_data(transp);
  if (su->su_cache || size == 0 || size > 0x3FFFFFFFu) return FALSE;
  udp_cache* uc = static_cast<udp_cache*>(calloc(1, sizeof(udp_cache)));
  if (!uc) return FALSE;
  uc->uc_size = size;
  uc->uc_nextvictim = 0;
  uc->uc_entries = static_cast<cache_ptr*>(calloc(static_cast<size_t>(size) * 4, sizeof(cache_ptr)));
  uc->uc_fifo = static_cast<cache_ptr*>(calloc(size, sizeof(cache_ptr)));
  if (!uc->uc_entries || !uc->uc_fifo) {
    free(uc->uc_entries);
    free(uc->uc_fifo);
    free(uc);
    return FALSE;
  }
  su->su_cache = reinterpret_cast<char*>(uc);
  return TRUE;
}
