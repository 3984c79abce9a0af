// The backend against a PostgreSQL server through psqlodbca.so and our driver
// manager (every ODBC 2 call reaches the driver through the 2-to-3 mapping).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "backend_fixture.h"
#include "catalog_cases.h"

using namespace backend_test;

namespace {

class BackendPostgres : public CatalogSession {
 protected:
  handle_t hPg = 0;
  void SetUp() override {
    if (!getenv("SQLGATE_PG_PORT")) GTEST_SKIP() << "SQLGATE_PG_PORT not set";
    BackendSession::SetUp();
    ASSERT_EQ(Connect(test_support::pg_conn_str(), &hPg), ER_SUCCESS) << ServerErrors();
    Exec("DROP TABLE IF EXISTS bt", hPg);
    ASSERT_EQ(Exec("CREATE TABLE bt (i INTEGER, s VARCHAR(20), d DOUBLE PRECISION)", hPg), ER_SUCCESS);
  }
  void TearDown() override {
    if (hPg) Exec("DROP TABLE IF EXISTS bt", hPg);
    BackendSession::TearDown();
  }
};

TEST_F(BackendPostgres, ParametersFetchAndTransactions) {
  handle_t h = NewCursor(hPg);
  ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>("INSERT INTO bt (i, s) VALUES (?, ?)")), ER_SUCCESS)
      << Errors(h);
  ASSERT_EQ(ODBC_Parameters(h, IntTextParams({{1, "one"}, {2, nullptr}, {3, "three"}})), ER_SUCCESS);
  ASSERT_EQ(ODBC_Execute(h), ER_SUCCESS) << Errors(h);
  ODBC_EndCursor(h);
  auto rows = Query("SELECT i, s FROM bt ORDER BY i", 2, hPg);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"1", "one"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"2", "NULL"}));
  EXPECT_EQ(rows[2], (std::vector<std::string>{"3", "three"}));

  AgentOptions noAutocommit{};
  noAutocommit.f_noautocommit = 1;
  ODBC_SetAgentOptions(&noAutocommit);
  handle_t a = 0;
  ASSERT_EQ(Connect(test_support::pg_conn_str(), &a), ER_SUCCESS) << ServerErrors();
  ODBC_SetAgentOptions(nullptr);
  ASSERT_EQ(Exec("INSERT INTO bt (i) VALUES (10)", a), ER_SUCCESS);
  EXPECT_EQ(Query("SELECT count(*) FROM bt", 10, hPg)[0][0], "3");
  ASSERT_EQ(ODBC_Rollback(a), ER_SUCCESS);
  ASSERT_EQ(Exec("INSERT INTO bt (i) VALUES (11)", a), ER_SUCCESS);
  ASSERT_EQ(ODBC_Commit(a), ER_SUCCESS);
  EXPECT_EQ(Query("SELECT max(i) FROM bt", 10, hPg)[0][0], "11");
}

TEST_F(BackendPostgres, BadSqlAnswers68) {
  handle_t h = NewCursor(hPg);
  errcode_t e = ODBC_Prepare(h, const_cast<char*>("SELEC 1"));
  if (e == ER_SUCCESS) e = ODBC_Execute(h);
  EXPECT_EQ(e == ER_SYNTAXIS || e == ER_ACCESS, true) << e;
  EXPECT_NE(Errors(h).find("syntax error"), std::string::npos);
  ODBC_EndCursor(h);
}

TEST_F(BackendPostgres, ManyRowsInBlocks) {
  ASSERT_EQ(Exec("INSERT INTO bt SELECT g, 'r' || g, g * 0.5 FROM generate_series(1, 2000) g", hPg),
            ER_SUCCESS);
  auto rows = Query("SELECT i, s, d FROM bt ORDER BY i", 100, hPg);
  ASSERT_EQ(rows.size(), 2000u);
  for (int r = 0; r < 2000; r += 123) {
    EXPECT_EQ(rows[r][0], std::to_string(r + 1));
    EXPECT_EQ(rows[r][1], "r" + std::to_string(r + 1));
  }
}

}  // namespace

namespace {
TEST_F(BackendPostgres, MultipleResults) {
  handle_t h = NewCursor(hPg);
  ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>("SELECT 1; SELECT 'two'")), ER_SUCCESS) << Errors(h);
  ASSERT_EQ(ODBC_Execute(h), ER_SUCCESS) << Errors(h);
  auto first = FetchAll(h, 10);
  EXPECT_EQ(first, (std::vector<std::vector<std::string>>{{"1"}})) << Errors(h);
  ASSERT_EQ(ODBC_MoreResults(h), ER_SUCCESS) << Errors(h);
  auto second = FetchAll(h, 10);
  EXPECT_EQ(second, (std::vector<std::vector<std::string>>{{"two"}})) << Errors(h);
  EXPECT_EQ(ODBC_MoreResults(h), ER_NO_MORE_RESULTS);
  ODBC_EndCursor(h);
}
}  // namespace

namespace {
TEST_F(BackendPostgres, NativeSql) {
  char buf[256] = {0};
  uns16 len = 0;
  ASSERT_EQ(ODBC_NativeSQL(hPg, const_cast<char*>("SELECT {fn UCASE('a')}"), buf, sizeof buf, &len),
            ER_SUCCESS)
      << Errors(hPg);
  EXPECT_GT(len, 0);
  EXPECT_EQ(std::string(buf).rfind("SELECT", 0), 0u) << buf;  // the driver's translation comes back
  EXPECT_EQ(ODBC_NativeSQL(hServer, const_cast<char*>("SELECT 1"), buf, sizeof buf, &len),
            ER_INVALID_ARGUMENT);
}
}  // namespace

namespace {
// The plain and the Unicode connection answer every catalog call alike.
TEST_F(BackendPostgres, CatalogCallsAnswerAlikeNarrowAndWide) {
  ASSERT_EQ(Exec("ALTER TABLE bt ADD PRIMARY KEY (i)", hPg), ER_SUCCESS) << ServerErrors();
  handle_t wide = 0;
  ASSERT_EQ(Connect(test_support::pg_conn_str(), &wide, nullptr, 0, kUnicodeSession), ER_SUCCESS)
      << ServerErrors();
  ASSERT_EQ(ODBC_ConnectRec(wide)->unicode, 1);
  for (const CatalogCase& c : kCatalogCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CatalogAnswer(c, "bt", hPg), CatalogAnswer(c, "bt", wide));
  }
}
}  // namespace

namespace {
// Values as inserted, cell by cell: multibyte text at its declared size, a CHAR
// with its pad blanks, plain and Unicode connections, row by row and in blocks.
TEST_F(BackendPostgres, TextCellsHoldEveryCharacter) {
  const std::string tokyo = Repeat("\xE6\x9D\xB1\xE4\xBA\xAC", 20);
  const std::string umlauts =
      "\xC3\x84\xC3\x96\xC3\x9C\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F\xC3\xA9\xC3\xA8\xC3\xAA";
  const std::string gruss = "Gr\xC3\xBC\xC3\x9F      ";  // CHAR(10): four characters and six blanks
  Exec("DROP TABLE IF EXISTS bm", hPg);
  ASSERT_EQ(Exec("CREATE TABLE bm (v VARCHAR(40), c CHAR(10), g CHAR(10))", hPg), ER_SUCCESS);
  ASSERT_EQ(Exec("INSERT INTO bm VALUES ('" + tokyo + "', '" + umlauts + "', 'Gr\xC3\xBC\xC3\x9F')", hPg),
            ER_SUCCESS);
  handle_t uni = 0;
  ASSERT_EQ(ConnectUnicode(test_support::pg_conn_str(), &uni), ER_SUCCESS) << ServerErrors();
  ExpectRowsEverywhere("SELECT v, c, g FROM bm", {hPg, uni}, {{tokyo, umlauts, gruss}});
  Exec("DROP TABLE bm", hPg);
}

// A varchar without a limit is declared VARCHAR(255): a longer value is cut
// before a character and said so. A BYTEA of unknown size gets the long-data
// cap without deferral and comes whole through the long-data call with it; a
// NULL one is NULL there.
TEST_F(BackendPostgres, UnderDeclaredAndUnknownSizes) {
  Exec("DROP TABLE IF EXISTS bb", hPg);
  ASSERT_EQ(Exec("CREATE TABLE bb (u VARCHAR, x BYTEA, n BYTEA)", hPg), ER_SUCCESS);
  ASSERT_EQ(
      Exec("INSERT INTO bb VALUES (repeat('\xE6\x9D\xB1', 400), decode(repeat('ab', 300000), 'hex'), NULL)",
           hPg),
      ER_SUCCESS);
  const std::string bytes(300000, '\xAB');
  handle_t h = NewCursor(hPg);
  ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>("SELECT u, x, n FROM bb")), ER_SUCCESS) << Errors(h);
  ASSERT_EQ(ODBC_Execute(h), ER_SUCCESS) << Errors(h);
  Dataset ds{};
  ASSERT_EQ(ODBC_Fetch(h, 10, &ds), ER_SUCCESS);
  ASSERT_EQ(ds.nRows, 1);
  EXPECT_EQ(CellString(ds, 0, 0), Repeat("\xE6\x9D\xB1", 340));  // 1020 bytes of room
  // Cut at the long-data cap (the cell's room rounds it up by a few bytes).
  std::string cut = CellString(ds, 1, 0);
  EXPECT_GE(cut.size(), 60000u);
  EXPECT_LT(cut.size(), 60008u);
  EXPECT_TRUE(cut == bytes.substr(0, cut.size()));
  EXPECT_EQ(CellString(ds, 2, 0), "NULL");
  Dataset_Done(&ds);
  EXPECT_NE(Errors(h).find("[SQLSTATE:01004]"), std::string::npos);
  ODBC_EndCursor(h);

  int on = 1;
  ASSERT_EQ(ODBC_SetDrvParameter(hPg, 0x2201000f, &on), ER_SUCCESS);
  h = NewCursor(hPg);
  ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>("SELECT x, n FROM bb")), ER_SUCCESS) << Errors(h);
  ASSERT_EQ(ODBC_Execute(h), ER_SUCCESS) << Errors(h);
  ASSERT_EQ(ODBC_Fetch(h, 10, &ds), ER_SUCCESS);
  ASSERT_EQ(ds.nRows, 1);
  EXPECT_EQ(CellString(ds, 0, 0), "LONG");
  Dataset_Done(&ds);
  sgn32 remain = 0;
  std::string whole = GetLong(h, 1, 65536, &remain);
  EXPECT_EQ(whole.size(), bytes.size());
  EXPECT_TRUE(whole == bytes);
  EXPECT_EQ(remain, 300000);
  EXPECT_EQ(GetLong(h, 2, 100, &remain), "");
  EXPECT_EQ(remain, -1);
  ODBC_EndCursor(h);
  Exec("DROP TABLE bb", hPg);
}

// Ending a connection with uncommitted work rolls it back; no lock is left.
TEST_F(BackendPostgres, EndingAConnectionInsideATransactionRollsBack) {
  AgentOptions noAutocommit{};
  noAutocommit.f_noautocommit = 1;
  ODBC_SetAgentOptions(&noAutocommit);
  handle_t writer = 0;
  errcode_t e = Connect(test_support::pg_conn_str(), &writer);
  ODBC_SetAgentOptions(nullptr);
  ASSERT_EQ(e, ER_SUCCESS) << ServerErrors();
  ASSERT_EQ(Exec("INSERT INTO bt (i) VALUES (1)", writer), ER_SUCCESS);
  ASSERT_EQ(ODBC_EndConnect(writer), ER_SUCCESS);
  ASSERT_EQ(Exec("SET lock_timeout = '2s'", hPg), ER_SUCCESS);
  EXPECT_EQ(Exec("ALTER TABLE bt ADD COLUMN extra INTEGER", hPg), ER_SUCCESS) << Errors(hPg);
  EXPECT_EQ(Query("SELECT count(*) FROM bt", 10, hPg)[0][0], "0");
}
}  // namespace
