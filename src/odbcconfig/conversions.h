// Conversions between wide text (SQLWCHAR, the 4-byte wchar_t, one UCS-4 code
// point per element), narrow text in the locale's multibyte encoding, and
// UTF-8. The driver manager's wide and narrow entry points and the installer's
// wide functions use them whenever text crosses between two widths.
//
// Lengths of wide text count characters, of narrow text bytes; SQL_NTS (-3)
// means "up to the terminating NUL". Functions that allocate return memory
// the caller releases with free(); none keeps any state. The locale functions
// follow the process's LC_CTYPE; the UTF-8 ones do not depend on the locale.
// Malformed input is not reported: the converted text simply ends there.
#pragma once

#include <sqltypes.h>

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

// Wide to locale multibyte: a new string (four bytes per character are
// reserved), or null for a null text or a failed allocation. A character the
// locale cannot represent ends the result; a value that is no character
// (a surrogate or above 0x10FFFF) becomes '?'.
char* _zolandm_wcs_to_mbs_dup(const SQLWCHAR* text, int64_t length);

// Locale multibyte to wide: a new string, or null.
SQLWCHAR* _zolandm_mbs_to_wcs_dup(const char* text, int64_t length);

// Locale multibyte into a wide buffer of `size` characters. *length (when
// given) receives the character count of the whole text. 0 when the whole
// text fits or there is no buffer; -1 when it was cut (a terminated prefix is
// written) or the text is null (nothing written).
int _zolandm_mbs_to_wcs_buf(const char* text, SQLWCHAR* buffer, SQLSMALLINT size, SQLSMALLINT* length);

// Wide into a locale multibyte buffer of `size` bytes; *length receives the
// byte count of the whole multibyte form. A cut result holds whole
// characters only. Results as for _zolandm_mbs_to_wcs_buf.
int _zolandm_wcs_to_mbs_buf(const SQLWCHAR* text, char* buffer, SQLSMALLINT size, SQLSMALLINT* length);

// One wide character in the locale's multibyte form, as wcrtomb; (size_t)-1
// also for a value that is no character (a surrogate or above 0x10FFFF), to
// which the C library would give 5- and 6-byte forms.
size_t _zolandm_wide_char_to_mb(char* out, SQLWCHAR c, mbstate_t* state);

// Unbounded conversions: the destination must hold the whole result (one
// wide character per input byte plus one; four bytes per character plus one).
SQLWCHAR* _zolandm_mbs_to_wcs_copy(SQLWCHAR* destination, const char* text);
char* _zolandm_wcs_to_mbs_copy(char* destination, const SQLWCHAR* text);

// UCS-4 to UTF-8: a new string sized exactly, or null. Surrogates and values
// above 0x10FFFF become '?'. With a count, exactly that many values are converted.
char* _zolandm_ucs4_to_utf8_dup(const SQLWCHAR* text, int64_t count);

// UTF-8 to UCS-4: a new string, or null. With an explicit byte length only
// characters that lie wholly within it are decoded.
SQLWCHAR* _zolandm_utf8_to_ucs4_dup(const char* text, SQLSMALLINT length);

// UTF-8 into a wide buffer of `size` characters; *count receives the
// character count of the whole text. Results as for _zolandm_mbs_to_wcs_buf.
int _zolandm_utf8_to_ucs4_buf(const char* text, SQLWCHAR* buffer, size_t size, SQLSMALLINT* count);

#ifdef __cplusplus
}
#endif
