// Parse-and-rebuild throughput: a mixed corpus (statements per second), and
// one long statement (an IN list of up to 100,000 values, about 1 MB at the
// top size), whose time must grow linearly with its length.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "sql/param_analysis.h"
#include "sql/statement_analysis.h"

namespace {

const std::vector<std::string> &corpus() {
  static const std::vector<std::string> c = {
      "SELECT id, name FROM emp WHERE name != 'abc' ORDER BY id",
      "SELECT e.id, d.title FROM emp e LEFT OUTER JOIN dept d ON e.dept = d.id WHERE e.salary > 100",
      "SELECT dept, COUNT(*), SUM(salary) FROM emp GROUP BY dept HAVING COUNT(*) > 1",
      "SELECT id FROM emp WHERE dept IN (SELECT id FROM dept WHERE title LIKE 'S%') AND id BETWEEN 1 AND 9",
      "SELECT id, CASE WHEN salary > 150 THEN 'high' ELSE 'low' END AS band FROM emp UNION ALL "
      "SELECT id, title FROM dept ORDER BY 1 DESC",
      "UPDATE emp SET salary = ?, note = 'x' WHERE id = ?",
      "INSERT INTO emp (id, name, dept) VALUES (?, ?, 10)",
      "DELETE FROM emp WHERE id = ? OR name LIKE 'a!%' ESCAPE '!'",
      "SELECT [item no], [my col] FROM [order items] /* note */ WHERE [item no] > 1 -- end",
      "SELECT {fn UCASE(name)} FROM emp WHERE hired > {d '2020-01-31'}",
  };
  return c;
}

void BM_AnalyseMixedCorpus(benchmark::State &state) {
  const auto &c = corpus();
  size_t bytes = 0;
  for (const auto &s : c) bytes += s.size();
  for (auto _ : state) {
    for (const auto &s : c) {
      SC_Request r;
      SCR_Init(&r);
      SCR_AnalyseSQL(&r, s.c_str(), 0, 1);
      benchmark::DoNotOptimize(r.pParsTree ? pt_Label(r.pParsTree) : nullptr);
      SCR_Destroy(&r);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(c.size()));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_AnalyseMixedCorpus);

void BM_ParamAnalysisMixedCorpus(benchmark::State &state) {
  const auto &c = corpus();
  for (auto _ : state) {
    for (const auto &s : c) {
      SP_Request r;
      SPR_Init(&r, "cast (NULL as CHAR)");
      SPR_AnalyseSQL(&r, s.c_str());
      benchmark::DoNotOptimize(r.nQueries);
      SPR_Destroy(&r);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(c.size()));
}
BENCHMARK(BM_ParamAnalysisMixedCorpus);

std::string inList(int64_t n) {
  std::string s = "SELECT id, name FROM emp WHERE id IN (";
  for (int64_t i = 0; i < n; i++) {
    if (i) s += ", ";
    s += std::to_string(1000000 + i);  // 7 digits: about 9 bytes a value
  }
  s += ") ORDER BY id";
  return s;
}

void BM_AnalyseLongInList(benchmark::State &state) {
  std::string sql = inList(state.range(0));
  for (auto _ : state) {
    SC_Request r;
    SCR_Init(&r);
    if (SCR_AnalyseSQL(&r, sql.c_str(), 0, 1) != ER_SUCCESS) state.SkipWithError("analysis failed");
    benchmark::DoNotOptimize(pt_Label(r.pParsTree));
    SCR_Destroy(&r);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(sql.size()));
  state.SetComplexityN(static_cast<int64_t>(sql.size()));
  state.counters["bytes"] = static_cast<double>(sql.size());
}
BENCHMARK(BM_AnalyseLongInList)->RangeMultiplier(2)->Range(12500, 100000)->Complexity()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
