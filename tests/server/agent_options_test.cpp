#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "server/agent_options.h"
#include "server/startup.h"
#include "util/getopt.h"

namespace {

// The agent's description, registered as its start-up does.
const bool registered = (agent_register_program(), true);

void reset() {
  f_noautocommit = f_jetfix = f_norowsetsizelimit = f_debug = 0;
  f_maxrows = 0;
  f_loglevel = -1;
  f_initSQL = f_logfile = f_internal = nullptr;
  VYR_optind = 0;
}

// initialize_program over args; the argument strings live as long as the test.
void parse(std::vector<std::string>& args) {
  reset();
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int argc = static_cast<int>(args.size());
  char** v = argv.data();
  program_info.flags = 0;  // no copy of the vector: the values point into args
  initialize_program(&argc, &v);
}

TEST(AgentOptions, TableRows) {
  struct Row {
    const char* name;
    char short_opt;
    int type;
  } rows[] = {{"noautocommit", 'C', 0}, {"maxrows", 'm', 3},       {"initsql", 'i', 1},
              {"jetfix", 'j', 0},       {"norowsetlimit", 'r', 0}, {"loglevel", 'l', 2},
              {"logfile", 'L', 1},      {"debug", 'd', 0},         {"internal", 0, 1}};
  int i = 0;
  for (const auto& r : rows) {
    ASSERT_NE(options[i].long_opt, nullptr);
    EXPECT_STREQ(options[i].long_opt, r.name);
    EXPECT_EQ(options[i].short_opt, r.short_opt);
    EXPECT_EQ(options[i].arg_type, r.type);
    EXPECT_NE(options[i].arg_ptr, nullptr);
    ++i;
  }
  EXPECT_EQ(options[i].long_opt, nullptr);
  EXPECT_EQ(program_info.program_options, options);
  EXPECT_EQ(program_info.program_version, version);
}

TEST(AgentOptions, EveryFormSetsTheSameVariables) {
  const std::vector<std::vector<std::string>> forms = {
      {"p", "+noautocommit", "+maxrows=25", "+initsql=init.sql", "+jetfix", "+norowsetlimit", "+loglevel=6",
       "+logfile=a.log", "+debug", "+internal=tcp=3"},
      {"p", "--noautocommit", "--maxrows", "25", "--initsql", "init.sql", "--jetfix", "--norowsetlimit",
       "--loglevel", "6", "--logfile", "a.log", "--debug", "--internal", "tcp=3"},
      {"p", "-C", "-m25", "-i", "init.sql", "-jr", "-l6", "-L", "a.log", "-d", "+int=tcp=3"},
      {"p", "+noa", "+max", "25", "+ini=init.sql", "+jet", "+nor", "+logl", "6", "+logf=a.log", "+deb",
       "+inte", "tcp=3"},
  };
  for (auto args : forms) {
    parse(args);
    EXPECT_EQ(f_noautocommit, 1) << args[1];
    EXPECT_EQ(f_maxrows, 25u);
    ASSERT_NE(f_initSQL, nullptr);
    EXPECT_STREQ(f_initSQL, "init.sql");
    EXPECT_EQ(f_jetfix, 1);
    EXPECT_EQ(f_norowsetsizelimit, 1);
    EXPECT_EQ(f_loglevel, 6);
    ASSERT_NE(f_logfile, nullptr);
    EXPECT_STREQ(f_logfile, "a.log");
    EXPECT_EQ(f_debug, 1);
    ASSERT_NE(f_internal, nullptr);
    EXPECT_STREQ(f_internal, "tcp=3");
  }
}

TEST(AgentOptions, DefaultsAndLastOneWins) {
  std::vector<std::string> args = {"p", "+internal="};
  parse(args);
  EXPECT_EQ(f_loglevel, -1);
  EXPECT_EQ(f_maxrows, 0u);
  EXPECT_EQ(f_logfile, nullptr);
  ASSERT_NE(f_internal, nullptr);
  EXPECT_STREQ(f_internal, "");
  args = {"p", "-m", "3", "+maxrows=9", "-l", "x"};
  parse(args);
  EXPECT_EQ(f_maxrows, 9u);
  EXPECT_EQ(f_loglevel, 0);  // text that is no number reads 0
}

}  // namespace
