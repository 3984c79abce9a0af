// Terminating allocators.
#include "util/alloc.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "util/fault.h"
#include "util/log.h"
#include "util/options.h"

namespace {

[[noreturn]] void out_of_memory(bool in_realloc) {
  if (in_realloc)
    logit(LOG_ERR, __FILE__, __LINE__, "s_realloc: out of memory");
  else
    logit(LOG_ERR, __FILE__, __LINE__, "s_alloc: out of memory");
  terminate(1);
  abort();  // terminate never returns; keep the promise of never returning null
}

}  // namespace

void* s_alloc(size_t s, size_t n) {
  if (s == 0 || n == 0) s = n = 1;
  void* p = nullptr;
  if (s <= SIZE_MAX / n && !vyr_fault_alloc()) p = calloc(s, n);
  if (p == nullptr) out_of_memory(false);
  return p;
}

void* s_realloc(void* s, size_t n) {
  // realloc(p, 0) may free p and answer null: keep a live block instead.
  if (n == 0) n = 1;
  void* p = vyr_fault_alloc() ? nullptr : realloc(s, n);
  if (p == nullptr) out_of_memory(true);
  return p;
}

char* s_strdup(const char* s) {
  if (s == nullptr) s = "";
  size_t len = strlen(s);
  char* p = static_cast<char*>(s_alloc(len + 1, 1));
  memcpy(p, s, len);
  return p;
}
