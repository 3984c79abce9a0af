// Fuzzes the UTF-8 decoders and case mapping with arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "util/unicode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);  // NUL-terminated copy

  wchar_t* w = strdup_U8toW(text.c_str());
  if (w != nullptr) {
    char* back = strdup_WtoU8(w);
    // Whatever decodes to Unicode scalar values must encode back to a prefix of the
    // input; other values are written as replacements, never as bytes of their own.
    bool scalar = true;
    for (const wchar_t* p = w; *p != 0; ++p) {
      if (*p > 0x10FFFF || (*p >= 0xD800 && *p <= 0xDFFF)) scalar = false;
    }
    if (back != nullptr && scalar && strncmp(back, text.c_str(), strlen(back)) != 0) abort();
    if (back != nullptr) {
      wchar_t* again = strdup_U8toW(back);
      if (again == nullptr) abort();
      for (const wchar_t* p = again; *p != 0; ++p) {
        if (*p > 0x10FFFF || (*p >= 0xD800 && *p <= 0xDFFF)) abort();
      }
      free(again);
    }
    free(back);
    free(w);
  }
  wchar_t* cut = SQL_U8toW(text.c_str(), static_cast<ssize_t>(size / 2));
  free(cut);

  std::vector<wchar_t> out(size + 1);
  unsigned short conv = 0;
  size_t n = utf8ntowcs(text.data(), out.data(), size, out.size(), &conv);
  if (n > size || conv > size) abort();
  unsigned short r = 0;
  StrCopyOut_U8toW(text.c_str(), out.data(), out.size() / 2 + 1, &r);

  std::vector<char> buf(text.size() * 2 + 8);
  memcpy(buf.data(), text.c_str(), text.size() + 1);
  utf8_upper(buf.data(), buf.size());
  utf8_lower(buf.data(), size / 2 + 1);
  if (strlen(buf.data()) >= buf.size()) abort();
  return 0;
}
