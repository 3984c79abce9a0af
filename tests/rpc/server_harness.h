// Test helpers: a server started through the launcher, and raw sockets that
// speak record marking by hand.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fixtures/support/raw_conn.h"
#include "fixtures/support/spawned_server.h"
#include "rpc/record_stream.h"

namespace rpctest {

using Bytes = test_support::Bytes;
using Clock = std::chrono::steady_clock;

inline long MsSince(Clock::time_point t) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

inline void Unit(Bytes& b, uint32_t v) {
  size_t at = b.size();
  b.resize(at + 4);
  for (int i = 0; i < 4; i++) b[at + i] = static_cast<unsigned char>(v >> (24 - 8 * i));
}

inline uint32_t GetUnit(const Bytes& b, size_t at) {
  return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | b[at + 3];
}

inline void Append(Bytes& b, const Bytes& more) {
  size_t at = b.size();
  b.resize(at + more.size());
  if (!more.empty()) memcpy(b.data() + at, more.data(), more.size());
}

// A call message: header with the given credential, null verifier, then args.
inline Bytes CallMsg(uint32_t xid, uint32_t prog, uint32_t vers, uint32_t proc, const Bytes& args = {},
                     int flavor = 0, const Bytes& cred = {}, uint32_t rpcvers = 2) {
  Bytes b;
  for (uint32_t v : {xid, 0u, rpcvers, prog, vers, proc, static_cast<uint32_t>(flavor),
                     static_cast<uint32_t>(cred.size())})
    Unit(b, v);
  Append(b, cred);
  b.resize(b.size() + ((4 - cred.size() % 4) % 4), 0);
  Unit(b, 0);
  Unit(b, 0);
  Append(b, args);
  return b;
}

// One record as a single last fragment.
inline Bytes Record(const Bytes& msg) {
  Bytes b;
  Unit(b, 0x80000000u | static_cast<uint32_t>(msg.size()));
  b.resize(4 + msg.size());
  if (!msg.empty()) memcpy(b.data() + 4, msg.data(), msg.size());
  return b;
}

// 127.0.0.1:port.
inline sockaddr_in Loopback(int port = 0) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<unsigned short>(port));
  return a;
}

// A socket of `type` bound to a port the kernel picks on 127.0.0.1 (and
// listening, for a stream); *a gets its address. -1 when none can be had.
inline int LoopbackSocket(int type, sockaddr_in* a) {
  int s = socket(AF_INET, type, 0);
  if (s < 0) return -1;
  *a = Loopback();
  socklen_t len = sizeof *a;
  if (bind(s, reinterpret_cast<sockaddr*>(a), sizeof *a) != 0 || (type == SOCK_STREAM && listen(s, 4) != 0) ||
      getsockname(s, reinterpret_cast<sockaddr*>(a), &len) != 0) {
    close(s);
    return -1;
  }
  return s;
}

// A server run by the launcher; stopped with SIGTERM when the object goes.
class Server {
 public:
  explicit Server(std::vector<std::string> extra = {}, std::string transports = "",
                  std::string program = TEST_SERVER_PATH)
      : proc_(LaunchArgs(extra, transports, program)) {}
  int port() const { return proc_.port(); }
  pid_t pid() const { return proc_.pid(); }
  sockaddr_in addr() const { return Loopback(port()); }
  // True while the launcher (and so the server) still runs.
  bool alive() const { return pid() > 0 && waitpid(pid(), nullptr, WNOHANG) == 0; }

 private:
  static std::vector<std::string> LaunchArgs(const std::vector<std::string>& extra, const std::string& transports,
                                             const std::string& program) {
    std::vector<std::string> args = {LAUNCH_PATH};
    if (!transports.empty()) {
      args.push_back("-t");
      args.push_back(transports);
    }
    args.push_back(program);
    for (auto& e : extra) args.push_back(e);
    return args;
  }

  test_support::SpawnedServer proc_;
};

// A raw TCP connection.
using Conn = test_support::RawConn;

// A raw UDP socket talking to one port.
class Dgram {
 public:
  explicit Dgram(int port) {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    to_ = Loopback(port);
  }
  ~Dgram() { close(fd_); }
  void Send(const Bytes& b) {
    sendto(fd_, b.data(), b.size(), 0, reinterpret_cast<const sockaddr*>(&to_), sizeof to_);
  }
  bool Recv(Bytes* out, int ms) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, ms) != 1) return false;
    out->resize(65536);
    ssize_t n = recv(fd_, out->data(), out->size(), 0);
    if (n < 0) return false;
    out->resize(n);
    return true;
  }

 private:
  int fd_;
  sockaddr_in to_{};
};

}  // namespace rpctest
