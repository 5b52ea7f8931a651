#pragma once
// Extends a 32-bit millisecond counter that wraps about every 49.7 days to 64 bits. The
// state is shared by every thread that reads the clock, so each wrap must be counted exactly
// once even when callers race, and a reading taken a moment before another thread's newer
// one must not look like a wrap.
#include <atomic>
#include <cstdint>

struct TickExtender {
  // High 32 bits: wraps seen so far; low 32 bits: the newest reading accepted.
  std::atomic<uint64_t> state{0};
};

// The 64-bit time for a fresh 32-bit reading. Never lower than any value returned before.
// A reading below the last one counts as a wrap only when it is lower by more than half
// the range; a slightly lower one is a stale reading from a racing caller and yields the
// newest value instead.
uint64_t tick_extend(TickExtender* t, uint32_t reading);
