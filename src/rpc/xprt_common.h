// Internal: small steps the TCP and UDP transports, client and server side,
// take alike.
#pragma once

#include "rpc/clnt.h"
#include "rpc/rpc_msg.h"
#include "rpc/xdr_call.h"

// Runs a filter in XDR_FREE mode on the transport's stream: frees what an
// earlier decode allocated. The stream stays in XDR_FREE mode.
VYRRPC_CALLS_FILTERS
inline int VYRRPC__free_with(XDR* xdrs, xdrproc_t proc, char* obj) {
  xdrs->x_op = XDR_FREE;
  return proc(xdrs, obj);
}

// Frees the body of a verifier a reply brought, if it has one (the stream is
// then left in XDR_FREE mode).
inline void VYRRPC__free_verifier(XDR* xdrs, opaque_auth* verf) {
  if (verf->oa_base) {
    xdrs->x_op = XDR_FREE;
    VYRRPC_xdr_opaque_auth(xdrs, verf);
  }
}

// Where the xids of a new client handle start: process id ^ seconds ^
// microseconds (defined with the TCP handles).
unsigned int VYRRPC__clnt_xid_seed(void);

// Records why a client handle could not be made.
inline void VYRRPC__set_createerr(clnt_stat st, int err) {
  VYRRPC__rpc_createerr.cf_stat = st;
  VYRRPC__rpc_createerr.cf_error.re_status = st;
  VYRRPC__rpc_createerr.cf_error.re_errno = err;
}

// Encodes the start every call of a new client handle shares: a fresh xid,
// the RPC version, program and version.
inline int VYRRPC__put_call_header(XDR* xdrs, unsigned int prog, unsigned int vers) {
  rpc_msg call{};
  call.rm_xid = VYRRPC__clnt_xid_seed();
  call.rm_call.cb_prog = prog;
  call.rm_call.cb_vers = vers;
  return VYRRPC_xdr_callhdr(xdrs, &call);
}

// The reply sent instead of one that could not be encoded whole: accepted,
// with SYSTEM_ERR and the verifier of the call.
inline rpc_msg VYRRPC__system_err_reply(unsigned int xid, const opaque_auth& verf) {
  rpc_msg err{};
  err.rm_xid = xid;
  err.rm_direction = REPLY;
  err.rm_reply.rp_stat = MSG_ACCEPTED;
  err.acpted_rply.ar_verf = verf;
  err.acpted_rply.ar_stat = SYSTEM_ERR;
  return err;
}
