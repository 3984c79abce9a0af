// Key slices of dynamic cursors on the SQLite driver (a file database that two
// connections share; NULLs sort first).
#include "cursors/dynamic_scroll.h"

namespace engine_test {
namespace {

class DynamicSqlite : public DynamicScroll {
 protected:
  std::string ConnStr() override {
    return std::string("DRIVER=") + test_support::kSqliteDriver + ";Database=" + dir.file("dyn.db");
  }
};

DYNAMIC_SCROLL_TESTS(DynamicSqlite)

TEST_F(DynamicSqlite, NullsSortLowWhateverTheDriverSays) {
  // The driver answers that NULLs come at the start (in both directions).
  sgn16 reported = -1;
  SWORD len = 0;
  ASSERT_EQ(SC_GetInfo(SCs_InnerDRV(), hConn, SQL_NULL_COLLATION, &reported, 2, &len), ER_SUCCESS);
  EXPECT_EQ(reported, SQL_NC_START);
  EXPECT_EQ(Query(hConn, "SELECT id FROM dyn_t WHERE id IN (1, 2) ORDER BY grp DESC")[1][0], "2");
  handle_t h = NewCursor(hConn);
  EXPECT_EQ(State(h)->fNullCollation, SQL_NC_LOW);
  engine.ops().endCursor(h);
}

}  // namespace
}  // namespace engine_test
