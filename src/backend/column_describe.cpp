// Column description: describes a prepared statement's result columns (the
// cell type and size each is fetched in) and hands the client copies of the
// column and parameter descriptions and the column attributes.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <string>

#include "backend/backend.h"
#include "sqlucode.h"
#include "util/unicode.h"

namespace {

constexpr precision_t LONGDATA_CAP = 60000;
constexpr precision_t LONGDATA_CAP_DEFERRED = 2147483643u;

// Copies at most n bytes of a UTF-8 text, never splitting a character.
void CutUtf8(char* dst, const char* src, size_t n) {
  size_t len = strnlen(src, n + 1);
  if (len > n) {
    len = n;
    while (len > 0 && (static_cast<unsigned char>(src[len]) & 0xC0) == 0x80) len--;
  }
  memcpy(dst, src, len);
  dst[len] = 0;
}

// A precision of 0 means the driver does not know the size: such a column
// gets the cap too, not an empty cell.
// Values that come whole into long cells (`whole`) are as long as deferred ones.
precision_t LongPrecision(const _Cursor* pc, precision_t p, bool whole = false) {
  precision_t cap = pc->st_sccl.bDeferLongData || whole ? LONGDATA_CAP_DEFERRED : LONGDATA_CAP;
  precision_t r = p == 0 ? cap : std::min(p, cap);
  if (pc->maxDataLen) r = std::min(r, pc->maxDataLen);
  return r;
}

// The bytes one character of narrow text may take: the locale's maximum; 4 in
// UTF-8, whose longest valid character has 4 bytes. The C locale's ASCII holds
// none of what drivers hand out beyond it (SQLite's text is UTF-8 whatever the
// locale): there narrow text is taken to be UTF-8, the wire's encoding.
precision_t NarrowCharBytes() {
  const char* codeset = nl_langinfo(CODESET);
  if (strcmp(codeset, "UTF-8") == 0 || strcmp(codeset, "ANSI_X3.4-1968") == 0) return 4;
  size_t n = MB_CUR_MAX;
  return precision_t(n < 1 ? 1 : n);
}

// Characters to bytes, saturating.
precision_t CharsToBytes(precision_t chars, precision_t perChar) {
  uint64_t b = uint64_t(chars) * perChar;
  return b > 0xFFFFFFF0ull ? 0xFFFFFFF0u : precision_t(b);
}

bool HasLongColumn(const _Cursor* pc) {
  for (uns16 i = 0; i < pc->nColdesc; i++) {
    const sgn16 t = pc->pColdesc[i].dbType;
    if (DB_IsLongType(t) || (pc->st_sccl.bDeferLongData && DB_IsDeferableType(t))) return true;
  }
  return false;
}

}  // namespace

errcode_t GetColdesc(_Cursor* pc) {
  _Connect* c = pc->pConnect;
  SQLSMALLINT n = 0;
  if (SQLNumResultCols(pc->hStmt, &n) != SQL_SUCCESS || n <= 0) {
    FreeColdesc(pc->pColdesc, pc->nColdesc);
    pc->pColdesc = nullptr;
    pc->nColdesc = 0;
    return ER_SUCCESS;
  }
  Coldesc* cd = AllocColdesc(uns16(n));
  if (!cd) return ER_NO_MEMORY;
  int maxVarchar = GetCap(c, CAP_MAX_VARCHAR);
  const precision_t charBytes = NarrowCharBytes();
  for (SQLSMALLINT i = 0; i < n; i++) {
    Coldesc& d = cd[i];
    SQLSMALLINT type = 0, scale = 0, nullable = 0, nameLen = 0;
    SQLULEN size = 0;  // full width, narrowed below
    SQLLEN upd = 0;    // full width, low 32 bits kept
    std::string name;
    SQLRETURN r;
    if (c->unicode) {
      std::wstring w(2049, L'\0');
      r = SQLDescribeColW(pc->hStmt, SQLUSMALLINT(i + 1), reinterpret_cast<SQLWCHAR*>(w.data()), 2048,
                          &nameLen, &type, &size, &scale, &nullable);
      errcode_t e = CheckStmtErrors(pc, "SQLDescribeColW", r);
      if (e != ER_SUCCESS) {
        FreeColdesc(cd, uns16(n));
        return e;
      }
      w[2048] = 0;
      char* u = strdup_WtoU8(w.c_str());
      if (u) name = u;
      free(u);
      r = SQLColAttributesW(pc->hStmt, SQLUSMALLINT(i + 1), SQL_COLUMN_UPDATABLE, nullptr, 0, nullptr, &upd);
    } else {
      std::string buf(2049, '\0');
      r = SQLDescribeCol(pc->hStmt, SQLUSMALLINT(i + 1), (SQLCHAR*)buf.data(), 2048, &nameLen, &type, &size,
                         &scale, &nullable);
      errcode_t e = CheckStmtErrors(pc, "SQLDescribeCol", r);
      if (e != ER_SUCCESS) {
        FreeColdesc(cd, uns16(n));
        return e;
      }
      name.assign(buf.c_str(), strnlen(buf.c_str(), 2048));
      r = SQLColAttributes(pc->hStmt, SQLUSMALLINT(i + 1), SQL_COLUMN_UPDATABLE, nullptr, 0, nullptr, &upd);
    }
    errcode_t e = CheckStmtErrors(pc, "SQLColAttributes", r);
    if (e != ER_SUCCESS) {
      FreeColdesc(cd, uns16(n));
      return e;
    }
    CutUtf8(d.label, name.c_str(), 39);
    d.columnName = strdup(name.c_str());  // null when out of memory, as for a nameless column
    d.dbType = type;
    d.sqlType = sqltype_t(type);
    precision_t prec = size > 0xFFFFFFFFull ? 0xFFFFFFFFu : precision_t(size);
    d.precision = prec;
    d.scale = scale_t(scale);
    int updatable = int(uint32_t(upd));
    d.nullable = nullable_t((nullable & 0xF) + (updatable == 1 ? 32 : updatable == 2 ? 48 : 16));
    if (c->SessFlags.f_jetfix && type == SQL_BIGINT) d.sqlType = SQLTYPE_NUMERIC;

    int mapType = type;
    const bool whole = pc->bWholeLongData && DB_IsLongType(type);
    precision_t mapPrec = prec;
    // Narrow text cells hold the bytes of the characters the driver declares,
    // in the encoding they arrive in; 0 when the cell is sized in characters.
    precision_t fetchPrec = 0;
    bool mapped = true;
    switch (type) {
      case SQL_CHAR:
      case SQL_VARCHAR:
        if (maxVarchar > 0 && mapPrec > precision_t(maxVarchar)) mapPrec = precision_t(maxVarchar);
        fetchPrec = CharsToBytes(mapPrec, charBytes);
        break;
      case SQL_WCHAR:
        if (!c->unicode)
          mapType = SQL_CHAR, d.sqlType = SQLTYPE_CHAR, fetchPrec = CharsToBytes(mapPrec, charBytes);
        break;
      case SQL_WVARCHAR:
        if (!c->unicode)
          mapType = SQL_VARCHAR, d.sqlType = SQLTYPE_VARCHAR, fetchPrec = CharsToBytes(mapPrec, charBytes);
        break;
      case SQL_WLONGVARCHAR:
        if (c->unicode) {
          mapPrec = LongPrecision(pc, prec, whole) / 4;
        } else {
          mapType = SQL_LONGVARCHAR, d.sqlType = SQLTYPE_LONGVARCHAR;
          mapPrec = LongPrecision(pc, prec, whole);
          fetchPrec = LongPrecision(pc, CharsToBytes(prec, charBytes), whole);
        }
        break;
      case SQL_LONGVARCHAR:
        mapPrec = LongPrecision(pc, prec, whole);
        fetchPrec = LongPrecision(pc, CharsToBytes(prec, charBytes), whole);
        break;
      case SQL_LONGVARBINARY:
        mapPrec = LongPrecision(pc, prec, whole);
        break;
      case SQL_BINARY:
      case SQL_VARBINARY:
        mapPrec = LongPrecision(pc, prec);
        break;
      case SQL_BIGINT:
        if (c->SessFlags.f_jetfix) mapType = SQL_NUMERIC;
        break;
      default:
        if ((type >= 2 && type <= 11) || (type >= 91 && type <= 93) || type == SQL_BIT ||
            type == SQL_TINYINT || type == SQL_GUID)
          break;
        mapped = false;
    }
    if (mapped) {
      d.fetchType = GetVYRCTypeFromSQLType(mapType, mapPrec, &d.fetchLength, &d.display);
      if (fetchPrec > mapPrec) GetVYRCTypeFromSQLType(mapType, fetchPrec, &d.fetchLength, nullptr);
      if (whole) {
        // A cell of a value's length and buffer. The fetch length is the most
        // the value may bring (bytes, or characters for wide text): drivers
        // declare sizes of long columns that their values exceed, and a value
        // is read only as long as it is.
        d.fetchType = type == SQL_LONGVARBINARY     ? CTYPE_LBIN
                      : mapType == SQL_WLONGVARCHAR ? CTYPE_WLCHR
                                                    : CTYPE_LCHR;
        d.fetchLength = LongPrecision(pc, 0, true) / (d.fetchType == CTYPE_WLCHR ? 4 : 1);
      }
    } else {
      d.display = prec;
      d.fetchLength = 0;
      d.fetchType = CTYPE_VCHR;
    }
    if (DB_IsDeferableType(type) && pc->st_sccl.bDeferLongData) d.fetchLength = 0;
  }
  FreeColdesc(pc->pColdesc, pc->nColdesc);
  pc->pColdesc = cd;
  pc->nColdesc = uns16(n);
  pc->flags |= CURSF_DESCRIBED;
  return ER_SUCCESS;
}

namespace {

errcode_t CopyDescs(const Coldesc* src, uns16 n, uns16* pCount, Coldesc** ppDesc) {
  if (pCount) *pCount = 0;
  if (ppDesc) {
    *ppDesc = nullptr;
    if (n > 0) {
      Coldesc* d = AllocColdesc(n);
      if (!d) return ER_NO_MEMORY;
      // Out of memory for the array fails the call; a name that cannot be
      // copied stays null, as a driver that gives none leaves it.
      for (uns16 i = 0; i < n; i++) {
        d[i] = src[i];
        d[i].qualifierName = src[i].qualifierName ? strdup(src[i].qualifierName) : nullptr;
        d[i].ownerName = src[i].ownerName ? strdup(src[i].ownerName) : nullptr;
        d[i].tableName = src[i].tableName ? strdup(src[i].tableName) : nullptr;
        d[i].columnName = src[i].columnName ? strdup(src[i].columnName) : nullptr;
      }
      *ppDesc = d;
    }
  }
  if (pCount) *pCount = n;
  return ER_SUCCESS;
}

}  // namespace

errcode_t ODBC_DescribeColumns(handle_t hCursor, uns16* pCount, Coldesc** ppDesc) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) return ER_INVALID_ARGUMENT;
  return CopyDescs(pc->pColdesc, pc->nColdesc, pCount, ppDesc);
}

errcode_t ODBC_DescribeParams(handle_t hCursor, uns16* pCount, Coldesc** ppDesc) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) return ER_INVALID_ARGUMENT;
  return CopyDescs(pc->pPardesc, pc->nPardesc, pCount, ppDesc);
}

errcode_t ODBC_ColAttributes(handle_t hCursor, uns16* pnCols, uns16* pnAttribs, Coldesc** ppDesc,
                             ColAttrib** ppAttrib) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc || !pnCols || !pnAttribs || !ppDesc || !ppAttrib) return ER_INVALID_ARGUMENT;
  *pnAttribs = 0;
  *ppAttrib = nullptr;
  errcode_t e = CopyDescs(pc->pColdesc, pc->nColdesc, pnCols, ppDesc);
  if (e != ER_SUCCESS) return e;
  const uns16 n = pc->nColdesc;
  static const struct {
    sgn16 id;
    attrType_t type;
    sgn32 deflt;
    int odbcId;  // 0: not asked of the driver
  } tmpl[10] = {{11, ATTR_SGN32, 0, 11},  {12, ATTR_SGN32, 0, 12},
                {-13, ATTR_SGN32, 0, 13}, {10, ATTR_SGN32, 2, 10},
                {14, ATTR_STRING, 0, 0},  {27, ATTR_STRING, 0, 0},
                {28, ATTR_STRING, 0, 0},  {COLATTR_KEY_COLUMN, ATTR_SGN32, 0, 0},
                {35, ATTR_SGN32, 0, 0},   {COLATTR_EXPRESSION, ATTR_SGN32, 0, 0}};
  size_t total = size_t(n + 1) * 10;
  if (total > 0xFFFF) return ER_GENERAL_ERROR;
  // The working array and its strings are handed to the packing, which frees them.
  ColAttrib* work = static_cast<ColAttrib*>(calloc(total, sizeof(ColAttrib)));
  if (!work) {
    FreeColdesc(*ppDesc, *pnCols);
    *ppDesc = nullptr;
    *pnCols = 0;
    return ER_NO_MEMORY;
  }
  auto dropWork = [&]() {
    for (size_t i = 0; i < total; i++)
      if (work[i].attribVal.attribType == ATTR_STRING) free(work[i].attribVal.u.s);
    free(work);
  };
  size_t k = 0;
  for (auto& t : tmpl) {
    ColAttrib& base = work[k++];
    base.col = 0;
    base.attribId = t.id;
    base.attribVal.attribType = t.type;
    if (t.type == ATTR_STRING)
      base.attribVal.u.s = nullptr;
    else
      base.attribVal.u.l = t.deflt;
    for (uns16 col = 1; col <= n; col++) {
      ColAttrib& a = work[k++];
      a.col = col;
      a.attribId = t.id;
      a.attribVal.attribType = t.type;
      if (t.odbcId) {
        SQLLEN v = 0;
        SQLRETURN r = pc->pConnect->unicode
                          ? SQLColAttributesW(pc->hStmt, col, SQLUSMALLINT(t.odbcId), nullptr, 0, nullptr, &v)
                          : SQLColAttributes(pc->hStmt, col, SQLUSMALLINT(t.odbcId), nullptr, 0, nullptr, &v);
        e = CheckStmtErrors(pc, "SQLColAttributes", r);
        if (e != ER_SUCCESS) {
          dropWork();
          FreeColdesc(*ppDesc, *pnCols);
          *ppDesc = nullptr;
          *pnCols = 0;
          return e;
        }
        a.attribVal.u.l = sgn32(uint32_t(v));
      } else if (t.type == ATTR_STRING) {
        const TypeInfoCache* cache = pc->pConnect->ht_typeinfo;
        const char* s = "";
        if (cache) {
          auto it = cache->find(sgn16(pc->pColdesc[col - 1].sqlType));
          if (it != cache->end())
            s = t.id == 14   ? it->second.typeName
                : t.id == 27 ? it->second.literalPrefix
                             : it->second.literalSuffix;
        }
        a.attribVal.u.s = strdup(s);
        if (!a.attribVal.u.s) {
          dropWork();
          FreeColdesc(*ppDesc, *pnCols);
          *ppDesc = nullptr;
          *pnCols = 0;
          return ER_NO_MEMORY;
        }
      } else {
        a.attribVal.u.l = 0;
        if (t.id == COLATTR_KEY_COLUMN || t.id == COLATTR_EXPRESSION) a.attribId = sgn16(-t.id);
      }
    }
  }
  if ((pc->st_sccl.f_state & SCCL_ANALYSED) && scs_p_ColGetInfo_hook) {
    for (uns16 col = 1; col <= n; col++) scs_p_ColGetInfo_hook(pc, col, work, int(total));
  }
  uns16 nPacked = 0;
  ColAttrib* packed = nullptr;
  e = ColAttribPack(uns16(total), work, &nPacked, &packed, 1);
  if (e != ER_SUCCESS) {
    FreeColdesc(*ppDesc, *pnCols);
    *ppDesc = nullptr;
    *pnCols = 0;
    return e;
  }
  *pnAttribs = nPacked;
  *ppAttrib = packed;
  return ER_SUCCESS;
}

int CursorHasLongColumn(const _Cursor* pc) { return HasLongColumn(pc) ? 1 : 0; }
