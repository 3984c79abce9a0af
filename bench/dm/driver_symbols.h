// The driver manager benchmarks call a driver's own functions beside the manager's: the
// driver library opened directly and its functions found by name; any failure ends the run.
#pragma once

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace dmbench {

inline void* open_driver(const char* path) {
  void* lib = dlopen(path, RTLD_NOW);
  if (lib == nullptr) {
    std::fprintf(stderr, "%s\n", dlerror());
    std::exit(1);
  }
  return lib;
}

template <typename T>
void resolve(void* lib, T& f, const char* name) {
  f = reinterpret_cast<T>(dlsym(lib, name));
  if (f == nullptr) {
    std::fprintf(stderr, "driver: %s missing\n", name);
    std::exit(1);
  }
}

}  // namespace dmbench
