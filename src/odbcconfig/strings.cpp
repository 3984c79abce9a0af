// Bounded copy and append, quote stripping and list matching.
#include "odbcconfig/config.h"

#include <cstdlib>
#include <cstring>

extern "C" {

char* _zolandm_unquote_dup(const char* text) {
  if (!text) return nullptr;
  while (*text == '\'' || *text == '"') ++text;
  size_t len = std::strcspn(text, "'\"");
  if (*text == '\0') return nullptr;
  char* copy = static_cast<char*>(std::malloc(len + 1));
  if (!copy) return nullptr;
  std::memcpy(copy, text, len);
  copy[len] = '\0';
  return copy;
}

size_t _zolandm_copy_bounded(char* destination, const char* source, size_t size) {
  size_t len = std::strlen(source);
  if (size > 0) {
    size_t n = len < size - 1 ? len : size - 1;
    std::memcpy(destination, source, n);
    destination[n] = '\0';
  }
  return len;
}

size_t _zolandm_append_bounded(char* destination, const char* source, size_t size) {
  size_t have = strnlen(destination, size);
  size_t len = std::strlen(source);
  if (have < size) {
    size_t room = size - 1 - have;
    size_t n = len < room ? len : room;
    std::memcpy(destination + have, source, n);
    destination[have + n] = '\0';
  }
  return have + len;
}

const char* _zolandm_list_match(const char* text, const char* pattern, int substring) {
  if (!text || !*text || !pattern) return nullptr;
  if (substring) return std::strstr(text, pattern) ? text : nullptr;
  return std::strcmp(text, pattern) == 0 ? text : nullptr;
}

}  // extern "C"
