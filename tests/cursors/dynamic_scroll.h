// Dynamic and mixed cursors on a real data source: statements prepared
// through the engine's analysis, key slices read one after the other and
// rowsets fetched through the engine's table, every walk compared with the
// order the data source itself gives the statement.
#pragma once

#include <sqlext.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "cursors/analysis.h"
#include "cursors/engine_session.h"
#include "cursors/keyset.h"
#include "cursors/slices.h"

namespace engine_test {

// A key column the analysis is expected to find.
struct ArmKey {
  const char* name;
  sgn16 sqlType;
};

class DynamicScroll : public EngineSession {
 protected:
  handle_t hConn = 0, hConn2 = 0;
  std::vector<handle_t> cursors;

  virtual std::string ConnStr() = 0;
  void SetUp() override {
    EngineSession::SetUp();
    ASSERT_EQ(Connect(ConnStr(), &hConn), ER_SUCCESS) << Errors(hServer);
    ASSERT_EQ(Connect(ConnStr(), &hConn2), ER_SUCCESS) << Errors(hServer);
    Exec(hConn, "DROP TABLE dyn_t");
    Exec(hConn, "DROP TABLE dyn_c");
    ASSERT_EQ(
        Exec(hConn, "CREATE TABLE dyn_t (id INTEGER PRIMARY KEY, grp INTEGER, name VARCHAR(20), note TEXT)"),
        ER_SUCCESS)
        << Errors(hConn);
    ASSERT_EQ(Exec(hConn,
                   "CREATE TABLE dyn_c (a INTEGER NOT NULL, b INTEGER NOT NULL, v INTEGER, "
                   "PRIMARY KEY (a, b))"),
              ER_SUCCESS);
    // Ties in grp, NULLs in grp and name, ids out of step with both.
    const char* rows[] = {"1, 2, 'kim', 'x'", "2, NULL, 'al', 'x'", "3, 1, NULL, 'x'",     "4, 2, 'al', 'x'",
                          "5, 1, 'zed', 'x'", "6, NULL, NULL, 'x'", "7, 3, 'bo', 'x'",     "8, 2, 'kim', 'x'",
                          "9, 1, 'al', 'x'",  "10, 2, NULL, 'x'",   "11, NULL, 'bo', 'x'", "12, 3, 'al', 'x'",
                          "13, 2, 'bo', 'x'"};
    for (const char* r : rows)
      ASSERT_EQ(Exec(hConn, std::string("INSERT INTO dyn_t VALUES (") + r + ")"), ER_SUCCESS);
    for (int a = 1; a <= 4; a++)
      for (int b = 3; b >= 1; b--)
        ASSERT_EQ(Exec(hConn, "INSERT INTO dyn_c VALUES (" + std::to_string(a) + ", " + std::to_string(b) +
                                  ", " + std::to_string((a * b) % 3) + ")"),
                  ER_SUCCESS);
  }
  void TearDown() override {
    for (handle_t h : cursors) engine.ops().endCursor(h);
    if (hConn) {
      Exec(hConn, "DROP TABLE dyn_t");
      Exec(hConn, "DROP TABLE dyn_c");
    }
    EngineSession::TearDown();
  }

  TSCCL* State(handle_t h) { return &ODBC_CursorRec(h)->st_sccl; }

  // A dynamic cursor over sql prepared through the engine's analysis (its
  // keys, ORDER BY columns and compound key). With a rowset size, a mixed
  // cursor: a keyset-driven one whose window holds sliceSize keys.
  handle_t Arm(const std::string& sql, std::vector<ArmKey> keys, sgn32 sliceSize, sgn32 mixedRowset = 0) {
    handle_t h = NewCursor(hConn);
    cursors.push_back(h);
    TSCCL* s = State(h);
    s->CursType = mixedRowset ? SQL_CURSOR_KEYSET_DRIVEN : SQL_CURSOR_DYNAMIC;
    s->KSSize = sliceSize;
    s->RSSize = mixedRowset ? mixedRowset : sliceSize;
    EXPECT_EQ(engine.ops().prepare(h, const_cast<char*>(sql.c_str())), ER_SUCCESS) << Errors(h);
    EXPECT_EQ(scs_p_Prepare(s, sql.c_str()), ER_SUCCESS) << Errors(h);
    s->f_state |= SCCL_THROUGH_ENGINE;
    EXPECT_EQ(s->CursType, mixedRowset ? SQL_CURSOR_KEYSET_DRIVEN : SQL_CURSOR_DYNAMIC);
    EXPECT_EQ(s->pKeySet->pLS_KeyCols ? s->pKeySet->pLS_KeyCols->cUsed : 0, keys.size());
    return h;
  }
  // A cursor made the client's way: options, prepare and execute through the
  // engine's table.
  handle_t Open(const std::string& sql, sgn32 type, sgn32 rowset, sgn32 keyset = 0) {
    // The client's driver asks for the oriented fetch first: dynamic cursors
    // and keyset sizes are offered to it only.
    sgn32 yes = 0;
    uns16 len = 0;
    EXPECT_EQ(engine.ops().getDrvParameter(hConn, DRVP_CONN_XFETCH2, &yes, 4, &len), ER_SUCCESS);
    handle_t h = NewCursor(hConn, type);
    cursors.push_back(h);
    EXPECT_EQ(engine.ops().setDrvParameter(h, DRVP_STMT_ROWSET_SIZE, &rowset), ER_SUCCESS) << Errors(h);
    if (keyset) {
      EXPECT_EQ(engine.ops().setDrvParameter(h, DRVP_STMT_KEYSET_SIZE, &keyset), ER_SUCCESS);
    }
    EXPECT_EQ(EngineSession::Open(h, sql), ER_SUCCESS) << Errors(h);
    EXPECT_EQ(State(h)->CursType, type);
    return h;
  }

  // The keys of the slice held, each as "a" or "a/b".
  std::vector<std::string> Keys(handle_t h) {
    std::vector<std::string> out;
    Dataset* ds = State(h)->pKeySet->pDataset;
    for (sgn32 r = 0; ds && r < ds->nRows; r++) {
      std::string k;
      for (uns16 c = 0; c < ds->nCols; c++) k += (c ? "/" : "") + CellText(*ds, c, r);
      out.push_back(k);
    }
    return out;
  }
  // The keys in the data source's own order of the statement.
  std::vector<std::string> Expected(const std::string& keySql) {
    std::vector<std::string> out;
    for (auto& row : Query(hConn, keySql)) {
      std::string k;
      for (size_t c = 0; c < row.size(); c++) k += (c ? "/" : "") + row[c];
      out.push_back(k);
    }
    return out;
  }
  errcode_t Read(handle_t h, uns16 ft, sgn32 irow = 0) {
    errcode_t rc = KS_GetKeySet_Dyn(State(h), ft, irow);
    if (rc != ER_SUCCESS && rc != ER_NO_DATA_FOUND)
      ADD_FAILURE() << "slice read " << rc << ": " << Errors(State(h)->hSCCurs) << " in "
                    << (State(h)->RqstAux.translated ? State(h)->RqstAux.translated : "");
    return rc;
  }
  // A scrollable fetch through the engine: its answer and the first column
  // of each row.
  struct Fetched {
    errcode_t rc;
    std::vector<std::string> ids;
    int prepares;      // statements the fetch prepared
    sgn32 total = -1;  // the result's size as the fetch reports it
  };
  Fetched Fetch(handle_t h, uns16 ft, sgn32 irow = 0) {
    PRSET rs = nullptr;
    uns32 rows = 0;
    sgn32 total = 0;
    const int before = ip.counts["prepare"];
    Fetched f{engine.ops().xFetch2(h, &rs, irow, &rows, &total, ft), {}, 0};
    f.prepares = ip.counts["prepare"] - before;
    f.total = total;
    for (uns32 r = 0; rs && rs->pDataset && r < rows; r++)
      f.ids.push_back(CellText(*rs->pDataset, 0, int(r)));
    RS_Destroy(&rs);
    return f;
  }
  static std::vector<std::string> Part(const std::vector<std::string>& all, size_t from, size_t n) {
    std::vector<std::string> out;
    for (size_t i = from; i < from + n && i < all.size(); i++) out.push_back(all[i]);
    return out;
  }

  // FIRST then NEXT to the end, and LAST then PRIOR to the start.
  std::vector<std::string> WalkForward(handle_t h) {
    std::vector<std::string> seen;
    for (errcode_t rc = Read(h, SQL_FETCH_FIRST); rc == ER_SUCCESS && seen.size() < 200;
         rc = Read(h, SQL_FETCH_NEXT))
      for (auto& k : Keys(h)) seen.push_back(k);
    return seen;
  }
  std::vector<std::string> WalkBackward(handle_t h) {
    std::vector<std::string> seen;
    for (errcode_t rc = Read(h, SQL_FETCH_LAST); rc == ER_SUCCESS && seen.size() < 200;
         rc = Read(h, SQL_FETCH_PRIOR)) {
      auto k = Keys(h);
      seen.insert(seen.begin(), k.begin(), k.end());
    }
    return seen;
  }

  // Past the end a RELATIVE -k rowset begins k rows before it and PRIOR
  // reads the last rowset; before the start RELATIVE k begins at row k.
  // Every cursor kind, reaching either end in every way a client can.
  void RelativeFromPastEitherEnd() {
    struct Kind {
      sgn32 slice, rowset;  // a rowset size: a mixed cursor
      const char* sql;
      const char* keySql;
    };
    const char* sql13 = "SELECT id, name FROM dyn_t ORDER BY grp, name";
    const char* key13 = "SELECT id FROM dyn_t ORDER BY grp, name, id";
    const char* sql12 = "SELECT id, name FROM dyn_t WHERE id <> 7 ORDER BY name DESC";
    const char* key12 = "SELECT id FROM dyn_t WHERE id <> 7 ORDER BY name DESC, id";
    const Kind kinds[] = {{3, 0, sql13, key13}, {4, 0, sql12, key12}, {1, 0, sql13, key13},
                          {6, 3, sql13, key13}, {5, 2, sql12, key12}, {4, 4, sql12, key12}};
    for (const Kind& kind : kinds) {
      const bool mixed = kind.rowset != 0;
      const sgn32 R = mixed ? kind.rowset : kind.slice;
      SCOPED_TRACE(std::string(mixed ? "mixed " : "dynamic ") + kind.sql + " rowset " + std::to_string(R) +
                   " slice " + std::to_string(kind.slice));
      const auto all = Expected(kind.keySql);
      const sgn32 N = sgn32(all.size());
      handle_t h = Arm(kind.sql, {{"id", SQL_INTEGER}}, kind.slice, kind.rowset);
      auto expectAt = [&](const Fetched& f, sgn32 at) {
        if (at < N) {
          EXPECT_EQ(f.rc, ER_SUCCESS) << Errors(h);
          EXPECT_EQ(f.ids, Part(all, size_t(at), size_t(R)));
          EXPECT_TRUE(f.total == -1 || f.total == N) << f.total;
        } else {
          EXPECT_NE(f.rc, ER_SUCCESS);
          EXPECT_TRUE(f.ids.empty());
        }
      };
      // Ways past the end: NEXT to it, LAST then NEXT, a long move forward.
      auto pastEnd = [&](int way) {
        if (way == 0) {
          for (int i = 0; i < 2 * N && Fetch(h, SQL_FETCH_NEXT).rc == ER_SUCCESS; i++) {
          }
        } else if (way == 1) {
          expectAt(Fetch(h, SQL_FETCH_LAST), N - R);
          expectAt(Fetch(h, SQL_FETCH_NEXT), N);
        } else {
          expectAt(Fetch(h, SQL_FETCH_FIRST), 0);
          expectAt(Fetch(h, SQL_FETCH_RELATIVE, N + 2), N);
        }
        expectAt(Fetch(h, SQL_FETCH_NEXT), N);  // and stays there
      };
      // Ways before the start: PRIOR from the first rowset, a long move back.
      auto beforeStart = [&](int way) {
        expectAt(Fetch(h, SQL_FETCH_FIRST), 0);
        if (way == 1) expectAt(Fetch(h, SQL_FETCH_RELATIVE, 4), 4);
        auto f = way == 0 ? Fetch(h, SQL_FETCH_PRIOR) : Fetch(h, SQL_FETCH_RELATIVE, -(N + R + 2));
        EXPECT_NE(f.rc, ER_SUCCESS);
        EXPECT_TRUE(f.ids.empty());
      };
      std::vector<sgn32> ks;
      for (sgn32 k : {1, R - 1, R, R + 1, 2 * R + 3, N})
        if (k > 0 && k <= N && std::find(ks.begin(), ks.end(), k) == ks.end()) ks.push_back(k);
      for (int way = 0; way < 3; way++) {
        SCOPED_TRACE("way " + std::to_string(way));
        for (sgn32 k : ks) {
          SCOPED_TRACE("RELATIVE -" + std::to_string(k) + " after the end");
          pastEnd(way);
          expectAt(Fetch(h, SQL_FETCH_RELATIVE, -k), N - k);
          expectAt(Fetch(h, SQL_FETCH_NEXT), N - k + R);
        }
        SCOPED_TRACE("PRIOR after the end");
        pastEnd(way);
        expectAt(Fetch(h, SQL_FETCH_PRIOR), N - R);
        expectAt(Fetch(h, SQL_FETCH_PRIOR), N - 2 * R);
      }
      // Back from the last rowset, short when the rows do not fill it.
      const sgn32 lastStart = (N - 1) / R * R;
      for (sgn32 k : ks) {
        if (k > lastStart) continue;
        SCOPED_TRACE("RELATIVE -" + std::to_string(k) + " from the last rowset");
        expectAt(Fetch(h, SQL_FETCH_FIRST), 0);
        expectAt(Fetch(h, SQL_FETCH_RELATIVE, lastStart), lastStart);
        expectAt(Fetch(h, SQL_FETCH_RELATIVE, -k), lastStart - k);
      }
      for (int way = 0; way < 2; way++) {
        SCOPED_TRACE("before the start, way " + std::to_string(way));
        for (sgn32 k : ks) {
          SCOPED_TRACE("RELATIVE " + std::to_string(k));
          beforeStart(way);
          expectAt(Fetch(h, SQL_FETCH_RELATIVE, k), k - 1);
          expectAt(Fetch(h, SQL_FETCH_NEXT), k - 1 + R);
        }
      }
    }
  }

  // The row of dyn_t with key id: its name sorts as the key does.
  static std::string Values(int id) {
    return "(" + std::to_string(id) + ", " + std::to_string(id % 3) + ", 'n" + std::to_string(1000 + id) +
           "', 'x')";
  }
  // dyn_t holds the keys 10, 20, ... 200 only.
  void FillByTens() {
    EXPECT_EQ(Exec(hConn, "DELETE FROM dyn_t"), ER_SUCCESS) << Errors(hConn);
    std::string rows;
    for (int id = 10; id <= 200; id += 10) rows += (id > 10 ? ", " : "") + Values(id);
    EXPECT_EQ(Exec(hConn, "INSERT INTO dyn_t VALUES " + rows), ER_SUCCESS) << Errors(hConn);
  }

  // Another connection inserts or deletes rows inside the rowset held (keys
  // 10, 20, ... 200, the rowset at the sixth row); a RELATIVE move then counts
  // from the rowset's first row in the result as it stands now, or from where
  // that row stood when it is the one deleted. Ascending by the key and
  // descending by a column that is not one; dynamic cursors and mixed ones
  // whose move leaves the window (inside it a mixed cursor reads its keys as
  // held). A move prepares the key slice (two reads when it goes back by less
  // than the slice), the rows and, for a dynamic cursor, their old values.
  void RelativeCountsFromTheFirstRowAsItStandsNow() {
    constexpr sgn32 R = 5, At = 5;
    FillByTens();
    struct Order {
      const char* sql;
      const char* keySql;
    } orders[] = {
        {"SELECT id, name FROM dyn_t ORDER BY id", "SELECT id FROM dyn_t ORDER BY id"},
        {"SELECT id, name FROM dyn_t ORDER BY name DESC", "SELECT id FROM dyn_t ORDER BY name DESC, id"}};
    struct Kind {
      sgn32 slice, rowset;  // a rowset size: a mixed cursor
      int statements;       // prepared by a move that reads the slice once
    } kinds[] = {{R, 0, 3}, {R, R, 2}, {8, R, 2}};
    // Rows of the rowset (0-based) deleted, and rows after which one is inserted.
    struct Change {
      std::vector<int> insertAfter, remove;
    } changes[] = {{{}, {}}, {{1}, {}}, {{0}, {}}, {{}, {1}}, {{}, {0}}, {{}, {4}}, {{2}, {3}}, {{0, 3}, {}}};
    const sgn32 moves[] = {-5, -4, -1, 0, 1, 4, 5, 6, 12};
    for (const Order& order : orders) {
      const auto before = Expected(order.keySql);
      const std::vector<std::string> held(before.begin() + At, before.begin() + At + R);
      for (const Kind& kind : kinds) {
        const bool mixed = kind.rowset != 0;
        handle_t h = Arm(order.sql, {{"id", SQL_INTEGER}}, kind.slice, kind.rowset);
        for (const Change& ch : changes) {
          for (sgn32 irow : moves) {
            // Inside a mixed cursor's window the rows are those of its keys.
            if (mixed && irow >= 0 && irow + R <= kind.slice) continue;
            std::string what = std::string(order.sql) + (mixed ? " mixed " : " dynamic ") +
                               std::to_string(kind.slice) + ", RELATIVE " + std::to_string(irow) + " after";
            for (int i : ch.insertAfter) what += " insert after " + held[size_t(i)];
            for (int i : ch.remove) what += " delete " + held[size_t(i)];
            SCOPED_TRACE(what);
            ASSERT_EQ(Fetch(h, SQL_FETCH_FIRST).ids, Part(before, 0, R)) << Errors(h);
            ASSERT_EQ(Fetch(h, SQL_FETCH_RELATIVE, At).ids, held) << Errors(h);
            std::vector<std::string> undo;
            for (int i : ch.insertAfter) {
              // Halfway between the row and the next: next to it in either order.
              const int id = (std::stoi(held[size_t(i)]) + std::stoi(before[size_t(At + i + 1)])) / 2;
              ASSERT_EQ(Exec(hConn2, "INSERT INTO dyn_t VALUES " + Values(id)), ER_SUCCESS) << Errors(hConn2);
              undo.push_back("DELETE FROM dyn_t WHERE id = " + std::to_string(id));
            }
            for (int i : ch.remove) {
              ASSERT_EQ(Exec(hConn2, "DELETE FROM dyn_t WHERE id = " + held[size_t(i)]), ER_SUCCESS);
              undo.push_back("INSERT INTO dyn_t VALUES " + Values(std::stoi(held[size_t(i)])));
            }
            const auto now = Expected(order.keySql);
            const auto first = std::find(now.begin(), now.end(), held[0]);
            // A deleted first row: the rows before it come first, then the rows after it.
            const sgn32 t = first != now.end() ? sgn32(first - now.begin()) + irow : At + irow - (irow > 0);
            auto f = Fetch(h, SQL_FETCH_RELATIVE, irow);
            if (t < sgn32(now.size())) {
              EXPECT_EQ(f.rc, ER_SUCCESS) << Errors(h);
              EXPECT_EQ(f.ids, Part(now, size_t(t), R));
            } else {
              EXPECT_EQ(f.rc, ER_SCRL_RSLTSET_END);
              EXPECT_TRUE(f.ids.empty());
            }
            EXPECT_LE(f.prepares, kind.statements + (irow < 0 && -irow < kind.slice)) << "statements";
            for (const std::string& u : undo) ASSERT_EQ(Exec(hConn2, u), ER_SUCCESS) << Errors(hConn2);
          }
        }
      }
    }
  }
};

// The walks every data source must pass.
#define DYNAMIC_SCROLL_TESTS(Fixture)                                                                       \
  TEST_F(Fixture, EveryRowOnceInOrderOverTiesAndNulls) {                                                    \
    struct Case {                                                                                           \
      const char* sql;                                                                                      \
      const char* keySql;                                                                                   \
    };                                                                                                      \
    const Case cases[] = {                                                                                  \
        {"SELECT id, name FROM dyn_t ORDER BY name", "SELECT id FROM dyn_t ORDER BY name, id"},             \
        {"SELECT id, name FROM dyn_t ORDER BY name DESC", "SELECT id FROM dyn_t ORDER BY name DESC, id"},   \
        {"SELECT id FROM dyn_t ORDER BY grp, name DESC",                                                    \
         "SELECT id FROM dyn_t ORDER BY grp, name DESC, id"},                                               \
        {"SELECT id FROM dyn_t ORDER BY grp DESC, id DESC",                                                 \
         "SELECT id FROM dyn_t ORDER BY grp DESC, id DESC"},                                                \
        {"SELECT id FROM dyn_t WHERE id > 2 ORDER BY grp",                                                  \
         "SELECT id FROM dyn_t WHERE id > 2 ORDER BY grp, id"},                                             \
        {"SELECT id FROM dyn_t", "SELECT id FROM dyn_t ORDER BY id"},                                       \
    };                                                                                                      \
    for (const Case& c : cases)                                                                             \
      for (sgn32 size : {1, 3, 5}) {                                                                        \
        SCOPED_TRACE(std::string(c.sql) + " slice " + std::to_string(size));                                \
        handle_t h = Arm(c.sql, {{"id", SQL_INTEGER}}, size);                                               \
        auto want = Expected(c.keySql);                                                                     \
        EXPECT_EQ(WalkForward(h), want);                                                                    \
        EXPECT_EQ(WalkBackward(h), want);                                                                   \
      }                                                                                                     \
  }                                                                                                         \
  TEST_F(Fixture, CompositeKeys) {                                                                          \
    const char* cases[][2] = {                                                                              \
        {"SELECT a, b FROM dyn_c ORDER BY v", "SELECT a, b FROM dyn_c ORDER BY v, a, b"},                   \
        {"SELECT a, b FROM dyn_c ORDER BY v DESC, b", "SELECT a, b FROM dyn_c ORDER BY v DESC, b, a"},      \
        {"SELECT a, b FROM dyn_c ORDER BY b DESC, a", "SELECT a, b FROM dyn_c ORDER BY b DESC, a"},         \
        {"SELECT a, b FROM dyn_c", "SELECT a, b FROM dyn_c ORDER BY a, b"},                                 \
    };                                                                                                      \
    for (auto& c : cases) {                                                                                 \
      SCOPED_TRACE(c[0]);                                                                                   \
      handle_t h = Arm(c[0], {{"a", SQL_INTEGER}, {"b", SQL_INTEGER}}, 4);                                  \
      auto want = Expected(c[1]);                                                                           \
      EXPECT_EQ(WalkForward(h), want);                                                                      \
      EXPECT_EQ(WalkBackward(h), want);                                                                     \
    }                                                                                                       \
  }                                                                                                         \
  TEST_F(Fixture, RelativeMovesTheSlice) {                                                                  \
    handle_t h = Arm("SELECT id FROM dyn_t ORDER BY grp, name", {{"id", SQL_INTEGER}}, 4);                  \
    auto all = Expected("SELECT id FROM dyn_t ORDER BY grp, name, id");                                     \
    auto slice = [&](size_t from) {                                                                         \
      std::vector<std::string> s;                                                                           \
      for (size_t i = from; i < from + 4 && i < all.size(); i++) s.push_back(all[i]);                       \
      return s;                                                                                             \
    };                                                                                                      \
    ASSERT_EQ(Read(h, SQL_FETCH_FIRST), ER_SUCCESS);                                                        \
    struct Step {                                                                                           \
      sgn32 by;                                                                                             \
      size_t at;                                                                                            \
    };                                                                                                      \
    for (Step st : {Step{2, 2}, Step{0, 2}, Step{5, 7}, Step{-3, 4}, Step{-4, 0}, Step{1, 1}, Step{8, 9},   \
                    Step{-1, 8}, Step{-6, 2}, Step{10, 12}, Step{-2, 10}}) {                                \
      SCOPED_TRACE("RELATIVE " + std::to_string(st.by));                                                    \
      ASSERT_EQ(Read(h, SQL_FETCH_RELATIVE, st.by), ER_SUCCESS);                                            \
      EXPECT_EQ(Keys(h), slice(st.at));                                                                     \
      EXPECT_EQ(State(h)->KSSize, 4);                                                                       \
    }                                                                                                       \
    ASSERT_EQ(Read(h, SQL_FETCH_LAST), ER_SUCCESS);                                                         \
    EXPECT_EQ(Keys(h), slice(all.size() - 4));                                                              \
    EXPECT_EQ(Read(h, SQL_FETCH_RELATIVE, 20), ER_NO_DATA_FOUND);                                           \
  }                                                                                                         \
  TEST_F(Fixture, LongColumnsAndWideSlices) {                                                               \
    /* A long column in the rowset: the driver hands its rows out one by one. */                            \
    ASSERT_EQ(Exec(hConn, "UPDATE dyn_t SET note = 'n' || id"), ER_SUCCESS);                                \
    handle_t h = Arm("SELECT id, note FROM dyn_t ORDER BY grp, name", {{"id", SQL_INTEGER}}, 5);            \
    auto want = Expected("SELECT id FROM dyn_t ORDER BY grp, name, id");                                    \
    std::vector<std::string> seen;                                                                          \
    for (auto f = Fetch(h, SQL_FETCH_NEXT); f.rc == ER_SUCCESS && seen.size() < 100;                        \
         f = Fetch(h, SQL_FETCH_NEXT))                                                                      \
      seen.insert(seen.end(), f.ids.begin(), f.ids.end());                                                  \
    EXPECT_EQ(seen, want);                                                                                  \
    /* RELATIVE -3 with ten keys held: the three keys before the first, seven from it on. */                \
    handle_t w = Arm("SELECT id FROM dyn_t ORDER BY grp DESC, name", {{"id", SQL_INTEGER}}, 10);            \
    auto all = Expected("SELECT id FROM dyn_t ORDER BY grp DESC, name, id");                                \
    ASSERT_EQ(Read(w, SQL_FETCH_FIRST), ER_SUCCESS);                                                        \
    ASSERT_EQ(Read(w, SQL_FETCH_RELATIVE, 3), ER_SUCCESS);                                                  \
    EXPECT_EQ(Keys(w), std::vector<std::string>(all.begin() + 3, all.end()));                               \
    ASSERT_EQ(Read(w, SQL_FETCH_RELATIVE, -3), ER_SUCCESS);                                                 \
    EXPECT_EQ(Keys(w), std::vector<std::string>(all.begin(), all.begin() + 10));                            \
    EXPECT_EQ(State(w)->KSSize, 10);                                                                        \
  }                                                                                                         \
  TEST_F(Fixture, SliceCutShortByTheDriverIsAnError) {                                                      \
    /* The driver's result is closed behind the read: its fetch fails (the   */                             \
    /* backend keeps the rows so far and queues the diagnostics).            */                             \
    handle_t h = Arm("SELECT id FROM dyn_t ORDER BY grp", {{"id", SQL_INTEGER}}, 4);                        \
    ASSERT_EQ(Read(h, SQL_FETCH_FIRST), ER_SUCCESS);                                                        \
    int fetches = 0;                                                                                        \
    ip.before["fetch"] = [&] {                                                                              \
      if (++fetches == 1) SQLFreeStmt(ODBC_CursorRec(State(h)->hSCCurs)->hStmt, SQL_CLOSE);                 \
    };                                                                                                      \
    errcode_t rc = KS_GetKeySet_Dyn(State(h), SQL_FETCH_NEXT, 0);                                           \
    ip.before.clear();                                                                                      \
    /* The driver's own error (invalid cursor state), never a short slice or the end. */                    \
    EXPECT_NE(rc, ER_SUCCESS);                                                                              \
    EXPECT_NE(rc, ER_NO_DATA_FOUND);                                                                        \
    /* A dynamic rowset with a long column, cut after its first row. */                                     \
    handle_t d = Arm("SELECT id, note FROM dyn_t ORDER BY grp", {{"id", SQL_INTEGER}}, 4);                  \
    ASSERT_EQ(Fetch(d, SQL_FETCH_FIRST).ids.size(), 4u);                                                    \
    fetches = 0;                                                                                            \
    ip.before["fetch"] = [&] {                                                                              \
      if (++fetches == 3) SQLFreeStmt(ODBC_CursorRec(d)->hStmt, SQL_CLOSE);                                 \
    };                                                                                                      \
    rc = Fetch(d, SQL_FETCH_NEXT).rc;                                                                       \
    ip.before.clear();                                                                                      \
    EXPECT_GE(fetches, 3);                                                                                  \
    EXPECT_NE(rc, ER_SUCCESS);                                                                              \
    EXPECT_NE(rc, ER_SCRL_RSLTSET_END);                                                                     \
    EXPECT_NE(rc, ER_EXCESS_CHANGES);                                                                       \
  }                                                                                                         \
  TEST_F(Fixture, MixedWindowMovesOnlyWhenLeft) {                                                           \
    handle_t h = Arm("SELECT id, name FROM dyn_t ORDER BY grp, name", {{"id", SQL_INTEGER}}, 6, 2);         \
    auto all = Expected("SELECT id FROM dyn_t ORDER BY grp, name, id");                                     \
    ASSERT_EQ(all.size(), 13u);                                                                             \
    /* Nothing read yet: PRIOR stays before the start, NEXT reads the first rowset. */                      \
    EXPECT_EQ(Fetch(h, SQL_FETCH_PRIOR).rc, ER_SCRL_RSLTSET_START);                                         \
    struct Step {                                                                                           \
      uns16 ft;                                                                                             \
      sgn32 irow;                                                                                           \
      size_t at, n;                                                                                         \
      bool moves; /* the window is read again */                                                            \
    };                                                                                                      \
    const Step steps[] = {                                                                                  \
        {SQL_FETCH_NEXT, 0, 0, 2, true},      {SQL_FETCH_NEXT, 0, 2, 2, false},                             \
        {SQL_FETCH_NEXT, 0, 4, 2, false},     {SQL_FETCH_NEXT, 0, 6, 2, true},                              \
        {SQL_FETCH_NEXT, 0, 8, 2, false},     {SQL_FETCH_PRIOR, 0, 6, 2, false},                            \
        {SQL_FETCH_RELATIVE, 3, 9, 2, false}, {SQL_FETCH_RELATIVE, 0, 9, 2, false},                         \
        {SQL_FETCH_NEXT, 0, 11, 2, true},     {SQL_FETCH_NEXT, 0, 13, 0, true},                             \
        {SQL_FETCH_PRIOR, 0, 11, 2, true},    {SQL_FETCH_PRIOR, 0, 9, 2, false},                            \
        {SQL_FETCH_RELATIVE, -6, 3, 2, true}, {SQL_FETCH_FIRST, 0, 0, 2, true},                             \
        {SQL_FETCH_LAST, 0, 11, 2, true},     {SQL_FETCH_PRIOR, 0, 9, 2, false},                            \
    };                                                                                                      \
    int i = 0;                                                                                              \
    for (const Step& st : steps) {                                                                          \
      SCOPED_TRACE("step " + std::to_string(i++));                                                          \
      auto f = Fetch(h, st.ft, st.irow);                                                                    \
      EXPECT_EQ(f.rc, st.n ? ER_SUCCESS : ER_NO_DATA_FOUND) << Errors(h);                                   \
      EXPECT_EQ(f.ids, Part(all, st.at, st.n));                                                             \
      EXPECT_EQ(f.prepares > 0, st.moves) << f.prepares;                                                    \
    }                                                                                                       \
    /* A first RELATIVE k reads row k on; k <= 0 stays before the start. */                                 \
    handle_t r = Arm("SELECT id, name FROM dyn_t ORDER BY grp, name", {{"id", SQL_INTEGER}}, 6, 2);         \
    EXPECT_EQ(Fetch(r, SQL_FETCH_RELATIVE, 0).rc, ER_SCRL_RSLTSET_START);                                   \
    EXPECT_EQ(Fetch(r, SQL_FETCH_RELATIVE, 3).ids, Part(all, 2, 2));                                        \
    handle_t far = Arm("SELECT id, name FROM dyn_t ORDER BY grp, name", {{"id", SQL_INTEGER}}, 6, 2);       \
    EXPECT_EQ(Fetch(far, SQL_FETCH_RELATIVE, 9).ids, Part(all, 8, 2));                                      \
  }                                                                                                         \
  TEST_F(Fixture, DynamicRowsetsScroll) {                                                                   \
    handle_t h = Arm("SELECT id, name FROM dyn_t ORDER BY grp, name", {{"id", SQL_INTEGER}}, 3);            \
    auto all = Expected("SELECT id FROM dyn_t ORDER BY grp, name, id");                                     \
    /* Nothing read yet: PRIOR stays before the start, NEXT reads the first rowset. */                      \
    EXPECT_EQ(Fetch(h, SQL_FETCH_PRIOR).rc, ER_SCRL_RSLTSET_START);                                         \
    struct Step {                                                                                           \
      uns16 ft;                                                                                             \
      sgn32 irow;                                                                                           \
      errcode_t rc;                                                                                         \
      size_t at, n;                                                                                         \
    };                                                                                                      \
    const Step steps[] = {                                                                                  \
        {SQL_FETCH_NEXT, 0, ER_SUCCESS, 0, 3},                                                              \
        {SQL_FETCH_NEXT, 0, ER_SUCCESS, 3, 3},                                                              \
        {SQL_FETCH_NEXT, 0, ER_SUCCESS, 6, 3},                                                              \
        {SQL_FETCH_NEXT, 0, ER_SUCCESS, 9, 3},                                                              \
        {SQL_FETCH_NEXT, 0, ER_SUCCESS, 12, 1},                                                             \
        {SQL_FETCH_NEXT, 0, ER_SCRL_RSLTSET_END, 0, 0},                                                     \
        {SQL_FETCH_PRIOR, 0, ER_SUCCESS, 10, 3},                                                            \
        {SQL_FETCH_PRIOR, 0, ER_SUCCESS, 7, 3},                                                             \
        {SQL_FETCH_RELATIVE, 0, ER_SUCCESS, 7, 3},                                                          \
        {SQL_FETCH_RELATIVE, 2, ER_SUCCESS, 9, 3},                                                          \
        {SQL_FETCH_RELATIVE, -4, ER_SUCCESS, 5, 3},                                                         \
        {SQL_FETCH_PRIOR, 0, ER_SUCCESS, 2, 3},                                                             \
        {SQL_FETCH_PRIOR, 0, ER_SUCCESS, 0, 3},                                                             \
        {SQL_FETCH_PRIOR, 0, ER_SCRL_RSLTSET_START, 0, 0},                                                  \
        {SQL_FETCH_NEXT, 0, ER_SUCCESS, 0, 3},                                                              \
        {SQL_FETCH_LAST, 0, ER_SUCCESS, 10, 3},                                                             \
        {SQL_FETCH_RELATIVE, 5, ER_SCRL_RSLTSET_END, 0, 0},                                                 \
        {SQL_FETCH_FIRST, 0, ER_SUCCESS, 0, 3},                                                             \
        {SQL_FETCH_RELATIVE, 11, ER_SUCCESS, 11, 2},                                                        \
        {SQL_FETCH_RELATIVE, -1, ER_SUCCESS, 10, 3},                                                        \
    };                                                                                                      \
    int i = 0;                                                                                              \
    for (const Step& st : steps) {                                                                          \
      SCOPED_TRACE("step " + std::to_string(i++));                                                          \
      auto f = Fetch(h, st.ft, st.irow);                                                                    \
      EXPECT_EQ(f.rc, st.rc) << Errors(h);                                                                  \
      EXPECT_EQ(f.ids, Part(all, st.at, st.n));                                                             \
    }                                                                                                       \
    /* A first RELATIVE k reads from row k. */                                                              \
    handle_t r = Arm("SELECT id, name FROM dyn_t ORDER BY grp, name", {{"id", SQL_INTEGER}}, 3);            \
    EXPECT_EQ(Fetch(r, SQL_FETCH_RELATIVE, 5).ids, Part(all, 4, 3));                                        \
    /* Every row once, over ties and NULLs, seeing rows inserted ahead. */                                  \
    handle_t w = Arm("SELECT id, name FROM dyn_t ORDER BY name DESC, grp", {{"id", SQL_INTEGER}}, 4);       \
    std::vector<std::string> seen;                                                                          \
    for (auto f = Fetch(w, SQL_FETCH_NEXT); f.rc == ER_SUCCESS && seen.size() < 100;                        \
         f = Fetch(w, SQL_FETCH_NEXT)) {                                                                    \
      seen.insert(seen.end(), f.ids.begin(), f.ids.end());                                                  \
      if (seen.size() == 4) {                                                                               \
        ASSERT_EQ(Exec(hConn2, "INSERT INTO dyn_t VALUES (50, 9, 'aaa', 'n')"), ER_SUCCESS);                \
        ASSERT_EQ(Exec(hConn2, "DELETE FROM dyn_t WHERE id = 12"), ER_SUCCESS);                             \
      }                                                                                                     \
    }                                                                                                       \
    EXPECT_EQ(seen, Expected("SELECT id FROM dyn_t ORDER BY name DESC, grp, id"));                          \
  }                                                                                                         \
  TEST_F(Fixture, DynamicSliceChangedUnderneath) {                                                          \
    /* Another user deletes the slice's first row between its key read and */                               \
    /* its row read: the slice is read again from its first key, three     */                               \
    /* times at most.                                                      */                               \
    for (int limit : {1, 3}) {                                                                              \
      SCOPED_TRACE(limit);                                                                                  \
      handle_t h = Arm("SELECT id, name FROM dyn_t ORDER BY id", {{"id", SQL_INTEGER}}, 3);                 \
      ASSERT_EQ(Fetch(h, SQL_FETCH_FIRST).ids, (std::vector<std::string>{"1", "2", "3"}));                  \
      int deletes = 0;                                                                                      \
      bool busy = false;                                                                                    \
      ip.before["execute"] = [&] {                                                                          \
        TSCCL* s = State(h);                                                                                \
        /* The rowset read: the client's cursor holds the keyed SELECT. */                                  \
        if (busy || deletes >= limit || !(s->f_state & SCCL_ROWSET_SELECT) || !s->pKeySet->pDataset->nRows) \
          return;                                                                                           \
        const std::string first = CellText(*s->pKeySet->pDataset, 0, 0);                                    \
        deletes++;                                                                                          \
        busy = true; /* the DELETE's own execute comes here too */                                          \
        EXPECT_EQ(Exec(hConn2, "DELETE FROM dyn_t WHERE id = " + first), ER_SUCCESS);                       \
        busy = false;                                                                                       \
      };                                                                                                    \
      auto f = Fetch(h, SQL_FETCH_NEXT);                                                                    \
      ip.before.clear();                                                                                    \
      if (limit == 1) {                                                                                     \
        EXPECT_EQ(f.rc, ER_SUCCESS) << Errors(h);                                                           \
        EXPECT_EQ(f.ids, (std::vector<std::string>{"5", "6", "7"}));                                        \
      } else {                                                                                              \
        EXPECT_EQ(f.rc, ER_EXCESS_CHANGES);                                                                 \
      }                                                                                                     \
      EXPECT_EQ(deletes, limit);                                                                            \
    }                                                                                                       \
  }                                                                                                         \
  TEST_F(Fixture, ClientsWayNextAfterEveryExecute) {                                                        \
    auto all = Expected("SELECT id FROM dyn_t ORDER BY grp, name, id");                                     \
    for (sgn32 keyset : {0, 5}) {                                                                           \
      SCOPED_TRACE(keyset ? "mixed" : "dynamic");                                                           \
      const sgn32 type = keyset ? SQL_CURSOR_KEYSET_DRIVEN : SQL_CURSOR_DYNAMIC;                            \
      handle_t h = Open("SELECT id, name FROM dyn_t ORDER BY grp, name", type, 2, keyset);                  \
      for (int run = 0; run < 2; run++) {                                                                   \
        SCOPED_TRACE(run);                                                                                  \
        /* NEXT right after execute, as every client starts, then onwards. */                               \
        EXPECT_EQ(Fetch(h, SQL_FETCH_NEXT).ids, Part(all, 0, 2)) << Errors(h);                              \
        EXPECT_EQ(Fetch(h, SQL_FETCH_NEXT).ids, Part(all, 2, 2));                                           \
        EXPECT_EQ(Fetch(h, SQL_FETCH_RELATIVE, 3).ids, Part(all, 5, 2));                                    \
        EXPECT_EQ(Fetch(h, SQL_FETCH_PRIOR).ids, Part(all, 3, 2));                                          \
        EXPECT_EQ(Fetch(h, SQL_FETCH_LAST).ids, Part(all, 11, 2));                                          \
        /* Executed again (closed first or not): the next fetch starts over. */                             \
        if (run == 0) {                                                                                     \
          EXPECT_EQ(engine.ops().close(h), ER_SUCCESS);                                                     \
        }                                                                                                   \
        EXPECT_EQ(engine.ops().execute(h), ER_SUCCESS) << Errors(h);                                        \
      }                                                                                                     \
      EXPECT_EQ(Fetch(h, SQL_FETCH_NEXT).ids, Part(all, 0, 2));                                             \
    }                                                                                                       \
  }                                                                                                         \
  TEST_F(Fixture, OtherConnectionsChangesAhead) {                                                           \
    handle_t h = Arm("SELECT id FROM dyn_t ORDER BY grp, name", {{"id", SQL_INTEGER}}, 3);                  \
    ASSERT_EQ(Read(h, SQL_FETCH_FIRST), ER_SUCCESS);                                                        \
    auto first = Keys(h);                                                                                   \
    /* A row inside the slice held, one ahead of it, and one ahead deleted. */                              \
    ASSERT_EQ(Exec(hConn2, "INSERT INTO dyn_t VALUES (40, 3, 'zz', 'n')"), ER_SUCCESS) << Errors(hConn2);   \
    ASSERT_EQ(Exec(hConn2, "INSERT INTO dyn_t VALUES (41, NULL, 'aa', 'n')"), ER_SUCCESS);                  \
    ASSERT_EQ(Exec(hConn2, "INSERT INTO dyn_t VALUES (42, 1, 'b', 'n')"), ER_SUCCESS);                      \
    ASSERT_EQ(Exec(hConn2, "DELETE FROM dyn_t WHERE id = 12"), ER_SUCCESS);                                 \
    auto all = Expected("SELECT id FROM dyn_t ORDER BY grp, name, id");                                     \
    ASSERT_EQ(Read(h, SQL_FETCH_RELATIVE, 0), ER_SUCCESS);                                                  \
    auto again = Keys(h);                                                                                   \
    /* Read again from its first key: a row inserted inside it is there. */                                 \
    auto at = std::find(all.begin(), all.end(), first[0]);                                                  \
    ASSERT_LE(at + 3, all.end());                                                                           \
    EXPECT_EQ(again, std::vector<std::string>(at, at + 3));                                                 \
    EXPECT_NE(again, first);                                                                                \
    std::vector<std::string> seen = again;                                                                  \
    while (Read(h, SQL_FETCH_NEXT) == ER_SUCCESS)                                                           \
      for (auto& k : Keys(h)) seen.push_back(k);                                                            \
    /* The slice re-read from its first key, then everything after it. */                                   \
    auto from = std::find(all.begin(), all.end(), first[0]);                                                \
    EXPECT_EQ(seen, std::vector<std::string>(from, all.end()));                                             \
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "12"), 0);                                               \
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "40"), 1);                                               \
  }                                                                                                         \
  TEST_F(Fixture, RelativeFromPastEitherEnd) { RelativeFromPastEitherEnd(); }                               \
  TEST_F(Fixture, RelativeCountsFromTheFirstRowAsItStandsNow) {                                             \
    RelativeCountsFromTheFirstRowAsItStandsNow();                                                           \
  }                                                                                                         \
  TEST_F(Fixture, NextGoesOnAfterTheRowsetUnderChanges) {                                                   \
    /* Rows inserted or deleted inside the slice or window held, before or */                               \
    /* in the rowset: NEXT goes on after the rowset's last row all the same. */                             \
    FillByTens();                                                                                           \
    struct Kind {                                                                                           \
      sgn32 slice, rowset; /* a rowset size: a mixed cursor */                                              \
    } kinds[] = {{4, 0}, {8, 4}, {4, 4}};                                                                   \
    struct Change {                                                                                         \
      int id;                                                                                               \
      bool insert;                                                                                          \
    } changes[] = {{55, true}, {15, true}, {70, false}, {20, false}};                                       \
    using Ids = std::vector<std::string>;                                                                   \
    for (const Kind& kind : kinds) {                                                                        \
      handle_t h =                                                                                          \
          Arm("SELECT id, name FROM dyn_t ORDER BY id", {{"id", SQL_INTEGER}}, kind.slice, kind.rowset);    \
      for (const Change& ch : changes) {                                                                    \
        SCOPED_TRACE(std::to_string(kind.slice) + "/" + std::to_string(kind.rowset) +                       \
                     (ch.insert ? " insert " : " delete ") + std::to_string(ch.id));                        \
        ASSERT_EQ(Fetch(h, SQL_FETCH_FIRST).ids, (Ids{"10", "20", "30", "40"})) << Errors(h);               \
        ASSERT_EQ(Fetch(h, SQL_FETCH_NEXT).ids, (Ids{"50", "60", "70", "80"})) << Errors(h);                \
        const std::string row = "INSERT INTO dyn_t VALUES " + Values(ch.id);                                \
        const std::string gone = "DELETE FROM dyn_t WHERE id = " + std::to_string(ch.id);                   \
        ASSERT_EQ(Exec(hConn2, ch.insert ? row : gone), ER_SUCCESS) << Errors(hConn2);                      \
        EXPECT_EQ(Fetch(h, SQL_FETCH_NEXT).ids, (Ids{"90", "100", "110", "120"})) << Errors(h);             \
        ASSERT_EQ(Exec(hConn2, ch.insert ? gone : row), ER_SUCCESS) << Errors(hConn2);                      \
      }                                                                                                     \
    }                                                                                                       \
  }                                                                                                         \
  TEST_F(Fixture, ExtremeRelativeMovesAnswerAsFarOnes) {                                                    \
    /* The client's irow at its extremes answers as a move past either end does. */                         \
    struct Move {                                                                                           \
      sgn32 extreme, far;                                                                                   \
    } moves[] = {{INT32_MAX, 100}, {INT32_MIN, -100}, {-INT32_MAX, -100}};                                  \
    for (sgn32 mixed : {0, 2}) {                                                                            \
      for (const Move& m : moves) {                                                                         \
        for (bool atEnd : {false, true}) {                                                                  \
          SCOPED_TRACE(std::to_string(mixed) + " " + std::to_string(m.extreme) + (atEnd ? " at end" : "")); \
          Fetched got[2];                                                                                   \
          for (int i = 0; i < 2; i++) {                                                                     \
            handle_t h = Arm("SELECT id, name FROM dyn_t ORDER BY grp, name", {{"id", SQL_INTEGER}},        \
                             mixed ? 6 : 3, mixed);                                                         \
            EXPECT_EQ(Fetch(h, SQL_FETCH_NEXT).rc, ER_SUCCESS);                                             \
            EXPECT_EQ(Fetch(h, SQL_FETCH_NEXT).rc, ER_SUCCESS);                                             \
            for (int k = 0; atEnd && k < 20 && Fetch(h, SQL_FETCH_NEXT).rc == ER_SUCCESS; k++) {            \
            }                                                                                               \
            got[i] = Fetch(h, SQL_FETCH_RELATIVE, i ? m.far : m.extreme);                                   \
          }                                                                                                 \
          EXPECT_EQ(got[0].rc, got[1].rc);                                                                  \
          EXPECT_EQ(got[0].ids, got[1].ids);                                                                \
        }                                                                                                   \
      }                                                                                                     \
    }                                                                                                       \
  }
}  // namespace engine_test
