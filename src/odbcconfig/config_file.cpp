// Configuration objects of initialisation files: open, load, parse, clear.
//
// The file is read in one go into `image` and cut in place: entries point
// into the image, so a load makes no allocation per line.
#include "odbcconfig/config.h"
#include "odbcconfig/config_internal.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace odbcconfig {

bool is_attached_comment(const zolandm_cfg_entry& e) {
  if (!is_comment_only(e)) return false;
  char c = e.comment[0];
  return c == '\0' || is_blank(c) || c == ';';
}

uint32_t attached_comments_start(const zolandm_config* config, uint32_t index) {
  uint32_t i = index;
  while (i > 1 && is_attached_comment(config->entries[i - 1])) --i;
  return i;
}

bool reserve_entries(zolandm_config* config, uint32_t extra) {
  uint64_t need = static_cast<uint64_t>(config->numEntries) + extra;
  if (need <= config->maxEntries) return true;
  uint64_t size = config->maxEntries;
  if (size == 0) size = 103;
  while (size < need) size = size + size / 2 + 1;
  if (size > UINT32_MAX || size > SIZE_MAX / sizeof(zolandm_cfg_entry)) return false;
  auto grown = static_cast<zolandm_cfg_entry*>(std::calloc(size, sizeof(zolandm_cfg_entry)));
  if (!grown) return false;
  if (config->numEntries) std::memcpy(grown, config->entries, config->numEntries * sizeof(zolandm_cfg_entry));
  std::free(config->entries);
  config->entries = grown;
  config->maxEntries = static_cast<uint32_t>(size);
  return true;
}

void insert_entry(zolandm_config* config, uint32_t index, const zolandm_cfg_entry& entry) {
  zolandm_cfg_entry* e = config->entries;
  std::memmove(e + index + 1, e + index, (config->numEntries - index) * sizeof(*e));
  e[index] = entry;
  ++config->numEntries;
  if (config->cursor > index) ++config->cursor;
}

void free_entry(zolandm_cfg_entry& entry) {
  if (entry.flags & ZOLANDM_CFG_OWN_SECTION) std::free(entry.section);
  if (entry.flags & ZOLANDM_CFG_OWN_ID) std::free(entry.id);
  if (entry.flags & ZOLANDM_CFG_OWN_VALUE) std::free(entry.value);
  if (entry.flags & ZOLANDM_CFG_OWN_COMMENT) std::free(entry.comment);
  entry = zolandm_cfg_entry{};
}

void remove_entries(zolandm_config* config, uint32_t first, uint32_t last) {
  if (first >= last) return;
  for (uint32_t i = first; i < last; ++i) {
    zolandm_cfg_entry& e = config->entries[i];
    // The walk's borrowed pointers must not outlive what they point at.
    if (config->section && config->section == e.section) config->section = nullptr;
    if (config->id && config->id == e.id) config->id = nullptr;
    if (config->value && config->value == e.value) config->value = nullptr;
    free_entry(e);
  }
  zolandm_cfg_entry* e = config->entries;
  std::memmove(e + first, e + last, (config->numEntries - last) * sizeof(*e));
  uint32_t count = last - first;
  config->numEntries -= count;
  std::memset(e + config->numEntries, 0, count * sizeof(*e));
  if (config->cursor >= last)
    config->cursor -= count;
  else if (config->cursor > first)
    config->cursor = first;
}

bool unquoted_key_equals(const char* stored, const char* key) {
  if (!stored || !key) return false;
  while (*stored == '\'' || *stored == '"') ++stored;
  size_t len = std::strcspn(stored, "'\"");
  if (len == 0) return false;
  return std::strlen(key) == len && strncasecmp(stored, key, len) == 0;
}

uint32_t find_header(const zolandm_config* config, const char* section, uint32_t from) {
  for (uint32_t i = from; i < config->numEntries; ++i) {
    const zolandm_cfg_entry& e = config->entries[i];
    if (e.section && strcasecmp(e.section, section) == 0) return i;
  }
  return config->numEntries;
}

uint32_t next_header(const zolandm_config* config, uint32_t index) {
  for (uint32_t i = index + 1; i < config->numEntries; ++i)
    if (is_header(config->entries[i])) return i;
  return config->numEntries;
}

}  // namespace odbcconfig

namespace {

using odbcconfig::is_blank;

std::atomic<uint64_t> gStats{0};
std::atomic<uint64_t> gReads{0};

bool is_line_end(char c) { return c == '\n' || c == '\r' || c == '\x1A' || c == '\0'; }
bool is_white(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Cuts white space off the end of [start, end) by writing a NUL.
void cut_trailing_white(char* start, char* end) {
  while (end > start && is_white(end[-1])) --end;
  *end = '\0';
}

// The value part of a key line or a value-only line, from its first
// character; a '#' or ';' at its start or after a blank, outside quotes,
// begins the comment.
int parse_value(zolandm_config* config, const char* key, char* value) {
  char* comment = nullptr;
  char quote = 0;
  for (char* q = value; *q; ++q) {
    if (quote) {
      if (*q == quote) quote = 0;
      continue;
    }
    if (*q == '\'' || *q == '"') {
      quote = *q;
      continue;
    }
    if ((*q == '#' || *q == ';') && (q == value || is_blank(q[-1]))) {
      comment = q + 1;
      cut_trailing_white(value, q);
      break;
    }
  }
  return _zolandm_cfg_append_entry(config, nullptr, key, value, comment, 0);
}

// One line, already terminated; gives at most one entry.
int parse_line(zolandm_config* config, char* line, char* end) {
  while (end > line && is_blank(end[-1])) --end;
  *end = '\0';
  if (end == line) return 0;

  char* s = line;
  while (is_blank(*s)) ++s;
  bool indented = s != line;

  if (*s == '[') {
    char* name = s + 1;
    while (is_blank(*name)) ++name;
    char* close = std::strchr(name, ']');
    if (!close) return 0;
    char* after = close + 1;
    while (is_blank(*after)) ++after;
    char* comment = (*after == '#' || *after == ';') ? after + 1 : nullptr;
    cut_trailing_white(name, close);
    if (*name == '\0') return 0;
    return _zolandm_cfg_append_entry(config, name, nullptr, nullptr, comment, 0);
  }
  if (*s == '#' || *s == ';') return _zolandm_cfg_append_entry(config, nullptr, nullptr, nullptr, s + 1, 0);
  if (indented) return parse_value(config, nullptr, s);

  char* eq = std::strchr(s, '=');
  if (!eq) return 0;
  char* value = eq + 1;
  cut_trailing_white(s, eq);
  while (is_blank(*value)) ++value;
  return parse_value(config, s, value);
}

// Cuts the image into lines. Line ends are newline, carriage return, 0x1A and
// NUL; runs of them vanish. Nothing past `size` bytes is read.
int parse_image(zolandm_config* config) {
  char* p = config->image;
  char* end = config->image + config->size;
  while (p < end) {
    if (is_line_end(*p)) {
      ++p;
      continue;
    }
    char* line = p;
    while (p < end && !is_line_end(*p)) ++p;
    char* line_end = p;
    if (p < end) ++p;
    *line_end = '\0';  // image[size] is the NUL after the last line
    if (parse_line(config, line, line_end) < 0) return -1;
  }
  return 0;
}

// Reads exactly `size` bytes; false on error or a short file.
bool read_all(int fd, char* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = read(fd, buffer + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

extern "C" {

int _zolandm_cfg_append_entry(zolandm_config* config, const char* section, const char* id, const char* value,
                              const char* comment, int owned) {
  if (!config) return -1;
  zolandm_cfg_entry e{};
  if (owned) {
    const char* src[4] = {section, id, value, comment};
    char* copy[4] = {};
    const unsigned short bits[4] = {ZOLANDM_CFG_OWN_SECTION, ZOLANDM_CFG_OWN_ID, ZOLANDM_CFG_OWN_VALUE,
                                    ZOLANDM_CFG_OWN_COMMENT};
    for (int i = 0; i < 4; ++i) {
      if (!src[i]) continue;
      copy[i] = strdup(src[i]);
      if (!copy[i]) {
        for (char* c : copy) std::free(c);
        return -1;
      }
      e.flags |= bits[i];
    }
    e.section = copy[0];
    e.id = copy[1];
    e.value = copy[2];
    e.comment = copy[3];
  } else {
    e.section = const_cast<char*>(section);
    e.id = const_cast<char*>(id);
    e.value = const_cast<char*>(value);
    e.comment = const_cast<char*>(comment);
  }
  if (!odbcconfig::reserve_entries(config, 1)) {
    odbcconfig::free_entry(e);
    return -1;
  }
  config->entries[config->numEntries++] = e;
  return 0;
}

int _zolandm_cfg_clear(zolandm_config* config) {
  if (!config) return -1;
  for (uint32_t i = 0; i < config->numEntries; ++i) odbcconfig::free_entry(config->entries[i]);
  std::free(config->entries);
  std::free(config->image);
  char* name = config->fileName;
  *config = zolandm_config{};
  config->fileName = name;
  return 0;
}

int _zolandm_cfg_free(zolandm_config* config) {
  if (!config) return 0;
  _zolandm_cfg_clear(config);
  std::free(config->fileName);
  std::free(config);
  return 0;
}

void _zolandm_cfg_io_counts(uint64_t* stats, uint64_t* reads) {
  if (stats) *stats = gStats.load();
  if (reads) *reads = gReads.load();
}

int _zolandm_cfg_load(zolandm_config* config) {
  if (!config || !config->fileName) return -1;
  struct stat st;
  ++gStats;
  if (stat(config->fileName, &st) != 0) return -1;
  if (config->dirty) _zolandm_cfg_clear(config);
  if (config->image && st.st_size == config->size && st.st_mtime == config->mtime &&
      st.st_mtim.tv_nsec == config->mtimeNsec && static_cast<uint64_t>(st.st_ino) == config->inode)
    return 0;

  // Non-blocking, so that a FIFO named as a file cannot hang the caller.
  ++gReads;
  int fd = open(config->fileName, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  if (fstat(fd, &st) != 0 || st.st_size < 0 || static_cast<uint64_t>(st.st_size) >= SIZE_MAX) {
    close(fd);
    return -1;
  }
  size_t size = static_cast<size_t>(st.st_size);
  char* image = static_cast<char*>(std::malloc(size + 1));
  if (!image || !read_all(fd, image, size)) {
    std::free(image);
    close(fd);
    return -1;
  }
  close(fd);
  image[size] = '\0';

  _zolandm_cfg_clear(config);
  config->image = image;
  config->size = st.st_size;
  config->mtime = st.st_mtime;
  config->mtimeNsec = st.st_mtim.tv_nsec;
  config->inode = static_cast<uint64_t>(st.st_ino);
  if (parse_image(config) < 0) {
    _zolandm_cfg_clear(config);
    return -1;
  }
  config->flags = ZOLANDM_CFG_LOADED;
  return 1;
}

int _zolandm_cfg_open(zolandm_config** out, const char* path, int create) {
  if (!out) return -1;
  *out = nullptr;
  if (!path) return -1;
  if (create) {
    struct stat st;
    if (stat(path, &st) != 0) {
      int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
      if (fd >= 0) close(fd);
    }
  }
  auto config = static_cast<zolandm_config*>(std::calloc(1, sizeof(zolandm_config)));
  if (!config) return -1;
  config->fileName = strdup(path);
  if (!config->fileName || _zolandm_cfg_load(config) < 0) {
    _zolandm_cfg_free(config);
    return -1;
  }
  *out = config;
  return 0;
}

int _zolandm_cfg_open_named(zolandm_config** out, const char* name, int create) {
  if (!out) return -1;
  *out = nullptr;
  if (!name) return -1;
  int which = -1;
  if (std::strstr(name, "odbc.ini") || std::strstr(name, "ODBC.INI"))
    which = ZOLANDM_ODBC_INI;
  else if (std::strstr(name, "odbcinst.ini") || std::strstr(name, "ODBCINST.INI"))
    which = ZOLANDM_ODBCINST_INI;
  if (which >= 0) {
    char path[1024];
    if (!_zolandm_locate_ini_file(path, sizeof path, which, create)) return -1;
    return _zolandm_cfg_open(out, path, create);
  }
  if (!create && access(name, R_OK) != 0) return -1;
  return _zolandm_cfg_open(out, name, create);
}

}  // extern "C"
