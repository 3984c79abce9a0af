// Prepare-time analysis in front of the real backend and the SQLite driver:
// which statements each cursor type and concurrency accepts, switches to a
// static read-only cursor or refuses, the forward-only select-list rewrite as
// the driver prepares it, and the key and expression column attributes the
// backend answers from the analysis.
#include <map>

#include "cursors/analysis.h"
#include "cursors/engine_session.h"
#include "util/log.h"

namespace engine_test {
namespace {

std::vector<std::string>& LogLines() {
  static std::vector<std::string> lines;
  return lines;
}

struct LogCapture {
  LOG* sink;
  LogCapture() {
    LogLines().clear();
    sink = log_open_callback(
        [](LOG*, int level, char* text) {
          if (level == LOG_DEBUG) LogLines().push_back(text);
        },
        nullptr, 7, -1, 0);
  }
  ~LogCapture() {
    log_close(sink);
    free(sink);
  }
  int Count(const std::string& s) const {
    int n = 0;
    for (auto& l : LogLines())
      if (l.find(s) != std::string::npos) n++;
    return n;
  }
};

const char* const kToStatic = "scs_p_ChangeCursorType: Switched to static cursor";
const char* const kToReadOnly = "scs_p_ChangeCursorType: Switched to read-only concurrency";

class AnalysisSqlite : public EngineSession {
 protected:
  handle_t hConn = 0;
  void SetUp() override {
    EngineSession::SetUp();
    std::string cs = std::string("DRIVER=") + test_support::kSqliteDriver + ";Database=" + dir.file("a.db");
    ASSERT_EQ(Connect(cs, &hConn), ER_SUCCESS) << Errors(hServer);
    // A client that fetches with the extended rowset calls may ask for dynamic cursors.
    sgn32 v = 0;
    ASSERT_EQ(engine.ops().getDrvParameter(hConn, DRVP_CONN_XFETCH2, &v, 4, nullptr), ER_SUCCESS);
    for (const char* ddl :
         {"CREATE TABLE nk (a INTEGER, b VARCHAR(10), n TEXT)", "CREATE TABLE nk2 (c INTEGER, d VARCHAR(10))",
          "INSERT INTO nk VALUES (1, 'x', 'long')", "INSERT INTO nk2 VALUES (1, 'y')"})
      ASSERT_EQ(Exec(hConn, ddl), ER_SUCCESS) << ddl;
  }
  TSCCL* State(handle_t h) { return &ODBC_CursorRec(h)->st_sccl; }
  // A cursor with the client's options set through the backend, as the client does.
  handle_t Cursor(sgn32 type, sgn32 conc, sgn32 ksSize = 0, sgn32 parse = 0, sgn32 append = 0) {
    handle_t h = NewCursor(hConn);
    drv_ops& inner = *SCs_InnerDRV()->ops;
    if (type) {
      EXPECT_EQ(inner.setDrvParameter(h, DRVP_STMT_CURSOR_TYPE, &type), ER_SUCCESS);
    }
    if (conc != 1) {
      EXPECT_EQ(inner.setDrvParameter(h, DRVP_STMT_CONCURRENCY, &conc), ER_SUCCESS);
    }
    if (ksSize) {
      EXPECT_EQ(inner.setDrvParameter(h, DRVP_STMT_KEYSET_SIZE, &ksSize), ER_SUCCESS);
    }
    if (parse) {
      EXPECT_EQ(inner.setDrvParameter(h, DRVP_STMT_PARSE_FORWARD_ONLY, &parse), ER_SUCCESS);
    }
    if (append) {
      EXPECT_EQ(inner.setDrvParameter(h, DRVP_STMT_SELECT_APPEND_KEYS, &append), ER_SUCCESS);
    }
    EXPECT_EQ(State(h)->CursType, type);
    EXPECT_EQ(State(h)->ConcType, conc);
    return h;
  }
  // The prepare step: the backend's prepare, then the analysis. A statement
  // the driver refuses still reaches the analysis here, so that the
  // analysis's own refusals are seen.
  errcode_t Prepare(handle_t h, const std::string& sql) {
    SCs_InnerDRV()->ops->prepare(h, const_cast<char*>(sql.c_str()));
    return scs_p_Prepare(State(h), sql.c_str());
  }
  std::string Prepared(handle_t h) {
    const char* s = ODBC_CursorRec(h)->request.original;
    return s ? s : "";
  }
};

constexpr sgn32 FO = 0, KS = 1, DYN = 2, ST = 3;
constexpr sgn32 RO = 1, LOCK = 2, VALUES = 4;
enum Outcome { ACCEPT, SWITCH, REFUSE };

TEST_F(AnalysisSqlite, DecisionTable) {
  struct Case {
    const char* what;
    const char* before;  // prepared first on the same cursor, or null
    const char* sql;
    sgn32 type, conc, ksSize, parse, append;
    Outcome outcome;
    int rc;  // for REFUSE
  } cases[] = {
      // One table without keys: keyed cursors become static read-only.
      {"no keys, keyset", nullptr, "SELECT a, b FROM nk", KS, LOCK, 0, 0, 0, SWITCH, 0},
      {"no keys, mixed", nullptr, "SELECT a, b FROM nk ORDER BY b", KS, RO, 10, 0, 0, SWITCH, 0},
      {"no keys, dynamic", nullptr, "SELECT a, b FROM nk", DYN, VALUES, 0, 0, 0, SWITCH, 0},
      {"no keys, static values", nullptr, "SELECT a, b FROM nk", ST, VALUES, 0, 0, 0, SWITCH, 0},
      {"no keys, static read-only", nullptr, "SELECT a, b FROM nk", ST, RO, 0, 0, 0, ACCEPT, 0},
      {"join, keyset", nullptr, "SELECT a, c FROM nk, nk2 WHERE a = c", KS, RO, 0, 0, 0, SWITCH, 0},
      {"join, static lock", nullptr, "SELECT a, c FROM nk, nk2 WHERE a = c", ST, LOCK, 0, 0, 0, ACCEPT, 0},
      {"outer join, keyset", nullptr, "SELECT a, c FROM nk LEFT OUTER JOIN nk2 ON a = c", KS, RO, 0, 0, 0,
       REFUSE, ER_OJ_STATIC_ONLY},
      {"outer join, dynamic", nullptr, "SELECT a, c FROM nk LEFT OUTER JOIN nk2 ON a = c", DYN, RO, 0, 0, 0,
       REFUSE, ER_OJ_STATIC_ONLY},
      {"outer join, static", nullptr, "SELECT a, c FROM nk LEFT OUTER JOIN nk2 ON a = c", ST, RO, 0, 0, 0,
       ACCEPT, 0},
      {"group by, keyset", nullptr, "SELECT a, count(*) FROM nk GROUP BY a", KS, RO, 0, 0, 0, REFUSE,
       ER_PRQST_GROUPBY_CLAUSE},
      // Dynamic cursors refuse them once keys are found; without keys they become static.
      {"group by, dynamic", nullptr, "SELECT a, count(*) FROM nk GROUP BY a", DYN, LOCK, 0, 0, 0, SWITCH, 0},
      {"group by, static", nullptr, "SELECT a, count(*) FROM nk GROUP BY a", ST, RO, 0, 0, 0, ACCEPT, 0},
      {"union, keyset", nullptr, "SELECT a FROM nk UNION SELECT c FROM nk2", KS, RO, 0, 0, 0, REFUSE,
       ER_PRQST_UNION_CLAUSE},
      {"union, dynamic", nullptr, "SELECT a FROM nk UNION SELECT c FROM nk2", DYN, RO, 0, 0, 0, SWITCH, 0},
      {"union, static", nullptr, "SELECT a FROM nk UNION SELECT c FROM nk2", ST, RO, 0, 0, 0, ACCEPT, 0},
      {"aggregate, keyset", nullptr, "SELECT count(*) FROM nk", KS, RO, 0, 0, 0, SWITCH, 0},
      {"aggregate, dynamic", nullptr, "SELECT max(a) FROM nk", DYN, LOCK, 0, 0, 0, SWITCH, 0},
      {"aggregate, static values", nullptr, "SELECT count(*) FROM nk", ST, VALUES, 0, 0, 0, ACCEPT, 0},
      {"distinct, keyset", nullptr, "SELECT DISTINCT a FROM nk", KS, LOCK, 0, 0, 0, SWITCH, 0},
      {"distinct, dynamic", nullptr, "SELECT DISTINCT a FROM nk", DYN, RO, 0, 0, 0, SWITCH, 0},
      {"distinct, static values", nullptr, "SELECT DISTINCT a FROM nk", ST, VALUES, 0, 0, 0, SWITCH, 0},
      {"distinct, static read-only", nullptr, "SELECT DISTINCT a FROM nk", ST, RO, 0, 0, 0, ACCEPT, 0},
      {"numeric order by", nullptr, "SELECT b, a FROM nk ORDER BY 2", ST, RO, 0, 0, 0, ACCEPT, 0},
      {"order by beyond the list", nullptr, "SELECT a FROM nk ORDER BY 2", KS, RO, 0, 0, 0, REFUSE,
       ER_SYNTAXIS},
      {"order by an expression's place", nullptr, "SELECT a + 1 FROM nk ORDER BY 1", DYN, RO, 0, 0, 0, REFUSE,
       ER_ORDR_ON_EXPRESSION},
      // The analyser takes no expression after ORDER BY: the driver describes it.
      {"order by an expression", nullptr, "SELECT a FROM nk ORDER BY a + 1", KS, LOCK, 0, 0, 0, SWITCH, 0},
      {"unparsable select, keyset", nullptr, "SELECT a FROM nk LIMIT 1", KS, LOCK, 0, 0, 0, SWITCH, 0},
      {"unparsable select, static", nullptr, "SELECT a FROM nk LIMIT 1", ST, RO, 0, 0, 0, ACCEPT, 0},
      {"unparsable select, forward-only", nullptr, "SELECT a FROM nk LIMIT 1", FO, RO, 0, 1, 0, ACCEPT, 0},
      {"undescribable select", nullptr, "SELECT FROM WHERE", KS, RO, 0, 0, 0, REFUSE, ER_SYNTAXIS},
      {"no tables, keyset", nullptr, "SELECT 1", KS, RO, 0, 0, 0, REFUSE, ER_SCRS_STATIC_ONLY},
      {"no tables, dynamic", nullptr, "SELECT 1", DYN, RO, 0, 0, 0, REFUSE, ER_SCRS_STATIC_ONLY},
      {"no tables, static", nullptr, "SELECT 1", ST, RO, 0, 0, 0, ACCEPT, 0},
      {"procedure, dynamic lock", nullptr, "{call p(1)}", DYN, LOCK, 0, 0, 0, SWITCH, 0},
      {"other statement, keyset", nullptr, "CREATE TABLE z (i INTEGER)", KS, RO, 0, 0, 0, SWITCH, 0},
      {"other statement, static", nullptr, "CREATE TABLE z (i INTEGER)", ST, VALUES, 0, 0, 0, SWITCH, 0},
      {"insert, keyset", nullptr, "INSERT INTO nk VALUES (2, 'y', 'z')", KS, LOCK, 0, 0, 0, ACCEPT, 0},
      {"positioned, fresh cursor", nullptr, "UPDATE nk SET a = 1 WHERE CURRENT OF c1", KS, LOCK, 0, 0, 0,
       ACCEPT, 0},
      {"positioned after a join", "SELECT a, c FROM nk, nk2", "DELETE FROM nk WHERE CURRENT OF c1", ST, RO, 0,
       0, 0, REFUSE, ER_PRQST_JOIN_CNDTN},
      {"positioned after group by", "SELECT a FROM nk GROUP BY a", "UPDATE nk SET a = 1 WHERE CURRENT OF c1",
       ST, RO, 0, 0, 0, REFUSE, ER_PRQST_GROUPBY_CLAUSE},
      {"positioned after union", "SELECT a FROM nk UNION SELECT c FROM nk2",
       "DELETE FROM nk WHERE CURRENT OF c1", ST, RO, 0, 0, 0, REFUSE, ER_PRQST_UNION_CLAUSE},
      {"positioned after an aggregate", "SELECT count(*) FROM nk", "DELETE FROM nk WHERE CURRENT OF c1", ST,
       RO, 0, 0, 0, REFUSE, ER_PRQST_SCALAR_AGGR},
      // Forward-only: analysed only with the options, and never switched in type.
      {"forward-only, no options", nullptr, "SELECT a FROM nk", FO, RO, 0, 0, 0, ACCEPT, 0},
      {"forward-only, parse", nullptr, "SELECT a FROM nk", FO, RO, 0, 1, 0, ACCEPT, 0},
      {"forward-only, append keys", nullptr, "SELECT a FROM nk, nk2", FO, RO, 0, 0, 1, ACCEPT, 0},
      {"forward-only procedure", nullptr, "{call p(1)}", FO, LOCK, 0, 1, 0, ACCEPT, 0},
      {"forward-only outer join", nullptr, "SELECT a FROM nk LEFT OUTER JOIN nk2 ON a = c", FO, RO, 0, 1, 0,
       ACCEPT, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    handle_t h = Cursor(k.type, k.conc, k.ksSize, k.parse, k.append);
    TSCCL* s = State(h);
    if (k.before) {
      ASSERT_EQ(Prepare(h, k.before), ER_SUCCESS) << Errors(h);
    }
    LogCapture log;
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
    EXPECT_EQ(Prepare(h, "INSERT INTO nk2 VALUES (9, 'n')"), ER_SUCCESS);
    EXPECT_EQ(s->CursType, k.type);
    EXPECT_EQ(s->ConcType, k.conc);
    EXPECT_EQ(s->f_state & SCCL_TYPE_SWITCHED, 0);
    engine.ops().endCursor(h);
  }
}

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

TEST_F(AnalysisSqlite, ForwardOnlyRewriteWithoutKeys) {
  struct Case {
    const char* sql;
    const char* prepared;    // what the driver holds afterwards
    std::vector<int> exprs;  // 1055 per column
  } cases[] = {
      // Nothing to add: the statement stays as the client wrote it.
      {"SELECT a, b FROM nk", "SELECT a, b FROM nk", {0, 0}},
      // A bare star and table wildcards are written out.
      {"SELECT * FROM nk", "SELECT  \"a\", \"b\", \"n\" FROM nk      ", {0, 0, 0}},
      {"SELECT nk.*, a + 1 FROM nk", "SELECT  \"a\", \"b\", \"n\", a + 1 FROM nk      ", {0, 0, 0, 1}},
      {"SELECT x.*, y.d FROM nk x, nk2 y WHERE x.a = y.c",
       "SELECT  x.\"a\", x.\"b\", x.\"n\", y.\"d\" FROM nk  x, nk2  y WHERE x.a = y.c     ",
       {0, 0, 0, 0}},
      // A renamed column keeps its name.
      {"SELECT nk2.*, a AS z FROM nk, nk2",
       "SELECT  \"nk2\".\"c\", \"nk2\".\"d\", a AS z FROM nk, nk2      ",
       {0, 0, 0}},
      // The client's bytes are never read as a template.
      {"SELECT nk.*, 'p\xff\x01\x01q' FROM nk",
       "SELECT  \"a\", \"b\", \"n\", 'p\xff\x01\x01q' FROM nk      ",
       {0, 0, 0, 1}},
      {"SELECT nk.*, 'p\x01\x01\x01q' FROM nk", "SELECT nk.*, 'p\x01\x01\x01q' FROM nk", {}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.sql);
    handle_t h = Cursor(FO, RO, 0, 0, 1);
    ASSERT_EQ(Prepare(h, k.sql), ER_SUCCESS) << Errors(h);
    EXPECT_EQ(Prepared(h), k.prepared);
    EXPECT_NE(State(h)->f_state & SCCL_ANALYSED, 0);
    if (!k.exprs.empty()) {
      uns16 nCols = 0, nAttribs = 0;
      Coldesc* desc = nullptr;
      ColAttrib* attrs = nullptr;
      ASSERT_EQ(engine.ops().colAttributes(h, &nCols, &nAttribs, &desc, &attrs), ER_SUCCESS) << Errors(h);
      ASSERT_EQ(nCols, k.exprs.size());
      std::map<int, int> key, expr;
      for (uns16 i = 0; i < nAttribs; i++) {
        if (attrs[i].attribId == 1053) key[attrs[i].col] = attrs[i].attribVal.u.l;
        if (attrs[i].attribId == 1055) expr[attrs[i].col] = attrs[i].attribVal.u.l;
      }
      for (uns16 c = 1; c <= nCols; c++) {
        EXPECT_EQ(key[c], 0) << c;
        EXPECT_EQ(expr[c], k.exprs[c - 1]) << c;
      }
      FreeColdesc(desc, nCols);
      for (uns16 i = 0; i < nAttribs; i++) ColAttribFree(&attrs[i]);
      free(attrs);
    }
    // The rewritten statement runs.
    ASSERT_EQ(engine.ops().execute(h), ER_SUCCESS) << Errors(h);
    EXPECT_EQ(FetchAll(h).size(), 1u);
    engine.ops().endCursor(h);
  }
}

}  // namespace
}  // namespace engine_test
