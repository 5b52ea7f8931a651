#include "platform/tick_extend.h"

uint64_t tick_extend(TickExtender* t, uint32_t reading) {
  uint64_t old = t->last.load(std::memory_order_acquire);
  for (;;) {
    if (old == kNoTickYet) {
      if (t->last.compare_exchange_weak(old, reading, std::memory_order_acq_rel,
                                        std::memory_order_acquire))
        return reading;
      continue;
    }
    uint32_t ahead = reading - static_cast<uint32_t>(old);  // modulo 2^32
    if (ahead >= 0x80000000u) return old;  // behind the newest value: stale
    uint64_t next = old + ahead;
    if (t->last.compare_exchange_weak(old, next, std::memory_order_acq_rel,
                                      std::memory_order_acquire))
      return next;
  }
}
