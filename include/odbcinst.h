/*
 * odbcinst.h - the ODBC installer API: configuration modes, installer error
 * numbers and the profile and file data source functions that read and write
 * odbc.ini, odbcinst.ini and ".dsn" files.
 *
 * The installer functions report failures on their own error stack, never as
 * ODBC diagnostics. Drivers may call them too, which is why the program
 * exports them.
 */
#ifndef ODBCINST_H
#define ODBCINST_H

#include "sqltypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* SQLConfigDataSource requests */
#define ODBC_ADD_DSN 1
#define ODBC_CONFIG_DSN 2
#define ODBC_REMOVE_DSN 3
#define ODBC_ADD_SYS_DSN 4
#define ODBC_CONFIG_SYS_DSN 5
#define ODBC_REMOVE_SYS_DSN 6
#define ODBC_REMOVE_DEFAULT_DSN 7

/* Install requests */
#define ODBC_INSTALL_INQUIRY 1
#define ODBC_INSTALL_COMPLETE 2

/* SQLConfigDriver requests */
#define ODBC_INSTALL_DRIVER 1
#define ODBC_REMOVE_DRIVER 2
#define ODBC_CONFIG_DRIVER 3
#define ODBC_CONFIG_DRIVER_MAX 100

/* Configuration modes of SQLGetConfigMode and SQLSetConfigMode */
#define ODBC_BOTH_DSN 0
#define ODBC_USER_DSN 1
#define ODBC_SYSTEM_DSN 2

/* Installer error numbers */
#define ODBC_ERROR_GENERAL_ERR 1
#define ODBC_ERROR_INVALID_BUFF_LEN 2
#define ODBC_ERROR_INVALID_HWND 3
#define ODBC_ERROR_INVALID_STR 4
#define ODBC_ERROR_INVALID_REQUEST_TYPE 5
#define ODBC_ERROR_COMPONENT_NOT_FOUND 6
#define ODBC_ERROR_INVALID_NAME 7
#define ODBC_ERROR_INVALID_KEYWORD_VALUE 8
#define ODBC_ERROR_INVALID_DSN 9
#define ODBC_ERROR_INVALID_INF 10
#define ODBC_ERROR_REQUEST_FAILED 11
#define ODBC_ERROR_INVALID_PATH 12
#define ODBC_ERROR_LOAD_LIB_FAILED 13
#define ODBC_ERROR_INVALID_PARAM_SEQUENCE 14
#define ODBC_ERROR_INVALID_LOG_FILE 15
#define ODBC_ERROR_USER_CANCELED 16
#define ODBC_ERROR_USAGE_UPDATE_FAILED 17
#define ODBC_ERROR_CREATE_DSN_FAILED 18
#define ODBC_ERROR_WRITING_SYSINFO_FAILED 19
#define ODBC_ERROR_REMOVE_DSN_FAILED 20
#define ODBC_ERROR_OUT_OF_MEM 21
#define ODBC_ERROR_OUTPUT_STRING_TRUNCATED 22

/* Configuration mode */
BOOL INSTAPI SQLGetConfigMode(UWORD *pwConfigMode);
BOOL INSTAPI SQLSetConfigMode(UWORD wConfigMode);

/* Profile strings of odbc.ini, odbcinst.ini or any initialisation file */
int INSTAPI SQLGetPrivateProfileString(LPCSTR lpszSection, LPCSTR lpszEntry, LPCSTR lpszDefault,
                                       LPSTR lpszRetBuffer, int cbRetBuffer, LPCSTR lpszFilename);
int INSTAPI SQLGetPrivateProfileStringW(LPCWSTR lpszSection, LPCWSTR lpszEntry,
                                        LPCWSTR lpszDefault, LPWSTR lpszRetBuffer,
                                        int cbRetBuffer, LPCWSTR lpszFilename);
BOOL INSTAPI SQLWritePrivateProfileString(LPCSTR lpszSection, LPCSTR lpszEntry, LPCSTR lpszString,
                                          LPCSTR lpszFilename);
BOOL INSTAPI SQLWritePrivateProfileStringW(LPCWSTR lpszSection, LPCWSTR lpszEntry,
                                           LPCWSTR lpszString, LPCWSTR lpszFilename);

/* File data sources */
BOOL INSTAPI SQLReadFileDSN(LPCSTR lpszFileName, LPCSTR lpszAppName, LPCSTR lpszKeyName,
                            LPSTR lpszString, WORD cbString, WORD *pcbString);
BOOL INSTAPI SQLReadFileDSNW(LPCWSTR lpszFileName, LPCWSTR lpszAppName, LPCWSTR lpszKeyName,
                             LPWSTR lpszString, WORD cbString, WORD *pcbString);
BOOL INSTAPI SQLWriteFileDSN(LPCSTR lpszFileName, LPCSTR lpszAppName, LPCSTR lpszKeyName,
                             LPCSTR lpszString);
BOOL INSTAPI SQLWriteFileDSNW(LPCWSTR lpszFileName, LPCWSTR lpszAppName, LPCWSTR lpszKeyName,
                              LPCWSTR lpszString);

/* Data source names */
BOOL INSTAPI SQLValidDSN(LPCSTR lpszDSN);
BOOL INSTAPI SQLValidDSNW(LPCWSTR lpszDSN);

#ifdef __cplusplus
}
#endif

#endif /* ODBCINST_H */
