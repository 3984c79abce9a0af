// The agent's command line: its option variables, the option table the
// foundation library parses, and the program description with its version
// banner. Start-up (startup.h) fills the variables; DRV_Init hands the
// backend its share of them.
#pragma once

#include "util/options.h"

extern int f_noautocommit;       // every new connection switches autocommit off
extern unsigned int f_maxrows;   // agent-wide cap on fetched rows; 0: none
extern char* f_initSQL;          // initial-SQL file run on every new connection
extern int f_jetfix;             // BIGINT columns reported as NUMERIC
extern int f_norowsetsizelimit;  // the rowset size is not capped at 100
extern int f_loglevel;           // log level of the log file; -1: no log file
extern char* f_logfile;          // name of the log file
extern int f_debug;              // every message also on standard error
extern char* f_internal;         // the broker's transport list

extern pgm_option options[];
extern const char version[];
