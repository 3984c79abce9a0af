// Helpers shared by the connect functions.

#include "dm/connect_util.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "dm/dm_internal.h"
#include "odbcconfig/config.h"
#include "odbcconfig/conversions.h"
#include "odbcinst.h"

void _zolandm_profile_read(const char* section, const char* key, char* buf, int size) {
  buf[0] = '\0';
  SQLSetConfigMode(ODBC_BOTH_DSN);
  SQLGetPrivateProfileString(section, key, "", buf, size, "odbc.ini");
}

bool _zolandm_is_on(const char* value) {
  return strcasecmp(value, "on") == 0 || strcasecmp(value, "yes") == 0 || std::strcmp(value, "1") == 0;
}

int _zolandm_is_on_or_1(const char* value) {
  return strcasecmp(value, "on") == 0 || std::strcmp(value, "1") == 0 ? 1 : 0;
}

int _zolandm_thread_safe(const char* thread_manager) { return _zolandm_is_on_or_1(thread_manager) ? 0 : 1; }

SQLRETURN _zolandm_fail_no_driver(zolandm_dbc* dbc) {
  int err = _zolandm_ini_open_errno();
  if (err == 0) return _zolandm_fail(dbc, ZOLANDM_E_IM002);
  std::string text = std::string("The ODBC configuration files could not be read: ") + std::strerror(err);
  _zolandm_diag_add(dbc, ZOLANDM_E_08001, text.c_str());
  return ZOLANDM_ERROR;
}

std::string _zolandm_connstr_value(zolandm_config* cfg, const char* key) {
  if (cfg == nullptr || _zolandm_cfg_find(cfg, "ODBC", key) != 0 || cfg->value == nullptr) return {};
  return cfg->value;
}

void _zolandm_convert_out(const void* src, char src_width, void* dst, char dst_width, int dst_max) {
  if (src == nullptr || dst == nullptr || dst_max <= 0) return;
  SQLSMALLINT size = static_cast<SQLSMALLINT>(dst_max > 32767 ? 32767 : dst_max);
  if (src_width == dst_width) {
    if (dst_width == 'W') {
      const auto* s = static_cast<const SQLWCHAR*>(src);
      auto* d = static_cast<SQLWCHAR*>(dst);
      int i = 0;
      for (; i < dst_max - 1 && s[i] != 0; ++i) d[i] = s[i];
      d[i] = 0;
    } else {
      std::snprintf(static_cast<char*>(dst), static_cast<size_t>(dst_max), "%s",
                    static_cast<const char*>(src));
    }
  } else if (dst_width == 'W') {
    _zolandm_mbs_to_wcs_buf(static_cast<const char*>(src), static_cast<SQLWCHAR*>(dst), size, nullptr);
  } else {
    _zolandm_wcs_to_mbs_buf(static_cast<const SQLWCHAR*>(src), static_cast<char*>(dst), size, nullptr);
  }
}

bool _zolandm_replace_owned(char** field, const char* text) {
  char* copy = nullptr;
  if (text != nullptr && (copy = _zolandm_strdup(text)) == nullptr) return false;
  std::free(*field);
  *field = copy;
  return true;
}

SQLRETURN _zolandm_connect_failure_exit(zolandm_dbc* dbc, bool consulted_pool, SQLRETURN rc) {
  if (!consulted_pool || dbc->pool_entry == nullptr) return rc;
  char wait[1024] = "";
  SQLSetConfigMode(ODBC_BOTH_DSN);
  SQLGetPrivateProfileString("ODBC Connection Pooling", "Retry Wait", "", wait, sizeof wait, "odbcinst.ini");
  long seconds = wait[0] != '\0' ? std::strtol(wait, nullptr, 10) : 0;
  dbc->cp_retry_until = _zolandm_now() + seconds;
  _zolandm_pool_return_conn(dbc);
  return rc;
}

int _zolandm_attach_named_driver(zolandm_dbc* dbc, const std::string& dsn, const std::string& driver,
                                 char width) {
  std::string section = dsn;
  if (section.empty())
    section = "default";
  else
    _zolandm_dsn_trace_setup(section.c_str());
  char thread_manager[1024];
  char unload_safe[1024];
  _zolandm_profile_read(section.c_str(), "ThreadManager", thread_manager, sizeof thread_manager);
  _zolandm_profile_read(section.c_str(), "UnloadSafe", unload_safe, sizeof unload_safe);
  std::string name = driver;
  if (name.empty()) {
    char buf[1024];
    _zolandm_profile_read(section.c_str(), "Driver", buf, sizeof buf);
    name = buf;
  }
  if (name.empty()) return -1;
  int attached =
      _zolandm_driver_attach(section.c_str(), name.c_str(), dbc, _zolandm_thread_safe(thread_manager),
                             _zolandm_is_on_or_1(unload_safe), width);
  return attached == 0 || attached == 1 ? attached : -2;
}
