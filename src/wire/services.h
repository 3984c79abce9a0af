// The procedures of RPC program 300272 version 2 and the interface between the
// dispatcher (wire/dispatcher.h) and the service procedures, which live with the
// agent server. The server defines one service procedure per procedure below and
// hands the dispatcher a table of them with dbsv_set_services().
#pragma once

#include "model/reply_records.h"

struct svc_req;
struct SVCXPRT;

constexpr unsigned int DBSVPROG = 300272;
constexpr unsigned int DBSVVERS = 2;
constexpr unsigned int DBSV_MAXPROC = 66;

// X(number, name, argument record, result record, argument routine, result routine)
// for every procedure with a service procedure dbsv_<name>_2_serv.
#define DBSV_PROCEDURES(X)                                                                                   \
  X(1, getdrvparameter, call_getdrvparameter, getdrvparameterres, VYRXDR_call_getdrvparameter,               \
    VYRXDR_getdrvparameterres)                                                                               \
  X(2, setdrvparameter, call_setdrvparameter, errcode_t, VYRXDR_call_setdrvparameter, VYRXDR_errcode_t)      \
  X(3, errinfo, handle_t, errinfores, VYRXDR_handle_t, VYRXDR_errinfores)                                    \
  X(4, server, Server, handleres, VYRXDR_Server, VYRXDR_handleres)                                           \
  X(5, endserver, handle_t, errcode_t, VYRXDR_handle_t, VYRXDR_errcode_t)                                    \
  X(6, connect, call_connect, connectres, VYRXDR_call_connect, VYRXDR_connectres)                            \
  X(7, endconnect, handle_t, errcode_t, VYRXDR_handle_t, VYRXDR_errcode_t)                                   \
  X(8, cursor, handle_t, handleres, VYRXDR_handle_t, VYRXDR_handleres)                                       \
  X(9, endcursor, handle_t, errcode_t, VYRXDR_handle_t, VYRXDR_errcode_t)                                    \
  X(10, getcursorname, handle_t, cursorname, VYRXDR_handle_t, VYRXDR_cursorname)                             \
  X(11, setcursorname, call_setcursorname, errcode_t, VYRXDR_call_setcursorname, VYRXDR_errcode_t)           \
  X(12, prepare, call_prepare, errcode_t, VYRXDR_call_prepare, VYRXDR_errcode_t)                             \
  X(13, parameters, call_parameters, errcode_t, VYRXDR_call_parameters, VYRXDR_errcode_t)                    \
  X(14, execute, handle_t, errcode_t, VYRXDR_handle_t, VYRXDR_errcode_t)                                     \
  X(15, executen, call_executen, executenres, VYRXDR_call_executen, VYRXDR_executenres)                      \
  X(16, describecolumns, handle_t, coldescres, VYRXDR_handle_t, VYRXDR_coldescres)                           \
  X(17, describeparams, handle_t, coldescres, VYRXDR_handle_t, VYRXDR_coldescres)                            \
  X(18, nativesql, call_nativesql, nativesqlres, VYRXDR_call_nativesql, VYRXDR_nativesqlres)                 \
  X(19, bind, call_bind, errcode_t, VYRXDR_call_bind, VYRXDR_errcode_t)                                      \
  X(20, fetch, call_fetch, datasetres, VYRXDR_call_fetch, VYRXDR_datasetres)                                 \
  X(21, close, handle_t, errcode_t, VYRXDR_handle_t, VYRXDR_errcode_t)                                       \
  X(22, commit, handle_t, errcode_t, VYRXDR_handle_t, VYRXDR_errcode_t)                                      \
  X(23, rollback, handle_t, errcode_t, VYRXDR_handle_t, VYRXDR_errcode_t)                                    \
  X(24, getoptable, call_getoptable, getoptableres, VYRXDR_call_getoptable, VYRXDR_getoptableres)            \
  X(25, moreresults, handle_t, errcode_t, VYRXDR_handle_t, VYRXDR_errcode_t)                                 \
  X(26, extendedfetch, call_extendedfetch, xfetchres, VYRXDR_call_extendedfetch, VYRXDR_xfetchres)           \
  X(27, setpos, call_setpos, setposres, VYRXDR_call_setpos, VYRXDR_setposres)                                \
  X(28, getdata, call_getdata, getdatares, VYRXDR_call_getdata, VYRXDR_getdatares)                           \
  X(29, putdata, call_putdata, errcode_t, VYRXDR_call_putdata, VYRXDR_errcode_t)                             \
  X(30, columnprivileges, call_columnprivileges, errcode_t, VYRXDR_call_columnprivileges, VYRXDR_errcode_t)  \
  X(31, columns, call_columns, errcode_t, VYRXDR_call_columns, VYRXDR_errcode_t)                             \
  X(32, foreignkeys, call_foreignkeys, errcode_t, VYRXDR_call_foreignkeys, VYRXDR_errcode_t)                 \
  X(33, primarykeys, call_primarykeys, errcode_t, VYRXDR_call_primarykeys, VYRXDR_errcode_t)                 \
  X(34, procedurecolumns, call_procedurecolumns, errcode_t, VYRXDR_call_procedurecolumns, VYRXDR_errcode_t)  \
  X(35, procedures, call_procedures, errcode_t, VYRXDR_call_procedures, VYRXDR_errcode_t)                    \
  X(36, specialcolumns, call_specialcolumns, errcode_t, VYRXDR_call_specialcolumns, VYRXDR_errcode_t)        \
  X(37, statistics, call_statistics, errcode_t, VYRXDR_call_statistics, VYRXDR_errcode_t)                    \
  X(38, tableprivileges, call_tableprivileges, errcode_t, VYRXDR_call_tableprivileges, VYRXDR_errcode_t)     \
  X(39, tables, call_tables, errcode_t, VYRXDR_call_tables, VYRXDR_errcode_t)                                \
  X(40, typeinfo, call_typeinfo, errcode_t, VYRXDR_call_typeinfo, VYRXDR_errcode_t)                          \
  X(41, paramdata, handle_t, paramdatares, VYRXDR_handle_t, VYRXDR_paramdatares)                             \
  X(42, extendedfetch2, call_extendedfetch2, xfetchres, VYRXDR_call_extendedfetch2, VYRXDR_xfetchres)        \
  X(43, bulkoperations, call_bulkoperations, bulkopres, VYRXDR_call_bulkoperations, VYRXDR_bulkopres)        \
  X(44, execute2, call_execute2, errcode_t, VYRXDR_call_execute2, VYRXDR_errcode_t)                          \
  X(45, executej, call_executej, executejres, VYRXDR_call_executej, VYRXDR_executejres)                      \
  X(46, preparej, call_preparej, preparejres, VYRXDR_call_preparej, VYRXDR_preparejres)                      \
  X(47, fetchprocj, handle_t, fetchprocjres, VYRXDR_handle_t, VYRXDR_fetchprocjres)                          \
  X(48, extendedfetch2j, call_extendedfetch2, xfetchres, VYRXDR_call_extendedfetch2, VYRXDR_xfetchres)       \
  X(49, getdataj, call_getdata, getdatares, VYRXDR_call_getdata, VYRXDR_getdatares)                          \
  X(50, executebatchj, call_executebatch, executebatchres, VYRXDR_call_executebatch, VYRXDR_executebatchres) \
  X(51, savepointj, call_savepoint, errcode_t, VYRXDR_call_savepoint, VYRXDR_errcode_t)                      \
  X(52, colattributes, handle_t, colattribsres, VYRXDR_handle_t, VYRXDR_colattribsres)                       \
  X(53, executej2, call_executej2, executej2res, VYRXDR_call_executej2, VYRXDR_executej2res)                 \
  X(55, execute2x, call_execute2x, errcode_t, xdr_call_execute2x, VYRXDR_errcode_t)                          \
  X(56, xaclose, call_xaclose, sgn32, xdr_call_xaclose, VYRXDR_sgn32)                                        \
  X(57, xacommit, call_xacommit, sgn32, xdr_call_xacommit, VYRXDR_sgn32)                                     \
  X(58, xacomplete, call_xacomplete, xacmpltres, xdr_call_xacomplete, xdr_xacmpltres)                        \
  X(59, xaend, call_xaend, sgn32, xdr_call_xaend, VYRXDR_sgn32)                                              \
  X(60, xaforget, call_xaforget, sgn32, xdr_call_xaforget, VYRXDR_sgn32)                                     \
  X(61, xaopen, call_xaopen, sgn32, xdr_call_xaopen, VYRXDR_sgn32)                                           \
  X(62, xaprepare, call_xaprepare, sgn32, xdr_call_xaprepare, VYRXDR_sgn32)                                  \
  X(63, xarecover, call_xarecover, xarcvrres, xdr_call_xarecover, xdr_xarcvrres)                             \
  X(64, xarollback, call_xarollback, sgn32, xdr_call_xarollback, VYRXDR_sgn32)                               \
  X(65, xastart, call_xastart, sgn32, xdr_call_xastart, VYRXDR_sgn32)                                        \
  X(66, bindx, call_bindx, errcode_t, xdr_call_bindx, VYRXDR_errcode_t)

// Procedure numbers: DBSV_PROC_PREPARE = 12 and so on.
#define DBSV_PROC_ENUM_ITEM(n, name, A, R, xa, xr) DBSV_PROC_##name = n,
enum dbsv_proc_t { DBSV_PROCEDURES(DBSV_PROC_ENUM_ITEM) };
#undef DBSV_PROC_ENUM_ITEM

// The service procedures, defined by the agent server.
#define DBSV_SERVICE_DECL(n, name, A, R, xa, xr) void dbsv_##name##_2_serv(svc_req* rqstp, A* argp, R* res);
DBSV_PROCEDURES(DBSV_SERVICE_DECL)
#undef DBSV_SERVICE_DECL

// A service procedure as the dispatcher calls it: request, decoded arguments, zeroed result.
typedef void (*dbsv_service_t)(svc_req* rqstp, void* argp, void* res);

// Adapts a typed service procedure to dbsv_service_t.
template <typename A, typename R, void (*F)(svc_req*, A*, R*)>
void dbsv_service_thunk(svc_req* rqstp, void* argp, void* res) {
  F(rqstp, static_cast<A*>(argp), static_cast<R*>(res));
}

// One entry per procedure number; a null entry is answered as an unavailable procedure.
struct dbsv_service_table {
  dbsv_service_t proc[DBSV_MAXPROC + 1];
};

// Fills a table with every dbsv_<name>_2_serv above (the server's own definitions).
#define DBSV_SERVICE_FILL_ITEM(n, name, A, R, xa, xr) \
  (tbl).proc[n] = &dbsv_service_thunk<A, R, &dbsv_##name##_2_serv>;
#define DBSV_FILL_SERVICE_TABLE(tbl) DBSV_PROCEDURES(DBSV_SERVICE_FILL_ITEM)

// Installs the table the dispatcher calls (copied); null removes it.
void dbsv_set_services(const dbsv_service_table* table);
