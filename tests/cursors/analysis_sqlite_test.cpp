// Prepare-time analysis in front of the real backend and the SQLite driver:
// which statements each cursor type and concurrency accepts, switches to a
// static read-only cursor or refuses, the forward-only select-list rewrite as
// the driver prepares it, and the key and expression column attributes the
// backend answers from the analysis.
#include "cursors/analysis_session.h"

namespace engine_test {
namespace {

class AnalysisSqlite : public AnalysisSession {
 protected:
  void SetUp() override {
    EngineSession::SetUp();
    std::string cs = std::string("DRIVER=") + test_support::kSqliteDriver + ";Database=" + dir.file("a.db");
    ASSERT_EQ(Connect(cs, &hConn), ER_SUCCESS) << Errors(hServer);
    AllowDynamic();
    for (const char* ddl :
         {"CREATE TABLE nk (a INTEGER, b VARCHAR(10), n TEXT)", "CREATE TABLE nk2 (c INTEGER, d VARCHAR(10))",
          "INSERT INTO nk VALUES (1, 'x', 'long')", "INSERT INTO nk2 VALUES (1, 'y')"})
      ASSERT_EQ(Exec(hConn, ddl), ER_SUCCESS) << ddl;
  }
};

TEST_F(AnalysisSqlite, ScrollableCursorsHoldNoLongDataBack) {
  struct Case {
    sgn32 type, parse;
    int deferAfter;
  } cases[] = {{KS, 0, 0}, {DYN, 0, 0}, {ST, 0, 0}, {FO, 0, 1}, {FO, 1, 1}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.type);
    handle_t h = Cursor(k.type, RO, 0, k.parse);
    const char* sql = "SELECT a, n FROM nk UNION SELECT c, d FROM nk2";
    SCs_InnerDRV()->ops->prepare(h, const_cast<char*>(sql));
    State(h)->bDeferLongData = 1;
    // Even a statement that is then refused clears it.
    scs_p_Prepare(State(h), sql);
    EXPECT_EQ(State(h)->bDeferLongData, k.deferAfter);
    engine.ops().endCursor(h);
  }
}

TEST_F(AnalysisSqlite, ForwardOnlyRewrite) {
  struct Case {
    const char* sql;
    const char* prepared;  // what the driver holds afterwards
    const char* attrs;     // per column: k a key column, e an expression, - neither
  } cases[] = {
      // The table's key (the driver's rowid) is appended after the list.
      {"SELECT a, b FROM nk", "SELECT  \"a\", \"b\", _ROWID_ FROM nk      ", "--k"},
      // A bare star is written out, and no key is added.
      {"SELECT * FROM nk", "SELECT  \"a\", \"b\", \"n\" FROM nk      ", "---"},
      {"SELECT nk.*, a + 1 FROM nk", "SELECT  \"a\", \"b\", \"n\", a + 1, _ROWID_ FROM nk      ", "---ek"},
      {"SELECT x.*, y.d FROM nk x, nk2 y WHERE x.a = y.c",
       "SELECT  x.\"a\", x.\"b\", x.\"n\", y.\"d\", x._ROWID_, y._ROWID_ FROM nk  x, nk2  y WHERE x.a = y.c  "
       "   ",
       "----kk"},
      // A renamed column keeps its name.
      {"SELECT nk2.*, a AS z FROM nk, nk2",
       "SELECT  \"nk2\".\"c\", \"nk2\".\"d\", a AS z, \"nk\"._ROWID_, \"nk2\"._ROWID_ FROM nk, nk2      ",
       "---kk"},
      // Keys would change the rows of these: nothing is added.
      {"SELECT DISTINCT b FROM nk", "SELECT DISTINCT b FROM nk", "-"},
      {"SELECT b, count(*) FROM nk GROUP BY b", "SELECT b, count(*) FROM nk GROUP BY b", "-e"},
      {"SELECT count(*) FROM nk", "SELECT count(*) FROM nk", "e"},
      // The client's bytes are never read as a template.
      {"SELECT a, 'p\xff\x01\x01q' FROM nk", "SELECT  \"a\", 'p\xff\x01\x01q', _ROWID_ FROM nk      ", "-ek"},
      // Marker bytes in the client's text: the statement stays as written.
      {"SELECT a, 'p\x01\x01\x01q' FROM nk", "SELECT a, 'p\x01\x01\x01q' FROM nk", "-e"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.sql);
    handle_t h = Cursor(FO, RO, 0, 0, 1);
    ASSERT_EQ(Prepare(h, k.sql), ER_SUCCESS) << Errors(h);
    EXPECT_EQ(Prepared(h), k.prepared);
    EXPECT_NE(State(h)->f_state & SCCL_ANALYSED, 0);
    EXPECT_EQ(KeyExprAttrs(h), k.attrs);
    // The rewritten statement runs.
    ASSERT_EQ(engine.ops().execute(h), ER_SUCCESS) << Errors(h);
    EXPECT_EQ(FetchAll(h).size(), 1u);
    engine.ops().endCursor(h);
  }
}

}  // namespace
}  // namespace engine_test
