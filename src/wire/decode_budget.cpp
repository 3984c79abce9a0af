// The decode budget: what one decoded record may make us allocate ahead of its
// data (see WireDecodeScope in wire_xdr.h), kept per thread.
#include <algorithm>

#include "wire/wire_xdr.h"

namespace {
thread_local int budget_depth = 0;
thread_local uint64_t budget_left = 0;
uint64_t budget_limit = VYR_MAX_DECODE_BYTES;
}  // namespace

void wire_set_decode_limit(uint64_t bytes) {
  budget_limit = bytes < VYR_MAX_DECODE_BYTES ? bytes : VYR_MAX_DECODE_BYTES;
}

WireDecodeScope::WireDecodeScope(XDR* xdrs) : active_(xdrs && xdrs->x_op == XDR_DECODE) {
  if (!active_) return;
  if (budget_depth++ == 0) budget_left = budget_limit;
}

WireDecodeScope::~WireDecodeScope() {
  if (active_) --budget_depth;
}

bool wire_decode_charge(uint64_t bytes) {
  if (budget_depth == 0) return bytes <= budget_limit;  // a routine called on its own
  if (bytes > budget_left) return false;
  budget_left -= bytes;
  return true;
}

void wire_decode_refund(uint64_t bytes) {
  if (budget_depth > 0) budget_left = std::min(budget_limit, budget_left + bytes);
}
