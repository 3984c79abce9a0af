// Chunked bump allocator of parse trees (see tree_arena.h).
#include "sql/tree_arena.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "util/fault.h"

namespace {

struct Chunk {
  Chunk* prev;
};

// The first chunk holds the arena record and a short statement's whole tree;
// later chunks double up to kMaxChunk, so a long statement needs few of them
// and a failed allocation never asks for much more than it needs.
constexpr size_t kFirstChunk = 8192;
constexpr size_t kMaxChunk = size_t{1} << 20;
constexpr size_t kAlign = 8;

size_t roundUp(size_t n) { return (n + (kAlign - 1)) & ~(kAlign - 1); }

}  // namespace

struct PtArena {
  Chunk* chunks;     // newest first
  char* next;        // next free byte of the newest chunk (aligned)
  size_t left;       // bytes free after next
  size_t chunkSize;  // size of the newest regular chunk
  size_t used;       // bytes handed out
};

static_assert(sizeof(Chunk) % kAlign == 0 && sizeof(PtArena) % kAlign == 0, "aligned headers");

PtArena* pta_Create(void) {
  if (vyr_fault_alloc()) return nullptr;
  char* block = static_cast<char*>(malloc(kFirstChunk));
  if (!block) return nullptr;
  Chunk* c = reinterpret_cast<Chunk*>(block);
  c->prev = nullptr;
  PtArena* a = reinterpret_cast<PtArena*>(block + sizeof(Chunk));
  a->chunks = c;
  a->next = block + sizeof(Chunk) + sizeof(PtArena);
  a->left = kFirstChunk - sizeof(Chunk) - sizeof(PtArena);
  a->chunkSize = kFirstChunk;
  a->used = 0;
  return a;
}

void* pta_Alloc(PtArena* a, size_t size) {
  if (!a || vyr_fault_alloc()) return nullptr;
  if (size > SIZE_MAX - kMaxChunk) return nullptr;
  size = roundUp(size ? size : 1);
  if (size > a->left) {
    size_t want = a->chunkSize < kMaxChunk ? a->chunkSize * 2 : kMaxChunk;
    size_t need = size + sizeof(Chunk);
    if (need > want) {
      // Larger than a regular chunk: a block of its own, behind the newest
      // chunk so that the newest chunk's free room stays in use.
      char* block = static_cast<char*>(malloc(need));
      if (!block) return nullptr;
      Chunk* c = reinterpret_cast<Chunk*>(block);
      c->prev = a->chunks->prev;
      a->chunks->prev = c;
      a->used += size;
      return block + sizeof(Chunk);
    }
    char* block = static_cast<char*>(malloc(want));
    if (!block) return nullptr;
    Chunk* c = reinterpret_cast<Chunk*>(block);
    c->prev = a->chunks;
    a->chunks = c;
    a->chunkSize = want;
    a->next = block + sizeof(Chunk);
    a->left = want - sizeof(Chunk);
  }
  void* p = a->next;
  a->next += size;
  a->left -= size;
  a->used += size;
  return p;
}

char* pta_Copy(PtArena* a, const char* text, size_t len) {
  char* d = static_cast<char*>(pta_Alloc(a, len + 1));
  if (!d) return nullptr;
  memcpy(d, text, len);
  d[len] = 0;
  return d;
}

size_t pta_Used(const PtArena* a) { return a ? a->used : 0; }

void pta_Destroy(PtArena* a) {
  if (!a) return;
  // The arena record lives in the oldest chunk: free that one last.
  Chunk* c = a->chunks;
  while (c) {
    Chunk* prev = c->prev;
    free(c);
    c = prev;
  }
}
