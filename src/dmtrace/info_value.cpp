// The printer of SQLGetInfo values: the information type by name and the returned value by
// the type's form (text, number, enumeration, bit mask).

#include "dmtrace/trace.h"

extern "C" void _zolandm_tr_arg_info_value(SQLUSMALLINT, SQLPOINTER, SQLSMALLINT*, int, char) {}
