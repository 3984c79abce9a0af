// Port-mapper calls (RFC 1833, version 2) and the host's own address.
#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "rpc/clnt.h"
#include "rpc/xdr_call.h"

namespace {

const timeval timeout = {5, 0};
const timeval tottimeout = {60, 0};

enum { PMAPPROC_SET = 1, PMAPPROC_UNSET = 2, PMAPPROC_GETPORT = 3, PMAPPROC_DUMP = 4, PMAPPROC_CALLIT = 5 };

xdrproc_t as_proc(int (*f)(XDR*, pmap*)) { return reinterpret_cast<xdrproc_t>(f); }

}  // namespace

int VYRRPC_xdr_pmap(XDR* xdrs, pmap* p) {
  return VYRRPC_xdr_u_int(xdrs, &p->pm_prog) && VYRRPC_xdr_u_int(xdrs, &p->pm_vers) &&
         VYRRPC_xdr_u_int(xdrs, &p->pm_prot) && VYRRPC_xdr_u_int(xdrs, &p->pm_port);
}

// A chain: a boolean before each element; iterative so that a long list
// cannot exhaust the stack.
int VYRRPC_xdr_pmaplist(XDR* xdrs, pmaplist** rp) {
  bool freeing = xdrs->x_op == XDR_FREE;
  pmaplist* hold = nullptr;  // when freeing: the element to release next
  for (;;) {
    int more = *rp != nullptr;
    if (!VYRRPC_xdr_bool(xdrs, &more)) return FALSE;
    if (!more) return TRUE;
    pmaplist* succ = freeing ? (*rp)->pml_next : nullptr;
    if (!VYRRPC_xdr_reference(xdrs, reinterpret_cast<char**>(rp), sizeof(pmaplist), as_proc(VYRRPC_xdr_pmap)))
      return FALSE;
    if (freeing) {
      hold = succ;
      rp = &hold;
    } else {
      rp = &(*rp)->pml_next;
    }
  }
}

VYRRPC_CALLS_FILTERS
int VYRRPC_xdr_rmtcall_args(XDR* xdrs, rmtcallargs* cap) {
  if (!VYRRPC_xdr_u_int(xdrs, &cap->prog) || !VYRRPC_xdr_u_int(xdrs, &cap->vers) ||
      !VYRRPC_xdr_u_int(xdrs, &cap->proc))
    return FALSE;
  unsigned int lenpos = VYRRPC_xdr_getpos(xdrs);
  if (!VYRRPC_xdr_u_int(xdrs, &cap->arglen)) return FALSE;
  unsigned int argpos = VYRRPC_xdr_getpos(xdrs);
  if (!cap->xdr_args(xdrs, cap->args_ptr)) return FALSE;
  unsigned int position = VYRRPC_xdr_getpos(xdrs);
  cap->arglen = position - argpos;
  return VYRRPC_xdr_setpos(xdrs, lenpos) && VYRRPC_xdr_u_int(xdrs, &cap->arglen) &&
         VYRRPC_xdr_setpos(xdrs, position);
}

VYRRPC_CALLS_FILTERS
int VYRRPC_xdr_rmtcallres(XDR* xdrs, rmtcallres* crp) {
  char* port_ptr = reinterpret_cast<char*>(crp->port_ptr);
  if (VYRRPC_xdr_reference(xdrs, &port_ptr, sizeof(unsigned int),
                           reinterpret_cast<xdrproc_t>(VYRRPC_xdr_u_int)) &&
      VYRRPC_xdr_u_int(xdrs, &crp->resultslen)) {
    crp->port_ptr = reinterpret_cast<unsigned int*>(port_ptr);
    return crp->xdr_results(xdrs, crp->results_ptr);
  }
  return FALSE;
}

int VYRRPC_get_myaddress(sockaddr_in* addr) {
  int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (s < 0) return -1;
  char buf[8192];
  ifconf ifc;
  ifc.ifc_len = sizeof buf;
  ifc.ifc_buf = buf;
  if (ioctl(s, SIOCGIFCONF, &ifc) < 0) {
    close(s);
    return -1;
  }
  ifreq* ifr = ifc.ifc_req;
  for (int n = ifc.ifc_len / static_cast<int>(sizeof(ifreq)); n > 0; n--, ifr++) {
    ifreq flags = *ifr;
    if (ioctl(s, SIOCGIFFLAGS, &flags) < 0) {
      close(s);
      return -1;
    }
    if ((flags.ifr_flags & IFF_UP) && ifr->ifr_addr.sa_family == AF_INET) {
      memcpy(addr, &ifr->ifr_addr, sizeof(sockaddr_in));
      addr->sin_port = htons(PMAPPORT);
      break;
    }
  }
  close(s);
  return 0;
}

int VYRRPC_pmap_set(unsigned int program, unsigned int version, int protocol, unsigned short port) {
  sockaddr_in myaddress{};
  if (VYRRPC_get_myaddress(&myaddress) != 0) return FALSE;
  int sock = -1;
  CLIENT* c = VYRRPC_clntudp_bufcreate(&myaddress, PMAPPROG, PMAPVERS, timeout, &sock, 400, 400);
  if (!c) return FALSE;
  pmap parms{program, version, static_cast<unsigned int>(protocol), port};
  int rslt = FALSE;
  if (VYRRPC_clnt_call(c, PMAPPROC_SET, as_proc(VYRRPC_xdr_pmap), reinterpret_cast<char*>(&parms),
                       reinterpret_cast<xdrproc_t>(VYRRPC_xdr_bool), reinterpret_cast<char*>(&rslt),
                       tottimeout) != RPC_SUCCESS)
    rslt = FALSE;
  VYRRPC_clnt_destroy(c);
  return rslt;
}

int VYRRPC_pmap_unset(unsigned int program, unsigned int version) {
  sockaddr_in myaddress{};
  if (VYRRPC_get_myaddress(&myaddress) != 0) return FALSE;
  int sock = -1;
  CLIENT* c = VYRRPC_clntudp_bufcreate(&myaddress, PMAPPROG, PMAPVERS, timeout, &sock, 400, 400);
  if (!c) return FALSE;
  pmap parms{program, version, 0, 0};
  int rslt = FALSE;
  VYRRPC_clnt_call(c, PMAPPROC_UNSET, as_proc(VYRRPC_xdr_pmap), reinterpret_cast<char*>(&parms),
                   reinterpret_cast<xdrproc_t>(VYRRPC_xdr_bool), reinterpret_cast<char*>(&rslt), tottimeout);
  VYRRPC_clnt_destroy(c);
  return rslt;
}

unsigned short VYRRPC_pmap_getport(sockaddr_in* address, unsigned int program, unsigned int version,
                                   int protocol) {
  unsigned short port = 0;
  int sock = -1;
  address->sin_port = htons(PMAPPORT);
  CLIENT* c = VYRRPC_clntudp_bufcreate(address, PMAPPROG, PMAPVERS, timeout, &sock, 400, 400);
  if (c) {
    pmap parms{program, version, static_cast<unsigned int>(protocol), 0};
    if (VYRRPC_clnt_call(c, PMAPPROC_GETPORT, as_proc(VYRRPC_xdr_pmap), reinterpret_cast<char*>(&parms),
                         reinterpret_cast<xdrproc_t>(VYRRPC_xdr_u_short), reinterpret_cast<char*>(&port),
                         tottimeout) != RPC_SUCCESS) {
      VYRRPC__rpc_createerr.cf_stat = RPC_PMAPFAILURE;
      VYRRPC_clnt_geterr(c, &VYRRPC__rpc_createerr.cf_error);
    } else if (port == 0) {
      VYRRPC__rpc_createerr.cf_stat = RPC_PROGNOTREGISTERED;
    }
    VYRRPC_clnt_destroy(c);
  }
  address->sin_port = 0;
  return port;
}

pmaplist* VYRRPC_pmap_getmaps(sockaddr_in* address) {
  pmaplist* head = nullptr;
  int sock = -1;
  address->sin_port = htons(PMAPPORT);
  CLIENT* c = VYRRPC_clnttcp_create(address, PMAPPROG, PMAPVERS, &sock, 50, 500);
  if (c) {
    if (VYRRPC_clnt_call(c, PMAPPROC_DUMP, reinterpret_cast<xdrproc_t>(VYRRPC_xdr_void), nullptr,
                         reinterpret_cast<xdrproc_t>(VYRRPC_xdr_pmaplist), reinterpret_cast<char*>(&head),
                         tottimeout) != RPC_SUCCESS) {
      VYRRPC_xdr_free(reinterpret_cast<xdrproc_t>(VYRRPC_xdr_pmaplist), reinterpret_cast<char*>(&head));
      head = nullptr;
    }
    VYRRPC_clnt_destroy(c);
  }
  address->sin_port = 0;
  return head;
}

clnt_stat VYRRPC_pmap_rmtcall(sockaddr_in* addr, unsigned int prog, unsigned int vers, unsigned int proc,
                              xdrproc_t xdrargs, char* argsp, xdrproc_t xdrres, char* resp, timeval tout,
                              unsigned int* port_ptr) {
  int sock = -1;
  clnt_stat stat = RPC_FAILED;
  addr->sin_port = htons(PMAPPORT);
  CLIENT* c = VYRRPC_clntudp_create(addr, PMAPPROG, PMAPVERS, timeout, &sock);
  if (c) {
    rmtcallargs a{prog, vers, proc, 0, argsp, xdrargs};
    rmtcallres r{port_ptr, 0, resp, xdrres};
    stat = VYRRPC_clnt_call(c, PMAPPROC_CALLIT, reinterpret_cast<xdrproc_t>(VYRRPC_xdr_rmtcall_args),
                            reinterpret_cast<char*>(&a), reinterpret_cast<xdrproc_t>(VYRRPC_xdr_rmtcallres),
                            reinterpret_cast<char*>(&r), tout);
    VYRRPC_clnt_destroy(c);
  }
  addr->sin_port = 0;
  return stat;
}
