// The entry protocol shared by every ODBC entry point, the process-wide globals, and the
// per-handle diagnostics helpers.

#include <cstdlib>

#include "dm/dm_internal.h"

extern "C" {
pthread_mutex_t _zolandm_global_lock = PTHREAD_MUTEX_INITIALIZER;
int64_t _zolandm_env_count = 0;
int _zolandm_initialised = 0;
int _zolandm_default_pooling = 0;
}

namespace {

zolandm_hdr* hdr_of(void* handle) { return static_cast<zolandm_hdr*>(handle); }

// The busy flag is not at the same place (nor of the same width) in every record.
bool is_busy(zolandm_hdr* h) {
  switch (h->handle_type) {
    case ZOLANDM_DBC: return reinterpret_cast<zolandm_dbc*>(h)->busy != 0;
    case ZOLANDM_STMT: return reinterpret_cast<zolandm_stmt*>(h)->busy != 0;
    case ZOLANDM_DESC: return reinterpret_cast<zolandm_desc*>(h)->busy != 0;
    default: return false;
  }
}

void set_busy(zolandm_hdr* h, bool on) {
  switch (h->handle_type) {
    case ZOLANDM_DBC: reinterpret_cast<zolandm_dbc*>(h)->busy = on ? 1 : 0; break;
    case ZOLANDM_STMT: reinterpret_cast<zolandm_stmt*>(h)->busy = on ? 1 : 0; break;
    case ZOLANDM_DESC: reinterpret_cast<zolandm_desc*>(h)->busy = on ? 1 : 0; break;
    default: break;
  }
}

uint16_t* read_count_of(zolandm_hdr* h) {
  switch (h->handle_type) {
    case ZOLANDM_ENV: return &reinterpret_cast<zolandm_env*>(h)->diag_read_count;
    case ZOLANDM_DBC: return &reinterpret_cast<zolandm_dbc*>(h)->diag_read_count;
    case ZOLANDM_STMT: return &reinterpret_cast<zolandm_stmt*>(h)->diag_read_count;
    case ZOLANDM_DESC: return &reinterpret_cast<zolandm_desc*>(h)->diag_read_count;
    default: return nullptr;
  }
}

}  // namespace

bool _zolandm_valid_handle(const void* handle, int type) {
  if (handle == nullptr) return false;
  const auto* h = static_cast<const zolandm_hdr*>(handle);
  if (h->handle_type != type) return false;
  if (type == ZOLANDM_STMT) return static_cast<const zolandm_stmt*>(handle)->dbc != nullptr;
  if (type == ZOLANDM_DESC) return static_cast<const zolandm_desc*>(handle)->dbc != nullptr;
  return true;
}

void _zolandm_diag_add(void* handle, int code, const char* message) {
  zolandm_hdr* h = hdr_of(handle);
  _zolandm_diag_lock();
  h->diag = _zolandm_err_push(h->diag, code, message);
  _zolandm_diag_unlock();
}

void _zolandm_diag_clear(void* handle) {
  zolandm_hdr* h = hdr_of(handle);
  _zolandm_diag_lock();
  zolandm_err* list = h->diag;
  h->diag = nullptr;
  h->last_rc = 0;
  if (uint16_t* count = read_count_of(h)) *count = 0;
  _zolandm_diag_unlock();
  _zolandm_err_free_all(list);
}

int _zolandm_diag_count(const void* handle) {
  const auto* h = static_cast<const zolandm_hdr*>(handle);
  _zolandm_diag_lock();
  int n = h->diag != nullptr ? h->diag->index + 1 : 0;
  _zolandm_diag_unlock();
  return n;
}

SQLRETURN _zolandm_fail(void* handle, int code) {
  _zolandm_diag_add(handle, code);
  return ZOLANDM_ERROR;
}

bool _zolandm_dbc_has_pending_stmt(const zolandm_dbc* dbc) {
  for (const zolandm_stmt* s = dbc->stmts; s != nullptr; s = s->next) {
    if ((s->state >= 7 && s->state <= 9) || s->async_func != 0) return true;
  }
  return false;
}

zolandm_entry::zolandm_entry(void* handle, int type) {
  pthread_mutex_lock(&_zolandm_global_lock);
  locked_ = true;
  if (!_zolandm_valid_handle(handle, type)) {
    rc_ = ZOLANDM_INVALID;
    return;
  }
  hdr_ = hdr_of(handle);
  if (type != ZOLANDM_ENV) {
    if (is_busy(hdr_)) {
      // Refused: the running call's records stay; ours is added beside them.
      _zolandm_diag_add(hdr_, ZOLANDM_E_S1010);
      rc_ = ZOLANDM_ERROR;
      return;
    }
    set_busy(hdr_, true);
    busy_set_ = true;
  }
  _zolandm_diag_clear(hdr_);
  if (type == ZOLANDM_STMT) {
    auto* stmt = reinterpret_cast<zolandm_stmt*>(hdr_);
    if (stmt->async_func == 0 && stmt->tmpbuf_in_use) _zolandm_stmt_free_tmpbufs(stmt);
  }
  rc_ = ZOLANDM_OK;
}

zolandm_entry::~zolandm_entry() {
  if (!locked_) pthread_mutex_lock(&_zolandm_global_lock);
  if (busy_set_) set_busy(hdr_, false);
  pthread_mutex_unlock(&_zolandm_global_lock);
}

void zolandm_entry::unlock() {
  if (locked_) {
    locked_ = false;
    pthread_mutex_unlock(&_zolandm_global_lock);
  }
}

void zolandm_entry::relock() {
  if (!locked_) {
    pthread_mutex_lock(&_zolandm_global_lock);
    locked_ = true;
  }
}
