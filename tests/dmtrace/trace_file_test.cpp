// The trace file: name template expansion, banner and trailer, standard error, and how the
// file is opened (never through a symbolic link, exclusively for root, kept open when a new
// start names the same file, nothing left open when it cannot be had).
#include <gtest/gtest.h>

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "dmtrace/trace.h"
#include "fixtures/support/support.h"
#include "trace_capture.h"

namespace {

// fdopen fails while this is set, so that a start meets a descriptor it cannot wrap.
bool fail_fdopen = false;

}  // namespace

extern "C" FILE* fdopen(int fd, const char* mode) {
  using Fn = FILE* (*)(int, const char*);
  static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "fdopen"));
  if (fail_fdopen) return nullptr;
  return real(fd, mode);
}

namespace {

const std::string banner =
    "** Zolan Trace file\n** Trace started on Fri Dec 11 00:00:00 2026\n** Driver Manager: "
    "03.52.1015.0210\n\n";
const std::string trailer = "\n** Trace finished on Fri Dec 11 00:00:00 2026\n";

int open_descriptors() {
  int n = 0;
  DIR* d = opendir("/proc/self/fd");
  if (d == nullptr) return -1;
  while (readdir(d) != nullptr) n++;
  closedir(d);
  return n;
}

class TraceFile : public ::testing::Test {
 protected:
  test_support::TempDir dir;
  std::string saved_home;
  bool had_home = false;

  void SetUp() override {
    _zolandm_trace_set_clock(trace_test::fixed_clock);
    trace_test::fixed_now = {1796947200, 0};
    const char* home = getenv("HOME");
    had_home = home != nullptr;
    if (had_home) saved_home = home;
  }
  void TearDown() override {
    _zolandm_trace_stop();
    _zolandm_trace_set_clock(nullptr);
    fail_fdopen = false;
    if (had_home) {
      setenv("HOME", saved_home.c_str(), 1);
    } else {
      unsetenv("HOME");
    }
  }
  std::string expand(const std::string& name_template) {
    _zolandm_trace_set_filename(name_template.c_str());
    return _zolandm_trace_filename != nullptr ? _zolandm_trace_filename : "<null>";
  }
  // Starts a trace on `name`; whether it is on afterwards.
  bool start(const std::string& name) {
    _zolandm_trace_set_filename(name.c_str());
    _zolandm_trace_start();
    return _zolandm_trace_enabled == 1;
  }
};

TEST_F(TraceFile, TemplateExpansion) {
  const std::string pid = std::to_string(getpid());
  struct passwd* pw = getpwuid(getuid());
  ASSERT_NE(pw, nullptr);
  const std::string user = pw->pw_name, home_dir = pw->pw_dir;
  const std::string long_home(300, 'h');
  struct Case {
    const char* home;  // null: unset
    std::string name_template;
    std::vector<int> seq_steps;  // $S values relative to the counter before the case
    std::string expected;        // "{S}" stands for each $S value in turn
  };
  const std::vector<Case> cases = {
      {"/home/t", "/tmp/trace.$P.$S.log", {1}, "/tmp/trace." + pid + ".{S}.log"},
      {"/home/t", "$p-$s-$S", {1, 2}, pid + "-{S}-{S}"},
      {"/home/t", "$H/x", {}, "/home/t/x"},
      {"/home/t", "$h/x", {}, "/home/t/x"},
      {"", "[$H]", {}, "[]"},
      {nullptr, "$H", {}, home_dir},
      {"/home/t", "$U", {}, user},
      {"/home/t", "$u$T", {}, user + "20261211-000000"},
      {"/home/t", "a$xb$%c", {}, "abc"},
      {"/home/t", "$$H", {}, "$H"},
      {"/home/t", "$$$$", {}, "$$"},
      {"/home/t", "end$", {}, "end"},
      {"/home/t", "", {}, ""},
      {long_home.c_str(), "$H", {}, std::string(254, 'h')},
      {long_home.c_str(), "$H$H$H/$H", {}, std::string(254 * 3, 'h') + "/" + std::string(254, 'h')},
  };
  for (const Case& c : cases) {
    if (c.home != nullptr) {
      setenv("HOME", c.home, 1);
    } else {
      unsetenv("HOME");
    }
    int before = _zolandm_trace_seq;
    std::string expected = c.expected;
    for (int step : c.seq_steps) expected.replace(expected.find("{S}"), 3, std::to_string(before + step));
    EXPECT_EQ(expand(c.name_template), expected) << c.name_template;
  }
}

TEST_F(TraceFile, NullTemplateReexpandsTheStoredOne) {
  int before = _zolandm_trace_seq;
  EXPECT_EQ(expand("n$S"), "n" + std::to_string(before + 1));
  _zolandm_trace_set_filename(nullptr);
  EXPECT_STREQ(_zolandm_trace_filename, ("n" + std::to_string(before + 2)).c_str());
  EXPECT_STREQ(_zolandm_trace_template, "n$S");
  char* copy = _zolandm_trace_get_filename();
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, _zolandm_trace_filename);
  EXPECT_STREQ(copy, _zolandm_trace_filename);
  free(copy);
}

TEST_F(TraceFile, BannerAndTrailer) {
  const std::string name = dir.file("t.log");
  mode_t saved_mask = umask(0);
  bool on = start(name);
  umask(saved_mask);
  ASSERT_TRUE(on);
  EXPECT_EQ(_zolandm_trace_own_file, 1);
  EXPECT_STREQ(_zolandm_trace_appname, program_invocation_short_name);
  EXPECT_EQ(test_support::read_file(name), banner);  // line-buffered: on disk at once
  _zolandm_trace_stop();
  EXPECT_EQ(_zolandm_trace_enabled, 0);
  EXPECT_EQ(_zolandm_trace_stream, nullptr);
  EXPECT_EQ(test_support::read_file(name), banner + trailer);
  struct stat st;
  ASSERT_EQ(stat(name.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
}

TEST_F(TraceFile, StandardErrorInAnyCase) {
  const std::string name = dir.file("stderr.txt");
  int saved = dup(2);
  int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  dup2(fd, 2);
  close(fd);
  bool on = start("StdErr");
  bool stderr_stream = _zolandm_trace_stream == stderr;
  int own = _zolandm_trace_own_file;
  _zolandm_trace_stop();
  bool stderr_open = fcntl(2, F_GETFD) != -1 && fputs("", stderr) != EOF;
  fflush(stderr);
  dup2(saved, 2);
  close(saved);
  EXPECT_TRUE(on);
  EXPECT_TRUE(stderr_stream);
  EXPECT_EQ(own, 0);
  EXPECT_TRUE(stderr_open);
  EXPECT_EQ(test_support::read_file(name), banner + trailer);
}

TEST_F(TraceFile, NoNameFallsBackWithoutOpening) {
  free(_zolandm_trace_filename);
  _zolandm_trace_filename = nullptr;
  _zolandm_trace_start();
  EXPECT_EQ(_zolandm_trace_enabled, 0);
  EXPECT_EQ(_zolandm_trace_stream, nullptr);
  EXPECT_STREQ(_zolandm_trace_filename, "/tmp/odbc.log");
}

// A file that cannot be had leaves tracing off and nothing open; writing then stays quiet.
TEST_F(TraceFile, UnopenableFilesLeaveTracingOff) {
  const std::string victim = dir.file("victim");
  ASSERT_TRUE(test_support::write_file(victim, "keep me"));
  ASSERT_EQ(symlink(victim.c_str(), dir.file("link.log").c_str()), 0);
  ASSERT_EQ(symlink(dir.file("nowhere").c_str(), dir.file("dangling.log").c_str()), 0);
  ASSERT_EQ(mkdir(dir.file("adir").c_str(), 0755), 0);
  struct Case {
    const char* what;
    std::string name;
    bool fdopen_fails;
  };
  const std::vector<Case> cases = {
      {"missing folder", dir.file("no/such/dir.log"), false},
      {"symbolic link to a file", dir.file("link.log"), false},
      {"dangling symbolic link", dir.file("dangling.log"), false},
      {"a folder", dir.file("adir"), false},
      {"stream cannot be made", dir.file("fdopen.log"), true},
  };
  for (const Case& c : cases) {
    int before = open_descriptors();
    fail_fdopen = c.fdopen_fails;
    EXPECT_FALSE(start(c.name)) << c.what;
    fail_fdopen = false;
    EXPECT_EQ(_zolandm_trace_stream, nullptr) << c.what;
    EXPECT_EQ(open_descriptors(), before) << c.what;
    _zolandm_trace_call_line(35, 0, 0);
    EXPECT_EQ(_zolandm_trace_enabled, 0) << c.what;
  }
  EXPECT_EQ(test_support::read_file(victim), "keep me");
  struct stat st;
  EXPECT_NE(lstat(dir.file("nowhere").c_str(), &st), 0);
}

// A start that names the file already open keeps its stream and what it holds; another name
// ends the old file with its trailer and begins the new one.
TEST_F(TraceFile, SecondStartOnTheOpenFileKeepsIt) {
  const std::string name = dir.file("same.log");
  ASSERT_TRUE(start(name));
  _zolandm_trace_printf("first record\n");
  FILE* stream = _zolandm_trace_stream;
  ASSERT_TRUE(start(name));
  EXPECT_EQ(_zolandm_trace_stream, stream);
  _zolandm_trace_printf("second record\n");
  EXPECT_EQ(test_support::read_file(name), banner + "first record\nsecond record\n");

  // The same file under another spelling of its name is the same file.
  ASSERT_TRUE(start(dir.path() + "/./same.log"));
  EXPECT_EQ(_zolandm_trace_stream, stream);

  const std::string other = dir.file("other.log");
  ASSERT_TRUE(start(other));
  EXPECT_EQ(test_support::read_file(name), banner + "first record\nsecond record\n" + trailer);
  EXPECT_EQ(test_support::read_file(other), banner);

  // After a stop the next start begins the file afresh; root may not open a file that exists.
  _zolandm_trace_stop();
  if (geteuid() == 0) {
    EXPECT_FALSE(start(other));
    EXPECT_EQ(test_support::read_file(other), banner + trailer);
  } else {
    ASSERT_TRUE(start(other));
    EXPECT_EQ(test_support::read_file(other), banner);
  }
}

// As root the file must not exist yet; as any other user an existing file is truncated. Neither
// follows a symbolic link at the name.
TEST_F(TraceFile, ExistingFilesByUser) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run as two users";
  struct passwd* nobody = getpwnam("nobody");
  ASSERT_NE(nobody, nullptr);
  const std::string existing = dir.file("existing.log");
  ASSERT_TRUE(test_support::write_file(existing, "old text\n"));
  EXPECT_FALSE(start(existing));
  EXPECT_EQ(test_support::read_file(existing), "old text\n");

  ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
  ASSERT_EQ(chown(existing.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  const std::string victim = dir.file("victim");
  ASSERT_TRUE(test_support::write_file(victim, "keep me"));
  ASSERT_EQ(chmod(victim.c_str(), 0666), 0);
  ASSERT_EQ(symlink(victim.c_str(), dir.file("link.log").c_str()), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (setegid(nobody->pw_gid) != 0 || seteuid(nobody->pw_uid) != 0) _exit(10);
    if (start(dir.file("link.log"))) _exit(11);
    if (!start(existing)) _exit(12);
    _zolandm_trace_stop();
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(test_support::read_file(existing), banner + trailer);
  EXPECT_EQ(test_support::read_file(victim), "keep me");
}

}  // namespace
