// The template expander (sql_template.h): writes a statement text from a
// template and its arguments.
#include "sql/sql_template.h"

#include <cstring>

namespace {

// A '%' or '_' that is the first character or not preceded by a backslash.
bool hasUnescapedWild(const char* p) {
  for (size_t i = 0; p[i]; i++)
    if ((p[i] == '%' || p[i] == '_') && (i == 0 || p[i - 1] != '\\')) return true;
  return false;
}

void unescapeWild(char* p) {
  char* w = p;
  for (char* r = p; *r; r++) {
    if (*r == '\\' && (r[1] == '%' || r[1] == '_')) continue;
    *w++ = *r;
  }
  *w = 0;
}

bool condition(int kind, int n, char** vect, unsigned int numElem) {
  char empty[1] = {0};  // per call: the expander has no shared state
  char* arg;
  bool isNull = false;
  if (n == 0 || static_cast<unsigned>(n) > numElem) {
    arg = empty;
  } else {
    arg = vect ? vect[n - 1] : nullptr;
    isNull = arg == nullptr;
  }
  switch (kind) {
    case 1:
      return isNull || FBlank(arg);
    case 2:
      return !isNull && !FBlank(arg);
    case 3:
      return !isNull && FWild(arg);
    case 4:
      return isNull || !FWild(arg);
    default:
      return false;
  }
}

// Length of the escape starting at p (p[0] == 0xFF), or 0 when the template
// ends inside it.
size_t escapeLength(const unsigned char* p) {
  size_t len;
  switch (p[1]) {
    case 0:
      return 0;  // FF 00 is the template's own end in a NUL-terminated text
    case 1:
      len = 3;
      break;
    case 2:
    case 3:
      len = 5;
      break;
    case 4:
    case 5:
      len = 3;
      break;
    default:
      len = 2;
      break;
  }
  for (size_t i = 2; i < len; i++)
    if (p[i] == 0) return 0;
  return len;
}

}  // namespace

int FBlank(const char* str) {
  if (!str) return 1;
  if (strcmp(str, "%") == 0) return 1;
  for (; *str; str++)
    if (*str != ' ') return 0;
  return 1;
}

int FWild(char* p) {
  if (!p || !*p) return 0;
  if (hasUnescapedWild(p)) return 1;
  unescapeWild(p);
  return 0;
}

int BuildSQLDynamic(MPL* pPool, const unsigned char* seq, char** vect, unsigned int numElem) {
  const unsigned char* p = seq;
  // Skips forward to the branch of block id whose condition holds, its ELSE or
  // past its END (only past the END when lookForBranch is false); NULL when
  // the template ends first.
  auto skipBlock = [&](const unsigned char* q, int id, bool lookForBranch) -> const unsigned char* {
    for (;;) {
      if (*q == 0) return nullptr;
      if (*q != 0xFF) {
        q++;
        continue;
      }
      if (q[1] == 0) return nullptr;
      size_t len = escapeLength(q);
      if (len == 0) return nullptr;
      int code = q[1];
      if (code >= 3 && code <= 5 && q[2] == id) {
        if (code == 5) return q + len;
        if (lookForBranch) {
          if (code == 4) return q + len;
          if (condition(q[3], q[4], vect, numElem)) return q + len;
        }
      }
      q += len;
    }
  };
  if (!p) {
    mpl_append_byte(pPool, 0);
    return 0;
  }
  while (*p) {
    if (*p != 0xFF) {
      mpl_append_byte(pPool, *p++);
      continue;
    }
    if (p[1] == 0) break;  // cut off escape: end of expansion
    size_t len = escapeLength(p);
    if (len == 0) break;
    int code = p[1];
    if (code == 1) {
      unsigned n = p[2];
      if (n == 0 || n > numElem) {
        mpl_grow(pPool, "NULL", 4);
      } else if (vect && vect[n - 1]) {
        mpl_grow(pPool, vect[n - 1], strlen(vect[n - 1]));
      }
      p += len;
    } else if (code == 2) {
      if (condition(p[3], p[4], vect, numElem)) {
        p += len;
      } else {
        p = skipBlock(p + len, p[2], true);
        if (!p) break;
      }
    } else if (code == 3 || code == 4) {
      // The branch before was taken: continue after this block's END.
      p = skipBlock(p + len, p[2], false);
      if (!p) break;
    } else {
      p += len;  // FF 00, FF 05 id, FF c >= 6
    }
  }
  mpl_append_byte(pPool, 0);
  return 0;
}
