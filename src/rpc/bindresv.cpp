// Binding to a reserved port, and the size of the descriptor table.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "rpc/svc.h"

namespace {
constexpr int START_PORT = 600;
constexpr int END_PORT = 1024;
constexpr int NPORTS = END_PORT - START_PORT;
unsigned short next_port = 0;
}  // namespace

int VYRRPC_bindresvport(int sd, sockaddr_in* sin) {
  sockaddr_in myaddr;
  if (sin == nullptr) {
    memset(&myaddr, 0, sizeof myaddr);
    myaddr.sin_family = AF_INET;
    sin = &myaddr;
  } else if (sin->sin_family != AF_INET) {
    errno = EPFNOSUPPORT;
    return -1;
  }
  if (next_port == 0) next_port = static_cast<unsigned short>(START_PORT + getpid() % NPORTS);
  int res = -1;
  errno = EADDRINUSE;
  for (int i = 0; i < NPORTS && res < 0 && errno == EADDRINUSE; i++) {
    sin->sin_port = htons(next_port);
    if (++next_port >= END_PORT) next_port = START_PORT;
    res = bind(sd, reinterpret_cast<sockaddr*>(sin), sizeof(sockaddr_in));
  }
  return res;
}

int VYRRPC__rpc_dtablesize(void) {
  static int size = 0;
  if (size == 0) size = getdtablesize();
  return size;
}
