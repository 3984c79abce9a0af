// The ways applications read a driver's diagnostics, checked against a real driver: a small
// buffer to learn the length and then the whole record, the length alone, the record count
// and the record's fields, SQLError, each in the narrow and the wide form; and the next call
// clearing them. Every way must find the driver's record as often as it asks, whole, with a
// cut message reported as cut and its full length.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "dm/odbc3_test_util.h"

namespace diagreads {

using odbc3test::S;

// The one record a driver gives for a failed statement.
struct Record {
  std::string state;
  SQLINTEGER native;
  std::wstring text;
};

// One read of a record, in either width (texts widened for the comparison).
struct Read {
  SQLRETURN rc = -99;
  std::string state;
  SQLINTEGER native = -1;
  std::wstring text;
  SQLSMALLINT length = -1;
};

// A text buffer of 512 characters that shows what was not written, terminated past its end.
template <typename Char>
std::vector<Char> unwritten() {
  std::vector<Char> text(513, Char('#'));
  text[512] = 0;
  return text;
}

inline std::wstring widen(const char* s) {
  std::wstring out(std::strlen(s) + 1, L'\0');
  size_t n = std::mbstowcs(out.data(), s, out.size());
  out.resize(n == static_cast<size_t>(-1) ? 0 : n);
  return out;
}

// SQLGetDiagRec(W) of record k with a message buffer of `size` characters (none for -1).
inline Read rec(SQLHSTMT stmt, SQLSMALLINT k, SQLSMALLINT size, bool wide) {
  Read r;
  if (wide) {
    SQLWCHAR state[6] = {0};
    std::vector<SQLWCHAR> text = unwritten<SQLWCHAR>();
    r.rc = SQLGetDiagRecW(SQL_HANDLE_STMT, stmt, k, state, &r.native, size < 0 ? nullptr : text.data(),
                          size < 0 ? SQLSMALLINT(0) : size, &r.length);
    r.state = odbc3test::utf8(state);
    if (size > 0) r.text = text.data();
  } else {
    SQLCHAR state[6] = {0};
    std::vector<char> text = unwritten<char>();
    r.rc = SQLGetDiagRec(SQL_HANDLE_STMT, stmt, k, state, &r.native,
                         size < 0 ? nullptr : reinterpret_cast<SQLCHAR*>(text.data()),
                         size < 0 ? SQLSMALLINT(0) : size, &r.length);
    r.state = reinterpret_cast<char*>(state);
    if (size > 0) r.text = widen(text.data());
  }
  return r;
}

// SQLError(W) on the statement with a message buffer of `size` characters.
inline Read error(SQLHSTMT stmt, SQLSMALLINT size, bool wide) {
  Read r;
  if (wide) {
    SQLWCHAR state[6] = {0};
    std::vector<SQLWCHAR> text = unwritten<SQLWCHAR>();
    r.rc = SQLErrorW(nullptr, nullptr, stmt, state, &r.native, text.data(), size, &r.length);
    r.state = odbc3test::utf8(state);
    r.text = text.data();
  } else {
    SQLCHAR state[6] = {0};
    std::vector<char> text = unwritten<char>();
    r.rc = SQLError(nullptr, nullptr, stmt, state, &r.native, reinterpret_cast<SQLCHAR*>(text.data()), size,
                    &r.length);
    r.state = reinterpret_cast<char*>(state);
    r.text = widen(text.data());
  }
  return r;
}

// SQLGetDiagField(W) of a text field of record k with a buffer of `size` characters; the
// length comes back in bytes.
inline Read field(SQLHSTMT stmt, SQLSMALLINT k, SQLSMALLINT id, SQLSMALLINT size, bool wide) {
  Read r;
  if (wide) {
    std::vector<SQLWCHAR> text = unwritten<SQLWCHAR>();
    r.rc = SQLGetDiagFieldW(SQL_HANDLE_STMT, stmt, k, id, text.data(),
                            static_cast<SQLSMALLINT>(size * sizeof(SQLWCHAR)), &r.length);
    r.text = text.data();
  } else {
    std::vector<char> text = unwritten<char>();
    r.rc = SQLGetDiagField(SQL_HANDLE_STMT, stmt, k, id, text.data(), size, &r.length);
    r.text = widen(text.data());
  }
  return r;
}

inline SQLINTEGER number(SQLHSTMT stmt, SQLSMALLINT k = 0) {
  SQLINTEGER n = -1;
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, k, SQL_DIAG_NUMBER, &n, 0, nullptr), SQL_SUCCESS);
  return n;
}

// The length of the record's message in characters of the call's width.
inline SQLSMALLINT length_of(const Record& want, bool wide) {
  return static_cast<SQLSMALLINT>(wide ? want.text.size() : odbc3test::utf8(want.text).size());
}

inline void expect_whole(const Read& got, const Record& want, bool wide) {
  EXPECT_EQ(got.rc, SQL_SUCCESS);
  EXPECT_EQ(got.state, want.state);
  EXPECT_EQ(got.native, want.native);
  EXPECT_EQ(got.text, want.text);
  EXPECT_EQ(got.length, length_of(want, wide));
}

// Cut to a buffer of 10 characters: nine of them, reported as cut, with the whole length.
inline void expect_cut(const Read& got, const Record& want, bool wide) {
  EXPECT_EQ(got.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(got.text, want.text.substr(0, 9));
  EXPECT_EQ(got.length, length_of(want, wide));
}

// The ways of reading. Each runs on a statement whose last call failed with the driver's one
// record `want`.
struct Way {
  const char* name;
  void (*run)(SQLHSTMT stmt, const Record& want, bool wide);
};

inline const std::vector<Way>& ways() {
  static const std::vector<Way> all = {
      {"a small buffer for the length, then the whole record, twice",
       [](SQLHSTMT stmt, const Record& want, bool wide) {
         expect_cut(rec(stmt, 1, 10, wide), want, wide);
         expect_whole(rec(stmt, 1, 512, wide), want, wide);
         expect_whole(rec(stmt, 1, 512, wide), want, wide);
         EXPECT_EQ(rec(stmt, 2, 512, wide).rc, SQL_NO_DATA);
       }},
      {"the length alone, then the record",
       [](SQLHSTMT stmt, const Record& want, bool wide) {
         Read probe = rec(stmt, 1, -1, wide);
         EXPECT_EQ(probe.rc, SQL_SUCCESS);
         EXPECT_EQ(probe.state, want.state);
         EXPECT_EQ(probe.length, length_of(want, wide));
         expect_whole(rec(stmt, 1, 512, wide), want, wide);
       }},
      {"the count and the fields, before and after the record",
       [](SQLHSTMT stmt, const Record& want, bool wide) {
         EXPECT_EQ(number(stmt), 1);
         // A header field is the handle's, whatever the record number.
         EXPECT_EQ(number(stmt, 1), 1);
         const SQLSMALLINT unit = wide ? sizeof(SQLWCHAR) : 1;
         Read cut = field(stmt, 1, SQL_DIAG_MESSAGE_TEXT, 10, wide);
         EXPECT_EQ(cut.rc, SQL_SUCCESS_WITH_INFO);
         EXPECT_EQ(cut.text, want.text.substr(0, 9));
         EXPECT_EQ(cut.length, length_of(want, wide) * unit);
         Read whole = field(stmt, 1, SQL_DIAG_MESSAGE_TEXT, 512, wide);
         EXPECT_EQ(whole.rc, SQL_SUCCESS);
         EXPECT_EQ(whole.text, want.text);
         EXPECT_EQ(whole.length, length_of(want, wide) * unit);
         Read state = field(stmt, 1, SQL_DIAG_SQLSTATE, 6, wide);
         EXPECT_EQ(state.rc, SQL_SUCCESS);
         EXPECT_EQ(odbc3test::utf8(state.text), want.state);
         SQLINTEGER native = -1;
         EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_NATIVE, &native, 0, nullptr),
                   SQL_SUCCESS);
         EXPECT_EQ(native, want.native);
         expect_whole(rec(stmt, 1, 512, wide), want, wide);
         EXPECT_EQ(number(stmt), 1);
         EXPECT_EQ(field(stmt, 1, SQL_DIAG_MESSAGE_TEXT, 512, wide).text, want.text);
         EXPECT_EQ(field(stmt, 2, SQL_DIAG_MESSAGE_TEXT, 512, wide).rc, SQL_NO_DATA);
       }},
      {"SQLError with a small buffer, then the record by number",
       [](SQLHSTMT stmt, const Record& want, bool wide) {
         Read cut = error(stmt, 10, wide);
         expect_cut(cut, want, wide);
         EXPECT_EQ(cut.state, want.state);
         EXPECT_EQ(cut.native, want.native);
         // SQLError steps on to the next record; the handle keeps this one.
         EXPECT_EQ(error(stmt, 512, wide).rc, SQL_NO_DATA);
         expect_whole(rec(stmt, 1, 512, wide), want, wide);
         EXPECT_EQ(number(stmt), 1);
       }},
      {"SQLError first, whole",
       [](SQLHSTMT stmt, const Record& want, bool wide) {
         expect_whole(error(stmt, 512, wide), want, wide);
         EXPECT_EQ(error(stmt, 512, wide).rc, SQL_NO_DATA);
       }},
  };
  return all;
}

// Runs every way, narrow and wide, each after a fresh failure of `fail` on the statement
// (which must give the driver's record `want`), and checks that the next successful call
// (`succeed`) leaves nothing to read.
inline void check_reads(SQLHSTMT stmt, const std::string& fail, const Record& want, const char* succeed) {
  for (bool wide : {false, true}) {
    for (const Way& way : ways()) {
      SCOPED_TRACE(std::string(way.name) + (wide ? " (W)" : " (A)"));
      ASSERT_EQ(SQLExecDirect(stmt, S(fail), SQL_NTS), SQL_ERROR);
      way.run(stmt, want, wide);
    }
  }
  ASSERT_EQ(SQLExecDirect(stmt, S(fail), SQL_NTS), SQL_ERROR);
  expect_whole(rec(stmt, 1, 512, false), want, false);
  ASSERT_TRUE(odbc3test::ok(SQLExecDirect(stmt, S(succeed), SQL_NTS)));
  EXPECT_EQ(number(stmt), 0);
  EXPECT_EQ(rec(stmt, 1, 512, false).rc, SQL_NO_DATA);
  SQLFreeStmt(stmt, SQL_CLOSE);
}

}  // namespace diagreads
