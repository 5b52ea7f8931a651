#include "platform/tick_extend.h"

uint64_t tick_extend(TickExtender* t, uint32_t reading) {
  uint64_t old = t->state.load(std::memory_order_acquire);
  for (;;) {
    uint32_t last = static_cast<uint32_t>(old);
    uint64_t wraps = old >> 32;
    uint64_t next;
    if (reading >= last) {
      next = (wraps << 32) | reading;
    } else if (last - reading > 0x80000000u) {
      next = ((wraps + 1) << 32) | reading;
    } else {
      return old;  // stale reading: another thread already moved the clock past it
    }
    if (t->state.compare_exchange_weak(old, next, std::memory_order_acq_rel,
                                       std::memory_order_acquire))
      return next;
  }
}
