// A test's view of a running agent: the real sqlgate started through the
// launcher, a wire client on it, and short helpers for the common calls.
#pragma once

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "agent_process.h"
#include "fixtures/support/odbc_config.h"
#include "fixtures/support/support.h"
#include "wire/client.h"

namespace agent_test {

using test_support::kPgDriver;
using test_support::kSqliteDriver;

// The ini files of the agent's driver manager, in the test's own folder. A
// client may name only the drivers registered here.
inline void WriteConfig(const test_support::TempDir& dir) {
  test_support::set_odbc_config_in(dir.path());
  test_support::write_file(dir.file("odbcinst.ini"), std::string("[SQLite3]\nDriver=") + kSqliteDriver +
                                                         "\n\n[PostgreSQL ANSI]\nDriver=" + kPgDriver + "\n");
  test_support::write_file(dir.file("odbc.ini"),
                           "[testdb]\nDriver=SQLite3\nDatabase=" + dir.file("test.db") + "\n");
}

inline std::string Cell(const Dataset& ds, int col, int row) {
  const Coldata& c = ds.col[col];
  if (c.indicators[row] == -1) return "NULL";
  if (c.indicators[row] == -3) return "LONG";
  const char* cell = Coldata_Cell(&c, uint64_t(row));
  char b[64];
  switch (c.cType) {
    case CTYPE_SGN32: {
      sgn32 v;
      memcpy(&v, cell, 4);
      return std::to_string(v);
    }
    case CTYPE_SGN8:
      return std::to_string(int(static_cast<signed char>(cell[0])));
    case CTYPE_SGN16: {
      sgn16 v;
      memcpy(&v, cell, 2);
      return std::to_string(v);
    }
    case CTYPE_FLT64: {
      double v;
      memcpy(&v, cell, 8);
      snprintf(b, sizeof b, "%.17g", v);
      return b;
    }
    case CTYPE_VCHR:
    case CTYPE_CHR:
      return std::string(cell, strnlen(cell, c.width));
    case CTYPE_LCHR: {
      c_lchr l;
      memcpy(&l, cell, sizeof l);
      return l.data ? std::string(l.data, l.length) : "";
    }
    case CTYPE_LBIN: {
      c_lbin l;
      memcpy(&l, cell, sizeof l);
      return l.data ? std::string(reinterpret_cast<const char*>(l.data), l.length) : "";
    }
    case CTYPE_VCHR8:
      return std::string(cell + 1, std::min<uns32>(uns8(cell[0]), c.width - 1));
    case CTYPE_VCHR16: {
      uns16 n;
      memcpy(&n, cell, 2);
      return std::string(cell + 2, std::min<uns32>(n, c.width > 2 ? c.width - 2 : 0));
    }
    case CTYPE_VCHR32:
    case CTYPE_VBIN32: {
      uns32 n;
      memcpy(&n, cell, 4);
      return std::string(cell + 4, std::min<uns32>(n, c.width > 4 ? c.width - 4 : 0));
    }
    default:
      return "?";
  }
}

using Rows = std::vector<std::vector<std::string>>;

class AgentClient {
 public:
  WireClient* c = nullptr;
  explicit AgentClient(int port, bool udp = false) {
    std::string err;
    c = wire_client_create("127.0.0.1", static_cast<unsigned short>(port), udp, 60, &err);
    EXPECT_NE(c, nullptr) << err;
  }
  // A client whose socket is bound to the loopback address `source` (such as
  // 127.0.0.2), so that the agent sees it as another host.
  AgentClient(int port, bool udp, const char* source) {
    int s = socket(AF_INET, (udp ? SOCK_DGRAM : SOCK_STREAM) | SOCK_CLOEXEC, 0);
    sockaddr_in from{}, to{};
    from.sin_family = to.sin_family = AF_INET;
    inet_pton(AF_INET, source, &from.sin_addr);
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    to.sin_port = htons(static_cast<unsigned short>(port));
    bool ok = s >= 0 && bind(s, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0 &&
              (udp || connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0);
    EXPECT_TRUE(ok) << source << ": " << strerror(errno);
    if (!ok) {
      if (s >= 0) close(s);
      return;
    }
    ownSock_ = s;
    CLIENT* clnt = udp ? VYRRPC_clntudp_bufcreate(&to, DBSVPROG, DBSVVERS, timeval{1, 0}, &s, 65000, 65000)
                       : VYRRPC_clnttcp_create(&to, DBSVPROG, DBSVVERS, &s, 0, 0);
    EXPECT_NE(clnt, nullptr);
    if (clnt) c = new WireClient{clnt, s, {60, 0}};
  }
  ~AgentClient() {
    wire_client_destroy(c);
    if (ownSock_ >= 0) close(ownSock_);
  }
  AgentClient(const AgentClient&) = delete;
  AgentClient& operator=(const AgentClient&) = delete;

  handle_t Server() {
    ::Server s{};
    handleres r{};
    EXPECT_EQ(dbsvc_server(c, &s, &r), RPC_SUCCESS);
    EXPECT_EQ(r.error, ER_SUCCESS);
    handle_t h = r.handle;
    dbsvc_server_free(&r);
    return h;
  }
  // The agent-identifying parameter, which cursors need.
  std::string AgentName(handle_t hServer) {
    call_getdrvparameter a{hServer, 0x11010000};
    getdrvparameterres r{};
    EXPECT_EQ(dbsvc_getdrvparameter(c, &a, &r), RPC_SUCCESS);
    std::string v = r.value.type == 1 && r.value.paramval_u.s ? r.value.paramval_u.s : "";
    dbsvc_getdrvparameter_free(&r);
    return v;
  }
  // Connects; returns the error and fills *ph and *fail.
  errcode_t Connect(handle_t hServer, const char* dsn, const char* connStr, handle_t* ph,
                    std::string* fail = nullptr, const std::string& svOptions = "") {
    ::Connect rec{};
    rec.dbPath = const_cast<char*>(dsn);
    rec.dbOptions = const_cast<char*>(connStr);
    rec.svOptions = svOptions.empty() ? nullptr : const_cast<char*>(svOptions.c_str());
    call_connect a{hServer, &rec};
    connectres r{};
    EXPECT_EQ(dbsvc_connect(c, &a, &r), RPC_SUCCESS);
    *ph = r.handle;
    if (fail) *fail = r.fail ? r.fail : "";
    errcode_t e = r.error;
    dbsvc_connect_free(&r);
    return e;
  }
  handle_t Cursor(handle_t hConn, errcode_t* pe = nullptr) {
    handleres r{};
    EXPECT_EQ(dbsvc_cursor(c, &hConn, &r), RPC_SUCCESS);
    if (pe) *pe = r.error;
    handle_t h = r.handle;
    dbsvc_cursor_free(&r);
    return h;
  }
  errcode_t Simple(clnt_stat (*fn)(WireClient*, handle_t*, errcode_t*), handle_t h) {
    errcode_t r = ER_SUCCESS;
    EXPECT_EQ(fn(c, &h, &r), RPC_SUCCESS);
    return r;
  }
  errcode_t Prepare(handle_t h, const std::string& sql) {
    call_prepare a{h, const_cast<char*>(sql.c_str())};
    errcode_t r = ER_SUCCESS;
    EXPECT_EQ(dbsvc_prepare(c, &a, &r), RPC_SUCCESS);
    return r;
  }
  // A call answered with an error code only, such as the catalog calls.
  template <class Args>
  errcode_t Call(clnt_stat (*fn)(WireClient*, Args*, errcode_t*), Args args) {
    errcode_t e = ER_SUCCESS;
    EXPECT_EQ(fn(c, &args, &e), RPC_SUCCESS);
    return e;
  }
  errcode_t Execute(handle_t h) { return Simple(dbsvc_execute, h); }
  errcode_t Exec(handle_t hConn, const std::string& sql) {
    handle_t h = Cursor(hConn);
    errcode_t e = Prepare(h, sql);
    if (e == ER_SUCCESS) e = Execute(h);
    Simple(dbsvc_endcursor, h);
    return e;
  }
  // One fetch call; appends its rows and returns how many came.
  int Fetch(handle_t h, uns16 maxRows, Rows* out, errcode_t* pe = nullptr) {
    call_fetch a{h, maxRows};
    datasetres r{};
    EXPECT_EQ(dbsvc_fetch(c, &a, &r), RPC_SUCCESS);
    if (pe) *pe = r.error;
    int n = r.desc.nRows;
    for (int row = 0; row < n; row++) {
      std::vector<std::string> v;
      for (int col = 0; col < r.desc.nCols; col++) v.push_back(Cell(r.desc, col, row));
      out->push_back(v);
    }
    dbsvc_fetch_free(&r);
    return n;
  }
  Rows FetchAll(handle_t h, uns16 maxRows) {
    Rows rows;
    for (int guard = 0; guard < 1000000 && Fetch(h, maxRows, &rows) > 0; guard++) {
    }
    return rows;
  }
  Rows Query(handle_t hConn, const std::string& sql, uns16 maxRows = 100) {
    handle_t h = Cursor(hConn);
    EXPECT_EQ(Prepare(h, sql), ER_SUCCESS) << Errors(h);
    EXPECT_EQ(Execute(h), ER_SUCCESS) << Errors(h);
    Rows rows = FetchAll(h, maxRows);
    Simple(dbsvc_endcursor, h);
    return rows;
  }
  std::vector<std::string> ErrorTexts(handle_t h) {
    errinfores r{};
    EXPECT_EQ(dbsvc_errinfo(c, &h, &r), RPC_SUCCESS);
    std::vector<std::string> out;
    for (unsigned i = 0; i < r.info.messageCount; i++)
      out.push_back(r.info.messages[i] ? r.info.messages[i] : "");
    dbsvc_errinfo_free(&r);
    return out;
  }
  std::string Errors(handle_t h) {
    std::string s;
    for (auto& t : ErrorTexts(h)) s += t + "\n";
    return s;
  }
  sgn32 GetInt(handle_t h, uns32 code, errcode_t* pe = nullptr) {
    call_getdrvparameter a{h, code};
    getdrvparameterres r{};
    EXPECT_EQ(dbsvc_getdrvparameter(c, &a, &r), RPC_SUCCESS);
    if (pe) *pe = r.error;
    sgn32 v = r.value.type == 2 ? r.value.paramval_u.l : -12345;
    dbsvc_getdrvparameter_free(&r);
    return v;
  }
  // Reads a long column of the current row in pieces of `piece` bytes until an
  // empty piece; `*pe` gets the first error.
  // *firstRemain, when given, gets the first piece's remaining length.
  std::string GetLong(handle_t h, sgn32 col, precision_t piece, errcode_t* pe, sgn32* firstRemain = nullptr) {
    std::string all;
    *pe = ER_SUCCESS;
    for (int guard = 0; guard < 100000; guard++) {
      call_getdata a{h, col, 0, piece};
      getdatares r{};
      EXPECT_EQ(dbsvc_getdata(c, &a, &r), RPC_SUCCESS);
      *pe = r.error;
      if (guard == 0 && firstRemain) *firstRemain = r.cbRemaining;
      size_t n = r.error == ER_SUCCESS ? r.RcvBuff.RcvBuff_len : 0;
      if (n) all.append(r.RcvBuff.RcvBuff_val, n);
      dbsvc_getdata_free(&r);
      if (n == 0) break;
    }
    return all;
  }
  // Sends `ds` as the cursor's parameter rows.
  errcode_t Parameters(handle_t h, Dataset* ds) {
    call_parameters a{h, ds};
    errcode_t e = ER_SUCCESS;
    EXPECT_EQ(dbsvc_parameters(c, &a, &e), RPC_SUCCESS);
    return e;
  }
  // Sends n parameter rows of (INTEGER, VARCHAR(20)): row r is 100 + r and
  // "p<r>", except that row 1's text is NULL.
  errcode_t NumberedParameters(handle_t h, int n) {
    Dataset ds{};
    Dataset_Init(&ds, 2);
    ds.nCols = 2;
    ds.col[0].cType = CTYPE_SGN32;
    ds.col[0].width = 4;
    ds.col[1].cType = CTYPE_VCHR;
    ds.col[1].width = 21;
    Dataset_AllocColumns(&ds, n);
    for (int r = 0; r < n; r++) {
      sgn32 v = 100 + r;
      memcpy(Coldata_Cell(&ds.col[0], r), &v, 4);
      ds.col[0].indicators[r] = 0;
      if (r != 1) {
        snprintf(Coldata_Cell(&ds.col[1], r), 21, "p%d", r);
        ds.col[1].indicators[r] = 0;
      }
    }
    ds.nRows = n;
    errcode_t e = Parameters(h, &ds);
    Dataset_Done(&ds);
    return e;
  }
  errcode_t Bind(handle_t h, std::vector<Bindesc> descs) {
    call_bind a{h, {unsigned(descs.size()), descs.data()}};
    errcode_t e = ER_SUCCESS;
    EXPECT_EQ(dbsvc_bind(c, &a, &e), RPC_SUCCESS);
    return e;
  }
  errcode_t MoreResults(handle_t h) { return Simple(dbsvc_moreresults, h); }
  // One param-data call; *col and *row get the cell to send next.
  errcode_t ParamData(handle_t h, sgn32* col = nullptr, sgn32* row = nullptr) {
    paramdatares r{};
    EXPECT_EQ(dbsvc_paramdata(c, &h, &r), RPC_SUCCESS);
    if (col) *col = r.iCol;
    if (row) *row = r.iRow;
    errcode_t e = r.error;
    dbsvc_paramdata_free(&r);
    return e;
  }
  // One piece of the current cell's value.
  errcode_t PutData(handle_t h, ctype_t type, const std::string& bytes, indicator_t ind = 0) {
    call_putdata a{h, type, ind, {unsigned(bytes.size()), const_cast<char*>(bytes.data())}};
    errcode_t e = ER_SUCCESS;
    EXPECT_EQ(dbsvc_putdata(c, &a, &e), RPC_SUCCESS);
    return e;
  }
  // A fetch of 0 rows, which hands over a procedure's output values; as text.
  std::vector<std::string> FetchOutputs(handle_t h, errcode_t* pe = nullptr) {
    call_fetch a{h, 0};
    datasetres r{};
    EXPECT_EQ(dbsvc_fetch(c, &a, &r), RPC_SUCCESS);
    if (pe) *pe = r.error;
    std::vector<std::string> out;
    for (int col = 0; r.desc.nRows == 1 && col < r.desc.nCols; col++) out.push_back(Cell(r.desc, col, 0));
    dbsvc_fetch_free(&r);
    return out;
  }
  errcode_t SetText(handle_t h, uns32 code, const std::string& v) {
    call_setdrvparameter a{};
    a.handle = h;
    a.opcode = code;
    a.value.type = 1;
    a.value.paramval_u.s = const_cast<char*>(v.c_str());
    errcode_t r = ER_SUCCESS;
    EXPECT_EQ(dbsvc_setdrvparameter(c, &a, &r), RPC_SUCCESS);
    return r;
  }
  errcode_t SetInt(handle_t h, uns32 code, sgn32 v) {
    errcode_t r = ER_SUCCESS;
    EXPECT_EQ(wire_client_set_int(c, h, code, v, &r), RPC_SUCCESS);
    return r;
  }

 private:
  int ownSock_ = -1;
};

// A test with its own agent (started through the launcher with a debug log in
// the test's folder) and a client on it.
class AgentTest : public ::testing::Test {
 protected:
  test_support::TempDir dir;
  std::unique_ptr<AgentProcess> proc;
  std::unique_ptr<AgentClient> cl;
  handle_t hServer = 0, hConn = 0;

  std::string ConnStr() const {
    return std::string("DRIVER=") + kSqliteDriver + ";Database=" + dir.file("test.db");
  }

  void Start(std::vector<std::string> args = {}) {
    WriteConfig(dir);
    args.insert(args.begin(), {"+loglevel", "7", "+logfile", dir.file("agent.log")});
    proc = std::make_unique<AgentProcess>(LAUNCH_BINARY, SQLGATE_BINARY, args, dir.file("stderr"));
    ASSERT_GT(proc->port(), 0) << test_support::read_file(dir.file("stderr"));
    cl = std::make_unique<AgentClient>(proc->port());
    ASSERT_NE(cl->c, nullptr);
    hServer = cl->Server();
  }
  void StartConnected(std::vector<std::string> args = {}) {
    Start(args);
    ASSERT_EQ(cl->AgentName(hServer), "odbc");
    std::string fail;
    ASSERT_EQ(cl->Connect(hServer, nullptr, ConnStr().c_str(), &hConn, &fail), ER_SUCCESS) << fail;
  }
  // The agent connected to the test's PostgreSQL server (SQLGATE_PG_PORT).
  void StartConnectedPg() {
    Start();
    ASSERT_EQ(cl->AgentName(hServer), "odbc");
    std::string fail;
    ASSERT_EQ(cl->Connect(hServer, nullptr, test_support::pg_conn_str().c_str(), &hConn, &fail), ER_SUCCESS)
        << fail;
  }
  void TearDown() override {
    if (restoreAsan) setenv("ASAN_OPTIONS", savedAsan.c_str(), 1);
    cl.reset();
    if (proc) {
      proc->signal(SIGTERM);
      EXPECT_EQ(proc->wait(), 0) << test_support::read_file(dir.file("stderr"));
    }
  }
  std::string Log() { return test_support::read_file(dir.file("agent.log")); }

  // With several connections the SQLite driver's installer library leaks a few
  // of its own records and is unloaded before the leak check runs, so the check
  // cannot tell them from ours. For the agents of those tests it is switched
  // off; our own records are checked by every other test.
  void ToleratePluginLeaks() {
    const char* a = getenv("ASAN_OPTIONS");
    savedAsan = a ? a : "";
    restoreAsan = true;
    setenv("ASAN_OPTIONS", (savedAsan + (savedAsan.empty() ? "" : ":") + "detect_leaks=0").c_str(), 1);
  }
  std::string savedAsan;
  bool restoreAsan = false;
};

}  // namespace agent_test
