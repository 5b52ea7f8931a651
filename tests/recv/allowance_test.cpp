// The allowance table on a clock the tests move by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "recv/allowance.h"

namespace {

constexpr uint64_t kTenMinutes = 600000;

struct Key {
  uint8_t b[32];
};

Key key_of(int n) {
  Key k;
  memset(k.b, 0xA5, sizeof k.b);
  k.b[0] = static_cast<uint8_t>(n);
  k.b[31] = static_cast<uint8_t>(n * 7);
  return k;
}

struct FakeClock {
  uint64_t now = 1000000;
};

uint64_t read_fake(void* ctx) { return static_cast<FakeClock*>(ctx)->now; }

struct TableFree {
  void operator()(Allowance* t) const { allowance_free(t); }
};
using TablePtr = std::unique_ptr<Allowance, TableFree>;

class AllowanceTest : public testing::Test {
protected:
  FakeClock clock;
  TablePtr table{allowance_new_with_clock(read_fake, &clock)};

  int slots_in_use() const {
    int n = 0;
    for (const AllowanceEntry& e : table->entries) n += e.in_use;
    return n;
  }
};

TEST_F(AllowanceTest, AGrantEndsAtExactlyItsDuration) {
  ASSERT_TRUE(table);
  Key a = key_of(1);
  allowance_grant(table.get(), a.b, "Anna", kTenMinutes);
  struct Step {
    uint64_t after_ms;
    int allowed;
    uint64_t remaining;
  };
  const Step steps[] = {
      {0, 1, kTenMinutes},
      {1, 1, kTenMinutes - 1},
      {kTenMinutes - 1, 1, 1},
      {kTenMinutes, 0, 0},
  };
  const uint64_t start = clock.now;
  for (const Step& s : steps) {
    SCOPED_TRACE(s.after_ms);
    clock.now = start + s.after_ms;
    uint64_t remaining = 12345;
    EXPECT_EQ(allowance_check(table.get(), a.b, &remaining), s.allowed);
    if (s.allowed) {
      EXPECT_EQ(remaining, s.remaining);
    }
  }
  EXPECT_EQ(slots_in_use(), 0);  // the sweep freed the slot
  clock.now = start + 1;          // a clock read late does not bring it back
  EXPECT_EQ(allowance_check(table.get(), a.b, nullptr), 0);
}

TEST_F(AllowanceTest, ZeroDurationAndNamesAsGiven) {
  Key a = key_of(1), b = key_of(2), c = key_of(3);
  allowance_grant(table.get(), a.b, "zero", 0);
  EXPECT_EQ(allowance_check(table.get(), a.b, nullptr), 0);
  EXPECT_EQ(slots_in_use(), 0);

  allowance_grant(table.get(), b.b, nullptr, 5000);
  std::string long_name(80, 'L');
  allowance_grant(table.get(), c.b, long_name.c_str(), 5000);
  AllowanceInfo info[4];
  ASSERT_EQ(allowance_list(table.get(), info, 4), 2);
  EXPECT_STREQ(info[0].peer_name, "");
  EXPECT_EQ(std::string(info[1].peer_name), long_name.substr(0, 63));
}

TEST_F(AllowanceTest, ARepeatedGrantRestartsTheDurationInTheSameSlot) {
  Key a = key_of(1), b = key_of(2);
  allowance_grant(table.get(), a.b, "old name", kTenMinutes);
  allowance_grant(table.get(), b.b, "other", kTenMinutes);
  clock.now += 400000;
  allowance_grant(table.get(), a.b, "new name", kTenMinutes);

  EXPECT_EQ(slots_in_use(), 2);
  EXPECT_EQ(memcmp(table->entries[0].peer_key, a.b, 32), 0);
  uint64_t remaining = 0;
  ASSERT_EQ(allowance_check(table.get(), a.b, &remaining), 1);
  EXPECT_EQ(remaining, kTenMinutes);
  AllowanceInfo info[8];
  ASSERT_EQ(allowance_list(table.get(), info, 8), 2);
  EXPECT_STREQ(info[0].peer_name, "new name");

  // Past the first grant's end, the refreshed one still holds; the other has ended.
  clock.now += 300000;
  EXPECT_EQ(allowance_check(table.get(), a.b, nullptr), 1);
  EXPECT_EQ(allowance_check(table.get(), b.b, nullptr), 0);
}

TEST_F(AllowanceTest, A65thKeyReplacesSlotZero) {
  for (int i = 0; i < kAllowanceSlots; i++) {
    allowance_grant(table.get(), key_of(i).b, ("p" + std::to_string(i)).c_str(), kTenMinutes);
  }
  ASSERT_EQ(slots_in_use(), 64);
  Key extra = key_of(200);
  allowance_grant(table.get(), extra.b, "extra", kTenMinutes);

  EXPECT_EQ(slots_in_use(), 64);
  EXPECT_EQ(memcmp(table->entries[0].peer_key, extra.b, 32), 0);
  EXPECT_STREQ(table->entries[0].peer_name, "extra");
  EXPECT_EQ(allowance_check(table.get(), key_of(0).b, nullptr), 0);
  for (int i = 1; i < kAllowanceSlots; i++) {
    EXPECT_EQ(allowance_check(table.get(), key_of(i).b, nullptr), 1) << i;
  }
  EXPECT_EQ(allowance_check(table.get(), extra.b, nullptr), 1);
}

TEST_F(AllowanceTest, ANewKeyTakesTheFirstSlotAnExpiredGrantFreed) {
  for (int i = 0; i < kAllowanceSlots; i++) {
    // Slot 5 ends first.
    allowance_grant(table.get(), key_of(i).b, "p", i == 5 ? 1000 : kTenMinutes);
  }
  clock.now += 1000;
  Key extra = key_of(200);
  allowance_grant(table.get(), extra.b, "extra", kTenMinutes);
  EXPECT_EQ(memcmp(table->entries[5].peer_key, extra.b, 32), 0);
  EXPECT_EQ(allowance_check(table.get(), key_of(0).b, nullptr), 1);
}

TEST_F(AllowanceTest, ListFollowsSlotOrderUpToTheCapacity) {
  // Durations fall with the slot, so slot order differs from the order of expiry.
  for (int i = 0; i < 10; i++) {
    allowance_grant(table.get(), key_of(i).b, ("p" + std::to_string(i)).c_str(),
                    kTenMinutes - static_cast<uint64_t>(i) * 1000);
  }
  clock.now += 500;
  AllowanceInfo info[10];
  memset(info, 0, sizeof info);
  ASSERT_EQ(allowance_list(table.get(), info, 8), 8);
  for (int i = 0; i < 8; i++) {
    EXPECT_EQ(std::string(info[i].peer_name), "p" + std::to_string(i));
    EXPECT_EQ(info[i].remaining_ms, kTenMinutes - static_cast<uint64_t>(i) * 1000 - 500);
  }
  EXPECT_STREQ(info[8].peer_name, "");  // nothing written past the capacity

  EXPECT_EQ(allowance_list(table.get(), info, 0), 0);
  EXPECT_EQ(allowance_list(table.get(), nullptr, 8), 0);
  // Expired grants are not listed.
  clock.now += kTenMinutes - 9000 - 500;
  ASSERT_EQ(allowance_list(table.get(), info, 10), 9);
  EXPECT_STREQ(info[8].peer_name, "p8");
}

TEST_F(AllowanceTest, RevokeAllEndsEveryGrant) {
  for (int i = 0; i < 5; i++) allowance_grant(table.get(), key_of(i).b, "p", kTenMinutes);
  allowance_revoke_all(table.get());
  for (int i = 0; i < 5; i++) EXPECT_EQ(allowance_check(table.get(), key_of(i).b, nullptr), 0);
  AllowanceInfo info[8];
  EXPECT_EQ(allowance_list(table.get(), info, 8), 0);
  EXPECT_EQ(slots_in_use(), 0);
  // The table takes new grants afterwards.
  allowance_grant(table.get(), key_of(3).b, "p", kTenMinutes);
  EXPECT_EQ(allowance_check(table.get(), key_of(3).b, nullptr), 1);
}

TEST_F(AllowanceTest, AHugeDurationDoesNotWrapIntoThePast) {
  Key a = key_of(1);
  allowance_grant(table.get(), a.b, "forever", UINT64_MAX);
  clock.now += kTenMinutes * 1000;
  uint64_t remaining = 0;
  ASSERT_EQ(allowance_check(table.get(), a.b, &remaining), 1);
  EXPECT_EQ(remaining, UINT64_MAX - clock.now);
}

TEST(Allowance, MinutesLeftAsTheMenuShowsThem) {
  struct Case {
    uint64_t remaining_ms;
    int minutes;
  };
  const Case cases[] = {
      {1, 1}, {59999, 1}, {60000, 2}, {119999, 2}, {599999, 10}, {kTenMinutes, 11},
      {UINT64_MAX, 2147483647},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(allowance_minutes_left(c.remaining_ms), c.minutes) << c.remaining_ms;
  }
}

TEST(Allowance, ANullTableDoesNothing) {
  Key a = key_of(1);
  allowance_grant(nullptr, a.b, "x", kTenMinutes);
  uint64_t remaining = 77;
  EXPECT_EQ(allowance_check(nullptr, a.b, &remaining), 0);
  EXPECT_EQ(remaining, 77u);
  AllowanceInfo info[2];
  EXPECT_EQ(allowance_list(nullptr, info, 2), 0);
  allowance_revoke_all(nullptr);
  allowance_free(nullptr);
}

TEST(Allowance, RunsOnTheMonotonicClock) {
  TablePtr table(allowance_new());
  ASSERT_TRUE(table);
  Key a = key_of(1);
  allowance_grant(table.get(), a.b, "a", kTenMinutes);
  uint64_t remaining = 0;
  ASSERT_EQ(allowance_check(table.get(), a.b, &remaining), 1);
  EXPECT_LE(remaining, kTenMinutes);
  EXPECT_GT(remaining, kTenMinutes - 60000);
}

// Sessions grant and check while the tray menu lists and revokes. Each call holds the lock
// for its whole run, so a listing never sees a half-written slot.
TEST(Allowance, ConcurrentUseKeepsEverySlotWhole) {
  TablePtr table(allowance_new());
  ASSERT_TRUE(table);
  std::vector<std::thread> workers;
  int torn = 0;
  for (int t = 0; t < 4; t++) {
    workers.emplace_back([&, t] {
      // More keys than slots, so full-table replacement of slot 0 happens under contention.
      for (int i = 0; i < 400; i++) {
        int n = t * 50 + i % 50;
        Key k = key_of(n);
        std::string name = "w" + std::to_string(n);
        allowance_grant(table.get(), k.b, name.c_str(), kTenMinutes);
        allowance_check(table.get(), k.b, nullptr);
      }
    });
  }
  workers.emplace_back([&] {
    for (int i = 0; i < 400; i++) {
      AllowanceInfo info[8];
      int n = allowance_list(table.get(), info, 8);
      for (int j = 0; j < n; j++) {
        if (info[j].peer_name[0] != 'w' || info[j].remaining_ms > kTenMinutes) torn++;
      }
      if (i % 100 == 99) allowance_revoke_all(table.get());
    }
  });
  for (std::thread& w : workers) w.join();
  EXPECT_EQ(torn, 0);
  AllowanceInfo info[kAllowanceSlots];
  int n = allowance_list(table.get(), info, kAllowanceSlots);
  for (int j = 0; j < n; j++) EXPECT_EQ(info[j].peer_name[0], 'w');
}

}  // namespace
