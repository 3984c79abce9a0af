// Data fidelity through the real sqlgate, the same cases on SQLite and on
// PostgreSQL: every cell is compared with the value inserted. Each database
// gives its own SQL for the values and what its driver declares; the test
// files of the two databases call the cases below.
#pragma once

#include <string>
#include <vector>

#include "agent_client.h"

namespace agent_test {

inline std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; i++) out += s;
  return out;
}

// True when s is well-formed UTF-8 (no surrogates, nothing above U+10FFFF).
inline bool IsUtf8(const std::string& s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  size_t i = 0, n = s.size();
  while (i < n) {
    unsigned char b = p[i];
    size_t len;
    uint32_t v;
    if (b < 0x80) {
      i++;
      continue;
    } else if (b >= 0xC2 && b < 0xE0) {
      len = 2, v = b & 0x1F;
    } else if (b >= 0xE0 && b < 0xF0) {
      len = 3, v = b & 0x0F;
    } else if (b >= 0xF0 && b < 0xF5) {
      len = 4, v = b & 0x07;
    } else {
      return false;
    }
    if (i + len > n) return false;
    for (size_t k = 1; k < len; k++) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
      v = (v << 6) | (p[i + k] & 0x3F);
    }
    if ((len == 3 && (v < 0x800 || (v >= 0xD800 && v <= 0xDFFF))) ||
        (len == 4 && (v < 0x10000 || v > 0x10FFFF)))
      return false;
    i += len;
  }
  return true;
}

inline const std::string kTokyo40 = Repeat("\xE6\x9D\xB1\xE4\xBA\xAC", 20);  // 40 characters, 120 bytes
inline const std::string kUmlauts =
    "\xC3\x84\xC3\x96\xC3\x9C\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F\xC3\xA9\xC3\xA8\xC3\xAA";
inline const std::string kGruss = "Gr\xC3\xBC\xC3\x9F";
inline const std::wstring kWideText = L"Gr\u00fc\u00dfe, \u6771\u4eac wide";
inline const std::string kWideTextUtf8 =
    "Gr\xC3\xBC\xC3\x9F"
    "e, \xE6\x9D\xB1\xE4\xBA\xAC wide";
inline const std::string kUnicodeSession = std::string("W\x7F\x01\x01", 4) + "u";

// What differs between the two databases.
struct FidelityDb {
  std::string connStr;         // DSN-less connection string
  std::string connStrPatient;  // the same, for a writer that waits at most two seconds for a lock
  std::string gruss;           // CHAR(10) holding kGruss, as the database gives it back
  std::string overlongType;    // a column type whose declared size the value below exceeds
  std::string overlongSql;     // the value, as SQL
  std::string overlongCut;     // what arrives of it
  std::string blobType;        // binary column type
  std::string blobSql;         // a binary value, as SQL
  std::string blob;            // its bytes
  size_t blobCutAtLeast;       // bytes that arrive of it without deferral
  bool alterChecksLock;        // the insert does not wait for a lock: an ALTER TABLE checks it
};

// The cases, on a running agent with a session (hServer) and a connection (hConn).
class FidelityCases {
 public:
  FidelityCases(AgentClient& cl, handle_t hServer, handle_t hConn, const FidelityDb& db)
      : cl_(cl), hServer_(hServer), hConn_(hConn), db_(db) {}

  handle_t Connect(const std::string& connStr, const std::string& svOptions = "") {
    handle_t h = 0;
    std::string fail;
    EXPECT_EQ(cl_.Connect(hServer_, nullptr, connStr.c_str(), &h, &fail, svOptions), ER_SUCCESS) << fail;
    return h;
  }

  void Recreate(const std::string& table, const std::string& columns, handle_t conn = 0) {
    conn = conn ? conn : hConn_;
    cl_.Exec(conn, "DROP TABLE IF EXISTS " + table);
    ASSERT_EQ(cl_.Exec(conn, "CREATE TABLE " + table + " (" + columns + ")"), ER_SUCCESS);
  }

  // Opens a cursor on a query; the caller ends it.
  handle_t Open(handle_t conn, const std::string& sql) {
    handle_t h = cl_.Cursor(conn);
    EXPECT_EQ(cl_.Prepare(h, sql), ER_SUCCESS) << cl_.Errors(h);
    EXPECT_EQ(cl_.Execute(h), ER_SUCCESS) << cl_.Errors(h);
    return h;
  }

  // Declared sizes count characters: every character arrives, on plain and
  // Unicode connections, row by row and in blocks, and nothing is said cut.
  void TextCellsHoldEveryCharacter() {
    Recreate("fm", "v VARCHAR(40), c CHAR(10), g CHAR(10)");
    ASSERT_EQ(
        cl_.Exec(hConn_, "INSERT INTO fm VALUES ('" + kTokyo40 + "', '" + kUmlauts + "', '" + kGruss + "')"),
        ER_SUCCESS);
    handle_t uni = Connect(db_.connStr, kUnicodeSession);
    for (handle_t conn : {hConn_, uni}) {
      for (uns16 block : {1, 100}) {
        SCOPED_TRACE((conn == uni ? "unicode, block " : "plain, block ") + std::to_string(block));
        handle_t h = Open(conn, "SELECT v, c, g FROM fm");
        EXPECT_EQ(cl_.FetchAll(h, block), (Rows{{kTokyo40, kUmlauts, db_.gruss}}));
        EXPECT_EQ(cl_.Errors(h), "");
        cl_.Simple(dbsvc_endcursor, h);
      }
    }
    cl_.Simple(dbsvc_endconnect, uni);
  }

  // A value longer than its cell is cut before a character and the cut is told
  // (01004) to the error-information call; the fetch itself succeeds.
  void CutValuesAreWholeAndTold() {
    Recreate("fc", "v " + db_.overlongType);
    ASSERT_EQ(cl_.Exec(hConn_, "INSERT INTO fc VALUES (" + db_.overlongSql + ")"), ER_SUCCESS);
    for (uns16 block : {1, 100}) {
      SCOPED_TRACE("block " + std::to_string(block));
      handle_t h = Open(hConn_, "SELECT v FROM fc");
      Rows rows;
      errcode_t e = ER_GENERAL_ERROR;
      ASSERT_EQ(cl_.Fetch(h, block, &rows, &e), 1);
      EXPECT_EQ(e, ER_SUCCESS);
      EXPECT_EQ(rows[0][0], db_.overlongCut);
      EXPECT_TRUE(IsUtf8(rows[0][0]));
      std::string errs = cl_.Errors(h);
      EXPECT_NE(errs.find("[SQLSTATE:01004]"), std::string::npos) << errs;
      cl_.Simple(dbsvc_endcursor, h);
    }
  }

  // Binary values (and long values whose size the driver does not know):
  // without deferral they arrive cut to the long-data cap or their cell and
  // the cut is told; with deferral they are read whole through the long-data
  // call. A NULL long value read in pieces is NULL, not empty.
  void BinaryAndNullLongValues() {
    Recreate("fb", "id INTEGER, x " + db_.blobType + ", t TEXT");
    ASSERT_EQ(cl_.Exec(hConn_, "INSERT INTO fb VALUES (1, " + db_.blobSql + ", NULL)"), ER_SUCCESS);
    handle_t h = Open(hConn_, "SELECT id, x, t FROM fb");
    Rows rows;
    ASSERT_EQ(cl_.Fetch(h, 10, &rows), 1);
    const std::string cut = rows[0][1];
    EXPECT_GE(cut.size(), db_.blobCutAtLeast);
    EXPECT_LT(cut.size(), db_.blob.size());
    EXPECT_TRUE(cut == db_.blob.substr(0, cut.size()));
    EXPECT_EQ(rows[0][2], "NULL");
    EXPECT_NE(cl_.Errors(h).find("[SQLSTATE:01004]"), std::string::npos);
    cl_.Simple(dbsvc_endcursor, h);

    handle_t deferring = Connect(db_.connStr);
    ASSERT_EQ(cl_.SetInt(deferring, 0x2201000f, 1), ER_SUCCESS);  // long values come later, in pieces
    h = Open(deferring, "SELECT id, x, t FROM fb");
    rows.clear();
    ASSERT_EQ(cl_.Fetch(h, 10, &rows), 1);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"1", "LONG", "LONG"}));
    errcode_t e = ER_GENERAL_ERROR;
    sgn32 remain = 0;
    std::string whole = cl_.GetLong(h, 2, 7000, &e, &remain);
    EXPECT_EQ(e, ER_SUCCESS);
    EXPECT_EQ(whole.size(), db_.blob.size());
    EXPECT_TRUE(whole == db_.blob);
    EXPECT_EQ(remain, sgn32(db_.blob.size()));
    EXPECT_EQ(cl_.GetLong(h, 3, 100, &e, &remain), "");
    EXPECT_EQ(e, ER_SUCCESS);
    EXPECT_EQ(remain, -1);
    cl_.Simple(dbsvc_endcursor, h);
    cl_.Simple(dbsvc_endconnect, deferring);
  }

  // A wide text parameter sent without a bind description keeps every character.
  void WideParameterWithoutBinding() {
    Recreate("fw", "t TEXT");
    handle_t uni = Connect(db_.connStr, kUnicodeSession);
    handle_t h = cl_.Cursor(uni);
    ASSERT_EQ(cl_.Prepare(h, "INSERT INTO fw VALUES (?)"), ER_SUCCESS) << cl_.Errors(h);
    Dataset ds{};
    Dataset_Init(&ds, 1);
    ds.nCols = 1;
    ds.col[0].cType = CTYPE_WLCHR;
    ds.col[0].width = 16;
    Dataset_AllocColumns(&ds, 1);
    c_wlchr cell{uns32(kWideText.size()),
                 static_cast<wchar_t*>(calloc(kWideText.size() + 1, sizeof(wchar_t)))};
    wmemcpy(cell.data, kWideText.c_str(), kWideText.size());
    memcpy(Coldata_Cell(&ds.col[0], 0), &cell, sizeof cell);
    ds.col[0].indicators[0] = 0;
    ds.nRows = 1;
    ASSERT_EQ(cl_.Parameters(h, &ds), ER_SUCCESS);
    Dataset_Done(&ds);
    ASSERT_EQ(cl_.Execute(h), ER_SUCCESS) << cl_.Errors(h);
    cl_.Simple(dbsvc_endcursor, h);
    EXPECT_EQ(cl_.Query(hConn_, "SELECT t FROM fw"), (Rows{{kWideTextUtf8}}));
    EXPECT_EQ(cl_.Query(uni, "SELECT t FROM fw"), (Rows{{kWideTextUtf8}}));
    cl_.Simple(dbsvc_endconnect, uni);
  }

  // A connection with auto-commit off ends with uncommitted work: the work is
  // rolled back and no lock stays behind for the other writers.
  void EndingAConnectionRollsBack() {
    Recreate("ft", "i INTEGER");
    handle_t writer = Connect(db_.connStr);
    ASSERT_EQ(cl_.SetInt(writer, 0x22030000, 0), ER_SUCCESS);  // auto-commit off
    ASSERT_EQ(cl_.Exec(writer, "INSERT INTO ft VALUES (1)"), ER_SUCCESS);
    ASSERT_EQ(cl_.Simple(dbsvc_endconnect, writer), ER_SUCCESS);
    CheckNothingLeftBehind("ft");
  }

  // After the writer's connection ended: the table is free and holds no row of it.
  void CheckNothingLeftBehind(const std::string& table) {
    handle_t other = Connect(db_.connStrPatient);
    if (db_.alterChecksLock) {
      EXPECT_EQ(cl_.Exec(other, "ALTER TABLE " + table + " ADD COLUMN x INTEGER"), ER_SUCCESS)
          << cl_.Errors(other);
    }
    EXPECT_EQ(cl_.Exec(other, "INSERT INTO " + table + " VALUES (2)"), ER_SUCCESS) << cl_.Errors(other);
    EXPECT_EQ(cl_.Query(other, "SELECT i FROM " + table), (Rows{{"2"}}));
    cl_.Simple(dbsvc_endconnect, other);
  }

 private:
  AgentClient& cl_;
  handle_t hServer_, hConn_;
  const FidelityDb& db_;
};

// The end of the last server session ends its connections the same way. Needs
// an agent whose only session is hServer; leaves a new session in *pServer.
inline void LastSessionEndRollsBack(AgentClient& cl, handle_t* pServer, const FidelityDb& db) {
  std::string fail;
  handle_t writer = 0;
  ASSERT_EQ(cl.Connect(*pServer, nullptr, db.connStr.c_str(), &writer, &fail), ER_SUCCESS) << fail;
  cl.Exec(writer, "DROP TABLE IF EXISTS fs");
  ASSERT_EQ(cl.Exec(writer, "CREATE TABLE fs (i INTEGER)"), ER_SUCCESS);
  ASSERT_EQ(cl.SetInt(writer, 0x22030000, 0), ER_SUCCESS);  // auto-commit off
  ASSERT_EQ(cl.Exec(writer, "INSERT INTO fs VALUES (1)"), ER_SUCCESS);
  ASSERT_EQ(cl.Simple(dbsvc_endserver, *pServer), ER_SUCCESS);
  *pServer = cl.Server();
  ASSERT_EQ(cl.AgentName(*pServer), "odbc");
  handle_t conn = 0;
  ASSERT_EQ(cl.Connect(*pServer, nullptr, db.connStr.c_str(), &conn, &fail), ER_SUCCESS) << fail;
  FidelityCases(cl, *pServer, conn, db).CheckNothingLeftBehind("fs");
}

}  // namespace agent_test
