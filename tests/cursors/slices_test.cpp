// The slice SELECT of dynamic and mixed cursors built from a cursor state set
// up by hand: the exact seek clauses and their parameters over ties, NULLs,
// composite keys and the data source's NULL collations, and the boundary rows.
#include <sqlext.h>

#include "cursors/engine_fixture.h"
#include "cursors/keyset.h"
#include "cursors/slices.h"

namespace engine_test {
namespace {

struct Key {
  const char* name;
  uns8 iOrdrBy;  // its ORDER BY position, 0 when not in the ORDER BY
  sgn16 sqlType;
};

// A boundary cell: an integer, a text, or NULL.
struct Val {
  bool isNull = true;
  bool isText = false;
  sgn32 i = 0;
  std::string s;
  Val() = default;
  Val(sgn32 v) : isNull(false), i(v) {}                      // NOLINT
  Val(const char* v) : isNull(false), isText(true), s(v) {}  // NOLINT
};
const Val NUL;

// The state a prepared dynamic cursor holds for the seek builders.
class Slice {
 public:
  TSCCL s{};
  KeySet ks{};

  // orderSql: the statement as prepared (its ORDER BY gives the sort columns);
  // keys in key order; cks the compound key size; rows: the boundary rows,
  // key columns then the non-key ORDER BY columns.
  Slice(const char* orderSql, std::vector<Key> keys, uns16 cks, std::vector<std::vector<Val>> rows,
        sgn16 nullCollation = SQL_NC_HIGH) {
    SCR_Init(&s.Rqst);
    SCR_Init(&s.RqstAux);
    SCR_Init(&s.RqstAux2);
    EXPECT_EQ(SCR_AnalyseSQL(&s.Rqst, orderSql, 0, 0), ER_SUCCESS);
    s.SelectRqstFlags = s.Rqst.flags;
    s.pLS_OrdrCols = alist_Alloc(sizeof(SCOrdrColDesc));
    if (s.Rqst.flags & SCR_F_ORDER_BY) {
      EXPECT_EQ(SCR_OrderingColsGet(&s.Rqst, s.pLS_OrdrCols), ER_SUCCESS);
    }
    ks.pLS_KeyCols = alist_Alloc(sizeof(SCColDesc));
    ks.cRefdTables = 1;
    for (const Key& k : keys) {
      SCColDesc d{};
      strcpy(d.col_name, k.name);
      strcpy(d.tbl_name, "T");
      d.iOrdrBy = k.iOrdrBy;
      d.SQLType = k.sqlType;
      d.precision = 10;
      alist_Add(ks.pLS_KeyCols, &d);
      if (k.iOrdrBy) {
        auto* oc = static_cast<SCOrdrColDesc*>(alist_At(s.pLS_OrdrCols, k.iOrdrBy - 1u));
        oc->bIsKey = 1;
        oc->SQLType = k.sqlType;
      }
    }
    for (unsigned i = 0; i < s.pLS_OrdrCols->cUsed; i++) {
      auto* oc = static_cast<SCOrdrColDesc*>(alist_At(s.pLS_OrdrCols, i));
      if (!oc->bIsKey) oc->SQLType = SQL_VARCHAR;
    }
    s.pKeySet = &ks;
    s.CompoundKeySize = cks;
    s.fNullCollation = nullCollation;
    if (!rows.empty()) s.pDSKeyBoundaryVals = Make(rows);
  }
  ~Slice() {
    SCR_Destroy(&s.Rqst);
    SCR_Destroy(&s.RqstAux);
    SCR_Destroy(&s.RqstAux2);
    alist_Dealloc(&s.pLS_OrdrCols, nullptr);
    alist_Dealloc(&ks.pLS_KeyCols, nullptr);
    Free(&s.pDSKeyBoundaryVals);
    Free(&ks.pDataset);
    free(s.pBindDesc);
  }
  static void Free(Dataset** pp) {
    if (*pp) Dataset_Done(*pp);
    free(*pp);
    *pp = nullptr;
  }
  static Dataset* Make(const std::vector<std::vector<Val>>& rows) {
    auto* ds = static_cast<Dataset*>(calloc(1, sizeof(Dataset)));
    const uns16 nc = uns16(rows[0].size());
    Dataset_Init(ds, nc);
    ds->nCols = nc;
    for (uns16 c = 0; c < nc; c++) {
      bool text = false;
      for (auto& r : rows) text |= r[c].isText;
      ds->col[c].cType = text ? CTYPE_VCHR : CTYPE_SGN32;
      ds->col[c].width = text ? Dataset_SizeCol(CTYPE_VCHR, 20) : 4;
    }
    Dataset_AllocColumns(ds, sgn32(rows.size()));
    for (size_t r = 0; r < rows.size(); r++) {
      for (uns16 c = 0; c < nc; c++) {
        const Val& v = rows[r][c];
        Coldata& col = ds->col[c];
        col.indicators[r] = v.isNull ? -1 : 0;
        if (v.isNull) continue;
        if (col.cType == CTYPE_SGN32)
          memcpy(Coldata_Cell(&col, r), &v.i, 4);
        else
          strcpy(Coldata_Cell(&col, r), v.s.c_str());
      }
    }
    ds->nRows = sgn32(rows.size());
    return ds;
  }

  // The slice SELECT for the statement text as extended by the keys.
  struct Built {
    errcode_t rc;
    std::string sql;
    std::vector<std::string> params;
  };
  Built Build(const char* extendedSql, uns16 ft, uns16 fb = 0) {
    SC_Request rq;
    SCR_Init(&rq);
    EXPECT_EQ(SCR_AnalyseSQL(&rq, extendedSql, 0, 0), ER_SUCCESS);
    Dataset* params = nullptr;
    Built b{KS_KeySelectStmtBld_Dyn(&s, &rq, ft, fb, &params), rq.translated ? rq.translated : "", {}};
    for (uns16 c = 0; params && c < params->nCols; c++) b.params.push_back(CellText(*params, c, 0));
    EXPECT_TRUE(!params || params->nRows == 1);
    Free(&params);
    SCR_Destroy(&rq);
    return b;
  }
  // Just the seek clause of the slice SELECT.
  Built Where(const char* extendedSql, uns16 ft, uns16 fb = 0) {
    Built b = Build(extendedSql, ft, fb);
    size_t w = b.sql.find("WHERE");
    size_t o = b.sql.rfind(" ORDER BY");
    if (w != std::string::npos) b.sql = b.sql.substr(w, o == std::string::npos ? std::string::npos : o - w);
    // The statement's own blanks after the clause are not the clause's.
    while (!b.sql.empty() && b.sql.back() == ' ') b.sql.pop_back();
    return b;
  }
};

using Params = std::vector<std::string>;

TEST(SliceSeek, ClausesOverTiesNullsAndCompositeKeys) {
  struct Case {
    const char* what;
    const char* prepared;
    const char* extended;
    std::vector<Key> keys;
    uns16 cks;
    std::vector<std::vector<Val>> bounds;
    sgn16 coll;
    uns16 ft, fb;
    const char* where;
    Params params;
  };
  const std::vector<Case> cases = {
      {"non-key ORDER BY column, key after it: NULLs sort high, after the name",
       "SELECT NAME FROM T ORDER BY NAME",
       "SELECT NAME FROM T ORDER BY NAME, ID",
       {{"ID", 0, SQL_INTEGER}},
       2,
       {{1, "ann"}, {4, "bob"}},
       SQL_NC_HIGH,
       SQL_FETCH_NEXT,
       0,
       "WHERE (  (NAME > ? OR NAME IS NULL)  OR NAME = ? AND ID > ?  )",
       {"bob", "bob", "4"}},
      {"descending: NULLs sort high and come first, no NULL test",
       "SELECT A FROM T ORDER BY A DESC",
       "SELECT A FROM T ORDER BY A DESC, K",
       {{"K", 0, SQL_INTEGER}},
       2,
       {{1, 9}, {7, 5}},
       SQL_NC_HIGH,
       SQL_FETCH_NEXT,
       0,
       "WHERE ( A < ?  OR A = ? AND K > ?  )",
       {"5", "5", "7"}},
      {"PRIOR seeks before the first key held",
       "SELECT NAME FROM T ORDER BY NAME",
       "SELECT NAME FROM T ORDER BY NAME, ID",
       {{"ID", 0, SQL_INTEGER}},
       2,
       {{1, "ann"}, {4, "bob"}},
       SQL_NC_HIGH,
       SQL_FETCH_PRIOR,
       0,
       "WHERE ( NAME < ?  OR NAME = ? AND ID < ?  )",
       {"ann", "ann", "1"}},
      {"re-read from the first key: only the last position is inclusive",
       "SELECT NAME FROM T ORDER BY NAME",
       "SELECT NAME FROM T ORDER BY NAME, ID",
       {{"ID", 0, SQL_INTEGER}},
       2,
       {{1, "ann"}, {4, "bob"}},
       SQL_NC_HIGH,
       SQL_FETCH_NEXT,
       KS_BNDRY_OTHER_END | KS_BNDRY_INCLUSIVE,
       "WHERE (  (NAME > ? OR NAME IS NULL)  OR NAME = ? AND ID >= ?  )",
       {"ann", "ann", "1"}},
      {"inclusive PRIOR from the last key",
       "SELECT A FROM T ORDER BY A DESC",
       "SELECT A FROM T ORDER BY A DESC, K",
       {{"K", 0, SQL_INTEGER}},
       2,
       {{1, 9}, {7, 5}},
       SQL_NC_HIGH,
       SQL_FETCH_PRIOR,
       KS_BNDRY_OTHER_END | KS_BNDRY_INCLUSIVE,
       "WHERE (  (A > ? OR A IS NULL)  OR A = ? AND K <= ?  )",
       {"5", "5", "7"}},
      {"NULL boundary, nothing after NULL: the sub-clause and its parameters go",
       "SELECT NAME FROM T ORDER BY NAME",
       "SELECT NAME FROM T ORDER BY NAME, ID",
       {{"ID", 0, SQL_INTEGER}},
       2,
       {{1, "ann"}, {4, NUL}},
       SQL_NC_HIGH,
       SQL_FETCH_NEXT,
       0,
       "WHERE ( NAME IS NULL AND ID > ?  )",
       {"4"}},
      {"NULL boundary, every value after NULL",
       "SELECT NAME FROM T ORDER BY NAME",
       "SELECT NAME FROM T ORDER BY NAME, ID",
       {{"ID", 0, SQL_INTEGER}},
       2,
       {{1, "ann"}, {4, NUL}},
       SQL_NC_LOW,
       SQL_FETCH_NEXT,
       0,
       "WHERE ( NAME IS NOT NULL  OR NAME IS NULL AND ID > ?  )",
       {"4"}},
      {"ORDER BY column, then a key in the ORDER BY, then a key that is not",
       "SELECT B FROM T ORDER BY B, K1",
       "SELECT B FROM T ORDER BY B, K1, K2",
       {{"K1", 2, SQL_INTEGER}, {"K2", 0, SQL_INTEGER}},
       3,
       {{1, 1, 3}, {2, 8, 3}},
       SQL_NC_LOW,
       SQL_FETCH_NEXT,
       0,
       "WHERE ( B > ?  OR B = ? AND K1 > ?  OR B = ? AND K1 = ? AND K2 > ?  )",
       {"3", "3", "2", "3", "2", "8"}},
      {"every key in the ORDER BY: the compound key ends at the last of them",
       "SELECT K, X FROM T ORDER BY K DESC, X",
       "SELECT K, X FROM T ORDER BY K DESC, X",
       {{"K", 1, SQL_INTEGER}},
       1,
       {{3}, {9}},
       SQL_NC_HIGH,
       SQL_FETCH_NEXT,
       0,
       "WHERE ( K < ?  )",
       {"9"}},
      {"a NULL on a leading position is matched by IS NULL",
       "SELECT B, C FROM T ORDER BY B, C",
       "SELECT B, C FROM T ORDER BY B, C, K",
       {{"K", 0, SQL_INTEGER}},
       3,
       {{1, 1, 1}, {6, NUL, 4}},
       SQL_NC_LOW,
       SQL_FETCH_NEXT,
       0,
       "WHERE ( B IS NOT NULL  OR B IS NULL AND C > ?  OR B IS NULL AND C = ? AND K > ?  )",
       {"4", "4", "6"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Slice sl(c.prepared, c.keys, c.cks, c.bounds, c.coll);
    auto b = sl.Where(c.extended, c.ft, c.fb);
    ASSERT_EQ(b.rc, ER_SUCCESS);
    EXPECT_EQ(b.sql, c.where);
    EXPECT_EQ(b.params, c.params);
  }
}

TEST(SliceSeek, WholeSliceSelect) {
  // The select list is the keys, then the non-key ORDER BY columns of the
  // compound key; an existing condition stays, joined by AND.
  Slice sl("SELECT NAME, X FROM T WHERE X > 0 ORDER BY NAME", {{"ID", 0, SQL_INTEGER}}, 2,
           {{1, "a"}, {2, "b"}});
  auto b = sl.Build("SELECT NAME, X FROM T WHERE X > 0 ORDER BY NAME, ID", SQL_FETCH_NEXT);
  ASSERT_EQ(b.rc, ER_SUCCESS);
  EXPECT_EQ(
      b.sql,
      "SELECT  ID, NAME FROM T WHERE (  (NAME > ? OR NAME IS NULL)  OR NAME = ? AND ID > ?  ) AND (X > 0)    "
      "ORDER BY NAME , ID  ");
  // FIRST and LAST read from an end: no seek, no parameters.
  for (uns16 ft : {SQL_FETCH_FIRST, SQL_FETCH_LAST}) {
    auto f = sl.Build("SELECT NAME, X FROM T WHERE X > 0 ORDER BY NAME, ID", ft);
    ASSERT_EQ(f.rc, ER_SUCCESS);
    EXPECT_EQ(f.sql, "SELECT  ID, NAME FROM T WHERE X > 0    ORDER BY NAME , ID  ");
    EXPECT_TRUE(f.params.empty());
  }
  // Only NEXT and PRIOR seek.
  SC_Request rq;
  SCR_Init(&rq);
  ASSERT_EQ(SCR_AnalyseSQL(&rq, "SELECT ID FROM T ORDER BY ID", 0, 0), ER_SUCCESS);
  Dataset* p = nullptr;
  EXPECT_EQ(KS_WhereClauseExtend_Dyn(&sl.s, &rq, SQL_FETCH_LAST, 0, &p), ER_GENERAL_ERROR);
  SCR_Destroy(&rq);
}

TEST(SliceSeek, NoBoundaryValuesNoSeek) {
  Slice sl("SELECT NAME FROM T ORDER BY NAME", {{"ID", 0, SQL_INTEGER}}, 2, {});
  EXPECT_EQ(sl.Build("SELECT NAME FROM T ORDER BY NAME, ID", SQL_FETCH_NEXT).rc, ER_GENERAL_ERROR);
  // Before any slice a seek sends nothing: no state to send it with is needed.
  EXPECT_EQ(KS_GetKeySet_Dyn(&sl.s, SQL_FETCH_NEXT, 0), ER_GENERAL_ERROR);
  EXPECT_EQ(KS_GetKeySet_Dyn(&sl.s, SQL_FETCH_RELATIVE, 2), ER_GENERAL_ERROR);
}

// Where a NULL boundary leaves the seek, and when a non-NULL one takes the
// NULLs with it, for every null collation, direction and fetch type.
TEST(SliceSeek, NullCollationTable) {
  struct Case {
    sgn16 coll;
    int dir;
    uns16 ft;
    bool nullsLast;  // NULLs are the last rows in the fetch direction
  };
  const Case cases[] = {
      {SQL_NC_HIGH, SORT_ASC, SQL_FETCH_NEXT, true},    {SQL_NC_HIGH, SORT_ASC, SQL_FETCH_PRIOR, false},
      {SQL_NC_HIGH, SORT_DESC, SQL_FETCH_NEXT, false},  {SQL_NC_HIGH, SORT_DESC, SQL_FETCH_PRIOR, true},
      {SQL_NC_LOW, SORT_ASC, SQL_FETCH_NEXT, false},    {SQL_NC_LOW, SORT_ASC, SQL_FETCH_PRIOR, true},
      {SQL_NC_LOW, SORT_DESC, SQL_FETCH_NEXT, true},    {SQL_NC_LOW, SORT_DESC, SQL_FETCH_PRIOR, false},
      {SQL_NC_START, SORT_ASC, SQL_FETCH_NEXT, false},  {SQL_NC_START, SORT_ASC, SQL_FETCH_PRIOR, true},
      {SQL_NC_START, SORT_DESC, SQL_FETCH_NEXT, false}, {SQL_NC_START, SORT_DESC, SQL_FETCH_PRIOR, true},
      {SQL_NC_END, SORT_ASC, SQL_FETCH_NEXT, true},     {SQL_NC_END, SORT_ASC, SQL_FETCH_PRIOR, false},
      {SQL_NC_END, SORT_DESC, SQL_FETCH_NEXT, true},    {SQL_NC_END, SORT_DESC, SQL_FETCH_PRIOR, false},
  };
  for (const Case& c : cases) {
    const bool desc = c.dir == SORT_DESC, next = c.ft == SQL_FETCH_NEXT;
    SCOPED_TRACE(std::to_string(c.coll) + (desc ? " DESC " : " ASC ") + (next ? "NEXT" : "PRIOR"));
    EXPECT_EQ(ks_NullCase(c.coll, c.dir, c.ft), c.nullsLast ? 1 : 2);
    const char* prepared = desc ? "SELECT A FROM T ORDER BY A DESC" : "SELECT A FROM T ORDER BY A";
    const char* extended = desc ? "SELECT A FROM T ORDER BY A DESC, K" : "SELECT A FROM T ORDER BY A, K";
    const std::string op = (desc != next) ? ">" : "<", kop = next ? ">" : "<";
    {  // a NULL boundary
      Slice sl(prepared, {{"K", 0, SQL_INTEGER}}, 2, {{1, NUL}, {2, NUL}}, c.coll);
      auto b = sl.Where(extended, c.ft);
      ASSERT_EQ(b.rc, ER_SUCCESS);
      if (c.nullsLast) {
        EXPECT_EQ(b.sql, "WHERE ( A IS NULL AND K " + kop + " ?  )");
      } else {
        EXPECT_EQ(b.sql, "WHERE ( A IS NOT NULL  OR A IS NULL AND K " + kop + " ?  )");
      }
      EXPECT_EQ(b.params, Params{next ? "2" : "1"});
    }
    {  // a value: the NULLs still to come are taken when they follow it
      Slice sl(prepared, {{"K", 0, SQL_INTEGER}}, 2, {{1, 10}, {2, 20}}, c.coll);
      auto b = sl.Where(extended, c.ft);
      ASSERT_EQ(b.rc, ER_SUCCESS);
      const std::string cmp = "A " + op + " ? ";
      const std::string first = c.nullsLast ? " (" + cmp + "OR A IS NULL) " : cmp;
      EXPECT_EQ(b.sql, "WHERE ( " + first + " OR A = ? AND K " + kop + " ?  )");
      EXPECT_EQ(b.params, (next ? Params{"20", "20", "2"} : Params{"10", "10", "1"}));
    }
  }
}

TEST(SliceSeek, BindDescriptionsFollowTheParameters) {
  Slice sl("SELECT NAME FROM T ORDER BY NAME", {{"ID", 0, SQL_INTEGER}}, 2, {{1, "ann"}, {4, "bob"}});
  sl.s.bNeedBind = 1;
  auto b = sl.Where("SELECT NAME FROM T ORDER BY NAME, ID", SQL_FETCH_NEXT);
  ASSERT_EQ(b.rc, ER_SUCCESS);
  ASSERT_EQ(sl.s.nBindDesc, 3);
  EXPECT_EQ(sl.s.pBindDesc[0].sqlType, SQL_VARCHAR);
  EXPECT_EQ(sl.s.pBindDesc[1].sqlType, SQL_VARCHAR);
  EXPECT_EQ(sl.s.pBindDesc[2].sqlType, SQL_INTEGER);
}

TEST(SliceSeek, BoundaryRowsAndMap) {
  Slice sl("SELECT B FROM T ORDER BY B, K1", {{"K1", 2, SQL_INTEGER}, {"K2", 0, SQL_INTEGER}}, 3, {});
  uns16 map[3] = {9, 9, 9};
  ASSERT_EQ(OC2BVK_MapFill(&sl.s, map), ER_SUCCESS);
  EXPECT_EQ(map[0], 2);  // B: after the two keys
  EXPECT_EQ(map[1], 0);  // K1
  EXPECT_EQ(map[2], 1);  // K2
  EXPECT_EQ(GetBoundaryValsIndx(SQL_FETCH_NEXT, 0), 1);
  EXPECT_EQ(GetBoundaryValsIndx(SQL_FETCH_PRIOR, 0), 0);
  EXPECT_EQ(GetBoundaryValsIndx(SQL_FETCH_NEXT, KS_BNDRY_OTHER_END), 0);
  EXPECT_EQ(GetBoundaryValsIndx(SQL_FETCH_PRIOR, KS_BNDRY_OTHER_END | KS_BNDRY_INCLUSIVE), 1);

  // The first and last key rows become the boundary; the slice keeps keys only.
  sl.ks.pDataset = Slice::Make({{1, 5, 30}, {2, 5, 31}, {3, 6, 32}});
  ASSERT_EQ(scs_p_KeyBoundaryValsGet(&sl.s, &sl.s.pDSKeyBoundaryVals), ER_SUCCESS);
  Dataset* bv = sl.s.pDSKeyBoundaryVals;
  ASSERT_EQ(bv->nRows, 2);
  ASSERT_EQ(bv->nCols, 3);
  EXPECT_EQ(CellText(*bv, 0, 0) + CellText(*bv, 2, 0), "130");
  EXPECT_EQ(CellText(*bv, 0, 1) + CellText(*bv, 2, 1), "332");
  EXPECT_EQ(sl.ks.pDataset->nCols, 2);
  EXPECT_EQ(sl.ks.pDataset->nRows, 3);
}

}  // namespace
}  // namespace engine_test
