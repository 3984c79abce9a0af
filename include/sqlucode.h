/*
 * sqlucode.h - the wide (W) and narrow (A) forms of the ODBC entry points
 * that take or return text, and the Unicode SQL and C types.
 *
 * SQLWCHAR is the platform's 4-byte wchar_t: one code point per element.
 * Included at the end of sqlext.h.
 */
#pragma once

#include "sqlext.h"

#ifdef __cplusplus
extern "C" {
#endif

#ifndef SQL_WCHAR
#define SQL_WCHAR (-8)
#define SQL_WVARCHAR (-9)
#define SQL_WLONGVARCHAR (-10)
#define SQL_C_WCHAR SQL_WCHAR
#endif

#ifdef UNICODE
#define SQL_C_TCHAR SQL_C_WCHAR
#else
#define SQL_C_TCHAR SQL_C_CHAR
#endif

/* ODBC 2 names of the Unicode SQL types */
#define SQL_UNICODE SQL_WCHAR
#define SQL_UNICODE_VARCHAR SQL_WVARCHAR
#define SQL_UNICODE_LONGVARCHAR SQL_WLONGVARCHAR
#define SQL_UNICODE_CHAR SQL_WCHAR

#define SQL_SQLSTATE_SIZEW 10

/* Wide forms */
SQLRETURN SQL_API SQLColAttributeW(SQLHSTMT hstmt, SQLUSMALLINT iCol, SQLUSMALLINT iField,
                                   SQLPOINTER pCharAttr, SQLSMALLINT cbDescMax, SQLSMALLINT* pcbCharAttr,
                                   SQLLEN* pNumAttr);
SQLRETURN SQL_API SQLColAttributesW(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLUSMALLINT fDescType,
                                    SQLPOINTER rgbDesc, SQLSMALLINT cbDescMax, SQLSMALLINT* pcbDesc,
                                    SQLLEN* pfDesc);
SQLRETURN SQL_API SQLConnectW(SQLHDBC hdbc, SQLWCHAR* szDSN, SQLSMALLINT cchDSN, SQLWCHAR* szUID,
                              SQLSMALLINT cchUID, SQLWCHAR* szAuthStr, SQLSMALLINT cchAuthStr);
SQLRETURN SQL_API SQLDescribeColW(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLWCHAR* szColName,
                                  SQLSMALLINT cchColNameMax, SQLSMALLINT* pcchColName, SQLSMALLINT* pfSqlType,
                                  SQLULEN* pcbColDef, SQLSMALLINT* pibScale, SQLSMALLINT* pfNullable);
SQLRETURN SQL_API SQLErrorW(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, SQLWCHAR* wszSqlState,
                            SQLINTEGER* pfNativeError, SQLWCHAR* wszErrorMsg, SQLSMALLINT cchErrorMsgMax,
                            SQLSMALLINT* pcchErrorMsg);
SQLRETURN SQL_API SQLExecDirectW(SQLHSTMT hstmt, SQLWCHAR* szSqlStr, SQLINTEGER TextLength);
SQLRETURN SQL_API SQLGetConnectAttrW(SQLHDBC hdbc, SQLINTEGER fAttribute, SQLPOINTER rgbValue,
                                     SQLINTEGER cbValueMax, SQLINTEGER* pcbValue);
SQLRETURN SQL_API SQLGetCursorNameW(SQLHSTMT hstmt, SQLWCHAR* szCursor, SQLSMALLINT cchCursorMax,
                                    SQLSMALLINT* pcchCursor);
SQLRETURN SQL_API SQLSetDescFieldW(SQLHDESC DescriptorHandle, SQLSMALLINT RecNumber,
                                   SQLSMALLINT FieldIdentifier, SQLPOINTER Value, SQLINTEGER BufferLength);
SQLRETURN SQL_API SQLGetDescFieldW(SQLHDESC hdesc, SQLSMALLINT iRecord, SQLSMALLINT iField,
                                   SQLPOINTER rgbValue, SQLINTEGER cbBufferLength, SQLINTEGER* StringLength);
SQLRETURN SQL_API SQLGetDescRecW(SQLHDESC hdesc, SQLSMALLINT iRecord, SQLWCHAR* szName,
                                 SQLSMALLINT cchNameMax, SQLSMALLINT* pcchName, SQLSMALLINT* pfType,
                                 SQLSMALLINT* pfSubType, SQLLEN* pLength, SQLSMALLINT* pPrecision,
                                 SQLSMALLINT* pScale, SQLSMALLINT* pNullable);
SQLRETURN SQL_API SQLGetDiagFieldW(SQLSMALLINT fHandleType, SQLHANDLE handle, SQLSMALLINT iRecord,
                                   SQLSMALLINT fDiagField, SQLPOINTER rgbDiagInfo, SQLSMALLINT cbBufferLength,
                                   SQLSMALLINT* pcbStringLength);
SQLRETURN SQL_API SQLGetDiagRecW(SQLSMALLINT fHandleType, SQLHANDLE handle, SQLSMALLINT iRecord,
                                 SQLWCHAR* szSqlState, SQLINTEGER* pfNativeError, SQLWCHAR* szErrorMsg,
                                 SQLSMALLINT cchErrorMsgMax, SQLSMALLINT* pcchErrorMsg);
SQLRETURN SQL_API SQLPrepareW(SQLHSTMT hstmt, SQLWCHAR* szSqlStr, SQLINTEGER cchSqlStr);
SQLRETURN SQL_API SQLSetConnectAttrW(SQLHDBC hdbc, SQLINTEGER fAttribute, SQLPOINTER rgbValue,
                                     SQLINTEGER cbValue);
SQLRETURN SQL_API SQLSetCursorNameW(SQLHSTMT hstmt, SQLWCHAR* szCursor, SQLSMALLINT cchCursor);
SQLRETURN SQL_API SQLColumnsW(SQLHSTMT hstmt, SQLWCHAR* szCatalogName, SQLSMALLINT cchCatalogName,
                              SQLWCHAR* szSchemaName, SQLSMALLINT cchSchemaName, SQLWCHAR* szTableName,
                              SQLSMALLINT cchTableName, SQLWCHAR* szColumnName, SQLSMALLINT cchColumnName);
SQLRETURN SQL_API SQLGetConnectOptionW(SQLHDBC hdbc, SQLUSMALLINT fOption, SQLPOINTER pvParam);
SQLRETURN SQL_API SQLGetInfoW(SQLHDBC hdbc, SQLUSMALLINT fInfoType, SQLPOINTER rgbInfoValue,
                              SQLSMALLINT cbInfoValueMax, SQLSMALLINT* pcbInfoValue);
SQLRETURN SQL_API SQLGetTypeInfoW(SQLHSTMT StatementHandle, SQLSMALLINT DataType);
SQLRETURN SQL_API SQLSetConnectOptionW(SQLHDBC hdbc, SQLUSMALLINT fOption, SQLULEN vParam);
SQLRETURN SQL_API SQLSpecialColumnsW(SQLHSTMT hstmt, SQLUSMALLINT fColType, SQLWCHAR* szCatalogName,
                                     SQLSMALLINT cchCatalogName, SQLWCHAR* szSchemaName,
                                     SQLSMALLINT cchSchemaName, SQLWCHAR* szTableName,
                                     SQLSMALLINT cchTableName, SQLUSMALLINT fScope, SQLUSMALLINT fNullable);
SQLRETURN SQL_API SQLStatisticsW(SQLHSTMT hstmt, SQLWCHAR* szCatalogName, SQLSMALLINT cchCatalogName,
                                 SQLWCHAR* szSchemaName, SQLSMALLINT cchSchemaName, SQLWCHAR* szTableName,
                                 SQLSMALLINT cchTableName, SQLUSMALLINT fUnique, SQLUSMALLINT fAccuracy);
SQLRETURN SQL_API SQLTablesW(SQLHSTMT hstmt, SQLWCHAR* szCatalogName, SQLSMALLINT cchCatalogName,
                             SQLWCHAR* szSchemaName, SQLSMALLINT cchSchemaName, SQLWCHAR* szTableName,
                             SQLSMALLINT cchTableName, SQLWCHAR* szTableType, SQLSMALLINT cchTableType);
SQLRETURN SQL_API SQLDataSourcesW(SQLHENV henv, SQLUSMALLINT fDirection, SQLWCHAR* szDSN,
                                  SQLSMALLINT cchDSNMax, SQLSMALLINT* pcchDSN, SQLWCHAR* szDescription,
                                  SQLSMALLINT cchDescriptionMax, SQLSMALLINT* pcchDescription);
SQLRETURN SQL_API SQLDriverConnectW(SQLHDBC hdbc, SQLHWND hwnd, SQLWCHAR* szConnStrIn,
                                    SQLSMALLINT cchConnStrIn, SQLWCHAR* szConnStrOut,
                                    SQLSMALLINT cchConnStrOutMax, SQLSMALLINT* pcchConnStrOut,
                                    SQLUSMALLINT fDriverCompletion);
SQLRETURN SQL_API SQLBrowseConnectW(SQLHDBC hdbc, SQLWCHAR* szConnStrIn, SQLSMALLINT cchConnStrIn,
                                    SQLWCHAR* szConnStrOut, SQLSMALLINT cchConnStrOutMax,
                                    SQLSMALLINT* pcchConnStrOut);
SQLRETURN SQL_API SQLColumnPrivilegesW(SQLHSTMT hstmt, SQLWCHAR* szCatalogName, SQLSMALLINT cchCatalogName,
                                       SQLWCHAR* szSchemaName, SQLSMALLINT cchSchemaName,
                                       SQLWCHAR* szTableName, SQLSMALLINT cchTableName,
                                       SQLWCHAR* szColumnName, SQLSMALLINT cchColumnName);
SQLRETURN SQL_API SQLGetStmtAttrW(SQLHSTMT hstmt, SQLINTEGER fAttribute, SQLPOINTER rgbValue,
                                  SQLINTEGER cbValueMax, SQLINTEGER* pcbValue);
SQLRETURN SQL_API SQLSetStmtAttrW(SQLHSTMT hstmt, SQLINTEGER fAttribute, SQLPOINTER rgbValue,
                                  SQLINTEGER cbValueMax);
SQLRETURN SQL_API SQLForeignKeysW(SQLHSTMT hstmt, SQLWCHAR* szPkCatalogName, SQLSMALLINT cchPkCatalogName,
                                  SQLWCHAR* szPkSchemaName, SQLSMALLINT cchPkSchemaName,
                                  SQLWCHAR* szPkTableName, SQLSMALLINT cchPkTableName,
                                  SQLWCHAR* szFkCatalogName, SQLSMALLINT cchFkCatalogName,
                                  SQLWCHAR* szFkSchemaName, SQLSMALLINT cchFkSchemaName,
                                  SQLWCHAR* szFkTableName, SQLSMALLINT cchFkTableName);
SQLRETURN SQL_API SQLNativeSqlW(SQLHDBC hdbc, SQLWCHAR* szSqlStrIn, SQLINTEGER cchSqlStrIn,
                                SQLWCHAR* szSqlStr, SQLINTEGER cchSqlStrMax, SQLINTEGER* pcchSqlStr);
SQLRETURN SQL_API SQLPrimaryKeysW(SQLHSTMT hstmt, SQLWCHAR* szCatalogName, SQLSMALLINT cchCatalogName,
                                  SQLWCHAR* szSchemaName, SQLSMALLINT cchSchemaName, SQLWCHAR* szTableName,
                                  SQLSMALLINT cchTableName);
SQLRETURN SQL_API SQLProcedureColumnsW(SQLHSTMT hstmt, SQLWCHAR* szCatalogName, SQLSMALLINT cchCatalogName,
                                       SQLWCHAR* szSchemaName, SQLSMALLINT cchSchemaName,
                                       SQLWCHAR* szProcName, SQLSMALLINT cchProcName, SQLWCHAR* szColumnName,
                                       SQLSMALLINT cchColumnName);
SQLRETURN SQL_API SQLProceduresW(SQLHSTMT hstmt, SQLWCHAR* szCatalogName, SQLSMALLINT cchCatalogName,
                                 SQLWCHAR* szSchemaName, SQLSMALLINT cchSchemaName, SQLWCHAR* szProcName,
                                 SQLSMALLINT cchProcName);
SQLRETURN SQL_API SQLTablePrivilegesW(SQLHSTMT hstmt, SQLWCHAR* szCatalogName, SQLSMALLINT cchCatalogName,
                                      SQLWCHAR* szSchemaName, SQLSMALLINT cchSchemaName,
                                      SQLWCHAR* szTableName, SQLSMALLINT cchTableName);
SQLRETURN SQL_API SQLDriversW(SQLHENV henv, SQLUSMALLINT fDirection, SQLWCHAR* szDriverDesc,
                              SQLSMALLINT cchDriverDescMax, SQLSMALLINT* pcchDriverDesc,
                              SQLWCHAR* szDriverAttributes, SQLSMALLINT cchDrvrAttrMax,
                              SQLSMALLINT* pcchDrvrAttr);

/* Narrow forms, the same code as the plain names */
SQLRETURN SQL_API SQLColAttributeA(SQLHSTMT hstmt, SQLUSMALLINT iCol, SQLUSMALLINT iField,
                                   SQLPOINTER pCharAttr, SQLSMALLINT cbDescMax, SQLSMALLINT* pcbCharAttr,
                                   SQLLEN* pNumAttr);
SQLRETURN SQL_API SQLColAttributesA(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLUSMALLINT fDescType,
                                    SQLPOINTER rgbDesc, SQLSMALLINT cbDescMax, SQLSMALLINT* pcbDesc,
                                    SQLLEN* pfDesc);
SQLRETURN SQL_API SQLConnectA(SQLHDBC hdbc, SQLCHAR* szDSN, SQLSMALLINT cchDSN, SQLCHAR* szUID,
                              SQLSMALLINT cchUID, SQLCHAR* szAuthStr, SQLSMALLINT cchAuthStr);
SQLRETURN SQL_API SQLDescribeColA(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLCHAR* szColName,
                                  SQLSMALLINT cchColNameMax, SQLSMALLINT* pcchColName, SQLSMALLINT* pfSqlType,
                                  SQLULEN* pcbColDef, SQLSMALLINT* pibScale, SQLSMALLINT* pfNullable);
SQLRETURN SQL_API SQLErrorA(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, SQLCHAR* wszSqlState,
                            SQLINTEGER* pfNativeError, SQLCHAR* wszErrorMsg, SQLSMALLINT cchErrorMsgMax,
                            SQLSMALLINT* pcchErrorMsg);
SQLRETURN SQL_API SQLExecDirectA(SQLHSTMT hstmt, SQLCHAR* szSqlStr, SQLINTEGER TextLength);
SQLRETURN SQL_API SQLGetConnectAttrA(SQLHDBC hdbc, SQLINTEGER fAttribute, SQLPOINTER rgbValue,
                                     SQLINTEGER cbValueMax, SQLINTEGER* pcbValue);
SQLRETURN SQL_API SQLGetCursorNameA(SQLHSTMT hstmt, SQLCHAR* szCursor, SQLSMALLINT cchCursorMax,
                                    SQLSMALLINT* pcchCursor);
SQLRETURN SQL_API SQLSetDescFieldA(SQLHDESC DescriptorHandle, SQLSMALLINT RecNumber,
                                   SQLSMALLINT FieldIdentifier, SQLPOINTER Value, SQLINTEGER BufferLength);
SQLRETURN SQL_API SQLGetDescFieldA(SQLHDESC hdesc, SQLSMALLINT iRecord, SQLSMALLINT iField,
                                   SQLPOINTER rgbValue, SQLINTEGER cbBufferLength, SQLINTEGER* StringLength);
SQLRETURN SQL_API SQLGetDescRecA(SQLHDESC hdesc, SQLSMALLINT iRecord, SQLCHAR* szName, SQLSMALLINT cchNameMax,
                                 SQLSMALLINT* pcchName, SQLSMALLINT* pfType, SQLSMALLINT* pfSubType,
                                 SQLLEN* pLength, SQLSMALLINT* pPrecision, SQLSMALLINT* pScale,
                                 SQLSMALLINT* pNullable);
SQLRETURN SQL_API SQLGetDiagFieldA(SQLSMALLINT fHandleType, SQLHANDLE handle, SQLSMALLINT iRecord,
                                   SQLSMALLINT fDiagField, SQLPOINTER rgbDiagInfo, SQLSMALLINT cbBufferLength,
                                   SQLSMALLINT* pcbStringLength);
SQLRETURN SQL_API SQLGetDiagRecA(SQLSMALLINT fHandleType, SQLHANDLE handle, SQLSMALLINT iRecord,
                                 SQLCHAR* szSqlState, SQLINTEGER* pfNativeError, SQLCHAR* szErrorMsg,
                                 SQLSMALLINT cchErrorMsgMax, SQLSMALLINT* pcchErrorMsg);
SQLRETURN SQL_API SQLPrepareA(SQLHSTMT hstmt, SQLCHAR* szSqlStr, SQLINTEGER cchSqlStr);
SQLRETURN SQL_API SQLSetConnectAttrA(SQLHDBC hdbc, SQLINTEGER fAttribute, SQLPOINTER rgbValue,
                                     SQLINTEGER cbValue);
SQLRETURN SQL_API SQLSetCursorNameA(SQLHSTMT hstmt, SQLCHAR* szCursor, SQLSMALLINT cchCursor);
SQLRETURN SQL_API SQLColumnsA(SQLHSTMT hstmt, SQLCHAR* szCatalogName, SQLSMALLINT cchCatalogName,
                              SQLCHAR* szSchemaName, SQLSMALLINT cchSchemaName, SQLCHAR* szTableName,
                              SQLSMALLINT cchTableName, SQLCHAR* szColumnName, SQLSMALLINT cchColumnName);
SQLRETURN SQL_API SQLGetConnectOptionA(SQLHDBC hdbc, SQLUSMALLINT fOption, SQLPOINTER pvParam);
SQLRETURN SQL_API SQLGetInfoA(SQLHDBC hdbc, SQLUSMALLINT fInfoType, SQLPOINTER rgbInfoValue,
                              SQLSMALLINT cbInfoValueMax, SQLSMALLINT* pcbInfoValue);
SQLRETURN SQL_API SQLGetTypeInfoA(SQLHSTMT StatementHandle, SQLSMALLINT DataType);
SQLRETURN SQL_API SQLSetConnectOptionA(SQLHDBC hdbc, SQLUSMALLINT fOption, SQLULEN vParam);
SQLRETURN SQL_API SQLSpecialColumnsA(SQLHSTMT hstmt, SQLUSMALLINT fColType, SQLCHAR* szCatalogName,
                                     SQLSMALLINT cchCatalogName, SQLCHAR* szSchemaName,
                                     SQLSMALLINT cchSchemaName, SQLCHAR* szTableName,
                                     SQLSMALLINT cchTableName, SQLUSMALLINT fScope, SQLUSMALLINT fNullable);
SQLRETURN SQL_API SQLStatisticsA(SQLHSTMT hstmt, SQLCHAR* szCatalogName, SQLSMALLINT cchCatalogName,
                                 SQLCHAR* szSchemaName, SQLSMALLINT cchSchemaName, SQLCHAR* szTableName,
                                 SQLSMALLINT cchTableName, SQLUSMALLINT fUnique, SQLUSMALLINT fAccuracy);
SQLRETURN SQL_API SQLTablesA(SQLHSTMT hstmt, SQLCHAR* szCatalogName, SQLSMALLINT cchCatalogName,
                             SQLCHAR* szSchemaName, SQLSMALLINT cchSchemaName, SQLCHAR* szTableName,
                             SQLSMALLINT cchTableName, SQLCHAR* szTableType, SQLSMALLINT cchTableType);
SQLRETURN SQL_API SQLDataSourcesA(SQLHENV henv, SQLUSMALLINT fDirection, SQLCHAR* szDSN,
                                  SQLSMALLINT cchDSNMax, SQLSMALLINT* pcchDSN, SQLCHAR* szDescription,
                                  SQLSMALLINT cchDescriptionMax, SQLSMALLINT* pcchDescription);
SQLRETURN SQL_API SQLDriverConnectA(SQLHDBC hdbc, SQLHWND hwnd, SQLCHAR* szConnStrIn,
                                    SQLSMALLINT cchConnStrIn, SQLCHAR* szConnStrOut,
                                    SQLSMALLINT cchConnStrOutMax, SQLSMALLINT* pcchConnStrOut,
                                    SQLUSMALLINT fDriverCompletion);
SQLRETURN SQL_API SQLBrowseConnectA(SQLHDBC hdbc, SQLCHAR* szConnStrIn, SQLSMALLINT cchConnStrIn,
                                    SQLCHAR* szConnStrOut, SQLSMALLINT cchConnStrOutMax,
                                    SQLSMALLINT* pcchConnStrOut);
SQLRETURN SQL_API SQLColumnPrivilegesA(SQLHSTMT hstmt, SQLCHAR* szCatalogName, SQLSMALLINT cchCatalogName,
                                       SQLCHAR* szSchemaName, SQLSMALLINT cchSchemaName, SQLCHAR* szTableName,
                                       SQLSMALLINT cchTableName, SQLCHAR* szColumnName,
                                       SQLSMALLINT cchColumnName);
SQLRETURN SQL_API SQLGetStmtAttrA(SQLHSTMT hstmt, SQLINTEGER fAttribute, SQLPOINTER rgbValue,
                                  SQLINTEGER cbValueMax, SQLINTEGER* pcbValue);
SQLRETURN SQL_API SQLSetStmtAttrA(SQLHSTMT hstmt, SQLINTEGER fAttribute, SQLPOINTER rgbValue,
                                  SQLINTEGER cbValueMax);
SQLRETURN SQL_API SQLForeignKeysA(SQLHSTMT hstmt, SQLCHAR* szPkCatalogName, SQLSMALLINT cchPkCatalogName,
                                  SQLCHAR* szPkSchemaName, SQLSMALLINT cchPkSchemaName,
                                  SQLCHAR* szPkTableName, SQLSMALLINT cchPkTableName,
                                  SQLCHAR* szFkCatalogName, SQLSMALLINT cchFkCatalogName,
                                  SQLCHAR* szFkSchemaName, SQLSMALLINT cchFkSchemaName,
                                  SQLCHAR* szFkTableName, SQLSMALLINT cchFkTableName);
SQLRETURN SQL_API SQLNativeSqlA(SQLHDBC hdbc, SQLCHAR* szSqlStrIn, SQLINTEGER cchSqlStrIn, SQLCHAR* szSqlStr,
                                SQLINTEGER cchSqlStrMax, SQLINTEGER* pcchSqlStr);
SQLRETURN SQL_API SQLPrimaryKeysA(SQLHSTMT hstmt, SQLCHAR* szCatalogName, SQLSMALLINT cchCatalogName,
                                  SQLCHAR* szSchemaName, SQLSMALLINT cchSchemaName, SQLCHAR* szTableName,
                                  SQLSMALLINT cchTableName);
SQLRETURN SQL_API SQLProcedureColumnsA(SQLHSTMT hstmt, SQLCHAR* szCatalogName, SQLSMALLINT cchCatalogName,
                                       SQLCHAR* szSchemaName, SQLSMALLINT cchSchemaName, SQLCHAR* szProcName,
                                       SQLSMALLINT cchProcName, SQLCHAR* szColumnName,
                                       SQLSMALLINT cchColumnName);
SQLRETURN SQL_API SQLProceduresA(SQLHSTMT hstmt, SQLCHAR* szCatalogName, SQLSMALLINT cchCatalogName,
                                 SQLCHAR* szSchemaName, SQLSMALLINT cchSchemaName, SQLCHAR* szProcName,
                                 SQLSMALLINT cchProcName);
SQLRETURN SQL_API SQLTablePrivilegesA(SQLHSTMT hstmt, SQLCHAR* szCatalogName, SQLSMALLINT cchCatalogName,
                                      SQLCHAR* szSchemaName, SQLSMALLINT cchSchemaName, SQLCHAR* szTableName,
                                      SQLSMALLINT cchTableName);
SQLRETURN SQL_API SQLDriversA(SQLHENV henv, SQLUSMALLINT fDirection, SQLCHAR* szDriverDesc,
                              SQLSMALLINT cchDriverDescMax, SQLSMALLINT* pcchDriverDesc,
                              SQLCHAR* szDriverAttributes, SQLSMALLINT cchDrvrAttrMax,
                              SQLSMALLINT* pcchDrvrAttr);
SQLRETURN SQL_API SQLSetStmtOptionA(SQLHSTMT hstmt, SQLUSMALLINT fOption, SQLULEN vParam);
SQLRETURN SQL_API SQLGetStmtOptionA(SQLHSTMT hstmt, SQLUSMALLINT fOption, SQLPOINTER pvParam);

/* With UNICODE defined, an application's plain names mean the wide forms. */
#if defined(UNICODE) && !defined(SQL_NOUNICODEMAP)
#define SQLColAttribute SQLColAttributeW
#define SQLColAttributes SQLColAttributesW
#define SQLConnect SQLConnectW
#define SQLDescribeCol SQLDescribeColW
#define SQLError SQLErrorW
#define SQLExecDirect SQLExecDirectW
#define SQLGetConnectAttr SQLGetConnectAttrW
#define SQLGetCursorName SQLGetCursorNameW
#define SQLSetDescField SQLSetDescFieldW
#define SQLGetDescField SQLGetDescFieldW
#define SQLGetDescRec SQLGetDescRecW
#define SQLGetDiagField SQLGetDiagFieldW
#define SQLGetDiagRec SQLGetDiagRecW
#define SQLPrepare SQLPrepareW
#define SQLSetConnectAttr SQLSetConnectAttrW
#define SQLSetCursorName SQLSetCursorNameW
#define SQLColumns SQLColumnsW
#define SQLGetConnectOption SQLGetConnectOptionW
#define SQLGetInfo SQLGetInfoW
#define SQLGetTypeInfo SQLGetTypeInfoW
#define SQLSetConnectOption SQLSetConnectOptionW
#define SQLSpecialColumns SQLSpecialColumnsW
#define SQLStatistics SQLStatisticsW
#define SQLTables SQLTablesW
#define SQLDataSources SQLDataSourcesW
#define SQLDriverConnect SQLDriverConnectW
#define SQLBrowseConnect SQLBrowseConnectW
#define SQLColumnPrivileges SQLColumnPrivilegesW
#define SQLGetStmtAttr SQLGetStmtAttrW
#define SQLSetStmtAttr SQLSetStmtAttrW
#define SQLForeignKeys SQLForeignKeysW
#define SQLNativeSql SQLNativeSqlW
#define SQLPrimaryKeys SQLPrimaryKeysW
#define SQLProcedureColumns SQLProcedureColumnsW
#define SQLProcedures SQLProceduresW
#define SQLTablePrivileges SQLTablePrivilegesW
#define SQLDrivers SQLDriversW
#endif

#ifdef __cplusplus
}
#endif
