// Helpers shared by the files of the configuration object; not for callers
// outside src/odbcconfig.
#pragma once

#include "odbcconfig/config.h"

#include <cstddef>
#include <cstdint>
#include <mutex>

namespace odbcconfig {

// Blanks inside a line: space, tab and form feed.
inline bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\f'; }

inline bool is_header(const zolandm_cfg_entry& e) { return e.section != nullptr; }
inline bool is_comment_only(const zolandm_cfg_entry& e) {
  return !e.section && !e.id && !e.value && e.comment;
}

// A comment line that belongs to the entry below it: its text is empty or
// begins with a blank or with ';' (";; x", "; x", "# x").
bool is_attached_comment(const zolandm_cfg_entry& e);

// First index of the run of attached comment lines directly above `index`;
// the run never includes the first entry of the list.
uint32_t attached_comments_start(const zolandm_config* config, uint32_t index);

// Makes room for `extra` more entries; false when the array cannot grow.
bool reserve_entries(zolandm_config* config, uint32_t extra);

// Inserts an entry at `index` (moving the rest back), taking over the strings
// and flags as given. The caller has reserved room.
void insert_entry(zolandm_config* config, uint32_t index, const zolandm_cfg_entry& entry);

// Removes entries [first, last), freeing their owned strings.
void remove_entries(zolandm_config* config, uint32_t first, uint32_t last);

// Frees the owned strings of one entry.
void free_entry(zolandm_cfg_entry& entry);

// Compares a stored key, stripped as by _zolandm_unquote_dup, with `key`
// without regard to case; a key that is empty after stripping never matches.
bool unquoted_key_equals(const char* stored, const char* key);

// Index of the first header named `section` (case-insensitive) at or after
// `from`, or numEntries.
uint32_t find_header(const zolandm_config* config, const char* section, uint32_t from = 0);

// Index of the next header after `index`, or numEntries.
uint32_t next_header(const zolandm_config* config, uint32_t index);

// Writes `data` to `path` safely; 0 or -1.
int write_file_atomically(const char* path, const char* data, size_t size);

// The parsed file at `path`, shared by every read of it (ini_cache.cpp): read
// on first use, its status checked again at each later use (once per lookup
// sequence within one), reloaded when it changed. config() is null when the
// path is null or the file cannot be read. The copy is locked for the life of
// the object: use it for one read and let it go.
class CachedIni {
 public:
  explicit CachedIni(const char* path);
  ~CachedIni();
  CachedIni(const CachedIni&) = delete;
  CachedIni& operator=(const CachedIni&) = delete;
  zolandm_config* config() const { return config_; }

 private:
  std::unique_lock<std::mutex> lock_;
  zolandm_config* config_ = nullptr;
  zolandm_config* owned_ = nullptr;  // a copy that could not be kept
};

// Drops the shared copy of `path` (after this process wrote the file).
void forget_cached_file(const char* path);

// _zolandm_locate_ini_file without the create flag, answered once per
// lookup sequence and scope.
const char* locate_for_read(int which, char* buffer, size_t size);

}  // namespace odbcconfig

namespace odbcconfig {

// Holds the installer's recursive mutex for the life of a call.
class InstallerGuard {
 public:
  InstallerGuard();
  ~InstallerGuard();
  InstallerGuard(const InstallerGuard&) = delete;
  InstallerGuard& operator=(const InstallerGuard&) = delete;
};

}  // namespace odbcconfig
