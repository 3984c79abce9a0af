// The dispatcher of RPC program 300272 version 2: decodes a call's arguments, runs
// its service procedure (wire/services.h), sends the reply and frees both records.
// Registered by the agent's start-up on every transport it makes.
#pragma once

#include "wire/handle_table.h"
#include "wire/services.h"

// Serves one call; while its service procedure runs, the call's peer is the
// handle tables' current caller (HandleSetCaller).
void dbsvprog_2(svc_req* rqstp, SVCXPRT* transp);

// The caller a transport's calls come from: the peer's host (from the
// connection's or the last datagram's address) and, for a TCP connection, the
// connection's serial.
void dbsv_caller_of(const SVCXPRT* transp, HandleCaller* caller);

// Arguments that decode but that no operation may be given: absent records the
// operation needs, a driver-parameter value of the wrong kind, counts and column
// numbers beyond what was sent. ER_SUCCESS or ER_INVALID_ARGUMENT. The dispatcher
// answers the latter itself (in the result's first field) without calling the
// service procedure.
errcode_t dbsv_check_args(unsigned int proc, const void* argp);
