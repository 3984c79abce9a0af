/*
 * sqltypes.h - the data types of the ODBC API for x86-64 Linux (LP64).
 *
 * Included by sql.h; ODBC applications, drivers and our driver manager all
 * compile against it, so the sizes below are part of the binary interface
 * and are checked at compile time at the end of this file.
 */
#pragma once

#include <stddef.h> /* wchar_t */

#ifndef ODBCVER
#define ODBCVER 0x0351
#endif

#ifdef __cplusplus
extern "C" {
#endif

#ifndef SQL_API
#define SQL_API
#endif
#ifndef INSTAPI
#define INSTAPI
#endif

/* Windows-style names used by the installer API and by older ODBC code. */
#ifndef SQLGATE_WINDOWS_TYPES_DEFINED
#define SQLGATE_WINDOWS_TYPES_DEFINED
typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef unsigned int DWORD;
typedef unsigned int UINT;
typedef long LONG;
typedef char CHAR;
typedef wchar_t WCHAR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef wchar_t* LPWSTR;
typedef const wchar_t* LPCWSTR;
typedef DWORD* LPDWORD;
typedef WORD* LPWORD;
typedef void* LPVOID;
typedef void* HANDLE;
typedef void* HWND;
typedef void* HINSTANCE;
typedef void* HMODULE;
#endif

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

/* Base types */
typedef unsigned char SQLCHAR;
typedef signed char SQLSCHAR;
typedef unsigned char SQLDATE;
typedef unsigned char SQLDECIMAL;
typedef double SQLDOUBLE;
typedef double SQLFLOAT;
typedef int SQLINTEGER;
typedef unsigned int SQLUINTEGER;
typedef long SQLLEN;
typedef unsigned long SQLULEN;
typedef SQLULEN SQLSETPOSIROW;
typedef SQLULEN SQLROWCOUNT;
typedef SQLULEN SQLROWSETSIZE;
typedef SQLULEN SQLTRANSID;
typedef SQLLEN SQLROWOFFSET;
typedef unsigned char SQLNUMERIC;
typedef void* SQLPOINTER;
typedef float SQLREAL;
typedef short SQLSMALLINT;
typedef unsigned short SQLUSMALLINT;
typedef unsigned char SQLTIME;
typedef unsigned char SQLTIMESTAMP;
typedef unsigned char SQLVARCHAR;
typedef SQLSMALLINT SQLRETURN;
typedef long long SQLBIGINT;
typedef unsigned long long SQLUBIGINT;

/* Wide characters are the platform's 4-byte wchar_t, one code point each. */
typedef wchar_t SQLWCHAR;
#ifdef UNICODE
typedef SQLWCHAR SQLTCHAR;
#else
typedef SQLCHAR SQLTCHAR;
#endif

/* Handles */
typedef void* SQLHANDLE;
typedef SQLHANDLE SQLHENV;
typedef SQLHANDLE SQLHDBC;
typedef SQLHANDLE SQLHSTMT;
typedef SQLHANDLE SQLHDESC;
typedef void* SQLHWND;

/* ODBC 2 names */
typedef unsigned char UCHAR;
typedef signed char SCHAR;
typedef int SDWORD;
typedef short SWORD;
typedef unsigned int UDWORD;
typedef unsigned short UWORD;
typedef double SDOUBLE;
typedef float SFLOAT;
typedef double LDOUBLE;
typedef void* PTR;
typedef void* HENV;
typedef void* HDBC;
typedef void* HSTMT;
typedef signed short RETCODE;
typedef SQLLEN SLEN;
typedef SQLULEN ULEN;

/* Date, time and timestamp */
typedef struct tagDATE_STRUCT {
  SQLSMALLINT year;
  SQLUSMALLINT month;
  SQLUSMALLINT day;
} DATE_STRUCT;
typedef DATE_STRUCT SQL_DATE_STRUCT;

typedef struct tagTIME_STRUCT {
  SQLUSMALLINT hour;
  SQLUSMALLINT minute;
  SQLUSMALLINT second;
} TIME_STRUCT;
typedef TIME_STRUCT SQL_TIME_STRUCT;

typedef struct tagTIMESTAMP_STRUCT {
  SQLSMALLINT year;
  SQLUSMALLINT month;
  SQLUSMALLINT day;
  SQLUSMALLINT hour;
  SQLUSMALLINT minute;
  SQLUSMALLINT second;
  SQLUINTEGER fraction;
} TIMESTAMP_STRUCT;
typedef TIMESTAMP_STRUCT SQL_TIMESTAMP_STRUCT;

/* Intervals */
typedef enum {
  SQL_IS_YEAR = 1,
  SQL_IS_MONTH = 2,
  SQL_IS_DAY = 3,
  SQL_IS_HOUR = 4,
  SQL_IS_MINUTE = 5,
  SQL_IS_SECOND = 6,
  SQL_IS_YEAR_TO_MONTH = 7,
  SQL_IS_DAY_TO_HOUR = 8,
  SQL_IS_DAY_TO_MINUTE = 9,
  SQL_IS_DAY_TO_SECOND = 10,
  SQL_IS_HOUR_TO_MINUTE = 11,
  SQL_IS_HOUR_TO_SECOND = 12,
  SQL_IS_MINUTE_TO_SECOND = 13
} SQLINTERVAL;

typedef struct tagSQL_YEAR_MONTH {
  SQLUINTEGER year;
  SQLUINTEGER month;
} SQL_YEAR_MONTH_STRUCT;

typedef struct tagSQL_DAY_SECOND {
  SQLUINTEGER day;
  SQLUINTEGER hour;
  SQLUINTEGER minute;
  SQLUINTEGER second;
  SQLUINTEGER fraction;
} SQL_DAY_SECOND_STRUCT;

typedef struct tagSQL_INTERVAL_STRUCT {
  SQLINTERVAL interval_type;
  SQLSMALLINT interval_sign;
  union {
    SQL_YEAR_MONTH_STRUCT year_month;
    SQL_DAY_SECOND_STRUCT day_second;
  } intval;
} SQL_INTERVAL_STRUCT;

/* Exact numerics */
#define SQL_MAX_NUMERIC_LEN 16
typedef struct tagSQL_NUMERIC_STRUCT {
  SQLCHAR precision;
  SQLSCHAR scale;
  SQLCHAR sign;                     /* 1 positive, 0 negative */
  SQLCHAR val[SQL_MAX_NUMERIC_LEN]; /* little endian */
} SQL_NUMERIC_STRUCT;

/* GUID */
typedef struct tagSQLGUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
} SQLGUID;

typedef SQLULEN BOOKMARK;

/* Binary interface checks for x86-64 Linux. */
#ifdef __cplusplus
#define SQLGATE_ABI_CHECK(cond, msg) static_assert(cond, msg)
#else
#define SQLGATE_ABI_CHECK(cond, msg) _Static_assert(cond, msg)
#endif
SQLGATE_ABI_CHECK(sizeof(SQLLEN) == 8, "SQLLEN must be 8 bytes");
SQLGATE_ABI_CHECK(sizeof(SQLULEN) == 8, "SQLULEN must be 8 bytes");
SQLGATE_ABI_CHECK(sizeof(SQLSETPOSIROW) == 8, "SQLSETPOSIROW must be 8 bytes");
SQLGATE_ABI_CHECK(sizeof(SQLINTEGER) == 4, "SQLINTEGER must be 4 bytes");
SQLGATE_ABI_CHECK(sizeof(SQLUINTEGER) == 4, "SQLUINTEGER must be 4 bytes");
SQLGATE_ABI_CHECK(sizeof(SQLSMALLINT) == 2, "SQLSMALLINT must be 2 bytes");
SQLGATE_ABI_CHECK(sizeof(SQLUSMALLINT) == 2, "SQLUSMALLINT must be 2 bytes");
SQLGATE_ABI_CHECK(sizeof(SQLRETURN) == 2, "SQLRETURN must be 2 bytes");
SQLGATE_ABI_CHECK(sizeof(SQLHANDLE) == sizeof(void*), "handles are pointers");
SQLGATE_ABI_CHECK(sizeof(SQLHENV) == sizeof(void*), "handles are pointers");
SQLGATE_ABI_CHECK(sizeof(SQLHDBC) == sizeof(void*), "handles are pointers");
SQLGATE_ABI_CHECK(sizeof(SQLHSTMT) == sizeof(void*), "handles are pointers");
SQLGATE_ABI_CHECK(sizeof(SQLHDESC) == sizeof(void*), "handles are pointers");
SQLGATE_ABI_CHECK(sizeof(SQLWCHAR) == 4, "SQLWCHAR is the 4-byte wchar_t");
SQLGATE_ABI_CHECK(sizeof(SQLBIGINT) == 8, "SQLBIGINT must be 8 bytes");
SQLGATE_ABI_CHECK(sizeof(DWORD) == 4, "DWORD must be 4 bytes");
SQLGATE_ABI_CHECK(sizeof(SQL_NUMERIC_STRUCT) == 19, "SQL_NUMERIC_STRUCT layout");
SQLGATE_ABI_CHECK(sizeof(SQL_TIMESTAMP_STRUCT) == 16, "SQL_TIMESTAMP_STRUCT layout");
SQLGATE_ABI_CHECK(sizeof(SQLGUID) == 16, "SQLGUID layout");

#ifdef __cplusplus
}
#endif
