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
  std::string ConnStr() override {
    const char* port = getenv("SQLGATE_PG_PORT");
    const char* user = getenv("SQLGATE_PG_USER");
    const char* db = getenv("SQLGATE_PG_DB");
    return std::string("DRIVER=") + test_support::kPgDriver + ";Servername=127.0.0.1;Port=" + port +
           ";Database=" + (db ? db : "sqlgate") + ";Username=" + (user ? user : "postgres") + ";Password=";
  }
};

DYNAMIC_SCROLL_TESTS(DynamicPostgres)

}  // namespace
}  // namespace engine_test
