// The agent's transports and service loop: one RPC server transport per entry
// of the broker's transport list, program 300272 version 2 registered on each,
// then the loop that serves them until select fails.
#pragma once

// Makes and registers the transports of the list ("tcp=N", "udp=N", comma
// separated; empty: "tcp=3,udp=4"). A bad entry or a transport that cannot be
// made logs and ends the process with code 1.
void agent_install_transports(const char* list);

// Serves every registered transport; recorded signals are acted on between
// requests. Returns never: a failure of the wait ends the process with code 1.
[[noreturn]] void agent_service_loop(void);
