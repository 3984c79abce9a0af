// Keysets on the SQLite driver with a file database: key columns from each
// source the driver answers, tables without keys, a view, joins with aliases,
// the key cache sparing the catalog, and whole keysets read at execute,
// spilled to files and cut short by a driver error.
#include "cursors/analysis.h"
#include "cursors/keyset_session.h"

namespace engine_test {
namespace {

class KeysetSqlite : public KeysetSession {
 protected:
  handle_t hConn = 0;
  std::string ConnStr() const {
    return std::string("DRIVER=") + test_support::kSqliteDriver + ";Database=" + dir.file("ks.db");
  }
  void SetUp() override {
    KeysetSession::SetUp();
    ASSERT_EQ(Connect(ConnStr(), &hConn), ER_SUCCESS) << Errors(hServer);
    for (const char* ddl : {
             "CREATE TABLE ks_ipk (a INTEGER PRIMARY KEY, b VARCHAR(10), c DOUBLE)",
             "CREATE TABLE ks_uniq (u INTEGER NOT NULL, v VARCHAR(10), w INTEGER NOT NULL)",
             "CREATE UNIQUE INDEX ks_uniq_ix ON ks_uniq (u, w)",
             "CREATE TABLE ks_pk2 (p1 VARCHAR(5), p2 INTEGER, x INTEGER, PRIMARY KEY (p1, p2))",
             "CREATE TABLE ks_none (x INTEGER, y VARCHAR(10))",
             "CREATE VIEW ks_v AS SELECT a, b FROM ks_ipk",
         })
      ASSERT_EQ(Exec(hConn, ddl), ER_SUCCESS) << ddl << Errors(hConn);
  }
  void Fill(const std::string& table, const std::string& values, int n) {
    ASSERT_EQ(Exec(hConn, "BEGIN"), ER_SUCCESS);
    ASSERT_EQ(Exec(hConn, "WITH RECURSIVE g(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM g WHERE i < " +
                              std::to_string(n) + ") INSERT INTO " + table + " SELECT " + values + " FROM g"),
              ER_SUCCESS)
        << Errors(hConn);
    ASSERT_EQ(Exec(hConn, "COMMIT"), ER_SUCCESS);
  }
};

TEST_F(KeysetSqlite, KeySourcesOfTheDriver) {
  Fill("ks_ipk", "i, 'b' || (i % 3), i / 2.0", 5);
  Fill("ks_uniq", "i, 'v' || i, 10 - i", 5);
  Fill("ks_pk2", "'k' || (i % 2), i, i * 10", 5);
  Fill("ks_none", "i % 2, 'y' || i", 5);
  struct Case {
    const char* sql;
    std::vector<std::string> keys;
    std::vector<std::string> sources;  // catalog operations asked
    const char* keyQuery;              // the keys in the cursor's order, read forward-only
  };
  const Case cases[] = {
      // The driver's best row identifier of a rowid table is the rowid pseudo-column, never quoted.
      {"SELECT b FROM ks_ipk ORDER BY b",
       {"_ROWID_"},
       {"ddSpecialColumns"},
       "SELECT _ROWID_ FROM ks_ipk ORDER BY b, _ROWID_"},
      {"SELECT x FROM ks_none",
       {"_ROWID_"},
       {"ddSpecialColumns"},
       "SELECT _ROWID_ FROM ks_none ORDER BY _ROWID_"},
      // A unique index is the best row identifier when the table has one.
      {"SELECT v FROM ks_uniq ORDER BY v DESC",
       {"\"u\"", "\"w\""},
       {"ddSpecialColumns"},
       "SELECT u, w FROM ks_uniq ORDER BY v DESC, u, w"},
      // A composite text primary key is no row identifier to the driver: the statistics give
      // its index, and each key's type comes from the column description.
      {"SELECT x FROM ks_pk2",
       {"\"p1\"", "\"p2\""},
       {"ddSpecialColumns", "ddStatistics", "ddColumns", "ddColumns"},
       "SELECT p1, p2 FROM ks_pk2 ORDER BY p1, p2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    handle_t h = NewCursor(hConn, SQL_CURSOR_KEYSET_DRIVEN);
    ip.calls.clear();
    ASSERT_EQ(PrepareKeyset(h, c.sql), ER_SUCCESS) << Errors(h);
    EXPECT_EQ(KeyNames(h), c.keys);
    std::vector<std::string> asked;
    for (const std::string& op : ip.calls)
      if (op.rfind("dd", 0) == 0 && op != "ddTables") asked.push_back(op);
    EXPECT_EQ(asked, c.sources);
    ASSERT_EQ(ExecuteKeyset(h), ER_SUCCESS) << Errors(h);
    std::vector<std::string> want;
    for (const auto& r : Query(hConn, c.keyQuery)) {
      std::string row;
      for (size_t i = 0; i < r.size(); i++) row += (i ? "|" : "") + r[i];
      want.push_back(row);
    }
    EXPECT_EQ(KeysetRows(h), want);
    EXPECT_EQ(State(h)->RsltSetSize, 5);
    engine.ops().endCursor(h);
  }
  // The driver names a rowid for a view too, which reads as NULL there: rows
  // that no key can find again are refused at the keyset read, with a message.
  handle_t h = NewCursor(hConn, SQL_CURSOR_KEYSET_DRIVEN);
  ASSERT_EQ(PrepareKeyset(h, "SELECT b FROM ks_v"), ER_SUCCESS);
  EXPECT_EQ(KeyNames(h), std::vector<std::string>{"_ROWID_"});
  EXPECT_EQ(KS_GetKeySet_KSD(State(h)), ER_NO_KEYS);
  EXPECT_NE(Errors(h), "");
  EXPECT_EQ(State(h)->RsltSetSize, -1);
  EXPECT_EQ(State(h)->pKeySet->pDataset->nRows, 0);
  // So is a NULL in a unique index that SQLite lets hold several NULLs.
  ASSERT_EQ(Exec(hConn, "CREATE TABLE ks_nul (n INTEGER UNIQUE, m INTEGER)"), ER_SUCCESS);
  ASSERT_EQ(Exec(hConn, "INSERT INTO ks_nul VALUES (1, 1), (NULL, 2)"), ER_SUCCESS);
  ASSERT_EQ(PrepareKeyset(h, "SELECT m FROM ks_nul"), ER_SUCCESS);
  EXPECT_EQ(KeyNames(h), std::vector<std::string>{"\"n\""});
  EXPECT_EQ(KS_GetKeySet_KSD(State(h)), ER_NO_KEYS);
  engine.ops().endCursor(h);
}

TEST_F(KeysetSqlite, SecondPrepareTakesKeysFromTheCache) {
  Fill("ks_ipk", "i, 'b' || i, i", 4);
  Fill("ks_pk2", "'k' || (i % 2), i, i % 3", 6);
  handle_t h = NewCursor(hConn, SQL_CURSOR_KEYSET_DRIVEN);
  ip.counts.clear();
  ASSERT_EQ(PrepareKeyset(h, "SELECT a.b, p.x FROM ks_ipk a, ks_pk2 p WHERE a.a = p.x"), ER_SUCCESS)
      << Errors(h);
  const int cold = CatalogCalls();
  EXPECT_EQ(cold, 5);  // special columns twice, statistics, two column descriptions
  EXPECT_EQ(KeyNames(h), (std::vector<std::string>{"a._ROWID_", "p.\"p1\"", "p.\"p2\""}));
  ASSERT_EQ(ExecuteKeyset(h), ER_SUCCESS) << Errors(h);
  const auto first = KeysetRows(h);
  // The same tables under other aliases, on another cursor: no catalog call, the new aliases written.
  handle_t h2 = NewCursor(hConn, SQL_CURSOR_KEYSET_DRIVEN);
  ip.counts.clear();
  ASSERT_EQ(PrepareKeyset(h2, "SELECT z.b, q.x FROM ks_ipk z, ks_pk2 q WHERE z.a = q.x"), ER_SUCCESS);
  EXPECT_EQ(CatalogCalls(), 0);
  EXPECT_EQ(KeyNames(h2), (std::vector<std::string>{"z._ROWID_", "q.\"p1\"", "q.\"p2\""}));
  ASSERT_EQ(ExecuteKeyset(h2), ER_SUCCESS) << Errors(h2);
  EXPECT_EQ(KeysetRows(h2), first);
  EXPECT_EQ(first.size(), 4u);
  // Another connection has a cache of its own.
  handle_t hOther = 0;
  ASSERT_EQ(Connect(ConnStr(), &hOther), ER_SUCCESS);
  handle_t h3 = NewCursor(hOther, SQL_CURSOR_KEYSET_DRIVEN);
  ip.counts.clear();
  ASSERT_EQ(PrepareKeyset(h3, "SELECT b FROM ks_ipk"), ER_SUCCESS);
  EXPECT_EQ(CatalogCalls(), 1);
  engine.ops().endCursor(h3);
  engine.ops().endConnect(hOther);
  engine.ops().endCursor(h2);
  engine.ops().endCursor(h);
}

TEST_F(KeysetSqlite, WholeKeysetSpillsPastTheCacheLimit) {
  Fill("ks_ipk", "i, 'b' || (i % 97), i * 1.5", 6000);
  handle_t h = NewCursor(hConn, SQL_CURSOR_KEYSET_DRIVEN);
  const int files = OpenTempFiles();
  ASSERT_EQ(PrepareKeyset(h, "SELECT a, b, c FROM ks_ipk ORDER BY b"), ER_SUCCESS);
  ASSERT_EQ(ExecuteKeyset(h), ER_SUCCESS) << Errors(h);
  EXPECT_EQ(State(h)->RsltSetSize, 6000);
  EXPECT_EQ(State(h)->pKeySet->KSC.fState, DSC_SPILLED);
  EXPECT_EQ(State(h)->pKeySet->Position, -1);
  EXPECT_EQ(OpenTempFiles(), files + 2);
  EXPECT_EQ(KeysetRows(h), Column(Query(hConn, "SELECT a FROM ks_ipk ORDER BY b, a", 0, 1000)));
  // The client's cursor runs its own statement.
  Dataset ds{};
  ASSERT_EQ(engine.ops().fetch(h, 2, &ds), ER_SUCCESS);
  EXPECT_EQ(ds.nCols, 3);
  Dataset_Done(&ds);
  engine.ops().endCursor(h);
  EXPECT_EQ(OpenTempFiles(), files);
}

// The backend answers a fetch that meets a driver error with the rows read so
// far and success, leaving the error queued on the cursor.
int g_failAtFetch = 0;
errcode_t FetchFailingLater(handle_t h, uns16 n, Dataset* ds) {
  if (--g_failAtFetch == 0) {
    QErrorMsg(&ODBC_CursorRec(h)->pendingError, DBErrMsgCreate("[test]connection lost", 0, "S1000"));
    *ds = Dataset{};
    return ER_SUCCESS;
  }
  return odbc_ops.fetch(h, n, ds);
}

TEST_F(KeysetSqlite, KeysetCutShortByTheDriverFails) {
  Fill("ks_ipk", "i, 'b', i", 6000);
  handle_t h = NewCursor(hConn, SQL_CURSOR_KEYSET_DRIVEN);
  const int files = OpenTempFiles();
  ASSERT_EQ(PrepareKeyset(h, "SELECT a, b FROM ks_ipk"), ER_SUCCESS);
  for (int at : {1, 3, 28}) {
    SCOPED_TRACE(at);
    g_failAtFetch = at;
    ip.ops.fetch = FetchFailingLater;
    EXPECT_EQ(KS_GetKeySet_KSD(State(h)), ER_GENERAL_ERROR);
    GetAuxCursorErrors(State(h));
    EXPECT_NE(Errors(h).find("connection lost"), std::string::npos);
    ip.ops.fetch = odbc_ops.fetch;
    EXPECT_EQ(State(h)->RsltSetSize, -1);
    EXPECT_EQ(State(h)->pKeySet->pDataset->nRows, 0);
    EXPECT_EQ(OpenTempFiles(), files);
  }
  ASSERT_EQ(KS_GetKeySet_KSD(State(h)), ER_SUCCESS);
  EXPECT_EQ(State(h)->RsltSetSize, 6000);
  engine.ops().endCursor(h);
}

TEST_F(KeysetSqlite, RowsetKeysRereadFindsWhatStillExists) {
  Fill("ks_pk2", "'k' || (i % 2), i, i", 10);
  handle_t h = NewCursor(hConn, SQL_CURSOR_KEYSET_DRIVEN);
  ASSERT_EQ(PrepareKeyset(h, "SELECT x FROM ks_pk2 ORDER BY x DESC"), ER_SUCCESS);
  ASSERT_EQ(ExecuteKeyset(h), ER_SUCCESS) << Errors(h);
  ASSERT_EQ(KeysetRows(h).front(), "k0|10");
  ASSERT_EQ(Exec(hConn, "DELETE FROM ks_pk2 WHERE p2 IN (9, 7)"), ER_SUCCESS);
  State(h)->RSSize = 4;
  State(h)->cMaxParams = 6;  // a rowset of 4 rows takes two SELECTs of 3 rows
  Dataset* got = nullptr;
  ASSERT_EQ(KS_RowSetGetKeys(State(h), State(h)->pKeySet->pDataset, 0, &got), ER_SUCCESS) << Errors(h);
  std::vector<std::string> rows;
  for (sgn32 r = 0; r < got->nRows; r++) rows.push_back(CellText(*got, 0, r) + "|" + CellText(*got, 1, r));
  EXPECT_EQ(rows, (std::vector<std::string>{"k0|10", "k0|8"}));
  Dataset_Done(got);
  free(got);
  engine.ops().endCursor(h);
}

TEST_F(KeysetSqlite, PrepareTimeAnalysisTakesKeysFromTheCache) {
  Fill("ks_pk2", "'k' || (i % 2), i, i % 3", 6);
  std::vector<std::string> first;
  for (int round = 0; round < 2; round++) {
    SCOPED_TRACE(round);
    handle_t h = NewCursor(hConn, SQL_CURSOR_KEYSET_DRIVEN);
    const char* sql = "SELECT x FROM ks_pk2 ORDER BY x, p2";
    // The engine's prepare may run the analysis itself: count its catalog calls too.
    ip.calls.clear();
    ASSERT_EQ(engine.ops().prepare(h, const_cast<char*>(sql)), ER_SUCCESS);
    ASSERT_EQ(scs_p_Prepare(State(h), sql), ER_SUCCESS) << Errors(h);
    int keyCalls = 0;
    for (const std::string& op : ip.calls)
      if (op.rfind("dd", 0) == 0 && op != "ddTables") keyCalls++;
    EXPECT_EQ(keyCalls, round == 0 ? 4 : 0);  // special columns, statistics, two column descriptions
    EXPECT_EQ(KeyNames(h), (std::vector<std::string>{"\"p1\"", "\"p2\""}));
    ASSERT_EQ(ExecuteKeyset(h), ER_SUCCESS) << Errors(h);
    // p2 is already in the ORDER BY: only p1 is appended.
    EXPECT_EQ(KeysetRows(h), (std::vector<std::string>{"k1|3", "k0|6", "k1|1", "k0|4", "k0|2", "k1|5"}));
    engine.ops().endCursor(h);
  }
}

}  // namespace
}  // namespace engine_test
