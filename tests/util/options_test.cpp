#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fixtures/support/support.h"
#include "util/getopt.h"
#include "util/options.h"

namespace {

using Args = std::vector<std::string>;

// Runs the parser over args and describes every result: "c", "c=value",
// "L<index>", "L<index>=value", "?", ":" or "1=value"; then the argument
// vector after parsing from VYR_optind on.
std::string parse(const Args& args, const char* optstring, const option* longopts, int long_only = 0) {
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  VYR_optind = 0;
  VYR_opterr = 0;
  std::string out;
  for (;;) {
    int index = -1;
    int c = longopts == nullptr ? VYR_getopt(int(args.size()), argv.data(), optstring)
            : long_only ? VYR_getopt_long_only(int(args.size()), argv.data(), optstring, longopts, &index)
                        : VYR_getopt_long(int(args.size()), argv.data(), optstring, longopts, &index);
    if (c == -1) break;
    if (!out.empty()) out += ' ';
    if (c == 0)
      out += "L" + std::to_string(index);
    else if (c == 1)
      out += "1";
    else
      out += static_cast<char>(c);
    if (VYR_optarg != nullptr) out += std::string("=") + VYR_optarg;
  }
  out += " |";
  for (int i = VYR_optind; i < int(args.size()); ++i) out += std::string(" ") + argv[i];
  return out;
}

int flag_target;
const option longopts[] = {{"maxrows", 1, &flag_target, 0}, {"max", 0, &flag_target, 1},
                           {"debug", 0, &flag_target, 2},   {"deb", 2, &flag_target, 3},
                           {"initsql", 1, &flag_target, 4}, {"loglevel", 1, nullptr, 'l'},
                           {nullptr, 0, nullptr, 0}};

class GetoptTest : public testing::Test {
 protected:
  void SetUp() override { unsetenv("POSIXLY_CORRECT"); }
};

TEST_F(GetoptTest, LongAndShortForms) {
  struct Case {
    Args args;
    const char* want;
  } cases[] = {
      {{"p", "+maxrows=5"}, "L0=5 |"},
      {{"p", "--maxrows=5"}, "L0=5 |"},
      {{"p", "+maxrows", "5"}, "L0=5 |"},
      {{"p", "--maxrows", "5"}, "L0=5 |"},
      {{"p", "-m5"}, "m=5 |"},
      {{"p", "-m", "5"}, "m=5 |"},
      {{"p", "+maxr=5"}, "L0=5 |"},  // unambiguous prefix
      {{"p", "+ma"}, "? |"},         // ambiguous: maxrows, max
      {{"p", "+max"}, "L1 |"},       // exact name wins over longer ones
      {{"p", "--debu"}, "L2 |"},
      {{"p", "--deb"}, "L3 |"},  // exact, optional value absent
      {{"p", "--deb=x"}, "L3=x |"},
      {{"p", "--debug=x"}, "? |"},  // value to an option that takes none
      {{"p", "+maxrows"}, "? |"},   // value missing at the end
      {{"p", "--nosuch"}, "? |"},
      {{"p", "+loglevel=7"}, "l=7 |"},  // no flag: val returned
      {{"p", "+-max"}, "L1 |"},
      {{"p", "-dC"}, "d C |"},
      {{"p", "-x"}, "? |"},
      {{"p", "-:"}, "? |"},
      {{"p", "-d", "-", "+"}, "d | - +"},  // "-" and "+" alone are non-options
      {{"p", "-dm5"}, "d m=5 |"},          // a value inside a cluster, after a flag
      {{"p", "-dm", "5"}, "d m=5 |"},
      {{"p", "-m", "-d"}, "m=-d |"},   // the next argument is the value, whatever it is
      {{"p", "--maxrows="}, "L0= |"},  // an empty value
      {{"p", "+initsql", "--debug"}, "L4=--debug |"},
  };
  for (const auto& c : cases) {
    std::string joined;
    for (const auto& a : c.args) joined += a + " ";
    EXPECT_EQ(parse(c.args, "Cdm:l:", longopts), c.want) << joined;
  }
}

TEST_F(GetoptTest, PermutationAndOrdering) {
  struct Case {
    Args args;
    const char* optstring;
    const char* want;
  } cases[] = {
      {{"p", "file1", "-d", "file2", "+max", "file3"}, "d", "d L1 | file1 file2 file3"},
      {{"p", "f1", "+maxrows", "5", "f2", "-d"}, "d", "L0=5 d | f1 f2"},  // values stay with their options
      {{"p", "-d", "--", "+max", "x"}, "d", "d | +max x"},
      {{"p", "a", "--", "-d"}, "d", " | a -d"},
      {{"p", "file1", "-d"}, "+d", " | file1 -d"},
      {{"p", "file1", "-d"}, "-d", "1=file1 d |"},
      {{"p", "-Cq", "-m"}, ":Cm:", "C ? : |"},
      {{"p", "-ovalue", "-o"}, "o::", "o=value o |"},
  };
  for (const auto& c : cases) EXPECT_EQ(parse(c.args, c.optstring, longopts), c.want);
}

// Without a long-option table "+" starts no option.
TEST_F(GetoptTest, ShortOptionsOnly) {
  struct Case {
    Args args;
    const char* optstring;
    const char* want;
  } cases[] = {
      {{"p", "-ab", "+x", "-c", "v"}, "abc:", "a b c=v | +x"},
      {{"p", "-cv", "-a"}, "abc:", "c=v a |"},
      {{"p", "-a", "--", "-b"}, "ab", "a | -b"},
      {{"p", "-z", "-a"}, "ab", "? a |"},
      {{"p", "-c"}, ":c:", ": |"},
      {{"p", "x", "-a"}, "+ab", " | x -a"},
  };
  for (const auto& c : cases) EXPECT_EQ(parse(c.args, c.optstring, nullptr), c.want) << c.args[1];
}

TEST_F(GetoptTest, PosixlyCorrectStopsAtFirstNonOption) {
  setenv("POSIXLY_CORRECT", "1", 1);
  EXPECT_EQ(parse({"p", "-d", "file", "-C"}, "dC", longopts), "d | file -C");
  unsetenv("POSIXLY_CORRECT");
  EXPECT_EQ(parse({"p", "-d", "file", "-C"}, "dC", longopts), "d C | file");
}

TEST_F(GetoptTest, LongOnly) {
  EXPECT_EQ(parse({"p", "-debug", "-d"}, "d", longopts, 1), "L2 d |");
  EXPECT_EQ(parse({"p", "-zz"}, "d", longopts, 1), "? |");
}

TEST_F(GetoptTest, MessagesWhenAsked) {
  const char* argv[] = {"prog", "--nosuch", "+ma", "-x", "--debug=1", "+maxrows", nullptr};
  VYR_optind = 0;
  VYR_opterr = 1;
  testing::internal::CaptureStderr();
  while (VYR_getopt_long(6, argv, "d", longopts, nullptr) != -1) {
  }
  VYR_opterr = 1;
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "prog: unrecognized option `--nosuch'\n"
            "prog: option `+ma' is ambiguous\n"
            "prog: illegal option -- x\n"
            "prog: option `--debug' doesn't allow an argument\n"
            "prog: option `+maxrows' requires an argument\n");
}

// --- the program's option table ---------------------------------------------

int o_flag, o_num;
char* o_str;
int o_func_calls;
pgm_option table[] = {
    {"noautocommit", 'C', OPT_FLAG, &o_flag, "turn autocommit off by default"},
    {"maxrows", 'm', OPT_NUM, &o_num, "maximum allowed rows to fetch"},
    {"initsql", 'i', OPT_STRING, &o_str, "execute SQL from this file"},
    {"hidden", 'h', OPT_FLAG, nullptr, nullptr},
    {"callme", 0, OPT_FUNC, reinterpret_cast<void*>(+[](const pgm_option*) { ++o_func_calls; }),
     "call a function"},
    {"internal", 0, OPT_STRING, &o_str, ""},
    {nullptr, 0, 0, nullptr, nullptr}};

class ProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = program_info;
    program_info.program_options = table;
    program_info.flags = PGM_RESPONSE_FILE;
    o_flag = o_num = o_func_calls = 0;
    o_str = nullptr;
    unsetenv("POSIXLY_CORRECT");
  }
  void TearDown() override {
    program_info = saved_;
    for (char** v : owned_) {
      for (char** p = v; *p != nullptr; ++p) free(*p);
      free(v);
    }
  }

  // Runs initialize_program on args; returns the remaining arguments.
  Args run(const Args& args) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int argc = static_cast<int>(args.size());
    char** v = argv.data();
    initialize_program(&argc, &v);
    // The options point into the expanded vector: keep it to the end of the test.
    owned_.push_back(v);
    return Args(v, v + argc);
  }
  pgm_info saved_;
  std::vector<char**> owned_;
};

TEST_F(ProgramTest, AppliesRowsLastOneWins) {
  run({"/usr/bin/prog", "-C", "+maxrows=7", "-m", "9", "--init", "a.sql", "+callme=1", "+callme=2",
       "+hidden"});
  EXPECT_EQ(o_flag, 1);
  EXPECT_EQ(o_num, 9);
  ASSERT_NE(o_str, nullptr);
  EXPECT_STREQ(o_str, "a.sql");
  EXPECT_EQ(o_func_calls, 2);
}

TEST_F(ProgramTest, NumbersReadInBaseTen) {
  struct Case {
    const char* text;
    int want;
  } cases[] = {{"42", 42}, {"010", 10}, {"x", 0}, {"-3", -3}, {"99999999999", 2147483647}};
  for (const auto& c : cases) {
    run({"prog", "-m", c.text});
    EXPECT_EQ(o_num, c.want) << c.text;
  }
}

TEST_F(ProgramTest, ProgramNameFromFirstArgument) {
  program_info.program_name = nullptr;
  run({"/opt/x/bin/agent", "-C"});
  EXPECT_STREQ(program_info.program_name, "agent");
}

TEST_F(ProgramTest, OptionErrorsEndInUsage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const Args bad[] = {
      {"prog", "+nosuch"}, {"prog", "+noautocommit=1"}, {"prog", "+maxrows"}, {"prog", "-x"}, {"prog", "-m"},
      {"prog", "+in"},     {"prog", "--noauto=yes"}};
  for (const auto& args : bad) {
    EXPECT_EXIT(run(args), testing::ExitedWithCode(1), "Usage:") << args[1];
  }
}

TEST_F(ProgramTest, NonOptionsAreLeftInPlace) {
  Args rest = run({"prog", "file", "-C"});
  EXPECT_EQ(o_flag, 1);
  EXPECT_EQ(rest, (Args{"prog", "-C", "file"}));
  EXPECT_EQ(VYR_optind, 2);
}

TEST_F(ProgramTest, OrderingFlags) {
  program_info.flags = PGM_EXPAND_ARGV | PGM_REQUIRE_ORDER;  // stop at the first non-option
  Args rest = run({"prog", "-m", "4", "file", "-C"});
  EXPECT_EQ(o_num, 4);
  EXPECT_EQ(o_flag, 0);
  EXPECT_EQ(rest, (Args{"prog", "-m", "4", "file", "-C"}));
  EXPECT_EQ(VYR_optind, 3);

  GTEST_FLAG_SET(death_test_style, "threadsafe");
  program_info.flags = PGM_EXPAND_ARGV | PGM_RETURN_IN_ORDER;  // a non-option matches no row
  EXPECT_EXIT(run({"prog", "-C", "file"}), testing::ExitedWithCode(1), "Usage:");
}

TEST_F(ProgramTest, ResponseFile) {
  test_support::TempDir dir;
  std::string path = dir.file("args");
  ASSERT_TRUE(test_support::write_file(path, "-C  +maxrows\t12\n\"quoted word\" 'it''' ''\n\"open\nlast\r"));
  std::string at = "@" + path;
  Args rest = run({"prog", "@notlast", at});
  EXPECT_EQ(o_flag, 1);
  EXPECT_EQ(o_num, 12);
  EXPECT_EQ(rest, (Args{"prog", "-C", "+maxrows", "12", "@notlast", "quoted word", "it", "", "", "open",
                        "last\r"}));
}

TEST_F(ProgramTest, LongWordsInResponseFileStayWhole) {
  test_support::TempDir dir;
  std::string path = dir.file("args");
  std::string word(1200, 'w');
  ASSERT_TRUE(test_support::write_file(path, "--initsql " + word));
  run({"prog", "@" + path});
  ASSERT_NE(o_str, nullptr);
  EXPECT_EQ(std::string(o_str), word);
}

TEST_F(ProgramTest, ResponseFileOnlyWhenFlagged) {
  program_info.flags = PGM_EXPAND_ARGV;
  Args rest = run({"prog", "@x"});
  EXPECT_EQ(rest, (Args{"prog", "@x"}));
}

TEST_F(ProgramTest, UnreadableResponseFileTerminates) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // A directory opens for reading but cannot be read.
  for (const char* name : {"/no/such/file", "/"}) {
    EXPECT_EXIT(run({"prog", std::string("@") + name}), testing::ExitedWithCode(1),
                std::string("^unable to open response file ") + name + "\nserver shutting down\n$");
  }
}

TEST_F(ProgramTest, UsageText) {
  program_info.program_name = const_cast<char*>("prog");
  program_info.program_version = "Banner\n";
  program_info.extra_usage = "files...";
  testing::internal::CaptureStderr();
  default_usage();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Banner\n\nUsage:\n"
            "  prog [-Cmih] [+noautocommit] [+maxrows num] [+initsql arg] [+callme arg]\n"
            "       files...\n"
            "  +noautocommit   turn autocommit off by default\n"
            "  +maxrows        maximum allowed rows to fetch\n"
            "  +initsql        execute SQL from this file\n"
            "  +callme         call a function\n");
}

TEST_F(ProgramTest, UsageWrapsBeforeColumn78) {
  static pgm_option many[] = {{"aaaaaaaaaaaaaaaaaaaa", 0, OPT_FLAG, nullptr, "a"},
                              {"bbbbbbbbbbbbbbbbbbbb", 0, OPT_FLAG, nullptr, "b"},
                              {"cccccccccccccccccccc", 0, OPT_FLAG, nullptr, "c"},
                              {"dddddddddddddddddddd", 0, OPT_FLAG, nullptr, "d"},
                              {nullptr, 0, 0, nullptr, nullptr}};
  program_info.program_options = many;
  program_info.program_name = const_cast<char*>("p");
  program_info.program_version = "V";
  program_info.extra_usage = nullptr;
  testing::internal::CaptureStderr();
  default_usage();
  std::string text = testing::internal::GetCapturedStderr();
  // "  p" + 3 items of 24 = 2 + 1 + 72 = 75; a fourth would pass 78.
  EXPECT_NE(text.find("  p [+aaaaaaaaaaaaaaaaaaaa] [+bbbbbbbbbbbbbbbbbbbb] [+cccccccccccccccccccc]\n"
                      "    [+dddddddddddddddddddd]\n"),
            std::string::npos)
      << text;
}

// The extra text is measured without its leading blank, like the test of an
// item: 2 + 24 for "  p [+aaaaaaaaaaaaaaaaaaaa]", so 51 characters still fit.
TEST_F(ProgramTest, ExtraUsageWrapsAtColumn78) {
  static pgm_option one[] = {{"aaaaaaaaaaaaaaaaaaaa", 0, OPT_FLAG, nullptr, "a"},
                             {nullptr, 0, 0, nullptr, nullptr}};
  program_info.program_options = one;
  program_info.program_name = const_cast<char*>("p");
  program_info.program_version = "V";
  struct Case {
    size_t length;
    const char* between;
  } cases[] = {{51, " "}, {52, "\n    "}};
  for (const auto& c : cases) {
    std::string extra(c.length, 'x');
    program_info.extra_usage = extra.c_str();
    testing::internal::CaptureStderr();
    default_usage();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "V\nUsage:\n  p [+aaaaaaaaaaaaaaaaaaaa]" +
                                                          std::string(c.between) + extra +
                                                          "\n  +aaaaaaaaaaaaaaaaaaaa   a\n")
        << c.length;
  }
}

}  // namespace

#include <libintl.h>

namespace {

TEST(Locale, BindsTheTextDomain) {
  setenv("VYR_LOCALEDIR", "/tmp/sqlgate-locale", 1);
  initialize_locale("tarnwell");
  EXPECT_STREQ(textdomain(nullptr), "tarnwell");
  EXPECT_STREQ(bindtextdomain("tarnwell", nullptr), "/tmp/sqlgate-locale");
  unsetenv("VYR_LOCALEDIR");
  initialize_locale("other");
  EXPECT_STREQ(textdomain(nullptr), "other");
  EXPECT_STREQ(bindtextdomain("other", nullptr), ".");
  textdomain("messages");
}

}  // namespace
