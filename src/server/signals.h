// Signals of the agent. The handlers only record a signal; the service loop
// acts on it between requests, on the main thread: a termination signal runs
// the backend's shutdown hook and ends the process, a hang-up is logged.
#pragma once

#include <atomic>

// Hooks consulted when a recorded signal is acted on: a termination hook that
// answers 1 keeps the agent running; a hang-up hook that answers 0 ends it.
// Atomic: a connection's thread installs the termination hook at its connect.
extern std::atomic<int (*)(int)> sigterm_hook;
extern std::atomic<int (*)(int)> sighup_hook;

// SIGINT, SIGTERM and SIGQUIT to the termination handler, SIGHUP to the
// hang-up handler, SIGABRT and SIGSEGV to their defaults.
void install_signal_handlers(void);

// Acts on the signals recorded since the last call; returns only while the
// agent keeps running.
void handle_pending_signals(void);

// The signals the handlers record, for the loop that waits with them unblocked.
void agent_signal_set(void* sigset);
