// Parameter analysis: probe queries, counts and masks; the queries prepare on
// a real SQLite database.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "param_cases.h"
#include "sql/param_analysis.h"

namespace {

const char* kAnyNull = "cast (NULL as CHAR)";

struct Analysis {
  SP_Request r;
  errcode_t rc;
  explicit Analysis(const char* sql) {
    SPR_Init(&r, kAnyNull);
    rc = SPR_AnalyseSQL(&r, sql);
  }
  ~Analysis() { SPR_Destroy(&r); }
  std::vector<std::string> queries() const {
    std::vector<std::string> v;
    for (int i = 0; i < r.nQueries; i++) v.push_back(r.pszQueries[i]);
    return v;
  }
};

TEST(ParamAnalysis, ProbeQueries) {
  for (const auto& c : sqltest::paramCases()) {
    Analysis a(c.sql);
    EXPECT_EQ(a.rc, ER_SUCCESS) << c.sql;
    EXPECT_EQ(a.queries(), c.queries) << c.sql;
    EXPECT_EQ(a.r.nCountParams, c.count) << c.sql;
    if (c.mask)
      EXPECT_STREQ(a.r.paramsMask, c.mask) << c.sql;
    else
      EXPECT_EQ(a.r.paramsMask, nullptr) << c.sql;
  }
}

TEST(ParamAnalysis, ParseFailureAndReuse) {
  SP_Request r;
  SPR_Init(&r, kAnyNull);
  EXPECT_EQ(r.reqType, -1);
  EXPECT_EQ(SPR_AnalyseSQL(&r, "SELECT a FROM t WHERE b = ? AND"), ER_SUCCESS);  // empty operand parses
  EXPECT_EQ(SPR_AnalyseSQL(&r, "SELECT a FROM t WHERE b = ?,"), ER_SYNTAXIS);
  EXPECT_STREQ(r.szParsErrMsg, "syntax error");
  EXPECT_EQ(r.nQueries, 0);
  EXPECT_EQ(SPR_AnalyseSQL(&r, "  SELECT a FROM t WHERE b = ?"), ER_SUCCESS);
  EXPECT_STREQ(r.original, "SELECT a FROM t WHERE b = ?");
  EXPECT_EQ(r.nQueries, 1);
  SPR_Destroy(&r);
  EXPECT_EQ(r.param_any_null, kAnyNull);
  EXPECT_EQ(r.nQueries, 0);
}

TEST(ParamAnalysis, LongInListIsDescribedOnce) {
  std::string sql = "SELECT a FROM t WHERE b IN (?";
  for (int i = 1; i < 20000; i++) sql += ", ?";
  sql += ")";
  Analysis a(sql.c_str());
  ASSERT_EQ(a.r.nQueries, 1);
  EXPECT_EQ(a.r.nCountParams, 20000);
}

TEST(ParamAnalysis, ProbeQueriesPrepareOnSQLite) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, sqltest::kTablesDDL, nullptr, nullptr, nullptr), SQLITE_OK);
  int prepared = 0;
  for (const auto& c : sqltest::paramCases()) {
    if (!c.preparable) continue;
    Analysis a(c.sql);
    for (const auto& q : a.queries()) {
      sqlite3_stmt* st = nullptr;
      EXPECT_EQ(sqlite3_prepare_v2(db, q.c_str(), -1, &st, nullptr), SQLITE_OK)
          << q << ": " << sqlite3_errmsg(db);
      if (st) {
        int step = sqlite3_step(st);  // no rows, or one for an aggregate
        EXPECT_TRUE(step == SQLITE_DONE || step == SQLITE_ROW) << q;
        sqlite3_finalize(st);
        prepared++;
      }
    }
  }
  EXPECT_GT(prepared, 20);
  sqlite3_close(db);
}

}  // namespace
