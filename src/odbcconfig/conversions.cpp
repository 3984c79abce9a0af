// Wide, locale-multibyte and UTF-8 text conversions for the driver manager.
#include "odbcconfig/conversions.h"

#include <sql.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

// Lengths reported through 16-bit pointers cannot say more than this.
SQLSMALLINT clamp16(int64_t n) { return n > SHRT_MAX ? SHRT_MAX : static_cast<SQLSMALLINT>(n); }

int64_t wide_length(const SQLWCHAR* text, int64_t length) {
  if (length == SQL_NTS) return static_cast<int64_t>(wcslen(text));
  return length < 0 ? 0 : length;
}

// Surrogates and values above U+10FFFF are no characters (a driver built for
// 2-byte wide characters leaves such values in a 4-byte buffer); they become
// "?", since the C library would write 5- and 6-byte forms for some of them.
bool is_scalar_value(uint32_t v) { return v <= 0x10FFFF && (v < 0xD800 || v > 0xDFFF); }

// Walks the locale multibyte form of text[0..count), calling emit(bytes, n)
// for each character until emit refuses or a character cannot be converted.
template <typename Emit>
void each_multibyte(const SQLWCHAR* text, int64_t count, Emit emit) {
  std::mbstate_t state{};
  char tmp[MB_LEN_MAX];
  for (int64_t i = 0; i < count && text[i] != 0; ++i) {
    size_t n =
        is_scalar_value(static_cast<uint32_t>(text[i])) ? wcrtomb(tmp, text[i], &state) : (tmp[0] = '?', 1);
    if (n == static_cast<size_t>(-1)) return;
    if (!emit(tmp, n)) return;
  }
}

// Walks the wide form of the locale multibyte text[0..bytes), calling
// emit(wc) per character until emit refuses, a NUL or an invalid sequence.
template <typename Emit>
void each_wide(const char* text, size_t bytes, Emit emit) {
  std::mbstate_t state{};
  size_t pos = 0;
  while (pos < bytes) {
    wchar_t wc;
    size_t n = mbrtowc(&wc, text + pos, bytes - pos, &state);
    if (n == 0 || n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) return;
    if (!emit(wc)) return;
    pos += n;
  }
}

bool is_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Decodes one UTF-8 character at p, reading no byte at or after limit.
// Returns the bytes used, or 0 for a malformed, cut or NUL character.
size_t decode_utf8(const unsigned char* p, const unsigned char* limit, uint32_t* out) {
  if (p >= limit || *p == 0) return 0;
  unsigned char c = *p;
  size_t extra;
  uint32_t value;
  if (c < 0x80) {
    *out = c;
    return 1;
  } else if ((c & 0xE0) == 0xC0) {
    extra = 1;
    value = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    extra = 2;
    value = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    extra = 3;
    value = c & 0x07;
  } else {
    return 0;
  }
  for (size_t i = 1; i <= extra; ++i) {
    if (p + i >= limit || !is_continuation(p[i])) return 0;
    value = (value << 6) | (p[i] & 0x3F);
  }
  *out = value;
  return extra + 1;
}

// Characters of a UTF-8 text by the counting rule: the first byte starts one,
// and after it every byte that is not a continuation byte starts another.
int64_t count_utf8(const char* text, size_t bytes) {
  if (bytes == 0 || text[0] == 0) return 0;
  int64_t n = 1;
  for (size_t i = 1; i < bytes && text[i] != 0; ++i)
    if (!is_continuation(static_cast<unsigned char>(text[i]))) ++n;
  return n;
}

// Decodes at most max characters of text[0..bytes) into out; returns how many.
int64_t decode_into(const char* text, size_t bytes, SQLWCHAR* out, int64_t max) {
  auto p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* limit = p + bytes;
  int64_t n = 0;
  while (n < max) {
    uint32_t value;
    size_t used = decode_utf8(p, limit, &value);
    if (used == 0) break;
    out[n++] = static_cast<SQLWCHAR>(value);
    p += used;
  }
  return n;
}

size_t utf8_size(uint32_t v) {
  if (v < 0x80) return 1;
  if (v < 0x800) return 2;
  if (!is_scalar_value(v)) return 1;  // '?'
  if (v < 0x10000) return 3;
  return 4;
}

char* encode_utf8(uint32_t v, char* out) {
  if (!is_scalar_value(v)) {
    *out++ = '?';
  } else if (v < 0x80) {
    *out++ = static_cast<char>(v);
  } else if (v < 0x800) {
    *out++ = static_cast<char>(0xC0 | (v >> 6));
    *out++ = static_cast<char>(0x80 | (v & 0x3F));
  } else if (v < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (v >> 12));
    *out++ = static_cast<char>(0x80 | ((v >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (v & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (v >> 18));
    *out++ = static_cast<char>(0x80 | ((v >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((v >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (v & 0x3F));
  }
  return out;
}

}  // namespace

extern "C" {

size_t _zolandm_wide_char_to_mb(char* out, SQLWCHAR c, mbstate_t* state) {
  if (!is_scalar_value(static_cast<uint32_t>(c))) return static_cast<size_t>(-1);
  return wcrtomb(out, c, state);
}

char* _zolandm_wcs_to_mbs_dup(const SQLWCHAR* text, int64_t length) {
  if (!text) return nullptr;
  int64_t count = wide_length(text, length);
  if (count > (INT64_MAX - 1) / 4 || static_cast<uint64_t>(count) > (SIZE_MAX - 1) / 4) return nullptr;
  size_t capacity = static_cast<size_t>(count) * 4;
  char* out = static_cast<char*>(std::malloc(capacity + 1));
  if (!out) return nullptr;
  size_t used = 0;
  each_multibyte(text, count, [&](const char* bytes, size_t n) {
    if (n > capacity - used) return false;
    std::memcpy(out + used, bytes, n);
    used += n;
    return true;
  });
  out[used] = '\0';
  return out;
}

SQLWCHAR* _zolandm_mbs_to_wcs_dup(const char* text, int64_t length) {
  if (!text) return nullptr;
  int64_t bytes = length == SQL_NTS ? static_cast<int64_t>(std::strlen(text)) : length;
  if (bytes < 0) bytes = 0;
  if (static_cast<uint64_t>(bytes) >= SIZE_MAX / sizeof(SQLWCHAR)) return nullptr;
  auto out = static_cast<SQLWCHAR*>(std::calloc(static_cast<size_t>(bytes) + 1, sizeof(SQLWCHAR)));
  if (!out) return nullptr;
  size_t n = 0;
  each_wide(text, static_cast<size_t>(bytes), [&](wchar_t wc) {
    out[n++] = wc;
    return true;
  });
  out[n] = 0;
  return out;
}

int _zolandm_mbs_to_wcs_buf(const char* text, SQLWCHAR* buffer, SQLSMALLINT size, SQLSMALLINT* length) {
  if (!text) return -1;
  size_t bytes = std::strlen(text);
  int64_t count = 0;
  each_wide(text, bytes, [&](wchar_t) {
    ++count;
    return true;
  });
  if (length) *length = clamp16(count);
  if (!buffer) return 0;
  if (size <= 0) return -1;
  int64_t room = size - 1;
  int64_t n = 0;
  each_wide(text, bytes, [&](wchar_t wc) {
    if (n >= room) return false;
    buffer[n++] = wc;
    return true;
  });
  buffer[n] = 0;
  return count + 1 <= size ? 0 : -1;
}

int _zolandm_wcs_to_mbs_buf(const SQLWCHAR* text, char* buffer, SQLSMALLINT size, SQLSMALLINT* length) {
  if (!text) return -1;
  int64_t count = static_cast<int64_t>(wcslen(text));
  int64_t total = 0;
  each_multibyte(text, count, [&](const char*, size_t n) {
    total += static_cast<int64_t>(n);
    return true;
  });
  if (length) *length = clamp16(total);
  if (!buffer) return 0;
  if (size <= 0) return -1;
  size_t room = static_cast<size_t>(size) - 1;
  size_t used = 0;
  each_multibyte(text, count, [&](const char* bytes, size_t n) {
    if (n > room - used) return false;  // whole characters only
    std::memcpy(buffer + used, bytes, n);
    used += n;
    return true;
  });
  buffer[used] = '\0';
  return total + 1 <= size ? 0 : -1;
}

SQLWCHAR* _zolandm_mbs_to_wcs_copy(SQLWCHAR* destination, const char* text) {
  if (!destination || !text) return destination;
  size_t n = 0;
  each_wide(text, std::strlen(text), [&](wchar_t wc) {
    destination[n++] = wc;
    return true;
  });
  destination[n] = 0;
  return destination;
}

char* _zolandm_wcs_to_mbs_copy(char* destination, const SQLWCHAR* text) {
  if (!destination || !text) return destination;
  size_t used = 0;
  each_multibyte(text, static_cast<int64_t>(wcslen(text)), [&](const char* bytes, size_t n) {
    std::memcpy(destination + used, bytes, n);
    used += n;
    return true;
  });
  destination[used] = '\0';
  return destination;
}

char* _zolandm_ucs4_to_utf8_dup(const SQLWCHAR* text, int64_t count) {
  if (!text) return nullptr;
  int64_t n = count == SQL_NTS ? static_cast<int64_t>(wcslen(text)) : (count < 0 ? 0 : count);
  size_t bytes = 0;
  for (int64_t i = 0; i < n; ++i) {
    size_t add = utf8_size(static_cast<uint32_t>(text[i]));
    if (bytes > SIZE_MAX - 1 - add) return nullptr;
    bytes += add;
  }
  char* out = static_cast<char*>(std::malloc(bytes + 1));
  if (!out) return nullptr;
  char* p = out;
  for (int64_t i = 0; i < n; ++i) p = encode_utf8(static_cast<uint32_t>(text[i]), p);
  *p = '\0';
  return out;
}

SQLWCHAR* _zolandm_utf8_to_ucs4_dup(const char* text, SQLSMALLINT length) {
  if (!text) return nullptr;
  size_t bytes;
  if (length == SQL_NTS)
    bytes = std::strlen(text);
  else if (length <= 0)
    bytes = 0;
  else
    bytes = strnlen(text, static_cast<size_t>(length));
  int64_t count = count_utf8(text, bytes);
  auto out = static_cast<SQLWCHAR*>(std::calloc(static_cast<size_t>(count) + 1, sizeof(SQLWCHAR)));
  if (!out) return nullptr;
  int64_t n = decode_into(text, bytes, out, count);
  out[n] = 0;
  return out;
}

int _zolandm_utf8_to_ucs4_buf(const char* text, SQLWCHAR* buffer, size_t size, SQLSMALLINT* count) {
  if (!text) return -1;
  size_t bytes = std::strlen(text);
  int64_t total = count_utf8(text, bytes);
  if (count) *count = clamp16(total);
  if (!buffer) return 0;
  if (size == 0) return -1;
  bool fits = static_cast<uint64_t>(total) + 1 <= size;
  int64_t max = fits ? total : static_cast<int64_t>(size - 1);
  int64_t n = decode_into(text, bytes, buffer, max);
  buffer[n] = 0;
  return fits ? 0 : -1;
}

}  // extern "C"
