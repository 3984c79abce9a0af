// The row-by-row fetch binds its columns once per dataset, not once per row.
// SQLBindCol is counted on its way from the backend to the driver manager: this
// program is linked with --wrap=SQLBindCol.
#include <gtest/gtest.h>

#include <cstdlib>

#include "backend_fixture.h"

namespace {
long bindCalls = 0;
}  // namespace

extern "C" SQLRETURN __real_SQLBindCol(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*);
extern "C" SQLRETURN __wrap_SQLBindCol(SQLHSTMT h, SQLUSMALLINT col, SQLSMALLINT type, SQLPOINTER value,
                                       SQLLEN len, SQLLEN* ind) {
  bindCalls++;
  return __real_SQLBindCol(h, col, type, value, len, ind);
}

using namespace backend_test;

namespace {

class RowPath : public BackendSession {
 protected:
  void SetUp() override {
    // Block fetches switched off: every result takes the row path.
    setenv("USE_EXTENDED_FETCH", "no", 1);
    BackendSession::SetUp();
    unsetenv("USE_EXTENDED_FETCH");
  }
};

TEST_F(RowPath, BindsOncePerDataset) {
  ASSERT_EQ(Exec("CREATE TABLE r (i INTEGER, s VARCHAR(20), d DOUBLE)"), ER_SUCCESS);
  ASSERT_EQ(Exec("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM c WHERE x < 1000) "
                 "INSERT INTO r SELECT x, CASE WHEN x % 3 = 0 THEN NULL ELSE 'v' || x END, x * 0.5 FROM c"),
            ER_SUCCESS);
  for (uns16 block : {1, 7, 100}) {
    SCOPED_TRACE("block " + std::to_string(block));
    handle_t h = NewCursor();
    ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>("SELECT i, s, d FROM r ORDER BY i")), ER_SUCCESS);
    ASSERT_EQ(ODBC_Execute(h), ER_SUCCESS);
    long before = bindCalls;
    auto rows = FetchAll(h, block);
    long datasets = (1000 + block - 1) / block + 1;  // the last, empty fetch binds too
    EXPECT_LE(bindCalls - before, 3 * datasets);
    ASSERT_EQ(rows.size(), 1000u);
    for (int r = 0; r < 1000; r++) {
      int x = r + 1;
      ASSERT_EQ(rows[r][0], std::to_string(x));
      ASSERT_EQ(rows[r][1], x % 3 == 0 ? "NULL" : "v" + std::to_string(x));
      char d[64];
      snprintf(d, sizeof d, "%.17g", x * 0.5);
      ASSERT_EQ(rows[r][2], d);
    }
    ODBC_EndCursor(h);
  }
}

}  // namespace
