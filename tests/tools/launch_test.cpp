// The broker stand-in: sockets on 3 and 4, the transport list, other
// descriptors closed, signals passed on and the child's exit code returned.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "fixtures/rpc_server/server_harness.h"

using namespace rpctest;

namespace {

// Writes an executable shell script and returns its path.
std::string Script(const std::string& body) {
  char path[] = "/tmp/launch_test_XXXXXX";
  int fd = mkstemp(path);
  std::string text = "#!/bin/sh\n" + body + "\n";
  EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  fchmod(fd, 0700);
  close(fd);
  return path;
}

// Runs the launcher on a script; returns its exit code and output.
int Launch(const std::string& args, const std::string& body, std::string* out) {
  std::string script = Script(body);
  // Started with SIGPIPE ignored: the program must get it back at default.
  std::string cmd = "trap '' PIPE; " + std::string(LAUNCH_PATH) + " " + args + " -- " + script + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  out->clear();
  char buf[512];
  while (fgets(buf, sizeof buf, p)) *out += buf;
  int st = pclose(p);
  unlink(script.c_str());
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

TEST(Launch, HandsOverSocketsAndTransportList) {
  std::string out;
  // $1 $2 are "+internal" and the list; 3 is a TCP listener, 4 a UDP socket,
  // nothing above 4 is open, and SIGPIPE is not ignored.
  int rc = Launch("",
                  "echo \"$1 $2 $3\"; ls /proc/$$/fd | sort -n | tr \"\\n\" \" \"; echo; "
                  "grep SigIgn /proc/$$/status; readlink /proc/$$/fd/3 /proc/$$/fd/4",
                  &out);
  EXPECT_EQ(rc, 0) << out;
  EXPECT_NE(out.find("+internal tcp=3,udp=4 \n"), std::string::npos) << out;
  EXPECT_NE(out.find("\n0 1 2 3 4 "), std::string::npos) << out;
  EXPECT_EQ(out.find(" 5 "), std::string::npos) << out;
  EXPECT_NE(out.find("socket:"), std::string::npos) << out;
  // SigIgn bit 13 (SIGPIPE) clear.
  size_t at = out.find("SigIgn:");
  ASSERT_NE(at, std::string::npos);
  unsigned long long ign = std::stoull(out.substr(at + 7), nullptr, 16);
  EXPECT_EQ(ign & (1ull << (SIGPIPE - 1)), 0ull) << out;

  EXPECT_EQ(Launch("-t tcp=3", "echo $2 $3", &out), 0);
  EXPECT_NE(out.find("tcp=3\n"), std::string::npos) << out;
  EXPECT_EQ(Launch("", "exit 7", &out), 7);
}

TEST(Launch, PrintsThePortBoundForBothProtocols) {
  Server s({"--wait-ms", "2000"});
  ASSERT_GT(s.port(), 0);
  Conn c(s.port());
  EXPECT_GE(c.fd(), 0);
  Dgram d(s.port());
  d.Send(CallMsg(1, 0x20000001, 2, 0));
  Bytes r;
  EXPECT_TRUE(d.Recv(&r, 2000));
}

TEST(Launch, ForwardsTermination) {
  std::string script = Script("trap \"exit 3\" TERM; echo ready; while :; do sleep 0.05; done");
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    execl(LAUNCH_PATH, LAUNCH_PATH, "--", script.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  char buf[64];
  std::string got;
  while (got.find("ready") == std::string::npos) {
    ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    got.append(buf, n);
  }
  kill(pid, SIGTERM);
  int st;
  waitpid(pid, &st, 0);
  close(out[0]);
  unlink(script.c_str());
  ASSERT_TRUE(WIFEXITED(st));
  EXPECT_EQ(WEXITSTATUS(st), 3);
}

}  // namespace
