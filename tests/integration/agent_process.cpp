#include "agent_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

namespace agent_test {

namespace {

std::vector<char*> Argv(const std::vector<std::string>& v) {
  std::vector<char*> out;
  for (auto& s : v) out.push_back(const_cast<char*>(s.c_str()));
  out.push_back(nullptr);
  return out;
}

int WaitFor(int pid, int timeoutMs, int* status) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < until) {
    int st = 0;
    int r = waitpid(pid, &st, WNOHANG);
    if (r == pid) {
      *status = st;
      return 0;
    }
    if (r < 0) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return -1;
}

int ExitCode(int st) { return WIFEXITED(st) ? WEXITSTATUS(st) : -1; }

}  // namespace

AgentProcess::AgentProcess(const std::string& launcher, const std::string& program,
                           const std::vector<std::string>& args, const std::string& stderrFile,
                           const std::vector<std::string>& launcherArgs) {
  int out[2];
  if (pipe(out) != 0) return;
  std::vector<std::string> argv{launcher};
  argv.insert(argv.end(), launcherArgs.begin(), launcherArgs.end());
  argv.push_back("--");
  argv.push_back(program);
  argv.insert(argv.end(), args.begin(), args.end());
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out[1], 1);
    int err = open(stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (err >= 0) dup2(err, 2);
    close(out[0]);
    auto a = Argv(argv);
    execv(a[0], a.data());
    _exit(127);
  }
  close(out[1]);
  // The launcher prints the port on its first line.
  std::string line;
  pollfd p{out[0], POLLIN, 0};
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < until && line.find('\n') == std::string::npos) {
    if (poll(&p, 1, 100) <= 0) continue;
    char buf[64];
    ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    line.append(buf, size_t(n));
  }
  close(out[0]);
  port_ = atoi(line.c_str());
}

AgentProcess::~AgentProcess() {
  if (pid_ > 0 && !done_) {
    kill(pid_, SIGTERM);
    if (wait(10000) == -1 && !done_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
}

int AgentProcess::agentPid() const {
  std::ifstream f("/proc/" + std::to_string(pid_) + "/task/" + std::to_string(pid_) + "/children");
  int child = 0;
  f >> child;
  return child;
}

void AgentProcess::signal(int sig) {
  if (pid_ > 0 && !done_) kill(pid_, sig);
}

int AgentProcess::wait(int timeoutMs) {
  if (done_) return ExitCode(status_);
  if (pid_ <= 0) return -1;
  if (WaitFor(pid_, timeoutMs, &status_) != 0) return -1;
  done_ = true;
  return ExitCode(status_);
}

int RunToEnd(const std::vector<std::string>& argv, const std::string& stderrFile, int timeoutMs) {
  int pid = fork();
  if (pid == 0) {
    int err = open(stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (err >= 0) dup2(err, 2);
    int nul = open("/dev/null", O_RDWR);
    if (nul >= 0) dup2(nul, 1);
    auto a = Argv(argv);
    execv(a[0], a.data());
    _exit(127);
  }
  int st = 0;
  if (WaitFor(pid, timeoutMs, &st) != 0) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
  }
  return ExitCode(st);
}

}  // namespace agent_test
