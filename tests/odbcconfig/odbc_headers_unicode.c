/* An application built with UNICODE gets the wide forms under the plain names. */
#define UNICODE
#include <sqlext.h>
#include <odbcinst.h>

_Static_assert(_Generic(&SQLConnect,
                        SQLRETURN (*)(SQLHDBC, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*,
                                      SQLSMALLINT) : 1,
                        default : 0),
               "SQLConnect maps to SQLConnectW under UNICODE");

_Static_assert(_Generic(&SQLGetPrivateProfileString,
                        int (*)(LPCWSTR, LPCWSTR, LPCWSTR, LPWSTR, int, LPCWSTR) : 1, default : 0),
               "installer names map to their wide forms under UNICODE");
_Static_assert(_Generic(&SQLInstallerError, RETCODE (*)(WORD, DWORD*, LPWSTR, WORD, WORD*) : 1, default : 0),
               "SQLInstallerError maps to SQLInstallerErrorW under UNICODE");

int odbc_headers_unicode_tchar_size(void) { return (int)sizeof(SQLTCHAR); }
