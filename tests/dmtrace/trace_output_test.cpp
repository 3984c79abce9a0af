// The trace's record headers, return-code names, text and hex dumps, the output primitives
// without a stream, and the rollover of a file grown past its limit.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "dmtrace/trace.h"
#include "fixtures/support/support.h"
#include "trace_capture.h"

using trace_test::capture;
using trace_test::normalise;
using trace_test::row;

namespace {

class TraceOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    _zolandm_trace_set_clock(trace_test::fixed_clock);
    trace_test::fixed_now = {1796947200, 0};
    _zolandm_trace_start_time = trace_test::fixed_now;
    _zolandm_trace_set_appname("app");
  }
  void TearDown() override {
    _zolandm_trace_stop();
    _zolandm_trace_set_clock(nullptr);
    _zolandm_trace_set_size_limit(0);
  }
};

TEST_F(TraceOutput, RecordHeadersWithElapsedTimeAndReturnCodeNames) {
  struct Case {
    struct timeval start, now;
    int function_id, leaving, rc;
    const char* app;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {{100, 0}, {102, 500000}, 16, 0, 0, "app", "\n[000002.500000]\napp             TID ENTER SQLPrepare\n"},
      {{100, 900000},
       {103, 100000},
       16,
       1,
       0,
       "app",
       "\n[000002.200000]\napp             TID EXIT  SQLPrepare with return code 0 (SQL_SUCCESS)\n"},
      {{100, 0},
       {100, 0},
       35,
       1,
       1,
       "app",
       "\n[000000.000000]\napp             TID EXIT  SQLFetch with return code 1 (SQL_SUCCESS_WITH_INFO)\n"},
      {{100, 0},
       {100, 7},
       35,
       1,
       -1,
       "app",
       "\n[000000.000007]\napp             TID EXIT  SQLFetch with return code -1 (SQL_ERROR)\n"},
      {{100, 0},
       {100, 0},
       35,
       1,
       -2,
       "app",
       "\n[000000.000000]\napp             TID EXIT  SQLFetch with return code -2 (SQL_INVALID_HANDLE)\n"},
      {{100, 0},
       {100, 0},
       23,
       1,
       2,
       "app",
       "\n[000000.000000]\napp             TID EXIT  SQLExecute with return code 2 (SQL_STILL_EXECUTING)\n"},
      {{100, 0},
       {100, 0},
       23,
       1,
       99,
       "app",
       "\n[000000.000000]\napp             TID EXIT  SQLExecute with return code 99 (SQL_NEED_DATA)\n"},
      {{100, 0},
       {100, 0},
       35,
       1,
       100,
       "app",
       "\n[000000.000000]\napp             TID EXIT  SQLFetch with return code 100 (SQL_NO_DATA_FOUND)\n"},
      {{100, 0},
       {100, 0},
       35,
       1,
       3,
       "app",
       "\n[000000.000000]\napp             TID EXIT  SQLFetch with return code 3 (invalid retcode)\n"},
      {{100, 0},
       {1234667, 0},
       90,
       0,
       0,
       "a-very-long-application-name",
       "\n[1234567.000000]\na-very-long-app TID ENTER SQLExecDirectW\n"},
      {{100, 0},
       {100, 0},
       0,
       0,
       0,
       nullptr,
       "\n[000000.000000]\nApplication     TID ENTER UNKNOWN FUNCTION\n"},
      {{100, 0},
       {100, 0},
       9999,
       0,
       0,
       "app",
       "\n[000000.000000]\napp             TID ENTER UNKNOWN FUNCTION\n"},
  };
  for (const Case& c : cases) {
    _zolandm_trace_start_time = c.start;
    trace_test::fixed_now = c.now;
    _zolandm_trace_set_appname(c.app);
    std::string text = capture([&] { _zolandm_trace_call_line(c.function_id, c.leaving, c.rc); });
    EXPECT_EQ(normalise(text), c.expected) << c.function_id << " " << c.rc;
  }
}

TEST_F(TraceOutput, ThreadIdIsTheCallersInUpperCaseHex) {
  std::string text = capture([] { _zolandm_trace_call_line(35, 0, 0); });
  char expected[64];
  snprintf(expected, sizeof expected, " %08lX ENTER", static_cast<unsigned long>(pthread_self()));
  EXPECT_NE(text.find(expected), std::string::npos) << text;
}

TEST_F(TraceOutput, TextDumps) {
  const std::string a40(40, 'a');
  std::string utf8_40;  // forty two-byte characters
  for (int i = 0; i < 40; i++) utf8_40 += "\xC3\xA9";
  std::string long_text(40001, 'x');
  std::string thousand_rows;
  for (int i = 0; i < 1000; i++) thousand_rows += row(std::string(40, 'x'));
  struct Case {
    const char* what;
    const char* text;
    SQLLEN length;
    int utf8;
    std::string expected;
  };
  const std::string a41 = a40 + "b";
  const std::vector<Case> cases = {
      {"41 characters", a41.c_str(), SQL_NTS, 0, row(a40) + row("b")},
      {"exactly one row", a40.c_str(), 40, 0, row(a40)},
      {"length stops early", "abcdef", 3, 0, row("abc")},
      {"NUL stops before the length", "ab\0cd", 5, 0, row("ab")},
      {"empty with SQL_NTS", "", SQL_NTS, 0, ""},
      {"length 0", "abc", 0, 0, ""},
      {"negative length", "abc", -5, 0, ""},
      {"null text", nullptr, 5, 0, ""},
      {"UTF-8 fills one row", utf8_40.c_str(), SQL_NTS, 1, "\t\t\t\t  | " + utf8_40 + " |\n"},
      {"bytes without the flag", utf8_40.c_str(), SQL_NTS, 0,
       "\t\t\t\t  | " + utf8_40.substr(0, 40) + " |\n\t\t\t\t  | " + utf8_40.substr(40) + " |\n"},
      {"stray continuation bytes", "a\x80\x80z", SQL_NTS, 1,
       "\t\t\t\t  | a#z" + std::string(37, ' ') + " |\n"},
      {"0xFE and 0xFF", "\xFE\xFF!", SQL_NTS, 1, "\t\t\t\t  | ##!" + std::string(37, ' ') + " |\n"},
      {"sequence cut by the length", "x\xE2\x82\xAC", 3, 1,
       "\t\t\t\t  | x\xE2\x82" + std::string(38, ' ') + " |\n"},
      {"sequence cut by the NUL", "\xE2\x82", SQL_NTS, 1,
       "\t\t\t\t  | \xE2\x82" + std::string(39, ' ') + " |\n"},
      {"four- to six-byte sequences", "\xF0\x9F\x98\x80\xF8\x88\x80\x80\x80\xFC\x84\x80\x80\x80\x80", SQL_NTS,
       1,
       "\t\t\t\t  | \xF0\x9F\x98\x80\xF8\x88\x80\x80\x80\xFC\x84\x80\x80\x80\x80" + std::string(37, ' ') +
           " |\n"},
      {"more than 40000 bytes", long_text.c_str(), SQL_NTS, 0, thousand_rows + row("(truncated)")},
  };
  for (const Case& c : cases) {
    std::string text = capture([&] { _zolandm_trace_dump_text(c.text, c.length, c.utf8); });
    EXPECT_EQ(text, c.expected) << c.what;
  }
}

TEST_F(TraceOutput, HexDumps) {
  std::vector<unsigned char> big(10001, 0x41);
  std::string thousand_rows;
  for (int i = 0; i < 1000; i++) thousand_rows += row("41 41 41 41 41 41 41 41 41 41 AAAAAAAAAA");
  const unsigned char abc[] = {0x41, 0x42, 0x0A};
  const unsigned char ten[] = {0x00, 0x01, 0x7F, 0x80, 0xFF, 0x20, 0x7E, 0x30, 0x39, 0x5A};
  struct Case {
    const char* what;
    const void* data;
    SQLLEN length;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"three bytes", abc, 3, row("41 42 0A " + std::string(21, ' ') + "AB." + std::string(7, ' '))},
      {"one full row", ten, 10, row("00 01 7F 80 FF 20 7E 30 39 5A ..... ~09Z")},
      {"a full row and one byte", big.data(), 11,
       row("41 41 41 41 41 41 41 41 41 41 AAAAAAAAAA") +
           row("41 " + std::string(27, ' ') + "A" + std::string(9, ' '))},
      {"10001 bytes", big.data(), 10001, thousand_rows + row("(truncated)")},
      {"length 0", abc, 0, ""},
      {"negative length", abc, -3, ""},
      {"null data", nullptr, 3, ""},
  };
  for (const Case& c : cases) {
    std::string text = capture([&] { _zolandm_trace_dump_hex(c.data, c.length); });
    EXPECT_EQ(text, c.expected) << c.what;
  }
}

TEST_F(TraceOutput, WritingWithoutAStreamSwitchesTracingOff) {
  ASSERT_EQ(_zolandm_trace_stream, nullptr);
  using Write = void (*)();
  const std::vector<Write> writes = {
      [] { _zolandm_trace_printf("x%d", 1); },    [] { _zolandm_trace_putc('x'); },
      [] { _zolandm_trace_call_line(35, 0, 0); }, [] { _zolandm_trace_dump_text("abc", SQL_NTS, 0); },
      [] { _zolandm_trace_dump_hex("abc", 3); },
  };
  for (Write write : writes) {
    _zolandm_trace_enabled = 1;
    write();
    EXPECT_EQ(_zolandm_trace_enabled, 0);
  }
}

TEST_F(TraceOutput, PutcAndPrintfWriteThrough) {
  EXPECT_EQ(capture([] {
              _zolandm_trace_putc('<');
              _zolandm_trace_printf("%s %d", "x", 5);
              _zolandm_trace_putc('>');
            }),
            "<x 5>");
}

// Past the limit the next header ends the file with the limit line and the trailer, opens the
// template's next name with a new banner and the continuation line, and the record's argument
// lines follow there.
TEST_F(TraceOutput, RolloverPastTheSizeLimit) {
  test_support::TempDir dir;
  _zolandm_trace_set_filename((dir.path() + "/roll.$S.log").c_str());
  int first = _zolandm_trace_seq;
  std::string first_name = _zolandm_trace_filename;
  _zolandm_trace_start();
  ASSERT_EQ(_zolandm_trace_enabled, 1);
  _zolandm_trace_set_appname("app");
  _zolandm_trace_set_size_limit(300);
  int records = 0;
  while (ftell(_zolandm_trace_stream) <= 300) {
    _zolandm_trace_call_line(35, 0, 0);
    _zolandm_trace_printf("\t\tSQLHSTMT          arg\n");
    ASSERT_LT(++records, 100);
  }
  _zolandm_trace_call_line(35, 1, 0);  // rolls over instead of writing this header
  _zolandm_trace_printf("\t\tSQLHSTMT          after\n");
  EXPECT_EQ(_zolandm_trace_enabled, 1);
  std::string second_name = _zolandm_trace_filename;
  EXPECT_EQ(second_name, dir.path() + "/roll." + std::to_string(first + 1) + ".log");
  EXPECT_EQ(first_name, dir.path() + "/roll." + std::to_string(first) + ".log");
  _zolandm_trace_stop();

  const std::string banner =
      "** Zolan Trace file\n** Trace started on Fri Dec 11 00:00:00 2026\n** Driver Manager: "
      "03.52.1015.0210\n\n";
  const std::string trailer = "\n** Trace finished on Fri Dec 11 00:00:00 2026\n";
  std::string old_file = test_support::read_file(first_name);
  ASSERT_EQ(old_file.substr(0, banner.size()), banner);
  const std::string limit = "\n*** TRACEFILE LIMIT REACHED ***\n" + trailer;
  ASSERT_GE(old_file.size(), limit.size());
  EXPECT_EQ(old_file.substr(old_file.size() - limit.size()), limit);
  EXPECT_EQ(old_file.find("EXIT"), std::string::npos);
  EXPECT_EQ(test_support::read_file(second_name),
            banner + "\n*** TRACEFILE CONTINUED ***\n\n\t\tSQLHSTMT          after\n" + trailer);
}

}  // namespace
