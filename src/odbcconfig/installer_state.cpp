// Process-wide state of the installer functions: configuration mode, scope,
// error stack, and the recursive mutex that guards them.
#include "odbcconfig/installer.h"
#include "odbcconfig/config_internal.h"

#include <mutex>

extern "C" {

unsigned short _zolandm_config_mode = ODBC_BOTH_DSN;
unsigned short _zolandm_config_scope = 0;
short _zolandm_inst_err_index = -1;
int _zolandm_inst_err_codes[ZOLANDM_INST_ERR_MAX];
char* _zolandm_inst_err_msgs[ZOLANDM_INST_ERR_MAX];

}  // extern "C"

namespace {

// Recursive: SQLReadFileDSN reads odbcinst.ini through
// SQLGetPrivateProfileString while it holds the lock.
std::recursive_mutex& installer_mutex() {
  static std::recursive_mutex mutex;
  return mutex;
}

}  // namespace

extern "C" {

void _zolandm_installer_lock(void) { installer_mutex().lock(); }
void _zolandm_installer_unlock(void) { installer_mutex().unlock(); }

void _zolandm_inst_err_clear(void) { _zolandm_inst_err_index = -1; }

void _zolandm_inst_err_set(int code) {
  _zolandm_inst_err_index = 0;
  _zolandm_inst_err_codes[0] = code;
  _zolandm_inst_err_msgs[0] = nullptr;
}

void _zolandm_inst_err_push(int code) {
  if (_zolandm_inst_err_index >= ZOLANDM_INST_ERR_MAX - 1) return;
  ++_zolandm_inst_err_index;
  _zolandm_inst_err_codes[_zolandm_inst_err_index] = code;
  _zolandm_inst_err_msgs[_zolandm_inst_err_index] = nullptr;
}

BOOL INSTAPI SQLGetConfigMode(UWORD* pwConfigMode) {
  std::lock_guard<std::recursive_mutex> guard(installer_mutex());
  _zolandm_inst_err_clear();
  if (!pwConfigMode) {
    _zolandm_inst_err_set(ODBC_ERROR_OUT_OF_MEM);
    return FALSE;
  }
  *pwConfigMode = _zolandm_config_mode;
  return TRUE;
}

BOOL INSTAPI SQLSetConfigMode(UWORD wConfigMode) {
  std::lock_guard<std::recursive_mutex> guard(installer_mutex());
  _zolandm_inst_err_clear();
  if (wConfigMode > ODBC_SYSTEM_DSN) {
    _zolandm_inst_err_set(ODBC_ERROR_INVALID_PARAM_SEQUENCE);
    return FALSE;
  }
  _zolandm_config_mode = wConfigMode;
  _zolandm_config_scope = 0;
  return TRUE;
}

}  // extern "C"

namespace odbcconfig {

InstallerGuard::InstallerGuard() { installer_mutex().lock(); }
InstallerGuard::~InstallerGuard() { installer_mutex().unlock(); }

}  // namespace odbcconfig
