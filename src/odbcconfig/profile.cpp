// SQLGetPrivateProfileString and SQLWritePrivateProfileString: one key of
// odbc.ini, odbcinst.ini or any initialisation file, in the user's or the
// system's scope as the configuration mode says.
#include "odbcconfig/config.h"
#include "odbcconfig/config_internal.h"
#include "odbcconfig/installer.h"

#include <cstring>

namespace {

// One read for a null file name: odbc.ini of the current scope.
// A missing path reads as an empty result.
int read_once(const char* section, const char* key, const char* default_value, char* buffer, int size,
              const char* file_name) {
  if (file_name) return _zolandm_profile_read_file(section, key, default_value, buffer, size, file_name);
  char path[1024];
  if (!odbcconfig::locate_for_read(ZOLANDM_ODBC_INI, path, sizeof path)) {
    buffer[0] = '\0';
    return 0;
  }
  return _zolandm_profile_read_file(section, key, default_value, buffer, size, path);
}

BOOL write_located(const char* section, const char* key, const char* value, bool* no_path) {
  char path[1024];
  if (!_zolandm_locate_ini_file(path, sizeof path, ZOLANDM_ODBC_INI, 1)) {
    if (no_path) *no_path = true;
    return FALSE;
  }
  return _zolandm_profile_write_file(section, key, value, path);
}

// Scope and mode go back to their defaults at the end of every read and write.
struct ResetModeAndScope {
  ~ResetModeAndScope() {
    _zolandm_config_scope = 0;
    _zolandm_config_mode = ODBC_BOTH_DSN;
  }
};

}  // namespace

extern "C" {

int _zolandm_profile_read_file(const char* section, const char* key, const char* default_value, char* buffer,
                               int size, const char* file_name) {
  if (!buffer || size <= 0) return 0;
  buffer[0] = '\0';
  // The file as _zolandm_cfg_open_named names it, without the create flag.
  char located[1024];
  const char* path = file_name;
  if (file_name && (std::strstr(file_name, "odbc.ini") || std::strstr(file_name, "ODBC.INI")))
    path = odbcconfig::locate_for_read(ZOLANDM_ODBC_INI, located, sizeof located);
  else if (file_name && (std::strstr(file_name, "odbcinst.ini") || std::strstr(file_name, "ODBCINST.INI")))
    path = odbcconfig::locate_for_read(ZOLANDM_ODBCINST_INI, located, sizeof located);
  odbcconfig::CachedIni ini(path);
  zolandm_config* config = ini.config();
  int length;
  if (!config) {
    if (default_value) _zolandm_copy_bounded(buffer, default_value, static_cast<size_t>(size));
    _zolandm_inst_err_push(ODBC_ERROR_INVALID_PATH);
    length = static_cast<int>(std::strlen(buffer));
  } else if (!section || !*section) {
    length = _zolandm_cfg_list_sections(config, buffer, size);
  } else if (!key || !*key) {
    length = _zolandm_cfg_list_keys(config, section, buffer, size);
  } else {
    const char* in_effect = default_value && *default_value ? default_value : " ";
    const char* result;
    if (_zolandm_cfg_find(config, section, key) == 0 && config->value)
      result = config->value;
    else
      result = std::strcmp(in_effect, " ") == 0 ? "" : in_effect;
    _zolandm_copy_bounded(buffer, result, static_cast<size_t>(size));
    length = static_cast<int>(std::strlen(buffer));
  }
  // A list that did not fit reports `size`: it is cut as well.
  if (length >= size - 1) _zolandm_inst_err_push(ODBC_ERROR_INVALID_BUFF_LEN);
  return length;
}

BOOL _zolandm_profile_write_file(const char* section, const char* key, const char* value,
                                 const char* file_name) {
  if (!section || !*section) {
    _zolandm_inst_err_push(ODBC_ERROR_INVALID_REQUEST_TYPE);
    return FALSE;
  }
  zolandm_config* config = nullptr;
  if (_zolandm_cfg_open_named(&config, file_name, 1) < 0) {
    _zolandm_inst_err_push(ODBC_ERROR_GENERAL_ERR);
    return FALSE;
  }
  // An edit fails only for want of memory; saving then would report the
  // old text as written.
  if (_zolandm_cfg_set(config, section, key, value) < 0) {
    _zolandm_cfg_free(config);
    _zolandm_inst_err_push(ODBC_ERROR_OUT_OF_MEM);
    return FALSE;
  }
  BOOL ok = TRUE;
  if (_zolandm_cfg_save(config) < 0) {
    _zolandm_inst_err_push(ODBC_ERROR_REQUEST_FAILED);
    ok = FALSE;
  }
  _zolandm_cfg_free(config);
  return ok;
}

int INSTAPI SQLGetPrivateProfileString(LPCSTR lpszSection, LPCSTR lpszEntry, LPCSTR lpszDefault,
                                       LPSTR lpszRetBuffer, int cbRetBuffer, LPCSTR lpszFilename) {
  odbcconfig::InstallerGuard guard;
  ResetModeAndScope reset;
  _zolandm_inst_err_clear();
  if (!lpszRetBuffer || cbRetBuffer <= 0) {
    _zolandm_inst_err_set(ODBC_ERROR_INVALID_BUFF_LEN);
    return 0;
  }
  if (!lpszDefault) {
    _zolandm_inst_err_set(ODBC_ERROR_GENERAL_ERR);
    return 0;
  }
  switch (_zolandm_config_mode) {
    case ODBC_USER_DSN:
    case ODBC_SYSTEM_DSN:
      _zolandm_config_scope = _zolandm_config_mode == ODBC_USER_DSN ? 0 : 1;
      return read_once(lpszSection, lpszEntry, lpszDefault, lpszRetBuffer, cbRetBuffer, lpszFilename);
    case ODBC_BOTH_DSN: {
      _zolandm_config_scope = 0;
      int length = read_once(lpszSection, lpszEntry, lpszDefault, lpszRetBuffer, cbRetBuffer, lpszFilename);
      if (length != 0) return length;
      _zolandm_inst_err_clear();
      _zolandm_config_scope = 1;
      return read_once(lpszSection, lpszEntry, lpszDefault, lpszRetBuffer, cbRetBuffer, lpszFilename);
    }
    default:
      _zolandm_inst_err_set(ODBC_ERROR_GENERAL_ERR);
      return 0;
  }
}

BOOL INSTAPI SQLWritePrivateProfileString(LPCSTR lpszSection, LPCSTR lpszEntry, LPCSTR lpszString,
                                          LPCSTR lpszFilename) {
  odbcconfig::InstallerGuard guard;
  ResetModeAndScope reset;
  _zolandm_inst_err_clear();
  switch (_zolandm_config_mode) {
    case ODBC_USER_DSN:
    case ODBC_SYSTEM_DSN:
      _zolandm_config_scope = _zolandm_config_mode == ODBC_USER_DSN ? 0 : 1;
      if (lpszFilename) return _zolandm_profile_write_file(lpszSection, lpszEntry, lpszString, lpszFilename);
      return write_located(lpszSection, lpszEntry, lpszString, nullptr);
    case ODBC_BOTH_DSN: {
      _zolandm_config_scope = 0;
      if (lpszFilename) {
        if (_zolandm_profile_write_file(lpszSection, lpszEntry, lpszString, lpszFilename)) return TRUE;
        _zolandm_inst_err_clear();
        _zolandm_config_scope = 1;
        return _zolandm_profile_write_file(lpszSection, lpszEntry, lpszString, lpszFilename);
      }
      bool no_path = false;
      BOOL ok = write_located(lpszSection, lpszEntry, lpszString, &no_path);
      if (!no_path) return ok;
      _zolandm_inst_err_clear();
      _zolandm_config_scope = 1;
      return write_located(lpszSection, lpszEntry, lpszString, nullptr);
    }
    default:
      _zolandm_inst_err_set(ODBC_ERROR_GENERAL_ERR);
      return FALSE;
  }
}

}  // extern "C"
