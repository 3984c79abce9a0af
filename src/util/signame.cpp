// Signal names and numbers (Linux x86-64 numbering).
#include "util/signame.h"

#include <cstring>

num_abbrev sig_table[SIG_TABLE_SIZE];
int sig_table_nelts = 0;

namespace {

const num_abbrev rows[] = {
    {1, "HUP"},    {2, "INT"},   {3, "QUIT"},  {4, "ILL"},   {5, "TRAP"},  {6, "ABRT"},    {6, "IOT"},
    {8, "FPE"},    {9, "KILL"},  {7, "BUS"},   {11, "SEGV"}, {31, "SYS"},  {13, "PIPE"},   {14, "ALRM"},
    {15, "TERM"},  {10, "USR1"}, {12, "USR2"}, {17, "CHLD"}, {17, "CLD"},  {30, "PWR"},    {20, "TSTP"},
    {21, "TTIN"},  {22, "TTOU"}, {19, "STOP"}, {24, "XCPU"}, {25, "XFSZ"}, {26, "VTALRM"}, {27, "PROF"},
    {28, "WINCH"}, {18, "CONT"}, {23, "URG"},  {29, "IO"},   {29, "POLL"},
};

}  // namespace

void signame_init(void) {
  // Filled once: a second call must not append the rows again.
  if (sig_table_nelts != 0) return;
  for (const num_abbrev& r : rows) {
    if (sig_table_nelts >= SIG_TABLE_SIZE) break;
    sig_table[sig_table_nelts++] = r;
  }
}

const char* sig_abbrev(int number) {
  if (sig_table_nelts == 0) signame_init();
  for (int i = 0; i < sig_table_nelts; ++i)
    if (sig_table[i].number == number) return sig_table[i].abbrev;
  return nullptr;
}

int sig_number(const char* abbrev) {
  if (abbrev == nullptr) return -1;
  if (sig_table_nelts == 0) signame_init();
  if (strncmp(abbrev, "SIG", 3) == 0) abbrev += 3;
  for (int i = 0; i < sig_table_nelts; ++i)
    if (strcmp(sig_table[i].abbrev, abbrev) == 0) return sig_table[i].number;
  return -1;
}
