// Growing-object memory pool. Objects (SQL text mostly) are built byte by byte
// at the end of the newest chunk and finished in place; finished objects never
// move, the unfinished one may move on any append (keep offsets into it, not
// pointers). Everything is freed at once. Chunk failures end the process.
#pragma once

#include <cstddef>
#include <cstdint>

typedef unsigned char* memptr_t;
typedef uint64_t memsz_t;

struct mpc;
typedef struct mpc MPC;
struct mpc {
  MPC* mc_prev;       // the older chunk
  memptr_t mc_limit;  // end of this chunk
};

struct MPL {
  MPC* mp_chunk;      // newest chunk, null for an empty pool
  memptr_t mp_base;   // start of the object being built
  memptr_t mp_next;   // where the next byte goes
  memptr_t mp_limit;  // end of the newest chunk
};

enum { MPL_ALIGN = 16 };

void mpl_init(MPL* pool);
memptr_t mpl_grow(MPL* pool, const void* addr, memsz_t len);
void mpl_newchunk(MPL* pool, memsz_t length);
memptr_t mpl_finish(MPL* pool);
memptr_t mpl_finish2(MPL* pool, memsz_t* size);
memsz_t mpl_object_size(const MPL* pool);
void mpl_align(MPL* pool);
memptr_t mpl_alloc(MPL* pool, memsz_t size);
memptr_t mpl_getmem(MPL* pool, memsz_t size);
void mpl_free(MPL* pool, memptr_t position);
void mpl_destroy(MPL* pool);

// Zeroed allocation that ends the process when memory runs out, and its release.
void* getcore(size_t size);
void freecore(void* p);

inline void mpl_append_byte(MPL* pool, int byte) {
  if (pool->mp_next >= pool->mp_limit) mpl_newchunk(pool, 1);
  *pool->mp_next++ = static_cast<unsigned char>(byte);
}
