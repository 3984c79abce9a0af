// Fuzzes what a peer controls: record marks and scrambled fragments, call
// headers, credentials and counted arguments, as the TCP transport reads them.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "rpc/record_stream.h"
#include "rpc/svc.h"
#include "rpc/xdr_call.h"

namespace {

struct Input {
  const uint8_t* data;
  size_t size, pos, chunk;
};

int read_input(char* h, char* buf, unsigned int len) {
  Input* in = reinterpret_cast<Input*>(h);
  if (in->pos >= in->size) return -1;
  size_t n = in->size - in->pos;
  if (n > len) n = len;
  if (n > in->chunk) n = in->chunk;
  memcpy(buf, in->data + in->pos, n);
  in->pos += n;
  return static_cast<int>(n);
}

int write_nothing(char*, char*, unsigned int len) { return static_cast<int>(len); }

struct Args {
  char* bytes;
  unsigned int len;
  char* str;
  int* arr;
  unsigned int count;
};

VYRRPC_CALLS_FILTERS
int xdr_args(XDR* x, Args* a) {
  return VYRRPC_xdr_bytes(x, &a->bytes, &a->len, ~0u) && VYRRPC_xdr_wrapstring(x, &a->str) &&
         VYRRPC_xdr_array(x, reinterpret_cast<char**>(&a->arr), &a->count, ~0u, sizeof(int),
                          reinterpret_cast<xdrproc_t>(VYRRPC_xdr_int));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  Input in{data + 1, size - 1, 0, static_cast<size_t>(data[0] % 16) + 1};
  XDR x;
  if (!VYRRPC_xdrrec_create(&x, 100, 100, reinterpret_cast<char*>(&in), read_input, write_nothing)) return 0;
  for (int calls = 0; calls < 8; calls++) {
    x.x_op = XDR_DECODE;
    alignas(8) char area_buf[1200];
    rpc_msg msg{};
    msg.rm_call.cb_cred.oa_base = area_buf;
    msg.rm_call.cb_verf.oa_base = area_buf + 400;
    if (!VYRRPC_xdrrec_skiprecord(&x) || !VYRRPC_xdr_callmsg(&x, &msg)) break;
    SVCXPRT xprt{};
    char verf[400];
    xprt.xp_verf.oa_base = verf;
    svc_req r{};
    r.rq_xprt = &xprt;
    r.rq_clntcred = area_buf + 800;
    VYRRPC__authenticate(&r, &msg);
    Args a{};
    (void)xdr_args(&x, &a);
    VYRRPC_xdr_free(reinterpret_cast<xdrproc_t>(xdr_args), reinterpret_cast<char*>(&a));
    if (VYRRPC_xdrrec_eof(&x)) break;
  }
  VYRRPC_xdr_destroy(&x);
  return 0;
}
