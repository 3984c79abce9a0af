#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include "fixtures/support/support.h"
#include "util/config.h"
#include "util/fault.h"

namespace {

using test_support::read_file;
using test_support::TempDir;
using test_support::write_file;

class ConfigTest : public testing::Test {
 protected:
  // Writes text to the file and opens it.
  PCONFIG open(const std::string& text) {
    EXPECT_TRUE(write_file(path_, text));
    PCONFIG p = nullptr;
    EXPECT_EQ(VYR_Cfg_init(&p, path_.c_str()), 0);
    opened_.push_back(p);
    return p;
  }
  void TearDown() override {
    for (PCONFIG p : opened_) VYR_Cfg_done(p);
  }
  // The value of a key, or "<none>".
  static std::string find(PCONFIG p, const char* section, const char* id) {
    if (VYR_Cfg_find(p, section, id) != 0) return "<none>";
    return p->value != nullptr ? p->value : "<null>";
  }
  // Pushes the file's time stamp back so that a rewrite counts as a change.
  void age_file() {
    struct utimbuf t = {1000000000, 1000000000};
    utime(path_.c_str(), &t);
  }

  TempDir dir_;
  std::string path_ = dir_.file("test.ini");
  std::vector<PCONFIG> opened_;
};

TEST_F(ConfigTest, ParseAndFind) {
  PCONFIG p = open(
      "; leading comment\r\n"
      "[Comm]  ; the section\r\n"
      "SendSize = 8192\r\n"
      "Quoted = \"a ;b\" ; real comment\r\n"
      "Plain = a ;b\r\n"
      "Semi = ;starts with a comment\r\n"
      "Tight=a;b\r\n"
      "no equals sign here\r\n"
      "  continued value\r\n"
      "\tKey2   =   spaced   \r\n"
      "[ Other ]\r\n"
      "Only = second\r\n"
      "[comm]\r\n"
      "Hidden = later section of the same name\r\n");
  struct Case {
    const char* section;
    const char* id;
    const char* want;
  } cases[] = {
      {"Comm", "SendSize", "8192"},
      {"COMM", "sendsize", "8192"},
      {"Comm", "Quoted", "\"a ;b\""},
      {"Comm", "Plain", "a"},
      {"Comm", "Semi", ""},
      {"Comm", "Tight", "a;b"},
      {"Comm", "no equals sign here", "<none>"},
      {"Comm", "Hidden", "<none>"},
      {"Other", "Only", "second"},
      {"Comm", "Only", "<none>"},
      {"Missing", "x", "<none>"},
      {"Comm", "Key2", "<none>"},  // an indented line is a continuation, not a key
  };
  for (const auto& c : cases) EXPECT_EQ(find(p, c.section, c.id), c.want) << c.id;
  ASSERT_EQ(VYR_Cfg_find(p, "comm", nullptr), 0);
  EXPECT_STREQ(p->section, "Comm");
  ASSERT_EQ(VYR_Cfg_find(p, "Comm", "Plain"), 0);
}

TEST_F(ConfigTest, CrLfAndLfParseAlike) {
  PCONFIG a = open("[S]\r\nk = v\r\nj = w\r\n");
  std::string crlf = find(a, "S", "j");
  PCONFIG b = open("[S]\nk = v\nj = w\n");
  EXPECT_EQ(crlf, "w");
  EXPECT_EQ(find(b, "S", "j"), "w");
  EXPECT_EQ(a->numEntries, b->numEntries);
}

TEST_F(ConfigTest, LastLineWithoutNewlineKeepsTrailingBlanks) {
  PCONFIG p = open("[S]\nfirst = one  \nlast = two  ");
  EXPECT_EQ(find(p, "S", "first"), "one");
  EXPECT_EQ(find(p, "S", "last"), "two  ");
}

TEST_F(ConfigTest, NulByteEndsTheText) {
  std::string text = "[S]\nk = v\n";
  text += '\0';
  text += "j = w\n";
  PCONFIG p = open(text);
  EXPECT_EQ(find(p, "S", "k"), "v");
  EXPECT_EQ(find(p, "S", "j"), "<none>");
}

TEST_F(ConfigTest, Iterator) {
  PCONFIG p = open("[A]\n;c\nk = v\n  more\n[B]\n");
  ASSERT_EQ(VYR_Cfg_rewind(p), 0);
  EXPECT_EQ(p->flags, CFG_VALID);
  std::string seen;
  while (VYR_Cfg_nextentry(p) == 0) {
    switch (p->flags & CFG_TYPEMASK) {
      case CFG_SECTION:
        seen += std::string("S:") + p->section + " ";
        break;
      case CFG_DEFINE:
        seen += std::string("D:") + p->id + "=" + p->value + " ";
        break;
      case CFG_CONTINUE:
        seen += std::string("C:") + p->value + " ";
        break;
    }
  }
  EXPECT_EQ(seen, "S:A D:k=v C:more S:B ");
  EXPECT_TRUE(p->flags & CFG_EOF);
}

TEST_F(ConfigTest, OpenFailures) {
  PCONFIG p = reinterpret_cast<PCONFIG>(1);
  EXPECT_EQ(VYR_Cfg_init(&p, dir_.file("missing.ini").c_str()), -1);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(VYR_Cfg_init2(&p, dir_.file("created.ini").c_str(), 1), 0);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->numEntries, 0u);
  VYR_Cfg_done(p);
  EXPECT_EQ(VYR_Cfg_done(nullptr), 0);
  // Memory running out while parsing: nothing is left allocated.
  ASSERT_TRUE(write_file(path_, "[S]\nk = v\n"));
  for (long n = 0; n < 4; ++n) {
    vyr_fault_inject(n);
    EXPECT_EQ(VYR_Cfg_init(&p, path_.c_str()), -1) << n;
    vyr_fault_inject(-1);
  }
}

TEST_F(ConfigTest, RefreshAfterCommitReportsUnchanged) {
  PCONFIG p = open("[S]\nk = v\n");
  age_file();
  EXPECT_EQ(VYR_Cfg_refresh(p), 0);  // new time, same text
  ASSERT_EQ(VYR_Cfg_write(p, "S", "k", "w"), 0);
  ASSERT_EQ(VYR_Cfg_commit(p), 0);
  age_file();
  EXPECT_EQ(VYR_Cfg_refresh(p), 0);
  EXPECT_EQ(find(p, "S", "k"), "w");
  ASSERT_TRUE(write_file(path_, "[S]\nk = changed\n"));
  EXPECT_EQ(VYR_Cfg_refresh(p), 1);
  EXPECT_EQ(find(p, "S", "k"), "changed");
  unlink(path_.c_str());
  EXPECT_EQ(VYR_Cfg_refresh(p), -1);
  EXPECT_EQ(find(p, "S", "k"), "changed");  // kept
}

TEST_F(ConfigTest, RefreshOfEditedConfigWithUnchangedFileNeverEmptiesIt) {
  PCONFIG p = open("[S]\nk = v\nj = w\n");
  ASSERT_EQ(VYR_Cfg_write(p, "S", "k", "edited"), 0);
  EXPECT_EQ(VYR_Cfg_refresh(p), 1);  // edits discarded, the file read again
  EXPECT_EQ(find(p, "S", "k"), "v");
  EXPECT_EQ(find(p, "S", "j"), "w");
}

TEST_F(ConfigTest, CommitThatCannotOpenTheFileFails) {
  PCONFIG p = open("[S]\nk = v\n");
  ASSERT_EQ(VYR_Cfg_write(p, "S", "k", "w"), 0);
  unlink(path_.c_str());
  ASSERT_EQ(mkdir(path_.c_str(), 0700), 0);  // even root cannot open a directory for writing
  EXPECT_EQ(VYR_Cfg_commit(p), -1);
  EXPECT_EQ(p->dirty, 1);  // still to be written
  rmdir(path_.c_str());
  EXPECT_EQ(VYR_Cfg_commit(p), 0);
  EXPECT_EQ(read_file(path_), "[S]\nk = w\n");
}

TEST_F(ConfigTest, WriteSetsAddsAndDeletes) {
  PCONFIG p = open(
      "[A]\n"
      "one = 1\n"
      "; note about two\n"
      "two = 2\n"
      "  two continued\n"
      "three = 3\n"
      ";;trailing comment of A\n"
      "[B]\n"
      "x = y\n");
  EXPECT_EQ(VYR_Cfg_write(p, "a", "ONE", "uno"), 0);    // existing key, any case
  EXPECT_EQ(VYR_Cfg_write(p, "A", "four", "4"), 0);     // before the next header
  EXPECT_EQ(VYR_Cfg_write(p, "A", "two", nullptr), 0);  // with its comment and continuation
  EXPECT_EQ(VYR_Cfg_write(p, "A", "nokey", nullptr), 0);
  EXPECT_EQ(VYR_Cfg_write(p, "C", "new", "n"), 0);  // missing section appended
  EXPECT_EQ(VYR_Cfg_write(p, "D", nullptr, nullptr), 0);
  EXPECT_EQ(VYR_Cfg_write(p, nullptr, "k", "v"), -1);
  ASSERT_EQ(VYR_Cfg_commit(p), 0);
  EXPECT_EQ(read_file(path_),
            "[A]\n"
            "one   = uno\n"
            "three = 3\n"
            ";;trailing comment of A\n"
            "four  = 4\n"  // right before the next header
            "\n"
            "[B]\n"
            "x = y\n"
            "\n"
            "[C]\n"
            "new = n\n");
}

TEST_F(ConfigTest, DeleteSection) {
  PCONFIG p = open(
      "[A]\n"
      "a = 1\n"
      "; about B\n"
      "[B]\n"
      "b = 2\n"
      "; about C\n"
      "[C]\n"
      "c = 3\n");
  EXPECT_EQ(VYR_Cfg_write(p, "B", nullptr, nullptr), 0);
  ASSERT_EQ(VYR_Cfg_commit(p), 0);
  EXPECT_EQ(read_file(path_),
            "[A]\n"
            "a = 1\n"
            "\n"
            "; about C\n"
            "[C]\n"
            "c = 3\n");
}

TEST_F(ConfigTest, CommitFormat) {
  PCONFIG p = open(
      "top = level\n"
      "[First]   ;  first comment\n"
      "k=v ; inline\n"
      "longer_key = x\n"
      "   cont ; c2\n"
      ";x no blank-line move: not a blank or ; after it\n"
      "[Second]\n");
  ASSERT_EQ(VYR_Cfg_write(p, "Second", "s", "t"), 0);
  ASSERT_EQ(VYR_Cfg_commit(p), 0);
  EXPECT_EQ(read_file(path_),
            "top = level\n"
            "[First]\t;  first comment\n"
            "k          = v\t; inline\n"
            "longer_key = x\n"
            "  cont\t; c2\n"
            ";x no blank-line move: not a blank or ; after it\n"
            "\n"
            "[Second]\n"
            "s = t\n");
  // Nothing changed: nothing written.
  ASSERT_TRUE(write_file(path_, "untouched"));
  EXPECT_EQ(VYR_Cfg_commit(p), 0);
  EXPECT_EQ(read_file(path_), "untouched");
}

TEST_F(ConfigTest, LongValuesAreWrittenWhole) {
  PCONFIG p = open("[S]\n");
  std::string big(10000, 'v');
  ASSERT_EQ(VYR_Cfg_write(p, "S", "k", big.c_str()), 0);
  ASSERT_EQ(VYR_Cfg_commit(p), 0);
  EXPECT_EQ(read_file(path_), "[S]\nk = " + big + "\n");
}

TEST_F(ConfigTest, Merge) {
  PCONFIG p = open(
      "[A]\n"
      "a = 1\n"
      "  a-cont\n"
      "b = 2\n"
      "[B]\n"
      "z = 9\n");
  TempDir other;
  ASSERT_TRUE(write_file(other.file("src.ini"),
                         "ignored = before any section\n"
                         "[a]\n"
                         "; dropped: before the first key\n"
                         "A = one\n"
                         "  one-cont\n"
                         "c = 3\n"
                         "[New]\n"
                         "n = 1\n"));
  PCONFIG src = nullptr;
  ASSERT_EQ(VYR_Cfg_init(&src, other.file("src.ini").c_str()), 0);
  EXPECT_EQ(cfg_merge(p, src), 0);
  VYR_Cfg_done(src);  // merged strings are owned copies
  ASSERT_EQ(VYR_Cfg_commit(p), 0);
  EXPECT_EQ(read_file(path_),
            "[A]\n"
            "A = one\n"
            "  one-cont\n"
            "b = 2\n"
            "c = 3\n"
            "\n"
            "[B]\n"
            "z = 9\n"
            "\n"
            "[New]\n"
            "n = 1\n");
}

TEST_F(ConfigTest, StoreEntry) {
  PCONFIG p = open("");
  char sect[] = "S", id[] = "k", value[] = "v";
  EXPECT_EQ(VYR_Cfg_storeentry(p, sect, nullptr, nullptr, nullptr, 1), 0);
  EXPECT_EQ(VYR_Cfg_storeentry(p, nullptr, id, value, nullptr, 1), 0);
  sect[0] = 'X';
  EXPECT_EQ(find(p, "S", "k"), "v");
  for (int i = 0; i < 300; ++i) ASSERT_EQ(VYR_Cfg_storeentry(p, nullptr, id, value, nullptr, 0), 0);
  EXPECT_GE(p->maxEntries, 302u);
  EXPECT_EQ(p->maxEntries, 350u);  // 103, 155, 233, 350: max + max / 2 + 1
}

// Memory running out in the middle of an edit: the edit answers -1, what was
// there before stays, and nothing leaks (the sanitizer build checks).
TEST_F(ConfigTest, EditsReportMemoryShortage) {
  TempDir other;
  ASSERT_TRUE(write_file(other.file("src.ini"), "[S]\nj = 2\n  j-cont\n[U]\nu = 1\n"));
  PCONFIG src = nullptr;
  ASSERT_EQ(VYR_Cfg_init(&src, other.file("src.ini").c_str()), 0);
  static char sect[] = "T", id[] = "t", value[] = "tv";
  struct Case {
    const char* name;
    int (*edit)(PCONFIG p, PCONFIG src);
  } cases[] = {
      {"set", [](PCONFIG p, PCONFIG) { return VYR_Cfg_write(p, "S", "k", "new"); }},
      {"add key", [](PCONFIG p, PCONFIG) { return VYR_Cfg_write(p, "S", "j", "v"); }},
      {"add section", [](PCONFIG p, PCONFIG) { return VYR_Cfg_write(p, "T", "t", "v"); }},
      {"store", [](PCONFIG p, PCONFIG) { return VYR_Cfg_storeentry(p, sect, id, value, nullptr, 1); }},
      {"merge", [](PCONFIG p, PCONFIG s) { return cfg_merge(p, s); }},
  };
  for (const auto& c : cases) {
    long n = 0;
    for (;; ++n) {
      ASSERT_LT(n, 50) << c.name;
      PCONFIG p = open("[S]\nk = v\n");
      vyr_fault_inject(n);
      int rc = c.edit(p, src);
      vyr_fault_inject(-1);
      if (rc == 0) break;
      EXPECT_EQ(rc, -1) << c.name << " " << n;
      EXPECT_EQ(find(p, "S", "k"), "v") << c.name << " " << n;
      EXPECT_EQ(VYR_Cfg_commit(p), 0) << c.name << " " << n;
    }
    EXPECT_GT(n, 0) << c.name << ": no allocation to fail";
  }
  VYR_Cfg_done(src);
}

// Each open file has its own lock: edits and lookups from two threads do not
// corrupt the entries.
TEST_F(ConfigTest, ConcurrentEditsAndLookups) {
  PCONFIG p = open("[S]\nk = v\n");
  auto writer = [p](const char* prefix) {
    for (int i = 0; i < 200; ++i) {
      std::string key = prefix + std::to_string(i % 20);
      VYR_Cfg_write(p, "S", key.c_str(), "x");
      VYR_Cfg_find(p, "S", "k");
      if (i % 50 == 0) VYR_Cfg_write(p, "S", key.c_str(), nullptr);
    }
  };
  std::thread a(writer, "a"), b(writer, "b");
  a.join();
  b.join();
  EXPECT_EQ(find(p, "S", "k"), "v");
  EXPECT_EQ(find(p, "S", "a19"), "x");
  EXPECT_EQ(find(p, "S", "b19"), "x");
  EXPECT_EQ(VYR_Cfg_commit(p), 0);
}

}  // namespace
