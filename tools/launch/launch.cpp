// launch: stands in for the request broker. Binds a TCP listening socket and a
// UDP socket on 127.0.0.1 (the given port, or one the kernel chooses; both
// get the same port, printed on standard output), hands them to the program
// as descriptors 3 and 4 and runs it with "+internal tcp=3,udp=4" (or the
// transport list given) followed by the remaining arguments. SIGINT and
// SIGTERM are passed on; the launcher exits with the program's exit code.
//
//   launch [-p port] [-t transports] [--] program [arguments...]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <vector>

namespace {

volatile sig_atomic_t child_pid = 0;

void forward(int sig) {
  if (child_pid > 0) kill(child_pid, sig);
}

int usage() {
  fprintf(stderr, "usage: launch [-p port] [-t transports] [--] program [arguments...]\n");
  return 2;
}

int bind_pair(int port, int* tcp, int* udp) {
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  for (int attempt = 0; attempt < 50; attempt++) {
    *tcp = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    *udp = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (*tcp < 0 || *udp < 0) {
      perror("launch: socket");
      return -1;
    }
    int one = 1;
    setsockopt(*tcp, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sin.sin_port = htons(static_cast<unsigned short>(port));
    if (bind(*tcp, reinterpret_cast<sockaddr*>(&sin), sizeof sin) != 0) {
      perror("launch: bind tcp");
      return -1;
    }
    socklen_t len = sizeof sin;
    getsockname(*tcp, reinterpret_cast<sockaddr*>(&sin), &len);
    if (bind(*udp, reinterpret_cast<sockaddr*>(&sin), sizeof sin) == 0) {
      if (listen(*tcp, 32) != 0) {
        perror("launch: listen");
        return -1;
      }
      return ntohs(sin.sin_port);
    }
    // The kernel's TCP port is taken for UDP: try another one.
    int err = errno;
    close(*tcp);
    close(*udp);
    if (port != 0 || err != EADDRINUSE) {
      errno = err;
      perror("launch: bind udp");
      return -1;
    }
  }
  fprintf(stderr, "launch: no port free for both TCP and UDP\n");
  return -1;
}

// Moves fd to target with close-on-exec cleared.
void place(int fd, int target) {
  if (fd == target) {
    fcntl(fd, F_SETFD, 0);
  } else {
    dup2(fd, target);
    close(fd);
  }
}

}  // namespace

int main(int argc, char** argv) {
  int port = 0;
  std::string transports = "tcp=3,udp=4";
  int i = 1;
  for (; i < argc; i++) {
    std::string a = argv[i];
    if (a == "--") {
      i++;
      break;
    }
    if ((a == "-p" || a == "-t") && i + 1 < argc) {
      if (a == "-p") {
        char* end;
        long p = strtol(argv[++i], &end, 10);
        if (*end || p < 0 || p > 65535) return usage();
        port = static_cast<int>(p);
      } else {
        transports = argv[++i];
      }
      continue;
    }
    if (!a.empty() && a[0] == '-') return usage();
    break;
  }
  if (i >= argc) return usage();

  int tcp, udp;
  int bound = bind_pair(port, &tcp, &udp);
  if (bound < 0) return 1;
  printf("%d\n", bound);
  fflush(stdout);

  pid_t pid = fork();
  if (pid < 0) {
    perror("launch: fork");
    return 1;
  }
  if (pid == 0) {
    // Keep the two sockets away from 3 and 4 before placing them there.
    int t = fcntl(tcp, F_DUPFD_CLOEXEC, 10);
    int u = fcntl(udp, F_DUPFD_CLOEXEC, 10);
    close(tcp);
    close(udp);
    place(t, 3);
    place(u, 4);
    if (close_range(5, ~0u, 0) != 0) {
      rlimit rl;
      long maxfd = getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY ? rl.rlim_cur : 65536;
      for (long fd = 5; fd < maxfd; fd++) close(static_cast<int>(fd));
    }
    // The program starts with default signal handling whatever the launcher
    // inherited: in particular SIGPIPE is not ignored.
    for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT}) signal(sig, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    std::vector<char*> args;
    args.push_back(argv[i]);
    args.push_back(const_cast<char*>("+internal"));
    args.push_back(transports.data());
    for (int k = i + 1; k < argc; k++) args.push_back(argv[k]);
    args.push_back(nullptr);
    execvp(args[0], args.data());
    fprintf(stderr, "launch: cannot run %s: %s\n", args[0], strerror(errno));
    _exit(127);
  }
  close(tcp);
  close(udp);
  child_pid = pid;
  struct sigaction sa {};
  sa.sa_handler = forward;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  int status;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      perror("launch: waitpid");
      return 1;
    }
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 1;
}
