// The probe queries of the parameter analysis prepare on PostgreSQL. The test
// talks to the server through the psql client (SQLGATE_PG_PORT, _USER, _DB).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "fixtures/support/support.h"
#include "param_cases.h"
#include "sql/param_analysis.h"

namespace {

TEST(ParamProbePostgres, ProbeQueriesPrepare) {
  const char* port = getenv("SQLGATE_PG_PORT");
  if (!port || !*port) GTEST_SKIP() << "SQLGATE_PG_PORT is not set";
  const char* user = getenv("SQLGATE_PG_USER");
  const char* db = getenv("SQLGATE_PG_DB");
  test_support::TempDir dir;
  std::string script = "\\set ON_ERROR_STOP 1\nBEGIN;\n" + std::string(sqltest::kTablesDDL) + "\n";
  int n = 0;
  for (const auto& c : sqltest::paramCases()) {
    if (!c.preparable) continue;
    SP_Request r;
    SPR_Init(&r, "cast (NULL as CHAR)");
    ASSERT_EQ(SPR_AnalyseSQL(&r, c.sql), ER_SUCCESS);
    for (int i = 0; i < r.nQueries; i++) {
      std::string name = "probe" + std::to_string(n++);
      script += "PREPARE " + name + " AS " + r.pszQueries[i] + ";\nEXECUTE " + name + ";\n";
    }
    SPR_Destroy(&r);
  }
  script += "ROLLBACK;\n";
  ASSERT_TRUE(test_support::write_file(dir.file("probe.sql"), script));
  std::string cmd = std::string("psql -X -q -h 127.0.0.1 -p ") + port + " -U " + (user ? user : "postgres") +
                    " -d " + (db ? db : "postgres") + " -f " + dir.file("probe.sql") + " > " +
                    dir.file("out.txt") + " 2>&1";
  int rc = system(cmd.c_str());
  std::ifstream out(dir.file("out.txt"));
  std::string text((std::istreambuf_iterator<char>(out)), std::istreambuf_iterator<char>());
  EXPECT_EQ(rc, 0) << text;
  EXPECT_GT(n, 20);
}

}  // namespace
