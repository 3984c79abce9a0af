// The backend against the SQLite ODBC driver through our driver manager.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "backend_fixture.h"
#include "catalog_cases.h"

using namespace backend_test;

namespace {

class BackendSqlite : public CatalogSession {
 protected:
  void MakeTable(int rows) {
    ASSERT_EQ(Exec("CREATE TABLE t (i INTEGER, s VARCHAR(20), d DOUBLE)"), ER_SUCCESS);
    if (rows == 0) return;
    std::string sql = "INSERT INTO t VALUES ";
    // Built with SQLite's recursive common table expression: one statement.
    sql = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM c WHERE x < " + std::to_string(rows) +
          ") INSERT INTO t SELECT x, 'row' || x, x * 0.5 FROM c";
    ASSERT_EQ(Exec(sql), ER_SUCCESS);
  }
};

// A SELECT must never come back empty when rows exist, whatever set-up step
// of the block fetch the driver refuses; 32-bit integers come back right on
// every row of a block.
TEST_F(BackendSqlite, BlockFetchReturnsEveryRowExactly) {
  MakeTable(1000);
  for (uns16 block : {1, 7, 100, 1000}) {
    auto rows = Query("SELECT i, s, d FROM t ORDER BY i", block);
    ASSERT_EQ(rows.size(), 1000u) << "block " << block;
    for (int r = 0; r < 1000; r++) {
      ASSERT_EQ(rows[r][0], std::to_string(r + 1)) << "block " << block << " row " << r;
      ASSERT_EQ(rows[r][1], "row" + std::to_string(r + 1));
      char d[64];
      snprintf(d, sizeof d, "%.17g", (r + 1) * 0.5);
      ASSERT_EQ(rows[r][2], d);
    }
  }
}

TEST_F(BackendSqlite, NullsAndRowByRowPath) {
  ASSERT_EQ(Exec("CREATE TABLE n (a INTEGER, b VARCHAR(10))"), ER_SUCCESS);
  ASSERT_EQ(Exec("INSERT INTO n VALUES (1, NULL)"), ER_SUCCESS);
  ASSERT_EQ(Exec("INSERT INTO n VALUES (NULL, 'x')"), ER_SUCCESS);
  auto rows = Query("SELECT a, b FROM n ORDER BY a", 1);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"NULL", "x"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"1", "NULL"}));
  setenv("USE_EXTENDED_FETCH", "no", 1);
  handle_t h2 = 0;
  // The switch is read when the server record is made.
  ODBC_EndServer(hServer);
  ASSERT_EQ(ODBC_Server(nullptr, &hServer), ER_SUCCESS);
  ASSERT_EQ(Connect(ConnStr(), &h2), ER_SUCCESS);
  unsetenv("USE_EXTENDED_FETCH");
  rows = Query("SELECT a, b FROM n ORDER BY a", 10, h2);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1][0], "1");
}

TEST_F(BackendSqlite, DescribeColumns) {
  MakeTable(0);
  handle_t h = NewCursor();
  ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>("SELECT i, s, d FROM t")), ER_SUCCESS);
  uns16 n = 0;
  Coldesc* cd = nullptr;
  ASSERT_EQ(ODBC_DescribeColumns(h, &n, &cd), ER_SUCCESS);
  ASSERT_EQ(n, 3);
  EXPECT_STREQ(cd[0].label, "i");
  EXPECT_EQ(cd[0].sqlType, SQLTYPE_INTEGER);
  EXPECT_EQ(cd[0].fetchType, CTYPE_SGN32);
  EXPECT_EQ(cd[1].sqlType, SQLTYPE_VARCHAR);
  EXPECT_EQ(cd[1].precision, 20u);
  EXPECT_EQ(cd[2].sqlType, SQLTYPE_DOUBLE);
  EXPECT_EQ(cd[0].nullable & 0xF, 1);
  FreeColdesc(cd, n);
  ODBC_EndCursor(h);
}

// With the Jet compatibility option a BIGINT column is described as NUMERIC,
// keeps its driver type, and its values still arrive whole.
TEST_F(BackendSqlite, JetFixDescribesBigintAsNumeric) {
  ASSERT_EQ(Exec("CREATE TABLE big (b BIGINT)"), ER_SUCCESS);
  ASSERT_EQ(Exec("INSERT INTO big VALUES (9000000001)"), ER_SUCCESS);
  for (int jet : {0, 1}) {
    SCOPED_TRACE(jet);
    AgentOptions options{};
    options.f_jetfix = jet;
    ODBC_SetAgentOptions(&options);
    handle_t conn = 0;
    errcode_t e = Connect(ConnStr(), &conn);
    ODBC_SetAgentOptions(nullptr);
    ASSERT_EQ(e, ER_SUCCESS) << ServerErrors();
    handle_t h = NewCursor(conn);
    ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>("SELECT b FROM big")), ER_SUCCESS);
    uns16 n = 0;
    Coldesc* cd = nullptr;
    ASSERT_EQ(ODBC_DescribeColumns(h, &n, &cd), ER_SUCCESS);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(cd[0].sqlType, jet ? SQLTYPE_NUMERIC : SQL_BIGINT);
    EXPECT_EQ(cd[0].dbType, SQL_BIGINT);
    FreeColdesc(cd, n);
    ASSERT_EQ(ODBC_Execute(h), ER_SUCCESS);
    EXPECT_EQ(FetchAll(h), (std::vector<std::vector<std::string>>{{"9000000001"}}));
    ODBC_EndCursor(h);
    ODBC_EndConnect(conn);
  }
}

TEST_F(BackendSqlite, MaxRowsBelowRowsFetchedGivesNoMore) {
  MakeTable(20);
  handle_t h = NewCursor();
  ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>("SELECT i FROM t ORDER BY i")), ER_SUCCESS);
  ASSERT_EQ(ODBC_Execute(h), ER_SUCCESS);
  sgn32 cap = 10;
  ASSERT_EQ(ODBC_SetDrvParameter(h, 0x32030001, &cap), ER_SUCCESS);
  std::vector<int> got;
  for (int call = 0; call < 4; call++) {
    Dataset ds{};
    ASSERT_EQ(ODBC_Fetch(h, 6, &ds), ER_SUCCESS);
    got.push_back(ds.nRows);
    Dataset_Done(&ds);
  }
  EXPECT_EQ(got, (std::vector<int>{6, 4, 0, 0}));
  // A cap lowered below what was already fetched leaves nothing, not a wrap.
  cap = 3;
  ASSERT_EQ(ODBC_SetDrvParameter(h, 0x32030001, &cap), ER_SUCCESS);
  Dataset ds{};
  ASSERT_EQ(ODBC_Fetch(h, 6, &ds), ER_SUCCESS);
  EXPECT_EQ(ds.nRows, 0);
  Dataset_Done(&ds);
  ODBC_EndCursor(h);
}

TEST_F(BackendSqlite, LongTextInPiecesWithinBudget) {
  ASSERT_EQ(Exec("CREATE TABLE l (id INTEGER, body TEXT)"), ER_SUCCESS);
  ASSERT_EQ(Exec("INSERT INTO l VALUES (1, printf('%.*c', 100000, 'x') || 'END')"), ER_SUCCESS);
  handle_t h = NewCursor();
  ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>("SELECT id, body FROM l")), ER_SUCCESS);
  ASSERT_EQ(ODBC_Execute(h), ER_SUCCESS);
  Dataset ds{};
  ASSERT_EQ(ODBC_Fetch(h, 10, &ds), ER_SUCCESS);
  ASSERT_EQ(ds.nRows, 1);  // a long column is fetched one row per call
  Dataset_Done(&ds);
  // Bad column numbers are refused before use.
  char* data = nullptr;
  precision_t len = 0;
  ctype_t ct;
  sgn32 remain = 0;
  for (sgn32 bad : {0, -1, 3, 70000})
    EXPECT_EQ(ODBC_GetData(h, bad, 0, 10, &data, &len, &ct, &remain), ER_INVALID_COLUMN);
  EXPECT_EQ(ODBC_GetData(h, 1, 0, 10, &data, &len, &ct, &remain), ER_GENERAL_ERROR);  // not a long column
  std::string all;
  for (int guard = 0; guard < 100; guard++) {
    data = nullptr;
    ASSERT_EQ(ODBC_GetData(h, 2, 0, 30000, &data, &len, &ct, &remain), ER_SUCCESS) << Errors(h);
    if (len == 0) break;
    EXPECT_EQ(ct, CTYPE_CHR);
    all.append(data, len);
    free(data);
  }
  EXPECT_EQ(all.size(), 100003u);
  EXPECT_EQ(all.substr(all.size() - 3), "END");
  ODBC_EndCursor(h);
}

TEST_F(BackendSqlite, LongDataBudgetCapsThePieces) {
  ASSERT_EQ(Exec("CREATE TABLE l (body TEXT)"), ER_SUCCESS);
  ASSERT_EQ(Exec("INSERT INTO l VALUES (printf('%.*c', 300, 'y'))"), ER_SUCCESS);
  handle_t h = NewCursor();
  // SQLite keeps its own maximum length (it answers "option value changed" with
  // 1,000,000,000); the client's budget is set on the record itself here.
  sgn32 maxLen = 100;
  errcode_t setRc = ODBC_SetDrvParameter(h, 0x32030003, &maxLen);
  EXPECT_TRUE(setRc == ER_SUCCESS || setRc == ER_OPT_VAL_CHANGED) << setRc;
  ODBC_CursorRec(h)->maxDataLen = 100;
  ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>("SELECT body FROM l")), ER_SUCCESS);
  ASSERT_EQ(ODBC_Execute(h), ER_SUCCESS);
  Dataset ds{};
  ASSERT_EQ(ODBC_Fetch(h, 1, &ds), ER_SUCCESS);
  Dataset_Done(&ds);
  uint64_t total = 0;
  for (int call = 0; call < 5; call++) {
    char* data = nullptr;
    precision_t len = 0;
    ctype_t ct;
    sgn32 remain = 0;
    ASSERT_EQ(ODBC_GetData(h, 1, 0, 70, &data, &len, &ct, &remain), ER_SUCCESS);
    EXPECT_LE(len, 70u);
    total += len;
    free(data);
  }
  EXPECT_EQ(total, 100u);
  ODBC_EndCursor(h);
}

// SQLite has no SQLParamOptions: every parameter row runs in turn and the row
// counts add up.
TEST_F(BackendSqlite, ParameterRowsRunInTurn) {
  MakeTable(0);
  handle_t h = NewCursor();
  ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>("INSERT INTO t (i, s) VALUES (?, ?)")), ER_SUCCESS);
  ASSERT_EQ(ODBC_Parameters(h, IntTextParams({{1, "one"}, {2, nullptr}, {3, "three"}, {70000, "big"}})),
            ER_SUCCESS);
  ASSERT_EQ(ODBC_Execute(h), ER_SUCCESS) << Errors(h);
  char buf[8];
  sgn32 count = 0;
  ASSERT_EQ(ODBC_GetDrvParameter(h, 0x32010000, buf, sizeof buf, nullptr), ER_SUCCESS);
  memcpy(&count, buf, 4);
  EXPECT_EQ(count, 4);
  ODBC_EndCursor(h);
  auto rows = Query("SELECT i, s FROM t ORDER BY i");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[1], (std::vector<std::string>{"2", "NULL"}));
  EXPECT_EQ(rows[3], (std::vector<std::string>{"70000", "big"}));
}

TEST_F(BackendSqlite, ParameterRowsStopAtFirstFailure) {
  ASSERT_EQ(Exec("CREATE TABLE u (i INTEGER PRIMARY KEY, s VARCHAR(20))"), ER_SUCCESS);
  handle_t h = NewCursor();
  ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>("INSERT INTO u VALUES (?, ?)")), ER_SUCCESS);
  ASSERT_EQ(ODBC_Parameters(h, IntTextParams({{1, "a"}, {1, "dup"}, {2, "never"}})), ER_SUCCESS);
  EXPECT_NE(ODBC_Execute(h), ER_SUCCESS);
  EXPECT_NE(Errors(h).find("UNIQUE"), std::string::npos);
  ODBC_EndCursor(h);
  EXPECT_EQ(Query("SELECT count(*) FROM u")[0][0], "1");
}

TEST_F(BackendSqlite, ParametersWithoutDatasetAnswer48) {
  MakeTable(0);
  handle_t h = NewCursor();
  ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>("INSERT INTO t (i) VALUES (?)")), ER_SUCCESS);
  EXPECT_EQ(ODBC_Execute(h), ER_MISMATCH_PARAMS);
  EXPECT_NE(Errors(h).find("Wrong number of parameters"), std::string::npos);
  ODBC_EndCursor(h);
}

// A fixed-width text cell has no terminator: it is measured within the cell.
TEST_F(BackendSqlite, FixedWidthTextParameter) {
  MakeTable(0);
  handle_t h = NewCursor();
  ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>("INSERT INTO t (s) VALUES (?)")), ER_SUCCESS);
  Dataset* ds = static_cast<Dataset*>(calloc(1, sizeof(Dataset)));
  Dataset_Init(ds, 1);
  ds->nCols = 1;
  ds->col[0].cType = CTYPE_CHR;
  ds->col[0].width = 4;
  Dataset_AllocColumns(ds, 1);
  memcpy(ds->col[0].values, "abcd", 4);  // fills the cell; the spare byte follows
  static_cast<char*>(ds->col[0].values)[4] = 'Z';
  ds->col[0].indicators[0] = 0;
  ds->nRows = 1;
  ASSERT_EQ(ODBC_Parameters(h, ds), ER_SUCCESS);
  ASSERT_EQ(ODBC_Execute(h), ER_SUCCESS) << Errors(h);
  ODBC_EndCursor(h);
  EXPECT_EQ(Query("SELECT s FROM t")[0][0], "abcd");
}

TEST_F(BackendSqlite, QueryWithParameterRowsMoreResults) {
  MakeTable(5);
  handle_t h = NewCursor();
  ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>("SELECT s FROM t WHERE i = ?")), ER_SUCCESS);
  ASSERT_EQ(ODBC_Parameters(h, IntTextParams({{2, ""}, {4, ""}})), ER_SUCCESS);
  // Only the first column is a parameter: the dataset's second is ignored by the driver count.
  ASSERT_EQ(ODBC_Execute(h), ER_SUCCESS) << Errors(h);
  auto first = FetchAll(h);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0][0], "row2");
  ASSERT_EQ(ODBC_MoreResults(h), ER_SUCCESS) << Errors(h);
  auto second = FetchAll(h);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0][0], "row4");
  EXPECT_EQ(ODBC_MoreResults(h), ER_NO_MORE_RESULTS);
  ODBC_EndCursor(h);
}

TEST_F(BackendSqlite, BadSqlAnswers68WithTexts) {
  handle_t h = NewCursor();
  errcode_t e = ODBC_Prepare(h, const_cast<char*>("SELEC 1"));
  if (e == ER_SUCCESS) e = ODBC_Execute(h);
  EXPECT_EQ(e, ER_SYNTAXIS);
  std::string texts = Errors(h);
  EXPECT_NE(texts.find("[ODBC Server]"), std::string::npos) << texts;
  EXPECT_NE(texts.find("syntax error"), std::string::npos) << texts;
  EXPECT_EQ(Errors(h), "");  // delivered once
  EXPECT_EQ(ODBC_Prepare(h, const_cast<char*>("SELECT * FROM nosuch")), ER_SYNTAXIS);
  EXPECT_NE(Errors(h).find("no such table"), std::string::npos);
  ODBC_EndCursor(h);
}

TEST_F(BackendSqlite, CursorBeforeAgentParameterAnswers152) {
  agent_version_set = 0;
  handle_t h = 0;
  EXPECT_EQ(ODBC_Cursor(hConn, &h), ER_NEED_UPGRADE_BROKER);
  EXPECT_NE(Errors(hConn).find("Agent needs a newer broker[SQLSTATE:IM927]"), std::string::npos);
  char buf[16];
  ASSERT_EQ(ODBC_GetDrvParameter(hServer, 0x11010000, buf, sizeof buf, nullptr), ER_SUCCESS);
  EXPECT_EQ(ODBC_Cursor(hConn, &h), ER_SUCCESS);
}

TEST_F(BackendSqlite, ConnectFailureTextsGoToTheServer) {
  handle_t h = 0;
  EXPECT_EQ(Connect("", &h, "nosuchdsn"), ER_DRV_NOT_FOUND) << ServerErrors();
  EXPECT_EQ(h, 0u);
  std::string texts = ServerErrors();
  EXPECT_NE(texts.find("IM002"), std::string::npos) << texts;
}

// The server options that ask for a Unicode session.
TEST_F(BackendSqlite, UnicodeSessionMarker) {
  struct {
    const char* svOptions;
    int unicode;
  } cases[] = {
      {"W\x7F\x01\x01", 1}, {"W\x7F\x01\x01more", 1}, {"W\x7F\x01", 0},
      {"W\x7F\x01\x02", 0}, {"w\x7F\x01\x01", 0},     {"", 0},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.svOptions)));
    handle_t h = 0;
    ASSERT_EQ(Connect(ConnStr(), &h, nullptr, 0, c.svOptions), ER_SUCCESS) << ServerErrors();
    EXPECT_EQ(ODBC_ConnectRec(h)->unicode, c.unicode);
    ODBC_EndConnect(h);
  }
}

// Present only in sanitizer builds.
extern "C" void __lsan_disable() __attribute__((weak));
extern "C" void __lsan_enable() __attribute__((weak));

// Which data source a connect request reaches, by the fields it fills.
TEST_F(BackendSqlite, ConnectFormsReachTheirDataSource) {
  std::string ini;
  for (const char* name : {"default", "named"}) {
    std::string db = dir.file(std::string(name) + ".db");
    handle_t h = 0;
    ASSERT_EQ(Connect(std::string("DRIVER=") + kSqliteDriver + ";Database=" + db, &h), ER_SUCCESS)
        << ServerErrors();
    ASSERT_EQ(Exec("CREATE TABLE marker (w VARCHAR(10))", h), ER_SUCCESS);
    ASSERT_EQ(Exec(std::string("INSERT INTO marker VALUES ('") + name + "')", h), ER_SUCCESS);
    ASSERT_EQ(ODBC_EndConnect(h), ER_SUCCESS);
    ini += std::string("[") + name + "]\nDriver=SQLite3\nDatabase=" + db + "\n\n";
  }
  test_support::write_file(dir.file("odbc.ini"), ini);
  struct {
    const char* dsn;
    const char* connStr;
    const char* reached;
  } cases[] = {
      {nullptr, "", "default"},    // neither: the data source "default"
      {"named", "", "named"},      // by name
      {"", "DSN=named", "named"},  // empty name and a string: driver connect
      {nullptr, "DSN=named", "named"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(std::string(c.dsn ? c.dsn : "(null)") + " / " + c.connStr);
    handle_t h = 0;
    // Reading a data source's entries, the SQLite driver leaks a few records of
    // its own and is unloaded before the leak check could name it.
    if (__lsan_disable) __lsan_disable();
    errcode_t e = Connect(c.connStr, &h, c.dsn);
    if (__lsan_enable) __lsan_enable();
    ASSERT_EQ(e, ER_SUCCESS) << ServerErrors();
    EXPECT_EQ(Query("SELECT w FROM marker", 10, h), (std::vector<std::vector<std::string>>{{c.reached}}));
    ODBC_EndConnect(h);
  }
}

TEST_F(BackendSqlite, SaveFileIsRefused) {
  handle_t h = 0;
  for (std::string extra :
       std::vector<std::string>{";SAVEFILE=" + dir.file("x.dsn"), "; savefile = {a;b}", ";SaveFile="}) {
    EXPECT_EQ(Connect(ConnStr() + extra, &h), ER_INVALID_CONNSTR) << extra;
    EXPECT_NE(ServerErrors().find("SAVEFILE"), std::string::npos);
  }
  EXPECT_FALSE(std::ifstream(dir.file("x.dsn")).good());
  // A value that merely mentions the word is not the key.
  EXPECT_EQ(Connect(ConnStr() + ";Description={SAVEFILE=no}", &h), ER_SUCCESS) << ServerErrors();
}

TEST_F(BackendSqlite, EndingAConnectionEndsItsCursors) {
  MakeTable(3);
  handle_t h = NewCursor();
  ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>("SELECT i FROM t")), ER_SUCCESS);
  ASSERT_EQ(ODBC_Execute(h), ER_SUCCESS);
  Dataset ds{};
  ASSERT_EQ(ODBC_Fetch(h, 1, &ds), ER_SUCCESS);  // leaves the result open
  Dataset_Done(&ds);
  ASSERT_EQ(ODBC_EndConnect(hConn), ER_SUCCESS);
  EXPECT_EQ(ODBC_CursorRec(h), nullptr);
  EXPECT_EQ(ODBC_Execute(h), ER_INVALID_ARGUMENT);
  EXPECT_EQ(ODBC_Commit(hConn), ER_INVALID_ARGUMENT);
}

TEST_F(BackendSqlite, LastServerEndEndsEveryConnection) {
  handle_t h2 = 0, c = NewCursor();
  ASSERT_EQ(Connect(ConnStr(), &h2), ER_SUCCESS);
  ASSERT_EQ(ODBC_EndServer(hServer), ER_SUCCESS);
  EXPECT_EQ(numServers, 0u);
  // The tables are gone; nothing stays connected or allocated (the leak
  // checker of the sanitizer build watches the records).
  EXPECT_EQ(ODBC_ConnectRec(hConn), nullptr);
  EXPECT_EQ(ODBC_CursorRec(c), nullptr);
}

TEST_F(BackendSqlite, CommitAndRollbackSeenFromSecondConnection) {
  MakeTable(0);
  AgentOptions noAutocommit{};
  noAutocommit.f_noautocommit = 1;
  ODBC_SetAgentOptions(&noAutocommit);
  handle_t a = 0, b = 0;
  ASSERT_EQ(Connect(ConnStr(), &a), ER_SUCCESS);
  ODBC_SetAgentOptions(nullptr);
  ASSERT_EQ(Connect(ConnStr(), &b), ER_SUCCESS);
  ASSERT_EQ(Exec("INSERT INTO t (i) VALUES (1)", a), ER_SUCCESS);
  ASSERT_EQ(ODBC_Rollback(a), ER_SUCCESS);
  EXPECT_EQ(Query("SELECT count(*) FROM t", 10, b)[0][0], "0");
  ASSERT_EQ(Exec("INSERT INTO t (i) VALUES (2)", a), ER_SUCCESS);
  ASSERT_EQ(ODBC_Commit(a), ER_SUCCESS);
  EXPECT_EQ(Query("SELECT i FROM t", 10, b)[0][0], "2");
}

TEST_F(BackendSqlite, InitialSqlReadsLongLinesAndClosesEachResult) {
  MakeTable(0);
  std::string longText(3000, 'q');
  test_support::write_file(
      dir.file("init.sql"),
      "# comment\n  SELECT 1;\nSELECT 2\n;\nINSERT INTO t (s) VALUES ('" + longText + "');\n");
  const std::string initSQL = dir.file("init");  // ".sql" is appended
  AgentOptions options{};
  options.f_initSQL = initSQL.c_str();
  ODBC_SetAgentOptions(&options);
  handle_t h = 0;
  errcode_t e = Connect(ConnStr(), &h);
  ODBC_SetAgentOptions(nullptr);
  ASSERT_EQ(e, ER_SUCCESS);
  auto rows = Query("SELECT length(s) FROM t", 10, h);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], "3000");
}

TEST_F(BackendSqlite, TypeInfoCacheKeepsTheFirstRowOfAType) {
  MakeTable(0);
  _Connect* c = ODBC_ConnectRec(hConn);
  ASSERT_NE(c->ht_typeinfo, nullptr);
  ASSERT_FALSE(c->ht_typeinfo->empty());
  handle_t h = NewCursor();
  ASSERT_EQ(ODBC_DDTypeInfo(h, SQL_VARCHAR), ER_SUCCESS);
  auto rows = FetchAll(h);
  ODBC_EndCursor(h);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(std::string(c->ht_typeinfo->at(SQL_VARCHAR).typeName), rows[0][0]);
  // The column attributes answer the type name from the cache.
  h = NewCursor();
  ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>("SELECT s FROM t")), ER_SUCCESS);
  uns16 nc = 0, na = 0;
  Coldesc* cd = nullptr;
  ColAttrib* attrs = nullptr;
  ASSERT_EQ(ODBC_ColAttributes(h, &nc, &na, &cd, &attrs), ER_SUCCESS);
  bool found = false;
  for (uns16 i = 0; i < na; i++) {
    if (attrs[i].attribId == 14 && attrs[i].attribVal.u.s) found = rows[0][0] == attrs[i].attribVal.u.s;
    if (attrs[i].attribVal.attribType == ATTR_STRING) free(attrs[i].attribVal.u.s);
  }
  EXPECT_TRUE(found);
  free(attrs);
  FreeColdesc(cd, nc);
  ODBC_EndCursor(h);
}

TEST_F(BackendSqlite, CatalogCalls) {
  MakeTable(0);
  handle_t h = NewCursor();
  DDTables tables{};
  ASSERT_EQ(ODBC_DDTables(h, &tables), ER_SUCCESS) << Errors(h);
  auto rows = FetchAll(h);
  bool found = false;
  for (auto& r : rows) found = found || r[2] == "t";
  EXPECT_TRUE(found);
  DDColumns cols{};
  cols.tableName = strdup("t");
  ASSERT_EQ(ODBC_DDColumns(h, &cols), ER_SUCCESS) << Errors(h);
  rows = FetchAll(h);
  free(cols.tableName);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0][3], "i");
  EXPECT_EQ(rows[0][4], "4");
  // SQLite lacks SQLColumnPrivileges: 43, and the cursor is left unprepared.
  DDColumnPrivileges cp{};
  EXPECT_EQ(ODBC_DDColumnPrivileges(h, &cp), ER_DRV_NOT_CAPABLE);
  EXPECT_FALSE(ODBC_CursorRec(h)->flags & CURSF_EXECUTED);
  ODBC_EndCursor(h);
}

// A statement that fetched in blocks keeps the driver's rowset size after it
// is closed: the next results it fetches row by row (a catalog result, one with
// a long column) still get one row per driver call, into one row's room.
TEST_F(BackendSqlite, RowPathAfterBlocksOnTheSameStatement) {
  MakeTable(30);
  ASSERT_EQ(Exec("CREATE TABLE lg (i INTEGER, v TEXT)"), ER_SUCCESS);
  ASSERT_EQ(Exec("INSERT INTO lg VALUES (1, 'one'), (2, printf('%.*c', 3000, 'w')), (3, 'three')"),
            ER_SUCCESS);
  handle_t h = NewCursor();
  for (int round = 0; round < 2; round++) {
    ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>("SELECT i, s, d FROM t ORDER BY i")), ER_SUCCESS);
    ASSERT_EQ(ODBC_Execute(h), ER_SUCCESS);
    Dataset ds{};
    ASSERT_EQ(ODBC_Fetch(h, 10, &ds), ER_SUCCESS);
    EXPECT_EQ(ds.nRows, 10);
    Dataset_Done(&ds);
    ASSERT_EQ(ODBC_Close(h), ER_SUCCESS);
    if (round == 0) {
      DDColumns cols{};
      cols.tableName = strdup("t");
      ASSERT_EQ(ODBC_DDColumns(h, &cols), ER_SUCCESS) << Errors(h);
      free(cols.tableName);
      auto rows = FetchAll(h, 10);
      ASSERT_EQ(rows.size(), 3u);
      EXPECT_EQ(rows[2][3], "d");
    } else {
      ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>("SELECT i, v FROM lg ORDER BY i")), ER_SUCCESS);
      ASSERT_EQ(ODBC_Execute(h), ER_SUCCESS);
      auto rows = FetchAll(h, 10);
      EXPECT_EQ(rows, (std::vector<std::vector<std::string>>{
                          {"1", "one"}, {"2", std::string(3000, 'w')}, {"3", "three"}}));
    }
    ASSERT_EQ(ODBC_Close(h), ER_SUCCESS);
  }
  ODBC_EndCursor(h);
}

// The plain and the Unicode connection answer every catalog call alike.
TEST_F(BackendSqlite, CatalogCallsAnswerAlikeNarrowAndWide) {
  MakeTable(0);
  handle_t wide = 0;
  ASSERT_EQ(Connect(ConnStr(), &wide, nullptr, 0, kUnicodeSession), ER_SUCCESS) << ServerErrors();
  ASSERT_EQ(ODBC_ConnectRec(wide)->unicode, 1);
  for (const CatalogCase& c : kCatalogCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CatalogAnswer(c, "t"), CatalogAnswer(c, "t", wide));
  }
}

TEST_F(BackendSqlite, StatementParameters) {
  handle_t h = NewCursor();
  sgn32 v = 500;
  EXPECT_EQ(ODBC_SetDrvParameter(h, 0x32030009, &v), ER_OPT_VAL_CHANGED);
  char buf[8];
  ASSERT_EQ(ODBC_GetDrvParameter(h, 0x32030009, buf, sizeof buf, nullptr), ER_SUCCESS);
  memcpy(&v, buf, 4);
  EXPECT_EQ(v, 100);
  v = 10;
  EXPECT_EQ(ODBC_SetDrvParameter(h, 0x32030008, &v),
            ER_OPT_VAL_CHANGED);  // keyset sizes need the second fetch
  ASSERT_EQ(ODBC_GetDrvParameter(hConn, 0x22010008, buf, sizeof buf, nullptr), ER_SUCCESS);
  v = 7000;
  EXPECT_EQ(ODBC_SetDrvParameter(h, 0x32030008, &v), ER_OPT_VAL_CHANGED);
  v = 3;
  EXPECT_EQ(ODBC_SetDrvParameter(h, 0x3203041a, &v), ER_INVALID_ARGUMENT);
  v = 2;
  EXPECT_EQ(ODBC_SetDrvParameter(h, 0x32030006, &v), ER_SUCCESS);  // dynamic, with the second fetch
  ASSERT_EQ(ODBC_GetDrvParameter(hConn, 0x22010013, buf, sizeof buf, nullptr), ER_SUCCESS);
  memcpy(&v, buf, 4);
  EXPECT_EQ(v, 0);
  ASSERT_EQ(ODBC_GetDrvParameter(hConn, 0x2204001c, buf, sizeof buf, nullptr),
            ER_SUCCESS);  // identifier case
  memcpy(&v, buf, 4);
  EXPECT_GT(v, 0);
  EXPECT_LT(v, 5);
  // A text parameter without its text is refused.
  EXPECT_EQ(ODBC_SetDrvParameter(hConn, 0x2103006d, nullptr), ER_INVALID_ARGUMENT);
  OpTable t{};
  t.type = 1;
  ASSERT_EQ(ODBC_GetOpTable(hConn, &t), ER_SUCCESS);
  EXPECT_EQ(t.numElem, 8u);
  t.type = 2;
  EXPECT_EQ(ODBC_GetOpTable(hConn, &t), ER_DRV_NOT_CAPABLE);
  ODBC_EndCursor(h);
}

// Row cap, rowset and keyset sizes against the agent's own limits: what is
// stored and whether the client is told it changed.
TEST_F(BackendSqlite, StatementSizesAgainstAgentLimits) {
  struct {
    unsigned agentMaxRows;
    int noRowsetLimit;
    bool readsXFetch2;  // the client read the second-fetch parameter first
    uns32 code;
    sgn32 value;
    errcode_t answer;
    sgn32 stored;
  } cases[] = {
      {1000, 0, false, 0x32030001, 0, ER_OPT_VAL_CHANGED, 1000},
      {1000, 0, false, 0x32030001, 2000, ER_OPT_VAL_CHANGED, 1000},
      {1000, 0, false, 0x32030001, 500, ER_SUCCESS, 500},
      {0, 0, false, 0x32030001, 2000, ER_SUCCESS, 2000},
      {0, 0, false, 0x32030009, 500, ER_OPT_VAL_CHANGED, 100},
      {0, 0, false, 0x32030009, 100, ER_SUCCESS, 100},
      {0, 1, false, 0x32030009, 500, ER_SUCCESS, 500},
      {0, 0, true, 0x32030008, 7000, ER_OPT_VAL_CHANGED, 5000},
      {0, 0, true, 0x32030008, 10, ER_SUCCESS, 10},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.code << std::dec << " = " << c.value << ", cap "
                                    << c.agentMaxRows << ", norowsetlimit " << c.noRowsetLimit);
    // The agent's options are copied into each connection when it is made.
    AgentOptions options{};
    options.f_maxrows = c.agentMaxRows;
    options.f_norowsetsizelimit = c.noRowsetLimit;
    ODBC_SetAgentOptions(&options);
    handle_t conn = 0;
    errcode_t e = Connect(ConnStr(), &conn);
    ODBC_SetAgentOptions(nullptr);
    ASSERT_EQ(e, ER_SUCCESS) << ServerErrors();
    char buf[8];
    if (c.readsXFetch2) {
      ASSERT_EQ(ODBC_GetDrvParameter(conn, 0x22010008, buf, sizeof buf, nullptr), ER_SUCCESS);
    }
    handle_t h = NewCursor(conn);
    sgn32 v = c.value;
    EXPECT_EQ(ODBC_SetDrvParameter(h, c.code, &v), c.answer);
    ASSERT_EQ(ODBC_GetDrvParameter(h, c.code, buf, sizeof buf, nullptr), ER_SUCCESS);
    memcpy(&v, buf, 4);
    EXPECT_EQ(v, c.stored);
    ODBC_EndCursor(h);
    ODBC_EndConnect(conn);
  }
}

TEST_F(BackendSqlite, ParameterDescriptionsByProbeQueries) {
  MakeTable(0);
  handle_t h = NewCursor();
  ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>("INSERT INTO t (i, s) VALUES (?, ?)")), ER_SUCCESS);
  uns16 n = 0;
  Coldesc* pd = nullptr;
  ASSERT_EQ(ODBC_DescribeParams(h, &n, &pd), ER_SUCCESS);
  ASSERT_EQ(n, 2);
  EXPECT_STREQ(pd[0].label, "*U");
  FreeColdesc(pd, n);
  sgn32 on = 1;
  ASSERT_EQ(ODBC_SetDrvParameter(h, 0x3203000f, &on), ER_SUCCESS) << Errors(h);
  ASSERT_EQ(ODBC_DescribeParams(h, &n, &pd), ER_SUCCESS);
  ASSERT_EQ(n, 2);
  EXPECT_EQ(pd[0].sqlType, SQLTYPE_INTEGER);
  EXPECT_EQ(pd[1].sqlType, SQLTYPE_VARCHAR);
  EXPECT_EQ(pd[1].precision, 20u);
  FreeColdesc(pd, n);
  ODBC_EndCursor(h);
}

// The driver refuses SQLSetStmtOption(SQL_BIND_TYPE) with IM001 although it
// fetches in blocks: a refused set-up step before a result's first block fetch
// leaves no diagnostics behind and the rows still come.
TEST_F(BackendSqlite, RefusedBlockSetUpLeavesNoDiagnostics) {
  MakeTable(50);
  handle_t h = NewCursor();
  ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>("SELECT i FROM t ORDER BY i")), ER_SUCCESS);
  ASSERT_EQ(ODBC_Execute(h), ER_SUCCESS);
  auto rows = FetchAll(h, 20);
  ASSERT_EQ(rows.size(), 50u);
  EXPECT_EQ(rows[49][0], "50");
  EXPECT_EQ(Errors(h), "");
  ODBC_EndCursor(h);
}

// Labels hold at most 39 bytes and are never cut inside a UTF-8 sequence.
TEST_F(BackendSqlite, LabelsAreCutAtCharacterBoundaries) {
  std::string name = std::string(38, 'a') + "\xC3\xA9" + "tail";
  handle_t h = NewCursor();
  ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>(("SELECT 1 AS \"" + name + "\"").c_str())), ER_SUCCESS);
  uns16 n = 0;
  Coldesc* cd = nullptr;
  ASSERT_EQ(ODBC_DescribeColumns(h, &n, &cd), ER_SUCCESS);
  ASSERT_EQ(n, 1);
  EXPECT_EQ(std::string(cd[0].label), std::string(38, 'a'));
  EXPECT_EQ(std::string(cd[0].columnName), name);
  FreeColdesc(cd, n);
  ODBC_EndCursor(h);
}

TEST_F(BackendSqlite, CursorNames) {
  handle_t h = NewCursor();
  ASSERT_EQ(ODBC_SetCursorName(h, const_cast<char*>("mycursor")), ER_SUCCESS) << Errors(h);
  char buf[64] = {0};
  uns16 len = 0;
  ASSERT_EQ(ODBC_GetCursorName(h, buf, sizeof buf, &len), ER_SUCCESS);
  EXPECT_STREQ(buf, "mycursor");
  EXPECT_EQ(len, 8);
  EXPECT_EQ(ODBC_SetCursorName(h, nullptr), ER_INVALID_ARGUMENT);
  ODBC_EndCursor(h);
}

// ---- data fidelity ----

const std::string kTokyo40 = Repeat("\xE6\x9D\xB1\xE4\xBA\xAC", 20);  // 40 characters, 120 bytes
const std::string kUmlauts =
    "\xC3\x84\xC3\x96\xC3\x9C\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F\xC3\xA9\xC3\xA8\xC3\xAA";

// Declared sizes count characters: every character arrives, on plain and
// Unicode connections, row by row and in blocks, and nothing is reported cut.
TEST_F(BackendSqlite, TextCellsHoldEveryCharacter) {
  ASSERT_EQ(Exec("CREATE TABLE m (v VARCHAR(40), c CHAR(10), t TEXT)"), ER_SUCCESS);
  ASSERT_EQ(Exec("INSERT INTO m VALUES ('" + kTokyo40 + "', '" + kUmlauts + "', '" + kTokyo40 + "')"),
            ER_SUCCESS);
  handle_t uni = 0;
  ASSERT_EQ(ConnectUnicode(ConnStr(), &uni), ER_SUCCESS) << ServerErrors();
  ExpectRowsEverywhere("SELECT v, c, t FROM m", {hConn, uni}, {{kTokyo40, kUmlauts, kTokyo40}});
  // The description still counts characters; the cell counts their bytes.
  handle_t h = NewCursor();
  ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>("SELECT v, c FROM m")), ER_SUCCESS);
  uns16 n = 0;
  Coldesc* cd = nullptr;
  ASSERT_EQ(ODBC_DescribeColumns(h, &n, &cd), ER_SUCCESS);
  ASSERT_EQ(n, 2);
  EXPECT_EQ(cd[0].precision, 40u);
  EXPECT_EQ(cd[0].display, 40u);
  EXPECT_EQ(cd[0].fetchLength, 40u * 4 + 1);
  EXPECT_EQ(cd[1].fetchLength, 10u * 4 + 1);
  FreeColdesc(cd, n);
  ODBC_EndCursor(h);
}

// A value longer than its cell (SQLite keeps what it is given, whatever the
// declared size) is cut before a character, without its terminator, and the
// driver's "data truncated" waits on the cursor; the fetch still succeeds.
TEST_F(BackendSqlite, CutValuesKeepWholeCharactersAndWarn) {
  const std::string e = "\xC3\xA9";
  ASSERT_EQ(Exec("CREATE TABLE cut (v VARCHAR(2), t TEXT)"), ER_SUCCESS);
  ASSERT_EQ(Exec("INSERT INTO cut VALUES ('a" + Repeat("\xE6\x9D\xB1\xE4\xBA\xAC", 2) + "', '" +
                 Repeat(e, 40000) + "')"),
            ER_SUCCESS);
  for (uns16 block : {1, 100}) {
    handle_t h = NewCursor();
    ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>("SELECT v FROM cut")), ER_SUCCESS);
    ASSERT_EQ(ODBC_Execute(h), ER_SUCCESS);
    Dataset ds{};
    ASSERT_EQ(ODBC_Fetch(h, block, &ds), ER_SUCCESS);
    ASSERT_EQ(ds.nRows, 1);
    EXPECT_EQ(CellString(ds, 0, 0), "a\xE6\x9D\xB1\xE4\xBA\xAC");  // 9 bytes of room: no half of the third
    Dataset_Done(&ds);
    std::string errs = Errors(h);
    EXPECT_NE(errs.find("[SQLSTATE:01004]"), std::string::npos) << errs;
    ODBC_EndCursor(h);
  }
  // A long column at its long-data cap: whole characters, no terminator counted.
  handle_t h = NewCursor();
  ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>("SELECT t FROM cut")), ER_SUCCESS);
  ASSERT_EQ(ODBC_Execute(h), ER_SUCCESS);
  Dataset ds{};
  ASSERT_EQ(ODBC_Fetch(h, 1, &ds), ER_SUCCESS);
  std::string got = CellString(ds, 0, 0);
  Dataset_Done(&ds);
  EXPECT_GE(got.size(), 59998u);
  EXPECT_LT(got.size(), 80000u);
  EXPECT_EQ(got.size() % 2, 0u);
  EXPECT_EQ(got, Repeat(e, int(got.size() / 2)));
  EXPECT_NE(Errors(h).find("[SQLSTATE:01004]"), std::string::npos);
  ODBC_EndCursor(h);
}

// A BLOB is described as BINARY(255) whatever it holds: with long data deferred
// it is read whole through the long-data call; without, it is cut and said so.
// A NULL long value read in pieces is NULL (remaining -1), not empty.
TEST_F(BackendSqlite, BinaryAndNullValuesThroughTheLongDataCall) {
  ASSERT_EQ(Exec("CREATE TABLE b (id INTEGER, x BLOB, t TEXT)"), ER_SUCCESS);
  ASSERT_EQ(Exec("INSERT INTO b VALUES (1, zeroblob(300), NULL)"), ER_SUCCESS);
  ASSERT_EQ(Exec("UPDATE b SET x = CAST(printf('%.*c', 300, 'b') AS BLOB)"), ER_SUCCESS);
  const std::string blob(300, 'b');
  auto open = [&]() {
    handle_t h = NewCursor();
    EXPECT_EQ(ODBC_Prepare(h, const_cast<char*>("SELECT id, x, t FROM b")), ER_SUCCESS);
    EXPECT_EQ(ODBC_Execute(h), ER_SUCCESS);
    return h;
  };
  handle_t h = open();
  Dataset ds{};
  ASSERT_EQ(ODBC_Fetch(h, 10, &ds), ER_SUCCESS);
  ASSERT_EQ(ds.nRows, 1);
  std::string cut = CellString(ds, 1, 0);
  EXPECT_LT(cut.size(), 300u);
  EXPECT_EQ(cut, blob.substr(0, cut.size()));
  EXPECT_EQ(CellString(ds, 2, 0), "NULL");
  Dataset_Done(&ds);
  EXPECT_NE(Errors(h).find("[SQLSTATE:01004]"), std::string::npos);
  ODBC_EndCursor(h);

  int on = 1;
  ASSERT_EQ(ODBC_SetDrvParameter(hConn, 0x2201000f, &on), ER_SUCCESS);
  h = open();
  ASSERT_EQ(ODBC_Fetch(h, 10, &ds), ER_SUCCESS);
  ASSERT_EQ(ds.nRows, 1);
  EXPECT_EQ(CellString(ds, 0, 0), "1");
  EXPECT_EQ(CellString(ds, 1, 0), "LONG");
  EXPECT_EQ(CellString(ds, 2, 0), "LONG");
  Dataset_Done(&ds);
  sgn32 remain = 0;
  EXPECT_EQ(GetLong(h, 2, 128, &remain), blob);
  EXPECT_EQ(remain, 300);
  EXPECT_EQ(GetLong(h, 3, 128, &remain), "");
  EXPECT_EQ(remain, -1);
  // The budget of the NULL cell is spent: nothing more comes.
  EXPECT_EQ(GetLong(h, 3, 128, &remain), "");
  EXPECT_EQ(remain, 0);
  ODBC_EndCursor(h);
}

// Ending a connection with uncommitted work rolls it back and lets the driver
// go: the database is not left locked for the other writers, whether the
// connection ends on its own or with the last server session.
TEST_F(BackendSqlite, EndingAConnectionInsideATransactionRollsBack) {
  ASSERT_EQ(Exec("CREATE TABLE tx (i INTEGER)"), ER_SUCCESS);
  for (bool endServer : {false, true}) {
    SCOPED_TRACE(endServer ? "end server" : "end connection");
    AgentOptions noAutocommit{};
    noAutocommit.f_noautocommit = 1;
    ODBC_SetAgentOptions(&noAutocommit);
    handle_t writer = 0;
    errcode_t e = Connect(ConnStr(), &writer);
    ODBC_SetAgentOptions(nullptr);
    ASSERT_EQ(e, ER_SUCCESS) << ServerErrors();
    ASSERT_EQ(Exec("INSERT INTO tx VALUES (1)", writer), ER_SUCCESS);
    if (endServer) {
      ASSERT_EQ(ODBC_EndServer(hServer), ER_SUCCESS);
      ASSERT_EQ(numServers, 0u);
      ASSERT_EQ(ODBC_Server(nullptr, &hServer), ER_SUCCESS);
      char buf[16];
      ASSERT_EQ(ODBC_GetDrvParameter(hServer, 0x11010000, buf, sizeof buf, nullptr), ER_SUCCESS);
      ASSERT_EQ(Connect(ConnStr(), &hConn), ER_SUCCESS) << ServerErrors();
    } else {
      ASSERT_EQ(ODBC_EndConnect(writer), ER_SUCCESS);
    }
    // Another writer waits at most two seconds for a lock left behind.
    handle_t other = 0;
    ASSERT_EQ(Connect(ConnStr() + ";Timeout=2000", &other), ER_SUCCESS) << ServerErrors();
    EXPECT_EQ(Exec("INSERT INTO tx VALUES (2)", other), ER_SUCCESS) << Errors(other);
    EXPECT_EQ(Query("SELECT i FROM tx", 100, other), (std::vector<std::vector<std::string>>{{"2"}}));
    ASSERT_EQ(Exec("DELETE FROM tx", other), ER_SUCCESS);
    ODBC_EndConnect(other);
  }
}

}  // namespace
