// Catalog calls: run the ODBC catalog functions on a cursor and leave their
// result sets to be fetched like a query's; native SQL translation.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <vector>

#include "backend/backend.h"
#include "sqlucode.h"
#include "util/unicode.h"

namespace {

// Empty texts pass to the driver as null.
void EmptyToNull(std::initializer_list<String*> texts) {
  for (String* s : texts) {
    if (*s && !**s) {
      free(*s);
      *s = nullptr;
    }
  }
}

bool IsEmpty(const char* s) { return !s || !*s; }

SQLSMALLINT L(const char* s) { return s ? SQL_NTS : 0; }

// The narrow and the wide forms of the catalog functions. A form also turns a
// text argument into its character type, so each catalog call is written once
// and runs in whichever form the connection uses.
struct NarrowForm {
  static constexpr auto ColumnPrivileges = SQLColumnPrivileges;
  static constexpr auto Columns = SQLColumns;
  static constexpr auto ForeignKeys = SQLForeignKeys;
  static constexpr auto GetTypeInfo = SQLGetTypeInfo;
  static constexpr auto PrimaryKeys = SQLPrimaryKeys;
  static constexpr auto ProcedureColumns = SQLProcedureColumns;
  static constexpr auto Procedures = SQLProcedures;
  static constexpr auto SpecialColumns = SQLSpecialColumns;
  static constexpr auto Statistics = SQLStatistics;
  static constexpr auto TablePrivileges = SQLTablePrivileges;
  static constexpr auto Tables = SQLTables;
  SQLCHAR* operator()(const char* s) { return (SQLCHAR*)s; }
};

// Its wide copies of the text arguments live as long as the form.
struct WideForm {
  static constexpr auto ColumnPrivileges = SQLColumnPrivilegesW;
  static constexpr auto Columns = SQLColumnsW;
  static constexpr auto ForeignKeys = SQLForeignKeysW;
  static constexpr auto GetTypeInfo = SQLGetTypeInfoW;
  static constexpr auto PrimaryKeys = SQLPrimaryKeysW;
  static constexpr auto ProcedureColumns = SQLProcedureColumnsW;
  static constexpr auto Procedures = SQLProceduresW;
  static constexpr auto SpecialColumns = SQLSpecialColumnsW;
  static constexpr auto Statistics = SQLStatisticsW;
  static constexpr auto TablePrivileges = SQLTablePrivilegesW;
  static constexpr auto Tables = SQLTablesW;
  std::vector<wchar_t*> owned;
  ~WideForm() {
    for (auto* w : owned) free(w);
  }
  SQLWCHAR* operator()(const char* s) {
    if (!s) return nullptr;
    wchar_t* w = strdup_U8toW(s);
    owned.push_back(w);
    return reinterpret_cast<SQLWCHAR*>(w);
  }
};

// Runs `call` with the connection's form and opens the result set it leaves.
// `name` is the narrow function's; the wide one's ends in "W".
template <class Call>
errcode_t RunCatalog(_Cursor* pc, const char* name, Call call) {
  if (pc->pConnect->unicode) {
    WideForm w;
    char label[40];
    snprintf(label, sizeof label, "%sW", name);
    return FinishCatView(pc, label, call(w));
  }
  NarrowForm n;
  return FinishCatView(pc, name, call(n));
}

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

// The same for a call with an argument record, which must be there.
_Cursor* Begin(handle_t h, int cap, const void* args, errcode_t* pErr) {
  _Cursor* pc = Begin(h, cap, pErr);
  if (pc && !args) {
    *pErr = ER_INVALID_ARGUMENT;
    return nullptr;
  }
  return pc;
}

// Owner rule: with no owner usage, an owner of exactly "%" passes as null.
const char* PassedOwner(const _Cursor* pc, const char* owner) {
  if (GetCap(pc->pConnect, CAP_OWNER_USAGE) == 0 && owner && strcmp(owner, "%") == 0) return nullptr;
  return owner;
}

// A result set whose rows are adjusted on their way to the client.
errcode_t WithPostFetch(_Cursor* pc, errcode_t e, fetchProc_t proc, uns16 virtParam) {
  if (e == ER_SUCCESS) pc->fetchProc = proc, pc->virtParam = virtParam;
  return e;
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
  _Cursor* pc = Begin(h, CAP_COLUMNPRIVILEGES, a, &e);
  if (!pc) return e;
  EmptyToNull({&a->tableQualifier, &a->tableOwner});
  return RunCatalog(pc, "SQLColumnPrivileges", [&](auto& f) {
    return f.ColumnPrivileges(pc->hStmt, f(a->tableQualifier), L(a->tableQualifier), f(a->tableOwner),
                              L(a->tableOwner), f(a->tableName), L(a->tableName), f(a->columnName),
                              L(a->columnName));
  });
}

errcode_t ODBC_DDColumns(handle_t h, DDColumns* a) {
  errcode_t e;
  _Cursor* pc = Begin(h, -1, a, &e);
  if (!pc) return e;
  EmptyToNull({&a->tableQualifier, &a->tableOwner, &a->columnName});
  const char* owner = PassedOwner(pc, a->tableOwner);
  e = RunCatalog(pc, "SQLColumns", [&](auto& f) {
    return f.Columns(pc->hStmt, f(a->tableQualifier), L(a->tableQualifier), f(owner), L(owner),
                     f(a->tableName), L(a->tableName), f(a->columnName), L(a->columnName));
  });
  return WithPostFetch(pc, e, ColumnsPostFetch, 0);
}

errcode_t ODBC_DDForeignKeys(handle_t h, DDForeignKeys* a) {
  errcode_t e;
  _Cursor* pc = Begin(h, CAP_FOREIGNKEYS, a, &e);
  if (!pc) return e;
  EmptyToNull({&a->pkTableQualifier, &a->pkTableOwner, &a->fkTableQualifier, &a->fkTableOwner});
  return RunCatalog(pc, "SQLForeignKeys", [&](auto& f) {
    return f.ForeignKeys(pc->hStmt, f(a->pkTableQualifier), L(a->pkTableQualifier), f(a->pkTableOwner),
                         L(a->pkTableOwner), f(a->pkTableName), L(a->pkTableName), f(a->fkTableQualifier),
                         L(a->fkTableQualifier), f(a->fkTableOwner), L(a->fkTableOwner), f(a->fkTableName),
                         L(a->fkTableName));
  });
}

errcode_t ODBC_DDPrimaryKeys(handle_t h, DDPrimaryKeys* a) {
  errcode_t e;
  _Cursor* pc = Begin(h, CAP_PRIMARYKEYS, a, &e);
  if (!pc) return e;
  EmptyToNull({&a->tableQualifier, &a->tableOwner});
  return RunCatalog(pc, "SQLPrimaryKeys", [&](auto& f) {
    return f.PrimaryKeys(pc->hStmt, f(a->tableQualifier), L(a->tableQualifier), f(a->tableOwner),
                         L(a->tableOwner), f(a->tableName), L(a->tableName));
  });
}

errcode_t ODBC_DDProcedureColumns(handle_t h, DDProcedureColumns* a) {
  errcode_t e;
  _Cursor* pc = Begin(h, CAP_PROCEDURECOLUMNS, a, &e);
  if (!pc) return e;
  EmptyToNull({&a->procQualifier, &a->procOwner});
  const char* owner = PassedOwner(pc, a->procOwner);
  e = RunCatalog(pc, "SQLProcedureColumns", [&](auto& f) {
    return f.ProcedureColumns(pc->hStmt, f(a->procQualifier), L(a->procQualifier), f(owner), L(owner),
                              f(a->procName), L(a->procName), f(a->columnName), L(a->columnName));
  });
  return WithPostFetch(pc, e, ColumnsPostFetch, 1);
}

errcode_t ODBC_DDProcedures(handle_t h, DDProcedures* a) {
  errcode_t e;
  _Cursor* pc = Begin(h, CAP_PROCEDURES, a, &e);
  if (!pc) return e;
  EmptyToNull({&a->procQualifier, &a->procOwner});
  const char* owner = PassedOwner(pc, a->procOwner);
  return RunCatalog(pc, "SQLProcedures", [&](auto& f) {
    return f.Procedures(pc->hStmt, f(a->procQualifier), L(a->procQualifier), f(owner), L(owner),
                        f(a->procName), L(a->procName));
  });
}

errcode_t ODBC_DDSpecialColumns(handle_t h, DDSpecialColumns* a) {
  errcode_t e;
  _Cursor* pc = Begin(h, CAP_SPECIALCOLUMNS, a, &e);
  if (!pc) return e;
  EmptyToNull({&a->tableQualifier, &a->tableOwner});
  e = RunCatalog(pc, "SQLSpecialColumns", [&](auto& f) {
    return f.SpecialColumns(pc->hStmt, a->colType, f(a->tableQualifier), L(a->tableQualifier),
                            f(a->tableOwner), L(a->tableOwner), f(a->tableName), L(a->tableName), a->scope,
                            a->nullable);
  });
  return WithPostFetch(pc, e, SpecialColumnsPostFetch, 0);
}

errcode_t ODBC_DDStatistics(handle_t h, DDStatistics* a) {
  errcode_t e;
  _Cursor* pc = Begin(h, CAP_STATISTICS, a, &e);
  if (!pc) return e;
  EmptyToNull({&a->tableQualifier, &a->tableOwner});
  return RunCatalog(pc, "SQLStatistics", [&](auto& f) {
    return f.Statistics(pc->hStmt, f(a->tableQualifier), L(a->tableQualifier), f(a->tableOwner),
                        L(a->tableOwner), f(a->tableName), L(a->tableName), a->unique, a->accuracy);
  });
}

errcode_t ODBC_DDTablePrivileges(handle_t h, DDTablePrivileges* a) {
  errcode_t e;
  _Cursor* pc = Begin(h, CAP_TABLEPRIVILEGES, a, &e);
  if (!pc) return e;
  EmptyToNull({&a->tableQualifier, &a->tableOwner});
  return RunCatalog(pc, "SQLTablePrivileges", [&](auto& f) {
    return f.TablePrivileges(pc->hStmt, f(a->tableQualifier), L(a->tableQualifier), f(a->tableOwner),
                             L(a->tableOwner), f(a->tableName), L(a->tableName));
  });
}

errcode_t ODBC_DDTables(handle_t h, DDTables* a) {
  errcode_t e;
  _Cursor* pc = Begin(h, -1, a, &e);
  if (!pc) return e;
  auto call = [&](const char* q, const char* o, const char* n, const char* t) {
    return RunCatalog(pc, "SQLTables", [&](auto& f) {
      return f.Tables(pc->hStmt, f(q), L(q), f(o), L(o), f(n), L(n), f(t), L(t));
    });
  };
  const char *Q = a->tableQualifier, *O = a->tableOwner, *Nm = a->tableName, *T = a->tableType;
  auto isPct = [](const char* s) { return s && strcmp(s, "%") == 0; };
  // The three list requests: qualifiers, owners, table types.
  if (isPct(Q) && IsEmpty(O) && IsEmpty(Nm) && !isPct(T)) return call("%", "", "", nullptr);
  if (isPct(O) && IsEmpty(Q) && IsEmpty(Nm) && !isPct(T)) return call("", "%", "", nullptr);
  if (isPct(T) && IsEmpty(Q) && IsEmpty(O) && IsEmpty(Nm)) return call("", "", "", "%");
  EmptyToNull({&a->tableQualifier, &a->tableOwner, &a->tableName, &a->tableType});
  Q = a->tableQualifier, O = a->tableOwner, Nm = a->tableName, T = a->tableType;
  if (!Q && !O && !Nm && !T) return call(nullptr, nullptr, "%", nullptr);
  return call(Q, PassedOwner(pc, O), Nm, T);
}

errcode_t ODBC_DDTypeInfo(handle_t h, sgn16 sqlType) {
  errcode_t e;
  _Cursor* pc = Begin(h, -1, &e);
  if (!pc) return e;
  return RunCatalog(pc, "SQLGetTypeInfo", [&](auto& f) { return f.GetTypeInfo(pc->hStmt, sqlType); });
}

errcode_t ColumnsPostFetch(_Cursor* pc, Dataset* ds) {
  const int v = pc->virtParam;
  const bool wide = ds->nCols > 12;
  const int dt = 4 + v;    // DATA_TYPE, counted from 0
  const int sdt = 13 + v;  // SQL_DATA_TYPE
  if (wide) {
    if (sdt >= ds->nCols || dt >= ds->nCols || ds->col[sdt].cType != CTYPE_SGN16 ||
        ds->col[dt].cType != CTYPE_SGN16)
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
  errcode_t e = CheckConnErrors(c, "SQLNativeSql",
                                SQLNativeSql(c->hDbc, (SQLCHAR*)sql, SQL_NTS, (SQLCHAR*)buf, size, &len));
  if (e == ER_SUCCESS && pLen) *pLen = uns16(len < 0 ? 0 : (len > 0xFFFF ? 0xFFFF : len));
  return e;
}
