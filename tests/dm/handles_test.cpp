// Environment and connection handles: the invalid-handle table, allocation and release,
// and the refusals that leave a handle valid.

#include <gtest/gtest.h>

#include <functional>

#include "dm/dm_internal.h"
#include "fixtures/odbc_env/dm_test_env.h"

namespace {

using namespace dmtest;

TEST(InvalidHandles, EveryEntryRefusesNullAndForeignHandles) {
  TempOdbcEnv ini;
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  ASSERT_EQ(SQLAllocEnv(&env), SQL_SUCCESS);
  ASSERT_EQ(SQLAllocConnect(env, &dbc), SQL_SUCCESS);
  SQLCHAR buf[64];
  SQLWCHAR wbuf[64];
  SQLSMALLINT len = 0;
  SQLINTEGER ilen = 0;
  SQLUINTEGER value = 0;

  // Each entry, called with a handle: null, then a handle of the other kind.
  struct Case {
    const char* name;
    std::function<SQLRETURN(void*)> call;
    bool takes_env;
  } cases[] = {
      {"SQLFreeEnv", [](void* h) { return SQLFreeEnv(h); }, true},
      {"SQLAllocConnect",
       [](void* h) {
         SQLHDBC d;
         return SQLAllocConnect(h, &d);
       },
       true},
      {"SQLFreeConnect", [](void* h) { return SQLFreeConnect(h); }, false},
      {"SQLConnect", [](void* h) { return SQLConnect(h, U("x"), SQL_NTS, nullptr, 0, nullptr, 0); }, false},
      {"SQLConnectW", [](void* h) { return SQLConnectW(h, U(W("x")), SQL_NTS, nullptr, 0, nullptr, 0); },
       false},
      {"SQLDriverConnect",
       [&](void* h) { return SQLDriverConnect(h, nullptr, U("DSN=x"), SQL_NTS, buf, 64, &len, 0); }, false},
      {"SQLDriverConnectW",
       [&](void* h) { return SQLDriverConnectW(h, nullptr, U(W("DSN=x")), SQL_NTS, wbuf, 64, &len, 0); },
       false},
      {"SQLBrowseConnect", [&](void* h) { return SQLBrowseConnect(h, U("DSN=x"), SQL_NTS, buf, 64, &len); },
       false},
      {"SQLBrowseConnectW",
       [&](void* h) { return SQLBrowseConnectW(h, U(W("DSN=x")), SQL_NTS, wbuf, 64, &len); }, false},
      {"SQLDisconnect", [](void* h) { return SQLDisconnect(h); }, false},
      {"SQLNativeSql", [&](void* h) { return SQLNativeSql(h, U("select 1"), SQL_NTS, buf, 64, &ilen); },
       false},
      {"SQLNativeSqlW", [&](void* h) { return SQLNativeSqlW(h, U(W("select 1")), SQL_NTS, wbuf, 64, &ilen); },
       false},
      {"SQLSetConnectOption", [](void* h) { return SQLSetConnectOption(h, SQL_AUTOCOMMIT, 0); }, false},
      {"SQLSetConnectOptionW", [](void* h) { return SQLSetConnectOptionW(h, SQL_AUTOCOMMIT, 0); }, false},
      {"SQLGetConnectOption", [&](void* h) { return SQLGetConnectOption(h, SQL_AUTOCOMMIT, &value); }, false},
      {"SQLGetConnectOptionW", [&](void* h) { return SQLGetConnectOptionW(h, SQL_AUTOCOMMIT, &value); },
       false},
      {"SQLTransact(dbc)", [](void* h) { return SQLTransact(nullptr, h, SQL_COMMIT); }, false},
      {"SQLTransact(env)", [](void* h) { return SQLTransact(h, nullptr, SQL_COMMIT); }, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.call(nullptr), SQL_INVALID_HANDLE) << c.name << " with a null handle";
    void* other = c.takes_env ? dbc : env;
    EXPECT_EQ(c.call(other), SQL_INVALID_HANDLE) << c.name << " with a foreign handle";
  }
  // The handles passed by mistake are untouched: no records, still usable.
  EXPECT_EQ(_zolandm_diag_count(env), 0);
  EXPECT_EQ(_zolandm_diag_count(dbc), 0);
  EXPECT_EQ(SQLError(nullptr, nullptr, nullptr, buf, nullptr, buf, 64, &len), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLFreeConnect(dbc), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeEnv(env), SQL_SUCCESS);
}

TEST(EnvHandles, CountAndDefaults) {
  TempOdbcEnv ini;
  int64_t before = _zolandm_env_count;
  SQLHENV env = nullptr;
  ASSERT_EQ(SQLAllocEnv(&env), SQL_SUCCESS);
  EXPECT_EQ(_zolandm_env_count, before + 1);
  EXPECT_EQ(_zolandm_initialised, 1);
  auto* e = static_cast<zolandm_env*>(env);
  EXPECT_EQ(e->handle_type, 1);
  EXPECT_EQ(e->odbc_version, 2);
  EXPECT_EQ(SQLAllocEnv(nullptr), SQL_ERROR);
  ASSERT_EQ(SQLFreeEnv(env), SQL_SUCCESS);
  EXPECT_EQ(_zolandm_env_count, before);
}

TEST(EnvHandles, FreeWithConnectionsLeftIsRefused) {
  TempOdbcEnv ini;
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  ASSERT_EQ(SQLAllocEnv(&env), SQL_SUCCESS);
  ASSERT_EQ(SQLAllocConnect(env, &dbc), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeEnv(env), SQL_ERROR);
  EXPECT_EQ(states(env, nullptr, nullptr), std::vector<std::string>{"S1010"});
  // Still usable.
  SQLHDBC second = nullptr;
  EXPECT_EQ(SQLAllocConnect(env, &second), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeConnect(second), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeConnect(dbc), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeEnv(env), SQL_SUCCESS);
}

TEST(EnvHandles, AllocationFailures) {
  TempOdbcEnv ini;
  SQLHENV env = reinterpret_cast<SQLHENV>(1);
  _zolandm_fail_alloc_after(1);
  EXPECT_EQ(SQLAllocEnv(&env), SQL_ERROR);
  _zolandm_fail_alloc_after(0);
  EXPECT_EQ(env, nullptr);

  ASSERT_EQ(SQLAllocEnv(&env), SQL_SUCCESS);
  SQLHDBC dbc = reinterpret_cast<SQLHDBC>(1);
  _zolandm_fail_alloc_after(1);
  EXPECT_EQ(SQLAllocConnect(env, &dbc), SQL_ERROR);
  _zolandm_fail_alloc_after(0);
  EXPECT_EQ(dbc, nullptr);
  EXPECT_EQ(states(env, nullptr, nullptr), std::vector<std::string>{"S1001"});

  EXPECT_EQ(SQLAllocConnect(env, nullptr), SQL_ERROR);
  EXPECT_EQ(states(env, nullptr, nullptr), std::vector<std::string>{"HY009"});  // S1009 reads as HY009
  EXPECT_EQ(SQLFreeEnv(env), SQL_SUCCESS);
}

TEST(ConnHandles, DefaultsAndList) {
  TempOdbcEnv ini;
  SQLHENV env = nullptr;
  SQLHDBC a = nullptr, b = nullptr;
  ASSERT_EQ(SQLAllocEnv(&env), SQL_SUCCESS);
  ASSERT_EQ(SQLAllocConnect(env, &a), SQL_SUCCESS);
  ASSERT_EQ(SQLAllocConnect(env, &b), SQL_SUCCESS);
  auto* e = static_cast<zolandm_env*>(env);
  auto* d = static_cast<zolandm_dbc*>(b);
  EXPECT_EQ(e->dbcs, d);  // newest first
  EXPECT_EQ(d->next, a);
  EXPECT_EQ(d->state, 0);
  EXPECT_EQ(d->autocommit, 1u);
  EXPECT_EQ(d->odbc_cursors, 2u);
  EXPECT_EQ(d->txn_isolation, 1u);
  EXPECT_EQ(d->env, e);
  EXPECT_EQ(SQLFreeConnect(a), SQL_SUCCESS);
  EXPECT_EQ(e->dbcs, d);
  EXPECT_EQ(d->next, nullptr);
  EXPECT_EQ(SQLFreeConnect(b), SQL_SUCCESS);
  EXPECT_EQ(e->dbcs, nullptr);
  EXPECT_EQ(SQLFreeEnv(env), SQL_SUCCESS);
}

class ConnFree : public DmTest {};

TEST_F(ConnFree, ConnectedConnectionIsNotFreed) {
  fake_dsn("fake", "odbc3");
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeConnect(dbc), SQL_ERROR);
  EXPECT_EQ(states(nullptr, dbc, nullptr), std::vector<std::string>{"S1010"});
  EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeConnect(dbc), SQL_SUCCESS);
  dbc = nullptr;
}

}  // namespace
