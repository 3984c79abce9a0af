// Configuration files: parse, search, iterate, refresh, edit, merge, commit.
#include "util/config.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "util/fault.h"
#include "util/strutil.h"

namespace {

const unsigned FIRST_ROOM = 103;

void* cfg_malloc(size_t n) { return vyr_fault_alloc() ? nullptr : malloc(n); }

char* cfg_strdup(const char* s) {
  if (s == nullptr) return nullptr;
  size_t len = strlen(s) + 1;
  char* p = static_cast<char*>(cfg_malloc(len));
  if (p != nullptr) memcpy(p, s, len);
  return p;
}

class Lock {
 public:
  explicit Lock(PCONFIG p) : p_(p) { pthread_mutex_lock(&p_->mtx); }
  ~Lock() { pthread_mutex_unlock(&p_->mtx); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  PCONFIG p_;
};

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\f'; }
bool is_white(char c) { return is_blank(c) || c == '\n' || c == '\r' || c == 0x1A; }

void rstrip(char* s) {
  size_t n = strlen(s);
  while (n > 0 && is_white(s[n - 1])) --n;
  s[n] = '\0';
}

void free_entry(TCFGENTRY* e) {
  if (e->flags & CFE_MUST_FREE_SECTION) free(e->section);
  if (e->flags & CFE_MUST_FREE_ID) free(e->id);
  if (e->flags & CFE_MUST_FREE_VALUE) free(e->value);
  if (e->flags & CFE_MUST_FREE_COMMENT) free(e->comment);
  *e = TCFGENTRY{};
}

// Resets every field but the name and the mutex.
void discard(PCONFIG p) {
  for (unsigned i = 0; i < p->numEntries; ++i) free_entry(&p->entries[i]);
  free(p->entries);
  free(p->image);
  p->entries = nullptr;
  p->numEntries = p->maxEntries = 0;
  p->image = nullptr;
  p->size = 0;
  p->mtime = 0;
  memset(p->digest, 0, sizeof p->digest);
  p->cursor = 0;
  p->section = p->id = p->value = p->comment = nullptr;
  p->flags = 0;
  p->dirty = 0;
}

// Room for n more entries; false when memory is short.
bool reserve(PCONFIG p, unsigned n) {
  if (n <= p->maxEntries - p->numEntries) return true;
  unsigned long long want;
  if (p->maxEntries == 0)
    want = n == 1 ? FIRST_ROOM : FIRST_ROOM - 1ull + n;
  else
    want = p->maxEntries + p->maxEntries / 2ull + n;
  if (want > 0xFFFFFFFFull || want > SIZE_MAX / sizeof(TCFGENTRY)) return false;
  void* grown = vyr_fault_alloc() ? nullptr : realloc(p->entries, want * sizeof(TCFGENTRY));
  if (grown == nullptr) return false;
  p->entries = static_cast<PCFGENTRY>(grown);
  p->maxEntries = static_cast<unsigned>(want);
  return true;
}

// Inserts a blank entry at index at (room reserved by the caller).
TCFGENTRY* insert_at(PCONFIG p, unsigned at) {
  memmove(&p->entries[at + 1], &p->entries[at], (p->numEntries - at) * sizeof(TCFGENTRY));
  p->numEntries++;
  p->entries[at] = TCFGENTRY{};
  return &p->entries[at];
}

void remove_range(PCONFIG p, unsigned from, unsigned to) {
  for (unsigned i = from; i < to; ++i) free_entry(&p->entries[i]);
  memmove(&p->entries[from], &p->entries[to], (p->numEntries - to) * sizeof(TCFGENTRY));
  p->numEntries -= to - from;
}

bool append_parsed(PCONFIG p, char* section, char* id, char* value, char* comment) {
  if (!reserve(p, 1)) return false;
  TCFGENTRY* e = &p->entries[p->numEntries++];
  *e = TCFGENTRY{section, id, value, comment, 0};
  return true;
}

// Splits an inline comment off a value: a ";" outside quotes that begins the
// value or follows a blank.
char* split_comment(char* value) {
  char quote = 0;
  for (char* s = value; *s != '\0'; ++s) {
    if (quote != 0) {
      if (*s == quote) quote = 0;
    } else if (*s == '"' || *s == '\'') {
      quote = *s;
    } else if (*s == ';' && (s == value || is_blank(s[-1]))) {
      *s = '\0';
      rstrip(value);
      return s + 1;
    }
  }
  return nullptr;
}

// Parses the image into entries pointing into it. False when memory is short.
bool parse(PCONFIG p) {
  char* s = p->image;
  while (*s != '\0') {
    char* line = s;
    char* end = line;
    while (*end != '\0' && *end != '\n' && *end != '\r' && *end != 0x1A) ++end;
    const bool had_eol = *end != '\0';
    s = had_eol ? end + 1 : end;
    if (had_eol) {
      *end = '\0';
      while (end > line && is_blank(end[-1])) *--end = '\0';
    }
    const bool indented = is_blank(*line);
    while (is_blank(*line)) ++line;
    if (*line == '\0') continue;

    if (*line == '[') {
      char* name = line + 1;
      while (is_blank(*name)) ++name;
      char* close = strchr(name, ']');
      if (close == nullptr) continue;
      *close = '\0';
      rstrip(name);
      if (*name == '\0') continue;
      char* after = close + 1;
      while (is_blank(*after)) ++after;
      char* comment = *after == ';' ? after + 1 : nullptr;
      if (!append_parsed(p, name, nullptr, nullptr, comment)) return false;
    } else if (*line == ';') {
      if (!append_parsed(p, nullptr, nullptr, nullptr, line + 1)) return false;
    } else if (!indented) {
      char* eq = strchr(line, '=');
      if (eq == nullptr) continue;
      *eq = '\0';
      rstrip(line);
      char* value = eq + 1;
      while (is_blank(*value)) ++value;
      char* comment = split_comment(value);
      if (!append_parsed(p, nullptr, line, value, comment)) return false;
    } else {
      char* comment = split_comment(line);
      if (!append_parsed(p, nullptr, nullptr, line, comment)) return false;
    }
  }
  return true;
}

void digest_of(const char* text, size_t len, digest_t out) {
  MD5_CTX ctx;
  VYR_MD5Init(&ctx);
  while (len > 0) {
    unsigned piece = len > 0x40000000u ? 0x40000000u : static_cast<unsigned>(len);
    VYR_MD5Update(&ctx, reinterpret_cast<const unsigned char*>(text), piece);
    text += piece;
    len -= piece;
  }
  VYR_MD5Final(out, &ctx);
}

int refresh(PCONFIG p) {
  struct stat st;
  if (stat(p->fileName, &st) != 0) return -1;
  if (p->dirty) discard(p);
  if (p->image != nullptr && p->size == static_cast<size_t>(st.st_size) && p->mtime == st.st_mtime) return 0;
  if (st.st_size < 0 || static_cast<unsigned long long>(st.st_size) >= SIZE_MAX) return -1;

  const size_t size = static_cast<size_t>(st.st_size);
  FILE* fp = fopen(p->fileName, "rb");
  if (fp == nullptr) return -1;
  char* text = static_cast<char*>(cfg_malloc(size + 1));
  if (text == nullptr) {
    fclose(fp);
    return -1;
  }
  size_t got = size > 0 ? fread(text, 1, size, fp) : 0;
  fclose(fp);
  if (got != size) {
    free(text);
    return -1;
  }
  text[size] = '\0';

  digest_t digest;
  digest_of(text, size, digest);
  // Unchanged text: keep what is held. Only when something is held: after
  // edits were discarded the text must be parsed again, or the file would
  // look empty.
  if (p->image != nullptr && memcmp(digest, p->digest, sizeof digest) == 0) {
    free(text);
    return 0;
  }
  discard(p);
  p->image = text;
  p->size = size;
  p->mtime = st.st_mtime;
  memcpy(p->digest, digest, sizeof digest);
  if (!parse(p)) {
    discard(p);
    p->dirty = 1;
    return -1;
  }
  p->flags = CFG_VALID;
  return 1;
}

void rewind_locked(PCONFIG p) {
  p->cursor = 0;
  p->flags = CFG_VALID;
}

int next_locked(PCONFIG p) {
  while (p->cursor < p->numEntries) {
    TCFGENTRY* e = &p->entries[p->cursor++];
    if (e->section != nullptr) {
      p->section = e->section;
      p->id = nullptr;
      p->value = nullptr;
      p->flags = static_cast<unsigned short>(CFG_VALID | CFG_SECTION);
      return 0;
    }
    if (e->id != nullptr) {
      p->id = e->id;
      p->value = e->value;
      p->flags = static_cast<unsigned short>(CFG_VALID | CFG_DEFINE);
      return 0;
    }
    if (e->value != nullptr) {
      p->value = e->value;
      p->flags = static_cast<unsigned short>(CFG_VALID | CFG_CONTINUE);
      return 0;
    }
  }
  p->flags = static_cast<unsigned short>((p->flags & ~CFG_TYPEMASK) | CFG_EOF);
  return -1;
}

// Index of the first section entry of that name, or -1.
long find_section(PCONFIG p, const char* name) {
  for (unsigned i = 0; i < p->numEntries; ++i)
    if (p->entries[i].section != nullptr && stricmp(p->entries[i].section, name) == 0) return i;
  return -1;
}

// Index of the next section entry after index at, or the entry count.
unsigned section_end(PCONFIG p, unsigned at) {
  unsigned i = at + 1;
  while (i < p->numEntries && p->entries[i].section == nullptr) ++i;
  return i;
}

long find_key(PCONFIG p, unsigned sect, const char* id) {
  unsigned end = section_end(p, sect);
  for (unsigned i = sect + 1; i < end; ++i)
    if (p->entries[i].id != nullptr && stricmp(p->entries[i].id, id) == 0) return i;
  return -1;
}

bool is_loose_comment(const TCFGENTRY& e) {
  return e.section == nullptr && e.id == nullptr && e.value == nullptr && e.comment != nullptr &&
         (e.comment[0] == ' ' || e.comment[0] == ';');
}

bool is_continuation_or_comment(const TCFGENTRY& e) { return e.section == nullptr && e.id == nullptr; }

// Fills a blank entry with owned copies; false when memory is short.
bool set_owned(TCFGENTRY* e, const char* section, const char* id, const char* value, const char* comment) {
  e->section = cfg_strdup(section);
  e->id = cfg_strdup(id);
  e->value = cfg_strdup(value);
  e->comment = cfg_strdup(comment);
  e->flags = static_cast<unsigned short>(
      (e->section ? CFE_MUST_FREE_SECTION : 0) | (e->id ? CFE_MUST_FREE_ID : 0) |
      (e->value ? CFE_MUST_FREE_VALUE : 0) | (e->comment ? CFE_MUST_FREE_COMMENT : 0));
  if ((section && !e->section) || (id && !e->id) || (value && !e->value) || (comment && !e->comment)) {
    free_entry(e);
    return false;
  }
  return true;
}

int write_locked(PCONFIG p, const char* section, const char* id, const char* value) {
  long sect = find_section(p, section);
  if (sect < 0) {
    if (id == nullptr || value == nullptr) return 0;
    if (!reserve(p, 2)) return -1;
    TCFGENTRY* h = &p->entries[p->numEntries];
    if (!set_owned(h, section, nullptr, nullptr, nullptr)) return -1;
    p->numEntries++;
    p->dirty = 1;
    TCFGENTRY* d = &p->entries[p->numEntries];
    if (!set_owned(d, nullptr, id, value, nullptr)) return -1;
    p->numEntries++;
    return 0;
  }
  const unsigned s = static_cast<unsigned>(sect);
  if (id == nullptr) {
    unsigned from = s, to = section_end(p, s);
    while (from > 0 && is_loose_comment(p->entries[from - 1])) --from;
    unsigned keep = to;
    while (keep > s + 1 && is_loose_comment(p->entries[keep - 1])) --keep;
    remove_range(p, from, keep);
    p->dirty = 1;
    return 0;
  }
  long key = find_key(p, s, id);
  if (value == nullptr) {
    if (key < 0) return 0;
    unsigned from = static_cast<unsigned>(key), to = from + 1;
    // The key's continuation lines go with it, or they would join the key before.
    while (to < p->numEntries && p->entries[to].section == nullptr && p->entries[to].id == nullptr &&
           p->entries[to].value != nullptr)
      ++to;
    while (from > s + 1 && is_loose_comment(p->entries[from - 1])) --from;
    remove_range(p, from, to);
    p->dirty = 1;
    return 0;
  }
  if (key >= 0) {
    TCFGENTRY* e = &p->entries[key];
    char* copy = cfg_strdup(value);
    if (copy == nullptr) return -1;
    if (e->flags & CFE_MUST_FREE_VALUE) free(e->value);
    e->value = copy;
    e->flags |= CFE_MUST_FREE_VALUE;
    p->dirty = 1;
    return 0;
  }
  if (!reserve(p, 1)) return -1;
  TCFGENTRY* e = insert_at(p, section_end(p, s));
  if (!set_owned(e, nullptr, id, value, nullptr)) {
    remove_range(p, static_cast<unsigned>(e - p->entries), static_cast<unsigned>(e - p->entries) + 1);
    return -1;
  }
  p->dirty = 1;
  return 0;
}

// Copies src entries [from, to) to index at of p as owned entries.
bool copy_entries(PCONFIG p, unsigned at, const TCFGENTRY* src, unsigned from, unsigned to) {
  const unsigned n = to - from;
  if (n == 0) return true;
  if (!reserve(p, n)) return false;
  for (unsigned k = 0; k < n; ++k) {
    const TCFGENTRY& s = src[from + k];
    TCFGENTRY* e = insert_at(p, at + k);
    if (!set_owned(e, s.section, s.id, s.value, s.comment)) {
      remove_range(p, at + k, at + k + 1);
      return false;
    }
  }
  return true;
}

int merge_locked(PCONFIG p, PCONFIG src) {
  unsigned i = 0;
  while (i < src->numEntries && src->entries[i].section == nullptr) ++i;
  while (i < src->numEntries) {
    const unsigned send = section_end(src, i);
    long sect = find_section(p, src->entries[i].section);
    if (sect < 0) {
      if (!copy_entries(p, p->numEntries, src->entries, i, send)) return -1;
      p->dirty = 1;
      i = send;
      continue;
    }
    unsigned k = i + 1;
    while (k < send && src->entries[k].id == nullptr) ++k;  // lines before the first key
    while (k < send) {
      unsigned kend = k + 1;
      while (kend < send && is_continuation_or_comment(src->entries[kend])) ++kend;
      long key = find_key(p, static_cast<unsigned>(sect), src->entries[k].id);
      unsigned at;
      if (key >= 0) {
        unsigned from = static_cast<unsigned>(key), to = from + 1;
        while (to < p->numEntries && is_continuation_or_comment(p->entries[to])) ++to;
        remove_range(p, from, to);
        at = from;
      } else {
        at = section_end(p, static_cast<unsigned>(sect));
      }
      p->dirty = 1;
      if (!copy_entries(p, at, src->entries, k, kend)) return -1;
      k = kend;
    }
    i = send;
  }
  p->dirty = 1;
  return 0;
}

void put_comment(std::string& out, const char* comment) {
  if (comment != nullptr) {
    out += "\t;";
    out += comment;
  }
}

std::string format_entries(PCONFIG p) {
  std::string out;
  bool header_written = false, blank_moved = false;
  size_t width = 0;
  for (unsigned i = 0; i < p->numEntries; ++i) {
    const TCFGENTRY& e = p->entries[i];
    if (e.section != nullptr) {
      if (header_written && !blank_moved) out += '\n';
      header_written = true;
      blank_moved = false;
      out += '[';
      out += e.section;
      out += ']';
      put_comment(out, e.comment);
      out += '\n';
      width = 0;
      for (unsigned k = i + 1; k < p->numEntries && p->entries[k].section == nullptr; ++k)
        if (p->entries[k].id != nullptr) width = std::max(width, strlen(p->entries[k].id));
    } else if (e.id != nullptr) {
      out += e.id;
      if (width > 0) out.append(width - std::min(width, strlen(e.id)), ' ');
      out += " = ";
      if (e.value != nullptr) out += e.value;
      put_comment(out, e.comment);
      out += '\n';
    } else if (e.value != nullptr) {
      out += "  ";
      out += e.value;
      put_comment(out, e.comment);
      out += '\n';
    } else if (e.comment != nullptr) {
      if (header_written && !blank_moved && is_loose_comment(e)) {
        unsigned k = i + 1;
        while (k < p->numEntries && p->entries[k].section == nullptr && p->entries[k].id == nullptr &&
               p->entries[k].value == nullptr)
          ++k;
        if (k < p->numEntries && p->entries[k].section != nullptr) {
          out += '\n';
          blank_moved = true;
        }
      }
      out += ';';
      out += e.comment;
      out += '\n';
    } else {
      out += '\n';
    }
  }
  return out;
}

int commit_locked(PCONFIG p) {
  if (!p->dirty) return 0;
  std::string text = format_entries(p);
  FILE* fp = fopen(p->fileName, "w");
  if (fp == nullptr) return -1;
  bool ok = fwrite(text.data(), 1, text.size(), fp) == text.size();
  ok = fclose(fp) == 0 && ok;
  if (!ok) return -1;
  digest_of(text.data(), text.size(), p->digest);
  p->dirty = 0;
  return 0;
}

}  // namespace

int VYR_Cfg_init2(PCONFIG* ppconf, const char* filename, int doCreate) {
  *ppconf = nullptr;
  if (filename == nullptr) return -1;
  if (doCreate) {
    struct stat st;
    if (stat(filename, &st) != 0) {
      FILE* fp = fopen(filename, "a");
      if (fp != nullptr) fclose(fp);
    }
  }
  PCONFIG p = static_cast<PCONFIG>(cfg_malloc(sizeof(TCFGDATA)));
  if (p == nullptr) return -1;
  memset(p, 0, sizeof *p);
  p->fileName = cfg_strdup(filename);
  if (p->fileName == nullptr || pthread_mutex_init(&p->mtx, nullptr) != 0) {
    free(p->fileName);
    free(p);
    return -1;
  }
  if (refresh(p) < 0) {
    VYR_Cfg_done(p);
    return -1;
  }
  *ppconf = p;
  return 0;
}

int VYR_Cfg_init(PCONFIG* ppconf, const char* filename) { return VYR_Cfg_init2(ppconf, filename, 0); }

int VYR_Cfg_done(PCONFIG pconfig) {
  if (pconfig == nullptr) return 0;
  discard(pconfig);
  free(pconfig->fileName);
  pthread_mutex_destroy(&pconfig->mtx);
  free(pconfig);
  return 0;
}

int VYR_Cfg_refresh(PCONFIG pconfig) {
  if (pconfig == nullptr) return -1;
  Lock lock(pconfig);
  return refresh(pconfig);
}

int VYR_Cfg_find(PCONFIG pconfig, const char* section, const char* id) {
  if (pconfig == nullptr || section == nullptr) return -1;
  Lock lock(pconfig);
  if (!(pconfig->flags & CFG_VALID)) return -1;
  rewind_locked(pconfig);
  long sect = find_section(pconfig, section);
  if (sect < 0) return -1;
  pconfig->section = pconfig->entries[sect].section;
  pconfig->id = nullptr;
  pconfig->value = nullptr;
  if (id == nullptr) return 0;
  long key = find_key(pconfig, static_cast<unsigned>(sect), id);
  if (key < 0) return -1;
  pconfig->id = pconfig->entries[key].id;
  pconfig->value = pconfig->entries[key].value;
  pconfig->cursor = static_cast<unsigned>(key) + 1;
  return 0;
}

int VYR_Cfg_rewind(PCONFIG pconfig) {
  if (pconfig == nullptr) return -1;
  Lock lock(pconfig);
  if (!(pconfig->flags & CFG_VALID)) return -1;
  rewind_locked(pconfig);
  return 0;
}

int VYR_Cfg_nextentry(PCONFIG pconfig) {
  if (pconfig == nullptr) return -1;
  Lock lock(pconfig);
  if (!(pconfig->flags & CFG_VALID)) return -1;
  return next_locked(pconfig);
}

int VYR_Cfg_storeentry(PCONFIG pconfig, char* section, char* id, char* value, char* comment, int dynamic) {
  if (pconfig == nullptr) return -1;
  Lock lock(pconfig);
  if (!(pconfig->flags & CFG_VALID)) return -1;
  if (!reserve(pconfig, 1)) return -1;
  TCFGENTRY* e = &pconfig->entries[pconfig->numEntries];
  if (dynamic) {
    if (!set_owned(e, section, id, value, comment)) return -1;
  } else {
    *e = TCFGENTRY{section, id, value, comment, 0};
  }
  pconfig->numEntries++;
  pconfig->dirty = 1;
  return 0;
}

int VYR_Cfg_write(PCONFIG pconfig, const char* section, const char* id, const char* value) {
  if (pconfig == nullptr || section == nullptr) return -1;
  Lock lock(pconfig);
  if (!(pconfig->flags & CFG_VALID)) return -1;
  return write_locked(pconfig, section, id, value);
}

int cfg_merge(PCONFIG pconfig, PCONFIG src) {
  if (pconfig == nullptr || src == nullptr || pconfig == src) return -1;
  Lock lock(pconfig);
  if (!(pconfig->flags & CFG_VALID)) return -1;
  return merge_locked(pconfig, src);
}

int VYR_Cfg_commit(PCONFIG pconfig) {
  if (pconfig == nullptr) return -1;
  Lock lock(pconfig);
  if (!(pconfig->flags & CFG_VALID)) return -1;
  return commit_locked(pconfig);
}
