#include "app/line_budget.h"

namespace {

constexpr uint64_t kFullMs = kLineBurst * kLineRefillMs;

void bring_up_to_date(LineBudget* b, uint64_t now_ms) {
  if (now_ms > b->last_ms) {
    const uint64_t gained = now_ms - b->last_ms;
    b->credit_ms = gained >= kFullMs - b->credit_ms ? kFullMs : b->credit_ms + gained;
  }
  b->last_ms = now_ms;
}

}  // namespace

LineBudget line_budget_new(uint64_t now_ms) { return LineBudget{kFullMs, now_ms, 0}; }

bool line_budget_try(LineBudget* b, uint64_t now_ms) {
  bring_up_to_date(b, now_ms);
  if (b->credit_ms < kLineRefillMs) return false;
  b->credit_ms -= kLineRefillMs;
  return true;
}

bool line_budget_take(LineBudget* b, uint64_t now_ms) {
  if (line_budget_try(b, now_ms)) return true;
  ++b->dropped;
  return false;
}
