// The Unicode 3.2 case tables (generated into unicode_case_tables.cpp) and the
// lookups on them.
#pragma once

#include <cstdint>

#include "util/unicode.h"

// A row whose word is bit 31 alone maps through this table instead.
struct case_exception {
  uint32_t from;
  uint32_t to;
};
extern const case_exception case_exceptions[];
extern const unsigned case_exceptions_nelts;

// Index of the row of code point c in a sorted table, or -1.
int BinarySearch(const uint32_t* table, unsigned nelts, uint32_t c);
