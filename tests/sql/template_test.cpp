// The SQL template expander.
#include <gtest/gtest.h>

#include <string>

#include "sql/sql_template.h"

namespace {

std::string expand(const std::string &tmpl, std::vector<const char *> args, unsigned count) {
  std::vector<std::string> store;
  std::vector<char *> vect;
  for (const char *a : args) {
    if (a) {
      store.emplace_back(a);
    } else {
      store.emplace_back();
    }
  }
  for (size_t i = 0; i < args.size(); i++) vect.push_back(args[i] ? store[i].data() : nullptr);
  MPL pool;
  mpl_init(&pool);
  EXPECT_EQ(BuildSQLDynamic(&pool, reinterpret_cast<const unsigned char *>(tmpl.c_str()), vect.data(), count), 0);
  std::string out(reinterpret_cast<char *>(mpl_finish(&pool)));
  mpl_destroy(&pool);
  return out;
}

#define IF(id, kind, n) std::string("\xff\x02") + char(id) + char(kind) + char(n)
#define ELIF(id, kind, n) std::string("\xff\x03") + char(id) + char(kind) + char(n)
#define ELSE(id) std::string("\xff\x04") + char(id)
#define END(id) std::string("\xff\x05") + char(id)

struct Case {
  std::string tmpl;
  std::vector<const char *> args;
  unsigned count;
  std::string out;
};

TEST(Template, Expansion) {
  const std::string arg1 = "\xff\x01\x01";
  const Case cases[] = {
      {"a" + arg1 + "b", {nullptr}, 1, "ab"},
      {"a" + arg1 + "b", {}, 0, "aNULLb"},
      {std::string("x\xff\x01") + '\0', {"v"}, 1, "x"},
      {"x\xff", {"v"}, 1, "x"},  // cut off escape
      {"[" + IF(1, 1, 1) + "blank" + END(1) + "]", {"   "}, 1, "[blank]"},
      {"[" + IF(1, 1, 1) + "blank" + END(1) + "]", {"%"}, 1, "[blank]"},
      {"[" + IF(1, 1, 1) + "blank" + END(1) + "]", {"%a"}, 1, "[]"},
      {"[" + IF(1, 1, 1) + "blank" + END(1) + "]", {nullptr}, 1, "[blank]"},
      {"[" + IF(1, 2, 1) + "text" + END(1) + "]", {"%a"}, 1, "[text]"},
      {"[" + IF(1, 3, 1) + "wild" + ELSE(1) + "none:" + arg1 + END(1) + "]", {"a\\%b"}, 1, "[none:a%b]"},
      {"[" + IF(1, 4, 1) + "none:" + arg1 + END(1) + "]", {"a\\%b"}, 1, "[none:a%b]"},
      {"[" + IF(1, 3, 1) + "wild" + END(1) + "]", {"_x"}, 1, "[wild]"},
      {"[" + IF(1, 4, 1) + "none" + END(1) + "]", {""}, 1, "[none]"},
      {IF(1, 1, 1) + "A" + ELIF(1, 2, 2) + "B" + ELSE(1) + "C" + END(1), {"", "x"}, 2, "A"},
      {IF(1, 2, 1) + "A" + ELIF(1, 2, 2) + "B" + ELSE(1) + "C" + END(1), {"", "x"}, 2, "B"},
      {IF(1, 2, 1) + "A" + ELIF(1, 2, 2) + "B" + ELSE(1) + "C" + END(1), {"", ""}, 2, "C"},
      // an inner block in a skipped branch is passed over
      {IF(1, 2, 1) + IF(2, 1, 1) + "in" + END(2) + "A" + ELSE(1) + "C" + END(1), {""}, 1, "C"},
      {IF(1, 9, 1) + "never" + END(1) + "ok", {"x"}, 1, "ok"},
      // unterminated blocks and truncated escapes end the expansion
      {"pre" + IF(1, 2, 1) + "A", {""}, 1, "pre"},
      {"pre" + IF(1, 1, 1) + "A" + ELSE(1) + "B", {""}, 1, "preA"},
      {"pre\xff\x02\x01", {""}, 1, "pre"},
      {"a\xff\x07" "b", {}, 0, "ab"},
  };
  for (const auto &c : cases) EXPECT_EQ(expand(c.tmpl, c.args, c.count), c.out) << c.out;
}

TEST(Template, BlankAndWild) {
  EXPECT_EQ(FBlank(nullptr), 1);
  EXPECT_EQ(FBlank("  "), 1);
  EXPECT_EQ(FBlank("%"), 1);
  EXPECT_EQ(FBlank("%x"), 0);
  char esc[] = "a\\_b";
  EXPECT_EQ(FWild(esc), 0);
  EXPECT_STREQ(esc, "a_b");
  char wild[] = "a%";
  EXPECT_EQ(FWild(wild), 1);
  EXPECT_EQ(FWild(nullptr), 0);
}

}  // namespace
