// Small byte-string routines.
#include "util/strutil.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "util/fault.h"

namespace {

bool is_space(char c) { return isspace(static_cast<unsigned char>(c)) != 0; }
int upper(char c) { return toupper(static_cast<unsigned char>(c)); }

char* copy_bytes(const char* s, size_t len) {
  char* p = vyr_fault_alloc() ? nullptr : static_cast<char*>(malloc(len + 1));
  if (p == nullptr) return nullptr;
  if (len > 0) memcpy(p, s, len);
  p[len] = '\0';
  return p;
}

// Length of the text a (pointer, size) pair describes: the whole string with
// SQL_NTS, otherwise at most size bytes, never past the NUL.
size_t text_length(const char* s, ssize_t size) {
  if (s == nullptr) return 0;
  if (size == SQL_NTS) return strlen(s);
  if (size < 0) return 0;
  return strnlen(s, static_cast<size_t>(size));
}

bool is_quote(char c) { return c == '"' || c == '\''; }

}  // namespace

char* cslentry(const char* list, int idx) {
  if (list == nullptr || *list == '\0' || idx < 1) return nullptr;
  const char* p = list;
  for (int i = 1; i < idx; ++i) {
    p = strchr(p, ',');
    if (p == nullptr) return nullptr;
    ++p;
  }
  while (*p != '\0' && *p != ',' && is_space(*p)) ++p;
  const char* end = strchr(p, ',');
  size_t len = end != nullptr ? static_cast<size_t>(end - p) : strlen(p);
  while (len > 0 && is_space(p[len - 1])) --len;
  return copy_bytes(p, len);
}

int cslnumentries(const char* list) {
  if (list == nullptr || *list == '\0') return 0;
  int n = 1;
  for (const char* p = list; *p != '\0'; ++p)
    if (*p == ',') ++n;
  return n;
}

char* ltrim(const char* s) {
  if (s == nullptr) return nullptr;
  while (*s != '\0' && is_space(*s)) ++s;
  return const_cast<char*>(s);
}

char* rtrim(char* str) {
  if (str == nullptr || *str == '\0') return nullptr;
  size_t len = strlen(str);
  while (len > 0 && is_space(str[len - 1])) --len;
  str[len] = '\0';
  return len > 0 ? str + len - 1 : nullptr;
}

char* setext(const char* path, const char* ext, int mode) {
  thread_local char name[4096];
  if (path == nullptr) path = "";
  if (ext == nullptr) ext = "";
  size_t len = strlen(path);
  if (len >= sizeof name) return nullptr;
  memcpy(name, path, len + 1);

  const char* slash = strrchr(name, '/');
  char* component = slash != nullptr ? const_cast<char*>(slash) + 1 : name;
  char* dot = strrchr(component, '.');
  if (dot == component) dot = nullptr;  // a leading dot starts a name, not an extension

  auto append_ext = [&]() -> bool {
    size_t cur = strlen(name), extlen = strlen(ext);
    if (cur + 1 + extlen >= sizeof name) return false;
    name[cur] = '.';
    memcpy(name + cur + 1, ext, extlen + 1);
    return true;
  };
  switch (mode) {
    case SETEXT_REPLACE:
      if (dot != nullptr) *dot = '\0';
      if (!append_ext()) return nullptr;
      break;
    case SETEXT_ADD:
      if (dot == nullptr && !append_ext()) return nullptr;
      break;
    default:
      if (dot != nullptr) *dot = '\0';
      break;
  }
  return name;
}

namespace {

// Bytes StrCopyIn copies: the whole string with SQL_NTS, else exactly size
// bytes; a null input is the empty string whatever the size says.
size_t copy_in_length(const char* inStr, ssize_t size) {
  if (inStr == nullptr) return 0;
  if (size == SQL_NTS) return strlen(inStr);
  return size > 0 ? static_cast<size_t>(size) : 0;
}

}  // namespace

int StrCopyIn(char** poutStr, const char* inStr, ssize_t size) {
  size_t len = copy_in_length(inStr, size);
  *poutStr = copy_bytes(inStr != nullptr ? inStr : "", len);
  return 0;
}

int StrCopyInUQ(char** poutStr, const char* inStr, ssize_t size) {
  size_t len = copy_in_length(inStr, size);
  if (inStr == nullptr) inStr = "";
  if (len >= 2 && is_quote(inStr[0]) && inStr[len - 1] == inStr[0]) {
    *poutStr = copy_bytes(inStr + 1, len - 2);
    return 0;
  }
  *poutStr = copy_bytes(inStr, len);
  return 0;
}

char* strquote(const char* s, ssize_t size, int quoteChr) {
  size_t len = text_length(s, size);
  if (quoteChr == ' ') return copy_bytes(s != nullptr ? s : "", len);
  char* p = vyr_fault_alloc() ? nullptr : static_cast<char*>(malloc(len + 3));
  if (p == nullptr) return nullptr;
  p[0] = static_cast<char>(quoteChr);
  if (len > 0) memcpy(p + 1, s, len);
  p[len + 1] = static_cast<char>(quoteChr);
  p[len + 2] = '\0';
  return p;
}

char* strunquote(const char* s, ssize_t size, int quoteChr) {
  if (s == nullptr) return copy_bytes("", 0);
  size_t len = text_length(s, size);
  if (len >= 2 && quoteChr != ' ' && s[0] == static_cast<char>(quoteChr) &&
      s[len - 1] == static_cast<char>(quoteChr))
    return copy_bytes(s + 1, len - 2);
  return copy_bytes(s, len);
}

namespace {

char* expect(const char* keyword, const char* source, bool fold) {
  if (keyword == nullptr || source == nullptr) return nullptr;
  while (*source != '\0' && is_space(*source)) ++source;
  for (; *keyword != '\0'; ++keyword, ++source) {
    if (*source == '\0') return nullptr;
    if (fold ? upper(*keyword) != upper(*source) : *keyword != *source) return nullptr;
  }
  if (*source == '\0') return const_cast<char*>(source);
  if (!is_space(*source)) return nullptr;
  while (*source != '\0' && is_space(*source)) ++source;
  return const_cast<char*>(source);
}

}  // namespace

char* strexpect(const char* keyword, const char* source) { return expect(keyword, source, true); }

char* strexpect_cs(const char* keyword, const char* source) { return expect(keyword, source, false); }

char* strindex(const char* str, const char* find) {
  if (str == nullptr || find == nullptr) return nullptr;
  size_t slen = strlen(str), flen = strlen(find);
  if (flen == 0) return const_cast<char*>(str + slen);
  if (flen > slen) return nullptr;
  for (size_t i = 0; i + flen <= slen; ++i) {
    if (upper(str[i]) == upper(find[0]) && strnicmp(str + i, find, flen) == 0)
      return const_cast<char*>(str + i);
  }
  return nullptr;
}

int stricmp(const char* s1, const char* s2) {
  for (;; ++s1, ++s2) {
    if (*s1 == '\0') return *s2 != '\0' ? -1 : 0;
    int d = upper(*s1) - upper(*s2);
    if (d != 0) return d;
  }
}

int strnicmp(const char* s1, const char* s2, size_t n) {
  for (; n > 0; --n, ++s1, ++s2) {
    if (*s1 == '\0') return *s2 != '\0' ? -1 : 0;
    int d = upper(*s1) - upper(*s2);
    if (d != 0) return d;
  }
  return 0;
}

char* strlwr(char* src) {
  if (src == nullptr) return nullptr;
  for (char* p = src; *p != '\0'; ++p) *p = static_cast<char>(tolower(static_cast<unsigned char>(*p)));
  return src;
}

char* strupr(char* src) {
  if (src == nullptr) return nullptr;
  for (char* p = src; *p != '\0'; ++p) *p = static_cast<char>(upper(*p));
  return src;
}
