// sqlgate: the database agent. The request broker starts it with its options
// and the transport list in `internal`.
#include "server/startup.h"

int main(int argc, char **argv) {
  agent_startup(&argc, &argv);
  // Transports, the driver-operation table and the service loop come here;
  // until they exist the agent has nothing to serve and ends cleanly.
  terminate(0);
}
