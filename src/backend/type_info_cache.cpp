// The type-information cache: each connection's TYPE_NAME, LITERAL_PREFIX and
// LITERAL_SUFFIX per SQL type, read once from the driver's type catalog and
// reported as column attributes.
#include <cstring>
#include <string>

#include "backend/backend.h"
#include "model/dataset_util.h"

namespace {

// Copies a text cell of any text type into a bounded buffer, as UTF-8.
void CellText(const Coldata* col, int row, char* out, size_t size) {
  std::string text;
  if (col) Dataset_CellText(col, uint64_t(row), false, size - 1, size - 1, &text);
  memcpy(out, text.data(), text.size());
  out[text.size()] = 0;
}

}  // namespace

void FillTypeInfoCache(_Connect* c, handle_t hConn) {
  c->ht_typeinfo = new TypeInfoCache();
  handle_t hCurs = 0;
  if (ODBC_Cursor(hConn, &hCurs) != ER_SUCCESS) return;
  if (ODBC_DDTypeInfo(hCurs, 0) == ER_SUCCESS) {
    for (int guard = 0; guard < 10000; guard++) {
      Dataset ds{};
      errcode_t rc = ODBC_Fetch(hCurs, 100, &ds);
      if (rc != ER_SUCCESS || ds.nCols < 5 || ds.nRows <= 0) {
        Dataset_Done(&ds);
        break;
      }
      for (int r = 0; r < ds.nRows; r++) {
        const Coldata* tcol = &ds.col[1];
        if (tcol->indicators[r] < 0) continue;
        sgn16 type = 0;
        const char* cell = Coldata_Cell(tcol, r);
        if (tcol->cType == CTYPE_SGN16 || tcol->cType == CTYPE_UNS16) {
          memcpy(&type, cell, 2);
        } else if (tcol->cType == CTYPE_SGN32 || tcol->cType == CTYPE_UNS32) {
          sgn32 v;
          memcpy(&v, cell, 4);
          type = static_cast<sgn16>(v);
        } else {
          continue;
        }
        // Several rows may share one type: the driver lists its preferred one first.
        if (c->ht_typeinfo->count(type)) continue;
        TypeInfoEntry e{};
        CellText(&ds.col[0], r, e.typeName, 61);
        CellText(&ds.col[3], r, e.literalPrefix, 7);
        CellText(&ds.col[4], r, e.literalSuffix, 7);
        (*c->ht_typeinfo)[type] = e;
      }
      Dataset_Done(&ds);
    }
  }
  ODBC_EndCursor(hCurs);
}
