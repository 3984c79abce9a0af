// Runs the real sqlgate program through the launcher on a loopback port the
// kernel chooses, as the broker would, and stops it again. The agent's standard
// error goes to a file the test can read.
#pragma once

#include <string>
#include <vector>

namespace agent_test {

class AgentProcess {
 public:
  // launcher and program are absolute paths; args follow the program's name.
  AgentProcess(const std::string& launcher, const std::string& program, const std::vector<std::string>& args,
               const std::string& stderrFile, const std::vector<std::string>& launcherArgs = {});
  ~AgentProcess();
  AgentProcess(const AgentProcess&) = delete;
  AgentProcess& operator=(const AgentProcess&) = delete;

  // The port printed by the launcher, 0 when the agent did not start.
  int port() const { return port_; }
  int pid() const { return pid_; }
  // The agent's own process id (the launcher's child), 0 when unknown.
  int agentPid() const;
  // Sends a signal to the launcher, which passes it on.
  void signal(int sig);
  // Waits at most timeoutMs for the launcher to end; its exit code, or -1.
  int wait(int timeoutMs = 60000);

 private:
  int pid_ = 0;
  int port_ = 0;
  int status_ = -1;
  bool done_ = false;
};

// Runs a program to its end (at most timeoutMs) and returns its exit code (-1
// on a time-out or a signal); its standard error goes to stderrFile.
int RunToEnd(const std::vector<std::string>& argv, const std::string& stderrFile, int timeoutMs = 20000);

}  // namespace agent_test
