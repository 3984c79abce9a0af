// Helpers shared by the files of the configuration object; not for callers
// outside src/odbcconfig.
#ifndef SQLGATE_ODBCCONFIG_CONFIG_INTERNAL_H
#define SQLGATE_ODBCCONFIG_CONFIG_INTERNAL_H

#include "odbcconfig/config.h"

#include <cstddef>
#include <cstdint>

namespace odbcconfig {

// Blanks inside a line: space, tab and form feed.
inline bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\f'; }

inline bool is_header(const zolandm_cfg_entry &e) { return e.section != nullptr; }
inline bool is_comment_only(const zolandm_cfg_entry &e) {
  return !e.section && !e.id && !e.value && e.comment;
}

// A comment line that belongs to the entry below it: its text is empty or
// begins with a blank or with ';' (";; x", "; x", "# x").
bool is_attached_comment(const zolandm_cfg_entry &e);

// First index of the run of attached comment lines directly above `index`;
// the run never includes the first entry of the list.
uint32_t attached_comments_start(const zolandm_config *config, uint32_t index);

// Makes room for `extra` more entries; false when the array cannot grow.
bool reserve_entries(zolandm_config *config, uint32_t extra);

// Inserts an entry at `index` (moving the rest back), taking over the strings
// and flags as given. The caller has reserved room.
void insert_entry(zolandm_config *config, uint32_t index, const zolandm_cfg_entry &entry);

// Removes entries [first, last), freeing their owned strings.
void remove_entries(zolandm_config *config, uint32_t first, uint32_t last);

// Frees the owned strings of one entry.
void free_entry(zolandm_cfg_entry &entry);

// Compares a stored key, stripped as by _zolandm_unquote_dup, with `key`
// without regard to case; a key that is empty after stripping never matches.
bool unquoted_key_equals(const char *stored, const char *key);

// Index of the first header named `section` (case-insensitive) at or after
// `from`, or numEntries.
uint32_t find_header(const zolandm_config *config, const char *section, uint32_t from = 0);

// Index of the next header after `index`, or numEntries.
uint32_t next_header(const zolandm_config *config, uint32_t index);

// Writes `data` to `path` safely; 0 or -1.
int write_file_atomically(const char *path, const char *data, size_t size);

}  // namespace odbcconfig

#endif  // SQLGATE_ODBCCONFIG_CONFIG_INTERNAL_H

namespace odbcconfig {

// Holds the installer's recursive mutex for the life of a call.
class InstallerGuard {
 public:
  InstallerGuard();
  ~InstallerGuard();
  InstallerGuard(const InstallerGuard &) = delete;
  InstallerGuard &operator=(const InstallerGuard &) = delete;
};

}  // namespace odbcconfig
