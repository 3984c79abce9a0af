// Scalar types, cell types and SQL types of the data model and the wire protocol.
// Everything that stores, binds, caches or sends a value uses these names.
#pragma once

#include <cstdint>

typedef signed char sgn8;
typedef unsigned char uns8;
typedef short sgn16;
typedef unsigned short uns16;
typedef int sgn32;
typedef unsigned int uns32;
typedef float flt32;
typedef double flt64;

typedef uns32 precision_t;  // a width, length or precision
typedef uns16 scale_t;
typedef sgn16 indicator_t;  // 0 value, or IND_* (below)
typedef sgn16 dbtype_t;     // the data source's native type code
typedef uns32 bookmark_t;
typedef uns32 handle_t;  // table magic in the upper 16 bits, slot in the lower 16

// A heap string owned by the record that holds it; null is allowed everywhere.
typedef char* String;
// Fields of a record that never travel on the wire.
typedef char* localString;
typedef int localBool;

// A cell's indicator when it holds no value of its own.
enum : indicator_t {
  IND_NULL = -1,          // NULL
  IND_DATA_AT_EXEC = -2,  // the value comes later (data at execution)
  IND_LONG_LEFT = -3,     // a long value left behind for the long-data call
};

// Cell types: they fix a cell's width, layout and wire encoding.
typedef enum ctype_t : int {
  CTYPE_VOID = 0,
  CTYPE_CHR = 1,
  CTYPE_BIT1 = 2,
  CTYPE_SGN8 = 3,
  CTYPE_SGN16 = 4,
  CTYPE_SGN32 = 5,
  CTYPE_UNS8 = 6,
  CTYPE_UNS16 = 7,
  CTYPE_UNS32 = 8,
  CTYPE_FLT32 = 9,
  CTYPE_FLT64 = 10,
  CTYPE_DATE = 11,
  CTYPE_TIME = 12,
  CTYPE_TIMESTAMP = 13,
  CTYPE_BIN = 14,
  CTYPE_LCHR = 15,
  CTYPE_LBIN = 16,
  CTYPE_VCHR = 17,
  CTYPE_VCHR8 = 18,
  CTYPE_VCHR16 = 19,
  CTYPE_VCHR32 = 20,
  CTYPE_VBIN8 = 21,
  CTYPE_VBIN16 = 22,
  CTYPE_VBIN32 = 23,
  CTYPE_WCHR = 24,
  CTYPE_WVCHR = 25,
  CTYPE_WLCHR = 26,
  CTYPE_WVCHR32 = 27
} ctype_t;

// SQL data types in the ODBC 2 numbering.
typedef enum sqltype_t : int {
  SQLTYPE_CHAR = 1,
  SQLTYPE_VARCHAR = 12,
  SQLTYPE_LONGVARCHAR = -1,
  SQLTYPE_DECIMAL = 3,
  SQLTYPE_NUMERIC = 2,
  SQLTYPE_BIT = -7,
  SQLTYPE_TINYINT = -6,
  SQLTYPE_SMALLINT = 5,
  SQLTYPE_INTEGER = 4,
  SQLTYPE_BIGINT = -5,
  SQLTYPE_REAL = 7,
  SQLTYPE_DOUBLE = 8,
  SQLTYPE_FLOAT = 6,
  SQLTYPE_BINARY = -2,
  SQLTYPE_VARBINARY = -3,
  SQLTYPE_LONGVARBINARY = -4,
  SQLTYPE_DATE = 9,
  SQLTYPE_TIME = 10,
  SQLTYPE_TIMESTAMP = 11,
  SQLTYPE_WCHAR = -8,
  SQLTYPE_WVARCHAR = -9,
  SQLTYPE_WLONGVARCHAR = -10,
  SQLTYPE_GUID = -11
} sqltype_t;

// Nullability in the low bits, updatability in the same value.
typedef enum nullable_t : int {
  CON_NO_NULLS = 0,
  CON_NULLABLE = 1,
  CON_NULLABLE_UNKNOWN = 2,
  CON_READONLY = 16,
  CON_WRITE = 32,
  CON_READWRITE_UNKNOWN = 48
} nullable_t;

// Cell layouts.
struct c_date {
  sgn16 year;
  uns16 month;
  uns16 day;
};
struct c_time {
  uns16 hour;
  uns16 minute;
  uns16 second;
};
struct c_timestamp {
  sgn16 year;
  uns16 month;
  uns16 day;
  uns16 hour;
  uns16 minute;
  uns16 second;
  uns32 fraction;
};
static_assert(sizeof(c_date) == 6 && sizeof(c_time) == 6 && sizeof(c_timestamp) == 16);

// Long cells: the data lives outside the cell and the dataset owns it.
struct c_lchr {
  uns32 length;  // bytes
  char* data;
};
struct c_lbin {
  uns32 length;  // bytes
  unsigned char* data;
};
struct c_wlchr {
  uns32 length;  // characters
  wchar_t* data;
};
static_assert(sizeof(c_lchr) == 16 && sizeof(c_lbin) == 16 && sizeof(c_wlchr) == 16);
static_assert(sizeof(wchar_t) == 4, "wide characters are 32-bit");

// Variable cells: a length prefix, then the characters or bytes inside the cell.
struct c_vchr8 {
  uns8 length;
  char data[1];
};
struct c_vchr16 {
  uns16 length;
  char data[1];
};
struct c_vchr32 {
  uns32 length;
  char data[1];
};
struct c_vbin8 {
  uns8 length;
  unsigned char data[1];
};
struct c_vbin16 {
  uns16 length;
  unsigned char data[1];
};
struct c_vbin32 {
  uns32 length;
  unsigned char data[1];
};
struct c_wvchr32 {
  uns32 length;  // characters
  wchar_t data[1];
};

// Bytes of the length prefix of a variable cell type, 0 for the others.
inline unsigned ctype_prefix_size(int t) {
  switch (t) {
    case CTYPE_VCHR8:
    case CTYPE_VBIN8:
      return 1;
    case CTYPE_VCHR16:
    case CTYPE_VBIN16:
      return 2;
    case CTYPE_VCHR32:
    case CTYPE_VBIN32:
    case CTYPE_WVCHR32:
      return 4;
    default:
      return 0;
  }
}

inline bool ctype_is_long(int t) { return t == CTYPE_LCHR || t == CTYPE_LBIN || t == CTYPE_WLCHR; }

// The most a single wire record may make the agent allocate while it is decoded.
constexpr uint64_t VYR_MAX_DECODE_BYTES = 256ull * 1024 * 1024;
