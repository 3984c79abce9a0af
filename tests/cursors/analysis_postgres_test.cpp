// Prepare-time analysis in front of the real backend and PostgreSQL: which
// statements each cursor type and concurrency accepts, switches to a static
// read-only cursor or refuses, over tables with and without keys, and the
// forward-only select-list rewrite as the server prepares it.
#include "cursors/analysis_session.h"
#include "cursors/keyset.h"

namespace engine_test {
namespace {

class AnalysisPostgres : public AnalysisSession {
 protected:
  void SetUp() override {
    if (!getenv("SQLGATE_PG_PORT")) GTEST_SKIP() << "SQLGATE_PG_PORT not set";
    EngineSession::SetUp();
    ASSERT_EQ(Connect(PgConnStr(), &hConn), ER_SUCCESS) << Errors(hServer);
    AllowDynamic();
    Clean();
    for (const char* ddl :
         {"CREATE TABLE an_k (id INTEGER PRIMARY KEY, v VARCHAR(10), n TEXT)",
          "CREATE TABLE an_k2 (id2 INTEGER PRIMARY KEY, w VARCHAR(10))",
          "CREATE TABLE an_nk (a INTEGER, b VARCHAR(10))", "CREATE TABLE an_nk2 (c INTEGER, d VARCHAR(10))",
          "INSERT INTO an_k VALUES (1, 'x', 'long')", "INSERT INTO an_k2 VALUES (1, 'y')",
          "INSERT INTO an_nk VALUES (1, 'x')"})
      ASSERT_EQ(Exec(hConn, ddl), ER_SUCCESS) << ddl << Errors(hConn);
  }
  void Clean() {
    for (const char* t : {"an_k", "an_k2", "an_nk", "an_nk2"})
      Exec(hConn, std::string("DROP TABLE IF EXISTS ") + t);
  }
  void TearDown() override {
    if (hConn) Clean();
    EngineSession::TearDown();
  }
};

enum Outcome { ACCEPT, SWITCH, REFUSE };

TEST_F(AnalysisPostgres, DecisionTable) {
  struct Case {
    const char* what;
    const char* before;  // prepared first on the same cursor, or null
    const char* sql;
    sgn32 type, conc, ksSize, parse, append;
    Outcome outcome;
    int rc;  // for REFUSE
  } cases[] = {
      // One table with keys.
      {"keys, keyset", nullptr, "SELECT id, v FROM an_k", KS, LOCK, 0, 0, 0, ACCEPT, 0},
      {"keys, mixed", nullptr, "SELECT v FROM an_k ORDER BY v", KS, RO, 10, 0, 0, ACCEPT, 0},
      {"keys, dynamic", nullptr, "SELECT v FROM an_k ORDER BY v DESC", DYN, VALUES, 0, 0, 0, ACCEPT, 0},
      {"keys, static values", nullptr, "SELECT v FROM an_k", ST, VALUES, 0, 0, 0, ACCEPT, 0},
      {"join with keys, keyset", nullptr, "SELECT v, w FROM an_k, an_k2 WHERE id = id2", KS, RO, 0, 0, 0,
       ACCEPT, 0},
      // One table without keys: keyed cursors become static read-only.
      {"no keys, keyset", nullptr, "SELECT a, b FROM an_nk", KS, LOCK, 0, 0, 0, SWITCH, 0},
      {"no keys, mixed", nullptr, "SELECT a, b FROM an_nk ORDER BY b", KS, RO, 10, 0, 0, SWITCH, 0},
      {"no keys, dynamic", nullptr, "SELECT a, b FROM an_nk", DYN, VALUES, 0, 0, 0, SWITCH, 0},
      {"no keys, static values", nullptr, "SELECT a, b FROM an_nk", ST, VALUES, 0, 0, 0, SWITCH, 0},
      {"no keys, static read-only", nullptr, "SELECT a, b FROM an_nk", ST, RO, 0, 0, 0, ACCEPT, 0},
      {"join without keys, keyset", nullptr, "SELECT a, c FROM an_nk, an_nk2 WHERE a = c", KS, RO, 0, 0, 0,
       SWITCH, 0},
      {"join, static lock", nullptr, "SELECT a, c FROM an_nk, an_nk2 WHERE a = c", ST, LOCK, 0, 0, 0, ACCEPT,
       0},
      {"outer join, keyset", nullptr, "SELECT v, w FROM an_k LEFT OUTER JOIN an_k2 ON id = id2", KS, RO, 0, 0,
       0, REFUSE, ER_OJ_STATIC_ONLY},
      {"outer join, dynamic", nullptr, "SELECT v, w FROM an_k LEFT OUTER JOIN an_k2 ON id = id2", DYN, RO, 0,
       0, 0, REFUSE, ER_OJ_STATIC_ONLY},
      {"outer join, static", nullptr, "SELECT v, w FROM an_k LEFT OUTER JOIN an_k2 ON id = id2", ST, RO, 0, 0,
       0, ACCEPT, 0},
      {"group by, keyset", nullptr, "SELECT v, count(*) FROM an_k GROUP BY v", KS, RO, 0, 0, 0, REFUSE,
       ER_PRQST_GROUPBY_CLAUSE},
      {"group by, dynamic", nullptr, "SELECT v, count(*) FROM an_k GROUP BY v", DYN, RO, 0, 0, 0, REFUSE,
       ER_PRQST_GROUPBY_CLAUSE},
      // Without keys the dynamic cursor becomes static before its checks.
      {"group by without keys, dynamic", nullptr, "SELECT a, count(*) FROM an_nk GROUP BY a", DYN, LOCK, 0, 0,
       0, SWITCH, 0},
      {"group by, static", nullptr, "SELECT v, count(*) FROM an_k GROUP BY v", ST, RO, 0, 0, 0, ACCEPT, 0},
      {"union, keyset", nullptr, "SELECT id FROM an_k UNION SELECT id2 FROM an_k2", KS, RO, 0, 0, 0, REFUSE,
       ER_PRQST_UNION_CLAUSE},
      {"union, dynamic", nullptr, "SELECT id FROM an_k UNION SELECT id2 FROM an_k2", DYN, RO, 0, 0, 0, REFUSE,
       ER_PRQST_UNION_CLAUSE},
      {"union, static", nullptr, "SELECT id FROM an_k UNION SELECT id2 FROM an_k2", ST, RO, 0, 0, 0, ACCEPT,
       0},
      // Rows of aggregates and DISTINCT are no rows of the table: never keyed.
      {"aggregate, keyset", nullptr, "SELECT count(*) FROM an_k", KS, RO, 0, 0, 0, SWITCH, 0},
      {"aggregate, dynamic", nullptr, "SELECT max(v) FROM an_k", DYN, LOCK, 0, 0, 0, SWITCH, 0},
      {"aggregate, static values", nullptr, "SELECT count(*) FROM an_k", ST, VALUES, 0, 0, 0, ACCEPT, 0},
      {"distinct, keyset", nullptr, "SELECT DISTINCT v FROM an_k", KS, LOCK, 0, 0, 0, SWITCH, 0},
      {"distinct, dynamic", nullptr, "SELECT DISTINCT v FROM an_k", DYN, RO, 0, 0, 0, SWITCH, 0},
      {"distinct, static values", nullptr, "SELECT DISTINCT v FROM an_k", ST, VALUES, 0, 0, 0, SWITCH, 0},
      {"distinct, static read-only", nullptr, "SELECT DISTINCT v FROM an_k", ST, RO, 0, 0, 0, ACCEPT, 0},
      {"numeric order by", nullptr, "SELECT v, id FROM an_k ORDER BY 2", KS, RO, 0, 0, 0, ACCEPT, 0},
      {"order by beyond the list", nullptr, "SELECT v FROM an_k ORDER BY 2", KS, RO, 0, 0, 0, REFUSE,
       ER_SYNTAXIS},
      {"order by an expression's place", nullptr, "SELECT id + 1 FROM an_k ORDER BY 1", DYN, RO, 0, 0, 0,
       REFUSE, ER_ORDR_ON_EXPRESSION},
      // The analyser takes no expression after ORDER BY: the driver describes it.
      {"order by an expression", nullptr, "SELECT v FROM an_k ORDER BY id + 1", KS, LOCK, 0, 0, 0, SWITCH, 0},
      {"unparsable select, keyset", nullptr, "SELECT v FROM an_k LIMIT 1", KS, LOCK, 0, 0, 0, SWITCH, 0},
      {"unparsable select, dynamic", nullptr, "SELECT v FROM an_k LIMIT 1", DYN, RO, 0, 0, 0, SWITCH, 0},
      {"unparsable select, static", nullptr, "SELECT v FROM an_k LIMIT 1", ST, RO, 0, 0, 0, ACCEPT, 0},
      {"unparsable select, forward-only", nullptr, "SELECT v FROM an_k LIMIT 1", FO, RO, 0, 1, 0, ACCEPT, 0},
      {"undescribable select", nullptr, "SELECT FROM WHERE", KS, RO, 0, 0, 0, REFUSE, ER_SYNTAXIS},
      {"no tables, keyset", nullptr, "SELECT 1", KS, RO, 0, 0, 0, REFUSE, ER_SCRS_STATIC_ONLY},
      {"no tables, dynamic", nullptr, "SELECT 1", DYN, RO, 0, 0, 0, REFUSE, ER_SCRS_STATIC_ONLY},
      {"no tables, static", nullptr, "SELECT 1", ST, RO, 0, 0, 0, ACCEPT, 0},
      {"procedure, dynamic lock", nullptr, "{call p(1)}", DYN, LOCK, 0, 0, 0, SWITCH, 0},
      {"other statement, keyset", nullptr, "CREATE TABLE an_z (i INTEGER)", KS, RO, 0, 0, 0, SWITCH, 0},
      {"other statement, static", nullptr, "CREATE TABLE an_z (i INTEGER)", ST, VALUES, 0, 0, 0, SWITCH, 0},
      {"insert, keyset", nullptr, "INSERT INTO an_k VALUES (2, 'y', 'z')", KS, LOCK, 0, 0, 0, ACCEPT, 0},
      {"positioned, fresh cursor", nullptr, "UPDATE an_k SET v = 'q' WHERE CURRENT OF c1", KS, LOCK, 0, 0, 0,
       ACCEPT, 0},
      {"positioned after a plain select", "SELECT v FROM an_k", "UPDATE an_k SET v = 'q' WHERE CURRENT OF c1",
       KS, LOCK, 0, 0, 0, ACCEPT, 0},
      {"positioned after a join", "SELECT v, w FROM an_k, an_k2", "DELETE FROM an_k WHERE CURRENT OF c1", ST,
       RO, 0, 0, 0, REFUSE, ER_PRQST_JOIN_CNDTN},
      {"positioned after group by", "SELECT v FROM an_k GROUP BY v",
       "UPDATE an_k SET v = 'q' WHERE CURRENT OF c1", ST, RO, 0, 0, 0, REFUSE, ER_PRQST_GROUPBY_CLAUSE},
      {"positioned after union", "SELECT id FROM an_k UNION SELECT id2 FROM an_k2",
       "DELETE FROM an_k WHERE CURRENT OF c1", ST, RO, 0, 0, 0, REFUSE, ER_PRQST_UNION_CLAUSE},
      {"positioned after an aggregate", "SELECT count(*) FROM an_k", "DELETE FROM an_k WHERE CURRENT OF c1",
       ST, RO, 0, 0, 0, REFUSE, ER_PRQST_SCALAR_AGGR},
      // Forward-only: analysed only with the options, and never switched in type.
      {"forward-only, no options", nullptr, "SELECT v FROM an_k", FO, RO, 0, 0, 0, ACCEPT, 0},
      {"forward-only, parse", nullptr, "SELECT v FROM an_k", FO, RO, 0, 1, 0, ACCEPT, 0},
      {"forward-only, append keys", nullptr, "SELECT v, w FROM an_k, an_k2", FO, RO, 0, 0, 1, ACCEPT, 0},
      {"forward-only, no keys", nullptr, "SELECT a FROM an_nk", FO, RO, 0, 0, 1, ACCEPT, 0},
      {"forward-only procedure", nullptr, "{call p(1)}", FO, LOCK, 0, 1, 0, ACCEPT, 0},
      {"forward-only outer join", nullptr, "SELECT v FROM an_k LEFT OUTER JOIN an_k2 ON id = id2", FO, RO, 0,
       1, 0, ACCEPT, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    handle_t h = Cursor(k.type, k.conc, k.ksSize, k.parse, k.append);
    TSCCL* s = State(h);
    if (k.before) {
      ASSERT_EQ(Prepare(h, k.before), ER_SUCCESS) << Errors(h);
    }
    test_support::LogCapture log;
    errcode_t rc = Prepare(h, k.sql);
    const bool analysed = k.type != FO || ((k.parse || k.append) && strncmp(k.sql, "SELECT", 6) == 0);
    EXPECT_EQ((s->f_state & SCCL_PREPARED_ANALYSIS) != 0, analysed);
    if (analysed) {
      EXPECT_NE(s->hSCCurs, 0u);
      EXPECT_NE(s->hSCCurs2, 0u);
    }
    switch (k.outcome) {
      case ACCEPT:
        EXPECT_EQ(rc, ER_SUCCESS) << Errors(h);
        EXPECT_EQ(s->CursType, k.type);
        EXPECT_EQ(s->ConcType, k.conc);
        EXPECT_EQ(log.Count(kToStatic) + log.Count(kToReadOnly), 0);
        EXPECT_EQ(s->f_state & SCCL_TYPE_SWITCHED, 0);
        break;
      case SWITCH:
        EXPECT_EQ(rc, ER_SUCCESS) << Errors(h);
        EXPECT_EQ(s->CursType, k.type == FO ? FO : ST);
        EXPECT_EQ(s->ConcType, RO);
        EXPECT_EQ(log.Count(kToStatic), k.type == KS || k.type == DYN ? 1 : 0);
        EXPECT_EQ(log.Count(kToReadOnly), k.conc != RO ? 1 : 0);
        EXPECT_NE(s->f_state & SCCL_TYPE_SWITCHED, 0);
        break;
      case REFUSE:
        EXPECT_EQ(int(rc), k.rc);
        break;
    }
    // The client's own type and concurrency are back at the next prepare.
    EXPECT_EQ(Prepare(h, "INSERT INTO an_nk2 VALUES (9, 'n')"), ER_SUCCESS);
    EXPECT_EQ(s->CursType, k.type);
    EXPECT_EQ(s->ConcType, k.conc);
    EXPECT_EQ(s->f_state & SCCL_TYPE_SWITCHED, 0);
    engine.ops().endCursor(h);
  }
}

TEST_F(AnalysisPostgres, ForwardOnlyRewrite) {
  struct Case {
    const char* sql;
    const char* prepared;  // what the server prepared
    const char* attrs;     // per column: k a key column, e an expression, - neither
    size_t rows;
  } cases[] = {
      {"SELECT v FROM an_k", "SELECT  \"v\", \"id\" FROM an_k      ", "-k", 1},
      {"SELECT v AS label, id + 1 FROM an_k", "SELECT  v AS label, id + 1, \"id\" FROM an_k      ", "-ek", 1},
      {"SELECT * FROM an_k", "SELECT  \"id\", \"v\", \"n\" FROM an_k      ", "k--", 1},
      {"SELECT t.*, w FROM an_k t, an_k2 WHERE t.id = id2",
       "SELECT  t.\"id\", t.\"v\", t.\"n\", \"public\".\"an_k2\".\"w\", \"public\".\"an_k2\".\"id2\" FROM "
       "an_k  t, an_k2 "
       "WHERE t.id = id2     ",
       "k---k", 1},
      // No keys: nothing to add.
      {"SELECT b FROM an_nk", "SELECT b FROM an_nk", "-", 1},
      // Marker bytes in the client's text: the statement stays as written.
      {"SELECT b, 'q\x01\x01\x01' FROM an_nk, an_k", "SELECT b, 'q\x01\x01\x01' FROM an_nk, an_k", "-e", 1},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.sql);
    handle_t h = Cursor(FO, RO, 0, 0, 1);
    ASSERT_EQ(Prepare(h, k.sql), ER_SUCCESS) << Errors(h);
    EXPECT_EQ(Prepared(h), k.prepared);
    EXPECT_EQ(KeyExprAttrs(h), k.attrs);
    ASSERT_EQ(engine.ops().execute(h), ER_SUCCESS) << Errors(h);
    EXPECT_EQ(FetchAll(h).size(), k.rows);
    engine.ops().endCursor(h);
  }
}

TEST_F(AnalysisPostgres, OrderByOfDynamicCursors) {
  struct Case {
    const char* sql;
    const char* sqlAfter;            // the statement kept for later prepares
    std::vector<std::string> order;  // column|is key
    int keyPos;                      // iOrdrBy of the key id
    uns16 compound;
  } cases[] = {
      {"SELECT v, id FROM an_k ORDER BY v", "SELECT v, id FROM an_k ORDER BY v", {"\"v\"|0"}, 0, 2},
      {"SELECT v, id FROM an_k ORDER BY ID DESC, v",
       "SELECT v, id FROM an_k ORDER BY ID DESC, v",
       {"\"id\"|1"},
       1,
       1},
      {"SELECT v, id FROM an_k ORDER BY 1, 2",
       "SELECT  v, id FROM an_k     ORDER BY v , id  ",
       {"\"v\"|0", "\"id\"|1"},
       2,
       2},
      {"SELECT t.v FROM an_k t ORDER BY t.v", "SELECT t.v FROM an_k t ORDER BY t.v", {"\"v\"|0"}, 0, 2},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.sql);
    handle_t h = Cursor(DYN, RO);
    ASSERT_EQ(Prepare(h, k.sql), ER_SUCCESS) << Errors(h);
    TSCCL* s = State(h);
    EXPECT_STREQ(s->pszSQL, k.sqlAfter);
    std::vector<std::string> order;
    for (unsigned i = 0; i < s->pLS_OrdrCols->cUsed && i < k.order.size(); i++) {
      auto* o = static_cast<SCOrdrColDesc*>(alist_At(s->pLS_OrdrCols, i));
      order.push_back(std::string(o->col_name) + "|" + std::to_string(o->bIsKey));
      if (o->bIsKey) {
        EXPECT_EQ(o->SQLType, SQL_INTEGER);
      }
    }
    EXPECT_EQ(order, k.order);
    ASSERT_EQ(s->pKeySet->pLS_KeyCols->cUsed, 1u);
    EXPECT_EQ(static_cast<SCColDesc*>(alist_At(s->pKeySet->pLS_KeyCols, 0))->iOrdrBy, k.keyPos);
    EXPECT_EQ(s->CompoundKeySize, k.compound);
    engine.ops().endCursor(h);
  }
}

}  // namespace
}  // namespace engine_test
