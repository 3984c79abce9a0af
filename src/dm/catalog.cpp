// Catalog functions: eleven calls that open a result set describing the data source. They
// share one worker: length checks, the member's own value checks, the state check, the
// names converted into conversion slots when the caller's width differs from the driver's,
// the driver call and the state update.

#include <initializer_list>

#include "dm/stmt_internal.h"
#include "sqlext.h"
#include "sqlucode.h"
#include "dm/trace_hook.h"

namespace {

struct catalog_ids {
  int plain;
  int wide;
  int a;
};

constexpr catalog_ids kGetTypeInfo{ZOLANDM_FN_SQLGetTypeInfo, ZOLANDM_FN_SQLGetTypeInfoW,
                                   ZOLANDM_FN_SQLGetTypeInfoA};
constexpr catalog_ids kSpecialColumns{ZOLANDM_FN_SQLSpecialColumns, ZOLANDM_FN_SQLSpecialColumnsW,
                                      ZOLANDM_FN_SQLSpecialColumnsA};
constexpr catalog_ids kStatistics{ZOLANDM_FN_SQLStatistics, ZOLANDM_FN_SQLStatisticsW,
                                  ZOLANDM_FN_SQLStatisticsA};
constexpr catalog_ids kTables{ZOLANDM_FN_SQLTables, ZOLANDM_FN_SQLTablesW, ZOLANDM_FN_SQLTablesA};
constexpr catalog_ids kColumnPrivileges{ZOLANDM_FN_SQLColumnPrivileges, ZOLANDM_FN_SQLColumnPrivilegesW,
                                        ZOLANDM_FN_SQLColumnPrivilegesA};
constexpr catalog_ids kColumns{ZOLANDM_FN_SQLColumns, ZOLANDM_FN_SQLColumnsW, ZOLANDM_FN_SQLColumnsA};
constexpr catalog_ids kForeignKeys{ZOLANDM_FN_SQLForeignKeys, ZOLANDM_FN_SQLForeignKeysW,
                                   ZOLANDM_FN_SQLForeignKeysA};
constexpr catalog_ids kPrimaryKeys{ZOLANDM_FN_SQLPrimaryKeys, ZOLANDM_FN_SQLPrimaryKeysW,
                                   ZOLANDM_FN_SQLPrimaryKeysA};
constexpr catalog_ids kProcedureColumns{ZOLANDM_FN_SQLProcedureColumns, ZOLANDM_FN_SQLProcedureColumnsW,
                                        ZOLANDM_FN_SQLProcedureColumnsA};
constexpr catalog_ids kProcedures{ZOLANDM_FN_SQLProcedures, ZOLANDM_FN_SQLProceduresW,
                                  ZOLANDM_FN_SQLProceduresA};
constexpr catalog_ids kTablePrivileges{ZOLANDM_FN_SQLTablePrivileges, ZOLANDM_FN_SQLTablePrivilegesW,
                                       ZOLANDM_FN_SQLTablePrivilegesA};

// The names of one call with their lengths, converted in place for the driver.
struct names {
  int count;
  const void* text[6];
  SQLSMALLINT len[6];
};

// Up to three 16-bit values checked before the state (IdentifierType, Scope, Nullable or
// Unique, Reserved), each with its limit test and SQLSTATE.
struct value_check {
  bool bad;
  int code;
};

}  // namespace

// 0 when the call may go on, else SQL_ERROR with one diagnostic pushed.
int _zolandm_catalog_state_check(zolandm_stmt* stmt, int id) {
  if (stmt->async_func != 0) {
    if (stmt->async_func == id) return 0;
    return _zolandm_fail(stmt, ZOLANDM_E_S1010);
  }
  if (stmt->state == ZOLANDM_STMT_FETCHED || stmt->state == ZOLANDM_STMT_EXT_FETCHED)
    return _zolandm_fail(stmt, ZOLANDM_E_24000);
  if (stmt->state >= ZOLANDM_STMT_NEED_DATA && stmt->state <= ZOLANDM_STMT_CAN_PUT)
    return _zolandm_fail(stmt, ZOLANDM_E_S1010);
  return 0;
}

namespace {

template <typename Call>
SQLRETURN catalog(zolandm_stmt* stmt, const catalog_ids& ids, names& n,
                  std::initializer_list<value_check> checks, char width, Call call) {
  for (int i = 0; i < n.count; ++i) {
    if (n.len[i] < 0 && n.len[i] != SQL_NTS) {
      // The buffers of a pending call (of this or another function) are still in use.
      if (stmt->async_func == 0) _zolandm_stmt_free_tmpbufs(stmt);
      return _zolandm_fail(stmt, ZOLANDM_E_S1090);
    }
  }
  for (const value_check& c : checks) {
    if (c.bad) {
      if (stmt->async_func == 0) _zolandm_stmt_free_tmpbufs(stmt);
      return _zolandm_fail(stmt, c.code);
    }
  }
  if (_zolandm_catalog_state_check(stmt, ids.plain) != 0) return ZOLANDM_ERROR;
  for (int i = 0; i < n.count; ++i) {
    bool failed = false;
    int64_t len = n.len[i];
    n.text[i] = _zolandm_stmt_arg_for_driver(stmt, i, n.text[i], &len, width, &failed);
    // A name that could not be converted must not reach the driver as null: that would
    // widen the search to every object.
    if (failed) return _zolandm_stmt_conv_failed(stmt);
    n.len[i] = static_cast<SQLSMALLINT>(len);
  }
  void* f = _zolandm_driver_entry_width(stmt->dbc, ids.plain, ids.wide, ids.a);
  if (f == nullptr) {
    _zolandm_stmt_free_tmpbufs(stmt);
    return _zolandm_fail(stmt, ZOLANDM_E_IM001);
  }
  SQLRETURN rc = call(f);
  const int id = ids.plain;
  if (rc == SQL_STILL_EXECUTING) {
    if (stmt->async_func == id) return rc;
  } else {
    _zolandm_stmt_free_tmpbufs(stmt);
    if (stmt->async_func == id) {
      if (rc != ZOLANDM_OK && rc != ZOLANDM_OK_INFO && rc != ZOLANDM_ERROR) return rc;
      stmt->async_func = 0;
    }
  }
  if (stmt->state <= ZOLANDM_STMT_NO_RESULT) {
    if (zolandm_succeeded(rc)) {
      stmt->state = ZOLANDM_STMT_CURSOR_OPEN;
    } else if (rc == ZOLANDM_ERROR) {
      stmt->state = ZOLANDM_STMT_ALLOCATED;
      stmt->prepared = 0;
    } else if (rc == SQL_STILL_EXECUTING) {
      stmt->async_func = id;
    }
  }
  return rc;
}

using Fn1 = SQLRETURN (*)(SQLHSTMT, SQLSMALLINT);
using Fn3 = SQLRETURN (*)(SQLHSTMT, const void*, SQLSMALLINT, const void*, SQLSMALLINT, const void*,
                          SQLSMALLINT);
using Fn4 = SQLRETURN (*)(SQLHSTMT, const void*, SQLSMALLINT, const void*, SQLSMALLINT, const void*,
                          SQLSMALLINT, const void*, SQLSMALLINT);
using Fn6 = SQLRETURN (*)(SQLHSTMT, const void*, SQLSMALLINT, const void*, SQLSMALLINT, const void*,
                          SQLSMALLINT, const void*, SQLSMALLINT, const void*, SQLSMALLINT, const void*,
                          SQLSMALLINT);
using SpecialFn = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT, const void*, SQLSMALLINT, const void*, SQLSMALLINT,
                                const void*, SQLSMALLINT, SQLUSMALLINT, SQLUSMALLINT);
using StatisticsFn = SQLRETURN (*)(SQLHSTMT, const void*, SQLSMALLINT, const void*, SQLSMALLINT, const void*,
                                   SQLSMALLINT, SQLUSMALLINT, SQLUSMALLINT);

SQLRETURN get_type_info(SQLHSTMT h, SQLSMALLINT type, char width) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* s) {
    names n{0, {}, {}};
    return catalog(s, kGetTypeInfo, n, {}, width, [&](void* f) {
      return _zolandm_call<Fn1>(_zolandm_stmt_driver(s), &s->last_rc, f, s->drv_stmt, type);
    });
  });
}

SQLRETURN three_names(SQLHSTMT h, const catalog_ids& ids, const void* a, SQLSMALLINT al, const void* b,
                      SQLSMALLINT bl, const void* c, SQLSMALLINT cl, char width) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* s) {
    names n{3, {a, b, c}, {al, bl, cl}};
    return catalog(s, ids, n, {}, width, [&](void* f) {
      return _zolandm_call<Fn3>(_zolandm_stmt_driver(s), &s->last_rc, f, s->drv_stmt, n.text[0], n.len[0],
                                n.text[1], n.len[1], n.text[2], n.len[2]);
    });
  });
}

SQLRETURN four_names(SQLHSTMT h, const catalog_ids& ids, const void* a, SQLSMALLINT al, const void* b,
                     SQLSMALLINT bl, const void* c, SQLSMALLINT cl, const void* d, SQLSMALLINT dl,
                     char width) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* s) {
    names n{4, {a, b, c, d}, {al, bl, cl, dl}};
    return catalog(s, ids, n, {}, width, [&](void* f) {
      return _zolandm_call<Fn4>(_zolandm_stmt_driver(s), &s->last_rc, f, s->drv_stmt, n.text[0], n.len[0],
                                n.text[1], n.len[1], n.text[2], n.len[2], n.text[3], n.len[3]);
    });
  });
}

// The catalog entries' bodies in the shape their trace wrapper calls.
template <const catalog_ids& Ids, char Width>
SQLRETURN cat3(SQLHSTMT h, const void* a, SQLSMALLINT al, const void* b, SQLSMALLINT bl, const void* c,
               SQLSMALLINT cl) {
  return three_names(h, Ids, a, al, b, bl, c, cl, Width);
}

template <const catalog_ids& Ids, char Width>
SQLRETURN cat4(SQLHSTMT h, const void* a, SQLSMALLINT al, const void* b, SQLSMALLINT bl, const void* c,
               SQLSMALLINT cl, const void* d, SQLSMALLINT dl) {
  return four_names(h, Ids, a, al, b, bl, c, cl, d, dl, Width);
}

SQLRETURN foreign_keys(SQLHSTMT h, const void* a, SQLSMALLINT al, const void* b, SQLSMALLINT bl,
                       const void* c, SQLSMALLINT cl, const void* d, SQLSMALLINT dl, const void* e,
                       SQLSMALLINT el, const void* g, SQLSMALLINT gl, char width) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* s) {
    names n{6, {a, b, c, d, e, g}, {al, bl, cl, dl, el, gl}};
    return catalog(s, kForeignKeys, n, {}, width, [&](void* f) {
      return _zolandm_call<Fn6>(_zolandm_stmt_driver(s), &s->last_rc, f, s->drv_stmt, n.text[0], n.len[0],
                                n.text[1], n.len[1], n.text[2], n.len[2], n.text[3], n.len[3], n.text[4],
                                n.len[4], n.text[5], n.len[5]);
    });
  });
}

SQLRETURN special_columns(SQLHSTMT h, SQLUSMALLINT id_type, const void* a, SQLSMALLINT al, const void* b,
                          SQLSMALLINT bl, const void* c, SQLSMALLINT cl, SQLUSMALLINT scope,
                          SQLUSMALLINT nullable, char width) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* s) {
    names n{3, {a, b, c}, {al, bl, cl}};
    return catalog(s, kSpecialColumns, n,
                   {{id_type != SQL_BEST_ROWID && id_type != SQL_ROWVER, ZOLANDM_E_S1097},
                    {scope > SQL_SCOPE_SESSION, ZOLANDM_E_S1098},
                    {nullable > SQL_NULLABLE, ZOLANDM_E_S1099}},
                   width, [&](void* f) {
                     return _zolandm_call<SpecialFn>(_zolandm_stmt_driver(s), &s->last_rc, f, s->drv_stmt,
                                                     id_type, n.text[0], n.len[0], n.text[1], n.len[1],
                                                     n.text[2], n.len[2], scope, nullable);
                   });
  });
}

SQLRETURN statistics(SQLHSTMT h, const void* a, SQLSMALLINT al, const void* b, SQLSMALLINT bl, const void* c,
                     SQLSMALLINT cl, SQLUSMALLINT unique, SQLUSMALLINT reserved, char width) {
  return _zolandm_stmt_entry(h, [&](zolandm_stmt* s) {
    names n{3, {a, b, c}, {al, bl, cl}};
    return catalog(s, kStatistics, n, {{unique > 1, ZOLANDM_E_S1100}, {reserved > 1, ZOLANDM_E_S1101}}, width,
                   [&](void* f) {
                     return _zolandm_call<StatisticsFn>(_zolandm_stmt_driver(s), &s->last_rc, f, s->drv_stmt,
                                                        n.text[0], n.len[0], n.text[1], n.len[1], n.text[2],
                                                        n.len[2], unique, reserved);
                   });
  });
}

}  // namespace

// ---- entries: plain and A are one function; W passes wide names ---------------------------

#define ZOLANDM_CAT3(NAME, IDS)                                                                              \
  extern "C" SQLRETURN SQL_API NAME(SQLHSTMT h, SQLCHAR* a, SQLSMALLINT al, SQLCHAR* b, SQLSMALLINT bl,      \
                                    SQLCHAR* c, SQLSMALLINT cl) {                                            \
    return _zolandm_traced(cat3<IDS, 'A'>, trace_##NAME, h, a, al, b, bl, c, cl);                            \
  }                                                                                                          \
  extern "C" SQLRETURN SQL_API NAME##A(SQLHSTMT h, SQLCHAR* a, SQLSMALLINT al, SQLCHAR* b, SQLSMALLINT bl,   \
                                       SQLCHAR* c, SQLSMALLINT cl) {                                         \
    return _zolandm_traced(cat3<IDS, 'A'>, trace_##NAME, h, a, al, b, bl, c, cl);                            \
  }                                                                                                          \
  extern "C" SQLRETURN SQL_API NAME##W(SQLHSTMT h, SQLWCHAR* a, SQLSMALLINT al, SQLWCHAR* b, SQLSMALLINT bl, \
                                       SQLWCHAR* c, SQLSMALLINT cl) {                                        \
    return _zolandm_traced(cat3<IDS, 'W'>, trace_##NAME##W, h, a, al, b, bl, c, cl);                         \
  }

#define ZOLANDM_CAT4(NAME, IDS)                                                                              \
  extern "C" SQLRETURN SQL_API NAME(SQLHSTMT h, SQLCHAR* a, SQLSMALLINT al, SQLCHAR* b, SQLSMALLINT bl,      \
                                    SQLCHAR* c, SQLSMALLINT cl, SQLCHAR* d, SQLSMALLINT dl) {                \
    return _zolandm_traced(cat4<IDS, 'A'>, trace_##NAME, h, a, al, b, bl, c, cl, d, dl);                     \
  }                                                                                                          \
  extern "C" SQLRETURN SQL_API NAME##A(SQLHSTMT h, SQLCHAR* a, SQLSMALLINT al, SQLCHAR* b, SQLSMALLINT bl,   \
                                       SQLCHAR* c, SQLSMALLINT cl, SQLCHAR* d, SQLSMALLINT dl) {             \
    return _zolandm_traced(cat4<IDS, 'A'>, trace_##NAME, h, a, al, b, bl, c, cl, d, dl);                     \
  }                                                                                                          \
  extern "C" SQLRETURN SQL_API NAME##W(SQLHSTMT h, SQLWCHAR* a, SQLSMALLINT al, SQLWCHAR* b, SQLSMALLINT bl, \
                                       SQLWCHAR* c, SQLSMALLINT cl, SQLWCHAR* d, SQLSMALLINT dl) {           \
    return _zolandm_traced(cat4<IDS, 'W'>, trace_##NAME##W, h, a, al, b, bl, c, cl, d, dl);                  \
  }

ZOLANDM_CAT3(SQLPrimaryKeys, kPrimaryKeys)
ZOLANDM_CAT3(SQLProcedures, kProcedures)
ZOLANDM_CAT3(SQLTablePrivileges, kTablePrivileges)
ZOLANDM_CAT4(SQLTables, kTables)
ZOLANDM_CAT4(SQLColumns, kColumns)
ZOLANDM_CAT4(SQLColumnPrivileges, kColumnPrivileges)
ZOLANDM_CAT4(SQLProcedureColumns, kProcedureColumns)

static SQLRETURN entry_SQLGetTypeInfo(SQLHSTMT h, SQLSMALLINT type) { return get_type_info(h, type, 'A'); }
extern "C" SQLRETURN SQL_API SQLGetTypeInfo(SQLHSTMT h, SQLSMALLINT type) {
  return _zolandm_traced(entry_SQLGetTypeInfo, trace_SQLGetTypeInfo, h, type);
}
static SQLRETURN entry_SQLGetTypeInfoA(SQLHSTMT h, SQLSMALLINT type) { return get_type_info(h, type, 'A'); }
extern "C" SQLRETURN SQL_API SQLGetTypeInfoA(SQLHSTMT h, SQLSMALLINT type) {
  return _zolandm_traced(entry_SQLGetTypeInfoA, trace_SQLGetTypeInfo, h, type);
}
static SQLRETURN entry_SQLGetTypeInfoW(SQLHSTMT h, SQLSMALLINT type) { return get_type_info(h, type, 'W'); }
extern "C" SQLRETURN SQL_API SQLGetTypeInfoW(SQLHSTMT h, SQLSMALLINT type) {
  return _zolandm_traced(entry_SQLGetTypeInfoW, trace_SQLGetTypeInfoW, h, type);
}

static SQLRETURN entry_SQLForeignKeys(SQLHSTMT h, SQLCHAR* a, SQLSMALLINT al, SQLCHAR* b, SQLSMALLINT bl,
                                      SQLCHAR* c, SQLSMALLINT cl, SQLCHAR* d, SQLSMALLINT dl, SQLCHAR* e,
                                      SQLSMALLINT el, SQLCHAR* g, SQLSMALLINT gl) {
  return foreign_keys(h, a, al, b, bl, c, cl, d, dl, e, el, g, gl, 'A');
}
extern "C" SQLRETURN SQL_API SQLForeignKeys(SQLHSTMT h, SQLCHAR* a, SQLSMALLINT al, SQLCHAR* b,
                                            SQLSMALLINT bl, SQLCHAR* c, SQLSMALLINT cl, SQLCHAR* d,
                                            SQLSMALLINT dl, SQLCHAR* e, SQLSMALLINT el, SQLCHAR* g,
                                            SQLSMALLINT gl) {
  return _zolandm_traced(entry_SQLForeignKeys, trace_SQLForeignKeys, h, a, al, b, bl, c, cl, d, dl, e, el, g,
                         gl);
}
static SQLRETURN entry_SQLForeignKeysA(SQLHSTMT h, SQLCHAR* a, SQLSMALLINT al, SQLCHAR* b, SQLSMALLINT bl,
                                       SQLCHAR* c, SQLSMALLINT cl, SQLCHAR* d, SQLSMALLINT dl, SQLCHAR* e,
                                       SQLSMALLINT el, SQLCHAR* g, SQLSMALLINT gl) {
  return foreign_keys(h, a, al, b, bl, c, cl, d, dl, e, el, g, gl, 'A');
}
extern "C" SQLRETURN SQL_API SQLForeignKeysA(SQLHSTMT h, SQLCHAR* a, SQLSMALLINT al, SQLCHAR* b,
                                             SQLSMALLINT bl, SQLCHAR* c, SQLSMALLINT cl, SQLCHAR* d,
                                             SQLSMALLINT dl, SQLCHAR* e, SQLSMALLINT el, SQLCHAR* g,
                                             SQLSMALLINT gl) {
  return _zolandm_traced(entry_SQLForeignKeysA, trace_SQLForeignKeys, h, a, al, b, bl, c, cl, d, dl, e, el, g,
                         gl);
}
static SQLRETURN entry_SQLForeignKeysW(SQLHSTMT h, SQLWCHAR* a, SQLSMALLINT al, SQLWCHAR* b, SQLSMALLINT bl,
                                       SQLWCHAR* c, SQLSMALLINT cl, SQLWCHAR* d, SQLSMALLINT dl, SQLWCHAR* e,
                                       SQLSMALLINT el, SQLWCHAR* g, SQLSMALLINT gl) {
  return foreign_keys(h, a, al, b, bl, c, cl, d, dl, e, el, g, gl, 'W');
}
extern "C" SQLRETURN SQL_API SQLForeignKeysW(SQLHSTMT h, SQLWCHAR* a, SQLSMALLINT al, SQLWCHAR* b,
                                             SQLSMALLINT bl, SQLWCHAR* c, SQLSMALLINT cl, SQLWCHAR* d,
                                             SQLSMALLINT dl, SQLWCHAR* e, SQLSMALLINT el, SQLWCHAR* g,
                                             SQLSMALLINT gl) {
  return _zolandm_traced(entry_SQLForeignKeysW, trace_SQLForeignKeysW, h, a, al, b, bl, c, cl, d, dl, e, el,
                         g, gl);
}

static SQLRETURN entry_SQLSpecialColumns(SQLHSTMT h, SQLUSMALLINT t, SQLCHAR* a, SQLSMALLINT al, SQLCHAR* b,
                                         SQLSMALLINT bl, SQLCHAR* c, SQLSMALLINT cl, SQLUSMALLINT scope,
                                         SQLUSMALLINT nullable) {
  return special_columns(h, t, a, al, b, bl, c, cl, scope, nullable, 'A');
}
extern "C" SQLRETURN SQL_API SQLSpecialColumns(SQLHSTMT h, SQLUSMALLINT t, SQLCHAR* a, SQLSMALLINT al,
                                               SQLCHAR* b, SQLSMALLINT bl, SQLCHAR* c, SQLSMALLINT cl,
                                               SQLUSMALLINT scope, SQLUSMALLINT nullable) {
  return _zolandm_traced(entry_SQLSpecialColumns, trace_SQLSpecialColumns, h, t, a, al, b, bl, c, cl, scope,
                         nullable);
}
static SQLRETURN entry_SQLSpecialColumnsA(SQLHSTMT h, SQLUSMALLINT t, SQLCHAR* a, SQLSMALLINT al, SQLCHAR* b,
                                          SQLSMALLINT bl, SQLCHAR* c, SQLSMALLINT cl, SQLUSMALLINT scope,
                                          SQLUSMALLINT nullable) {
  return special_columns(h, t, a, al, b, bl, c, cl, scope, nullable, 'A');
}
extern "C" SQLRETURN SQL_API SQLSpecialColumnsA(SQLHSTMT h, SQLUSMALLINT t, SQLCHAR* a, SQLSMALLINT al,
                                                SQLCHAR* b, SQLSMALLINT bl, SQLCHAR* c, SQLSMALLINT cl,
                                                SQLUSMALLINT scope, SQLUSMALLINT nullable) {
  return _zolandm_traced(entry_SQLSpecialColumnsA, trace_SQLSpecialColumns, h, t, a, al, b, bl, c, cl, scope,
                         nullable);
}
static SQLRETURN entry_SQLSpecialColumnsW(SQLHSTMT h, SQLUSMALLINT t, SQLWCHAR* a, SQLSMALLINT al,
                                          SQLWCHAR* b, SQLSMALLINT bl, SQLWCHAR* c, SQLSMALLINT cl,
                                          SQLUSMALLINT scope, SQLUSMALLINT nullable) {
  return special_columns(h, t, a, al, b, bl, c, cl, scope, nullable, 'W');
}
extern "C" SQLRETURN SQL_API SQLSpecialColumnsW(SQLHSTMT h, SQLUSMALLINT t, SQLWCHAR* a, SQLSMALLINT al,
                                                SQLWCHAR* b, SQLSMALLINT bl, SQLWCHAR* c, SQLSMALLINT cl,
                                                SQLUSMALLINT scope, SQLUSMALLINT nullable) {
  return _zolandm_traced(entry_SQLSpecialColumnsW, trace_SQLSpecialColumnsW, h, t, a, al, b, bl, c, cl, scope,
                         nullable);
}

static SQLRETURN entry_SQLStatistics(SQLHSTMT h, SQLCHAR* a, SQLSMALLINT al, SQLCHAR* b, SQLSMALLINT bl,
                                     SQLCHAR* c, SQLSMALLINT cl, SQLUSMALLINT unique, SQLUSMALLINT reserved) {
  return statistics(h, a, al, b, bl, c, cl, unique, reserved, 'A');
}
extern "C" SQLRETURN SQL_API SQLStatistics(SQLHSTMT h, SQLCHAR* a, SQLSMALLINT al, SQLCHAR* b, SQLSMALLINT bl,
                                           SQLCHAR* c, SQLSMALLINT cl, SQLUSMALLINT unique,
                                           SQLUSMALLINT reserved) {
  return _zolandm_traced(entry_SQLStatistics, trace_SQLStatistics, h, a, al, b, bl, c, cl, unique, reserved);
}
static SQLRETURN entry_SQLStatisticsA(SQLHSTMT h, SQLCHAR* a, SQLSMALLINT al, SQLCHAR* b, SQLSMALLINT bl,
                                      SQLCHAR* c, SQLSMALLINT cl, SQLUSMALLINT unique,
                                      SQLUSMALLINT reserved) {
  return statistics(h, a, al, b, bl, c, cl, unique, reserved, 'A');
}
extern "C" SQLRETURN SQL_API SQLStatisticsA(SQLHSTMT h, SQLCHAR* a, SQLSMALLINT al, SQLCHAR* b,
                                            SQLSMALLINT bl, SQLCHAR* c, SQLSMALLINT cl, SQLUSMALLINT unique,
                                            SQLUSMALLINT reserved) {
  return _zolandm_traced(entry_SQLStatisticsA, trace_SQLStatistics, h, a, al, b, bl, c, cl, unique, reserved);
}
static SQLRETURN entry_SQLStatisticsW(SQLHSTMT h, SQLWCHAR* a, SQLSMALLINT al, SQLWCHAR* b, SQLSMALLINT bl,
                                      SQLWCHAR* c, SQLSMALLINT cl, SQLUSMALLINT unique,
                                      SQLUSMALLINT reserved) {
  return statistics(h, a, al, b, bl, c, cl, unique, reserved, 'W');
}
extern "C" SQLRETURN SQL_API SQLStatisticsW(SQLHSTMT h, SQLWCHAR* a, SQLSMALLINT al, SQLWCHAR* b,
                                            SQLSMALLINT bl, SQLWCHAR* c, SQLSMALLINT cl, SQLUSMALLINT unique,
                                            SQLUSMALLINT reserved) {
  return _zolandm_traced(entry_SQLStatisticsW, trace_SQLStatisticsW, h, a, al, b, bl, c, cl, unique,
                         reserved);
}
