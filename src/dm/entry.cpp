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

bool _zolandm_valid_handle(const void* handle, int type) {
  if (handle == nullptr) return false;
  const auto* h = static_cast<const zolandm_hdr*>(handle);
  if (h->handle_type != type) return false;
  if (type == ZOLANDM_STMT) return static_cast<const zolandm_stmt*>(handle)->dbc != nullptr;
  if (type == ZOLANDM_DESC) return static_cast<const zolandm_desc*>(handle)->dbc != nullptr;
  return true;
}

void _zolandm_diag_add(void* handle, int code, const char* message) {
  auto* h = static_cast<zolandm_hdr*>(handle);
  _zolandm_diag_lock();
  __atomic_store_n(&h->diag, _zolandm_err_push(h->diag, code, message), __ATOMIC_RELEASE);
  _zolandm_diag_unlock();
}

void _zolandm_diag_drop(zolandm_hdr* h) {
  if (h->drv_diag != nullptr) {
    _zolandm_drv_diag_free(h->drv_diag);
    h->drv_diag = nullptr;
  }
  if (__atomic_load_n(&h->diag, __ATOMIC_ACQUIRE) == nullptr) return;
  _zolandm_diag_lock();
  zolandm_err* list = h->diag;
  __atomic_store_n(&h->diag, nullptr, __ATOMIC_RELEASE);
  _zolandm_diag_unlock();
  _zolandm_err_free_all(list);
}

void _zolandm_diag_clear(void* handle) {
  switch (static_cast<zolandm_hdr*>(handle)->handle_type) {
    case ZOLANDM_ENV:
      _zolandm_diag_reset(static_cast<zolandm_env*>(handle));
      break;
    case ZOLANDM_DBC:
      _zolandm_diag_reset(static_cast<zolandm_dbc*>(handle));
      break;
    case ZOLANDM_STMT:
      _zolandm_diag_reset(static_cast<zolandm_stmt*>(handle));
      break;
    case ZOLANDM_DESC:
      _zolandm_diag_reset(static_cast<zolandm_desc*>(handle));
      break;
    default: {
      // A record without a read counter (a released one): only the list and last_rc.
      auto* h = static_cast<zolandm_hdr*>(handle);
      _zolandm_diag_drop(h);
      h->last_rc = 0;
      break;
    }
  }
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
    if ((s->state >= ZOLANDM_STMT_NEED_DATA && s->state <= ZOLANDM_STMT_CAN_PUT) || s->async_func != 0)
      return true;
  }
  return false;
}

void zolandm_entry::refuse(zolandm_hdr* h) {
  _zolandm_diag_add(h, ZOLANDM_E_S1010);
  rc_ = ZOLANDM_ERROR;
}
