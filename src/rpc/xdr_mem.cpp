// The memory stream: encodes into or decodes from a caller's buffer.
#include <arpa/inet.h>

#include <cstdint>
#include <cstring>

#include "rpc/xdr.h"

namespace {

int xdrmem_getlong(XDR* xdrs, int* lp) {
  if (xdrs->x_handy < 4) return FALSE;
  xdrs->x_handy -= 4;
  uint32_t v;
  memcpy(&v, xdrs->x_private, 4);
  *lp = static_cast<int>(ntohl(v));
  xdrs->x_private += 4;
  return TRUE;
}

int xdrmem_putlong(XDR* xdrs, const int* lp) {
  if (xdrs->x_handy < 4) return FALSE;
  xdrs->x_handy -= 4;
  uint32_t v = htonl(static_cast<uint32_t>(*lp));
  memcpy(xdrs->x_private, &v, 4);
  xdrs->x_private += 4;
  return TRUE;
}

int xdrmem_getbytes(XDR* xdrs, char* addr, unsigned int len) {
  if (xdrs->x_handy < len) return FALSE;
  xdrs->x_handy -= len;
  if (len) memcpy(addr, xdrs->x_private, len);
  xdrs->x_private += len;
  return TRUE;
}

int xdrmem_putbytes(XDR* xdrs, const char* addr, unsigned int len) {
  if (xdrs->x_handy < len) return FALSE;
  xdrs->x_handy -= len;
  if (len) memcpy(xdrs->x_private, addr, len);
  xdrs->x_private += len;
  return TRUE;
}

unsigned int xdrmem_getpos(XDR* xdrs) {
  return static_cast<unsigned int>(reinterpret_cast<uintptr_t>(xdrs->x_private) -
                                   reinterpret_cast<uintptr_t>(xdrs->x_base));
}

int xdrmem_setpos(XDR* xdrs, unsigned int pos) {
  uintptr_t base = reinterpret_cast<uintptr_t>(xdrs->x_base);
  uintptr_t end = reinterpret_cast<uintptr_t>(xdrs->x_private) + xdrs->x_handy;
  uintptr_t target = base + pos;
  if (target > end || end - target > UINT32_MAX) return FALSE;
  xdrs->x_private = xdrs->x_base + pos;
  xdrs->x_handy = static_cast<unsigned int>(end - target);
  return TRUE;
}

char* xdrmem_inline(XDR* xdrs, unsigned int len) {
  if (xdrs->x_handy < len) return nullptr;
  xdrs->x_handy -= len;
  char* p = xdrs->x_private;
  xdrs->x_private += len;
  return p;
}

void xdrmem_destroy(XDR*) {}

const xdr_ops xdrmem_ops = {xdrmem_getlong, xdrmem_putlong, xdrmem_getbytes, xdrmem_putbytes,
                            xdrmem_getpos,  xdrmem_setpos,  xdrmem_inline,   xdrmem_destroy};

}  // namespace

void VYRRPC_xdrmem_create(XDR* xdrs, char* addr, unsigned int size, xdr_op op) {
  xdrs->x_op = op;
  xdrs->x_ops = &xdrmem_ops;
  xdrs->x_public = nullptr;
  xdrs->x_private = xdrs->x_base = addr;
  xdrs->x_handy = size;
}
