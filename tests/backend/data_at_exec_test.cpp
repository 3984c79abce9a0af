// Values sent at execution time: the merge of collected pieces into a dataset,
// and the param-data/put-data dialogue of an execute against the SQLite driver.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "backend/cell_value.h"
#include "backend/data_at_exec.h"
#include "backend_fixture.h"
#include "fixtures/support/log_capture.h"
#include "util/log.h"

using namespace backend_test;

namespace {

using test_support::LogCapture;

// A cell's value as text ("NULL", "-2" for a cell still marked).
std::string CellText(const Coldata* col, int row) {
  if (col->indicators[row] == -1) return "NULL";
  if (col->indicators[row] == -2) return "-2";
  const char* data;
  uint64_t bytes;
  CellStoredValue(col, uint64_t(row), &data, &bytes);
  if (CellIsWide(col->cType)) {
    std::string s;
    for (uint64_t i = 0; i < bytes / 4; i++) s += char(reinterpret_cast<const wchar_t*>(data)[i]);
    return s;
  }
  return data ? std::string(data, size_t(bytes)) : "";
}

// One column of `rows` rows; a row's text is stored as the cell's value, "NULL"
// makes it NULL and "-2" marks it for data at execution.
struct OneColumn {
  Dataset ds{};
  OneColumn(ctype_t t, precision_t width, const std::vector<std::string>& rows) {
    Dataset_Init(&ds, 1);
    ds.nCols = 1;
    ds.col[0].cType = t;
    ds.col[0].width = width;
    Dataset_AllocColumns(&ds, sgn32(rows.size()));
    ds.nRows = sgn32(rows.size());
    for (size_t r = 0; r < rows.size(); r++) {
      Coldata* c = &ds.col[0];
      if (rows[r] == "NULL") continue;
      c->indicators[r] = rows[r] == "-2" ? -2 : 0;
      if (c->indicators[r] != 0) continue;
      if (ctype_is_long(t)) {
        char* copy = static_cast<char*>(malloc(rows[r].size() + 1));
        memcpy(copy, rows[r].c_str(), rows[r].size() + 1);
        uns32 len = uns32(rows[r].size());
        memcpy(Coldata_Cell(c, r), &len, 4);
        memcpy(Coldata_Cell(c, r) + 8, &copy, sizeof copy);
      } else if (t == CTYPE_WVCHR || t == CTYPE_WCHR) {
        std::wstring w(rows[r].begin(), rows[r].end());
        memcpy(Coldata_Cell(c, r), w.data(), std::min<size_t>(w.size() * 4, width));
      } else {
        // Text cells are filled up to their width, without a terminator of their own.
        memcpy(Coldata_Cell(c, r) + ctype_prefix_size(t), rows[r].data(),
               std::min<size_t>(rows[r].size(), width - ctype_prefix_size(t)));
        if (ctype_prefix_size(t)) CellWritePrefix(Coldata_Cell(c, r), ctype_prefix_size(t), rows[r].size());
      }
    }
  }
  ~OneColumn() { Dataset_Done(&ds); }
};

struct Piece {
  ctype_t type;
  indicator_t ind;
  std::string bytes;
};

std::string Wide(const std::string& s) {
  std::wstring w(s.begin(), s.end());
  return std::string(reinterpret_cast<const char*>(w.data()), w.size() * 4);
}

// Pieces put for the marked rows of a one-column dataset, merged; the cells'
// texts afterwards. Each case fits its values into the column whatever their
// size, never writing past a cell.
TEST(DataAtExecMerge, PiecesBecomeWholeValues) {
  const std::string longText(300, 'x');
  struct Case {
    const char* name;
    ctype_t type;
    precision_t width;
    std::vector<std::string> rows;
    std::vector<std::vector<Piece>> pieces;  // per row
    std::vector<std::string> want;
  } cases[] = {
      {"three pieces, a stored value and a NULL",
       CTYPE_VCHR,
       4,
       {"-2", "xyz", "NULL"},
       {{{CTYPE_VCHR, 0, "ab"}, {CTYPE_VCHR, 0, "cd"}, {CTYPE_VCHR, 0, "ef"}}, {}, {}},
       {"abcdef", "xyz", "NULL"}},
      {"full-width text cells are measured within the cell",
       CTYPE_CHR,
       3,
       {"abc", "-2", "def"},
       {{}, {{CTYPE_CHR, 0, "hello"}}, {}},
       {"abc", "hello", "def"}},
      {"binary pieces for a text column",
       CTYPE_VCHR,
       2,
       {"-2"},
       {{{CTYPE_BIN, 0, "bin"}, {CTYPE_BIN, 0, "ary"}}},
       {"binary"}},
      {"a NULL piece",
       CTYPE_VCHR,
       8,
       {"-2", "-2"},
       {{{CTYPE_VCHR, -1, ""}}, {{CTYPE_VCHR, 0, "v"}}},
       {"NULL", "v"}},
      {"32-bit prefixed text",
       CTYPE_VCHR32,
       8,
       {"ab", "-2"},
       {{}, {{CTYPE_VCHR32, 0, "0123456789"}}},
       {"ab", "0123456789"}},
      {"an 8-bit prefix counts at most 255",
       CTYPE_VCHR8,
       4,
       {"-2"},
       {{{CTYPE_VCHR8, 0, longText}}},
       {longText.substr(0, 255)}},
      {"wide text",
       CTYPE_WVCHR,
       8,
       {"-2", "ab"},
       {{{CTYPE_WVCHR, 0, Wide("wide")}, {CTYPE_WVCHR, 0, Wide("r")}}, {}},
       {"wider", "ab"}},
      {"long binary takes the collected bytes",
       CTYPE_LBIN,
       16,
       {"-2", "kept"},
       {{{CTYPE_LBIN, 0, "lo"}, {CTYPE_LBIN, 0, "ng"}}, {}},
       {"long", "kept"}},
      {"a fixed cell takes at most its width",
       CTYPE_SGN16,
       2,
       {"-2", "-2"},
       {{{CTYPE_SGN16, 0, "AB-overflow"}}, {{CTYPE_SGN16, 0, "C"}}},
       {"AB", std::string("C\0", 2)}},
      {"a fixed cell sent NULL", CTYPE_SGN32, 4, {"-2"}, {{{CTYPE_SGN32, -1, ""}}}, {"NULL"}},
      // Variable text travels as long text; pieces of text of either width fit any text column.
      {"long text takes the collected bytes",
       CTYPE_LCHR,
       16,
       {"-2", "kept", "-2", "-2"},
       {{{CTYPE_CHR, 0, "fixed "}, {CTYPE_VCHR, 0, "and variable"}},
        {},
        {{CTYPE_CHR, 0, ""}},
        {{CTYPE_CHR, -1, ""}}},
       {"fixed and variable", "kept", "", "NULL"}},
      {"fixed-width pieces for variable text",
       CTYPE_VCHR,
       4,
       {"-2"},
       {{{CTYPE_CHR, 0, "fixed "}, {CTYPE_CHR, 0, "pieces"}}},
       {"fixed pieces"}},
      {"variable pieces for fixed-width text",
       CTYPE_CHR,
       2,
       {"-2"},
       {{{CTYPE_VCHR, 0, "variable"}}},
       {"variable"}},
      {"long pieces for prefixed text",
       CTYPE_VCHR16,
       4,
       {"-2"},
       {{{CTYPE_LCHR, 0, "long piece"}}},
       {"long piece"}},
      {"binary pieces for long text",
       CTYPE_LCHR,
       16,
       {"-2"},
       {{{CTYPE_BIN, 0, "by"}, {CTYPE_BIN, 0, "tes"}}},
       {"bytes"}},
      {"long binary pieces for long binary",
       CTYPE_LBIN,
       16,
       {"-2"},
       {{{CTYPE_VBIN8, 0, "v"}, {CTYPE_LBIN, 0, "b"}}},
       {"vb"}},
      {"wide pieces for long wide text",
       CTYPE_WLCHR,
       16,
       {"-2"},
       {{{CTYPE_WCHR, 0, Wide("wi")}, {CTYPE_WVCHR, 0, Wide("de")}}},
       {"wide"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OneColumn col(c.type, c.width, c.rows);
    DAEData* data = DAEDataInit(1, uns32(c.rows.size()));
    ASSERT_NE(data, nullptr);
    for (size_t r = 0; r < c.pieces.size(); r++)
      for (const Piece& p : c.pieces[r])
        ASSERT_EQ(DAEDataPut(data, uns32(r), p.type, p.ind, p.bytes.data(), uns32(p.bytes.size())),
                  ER_SUCCESS);
    ASSERT_EQ(DAEDatasetMerge(&col.ds, data, 1, uns32(c.rows.size())), ER_SUCCESS);
    std::vector<std::string> got;
    for (size_t r = 0; r < c.rows.size(); r++) {
      got.push_back(CellText(&col.ds.col[0], int(r)));
      if (c.type == CTYPE_LCHR && col.ds.col[0].indicators[r] == 0) {
        // Long text ends with a terminator, as when it comes off the wire.
        const char* data;
        uint64_t bytes;
        CellStoredValue(&col.ds.col[0], r, &data, &bytes);
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(data[bytes], '\0');
      }
    }
    EXPECT_EQ(got, c.want);
    DAEDataDestroy(data, 1);
  }
}

// Refused merges leave the dataset as it was and log why.
TEST(DataAtExecMerge, TypeErrorsAnswer15WithTheirLogLines) {
  struct Case {
    const char* name;
    ctype_t column;
    precision_t width;
    ctype_t piece;
    const char* log;
  } cases[] = {
      {"an integer piece for a text column", CTYPE_VCHR, 8, CTYPE_SGN32, "DAEDatasetMerge: Type mismatch."},
      {"text pieces for a binary column", CTYPE_VBIN8, 8, CTYPE_CHR, "DAEDatasetMerge: Type mismatch."},
      {"wide pieces for long text", CTYPE_LCHR, 16, CTYPE_WCHR, "DAEDatasetMerge: Type mismatch."},
      {"text pieces for wide text", CTYPE_WVCHR, 16, CTYPE_VCHR, "DAEDatasetMerge: Type mismatch."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LogCapture log;
    OneColumn col(c.column, c.width, {"-2"});
    DAEData* data = DAEDataInit(1, 1);
    ASSERT_EQ(DAEDataPut(data, 0, c.piece, 0, "1234", 4), ER_SUCCESS);
    EXPECT_EQ(DAEDatasetMerge(&col.ds, data, 1, 1), ER_GENERAL_ERROR);
    EXPECT_TRUE(log.HasExact(LOG_ERR, c.log)) << log.Dump();
    EXPECT_EQ(col.ds.col[0].indicators[0], -2);
    DAEDataDestroy(data, 1);
  }
  // Pieces of one row keep the kind of the first: text of another width is
  // still text, binary is not.
  DAEData* data = DAEDataInit(1, 1);
  ASSERT_EQ(DAEDataPut(data, 0, CTYPE_CHR, 0, "ab", 2), ER_SUCCESS);
  EXPECT_EQ(DAEDataPut(data, 0, CTYPE_VCHR, 0, "cd", 2), ER_SUCCESS);
  EXPECT_EQ(DAEDataPut(data, 0, CTYPE_BIN, 0, "ef", 2), ER_GENERAL_ERROR);
  EXPECT_EQ(data->pm_expsize[0], 4u);
  DAEDataDestroy(data, 1);
}

TEST(DataAtExecMerge, NextMarkedCellInRowMajorOrder) {
  Dataset ds{};
  Dataset_Init(&ds, 2);
  ds.nCols = 2;
  ds.col[0].cType = ds.col[1].cType = CTYPE_SGN32;
  ds.col[0].width = ds.col[1].width = 4;
  Dataset_AllocColumns(&ds, 3);
  ds.nRows = 3;
  ds.col[1].indicators[0] = -2;
  ds.col[0].indicators[1] = -2;
  ds.col[0].indicators[2] = -2;
  ds.col[1].indicators[2] = -2;
  std::vector<std::pair<int, int>> seen;
  int row = -1, col = -1;
  for (DAENextItemFind(&ds, &row, &col); row >= 0; DAENextItemFind(&ds, &row, &col))
    seen.push_back({row, col});
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{0, 1}, {1, 0}, {2, 0}, {2, 1}}));
  EXPECT_EQ(col, -2);
  Dataset_Done(&ds);
}

class DataAtExecSqlite : public BackendSession {
 protected:
  handle_t h = 0;
  void SetUp() override {
    BackendSession::SetUp();
    ASSERT_EQ(Exec("CREATE TABLE t (i INTEGER NOT NULL, s VARCHAR(50))"), ER_SUCCESS);
    h = NewCursor();
    ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>("INSERT INTO t VALUES (?, ?)")), ER_SUCCESS) << Errors(h);
  }
  // Parameter rows of (INTEGER, VARCHAR(10)); -2 marks a cell sent later.
  void Params(const std::vector<std::pair<int, const char*>>& rows) {
    Dataset* ds = IntTextParams(rows, 10);
    for (size_t r = 0; r < rows.size(); r++) {
      if (rows[r].first == -2) ds->col[0].indicators[r] = -2;
      if (rows[r].second && std::string(rows[r].second) == "-2") ds->col[1].indicators[r] = -2;
    }
    ASSERT_EQ(ODBC_Parameters(h, ds), ER_SUCCESS);
  }
  errcode_t ParamData(sgn32* col = nullptr, sgn32* row = nullptr) {
    sgn32 c = 99, r = 99;
    errcode_t e = ODBC_ParamData(h, &c, &r, nullptr, nullptr);
    if (col) *col = c;
    if (row) *row = r;
    return e;
  }
  errcode_t Put(ctype_t t, const std::string& v, indicator_t ind = 0) {
    return ODBC_PutData(h, t, ind, const_cast<char*>(v.data()), precision_t(v.size()));
  }
  std::vector<std::vector<std::string>> Rows() { return Query("SELECT i, s FROM t ORDER BY i"); }
};

// Two rows, three marked cells: each param-data names the cell to send, the
// last one runs the insert with whole values; then no cell is current.
TEST_F(DataAtExecSqlite, ParametersInPiecesOverRowsAndColumns) {
  LogCapture log;
  Params({{1, "-2"}, {-2, "-2"}});
  ASSERT_EQ(ODBC_Execute(h), ER_NEED_DATA);
  EXPECT_EQ(Put(CTYPE_CHR, "early"), ER_FUNCTION_SEQ);  // no cell named yet
  sgn32 col, row;
  ASSERT_EQ(ParamData(&col, &row), ER_NEED_DATA);
  EXPECT_EQ(std::make_pair(col, row), std::make_pair(1, 0));
  for (const char* piece : {"ab", "cd", "ef"}) ASSERT_EQ(Put(CTYPE_VCHR, piece), ER_SUCCESS);
  ASSERT_EQ(ParamData(&col, &row), ER_NEED_DATA);
  EXPECT_EQ(std::make_pair(col, row), std::make_pair(0, 1));
  sgn32 seven = 7;
  ASSERT_EQ(Put(CTYPE_SGN32, std::string(reinterpret_cast<char*>(&seven), 4)), ER_SUCCESS);
  EXPECT_EQ(Put(CTYPE_SGN32, std::string(reinterpret_cast<char*>(&seven), 4)), ER_FUNCTION_SEQ);
  EXPECT_TRUE(log.HasExact(LOG_ERR, "ODBC_PutData: Called more than once for a fixed length type."));
  ASSERT_EQ(ParamData(&col, &row), ER_NEED_DATA);
  EXPECT_EQ(std::make_pair(col, row), std::make_pair(1, 1));
  ASSERT_EQ(Put(CTYPE_BIN, "bi"), ER_SUCCESS);
  ASSERT_EQ(Put(CTYPE_BIN, "nary"), ER_SUCCESS);
  ASSERT_EQ(ParamData(&col, &row), ER_SUCCESS) << Errors(h);
  EXPECT_EQ(std::make_pair(col, row), std::make_pair(-2, -2));
  EXPECT_EQ(ODBC_CursorRec(h)->fPassMode, 0);
  EXPECT_EQ(Put(CTYPE_CHR, "late"), ER_FUNCTION_SEQ);
  EXPECT_EQ(ParamData(), ER_FUNCTION_SEQ);
  EXPECT_EQ(Rows(), (std::vector<std::vector<std::string>>{{"1", "abcdef"}, {"7", "binary"}}));
}

TEST_F(DataAtExecSqlite, NullPieceAndUnmarkedParameters) {
  Params({{1, "-2"}});
  ASSERT_EQ(ODBC_Execute(h), ER_NEED_DATA);
  ASSERT_EQ(ParamData(), ER_NEED_DATA);
  ASSERT_EQ(Put(CTYPE_VCHR, "", -1), ER_SUCCESS);
  ASSERT_EQ(ParamData(), ER_SUCCESS) << Errors(h);
  // Without marked cells the execute runs at once, and there is no dialogue.
  Params({{2, "two"}});
  ASSERT_EQ(ODBC_Execute(h), ER_SUCCESS) << Errors(h);
  EXPECT_EQ(ParamData(), ER_FUNCTION_SEQ);
  EXPECT_EQ(Put(CTYPE_CHR, "x"), ER_FUNCTION_SEQ);
  EXPECT_NE(Errors(h).find("Function sequence error"), std::string::npos);
  EXPECT_EQ(Rows(), (std::vector<std::vector<std::string>>{{"1", "NULL"}, {"2", "two"}}));
}

// Whether the merge or the statement fails, the completing param-data ends the
// dialogue: no cell is current, and the cursor executes anew afterwards.
TEST_F(DataAtExecSqlite, FailedCompletionEndsTheDialogue) {
  LogCapture log;
  Params({{1, "-2"}});
  ASSERT_EQ(ODBC_Execute(h), ER_NEED_DATA);
  ASSERT_EQ(ParamData(), ER_NEED_DATA);
  sgn32 one = 1;
  ASSERT_EQ(Put(CTYPE_SGN32, std::string(reinterpret_cast<char*>(&one), 4)), ER_SUCCESS);
  EXPECT_EQ(ParamData(), ER_GENERAL_ERROR);
  EXPECT_TRUE(log.HasExact(LOG_ERR, "DAEDatasetMerge: Type mismatch."));
  EXPECT_EQ(ODBC_CursorRec(h)->fPassMode, 0);
  EXPECT_EQ(Put(CTYPE_CHR, "x"), ER_FUNCTION_SEQ);

  // A NULL for the NOT NULL column: the driver refuses the insert.
  Params({{-2, "s"}});
  ASSERT_EQ(ODBC_Execute(h), ER_NEED_DATA);
  ASSERT_EQ(ParamData(), ER_NEED_DATA);
  ASSERT_EQ(Put(CTYPE_SGN32, "", -1), ER_SUCCESS);
  EXPECT_NE(ParamData(), ER_SUCCESS);
  EXPECT_EQ(ODBC_CursorRec(h)->fPassMode, 0);
  EXPECT_EQ(ParamData(), ER_FUNCTION_SEQ);

  Params({{3, "-2"}});
  ASSERT_EQ(ODBC_Execute(h), ER_NEED_DATA);
  ASSERT_EQ(ParamData(), ER_NEED_DATA);
  ASSERT_EQ(Put(CTYPE_VCHR, "three"), ER_SUCCESS);
  ASSERT_EQ(ParamData(), ER_SUCCESS) << Errors(h);
  EXPECT_EQ(Rows(), (std::vector<std::vector<std::string>>{{"3", "three"}}));
}

// The cursor engine's entry points: a positioned update or add whose column
// data holds marked cells waits for them; the last param-data completes it
// through the engine and hands back its row statuses.
TEST_F(DataAtExecSqlite, PositionedOperationWaitsForItsColumns) {
  static int completions = 0;
  completions = 0;
  _Cursor* pc = ODBC_CursorRec(h);
  OneColumn data(CTYPE_VCHR, 8, {"-2", "kept"});
  pc->st_sccl.pdsSetPosParam = &data.ds;
  pc->st_sccl.fOption = 1;  // position only
  EXPECT_EQ(SetPosCheck4DAECols(h), ER_SUCCESS);
  EXPECT_EQ(SetPosCheck4DAECols(0xCCCC0FFF), ER_INVALID_ARGUMENT);
  pc->st_sccl.fOption = 2;
  ASSERT_EQ(SetPosCheck4DAECols(h), ER_NEED_DATA);
  ASSERT_EQ(ParamData(), ER_NEED_DATA);
  ASSERT_EQ(Put(CTYPE_VCHR, "new"), ER_SUCCESS);
  // Without the engine in front nothing can complete it.
  EXPECT_EQ(ParamData(), ER_DRV_NOT_CAPABLE);
  EXPECT_EQ(pc->fPassMode, 0);

  scs_p_SetPosComplete_hook = [](PSCCL st, uns16** status, unsigned int* rows) {
    completions++;
    EXPECT_EQ(CellText(&st->pdsSetPosParam->col[0], 0), "again");
    *status = static_cast<uns16*>(calloc(2, sizeof(uns16)));
    (*status)[0] = 2;
    *rows = 2;
    return ER_SUCCESS;
  };
  data.ds.col[0].indicators[0] = -2;
  ASSERT_EQ(SetPosCheck4DAECols(h), ER_NEED_DATA);
  ASSERT_EQ(ParamData(), ER_NEED_DATA);
  ASSERT_EQ(Put(CTYPE_VCHR, "again"), ER_SUCCESS);
  uns16* status = nullptr;
  uns32 n = 0;
  EXPECT_EQ(ODBC_ParamData(h, nullptr, nullptr, &status, &n), ER_SUCCESS);
  scs_p_SetPosComplete_hook = nullptr;
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(status[0], 2);
  free(status);
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(CellText(&data.ds.col[0], 1), "kept");
  pc->st_sccl.pdsSetPosParam = nullptr;
}

}  // namespace
