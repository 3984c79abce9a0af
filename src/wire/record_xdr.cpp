// XDR routines of the request and reply records.
#include "wire/record_xdr.h"

#include <climits>
#include <cstdlib>
#include <type_traits>

#include "rpc/xdr_call.h"
#include "model/wire_alloc.h"
#include "util/unicode.h"

namespace {
// A plain XDR string without a maximum; null travels as the empty string.
int xdr_plain_string(XDR* x, char** s) {
  if (x->x_op == XDR_ENCODE && !*s) {
    char empty[1] = {0};
    char* p = empty;
    return VYRRPC_xdr_wrapstring(x, &p);
  }
  if (x->x_op == XDR_DECODE) {
    // Read the length first: 0xFFFFFFFF and lengths past the budget are refused.
    uint32_t len;
    if (!VYRRPC_xdr_u_int(x, &len)) return FALSE;
    if (len == 0xFFFFFFFFu || !wire_decode_charge(uint64_t(len) + 1)) return FALSE;
    std::free(*s);
    *s = static_cast<char*>(wire_malloc(uint64_t(len) + 1));
    if (!*s) return FALSE;
    (*s)[len] = 0;
    return len == 0 || VYRRPC_xdr_opaque(x, *s, len);
  }
  return VYRRPC_xdr_wrapstring(x, s);
}

// An optional record: a presence flag, then the record through F when present.
template <auto F, typename T>
VYRRPC_CALLS_FILTERS int xdr_optional(XDR* x, T** p) {
  static_assert(std::is_same_v<typename WireElementOf<decltype(F)>::type, T>, "routine of another record");
  return VYRRPC_xdr_pointer(x, reinterpret_cast<char**>(p), sizeof(T), reinterpret_cast<xdrproc_t>(F));
}

// A counted array (a record's {name_len, name_val} pair): the count, then each element
// through F, charged to the record's budget before it is decoded.
template <auto F, typename Array>
VYRRPC_CALLS_FILTERS int xdr_counted(XDR* x, Array& a) {
  auto& [len, val] = a;
  using T = typename WireElementOf<decltype(F)>::type;
  static_assert(std::is_same_v<decltype(len), unsigned int> && std::is_same_v<decltype(val), T*>,
                "not a counted array of F's elements");
  return VYRRPC_xdr_array(x, reinterpret_cast<char**>(&val), &len, UINT_MAX, sizeof(T),
                          reinterpret_cast<xdrproc_t>(wire_charged<F>));
}

// The statement handle and one optional record: the connect and catalog calls.
template <auto F, typename C>
VYRRPC_CALLS_FILTERS int xdr_handle_and_arg(XDR* x, C* r) {
  WireDecodeScope scope(x);
  return VYRXDR_handle_t(x, &r->handle) && xdr_optional<F>(x, &r->arg);
}

// What every execute call starts with: handle, statement text, optional parameters
// and the bind descriptions.
template <auto F, typename C>
VYRRPC_CALLS_FILTERS int xdr_execute_args(XDR* x, handle_t* handle, C* r) {
  return VYRXDR_handle_t(x, handle) && VYRXDR_String(x, &r->request) &&
         xdr_optional<VYRXDR_Dataset>(x, &r->parameters) && xdr_counted<F>(x, r->desc);
}

// The first three fields of the catalog records that name a table.
template <typename D>
int xdr_table_name(XDR* x, D* r) {
  return VYRXDR_String(x, &r->tableQualifier) && VYRXDR_String(x, &r->tableOwner) &&
         VYRXDR_String(x, &r->tableName);
}

// The reply of an execute that reports columns and parameters (executej, executej2).
template <typename R>
VYRRPC_CALLS_FILTERS int xdr_executej_reply(XDR* x, R* r) {
  return VYRXDR_errcode_t(x, &r->error) && VYRXDR_sgn32(x, &r->rowSetSize) &&
         xdr_counted<VYRXDR_Coldesc>(x, r->colDesc) && xdr_counted<VYRXDR_Coldesc>(x, r->parDesc) &&
         VYRXDR_sgn32(x, &r->rowsProcessed);
}
}  // namespace

VYRRPC_CALLS_FILTERS
int VYRXDR_call_getdrvparameter(XDR* x, call_getdrvparameter* r) {
  WireDecodeScope scope(x);
  return VYRXDR_handle_t(x, &r->handle) && VYRXDR_uns32(x, &r->opcode);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_call_setdrvparameter(XDR* x, call_setdrvparameter* r) {
  WireDecodeScope scope(x);
  return VYRXDR_handle_t(x, &r->handle) && VYRXDR_uns32(x, &r->opcode) && VYRXDR_paramval(x, &r->value);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_call_getoptable(XDR* x, call_getoptable* r) {
  WireDecodeScope scope(x);
  return VYRXDR_handle_t(x, &r->handle) && VYRXDR_uns16(x, &r->type);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_Server(XDR* x, Server* r) {
  WireDecodeScope scope(x);
  return VYRXDR_String(x, &r->serverOptions) && VYRXDR_String(x, &r->serverType);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_Connect(XDR* x, Connect* r) {
  WireDecodeScope scope(x);
  return VYRXDR_String(x, &r->svHost) && VYRXDR_String(x, &r->svOptions) && VYRXDR_String(x, &r->dbType) &&
         VYRXDR_String(x, &r->dbPath) && VYRXDR_String(x, &r->dbName) && VYRXDR_String(x, &r->dbOptions) &&
         VYRRPC_xdr_bool(x, &r->readOnly) && VYRXDR_String(x, &r->userName) &&
         VYRXDR_String(x, &r->password) && VYRXDR_uns16(x, &r->loginTimeout) &&
         VYRXDR_String(x, &r->protocol) && VYRXDR_uns16(x, &r->spare) && xdr_localBool(x, &r->useSSL) &&
         VYRXDR_localString(x, &r->application);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_call_connect(XDR* x, call_connect* r) { return xdr_handle_and_arg<VYRXDR_Connect>(x, r); }

VYRRPC_CALLS_FILTERS
int VYRXDR_call_setcursorname(XDR* x, call_setcursorname* r) {
  WireDecodeScope scope(x);
  return VYRXDR_handle_t(x, &r->handle) && xdr_plain_string(x, &r->newName);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_call_prepare(XDR* x, call_prepare* r) {
  WireDecodeScope scope(x);
  return VYRXDR_handle_t(x, &r->handle) && xdr_plain_string(x, &r->request);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_call_nativesql(XDR* x, call_nativesql* r) {
  WireDecodeScope scope(x);
  return VYRXDR_handle_t(x, &r->handle) && xdr_plain_string(x, &r->sql);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_call_parameters(XDR* x, call_parameters* r) {
  WireDecodeScope scope(x);
  return VYRXDR_handle_t(x, &r->handle) && xdr_optional<VYRXDR_Dataset>(x, &r->parameters);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_call_executen(XDR* x, call_executen* r) {
  WireDecodeScope scope(x);
  return VYRXDR_handle_t(x, &r->handle) && VYRXDR_uns16(x, &r->offset) && VYRXDR_uns16(x, &r->count);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_call_bind(XDR* x, call_bind* r) {
  WireDecodeScope scope(x);
  return VYRXDR_handle_t(x, &r->handle) && xdr_counted<VYRXDR_Bindesc>(x, r->desc);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_call_execute2(XDR* x, call_execute2* r) {
  WireDecodeScope scope(x);
  return xdr_execute_args<VYRXDR_Bindesc>(x, &r->handle, r);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_call_executej(XDR* x, call_executej* r) {
  WireDecodeScope scope(x);
  return xdr_execute_args<VYRXDR_Bindesc>(x, &r->hStmt, r) && VYRXDR_sgn32(x, &r->rowSetSize);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_call_preparej(XDR* x, call_preparej* r) {
  WireDecodeScope scope(x);
  return VYRXDR_handle_t(x, &r->hConn) && VYRXDR_String(x, &r->request) &&
         VYRXDR_sgn32(x, &r->cursConcurrency) && VYRXDR_sgn32(x, &r->cursType);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_Batch(XDR* x, Batch* r) {
  WireDecodeScope scope(x);
  return VYRXDR_String(x, &r->request) && xdr_counted<VYRXDR_Bindesc>(x, r->desc) &&
         xdr_optional<VYRXDR_Dataset>(x, &r->parameters);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_call_executebatch(XDR* x, call_executebatch* r) {
  WireDecodeScope scope(x);
  return VYRXDR_handle_t(x, &r->hStmt) && xdr_counted<VYRXDR_Batch>(x, r->calls);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_call_savepoint(XDR* x, call_savepoint* r) {
  WireDecodeScope scope(x);
  return VYRXDR_handle_t(x, &r->hConn) && VYRXDR_savePntCmd_t(x, &r->cmd) && VYRXDR_String(x, &r->name);
}

VYRRPC_CALLS_FILTERS
int xdr_call_execute2x(XDR* x, call_execute2x* r) {
  WireDecodeScope scope(x);
  return xdr_execute_args<xdr_BindescX>(x, &r->handle, r);
}

VYRRPC_CALLS_FILTERS
int xdr_call_bindx(XDR* x, call_bindx* r) {
  WireDecodeScope scope(x);
  return VYRXDR_handle_t(x, &r->handle) && xdr_counted<xdr_BindescX>(x, r->desc);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_call_fetch(XDR* x, call_fetch* r) {
  WireDecodeScope scope(x);
  return VYRXDR_handle_t(x, &r->handle) && VYRXDR_uns16(x, &r->maxRows);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_call_extendedfetch(XDR* x, call_extendedfetch* r) {
  WireDecodeScope scope(x);
  return VYRXDR_handle_t(x, &r->handle) && VYRXDR_sgn32(x, &r->irow);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_call_extendedfetch2(XDR* x, call_extendedfetch2* r) {
  WireDecodeScope scope(x);
  return VYRXDR_handle_t(x, &r->handle) && VYRXDR_sgn32(x, &r->irow) && VYRXDR_sgn32(x, &r->fetchtype);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_call_setpos(XDR* x, call_setpos* r) {
  WireDecodeScope scope(x);
  return VYRXDR_handle_t(x, &r->handle) && VYRXDR_sgn32(x, &r->irow) && VYRXDR_uns16(x, &r->fOption) &&
         VYRXDR_uns16(x, &r->fLock) && xdr_optional<VYRXDR_Dataset>(x, &r->pDS) &&
         xdr_counted<VYRXDR_uns16>(x, r->rgiCol);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_call_bulkoperations(XDR* x, call_bulkoperations* r) {
  WireDecodeScope scope(x);
  return VYRXDR_handle_t(x, &r->handle) && VYRXDR_uns16(x, &r->fOperation) &&
         xdr_counted<VYRXDR_bookmark_t>(x, r->rBookMarks) && VYRXDR_uns16(x, &r->cRows) &&
         xdr_optional<VYRXDR_Dataset>(x, &r->pDS) && xdr_counted<VYRXDR_uns16>(x, r->rgiCol) &&
         VYRXDR_uns16(x, &r->cCols);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_call_getdata(XDR* x, call_getdata* r) {
  WireDecodeScope scope(x);
  return VYRXDR_handle_t(x, &r->handle) && VYRXDR_sgn32(x, &r->iCol) && VYRXDR_sgn32(x, &r->iRow) &&
         VYRXDR_uns32(x, &r->cbWanted);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_call_typeinfo(XDR* x, call_typeinfo* r) {
  WireDecodeScope scope(x);
  return VYRXDR_handle_t(x, &r->handle) && VYRXDR_sgn16(x, &r->arg);
}

VYRRPC_CALLS_FILTERS
int xdr_call_xaclose(XDR* x, call_xaclose* r) {
  WireDecodeScope scope(x);
  return VYRXDR_handle_t(x, &r->hConn) && VYRXDR_String(x, &r->xaInfo) && VYRXDR_sgn32(x, &r->rmId) &&
         VYRXDR_sgn32(x, &r->flags);
}

VYRRPC_CALLS_FILTERS
int xdr_call_xa(XDR* x, call_xa* r) {
  WireDecodeScope scope(x);
  return VYRXDR_handle_t(x, &r->hConn) && xdr_optional<xdr_XID_t>(x, &r->xId) && VYRXDR_sgn32(x, &r->rmId) &&
         VYRXDR_sgn32(x, &r->flags);
}

VYRRPC_CALLS_FILTERS
int xdr_call_xacomplete(XDR* x, call_xacomplete* r) {
  WireDecodeScope scope(x);
  return VYRXDR_handle_t(x, &r->hConn) && xdr_optional<VYRXDR_sgn32>(x, &r->hTmAsyncFunc) &&
         VYRXDR_sgn32(x, &r->rmId) && VYRXDR_sgn32(x, &r->flags);
}

VYRRPC_CALLS_FILTERS
int xdr_call_xaopen(XDR* x, call_xaopen* r) {
  WireDecodeScope scope(x);
  return VYRXDR_handle_t(x, &r->hConn) && VYRRPC_xdr_bool(x, &r->bUseProxying) &&
         VYRXDR_String(x, &r->xaInfo) && VYRXDR_sgn32(x, &r->rmId) && VYRXDR_sgn32(x, &r->flags);
}

VYRRPC_CALLS_FILTERS
int xdr_call_xarecover(XDR* x, call_xarecover* r) {
  WireDecodeScope scope(x);
  return VYRXDR_handle_t(x, &r->hConn) && VYRXDR_sgn32(x, &r->count) && VYRXDR_sgn32(x, &r->rmId) &&
         VYRXDR_sgn32(x, &r->flags);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_Request(XDR* x, Request* r) {
  WireDecodeScope scope(x);
  return VYRXDR_String(x, &r->original) && VYRXDR_String(x, &r->translated) &&
         VYRXDR_uns16(x, &r->numOutput) && VYRXDR_uns16(x, &r->numInput) &&
         VYRXDR_uns16(x, &r->numInputOutput) && VYRXDR_uns16(x, &r->reqType) && VYRXDR_uns16(x, &r->flags);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_getdrvparameterres(XDR* x, getdrvparameterres* r) {
  WireDecodeScope scope(x);
  return VYRXDR_errcode_t(x, &r->error) && VYRXDR_paramval(x, &r->value);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_errinfores(XDR* x, errinfores* r) {
  WireDecodeScope scope(x);
  return VYRXDR_errcode_t(x, &r->error) && VYRXDR_ErrInfo(x, &r->info);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_handleres(XDR* x, handleres* r) {
  WireDecodeScope scope(x);
  return VYRXDR_errcode_t(x, &r->error) && VYRXDR_handle_t(x, &r->handle);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_connectres(XDR* x, connectres* r) {
  WireDecodeScope scope(x);
  return VYRXDR_errcode_t(x, &r->error) && VYRXDR_handle_t(x, &r->handle) && VYRXDR_String(x, &r->fail);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_cursorname(XDR* x, cursorname* r) {
  WireDecodeScope scope(x);
  return VYRXDR_errcode_t(x, &r->error) && xdr_plain_string(x, &r->name);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_executenres(XDR* x, executenres* r) {
  WireDecodeScope scope(x);
  return VYRXDR_errcode_t(x, &r->error) && VYRXDR_uns16(x, &r->count);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_coldescres(XDR* x, coldescres* r) {
  WireDecodeScope scope(x);
  return VYRXDR_errcode_t(x, &r->error) && xdr_counted<VYRXDR_Coldesc>(x, r->desc);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_nativesqlres(XDR* x, nativesqlres* r) {
  WireDecodeScope scope(x);
  return VYRXDR_errcode_t(x, &r->error) && xdr_plain_string(x, &r->translated);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_datasetres(XDR* x, datasetres* r) {
  WireDecodeScope scope(x);
  return VYRXDR_errcode_t(x, &r->error) && VYRXDR_Dataset(x, &r->desc);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_getoptableres(XDR* x, getoptableres* r) {
  WireDecodeScope scope(x);
  return VYRXDR_errcode_t(x, &r->error) && xdr_optional<VYRXDR_OpTable>(x, &r->table);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_xfetchres(XDR* x, xfetchres* r) {
  WireDecodeScope scope(x);
  return VYRXDR_errcode_t(x, &r->error) && xdr_optional<VYRXDR_RowSet>(x, &r->pRowSet) &&
         VYRXDR_uns32(x, &r->crow) && VYRXDR_sgn32(x, &r->RsltSetSize);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_setposres(XDR* x, setposres* r) {
  WireDecodeScope scope(x);
  return VYRXDR_errcode_t(x, &r->error) && xdr_counted<VYRXDR_uns16>(x, r->rgfRowStatus);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_paramdatares(XDR* x, paramdatares* r) {
  WireDecodeScope scope(x);
  return VYRXDR_errcode_t(x, &r->error) && VYRXDR_sgn32(x, &r->iCol) && VYRXDR_sgn32(x, &r->iRow) &&
         xdr_counted<VYRXDR_uns16>(x, r->rgfRowStatus);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_bulkopres(XDR* x, bulkopres* r) {
  WireDecodeScope scope(x);
  return VYRXDR_errcode_t(x, &r->error) && xdr_counted<VYRXDR_uns16>(x, r->rgfRowStatus) &&
         VYRXDR_uns16(x, &r->cRowsAffected) && xdr_optional<VYRXDR_RowSet>(x, &r->pRowSet);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_executejres(XDR* x, executejres* r) {
  WireDecodeScope scope(x);
  return xdr_executej_reply(x, r);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_preparejres(XDR* x, preparejres* r) {
  WireDecodeScope scope(x);
  return VYRXDR_errcode_t(x, &r->error) && VYRXDR_handle_t(x, &r->hStmt);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_fetchprocjres(XDR* x, fetchprocjres* r) {
  WireDecodeScope scope(x);
  return VYRXDR_errcode_t(x, &r->error) && xdr_counted<VYRXDR_Coldesc>(x, r->desc) &&
         VYRXDR_Dataset(x, &r->fetchdata);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_executebatchres(XDR* x, executebatchres* r) {
  WireDecodeScope scope(x);
  return VYRXDR_errcode_t(x, &r->batchError) && xdr_counted<VYRXDR_sgn32>(x, r->results);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_colattribsres(XDR* x, colattribsres* r) {
  WireDecodeScope scope(x);
  return VYRXDR_errcode_t(x, &r->error) && VYRXDR_uns16(x, &r->nCols) && VYRXDR_uns16(x, &r->nAttribs) &&
         xdr_counted<VYRXDR_Coldesc>(x, r->desc) && xdr_counted<VYRXDR_ColAttrib>(x, r->attrib);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_executej2res(XDR* x, executej2res* r) {
  WireDecodeScope scope(x);
  return xdr_executej_reply(x, r) && VYRXDR_uns16(x, &r->nAttribs) &&
         xdr_counted<VYRXDR_ColAttrib>(x, r->attrib);
}

VYRRPC_CALLS_FILTERS
int xdr_xacmpltres(XDR* x, xacmpltres* r) {
  WireDecodeScope scope(x);
  return VYRXDR_sgn32(x, &r->xarc) && VYRXDR_sgn32(x, &r->retVal);
}

VYRRPC_CALLS_FILTERS
int xdr_xarcvrres(XDR* x, xarcvrres* r) {
  WireDecodeScope scope(x);
  return VYRXDR_sgn32(x, &r->xarc) && xdr_counted<xdr_XID_t>(x, r->xIds);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_DDColumnPrivileges(XDR* x, DDColumnPrivileges* r) {
  WireDecodeScope scope(x);
  return xdr_table_name(x, r) && VYRXDR_String(x, &r->columnName);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_DDColumns(XDR* x, DDColumns* r) {
  WireDecodeScope scope(x);
  return xdr_table_name(x, r) && VYRXDR_String(x, &r->columnName);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_DDForeignKeys(XDR* x, DDForeignKeys* r) {
  WireDecodeScope scope(x);
  return VYRXDR_String(x, &r->pkTableQualifier) && VYRXDR_String(x, &r->pkTableOwner) &&
         VYRXDR_String(x, &r->pkTableName) && VYRXDR_String(x, &r->fkTableQualifier) &&
         VYRXDR_String(x, &r->fkTableOwner) && VYRXDR_String(x, &r->fkTableName);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_DDPrimaryKeys(XDR* x, DDPrimaryKeys* r) {
  WireDecodeScope scope(x);
  return xdr_table_name(x, r);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_DDProcedureColumns(XDR* x, DDProcedureColumns* r) {
  WireDecodeScope scope(x);
  return VYRXDR_String(x, &r->procQualifier) && VYRXDR_String(x, &r->procOwner) &&
         VYRXDR_String(x, &r->procName) && VYRXDR_String(x, &r->columnName);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_DDProcedures(XDR* x, DDProcedures* r) {
  WireDecodeScope scope(x);
  return VYRXDR_String(x, &r->procQualifier) && VYRXDR_String(x, &r->procOwner) &&
         VYRXDR_String(x, &r->procName);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_DDSpecialColumns(XDR* x, DDSpecialColumns* r) {
  WireDecodeScope scope(x);
  return xdr_table_name(x, r) && VYRXDR_uns16(x, &r->colType) && VYRXDR_uns16(x, &r->scope) &&
         VYRXDR_uns16(x, &r->nullable);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_DDStatistics(XDR* x, DDStatistics* r) {
  WireDecodeScope scope(x);
  return xdr_table_name(x, r) && VYRXDR_uns16(x, &r->unique) && VYRXDR_uns16(x, &r->accuracy);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_DDTablePrivileges(XDR* x, DDTablePrivileges* r) {
  WireDecodeScope scope(x);
  return xdr_table_name(x, r);
}

VYRRPC_CALLS_FILTERS
int VYRXDR_DDTables(XDR* x, DDTables* r) {
  WireDecodeScope scope(x);
  return xdr_table_name(x, r) && VYRXDR_String(x, &r->tableType);
}

// The catalog calls: the statement handle and the catalog arguments.
VYRRPC_CALLS_FILTERS int VYRXDR_call_columnprivileges(XDR* x, call_columnprivileges* r) {
  return xdr_handle_and_arg<VYRXDR_DDColumnPrivileges>(x, r);
}
VYRRPC_CALLS_FILTERS int VYRXDR_call_columns(XDR* x, call_columns* r) {
  return xdr_handle_and_arg<VYRXDR_DDColumns>(x, r);
}
VYRRPC_CALLS_FILTERS int VYRXDR_call_foreignkeys(XDR* x, call_foreignkeys* r) {
  return xdr_handle_and_arg<VYRXDR_DDForeignKeys>(x, r);
}
VYRRPC_CALLS_FILTERS int VYRXDR_call_primarykeys(XDR* x, call_primarykeys* r) {
  return xdr_handle_and_arg<VYRXDR_DDPrimaryKeys>(x, r);
}
VYRRPC_CALLS_FILTERS int VYRXDR_call_procedurecolumns(XDR* x, call_procedurecolumns* r) {
  return xdr_handle_and_arg<VYRXDR_DDProcedureColumns>(x, r);
}
VYRRPC_CALLS_FILTERS int VYRXDR_call_procedures(XDR* x, call_procedures* r) {
  return xdr_handle_and_arg<VYRXDR_DDProcedures>(x, r);
}
VYRRPC_CALLS_FILTERS int VYRXDR_call_specialcolumns(XDR* x, call_specialcolumns* r) {
  return xdr_handle_and_arg<VYRXDR_DDSpecialColumns>(x, r);
}
VYRRPC_CALLS_FILTERS int VYRXDR_call_statistics(XDR* x, call_statistics* r) {
  return xdr_handle_and_arg<VYRXDR_DDStatistics>(x, r);
}
VYRRPC_CALLS_FILTERS int VYRXDR_call_tableprivileges(XDR* x, call_tableprivileges* r) {
  return xdr_handle_and_arg<VYRXDR_DDTablePrivileges>(x, r);
}
VYRRPC_CALLS_FILTERS int VYRXDR_call_tables(XDR* x, call_tables* r) {
  return xdr_handle_and_arg<VYRXDR_DDTables>(x, r);
}

int xdr_call_xacommit(XDR* x, call_xacommit* r) { return xdr_call_xa(x, r); }
int xdr_call_xaend(XDR* x, call_xaend* r) { return xdr_call_xa(x, r); }
int xdr_call_xaforget(XDR* x, call_xaforget* r) { return xdr_call_xa(x, r); }
int xdr_call_xaprepare(XDR* x, call_xaprepare* r) { return xdr_call_xa(x, r); }
int xdr_call_xarollback(XDR* x, call_xarollback* r) { return xdr_call_xa(x, r); }
int xdr_call_xastart(XDR* x, call_xastart* r) { return xdr_call_xa(x, r); }
int VYRXDR_call_executej2(XDR* x, call_executej2* r) { return VYRXDR_call_executej(x, r); }
