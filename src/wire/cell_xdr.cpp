// Wire encoding of scalars, strings, wide text and single cells: the filters the
// records and the column codecs (column_xdr.cpp) are built from.
#include "wire/cell_xdr.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "model/wire_alloc.h"
#include "rpc/xdr_call.h"
#include "util/unicode.h"

namespace {

// ---------------------------------------------------------------------------
// Helpers

int put_raw(XDR* x, const char* p, unsigned n) { return n == 0 || x->x_ops->x_putbytes(x, p, n); }
int get_raw(XDR* x, char* p, unsigned n) { return n == 0 || x->x_ops->x_getbytes(x, p, n); }

int pad_bytes(XDR* x, uint64_t n) {
  static const char zeros[4] = {0, 0, 0, 0};
  char sink[4];
  unsigned pad = unsigned((4 - n % 4) % 4);
  if (pad == 0) return TRUE;
  return x->x_op == XDR_ENCODE ? put_raw(x, zeros, pad) : get_raw(x, sink, pad);
}

template <typename E>
int xdr_enum_of(XDR* x, E* e) {
  if (x->x_op == XDR_FREE) return TRUE;
  enum_t v = static_cast<enum_t>(*e);
  if (!VYRRPC_xdr_enum(x, &v)) return FALSE;
  if (x->x_op == XDR_DECODE) *e = static_cast<E>(v);
  return TRUE;
}

bool fits_in(uint64_t need, uint64_t room) { return need <= room; }

}  // namespace

// ---------------------------------------------------------------------------
// Scalars

int VYRXDR_sgn8(XDR* x, sgn8* v) { return VYRRPC_xdr_char(x, reinterpret_cast<char*>(v)); }
int VYRXDR_uns8(XDR* x, uns8* v) { return VYRRPC_xdr_u_char(x, v); }
int VYRXDR_sgn16(XDR* x, sgn16* v) { return VYRRPC_xdr_short(x, v); }
int VYRXDR_dbtype_t(XDR* x, dbtype_t* v) { return VYRRPC_xdr_short(x, v); }
int VYRXDR_indicator_t(XDR* x, indicator_t* v) { return VYRRPC_xdr_short(x, v); }
int VYRXDR_uns16(XDR* x, uns16* v) { return VYRRPC_xdr_u_short(x, v); }
int VYRXDR_scale_t(XDR* x, scale_t* v) { return VYRRPC_xdr_u_short(x, v); }
int VYRXDR_sgn32(XDR* x, sgn32* v) { return VYRRPC_xdr_int(x, v); }
int VYRXDR_colAttribKey_t(XDR* x, colAttribKey_t* v) { return VYRRPC_xdr_int(x, v); }
int VYRXDR_uns32(XDR* x, uns32* v) { return VYRRPC_xdr_u_int(x, v); }
int VYRXDR_precision_t(XDR* x, precision_t* v) { return VYRRPC_xdr_u_int(x, v); }
int VYRXDR_bookmark_t(XDR* x, bookmark_t* v) { return VYRRPC_xdr_u_int(x, v); }
int VYRXDR_handle_t(XDR* x, handle_t* v) { return VYRRPC_xdr_u_int(x, v); }
int VYRXDR_flt32(XDR* x, flt32* v) { return xdr_float(x, v); }
int VYRXDR_flt64(XDR* x, flt64* v) { return xdr_double(x, v); }
int VYRXDR_errcode_t(XDR* x, errcode_t* v) { return xdr_enum_of(x, v); }
int VYRXDR_ctype_t(XDR* x, ctype_t* v) { return xdr_enum_of(x, v); }
int VYRXDR_sqltype_t(XDR* x, sqltype_t* v) { return xdr_enum_of(x, v); }
int VYRXDR_nullable_t(XDR* x, nullable_t* v) { return xdr_enum_of(x, v); }
int VYRXDR_savePntCmd_t(XDR* x, savePntCmd_t* v) { return xdr_enum_of(x, v); }
int VYRXDR_attrType_t(XDR* x, attrType_t* v) { return xdr_enum_of(x, v); }

// ---------------------------------------------------------------------------
// Strings

int VYRXDR_String(XDR* x, String* s) {
  switch (x->x_op) {
    case XDR_FREE:
      std::free(*s);
      *s = nullptr;
      return TRUE;
    case XDR_ENCODE: {
      uint64_t len = *s ? std::strlen(*s) : 0;
      if (*s && len >= INT32_MAX) return FALSE;
      sgn32 n = *s ? sgn32(len + 1) : 0;
      if (!VYRRPC_xdr_int(x, &n)) return FALSE;
      return n <= 1 || VYRRPC_xdr_opaque(x, *s, unsigned(n - 1));
    }
    case XDR_DECODE: {
      sgn32 n;
      if (!VYRRPC_xdr_int(x, &n)) return FALSE;
      if (n < 0) return FALSE;
      std::free(*s);
      *s = nullptr;
      if (n == 0) return TRUE;
      if (!wire_decode_charge(uint64_t(n))) return FALSE;
      char* p = static_cast<char*>(wire_malloc(uint64_t(n)));
      if (!p) return FALSE;
      p[n - 1] = 0;
      *s = p;
      return n == 1 || VYRRPC_xdr_opaque(x, p, unsigned(n - 1));
    }
  }
  return FALSE;
}

int VYRXDR_localString(XDR* x, localString* s) {
  if (x->x_op == XDR_DECODE) *s = nullptr;
  if (x->x_op == XDR_FREE) {
    std::free(*s);
    *s = nullptr;
  }
  return TRUE;
}

int xdr_localBool(XDR*, localBool*) { return TRUE; }

// ---------------------------------------------------------------------------
// Wide text

int VYRXDR_c_wchr(XDR* x, wchar_t* wstr, unsigned int size) {
  constexpr unsigned kBuf = 512;
  char buf[kBuf];
  if (x->x_op == XDR_FREE) return TRUE;
  if (x->x_op == XDR_ENCODE) {
    uint32_t u = size ? uint32_t(calc_len_for_utf8(wstr, ssize_t(size))) : 0;
    if (!VYRRPC_xdr_u_int(x, &u)) return FALSE;
    if (u == 0) return TRUE;
    uint64_t sent = 0;
    unsigned done = 0;
    while (done < size) {
      unsigned short conv = 0;
      size_t n = wcsntoutf8(wstr + done, buf, size - done, kBuf, &conv);
      if (conv == 0) return FALSE;
      if (!put_raw(x, buf, unsigned(n))) return FALSE;
      sent += n;
      done += conv;
    }
    if (sent != u) return FALSE;
    return pad_bytes(x, u);
  }
  if (x->x_op != XDR_DECODE) return FALSE;
  uint32_t u;
  if (!VYRRPC_xdr_u_int(x, &u)) return FALSE;
  if (u == 0) return TRUE;
  if (size == 0) return FALSE;
  uint64_t unread = u;
  unsigned have = 0;
  unsigned got = 0;
  while (got < size) {
    unsigned want = unsigned(std::min<uint64_t>(kBuf - have, unread));
    if (want > 0) {
      if (!get_raw(x, buf + have, want)) return FALSE;
      have += want;
      unread -= want;
    }
    if (have == 0) return FALSE;  // bytes used up before the characters
    unsigned short consumed = 0;
    size_t k = utf8ntowcs(buf, wstr + got, have, size - got, &consumed);
    if (k == 0) return FALSE;  // a full buffer, or the last bytes, that make no character
    got += unsigned(k);
    std::memmove(buf, buf + consumed, have - consumed);
    have -= consumed;
  }
  // The last character must end exactly where the bytes end.
  if (have != 0 || unread != 0) return FALSE;
  return pad_bytes(x, u);
}

int VYRXDR_c_wvchr(XDR* x, wchar_t** wstr, unsigned int maxsize) {
  if (x->x_op == XDR_FREE) {
    std::free(*wstr);
    *wstr = nullptr;
    return TRUE;
  }
  uint32_t count = 0;
  if (x->x_op == XDR_ENCODE && *wstr) count = uint32_t(std::wcslen(*wstr));
  if (!VYRRPC_xdr_u_int(x, &count)) return FALSE;
  if (count > maxsize) return FALSE;
  if (x->x_op == XDR_DECODE && !*wstr) {
    uint64_t bytes = (uint64_t(count) + 1) * 4;
    if (!wire_decode_charge(bytes)) return FALSE;
    *wstr = static_cast<wchar_t*>(wire_calloc(uint64_t(count) + 1, 4));
    if (!*wstr) return FALSE;
  }
  if (count == 0) return TRUE;
  if (!*wstr) return FALSE;
  if (!VYRXDR_c_wchr(x, *wstr, count)) return FALSE;
  if (x->x_op == XDR_DECODE) (*wstr)[count] = 0;
  return TRUE;
}

// ---------------------------------------------------------------------------
// Cells

// Long cells: length unit, then the data. chars: the length counts 4-byte characters
// that travel as UTF-8; text: one spare byte for a terminator.
int xdr_long_cell(XDR* x, uint32_t* length, void** data, bool wide, bool text) {
  if (x->x_op == XDR_FREE) {
    std::free(*data);
    *data = nullptr;
    return TRUE;
  }
  uint32_t len = *length;
  if (x->x_op == XDR_ENCODE && !*data) len = 0;  // a moved-out cell has nothing to send
  if (!xdr_counted(x, &len)) return FALSE;
  if (x->x_op == XDR_DECODE) {
    *length = len;
    if (!*data && (len != 0 || text || wide)) {
      uint64_t bytes = wide ? (uint64_t(len) + 1) * 4 : uint64_t(len) + (text ? 1 : 0);
      if (!wire_decode_charge(bytes)) return FALSE;
      *data = wire_calloc(bytes, 1);
      if (!*data) return FALSE;
    }
  }
  if (len == 0) return TRUE;
  if (wide) return VYRXDR_c_wchr(x, static_cast<wchar_t*>(*data), len);
  return VYRRPC_xdr_opaque(x, static_cast<char*>(*data), len);
}

// Variable cells with a length prefix of pre bytes inside a cell of width bytes.
int xdr_prefixed_cell(XDR* x, char* cell, uint64_t width, unsigned pre, bool wide) {
  if (x->x_op == XDR_FREE) return TRUE;
  if (width < pre) return FALSE;
  uint64_t room = wide ? (width - pre) / 4 : width - pre;
  uint32_t len = 0;
  if (x->x_op == XDR_ENCODE) {
    uint64_t v = 0;
    if (pre == 1) v = static_cast<uns8>(cell[0]);
    if (pre == 2) {
      uns16 s;
      std::memcpy(&s, cell, 2);
      v = s;
    }
    if (pre == 4) {
      uns32 l;
      std::memcpy(&l, cell, 4);
      v = l;
    }
    len = uint32_t(std::min(v, room));  // never read past the cell
  }
  if (!xdr_counted(x, &len)) return FALSE;
  if (x->x_op == XDR_DECODE) {
    uint64_t maxPrefix = pre == 1 ? 0xFF : pre == 2 ? 0xFFFF : 0xFFFFFFFFull;
    if (!fits_in(len, room) || len > maxPrefix) return FALSE;
    if (pre == 1) cell[0] = char(uns8(len));
    if (pre == 2) {
      uns16 s = uns16(len);
      std::memcpy(cell, &s, 2);
    }
    if (pre == 4) std::memcpy(cell, &len, 4);
  }
  if (len == 0) return TRUE;
  if (!wide) return VYRRPC_xdr_opaque(x, cell + pre, len);
  // The characters are unaligned inside the cell: convert through an aligned copy.
  std::vector<wchar_t> tmp(len);
  if (x->x_op == XDR_ENCODE) std::memcpy(tmp.data(), cell + pre, uint64_t(len) * 4);
  if (!VYRXDR_c_wchr(x, tmp.data(), len)) return FALSE;
  if (x->x_op == XDR_DECODE) std::memcpy(cell + pre, tmp.data(), uint64_t(len) * 4);
  return TRUE;
}

int VYRXDR_c_lchr(XDR* x, c_lchr* c) {
  void* d = c->data;
  int ok = xdr_long_cell(x, &c->length, &d, false, true);
  c->data = static_cast<char*>(d);
  return ok;
}

int VYRXDR_c_lbin(XDR* x, c_lbin* c) {
  void* d = c->data;
  int ok = xdr_long_cell(x, &c->length, &d, false, false);
  c->data = static_cast<unsigned char*>(d);
  return ok;
}

int VYRXDR_c_wlchr(XDR* x, c_wlchr* c) {
  void* d = c->data;
  int ok = xdr_long_cell(x, &c->length, &d, true, false);
  c->data = static_cast<wchar_t*>(d);
  return ok;
}

int VYRXDR_c_date(XDR* x, c_date* d) {
  return VYRRPC_xdr_short(x, &d->year) && VYRRPC_xdr_u_short(x, &d->month) && VYRRPC_xdr_u_short(x, &d->day);
}

int VYRXDR_c_time(XDR* x, c_time* t) {
  return VYRRPC_xdr_u_short(x, &t->hour) && VYRRPC_xdr_u_short(x, &t->minute) &&
         VYRRPC_xdr_u_short(x, &t->second);
}

int VYRXDR_c_timestamp(XDR* x, c_timestamp* t) {
  return VYRRPC_xdr_short(x, &t->year) && VYRRPC_xdr_u_short(x, &t->month) &&
         VYRRPC_xdr_u_short(x, &t->day) && VYRRPC_xdr_u_short(x, &t->hour) &&
         VYRRPC_xdr_u_short(x, &t->minute) && VYRRPC_xdr_u_short(x, &t->second) &&
         VYRRPC_xdr_u_int(x, &t->fraction);
}

int VYRXDR_c_vchr8(XDR* x, c_vchr8* c, precision_t w) {
  return xdr_prefixed_cell(x, reinterpret_cast<char*>(c), w, 1, false);
}
int VYRXDR_c_vchr16(XDR* x, c_vchr16* c, precision_t w) {
  return xdr_prefixed_cell(x, reinterpret_cast<char*>(c), w, 2, false);
}
int VYRXDR_c_vchr32(XDR* x, c_vchr32* c, precision_t w) {
  return xdr_prefixed_cell(x, reinterpret_cast<char*>(c), w, 4, false);
}
int VYRXDR_c_vbin8(XDR* x, c_vbin8* c, precision_t w) {
  return xdr_prefixed_cell(x, reinterpret_cast<char*>(c), w, 1, false);
}
int VYRXDR_c_vbin16(XDR* x, c_vbin16* c, precision_t w) {
  return xdr_prefixed_cell(x, reinterpret_cast<char*>(c), w, 2, false);
}
int VYRXDR_c_vbin32(XDR* x, c_vbin32* c, precision_t w) {
  return xdr_prefixed_cell(x, reinterpret_cast<char*>(c), w, 4, false);
}
int VYRXDR_c_wvchr32(XDR* x, c_wvchr32* c, precision_t w) {
  return xdr_prefixed_cell(x, reinterpret_cast<char*>(c), w, 4, true);
}
