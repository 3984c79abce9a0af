// Identifier rules and table and column discovery over the fake backend's
// catalog answers: exact-name matching of pattern characters, the owner retry,
// quoting with doubled quote characters, and the small descriptor helpers.
#include <map>

#include "cursors/discovery.h"
#include "cursors/engine_fixture.h"
#include "fixtures/engine/fake_backend.h"
#include "fixtures/support/log_capture.h"
#include "model/drv_param_codes.h"

namespace engine_test {
namespace {

TEST(Identifiers, CaseConvertTable) {
  struct Case {
    const char* in;
    char quote;
    int qcase, icase, canQuote;
    const char* out;
  } cases[] = {
      {"abc", '"', 4, 1, 1, "\"ABC\""},  // upper rule, quoted form means the same
      {"abc", '"', 4, 3, 1, "abc"},      // sensitive unquoted: quoting would change it
      {"abc", '"', 4, 1, 0, "ABC"},      // may not quote
      {"abc", 0, 4, 1, 1, "ABC"},        // no quote character
      {"ABC", '"', 3, 2, 1, "\"abc\""},
      {"abc", '"', 1, 2, 1, "abc"},
      {"ABC", '"', 2, 1, 1, "ABC"},
      {"\"MiXed\"", '"', 3, 2, 1, "\"MiXed\""},  // quoted: kept by the quoted rule
      {"\"MiXed\"", '"', 2, 3, 0, "mixed"},
      {"\"a\"\"b\"", '"', 3, 1, 1, "\"a\"\"b\""},  // an embedded quote stays doubled
      {"\"a\"\"b\"", '"', 3, 1, 0, "a\"b"},
      {"", '"', 1, 1, 1, ""},
  };
  for (const Case& k : cases) {
    char buf[SCS_IDENT_MAX + 1];
    strcpy(buf, k.in);
    DBIdentCaseConvert(buf, k.quote, k.qcase, k.icase, 0, k.canQuote);
    EXPECT_STREQ(buf, k.out) << k.in << " q" << k.qcase << " i" << k.icase;
  }
  // UTF-8 aware on a Unicode connection.
  char buf[SCS_IDENT_MAX + 1] =
      "stra\xc3\x9f"
      "e\xc3\xa9";
  DBIdentCaseConvert(buf, 0, 4, 1, 1, 0);
  EXPECT_STREQ(buf,
               "STRA\xc3\x9f"
               "E\xc3\x89");
}

TEST(Identifiers, MatchTable) {
  struct Case {
    const char *a, *b;
    int qcase, icase, match;
  } cases[] = {
      {"\"ABC\"", "abc", 3, 1, 1}, {"\"abc\"", "abc", 3, 1, 0},
      {"abc", "ABC", 4, 4, 1},     {"\"Abc\"", "abc", 4, 1, 1},
      {"abc", "ABC", 3, 3, 0},     {"a_c", "abc", 4, 4, 0},
      {"", "", 1, 1, 0},           {"\"a\"\"b\"", "\"a\"\"b\"", 3, 3, 1},
  };
  for (const Case& k : cases)
    EXPECT_EQ(DBIdentMatch(k.a, k.b, '"', k.qcase, k.icase, 0), k.match) << k.a << " " << k.b;
}

TEST(Identifiers, QuotingDoublesTheQuoteCharacter) {
  struct Case {
    const char* in;
    char q;
    const char* quoted;
  } cases[] = {{"plain", '"', "\"plain\""},
               {"we\"ird", '"', "\"we\"\"ird\""},
               {"x\"\"", '"', "\"x\"\"\"\"\""},
               {"a`b", '`', "`a``b`"},
               {"a\"b", 0, "a\"b"}};
  for (const Case& k : cases) {
    char* q = scs_p_QuoteIdent(k.in, k.q);
    EXPECT_STREQ(q, k.quoted);
    char* back = scs_p_UnquoteIdent(q, k.q);
    EXPECT_STREQ(back, k.in);
    free(q);
    free(back);
  }
}

TEST(Descriptors, NameCellsByType) {
  char cell[64] = {0};
  const char* text;
  const wchar_t* wtext;
  size_t len;
  memcpy(cell,
         "\x03"
         "abcdef",
         7);
  ASSERT_EQ(scs_p_GetTblAttribs_GetNameCellAttr(cell, CTYPE_VCHR8, 10, &text, &wtext, &len), ER_SUCCESS);
  EXPECT_EQ(std::string(text, len), "abc");
  ASSERT_EQ(scs_p_GetTblAttribs_GetNameCellAttr(cell + 1, CTYPE_CHR, 4, &text, &wtext, &len), ER_SUCCESS);
  EXPECT_EQ(std::string(text, len), "abcd");
  const wchar_t w[] = {L'x', L'y', 0};
  memcpy(cell, w, sizeof w);
  ASSERT_EQ(scs_p_GetTblAttribs_GetNameCellAttr(cell, CTYPE_WVCHR, 12, &text, &wtext, &len), ER_SUCCESS);
  EXPECT_EQ(len, 2u);
  EXPECT_EQ(wtext[1], L'y');
  EXPECT_EQ(scs_p_GetTblAttribs_GetNameCellAttr(cell, CTYPE_SGN32, 4, &text, &wtext, &len), ER_GENERAL_ERROR);
  EXPECT_EQ(scs_p_GetTblAttribs_GetNameCellAttr(cell, CTYPE_WCHR, 4000, &text, &wtext, &len), ER_SUCCESS);
  EXPECT_EQ(len, size_t(SCS_IDENT_MAX));
}

TEST(Descriptors, QualifyFindAndBind) {
  SCColDesc d{};
  strcpy(d.col_name, "c");
  strcpy(d.tbl_name, "t");
  strcpy(d.owner_name, "o");
  struct Case {
    uns8 tables;
    const char* alias;
    const char* owner;
    const char* want;
  } cases[] = {{1, "a", "o", "c"}, {2, "a", "o", "a.c"}, {2, "", "o", "o.t.c"}, {2, "", "", "t.c"}};
  for (const Case& k : cases) {
    strcpy(d.tbl_alias, k.alias);
    strcpy(d.owner_name, k.owner);
    char* q = scs_p_QualifyCol(k.tables, &d);
    EXPECT_STREQ(q, k.want);
    free(q);
  }
  SCColDesc list[3]{};
  strcpy(list[0].col_name, "a");
  strcpy(list[1].col_name, "b");
  strcpy(list[1].tbl_name, "t1");
  strcpy(list[2].col_name, "b");
  strcpy(list[2].tbl_name, "t2");
  SCColDesc want{};
  strcpy(want.col_name, "b");
  unsigned at = 9;
  EXPECT_EQ(ColDesc_FindByName(list, 3, &want, &at), &list[1]);
  EXPECT_EQ(at, 1u);
  strcpy(want.tbl_name, "t2");
  EXPECT_EQ(ColDesc_FindByName(list, 3, &want, &at), &list[2]);
  strcpy(want.owner_name, "x");
  EXPECT_EQ(ColDesc_FindByName(list, 3, &want, nullptr), nullptr);

  struct TypeCase {
    sgn16 sql;
    int c;
  } types[] = {{SQL_WCHAR, SQL_C_WCHAR},
               {SQL_WLONGVARCHAR, SQL_C_WCHAR},
               {SQL_BIT, SQL_C_BIT},
               {SQL_TINYINT, SQL_C_TINYINT},
               {SQL_VARBINARY, SQL_C_BINARY},
               {SQL_INTEGER, SQL_C_LONG},
               {SQL_SMALLINT, SQL_C_SHORT},
               {SQL_FLOAT, SQL_C_DOUBLE},
               {SQL_DOUBLE, SQL_C_DOUBLE},
               {SQL_REAL, SQL_C_FLOAT},
               {9, 9},
               {93, 93},
               {SQL_BIGINT, SQL_C_CHAR},
               {SQL_NUMERIC, SQL_C_CHAR},
               {SQL_VARCHAR, SQL_C_CHAR},
               {-11, SQL_C_CHAR}};
  for (const TypeCase& t : types) {
    SCColDesc c{};
    c.SQLType = t.sql;
    c.precision = 10;
    c.scale = 2;
    Bindesc b{};
    BindDescFill(&c, &b);
    EXPECT_EQ(int(b.cType), t.c) << t.sql;
    EXPECT_EQ(b.usage, 1);
    EXPECT_EQ(b.precision, 10u);
  }
  TSCCL s{};
  Bindesc client = {sqltype_t(SQL_CHAR), CTYPE_VCHR, 5, 0, 1};
  s.pParamInfo = &client;
  s.nParamInfo = 1;
  ASSERT_EQ(scs_p_BindDescsAdd(&s, list, 2, 1), ER_SUCCESS);
  ASSERT_EQ(scs_p_BindDescsAdd(&s, list, 1), ER_SUCCESS);
  EXPECT_EQ(s.nBindDesc, 4);
  EXPECT_EQ(s.pBindDesc[2].sqlType, SQL_CHAR);
  free(s.pBindDesc);
}

// A catalog row of SQLTables (qualifier, owner, name) or SQLColumns.
const std::string NUL = "\x01NULL";

class DiscoveryTest : public ::testing::Test {
 protected:
  FakeBackend fake;
  EngineOver engine{fake.drv};
  handle_t hCursor = 0;
  TSCCL* s = nullptr;

  void TearDown() override { fake.EndAll(); }
  void SetUp() override {
    fake.texts = {{DRVP_CONN_INFO_TEXT + 29, "\""}, {DRVP_CONN_INFO_TEXT + 47, "alice"}};
    fake.ints = {{DRVP_CONN_INFO_INT + 28, 2}, {DRVP_CONN_INFO_INT + 93, 3}};
    ::Connect req{};
    handle_t c = 0;
    ASSERT_EQ(engine.ops().connect(fake.hServer, &req, &c), ER_SUCCESS);
    ASSERT_EQ(engine.ops().cursor(c, &hCursor), ER_SUCCESS);
    s = &ODBC_CursorRec(hCursor)->st_sccl;
  }
  static TableDesc Table(const char* owner, const char* name) {
    return TableDesc{strdup(""), strdup(owner), strdup(name), strdup("")};
  }
  static void Free(TableDesc& t) { TableDescDestroy(&t); }
};

TEST_F(DiscoveryTest, ExactNameAmongPatternMatches) {
  struct Case {
    const char* owner;
    const char* name;
    std::vector<std::vector<std::string>> rows;  // every row the pattern selected
    errcode_t rc;
    std::string wantOwner, wantName;
  } cases[] = {
      // '_' selects "tax1" too; only "t_x1" is the table.
      {"", "t_x1", {{NUL, "public", "tax1"}, {NUL, "public", "t_x1"}}, ER_SUCCESS, "\"public\"", "\"t_x1\""},
      {"",
       "p%",
       {{NUL, "public", "pq"}, {NUL, "public", "p%"}, {NUL, "public", "px"}},
       ER_SUCCESS,
       "\"public\"",
       "\"p%\""},
      // Lower-case rule: an unquoted name is folded and compared exactly.
      {"",
       "MiXed",
       {{NUL, "public", "MiXed"}, {NUL, "public", "mixed"}},
       ER_SUCCESS,
       "\"public\"",
       "\"mixed\""},
      {"",
       "\"MiXed\"",
       {{NUL, "public", "MiXed"}, {NUL, "public", "mixed"}},
       ER_SUCCESS,
       "\"public\"",
       "\"MiXed\""},
      // Only zero exact matches is an error.
      {"", "t_x1", {{NUL, "public", "tax1"}}, ER_TABLE_NOT_FOUND, "", ""},
      // A name with a quote character comes back quoted with it doubled.
      {"", "\"we\"\"ird\"", {{NUL, "s", "we\"ird"}}, ER_SUCCESS, "\"s\"", "\"we\"\"ird\""},
      // The owner given is matched exactly too.
      {"a_b", "t", {{NUL, "axb", "t"}, {NUL, "a_b", "t"}}, ER_SUCCESS, "\"a_b\"", "\"t\""},
      // A NULL owner cell keeps the owner as it was.
      {"", "t", {{NUL, NUL, "t"}}, ER_SUCCESS, "", "\"t\""},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    fake.catalogRows = k.rows;
    TableDesc t = Table(k.owner, k.name);
    fake.Take();
    EXPECT_EQ(scs_p_GetTblAttribs(s, &t, 1), k.rc);
    if (k.rc == ER_SUCCESS) {
      EXPECT_EQ(std::string(t.pszOwner), k.wantOwner.empty() ? std::string(k.owner) : k.wantOwner);
      EXPECT_EQ(std::string(t.pszName), k.wantName);
    }
    Free(t);
  }
  // A missing table leaves the agent's message on the client's cursor.
  EXPECT_GE(CountErrorMsgQ(&ODBC_CursorRec(hCursor)->pendingError), 1);
}

TEST_F(DiscoveryTest, OwnerRetryWithTheUserName) {
  fake.catalogRows = {{NUL, "alice", "t"}, {NUL, "public", "t"}};
  TableDesc t = Table("", "t");
  fake.Take();
  ASSERT_EQ(scs_p_GetTblAttribs(s, &t, 1), ER_SUCCESS);
  EXPECT_STREQ(t.pszOwner, "\"alice\"");
  const std::string aux = HandleText(s->hSCCurs);
  const std::string calls = fake.Take();
  EXPECT_NE(calls.find("ddTables " + aux + " null '%' 't'"), std::string::npos) << calls;
  EXPECT_NE(calls.find("ddTables " + aux + " null 'alice' 't'"), std::string::npos) << calls;
  Free(t);
  // Two owners, neither the user's: the retry finds none of its own.
  fake.catalogRows = {{NUL, "bob", "t"}, {NUL, "public", "t"}};
  t = Table("", "t");
  EXPECT_EQ(scs_p_GetTblAttribs(s, &t, 1), ER_TABLE_NOT_FOUND);
  Free(t);
  // Still two with the user's name (two catalogs): ambiguous.
  fake.catalogRows = {{"db1", "alice", "t"}, {"db2", "alice", "t"}};
  t = Table("", "t");
  EXPECT_EQ(scs_p_GetTblAttribs(s, &t, 1), ER_DUPL_TBL_NAME);
  Free(t);
  // Failures of the catalog call come back as they are.
  fake.fail["ddTables"] = {ER_GENERAL_ERROR};
  t = Table("", "t");
  EXPECT_EQ(scs_p_GetTblAttribs(s, &t, 1), ER_GENERAL_ERROR);
  Free(t);
}

// Each failing catalog step answers its error and logs its own lines at the
// error level; a format of two lines is logged as its first.
TEST_F(DiscoveryTest, CatalogFailuresLogTheirLines) {
  const errcode_t X = ER_DRV_NO_SUPPORT;
  struct Case {
    bool columns;  // scs_p_GetTblColDescs, else scs_p_GetTblAttribs
    std::vector<std::vector<std::string>> rows;
    std::map<std::string, std::vector<errcode_t>> fail;
    errcode_t rc;
    std::vector<const char*> lines;
  } cases[] = {
      {false, {{NUL, "s", "t"}}, {{"ddTables", {X}}}, X, {"scs_p_GetTblAttribs: DRV_DDTables failed (t)."}},
      {false,
       {{NUL, "s", "t"}},
       {{"fetch", {X}}},
       X,
       {"scs_p_GetTblDescs: Couldn't fetch table descriptors."}},
      {false, {}, {}, ER_TABLE_NOT_FOUND, {"scs_p_GetTblDescs: Table t does not exist."}},
      {false,
       {{"db1", "alice", "t"}, {"db2", "alice", "t"}},
       {},
       ER_DUPL_TBL_NAME,
       {"scs_p_GetTblDescs: Duplicate table name (t).",
        "Trying current username (alice) as owner qualifier."}},
      {true,
       {{NUL, "s", "t", "id", "4", "int4", "10", "4", "0"}},
       {{"ddColumns", {X}}},
       X,
       {"scs_p_GetTblColDescs: DRV_DDColumns failed."}},
      {true,
       {{NUL, "s", "t", "id", "4", "int4", "10", "4", "0"}},
       {{"fetch", {X}}},
       X,
       {"scs_p_GetTblColDescs: Couldn't fetch column descriptors."}},
  };
  test_support::LogCapture log;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines[0]);
    fake.catalogRows = c.rows;
    fake.fail = c.fail;
    TableDesc t = Table("", "t");
    alist_t* list = alist_Alloc(sizeof(SCColDesc));
    log.Clear();
    EXPECT_EQ(c.columns ? scs_p_GetTblColDescs(s, &t, 1, 0, list) : scs_p_GetTblAttribs(s, &t, 1), c.rc);
    for (const char* line : c.lines) EXPECT_TRUE(log.HasExact(LOG_ERR, line)) << log.Dump();
    alist_Dealloc(&list, SCColDescDestroy);
    Free(t);
  }
  fake.fail.clear();
  fake.catalogRows.clear();
}

TEST_F(DiscoveryTest, ColumnsOfTheExactTable) {
  // Rows of SQLColumns: qualifier, owner, table, column, type, type name, precision, length, scale.
  fake.catalogRows = {
      {NUL, "s", "t_1", "id", "4", "int4", "10", "4", "0"},
      {NUL, "s", "tx1", "other", "4", "int4", "10", "4", "0"},
      {NUL, "s", "t_1", "amount", "2", "numeric", "10", "12", "2"},
      {NUL, "s", "t_1", "name", "12", "varchar", "20", "20", "7"},
      {NUL, "s", "t_1", "notes", "-1", "text", "8190", "8190", "0"},
      {NUL, "s", "t_1", "we\"ird", "4", "int4", "10", "4", "0"},
  };
  for (int skipLong : {0, 1}) {
    TableDesc t = Table("\"s\"", "\"t_1\"");
    alist_t* list = alist_Alloc(sizeof(SCColDesc));
    fake.Take();
    ASSERT_EQ(scs_p_GetTblColDescs(s, &t, 1, skipLong, list), ER_SUCCESS);
    EXPECT_NE(fake.Take().find("ddColumns " + HandleText(s->hSCCurs) + " null 's' 't_1' '%'"),
              std::string::npos);
    std::vector<std::string> names;
    for (unsigned i = 0; i < list->cUsed; i++) {
      auto* d = static_cast<SCColDesc*>(alist_At(list, i));
      names.push_back(d->col_name);
      EXPECT_STREQ(d->tbl_name, "\"t_1\"");
      EXPECT_EQ(d->selectItemType, SIT_COL_NAME);
      if (std::string(d->col_name) == "\"amount\"") {
        EXPECT_EQ(d->precision, 10u);
        EXPECT_EQ(d->scale, 2);
      }
      if (std::string(d->col_name) == "\"name\"") {
        EXPECT_EQ(d->scale, 0) << "scale only for NUMERIC and DECIMAL";
      }
    }
    std::vector<std::string> want = {"\"id\"", "\"amount\"", "\"name\"", "\"notes\"", "\"we\"\"ird\""};
    if (skipLong) want.erase(want.begin() + 3);
    EXPECT_EQ(names, want);
    alist_Dealloc(&list, SCColDescDestroy);
    Free(t);
  }
  fake.catalogRows.clear();
  TableDesc t = Table("", "none");
  alist_t* list = alist_Alloc(sizeof(SCColDesc));
  EXPECT_EQ(scs_p_GetTblColDescs(s, &t, 1, 0, list), ER_GENERAL_ERROR);
  EXPECT_EQ(scs_p_GetTblColDescs(s, &t, 1, 0, nullptr), ER_GENERAL_ERROR);
  alist_Dealloc(&list, SCColDescDestroy);
  Free(t);
}

TEST_F(DiscoveryTest, ClientColumnDescriptions) {
  Coldesc* d = nullptr;
  EXPECT_EQ(scs_p_ColDescGet(s, 1, nullptr), ER_INVALID_ARGUMENT);
  EXPECT_EQ(scs_p_ColDescGet(s, 0, &d), ER_INVALID_COLUMN);
  EXPECT_EQ(scs_p_ColDescGet(s, 3, &d), ER_INVALID_COLUMN);
  ASSERT_EQ(scs_p_ColDescGet(s, 2, &d), ER_SUCCESS);
  EXPECT_EQ(d, &s->pColDesc[1]);
  EXPECT_EQ(fake.Count("describeColumns"), 1u) << "asked once, then kept";
}

}  // namespace
}  // namespace engine_test
