// Reading the leading words of a statement's text.
#pragma once

#include <strings.h>

#include <cctype>
#include <cstring>

namespace backend_text {

// True when the text at p starts with the keyword kw, in any case, followed by a
// blank or the end.
inline bool MatchKeyword(const char* p, const char* kw) {
  size_t n = strlen(kw);
  if (strncasecmp(p, kw, n) != 0) return false;
  return p[n] == 0 || isspace(static_cast<unsigned char>(p[n]));
}

inline const char* SkipBlanks(const char* p) {
  while (*p && isspace(static_cast<unsigned char>(*p))) p++;
  return p;
}

}  // namespace backend_text
