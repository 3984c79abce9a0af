// rpc_test_server: serves the test program on the transports the launcher
// hands over ("+internal tcp=3,udp=4"), like the agent does.
//
// Options after the transport list:
//   --wait-ms N     record, write and handshake wait (default 35000)
//   --max-record N  longest record a connection may send
//   --cache N       reply cache of N entries on UDP transports
//   --crypt         scramble records sent
//   --tls-key FILE  key file for TP_START_TLS
//   --tls-accept    TCP connections start TLS at accept (with --tls-key)
//   --threaded      one thread per TCP connection
//   --high-fds      serve from descriptors above 1024
//   --log           debug log on standard error
#include <sys/resource.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "rpc/record_stream.h"
#include "rpc/svc.h"
#include "test_protocol.h"
#include "util/log.h"

namespace {

std::string tls_key;
void* tls_ctx = nullptr;
std::atomic<unsigned int> count_calls{0};

int bad_result(XDR* x, unsigned int* n) {
  std::vector<char> junk(*n, 'j');
  VYRRPC_xdr_opaque(x, junk.data(), *n);
  return FALSE;
}

void dispatch(svc_req* rq, SVCXPRT* x) {
  if (serve_common(rq, x)) return;
  switch (rq->rq_proc) {
    case TP_ECHO_BYTES: {
      Blob b{nullptr, 0};
      if (!VYRRPC_svc_getargs(x, XP(xdr_blob), reinterpret_cast<char*>(&b))) {
        VYRRPC_svc_freeargs(x, XP(xdr_blob), reinterpret_cast<char*>(&b));
        VYRRPC_svcerr_decode(x);
        return;
      }
      VYRRPC_svc_sendreply(x, XP(xdr_blob), reinterpret_cast<char*>(&b));
      VYRRPC_svc_freeargs(x, XP(xdr_blob), reinterpret_cast<char*>(&b));
      return;
    }
    case TP_BIG: {
      unsigned int n = 0;
      if (!VYRRPC_svc_getargs(x, XP(VYRRPC_xdr_u_int), reinterpret_cast<char*>(&n)) || n > (64u << 20)) {
        VYRRPC_svcerr_decode(x);
        return;
      }
      std::vector<char> data(n);
      for (unsigned int i = 0; i < n; i++) data[i] = static_cast<char>(i * 31);
      Blob b{data.data(), n};
      VYRRPC_svc_sendreply(x, XP(xdr_blob), reinterpret_cast<char*>(&b));
      return;
    }
    case TP_START_TLS: {
      int ok = FALSE;
      if (!tls_ctx && !tls_key.empty()) tls_ctx = VYRRPC_new_ssl_ctx(1, tls_key.c_str());
      if (tls_ctx) ok = VYRRPC_svc_control(x, VYRRPC_SVCCTL_SET_SSL_CTX, static_cast<char*>(tls_ctx));
      VYRRPC_svc_sendreply(x, XP(VYRRPC_xdr_bool), reinterpret_cast<char*>(&ok));
      return;
    }
    case TP_BAD_SMALL:
    case TP_BAD_LARGE: {
      unsigned int n = rq->rq_proc == TP_BAD_SMALL ? 8 : 100000;
      VYRRPC_svc_sendreply(x, XP(bad_result), reinterpret_cast<char*>(&n));
      return;
    }
    case TP_COUNT: {
      unsigned int n = ++count_calls;
      VYRRPC_svc_sendreply(x, XP(VYRRPC_xdr_u_int), reinterpret_cast<char*>(&n));
      return;
    }
    case TP_TLS_CAPABLE: {
      int capable = 0;
      VYRRPC_svc_control(x, VYRRPC_SVCCTL_TLS_CAPABLE, reinterpret_cast<char*>(&capable));
      VYRRPC_svc_sendreply(x, XP(VYRRPC_xdr_int), reinterpret_cast<char*>(&capable));
      return;
    }
    default:
      VYRRPC_svcerr_noproc(x);
  }
}

int move_high(int fd, int target) {
  if (dup2(fd, target) < 0) return -1;
  close(fd);
  return target;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || strcmp(argv[1], "+internal") != 0) {
    fprintf(stderr, "usage: rpc_test_server +internal LIST [options]\n");
    return 1;
  }
  std::string list = argv[2];
  if (list.empty()) list = "tcp=3,udp=4";
  unsigned int cache = 0;
  bool threaded = false, high = false, tls_accept = false;
  for (int i = 3; i < argc; i++) {
    std::string a = argv[i];
    if (a == "--wait-ms" && i + 1 < argc)
      VYRRPC__svc_wait_ms = atoi(argv[++i]);
    else if (a == "--max-record" && i + 1 < argc)
      VYRRPC__svc_max_record = strtoull(argv[++i], nullptr, 10);
    else if (a == "--cache" && i + 1 < argc)
      cache = static_cast<unsigned int>(atoi(argv[++i]));
    else if (a == "--crypt")
      VYRRPC__xdr_crypt = 1;
    else if (a == "--tls-key" && i + 1 < argc)
      tls_key = argv[++i];
    else if (a == "--threaded")
      threaded = true;
    else if (a == "--tls-accept")
      tls_accept = true;
    else if (a == "--high-fds")
      high = true;
    else if (a == "--log")
      log_open_fp2(stderr, 7, -1, 0x0C);
    else {
      fprintf(stderr, "rpc_test_server: unknown option %s\n", a.c_str());
      return 1;
    }
  }
  std::vector<int> fillers;
  if (high) {
    rlimit rl;
    getrlimit(RLIMIT_NOFILE, &rl);
    rl.rlim_cur = rl.rlim_max < 4096 ? rl.rlim_max : 4096;
    setrlimit(RLIMIT_NOFILE, &rl);
  }
  size_t pos = 0;
  int high_fd = 1500;
  while (pos <= list.size()) {
    size_t comma = list.find(',', pos);
    std::string entry = list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    pos = comma == std::string::npos ? list.size() + 1 : comma + 1;
    bool tcp = entry.rfind("tcp=", 0) == 0, udp = entry.rfind("udp=", 0) == 0;
    if (!tcp && !udp) {
      fprintf(stderr, "rpc_test_server: bad transport %s\n", entry.c_str());
      return 1;
    }
    int fd = atoi(entry.c_str() + 4);
    if (high) fd = move_high(fd, high_fd++);
    if (tcp && tls_accept && !tls_ctx) tls_ctx = VYRRPC_new_ssl_ctx(1, tls_key.c_str());
    SVCXPRT* x = tcp ? (tls_accept ? VYRRPC_svcssl_create(tls_ctx, fd, 0, 0) : VYRRPC_svctcp_create(fd, 0, 0))
                     : VYRRPC_svcudp_create(fd);
    if (!x) {
      fprintf(stderr, "rpc_test_server: no transport on %d\n", fd);
      return 1;
    }
    if (tcp && threaded) VYRRPC_svc_control(x, VYRRPC_SVCCTL_THREADING, nullptr);
    if (udp && cache) VYRRPC_svcudp_enablecache(x, cache);
    if (!VYRRPC_svc_register(x, TESTPROG, TESTVERS, dispatch, 0)) {
      fprintf(stderr, "rpc_test_server: cannot register\n");
      return 1;
    }
  }
  if (high) {
    // Push the descriptors of accepted connections above 1024 too.
    for (int i = 0; i < 1100; i++) fillers.push_back(open("/dev/null", O_RDONLY | O_CLOEXEC));
  }
  VYRRPC_svc_run();
  perror("rpc_test_server: service loop returned");
  return 1;
}
