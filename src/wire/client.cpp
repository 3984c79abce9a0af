// The wire client.
#include "wire/client.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

#include <cstring>

#include "rpc/xdr_call.h"

WireClient* wire_client_create(const char* host, unsigned short port, bool udp, int timeoutSec,
                               std::string* error) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  if (inet_pton(AF_INET, host, &addr.sin_addr) != 1) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || !found) {
      if (error) *error = std::string("unknown host ") + host;
      return nullptr;
    }
    addr.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
  }
  WireClient* c = new WireClient{nullptr, -1, {timeoutSec, 0}};
  if (udp) {
    timeval retry{1, 0};
    c->clnt = VYRRPC_clntudp_bufcreate(&addr, DBSVPROG, DBSVVERS, retry, &c->sock, 65000, 65000);
  } else {
    // Replies of block fetches run to tens of kilobytes: a receive buffer of
    // that size takes one in a read or two. Calls keep the default fragments.
    c->clnt = VYRRPC_clnttcp_create(&addr, DBSVPROG, DBSVVERS, &c->sock, 0, 64 * 1024);
  }
  if (!c->clnt) {
    if (error)
      *error = std::string("cannot reach the agent: ") + strerror(VYRRPC__rpc_createerr.cf_error.re_errno);
    delete c;
    return nullptr;
  }
  return c;
}

void wire_client_destroy(WireClient* c) {
  if (!c) return;
  if (c->clnt) VYRRPC_clnt_destroy(c->clnt);
  delete c;
}

clnt_stat wire_client_call(WireClient* c, unsigned int proc, xdrproc_t xargs, void* argp, xdrproc_t xres,
                           void* res) {
  return VYRRPC_clnt_call(c->clnt, proc, xargs, static_cast<char*>(argp), xres, static_cast<char*>(res),
                          c->timeout);
}

#define WIRE_CLIENT_DEF(n, name, A, R, xa, xr)                                                            \
  clnt_stat dbsvc_##name(WireClient* c, A* argp, R* res) {                                                \
    std::memset(static_cast<void*>(res), 0, sizeof(R));                                                   \
    return wire_client_call(c, n, reinterpret_cast<xdrproc_t>(xa), argp, reinterpret_cast<xdrproc_t>(xr), \
                            res);                                                                         \
  }                                                                                                       \
  void dbsvc_##name##_free(R* res) {                                                                      \
    VYRRPC_xdr_free(reinterpret_cast<xdrproc_t>(xr), reinterpret_cast<char*>(res));                       \
  }
DBSV_PROCEDURES(WIRE_CLIENT_DEF)
#undef WIRE_CLIENT_DEF

clnt_stat wire_client_set_int(WireClient* c, handle_t h, uns32 code, sgn32 value, errcode_t* pe) {
  call_setdrvparameter a{};
  a.handle = h;
  a.opcode = code;
  a.value.type = 2;
  a.value.paramval_u.l = value;
  errcode_t r = ER_SUCCESS;
  clnt_stat st = dbsvc_setdrvparameter(c, &a, &r);
  if (pe) *pe = r;
  return st;
}

namespace {

clnt_stat GetParam(WireClient* c, handle_t h, uns32 code, getdrvparameterres* r) {
  call_getdrvparameter a{h, code};
  return dbsvc_getdrvparameter(c, &a, r);
}

}  // namespace

clnt_stat wire_client_get_text(WireClient* c, handle_t h, uns32 code, std::string* text, errcode_t* pe) {
  getdrvparameterres r{};
  clnt_stat st = GetParam(c, h, code, &r);
  if (pe) *pe = r.error;
  if (text)
    *text = (st == RPC_SUCCESS && r.value.type == 1 && r.value.paramval_u.s) ? r.value.paramval_u.s : "";
  if (st == RPC_SUCCESS) dbsvc_getdrvparameter_free(&r);
  return st;
}

clnt_stat wire_client_get_int(WireClient* c, handle_t h, uns32 code, sgn32* value, errcode_t* pe) {
  getdrvparameterres r{};
  clnt_stat st = GetParam(c, h, code, &r);
  if (pe) *pe = r.error;
  if (value) *value = (st == RPC_SUCCESS && r.value.type == 2) ? r.value.paramval_u.l : 0;
  if (st == RPC_SUCCESS) dbsvc_getdrvparameter_free(&r);
  return st;
}

const char* wire_client_status_text(clnt_stat st) {
  switch (st) {
    case RPC_SUCCESS:
      return "success";
    case RPC_CANTENCODEARGS:
      return "cannot encode the arguments";
    case RPC_CANTDECODERES:
      return "cannot decode the reply";
    case RPC_CANTSEND:
      return "cannot send";
    case RPC_CANTRECV:
      return "cannot receive";
    case RPC_TIMEDOUT:
      return "timed out";
    case RPC_PROCUNAVAIL:
      return "procedure unavailable";
    case RPC_CANTDECODEARGS:
      return "garbage arguments";
    case RPC_PROGUNAVAIL:
      return "program unavailable";
    case RPC_PROGVERSMISMATCH:
      return "program version mismatch";
    case RPC_SYSTEMERROR:
      return "system error";
    default:
      return "RPC failure";
  }
}
