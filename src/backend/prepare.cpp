// Statement preparation, description and parameter binding: classifies and
// prepares a client's SQL text, describes result columns and parameters, keeps
// the client's parameter data and bindings, and binds them before an execute.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <langinfo.h>
#include <string>
#include <vector>

#include "backend/backend.h"
#include "backend/keywords.h"
#include "sqlucode.h"
#include "util/alloc.h"
#include "util/options.h"
#include "util/log.h"
#include "util/unicode.h"
#include "sql/param_analysis.h"

namespace {

constexpr precision_t LONGDATA_CAP = 60000;
constexpr precision_t LONGDATA_CAP_DEFERRED = 2147483643u;

using backend_text::MatchKeyword;
using backend_text::SkipBlanks;

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
precision_t LongPrecision(const _Cursor* pc, precision_t p) {
  precision_t cap = pc->st_sccl.bDeferLongData ? LONGDATA_CAP_DEFERRED : LONGDATA_CAP;
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

void FreeParamInds(_Cursor* pc) {
  free(pc->pParamInds);
  pc->pParamInds = nullptr;
  pc->nParamInds = 0;
}

}  // namespace

errcode_t ODBC_Request(Request* r, const char* sql) {
  if (!r || !sql) return ER_INVALID_ARGUMENT;
  Request_Done(r);
  r->original = strdup(sql);
  r->translated = strdup(sql);
  if (!r->original || !r->translated) {
    Request_Done(r);
    return ER_NO_MEMORY;
  }
  const char* p = r->translated;
  while (*p == '(') p++;
  if (MatchKeyword(SkipBlanks(p), "SELECT")) {
    r->reqType = 1;
  } else {
    const char* q = SkipBlanks(r->translated);
    r->reqType = (MatchKeyword(q, "INSERT") || MatchKeyword(q, "DELETE") || MatchKeyword(q, "UPDATE")) ? 2 : 3;
  }
  return ER_SUCCESS;
}

errcode_t ODBC_Prepare(handle_t hCursor, char* sql) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) return ER_INVALID_ARGUMENT;
  if (!sql) return ER_INVALID_ARGUMENT;
  UnPrepareCursor(pc);
  _Connect* c = pc->pConnect;
  pc->st_sccl.bDeferLongData = c->bDeferLongData && (pc->maxDataLen == 0 || pc->maxDataLen >= 65536);
  errcode_t e = ODBC_Request(&pc->request, sql);
  if (e != ER_SUCCESS) {
    logit(LOG_DEBUG, nullptr, 0, "Request prepare failed: %s", sql);
    return ER_NO_MEMORY;
  }
  SQLRETURN r;
  if (c->unicode) {
    wchar_t* w = strdup_U8toW(pc->request.translated);
    if (!w) return ER_NO_MEMORY;
    r = SQLPrepareW(pc->hStmt, reinterpret_cast<SQLWCHAR*>(w), SQL_NTS);
    free(w);
  } else {
    r = SQLPrepare(pc->hStmt, (SQLCHAR*)pc->request.translated, SQL_NTS);
  }
  e = CheckStmtErrors(pc, c->unicode ? "SQLPrepareW" : "SQLPrepare", r);
  if (e != ER_SUCCESS) return e == ER_GENERAL_ERROR ? ER_SYNTAXIS : e;

  bool numParams = GetCap(c, CAP_NUMPARAMS);
  if (numParams) {
    SQLSMALLINT n = 0;
    e = CheckStmtErrors(pc, "SQLNumParams", SQLNumParams(pc->hStmt, &n));
    if (e != ER_SUCCESS) return e;
    pc->request.numInput = uns16(n < 0 ? 0 : n);
    if (n > 0) pc->request.flags |= 2;
  }
  e = GetColdesc(pc);
  if (e != ER_SUCCESS) return e;

  pc->fetchProc = nullptr;
  pc->nPardesc = 0;
  SQLSMALLINT n = 0;
  if (numParams && SQLNumParams(pc->hStmt, &n) == SQL_SUCCESS && n > 0) {
    Coldesc* pd = AllocColdesc(uns16(n));
    if (!pd) terminate(1);
    for (SQLSMALLINT i = 0; i < n; i++) {
      Coldesc& d = pd[i];
      SQLSMALLINT type = 0, scale = 0, nullable = 0;
      SQLULEN size = 0;  // received at its full width
      SQLRETURN dr = SQL_ERROR;
      if (GetCap(c, CAP_DESCRIBEPARAM)) {
        dr = SQLDescribeParam(pc->hStmt, SQLUSMALLINT(i + 1), &type, &size, &scale, &nullable);
        if (dr != SQL_SUCCESS && dr != SQL_SUCCESS_WITH_INFO) CheckStmtErrors(pc, "SQLDescribeParam", dr);
      }
      if (dr == SQL_SUCCESS || dr == SQL_SUCCESS_WITH_INFO) {
        d.dbType = type;
        d.sqlType = sqltype_t(type);
        d.precision = size > 0xFFFFFFFFull ? 0xFFFFFFFFu : precision_t(size);
        d.scale = scale_t(scale);
        d.nullable = nullable_t(nullable);
        bool wide = type == SQL_WCHAR || type == SQL_WVARCHAR || type == SQL_WLONGVARCHAR;
        d.fetchType = (wide && c->unicode) ? CTYPE_WVCHR : CTYPE_VCHR;
      } else {
        d.dbType = SQL_VARCHAR;
        d.sqlType = SQLTYPE_VARCHAR;
        d.precision = 255;
        d.scale = 0;
        d.nullable = CON_NULLABLE_UNKNOWN;
        d.fetchType = CTYPE_VCHR;
      }
      d.display = 0;
      d.fetchLength = 0;
      strcpy(d.label, "*U");
    }
    pc->pPardesc = pd;
    pc->nPardesc = uns16(n);
    pc->rIntermBuffer = static_cast<char**>(calloc(size_t(n), sizeof(char*)));
    if (!pc->rIntermBuffer) return ER_NO_MEMORY;
  } else {
    pc->flags &= ~CURSF_REBIND;
  }
  pc->flags |= CURSF_PREPARED;
  return ER_SUCCESS;
}

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
  if (!cd) terminate(1);
  int maxVarchar = GetCap(c, CAP_MAX_VARCHAR);
  const precision_t charBytes = NarrowCharBytes();
  for (SQLSMALLINT i = 0; i < n; i++) {
    Coldesc& d = cd[i];
    SQLSMALLINT type = 0, scale = 0, nullable = 0, nameLen = 0;
    SQLULEN size = 0;   // full width, narrowed below
    SQLLEN upd = 0;     // full width, low 32 bits kept
    std::string name;
    SQLRETURN r;
    if (c->unicode) {
      std::wstring w(2049, L'\0');
      r = SQLDescribeColW(pc->hStmt, SQLUSMALLINT(i + 1), reinterpret_cast<SQLWCHAR*>(w.data()), 2048, &nameLen, &type,
                          &size, &scale, &nullable);
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
      r = SQLDescribeCol(pc->hStmt, SQLUSMALLINT(i + 1), (SQLCHAR*)buf.data(), 2048, &nameLen, &type, &size, &scale,
                         &nullable);
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
    d.columnName = strdup(name.c_str());
    d.dbType = type;
    d.sqlType = sqltype_t(type);
    precision_t prec = size > 0xFFFFFFFFull ? 0xFFFFFFFFu : precision_t(size);
    d.precision = prec;
    d.scale = scale_t(scale);
    int updatable = int(uint32_t(upd));
    d.nullable = nullable_t((nullable & 0xF) + (updatable == 1 ? 32 : updatable == 2 ? 48 : 16));
    if (c->SessFlags.f_jetfix && type == SQL_BIGINT) d.sqlType = SQLTYPE_NUMERIC;

    int mapType = type;
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
        if (!c->unicode) mapType = SQL_CHAR, d.sqlType = SQLTYPE_CHAR, fetchPrec = CharsToBytes(mapPrec, charBytes);
        break;
      case SQL_WVARCHAR:
        if (!c->unicode) mapType = SQL_VARCHAR, d.sqlType = SQLTYPE_VARCHAR, fetchPrec = CharsToBytes(mapPrec, charBytes);
        break;
      case SQL_WLONGVARCHAR:
        if (c->unicode) {
          mapPrec = LongPrecision(pc, prec) / 4;
        } else {
          mapType = SQL_LONGVARCHAR, d.sqlType = SQLTYPE_LONGVARCHAR;
          mapPrec = LongPrecision(pc, prec);
          fetchPrec = LongPrecision(pc, CharsToBytes(prec, charBytes));
        }
        break;
      case SQL_LONGVARCHAR:
        mapPrec = LongPrecision(pc, prec);
        fetchPrec = LongPrecision(pc, CharsToBytes(prec, charBytes));
        break;
      case SQL_BINARY:
      case SQL_VARBINARY:
      case SQL_LONGVARBINARY:
        mapPrec = LongPrecision(pc, prec);
        break;
      case SQL_BIGINT:
        if (c->SessFlags.f_jetfix) mapType = SQL_NUMERIC;
        break;
      default:
        if ((type >= 2 && type <= 11) || (type >= 91 && type <= 93) || type == SQL_BIT || type == SQL_TINYINT ||
            type == SQL_GUID)
          break;
        mapped = false;
    }
    if (mapped) {
      d.fetchType = GetVYRCTypeFromSQLType(mapType, mapPrec, &d.fetchLength, &d.display);
      if (fetchPrec > mapPrec) GetVYRCTypeFromSQLType(mapType, fetchPrec, &d.fetchLength, nullptr);
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
  } tmpl[10] = {{11, ATTR_SGN32, 0, 11},    {12, ATTR_SGN32, 0, 12}, {-13, ATTR_SGN32, 0, 13},
                {10, ATTR_SGN32, 2, 10},    {14, ATTR_STRING, 0, 0}, {27, ATTR_STRING, 0, 0},
                {28, ATTR_STRING, 0, 0},    {1053, ATTR_SGN32, 0, 0}, {35, ATTR_SGN32, 0, 0},
                {1055, ATTR_SGN32, 0, 0}};
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
            s = t.id == 14 ? it->second.typeName : t.id == 27 ? it->second.literalPrefix : it->second.literalSuffix;
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
        if (t.id == 1053 || t.id == 1055) a.attribId = sgn16(-t.id);
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

errcode_t FillParamDesc(_Cursor* pc) {
  if (!(pc->flags & CURSF_PREPARED)) {
    logit(LOG_WARNING, nullptr, 0, "execute without prior prepare");
    return ER_FUNCTION_SEQ;
  }
  if (pc->flags & CURSF_EXECUTED) {
    logit(LOG_WARNING, nullptr, 0, "Describe params work only before Execute");
    return ER_SUCCESS;
  }
  if (pc->request.numInput == 0 || pc->nPardesc == 0) return ER_SUCCESS;
  SP_Request spr;
  SPR_Init(&spr, "cast (NULL as CHAR)");
  struct Done {
    SP_Request* r;
    ~Done() { SPR_Destroy(r); }
  } done{&spr};
  if (SPR_AnalyseSQL(&spr, pc->request.original) != ER_SUCCESS ||
      (!spr.paramsMask && spr.nCountParams != pc->request.numInput)) {
    pc->bParamsAnalysed = 1;
    return ER_SUCCESS;
  }
  handle_t hProbe = 0;
  errcode_t e = ODBC_Cursor(pc->pConnect->hConnect, &hProbe);
  if (e != ER_SUCCESS) return e;
  _Cursor* probe = ODBC_CursorRec(hProbe);
  uns16 j = 0;
  for (int q = 0; q < spr.nQueries && spr.pszQueries && spr.pszQueries[q] && spr.pszQueries[q][0]; q++) {
    e = ODBC_Prepare(hProbe, spr.pszQueries[q]);
    if (e != ER_SUCCESS) break;
    size_t maskLen = spr.paramsMask ? strlen(spr.paramsMask) : 0;
    for (uns16 k = 0; k < probe->nColdesc && j < pc->nPardesc; k++) {
      if (spr.paramsMask && (k >= maskLen || spr.paramsMask[k] != '?')) continue;
      const Coldesc& s = probe->pColdesc[k];
      Coldesc& d = pc->pPardesc[j++];
      d.dbType = s.dbType;
      d.sqlType = s.sqlType;
      d.display = s.display;
      d.fetchType = s.fetchType;
      d.fetchLength = s.fetchLength;
      d.precision = s.precision;
      d.scale = s.scale;
      d.nullable = nullable_t(s.nullable & 0xF);
    }
  }
  ODBC_EndCursor(hProbe);
  if (e == ER_SUCCESS) pc->bParamsAnalysed = 1;
  return e;
}

errcode_t ODBC_Parameters(handle_t hCursor, Dataset* pDS) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) return ER_INVALID_ARGUMENT;
  if (pc->parameters) {
    Dataset_Done(pc->parameters);
    free(pc->parameters);
  }
  pc->parameters = pDS;
  pc->flags |= CURSF_REBIND;
  return ER_SUCCESS;
}

errcode_t ODBC_Bind(handle_t hCursor, uns16 count, Bindesc* pDesc) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) return ER_INVALID_ARGUMENT;
  free(pc->pParamInfo);
  pc->pParamInfo = nullptr;
  pc->nParamInfo = 0;
  if (count > 0) {
    if (!pDesc) return ER_INVALID_ARGUMENT;
    pc->pParamInfo = static_cast<Bindesc*>(malloc(sizeof(Bindesc) * count));
    if (!pc->pParamInfo) return ER_NO_MEMORY;
    memcpy(pc->pParamInfo, pDesc, sizeof(Bindesc) * count);
    pc->nParamInfo = count;
  }
  if (pc->nParamInds < count) {
    size_t want = size_t(count) + 10;
    SQLLEN* p = static_cast<SQLLEN*>(realloc(pc->pParamInds, want * sizeof(SQLLEN)));
    if (!p) return ER_NO_MEMORY;
    pc->pParamInds = p;
    pc->nParamInds = uns32(want);
  }
  pc->flags |= CURSF_REBIND;
  return ER_SUCCESS;
}

namespace {

struct ParamBind {
  SQLSMALLINT cType = SQL_C_CHAR;
  SQLSMALLINT sqlType = SQL_CHAR;
  void* value = nullptr;
  SQLLEN ind = SQL_NULL_DATA;
};

SQLSMALLINT CharSqlType(const _Connect* c, uint64_t len) {
  return len > uint64_t(std::max(0, GetCap(c, CAP_MAX_VARCHAR))) ? SQL_LONGVARCHAR : SQL_VARCHAR;
}
SQLSMALLINT BinSqlType(const _Connect* c, uint64_t len) {
  return len <= uint64_t(std::max(0, GetCap(c, CAP_MAX_VARBINARY))) ? SQL_VARBINARY : SQL_LONGVARBINARY;
}
SQLSMALLINT WideSqlType(const _Connect* c, uint64_t chars) {
  return chars > uint64_t(std::max(0, GetCap(c, CAP_MAX_WVARCHAR))) ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
}

uns32 PrefixLength(const char* cell, unsigned prefix, precision_t width) {
  uns32 len = 0;
  if (prefix == 1) {
    len = static_cast<uns8>(cell[0]);
  } else if (prefix == 2) {
    uns16 v;
    memcpy(&v, cell, 2);
    len = v;
  } else {
    memcpy(&len, cell, 4);
  }
  uns32 room = width > prefix ? width - prefix : 0;
  return std::min(len, room);
}

// Describes how one non-NULL cell is bound (single-row form). *pOwn receives a
// buffer the caller keeps alive until the parameters are reset.
errcode_t DescribeCell(const _Connect* c, const Coldata* col, int row, ParamBind* b, char** pOwn) {
  char* cell = Coldata_Cell(col, uint64_t(row));
  unsigned prefix = ctype_prefix_size(col->cType);
  switch (col->cType) {
    case CTYPE_CHR: {
      size_t len = strnlen(cell, col->width);
      b->ind = SQLLEN(len), b->cType = SQL_C_CHAR, b->sqlType = CharSqlType(c, len), b->value = cell;
      return ER_SUCCESS;
    }
    case CTYPE_BIT1:
    case CTYPE_SGN8:
    case CTYPE_UNS8: {
      char* buf = static_cast<char*>(calloc(1, 8));
      if (!buf) return ER_NO_MEMORY;
      sgn16 v = static_cast<uns8>(cell[0]);
      memcpy(buf, &v, 2);
      *pOwn = buf;
      b->ind = 2, b->cType = SQL_C_SHORT, b->sqlType = SQL_SMALLINT, b->value = buf;
      return ER_SUCCESS;
    }
    case CTYPE_SGN16: b->ind = col->width, b->cType = SQL_C_SHORT, b->sqlType = SQL_SMALLINT, b->value = cell; return ER_SUCCESS;
    case CTYPE_UNS16: b->ind = col->width, b->cType = SQL_C_USHORT, b->sqlType = SQL_SMALLINT, b->value = cell; return ER_SUCCESS;
    // SQL_C_LONG is 4 bytes on this platform: the cell is bound as it is.
    case CTYPE_SGN32: b->ind = 4, b->cType = SQL_C_LONG, b->sqlType = SQL_INTEGER, b->value = cell; return ER_SUCCESS;
    case CTYPE_UNS32: b->ind = 4, b->cType = SQL_C_ULONG, b->sqlType = SQL_INTEGER, b->value = cell; return ER_SUCCESS;
    case CTYPE_FLT32: b->ind = col->width, b->cType = SQL_C_FLOAT, b->sqlType = SQL_FLOAT, b->value = cell; return ER_SUCCESS;
    case CTYPE_FLT64: b->ind = col->width, b->cType = SQL_C_DOUBLE, b->sqlType = SQL_DOUBLE, b->value = cell; return ER_SUCCESS;
    case CTYPE_DATE: b->ind = col->width, b->cType = SQL_C_DATE, b->sqlType = SQL_DATE, b->value = cell; return ER_SUCCESS;
    case CTYPE_TIME: b->ind = col->width, b->cType = SQL_C_TIME, b->sqlType = SQL_TIME, b->value = cell; return ER_SUCCESS;
    case CTYPE_TIMESTAMP: b->ind = col->width, b->cType = SQL_C_TIMESTAMP, b->sqlType = SQL_TIMESTAMP, b->value = cell; return ER_SUCCESS;
    case CTYPE_BIN: b->ind = col->width, b->cType = SQL_C_BINARY, b->sqlType = BinSqlType(c, col->width), b->value = cell; return ER_SUCCESS;
    case CTYPE_LCHR: {
      c_lchr l;
      memcpy(&l, cell, sizeof l);
      b->ind = l.data ? SQLLEN(l.length) : 0, b->cType = SQL_C_CHAR, b->sqlType = CharSqlType(c, l.length);
      b->value = l.data ? l.data : cell;
      return ER_SUCCESS;
    }
    case CTYPE_LBIN: {
      c_lbin l;
      memcpy(&l, cell, sizeof l);
      b->ind = l.data ? SQLLEN(l.length) : 0, b->cType = SQL_C_BINARY, b->sqlType = BinSqlType(c, l.length);
      b->value = l.data ? static_cast<void*>(l.data) : cell;
      return ER_SUCCESS;
    }
    case CTYPE_VCHR: {
      size_t len = strnlen(cell, col->width);
      // The cell may arrive unterminated: its length is measured within the cell.
      b->ind = SQLLEN(len), b->cType = SQL_C_CHAR;
      b->sqlType = (col->width > 0 && uint64_t(col->width - 1) > uint64_t(std::max(0, GetCap(c, CAP_MAX_VARCHAR))))
                       ? SQL_LONGVARCHAR
                       : SQL_VARCHAR;
      b->value = cell;
      return ER_SUCCESS;
    }
    case CTYPE_VCHR8:
    case CTYPE_VCHR16:
    case CTYPE_VCHR32: {
      uns32 len = PrefixLength(cell, prefix, col->width);
      b->ind = len, b->cType = SQL_C_CHAR, b->sqlType = CharSqlType(c, len), b->value = cell + prefix;
      return ER_SUCCESS;
    }
    case CTYPE_VBIN8:
    case CTYPE_VBIN16:
    case CTYPE_VBIN32: {
      uns32 len = PrefixLength(cell, prefix, col->width);
      b->ind = len, b->cType = SQL_C_BINARY, b->sqlType = BinSqlType(c, len), b->value = cell + prefix;
      return ER_SUCCESS;
    }
    case CTYPE_WCHR: {
      size_t chars = wcsnlen(reinterpret_cast<wchar_t*>(cell), col->width / 4);
      b->ind = SQLLEN(chars * 4), b->cType = SQL_C_WCHAR, b->sqlType = WideSqlType(c, chars), b->value = cell;
      return ER_SUCCESS;
    }
    case CTYPE_WVCHR: {
      size_t chars = wcsnlen(reinterpret_cast<wchar_t*>(cell), col->width / 4);
      b->ind = SQLLEN(chars * 4), b->cType = SQL_C_WCHAR, b->sqlType = WideSqlType(c, col->width / 4), b->value = cell;
      return ER_SUCCESS;
    }
    case CTYPE_WLCHR: {
      c_wlchr l;
      memcpy(&l, cell, sizeof l);
      b->ind = l.data ? SQLLEN(uint64_t(l.length) * 4) : 0, b->cType = SQL_C_WCHAR, b->sqlType = WideSqlType(c, l.length);
      b->value = l.data ? static_cast<void*>(l.data) : cell;
      return ER_SUCCESS;
    }
    case CTYPE_WVCHR32: {
      uns32 chars;
      memcpy(&chars, cell, 4);
      chars = std::min<uns32>(chars, col->width > 4 ? (col->width - 4) / 4 : 0);
      b->ind = SQLLEN(uint64_t(chars) * 4), b->cType = SQL_C_WCHAR, b->sqlType = WideSqlType(c, chars), b->value = cell + 4;
      return ER_SUCCESS;
    }
    default:
      return ER_DRV_NOT_CAPABLE;
  }
}

errcode_t EnsureParamInds(_Cursor* pc, uint64_t want) {
  if (want > 0xFFFFFFFFull) return ER_NO_MEMORY;
  if (pc->nParamInds >= want) return ER_SUCCESS;
  SQLLEN* p = static_cast<SQLLEN*>(realloc(pc->pParamInds, size_t(want) * sizeof(SQLLEN)));
  if (!p) return ER_NO_MEMORY;
  pc->pParamInds = p;
  pc->nParamInds = uns32(want);
  return ER_SUCCESS;
}

void BindingPrecision(const _Cursor* pc, int i, SQLULEN* prec, SQLSMALLINT* scale) {
  *prec = 0;
  *scale = 0;
  if (pc->pParamInfo && i < pc->nParamInfo) {
    *prec = pc->pParamInfo[i].precision;
    *scale = SQLSMALLINT(pc->pParamInfo[i].scale);
  }
}

}  // namespace

errcode_t BindAllParameters(_Cursor* pc, int rowCount, int row) {
  errcode_t e = CheckStmtErrors(pc, "SQLFreeStmt(RESET_PARAMS)", SQLFreeStmt(pc->hStmt, SQL_RESET_PARAMS));
  if (e != ER_SUCCESS) return e;
  Dataset* ds = pc->parameters;
  if (!ds) return ER_SUCCESS;
  if (row < 0 || row >= ds->nRows) return ER_MISMATCH_PARAMS;
  if (rowCount < 1) rowCount = 1;
  // Only the statement's own markers are bound when the driver counts them.
  uns16 nParams = ds->nCols;
  if (GetCap(pc->pConnect, CAP_NUMPARAMS) && pc->nPardesc < nParams) nParams = pc->nPardesc;
  e = EnsureParamInds(pc, uint64_t(nParams) * uint64_t(rowCount) + uint64_t(row) + 1);
  if (e != ER_SUCCESS) return e;
  for (uns16 i = 0; i < nParams; i++) {
    const Coldata* col = &ds->col[i];
    if (pc->rIntermBuffer && i < pc->nPardesc) {
      free(pc->rIntermBuffer[i]);
      pc->rIntermBuffer[i] = nullptr;
    }
    SQLLEN* slot = &pc->pParamInds[uint64_t(row) + uint64_t(i) * uint64_t(rowCount)];
    ParamBind b;
    if (col->indicators[row] < 0) {
      b.cType = SQL_C_CHAR, b.sqlType = SQL_CHAR, b.value = Coldata_Cell(col, uint64_t(row)), b.ind = SQL_NULL_DATA;
    } else {
      char* own = nullptr;
      e = DescribeCell(pc->pConnect, col, row, &b, &own);
      if (e != ER_SUCCESS) return e;
      if (own) {
        if (pc->rIntermBuffer && i < pc->nPardesc) {
          pc->rIntermBuffer[i] = own;
        } else {
          // No slot to keep it in: keep the value in the indicator's neighbour instead.
          free(own);
          return ER_DRV_NOT_CAPABLE;
        }
      }
    }
    *slot = b.ind;
    SQLULEN prec;
    SQLSMALLINT scale;
    BindingPrecision(pc, i, &prec, &scale);
    e = CheckStmtErrors(pc, "SQLBindParameter",
                        SQLBindParameter(pc->hStmt, SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, b.cType, b.sqlType, prec,
                                         scale, b.value, 0, slot));
    if (e != ER_SUCCESS) return e;
  }
  return ER_SUCCESS;
}

errcode_t BindAllParametersRows(_Cursor* pc, int rowCount) {
  errcode_t e = CheckStmtErrors(pc, "SQLFreeStmt(RESET_PARAMS)", SQLFreeStmt(pc->hStmt, SQL_RESET_PARAMS));
  if (e != ER_SUCCESS) return e;
  Dataset* ds = pc->parameters;
  if (!ds) return ER_SUCCESS;
  if (rowCount < 1 || rowCount > ds->nRows) return ER_MISMATCH_PARAMS;
  uns16 nParams = std::min<uns16>(pc->nPardesc, ds->nCols);
  e = EnsureParamInds(pc, uint64_t(nParams) * uint64_t(rowCount));
  if (e != ER_SUCCESS) return e;
  const _Connect* c = pc->pConnect;
  for (uns16 i = 0; i < nParams; i++) {
    const Coldata* col = &ds->col[i];
    free(pc->rIntermBuffer[i]);
    pc->rIntermBuffer[i] = nullptr;
    SQLLEN* inds = &pc->pParamInds[uint64_t(i) * uint64_t(rowCount)];
    SQLSMALLINT cType = SQL_C_CHAR, sqlType = SQL_VARCHAR;
    void* base = col->values;
    SQLLEN stride = SQLLEN(col->width);
    unsigned prefix = ctype_prefix_size(col->cType);
    switch (col->cType) {
      case CTYPE_CHR:
      case CTYPE_VCHR: {
        uint64_t longest = 0;
        for (int r = 0; r < rowCount; r++) {
          size_t len = strnlen(Coldata_Cell(col, r), col->width);
          inds[r] = col->indicators[r] < 0 ? SQL_NULL_DATA : SQLLEN(len);
          longest = std::max<uint64_t>(longest, len);
        }
        cType = SQL_C_CHAR;
        sqlType = CharSqlType(c, col->width > 0 ? col->width - 1 : 0);
        (void)longest;
        break;
      }
      case CTYPE_BIT1:
      case CTYPE_SGN8:
      case CTYPE_UNS8: {
        sgn16* buf = static_cast<sgn16*>(calloc(size_t(rowCount), sizeof(sgn16)));
        if (!buf) return ER_NO_MEMORY;
        for (int r = 0; r < rowCount; r++) {
          buf[r] = static_cast<uns8>(*Coldata_Cell(col, r));
          inds[r] = col->indicators[r] < 0 ? SQL_NULL_DATA : 2;
        }
        pc->rIntermBuffer[i] = reinterpret_cast<char*>(buf);
        base = buf, stride = 2, cType = SQL_C_SHORT, sqlType = SQL_SMALLINT;
        break;
      }
      case CTYPE_SGN16:
      case CTYPE_UNS16:
      case CTYPE_SGN32:
      case CTYPE_UNS32:
      case CTYPE_FLT32:
      case CTYPE_FLT64:
      case CTYPE_DATE:
      case CTYPE_TIME:
      case CTYPE_TIMESTAMP:
      case CTYPE_BIN: {
        // Fixed cells are bound in place: their width is the C type's size, which
        // is the stride of column-wise parameter arrays (4 bytes for SQL_C_LONG).
        static const struct {
          ctype_t t;
          SQLSMALLINT c, s;
        } map[] = {{CTYPE_SGN16, SQL_C_SHORT, SQL_SMALLINT}, {CTYPE_UNS16, SQL_C_USHORT, SQL_SMALLINT},
                   {CTYPE_SGN32, SQL_C_LONG, SQL_INTEGER},   {CTYPE_UNS32, SQL_C_ULONG, SQL_INTEGER},
                   {CTYPE_FLT32, SQL_C_FLOAT, SQL_REAL},     {CTYPE_FLT64, SQL_C_DOUBLE, SQL_DOUBLE},
                   {CTYPE_DATE, SQL_C_DATE, SQL_DATE},       {CTYPE_TIME, SQL_C_TIME, SQL_TIME},
                   {CTYPE_TIMESTAMP, SQL_C_TIMESTAMP, SQL_TIMESTAMP}, {CTYPE_BIN, SQL_C_BINARY, SQL_VARBINARY}};
        for (auto& m : map)
          if (m.t == col->cType) cType = m.c, sqlType = m.s;
        if (col->cType == CTYPE_BIN) sqlType = BinSqlType(c, col->width);
        for (int r = 0; r < rowCount; r++) inds[r] = col->indicators[r] < 0 ? SQL_NULL_DATA : SQLLEN(col->width);
        break;
      }
      case CTYPE_LCHR:
      case CTYPE_LBIN:
      case CTYPE_WLCHR:
      case CTYPE_VCHR8:
      case CTYPE_VCHR16:
      case CTYPE_VCHR32:
      case CTYPE_VBIN8:
      case CTYPE_VBIN16:
      case CTYPE_VBIN32:
      case CTYPE_WVCHR32: {
        const bool wide = col->cType == CTYPE_WLCHR || col->cType == CTYPE_WVCHR32;
        const bool bin = col->cType == CTYPE_LBIN || (col->cType >= CTYPE_VBIN8 && col->cType <= CTYPE_VBIN32);
        std::vector<std::pair<const char*, uint64_t>> rows(size_t(rowCount), {nullptr, 0});
        uint64_t longest = 0;
        for (int r = 0; r < rowCount; r++) {
          if (col->indicators[r] < 0) continue;
          const char* cell = Coldata_Cell(col, r);
          const char* data;
          uint64_t bytes;
          if (ctype_is_long(col->cType)) {
            c_lchr l;
            memcpy(&l, cell, sizeof l);
            data = l.data;
            bytes = l.data ? uint64_t(l.length) * (wide ? 4 : 1) : 0;
          } else if (col->cType == CTYPE_WVCHR32) {
            uns32 chars;
            memcpy(&chars, cell, 4);
            chars = std::min<uns32>(chars, col->width > 4 ? (col->width - 4) / 4 : 0);
            data = cell + 4, bytes = uint64_t(chars) * 4;
          } else {
            data = cell + prefix, bytes = PrefixLength(cell, prefix, col->width);
          }
          rows[size_t(r)] = {data, bytes};
          longest = std::max(longest, bytes);
        }
        if (col->cType == CTYPE_LBIN && pc->pParamInfo && i < pc->nParamInfo)
          longest = std::max<uint64_t>(longest, pc->pParamInfo[i].precision);
        uint64_t st = std::max<uint64_t>(longest, wide ? 4 : 1);
        uint64_t total = st * uint64_t(rowCount);
        if (total > (1ull << 31)) return ER_NO_MEMORY;
        char* buf = static_cast<char*>(calloc(size_t(total) + 4, 1));
        if (!buf) return ER_NO_MEMORY;
        for (int r = 0; r < rowCount; r++) {
          if (col->indicators[r] < 0) {
            inds[r] = SQL_NULL_DATA;
            continue;
          }
          if (rows[size_t(r)].first && rows[size_t(r)].second)
            memcpy(buf + uint64_t(r) * st, rows[size_t(r)].first, size_t(rows[size_t(r)].second));
          inds[r] = SQLLEN(rows[size_t(r)].second);
        }
        pc->rIntermBuffer[i] = buf;
        base = buf, stride = SQLLEN(st);
        if (wide)
          cType = SQL_C_WCHAR, sqlType = WideSqlType(c, longest / 4);
        else if (bin)
          cType = SQL_C_BINARY, sqlType = BinSqlType(c, longest);
        else
          cType = SQL_C_CHAR, sqlType = CharSqlType(c, longest);
        break;
      }
      case CTYPE_WCHR:
      case CTYPE_WVCHR: {
        for (int r = 0; r < rowCount; r++) {
          size_t chars = wcsnlen(reinterpret_cast<const wchar_t*>(Coldata_Cell(col, r)), col->width / 4);
          inds[r] = col->indicators[r] < 0 ? SQL_NULL_DATA : SQLLEN(chars * 4);
        }
        cType = SQL_C_WCHAR, sqlType = WideSqlType(c, col->width / 4);
        break;
      }
      default:
        return ER_DRV_NOT_CAPABLE;
    }
    SQLULEN prec;
    SQLSMALLINT scale;
    BindingPrecision(pc, i, &prec, &scale);
    e = CheckStmtErrors(pc, "SQLBindParameter",
                        SQLBindParameter(pc->hStmt, SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, cType, sqlType, prec, scale,
                                         base, stride, inds));
    if (e != ER_SUCCESS) return e;
  }
  pc->flags &= ~CURSF_REBIND;
  return ER_SUCCESS;
}

int CursorHasLongColumn(const _Cursor* pc) { return HasLongColumn(pc) ? 1 : 0; }
void CursorFreeParamInds(_Cursor* pc) { FreeParamInds(pc); }
