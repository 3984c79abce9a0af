// The mapping of SQL types to the cells they are fetched in, shared by the
// column description, the fetch and the long-data call.
#pragma once

#include "model/types.h"

// The cell type an SQL type of the given precision is fetched in; stores the
// cell's byte size in *pFetchLen and its display size in *pDispLen (either may
// be null). Unknown types: a variable character cell of size 0.
ctype_t GetVYRCTypeFromSQLType(int sqlType, precision_t precision, precision_t* pFetchLen,
                               precision_t* pDispLen);
// 1 for LONGVARCHAR, LONGVARBINARY and WLONGVARCHAR, else 0.
int DB_IsLongType(int sqlType);
// Types fetched later by the long-data call when the client defers long data:
// the long types, and BINARY and VARBINARY, whose values may exceed the size
// the driver declares.
int DB_IsDeferableType(int sqlType);
