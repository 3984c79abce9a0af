// ODBC 3 handles: the environment-attribute table, SQLAllocHandle and SQLFreeHandle by handle
// type, explicit descriptors and their release, and every ODBC 3 entry refusing a null or
// foreign handle.

#include <gtest/gtest.h>

#include <functional>

#include "dm/odbc3_test_util.h"

namespace {

using namespace odbc3test;

SQLPOINTER V(intptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }

class EnvAttr : public ::testing::Test {
 protected:
  void TearDown() override { SQLSetEnvAttr(nullptr, SQL_ATTR_CONNECTION_POOLING, V(0), 0); }
  dmtest::TempOdbcEnv ini;
};

TEST_F(EnvAttr, SetTable) {
  SQLHENV env = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
  struct Case {
    SQLINTEGER attr;
    intptr_t value;
    SQLRETURN rc;
    const char* state;
  } cases[] = {
      {SQL_ATTR_ODBC_VERSION, 2, SQL_SUCCESS, ""},
      {SQL_ATTR_ODBC_VERSION, 3, SQL_SUCCESS, ""},
      {SQL_ATTR_ODBC_VERSION, 4, SQL_ERROR, "HY024"},
      {SQL_ATTR_CONNECTION_POOLING, 1, SQL_SUCCESS, ""},
      {SQL_ATTR_CONNECTION_POOLING, 3, SQL_ERROR, "HY024"},
      {SQL_ATTR_CP_MATCH, 1, SQL_SUCCESS, ""},
      {SQL_ATTR_CP_MATCH, 2, SQL_ERROR, "HY024"},
      {SQL_ATTR_OUTPUT_NTS, 1, SQL_SUCCESS, ""},
      {SQL_ATTR_OUTPUT_NTS, 0, SQL_ERROR, "HYC00"},
      {SQL_ATTR_OUTPUT_NTS, 2, SQL_ERROR, "HY024"},
      {1056, 4, SQL_ERROR, "HY092"},
      {9999, 0, SQL_ERROR, "HY092"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SQLSetEnvAttr(env, c.attr, V(c.value), 0), c.rc) << c.attr << "=" << c.value;
    std::vector<std::string> want;
    if (c.state[0] != '\0') want.push_back(c.state);
    EXPECT_EQ(diag_states(SQL_HANDLE_ENV, env), want) << c.attr << "=" << c.value;
  }
  auto* e = static_cast<zolandm_env*>(env);
  EXPECT_EQ(e->odbc_version, 3);
  EXPECT_EQ(e->cp_match, 1);

  // With a connection every attribute is refused, an unknown one included.
  SQLHDBC dbc = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
  for (SQLINTEGER attr : {SQL_ATTR_ODBC_VERSION, SQL_ATTR_CP_MATCH, 9999}) {
    EXPECT_EQ(SQLSetEnvAttr(env, attr, V(2), 0), SQL_ERROR);
    EXPECT_EQ(diag_states(SQL_HANDLE_ENV, env), std::vector<std::string>{"HY010"});
  }
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
}

TEST_F(EnvAttr, PoolingIsProcessWideAndTakesNullOrAnEnvironmentOnly) {
  SQLHENV before = nullptr;
  ASSERT_EQ(SQLAllocHandleStd(SQL_HANDLE_ENV, nullptr, &before), SQL_SUCCESS);
  EXPECT_EQ(SQLSetEnvAttr(nullptr, SQL_ATTR_CONNECTION_POOLING, V(SQL_CP_ONE_PER_HENV), 0), SQL_SUCCESS);
  SQLHENV after = nullptr;
  ASSERT_EQ(SQLAllocHandleStd(SQL_HANDLE_ENV, nullptr, &after), SQL_SUCCESS);
  EXPECT_EQ(static_cast<zolandm_env*>(before)->pooling, 0);
  EXPECT_EQ(static_cast<zolandm_env*>(after)->pooling, 2);
  SQLINTEGER v = -1;
  EXPECT_EQ(SQLGetEnvAttr(nullptr, SQL_ATTR_CONNECTION_POOLING, &v, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(v, 2);
  v = -1;
  EXPECT_EQ(SQLGetEnvAttr(before, SQL_ATTR_CONNECTION_POOLING, &v, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(v, 2);
  // Out of range without an environment: an error with nowhere to record it.
  EXPECT_EQ(SQLSetEnvAttr(nullptr, SQL_ATTR_CONNECTION_POOLING, V(3), 0), SQL_ERROR);

  // Anything but null or an environment is no handle at all.
  SQLHDBC dbc = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, after, &dbc), SQL_SUCCESS);
  EXPECT_EQ(SQLSetEnvAttr(dbc, SQL_ATTR_CONNECTION_POOLING, V(1), 0), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLGetEnvAttr(dbc, SQL_ATTR_CONNECTION_POOLING, &v, 0, nullptr), SQL_INVALID_HANDLE);
  EXPECT_EQ(_zolandm_default_pooling, 2);
  EXPECT_EQ(_zolandm_diag_count(dbc), 0);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, after), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, before), SQL_SUCCESS);
}

TEST_F(EnvAttr, GetTable) {
  SQLHENV env = nullptr;
  ASSERT_EQ(SQLAllocHandleStd(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
  ASSERT_EQ(SQLSetEnvAttr(env, SQL_ATTR_CP_MATCH, V(1), 0), SQL_SUCCESS);
  struct Case {
    SQLINTEGER attr;
    SQLINTEGER value;
  } cases[] = {{SQL_ATTR_ODBC_VERSION, 3},
               {SQL_ATTR_CONNECTION_POOLING, 0},
               {SQL_ATTR_CP_MATCH, 1},
               {1056, 4},
               {SQL_ATTR_OUTPUT_NTS, 1}};
  for (const Case& c : cases) {
    SQLINTEGER v = -1;
    EXPECT_EQ(SQLGetEnvAttr(env, c.attr, &v, 0, nullptr), SQL_SUCCESS) << c.attr;
    EXPECT_EQ(v, c.value) << c.attr;
    EXPECT_EQ(SQLGetEnvAttr(env, c.attr, nullptr, 0, nullptr), SQL_SUCCESS) << c.attr;
  }
  SQLINTEGER v = 0;
  EXPECT_EQ(SQLGetEnvAttr(env, 4711, &v, 0, nullptr), SQL_ERROR);
  EXPECT_EQ(diag_states(SQL_HANDLE_ENV, env), std::vector<std::string>{"HY092"});
  EXPECT_EQ(SQLGetEnvAttr(nullptr, SQL_ATTR_ODBC_VERSION, &v, 0, nullptr), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
}

// ---- SQLAllocHandle ----------------------------------------------------------------------------

TEST(AllocHandle, EnvironmentsAndTheDeclaredVersion) {
  dmtest::TempOdbcEnv ini;
  SQLHENV env = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
  EXPECT_EQ(static_cast<zolandm_env*>(env)->odbc_version, 0);
  SQLHDBC dbc = reinterpret_cast<SQLHDBC>(1);
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_ERROR);
  EXPECT_EQ(diag_states(SQL_HANDLE_ENV, env), std::vector<std::string>{"HY010"});
  ASSERT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, V(SQL_OV_ODBC2), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
  EXPECT_EQ(static_cast<zolandm_dbc*>(dbc)->env, env);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);

  ASSERT_EQ(SQLAllocHandleStd(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
  EXPECT_EQ(static_cast<zolandm_env*>(env)->odbc_version, 3);
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);

  // Nowhere to put the handle and nowhere to say why.
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, nullptr), SQL_ERROR);
  EXPECT_EQ(SQLAllocHandleStd(SQL_HANDLE_ENV, nullptr, nullptr), SQL_ERROR);
}

TEST(AllocHandle, Table) {
  dmtest::TempOdbcEnv ini;
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  ASSERT_EQ(SQLAllocHandleStd(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
  SQLHANDLE out = nullptr;
  struct Case {
    const char* name;
    SQLSMALLINT type;
    SQLHANDLE input;
    SQLHANDLE* output;
    SQLRETURN rc;
    SQLSMALLINT diag_type;  // 0: nothing recorded anywhere
    const char* state;
  } cases[] = {
      {"connection under a connection", SQL_HANDLE_DBC, dbc, &out, SQL_INVALID_HANDLE, 0, ""},
      {"connection under nothing", SQL_HANDLE_DBC, nullptr, &out, SQL_INVALID_HANDLE, 0, ""},
      {"connection, no output", SQL_HANDLE_DBC, env, nullptr, SQL_ERROR, SQL_HANDLE_ENV, "HY009"},
      {"statement under an environment", SQL_HANDLE_STMT, env, &out, SQL_INVALID_HANDLE, 0, ""},
      {"statement, not connected", SQL_HANDLE_STMT, dbc, &out, SQL_ERROR, SQL_HANDLE_DBC, "08003"},
      {"descriptor, not connected", SQL_HANDLE_DESC, dbc, &out, SQL_ERROR, SQL_HANDLE_DBC, "08003"},
      {"descriptor under an environment", SQL_HANDLE_DESC, env, &out, SQL_INVALID_HANDLE, 0, ""},
      {"type 7 on an environment", 7, env, &out, SQL_ERROR, SQL_HANDLE_ENV, "HY092"},
      {"type 7 on a connection", 7, dbc, &out, SQL_ERROR, SQL_HANDLE_DBC, "HY092"},
      {"type 7 on nothing", 7, nullptr, &out, SQL_INVALID_HANDLE, 0, ""},
  };
  SQLINTEGER v = 0;
  auto clear_both = [&] {
    // Ordinary calls empty their handle's records.
    SQLGetEnvAttr(env, SQL_ATTR_ODBC_VERSION, &v, 0, nullptr);
    SQLGetConnectAttr(dbc, SQL_ATTR_ACCESS_MODE, &v, 0, nullptr);
  };
  for (const Case& c : cases) {
    clear_both();
    EXPECT_EQ(SQLAllocHandle(c.type, c.input, c.output), c.rc) << c.name;
    if (c.diag_type != 0) {
      EXPECT_EQ(diag_states(c.diag_type, c.input), std::vector<std::string>{c.state}) << c.name;
    } else {
      EXPECT_EQ(_zolandm_diag_count(env) + _zolandm_diag_count(dbc), 0) << c.name;
    }
  }
  clear_both();
  // An unknown type adds its record beside those already there.
  EXPECT_EQ(SQLAllocHandle(7, env, &out), SQL_ERROR);
  EXPECT_EQ(SQLAllocHandle(7, env, &out), SQL_ERROR);
  EXPECT_EQ(SQLAllocHandle(7, env, &out), SQL_ERROR);
  EXPECT_EQ(diag_states(SQL_HANDLE_ENV, env), (std::vector<std::string>{"HY092", "HY092", "HY092"}));
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
}

class Descriptors : public Odbc3Test {};

TEST_F(Descriptors, ExplicitDescriptorsNeedAnOdbc3Driver) {
  open_fake("odbc2");
  SQLHDESC desc = nullptr;
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc, &desc), SQL_ERROR);
  EXPECT_EQ(diag_states(SQL_HANDLE_DBC, dbc), std::vector<std::string>{"HYC00"});
}

TEST_F(Descriptors, AllocateUseAndFree) {
  open_fake("odbc3");
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc, nullptr), SQL_ERROR);
  EXPECT_EQ(diag_states(SQL_HANDLE_DBC, dbc), std::vector<std::string>{"HY009"});
  SQLHDESC desc = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc, &desc), SQL_SUCCESS);
  auto* d = static_cast<zolandm_desc*>(desc);
  EXPECT_EQ(d->handle_type, 4);
  EXPECT_EQ(d->owner_stmt, nullptr);
  EXPECT_NE(d->drv_desc, nullptr);
  EXPECT_EQ(static_cast<zolandm_dbc*>(dbc)->descs, d);

  // Put in place of the statement's row descriptor, then released: the statement goes back
  // to its implicit one.
  SQLHDESC implicit_ard = nullptr;
  ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, &implicit_ard, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, desc, 0), SQL_SUCCESS);
  SQLHDESC now = nullptr;
  ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, &now, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(now, desc);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, implicit_ard), SQL_ERROR);
  EXPECT_EQ(diag_states(SQL_HANDLE_DESC, implicit_ard), std::vector<std::string>{"HY017"});
  ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, desc), SQL_SUCCESS);
  EXPECT_EQ(fake->calls("FreeDesc").size(), 1u);
  ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, &now, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(now, implicit_ard);
  EXPECT_EQ(static_cast<zolandm_dbc*>(dbc)->descs, nullptr);
}

TEST_F(Descriptors, DriverRefusalsLeaveTheDescriptor) {
  open_fake("odbc3");
  fake->set("rc:AllocDesc", SQL_ERROR);
  SQLHDESC desc = nullptr;
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc, &desc), SQL_ERROR);
  EXPECT_EQ(desc, nullptr);
  fake->set("rc:AllocDesc", 0);
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc, &desc), SQL_SUCCESS);
  fake->set("rc:FreeDesc", SQL_ERROR);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, desc), SQL_ERROR);
  EXPECT_EQ(static_cast<zolandm_desc*>(desc)->handle_type, 4);
  fake->set("rc:FreeDesc", 0);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, desc), SQL_SUCCESS);
}

TEST_F(Descriptors, DisconnectReleasesExplicitDescriptors) {
  open_fake("odbc3", 3, false);
  SQLHDESC desc = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc, &desc), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  // The driver freed its descriptors with the connection: the handle is gone.
  EXPECT_EQ(static_cast<zolandm_dbc*>(dbc)->descs, nullptr);
  EXPECT_EQ(fake->calls("FreeDesc").size(), 0u);
}

// ---- SQLFreeHandle -----------------------------------------------------------------------------

TEST_F(Descriptors, FreeHandleTable) {
  open_fake("odbc3");
  SQLHSTMT other = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &other), SQL_SUCCESS);
  struct Case {
    const char* name;
    SQLSMALLINT type;
    SQLHANDLE h;
    SQLRETURN rc;
    const char* state;
  } cases[] = {
      {"environment with connections", SQL_HANDLE_ENV, env, SQL_ERROR, "S1010"},
      {"connected connection", SQL_HANDLE_DBC, dbc, SQL_ERROR, "S1010"},
      {"statement as connection", SQL_HANDLE_DBC, other, SQL_INVALID_HANDLE, ""},
      {"connection as statement", SQL_HANDLE_STMT, dbc, SQL_INVALID_HANDLE, ""},
      // Pushed beside the records already there, without clearing them.
      {"type 7 on an environment", 7, env, SQL_ERROR, "S1010,HY092"},
      {"type 7 on a statement", 7, other, SQL_INVALID_HANDLE, ""},
      {"type 7 on nothing", 7, nullptr, SQL_INVALID_HANDLE, ""},
      {"nothing as descriptor", SQL_HANDLE_DESC, nullptr, SQL_INVALID_HANDLE, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SQLFreeHandle(c.type, c.h), c.rc) << c.name;
    if (c.state[0] != '\0') {
      SQLSMALLINT t = static_cast<zolandm_hdr*>(c.h)->handle_type;
      std::string joined;
      for (const std::string& st : diag_states(t, c.h)) joined += (joined.empty() ? "" : ",") + st;
      EXPECT_EQ(joined, c.state) << c.name;
    }
  }
  EXPECT_EQ(static_cast<zolandm_stmt*>(other)->handle_type, 3);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, other), SQL_SUCCESS);
  EXPECT_EQ(fake->calls("DropStmt").size(), 1u);
}

// ---- invalid handles -------------------------------------------------------------------------------

TEST_F(Descriptors, EveryOdbc3EntryRefusesNullAndForeignHandles) {
  open_fake("odbc3");
  SQLCHAR buf[64];
  SQLWCHAR wbuf[64];
  SQLSMALLINT len = 0;
  SQLINTEGER ilen = 0;
  SQLLEN num = 0;
  SQLINTEGER native = 0;
  struct Case {
    const char* name;
    std::function<SQLRETURN(SQLHANDLE)> call;
    int type;  // the handle type the entry wants
  } cases[] = {
      {"SQLSetConnectAttr", [](SQLHANDLE h) { return SQLSetConnectAttr(h, SQL_ATTR_AUTOCOMMIT, V(0), 0); },
       2},
      {"SQLSetConnectAttrW", [](SQLHANDLE h) { return SQLSetConnectAttrW(h, SQL_ATTR_AUTOCOMMIT, V(0), 0); },
       2},
      {"SQLGetConnectAttr",
       [&](SQLHANDLE h) { return SQLGetConnectAttr(h, SQL_ATTR_AUTOCOMMIT, &ilen, 0, nullptr); }, 2},
      {"SQLGetConnectAttrW",
       [&](SQLHANDLE h) { return SQLGetConnectAttrW(h, SQL_ATTR_AUTOCOMMIT, &ilen, 0, nullptr); }, 2},
      {"SQLSetStmtAttr", [](SQLHANDLE h) { return SQLSetStmtAttr(h, SQL_ATTR_MAX_ROWS, V(0), 0); }, 3},
      {"SQLSetStmtAttrW", [](SQLHANDLE h) { return SQLSetStmtAttrW(h, SQL_ATTR_MAX_ROWS, V(0), 0); }, 3},
      {"SQLGetStmtAttr", [&](SQLHANDLE h) { return SQLGetStmtAttr(h, SQL_ATTR_MAX_ROWS, &num, 0, nullptr); },
       3},
      {"SQLGetStmtAttrW",
       [&](SQLHANDLE h) { return SQLGetStmtAttrW(h, SQL_ATTR_MAX_ROWS, &num, 0, nullptr); }, 3},
      {"SQLColAttribute",
       [&](SQLHANDLE h) { return SQLColAttribute(h, 1, SQL_DESC_NAME, buf, 64, &len, &num); }, 3},
      {"SQLColAttributeW",
       [&](SQLHANDLE h) { return SQLColAttributeW(h, 1, SQL_DESC_NAME, wbuf, 64, &len, &num); }, 3},
      {"SQLFetchScroll", [](SQLHANDLE h) { return SQLFetchScroll(h, SQL_FETCH_NEXT, 0); }, 3},
      {"SQLBulkOperations", [](SQLHANDLE h) { return SQLBulkOperations(h, SQL_ADD); }, 3},
      {"SQLCloseCursor", [](SQLHANDLE h) { return SQLCloseCursor(h); }, 3},
      {"SQLBindParam",
       [&](SQLHANDLE h) { return SQLBindParam(h, 1, SQL_C_LONG, SQL_INTEGER, 0, 0, &native, nullptr); }, 3},
      {"SQLGetDescField",
       [&](SQLHANDLE h) { return SQLGetDescField(h, 1, SQL_DESC_COUNT, &len, 0, nullptr); }, 4},
      {"SQLGetDescFieldW",
       [&](SQLHANDLE h) { return SQLGetDescFieldW(h, 1, SQL_DESC_COUNT, &len, 0, nullptr); }, 4},
      {"SQLSetDescField", [](SQLHANDLE h) { return SQLSetDescField(h, 1, SQL_DESC_COUNT, V(1), 0); }, 4},
      {"SQLSetDescFieldW", [](SQLHANDLE h) { return SQLSetDescFieldW(h, 1, SQL_DESC_COUNT, V(1), 0); }, 4},
      {"SQLGetDescRec",
       [&](SQLHANDLE h) {
         return SQLGetDescRec(h, 1, buf, 64, &len, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
       },
       4},
      {"SQLGetDescRecW",
       [&](SQLHANDLE h) {
         return SQLGetDescRecW(h, 1, wbuf, 64, &len, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
       },
       4},
      {"SQLSetDescRec",
       [](SQLHANDLE h) { return SQLSetDescRec(h, 1, SQL_INTEGER, 0, 4, 0, 0, nullptr, nullptr, nullptr); },
       4},
      {"SQLCopyDesc", [](SQLHANDLE h) { return SQLCopyDesc(h, h); }, 4},
      {"SQLGetDiagRec(dbc)",
       [&](SQLHANDLE h) { return SQLGetDiagRec(SQL_HANDLE_DBC, h, 1, buf, &native, buf, 64, &len); }, 2},
      {"SQLGetDiagRecW(stmt)",
       [&](SQLHANDLE h) { return SQLGetDiagRecW(SQL_HANDLE_STMT, h, 1, wbuf, &native, wbuf, 64, &len); }, 3},
      {"SQLGetDiagField(desc)",
       [&](SQLHANDLE h) {
         return SQLGetDiagField(SQL_HANDLE_DESC, h, 0, SQL_DIAG_NUMBER, &native, 0, nullptr);
       },
       4},
      {"SQLGetDiagFieldW(env)",
       [&](SQLHANDLE h) {
         return SQLGetDiagFieldW(SQL_HANDLE_ENV, h, 0, SQL_DIAG_NUMBER, &native, 0, nullptr);
       },
       1},
      {"SQLEndTran(dbc)", [](SQLHANDLE h) { return SQLEndTran(SQL_HANDLE_DBC, h, SQL_COMMIT); }, 2},
      {"SQLEndTran(env)", [](SQLHANDLE h) { return SQLEndTran(SQL_HANDLE_ENV, h, SQL_COMMIT); }, 1},
  };
  SQLHDESC ard = nullptr;
  ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr), SQL_SUCCESS);
  for (const Case& c : cases) {
    EXPECT_EQ(c.call(nullptr), SQL_INVALID_HANDLE) << c.name << " with a null handle";
    SQLHANDLE foreign = c.type == 3 ? static_cast<SQLHANDLE>(dbc) : static_cast<SQLHANDLE>(stmt);
    EXPECT_EQ(c.call(foreign), SQL_INVALID_HANDLE) << c.name << " with a foreign handle";
  }
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_STMT, stmt, SQL_COMMIT), SQL_INVALID_HANDLE);
  EXPECT_EQ(_zolandm_diag_count(dbc) + _zolandm_diag_count(stmt) + _zolandm_diag_count(ard), 0);
  EXPECT_EQ(rec()->handle_type, 3);
}

}  // namespace
