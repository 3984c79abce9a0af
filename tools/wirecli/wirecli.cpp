// wirecli: a small command-line client of the agent. Opens a server session, reads
// the agent-identifying driver parameter, connects to a data source by name (or with
// a connection string), runs one SQL statement and prints the result as a table
// with a header row, or the row count; prints the agent's error texts on failure.
//
//   wirecli [-u] [-U user] [-P password] host port (dsn | -c connection-string) sql
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "model/drv_param_codes.h"
#include "util/options.h"
#include "util/unicode.h"
#include "wire/client.h"

namespace {

pgm_option no_options[] = {{nullptr, 0, 0, nullptr, nullptr}};
char program_name[] = "wirecli";

int cli_usage() {
  std::fprintf(stderr,
               "usage: wirecli [-u] [-U user] [-P password] host port (dsn | -c connection-string) sql\n");
  return 2;
}

// Prints the queued error texts of a handle.
void print_errors(WireClient* c, handle_t h, errcode_t code) {
  errinfores r{};
  if (dbsvc_errinfo(c, &h, &r) == RPC_SUCCESS && r.error == ER_SUCCESS && r.info.messageCount > 0) {
    for (unsigned i = 0; i < r.info.messageCount; ++i)
      std::fprintf(stderr, "%s\n", r.info.messages[i] ? r.info.messages[i] : "");
  } else {
    std::fprintf(stderr, "error %d\n", int(code));
  }
  dbsvc_errinfo_free(&r);
}

bool rpc_ok(clnt_stat st, const char* what) {
  if (st == RPC_SUCCESS) return true;
  std::fprintf(stderr, "wirecli: %s: %s\n", what, wire_client_status_text(st));
  return false;
}

// The text of one cell of a fetched column.
std::string cell_text(const Coldata* c, sgn32 row) {
  if (c->indicators[row] == -1) return "NULL";
  const char* cell = Coldata_Cell(c, row);
  char buf[64];
  switch (c->cType) {
    case CTYPE_BIT1:
    case CTYPE_UNS8:
      return std::to_string(static_cast<unsigned char>(cell[0]));
    case CTYPE_SGN8:
      return std::to_string(static_cast<signed char>(cell[0]));
    case CTYPE_SGN16: {
      sgn16 v;
      std::memcpy(&v, cell, 2);
      return std::to_string(v);
    }
    case CTYPE_UNS16: {
      uns16 v;
      std::memcpy(&v, cell, 2);
      return std::to_string(v);
    }
    case CTYPE_SGN32: {
      sgn32 v;
      std::memcpy(&v, cell, 4);
      return std::to_string(v);
    }
    case CTYPE_UNS32: {
      uns32 v;
      std::memcpy(&v, cell, 4);
      return std::to_string(v);
    }
    case CTYPE_FLT32: {
      flt32 v;
      std::memcpy(&v, cell, 4);
      std::snprintf(buf, sizeof buf, "%g", double(v));
      return buf;
    }
    case CTYPE_FLT64: {
      flt64 v;
      std::memcpy(&v, cell, 8);
      std::snprintf(buf, sizeof buf, "%.15g", v);
      return buf;
    }
    case CTYPE_DATE: {
      c_date d;
      std::memcpy(&d, cell, sizeof d);
      std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", d.year, d.month, d.day);
      return buf;
    }
    case CTYPE_TIME: {
      c_time t;
      std::memcpy(&t, cell, sizeof t);
      std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", t.hour, t.minute, t.second);
      return buf;
    }
    case CTYPE_TIMESTAMP: {
      c_timestamp t;
      std::memcpy(&t, cell, sizeof t);
      std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day, t.hour,
                    t.minute, t.second);
      return buf;
    }
    case CTYPE_CHR:
      return std::string(cell, strnlen(cell, c->width));
    case CTYPE_LCHR: {
      c_lchr l;
      std::memcpy(&l, cell, sizeof l);
      return l.data ? std::string(l.data, l.length) : "";
    }
    case CTYPE_WLCHR: {
      c_wlchr l;
      std::memcpy(&l, cell, sizeof l);
      if (!l.data) return "";
      std::wstring w(l.data, l.length);
      char* u = strdup_WtoU8(w.c_str());
      std::string s = u ? u : "";
      std::free(u);
      return s;
    }
    case CTYPE_WCHR: {
      std::wstring w(c->width / 4, L'\0');
      std::memcpy(w.data(), cell, w.size() * 4);
      w.resize(wcsnlen(w.c_str(), w.size()));
      char* u = strdup_WtoU8(w.c_str());
      std::string s = u ? u : "";
      std::free(u);
      return s;
    }
    case CTYPE_LBIN:
    case CTYPE_BIN: {
      const unsigned char* p = reinterpret_cast<const unsigned char*>(cell);
      uint64_t n = c->width;
      if (c->cType == CTYPE_LBIN) {
        c_lbin l;
        std::memcpy(&l, cell, sizeof l);
        p = l.data;
        n = l.data ? l.length : 0;
      }
      std::string s;
      for (uint64_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", p[i]);
        s += buf;
      }
      return s;
    }
    default:
      return "?";
  }
}

}  // namespace

int main(int argc, char** argv) {
  const pgm_info info = {program_name, "wirecli\n", "", 0, no_options};
  register_program(&info, nullptr);
  bool udp = false;
  const char* user = nullptr;
  const char* password = nullptr;
  const char* connstr = nullptr;
  int opt;
  while ((opt = getopt(argc, argv, "uU:P:c:")) != -1) {
    switch (opt) {
      case 'u':
        udp = true;
        break;
      case 'U':
        user = optarg;
        break;
      case 'P':
        password = optarg;
        break;
      case 'c':
        connstr = optarg;
        break;
      default:
        return cli_usage();
    }
  }
  int rest = argc - optind;
  if (rest != (connstr ? 3 : 4)) return cli_usage();
  const char* host = argv[optind];
  long port = std::strtol(argv[optind + 1], nullptr, 10);
  const char* dsn = connstr ? nullptr : argv[optind + 2];
  const char* sql = argv[optind + (connstr ? 2 : 3)];
  if (port <= 0 || port > 65535) return cli_usage();

  std::string err;
  WireClient* c = wire_client_create(host, static_cast<unsigned short>(port), udp, 60, &err);
  if (!c) {
    std::fprintf(stderr, "wirecli: %s\n", err.c_str());
    return 1;
  }
  int rc = 1;
  Server srv{};
  handleres hs{};
  handle_t hServer = 0, hConn = 0, hCursor = 0;
  do {
    if (!rpc_ok(dbsvc_server(c, &srv, &hs), "server")) break;
    if (hs.error != ER_SUCCESS) {
      std::fprintf(stderr, "wirecli: cannot open a server session (error %d)\n", int(hs.error));
      break;
    }
    hServer = hs.handle;
    call_getdrvparameter gp{hServer, DRVP_SRV_AGENT_NAME};
    getdrvparameterres gr{};
    if (!rpc_ok(dbsvc_getdrvparameter(c, &gp, &gr), "driver parameter")) break;
    dbsvc_getdrvparameter_free(&gr);

    Connect con{};
    con.dbPath = const_cast<char*>(dsn);
    con.dbOptions = const_cast<char*>(connstr);
    con.userName = const_cast<char*>(user);
    con.password = const_cast<char*>(password);
    call_connect cc{hServer, &con};
    connectres cr{};
    if (!rpc_ok(dbsvc_connect(c, &cc, &cr), "connect")) break;
    if (cr.error != ER_SUCCESS) {
      if (cr.fail)
        std::fprintf(stderr, "%s\n", cr.fail);
      else
        print_errors(c, hServer, cr.error);
      dbsvc_connect_free(&cr);
      break;
    }
    hConn = cr.handle;
    dbsvc_connect_free(&cr);

    handleres hc{};
    if (!rpc_ok(dbsvc_cursor(c, &hConn, &hc), "cursor")) break;
    if (hc.error != ER_SUCCESS) {
      print_errors(c, hConn, hc.error);
      break;
    }
    hCursor = hc.handle;
    call_prepare pr{hCursor, const_cast<char*>(sql)};
    errcode_t e = ER_SUCCESS;
    if (!rpc_ok(dbsvc_prepare(c, &pr, &e), "prepare")) break;
    if (e == ER_SUCCESS && !rpc_ok(dbsvc_execute(c, &hCursor, &e), "execute")) break;
    if (e != ER_SUCCESS) {
      print_errors(c, hCursor, e);
      break;
    }
    coldescres cd{};
    if (!rpc_ok(dbsvc_describecolumns(c, &hCursor, &cd), "describe")) break;
    if (cd.error != ER_SUCCESS || cd.desc.desc_len == 0) {
      // No result set: the statement's row count.
      dbsvc_describecolumns_free(&cd);
      call_getdrvparameter rq{hCursor, DRVP_STMT_ROW_COUNT};
      getdrvparameterres rr{};
      if (dbsvc_getdrvparameter(c, &rq, &rr) == RPC_SUCCESS && rr.error == ER_SUCCESS && rr.value.type == 2)
        std::printf("%d rows\n", int(rr.value.paramval_u.l));
      else
        std::printf("done\n");
      dbsvc_getdrvparameter_free(&rr);
      rc = 0;
      break;
    }
    std::vector<std::string> header;
    for (unsigned i = 0; i < cd.desc.desc_len; ++i) header.push_back(cd.desc.desc_val[i].label);
    dbsvc_describecolumns_free(&cd);
    std::vector<std::vector<std::string>> rows;
    bool failed = false;
    for (;;) {
      call_fetch f{hCursor, 100};
      datasetres ds{};
      if (!rpc_ok(dbsvc_fetch(c, &f, &ds), "fetch")) {
        failed = true;
        break;
      }
      if (ds.error != ER_SUCCESS && ds.error != ER_NO_DATA_FOUND) {
        print_errors(c, hCursor, ds.error);
        dbsvc_fetch_free(&ds);
        failed = true;
        break;
      }
      sgn32 n = ds.desc.nRows;
      for (sgn32 r = 0; r < n; ++r) {
        std::vector<std::string> row;
        for (uns16 k = 0; k < ds.desc.nCols; ++k) row.push_back(cell_text(&ds.desc.col[k], r));
        rows.push_back(row);
      }
      dbsvc_fetch_free(&ds);
      if (n == 0) break;
    }
    if (failed) break;
    std::vector<size_t> width(header.size(), 0);
    for (size_t k = 0; k < header.size(); ++k) width[k] = header[k].size();
    for (auto& row : rows)
      for (size_t k = 0; k < row.size() && k < width.size(); ++k)
        width[k] = std::max(width[k], row[k].size());
    auto line = [&](const std::vector<std::string>& cells) {
      std::string out;
      for (size_t k = 0; k < width.size(); ++k) {
        std::string v = k < cells.size() ? cells[k] : "";
        out += (k ? " | " : "") + v + std::string(width[k] - std::min(width[k], v.size()), ' ');
      }
      while (!out.empty() && out.back() == ' ') out.pop_back();
      std::printf("%s\n", out.c_str());
    };
    line(header);
    std::string rule;
    for (size_t k = 0; k < width.size(); ++k) rule += (k ? "-+-" : "") + std::string(width[k], '-');
    std::printf("%s\n", rule.c_str());
    for (auto& row : rows) line(row);
    std::printf("(%zu rows)\n", rows.size());
    rc = 0;
  } while (false);
  errcode_t ignored;
  if (hCursor) dbsvc_endcursor(c, &hCursor, &ignored);
  if (hConn) dbsvc_endconnect(c, &hConn, &ignored);
  if (hServer) dbsvc_endserver(c, &hServer, &ignored);
  wire_client_destroy(c);
  return rc;
}
