// Keysets over the scriptable fake backend: the key sources and their catalog
// reads, the key cache, the exact SQL of the key statements, the parameter
// rows, the split of a rowset into keyed SELECTs and the whole keyset read.
#include <map>

#include "cursors/discovery.h"
#include "cursors/ds_cache.h"
#include "cursors/engine_fixture.h"
#include "cursors/keyset.h"
#include "fixtures/engine/fake_backend.h"
#include "fixtures/support/log_capture.h"
#include "util/fault.h"
#include "util/hashtab.h"

namespace engine_test {
namespace {

// Typed catalog results for the key sources, served in batches of at most
// `batch` rows. Column types by letter: v text, h 16-bit, l 32-bit integer.
struct Catalog {
  std::map<std::string, std::vector<std::vector<std::string>>> results;
  const char* shape = "";
  std::vector<std::vector<std::string>> rows;
  size_t at = 0;
  bool active = false;
  uns16 batch = 0xFFFF;
  FakeBackend* fake = nullptr;
  drv_ops inner{};
};
Catalog* g_cat = nullptr;

const char* kSpShape = "hvhvllhh";
const char* kStShape = "vvvhvvhhvvllv";
const char* kPkShape = "vvvvhv";
const char* kColShape = "vvvvhvllh";

std::string Text(const char* s) { return s ? s : "null"; }

// A rebuilt statement keeps the analyser's own spacing: runs of blanks outside
// literals are compared as one, with none before a comma, a semicolon or at
// the ends.
std::string Squeeze(const char* sql) {
  std::string out;
  bool quoted = false;
  for (const char* p = sql ? sql : ""; *p; p++) {
    if (*p == '\'') quoted = !quoted;
    if (!quoted && *p == ' ') {
      if (!out.empty() && out.back() != ' ') out += ' ';
      continue;
    }
    if (!quoted && (*p == ',' || *p == ';') && !out.empty() && out.back() == ' ') out.pop_back();
    out += *p;
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

errcode_t Serve(const std::string& call, const std::string& key, const char* shape) {
  g_cat->fake->calls.push_back(call);
  if (errcode_t e = g_cat->fake->Forced(call.substr(0, call.find(' ')))) return e;
  g_cat->active = true;
  g_cat->shape = shape;
  g_cat->rows = g_cat->results.count(key) ? g_cat->results[key] : std::vector<std::vector<std::string>>{};
  g_cat->at = 0;
  return ER_SUCCESS;
}

errcode_t SpCols(handle_t, DDSpecialColumns* a) {
  return Serve("ddSpecialColumns " + Text(a->tableOwner) + " " + Text(a->tableName) + " " +
                   std::to_string(a->colType) + std::to_string(a->scope) + std::to_string(a->nullable),
               "sp " + Text(a->tableName), kSpShape);
}
errcode_t Stats(handle_t, DDStatistics* a) {
  return Serve("ddStatistics " + Text(a->tableOwner) + " " + Text(a->tableName) + " " +
                   std::to_string(a->unique) + std::to_string(a->accuracy),
               "st " + Text(a->tableName), kStShape);
}
errcode_t PKeys(handle_t, DDPrimaryKeys* a) {
  return Serve("ddPrimaryKeys " + Text(a->tableOwner) + " " + Text(a->tableName), "pk " + Text(a->tableName),
               kPkShape);
}
errcode_t Columns(handle_t, DDColumns* a) {
  return Serve("ddColumns " + Text(a->tableQualifier) + " " + Text(a->tableOwner) + " " + Text(a->tableName) +
                   " " + Text(a->columnName),
               "col " + Text(a->tableName) + " " + Text(a->columnName), kColShape);
}

errcode_t Fetch(handle_t h, uns16 maxRows, Dataset* ds) {
  if (!g_cat->active) return g_cat->inner.fetch(h, maxRows, ds);
  g_cat->fake->calls.push_back("fetch " + HandleText(h) + " " + std::to_string(maxRows));
  if (errcode_t e = g_cat->fake->Forced("fetch")) return e;
  size_t n = std::min<size_t>({g_cat->rows.size() - g_cat->at, maxRows, g_cat->batch});
  const uns16 cols = uns16(strlen(g_cat->shape));
  Dataset_Init(ds, cols);
  ds->nCols = cols;
  for (uns16 c = 0; c < cols; c++) {
    const char t = g_cat->shape[c];
    ds->col[c].cType = t == 'h' ? CTYPE_SGN16 : t == 'l' ? CTYPE_SGN32 : CTYPE_VCHR;
    ds->col[c].width = t == 'h' ? 2 : t == 'l' ? 4 : Dataset_SizeCol(CTYPE_VCHR, 128);
  }
  Dataset_AllocColumns(ds, sgn32(n));
  for (size_t r = 0; r < n; r++, g_cat->at++) {
    const auto& row = g_cat->rows[g_cat->at];
    for (uns16 c = 0; c < cols && c < row.size(); c++) {
      if (row[c] == "NULL") continue;
      char* cell = Coldata_Cell(&ds->col[c], r);
      if (ds->col[c].cType == CTYPE_SGN16) {
        sgn16 x = sgn16(atoi(row[c].c_str()));
        memcpy(cell, &x, 2);
      } else if (ds->col[c].cType == CTYPE_SGN32) {
        sgn32 x = atoi(row[c].c_str());
        memcpy(cell, &x, 4);
      } else {
        strncpy(cell, row[c].c_str(), 128);
      }
      ds->col[c].indicators[r] = 0;
    }
  }
  ds->nRows = sgn32(n);
  return ER_SUCCESS;
}

errcode_t Prepare(handle_t h, char* sql) {
  g_cat->active = false;
  return g_cat->inner.prepare(h, sql);
}
errcode_t Execute(handle_t h) {
  g_cat->active = false;
  return g_cat->inner.execute(h);
}

// Catalog rows: special columns (name, type, precision, scale, pseudo).
std::vector<std::string> Sp(const char* name, int type = 4, int prec = 10, int scale = 0, int pseudo = 1) {
  return {"2",
          name,
          std::to_string(type),
          "T",
          std::to_string(prec),
          "4",
          std::to_string(scale),
          std::to_string(pseudo)};
}
// Statistics (unique-index row: sequence, column name; NULL name for the table row).
std::vector<std::string> St(const char* seq, const char* name) {
  return {"NULL", "NULL", "t", "0", "NULL", "ix", "3", seq, name, "A", "NULL", "NULL", "NULL"};
}
std::vector<std::string> Pk(const char* name) { return {"NULL", "NULL", "t", name, "1", "pk"}; }
std::vector<std::string> Col(int type, int prec, int scale = 0) {
  return {
      "NULL", "NULL", "t", "c", std::to_string(type), "T", std::to_string(prec), "4", std::to_string(scale)};
}

class KeysetTest : public ::testing::Test {
 protected:
  FakeBackend fake;
  Catalog cat;
  struct Patch {
    Patch(FakeBackend& f, Catalog& c) {
      g_cat = &c;
      c.fake = &f;
      c.inner = f.ops;
      f.ops.ddSpecialColumns = SpCols;
      f.ops.ddStatistics = Stats;
      f.ops.ddPrimaryKeys = PKeys;
      f.ops.ddColumns = Columns;
      f.ops.fetch = Fetch;
      f.ops.prepare = Prepare;
      f.ops.execute = Execute;
    }
    ~Patch() { g_cat = nullptr; }
  } patch{fake, cat};
  EngineOver engine{fake.drv};
  handle_t hConn = 0, hCurs = 0;
  TSCCL* s = nullptr;

  void SetUp() override {
    ::Connect req{};
    ASSERT_EQ(engine.ops().connect(fake.hServer, &req, &hConn), ER_SUCCESS);
    ASSERT_EQ(engine.ops().cursor(hConn, &hCurs), ER_SUCCESS);
    s = &ODBC_CursorRec(hCurs)->st_sccl;
    ASSERT_NE(s->pKeySet, nullptr);
    s->idQuoteChar = 0;
    fake.Take();
  }
  void TearDown() override { fake.EndAll(); }

  // The analysis a prepare leaves: request, tables and ORDER BY columns.
  errcode_t Analyse(const std::string& sql) {
    free(s->pszSQL);
    s->pszSQL = strdup(sql.c_str());
    s->f_state = 0;
    errcode_t rc = SCR_AnalyseSQL(&s->Rqst, sql.c_str(), 0, 0);
    if (rc != ER_SUCCESS) return rc;
    alist_Dealloc(&s->pLS_RefdTables, TableDescDestroy);
    alist_Dealloc(&s->pLS_OrdrCols, nullptr);
    s->pLS_RefdTables = alist_Alloc(sizeof(TableDesc));
    if ((rc = SCR_TablesGet(&s->Rqst, s->pLS_RefdTables, 0)) != ER_SUCCESS) return rc;
    if (s->Rqst.flags & SCR_F_ORDER_BY) {
      s->pLS_OrdrCols = alist_Alloc(sizeof(SCOrdrColDesc));
      if ((rc = SCR_OrderingColsGet(&s->Rqst, s->pLS_OrdrCols)) != ER_SUCCESS) return rc;
    }
    return ER_SUCCESS;
  }
  errcode_t Keys() { return KS_GetKeyColDescs(s, s->pLS_RefdTables); }
  void ResetKeyCache() {
    _Connect* c = ODBC_ConnectRec(hConn);
    VYR_htmap(static_cast<HTTABLE*>(c->keyCache), DestroyKeyCache, nullptr);
    VYR_htfree(static_cast<HTTABLE*>(c->keyCache));
    c->keyCache = VYR_htinit(101, 16);
  }
  // Marks the keys that are ORDER BY columns, as the prepare does.
  void MarkOrderByKeys() {
    alist_t* keys = s->pKeySet->pLS_KeyCols;
    for (unsigned k = 0; keys && k < keys->cUsed; k++)
      static_cast<SCColDesc*>(alist_At(keys, k))->iOrdrBy = 0;
    for (unsigned i = 0; s->pLS_OrdrCols && i < s->pLS_OrdrCols->cUsed; i++) {
      auto* o = static_cast<SCOrdrColDesc*>(alist_At(s->pLS_OrdrCols, i));
      for (unsigned k = 0; k < keys->cUsed; k++) {
        auto* d = static_cast<SCColDesc*>(alist_At(keys, k));
        if (strcmp(d->col_name, o->col_name) == 0 &&
            (!o->tbl_name[0] || strcmp(o->tbl_name, d->tbl_alias) == 0 ||
             strcmp(o->tbl_name, d->tbl_name) == 0)) {
          d->iOrdrBy = uns8(i + 1);
          break;
        }
      }
    }
  }
  errcode_t Prepared(const std::string& sql) {
    errcode_t rc = Analyse(sql);
    if (rc == ER_SUCCESS) rc = Keys();
    if (rc == ER_SUCCESS) MarkOrderByKeys();
    return rc;
  }
  std::vector<std::string> KeyList() {
    std::vector<std::string> out;
    alist_t* keys = s->pKeySet->pLS_KeyCols;
    for (unsigned k = 0; keys && k < keys->cUsed; k++) {
      auto* d = static_cast<SCColDesc*>(alist_At(keys, k));
      std::string t = d->tbl_alias[0] ? std::string(d->tbl_alias) + "." : "";
      out.push_back(t + d->col_name + ":" + std::to_string(d->SQLType) + ":" + std::to_string(d->precision) +
                    ":" + std::to_string(d->scale));
    }
    return out;
  }
  size_t CatalogCalls() {
    size_t n = 0;
    for (const auto& c : fake.calls)
      if (c.rfind("dd", 0) == 0) n++;
    return n;
  }
  // Integer keys 0..n-1 for the fake's plain results.
  void IntRows(sgn32 n) {
    fake.rows = n;
    fake.fetched = 0;
    fake.shape = {{CTYPE_SGN32, 4}};
    fake.fillRow = [](sgn32 row, Dataset* ds, sgn32 at) {
      memcpy(Coldata_Cell(&ds->col[0], uint64_t(at)), &row, 4);
      ds->col[0].indicators[at] = 0;
    };
  }
};

TEST_F(KeysetTest, CreateDestroyClose) {
  PKSET ks = nullptr;
  EXPECT_EQ(KS_Create(nullptr), ER_GENERAL_ERROR);
  ASSERT_EQ(KS_Create(&ks), ER_SUCCESS);
  ASSERT_NE(ks->pDataset, nullptr);
  EXPECT_EQ(ks->KSC.fState, DSC_IN_MEMORY);
  KS_Close(ks);
  KS_Destroy(&ks);
  EXPECT_EQ(ks, nullptr);
  KS_Destroy(&ks);  // a null keyset is ignored
  vyr_fault_inject(1);
  EXPECT_EQ(KS_Create(&ks), ER_NO_MEMORY);
  vyr_fault_inject(-1);
  EXPECT_EQ(ks, nullptr);
}

TEST_F(KeysetTest, KeySourcesInTurn) {
  struct Case {
    const char* name;
    std::vector<std::vector<std::string>> sp, st, pk;
    std::vector<std::string> keys;
    errcode_t rc;
    std::vector<std::string> calls;  // catalog operations in order
  };
  const std::vector<std::vector<std::string>> none;
  const Case cases[] = {
      {"special columns", {Sp("K", 4, 10)}, none, none, {"K:4:10:0"}, ER_SUCCESS, {"ddSpecialColumns"}},
      {"special decimal keeps scale",
       {Sp("D", 3, 12, 2), Sp("E", 4, 10, 7)},
       none,
       none,
       {"D:3:12:2", "E:4:10:0"},
       ER_SUCCESS,
       {"ddSpecialColumns"}},
      {"first unique index only",
       none,
       {St("NULL", "NULL"), St("1", "A"), St("2", "B"), St("1", "C")},
       none,
       {"A:4:10:0", "B:12:20:0"},
       ER_SUCCESS,
       {"ddSpecialColumns", "ddStatistics", "ddColumns", "ddColumns"}},
      {"primary key",
       none,
       none,
       {Pk("P")},
       {"P:4:10:0"},
       ER_SUCCESS,
       {"ddSpecialColumns", "ddStatistics", "ddPrimaryKeys", "ddColumns"}},
      {"no keys anywhere",
       none,
       none,
       none,
       {},
       ER_NO_KEYS,
       {"ddSpecialColumns", "ddStatistics", "ddPrimaryKeys"}},
      {"empty names skipped",
       {Sp("")},
       none,
       {Pk("P")},
       {"P:4:10:0"},
       ER_SUCCESS,
       {"ddSpecialColumns", "ddStatistics", "ddPrimaryKeys", "ddColumns"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cat.results = {{"sp T", c.sp},
                   {"st T", c.st},
                   {"pk T", c.pk},
                   {"col T A", {Col(4, 10)}},
                   {"col T B", {Col(12, 20)}},
                   {"col T P", {Col(4, 10)}}};
    // A fresh connection: nothing cached.
    fake.EndAll();
    ::Connect req{};
    ASSERT_EQ(engine.ops().connect(fake.hServer, &req, &hConn), ER_SUCCESS);
    ASSERT_EQ(engine.ops().cursor(hConn, &hCurs), ER_SUCCESS);
    s = &ODBC_CursorRec(hCurs)->st_sccl;
    fake.Take();
    EXPECT_EQ(Prepared("SELECT A FROM T"), c.rc);
    std::vector<std::string> calls;
    for (const auto& l : fake.calls)
      if (l.rfind("dd", 0) == 0) calls.push_back(l.substr(0, l.find(' ')));
    EXPECT_EQ(calls, c.calls);
    if (c.rc == ER_SUCCESS) {
      EXPECT_EQ(KeyList(), c.keys);
    }
  }
}

TEST_F(KeysetTest, EveryTableOfAJoinNeedsKeys) {
  struct Case {
    const char* name;
    std::map<std::string, std::vector<std::vector<std::string>>> results;
    errcode_t rc;
    std::vector<std::string> keys;
  };
  const std::vector<std::vector<std::string>> nameless = {Sp("")};
  const Case cases[] = {
      // Special columns answer for T only (a row without a name for U): U's index is asked for.
      {"next source for the rest",
       {{"sp T", {Sp("K")}}, {"sp U", nameless}, {"st U", {St("1", "J")}}, {"col U J", {Col(4, 10)}}},
       ER_SUCCESS,
       {"a.K:4:10:0", "b.J:4:10:0"}},
      {"the statistics answer for the first table only",
       {{"st T", {St("1", "A")}},
        {"st U", nameless},
        {"pk U", {Pk("P")}},
        {"col T A", {Col(4, 10)}},
        {"col U P", {Col(4, 10)}}},
       ER_SUCCESS,
       {"a.A:4:10:0", "b.P:4:10:0"}},
      {"a table no source answers for", {{"sp T", {Sp("K")}}, {"sp U", nameless}}, ER_NO_KEYS, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetKeyCache();
    cat.results = c.results;
    EXPECT_EQ(Prepared("SELECT a.x FROM T a, U b"), c.rc);
    if (c.rc == ER_SUCCESS) {
      EXPECT_EQ(KeyList(), c.keys);
    }
  }
}

TEST_F(KeysetTest, CatalogArgumentsAndQuoting) {
  s->idQuoteChar = '"';
  cat.results = {{"sp t x", {Sp("k\"q"), Sp("ROWID", 4, 10, 0, 2)}}};
  ASSERT_EQ(Analyse("SELECT a FROM \"o\".\"t x\""), ER_SUCCESS);
  ASSERT_EQ(Keys(), ER_SUCCESS);
  // Names unquoted for the catalog; keys quoted (embedded quote doubled), pseudo-columns as they are.
  EXPECT_EQ(fake.calls[1], "ddSpecialColumns o t x 100");
  EXPECT_EQ(KeyList(), (std::vector<std::string>{"\"k\"\"q\":4:10:0", "ROWID:4:10:0"}));
  EXPECT_EQ(s->pKeySet->cRefdTables, 1);
}

TEST_F(KeysetTest, ShortCatalogBatchesLoseNoKey) {
  cat.results = {{"st T", {St("NULL", "NULL"), St("1", "A"), St("2", "B"), St("3", "C")}},
                 {"col T A", {Col(4, 10)}},
                 {"col T B", {Col(4, 10)}},
                 {"col T C", {Col(4, 10)}}};
  for (uns16 batch : {uns16(1), uns16(3), uns16(0xFFFF)}) {
    SCOPED_TRACE(batch);
    cat.batch = batch;
    ResetKeyCache();
    ASSERT_EQ(Prepared("SELECT A FROM T"), ER_SUCCESS);
    EXPECT_EQ(KeyList(), (std::vector<std::string>{"A:4:10:0", "B:4:10:0", "C:4:10:0"}));
  }
}

TEST_F(KeysetTest, ColumnLookupMustGiveOneRow) {
  for (size_t n : {size_t(0), size_t(2)}) {
    SCOPED_TRACE(n);
    cat.results = {{"pk T", {Pk("P")}}, {"col T P", std::vector<std::vector<std::string>>(n, Col(4, 10))}};
    ASSERT_EQ(Analyse("SELECT P FROM T"), ER_SUCCESS);
    EXPECT_EQ(Keys(), ER_GENERAL_ERROR);
  }
  // A failing lookup is answered as it is.
  cat.results = {{"pk T", {Pk("P")}}};
  fake.fail["ddColumns"] = {ER_DRV_NOT_CAPABLE};
  EXPECT_EQ(Keys(), ER_DRV_NOT_CAPABLE);
  fake.fail["ddSpecialColumns"] = {ER_DRV_NO_SUPPORT};
  EXPECT_EQ(Keys(), ER_DRV_NO_SUPPORT);
}

// Each failing catalog step of the key discovery answers its error and logs
// its own line at the error level.
TEST_F(KeysetTest, CatalogFailuresLogTheirLine) {
  const errcode_t X = ER_DRV_NO_SUPPORT;
  const std::vector<std::vector<std::string>> none;
  struct Case {
    std::vector<std::vector<std::string>> sp, pk, col;
    std::map<std::string, std::vector<errcode_t>> fail;
    errcode_t rc;
    const char* line;
  } cases[] = {
      {{Sp("K")},
       none,
       none,
       {{"ddSpecialColumns", {X}}},
       X,
       "KS_GetKeyColDescs_SpCols: DRV_DDSpecialColumns failed."},
      {{Sp("K")},
       none,
       none,
       {{"fetch", {X}}},
       X,
       "KS_GetKeyColDescs_SpCols: Couldn't fetch column descriptors."},
      {none, none, none, {{"ddStatistics", {X}}}, X, "KS_GetKeyColDescs_Stats: DRV_DDStatistics failed."},
      {none,
       none,
       none,
       {{"fetch", {ER_SUCCESS, X}}},
       X,
       "KS_GetKeyColDescs_Stats: Couldn't fetch column descriptors."},
      {none, none, none, {{"ddPrimaryKeys", {X}}}, X, "KS_GetKeyColDescs_PKeys: DRV_DDPrimaryKeys failed."},
      {none,
       none,
       none,
       {{"fetch", {ER_SUCCESS, ER_SUCCESS, X}}},
       X,
       "KS_GetKeyColDescs_PKeys: Couldn't fetch column descriptors."},
      {none, {Pk("P")}, {Col(4, 10)}, {{"ddColumns", {X}}}, X, "KS_GetKeyColDescs: DRV_DDColumns failed."},
      {none,
       {Pk("P")},
       {Col(4, 10)},
       {{"fetch", {ER_SUCCESS, ER_SUCCESS, ER_SUCCESS, ER_SUCCESS, X}}},
       X,
       "KS_GetKeyColDescs: Couldn't fetch column descriptors."},
      {none,
       {Pk("P")},
       {Col(4, 10), Col(4, 10)},
       {},
       ER_GENERAL_ERROR,
       "KS_GetKeyColDescs: Too many column descriptors!"},
  };
  // Catalog results are read until an empty batch: the primary key's row
  // takes two fetches, the empty results one each.
  test_support::LogCapture log;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    cat.results = {{"sp T", c.sp}, {"pk T", c.pk}, {"col T P", c.col}};
    ResetKeyCache();
    ASSERT_EQ(Analyse("SELECT A FROM T"), ER_SUCCESS);
    fake.fail = c.fail;
    log.Clear();
    EXPECT_EQ(Keys(), c.rc);
    EXPECT_TRUE(log.HasExact(LOG_ERR, c.line)) << log.Dump();
  }
  fake.fail.clear();
}

TEST_F(KeysetTest, KeyCacheByTablesWithTheStatementsAliases) {
  cat.results = {
      {"sp T", {Sp("K")}}, {"sp U", {Sp("J"), Sp("I")}}, {"sp c", {Sp("X")}}, {"sp bc", {Sp("Y")}}};
  ASSERT_EQ(Prepared("SELECT a.x FROM T a, U b"), ER_SUCCESS);
  EXPECT_EQ(CatalogCalls(), 2u);
  EXPECT_EQ(KeyList(), (std::vector<std::string>{"a.K:4:10:0", "b.J:4:10:0", "b.I:4:10:0"}));
  fake.Take();
  // The same tables under other aliases: from the cache, written with the new aliases.
  ASSERT_EQ(Prepared("SELECT p.x FROM T p, U q"), ER_SUCCESS);
  EXPECT_EQ(CatalogCalls(), 0u);
  EXPECT_EQ(KeyList(), (std::vector<std::string>{"p.K:4:10:0", "q.J:4:10:0", "q.I:4:10:0"}));
  ASSERT_EQ(KS_KeySelectStmtBld_KSD(&s->Rqst, s->pKeySet), ER_SUCCESS);
  EXPECT_EQ(Squeeze(s->Rqst.translated), "SELECT p.K, q.J, q.I FROM T p, U q");
  // Other table orders and splits of the same letters are other entries.
  ASSERT_EQ(Prepared("SELECT x FROM U b, T a"), ER_SUCCESS);
  EXPECT_EQ(CatalogCalls(), 2u);
  fake.Take();
  ASSERT_EQ(Prepared("SELECT x FROM ab.c"), ER_SUCCESS);
  ASSERT_EQ(Prepared("SELECT x FROM a.bc"), ER_SUCCESS);
  EXPECT_EQ(CatalogCalls(), 2u);
  EXPECT_EQ(KeyList(), (std::vector<std::string>{"Y:4:10:0"}));
}

struct SqlCase {
  const char* sql;
  std::vector<std::string> keys;  // special columns per table: "T:K1,K2"
  uns16 maxOrderBy;
  const char* orderBy;    // after KS_OrderByClauseExtend
  const char* keySelect;  // key SELECT built on that
  const char* where2;     // predicate for two rows on the original
};

TEST_F(KeysetTest, KeyStatementsExactText) {
  const SqlCase cases[] = {
      {"SELECT A FROM T ORDER BY A",
       {"T:K"},
       0,
       "SELECT A FROM T ORDER BY A, K",
       "SELECT K FROM T ORDER BY A, K",
       "SELECT A FROM T WHERE ( K IN (?, ?) ) ORDER BY A"},
      {"SELECT A FROM T",
       {"T:K"},
       0,
       "SELECT A FROM T ORDER BY K",
       "SELECT K FROM T ORDER BY K",
       "SELECT A FROM T WHERE ( K IN (?, ?) )"},
      {"SELECT A, K FROM T ORDER BY K",
       {"T:K"},
       0,
       "SELECT A, K FROM T ORDER BY K",
       "SELECT K FROM T ORDER BY K",
       "SELECT A, K FROM T WHERE ( K IN (?, ?) ) ORDER BY K"},
      {"SELECT A FROM T ORDER BY A, B",
       {"T:K"},
       2,
       "SELECT A FROM T ORDER BY A, B",
       "SELECT K FROM T ORDER BY A, B",
       "SELECT A FROM T WHERE ( K IN (?, ?) ) ORDER BY A, B"},
      {"SELECT A FROM T WHERE A > 1 OR B = 'x'",
       {"T:K1,K2"},
       0,
       "SELECT A FROM T WHERE A > 1 OR B = 'x' ORDER BY K1, K2",
       "SELECT K1, K2 FROM T WHERE A > 1 OR B = 'x' ORDER BY K1, K2",
       "SELECT A FROM T WHERE ( K1 = ? AND K2 = ? OR K1 = ? AND K2 = ? ) AND (A > 1 OR B = 'x')"},
      {"SELECT a.X, b.Y FROM T a, U b WHERE a.X = b.Y ORDER BY b.Y",
       {"T:K", "U:J1,J2"},
       0,
       "SELECT a.X, b.Y FROM T a, U b WHERE a.X = b.Y ORDER BY b.Y, a.K, b.J1, b.J2",
       "SELECT a.K, b.J1, b.J2 FROM T a, U b WHERE a.X = b.Y ORDER BY b.Y, a.K, b.J1, b.J2",
       "SELECT a.X, b.Y FROM T a, U b WHERE ( a.K = ? AND b.J1 = ? AND b.J2 = ? OR a.K = ? AND b.J1 = ? AND "
       "b.J2 = ? ) AND (a.X = b.Y) ORDER BY b.Y"},
      {"SELECT a.K, X FROM T a, U ORDER BY a.K",
       {"T:K", "U:J"},
       2,
       "SELECT a.K, X FROM T a, U ORDER BY a.K, U.J",
       "SELECT a.K, U.J FROM T a, U ORDER BY a.K, U.J",
       "SELECT a.K, X FROM T a, U WHERE ( a.K = ? AND U.J = ? OR a.K = ? AND U.J = ? ) ORDER BY a.K"},
  };
  for (const SqlCase& c : cases) {
    SCOPED_TRACE(c.sql);
    cat.results.clear();
    for (const std::string& k : c.keys) {
      std::vector<std::vector<std::string>> rows;
      std::string list = k.substr(k.find(':') + 1);
      for (size_t p = 0; p != std::string::npos;) {
        size_t q = list.find(',', p);
        rows.push_back(Sp(list.substr(p, q == std::string::npos ? q : q - p).c_str()));
        p = q == std::string::npos ? q : q + 1;
      }
      cat.results["sp " + k.substr(0, k.find(':'))] = rows;
    }
    ResetKeyCache();
    ASSERT_EQ(Prepared(c.sql), ER_SUCCESS);
    s->maxOrderBy = c.maxOrderBy;
    ASSERT_EQ(KS_OrderByClauseExtend(&s->Rqst, s), ER_SUCCESS);
    EXPECT_EQ(Squeeze(s->Rqst.translated), c.orderBy);
    SC_Request r;
    SCR_Init(&r);
    ASSERT_EQ(SCR_AnalyseSQL(&r, s->Rqst.translated, 0, 0), ER_SUCCESS);
    ASSERT_EQ(KS_KeySelectStmtBld_KSD(&r, s->pKeySet), ER_SUCCESS);
    EXPECT_EQ(Squeeze(r.translated), c.keySelect);
    ASSERT_EQ(SCR_AnalyseSQL(&r, c.sql, 0, 0), ER_SUCCESS);
    ASSERT_EQ(KS_WhereClauseExtend_KSD(&r, s->pKeySet, 2), ER_SUCCESS);
    EXPECT_EQ(Squeeze(r.translated), c.where2);
    EXPECT_EQ(KS_WhereClauseExtend_KSD(&r, s->pKeySet, 0), ER_GENERAL_ERROR);
    SCR_Destroy(&r);
  }
}

TEST_F(KeysetTest, ClientTextIsNeverExpanded) {
  cat.results = {{"sp T", {Sp("K")}}};
  // A 0xFF byte (the expander's escape) inside a literal stays as written.
  const std::string sql = "SELECT A FROM T WHERE B = 'x\xff\x01\x01y'";
  ASSERT_EQ(Prepared(sql), ER_SUCCESS);
  ASSERT_EQ(KS_OrderByClauseExtend(&s->Rqst, s), ER_SUCCESS);
  EXPECT_EQ(Squeeze(s->Rqst.translated), sql + " ORDER BY K");
  SC_Request r;
  SCR_Init(&r);
  ASSERT_EQ(SCR_AnalyseSQL(&r, sql.c_str(), 0, 0), ER_SUCCESS);
  ASSERT_EQ(KS_WhereClauseExtend_KSD(&r, s->pKeySet, 1), ER_SUCCESS);
  EXPECT_EQ(Squeeze(r.translated), "SELECT A FROM T WHERE ( K IN (?) ) AND (B = 'x\xff\x01\x01y')");
  // The tag's own bytes inside a literal: the statement is refused, never spliced in the wrong place.
  const std::string tagged = "SELECT A FROM T WHERE B = 'x\x01\x01\x01y'";
  ASSERT_EQ(SCR_AnalyseSQL(&r, tagged.c_str(), 0, 0), ER_SUCCESS);
  EXPECT_EQ(KS_KeySelectStmtBld_KSD(&r, s->pKeySet), ER_GENERAL_ERROR);
  EXPECT_EQ(r.translated, nullptr);
  SCR_Destroy(&r);
}

Dataset* KeyRows(const std::vector<std::vector<const char*>>& rows, ctype_t type = CTYPE_VCHR,
                 precision_t width = 0) {
  Dataset* ds = static_cast<Dataset*>(calloc(1, sizeof(Dataset)));
  const uns16 cols = uns16(rows[0].size());
  Dataset_Init(ds, cols);
  ds->nCols = cols;
  for (uns16 c = 0; c < cols; c++) {
    ds->col[c].cType = type;
    ds->col[c].width = width ? width : Dataset_SizeCol(type, 10);
  }
  Dataset_AllocColumns(ds, sgn32(rows.size()));
  for (size_t r = 0; r < rows.size(); r++)
    for (uns16 c = 0; c < cols; c++) {
      if (!rows[r][c]) continue;
      if (type == CTYPE_WVCHR || type == CTYPE_WCHR) {
        wchar_t* w = reinterpret_cast<wchar_t*>(Coldata_Cell(&ds->col[c], r));
        for (size_t i = 0; rows[r][c][i]; i++) w[i] = wchar_t(rows[r][c][i]);
      } else {
        memcpy(Coldata_Cell(&ds->col[c], r), rows[r][c], strlen(rows[r][c]));
      }
      ds->col[c].indicators[r] = 0;
    }
  ds->nRows = sgn32(rows.size());
  return ds;
}

void FreeDs(Dataset* ds) {
  Dataset_Done(ds);
  free(ds);
}

std::string RowText(const Dataset* ds) {
  std::string out;
  for (uns16 c = 0; c < ds->nCols; c++) out += (c ? "," : "") + CellText(*ds, c, 0);
  return out;
}

TEST_F(KeysetTest, KeyParamRows) {
  Dataset* keys = KeyRows({{"a", "1"}, {"b", nullptr}, {"c", "3"}, {"d", "4"}});
  struct Case {
    uns32 start, fill, match;
    int omit;
    const char* row;
    uns16 nullCols;
  };
  const Case cases[] = {
      {0, 2, 2, 0, "a,1,b,NULL", 0},  {2, 4, 2, 0, "c,3,d,4,d,4,d,4", 0},  // the last matched row repeats
      {3, 3, 3, 0, "d,4,d,4,d,4", 0},  // no rows beyond the last one present
      {0, 3, 3, 1, "a,b,c", 1},        // the column with a NULL is left out
      {2, 2, 2, 1, "c,3,d,4", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row);
    Dataset* row = nullptr;
    uns16 nNull = 99;
    uns16* flags = nullptr;
    ASSERT_EQ(KS_KeyParamDsetBld(keys, c.start, c.fill, c.match, &row, 0, 0, c.omit, &nNull, &flags),
              ER_SUCCESS);
    EXPECT_EQ(RowText(row), c.row);
    EXPECT_EQ(row->nRows, 1);
    if (c.omit) {
      EXPECT_EQ(nNull, c.nullCols);
      EXPECT_EQ(flags[1], c.nullCols ? 1 : 0);
    }
    // NUL-terminated text cells are as wide as their text and terminator.
    EXPECT_EQ(row->col[0].width, 2);
    free(flags);
    FreeDs(row);
  }
  Dataset* row = nullptr;
  EXPECT_EQ(KS_KeyParamDsetBld(keys, 0, 1, 2, &row, 0, 0, 0, nullptr, nullptr), ER_GENERAL_ERROR);
  EXPECT_EQ(KS_KeyParamDsetBld(keys, 0, 0, 0, &row, 0, 0, 0, nullptr, nullptr), ER_GENERAL_ERROR);
  EXPECT_EQ(KS_KeyParamDsetBld(keys, 0, 2, 2, &row, 0, 0, 1, nullptr, nullptr), ER_GENERAL_ERROR);
  EXPECT_EQ(KS_KeyParamDsetBld(nullptr, 0, 2, 2, &row, 0, 0, 0, nullptr, nullptr), ER_GENERAL_ERROR);
  FreeDs(keys);

  // Widths of fixed and wide text by the two terminator switches.
  struct Width {
    ctype_t type;
    precision_t width;
    int terminate, terminated;
    precision_t want;
  };
  const Width widths[] = {
      {CTYPE_CHR, 8, 0, 0, 8},    {CTYPE_CHR, 8, 1, 0, 9},     {CTYPE_CHR, 8, 0, 1, 3},
      {CTYPE_CHR, 8, 1, 1, 4},    {CTYPE_WCHR, 32, 0, 1, 12},  {CTYPE_WCHR, 32, 1, 1, 16},
      {CTYPE_WCHR, 32, 1, 0, 36}, {CTYPE_WVCHR, 44, 0, 0, 16},
  };
  for (const Width& w : widths) {
    SCOPED_TRACE(std::to_string(w.type) + "/" + std::to_string(w.terminate) + std::to_string(w.terminated));
    Dataset* src = KeyRows({{"xyz"}}, w.type, w.width);
    ASSERT_EQ(KS_KeyParamDsetBld(src, 0, 1, 1, &row, w.terminate, w.terminated, 0, nullptr, nullptr),
              ER_SUCCESS);
    EXPECT_EQ(row->col[0].width, w.want);
    FreeDs(row);
    FreeDs(src);
  }
  // Long values are copied, not shared.
  Dataset* longs = KeyRows({{"x"}}, CTYPE_LCHR, 16);
  c_lchr v{5, strdup("hello")};
  memcpy(Coldata_Cell(&longs->col[0], 0), &v, sizeof v);
  ASSERT_EQ(KS_KeyParamDsetBld(longs, 0, 2, 1, &row, 1, 0, 0, nullptr, nullptr), ER_SUCCESS);
  c_lchr a{}, b{};
  memcpy(&a, Coldata_Cell(&row->col[0], 0), sizeof a);
  memcpy(&b, Coldata_Cell(&row->col[1], 0), sizeof b);
  EXPECT_EQ(std::string(a.data, a.length), "hello");
  EXPECT_NE(a.data, v.data);
  EXPECT_NE(a.data, b.data);
  FreeDs(row);
  FreeDs(longs);
}

TEST_F(KeysetTest, RowsPerKeyedSelect) {
  struct Case {
    int maxParams, clientParams, keys, rsSize;
    errcode_t rc;
    sgn32 perSelect, selects, last;
  };
  const Case cases[] = {
      {255, 0, 2, 300, ER_SUCCESS, 127, 3, 46},  {255, 0, 1, 10, ER_SUCCESS, 10, 1, 10},
      {255, 5, 2, 250, ER_SUCCESS, 125, 2, 125}, {10, 3, 3, 5, ER_SUCCESS, 2, 3, 1},
      {10, 9, 2, 5, ER_GENERAL_ERROR, 0, 0, 0},   // too many client parameters for the keys
      {10, 12, 1, 5, ER_GENERAL_ERROR, 0, 0, 0},  // more client parameters than the limit
      {1, 0, 2, 5, ER_GENERAL_ERROR, 0, 0, 0},    // more keys than the limit
      {255, 0, 0, 5, ER_GENERAL_ERROR, 0, 0, 0},  // no key columns
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.maxParams) + "/" + std::to_string(c.clientParams) + "/" +
                 std::to_string(c.keys) + "/" + std::to_string(c.rsSize));
    alist_Dealloc(&s->pKeySet->pLS_KeyCols, SCColDescDestroy);
    s->pKeySet->pLS_KeyCols = alist_Alloc(sizeof(SCColDesc));
    SCColDesc d{};
    for (int k = 0; k < c.keys; k++) alist_Add(s->pKeySet->pLS_KeyCols, &d);
    s->cMaxParams = c.maxParams;
    s->nParamInfo = uns16(c.clientParams);
    s->RSSize = c.rsSize;
    sgn32 selects = 0, last = 0, per = 0;
    ASSERT_EQ(scs_p_GetSelectConstraints(s, &selects, &last, &per), c.rc);
    if (c.rc != ER_SUCCESS) continue;
    EXPECT_EQ(per, c.perSelect);
    EXPECT_EQ(selects, c.selects);
    EXPECT_EQ(last, c.last);
  }
  s->nParamInfo = 0;
}

// A client that sends parameters without describing them still takes its
// share of the markers: the kept dataset's columns count.
TEST_F(KeysetTest, UndescribedClientParametersTakeTheirShare) {
  alist_Dealloc(&s->pKeySet->pLS_KeyCols, SCColDescDestroy);
  s->pKeySet->pLS_KeyCols = alist_Alloc(sizeof(SCColDesc));
  SCColDesc d{};
  alist_Add(s->pKeySet->pLS_KeyCols, &d);
  s->cMaxParams = 10;
  s->RSSize = 20;
  Dataset* kept = static_cast<Dataset*>(calloc(1, sizeof(Dataset)));
  ASSERT_EQ(Dataset_Init(kept, 3), ER_SUCCESS);
  kept->nCols = 3;
  s->parameters = kept;
  s->f_state |= SCCL_HAS_PARAMS;
  EXPECT_EQ(scs_p_ClientParamCount(s), 3u);
  sgn32 selects = 0, last = 0, per = 0;
  ASSERT_EQ(scs_p_GetSelectConstraints(s, &selects, &last, &per), ER_SUCCESS);
  EXPECT_EQ(per, 7);
  EXPECT_EQ(selects, 3);
  EXPECT_EQ(last, 6);
  // Their descriptions: plain input ones after the keys'.
  s->nBindDesc = 0;
  ASSERT_EQ(scs_p_BindDescsAdd(s, &d, 1, 1), ER_SUCCESS);
  ASSERT_EQ(s->nBindDesc, 4);
  for (int i = 1; i < 4; i++) {
    EXPECT_EQ(s->pBindDesc[i].usage, SQL_PARAM_INPUT);
    EXPECT_EQ(s->pBindDesc[i].precision, 0u);
  }
  // Described ones count as described.
  s->nParamInfo = 2;
  EXPECT_EQ(scs_p_ClientParamCount(s), 2u);
  s->nParamInfo = 0;
  s->f_state = uns16(s->f_state & ~SCCL_HAS_PARAMS);
  EXPECT_EQ(scs_p_ClientParamCount(s), 0u);
}

TEST_F(KeysetTest, WholeKeysetSpillsAndReadsBack) {
  cat.results = {{"sp T", {Sp("K")}}};
  ASSERT_EQ(Prepared("SELECT A, B FROM T ORDER BY B"), ER_SUCCESS);
  IntRows(6000);
  fake.Take();
  const int filesBefore = OpenTempFiles();
  ASSERT_EQ(KS_GetKeySet_KSD(s), ER_SUCCESS);
  const std::string calls = Squeeze(fake.Take().c_str());
  EXPECT_NE(calls.find("prepare k1 SELECT K FROM T ORDER BY B, K; execute k1; fetch k1 200"),
            std::string::npos)
      << calls;
  EXPECT_EQ(s->RsltSetSize, 6000);
  EXPECT_EQ(s->pKeySet->Position, -1);
  EXPECT_EQ(s->pKeySet->KSC.fState, DSC_SPILLED);
  EXPECT_EQ(OpenTempFiles(), filesBefore + 2);
  ASSERT_NE(s->pKeySet->rgfRowStatus, nullptr);
  EXPECT_EQ(s->pKeySet->rgfRowStatus[5999], 0);
  EXPECT_TRUE(s->f_state & SCCL_ORDER_BY_KEYS);
  // Read back around row 5500.
  ASSERT_EQ(DSC_SyncWindowPos(&s->pKeySet->KSC, 5500, 10, &s->pKeySet->Position, s->pKeySet->pDataset),
            ER_SUCCESS);
  const sgn32 at = 5500 - s->pKeySet->Position;
  ASSERT_GE(at, 0);
  EXPECT_EQ(CellText(*s->pKeySet->pDataset, 0, at), "5500");

  // Again on the same cursor: the keyset starts over.
  IntRows(3);
  ASSERT_EQ(KS_GetKeySet_KSD(s), ER_SUCCESS);
  EXPECT_EQ(s->RsltSetSize, 3);
  EXPECT_EQ(s->pKeySet->Position, 0);
  EXPECT_EQ(OpenTempFiles(), filesBefore);
  EXPECT_EQ(s->pKeySet->pDataset->nRows, 3);
}

TEST_F(KeysetTest, KeysetCutShortIsAnError) {
  cat.results = {{"sp T", {Sp("K")}}};
  ASSERT_EQ(Prepared("SELECT A FROM T"), ER_SUCCESS);
  const int filesBefore = OpenTempFiles();
  struct Case {
    const char* name;
    std::vector<errcode_t> fetch;
    std::string failOp;
  };
  const Case cases[] = {
      {"fetch fails mid-fill", {ER_SUCCESS, ER_SUCCESS, ER_SUCCESS, ER_GENERAL_ERROR}, "fetch"},
      {"fetch fails after spilling", std::vector<errcode_t>(27, ER_SUCCESS), "fetch"},
      {"prepare", {}, "prepare"},
      {"execute", {}, "execute"},
  };
  test_support::LogCapture log;
  char cache[64];
  snprintf(cache, sizeof cache, "%p", static_cast<void*>(&s->pKeySet->KSC));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IntRows(6000);
    fake.fail.clear();
    fake.fail[c.failOp] = c.fetch;
    fake.fail[c.failOp].push_back(ER_DATA_TRUNCATED);
    log.Clear();
    EXPECT_NE(KS_GetKeySet_KSD(s), ER_SUCCESS);
    // A fill that fails says so; one that had spilled closes its files.
    EXPECT_EQ(log.HasExact(LOG_ERR, "KS_GetKeySet_KSD: Could not fill dataset cache"), c.failOp == "fetch")
        << log.Dump();
    const bool spilled = c.fetch.size() > 25;
    EXPECT_EQ(log.HasExact(LOG_DEBUG, std::string("dsc_Open: Opened temporary files for pDSC=") + cache),
              spilled)
        << log.Dump();
    EXPECT_EQ(log.HasExact(LOG_DEBUG, std::string("DSC_Close: Closed temporary files for pDSC=") + cache),
              spilled)
        << log.Dump();
    EXPECT_EQ(s->RsltSetSize, -1);
    EXPECT_EQ(s->pKeySet->pDataset->nRows, 0);
    EXPECT_EQ(s->pKeySet->rgfRowStatus, nullptr);
    EXPECT_EQ(OpenTempFiles(), filesBefore);
  }
  fake.fail.clear();
}

TEST_F(KeysetTest, NullKeyValuesAreRefused) {
  cat.results = {{"sp T", {Sp("K")}}};
  ASSERT_EQ(Prepared("SELECT A FROM T"), ER_SUCCESS);
  const int filesBefore = OpenTempFiles();
  for (sgn32 rows : {20, 6000}) {
    SCOPED_TRACE(rows);
    IntRows(rows);
    fake.fillRow = [](sgn32 row, Dataset* ds, sgn32 at) {
      memcpy(Coldata_Cell(&ds->col[0], uint64_t(at)), &row, 4);
      ds->col[0].indicators[at] = row == 10 ? -1 : 0;
    };
    EXPECT_EQ(KS_GetKeySet_KSD(s), ER_NO_KEYS);
    EXPECT_EQ(s->RsltSetSize, -1);
    EXPECT_EQ(s->pKeySet->pDataset->nRows, 0);
    EXPECT_EQ(OpenTempFiles(), filesBefore);
  }
}

TEST_F(KeysetTest, RowsetKeysReread) {
  cat.results = {{"sp T", {Sp("K")}}};
  ASSERT_EQ(Prepared("SELECT A FROM T WHERE A > ?"), ER_SUCCESS);
  s->RSSize = 3;
  s->cMaxParams = 3;  // two keys per SELECT with the client's parameter
  s->nParamInfo = 1;
  s->f_state |= SCCL_HAS_PARAMS;
  s->parameters = KeyRows({{"p"}});
  Dataset* keys = KeyRows({{"1"}, {"2"}, {"3"}});
  IntRows(2);
  fake.Take();
  Dataset* got = nullptr;
  ASSERT_EQ(KS_RowSetGetKeys(s, keys, 0, &got), ER_SUCCESS);
  const std::string calls = Squeeze(fake.Take().c_str());
  EXPECT_NE(calls.find("prepare k2 SELECT K FROM T WHERE ( K IN (?, ?) ) AND (A > ?) ORDER BY K; "
                       "parameters k2 1; execute k2; fetch k2 2; parameters k2 1; execute k2; fetch k2 2"),
            std::string::npos)
      << calls;
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->nRows, 4);  // two rows from each SELECT
  FreeDs(got);
  // Prepared once: the next rowset only executes.
  IntRows(2);
  ASSERT_EQ(KS_RowSetGetKeys(s, keys, 0, &got), ER_SUCCESS);
  EXPECT_EQ(fake.Take().find("prepare"), std::string::npos);
  FreeDs(got);
  FreeDs(keys);
}

}  // namespace
}  // namespace engine_test
