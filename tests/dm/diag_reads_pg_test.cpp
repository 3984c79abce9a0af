// Diagnostics of the real PostgreSQL driver read the ways applications read them, by ODBC 3
// and ODBC 2 applications. This driver keeps its records; it reports a cut message as whole
// and with the cut length, which the manager, answering from its copy, reports as cut.
// Skipped unless SQLGATE_PG_PORT is set.

#include <gtest/gtest.h>

#include <cstdlib>

#include "dm/diag_reads_util.h"

namespace {

using diagreads::Record;
using odbc3test::ok;
using odbc3test::S;
using test_support::kPgDriver;

class DiagReadsPostgres : public odbc3test::Odbc3Test, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    if (std::getenv("SQLGATE_PG_PORT") == nullptr) GTEST_SKIP() << "SQLGATE_PG_PORT is not set";
    if (access(kPgDriver, R_OK) != 0) GTEST_SKIP() << "PostgreSQL ODBC driver not installed";
    open_env(GetParam());
    std::string in = std::string("DRIVER=") + kPgDriver + ";" + dmtest::pg_server_keys();
    ASSERT_TRUE(ok(SQLDriverConnect(dbc, nullptr, S(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)));
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
  }
  stmttest::Utf8Locale locale;
};

TEST_P(DiagReadsPostgres, EveryWayFindsTheWholeRecord) {
  const Record want{"42P01", 1,
                    L"ERROR: relation \"nosuch\" does not exist;\nError while executing the query"};
  diagreads::check_reads(stmt, "SELECT * FROM nosuch", want, "SELECT 1");
}

INSTANTIATE_TEST_SUITE_P(Versions, DiagReadsPostgres, ::testing::Values(3, 2),
                         [](const ::testing::TestParamInfo<int>& v) {
                           return "Odbc" + std::to_string(v.param);
                         });

}  // namespace
