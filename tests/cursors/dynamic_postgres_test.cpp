// Key slices of dynamic cursors on PostgreSQL (psqlodbca.so; NULLs sort last).
#include "cursors/dynamic_scroll.h"

namespace engine_test {
namespace {

class DynamicPostgres : public DynamicScroll {
 protected:
  void SetUp() override {
    if (!getenv("SQLGATE_PG_PORT")) GTEST_SKIP() << "SQLGATE_PG_PORT not set";
    DynamicScroll::SetUp();
  }
  std::string ConnStr() override { return PgConnStr(); }
};

DYNAMIC_SCROLL_TESTS(DynamicPostgres)

}  // namespace
}  // namespace engine_test
