// Filter routines of the primitive and constructed XDR types.
#include "rpc/xdr.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "rpc/xdr_call.h"

namespace {

// Pad bytes: a zero source for encoding, a sink for decoding.
const char xdr_zero[4] = {0, 0, 0, 0};
// One sink per thread: every connection thread decodes at once.
thread_local char xdr_sink[4];

thread_local int pointer_depth = 0;

int put_unit(XDR* xdrs, int v) { return xdrs->x_ops->x_putlong(xdrs, &v); }

unsigned int pad_of(unsigned int cnt) { return (4 - cnt % 4) % 4; }

// Reads len bytes into a buffer that grows as they arrive, so that a length the
// peer announced but does not send costs at most one step of memory. extra
// zero bytes follow the data (a string's NUL). On failure nothing is kept.
int read_growing(XDR* xdrs, char** out, unsigned int len, unsigned int extra) {
  uint64_t cap = len <= VYRRPC_XDR_GROW_STEP ? len : VYRRPC_XDR_GROW_STEP;
  char* buf = static_cast<char*>(calloc(cap + extra, 1));
  if (!buf) return FALSE;
  uint64_t got = 0;
  while (got < len) {
    if (got == cap) {
      uint64_t ncap = cap * 2 < len ? cap * 2 : len;
      char* nb = static_cast<char*>(realloc(buf, ncap + extra));
      if (!nb) {
        free(buf);
        return FALSE;
      }
      buf = nb;
      memset(buf + cap, 0, ncap - cap + extra);
      cap = ncap;
    }
    unsigned int chunk = static_cast<unsigned int>(cap - got);
    if (!xdrs->x_ops->x_getbytes(xdrs, buf + got, chunk)) {
      free(buf);
      return FALSE;
    }
    got += chunk;
  }
  unsigned int pad = pad_of(len);
  if (pad && !xdrs->x_ops->x_getbytes(xdrs, xdr_sink, pad)) {
    free(buf);
    return FALSE;
  }
  *out = buf;
  return TRUE;
}

}  // namespace

int VYRRPC_xdr_void(XDR*, void*) { return TRUE; }

int VYRRPC_xdr_int(XDR* xdrs, int* ip) {
  switch (xdrs->x_op) {
    case XDR_ENCODE:
      return put_unit(xdrs, *ip);
    case XDR_DECODE:
      return xdrs->x_ops->x_getlong(xdrs, ip);
    case XDR_FREE:
      return TRUE;
  }
  return FALSE;
}

int VYRRPC_xdr_u_int(XDR* xdrs, unsigned int* up) {
  switch (xdrs->x_op) {
    case XDR_ENCODE:
      return put_unit(xdrs, static_cast<int>(*up));
    case XDR_DECODE: {
      int v;
      if (!xdrs->x_ops->x_getlong(xdrs, &v)) return FALSE;
      *up = static_cast<unsigned int>(v);
      return TRUE;
    }
    case XDR_FREE:
      return TRUE;
  }
  return FALSE;
}

int VYRRPC_xdr_long(XDR* xdrs, int* lp) { return VYRRPC_xdr_int(xdrs, lp); }
int VYRRPC_xdr_u_long(XDR* xdrs, unsigned int* up) { return VYRRPC_xdr_u_int(xdrs, up); }
int VYRRPC_xdr_enum(XDR* xdrs, enum_t* ep) { return VYRRPC_xdr_int(xdrs, ep); }

namespace {
// Shared shape of the narrow scalars: widen to a unit, narrow on decoding.
template <typename T, typename Wide>
int narrow_filter(XDR* xdrs, T* p) {
  switch (xdrs->x_op) {
    case XDR_ENCODE:
      return put_unit(xdrs, static_cast<int>(static_cast<Wide>(*p)));
    case XDR_DECODE: {
      int v;
      if (!xdrs->x_ops->x_getlong(xdrs, &v)) return FALSE;
      *p = static_cast<T>(v);
      return TRUE;
    }
    case XDR_FREE:
      return TRUE;
  }
  return FALSE;
}
}  // namespace

int VYRRPC_xdr_short(XDR* xdrs, short* sp) { return narrow_filter<short, int>(xdrs, sp); }
int VYRRPC_xdr_u_short(XDR* xdrs, unsigned short* sp) {
  return narrow_filter<unsigned short, unsigned int>(xdrs, sp);
}
int VYRRPC_xdr_char(XDR* xdrs, char* cp) {
  return narrow_filter<char, int>(xdrs, reinterpret_cast<char*>(cp));
}
int VYRRPC_xdr_u_char(XDR* xdrs, unsigned char* cp) {
  return narrow_filter<unsigned char, unsigned int>(xdrs, cp);
}

int VYRRPC_xdr_bool(XDR* xdrs, int* bp) {
  switch (xdrs->x_op) {
    case XDR_ENCODE:
      return put_unit(xdrs, *bp ? 1 : 0);
    case XDR_DECODE: {
      int v;
      if (!xdrs->x_ops->x_getlong(xdrs, &v)) return FALSE;
      *bp = v ? 1 : 0;
      return TRUE;
    }
    case XDR_FREE:
      return TRUE;
  }
  return FALSE;
}

int VYRRPC_xdr_opaque(XDR* xdrs, char* cp, unsigned int cnt) {
  if (cnt == 0) return TRUE;
  unsigned int pad = pad_of(cnt);
  switch (xdrs->x_op) {
    case XDR_DECODE:
      if (!xdrs->x_ops->x_getbytes(xdrs, cp, cnt)) return FALSE;
      return pad == 0 || xdrs->x_ops->x_getbytes(xdrs, xdr_sink, pad);
    case XDR_ENCODE:
      if (!xdrs->x_ops->x_putbytes(xdrs, cp, cnt)) return FALSE;
      return pad == 0 || xdrs->x_ops->x_putbytes(xdrs, xdr_zero, pad);
    case XDR_FREE:
      return TRUE;
  }
  return FALSE;
}

int VYRRPC_xdr_bytes(XDR* xdrs, char** cpp, unsigned int* sizep, unsigned int maxsize) {
  if (xdrs->x_op == XDR_FREE) {
    if (*cpp) {
      free(*cpp);
      *cpp = nullptr;
    }
    return TRUE;
  }
  if (xdrs->x_op != XDR_ENCODE && xdrs->x_op != XDR_DECODE) return FALSE;
  if (!VYRRPC_xdr_u_int(xdrs, sizep)) return FALSE;
  unsigned int size = *sizep;
  if (size > maxsize) return FALSE;
  if (size == 0) return TRUE;
  if (xdrs->x_op == XDR_DECODE && *cpp == nullptr) return read_growing(xdrs, cpp, size, 0);
  return VYRRPC_xdr_opaque(xdrs, *cpp, size);
}

namespace {
int string_filter(XDR* xdrs, char** cpp, unsigned int maxsize, bool check_max) {
  unsigned int size = 0;
  switch (xdrs->x_op) {
    case XDR_FREE:
      if (*cpp == nullptr) return TRUE;
      [[fallthrough]];
    case XDR_ENCODE: {
      if (*cpp == nullptr) return FALSE;  // a null string cannot be encoded
      size_t n = strlen(*cpp);
      if (n > UINT_MAX) return FALSE;
      size = static_cast<unsigned int>(n);
      break;
    }
    case XDR_DECODE:
      break;
    default:
      return FALSE;
  }
  if (xdrs->x_op != XDR_FREE && !VYRRPC_xdr_u_int(xdrs, &size)) return FALSE;
  if (check_max && size > maxsize) return FALSE;
  switch (xdrs->x_op) {
    case XDR_DECODE:
      // 0xFFFFFFFF cannot be a string length (its length plus the NUL wraps).
      if (size == UINT_MAX) return FALSE;
      if (*cpp == nullptr) {
        if (size == 0) {
          *cpp = static_cast<char*>(calloc(1, 1));
          return *cpp != nullptr;
        }
        return read_growing(xdrs, cpp, size, 1);
      }
      (*cpp)[size] = '\0';
      return VYRRPC_xdr_opaque(xdrs, *cpp, size);
    case XDR_ENCODE:
      return VYRRPC_xdr_opaque(xdrs, *cpp, size);
    default:
      free(*cpp);
      *cpp = nullptr;
      return TRUE;
  }
}
}  // namespace

int VYRRPC_xdr_string(XDR* xdrs, char** cpp, unsigned int maxsize) {
  return string_filter(xdrs, cpp, maxsize, true);
}

int VYRRPC_xdr_wrapstring(XDR* xdrs, char** cpp) { return string_filter(xdrs, cpp, UINT_MAX, false); }

VYRRPC_CALLS_FILTERS
int VYRRPC_xdr_array(XDR* xdrs, char** addrp, unsigned int* sizep, unsigned int maxsize, unsigned int elsize,
                     xdrproc_t elproc) {
  if (!VYRRPC_xdr_u_int(xdrs, sizep)) return FALSE;
  unsigned int count = *sizep;
  if (xdrs->x_op != XDR_FREE && (elsize == 0 || count > maxsize || count > UINT_MAX / elsize)) return FALSE;
  char* target = *addrp;
  if (target == nullptr) {
    if (xdrs->x_op == XDR_FREE) return TRUE;
    if (xdrs->x_op == XDR_ENCODE) return count == 0;
    if (count == 0) return TRUE;
    // Decoding into our own array: it grows with the elements that arrive.
    uint64_t step = VYRRPC_XDR_GROW_STEP / elsize ? VYRRPC_XDR_GROW_STEP / elsize : 1;
    uint64_t cap = count < step ? count : step;
    char* buf = static_cast<char*>(calloc(cap, elsize));
    if (!buf) return FALSE;
    for (uint64_t i = 0; i < count; i++) {
      if (i == cap) {
        uint64_t ncap = cap * 2 < count ? cap * 2 : count;
        char* nb = static_cast<char*>(realloc(buf, ncap * elsize));
        if (!nb) {
          *addrp = buf;
          *sizep = static_cast<unsigned int>(cap);  // what the free pass may walk
          return FALSE;
        }
        buf = nb;
        memset(buf + cap * elsize, 0, (ncap - cap) * elsize);
        cap = ncap;
      }
      if (!elproc(xdrs, buf + i * elsize)) {
        *addrp = buf;
        *sizep = static_cast<unsigned int>(cap);
        return FALSE;
      }
    }
    *addrp = buf;
    return TRUE;
  }
  int stat = TRUE;
  for (unsigned int i = 0; i < count && stat; i++)
    stat = elproc(xdrs, target + static_cast<uint64_t>(i) * elsize);
  if (xdrs->x_op == XDR_FREE) {
    free(*addrp);
    *addrp = nullptr;
  }
  return stat;
}

VYRRPC_CALLS_FILTERS
int VYRRPC_xdr_vector(XDR* xdrs, char* basep, unsigned int nelem, unsigned int elemsize, xdrproc_t elproc) {
  char* p = basep;
  for (unsigned int i = 0; i < nelem; i++, p += elemsize)
    if (!elproc(xdrs, p)) return FALSE;
  return TRUE;
}

VYRRPC_CALLS_FILTERS
int VYRRPC_xdr_reference(XDR* xdrs, char** pp, unsigned int size, xdrproc_t proc) {
  char* loc = *pp;
  if (loc == nullptr) {
    switch (xdrs->x_op) {
      case XDR_FREE:
        return TRUE;
      case XDR_DECODE:
        loc = static_cast<char*>(calloc(size ? size : 1, 1));
        if (!loc) return FALSE;
        *pp = loc;
        break;
      default:
        break;
    }
  }
  int stat = proc(xdrs, loc);
  if (xdrs->x_op == XDR_FREE) {
    free(loc);
    *pp = nullptr;
  }
  return stat;
}

int VYRRPC_xdr_pointer(XDR* xdrs, char** objpp, unsigned int obj_size, xdrproc_t xdr_obj) {
  int more = *objpp != nullptr;
  if (!VYRRPC_xdr_bool(xdrs, &more)) return FALSE;
  if (!more) {
    *objpp = nullptr;
    return TRUE;
  }
  if (xdrs->x_op == XDR_DECODE && pointer_depth >= VYRRPC_XDR_MAX_DEPTH) return FALSE;
  pointer_depth++;
  int stat = VYRRPC_xdr_reference(xdrs, objpp, obj_size, xdr_obj);
  pointer_depth--;
  return stat;
}

VYRRPC_CALLS_FILTERS
int VYRRPC_xdr_union(XDR* xdrs, enum_t* dscmp, char* unp, const xdr_discrim* choices, xdrproc_t dfault) {
  if (!VYRRPC_xdr_enum(xdrs, dscmp)) return FALSE;
  for (; choices->proc != nullptr; choices++)
    if (choices->value == *dscmp) return choices->proc(xdrs, unp);
  return dfault ? dfault(xdrs, unp) : FALSE;
}

VYRRPC_CALLS_FILTERS
void VYRRPC_xdr_free(xdrproc_t proc, char* objp) {
  XDR x{};
  x.x_op = XDR_FREE;
  proc(&x, objp);
}
