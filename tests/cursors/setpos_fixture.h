// Positioned operations through the engine's table for the tests: the call
// with a column list copied to the heap (the operation takes it over) and its
// answer with the statuses.
#pragma once

#include <cstdlib>
#include <cstring>
#include <vector>

#include "cursors/setpos.h"
#include "drv_ops.h"

namespace engine_test {

struct SetPosAnswer {
  errcode_t rc = ER_SUCCESS;
  std::vector<int> status;
};

inline SetPosAnswer SetPosCall(drv_ops& ops, handle_t h, sgn32 irow, uns16 opt, Dataset* ds,
                               const std::vector<uns16>& cols) {
  uns16* rg = nullptr;
  if (!cols.empty()) {
    rg = static_cast<uns16*>(malloc(cols.size() * sizeof(uns16)));
    memcpy(rg, cols.data(), cols.size() * sizeof(uns16));
  }
  uns16* st = nullptr;
  uns32 n = 0;
  SetPosAnswer a;
  a.rc = ops.setPos(h, irow, opt, 0, &st, &n, ds, rg, uns16(cols.size()));
  for (uns32 i = 0; st && i < n; i++) a.status.push_back(st[i]);
  free(st);
  return a;
}

}  // namespace engine_test
