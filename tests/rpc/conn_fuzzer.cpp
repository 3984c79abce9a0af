// Fuzzes a TCP connection transport as the service loop drives it: whatever a
// peer sends (record marks, fragments, scrambled or not, cut anywhere) goes
// through the connection's own input buffer and framing into calls, which an
// echo procedure answers; then the peer closes. Nothing may crash, leak or
// wait.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "rpc/svc.h"
#include "test_protocol.h"

namespace {

void dispatch(svc_req* rq, SVCXPRT* x) {
  if (!serve_common(rq, x)) VYRRPC_svcerr_noproc(x);
}

bool registered = false;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  int sv[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return 0;
  // The peer never reads: replies that do not fit stay queued.
  fcntl(sv[1], F_SETFL, O_NONBLOCK);
  SVCXPRT* x = VYRRPC_makefd_xprt(sv[0], 0, 0);
  if (!x) {
    close(sv[0]);
    close(sv[1]);
    return 0;
  }
  if (!registered) registered = VYRRPC_svc_register(x, TESTPROG, TESTVERS, dispatch, 0);
  size_t chunk = static_cast<size_t>(data[0]) % 64 + 1;
  xprt_stat st = XPRT_IDLE;
  for (size_t pos = 1; pos < size && st != XPRT_DIED; pos += chunk) {
    size_t n = size - pos < chunk ? size - pos : chunk;
    if (write(sv[1], data + pos, n) < 0) break;
    st = VYRRPC_svc_doreq(x);
  }
  close(sv[1]);
  for (int pass = 0; pass < 64 && st != XPRT_DIED; pass++) st = VYRRPC_svc_doreq(x);
  if (st != XPRT_DIED) x->xp_ops->xp_destroy(x);
  return 0;
}
