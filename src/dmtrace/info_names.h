// The information types of SQLGetInfo as the trace knows them: name, form of the value, and
// the names of an enumeration's values or of a bit mask's bits. Data in info_names.cpp.
#pragma once

#include <cstddef>

enum zolandm_tr_info_form {
  ZOLANDM_TR_INFO_NONE,  // unknown or driver specific: the pointer only
  ZOLANDM_TR_INFO_STRING,
  ZOLANDM_TR_INFO_SHORT,  // 16-bit number
  ZOLANDM_TR_INFO_LONG,   // 32-bit number
  ZOLANDM_TR_INFO_ENUM,
  ZOLANDM_TR_INFO_MASK,
};

// Names by value (an enumeration) or by bit number (a mask); `zero` is a mask's name for 0,
// null where the mask has none.
struct zolandm_tr_name_list {
  const char* zero;
  size_t count;
  const char* const* names;
};

struct zolandm_tr_info_type {
  unsigned short type;
  const char* name;
  zolandm_tr_info_form form;
  const zolandm_tr_name_list* values;
};

// The entry of an information type, or null for one the trace does not know.
const zolandm_tr_info_type* _zolandm_tr_info_type_find(unsigned short type);
