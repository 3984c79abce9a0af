#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "fixtures/support/support.h"

namespace {

using test_support::read_file;
using test_support::TempDir;
using test_support::write_file;

struct Result {
  int rc = -1;
  std::string err;
  pid_t pid = 0;
};

// Runs sqlgate with args; `before_exec` runs in the parent once the child's
// pid is known and before the child executes the program.
Result run(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
           const std::function<void(pid_t)>& before_exec = nullptr) {
  TempDir dir;
  std::string errfile = dir.file("stderr");
  int go[2];
  if (pipe(go) != 0) return {};
  pid_t pid = fork();
  if (pid == 0) {
    close(go[1]);
    char c;
    if (read(go[0], &c, 1) != 1) _exit(127);
    // The agent serves the descriptors named in its transport list: none may be
    // inherited by accident (3 and 4 are the defaults).
    for (int fd = 3; fd < 256; fd++) close(fd);
    if (freopen(errfile.c_str(), "w", stderr) == nullptr) _exit(127);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("sqlgate"));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const auto& e : env) putenv(const_cast<char*>(e.c_str()));
    execv(SQLGATE_BINARY, argv.data());
    _exit(127);
  }
  close(go[0]);
  if (before_exec) before_exec(pid);
  if (write(go[1], "g", 1) != 1) {
  }
  close(go[1]);
  int status = 0;
  waitpid(pid, &status, 0);
  Result r;
  r.rc = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.err = read_file(errfile);
  r.pid = pid;
  return r;
}

const char usage_text_tail[] =
    "\nUsage:\n"
    "  sqlgate [-CmijrlLd] [+noautocommit] [+maxrows num] [+initsql arg] [+jetfix]\n"
    "          [+norowsetlimit] [+loglevel num] [+logfile arg] [+debug]\n"
    "  +noautocommit    turn autocommit off by default\n"
    "  +maxrows         maximum allowed rows to fetch\n"
    "  +initsql         execute SQL from this file for every connection made\n"
    "  +jetfix          Jet Engine Compatibility Features\n"
    "  +norowsetlimit   turn off rowset size limit\n"
    "  +loglevel        log level\n"
    "  +logfile         log file\n"
    "  +debug           debug mode\n";

bool ends_with(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Without open descriptors 3 and 4 the default transports cannot be made: a
// start-up that got past its options ends there, with code 1.
const char no_transport_tail[] = "svc_install() failed\nserver shutting down\n";

bool past_options(const Result& r) {
  return r.rc == 1 && r.err.find("Usage:") == std::string::npos && ends_with(r.err, no_transport_tail);
}

TEST(Program, WithoutTransportListPrintsUsageAndExitsOne) {
  Result r = run({});
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.err.rfind("sqlgate ODBC database agent\nVersion ", 0), 0u) << r.err;
  EXPECT_TRUE(ends_with(r.err, usage_text_tail)) << r.err;
  EXPECT_EQ(r.err.find("internal"), std::string::npos);
}

TEST(Program, OptionErrorsPrintUsageAndExitOne) {
  const std::vector<std::vector<std::string>> bad = {
      {"+nosuch", "+internal="},   {"--nosuch"},         {"-x", "+internal="}, {"+no", "+internal="},
      {"+log=3", "+internal="},                           // ambiguous prefixes
      {"+jetfix=1", "+internal="}, {"--debug=yes"},       // value to a flag
      {"+internal=", "+maxrows"},  {"+internal=", "-m"},  // value missing at the end
  };
  for (const auto& args : bad) {
    Result r = run(args);
    EXPECT_EQ(r.rc, 1) << args[0];
    EXPECT_TRUE(ends_with(r.err, usage_text_tail)) << args[0] << ": " << r.err;
  }
}

TEST(Program, AcceptedOptionSyntax) {
  const std::vector<std::vector<std::string>> good = {
      {"+internal="},
      {"--internal", "tcp=3"},
      {"+maxrows=5", "+internal="},
      {"--maxrows", "5", "--internal="},
      {"-m5", "+internal="},
      {"-m", "5", "+internal="},
      {"+maxr=5", "+internal="},  // unambiguous prefix
      {"-Cjr", "+int="},          // a cluster of short flags
      {"+initsql", "x.sql", "+internal=", "trailing", "words"},
      {"+internal=", "--", "+nosuch"},  // "--" ends the options
  };
  for (const auto& args : good) {
    Result r = run(args);
    // No sink was opened: the messages reach standard error as they are.
    EXPECT_TRUE(past_options(r)) << args[0] << ": " << r.rc << " " << r.err;
    EXPECT_EQ(r.err.rfind("server starting\nxprt == NULL", 0), 0u) << args[0] << ": " << r.err;
  }
}

TEST(Program, DebugCopiesEveryMessageToStderrWithProgramName) {
  Result r = run({"+debug", "+internal="});
  EXPECT_EQ(r.rc, 1);
  EXPECT_TRUE(ends_with(r.err, "sqlgate: svc_install() failed\nsqlgate: server shutting down\n")) << r.err;
  EXPECT_EQ(r.err.rfind("sqlgate: server starting\n", 0), 0u) << r.err;
}

TEST(Program, LogFileOnlyWithLogLevel) {
  TempDir dir;
  std::string log = dir.file("agent.log");
  Result r = run({"+logfile", log, "+internal="});
  EXPECT_EQ(r.rc, 1);
  struct stat st;
  EXPECT_NE(stat(log.c_str(), &st), 0);
  char def[64];
  snprintf(def, sizeof def, "/tmp/sqlgate.%u.log", unsigned(r.pid));
  EXPECT_NE(stat(def, &st), 0);

  r = run({"-l", "7", "-L", log, "+internal="});
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.err, "");
  std::string text = read_file(log);
  // A date banner, then the time of day and the message.
  ASSERT_GE(text.size(), 20u) << text;
  EXPECT_EQ(text.rfind("\n\t\t", 0), 0u) << text;
  EXPECT_TRUE(ends_with(text, " server shutting down\n")) << text;

  r = run({"+loglevel=3", "+logfile=" + log, "+internal="});  // level 7 messages filtered
  std::string added = read_file(log).substr(text.size());
  EXPECT_NE(added.find("svc_install() failed"), std::string::npos) << added;
  EXPECT_EQ(added.find("server shutting down"), std::string::npos) << added;
}

TEST(Program, DefaultLogFileIsPrivateInTmp) {
  Result r = run({"+loglevel", "7", "+internal="});
  EXPECT_EQ(r.rc, 1);
  char def[64];
  snprintf(def, sizeof def, "/tmp/sqlgate.%u.log", unsigned(r.pid));
  struct stat st;
  ASSERT_EQ(lstat(def, &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_TRUE(ends_with(read_file(def), " server shutting down\n"));
  unlink(def);
}

TEST(Program, DefaultLogFileDoesNotFollowSymlinks) {
  TempDir dir;
  std::string target = dir.file("victim");
  ASSERT_TRUE(write_file(target, "precious\n"));
  std::string link;
  Result r = run({"+loglevel", "7", "+internal="}, {}, [&](pid_t pid) {
    link = "/tmp/sqlgate." + std::to_string(unsigned(pid)) + ".log";
    unlink(link.c_str());
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  });
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(read_file(target), "precious\n");
  unlink(link.c_str());
}

TEST(Program, ResponseFile) {
  TempDir dir;
  std::string log = dir.file("from-response.log");
  std::string rsp = dir.file("args");
  ASSERT_TRUE(write_file(rsp, "+loglevel 7\n'+logfile' \"" + log + "\"\n--internal=tcp=3"));
  Result r = run({"-C", "@" + rsp});
  EXPECT_EQ(r.rc, 1) << r.err;
  EXPECT_TRUE(ends_with(read_file(log), " server shutting down\n"));

  r = run({"@" + dir.file("missing"), "+internal="});  // not last: an ordinary argument
  EXPECT_TRUE(past_options(r)) << r.err;

  r = run({"+internal=", "@" + dir.file("missing")});
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.err, "unable to open response file " + dir.file("missing") + "\nserver shutting down\n");
}

TEST(Program, UnreadableConfigurationKeepsDefaults) {
  Result r = run({"+internal="}, {"VYRCONFIG=/no/such/file"});
  EXPECT_TRUE(past_options(r)) << r.err;
  TempDir dir;
  ASSERT_TRUE(write_file(dir.file("vyr.cfg"), "[Communications]\nDataEncryption = yes\n"));
  r = run({"+internal="}, {"VYRCONFIG=" + dir.file("vyr.cfg")});
  EXPECT_TRUE(past_options(r)) << r.err;
}

// A transport entry must name its kind and a descriptor in digits; anything else
// stops the start-up, naming the entry.
TEST(Program, BadTransportEntries) {
  for (std::string entry : {"tcp=", "tcp=x", "udp=", "ftp=3", "tcp=3,"}) {
    Result r = run({"+internal=" + entry});
    EXPECT_EQ(r.rc, 1) << entry;
    EXPECT_NE(r.err.find("xprt == NULL(2)\n"), std::string::npos) << entry << ": " << r.err;
    // With "tcp=3," the first entry already fails: descriptor 3 is closed.
    std::string last = entry == "tcp=3," ? "tcp=3" : entry;
    EXPECT_NE(r.err.find("unable to install " + last + " protocol ("), std::string::npos)
        << entry << ": " << r.err;
    EXPECT_TRUE(ends_with(r.err, no_transport_tail)) << entry << ": " << r.err;
  }
}

}  // namespace
