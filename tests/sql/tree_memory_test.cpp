// Memory of parse trees: a parsed tree lives in its arena and everything it
// holds goes when it is freed (checked by LeakSanitizer in the sanitizer
// build, test by test), whatever was done to it in between: rewriting, labels
// built on demand, subtrees cut off, trees built by hand around it, failed
// parses and allocation failures. Rewriting does not grow the arena.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "sql/param_analysis.h"
#include "sql/parser.h"
#include "sql/statement_analysis.h"
#include "sql_test_util.h"
#include "util/fault.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define SQLGATE_LEAK_CHECK 1
#endif

namespace {

using sqltest::Parsed;
using sqltest::squeeze;

// Fails the test when anything allocated so far is unreachable (sanitizer
// build only; elsewhere the work is still done and its results checked).
void expectNoLeaks() {
#ifdef SQLGATE_LEAK_CHECK
  EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "leaks reported above";
#endif
}

std::string longInList(int n) {
  std::string s = "SELECT a, b FROM t WHERE a IN (0";
  for (int i = 1; i < n; i++) s += ", " + std::to_string(100000 + i);
  return s + ") ORDER BY a, 2 DESC";
}

void freeOrdrCols(alist_t** l) { alist_Dealloc(l, nullptr); }

// Every rewrite of the statement analysis on one statement, then its release.
void analyseAndRewrite(const std::string& sql) {
  SC_Request r;
  SCR_Init(&r);
  if (SCR_AnalyseSQL(&r, sql.c_str(), 0, 1) != ER_SUCCESS) {
    SCR_Destroy(&r);
    return;
  }
  alist_t* tables = alist_Alloc(sizeof(TableDesc));
  alist_t* cols = alist_Alloc(sizeof(SCColDesc));
  alist_t* order = alist_Alloc(sizeof(SCOrdrColDesc));
  SCR_TablesGet(&r, tables, 1);
  SCR_SelectColsGet(&r, cols);
  if (SCR_OrderingColsGet(&r, order) == ER_SUCCESS) {
    for (unsigned i = 0; i < order->cUsed; i++) {
      auto* o = static_cast<SCOrdrColDesc*>(alist_At(order, i));
      if (o->nColIndx) strcpy(o->orig_name, "b");
    }
    SCR_RelabelNumericOrdrCols(&r, order);
    SCR_InvertSortOrder(&r);
    SCR_InvertSortOrder(&r);
  }
  SCR_TagWhereClause(&r);
  // Labels built on demand, for every node (the large ones are not kept by
  // the expansion).
  alist_t* all = alist_Alloc(sizeof(PRSTR_NODE*));
  for (int kind = 0; kind <= EXPR_WHERE_CLAUSE; kind++) pt_FindAll(r.pParsTree, kind, nullptr, all);
  for (unsigned i = 0; i < all->cUsed; i++) pt_Label(*static_cast<PRSTR_NODE**>(alist_At(all, i)));
  alist_Dealloc(&all, nullptr);
  SCR_TagSelectList(&r);  // frees the select list's subtree
  alist_Dealloc(&tables, TableDescDestroy);
  alist_Dealloc(&cols, SCColDescDestroy);
  freeOrdrCols(&order);
  SCR_Destroy(&r);

  SP_Request p;
  SPR_Init(&p, "NULL");
  SPR_AnalyseSQL(&p, sql.c_str());
  SPR_Destroy(&p);
}

TEST(TreeMemory, ParsedTreesLeaveNothingBehind) {
  const std::string statements[] = {
      "SELECT a, b FROM t x, u WHERE a = ? ORDER BY a, 2 DESC",
      "SELECT COUNT(*), {fn UCASE(b)} FROM o.t@lnk LEFT OUTER JOIN u ON t.a = u.a GROUP BY b "
      "HAVING SUM(c) > 1 UNION SELECT 1, 'x' FROM v ORDER BY 1",
      "SELECT a FROM (SELECT a FROM t ORDER BY a) x ORDER BY a",
      "UPDATE t SET a = ?, b = NULL WHERE c IN (SELECT c FROM u WHERE d = ?)",
      "INSERT INTO t (a, b) VALUES (?, 'it''s')",
      "DELETE FROM t WHERE CURRENT OF c1",
      "{call p(?)}",
      longInList(1000),                    // labels above the kept size
      "SELECT a FROM t WHERE a IN (1, 2",  // fails to parse
      "SELECT 'open",                      // unterminated string
  };
  for (const std::string& sql : statements) analyseAndRewrite(sql);
  expectNoLeaks();
}

TEST(TreeMemory, AllocationFailuresAtEveryStepLeaveNothingBehind) {
  const std::string sql = "SELECT a, b FROM t WHERE c IN (1, 2, 3) ORDER BY a, 2 DESC";
  for (long k = 0; k < 400; k++) {
    vyr_fault_inject(k);
    analyseAndRewrite(sql);
    vyr_fault_inject(-1);
  }
  expectNoLeaks();
}

TEST(TreeMemory, TreesBuiltAroundAParsedTreeAreFreedWithIt) {
  Parsed p("SELECT a FROM t WHERE b = 1");
  ASSERT_EQ(p.rc, 0);
  // A hand-built node over the parsed root, a heap label on an arena node,
  // an arena node made a leaf: one free releases all of it, arena included.
  PRSTR_NODE* tree = p.tree;
  p.tree = nullptr;
  PRSTR_NODE* where = sqltest::firstOfKind(tree, EXPR_WHERE_CLAUSE);
  ASSERT_NE(where, nullptr);
  EXPECT_EQ(pt_SetFormat(where, "WHERE (\xff\x01\x01)"), 1);
  EXPECT_EQ(pt_MakeLeaf(sqltest::firstOfKind(tree, EXPR_SELECT_LIST), "*"), 1);
  PRSTR_NODE* top = pt_node(EXPR_OTHER, "[\xff\x01\x01]", 1, tree);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(pt_Expand(top), 1);
  EXPECT_EQ(squeeze(pt_Label(top)), "[SELECT * FROM t WHERE (b = 1) ]");
  pt_treeFree(&top);
  EXPECT_EQ(top, nullptr);
  expectNoLeaks();
}

TEST(TreeMemory, RewritingDoesNotGrowTheArena) {
  SC_Request r;
  SCR_Init(&r);
  ASSERT_EQ(SCR_AnalyseSQL(&r, "SELECT a, b FROM t WHERE a > 1 ORDER BY a, b DESC", 0, 1), ER_SUCCESS);
  PtArena* arena = pt_Arena(r.pParsTree);
  ASSERT_NE(arena, nullptr);
  ASSERT_EQ(SCR_InvertSortOrder(&r), ER_SUCCESS);
  size_t used = pta_Used(arena);
  for (int i = 0; i < 1000; i++) ASSERT_EQ(SCR_InvertSortOrder(&r), ER_SUCCESS);
  EXPECT_EQ(pta_Used(arena), used);
  EXPECT_EQ(squeeze(pt_Label(r.pParsTree)), "SELECT a, b FROM t WHERE a > 1 ORDER BY a DESC, b");
  SCR_Destroy(&r);
  expectNoLeaks();
}

}  // namespace
