#pragma once
// How many log lines one source may write. A peer can make the agent log (a notice for every
// offer, a line for every failure); one that does so as fast as it can would otherwise add
// tens of megabytes a minute and push every other line out of the log. A budget allows a
// burst and then a steady trickle; the lines over it are counted, not written.
//
// A plain value; its owner (the log) guards it.
#include <cstdint>

constexpr uint64_t kLineBurst = 20;         // lines a quiet source may write at once
constexpr uint64_t kLineRefillMs = 1000;    // then one line per this many milliseconds

struct LineBudget {
  uint64_t credit_ms;  // time saved up, at most kLineBurst lines' worth
  uint64_t last_ms;    // when credit was last brought up to date
  uint32_t dropped;    // lines refused since the last summary
};

// A full budget at now_ms.
LineBudget line_budget_new(uint64_t now_ms);
// Takes one line at now_ms: true when it may be written; false when it is refused, and then
// counted in dropped.
bool line_budget_take(LineBudget* b, uint64_t now_ms);
// Takes one line only when the budget has one (nothing is counted otherwise).
bool line_budget_try(LineBudget* b, uint64_t now_ms);
