// Threads, locks, clocks and random bytes on Windows.
#include <windows.h>

#include <atomic>
#include <cstdlib>

#include "platform/sync.h"
#include "platform/tick_extend.h"

struct Lock {
  CRITICAL_SECTION cs;  // recursive by nature
};

Lock* lock_create() {
  Lock* l = static_cast<Lock*>(std::malloc(sizeof(Lock)));
  if (!l) return nullptr;
  InitializeCriticalSection(&l->cs);
  return l;
}

void lock_enter(Lock* l) { EnterCriticalSection(&l->cs); }
void lock_leave(Lock* l) { LeaveCriticalSection(&l->cs); }

void lock_destroy(Lock* l) {
  if (!l) return;
  DeleteCriticalSection(&l->cs);
  std::free(l);
}

namespace {

struct ThreadStart {
  ThreadEntry entry;
  void* arg;
};

DWORD WINAPI thread_main(LPVOID p) {
  ThreadStart start = *static_cast<ThreadStart*>(p);
  std::free(p);  // the record is ours now; nothing else refers to it
  return static_cast<DWORD>(start.entry(start.arg));
}

typedef ULONGLONG(WINAPI* GetTickCount64Fn)();
typedef BOOLEAN(WINAPI* RtlGenRandomFn)(PVOID, ULONG);

// Addresses looked up once; a race between two first uses finds the same address twice.
enum : int { kUnknown = 0, kFound = 1, kMissing = 2 };
std::atomic<int> g_tick64_state{kUnknown};
std::atomic<GetTickCount64Fn> g_tick64{nullptr};
std::atomic<RtlGenRandomFn> g_gen_random{nullptr};
TickExtender g_ticks;  // wrap state of the 32-bit fallback, shared by all threads

GetTickCount64Fn tick64() {
  int state = g_tick64_state.load(std::memory_order_acquire);
  if (state == kUnknown) {
    HMODULE k = GetModuleHandleW(L"kernel32.dll");
    GetTickCount64Fn fn =
        k ? reinterpret_cast<GetTickCount64Fn>(
                reinterpret_cast<void*>(GetProcAddress(k, "GetTickCount64")))
          : nullptr;
    g_tick64.store(fn, std::memory_order_relaxed);
    g_tick64_state.store(fn ? kFound : kMissing, std::memory_order_release);
    return fn;
  }
  return state == kFound ? g_tick64.load(std::memory_order_relaxed) : nullptr;
}

RtlGenRandomFn gen_random() {
  RtlGenRandomFn fn = g_gen_random.load(std::memory_order_acquire);
  if (fn) return fn;
  // Not found stays unremembered: the next call looks again.
  HMODULE lib = LoadLibraryW(L"advapi32.dll");
  if (!lib) return nullptr;
  fn = reinterpret_cast<RtlGenRandomFn>(
      reinterpret_cast<void*>(GetProcAddress(lib, "SystemFunction036")));
  if (fn) g_gen_random.store(fn, std::memory_order_release);
  return fn;
}

}  // namespace

int thread_start(ThreadEntry entry, void* arg) {
  if (!entry) return -1;
  ThreadStart* start = static_cast<ThreadStart*>(std::malloc(sizeof(ThreadStart)));
  if (!start) return -1;
  start->entry = entry;
  start->arg = arg;
  HANDLE h = CreateThread(nullptr, 0, thread_main, start, 0, nullptr);
  if (!h) {
    std::free(start);
    return -1;
  }
  CloseHandle(h);  // detached: nobody waits on it
  return 0;
}

void sleep_ms(uint32_t ms) { Sleep(ms); }

uint64_t monotonic_ms() {
  if (GetTickCount64Fn fn = tick64()) return fn();
  return tick_extend(&g_ticks, GetTickCount());
}

uint64_t unix_ms() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  uint64_t ticks = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  if (ticks < 116444736000000000ull) return 0;
  return (ticks - 116444736000000000ull) / 10000u;  // 100 ns since 1601 -> ms since 1970
}

int random_bytes(void* buf, size_t len) {
  if (len == 0) return 0;
  RtlGenRandomFn fn = gen_random();
  if (!fn) return -1;
  unsigned char* p = static_cast<unsigned char*>(buf);
  while (len > 0) {
    ULONG chunk = len > 0x40000000u ? 0x40000000u : static_cast<ULONG>(len);
    if (!fn(p, chunk)) return -1;
    p += chunk;
    len -= chunk;
  }
  return 0;
}
