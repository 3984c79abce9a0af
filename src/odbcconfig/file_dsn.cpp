// File data sources (".dsn" files) and the check of data source names.
#include "odbcconfig/config.h"
#include "odbcconfig/config_internal.h"
#include "odbcconfig/installer.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <strings.h>

namespace {

const char kForbidden[] = "[]{}(),;?*=!@\\";

}  // namespace

extern "C" {

char* _zolandm_file_dsn_path(const char* name, char* buffer, size_t size) {
  if (!buffer || size == 0) return buffer;
  buffer[0] = '\0';
  if (!name) return buffer;
  if (std::strchr(name, '/')) {
    _zolandm_copy_bounded(buffer, name, size);
  } else {
    const char* dir = std::getenv("FILEDSNPATH");
    char configured[1024];
    if (!dir) {
      _zolandm_config_mode = ODBC_BOTH_DSN;
      SQLGetPrivateProfileString("ODBC", "FileDSNPath", "", configured, sizeof configured, "odbcinst.ini");
      dir = configured[0] ? configured : "/etc/ODBCDataSources";
    }
    _zolandm_copy_bounded(buffer, dir, size);
    _zolandm_append_bounded(buffer, "/", size);
    _zolandm_append_bounded(buffer, name, size);
  }
  const char* dot = std::strrchr(buffer, '.');
  if (!dot || strcasecmp(dot, ".dsn") != 0) _zolandm_append_bounded(buffer, ".dsn", size);
  return buffer;
}

BOOL _zolandm_dsn_chars_ok(const char* name) {
  return name && !std::strpbrk(name, kForbidden) ? TRUE : FALSE;
}

BOOL _zolandm_dsn_chars_okw(const SQLWCHAR* name) {
  if (!name) return FALSE;
  for (; *name; ++name)
    if (*name > 0 && *name < 0x80 && std::strchr(kForbidden, static_cast<char>(*name))) return FALSE;
  return TRUE;
}

BOOL INSTAPI SQLReadFileDSN(LPCSTR lpszFileName, LPCSTR lpszAppName, LPCSTR lpszKeyName, LPSTR lpszString,
                            WORD cbString, WORD* pcbString) {
  odbcconfig::InstallerGuard guard;
  _zolandm_inst_err_clear();
  int code = 0;
  if (!lpszString || cbString == 0)
    code = ODBC_ERROR_INVALID_BUFF_LEN;
  else if (lpszKeyName && !lpszAppName)
    code = ODBC_ERROR_INVALID_REQUEST_TYPE;
  else if (!lpszFileName)
    code = ODBC_ERROR_INVALID_PATH;
  if (code) {
    _zolandm_inst_err_set(code);
    if (pcbString) *pcbString = 0;
    return FALSE;
  }
  char path[1024];
  _zolandm_file_dsn_path(lpszFileName, path, sizeof path);
  // What the lookup of the directory recorded is not this call's error.
  _zolandm_inst_err_clear();

  // Zeroed first: a list cut by the buffer reports the buffer's size, not
  // where its names end, and the bytes after them must read as the end.
  std::memset(lpszString, 0, cbString);
  int length = _zolandm_profile_read_file(lpszAppName, lpszKeyName, "", lpszString, cbString, path);
  BOOL ok = _zolandm_inst_err_index < 0 ? TRUE : FALSE;
  // A list comes back with ';' after each name; the closing NUL stays.
  int limit = length;
  if (length >= cbString) {
    // Cut list: it ends with the NUL after its last non-empty name.
    limit = 0;
    for (int i = cbString - 1; i > 0; --i) {
      if (lpszString[i - 1] != '\0') {
        limit = i + 1 < cbString ? i + 1 : cbString - 1;
        break;
      }
    }
  }
  for (int i = 0; i < limit; ++i)
    if (lpszString[i] == '\0') lpszString[i] = ';';
  if (pcbString) *pcbString = static_cast<WORD>(length);
  if (length >= cbString - 1) {
    _zolandm_inst_err_push(ODBC_ERROR_OUTPUT_STRING_TRUNCATED);
    return FALSE;
  }
  return ok;
}

BOOL INSTAPI SQLWriteFileDSN(LPCSTR lpszFileName, LPCSTR lpszAppName, LPCSTR lpszKeyName, LPCSTR lpszString) {
  odbcconfig::InstallerGuard guard;
  _zolandm_inst_err_clear();
  if (!lpszFileName) {
    _zolandm_inst_err_set(ODBC_ERROR_INVALID_PATH);
    return FALSE;
  }
  char path[1024];
  _zolandm_file_dsn_path(lpszFileName, path, sizeof path);
  _zolandm_inst_err_clear();
  return _zolandm_profile_write_file(lpszAppName, lpszKeyName, lpszString, path);
}

BOOL INSTAPI SQLValidDSN(LPCSTR lpszDSN) {
  odbcconfig::InstallerGuard guard;
  _zolandm_inst_err_clear();
  if (!lpszDSN || !*lpszDSN || std::strlen(lpszDSN) >= 32) {
    _zolandm_inst_err_set(ODBC_ERROR_GENERAL_ERR);
    return FALSE;
  }
  return _zolandm_dsn_chars_ok(lpszDSN);
}

BOOL INSTAPI SQLValidDSNW(LPCWSTR lpszDSN) {
  odbcconfig::InstallerGuard guard;
  _zolandm_inst_err_clear();
  if (!lpszDSN || !*lpszDSN || std::wcslen(lpszDSN) >= 32) {
    _zolandm_inst_err_set(ODBC_ERROR_GENERAL_ERR);
    return FALSE;
  }
  return _zolandm_dsn_chars_okw(lpszDSN);
}

}  // extern "C"
