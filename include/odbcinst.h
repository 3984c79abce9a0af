/*
 * odbcinst.h - the ODBC installer API: configuration modes, installer error
 * numbers and the profile and file data source functions that read and write
 * odbc.ini, odbcinst.ini and ".dsn" files.
 *
 * The installer functions report failures on their own error stack, never as
 * ODBC diagnostics. Drivers may call them too, which is why the program
 * exports them.
 */
#pragma once

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
BOOL INSTAPI SQLGetConfigMode(UWORD* pwConfigMode);
BOOL INSTAPI SQLSetConfigMode(UWORD wConfigMode);

/* Profile strings of odbc.ini, odbcinst.ini or any initialisation file */
int INSTAPI SQLGetPrivateProfileString(LPCSTR lpszSection, LPCSTR lpszEntry, LPCSTR lpszDefault,
                                       LPSTR lpszRetBuffer, int cbRetBuffer, LPCSTR lpszFilename);
int INSTAPI SQLGetPrivateProfileStringW(LPCWSTR lpszSection, LPCWSTR lpszEntry, LPCWSTR lpszDefault,
                                        LPWSTR lpszRetBuffer, int cbRetBuffer, LPCWSTR lpszFilename);
BOOL INSTAPI SQLWritePrivateProfileString(LPCSTR lpszSection, LPCSTR lpszEntry, LPCSTR lpszString,
                                          LPCSTR lpszFilename);
BOOL INSTAPI SQLWritePrivateProfileStringW(LPCWSTR lpszSection, LPCWSTR lpszEntry, LPCWSTR lpszString,
                                           LPCWSTR lpszFilename);

/* File data sources */
BOOL INSTAPI SQLReadFileDSN(LPCSTR lpszFileName, LPCSTR lpszAppName, LPCSTR lpszKeyName, LPSTR lpszString,
                            WORD cbString, WORD* pcbString);
BOOL INSTAPI SQLReadFileDSNW(LPCWSTR lpszFileName, LPCWSTR lpszAppName, LPCWSTR lpszKeyName,
                             LPWSTR lpszString, WORD cbString, WORD* pcbString);
BOOL INSTAPI SQLWriteFileDSN(LPCSTR lpszFileName, LPCSTR lpszAppName, LPCSTR lpszKeyName, LPCSTR lpszString);
BOOL INSTAPI SQLWriteFileDSNW(LPCWSTR lpszFileName, LPCWSTR lpszAppName, LPCWSTR lpszKeyName,
                              LPCWSTR lpszString);

/* Data source names */
BOOL INSTAPI SQLValidDSN(LPCSTR lpszDSN);
BOOL INSTAPI SQLValidDSNW(LPCWSTR lpszDSN);

/*
 * The rest of the installer API, declared as the standard has it for code
 * that compiles against these headers. This program itself provides only
 * the functions above.
 */
BOOL INSTAPI SQLInstallODBC(HWND hwndParent, LPCSTR lpszInfFile, LPCSTR lpszSrcPath, LPCSTR lpszDrivers);
BOOL INSTAPI SQLManageDataSources(HWND hwndParent);
BOOL INSTAPI SQLCreateDataSource(HWND hwndParent, LPCSTR lpszDSN);
BOOL INSTAPI SQLGetTranslator(HWND hwnd, LPSTR lpszName, WORD cbNameMax, WORD* pcbNameOut, LPSTR lpszPath,
                              WORD cbPathMax, WORD* pcbPathOut, DWORD* pvOption);
BOOL INSTAPI SQLInstallDriver(LPCSTR lpszInfFile, LPCSTR lpszDriver, LPSTR lpszPath, WORD cbPathMax,
                              WORD* pcbPathOut);
BOOL INSTAPI SQLInstallDriverManager(LPSTR lpszPath, WORD cbPathMax, WORD* pcbPathOut);
BOOL INSTAPI SQLGetInstalledDrivers(LPSTR lpszBuf, WORD cbBufMax, WORD* pcbBufOut);
BOOL INSTAPI SQLGetAvailableDrivers(LPCSTR lpszInfFile, LPSTR lpszBuf, WORD cbBufMax, WORD* pcbBufOut);
BOOL INSTAPI SQLConfigDataSource(HWND hwndParent, WORD fRequest, LPCSTR lpszDriver, LPCSTR lpszAttributes);
BOOL INSTAPI SQLRemoveDefaultDataSource(void);
BOOL INSTAPI SQLWriteDSNToIni(LPCSTR lpszDSN, LPCSTR lpszDriver);
BOOL INSTAPI SQLRemoveDSNFromIni(LPCSTR lpszDSN);
BOOL INSTAPI SQLRemoveDriverManager(LPDWORD lpdwUsageCount);
BOOL INSTAPI SQLInstallTranslator(LPCSTR lpszInfFile, LPCSTR lpszTranslator, LPCSTR lpszPathIn,
                                  LPSTR lpszPathOut, WORD cbPathOutMax, WORD* pcbPathOut, WORD fRequest,
                                  LPDWORD lpdwUsageCount);
BOOL INSTAPI SQLRemoveTranslator(LPCSTR lpszTranslator, LPDWORD lpdwUsageCount);
BOOL INSTAPI SQLRemoveDriver(LPCSTR lpszDriver, BOOL fRemoveDSN, LPDWORD lpdwUsageCount);
BOOL INSTAPI SQLConfigDriver(HWND hwndParent, WORD fRequest, LPCSTR lpszDriver, LPCSTR lpszArgs,
                             LPSTR lpszMsg, WORD cbMsgMax, WORD* pcbMsgOut);
RETCODE INSTAPI SQLInstallerError(WORD iError, DWORD* pfErrorCode, LPSTR lpszErrorMsg, WORD cbErrorMsgMax,
                                  WORD* pcbErrorMsg);
RETCODE INSTAPI SQLPostInstallerError(DWORD dwErrorCode, LPCSTR lpszErrMsg);
BOOL INSTAPI SQLInstallDriverEx(LPCSTR lpszDriver, LPCSTR lpszPathIn, LPSTR lpszPathOut, WORD cbPathOutMax,
                                WORD* pcbPathOut, WORD fRequest, LPDWORD lpdwUsageCount);
BOOL INSTAPI SQLInstallTranslatorEx(LPCSTR lpszTranslator, LPCSTR lpszPathIn, LPSTR lpszPathOut,
                                    WORD cbPathOutMax, WORD* pcbPathOut, WORD fRequest,
                                    LPDWORD lpdwUsageCount);

BOOL INSTAPI SQLInstallODBCW(HWND hwndParent, LPCWSTR lpszInfFile, LPCWSTR lpszSrcPath, LPCWSTR lpszDrivers);
BOOL INSTAPI SQLCreateDataSourceW(HWND hwndParent, LPCWSTR lpszDSN);
BOOL INSTAPI SQLGetTranslatorW(HWND hwnd, LPWSTR lpszName, WORD cbNameMax, WORD* pcbNameOut, LPWSTR lpszPath,
                               WORD cbPathMax, WORD* pcbPathOut, DWORD* pvOption);
BOOL INSTAPI SQLInstallDriverW(LPCWSTR lpszInfFile, LPCWSTR lpszDriver, LPWSTR lpszPath, WORD cbPathMax,
                               WORD* pcbPathOut);
BOOL INSTAPI SQLInstallDriverManagerW(LPWSTR lpszPath, WORD cbPathMax, WORD* pcbPathOut);
BOOL INSTAPI SQLGetInstalledDriversW(LPWSTR lpszBuf, WORD cbBufMax, WORD* pcbBufOut);
BOOL INSTAPI SQLGetAvailableDriversW(LPCWSTR lpszInfFile, LPWSTR lpszBuf, WORD cbBufMax, WORD* pcbBufOut);
BOOL INSTAPI SQLConfigDataSourceW(HWND hwndParent, WORD fRequest, LPCWSTR lpszDriver, LPCWSTR lpszAttributes);
BOOL INSTAPI SQLWriteDSNToIniW(LPCWSTR lpszDSN, LPCWSTR lpszDriver);
BOOL INSTAPI SQLRemoveDSNFromIniW(LPCWSTR lpszDSN);
BOOL INSTAPI SQLInstallTranslatorW(LPCWSTR lpszInfFile, LPCWSTR lpszTranslator, LPCWSTR lpszPathIn,
                                   LPWSTR lpszPathOut, WORD cbPathOutMax, WORD* pcbPathOut, WORD fRequest,
                                   LPDWORD lpdwUsageCount);
BOOL INSTAPI SQLRemoveTranslatorW(LPCWSTR lpszTranslator, LPDWORD lpdwUsageCount);
BOOL INSTAPI SQLRemoveDriverW(LPCWSTR lpszDriver, BOOL fRemoveDSN, LPDWORD lpdwUsageCount);
BOOL INSTAPI SQLConfigDriverW(HWND hwndParent, WORD fRequest, LPCWSTR lpszDriver, LPCWSTR lpszArgs,
                              LPWSTR lpszMsg, WORD cbMsgMax, WORD* pcbMsgOut);
RETCODE INSTAPI SQLInstallerErrorW(WORD iError, DWORD* pfErrorCode, LPWSTR lpszErrorMsg, WORD cbErrorMsgMax,
                                   WORD* pcbErrorMsg);
RETCODE INSTAPI SQLPostInstallerErrorW(DWORD dwErrorCode, LPCWSTR lpszErrorMsg);
BOOL INSTAPI SQLInstallDriverExW(LPCWSTR lpszDriver, LPCWSTR lpszPathIn, LPWSTR lpszPathOut,
                                 WORD cbPathOutMax, WORD* pcbPathOut, WORD fRequest, LPDWORD lpdwUsageCount);
BOOL INSTAPI SQLInstallTranslatorExW(LPCWSTR lpszTranslator, LPCWSTR lpszPathIn, LPWSTR lpszPathOut,
                                     WORD cbPathOutMax, WORD* pcbPathOut, WORD fRequest,
                                     LPDWORD lpdwUsageCount);

/* Set-up entry points that a driver's or translator's set-up library exports */
BOOL INSTAPI ConfigDSN(HWND hwndParent, WORD fRequest, LPCSTR lpszDriver, LPCSTR lpszAttributes);
BOOL INSTAPI ConfigDSNW(HWND hwndParent, WORD fRequest, LPCWSTR lpszDriver, LPCWSTR lpszAttributes);
BOOL INSTAPI ConfigTranslator(HWND hwndParent, DWORD* pvOption);
BOOL INSTAPI ConfigDriver(HWND hwndParent, WORD fRequest, LPCSTR lpszDriver, LPCSTR lpszArgs, LPSTR lpszMsg,
                          WORD cbMsgMax, WORD* pcbMsgOut);
BOOL INSTAPI ConfigDriverW(HWND hwndParent, WORD fRequest, LPCWSTR lpszDriver, LPCWSTR lpszArgs,
                           LPWSTR lpszMsg, WORD cbMsgMax, WORD* pcbMsgOut);

/* With UNICODE defined, an application's plain names mean the wide forms. */
#if defined(UNICODE) && !defined(SQL_NOUNICODEMAP)
#define SQLInstallODBC SQLInstallODBCW
#define SQLCreateDataSource SQLCreateDataSourceW
#define SQLGetTranslator SQLGetTranslatorW
#define SQLInstallDriver SQLInstallDriverW
#define SQLInstallDriverManager SQLInstallDriverManagerW
#define SQLGetInstalledDrivers SQLGetInstalledDriversW
#define SQLGetAvailableDrivers SQLGetAvailableDriversW
#define SQLConfigDataSource SQLConfigDataSourceW
#define SQLWriteDSNToIni SQLWriteDSNToIniW
#define SQLRemoveDSNFromIni SQLRemoveDSNFromIniW
#define SQLValidDSN SQLValidDSNW
#define SQLWritePrivateProfileString SQLWritePrivateProfileStringW
#define SQLGetPrivateProfileString SQLGetPrivateProfileStringW
#define SQLInstallTranslator SQLInstallTranslatorW
#define SQLRemoveTranslator SQLRemoveTranslatorW
#define SQLRemoveDriver SQLRemoveDriverW
#define SQLConfigDriver SQLConfigDriverW
#define SQLInstallerError SQLInstallerErrorW
#define SQLPostInstallerError SQLPostInstallerErrorW
#define SQLReadFileDSN SQLReadFileDSNW
#define SQLWriteFileDSN SQLWriteFileDSNW
#define SQLInstallDriverEx SQLInstallDriverExW
#define SQLInstallTranslatorEx SQLInstallTranslatorExW
#endif

#ifdef __cplusplus
}
#endif
