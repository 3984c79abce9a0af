// Internal interface of the driver manager: the four handle records, the driver and library
// records, the process-wide globals, the entry protocol and the driver-call helpers. Every
// source file of src/dm includes this; nothing outside the driver manager does.
//
// Locks: _zolandm_global_lock guards every handle's bookkeeping, the handle lists, the
// library list and the environment count. Diagnostics lists have their own leaf mutex
// (diag.h). A driver record's mutex serialises calls into one driver library when its data
// source asks for it; it is always taken after the global lock, never before.
#pragma once

#include <pthread.h>

#include <cstdint>
#include <ctime>

#include "dm/diag.h"
#include "odbcconfig/function_ids.h"
#include "sqltypes.h"

// Return codes, handle types and lengths the manager works with (the same numbers as the
// public headers; kept here so that internal code reads the same everywhere).
enum : int {
  ZOLANDM_ENV = 1,
  ZOLANDM_DBC = 2,
  ZOLANDM_STMT = 3,
  ZOLANDM_DESC = 4,
};

constexpr SQLRETURN ZOLANDM_OK = 0;
constexpr SQLRETURN ZOLANDM_OK_INFO = 1;
constexpr SQLRETURN ZOLANDM_NEED_DATA = 99;
constexpr SQLRETURN ZOLANDM_NO_DATA = 100;
constexpr SQLRETURN ZOLANDM_ERROR = -1;
constexpr SQLRETURN ZOLANDM_INVALID = -2;
constexpr int ZOLANDM_NTS = -3;

inline bool zolandm_succeeded(SQLRETURN rc) { return rc == 0 || rc == 1; }

// Connection states (zolandm_dbc::state). Only a disconnect brings IN_USE back.
enum zolandm_dbc_state : int {
  ZOLANDM_DBC_ALLOCATED = 0,  // not connected
  ZOLANDM_DBC_BROWSING = 1,   // SQLBrowseConnect answered SQL_NEED_DATA
  ZOLANDM_DBC_CONNECTED = 2,  // connected, no statement allocated since
  ZOLANDM_DBC_IN_USE = 3,     // connected; a statement allocated or a transaction ended since
};

// Statement states (zolandm_stmt::state). The checks compare ranges, so the order matters.
enum zolandm_stmt_state : int {
  ZOLANDM_STMT_ALLOCATED = 0,    // no prepared text, no result
  ZOLANDM_STMT_PREPARED = 1,     // prepared, no result pending
  ZOLANDM_STMT_EXECUTED = 2,     // never entered; the range checks treat it like NO_RESULT
  ZOLANDM_STMT_NO_RESULT = 3,    // executed, no result set
  ZOLANDM_STMT_CURSOR_OPEN = 4,  // executed, result set pending, not fetched yet
  ZOLANDM_STMT_FETCHED = 5,      // positioned by SQLFetch
  ZOLANDM_STMT_EXT_FETCHED = 6,  // positioned by SQLExtendedFetch or SQLFetchScroll
  ZOLANDM_STMT_NEED_DATA = 7,    // a call returned SQL_NEED_DATA (need_data_func names it)
  ZOLANDM_STMT_MUST_PUT = 8,     // SQLParamData named the next data-at-execution value
  ZOLANDM_STMT_CAN_PUT = 9,      // SQLPutData has sent part of a value
};

// Cursor states (zolandm_stmt::cursor_state).
enum zolandm_cursor_state : int {
  ZOLANDM_CURSOR_NONE = 0,
  ZOLANDM_CURSOR_NAMED = 1,        // SQLSetCursorName, no result yet
  ZOLANDM_CURSOR_OPEN = 2,         // executed with result columns
  ZOLANDM_CURSOR_FETCHED = 3,      // fetched with SQLFetch
  ZOLANDM_CURSOR_EXT_FETCHED = 4,  // fetched with SQLExtendedFetch or SQLFetchScroll
};

struct zolandm_env;
struct zolandm_dbc;
struct zolandm_stmt;
struct zolandm_desc;
struct zolandm_driver;
struct zolandm_param;  // bound-parameter row, defined with the binding code

// The three fields every handle record begins with, in this order.
struct zolandm_hdr {
  int handle_type;  // 1..4; 0 once released
  zolandm_err* diag;
  SQLSMALLINT last_rc;
};

// A connection attribute above 999 set before connecting. The value is kept exactly as the
// application passed it: for a string attribute that is the application's pointer, not a
// copy, so the application must keep the string alive until the next connect.
struct zolandm_saved_attr {
  uint16_t attr;
  SQLULEN value;
  char width;  // 'A' or 'W'
  zolandm_saved_attr* next;
};

struct zolandm_tmpbuf {
  void* data;
  int size;
};

// A column bound as SQL_C_WCHAR on a driver without wide entry points.
struct zolandm_boundcol {
  zolandm_boundcol* next;
  uint16_t column;
  int16_t c_type;
  void* buffer;
  int64_t buffer_length;
  SQLLEN* indicator;
};

struct zolandm_env {
  int handle_type;
  zolandm_err* diag;
  SQLSMALLINT last_rc;
  zolandm_driver* drivers;
  zolandm_dbc* dbcs;
  int odbc_version;
  int pooling;
  int cp_match;
  zolandm_dbc* pool;  // idle pooled connections (the pool record is a connection record)
  uint16_t diag_read_count;
};

struct zolandm_dbc {
  int handle_type;
  zolandm_err* diag;
  SQLSMALLINT last_rc;
  zolandm_dbc* next;
  zolandm_env* env;
  SQLHDBC drv_dbc;
  zolandm_driver* driver;
  zolandm_stmt* stmts;
  zolandm_desc* descs;
  zolandm_dbc* pool_entry;
  int cp_in_use;
  int64_t cp_timeout;
  time_t cp_expiry;
  time_t cp_retry_until;
  char* cp_probe;
  char* conn_dsn;
  char* conn_uid;
  char* conn_pwd;
  char* conn_string;
  int state;  // zolandm_dbc_state
  SQLULEN access_mode;
  SQLULEN autocommit;
  SQLULEN login_timeout;
  SQLULEN odbc_cursors;
  SQLULEN packet_size;
  SQLULEN quiet_mode;
  SQLULEN txn_isolation;
  SQLSMALLINT commit_behavior;
  SQLSMALLINT rollback_behavior;
  void* qualifier;  // narrow or wide copy, see qualifier_width
  char qualifier_width;
  SQLSMALLINT busy;
  zolandm_saved_attr* saved_attrs;
  uint16_t diag_read_count;
};

struct zolandm_stmt {
  int handle_type;
  zolandm_err* diag;
  SQLSMALLINT last_rc;
  zolandm_stmt* next;
  zolandm_dbc* dbc;
  SQLHSTMT drv_stmt;
  int state;         // zolandm_stmt_state
  int cursor_state;  // zolandm_cursor_state
  int prepared;
  int async_func;
  int need_data_func;
  int busy;
  int rowset_size;
  int bind_type;
  zolandm_desc* imp_desc[4];  // ARD, APD, IRD, IPD
  zolandm_desc* app_desc[4];
  int row_array_size;
  SQLPOINTER fetch_bookmark_ptr;
  SQLPOINTER params_processed_ptr;
  int paramset_size;
  SQLUSMALLINT* row_status_ptr;
  SQLPOINTER rows_fetched_ptr;
  SQLSMALLINT row_status_owned;
  uint16_t diag_read_count;
  zolandm_tmpbuf tmpbuf[8];
  int tmpbuf_in_use;
  zolandm_boundcol* wide_cols;
  zolandm_param* params;
  SQLSMALLINT params_alloc;
  int param_bind_type;  // SQL_ATTR_PARAM_BIND_TYPE, apart from the row bind type
  // SQLGetData of SQL_C_WCHAR on a narrow driver: bytes of a multibyte character that the
  // driver's last piece cut, handed out with the next piece of the same column.
  uint16_t gd_column;
  uint8_t gd_carry_len;
  char gd_carry[8];
  // 1 while the rowset in place came from the application's SQLExtendedFetch: an ODBC 3
  // application may mix SQLFetch and SQLFetchScroll on a cursor, but not with that.
  uint8_t ext_fetched;
};

struct zolandm_desc {
  int handle_type;
  zolandm_err* diag;
  SQLSMALLINT last_rc;
  zolandm_desc* next;
  zolandm_dbc* dbc;
  SQLHDESC drv_desc;
  zolandm_stmt* owner_stmt;
  SQLSMALLINT busy;
  uint16_t diag_read_count;
};

// One record per driver library and environment.
struct zolandm_driver {
  zolandm_driver* next;
  int conn_count;
  void* entries[ZOLANDM_FN_COUNT];
  SQLHENV drv_env;
  void* lib;
  int16_t thread_safe;  // 0: every driver call holds mutex
  int16_t unicode;      // 1: the library has its own SQLConnectW; called through W names only
  pthread_mutex_t mutex;
  int drv_version;  // 3 when the driver accepted SQL_ATTR_ODBC_VERSION, else 2
};

// One node per library path ever opened; never freed.
struct zolandm_lib {
  char* path;
  void* lib;
  int refs;
  int unload_safe;
  zolandm_lib* next;
};

// ---- process-wide globals -------------------------------------------------------------

extern "C" {
extern pthread_mutex_t _zolandm_global_lock;
extern int _zolandm_trace_enabled;  // owned by the tracing code
extern int64_t _zolandm_env_count;
extern int _zolandm_initialised;
extern int _zolandm_default_pooling;
extern zolandm_lib* _zolandm_lib_list;
}

// ---- entry protocol -------------------------------------------------------------------

// Step 6 of the protocol on a record of any of the four types: frees its diagnostics and
// zeroes last_rc and diag_read_count. Nearly every call finds the list empty; then nothing
// is freed and the leaf mutex is not taken (a push racing with that read is a push made
// after the clear, which the mutex would have allowed too).
void _zolandm_diag_drop(zolandm_hdr* h);  // frees a list that was not empty, under the leaf mutex
void _zolandm_stmt_free_tmpbufs(zolandm_stmt* stmt);
template <typename Record>
inline void _zolandm_diag_reset(Record* r) {
  if (__atomic_load_n(&r->diag, __ATOMIC_ACQUIRE) != nullptr)
    _zolandm_diag_drop(reinterpret_cast<zolandm_hdr*>(r));
  r->last_rc = 0;
  r->diag_read_count = 0;
}

// One entry call on a handle: takes the global lock, validates the handle, refuses a busy
// handle with "S1010", sets busy and clears the handle's diagnostics. The destructor clears
// busy and releases the lock. rc() is 0 when the call may go on, else the entry's result.
// Every call runs this: the global lock is taken once before the worker and once after it,
// and the common path makes no other call (the type is known where the entry is made, so
// the compiler keeps only its own branch).
class zolandm_entry {
 public:
  zolandm_entry(void* handle, int type) {
    pthread_mutex_lock(&_zolandm_global_lock);
    locked_ = true;
    auto* h = static_cast<zolandm_hdr*>(handle);
    if (h == nullptr || h->handle_type != type) return;
    switch (type) {
      case ZOLANDM_ENV: {
        // The environment has no busy flag.
        _zolandm_diag_reset(static_cast<zolandm_env*>(handle));
        rc_ = 0;
        break;
      }
      case ZOLANDM_DBC: {
        auto* dbc = static_cast<zolandm_dbc*>(handle);
        if (take(dbc, &dbc->busy)) busy_short_ = &dbc->busy;
        break;
      }
      case ZOLANDM_STMT: {
        auto* stmt = static_cast<zolandm_stmt*>(handle);
        if (stmt->dbc != nullptr && take(stmt, &stmt->busy)) {
          busy_int_ = &stmt->busy;
          if (stmt->async_func == 0 && stmt->tmpbuf_in_use) _zolandm_stmt_free_tmpbufs(stmt);
        }
        break;
      }
      case ZOLANDM_DESC: {
        auto* desc = static_cast<zolandm_desc*>(handle);
        if (desc->dbc != nullptr && take(desc, &desc->busy)) busy_short_ = &desc->busy;
        break;
      }
      default:
        break;
    }
  }
  ~zolandm_entry() {
    if (!locked_) pthread_mutex_lock(&_zolandm_global_lock);
    if (busy_int_ != nullptr) *busy_int_ = 0;
    if (busy_short_ != nullptr) *busy_short_ = 0;
    pthread_mutex_unlock(&_zolandm_global_lock);
  }
  zolandm_entry(const zolandm_entry&) = delete;
  zolandm_entry& operator=(const zolandm_entry&) = delete;

  bool ok() const { return rc_ == 0; }
  SQLRETURN rc() const { return rc_; }
  // The unlocked-worker variant: release the global lock for the worker, take it back after.
  void unlock() {
    if (locked_) {
      locked_ = false;
      pthread_mutex_unlock(&_zolandm_global_lock);
    }
  }
  void relock() {
    if (!locked_) {
      pthread_mutex_lock(&_zolandm_global_lock);
      locked_ = true;
    }
  }
  // The record was released by the call: the end of the entry must not touch it.
  void forget_handle() {
    busy_int_ = nullptr;
    busy_short_ = nullptr;
  }

 private:
  // Busy check, busy set and diagnostics clear; false (and rc_ set) when refused.
  template <typename Record, typename Flag>
  bool take(Record* r, Flag* busy) {
    if (*busy != 0) {
      refuse(reinterpret_cast<zolandm_hdr*>(r));
      return false;
    }
    *busy = 1;
    _zolandm_diag_reset(r);
    rc_ = 0;
    return true;
  }
  // Refused as busy: the running call's records stay; "S1010" is added beside them.
  void refuse(zolandm_hdr* h);

  // The busy flag set by this call (statements have an int, the others a short).
  int* busy_int_ = nullptr;
  SQLSMALLINT* busy_short_ = nullptr;
  SQLRETURN rc_ = ZOLANDM_INVALID;
  bool locked_ = false;
};

// The unlocked-worker variant of the protocol on a connection or a descriptor: the worker
// runs with the global lock released, the handle kept by its busy flag.
template <typename Record, typename Worker>
SQLRETURN _zolandm_unlocked_entry(void* handle, int type, Worker worker) {
  zolandm_entry entry(handle, type);
  if (!entry.ok()) return entry.rc();
  entry.unlock();
  SQLRETURN rc = worker(static_cast<Record*>(handle));
  entry.relock();
  return rc;
}

// Scoped global lock for entries that do not follow the ordinary protocol.
class zolandm_global_guard {
 public:
  zolandm_global_guard() { pthread_mutex_lock(&_zolandm_global_lock); }
  ~zolandm_global_guard() { pthread_mutex_unlock(&_zolandm_global_lock); }
  zolandm_global_guard(const zolandm_global_guard&) = delete;
  zolandm_global_guard& operator=(const zolandm_global_guard&) = delete;
};

// Handle checks (step 3 of the protocol): non-null, the right type, and for statements and
// descriptors an owning connection.
bool _zolandm_valid_handle(const void* handle, int type);

// Diagnostics of one handle, under the leaf mutex.
void _zolandm_diag_add(void* handle, int code, const char* message = nullptr);
void _zolandm_diag_clear(void* handle);  // frees diag, zeroes last_rc and diag_read_count
int _zolandm_diag_count(const void* handle);

// Pushes code on the handle and returns SQL_ERROR, the common tail of a refused call.
SQLRETURN _zolandm_fail(void* handle, int code);

// Statement gates shared by connection-level calls: any statement of the connection in
// states 7..9 or with an asynchronous call pending.
bool _zolandm_dbc_has_pending_stmt(const zolandm_dbc* dbc);

// ---- driver loading and calls ---------------------------------------------------------

// The driver's entry point for a function id, looked up once and cached; null when the id
// is out of range, the connection has no driver or the library lacks the name. Every call
// asks for one, so the cached case is inline and only the first lookup leaves it.
void* _zolandm_driver_lookup(zolandm_driver* drv, int id);
inline void* _zolandm_driver_record_entry(zolandm_driver* drv, int id) {
  if (drv == nullptr || id < 1 || id >= ZOLANDM_FN_COUNT || drv->lib == nullptr) return nullptr;
  // Lookups may run without the global lock; concurrent fills store the same value.
  void* entry = __atomic_load_n(&drv->entries[id], __ATOMIC_RELAXED);
  return entry != nullptr ? entry : _zolandm_driver_lookup(drv, id);
}
inline void* _zolandm_driver_entry(zolandm_dbc* dbc, int id) {
  return dbc != nullptr ? _zolandm_driver_record_entry(dbc->driver, id) : nullptr;
}

int _zolandm_driver_attach(const char* dsn, const char* driver, zolandm_dbc* dbc, int thread_safe,
                           int unload_safe, char width);
int _zolandm_driver_release(zolandm_dbc* dbc, int mode);
// 1 when a Unicode driver shows, by the first text it writes on its (unconnected)
// connection handle, that its wide characters are 2 bytes; 0 otherwise.
int _zolandm_driver_two_byte_wide(zolandm_driver* drv, SQLHDBC drv_dbc);
int _zolandm_conn_option_to_driver(zolandm_dbc* dbc, uint16_t option, SQLULEN value, char width);
// True for the connection options whose value is a string: a driver of the other width gets
// a converted copy.
bool _zolandm_conn_option_is_string(unsigned option);

// Frees every driver record still listed in an environment (its driver environment and its
// library reference); used when the environment itself is freed.
void _zolandm_env_free_drivers(zolandm_env* env);

void* _zolandm_lib_open(const char* path);
int _zolandm_lib_close(void* lib);
void _zolandm_lib_mark_unload_safe(void* lib);
void* _zolandm_lib_symbol(void* lib, const char* name);
const char* _zolandm_lib_error();
// References held on a path (0 when never opened); for tests.
int _zolandm_lib_refs(const char* path);

// Calls a driver entry point of type Fn, under the driver record's mutex when the record
// asks for serialised calls, and stores the result in *last_rc (when given).
template <typename Fn, typename... Args>
inline SQLRETURN _zolandm_call(zolandm_driver* drv, SQLSMALLINT* last_rc, void* entry, Args... args) {
  const bool serialised = drv != nullptr && drv->thread_safe == 0;
  if (serialised) pthread_mutex_lock(&drv->mutex);
  SQLRETURN rc = reinterpret_cast<Fn>(entry)(args...);
  if (serialised) pthread_mutex_unlock(&drv->mutex);
  if (last_rc != nullptr) *last_rc = rc;
  return rc;
}

// The ODBC 2/3 choice between a function and its counterpart, given the driver's entry
// points for each (null when missing). Returns the one to call (null when the chosen one is
// missing too) and sets *odbc3 to whether it is the ODBC 3 function.
void* _zolandm_pick_2_or_3(const zolandm_dbc* dbc, void* f2, void* f3, bool* odbc3);
void* _zolandm_choose_2_or_3(zolandm_dbc* dbc, int id2, int id3, bool* odbc3);
// The entry of a function in the driver's own width: its W name (w_id) for a Unicode driver,
// otherwise its plain name, else its A name (a_id; 0 when it has none). For a function
// without string arguments pass the plain id as w_id.
void* _zolandm_driver_entry_width(zolandm_dbc* dbc, int plain_id, int w_id, int a_id);
// The application's ODBC version (2 when unknown) and the driver's (the application's when
// no driver is loaded).
inline int _zolandm_app_version(const zolandm_dbc* dbc) {
  return dbc->env != nullptr && dbc->env->odbc_version != 0 ? dbc->env->odbc_version : 2;
}
inline int _zolandm_drv_version(const zolandm_dbc* dbc) {
  return dbc->driver != nullptr ? dbc->driver->drv_version : _zolandm_app_version(dbc);
}

// ---- environments, connections, statements --------------------------------------------

SQLRETURN SQLAllocEnv_Internal(SQLHENV* out, int odbc_version);
SQLRETURN SQLFreeEnv_Internal(zolandm_env* env);
SQLRETURN SQLAllocConnect_Internal(zolandm_env* env, SQLHDBC* out);
SQLRETURN SQLFreeConnect_Internal(zolandm_dbc* dbc);
// The connection-option workers run without the global lock (the connection's busy flag
// guards it); they take the lock themselves only around the process-wide trace state.
// Integer options the manager answers itself are written as 32-bit values (SQLUINTEGER),
// the width these options have in ODBC 2 and the width drivers write; string options are
// cut to SQL_MAX_OPTION_STRING_LENGTH characters plus the terminator.
SQLRETURN SQLSetConnectOption_Internal(zolandm_dbc* dbc, SQLUSMALLINT option, SQLULEN value, char width);
SQLRETURN SQLGetConnectOption_Internal(zolandm_dbc* dbc, SQLUSMALLINT option, SQLPOINTER value, char width);
SQLRETURN SQLTransact_Internal(SQLHENV henv, SQLHDBC hdbc, SQLUSMALLINT type);
SQLRETURN _zolandm_conn_transact(zolandm_dbc* dbc, SQLUSMALLINT type);
void _zolandm_trace_global_setup();
void _zolandm_set_initialised();

// Releases a statement record (global lock held): unlinks it from its connection and frees it
// with its implicit descriptors and buffers. The driver's statement is not touched.
int _zolandm_stmt_release(zolandm_stmt* stmt);
// Releases every statement of a connection.
void _zolandm_dbc_release_stmts(zolandm_dbc* dbc);

// ---- connect ----------------------------------------------------------------------------

int _zolandm_dsn_trace_setup(const char* dsn);
int _zolandm_conn_options_replay(zolandm_dbc* dbc, char width);
SQLRETURN SQLConnect_Internal(zolandm_dbc* dbc, const void* dsn, SQLSMALLINT dsn_len, const void* uid,
                              SQLSMALLINT uid_len, const void* pwd, SQLSMALLINT pwd_len, char width);
SQLRETURN SQLDriverConnect_Internal(zolandm_dbc* dbc, SQLHWND hwnd, const void* in, SQLSMALLINT in_len,
                                    void* out, SQLSMALLINT out_max, SQLSMALLINT* out_len,
                                    SQLUSMALLINT completion, char width);
SQLRETURN SQLBrowseConnect_Internal(zolandm_dbc* dbc, const void* in, SQLSMALLINT in_len, void* out,
                                    SQLSMALLINT out_max, SQLSMALLINT* out_len, char width);
SQLRETURN SQLNativeSql_Internal(zolandm_dbc* dbc, const void* text, SQLINTEGER text_len, void* out,
                                SQLINTEGER out_max, SQLINTEGER* out_len, char width);

// Name of the dialog library opened when a driver connect must prompt.
#define ZOLANDM_DIALOG_LIBRARY "libzolanadm.so.2"

// ---- pool ------------------------------------------------------------------------------

// All four run with the global lock held by their callers.
int _zolandm_pool_find_conn(zolandm_dbc* dbc, const char* dsn, const char* uid, const char* pwd,
                            const char* connstr);
int _zolandm_pool_return_conn(zolandm_dbc* dbc);
// Closes and frees an idle pool record; `before` is the record before it in the pool (null
// for the first). The global lock is released around the driver's disconnect.
void _zolandm_pool_drop_conn(zolandm_dbc* record, zolandm_dbc* before);
int _zolandm_pool_sync_options(zolandm_dbc* borrower, zolandm_dbc* record);

// The clock of the pool's time-outs and retry waits, in seconds. Tests put their own in
// place of the default (time(nullptr)); null restores it.
extern "C" {
typedef time_t (*zolandm_clock_fn)(void);
void _zolandm_pool_set_clock(zolandm_clock_fn clock);
}
time_t _zolandm_now();

// Explicit descriptors of a connection whose driver connection goes away or back to the
// pool: the records are released, and with free_in_driver the driver's descriptors too.
void _zolandm_dbc_release_descs(zolandm_dbc* dbc, bool free_in_driver);

// ---- tracing (provided by the tracing code; inert until it is built) -------------------

extern "C" {
void _zolandm_trace_set_filename(const char* name_template);
void _zolandm_trace_start(void);
void _zolandm_trace_stop(void);
char* _zolandm_trace_get_filename(void);  // caller frees; may be null
}

// ---- diagnostics -------------------------------------------------------------------------

SQLRETURN SQLError_Internal(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, void* sqlstate, SQLINTEGER* native,
                            void* msg, SQLSMALLINT msg_max, SQLSMALLINT* msg_len, int remove, char width);
// Reports one manager record into the application's buffers (shared with SQLGetDiagRec).
SQLRETURN _zolandm_report_record(const zolandm_err* rec, void* sqlstate, void* msg, SQLSMALLINT msg_max,
                                 SQLSMALLINT* msg_len, char width);

// The driver's record-reading functions in its own width: its SQLError and its SQLGetDiagRec
// (either null when missing).
void _zolandm_driver_diag_entries(zolandm_dbc* dbc, void** f_error, void** f_diag_rec);
// Reads one record of the driver's own into the caller's buffers, converted between the
// caller's width and the driver's: through its SQLError (record number ignored; the driver
// removes what it reports) or its SQLGetDiagRec for record `recno`, or, with `counter`, the
// record after the one *counter names (the counter is advanced only when the driver is
// asked). The result goes to *last_rc when given.
// SQL_ERROR without a driver call when a conversion buffer cannot be had.
SQLRETURN _zolandm_read_driver_record(zolandm_dbc* dbc, void* f, bool via_error, SQLSMALLINT type,
                                      SQLHANDLE drv_handle, SQLSMALLINT recno, uint16_t* counter,
                                      void* sqlstate, SQLINTEGER* native, void* msg, SQLSMALLINT msg_max,
                                      SQLSMALLINT* msg_len, char width, SQLSMALLINT* last_rc);

// ---- ODBC 3 workers shared between entries ---------------------------------------------

SQLRETURN SQLAllocHandle_Internal(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output);
SQLRETURN SQLSetConnectAttr_Internal(zolandm_dbc* dbc, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER length,
                                     char width);
SQLRETURN SQLGetConnectAttr_Internal(zolandm_dbc* dbc, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER buf_len,
                                     SQLINTEGER* str_len, char width);
SQLRETURN SQLGetInfo_Internal(zolandm_dbc* dbc, SQLUSMALLINT type, SQLPOINTER buf, SQLSMALLINT len,
                              SQLSMALLINT* out_len, char width);
// The shared bodies of SQLFreeEnv and SQLFreeConnect and their SQLFreeHandle forms.
// The last environment's exit record is written by last_exit_record (when given) before the
// trace stops.
SQLRETURN _zolandm_free_env_entry(SQLHENV henv, void (*last_exit_record)(SQLHENV) = nullptr);
SQLRETURN _zolandm_free_connect_entry(SQLHDBC hdbc);
