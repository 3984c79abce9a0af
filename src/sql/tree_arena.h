// Memory of one parse tree. The parser makes every node, token text and first
// label of a tree in one arena: allocations are carved from a few chunks and
// released at once with the tree (pt_treeFree), instead of one malloc and one
// free per node and per text. An arena is not thread-safe; a tree belongs to
// one caller at a time.
#pragma once

#include <cstddef>

struct PtArena;

// A new, empty arena; NULL when memory fails.
PtArena* pta_Create(void);
// size bytes aligned to 8, valid until the arena is destroyed; NULL when memory
// fails (fault injection included: every allocation asks vyr_fault_alloc).
void* pta_Alloc(PtArena* arena, size_t size);
// A NUL-terminated copy of the len bytes at text; NULL when memory fails.
char* pta_Copy(PtArena* arena, const char* text, size_t len);
// Bytes handed out so far (0 for NULL).
size_t pta_Used(const PtArena* arena);
// Releases every chunk; NULL is ignored.
void pta_Destroy(PtArena* arena);
