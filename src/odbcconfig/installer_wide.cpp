// The wide forms of the installer functions and the odbc.ini shortcuts.
//
// Wide arguments are turned into UTF-8, the narrow function does the work,
// and text results are turned back. A conversion or allocation failure pushes
// ODBC_ERROR_OUT_OF_MEM onto the stack as it stands and the narrow function
// does not run.
#include "odbcconfig/config_internal.h"
#include "odbcconfig/conversions.h"
#include "odbcconfig/installer.h"

#include <sql.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
using Utf8 = std::unique_ptr<char, FreeDeleter>;

// UTF-8 copies of the wide arguments; a null argument stays null.
class Arguments {
 public:
  explicit Arguments(std::initializer_list<const SQLWCHAR*> wide) {
    for (const SQLWCHAR* w : wide) {
      Utf8 narrow(w ? _zolandm_ucs4_to_utf8_dup(w, SQL_NTS) : nullptr);
      if (w && !narrow) ok_ = false;
      args_.push_back(std::move(narrow));
    }
  }
  bool ok() const { return ok_; }
  const char* operator[](size_t i) const { return args_[i].get(); }

 private:
  std::vector<Utf8> args_;
  bool ok_ = true;
};

// Characters of a UTF-8 text: each byte that is not a continuation byte.
int64_t utf8_chars(const char* text) {
  int64_t n = 0;
  for (; *text; ++text)
    if ((static_cast<unsigned char>(*text) & 0xC0) != 0x80) ++n;
  return n;
}

int out_of_memory() {
  _zolandm_inst_err_push(ODBC_ERROR_OUT_OF_MEM);
  return 0;
}

const SQLWCHAR kOdbcIni[] = L"odbc.ini";

}  // namespace

extern "C" {

int INSTAPI SQLGetPrivateProfileStringW(LPCWSTR lpszSection, LPCWSTR lpszEntry, LPCWSTR lpszDefault,
                                        LPWSTR lpszRetBuffer, int cbRetBuffer, LPCWSTR lpszFilename) {
  odbcconfig::InstallerGuard guard;
  Arguments a({lpszSection, lpszEntry, lpszDefault, lpszFilename});
  if (!a.ok()) return out_of_memory();
  if (!lpszRetBuffer || cbRetBuffer <= 0)
    return SQLGetPrivateProfileString(a[0], a[1], a[2], nullptr, 0, a[3]);

  const int size = cbRetBuffer;
  int narrow_size = size > (INT_MAX - 1) / 4 ? INT_MAX - 1 : size * 4;
  Utf8 narrow(static_cast<char*>(std::malloc(static_cast<size_t>(narrow_size) + 1)));
  if (!narrow) return out_of_memory();
  int length = SQLGetPrivateProfileString(a[0], a[1], a[2], narrow.get(), narrow_size, a[3]);

  bool value = lpszSection && *lpszSection && lpszEntry && *lpszEntry;
  if (value || length == 0) {
    _zolandm_utf8_to_ucs4_buf(narrow.get(), lpszRetBuffer, static_cast<size_t>(size), nullptr);
    int64_t chars = utf8_chars(narrow.get());
    return chars > INT_MAX ? INT_MAX : static_cast<int>(chars);
  }
  // A list: each name into the space left, keeping room for the closing NUL.
  // A whole list ends after `length` bytes (a key may be empty); one that was
  // cut reports the buffer's size and ends at its first empty name.
  bool whole = length < narrow_size;
  const char* end = narrow.get() + (whole ? length : narrow_size);
  size_t pos = 0;
  int64_t total = 0;
  for (const char* name = narrow.get(); name < end && (whole || *name); name += std::strlen(name) + 1) {
    size_t left = static_cast<size_t>(size) - pos - 1;
    if (left == 0) break;
    int64_t chars = utf8_chars(name);
    _zolandm_utf8_to_ucs4_buf(name, lpszRetBuffer + pos, left, nullptr);
    pos += (static_cast<uint64_t>(chars) < left ? static_cast<size_t>(chars) : left - 1) + 1;
    total += chars;
  }
  lpszRetBuffer[pos] = 0;
  return total + 1 > INT_MAX ? INT_MAX : static_cast<int>(total + 1);
}

BOOL INSTAPI SQLWritePrivateProfileStringW(LPCWSTR lpszSection, LPCWSTR lpszEntry, LPCWSTR lpszString,
                                           LPCWSTR lpszFilename) {
  odbcconfig::InstallerGuard guard;
  Arguments a({lpszSection, lpszEntry, lpszString, lpszFilename});
  if (!a.ok()) return out_of_memory();
  return SQLWritePrivateProfileString(a[0], a[1], a[2], a[3]);
}

BOOL INSTAPI SQLReadFileDSNW(LPCWSTR lpszFileName, LPCWSTR lpszAppName, LPCWSTR lpszKeyName,
                             LPWSTR lpszString, WORD cbString, WORD* pcbString) {
  odbcconfig::InstallerGuard guard;
  Arguments a({lpszFileName, lpszAppName, lpszKeyName});
  if (!a.ok()) return out_of_memory();
  if (!lpszString || cbString == 0) return SQLReadFileDSN(a[0], a[1], a[2], nullptr, 0, pcbString);

  size_t bytes = static_cast<size_t>(cbString) * 4;
  Utf8 narrow(static_cast<char*>(std::malloc(bytes + 1)));
  if (!narrow) return out_of_memory();
  narrow.get()[0] = '\0';
  // The narrow size is 16 bits wide: capped rather than wrapped, so that a
  // large wide buffer never turns into a tiny or empty narrow one.
  WORD narrow_size = static_cast<WORD>(bytes < 0xFFFF ? bytes : 0xFFFF);
  WORD narrow_length = 0;
  BOOL ok = SQLReadFileDSN(a[0], a[1], a[2], narrow.get(), narrow_size, &narrow_length);
  if (!ok) {
    if (pcbString) *pcbString = 0;
    return FALSE;
  }
  SQLSMALLINT chars = 0;
  int cut = _zolandm_utf8_to_ucs4_buf(narrow.get(), lpszString, cbString, &chars);
  if (pcbString) *pcbString = static_cast<WORD>(utf8_chars(narrow.get()));
  if (cut < 0) {
    // The wide buffer holds fewer characters than the narrow one had bytes.
    _zolandm_inst_err_push(ODBC_ERROR_OUTPUT_STRING_TRUNCATED);
    return FALSE;
  }
  return TRUE;
}

BOOL INSTAPI SQLWriteFileDSNW(LPCWSTR lpszFileName, LPCWSTR lpszAppName, LPCWSTR lpszKeyName,
                              LPCWSTR lpszString) {
  odbcconfig::InstallerGuard guard;
  Arguments a({lpszFileName, lpszAppName, lpszKeyName, lpszString});
  if (!a.ok()) return out_of_memory();
  return SQLWriteFileDSN(a[0], a[1], a[2], a[3]);
}

BOOL zolandm_get_dsn_value(const char* section, const char* key, char* buffer, int size, int* length) {
  int n = SQLGetPrivateProfileString(section, key, "", buffer, size, "odbc.ini");
  if (length) *length = n;
  return n > 0 ? TRUE : FALSE;
}

BOOL zolandm_get_dsn_valuew(const SQLWCHAR* section, const SQLWCHAR* key, SQLWCHAR* buffer, int size,
                            int* length) {
  int n = SQLGetPrivateProfileStringW(section, key, L"", buffer, size, kOdbcIni);
  if (length) *length = n;
  return n > 0 ? TRUE : FALSE;
}

BOOL zolandm_set_dsn_value(const char* section, const char* key, const char* value) {
  return SQLWritePrivateProfileString(section, key, value, "odbc.ini");
}

BOOL zolandm_set_dsn_valuew(const SQLWCHAR* section, const SQLWCHAR* key, const SQLWCHAR* value) {
  return SQLWritePrivateProfileStringW(section, key, value, kOdbcIni);
}

}  // extern "C"
