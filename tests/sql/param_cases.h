// Statements with parameters and the probe queries their analysis builds;
// shared by the unit test and the tests that prepare the queries on SQLite
// and PostgreSQL (tables t, u of columns a, b, c, d, x).
#pragma once

#include <string>
#include <vector>

namespace sqltest {

struct ParamCase {
  const char* sql;
  std::vector<std::string> queries;
  int count;
  const char* mask;        // nullptr: no mask
  bool preparable = true;  // the queries are valid SQL for the test tables
};

inline const char* kTablesDDL =
    "CREATE TABLE t (a INTEGER, b INTEGER, c INTEGER, d INTEGER, x VARCHAR(10));"
    "CREATE TABLE u (a INTEGER, b INTEGER, c INTEGER, d INTEGER, x VARCHAR(10));";

inline std::vector<ParamCase> paramCases() {
  return {
      {"SELECT a FROM t WHERE b = ? AND ? < c", {"SELECT b, c FROM t WHERE 1=0 "}, 2, nullptr},
      {"SELECT a FROM t WHERE b = ? UNION SELECT a FROM u WHERE c = ?",
       {"SELECT b FROM t WHERE 1=0 ", "SELECT c FROM u WHERE 1=0 "},
       2,
       nullptr},
      {"UPDATE t SET a = ? WHERE b = ?", {"SELECT t.a, t.b FROM t WHERE 1=0 "}, 2, nullptr},
      {"UPDATE t SET a = ? WHERE u.b = ?", {"SELECT t.a, u.b FROM t WHERE 1=0 "}, 2, nullptr, false},
      {"UPDATE t SET a = ? WHERE CURRENT OF k", {"SELECT t.a FROM t WHERE 1=0 "}, 1, nullptr},
      {"INSERT INTO t VALUES (?, 1, ?)", {"SELECT * FROM t WHERE 1=0 "}, 3, "?X?"},
      {"INSERT INTO t (a, b) VALUES (?, 2)", {"SELECT a FROM t WHERE 1=0 "}, 1, nullptr},
      {"SELECT a FROM t WHERE x IS NULL OR ? IS NULL",
       {"SELECT cast (NULL as CHAR) FROM t WHERE 1=0 "},
       1,
       nullptr},
      {"SELECT a FROM t WHERE b = ? GROUP BY a HAVING SUM(c) > ?",
       {"SELECT b, (c) FROM t WHERE 1=0 "},
       2,
       nullptr},
      {"SELECT a FROM t GROUP BY a HAVING SUM(c) > ?", {"SELECT SUM( c ) FROM t WHERE 1=0 "}, 1, nullptr},
      {"SELECT a FROM t GROUP BY a HAVING COUNT(*) > ? AND MAX(b) < ?",
       {"SELECT 1, (b) FROM t WHERE 1=0 "},
       2,
       nullptr},
      {"SELECT a FROM t WHERE ? BETWEEN b AND ?", {"SELECT b, b FROM t WHERE 1=0 "}, 2, nullptr},
      {"SELECT a FROM t WHERE b BETWEEN ? AND ?", {"SELECT b, b FROM t WHERE 1=0 "}, 2, nullptr},
      {"SELECT a FROM t WHERE ? BETWEEN ? AND c", {"SELECT c, c FROM t WHERE 1=0 "}, 2, nullptr},
      {"SELECT a FROM t x WHERE x.b LIKE ? AND NOT c = ?",
       {"SELECT x.b, c FROM t  x WHERE 1=0 "},
       2,
       nullptr},
      {"SELECT a FROM t WHERE b IN (?, 1, ?)", {"SELECT b, b FROM t WHERE 1=0 "}, 2, nullptr},
      {"SELECT a FROM t WHERE ? IN (1, 2)", {"SELECT 1 FROM t WHERE 1=0 "}, 1, nullptr},
      {"SELECT a FROM t, u WHERE t.a = u.a AND u.d >= ?", {"SELECT u.d FROM t, u WHERE 1=0 "}, 1, nullptr},
      {"DELETE FROM t WHERE a = ? OR b <> ?", {"SELECT a, b FROM t WHERE 1=0 "}, 2, nullptr},
      {"INSERT INTO t (a, b) SELECT ?, c + ? FROM u WHERE d = ?",
       {"SELECT a, b FROM t WHERE 1=0 ", "SELECT d FROM u WHERE 1=0 "},
       3,
       nullptr},
      {"INSERT INTO t (a, b, c) SELECT a, (b + ?) * 2, ? FROM u",
       {"SELECT b, c FROM t WHERE 1=0 "},
       2,
       nullptr},
      {"UPDATE t SET a = ? FROM u WHERE u.b = ? AND c = ?",
       {"SELECT t.a, u.b, t.c FROM t, u WHERE 1=0 "},
       3,
       nullptr},
      {"UPDATE t FROM u SET a = b + ?", {"SELECT t.a FROM t, u WHERE 1=0 "}, 1, nullptr},
      {"UPDATE t SET a = NULL, b = ? WHERE CURRENT OF k", {"SELECT t.b FROM t WHERE 1=0 "}, 1, nullptr},
      {"SELECT a FROM t WHERE a IN (1, ?, ?)", {"SELECT a, a FROM t WHERE 1=0 "}, 2, nullptr},
      {"SELECT a FROM t WHERE x NOT LIKE ?", {"SELECT x FROM t WHERE 1=0 "}, 1, nullptr},
      {"SELECT a FROM t WHERE a + ? > b", {"SELECT b FROM t WHERE 1=0 "}, 1, nullptr},
      {"DELETE FROM t WHERE a = ? AND b IS NOT NULL", {"SELECT a FROM t WHERE 1=0 "}, 1, nullptr},
      // a parameter on both sides leaves both without context: nothing is described
      {"SELECT a FROM t WHERE ? = ?", {}, 0, nullptr},
      {"SELECT a FROM t WHERE ? LIKE ?", {}, 0, nullptr},
      {"SELECT a FROM t WHERE ? BETWEEN ? AND ?", {}, 0, nullptr},
      {"SELECT a FROM t WHERE ? IN (?, 1)", {}, 0, nullptr},
      // predicates inside subqueries are not entered
      {"SELECT a FROM t WHERE EXISTS (SELECT 1 FROM u WHERE u.a = ?)", {}, 0, nullptr},
      // a derived table is a table of the probe query as written
      {"SELECT a FROM (SELECT b AS a, a AS b FROM u) x WHERE a = ?",
       {"SELECT a FROM ( SELECT  b AS a, a AS b FROM u      )  x  WHERE 1=0 "},
       1,
       nullptr},
      {"SELECT a FROM t, (SELECT c FROM u) AS x WHERE x.c = ?",
       {"SELECT x.c FROM t, ( SELECT  c FROM u      ) AS x  WHERE 1=0 "},
       1,
       nullptr},
      {"SELECT a FROM (SELECT b FROM u WHERE c = ?) x WHERE b = ?", {}, 0, nullptr},
      // nothing to describe
      {"SELECT a FROM t", {}, 0, nullptr},
      {"DELETE FROM t", {}, 0, nullptr},
      {"exec p ?", {}, 0, nullptr},
      // a parameter whose context would be a subquery: the analysis gives up
      {"SELECT a FROM t WHERE ? = (SELECT MAX(b) FROM u)", {}, 0, nullptr},
      {"SELECT a FROM t WHERE ? IN (SELECT b FROM u)", {}, 0, nullptr},
      {"SELECT a FROM t WHERE ? > ANY (SELECT b FROM u)", {}, 0, nullptr},
      {"SELECT a FROM t WHERE b = ? UNION SELECT a FROM u WHERE ? IN (SELECT b FROM t)", {}, 0, nullptr},
      // a parameter inside a subquery: the others are not described either
      {"SELECT a FROM t WHERE a + (SELECT MAX(b) FROM u WHERE c = ?) > d", {}, 0, nullptr},
      {"INSERT INTO t (a) SELECT (SELECT b FROM u WHERE c = ?) FROM u", {}, 0, nullptr},
      {"SELECT a FROM t WHERE b = ? AND c IN (SELECT d FROM u WHERE x = ?)", {}, 0, nullptr},
      // no table list, or values that cannot be paired with columns
      {"SELECT 1 WHERE 2 = ?", {}, 0, nullptr},
      {"INSERT INTO t (a) VALUES (1, ?)", {}, 0, nullptr},
      {"INSERT INTO t (a, b) SELECT u.*, ? FROM u", {}, 0, nullptr},
  };
}

}  // namespace sqltest
