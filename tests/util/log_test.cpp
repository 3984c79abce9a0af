#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fixtures/support/support.h"
#include "util/fault.h"
#include "util/log.h"

#pragma GCC diagnostic ignored "-Wformat"
#pragma GCC diagnostic ignored "-Wformat-extra-args"

namespace {

std::vector<std::pair<int, std::string>> lines;

// '#' matches a digit, '@' a letter, anything else itself.
bool matches(const std::string& text, const std::string& pattern) {
  if (text.size() != pattern.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char p = pattern[i], c = text[i];
    if (p == '#'   ? !isdigit(static_cast<unsigned char>(c))
        : p == '@' ? !isalpha(static_cast<unsigned char>(c))
                   : p != c)
      return false;
  }
  return true;
}

void capture(LOG*, int level, char* text) { lines.emplace_back(level, text); }

// A callback sink that is closed and released at the end of the test.
class Sink {
 public:
  Sink(int level, int mask, int style) {
    lines.clear();
    sink_ = log_open_callback(capture, nullptr, level, mask, style);
  }
  ~Sink() {
    log_close(sink_);
    free(sink_);
  }
  LOG* get() { return sink_; }

 private:
  LOG* sink_;
};

TEST(Log, BeforeAnySinkMessagesGoToStderrExpandedWithoutPrefix) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        errno = ENOENT;
        logit(7, "src/x.cpp", 42, "at %L in %F: %m (%d%%)", 5);
        logit(9, nullptr, 0, "no file:%F.");
        exit(0);
      },
      testing::ExitedWithCode(0), "^at 42 in src/x.cpp: No such file or directory \\(5%\\)\nno file:\\.\n$");
}

TEST(Log, LevelAndMaskFiltering) {
  Sink s(3, -1, 0);
  struct Case {
    int level;
    int mask;
    bool taken;
  } cases[] = {{0, 1, true},  {3, 1, true}, {4, 1, false}, {7, 1, false},
               {-5, 1, true}, {3, 0, true}, {6, 0, true}};
  for (const auto& c : cases) {
    lines.clear();
    logmsg(c.level, nullptr, 0, c.mask, "m");
    EXPECT_EQ(lines.size(), c.taken ? 1u : 0u) << "level " << c.level << " mask " << c.mask;
  }
  log_set_mask(s.get(), 7, 2);
  lines.clear();
  logit(5, nullptr, 0, "only category 1");
  EXPECT_TRUE(lines.empty());
  log_set_mask(s.get(), 7, -1);
  log_set_mask(s.get(), 1, 1);  // bit 1 at levels 0..1, cleared above
  lines.clear();
  logit(5, nullptr, 0, "cleared");
  logit(1, nullptr, 0, "kept");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].second, "kept\n");
  log_set_level(s.get(), 2);
  lines.clear();
  logmsg(2, nullptr, 0, 64, "a");
  logmsg(3, nullptr, 0, 64, "b");
  EXPECT_EQ(lines.size(), 1u);
}

TEST(Log, SinkWithoutCategoryOneTakesNothingFromLogit) {
  Sink s(7, 2, 0);
  logit(0, nullptr, 0, "x");
  EXPECT_TRUE(lines.empty());
  logmsg(0, nullptr, 0, 0, "y");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].second, "y\n");
}

TEST(Log, LineStyles) {
  struct Case {
    int style;
    const char* file;
    const char* pattern;
  } cases[] = {
      {0, "f.cpp", "hello 7\n"},
      {0x02, nullptr, "##/##/#### ##:##:## hello 7\n"},
      {0x04, nullptr, "ERROR: hello 7\n"},
      {0x08, nullptr, "sqlgate-test: hello 7\n"},
      {0x10, "f.cpp", "(f.cpp:12): hello 7\n"},
      {0x10, nullptr, "hello 7\n"},
      {0x12, nullptr, "##/##/#### ##:##:##: hello 7\n"},
      {0x1E, "a.c", "##/##/#### ##:##:## ERROR sqlgate-test (a.c:12): hello 7\n"},
  };
  for (const auto& c : cases) {
    Sink s(7, -1, c.style);
    logit(3, c.file, 12, "hello %d", 7);
    ASSERT_EQ(lines.size(), 1u) << c.style;
    EXPECT_TRUE(matches(lines[0].second, c.pattern))
        << "style " << c.style << ": [" << lines[0].second << "]";
  }
}

TEST(Log, StyleThreeBannerOncePerDay) {
  Sink s(7, -1, 3);
  logit(6, nullptr, 0, "one");
  logit(6, nullptr, 0, "two");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(matches(lines[0].second, "\n\t\t@@@ @@@ ## ####\n")) << lines[0].second;
  EXPECT_EQ(lines[0].first, 6);
  EXPECT_TRUE(matches(lines[1].second, "##:##:## one\n")) << lines[1].second;
  EXPECT_TRUE(matches(lines[2].second, "##:##:## two\n")) << lines[2].second;
}

TEST(Log, BannerAgainWhenTheDateChanges) {
  Sink s(7, -1, 3);
  logit(6, nullptr, 0, "one");
  s.get()->day = 0;  // as if the last line had been written on another day
  logit(6, nullptr, 0, "two");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_TRUE(matches(lines[2].second, "\n\t\t@@@ @@@ ## ####\n")) << lines[2].second;
  EXPECT_TRUE(matches(lines[3].second, "##:##:## two\n")) << lines[3].second;
}

TEST(Log, LevelFunctionsUseTheirLevelAndNoPosition) {
  Sink s(7, -1, 0x14);
  struct Case {
    int (*fn)(const char*, ...);
    int level;
    const char* want;
  } cases[] = {{log_error, 3, "ERROR: x 1\n"},
               {log_warning, 4, "WARNING: x 1\n"},
               {log_info, 6, "INFO: x 1\n"},
               {log_debug, 7, "DEBUG: x 1\n"}};
  for (const auto& c : cases) {
    lines.clear();
    EXPECT_EQ(c.fn("x %d", 1), 0);
    ASSERT_EQ(lines.size(), 1u) << c.want;
    EXPECT_EQ(lines[0], std::make_pair(c.level, std::string(c.want)));
  }
  for (int& m : s.get()->mask) m = 1 << 3;  // no category 1: the level functions log with mask 1
  lines.clear();
  log_error("dropped");
  EXPECT_TRUE(lines.empty());
}

TEST(Log, LonePercentAtTheEndOfTheLineIsText) {
  Sink s(7, -1, 0);
  struct Case {
    const char* format;
    const char* want;
  } cases[] = {{"50%", "50%\n"}, {"50%\nsecond line", "50%\n"}, {"a%%", "a%\n"}, {"%", "%\n"}};
  for (const auto& c : cases) {
    lines.clear();
    logit(1, nullptr, 0, c.format);
    ASSERT_EQ(lines.size(), 1u) << c.format;
    EXPECT_EQ(lines[0].second, c.want);
  }
}

TEST(Log, LevelNamesClampOutOfRange) {
  Sink s(7, -1, 0x04);
  logit(12, nullptr, 0, "a");
  logit(-3, nullptr, 0, "b");
  logit(4, nullptr, 0, "c");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], std::make_pair(7, std::string("DEBUG: a\n")));
  EXPECT_EQ(lines[1], std::make_pair(0, std::string("EMERG: b\n")));
  EXPECT_EQ(lines[2].second, "WARNING: c\n");
}

TEST(Log, OnlyFirstLineOfFormatAndLongLinesKeepNewline) {
  Sink s(7, -1, 0x08);
  logit(1, nullptr, 0, "first\nsecond");
  std::string big(20000, 'x');
  logit(1, nullptr, 0, "%s", big.c_str());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].second, "sqlgate-test: first\n");
  EXPECT_EQ(lines[1].second.size(), 8191u);
  EXPECT_EQ(lines[1].second.back(), '\n');
  EXPECT_EQ(lines[1].second.rfind("sqlgate-test: xxx", 0), 0u);
}

TEST(Log, ExpansionsAndPercentInFileName) {
  Sink s(7, -1, 0);
  errno = EACCES;
  logit(3, "odd%sname.c", 9, "%F line %L: %m");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].second, "odd%sname.c line 9: Permission denied\n");
  EXPECT_EQ(errno, EACCES);  // the logger keeps errno
}

TEST(Log, NewestSinkFirstAndCloseAllSilences) {
  std::vector<int> order;
  static std::vector<int>* seen;
  seen = &order;
  LOG* a = log_open_callback([](LOG*, int, char*) { seen->push_back(1); }, nullptr, 7, -1, 0);
  LOG* b = log_open_callback([](LOG*, int, char*) { seen->push_back(2); }, nullptr, 7, -1, 0);
  logit(5, nullptr, 0, "x");
  EXPECT_EQ(order, (std::vector<int>{2, 1}));
  log_close_all();
  order.clear();
  testing::internal::CaptureStderr();
  logit(0, nullptr, 0, "dropped");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(order.empty());
  log_close(a);  // closing twice does nothing
  free(a);
  free(b);
}

TEST(Log, CloserRunsOnceAndFileSinksAppend) {
  test_support::TempDir dir;
  std::string path = dir.file("log.txt");
  ASSERT_TRUE(test_support::write_file(path, "old\n"));
  LOG* f = log_open_file(path.c_str(), 7, -1, 0x04);
  ASSERT_NE(f, nullptr);
  logit(6, nullptr, 0, "new %s", "line");
  log_close(f);
  log_close(f);
  free(f);
  EXPECT_EQ(test_support::read_file(path), "old\nINFO: new line\n");
  EXPECT_EQ(log_open_file(dir.file("no/such/dir").c_str(), 7, -1, 0), nullptr);
}

TEST(Log, StreamSinkClosesStreamOnlyWhenAsked) {
  test_support::TempDir dir;
  FILE* fp = fopen(dir.file("s").c_str(), "w");
  ASSERT_NE(fp, nullptr);
  LOG* keep = log_open_fp2(fp, 7, -1, 0);
  logit(1, nullptr, 0, "kept");
  log_close(keep);
  free(keep);
  EXPECT_EQ(fputs("after\n", fp) >= 0, true);
  LOG* own = log_open_fp(fp, 7, -1, 0);
  logit(1, nullptr, 0, "owned");
  log_close(own);  // fcloses fp
  free(own);
  EXPECT_EQ(test_support::read_file(dir.file("s")), "kept\nafter\nowned\n");
}

TEST(Log, FailedSinkAllocationReturnsNull) {
  vyr_fault_inject(0);
  LOG* s = log_open_callback(capture, nullptr, 7, -1, 0);
  vyr_fault_inject(-1);
  EXPECT_EQ(s, nullptr);
}

TEST(Log, ParseMask) {
  const LOGMASK_ALIST names[] = {{"sql", 1}, {"rpc", 2}, {"", 16}, {"Net", 4}};
  struct Case {
    const char* text;
    int rc;
    int mask;
  } cases[] = {{"sql", 0, 1},   {"sql,rpc", 0, 3}, {"rpc,Net", 0, 6},      {"", 0, 16},
               {"sql,", 0, 17}, {"net", -1, 0},    {"sql,bad,rpc", -1, 1}, {"SQL", -1, 0}};
  for (const auto& c : cases) {
    int mask = 99;
    EXPECT_EQ(log_parse_mask(c.text, names, 4, &mask), c.rc) << c.text;
    EXPECT_EQ(mask, c.mask) << c.text;
  }
}

TEST(Log, StrerrorKnownAndUnknown) {
  EXPECT_STREQ(vyr_strerror(ENOENT), "No such file or directory");
  EXPECT_STREQ(vyr_strerror(9999), "Unknown error 9999");
  EXPECT_STREQ(vyr_strerror(-1), "Unknown error 4294967295");
}

}  // namespace

namespace {

TEST(Log, SyslogSinkOpensAndCloses) {
  LOG* s = log_open_syslog("sqlgate-test", LOG_PID, LOG_USER, 0, -1, 0);
  ASSERT_NE(s, nullptr);
  logit(7, nullptr, 0, "filtered out by the level");
  log_close(s);
  free(s);
}

}  // namespace
