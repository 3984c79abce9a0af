// Server side of the RPC runtime: transports, the registry of transports and
// served programs, the service loop and the request cycle, the standard
// replies, and the TCP/TLS and UDP transports.
//
// The agent makes its transports on inherited descriptors, registers its
// program with a dispatch function and runs VYRRPC_svc_run in its only
// thread. The dispatch function decodes arguments with VYRRPC_svc_getargs,
// answers with VYRRPC_svc_sendreply or a VYRRPC_svcerr_* reply and frees the
// arguments with VYRRPC_svc_freeargs.
#pragma once

#include <signal.h>
#include <sys/select.h>
#include <sys/socket.h>

#include "rpc/rpc_msg.h"

enum xprt_stat { XPRT_DIED = 0, XPRT_MOREREQS = 1, XPRT_IDLE = 2 };

// What a transport is; fixed when it is made.
enum xprt_kind { XPRT_LISTENER = 1, XPRT_CONNECTION = 2, XPRT_DATAGRAM = 3 };

struct SVCXPRT;

struct svc_xp_ops {
  int (*xp_recv)(SVCXPRT*, rpc_msg*);
  xprt_stat (*xp_stat)(SVCXPRT*);
  int (*xp_getargs)(SVCXPRT*, xdrproc_t, char* args);
  int (*xp_reply)(SVCXPRT*, rpc_msg*);
  int (*xp_freeargs)(SVCXPRT*, xdrproc_t, char* args);
  void (*xp_destroy)(SVCXPRT*);
  int (*xp_control)(SVCXPRT*, int request, char* info);
};

struct SVCXPRT {
  int xp_sock;
  unsigned short xp_port;  // local port (host order) of a listener or datagram transport; 0 otherwise
  xprt_kind xp_kind;
  const svc_xp_ops* xp_ops;
  socklen_t xp_addrlen;
  sockaddr_storage xp_raddr;  // peer: from accept, or the sender of the last datagram
  opaque_auth xp_verf;        // verifier of the next reply; body buffer of 400 bytes
  char* xp_p1;
  char* xp_p2;
  // What the service loop waits for on xp_sock (POLLIN, POLLOUT; 0 for
  // nothing), and when it calls the transport whether or not the socket is
  // ready (VYRRPC__svc_now_ms time; 0: never). The transport keeps both up to
  // date after each of its steps.
  short xp_events;
  long long xp_wake_ms;
  // Tells accepted connections apart for the life of the process (never
  // reused); 0 for listeners and datagram transports.
  unsigned long long xp_serial;
};

// A received call, as the dispatch function sees it.
struct svc_req {
  unsigned int rq_prog;
  unsigned int rq_vers;
  unsigned int rq_proc;
  opaque_auth rq_cred;
  char* rq_clntcred;  // the decoded credential (struct area for UNIX credentials)
  SVCXPRT* rq_xprt;
};

typedef void (*svcproc_t)(svc_req*, SVCXPRT*);

// Transport control requests.
enum {
  VYRRPC_SVCCTL_THREADING = 1,    // listener: one thread per later connection
  VYRRPC_SVCCTL_TLS_CAPABLE = 2,  // int*: 1 when TLS can be carried
  VYRRPC_SVCCTL_GET_SSL_CTX = 3,  // SSL_CTX**
  VYRRPC_SVCCTL_SET_SSL_CTX = 4,  // SSL_CTX*: listener: TLS at accept; connection: TLS after the next reply
  VYRRPC_SVCCTL_GET_SSL = 5,      // SSL**
};

// The transport operations, as functions.
inline int VYRRPC_svc_getargs(SVCXPRT* x, xdrproc_t proc, char* args) {
  return x->xp_ops->xp_getargs(x, proc, args);
}
inline int VYRRPC_svc_freeargs(SVCXPRT* x, xdrproc_t proc, char* args) {
  return x->xp_ops->xp_freeargs(x, proc, args);
}
inline int VYRRPC_svc_control(SVCXPRT* x, int request, char* info) {
  return x->xp_ops->xp_control(x, request, info);
}

// Registry.
void VYRRPC_xprt_register(SVCXPRT*);
void VYRRPC_xprt_unregister(SVCXPRT*);
int VYRRPC__svc_getmaxfds(void);
extern fd_set VYRRPC__svc_fdset;  // registered descriptors below FD_SETSIZE
int VYRRPC_svc_register(SVCXPRT*, unsigned int prog, unsigned int vers, svcproc_t dispatch, int protocol);
void VYRRPC_svc_unregister(unsigned int prog, unsigned int vers);

// Replies.
int VYRRPC_svc_sendreply(SVCXPRT*, xdrproc_t xdr_results, char* xdr_location);
void VYRRPC_svcerr_noproc(SVCXPRT*);
void VYRRPC_svcerr_decode(SVCXPRT*);
void VYRRPC_svcerr_systemerr(SVCXPRT*);
void VYRRPC_svcerr_noprog(SVCXPRT*);
void VYRRPC_svcerr_progvers(SVCXPRT*, unsigned int low, unsigned int high);
void VYRRPC_svcerr_auth(SVCXPRT*, auth_stat why);
void VYRRPC_svcerr_weakauth(SVCXPRT*);

// Serving.
xprt_stat VYRRPC_svc_doreq(SVCXPRT*);
void VYRRPC_svc_getreqset(fd_set*);
void VYRRPC_svc_getreq(int fd);
// Waits on every registered transport and serves the ready ones; returns
// only when the wait fails.
void VYRRPC_svc_run(void);
// One pass of the service loop, for a caller that runs its own loop: waits on
// every registered transport (any descriptor number) for what it asked for,
// until the earliest time a transport asked to be called, with the given
// signal mask in force during the wait (null: the current one), then serves
// the ready and the due ones. The number of ready descriptors, or -1 with
// errno (EINTR when a signal came).
int VYRRPC_svc_poll_once(const sigset_t* sigmask);

// Shuts down the connections served by their own threads and waits at most
// waitMs for those threads to end; TRUE when none is left.
int VYRRPC_svc_end_threads(int waitMs);

// Called with a gone transport's address when a connection thread ends.
extern void (*_svc_threadterm_hook)(SVCXPRT*);

// Called with a TCP connection transport that is about to be destroyed (its
// peer closed it, it failed, or it ran past a deadline), while its address and
// serial are still valid; null unless the program sets it.
extern void (*_svc_conn_closed_hook)(SVCXPRT*);

// The time a connection has for a whole record, for a whole reply to be taken
// by its peer, and for a TLS handshake, in milliseconds (35 s). Each deadline
// runs from the first byte of the record, the first byte of the reply that
// could not be sent at once, and the start of the handshake; a connection past
// any of them is dropped.
extern int VYRRPC__svc_wait_ms;

// The longest record a connection may send, fragment marks included; a
// longer claim drops the connection.
extern unsigned long long VYRRPC__svc_max_record;

// A monotonic clock in milliseconds, the time base of xp_wake_ms.
long long VYRRPC__svc_now_ms(void);

// Authentication of a received call (rpc/svc_auth.cpp).
auth_stat VYRRPC__authenticate(svc_req*, rpc_msg*);
auth_stat VYRRPC__svcauth_null(svc_req*, rpc_msg*);
auth_stat VYRRPC__svcauth_unix(svc_req*, rpc_msg*);
auth_stat VYRRPC__svcauth_short(svc_req*, rpc_msg*);

// TCP transports (rpc/svc_tcp.cpp). ctx is an SSL_CTX*, or null.
SVCXPRT* VYRRPC_svctcp_create(int sock, unsigned int sendsize, unsigned int recvsize);
SVCXPRT* VYRRPC_svcssl_create(void* ctx, int sock, unsigned int sendsize, unsigned int recvsize);
SVCXPRT* VYRRPC_makefd_xprt(int fd, unsigned int sendsize, unsigned int recvsize);

// TLS contexts (rpc/tls.cpp): an SSL_CTX* or null.
void* VYRRPC_new_ssl_ctx(int forServer, const char* certFile);
void VYRRPC_free_ssl_ctx(void* ctx);

// UDP transport and reply cache (rpc/svc_udp.cpp).
SVCXPRT* VYRRPC_svcudp_create(int sock);
SVCXPRT* VYRRPC_svcudp_bufcreate(int sock, unsigned int sendsz, unsigned int recvsz);
int VYRRPC_svcudp_enablecache(SVCXPRT* transp, unsigned int size);

// Socket helpers (rpc/bindresv.cpp).
struct sockaddr_in;
int VYRRPC_bindresvport(int sd, sockaddr_in* sin);
int VYRRPC__rpc_dtablesize(void);
