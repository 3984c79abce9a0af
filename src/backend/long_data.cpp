// Long data: serves a long or deferred column's value to the client in
// pieces, within the cursor's maximum data length.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "backend/backend.h"
#include "sqlucode.h"

errcode_t ODBC_GetData(handle_t hCursor, sgn32 iCol, sgn32 iRow, precision_t cbWanted, char** ppData,
                       precision_t* pcbData, ctype_t* pCType, sgn32* pcbRemain) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc || !ppData || !pcbData || !pCType || !pcbRemain) return ER_INVALID_ARGUMENT;
  *ppData = nullptr;
  *pcbData = 0;
  if (iCol < 1 || iCol > pc->nColdesc) return ER_INVALID_COLUMN;
  const Coldesc& d = pc->pColdesc[iCol - 1];
  if (!DB_IsLongType(d.dbType) && !IsDeferredColumn(pc, d)) return ER_GENERAL_ERROR;
  const bool uni = pc->pConnect->unicode;
  const bool wideCol = d.sqlType == SQLTYPE_WLONGVARCHAR && uni;
  const bool binary = d.dbType == SQL_LONGVARBINARY || d.dbType == SQL_VARBINARY || d.dbType == SQL_BINARY;
  uint64_t wanted = cbWanted;
  if (pc->maxDataLen) {
    if (pc->iGDRow != iRow || pc->iGDCol != iCol) {
      pc->iGDRow = iRow;
      pc->iGDCol = iCol;
      uint64_t budget = uint64_t(pc->maxDataLen) * (wideCol ? 4 : 1);
      pc->cbGDRemain = sgn32(std::min<uint64_t>(budget, 0x7FFFFFFF));
    }
    if (pc->cbGDRemain <= 0) {
      *pcbRemain = 0;
      *pCType = wideCol ? CTYPE_WCHR : (binary ? CTYPE_BIN : CTYPE_CHR);
      return ER_SUCCESS;
    }
    wanted = std::min<uint64_t>(wanted, uint64_t(pc->cbGDRemain));
  }
  SQLSMALLINT cType;
  uint64_t bufLen, askLen;
  if (binary) {
    cType = SQL_C_BINARY, askLen = wanted, bufLen = wanted;
    *pCType = CTYPE_BIN;
  } else if (wideCol) {
    uint64_t chars = wanted / 4 ? wanted / 4 : wanted;
    cType = SQL_C_WCHAR, askLen = chars * 4 + 4, bufLen = askLen + 4;
    wanted = chars * 4;
    *pCType = CTYPE_WCHR;
  } else {
    cType = SQL_C_CHAR, askLen = wanted + 1, bufLen = wanted + 1;
    *pCType = CTYPE_CHR;
  }
  if (bufLen > 0x7FFFFFFFull) return ER_NO_MEMORY;
  char* buf = static_cast<char*>(calloc(size_t(bufLen) + 1, 1));
  if (!buf) return ER_NO_MEMORY;
  SQLLEN avail = 0;
  SQLRETURN r = SQLGetData(pc->hStmt, SQLUSMALLINT(iCol), cType, buf, SQLLEN(askLen), &avail);
  if (r == SQL_NO_DATA) {
    free(buf);
    *pcbRemain = 0;
    return ER_SUCCESS;
  }
  errcode_t e = CheckStmtErrors(pc, "SQLGetData", r);
  if (e != ER_SUCCESS) {
    free(buf);
    return e;
  }
  uint64_t got = 0;
  sgn32 remain;
  if (avail == SQL_NULL_DATA) {
    // NULL, whatever the budget; nothing more is read for the cell.
    remain = -1;
    if (pc->maxDataLen) pc->cbGDRemain = 0;
  } else if (avail == SQL_NO_TOTAL) {
    remain = -4;
    got = wanted;
    if (r == SQL_SUCCESS)
      got = wideCol ? wcsnlen(reinterpret_cast<wchar_t*>(buf), size_t(bufLen / 4)) * 4
                    : (cType == SQL_C_CHAR ? strnlen(buf, size_t(bufLen)) : wanted);
  } else {
    remain = sgn32(std::min<uint64_t>(uint64_t(avail < 0 ? 0 : avail), 0x7FFFFFFF));
    got = std::min<uint64_t>(uint64_t(avail < 0 ? 0 : avail), wanted);
  }
  if (pc->maxDataLen && avail != SQL_NULL_DATA) {
    if (remain > pc->cbGDRemain || remain == -4)
      remain = std::min<sgn32>(remain == -4 ? pc->cbGDRemain : remain, pc->cbGDRemain);
    pc->cbGDRemain -= sgn32(std::min<uint64_t>(got, uint64_t(pc->cbGDRemain)));
  }
  *pcbRemain = remain;
  if (got == 0) {
    free(buf);
    return ER_SUCCESS;
  }
  char* shrunk = static_cast<char*>(realloc(buf, size_t(got)));
  if (!shrunk) {
    free(buf);
    return ER_NO_MEMORY;
  }
  *ppData = shrunk;
  *pcbData = precision_t(got);
  return ER_SUCCESS;
}
