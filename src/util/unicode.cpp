// UTF-8, wide, UCS-2 and locale text conversions, and UTF-8 case mapping.
#include "util/unicode.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "util/fault.h"
#include "util/unicode_case.h"

namespace {

template <typename T>
T* alloc_units(size_t n) {
  if (n > SIZE_MAX / sizeof(T)) return nullptr;
  return vyr_fault_alloc() ? nullptr : static_cast<T*>(calloc(n, sizeof(T)));
}

// ---- encoder --------------------------------------------------------------

// Surrogates and values above U+10FFFF (what a driver built for 2-byte wide
// characters leaves in a 4-byte buffer) have no valid UTF-8 form: they are
// written as "?", so that text on the wire is always valid UTF-8.
bool is_scalar_value(uint32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

size_t enc_len(uint32_t c) {
  if (c < 0x80) return 1;
  if (c < 0x800) return 2;
  if (!is_scalar_value(c)) return 1;  // written as "?"
  if (c < 0x10000) return 3;
  return 4;
}

size_t encode(uint32_t c, char* out) {
  unsigned char* o = reinterpret_cast<unsigned char*>(out);
  if (!is_scalar_value(c)) {
    o[0] = '?';
    return 1;
  }
  if (c < 0x80) {
    o[0] = static_cast<unsigned char>(c);
    return 1;
  }
  if (c < 0x800) {
    o[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
    o[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    o[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
    o[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    o[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 3;
  }
  o[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
  o[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
  o[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
  o[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
  return 4;
}

uint32_t unit(wchar_t c) { return static_cast<uint32_t>(c); }
uint32_t unit(ucs2_text c) { return c; }

template <typename T>
size_t units_len(const T* in) {
  size_t n = 0;
  while (in[n] != 0) ++n;
  return n;
}

// UTF-8 length of n units (or up to the terminator with SQL_NTS).
template <typename T>
size_t utf8_length_of(const T* in, ssize_t size) {
  if (in == nullptr) return 0;
  size_t n;
  if (size == SQL_NTS)
    n = units_len(in);
  else if (size <= 0)
    return 0;
  else
    n = static_cast<size_t>(size);
  size_t bytes = 0;
  for (size_t i = 0; i < n; ++i) bytes += enc_len(unit(in[i]));
  return bytes;
}

// Encodes n units while whole characters fit in room bytes; no terminator.
template <typename T>
size_t encode_fit(const T* in, size_t n, char* out, size_t room, size_t* chars) {
  size_t pos = 0, i = 0;
  for (; i < n; ++i) {
    uint32_t c = unit(in[i]);
    size_t len = enc_len(c);
    if (len > room - pos || pos + len > room) break;
    pos += encode(c, out + pos);
  }
  if (chars != nullptr) *chars = i;
  return pos;
}

template <typename T>
int copy_out_to_utf8(const T* in, char* out, size_t size, unsigned short* result) {
  if (in == nullptr || out == nullptr) return -1;
  const size_t n = units_len(in);
  const size_t total = utf8_length_of(in, SQL_NTS);
  if (size >= total + 1) {
    encode_fit(in, n, out, total, nullptr);
    out[total] = '\0';
    if (result != nullptr) *result = static_cast<unsigned short>(total);
    return 0;
  }
  if (size == 0) return -1;
  size_t written = encode_fit(in, n, out, size - 1, nullptr);
  out[written] = '\0';
  if (result != nullptr) *result = static_cast<unsigned short>(written);
  return -1;
}

template <typename T>
char* dup_to_utf8(const T* in, ssize_t size) {
  if (in == nullptr) return nullptr;
  size_t n = size == SQL_NTS ? units_len(in) : (size > 0 ? static_cast<size_t>(size) : 0);
  size_t bytes = utf8_length_of(in, static_cast<ssize_t>(n));
  if (n == 0) bytes = 0;
  char* out = alloc_units<char>(bytes + 1);
  if (out == nullptr) return nullptr;
  encode_fit(in, n, out, bytes, nullptr);
  out[bytes] = '\0';
  return out;
}

// ---- decoder --------------------------------------------------------------

// Decodes one character of at most avail bytes: its length, or 0 when the
// sequence is malformed, overlong or does not lie wholly within avail.
size_t decode(const unsigned char* s, size_t avail, uint32_t* cp) {
  if (avail == 0) return 0;
  unsigned char b = s[0];
  if (b < 0x80) {
    *cp = b;
    return 1;
  }
  size_t len;
  uint32_t c, min;
  if ((b & 0xE0) == 0xC0) {
    len = 2, c = b & 0x1F, min = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    len = 3, c = b & 0x0F, min = 0x800;
  } else if ((b & 0xF8) == 0xF0) {
    len = 4, c = b & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (len > avail) return 0;
  for (size_t i = 1; i < len; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;
    c = (c << 6) | (s[i] & 0x3F);
  }
  if (c < min) return 0;  // overlong form: a second spelling of a shorter character
  *cp = c;
  return len;
}

bool is_cont(unsigned char b) { return (b & 0xC0) == 0x80; }

// Decodes from NUL-terminated UTF-8 into at most max units; stops at the NUL
// or a malformed sequence. Returns units written.
template <typename T>
size_t decode_into(const char* in, T* out, size_t max) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(in);
  size_t n = 0;
  while (n < max && *s != 0) {
    uint32_t c;
    size_t len = decode(s, 4, &c);  // a NUL inside ends the sequence as malformed
    if (len == 0) break;
    out[n++] = static_cast<T>(c);
    s += len;
  }
  return n;
}

// ---- locale ---------------------------------------------------------------

// Converts at most inlen bytes of locale text into at most max wide characters;
// stops at a NUL, an invalid or incomplete sequence. Returns characters written.
size_t locale_to_wide(const char* in, size_t inlen, wchar_t* out, size_t max) {
  mbstate_t st{};
  size_t pos = 0, n = 0;
  while (n < max && pos < inlen && in[pos] != '\0') {
    wchar_t wc;
    size_t r = mbrtowc(&wc, in + pos, inlen - pos, &st);
    if (r == 0 || r == static_cast<size_t>(-1) || r == static_cast<size_t>(-2)) break;
    out[n++] = wc;
    pos += r;
  }
  return n;
}

// One wide character in the locale's encoding ("?" when it has none; the C
// library would write 5- and 6-byte forms for values above U+10FFFF).
size_t wide_char_to_locale(wchar_t wc, char* buf) {
  mbstate_t st{};
  size_t r = is_scalar_value(static_cast<uint32_t>(wc)) ? wcrtomb(buf, wc, &st) : static_cast<size_t>(-1);
  if (r == static_cast<size_t>(-1)) {
    buf[0] = '?';
    return 1;
  }
  return r;
}

// Converts n wide characters while whole characters fit in room bytes.
size_t wide_to_locale(const wchar_t* in, size_t n, char* out, size_t room) {
  size_t pos = 0;
  char buf[MB_LEN_MAX];
  for (size_t i = 0; i < n; ++i) {
    size_t r = wide_char_to_locale(in[i], buf);
    if (r > room - pos) break;
    memcpy(out + pos, buf, r);
    pos += r;
  }
  return pos;
}

size_t wide_locale_length(const wchar_t* in, size_t n) {
  size_t bytes = 0;
  char buf[MB_LEN_MAX];
  for (size_t i = 0; i < n; ++i) bytes += wide_char_to_locale(in[i], buf);
  return bytes;
}

}  // namespace

// ---- counting and raw conversion -------------------------------------------

size_t calc_len_for_utf8(const wchar_t* in, ssize_t size) { return utf8_length_of(in, size); }

size_t ucs2_calc_len_for_utf8(const ucs2_text* in, ssize_t size) { return utf8_length_of(in, size); }

size_t utf8_len(const char* in, ssize_t size) {
  if (in == nullptr) return 0;
  size_t limit = size == SQL_NTS ? SIZE_MAX : (size > 0 ? static_cast<size_t>(size) : 0);
  size_t n = 0;
  for (size_t i = 0; i < limit && in[i] != '\0'; ++i)
    if (!is_cont(static_cast<unsigned char>(in[i]))) ++n;
  return n;
}

size_t utf8_whole_prefix(const char* in, size_t len) {
  if (in == nullptr) return 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(in);
  // The lead byte of the last character: at most three continuation bytes back.
  size_t i = len;
  while (i > 0 && len - i < 4 && is_cont(p[i - 1])) --i;
  if (i == 0 || len - i >= 4) return len;
  unsigned char lead = p[i - 1];
  size_t need = lead >= 0xF0 && lead < 0xF8   ? 4
                : lead >= 0xE0 && lead < 0xF0 ? 3
                : lead >= 0xC0 && lead < 0xE0 ? 2
                                              : 1;
  return (i - 1) + need > len ? i - 1 : len;
}

size_t ucs2len(const ucs2_text* in) { return in != nullptr ? units_len(in) : 0; }

size_t wcstoutf8(const wchar_t* in, char* out, size_t size) {
  if (in == nullptr || out == nullptr || size == 0) return 0;
  return encode_fit(in, units_len(in), out, size, nullptr);
}

size_t wcsntoutf8(const wchar_t* in, char* out, size_t wlen, size_t size, unsigned short* converted) {
  size_t chars = 0, bytes = 0;
  if (in != nullptr && out != nullptr) bytes = encode_fit(in, wlen, out, size, &chars);
  if (converted != nullptr) *converted = static_cast<unsigned short>(chars);
  return bytes;
}

size_t ucs2toutf8(const ucs2_text* in, char* out, size_t size) {
  if (in == nullptr || out == nullptr || size == 0) return 0;
  return encode_fit(in, units_len(in), out, size, nullptr);
}

size_t utf8towcs(const char* in, wchar_t* out, size_t size) {
  if (in == nullptr || out == nullptr) return 0;
  return decode_into(in, out, size);
}

size_t utf8ntowcs(const char* in, wchar_t* out, size_t ulen, size_t size, unsigned short* converted) {
  size_t n = 0, pos = 0;
  if (in != nullptr && out != nullptr) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(in);
    while (n < size && pos < ulen) {
      uint32_t c;
      size_t len = decode(s + pos, ulen - pos, &c);
      if (len == 0) break;
      out[n++] = static_cast<wchar_t>(c);
      pos += len;
    }
  }
  if (converted != nullptr) *converted = static_cast<unsigned short>(pos);
  return n;
}

size_t utf8toucs2(const char* in, ucs2_text* out, size_t size) {
  if (in == nullptr || out == nullptr) return 0;
  return decode_into(in, out, size);
}

// ---- copy-outs --------------------------------------------------------------

int StrCopyOut_WtoU8(const wchar_t* in, char* out, size_t size, unsigned short* result) {
  return copy_out_to_utf8(in, out, size, result);
}

int StrCopyOut_UCS2toU8(const ucs2_text* in, char* out, size_t size, unsigned short* result) {
  return copy_out_to_utf8(in, out, size, result);
}

int StrCopyOut_U8toW(const char* in, wchar_t* out, size_t size, unsigned short* result) {
  if (in == nullptr || out == nullptr) return -1;
  size_t count = utf8_len(in, SQL_NTS);
  if (size >= count + 1) {
    size_t n = decode_into(in, out, count);
    out[n] = 0;
    if (result != nullptr) *result = static_cast<unsigned short>(n);
    return 0;
  }
  if (size == 0) return -1;
  size_t n = decode_into(in, out, size - 1);
  out[n] = 0;
  if (result != nullptr) *result = static_cast<unsigned short>(n);
  return -1;
}

int StrCopyOut2_U8toW(const char* in, wchar_t* out, size_t size, unsigned short* result) {
  if (in == nullptr) return -1;
  size_t count = utf8_len(in, SQL_NTS);
  if (result != nullptr) *result = static_cast<unsigned short>(count);
  if (out == nullptr) return 0;
  if (size >= count + 1) {
    out[decode_into(in, out, count)] = 0;
    return 0;
  }
  if (size == 0) return -1;
  out[decode_into(in, out, size - 1)] = 0;
  return -1;
}

namespace {

int wide_copy_out(const wchar_t* in, wchar_t* out, unsigned short size, unsigned short* result,
                  bool length_first) {
  if (in == nullptr) return -1;
  size_t len = units_len(in);
  if (length_first && result != nullptr) *result = static_cast<unsigned short>(len);
  if (out == nullptr) return length_first ? 0 : -1;
  if (size >= len + 1) {
    memcpy(out, in, (len + 1) * sizeof(wchar_t));
    if (result != nullptr) *result = static_cast<unsigned short>(len);
    return 0;
  }
  if (size == 0) return -1;
  memcpy(out, in, (size - 1u) * sizeof(wchar_t));
  out[size - 1] = 0;
  if (result != nullptr) *result = static_cast<unsigned short>(size - 1);
  return -1;
}

}  // namespace

int wStrCopyOut(const wchar_t* in, wchar_t* out, unsigned short size, unsigned short* result) {
  return wide_copy_out(in, out, size, result, false);
}

int wStrCopyOut2(const wchar_t* in, wchar_t* out, unsigned short size, unsigned short* result) {
  return wide_copy_out(in, out, size, result, true);
}

int StrCopyOut2_A2W(const char* in, wchar_t* out, size_t size, unsigned short* result) {
  if (in == nullptr) return -1;
  size_t bytes = strlen(in);
  if (result != nullptr) *result = static_cast<unsigned short>(bytes * 4);
  if (out == nullptr) return 0;
  size_t slots = size / sizeof(wchar_t);
  if (slots >= bytes + 1) {
    out[locale_to_wide(in, bytes, out, bytes)] = 0;
    return 0;
  }
  if (slots == 0) return -1;
  out[locale_to_wide(in, bytes, out, slots - 1)] = 0;
  return -1;
}

// ---- copies into caller buffers ----------------------------------------------

wchar_t* strncpy_U8toW(wchar_t* dest, const char* src, size_t size) {
  if (dest == nullptr || src == nullptr || size == 0) return dest;
  size_t count = utf8_len(src, SQL_NTS);
  size_t max = size >= count + 1 ? count : size - 1;
  dest[decode_into(src, dest, max)] = 0;
  return dest;
}

wchar_t* strcpy_U8toW(wchar_t* dest, const char* src) {
  if (dest == nullptr || src == nullptr) return dest;
  dest[decode_into(src, dest, SIZE_MAX)] = 0;
  return dest;
}

char* strncpy_AtoU8(char* dest, const char* src, size_t size) {
  if (dest == nullptr || src == nullptr || size == 0) return dest;
  wchar_t* wide = SQL_A2W(src, SQL_NTS);
  if (wide == nullptr) {
    dest[0] = '\0';
    return dest;
  }
  copy_out_to_utf8(wide, dest, size, nullptr);
  free(wide);
  return dest;
}

wchar_t* strncpy_A2W(wchar_t* dest, const char* src, size_t size) {
  if (dest == nullptr || src == nullptr) return dest;
  size_t bytes = strlen(src);
  if (size >= bytes + 1) {
    dest[locale_to_wide(src, bytes, dest, bytes)] = 0;
  } else {
    locale_to_wide(src, bytes, dest, size);  // no terminator, as strncpy
  }
  return dest;
}

wchar_t* strcpy_A2W(wchar_t* dest, const char* src) {
  if (dest == nullptr || src == nullptr) return dest;
  size_t bytes = strlen(src);
  dest[locale_to_wide(src, bytes, dest, bytes)] = 0;
  return dest;
}

char* strncpy_W2A(char* dest, const wchar_t* src, size_t size) {
  if (dest == nullptr || src == nullptr) return dest;
  size_t n = units_len(src);
  if (size >= n + 1) {
    // Whole characters while they fit before the terminator: a multibyte
    // locale needs more than one byte for a non-ASCII character.
    dest[wide_to_locale(src, n, dest, size - 1)] = '\0';
  } else {
    wide_to_locale(src, n, dest, size);  // no terminator, as strncpy
  }
  return dest;
}

// ---- allocating copies ---------------------------------------------------------

char* strdup_WtoU8(const wchar_t* in) { return dup_to_utf8(in, SQL_NTS); }

char* SQL_WtoU8(const wchar_t* in, ssize_t size) { return dup_to_utf8(in, size); }

wchar_t* strdup_U8toW(const char* in) {
  if (in == nullptr) return nullptr;
  size_t count = utf8_len(in, SQL_NTS);
  wchar_t* out = alloc_units<wchar_t>(count + 1);
  if (out == nullptr) return nullptr;
  out[decode_into(in, out, count)] = 0;
  return out;
}

wchar_t* SQL_U8toW(const char* in, ssize_t size) {
  if (in == nullptr) return nullptr;
  size_t bytes = size == SQL_NTS ? strlen(in) : (size > 0 ? strnlen(in, size_t(size)) : 0);
  size_t count = utf8_len(in, static_cast<ssize_t>(bytes));
  if (bytes == 0) count = 0;
  wchar_t* out = alloc_units<wchar_t>(count + 1);
  if (out == nullptr) return nullptr;
  utf8ntowcs(in, out, bytes, count, nullptr);
  return out;
}

ucs2_text* strdup_U8toUCS2(const char* in) {
  if (in == nullptr) return nullptr;
  size_t count = utf8_len(in, SQL_NTS);
  ucs2_text* out = alloc_units<ucs2_text>(count + 1);
  if (out == nullptr) return nullptr;
  out[decode_into(in, out, count)] = 0;
  return out;
}

char* strdup_UCS2toU8(const ucs2_text* in) { return dup_to_utf8(in, SQL_NTS); }

wchar_t* SQL_A2W(const char* in, ssize_t size) {
  if (in == nullptr) return nullptr;
  size_t bytes = size == SQL_NTS ? strlen(in) : (size > 0 ? strnlen(in, size_t(size)) : 0);
  wchar_t* out = alloc_units<wchar_t>(bytes + 1);
  if (out == nullptr) return nullptr;
  locale_to_wide(in, bytes, out, bytes);
  return out;
}

char* SQL_W2A(const wchar_t* in, ssize_t size) {
  if (in == nullptr) return nullptr;
  size_t n = size == SQL_NTS ? units_len(in) : (size > 0 ? static_cast<size_t>(size) : 0);
  size_t bytes = wide_locale_length(in, n);
  char* out = alloc_units<char>(bytes + 1);
  if (out == nullptr) return nullptr;
  out[wide_to_locale(in, n, out, bytes)] = '\0';
  return out;
}

char* strdup_W2A(const wchar_t* in) { return SQL_W2A(in, SQL_NTS); }

// ---- case mapping --------------------------------------------------------------

int BinarySearch(const uint32_t* table, unsigned nelts, uint32_t c) {
  int lower = 0, upper = static_cast<int>(nelts) - 1;
  while (lower <= upper) {
    int middle = (lower + upper) / 2;
    uint32_t cp = table[middle] & 0x3FFFF;
    if (cp == c) return middle;
    if (cp < c)
      lower = middle + 1;
    else
      upper = middle - 1;
  }
  return -1;
}

namespace {

wchar_t map_case(const uint32_t* table, unsigned nelts, wchar_t c) {
  uint32_t u = static_cast<uint32_t>(c);
  int row = BinarySearch(table, nelts, u);
  if (row < 0) return c;
  uint32_t word = table[row];
  uint32_t mag = (word >> 18) & 0x1FFF;
  if (mag == 0) {
    for (unsigned i = 0; i < case_exceptions_nelts; ++i)
      if (case_exceptions[i].from == u) return static_cast<wchar_t>(case_exceptions[i].to);
    return c;
  }
  return static_cast<wchar_t>((word & 0x80000000u) ? u - mag : u + mag);
}

char* map_text(char* text, size_t size, wchar_t (*fn)(wchar_t)) {
  if (text == nullptr || size == 0) return text;
  wchar_t* wide = strdup_U8toW(text);
  if (wide == nullptr) return text;
  size_t n = units_len(wide);
  for (size_t i = 0; i < n; ++i) wide[i] = fn(wide[i]);
  text[encode_fit(wide, n, text, size - 1, nullptr)] = '\0';
  free(wide);
  return text;
}

}  // namespace

wchar_t _towupper(wchar_t c) { return map_case(to_up, to_up_nelts, c); }

wchar_t _towlower(wchar_t c) { return map_case(to_lw, to_lw_nelts, c); }

char* utf8_upper(char* text, size_t size) { return map_text(text, size, _towupper); }

char* utf8_lower(char* text, size_t size) { return map_text(text, size, _towlower); }
