// Execution: runs a prepared statement with the client's parameters, one
// parameter row at a time or as arrays, and moves to further results.
#include <cstdlib>
#include <cstring>

#include "backend/backend.h"
#include "backend/sessions.h"
#include "backend/keywords.h"
#include "util/log.h"
#include "util/unicode.h"

namespace {

using backend_text::MatchKeyword;
using backend_text::SkipBlanks;

bool UseArrays(const _Cursor* pc) {
  const _Connect* c = pc->pConnect;
  if (!GetCap(c, CAP_PARAMOPTIONS)) return false;
  if (pc->request.reqType == REQ_QUERY && !GetCap(c, CAP_PARAM_BATCH)) return false;
  return true;
}

int ParamRows(const _Cursor* pc) {
  if (!pc->parameters || pc->parameters->nRows <= 0) return 1;
  return pc->parameters->nRows;
}

errcode_t RunStatement(_Cursor* pc) {
  DriverWait wait(pc->hStmt);
  SQLRETURN r;
  if (SetIdentityInsertStmt(pc)) {
    if (pc->pConnect->unicode) {
      wchar_t* w = strdup_U8toW(pc->request.translated);
      if (!w) return ER_NO_MEMORY;
      r = SQLExecDirectW(pc->hStmt, reinterpret_cast<SQLWCHAR*>(w), SQL_NTS);
      free(w);
    } else {
      r = SQLExecDirect(pc->hStmt, (SQLCHAR*)pc->request.translated, SQL_NTS);
    }
  } else {
    r = SQLExecute(pc->hStmt);
  }
  errcode_t e = CheckStmtErrors(pc, "SQLExecute", r);
  return e == ER_GENERAL_ERROR ? ER_SYNTAXIS : e;
}

// The new result's state: fetched in blocks until a set-up step says otherwise.
void NewResult(_Cursor* pc) {
  pc->bBlockStarted = 0;
  pc->bRowPath = 0;
}

}  // namespace

int SetIdentityInsertStmt(_Cursor* pc) {
  const char* text = pc->request.translated;
  if (!text) return 0;
  const char* p = SkipBlanks(text);
  if (!MatchKeyword(p, "SET")) return 0;
  p = SkipBlanks(p + 3);
  if (!MatchKeyword(p, "IDENTITY_INSERT")) return 0;
  char name[101] = {0}, ver[21] = {0};
  SQLSMALLINT len = 0;
  SQLRETURN r = SQLGetInfo(pc->hDbc, SQL_DBMS_NAME, name, 100, &len);
  if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO) return 0;
  r = SQLGetInfo(pc->hDbc, SQL_DBMS_VER, ver, 20, &len);
  if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO) return 0;
  if (strncasecmp(name, "Microsoft SQL Server", 20) != 0) return 0;
  if (!isdigit(static_cast<unsigned char>(ver[0]))) return 0;
  int major = ver[0] - '0';
  if (isdigit(static_cast<unsigned char>(ver[1]))) major = major * 10 + (ver[1] - '0');
  return major >= 7;
}

errcode_t ExecuteComplete(_Cursor* pc) {
  errcode_t e = Check4OutParams(pc);
  if (e != ER_SUCCESS) return e;
  if (pc->flags & CURSF_OUTPARAMS) return ProcExecute(pc);
  // A statement with parameters cannot run without their values.
  if (pc->nPardesc > 0 && !pc->parameters) {
    SetVYRErrorMsg(&pc->pendingError, ER_MISMATCH_PARAMS);
    return ER_MISMATCH_PARAMS;
  }
  if (pc->parameters && pc->nPardesc > pc->parameters->nCols) {
    SetVYRErrorMsg(&pc->pendingError, ER_MISMATCH_PARAMS);
    return ER_MISMATCH_PARAMS;
  }
  int rows = pc->nPardesc > 0 ? ParamRows(pc) : 1;
  bool arrays = UseArrays(pc);
  if (!arrays) rows = 1;
  int nParams = pc->parameters ? pc->parameters->nCols : 0;
  uint64_t want = uint64_t(std::max(nParams, 1)) * uint64_t(std::max(rows, 1));
  if (pc->nParamInds < want) {
    SQLLEN* p = static_cast<SQLLEN*>(realloc(pc->pParamInds, size_t(want) * sizeof(SQLLEN)));
    if (!p) return ER_NO_MEMORY;
    pc->pParamInds = p;
    pc->nParamInds = uns32(want);
  }
  pc->bRowCountSum = 0;
  NewResult(pc);
  if (arrays) {
    if (pc->flags & CURSF_REBIND) {
      e = BindAllParametersRows(pc, rows);
      if (e != ER_SUCCESS) return e;
    }
    e = RunStatement(pc);
    if (e != ER_SUCCESS) return e;
  } else if (pc->request.reqType == REQ_QUERY) {
    if (pc->flags & CURSF_REBIND) {
      int row = (pc->parameters && pc->nextParRow < pc->parameters->nRows) ? pc->nextParRow : 0;
      e = BindAllParameters(pc, 1, row);
      if (e != ER_SUCCESS) return e;
    }
    pc->nextParRow++;
    pc->flags &= ~CURSF_REBIND;
    e = RunStatement(pc);
    if (e != ER_SUCCESS) return e;
  } else {
    // Every parameter row runs in turn; the first failure stops the sequence and
    // the row counts are summed.
    int total = (pc->nPardesc > 0 && pc->parameters) ? std::max(1, int(pc->parameters->nRows)) : 1;
    SQLLEN sum = 0;
    bool counted = false;
    for (int r = 0; r < total; r++) {
      if ((pc->flags & CURSF_REBIND) || r > 0) {
        e = BindAllParameters(pc, 1, r);
        if (e != ER_SUCCESS) return e;
      }
      if (r > 0) SQLFreeStmt(pc->hStmt, SQL_CLOSE);
      e = RunStatement(pc);
      if (e != ER_SUCCESS) {
        if (r > 0) pc->rowCountSum = sum, pc->bRowCountSum = 1;
        return e;
      }
      SQLLEN n = -1;
      if (SQLRowCount(pc->hStmt, &n) == SQL_SUCCESS && n >= 0) sum += n, counted = true;
    }
    pc->flags &= ~CURSF_REBIND;
    if (total > 1) {
      pc->rowCountSum = counted ? sum : -1;
      pc->bRowCountSum = 1;
    }
  }
  if (pc->flags & CURSF_NEW_RESULT) {
    FreeColdesc(pc->pColdesc, pc->nColdesc);
    pc->pColdesc = nullptr;
    pc->nColdesc = 0;
    pc->flags &= ~(CURSF_NEW_RESULT | CURSF_DESCRIBED);
  }
  if (!(pc->flags & CURSF_DESCRIBED)) {
    e = GetColdesc(pc);
    if (e != ER_SUCCESS) return e;
  }
  pc->flags |= CURSF_EXECUTED | CURSF_OPEN;
  return ER_SUCCESS;
}

errcode_t ODBC_Execute(handle_t hCursor) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) return ER_INVALID_ARGUMENT;
  if (!(pc->flags & CURSF_PREPARED)) {
    logit(LOG_WARNING, nullptr, 0, "execute without prior prepare");
    return ER_FUNCTION_SEQ;
  }
  CloseCursor(pc);
  pc->nextParRow = 0;
  if (UseArrays(pc) && pc->parameters && pc->parameters->nRows > 1) {
    errcode_t e =
        CheckStmtErrors(pc, "SQLParamOptions",
                        SQLParamOptions(pc->hStmt, SQLULEN(pc->parameters->nRows), &pc->rowsParProcessed));
    if (e != ER_SUCCESS) return e;
  }
  pc->fPassMode = 0;
  errcode_t e = ExecuteCheck4DAEParams(pc);
  if (e != ER_SUCCESS) return e;
  return ExecuteComplete(pc);
}

errcode_t ODBC_Execute2(handle_t hCursor, char* sql, Dataset* pDS, uns16 count, Bindesc* pDesc) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) {
    if (pDS) {
      Dataset_Done(pDS);
      free(pDS);
    }
    return ER_INVALID_ARGUMENT;
  }
  errcode_t e;
  if (sql) {
    e = ODBC_Prepare(hCursor, sql);
    if (e != ER_SUCCESS) {
      if (pDS) {
        Dataset_Done(pDS);
        free(pDS);
      }
      return e;
    }
  }
  if (pDS) ODBC_Parameters(hCursor, pDS);
  if (count > 0) {
    e = ODBC_Bind(hCursor, count, pDesc);
    if (e != ER_SUCCESS) return e;
  }
  return ODBC_Execute(hCursor);
}

errcode_t ODBC_ExecuteN(handle_t hCursor, uns16, uns16, uns16*) {
  return ODBC_CursorRec(hCursor) ? ER_DRV_NOT_CAPABLE : ER_INVALID_ARGUMENT;
}

errcode_t ODBC_Cancel(handle_t hCursor) { return ODBC_CursorRec(hCursor) ? ER_SUCCESS : ER_INVALID_ARGUMENT; }

errcode_t ODBC_MoreResults(handle_t hCursor) {
  _Cursor* pc = ODBC_CursorRec(hCursor);
  if (!pc) return ER_INVALID_ARGUMENT;
  if (!(pc->flags & CURSF_EXECUTED)) return ER_NO_MORE_RESULTS;
  pc->flags &= ~CURSF_NO_MORE;
  pc->rowsProcessed = 0;
  int rows = (pc->nPardesc > 0 && pc->parameters && pc->parameters->nRows > 0) ? pc->parameters->nRows : 1;
  if (pc->request.reqType == REQ_QUERY && !UseArrays(pc) && pc->nextParRow > 0 && pc->nextParRow < rows) {
    CloseCursor(pc);
    pc->flags |= CURSF_REBIND;
    return ExecuteComplete(pc);
  }
  SQLRETURN r;
  {
    DriverWait wait(pc->hStmt);
    r = SQLMoreResults(pc->hStmt);
  }
  if (r == SQL_NO_DATA) {
    if ((pc->flags & CURSF_OUTPARAMS) && !(pc->flags & CURSF_OUTPARAMS_SENT)) return ProcHandleOutParams(pc);
    pc->flags |= CURSF_NO_MORE;
    return ER_NO_MORE_RESULTS;
  }
  errcode_t e = CheckStmtErrors(pc, "SQLMoreResults", r);
  if (e != ER_SUCCESS) return e;
  NewResult(pc);
  FreeColdesc(pc->pColdesc, pc->nColdesc);
  pc->pColdesc = nullptr;
  pc->nColdesc = 0;
  pc->flags &= ~CURSF_DESCRIBED;
  e = GetColdesc(pc);
  if (pc->nColdesc > 0) pc->flags |= CURSF_NEW_RESULT;
  return e;
}
