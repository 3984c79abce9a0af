// Catalog calls: run the ODBC catalog functions on a cursor and leave their
// result sets to be fetched like a query's; native SQL translation.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "backend/backend.h"
#include "sqlucode.h"
#include "util/unicode.h"

namespace {

void EmptyToNull(String* s) {
  if (*s && !**s) {
    free(*s);
    *s = nullptr;
  }
}

bool IsEmpty(const char* s) { return !s || !*s; }

// Wide copies of catalog arguments for a Unicode connection, freed with the set.
struct WideArgs {
  std::vector<wchar_t*> owned;
  ~WideArgs() {
    for (auto* w : owned) free(w);
  }
  SQLWCHAR* operator()(const char* s) {
    if (!s) return nullptr;
    wchar_t* w = strdup_U8toW(s);
    owned.push_back(w);
    return reinterpret_cast<SQLWCHAR*>(w);
  }
};

SQLCHAR* N(const char* s) { return (SQLCHAR*)s; }
SQLSMALLINT L(const char* s) { return s ? SQL_NTS : 0; }

// Common start: look the cursor up, unprepare it and check the driver's function.
_Cursor* Begin(handle_t h, int cap, errcode_t* pErr) {
  _Cursor* pc = ODBC_CursorRec(h);
  if (!pc) {
    *pErr = ER_INVALID_ARGUMENT;
    return nullptr;
  }
  UnPrepareCursor(pc);
  if (cap >= 0 && !GetCap(pc->pConnect, cap)) {
    *pErr = ER_DRV_NOT_CAPABLE;
    return nullptr;
  }
  *pErr = ER_SUCCESS;
  return pc;
}

// Owner rule: with no owner usage, an owner of exactly "%" passes as null.
bool NullOwner(const _Cursor* pc, const char* owner) {
  return GetCap(pc->pConnect, CAP_OWNER_USAGE) == 0 && owner && strcmp(owner, "%") == 0;
}

}  // namespace

errcode_t FinishCatView(_Cursor* pc, const char* label, int rc) {
  errcode_t e = CheckStmtErrors(pc, label, rc);
  if (e != ER_SUCCESS) return e;
  pc->flags |= CURSF_EXECUTED | CURSF_OPEN | CURSF_CATALOG;
  pc->bBlockStarted = 0;
  pc->bRowPath = 0;
  return GetColdesc(pc);
}

errcode_t ODBC_DDColumnPrivileges(handle_t h, DDColumnPrivileges* a) {
  errcode_t e;
  _Cursor* pc = Begin(h, CAP_COLUMNPRIVILEGES, &e);
  if (!pc) return e;
  if (!a) return ER_INVALID_ARGUMENT;
  EmptyToNull(&a->tableQualifier);
  EmptyToNull(&a->tableOwner);
  SQLRETURN r;
  if (pc->pConnect->unicode) {
    WideArgs w;
    r = SQLColumnPrivilegesW(pc->hStmt, w(a->tableQualifier), L(a->tableQualifier), w(a->tableOwner), L(a->tableOwner),
                             w(a->tableName), L(a->tableName), w(a->columnName), L(a->columnName));
    return FinishCatView(pc, "SQLColumnPrivilegesW", r);
  }
  r = SQLColumnPrivileges(pc->hStmt, N(a->tableQualifier), L(a->tableQualifier), N(a->tableOwner), L(a->tableOwner),
                          N(a->tableName), L(a->tableName), N(a->columnName), L(a->columnName));
  return FinishCatView(pc, "SQLColumnPrivileges", r);
}

errcode_t ODBC_DDColumns(handle_t h, DDColumns* a) {
  errcode_t e;
  _Cursor* pc = Begin(h, -1, &e);
  if (!pc) return e;
  if (!a) return ER_INVALID_ARGUMENT;
  EmptyToNull(&a->tableQualifier);
  EmptyToNull(&a->tableOwner);
  EmptyToNull(&a->columnName);
  const char* owner = NullOwner(pc, a->tableOwner) ? nullptr : a->tableOwner;
  SQLRETURN r;
  if (pc->pConnect->unicode) {
    WideArgs w;
    r = SQLColumnsW(pc->hStmt, w(a->tableQualifier), L(a->tableQualifier), w(owner), L(owner), w(a->tableName),
                    L(a->tableName), w(a->columnName), L(a->columnName));
    e = FinishCatView(pc, "SQLColumnsW", r);
  } else {
    r = SQLColumns(pc->hStmt, N(a->tableQualifier), L(a->tableQualifier), N(owner), L(owner), N(a->tableName),
                   L(a->tableName), N(a->columnName), L(a->columnName));
    e = FinishCatView(pc, "SQLColumns", r);
  }
  if (e == ER_SUCCESS) pc->fetchProc = ColumnsPostFetch, pc->virtParam = 0;
  return e;
}

errcode_t ODBC_DDForeignKeys(handle_t h, DDForeignKeys* a) {
  errcode_t e;
  _Cursor* pc = Begin(h, CAP_FOREIGNKEYS, &e);
  if (!pc) return e;
  if (!a) return ER_INVALID_ARGUMENT;
  EmptyToNull(&a->pkTableQualifier);
  EmptyToNull(&a->pkTableOwner);
  EmptyToNull(&a->fkTableQualifier);
  EmptyToNull(&a->fkTableOwner);
  SQLRETURN r;
  if (pc->pConnect->unicode) {
    WideArgs w;
    r = SQLForeignKeysW(pc->hStmt, w(a->pkTableQualifier), L(a->pkTableQualifier), w(a->pkTableOwner),
                        L(a->pkTableOwner), w(a->pkTableName), L(a->pkTableName), w(a->fkTableQualifier),
                        L(a->fkTableQualifier), w(a->fkTableOwner), L(a->fkTableOwner), w(a->fkTableName),
                        L(a->fkTableName));
    return FinishCatView(pc, "SQLForeignKeysW", r);
  }
  r = SQLForeignKeys(pc->hStmt, N(a->pkTableQualifier), L(a->pkTableQualifier), N(a->pkTableOwner), L(a->pkTableOwner),
                     N(a->pkTableName), L(a->pkTableName), N(a->fkTableQualifier), L(a->fkTableQualifier),
                     N(a->fkTableOwner), L(a->fkTableOwner), N(a->fkTableName), L(a->fkTableName));
  return FinishCatView(pc, "SQLForeignKeys", r);
}

errcode_t ODBC_DDPrimaryKeys(handle_t h, DDPrimaryKeys* a) {
  errcode_t e;
  _Cursor* pc = Begin(h, CAP_PRIMARYKEYS, &e);
  if (!pc) return e;
  if (!a) return ER_INVALID_ARGUMENT;
  EmptyToNull(&a->tableQualifier);
  EmptyToNull(&a->tableOwner);
  SQLRETURN r;
  if (pc->pConnect->unicode) {
    WideArgs w;
    r = SQLPrimaryKeysW(pc->hStmt, w(a->tableQualifier), L(a->tableQualifier), w(a->tableOwner), L(a->tableOwner),
                        w(a->tableName), L(a->tableName));
    return FinishCatView(pc, "SQLPrimaryKeysW", r);
  }
  r = SQLPrimaryKeys(pc->hStmt, N(a->tableQualifier), L(a->tableQualifier), N(a->tableOwner), L(a->tableOwner),
                     N(a->tableName), L(a->tableName));
  return FinishCatView(pc, "SQLPrimaryKeys", r);
}

errcode_t ODBC_DDProcedureColumns(handle_t h, DDProcedureColumns* a) {
  errcode_t e;
  _Cursor* pc = Begin(h, CAP_PROCEDURECOLUMNS, &e);
  if (!pc) return e;
  if (!a) return ER_INVALID_ARGUMENT;
  EmptyToNull(&a->procQualifier);
  EmptyToNull(&a->procOwner);
  const char* owner = NullOwner(pc, a->procOwner) ? nullptr : a->procOwner;
  SQLRETURN r;
  if (pc->pConnect->unicode) {
    WideArgs w;
    r = SQLProcedureColumnsW(pc->hStmt, w(a->procQualifier), L(a->procQualifier), w(owner), L(owner), w(a->procName),
                             L(a->procName), w(a->columnName), L(a->columnName));
    e = FinishCatView(pc, "SQLProcedureColumnsW", r);
  } else {
    r = SQLProcedureColumns(pc->hStmt, N(a->procQualifier), L(a->procQualifier), N(owner), L(owner), N(a->procName),
                            L(a->procName), N(a->columnName), L(a->columnName));
    e = FinishCatView(pc, "SQLProcedureColumns", r);
  }
  if (e == ER_SUCCESS) pc->fetchProc = ColumnsPostFetch, pc->virtParam = 1;
  return e;
}

errcode_t ODBC_DDProcedures(handle_t h, DDProcedures* a) {
  errcode_t e;
  _Cursor* pc = Begin(h, CAP_PROCEDURES, &e);
  if (!pc) return e;
  if (!a) return ER_INVALID_ARGUMENT;
  EmptyToNull(&a->procQualifier);
  EmptyToNull(&a->procOwner);
  const char* owner = NullOwner(pc, a->procOwner) ? nullptr : a->procOwner;
  SQLRETURN r;
  if (pc->pConnect->unicode) {
    WideArgs w;
    r = SQLProceduresW(pc->hStmt, w(a->procQualifier), L(a->procQualifier), w(owner), L(owner), w(a->procName),
                       L(a->procName));
    return FinishCatView(pc, "SQLProceduresW", r);
  }
  r = SQLProcedures(pc->hStmt, N(a->procQualifier), L(a->procQualifier), N(owner), L(owner), N(a->procName),
                    L(a->procName));
  return FinishCatView(pc, "SQLProcedures", r);
}

errcode_t ODBC_DDSpecialColumns(handle_t h, DDSpecialColumns* a) {
  errcode_t e;
  _Cursor* pc = Begin(h, CAP_SPECIALCOLUMNS, &e);
  if (!pc) return e;
  if (!a) return ER_INVALID_ARGUMENT;
  EmptyToNull(&a->tableQualifier);
  EmptyToNull(&a->tableOwner);
  SQLRETURN r;
  if (pc->pConnect->unicode) {
    WideArgs w;
    r = SQLSpecialColumnsW(pc->hStmt, a->colType, w(a->tableQualifier), L(a->tableQualifier), w(a->tableOwner),
                           L(a->tableOwner), w(a->tableName), L(a->tableName), a->scope, a->nullable);
    e = FinishCatView(pc, "SQLSpecialColumnsW", r);
  } else {
    r = SQLSpecialColumns(pc->hStmt, a->colType, N(a->tableQualifier), L(a->tableQualifier), N(a->tableOwner),
                          L(a->tableOwner), N(a->tableName), L(a->tableName), a->scope, a->nullable);
    e = FinishCatView(pc, "SQLSpecialColumns", r);
  }
  if (e == ER_SUCCESS) pc->fetchProc = SpecialColumnsPostFetch, pc->virtParam = 0;
  return e;
}

errcode_t ODBC_DDStatistics(handle_t h, DDStatistics* a) {
  errcode_t e;
  _Cursor* pc = Begin(h, CAP_STATISTICS, &e);
  if (!pc) return e;
  if (!a) return ER_INVALID_ARGUMENT;
  EmptyToNull(&a->tableQualifier);
  EmptyToNull(&a->tableOwner);
  SQLRETURN r;
  if (pc->pConnect->unicode) {
    WideArgs w;
    r = SQLStatisticsW(pc->hStmt, w(a->tableQualifier), L(a->tableQualifier), w(a->tableOwner), L(a->tableOwner),
                       w(a->tableName), L(a->tableName), a->unique, a->accuracy);
    return FinishCatView(pc, "SQLStatisticsW", r);
  }
  r = SQLStatistics(pc->hStmt, N(a->tableQualifier), L(a->tableQualifier), N(a->tableOwner), L(a->tableOwner),
                    N(a->tableName), L(a->tableName), a->unique, a->accuracy);
  return FinishCatView(pc, "SQLStatistics", r);
}

errcode_t ODBC_DDTablePrivileges(handle_t h, DDTablePrivileges* a) {
  errcode_t e;
  _Cursor* pc = Begin(h, CAP_TABLEPRIVILEGES, &e);
  if (!pc) return e;
  if (!a) return ER_INVALID_ARGUMENT;
  EmptyToNull(&a->tableQualifier);
  EmptyToNull(&a->tableOwner);
  SQLRETURN r;
  if (pc->pConnect->unicode) {
    WideArgs w;
    r = SQLTablePrivilegesW(pc->hStmt, w(a->tableQualifier), L(a->tableQualifier), w(a->tableOwner), L(a->tableOwner),
                            w(a->tableName), L(a->tableName));
    return FinishCatView(pc, "SQLTablePrivilegesW", r);
  }
  r = SQLTablePrivileges(pc->hStmt, N(a->tableQualifier), L(a->tableQualifier), N(a->tableOwner), L(a->tableOwner),
                         N(a->tableName), L(a->tableName));
  return FinishCatView(pc, "SQLTablePrivileges", r);
}

errcode_t ODBC_DDTables(handle_t h, DDTables* a) {
  errcode_t e;
  _Cursor* pc = Begin(h, -1, &e);
  if (!pc) return e;
  if (!a) return ER_INVALID_ARGUMENT;
  const bool uni = pc->pConnect->unicode;
  auto call = [&](const char* q, SQLSMALLINT ql, const char* o, SQLSMALLINT ol, const char* n, SQLSMALLINT nl,
                  const char* t, SQLSMALLINT tl) -> errcode_t {
    if (uni) {
      WideArgs w;
      return FinishCatView(pc, "SQLTablesW", SQLTablesW(pc->hStmt, w(q), ql, w(o), ol, w(n), nl, w(t), tl));
    }
    return FinishCatView(pc, "SQLTables", SQLTables(pc->hStmt, N(q), ql, N(o), ol, N(n), nl, N(t), tl));
  };
  const char *Q = a->tableQualifier, *O = a->tableOwner, *Nm = a->tableName, *T = a->tableType;
  auto isPct = [](const char* s) { return s && strcmp(s, "%") == 0; };
  if (isPct(Q) && IsEmpty(O) && IsEmpty(Nm) && !isPct(T)) return call("%", SQL_NTS, "", SQL_NTS, "", SQL_NTS, nullptr, 0);
  if (isPct(O) && IsEmpty(Q) && IsEmpty(Nm) && !isPct(T)) return call("", SQL_NTS, "%", SQL_NTS, "", SQL_NTS, nullptr, 0);
  if (isPct(T) && IsEmpty(Q) && IsEmpty(O) && IsEmpty(Nm)) return call("", SQL_NTS, "", SQL_NTS, "", SQL_NTS, "%", SQL_NTS);
  EmptyToNull(&a->tableQualifier);
  EmptyToNull(&a->tableOwner);
  EmptyToNull(&a->tableName);
  EmptyToNull(&a->tableType);
  Q = a->tableQualifier, O = a->tableOwner, Nm = a->tableName, T = a->tableType;
  if (!Q && !O && !Nm && !T) return call(nullptr, 0, nullptr, 0, "%", SQL_NTS, nullptr, 0);
  if (NullOwner(pc, O)) O = nullptr;
  return call(Q, L(Q), O, L(O), Nm, L(Nm), T, L(T));
}

errcode_t ODBC_DDTypeInfo(handle_t h, sgn16 sqlType) {
  errcode_t e;
  _Cursor* pc = Begin(h, -1, &e);
  if (!pc) return e;
  if (pc->pConnect->unicode) return FinishCatView(pc, "SQLGetTypeInfoW", SQLGetTypeInfoW(pc->hStmt, sqlType));
  return FinishCatView(pc, "SQLGetTypeInfo", SQLGetTypeInfo(pc->hStmt, sqlType));
}

errcode_t ColumnsPostFetch(_Cursor* pc, Dataset* ds) {
  const int v = pc->virtParam;
  const bool wide = ds->nCols > 12;
  const int dt = 4 + v;  // DATA_TYPE, counted from 0
  const int sdt = 13 + v;  // SQL_DATA_TYPE
  if (wide) {
    if (sdt >= ds->nCols || dt >= ds->nCols || ds->col[sdt].cType != CTYPE_SGN16 || ds->col[dt].cType != CTYPE_SGN16)
      return ER_INVALID_COL_TYPE;
  } else if (dt >= ds->nCols || ds->col[dt].cType != CTYPE_SGN16) {
    return ER_SUCCESS;  // not the standard layout: nothing to adjust
  }
  for (sgn32 r = 0; r < ds->nRows; r++) {
    sgn16 t;
    char* cell = Coldata_Cell(&ds->col[dt], uint64_t(r));
    memcpy(&t, cell, 2);
    if (pc->pConnect->SessFlags.f_jetfix && t == SQL_BIGINT) {
      t = SQL_NUMERIC;
      memcpy(cell, &t, 2);
    }
    if (wide) {
      memcpy(Coldata_Cell(&ds->col[sdt], uint64_t(r)), &t, 2);
      ds->col[sdt].indicators[r] = ds->col[dt].indicators[r];
    }
  }
  return ER_SUCCESS;
}

errcode_t SpecialColumnsPostFetch(_Cursor* pc, Dataset* ds) {
  if (ds->nCols < 3 || ds->col[2].cType != CTYPE_SGN16) return ER_INVALID_COL_TYPE;
  if (!pc->pConnect->SessFlags.f_jetfix) return ER_SUCCESS;
  for (sgn32 r = 0; r < ds->nRows; r++) {
    sgn16 t;
    char* cell = Coldata_Cell(&ds->col[2], uint64_t(r));
    memcpy(&t, cell, 2);
    if (t == SQL_BIGINT) {
      t = SQL_NUMERIC;
      memcpy(cell, &t, 2);
    }
  }
  return ER_SUCCESS;
}

errcode_t ODBC_NativeSQL(handle_t hConnect, char* sql, char* buf, uns16 size, uns16* pLen) {
  if (pLen) *pLen = 0;
  _Connect* c = ODBC_ConnectRec(hConnect);
  if (!c || !sql || !buf) return ER_INVALID_ARGUMENT;
  if (c->unicode) {
    wchar_t* w = strdup_U8toW(sql);
    if (!w) return ER_NO_MEMORY;
    std::unique_ptr<wchar_t, decltype(&free)> win(w, &free);
    wchar_t* out = static_cast<wchar_t*>(calloc(size_t(size) + 1, sizeof(wchar_t)));
    if (!out) return ER_NO_MEMORY;
    std::unique_ptr<wchar_t, decltype(&free)> wout(out, &free);
    SQLINTEGER len = 0;
    errcode_t e = CheckConnErrors(c, "SQLNativeSqlW",
                                  SQLNativeSqlW(c->hDbc, reinterpret_cast<SQLWCHAR*>(w), SQL_NTS,
                                                reinterpret_cast<SQLWCHAR*>(out), size, &len));
    if (e != ER_SUCCESS) return e;
    unsigned short got = 0;
    if (StrCopyOut_WtoU8(out, buf, size, &got) != 0) return ER_DATA_TRUNCATED;
    if (pLen) *pLen = got;
    return ER_SUCCESS;
  }
  SQLINTEGER len = 0;
  errcode_t e = CheckConnErrors(c, "SQLNativeSql", SQLNativeSql(c->hDbc, (SQLCHAR*)sql, SQL_NTS, (SQLCHAR*)buf, size, &len));
  if (e == ER_SUCCESS && pLen) *pLen = uns16(len < 0 ? 0 : (len > 0xFFFF ? 0xFFFF : len));
  return e;
}
