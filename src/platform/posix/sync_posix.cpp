// Threads, locks, clocks and random bytes on Linux.
#include <errno.h>
#include <pthread.h>
#include <sys/random.h>
#include <time.h>

#include <cstdlib>

#include "platform/sync.h"

struct Lock {
  pthread_mutex_t mutex;
};

Lock* lock_create() {
  Lock* l = static_cast<Lock*>(std::malloc(sizeof(Lock)));
  if (!l) return nullptr;
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  int rc = pthread_mutex_init(&l->mutex, &attr);
  pthread_mutexattr_destroy(&attr);
  if (rc != 0) {
    std::free(l);
    return nullptr;
  }
  return l;
}

void lock_enter(Lock* l) { pthread_mutex_lock(&l->mutex); }
void lock_leave(Lock* l) { pthread_mutex_unlock(&l->mutex); }

void lock_destroy(Lock* l) {
  if (!l) return;
  pthread_mutex_destroy(&l->mutex);
  std::free(l);
}

namespace {

struct ThreadStart {
  ThreadEntry entry;
  void* arg;
};

void* thread_main(void* p) {
  ThreadStart start = *static_cast<ThreadStart*>(p);
  std::free(p);  // the record is ours now; nothing else refers to it
  int code = start.entry(start.arg);
  return reinterpret_cast<void*>(static_cast<intptr_t>(code));
}

}  // namespace

int thread_start(ThreadEntry entry, void* arg) {
  if (!entry) return -1;
  ThreadStart* start = static_cast<ThreadStart*>(std::malloc(sizeof(ThreadStart)));
  if (!start) return -1;
  start->entry = entry;
  start->arg = arg;
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) {
    std::free(start);
    return -1;
  }
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  pthread_t tid;
  int rc = pthread_create(&tid, &attr, thread_main, start);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    std::free(start);
    return -1;
  }
  return 0;
}

void sleep_ms(uint32_t ms) {
  struct timespec left;
  left.tv_sec = ms / 1000;
  left.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

uint64_t monotonic_ms() {
  // CLOCK_BOOTTIME keeps counting while the machine sleeps, as the Windows tick count does,
  // so time-outs and allowances expire across a suspend.
  struct timespec ts;
  if (clock_gettime(CLOCK_BOOTTIME, &ts) != 0) clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

uint64_t unix_ms() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  if (ts.tv_sec < 0) return 0;
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

int random_bytes(void* buf, size_t len) {
  unsigned char* p = static_cast<unsigned char*>(buf);
  // getrandom may return fewer bytes than asked (large requests, signals): keep asking.
  while (len > 0) {
    ssize_t n = getrandom(p, len, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    p += n;
    len -= static_cast<size_t>(n);
  }
  return 0;
}
