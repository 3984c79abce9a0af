// Parse-and-rebuild throughput: a mixed corpus (statements per second), and
// one long statement (an IN list of up to 100,000 values, about 1 MB at the
// top size), whose time must grow linearly with its length.
//
// Yardstick: SQLite's sqlite3_prepare_v2 + sqlite3_finalize on the same
// statements (in SQLite's spelling of the two ODBC escapes), against an
// in-memory database that holds the tables they name, in the same run. SQLite
// also resolves names and generates code, so our analysis should cost no more.
//
// Wall time on a shared machine is noisy; instruction counts are not. Run
//   bench/sql/instructions.sh build/bench/sql_parse_bench
// for callgrind counts per statement of both sides and their ratio (the
// program's "--rounds=N WORKLOAD" mode runs one workload N times, outside the
// benchmark library, for callgrind to count).
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sql/param_analysis.h"
#include "sql/statement_analysis.h"

namespace {

struct Statement {
  const char* ours;    // as a client sends it
  const char* sqlite;  // the same statement in SQLite's spelling
};

const std::vector<Statement>& corpus() {
  static const std::vector<Statement> c = {
      {"SELECT id, name FROM emp WHERE name != 'abc' ORDER BY id", nullptr},
      {"SELECT e.id, d.title FROM emp e LEFT OUTER JOIN dept d ON e.dept = d.id WHERE e.salary > 100",
       nullptr},
      {"SELECT dept, COUNT(*), SUM(salary) FROM emp GROUP BY dept HAVING COUNT(*) > 1", nullptr},
      {"SELECT id FROM emp WHERE dept IN (SELECT id FROM dept WHERE title LIKE 'S%') AND id BETWEEN 1 "
       "AND 9",
       nullptr},
      {"SELECT id, CASE WHEN salary > 150 THEN 'high' ELSE 'low' END AS band FROM emp UNION ALL "
       "SELECT id, title FROM dept ORDER BY 1 DESC",
       nullptr},
      {"UPDATE emp SET salary = ?, note = 'x' WHERE id = ?", nullptr},
      {"INSERT INTO emp (id, name, dept) VALUES (?, ?, 10)", nullptr},
      {"DELETE FROM emp WHERE id = ? OR name LIKE 'a!%' ESCAPE '!'", nullptr},
      {"SELECT [item no], [my col] FROM [order items] /* note */ WHERE [item no] > 1 -- end", nullptr},
      {"SELECT {fn UCASE(name)} FROM emp WHERE hired > {d '2020-01-31'}",
       "SELECT upper(name) FROM emp WHERE hired > '2020-01-31'"},
  };
  return c;
}

const char* sqliteText(const Statement& s) { return s.sqlite ? s.sqlite : s.ours; }

// The statements' tables, in an in-memory database.
sqlite3* openYardstick() {
  sqlite3* db = nullptr;
  if (sqlite3_open(":memory:", &db) != SQLITE_OK) {
    fprintf(stderr, "sqlite3_open failed\n");
    exit(1);
  }
  const char* schema =
      "CREATE TABLE emp (id INTEGER PRIMARY KEY, name TEXT, dept INTEGER, salary REAL, note TEXT, "
      "hired TEXT);"
      "CREATE TABLE dept (id INTEGER PRIMARY KEY, title TEXT);"
      "CREATE TABLE [order items] ([item no] INTEGER, [my col] TEXT);";
  if (sqlite3_exec(db, schema, nullptr, nullptr, nullptr) != SQLITE_OK) {
    fprintf(stderr, "schema: %s\n", sqlite3_errmsg(db));
    exit(1);
  }
  return db;
}

// The measured work, one function per workload so that callgrind can count
// each on its own (--toggle-collect). Each returns a value that depends on
// the work so that nothing is optimised away.
__attribute__((noinline)) size_t analyseCorpus() {
  size_t out = 0;
  for (const auto& s : corpus()) {
    SC_Request r;
    SCR_Init(&r);
    SCR_AnalyseSQL(&r, s.ours, 0, 1);
    if (r.pParsTree) out += strlen(pt_Label(r.pParsTree));
    SCR_Destroy(&r);
  }
  return out;
}

__attribute__((noinline)) size_t paramAnalyseCorpus() {
  size_t out = 0;
  for (const auto& s : corpus()) {
    SP_Request r;
    SPR_Init(&r, "cast (NULL as CHAR)");
    SPR_AnalyseSQL(&r, s.ours);
    out += static_cast<size_t>(r.nQueries);
    SPR_Destroy(&r);
  }
  return out;
}

__attribute__((noinline)) size_t sqlitePrepareCorpus(sqlite3* db) {
  size_t out = 0;
  for (const auto& s : corpus()) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sqliteText(s), -1, &st, nullptr) != SQLITE_OK || !st) {
      fprintf(stderr, "sqlite3_prepare_v2: %s\n", sqlite3_errmsg(db));
      exit(1);
    }
    out += static_cast<size_t>(sqlite3_bind_parameter_count(st));
    sqlite3_finalize(st);
  }
  return out;
}

std::string inList(int64_t n) {
  std::string s = "SELECT id, name FROM emp WHERE id IN (";
  for (int64_t i = 0; i < n; i++) {
    if (i) s += ", ";
    s += std::to_string(1000000 + i);  // 7 digits: about 9 bytes a value
  }
  s += ") ORDER BY id";
  return s;
}

__attribute__((noinline)) size_t analyseLong(const std::string& sql) {
  SC_Request r;
  SCR_Init(&r);
  if (SCR_AnalyseSQL(&r, sql.c_str(), 0, 1) != ER_SUCCESS) {
    SCR_Destroy(&r);
    return 0;
  }
  size_t out = strlen(pt_Label(r.pParsTree));
  SCR_Destroy(&r);
  return out;
}

__attribute__((noinline)) size_t sqlitePrepareLong(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return 0;
  size_t out = static_cast<size_t>(sqlite3_column_count(st));
  sqlite3_finalize(st);
  return out;
}

void BM_AnalyseMixedCorpus(benchmark::State& state) {
  const auto& c = corpus();
  size_t bytes = 0;
  for (const auto& s : c) bytes += strlen(s.ours);
  for (auto _ : state) benchmark::DoNotOptimize(analyseCorpus());
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(c.size()));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_AnalyseMixedCorpus);

void BM_SqlitePrepareMixedCorpus(benchmark::State& state) {
  sqlite3* db = openYardstick();
  for (auto _ : state) benchmark::DoNotOptimize(sqlitePrepareCorpus(db));
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(corpus().size()));
  sqlite3_close(db);
}
BENCHMARK(BM_SqlitePrepareMixedCorpus);

void BM_ParamAnalysisMixedCorpus(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(paramAnalyseCorpus());
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(corpus().size()));
}
BENCHMARK(BM_ParamAnalysisMixedCorpus);

void BM_AnalyseLongInList(benchmark::State& state) {
  std::string sql = inList(state.range(0));
  for (auto _ : state)
    if (!analyseLong(sql)) state.SkipWithError("analysis failed");
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(sql.size()));
  state.SetComplexityN(static_cast<int64_t>(sql.size()));
  state.counters["bytes"] = static_cast<double>(sql.size());
}
BENCHMARK(BM_AnalyseLongInList)
    ->RangeMultiplier(2)
    ->Range(12500, 100000)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);

void BM_SqlitePrepareLongInList(benchmark::State& state) {
  sqlite3* db = openYardstick();
  std::string sql = inList(state.range(0));
  for (auto _ : state)
    if (!sqlitePrepareLong(db, sql)) state.SkipWithError("prepare failed");
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(sql.size()));
  state.SetComplexityN(static_cast<int64_t>(sql.size()));
  sqlite3_close(db);
}
BENCHMARK(BM_SqlitePrepareLongInList)
    ->RangeMultiplier(2)
    ->Range(12500, 100000)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);

// "--rounds=N WORKLOAD [VALUES]": runs one workload N times for callgrind
// (instructions.sh takes the difference of two round counts, so that
// first-use costs drop out). Workloads: analyse, param, sqlite (the mixed corpus), analyse-long and
// sqlite-long (an IN list of VALUES values).
int runRounds(int argc, char** argv) {
  long rounds = atol(argv[1] + strlen("--rounds="));
  std::string what = argc > 2 ? argv[2] : "";
  long values = argc > 3 ? atol(argv[3]) : 12500;
  sqlite3* db = openYardstick();
  std::string sql = inList(values);
  size_t sink = 0;
  for (long i = 0; i < rounds; i++) {
    if (what == "analyse")
      sink += analyseCorpus();
    else if (what == "param")
      sink += paramAnalyseCorpus();
    else if (what == "sqlite")
      sink += sqlitePrepareCorpus(db);
    else if (what == "analyse-long")
      sink += analyseLong(sql);
    else if (what == "sqlite-long")
      sink += sqlitePrepareLong(db, sql);
    else {
      fprintf(stderr, "unknown workload '%s'\n", what.c_str());
      return 2;
    }
  }
  sqlite3_close(db);
  printf("statements %zu bytes %zu sink %zu\n", corpus().size(), sql.size(), sink);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && strncmp(argv[1], "--rounds=", 9) == 0) return runRounds(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
