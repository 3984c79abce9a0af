// The mapping of SQL types to the cells they are fetched in: the cell type,
// its size and its display size for a declared precision, and which types are
// long or may be deferred to the long-data call.
#include <cstdint>

#include "backend/sql_type_map.h"
#include "sql.h"
#include "sqlext.h"
#include "sqlucode.h"

ctype_t GetVYRCTypeFromSQLType(int sqlType, precision_t p, precision_t* pFetchLen, precision_t* pDispLen) {
  auto add = [](precision_t a, precision_t b) -> precision_t {
    uint64_t s = uint64_t(a) + b;
    return s > 0xFFFFFFFFull ? 0xFFFFFFFFu : precision_t(s);
  };
  auto answer = [&](ctype_t t, precision_t fetch, precision_t disp) {
    if (pFetchLen) *pFetchLen = fetch;
    if (pDispLen) *pDispLen = disp;
    return t;
  };
  switch (static_cast<sgn16>(sqlType)) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_GUID:
      return answer(CTYPE_VCHR, add(p, 1), p);
    case SQL_NUMERIC:
    case SQL_DECIMAL:
    case SQL_BIGINT:
      return answer(CTYPE_VCHR, add(p, 2), add(p, 2));
    case SQL_INTEGER:
      return answer(CTYPE_SGN32, 4, 11);
    case SQL_SMALLINT:
      return answer(CTYPE_SGN16, 2, 6);
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return answer(CTYPE_FLT64, 8, 15);
    case SQL_REAL:
      return answer(CTYPE_FLT32, 4, 13);
    case SQL_DATE:
    case SQL_TYPE_DATE:
      return answer(CTYPE_DATE, 6, p);
    case SQL_TIME:
    case SQL_TYPE_TIME:
      return answer(CTYPE_TIME, 6, p);
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
      return answer(CTYPE_TIMESTAMP, 16, p);
    case SQL_WLONGVARCHAR:
      return answer(CTYPE_WVCHR32, add(p, 5), p);
    case SQL_WVARCHAR:
    case SQL_WCHAR:
      return answer(CTYPE_WVCHR, add(p, 1), p);
    case SQL_BIT:
      return answer(CTYPE_SGN8, 1, 3);
    case SQL_TINYINT:
      return answer(CTYPE_SGN8, 1, 4);
    case SQL_LONGVARBINARY:
    case SQL_VARBINARY:
    case SQL_BINARY:
      return answer(CTYPE_VBIN32, add(p, 4), add(p, p));
    case SQL_LONGVARCHAR:
      return answer(CTYPE_VCHR32, add(p, 5), p);
    default:
      return answer(CTYPE_VCHR, 0, p);
  }
}

int DB_IsLongType(int sqlType) {
  sgn16 t = static_cast<sgn16>(sqlType);
  return t == SQL_LONGVARCHAR || t == SQL_LONGVARBINARY || t == SQL_WLONGVARCHAR;
}

int DB_IsDeferableType(int sqlType) {
  // Binary values are opaque: a cut one is of no use, and drivers declare
  // sizes for them that their values exceed (a SQLite BLOB is BINARY(255)).
  sgn16 t = static_cast<sgn16>(sqlType);
  return DB_IsLongType(sqlType) || t == SQL_BINARY || t == SQL_VARBINARY;
}
