// The test program served by rpc_test_server and called by the RPC tests and
// benchmarks: plain XDR types only.
#pragma once

#include "rpc/svc.h"
#include "rpc/xdr.h"

constexpr unsigned int TESTPROG = 0x20000001;
constexpr unsigned int TESTVERS = 2;

enum TestProc : unsigned int {
  TP_NULL = 0,
  TP_ECHO_INT = 1,      // int -> int
  TP_ECHO_BYTES = 2,    // opaque<> -> opaque<>
  TP_BIG = 3,           // unsigned n -> opaque<> of n bytes (byte i is i * 31)
  TP_START_TLS = 4,     // void -> bool: switch this connection to TLS after the reply
  TP_BAD_SMALL = 5,     // void -> a result that fails to encode after 8 bytes
  TP_BAD_LARGE = 6,     // void -> a result that fails to encode after 100000 bytes
  TP_COUNT = 7,         // void -> unsigned: how many times this procedure ran
  TP_TLS_CAPABLE = 8,   // void -> int: the transport's answer to control request 2
};

struct Blob {
  char* data;
  unsigned int len;
};

inline int xdr_blob(XDR* x, Blob* b) { return VYRRPC_xdr_bytes(x, &b->data, &b->len, ~0u); }

inline xdrproc_t XP(int (*f)(XDR*, Blob*)) { return reinterpret_cast<xdrproc_t>(f); }
inline xdrproc_t XP(int (*f)(XDR*, int*)) { return reinterpret_cast<xdrproc_t>(f); }
inline xdrproc_t XP(int (*f)(XDR*, unsigned int*)) { return reinterpret_cast<xdrproc_t>(f); }
inline xdrproc_t XP(int (*f)(XDR*, void*)) { return reinterpret_cast<xdrproc_t>(f); }

// Answers TP_NULL and TP_ECHO_INT, which every test server serves alike;
// false for any other procedure.
inline bool serve_common(svc_req* rq, SVCXPRT* x) {
  switch (rq->rq_proc) {
    case TP_NULL:
      VYRRPC_svc_sendreply(x, XP(VYRRPC_xdr_void), nullptr);
      return true;
    case TP_ECHO_INT: {
      int v = 0;
      if (VYRRPC_svc_getargs(x, XP(VYRRPC_xdr_int), reinterpret_cast<char*>(&v)))
        VYRRPC_svc_sendreply(x, XP(VYRRPC_xdr_int), reinterpret_cast<char*>(&v));
      else
        VYRRPC_svcerr_decode(x);
      return true;
    }
    default:
      return false;
  }
}
