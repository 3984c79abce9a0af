// Scanner and parser: tokens and rebuilt text, failure reports, tree shapes,
// deep trees and the release of everything a failed parse built.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "sql/parser.h"
#include "sql_test_util.h"
#include "util/fault.h"

using sqltest::Parsed;
using sqltest::squeeze;

namespace {

struct RebuildCase {
  const char* sql;
  int kind;
  const char* rebuilt;  // exact rebuilt text
};

TEST(Parser, RebuildsStatementText) {
  const RebuildCase cases[] = {
      {"SELECT a FROM t ORDER BY a", EXPR_SELECT_STATEMENT, "SELECT  a FROM t     ORDER BY a  "},
      {"select * from t", EXPR_SELECT_STATEMENT, "SELECT  * FROM t      "},
      {"SELECT * FROM T", EXPR_SELECT_STATEMENT, "SELECT  * FROM T      "},
      {"SELECT a", EXPR_SELECT_STATEMENT, "SELECT  a      "},
      // no character is dropped: != is a comparison, brackets stay
      {"SELECT a FROM t WHERE a != b", EXPR_SELECT_STATEMENT, "SELECT  a FROM t WHERE a != b     "},
      {"SELECT [my col] FROM [t]", EXPR_SELECT_STATEMENT, "SELECT  [my col] FROM [t]      "},
      {"SELECT \"Name\", \"NAME\" FROM t", EXPR_SELECT_STATEMENT, "SELECT  \"Name\", \"NAME\" FROM t      "},
      // literals that differ only in case stay distinct
      {"SELECT a FROM t WHERE b = 'abc' OR b = 'ABC'", EXPR_SELECT_STATEMENT,
       "SELECT  a FROM t WHERE b = 'abc' OR b = 'ABC'     "},
      {"SELECT Abc, aBC FROM t", EXPR_SELECT_STATEMENT, "SELECT  Abc, aBC FROM t      "},
      // a string may hold newlines and doubled quotes
      {"SELECT 'it''s\nfine' FROM t", EXPR_SELECT_STATEMENT, "SELECT  'it''s\nfine' FROM t      "},
      // comments read as one blank; a statement may begin with one
      {"-- lead\nSELECT a /* c */ FROM t -- tail", EXPR_SELECT_STATEMENT, "SELECT  a FROM t      "},
      {"/* x */ SELECT a FROM t", EXPR_SELECT_STATEMENT, "SELECT  a FROM t      "},
      // white space of any kind between clause keywords
      {"SELECT a FROM t ORDER\r\nBY a", EXPR_SELECT_STATEMENT, "SELECT  a FROM t     ORDER BY a  "},
      {"SELECT a FROM t LEFT\nOUTER JOIN u ON t.a = u.a", EXPR_SELECT_STATEMENT,
       "SELECT  a FROM t LEFT OUTER JOIN u ON t.a = u.a      "},
      // bytes 0x80..0xFF are name characters
      {"SELECT \xc3\xa9t\xc3\xa9 FROM t\xff", EXPR_SELECT_STATEMENT,
       "SELECT  \xc3\xa9t\xc3\xa9 FROM t\xff      "},
      {"SELECT SUM(*) FROM t", EXPR_SELECT_STATEMENT, "SELECT  COUNT (*) FROM t      "},
      {"INSERT INTO t (a, b) VALUES (1, ?)", EXPR_INSERT_STATEMENT, "INSERT INTO t ( a, b ) 1, ?"},
      {"UPDATE t SET a = 1 WHERE CURRENT OF c", EXPR_UPDATE_STATEMENT_POSITIONED,
       "UPDATE t SET a = 1 WHERE CURRENT OF c"},
      {"DELETE FROM t WHERE CURRENT OF c", EXPR_DELETE_STATEMENT_POSITIONED,
       "DELETE FROM t WHERE CURRENT OF c"},
      {"UPDATE t SET a <> 1 WHERE b = 2", EXPR_UPDATE_STATEMENT_SEARCHED, "UPDATE t SET a = 1 WHERE b = 2"},
      {"DELETE FROM t", EXPR_DELETE_STATEMENT_SEARCHED, "DELETE FROM t "},
      {"exec p 1, 2", EXPR_OTHER, ""},
      {"{call p(?)}", EXPR_PROCCALL, ""},
      {"SELECTX p", EXPR_OTHER, ""},
      {"SELECT SELECTED FROM t", EXPR_SELECT_STATEMENT, "SELECT  SELECTED FROM t      "},
      {"SELECT a FROM t WHERE x - 1.5 > 0", EXPR_SELECT_STATEMENT, "SELECT  a FROM t WHERE x - 1.5 > 0     "},
      {"SELECT 'it''s', t@12 FROM t", EXPR_SELECT_STATEMENT, "SELECT  'it''s', t@12 FROM t      "},
      {"SELECT a FROM o.t@lnk", EXPR_SELECT_STATEMENT, "SELECT  a FROM o.t@lnk      "},
      {"SELECT a FROM t @v", EXPR_SELECT_STATEMENT, "SELECT  a FROM t  @v      "},
      {"SELECT a FROM t WHERE b LIKE 'x!%' ESCAPE '!'", EXPR_SELECT_STATEMENT,
       "SELECT  a FROM t WHERE b LIKE 'x!%' ESCAPE '!'     "},
      {"SELECT {fn UCASE(a)} FROM t WHERE d > {d '2020-01-31'}", EXPR_SELECT_STATEMENT,
       "SELECT  { fn UCASE( a ) } FROM t WHERE d > { d '2020-01-31' }     "},
      {"SELECT a FROM {oj t LEFT OUTER JOIN u ON t.a = u.a}", EXPR_SELECT_STATEMENT,
       "SELECT  a FROM { oj t LEFT OUTER JOIN u ON t.a = u.a }      "},
      // "--(" that opens no vendor escape is an ordinary comment to the end of the line
      {"SELECT a FROM t WHERE a = b --(*c\n", EXPR_SELECT_STATEMENT, "SELECT  a FROM t WHERE a = b     "},
      {"--(*x\nSELECT a FROM t", EXPR_SELECT_STATEMENT, "SELECT  a FROM t      "},
      {"SELECT a FROM t WHERE d = --(*  VENDOR(Microsoft),product(ODBC) d '2020-01-01' *)-- -- tail",
       EXPR_SELECT_STATEMENT,
       "SELECT  a FROM t WHERE d =  --(* VENDOR(Microsoft), PRODUCT(ODBC)  d '2020-01-01'  *)--     "},
  };
  for (const auto& c : cases) {
    Parsed p(c.sql);
    ASSERT_EQ(p.rc, 0) << c.sql << ": " << p.message << " " << p.report;
    EXPECT_EQ(p.tree->symbl.nType, c.kind) << c.sql;
    EXPECT_EQ(p.text(), c.rebuilt) << c.sql;
  }
}

TEST(Parser, RebuiltTextParsesToTheSameText) {
  const char* cases[] = {
      "SELECT a FROM t WHERE a != b",
      "SELECT [x y] FROM t",
      "SELECT a FROM o.t@lnk",
      "SELECT a FROM a@b:c.d",
      "SELECT a FROM \"my t\"@lnk, [o].[u]@lnk",
      "SELECT a FROM t @ @lnk, \"u\" @ @lnk, @v @ @lnk x",  // link names starting with "@"
      "SELECT a FROM t@12 @ @lnk, t@12@@lnk",               // a numbered name, then a link starting with "@"
      "SELECT a FROM --(* vendor(Microsoft), product(ODBC) oj t LEFT OUTER JOIN u ON t.a = u.a *)--",
      "SELECT a FROM t WHERE d = --(* vendor(Microsoft), product(ODBC) d '2020-01-01' *)--",
      "SELECT TOP 5 PERCENT WITH TIES a FROM t",
      "SELECT a FROM t WHERE a IN (1, 2, 3) AND NOT b BETWEEN 1 AND 2 OR c IS NULL",
  };
  for (const char* sql : cases) {
    Parsed first(sql);
    ASSERT_EQ(first.rc, 0) << sql << ": " << first.report;
    Parsed second(first.text());
    ASSERT_EQ(second.rc, 0) << first.text() << ": " << second.report;
    EXPECT_EQ(second.text(), first.text()) << sql;
    EXPECT_EQ(sqltest::shape(second.tree), sqltest::shape(first.tree)) << sql;
  }
}

struct FailCase {
  const char* sql;
  int rc;
  const char* message;
  const char* report;
};

TEST(Parser, FailuresGiveExactReports) {
  const FailCase cases[] = {
      {"SELECT a FROM t; SELECT b FROM u", 1, "syntax error", "SELECT a FROM t;^"},
      {"SELECT a % b FROM t", 1, "syntax error", "SELECT a %^"},
      {"SELECT a FROM t WHERE a & b", 1, "syntax error", "SELECT a FROM t WHERE a &^"},
      {"SELECT a FROM t WHERE a = b}", 1, "syntax error", "SELECT a FROM t WHERE a = b}^"},
      {"SELECT a FROM t WHERE b = \x01", 1, "syntax error", "SELECT a FROM t WHERE b = \x01^"},
      {"SELECT a FROM t WHERE b = 'x", 1, "Unterminated string literal.", "SELECT a FROM t WHERE b = '^"},
      {"SELECT a FROM t WHERE b = 'x\ny", 1, "Unterminated string literal.", "SELECT a FROM t WHERE b = '^"},
      {"SELECT a FROM t WHERE x -1.5 > 0", 1, "syntax error", "SELECT a FROM t WHERE x -1.5^"},
      {"SELECT a FROM {oj t LEFT OUTER JOIN u ON a = b AND c = d}", 1, "syntax error",
       "SELECT a FROM {oj t LEFT OUTER JOIN u ON a = b AND^"},
      {"", 1, "syntax error", "^"},
      {"   ", 1, "syntax error", "^"},
      {"SELECT", 1, "syntax error", "SELECT^"},
      {"SELECT a FROM t ORDER BY a UNION SELECT b FROM u", 1, "syntax error",
       "SELECT a FROM t ORDER BY a UNION^"},
      {"SELECT ORDERBY FROM t GROUP x", 1, "syntax error", "SELECT ORDERBY FROM t GROUP x^"},
      {"SELECT a FROM t --(* vendor(Microsoft), product(ODBC) fn x() *)--", 1, "syntax error",
       "SELECT a FROM t --(* vendor(Microsoft), product(ODBC)^"},
  };
  for (const auto& c : cases) {
    Parsed p(c.sql);
    EXPECT_EQ(p.rc, c.rc) << c.sql;
    EXPECT_EQ(p.tree, nullptr) << c.sql;
    EXPECT_EQ(p.message, c.message) << c.sql;
    EXPECT_EQ(p.report, c.report) << c.sql;
  }
}

TEST(Parser, NextStatementStartsFresh) {
  {
    Parsed bad("SELECT a FROM t WHERE {");
    EXPECT_EQ(bad.rc, 1);
  }
  Parsed call("exec p");
  ASSERT_EQ(call.rc, 0);
  EXPECT_EQ(call.tree->symbl.nType, EXPR_OTHER);
}

// Kind of the node reached by following child indexes from n.
int kindAt(PRSTR_NODE* n, std::initializer_list<int> path) {
  for (int i : path) n = pt_Child(n, i);
  return n ? n->symbl.nType : -1;
}

PRSTR_NODE* whereCondition(PRSTR_NODE* root) {
  // statement -> select exp -> table exp -> opt where -> where -> condition
  PRSTR_NODE* te = pt_Child(pt_Child(root, 1), 3);
  return pt_Child(pt_Child(pt_Child(te, 2), 1), 1);
}

TEST(Parser, PrecedenceOfOrAndNot) {
  Parsed p("SELECT a FROM t WHERE a = 1 OR b = 2 AND c = 3");
  ASSERT_EQ(p.rc, 0);
  PRSTR_NODE* c = whereCondition(p.tree);
  EXPECT_STREQ(pt_Label(c), "a = 1 OR b = 2 AND c = 3");
  EXPECT_STREQ(c->symbl.szFormat, "\xff\x01\x01 OR \xff\x01\x02");
  EXPECT_STREQ(pt_Child(c, 2)->symbl.szFormat, "\xff\x01\x01 AND \xff\x01\x02");

  Parsed q("SELECT a FROM t WHERE NOT a = 1 AND b = 2");
  ASSERT_EQ(q.rc, 0);
  PRSTR_NODE* d = whereCondition(q.tree);
  EXPECT_STREQ(d->symbl.szFormat, "\xff\x01\x01 AND \xff\x01\x02");
  EXPECT_STREQ(pt_Child(d, 1)->symbl.szFormat, "NOT \xff\x01\x01");

  Parsed r("SELECT a FROM t WHERE a = 1 AND b = 2 AND c = 3");
  ASSERT_EQ(r.rc, 0);  // left grouping: ((a AND b) AND c)
  EXPECT_STREQ(pt_Label(pt_Child(whereCondition(r.tree), 1)), "a = 1 AND b = 2");
}

TEST(Parser, SubqueriesAndUnionOrderBy) {
  Parsed p("SELECT a FROM t WHERE a = (SELECT b FROM u)");
  ASSERT_EQ(p.rc, 0);
  PRSTR_NODE* cmp = pt_Child(pt_Child(whereCondition(p.tree), 1), 1);
  ASSERT_EQ(cmp->symbl.nType, EXPR_COMPARISON_PREDICATE);
  EXPECT_EQ(kindAt(cmp, {3}), EXPR_SUB_QUERY);

  Parsed q("SELECT a FROM t WHERE a = (SELECT b FROM u) + 1");
  ASSERT_EQ(q.rc, 0);
  EXPECT_EQ(kindAt(pt_Child(pt_Child(whereCondition(q.tree), 1), 1), {3}), EXPR_EXPRESSION);

  // ORDER BY lands in the last member of the union chain.
  Parsed u("SELECT a FROM t UNION SELECT b FROM u UNION ALL SELECT c FROM v ORDER BY 1");
  ASSERT_EQ(u.rc, 0);
  EXPECT_EQ(pt_Child(u.tree, 2)->symbl.cArgs, 0);  // statement level stays empty
  PRSTR_NODE* te1 = pt_Child(pt_Child(u.tree, 1), 3);
  EXPECT_EQ(pt_Child(te1, 6)->symbl.cArgs, 0);
  PRSTR_NODE* sel2 = pt_Child(pt_Child(pt_Child(te1, 5), 1), 1);
  PRSTR_NODE* te2 = pt_Child(sel2, 3);
  PRSTR_NODE* sel3 = pt_Child(pt_Child(pt_Child(te2, 5), 1), 1);
  EXPECT_STREQ(pt_Label(pt_Child(pt_Child(sel3, 3), 6)), "ORDER BY 1 ");
}

// Tree shapes: kinds (numbers of expr_t) and leaf labels of the first node
// of a kind. Primaries are written P(...) for short: 23(91(24(60(...)))).
TEST(Parser, TreeShapes) {
  struct Case {
    const char* sql;
    int kind;
    const char* shape;
  } cases[] = {
      // table names: a.b has a as qualifier, a.b@c has a as owner
      {"SELECT x FROM a", EXPR_TABLE_NAME, "88(87:a)"},
      {"SELECT x FROM a.b", EXPR_TABLE_NAME, "88(63:a 87:b)"},
      {"SELECT x FROM a..b", EXPR_TABLE_NAME, "88(63:a 87:b)"},
      {"SELECT x FROM a.b.c", EXPR_TABLE_NAME, "88(63:a 57:b 87:c)"},
      {"SELECT x FROM a@b", EXPR_TABLE_NAME, "88(87:a 63:b)"},
      {"SELECT x FROM a.b@c", EXPR_TABLE_NAME, "88(57:a 87:b 63:c)"},
      {"SELECT x FROM a:b", EXPR_TABLE_NAME, "88(63:a 87:b)"},
      {"SELECT x FROM a@b:c", EXPR_TABLE_NAME, "88(63(64:a 64:b) 87:c)"},
      {"SELECT x FROM a:b.c", EXPR_TABLE_NAME, "88(63:a 57:b 87:c)"},
      {"SELECT x FROM a@b:c.d", EXPR_TABLE_NAME, "88(63(64:a 64:b) 57:c 87:d)"},
      // all columns of a table: in a.b.* the a is the owner
      {"SELECT a.* FROM t", EXPR_SELECT_SUBLIST, "75(88(87:a))"},
      {"SELECT a.b.* FROM t", EXPR_SELECT_SUBLIST, "75(88(57:a 87:b))"},
      {"SELECT a.b.c.* FROM t", EXPR_SELECT_SUBLIST, "75(88(63:a 57:b 87:c))"},
      {"SELECT a..b.* FROM t", EXPR_SELECT_SUBLIST, "75(88(63:a 88:b))"},
      {"SELECT a:b.* FROM t", EXPR_SELECT_SUBLIST, "75(88(63:a 88:b))"},
      {"SELECT a:b.c.* FROM t", EXPR_SELECT_SUBLIST, "75(88(63:a 57:b 87:c))"},
      {"SELECT a@b:c.* FROM t", EXPR_SELECT_SUBLIST, "75(88(63(64:a 64:b) 87:c))"},
      {"SELECT a@b:c.d.* FROM t", EXPR_SELECT_SUBLIST, "75(88(63(64:a 64:b) 57:c 87:d))"},
      {"SELECT a.b.c", EXPR_COLUMN_NAME, "11(57:a 87:b 10:c)"},
      {"SELECT a.b", EXPR_COLUMN_NAME, "11(87:a 10:b)"},
      // select options
      {"SELECT DISTINCT TOP 5, 10 PERCENT WITH TIES a FROM t", EXPR_OPT_TOP,
       "53(42:DISTINCT 95:5 95:10 53:PERCENT 53:WITH TIES)"},
      {"SELECT ALL TOP (1, 2) a FROM t", EXPR_OPT_TOP,
       "53(42:ALL 23(91(24(60(32(95:1))))) 23(91(24(60(32(95:2))))) 53: 53:)"},
      // predicates
      {"SELECT a FROM t WHERE a LIKE 'x' {escape '!'}", EXPR_LIKE_PREDICATE,
       "31(23(91(24(60(11(10:a))))) 58:'x' 49(36:{ 21:escape '!' 37:}))"},
      {"SELECT a FROM t WHERE a NOT IN (1, ?, USER)", EXPR_IN_PREDICATE,
       "26(23(91(24(60(11(10:a))))) 99(99(99(98(32(95:1))) 98(20:?)) 98:USER))"},
      {"SELECT a FROM t WHERE a >= ALL (SELECT b FROM u)", EXPR_QUANTIFIED_PREDICATE,
       "66(23(91(24(60(11(10:a))))) 13:>= 2:ALL 85(42: 73(75(23(91(24(60(11(10:b))))))) "
       "90(89(46(88(87:u)))) 54: 47: 48:))"},
      {"SELECT a FROM t WHERE a *= b", EXPR_SQLSERVER_OLD_OUTER_JOIN, "84(11(10:a) 56:*= 11(10:b))"},
      {"SELECT a FROM t WHERE ? IS NOT NULL", EXPR_NULL_PREDICATE, "33(98(20:?))"},
      // functions, literals, CASE
      {"SELECT COUNT(DISTINCT a) FROM t", EXPR_SET_FUNCTION_REF, "76(1:COUNT 11(10:a))"},
      {"SELECT {fn SUBSTRING(a FROM 1)} FROM t", EXPR_ODBC_SCALAR_FN_EXT,
       "39(36:{ 67(25:SUBSTRING 3(23(91(24(60(11(10:a))))) 23(91(24(60(32(95:1))))))) 37:})"},
      {"SELECT {fn NOW()} FROM t", EXPR_SCALAR_FN, "67(25:NOW 3:)"},
      {"SELECT {ts '2020-01-01 10:00:00.5'} FROM t", EXPR_LITERAL,
       "32(35(41(36:{ 93:ts '2020-01-01 10:00:00.5' 37:})))"},
      {"SELECT 0x1F FROM t", EXPR_PRIMARY, "60(7:0x1F)"},
      {"SELECT CASE a WHEN 1 THEN 2 ELSE 3 END FROM t", EXPR_SIMPLE_CASE,
       "77(23(91(24(60(11(10:a))))) 78(78(79(23(91(24(60(32(95:1))))) 23(91(24(60(32(95:2))))))) "
       "79(23(91(24(60(32(95:3))))))))"},
      // statements and clauses
      {"INSERT INTO t (a) SELECT b FROM u", EXPR_INSERT_STATEMENT,
       "28(88(87:t) 45(12(11(10:a))) 100(72(53(42:) 73(75(23(91(24(60(11(10:b))))))) "
       "86(90(89(46(88(87:u)))) 54: 47: 48: 52: 50:))))"},
      {"UPDATE t FROM u SET a = NULL", EXPR_UPDATE_STATEMENT_SEARCHED,
       "97(88(87:t) 90(89(46(88(87:u)))) 5(4(10:a)) 54:)"},
      // a parenthesised join takes no correlation name
      {"SELECT a FROM (t RIGHT JOIN u ON t.a = u.a) x", EXPR_TABLE_REFERENCE_LIST, nullptr},
      {"SELECT a FROM (t RIGHT JOIN u ON t.a = u.a)", EXPR_JOINED_TABLE,
       "29(29(62(89(46(88(87:t))) 30(56:RIGHT 51:) 89(46(88(87:u))) "
       "68(59(14(23(91(24(60(11(87:t 10:a))))) 13:= 23(91(24(60(11(87:u 10:a)))))))))))"},
      {"SELECT a FROM t ORDER BY a DESC, 2", EXPR_ORDER_BY_CLAUSE,
       "55(81(81(80(11(10:a) 44:DESC)) 80(95:2 44:)))"},
      // a derived table's ORDER BY inside its parentheses stays its own; one
      // after it that ends the FROM list is the statement's
      {"SELECT a FROM (SELECT a FROM t ORDER BY a) AS x", EXPR_JOINED_TABLE,
       "29(72(53(42:) 73(75(23(91(24(60(11(10:a))))))) 86(90(89(46(88(87:t)))) 54: 47: 48: 52: "
       "50(55(81(80(11(10:a) 44:)))))) 43:AS 15:x 50:)"},
      {"SELECT a FROM (SELECT a FROM t) x ORDER BY a", EXPR_TABLE_EXP,
       "86(90(89(29(72(53(42:) 73(75(23(91(24(60(11(10:a))))))) 86(90(89(46(88(87:t)))) 54: 47: 48: 52: "
       "50:)) "
       "43: 15:x 50:))) 54: 47: 48: 52: 50(55(81(80(11(10:a) 44:)))))"},
  };
  for (const auto& c : cases) {
    Parsed p(c.sql);
    if (!c.shape) {
      EXPECT_NE(p.rc, 0) << c.sql;
      continue;
    }
    ASSERT_EQ(p.rc, 0) << c.sql << ": " << p.report;
    PRSTR_NODE* n = sqltest::firstOfKind(p.tree, c.kind);
    ASSERT_NE(n, nullptr) << c.sql;
    EXPECT_EQ(sqltest::labelledShape(n), c.shape) << c.sql;
  }
}

TEST(Parser, ThousandNestedParenthesesParse) {
  std::string sql = "SELECT a FROM t WHERE ";
  for (int i = 0; i < 1000; i++) sql += "(";
  sql += "a = 1";
  for (int i = 0; i < 1000; i++) sql += ")";
  Parsed p(sql);
  ASSERT_EQ(p.rc, 0) << p.message;
  EXPECT_EQ(squeeze(p.text()).size(), squeeze("SELECT a FROM t WHERE a = 1").size() + 2000 * 2 - 1 + 1);

  std::string expr = "SELECT ";
  for (int i = 0; i < 1000; i++) expr += "(";
  expr += "1";
  for (int i = 0; i < 1000; i++) expr += ")";
  Parsed e(expr);
  EXPECT_EQ(e.rc, 0) << e.message;
}

TEST(Parser, StackLimitIsMemoryExhausted) {
  std::string sql = "SELECT a FROM t WHERE ";
  for (int i = 0; i < 20000; i++) sql += "(";
  Parsed p(sql);
  EXPECT_EQ(p.rc, 2);
  EXPECT_EQ(p.message, "memory exhausted");
  EXPECT_EQ(p.tree, nullptr);
  EXPECT_EQ(p.report.back(), '^');
}

TEST(Parser, DeepTreesNeitherOverflowNorLeak) {
  std::string values = "0";
  for (int i = 1; i < 50000; i++) values += ", " + std::to_string(i);
  Parsed p("SELECT a FROM t WHERE a IN (" + values + ")");
  ASSERT_EQ(p.rc, 0);
  EXPECT_TRUE(squeeze(p.text()) == "SELECT a FROM t WHERE a IN ( " + values + " )");

  std::string ors = "SELECT a FROM t WHERE a = 0";
  for (int i = 1; i < 50000; i++) ors += " OR a = " + std::to_string(i);
  Parsed q(ors);
  ASSERT_EQ(q.rc, 0);
  EXPECT_TRUE(squeeze(q.text()) == ors);
}

TEST(Parser, FailedParseOfLongStatementFreesItsNodes) {
  // Under the sanitizer build a leak here fails the test program.
  std::string in = "SELECT a FROM t WHERE a IN (0";
  for (int i = 1; i < 10000; i++) in += ", " + std::to_string(i);
  in += ") AND %";
  Parsed p(in);
  EXPECT_EQ(p.rc, 1);
  EXPECT_EQ(p.tree, nullptr);
  EXPECT_EQ(p.report.substr(p.report.size() - 6), "AND %^");
}

TEST(Parser, NodeAllocationFailureIsMemoryExhausted) {
  const std::string sql = "SELECT a, b FROM t WHERE c IN (1, 2, 3) ORDER BY a";
  int failures = 0;
  for (long k = 0; k < 1000; k++) {
    vyr_fault_inject(k);
    Parsed p(sql);
    vyr_fault_inject(-1);
    if (p.rc == 0) {
      EXPECT_EQ(squeeze(p.text()), "SELECT a, b FROM t WHERE c IN ( 1, 2, 3 ) ORDER BY a");
      break;
    }
    failures++;
    EXPECT_EQ(p.rc, 2);
    EXPECT_EQ(p.message, "memory exhausted");
    EXPECT_EQ(p.tree, nullptr);  // and, under the sanitizer, nothing leaks
  }
  EXPECT_GT(failures, 20);
}

TEST(Parser, ConcurrentParsesAreSerialised) {
  std::vector<std::thread> threads;
  std::vector<int> ok(4, 0);
  for (int t = 0; t < 4; t++)
    threads.emplace_back([t, &ok] {
      for (int i = 0; i < 200; i++) {
        Parsed p("SELECT a, b FROM t WHERE c = " + std::to_string(i));
        if (p.rc == 0 && p.text() == "SELECT  a, b FROM t WHERE c = " + std::to_string(i) + "     ") ok[t]++;
      }
    });
  for (auto& th : threads) th.join();
  for (int n : ok) EXPECT_EQ(n, 200);
}

}  // namespace
