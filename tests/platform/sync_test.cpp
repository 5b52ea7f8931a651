// Locks, detached threads, clocks and random bytes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/sync.h"
#include "platform/tick_extend.h"

namespace {

// Waits until pred() holds, up to limit_ms; the result of the last look.
template <class Pred>
bool wait_for(Pred pred, uint32_t limit_ms = 10000) {
  uint64_t end = monotonic_ms() + limit_ms;
  while (!pred()) {
    if (monotonic_ms() > end) return pred();
    sleep_ms(1);
  }
  return true;
}

struct Contender {
  Lock* lock;
  std::atomic<int> entered{0};
  std::atomic<int> left{0};  // the thread is out of the lock and touches it no more
};

int contend(void* arg) {
  Contender* c = static_cast<Contender*>(arg);
  lock_enter(c->lock);
  c->entered.store(1);
  lock_leave(c->lock);
  c->left.store(1);
  return 0;
}

}  // namespace

TEST(Lock, EnteredTwiceMustBeLeftTwice) {
  Contender c;
  c.lock = lock_create();
  ASSERT_NE(c.lock, nullptr);
  lock_enter(c.lock);
  lock_enter(c.lock);  // same thread again: must not deadlock
  ASSERT_EQ(thread_start(contend, &c), 0);
  sleep_ms(100);
  EXPECT_EQ(c.entered.load(), 0) << "another thread got in while the lock was held twice";
  lock_leave(c.lock);
  sleep_ms(100);
  EXPECT_EQ(c.entered.load(), 0) << "another thread got in after only one leave";
  lock_leave(c.lock);
  EXPECT_TRUE(wait_for([&] { return c.entered.load() == 1; }));
  ASSERT_TRUE(wait_for([&] { return c.left.load() == 1; }));
  lock_destroy(c.lock);
  lock_destroy(nullptr);
}

namespace {

struct Counter {
  Lock* lock;
  long value = 0;  // guarded by lock only
  std::atomic<int> finished{0};
};

int count_up(void* arg) {
  Counter* c = static_cast<Counter*>(arg);
  for (int i = 0; i < 20000; ++i) {
    LockGuard g(c->lock);
    long v = c->value;  // read-modify-write that loses updates without the lock
    c->value = v + 1;
  }
  c->finished.fetch_add(1);
  return 0;
}

}  // namespace

TEST(Lock, GuardsAgainstLostUpdates) {
  Counter c;
  c.lock = lock_create();
  ASSERT_NE(c.lock, nullptr);
  const int threads = 4;
  for (int i = 0; i < threads; ++i) ASSERT_EQ(thread_start(count_up, &c), 0);
  ASSERT_TRUE(wait_for([&] { return c.finished.load() == threads; }));
  EXPECT_EQ(c.value, 20000L * threads);
  lock_destroy(c.lock);
}

namespace {

struct Runs {
  std::atomic<int> sum{0};
};

struct RunArg {
  Runs* runs;
  int value;
};

int add_value(void* arg) {
  RunArg* a = static_cast<RunArg*>(arg);
  int value = a->value;  // the argument may be gone once the sum is complete
  a->runs->sum.fetch_add(value);
  return value;
}

}  // namespace

TEST(Thread, StartRunsEntryWithItsArgument) {
  Runs runs;
  std::vector<RunArg> args;
  for (int i = 1; i <= 50; ++i) args.push_back({&runs, i});
  // Many short detached threads: each one frees its own start record and handle.
  for (RunArg& a : args) ASSERT_EQ(thread_start(add_value, &a), 0);
  EXPECT_TRUE(wait_for([&] { return runs.sum.load() == 50 * 51 / 2; })) << runs.sum.load();
  EXPECT_EQ(thread_start(nullptr, nullptr), -1);
}

TEST(Clock, MonotonicNeverDecreasesAndSleepTakesItsTime) {
  uint64_t prev = monotonic_ms();
  for (int i = 0; i < 100000; ++i) {
    uint64_t now = monotonic_ms();
    ASSERT_GE(now, prev);
    prev = now;
  }
  // The Windows tick count moves in steps of 16 ms or more (coarser still under Wine), so the
  // bound leaves room for a few steps; a sleep that returns at once, or a clock that stands
  // still, is far below it.
  uint64_t before = monotonic_ms();
  sleep_ms(200);
  EXPECT_GE(monotonic_ms() - before, 150u) << "sleep returned early or the clock stood still";
}

TEST(Clock, UnixMillisecondsMatchTheWallClock) {
  using namespace std::chrono;
  int64_t ref = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  int64_t ours = static_cast<int64_t>(unix_ms());
  EXPECT_LT(ours > ref ? ours - ref : ref - ours, 2000) << ours << " vs " << ref;
}

TEST(TickExtend, SequencesAcrossWraps) {
  struct Step {
    uint32_t reading;
    uint64_t expect;
  };
  const Step steps[] = {
      {5, 5},
      {0x7FFFFFFF, 0x7FFFFFFF},
      {0xFFFFFF00u, 0xFFFFFF00u},
      {0xFFFFFF00u, 0xFFFFFF00u},  // same reading again
      {0xFFFFFEF0u, 0xFFFFFF00u},  // slightly older reading: no wrap, no step back
      {0x10, 0x100000010ull},      // the wrap
      {0x0F, 0x100000010ull},      // stale reading just after the wrap
      {0xFFFFFFF0u, 0x100000010ull},  // stale reading from before the wrap: no jump ahead
      {0x20, 0x100000020ull},      // not a second wrap
      {0x70000000u, 0x170000000ull},
      {0xE0000000u, 0x1E0000000ull},
      {0x00000001, 0x200000001ull},  // second wrap
  };
  TickExtender t;
  for (const Step& s : steps)
    EXPECT_EQ(tick_extend(&t, s.reading), s.expect) << std::hex << "reading 0x" << s.reading;
}

namespace {

struct TickRace {
  TickExtender ext;
  std::atomic<uint64_t> source{0xFFFFC000u};  // the fake 32-bit counter, 16 Ki ms before a wrap
  std::atomic<int> backwards{0};
  std::atomic<int> finished{0};
};

int tick_reader(void* arg) {
  TickRace* r = static_cast<TickRace*>(arg);
  uint64_t prev = 0;
  for (int i = 0; i < 20000; ++i) {
    // Read the counter, then extend: another thread may extend a newer reading in between.
    uint32_t reading = static_cast<uint32_t>(r->source.fetch_add(1));
    uint64_t now = tick_extend(&r->ext, reading);
    if (now < prev) r->backwards.fetch_add(1);
    prev = now;
  }
  r->finished.fetch_add(1);
  return 0;
}

}  // namespace

TEST(TickExtend, ConcurrentReadersCountTheWrapOnce) {
  TickRace race;
  const int threads = 4;
  for (int i = 0; i < threads; ++i) ASSERT_EQ(thread_start(tick_reader, &race), 0);
  ASSERT_TRUE(wait_for([&] { return race.finished.load() == threads; }));
  EXPECT_EQ(race.backwards.load(), 0);
  uint64_t truth = race.source.load();
  ASSERT_GT(truth, 0xFFFFFFFFull) << "the fake counter must have wrapped";
  EXPECT_EQ(tick_extend(&race.ext, static_cast<uint32_t>(truth)), truth)
      << "the wrap was counted more or less than once";
}

TEST(TickExtend, FirstReadingIsTakenAsItIs) {
  // A machine up for 28 days reads past the half of the 32-bit range at the first call.
  TickExtender t;
  EXPECT_EQ(tick_extend(&t, 0x90000000u), 0x90000000u);
  EXPECT_EQ(tick_extend(&t, 0x90000001u), 0x90000001u);
}

TEST(Random, LengthZeroWritesNothing) {
  unsigned char buf[8];
  std::memset(buf, 0xA5, sizeof buf);
  EXPECT_EQ(random_bytes(buf, 0), 0);
  for (unsigned char b : buf) EXPECT_EQ(b, 0xA5);
}

TEST(Random, DrawsDifferAndFillTheWholeBuffer) {
  unsigned char a[32] = {}, b[32] = {};
  ASSERT_EQ(random_bytes(a, sizeof a), 0);
  ASSERT_EQ(random_bytes(b, sizeof b), 0);
  EXPECT_NE(std::memcmp(a, b, sizeof a), 0);

  // A large request must be filled to its last byte, not just the first chunk.
  std::vector<unsigned char> big((1u << 20) + 3, 0);
  ASSERT_EQ(random_bytes(big.data(), big.size()), 0);
  int zeros = 0;
  for (size_t i = big.size() - 4096; i < big.size(); ++i) zeros += big[i] == 0;
  EXPECT_LT(zeros, 100) << "the tail of the buffer looks unfilled";
}
