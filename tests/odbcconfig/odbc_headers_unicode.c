/* An application built with UNICODE gets the wide forms under the plain names. */
#define UNICODE
#include <sqlext.h>
#include <odbcinst.h>

_Static_assert(_Generic(&SQLConnect,
                        SQLRETURN(*)(SQLHDBC, SQLWCHAR *, SQLSMALLINT, SQLWCHAR *, SQLSMALLINT,
                                     SQLWCHAR *, SQLSMALLINT): 1,
                        default: 0),
               "SQLConnect maps to SQLConnectW under UNICODE");

int odbc_headers_unicode_tchar_size(void) { return (int)sizeof(SQLTCHAR); }
