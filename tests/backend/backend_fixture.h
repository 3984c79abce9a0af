// A backend session against a real driver: temporary ini files and database,
// a server session, one connection, and helpers that run SQL and read results
// through the backend's operations.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "backend/backend.h"
#include "fixtures/support/odbc_config.h"
#include "fixtures/support/support.h"

namespace backend_test {

using test_support::kPgDriver;
using test_support::kSqliteDriver;

// Points every configuration path of the driver manager at a temporary folder.
inline void UseTempConfig(const test_support::TempDir& dir) {
  test_support::set_odbc_config_in(dir.path());
  test_support::write_file(dir.file("odbcinst.ini"), std::string("[SQLite3]\nDriver=") + kSqliteDriver +
                                                         "\n\n[PostgreSQL]\nDriver=" + kPgDriver + "\n");
}

// A cell as text, for comparisons ("NULL" for a NULL cell).
inline std::string CellString(const Dataset& ds, int col, int row) {
  const Coldata& c = ds.col[col];
  if (c.indicators[row] == -1) return "NULL";
  if (c.indicators[row] == -3) return "LONG";
  const char* cell = Coldata_Cell(&c, uint64_t(row));
  switch (c.cType) {
    case CTYPE_SGN32: {
      sgn32 v;
      memcpy(&v, cell, 4);
      return std::to_string(v);
    }
    case CTYPE_SGN16: {
      sgn16 v;
      memcpy(&v, cell, 2);
      return std::to_string(v);
    }
    case CTYPE_FLT64: {
      double v;
      memcpy(&v, cell, 8);
      char b[64];
      snprintf(b, sizeof b, "%.17g", v);
      return b;
    }
    case CTYPE_VCHR:
      return std::string(cell, strnlen(cell, c.width));
    case CTYPE_VCHR32:
    case CTYPE_VBIN32: {
      uns32 n;
      memcpy(&n, cell, 4);
      return std::string(cell + 4, n);
    }
    default:
      return "?";
  }
}

class BackendSession : public ::testing::Test {
 protected:
  test_support::TempDir dir;
  handle_t hServer = 0;
  handle_t hConn = 0;

  std::string ConnStr() const {
    return std::string("DRIVER=") + kSqliteDriver + ";Database=" + dir.file("test.db");
  }

  void SetUp() override {
    UseTempConfig(dir);
    ASSERT_EQ(ODBC_Server(nullptr, &hServer), ER_SUCCESS);
    char buf[16];
    ASSERT_EQ(ODBC_GetDrvParameter(hServer, 0x11010000, buf, sizeof buf, nullptr), ER_SUCCESS);
    ASSERT_EQ(Connect(ConnStr(), &hConn), ER_SUCCESS) << ServerErrors();
  }
  void TearDown() override {
    while (numServers > 0) ODBC_EndServer(hServer);
  }

  errcode_t Connect(const std::string& connStr, handle_t* ph, const char* dsn = nullptr, int readOnly = 0,
                    const char* svOptions = nullptr) {
    ::Connect rec{};
    rec.svOptions = svOptions ? strdup(svOptions) : nullptr;
    rec.dbOptions = connStr.empty() ? nullptr : strdup(connStr.c_str());
    rec.dbPath = dsn ? strdup(dsn) : nullptr;
    rec.readOnly = readOnly;
    errcode_t e = ODBC_Connect(hServer, &rec, ph);
    Connect_Done(&rec);
    return e;
  }

  std::string Errors(handle_t h) {
    std::string out;
    ErrInfo info{};
    if (ODBC_ErrInfo(h, &info) != ER_SUCCESS) return out;
    for (unsigned i = 0; i < info.messageCount; i++)
      out += std::string(info.messages[i] ? info.messages[i] : "") + "\n";
    ErrInfo_Done(&info);
    return out;
  }
  std::string ServerErrors() { return Errors(hServer); }

  handle_t NewCursor(handle_t conn = 0) {
    handle_t h = 0;
    EXPECT_EQ(ODBC_Cursor(conn ? conn : hConn, &h), ER_SUCCESS);
    return h;
  }

  errcode_t Exec(const std::string& sql, handle_t conn = 0) {
    handle_t h = NewCursor(conn);
    errcode_t e = ODBC_Prepare(h, const_cast<char*>(sql.c_str()));
    if (e == ER_SUCCESS) e = ODBC_Execute(h);
    ODBC_EndCursor(h);
    return e;
  }

  // Every row of the cursor's result, fetched maxRows at a time, as text.
  std::vector<std::vector<std::string>> FetchAll(handle_t h, uns16 maxRows = 100) {
    std::vector<std::vector<std::string>> rows;
    for (int guard = 0; guard < 100000; guard++) {
      Dataset ds{};
      errcode_t e = ODBC_Fetch(h, maxRows, &ds);
      EXPECT_EQ(e, ER_SUCCESS);
      if (e != ER_SUCCESS || ds.nRows == 0) {
        Dataset_Done(&ds);
        break;
      }
      for (int r = 0; r < ds.nRows; r++) {
        std::vector<std::string> row;
        for (int c = 0; c < ds.nCols; c++) row.push_back(CellString(ds, c, r));
        rows.push_back(row);
      }
      Dataset_Done(&ds);
    }
    return rows;
  }

  // A Unicode connection (the client's 'W', 0x7F, 0x01, 0x01 server options).
  errcode_t ConnectUnicode(const std::string& connStr, handle_t* ph) {
    return Connect(connStr, ph, nullptr, 0, "W\x7F\x01\x01u");
  }

  // Reads a column of the current row through the long-data call in pieces
  // until an empty one; *firstRemain gets the first call's remaining length.
  std::string GetLong(handle_t h, sgn32 col, precision_t piece, sgn32* firstRemain = nullptr) {
    std::string all;
    for (int call = 0; call < 100000; call++) {
      char* data = nullptr;
      precision_t len = 0;
      ctype_t ct;
      sgn32 remain = 0;
      EXPECT_EQ(ODBC_GetData(h, col, 0, piece, &data, &len, &ct, &remain), ER_SUCCESS) << Errors(h);
      if (call == 0 && firstRemain) *firstRemain = remain;
      if (len) all.append(data, len);
      free(data);
      if (len == 0) break;
    }
    return all;
  }

  // The query's rows on each connection, fetched one row at a time and in
  // blocks, are `want`, and no diagnostic waits on the cursor.
  void ExpectRowsEverywhere(const std::string& sql, const std::vector<handle_t>& conns,
                            const std::vector<std::vector<std::string>>& want) {
    for (handle_t conn : conns) {
      for (uns16 block : {1, 100}) {
        SCOPED_TRACE("connection " + std::to_string(conn) + ", block " + std::to_string(block));
        handle_t h = NewCursor(conn);
        ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>(sql.c_str())), ER_SUCCESS) << Errors(h);
        ASSERT_EQ(ODBC_Execute(h), ER_SUCCESS) << Errors(h);
        EXPECT_EQ(FetchAll(h, block), want);
        EXPECT_EQ(Errors(h), "");
        ODBC_EndCursor(h);
      }
    }
  }

  std::vector<std::vector<std::string>> Query(const std::string& sql, uns16 maxRows = 100,
                                              handle_t conn = 0) {
    handle_t h = NewCursor(conn);
    EXPECT_EQ(ODBC_Prepare(h, const_cast<char*>(sql.c_str())), ER_SUCCESS) << Errors(h);
    EXPECT_EQ(ODBC_Execute(h), ER_SUCCESS) << Errors(h);
    auto rows = FetchAll(h, maxRows);
    ODBC_EndCursor(h);
    return rows;
  }
};

inline std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; i++) out += s;
  return out;
}

// A heap dataset of one SGN32 column and one VCHR column, for parameters.
inline Dataset* IntTextParams(const std::vector<std::pair<int, const char*>>& rows,
                              precision_t textLen = 20) {
  Dataset* ds = static_cast<Dataset*>(calloc(1, sizeof(Dataset)));
  Dataset_Init(ds, 2);
  ds->nCols = 2;
  ds->col[0].cType = CTYPE_SGN32;
  ds->col[0].width = 4;
  ds->col[1].cType = CTYPE_VCHR;
  ds->col[1].width = Dataset_SizeCol(CTYPE_VCHR, textLen);
  Dataset_AllocColumns(ds, sgn32(rows.size()));
  for (size_t r = 0; r < rows.size(); r++) {
    memcpy(Coldata_Cell(&ds->col[0], r), &rows[r].first, 4);
    ds->col[0].indicators[r] = 0;
    if (rows[r].second) {
      strncpy(Coldata_Cell(&ds->col[1], r), rows[r].second, textLen);
      ds->col[1].indicators[r] = 0;
    }
  }
  ds->nRows = sgn32(rows.size());
  return ds;
}

}  // namespace backend_test
