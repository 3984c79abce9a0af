// Small byte-string routines: comma-separated lists, trimming, file-name
// extensions, counted-string copies, quoting, keyword matching and
// case-insensitive comparison by the current locale. Lengths of type ssize_t
// take SQL_NTS (-3) for "runs to its NUL".
#pragma once

#include <cstddef>
#include <sys/types.h>

#ifndef SQL_NTS
#define SQL_NTS (-3)
#endif

// Entry idx (from 1) of a comma-separated list, trimmed, malloc'd; or null.
char* cslentry(const char* list, int idx);
int cslnumentries(const char* list);

char* ltrim(const char* s);
// Removes trailing white space; the last remaining character or null.
char* rtrim(char* str);

// setext modes
enum { SETEXT_REMOVE = 0, SETEXT_REPLACE = 1, SETEXT_ADD = 2 };
// Edits the extension of a copy of path in a static buffer of 4096 bytes,
// overwritten by every call; null when the result would not fit.
char* setext(const char* path, const char* ext, int mode);

int StrCopyIn(char** poutStr, const char* inStr, ssize_t size);
int StrCopyInUQ(char** poutStr, const char* inStr, ssize_t size);
char* strquote(const char* s, ssize_t size, int quoteChr);
char* strunquote(const char* s, ssize_t size, int quoteChr);

// Keyword at the head of source: the rest after the following white space, or null.
char* strexpect(const char* keyword, const char* source);
char* strexpect_cs(const char* keyword, const char* source);

char* strindex(const char* str, const char* find);
int stricmp(const char* s1, const char* s2);
int strnicmp(const char* s1, const char* s2, size_t n);
char* strlwr(char* src);
char* strupr(char* src);
