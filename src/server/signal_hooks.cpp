// The signal hooks of the agent: consulted when a recorded termination or
// hang-up signal is acted on. The backend installs its shutdown procedure as
// the termination hook at the first connect request; nothing sets the other.
#include "server/signals.h"

std::atomic<int (*)(int)> sigterm_hook;
std::atomic<int (*)(int)> sighup_hook;
