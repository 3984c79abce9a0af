// Statement preparation: classifies and prepares a client's SQL text, counts
// and describes its parameter markers, and refines their description by
// analysing the statement when the driver cannot describe parameters.
#include <cstdlib>
#include <cstring>

#include "backend/backend.h"
#include "backend/keywords.h"
#include "util/log.h"
#include "util/unicode.h"
#include "sql/param_analysis.h"

namespace {

using backend_text::MatchKeyword;
using backend_text::SkipBlanks;

// The connection's switch, unless the cursor's own cap is too small for it.
bool ConnectionDefers(const _Cursor* pc) {
  return pc->pConnect->bDeferLongData && (pc->maxDataLen == 0 || pc->maxDataLen >= 65536);
}

// Long values are left for the long-data call only where the client reads the
// rows itself, one by one: on its forward-only cursors. The rows of a
// scrollable cursor are read by the cursor engine, whatever statement it
// prepares there, and so are those of the engine's own cursors (with the
// engine installed, the cursors that carry no engine state): it keeps them whole.
bool DefersLongData(const _Cursor* pc) {
  if (!ConnectionDefers(pc)) return false;
  if (pc->st_sccl.CursType != SQL_CURSOR_FORWARD_ONLY) return false;
  return !scs_CursorDone_hook || pc->st_sccl.pDrv;
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
    r->reqType = REQ_QUERY;
  } else {
    const char* q = SkipBlanks(r->translated);
    r->reqType = (MatchKeyword(q, "INSERT") || MatchKeyword(q, "DELETE") || MatchKeyword(q, "UPDATE"))
                     ? REQ_DML
                     : REQ_OTHER;
  }
  return ER_SUCCESS;
}

errcode_t ODBC_Prepare(handle_t hCursor, char* sql) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) return ER_INVALID_ARGUMENT;
  if (!sql) return ER_INVALID_ARGUMENT;
  UnPrepareCursor(pc);
  _Connect* c = pc->pConnect;
  pc->st_sccl.bDeferLongData = DefersLongData(pc);
  // Where the engine reads the rows, the values the client would have taken
  // piece by piece come whole, for the engine to hold back the longest ones.
  pc->bWholeLongData = !pc->st_sccl.bDeferLongData && ConnectionDefers(pc);
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

  // Without the driver's count the statement has no parameter descriptions.
  SQLSMALLINT n = 0;
  if (GetCap(c, CAP_NUMPARAMS)) {
    e = CheckStmtErrors(pc, "SQLNumParams", SQLNumParams(pc->hStmt, &n));
    if (e != ER_SUCCESS) return e;
    if (n < 0) n = 0;
    pc->request.numInput = uns16(n);
    if (n > 0) pc->request.flags |= REQ_F_HAS_PARAMS;
  }
  e = GetColdesc(pc);
  if (e != ER_SUCCESS) return e;

  pc->fetchProc = nullptr;
  pc->nPardesc = 0;
  if (n > 0) {
    Coldesc* pd = AllocColdesc(uns16(n));
    if (!pd) return ER_NO_MEMORY;
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
