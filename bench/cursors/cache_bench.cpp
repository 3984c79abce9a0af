// Dataset cache: fill from a backend result of N rows of (INTEGER, VARCHAR(20),
// DOUBLE), then read it back in 100-row rowsets at random positions, for
// N = 5,000, 50,000 and 500,000. The rows come from the fake backend, so the
// figures are the cache's own cost.
//
// Targets: time per row at 500,000 within 1.5x of time per row at 50,000
// (linear), and peak memory at 500,000 at most 20 MB above the peak at 5,000
// (the cache spills instead of growing). Peak memory only grows within a
// process, so each N runs in a child process of its own (`--child N`); the
// parent prints the table and the two ratios. Also reported: the temporary
// files' bytes per row.
//
// Run: build/bench/cursors_cache_bench
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "bench_smoke.h"
#include "cursors/snapshot.h"
#include "fixtures/engine/fake_backend.h"
#include "model/dataset_util.h"

namespace {

struct Figures {
  double nsPerRow = 0;
  long peakKB = 0;
  double fileBytesPerRow = 0;
};

Figures Measure(sgn32 n) {
  engine_test::FakeBackend fake;
  ::Connect req{};
  handle_t c = 0, k = 0;
  fake.ops.connect(fake.hServer, &req, &c);
  fake.ops.cursor(c, &k);
  fake.rows = n;
  fake.shape = {{CTYPE_SGN32, 4}, {CTYPE_VCHR, Dataset_SizeCol(CTYPE_VCHR, 20)}, {CTYPE_FLT64, 8}};
  fake.fillRow = [](sgn32 row, Dataset* ds, sgn32 at) {
    memcpy(Coldata_Cell(&ds->col[0], uint64_t(at)), &row, 4);
    ds->col[0].indicators[at] = 0;
    snprintf(Coldata_Cell(&ds->col[1], uint64_t(at)), 21, "row number %d", row);
    ds->col[1].indicators[at] = 0;
    double d = row * 0.25;
    memcpy(Coldata_Cell(&ds->col[2], uint64_t(at)), &d, 8);
    ds->col[2].indicators[at] = 0;
  };
  PSNPSHT ss = nullptr;
  SS_Create(&ss);
  auto t0 = std::chrono::steady_clock::now();
  sgn32 total = 0;
  if (SS_GetRsltSet(ss, &fake.drv, k, &total) != ER_SUCCESS || total != n) {
    fprintf(stderr, "fill failed\n");
    exit(2);
  }
  // As many rows read back as filled, in random rowsets of 100.
  std::mt19937 rng(42);
  std::uniform_int_distribution<sgn32> at(0, n - 100);
  long sum = 0;
  for (sgn32 read = 0; read < n; read += 100) {
    Dataset* out = nullptr;
    if (SS_Fetch(ss, at(rng), 100, &out) != ER_SUCCESS || out->nRows != 100) {
      fprintf(stderr, "fetch failed\n");
      exit(2);
    }
    sgn32 v;
    memcpy(&v, Coldata_Cell(&out->col[0], 0), 4);
    sum += v;
    Dataset_Done(out);
    free(out);
  }
  auto t1 = std::chrono::steady_clock::now();
  Figures f;
  f.nsPerRow = std::chrono::duration<double, std::nano>(t1 - t0).count() / n;
  long bytes = 0;
  for (FILE* fp : {ss->SSC.fdVals, ss->SSC.fdIndx}) {
    if (fp && fseek(fp, 0, SEEK_END) == 0) bytes += ftell(fp);
  }
  f.fileBytesPerRow = double(bytes) / n;
  SS_Destroy(&ss);
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  f.peakKB = ru.ru_maxrss;
  if (sum < 0) puts("");
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "--child") == 0) {
    Figures f = Measure(sgn32(atol(argv[2])));
    printf("%.1f %ld %.1f\n", f.nsPerRow, f.peakKB, f.fileBytesPerRow);
    return 0;
  }
  const long full[] = {5000, 50000, 500000}, smoke[] = {500, 1000, 2000};
  const long* sizes = bench_smoke::On() ? smoke : full;
  Figures got[3];
  for (int i = 0; i < 3; i++) {
    std::string cmd = std::string(argv[0]) + " --child " + std::to_string(sizes[i]);
    FILE* p = popen(cmd.c_str(), "r");
    if (!p || fscanf(p, "%lf %ld %lf", &got[i].nsPerRow, &got[i].peakKB, &got[i].fileBytesPerRow) != 3)
      return 1;
    if (pclose(p) != 0) return 1;
  }
  printf("%10s %12s %12s %16s\n", "rows", "ns/row", "peak KB", "file bytes/row");
  for (int i = 0; i < 3; i++)
    printf("%10ld %12.1f %12ld %16.1f\n", sizes[i], got[i].nsPerRow, got[i].peakKB, got[i].fileBytesPerRow);
  const double ratio = got[2].nsPerRow / got[1].nsPerRow;
  const double growMB = (got[2].peakKB - got[0].peakKB) / 1024.0;
  printf("time per row 500,000 / 50,000: %.2f (target <= 1.5) %s\n", ratio, ratio <= 1.5 ? "ok" : "MISSED");
  printf("peak memory 500,000 - 5,000: %.1f MB (target <= 20) %s\n", growMB, growMB <= 20 ? "ok" : "MISSED");
  return 0;
}
