// Terminating allocators: they never return null. When memory runs out they
// log the failure at level 3 and end the process through the program's
// terminate(1) (see options.h).
#pragma once

#include <cstddef>

// Zeroed memory for s elements of n bytes; one byte when either is 0.
void* s_alloc(size_t s, size_t n);
void* s_realloc(void* s, size_t n);
// A copy of the string in zeroed memory.
char* s_strdup(const char* s);
