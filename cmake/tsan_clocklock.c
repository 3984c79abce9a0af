/* ThreadSanitizer builds only. The sanitizer runtime of our compiler does not intercept
 * pthread_mutex_clocklock, through which std::timed_mutex::try_lock_for and try_lock_until
 * lock: such a lock is invisible to it, and the matching unlock is reported as the unlock
 * of an unlocked mutex (while the accesses the lock guards are reported as races). This
 * definition takes the place of the C library's and locks through pthread_mutex_timedlock,
 * which the runtime does see, with the deadline moved to the real-time clock. */
#define _GNU_SOURCE
#include <errno.h>
#include <pthread.h>
#include <time.h>

int pthread_mutex_clocklock(pthread_mutex_t* mutex, clockid_t clock, const struct timespec* abstime) {
  if (clock != CLOCK_REALTIME && clock != CLOCK_MONOTONIC) return EINVAL;
  struct timespec deadline = *abstime;
  if (clock == CLOCK_MONOTONIC) {
    struct timespec mono, real;
    clock_gettime(CLOCK_MONOTONIC, &mono);
    clock_gettime(CLOCK_REALTIME, &real);
    long long ns = (abstime->tv_sec - mono.tv_sec) * 1000000000LL + (abstime->tv_nsec - mono.tv_nsec);
    if (ns < 0) ns = 0;
    ns += real.tv_nsec;
    deadline.tv_sec = real.tv_sec + (time_t)(ns / 1000000000LL);
    deadline.tv_nsec = (long)(ns % 1000000000LL);
  }
  return pthread_mutex_timedlock(mutex, &deadline);
}
