// Two properties over a corpus of SELECTs: rebuilding is idempotent (the
// analysis of the rebuilt text rebuilds to the same text), and the original
// and the rebuilt text return the same rows on a real SQLite database.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sql/statement_analysis.h"

namespace {

const char* kSchema = R"(
CREATE TABLE emp (id INTEGER, name TEXT, dept INTEGER, salary REAL, note TEXT);
CREATE TABLE dept (id INTEGER, title TEXT);
CREATE TABLE [order items] ([item no] INTEGER, [my col] TEXT);
INSERT INTO emp VALUES (1, 'abc', 10, 100.5, 'x'), (2, 'ABC', 10, 200, NULL),
  (3, 'Abc', 20, 300, 'multi
line'), (4, 'd_e', 20, 50, '50%'), (5, 'it''s', 30, NULL, 'y'), (6, 'zed', NULL, 75, 'x');
INSERT INTO dept VALUES (10, 'Sales'), (20, 'R&D'), (30, 'Ops');
INSERT INTO [order items] VALUES (1, 'one'), (2, 'two'), (3, NULL);
)";

const char* kCorpus[] = {
    "SELECT id, name FROM emp WHERE name != 'abc'",
    "SELECT id FROM emp WHERE name <> 'ABC' AND name != 'Abc'",
    "SELECT [item no], [my col] FROM [order items] WHERE [item no] > 1",
    "SELECT id FROM emp WHERE name = 'abc' OR name = 'ABC'",
    "SELECT id FROM emp WHERE name IN ('abc', 'Abc')",
    "SELECT id -- the key\nFROM emp /* all of them */ WHERE dept = 10 -- done",
    "/* lead */ SELECT name FROM emp WHERE note = 'multi\nline'",
    "SELECT id FROM emp WHERE salary > dept * 3 --(*2\n",
    "SELECT id, CASE WHEN salary > 150 THEN 'high' WHEN salary IS NULL THEN 'none' ELSE 'low' END FROM emp",
    "SELECT id, CASE dept WHEN 10 THEN 'ten' ELSE 'other' END AS d FROM emp",
    "SELECT id FROM emp WHERE dept IN (SELECT id FROM dept WHERE title LIKE 'S%')",
    "SELECT id FROM emp e WHERE EXISTS (SELECT 1 FROM dept d WHERE d.id = e.dept)",
    "SELECT id FROM emp WHERE salary > (SELECT AVG(salary) FROM emp)",
    "SELECT dept, COUNT(*), SUM(salary) FROM emp GROUP BY dept HAVING COUNT(*) > 1",
    "SELECT dept, MAX(salary) FROM emp WHERE id < 6 GROUP BY dept",
    "SELECT id FROM emp WHERE dept = 10 UNION ALL SELECT id FROM dept",
    "SELECT name FROM emp UNION SELECT title FROM dept ORDER BY 1",
    "SELECT name FROM emp WHERE name LIKE 'd!_%' ESCAPE '!'",
    "SELECT name FROM emp WHERE note LIKE '%!%' ESCAPE '!'",
    "SELECT id FROM emp WHERE id IN (1, 3, 5)",
    "SELECT id FROM emp WHERE id NOT IN (1, 3, 5)",
    "SELECT id FROM emp WHERE salary BETWEEN 60 AND 250",
    "SELECT id FROM emp WHERE salary NOT BETWEEN 60 AND 250",
    "SELECT id FROM emp WHERE NOT dept = 10 AND salary > 60 OR id = 1",
    "SELECT id FROM emp WHERE (dept = 10 OR dept = 20) AND salary < 250",
    "SELECT e.id, d.title FROM emp e, dept d WHERE e.dept = d.id ORDER BY e.id DESC",
    "SELECT e.id, d.title FROM emp e LEFT OUTER JOIN dept d ON e.dept = d.id",
    "SELECT e.id, d.title FROM emp e INNER JOIN dept d ON e.dept = d.id AND d.id > 10",
    "SELECT x.n FROM (SELECT name AS n FROM emp WHERE dept = 20) x",
    "SELECT x.n FROM (SELECT name AS n FROM emp) x ORDER BY x.n DESC",
    "SELECT DISTINCT dept FROM emp",
    "SELECT id, salary * 2 + 1, -salary, name || '!' FROM emp",
    "SELECT id FROM emp WHERE note IS NULL OR dept IS NOT NULL",
    "SELECT COUNT(DISTINCT dept) FROM emp",
    "SELECT 'it''s', 1.5, 2e3, 0x1F FROM dept WHERE id = 10",
    "SELECT id FROM emp ORDER\nBY salary DESC, id",
    "SELECT emp.* FROM emp WHERE id = 2",
    "SELECT id FROM emp WHERE dept IN (SELECT id FROM dept WHERE title != 'Ops')",
    "SELECT id FROM emp WHERE name = 'a--b' OR note = '/* x */' OR id = 1",
    "SELECT \"id\", [name] FROM emp WHERE \"dept\" = 10",
    "SELECT id FROM emp WHERE NOT EXISTS (SELECT 1 FROM dept WHERE dept.id = emp.dept)",
    "SELECT id FROM emp WHERE id IN (1, 2) AND name LIKE 'a%' OR salary BETWEEN 0 AND 80",
    "SELECT d.id, COUNT(*) FROM emp e INNER JOIN dept d ON e.dept = d.id WHERE d.title != 'Ops' "
    "GROUP BY d.id HAVING COUNT(*) >= 1",
};

std::vector<std::string> rows(sqlite3* db, const std::string& sql, std::string* err) {
  std::vector<std::string> out;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
    *err = sqlite3_errmsg(db);
    return out;
  }
  while (sqlite3_step(st) == SQLITE_ROW) {
    std::string r;
    for (int i = 0; i < sqlite3_column_count(st); i++) {
      const unsigned char* v = sqlite3_column_text(st, i);
      r += v ? std::string(reinterpret_cast<const char*>(v)) : "<null>";
      r += "|";
    }
    out.push_back(r);
  }
  sqlite3_finalize(st);
  return out;
}

std::string rebuild(const std::string& sql) {
  SC_Request r;
  SCR_Init(&r);
  std::string text;
  if (SCR_AnalyseSQL(&r, sql.c_str(), 0, 1) == ER_SUCCESS) text = pt_Label(r.pParsTree);
  SCR_Destroy(&r);
  return text;
}

TEST(SqliteCorpus, RebuildIsIdempotentAndReturnsTheSameRows) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr), SQLITE_OK);
  for (const char* sql : kCorpus) {
    std::string once = rebuild(sql);
    ASSERT_FALSE(once.empty()) << sql;
    EXPECT_EQ(rebuild(once), once) << sql;
    std::string e1, e2;
    std::vector<std::string> a = rows(db, sql, &e1), b = rows(db, once, &e2);
    ASSERT_EQ(e1, "") << sql;
    ASSERT_EQ(e2, "") << once;
    bool ordered = std::string(sql).find("ORDER") != std::string::npos;
    if (!ordered) {
      std::sort(a.begin(), a.end());
      std::sort(b.begin(), b.end());
    }
    EXPECT_EQ(a, b) << sql << "\nrebuilt: " << once;
    EXPECT_FALSE(a.empty()) << sql;
  }
  sqlite3_close(db);
}

}  // namespace
