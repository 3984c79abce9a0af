// The catalog calls of the end-to-end tests as one table for both drivers: each
// case makes one call on a cursor and checks the rows the client fetches, alike
// for SQLite and PostgreSQL where the drivers agree. The tests first create the
// tables of kCatalogTables on the connection.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "agent_client.h"

namespace agent_test {

inline const char* const kCatalogTables[] = {"CREATE TABLE e2e_cat (k INTEGER PRIMARY KEY, v VARCHAR(5))",
                                             "CREATE TABLE e2e_ref (r INTEGER REFERENCES e2e_cat (k))"};

enum class CatalogDriver { kSqlite, kPostgres };

struct CatalogE2ECase {
  const char* name;
  errcode_t (*call)(AgentClient& cl, handle_t h);
  void (*check)(const Rows& rows, CatalogDriver d);
};

// Whether some row has text in column col.
inline bool AnyRowHas(const Rows& rows, size_t col, const std::string& text) {
  for (const auto& r : rows)
    if (r.size() > col && r[col] == text) return true;
  return false;
}

inline const CatalogE2ECase kCatalogE2ECases[] = {
    {"tables by pattern",
     [](AgentClient& cl, handle_t h) {
       DDTables a{};
       a.tableName = const_cast<char*>("e2e_c%");
       return cl.Call(dbsvc_tables, call_tables{h, &a});
     },
     [](const Rows& rows, CatalogDriver) {
       ASSERT_EQ(rows.size(), 1u);
       EXPECT_EQ(rows[0][2], "e2e_cat");
     }},
    {"columns",
     [](AgentClient& cl, handle_t h) {
       DDColumns a{};
       a.tableName = const_cast<char*>("e2e_cat");
       return cl.Call(dbsvc_columns, call_columns{h, &a});
     },
     [](const Rows& rows, CatalogDriver) {
       ASSERT_EQ(rows.size(), 2u);
       EXPECT_EQ(rows[0][3], "k");
       EXPECT_EQ(rows[1][3], "v");
     }},
    {"primary keys",
     [](AgentClient& cl, handle_t h) {
       DDPrimaryKeys a{};
       a.tableName = const_cast<char*>("e2e_cat");
       return cl.Call(dbsvc_primarykeys, call_primarykeys{h, &a});
     },
     [](const Rows& rows, CatalogDriver) {
       ASSERT_EQ(rows.size(), 1u);
       EXPECT_EQ(rows[0][3], "k");
     }},
    {"type information",
     [](AgentClient& cl, handle_t h) {
       return cl.Call(dbsvc_typeinfo, call_typeinfo{h, 0});
     },
     [](const Rows& rows, CatalogDriver) { EXPECT_GT(rows.size(), 5u); }},
    {"unique indexes",
     [](AgentClient& cl, handle_t h) {
       DDStatistics a{};
       a.tableName = const_cast<char*>("e2e_cat");
       a.unique = 1;
       return cl.Call(dbsvc_statistics, call_statistics{h, &a});
     },
     [](const Rows& rows, CatalogDriver) { EXPECT_TRUE(AnyRowHas(rows, 8, "k")); }},
    {"row version columns",
     [](AgentClient& cl, handle_t h) {
       DDSpecialColumns a{};
       a.tableName = const_cast<char*>("e2e_cat");
       a.colType = 2;  // row version
       a.scope = 0;
       a.nullable = 1;
       return cl.Call(dbsvc_specialcolumns, call_specialcolumns{h, &a});
     },
     [](const Rows& rows, CatalogDriver d) {
       if (d == CatalogDriver::kSqlite) {
         EXPECT_TRUE(rows.empty());  // SQLite keeps no row versions
         return;
       }
       ASSERT_EQ(rows.size(), 1u);
       EXPECT_EQ(rows[0][1], "xmin");
     }},
    {"foreign keys",
     [](AgentClient& cl, handle_t h) {
       DDForeignKeys a{};
       a.fkTableName = const_cast<char*>("e2e_ref");
       return cl.Call(dbsvc_foreignkeys, call_foreignkeys{h, &a});
     },
     [](const Rows& rows, CatalogDriver) {
       ASSERT_EQ(rows.size(), 1u);
       EXPECT_EQ(rows[0][2], "e2e_cat");
       EXPECT_EQ(rows[0][7], "r");
     }},
    {"table privileges",
     [](AgentClient& cl, handle_t h) {
       DDTablePrivileges a{};
       a.tableName = const_cast<char*>("e2e_cat");
       return cl.Call(dbsvc_tableprivileges, call_tableprivileges{h, &a});
     },
     [](const Rows& rows, CatalogDriver) {
       ASSERT_FALSE(rows.empty());
       EXPECT_EQ(rows[0][2], "e2e_cat");
     }},
    {"procedures",
     [](AgentClient& cl, handle_t h) {
       DDProcedures a{};
       return cl.Call(dbsvc_procedures, call_procedures{h, &a});
     },
     [](const Rows&, CatalogDriver) {}},  // answered and fetched; what a data source lists varies
};

// Runs every case on one cursor of hConn.
inline void RunCatalogCases(AgentClient& cl, handle_t hConn, CatalogDriver d) {
  handle_t h = cl.Cursor(hConn);
  for (const CatalogE2ECase& c : kCatalogE2ECases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.call(cl, h), ER_SUCCESS) << cl.Errors(h);
    c.check(cl.FetchAll(h, 50), d);
  }
  cl.Simple(dbsvc_endcursor, h);
}

}  // namespace agent_test
