// Allocation inside the data model and the wire protocol: plain C heap (records
// are released with free() by the XDR free pass), with the foundation library's
// fault injection so that tests can reach every out-of-memory path.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "util/fault.h"

inline void* wire_calloc(uint64_t count, uint64_t size) {
  if (size != 0 && count > SIZE_MAX / size) return nullptr;
  if (vyr_fault_alloc()) return nullptr;
  return std::calloc(count == 0 ? 1 : count, size == 0 ? 1 : size);
}

inline void* wire_malloc(uint64_t size) {
  if (size > SIZE_MAX) return nullptr;
  if (vyr_fault_alloc()) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

// Bytes of a column of rows cells of width bytes plus the spare byte, or UINT64_MAX
// when that cannot be represented.
inline uint64_t wire_column_bytes(uint64_t rows, uint64_t width) {
  if (width != 0 && rows > (UINT64_MAX - 1) / width) return UINT64_MAX;
  return rows * width + 1;
}
