// End to end through the scrollable fetches: the real sqlgate through the
// launcher, the wire client and the SQLite driver. Static and keyset-driven
// cursors scrolled by absolute row with both scrollable fetch procedures,
// dynamic and mixed cursors scrolled back from past either end, rows another
// connection deletes or changes, and the fetch's refusals.
#include <cstdint>

#include "agent_client.h"

using namespace agent_test;

namespace {

struct Rowset {
  errcode_t rc = ER_GENERAL_ERROR;
  uns32 crow = 0;
  sgn32 rsltSetSize = 0;
  std::vector<std::string> first;  // first cell of each row
  std::vector<int> status;
};

class AgentFetchE2E : public AgentTest {
 protected:
  void Fill(int n) {
    ASSERT_EQ(cl->Exec(hConn, "CREATE TABLE t (i INTEGER PRIMARY KEY, s VARCHAR(20))"), ER_SUCCESS);
    ASSERT_EQ(cl->Exec(hConn, "WITH RECURSIVE g(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM g WHERE x < " +
                                  std::to_string(n) + ") INSERT INTO t SELECT x, 'r' || x FROM g"),
              ER_SUCCESS)
        << cl->Errors(hConn);
  }
  handle_t Open(sgn32 type, sgn32 rsSize, const std::string& sql, sgn32 ksSize = 0) {
    handle_t h = cl->Cursor(hConn);
    EXPECT_EQ(cl->SetInt(h, 0x32030006, type), ER_SUCCESS);
    EXPECT_EQ(cl->SetInt(h, 0x32030009, rsSize), ER_SUCCESS);
    if (ksSize) {
      EXPECT_EQ(cl->SetInt(h, 0x32030008, ksSize), ER_SUCCESS);
    }
    EXPECT_EQ(cl->Prepare(h, sql), ER_SUCCESS) << cl->Errors(h);
    EXPECT_EQ(cl->Execute(h), ER_SUCCESS) << cl->Errors(h);
    return h;
  }
  // ft < 0: the plain scrollable fetch.
  Rowset XFetch(handle_t h, sgn32 irow, sgn32 ft) {
    Rowset out;
    xfetchres r{};
    clnt_stat st;
    if (ft < 0) {
      call_extendedfetch a{h, irow};
      st = dbsvc_extendedfetch(cl->c, &a, &r);
    } else {
      call_extendedfetch2 a{h, irow, ft};
      st = dbsvc_extendedfetch2(cl->c, &a, &r);
    }
    EXPECT_EQ(st, RPC_SUCCESS);
    out.rc = r.error;
    out.crow = r.crow;
    out.rsltSetSize = r.RsltSetSize;
    if (r.pRowSet) {
      const Dataset* ds = r.pRowSet->pDataset;
      for (int row = 0; ds && row < ds->nRows; row++) out.first.push_back(Cell(*ds, 0, row));
      for (int i = 0; i < r.pRowSet->RSSize; i++) out.status.push_back(r.pRowSet->rgfRowStatus[i]);
    }
    if (ft < 0)
      dbsvc_extendedfetch_free(&r);
    else
      dbsvc_extendedfetch2_free(&r);
    return out;
  }
  static std::vector<std::string> Range(int from, int to) {
    std::vector<std::string> v;
    for (int i = from; i <= to; i++) v.push_back(std::to_string(i));
    return v;
  }
  static std::vector<int> Statuses(int n, int s, int m = 0) {
    std::vector<int> v(size_t(n), s);
    v.insert(v.end(), size_t(m), 3);
    return v;
  }
  void CheckAbsolute(handle_t h, sgn32 ft) {
    struct Case {
      sgn32 irow;
      errcode_t rc;
      std::vector<std::string> first;
      std::vector<int> status;
    } cases[] = {
        {1, ER_SUCCESS, Range(1, 10), Statuses(10, 0)},
        {21, ER_SUCCESS, Range(21, 25), Statuses(5, 0, 5)},
        {0, ER_SUCCESS, Range(16, 25), Statuses(10, 0)},
        {-3, ER_SUCCESS, Range(23, 25), Statuses(3, 0, 7)},
        {26, ER_SCRL_RSLTSET_END, {}, {}},
        {-26, ER_SCRL_RSLTSET_START, {}, {}},
        // The client's row at its extremes.
        {INT32_MAX, ER_SCRL_RSLTSET_END, {}, {}},
        {INT32_MIN, ER_SCRL_RSLTSET_START, {}, {}},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE("irow " + std::to_string(c.irow) + " ft " + std::to_string(ft));
      Rowset r = XFetch(h, c.irow, ft);
      EXPECT_EQ(r.rc, c.rc) << cl->Errors(h);
      EXPECT_EQ(r.first, c.first);
      EXPECT_EQ(r.status, c.status);
      if (c.rc == ER_SUCCESS) {
        EXPECT_EQ(r.crow, c.first.size());
        EXPECT_EQ(r.rsltSetSize, 25);
      }
    }
  }
};

TEST_F(AgentFetchE2E, StaticCursorScrollsByAbsoluteRow) {
  StartConnected();
  Fill(25);
  for (sgn32 ft : {-1, 1}) {
    handle_t h = Open(3, 10, "SELECT i, s FROM t ORDER BY i");
    CheckAbsolute(h, ft);
    ASSERT_EQ(cl->Exec(hConn, "DELETE FROM t WHERE i = 2"), ER_SUCCESS);
    EXPECT_EQ(XFetch(h, 1, ft).first, Range(1, 10)) << "the snapshot keeps the deleted row";
    ASSERT_EQ(cl->Exec(hConn, "INSERT INTO t VALUES (2, 'r2')"), ER_SUCCESS);
    ASSERT_EQ(cl->Simple(dbsvc_endcursor, h), ER_SUCCESS);
  }
}

TEST_F(AgentFetchE2E, KeysetCursorScrollsAndSeesDeletedRows) {
  StartConnected();
  Fill(25);
  for (sgn32 ft : {-1, 1}) {
    handle_t h = Open(1, 10, "SELECT i, s FROM t ORDER BY i");
    ASSERT_EQ(cl->GetInt(h, 0x32030006), 1) << "keyset-driven";
    CheckAbsolute(h, ft);
    ASSERT_EQ(cl->Exec(hConn, "DELETE FROM t WHERE i = 2"), ER_SUCCESS);
    Rowset r = XFetch(h, 1, ft);
    EXPECT_EQ(r.rc, ER_SUCCESS) << cl->Errors(h);
    EXPECT_EQ(r.first, (std::vector<std::string>{"1", "NULL", "3", "4", "5", "6", "7", "8", "9", "10"}));
    EXPECT_EQ(r.status, (std::vector<int>{0, 1, 0, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_EQ(cl->Exec(hConn, "INSERT INTO t VALUES (2, 'r2')"), ER_SUCCESS);
    ASSERT_EQ(cl->Simple(dbsvc_endcursor, h), ER_SUCCESS);
  }
}

TEST_F(AgentFetchE2E, DynamicAndMixedCursorsScrollBackFromPastEitherEnd) {
  StartConnected();
  Fill(25);
  // The client has the oriented fetch: dynamic cursors and keyset sizes are offered.
  cl->GetInt(hConn, 0x22010008);
  enum : sgn32 { NEXT = 1, FIRST = 2, PRIOR = 4, RELATIVE = 6 };
  struct Step {
    sgn32 ft, irow;
    int from, to;  // the rows expected; none when to < from
  } steps[] = {
      {NEXT, 0, 1, 10},       {NEXT, 0, 11, 20},    {NEXT, 0, 21, 25},       {NEXT, 0, 1, 0},
      {RELATIVE, -7, 19, 25}, {NEXT, 0, 1, 0},      {RELATIVE, -12, 14, 23}, {NEXT, 0, 24, 25},
      {NEXT, 0, 1, 0},        {PRIOR, 0, 16, 25},   {FIRST, 0, 1, 10},       {PRIOR, 0, 1, 0},
      {RELATIVE, 4, 4, 13},   {RELATIVE, 30, 1, 0}, {RELATIVE, -25, 1, 10},
  };
  for (sgn32 ksSize : {0, 15}) {
    handle_t h = Open(ksSize ? 1 : 2, 10, "SELECT i, s FROM t ORDER BY i", ksSize);
    ASSERT_EQ(cl->GetInt(h, 0x32030006), ksSize ? 1 : 2);
    ASSERT_EQ(cl->GetInt(h, 0x32030008), ksSize);
    int i = 0;
    for (const Step& st : steps) {
      SCOPED_TRACE("keyset " + std::to_string(ksSize) + " step " + std::to_string(i++));
      Rowset r = XFetch(h, st.irow, st.ft);
      const int n = st.to - st.from + 1;
      EXPECT_EQ(r.first, Range(st.from, st.to));
      if (n <= 0) {
        EXPECT_NE(r.rc, ER_SUCCESS);
        continue;
      }
      EXPECT_EQ(r.rc, ER_SUCCESS) << cl->Errors(h);
      EXPECT_EQ(r.status, Statuses(n, 0, 10 - n));
      EXPECT_TRUE(r.rsltSetSize == -1 || r.rsltSetSize == 25) << r.rsltSetSize;
    }
    ASSERT_EQ(cl->Simple(dbsvc_endcursor, h), ER_SUCCESS);
  }
}

TEST_F(AgentFetchE2E, Refusals) {
  StartConnected();
  Fill(3);
  // A handle that names no cursor.
  EXPECT_EQ(XFetch(0xCCCC0FFF, 1, 1).rc, ER_INVALID_ARGUMENT);
  // Forward-only: the rows, then "no data" with an empty rowset.
  handle_t h = Open(0, 5, "SELECT i FROM t ORDER BY i");
  Rowset r = XFetch(h, 1, 1);
  EXPECT_EQ(r.rc, ER_SUCCESS) << cl->Errors(h);
  EXPECT_EQ(r.first, Range(1, 3));
  EXPECT_EQ(r.status, Statuses(3, 0, 2));
  r = XFetch(h, 1, 1);
  EXPECT_EQ(r.rc, ER_NO_DATA_FOUND);
  EXPECT_EQ(r.crow, 0u);
  ASSERT_EQ(cl->Simple(dbsvc_endcursor, h), ER_SUCCESS);
}

}  // namespace
