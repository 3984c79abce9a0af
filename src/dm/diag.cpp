// Diagnostic lists: push, free, table lookup, message layout, the lists' leaf mutex and
// the allocation functions (with their fault-injection hook) used for the manager's records.

#include "dm/diag.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

std::mutex diag_mutex;
std::atomic<int> fail_countdown{0};

bool should_fail() {
  int n = fail_countdown.load(std::memory_order_relaxed);
  while (n > 0) {
    if (fail_countdown.compare_exchange_weak(n, n - 1, std::memory_order_relaxed)) return n == 1;
  }
  return false;
}

const zolandm_sqlstate* find_row(int code) {
  for (const zolandm_sqlstate* row = _zolandm_sqlstate_table; row->code != ZOLANDM_SQLSTATE_ROWS; ++row) {
    if (row->code == code) return row;
  }
  return nullptr;
}

}  // namespace

void _zolandm_fail_alloc_after(int n) { fail_countdown.store(n < 0 ? 0 : n); }

void* _zolandm_malloc(size_t size) { return should_fail() ? nullptr : std::malloc(size); }

void* _zolandm_calloc(size_t count, size_t size) {
  return should_fail() ? nullptr : std::calloc(count, size);
}

char* _zolandm_strdup(const char* s) {
  if (s == nullptr) return nullptr;
  size_t n = std::strlen(s) + 1;
  char* copy = static_cast<char*>(_zolandm_malloc(n));
  if (copy != nullptr) std::memcpy(copy, s, n);
  return copy;
}

zolandm_err* _zolandm_err_push(zolandm_err* list, int code, const char* message) {
  char* copy = nullptr;
  if (message != nullptr) {
    copy = _zolandm_strdup(message);
    if (copy == nullptr) return list;
  }
  if (list != nullptr && list->index >= 63) {
    std::free(list->message);
    list->code = code;
    list->message = copy;
    return list;
  }
  auto* rec = static_cast<zolandm_err*>(_zolandm_malloc(sizeof(zolandm_err)));
  if (rec == nullptr) {
    std::free(copy);
    return list;
  }
  rec->code = code;
  rec->index = list != nullptr ? list->index + 1 : 0;
  rec->message = copy;
  rec->next = list;
  return rec;
}

void _zolandm_err_free_all(zolandm_err* list) {
  while (list != nullptr) {
    zolandm_err* next = list->next;
    std::free(list->message);
    std::free(list);
    list = next;
  }
}

const char* _zolandm_sqlstate_of(int code) {
  const zolandm_sqlstate* row = find_row(code == ZOLANDM_E_S1009 ? ZOLANDM_E_HY009 : code);
  return row != nullptr ? row->sqlstate : nullptr;
}

const char* _zolandm_text_of(int code) {
  const zolandm_sqlstate* row = find_row(code);
  return row != nullptr ? row->text : nullptr;
}

int _zolandm_format_message(const zolandm_err* rec, char* buf, size_t size) {
  if (size == 0) return 0;
  std::memset(buf, 0, size);
  const char* text = rec->message != nullptr ? rec->message : _zolandm_text_of(rec->code);
  int n = std::snprintf(buf, size, "%s%s", ZOLANDM_MSG_PREFIX, text != nullptr ? text : "");
  if (n < 0) return 0;
  return static_cast<size_t>(n) >= size ? static_cast<int>(size - 1) : n;
}

void _zolandm_diag_lock() { diag_mutex.lock(); }
void _zolandm_diag_unlock() { diag_mutex.unlock(); }
