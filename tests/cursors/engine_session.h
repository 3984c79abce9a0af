// The engine in front of the real backend (through the pass-through
// interposer): a server session of our own configuration, connections by
// connection string, and helpers that run SQL through the engine's table.
#pragma once

#include "cursors/discovery.h"
#include "cursors/engine_fixture.h"
#include "fixtures/engine/interposer.h"
#include "fixtures/support/odbc_config.h"
#include "fixtures/support/support.h"
#include "model/drv_param_codes.h"

namespace engine_test {

// The test server of scripts/pg.sh, by its environment.
inline std::string PgConnStr() {
  const char* port = getenv("SQLGATE_PG_PORT");
  const char* user = getenv("SQLGATE_PG_USER");
  const char* db = getenv("SQLGATE_PG_DB");
  return std::string("DRIVER=") + test_support::kPgDriver + ";Servername=127.0.0.1;Port=" + port +
         ";Database=" + (db ? db : "sqlgate") + ";Username=" + (user ? user : "postgres") + ";Password=";
}

class EngineSession : public ::testing::Test {
 protected:
  test_support::TempDir dir;
  Interposer ip;
  EngineOver engine{ip.drv};
  handle_t hServer = 0;

  void SetUp() override {
    test_support::set_odbc_config_in(dir.path());
    test_support::write_file(dir.file("odbcinst.ini"),
                             std::string("[SQLite3]\nDriver=") + test_support::kSqliteDriver +
                                 "\n\n[PostgreSQL]\nDriver=" + test_support::kPgDriver + "\n");
    ASSERT_EQ(engine.ops().server(nullptr, &hServer), ER_SUCCESS);
    char buf[16];
    ASSERT_EQ(engine.ops().getDrvParameter(hServer, DRVP_SRV_AGENT_NAME, buf, sizeof buf, nullptr),
              ER_SUCCESS);
  }
  void TearDown() override {
    while (numServers > 0) engine.ops().endServer(hServer);
  }

  errcode_t Connect(const std::string& connStr, handle_t* ph) {
    ::Connect rec{};
    rec.dbOptions = strdup(connStr.c_str());
    errcode_t e = engine.ops().connect(hServer, &rec, ph);
    Connect_Done(&rec);
    return e;
  }
  std::string Errors(handle_t h) {
    std::string out;
    ErrInfo info{};
    if (engine.ops().errInfo(h, &info) != ER_SUCCESS) return out;
    for (unsigned i = 0; i < info.messageCount; i++)
      out += std::string(info.messages[i] ? info.messages[i] : "") + "\n";
    ErrInfo_Done(&info);
    return out;
  }
  handle_t NewCursor(handle_t conn, sgn32 type = SQL_CURSOR_FORWARD_ONLY) {
    handle_t h = 0;
    EXPECT_EQ(engine.ops().cursor(conn, &h), ER_SUCCESS) << Errors(conn);
    if (type != SQL_CURSOR_FORWARD_ONLY) {
      EXPECT_EQ(engine.ops().setDrvParameter(h, DRVP_STMT_CURSOR_TYPE, &type), ER_SUCCESS);
    }
    return h;
  }
  errcode_t Exec(handle_t conn, const std::string& sql) {
    handle_t h = NewCursor(conn);
    errcode_t e = engine.ops().prepare(h, const_cast<char*>(sql.c_str()));
    if (e == ER_SUCCESS) e = engine.ops().execute(h);
    engine.ops().endCursor(h);
    return e;
  }
  errcode_t Open(handle_t h, const std::string& sql) {
    errcode_t e = engine.ops().prepare(h, const_cast<char*>(sql.c_str()));
    return e == ER_SUCCESS ? engine.ops().execute(h) : e;
  }
  std::vector<std::vector<std::string>> FetchAll(handle_t h, uns16 maxRows = 100) {
    std::vector<std::vector<std::string>> rows;
    for (int guard = 0; guard < 100000; guard++) {
      Dataset ds{};
      errcode_t e = engine.ops().fetch(h, maxRows, &ds);
      EXPECT_EQ(e, ER_SUCCESS) << Errors(h);
      if (e != ER_SUCCESS || ds.nRows == 0) {
        Dataset_Done(&ds);
        break;
      }
      for (int r = 0; r < ds.nRows; r++) {
        std::vector<std::string> row;
        for (int c = 0; c < ds.nCols; c++) row.push_back(CellText(ds, c, r));
        rows.push_back(row);
      }
      Dataset_Done(&ds);
    }
    return rows;
  }
  std::vector<std::vector<std::string>> Query(handle_t conn, const std::string& sql, sgn32 type = 0,
                                              uns16 maxRows = 100) {
    handle_t h = NewCursor(conn, type);
    EXPECT_EQ(Open(h, sql), ER_SUCCESS) << Errors(h);
    auto rows = FetchAll(h, maxRows);
    engine.ops().endCursor(h);
    return rows;
  }
  std::string CapabilityString(handle_t conn) {
    char buf[64] = {0};
    uns16 len = 0;
    EXPECT_EQ(engine.ops().getDrvParameter(conn, 0x21010010, buf, sizeof buf, &len), ER_SUCCESS);
    return buf;
  }
  // The table's owner and name as the engine resolves them, or the error code.
  std::string Resolve(handle_t hCursor, const char* owner, const char* name) {
    TSCCL* s = &ODBC_CursorRec(hCursor)->st_sccl;
    TableDesc t{strdup(""), strdup(owner), strdup(name), strdup("")};
    errcode_t rc = scs_p_GetTblAttribs(s, &t, 1);
    std::string out =
        rc == ER_SUCCESS ? std::string(t.pszOwner) + "." + t.pszName : "error " + std::to_string(rc);
    TableDescDestroy(&t);
    return out;
  }
  std::vector<std::string> Columns(handle_t hCursor, const char* owner, const char* name) {
    TSCCL* s = &ODBC_CursorRec(hCursor)->st_sccl;
    TableDesc t{strdup(""), strdup(owner), strdup(name), strdup("")};
    alist_t* list = alist_Alloc(sizeof(SCColDesc));
    std::vector<std::string> out;
    errcode_t rc = scs_p_GetTblAttribs(s, &t, 1);
    if (rc == ER_SUCCESS) rc = scs_p_GetTblColDescs(s, &t, 1, 0, list);
    if (rc != ER_SUCCESS) out.push_back("error " + std::to_string(rc));
    for (unsigned i = 0; rc == ER_SUCCESS && i < list->cUsed; i++) {
      auto* d = static_cast<SCColDesc*>(alist_At(list, i));
      out.push_back(std::string(d->col_name) + ":" + std::to_string(d->SQLType));
    }
    alist_Dealloc(&list, SCColDescDestroy);
    TableDescDestroy(&t);
    return out;
  }
};

}  // namespace engine_test
