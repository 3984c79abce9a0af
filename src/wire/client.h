// The wire client: one call per procedure of RPC program 300272 version 2 over the
// RPC runtime's TCP or UDP client handles. It stands in for the client's network
// driver in the tools and the end-to-end tests.
//
// Each call encodes the argument record, waits for the reply and decodes the result
// record into *res (zeroed first); release it with wire_client_free. The call's
// RPC status comes back (RPC_SUCCESS when the agent answered); the operation's own
// error code is in the result record.
#pragma once

#include <string>

#include "rpc/clnt.h"
#include "wire/record_xdr.h"
#include "wire/services.h"

struct WireClient {
  CLIENT* clnt;
  int sock;
  timeval timeout;
};

// Connects to an agent; null with a reason in *error on failure. udp selects the
// datagram transport. timeoutSec bounds every call.
WireClient* wire_client_create(const char* host, unsigned short port, bool udp, int timeoutSec,
                               std::string* error);
void wire_client_destroy(WireClient* c);

// Any procedure, by number, with its own routines.
clnt_stat wire_client_call(WireClient* c, unsigned int proc, xdrproc_t xargs, void* argp, xdrproc_t xres,
                           void* res);

// dbsvc_<name>(client, argument record, result record), e.g. dbsvc_prepare.
#define WIRE_CLIENT_DECL(n, name, A, R, xa, xr) clnt_stat dbsvc_##name(WireClient* c, A* argp, R* res);
DBSV_PROCEDURES(WIRE_CLIENT_DECL)
#undef WIRE_CLIENT_DECL

// Releases what a call decoded into a result record.
#define WIRE_CLIENT_FREE_DECL(n, name, A, R, xa, xr) void dbsvc_##name##_free(R* res);
DBSV_PROCEDURES(WIRE_CLIENT_FREE_DECL)
#undef WIRE_CLIENT_FREE_DECL

// Driver parameters by value: an integer option (cursor type, concurrency,
// rowset size ...) set on a handle, and a text or integer parameter read. The
// operation's code goes to *pe; the call's RPC status is returned.
clnt_stat wire_client_set_int(WireClient* c, handle_t h, uns32 code, sgn32 value, errcode_t* pe);
clnt_stat wire_client_get_text(WireClient* c, handle_t h, uns32 code, std::string* text, errcode_t* pe);
clnt_stat wire_client_get_int(WireClient* c, handle_t h, uns32 code, sgn32* value, errcode_t* pe);

// The text of an RPC status, for messages.
const char* wire_client_status_text(clnt_stat st);
