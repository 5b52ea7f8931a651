#pragma once
// Extends a 32-bit millisecond counter that wraps about every 49.7 days to 64 bits. The
// state is shared by every thread that reads the clock, so each wrap must be counted exactly
// once even when callers race, and a reading taken a moment before another thread's newer
// one must neither look like a wrap nor move the clock back.
#include <atomic>
#include <cstdint>

constexpr uint64_t kNoTickYet = UINT64_MAX;

struct TickExtender {
  std::atomic<uint64_t> last{kNoTickYet};  // the newest 64-bit value handed out
};

// The 64-bit time for a fresh 32-bit reading (the first reading is taken as it is); never lower than any value returned before.
// The reading is taken as the nearer way round the 32-bit circle from the newest value: up
// to 2^31 - 1 ms ahead is progress (passing zero is the wrap), anything else is a stale
// reading from a racing caller and yields the newest value unchanged. The clock is read many
// times a second, so real progress between two calls is always far below 24 days.
uint64_t tick_extend(TickExtender* t, uint32_t reading);
