// The in-memory form of an ODBC initialisation file (odbc.ini, odbcinst.ini,
// a ".dsn" file) or of a connection string: the whole text cut in place into
// an ordered list of entries (section headers, key lines, value-only lines,
// comment lines). On it rest a walk, case-insensitive lookups, edits that
// keep the comments belonging to what they touch, and a writer that puts the
// list back in a fixed layout. Also here: where the user's and the system's
// odbc.ini and odbcinst.ini lie, and small bounded string helpers.
//
// Callers: the installer functions (installer.h) are the only readers and
// writers of files; SQLDriverConnect works on the connection-string form.
// Operations return 0 for success and -1 for failure unless said otherwise.
// A configuration has no lock: it belongs to the call that made it.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <time.h>

#ifdef __cplusplus
extern "C" {
#endif

// Owner bits of zolandm_cfg_entry.flags: which strings the entry owns. A
// string whose bit is clear points into the image (or is a literal).
#define ZOLANDM_CFG_OWN_SECTION 0x8000
#define ZOLANDM_CFG_OWN_ID 0x4000
#define ZOLANDM_CFG_OWN_VALUE 0x2000
#define ZOLANDM_CFG_OWN_COMMENT 0x1000

// Bits of zolandm_config.flags.
#define ZOLANDM_CFG_LOADED 0x8000  // the entry list is valid
#define ZOLANDM_CFG_EOF 0x4000     // the walk has passed the last entry
#define ZOLANDM_CFG_KIND_MASK 0x000F
#define ZOLANDM_CFG_KIND_NONE 0
#define ZOLANDM_CFG_KIND_SECTION 1
#define ZOLANDM_CFG_KIND_KEY 2
#define ZOLANDM_CFG_KIND_VALUE 3

// Which file _zolandm_locate_ini_file looks for.
#define ZOLANDM_ODBC_INI 0
#define ZOLANDM_ODBCINST_INI 1

// One line of a file or one element of a connection string. A section header
// has `section`; a key line `id` and `value`; a value-only line `value`; a
// comment line only `comment` (the text after the comment character).
typedef struct zolandm_cfg_entry {
  char* section;
  char* id;
  char* value;
  char* comment;
  unsigned short flags;
} zolandm_cfg_entry;

typedef struct zolandm_config {
  char* fileName;       // owned; null for a connection string
  int dirty;            // edits not yet written back
  char* image;          // owned text, cut in place by the parse
  int64_t size;         // file size at the last read
  time_t mtime;         // file modification time (seconds) at the last read
  long mtimeNsec;       // ... and its nanoseconds, and the file's inode: a same-size
  uint64_t inode;       // rewrite within one second, or a file renamed over it, is a change
  uint32_t numEntries;  // entries in use
  uint32_t maxEntries;  // entries allocated
  zolandm_cfg_entry* entries;
  uint32_t cursor;       // next entry the walk looks at
  char* section;         // current section of the walk (borrowed)
  char* id;              // key of the current entry, or null (borrowed)
  char* value;           // value of the current entry, or null (borrowed)
  unsigned short flags;  // ZOLANDM_CFG_LOADED, ZOLANDM_CFG_EOF, kind
} zolandm_config, *pconfig;

// Files.
int _zolandm_cfg_open(zolandm_config** out, const char* path, int create);
int _zolandm_cfg_open_named(zolandm_config** out, const char* name, int create);
int _zolandm_cfg_load(zolandm_config* config);  // 1 read, 0 unchanged, -1 failure
int _zolandm_cfg_clear(zolandm_config* config);
int _zolandm_cfg_free(zolandm_config* config);
int _zolandm_cfg_save(zolandm_config* config);

// File-system calls made by loads so far in the process: status requests
// (stat) and reads (open and read); for tests and diagnostics.
void _zolandm_cfg_io_counts(uint64_t* stats, uint64_t* reads);

// Entries, walk and lookup.
int _zolandm_cfg_append_entry(zolandm_config* config, const char* section, const char* id, const char* value,
                              const char* comment, int owned);
int _zolandm_cfg_rewind(zolandm_config* config);
int _zolandm_cfg_next_entry(zolandm_config* config);
int _zolandm_cfg_next_section(zolandm_config* config);
int _zolandm_cfg_find(zolandm_config* config, const char* section, const char* id);

// Edits: key and value set the key; a null value deletes the key; a null key
// deletes the whole section.
int _zolandm_cfg_set(zolandm_config* config, const char* section, const char* id, const char* value);

// Lists of NUL-terminated names closed by one more NUL; the result is the
// bytes used (each name with its NUL), or `size` when the names did not fit.
int _zolandm_cfg_list_sections(zolandm_config* config, char* buffer, int size);
int _zolandm_cfg_list_keys(zolandm_config* config, const char* section, char* buffer, int size);

// Path of odbc.ini (ZOLANDM_ODBC_INI) or odbcinst.ini (ZOLANDM_ODBCINST_INI)
// for the current scope (_zolandm_config_scope); the buffer, or null.
char* _zolandm_locate_ini_file(char* buffer, size_t size, int which, int create);

// Why the ini files cannot be read when one of them (odbc.ini or odbcinst.ini,
// user's or system's) is there but cannot be opened: that errno (EMFILE, EACCES,
// ...); 0 when each of them can be opened or is absent. A lookup that found
// nothing tells with it whether the files said so or could not be read.
int _zolandm_ini_open_errno(void);

// Connection strings, held as a configuration with the one section "ODBC".
int _zolandm_cfg_parse_connstr(zolandm_config* config, const char* text);
// `text` is narrow (bytes) or, with `wide` set, SQLWCHAR characters; `length`
// counts bytes or characters, or is SQL_NTS.
int _zolandm_cfg_new_from_connstr(zolandm_config** out, const void* text, int64_t length, int wide);
int _zolandm_cfg_reparse_connstr(zolandm_config* config, const void* text, int64_t length, int wide);
int _zolandm_cfg_section_to_connstr(zolandm_config* config, const char* section, char* buffer, int size);

// Small string helpers.
char* _zolandm_unquote_dup(const char* text);
size_t _zolandm_copy_bounded(char* destination, const char* source, size_t size);
size_t _zolandm_append_bounded(char* destination, const char* source, size_t size);
const char* _zolandm_list_match(const char* text, const char* pattern, int substring);

#ifdef __cplusplus
}
#endif
