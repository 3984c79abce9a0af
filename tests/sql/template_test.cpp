// The SQL template expander.
#include <gtest/gtest.h>

#include <string>

#include "sql/sql_template.h"

namespace {

std::string expand(const std::string& tmpl, std::vector<const char*> args, unsigned count) {
  std::vector<std::string> store;
  std::vector<char*> vect;
  for (const char* a : args) {
    if (a) {
      store.emplace_back(a);
    } else {
      store.emplace_back();
    }
  }
  for (size_t i = 0; i < args.size(); i++) vect.push_back(args[i] ? store[i].data() : nullptr);
  MPL pool;
  mpl_init(&pool);
  EXPECT_EQ(BuildSQLDynamic(&pool, reinterpret_cast<const unsigned char*>(tmpl.c_str()), vect.data(), count),
            0);
  std::string out(reinterpret_cast<char*>(mpl_finish(&pool)));
  mpl_destroy(&pool);
  return out;
}

// Escape codes of the template language.
std::string esc(std::initializer_list<int> bytes) {
  std::string out("\xff");
  for (int b : bytes) out.push_back(static_cast<char>(b));
  return out;
}
std::string IF(int id, int kind, int n) { return esc({2, id, kind, n}); }
std::string ELIF(int id, int kind, int n) { return esc({3, id, kind, n}); }
std::string ELSE(int id) { return esc({4, id}); }
std::string END(int id) { return esc({5, id}); }

// Concatenation by appending (the + chains of std::string trip a false
// -Wrestrict warning of g++ 12 at -O2).
std::string T(std::initializer_list<std::string> parts) {
  std::string out;
  for (const auto& p : parts) out.append(p);
  return out;
}

struct Case {
  std::string tmpl;
  std::vector<const char*> args;
  unsigned count;
  std::string out;
};

TEST(Template, Expansion) {
  const std::string arg1 = "\xff\x01\x01";
  const Case cases[] = {
      {T({"a", arg1, "b"}), {nullptr}, 1, "ab"},
      {T({"a", arg1, "b"}), {}, 0, "aNULLb"},
      {T({"x\xff\x01", std::string(1, '\0')}), {"v"}, 1, "x"},  // a placeholder cut off by the end
      {"x\xff", {"v"}, 1, "x"},                                 // cut off escape
      {T({"[", IF(1, 1, 1), "blank", END(1), "]"}), {"   "}, 1, "[blank]"},
      {T({"[", IF(1, 1, 1), "blank", END(1), "]"}), {"%"}, 1, "[blank]"},
      {T({"[", IF(1, 1, 1), "blank", END(1), "]"}), {"%a"}, 1, "[]"},
      {T({"[", IF(1, 1, 1), "blank", END(1), "]"}), {nullptr}, 1, "[blank]"},
      {T({"[", IF(1, 2, 1), "text", END(1), "]"}), {"%a"}, 1, "[text]"},
      {T({"[", IF(1, 3, 1), "wild", ELSE(1), "none:", arg1, END(1), "]"}), {"a\\%b"}, 1, "[none:a%b]"},
      {T({"[", IF(1, 4, 1), "none:", arg1, END(1), "]"}), {"a\\%b"}, 1, "[none:a%b]"},
      {T({"[", IF(1, 3, 1), "wild", END(1), "]"}), {"_x"}, 1, "[wild]"},
      {T({"[", IF(1, 4, 1), "none", END(1), "]"}), {""}, 1, "[none]"},
      {T({IF(1, 1, 1), "A", ELIF(1, 2, 2), "B", ELSE(1), "C", END(1)}), {"", "x"}, 2, "A"},
      {T({IF(1, 2, 1), "A", ELIF(1, 2, 2), "B", ELSE(1), "C", END(1)}), {"", "x"}, 2, "B"},
      {T({IF(1, 2, 1), "A", ELIF(1, 2, 2), "B", ELSE(1), "C", END(1)}), {"", ""}, 2, "C"},
      // an inner block in a skipped branch is passed over
      {T({IF(1, 2, 1), IF(2, 1, 1), "in", END(2), "A", ELSE(1), "C", END(1)}), {""}, 1, "C"},
      {T({IF(1, 9, 1), "never", END(1), "ok"}), {"x"}, 1, "ok"},
      // unterminated blocks and truncated escapes end the expansion
      {T({"pre", IF(1, 2, 1), "A"}), {""}, 1, "pre"},
      {T({"pre", IF(1, 1, 1), "A", ELSE(1), "B"}), {""}, 1, "preA"},
      {"pre\xff\x02\x01", {""}, 1, "pre"},
      {"a\xff\x07"
       "b",
       {},
       0,
       "ab"},
  };
  for (const auto& c : cases) EXPECT_EQ(expand(c.tmpl, c.args, c.count), c.out) << c.out;
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
