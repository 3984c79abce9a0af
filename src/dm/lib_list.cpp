// The process-wide list of driver (and dialog) libraries: one node per path ever opened,
// counting the driver records that use it, closed at the last user only when unload-safe.
// Guarded by the global lock.

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

#include "dm/dm_internal.h"

extern "C" {
zolandm_lib* _zolandm_lib_list = nullptr;
}

void* _zolandm_lib_open(const char* path) {
  if (path == nullptr) return nullptr;
  for (zolandm_lib* node = _zolandm_lib_list; node != nullptr; node = node->next) {
    if (std::strcmp(node->path, path) == 0) {
      node->refs++;
      if (node->lib == nullptr) node->lib = dlopen(path, RTLD_NOW);
      return node->lib;
    }
  }
  auto* node = static_cast<zolandm_lib*>(_zolandm_calloc(1, sizeof(zolandm_lib)));
  if (node == nullptr) return nullptr;
  node->path = _zolandm_strdup(path);
  if (node->path == nullptr) {
    std::free(node);
    return nullptr;
  }
  node->refs = 1;
  node->lib = dlopen(path, RTLD_NOW);
  node->next = _zolandm_lib_list;
  _zolandm_lib_list = node;
  return node->lib;
}

int _zolandm_lib_close(void* lib) {
  if (lib == nullptr) return -1;
  for (zolandm_lib* node = _zolandm_lib_list; node != nullptr; node = node->next) {
    if (node->lib != lib) continue;
    if (node->refs > 0) node->refs--;
    if (node->refs == 0 && node->unload_safe) {
      dlclose(node->lib);
      node->lib = nullptr;
    }
    return 0;
  }
  return -1;
}

void _zolandm_lib_mark_unload_safe(void* lib) {
  if (lib == nullptr) return;
  for (zolandm_lib* node = _zolandm_lib_list; node != nullptr; node = node->next) {
    if (node->lib == lib) {
      node->unload_safe = 1;
      return;
    }
  }
}

void* _zolandm_lib_symbol(void* lib, const char* name) { return dlsym(lib, name); }

const char* _zolandm_lib_error() { return dlerror(); }

int _zolandm_lib_refs(const char* path) {
  // Asked by tests from outside any call, while other threads may be connecting.
  zolandm_global_guard lock;
  for (zolandm_lib* node = _zolandm_lib_list; node != nullptr; node = node->next) {
    if (std::strcmp(node->path, path) == 0) return node->refs;
  }
  return 0;
}
