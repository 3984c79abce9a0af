// Client side of the RPC runtime: client handles over TCP (optionally inside
// TLS) and UDP, the null authenticator, and the port-mapper calls.
//
// The agent never calls out; the tests and the wire client use these handles.
// Handles are for one thread at a time. Their sockets are non-blocking so that
// every wait is bounded by the call's timeout.
#pragma once

#include <netinet/in.h>
#include <sys/time.h>

#include "rpc/rpc_msg.h"

struct AUTH;

struct auth_ops {
  void (*ah_nextverf)(AUTH*);
  int (*ah_marshal)(AUTH*, XDR*);
  int (*ah_validate)(AUTH*, opaque_auth*);
  int (*ah_refresh)(AUTH*);
  void (*ah_destroy)(AUTH*);
};

struct AUTH {
  opaque_auth ah_cred;
  opaque_auth ah_verf;
  des_block ah_key;
  const auth_ops* ah_ops;
  char* ah_private;
};

struct CLIENT;

struct clnt_ops {
  clnt_stat (*cl_call)(CLIENT*, unsigned int proc, xdrproc_t xargs, char* argsp, xdrproc_t xresults,
                       char* resultsp, timeval timeout);
  void (*cl_abort)(CLIENT*);
  void (*cl_geterr)(CLIENT*, rpc_err*);
  int (*cl_freeres)(CLIENT*, xdrproc_t, char*);
  void (*cl_destroy)(CLIENT*);
  int (*cl_control)(CLIENT*, int request, char* info);
};

struct CLIENT {
  AUTH* cl_auth;
  const clnt_ops* cl_ops;
  char* cl_private;
};

// Why the last handle creation failed.
struct rpc_createerr_t {
  enum_t cf_stat;  // clnt_stat
  rpc_err cf_error;
};
extern rpc_createerr_t VYRRPC__rpc_createerr;

// Control requests of client handles.
enum {
  CLSET_TIMEOUT = 1,        // timeval*: total time (TCP) / total time (UDP)
  CLGET_TIMEOUT = 2,        // timeval*
  CLGET_SERVER_ADDR = 3,    // sockaddr_in*
  CLSET_RETRY_TIMEOUT = 4,  // UDP: timeval* retransmission interval
  CLGET_RETRY_TIMEOUT = 5,  // UDP: timeval*
  CLGET_TLS_CAPABLE = 100,  // TCP: int*, 1
  CLGET_SSL = 101,          // TCP: SSL**
  CLSET_START_TLS = 102,    // TCP: SSL_CTX*: start TLS on the open connection
};

// Calls through a handle.
inline clnt_stat VYRRPC_clnt_call(CLIENT* c, unsigned int proc, xdrproc_t xargs, char* argsp, xdrproc_t xres,
                                  char* resp, timeval tout) {
  return c->cl_ops->cl_call(c, proc, xargs, argsp, xres, resp, tout);
}
inline void VYRRPC_clnt_geterr(CLIENT* c, rpc_err* e) { c->cl_ops->cl_geterr(c, e); }
inline int VYRRPC_clnt_freeres(CLIENT* c, xdrproc_t xres, char* resp) {
  return c->cl_ops->cl_freeres(c, xres, resp);
}
inline int VYRRPC_clnt_control(CLIENT* c, int request, char* info) {
  return c->cl_ops->cl_control(c, request, info);
}
inline void VYRRPC_clnt_destroy(CLIENT* c) { c->cl_ops->cl_destroy(c); }

// TCP clients. The port in raddr must be set. ctx is an SSL_CTX*: with one,
// the connection starts TLS at once, and a failed handshake gives null.
CLIENT* VYRRPC_clnttcp_create(sockaddr_in* raddr, unsigned int prog, unsigned int vers, int* sockp,
                              unsigned int sendsz, unsigned int recvsz);
CLIENT* VYRRPC_clntssl_create(void* ctx, sockaddr_in* raddr, unsigned int prog, unsigned int vers, int* sockp,
                              unsigned int sendsz, unsigned int recvsz);

// UDP clients: wait is the retransmission interval. A raddr without a port is
// looked up with the port mapper.
CLIENT* VYRRPC_clntudp_bufcreate(sockaddr_in* raddr, unsigned int program, unsigned int version, timeval wait,
                                 int* sockp, unsigned int sendsz, unsigned int recvsz);
CLIENT* VYRRPC_clntudp_create(sockaddr_in* raddr, unsigned int program, unsigned int version, timeval wait,
                              int* sockp);

// The one null authenticator of the process.
AUTH* VYRRPC_authnone_create(void);

// The host's first IPv4 address of an interface that is up, port 111.
int VYRRPC_get_myaddress(sockaddr_in* addr);

// Port mapper (program 100000, version 2, port 111).
struct pmap {
  unsigned int pm_prog;
  unsigned int pm_vers;
  unsigned int pm_prot;
  unsigned int pm_port;
};
struct pmaplist {
  pmap pml_map;
  pmaplist* pml_next;
};
struct rmtcallargs {
  unsigned int prog, vers, proc, arglen;
  char* args_ptr;
  xdrproc_t xdr_args;
};
struct rmtcallres {
  unsigned int* port_ptr;
  unsigned int resultslen;
  char* results_ptr;
  xdrproc_t xdr_results;
};

constexpr unsigned int PMAPPORT = 111;
constexpr unsigned int PMAPPROG = 100000;
constexpr unsigned int PMAPVERS = 2;

int VYRRPC_pmap_set(unsigned int program, unsigned int version, int protocol, unsigned short port);
int VYRRPC_pmap_unset(unsigned int program, unsigned int version);
unsigned short VYRRPC_pmap_getport(sockaddr_in* address, unsigned int program, unsigned int version,
                                   int protocol);
pmaplist* VYRRPC_pmap_getmaps(sockaddr_in* address);
clnt_stat VYRRPC_pmap_rmtcall(sockaddr_in* addr, unsigned int prog, unsigned int vers, unsigned int proc,
                              xdrproc_t xdrargs, char* argsp, xdrproc_t xdrres, char* resp, timeval tout,
                              unsigned int* port_ptr);
int VYRRPC_xdr_pmap(XDR*, pmap*);
int VYRRPC_xdr_pmaplist(XDR*, pmaplist**);
int VYRRPC_xdr_rmtcall_args(XDR*, rmtcallargs*);
int VYRRPC_xdr_rmtcallres(XDR*, rmtcallres*);
