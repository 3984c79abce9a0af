// Dataset serialisation, the cache's spill boundary and window, and the
// snapshot's rowsets; temporary files are unnamed, private and never outlive
// their cache.
#include <sys/stat.h>

#include <cmath>

#include "cursors/engine_fixture.h"
#include "cursors/snapshot.h"
#include "fixtures/engine/fake_backend.h"
#include "fixtures/support/log_capture.h"

namespace engine_test {
namespace {

// A one-row-per-type dataset: every cell type, a NULL row, long and empty long cells.
Dataset* EveryTypeDataset() {
  static const std::pair<ctype_t, precision_t> shape[] = {
      {CTYPE_VOID, 1},    {CTYPE_CHR, 6},    {CTYPE_BIT1, 1},     {CTYPE_SGN8, 1},       {CTYPE_SGN16, 2},
      {CTYPE_SGN32, 4},   {CTYPE_UNS8, 1},   {CTYPE_UNS16, 2},    {CTYPE_UNS32, 4},      {CTYPE_FLT32, 4},
      {CTYPE_FLT64, 8},   {CTYPE_DATE, 6},   {CTYPE_TIME, 6},     {CTYPE_TIMESTAMP, 16}, {CTYPE_BIN, 3},
      {CTYPE_LCHR, 16},   {CTYPE_LBIN, 16},  {CTYPE_VCHR, 9},     {CTYPE_VCHR8, 9},      {CTYPE_VCHR16, 10},
      {CTYPE_VCHR32, 12}, {CTYPE_VBIN8, 9},  {CTYPE_VBIN16, 10},  {CTYPE_VBIN32, 12},    {CTYPE_WCHR, 12},
      {CTYPE_WVCHR, 16},  {CTYPE_WLCHR, 16}, {CTYPE_WVCHR32, 16},
  };
  Dataset* ds = static_cast<Dataset*>(calloc(1, sizeof(Dataset)));
  const uns16 n = uns16(std::size(shape));
  Dataset_Init(ds, n);
  ds->nCols = n;
  for (uns16 c = 0; c < n; c++) {
    ds->col[c].cType = shape[c].first;
    ds->col[c].width = shape[c].second;
  }
  Dataset_AllocColumns(ds, 3);
  ds->nRows = 3;
  for (uns16 c = 0; c < n; c++) {
    Coldata& col = ds->col[c];
    for (int r = 0; r < 3; r++) {
      if (r == 1) continue;  // the NULL row
      char* cell = Coldata_Cell(&col, uint64_t(r));
      col.indicators[r] = 0;
      // Row 2 holds empty or negative values.
      const bool empty = r == 2;
      switch (col.cType) {
        case CTYPE_SGN8:
          cell[0] = char(empty ? -5 : 5);
          break;
        case CTYPE_UNS8:
        case CTYPE_BIT1:
          cell[0] = char(empty ? 250 : 1);
          break;
        case CTYPE_SGN16: {
          sgn16 v = empty ? -300 : 300;
          memcpy(cell, &v, 2);
          break;
        }
        case CTYPE_UNS16: {
          uns16 v = empty ? 65000 : 7;
          memcpy(cell, &v, 2);
          break;
        }
        case CTYPE_SGN32: {
          sgn32 v = empty ? -70000 : 70000;
          memcpy(cell, &v, 4);
          break;
        }
        case CTYPE_UNS32: {
          uns32 v = empty ? 4000000000u : 9;
          memcpy(cell, &v, 4);
          break;
        }
        case CTYPE_FLT32: {
          flt32 v = empty ? -1.5f : 2.25f;
          memcpy(cell, &v, 4);
          break;
        }
        case CTYPE_FLT64: {
          flt64 v = empty ? -1e300 : M_PI;
          memcpy(cell, &v, 8);
          break;
        }
        case CTYPE_DATE: {
          c_date v{sgn16(empty ? -44 : 2026), 12, 11};
          memcpy(cell, &v, 6);
          break;
        }
        case CTYPE_TIME: {
          c_time v{23, 59, 58};
          memcpy(cell, &v, 6);
          break;
        }
        case CTYPE_TIMESTAMP: {
          c_timestamp v{2026, 12, 11, 1, 2, 3, 999999999u};
          memcpy(cell, &v, 16);
          break;
        }
        case CTYPE_CHR:
          memcpy(cell, empty ? "      " : "ab cd ", 6);
          break;
        case CTYPE_BIN:
          memcpy(cell, "\0\xff\x01", 3);
          break;
        case CTYPE_VCHR:
          strcpy(cell, empty ? "" : "x'y\"z");
          break;
        case CTYPE_LCHR:
        case CTYPE_LBIN: {
          const std::string v = empty ? "" : std::string(70000, 'L') + std::string("\0z", 2);
          c_lchr l{uns32(v.size()), static_cast<char*>(malloc(v.size() + 1))};
          memcpy(l.data, v.data(), v.size());
          memcpy(cell, &l, 16);
          break;
        }
        case CTYPE_WLCHR: {
          const std::wstring v = empty ? L"" : L"wide \u00e9\U0001F600";
          c_wlchr l{uns32(v.size()), static_cast<wchar_t*>(malloc((v.size() + 1) * 4))};
          memcpy(l.data, v.data(), v.size() * 4);
          memcpy(cell, &l, 16);
          break;
        }
        case CTYPE_VCHR8:
        case CTYPE_VBIN8:
          cell[0] = char(empty ? 0 : 3);
          memcpy(cell + 1, "abc", 3);
          break;
        case CTYPE_VCHR16:
        case CTYPE_VBIN16: {
          uns16 v = empty ? 0 : 4;
          memcpy(cell, &v, 2);
          memcpy(cell + 2, "abcd", 4);
          break;
        }
        case CTYPE_VCHR32:
        case CTYPE_VBIN32: {
          uns32 v = empty ? 0 : 5;
          memcpy(cell, &v, 4);
          memcpy(cell + 4, "ab\0cd", 5);
          break;
        }
        case CTYPE_WCHR: {
          const wchar_t w[3] = {L'a', 0x10FFFF, L'c'};
          memcpy(cell, w, 12);
          break;
        }
        case CTYPE_WVCHR: {
          const wchar_t w[3] = {L'h', L'i', 0};
          memcpy(cell, w, 12);
          break;
        }
        case CTYPE_WVCHR32: {
          uns32 v = empty ? 0 : 2;
          const wchar_t w[2] = {0x263A, L'!'};
          memcpy(cell, &v, 4);
          memcpy(cell + 4, w, 8);
          break;
        }
        default:
          break;
      }
    }
  }
  return ds;
}

void ExpectSameDataset(const Dataset& a, const Dataset& b) {
  ASSERT_EQ(a.nCols, b.nCols);
  ASSERT_EQ(a.nRows, b.nRows);
  for (uns16 c = 0; c < a.nCols; c++) {
    SCOPED_TRACE("column " + std::to_string(c) + " type " + std::to_string(a.col[c].cType));
    ASSERT_EQ(a.col[c].cType, b.col[c].cType);
    for (sgn32 r = 0; r < a.nRows; r++) {
      ASSERT_EQ(a.col[c].indicators[r], b.col[c].indicators[r]) << r;
      if (a.col[c].indicators[r] != 0 || a.col[c].cType == CTYPE_VOID) continue;
      const char *da, *db;
      uint64_t la, lb;
      ASSERT_EQ(Dataset_CellValue(&a.col[c], uint64_t(r), &da, &la),
                Dataset_CellValue(&b.col[c], uint64_t(r), &db, &lb));
      ASSERT_EQ(la, lb) << r;
      if (la) {
        EXPECT_EQ(memcmp(da, db, la), 0) << r;
      }
    }
  }
}

struct Files {
  FILE* vals = DSC_TempFile();
  FILE* indx = DSC_TempFile();
  ~Files() {
    fclose(vals);
    fclose(indx);
  }
};

TEST(Serialisation, EveryCellTypeRoundTrips) {
  Dataset* ds = EveryTypeDataset();
  {
    // The cache's form: values file and row index, read from any row.
    Files f;
    ASSERT_EQ(Dataset_SrlzSubset(SRLZ_WRITE, f.vals, f.indx, ds, 0, 0), 1);
    for (sgn32 from : {0, 1, 2}) {
      Dataset back{};
      ASSERT_EQ(Dataset_SrlzSubset(SRLZ_READ, f.vals, f.indx, &back, from, 0), 1);
      Dataset part{};
      Dataset* clone = &part;
      ASSERT_EQ(Dataset_Clone(&clone, ds, uns32(3 - from)), ER_SUCCESS);
      for (sgn32 r = from; r < 3; r++)
        ASSERT_EQ(Dataset_CopyRow(&part, ds, uns32(r - from), uns32(r), 0), ER_SUCCESS);
      ExpectSameDataset(part, back);
      Dataset_Done(&part);
      Dataset_Done(&back);
    }
    Dataset none{};
    EXPECT_EQ(Dataset_SrlzSubset(SRLZ_READ, f.vals, f.indx, &none, 3, 0), 0) << "start at the end";
  }
  {
    // The whole-dataset form.
    FILE* fp = DSC_TempFile();
    ASSERT_EQ(Dataset_Srlz(SRLZ_WRITE, fp, ds), 1);
    Dataset back{};
    ASSERT_EQ(Dataset_Srlz(SRLZ_READ, fp, &back), 1);
    ExpectSameDataset(*ds, back);
    // An empty long text comes back as an empty text with its terminator.
    c_lchr l;
    memcpy(&l, Coldata_Cell(&back.col[15], 2), 16);
    EXPECT_EQ(l.length, 0u);
    ASSERT_NE(l.data, nullptr);
    EXPECT_EQ(l.data[0], 0);
    Dataset_Done(&back);
    fclose(fp);
  }
  Dataset_Done(ds);
  free(ds);
}

TEST(Serialisation, NullCellTakesFourBytes) {
  Dataset ds{};
  Dataset_Init(&ds, 1);
  ds.nCols = 1;
  ds.col[0].cType = CTYPE_FLT64;
  ds.col[0].width = 8;
  Dataset_AllocColumns(&ds, 2);
  ds.nRows = 2;  // two NULL cells
  Files f;
  ASSERT_EQ(Dataset_SrlzSubset(SRLZ_WRITE, f.vals, f.indx, &ds, 0, 0), 1);
  fseek(f.vals, 0, SEEK_END);
  EXPECT_EQ(ftell(f.vals), 8 + 8 + 2 * 4);
  fseek(f.indx, 0, SEEK_END);
  EXPECT_EQ(ftell(f.indx), 16);
  Dataset_Done(&ds);
}

// Rows of long cells of 1 MB each, the second NULL: windows of a few rows and
// of more than the bytes a read takes in one piece, written in one go and
// appended, come back whole.
TEST(Serialisation, WindowsOfLargeRowsRoundTrip) {
  constexpr int kRows = 7;
  Dataset ds{};
  Dataset_Init(&ds, 2);
  ds.nCols = 2;
  ds.col[0].cType = CTYPE_SGN32;
  ds.col[0].width = 4;
  ds.col[1].cType = CTYPE_LBIN;
  ds.col[1].width = 16;
  Dataset_AllocColumns(&ds, kRows);
  ds.nRows = kRows;
  for (sgn32 r = 0; r < kRows; r++) {
    memcpy(Coldata_Cell(&ds.col[0], uint64_t(r)), &r, 4);
    ds.col[0].indicators[r] = 0;
    if (r == 1) continue;
    c_lbin l{1u << 20, static_cast<unsigned char*>(malloc(1u << 20))};
    memset(l.data, 'a' + r, l.length);
    l.data[r] = 0;
    memcpy(Coldata_Cell(&ds.col[1], uint64_t(r)), &l, 16);
    ds.col[1].indicators[r] = 0;
  }
  Files f;
  ASSERT_EQ(Dataset_SrlzSubset(SRLZ_WRITE, f.vals, f.indx, &ds, 0, 4), 1);
  Dataset tail{};
  Dataset* tailp = &tail;
  ASSERT_EQ(Dataset_Clone(&tailp, &ds, kRows - 4), ER_SUCCESS);
  for (sgn32 r = 4; r < kRows; r++)
    ASSERT_EQ(Dataset_CopyRow(&tail, &ds, uns32(r - 4), uns32(r), 0), ER_SUCCESS);
  ASSERT_EQ(Dataset_SrlzAppend(f.vals, f.indx, &tail), 1);
  Dataset_Done(&tail);
  struct Case {
    sgn32 from, count;
  } cases[] = {{0, 0}, {0, 2}, {1, 3}, {2, 5}, {5, 0}, {6, 1}};
  for (const Case& k : cases) {
    SCOPED_TRACE("from " + std::to_string(k.from) + " count " + std::to_string(k.count));
    Dataset back{};
    ASSERT_EQ(Dataset_SrlzSubset(SRLZ_READ, f.vals, f.indx, &back, k.from, k.count), 1);
    const sgn32 n = k.count ? k.count : kRows - k.from;
    Dataset part{};
    Dataset* clone = &part;
    ASSERT_EQ(Dataset_Clone(&clone, &ds, uns32(n)), ER_SUCCESS);
    for (sgn32 r = 0; r < n; r++)
      ASSERT_EQ(Dataset_CopyRow(&part, &ds, uns32(r), uns32(k.from + r), 0), ER_SUCCESS);
    ExpectSameDataset(part, back);
    Dataset_Done(&part);
    Dataset_Done(&back);
  }
  Dataset_Done(&ds);
}

TEST(Serialisation, DamagedFilesFail) {
  Dataset* ds = EveryTypeDataset();
  Files f;
  ASSERT_EQ(Dataset_SrlzSubset(SRLZ_WRITE, f.vals, f.indx, ds, 0, 0), 1);
  // A cell type beyond the last, and a long length beyond the file.
  struct Case {
    long offset;
    sgn32 value;
  } cases[] = {{8, 28}, {8, -1}, {4, -2}};
  for (const Case& k : cases) {
    Files g;
    ASSERT_EQ(Dataset_SrlzSubset(SRLZ_WRITE, g.vals, g.indx, ds, 0, 0), 1);
    fseek(g.vals, k.offset, SEEK_SET);
    fwrite(&k.value, 4, 1, g.vals);
    Dataset back{};
    EXPECT_EQ(Dataset_SrlzSubset(SRLZ_READ, g.vals, g.indx, &back, 0, 0), 0) << k.offset;
  }
  Dataset_Done(ds);
  free(ds);
}

TEST(TempFiles, UnnamedPrivateInTheTemporaryDirectory) {
  const int before = OpenTempFiles();
  FILE* fp = DSC_TempFile();
  ASSERT_NE(fp, nullptr);
  struct stat st;
  ASSERT_EQ(fstat(fileno(fp), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(st.st_nlink, 0u) << "no name in any directory";
  char target[4096] = {0};
  ASSERT_GT(readlink(("/proc/self/fd/" + std::to_string(fileno(fp))).c_str(), target, sizeof target - 1), 0);
  const char* tmp = getenv("TMPDIR");
  EXPECT_EQ(std::string(target).rfind(tmp && *tmp ? tmp : "/tmp", 0), 0u) << target;
  EXPECT_EQ(OpenTempFiles(), before + 1);
  fclose(fp);
  EXPECT_EQ(OpenTempFiles(), before);
}

class CacheTest : public ::testing::Test {
 protected:
  FakeBackend fake;
  DRV* drv = &fake.drv;
  handle_t hCursor = 0;

  void SetUp() override {
    ::Connect req{};
    handle_t c = 0;
    ASSERT_EQ(fake.ops.connect(fake.hServer, &req, &c), ER_SUCCESS);
    ASSERT_EQ(fake.ops.cursor(c, &hCursor), ER_SUCCESS);
  }
  // (INTEGER, VARCHAR(20), DOUBLE) rows numbered from 0.
  void Rows(sgn32 n) {
    fake.rows = n;
    fake.fetched = 0;
    fake.shape = {{CTYPE_SGN32, 4}, {CTYPE_VCHR, Dataset_SizeCol(CTYPE_VCHR, 20)}, {CTYPE_FLT64, 8}};
    fake.fillRow = [](sgn32 row, Dataset* ds, sgn32 at) {
      memcpy(Coldata_Cell(&ds->col[0], uint64_t(at)), &row, 4);
      ds->col[0].indicators[at] = 0;
      snprintf(Coldata_Cell(&ds->col[1], uint64_t(at)), 20, "row %d", row);
      ds->col[1].indicators[at] = row % 7 == 3 ? -1 : 0;
      double d = row / 4.0;
      memcpy(Coldata_Cell(&ds->col[2], uint64_t(at)), &d, 8);
      ds->col[2].indicators[at] = 0;
    };
  }
  static sgn32 FirstRow(const Dataset& ds) {
    sgn32 v;
    memcpy(&v, Coldata_Cell(&ds.col[0], 0), 4);
    return v;
  }
};

TEST_F(CacheTest, SpillBoundary) {
  struct Case {
    sgn32 n;
    int state;
    sgn32 inMemory;
  } cases[] = {{0, DSC_IN_MEMORY, 0},
               {199, DSC_IN_MEMORY, 199},
               {5000, DSC_IN_MEMORY, 5000},
               {5001, DSC_SPILLED, 0},
               {12345, DSC_SPILLED, 0}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.n);
    Rows(k.n);
    DSCache cache;
    DSC_Init(&cache);
    Dataset ds{};
    sgn32 count = -7;
    const int before = OpenTempFiles();
    test_support::LogCapture log;
    char self[64];
    snprintf(self, sizeof self, "%p", static_cast<void*>(&cache));
    ASSERT_EQ(DSC_Fill(&cache, drv, hCursor, &ds, &count), ER_SUCCESS);
    EXPECT_EQ(log.HasExact(LOG_DEBUG, std::string("dsc_Open: Opened temporary files for pDSC=") + self),
              k.state == DSC_SPILLED)
        << log.Dump();
    EXPECT_EQ(count, k.n);
    EXPECT_EQ(cache.fState, k.state);
    EXPECT_EQ(ds.nRows, k.inMemory);
    EXPECT_EQ(OpenTempFiles(), before + (k.state == DSC_SPILLED ? 2 : 0));
    if (k.state == DSC_SPILLED) {
      // Every row comes back from the files, in order, through windows.
      sgn32 pos = -1;
      for (sgn32 r = 0; r < k.n; r += 997) {
        ASSERT_EQ(DSC_SyncWindowPos(&cache, r, 1, &pos, &ds), ER_SUCCESS);
        EXPECT_EQ(CellText(ds, 0, r - pos), std::to_string(r));
        EXPECT_EQ(CellText(ds, 1, r - pos), r % 7 == 3 ? "NULL" : "row " + std::to_string(r));
      }
      EXPECT_EQ(ds.nCols, 3);
    }
    DSC_Close(&cache);
    EXPECT_EQ(log.HasExact(LOG_DEBUG, std::string("DSC_Close: Closed temporary files for pDSC=") + self),
              k.state == DSC_SPILLED)
        << log.Dump();
    EXPECT_EQ(OpenTempFiles(), before);
    Dataset_Done(&ds);
  }
}

TEST_F(CacheTest, WindowCentresOnTheRowset) {
  Rows(20000);
  DSCache cache;
  DSC_Init(&cache);
  Dataset win{};
  ASSERT_EQ(DSC_Fill(&cache, drv, hCursor, &win, nullptr), ER_SUCCESS);
  struct Case {
    sgn32 row;
    uns32 rowset;
    sgn32 position;  // after the call
    uns32 winSize;
    sgn32 rows;  // in the window
  } cases[] = {
      {7000, 10, 4505, 5000, 5000},     // a fresh window around the rowset
      {7100, 10, 4505, 5000, 5000},     // covered already: nothing read
      {100, 10, 0, 5000, 5000},         // not below row 0
      {19995, 10, 17500, 5000, 2500},   // the end of the result
      {10000, 3000, 8500, 6000, 6000},  // a large rowset widens the window
  };
  sgn32 pos = -1;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.row);
    ASSERT_EQ(DSC_SyncWindowPos(&cache, k.row, k.rowset, &pos, &win), ER_SUCCESS);
    EXPECT_EQ(pos, k.position);
    EXPECT_EQ(cache.WinSize, k.winSize);
    EXPECT_EQ(win.nRows, k.rows);
    EXPECT_EQ(FirstRow(win), k.position);
  }
  DSC_Close(&cache);
  Dataset_Done(&win);
}

TEST_F(CacheTest, WindowOfACacheThatNeverSpilled) {
  // The window holds the rows it holds: a rowset inside them is served
  // whatever the window size says; one past them is not.
  Rows(5000);
  DSCache cache;
  DSC_Init(&cache);
  Dataset win{};
  ASSERT_EQ(DSC_Fill(&cache, drv, hCursor, &win, nullptr), ER_SUCCESS);
  struct Case {
    sgn32 row;
    uns32 rowset;
    errcode_t rc;
  } cases[] = {{4990, 100, ER_SUCCESS},
               {4999, 1, ER_SUCCESS},
               {0, 3000, ER_SUCCESS},
               {5000, 10, ER_SUCCESS},
               {5001, 10, ER_GENERAL_ERROR}};
  for (const Case& k : cases) {
    sgn32 pos = 0;
    EXPECT_EQ(DSC_SyncWindowPos(&cache, k.row, k.rowset, &pos, &win), k.rc) << k.row;
    EXPECT_EQ(pos, 0);
  }
  DSC_Close(&cache);
  Dataset_Done(&win);
}

TEST_F(CacheTest, SnapshotRowsets) {
  struct Case {
    sgn32 n;
    uns32 count;
    std::vector<sgn32> sizes;  // sequential fetches until an empty one
  } cases[] = {
      {25, 10, {10, 10, 5, 0}},
      {5000, 100, std::vector<sgn32>(50, 100)},  // exactly the memory limit: the last rowset too
      {5000, 3000, {3000, 2000, 0}},             // a rowset past 2,500 rows in memory
      {5003, 1000, {1000, 1000, 1000, 1000, 1000, 3, 0}},
  };
  cases[1].sizes.push_back(0);
  for (const Case& k : cases) {
    SCOPED_TRACE(std::to_string(k.n) + "/" + std::to_string(k.count));
    Rows(k.n);
    PSNPSHT ss = nullptr;
    ASSERT_EQ(SS_Create(&ss), ER_SUCCESS);
    sgn32 total = 0;
    ASSERT_EQ(SS_GetRsltSet(ss, drv, hCursor, &total), ER_SUCCESS);
    EXPECT_EQ(total, k.n);
    // A fetch from a given row; sequential fetches go on from it.
    Dataset* out = nullptr;
    ASSERT_EQ(SS_Fetch(ss, k.n - 2, 5, &out), ER_SUCCESS);
    EXPECT_EQ(out->nRows, 2);
    EXPECT_EQ(FirstRow(*out), k.n - 2);
    Dataset_Done(out);
    ASSERT_EQ(SS_Fetch(ss, -1, 1, &out), ER_SUCCESS);
    EXPECT_EQ(FirstRow(*out), k.n - 2);
    Dataset_Done(out);
    free(out);
    ss->CursPosition = 0;
    std::vector<sgn32> sizes;
    sgn32 expectFirst = 0;
    for (size_t i = 0; i < k.sizes.size() + 2 && (sizes.empty() || sizes.back() != 0); i++) {
      Dataset* got = nullptr;
      ASSERT_EQ(SS_Fetch(ss, -1, k.count, &got), ER_SUCCESS);
      sizes.push_back(got->nRows);
      if (got->nRows) {
        EXPECT_EQ(FirstRow(*got), expectFirst);
        EXPECT_EQ(CellText(*got, 0, got->nRows - 1), std::to_string(expectFirst + got->nRows - 1));
      }
      expectFirst += got->nRows;
      Dataset_Done(got);
      free(got);
    }
    EXPECT_EQ(sizes, k.sizes);
    SS_Destroy(&ss);
    EXPECT_EQ(ss, nullptr);
  }
}

TEST_F(CacheTest, FetchErrorsEndTheFill) {
  Rows(1000);
  fake.fail["fetch"] = {ER_SUCCESS, ER_SUCCESS, ER_COMM_FAILURE};
  PSNPSHT ss = nullptr;
  ASSERT_EQ(SS_Create(&ss), ER_SUCCESS);
  sgn32 n = 0;
  test_support::LogCapture log;
  EXPECT_EQ(SS_GetRsltSet(ss, drv, hCursor, &n), ER_COMM_FAILURE);
  EXPECT_TRUE(log.HasExact(LOG_ERR, "SS_GetRsltSet: Could not fill dataset cache")) << log.Dump();
  EXPECT_EQ(n, 400);
  SS_Destroy(&ss);
  DSCache cache;
  DSC_Init(&cache);
  EXPECT_EQ(DSC_Fill(&cache, drv, hCursor, nullptr, nullptr), ER_GENERAL_ERROR);
  Dataset out{};
  EXPECT_EQ(dsc_Fetch(&cache, &out, 0), ER_GENERAL_ERROR) << "the cache never spilled";
}

}  // namespace
}  // namespace engine_test
