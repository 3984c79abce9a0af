// Detached threads and a counting semaphore with an upper bound. The RPC
// runtime's thread-per-connection mode uses them.
#pragma once

#include <pthread.h>

// Opaque: the pointer's value is the thread's pthread_t.
struct vyr_thread;
typedef struct vyr_thread vyr_thread_t;

typedef int (*thread_init_func)(void* arg);

// Start record handed to a new thread; made by the creator, freed by the thread.
struct thr_data {
  thread_init_func thr_initial_function;
  void* thr_initial_argument;
};

struct vyrsem_t {
  pthread_mutex_t mtx;
  pthread_cond_t cond;
  int count;
  int max;
};

// stack_size 0 keeps the default; null when the thread cannot be started.
vyr_thread_t* VYR_thread_create(thread_init_func initial_function, unsigned long stack_size, void* init_arg);
[[noreturn]] void VYR_thread_exit(int n);

int VYR_sema_init(vyrsem_t* psema, int count, int max);
int VYR_sema_done(vyrsem_t* psema);
int VYR_sema_wait(vyrsem_t* psema);
int VYR_sema_signal(vyrsem_t* psema);
