// Signal names: abbreviations ("HUP", "ABRT", ...) to numbers and back.
#pragma once

struct num_abbrev {
  int number;
  const char* abbrev;
};

enum { SIG_TABLE_SIZE = 130 };
extern num_abbrev sig_table[SIG_TABLE_SIZE];
extern int sig_table_nelts;

// Fills the table once; later calls leave it as it is.
void signame_init(void);
// The abbreviation of the first row with that number, or null.
const char* sig_abbrev(int number);
// A leading "SIG" is skipped; exact, case-sensitive; -1 when unknown.
int sig_number(const char* abbrev);
