// Allocation fault injection (see fault.h).
#include "util/fault.h"

#include <atomic>

namespace {
std::atomic<long> countdown{-1};
}

void vyr_fault_inject(long n) { countdown.store(n); }

bool vyr_fault_alloc(void) {
  long c = countdown.load();
  while (c >= 0) {
    if (c == 0) return true;
    if (countdown.compare_exchange_weak(c, c - 1)) return false;
  }
  return false;
}
