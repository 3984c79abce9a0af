// Per-call trace writers: one per traced ODBC call, named trace_ and the call's name. Each
// takes the leaving flag (0 entry record, 1 exit record), the return code (0 on entry) and the
// call's own arguments unchanged, writes the record header and one or more lines per argument,
// and never changes an argument. Output values are read only on the exit record of a call that
// succeeded. The entry points call them only while _zolandm_trace_enabled is set, under the
// global lock; the plain and A entry share the plain writer.
#pragma once

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#define ZOLANDM_TR_WIDTHS(X) X(SQLCHAR, ) X(SQLWCHAR, W)

// ---- environments, connections, connect ----
void trace_SQLAllocEnv(int leaving, int rc, SQLHENV* out);
void trace_SQLAllocConnect(int leaving, int rc, SQLHENV env, SQLHDBC* out);
void trace_SQLAllocStmt(int leaving, int rc, SQLHDBC dbc, SQLHSTMT* out);
void trace_SQLAllocHandle(int leaving, int rc, SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* out);
void trace_SQLFreeEnv(int leaving, int rc, SQLHENV env);
void trace_SQLFreeConnect(int leaving, int rc, SQLHDBC dbc);
void trace_SQLDisconnect(int leaving, int rc, SQLHDBC dbc);
void trace_SQLFreeHandle(int leaving, int rc, SQLSMALLINT type, SQLHANDLE handle);
void trace_SQLTransact(int leaving, int rc, SQLHENV env, SQLHDBC dbc, SQLUSMALLINT type);
void trace_SQLEndTran(int leaving, int rc, SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion);
void trace_SQLSetConnectOption(int leaving, int rc, SQLHDBC dbc, SQLUSMALLINT option, SQLULEN value);
void trace_SQLSetConnectOptionW(int leaving, int rc, SQLHDBC dbc, SQLUSMALLINT option, SQLULEN value);
void trace_SQLGetConnectOption(int leaving, int rc, SQLHDBC dbc, SQLUSMALLINT option, SQLPOINTER value);
void trace_SQLGetConnectOptionW(int leaving, int rc, SQLHDBC dbc, SQLUSMALLINT option, SQLPOINTER value);
void trace_SQLSetConnectAttr(int leaving, int rc, SQLHDBC dbc, SQLINTEGER attr, SQLPOINTER value,
                             SQLINTEGER length);
void trace_SQLSetConnectAttrW(int leaving, int rc, SQLHDBC dbc, SQLINTEGER attr, SQLPOINTER value,
                              SQLINTEGER length);
void trace_SQLGetConnectAttr(int leaving, int rc, SQLHDBC dbc, SQLINTEGER attr, SQLPOINTER value,
                             SQLINTEGER buf_len, SQLINTEGER* str_len);
void trace_SQLGetConnectAttrW(int leaving, int rc, SQLHDBC dbc, SQLINTEGER attr, SQLPOINTER value,
                              SQLINTEGER buf_len, SQLINTEGER* str_len);
void trace_SQLSetEnvAttr(int leaving, int rc, SQLHENV env, SQLINTEGER attr, SQLPOINTER value,
                         SQLINTEGER length);
void trace_SQLGetEnvAttr(int leaving, int rc, SQLHENV env, SQLINTEGER attr, SQLPOINTER value,
                         SQLINTEGER buf_len, SQLINTEGER* str_len);
void trace_SQLGetFunctions(int leaving, int rc, SQLHDBC dbc, SQLUSMALLINT id, SQLUSMALLINT* supported);

#define ZOLANDM_TR_DECLARE_CONN(C, W)                                                                       \
  void trace_SQLConnect##W(int leaving, int rc, SQLHDBC dbc, C* dsn, SQLSMALLINT dsn_len, C* uid,           \
                           SQLSMALLINT uid_len, C* pwd, SQLSMALLINT pwd_len);                               \
  void trace_SQLDriverConnect##W(int leaving, int rc, SQLHDBC dbc, SQLHWND hwnd, C* in, SQLSMALLINT in_len, \
                                 C* out, SQLSMALLINT out_max, SQLSMALLINT* out_len,                         \
                                 SQLUSMALLINT completion);                                                  \
  void trace_SQLBrowseConnect##W(int leaving, int rc, SQLHDBC dbc, C* in, SQLSMALLINT in_len, C* out,       \
                                 SQLSMALLINT out_max, SQLSMALLINT* out_len);                                \
  void trace_SQLDataSources##W(int leaving, int rc, SQLHENV env, SQLUSMALLINT direction, C* name,           \
                               SQLSMALLINT name_max, SQLSMALLINT* name_len, C* desc, SQLSMALLINT desc_max,  \
                               SQLSMALLINT* desc_len);                                                      \
  void trace_SQLDrivers##W(int leaving, int rc, SQLHENV env, SQLUSMALLINT direction, C* name,               \
                           SQLSMALLINT name_max, SQLSMALLINT* name_len, C* attrs, SQLSMALLINT attrs_max,    \
                           SQLSMALLINT* attrs_len);                                                         \
  void trace_SQLGetInfo##W(int leaving, int rc, SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value,           \
                           SQLSMALLINT buf_len, SQLSMALLINT* str_len);                                      \
  void trace_SQLNativeSql##W(int leaving, int rc, SQLHDBC dbc, C* in, SQLINTEGER in_len, C* out,            \
                             SQLINTEGER out_max, SQLINTEGER* out_len);                                      \
  void trace_SQLError##W(int leaving, int rc, SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, C* state,            \
                         SQLINTEGER* native, C* msg, SQLSMALLINT msg_max, SQLSMALLINT* msg_len);            \
  void trace_SQLGetDiagRec##W(int leaving, int rc, SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT recno,   \
                              C* state, SQLINTEGER* native, C* msg, SQLSMALLINT msg_max,                    \
                              SQLSMALLINT* msg_len);                                                        \
  void trace_SQLGetDiagField##W(int leaving, int rc, SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT recno, \
                                SQLSMALLINT field, SQLPOINTER value, SQLSMALLINT buf_len,                   \
                                SQLSMALLINT* str_len);
ZOLANDM_TR_WIDTHS(ZOLANDM_TR_DECLARE_CONN)

// ---- statements ----
void trace_SQLExecute(int leaving, int rc, SQLHSTMT stmt);
void trace_SQLFetch(int leaving, int rc, SQLHSTMT stmt);
void trace_SQLCancel(int leaving, int rc, SQLHSTMT stmt);
void trace_SQLCloseCursor(int leaving, int rc, SQLHSTMT stmt);
void trace_SQLMoreResults(int leaving, int rc, SQLHSTMT stmt);
void trace_SQLFreeStmt(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT option);
void trace_SQLBindCol(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT c_type,
                      SQLPOINTER target, SQLLEN buf_len, SQLLEN* ind);
void trace_SQLBindParameter(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT ipar, SQLSMALLINT io_type,
                            SQLSMALLINT c_type, SQLSMALLINT sql_type, SQLULEN size, SQLSMALLINT digits,
                            SQLPOINTER value, SQLLEN buf_len, SQLLEN* ind);
void trace_SQLBulkOperations(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT operation);
void trace_SQLDescribeParam(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT ipar, SQLSMALLINT* type,
                            SQLULEN* size, SQLSMALLINT* digits, SQLSMALLINT* nullable);
void trace_SQLExtendedFetch(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT orientation, SQLLEN row,
                            SQLULEN* row_count, SQLUSMALLINT* row_status);
void trace_SQLFetchScroll(int leaving, int rc, SQLHSTMT stmt, SQLSMALLINT orientation, SQLLEN offset);
void trace_SQLGetData(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT c_type,
                      SQLPOINTER target, SQLLEN buf_len, SQLLEN* ind);
void trace_SQLGetStmtOption(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT option, SQLPOINTER value);
void trace_SQLSetStmtOption(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT option, SQLULEN value);
void trace_SQLNumParams(int leaving, int rc, SQLHSTMT stmt, SQLSMALLINT* count);
void trace_SQLNumResultCols(int leaving, int rc, SQLHSTMT stmt, SQLSMALLINT* count);
void trace_SQLParamData(int leaving, int rc, SQLHSTMT stmt, SQLPOINTER* value);
void trace_SQLPutData(int leaving, int rc, SQLHSTMT stmt, SQLPOINTER data, SQLLEN length);
void trace_SQLParamOptions(int leaving, int rc, SQLHSTMT stmt, SQLULEN rows, SQLULEN* current);
void trace_SQLRowCount(int leaving, int rc, SQLHSTMT stmt, SQLLEN* count);
void trace_SQLSetPos(int leaving, int rc, SQLHSTMT stmt, SQLSETPOSIROW row, SQLUSMALLINT operation,
                     SQLUSMALLINT lock_type);
void trace_SQLSetScrollOptions(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT concurrency, SQLLEN keyset,
                               SQLUSMALLINT rowset);

#define ZOLANDM_TR_DECLARE_STMT(C, W)                                                                        \
  void trace_SQLPrepare##W(int leaving, int rc, SQLHSTMT stmt, C* text, SQLINTEGER length);                  \
  void trace_SQLExecDirect##W(int leaving, int rc, SQLHSTMT stmt, C* text, SQLINTEGER length);               \
  void trace_SQLSetCursorName##W(int leaving, int rc, SQLHSTMT stmt, C* name, SQLSMALLINT length);           \
  void trace_SQLGetCursorName##W(int leaving, int rc, SQLHSTMT stmt, C* name, SQLSMALLINT buf_len,           \
                                 SQLSMALLINT* name_len);                                                     \
  void trace_SQLDescribeCol##W(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT column, C* name,             \
                               SQLSMALLINT name_max, SQLSMALLINT* name_len, SQLSMALLINT* type,               \
                               SQLULEN* size, SQLSMALLINT* digits, SQLSMALLINT* nullable);                   \
  void trace_SQLColAttribute##W(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field, \
                                SQLPOINTER char_attr, SQLSMALLINT buf_len, SQLSMALLINT* str_len,             \
                                SQLLEN* num_attr);                                                           \
  void trace_SQLColAttributes##W(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT column,                    \
                                 SQLUSMALLINT field, SQLPOINTER char_attr, SQLSMALLINT buf_len,              \
                                 SQLSMALLINT* str_len, SQLLEN* num_attr);                                    \
  void trace_SQLGetTypeInfo##W(int leaving, int rc, SQLHSTMT stmt, SQLSMALLINT type);                        \
  void trace_SQLGetStmtAttr##W(int leaving, int rc, SQLHSTMT stmt, SQLINTEGER attr, SQLPOINTER value,        \
                               SQLINTEGER buf_len, SQLINTEGER* str_len);                                     \
  void trace_SQLSetStmtAttr##W(int leaving, int rc, SQLHSTMT stmt, SQLINTEGER attr, SQLPOINTER value,        \
                               SQLINTEGER length);                                                           \
  void trace_SQLColumnPrivileges##W(int leaving, int rc, SQLHSTMT stmt, C* a, SQLSMALLINT al, C* b,          \
                                    SQLSMALLINT bl, C* c, SQLSMALLINT cl, C* d, SQLSMALLINT dl);             \
  void trace_SQLColumns##W(int leaving, int rc, SQLHSTMT stmt, C* a, SQLSMALLINT al, C* b, SQLSMALLINT bl,   \
                           C* c, SQLSMALLINT cl, C* d, SQLSMALLINT dl);                                      \
  void trace_SQLProcedureColumns##W(int leaving, int rc, SQLHSTMT stmt, C* a, SQLSMALLINT al, C* b,          \
                                    SQLSMALLINT bl, C* c, SQLSMALLINT cl, C* d, SQLSMALLINT dl);             \
  void trace_SQLTables##W(int leaving, int rc, SQLHSTMT stmt, C* a, SQLSMALLINT al, C* b, SQLSMALLINT bl,    \
                          C* c, SQLSMALLINT cl, C* d, SQLSMALLINT dl);                                       \
  void trace_SQLPrimaryKeys##W(int leaving, int rc, SQLHSTMT stmt, C* a, SQLSMALLINT al, C* b,               \
                               SQLSMALLINT bl, C* c, SQLSMALLINT cl);                                        \
  void trace_SQLProcedures##W(int leaving, int rc, SQLHSTMT stmt, C* a, SQLSMALLINT al, C* b,                \
                              SQLSMALLINT bl, C* c, SQLSMALLINT cl);                                         \
  void trace_SQLTablePrivileges##W(int leaving, int rc, SQLHSTMT stmt, C* a, SQLSMALLINT al, C* b,           \
                                   SQLSMALLINT bl, C* c, SQLSMALLINT cl);                                    \
  void trace_SQLForeignKeys##W(int leaving, int rc, SQLHSTMT stmt, C* a, SQLSMALLINT al, C* b,               \
                               SQLSMALLINT bl, C* c, SQLSMALLINT cl, C* d, SQLSMALLINT dl, C* e,             \
                               SQLSMALLINT el, C* f, SQLSMALLINT fl);                                        \
  void trace_SQLSpecialColumns##W(int leaving, int rc, SQLHSTMT stmt, SQLUSMALLINT type, C* a,               \
                                  SQLSMALLINT al, C* b, SQLSMALLINT bl, C* c, SQLSMALLINT cl,                \
                                  SQLUSMALLINT scope, SQLUSMALLINT nullable);                                \
  void trace_SQLStatistics##W(int leaving, int rc, SQLHSTMT stmt, C* a, SQLSMALLINT al, C* b,                \
                              SQLSMALLINT bl, C* c, SQLSMALLINT cl, SQLUSMALLINT unique,                     \
                              SQLUSMALLINT accuracy);
ZOLANDM_TR_WIDTHS(ZOLANDM_TR_DECLARE_STMT)

// ---- descriptors ----
void trace_SQLCopyDesc(int leaving, int rc, SQLHDESC source, SQLHDESC target);
void trace_SQLSetDescRec(int leaving, int rc, SQLHDESC desc, SQLSMALLINT recno, SQLSMALLINT type,
                         SQLSMALLINT subtype, SQLLEN length, SQLSMALLINT precision, SQLSMALLINT scale,
                         SQLPOINTER data, SQLLEN* str_len, SQLLEN* ind);

#define ZOLANDM_TR_DECLARE_DESC(C, W)                                                                     \
  void trace_SQLGetDescField##W(int leaving, int rc, SQLHDESC desc, SQLSMALLINT recno, SQLSMALLINT field, \
                                SQLPOINTER value, SQLINTEGER buf_len, SQLINTEGER* str_len);               \
  void trace_SQLSetDescField##W(int leaving, int rc, SQLHDESC desc, SQLSMALLINT recno, SQLSMALLINT field, \
                                SQLPOINTER value, SQLINTEGER buf_len);                                    \
  void trace_SQLGetDescRec##W(int leaving, int rc, SQLHDESC desc, SQLSMALLINT recno, C* name,             \
                              SQLSMALLINT name_max, SQLSMALLINT* name_len, SQLSMALLINT* type,             \
                              SQLSMALLINT* subtype, SQLLEN* length, SQLSMALLINT* precision,               \
                              SQLSMALLINT* scale, SQLSMALLINT* nullable);
ZOLANDM_TR_WIDTHS(ZOLANDM_TR_DECLARE_DESC)
