// Statement analysis: types, flags, tables, select items, sort columns, tags.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <utility>
#include <string>
#include <vector>

#include "sql/statement_analysis.h"
#include "sql_test_util.h"

using sqltest::squeeze;

namespace {

// An analysed request that frees itself.
struct Request {
  SC_Request r;
  errcode_t rc;
  explicit Request(const std::string& sql, int keepQual = 1) {
    SCR_Init(&r);
    rc = SCR_AnalyseSQL(&r, sql.c_str(), 0, keepQual);
  }
  ~Request() { SCR_Destroy(&r); }
  std::string text() { return r.pParsTree ? pt_Label(r.pParsTree) : ""; }
};

std::vector<TableDesc> tables(Request& q, int keepQual, errcode_t* rc = nullptr) {
  alist_t* l = alist_Alloc(sizeof(TableDesc));
  errcode_t e = SCR_TablesGet(&q.r, l, keepQual);
  if (rc) *rc = e;
  std::vector<TableDesc> out;
  static std::vector<std::string> keep;  // copies outlive the list
  for (unsigned i = 0; i < l->cUsed; i++) out.push_back(*static_cast<TableDesc*>(alist_At(l, i)));
  for (auto& t : out) {
    t.pszQualifier = strdup(t.pszQualifier);
    t.pszOwner = strdup(t.pszOwner);
    t.pszName = strdup(t.pszName);
    t.pszAlias = strdup(t.pszAlias);
  }
  alist_Dealloc(&l, TableDescDestroy);
  return out;
}

void freeTables(std::vector<TableDesc>& v) {
  for (auto& t : v) TableDescDestroy(&t);
}

TEST(StatementAnalysis, TypesAndOriginal) {
  struct Case {
    const char* sql;
    errcode_t rc;
    int type;
  } cases[] = {
      {"  \n\t SELECT a FROM t", ER_SUCCESS, EXPR_SELECT_STATEMENT},
      {"INSERT INTO t VALUES (1)", ER_SUCCESS, EXPR_INSERT_STATEMENT},
      {"UPDATE t SET a = 1", ER_SUCCESS, EXPR_UPDATE_STATEMENT_SEARCHED},
      {"UPDATE t SET a = 1 WHERE CURRENT OF c", ER_SUCCESS, EXPR_UPDATE_STATEMENT_POSITIONED},
      {"DELETE FROM t WHERE a = 1", ER_SUCCESS, EXPR_DELETE_STATEMENT_SEARCHED},
      {"DELETE FROM t WHERE CURRENT OF c", ER_SUCCESS, EXPR_DELETE_STATEMENT_POSITIONED},
      {"create table x (a int)", ER_SUCCESS, EXPR_OTHER},
      {"{call p}", ER_SUCCESS, EXPR_PROCCALL},
      {"SELECT a FROM", ER_SYNTAXIS, 0},
  };
  for (const auto& c : cases) {
    Request q(c.sql);
    EXPECT_EQ(q.rc, c.rc) << c.sql;
    EXPECT_EQ(q.r.reqType, c.type) << c.sql;
  }
  Request q("  \n SELECT a FROM t");
  EXPECT_STREQ(q.r.original, "SELECT a FROM t");
  EXPECT_EQ(q.r.translated, nullptr);
  Request bad("SELECT a FROM t WHERE");
  Request bad2("SELECT a b c");
  EXPECT_EQ(bad2.rc, ER_SYNTAXIS);
  EXPECT_STREQ(bad2.r.szParsErrMsg, "syntax error");
  EXPECT_STREQ(bad2.r.translated, "SELECT a b c^");
  EXPECT_EQ(bad2.r.pParsTree, nullptr);
}

TEST(StatementAnalysis, Flags) {
  struct Case {
    const char* sql;
    unsigned flags;
  } cases[] = {
      {"SELECT a FROM t", 0},
      {"SELECT a FROM t x, u", SCR_F_JOIN},
      {"SELECT a FROM t ORDER BY a", SCR_F_ORDER_BY},
      {"SELECT a, COUNT(*) FROM t LEFT OUTER JOIN u ON t.a = u.a GROUP BY a "
       "UNION SELECT b, 1 FROM v",
       SCR_F_GROUP_BY | SCR_F_UNION | SCR_F_AGGREGATE | SCR_F_OUTER_JOIN | SCR_F_JOIN},
      {"SELECT a FROM t WHERE a *= b", SCR_F_OUTER_JOIN},
      {"SELECT a FROM t UNION SELECT b FROM u ORDER BY 1", SCR_F_UNION | SCR_F_ORDER_BY},
      // clauses of derived tables and subqueries are not the statement's own
      {"SELECT a FROM (SELECT b FROM t GROUP BY b) x", 0},
      {"SELECT a FROM (SELECT b FROM t ORDER BY b) x", 0},
      // ORDER BY after a derived table that ends the FROM list orders the statement
      {"SELECT a FROM (SELECT b FROM t) x ORDER BY a", SCR_F_ORDER_BY},
      {"SELECT a FROM u, (SELECT b FROM t) AS x ORDER BY a, 2", SCR_F_ORDER_BY | SCR_F_JOIN},
      {"SELECT a FROM t UNION SELECT a FROM (SELECT b FROM u) x ORDER BY 1", SCR_F_UNION | SCR_F_ORDER_BY},
      {"SELECT a FROM t WHERE EXISTS (SELECT 1 FROM u, v)", 0},
      {"SELECT 1", 0},
      {"SELECT a FROM t WHERE b > (SELECT AVG(b) FROM t)", 0},
      {"SELECT (SELECT MAX(b) FROM u) FROM t", 0},
      {"SELECT a FROM t GROUP BY a HAVING COUNT(*) > 1", SCR_F_GROUP_BY | SCR_F_AGGREGATE},
      {"SELECT SUM(a) + 1 FROM t", SCR_F_AGGREGATE},
  };
  for (const auto& c : cases) {
    Request q(c.sql);
    ASSERT_EQ(q.rc, ER_SUCCESS) << c.sql;
    EXPECT_EQ(q.r.flags, c.flags) << c.sql;
  }
  Request ins("INSERT INTO t SELECT a FROM u, v GROUP BY a");
  EXPECT_EQ(ins.r.flags, 0);
}

TEST(StatementAnalysis, TableDescriptions) {
  struct Case {
    const char* from;
    int keepQual;
    const char *qual, *owner, *name, *alias;
  } cases[] = {
      {"t", 1, "", "", "t", ""},
      {"t AS x", 1, "", "", "t", "x"},
      {"a.b", 1, "", "a", "b", ""},
      {"o.t@lnk", 1, "", "o", "t", ""},
      {"t@lnk", 1, "", "", "t", ""},
      {"q:t", 1, "q", "", "t", ""},
      {"q:t", 0, "", "", "t", ""},
      {"q.o.t", 1, "q", "o", "t", ""},
      {"q.o.t", 0, "", "o", "t", ""},
      {"q:o.t", 1, "q", "o", "t", ""},
      {"a@b:c", 1, "a@b", "", "c", ""},
      {"a@b:c.d", 1, "a@b", "c", "d", ""},
      {"a@b:c.d", 0, "", "c", "d", ""},
      {"[my t] z", 1, "", "", "[my t]", "z"},
      // a quoted name directly followed by "@" is on a link too, not an alias
      {"\"my t\"@lnk", 1, "", "", "\"my t\"", ""},
      {"[t]@lnk z", 1, "", "", "[t]", "z"},
      // separators inside quoted names do not split them
      {"[my.t]", 1, "", "", "[my.t]", ""},
      {"[o.x].[t@y] AS z", 1, "", "[o.x]", "[t@y]", "z"},
      {"\"q:x\":t", 1, "\"q:x\"", "", "t", ""},
      {"`a@b`@lnk:o.t", 1, "`a@b`@lnk", "o", "t", ""},
      {"q..t", 1, "q", "", "t", ""},
  };
  for (const auto& c : cases) {
    Request q(std::string("SELECT a FROM ") + c.from, c.keepQual);
    ASSERT_EQ(q.rc, ER_SUCCESS) << c.from;
    auto v = tables(q, c.keepQual);
    ASSERT_EQ(v.size(), 1u) << c.from;
    EXPECT_STREQ(v[0].pszQualifier, c.qual) << c.from;
    EXPECT_STREQ(v[0].pszOwner, c.owner) << c.from;
    EXPECT_STREQ(v[0].pszName, c.name) << c.from;
    EXPECT_STREQ(v[0].pszAlias, c.alias) << c.from;
    freeTables(v);
  }
}

TEST(StatementAnalysis, TableListDoesNotEnterSubqueries) {
  Request q("SELECT a FROM t x, u WHERE a IN (SELECT b FROM v) AND EXISTS (SELECT 1 FROM w)");
  auto v = tables(q, 1);
  ASSERT_EQ(v.size(), 2u);
  EXPECT_STREQ(v[0].pszName, "t");
  EXPECT_STREQ(v[0].pszAlias, "x");
  EXPECT_STREQ(v[1].pszName, "u");
  EXPECT_STREQ(v[1].pszAlias, "");
  EXPECT_NE(q.r.flags & SCR_F_JOIN, 0);
  freeTables(v);

  Request one("SELECT 1");
  errcode_t rc;
  auto none = tables(one, 1, &rc);
  EXPECT_EQ(rc, ER_SUCCESS);
  EXPECT_TRUE(none.empty());
}

std::vector<SCColDesc> items(Request& q, errcode_t* rc = nullptr, std::vector<std::string>* texts = nullptr) {
  alist_t* l = alist_Alloc(sizeof(SCColDesc));
  errcode_t e = SCR_SelectColsGet(&q.r, l);
  if (rc) *rc = e;
  std::vector<SCColDesc> out;
  for (unsigned i = 0; i < l->cUsed; i++) {
    SCColDesc* c = static_cast<SCColDesc*>(alist_At(l, i));
    if (texts) texts->push_back(c->pszText ? c->pszText : "");
    out.push_back(*c);
    out.back().pszText = nullptr;
  }
  alist_Dealloc(&l, SCColDescDestroy);
  return out;
}

TEST(StatementAnalysis, SelectItemsByShape) {
  Request q(
      "SELECT CASE WHEN a = 1 THEN b END, c, t.*, o.u.d, (d), e + 1, (SELECT x FROM y), "
      "'z.*', -f, COUNT(*) FROM t");
  std::vector<std::string> texts;
  errcode_t rc;
  auto v = items(q, &rc, &texts);
  ASSERT_EQ(rc, ER_SUCCESS);
  ASSERT_EQ(v.size(), 10u);  // only the outer statement's own items
  const select_item_t want[] = {SIT_EXPR, SIT_COL_NAME, SIT_ALL_TBL_COLS, SIT_COL_NAME, SIT_EXPR,
                                SIT_EXPR, SIT_EXPR,     SIT_EXPR,         SIT_EXPR,     SIT_EXPR};
  for (size_t i = 0; i < v.size(); i++) EXPECT_EQ(v[i].selectItemType, want[i]) << i;
  EXPECT_STREQ(v[0].col_name, "CASE WHEN a = 1 THEN b END");
  EXPECT_EQ(texts[0], "CASE WHEN a = 1 THEN b END");
  EXPECT_STREQ(v[1].col_name, "c");
  EXPECT_STREQ(v[2].tbl_name, "t");
  EXPECT_STREQ(v[3].owner_name, "o");
  EXPECT_STREQ(v[3].tbl_name, "u");
  EXPECT_STREQ(v[3].col_name, "d");
  EXPECT_EQ(texts[7], "'z.*'");
  EXPECT_EQ(texts[1], "c");
  EXPECT_EQ(texts[2], "");  // a wildcard has no text

  // a column keeps its alias in the item's text
  Request aliased("SELECT t.a AS x, b y FROM t ORDER BY x");
  texts.clear();
  auto al = items(aliased, &rc, &texts);
  ASSERT_EQ(al.size(), 2u);
  EXPECT_EQ(al[0].selectItemType, SIT_COL_NAME);
  EXPECT_STREQ(al[0].tbl_name, "t");
  EXPECT_STREQ(al[0].col_name, "a");
  EXPECT_EQ(texts[0], "t.a AS x");
  EXPECT_EQ(al[1].selectItemType, SIT_COL_NAME);
  EXPECT_EQ(texts[1], "b  y");

  Request star("SELECT * FROM t");
  auto s = items(star);
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0].selectItemType, SIT_ALL_COLS);
}

TEST(StatementAnalysis, LongExpressionKeepsItsWholeText) {
  std::string expr = "a";
  for (int i = 0; i < 300; i++) expr += " + a";
  Request q("SELECT " + expr + " FROM t");
  std::vector<std::string> texts;
  auto v = items(q, nullptr, &texts);
  ASSERT_EQ(v.size(), 1u);
  EXPECT_EQ(v[0].selectItemType, SIT_EXPR);
  EXPECT_EQ(strlen(v[0].col_name), 508u);
  EXPECT_EQ(texts[0], expr);
}

std::vector<SCOrdrColDesc> sortCols(Request& q, errcode_t* rc) {
  alist_t* l = alist_Alloc(sizeof(SCOrdrColDesc));
  *rc = SCR_OrderingColsGet(&q.r, l);
  std::vector<SCOrdrColDesc> out;
  for (unsigned i = 0; i < l->cUsed; i++) out.push_back(*static_cast<SCOrdrColDesc*>(alist_At(l, i)));
  alist_Dealloc(&l, nullptr);
  return out;
}

TEST(StatementAnalysis, SortColumns) {
  Request q("SELECT a, b FROM t ORDER BY o.t.a, 2 DESC");
  errcode_t rc;
  auto v = sortCols(q, &rc);
  ASSERT_EQ(rc, ER_SUCCESS);
  ASSERT_EQ(v.size(), 2u);
  EXPECT_STREQ(v[0].orig_name, "o.t.a");
  EXPECT_STREQ(v[0].owner_name, "o");
  EXPECT_STREQ(v[0].tbl_name, "t");
  EXPECT_STREQ(v[0].col_name, "a");
  EXPECT_EQ(v[0].nColIndx, 0);
  EXPECT_EQ(v[0].sort_direction, SORT_ASC);
  EXPECT_EQ(v[1].nColIndx, 2);
  EXPECT_EQ(v[1].sort_direction, SORT_DESC);
  EXPECT_NE(q.r.flags & SCR_F_NUMERIC_ORDER_BY, 0);

  struct Case {
    const char* sql;
    errcode_t rc;
  } cases[] = {
      {"SELECT a FROM t ORDER BY 255", ER_SUCCESS},
      {"SELECT a FROM t ORDER BY 256", ER_SYNTAXIS},
      {"SELECT a FROM t ORDER BY 1000000000000000000000", ER_SYNTAXIS},
      {"SELECT a FROM t ORDER BY 0", ER_SYNTAXIS},
      {"SELECT a FROM t", ER_GENERAL_ERROR},
  };
  for (const auto& c : cases) {
    Request r(c.sql);
    errcode_t e;
    sortCols(r, &e);
    EXPECT_EQ(e, c.rc) << c.sql;
  }

  // the ORDER BY of a union is the last member's
  Request u("SELECT a FROM t UNION ALL SELECT b FROM u ORDER BY 1 DESC");
  auto w = sortCols(u, &rc);
  ASSERT_EQ(rc, ER_SUCCESS);
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0].nColIndx, 1);
}

TEST(StatementAnalysis, RelabelAndInvert) {
  Request q("SELECT a, b FROM t ORDER BY 2, a DESC");
  errcode_t rc;
  alist_t* l = alist_Alloc(sizeof(SCOrdrColDesc));
  ASSERT_EQ(SCR_OrderingColsGet(&q.r, l), ER_SUCCESS);
  strcpy(static_cast<SCOrdrColDesc*>(alist_At(l, 0))->orig_name, "t.b");
  ASSERT_EQ(SCR_RelabelNumericOrdrCols(&q.r, l), ER_SUCCESS);
  alist_Dealloc(&l, nullptr);
  EXPECT_EQ(squeeze(q.text()), "SELECT a, b FROM t ORDER BY t.b , a DESC");
  ASSERT_EQ(SCR_InvertSortOrder(&q.r), ER_SUCCESS);
  EXPECT_EQ(squeeze(q.text()), "SELECT a, b FROM t ORDER BY t.b DESC, a");
  ASSERT_EQ(SCR_InvertSortOrder(&q.r), ER_SUCCESS);
  EXPECT_EQ(squeeze(q.text()), "SELECT a, b FROM t ORDER BY t.b , a DESC");
  Request none("SELECT a FROM t");
  EXPECT_EQ(SCR_InvertSortOrder(&none.r), ER_GENERAL_ERROR);
  (void)rc;
}

TEST(StatementAnalysis, Tags) {
  const std::string M = SCR_TAG_MARKER;
  struct Case {
    const char* sql;
    errcode_t (*tag)(SC_Request*);
    std::string rebuilt;
    unsigned flags;
  } cases[] = {
      {"SELECT DISTINCT a, b FROM t WHERE x = 1", SCR_TagSelectList,
       "SELECT DISTINCT " + M + " FROM t WHERE x = 1", 0},
      {"SELECT a FROM t WHERE x = 1 OR y = 2", SCR_TagWhereClause,
       "SELECT a FROM t WHERE " + M + " AND (x = 1 OR y = 2)", SCR_F_WHERE},
      {"SELECT a FROM t", SCR_TagWhereClause, "SELECT a FROM t " + M, 0},
      {"SELECT a FROM t WHERE a IN (SELECT b FROM u WHERE c = 1)", SCR_TagWhereClause,
       "SELECT a FROM t WHERE " + M + " AND (a IN ( SELECT b FROM u WHERE c = 1 ))", SCR_F_WHERE},
      {"SELECT a FROM t ORDER BY a DESC", SCR_TagOrderByClause, "SELECT a FROM t ORDER BY a DESC" + M,
       SCR_F_ORDER_BY},
      {"SELECT a FROM t", SCR_TagOrderByClause, "SELECT a FROM t " + M, 0},
      {"SELECT a FROM t UNION SELECT b FROM u", SCR_TagOrderByClause,
       "SELECT a FROM t UNION SELECT b FROM u " + M, SCR_F_UNION},
      // the marker of an absent WHERE goes before the statement's ORDER BY,
      // also when that follows a derived table
      {"SELECT a FROM (SELECT a FROM t) x ORDER BY a", SCR_TagWhereClause,
       "SELECT a FROM ( SELECT a FROM t ) x " + M + " ORDER BY a", SCR_F_ORDER_BY},
      {"SELECT a FROM (SELECT a FROM t) x ORDER BY a", SCR_TagOrderByClause,
       "SELECT a FROM ( SELECT a FROM t ) x ORDER BY a " + M, SCR_F_ORDER_BY},
      {"SELECT a FROM (SELECT a FROM t ORDER BY a) x", SCR_TagOrderByClause,
       "SELECT a FROM ( SELECT a FROM t ORDER BY a ) x " + M, 0},
  };
  for (const auto& c : cases) {
    Request q(c.sql);
    ASSERT_EQ(c.tag(&q.r), ER_SUCCESS) << c.sql;
    EXPECT_EQ(squeeze(q.text()), c.rebuilt) << c.sql;
    EXPECT_EQ(q.r.flags, c.flags) << c.sql;
  }
}

TEST(StatementAnalysis, TagSpliceIsPlainText) {
  Request q("SELECT a FROM t WHERE b = 'x'");
  ASSERT_EQ(SCR_TagSelectList(&q.r), ER_SUCCESS);
  char* out = nullptr;
  // the new text is put in as it is, template bytes included
  ASSERT_EQ(SCR_TagSplice(pt_Label(q.r.pParsTree), "k, \xff\x01\x01 a", &out), ER_SUCCESS);
  EXPECT_EQ(squeeze(out), "SELECT k, \xff\x01\x01 a FROM t WHERE b = 'x'");
  free(out);
  EXPECT_EQ(SCR_TagSplice("no marker", "x", &out), ER_GENERAL_ERROR);
  EXPECT_EQ(out, nullptr);

  // a statement that already holds the marker bytes cannot be tagged
  Request m("SELECT a FROM t WHERE b = '\x01\x01\x01'");
  ASSERT_EQ(m.rc, ER_SUCCESS);
  EXPECT_EQ(SCR_TagSelectList(&m.r), ER_GENERAL_ERROR);
  EXPECT_EQ(SCR_TagWhereClause(&m.r), ER_GENERAL_ERROR);
  EXPECT_EQ(SCR_TagOrderByClause(&m.r), ER_GENERAL_ERROR);
}

TEST(StatementAnalysis, AnalysingAgainReplacesEverything) {
  SC_Request r;
  SCR_Init(&r);
  EXPECT_EQ(r.reqType, -1);
  EXPECT_EQ(SCR_AnalyseSQL(&r, "SELECT a FROM", 0, 1), ER_SYNTAXIS);
  EXPECT_EQ(SCR_AnalyseSQL(&r, "SELECT a FROM t ORDER BY a", 0, 1), ER_SUCCESS);
  EXPECT_EQ(r.translated, nullptr);
  EXPECT_EQ(r.szParsErrMsg, nullptr);
  EXPECT_EQ(r.flags, SCR_F_ORDER_BY);
  EXPECT_EQ(SCR_AnalyseSQL(&r, "SELECT a FROM t", 1, 1), ER_SUCCESS);
  EXPECT_EQ(r.flags, 0);
  SCR_Destroy(&r);
  EXPECT_EQ(r.reqType, -1);
  SCR_Destroy(&r);
  SCR_Destroy(nullptr);
}

// Every query and edit answers 15 when the request holds no SELECT tree.
TEST(StatementAnalysis, FunctionsRefuseRequestsWithoutSelect) {
  alist_t* tablesList = alist_Alloc(sizeof(TableDesc));
  alist_t* cols = alist_Alloc(sizeof(SCColDesc));
  alist_t* sorts = alist_Alloc(sizeof(SCOrdrColDesc));
  using Call = std::function<errcode_t(SC_Request*)>;
  const std::pair<const char*, Call> calls[] = {
      {"TablesGet", [&](SC_Request* r) { return SCR_TablesGet(r, tablesList, 1); }},
      {"SelectColsGet", [&](SC_Request* r) { return SCR_SelectColsGet(r, cols); }},
      {"OrderingColsGet", [&](SC_Request* r) { return SCR_OrderingColsGet(r, sorts); }},
      {"InvertSortOrder", SCR_InvertSortOrder},
      {"TagSelectList", SCR_TagSelectList},
      {"TagWhereClause", SCR_TagWhereClause},
      {"TagOrderByClause", SCR_TagOrderByClause},
      {"FlagOrderByClause", [](SC_Request* r) { return SCR_FlagOrderByClause(r, nullptr); }},
      {"FlagGroupByClause", SCR_FlagGroupByClause},
      {"FlagUnionClause", SCR_FlagUnionClause},
      {"FlagJoin", [](SC_Request* r) { return SCR_FlagJoin(r, 1); }},
      {"FlagScalarAggregate", SCR_FlagScalarAggregate},
  };
  Request update("UPDATE t SET a = 1 WHERE b = 2");
  Request failed("SELECT a FROM");
  SC_Request empty;
  SCR_Init(&empty);
  for (const auto& [name, call] : calls) {
    EXPECT_EQ(call(nullptr), ER_GENERAL_ERROR) << name;
    EXPECT_EQ(call(&empty), ER_GENERAL_ERROR) << name;
    EXPECT_EQ(call(&failed.r), ER_GENERAL_ERROR) << name;
    EXPECT_EQ(call(&update.r), ER_GENERAL_ERROR) << name;
  }
  EXPECT_EQ(SCR_FlagOuterJoin(&empty), ER_GENERAL_ERROR);
  EXPECT_EQ(tablesList->cUsed + cols->cUsed + sorts->cUsed, 0u);
  EXPECT_EQ(update.text(), "UPDATE t SET a = 1 WHERE b = 2");  // untouched
  alist_Dealloc(&tablesList, TableDescDestroy);
  alist_Dealloc(&cols, SCColDescDestroy);
  alist_Dealloc(&sorts, nullptr);
}

TEST(StatementAnalysis, FlagOrderByClauseGivesItsNode) {
  Request q("SELECT a FROM t UNION SELECT a FROM u ORDER BY a");
  PRSTR_NODE* node = nullptr;
  q.r.flags = 0;
  ASSERT_EQ(SCR_FlagOrderByClause(&q.r, &node), ER_SUCCESS);
  EXPECT_EQ(q.r.flags, SCR_F_ORDER_BY);
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->symbl.nType, EXPR_OPT_ORDER_BY_CLAUSE);
  EXPECT_EQ(squeeze(pt_Label(node)), "ORDER BY a");

  Request none("SELECT a FROM t");
  none.r.flags = SCR_F_ORDER_BY;
  ASSERT_EQ(SCR_FlagOrderByClause(&none.r, &node), ER_SUCCESS);
  EXPECT_EQ(none.r.flags, 0);  // cleared
  EXPECT_EQ(node->symbl.cArgs, 0);
}

TEST(StatementAnalysis, TableListWithoutTables) {
  // the FROM list of a derived table without FROM names no table at all
  Request q("SELECT a FROM (SELECT 1 AS a) x");
  EXPECT_EQ(q.rc, ER_GENERAL_ERROR);
  EXPECT_EQ(q.r.reqType, EXPR_SELECT_STATEMENT);
  EXPECT_EQ(q.r.flags & SCR_F_JOIN, 0);
  errcode_t rc;
  auto v = tables(q, 1, &rc);
  EXPECT_EQ(rc, ER_GENERAL_ERROR);
  EXPECT_TRUE(v.empty());

  Request oj("SELECT a FROM {oj t LEFT OUTER JOIN u ON t.a = u.a}, v");
  ASSERT_EQ(oj.rc, ER_SUCCESS);
  EXPECT_EQ(oj.r.flags, SCR_F_JOIN | SCR_F_OUTER_JOIN);
  auto w = tables(oj, 1);
  ASSERT_EQ(w.size(), 3u);
  EXPECT_STREQ(w[2].pszName, "v");
  freeTables(w);
}

TEST(StatementAnalysis, RelabelNeedsAnEntryForEveryPosition) {
  struct Case {
    const char* sql;
    std::vector<std::pair<int, const char*>> entries;  // nColIndx, orig_name
    bool nullList;
    errcode_t rc;
    const char* rebuilt;  // squeezed; nullptr: unchanged
  } cases[] = {
      {"SELECT a, b FROM t ORDER BY 2, 1 DESC",
       {{1, "t.a"}, {2, "t.b"}},
       false,
       ER_SUCCESS,
       "SELECT a, b FROM t ORDER BY t.b , t.a DESC"},
      {"SELECT a, b FROM t ORDER BY 2", {{1, "t.a"}}, false, ER_GENERAL_ERROR, nullptr},
      {"SELECT a, b FROM t ORDER BY 2", {}, false, ER_SUCCESS, nullptr},
      {"SELECT a, b FROM t ORDER BY 2", {}, true, ER_GENERAL_ERROR, nullptr},
      {"SELECT a, b FROM t ORDER BY a", {{1, "x"}}, false, ER_SUCCESS, nullptr},
      {"SELECT a, b FROM t", {{1, "x"}}, false, ER_GENERAL_ERROR, nullptr},
  };
  for (const auto& c : cases) {
    Request q(c.sql);
    std::string before = squeeze(q.text());
    alist_t* l = alist_Alloc(sizeof(SCOrdrColDesc));
    for (const auto& [pos, name] : c.entries) {
      SCOrdrColDesc o;
      memset(&o, 0, sizeof o);
      o.nColIndx = static_cast<uns8>(pos);
      strcpy(o.orig_name, name);
      alist_Add(l, &o);
    }
    EXPECT_EQ(SCR_RelabelNumericOrdrCols(&q.r, c.nullList ? nullptr : l), c.rc) << c.sql;
    EXPECT_EQ(squeeze(q.text()), c.rebuilt ? c.rebuilt : before) << c.sql;
    alist_Dealloc(&l, nullptr);
  }
}

}  // namespace
