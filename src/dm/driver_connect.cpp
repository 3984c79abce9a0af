// SQLDriverConnect: a connection string, optionally completed from a file data source or by
// the dialog library, resolved to a driver and handed to it; optionally saved as a file data
// source afterwards.

#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "dm/connect_util.h"
#include "dm/dm_internal.h"
#include "odbcconfig/config.h"
#include "odbcconfig/conversions.h"
#include "odbcconfig/installer.h"
#include "odbcinst.h"
#include "sqlext.h"
#include "sqlucode.h"
#include "dm/trace_hook.h"

namespace {

using DriverConnectFn = SQLRETURN (*)(SQLHDBC, SQLHWND, void*, SQLSMALLINT, void*, SQLSMALLINT, SQLSMALLINT*,
                                      SQLUSMALLINT);
using DialogFn = int (*)(SQLHWND, void*, int, int*, SQLUSMALLINT, SQLUSMALLINT*);

constexpr int kConnStrMax = 8192;     // built strings, internal output buffer, narrow prompt
constexpr int kWidePromptMax = 2048;  // wide prompt, in characters
constexpr size_t kMaxDsnLength = 32;

struct cfg_deleter {
  void operator()(zolandm_config* cfg) const { _zolandm_cfg_free(cfg); }
};
using cfg_ptr = std::unique_ptr<zolandm_config, cfg_deleter>;

bool loaded(const zolandm_config* cfg) { return cfg != nullptr && (cfg->flags & 0x8000) != 0; }

// A text in one width, owned: narrow bytes or wide characters, NUL-terminated.
struct text_buf {
  std::vector<char> narrow;
  std::vector<SQLWCHAR> wide;
  char width = 'A';
  void* data() { return width == 'W' ? static_cast<void*>(wide.data()) : static_cast<void*>(narrow.data()); }
};

size_t text_length(const void* text, char width) {
  return width == 'W' ? std::wcslen(static_cast<const SQLWCHAR*>(text))
                      : std::strlen(static_cast<const char*>(text));
}

// Length of what the caller's output buffer holds, never looking past its max units (a buffer
// of size 0 was not written at all).
size_t out_length(const void* out, char width, int max) {
  size_t n = 0;
  if (width == 'W') {
    const auto* w = static_cast<const SQLWCHAR*>(out);
    while (n < static_cast<size_t>(max > 0 ? max : 0) && w[n] != 0) ++n;
  } else {
    n = strnlen(static_cast<const char*>(out), static_cast<size_t>(max > 0 ? max : 0));
  }
  return n;
}

// Appends a narrow ASCII text to a string of the caller's width, bounded by max units.
void append_out(void* out, char width, int max, const char* text) {
  if (out == nullptr || max <= 0) return;
  if (width == 'A') {
    _zolandm_append_bounded(static_cast<char*>(out), text, max);
    return;
  }
  auto* w = static_cast<SQLWCHAR*>(out);
  size_t len = 0;
  while (len < static_cast<size_t>(max) && w[len] != 0) ++len;
  if (len >= static_cast<size_t>(max)) return;
  SQLWCHAR* add = _zolandm_utf8_to_ucs4_dup(text, SQL_NTS);
  if (add == nullptr) return;
  for (size_t i = 0; add[i] != 0 && len + 1 < static_cast<size_t>(max); ++i) w[len++] = add[i];
  w[len] = 0;
  std::free(add);
}

// Builds the connection string from a file data source (the FILEDSN key came first).
// Returns 0, or the SQLSTATE code of the failure.
int build_from_file_dsn(zolandm_config* cfg, const std::string& file, char width, text_buf& built) {
  char file_driver[1024] = "";
  WORD got = 0;
  SQLReadFileDSN(file.c_str(), "ODBC", "DRIVER", file_driver, sizeof file_driver, &got);
  std::string cs_driver = _zolandm_connstr_value(cfg, "DRIVER");
  bool fill =
      file_driver[0] == '\0' || (!cs_driver.empty() && strcasecmp(cs_driver.c_str(), file_driver) == 0);

  char keys[1024] = "";
  if (!SQLReadFileDSN(file.c_str(), "ODBC", nullptr, keys, sizeof keys, &got)) return ZOLANDM_E_IM015;
  _zolandm_cfg_set(cfg, "ODBC", "DSN", nullptr);

  for (char* key = keys; *key != '\0';) {
    char* end = std::strchr(key, ';');
    if (end != nullptr) *end = '\0';
    if (*key != '\0') {
      bool have = _zolandm_cfg_find(cfg, "ODBC", key) == 0;
      bool take = fill ? !have : (strcasecmp(key, "DRIVER") != 0 || !have);
      if (take) {
        char value[1024] = "";
        if (!SQLReadFileDSN(file.c_str(), "ODBC", key, value, sizeof value, &got)) return ZOLANDM_E_IM015;
        if (_zolandm_cfg_set(cfg, "ODBC", key, value) != 0) return ZOLANDM_E_IM015;
      }
    }
    if (end == nullptr) break;
    key = end + 1;
  }

  _zolandm_cfg_set(cfg, "ODBC", "FILEDSN", nullptr);
  char driver[1024];
  _zolandm_copy_bounded(driver, _zolandm_connstr_value(cfg, "DRIVER").c_str(), sizeof driver);
  _zolandm_cfg_set(cfg, "ODBC", "DRIVER", nullptr);

  char section[kConnStrMax];
  if (_zolandm_cfg_section_to_connstr(cfg, "ODBC", section, sizeof section) != 0) return ZOLANDM_E_IM015;
  char text[kConnStrMax] = "";
  if (_zolandm_append_bounded(text, "DRIVER=", sizeof text) >= static_cast<int>(sizeof text) ||
      _zolandm_append_bounded(text, driver, sizeof text) >= static_cast<int>(sizeof text) ||
      _zolandm_append_bounded(text, ";", sizeof text) >= static_cast<int>(sizeof text) ||
      _zolandm_append_bounded(text, section, sizeof text) >= static_cast<int>(sizeof text)) {
    return ZOLANDM_E_IM015;
  }
  built.width = width;
  if (width == 'W') {
    SQLWCHAR* wide = _zolandm_utf8_to_ucs4_dup(text, SQL_NTS);
    if (wide == nullptr) return ZOLANDM_E_IM015;
    size_t n = std::wcslen(wide);
    bool fits = n < static_cast<size_t>(kWidePromptMax);
    if (fits) built.wide.assign(wide, wide + n + 1);
    std::free(wide);
    if (!fits) return ZOLANDM_E_IM015;
  } else {
    built.narrow.assign(text, text + std::strlen(text) + 1);
  }
  if (driver[0] != '\0') _zolandm_cfg_set(cfg, "ODBC", "DRIVER", driver);
  return 0;
}

// Writes the driver's output keys into the file data source. Returns 0 or 1 (with "01S08").
SQLRETURN save_file_dsn(zolandm_dbc* dbc, const std::string& file, const text_buf& drv_out) {
  zolandm_config* raw = nullptr;
  const void* text = drv_out.width == 'W' ? static_cast<const void*>(drv_out.wide.data())
                                          : static_cast<const void*>(drv_out.narrow.data());
  if (_zolandm_cfg_new_from_connstr(&raw, text, SQL_NTS, drv_out.width == 'W') != 0 || !loaded(raw)) {
    _zolandm_cfg_free(raw);
    _zolandm_diag_add(dbc, ZOLANDM_E_01S08);
    return ZOLANDM_OK_INFO;
  }
  cfg_ptr cfg(raw);
  for (const char* key : {"PWD", "FILEDSN", "SAVEFILE", "DSN"})
    _zolandm_cfg_set(cfg.get(), "ODBC", key, nullptr);
  SQLWriteFileDSN(file.c_str(), "ODBC", "DSN", nullptr);
  if (_zolandm_cfg_find(cfg.get(), "ODBC", nullptr) != 0) return ZOLANDM_OK;
  while (_zolandm_cfg_next_entry(cfg.get()) == 0) {
    if ((cfg->flags & 0x000F) == 1) break;  // the next section
    if ((cfg->flags & 0x000F) != 2 || cfg->id == nullptr) continue;
    if (!SQLWriteFileDSN(file.c_str(), "ODBC", cfg->id, cfg->value)) {
      _zolandm_diag_add(dbc, ZOLANDM_E_01S08);
      return ZOLANDM_OK_INFO;
    }
  }
  return ZOLANDM_OK;
}

}  // namespace

namespace {

// The driver connect up to its failure exit; *consulted_pool tells whether the pool was asked.
SQLRETURN driver_connect(zolandm_dbc* dbc, SQLHWND hwnd, const void* in, SQLSMALLINT in_len, void* out,
                         SQLSMALLINT out_max, SQLSMALLINT* out_len, SQLUSMALLINT completion, char width,
                         bool* consulted_pool) {
  if ((in_len < 0 && in_len != SQL_NTS) || (out_max < 0 && out_max != SQL_NTS)) {
    return _zolandm_fail(dbc, ZOLANDM_E_S1090);
  }
  if (dbc->state != ZOLANDM_DBC_ALLOCATED) return _zolandm_fail(dbc, ZOLANDM_E_08002);
  if (out_max < 0) out_max = 0;

  UWORD config_mode = ODBC_BOTH_DSN;
  SQLGetConfigMode(&config_mode);

  zolandm_config* raw = nullptr;
  if (_zolandm_cfg_new_from_connstr(&raw, in, in_len, width == 'W') != 0 || !loaded(raw)) {
    _zolandm_cfg_free(raw);
    return _zolandm_fail(dbc, ZOLANDM_E_HY001);
  }
  cfg_ptr cfg(raw);

  std::string savefile;
  bool have_savefile = _zolandm_cfg_find(cfg.get(), "ODBC", "SAVEFILE") == 0;
  if (have_savefile) {
    savefile = cfg->value != nullptr ? cfg->value : "";
  } else if (dbc->env->pooling != 0) {
    if (completion != SQL_DRIVER_NOPROMPT) return _zolandm_fail(dbc, ZOLANDM_E_HY110);
    std::string match;
    if (width == 'W') {
      char* utf8 = _zolandm_ucs4_to_utf8_dup(static_cast<const SQLWCHAR*>(in), in_len);
      if (utf8 == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_HY001);
      match = utf8;
      std::free(utf8);
    } else if (in != nullptr) {
      match = in_len == SQL_NTS ? std::string(static_cast<const char*>(in))
                                : std::string(static_cast<const char*>(in), in_len);
    }
    int found = _zolandm_pool_find_conn(dbc, nullptr, nullptr, nullptr, match.c_str());
    *consulted_pool = true;
    if (found == 0 || found == 1) {
      if (out != nullptr) _zolandm_convert_out(in, width, out, width, out_max);
      if (out != nullptr && out_len != nullptr)
        *out_len = static_cast<SQLSMALLINT>(out_length(out, width, out_max));
      dbc->state = ZOLANDM_DBC_CONNECTED;
      return static_cast<SQLRETURN>(found);
    }
    if (dbc->pool_entry == nullptr) {
      // Kept for matching when the connection goes back to the pool.
      if (!_zolandm_replace_owned(&dbc->conn_string, match.c_str()))
        return _zolandm_fail(dbc, ZOLANDM_E_HY001);
    } else if (dbc->pool_entry->cp_retry_until != 0) {
      return _zolandm_fail(dbc, ZOLANDM_E_08004);
    }
  }

  // The connection string handed on: the caller's, or one built from a file data source or
  // returned by the dialog.
  const void* connstr = in;
  SQLSMALLINT connstr_len = in_len;
  text_buf built;

  std::string filedsn;
  if (_zolandm_cfg_rewind(cfg.get()) == 0) {
    while (_zolandm_cfg_next_entry(cfg.get()) == 0) {
      if ((cfg->flags & 0x000F) != 2 || cfg->id == nullptr) continue;
      if (strcasecmp(cfg->id, "DSN") == 0) break;
      if (strcasecmp(cfg->id, "FILEDSN") == 0) {
        filedsn = cfg->value != nullptr ? cfg->value : "";
        int code = build_from_file_dsn(cfg.get(), filedsn, width, built);
        if (code != 0) return _zolandm_fail(dbc, code);
        connstr = built.data();
        connstr_len = in_len == SQL_NTS ? SQL_NTS : static_cast<SQLSMALLINT>(text_length(connstr, width));
        break;
      }
    }
  }

  std::string driver = _zolandm_connstr_value(cfg.get(), "DRIVER").substr(0, 1023);
  std::string dsn = _zolandm_connstr_value(cfg.get(), "DSN");
  // A longer name is refused rather than cut: its first 32 characters may name another
  // data source.
  if (dsn.size() > kMaxDsnLength) return _zolandm_fail(dbc, ZOLANDM_E_IM010);

  bool prompt;
  switch (completion) {
    case SQL_DRIVER_NOPROMPT:
      if (dsn.empty() && driver.empty()) return _zolandm_fail(dbc, ZOLANDM_E_IM007);
      prompt = false;
      break;
    case SQL_DRIVER_COMPLETE:
    case SQL_DRIVER_COMPLETE_REQUIRED:
      prompt = dsn.empty() && driver.empty();
      break;
    case SQL_DRIVER_PROMPT:
      prompt = true;
      break;
    default:
      return _zolandm_fail(dbc, ZOLANDM_E_S1110);
  }

  int dialog_error = 0;
  text_buf prompt_buf;
  if (prompt) {
    prompt_buf.width = width;
    if (width == 'W') {
      prompt_buf.wide.assign(kWidePromptMax, 0);
      _zolandm_convert_out(connstr != nullptr ? connstr : L"", 'W', prompt_buf.wide.data(), 'W',
                           kWidePromptMax);
    } else {
      prompt_buf.narrow.assign(kConnStrMax, 0);
      _zolandm_convert_out(connstr != nullptr ? connstr : "", 'A', prompt_buf.narrow.data(), 'A',
                           kConnStrMax);
    }
    // The library list is guarded by the global lock, so the dialog library is opened with it.
    void* lib = _zolandm_lib_open(ZOLANDM_DIALOG_LIBRARY);
    if (lib != nullptr) {
      void* entry =
          _zolandm_lib_symbol(lib, width == 'W' ? "zolandm_drvconn_dialboxw" : "zolandm_drvconn_dialbox");
      if (entry == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_IM008);
      SQLUSMALLINT mode = config_mode;
      pthread_mutex_unlock(&_zolandm_global_lock);
      int result = reinterpret_cast<DialogFn>(entry)(hwnd, prompt_buf.data(),
                                                     width == 'W' ? kWidePromptMax : kConnStrMax,
                                                     &dialog_error, completion, &mode);
      pthread_mutex_lock(&_zolandm_global_lock);
      if (result == ZOLANDM_NO_DATA) return ZOLANDM_NO_DATA;
      if (result != 0) {
        // Never a success without a connection: whatever the dialog answered, this failed.
        bool known = dialog_error > 0 && dialog_error < ZOLANDM_SQLSTATE_ROWS;
        return _zolandm_fail(dbc, known ? dialog_error : ZOLANDM_E_IM008);
      }
      // Keep the dialog's text terminated whatever it wrote.
      if (width == 'W') {
        prompt_buf.wide.back() = 0;
      } else {
        prompt_buf.narrow.back() = '\0';
      }
      connstr = prompt_buf.data();
      connstr_len = connstr_len == SQL_NTS ? SQL_NTS : static_cast<SQLSMALLINT>(text_length(connstr, width));
      if (_zolandm_cfg_reparse_connstr(cfg.get(), connstr, connstr_len, width == 'W') != 0 ||
          !loaded(cfg.get())) {
        return _zolandm_fail(dbc, ZOLANDM_E_HY001);
      }
      std::string new_driver = _zolandm_connstr_value(cfg.get(), "DRIVER");
      std::string new_dsn = _zolandm_connstr_value(cfg.get(), "DSN");
      if (!new_driver.empty()) driver = new_driver.substr(0, 1023);
      if (!new_dsn.empty()) dsn = new_dsn;
      if (dsn.size() > kMaxDsnLength) return _zolandm_fail(dbc, ZOLANDM_E_IM010);
      completion = SQL_DRIVER_NOPROMPT;
    }
  }
  if (dialog_error != 0) {
    bool known = dialog_error > 0 && dialog_error < ZOLANDM_SQLSTATE_ROWS;
    return _zolandm_fail(dbc, known ? dialog_error : ZOLANDM_E_IM008);
  }

  int attached = _zolandm_attach_named_driver(dbc, dsn, driver, width);
  if (attached == -1) return _zolandm_fail_no_driver(dbc);
  if (attached < 0) return ZOLANDM_ERROR;
  if (have_savefile) dbc->cp_timeout = 0;

  // Strings in the driver's width.
  char driver_width = dbc->driver->unicode ? 'W' : 'A';
  void* drv_in = const_cast<void*>(connstr);
  SQLSMALLINT drv_in_len = connstr_len;
  void* converted_in = nullptr;
  if (width != driver_width && connstr != nullptr) {
    if (driver_width == 'W') {
      converted_in = _zolandm_mbs_to_wcs_dup(static_cast<const char*>(connstr), connstr_len);
    } else {
      converted_in = _zolandm_wcs_to_mbs_dup(static_cast<const SQLWCHAR*>(connstr), connstr_len);
    }
    if (converted_in == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_HY001);
    drv_in = converted_in;
    drv_in_len = SQL_NTS;
  }
  std::unique_ptr<void, decltype(&std::free)> in_owner(converted_in, &std::free);

  // The driver's output buffer: the caller's, or ours when the widths differ or the caller
  // gives none (its output is still needed to save a file data source).
  text_buf drv_out_buf;
  void* drv_out = out;
  SQLSMALLINT drv_out_max = out_max;
  if (out == nullptr || width != driver_width) {
    drv_out_buf.width = driver_width;
    drv_out_max = out == nullptr ? kConnStrMax : out_max;
    if (driver_width == 'W') {
      drv_out_buf.wide.assign(static_cast<size_t>(drv_out_max) + 1, 0);
    } else {
      drv_out_buf.narrow.assign(static_cast<size_t>(drv_out_max) + 1, '\0');
    }
    drv_out = drv_out_buf.data();
  }

  void* f = _zolandm_driver_entry_width(dbc, ZOLANDM_FN_SQLDriverConnect, ZOLANDM_FN_SQLDriverConnectW,
                                        ZOLANDM_FN_SQLDriverConnectA);
  SQLSetConfigMode(config_mode);
  if (f == nullptr) {
    _zolandm_driver_release(dbc, 3);
    return _zolandm_fail(dbc, ZOLANDM_E_IM001);
  }
  SQLSMALLINT driver_len = 0;
  pthread_mutex_unlock(&_zolandm_global_lock);
  SQLRETURN rc = _zolandm_call<DriverConnectFn>(dbc->driver, &dbc->last_rc, f, dbc->drv_dbc, hwnd, drv_in,
                                                drv_in_len, drv_out, drv_out_max, &driver_len, completion);
  pthread_mutex_lock(&_zolandm_global_lock);
  if (!zolandm_succeeded(rc)) return rc;

  // A copy of the driver's output, in its width, for the file data source.
  text_buf saved_out;
  if (have_savefile) {
    saved_out.width = driver_width;
    if (driver_width == 'W') {
      const auto* w = static_cast<const SQLWCHAR*>(drv_out);
      size_t n = 0;
      while (n < static_cast<size_t>(drv_out_max) && w[n] != 0) ++n;
      saved_out.wide.assign(w, w + n);
      saved_out.wide.push_back(0);
    } else {
      const auto* c = static_cast<const char*>(drv_out);
      saved_out.narrow.assign(c, c + strnlen(c, drv_out_max));
      saved_out.narrow.push_back('\0');
    }
  }

  if (out != nullptr) {
    bool rewritten = false;
    if (drv_out != out) {
      _zolandm_convert_out(drv_out, driver_width, out, width, out_max);
      rewritten = true;
    }
    if (!filedsn.empty()) {
      append_out(out, width, out_max, ";FILEDSN=");
      append_out(out, width, out_max, filedsn.c_str());
      rewritten = true;
    }
    if (have_savefile) {
      append_out(out, width, out_max, ";SAVEFILE=");
      append_out(out, width, out_max, savefile.c_str());
      rewritten = true;
    }
    // Lengths count bytes for a narrow call and characters for a wide one.
    if (out_len != nullptr) {
      *out_len = rewritten ? static_cast<SQLSMALLINT>(out_length(out, width, out_max)) : driver_len;
    }
  } else if (out_len != nullptr) {
    *out_len = driver_len;
  }

  dbc->state = ZOLANDM_DBC_CONNECTED;
  if (_zolandm_conn_options_replay(dbc, width) != 0 || attached == 1) rc = ZOLANDM_OK_INFO;
  if (have_savefile && save_file_dsn(dbc, savefile, saved_out) != ZOLANDM_OK) rc = ZOLANDM_OK_INFO;
  return rc;
}

}  // namespace

SQLRETURN SQLDriverConnect_Internal(zolandm_dbc* dbc, SQLHWND hwnd, const void* in, SQLSMALLINT in_len,
                                    void* out, SQLSMALLINT out_max, SQLSMALLINT* out_len,
                                    SQLUSMALLINT completion, char width) {
  odbcconfig::LookupSequence lookups;  // the keys of one connect: each file checked once
  bool consulted_pool = false;
  SQLRETURN rc =
      driver_connect(dbc, hwnd, in, in_len, out, out_max, out_len, completion, width, &consulted_pool);
  return zolandm_succeeded(rc) ? rc : _zolandm_connect_failure_exit(dbc, consulted_pool, rc);
}

static SQLRETURN entry_SQLDriverConnect(SQLHDBC hdbc, SQLHWND hwnd, SQLCHAR* in, SQLSMALLINT in_len,
                                        SQLCHAR* out, SQLSMALLINT out_max, SQLSMALLINT* out_len,
                                        SQLUSMALLINT completion) {
  zolandm_entry entry(hdbc, ZOLANDM_DBC);
  if (!entry.ok()) return entry.rc();
  return SQLDriverConnect_Internal(static_cast<zolandm_dbc*>(hdbc), hwnd, in, in_len, out, out_max, out_len,
                                   completion, 'A');
}
extern "C" SQLRETURN SQL_API SQLDriverConnect(SQLHDBC hdbc, SQLHWND hwnd, SQLCHAR* in, SQLSMALLINT in_len,
                                              SQLCHAR* out, SQLSMALLINT out_max, SQLSMALLINT* out_len,
                                              SQLUSMALLINT completion) {
  return _zolandm_traced(entry_SQLDriverConnect, trace_SQLDriverConnect, hdbc, hwnd, in, in_len, out, out_max,
                         out_len, completion);
}

extern "C" SQLRETURN SQL_API SQLDriverConnectA(SQLHDBC hdbc, SQLHWND hwnd, SQLCHAR* in, SQLSMALLINT in_len,
                                               SQLCHAR* out, SQLSMALLINT out_max, SQLSMALLINT* out_len,
                                               SQLUSMALLINT completion) {
  return SQLDriverConnect(hdbc, hwnd, in, in_len, out, out_max, out_len, completion);
}

static SQLRETURN entry_SQLDriverConnectW(SQLHDBC hdbc, SQLHWND hwnd, SQLWCHAR* in, SQLSMALLINT in_len,
                                         SQLWCHAR* out, SQLSMALLINT out_max, SQLSMALLINT* out_len,
                                         SQLUSMALLINT completion) {
  zolandm_entry entry(hdbc, ZOLANDM_DBC);
  if (!entry.ok()) return entry.rc();
  return SQLDriverConnect_Internal(static_cast<zolandm_dbc*>(hdbc), hwnd, in, in_len, out, out_max, out_len,
                                   completion, 'W');
}
extern "C" SQLRETURN SQL_API SQLDriverConnectW(SQLHDBC hdbc, SQLHWND hwnd, SQLWCHAR* in, SQLSMALLINT in_len,
                                               SQLWCHAR* out, SQLSMALLINT out_max, SQLSMALLINT* out_len,
                                               SQLUSMALLINT completion) {
  return _zolandm_traced(entry_SQLDriverConnectW, trace_SQLDriverConnectW, hdbc, hwnd, in, in_len, out,
                         out_max, out_len, completion);
}
