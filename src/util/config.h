// Configuration files: INI-style text of sections, "key = value" definitions,
// indented continuation lines and ";" comments, held as the file's text plus an
// array of entries pointing into it. Read, searched (sections and keys match
// case-insensitively), walked, refreshed when the file changes, edited in
// memory and written back in a normalised layout. Each open file has a mutex,
// taken by every operation except open and close. Pointers found stay valid
// until the next refresh, write, merge, commit or close of that file.
#pragma once

#include <cstddef>
#include <ctime>
#include <pthread.h>

#include "util/md5.h"

// TCFGENTRY.flags: which strings the entry owns.
enum {
  CFE_MUST_FREE_SECTION = 0x8000,
  CFE_MUST_FREE_ID = 0x4000,
  CFE_MUST_FREE_VALUE = 0x2000,
  CFE_MUST_FREE_COMMENT = 0x1000,
};

struct TCFGENTRY {
  char* section;  // set on a section entry only
  char* id;       // key of a definition
  char* value;    // value of a definition or continuation
  char* comment;  // comment text without its ";"
  unsigned short flags;
};
typedef TCFGENTRY* PCFGENTRY;

// TCFGDATA.flags
enum {
  CFG_VALID = 0x8000,  // parsed
  CFG_EOF = 0x4000,    // iterator at the end
  CFG_TYPEMASK = 0x000F,
  CFG_SECTION = 1,
  CFG_DEFINE = 2,
  CFG_CONTINUE = 3,
};

struct TCFGDATA {
  char* fileName;
  int dirty;
  char* image;  // the whole text, NUL-terminated
  size_t size;
  time_t mtime;
  digest_t digest;
  unsigned int numEntries;
  unsigned int maxEntries;
  PCFGENTRY entries;
  unsigned int cursor;
  char* section;
  char* id;
  char* value;
  char* comment;
  unsigned short flags;
  pthread_mutex_t mtx;
};
typedef TCFGDATA* PCONFIG;

int VYR_Cfg_init(PCONFIG* ppconf, const char* filename);
int VYR_Cfg_init2(PCONFIG* ppconf, const char* filename, int doCreate);
int VYR_Cfg_done(PCONFIG pconfig);
// -1 error, 0 unchanged, 1 read and parsed again.
int VYR_Cfg_refresh(PCONFIG pconfig);
// 0 found (section, id, value of the record describe it), -1 not.
int VYR_Cfg_find(PCONFIG pconfig, const char* section, const char* id);
int VYR_Cfg_rewind(PCONFIG pconfig);
int VYR_Cfg_nextentry(PCONFIG pconfig);
int VYR_Cfg_storeentry(PCONFIG pconfig, char* section, char* id, char* value, char* comment, int dynamic);
// Sets (id and value), deletes a key (value null) or a section (id null).
int VYR_Cfg_write(PCONFIG pconfig, const char* section, const char* id, const char* value);
int cfg_merge(PCONFIG pconfig, PCONFIG src);
// Writes the entries back when dirty: 0, or -1 when not parsed or the file
// cannot be written.
int VYR_Cfg_commit(PCONFIG pconfig);
