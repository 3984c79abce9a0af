// Keysets on PostgreSQL (psqlodbca.so): key columns from the sources the
// driver answers, a table without keys, a view, schemas that hold tables of
// the same name, the key cache, and a whole keyset read at execute.
#include "cursors/keyset_session.h"

namespace engine_test {
namespace {

class KeysetPostgres : public KeysetSession {
 protected:
  handle_t hPg = 0;
  void SetUp() override {
    if (!getenv("SQLGATE_PG_PORT")) GTEST_SKIP() << "SQLGATE_PG_PORT not set";
    KeysetSession::SetUp();
    ASSERT_EQ(Connect(PgConnStr(), &hPg), ER_SUCCESS) << Errors(hServer);
    Clean();
    for (const char* ddl : {
             "CREATE SCHEMA ks_s1",
             "CREATE SCHEMA ks_s2",
             "CREATE TABLE ks_s1.pk (id INTEGER PRIMARY KEY, v VARCHAR(10))",
             "CREATE TABLE ks_s1.uq (u INTEGER NOT NULL, v VARCHAR(10), w NUMERIC(8,2) NOT NULL)",
             "CREATE UNIQUE INDEX ks_uq_ix ON ks_s1.uq (w, u)",
             "CREATE TABLE ks_s1.none (x INTEGER, y VARCHAR(10))",
             "CREATE VIEW ks_s1.vw AS SELECT id, v FROM ks_s1.pk",
             "CREATE TABLE ks_s1.dup (a INTEGER PRIMARY KEY, b INTEGER)",
             "CREATE TABLE ks_s2.dup (a INTEGER, b INTEGER PRIMARY KEY)",
         })
      ASSERT_EQ(Exec(hPg, ddl), ER_SUCCESS) << ddl << Errors(hPg);
  }
  void Clean() {
    for (const char* ddl : {"DROP SCHEMA IF EXISTS ks_s1 CASCADE", "DROP SCHEMA IF EXISTS ks_s2 CASCADE"})
      Exec(hPg, ddl);
  }
  void TearDown() override {
    if (hPg) Clean();
    KeysetSession::TearDown();
  }
};

std::string Joined(const std::vector<std::string>& r) {
  std::string out;
  for (size_t i = 0; i < r.size(); i++) out += (i ? "|" : "") + r[i];
  return out;
}

TEST_F(KeysetPostgres, KeySourcesOfTheDriver) {
  for (const char* dml : {"INSERT INTO ks_s1.pk SELECT g, 'v' || (g % 3) FROM generate_series(1, 7) g",
                          "INSERT INTO ks_s1.uq SELECT g % 4, 'v' || g, g / 2.0 FROM generate_series(1, 7) g",
                          "INSERT INTO ks_s1.dup SELECT g, g * 10 FROM generate_series(1, 3) g",
                          "INSERT INTO ks_s2.dup SELECT g, g * 100 FROM generate_series(1, 3) g"})
    ASSERT_EQ(Exec(hPg, dml), ER_SUCCESS) << dml << Errors(hPg);
  struct Case {
    const char* sql;
    errcode_t rc;
    std::vector<std::string> keys;   // owner.column:type:precision:scale
    std::vector<std::string> asked;  // catalog operations of the key sources
    const char* keyQuery;
  };
  const std::vector<std::string> byIndex = {"ddSpecialColumns", "ddStatistics", "ddColumns"};
  const std::vector<std::string> none = {"ddSpecialColumns", "ddStatistics", "ddPrimaryKeys"};
  const Case cases[] = {
      // The driver names no best row identifier: the primary key's index comes from the statistics.
      {"SELECT v FROM ks_s1.pk ORDER BY v",
       ER_SUCCESS,
       {"\"ks_s1\".\"id\":4:10:0"},
       byIndex,
       "SELECT id FROM ks_s1.pk ORDER BY v, id"},
      {"SELECT v FROM ks_s1.uq",
       ER_SUCCESS,
       {"\"ks_s1\".\"w\":2:8:2", "\"ks_s1\".\"u\":4:10:0"},
       {"ddSpecialColumns", "ddStatistics", "ddColumns", "ddColumns"},
       "SELECT w, u FROM ks_s1.uq ORDER BY w, u"},
      {"SELECT x FROM ks_s1.none", ER_NO_KEYS, {}, none, nullptr},
      {"SELECT v FROM ks_s1.vw", ER_NO_KEYS, {}, none, nullptr},
      // Tables of the same name in two schemas keep keys of their own.
      {"SELECT b FROM ks_s1.dup",
       ER_SUCCESS,
       {"\"ks_s1\".\"a\":4:10:0"},
       byIndex,
       "SELECT a FROM ks_s1.dup ORDER BY a"},
      {"SELECT a FROM ks_s2.dup",
       ER_SUCCESS,
       {"\"ks_s2\".\"b\":4:10:0"},
       byIndex,
       "SELECT b FROM ks_s2.dup ORDER BY b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    handle_t h = NewCursor(hPg, SQL_CURSOR_KEYSET_DRIVEN);
    ip.calls.clear();
    ASSERT_EQ(PrepareKeyset(h, c.sql), c.rc) << Errors(h);
    std::vector<std::string> asked;
    for (const std::string& op : ip.calls)
      if (op.rfind("dd", 0) == 0 && op != "ddTables") asked.push_back(op);
    EXPECT_EQ(asked, c.asked);
    if (c.rc != ER_SUCCESS) {
      engine.ops().endCursor(h);
      continue;
    }
    std::vector<std::string> keys;
    alist_t* l = State(h)->pKeySet->pLS_KeyCols;
    for (unsigned i = 0; i < l->cUsed; i++) {
      auto* d = static_cast<SCColDesc*>(alist_At(l, i));
      keys.push_back(std::string(d->owner_name) + "." + d->col_name + ":" + std::to_string(d->SQLType) + ":" +
                     std::to_string(d->precision) + ":" + std::to_string(d->scale));
    }
    EXPECT_EQ(keys, c.keys);
    ASSERT_EQ(ExecuteKeyset(h), ER_SUCCESS) << Errors(h);
    std::vector<std::string> want;
    for (const auto& r : Query(hPg, c.keyQuery)) want.push_back(Joined(r));
    EXPECT_EQ(KeysetRows(h), want);
    engine.ops().endCursor(h);
  }
}

TEST_F(KeysetPostgres, PrimaryKeySourceAskedDirectly) {
  handle_t h = NewCursor(hPg, SQL_CURSOR_KEYSET_DRIVEN);
  ASSERT_EQ(engine.ops().prepare(h, const_cast<char*>("SELECT b FROM ks_s2.dup")), ER_SUCCESS);
  TSCCL* s = State(h);
  ASSERT_EQ(scs_p_AuxCursorOpen(s), ER_SUCCESS);
  struct Case {
    const char* owner;
    const char* name;
    errcode_t rc;
    std::vector<std::string> keys;
  };
  const Case cases[] = {{"\"ks_s2\"", "\"dup\"", ER_SUCCESS, {"\"b\""}},
                        {"\"ks_s1\"", "\"pk\"", ER_SUCCESS, {"\"id\""}},
                        {"\"ks_s1\"", "\"none\"", ER_NO_KEYS, {}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TableDesc t{strdup(""), strdup(c.owner), strdup(c.name), strdup("")};
    KS_Close(s->pKeySet);
    EXPECT_EQ(ks_GetKeyColDescs_PKeys(s, &t, 1, nullptr), c.rc);
    EXPECT_EQ(KeyNames(h), c.keys);
    TableDescDestroy(&t);
  }
  engine.ops().endCursor(h);
}

TEST_F(KeysetPostgres, JoinAcrossSchemasFromTheCache) {
  ASSERT_EQ(Exec(hPg, "INSERT INTO ks_s1.dup SELECT g, g FROM generate_series(1, 5) g"), ER_SUCCESS);
  ASSERT_EQ(Exec(hPg, "INSERT INTO ks_s2.dup SELECT g % 2, g FROM generate_series(1, 5) g"), ER_SUCCESS);
  handle_t h = NewCursor(hPg, SQL_CURSOR_KEYSET_DRIVEN);
  ip.counts.clear();
  ASSERT_EQ(PrepareKeyset(h, "SELECT x.b, y.a FROM ks_s1.dup x, ks_s2.dup y WHERE x.a = y.b ORDER BY y.a"),
            ER_SUCCESS)
      << Errors(h);
  EXPECT_EQ(CatalogCalls(), 6);  // special columns, statistics, column description per table
  EXPECT_EQ(KeyNames(h), (std::vector<std::string>{"x.\"a\"", "y.\"b\""}));
  ASSERT_EQ(ExecuteKeyset(h), ER_SUCCESS) << Errors(h);
  std::vector<std::string> want;
  for (const auto& r :
       Query(hPg, "SELECT x.a, y.b FROM ks_s1.dup x, ks_s2.dup y WHERE x.a = y.b ORDER BY y.a, x.a, y.b"))
    want.push_back(Joined(r));
  EXPECT_EQ(KeysetRows(h), want);
  EXPECT_EQ(want.size(), 5u);
  handle_t h2 = NewCursor(hPg, SQL_CURSOR_KEYSET_DRIVEN);
  ip.counts.clear();
  ASSERT_EQ(PrepareKeyset(h2, "SELECT p.b FROM ks_s1.dup p, ks_s2.dup q WHERE p.a = q.b ORDER BY q.a"),
            ER_SUCCESS);
  EXPECT_EQ(CatalogCalls(), 0);
  EXPECT_EQ(KeyNames(h2), (std::vector<std::string>{"p.\"a\"", "q.\"b\""}));
  ASSERT_EQ(ExecuteKeyset(h2), ER_SUCCESS) << Errors(h2);
  EXPECT_EQ(KeysetRows(h2), want);
  // The same tables the other way round are another combination.
  ip.counts.clear();
  ASSERT_EQ(PrepareKeyset(h2, "SELECT p.b FROM ks_s2.dup q, ks_s1.dup p WHERE p.a = q.b"), ER_SUCCESS);
  EXPECT_EQ(CatalogCalls(), 6);
  engine.ops().endCursor(h2);
  engine.ops().endCursor(h);
}

TEST_F(KeysetPostgres, WholeKeysetSpills) {
  ASSERT_EQ(Exec(hPg, "INSERT INTO ks_s1.pk SELECT g, 'v' || (g % 89) FROM generate_series(1, 6000) g"),
            ER_SUCCESS);
  handle_t h = NewCursor(hPg, SQL_CURSOR_KEYSET_DRIVEN);
  ASSERT_EQ(PrepareKeyset(h, "SELECT id, v FROM ks_s1.pk ORDER BY v"), ER_SUCCESS);
  ASSERT_EQ(ExecuteKeyset(h), ER_SUCCESS) << Errors(h);
  EXPECT_EQ(State(h)->RsltSetSize, 6000);
  EXPECT_EQ(State(h)->pKeySet->KSC.fState, DSC_SPILLED);
  EXPECT_EQ(KeysetRows(h), Column(Query(hPg, "SELECT id FROM ks_s1.pk ORDER BY v, id", 0, 1000)));
  engine.ops().endCursor(h);
}

}  // namespace
}  // namespace engine_test
