// Information functions: the data-source and driver lists read from the initialisation
// files, SQLGetFunctions and SQLGetInfo (with the answers the manager gives itself).

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "dm/stmt_internal.h"
#include "odbcconfig/conversions.h"
#include "odbcinst.h"
#include "sqlext.h"
#include "sqlucode.h"
#include "dm/trace_hook.h"

namespace {

using GetFunctionsFn = SQLRETURN (*)(SQLHDBC, SQLUSMALLINT, SQLUSMALLINT*);
using GetInfoFn = SQLRETURN (*)(SQLHDBC, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT*);

constexpr int kMaxPairs = 512;

// One of the two process-wide lists (guarded by the global lock).
struct name_list {
  std::vector<std::pair<std::string, std::string>> pairs;
  int cursor = -1;
};

}  // namespace

// The lists are shared by all environments.
name_list _zolandm_datasources_list;
name_list _zolandm_drivers_list;

// Character by character after toupper; a prefix sorts first.
int _zolandm_name_casecmp(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    int x = std::toupper(static_cast<unsigned char>(a[i]));
    int y = std::toupper(static_cast<unsigned char>(b[i]));
    if (x != y) return x - y;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

namespace {

bool equals_nocase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (std::toupper(static_cast<unsigned char>(*a)) != std::toupper(static_cast<unsigned char>(*b)))
      return false;
  }
  return *a == *b;
}

// Reads one source (the user's or the system's file) into the list.
void read_source(name_list& list, bool drivers, UWORD mode, bool skip_user_names, size_t user_count) {
  const char* file = drivers ? "odbcinst.ini" : "odbc.ini";
  const char* section = drivers ? "ODBC Drivers" : "ODBC Data Sources";
  std::vector<char> keys(4096, '\0');
  SQLSetConfigMode(mode);
  SQLGetPrivateProfileString(section, nullptr, "", keys.data(), static_cast<int>(keys.size()), file);
  for (const char* k = keys.data(); *k != '\0' && k < keys.data() + keys.size(); k += std::strlen(k) + 1) {
    if (skip_user_names) {
      bool dup = false;
      for (size_t i = 0; i < user_count && !dup; ++i) dup = list.pairs[i].first == k;
      if (dup) continue;
    }
    if (list.pairs.size() >= kMaxPairs) break;
    char value[1024] = {0};
    SQLSetConfigMode(mode);
    SQLGetPrivateProfileString(section, k, "", value, static_cast<int>(sizeof value), file);
    if (drivers && !equals_nocase(value, "Installed")) continue;
    list.pairs.emplace_back(k, value);
  }
}

void copy_out(const std::string& text, SQLCHAR* buf, SQLSMALLINT size, SQLSMALLINT* len) {
  size_t n = 0;
  if (buf != nullptr && size > 0) {
    n = std::min(text.size(), static_cast<size_t>(size) - 1);
    std::memcpy(buf, text.data(), n);
    buf[n] = '\0';
  }
  if (len != nullptr) *len = static_cast<SQLSMALLINT>(n);
}

SQLRETURN list_worker(zolandm_env* env, name_list& list, bool drivers, SQLUSMALLINT direction, SQLCHAR* name,
                      SQLSMALLINT name_max, SQLSMALLINT* name_len, SQLCHAR* desc, SQLSMALLINT desc_max,
                      SQLSMALLINT* desc_len) {
  if (name_max < 0 || desc_max < 0) return _zolandm_fail(env, ZOLANDM_E_S1090);
  bool ok_dir = direction == SQL_FETCH_NEXT || direction == SQL_FETCH_FIRST ||
                (!drivers && (direction == SQL_FETCH_FIRST_USER || direction == SQL_FETCH_FIRST_SYSTEM));
  if (!ok_dir) return _zolandm_fail(env, ZOLANDM_E_S1103);
  if (list.cursor == -1 || direction != SQL_FETCH_NEXT) {
    list.pairs.clear();
    list.cursor = 0;
    bool user = direction != SQL_FETCH_FIRST_SYSTEM;
    bool system = direction == SQL_FETCH_FIRST || direction == SQL_FETCH_FIRST_SYSTEM;
    if (user) read_source(list, drivers, ODBC_USER_DSN, false, 0);
    size_t user_count = list.pairs.size();
    if (system) read_source(list, drivers, ODBC_SYSTEM_DSN, direction == SQL_FETCH_FIRST, user_count);
    if (list.pairs.size() > 1) {
      std::stable_sort(list.pairs.begin(), list.pairs.end(), [](const auto& a, const auto& b) {
        return _zolandm_name_casecmp(a.first, b.first) < 0;
      });
    }
  }
  if (list.cursor >= static_cast<int>(list.pairs.size())) {
    list.cursor = 0;
    return ZOLANDM_NO_DATA;
  }
  const auto& p = list.pairs[static_cast<size_t>(list.cursor++)];
  copy_out(p.first, name, name_max, name_len);
  copy_out(p.second, desc, desc_max, desc_len);
  return ZOLANDM_OK;
}

using ListWorker = SQLRETURN (*)(zolandm_env*, SQLUSMALLINT, SQLCHAR*, SQLSMALLINT, SQLSMALLINT*, SQLCHAR*,
                                 SQLSMALLINT, SQLSMALLINT*);

SQLRETURN datasources_worker(zolandm_env* env, SQLUSMALLINT dir, SQLCHAR* n, SQLSMALLINT nm, SQLSMALLINT* nl,
                             SQLCHAR* d, SQLSMALLINT dm, SQLSMALLINT* dl) {
  return list_worker(env, _zolandm_datasources_list, false, dir, n, nm, nl, d, dm, dl);
}

SQLRETURN drivers_worker(zolandm_env* env, SQLUSMALLINT dir, SQLCHAR* n, SQLSMALLINT nm, SQLSMALLINT* nl,
                         SQLCHAR* d, SQLSMALLINT dm, SQLSMALLINT* dl) {
  return list_worker(env, _zolandm_drivers_list, true, dir, n, nm, nl, d, dm, dl);
}

SQLRETURN list_narrow(SQLHENV henv, ListWorker worker, SQLUSMALLINT dir, SQLCHAR* n, SQLSMALLINT nm,
                      SQLSMALLINT* nl, SQLCHAR* d, SQLSMALLINT dm, SQLSMALLINT* dl) {
  zolandm_entry entry(henv, ZOLANDM_ENV);
  if (!entry.ok()) return entry.rc();
  return worker(static_cast<zolandm_env*>(henv), dir, n, nm, nl, d, dm, dl);
}

// Narrow size for a wide buffer of `chars` characters: four bytes each, kept within 16 bits.
SQLSMALLINT narrow_size(SQLSMALLINT chars) {
  int64_t bytes = int64_t{chars} * 4;
  return static_cast<SQLSMALLINT>(bytes > SHRT_MAX - 1 ? SHRT_MAX - 1 : bytes);
}

SQLRETURN list_wide(SQLHENV henv, ListWorker worker, SQLUSMALLINT dir, SQLWCHAR* n, SQLSMALLINT nm,
                    SQLSMALLINT* nl, SQLWCHAR* d, SQLSMALLINT dm, SQLSMALLINT* dl) {
  zolandm_entry entry(henv, ZOLANDM_ENV);
  if (!entry.ok()) return entry.rc();
  auto* env = static_cast<zolandm_env*>(henv);
  SQLSMALLINT nsize = nm > 0 ? narrow_size(nm) : nm;
  SQLSMALLINT dsize = dm > 0 ? narrow_size(dm) : dm;
  char* nbuf = nullptr;
  char* dbuf = nullptr;
  if (nm > 0 && (nbuf = static_cast<char*>(std::calloc(1, static_cast<size_t>(nsize) + 2))) == nullptr) {
    return _zolandm_fail(env, ZOLANDM_E_S1001);
  }
  if (dm > 0 && (dbuf = static_cast<char*>(std::calloc(1, static_cast<size_t>(dsize) + 2))) == nullptr) {
    std::free(nbuf);
    return _zolandm_fail(env, ZOLANDM_E_S1001);
  }
  SQLRETURN rc = worker(env, dir, reinterpret_cast<SQLCHAR*>(nbuf), nsize, nullptr,
                        reinterpret_cast<SQLCHAR*>(dbuf), dsize, nullptr);
  if (zolandm_succeeded(rc)) {
    SQLSMALLINT count = 0;
    if (nbuf != nullptr && n != nullptr) {
      _zolandm_utf8_to_ucs4_buf(nbuf, n, static_cast<size_t>(nm), &count);
      if (nl != nullptr) *nl = std::min<SQLSMALLINT>(count, static_cast<SQLSMALLINT>(nm - 1));
    } else if (nl != nullptr) {
      *nl = 0;
    }
    count = 0;
    if (dbuf != nullptr && d != nullptr) {
      _zolandm_utf8_to_ucs4_buf(dbuf, d, static_cast<size_t>(dm), &count);
      if (dl != nullptr) *dl = std::min<SQLSMALLINT>(count, static_cast<SQLSMALLINT>(dm - 1));
    } else if (dl != nullptr) {
      *dl = 0;
    }
  }
  std::free(nbuf);
  std::free(dbuf);
  return rc;
}

// ---- SQLGetFunctions ---------------------------------------------------------------------------

}  // namespace

// The SQL_API_ number of each function id (0 for id 0); W and A forms have their plain
// function's number, SQLColAttribute that of SQLColAttributes.
extern "C" const int _zolandm_function_api_ids[ZOLANDM_FN_COUNT];
const int _zolandm_function_api_ids[ZOLANDM_FN_COUNT] = {
    0,    2,    1,    7,    41,   55,   57,   71,   45,   44,   47,   50,   42,   51,   46,   3,
    19,   72,   64,   17,   21,   69,   22,   12,   11,   62,   58,   63,   48,   49,   20,   18,
    8,    6,    4,    13,   59,   43,   68,   61,   10,   56,   40,   60,   65,   66,   67,   52,
    53,   70,   54,   16,   5,    23,   9,    14,   15,   1001, 1002, 24,   1003, 6,    1004, 1005,
    1021, 1006, 1007, 1008, 1009, 1010, 1011, 1012, 1014, 1016, 1017, 1018, 1019, 1020, 7,    41,
    55,   57,   71,   45,   47,   50,   42,   19,   17,   21,   11,   62,   8,    6,    10,   56,
    40,   60,   65,   66,   67,   52,   53,   70,   54,   6,    1007, 1008, 1009, 1010, 1011, 1014,
    1016, 1017, 1020, 51,   46,   7,    41,   55,   57,   71,   45,   47,   50,   42,   19,   17,
    21,   11,   62,   8,    6,    10,   56,   40,   60,   65,   66,   67,   52,   53,   70,   54,
    6,    1007, 1008, 1009, 1010, 1011, 1014, 1016, 1017, 1020,
};

namespace {

SQLRETURN get_functions(zolandm_dbc* dbc, SQLUSMALLINT fn, SQLUSMALLINT* out) {
  if (dbc->state == ZOLANDM_DBC_ALLOCATED || dbc->state == ZOLANDM_DBC_BROWSING || dbc->driver == nullptr)
    return _zolandm_fail(dbc, ZOLANDM_E_S1010);
  if (out == nullptr) return ZOLANDM_OK;
  if (fn == SQL_API_SQLDATASOURCES || fn == SQL_API_SQLDRIVERS || fn == 1012 || fn == 1019) {
    *out = SQL_TRUE;
    return ZOLANDM_OK;
  }
  if (dbc->driver->drv_version == 2) {
    static const int emulated[] = {6, 24, 1001, 1005, 1006, 1007, 1010, 1011, 1014, 1016, 1020, 1021};
    for (int e : emulated) {
      if (fn == e) {
        *out = SQL_TRUE;
        return ZOLANDM_OK;
      }
    }
    if (fn == 1002) fn = SQL_API_SQLBINDPARAMETER;
    if (fn > 72 && fn != 999) {
      *out = SQL_FALSE;
      return ZOLANDM_OK;
    }
  }
  void* f = _zolandm_driver_entry(dbc, ZOLANDM_FN_SQLGetFunctions);
  if (f != nullptr)
    return _zolandm_call<GetFunctionsFn>(dbc->driver, &dbc->last_rc, f, dbc->drv_dbc, fn, out);
  if (fn == SQL_API_SQLSETPARAM) fn = SQL_API_SQLBINDPARAMETER;
  SQLUSMALLINT flags[100] = {0};
  SQLUSMALLINT bitmap[250] = {0};
  for (int id = 1; id < ZOLANDM_FN_COUNT; ++id) {
    if (_zolandm_driver_entry(dbc, id) == nullptr) continue;
    int n = _zolandm_function_api_ids[id];
    if (n <= 0) continue;
    if (n <= 99) flags[n] = 1;
    if (n < 4000) bitmap[n / 16] = static_cast<SQLUSMALLINT>(bitmap[n / 16] | (1u << (n % 16)));
  }
  if (fn == SQL_API_ALL_FUNCTIONS) {
    std::memcpy(out, flags, sizeof flags);
  } else if (fn == SQL_API_ODBC3_ALL_FUNCTIONS) {
    std::memcpy(out, bitmap, sizeof bitmap);
  } else {
    *out = fn < 4000 && (bitmap[fn / 16] & (1u << (fn % 16))) != 0 ? SQL_TRUE : SQL_FALSE;
  }
  return ZOLANDM_OK;
}

// ---- SQLGetInfo -------------------------------------------------------------------------------

bool text_info(SQLUSMALLINT t) {
  static const SQLUSMALLINT types[] = {2,  6,  7,  10, 11, 13,  14,  16,  17,    18,    19,    20,   21,
                                       25, 27, 29, 36, 37, 38,  39,  40,  41,    42,    45,    47,   73,
                                       77, 87, 89, 90, 94, 103, 111, 113, 10000, 10002, 10003, 10004};
  for (SQLUSMALLINT x : types) {
    if (x == t) return true;
  }
  return false;
}

// The manager's own text answers: narrow copy or wide conversion, "01004" when cut.
SQLRETURN own_text(zolandm_dbc* dbc, const char* text, SQLPOINTER buf, SQLSMALLINT len, SQLSMALLINT* out_len,
                   char width) {
  bool cut;
  if (width == 'W') {
    SQLSMALLINT chars = 0;
    SQLSMALLINT cap = static_cast<SQLSMALLINT>(len / 4);
    int r = _zolandm_mbs_to_wcs_buf(text, buf != nullptr && cap > 0 ? static_cast<SQLWCHAR*>(buf) : nullptr,
                                    cap, &chars);
    if (out_len != nullptr) *out_len = static_cast<SQLSMALLINT>(chars * 4);
    cut = r != 0 || (buf != nullptr && static_cast<int>(std::strlen(text)) >= cap);
  } else {
    size_t n = std::strlen(text);
    size_t copied = 0;
    if (buf != nullptr && len > 0) {
      copied = std::min(n, static_cast<size_t>(len) - 1);
      std::memcpy(buf, text, copied);
      static_cast<char*>(buf)[copied] = '\0';
    }
    if (out_len != nullptr) *out_len = static_cast<SQLSMALLINT>(copied);
    cut = n >= static_cast<size_t>(len);
  }
  if (cut) {
    _zolandm_diag_add(dbc, ZOLANDM_E_01004);
    return ZOLANDM_OK_INFO;
  }
  return ZOLANDM_OK;
}

SQLRETURN get_info(zolandm_dbc* dbc, SQLUSMALLINT type, SQLPOINTER buf, SQLSMALLINT len, SQLSMALLINT* out_len,
                   char width) {
  if (len < 0) return _zolandm_fail(dbc, ZOLANDM_E_S1090);
  if (type == SQL_DM_VER) return own_text(dbc, "03.52.1015.0210", buf, len, out_len, width);
  if (type == SQL_ODBC_VER) return own_text(dbc, "03.52.0000", buf, len, out_len, width);
  if (dbc->state == ZOLANDM_DBC_ALLOCATED || dbc->state == ZOLANDM_DBC_BROWSING || dbc->driver == nullptr)
    return _zolandm_fail(dbc, ZOLANDM_E_08003);
  if (type == SQL_DRIVER_HDBC || type == SQL_DRIVER_HENV || type == SQL_DRIVER_HLIB) {
    void* h = type == SQL_DRIVER_HDBC ? dbc->drv_dbc
                                      : (type == SQL_DRIVER_HENV ? dbc->driver->drv_env : dbc->driver->lib);
    if (buf != nullptr) std::memcpy(buf, &h, sizeof h);
    if (out_len != nullptr) *out_len = 8;
    return ZOLANDM_OK;
  }
  if (type == SQL_DRIVER_HSTMT) {
    void* wanted = nullptr;
    if (buf != nullptr) std::memcpy(&wanted, buf, sizeof wanted);
    zolandm_stmt* s = dbc->stmts;
    {
      zolandm_global_guard lock;  // the list changes under the global lock
      while (s != nullptr && (wanted == nullptr || s != wanted)) s = s->next;
    }
    if (s == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_S1009);
    std::memcpy(buf, &s->drv_stmt, sizeof s->drv_stmt);
    if (out_len != nullptr) *out_len = 8;
    return ZOLANDM_OK;
  }
  if (type == SQL_OJ_CAPABILITIES && dbc->driver->drv_version == 2) type = 65003;

  bool unicode = dbc->driver->unicode != 0;
  bool app_wide = width == 'W';
  void* f =
      _zolandm_driver_entry_width(dbc, ZOLANDM_FN_SQLGetInfo, ZOLANDM_FN_SQLGetInfoW, ZOLANDM_FN_SQLGetInfoA);
  if (f == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_IM001);
  void* tmp = nullptr;
  SQLPOINTER drv_buf = buf;
  SQLSMALLINT drv_len = len;
  if (unicode != app_wide && text_info(type) && buf != nullptr) {
    // Zero-filled, with room past what the driver is told.
    size_t bytes = unicode ? static_cast<size_t>(len) * 4 + 8 : static_cast<size_t>(len) + 8;
    tmp = std::calloc(1, bytes);
    if (tmp == nullptr) return _zolandm_fail(dbc, ZOLANDM_E_HY001);
    drv_buf = tmp;
    drv_len = unicode ? static_cast<SQLSMALLINT>(int64_t{len} * 4 > SHRT_MAX ? (SHRT_MAX / 4) * 4 : len * 4)
                      : static_cast<SQLSMALLINT>(len / 4);
  }
  SQLSMALLINT drv_out = 0;
  SQLRETURN rc = _zolandm_call<GetInfoFn>(dbc->driver, &dbc->last_rc, f, dbc->drv_dbc, type, drv_buf, drv_len,
                                          tmp != nullptr ? &drv_out : out_len);
  if (rc == ZOLANDM_ERROR && type == SQL_DRIVER_ODBC_VER) {
    std::free(tmp);
    // Only the manager's own record may say why: the driver's refusal is replaced.
    return own_text(dbc, "01.00", buf, len, out_len, width);
  }
  if (tmp != nullptr && zolandm_succeeded(rc)) {
    int r;
    if (unicode) {
      r = _zolandm_wcs_to_mbs_buf(static_cast<SQLWCHAR*>(tmp), static_cast<char*>(buf), len, out_len);
    } else {
      SQLSMALLINT chars = 0;
      r = _zolandm_mbs_to_wcs_buf(static_cast<char*>(tmp), static_cast<SQLWCHAR*>(buf),
                                  static_cast<SQLSMALLINT>(len / 4), &chars);
      if (out_len != nullptr)
        *out_len = static_cast<SQLSMALLINT>(int64_t{chars} * 4 > SHRT_MAX ? SHRT_MAX : chars * 4);
    }
    if (r != 0 && rc == ZOLANDM_OK) {
      _zolandm_diag_add(dbc, ZOLANDM_E_01004);
      rc = ZOLANDM_OK_INFO;
    }
  }
  std::free(tmp);
  return rc;
}

SQLRETURN get_info_entry(SQLHDBC h, SQLUSMALLINT type, SQLPOINTER buf, SQLSMALLINT len, SQLSMALLINT* out_len,
                         char width) {
  zolandm_entry entry(h, ZOLANDM_DBC);
  if (!entry.ok()) return entry.rc();
  entry.unlock();
  SQLRETURN rc = get_info(static_cast<zolandm_dbc*>(h), type, buf, len, out_len, width);
  entry.relock();
  return rc;
}

}  // namespace

SQLRETURN SQLGetInfo_Internal(zolandm_dbc* dbc, SQLUSMALLINT type, SQLPOINTER buf, SQLSMALLINT len,
                              SQLSMALLINT* out_len, char width) {
  return get_info(dbc, type, buf, len, out_len, width);
}

static SQLRETURN entry_SQLDataSources(SQLHENV h, SQLUSMALLINT dir, SQLCHAR* n, SQLSMALLINT nm,
                                      SQLSMALLINT* nl, SQLCHAR* d, SQLSMALLINT dm, SQLSMALLINT* dl) {
  return list_narrow(h, datasources_worker, dir, n, nm, nl, d, dm, dl);
}
extern "C" SQLRETURN SQL_API SQLDataSources(SQLHENV h, SQLUSMALLINT dir, SQLCHAR* n, SQLSMALLINT nm,
                                            SQLSMALLINT* nl, SQLCHAR* d, SQLSMALLINT dm, SQLSMALLINT* dl) {
  return _zolandm_traced(entry_SQLDataSources, trace_SQLDataSources, h, dir, n, nm, nl, d, dm, dl);
}
static SQLRETURN entry_SQLDataSourcesA(SQLHENV h, SQLUSMALLINT dir, SQLCHAR* n, SQLSMALLINT nm,
                                       SQLSMALLINT* nl, SQLCHAR* d, SQLSMALLINT dm, SQLSMALLINT* dl) {
  return list_narrow(h, datasources_worker, dir, n, nm, nl, d, dm, dl);
}
extern "C" SQLRETURN SQL_API SQLDataSourcesA(SQLHENV h, SQLUSMALLINT dir, SQLCHAR* n, SQLSMALLINT nm,
                                             SQLSMALLINT* nl, SQLCHAR* d, SQLSMALLINT dm, SQLSMALLINT* dl) {
  return _zolandm_traced(entry_SQLDataSourcesA, trace_SQLDataSources, h, dir, n, nm, nl, d, dm, dl);
}
static SQLRETURN entry_SQLDataSourcesW(SQLHENV h, SQLUSMALLINT dir, SQLWCHAR* n, SQLSMALLINT nm,
                                       SQLSMALLINT* nl, SQLWCHAR* d, SQLSMALLINT dm, SQLSMALLINT* dl) {
  return list_wide(h, datasources_worker, dir, n, nm, nl, d, dm, dl);
}
extern "C" SQLRETURN SQL_API SQLDataSourcesW(SQLHENV h, SQLUSMALLINT dir, SQLWCHAR* n, SQLSMALLINT nm,
                                             SQLSMALLINT* nl, SQLWCHAR* d, SQLSMALLINT dm, SQLSMALLINT* dl) {
  return _zolandm_traced(entry_SQLDataSourcesW, trace_SQLDataSourcesW, h, dir, n, nm, nl, d, dm, dl);
}
static SQLRETURN entry_SQLDrivers(SQLHENV h, SQLUSMALLINT dir, SQLCHAR* n, SQLSMALLINT nm, SQLSMALLINT* nl,
                                  SQLCHAR* d, SQLSMALLINT dm, SQLSMALLINT* dl) {
  return list_narrow(h, drivers_worker, dir, n, nm, nl, d, dm, dl);
}
extern "C" SQLRETURN SQL_API SQLDrivers(SQLHENV h, SQLUSMALLINT dir, SQLCHAR* n, SQLSMALLINT nm,
                                        SQLSMALLINT* nl, SQLCHAR* d, SQLSMALLINT dm, SQLSMALLINT* dl) {
  return _zolandm_traced(entry_SQLDrivers, trace_SQLDrivers, h, dir, n, nm, nl, d, dm, dl);
}
static SQLRETURN entry_SQLDriversA(SQLHENV h, SQLUSMALLINT dir, SQLCHAR* n, SQLSMALLINT nm, SQLSMALLINT* nl,
                                   SQLCHAR* d, SQLSMALLINT dm, SQLSMALLINT* dl) {
  return list_narrow(h, drivers_worker, dir, n, nm, nl, d, dm, dl);
}
extern "C" SQLRETURN SQL_API SQLDriversA(SQLHENV h, SQLUSMALLINT dir, SQLCHAR* n, SQLSMALLINT nm,
                                         SQLSMALLINT* nl, SQLCHAR* d, SQLSMALLINT dm, SQLSMALLINT* dl) {
  return _zolandm_traced(entry_SQLDriversA, trace_SQLDrivers, h, dir, n, nm, nl, d, dm, dl);
}
static SQLRETURN entry_SQLDriversW(SQLHENV h, SQLUSMALLINT dir, SQLWCHAR* n, SQLSMALLINT nm, SQLSMALLINT* nl,
                                   SQLWCHAR* d, SQLSMALLINT dm, SQLSMALLINT* dl) {
  return list_wide(h, drivers_worker, dir, n, nm, nl, d, dm, dl);
}
extern "C" SQLRETURN SQL_API SQLDriversW(SQLHENV h, SQLUSMALLINT dir, SQLWCHAR* n, SQLSMALLINT nm,
                                         SQLSMALLINT* nl, SQLWCHAR* d, SQLSMALLINT dm, SQLSMALLINT* dl) {
  return _zolandm_traced(entry_SQLDriversW, trace_SQLDriversW, h, dir, n, nm, nl, d, dm, dl);
}

static SQLRETURN entry_SQLGetFunctions(SQLHDBC h, SQLUSMALLINT fn, SQLUSMALLINT* out) {
  zolandm_entry entry(h, ZOLANDM_DBC);
  if (!entry.ok()) return entry.rc();
  entry.unlock();
  SQLRETURN rc = get_functions(static_cast<zolandm_dbc*>(h), fn, out);
  entry.relock();
  return rc;
}
extern "C" SQLRETURN SQL_API SQLGetFunctions(SQLHDBC h, SQLUSMALLINT fn, SQLUSMALLINT* out) {
  return _zolandm_traced(entry_SQLGetFunctions, trace_SQLGetFunctions, h, fn, out);
}

static SQLRETURN entry_SQLGetInfo(SQLHDBC h, SQLUSMALLINT type, SQLPOINTER buf, SQLSMALLINT len,
                                  SQLSMALLINT* out_len) {
  return get_info_entry(h, type, buf, len, out_len, 'A');
}
extern "C" SQLRETURN SQL_API SQLGetInfo(SQLHDBC h, SQLUSMALLINT type, SQLPOINTER buf, SQLSMALLINT len,
                                        SQLSMALLINT* out_len) {
  return _zolandm_traced(entry_SQLGetInfo, trace_SQLGetInfo, h, type, buf, len, out_len);
}
static SQLRETURN entry_SQLGetInfoA(SQLHDBC h, SQLUSMALLINT type, SQLPOINTER buf, SQLSMALLINT len,
                                   SQLSMALLINT* out_len) {
  return get_info_entry(h, type, buf, len, out_len, 'A');
}
extern "C" SQLRETURN SQL_API SQLGetInfoA(SQLHDBC h, SQLUSMALLINT type, SQLPOINTER buf, SQLSMALLINT len,
                                         SQLSMALLINT* out_len) {
  return _zolandm_traced(entry_SQLGetInfoA, trace_SQLGetInfo, h, type, buf, len, out_len);
}
static SQLRETURN entry_SQLGetInfoW(SQLHDBC h, SQLUSMALLINT type, SQLPOINTER buf, SQLSMALLINT len,
                                   SQLSMALLINT* out_len) {
  return get_info_entry(h, type, buf, len, out_len, 'W');
}
extern "C" SQLRETURN SQL_API SQLGetInfoW(SQLHDBC h, SQLUSMALLINT type, SQLPOINTER buf, SQLSMALLINT len,
                                         SQLSMALLINT* out_len) {
  return _zolandm_traced(entry_SQLGetInfoW, trace_SQLGetInfoW, h, type, buf, len, out_len);
}
