// The engine in front of the real backend and PostgreSQL (psqlodbca.so):
// forward-only and static reads, the capability string, and discovery with
// schemas, case folding and the owner retry through a schema named after
// the user next to public.
#include <string>
#include <vector>

#include "cursors/engine_session.h"

namespace engine_test {
namespace {

class EnginePostgres : public EngineSession {
 protected:
  handle_t hPg = 0;
  std::string user;
  void SetUp() override {
    if (!getenv("SQLGATE_PG_PORT")) GTEST_SKIP() << "SQLGATE_PG_PORT not set";
    EngineSession::SetUp();
    ASSERT_EQ(Connect(PgConnStr(), &hPg), ER_SUCCESS) << Errors(hServer);
    user = Query(hPg, "SELECT current_user")[0][0];
    Clean();
    for (const std::string& ddl : std::vector<std::string>{
             "CREATE SCHEMA eng_s1", "CREATE SCHEMA eng_s2", "CREATE SCHEMA \"" + user + "\"",
             "CREATE TABLE public.eng_t (i INTEGER, s VARCHAR(20), d DOUBLE PRECISION)",
             "CREATE TABLE public.\"eng_t_x1\" (a INTEGER)", "CREATE TABLE public.eng_tax1 (b INTEGER)",
             "CREATE TABLE public.\"eng_p%\" (\"x_y\" INTEGER)",
             "CREATE TABLE public.\"eng_we\"\"ird\" (\"q\"\"c\" INTEGER)",
             "CREATE TABLE public.\"Eng_MiXed\" (n NUMERIC(10,2))",
             "CREATE TABLE public.eng_mixed (m VARCHAR(5))", "CREATE TABLE public.eng_dup (p INTEGER)",
             "CREATE TABLE \"" + user + "\".eng_dup (u INTEGER)", "CREATE TABLE eng_s1.eng_two (x INTEGER)",
             "CREATE TABLE eng_s2.eng_two (y INTEGER)"})
      ASSERT_EQ(Exec(hPg, ddl), ER_SUCCESS) << ddl << Errors(hPg);
  }
  void Clean() {
    for (const std::string& ddl : std::vector<std::string>{"DROP SCHEMA IF EXISTS eng_s1 CASCADE",
                                                           "DROP SCHEMA IF EXISTS eng_s2 CASCADE",
                                                           "DROP SCHEMA IF EXISTS \"" + user + "\" CASCADE"})
      Exec(hPg, ddl);
    for (const char* t : {"eng_t", "\"eng_t_x1\"", "eng_tax1", "\"eng_p%\"", "\"eng_we\"\"ird\"",
                          "\"Eng_MiXed\"", "eng_mixed", "eng_dup"})
      Exec(hPg, std::string("DROP TABLE IF EXISTS public.") + t);
  }
  void TearDown() override {
    if (hPg) Clean();
    EngineSession::TearDown();
  }
};

TEST_F(EnginePostgres, ForwardOnlyAndStaticReads) {
  ASSERT_EQ(Exec(hPg, "INSERT INTO public.eng_t SELECT g, 'r' || g, g / 2.0 FROM generate_series(1, 6000) g"),
            ER_SUCCESS);
  auto fwd = Query(hPg, "SELECT i, s, d FROM public.eng_t ORDER BY i", 0, 100);
  auto stat = Query(hPg, "SELECT i, s, d FROM public.eng_t ORDER BY i", SQL_CURSOR_STATIC, 100);
  ASSERT_EQ(fwd.size(), 6000u);
  EXPECT_EQ(stat, fwd);
  EXPECT_EQ(stat.back(), (std::vector<std::string>{"6000", "r6000", "3000"}));
}

TEST_F(EnginePostgres, CapabilityString) {
  sgn32 commit = -1;
  uns16 len = 0;
  ASSERT_EQ(ip.ops.getDrvParameter(hPg, DRVP_CONN_INFO_INT + SQL_CURSOR_COMMIT_BEHAVIOR, &commit, 4, &len),
            ER_SUCCESS);
  EXPECT_EQ(CapabilityString(hPg), "001.005:111111" + std::to_string(commit) + "00100");
}

TEST_F(EnginePostgres, DiscoveryWithSchemasAndCase) {
  handle_t h = NewCursor(hPg);
  const std::string q = "\"";
  struct Case {
    const char* owner;
    const char* name;
    std::string want;
  } cases[] = {
      {"", "eng_t_x1", "\"public\".\"eng_t_x1\""},
      {"", "ENG_TAX1", "\"public\".\"eng_tax1\""},  // folded to lower case
      {"", "\"eng_p%\"", "\"public\".\"eng_p%\""},
      {"", "\"eng_we\"\"ird\"", "\"public\".\"eng_we\"\"ird\""},
      {"", "Eng_MiXed", "\"public\".\"eng_mixed\""},
      {"", "\"Eng_MiXed\"", "\"public\".\"Eng_MiXed\""},
      {"PUBLIC", "eng_t", "\"public\".\"eng_t\""},
      {"\"public\"", "eng_t", "\"public\".\"eng_t\""},
      {"", "eng_dup", q + user + q + ".\"eng_dup\""},  // two owners: the user's wins on the retry
      {"public", "eng_dup", "\"public\".\"eng_dup\""},
      {"", "eng_two", "error 10"},  // two owners, neither the user's
      {"", "eng_t_y1", "error 10"},
      {"\"PUBLIC\"", "eng_t", "error 10"},  // quoted: case-sensitive
  };
  for (const Case& k : cases) EXPECT_EQ(Resolve(h, k.owner, k.name), k.want) << k.owner << " " << k.name;

  EXPECT_EQ(Columns(h, "", "eng_t_x1"), (std::vector<std::string>{"\"a\":4"}));
  EXPECT_EQ(Columns(h, "", "\"eng_p%\""), (std::vector<std::string>{"\"x_y\":4"}));
  EXPECT_EQ(Columns(h, "", "\"eng_we\"\"ird\""), (std::vector<std::string>{"\"q\"\"c\":4"}));
  EXPECT_EQ(Columns(h, "", "eng_dup"), (std::vector<std::string>{"\"u\":4"}));
  EXPECT_EQ(Columns(h, "", "\"Eng_MiXed\""), (std::vector<std::string>{"\"n\":2"}));
  engine.ops().endCursor(h);
}

}  // namespace
}  // namespace engine_test
