// Diagnostic records of the driver manager: the errors and warnings it raises itself,
// kept as a list per handle (newest first) and read back by SQLError and SQLGetDiagRec.
// A record carries only a code (a row of _zolandm_sqlstate_table); SQLSTATE and text are
// looked up when the record is read.
#pragma once

#include <cstddef>

// Every row of the table; the code is the row number.
enum zolandm_sqlstate_code {
  ZOLANDM_E_00000 = 0,
  ZOLANDM_E_01000 = 1,
  ZOLANDM_E_01002 = 2,
  ZOLANDM_E_01004 = 3,
  ZOLANDM_E_01006 = 4,
  ZOLANDM_E_01S00 = 5,
  ZOLANDM_E_01S01 = 6,
  ZOLANDM_E_01S02 = 7,
  ZOLANDM_E_01S03 = 8,
  ZOLANDM_E_01S04 = 9,
  ZOLANDM_E_01S08 = 10,
  ZOLANDM_E_07001 = 11,
  ZOLANDM_E_07006 = 12,
  ZOLANDM_E_08001 = 13,
  ZOLANDM_E_08002 = 14,
  ZOLANDM_E_08003 = 15,
  ZOLANDM_E_08004 = 16,
  ZOLANDM_E_08007 = 17,
  ZOLANDM_E_08S01 = 18,
  ZOLANDM_E_21S01 = 19,
  ZOLANDM_E_21S02 = 20,
  ZOLANDM_E_22001 = 21,
  ZOLANDM_E_22003 = 22,
  ZOLANDM_E_22005 = 23,
  ZOLANDM_E_22008 = 24,
  ZOLANDM_E_22012 = 25,
  ZOLANDM_E_22026 = 26,
  ZOLANDM_E_23000 = 27,
  ZOLANDM_E_24000 = 28,
  ZOLANDM_E_25000 = 29,
  ZOLANDM_E_28000 = 30,
  ZOLANDM_E_34000 = 31,
  ZOLANDM_E_37000 = 32,
  ZOLANDM_E_3C000 = 33,
  ZOLANDM_E_40001 = 34,
  ZOLANDM_E_42000 = 35,
  ZOLANDM_E_70100 = 36,
  ZOLANDM_E_HY001 = 37,
  ZOLANDM_E_HY009 = 38,
  ZOLANDM_E_HY010 = 39,
  ZOLANDM_E_HY017 = 40,
  ZOLANDM_E_HY024 = 41,
  ZOLANDM_E_HY091 = 42,
  ZOLANDM_E_HY092 = 43,
  ZOLANDM_E_HY110 = 44,
  ZOLANDM_E_HYC00 = 45,
  ZOLANDM_E_IM001 = 46,
  ZOLANDM_E_IM002 = 47,
  ZOLANDM_E_IM003 = 48,
  ZOLANDM_E_IM004 = 49,
  ZOLANDM_E_IM005 = 50,
  ZOLANDM_E_IM006 = 51,
  ZOLANDM_E_IM007 = 52,
  ZOLANDM_E_IM008 = 53,
  ZOLANDM_E_IM009 = 54,
  ZOLANDM_E_IM010 = 55,
  ZOLANDM_E_IM011 = 56,
  ZOLANDM_E_IM012 = 57,
  ZOLANDM_E_IM013 = 58,
  ZOLANDM_E_IM014 = 59,
  ZOLANDM_E_IM015 = 60,
  ZOLANDM_E_S0001 = 61,
  ZOLANDM_E_S0002 = 62,
  ZOLANDM_E_S0011 = 63,
  ZOLANDM_E_S0012 = 64,
  ZOLANDM_E_S0021 = 65,
  ZOLANDM_E_S0022 = 66,
  ZOLANDM_E_S0023 = 67,
  ZOLANDM_E_S1000 = 68,
  ZOLANDM_E_S1001 = 69,
  ZOLANDM_E_S1002 = 70,
  ZOLANDM_E_S1003 = 71,
  ZOLANDM_E_S1004 = 72,
  ZOLANDM_E_S1008 = 73,
  ZOLANDM_E_S1009 = 74,
  ZOLANDM_E_S1010 = 75,
  ZOLANDM_E_S1011 = 76,
  ZOLANDM_E_S1012 = 77,
  ZOLANDM_E_S1015 = 78,
  ZOLANDM_E_S1090 = 79,
  ZOLANDM_E_S1091 = 80,
  ZOLANDM_E_S1092 = 81,
  ZOLANDM_E_S1093 = 82,
  ZOLANDM_E_S1094 = 83,
  ZOLANDM_E_S1095 = 84,
  ZOLANDM_E_S1096 = 85,
  ZOLANDM_E_S1097 = 86,
  ZOLANDM_E_S1098 = 87,
  ZOLANDM_E_S1099 = 88,
  ZOLANDM_E_S1100 = 89,
  ZOLANDM_E_S1101 = 90,
  ZOLANDM_E_S1103 = 91,
  ZOLANDM_E_S1104 = 92,
  ZOLANDM_E_S1105 = 93,
  ZOLANDM_E_S1106 = 94,
  ZOLANDM_E_S1107 = 95,
  ZOLANDM_E_S1108 = 96,
  ZOLANDM_E_S1109 = 97,
  ZOLANDM_E_S1110 = 98,
  ZOLANDM_E_S1111 = 99,
  ZOLANDM_E_S1C00 = 100,
  ZOLANDM_E_S1T00 = 101,
  ZOLANDM_SQLSTATE_ROWS = 102
};

struct zolandm_err {
  int code;           // row of _zolandm_sqlstate_table
  int index;          // 0 for the oldest record of the list, at most 63
  char* message;      // replaces the table text; owned by the record (null for most)
  zolandm_err* next;  // next older record
};

struct zolandm_sqlstate {
  int code;
  const char* sqlstate;
  const char* text;
};

// 102 rows and a terminator row {102, null, null}.
extern "C" const zolandm_sqlstate _zolandm_sqlstate_table[ZOLANDM_SQLSTATE_ROWS + 1];

// Prefix of every message the manager reports for its own records.
#define ZOLANDM_MSG_PREFIX "[Zolan][Driver Manager]"

// Pushes a record onto a list and returns the new head, which the caller stores back.
// A list holds at most 64 records: once full, the newest slot is overwritten. The message,
// when given, is copied into the record. If memory runs out the old list is returned
// unchanged (earlier records are kept; only the new one is lost).
zolandm_err* _zolandm_err_push(zolandm_err* list, int code, const char* message);

// Frees every record of a list (their messages too).
void _zolandm_err_free_all(zolandm_err* list);

// Table lookup: the SQLSTATE (code 74 reads as "HY009") or the text of a code; null when
// the table has no such row.
const char* _zolandm_sqlstate_of(int code);
const char* _zolandm_text_of(int code);

// Formats the manager message of a record into buf (256 bytes): the prefix followed by the
// record's message or table text. Returns the length written.
int _zolandm_format_message(const zolandm_err* rec, char* buf, size_t size);

// The leaf mutex around every diagnostics list. Taken after the global lock (when that is
// held at all) and never held across a driver call, so a worker running without the global
// lock and a refused second caller pushing "S1010" cannot race on one list.
void _zolandm_diag_lock();
void _zolandm_diag_unlock();

// Test hook: makes the n-th allocation of the manager's records from now fail (1 = the next
// one); 0 switches it off. The allocation functions below consult it.
void _zolandm_fail_alloc_after(int n);
void* _zolandm_malloc(size_t size);
void* _zolandm_calloc(size_t count, size_t size);
char* _zolandm_strdup(const char* s);
