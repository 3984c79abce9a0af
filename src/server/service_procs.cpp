// The service procedures of RPC program 300272 version 2: each unpacks the
// decoded arguments, calls one operation of the active driver-operation table
// and fills the reply. The dispatcher sends the reply and frees both records.
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <mutex>
#include <string>

#include "backend/errors.h"
#include "drv_ops.h"
#include "model/drv_param_codes.h"
#include "rpc/svc.h"
#include "server/call_gate.h"
#include "util/log.h"
#include "wire/services.h"

namespace {

// An operation no layer offers answers "driver not capable" rather than calling
// an empty slot.
#define OP(slot) (drv.ops ? drv.ops->slot : nullptr)

constexpr sgn32 XAER_RMERR = -3;

// The process's one server TLS context, made on a client's request (guarded
// by g_sslMu: two clients may ask at once).
std::mutex g_sslMu;
void* g_sslCtx = nullptr;

// The two TLS driver parameters: make the server context from a key file, and
// switch the calling connection to TLS after this reply.
errcode_t TlsParameter(svc_req* rq, uns32 opcode, const char* keyFile) {
  SVCXPRT* x = rq ? rq->rq_xprt : nullptr;
  if (opcode == DRVP_SRV_TLS_KEY_FILE) {
    if (!keyFile || !*keyFile) {
      logit(LOG_ERR, nullptr, 0, "no SSLKeyFile specified");
      return ER_INVALID_ARGUMENT;
    }
    std::lock_guard lock(g_sslMu);
    if (g_sslCtx) return ER_FUNCTION_SEQ;
    int capable = 0;
    if (!x || !VYRRPC_svc_control(x, VYRRPC_SVCCTL_TLS_CAPABLE, reinterpret_cast<char*>(&capable)) ||
        !capable)
      return ER_DRV_NO_SUPPORT;
    g_sslCtx = VYRRPC_new_ssl_ctx(1, keyFile);
    if (!g_sslCtx) {
      logit(LOG_ERR, nullptr, 0, "unable to initialize SSL from '%s'", keyFile);
      return ER_GENERAL_ERROR;
    }
    return ER_SUCCESS;
  }
  void* ctx = nullptr;
  {
    std::lock_guard lock(g_sslMu);
    ctx = g_sslCtx;
  }
  if (!ctx) return ER_DRV_NO_SUPPORT;
  if (!x || !VYRRPC_svc_control(x, VYRRPC_SVCCTL_SET_SSL_CTX, static_cast<char*>(ctx)))
    return ER_COMM_FAILURE;
  return ER_SUCCESS;
}

// The plain form of named parameter descriptions, for a layer without the named
// operation: null for none, else a copy the caller frees. n is at most 0xFFFF.
errcode_t PlainBindesc(const BindescX* x, unsigned n, Bindesc** out) {
  *out = nullptr;
  if (n == 0) return ER_SUCCESS;
  Bindesc* d = AllocBindesc(uns16(n));
  if (!d) return ER_NO_MEMORY;
  for (unsigned i = 0; i < n; i++)
    d[i] = Bindesc{x[i].sqlType, x[i].cType, x[i].precision, x[i].scale, x[i].usage};
  *out = d;
  return ER_SUCCESS;
}

}  // namespace

void dbsv_getdrvparameter_2_serv(svc_req*, call_getdrvparameter* a, getdrvparameterres* res) {
  char buf[4096];
  buf[0] = 0;
  memset(buf, 0, sizeof buf);
  auto op = OP(getDrvParameter);
  res->error = op ? op(a->handle, a->opcode, buf, sizeof buf, nullptr) : ER_DRV_NOT_CAPABLE;
  buf[sizeof buf - 1] = 0;
  switch (DrvParamKind(a->opcode)) {
    case DRVP_KIND_TEXT:
      res->value.type = 1;
      res->value.paramval_u.s = strdup(buf);
      break;
    case DRVP_KIND_INT:
      res->value.type = 2;
      memcpy(&res->value.paramval_u.l, buf, 4);
      break;
    default:
      res->value.type = 0;
      break;
  }
}

void dbsv_setdrvparameter_2_serv(svc_req* rq, call_setdrvparameter* a, errcode_t* res) {
  if (a->opcode == DRVP_SRV_TLS_KEY_FILE || a->opcode == DRVP_SRV_TLS_START) {
    *res = TlsParameter(rq, a->opcode, a->value.type == 1 ? a->value.paramval_u.s : nullptr);
    return;
  }
  auto op = OP(setDrvParameter);
  if (!op) {
    *res = ER_DRV_NOT_CAPABLE;
    return;
  }
  switch (DrvParamKind(a->opcode)) {
    case DRVP_KIND_TEXT:
      // A text parameter needs its text.
      if (a->value.type != 1 || !a->value.paramval_u.s) {
        *res = ER_INVALID_ARGUMENT;
        return;
      }
      *res = op(a->handle, a->opcode, a->value.paramval_u.s);
      return;
    case DRVP_KIND_INT:
      if (a->value.type != 2) {
        *res = ER_INVALID_ARGUMENT;
        return;
      }
      *res = op(a->handle, a->opcode, &a->value.paramval_u.l);
      return;
    default:
      *res = ER_DRV_NO_SUPPORT;
      return;
  }
}

void dbsv_errinfo_2_serv(svc_req*, handle_t* a, errinfores* res) {
  auto op = OP(errInfo);
  res->error = op ? op(*a, &res->info) : ER_DRV_NOT_CAPABLE;
}

void dbsv_server_2_serv(svc_req*, Server* a, handleres* res) {
  auto op = OP(server);
  res->error = op ? op(a, &res->handle) : ER_DRV_NOT_CAPABLE;
}

void dbsv_endserver_2_serv(svc_req*, handle_t* a, errcode_t* res) {
  auto op = OP(endServer);
  *res = op ? op(*a) : ER_DRV_NOT_CAPABLE;
}

void dbsv_connect_2_serv(svc_req*, call_connect* a, connectres* res) {
  auto op = OP(connect);
  if (!op) {
    res->error = ER_DRV_NOT_CAPABLE;
    return;
  }
  if (!a->arg) {
    res->error = ER_INVALID_ARGUMENT;
    return;
  }
  res->error = op(a->handle, a->arg, &res->handle);
  if (res->error == ER_SUCCESS) return;
  auto ei = OP(errInfo);
  if (!ei) return;
  // A failed connect leaves its texts on the server: hand them all over.
  std::string joined;
  bool any = false;
  for (int guard = 0; guard < 1000; guard++) {
    ErrInfo info{};
    if (ei(a->handle, &info) != ER_SUCCESS || info.messageCount == 0) {
      ErrInfo_Done(&info);
      break;
    }
    for (unsigned i = 0; i < info.messageCount; i++) {
      if (!info.messages[i]) continue;
      if (any) joined += '\n';
      joined += info.messages[i];
      any = true;
    }
    ErrInfo_Done(&info);
  }
  if (any) res->fail = strdup(joined.c_str());
}

void dbsv_endconnect_2_serv(svc_req*, handle_t* a, errcode_t* res) {
  auto op = OP(endConnect);
  *res = op ? op(*a) : ER_DRV_NOT_CAPABLE;
}

void dbsv_cursor_2_serv(svc_req*, handle_t* a, handleres* res) {
  auto op = OP(cursor);
  res->error = op ? op(*a, &res->handle) : ER_DRV_NOT_CAPABLE;
}

void dbsv_endcursor_2_serv(svc_req*, handle_t* a, errcode_t* res) {
  auto op = OP(endCursor);
  *res = op ? op(*a) : ER_DRV_NOT_CAPABLE;
}

void dbsv_getcursorname_2_serv(svc_req*, handle_t* a, cursorname* res) {
  char buf[64];
  memset(buf, 0, sizeof buf);
  auto op = OP(getCursorName);
  res->error = op ? op(*a, buf, sizeof buf, nullptr) : ER_DRV_NOT_CAPABLE;
  buf[sizeof buf - 1] = 0;
  res->name = strdup(buf);
}

void dbsv_setcursorname_2_serv(svc_req*, call_setcursorname* a, errcode_t* res) {
  auto op = OP(setCursorName);
  *res = op ? op(a->handle, a->newName) : ER_DRV_NOT_CAPABLE;
}

void dbsv_prepare_2_serv(svc_req*, call_prepare* a, errcode_t* res) {
  auto op = OP(prepare);
  *res = op ? op(a->handle, a->request) : ER_DRV_NOT_CAPABLE;
}

void dbsv_parameters_2_serv(svc_req*, call_parameters* a, errcode_t* res) {
  auto op = OP(parameters);
  if (!op) {
    *res = ER_DRV_NOT_CAPABLE;
    return;
  }
  *res = op(a->handle, a->parameters);
  // The operation keeps the dataset when it accepted the handle.
  if (*res == ER_SUCCESS) a->parameters = nullptr;
}

void dbsv_execute_2_serv(svc_req*, handle_t* a, errcode_t* res) {
  auto op = OP(execute);
  *res = op ? op(*a) : ER_DRV_NOT_CAPABLE;
}

void dbsv_executen_2_serv(svc_req*, call_executen* a, executenres* res) {
  auto op = OP(executeN);
  res->error = op ? op(a->handle, a->offset, a->count, &res->count) : ER_DRV_NOT_CAPABLE;
}

void dbsv_describecolumns_2_serv(svc_req*, handle_t* a, coldescres* res) {
  auto op = OP(describeColumns);
  uns16 n = 0;
  res->error = op ? op(*a, &n, &res->desc.desc_val) : ER_DRV_NOT_CAPABLE;
  res->desc.desc_len = res->desc.desc_val ? n : 0;
}

void dbsv_describeparams_2_serv(svc_req*, handle_t* a, coldescres* res) {
  auto op = OP(describeParams);
  uns16 n = 0;
  res->error = op ? op(*a, &n, &res->desc.desc_val) : ER_DRV_NOT_CAPABLE;
  res->desc.desc_len = res->desc.desc_val ? n : 0;
}

void dbsv_nativesql_2_serv(svc_req*, call_nativesql* a, nativesqlres* res) {
  char buf[4096];
  memset(buf, 0, sizeof buf);
  auto op = OP(nativeSQL);
  res->error = op ? op(a->handle, a->sql, buf, sizeof buf, nullptr) : ER_DRV_NOT_CAPABLE;
  buf[sizeof buf - 1] = 0;
  res->translated = strdup(buf);
}

void dbsv_bind_2_serv(svc_req*, call_bind* a, errcode_t* res) {
  auto op = OP(bind);
  if (a->desc.desc_len > 0xFFFF) {
    *res = ER_INVALID_ARGUMENT;
    return;
  }
  *res = op ? op(a->handle, uns16(a->desc.desc_len), a->desc.desc_val) : ER_DRV_NOT_CAPABLE;
}

void dbsv_fetch_2_serv(svc_req*, call_fetch* a, datasetres* res) {
  auto op = OP(fetch);
  res->error = op ? op(a->handle, a->maxRows, &res->desc) : ER_DRV_NOT_CAPABLE;
}

void dbsv_close_2_serv(svc_req*, handle_t* a, errcode_t* res) {
  auto op = OP(close);
  *res = op ? op(*a) : ER_DRV_NOT_CAPABLE;
}

void dbsv_commit_2_serv(svc_req*, handle_t* a, errcode_t* res) {
  auto op = OP(commit);
  *res = op ? op(*a) : ER_DRV_NOT_CAPABLE;
}

void dbsv_rollback_2_serv(svc_req*, handle_t* a, errcode_t* res) {
  auto op = OP(rollback);
  *res = op ? op(*a) : ER_DRV_NOT_CAPABLE;
}

void dbsv_getoptable_2_serv(svc_req*, call_getoptable* a, getoptableres* res) {
  OpTable* t = static_cast<OpTable*>(calloc(1, sizeof(OpTable)));
  if (!t) {
    res->error = ER_NO_MEMORY;
    return;
  }
  res->table = t;
  t->type = a->type;
  auto op = OP(getOpTable);
  res->error = op ? op(a->handle, t) : ER_DRV_NOT_CAPABLE;
  if (res->error == ER_SUCCESS && t->numElem > 0 && t->values) {
    ParameterConversion* copy =
        static_cast<ParameterConversion*>(calloc(t->numElem, sizeof(ParameterConversion)));
    if (copy) memcpy(copy, t->values, sizeof(ParameterConversion) * t->numElem);
    t->values = copy;
    if (!copy) t->numElem = 0;
  } else {
    // Any other table type answers an empty table of the one type that travels.
    t->type = 1;
    t->numElem = 0;
    t->values = nullptr;
  }
}

void dbsv_moreresults_2_serv(svc_req*, handle_t* a, errcode_t* res) {
  auto op = OP(moreResults);
  *res = op ? op(*a) : ER_DRV_NOT_CAPABLE;
}

void dbsv_extendedfetch_2_serv(svc_req*, call_extendedfetch* a, xfetchres* res) {
  auto op = OP(xFetch);
  res->error = op ? op(a->handle, &res->pRowSet, a->irow, &res->crow, &res->RsltSetSize) : ER_DRV_NOT_CAPABLE;
}

void dbsv_setpos_2_serv(svc_req*, call_setpos* a, setposres* res) {
  auto op = OP(setPos);
  if (!op) {
    res->error = ER_DRV_NOT_CAPABLE;
    return;
  }
  uns32 n = 0;
  res->error = op(a->handle, a->irow, a->fOption, a->fLock, &res->rgfRowStatus.rgfRowStatus_val, &n, a->pDS,
                  a->rgiCol.rgiCol_val, uns16(a->rgiCol.rgiCol_len));
  res->rgfRowStatus.rgfRowStatus_len = res->rgfRowStatus.rgfRowStatus_val ? n : 0;
  a->pDS = nullptr;
  a->rgiCol.rgiCol_val = nullptr;
  a->rgiCol.rgiCol_len = 0;
}

void dbsv_getdata_2_serv(svc_req*, call_getdata* a, getdatares* res) {
  auto op = OP(getData);
  precision_t len = 0;
  res->error = op ? op(a->handle, a->iCol, a->iRow, a->cbWanted, &res->RcvBuff.RcvBuff_val, &len, &res->CType,
                       &res->cbRemaining)
                  : ER_DRV_NOT_CAPABLE;
  res->RcvBuff.RcvBuff_len = res->RcvBuff.RcvBuff_val ? len : 0;
}

void dbsv_putdata_2_serv(svc_req*, call_putdata* a, errcode_t* res) {
  auto op = OP(putData);
  *res = op ? op(a->handle, a->cType, a->ind, a->XferBuff.XferBuff_val, a->XferBuff.XferBuff_len)
            : ER_DRV_NOT_CAPABLE;
}

// Catalog procedures: an absent argument record answers "invalid argument".
#define CATALOG_SERV(name, slot, rec)                                   \
  void dbsv_##name##_2_serv(svc_req*, call_##name* a, errcode_t* res) { \
    auto op = OP(slot);                                                 \
    if (!op) {                                                          \
      *res = ER_DRV_NOT_CAPABLE;                                        \
      return;                                                           \
    }                                                                   \
    if (!a->arg) {                                                      \
      *res = ER_INVALID_ARGUMENT;                                       \
      return;                                                           \
    }                                                                   \
    *res = op(a->handle, a->arg);                                       \
  }
CATALOG_SERV(columnprivileges, ddColumnPrivileges, DDColumnPrivileges)
CATALOG_SERV(columns, ddColumns, DDColumns)
CATALOG_SERV(foreignkeys, ddForeignKeys, DDForeignKeys)
CATALOG_SERV(primarykeys, ddPrimaryKeys, DDPrimaryKeys)
CATALOG_SERV(procedurecolumns, ddProcedureColumns, DDProcedureColumns)
CATALOG_SERV(procedures, ddProcedures, DDProcedures)
CATALOG_SERV(specialcolumns, ddSpecialColumns, DDSpecialColumns)
CATALOG_SERV(statistics, ddStatistics, DDStatistics)
CATALOG_SERV(tableprivileges, ddTablePrivileges, DDTablePrivileges)
CATALOG_SERV(tables, ddTables, DDTables)
#undef CATALOG_SERV

void dbsv_typeinfo_2_serv(svc_req*, call_typeinfo* a, errcode_t* res) {
  auto op = OP(ddTypeInfo);
  *res = op ? op(a->handle, a->arg) : ER_DRV_NOT_CAPABLE;
}

void dbsv_paramdata_2_serv(svc_req*, handle_t* a, paramdatares* res) {
  auto op = OP(paramData);
  uns32 n = 0;
  res->error =
      op ? op(*a, &res->iCol, &res->iRow, &res->rgfRowStatus.rgfRowStatus_val, &n) : ER_DRV_NOT_CAPABLE;
  res->rgfRowStatus.rgfRowStatus_len = res->rgfRowStatus.rgfRowStatus_val ? n : 0;
}

void dbsv_extendedfetch2_2_serv(svc_req*, call_extendedfetch2* a, xfetchres* res) {
  auto op = OP(xFetch2);
  res->error = op ? op(a->handle, &res->pRowSet, a->irow, &res->crow, &res->RsltSetSize, a->fetchtype)
                  : ER_DRV_NOT_CAPABLE;
}

void dbsv_bulkoperations_2_serv(svc_req*, call_bulkoperations* a, bulkopres* res) {
  auto op = OP(bulkOperations);
  if (!op) {
    res->error = ER_DRV_NOT_CAPABLE;
    return;
  }
  // The dispatcher's argument checks bound the counts by the arrays sent.
  res->error =
      op(a->handle, a->fOperation, a->rBookMarks.rBookMarks_val, a->cRows, a->pDS, a->rgiCol.rgiCol_val,
         a->cCols, &res->rgfRowStatus.rgfRowStatus_val, &res->cRowsAffected, &res->pRowSet);
  // One status per bookmark, however many rows the operation touched.
  res->rgfRowStatus.rgfRowStatus_len = res->rgfRowStatus.rgfRowStatus_val ? a->cRows : 0;
  a->pDS = nullptr;
  a->rgiCol.rgiCol_val = nullptr;
  a->rgiCol.rgiCol_len = 0;
}

void dbsv_execute2_2_serv(svc_req*, call_execute2* a, errcode_t* res) {
  auto op = OP(execute2);
  if (!op || a->desc.desc_len > 0xFFFF) {
    *res = op ? ER_INVALID_ARGUMENT : ER_DRV_NOT_CAPABLE;
    return;
  }
  Dataset* ds = a->parameters;
  a->parameters = nullptr;  // taken over by the operation
  *res = op(a->handle, a->request, ds, uns16(a->desc.desc_len), a->desc.desc_val);
}

void dbsv_executej_2_serv(svc_req*, call_executej* a, executejres* res) {
  auto op = OP(executeJ);
  res->rowSetSize = a->rowSetSize;
  if (!op) {
    res->error = ER_DRV_NOT_CAPABLE;
    return;
  }
  uns16 nc = 0, np = 0;
  Dataset* ds = a->parameters;
  a->parameters = nullptr;
  res->error = op(a->hStmt, a->request, ds, uns16(a->desc.desc_len), a->desc.desc_val, &res->rowSetSize, &nc,
                  &res->colDesc.colDesc_val, &np, &res->parDesc.parDesc_val, &res->rowsProcessed);
  res->colDesc.colDesc_len = res->colDesc.colDesc_val ? nc : 0;
  res->parDesc.parDesc_len = res->parDesc.parDesc_val ? np : 0;
}

void dbsv_preparej_2_serv(svc_req*, call_preparej* a, preparejres* res) {
  auto op = OP(prepareJ);
  res->error =
      op ? op(a->hConn, a->request, a->cursConcurrency, a->cursType, &res->hStmt) : ER_DRV_NOT_CAPABLE;
}

void dbsv_fetchprocj_2_serv(svc_req*, handle_t* a, fetchprocjres* res) {
  auto op = OP(fetchprocJ);
  uns16 n = 0;
  res->error = op ? op(*a, &n, &res->desc.desc_val, &res->fetchdata) : ER_DRV_NOT_CAPABLE;
  res->desc.desc_len = res->desc.desc_val ? n : 0;
}

void dbsv_extendedfetch2j_2_serv(svc_req*, call_extendedfetch2* a, xfetchres* res) {
  auto op = OP(xFetch2J);
  res->error = op ? op(a->handle, &res->pRowSet, a->irow, &res->crow, &res->RsltSetSize, a->fetchtype)
                  : ER_DRV_NOT_CAPABLE;
}

void dbsv_getdataj_2_serv(svc_req*, call_getdata* a, getdatares* res) {
  auto op = OP(getDataJ);
  precision_t len = 0;
  res->error = op ? op(a->handle, a->iCol, a->iRow, a->cbWanted, &res->RcvBuff.RcvBuff_val, &len, &res->CType,
                       &res->cbRemaining)
                  : ER_DRV_NOT_CAPABLE;
  res->RcvBuff.RcvBuff_len = res->RcvBuff.RcvBuff_val ? len : 0;
}

void dbsv_executebatchj_2_serv(svc_req*, call_executebatch* a, executebatchres* res) {
  auto op = OP(executeBatchJ);
  if (!op) {
    res->batchError = ER_DRV_NOT_CAPABLE;
    return;
  }
  uns16 n = 0;
  res->batchError =
      op(a->hStmt, uns16(a->calls.calls_len), a->calls.calls_val, &n, &res->results.results_val);
  res->results.results_len = res->results.results_val ? n : 0;
  for (unsigned i = 0; i < a->calls.calls_len; i++) a->calls.calls_val[i].parameters = nullptr;
}

void dbsv_savepointj_2_serv(svc_req*, call_savepoint* a, errcode_t* res) {
  auto op = OP(savepointJ);
  *res = op ? op(a->hConn, a->cmd, a->name) : ER_DRV_NOT_CAPABLE;
}

void dbsv_colattributes_2_serv(svc_req*, handle_t* a, colattribsres* res) {
  auto op = OP(colAttributes);
  res->error = op ? op(*a, &res->nCols, &res->nAttribs, &res->desc.desc_val, &res->attrib.attrib_val)
                  : ER_DRV_NOT_CAPABLE;
  res->desc.desc_len = res->desc.desc_val ? res->nCols : 0;
  res->attrib.attrib_len = res->attrib.attrib_val ? res->nAttribs : 0;
}

void dbsv_executej2_2_serv(svc_req*, call_executej2* a, executej2res* res) {
  auto op = OP(executeJ2);
  res->rowSetSize = a->rowSetSize;
  if (!op) {
    res->error = ER_DRV_NOT_CAPABLE;
    return;
  }
  uns16 nc = 0, np = 0, na = 0;
  Dataset* ds = a->parameters;
  a->parameters = nullptr;
  res->error = op(a->hStmt, a->request, ds, uns16(a->desc.desc_len), a->desc.desc_val, &res->rowSetSize, &nc,
                  &res->colDesc.colDesc_val, &np, &res->parDesc.parDesc_val, &na, &res->attrib.attrib_val,
                  &res->rowsProcessed);
  res->colDesc.colDesc_len = res->colDesc.colDesc_val ? nc : 0;
  res->parDesc.parDesc_len = res->parDesc.parDesc_val ? np : 0;
  res->nAttribs = na;
  res->attrib.attrib_len = res->attrib.attrib_val ? na : 0;
}

void dbsv_execute2x_2_serv(svc_req*, call_execute2x* a, errcode_t* res) {
  if (a->desc.desc_len > 0xFFFF) {
    *res = ER_INVALID_ARGUMENT;
    return;
  }
  if (auto op = OP(execute2X)) {
    Dataset* ds = a->parameters;
    a->parameters = nullptr;
    *res = op(a->handle, a->request, ds, uns16(a->desc.desc_len), a->desc.desc_val);
    return;
  }
  // Without its own operation, the named descriptions are converted and the
  // plain combined execute runs.
  auto op = OP(execute2);
  if (!op) {
    *res = ER_DRV_NOT_CAPABLE;
    return;
  }
  Bindesc* d = nullptr;
  *res = PlainBindesc(a->desc.desc_val, a->desc.desc_len, &d);
  if (*res != ER_SUCCESS) return;
  Dataset* ds = a->parameters;
  a->parameters = nullptr;
  *res = op(a->handle, a->request, ds, uns16(a->desc.desc_len), d);
  free(d);
}

// XA procedures: no layer offers distributed transactions; each answers the XA
// code for a resource-manager error with empty results.
#define XA_SERV(name, slot, call)                                   \
  void dbsv_##name##_2_serv(svc_req*, call_##name* a, sgn32* res) { \
    auto op = OP(slot);                                             \
    *res = op ? call : XAER_RMERR;                                  \
  }
XA_SERV(xaclose, xaClose, op(a->hConn, a->xaInfo, a->rmId, a->flags))
XA_SERV(xacommit, xaCommit, op(a->hConn, a->xId, a->rmId, a->flags))
XA_SERV(xaend, xaEnd, op(a->hConn, a->xId, a->rmId, a->flags))
XA_SERV(xaforget, xaForget, op(a->hConn, a->xId, a->rmId, a->flags))
XA_SERV(xaopen, xaOpen, op(a->hConn, a->bUseProxying, a->xaInfo, a->rmId, a->flags))
XA_SERV(xaprepare, xaPrepare, op(a->hConn, a->xId, a->rmId, a->flags))
XA_SERV(xarollback, xaRollback, op(a->hConn, a->xId, a->rmId, a->flags))
XA_SERV(xastart, xaStart, op(a->hConn, a->xId, a->rmId, a->flags))
#undef XA_SERV

void dbsv_xacomplete_2_serv(svc_req*, call_xacomplete* a, xacmpltres* res) {
  auto op = OP(xaComplete);
  res->retVal = 0;
  res->xarc = op ? op(a->hConn, a->hTmAsyncFunc, &res->retVal, a->rmId, a->flags) : XAER_RMERR;
}

void dbsv_xarecover_2_serv(svc_req*, call_xarecover* a, xarcvrres* res) {
  auto op = OP(xaRecover);
  if (!op) {
    res->xarc = XAER_RMERR;
    return;
  }
  size_t n = a->count > 0 ? size_t(a->count) : 1;
  if (n > 65536) n = 65536;
  XID_t* ids = static_cast<XID_t*>(calloc(n, sizeof(XID_t)));
  if (!ids) {
    res->xarc = XAER_RMERR;
    return;
  }
  res->xarc = op(a->hConn, ids, sgn32(n), a->rmId, a->flags);
  if (res->xarc > 0) {
    res->xIds.xIds_val = ids;
    res->xIds.xIds_len = unsigned(std::min<size_t>(size_t(res->xarc), n));
  } else {
    free(ids);
  }
}

void dbsv_bindx_2_serv(svc_req*, call_bindx* a, errcode_t* res) {
  if (a->desc.desc_len > 0xFFFF) {
    *res = ER_INVALID_ARGUMENT;
    return;
  }
  if (auto op = OP(bindX)) {
    *res = op(a->handle, uns16(a->desc.desc_len), a->desc.desc_val);
    return;
  }
  auto op = OP(bind);
  if (!op) {
    *res = ER_DRV_NOT_CAPABLE;
    return;
  }
  Bindesc* d = nullptr;
  *res = PlainBindesc(a->desc.desc_val, a->desc.desc_len, &d);
  if (*res != ER_SUCCESS) return;
  *res = op(a->handle, uns16(a->desc.desc_len), d);
  free(d);
}

void dbsv_install_services() {
  // Every procedure passes the gate: it holds the session of the handle it names.
#define DBSV_GATED_FILL_ITEM(n, name, A, R, xa, xr) tbl.proc[n] = &gated_service<A, R, &dbsv_##name##_2_serv>;
  dbsv_service_table tbl{};
  DBSV_PROCEDURES(DBSV_GATED_FILL_ITEM)
#undef DBSV_GATED_FILL_ITEM
  dbsv_set_services(&tbl);
}
