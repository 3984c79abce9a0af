// Detached threads and a bounded counting semaphore.
#include "util/thread.h"

#include <cstdint>
#include <cstdlib>

#include "util/fault.h"

namespace {

void* thread_start(void* arg) {
  thr_data data = *static_cast<thr_data*>(arg);
  free(arg);
  int rc = data.thr_initial_function(data.thr_initial_argument);
  return reinterpret_cast<void*>(static_cast<intptr_t>(rc));
}

}  // namespace

vyr_thread_t* VYR_thread_create(thread_init_func initial_function, unsigned long stack_size, void* init_arg) {
  thr_data* data = vyr_fault_alloc() ? nullptr : static_cast<thr_data*>(malloc(sizeof(thr_data)));
  if (data == nullptr) return nullptr;
  data->thr_initial_function = initial_function;
  data->thr_initial_argument = init_arg;

  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) {
    free(data);
    return nullptr;
  }
  pthread_t tid;
  int rc = pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  if (rc == 0 && stack_size != 0) rc = pthread_attr_setstacksize(&attr, stack_size);
  if (rc == 0) rc = pthread_create(&tid, &attr, thread_start, data);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    free(data);
    return nullptr;
  }
  return reinterpret_cast<vyr_thread_t*>(static_cast<uintptr_t>(tid));
}

void VYR_thread_exit(int n) { pthread_exit(reinterpret_cast<void*>(static_cast<intptr_t>(n))); }

int VYR_sema_init(vyrsem_t* psema, int count, int max) {
  if (pthread_mutex_init(&psema->mtx, nullptr) != 0) return -1;
  if (pthread_cond_init(&psema->cond, nullptr) != 0) {
    pthread_mutex_destroy(&psema->mtx);
    return -1;
  }
  psema->count = count;
  psema->max = max;
  return 0;
}

int VYR_sema_done(vyrsem_t* psema) {
  pthread_cond_destroy(&psema->cond);
  pthread_mutex_destroy(&psema->mtx);
  return 0;
}

int VYR_sema_wait(vyrsem_t* psema) {
  if (pthread_mutex_lock(&psema->mtx) != 0) return -1;
  while (psema->count == 0) pthread_cond_wait(&psema->cond, &psema->mtx);
  psema->count--;
  pthread_mutex_unlock(&psema->mtx);
  return 0;
}

int VYR_sema_signal(vyrsem_t* psema) {
  if (pthread_mutex_lock(&psema->mtx) != 0) return -1;
  if (psema->count < psema->max) {
    psema->count++;
    // Wake a waiter on every increment, not only when the count was 0:
    // otherwise a second signal before the first waiter runs leaves another
    // waiter asleep while the count is above zero.
    pthread_cond_signal(&psema->cond);
  }
  pthread_mutex_unlock(&psema->mtx);
  return 0;
}
