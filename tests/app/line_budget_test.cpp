#include "app/line_budget.h"

#include <gtest/gtest.h>

namespace {

// Lines taken at a moment and how many of them the budget lets through.
struct Burst {
  uint64_t at_ms;
  int lines;
  int written;
  uint32_t dropped_after;  // the budget's count of refused lines after this burst
};

TEST(LineBudget, ABurstThenOneLineASecond) {
  const Burst bursts[] = {
      {1000, 25, 20, 5},     // a quiet source writes its whole burst; the rest is counted
      {1500, 3, 0, 8},       // half a second later there is no room yet
      {2000, 3, 1, 10},      // a second after the burst: one line
      {5000, 5, 3, 12},      // three seconds later: three
      {60000, 30, 20, 22},   // quiet long enough: a whole burst again, not more
      {59000, 2, 0, 24},     // a clock read out of order gives nothing
  };
  LineBudget b = line_budget_new(1000);
  for (const Burst& burst : bursts) {
    int written = 0;
    for (int i = 0; i < burst.lines; ++i) written += line_budget_take(&b, burst.at_ms);
    EXPECT_EQ(written, burst.written) << "at " << burst.at_ms;
    EXPECT_EQ(b.dropped, burst.dropped_after) << "at " << burst.at_ms;
  }
}

TEST(LineBudget, TryTakesWithoutCountingARefusal) {
  LineBudget b = line_budget_new(0);
  for (uint64_t i = 0; i < kLineBurst; ++i) ASSERT_TRUE(line_budget_try(&b, 0));
  EXPECT_FALSE(line_budget_try(&b, 999));
  EXPECT_EQ(b.dropped, 0u);
  EXPECT_TRUE(line_budget_try(&b, 1000));
}

}  // namespace
