// IEEE floating-point filters: the bit patterns as units, high word first.
#include <cstdint>
#include <cstring>

#include "rpc/xdr.h"

int xdr_float(XDR* xdrs, float* fp) {
  static_assert(sizeof(float) == 4);
  int bits;
  switch (xdrs->x_op) {
    case XDR_ENCODE:
      memcpy(&bits, fp, 4);
      return xdrs->x_ops->x_putlong(xdrs, &bits);
    case XDR_DECODE:
      if (!xdrs->x_ops->x_getlong(xdrs, &bits)) return FALSE;
      memcpy(fp, &bits, 4);
      return TRUE;
    case XDR_FREE:
      return TRUE;
  }
  return FALSE;
}

int xdr_double(XDR* xdrs, double* dp) {
  static_assert(sizeof(double) == 8);
  uint64_t bits;
  int hi, lo;
  switch (xdrs->x_op) {
    case XDR_ENCODE:
      memcpy(&bits, dp, 8);
      hi = static_cast<int>(static_cast<uint32_t>(bits >> 32));
      lo = static_cast<int>(static_cast<uint32_t>(bits));
      return xdrs->x_ops->x_putlong(xdrs, &hi) && xdrs->x_ops->x_putlong(xdrs, &lo);
    case XDR_DECODE:
      if (!xdrs->x_ops->x_getlong(xdrs, &hi) || !xdrs->x_ops->x_getlong(xdrs, &lo)) return FALSE;
      bits = (static_cast<uint64_t>(static_cast<uint32_t>(hi)) << 32) | static_cast<uint32_t>(lo);
      memcpy(dp, &bits, 8);
      return TRUE;
    case XDR_FREE:
      return TRUE;
  }
  return FALSE;
}
