// Scrollable fetches through the engine's table for the fetch engines' tests:
// a cursor opened with its type, concurrency and rowset size, and each
// xFetch/xFetch2 answer as text (rows joined by '|', one status per row);
// the statements prepared on the driver, and the sessions' two connections
// to a SQLite file database or to the PostgreSQL test server.
#pragma once

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "cursors/analysis.h"
#include "cursors/keyset_session.h"

namespace engine_test {

struct XFetchAnswer {
  errcode_t rc = ER_SUCCESS;
  uns32 crow = 0;
  sgn32 rsltSetSize = 0;
  std::vector<std::string> rows;  // the cells of each row joined by '|'
  std::vector<int> status;        // all RSSize statuses
  bool hasRowSet = false;
  // The first cell of each row, for short comparisons.
  std::vector<std::string> First() const {
    std::vector<std::string> out;
    for (const std::string& r : rows) out.push_back(r.substr(0, r.find('|')));
    return out;
  }
};

// Each row of a dataset, its cells joined by '|'.
inline std::vector<std::string> RowsText(const Dataset* ds, int maxRows = INT32_MAX) {
  std::vector<std::string> out;
  for (int r = 0; ds && r < ds->nRows && r < maxRows; r++) {
    std::string row;
    for (int c = 0; c < ds->nCols; c++) row += (c ? "|" : "") + CellText(*ds, c, r);
    out.push_back(row);
  }
  return out;
}

// The statements prepared on the driver while a session records them.
inline std::vector<std::string>* g_prepared = nullptr;
inline bool (*g_preparedKeep)(const char* sql) = nullptr;
inline decltype(drv_ops::prepare) g_preparedNext = nullptr;
inline errcode_t PrepareRecorded(handle_t h, char* sql) {
  if (g_prepared && (!g_preparedKeep || (sql && g_preparedKeep(sql)))) g_prepared->push_back(sql ? sql : "");
  return g_preparedNext(h, sql);
}

class FetchSession : public KeysetSession {
 protected:
  void TearDown() override {
    g_prepared = nullptr;
    KeysetSession::TearDown();
  }
  // From now on each statement prepared on the driver goes to *into, in
  // order; with keep, only those it accepts.
  void RecordPrepares(std::vector<std::string>* into, bool (*keep)(const char* sql) = nullptr) {
    if (ip.ops.prepare != PrepareRecorded) {
      g_preparedNext = ip.ops.prepare;
      ip.ops.prepare = PrepareRecorded;
    }
    g_prepared = into;
    g_preparedKeep = keep;
  }
  // A cursor of the given type, concurrency and rowset size.
  handle_t Scrollable(handle_t conn, sgn32 type, sgn32 conc, sgn32 rsSize) {
    handle_t h = NewCursor(conn, type);
    if (conc != SQL_CONCUR_READ_ONLY) {
      EXPECT_EQ(engine.ops().setDrvParameter(h, DRVP_STMT_CONCURRENCY, &conc), ER_SUCCESS) << Errors(h);
    }
    EXPECT_EQ(engine.ops().setDrvParameter(h, DRVP_STMT_ROWSET_SIZE, &rsSize), ER_SUCCESS) << Errors(h);
    return h;
  }
  // ft < 0: the plain scrollable fetch (absolute row only).
  XFetchAnswer XFetch(handle_t h, sgn32 irow, sgn32 ft = -1) {
    XFetchAnswer a;
    PRSET rs = nullptr;
    a.rc = ft < 0 ? engine.ops().xFetch(h, &rs, irow, &a.crow, &a.rsltSetSize)
                  : engine.ops().xFetch2(h, &rs, irow, &a.crow, &a.rsltSetSize, ft);
    a.hasRowSet = rs != nullptr;
    if (!rs) return a;
    a.rows = RowsText(rs->pDataset);
    for (int i = 0; i < rs->RSSize; i++) a.status.push_back(rs->rgfRowStatus[i]);
    RS_Destroy(&rs);
    return a;
  }
  // Prepares and executes sql on h through the engine. Where the engine's
  // statement operations leave a scrollable SELECT unanalysed, the analysis,
  // keyset and re-prepare they owe are done here by hand.
  errcode_t OpenScrollable(handle_t h, const std::string& sql) {
    TSCCL* s = State(h);
    s->f_state = uns16(s->f_state & ~SCCL_THROUGH_ENGINE);
    errcode_t rc = engine.ops().prepare(h, const_cast<char*>(sql.c_str()));
    if (rc != ER_SUCCESS) return rc;
    if (s->f_state & SCCL_THROUGH_ENGINE) return engine.ops().execute(h);
    if ((rc = scs_p_Prepare(s, sql.c_str())) != ER_SUCCESS) return rc;
    s->f_state |= SCCL_THROUGH_ENGINE;
    const bool plain = !(s->SelectRqstFlags & (SCR_F_JOIN | SCR_F_GROUP_BY | SCR_F_AGGREGATE | SCR_F_UNION));
    const bool keysetDriven = s->CursType == SQL_CURSOR_KEYSET_DRIVEN && s->KSSize == 0;
    const bool keyedStatic = s->CursType == SQL_CURSOR_STATIC && s->ConcType != SQL_CONCUR_READ_ONLY && plain;
    if (keysetDriven || keyedStatic) rc = KS_GetKeySet_KSD(s);
    if (rc == ER_SUCCESS && keyedStatic) {
      std::string text = s->Rqst.translated;
      if (s->ConcType == SQL_CONCUR_LOCK && !s->bLockByUpdate) text += " FOR UPDATE";
      rc = engine.ops().prepare(h, text.data());
    }
    return rc == ER_SUCCESS ? engine.ops().execute(h) : rc;
  }
  // Absolute fetches over rows 1..25 (first column the row number), rowset 10.
  void CheckAbsolute(handle_t h, sgn32 ft);
};

// A session with two connections to one SQLite file database; MakeTables
// runs once both are open and by default makes t(i, s, n).
template <class Session>
class OnSqlite : public Session {
 protected:
  handle_t hConn = 0, hConn2 = 0;
  void SetUp() override {
    Session::SetUp();
    const std::string cs =
        std::string("DRIVER=") + test_support::kSqliteDriver + ";Database=" + this->dir.file("t.db");
    ASSERT_EQ(this->Connect(cs, &hConn), ER_SUCCESS) << this->Errors(this->hServer);
    ASSERT_EQ(this->Connect(cs, &hConn2), ER_SUCCESS) << this->Errors(this->hServer);
    MakeTables();
  }
  virtual void MakeTables() {
    ASSERT_EQ(this->Exec(hConn, "CREATE TABLE t (i INTEGER PRIMARY KEY, s VARCHAR(20), n INTEGER)"),
              ER_SUCCESS);
  }
  // t(i, s, n) holds rows 1..n.
  void Fill(int n) {
    ASSERT_EQ(this->Exec(hConn, "DELETE FROM t"), ER_SUCCESS);
    ASSERT_EQ(this->Exec(hConn, "WITH RECURSIVE g(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM g WHERE x < " +
                                    std::to_string(n) + ") INSERT INTO t SELECT x, 'r' || x, x * 10 FROM g"),
              ER_SUCCESS);
  }
};

// A session with two connections to the PostgreSQL test server, skipped
// without one; MakeTables runs once both are open. Tables made by MakeTable
// are dropped at the end: the server outlives the test.
template <class Session>
class OnPostgres : public Session {
 protected:
  handle_t hPg = 0, hPg2 = 0;
  std::vector<std::string> made;
  void SetUp() override {
    if (!getenv("SQLGATE_PG_PORT")) GTEST_SKIP() << "SQLGATE_PG_PORT not set";
    Session::SetUp();
    ASSERT_EQ(this->Connect(PgConnStr(), &hPg), ER_SUCCESS) << this->Errors(this->hServer);
    ASSERT_EQ(this->Connect(PgConnStr(), &hPg2), ER_SUCCESS) << this->Errors(this->hServer);
    MakeTables();
  }
  void TearDown() override {
    for (const std::string& name : made)
      if (hPg) this->Exec(hPg, "DROP TABLE IF EXISTS " + name);
    Session::TearDown();
  }
  virtual void MakeTables() {}
  // The table made afresh with its column definitions.
  void MakeTable(const std::string& name, const std::string& columns) {
    this->Exec(hPg, "DROP TABLE IF EXISTS " + name);
    made.push_back(name);
    ASSERT_EQ(this->Exec(hPg, "CREATE TABLE " + name + " (" + columns + ")"), ER_SUCCESS)
        << this->Errors(hPg);
  }
};

// "1".."n" as text.
inline std::vector<std::string> Range(int from, int to) {
  std::vector<std::string> out;
  for (int i = from; i <= to; i++) out.push_back(std::to_string(i));
  return out;
}

// n statuses s, then m statuses t.
inline std::vector<int> Statuses(int n, int s, int m = 0, int t = 3) {
  std::vector<int> out(size_t(n), s);
  out.insert(out.end(), size_t(m), t);
  return out;
}

struct AbsCase {
  sgn32 irow;
  errcode_t rc;
  std::vector<std::string> first;
  std::vector<int> status;
  positn_t position;  // Position afterwards
};

inline void FetchSession::CheckAbsolute(handle_t h, sgn32 ft) {
  const AbsCase cases[] = {
      {1, ER_SUCCESS, Range(1, 10), Statuses(10, 0), 1},
      {11, ER_SUCCESS, Range(11, 20), Statuses(10, 0), 1},
      {21, ER_SUCCESS, Range(21, 25), Statuses(5, 0, 5), 1},
      {0, ER_SUCCESS, Range(16, 25), Statuses(10, 0), 1},
      {-3, ER_SUCCESS, Range(23, 25), Statuses(3, 0, 7), 1},
      {-25, ER_SUCCESS, Range(1, 10), Statuses(10, 0), 1},
      {25, ER_SUCCESS, Range(25, 25), Statuses(1, 0, 9), 1},
      {26, ER_SCRL_RSLTSET_END, {}, {}, -3},
      {-26, ER_SCRL_RSLTSET_START, {}, {}, 0},
  };
  for (const AbsCase& c : cases) {
    SCOPED_TRACE("irow " + std::to_string(c.irow) + " ft " + std::to_string(ft));
    XFetchAnswer a = XFetch(h, c.irow, ft);
    EXPECT_EQ(a.rc, c.rc) << Errors(h);
    EXPECT_EQ(a.First(), c.first);
    EXPECT_EQ(a.status, c.status);
    if (c.rc == ER_SUCCESS) {
      EXPECT_EQ(a.crow, c.first.size());
      EXPECT_EQ(a.rsltSetSize, 25);
      EXPECT_EQ(State(h)->RSPosition, sgn32(std::stoi(c.first[0])));
    }
    EXPECT_EQ(State(h)->Position, c.position);
  }
}

}  // namespace engine_test
