// The agent program's option variables and termination hook, for tests that
// link the backend without the program.
int f_noautocommit;
unsigned int f_maxrows;
char* f_initSQL;
int f_jetfix;
int f_norowsetsizelimit;
int (*sigterm_hook)(int);
