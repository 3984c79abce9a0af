// The agent's option variables (agent_options.h), set from the command line.
#include "server/agent_options.h"

int f_noautocommit = 0;
unsigned int f_maxrows = 0;
char* f_initSQL = nullptr;
int f_jetfix = 0;
int f_norowsetsizelimit = 0;
int f_loglevel = -1;
char* f_logfile = nullptr;
int f_debug = 0;
char* f_internal = nullptr;

pgm_option options[] = {
    {"noautocommit", 'C', OPT_FLAG, &f_noautocommit, "turn autocommit off by default"},
    {"maxrows", 'm', OPT_NUM, &f_maxrows, "maximum allowed rows to fetch"},
    {"initsql", 'i', OPT_STRING, &f_initSQL, "execute SQL from this file for every connection made"},
    {"jetfix", 'j', OPT_FLAG, &f_jetfix, "Jet Engine Compatibility Features"},
    {"norowsetlimit", 'r', OPT_FLAG, &f_norowsetsizelimit, "turn off rowset size limit"},
    {"loglevel", 'l', OPT_INT, &f_loglevel, "log level"},
    {"logfile", 'L', OPT_STRING, &f_logfile, "log file"},
    {"debug", 'd', OPT_FLAG, &f_debug, "debug mode"},
    {"internal", 0, OPT_STRING, &f_internal, ""},
    {nullptr, 0, 0, nullptr, nullptr},
};
