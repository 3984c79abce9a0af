// Records of put-data and get-data: wide text (cell type 24) travels as UTF-8 and
// its remaining length in characters.
#include <climits>
#include <cstdlib>
#include <cstring>

#include "util/unicode.h"
#include "wire/record_xdr.h"
#include "model/wire_alloc.h"

namespace {

// Counted bytes; for wide text the UTF-8 form of len / 4 characters.
int encode_bytes(XDR* x, const char* val, unsigned len, bool wide) {
  if (wide && val && len >= 4) {
    size_t chars = len / 4;
    const wchar_t* w = reinterpret_cast<const wchar_t*>(val);
    size_t u = calc_len_for_utf8(w, ssize_t(chars));
    if (u > UINT_MAX) return FALSE;
    char* tmp = static_cast<char*>(wire_malloc(u + 1));
    if (!tmp) return FALSE;
    size_t done = 0, written = 0;
    while (done < chars) {
      unsigned short conv = 0;
      size_t n = wcsntoutf8(w + done, tmp + written, chars - done, u - written, &conv);
      if (conv == 0) break;
      done += conv;
      written += n;
    }
    unsigned n = unsigned(written);
    int ok = done == chars && VYRRPC_xdr_bytes(x, &tmp, &n, UINT_MAX);
    std::free(tmp);
    return ok;
  }
  char* p = const_cast<char*>(val);
  if (!p) len = 0;
  return VYRRPC_xdr_bytes(x, &p, &len, UINT_MAX);
}

// Reads counted bytes into a new buffer (null for none).
int decode_bytes(XDR* x, char** val, unsigned* len) {
  uint32_t n;
  if (!VYRRPC_xdr_u_int(x, &n)) return FALSE;
  *len = 0;
  if (n == 0) return TRUE;
  if (!wire_decode_charge(uint64_t(n) + 1)) return FALSE;
  char* p = static_cast<char*>(wire_malloc(uint64_t(n) + 1));
  if (!p) return FALSE;
  p[n] = 0;
  *val = p;
  *len = n;
  return VYRRPC_xdr_opaque(x, p, n);
}

// Replaces UTF-8 bytes by their wide characters (count + 1, zeroed).
int widen(char** val, unsigned* len) {
  if (!*val || *len == 0) return TRUE;
  size_t count = utf8_len(*val, ssize_t(*len));
  if (!wire_decode_charge((uint64_t(count) + 1) * 4)) return FALSE;
  wchar_t* w = static_cast<wchar_t*>(wire_calloc(uint64_t(count) + 1, sizeof(wchar_t)));
  if (!w) return FALSE;
  unsigned short consumed;
  size_t k = utf8ntowcs(*val, w, *len, count, &consumed);
  if (uint64_t(k) * 4 > UINT_MAX) {
    std::free(w);
    return FALSE;
  }
  std::free(*val);
  *val = reinterpret_cast<char*>(w);
  *len = unsigned(k * 4);
  return TRUE;
}

void release(char** val, unsigned* len) {
  std::free(*val);
  *val = nullptr;
  *len = 0;
}

}  // namespace

int VYRXDR_call_putdata(XDR* x, call_putdata* r) {
  WireDecodeScope scope(x);
  if (!VYRXDR_handle_t(x, &r->handle) || !VYRXDR_ctype_t(x, &r->cType) || !VYRXDR_indicator_t(x, &r->ind))
    return FALSE;
  auto& b = r->XferBuff;
  switch (x->x_op) {
    case XDR_ENCODE:
      return encode_bytes(x, b.XferBuff_val, b.XferBuff_len, r->cType == CTYPE_WCHR);
    case XDR_DECODE:
      if (!decode_bytes(x, &b.XferBuff_val, &b.XferBuff_len)) return FALSE;
      return r->cType != CTYPE_WCHR || widen(&b.XferBuff_val, &b.XferBuff_len);
    case XDR_FREE:
      release(&b.XferBuff_val, &b.XferBuff_len);
      return TRUE;
  }
  return FALSE;
}

int VYRXDR_getdatares(XDR* x, getdatares* r) {
  WireDecodeScope scope(x);
  if (!VYRXDR_errcode_t(x, &r->error)) return FALSE;
  auto& b = r->RcvBuff;
  if (x->x_op == XDR_FREE) {
    release(&b.RcvBuff_val, &b.RcvBuff_len);
    return TRUE;
  }
  if (x->x_op == XDR_ENCODE) {
    bool wide = r->CType == CTYPE_WCHR;
    if (!encode_bytes(x, b.RcvBuff_val, b.RcvBuff_len, wide) || !VYRXDR_ctype_t(x, &r->CType)) return FALSE;
    // Bytes become characters; -1 (NULL) and -4 (no total) keep their meaning.
    sgn32 rem = r->cbRemaining;
    if (wide && rem != -1 && rem != -4) rem >>= 2;
    return VYRXDR_sgn32(x, &rem);
  }
  if (x->x_op != XDR_DECODE) return FALSE;
  if (!decode_bytes(x, &b.RcvBuff_val, &b.RcvBuff_len) || !VYRXDR_ctype_t(x, &r->CType) ||
      !VYRXDR_sgn32(x, &r->cbRemaining))
    return FALSE;
  if (r->CType != CTYPE_WCHR) return TRUE;
  if (r->cbRemaining != -1 && r->cbRemaining != -4) {
    int64_t v = int64_t(r->cbRemaining) * 4;
    r->cbRemaining = v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : sgn32(v);
  }
  return widen(&b.RcvBuff_val, &b.RcvBuff_len);
}
