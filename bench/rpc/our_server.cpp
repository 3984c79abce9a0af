// Our server of the benchmark program: echo of an int and replies of n bytes,
// on a loopback port it prints. Optional argument: the record buffer size.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "rpc/svc.h"
#include "fixtures/rpc_server/test_protocol.h"
#include "util/log.h"

namespace {
std::vector<char> big;

void dispatch(svc_req* rq, SVCXPRT* x) {
  if (serve_common(rq, x)) return;
  switch (rq->rq_proc) {
    case TP_BIG: {
      unsigned int n = 0;
      if (!VYRRPC_svc_getargs(x, XP(VYRRPC_xdr_u_int), reinterpret_cast<char*>(&n)) || n > big.size()) {
        VYRRPC_svcerr_decode(x);
        return;
      }
      Blob b{big.data(), n};
      VYRRPC_svc_sendreply(x, XP(xdr_blob), reinterpret_cast<char*>(&b));
      return;
    }
    default:
      VYRRPC_svcerr_noproc(x);
  }
}
}  // namespace

int main(int argc, char** argv) {
  unsigned int bufsize = argc > 1 ? static_cast<unsigned int>(atoi(argv[1])) : 0;
  big.resize(16u << 20);
  for (size_t i = 0; i < big.size(); i++) big[i] = static_cast<char>(i * 31);
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return 1;
  socklen_t len = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  SVCXPRT* x = VYRRPC_svctcp_create(s, bufsize, bufsize);
  if (!x || !VYRRPC_svc_register(x, TESTPROG, TESTVERS, dispatch, 0)) return 1;
  printf("%d\n", ntohs(a.sin_port));
  fflush(stdout);
  VYRRPC_svc_run();
  return 1;
}
