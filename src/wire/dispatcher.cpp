// The dispatcher of RPC program 300272 version 2.
#include "wire/dispatcher.h"

#include <netinet/in.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "rpc/svc.h"
#include "rpc/xdr_call.h"
#include "wire/record_xdr.h"

namespace {

struct ProcInfo {
  xdrproc_t xarg;
  xdrproc_t xres;
};

#define DBSV_PROCINFO_ITEM(n, name, A, R, xa, xr) \
  t[n] = ProcInfo{reinterpret_cast<xdrproc_t>(xa), reinterpret_cast<xdrproc_t>(xr)};
struct ProcTable {
  ProcInfo t[DBSV_MAXPROC + 1]{};
  ProcTable() { DBSV_PROCEDURES(DBSV_PROCINFO_ITEM) }
};
#undef DBSV_PROCINFO_ITEM

const ProcTable& procs() {
  static const ProcTable table;
  return table;
}

#define DBSV_SIZE_ITEM(n, name, A, R, xa, xr) sizeof(A), sizeof(R),
constexpr size_t kBufSize = std::max({DBSV_PROCEDURES(DBSV_SIZE_ITEM) size_t(0)});
#undef DBSV_SIZE_ITEM

std::mutex services_mu;
dbsv_service_table services{};

dbsv_service_t service_for(unsigned proc) {
  std::lock_guard<std::mutex> lock(services_mu);
  return services.proc[proc];
}

}  // namespace

void dbsv_set_services(const dbsv_service_table* table) {
  std::lock_guard<std::mutex> lock(services_mu);
  if (table)
    services = *table;
  else
    services = dbsv_service_table{};
}

void dbsv_caller_of(const SVCXPRT* transp, HandleCaller* caller) {
  std::memset(caller, 0, sizeof *caller);
  if (!transp) return;
  const sockaddr_storage& a = transp->xp_raddr;
  if (transp->xp_addrlen >= sizeof(sockaddr_in) && a.ss_family == AF_INET) {
    // IPv4 as an IPv4-mapped IPv6 address, as a dual-stack socket reports it.
    const sockaddr_in* in = reinterpret_cast<const sockaddr_in*>(&a);
    caller->host[10] = caller->host[11] = 0xFF;
    std::memcpy(caller->host + 12, &in->sin_addr, 4);
  } else if (transp->xp_addrlen >= sizeof(sockaddr_in6) && a.ss_family == AF_INET6) {
    std::memcpy(caller->host, &reinterpret_cast<const sockaddr_in6*>(&a)->sin6_addr, 16);
  }
  caller->origin = transp->xp_kind == XPRT_CONNECTION ? transp->xp_serial : 0;
}

VYRRPC_CALLS_FILTERS
void dbsvprog_2(svc_req* rqstp, SVCXPRT* transp) {
  unsigned proc = rqstp->rq_proc;
  dbsv_service_t service = proc <= DBSV_MAXPROC ? service_for(proc) : nullptr;
  const ProcInfo* info = proc <= DBSV_MAXPROC ? &procs().t[proc] : nullptr;
  if (!service || !info || !info->xarg) {
    VYRRPC_svcerr_noproc(transp);
    return;
  }
  alignas(std::max_align_t) char args[kBufSize];
  alignas(std::max_align_t) char res[kBufSize];
  std::memset(args, 0, sizeof args);
  std::memset(res, 0, sizeof res);

  if (!VYRRPC_svc_getargs(transp, info->xarg, args)) {
    VYRRPC_svcerr_decode(transp);
    // What the decode allocated before it failed is released all the same.
    VYRRPC_xdr_free(info->xarg, args);
    return;
  }
  if (dbsv_check_args(proc, args) != ER_SUCCESS) {
    // Every result record begins with its error code (or XA return code).
    sgn32 err = ER_INVALID_ARGUMENT;
    std::memcpy(res, &err, sizeof err);
  } else {
    HandleCaller caller;
    dbsv_caller_of(transp, &caller);
    HandleSetCaller(&caller);
    service(rqstp, args, res);
    HandleSetCaller(nullptr);
  }
  VYRRPC_svc_sendreply(transp, info->xres, res);
  VYRRPC_svc_freeargs(transp, info->xarg, args);
  VYRRPC_svc_freeargs(transp, info->xres, res);
}
