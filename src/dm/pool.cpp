// Connection pooling: a disconnected connection's record, driver connection included, waits
// in its environment's pool until a connect with the same keys and compatible options takes
// it back, it expires, or the environment is freed. A record is checked for life before it is
// lent; a dead one is reserved for the borrower, who connects anew and later fills it.
//
// Every function here runs with the global lock held by its caller (the connect, disconnect
// and free entries); only driver disconnects run with it released.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "dm/connect_util.h"
#include "dm/stmt_internal.h"
#include "sqlext.h"
#include "sqlucode.h"

namespace {

using DisconnectFn = SQLRETURN (*)(SQLHDBC);
using GetAttrFn = SQLRETURN (*)(SQLHDBC, SQLINTEGER, SQLPOINTER, SQLINTEGER, SQLINTEGER*);
using GetOptionFn = SQLRETURN (*)(SQLHDBC, SQLUSMALLINT, SQLPOINTER);
using FreeStmtFn = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT);
using FreeHandleFn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE);

zolandm_clock_fn pool_clock = nullptr;

bool same_key(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return a == b;
  return std::strcmp(a, b) == 0;
}

bool matches(const zolandm_dbc* borrower, const zolandm_dbc* rec, const char* dsn, const char* uid,
             const char* pwd, const char* connstr) {
  if (!same_key(rec->conn_dsn, dsn) || !same_key(rec->conn_uid, uid) || !same_key(rec->conn_pwd, pwd) ||
      !same_key(rec->conn_string, connstr)) {
    return false;
  }
  if (borrower->env->cp_match == 0 && rec->packet_size != borrower->packet_size) return false;
  if (rec->odbc_cursors != borrower->odbc_cursors) return false;
  if (borrower->qualifier == nullptr && rec->qualifier != nullptr) return false;
  return borrower->quiet_mode != 0 || rec->quiet_mode == 0;
}

void free_owned_texts(zolandm_dbc* dbc) {
  for (char** s : {&dbc->cp_probe, &dbc->conn_dsn, &dbc->conn_uid, &dbc->conn_pwd, &dbc->conn_string}) {
    std::free(*s);
    *s = nullptr;
  }
  std::free(dbc->qualifier);
  dbc->qualifier = nullptr;
}

void free_saved_attrs(zolandm_saved_attr* list) {
  while (list != nullptr) {
    zolandm_saved_attr* next = list->next;
    std::free(list);
    list = next;
  }
}

// Disconnects a record's driver connection (without the global lock meanwhile) and releases
// it, whatever the driver answered: a driver connection that would not disconnect is of no
// further use and must not be kept for ever.
void close_driver_connection(zolandm_dbc* rec) {
  if (rec->driver != nullptr && rec->drv_dbc != nullptr) {
    void* f = _zolandm_driver_entry(rec, ZOLANDM_FN_SQLDisconnect);
    if (f == nullptr) {
      _zolandm_diag_add(rec, ZOLANDM_E_IM001);
    } else if (rec->state >= ZOLANDM_DBC_CONNECTED) {
      pthread_mutex_unlock(&_zolandm_global_lock);
      _zolandm_call<DisconnectFn>(rec->driver, &rec->last_rc, f, rec->drv_dbc);
      pthread_mutex_lock(&_zolandm_global_lock);
    }
  }
  _zolandm_dbc_release_stmts(rec);
  rec->state = ZOLANDM_DBC_ALLOCATED;
  _zolandm_driver_release(rec, 3);
}

// The driver's statements of a connection going into the pool are dropped with the manager's
// records: the next borrower cannot reach them.
void drop_statements(zolandm_dbc* dbc) {
  while (zolandm_stmt* s = dbc->stmts) {
    bool odbc3 = false;
    void* f = _zolandm_choose_2_or_3(dbc, ZOLANDM_FN_SQLFreeStmt, ZOLANDM_FN_SQLFreeHandle, &odbc3);
    if (f != nullptr && odbc3) {
      _zolandm_call<FreeHandleFn>(dbc->driver, &s->last_rc, f, SQLSMALLINT(SQL_HANDLE_STMT), s->drv_stmt);
    } else if (f != nullptr) {
      _zolandm_call<FreeStmtFn>(dbc->driver, &s->last_rc, f, s->drv_stmt, SQLUSMALLINT(SQL_DROP));
    }
    if (_zolandm_stmt_release(s) != 0) dbc->stmts = s->next;
  }
}

// Runs the record's probe statement: alive when it executed (and, with result columns, its
// rows could be read to the end).
bool probe_says_dead(zolandm_dbc* rec) {
  SQLHSTMT h = nullptr;
  if (!zolandm_succeeded(SQLAllocStmt_Internal(rec, &h)) || h == nullptr) return true;
  auto* stmt = static_cast<zolandm_stmt*>(h);
  bool dead = true;
  if (zolandm_succeeded(SQLExecDirect_Internal(stmt, rec->cp_probe, SQL_NTS, 'A'))) {
    SQLSMALLINT columns = 0;
    if (zolandm_succeeded(SQLNumResultCols_Internal(stmt, &columns))) {
      SQLRETURN rc = ZOLANDM_OK;
      while (columns > 0 && zolandm_succeeded(rc)) rc = SQLFetch_Internal(stmt);
      dead = columns > 0 && rc != ZOLANDM_NO_DATA;
    }
  }
  SQLFreeStmt_Internal(stmt, SQL_DROP);
  _zolandm_stmt_release(stmt);
  return dead;
}

bool is_dead(zolandm_dbc* rec) {
  if (rec->driver == nullptr || rec->drv_dbc == nullptr || rec->state < ZOLANDM_DBC_CONNECTED) return true;
  SQLULEN value = 0;
  SQLRETURN rc = ZOLANDM_ERROR;
  if (void* f = _zolandm_driver_entry_width(rec, ZOLANDM_FN_SQLGetConnectAttr, ZOLANDM_FN_SQLGetConnectAttrW,
                                            ZOLANDM_FN_SQLGetConnectAttrA)) {
    rc = _zolandm_call<GetAttrFn>(rec->driver, &rec->last_rc, f, rec->drv_dbc,
                                  SQLINTEGER(SQL_ATTR_CONNECTION_DEAD), static_cast<SQLPOINTER>(&value),
                                  SQLINTEGER(0), static_cast<SQLINTEGER*>(nullptr));
  }
  if (!zolandm_succeeded(rc)) {
    if (void* f =
            _zolandm_driver_entry_width(rec, ZOLANDM_FN_SQLGetConnectOption, ZOLANDM_FN_SQLGetConnectOptionW,
                                        ZOLANDM_FN_SQLGetConnectOptionA)) {
      value = 0;
      rc =
          _zolandm_call<GetOptionFn>(rec->driver, &rec->last_rc, f, rec->drv_dbc,
                                     SQLUSMALLINT(SQL_ATTR_CONNECTION_DEAD), static_cast<SQLPOINTER>(&value));
    }
  }
  if (zolandm_succeeded(rc)) return static_cast<uint32_t>(value) == SQL_CD_TRUE;
  if (rec->cp_probe != nullptr && rec->cp_probe[0] != '\0') return probe_says_dead(rec);
  return false;
}

// The borrower keeps the keys it asked for, so the record it fills later can be found again.
bool keep_keys(zolandm_dbc* dbc, const char* dsn, const char* uid, const char* pwd, const char* connstr) {
  return _zolandm_replace_owned(&dbc->conn_dsn, dsn) && _zolandm_replace_owned(&dbc->conn_uid, uid) &&
         _zolandm_replace_owned(&dbc->conn_pwd, pwd) && _zolandm_replace_owned(&dbc->conn_string, connstr);
}

// The borrower takes over a live record: its driver connection and everything that goes with
// it. What the borrower held before is released first.
void take_over(zolandm_dbc* dbc, zolandm_dbc* rec) {
  _zolandm_dbc_release_stmts(dbc);
  _zolandm_driver_release(dbc, 3);
  free_owned_texts(dbc);
  _zolandm_err_free_all(dbc->diag);
  // The attributes the application set on its own handle stay its own.
  zolandm_saved_attr* own_attrs = dbc->saved_attrs;
  free_saved_attrs(rec->saved_attrs);

  zolandm_dbc* next = dbc->next;
  int64_t timeout = dbc->cp_timeout;
  time_t expiry = dbc->cp_expiry;
  SQLSMALLINT busy = dbc->busy;
  *dbc = *rec;
  dbc->next = next;
  dbc->cp_timeout = timeout;
  dbc->cp_expiry = expiry;
  dbc->busy = busy;
  dbc->saved_attrs = own_attrs;
  dbc->pool_entry = rec;

  rec->diag = nullptr;
  rec->drv_dbc = nullptr;
  rec->driver = nullptr;
  rec->stmts = nullptr;
  rec->descs = nullptr;
  rec->qualifier = nullptr;
  rec->saved_attrs = nullptr;
  rec->cp_probe = nullptr;
  rec->conn_dsn = nullptr;
  rec->conn_uid = nullptr;
  rec->conn_pwd = nullptr;
  rec->conn_string = nullptr;
  rec->cp_in_use = 1;
}

}  // namespace

void _zolandm_pool_set_clock(zolandm_clock_fn clock) {
  __atomic_store_n(&pool_clock, clock, __ATOMIC_RELEASE);
}

time_t _zolandm_now() {
  zolandm_clock_fn clock = __atomic_load_n(&pool_clock, __ATOMIC_ACQUIRE);
  return clock != nullptr ? clock() : std::time(nullptr);
}

int _zolandm_pool_sync_options(zolandm_dbc* borrower, zolandm_dbc* rec) {
  int result = 0;
  auto send = [&](SQLULEN& held, SQLULEN wanted, uint16_t option) {
    if (held == wanted) return;
    held = wanted;
    result |= _zolandm_conn_option_to_driver(rec, option, wanted, 'A');
  };
  send(rec->access_mode, borrower->access_mode, SQL_ACCESS_MODE);
  send(rec->autocommit, borrower->autocommit, SQL_AUTOCOMMIT);
  if (borrower->qualifier != nullptr) {
    std::free(rec->qualifier);
    rec->qualifier = borrower->qualifier;
    rec->qualifier_width = borrower->qualifier_width;
    borrower->qualifier = nullptr;
    result |= _zolandm_conn_option_to_driver(rec, SQL_CURRENT_QUALIFIER,
                                             reinterpret_cast<SQLULEN>(rec->qualifier), rec->qualifier_width);
  }
  send(rec->quiet_mode, borrower->quiet_mode, SQL_QUIET_MODE);
  send(rec->txn_isolation, borrower->txn_isolation, SQL_TXN_ISOLATION);
  return result;
}

int _zolandm_pool_find_conn(zolandm_dbc* dbc, const char* dsn, const char* uid, const char* pwd,
                            const char* connstr) {
  zolandm_env* env = dbc->env;
  const time_t now = _zolandm_now();
  zolandm_dbc* before = nullptr;
  zolandm_dbc* rec = env->pool;
  while (rec != nullptr) {
    if (rec->cp_in_use) {
      before = rec;
      rec = rec->next;
      continue;
    }
    if (now >= rec->cp_expiry) {
      _zolandm_pool_drop_conn(rec, before);
      // The lock was let go during the disconnect: walk again from the start.
      before = nullptr;
      rec = env->pool;
      continue;
    }
    if (!matches(dbc, rec, dsn, uid, pwd, connstr)) {
      before = rec;
      rec = rec->next;
      continue;
    }
    if (rec->cp_retry_until != 0) {
      if (now < rec->cp_retry_until) {
        dbc->pool_entry = rec;
        keep_keys(dbc, dsn, uid, pwd, connstr);
        return -1;
      }
      rec->cp_retry_until = 0;
    }
    if (is_dead(rec)) {
      dbc->pool_entry = rec;
      rec->cp_in_use = 1;
      keep_keys(dbc, dsn, uid, pwd, connstr);
      return -1;
    }
    int synced = _zolandm_pool_sync_options(dbc, rec);
    take_over(dbc, rec);
    return synced != 0 ? 1 : 0;
  }
  return -1;
}

int _zolandm_pool_return_conn(zolandm_dbc* dbc) {
  zolandm_env* env = dbc->env;
  zolandm_dbc* rec = dbc->pool_entry;
  const bool fresh = rec == nullptr;
  if (fresh) {
    rec = static_cast<zolandm_dbc*>(_zolandm_calloc(1, sizeof(zolandm_dbc)));
    if (rec == nullptr) return -1;
    rec->next = env->pool;
    env->pool = rec;
    rec->cp_timeout = dbc->cp_timeout;
  } else {
    // A reserved record, or one waiting out a retry, still holds its old driver connection.
    close_driver_connection(rec);
    free_owned_texts(rec);
    free_saved_attrs(rec->saved_attrs);
    rec->saved_attrs = nullptr;
    _zolandm_diag_clear(rec);
  }
  drop_statements(dbc);
  _zolandm_dbc_release_descs(dbc, true);

  zolandm_dbc* next = rec->next;
  int64_t timeout = rec->cp_timeout;
  time_t expiry = rec->cp_expiry;
  *rec = *dbc;
  rec->next = next;
  rec->cp_timeout = timeout;
  rec->cp_expiry = expiry;
  rec->busy = 0;
  rec->pool_entry = nullptr;
  // The connection keeps its diagnostics: they tell the application why it came back.
  rec->diag = nullptr;
  rec->drv_diag = nullptr;
  rec->diag_read_count = 0;

  dbc->drv_dbc = nullptr;
  dbc->driver = nullptr;
  dbc->qualifier = nullptr;
  dbc->saved_attrs = nullptr;
  dbc->cp_probe = nullptr;
  dbc->conn_dsn = nullptr;
  dbc->conn_uid = nullptr;
  dbc->conn_pwd = nullptr;
  dbc->conn_string = nullptr;
  dbc->pool_entry = nullptr;

  const time_t now = _zolandm_now();
  if (rec->cp_retry_until == 0) {
    rec->cp_expiry = now + static_cast<time_t>(rec->cp_timeout);
  } else {
    // Kept at least as long as its retry wait, else the wait would never be seen.
    time_t base = fresh ? now + static_cast<time_t>(rec->cp_timeout) : rec->cp_expiry;
    rec->cp_expiry = base > rec->cp_retry_until ? base : rec->cp_retry_until;
  }
  rec->cp_in_use = 0;
  return 0;
}

void _zolandm_pool_drop_conn(zolandm_dbc* rec, zolandm_dbc* before) {
  if (rec->cp_in_use) {
    std::fprintf(stderr, "zolan/connect: _zolandm_pool_drop_conn: Assertion `!pdbc->cp_in_use' failed.\n");
    std::abort();
  }
  if (before != nullptr) {
    before->next = rec->next;
  } else {
    rec->env->pool = rec->next;
  }
  close_driver_connection(rec);
  SQLFreeConnect_Internal(rec);
  _zolandm_diag_clear(rec);
  std::free(rec);
}
