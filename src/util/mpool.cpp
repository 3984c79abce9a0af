// Growing-object memory pool.
#include "util/mpool.h"

#include <cstdlib>
#include <cstring>

#include "util/fault.h"
#include "util/log.h"
#include "util/options.h"

namespace {

memptr_t align_up(memptr_t p) {
  uintptr_t v = reinterpret_cast<uintptr_t>(p);
  v = (v + (MPL_ALIGN - 1)) & ~static_cast<uintptr_t>(MPL_ALIGN - 1);
  return reinterpret_cast<memptr_t>(v);
}

// Object space of a chunk: the first 16-byte boundary at least 16 bytes past its start.
memptr_t chunk_space(MPC* chunk) { return align_up(reinterpret_cast<memptr_t>(chunk) + sizeof(MPC)); }

[[noreturn]] void pool_out_of_memory(const char* file, int line) {
  logit(LOG_ERR, file, line, "out of memory");
  terminate(1);
  abort();
}

memsz_t room_left(const MPL* pool) { return static_cast<memsz_t>(pool->mp_limit - pool->mp_next); }

// Makes sure `need` more bytes fit after the object being built (strictly
// below the limit), moving the object to a new chunk when they do not.
void ensure_room(MPL* pool, memsz_t need) {
  if (need >= room_left(pool)) mpl_newchunk(pool, need);
}

}  // namespace

void* getcore(size_t size) {
  if (size == 0) size = 1;
  void* p = vyr_fault_alloc() ? nullptr : calloc(1, size);
  if (p == nullptr) pool_out_of_memory(__FILE__, __LINE__);
  return p;
}

void freecore(void* p) { free(p); }

void mpl_init(MPL* pool) {
  pool->mp_chunk = nullptr;
  pool->mp_base = pool->mp_next = pool->mp_limit = nullptr;
}

void mpl_newchunk(MPL* pool, memsz_t length) {
  const memsz_t obj = static_cast<memsz_t>(pool->mp_next - pool->mp_base);
  // (L + N + L/8 + 4195) rounded down to 4096, in 64 bits with overflow checks.
  const memsz_t extra = obj / 8 + 4195;
  if (length > UINT64_MAX - obj || obj + length > UINT64_MAX - extra || obj + length + extra > SIZE_MAX)
    pool_out_of_memory(__FILE__, __LINE__);
  const memsz_t size = (obj + length + extra) / 4096 * 4096;

  MPC* chunk = static_cast<MPC*>(getcore(static_cast<size_t>(size)));
  chunk->mc_limit = reinterpret_cast<memptr_t>(chunk) + size;
  memptr_t space = chunk_space(chunk);
  if (obj > 0) memcpy(space, pool->mp_base, static_cast<size_t>(obj));

  MPC* prev = pool->mp_chunk;
  if (prev != nullptr && pool->mp_base == chunk_space(prev)) {
    // The previous chunk held nothing but the object just moved.
    chunk->mc_prev = prev->mc_prev;
    freecore(prev);
  } else {
    chunk->mc_prev = prev;
  }
  pool->mp_chunk = chunk;
  pool->mp_limit = chunk->mc_limit;
  pool->mp_base = space;
  pool->mp_next = space + obj;
}

memptr_t mpl_grow(MPL* pool, const void* addr, memsz_t len) {
  // The bytes may come from the object being built itself, which may move.
  const unsigned char* src = static_cast<const unsigned char*>(addr);
  bool inside = src != nullptr && pool->mp_base != nullptr && src >= pool->mp_base && src < pool->mp_next;
  memsz_t offset = inside ? static_cast<memsz_t>(src - pool->mp_base) : 0;
  ensure_room(pool, len);
  if (inside) src = pool->mp_base + offset;
  memptr_t at = pool->mp_next;
  if (len > 0) memmove(at, src, static_cast<size_t>(len));
  pool->mp_next += len;
  return at;
}

memptr_t mpl_finish(MPL* pool) {
  memptr_t start = pool->mp_base;
  pool->mp_next = align_up(pool->mp_next);
  if (pool->mp_next > pool->mp_limit) pool->mp_next = pool->mp_limit;
  pool->mp_base = pool->mp_next;
  return start;
}

memptr_t mpl_finish2(MPL* pool, memsz_t* size) {
  if (size != nullptr) *size = mpl_object_size(pool);
  return mpl_finish(pool);
}

memsz_t mpl_object_size(const MPL* pool) { return static_cast<memsz_t>(pool->mp_next - pool->mp_base); }

void mpl_align(MPL* pool) {
  memptr_t aligned = align_up(pool->mp_next);
  ensure_room(pool, static_cast<memsz_t>(aligned - pool->mp_next));
  pool->mp_next = align_up(pool->mp_next);
}

memptr_t mpl_alloc(MPL* pool, memsz_t size) {
  ensure_room(pool, size);
  memptr_t at = pool->mp_next;
  pool->mp_next = align_up(at + size);
  if (pool->mp_next > pool->mp_limit) pool->mp_next = pool->mp_limit;
  return at;
}

memptr_t mpl_getmem(MPL* pool, memsz_t size) {
  ensure_room(pool, size);
  pool->mp_next += size;
  return mpl_finish(pool);
}

void mpl_free(MPL* pool, memptr_t position) {
  if (position == nullptr) {
    pool->mp_next = pool->mp_base;
    return;
  }
  MPC* chunk = pool->mp_chunk;
  while (chunk != nullptr && !(position >= chunk_space(chunk) && position <= chunk->mc_limit)) {
    MPC* older = chunk->mc_prev;
    freecore(chunk);
    chunk = older;
  }
  if (chunk == nullptr) {
    mpl_init(pool);
    return;
  }
  pool->mp_chunk = chunk;
  pool->mp_limit = chunk->mc_limit;
  pool->mp_base = pool->mp_next = position;
}

void mpl_destroy(MPL* pool) {
  MPC* chunk = pool->mp_chunk;
  while (chunk != nullptr) {
    MPC* older = chunk->mc_prev;
    freecore(chunk);
    chunk = older;
  }
  mpl_init(pool);
}
