// Program start-up: locale and message catalogue, response-file expansion,
// option parsing driven by the program's option table, and the usage text.
//
// The library holds the program's description `program_info` and the function
// `terminate`, which ends the process (the library calls it when memory runs
// out or a response file is unreadable). Both have safe defaults; a program, a
// test or a benchmark that wants its own registers them once at start-up with
// register_program, before anything else of the library runs.
#pragma once

// Argument types of an option row.
enum {
  OPT_FLAG = 0,    // no value; the int at arg_ptr becomes 1
  OPT_STRING = 1,  // the char* at arg_ptr points to the value in argv
  OPT_INT = 2,     // the int at arg_ptr gets strtol(value, 10)
  OPT_NUM = 3,     // as OPT_INT
  OPT_FUNC = 4,    // arg_ptr is a pgm_opt_func called with the row
};

struct pgm_option {
  const char* long_opt;  // null ends the table
  char short_opt;        // 0 for none
  int arg_type;
  void* arg_ptr;     // null: accepted, no effect
  const char* help;  // null hides the option from the usage text
};

typedef void (*pgm_opt_func)(const pgm_option* row);

// flags bits
enum {
  PGM_EXPAND_ARGV = 0x01,    // replace argv by an owned copy
  PGM_RESPONSE_FILE = 0x02,  // a last argument "@file" names a response file
  PGM_ORDER_MASK = 0xF0,
  PGM_REQUIRE_ORDER = 0x10,    // stop at the first non-option
  PGM_RETURN_IN_ORDER = 0x20,  // non-options come back in place (and end in usage())
};

struct pgm_info {
  char* program_name;           // null: set from argv[0] at start-up
  const char* program_version;  // banner printed first by the usage text
  const char* extra_usage;      // appended to the synopsis; null or "" for none
  int flags;
  pgm_option* program_options;
};

// The registered description; by default no name (taken from argv[0] at
// start-up), an empty banner and no options.
extern pgm_info program_info;
// Runs the registered function, if any (it may end the process itself), then
// logs "server shutting down" at level 7 and exits with code n.
[[noreturn]] void terminate(int n);
// Copies *info into program_info (null keeps it) and makes fn the function
// terminate runs first (null: none).
void register_program(const pgm_info* info, void (*fn)(int n));

// setlocale(LC_CTYPE, LC_MESSAGES) from the environment; binds `domain` to
// $VYR_LOCALEDIR (default ".") and makes it the current text domain.
void initialize_locale(const char* domain);
// Response file, program name, options. Any option error: usage(), exit 1.
void initialize_program(int* argc, char*** argv);
// New argument vector (s_alloc'd copies); with how & 2 a last "@file"
// argument is replaced by the words of that file.
void expand_argv(int* argc, char*** argv, int how);
void default_usage(void);
[[noreturn]] void usage(void);
