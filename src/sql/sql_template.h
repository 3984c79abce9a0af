// The SQL template expander. A template is a NUL-terminated byte string in
// which every byte but 0xFF is literal text and 0xFF starts an escape:
//   FF 00            nothing
//   FF 01 n          argument n (1-based); "NULL" for n = 0 or n above the
//                    count; nothing for a NULL argument pointer
//   FF 02 id kind n  IF: opens block id with a condition on argument n
//   FF 03 id kind n  ELSE-IF of block id
//   FF 04 id         ELSE of block id
//   FF 05 id         END of block id
//   FF c (c >= 6)    skipped
// Condition kinds: 1 blank (empty, blanks only or exactly "%"; NULL true),
// 2 not blank (NULL false), 3 has an unescaped LIKE wildcard (NULL false),
// 4 has none (NULL true); kinds 3 and 4 drop the backslashes of escaped
// wildcards in the argument in place. Any other kind is never true.
// A template cut off inside an escape, or whose skipped block reaches the end
// of the text, ends the expansion there. The cursor engine builds its keyset,
// positioned and refresh statements with this expander; parse trees use it for
// node formats that hold conditions.
#pragma once

#include "util/mpool.h"

// Appends the expansion and a NUL to the object being built in pPool; returns
// 0. The caller takes the text with mpl_finish.
int BuildSQLDynamic(MPL* pPool, const unsigned char* sequence, char** vect, unsigned int numElem);
// 1 when p holds an unescaped wildcard; else 0 after unescaping escaped ones in place.
int FWild(char* p);
// 1 when str is NULL, empty, blanks only or exactly "%".
int FBlank(const char* str);

// Template bytes of placeholder n, for building formats in code.
#define SQLT_ARG(n) "\xff\x01" #n
