// SQLGetDiagRec and SQLGetDiagField on the fake drivers: record numbering across the
// manager's records and the driver's, the header fields, every record field of a manager
// record and of a driver record (through SQLGetDiagField, and through a consuming SQLError
// for an ODBC 2 driver), conversions between widths, and reading that never adds records.

#include <gtest/gtest.h>

#include "dm/odbc3_test_util.h"

namespace {

using namespace odbc3test;

std::string field_text(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLSMALLINT id,
                       SQLRETURN* rc = nullptr, SQLSMALLINT buf_len = 64, SQLSMALLINT* len = nullptr) {
  char buf[64] = "";
  SQLSMALLINT n = -1;
  SQLRETURN r = SQLGetDiagField(type, h, rec, id, buf, buf_len, &n);
  if (rc != nullptr) *rc = r;
  if (len != nullptr) *len = n;
  return buf;
}

class DiagRecords : public Odbc3Test {
 protected:
  // A failed execution (the driver's record) and three records of the manager's own after it.
  void fail_with_records(const char* variant) {
    open_fake(variant);
    fake->set("rc:ExecDirect", SQL_ERROR);
    ASSERT_EQ(SQLExecDirect(stmt, S("SELECT a"), SQL_NTS), SQL_ERROR);
    _zolandm_diag_add(stmt, ZOLANDM_E_24000);
    _zolandm_diag_add(stmt, ZOLANDM_E_HY009);
    _zolandm_diag_add(stmt, ZOLANDM_E_IM015);
  }
};

TEST_F(DiagRecords, ManagerRecordsFirstOldestFirstThenTheDrivers) {
  fail_with_records("odbc3");
  SQLRETURN last = 0;
  auto recs = diag_recs(SQL_HANDLE_STMT, stmt, false, &last);
  ASSERT_EQ(recs.size(), 4u);
  EXPECT_EQ(recs[0].state, "24000");
  EXPECT_EQ(recs[0].text, "[Zolan][Driver Manager]Invalid cursor state");
  EXPECT_EQ(recs[0].native, 0);
  EXPECT_EQ(recs[1].state, "HY009");
  EXPECT_EQ(recs[2].state, "IM015");
  EXPECT_EQ(recs[3].state, "HY000");
  EXPECT_EQ(recs[3].native, 1);
  EXPECT_EQ(recs[3].text, "[fake]ExecDirect failed");
  EXPECT_EQ(last, SQL_NO_DATA);
  // Reading removes nothing; SQLError removes the newest manager record, and the numbers of
  // those left stay.
  EXPECT_EQ(diag_recs(SQL_HANDLE_STMT, stmt).size(), 4u);
  SQLCHAR state[6];
  SQLCHAR msg[128];
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLError(nullptr, nullptr, stmt, state, nullptr, msg, sizeof msg, &len), SQL_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(state), "IM015");
  EXPECT_EQ(diag_states(SQL_HANDLE_STMT, stmt), (std::vector<std::string>{"24000", "HY009", "HY000"}));
  // A driver read is the handle's last return code.
  SQLSMALLINT rc = -99;
  ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_RETURNCODE, &rc, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(rc, SQL_NO_DATA);
}

TEST_F(DiagRecords, ArgumentsAreCheckedFirst) {
  SQLCHAR state[6];
  SQLINTEGER native = 0;
  EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_ENV, nullptr, 0, state, &native, nullptr, 0, nullptr), SQL_ERROR);
  EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_ENV, nullptr, 1, state, &native, nullptr, -1, nullptr), SQL_ERROR);
  EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_ENV, nullptr, 1, state, &native, nullptr, 0, nullptr),
            SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLGetDiagRec(7, nullptr, 1, state, &native, nullptr, 0, nullptr), SQL_INVALID_HANDLE);
  open_env();
  EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_DBC, env, 1, state, &native, nullptr, 0, nullptr), SQL_INVALID_HANDLE);
  SQLINTEGER n = 0;
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_ENV, env, -1, SQL_DIAG_SQLSTATE, state, 6, nullptr), SQL_ERROR);
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_ENV, env, 0, 99, &n, 0, nullptr), SQL_ERROR);
  // A connection without a driver has no records past the manager's.
  _zolandm_diag_add(dbc, ZOLANDM_E_08003);
  EXPECT_EQ(diag_states(SQL_HANDLE_DBC, dbc), std::vector<std::string>{"08003"});
  EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 2, state, &native, nullptr, 0, nullptr), SQL_ERROR);
  EXPECT_EQ(_zolandm_diag_count(dbc), 1) << "reading added nothing";
}

TEST_F(DiagRecords, HeaderFields) {
  open_env();
  _zolandm_diag_add(env, ZOLANDM_E_HY010);
  _zolandm_diag_add(env, ZOLANDM_E_HY092);
  SQLINTEGER n = 0;
  ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_ENV, env, 0, SQL_DIAG_NUMBER, &n, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_ENV, env, 0, SQL_DIAG_NUMBER, nullptr, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_ENV, env, 3, nullptr, nullptr, nullptr, 0, nullptr), SQL_NO_DATA);
  // The statement fields belong to an executed statement only.
  SQLLEN count = 0;
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_ENV, env, 0, SQL_DIAG_ROW_COUNT, &count, 0, nullptr), SQL_ERROR);
  EXPECT_EQ(_zolandm_diag_count(env), 2);

  // A connection whose driver has two records of its own and the manager one.
  ini.odbc_ini("[fake]\nDriver = " + dmtest::fake_driver("odbc3") + "\n");
  {
    dmtest::ScopedEnv refuse("FAKEDRV_CONNECT_RC", "-1");
    ASSERT_EQ(SQLConnect(dbc, S("fake"), SQL_NTS, S("u"), SQL_NTS, S("p"), SQL_NTS), SQL_ERROR);
  }
  _zolandm_diag_add(dbc, ZOLANDM_E_01004);
  ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, dbc, 0, SQL_DIAG_NUMBER, &n, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(diag_states(SQL_HANDLE_DBC, dbc), (std::vector<std::string>{"01004", "08001", "01000"}));
  SQLSMALLINT rc = 0;
  ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, dbc, 0, SQL_DIAG_RETURNCODE, &rc, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(rc, SQL_NO_DATA) << "the last driver read";
}

TEST_F(DiagRecords, StatementHeaderFields) {
  for (const char* variant : {"odbc3", "odbc2"}) {
    SCOPED_TRACE(variant);
    open_fake(variant);
    ASSERT_EQ(SQLPrepare(stmt, S("INSERT x"), SQL_NTS), SQL_SUCCESS);
    SQLLEN count = 0;
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_ROW_COUNT, &count, 0, nullptr), SQL_ERROR);
    ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS);
    ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_ROW_COUNT, &count, 0, nullptr), SQL_SUCCESS);
    // From the driver's own field, or its SQLRowCount.
    EXPECT_EQ(count, std::string(variant) == "odbc3" ? 4 : 1);
    EXPECT_EQ(_zolandm_diag_count(stmt), 0);
    TearDown();
    stmt = nullptr;
    dbc = nullptr;
    env = nullptr;
  }
}

TEST_F(DiagRecords, HeaderFieldsWhateverTheRecordNumber) {
  open_fake("odbc3");
  ASSERT_EQ(SQLExecDirect(stmt, S("INSERT x"), SQL_NTS), SQL_SUCCESS);
  _zolandm_diag_add(stmt, ZOLANDM_E_01004);
  struct Answer {
    SQLRETURN rc;
    SQLLEN value;
    std::string text;
    bool operator==(const Answer&) const = default;
  };
  auto ask = [&](SQLSMALLINT rec, SQLSMALLINT id) {
    Answer a{};
    char buf[32] = "";
    a.rc = id == SQL_DIAG_DYNAMIC_FUNCTION
               ? SQLGetDiagField(SQL_HANDLE_STMT, stmt, rec, id, buf, sizeof buf, nullptr)
               : SQLGetDiagField(SQL_HANDLE_STMT, stmt, rec, id, &a.value, 0, nullptr);
    a.text = buf;
    return a;
  };
  for (SQLSMALLINT id : {SQL_DIAG_NUMBER, SQL_DIAG_RETURNCODE, SQL_DIAG_ROW_COUNT, SQL_DIAG_CURSOR_ROW_COUNT,
                         SQL_DIAG_DYNAMIC_FUNCTION, SQL_DIAG_DYNAMIC_FUNCTION_CODE}) {
    SCOPED_TRACE(id);
    const Answer header = ask(0, id);
    for (SQLSMALLINT rec : {1, 2, 5}) EXPECT_EQ(ask(rec, id), header) << "record " << rec;
  }
  EXPECT_EQ(ask(3, SQL_DIAG_NUMBER).value, 1);
  EXPECT_EQ(ask(1, SQL_DIAG_ROW_COUNT).value, 4);
  EXPECT_EQ(ask(1, SQL_DIAG_DYNAMIC_FUNCTION).text, "SELECT CURSOR");
}

TEST_F(DiagRecords, ManagerRecordFields) {
  open_fake("odbc3");
  struct Case {
    int code;
    const char* state;
    const char* origin;
  } cases[] = {{ZOLANDM_E_IM015, "IM015", "ODBC 3.0"}, {ZOLANDM_E_HY009, "HY009", "ODBC 3.0"},
               {ZOLANDM_E_S1010, "S1010", "ISO 9075"}, {ZOLANDM_E_08003, "08003", "ISO 9075"},
               {ZOLANDM_E_01004, "01004", "ISO 9075"}, {ZOLANDM_E_S1009, "HY009", "ISO 9075"}};
  for (const Case& c : cases) _zolandm_diag_add(stmt, c.code);
  SQLSMALLINT k = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    EXPECT_EQ(field_text(SQL_HANDLE_STMT, stmt, k, SQL_DIAG_SQLSTATE), c.state);
    EXPECT_EQ(field_text(SQL_HANDLE_STMT, stmt, k, SQL_DIAG_CLASS_ORIGIN), c.origin);
    EXPECT_EQ(field_text(SQL_HANDLE_STMT, stmt, k, SQL_DIAG_SUBCLASS_ORIGIN), c.origin);
    ++k;
  }
  // The message without the manager's prefix; in bytes for the wide form.
  SQLSMALLINT len = 0;
  EXPECT_EQ(field_text(SQL_HANDLE_STMT, stmt, 3, SQL_DIAG_MESSAGE_TEXT, nullptr, 64, &len),
            "Function sequence error");
  EXPECT_EQ(len, 23);
  SQLWCHAR wide[64] = {0};
  ASSERT_EQ(SQLGetDiagFieldW(SQL_HANDLE_STMT, stmt, 3, SQL_DIAG_MESSAGE_TEXT, wide, sizeof wide, &len),
            SQL_SUCCESS);
  EXPECT_EQ(N(wide), "Function sequence error");
  EXPECT_EQ(len, 92);
  // A cut text is cut silently.
  SQLRETURN rc = 0;
  EXPECT_EQ(field_text(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_CLASS_ORIGIN, &rc, 8, &len), "ODBC 3.");
  EXPECT_EQ(rc, SQL_SUCCESS);
  EXPECT_EQ(len, 8);
  // A text is never cut to a negative size.
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_SQLSTATE, wide, -4, &len), SQL_ERROR);
  SQLINTEGER native = 9;
  ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_NATIVE, &native, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(native, 0);
  SQLINTEGER column = 0;
  ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_COLUMN_NUMBER, &column, 0, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(column, SQL_COLUMN_NUMBER_UNKNOWN);
  // A record of the manager's own is about no row, written as a whole SQLLEN.
  SQLLEN row = 0;
  ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_ROW_NUMBER, &row, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(row, SQL_ROW_NUMBER_UNKNOWN);
  EXPECT_EQ(_zolandm_diag_count(stmt), 6) << "reading added nothing";

  _zolandm_diag_add(dbc, ZOLANDM_E_S1010);
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, dbc, 1, SQL_DIAG_COLUMN_NUMBER, &column, 0, nullptr), SQL_ERROR);
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, dbc, 1, SQL_DIAG_ROW_NUMBER, &row, 0, nullptr), SQL_ERROR);
}

TEST_F(DiagRecords, ConnectionNameNeverAddsToTheListBeingRead) {
  open_env();
  _zolandm_diag_add(dbc, ZOLANDM_E_S1010);
  // Not connected: an empty name, and the one record stays the only one.
  SQLSMALLINT len = -1;
  SQLRETURN rc = 0;
  EXPECT_EQ(field_text(SQL_HANDLE_DBC, dbc, 1, SQL_DIAG_CONNECTION_NAME, &rc, 64, &len), "");
  EXPECT_EQ(rc, SQL_SUCCESS);
  EXPECT_EQ(len, 0);
  EXPECT_EQ(field_text(SQL_HANDLE_DBC, dbc, 1, SQL_DIAG_SERVER_NAME), "");
  EXPECT_EQ(_zolandm_diag_count(dbc), 1);
  SQLINTEGER n = 0;
  ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, dbc, 0, SQL_DIAG_NUMBER, &n, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(n, 1);

  // Connected to a driver that cannot say its data source name: the failure is the answer,
  // and still nothing is added.
  ini.odbc_ini("[fake]\nDriver = " + dmtest::fake_driver("odbc3") + "\n");
  ASSERT_TRUE(ok(SQLConnect(dbc, S("fake"), SQL_NTS, S("u"), SQL_NTS, S("p"), SQL_NTS)));
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
  _zolandm_diag_add(dbc, ZOLANDM_E_S1010);
  _zolandm_diag_add(stmt, ZOLANDM_E_24000);
  field_text(SQL_HANDLE_DBC, dbc, 1, SQL_DIAG_CONNECTION_NAME, &rc);
  EXPECT_EQ(rc, SQL_ERROR);
  field_text(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_SERVER_NAME, &rc);
  EXPECT_EQ(_zolandm_diag_count(dbc), 1);
  EXPECT_EQ(_zolandm_diag_count(stmt), 1);
}

TEST_F(DiagRecords, DriverRecordFieldsThroughItsGetDiagField) {
  for (bool wide : {false, true}) {
    SCOPED_TRACE(wide ? "W" : "A");
    fail_with_records("odbc3");
    auto get = wide ? SQLGetDiagFieldW : SQLGetDiagField;
    SQLWCHAR wbuf[64] = {0};
    char buf[64] = "";
    void* target = wide ? static_cast<void*>(wbuf) : static_cast<void*>(buf);
    auto text = [&] { return wide ? N(wbuf) : std::string(buf); };
    SQLSMALLINT len = 0;
    ASSERT_EQ(get(SQL_HANDLE_STMT, stmt, 4, SQL_DIAG_SQLSTATE, target, 64, &len), SQL_SUCCESS);
    EXPECT_EQ(text(), "HY000");
    // Cut to the sixteen wide characters that 64 bytes hold, as the driver says.
    ASSERT_EQ(get(SQL_HANDLE_STMT, stmt, 4, SQL_DIAG_MESSAGE_TEXT, target, 64, &len),
              wide ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS);
    // 64 bytes hold 15 wide characters and the terminator.
    EXPECT_EQ(text(), wide ? "[fake]ExecDirec" : "[fake]ExecDirect failed");
    ASSERT_EQ(get(SQL_HANDLE_STMT, stmt, 4, SQL_DIAG_CONNECTION_NAME, target, 64, &len), SQL_SUCCESS);
    EXPECT_EQ(text(), "fakeconn");
    EXPECT_EQ(len, wide ? 32 : 8);
    SQLINTEGER native = 0;
    ASSERT_EQ(get(SQL_HANDLE_STMT, stmt, 4, SQL_DIAG_NATIVE, &native, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(native, 1);
    // The driver's records were read once, as records, for all these fields.
    EXPECT_EQ(dmtest::fake_calls("odbc3", "GetDiagRec"),
              (std::vector<std::string>{"GetDiagRec type=3 rec=1", "GetDiagRec type=3 rec=2"}));
    // The connection name is the driver's field, in a buffer of the driver's width.
    EXPECT_EQ(dmtest::fake_calls("odbc3", "GetDiagField").back(),
              wide ? "GetDiagField type=3 rec=1 id=10 max=16" : "GetDiagField type=3 rec=1 id=10 max=64");
    SQLLEN row = 0;
    ASSERT_EQ(get(SQL_HANDLE_STMT, stmt, 4, SQL_DIAG_ROW_NUMBER, &row, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(row, 7);
    EXPECT_EQ(get(SQL_HANDLE_STMT, stmt, 5, SQL_DIAG_SQLSTATE, target, 64, &len), SQL_NO_DATA);
    TearDown();
    stmt = nullptr;
    dbc = nullptr;
    env = nullptr;
  }
}

TEST_F(DiagRecords, DriverRecordsThroughAConsumingError) {
  open_fake("odbc2");
  fake->set_text("state:ExecDirect", "IM001");
  fake->set("rc:ExecDirect", SQL_ERROR);
  ASSERT_EQ(SQLExecDirect(stmt, S("SELECT a"), SQL_NTS), SQL_ERROR);
  EXPECT_EQ(field_text(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_CLASS_ORIGIN), "ODBC 3.0");
  // The driver's SQLError removed the record it reported; the manager's copy stays.
  EXPECT_EQ(field_text(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_SQLSTATE), "IM001");
  EXPECT_EQ(field_text(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_CLASS_ORIGIN), "ODBC 3.0");
  EXPECT_EQ(dmtest::fake_calls("odbc2", "Error stmt").size(), 2u) << "one record and the end, read once";
  fake->set_text("state:ExecDirect", "S1000");
  ASSERT_EQ(SQLExecDirect(stmt, S("SELECT a"), SQL_NTS), SQL_ERROR);
  EXPECT_EQ(field_text(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_SUBCLASS_ORIGIN), "ISO 9075");
  ASSERT_EQ(SQLExecDirect(stmt, S("SELECT a"), SQL_NTS), SQL_ERROR);
  SQLSMALLINT len = 0;
  EXPECT_EQ(field_text(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_MESSAGE_TEXT, nullptr, 64, &len),
            "[fake]ExecDirect failed");
  EXPECT_EQ(len, 23);
  SQLRETURN rc = 0;
  field_text(SQL_HANDLE_STMT, stmt, 2, SQL_DIAG_SQLSTATE, &rc);
  EXPECT_EQ(rc, SQL_NO_DATA);
  SQLLEN row = 0;
  ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_ROW_NUMBER, &row, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(row, SQL_ROW_NUMBER_UNKNOWN);

  // SQLGetDiagRec of an ODBC 2 driver: its first record, through SQLError.
  ASSERT_EQ(SQLExecDirect(stmt, S("SELECT a"), SQL_NTS), SQL_ERROR);
  auto recs = diag_recs(SQL_HANDLE_STMT, stmt);
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0].state, "S1000");

  // Descriptors have no records through SQLError.
  SQLHDESC ard = nullptr;
  ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr), SQL_SUCCESS);
  field_text(SQL_HANDLE_DESC, ard, 1, SQL_DIAG_SQLSTATE, &rc);
  EXPECT_EQ(rc, SQL_INVALID_HANDLE);
  field_text(SQL_HANDLE_DESC, ard, 2, SQL_DIAG_SQLSTATE, &rc);
  EXPECT_EQ(rc, SQL_NO_DATA);
}

TEST_F(DiagRecords, WideReadOfANarrowDriver) {
  fail_with_records("odbc3");
  auto recs = diag_recs(SQL_HANDLE_STMT, stmt, true);
  ASSERT_EQ(recs.size(), 4u);
  EXPECT_EQ(recs[3].state, "HY000");
  EXPECT_EQ(recs[3].text, "[fake]ExecDirect failed");
  SQLWCHAR state[6];
  SQLWCHAR msg[64];
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLGetDiagRecW(SQL_HANDLE_STMT, stmt, 4, state, nullptr, msg, 64, &len), SQL_SUCCESS);
  EXPECT_EQ(len, 23) << "the length the driver reported";
}

TEST_F(DiagRecords, NarrowReadOfAWideDriver) {
  fail_with_records("wide");
  auto recs = diag_recs(SQL_HANDLE_STMT, stmt);
  ASSERT_EQ(recs.size(), 4u);
  EXPECT_EQ(recs[3].state, "HY000");
  EXPECT_EQ(recs[3].text, "[fake]ExecDirect failed");
  EXPECT_EQ(field_text(SQL_HANDLE_STMT, stmt, 4, SQL_DIAG_MESSAGE_TEXT), "[fake]ExecDirect failed");
}

}  // namespace
