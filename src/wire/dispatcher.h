// The dispatcher of RPC program 300272 version 2: decodes a call's arguments, runs
// its service procedure (wire/services.h), sends the reply and frees both records.
// Registered by the agent's start-up on every transport it makes.
#pragma once

#include "wire/services.h"

void dbsvprog_2(svc_req* rqstp, SVCXPRT* transp);

// Arguments that decode but that no operation may be given: absent records the
// operation needs, a driver-parameter value of the wrong kind, counts and column
// numbers beyond what was sent. ER_SUCCESS or ER_INVALID_ARGUMENT. The dispatcher
// answers the latter itself (in the result's first field) without calling the
// service procedure.
errcode_t dbsv_check_args(unsigned int proc, const void* argp);
