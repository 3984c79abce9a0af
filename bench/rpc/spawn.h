// Starts a benchmark server program and reads the port it prints.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

class SpawnedServer {
 public:
  explicit SpawnedServer(std::vector<std::string> argv) {
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 1);
      close(out[0]);
      close(out[1]);
      std::vector<char*> a;
      for (auto& s : argv) a.push_back(s.data());
      a.push_back(nullptr);
      execv(a[0], a.data());
      _exit(127);
    }
    close(out[1]);
    std::string line;
    char c;
    pollfd p{out[0], POLLIN, 0};
    while (poll(&p, 1, 10000) == 1 && read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    port_ = atoi(line.c_str());
  }
  ~SpawnedServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  int port() const { return port_; }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};
