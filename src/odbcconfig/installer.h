// The installer side of the configuration store: process-wide configuration
// mode, scope and error stack, reading and writing one file, file data source
// paths, data source name checks, the odbc.ini shortcuts and the driver and
// translator registration helpers. The public installer functions themselves
// (SQLGetPrivateProfileString, SQLReadFileDSN, ...) are declared in
// <odbcinst.h>.
//
// The process-wide state is guarded by an internal recursive mutex, held for
// the whole of every installer call: a loaded driver may call the installer
// functions while the driver manager's global lock is released.
#pragma once

#include "odbcconfig/config.h"

#include <odbcinst.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZOLANDM_INST_ERR_MAX 8

// Process-wide state.
extern unsigned short _zolandm_config_mode;   // ODBC_BOTH_DSN, ODBC_USER_DSN, ODBC_SYSTEM_DSN
extern unsigned short _zolandm_config_scope;  // 0 user, 1 system
extern short _zolandm_inst_err_index;         // newest error, -1 when empty
extern int _zolandm_inst_err_codes[ZOLANDM_INST_ERR_MAX];
extern char* _zolandm_inst_err_msgs[ZOLANDM_INST_ERR_MAX];

// Takes and releases the installer's recursive mutex. Every installer entry
// holds it; code that reads the state above from outside an entry may too.
void _zolandm_installer_lock(void);
void _zolandm_installer_unlock(void);

// Error stack: clear empties it, set makes `code` the only entry, push adds
// it while fewer than eight are held.
void _zolandm_inst_err_clear(void);
void _zolandm_inst_err_set(int code);
void _zolandm_inst_err_push(int code);

// A lookup sequence: the many reads of one connect. Within it (per thread;
// sequences nest), a file already checked in the sequence is used as read,
// without asking for its status again, and odbc.ini and odbcinst.ini are
// located once. Outside a sequence every read checks its file. Files written
// through this store are read anew either way.
void _zolandm_lookup_sequence_begin(void);
void _zolandm_lookup_sequence_end(void);

// One file: the read returns the length written to the buffer; the write
// returns TRUE or FALSE. Errors are pushed on the stack. Reads share one
// parsed copy of each file (see _zolandm_lookup_sequence_begin).
int _zolandm_profile_read_file(const char* section, const char* key, const char* default_value, char* buffer,
                               int size, const char* file_name);
BOOL _zolandm_profile_write_file(const char* section, const char* key, const char* value,
                                 const char* file_name);

// Path of a file data source into a buffer of `size` bytes (callers pass
// 1024); the path is cut when it does not fit. Returns the buffer.
char* _zolandm_file_dsn_path(const char* name, char* buffer, size_t size);

// TRUE when the name holds none of the characters "[]{}(),;?*=!@\\".
BOOL _zolandm_dsn_chars_ok(const char* name);
BOOL _zolandm_dsn_chars_okw(const SQLWCHAR* name);

// Shortcuts for one key of odbc.ini: TRUE when the value is non-empty; the
// length (bytes or characters) is stored when `length` is given.
BOOL zolandm_get_dsn_value(const char* section, const char* key, char* buffer, int size, int* length);
BOOL zolandm_get_dsn_valuew(const SQLWCHAR* section, const SQLWCHAR* key, SQLWCHAR* buffer, int size,
                            int* length);
BOOL zolandm_set_dsn_value(const char* section, const char* key, const char* value);
BOOL zolandm_set_dsn_valuew(const SQLWCHAR* section, const SQLWCHAR* key, const SQLWCHAR* value);

// Registration of a driver or translator into open odbcinst.ini and odbc.ini
// configurations (the caller opens and saves them). For the key-value form the
// name is followed in memory by "key=value" strings, each NUL-terminated,
// closed by an empty string.
BOOL _zolandm_install_from_keyvalues(zolandm_config* odbcinst, zolandm_config* odbcini, const char* name,
                                     int driver);
BOOL _zolandm_install_from_setup_file(zolandm_config* odbcinst, zolandm_config* odbcini,
                                      const char* setup_file, const char* name, int driver);
BOOL _zolandm_install_create_dsns(zolandm_config* odbcini, zolandm_config* odbcinst, const char* library,
                                  const char* dsn_list, const char* driver_name);

#ifdef __cplusplus
}

namespace odbcconfig {

// A lookup sequence for the life of the object.
class LookupSequence {
 public:
  LookupSequence() { _zolandm_lookup_sequence_begin(); }
  ~LookupSequence() { _zolandm_lookup_sequence_end(); }
  LookupSequence(const LookupSequence&) = delete;
  LookupSequence& operator=(const LookupSequence&) = delete;
};

}  // namespace odbcconfig
#endif
