// The whole call header: fixed units, credential and verifier. Fixed-size
// parts go through the stream's inline buffer when it has one.
#include <arpa/inet.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "rpc/rpc_msg.h"

namespace {

unsigned int rndup(unsigned int n) { return (n + 3) & ~3u; }

void put(char*& p, uint32_t v) {
  v = htonl(v);
  memcpy(p, &v, 4);
  p += 4;
}

uint32_t get(const char*& p) {
  uint32_t v;
  memcpy(&v, p, 4);
  p += 4;
  return ntohl(v);
}

// Reads an authentication body of len bytes into oa_base (allocated when null).
int get_body(XDR* xdrs, opaque_auth* oa) {
  unsigned int len = oa->oa_length;
  if (len > VYRRPC_MAX_AUTH_BYTES) return FALSE;
  if (len == 0) return TRUE;
  if (oa->oa_base == nullptr) {
    oa->oa_base = static_cast<char*>(calloc(len, 1));
    if (!oa->oa_base) return FALSE;
  }
  const char* p = VYRRPC_xdr_inline(xdrs, rndup(len));
  if (p) {
    memcpy(oa->oa_base, p, len);
    return TRUE;
  }
  return VYRRPC_xdr_opaque(xdrs, oa->oa_base, len);
}

int decode_units(XDR* xdrs, rpc_msg* m) {
  call_body& c = m->rm_call;
  if (!VYRRPC_xdr_u_int(xdrs, &m->rm_xid) || !VYRRPC_xdr_enum(xdrs, &m->rm_direction)) return FALSE;
  if (m->rm_direction != CALL) return FALSE;
  if (!VYRRPC_xdr_u_int(xdrs, &c.cb_rpcvers) || c.cb_rpcvers != VYRRPC_RPC_MSG_VERSION) return FALSE;
  return VYRRPC_xdr_u_int(xdrs, &c.cb_prog) && VYRRPC_xdr_u_int(xdrs, &c.cb_vers) &&
         VYRRPC_xdr_u_int(xdrs, &c.cb_proc) && VYRRPC_xdr_enum(xdrs, &c.cb_cred.oa_flavor) &&
         VYRRPC_xdr_u_int(xdrs, &c.cb_cred.oa_length);
}

}  // namespace

int VYRRPC_xdr_callmsg(XDR* xdrs, rpc_msg* m) {
  call_body& c = m->rm_call;
  if (xdrs->x_op == XDR_ENCODE) {
    if (c.cb_cred.oa_length > VYRRPC_MAX_AUTH_BYTES || c.cb_verf.oa_length > VYRRPC_MAX_AUTH_BYTES)
      return FALSE;
    if (m->rm_direction != CALL || c.cb_rpcvers != VYRRPC_RPC_MSG_VERSION) return FALSE;
    char* p = VYRRPC_xdr_inline(xdrs, 40 + rndup(c.cb_cred.oa_length) + rndup(c.cb_verf.oa_length));
    if (p) {
      put(p, m->rm_xid);
      put(p, static_cast<uint32_t>(m->rm_direction));
      put(p, c.cb_rpcvers);
      put(p, c.cb_prog);
      put(p, c.cb_vers);
      put(p, c.cb_proc);
      for (opaque_auth* oa : {&c.cb_cred, &c.cb_verf}) {
        put(p, static_cast<uint32_t>(oa->oa_flavor));
        put(p, oa->oa_length);
        if (oa->oa_length) memcpy(p, oa->oa_base, oa->oa_length);
        memset(p + oa->oa_length, 0, rndup(oa->oa_length) - oa->oa_length);
        p += rndup(oa->oa_length);
      }
      return TRUE;
    }
    return VYRRPC_xdr_u_int(xdrs, &m->rm_xid) && VYRRPC_xdr_enum(xdrs, &m->rm_direction) &&
           VYRRPC_xdr_u_int(xdrs, &c.cb_rpcvers) && VYRRPC_xdr_u_int(xdrs, &c.cb_prog) &&
           VYRRPC_xdr_u_int(xdrs, &c.cb_vers) && VYRRPC_xdr_u_int(xdrs, &c.cb_proc) &&
           VYRRPC_xdr_opaque_auth(xdrs, &c.cb_cred) && VYRRPC_xdr_opaque_auth(xdrs, &c.cb_verf);
  }
  if (xdrs->x_op != XDR_DECODE) return FALSE;
  const char* p = VYRRPC_xdr_inline(xdrs, 32);
  if (p) {
    m->rm_xid = get(p);
    m->rm_direction = static_cast<enum_t>(get(p));
    if (m->rm_direction != CALL) return FALSE;
    c.cb_rpcvers = get(p);
    if (c.cb_rpcvers != VYRRPC_RPC_MSG_VERSION) return FALSE;
    c.cb_prog = get(p);
    c.cb_vers = get(p);
    c.cb_proc = get(p);
    c.cb_cred.oa_flavor = static_cast<enum_t>(get(p));
    c.cb_cred.oa_length = get(p);
  } else if (!decode_units(xdrs, m)) {
    return FALSE;
  }
  if (!get_body(xdrs, &c.cb_cred)) return FALSE;
  p = VYRRPC_xdr_inline(xdrs, 8);
  if (p) {
    c.cb_verf.oa_flavor = static_cast<enum_t>(get(p));
    c.cb_verf.oa_length = get(p);
  } else if (!VYRRPC_xdr_enum(xdrs, &c.cb_verf.oa_flavor) || !VYRRPC_xdr_u_int(xdrs, &c.cb_verf.oa_length)) {
    return FALSE;
  }
  return get_body(xdrs, &c.cb_verf);
}
