// A small server of RPC program 300272 version 2 for the dispatcher and client
// tests: the real dispatcher over the descriptors the launcher hands it, with a
// service table of its own. SIGTERM ends it with exit(0), so that LeakSanitizer
// checks that every call's arguments and results were freed.
//
//   launch -- wire_test_server      (started as: wire_test_server +internal tcp=3,udp=4)
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <string>

#include "rpc/svc.h"
#include "wire/dispatcher.h"
#include "wire/record_xdr.h"

namespace {

char* dup(const char* s) { return strdup(s); }

bool fetched = false;  // the one result set has been handed out
bool noResult = false;  // the prepared statement is an update: no columns, a row count

void s_getdrvparameter(svc_req*, call_getdrvparameter* a, getdrvparameterres* r) {
  if (a->opcode == 0x32010000) {  // the statement's row count
    r->value.type = 2;
    r->value.paramval_u.l = 3;
    return;
  }
  r->error = a->opcode == 0x11010000 ? ER_SUCCESS : ER_DRV_NO_SUPPORT;
  r->value.type = 1;
  r->value.paramval_u.s = dup(a->opcode == 0x11010000 ? "odbc" : "");
}
void s_setdrvparameter(svc_req*, call_setdrvparameter*, errcode_t* r) { *r = ER_SUCCESS; }
void s_errinfo(svc_req*, handle_t*, errinfores* r) {
  r->error = ER_SUCCESS;
  r->info.nativeError = 42;
  r->info.messageCount = 2;
  r->info.messages = static_cast<String*>(calloc(2, sizeof(String)));
  r->info.messages[0] = dup("[ODBC Server]first[SQLSTATE:S1000]");
  r->info.messages[1] = dup("[ODBC Server]second[SQLSTATE:S1000]");
}
void s_server(svc_req*, Server*, handleres* r) {
  r->error = ER_SUCCESS;
  r->handle = 0xAAAA0000;
}
void s_connect(svc_req*, call_connect* a, connectres* r) {
  bool byName = a->arg->dbPath && std::strcmp(a->arg->dbPath, "good") == 0;
  bool byString = a->arg->dbOptions && std::strstr(a->arg->dbOptions, "DSN=good");
  if (byName || byString) {
    r->handle = 0xBBBB0000;
    return;
  }
  r->error = ER_CONN_REJECTED_DS;
  r->fail = dup("[ODBC Server]no such data source[SQLSTATE:08004]\n[ODBC Server]second line[SQLSTATE:08004]");
}
void s_cursor(svc_req*, handle_t*, handleres* r) { r->handle = 0xCCCC0000; }
void s_errcode_ok(svc_req*, handle_t*, errcode_t* r) { *r = ER_SUCCESS; }
void s_prepare(svc_req*, call_prepare* a, errcode_t* r) {
  fetched = false;
  noResult = a->request && strncasecmp(a->request, "update", 6) == 0;
  *r = a->handle == 0xCCCC0000 ? ER_SUCCESS : ER_INVALID_ARGUMENT;
}
void s_parameters(svc_req*, call_parameters* a, errcode_t* r) {
  // Keeps the parameters, as the operation table does: detach them from the arguments.
  Dataset* kept = a->parameters;
  a->parameters = nullptr;
  *r = kept && kept->nRows == 1 ? ER_SUCCESS : ER_GENERAL_ERROR;
  if (kept) {
    Dataset_Done(kept);
    free(kept);
  }
}
void s_describecolumns(svc_req*, handle_t*, coldescres* r) {
  if (noResult) return;
  r->desc.desc_len = 2;
  r->desc.desc_val = AllocColdesc(2);
  std::strcpy(r->desc.desc_val[0].label, "id");
  r->desc.desc_val[0].fetchType = CTYPE_SGN32;
  std::strcpy(r->desc.desc_val[1].label, "name");
  r->desc.desc_val[1].fetchType = CTYPE_VCHR;
  r->desc.desc_val[1].tableName = dup("t");
}
void s_fetch(svc_req*, call_fetch* a, datasetres* r) {
  Coldesc d[2]{};
  d[0].fetchType = CTYPE_SGN32;
  d[1].fetchType = CTYPE_VCHR;
  d[1].fetchLength = 10;
  sgn32 rows = fetched ? 0 : a->maxRows < 2 ? a->maxRows : 2;
  fetched = true;
  AllocDataset(d, 2, rows, &r->desc);
  for (sgn32 i = 0; i < rows; ++i) {
    std::memcpy(Coldata_Cell(&r->desc.col[0], i), &i, 4);
    r->desc.col[0].indicators[i] = 0;
    std::snprintf(Coldata_Cell(&r->desc.col[1], i), 11, "row%d", int(i));
    r->desc.col[1].indicators[i] = i == 1 ? -1 : 0;
  }
  r->desc.nRows = rows;
}
void s_getdata(svc_req*, call_getdata*, getdatares* r) {
  wchar_t* w = static_cast<wchar_t*>(calloc(3, sizeof(wchar_t)));
  w[0] = 0xE9;
  w[1] = L'z';
  r->RcvBuff.RcvBuff_val = reinterpret_cast<char*>(w);
  r->RcvBuff.RcvBuff_len = 8;
  r->CType = CTYPE_WCHR;
  r->cbRemaining = -4;
}
void s_extendedfetch(svc_req*, call_extendedfetch*, xfetchres* r) {
  RS_Create(&r->pRowSet, 3);
  r->crow = 0;
}
void s_execute2(svc_req*, call_execute2*, errcode_t* r) { *r = ER_SUCCESS; }
void s_savepoint(svc_req*, call_savepoint*, errcode_t* r) { *r = ER_DRV_NOT_CAPABLE; }
void s_xarecover(svc_req*, call_xarecover*, xarcvrres* r) { r->xarc = -3; }
void s_catalog(svc_req*, call_tables* a, errcode_t* r) { *r = a->arg->tableName ? ER_SUCCESS : ER_GENERAL_ERROR; }
void s_setpos(svc_req*, call_setpos* a, setposres* r) {
  r->rgfRowStatus.rgfRowStatus_len = a->rgiCol.rgiCol_len;
  r->rgfRowStatus.rgfRowStatus_val = static_cast<uns16*>(calloc(a->rgiCol.rgiCol_len + 1, sizeof(uns16)));
}

template <typename A, typename R, void (*F)(svc_req*, A*, R*)>
dbsv_service_t thunk() {
  return &dbsv_service_thunk<A, R, F>;
}

void stop(int) { exit(0); }

}  // namespace

int main(int argc, char** argv) {
  std::string transports = "tcp=3,udp=4";
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "+internal") == 0) transports = argv[i + 1];
  dbsv_service_table t{};
  t.proc[DBSV_PROC_getdrvparameter] = thunk<call_getdrvparameter, getdrvparameterres, s_getdrvparameter>();
  t.proc[DBSV_PROC_setdrvparameter] = thunk<call_setdrvparameter, errcode_t, s_setdrvparameter>();
  t.proc[DBSV_PROC_errinfo] = thunk<handle_t, errinfores, s_errinfo>();
  t.proc[DBSV_PROC_server] = thunk<Server, handleres, s_server>();
  t.proc[DBSV_PROC_endserver] = thunk<handle_t, errcode_t, s_errcode_ok>();
  t.proc[DBSV_PROC_connect] = thunk<call_connect, connectres, s_connect>();
  t.proc[DBSV_PROC_endconnect] = thunk<handle_t, errcode_t, s_errcode_ok>();
  t.proc[DBSV_PROC_cursor] = thunk<handle_t, handleres, s_cursor>();
  t.proc[DBSV_PROC_endcursor] = thunk<handle_t, errcode_t, s_errcode_ok>();
  t.proc[DBSV_PROC_prepare] = thunk<call_prepare, errcode_t, s_prepare>();
  t.proc[DBSV_PROC_parameters] = thunk<call_parameters, errcode_t, s_parameters>();
  t.proc[DBSV_PROC_execute] = thunk<handle_t, errcode_t, s_errcode_ok>();
  t.proc[DBSV_PROC_describecolumns] = thunk<handle_t, coldescres, s_describecolumns>();
  t.proc[DBSV_PROC_fetch] = thunk<call_fetch, datasetres, s_fetch>();
  t.proc[DBSV_PROC_getdata] = thunk<call_getdata, getdatares, s_getdata>();
  t.proc[DBSV_PROC_extendedfetch] = thunk<call_extendedfetch, xfetchres, s_extendedfetch>();
  t.proc[DBSV_PROC_execute2] = thunk<call_execute2, errcode_t, s_execute2>();
  t.proc[DBSV_PROC_savepointj] = thunk<call_savepoint, errcode_t, s_savepoint>();
  t.proc[DBSV_PROC_tables] = thunk<call_tables, errcode_t, s_catalog>();
  t.proc[DBSV_PROC_setpos] = thunk<call_setpos, setposres, s_setpos>();
  t.proc[DBSV_PROC_xarecover] = thunk<call_xarecover, xarcvrres, s_xarecover>();
  for (int p : {56, 57, 59, 60, 61, 62, 64, 65}) {
    // The XA procedures all answer -3; their argument records differ only in the
    // service procedure's view, which ignores them.
    t.proc[p] = [](svc_req*, void*, void* res) { *static_cast<sgn32*>(res) = -3; };
  }
  dbsv_set_services(&t);

  signal(SIGTERM, stop);
  signal(SIGINT, stop);
  for (size_t pos = 0; pos < transports.size();) {
    size_t end = transports.find(',', pos);
    std::string item = transports.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    pos = end == std::string::npos ? transports.size() : end + 1;
    SVCXPRT* x = nullptr;
    if (item.rfind("tcp=", 0) == 0) x = VYRRPC_svctcp_create(std::atoi(item.c_str() + 4), 0, 0);
    if (item.rfind("udp=", 0) == 0) x = VYRRPC_svcudp_create(std::atoi(item.c_str() + 4));
    if (!x || !VYRRPC_svc_register(x, DBSVPROG, DBSVVERS, dbsvprog_2, 0)) {
      std::fprintf(stderr, "wire_test_server: cannot serve %s\n", item.c_str());
      return 1;
    }
  }
  VYRRPC_svc_run();
  return 1;
}
