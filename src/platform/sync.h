#pragma once
// Threads, locks, clocks and random bytes: the OS services the protocol code needs.
// All failures are plain results; nothing here logs.
#include <cstddef>
#include <cstdint>

struct Lock;  // recursive mutual exclusion; the same thread may enter again

Lock* lock_create();        // null when memory is exhausted
void lock_enter(Lock* l);
void lock_leave(Lock* l);
void lock_destroy(Lock* l);  // null allowed

// Holds a lock for one scope. A null lock is allowed and guards nothing.
class LockGuard {
public:
  explicit LockGuard(Lock* l) : l_(l) { if (l_) lock_enter(l_); }
  ~LockGuard() { if (l_) lock_leave(l_); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

private:
  Lock* l_;
};

// Starts a detached thread running entry(arg); nobody joins it. Code that must wait for a
// thread to end does so through its own flags. 0 when the thread runs, -1 otherwise.
typedef int (*ThreadEntry)(void* arg);
int thread_start(ThreadEntry entry, void* arg);

void sleep_ms(uint32_t ms);
// Milliseconds since an arbitrary origin; never decreases and keeps counting across suspend.
uint64_t monotonic_ms();
// Milliseconds since 1970-01-01 00:00:00 UTC.
uint64_t unix_ms();
// Fills buf from the operating system's cryptographic source. Length 0 succeeds.
int random_bytes(void* buf, size_t len);
