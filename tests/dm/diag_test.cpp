// Diagnostic records: the SQLSTATE table, the list limit, the message layout and what a
// failed allocation leaves behind.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "dm/diag.h"

namespace {

struct ListGuard {
  zolandm_err* list = nullptr;
  ~ListGuard() { _zolandm_err_free_all(list); }
};

std::string message_of(const zolandm_err& rec) {
  char buf[256];
  _zolandm_format_message(&rec, buf, sizeof buf);
  return buf;
}

TEST(SqlstateTable, RowsAreNumberedAndTerminated) {
  for (int code = 0; code < ZOLANDM_SQLSTATE_ROWS; ++code) {
    ASSERT_EQ(_zolandm_sqlstate_table[code].code, code);
    ASSERT_EQ(std::strlen(_zolandm_sqlstate_table[code].sqlstate), 5u) << code;
    ASSERT_NE(_zolandm_sqlstate_table[code].text, nullptr);
  }
  EXPECT_EQ(_zolandm_sqlstate_table[ZOLANDM_SQLSTATE_ROWS].code, 102);
  EXPECT_EQ(_zolandm_sqlstate_table[ZOLANDM_SQLSTATE_ROWS].sqlstate, nullptr);
}

TEST(SqlstateTable, Lookups) {
  struct Case {
    int code;
    const char* state;
    const char* text;
  } cases[] = {
      {0, "00000", ""},
      {ZOLANDM_E_S1010, "S1010", "Function sequence error"},
      {ZOLANDM_E_IM003, "IM003", "Specified driver could not be loaded"},
      {ZOLANDM_E_IM002, "IM002",
       "Data source name not found and no default driver specified. Driver could not be loaded"},
      // The one exception: S1009 reads as HY009 but keeps its own text.
      {ZOLANDM_E_S1009, "HY009", "Invalid argument value"},
      {ZOLANDM_E_HY009, "HY009", "Invalid use of null pointer"},
      {ZOLANDM_E_S1T00, "S1T00", "Timeout expired"},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(_zolandm_sqlstate_of(c.code), c.state) << c.code;
    EXPECT_STREQ(_zolandm_text_of(c.code), c.text) << c.code;
  }
  EXPECT_EQ(_zolandm_sqlstate_of(102), nullptr);
  EXPECT_EQ(_zolandm_text_of(-1), nullptr);
}

TEST(DiagList, IndexesRunFromTheOldest) {
  ListGuard g;
  g.list = _zolandm_err_push(g.list, ZOLANDM_E_S1000, nullptr);
  g.list = _zolandm_err_push(g.list, ZOLANDM_E_S1010, nullptr);
  ASSERT_NE(g.list, nullptr);
  EXPECT_EQ(g.list->code, ZOLANDM_E_S1010);
  EXPECT_EQ(g.list->index, 1);
  EXPECT_EQ(g.list->next->index, 0);
}

TEST(DiagList, SixtyFivePushesKeepSixtyFour) {
  ListGuard g;
  for (int i = 0; i < 64; ++i) g.list = _zolandm_err_push(g.list, ZOLANDM_E_S1000, nullptr);
  g.list = _zolandm_err_push(g.list, ZOLANDM_E_S1T00, nullptr);
  int count = 0;
  for (zolandm_err* e = g.list; e != nullptr; e = e->next) ++count;
  EXPECT_EQ(count, 64);
  EXPECT_EQ(g.list->index, 63);
  EXPECT_EQ(g.list->code, ZOLANDM_E_S1T00);
}

TEST(DiagList, FailedAllocationKeepsEarlierRecords) {
  ListGuard g;
  g.list = _zolandm_err_push(g.list, ZOLANDM_E_08001, nullptr);
  g.list = _zolandm_err_push(g.list, ZOLANDM_E_08003, nullptr);
  zolandm_err* before = g.list;
  _zolandm_fail_alloc_after(1);
  g.list = _zolandm_err_push(g.list, ZOLANDM_E_S1010, nullptr);
  _zolandm_fail_alloc_after(0);
  EXPECT_EQ(g.list, before);
  EXPECT_EQ(g.list->code, ZOLANDM_E_08003);
  EXPECT_EQ(g.list->index, 1);
  // A message copy that cannot be made drops the record the same way.
  _zolandm_fail_alloc_after(1);
  g.list = _zolandm_err_push(g.list, 0, "loader text");
  _zolandm_fail_alloc_after(0);
  EXPECT_EQ(g.list, before);
}

TEST(DiagList, MessageIsTheRecordsOwnCopy) {
  ListGuard g;
  char text[] = "libnothing.so: cannot open shared object file";
  g.list = _zolandm_err_push(g.list, 0, text);
  std::memset(text, 'x', sizeof text - 1);  // the loader reuses its buffer
  EXPECT_EQ(message_of(*g.list), "[Zolan][Driver Manager]libnothing.so: cannot open shared object file");
}

TEST(DiagMessage, PrefixAndTableText) {
  zolandm_err rec{ZOLANDM_E_S1010, 0, nullptr, nullptr};
  EXPECT_EQ(message_of(rec), "[Zolan][Driver Manager]Function sequence error");
  rec.code = 0;
  EXPECT_EQ(message_of(rec), "[Zolan][Driver Manager]");
}

TEST(DiagMessage, CutAt255Characters) {
  std::string long_text(400, 'a');
  ListGuard g;
  g.list = _zolandm_err_push(g.list, 0, long_text.c_str());
  std::string m = message_of(*g.list);
  EXPECT_EQ(m.size(), 255u);
  EXPECT_EQ(m.compare(0, 23, ZOLANDM_MSG_PREFIX), 0);
}

}  // namespace
