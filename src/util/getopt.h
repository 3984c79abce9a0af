// Command-line option parser: short options after "-", long options after
// "--" or "+" (unambiguous prefixes accepted), values after "=" or as the next
// argument; non-options permuted behind the options unless POSIXLY_CORRECT or
// the option string asks otherwise. State is global; setting VYR_optind to 0
// starts over.
#pragma once

struct option {
  const char* name;  // null ends the table
  int has_arg;       // 0 none, 1 required, 2 optional
  int* flag;         // not null: val is stored there and 0 returned
  int val;
};

enum { no_argument = 0, required_argument = 1, optional_argument = 2 };

extern char* VYR_optarg;
extern int VYR_optind;
extern int VYR_opterr;
extern int VYR_optopt;

int VYR_getopt(int argc, const char** argv, const char* optstring);
int VYR_getopt_long(int argc, const char** argv, const char* options, const option* long_options,
                    int* opt_index);
int VYR_getopt_long_only(int argc, const char** argv, const char* options, const option* long_options,
                         int* opt_index);
int VYR__getopt_internal(int argc, const char** argv, const char* options, const option* long_options,
                         int* longind, int long_only);
