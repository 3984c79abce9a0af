// Every catalog call of the backend with the arguments that pick its special
// cases, for tests that run them on a plain and on a Unicode connection: the
// narrow and the wide driver calls must answer alike.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "backend_fixture.h"
#include "sqlext.h"

namespace backend_test {

// The server options that ask for a Unicode session.
constexpr const char* kUnicodeSession = "W\x7F\x01\x01";

struct CatalogCase {
  const char* name;
  // Runs the call on cursor h; `table` names the test's table.
  errcode_t (*run)(handle_t h, const char* table);
};

namespace catalog_detail {

inline String Dup(const char* s) { return s ? strdup(s) : nullptr; }

inline void Free(std::initializer_list<String> texts) {
  for (String s : texts) free(s);
}
// The call may free and null the texts it reads as empty: what is left is freed here.
inline void Free(DDTables& a) { Free({a.tableQualifier, a.tableOwner, a.tableName, a.tableType}); }
inline void Free(DDColumns& a) { Free({a.tableQualifier, a.tableOwner, a.tableName, a.columnName}); }
inline void Free(DDColumnPrivileges& a) { Free({a.tableQualifier, a.tableOwner, a.tableName, a.columnName}); }
inline void Free(DDForeignKeys& a) {
  Free(
      {a.pkTableQualifier, a.pkTableOwner, a.pkTableName, a.fkTableQualifier, a.fkTableOwner, a.fkTableName});
}
inline void Free(DDPrimaryKeys& a) { Free({a.tableQualifier, a.tableOwner, a.tableName}); }
inline void Free(DDProcedureColumns& a) { Free({a.procQualifier, a.procOwner, a.procName, a.columnName}); }
inline void Free(DDProcedures& a) { Free({a.procQualifier, a.procOwner, a.procName}); }
inline void Free(DDSpecialColumns& a) { Free({a.tableQualifier, a.tableOwner, a.tableName}); }
inline void Free(DDStatistics& a) { Free({a.tableQualifier, a.tableOwner, a.tableName}); }
inline void Free(DDTablePrivileges& a) { Free({a.tableQualifier, a.tableOwner, a.tableName}); }

template <class Rec>
errcode_t Run(errcode_t (*op)(handle_t, Rec*), handle_t h, Rec a) {
  errcode_t e = op(h, &a);
  Free(a);
  return e;
}

}  // namespace catalog_detail

inline const CatalogCase kCatalogCases[] = {
    // DDTables: the three list requests, everything, and the ordinary search.
    {"tables: everything",
     [](handle_t h, const char*) { return catalog_detail::Run(ODBC_DDTables, h, DDTables{}); }},
    {"tables: qualifier list",
     [](handle_t h, const char*) {
       using catalog_detail::Dup;
       return catalog_detail::Run(ODBC_DDTables, h, DDTables{Dup("%"), Dup(""), nullptr, nullptr});
     }},
    {"tables: owner list",
     [](handle_t h, const char*) {
       using catalog_detail::Dup;
       return catalog_detail::Run(ODBC_DDTables, h, DDTables{nullptr, Dup("%"), Dup(""), nullptr});
     }},
    {"tables: type list",
     [](handle_t h, const char*) {
       using catalog_detail::Dup;
       return catalog_detail::Run(ODBC_DDTables, h, DDTables{nullptr, nullptr, nullptr, Dup("%")});
     }},
    {"tables: by name, empty texts",
     [](handle_t h, const char* t) {
       using catalog_detail::Dup;
       return catalog_detail::Run(ODBC_DDTables, h, DDTables{Dup(""), Dup(""), Dup(t), Dup("")});
     }},
    {"tables: owner %",
     [](handle_t h, const char* t) {
       using catalog_detail::Dup;
       return catalog_detail::Run(ODBC_DDTables, h, DDTables{nullptr, Dup("%"), Dup(t), Dup("TABLE")});
     }},
    {"columns",
     [](handle_t h, const char* t) {
       using catalog_detail::Dup;
       return catalog_detail::Run(ODBC_DDColumns, h, DDColumns{Dup(""), Dup("%"), Dup(t), Dup("")});
     }},
    {"column privileges",
     [](handle_t h, const char* t) {
       using catalog_detail::Dup;
       return catalog_detail::Run(ODBC_DDColumnPrivileges, h,
                                  DDColumnPrivileges{Dup(""), Dup(""), Dup(t), Dup("%")});
     }},
    {"foreign keys",
     [](handle_t h, const char* t) {
       using catalog_detail::Dup;
       return catalog_detail::Run(ODBC_DDForeignKeys, h,
                                  DDForeignKeys{Dup(""), Dup(""), Dup(t), nullptr, nullptr, nullptr});
     }},
    {"primary keys",
     [](handle_t h, const char* t) {
       using catalog_detail::Dup;
       return catalog_detail::Run(ODBC_DDPrimaryKeys, h, DDPrimaryKeys{Dup(""), Dup(""), Dup(t)});
     }},
    {"procedure columns",
     [](handle_t h, const char*) {
       using catalog_detail::Dup;
       return catalog_detail::Run(ODBC_DDProcedureColumns, h,
                                  DDProcedureColumns{Dup(""), Dup("%"), Dup("%"), Dup("%")});
     }},
    {"procedures",
     [](handle_t h, const char*) {
       using catalog_detail::Dup;
       return catalog_detail::Run(ODBC_DDProcedures, h, DDProcedures{Dup(""), Dup("%"), Dup("%")});
     }},
    {"special columns",
     [](handle_t h, const char* t) {
       using catalog_detail::Dup;
       return catalog_detail::Run(
           ODBC_DDSpecialColumns, h,
           DDSpecialColumns{Dup(""), Dup(""), Dup(t), SQL_BEST_ROWID, SQL_SCOPE_SESSION, SQL_NULLABLE});
     }},
    {"statistics",
     [](handle_t h, const char* t) {
       using catalog_detail::Dup;
       return catalog_detail::Run(ODBC_DDStatistics, h,
                                  DDStatistics{Dup(""), Dup(""), Dup(t), SQL_INDEX_ALL, SQL_QUICK});
     }},
    {"table privileges",
     [](handle_t h, const char* t) {
       using catalog_detail::Dup;
       return catalog_detail::Run(ODBC_DDTablePrivileges, h, DDTablePrivileges{Dup(""), Dup(""), Dup(t)});
     }},
    {"type info", [](handle_t h, const char*) { return ODBC_DDTypeInfo(h, SQL_VARCHAR); }},
};

// A session that can read back a catalog call's whole answer.
class CatalogSession : public BackendSession {
 protected:
  // The call's code and, on success, every row as text, on a new cursor of conn.
  // Rows are sorted: rows that tie on a catalog's order columns (PostgreSQL's
  // overloaded procedures) come in any order from one call to the next.
  std::string CatalogAnswer(const CatalogCase& c, const char* table, handle_t conn = 0) {
    handle_t h = NewCursor(conn);
    errcode_t e = c.run(h, table);
    std::string out = "code " + std::to_string(e) + "\n";
    if (e == ER_SUCCESS) {
      std::vector<std::string> rows;
      for (auto& row : FetchAll(h)) {
        std::string line;
        for (auto& cell : row) line += cell + "|";
        rows.push_back(line + "\n");
      }
      std::sort(rows.begin(), rows.end());
      for (auto& line : rows) out += line;
    }
    ODBC_EndCursor(h);
    return out;
  }
};

}  // namespace backend_test
