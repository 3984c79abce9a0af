// Conversions among UTF-8 (the wire), 32-bit wchar_t (wide text in memory),
// UCS-2 (16-bit units) and the locale's multibyte text, and UTF-8 case mapping
// by the Unicode 3.2 simple case mappings.
//
// Lengths of type ssize_t take SQL_NTS (-3) for "runs to its terminator".
// Copy-outs return 0 when the whole text fitted and -1 when it was cut or could
// not be written. Allocating copies return memory the caller frees with free(),
// or null for a null input or a failed allocation. Malformed UTF-8 ends a
// conversion before the bad character, without any report. Nothing here logs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <sys/types.h>

#ifndef SQL_NTS
#define SQL_NTS (-3)
#endif

typedef uint16_t ucs2_text;

// Copy-outs: (input, output, size, result). result may be null.
int StrCopyOut_WtoU8(const wchar_t* in, char* out, size_t size, unsigned short* result);
int StrCopyOut_UCS2toU8(const ucs2_text* in, char* out, size_t size, unsigned short* result);
int StrCopyOut_U8toW(const char* in, wchar_t* out, size_t size, unsigned short* result);
int StrCopyOut2_U8toW(const char* in, wchar_t* out, size_t size, unsigned short* result);
int wStrCopyOut(const wchar_t* in, wchar_t* out, unsigned short size, unsigned short* result);
int wStrCopyOut2(const wchar_t* in, wchar_t* out, unsigned short size, unsigned short* result);
int StrCopyOut2_A2W(const char* in, wchar_t* out, size_t size, unsigned short* result);

// Copies into a caller's buffer: (destination, source, size); they return the destination.
wchar_t* strncpy_U8toW(wchar_t* dest, const char* src, size_t size);
wchar_t* strcpy_U8toW(wchar_t* dest, const char* src);
char* strncpy_AtoU8(char* dest, const char* src, size_t size);
wchar_t* strncpy_A2W(wchar_t* dest, const char* src, size_t size);
wchar_t* strcpy_A2W(wchar_t* dest, const char* src);
char* strncpy_W2A(char* dest, const wchar_t* src, size_t size);

// Allocating copies.
char* strdup_WtoU8(const wchar_t* in);
char* SQL_WtoU8(const wchar_t* in, ssize_t size);
wchar_t* strdup_U8toW(const char* in);
wchar_t* SQL_U8toW(const char* in, ssize_t size);
ucs2_text* strdup_U8toUCS2(const char* in);
char* strdup_UCS2toU8(const ucs2_text* in);
wchar_t* SQL_A2W(const char* in, ssize_t size);
char* SQL_W2A(const wchar_t* in, ssize_t size);
char* strdup_W2A(const wchar_t* in);

// Counting and raw conversion (no terminator written).
size_t calc_len_for_utf8(const wchar_t* in, ssize_t size);
size_t ucs2_calc_len_for_utf8(const ucs2_text* in, ssize_t size);
size_t utf8_len(const char* in, ssize_t size);
size_t ucs2len(const ucs2_text* in);
// The length of the longest prefix of the len bytes at in that does not end
// inside a UTF-8 character: len less the bytes of a last character that was
// cut short. Bytes that are not UTF-8 are left as they are.
size_t utf8_whole_prefix(const char* in, size_t len);
size_t wcstoutf8(const wchar_t* in, char* out, size_t size);
size_t wcsntoutf8(const wchar_t* in, char* out, size_t wlen, size_t size, unsigned short* converted);
size_t ucs2toutf8(const ucs2_text* in, char* out, size_t size);
size_t utf8towcs(const char* in, wchar_t* out, size_t size);
size_t utf8ntowcs(const char* in, wchar_t* out, size_t ulen, size_t size, unsigned short* converted);
size_t utf8toucs2(const char* in, ucs2_text* out, size_t size);

// Case mapping in place: text is re-encoded into its own buffer of size bytes
// (terminator included, size >= 1). Returns text.
char* utf8_upper(char* text, size_t size);
char* utf8_lower(char* text, size_t size);
wchar_t _towupper(wchar_t c);
wchar_t _towlower(wchar_t c);

// The Unicode 3.2 simple case tables, sorted by code point. A row: bits 0-17
// the code point, bits 18-30 the magnitude of the difference to the mapping,
// bit 31 set for a negative difference.
extern const uint32_t to_up[];
extern const unsigned to_up_nelts;  // 759
extern const uint32_t to_lw[];
extern const unsigned to_lw_nelts;  // 749
