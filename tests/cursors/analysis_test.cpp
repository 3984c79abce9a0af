// Prepare-time analysis on hand-built cursor states: the refusals by request
// flags, ORDER BY resolution (positions, aliases, identifier case), key
// tagging and the compound key of dynamic cursors, the all-columns SELECT,
// the column attributes, and a type switch the backend refuses.
#include <array>
#include <map>

#include "cursors/analysis.h"
#include "cursors/engine_fixture.h"
#include "cursors/keyset.h"
#include "fixtures/engine/fake_backend.h"
#include "fixtures/support/log_capture.h"
#include "model/drv_param_codes.h"

namespace engine_test {
namespace {

using test_support::LogCapture;

SCColDesc Col(const char* col, const char* tbl = "", const char* owner = "", sgn16 type = 0) {
  SCColDesc d{};
  strcpy(d.col_name, col);
  strcpy(d.tbl_name, tbl);
  strcpy(d.owner_name, owner);
  d.SQLType = type;
  d.precision = type ? 10 : 0;
  d.selectItemType = SIT_COL_NAME;
  return d;
}

SCOrdrColDesc Ordr(const char* col, const char* tbl = "", const char* owner = "") {
  SCOrdrColDesc o{};
  strcpy(o.col_name, col);
  strcpy(o.tbl_name, tbl);
  strcpy(o.owner_name, owner);
  return o;
}

// A cursor state of its own, freed with everything the analysis built.
struct State {
  TSCCL s{};
  KeySet ks{};
  State() {
    SCR_Init(&s.Rqst);
    SCR_Init(&s.RqstAux);
    SCR_Init(&s.RqstAux2);
    s.idQuoteChar = '"';
    s.idIdentCase = 1;  // unquoted names are upper case
    s.idQIdentCase = 3;
    s.pKeySet = &ks;
    ks.pLS_KeyCols = alist_Alloc(sizeof(SCColDesc));
  }
  ~State() {
    scs_p_UnPrepare(&s);
    alist_Dealloc(&ks.pLS_KeyCols, SCColDescDestroy);
  }
  void Keys(std::initializer_list<SCColDesc> keys) {
    for (const SCColDesc& k : keys) alist_Add(ks.pLS_KeyCols, &k);
  }
  void Order(std::initializer_list<SCOrdrColDesc> cols) {
    s.pLS_OrdrCols = alist_Alloc(sizeof(SCOrdrColDesc));
    for (const SCOrdrColDesc& o : cols) alist_Add(s.pLS_OrdrCols, &o);
  }
  void TableCols(std::initializer_list<SCColDesc> cols) {
    s.pLS_TblCols = alist_Alloc(sizeof(SCColDesc));
    for (const SCColDesc& c : cols) alist_Add(s.pLS_TblCols, &c);
  }
  void Tables(std::initializer_list<std::array<const char*, 3>> tables) {  // owner, name, alias
    s.pLS_RefdTables = alist_Alloc(sizeof(TableDesc));
    for (auto& t : tables) {
      TableDesc d{strdup(""), strdup(t[0]), strdup(t[1]), strdup(t[2])};
      alist_Add(s.pLS_RefdTables, &d);
    }
  }
  SCColDesc& Key(unsigned i) { return *static_cast<SCColDesc*>(alist_At(ks.pLS_KeyCols, i)); }
  SCOrdrColDesc& OrdrCol(unsigned i) { return *static_cast<SCOrdrColDesc*>(alist_At(s.pLS_OrdrCols, i)); }
};

TEST(AnalysisRefusals, ByRequestFlags) {
  struct Case {
    uns16 flags;
    int positioned, keyset, dynamic;
  } cases[] = {
      {0x0, 0, 0, 0},
      {0x200, 0, ER_PRQST_RSLT_NOT_SLCT, 0},
      {0x20, ER_PRQST_JOIN_CNDTN, 0, 0},
      {0x20 | 0x8, ER_PRQST_JOIN_CNDTN, ER_PRQST_GROUPBY_CLAUSE, ER_PRQST_GROUPBY_CLAUSE},
      {0x8 | 0x10, ER_PRQST_GROUPBY_CLAUSE, ER_PRQST_GROUPBY_CLAUSE, ER_PRQST_GROUPBY_CLAUSE},
      {0x10 | 0x80, ER_PRQST_UNION_CLAUSE, ER_PRQST_UNION_CLAUSE, ER_PRQST_UNION_CLAUSE},
      {0x80, ER_PRQST_SCALAR_AGGR, 0, 0},
      {0x100 | 0x4 | 0x2, 0, 0, 0},
  };
  for (const Case& k : cases) {
    State st;
    st.s.SelectRqstFlags = k.flags;
    EXPECT_EQ(int(scs_p_PostndRqstValidate(&st.s)), k.positioned) << k.flags;
    EXPECT_EQ(int(scs_p_SelectRqstValidate_KSD(&st.s)), k.keyset) << k.flags;
    EXPECT_EQ(int(scs_p_SelectRqstValidate_Dyn(&st.s)), k.dynamic) << k.flags;
  }
}

TEST(AnalysisOrderBy, CompoundKeyOfDynamicCursors) {
  struct Case {
    const char* what;
    std::vector<SCOrdrColDesc> order;
    uns16 compound;
    std::vector<int> keyPos;      // iOrdrBy of keys k1, k2
    std::vector<int> orderIsKey;  // bIsKey per ORDER BY column
    int rc;
  } cases[] = {
      {"no order by", {}, 2, {0, 0}, {}, 0},
      {"keys in order", {Ordr("K1"), Ordr("K2")}, 2, {1, 2}, {1, 1}, 0},
      {"keys reversed", {Ordr("K2"), Ordr("K1")}, 2, {2, 1}, {1, 1}, 0},
      {"leading non-key", {Ordr("V"), Ordr("K1"), Ordr("K2"), Ordr("W")}, 3, {2, 3}, {0, 1, 1, 0}, 0},
      {"one key only", {Ordr("V"), Ordr("K2")}, 3, {0, 2}, {0, 1}, 0},
      {"no key", {Ordr("V"), Ordr("W")}, 4, {0, 0}, {0, 0}, 0},
      {"table named", {Ordr("K1", "T"), Ordr("K2", "U")}, 3, {1, 0}, {1, 0}, ER_GENERAL_ERROR},
      {"owner named", {Ordr("K1", "T", "O"), Ordr("K2", "T", "X")}, 3, {1, 0}, {1, 0}, ER_GENERAL_ERROR},
      // Named twice: the key keeps its first position and counts once.
      {"key twice", {Ordr("K1"), Ordr("K1"), Ordr("V"), Ordr("K2")}, 4, {1, 4}, {1, 1, 0, 1}, 0},
      {"unknown column", {Ordr("NOPE")}, 0, {0, 0}, {0}, ER_GENERAL_ERROR},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    State st;
    st.Keys({Col("K1", "T", "O", SQL_INTEGER), Col("K2", "T", "O", SQL_VARCHAR)});
    st.TableCols({Col("V", "T", "O", SQL_DOUBLE), Col("W", "T", "O", SQL_CHAR)});
    st.s.pLS_OrdrCols = alist_Alloc(sizeof(SCOrdrColDesc));
    for (const SCOrdrColDesc& o : k.order) alist_Add(st.s.pLS_OrdrCols, &o);
    st.s.SelectRqstFlags = k.order.empty() ? 0 : SCR_F_ORDER_BY;
    st.Key(0).iOrdrBy = st.Key(1).iOrdrBy = 7;  // left from an earlier statement
    ASSERT_EQ(int(scs_p_SelectRqstValidate_Dyn(&st.s)), k.rc);
    if (k.rc != ER_SUCCESS) continue;
    EXPECT_EQ(st.s.CompoundKeySize, k.compound);
    EXPECT_EQ(st.Key(0).iOrdrBy, k.keyPos[0]);
    EXPECT_EQ(st.Key(1).iOrdrBy, k.keyPos[1]);
    for (unsigned i = 0; i < k.orderIsKey.size(); i++) {
      EXPECT_EQ(st.OrdrCol(i).bIsKey, k.orderIsKey[i]) << i;
      // Types come from the key or from the table's column.
      if (i < k.compound) {
        EXPECT_NE(st.OrdrCol(i).SQLType, 0) << i;
      }
    }
    // Key tagging alone gives the same positions.
    st.Key(0).iOrdrBy = st.Key(1).iOrdrBy = 7;
    ASSERT_EQ(scs_p_TagKeyOrdrCols(&st.s), ER_SUCCESS);
    if (!k.order.empty()) {
      EXPECT_EQ(st.Key(0).iOrdrBy, k.keyPos[0]);
      EXPECT_EQ(st.Key(1).iOrdrBy, k.keyPos[1]);
    }
  }
}

TEST(AnalysisOrderBy, NamesPositionsAndAliases) {
  struct Case {
    const char* sql;
    std::vector<std::string> cols;  // orig | col | table | alias | owner of each ORDER BY column
    const char* rewritten;          // pszSQL afterwards (null: unchanged)
    int rc;
  } cases[] = {
      {"SELECT a, b FROM t ORDER BY b DESC, a", {"b|\"B\"|||", "a|\"A\"|||"}, nullptr, 0},
      {"SELECT a, \"b\" FROM t ORDER BY \"b\"", {"\"b\"|\"b\"|||"}, nullptr, 0},
      {"SELECT x.a FROM t x ORDER BY x.a", {"x.a|\"A\"|\"T\"|x|\"OWN\""}, nullptr, 0},
      {"SELECT x.a FROM t x, u ORDER BY u.c", {"u.c|\"C\"|\"U\"||"}, nullptr, 0},
      {"SELECT b, x.a FROM t x ORDER BY 2, 1",
       {"a|\"A\"|\"T\"|x|\"OWN\"", "b|\"B\"|||"},
       "SELECT  b, x.a FROM t  x     ORDER BY a , b  ",
       0},
      {"SELECT b, a FROM t x, u ORDER BY 2 DESC",
       {"a|\"A\"|||"},
       "SELECT  b, a FROM t  x, u     ORDER BY a DESC ",
       0},
      {"SELECT a FROM t ORDER BY 2", {}, nullptr, ER_SYNTAXIS},
      {"SELECT a + 1, b FROM t ORDER BY 2, 1", {}, nullptr, ER_ORDR_ON_EXPRESSION},
      {"SELECT count(*) FROM t ORDER BY 1", {}, nullptr, ER_ORDR_ON_EXPRESSION},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.sql);
    State st;
    if (strstr(k.sql, ", u"))
      st.Tables({{"\"OWN\"", "\"T\"", "x"}, {"", "\"U\"", ""}});
    else
      st.Tables({{"\"OWN\"", "\"T\"", "x"}});
    ASSERT_EQ(SCR_AnalyseSQL(&st.s.Rqst, k.sql, 0, 0), ER_SUCCESS);
    st.s.pszSQL = strdup(k.sql);
    st.s.SelectRqstFlags = st.s.Rqst.flags;
    ASSERT_EQ(int(scs_p_OrdrColsGet(&st.s)), k.rc);
    if (k.rc != ER_SUCCESS) continue;
    ASSERT_EQ(st.s.pLS_OrdrCols->cUsed, k.cols.size());
    for (unsigned i = 0; i < k.cols.size(); i++) {
      const SCOrdrColDesc& o = st.OrdrCol(i);
      EXPECT_EQ(std::string(o.orig_name) + "|" + o.col_name + "|" + o.tbl_name + "|" + o.tbl_alias + "|" +
                    o.owner_name,
                k.cols[i]);
    }
    EXPECT_EQ(std::string(st.s.pszSQL), k.rewritten ? k.rewritten : k.sql);
    EXPECT_EQ((st.s.SelectRqstFlags & SCR_F_NUMERIC_ORDER_BY) != 0, k.rewritten != nullptr);
    if (strstr(k.sql, "DESC")) {
      EXPECT_EQ(st.OrdrCol(0).sort_direction, SORT_DESC);
    }
  }
}

TEST(AnalysisOrderBy, OraclePseudoColumnsStayUnquoted) {
  State st;
  st.s.pszDbmsName = strdup("Oracle");
  st.Tables({{"", "\"T\"", ""}});
  ASSERT_EQ(SCR_AnalyseSQL(&st.s.Rqst, "SELECT a FROM t ORDER BY rowid, a", 0, 0), ER_SUCCESS);
  st.s.SelectRqstFlags = st.s.Rqst.flags;
  ASSERT_EQ(scs_p_OrdrColsGet(&st.s), ER_SUCCESS);
  EXPECT_STREQ(st.OrdrCol(0).col_name, "ROWID");
  EXPECT_STREQ(st.OrdrCol(1).col_name, "\"A\"");
  free(st.s.pszDbmsName);
}

TEST(AnalysisRewrite, AllColumnsSelect) {
  struct Case {
    bool twoTables;
    const char* sql;
    const char* want;
  } cases[] = {
      {false, "SELECT a FROM t WHERE a > 1 ORDER BY a",
       "SELECT  \"A\", \"B\" FROM t WHERE a > 1    ORDER BY a  "},
      {false, "SELECT DISTINCT a FROM t", "SELECT DISTINCT \"A\", \"B\" FROM t      "},
      {true, "SELECT x.a, u.c FROM t x, u WHERE x.a = u.c",
       "SELECT  x.\"A\", x.\"B\", \"U\".\"C\" FROM t  x, u WHERE x.a = u.c     "},
      // The client's bytes are copied, never expanded.
      {false, "SELECT a FROM t WHERE b = '\xff\x01\x01'",
       "SELECT  \"A\", \"B\" FROM t WHERE b = '\xff\x01\x01'     "},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.sql);
    State st;
    SCColDesc a = Col("\"A\"", "\"T\""), b = Col("\"B\"", "\"T\""), c = Col("\"C\"", "\"U\"");
    strcpy(a.tbl_alias, "x");
    strcpy(b.tbl_alias, "x");
    if (k.twoTables) {
      st.Tables({{"", "\"T\"", "x"}, {"", "\"U\"", ""}});
      st.TableCols({a, b, c});
    } else {
      st.Tables({{"", "\"T\"", ""}});
      st.TableCols({a, b});
    }
    SC_Request r;
    SCR_Init(&r);
    ASSERT_EQ(scs_p_AllColSelectStmtBld(&st.s, k.sql, &r), ER_SUCCESS);
    EXPECT_STREQ(r.translated, k.want);
    SCR_Destroy(&r);
  }
  // A statement that does not parse is refused, its text logged.
  State st;
  SC_Request r;
  SCR_Init(&r);
  LogCapture log;
  EXPECT_EQ(scs_p_AllColSelectStmtBld(&st.s, "SELECT FROM", &r), ER_SYNTAXIS);
  EXPECT_TRUE(log.HasExact(LOG_DEBUG, "SCR_AnalyseSQL failed: SELECT FROM")) << log.Dump();
  SCR_Destroy(&r);
}

// A table wildcard naming no table of the statement: the walk goes on, the
// name (case converted) is logged and the answer is a general error.
TEST(AnalysisColumns, WildcardOfAnUnknownTable) {
  State st;
  st.s.idQuoteChar = 0;
  ASSERT_EQ(SCR_AnalyseSQL(&st.s.Rqst, "SELECT x.*, A FROM T", 0, 0), ER_SUCCESS);
  st.Tables({{"", "T", ""}});
  alist_t* list = alist_Alloc(sizeof(SCColDesc));
  LogCapture log;
  EXPECT_EQ(scs_p_SelectColsGet(&st.s, list, nullptr), ER_GENERAL_ERROR);
  EXPECT_TRUE(log.HasExact(LOG_DEBUG, "scs_p_SelectColsGet: Unable to find descriptor for table/alias X"))
      << log.Dump();
  EXPECT_EQ(list->cUsed, 1u) << "the column after it is still listed";
  alist_Dealloc(&list, SCColDescDestroy);
}

TEST(AnalysisColumns, AttributesFromTheSelectList) {
  State st;
  st.s.pLS_SelectCols = alist_Alloc(sizeof(SCColDesc));
  SCColDesc key = Col("\"ID\"", "\"T\"", "\"O\""), other = Col("\"V\"", "\"T\"", "\"O\""), expr{};
  strcpy(expr.col_name, "V + 1");
  expr.selectItemType = SIT_EXPR;
  for (const SCColDesc& c : {other, key, expr}) alist_Add(st.s.pLS_SelectCols, &c);
  st.Keys({key});
  // The backend's layout: per attribute, the default then one entry per column.
  const uns16 nCols = 3, perAttrib = nCols + 1;
  const sgn16 ids[] = {11, -1053, -13, -1055};
  std::vector<ColAttrib> attrs(4 * perAttrib);
  for (unsigned a = 0; a < 4; a++)
    for (uns16 c = 0; c <= nCols; c++) {
      ColAttrib& e = attrs[a * perAttrib + c];
      e.col = c;
      e.attribId = c ? ids[a] : sgn16(ids[a] < 0 ? -ids[a] : ids[a]);
      e.attribVal.attribType = ATTR_SGN32;
      e.attribVal.u.l = 42;
    }
  auto run = [&] {
    for (uns16 c = 1; c <= nCols; c++)
      EXPECT_EQ(scs_p_ColGetInfo(&st.s, c, nullptr, 0, perAttrib, uns16(attrs.size()), attrs.data()),
                ER_SUCCESS);
  };
  // Nothing is answered until the select list is known.
  run();
  EXPECT_EQ(attrs[perAttrib + 2].attribId, -1053);
  st.s.f_state = SCCL_ANALYSED;
  run();
  // Column 4 does not exist: nothing happens.
  EXPECT_EQ(scs_p_ColGetInfo(&st.s, 4, nullptr, 0, perAttrib, uns16(attrs.size()), attrs.data()), ER_SUCCESS);
  const int isKey[] = {0, 1, 0}, isExpr[] = {0, 0, 1};
  for (uns16 c = 1; c <= nCols; c++) {
    EXPECT_EQ(attrs[c].attribVal.u.l, 42) << "other attributes stay";
    EXPECT_EQ(attrs[2 * perAttrib + c].attribId, -13);
    EXPECT_EQ(attrs[perAttrib + c].attribId, 1053);
    EXPECT_EQ(attrs[perAttrib + c].attribVal.u.l, isKey[c - 1]) << c;
    EXPECT_EQ(attrs[3 * perAttrib + c].attribId, 1055);
    EXPECT_EQ(attrs[3 * perAttrib + c].attribVal.u.l, isExpr[c - 1]) << c;
  }
  EXPECT_EQ(attrs[perAttrib].attribVal.u.l, 42) << "the column-0 default stays";
  // Base-column names for a description.
  Coldesc d{};
  d.columnName = strdup("label");
  ASSERT_EQ(scs_p_ColGetInfo(&st.s, 2, &d, 0x1 | 0x2 | 0x4, 0, 0, nullptr), ER_SUCCESS);
  EXPECT_STREQ(d.columnName, "\"ID\"");
  EXPECT_STREQ(d.tableName, "\"T\"");
  EXPECT_STREQ(d.ownerName, "\"O\"");
  EXPECT_EQ(d.qualifierName, nullptr);
  free(d.columnName);
  free(d.tableName);
  free(d.ownerName);
}

// An engine cursor over the fake backend.
class FakeCursor : public ::testing::Test {
 protected:
  FakeBackend fake;
  EngineOver engine{fake.drv};
  handle_t h = 0;
  TSCCL* s = nullptr;
  void SetUp() override {
    ::Connect req{};
    handle_t c = 0;
    ASSERT_EQ(engine.ops().connect(fake.hServer, &req, &c), ER_SUCCESS);
    ASSERT_EQ(engine.ops().cursor(c, &h), ER_SUCCESS);
    s = &ODBC_CursorRec(h)->st_sccl;
  }
  void TearDown() override { fake.EndAll(); }
};

TEST_F(FakeCursor, TypeSwitchRefusedByTheBackend) {
  LogCapture log;
  struct Case {
    sgn32 type, conc;
    std::vector<errcode_t> answers;
    int rc;
    sgn32 typeAfter, concAfter;
    const char* calls;
    const char* log;
  } cases[] = {
      {1,
       2,
       {},
       ER_SUCCESS,
       3,
       1,
       "setDrvParameter k0 32030006 3; setDrvParameter k0 32030007 1",
       "scs_p_ChangeCursorType: Switched to read-only concurrency"},
      {1,
       1,
       {ER_GENERAL_ERROR},
       ER_DRV_NOT_CAPABLE,
       1,
       1,
       "setDrvParameter k0 32030006 3",
       "scs_p_ChangeCursorType: Couldn't switch to static cursor"},
      {2,
       4,
       {ER_SUCCESS, ER_GENERAL_ERROR},
       ER_DRV_NOT_CAPABLE,
       3,
       4,
       "setDrvParameter k0 32030006 3; setDrvParameter k0 32030007 1",
       "scs_p_ChangeCursorType: Couldn't switch toread-only concurrency"},
      {0,
       2,
       {},
       ER_SUCCESS,
       0,
       1,
       "setDrvParameter k0 32030007 1",
       "scs_p_ChangeCursorType: Switched to read-only concurrency"},
      {3, 1, {}, ER_SUCCESS, 3, 1, "", nullptr},
  };
  for (const Case& k : cases) {
    s->CursType = k.type;
    s->ConcType = k.conc;
    s->f_state = 0;
    fake.fail["setDrvParameter"] = k.answers;
    fake.Take();
    log.Clear();
    EXPECT_EQ(int(scs_p_ChangeCursorType(s)), k.rc);
    EXPECT_EQ(fake.Take(), k.calls);
    EXPECT_EQ(s->CursType, k.typeAfter);
    EXPECT_EQ(s->ConcType, k.concAfter);
    EXPECT_EQ(s->CursTypeOrig, k.type);
    EXPECT_EQ(s->ConcTypeOrig, k.conc);
    EXPECT_EQ(k.log && log.HasExact(LOG_DEBUG, k.log), k.log != nullptr) << k.calls << log.Dump();
    EXPECT_EQ(log.HasExact(LOG_DEBUG, "scs_p_ChangeCursorType: Switched to static cursor"),
              k.typeAfter != k.type);
  }
}

TEST_F(FakeCursor, AuxCursorsMadeAtTheFirstAnalysedPrepare) {
  s->CursType = SQL_CURSOR_KEYSET_DRIVEN;
  // Neither auxiliary cursor can be made, then only the second.
  struct Case {
    std::vector<errcode_t> answers;
    bool first, second;
  } cases[] = {{{ER_NO_MEMORY}, false, false}, {{ER_SUCCESS, ER_NO_MEMORY}, true, false}};
  for (const Case& k : cases) {
    fake.fail["cursor"] = k.answers;
    EXPECT_EQ(scs_p_Prepare(s, "SELECT 1"), ER_GENERAL_ERROR);
    EXPECT_EQ(s->hSCCurs != 0, k.first);
    EXPECT_EQ(s->hSCCurs2 != 0, k.second);
  }
  // Made once: a later prepare uses the same two.
  fake.Take();
  EXPECT_EQ(scs_p_Prepare(s, "SELECT 1"), ER_SCRS_STATIC_ONLY);
  const handle_t first = s->hSCCurs, second = s->hSCCurs2;
  EXPECT_EQ(fake.Count("cursor "), 1u);
  EXPECT_EQ(scs_p_Prepare(s, "SELECT 2"), ER_SCRS_STATIC_ONLY);
  EXPECT_EQ(s->hSCCurs, first);
  EXPECT_EQ(s->hSCCurs2, second);
  EXPECT_EQ(fake.Count("cursor "), 1u);
}

FakeBackend* g_keyFake = nullptr;

// The key sources of the fake: recorded, failed when told, else answering
// the scripted catalog rows.
errcode_t KeySource(const char* op) {
  g_keyFake->calls.push_back(op);
  if (errcode_t e = g_keyFake->Forced(op)) return e;
  g_keyFake->catalog = true;
  g_keyFake->catalogAt = 0;
  return ER_SUCCESS;
}

// A failing catalog step of the prepare logs the step's own line at the
// error level and the analysis step that failed at the debug level.
TEST_F(FakeCursor, FailedAnalysisStepsLogTheirLines) {
  g_keyFake = &fake;
  fake.ops.ddSpecialColumns = [](handle_t, DDSpecialColumns*) { return KeySource("ddSpecialColumns"); };
  fake.ops.ddStatistics = [](handle_t, DDStatistics*) { return KeySource("ddStatistics"); };
  fake.ops.ddPrimaryKeys = [](handle_t, DDPrimaryKeys*) { return KeySource("ddPrimaryKeys"); };
  const errcode_t X = ER_DRV_NO_SUPPORT;
  // One catalog answer for every call: SQLTables, SQLPrimaryKeys and
  // SQLColumns each read the columns they need from it.
  fake.catalogRows = {{"\x01NULL", "S", "T", "A", "4", "int4", "10", "4", "0"}};
  struct Case {
    sgn32 type;
    const char* sql;
    std::map<std::string, std::vector<errcode_t>> fail;
    std::vector<std::pair<int, const char*>> lines;
  } cases[] = {
      {SQL_CURSOR_KEYSET_DRIVEN,
       "SELECT A FROM T",
       {{"ddSpecialColumns", {X}}},
       {{LOG_ERR, "KS_GetKeyColDescs_SpCols: DRV_DDSpecialColumns failed."},
        {LOG_DEBUG, "KS_GetKeyColDescs failed"}}},
      {SQL_CURSOR_FORWARD_ONLY,
       "SELECT A FROM T",
       {{"ddPrimaryKeys", {X}}, {"ddSpecialColumns", {X}}},
       {{LOG_ERR, "KS_GetKeyColDescs_PKeys: DRV_DDPrimaryKeys failed."},
        {LOG_DEBUG, "ks_GetKeyColDescs_PKeys failed"}}},
      {SQL_CURSOR_FORWARD_ONLY,
       "SELECT A FROM T",
       {{"ddColumns", {X}}},
       {{LOG_ERR, "scs_p_GetTblColDescs: DRV_DDColumns failed."},
        {LOG_DEBUG, "scs_p_GetTblColDescs failed"}}},
      // The star's columns are the second SQLColumns call.
      {SQL_CURSOR_FORWARD_ONLY,
       "SELECT * FROM T",
       {{"ddColumns", {ER_SUCCESS, X}}},
       {{LOG_ERR, "scs_p_GetTblColDescs: DRV_DDColumns failed."}, {LOG_DEBUG, "scs_p_SelectColsGet failed"}}},
  };
  LogCapture log;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.lines.back().second);
    s->CursType = k.type;
    s->ConcType = SQL_CONCUR_READ_ONLY;
    s->bSelectAppendKeys = 1;
    fake.fail = k.fail;
    log.Clear();
    EXPECT_EQ(scs_p_Prepare(s, k.sql), X) << log.Dump();
    for (const auto& [level, line] : k.lines) EXPECT_TRUE(log.HasExact(level, line)) << log.Dump();
  }
  fake.fail.clear();
  fake.catalogRows.clear();
  g_keyFake = nullptr;
}

}  // namespace
}  // namespace engine_test
