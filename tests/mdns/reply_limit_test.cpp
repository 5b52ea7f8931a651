#include "mdns/reply_limit.h"

#include <gtest/gtest.h>

#include <vector>

#include "mdns/dns_codec.h"

namespace {

constexpr uint32_t kFlooder = 0x0A000009, kPhone = 0x0A000002;

struct Ask {
  uint64_t at_ms;
  uint32_t querier;
  int answers;
  bool answered;
  const char* why;
};

void run(const std::vector<Ask>& asks) {
  ReplyLimit limit{};
  for (const Ask& a : asks)
    EXPECT_EQ(reply_limit_allow(&limit, a.querier, a.answers, a.at_ms), a.answered)
        << a.why << " (at " << a.at_ms << " ms)";
}

TEST(ReplyLimit, TheGapIsKeptPerQuerierAndQuestion) {
  run({{1000, kPhone, ANSWER_PTR, true, "first question"},
       {1500, kPhone, ANSWER_PTR, false, "the same question 500 ms later"},
       {1600, kPhone, ANSWER_SRV | ANSWER_A, true, "another question of the same querier"},
       {1899, kPhone, ANSWER_PTR, false, "899 ms after the reply"},
       {1900, kPhone, ANSWER_PTR, true, "900 ms after it"},
       {1901, kFlooder, ANSWER_PTR, true, "another querier is not held by the first"}});
}

TEST(ReplyLimit, AFlooderDoesNotSilenceAnotherQuerier) {
  int flooder_answers = 0;
  ReplyLimit limit{};
  // 50 queries a second for ten seconds, cycling through every answer set there is, and an
  // honest querier once a second in between.
  for (uint64_t t = 10000; t < 20000; t += 20) {
    const int answers = 1 + int((t / 20) % 31);
    flooder_answers += reply_limit_allow(&limit, kFlooder, answers, t);
    if (t % 1000 == 500) {
      EXPECT_TRUE(reply_limit_allow(&limit, kPhone, ANSWER_PTR, t)) << "phone at " << t;
    }
  }
  // At most four of its replies in any 900 ms, however it varies its questions.
  EXPECT_LE(flooder_answers, 4 * (10000 / 900 + 1));
  EXPECT_GT(flooder_answers, 0);
}

TEST(ReplyLimit, AllSlotsBusyRefusesUntilOneAges) {
  ReplyLimit limit{};
  for (int i = 0; i < kReplySlots; ++i)
    ASSERT_TRUE(reply_limit_allow(&limit, 0x0A000100 + uint32_t(i), ANSWER_PTR, 5000));
  EXPECT_FALSE(reply_limit_allow(&limit, kPhone, ANSWER_PTR, 5100)) << "every slot is recent";
  EXPECT_TRUE(reply_limit_allow(&limit, kPhone, ANSWER_PTR, 5900)) << "the slots have aged";
}

}  // namespace
