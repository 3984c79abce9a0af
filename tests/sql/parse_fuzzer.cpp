// libFuzzer target over the parse entry points: statement analysis with its
// queries and tags, and parameter analysis, on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sql/param_analysis.h"
#include "sql/statement_analysis.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 64 * 1024) return 0;
  std::string text(reinterpret_cast<const char*>(data), size);  // NUL-terminated copy

  SC_Request r;
  SCR_Init(&r);
  errcode_t rc = SCR_AnalyseSQL(&r, text.c_str(), 1, 1);
  // An INSERT ... VALUES rebuilds without its VALUES keyword; every other
  // statement's rebuilt text reads back as the same statement: it parses again
  // and rebuilds to itself.
  PRSTR_NODE* values = rc == ER_SUCCESS ? pt_Child(r.pParsTree, 3) : nullptr;
  bool insertValues = r.reqType == EXPR_INSERT_STATEMENT && values && values->left &&
                      values->left->symbl.nType == EXPR_VALUE_COMMALIST;
  if (rc == ER_SUCCESS && r.reqType != EXPR_OTHER && r.reqType != EXPR_PROCCALL && !insertValues) {
    std::string once = pt_Label(r.pParsTree);
    SC_Request again;
    SCR_Init(&again);
    if (SCR_AnalyseSQL(&again, once.c_str(), 1, 1) != ER_SUCCESS || again.reqType != r.reqType) abort();
    if (once != pt_Label(again.pParsTree)) abort();
    SCR_Destroy(&again);
  }
  if (SCR_AnalyseSQL(&r, text.c_str(), 0, 1) == ER_SUCCESS && r.reqType == EXPR_SELECT_STATEMENT) {
    alist_t* tables = alist_Alloc(sizeof(TableDesc));
    SCR_TablesGet(&r, tables, 1);
    alist_Dealloc(&tables, TableDescDestroy);
    alist_t* cols = alist_Alloc(sizeof(SCColDesc));
    SCR_SelectColsGet(&r, cols);
    alist_Dealloc(&cols, SCColDescDestroy);
    alist_t* sort = alist_Alloc(sizeof(SCOrdrColDesc));
    if (SCR_OrderingColsGet(&r, sort) == ER_SUCCESS) {
      SCR_RelabelNumericOrdrCols(&r, sort);
      SCR_InvertSortOrder(&r);
    }
    alist_Dealloc(&sort, nullptr);
    SCR_TagOrderByClause(&r);
    SCR_TagWhereClause(&r);
    if (SCR_TagSelectList(&r) == ER_SUCCESS) {
      char* out = nullptr;
      SCR_TagSplice(pt_Label(r.pParsTree), "k1, k2", &out);
      free(out);
    }
  }
  SCR_Destroy(&r);

  SP_Request p;
  SPR_Init(&p, "cast (NULL as CHAR)");
  SPR_AnalyseSQL(&p, text.c_str());
  SPR_Destroy(&p);
  return 0;
}
